#pragma once
// The interactive Net scan (`CheckNetAtPoint`, NS) and the walk over the Signal list (N+, N-): trace one
// net, join its clusters by Ratnest lines, and report the first problem for the screen.
#include <map>
#include <string>

#include "nets/checks.h"
#include "nets/net_state.h"

namespace trazel::nets {

enum class NetProblem { None, Crosslink, Unsignaled, NotRouted, PadParameter, Clearance };

struct NetCheck {
    int count = 0; // problems found (0 none); -1 when the user interrupted the trace
    NetProblem problem = NetProblem::None;
    Ref first = model::kNone, second = model::kNone; // the Items to show
    Ref signal = model::kNone, other = model::kNone; // the net's Signal; the crosslinked one
    bool reached = false;                             // the trace found something at the point
};

// NS: clears every mark, traces from the point and goes on as the interactive scan does.  Ratnest lines
// added and duplicates deleted are recorded with `s.undo_number`.
NetCheck check_net_at_point(NetState& s, int layer, Coord reach, Point p);
// The same from a Pad (N+, N-).
NetCheck check_net_from_pad(NetState& s, Ref pad);

// The first Pad of the Document (top level, then members, in walk order) carrying each Signal.
std::map<Ref, Ref> first_pads(const model::Document& doc);

// The status-bar texts of a problem ("Signal <A> is crosslinked to signal <B>.").
std::string problem_text(const NetCheck& c);

} // namespace trazel::nets
