#pragma once
// The order in which the passes meet the Ratnest lines: ascending (minor, major, smallest coordinate along
// the major axis, smallest along the minor axis), where two values within 4 units count as equal and the
// later line in the ring wins among equals.  The selection is the definition (and the oracle of the
// tests); the fast order gives the same: a sort wherever the tolerance cannot matter, the selection only
// within groups of lines whose values chain within 4 units and still differ by more.
#include <array>
#include <cstdint>
#include <vector>

#include "model/model.h"

namespace trazel::router {

using SortKey = std::array<int64_t, 4>;

SortKey sort_key(const model::Node& line);

// Indices into `keys` (given in ring order) in the order chosen.
std::vector<uint32_t> selection_order(const std::vector<SortKey>& keys);
std::vector<uint32_t> fast_order(const std::vector<SortKey>& keys);

} // namespace trazel::router
