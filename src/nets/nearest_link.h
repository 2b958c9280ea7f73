// The nearest link of a spanning tree grown one link at a time: between a shrinking set of open points
// and a growing set of joined ones, the pair at the least Manhattan distance above zero; on a tie the
// open point with the least key, then the joined point with the least key.  Both Ratnest builders use
// it (NR's tree of one Signal's pads, and the next airline of the Net scan).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <queue>
#include <vector>

#include "model/fixed.h"

namespace trazel::nets {

class NearestLink {
public:
    struct Link {
        uint64_t dist;
        uint32_t open;   // the open point's key
        uint32_t joined; // the joined point's key
        uint32_t tag;    // what the caller gave with the joined point
    };

    // The open points, before anything joins: key i is the i-th point given.
    void reset(std::vector<model::Point> open);
    size_t open_count() const { return live_; }
    bool is_open(uint32_t key) const { return key < open_.size() && live_mask_[key]; }

    // An open point leaves the open set (it joined, or it no longer counts).
    void close(uint32_t key);
    // A point joins the tree; `key` orders it among joined points for ties.
    void join(model::Point at, uint32_t key, uint32_t tag);

    // The next link; false when no open point is at a distance above zero from a joined one.
    bool best(Link& out);

private:
    struct Entry {
        uint64_t dist;
        uint32_t open, joined_key, joined; // joined: index into joined_
        bool operator>(const Entry& o) const {
            if (dist != o.dist) {
                return dist > o.dist;
            }
            if (open != o.open) {
                return open > o.open;
            }
            return joined_key > o.joined_key;
        }
    };
    struct Joined {
        model::Point at;
        uint32_t key, tag;
    };

    void build_grid();
    // The nearest open point to `at` (least key on a tie), or false.
    bool nearest(model::Point at, uint64_t& dist, uint32_t& key) const;
    void offer(uint32_t joined);

    std::vector<model::Point> open_;
    std::vector<uint8_t> live_mask_;
    size_t live_ = 0;
    size_t built_for_ = 0; // live points when the grid was last built

    // A uniform grid over the live open points' extent, about one point per cell; each cell's keys ascend.
    int64_t x0_ = 0, y0_ = 0, cell_ = 1;
    int64_t nx_ = 0, ny_ = 0;
    std::vector<uint32_t> start_; // cell c holds keys_[start_[c] .. start_[c + 1])
    std::vector<uint32_t> keys_;

    std::vector<Joined> joined_;
    std::priority_queue<Entry, std::vector<Entry>, std::greater<Entry>> heap_;
};

} // namespace trazel::nets
