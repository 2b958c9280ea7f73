#pragma once
// The naming pass the netlist can run first: every net of the Document is traced once and given the
// Signal its pads carry, or a generated "$" name when they carry none.  The Signals it changes are
// recorded as one undo group, so one undo gives every Item its old Signal back.
#include <string>
#include <string_view>

#include "nets/net_state.h"

namespace trazel::nets {

enum class NamingEnd {
    Done,
    Interrupted, // the user cancelled a trace
    Crosslink,   // a net reached pads of two Signals
    Colinear,    // two wires of a schematic meet end to end on one line
};

struct NamingResult {
    NamingEnd end = NamingEnd::Done;
    Ref first = model::kNone, second = model::kNone; // the crosslinked Pad; the two wires
    Ref signal = model::kNone, other = model::kNone; // the net's Signal and the Pad's (crosslink)
    Point at{};                                       // the Pad's centre; the wires' junction
    int nets = 0;                                     // nets traced
    int generated = 0;                                // "$" names given
    int changed = 0;                                  // Items whose Signal changed
};

// The first generated number less one, from the Document's file name: ".s01" gives 1010000, ".sh1"
// 110000, anything else 10000.
int naming_base(std::string_view file_name);

// Detaches the Signals the pass recomputes, then traces from each unnamed track and pad in walk order
// and gives every reached Item without Signal the net's Signal.  Changes are recorded from
// `s.undo_number`.  On a crosslink or co-linear wires the pass stops there with that net still marked
// (what it changed so far stays, in the same undo group); a finished pass leaves nothing marked.
NamingResult name_nets(NetState& s);

// The status-bar text of a pass that ended early ("Signal <A> is crosslinked to signal <B>.", "Two
// co-linear line segments have been detected."); empty for a finished one.
std::string naming_text(const NamingResult& r);

} // namespace trazel::nets
