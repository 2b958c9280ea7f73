#include "router/commands.h"

namespace trazel::router {

void install_router(App&) {}

} // namespace trazel::router
