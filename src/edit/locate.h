#pragma once
// The locators: which Item lies under a point, with the pick tolerance, the walking order, the layer
// rules and the priority and tie rules of each kind.  The Place, Edit, Delete and Block functions use
// them as well as the Grab group.
//
// Every locator takes the Document, the layer asked for (0 = any) and the point, and walks the Document
// ring backwards from its head (the newest Items first), descending depth first into each Component's
// members; Hidden Items (those held on the cursor) are never found.  Given a spatial index that covers
// the Document, a locator visits only the Items near the point, in the same order, with the same answer.
#include <cstdint>

#include "edit/spatial_index.h"
#include "model/hit_test.h"
#include "model/model.h"

namespace trazel {
struct App;
}

namespace trazel::edit {

using model::Coord;
using model::Point;
using model::Ref;

// The vertex locator's reach, as |dx| + |dy|.
constexpr Coord kVertexReach = 16384;

// The sine and cosine of a binary angle from the program's sine table.
model::Turn turn_of(model::Angle a);

// One screen pixel in coordinate units at the view scale s (pixels per unit, 32.32): (2^32 + s/2) / s.
Coord pick_tolerance(uint32_t scale);

// A layer whose display colour has its off bit set.
bool layer_hidden(const model::Setup& s, int layer);
// A surface-mount Pad lies on its own layer only; a through-hole Pad on every layer.
bool is_smt_pad(const model::Node& n);
bool on_layer(const model::Node& n, int layer);

struct LineHit {
    Ref item = model::kNone;
    model::TrackHit where = model::TrackHit::None;
};

// The best track: a higher class wins (+32 on the requested layer, +16 top-level), then the shorter Line,
// then the first found.
LineHit FindLineAt(const model::Document& doc, int layer, Point p, Coord tolerance,
                   const SpatialIndex* index = nullptr);
// The first Arc whose stroke, grown by the tolerance, holds the point.
Ref FindArcAt(const model::Document& doc, int layer, Point p, Coord tolerance, const SpatialIndex* index = nullptr);
// The first Pad whose shape, grown by the tolerance, holds the point.
Ref FindPadAt(const model::Document& doc, int layer, Point p, Coord tolerance, const SpatialIndex* index = nullptr);
// The first Text whose box holds the point, in four passes (top-level on the layer, top-level on any
// visible layer, then per Component its Texts on the layer and on any layer).
Ref FindTextAt(const model::Document& doc, int layer, Point p, const SpatialIndex* index = nullptr);
// The top-level Component with the smallest key among those whose box holds the point: box area plus a
// penalty bit cleared when it has a Pad on the layer.
Ref FindComponentAt(const model::Document& doc, int layer, Point p, const SpatialIndex* index = nullptr);
uint32_t ComponentKey(Ref component, int layer);
// The Solid whose outline holds the point (the tolerance as reach): first those on the layer (members
// included), then the top-level Solids on any displayed layer.
Ref FindSolidAt(const model::Document& doc, int layer, Point p, Coord tolerance,
                const SpatialIndex* index = nullptr);

// A vertex: a Line end (end 1 or 2), an Arc end (end 1 start, 2 end of sweep) or a Pad centre (end 0).
struct VertexHit {
    Ref item = model::kNone;
    int end = 0;
    Point at{};
};
// The nearest end point within a Manhattan distance of kVertexReach, those on `layer` first, then those
// on another visible layer (never a Component member on another layer).  `wide` adds Arc ends and Pad
// centres to the Line ends.
VertexHit find_vertex_at(const model::Document& doc, int layer, Point p, bool wide,
                       const SpatialIndex* index = nullptr);

// --- With the view and the current layer ------------------------------------------------------------

enum class Find { Line, Arc, Pad, Text, Component, Solid };

struct Found {
    Ref item = model::kNone;
    model::TrackHit where = model::TrackHit::None;
};

// Asks a locator at `p` with the current layer, then (when that is not 0) with layer 0, at `tolerance`.
// When the Item found lies on another layer (a Component or a through-hole Pad never does), that layer
// becomes current in `doc` and `*switched` says so.
Found locate(model::Document& doc, Find what, Point p, Coord tolerance, bool* switched = nullptr,
             const SpatialIndex* index = nullptr);

// Makes the layer of a found Item current; Components and through-hole Pads have no layer of their own.
// True when the current layer changed.
bool switch_layer(model::Document& doc, Ref item);

} // namespace trazel::edit
