#include "nets/commands.h"

namespace trazel::nets {

void install_netlist_in(App&) {}

} // namespace trazel::nets
