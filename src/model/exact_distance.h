#pragma once
// Exact squared distances between points and segments in doubled coordinates (so that half widths stay
// whole), for the clearance checks of the net scan and the router: both must agree to the unit on what
// touches, so they share one arithmetic.
#include <algorithm>
#include <cstdint>
#include <limits>

#include "model/units.h"

namespace trazel::model::exact {

__extension__ typedef __int128 I128;
__extension__ typedef unsigned __int128 U128;

constexpr uint64_t kFar = std::numeric_limits<uint64_t>::max();

// A point in doubled coordinates.
struct P2 {
    int64_t x = 0, y = 0;
};

inline P2 doubled(Coord x, Coord y) {
    return P2{2 * int64_t{x}, 2 * int64_t{y}};
}

inline uint64_t saturated(U128 v) {
    return v > kFar ? kFar : static_cast<uint64_t>(v);
}

inline uint64_t point_d2(P2 a, P2 b) {
    I128 dx = a.x - b.x, dy = a.y - b.y;
    return saturated(static_cast<U128>(dx * dx + dy * dy));
}

// The squared distance from p to the segment a-b, rounded down: exact wherever the cross product stays
// below 2^63 (points within 16384 inches), which a "strictly below" against a whole square needs.
inline uint64_t segment_d2(P2 a, P2 b, P2 p) {
    I128 ux = b.x - a.x, uy = b.y - a.y, vx = p.x - a.x, vy = p.y - a.y;
    I128 dot = ux * vx + uy * vy;
    if (dot <= 0) {
        return point_d2(a, p);
    }
    I128 len2 = ux * ux + uy * uy;
    if (dot >= len2) {
        return point_d2(b, p);
    }
    I128 cross = ux * vy - uy * vx;
    U128 c = static_cast<U128>(cross < 0 ? -cross : cross);
    if (c < (U128{1} << 63)) {
        return saturated(c * c / static_cast<U128>(len2));
    }
    long double lc = static_cast<long double>(cross), d2 = lc * lc / static_cast<long double>(len2);
    return d2 >= static_cast<long double>(kFar) ? kFar : static_cast<uint64_t>(d2);
}

// The side of a-b that c lies on: 1 left, -1 right, 0 on the line.
inline int orient(P2 a, P2 b, P2 c) {
    I128 v = static_cast<I128>(b.x - a.x) * (c.y - a.y) - static_cast<I128>(b.y - a.y) * (c.x - a.x);
    return (v > 0) - (v < 0);
}

inline bool within_box(P2 a, P2 b, P2 p) {
    return p.x >= std::min(a.x, b.x) && p.x <= std::max(a.x, b.x) && p.y >= std::min(a.y, b.y) &&
           p.y <= std::max(a.y, b.y);
}

// The two segments meet (touching ends included).
inline bool segments_cross(P2 a, P2 b, P2 c, P2 d) {
    int o1 = orient(a, b, c), o2 = orient(a, b, d), o3 = orient(c, d, a), o4 = orient(c, d, b);
    if (o1 != o2 && o3 != o4) {
        return true;
    }
    return (o1 == 0 && within_box(a, b, c)) || (o2 == 0 && within_box(a, b, d)) || (o3 == 0 && within_box(c, d, a)) ||
           (o4 == 0 && within_box(c, d, b));
}

inline uint64_t segments_d2(P2 a, P2 b, P2 c, P2 d) {
    if (segments_cross(a, b, c, d)) {
        return 0;
    }
    return std::min({segment_d2(a, b, c), segment_d2(a, b, d), segment_d2(c, d, a), segment_d2(c, d, b)});
}

} // namespace trazel::model::exact
