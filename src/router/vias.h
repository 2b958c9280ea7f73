#pragma once
// Vias a routing pass places: whether a via of the run's size fits at a point, and placing one.
#include "router/passes.h"

namespace trazel::router {

// A via of the run's via pad size at `at` keeps the line-to-pad clearance from every track and the
// pad-to-pad clearance from every pad, on every copper layer, ignoring Items of `own`.
bool via_clear(const Router& r, Point at, Ref own);
// Places the via (shape code 3, the run's pad and hole sizes, the Signal `signal`): recorded in the run's
// undo group, added to the queries' index and drawn.  kNone when it could not be made.
Ref place_via(Router& r, Point at, Ref signal);

} // namespace trazel::router
