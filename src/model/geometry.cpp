#include "model/geometry.h"

#include <cmath>

namespace trazel::model {

namespace {

// Where a non-horizontal edge (a, b) meets the line at height y, as floor(xc) and whether xc has a
// fraction.  The caller guarantees y lies between a.y and b.y.
struct Crossing {
    int64_t floor_x;
    bool exact; // xc is exactly floor_x
};

Crossing cross_at(const Point& a, const Point& b, Coord y) {
    int64_t num_y = static_cast<int64_t>(y) - a.y;
    int64_t den = static_cast<int64_t>(b.y) - a.y;
    int64_t dx = static_cast<int64_t>(b.x) - a.x;
    if (den < 0) {
        den = -den;
        num_y = -num_y;
    }
    // |num_y| <= den, so the product stays below 2^63 while den < 2^31; spans taller than 32768 inches
    // fall back to floating point.
    if (den < (int64_t{1} << 31)) {
        int64_t prod = num_y * dx;
        int64_t q = floor_div(prod, den);
        return Crossing{a.x + q, prod - q * den == 0};
    }
    double xc = a.x + static_cast<double>(num_y) * static_cast<double>(dx) / static_cast<double>(den);
    double f = std::floor(xc);
    return Crossing{static_cast<int64_t>(f), f == xc};
}

} // namespace

PolygonHit point_in_polygon(const Point* pts, int n, Coord x, Coord y) {
    PolygonHit hit;
    if (pts == nullptr || n < 3) {
        return hit;
    }
    bool on_edge = false;
    int64_t nearest = 0;
    for (int i = 0; i < n; ++i) {
        const Point& a = pts[i];
        const Point& b = pts[i + 1 < n ? i + 1 : 0];
        if (a.x == x && a.y == y) {
            on_edge = true;
            continue;
        }
        if (a.y == b.y) {
            if (a.y == y && ((a.x <= x && x <= b.x) || (b.x <= x && x <= a.x))) {
                on_edge = true;
            }
            continue;
        }
        if ((a.y > y) == (b.y > y)) {
            continue;
        }
        Crossing c = cross_at(a, b, y);
        if (c.floor_x == x && c.exact) {
            on_edge = true;
            continue;
        }
        if (c.floor_x >= x) { // xc > x: either a larger floor, or the same floor with a fraction
            if (!hit.ahead || c.floor_x < nearest) {
                nearest = c.floor_x;
            }
            hit.ahead = true;
            ++hit.crossings;
        }
    }
    hit.nearest = static_cast<Coord>(nearest);
    hit.where = on_edge ? Where::OnEdge : ((hit.crossings & 1) ? Where::Inside : Where::Outside);
    return hit;
}

} // namespace trazel::model
