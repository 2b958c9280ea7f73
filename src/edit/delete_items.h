#pragma once
// Removing Items: one at a time, a connected chain of tracks, the vertex between two tracks, what hangs on
// the cursor, the highlighted Items.  Each call is one undo group (what only ever hung on the cursor goes
// without records).  The callers find the Items; nothing here knows the shell.
#include <vector>

#include "display/display.h"
#include "edit/editor.h"
#include "edit/spatial_index.h"
#include "model/fixed.h"
#include "model/model.h"

namespace trazel::edit {

using model::Box;

// Deletes one Item (a Component with all its members) as a group of its own.  Returns the area it
// covered.
Box delete_item(model::Document& doc, Ref item);

// The chain through a track: from both its ends, a point inside a Pad of shape code 0-2 (closer to the
// centre than a quarter of the pad's smaller size) ends the chain; a via there goes too and the chain
// goes on from its centre on every layer; every top-level track on the point's layer with an end within a
// quarter of its own width of the point joins, and its other end is reached in turn.  The work list has
// no fixed size, so a long chain is never cut short.  Returns the track and everything it reaches, in the
// order found; nothing changes.  Given an index that covers the Document the candidates come from it,
// otherwise from a plain walk (the same answer).
std::vector<Ref> track_chain(const model::Document& doc, Ref track, const SpatialIndex* index = nullptr);
// Deletes that chain in one group; returns how many Items went, their area added to `*area`.
int delete_chain(model::Document& doc, Ref track, const SpatialIndex* index = nullptr, Box* area = nullptr);

// Joining two tracks at a vertex.
struct VertexJoin {
    int ends = 0;           // track ends found at the point on the layer
    Ref kept = model::kNone; // the joined track; kNone when nothing changed
    Point cursor{};         // the nearer of the two far ends (half |dx| plus |dy| from the point)
    Box area;               // what the change covers
};
// Exactly two ends of two tracks on `layer` at `p` (the 4-unit rule): the first (in walking order) is
// recorded as modified and runs from its far end to the far end of the second, which is recorded as
// deleted.  Any other count changes nothing.
VertexJoin delete_vertex(model::Document& doc, int layer, Point p);

// The grab's new Items (never fixed) are destroyed without records; then every Item of the grab's
// Document that carries the Hidden flag is deleted in one group.  Companions shown for display only are
// shown again and stay.  The grab list is emptied.  Returns the Items deleted with records, -1 when
// nothing was grabbed.
int delete_grabbed(GrabList& g, display::Display& d);

// Every top-level Item that is highlighted (marked) and not held on the cursor, in one group.  Returns
// how many went, their area added to `*area`.
int delete_highlighted(model::Document& doc, Box* area = nullptr);

} // namespace trazel::edit
