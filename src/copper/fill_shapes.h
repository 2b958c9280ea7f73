#pragma once
// The obstacles of a fill run and the two ways of asking where they block a stroke: the exact point test
// on one sample (integer arithmetic, strictly closer than the isolation blocks, so copper laid exactly at
// the isolation distance stays), and the stretch of a straight line they can block, in floating point,
// which only decides which samples need the exact test.
#include <cstdint>

#include "model/fixed.h"
#include "model/node.h"

namespace trazel::copper::fill {

using model::Point;
using model::Ref;

enum class Shape : uint8_t { Track, Arc, Pad, Solid, Text };

struct Obstacle {
    Ref item = model::kNone;
    Shape shape = Shape::Track;
    int comp = -1;  // the top-level Component it belongs to (index into the run's boxes), -1: none
    model::Box ext; // hit extent: every point of the shape itself
};

// Whether p lies strictly closer than `t` to the obstacle's shape (for a track, its centre segment
// widened by half its width; for a Text, its box).  A rectangular pad is grown as the pad hit test grows
// it, into a larger rectangle; the others by distance.
bool blocks(const Obstacle& o, int64_t t, Point p);

// The line p(s) = a + s * u, s the distance along the stroke's major axis.
struct Ray {
    double ax = 0, ay = 0, ux = 0, uy = 0;
};
// An interval of s; empty while lo > hi.
struct Span {
    double lo = 1, hi = 0;
    bool empty() const {
        return lo > hi;
    }
};

// Whether the points an obstacle blocks on a line form one interval (convex grown shapes).
inline bool convex(Shape s) {
    return s == Shape::Track || s == Shape::Pad || s == Shape::Text;
}
// Where on the ray the shape grown by `t` lies: with `outer` a span holding every such point, else one
// whose points all are (t below the reach plus a margin: the samples surely blocked).  For Arcs and
// Solids an outer bound only; `arc_hole` gives the span inside an Arc's inner circle shrunk by `t` (never
// blocked when t is the reach plus a margin).
Span span_of(const Obstacle& o, double t, const Ray& ray, bool outer);
Span arc_hole(const Obstacle& o, double t, const Ray& ray);

// The span of the ray inside the axis-parallel box [x1, x2] x [y1, y2].
Span box_span(double x1, double y1, double x2, double y2, const Ray& ray);
// The span within r of the segment p-q.
Span capsule_span(double px, double py, double qx, double qy, double r, const Ray& ray);

} // namespace trazel::copper::fill
