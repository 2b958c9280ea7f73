// The order of the Ratnest lines: the selection with its 4-unit tolerance, and a sort that gives the same.
#include "router/sort.h"

#include <algorithm>
#include <numeric>

namespace trazel::router {

SortKey sort_key(const model::Node& line) {
    int64_t dx = model::abs64(int64_t{line.line.x2} - line.line.x1),
            dy = model::abs64(int64_t{line.line.y2} - line.line.y1);
    int64_t min_x = std::min(line.line.x1, line.line.x2), min_y = std::min(line.line.y1, line.line.y2);
    bool x_major = dx >= dy;
    return SortKey{x_major ? dy : dx, x_major ? dx : dy, x_major ? min_x : min_y, x_major ? min_y : min_x};
}

namespace {

// Whether `cand` replaces `best`: unless, at the first component where they differ by more than 4 units,
// it is the larger.
bool replaces(const SortKey& cand, const SortKey& best) {
    for (size_t k = 0; k < 4; ++k) {
        int64_t d = cand[k] - best[k];
        if (d > 4 || d < -4) {
            return d < 0;
        }
    }
    return true;
}

} // namespace

std::vector<uint32_t> selection_order(const std::vector<SortKey>& keys) {
    std::vector<uint32_t> left(keys.size());
    std::iota(left.begin(), left.end(), 0u);
    std::vector<uint32_t> out;
    out.reserve(keys.size());
    while (!left.empty()) {
        size_t best = 0;
        for (size_t j = 1; j < left.size(); ++j) {
            if (replaces(keys[left[j]], keys[left[best]])) {
                best = j;
            }
        }
        out.push_back(left[best]);
        left.erase(left.begin() + static_cast<std::ptrdiff_t>(best));
    }
    return out;
}

namespace {

// The lines `idx` (ascending ring order) agree on components before `k` within 4 units, so only
// components from `k` on can decide between them.  Split by component k where sorted neighbours lie more
// than 4 apart: every pair across such a split is decided by component k alone, so the selection empties
// the lower part first and, within a part, meets the lines of the other parts never at all.  A part whose
// values all lie within 4 units is decided by the next component; any other part is ordered by the
// selection itself.
void order_part(const std::vector<SortKey>& keys, std::vector<uint32_t> idx, size_t k, std::vector<uint32_t>& out) {
    if (idx.size() <= 1 || k == 4) {
        // All components equal within 4 units: each step takes the last line of the ring.
        out.insert(out.end(), idx.rbegin(), idx.rend());
        return;
    }
    std::vector<uint32_t> by_value = idx;
    std::stable_sort(by_value.begin(), by_value.end(), [&](uint32_t a, uint32_t b) { return keys[a][k] < keys[b][k]; });
    size_t start = 0;
    while (start < by_value.size()) {
        size_t end = start + 1;
        while (end < by_value.size() && keys[by_value[end]][k] - keys[by_value[end - 1]][k] <= 4) {
            ++end;
        }
        std::vector<uint32_t> part(by_value.begin() + static_cast<std::ptrdiff_t>(start),
                                   by_value.begin() + static_cast<std::ptrdiff_t>(end));
        std::sort(part.begin(), part.end());
        if (keys[by_value[end - 1]][k] - keys[by_value[start]][k] <= 4) {
            order_part(keys, std::move(part), k + 1, out);
        } else {
            std::vector<SortKey> sub;
            for (uint32_t i : part) {
                sub.push_back(keys[i]);
            }
            for (uint32_t i : selection_order(sub)) {
                out.push_back(part[i]);
            }
        }
        start = end;
    }
}

} // namespace

std::vector<uint32_t> fast_order(const std::vector<SortKey>& keys) {
    std::vector<uint32_t> idx(keys.size());
    std::iota(idx.begin(), idx.end(), 0u);
    std::vector<uint32_t> out;
    out.reserve(keys.size());
    order_part(keys, std::move(idx), 0, out);
    return out;
}

} // namespace trazel::router
