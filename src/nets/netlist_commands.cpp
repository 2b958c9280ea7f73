#include "nets/commands.h"

namespace trazel::nets {

void install_netlist_out(App&) {}

} // namespace trazel::nets
