#pragma once
// Track isolation: the tool paths of a milling machine drawn as ordinary Items, grouped in Components
// named "$IS1".."$ISn" (passes cut around every copper feature, each further out) and "$FLD" (rows that
// clear the rest of the Block).
#include <functional>

#include "edit/block.h"
#include "model/model.h"
#include "platform/run_context.h"

namespace trazel::copper {

enum class Side : uint8_t { Top, Bottom, Both };

struct IsolateResult {
    int created = 0;    // Items laid, Components included (one undo group per run)
    int components = 0; // "$IS" and "$FLD" Components made
    bool cancelled = false;
    bool out_of_nodes = false;
};

// One run for `side` with the Document's "-gtt" / "-gtb" settings (Both: top, then bottom, one group).
IsolateResult isolate_tracks(model::Document& doc, const edit::Block& block, Side side,
                             const std::function<void(model::Ref)>& draw, platform::RunContext& run);

} // namespace trazel::copper
