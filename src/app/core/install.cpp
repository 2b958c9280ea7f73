#include "app/core/install.h"

#include "cam/commands.h"
#include "edit/commands.h"
#include "library/commands.h"
#include "nets/commands.h"
#include "router/commands.h"

namespace trazel {

void install_subsystems(App& app) {
    // A new subsystem adds its install function here (and its library to the app target).
    library::install_library(app);
    edit::install_edit(app);
    cam::install_cam(app);
    nets::install_nets(app);
    router::install_router(app);
}

} // namespace trazel
