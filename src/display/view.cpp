// Conversions between Document units and pixels, snapping, cursor motion and the angle constraint.
#include <algorithm>
#include <cstdlib>
#include <limits>

#include "display/view.h"

namespace trazel::display {

namespace {

using model::abs64;

constexpr int64_t kCoordMax = std::numeric_limits<Coord>::max();
constexpr int64_t kCoordMin = std::numeric_limits<Coord>::min();

int clamp_int(int64_t v) {
    return static_cast<int>(std::clamp<int64_t>(v, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

Coord clamp_coord(int64_t v) {
    return static_cast<Coord>(std::clamp<int64_t>(v, kCoordMin, kCoordMax));
}

// n * 2^32 / scale, rounded to nearest (halves away from zero), saturating at +-0x7FFFFFFF.
Coord divide_by_scale(int64_t n, uint32_t scale) {
    uint64_t mag = abs64(n);
    uint64_t q;
    if (scale == 0 || mag >= scale) {
        q = kCoordMax; // at least 2^32, beyond any coordinate
    } else {
        // mag < scale < 2^32, so mag * 2^32 + scale / 2 stays below 2^64.
        q = ((mag << 32) + scale / 2) / scale;
        q = std::min<uint64_t>(q, kCoordMax);
    }
    return n < 0 ? -static_cast<Coord>(q) : static_cast<Coord>(q);
}

} // namespace

int64_t scale_units(Coord value, uint32_t scale) {
    // The product is formed with the scale halved so that it fits a signed multiply, then doubled; adding
    // half of 2^32 before taking the upper half rounds half up.  |value| * scale / 2 < 2^62.
    int64_t doubled = static_cast<int64_t>(value) * static_cast<int64_t>(scale >> 1) * 2;
    return (doubled + (int64_t{1} << 31)) >> 32;
}

int to_screen_x(const View& v, Coord x) {
    return clamp_int(scale_units(view_x(v, x), v.scale) - v.origin_x);
}

int to_screen_y(const View& v, Coord y) {
    return clamp_int(int64_t{v.drawing_height} - 1 - (scale_units(y, v.scale) - v.origin_y));
}

Coord to_units_x(const View& v, int col) {
    return view_x(v, divide_by_scale(int64_t{col} + v.origin_x, v.scale));
}

Coord to_units_y(const View& v, int row) {
    return divide_by_scale(int64_t{v.drawing_height} - 1 - row + v.origin_y, v.scale);
}

uint32_t length_to_pixels(const View& v, uint32_t len) {
    return static_cast<uint32_t>((static_cast<uint64_t>(len) * v.scale) >> 32);
}

Coord pixels_to_length(const View& v, int32_t px) {
    return divide_by_scale(px, v.scale);
}

int middle_col(const View& v) {
    return static_cast<int>((int64_t{v.area.left} + v.area.right) / 2);
}

int middle_row(const View& v) {
    return static_cast<int>((int64_t{v.area.top} + v.area.bottom) / 2);
}

bool inside_margins(const View& v, int col, int row) {
    return col >= v.area.left + kEdgeMarginX && col <= v.area.right - kEdgeMarginX &&
           row >= v.area.top + kEdgeMarginY && row <= v.area.bottom - kEdgeMarginY;
}

Snapped snap_axis(int64_t value, Coord origin, uint32_t grid) {
    int64_t clamped = std::clamp(value, kCoordMin, kCoordMax);
    if (grid < kSnapOff) {
        return Snapped{static_cast<Coord>(clamped), 0};
    }
    int64_t p = clamped - origin; // |p| < 2^32
    bool neg = p < 0;
    uint64_t mag = abs64(p);
    // Steps as a 32.32 quotient mag * 2^32 / grid, i.e. 16.16 steps since grid is 16.16; split so that the
    // shifted remainder (below grid < 2^32) cannot overflow.
    uint64_t q = ((mag / grid) << 32) + ((mag % grid) << 32) / grid;
    uint64_t n = model::round16(q);
    for (;;) {
        int64_t s = static_cast<int64_t>(model::round16(n * grid)); // n * grid < 2^50
        int64_t snapped = origin + (neg ? -s : s);
        // A grid point beyond the Coord range: one step back towards the anchor lies between the anchor
        // and the (in-range) value.
        if ((snapped < kCoordMin || snapped > kCoordMax) && n > 0) {
            --n;
            continue;
        }
        int64_t residue = static_cast<int64_t>(mag) - s;
        return Snapped{static_cast<Coord>(snapped), static_cast<Coord>(neg ? -residue : residue)};
    }
}

void update_cursor_pixel(View& v) {
    v.cursor_col = to_screen_x(v, v.cursor_x);
    v.cursor_row = to_screen_y(v, v.cursor_y);
}

void place_cursor_at(View& v, int col, int row) {
    v.origin_x = clamp_coord(scale_units(view_x(v, v.cursor_x), v.scale) - col);
    v.origin_y = clamp_coord(scale_units(v.cursor_y, v.scale) - (int64_t{v.drawing_height} - 1 - row));
    update_cursor_pixel(v);
}

int snap_cursor(View& v) {
    Snapped sx = snap_axis(v.cursor_x, v.rel_x, v.snap);
    Snapped sy = snap_axis(v.cursor_y, v.rel_y, v.snap);
    bool moved = sx.value != v.cursor_x || sy.value != v.cursor_y;
    v.cursor_x = sx.value;
    v.cursor_y = sy.value;
    v.residue_x = sx.residue;
    v.residue_y = sy.residue;
    update_cursor_pixel(v);
    return moved ? 1 : 0;
}

int set_cursor_from_pixel(View& v, int col, int row) {
    Coord old_x = v.cursor_x, old_y = v.cursor_y;
    v.cursor_x = to_units_x(v, col);
    v.cursor_y = to_units_y(v, row);
    snap_cursor(v);
    return v.cursor_x != old_x || v.cursor_y != old_y ? 1 : 0;
}

namespace {

void call(const std::function<void()>& f) {
    if (f) {
        f();
    }
}

// Scroll distance that brings `pos` back between lo and hi (0 when it is there already).  A jump far off
// the window gives a scroll larger than the window, which the shell turns into a full redraw.
int overshoot(int pos, int lo, int hi) {
    int64_t p = pos, l = lo, h = hi;
    if (h < l) {
        return clamp_int((l + h) / 2 - p); // area too small for the margins: centre it
    }
    return clamp_int(p < l ? l - p : p > h ? h - p : 0);
}

} // namespace

int move_cursor_by(View& v, int64_t dx, int64_t dy, bool has_document) {
    // Deltas beyond the range of the Document cannot mean anything but "to the edge".
    dx = std::clamp<int64_t>(dx, -(int64_t{1} << 33), int64_t{1} << 33);
    dy = std::clamp<int64_t>(dy, -(int64_t{1} << 33), int64_t{1} << 33);
    Snapped sx = snap_axis(int64_t{v.cursor_x} + dx + v.residue_x, v.rel_x, v.snap);
    Snapped sy = snap_axis(int64_t{v.cursor_y} + dy + v.residue_y, v.rel_y, v.snap);
    int old_col = v.cursor_col, old_row = v.cursor_row;
    Coord old_x = v.cursor_x, old_y = v.cursor_y;
    v.residue_x = sx.residue;
    v.residue_y = sy.residue;
    if (sx.value == old_x && sy.value == old_y) {
        return 0;
    }
    v.cursor_x = sx.value;
    v.cursor_y = sy.value;
    update_cursor_pixel(v);

    if (!has_document) {
        // Keep the cursor on the drawing area: an axis that left it goes to the grid point under the
        // clamped pixel, or stays where it was when that point is outside too.
        const Rect& a = v.area;
        if (v.cursor_col < a.left || v.cursor_col > a.right) {
            Snapped s =
                snap_axis(to_units_x(v, std::clamp(v.cursor_col, a.left, std::max(a.left, a.right))), v.rel_x, v.snap);
            int col = to_screen_x(v, s.value);
            v.cursor_x = col >= a.left && col <= a.right ? s.value : old_x;
            v.residue_x = 0;
        }
        if (v.cursor_row < a.top || v.cursor_row > a.bottom) {
            Snapped s =
                snap_axis(to_units_y(v, std::clamp(v.cursor_row, a.top, std::max(a.top, a.bottom))), v.rel_y, v.snap);
            int row = to_screen_y(v, s.value);
            v.cursor_y = row >= a.top && row <= a.bottom ? s.value : old_y;
            v.residue_y = 0;
        }
        update_cursor_pixel(v);
        if (v.cursor_x == old_x && v.cursor_y == old_y) {
            return 0;
        }
    }
    bool scrolled = false;
    if (has_document) {
        int sdx = overshoot(v.cursor_col, v.area.left + kEdgeMarginX, v.area.right - kEdgeMarginX);
        int sdy = overshoot(v.cursor_row, v.area.top + kEdgeMarginY, v.area.bottom - kEdgeMarginY);
        if (sdx != 0 || sdy != 0) {
            // Contents moving right by sdx means Document x = 0 sits sdx further right: origin_x falls.
            v.origin_x = clamp_coord(int64_t{v.origin_x} - sdx);
            v.origin_y = clamp_coord(int64_t{v.origin_y} + sdy);
            update_cursor_pixel(v);
            scrolled = true;
            if (v.hooks.scroll) {
                v.hooks.scroll(sdx, sdy);
            }
        }
    }

    if (v.cursor_col == old_col && v.cursor_row == old_row && !scrolled) {
        call(v.hooks.readout_refresh);
        return 1;
    }
    call(v.hooks.crosshair_refresh);
    call(v.hooks.readout_refresh);
    call(v.hooks.query_notify);
    return 1;
}

int pull_cursor_inside(View& v, const Rect& r, int mx, int my) {
    int64_t step = std::max<int64_t>(1, length_to_pixels(v, model::from_units(v.snap)));
    auto pull = [step](int64_t pos, int64_t lo, int64_t hi) {
        if (hi < lo) {
            return (lo + hi) / 2;
        }
        if (pos < lo) {
            pos += (lo - pos + step - 1) / step * step;
        } else if (pos > hi) {
            pos -= (pos - hi + step - 1) / step * step;
        }
        // A step wider than the allowed band can jump across it; then the middle will do.
        return pos < lo || pos > hi ? (lo + hi) / 2 : pos;
    };
    int col = clamp_int(pull(v.cursor_col, int64_t{r.left} + mx, int64_t{r.right} - mx));
    int row = clamp_int(pull(v.cursor_row, int64_t{r.top} + my, int64_t{r.bottom} - my));
    if (col == v.cursor_col && row == v.cursor_row) {
        return 0;
    }
    set_cursor_from_pixel(v, col, row);
    return 1;
}

int octant_of(int64_t dx, int64_t dy) {
    int64_t ax = abs64(dx), ay = abs64(dy);
    // Each octant is half-open, starting at its lower angle: 45 degrees exactly is octant 1.
    if (dy >= 0 && dx > 0) {
        return ay < ax ? 0 : 1;
    }
    if (dx <= 0 && dy > 0) {
        return ax < ay ? 2 : 3;
    }
    if (dy <= 0 && dx < 0) {
        return ay < ax ? 4 : 5;
    }
    if (dx >= 0 && dy < 0) {
        return ax < ay ? 6 : 7;
    }
    return 0; // the zero vector
}

model::Point constrain_angle(int mode, model::Point cursor, model::Point anchor, std::optional<Angle> previous) {
    int64_t x = cursor.x, y = cursor.y, axp = anchor.x, ayp = anchor.y;
    int64_t dx = x - axp, dy = y - ayp;
    int64_t adx = abs64(dx), ady = abs64(dy);
    int o = octant_of(dx, dy);
    int64_t rx = x, ry = y;
    switch (mode) {
    case 1:
        if (o == 7 || o == 0 || o == 3 || o == 4) {
            ry = ayp;
        } else {
            rx = axp;
        }
        break;
    case 2:
        if (abs64(adx - ady) >= 3) {
            switch (o) {
            case 0:
            case 7:
                rx = x - ady;
                ry = ayp;
                break;
            case 1:
            case 2:
                rx = axp;
                ry = y - adx;
                break;
            case 3:
            case 4:
                rx = x + ady;
                ry = ayp;
                break;
            default:
                rx = axp;
                ry = y + adx;
                break;
            }
        }
        break;
    case 3: {
        int64_t m = std::min(adx, ady);
        int use = o;
        if (adx != 0 && ady != 0 && adx != ady && previous) {
            int p = ((*previous + 0x1000) & 0xFFFF) >> 13;
            if (o == ((p + 7) & 7)) {
                use = p;
            } else if (o == ((p + 6) & 7)) {
                use = (p + 7) & 7;
            }
        }
        static constexpr int kSx[8] = {0, 1, 0, -1, 0, -1, 0, 1};
        static constexpr int kSy[8] = {0, 1, 0, 1, 0, -1, 0, -1};
        if (use == 0 || use == 4) {
            ry = ayp;
        } else if (use == 2 || use == 6) {
            rx = axp;
        } else {
            rx = axp + kSx[use] * m;
            ry = ayp + kSy[use] * m;
        }
        break;
    }
    default:
        break;
    }
    return model::Point{clamp_coord(rx), clamp_coord(ry)};
}

} // namespace trazel::display
