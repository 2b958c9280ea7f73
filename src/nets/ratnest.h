#pragma once
// Ratnest lines: straight Lines on layer 255 from pad to pad of one Signal, for the connections copper
// does not make yet.  A spanning tree per Signal (NR, NL) and the single nearest link the Net scan adds
// at each discontinuity (`NextRatLine`).  Every change is recorded for undo with `s.undo_number`.
#include "nets/net_state.h"

namespace trazel::nets {

constexpr int kRatnestLayer = 255;
constexpr Coord kDefaultRatnestWidth = 721; // 0.011 inch, when the setting is 0

// Names layer 255 "Ratnest", type 4, yellow; the width setting becomes 721 when it is 0.
void prepare_ratnest_layer(model::Setup& s);
// `DeleteRatnest`: every top-level Line or Arc on layer 255 (of `signal` only, when given).  Returns
// how many were deleted.
int delete_ratnest(NetState& s, Ref signal);
// NR: all Ratnest lines deleted, then the tree of every Signal.  Returns the lines added.
int build_ratnest(NetState& s);
// The tree of one Signal (NL; the caller deleted its old lines).  Returns the lines added.
int build_signal_ratnest(NetState& s, Ref signal);
// `NextRatLine`: the shortest link from the marked Pads of the current Signal to an unmarked one; the new
// line is created marked.  Returns the unmarked Pad reached, kNone when none is left.
Ref next_rat_line(NetState& s);

} // namespace trazel::nets
