#include "edit/area.h"

#include <algorithm>

namespace trazel::edit {

using model::Node;
using model::node;
using model::Ref;

namespace {

constexpr int kRegionMarginPixels = 2;

void add_own_area(Box& b, Ref item) {
    const Node& n = node(item);
    switch (n.item_kind()) {
    case model::kLine: {
        Box e;
        e.add(n.line.x1, n.line.y1);
        e.add(n.line.x2, n.line.y2);
        e.grow(n.size / 2 + 1);
        b.add(e);
        break;
    }
    case model::kArc: {
        int64_t r = n.arc.radius < 0 ? -int64_t{n.arc.radius} : n.arc.radius;
        r += n.size / 2 + 1;
        b.add(int64_t{n.arc.x0} - r, int64_t{n.arc.y0} - r);
        b.add(int64_t{n.arc.x0} + r, int64_t{n.arc.y0} + r);
        break;
    }
    case model::kPad: {
        // Half the sum of the sides covers the pad turned to any angle.
        int64_t h = (int64_t{n.pad.width} + n.pad.height) / 2 + 1;
        b.add(int64_t{n.pad.x0} - h, int64_t{n.pad.y0} - h);
        b.add(int64_t{n.pad.x0} + h, int64_t{n.pad.y0} + h);
        break;
    }
    case model::kText: {
        int64_t len = n.text.length < 0 ? -int64_t{n.text.length} : n.text.length;
        int64_t lines = n.text.lines > 1 ? n.text.lines : 1;
        int64_t h = len + int64_t{n.size} * (2 * lines + 1);
        b.add(int64_t{n.text.x0} - h, int64_t{n.text.y0} - h);
        b.add(int64_t{n.text.x0} + h, int64_t{n.text.y0} + h);
        break;
    }
    case model::kPointGroup:
    case model::kComponent:
    case model::kDocument:
        b.add(std::min(n.box.x1, n.box.x2), std::min(n.box.y1, n.box.y2));
        b.add(std::max(n.box.x1, n.box.x2), std::max(n.box.y1, n.box.y2));
        break;
    case model::kHead: {
        // A member ring head: its insertion point with the hook point marker.
        constexpr int64_t h = display::kMarkerSize / 2 + display::kMarkerStroke;
        b.add(int64_t{n.box.x1} - h, int64_t{n.box.y1} - h);
        b.add(int64_t{n.box.x1} + h, int64_t{n.box.y1} + h);
        break;
    }
    default:
        break;
    }
}

} // namespace

Box item_area(Ref item) {
    Box b;
    add_own_area(b, item);
    const Node& n = node(item);
    if (n.item_kind() == model::kComponent && n.link != model::kNone) {
        add_own_area(b, n.link);
        model::walk_tree(n.link, [&](Ref m, int) { add_own_area(b, m); });
    }
    return b;
}

int redraw_region(display::Display& d, const model::Document& doc, const Box& area) {
    if (area.empty() || (d.buffer.base == nullptr && !d.hooks.lock)) {
        return 0;
    }
    const display::View& v = d.view;
    auto cx = [](int64_t x) { return static_cast<model::Coord>(std::clamp<int64_t>(x, INT32_MIN, INT32_MAX)); };
    // In mirror view x1 is the right edge.
    auto [c1, c2] = std::minmax({display::to_screen_x(v, cx(area.x1)), display::to_screen_x(v, cx(area.x2))});
    int left = c1 - kRegionMarginPixels;
    int right = c2 + kRegionMarginPixels;
    int top = display::to_screen_y(v, cx(area.y2)) - kRegionMarginPixels;
    int bottom = display::to_screen_y(v, cx(area.y1)) + kRegionMarginPixels;
    std::vector<display::Rect> saved = d.rects;
    std::vector<display::Rect> base = saved.empty() ? std::vector<display::Rect>{v.area} : saved;
    std::vector<display::Rect> rects;
    for (const display::Rect& r : base) {
        display::Rect c{std::max(top, r.top), std::max(left, r.left), std::min(bottom, r.bottom),
                        std::min(right, r.right)};
        if (!c.empty()) {
            rects.push_back(c);
        }
    }
    if (rects.empty()) {
        return 0;
    }
    d.rects = rects;
    int drew = display::redraw(d, &doc, true);
    d.rects = saved;
    return drew;
}

} // namespace trazel::edit
