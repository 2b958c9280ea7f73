// The run: its log lines, the preparatory phases, one undo group, cancel, the sort and its oracle.
#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <random>
#include <thread>

#include "edit/undo.h"
#include "nets/ratnest.h"
#include "router/passes.h"
#include "router/sort.h"
#include "router_board.h"

namespace {

using namespace router_test;

const std::string kRule(79, '-');

TEST_F(RouterBoard, StraightAloneLogsHeaderSortingStraightAndTotals) {
    thru(0, 0, "A");
    thru(kInch, 0, "A");
    rat(Point{0, 0}, Point{kInch, 0}, "A");
    RouteSummary s = route(router::kStraight);
    std::vector<std::string> expect = {
        kRule,
        "ALGORITHM                      TRACKS   TRACKS     HIT    PERCENTAGE    ELAPSED",
        "DESCRIPTION                  PROCESSED  ROUTED    RATIO    OF TOTAL       TIME",
        kRule,
        "",
        pass_text("Sorting ratnest lines:", "        1" + std::string(30, ' ')),
        pass_text("Zero-via straight routes:", "        1        1     1.000    100.00%"),
        "",
        pass_text("Totals:", "        1        1     1.000    100.00%"),
    };
    EXPECT_EQ(untimed(), expect);
    for (size_t i = 5; i < log_lines.size(); ++i) {
        if (!log_lines[i].empty()) {
            EXPECT_EQ(log_lines[i].size(), 79u) << log_lines[i];
            EXPECT_EQ(log_lines[i].substr(66).find_first_not_of(' '), 8u) << log_lines[i]; // "    0.000"-like time
        }
    }
    EXPECT_EQ(s.total, 1u);
    EXPECT_EQ(s.totals.routed, 1u);
    ASSERT_EQ(lines_on(kTop).size(), 1u);
    EXPECT_EQ(node(lines_on(kTop)[0]).size, kTrack);
}

TEST_F(RouterBoard, EmptyPhaseShowsZeroRatioAndPercentage) {
    thru(0, 0, "A");
    thru(kInch, 0, "A");
    rat(Point{0, 0}, Point{kInch, 0}, "A");
    route(router::kLRoutes | router::kDataBus);
    std::vector<std::string> u = untimed();
    ASSERT_EQ(u.size(), 10u);
    EXPECT_EQ(u[6], pass_text("Zero-via data bus routes:", "        0        0     0.000      0.00%"));
    EXPECT_EQ(u[7], pass_text("One-via \"L\" routes:", "        0        0     0.000      0.00%"));
    EXPECT_EQ(u[9], pass_text("Totals:", "        0        0     0.000      0.00%"));
}

TEST(RouterLog, CountsAboveSixteenBitsAndFixedPointFractions) {
    // 16.16 in 64 bits: 70000 x 65536 would wrap 32 bits; 58.3328...% shows as 58.33.
    PassResult r{70000, 70000};
    std::string l = router::pass_line("Zero-via straight routes:", r, 120000, 1234);
    EXPECT_EQ(l, pass_text("Zero-via straight routes:", "    70000    70000     1.000     58.33%        1.234"));
    // 1 of 3: ratio (65536 / 3 = 21845) / 65536 = 0.33333 -> 0.333; percentage 2184500 / 65536 = 33.33.
    EXPECT_EQ(router::pass_line("Totals:", PassResult{3, 1}, 3, 0),
              pass_text("Totals:", "        3        1     0.333     33.33%        0.000"));
    EXPECT_EQ(router::phase_line("Creating ratnest lines:", 120000, 61),
              pass_text("Creating ratnest lines:", "   120000" + std::string(30, ' ') + "        0.061"));
}

TEST_F(RouterBoard, ClearDeletesViasOnAnyLayerOldRatnestAndTracksOnRoutingLayers) {
    thru(0, 0, "A");
    thru(3 * kInch, 0, "A");
    thru(kInch, 0, "A");
    pad(0, 2 * kInch, kInch, kVia, "V");                             // a via on the pad master
    pad(kTopSilk, 2 * kInch, 2 * kInch, kVia);                       // one on a layer without direction
    track(kTop, 0, kInch, kInch, kInch, 800, "T");                   // a track on a routing layer
    Ref silk = track(kTopSilk, 0, 2 * kInch, kInch, 2 * kInch, 500); // stays
    rat(Point{5 * kInch, 5 * kInch}, Point{6 * kInch, 6 * kInch}, "OLD");
    route(router::kClearPreroutes);
    std::vector<std::string> u = untimed();
    ASSERT_EQ(u.size(), 10u);
    EXPECT_EQ(u[5], pass_text("Deleting pre-routes:", "        4" + std::string(30, ' ')));
    EXPECT_EQ(u[6], pass_text("Creating ratnest lines:", "        2" + std::string(30, ' ')));
    EXPECT_EQ(u[7], pass_text("Sorting ratnest lines:", "        2" + std::string(30, ' ')));
    EXPECT_EQ(u[9], pass_text("Totals:", "        0        0     0.000      0.00%"));
    // Pads at 0, 1 and 3 inches: the lines 0-1 and 1-3; the old line is gone.
    std::vector<Ref> r = lines_on(255);
    ASSERT_EQ(r.size(), 2u);
    bool first = runs(r[0], Point{0, 0}, Point{kInch, 0}) || runs(r[1], Point{0, 0}, Point{kInch, 0});
    bool second = runs(r[0], Point{kInch, 0}, Point{3 * kInch, 0}) || runs(r[1], Point{kInch, 0}, Point{3 * kInch, 0});
    EXPECT_TRUE(first && second);
    EXPECT_TRUE(lines_on(kTop).empty());
    EXPECT_EQ(lines_on(kTopSilk), std::vector<Ref>{silk});
    int vias = 0;
    model::walk_tree(ring(), [&](Ref x, int) { vias += node(x).item_kind() == model::kPad && node(x).size == kVia; });
    EXPECT_EQ(vias, 0);
}

TEST_F(RouterBoard, LayerColoursComeBackAndComponentsAreShownAgain) {
    d->setup.layers[kTopSilk].colour = 0x123456;
    Ref c = edit_test::make_component(ring(), "DIP", "U1", Point{0, 0});
    pad(0, 0, 0, kOvalThru, "A", 3932, 3932, model::member_ring(c));
    model::close_component(c);
    node(c).kind |= model::kHiddenFlag;
    std::vector<uint32_t> seen;
    router::RouteHooks hooks;
    hooks.progress = [&](uint32_t, uint32_t) { seen.push_back(d->setup.layers[kTopSilk].colour); };
    thru(kInch, 0, "A");
    rat(Point{0, 0}, Point{kInch, 0}, "A");
    route(router::kStraight, hooks);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0], 0x123456u | model::kNoColour); // off while routing
    EXPECT_EQ(d->setup.layers[kTopSilk].colour, 0x123456u);
    EXPECT_FALSE(node(c).hidden());
}

