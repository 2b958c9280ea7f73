#pragma once
// Changes to how Items are grouped: a Component dissolved into its members or one Item moved into or out
// of a Component (EK), a Solid built from a closed chain of tracks or taken back apart into tracks (EF),
// and a track turned into the half circle over it (ER).  EK and EF take their Items from what the grab
// holds; each change is one undo group.
#include <cstdint>
#include <string>
#include <vector>

#include "display/display.h"
#include "edit/editor.h"

namespace trazel::edit {

// --- The grab these functions work on --------------------------------------------------------------

// Whether a drop would change the Document: the grab was moved, its working copies were turned,
// mirrored or scaled, or it holds Items that a drop creates or deletes.
bool grab_changed(const GrabList& g);

// What EK makes of the grab list.
enum class KrumpCase {
    Nothing,       // nothing grabbed
    AttachedItems, // a Component with other Items grabbed along (GC's tracks)
    SeveralItems,  // more than one Item and no Component
    Dissolve,      // one Component alone (GO, or GI by its insertion point)
    MoveItem,      // one Item alone
};
struct KrumpPlan {
    KrumpCase what = KrumpCase::Nothing;
    Ref item = model::kNone; // the Component to dissolve or the Item to move
};
KrumpPlan plan_krump(const GrabList& g);

// The one Line the grab holds (a Solid counts once, whatever its vertices), else kNone.
Ref grabbed_line(const GrabList& g);

// --- Dissolve and build (EK) -------------------------------------------------------------------------

// The members of a Component become Items of the ring that holds it, in its place: copied through their
// Data file text (so they share nothing with it), Texts measured again, nested Components in their sorted
// places.  The copies are recorded as created and the Component as deleted, one group.  Returns the
// number of Items made; 0, with nothing changed, when the pool ran out.
int dissolve_component(model::Document& doc, Ref component);

// Copies an Item (not a Component) into the member ring of the top-level Component `target`, or to the
// top level with kNone; the copy is recorded as created, the Item as deleted, and the boxes of the
// Components that gain or lose it as modified, one group.  Returns the copy, kNone when the pool ran out.
Ref move_item_to(model::Document& doc, Ref item, Ref target);

// The status line after a move: "Line added to component.", "Text removed from component." ...
std::string krump_status(Ref item, bool added);

// --- Solids (EF) ---------------------------------------------------------------------------------------

// The tracks chained end to end from one track (ends within 3 units, same layer, same ring): forwards
// from its second end until the chain comes back to its first end or stops; when it stops, backwards
// from the first end as well.  `outline` holds the vertices in order, the closing point not repeated.
struct TrackChain {
    std::vector<Ref> tracks;
    std::vector<model::Point> outline;
    bool closed = false; // found closed going forwards
};
TrackChain trace_chain(Ref track);

// Replaces the chain through `track` by a Solid on its layer (the outline closed from what was found),
// one group.  kNone, with nothing changed, when the outline has fewer than three vertices or the pool ran
// out.
Ref build_solid(model::Document& doc, const TrackChain& chain);

// The width of the tracks a dissolved Solid leaves.
constexpr Coord kSolidEdgeWidth = 65;
// Each edge of a Solid becomes a track on its layer; the Solid goes.  One group.  Returns the number of
// tracks made; 0, with nothing changed, when the pool ran out.
int dissolve_solid(model::Document& doc, Ref solid);

// --- Convert line to arc (ER) --------------------------------------------------------------------------

// The half circle over a track: centre at its middle, radius half its length, starting in the track's
// direction (at its second end) and sweeping half a turn to its first end.
struct TrackArc {
    model::Point centre{};
    Coord radius = 0;
    model::Angle start = 0;
};
TrackArc arc_over(const model::Node& track);

// Hangs a new Arc (the track's layer, width and Signal) on the cursor by its centre, at the track's
// middle, and marks the track for deletion when the grab is dropped.  Returns the Arc; kNone when the
// track is too short to make one or the pool ran out.
Ref hang_arc_over(GrabList& g, display::Display& d, model::Document& doc, Ref track, uint16_t function);

} // namespace trazel::edit
