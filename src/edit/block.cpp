// The Block's membership test.
#include "edit/block.h"

#include "edit/locate.h"
#include "model/geometry.h"
#include "model/hit_test.h"

namespace trazel::edit {

using model::Node;
using model::node;

namespace {

constexpr model::Angle kHalfTurn = 32768;

int block_layer(const Node& n) {
    // A through-hole Pad stands on every layer: it is selected with layer 0, the pad master.
    if (n.item_kind() == model::kPad && !is_smt_pad(n)) {
        return model::kPadMasterLayer;
    }
    return n.layer;
}

// The points that decide, two at most.
int deciding_points(const Node& n, Point out[2]) {
    switch (n.item_kind()) {
    case model::kLine:
    case model::kPointGroup:
    case model::kComponent:
        out[0] = Point{n.line.x1, n.line.y1};
        out[1] = Point{n.line.x2, n.line.y2};
        return 2;
    case model::kArc:
        if (n.arc.ellipse == 0 && n.arc.sweep != 0 && n.arc.sweep < kHalfTurn) {
            out[0] = model::arc_point(n, n.arc.start, turn_of);
            out[1] = model::arc_point(n, static_cast<model::Angle>(n.arc.start + n.arc.sweep), turn_of);
            return 2;
        }
        out[0] = Point{n.arc.x0, n.arc.y0};
        return 1;
    case model::kPad:
        out[0] = Point{n.pad.x0, n.pad.y0};
        return 1;
    case model::kText:
        out[0] = Point{n.text.x0, n.text.y0};
        return 1;
    default:
        return 0;
    }
}

} // namespace

bool point_in_block(const Block& b, Point p) {
    if (p.x < b.left || p.x > b.right || p.y < b.bottom || p.y > b.top) {
        return false;
    }
    if (b.outline.size() < 3) {
        return true;
    }
    model::PolygonHit h = model::point_in_polygon(b.outline.data(), static_cast<int>(b.outline.size()), p.x, p.y);
    return h.where != model::Where::Outside;
}

Membership block_membership(const Block& b, const model::Document& doc, Ref item) {
    (void)doc;
    const Node& n = node(item);
    if (!b.layers[block_layer(n) & 0xFF]) {
        return Membership::Outside;
    }
    Point pts[2];
    int count = deciding_points(n, pts);
    if (count == 0) {
        return Membership::Outside;
    }
    int inside = 0;
    for (int i = 0; i < count; ++i) {
        inside += point_in_block(b, pts[i]) ? 1 : 0;
    }
    if (inside == count) {
        return Membership::Inside;
    }
    if (inside == 1 && n.item_kind() == model::kLine && n.size != 0) {
        return Membership::Stretched;
    }
    return Membership::Outside;
}

bool outside_block(const Block& b, const model::Document& doc, Ref item) {
    (void)doc;
    const Node& n = node(item);
    if (!b.layers[block_layer(n) & 0xFF]) {
        return false;
    }
    Point pts[2];
    int count = deciding_points(n, pts);
    for (int i = 0; i < count; ++i) {
        if (!point_in_block(b, pts[i])) {
            return true;
        }
    }
    return false;
}

} // namespace trazel::edit
