#pragma once
// What the full redraw and the single-Item draws share: the drawing lock, the rectangles a draw goes
// to and the walk over the visible Items.  Internal to the display.
#include <vector>

#include "display/display.h"
#include "model/model.h"

namespace trazel::display {

// Takes the drawing lock for the time of one draw when the display has no buffer of its own yet.
struct SurfaceLock {
    Display& d;
    bool locked = false;
    explicit SurfaceLock(Display& disp) : d(disp) {
        if (d.buffer.base == nullptr && d.hooks.lock) {
            locked = d.hooks.lock(d);
        }
    }
    ~SurfaceLock() {
        if (locked && d.hooks.unlock) {
            d.hooks.unlock(d);
        }
    }
    SurfaceLock(const SurfaceLock&) = delete;
    SurfaceLock& operator=(const SurfaceLock&) = delete;
};

// The rectangles a draw goes to: the given ones cut to the drawing area, or the drawing area itself.
inline std::vector<Rect> draw_rects(const Display& d) {
    std::vector<Rect> out;
    if (d.rects.empty()) {
        out.push_back(d.view.area);
    } else {
        for (const Rect& r : d.rects) {
            Rect c = intersect(r, d.view.area);
            if (!c.empty()) {
                out.push_back(c);
            }
        }
    }
    return out;
}

// Calls f(item) for every Item of the ring tree in walk order (members after their Component), entering
// only the Components that `enter` accepts; hidden Components are skipped with their members.
template <class Enter, class F> void walk_visible(Ref head, Enter&& enter, F&& f) {
    model::walk_tree(head, [&](Ref r, int) {
        const model::Node& n = model::node(r);
        if (n.hidden()) {
            return false;
        }
        f(r);
        return n.item_kind() == model::kComponent && enter(n);
    });
}

} // namespace trazel::display
