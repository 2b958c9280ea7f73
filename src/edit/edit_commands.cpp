// The Edit group's dialogs and finds: EL EA EP ET EX EI EC EE EO ES.  The functions that work on the Item
// under the cursor (EL EA EP ET EX EI) wait for a click when chosen from a menu and act at once from a
// key; the others act at once.  The work itself is in edit_items.h.
#include <algorithm>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "edit/commands.h"
#include "edit/dialog_fields.h"
#include "edit/edit_items.h"
#include "edit/place.h"
#include "edit/place_draw.h"
#include "edit/place_names.h"
#include "edit/place_symbols.h"
#include "edit/status.h"
#include "edit/text_entry.h"
#include "model/numbers.h"
#include "platform/form_builder.h"
#include "shell/app.h"
#include "shell/commands.h"
#include "shell/modes.h"
#include "shell/status.h"

namespace trazel::edit {

using model::Node;
using model::node;
using shell::code;

namespace {

struct EditFunction {
    char letter;
    const char* name; // shown in the status bar while the function is active
    int prompt;       // asks for the Item
    Find what;
};

constexpr EditFunction kFunctions[] = {
    {'L', "Edit: Line", kMsgEditLine, Find::Line},
    {'A', "Edit: Arc/Circle", kMsgEditArc, Find::Arc},
    {'P', "Edit: Pad/Via", kMsgEditPad, Find::Pad},
    {'T', "Edit: Text Data", kMsgEditText, Find::Text},
    {'X', "Edit: Text Params", kMsgEditText, Find::Text},
    {'I', "Edit: Component", kMsgEditComponent, Find::Component},
};

const EditFunction* function_of(uint16_t c) {
    for (const EditFunction& f : kFunctions) {
        if (code('E', f.letter) == c) {
            return &f;
        }
    }
    return nullptr;
}

// What the Edit functions keep between uses: the text being edited by ET and Find Text's pattern.
struct EditItemsState {
    std::optional<TextEntry> entry;
    Ref entry_text = model::kNone;
    const model::Document* entry_doc = nullptr;
    std::string text_pattern;
    Ref last_text = model::kNone;
    const model::Document* last_text_doc = nullptr;
};

EditItemsState& state(App& app) {
    return app.state<EditItemsState>();
}

void ensure_messages(App& app) {
    if (app.shell.messages.count(shell::message_key(kMsgEditTextData)) == 0) {
        load_edit_messages(app);
    }
}

int end_function(App& app) {
    shell::clear_function(app);
    app.shell.status.text.clear();
    shell::refresh_status_bar(app);
    return 1;
}

// --- Dialog fields ------------------------------------------------------------------------------------

EditScope scope_field(std::string_view text) {
    return static_cast<EditScope>(index_field(text, 3, 0));
}

const Block* block_of(App& app) {
    return &editor(app).block;
}

// --- EL ------------------------------------------------------------------------------------------------

int edit_line_dialog(App& app, Ref track) {
    model::Document& doc = *app.doc();
    const Node& n = node(track);
    platform::Form f = platform::FormBuilder("EditLineBox", "Edit Line")
                           .text("layer", "Layer", layer_text(n.layer))
                           .text("width", "Line width", length_text(n.size))
                           .choice("scope", "Change", {"This line", "Connected track", "All alike"})
                           .build();
    if (!shell::run_dialog(app, f)) {
        return 0;
    }
    int layer = layer_field(doc.setup, f.get("layer"), n.layer);
    // A width of 0 would make the track a filled solid: the line dialog's floor applies.
    Coord width = width_after_dialog(length_field(f.get("width")));
    SpatialIndex& index = editor(app).index;
    index.sync(doc);
    return edit_lines(doc, &app.display, track, scope_field(f.get("scope")), layer, width, &index, block_of(app)) > 0
               ? 1
               : 0;
}

// --- EA ------------------------------------------------------------------------------------------------

int edit_arc_dialog(App& app, Ref arc) {
    model::Document& doc = *app.doc();
    ArcMaking a = arc_values(arc);
    platform::Form f = platform::FormBuilder("EditArcBox", "Edit Arc/Circle")
                           .text("layer", "Layer", layer_text(a.layer))
                           .text("width", "Line width", length_text(a.width))
                           .text("radius", "Radius", length_text(a.radius))
                           .text("start", "Start angle", model::angle_string(a.start))
                           .text("sweep", "Sweep angle (0 for a circle)", model::angle_string(a.sweep))
                           .text("ratio", "Ellipse ratio r/R (0 for a circle)", model::fixed_string(a.ellipse))
                           .text("axis", "Ellipse angle", model::angle_string(a.ellipse_angle))
                           .build();
    if (!shell::run_dialog(app, f)) {
        return 0;
    }
    a.layer = layer_field(doc.setup, f.get("layer"), a.layer);
    a.width = width_after_dialog(length_field(f.get("width")));
    a.radius = radius_after_dialog(length_field(f.get("radius")));
    a.start = angle_field(f.get("start"));
    a.sweep = angle_field(f.get("sweep"));
    std::string ratio = trimmed(f.get("ratio"));
    model::Cursor rc(ratio);
    int32_t r = model::read_decimal(rc);
    a.ellipse = r <= 0 || r >= 0x10000 ? 0 : static_cast<uint16_t>(r);
    a.ellipse_angle = angle_field(f.get("axis"));
    int done = edit_arc(doc, &app.display, arc, a);
    // A following Place Arc repeats this arc.
    PlaceSettings& ps = place_settings(app);
    ps.arc_layer = a.layer;
    ps.arc_width = a.width;
    ps.arc_radius = a.radius;
    ps.arc_start = a.start;
    ps.arc_sweep = a.sweep;
    ps.ellipse_ratio = a.ellipse;
    ps.ellipse_angle = a.ellipse_angle;
    return done > 0 ? 1 : 0;
}

// --- EP ------------------------------------------------------------------------------------------------

// "EditPadBox": the fields of "PlacePadBox" with the Signal and the scope; the pad rules are checked on
// OK and a refused answer shows its box and the dialog again.
int edit_pad_dialog(App& app, Ref pad) {
    model::Document& doc = *app.doc();
    PadValues v = pad_values(pad);
    std::vector<std::string> types(std::begin(model::kPadTypeNames), std::end(model::kPadTypeNames));
    platform::Form f = platform::FormBuilder("EditPadBox", "Edit Pad/Via")
                           .text("pin", "Pin name", v.pin)
                           .text("layer", "Layer", layer_text(v.pad.layer))
                           .choice("type", "Pad type", types, v.pad.type)
                           .text("width", "Width (X)", length_text(v.pad.width))
                           .text("height", "Height (Y)", length_text(v.pad.height))
                           .text("hole", "Drill hole", length_text(v.pad.hole))
                           .text("angle", "Angle", model::angle_string(v.pad.angle))
                           .text("signal", "Signal name", v.signal)
                           .choice("scope", "Change", {"This pad", "Whole component", "All pads"})
                           .build();
    bool ok = shell::run_dialog(app, f);
    PadMaking& p = v.pad;
    while (ok) {
        p.layer = layer_field(doc.setup, f.get("layer"), p.layer);
        p.type = index_field(f.get("type"), 8, p.type);
        p.width = std::min<Coord>(length_field(f.get("width")), 0xFFFF);
        p.height = std::min<Coord>(length_field(f.get("height")), 0xFFFF);
        p.hole = std::min<Coord>(length_field(f.get("hole")), 0xFFFF);
        p.angle = angle_field(f.get("angle"));
        PadFault fault = check_pad(p);
        if (fault == PadFault::None) {
            break;
        }
        FaultBox box = pad_fault_box(fault);
        shell::ask(app, box.text, box.title, platform::Buttons::Ok);
        ok = shell::run_dialog_again(app, f);
    }
    if (!ok) {
        return 0;
    }
    v.pin = trimmed(f.get("pin")).substr(0, kNameLimit);
    v.signal = trimmed(f.get("signal")).substr(0, kNameLimit);
    Ref made = edit_pad(doc, &app.display, pad, v, scope_field(f.get("scope")), block_of(app));
    if (made == model::kNone) {
        shell::show_message(app, kMsgPoolExhausted);
        return 0;
    }
    return 1;
}

// --- EX ------------------------------------------------------------------------------------------------

int edit_text_dialog(App& app, Ref text) {
    model::Document& doc = *app.doc();
    TextValues v = text_values(doc.setup, text);
    std::vector<std::string> anchors(std::begin(model::kAnchorNames), std::end(model::kAnchorNames));
    platform::Form f = platform::FormBuilder("EditTextBox", "Edit Text Parameters")
                           .text("layer", "Layer", layer_text(v.layer))
                           .text("height", "Text height", length_text(v.height))
                           .text("angle", "Angle", model::angle_string(v.angle))
                           .choice("anchor", "Anchor", anchors, v.anchor)
                           .number("font", "Font", v.font, 0, 15)
                           .check("mirror", "Mirrored", v.mirrored)
                           .choice("scope", "Change", {"This text", "Whole component", "All texts"})
                           .build();
    if (!shell::run_dialog(app, f)) {
        return 0;
    }
    v.layer = layer_field(doc.setup, f.get("layer"), v.layer);
    v.height = std::min<Coord>(length_field(f.get("height")), 0xFFFF);
    v.angle = angle_field(f.get("angle"));
    v.anchor = index_field(f.get("anchor"), 16, v.anchor);
    v.font = index_field(f.get("font"), 16, v.font);
    v.mirrored = f.get("mirror") == "1";
    return edit_text_params(doc, &app.display, text, v, scope_field(f.get("scope")), block_of(app)) > 0 ? 1 : 0;
}

// --- ET: the text editor on an existing Text ---------------------------------------------------------

void end_text_entry(App& app) {
    EditItemsState& s = state(app);
    s.entry.reset();
    s.entry_text = model::kNone;
    s.entry_doc = nullptr;
    if (app.shell.modal_key) {
        app.shell.modal_key = nullptr;
    }
}

// The characters as they stand, with a bar at the caret, in the status bar.
void show_entry(App& app) {
    const TextEntry& e = *state(app).entry;
    std::string shown = e.typed();
    shown.insert(e.caret(), 1, '|');
    shell::show_text(app, "Edit Text Data:  " + shown, false, true);
}

int text_data_key(App& app, uint16_t key);

void begin_text_entry(App& app, Ref text) {
    EditItemsState& s = state(app);
    s.entry.emplace(text_characters(text));
    s.entry_text = text;
    s.entry_doc = app.doc();
    app.shell.modal_key = text_data_key;
    show_entry(app);
}

int text_data_key(App& app, uint16_t key) {
    EditItemsState& s = state(app);
    model::Document* doc = app.doc();
    if (!s.entry || doc == nullptr || s.entry_doc != doc) {
        end_text_entry(app);
        return 0;
    }
    Ref text = s.entry_text;
    EntryKey k = s.entry->key(key);
    switch (k) {
    case EntryKey::Edited:
        show_entry(app);
        return 1;
    case EntryKey::Escape:
        end_text_entry(app);
        shell::show_message(app, kMsgEditText);
        return 1;
    case EntryKey::Enter:
    case EntryKey::Up:
    case EntryKey::Down: {
        if (s.entry->typed().empty()) {
            // A Text without characters is not kept: the old ones stay (Delete Text removes a Text).
            shell::beep(app);
            return 0;
        }
        retype_text(*doc, &app.display, text, s.entry->typed());
        end_text_entry(app);
        if (k == EntryKey::Enter) {
            shell::show_message(app, kMsgEditText);
            return 1;
        }
        Ref next = neighbour_text(text, k == EntryKey::Up);
        jump_cursor(app, text_find_point(next));
        begin_text_entry(app, next);
        return 1;
    }
    default:
        shell::beep(app);
        return 0;
    }
}

// --- EI and EC -----------------------------------------------------------------------------------------

// The five fields of one Component in "EditCompSchBox" (a schematic) or "EditCompPcbBox", with the
// Reference ID stepped to a free one on request and refused with an illegal character.
int edit_component_dialog(App& app, Ref c) {
    model::Document& doc = *app.doc();
    std::array<std::string, 5> fields = component_fields(c);
    const char* labels[5] = {"Pattern", "Reference ID", "Type/Value", "Modifier", "Field 5"};
    bool schematic = model::IsSchematic(doc.setup);
    platform::FormBuilder box(schematic ? "EditCompSchBox" : "EditCompPcbBox", "Edit Component");
    for (int i = 0; i < 5; ++i) {
        box.text("field" + std::to_string(i), labels[i], fields[static_cast<size_t>(i)]);
    }
    platform::Form f =
        std::move(box).choice("refstep", "Reference ID", {"As typed", "Next free", "Previous free"}).build();
    for (bool first = true;; first = false) {
        bool ok = first ? shell::run_dialog(app, f) : shell::run_dialog_again(app, f);
        if (!ok) {
            return 0;
        }
        for (int i = 0; i < 5; ++i) {
            fields[static_cast<size_t>(i)] = f.get("field" + std::to_string(i)).substr(0, kNameLimit);
        }
        if (!take_reference_id(app, fields[1], f.get("refstep"), doc.ring())) {
            f.set("refstep", "0");
            continue;
        }
        return edit_component(doc, &app.display, c, fields) > 0 ? 1 : 0;
    }
}

std::vector<std::string> component_lines(const std::vector<Ref>& comps) {
    std::vector<std::string> lines;
    for (Ref c : comps) {
        lines.push_back(model::ComponentField(c, 1) + '\t' + model::ComponentField(c, 0) + '\t' +
                        model::ComponentField(c, 2));
    }
    return lines;
}

// "EditCompListBox": every Component of the Document; the one chosen opens in its edit box, then the list
// comes back (in its new order) until it is closed.
int edit_component_list(App& app) {
    model::Document& doc = *app.doc();
    int done = 0;
    int chosen = 0;
    for (bool first = true;; first = false) {
        std::vector<Ref> comps = components_of(doc);
        if (comps.empty()) {
            shell::beep(app);
            shell::show_message(app, kMsgEditCompList);
            return done;
        }
        platform::Form f = platform::FormBuilder("EditCompListBox", "Edit Components")
                               .list("entries", "Components", component_lines(comps), chosen)
                               .build();
        if (!(first ? shell::run_dialog(app, f) : shell::run_dialog_again(app, f))) {
            return done;
        }
        chosen = index_field(f.get("entries"), static_cast<int>(std::min<size_t>(comps.size(), 999)), 0);
        done |= edit_component_dialog(app, comps[static_cast<size_t>(chosen)]);
    }
}

// --- The functions on the Item under the cursor ------------------------------------------------------

int edit_click(App& app, uint16_t c) {
    const EditFunction* f = function_of(c);
    if (app.doc() == nullptr || f == nullptr) {
        return 0;
    }
    Found found = locate(app, f->what, cursor_point(app));
    if (found.item == model::kNone) {
        shell::beep(app);
        shell::show_message(app, f->prompt);
        return 0;
    }
    switch (f->letter) {
    case 'L':
        return edit_line_dialog(app, found.item);
    case 'A':
        return edit_arc_dialog(app, found.item);
    case 'P':
        return edit_pad_dialog(app, found.item);
    case 'T':
        shell::show_message(app, kMsgEditTextData);
        begin_text_entry(app, found.item);
        return 1;
    case 'X':
        return edit_text_dialog(app, found.item);
    case 'I':
        return edit_component_dialog(app, found.item);
    default:
        return 0;
    }
}

// --- EE and EO ---------------------------------------------------------------------------------------

int find_text_command(App& app) {
    EditItemsState& s = state(app);
    model::Document& doc = *app.doc();
    platform::Form f = platform::FormBuilder("LocateTextBox", "Locate Text")
                           .text("pattern", "Text pattern (<...> for the whole text)", s.text_pattern)
                           .choice("from", "Search", {"First", "Next"})
                           .build();
    if (!shell::run_dialog(app, f)) {
        return 0;
    }
    s.text_pattern = f.get("pattern").substr(0, kTextPatternLimit);
    Ref after = f.get("from") == "1" && s.last_text_doc == &doc ? s.last_text : model::kNone;
    Ref t = find_text(doc, s.text_pattern, after);
    if (t == model::kNone) {
        shell::beep(app);
        shell::show_message(app, kMsgTextNotFound);
        return 0;
    }
    s.last_text = t;
    s.last_text_doc = &doc;
    jump_cursor(app, text_find_point(t));
    return 1;
}

int find_component_command(App& app) {
    FindComponentState& st = editor(app).find_component;
    model::Document& doc = *app.doc();
    const char* labels[5] = {"Pattern", "Reference ID", "Type/Value", "Modifier", "Field 5"};
    platform::FormBuilder box("LocateCompBox", "Locate Component");
    for (int i = 0; i < 5; ++i) {
        box.text("field" + std::to_string(i), labels[i], st.patterns[static_cast<size_t>(i)]);
    }
    platform::Form f = std::move(box).choice("from", "Search", {"First", "Next"}).build();
    if (!shell::run_dialog(app, f)) {
        return 0;
    }
    for (int i = 0; i < 5; ++i) {
        st.patterns[static_cast<size_t>(i)] = f.get("field" + std::to_string(i)).substr(0, kFieldPatternLimit);
    }
    Ref c = find_component(doc, st.patterns, f.get("from") == "1" ? st.last : model::kNone);
    if (c == model::kNone) {
        shell::beep(app);
        shell::show_message(app, kMsgComponentNotFound);
        return 0;
    }
    st.last = c;
    const Node& head = node(node(c).link);
    jump_cursor(app, Point{head.box.x1, head.box.y1});
    return 1;
}

int snap_command(App& app) {
    if (SnapToVertex(app, true).item == model::kNone) {
        shell::beep(app);
        shell::show_message(app, kMsgSnapVertex);
        return 0;
    }
    return 1;
}

// --- Choosing a function -------------------------------------------------------------------------------

int choose(App& app, uint16_t c, shell::Source source) {
    ensure_messages(app);
    model::Document* doc = app.doc();
    if (doc == nullptr) {
        shell::beep(app);
        return 0;
    }
    end_text_entry(app);
    // A pending grab is dropped first; that is all the command does then.
    if (drop_grab(app)) {
        return 1;
    }
    switch (static_cast<char>(c & 0xFF)) {
    case 'E':
        return find_text_command(app);
    case 'O':
        return find_component_command(app);
    case 'S':
        return snap_command(app);
    default:
        break;
    }
    if (read_only(*doc) || !redo_purge_check(app)) {
        return 0;
    }
    if (c == code('E', 'C')) {
        return edit_component_list(app);
    }
    const EditFunction* f = function_of(c);
    if (f == nullptr) {
        shell::error_sound(app);
        return 0;
    }
    return arm_click_function(
        app, source, [c](App& a) { return edit_click(a, c); }, end_function, f->name, f->prompt);
}

} // namespace

void install_edit_items(App& app) {
    for (char l : {'L', 'A', 'P', 'T', 'X', 'I', 'C', 'E', 'O', 'S'}) {
        shell::set_command_handler(app, code('E', l), choose);
    }
}

} // namespace trazel::edit
