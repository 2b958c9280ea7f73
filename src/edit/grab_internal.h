#pragma once
// Pieces of the grab shared by the grab, transform and Grab group files.
#include <cstdint>

#include "edit/editor.h"
#include "model/model.h"

namespace trazel::edit {

// Moves the points of a working copy that its flags grab by (dx, dy); an Arc held by one end keeps that
// end on its curve at the angle of the moved point.
void apply_offset(model::Node& n, uint8_t flags, int64_t dx, int64_t dy);

// A Solid's box from its vertices, a Component's from its members (as the reader forms it when the
// member ring closes): after their points moved.
void refit_solid_box(Ref solid);
void refit_component_box(Ref c);

// Grab Item starting after `after` in walking order (kNone: from the start), for the second GI click that
// steps on to the next Item under the cursor.
Ref grab_item_at(GrabList& g, int layer, Point p, Ref after);


// --- Shared by the grab and the component-track following (component_tracks.cpp) ---

using model::Node;
using model::node;

inline constexpr Coord kFanoutReach = 4096;  // a via this close to a Component's box follows it
inline constexpr Coord kGatherMargin = 131072; // GC looks at tracks and vias this far around the box first
inline constexpr int kMaxChain = 256;

inline bool is_track(const Node& n) {
    return n.item_kind() == model::kLine && n.size != 0;
}

inline Point end_point(const Node& line, int end) {
    return end == 1 ? Point{line.line.x1, line.line.y1} : Point{line.line.x2, line.line.y2};
}

inline uint8_t ends_at(const Node& line, Point p) {
    uint8_t f = 0;
    if (model::same_place(end_point(line, 1), p)) {
        f |= kGrabFirst;
    }
    if (model::same_place(end_point(line, 2), p)) {
        f |= kGrabSecond;
    }
    return f;
}

inline Ref ring_head_of(Ref item) {
    Ref r = node(item).next;
    while (node(r).item_kind() != model::kHead) {
        r = node(r).next;
    }
    return r;
}

// Walks every Item (members included, forwards); Hidden Items count only when they have an entry
// (they are held by this grab and may get more flags).
template <class F> void walk_all(GrabList& g, F&& f) {
    model::walk_tree(g.doc->ring(), [&](Ref r, int depth) {
        if (!node(r).hidden() || g.index.count(r) != 0) {
            f(r, depth);
        }
    });
}

// The same over the Items whose boxes meet `area`, through the index when it covers the Document.
template <class F> void walk_all_near(GrabList& g, const Rect64& area, F&& f) {
    if (g.spatial == nullptr || !g.spatial->covers(*g.doc)) {
        walk_all(g, f);
        return;
    }
    g.spatial->visit_forward(area, [&](Ref r, int depth) {
        if (!node(r).hidden() || g.index.count(r) != 0) {
            f(r, depth);
        }
    });
}

// Adds the tracks, vias and pads that follow a Component grabbed with GC: track ends in its pads move
// with it, and so do fan-out vias close to its box.
void follow_component_tracks(GrabList& g, Ref component);

} // namespace trazel::edit
