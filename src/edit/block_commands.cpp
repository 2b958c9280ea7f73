// The Block group.
#include "edit/commands.h"

namespace trazel::edit {

void install_block(App& app) {
    (void)app;
}

} // namespace trazel::edit
