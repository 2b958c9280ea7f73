#pragma once
// Areas of Items in Document units and the redraw of a region of the screen: how the editor makes the
// screen follow a change without redrawing everything.
#include <cstdint>

#include "display/display.h"
#include "model/model.h"

namespace trazel::edit {

// A box in Document units; empty while x1 > x2 (the start value: corners at the largest and smallest
// 32-bit values).
struct Box {
    int64_t x1 = INT32_MAX, y1 = INT32_MAX, x2 = INT32_MIN, y2 = INT32_MIN;

    bool empty() const {
        return x1 > x2 || y1 > y2;
    }
    void add(int64_t x, int64_t y) {
        x1 = x < x1 ? x : x1;
        y1 = y < y1 ? y : y1;
        x2 = x > x2 ? x : x2;
        y2 = y > y2 ? y : y2;
    }
    void add(const Box& b) {
        if (!b.empty()) {
            add(b.x1, b.y1);
            add(b.x2, b.y2);
        }
    }
    void grow(int64_t by) {
        if (!empty()) {
            x1 -= by, y1 -= by, x2 += by, y2 += by;
        }
    }
};

// The area an Item covers on the screen: its shape grown by half its width (a Component with all its
// members and its hook point; a Solid's vertex Node its edge).
Box item_area(model::Ref item);

// Redraws the part of the drawing area that shows `area` (a few pixels more), within the rectangles
// the display draws to.  Returns non-zero when anything was drawn.
int redraw_region(display::Display& d, const Box& area);

} // namespace trazel::edit
