// The Nets group's scan, highlight and ratnest commands: NS, N+, N-, NG, NH, NN, NC, NR, NL, NU (NM has
// no effect).  The engine does the work on a NetState made for each command; this file gives it the
// status bar, the interruption box and the screen.
#include <algorithm>
#include <filesystem>
#include <map>
#include <vector>

#include "display/display.h"
#include "display/view.h"
#include "edit/locate.h"
#include "model/hit_test.h"
#include "nets/commands.h"
#include "nets/netlog.h"
#include "nets/netscan.h"
#include "nets/ratnest.h"
#include "nets/trace.h"
#include "platform/form_builder.h"
#include "shell/app.h"
#include "shell/commands.h"
#include "shell/modes.h"
#include "model/setup_directives.h"
#include "shell/services.h"
#include "shell/status.h"
#include "shell/window_events.h"

namespace trazel::nets {

using model::node;
using shell::code;

namespace {

constexpr const char* kInterruptTitle = "Net Scan Interruption";
constexpr const char* kInterruptText =
    "An in-depth net scan is in\nprogress.  This operation\ncould take several minutes\nto complete.\n\nDo you wish to "
    "continue?";

} // namespace

NetState interactive_state(App& app) {
    NetState s(*app.doc());
    s.display = &app.display;
    s.every_128 = [&app](const char* what, long count) {
        shell::show_text(app, std::string(what) + " " + std::to_string(count));
        platform::Platform& p = app.platform();
        if (p.peek_input().key_scan == 0) {
            return true;
        }
        p.discard_keys();
        return shell::ask(app, kInterruptText, kInterruptTitle, platform::Buttons::OkCancel) == platform::Answer::Ok;
    };
    return s;
}

namespace {

constexpr const char* kPadParameterText = "Invalid pad parameter:  duplicate pad or drill holes too close.";
constexpr const char* kClearanceText = "Clearance violation:  the highlighted items are too close.";
constexpr const char* kNetImageText = "Net image:  there is no net picture to show.";
constexpr const char* kNothingMarkedText = "Name Net:  trace a net first; nothing is highlighted.";
constexpr Coord kScanReach = 4;

// Kept between the commands: the Signal N+ and N- go on from.
struct NetSession {
    Ref current = model::kNone;
};

NetSession& session(App& app) {
    return app.state<NetSession>();
}

// A state for one command on the current Document, with the Signal N+ and N- go on from.
NetState make_state(App& app) {
    NetState s = interactive_state(app);
    s.current_signal = session(app).current;
    s.signal_changed = [&app](Ref signal) {
        session(app).current = signal;
        if (signal != model::kNone) {
            shell::show_text(app, "Signal <" + model::signal_name(signal) + ">");
        }
    };
    return s;
}

// Every command first abandons what hangs on the cursor and deals with the redo stack.
bool prepare(App& app, bool changes) {
    if (app.doc() == nullptr) {
        shell::error_sound(app);
        return false;
    }
    shell::cancel_items(app);
    if (changes && app.shell.edit.redo_check && !app.shell.edit.redo_check(app)) {
        return false;
    }
    return true;
}

Point cursor(const App& app) {
    return Point{app.display.view.cursor_x, app.display.view.cursor_y};
}

Point centre_of(Ref item) {
    Coord x1 = 0, y1 = 0, x2 = 0, y2 = 0;
    if (!model::item_box(item, x1, y1, x2, y2)) {
        return {};
    }
    return Point{static_cast<Coord>((int64_t{x1} + x2) / 2), static_cast<Coord>((int64_t{y1} + y2) / 2)};
}

// The view centred on one Item, or between two, both highlighted.
void show_items(App& app, Ref a, Ref b) {
    if (a == model::kNone) {
        return;
    }
    Point p = centre_of(a);
    if (b != model::kNone) {
        Point q = centre_of(b);
        p = Point{static_cast<Coord>((int64_t{p.x} + q.x) / 2), static_cast<Coord>((int64_t{p.y} + q.y) / 2)};
    }
    for (Ref r : {a, b}) {
        if (r != model::kNone) {
            node(r).kind |= model::kMarkFlag;
        }
    }
    display::View& v = app.display.view;
    v.cursor_x = p.x;
    v.cursor_y = p.y;
    display::place_cursor_at(v, display::middle_col(v), display::middle_row(v));
    shell::redraw(app);
}

// What NS, N+ and N- say about the net they traced.
void report(App& app, const NetCheck& c) {
    switch (c.problem) {
    case NetProblem::Crosslink:
    case NetProblem::Unsignaled:
        shell::beep(app);
        show_items(app, c.first, model::kNone);
        shell::show_text(app, problem_text(c), true);
        return;
    case NetProblem::NotRouted:
        shell::beep(app);
        shell::redraw(app);
        shell::show_text(app, problem_text(c), true);
        return;
    case NetProblem::PadParameter:
        show_items(app, c.first, c.second);
        shell::show_text(app, kPadParameterText, true);
        return;
    case NetProblem::Clearance:
        show_items(app, c.first, c.second);
        shell::show_text(app, kClearanceText, true);
        return;
    case NetProblem::None:
        shell::redraw(app);
        return;
    }
}

int net_scan(App& app) {
    if (!prepare(app, true)) {
        return 0;
    }
    NetState s = make_state(app);
    NetCheck c = check_net_at_point(s, app.doc()->setup.current_layer & 0xFF, kScanReach, cursor(app));
    report(app, c);
    return c.count;
}

// N+ and N-: the next (previous) Signals of the list, each from its first Pad, until one has a problem.
int net_step(App& app, bool forward) {
    if (!prepare(app, true)) {
        return 0;
    }
    NetState s = make_state(app);
    std::map<Ref, Ref> pads = first_pads(*app.doc());
    const auto& index = app.model.signal_index;
    std::vector<Ref> order;
    order.reserve(index.size());
    for (const auto& e : index) {
        order.push_back(e.second);
    }
    if (!forward) {
        std::reverse(order.begin(), order.end());
    }
    auto at = std::find(order.begin(), order.end(), session(app).current);
    auto it = at == order.end() ? order.begin() : at + 1;
    for (; it != order.end(); ++it) {
        auto pad = pads.find(*it);
        if (pad == pads.end()) {
            continue;
        }
        s.undo_number = 0;
        NetCheck c = check_net_from_pad(s, pad->second);
        if (c.count != 0) {
            report(app, c);
            return c.count;
        }
    }
    clear_all_marks(s);
    session(app).current = model::kNone;
    shell::redraw(app);
    return 0;
}

int clear(App& app) {
    if (!prepare(app, false)) {
        return 0;
    }
    NetState s = make_state(app);
    clear_all_marks(s);
    session(app).current = model::kNone;
    shell::redraw(app);
    return 1;
}

int highlight(App& app) {
    if (!prepare(app, false)) {
        return 0;
    }
    model::Document& doc = *app.doc();
    if (model::IsSchematic(doc.setup)) {
        doc.setup.current_layer = 2;
    }
    NetState s = make_state(app);
    int layer = doc.setup.current_layer & 0xFF;
    Coord tol = std::max<Coord>(1, static_cast<Coord>((uint64_t{1} << 32) / std::max<uint32_t>(1, app.display.view.scale)));
    Ref pad = model::kNone, line = model::kNone;
    model::walk_tree(doc.ring(), [&](Ref r, int) {
        const model::Node& n = node(r);
        if (n.hidden()) {
            return;
        }
        if (pad == model::kNone && n.item_kind() == model::kPad && (smt_pad(n) ? n.layer == layer : true) &&
            model::hit_pad(n, uint64_t{static_cast<uint64_t>(tol)} * static_cast<uint64_t>(tol), cursor(app),
                           edit::turn_of)) {
            pad = r;
        }
        if (line == model::kNone && n.item_kind() == model::kLine && n.size != 0 && n.layer == layer &&
            model::hit_track(n, uint64_t{static_cast<uint64_t>(tol)} * static_cast<uint64_t>(tol), cursor(app)) !=
                model::TrackHit::None) {
            line = r;
        }
    });
    Ref signal = model::kNone;
    if (pad != model::kNone) {
        signal = model::item_signal(pad);
        if (signal == model::kNone) {
            clear_all_marks(s);
            mark_item(s, pad);
            shell::redraw(app);
            return 1;
        }
    } else if (line != model::kNone) {
        signal = model::item_signal(line);
    }
    if (signal == model::kNone) {
        std::vector<std::string> names;
        std::vector<Ref> refs;
        for (const auto& e : app.model.signal_index) {
            names.push_back(e.first);
            refs.push_back(e.second);
        }
        if (names.empty()) {
            shell::beep(app);
            return 0;
        }
        platform::Form f =
            platform::FormBuilder("SelectSignalBox", "Select Signal").list("signal", "Signal", names, 0).build();
        if (!shell::run_dialog(app, f)) {
            return 0;
        }
        size_t i = static_cast<size_t>(std::max(0, std::atoi(f.get("signal").c_str())));
        if (i >= refs.size()) {
            return 0;
        }
        signal = refs[i];
    }
    highlight_signal(s, signal);
    shell::redraw(app);
    return 1;
}

// NN: the marked net's Items take the name (signal labels only among the Texts: elsewhere a Text's link
// is its text).
int name_net(App& app) {
    if (!prepare(app, true)) {
        return 0;
    }
    model::Document& doc = *app.doc();
    std::vector<Ref> marked;
    model::walk_tree(doc.ring(), [&](Ref r, int) {
        const model::Node& n = node(r);
        if (!n.marked()) {
            return;
        }
        uint8_t k = n.item_kind();
        bool label = k == model::kText && model::is_signal_record(n.link);
        if ((k == model::kLine && n.size != 0) || (k == model::kArc && n.arc.radius >= 1) || k == model::kPad || label) {
            marked.push_back(r);
        }
    });
    if (marked.empty()) {
        shell::beep(app);
        shell::show_text(app, kNothingMarkedText, true);
        return 0;
    }
    platform::Form f = platform::FormBuilder("NameNetBox", "Name Net").text("name", "Signal name", "").build();
    if (!shell::run_dialog(app, f) || f.get("name").empty()) {
        return 0;
    }
    for (Ref r : marked) {
        model::AttachSignal(r, f.get("name"));
    }
    doc.mark_modified();
    session(app).current = model::find_signal(f.get("name"), false);
    shell::redraw(app);
    return 1;
}

int ratnest_all(App& app) {
    if (!prepare(app, true)) {
        return 0;
    }
    NetState s = make_state(app);
    build_ratnest(s);
    shell::redraw(app);
    return 1;
}

// NL: the Signal of the Pad under the cursor loses its lines if it has any, else gets its tree.
int rat_line(App& app) {
    if (!prepare(app, true)) {
        return 0;
    }
    model::Document& doc = *app.doc();
    int layer = doc.setup.current_layer & 0xFF;
    Ref pad = model::kNone;
    model::walk_tree(doc.ring(), [&](Ref r, int) {
        const model::Node& n = node(r);
        if (pad == model::kNone && !n.hidden() && n.item_kind() == model::kPad &&
            (smt_pad(n) ? n.layer == layer : true) && model::hit_pad(n, 0, cursor(app), edit::turn_of)) {
            pad = r;
        }
    });
    Ref signal = pad == model::kNone ? model::kNone : model::item_signal(pad);
    if (signal == model::kNone) {
        shell::beep(app);
        return 0;
    }
    NetState s = make_state(app);
    prepare_ratnest_layer(doc.setup);
    if (delete_ratnest(s, signal) == 0) {
        clear_all_marks(s);
        build_signal_ratnest(s, signal);
        clear_all_marks(s);
    }
    shell::redraw(app);
    return 1;
}

int unratnest(App& app) {
    if (!prepare(app, true)) {
        return 0;
    }
    NetState s = make_state(app);
    delete_ratnest(s, model::kNone);
    shell::redraw(app);
    return 1;
}

} // namespace

// "Display Logs": the log as a Document of its own, one Text per line on layer 0, shown in the view
// window.  An open Document of the log's name is reused; none when that is the board itself (a beep).
model::Document* log_document(App& app, const std::string& path, model::Document& board) {
    model::Document* d = model::FindDocument(path);
    if (d == &board) {
        shell::beep(app);
        return nullptr;
    }
    if (d != nullptr) {
        model::DeleteItem(d->ring());
    } else {
        d = model::NewDocument(path);
        app.model.current = &board; // the board stays the one on the screen
        if (d == nullptr) {
            return nullptr;
        }
        for (const char* line : {"-y0:7,7,TXT", "-y0", "-m-100,-32000,1000,100", "-gr3,1,1,10,100", "-gm3,2,3,1",
                                 "-gz0,0", "-l1", "-p45v25", "-t6", "-gd1,0000FF,FFFFFF,00FF00,FF0000"}) {
            model::ApplyDirective(d->setup, line);
        }
    }
    return d;
}

// One line of the log as the n-th Text of its Document.
void log_text(model::Document& d, int n, std::string_view line) {
    Coord y = static_cast<Coord>(-(int64_t{n} * 65536 + 500) / 1000);
    Ref t = model::MakeItem(d.ring(), model::kText, 0, 42, 0, y, static_cast<Coord>(42 * line.size()), 0);
    if (t != model::kNone) {
        model::SetText(t, line);
    }
}

namespace {

// NG: the logged scan of every net into the Document's ".LOG" file.
int net_log(App& app) {
    if (!prepare(app, true)) {
        return 0;
    }
    model::Document& doc = *app.doc();
    NetState s = make_state(app);
    Log log;
    std::string path = log_path(doc);
    model::Document* shown = app.shell.options.display_logs ? log_document(app, path, doc) : nullptr;
    int lines = 0;
    if (shown != nullptr) {
        log_text(*shown, lines++, "LOG FILE");
        log.echo = [shown, &lines](std::string_view line) { log_text(*shown, lines++, line); };
    }
    if (!log.open(path, "NETSCAN ERROR LOG", std::filesystem::path(doc.name()).filename().string(), 79, log_date())) {
        shell::ask(app,
                   "The status/log file \"" + path +
                       "\" cannot\nbe opened for output.\n\nPlease insure that you have write access for this path.",
                   "File Open Error", platform::Buttons::Ok);
    }
    ScanSummary r = write_net_scan_log(s, log);
    log.close();
    session(app).current = model::kNone;
    if (shown != nullptr && app.shell.services.hooks.show_in_view_window) {
        app.shell.services.hooks.show_in_view_window(app, shown);
    }
    shell::redraw(app);
    shell::show_text(app, summary_line(r));
    return r.errors;
}

int net_command(App& app, uint16_t c, shell::Source) {
    switch (static_cast<char>(c & 0xFF)) {
    case 'S':
        return net_scan(app);
    case '+':
        return net_step(app, true);
    case '-':
        return net_step(app, false);
    case 'G':
        return net_log(app);
    case 'H':
        return highlight(app);
    case 'N':
        return name_net(app);
    case 'C':
        return clear(app);
    case 'R':
        return ratnest_all(app);
    case 'L':
        return rat_line(app);
    case 'U':
        return unratnest(app);
    case 'M':
        shell::beep(app);
        shell::show_text(app, kNetImageText, true);
        return 0;
    default:
        shell::error_sound(app);
        return 0;
    }
}

} // namespace

void install_nets(App& app) {
    for (char l : std::string_view("S+-GHNCRLUM")) {
        shell::set_command_handler(app, code('N', l), net_command);
    }
    install_netlist_out(app);
    install_lists(app);
    install_netlist_in(app);
}

} // namespace trazel::nets
