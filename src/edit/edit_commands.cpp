// The Edit group's dialogs and finds.
#include "edit/commands.h"

namespace trazel::edit {

void install_edit_items(App& app) {
    (void)app;
}

} // namespace trazel::edit
