#include "app/core/install.h"

#include "cam/commands.h"
#include "cam/gerber_export.h"
#include "copper/commands.h"
#include "edit/commands.h"
#include "formats/commands.h"
#include "formats/register.h"
#include "images/commands.h"
#include "images/readers.h"
#include "nets/commands.h"
#include "router/commands.h"
#include "shell/app.h"

namespace trazel {

void install_subsystems(App& app) {
    // A new subsystem adds its install function here (and its library to the app target).
    edit::install_edit(app);
    cam::install_cam(app);
    nets::install_nets(app);
    router::install_router(app);
    copper::install_copper(app);
    // The photoplot and drill readers and the Gerber writer join the model's own formats.
    formats::register_import_formats(app.formats);
    cam::register_cam_formats(app.formats);
    images::register_image_readers(app.formats);
    formats::install_formats(app);
    images::install_images(app);
}

} // namespace trazel
