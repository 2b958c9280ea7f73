#include "nets/commands.h"

namespace trazel::nets {

void install_lists(App&) {}

} // namespace trazel::nets
