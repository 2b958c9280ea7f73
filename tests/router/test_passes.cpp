// The pattern passes with hand-worked routes, the mended faults, the package layouts, and the index
// queries against the plain walk.
#include <gtest/gtest.h>

#include <random>

#include "router/passes.h"
#include "router/queries.h"
#include "router_board.h"

namespace {

using namespace router_test;
using model::Point;
using router::Axis;

constexpr Coord kPitch = 6554; // 0.1 inch

// --- Straight ---------------------------------------------------------------------------------------

TEST_F(RouterBoard, VerticalHalfInchGoesOnTheLowestYLayerAndNotOnXLayers) {
    struct Case {
        int top, bottom, layer; // directions, and the layer expected (-1: left alone)
    };
    for (Case c : {Case{router::kXAxis, router::kYAxis, kBottom}, Case{router::kEitherAxis, router::kYAxis, kTop},
                   Case{router::kXAxis, router::kXAxis, -1}}) {
        SetUp();
        router::set_layer_direction(d->setup, kTop, c.top);
        router::set_layer_direction(d->setup, kBottom, c.bottom);
        thru(0, 0, "A");
        thru(0, kInch / 2, "A");
        Ref l = rat(Point{0, 0}, Point{0, kInch / 2}, "A");
        RouteSummary s = route(router::kStraight);
        EXPECT_EQ(s.totals.processed, 1u);
        EXPECT_EQ(node(l).layer, c.layer < 0 ? 255 : c.layer);
        EXPECT_EQ(s.totals.routed, c.layer < 0 ? 0u : 1u);
    }
}

TEST_F(RouterBoard, TwoUnitSlantCountsAsVerticalAndKeepsItsEnds) {
    thru(0, 0, "A");
    thru(2, kInch, "A");
    Ref l = rat(Point{0, 0}, Point{2, kInch}, "A");
    route(router::kStraight);
    EXPECT_EQ(node(l).layer, kBottom);
    EXPECT_EQ(node(l).size, kTrack);
    EXPECT_TRUE(runs(l, Point{0, 0}, Point{2, kInch}));
}

TEST_F(RouterBoard, OwnSignalNeverBlocksAnotherDoes) {
    for (const char* crossing : {"A", "B"}) {
        SetUp();
        thru(0, 0, "A");
        thru(0, kInch, "A");
        track(kBottom, -kInch / 4, kInch / 2, kInch / 4, kInch / 2, 800, crossing);
        Ref l = rat(Point{0, 0}, Point{0, kInch}, "A");
        RouteSummary s = route(router::kStraight);
        EXPECT_EQ(s.totals.routed, crossing[0] == 'A' ? 1u : 0u) << crossing;
        EXPECT_EQ(node(l).layer, crossing[0] == 'A' ? kBottom : 255);
    }
}

TEST_F(RouterBoard, LineWithoutSignalIgnoresWhatLiesOnItsEnds) {
    thru(0, 0);
    thru(kInch, 0);
    track(kTop, 0, 0, 0, -kInch, 800); // a Line end on E1
    Ref l = rat(Point{0, 0}, Point{kInch, 0});
    EXPECT_EQ(route(router::kStraight).totals.routed, 1u);
    EXPECT_EQ(node(l).layer, kTop);
    model::walk_tree(ring(), [](Ref x, int) { EXPECT_FALSE(node(x).marked()); });
}

// --- In-line ----------------------------------------------------------------------------------------

struct Column : RouterBoard {
    // Three pads in a column, the outer two connected; the middle one of another Signal.
    Ref middle = model::kNone, line = model::kNone;
    void build(uint16_t w, uint16_t h, model::Angle angle) {
        thru(0, 0, "A");
        middle = thru(0, kPitch, "B", w, h);
        node(middle).pad.angle = angle;
        thru(0, 2 * kPitch, "A");
        line = rat(Point{0, 0}, Point{0, 2 * kPitch}, "A");
    }
};

TEST_F(Column, InlineJogStepsAsideByTheExactOffset) {
    build(3932, 3932, 0);
    RouteSummary s = route(router::kStraight | router::kInline);
    EXPECT_EQ(s.totals.processed, 2u);
    EXPECT_EQ(s.totals.routed, 1u);
    // d = (786 + 3932 + 3) / 2 + 655 = 2360 + 655
    constexpr Coord dd = 3015;
    std::vector<Ref> l = lines_on(kBottom);
    ASSERT_EQ(l.size(), 3u);
    EXPECT_TRUE(runs(l[0], Point{0, 0}, Point{dd, dd}));
    EXPECT_TRUE(runs(l[1], Point{dd, dd}, Point{dd, 2 * kPitch - dd}));
    EXPECT_TRUE(runs(l[2], Point{dd, 2 * kPitch - dd}, Point{0, 2 * kPitch}));
    EXPECT_EQ(model::item_signal(l[1]), signal("A"));
    EXPECT_TRUE(lines_on(255).empty());
}

TEST_F(Column, TurnedPadSwapsItsExtent) {
    build(3932, 2000, 16384);
    route(router::kInline);
    // Turned by 90 degrees the extent across the run is the height: d = (786 + 2000 + 3) / 2 + 655.
    constexpr Coord dd = 2049;
    std::vector<Ref> l = lines_on(kBottom);
    ASSERT_EQ(l.size(), 3u);
    EXPECT_TRUE(runs(l[1], Point{dd, dd}, Point{dd, 2 * kPitch - dd}));
}

TEST_F(Column, RotatedPadGetsNoJog) {
    build(3932, 2000, 8192);
    RouteSummary s = route(router::kInline);
    EXPECT_EQ(s.totals.processed, 1u);
    EXPECT_EQ(s.totals.routed, 0u);
    EXPECT_EQ(node(line).layer, 255);
}

TEST_F(Column, RightJogBeforeLeft) {
    build(3932, 3932, 0);
    track(kBottom, 4000, -kInch, 4000, kInch, 800, "C"); // closes the right-hand side
    route(router::kInline);
    std::vector<Ref> l = lines_on(kBottom);
    ASSERT_EQ(l.size(), 4u);
    EXPECT_TRUE(runs(l[1], Point{0, 0}, Point{-3015, 3015}));
}

// --- The mended faults --------------------------------------------------------------------------------

TEST_F(RouterBoard, ArcsSolidsAndCopperTextsBlockTheFreeRun) {
    for (int kind = 0; kind < 4; ++kind) {
        SetUp();
        thru(0, 0, "A");
        thru(kInch, 0, "A");
        Ref l = rat(Point{0, 0}, Point{kInch, 0}, "A");
        if (kind == 0) {
            Ref solid = model::MakeItem(ring(), model::kLine, kTop, 0, 0, 0, 0, 0);
            model::add_vertex(solid, kInch / 2 - 3000, -3000);
            model::add_vertex(solid, kInch / 2 + 3000, -3000);
            model::add_vertex(solid, kInch / 2 + 3000, 3000);
            model::add_vertex(solid, kInch / 2 - 3000, 3000);
        } else if (kind == 1) {
            Ref arc = model::MakeItem(ring(), model::kArc, kTop, 500, kInch / 2, kInch / 8, kInch / 8, 0);
            node(arc).arc.sweep = 0;
        } else {
            // A copper Text blocks; the same Text on silk (kind 3) does not.
            edit_test::make_text(ring(), kind == 2 ? kTop : kTopSilk, kInch / 2, 0, 3000, "X");
        }
        (void)l;
        RouteSummary s = route(router::kStraight);
        EXPECT_EQ(s.totals.routed, kind == 3 ? 1u : 0u) << "kind " << kind;
        // (the sort re-made the line behind the new Item, so it is looked up again)
        EXPECT_EQ(lines_on(kTop).size(), kind == 3 ? 1u : 0u) << "kind " << kind;
    }
}

TEST_F(RouterBoard, LPassTestsTheDiagonalItLays) {
    for (bool blocker : {false, true}) {
        SetUp();
        thru(0, 0, "A");
        thru(kInch / 2, kInch / 2, "A");
        if (blocker) {
            thru(kInch / 4, kInch / 4, "B"); // on the diagonal, far from the horizontal run
        }
        Ref l = rat(Point{0, 0}, Point{kInch / 2, kInch / 2}, "A");
        RouteSummary s = route(router::kLRoutes);
        EXPECT_EQ(s.totals.processed, 1u);
        EXPECT_EQ(s.totals.routed, blocker ? 0u : 1u);
        EXPECT_EQ(node(l).layer, blocker ? 255 : kTop);
    }
}

TEST_F(RouterBoard, SegmentClearAddsTheClearances) {
    // Track to track: 800/2 + 786/2 + 655 = 1448 (in doubled units 2896, compared exactly).
    for (bool plain : {true, false}) {
        SetUp();
        track(kTop, 0, 1448, kInch, 1448, 800, "B");
        track(kTop, 0, -1447, kInch, -1447, 800, "C");
        pad(kTop, 2 * kInch, 3014, kOvalSmt, "D", 3932, 3932); // pad: 3932/2 + 786/2 + 655 = 3014
        pad(kTop, 3 * kInch, -3013, kOvalSmt, "E", 3932, 3932);
        pad(kBottom, 3 * kInch, 0, kOvalSmt, "F", 3932, 3932); // a surface pad on the other side
        router::Queries q(*d, set, plain);
        EXPECT_TRUE(q.segment_clear(kTop, kTrack, Point{0, 0}, Point{kInch / 2, 0}, model::kNone) == false);
        EXPECT_TRUE(q.segment_clear(kTop, kTrack, Point{0, 0}, Point{kInch / 2, 0}, signal("C")) == true);
        EXPECT_TRUE(q.segment_clear(kTop, kTrack, Point{2 * kInch - 100, 0}, Point{2 * kInch + 100, 0}, model::kNone));
        EXPECT_FALSE(q.segment_clear(kTop, kTrack, Point{3 * kInch - 100, 0}, Point{3 * kInch + 100, 0}, model::kNone));
        EXPECT_TRUE(
            q.segment_clear(kBottom, kTrack, Point{3 * kInch - 100, 5000}, Point{3 * kInch + 100, 5000}, model::kNone));
    }
}

TEST_F(RouterBoard, ALayerQualifiesOnlyWhenBothEndsReachIt) {
    struct Case {
        uint16_t second; // the type of the pad at the far end
        int top, bottom, layer;
    };
    for (Case c : {Case{kRectSmt, router::kNoDirection, router::kXAxis, -1},
                   Case{kRectSmt, router::kXAxis, router::kXAxis, kTop},
                   Case{kRectThru, router::kNoDirection, router::kXAxis, -1}}) {
        SetUp();
        router::set_layer_direction(d->setup, kTop, c.top);
        router::set_layer_direction(d->setup, kBottom, c.bottom);
        pad(kTop, 0, 0, kRectSmt, "A", 3000, 3000);
        pad(c.second == kRectSmt ? kTop : 0, kInch, 0, c.second, "A", 3000, 3000);
        Ref l = rat(Point{0, 0}, Point{kInch, 0}, "A");
        RouteSummary s = route(router::kStraight);
        EXPECT_EQ(s.totals.processed, 1u);
        EXPECT_EQ(node(l).layer, c.layer < 0 ? 255 : c.layer);
    }
}

// --- Package layouts and the data bus -------------------------------------------------------------

struct Packages : RouterBoard {
    // Two rows of `per_row` pads `pitch` apart, `gap` between the rows (0: one row); columns when turned.
    Ref package(Point at, int per_row, Coord pitch, Coord gap, bool smt, bool turned, const char* sig = nullptr) {
        Ref c = edit_test::make_component(ring(), smt ? "SO" : "DIP", "U", at);
        Ref members = model::member_ring(c);
        Ref first = model::kNone;
        for (int row = 0; row < (gap == 0 ? 1 : 2); ++row) {
            for (int i = 0; i < per_row; ++i) {
                Coord a = i * pitch, b = row * gap;
                Point p = turned ? Point{at.x + b, at.y + a} : Point{at.x + a, at.y + b};
                Ref x = smt ? pad(kTop, p.x, p.y, kRectSmt, sig, 2000, 1000, members)
                            : pad(0, p.x, p.y, kOvalThru, sig, 3932, 3932, members);
                first = first == model::kNone ? x : first;
            }
        }
        model::close_component(c);
        return first;
    }
};

TEST_F(Packages, LayoutCodesOfRowsAndColumns) {
    EXPECT_EQ(router::package_layout(package(Point{0, 0}, 4, kPitch, 19661, false, false)), 6554u << 16 | 6);
    EXPECT_EQ(router::package_layout(package(Point{0, kInch}, 4, 3277, 13107, true, false)), 3277u << 16 | 6);
    EXPECT_EQ(router::package_layout(package(Point{kInch, 0}, 4, kPitch, 19661, false, true)), 6554u << 16 | 5);
    EXPECT_EQ(router::package_layout(package(Point{2 * kInch, 0}, 5, kPitch, 0, false, false)), 6554u << 16 | 2);
    EXPECT_EQ(router::package_layout(package(Point{3 * kInch, 0}, 5, kPitch, 0, false, true)), 6554u << 16 | 1);
    // A pitch of 0.2 inch is out of range.
    EXPECT_EQ(router::package_layout(package(Point{4 * kInch, 0}, 4, 2 * kPitch, 19661, false, false)), 0u);
}

TEST_F(Packages, DataBusPassesBetweenPinsAtHalfPitch) {
    // Two packages with pins in columns; a pin of the left column of one joins the same row of the other.
    // The free runs stop at the second column of the left package: the route turns halfway to it, passes
    // between its pins half a pitch off the row, and comes back halfway to the right package.
    Ref left = package(Point{0, 0}, 4, kPitch, 19661, false, true);
    package(Point{kInch, 0}, 4, kPitch, 19661, false, true);
    Ref e1 = model::kNone, e2 = model::kNone;
    model::walk_tree(ring(), [&](Ref x, int) {
        const model::Node& n = node(x);
        if (n.item_kind() == model::kPad && n.pad.y0 == kPitch && (n.pad.x0 == 0 || n.pad.x0 == kInch)) {
            (n.pad.x0 == 0 ? e1 : e2) = x;
        }
    });
    ASSERT_NE(e1, model::kNone);
    ASSERT_NE(e2, model::kNone);
    model::AttachSignal(e1, "A");
    model::AttachSignal(e2, "A");
    EXPECT_EQ(router::package_layout(left), 6554u << 16 | 5);
    rat(Point{0, kPitch}, Point{kInch, kPitch}, "A");
    RouteSummary s = route(router::kStraight | router::kDataBus);
    EXPECT_EQ(s.totals.processed, 2u);
    EXPECT_EQ(s.totals.routed, 1u);
    // h = 3277; P1.x = (19661 - 3277) / 2 = 8192; P4.x = 65536 - (65536 - 19661 - 3277) / 2 = 44237.
    std::vector<Ref> l = lines_on(kTop);
    ASSERT_EQ(l.size(), 5u);
    EXPECT_TRUE(runs(l[0], Point{0, kPitch}, Point{8192, kPitch}));
    EXPECT_TRUE(runs(l[1], Point{8192, kPitch}, Point{11469, kPitch + 3277}));
    EXPECT_TRUE(runs(l[2], Point{11469, kPitch + 3277}, Point{40960, kPitch + 3277}));
    EXPECT_TRUE(runs(l[3], Point{40960, kPitch + 3277}, Point{44237, kPitch}));
    EXPECT_TRUE(runs(l[4], Point{44237, kPitch}, Point{kInch, kPitch}));
}

TEST_F(Packages, DataBusSingleStepBetweenRowsOnePitchApart) {
    // Case B: single columns an inch apart, the connection one pitch lower on the right: a run along each
    // row to m -/+ h and one 45-degree step between, m being the middle.
    Ref a = package(Point{0, 0}, 4, kPitch, 0, false, true);
    package(Point{kInch, 0}, 4, kPitch, 0, false, true);
    EXPECT_EQ(router::package_layout(a), 6554u << 16 | 1);
    model::walk_tree(ring(), [&](Ref x, int) {
        const model::Node& n = node(x);
        if (n.item_kind() == model::kPad &&
            ((n.pad.x0 == 0 && n.pad.y0 == 0) || (n.pad.x0 == kInch && n.pad.y0 == kPitch))) {
            model::AttachSignal(x, "A");
        }
    });
    rat(Point{0, 0}, Point{kInch, kPitch}, "A");
    EXPECT_EQ(route(router::kDataBus).totals.routed, 1u);
    std::vector<Ref> l = lines_on(kTop);
    ASSERT_EQ(l.size(), 3u);
    EXPECT_TRUE(runs(l[0], Point{0, 0}, Point{32768 - 3277, 0}));
    EXPECT_TRUE(runs(l[1], Point{32768 - 3277, 0}, Point{32768 + 3277, kPitch}));
    EXPECT_TRUE(runs(l[2], Point{32768 + 3277, kPitch}, Point{kInch, kPitch}));
}

TEST_F(Packages, DataBusVerticalCounterpartUsesRowLayouts) {
    // The same with the packages turned: pins in rows, the connection vertical, on the Y layer.
    Ref low = package(Point{0, 0}, 4, kPitch, 19661, false, false);
    package(Point{0, kInch}, 4, kPitch, 19661, false, false);
    model::walk_tree(ring(), [&](Ref x, int) {
        const model::Node& n = node(x);
        if (n.item_kind() == model::kPad && n.pad.x0 == kPitch && (n.pad.y0 == 0 || n.pad.y0 == kInch)) {
            model::AttachSignal(x, "A");
        }
    });
    EXPECT_EQ(router::package_layout(low), 6554u << 16 | 6);
    rat(Point{kPitch, 0}, Point{kPitch, kInch}, "A");
    RouteSummary s = route(router::kDataBus);
    EXPECT_EQ(s.totals.routed, 1u);
    std::vector<Ref> l = lines_on(kBottom);
    ASSERT_EQ(l.size(), 5u);
    EXPECT_TRUE(runs(l[0], Point{kPitch, 0}, Point{kPitch, 8192}));
    EXPECT_TRUE(runs(l[1], Point{kPitch, 8192}, Point{kPitch + 3277, 11469}));
    EXPECT_TRUE(runs(l[2], Point{kPitch + 3277, 11469}, Point{kPitch + 3277, 40960}));
    EXPECT_TRUE(runs(l[4], Point{kPitch, 44237}, Point{kPitch, kInch}));
}

// --- Index against the plain walk ---------------------------------------------------------------------

TEST_F(RouterBoard, IndexQueriesAgreeWithThePlainWalk) {
    for (unsigned seed : {1u, 2u, 3u}) {
        SetUp();
        generate(ring(), seed, 24);
        std::vector<Ref> sigs = {model::kNone};
        model::walk_tree(ring(), [&](Ref x, int) {
            if (Ref sg = model::item_signal(x); sg != model::kNone && sigs.size() < 12) {
                sigs.push_back(sg);
            }
        });
        router::Queries plain(*d, set, true), fast(*d, set, false);
        std::mt19937 rng(seed);
        auto pick = [&](int below) { return static_cast<int>(rng() % static_cast<unsigned>(below)); };
        for (int i = 0; i < 300; ++i) {
            Point p{pick(6 * kInch) - kInch / 2, pick(5 * kInch) - kInch / 2};
            int layer = pick(2) ? kTop : kBottom;
            Axis dir = static_cast<Axis>(pick(4));
            Ref own = sigs[static_cast<size_t>(pick(static_cast<int>(sigs.size())))];
            router::FreeRun a = plain.free_run(layer, kTrack, p, dir, own),
                            b = fast.free_run(layer, kTrack, p, dir, own);
            ASSERT_EQ(a.distance, b.distance) << "seed " << seed << " query " << i;
            ASSERT_EQ(a.blocker, b.blocker) << "seed " << seed << " query " << i;
            Point q{p.x + pick(kInch) - kInch / 2, p.y + pick(kInch) - kInch / 2};
            ASSERT_EQ(plain.segment_clear(layer, kTrack, p, q, own), fast.segment_clear(layer, kTrack, p, q, own))
                << "seed " << seed << " query " << i;
        }
    }
}

TEST_F(RouterBoard, PlainAndIndexedRunsRouteTheSame) {
    std::string routed[2];
    for (int plain = 0; plain < 2; ++plain) {
        SetUp();
        generate(ring(), 11, 18);
        set.plain = plain == 1;
        route(router::kClearPreroutes | router::kStraight | router::kDataBus | router::kInline | router::kLRoutes);
        routed[plain] = edit_test::data_file_text();
        EXPECT_FALSE(untimed().empty());
    }
    EXPECT_EQ(routed[0], routed[1]);
}

} // namespace
