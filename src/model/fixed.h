#pragma once
// Integer and 16.16 fixed-point arithmetic for Document coordinates, and the two value types built on
// them: a point and a box in coordinate units.  Everything here is exact integer arithmetic with 64-bit
// intermediates, so results never depend on the host.
#include <concepts>
#include <cstdint>

#include "model/units.h"

namespace trazel::model {

struct Point {
    Coord x = 0;
    Coord y = 0;
};

// A box in coordinate units, corners included; empty while x1 > x2 or y1 > y2.  It starts empty with its
// corners at the largest and smallest 32-bit values, so the first point added makes it that point.
struct Box {
    int64_t x1 = INT32_MAX, y1 = INT32_MAX, x2 = INT32_MIN, y2 = INT32_MIN;

    constexpr bool empty() const {
        return x1 > x2 || y1 > y2;
    }
    constexpr void add(int64_t x, int64_t y) {
        x1 = x < x1 ? x : x1;
        y1 = y < y1 ? y : y1;
        x2 = x > x2 ? x : x2;
        y2 = y > y2 ? y : y2;
    }
    // The smallest box holding both; an empty box adds nothing.
    constexpr void add(const Box& b) {
        if (!b.empty()) {
            add(b.x1, b.y1);
            add(b.x2, b.y2);
        }
    }
    constexpr void grow(int64_t by) {
        if (!empty()) {
            x1 -= by, y1 -= by, x2 += by, y2 += by;
        }
    }
    constexpr bool contains(int64_t x, int64_t y) const {
        return x >= x1 && x <= x2 && y >= y1 && y <= y2;
    }
    constexpr bool meets(const Box& b) const {
        return b.x1 <= x2 && b.x2 >= x1 && b.y1 <= y2 && b.y2 >= y1;
    }
};

// --- Division, magnitude and roots ----------------------------------------------------------------
// Quotients rounded towards minus and plus infinity, for divisors of either sign (mirrored text steps
// are negative); den != 0.
constexpr int64_t floor_div(int64_t num, int64_t den) {
    int64_t q = num / den;
    return (num % den != 0 && (num < 0) != (den < 0)) ? q - 1 : q;
}
constexpr int64_t ceil_div(int64_t num, int64_t den) {
    int64_t q = num / den;
    return (num % den != 0 && (num < 0) == (den < 0)) ? q + 1 : q;
}

// |v|.  Callers pass differences and products of 32-bit values, never INT64_MIN; where a caller wants
// the magnitude as an unsigned value it converts the (non-negative) result.
constexpr int64_t abs64(int64_t v) {
    return v < 0 ? -v : v;
}

// floor(sqrt(v)) over the whole 64-bit range.
constexpr uint64_t isqrt64(uint64_t v) {
    if (v == 0) {
        return 0;
    }
    int bits = 0;
    for (uint64_t t = v; t != 0; t >>= 1) {
        ++bits;
    }
    // Newton's steps from above: the start 2^ceil(bits/2) is at least the root, and the steps fall
    // towards it without overshooting below.
    uint64_t x = uint64_t{1} << ((bits + 1) / 2);
    while (true) {
        uint64_t y = (x + v / x) / 2;
        if (y >= x) {
            break;
        }
        x = y;
    }
    // Compared by division so that (x + 1)^2 cannot wrap at the top of the range.
    while (x > v / x) {
        --x;
    }
    while (x + 1 <= v / (x + 1)) {
        ++x;
    }
    return x;
}

// --- 16.16 fixed point ----------------------------------------------------------------------------
// A whole number as a 16.16 value (for coordinates: whole inches to units), and back, rounded down.
constexpr int64_t to_units(int64_t whole) {
    return whole * 65536;
}
template <std::integral T> constexpr T from_units(T v) {
    return v >> 16;
}

// A 16.16 value (or a product with one 16.16 factor) to whole numbers, halves rounded up.  Both keep
// the argument's type, so a caller's 32- or 64-bit, signed or unsigned arithmetic stays as it was.
template <std::integral T> constexpr T round16(T v) {
    return static_cast<T>((v + 0x8000) >> 16);
}

// a * b with one factor in 16.16: rounded down (the drawing code), and halves rounded up (the plot
// outputs, which must land on the same unit as the written coordinates).
constexpr int64_t mul16(int64_t a, int64_t b) {
    return (a * b) >> 16;
}
constexpr int64_t mul16_round(int64_t a, int64_t b) {
    return round16(a * b);
}

// --- Distances ------------------------------------------------------------------------------------
// Two points are the same place when they differ by less than kSamePlace units in each axis.
constexpr bool same_place(Point a, Point b) {
    int64_t dx = int64_t{a.x} - b.x, dy = int64_t{a.y} - b.y;
    return dx > -kSamePlace && dx < kSamePlace && dy > -kSamePlace && dy < kSamePlace;
}

// Whether (dx, dy) lies within `reach` of the origin, edge included: dx^2 + dy^2 <= reach^2.  The
// squares stay in 64 bits for |dx|, |dy| and reach below 2^31.
constexpr bool within_reach(int64_t dx, int64_t dy, int64_t reach) {
    return dx * dx + dy * dy <= reach * reach;
}

} // namespace trazel::model
