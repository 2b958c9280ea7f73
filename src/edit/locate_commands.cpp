// The locators and cursor jumps as the Grab functions use them: on the App's current Document, at the
// view's pick tolerance, with the editor's index and a status bar refresh when the layer changed.
#include "display/view.h"
#include "edit/commands.h"
#include "edit/locate.h"
#include "shell/app.h"

namespace trazel::edit {

Found locate(App& app, Find what, Point p) {
    if (app.doc() == nullptr) {
        return Found{};
    }
    bool switched = false;
    SpatialIndex& index = editor(app).index;
    index.sync(*app.doc());
    Found f = locate(*app.doc(), what, p, pick_tolerance(app.display.view.scale), &switched, &index);
    if (switched) {
        refresh_status(app);
    }
    return f;
}

Point cursor_point(const App& app) {
    return Point{app.display.view.cursor_x, app.display.view.cursor_y};
}

void jump_cursor(App& app, Point p) {
    display::View& v = app.display.view;
    // Snapping off for the jump: the point is exact (a pad centre, a track end), not a grid point.
    uint32_t snap = v.snap;
    v.snap = 0;
    v.residue_x = v.residue_y = 0;
    display::move_cursor_by(v, int64_t{p.x} - v.cursor_x, int64_t{p.y} - v.cursor_y, app.doc() != nullptr);
    v.snap = snap;
}

VertexHit SnapToVertex(App& app, bool wide) {
    if (app.doc() == nullptr) {
        return VertexHit{};
    }
    model::Document& doc = *app.doc();
    editor(app).index.sync(doc);
    VertexHit h = find_vertex_at(doc, doc.setup.current_layer & 0xFF, cursor_point(app), wide, &editor(app).index);
    if (h.item == model::kNone) {
        return h;
    }
    jump_cursor(app, h.at);
    if (switch_layer(doc, h.item)) {
        refresh_status(app);
    }
    return h;
}

} // namespace trazel::edit
