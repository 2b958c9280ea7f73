// The via passes: an L with a via at its corner, the two-via dogleg and the "C" detour on hand-built boards
// that no zero-via pattern can route, the via test against the net scan's pad rules, the log lines, undo,
// and the net scan's clearance check on what the passes lay.
#include <gtest/gtest.h>

#include <set>

#include "edit/undo.h"
#include "nets/checks.h"
#include "nets/ratnest.h"
#include "router/passes.h"
#include "router/queries.h"
#include "router/vias.h"
#include "router_board.h"

namespace {

using namespace router_test;
using model::Point;

constexpr Coord kViaPad = 2294, kViaHole = 983; // 35 and 15 mil

struct ViaBoard : RouterBoard {
    void SetUp() override {
        RouterBoard::SetUp();
        set.via_pad = kViaPad;
        set.via_hole = kViaHole;
    }
    std::vector<Ref> vias() const {
        std::vector<Ref> out;
        for (Ref r : model::items_in(ring())) {
            if (node(r).item_kind() == model::kPad && (node(r).size & 7) == 3) {
                out.push_back(r);
            }
        }
        return out;
    }
    static Point at(Ref pad) {
        return Point{node(pad).pad.x0, node(pad).pad.y0};
    }
    // The net scan's clearance check, one Signal at a time, over the whole board: the findings that
    // involve an Item not in `old` (descriptions of the Items before the run).
    int new_faults(const std::set<std::string>& old) {
        std::set<Ref> signals;
        model::walk_tree(ring(), [&](Ref r, int) {
            if (model::item_signal(r) != model::kNone) {
                signals.insert(model::item_signal(r));
            }
        });
        int faults = 0;
        s->plain = true;
        for (Ref sig : signals) {
            model::walk_tree(ring(), [&](Ref r, int) {
                if (model::item_signal(r) == sig) {
                    node(r).kind |= model::kMarkFlag;
                    s->marked.push_back(r);
                }
            });
            nets::check_clearances(*s, nets::clearances_of(d->setup), [&](const nets::Finding& f) {
                if (old.count(describe(f.source)) == 0 || old.count(describe(f.target)) == 0) {
                    ADD_FAILURE() << "fault " << static_cast<int>(f.kind) << " at " << f.at.x << ',' << f.at.y
                                  << " needs " << f.required << " has " << f.distance;
                    ++faults;
                }
                return true;
            });
            for (Ref r : s->marked) {
                node(r).kind &= static_cast<uint8_t>(~model::kMarkFlag);
            }
            s->marked.clear();
        }
        return faults;
    }
    std::set<std::string> descriptions() const {
        std::set<std::string> out;
        model::walk_tree(ring(), [&](Ref r, int) { out.insert(describe(r)); });
        return out;
    }
};

constexpr uint32_t kZeroVia = router::kStraight | router::kDataBus | router::kInline | router::kLRoutes;

// A diagonal inch whose diagonal is crossed on top by another Signal.
struct Diagonal : ViaBoard {
    Ref line = model::kNone;
    void build() {
        thru(0, 0, "A");
        thru(kInch, kInch, "A");
        track(kTop, in(0.45), in(0.55), in(0.55), in(0.45), 800, "B");
        line = rat(Point{0, 0}, Point{kInch, kInch}, "A");
    }
};

TEST_F(Diagonal, ZeroViaPassesFailAndZLaysAnLWithAViaAtTheCorner) {
    struct Case {
        bool crowd; // another Signal's pad beside the corner below E2: the tracks fit, the via would not
        Point corner;
        int first, second;
    };
    for (Case c : {Case{false, Point{kInch, 0}, kTop, kBottom}, Case{true, Point{0, kInch}, kBottom, kTop}}) {
        SetUp();
        build();
        if (c.crowd) {
            // 3500 from the corner: a track's end needs 3014, a via 3768.
            thru(kInch + 3500, 0, "C");
        }
        std::set<std::string> old = descriptions();
        RouteSummary none = route(kZeroVia);
        EXPECT_EQ(none.totals.routed, 0u);
        RouteSummary z = route(kZeroVia | router::kZRoutes);
        EXPECT_EQ(z.totals.routed, 1u);
        ASSERT_EQ(vias().size(), 1u);
        Ref v = vias()[0];
        EXPECT_EQ(at(v).x, c.corner.x);
        EXPECT_EQ(at(v).y, c.corner.y);
        EXPECT_EQ(node(v).layer, 0);
        EXPECT_EQ(node(v).pad.width, kViaPad);
        EXPECT_EQ(node(v).pad.height, kViaPad);
        EXPECT_EQ(node(v).pad.hole, kViaHole);
        EXPECT_EQ(model::signal_name(model::item_signal(v)), "A");
        ASSERT_EQ(lines_on(c.first).size() + lines_on(c.second).size(), 3u); // B's crossing and the two runs
        Ref l1 = lines_on(c.first).back(), l2 = lines_on(c.second).back();
        EXPECT_TRUE(runs(l1, Point{0, 0}, c.corner));
        EXPECT_TRUE(runs(l2, c.corner, Point{kInch, kInch}));
        EXPECT_EQ(model::signal_name(model::item_signal(l1)), "A");
        EXPECT_EQ(node(l1).size, kTrack);
        EXPECT_TRUE(lines_on(255).empty());
        EXPECT_EQ(new_faults(old), 0);
    }
}

TEST_F(Diagonal, BothCornersTakenGivesATwoViaDogleg) {
    build();
    thru(kInch, 0, "C");
    thru(0, kInch, "C");
    std::set<std::string> old = descriptions();
    route(kZeroVia | router::kZRoutes);
    EXPECT_EQ(untimed()[6], pass_text("Zero-via straight routes:", "        0        0     0.000      0.00%"));
    EXPECT_EQ(untimed()[9], pass_text("One-via \"L\" routes:", "        1        0     0.000      0.00%"));
    EXPECT_EQ(untimed()[10], pass_text("Via \"L\" and \"Z\" routes:", "        1        1     1.000    100.00%"));
    EXPECT_EQ(untimed()[12], pass_text("Totals:", "        2        1     0.500    100.00%"));
    // Up on the bottom, across on top beside B's track, down on the bottom.
    ASSERT_EQ(vias().size(), 2u);
    Point v1 = at(vias()[0]), v2 = at(vias()[1]);
    EXPECT_EQ(v1.x, 0);
    EXPECT_EQ(v2.x, kInch);
    EXPECT_EQ(v1.y, v2.y);
    EXPECT_TRUE(v1.y > in(0.55) + 1000 || v1.y < in(0.45) - 1000) << v1.y;
    std::vector<Ref> bottom = lines_on(kBottom), top = lines_on(kTop);
    ASSERT_EQ(bottom.size(), 2u);
    ASSERT_EQ(top.size(), 2u);
    EXPECT_TRUE(runs(bottom[0], Point{0, 0}, v1));
    EXPECT_TRUE(runs(top[1], v1, v2));
    EXPECT_TRUE(runs(bottom[1], v2, Point{kInch, kInch}));
    EXPECT_EQ(new_faults(old), 0);
}

// A straight inch on top past another Signal's top surface pad, with B's tracks on either side so that the
// in-line jog cannot pass it.
TEST_F(ViaBoard, CDetourGoesUnderAPadThroughTwoVias) {
    thru(0, 0, "A");
    thru(kInch, 0, "A");
    pad(kTop, in(0.5), 0, kOvalSmt, "B", 3932, 3932);
    track(kTop, in(0.2), in(0.06), in(0.8), in(0.06), 800, "B");
    track(kTop, in(0.2), -in(0.06), in(0.8), -in(0.06), 800, "B");
    Ref line = rat(Point{0, 0}, Point{kInch, 0}, "A");
    std::set<std::string> old = descriptions();
    route(router::kStraight | router::kInline);
    EXPECT_EQ(node(line).layer, 255);
    route(router::kStraight | router::kInline | router::kCRoutes);
    EXPECT_EQ(untimed()[8], pass_text("Via \"C\" routes:", "        1        1     1.000    100.00%"));
    ASSERT_EQ(vias().size(), 2u);
    Point v1 = at(vias()[0]), v2 = at(vias()[1]);
    EXPECT_EQ(v1.y, 0);
    EXPECT_EQ(v2.y, 0);
    EXPECT_LT(v1.x, in(0.5) - 3768 + 1);
    EXPECT_GT(v2.x, in(0.5) + 3768 - 1);
    std::vector<Ref> top = lines_on(kTop), bottom = lines_on(kBottom);
    ASSERT_EQ(top.size(), 4u);
    ASSERT_EQ(bottom.size(), 1u);
    EXPECT_TRUE(runs(top[2], Point{0, 0}, v1));
    EXPECT_TRUE(runs(bottom[0], v1, v2));
    EXPECT_TRUE(runs(top[3], v2, Point{kInch, 0}));
    EXPECT_EQ(new_faults(old), 0);
    // Undo takes the detour away, vias and all.
    EXPECT_EQ(edit::undo(*d, nullptr), 1);
    EXPECT_EQ(node(line).layer, 255);
    EXPECT_TRUE(vias().empty());
}

// The via test against the net scan's rules, to the unit, with the index and with the plain walk.
TEST_F(ViaBoard, ViaKeepsPadToPadFromPadsAndLineToPadFromTracks) {
    d->setup.clear_pad_pad = 900;
    set.clear_pad_pad = 900;
    thru(0, 0, "B");                                   // round: centres 3113 + 900 apart
    pad(kBottom, 0, kInch, kOvalSmt, "B", 2000, 6000); // oblong on the bottom: its spine or its width
    track(kTop, kInch, 0, kInch, kInch, 800, "B");     // a track: 1547 + 655 from its centre line
    for (bool plain : {false, true}) {
        router::RouteHooks hooks;
        router::Router r(*d, set, hooks, nullptr);
        router::Queries q(*d, set, plain);
        r.q = &q;
        Ref b = signal("B");
        EXPECT_FALSE(router::via_clear(r, Point{4012, 0}, model::kNone));
        EXPECT_TRUE(router::via_clear(r, Point{4013, 0}, model::kNone));
        // Its own Signal never blocks, but no via drills into its own pad's hole: (2000 + 983)/2 apart.
        EXPECT_TRUE(router::via_clear(r, Point{1492, 0}, b));
        EXPECT_FALSE(router::via_clear(r, Point{1491, 0}, b));
        // Across the oblong pad (2000 + 2294)/2 + 900; along it, 2000 more to the spine's end.
        EXPECT_FALSE(router::via_clear(r, Point{3046, kInch}, model::kNone));
        EXPECT_TRUE(router::via_clear(r, Point{3047, kInch}, model::kNone));
        EXPECT_FALSE(router::via_clear(r, Point{0, kInch - 5046}, model::kNone));
        EXPECT_TRUE(router::via_clear(r, Point{0, kInch - 5047}, model::kNone));
        EXPECT_FALSE(router::via_clear(r, Point{kInch - 2201, kInch / 2}, model::kNone));
        EXPECT_TRUE(router::via_clear(r, Point{kInch - 2202, kInch / 2}, model::kNone));
    }
}

TEST_F(ViaBoard, PlacedViaIsRecordedIndexedAndBlocksTheNextOne) {
    router::RouteHooks hooks;
    router::Router r(*d, set, hooks, nullptr);
    router::Queries q(*d, set, false);
    r.q = &q;
    Ref v = router::place_via(r, Point{0, 0}, signal("A"));
    ASSERT_NE(v, model::kNone);
    EXPECT_EQ(node(v).size & 7, 3);
    EXPECT_FALSE(router::via_clear(r, Point{kViaPad + kClear - 1, 0}, model::kNone));
    EXPECT_TRUE(router::via_clear(r, Point{kViaPad + kClear, 0}, model::kNone));
    EXPECT_FALSE(q.segment_clear(kTop, kTrack, Point{-kInch, 1000}, Point{kInch, 1000}, model::kNone));
    EXPECT_EQ(edit::undo(*d, nullptr), 1);
    EXPECT_TRUE(vias().empty());
}

TEST_F(ViaBoard, AllFlagsThenUndoGiveBackTheBoardAndNewCopperKeepsItsClearances) {
    generate(ring(), 11, 12);
    nets::prepare_ratnest_layer(d->setup);
    std::string before = edit_test::data_file_text();
    RouteSummary zero = route(router::kClearPreroutes | kZeroVia);
    EXPECT_EQ(edit::undo(*d, nullptr), 1);
    EXPECT_EQ(edit_test::data_file_text(), before);
    std::set<std::string> old = descriptions();
    RouteSummary all = route(router::kClearPreroutes | kZeroVia | router::kZRoutes | router::kCRoutes);
    EXPECT_GT(all.totals.routed, zero.totals.routed);
    EXPECT_FALSE(vias().empty());
    EXPECT_EQ(new_faults(old), 0);
    EXPECT_EQ(edit::undo_groups(*d), 1);
    EXPECT_EQ(edit::undo(*d, nullptr), 1);
    EXPECT_EQ(edit_test::data_file_text(), before);
}

} // namespace
