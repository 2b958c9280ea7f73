#pragma once
// The Block of the verbs that work on an area of a file (block, fill, teardrops, isolate): given as
// --box X1,Y1,X2,Y2 or --polygon X,Y;X,Y;... in inches from the file's user origin (or with mm), with
// the selected layers in --layers N,... (without it the block verb selects the layers as BG does, shown
// and named; the copper verbs select every layer).
#include <string>
#include <string_view>
#include <vector>

#include "edit/block.h"
#include "model/model.h"

namespace trazel::cli {

struct BlockOption {
    std::string box, polygon, layers;

    // Takes argv[i] when it is --box, --polygon or --layers (stepping i over its value): true when it was
    // one of them.  `ok` is false when the value is missing.
    bool take(int argc, char** argv, int& i, bool& ok);
    // Exactly one of --box and --polygon.
    bool given() const {
        return box.empty() != polygon.empty();
    }
};

constexpr std::string_view kBlockUsage = "the Block is either --box X1,Y1,X2,Y2 or --polygon X,Y;X,Y;...";

// Defines `b` in `d`: the source reference point is `ref` when given, else the first corner.  "" when
// done, else why not ("bad --box ...").
std::string define_block_option(const BlockOption& o, model::Document& d, const std::string& ref, edit::Block& b);

// The parts of `s` between the separators (an empty text gives one empty part).
std::vector<std::string> split(std::string_view s, char sep);

} // namespace trazel::cli
