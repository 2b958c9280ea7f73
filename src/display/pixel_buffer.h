#pragma once
// The pixel buffer the display draws into: what a locked screen surface offers.
#include <cstdint>

namespace trazel::display {

// Inclusive pixel rectangle (monitor pixels).
struct Rect {
    int top = 0, left = 0, bottom = -1, right = -1;

    bool empty() const {
        return bottom < top || right < left;
    }
    int width() const {
        return right - left + 1;
    }
    int height() const {
        return bottom - top + 1;
    }
    bool contains(int row, int col) const {
        return row >= top && row <= bottom && col >= left && col <= right;
    }
};

struct PixelBuffer {
    uint8_t* base = nullptr; // null: not locked, primitives draw nothing
    int pitch = 0;           // bytes per row
    int depth = 32;          // bits per pixel: 8, 16, 24 or 32
    int width = 0, height = 0;

    int bytes_per_pixel() const {
        return depth / 8;
    }
    uint8_t* at(int row, int col) const {
        return base + static_cast<intptr_t>(row) * pitch + static_cast<intptr_t>(col) * (depth / 8);
    }
};

} // namespace trazel::display
