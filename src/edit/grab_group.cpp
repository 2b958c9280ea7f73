// The Grab group: the Grab functions with their prompts and click handlers, the transforms of what hangs
// on the cursor, and the calls the shell makes for a click with nothing else to do.
#include <cctype>
#include <cstdlib>

#include "display/display.h"
#include "edit/commands.h"
#include "edit/dialog_fields.h"
#include "edit/edit_items.h"
#include "edit/grab.h"
#include "edit/grab_internal.h"
#include "edit/status.h"
#include "edit/undo.h"
#include "model/numbers.h"
#include "platform/form_builder.h"
#include "shell/app.h"
#include "shell/modes.h"
#include "shell/status.h"
#include "shell/window_events.h"

namespace trazel::edit {

using model::Node;
using model::node;
using shell::code;

namespace {

struct GrabFunction {
    char letter;
    const char* name; // shown in the status bar while the function is active
    int prompt;       // asks for the point
};

constexpr GrabFunction kFunctions[] = {
    {'L', "Grab: Line", kMsgGrabLine},
    {'E', "Grab: Vertex", kMsgGrabVertex},
    {'A', "Grab: Arc Edge", kMsgGrabArc},
    {'G', "Grab: Arc Origin", kMsgGrabArcOrigin},
    {'D', "Grab: Arc End Point", kMsgGrabArcEnd},
    {'P', "Grab: Pad", kMsgGrabPad},
    {'T', "Grab: Text", kMsgGrabText},
    {'C', "Grab: Component", kMsgGrabComponent},
    {'O', "Grab: Comp Only", kMsgGrabComponentOnly},
    {'F', "Grab: Filled Solid", kMsgGrabSolid},
    {'I', "Grab: Item", kMsgGrabItem},
};

const GrabFunction* function_of(uint16_t c) {
    if ((c >> 8) != 'G') {
        return nullptr;
    }
    for (const GrabFunction& f : kFunctions) {
        if (f.letter == static_cast<char>(c & 0xFF)) {
            return &f;
        }
    }
    return nullptr;
}

void ensure_messages(App& app) {
    if (app.shell.messages.count(shell::message_key(kMsgGrabLine)) == 0) {
        load_edit_messages(app);
    }
}

Coord line_width(const App& app) {
    return app.model.current ? app.model.current->setup.line_width : 0;
}

// After the entries are in place: the held Items leave the screen and their copies appear in XOR.
void finish_building(App& app) {
    GrabList& g = editor(app).grab;
    if (g.empty()) {
        clear_grab(g);
        return;
    }
    Box region;
    for (const GrabEntry& e : g.entries) {
        region.add(item_area(e.real));
    }
    redraw_region(app.display, *g.doc, region);
    g.building = false;
    if (g.return_cursor) {
        Point back = *g.return_cursor;
        g.return_cursor.reset();
        jump_cursor(app, back);
    }
    g.at = g.ref;
    Point c = cursor_point(app);
    show_grab(g, app.display);
    move_grab(g, app.display, c, app.display.view.angle_mode);
}

bool is_member(Ref item) {
    Ref r = node(item).next;
    while (node(r).item_kind() != model::kHead) {
        r = node(r).next;
    }
    Ref owner = model::ring_owner(r);
    return owner != model::kNone && node(owner).item_kind() == model::kComponent;
}

// One track hanging by one end follows the cursor under the ortho constraint from its fixed end.
void set_anchor(GrabList& g) {
    const GrabEntry* only = nullptr;
    for (const GrabEntry& e : g.entries) {
        if (e.companion()) {
            continue;
        }
        if (only != nullptr) {
            return;
        }
        only = &e;
    }
    if (only == nullptr || node(only->copy).item_kind() != model::kLine) {
        return;
    }
    const Node& n = node(only->copy);
    if ((only->flags & kGrabWhole) == kGrabSecond) {
        g.anchor = Point{n.line.x1, n.line.y1};
    } else if ((only->flags & kGrabWhole) == kGrabFirst) {
        g.anchor = Point{n.line.x2, n.line.y2};
    }
}

// "LocateCompBox": five field patterns and First or Next.  Returns the Component found, kNone when the
// dialog was cancelled or nothing matched (then beeps).
Ref locate_component_dialog(App& app) {
    Editor& ed = editor(app);
    const char* labels[5] = {"Pattern", "Reference ID", "Type/Value", "Modifier", "Field 5"};
    platform::FormBuilder box("LocateCompBox", "Locate Component");
    for (int i = 0; i < 5; ++i) {
        box.text("field" + std::to_string(i), labels[i], ed.find_component.patterns[i]);
    }
    platform::Form f = std::move(box).choice("from", "Search", {"First", "Next"}).build();
    if (!shell::run_dialog(app, f)) {
        return model::kNone;
    }
    for (int i = 0; i < 5; ++i) {
        ed.find_component.patterns[i] = f.get("field" + std::to_string(i)).substr(0, 24);
    }
    bool next = f.get("from") == "1";
    Ref ring = app.doc()->ring();
    Ref start = next && ed.find_component.last != model::kNone ? ed.find_component.last : ring;
    // "Next" continues after the last one found, if it is still in the Document.
    if (start != ring) {
        bool present = false;
        model::for_each_item(ring, [&](Ref r) { present = present || r == start; });
        if (!present) {
            start = ring;
        }
    }
    for (Ref r = node(start).next; r != ring; r = node(r).next) {
        if (node(r).item_kind() != model::kComponent || node(r).hidden()) {
            continue;
        }
        bool all = true;
        for (int i = 0; i < 5 && all; ++i) {
            all = field_matches(ed.find_component.patterns[i], model::ComponentField(r, i));
        }
        if (all) {
            ed.find_component.last = r;
            return r;
        }
    }
    shell::beep(app);
    shell::show_message(app, kMsgComponentNotFound);
    return model::kNone;
}

int do_grab(App& app, uint16_t c, Point p) {
    Editor& ed = editor(app);
    GrabList& g = ed.grab;
    model::Document& doc = *app.doc();
    Coord tol = pick_tolerance(app.display.view.scale);
    Ref grabbed = model::kNone;
    switch (c & 0xFF) {
    case 'L': {
        Found f = locate(app, Find::Line, p);
        if (f.item == model::kNone) {
            return 0;
        }
        begin_grab(g, doc, p, c);
        add_entry(g, f.item, kGrabWhole);
        const Node& n = node(g.entries.front().copy);
        Point e1{n.line.x1, n.line.y1}, e2{n.line.x2, n.line.y2};
        grab_point(g, e1, line_width(app));
        grab_point(g, e2, line_width(app));
        grabbed = f.item;
        break;
    }
    case 'E': {
        VertexHit h = SnapToVertex(app, false);
        if (h.item == model::kNone) {
            return 0;
        }
        begin_grab(g, doc, h.at, c);
        if (grab_point(g, h.at, line_width(app)) == 0) {
            add_entry(g, h.item, h.end == 1 ? kGrabFirst : kGrabSecond);
        }
        grabbed = h.item;
        set_anchor(g);
        break;
    }
    case 'A':
    case 'G':
    case 'D': {
        Found f = locate(app, Find::Arc, p);
        if (f.item == model::kNone) {
            return 0;
        }
        const Node& n = node(f.item);
        Point at = p;
        uint8_t flags = kGrabFirst;
        if ((c & 0xFF) == 'G') {
            at = Point{n.arc.x0, n.arc.y0};
        } else if ((c & 0xFF) == 'D') {
            Point s = model::arc_point(n, n.arc.start, turn_of);
            Point e = model::arc_point(n, static_cast<model::Angle>(n.arc.start + n.arc.sweep), turn_of);
            auto dist = [&](Point q) { return std::llabs(int64_t{q.x} - p.x) + std::llabs(int64_t{q.y} - p.y); };
            bool start = dist(s) < dist(e);
            at = start ? s : e;
            flags = static_cast<uint8_t>(kGrabSecond | (start ? kGrabArcStart : 0));
        }
        if (at.x != p.x || at.y != p.y) {
            jump_cursor(app, at);
        }
        begin_grab(g, doc, at, c);
        add_entry(g, f.item, flags);
        grabbed = f.item;
        break;
    }
    case 'P':
    case 'T': {
        bool pad = (c & 0xFF) == 'P';
        Found f = locate(app, pad ? Find::Pad : Find::Text, p);
        if (f.item == model::kNone) {
            return 0;
        }
        const Node& n = node(f.item);
        Point at = pad ? Point{n.pad.x0, n.pad.y0} : Point{n.text.x0, n.text.y0};
        jump_cursor(app, at);
        begin_grab(g, doc, at, c);
        add_entry(g, f.item, kGrabFirst);
        grabbed = f.item;
        break;
    }
    case 'C':
    case 'O': {
        Ref comp = locate(app, Find::Component, p).item;
        std::optional<Point> back;
        if (comp == model::kNone) {
            comp = locate_component_dialog(app);
            if (comp == model::kNone) {
                return -1; // cancelled or not found: nothing more to say
            }
            back = cursor_point(app);
            const Node& h = node(node(comp).link);
            p = Point{h.box.x1, h.box.y1};
            jump_cursor(app, p);
        }
        begin_grab(g, doc, p, c);
        g.return_cursor = back;
        grab_component(g, comp, p, (c & 0xFF) == 'C', tol);
        break;
    }
    case 'F': {
        Found f = locate(app, Find::Solid, p);
        if (f.item == model::kNone) {
            return 0;
        }
        begin_grab(g, doc, p, c);
        add_entry(g, f.item, kGrabWhole);
        grabbed = f.item;
        break;
    }
    case 'I': {
        begin_grab(g, doc, p, c);
        grabbed = grab_item_at(g, doc.setup.current_layer & 0xFF, p);
        if (grabbed == model::kNone) {
            clear_grab(g);
            return 0;
        }
        if (node(grabbed).item_kind() == model::kComponent) {
            grabbed = model::kNone; // by its insertion point: the companions are in already
        }
        break;
    }
    default:
        return 0;
    }
    if (g.empty()) {
        clear_grab(g);
        shell::show_message(app, kMsgPoolExhausted);
        return -1;
    }
    if (grabbed != model::kNone && is_member(grabbed)) {
        add_companions(g, grabbed);
    }
    finish_building(app);
    return 1;
}

// A click of an active Grab function: drops what hangs, or grabs at the cursor.
int grab_click(App& app, uint16_t c) {
    const GrabFunction* f = function_of(c);
    if (app.doc() == nullptr || f == nullptr) {
        return 0;
    }
    GrabList& g = editor(app).grab;
    Point p = cursor_point(app);
    if (!g.empty()) {
        // Grab Item: clicking again on the one Item that hangs, with the cursor back where it was grabbed,
        // lets it go and takes the next Item under the cursor.
        if ((c & 0xFF) == 'I' && g.function == c && countable_entries(g) == 1 && g.at.x == g.ref.x &&
            g.at.y == g.ref.y) {
            Ref previous = model::kNone;
            for (const GrabEntry& e : g.entries) {
                if (!e.companion()) {
                    previous = e.real;
                }
            }
            if (node(previous).item_kind() == model::kHead) {
                previous = model::ring_owner(previous);
            }
            abandon(g, app.display);
            model::Document& doc = *app.doc();
            begin_grab(g, doc, p, c);
            Ref next = grab_item_at(g, doc.setup.current_layer & 0xFF, p, previous);
            if (next == model::kNone) {
                clear_grab(g);
                return 1;
            }
            finish_building(app);
            return 1;
        }
        return drop_grab(app);
    }
    int r = do_grab(app, c, p);
    if (r == 0) {
        shell::beep(app);
        shell::show_message(app, f->prompt);
        return 0;
    }
    if (r > 0) {
        shell::show_message(app, kMsgDropOrCancel);
    }
    return r > 0 ? 1 : 0;
}

// The right click of a Grab function: abandons what hangs; with nothing hanging, the function ends.
int grab_right(App& app) {
    return abandon_grab(app);
}

// GN's dialog: the angle in degrees.
bool ask_angle(App& app, model::Angle& out) {
    Editor& ed = editor(app);
    platform::Form f = platform::FormBuilder("RotationAngleBox", "Rotate")
                           .text("angle", "Rotation angle (degrees)", model::angle_string(ed.rotation_angle))
                           .build();
    if (!shell::run_dialog(app, f)) {
        return false;
    }
    if (!degrees_field(f.get("angle"), out)) {
        shell::show_message(app, kMsgBadAngle);
        return false;
    }
    ed.rotation_angle = out;
    return true;
}

// GS's dialog: the factor as a decimal number, preset 1.0.
bool ask_factor(App& app, int32_t& out) {
    platform::Form f =
        platform::FormBuilder("ScalingFactorBox", "Scale").text("factor", "Scaling factor", "1.0").build();
    if (!shell::run_dialog(app, f)) {
        return false;
    }
    int32_t factor = 0;
    if (!factor_field(f.get("factor"), factor)) {
        shell::show_message(app, kMsgBadFactor);
        return false;
    }
    editor(app).scaling_factor = factor;
    out = factor;
    return true;
}

// Before the GN dialog: the view scrolls so that the cursor (the pivot) is visible.
void bring_cursor_into_view(App& app) {
    display::View& v = app.display.view;
    if (!display::inside_margins(v, v.cursor_col, v.cursor_row)) {
        editor(app).grab.shown = false; // the full redraw below shows the copies afresh
        display::place_cursor_at(v, display::middle_col(v), display::middle_row(v));
        shell::redraw(app);
        show_grab(editor(app).grab, app.display);
    }
}

int transform(App& app, uint16_t c) {
    GrabList& g = editor(app).grab;
    int empty_message = kMsgNothingToMirror;
    switch (c & 0xFF) {
    case 'R':
    case 'N':
        empty_message = kMsgNothingToRotate;
        break;
    case 'S':
        empty_message = kMsgNothingToScale;
        break;
    default:
        break;
    }
    if (g.empty()) {
        shell::show_message(app, empty_message);
        return 0;
    }
    switch (c & 0xFF) {
    case 'R':
        return transform_grab(g, app.display, Transform::Rotate90);
    case 'N': {
        bring_cursor_into_view(app);
        model::Angle a = 0;
        return ask_angle(app, a) ? transform_grab(g, app.display, Transform::Rotate, a) : 0;
    }
    case 'X':
        return transform_grab(g, app.display, Transform::MirrorX);
    case 'Y':
        return transform_grab(g, app.display, Transform::MirrorY);
    case 'M':
        return transform_grab(g, app.display, Transform::OtherSide);
    case 'S': {
        int32_t factor = 0x10000;
        return ask_factor(app, factor) ? transform_grab(g, app.display, Transform::Scale, factor) : 0;
    }
    default:
        return 0;
    }
}

} // namespace

int grab_group(App& app, uint16_t c, shell::Source source) {
    ensure_messages(app);
    if (app.doc() == nullptr) {
        shell::beep(app);
        return 0;
    }
    char letter = static_cast<char>(c & 0xFF);
    if (letter == 'R' || letter == 'N' || letter == 'X' || letter == 'Y' || letter == 'M' || letter == 'S') {
        return transform(app, c);
    }
    const GrabFunction* f = function_of(c);
    if (f == nullptr) {
        shell::error_sound(app);
        return 0;
    }
    // A pending grab is dropped first; that is all this command does then.
    if (drop_grab(app)) {
        return 1;
    }
    if (!redo_purge_check(app)) {
        return 0;
    }
    return arm_click_function(
        app, source, [c](App& a) { return grab_click(a, c); }, grab_right, f->name, f->prompt);
}

bool grab_pending(App& app) {
    return !editor(app).grab.empty();
}

int drop_grab(App& app) {
    GrabList& g = editor(app).grab;
    if (g.empty()) {
        return 0;
    }
    Ref dimension = g.dimension;
    int r = drop(g, app.display);
    if (r && dimension != model::kNone && editor(app).dimension_follow) {
        editor(app).dimension_follow(app, dimension);
    }
    shell::refresh_status_bar(app);
    return r;
}

int abandon_grab(App& app) {
    GrabList& g = editor(app).grab;
    if (!g.empty()) {
        return abandon(g, app.display);
    }
    shell::clear_function(app);
    app.shell.status.text.clear();
    shell::refresh_status_bar(app);
    return 1;
}

void cursor_moved(App& app) {
    GrabList& g = editor(app).grab;
    if (!g.empty() && !g.building) {
        move_grab(g, app.display, cursor_point(app), app.display.view.angle_mode);
    }
}

} // namespace trazel::edit
