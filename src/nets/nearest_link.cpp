#include "nets/nearest_link.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace trazel::nets {

namespace {

constexpr uint64_t kFar = std::numeric_limits<uint64_t>::max();
// Below this many open points a rebuild costs more than the scans it saves.
constexpr size_t kSmallGrid = 64;

uint64_t manhattan(model::Point a, model::Point b) {
    int64_t dx = int64_t{a.x} - b.x, dy = int64_t{a.y} - b.y;
    return static_cast<uint64_t>(dx < 0 ? -dx : dx) + static_cast<uint64_t>(dy < 0 ? -dy : dy);
}

int64_t floor_div(int64_t a, int64_t b) {
    int64_t q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

} // namespace

void NearestLink::reset(std::vector<model::Point> open) {
    open_ = std::move(open);
    live_mask_.assign(open_.size(), 1);
    live_ = open_.size();
    joined_.clear();
    heap_ = {};
    build_grid();
}

void NearestLink::build_grid() {
    built_for_ = live_;
    model::Box box;
    for (size_t k = 0; k < open_.size(); ++k) {
        if (live_mask_[k]) {
            box.add(open_[k].x, open_[k].y);
        }
    }
    if (box.empty()) {
        nx_ = ny_ = 0;
        start_.assign(1, 0);
        keys_.clear();
        return;
    }
    // About one live point a cell; a long thin extent gets cells no narrower than its length over the
    // count, so the cell count stays near the point count whatever the shape.
    int64_t w = box.x2 - box.x1 + 1, h = box.y2 - box.y1 + 1;
    auto n = static_cast<int64_t>(live_);
    double area_side = std::ceil(std::sqrt(static_cast<double>(w) * static_cast<double>(h) / static_cast<double>(n)));
    cell_ = std::max({int64_t{1}, static_cast<int64_t>(area_side), (std::max(w, h) + n - 1) / n});
    x0_ = box.x1;
    y0_ = box.y1;
    nx_ = (w + cell_ - 1) / cell_;
    ny_ = (h + cell_ - 1) / cell_;
    size_t cells = static_cast<size_t>(nx_ * ny_);
    start_.assign(cells + 1, 0);
    auto cell_of = [&](const model::Point& p) {
        return static_cast<size_t>(((p.y - y0_) / cell_) * nx_ + (p.x - x0_) / cell_);
    };
    for (size_t k = 0; k < open_.size(); ++k) {
        if (live_mask_[k]) {
            ++start_[cell_of(open_[k]) + 1];
        }
    }
    for (size_t c = 0; c < cells; ++c) {
        start_[c + 1] += start_[c];
    }
    keys_.assign(live_, 0);
    std::vector<uint32_t> fill(start_.begin(), start_.end() - 1);
    for (size_t k = 0; k < open_.size(); ++k) {
        if (live_mask_[k]) {
            keys_[fill[cell_of(open_[k])]++] = static_cast<uint32_t>(k);
        }
    }
}

void NearestLink::close(uint32_t key) {
    if (!is_open(key)) {
        return;
    }
    live_mask_[key] = 0;
    --live_;
    if (built_for_ > kSmallGrid && live_ < built_for_ / 2) {
        build_grid();
    }
}

void NearestLink::join(model::Point at, uint32_t key, uint32_t tag) {
    joined_.push_back(Joined{at, key, tag});
    offer(static_cast<uint32_t>(joined_.size() - 1));
}

void NearestLink::offer(uint32_t joined) {
    uint64_t d;
    uint32_t k;
    if (nearest(joined_[joined].at, d, k)) {
        heap_.push(Entry{d, k, joined_[joined].key, joined});
    }
}

bool NearestLink::best(Link& out) {
    // An entry whose open point has left is stale: its joined point looks again among those still open.
    while (!heap_.empty()) {
        Entry e = heap_.top();
        if (live_mask_[e.open]) {
            out = Link{e.dist, e.open, e.joined_key, joined_[e.joined].tag};
            return true;
        }
        heap_.pop();
        offer(e.joined);
    }
    return false;
}

bool NearestLink::nearest(model::Point at, uint64_t& dist, uint32_t& key) const {
    if (live_ == 0 || nx_ == 0) {
        return false;
    }
    int64_t cx = floor_div(at.x - x0_, cell_), cy = floor_div(at.y - y0_, cell_);
    uint64_t best = kFar;
    uint32_t best_key = 0;
    auto scan = [&](int64_t x, int64_t y) {
        size_t c = static_cast<size_t>(y * nx_ + x);
        for (uint32_t i = start_[c]; i < start_[c + 1]; ++i) {
            uint32_t k = keys_[i];
            if (!live_mask_[k]) {
                continue;
            }
            uint64_t d = manhattan(at, open_[k]);
            if (d > 0 && (d < best || (d == best && k < best_key))) {
                best = d;
                best_key = k;
            }
        }
    };
    // Rings of cells around the point's cell, nearest first: every point in ring r or beyond is at
    // least (r - 1) cells away, so once that exceeds the best distance nothing further can win or tie.
    int64_t first = std::max({int64_t{0}, -cx, cx - (nx_ - 1), -cy, cy - (ny_ - 1)});
    int64_t last = std::max({cx, nx_ - 1 - cx, cy, ny_ - 1 - cy});
    for (int64_t r = first; r <= last; ++r) {
        if (r >= 1 && best != kFar && static_cast<uint64_t>((r - 1) * cell_) > best) {
            break;
        }
        int64_t ylo = std::max(cy - r, int64_t{0}), yhi = std::min(cy + r, ny_ - 1);
        int64_t xlo = std::max(cx - r, int64_t{0}), xhi = std::min(cx + r, nx_ - 1);
        for (int64_t y = ylo; y <= yhi; ++y) {
            if (y == cy - r || y == cy + r) {
                for (int64_t x = xlo; x <= xhi; ++x) {
                    scan(x, y);
                }
            } else {
                if (cx - r >= 0 && cx - r < nx_) {
                    scan(cx - r, y);
                }
                if (cx + r >= 0 && cx + r < nx_) {
                    scan(cx + r, y);
                }
            }
        }
    }
    if (best == kFar) {
        return false;
    }
    dist = best;
    key = best_key;
    return true;
}

} // namespace trazel::nets
