#pragma once
// What the assembly and test outputs share about a board's pads: which Pads are board pads at all,
// which are surface pads, which side they sit on, and the walk that hands each one over with the
// top-level Component that owns it.
#include "model/model.h"

namespace trazel::cam::fab {

using model::Ref;

// Thru types 1-3 and surface types 4-6: the schematic pin (0) and dot (7) are no board pads.
inline bool board_pad(const model::Node& pad) {
    int code = pad.size & 7;
    return code >= 1 && code <= 6;
}

// A surface pad counts only on copper (as the copper plots take it): elsewhere it is a drawing, not a
// land.
inline bool surface_pad(const model::Setup& s, const model::Node& pad) {
    return (pad.size & 7) >= 4 && s.layers[pad.layer].kind() == model::kLayerCopper;
}

inline bool bottom_layer(const model::Setup& s, int layer) {
    return (s.layers[static_cast<size_t>(layer)].type & model::kLayerBottom) != 0;
}

// f(pad, component) for every visible board pad: `component` is the top-level Component whose tree
// holds the pad, kNone for a pad of the board itself (or of a nested Document).  Hidden Items are
// skipped with their members, as every plot skips them.
template <class F> void for_each_board_pad(Ref ring, F&& f) {
    Ref owner = model::kNone;
    model::walk_tree(ring, [&](Ref r, int depth) {
        const model::Node& n = model::node(r);
        if (n.hidden()) {
            return false;
        }
        if (depth == 0) {
            owner = n.item_kind() == model::kComponent ? r : model::kNone;
        }
        if (n.item_kind() == model::kPad && board_pad(n)) {
            f(r, owner);
        }
        return true;
    });
}

} // namespace trazel::cam::fab
