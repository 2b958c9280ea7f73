// FD: more photoplots and drill files merged into the current Document, each photoplot on the next
// free layer and drill files as Pads on layer 0, to check a set as one stack or over its board.
#include "formats/commands.h"

#include <string>
#include <vector>

#include "edit/undo.h"
#include "formats/register.h"
#include "shell/app.h"
#include "shell/commands.h"
#include "shell/file_group.h"
#include "shell/modes.h"
#include "shell/status.h"
#include "shell/window_events.h"

namespace trazel::formats {

namespace {

// The Items after `mark` (all of them when it is kNone): what the readers appended.
std::vector<model::Ref> items_after(model::Ref ring, model::Ref mark) {
    std::vector<model::Ref> out;
    bool after = mark == model::kNone;
    for (model::Ref r : model::items_in(ring)) {
        if (after) {
            out.push_back(r);
        } else if (r == mark) {
            after = true;
        }
    }
    return out;
}

int file_include(App& app) {
    model::Document* d = app.doc();
    if (!d) {
        shell::beep(app);
        return 0;
    }
    std::vector<std::string> filters = {kGerberFilter, kExcellonFilter};
    int index = 0;
    std::vector<std::string> chosen;
    shell::run_suspended(
        app, [&] { chosen = app.platform().open_file_dialog("Select File to be Included", filters, index, true); });
    if (chosen.empty()) {
        return 0;
    }
    // The filter forces its reader only on files too small for either recognition.
    char fallback = index == 1 ? kForcedExcellon : kForcedGerber;
    model::Ref mark = model::last_item(d->ring());
    int merged = 0;
    ImportStats total;
    for (const std::string& name : chosen) {
        std::string why;
        ImportStats st;
        if (merge_file(name, *d, fallback, &why, &st) == 0) {
            shell::error_sound(app);
            shell::ask(app, "Unable to include \"" + name + "\".\n\n" + why, "File Include Error",
                       platform::Buttons::Ok);
            continue;
        }
        ++merged;
        total.lines += st.lines;
        total.arcs += st.arcs;
        total.pads += st.pads;
        total.solids += st.solids;
    }
    // One undo group takes the new Items away again; the layers they named stay, as the undo records
    // hold Items only.
    int number = 0;
    for (model::Ref r : items_after(d->ring(), mark)) {
        edit::RecordCreated(*d, r, number++);
    }
    if (merged != 0) {
        shell::redraw(app);
        shell::show_text(app, "Included " + std::to_string(merged) + (merged == 1 ? " file: " : " files: ") +
                                  std::to_string(total.lines) + " Lines, " + std::to_string(total.arcs) + " Arcs, " +
                                  std::to_string(total.pads) + " Pads, " + std::to_string(total.solids) + " Solids.");
    }
    return merged;
}

} // namespace

void install_formats(App& app) {
    shell::set_command_handler(app, shell::code('F', 'D'),
                               [](App& a, uint16_t, shell::Source) { return shell::file_command(a, file_include); });
}

} // namespace trazel::formats
