// The Delete group and the document-wide snaps: prompts, click handlers and confirmation boxes around the
// engines of delete_items.h and snap_all.h.
#include "display/display.h"
#include "edit/area.h"
#include "edit/commands.h"
#include "edit/delete_items.h"
#include "edit/grab.h"
#include "edit/snap_all.h"
#include "edit/status.h"
#include "shell/app.h"
#include "shell/commands.h"
#include "shell/modes.h"
#include "shell/status.h"
#include "shell/window_events.h"

namespace trazel::edit {

using model::node;
using shell::code;

namespace {

struct DeleteFunction {
    char letter;
    const char* name; // shown in the status bar while the function is active
    int prompt;       // asks for the Item
};

constexpr DeleteFunction kFunctions[] = {
    {'L', "Delete: Line", kMsgDeleteLine},
    {'M', "Delete: Multi-Line", kMsgDeleteLines},
    {'E', "Delete: Vertex", kMsgDeleteVertex},
    {'A', "Delete: Arc/Circle", kMsgDeleteArc},
    {'P', "Delete: Pad/Via", kMsgDeletePad},
    {'T', "Delete: Text", kMsgDeleteText},
    {'C', "Delete: Component", kMsgDeleteComponent},
    {'F', "Delete: Filled Solid", kMsgDeleteSolid},
};

const DeleteFunction* function_of(uint16_t c) {
    for (const DeleteFunction& f : kFunctions) {
        if (c == code('D', f.letter)) {
            return &f;
        }
    }
    return nullptr;
}

struct SnapFunction {
    char letter;
    const char* title;
    const char* text;
};

constexpr SnapFunction kSnaps[] = {
    {'G', "Component Grid Snap Warning",
     "This function will move all components to\nthe nearest grid snap position.\n\nDo you wish to proceed?"},
    {'D', "Text Grid Snap Warning",
     "This function will move all text strings\nto the nearest grid snap position.\n\nDo you wish to proceed?"},
    {'N', "Track Pad Snap Warning",
     "This function will move all track\nendpoints to the center of their pads.\n\nDo you wish to proceed?"},
    {'M', "Component Centroid Warning",
     "This function will move all SMT component\ninsertion points to the centroid point of\nthe component.\n\nDo "
     "you wish to proceed?"},
};

void ensure_messages(App& app) {
    if (app.shell.messages.count(shell::message_key(kMsgVertexNotTwo)) == 0) {
        load_edit_messages(app);
    }
}

void end_function(App& app) {
    shell::clear_function(app);
    app.shell.status.text.clear();
    shell::refresh_status_bar(app);
}

void changed(App& app, const Box& area) {
    redraw_region(app.display, *app.doc(), area);
    shell::refresh_status_bar(app);
}

// Where a Find locator applies.
bool find_of(char letter, Find& out) {
    switch (letter) {
    case 'L':
    case 'M':
        out = Find::Line;
        return true;
    case 'A':
        out = Find::Arc;
        return true;
    case 'P':
        out = Find::Pad;
        return true;
    case 'T':
        out = Find::Text;
        return true;
    case 'C':
        out = Find::Component;
        return true;
    case 'F':
        out = Find::Solid;
        return true;
    default:
        return false;
    }
}

// DE at the cursor: 1 joined, 0 no vertex there, -1 not exactly two ends (the function ends).
int delete_vertex_at(App& app) {
    VertexHit h = SnapToVertex(app, false);
    if (h.item == model::kNone) {
        return 0;
    }
    model::Document& doc = *app.doc();
    VertexJoin j = delete_vertex(doc, doc.setup.current_layer & 0xFF, h.at);
    if (j.kept == model::kNone) {
        end_function(app);
        shell::show_message(app, kMsgVertexNotTwo);
        return -1;
    }
    jump_cursor(app, j.cursor);
    changed(app, j.area);
    return 1;
}

// One deletion at the cursor: 1 done, 0 nothing there (the caller beeps and asks), -1 refused.
int delete_at(App& app, const DeleteFunction& f) {
    if (f.letter == 'E') {
        return delete_vertex_at(app);
    }
    Find what = Find::Line;
    if (!find_of(f.letter, what)) {
        return 0;
    }
    Found found = locate(app, what, cursor_point(app));
    if (found.item == model::kNone) {
        return 0;
    }
    model::Document& doc = *app.doc();
    Box area;
    if (f.letter == 'M') {
        SpatialIndex& index = editor(app).index; // in step: the locator has just used it
        delete_chain(doc, found.item, &index, &area);
    } else {
        area = delete_item(doc, found.item);
    }
    changed(app, area);
    return 1;
}

int delete_click(App& app, uint16_t c) {
    const DeleteFunction* f = function_of(c);
    if (app.doc() == nullptr || f == nullptr) {
        return 0;
    }
    if (grab_pending(app)) {
        return drop_grab(app); // another function's grab: dropping it is all this click does
    }
    int r = delete_at(app, *f);
    if (r == 0) {
        shell::beep(app);
        shell::show_message(app, f->prompt);
    }
    return r > 0 ? 1 : 0;
}

int delete_command(App& app, uint16_t c, shell::Source source) {
    ensure_messages(app);
    const DeleteFunction* f = function_of(c);
    if (app.doc() == nullptr || f == nullptr) {
        shell::beep(app);
        return 0;
    }
    if (drop_grab(app)) {
        return 1;
    }
    if (!redo_purge_check(app)) {
        return 0;
    }
    return arm_click_function(
        app, source, [c](App& a) { return delete_click(a, c); }, abandon_grab, f->name, f->prompt);
}

// DG: what hangs on the cursor goes, and what it stood for; with nothing grabbed the function ends.
int delete_grabbed_command(App& app, uint16_t, shell::Source) {
    if (app.doc() == nullptr) {
        shell::beep(app);
        return 0;
    }
    GrabList& g = editor(app).grab;
    if (g.empty()) {
        end_function(app);
        return 0;
    }
    if (!redo_purge_check(app)) {
        return 0;
    }
    delete_grabbed(g, app.display);
    shell::refresh_status_bar(app);
    return 1;
}

int delete_highlighted_command(App& app, uint16_t, shell::Source) {
    if (app.doc() == nullptr) {
        shell::beep(app);
        return 0;
    }
    if (drop_grab(app)) {
        return 1;
    }
    if (!redo_purge_check(app)) {
        return 0;
    }
    Box area;
    if (delete_highlighted(*app.doc(), &area) == 0) {
        shell::beep(app);
        return 0;
    }
    changed(app, area);
    return 1;
}

int snap_command(App& app, uint16_t c, shell::Source) {
    model::Document* doc = app.doc();
    if (doc == nullptr) {
        shell::beep(app);
        return 0;
    }
    const SnapFunction* f = nullptr;
    for (const SnapFunction& s : kSnaps) {
        if (c == code('E', s.letter)) {
            f = &s;
        }
    }
    if (f == nullptr) {
        shell::error_sound(app);
        return 0;
    }
    if (drop_grab(app)) {
        return 1;
    }
    // The warning first: a Cancel there leaves the redo stack alone as well.
    if (shell::ask(app, f->text, f->title, platform::Buttons::OkCancel) != platform::Answer::Ok) {
        return 0;
    }
    if (!redo_purge_check(app)) {
        return 0;
    }
    const display::View& v = app.display.view;
    Point origin{v.rel_x, v.rel_y};
    int n = 0;
    switch (f->letter) {
    case 'G':
        n = snap_components(*doc, v.snap, origin);
        break;
    case 'D':
        n = snap_texts(*doc, v.snap, origin);
        break;
    case 'N':
        n = track_pad_snap(*doc);
        break;
    default:
        n = centroid_snap(*doc);
        break;
    }
    if (n > 0) {
        shell::redraw(app);
        shell::refresh_status_bar(app);
    }
    return 1;
}

} // namespace

void install_delete_items(App& app) {
    for (const DeleteFunction& f : kFunctions) {
        shell::set_command_handler(app, code('D', f.letter), delete_command);
    }
    shell::set_command_handler(app, code('D', 'G'), delete_grabbed_command);
    shell::set_command_handler(app, code('D', 'H'), delete_highlighted_command);
    for (const SnapFunction& s : kSnaps) {
        shell::set_command_handler(app, code('E', s.letter), snap_command);
    }
}

} // namespace trazel::edit
