#pragma once
// Plane geometry shared by the photoplot fill, the net scan, the flood fill and the router: the
// point-in-polygon test with the nearest crossing ahead of the point.
#include <cstdint>

#include "model/fixed.h"

namespace trazel::model {

enum class Where : uint8_t { Outside, Inside, OnEdge };

// The answer of one point-in-polygon test along the ray from the point towards larger X.
struct PolygonHit {
    Where where = Where::Outside;
    int crossings = 0;  // edges crossed strictly ahead of the point
    bool ahead = false; // at least one crossing ahead
    Coord nearest = 0;  // X of the nearest crossing ahead, rounded down; valid when `ahead`
};

// Tests (x, y) against the closed polygon pts[0..n-1] (the last vertex joins the first).
//
// An edge counts as crossed when its two ends lie on different sides of the half-open line "above y"
// (one end above y, the other at or below), so a vertex on the scan line is counted once for an edge
// passing through it and twice (or not at all) for a peak or a dip, and the parity stays right.  A point
// that lies exactly on an edge or a vertex is OnEdge; horizontal edges on the scan line are never
// crossings but do make their points OnEdge.  All arithmetic is exact integer arithmetic, so the answer
// does not depend on the host.  Fewer than 3 vertices give Outside with no crossing.
PolygonHit point_in_polygon(const Point* pts, int n, Coord x, Coord y);

} // namespace trazel::model