TEST_F(RouterBoard, OneUndoGivesBackTheBoard) {
    for (bool clear : {true, false}) {
        SetUp();
        generate(ring(), 7, 12);
        nets::prepare_ratnest_layer(d->setup); // the layer's name and type are settings, not Items
        if (!clear) {
            nets::build_ratnest(*s);
            edit::purge_undo(*d);
        }
        std::string before = edit_test::data_file_text();
        RouteSummary r = route((clear ? uint32_t{router::kClearPreroutes} : 0u) | router::kStraight | router::kDataBus |
                               router::kInline | router::kLRoutes);
        EXPECT_GT(r.totals.routed, 0u);
        EXPECT_NE(edit_test::data_file_text(), before);
        EXPECT_EQ(edit::undo_groups(*d), 1);
        EXPECT_EQ(edit::undo(*d, nullptr), 1);
        EXPECT_EQ(edit_test::data_file_text(), before) << (clear ? "with" : "without") << " pre-route deletion";
    }
}

TEST_F(RouterBoard, CancelStopsAfterTheCurrentLineAndStillWritesTotals) {
    thru(0, 0, "A");
    thru(kInch, 0, "A");
    thru(0, kInch, "B");
    thru(kInch, kInch, "B");
    rat(Point{0, 0}, Point{kInch, 0}, "A");
    rat(Point{0, kInch}, Point{kInch, kInch}, "B");
    d->setup.layers[kTopSilk].colour = 0x123456;
    platform::RunContext ctx(ui);
    router::RouteHooks hooks;
    hooks.progress = [&](uint32_t, uint32_t) { ctx.cancel(); };
    RouteSummary s = route(router::kStraight | router::kInline, hooks, &ctx);
    EXPECT_TRUE(s.cancelled);
    EXPECT_EQ(d->setup.layers[kTopSilk].colour, 0x123456u); // the copper-only view is gone after a cancel too
    std::vector<std::string> u = untimed();
    ASSERT_EQ(u.size(), 9u);
    EXPECT_EQ(u[6], pass_text("Zero-via straight routes:", "        1        1     1.000     50.00%"));
    EXPECT_EQ(u[8], pass_text("Totals:", "        1        1     1.000     50.00%"));
    EXPECT_EQ(lines_on(255).size(), 1u);
}

