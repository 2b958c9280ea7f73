// The Place group's drawing functions (PL PO PE PA PY PP PV PT PF PN PD PW PI): their dialogs, status
// names and prompts, and the click, cancel and key handlers that drive the place engine (place_draw.h).
// The library and symbol functions register their own codes, which come before this group's handler.
#include <algorithm>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "display/display.h"
#include "edit/commands.h"
#include "edit/dialog_fields.h"
#include "edit/grab.h"
#include "edit/place.h"
#include "edit/place_draw.h"
#include "edit/place_names.h"
#include "edit/status.h"
#include "edit/text_entry.h"
#include "edit/undo.h"
#include "model/numbers.h"
#include "platform/form_builder.h"
#include "shell/app.h"
#include "shell/macros.h"
#include "shell/modes.h"
#include "shell/status.h"

namespace trazel::edit {

using model::Node;
using model::node;
using shell::code;

namespace {

constexpr Coord kSignalWireWidth = 655;
constexpr Coord kBusWireWidth = 3277;
constexpr int kSignalWireLayer = 2;
constexpr int kBusWireLayer = 3;
constexpr Coord kSignalDotSize = 2621;
constexpr int kSignalDotLayer = 2;
constexpr Coord kSignalNameHeight = 3932;
constexpr int kSignalNameLayer = 2;
constexpr int kSignalNameAnchor = 15;

struct Function {
    char letter;
    const char* name; // shown in the status bar while the function is active
    bool schematic;   // needs a schematic Document
    int prompt;       // asks for the first point
};

constexpr Function kFunctions[] = {
    {'L', "Place: Line", false, kMsgPlaceLine},
    {'O', "Place: Ortho-Line", false, kMsgPlaceLine},
    {'E', "Place: Vertex", false, kMsgPlaceVertex},
    {'A', "Place: Arc/Circle", false, kMsgPlaceCopy},
    {'Y', "Place: Arc Points Graphically", false, kMsgArcCentre},
    {'P', "Place: Pad", false, kMsgPlaceCopy},
    {'V', "Place: Via", false, kMsgPlaceVia},
    {'T', "Place: Text", false, kMsgPlaceText},
    {'F', "Place: Filled Solid", false, kMsgPolygonFirst},
    {'N', "Place: Signal Name", true, kMsgPlaceName},
    {'D', "Place: Signal Dot", true, kMsgPlaceVia},
    {'W', "Place: Signal Wire", true, kMsgPlaceLine},
    {'I', "Place: Bus Wire", true, kMsgPlaceLine},
};

const Function* function_of(uint16_t c) {
    if ((c >> 8) != 'P') {
        return nullptr;
    }
    for (const Function& f : kFunctions) {
        if (f.letter == static_cast<char>(c & 0xFF)) {
            return &f;
        }
    }
    return nullptr;
}

char letter_of(uint16_t c) {
    return static_cast<char>(c & 0xFF);
}

bool is_polyline(uint16_t c) {
    char l = letter_of(c);
    return (c >> 8) == 'P' && (l == 'L' || l == 'O' || l == 'W' || l == 'I');
}

// What the drawing functions keep between clicks.
struct PlaceDraw {
    uint16_t function = 0;    // the drawing function whose handlers are installed
    std::weak_ptr<int> alive; // expires when those handlers leave the slots
    Polyline polyline;
    VertexSplit split;
    ArcDraw arc;
    PolygonDraw polygon;
    const model::Document* sketch_doc = nullptr; // the Document the arc or polygon outline is drawn on
    std::optional<TextEntry> entry;
    Ref entry_text = model::kNone;
};

PlaceDraw& state(App& app) {
    return app.state<PlaceDraw>();
}

void ensure_messages(App& app) {
    if (app.shell.messages.count(shell::message_key(kMsgPadParameter)) == 0) {
        load_edit_messages(app);
    }
}

// The outlines of PY and PF belong to the Document they were started on; one left over from a function
// that ended goes away (with nothing drawn when the Document is no longer the one on the screen).
void end_sketches(App& app) {
    PlaceDraw& s = state(app);
    const model::Document* on = s.sketch_doc == app.doc() ? app.doc() : nullptr;
    cancel_arc(s.arc, app.display, on);
    cancel_polygon(s.polygon, app.display, on);
    s.sketch_doc = nullptr;
}

// --- The hooks the outlines and the ortho direction need ------------------------------------------

// Cursor moves: the polyline's rubber end turns from its own direction (ortho mode 3); the outlines of
// PY and PF follow; everything else hangs on the cursor as the grab moves it.
struct CursorHook {
    std::function<void(App&)> previous;
    void operator()(App& app) const {
        PlaceDraw& s = state(app);
        GrabList& g = editor(app).grab;
        if (polyline_active(s.polyline, g) && s.alive.lock() && is_polyline(s.function)) {
            follow_polyline(s.polyline, g, app.display, cursor_point(app), app.display.view.angle_mode);
        } else if (previous) {
            previous(app);
        } else {
            cursor_moved(app);
        }
        if (app.doc() == nullptr || s.sketch_doc != app.doc()) {
            return;
        }
        if (s.alive.expired()) {
            end_sketches(app);
        } else if (s.function == code('P', 'Y')) {
            follow_arc(s.arc, app.display, *app.doc(), cursor_point(app));
        } else if (s.function == code('P', 'F')) {
            follow_polygon(s.polygon, app.display, *app.doc(), cursor_point(app));
        }
    }
};

// Full redraws: the outlines are drawn with what hangs on the cursor.
struct HeldHook {
    std::function<void(display::Display&, display::Raster&)> previous;
    App* app;
    void operator()(display::Display& d, display::Raster& r) const {
        if (previous) {
            previous(d, r);
        } else {
            draw_held(editor(*app).grab, d, r);
        }
        PlaceDraw& s = state(*app);
        if (s.sketch_doc != nullptr && s.sketch_doc == app->doc()) {
            draw_sketch(s.arc.outline, d, r, s.sketch_doc);
            draw_sketch(s.polygon.outline, d, r, s.sketch_doc);
        }
    }
};

// Wraps the editor's hooks once, whichever was installed first.
void ensure_hooks(App& app) {
    shell::EditHooks& h = app.shell.edit;
    if (h.cursor_moved.target<CursorHook>() == nullptr) {
        h.cursor_moved = CursorHook{h.cursor_moved};
    }
    auto& held = app.display.hooks.draw_held;
    if (held.target<HeldHook>() == nullptr) {
        held = HeldHook{held, &app};
    }
}

// --- Installing a function ------------------------------------------------------------------------

// The handlers hold a token that the state watches: once they leave the slots (another command, the
// menu bar taken), the function is over and its outlines may go.
void install(App& app, uint16_t c, std::function<int(App&)> left, std::function<int(App&)> right) {
    auto token = std::make_shared<int>(0);
    PlaceDraw& s = state(app);
    s.function = c;
    s.alive = token;
    const Function* f = function_of(c);
    shell::set_function(
        app, [left = std::move(left), token](App& a) { return left(a); },
        [right = std::move(right), token](App& a) { return right(a); }, f != nullptr ? f->name : "");
}

// Ends the current function: its name and message leave the status bar.
int end_function(App& app) {
    shell::clear_function(app);
    app.shell.status.text.clear();
    shell::refresh_status_bar(app);
    return 1;
}

// A grab left by another function goes down first; that is all the click does then.
bool dropped_other(App& app, uint16_t c) {
    GrabList& g = editor(app).grab;
    if (g.empty() || g.function == c) {
        return false;
    }
    drop_grab(app);
    return true;
}

Coord tolerance(const App& app) {
    return pick_tolerance(app.display.view.scale);
}

const SpatialIndex* synced_index(App& app) {
    SpatialIndex& index = editor(app).index;
    index.sync(*app.doc());
    return &index;
}

// --- Dialog fields ------------------------------------------------------------------------------------

int current_layer(const App& app) {
    return app.model.current->setup.current_layer & 0xFF;
}

// --- Macro parameters ---------------------------------------------------------------------------------

// The "<XY=value>" parameters a keystroke macro gave since the last place function become the place
// settings (the current layer, LY, the macro sets itself).
void take_parameters(App& app) {
    shell::ParameterDefaults& p = app.shell.services.params;
    model::Setup& s = app.doc()->setup;
    PlaceSettings& ps = place_settings(app);
    auto given = [&](std::string_view c) {
        for (size_t i = 0; i < std::size(shell::kParameterCodes); ++i) {
            if (shell::kParameterCodes[i] == c && (p.set & (1u << i)) != 0) {
                p.set &= ~(1u << i);
                return true;
            }
        }
        return false;
    };
    if (given("LT")) {
        s.line_width = p.line_thickness;
    }
    if (given("AT")) {
        ps.arc_width = p.arc_thickness;
    }
    if (given("AR")) {
        ps.arc_radius = p.arc_radius;
    }
    if (given("AA")) {
        ps.arc_start = p.arc_start;
    }
    if (given("AS")) {
        ps.arc_sweep = p.arc_sweep;
    }
    if (given("AE")) {
        // r/R of 1 (or more) is a circle, which the Arc stores as 0.
        ps.ellipse_ratio = p.arc_ratio >= 0x10000 ? 0 : static_cast<uint16_t>(std::max(0, p.arc_ratio));
    }
    if (given("AX")) {
        ps.ellipse_angle = p.arc_axis;
    }
    if (given("PP")) {
        ps.pin_name = p.pad_pin.substr(0, kNameLimit);
    }
    if (given("PL")) {
        s.pad_layer = p.pad_layer;
    }
    if (given("PT")) {
        s.pad_type = p.pad_type;
    }
    if (given("PX")) {
        s.pad_width = p.pad_x;
    }
    if (given("PY")) {
        s.pad_height = p.pad_y;
    }
    if (given("PH")) {
        s.pad_hole = p.pad_hole;
    }
    if (given("PR")) {
        ps.pad_angle = p.pad_rotation;
    }
    if (given("TS")) {
        s.text_height = p.text_size;
    }
    if (given("TR")) {
        ps.text_angle = p.text_rotation;
    }
    if (given("TA")) {
        ps.text_anchor = p.text_anchor;
    }
    if (given("TM")) {
        ps.text_mirrored = p.text_mirror;
    }
}

// --- The dialogs --------------------------------------------------------------------------------------

bool line_dialog(App& app) {
    model::Setup& s = app.doc()->setup;
    platform::Form f = platform::FormBuilder("PlaceLineBox", "Place Line")
                           .text("layer", "Layer", layer_text(s.current_layer))
                           .text("width", "Line width", length_text(s.line_width))
                           .build();
    if (!shell::run_dialog(app, f)) {
        return false;
    }
    int layer = layer_field(s, f.get("layer"), s.current_layer & 0xFF);
    if (layer != (s.current_layer & 0xFF)) {
        s.current_layer = layer;
        refresh_status(app);
    }
    s.line_width = width_after_dialog(length_field(f.get("width")));
    return true;
}

bool arc_dialog(App& app) {
    model::Setup& s = app.doc()->setup;
    PlaceSettings& ps = place_settings(app);
    int layer = ps.arc_layer >= 0 ? ps.arc_layer : current_layer(app);
    platform::Form f = platform::FormBuilder("PlaceArcBox", "Place Arc/Circle")
                           .text("layer", "Layer", layer_text(layer))
                           .text("width", "Line width", length_text(ps.arc_width))
                           .text("radius", "Radius", length_text(ps.arc_radius))
                           .text("start", "Start angle", model::angle_string(ps.arc_start))
                           .text("sweep", "Sweep angle (0 for a circle)", model::angle_string(ps.arc_sweep))
                           .text("ratio", "Ellipse ratio r/R (0 for a circle)", model::fixed_string(ps.ellipse_ratio))
                           .text("axis", "Ellipse angle", model::angle_string(ps.ellipse_angle))
                           .build();
    if (!shell::run_dialog(app, f)) {
        return false;
    }
    ps.arc_layer = layer_field(s, f.get("layer"), layer);
    ps.arc_width = width_after_dialog(length_field(f.get("width")));
    ps.arc_radius = radius_after_dialog(length_field(f.get("radius")));
    ps.arc_start = angle_field(f.get("start"));
    ps.arc_sweep = angle_field(f.get("sweep"));
    std::string ratio = trimmed(f.get("ratio"));
    model::Cursor rc(ratio);
    int32_t r = model::read_decimal(rc);
    ps.ellipse_ratio = r <= 0 || r >= 0x10000 ? 0 : static_cast<uint16_t>(r);
    ps.ellipse_angle = angle_field(f.get("axis"));
    return true;
}

PadMaking pad_settings(App& app) {
    const model::Setup& s = app.doc()->setup;
    PadMaking p;
    p.type = s.pad_type & 7;
    p.layer = s.pad_layer & 0xFF;
    p.width = s.pad_width;
    p.height = s.pad_height;
    p.hole = s.pad_hole;
    p.angle = place_settings(app).pad_angle;
    return p;
}

// "PlacePadBox": the pad rules are checked on OK; a refused answer shows its box and the dialog again.
bool pad_dialog(App& app) {
    model::Setup& s = app.doc()->setup;
    PlaceSettings& ps = place_settings(app);
    PadMaking p = pad_settings(app);
    std::vector<std::string> types(std::begin(model::kPadTypeNames), std::end(model::kPadTypeNames));
    platform::Form f = platform::FormBuilder("PlacePadBox", "Place Pad")
                           .text("pin", "Pin name", ps.pin_name)
                           .text("layer", "Layer", layer_text(p.layer))
                           .choice("type", "Pad type", types, p.type)
                           .text("width", "Width (X)", length_text(p.width))
                           .text("height", "Height (Y)", length_text(p.height))
                           .text("hole", "Drill hole", length_text(p.hole))
                           .text("angle", "Angle", model::angle_string(p.angle))
                           .build();
    bool ok = shell::run_dialog(app, f);
    while (ok) {
        p.layer = layer_field(s, f.get("layer"), p.layer);
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
        return false;
    }
    ps.pin_name = f.get("pin").substr(0, kNameLimit);
    s.pad_type = p.type;
    s.pad_layer = p.layer;
    s.pad_width = p.width;
    s.pad_height = p.height;
    s.pad_hole = p.hole;
    ps.pad_angle = p.angle;
    return true;
}

int text_layer(App& app) {
    int l = place_settings(app).text_layer;
    return l >= 0 ? l & 0xFF : current_layer(app);
}

bool text_dialog(App& app) {
    model::Setup& s = app.doc()->setup;
    PlaceSettings& ps = place_settings(app);
    std::vector<std::string> anchors(std::begin(model::kAnchorNames), std::end(model::kAnchorNames));
    platform::Form f = platform::FormBuilder("PlaceTextBox", "Place Text")
                           .text("layer", "Layer", layer_text(text_layer(app)))
                           .text("height", "Text height", length_text(s.text_height))
                           .text("angle", "Angle", model::angle_string(ps.text_angle))
                           .choice("anchor", "Anchor", anchors, ps.text_anchor & 15)
                           .check("mirror", "Mirrored", ps.text_mirrored)
                           .number("font", "Font", ps.text_font, 0, 15)
                           .build();
    if (!shell::run_dialog(app, f)) {
        return false;
    }
    ps.text_layer = layer_field(s, f.get("layer"), text_layer(app));
    s.text_height = std::min<Coord>(length_field(f.get("height")), 0xFFFF);
    ps.text_angle = angle_field(f.get("angle"));
    ps.text_anchor = index_field(f.get("anchor"), 16, ps.text_anchor);
    ps.text_mirrored = f.get("mirror") == "1";
    ps.text_font = index_field(f.get("font"), 16, ps.text_font);
    return true;
}

// "PlaceSignalNameBox" with the name advanced first; the advance stays only when the dialog is left with OK.
bool signal_name_dialog(App& app) {
    PlaceSettings& ps = place_settings(app);
    platform::Form f = platform::FormBuilder("PlaceSignalNameBox", "Signal Name")
                           .text("name", "Signal name", advance_name(ps.signal_name))
                           .build();
    if (!shell::run_dialog(app, f)) {
        return false;
    }
    ps.signal_name = f.get("name").substr(0, kNameLimit);
    return true;
}

// --- Polyline (PL PO PW PI) ---------------------------------------------------------------------------

TrackStyle track_style(App& app, uint16_t c) {
    model::Setup& s = app.doc()->setup;
    switch (letter_of(c)) {
    case 'W':
        return TrackStyle{kSignalWireLayer, kSignalWireWidth};
    case 'I':
        return TrackStyle{kBusWireLayer, kBusWireWidth};
    default:
        s.line_width = width_at_click(s.line_width);
        return TrackStyle{current_layer(app), s.line_width};
    }
}

ViaStyle via_style(App& app) {
    const model::Setup& s = app.doc()->setup;
    return ViaStyle{s.via_layer & 0xFF, s.via_diameter, s.via_hole};
}

int polyline_left(App& app, uint16_t c) {
    if (app.doc() == nullptr || dropped_other(app, c)) {
        return 1;
    }
    PlaceDraw& s = state(app);
    GrabList& g = editor(app).grab;
    Point p = cursor_point(app);
    model::Document& doc = *app.doc();
    if (!polyline_active(s.polyline, g) || s.polyline.function != c) {
        TrackStyle style = track_style(app, c);
        std::string signal = signal_at(doc, style.layer, p, tolerance(app), synced_index(app));
        if (!start_polyline(s.polyline, g, app.display, doc, c, style, p, signal)) {
            shell::show_message(app, kMsgPoolExhausted);
            return 0;
        }
        return 1;
    }
    Point back{};
    PolylineStep step = polyline_click(s.polyline, g, app.display, p, app.display.view.angle_mode, track_style(app, c),
                                       via_style(app), &back);
    if (step == PolylineStep::TookBack) {
        jump_cursor(app, back);
    }
    shell::refresh_status_bar(app);
    return step == PolylineStep::Nothing ? 0 : 1;
}

// The cancel event: the rubber segment goes and what is fixed stays; with nothing hanging the function
// ends.
int polyline_right(App& app) {
    return abandon_grab(app);
}

void install_polyline(App& app, uint16_t c) {
    install(
        app, c, [c](App& a) { return polyline_left(a, c); }, polyline_right);
}

// Ortho-Line and Bus Wire draw in eight directions and Signal Wire horizontally or vertically, unless
// the Setup chose the 45-degree or eight-way mode, which stays.
void set_ortho(App& app, uint16_t c) {
    int& mode = app.display.view.angle_mode;
    int want = letter_of(c) == 'W' ? 1 : letter_of(c) == 'O' || letter_of(c) == 'I' ? 3 : 0;
    if (want != 0 && mode < 2 && mode != want) {
        mode = want;
        shell::refresh_status_bar(app);
    }
}

// --- Vertex (PE) --------------------------------------------------------------------------------------

int vertex_left(App& app) {
    const uint16_t c = code('P', 'E');
    if (app.doc() == nullptr || dropped_other(app, c)) {
        return 1;
    }
    PlaceDraw& s = state(app);
    GrabList& g = editor(app).grab;
    if (!g.empty()) {
        move_grab(g, app.display, cursor_point(app), 0);
        fix_vertex(g, app.display, s.split, c);
        return 1;
    }
    Point p = cursor_point(app);
    Found f = locate(app, Find::Line, p);
    if (f.item == model::kNone) {
        shell::beep(app);
        shell::show_message(app, kMsgPlaceVertex);
        return 0;
    }
    if (!split_track(g, app.display, *app.doc(), f.item, p, c, s.split)) {
        shell::show_message(app, kMsgPoolExhausted);
        return 0;
    }
    shell::show_message(app, kMsgPlaceVertexFix);
    return 1;
}

// The cancel event ends the function with the pending pair abandoned.
int vertex_right(App& app) {
    GrabList& g = editor(app).grab;
    if (!g.empty()) {
        abandon(g, app.display);
    }
    state(app).split = VertexSplit{};
    return end_function(app);
}

// --- Copies hanging on the cursor (PA PP) -------------------------------------------------------------

ArcMaking arc_settings(App& app) {
    const model::Setup& s = app.doc()->setup;
    PlaceSettings& ps = place_settings(app);
    ArcMaking a;
    a.layer = ps.arc_layer >= 0 ? ps.arc_layer : current_layer(app);
    a.width = ps.arc_width < kClickWidthFloor ? s.line_width : ps.arc_width;
    a.radius = ps.arc_radius;
    a.start = ps.arc_start;
    a.sweep = ps.arc_sweep;
    a.ellipse = ps.ellipse_ratio;
    a.ellipse_angle = ps.ellipse_angle;
    return a;
}

bool hang_copy(App& app, uint16_t c) {
    GrabList& g = editor(app).grab;
    Point p = cursor_point(app);
    Ref r = letter_of(c) == 'P'
                ? hang_pad(g, app.display, *app.doc(), pad_settings(app), place_settings(app).pin_name, p, c)
                : hang_arc(g, app.display, *app.doc(), arc_settings(app), p, c);
    if (r == model::kNone) {
        shell::show_message(app, kMsgPoolExhausted);
        return false;
    }
    return true;
}

int copy_left(App& app, uint16_t c) {
    if (app.doc() == nullptr || dropped_other(app, c)) {
        return 1;
    }
    GrabList& g = editor(app).grab;
    Point p = cursor_point(app);
    if (g.empty()) {
        return hang_copy(app, c) ? 1 : 0;
    }
    move_grab(g, app.display, p, 0);
    if (letter_of(c) == 'P') {
        const model::Setup& s = app.doc()->setup;
        if (pad_point_taken(*app.doc(), s.pad_layer & 0xFF, s.pad_hole != 0, p, tolerance(app), synced_index(app))) {
            shell::show_message(app, kMsgPadParameter);
            return 0;
        }
    }
    if (place_hanging(g, app.display) == model::kNone) {
        return 0;
    }
    if (letter_of(c) == 'P') {
        PlaceSettings& ps = place_settings(app);
        ps.pin_name = advance_name(ps.pin_name);
    }
    shell::refresh_status_bar(app);
    hang_copy(app, c);
    return 1;
}

// The cancel event: the copy on the cursor goes and the function ends.
int copy_right(App& app) {
    GrabList& g = editor(app).grab;
    if (!g.empty()) {
        abandon(g, app.display);
    }
    return end_function(app);
}

// --- Vias (PV PD) -------------------------------------------------------------------------------------

int via_left(App& app, uint16_t c) {
    if (app.doc() == nullptr || dropped_other(app, c)) {
        return 1;
    }
    model::Document& doc = *app.doc();
    Point p = cursor_point(app);
    ViaStyle via = via_style(app);
    if (pad_point_taken(doc, via.layer, via.hole != 0, p, tolerance(app), synced_index(app))) {
        shell::show_message(app, kMsgPadParameter);
        return 0;
    }
    GrabList& g = editor(app).grab;
    Ref v = make_via(g, doc, via, p, signal_at(doc, via.layer, p, tolerance(app), synced_index(app)));
    if (v == model::kNone) {
        shell::show_message(app, kMsgPoolExhausted);
        return 0;
    }
    record_new(g, app.display, doc, v);
    shell::refresh_status_bar(app);
    return 1;
}

// Signal dots are small vias without a hole on the signal layer; the via settings keep them for later
// vias too.
void signal_dot_settings(model::Setup& s) {
    s.via_diameter = kSignalDotSize;
    s.via_hole = 0;
    s.via_layer = kSignalDotLayer;
}

// PV or PD while a polyline hangs: the via goes at the cursor within the polyline, which then goes on
// under its own name.
int via_in_polyline(App& app) {
    PlaceDraw& s = state(app);
    GrabList& g = editor(app).grab;
    uint16_t line = s.polyline.function;
    install_polyline(app, line);
    model::Document& doc = *app.doc();
    Point p = cursor_point(app);
    ViaStyle via = via_style(app);
    if (pad_point_taken(doc, via.layer, via.hole != 0, p, tolerance(app), synced_index(app))) {
        shell::show_message(app, kMsgPadParameter);
        return 0;
    }
    polyline_via(s.polyline, g, app.display, p, app.display.view.angle_mode, via, track_style(app, line));
    shell::refresh_status_bar(app);
    return 1;
}

// --- Text (PT) ----------------------------------------------------------------------------------------

void end_entry(App& app) {
    PlaceDraw& s = state(app);
    s.entry.reset();
    s.entry_text = model::kNone;
    app.shell.modal_key = nullptr;
}

int text_key(App& app, uint16_t key) {
    PlaceDraw& s = state(app);
    GrabList& g = editor(app).grab;
    if (!s.entry || find_entry(g, s.entry_text) == nullptr) {
        end_entry(app);
        return 0;
    }
    bool first = s.entry->first_key();
    switch (s.entry->key(key)) {
    case EntryKey::Edited:
        retype_hanging(g, app.display, s.entry_text, s.entry->typed());
        return 1;
    case EntryKey::Enter:
        if (first || s.entry->typed().empty()) {
            abandon(g, app.display);
        } else {
            move_grab(g, app.display, cursor_point(app), 0);
            drop_grab(app);
        }
        end_entry(app);
        shell::show_message(app, kMsgPlaceTextNext);
        return 1;
    case EntryKey::Escape:
        abandon(g, app.display);
        end_entry(app);
        shell::show_message(app, kMsgPlaceTextNext);
        return 1;
    default:
        shell::beep(app);
        return 0;
    }
}

TextStyle text_style(App& app) {
    const PlaceSettings& ps = place_settings(app);
    TextStyle t;
    t.layer = text_layer(app);
    t.height = app.doc()->setup.text_height;
    t.angle = ps.text_angle;
    t.anchor = ps.text_anchor;
    t.font = ps.text_font;
    t.mirrored = ps.text_mirrored;
    return t;
}

// A new Text at the cursor with the text settings takes the typed characters.
int start_entry(App& app) {
    const uint16_t c = code('P', 'T');
    Ref t = hang_text(editor(app).grab, app.display, *app.doc(), text_style(app), cursor_point(app), c);
    if (t == model::kNone) {
        shell::show_message(app, kMsgPoolExhausted);
        return 0;
    }
    PlaceDraw& s = state(app);
    s.entry.emplace();
    s.entry_text = t;
    app.shell.modal_key = text_key;
    shell::show_message(app, kMsgPlaceText);
    return 1;
}

int text_left(App& app) {
    const uint16_t c = code('P', 'T');
    if (app.doc() == nullptr || dropped_other(app, c)) {
        return 1;
    }
    return start_entry(app);
}

int text_right(App& app) {
    GrabList& g = editor(app).grab;
    if (!g.empty()) {
        abandon(g, app.display);
    }
    end_entry(app);
    return end_function(app);
}

// --- Three-point arc (PY) -----------------------------------------------------------------------------

int arc_points_left(App& app) {
    const uint16_t c = code('P', 'Y');
    if (app.doc() == nullptr || dropped_other(app, c)) {
        return 1;
    }
    PlaceDraw& s = state(app);
    model::Document& doc = *app.doc();
    PlaceSettings& ps = place_settings(app);
    TrackStyle style{current_layer(app), ps.arc_width < kClickWidthFloor ? doc.setup.line_width : ps.arc_width};
    s.sketch_doc = &doc;
    Ref made = model::kNone;
    switch (arc_click(s.arc, editor(app).grab, app.display, doc, cursor_point(app), style, &made)) {
    case ArcStep::Refused:
        shell::beep(app);
        return 0;
    case ArcStep::Centre:
        shell::show_message(app, kMsgArcRadius);
        return 1;
    case ArcStep::Radius:
        shell::show_message(app, kMsgArcEnd);
        return 1;
    case ArcStep::Made:
        break;
    }
    // A following Place Arc repeats this arc.
    ps.arc_radius = s.arc.radius;
    ps.arc_start = s.arc.start;
    ps.arc_sweep = node(made).arc.sweep;
    ps.ellipse_ratio = 0;
    ps.ellipse_angle = 0;
    shell::show_message(app, kMsgArcCentre);
    shell::refresh_status_bar(app);
    return 1;
}

// --- Polygon (PF) -------------------------------------------------------------------------------------

int polygon_left(App& app) {
    const uint16_t c = code('P', 'F');
    if (app.doc() == nullptr || dropped_other(app, c)) {
        return 1;
    }
    PlaceDraw& s = state(app);
    s.sketch_doc = app.doc();
    size_t n = polygon_click(s.polygon, app.display, *app.doc(), cursor_point(app));
    shell::show_message(app, polygon_prompt(n));
    return 1;
}

// The finish event: the Solid from the points so far; with no point the function ends.
int polygon_right(App& app) {
    PlaceDraw& s = state(app);
    if (app.doc() == nullptr || s.polygon.points.empty()) {
        cancel_polygon(s.polygon, app.display, app.doc());
        return end_function(app);
    }
    finish_polygon(s.polygon, editor(app).grab, app.display, *app.doc(), current_layer(app));
    shell::show_message(app, kMsgPolygonFirst);
    shell::refresh_status_bar(app);
    return 1;
}

// --- Signal name (PN) ---------------------------------------------------------------------------------

// The name advanced, the dialog, and on OK a Text with the name at the cursor.
// -1 when the dialog was cancelled.
int signal_name_step(App& app) {
    if (!signal_name_dialog(app)) {
        return -1;
    }
    model::Document& doc = *app.doc();
    const std::string& name = place_settings(app).signal_name;
    GrabList& g = editor(app).grab;
    Ref t = name.empty() ? model::kNone : make_text(g, doc, text_style(app), cursor_point(app));
    if (t == model::kNone) {
        return 0;
    }
    if (!store_typed_text(t, doc.setup, name)) {
        if (g.spatial != nullptr) {
            g.spatial->removed(t);
        }
        model::DeleteItem(t);
        return 0;
    }
    record_new(g, app.display, doc, t);
    shell::show_message(app, kMsgPlaceName);
    return 1;
}

int signal_name_left(App& app) {
    const uint16_t c = code('P', 'N');
    if (app.doc() == nullptr || dropped_other(app, c)) {
        return 1;
    }
    return std::max(0, signal_name_step(app));
}

// --- Choosing a function ------------------------------------------------------------------------------

// After the function is installed: a key, a macro or the repeat command act on the cursor at once; a
// menu asks for the point.
int ready(App& app, uint16_t c, shell::Source source, const std::function<int(App&)>& click) {
    shell::enter_trazel_mode(app);
    const Function* f = function_of(c);
    shell::show_message(app, f->prompt);
    if (source == shell::kSourceKey || source == shell::kSourceRepeat) {
        return std::max(1, click(app));
    }
    return 1;
}

int start_function(App& app, uint16_t c, shell::Source source) {
    model::Setup& s = app.doc()->setup;
    switch (letter_of(c)) {
    case 'L':
    case 'O':
    case 'W':
    case 'I': {
        if ((letter_of(c) == 'L' || letter_of(c) == 'O') && !line_dialog(app)) {
            return 0;
        }
        set_ortho(app, c);
        install_polyline(app, c);
        return ready(app, c, source, [c](App& a) { return polyline_left(a, c); });
    }
    case 'E':
        install(app, c, vertex_left, vertex_right);
        return ready(app, c, source, vertex_left);
    case 'A':
    case 'P': {
        if (letter_of(c) == 'A' ? !arc_dialog(app) : !pad_dialog(app)) {
            return 0;
        }
        install(
            app, c, [c](App& a) { return copy_left(a, c); }, copy_right);
        shell::enter_trazel_mode(app);
        shell::show_message(app, kMsgPlaceCopy);
        if (!hang_copy(app, c)) {
            return 0;
        }
        if (source == shell::kSourceKey || source == shell::kSourceRepeat) {
            copy_left(app, c);
        }
        return 1;
    }
    case 'D':
        signal_dot_settings(s);
        [[fallthrough]];
    case 'V':
        install(
            app, c, [c](App& a) { return via_left(a, c); }, [](App& a) { return end_function(a); });
        return ready(app, c, source, [c](App& a) { return via_left(a, c); });
    case 'T':
        if (!text_dialog(app)) {
            return 0;
        }
        install(app, c, text_left, text_right);
        shell::enter_trazel_mode(app);
        return start_entry(app);
    case 'Y':
        install(app, c, arc_points_left, [](App& a) {
            PlaceDraw& st = state(a);
            if (st.arc.step != 0) {
                cancel_arc(st.arc, a.display, a.doc());
                shell::show_message(a, kMsgArcCentre);
                return 1;
            }
            return end_function(a);
        });
        return ready(app, c, source, arc_points_left);
    case 'F':
        install(app, c, polygon_left, polygon_right);
        return ready(app, c, source, polygon_left);
    case 'N': {
        PlaceSettings& ps = place_settings(app);
        ps.text_layer = kSignalNameLayer;
        s.text_height = kSignalNameHeight;
        ps.text_angle = 0;
        ps.text_anchor = kSignalNameAnchor;
        ps.text_font = 0;
        install(app, c, signal_name_left, [](App& a) { return end_function(a); });
        shell::enter_trazel_mode(app);
        // The choice places a name as every click does; cancelled, the function does not start.
        if (signal_name_step(app) < 0) {
            end_function(app);
            return 0;
        }
        return 1;
    }
    default:
        shell::error_sound(app);
        return 0;
    }
}

int place_group(App& app, uint16_t c, shell::Source source) {
    ensure_messages(app);
    ensure_hooks(app);
    const Function* f = function_of(c);
    if (f == nullptr) {
        shell::error_sound(app);
        return 0;
    }
    model::Document* doc = app.doc();
    if (doc == nullptr) {
        shell::beep(app);
        return 0;
    }
    if (read_only(*doc)) {
        return 0;
    }
    if (f->schematic && !model::IsSchematic(doc->setup)) {
        shell::show_message(app, kMsgSchematicNeeded);
        return 0;
    }
    PlaceDraw& s = state(app);
    GrabList& g = editor(app).grab;
    char letter = letter_of(c);
    if ((letter == 'V' || letter == 'D') && polyline_active(s.polyline, g) && is_polyline(g.function)) {
        if (letter == 'D') {
            signal_dot_settings(doc->setup);
        }
        return via_in_polyline(app);
    }
    end_sketches(app);
    end_entry(app);
    if (!g.empty()) {
        // What a place function left on the cursor was never fixed: it goes.  Another function's grab is
        // dropped, and that is all this choice does.
        if ((g.function >> 8) == 'P') {
            abandon(g, app.display);
        } else {
            drop_grab(app);
            return 1;
        }
    }
    if (!redo_purge_check(app)) {
        return 0;
    }
    take_parameters(app);
    return start_function(app, c, source);
}

} // namespace

void install_place_drawing(App& app) {
    shell::set_group_handler(app, 'P', place_group);
    ensure_hooks(app);
}

} // namespace trazel::edit
