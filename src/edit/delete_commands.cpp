// The Delete group and the document-wide snaps.
#include "edit/commands.h"

namespace trazel::edit {

void install_delete_items(App& app) {
    (void)app;
}

} // namespace trazel::edit
