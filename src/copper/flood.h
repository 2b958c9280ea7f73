#pragma once
// Flood fill: copper poured into the Block on one destination layer as ordinary Lines (and a few Arcs) of
// one fill width, keeping the track and pad isolations from every other copper Item, following the
// outlines of pads and tracks, and joining the pads of the pour's own Signal with spokes.  Hatch lays a
// 45-degree cross-hatch instead of solid rows.
//
// The run is given its Document, the Block and a RunContext; it never reads the current Document.
#include <functional>
#include <string>

#include "edit/block.h"
#include "model/model.h"
#include "platform/run_context.h"

namespace trazel::copper {

using model::Coord;
using model::Point;
using model::Ref;

// The settings of one run: the "-gc" values and the dialog's hatch mesh.
struct FillSettings {
    int destination = 1;           // the layer the copper goes on
    model::LayerSet sources;       // empty: the destination layer (and layer 0 for Copper and Plane layers)
    std::string thermal, direct;   // Signal names; "" or not in the Signal list: none
    Coord width = 0;               // fill line width w (raised to 66 when smaller)
    Coord iso_lines = 0;           // Ti: from Lines, Arcs and Solids
    Coord iso_pads = 0;            // Pi: from Pads
    Coord mesh = 0;                // hatch spacing (units)
    bool plain = false;            // every sample against every candidate: the reference for the fast walk
};
FillSettings fill_settings(const model::Setup& s);
void store_fill_settings(model::Setup& s, const FillSettings& f);

enum class FillMode : uint8_t { Flood, Hatch };

// What the run calls, each optional.  `unconnected` is asked for a pad that cannot be joined, with the
// message text of the "Flood Fill Unconnection" box; true goes on (OK), false ends the run (Cancel).  No
// hook: the run goes on.  `draw` shows one created Item.
struct FillHooks {
    std::function<bool(const std::string& text, Point where)> unconnected;
    std::function<void(Ref)> draw;
};

struct FillResult {
    int created = 0;      // Items laid (one undo group)
    int unconnected = 0;  // pads that could not be joined
    bool cancelled = false;    // Cancel at the question, or the run context's cancel flag
    bool out_of_nodes = false; // the pool ran out: what was laid stays as the undo group
};

FillResult flood_fill(model::Document& doc, const edit::Block& block, const FillSettings& settings, FillMode mode,
                      const FillHooks& hooks, platform::RunContext& run);

// The question's text for a pad at `where`, in inches from the user origin ("-gz").
std::string unconnected_text(Point where, const model::Setup& s);
constexpr const char* kUnconnectedTitle = "Flood Fill Unconnection";

} // namespace trazel::copper
