// The Edit group's structure changes: dissolve and build, solids, line to arc, resequence.
#include "edit/commands.h"

namespace trazel::edit {

void install_structure_edits(App& app) {
    (void)app;
}

} // namespace trazel::edit
