#pragma once
// Teardrops: a small Solid triangle, with no Signal, where a track leaves a pad, on every pad in the Block.
#include "edit/block.h"
#include "model/model.h"

namespace trazel::copper {

constexpr const char* kTeardropTitle = "Block Teardrop Warning";
constexpr const char* kTeardropQuestion =
    "This function will add teardrops to all\npads with lines eminating from them.\n\nDo you wish to proceed?";

struct TeardropResult {
    int created = 0; // Solids added (one undo group)
    bool out_of_nodes = false;
};

// The work after the question was answered OK.  `draw` (optional) shows each new Solid.
TeardropResult add_teardrops(model::Document& doc, const edit::Block& block,
                             const std::function<void(model::Ref)>& draw = {});

} // namespace trazel::copper