TEST_F(RouterBoard, RunOnAThreadChangesTheBoardOnlyUnderTheLock) {
    generate(ring(), 3, 18);
    std::mutex lock;
    int changes = 0, drawn = 0;
    router::RouteHooks hooks;
    hooks.change = [&](const std::function<void()>& f) {
        std::lock_guard<std::mutex> g(lock);
        ++changes;
        f();
    };
    hooks.draw = [&](Ref) { ++drawn; }; // on the routing thread, between changes
    std::atomic<bool> done{false};
    RouteSummary sum;
    std::thread t([&] {
        sum = route(router::kClearPreroutes | router::kStraight | router::kDataBus | router::kInline | router::kLRoutes,
                    hooks);
        done = true;
    });
    // The user interface side: reads the Document under the lock while the run goes on.
    auto count_lines = [&] {
        size_t n = 0;
        for (Ref r : model::items_in(ring())) {
            n += node(r).item_kind() == model::kLine;
        }
        return n;
    };
    size_t seen = 0;
    while (true) {
        bool finished = done;
        std::lock_guard<std::mutex> g(lock);
        seen = count_lines();
        if (finished) {
            break;
        }
    }
    t.join();
    EXPECT_EQ(seen, count_lines()); // the last look came after the run: the finished board
    EXPECT_GT(sum.totals.routed, 0u);
    EXPECT_GT(changes, static_cast<int>(sum.totals.routed));
    EXPECT_GE(drawn, static_cast<int>(sum.totals.routed));
}

// --- The sort ---------------------------------------------------------------------------------------

TEST(RouterSort, SelectionKeepsTheToleranceAndLetsTheLaterLineWin) {
    using router::SortKey;
    // Equal within 4 units: the later one first; 5 apart: the smaller first.
    std::vector<SortKey> keys = {{0, 100, 0, 0}, {4, 100, 0, 0}, {0, 95, 0, 0}};
    EXPECT_EQ(router::selection_order(keys), (std::vector<uint32_t>{2, 1, 0}));
    EXPECT_EQ(router::fast_order(keys), router::selection_order(keys));
    // Key from a line: minor, major, least coordinate along the major axis, then along the minor one.
    model::Node n{};
    n.line = model::LineFields{10, 50, 2010, 40, 0};
    EXPECT_EQ(router::sort_key(n), (SortKey{10, 2000, 10, 40}));
}

TEST(RouterSort, FastOrderAgreesWithTheSelection) {
    std::mt19937 rng(5);
    for (int round = 0; round < 40; ++round) {
        // Values 5 apart or more (a plain sort), or near values that only the selection can order.
        bool spread = round % 2 == 0;
        std::vector<router::SortKey> keys;
        int n = 1 + static_cast<int>(rng() % 60);
        for (int i = 0; i < n; ++i) {
            router::SortKey k;
            for (auto& v : k) {
                v = spread ? 5 * static_cast<int64_t>(rng() % 6)
                           : static_cast<int64_t>(rng() % (round % 4 == 1 ? 12 : 40));
            }
            keys.push_back(k);
        }
        EXPECT_EQ(router::fast_order(keys), router::selection_order(keys)) << "round " << round;
    }
}

TEST_F(RouterBoard, SortedLinesAreMetShortestFirst) {
    thru(0, 0, "A");
    thru(2 * kInch, 0, "A");
    thru(0, kInch, "B");
    thru(kInch, kInch, "B");
    Ref longer = rat(Point{0, 0}, Point{2 * kInch, 0}, "A");
    Ref shorter = rat(Point{0, kInch}, Point{kInch, kInch}, "B");
    route(0);
    EXPECT_EQ(router::ratnest_lines(*d), (std::vector<Ref>{shorter, longer}));
}

} // namespace
