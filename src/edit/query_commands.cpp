// The Query group's tool windows.
#include "edit/commands.h"

namespace trazel::edit {

void install_query(App& app) {
    (void)app;
}

} // namespace trazel::edit
