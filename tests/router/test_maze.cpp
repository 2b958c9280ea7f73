// The snake pass on hand-built boards: a wall with one gap that no pattern pass gets through, a layer
// change through a via, a step budget that runs out, rip-up of the pass's own route (and never of the
// user's copper), undo, and the net scan's clearance check on what it lays.
#include <gtest/gtest.h>

#include <set>

#include "edit/undo.h"
#include "nets/checks.h"
#include "nets/ratnest.h"
#include "router/maze.h"
#include "router/passes.h"
#include "router/queries.h"
#include "router/vias.h"
#include "router_board.h"

namespace {

using namespace router_test;
using model::Point;

constexpr Coord kTenth = 6554;
constexpr Coord kViaPad = 2294, kViaHole = 983;

struct MazeBoard : RouterBoard {
    void SetUp() override {
        RouterBoard::SetUp();
        set.via_pad = kViaPad;
        set.via_hole = kViaHole;
    }
    void one_layer() {
        router::set_layer_direction(d->setup, kBottom, router::kNoDirection);
    }
    // A wall of touching pads of Signal "W" down x = 0.5 inch, from -0.7 to 0.7 inch, with the pad at
    // `gap` tenths left out.
    void wall(int gap) {
        for (int k = -7; k <= 7; ++k) {
            if (k != gap) {
                pad(0, kInch / 2, k * kTenth, kRectThru, "W", 3932, kTenth);
            }
        }
    }
    // The snake pass alone, the Ratnest lines in ring order (no sorting), on a Router of our own.
    PassResult snake(const router::MazeLimits& lim = {}) {
        router::RouteHooks hooks;
        router::Router r(*d, set, hooks, nullptr);
        router::Queries q(*d, set, false);
        r.q = &q;
        return router::snake_pass(r, lim);
    }
    std::vector<Ref> signal_lines(const char* sig) const {
        std::vector<Ref> out;
        for (Ref r : model::items_in(ring())) {
            const model::Node& n = node(r);
            if (n.item_kind() == model::kLine && n.layer != 255 && n.size != 0 &&
                model::signal_name(model::item_signal(r)) == sig) {
                out.push_back(r);
            }
        }
        return out;
    }
    size_t vias() const {
        size_t n = 0;
        for (Ref r : model::items_in(ring())) {
            n += node(r).item_kind() == model::kPad && (node(r).size & 7) == 3;
        }
        return n;
    }
    // Every end of the Signal's new Lines meets another of its Lines, one of its vias or one of its pads:
    // nothing dangles.
    bool joined(const char* sig) const {
        std::vector<Point> stops;
        for (Ref r : model::items_in(ring())) {
            const model::Node& n = node(r);
            if (model::signal_name(model::item_signal(r)) != sig) {
                continue;
            }
            if (n.item_kind() == model::kPad) {
                stops.push_back(Point{n.pad.x0, n.pad.y0});
            }
        }
        std::vector<Ref> lines = signal_lines(sig);
        auto count = [&](Point p) {
            int c = 0;
            for (Ref l : lines) {
                const model::Node& n = node(l);
                c += (n.line.x1 == p.x && n.line.y1 == p.y) + (n.line.x2 == p.x && n.line.y2 == p.y);
            }
            for (Point s : stops) {
                c += s.x == p.x && s.y == p.y;
            }
            return c;
        };
        for (Ref l : lines) {
            const model::Node& n = node(l);
            if (count(Point{n.line.x1, n.line.y1}) < 2 || count(Point{n.line.x2, n.line.y2}) < 2) {
                return false;
            }
        }
        return true;
    }
    // The net scan's clearance check, one Signal at a time over the whole board.
    int faults() {
        std::set<Ref> signals;
        model::walk_tree(ring(), [&](Ref r, int) {
            if (model::item_signal(r) != model::kNone) {
                signals.insert(model::item_signal(r));
            }
        });
        int found = 0;
        for (Ref sig : signals) {
            model::walk_tree(ring(), [&](Ref r, int) {
                if (model::item_signal(r) == sig && node(r).layer != 255) {
                    node(r).kind |= model::kMarkFlag;
                    s->marked.push_back(r);
                }
            });
            s->index.reset();
            nets::check_clearances(*s, nets::clearances_of(d->setup), [&](const nets::Finding& f) {
                ADD_FAILURE() << "fault " << static_cast<int>(f.kind) << " at " << f.at.x << ',' << f.at.y;
                return ++found, true;
            });
            for (Ref r : s->marked) {
                node(r).kind &= static_cast<uint8_t>(~model::kMarkFlag);
            }
            s->marked.clear();
        }
        return found;
    }
};

TEST_F(MazeBoard, WallWithOneGapIsRoutedThroughTheGapOnOneLayerAndUndoGivesTheBoardBack) {
    one_layer();
    wall(3);
    thru(0, 0, "A");
    thru(kInch, 0, "A");
    Ref l = rat(Point{0, 0}, Point{kInch, 0}, "A");
    nets::prepare_ratnest_layer(d->setup);
    std::string before = edit_test::data_file_text();
    RouteSummary s = route(router::kStraight | router::kInline | router::kSnake);
    // The pattern passes try it and fail; the maze routes it.
    EXPECT_EQ(untimed()[6], pass_text("Zero-via straight routes:", "        1        0     0.000      0.00%"));
    EXPECT_EQ(untimed()[7], pass_text("Zero-via inline routes:", "        1        0     0.000      0.00%"));
    EXPECT_EQ(untimed()[8], pass_text("Maze (snake) routes:", "        1        1     1.000    100.00%"));
    EXPECT_EQ(s.totals.processed, 3u);
    EXPECT_EQ(s.totals.routed, 1u);
    EXPECT_TRUE(lines_on(255).empty());
    std::vector<Ref> a = signal_lines("A");
    ASSERT_GE(a.size(), 3u);
    bool through_gap = false;
    for (Ref x : a) {
        const model::Node& n = node(x);
        EXPECT_EQ(n.layer, kTop);
        EXPECT_EQ(n.size, kTrack);
        if ((n.line.x1 < kInch / 2) != (n.line.x2 < kInch / 2)) {
            through_gap = n.line.y1 > 2 * kTenth + 3277 && n.line.y1 < kTenth * 4 - 3277;
        }
    }
    EXPECT_TRUE(through_gap);
    EXPECT_TRUE(joined("A"));
    EXPECT_EQ(vias(), 0u);
    EXPECT_EQ(faults(), 0);
    EXPECT_EQ(edit::undo(*d, nullptr), 1);
    EXPECT_EQ(edit_test::data_file_text(), before);
    EXPECT_EQ(node(l).layer, 255);
}

TEST_F(MazeBoard, PlainWalkLaysTheSameRoutesAsTheIndex) {
    std::vector<std::string> got[2];
    for (bool plain : {false, true}) {
        SetUp();
        set.plain = plain;
        wall(3);
        thru(0, 0, "A");
        thru(kInch, 0, "A");
        rat(Point{0, 0}, Point{kInch, 0}, "A");
        thru(0, -kInch / 4, "B");
        pad(kBottom, kInch, kInch / 3, kOvalSmt, "B", 3000, 3000);
        rat(Point{0, -kInch / 4}, Point{kInch, kInch / 3}, "B");
        EXPECT_EQ(route(router::kSnake).totals.routed, 2u);
        for (Ref r : model::items_in(ring())) {
            got[plain].push_back(describe(r));
        }
    }
    EXPECT_EQ(got[0], got[1]);
}

TEST_F(MazeBoard, GapNarrowerThanATrackLeavesTheLineAlone) {
    one_layer();
    for (int k = -7; k <= 7; ++k) {
        // 2000 units between pad edges: a track needs 786 + 2 x 655 = 2096.
        pad(0, kInch / 2, k * kTenth, kRectThru, "W", 3932, k == 0 || k == -1 ? kTenth - 1000 : kTenth);
    }
    thru(0, -kTenth / 2, "A");
    thru(kInch, -kTenth / 2, "A");
    rat(Point{0, -kTenth / 2}, Point{kInch, -kTenth / 2}, "A");
    PassResult r = snake();
    EXPECT_EQ(r.processed, 1u);
    EXPECT_EQ(r.routed, 0u);
    EXPECT_EQ(lines_on(255).size(), 1u);
    EXPECT_TRUE(signal_lines("A").empty());
}

TEST_F(MazeBoard, SurfacePadsOnOppositeSidesAreJoinedThroughAVia) {
    {
        router::RouteHooks hooks;
        router::Router r(*d, set, hooks, nullptr);
        router::Queries q(*d, set, false);
        r.q = &q;
        if (!router::via_clear(r, Point{0, 0}, model::kNone)) {
            GTEST_SKIP() << "the via test places no via yet";
        }
    }
    pad(kTop, 0, 0, kOvalSmt, "A", 3000, 3000);
    pad(kBottom, kInch, kInch / 2, kOvalSmt, "A", 3000, 3000);
    rat(Point{0, 0}, Point{kInch, kInch / 2}, "A");
    nets::prepare_ratnest_layer(d->setup);
    std::string before = edit_test::data_file_text();
    RouteSummary s = route(router::kStraight | router::kLRoutes | router::kSnake);
    EXPECT_EQ(s.totals.routed, 1u);
    EXPECT_EQ(vias(), 1u);
    EXPECT_FALSE(lines_on(kTop).empty());
    EXPECT_FALSE(lines_on(kBottom).empty());
    EXPECT_TRUE(joined("A"));
    EXPECT_EQ(faults(), 0);
    EXPECT_EQ(edit::undo(*d, nullptr), 1);
    EXPECT_EQ(edit_test::data_file_text(), before);
}

TEST_F(MazeBoard, BudgetThatRunsOutLeavesTheLineAndTheBoardAsTheyWere) {
    one_layer();
    wall(1);
    thru(0, 0, "A");
    thru(kInch, 0, "A");
    Ref l = rat(Point{0, 0}, Point{kInch, 0}, "A");
    std::string before = edit_test::data_file_text();
    router::MazeLimits lim;
    lim.steps = 20; // the gap lies some 30 cells away
    PassResult r = snake(lim);
    EXPECT_EQ(r.processed, 1u);
    EXPECT_EQ(r.routed, 0u);
    EXPECT_EQ(node(l).layer, 255);
    EXPECT_EQ(edit_test::data_file_text(), before);
    EXPECT_FALSE(edit::has_undo(*d));
}

// B is met first and goes straight across; A, between pads above and below B's route, can only be made by
// taking B up, and B then goes round A's pad.
struct RipUp : MazeBoard {
    Ref a_line = model::kNone;
    void build(bool b_is_users) {
        one_layer();
        thru(kInch / 2, -kTenth * 2, "A");
        thru(kInch / 2, kTenth * 2, "A");
        a_line = rat(Point{kInch / 2, -kTenth * 2}, Point{kInch / 2, kTenth * 2}, "A");
        thru(0, 0, "B");
        thru(kInch, 0, "B");
        if (b_is_users) {
            track(kTop, 0, 0, kInch, 0, kTrack, "B");
        } else {
            rat(Point{0, 0}, Point{kInch, 0}, "B");
        }
    }
};

TEST_F(RipUp, ThisRunsRouteIsTakenUpAndRoutedAgain) {
    build(false);
    std::string before = edit_test::data_file_text();
    router::MazeLimits no_rip;
    no_rip.rip_up = false;
    PassResult r = snake(no_rip);
    EXPECT_EQ(r.routed, 1u); // B only
    EXPECT_EQ(lines_on(255).size(), 1u);
    ASSERT_EQ(edit::undo(*d, nullptr), 1);
    ASSERT_EQ(edit_test::data_file_text(), before);

    r = snake();
    EXPECT_EQ(r.processed, 2u);
    EXPECT_EQ(r.routed, 2u); // B counts once although routed twice
    EXPECT_TRUE(lines_on(255).empty());
    std::vector<Ref> a = signal_lines("A"), b = signal_lines("B");
    ASSERT_EQ(a.size(), 1u);
    EXPECT_TRUE(runs(a[0], Point{kInch / 2, -kTenth * 2}, Point{kInch / 2, kTenth * 2}));
    EXPECT_GT(b.size(), 1u);
    EXPECT_TRUE(joined("A"));
    EXPECT_TRUE(joined("B"));
    EXPECT_EQ(faults(), 0);
    EXPECT_EQ(edit::undo(*d, nullptr), 1);
    EXPECT_EQ(edit_test::data_file_text(), before);
}

TEST_F(RipUp, UsersCopperIsNeverTakenUp) {
    build(true);
    std::string before = edit_test::data_file_text();
    PassResult r = snake();
    EXPECT_EQ(r.processed, 1u);
    EXPECT_EQ(r.routed, 0u);
    EXPECT_EQ(node(a_line).layer, 255);
    EXPECT_EQ(edit_test::data_file_text(), before);
}

TEST_F(MazeBoard, CancelStopsBetweenConnectionsAndTotalsMatchTheBoard) {
    one_layer();
    for (int k = 0; k < 3; ++k) {
        const char* sig[] = {"A", "B", "C"};
        thru(0, k * kInch / 2, sig[k]);
        thru(kInch, k * kInch / 2 + kTenth, sig[k]);
        rat(Point{0, k * kInch / 2}, Point{kInch, k * kInch / 2 + kTenth}, sig[k]);
    }
    nets::prepare_ratnest_layer(d->setup);
    platform::RunContext ctx(ui);
    router::RouteHooks hooks;
    hooks.progress = [&](uint32_t, uint32_t) { ctx.cancel(); }; // after the first connection
    RouteSummary s = route(router::kSnake, hooks, &ctx);
    EXPECT_TRUE(s.cancelled);
    EXPECT_EQ(s.totals.processed, 1u);
    EXPECT_EQ(s.totals.routed, 1u);
    EXPECT_EQ(lines_on(255).size(), 2u);
    EXPECT_EQ(log_lines.back().substr(0, 7), "Totals:");
    EXPECT_EQ(faults(), 0);
}

} // namespace
