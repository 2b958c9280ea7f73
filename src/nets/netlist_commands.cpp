// NO: the netlist output in the editor.  The Reference ID check comes before the dialog; a naming pass
// that stops shows its problem as the Net scan does, and no file is written then.
#include <string>

#include "display/view.h"
#include "nets/commands.h"
#include "nets/naming.h"
#include "nets/netlist_out.h"
#include "nets/netlog.h"
#include "nets/parts.h"
#include "platform/form_builder.h"
#include "shell/app.h"
#include "shell/commands.h"
#include "shell/modes.h"
#include "shell/state.h"
#include "shell/status.h"
#include "shell/window_events.h"

namespace trazel::nets {

using model::node;

namespace {

// The options of the last netlist, offered again.
struct NetlistSession {
    bool bracketed = false, single_node = false, scan = false;
};

// The problem that stopped the pass: the view centred on it, its Items highlighted, the text in the
// status bar.
void show_problem(App& app, const NamingResult& r) {
    shell::beep(app);
    for (Ref x : {r.first, r.second}) {
        if (x != model::kNone) {
            node(x).kind |= model::kMarkFlag;
        }
    }
    display::View& v = app.display.view;
    v.cursor_x = r.at.x;
    v.cursor_y = r.at.y;
    display::place_cursor_at(v, display::middle_col(v), display::middle_row(v));
    shell::redraw(app);
    shell::show_text(app, naming_text(r), true);
}

int netlist_out(App& app, uint16_t, shell::Source) {
    if (app.doc() == nullptr) {
        shell::error_sound(app);
        return 0;
    }
    shell::cancel_items(app);
    model::Document& doc = *app.doc();
    ReferenceCheck check = check_reference_ids(doc);
    if (!check.ok()) {
        shell::ask(app, reference_error_text(check), kNetListErrorTitle, platform::Buttons::Ok);
        return 0;
    }
    NetlistSession& last = app.state<NetlistSession>();
    platform::Form f = platform::FormBuilder("NetListOutBox", "Net List Output")
                           .text("file", "Output file", netlist_file_name(doc))
                           .check("bracketed", "Bracketed (Protel/Tango) layout", last.bracketed)
                           .check("single_node", "Include unconnected pins", last.single_node)
                           .check("scan", "Scan the file for the actual connections first", last.scan)
                           .build();
    if (!shell::run_dialog(app, f) || f.get("file").empty()) {
        return 0;
    }
    last.bracketed = f.get("bracketed") == "1";
    last.single_node = f.get("single_node") == "1";
    last.scan = f.get("scan") == "1";
    if (last.scan) {
        if (app.shell.edit.redo_check && !app.shell.edit.redo_check(app)) {
            return 0;
        }
        NetState s = interactive_state(app);
        NamingResult r = name_nets(s);
        if (r.end == NamingEnd::Interrupted) {
            shell::redraw(app);
            return 0;
        }
        if (r.end != NamingEnd::Done) {
            show_problem(app, r);
            return 0;
        }
        shell::redraw(app);
    }
    NetlistOptions o;
    o.bracketed = last.bracketed;
    o.single_node = last.single_node;
    std::string path = f.get("file");
    std::string why;
    if (!write_list_file(path, netlist_text(doc, o, log_date()), why)) {
        shell::ask(app, file_creation_text(path), kFileCreationErrorTitle, platform::Buttons::Ok);
        return 0;
    }
    return 1;
}

} // namespace

void install_netlist_out(App& app) {
    shell::set_command_handler(app, shell::code('N', 'O'), netlist_out);
}

} // namespace trazel::nets
