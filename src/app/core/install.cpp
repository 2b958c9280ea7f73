#include "app/core/install.h"

#include "cam/commands.h"
#include "edit/commands.h"

namespace trazel {

void install_subsystems(App& app) {
    // A new subsystem adds its install function here (and its library to the app target).
    edit::install_edit(app);
    cam::install_cam(app);
}

} // namespace trazel
