#pragma once
// The checks run on a traced net (its Items marked): drill holes and duplicate pads, and the clearances
// between the net's copper and every other net's.  Each finding is reported as it is found; the caller
// logs it or shows the first one.
#include <functional>

#include "nets/net_state.h"

namespace trazel::nets {

enum class FindingKind { DuplicatePad, DrillInterference, LineToLine, LineToPad, PadToLine, PadToPad };

struct Finding {
    FindingKind kind;
    Ref source = model::kNone; // the marked Item (for a duplicate: the pad that stays)
    // The other Item.  A duplicate is still in the Document while `report` runs (its name can be read
    // then) and is deleted once the walk is done: keep no reference to it.
    Ref target = model::kNone;
    // A duplicate's centre; P's centre for drill interference; for a clearance, the end point, spine end
    // or corner from which the smallest distance was measured.
    Point at{};
    // Clearances only, in coordinate units: the distance required (halves rounded up) and the smallest
    // distance measured (rounded down).
    Coord required = 0, distance = 0;
};

// `CheckDrillHoles`: duplicates are deleted (recorded with `s.undo_number`); returns the problems found.
// `report` returns false to stop at the first finding (the interactive scan).
int check_drill_holes(NetState& s, const std::function<bool(const Finding&)>& report);
// `CheckClearances` with the Document's clearances; -1 when the user interrupted it ("DRC:").
int check_clearances(NetState& s, const Clearances& c, const std::function<bool(const Finding&)>& report);

} // namespace trazel::nets
