// BF, BA, BT and BO: the copper tools' dialogs over the engine.
#include "copper/commands.h"

#include "shell/app.h"

namespace trazel::copper {

void install_copper(App&) {
}

} // namespace trazel::copper
