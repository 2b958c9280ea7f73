#pragma once
// Hit tests on Item shapes: the track test, the arc stroke, pad shapes, the text box and the point in a
// Solid.  The editor's locators, the net scan, the flood fill and the router all decide "does this point
// touch that Item" here, so they agree with each other.
//
// Every test is exact integer arithmetic (products that can pass 64 bits are formed in 128 bits), so the
// answer does not depend on the host.  The tests need the sine and cosine of Item angles; they take them
// through a `TurnOf` function so this module stays free of the display's tables (pass
// `edit::turn_of`, which reads the program's sine table).
#include <cstdint>

#include "model/geometry.h"
#include "model/node.h"

namespace trazel::model {

// The sine and cosine of one angle, 65536 = 1.0.
struct Turn {
    int32_t sin = 0;
    int32_t cos = 65536;
};
using TurnOf = Turn (*)(Angle);

// Turns (x, y) by minus the turn (the inverse rotation), rounding to the nearest unit.
void turn_back(const Turn& t, int64_t& x, int64_t& y);

// Whether the segment a-b comes within `reach` of p (squared distance at most reach^2).
bool segment_within(Point a, Point b, Point p, uint64_t reach);

enum class TrackHit : uint8_t { None, End1, End2, Body };

// The track test with reach r (half the width plus the tolerance): the nearer end counts first when it
// lies within r (squared distance below r^2), else the body when the point's squared distance to the
// segment is below r^2.
TrackHit hit_track(const Node& line, uint64_t reach, Point p);

// The arc stroke test: the stroke of the Arc grown so that h = half its width + `tolerance`.
bool hit_arc_stroke(const Node& arc, uint64_t tolerance, Point p, TurnOf turn_of);

// The point of an Arc at parametric angle `a` (start or start + sweep), with the ellipse and its
// rotation applied; a circular Arc's rotation is added to `a` first.
Point arc_point(const Node& arc, Angle a, TurnOf turn_of);

// Pad shapes grown by t: circular (width equal to height, shape code not 2), rectangular (shape code 2)
// and oblong (the others), each turned by the pad angle.
bool hit_pad(const Node& pad, uint64_t t, Point p, TurnOf turn_of);
// How far the pad's shape reaches from its centre along X or Y at most, turned or not.
int64_t pad_reach(const Node& pad);

// The text box from anchor, length, height and line count, turned by the text angle about the origin and
// grown by an eighth of the height on every side.
bool hit_text(const Node& text, Point p, TurnOf turn_of);
// That box about the text's origin before turning: [a0, a1] x [b0, b1].
void text_box(const Node& text, int64_t& a0, int64_t& a1, int64_t& b0, int64_t& b1);

// Point in a Solid with a reach: outside the box grown by the reach misses; with a reach the point hits
// when it is within the reach of an edge (closing edge included); otherwise an even-odd count along the
// horizontal line through the point decides, a point on an edge counting as inside.
bool point_in_solid(Ref solid, Point p, uint64_t reach);

// A box holding every point that the hit tests above can accept for this Item with no tolerance (and
// its end points and centre): a spatial index grows it by the tolerance and finds the same Items as a
// plain walk.  Components, Solids and point groups give their own box.  False for Nodes of no Item kind.
bool hit_extent(const Node& n, Box& out);
// The editor's spatial index still names the box by its older name.

} // namespace trazel::model
