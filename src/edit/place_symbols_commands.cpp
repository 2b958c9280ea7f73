// The Place functions that hang a whole symbol on the cursor: library Components (PC, "ComponentLibraryBox")
// and the template symbols (PS PB P+ PG PH PM PR PX), with the dimension follow-up of a dragged end.
#include <algorithm>
#include <string>
#include <unordered_set>

#include "edit/commands.h"
#include "edit/dialog_fields.h"
#include "edit/grab.h"
#include "edit/place.h"
#include "edit/place_names.h"
#include "edit/place_symbols.h"
#include "edit/status.h"
#include "edit/undo.h"
#include "library/library.h"
#include "library/preview.h"
#include "model/numbers.h"
#include "platform/form_builder.h"
#include "shell/app.h"
#include "shell/modes.h"
#include "shell/settings.h"
#include "shell/status.h"
#include "shell/window_events.h"
#include "shell/commands.h"

namespace trazel::edit {

using model::kNone;
using model::node;
using shell::code;

namespace {

struct SymbolFunction {
    uint16_t code;
    const char* name;     // shown in the status bar
    const char* symbol;   // template, or nullptr for a library Component
    bool schematic;       // needs a schematic Document
    bool asks_name;       // "PlaceSignalNameBox" first
    bool advances_name;   // the signal name is advanced before the dialog
};

const SymbolFunction kSymbols[] = {
    {code('P', 'C'), "Place: Component", nullptr, false, false, false},
    {code('P', 'S'), "Place: Signal Port", "SIGNAL", true, true, true},
    {code('P', 'B'), "Place: Bus Port", "BUS", true, true, true},
    {code('P', '+'), "Place: Power Port", "PPLUS", true, true, false},
    {code('P', 'G'), "Place: Signal Ground", "GROUND", true, false, false},
    {code('P', 'H'), "Place: Earth Ground", "EARTH", true, false, false},
    // Named after what it places; it once showed the Earth Ground's name.
    {code('P', 'M'), "Place: Voltage Symbol", "VOLTAGE", true, true, false},
    {code('P', 'R'), "Place: Arrow Head", "ARROW", false, false, false},
    {code('P', 'X'), "Place: Dimension Line", "DIM", false, false, false},
};

const SymbolFunction* symbol_function(uint16_t c) {
    for (const auto& f : kSymbols) {
        if (f.code == c) {
            return &f;
        }
    }
    return nullptr;
}

// What hangs: the symbol placed by the current function, and a new dimension whose text the drop lays out
// without records of its own (its creation covers it).
struct SymbolState {
    Ref hanging = kNone;
    Ref fresh_dimension = kNone;
    bool sort_on_drop = false;
};

SymbolState& symbol_state(App& app) {
    return app.state<SymbolState>();
}

std::string library_dir(App& app) {
    return library::library_directory(shell::read_setting(app, "Library Path"), app.shell.program_dir);
}

bool ask_signal_name(App& app, bool advance) {
    PlaceSettings& s = place_settings(app);
    if (advance) {
        s.signal_name = advance_name(s.signal_name);
    }
    platform::Form f =
        platform::FormBuilder("PlaceSignalNameBox", "Signal Name").text("name", "Signal name", s.signal_name).build();
    if (!shell::run_dialog(app, f)) {
        return false;
    }
    s.signal_name = f.get("name").substr(0, kNameLimit);
    return true;
}

std::vector<std::string> library_names(const model::Document& doc) {
    std::vector<std::string> names;
    for (const auto& l : doc.setup.libraries) {
        names.emplace_back(l.data());
    }
    return names;
}

// "ComponentLibraryBox": the five fields, the angle, a library to browse with a filter, its entries, and
// the Reference ID stepped to a free one.  False when cancelled or the Component is in no library.
constexpr int kPreviewWidth = 200, kPreviewHeight = 150;

bool ask_component(App& app) {
    PlaceSettings& s = place_settings(app);
    model::Document& doc = *app.doc();
    library::LibrarySet libs = library::LibrarySet::from_setup(doc.setup, library_dir(app));
    std::vector<std::string> names = library_names(doc);
    int slot = 0;
    std::string filter;
    std::vector<library::ListLine> listed;
    const char* labels[5] = {"Pattern", "Reference ID", "Type/Value", "Modifier", "Field 5"};
    for (bool first = true;; first = false) {
        std::vector<std::string> entries{"(as typed)"};
        for (const auto& l : listed) {
            entries.push_back(l.text);
        }
        platform::FormBuilder box("ComponentLibraryBox", "Place Component");
        for (int i = 0; i < 5; ++i) {
            box.text("field" + std::to_string(i), labels[i], s.component[static_cast<size_t>(i)]);
        }
        // The entry as it stands drawn small, when the libraries have it.
        std::vector<uint8_t> preview;
        if (!s.component[0].empty() && library::FindLibraryComponent(libs, s.component[0])) {
            preview = library::draw_scratch(doc, app.display.format, kPreviewWidth, kPreviewHeight);
        }
        box.picture("preview", "Entry", kPreviewWidth, kPreviewHeight, std::move(preview));
        platform::Form f = std::move(box)
                               .text("angle", "Angle (degrees)", model::angle_string(s.component_angle))
                               .choice("refstep", "Reference ID", {"As typed", "Next free", "Previous free"})
                               .choice("library", "Library", names, slot)
                               .text("filter", "Filter", filter)
                               .list("entries", "Entries", entries)
                               .choice("action", "On OK", {"Place", "List entries"})
                               .build();
        if (!(first ? shell::run_dialog(app, f) : shell::run_dialog_again(app, f))) {
            return false;
        }
        for (int i = 0; i < 5; ++i) {
            s.component[static_cast<size_t>(i)] = f.get("field" + std::to_string(i)).substr(0, kNameLimit);
        }
        {
            std::string a = f.get("angle");
            model::Cursor cur(a);
            s.component_angle = model::read_angle(cur);
        }
        slot = std::clamp(std::atoi(f.get("library").c_str()), 0, library::kLibrarySlots - 1);
        filter = f.get("filter");
        int chosen = std::atoi(f.get("entries").c_str());
        if (chosen > 0 && static_cast<size_t>(chosen) <= listed.size()) {
            const std::string& line = listed[static_cast<size_t>(chosen - 1)].text;
            s.component[0] = line.substr(0, line.find('\t')).substr(0, kNameLimit);
        }
        if (f.get("action") == "1") {
            // The dialog comes back with the library's entries and the chosen one drawn.
            library::Listing l = library::ListLibrary(libs, slot, filter);
            if (!l.ok) {
                shell::ask(app, l.message, l.title, platform::Buttons::Ok);
            }
            listed = l.lines;
            continue;
        }
        if (!take_reference_id(app, s.component[1], f.get("refstep"), doc.ring())) {
            continue;
        }
        if (!library::FindLibraryComponent(libs, s.component[0])) {
            shell::beep(app);
            shell::show_message(app, kMsgNotInLibraries);
            return false;
        }
        return true;
    }
}

// A new Component with its hook and members, nested ones alike.
void add_new_component(GrabList& g, Ref c) {
    add_entry(g, c, kGrabWhole | kGrabNew);
    Ref head = model::member_ring(c);
    if (head == kNone) {
        return;
    }
    add_entry(g, head, kGrabFirst | kGrabNew);
    for (Ref m : model::items_in(head)) {
        uint8_t k = node(m).item_kind();
        if (k == model::kComponent) {
            add_new_component(g, m);
        } else {
            add_entry(g, m, static_cast<uint8_t>((k == model::kLine ? kGrabWhole : kGrabFirst) | kGrabNew));
        }
    }
}

// Hangs a new symbol on the cursor: the Component and Lines by both points, other members by their origin;
// a dimension by its second end only.
void hang(App& app, Ref c, uint16_t function, bool dimension) {
    Editor& ed = editor(app);
    GrabList& g = ed.grab;
    Point at = cursor_point(app);
    begin_grab(g, *app.doc(), at, function);
    if (!dimension) {
        add_new_component(g, c);
    } else {
        add_entry(g, c, kGrabSecond | kGrabNew);
        int heads = 0, strokes = 0;
        for (Ref m : model::items_in(model::member_ring(c))) {
            const model::Node& n = node(m);
            if (n.item_kind() != model::kLine) {
                continue;
            }
            bool solid = n.size == 0;
            int& count = solid ? heads : strokes;
            if (++count == 2) {
                add_entry(g, m, kGrabWhole | kGrabNew); // the second end's arrow head and stroke
            }
        }
        g.dimension = c;
        g.anchor = at;
    }
    g.building = false;
    g.at = g.ref;
    show_grab(g, app.display);
    move_grab(g, app.display, cursor_point(app), app.display.view.angle_mode);
}

// Builds the function's symbol at the cursor and hangs it; false when its dialog was cancelled or nothing
// could be built.
bool start_symbol(App& app, const SymbolFunction& f) {
    model::Document& doc = *app.doc();
    PlaceSettings& s = place_settings(app);
    SymbolState& st = symbol_state(app);
    Point at = cursor_point(app);
    Ref c = kNone;
    if (f.symbol == nullptr) {
        if (!ask_component(app)) {
            return false;
        }
        at = cursor_point(app);
        c = copy_library_component(doc.ring(), s.component, s.component_angle, at);
        st.sort_on_drop = true;
    } else {
        if (f.asks_name && !ask_signal_name(app, f.advances_name)) {
            return false;
        }
        at = cursor_point(app);
        std::string name = f.symbol;
        if (f.code == code('P', '+') && !s.signal_name.empty() && s.signal_name[0] == '-') {
            name = "PMINUS";
        }
        c = build_symbol(doc.ring(), name, s.signal_name, doc.setup.current_layer & 0xFF, at);
        if (c != kNone && f.code == code('P', 'S')) {
            stretch_port(c);
        }
        if (c != kNone && f.code == code('P', 'X')) {
            // The far end goes horizontally or vertically, unless the Setup chose the 45-degree or eight-way
            // mode, which stays (as the Signal Wire does).
            int& mode = app.display.view.angle_mode;
            if (mode < 2) {
                mode = 1;
            }
            Coord h = dimension_text_height(doc.setup.dim_text_size);
            set_dimension(c, at, at, doc.setup.decimals, h);
            st.fresh_dimension = c;
        }
        st.sort_on_drop = false;
    }
    if (c == kNone) {
        shell::beep(app);
        return false;
    }
    st.hanging = c;
    hang(app, c, f.code, f.code == code('P', 'X'));
    shell::show_message(app, kMsgDropOrCancel);
    return true;
}

int symbol_click(App& app, uint16_t function) {
    const SymbolFunction* f = symbol_function(function);
    if (app.doc() == nullptr || f == nullptr) {
        return 0;
    }
    SymbolState& st = symbol_state(app);
    if (grab_pending(app)) {
        GrabList& g = editor(app).grab;
        if (g.function != function) {
            return drop_grab(app); // another function's grab: dropping it is all this click does
        }
        Ref placed = st.hanging;
        int r = drop_grab(app);
        if (r && st.sort_on_drop && placed != kNone) {
            model::sort_component(placed);
            editor(app).index.reset();
        }
        st.hanging = kNone;
        st.fresh_dimension = kNone;
        return r;
    }
    return start_symbol(app, *f) ? 1 : 0;
}

int symbol_right(App& app) {
    SymbolState& st = symbol_state(app);
    st.hanging = kNone;
    st.fresh_dimension = kNone;
    return abandon_grab(app);
}

int symbol_command(App& app, uint16_t c, shell::Source) {
    const SymbolFunction* f = symbol_function(c);
    if (app.doc() == nullptr || f == nullptr) {
        shell::beep(app);
        return 0;
    }
    if (app.shell.messages.count(shell::message_key(kMsgNotInLibraries)) == 0) {
        load_edit_messages(app);
    }
    if (f->schematic && !model::IsSchematic(app.doc()->setup)) {
        shell::show_message(app, kMsgSchematicNeeded);
        return 0;
    }
    if (drop_grab(app)) {
        return 1;
    }
    if (!redo_purge_check(app)) {
        return 0;
    }
    shell::set_function(
        app, [c](App& a) { return symbol_click(a, c); }, symbol_right, f->name);
    shell::enter_trazel_mode(app);
    if (!start_symbol(app, *f)) {
        shell::clear_function(app);
        return 0;
    }
    return 1;
}

// After a dimension end was dropped: text and arrow heads follow the ends.  A dimension placed just now
// is laid out in place (its creation record covers it); one that existed is replaced by a laid-out copy
// with records, so undo brings back the old one whole.
void follow_dimension(App& app, Ref dim) {
    model::Document* doc = app.doc();
    if (doc == nullptr || dim == kNone) {
        return;
    }
    SymbolState& st = symbol_state(app);
    Point a, b;
    if (!dimension_ends(dim, a, b)) {
        return;
    }
    Coord h = dimension_text_height(doc->setup.dim_text_size);
    if (dim == st.fresh_dimension) {
        set_dimension(dim, a, b, doc->setup.decimals, h);
    } else {
        Ref copy = duplicate_component(doc->ring(), dim);
        if (copy == kNone) {
            return;
        }
        set_dimension(copy, a, b, doc->setup.decimals, h);
        RecordCreated(*doc, copy, 1);
        RecordDeleted(*doc, dim, 2);
    }
    editor(app).index.reset();
    shell::redraw(app);
}

} // namespace

void install_place_symbols(App& app) {
    for (const auto& f : kSymbols) {
        shell::set_command_handler(app, f.code, symbol_command);
    }
    editor(app).dimension_follow = follow_dimension;
}

} // namespace trazel::edit
