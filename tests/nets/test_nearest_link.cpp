// The grid-and-heap nearest link against a full scan of every pair, on point sets made to tie: a coarse
// lattice (many equal distances), coincident points (distance 0 never links), a long thin row, and joined
// points far outside the open points' extent; enough points that closing them rebuilds the grid.
#include <gtest/gtest.h>

#include <limits>
#include <random>
#include <vector>

#include "nets/nearest_link.h"

namespace {

using trazel::model::Point;
using trazel::nets::NearestLink;

struct Pick {
    uint64_t dist;
    uint32_t open, joined;
    bool operator==(const Pick&) const = default;
};

uint64_t manhattan(Point a, Point b) {
    return static_cast<uint64_t>(std::llabs(int64_t{a.x} - b.x) + std::llabs(int64_t{a.y} - b.y));
}

// Grows a tree over `pts` from the points in `seed` both ways, joining each picked open point with key =
// its index; returns the sequence of picks.
std::vector<Pick> grow(const std::vector<Point>& pts, const std::vector<uint32_t>& seed, bool fast) {
    std::vector<bool> joined(pts.size(), false);
    for (uint32_t j : seed) {
        joined[j] = true;
    }
    std::vector<Pick> out;
    NearestLink links;
    if (fast) {
        links.reset(pts);
        for (uint32_t j : seed) {
            links.close(j);
        }
        for (uint32_t j : seed) {
            links.join(pts[j], j, j + 1000000);
        }
    }
    while (true) {
        Pick p{std::numeric_limits<uint64_t>::max(), 0, 0};
        if (fast) {
            NearestLink::Link l;
            if (!links.best(l)) {
                break;
            }
            EXPECT_EQ(l.tag, l.joined + 1000000);
            p = Pick{l.dist, l.open, l.joined};
        } else {
            for (uint32_t u = 0; u < pts.size(); ++u) {
                for (uint32_t j = 0; j < pts.size() && !joined[u]; ++j) {
                    uint64_t d = joined[j] ? manhattan(pts[u], pts[j]) : 0;
                    if (d > 0 && d < p.dist) {
                        p = Pick{d, u, j};
                    }
                }
            }
            if (p.dist == std::numeric_limits<uint64_t>::max()) {
                break;
            }
        }
        out.push_back(p);
        joined[p.open] = true;
        if (fast) {
            links.close(p.open);
            links.join(pts[p.open], p.open, p.open + 1000000);
        }
    }
    return out;
}

TEST(NearestLink, SameTreeAsTheFullScan) {
    std::mt19937 rng(5);
    auto lattice = [&](int n, int span, int step) {
        std::vector<Point> v;
        std::uniform_int_distribution<int> c(0, span);
        for (int i = 0; i < n; ++i) {
            v.push_back(Point{c(rng) * step - span * step / 2, c(rng) * step});
        }
        return v;
    };
    std::vector<std::vector<Point>> sets = {
        lattice(300, 12, 1000),    // dense ties and coincident points
        lattice(400, 4000, 7),     // sparse
        {},                        // nothing to join
    };
    std::vector<Point> row;
    for (int i = 0; i < 200; ++i) {
        row.push_back(Point{(i * 7919) % 100003 - 50000, 3});
    }
    sets.push_back(row);
    std::vector<Point> far = lattice(150, 30, 100);
    far.push_back(Point{2000000000, -2000000000}); // a seed far outside the open points' extent
    sets.push_back(far);

    for (size_t i = 0; i < sets.size(); ++i) {
        const std::vector<Point>& pts = sets[i];
        std::vector<uint32_t> seed;
        if (!pts.empty()) {
            seed = {static_cast<uint32_t>(pts.size() - 1), 0};
        }
        std::vector<Pick> slow = grow(pts, seed, false);
        EXPECT_EQ(grow(pts, seed, true), slow) << "set " << i;
        if (pts.size() > 100) {
            EXPECT_GT(slow.size(), pts.size() / 2) << "set " << i;
        }
    }
}

TEST(NearestLink, CoincidentPointsNeverLink) {
    NearestLink links;
    links.reset({Point{5, 5}, Point{5, 5}, Point{9, 5}});
    links.close(0);
    links.join(Point{5, 5}, 0, 0);
    NearestLink::Link l;
    ASSERT_TRUE(links.best(l));
    EXPECT_EQ(l.open, 2u); // point 1 sits on the joined one
    EXPECT_EQ(l.dist, 4u);
    links.close(2);
    EXPECT_FALSE(links.best(l));
    links.join(Point{9, 5}, 2, 2); // only now does point 1 have a joined point away from it
    ASSERT_TRUE(links.best(l));
    EXPECT_EQ(l.open, 1u);
    EXPECT_EQ(l.joined, 2u);
}

} // namespace
