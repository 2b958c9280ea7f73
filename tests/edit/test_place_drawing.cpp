// The drawing Place functions without the shell: the pad rules, where pads may go, the polyline with
// its take-back and automatic vias, the via inside a polyline, the vertex split, the copies on the
// cursor, the three-point arc, the polygon, and the text line editor.
#include <string>
#include <vector>

#include "display/view.h"
#include "edit/grab.h"
#include "edit/locate.h"
#include "edit/place_draw.h"
#include "edit/text_entry.h"
#include "edit/undo.h"
#include "edit_fixture.h"

namespace edit_test {
namespace {

using edit::PadFault;
using edit::PadMaking;

constexpr uint16_t kPL = 'P' << 8 | 'L';
constexpr uint16_t kPE = 'P' << 8 | 'E';
constexpr uint16_t kPP = 'P' << 8 | 'P';

PadMaking made(int type, int layer, Coord w, Coord h, Coord hole) {
    PadMaking p;
    p.type = type;
    p.layer = layer;
    p.width = w;
    p.height = h;
    p.hole = hole;
    return p;
}

// --- The pad rules --------------------------------------------------------------------------------

TEST(PadRules, EachRuleRefusesWithItsBox) {
    struct Case {
        PadMaking pad;
        PadFault fault;
        const char* title;
        const char* starts;
    };
    const Case cases[] = {
        {made(6, 0, 3000, 3000, 0), PadFault::SurfaceOnPadMaster, "Pad layer/type conflict",
         "Surface mount pads may not be placed\nonto the pad master layer.\n\nPlease specify target layer or select\n"
         "through-hole pad type."},
        {made(5, 3, 3000, 3000, 1000), PadFault::SurfaceWithHole, "Pad type/drill conflict",
         "Surface mount pads may not contain\na drill hole.\n\nPlease clear the hole size or select\nthrough-hole pad "
         "type."},
        {made(2, 0, 3000, 3000, 0), PadFault::ThroughWithoutHole, "Pad type/drill conflict",
         "Through-hole pads must contain\na drill hole.\n\nPlease specify a hole size or select\nsurface mount pad "
         "type."},
        {made(1, 0, 3000, 0, 1000), PadFault::NullSize, "Pad XY size error",
         "Pads may not have a null or zero size\nin either the X and Y dimensions.\n\nPlease specify the desired pad "
         "size."},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(edit::check_pad(c.pad), c.fault) << c.title;
        edit::FaultBox box = edit::pad_fault_box(c.fault);
        EXPECT_STREQ(box.title, c.title);
        EXPECT_STREQ(box.text, c.starts);
    }
}

TEST(PadRules, TheFirstFailingRuleIsReportedAndOnlyTheSchematicPinGoesWithoutAHole) {
    // Several rules broken: the layer rule first, then the hole of a surface pad, then a missing hole,
    // and the size last.
    EXPECT_EQ(edit::check_pad(made(5, 0, 0, 0, 1000)), PadFault::SurfaceOnPadMaster);
    EXPECT_EQ(edit::check_pad(made(7, 2, 0, 0, 1000)), PadFault::SurfaceWithHole);
    EXPECT_EQ(edit::check_pad(made(3, 0, 0, 3000, 0)), PadFault::ThroughWithoutHole);
    EXPECT_EQ(edit::check_pad(made(0, 0, 3000, 3000, 0)), PadFault::None);
    EXPECT_EQ(edit::check_pad(made(0, 1, 3000, 3000, 1000)), PadFault::None);
    for (int t = 1; t <= 3; ++t) {
        EXPECT_EQ(edit::check_pad(made(t, 0, 3000, 3000, 0)), PadFault::ThroughWithoutHole) << t;
        EXPECT_EQ(edit::check_pad(made(t, 0, 3000, 3000, 1000)), PadFault::None) << t;
    }
    for (int t = 4; t <= 7; ++t) {
        EXPECT_EQ(edit::check_pad(made(t, 1, 3000, 3000, 0)), PadFault::None) << t;
    }
    EXPECT_EQ(edit::check_pad(made(2, 0, 0, 3000, 1000)), PadFault::NullSize);
}

// --- Where pads go -------------------------------------------------------------------------------

struct PadPlaces : EditTest {
    Point thru{0, 0}, smd_top{50000, 0}, smd_bottom{100000, 0}, off_screen{150000, 0}, free_spot{200000, 0};
    void SetUp() override {
        EditTest::SetUp();
        pad(0, thru.x, thru.y, 4000, 4000, kOvalThru);
        pad(1, smd_top.x, smd_top.y, 4000, 4000, kRectSmt);
        pad(2, smd_bottom.x, smd_bottom.y, 4000, 4000, kRectSmt);
        pad(5, off_screen.x, off_screen.y, 4000, 4000, kRectSmt); // layer 5 is switched off
    }
    bool taken(int layer, bool hole, Point p) {
        return edit::pad_point_taken(*d, layer, hole, p, 2);
    }
};

// The shell's pad placement goes through the top-layer cases; here the other layer, the shape's edge and
// switched-off layers.
TEST_F(PadPlaces, APadWithoutHoleYieldsToThroughPadsAndSurfacePadsOfItsLayer) {
    EXPECT_TRUE(taken(2, false, thru));
    EXPECT_TRUE(taken(2, false, smd_bottom));
    EXPECT_FALSE(taken(2, false, smd_top));
    EXPECT_FALSE(taken(1, false, free_spot));
    // Inside the pad's shape counts, outside does not.
    EXPECT_TRUE(taken(1, false, Point{smd_top.x + 1900, smd_top.y}));
    EXPECT_FALSE(taken(1, false, Point{smd_top.x + 2100, smd_top.y}));
}

TEST_F(PadPlaces, APadWithAHoleYieldsToAnyPadOnADisplayedLayer) {
    EXPECT_TRUE(taken(0, true, thru));
    EXPECT_TRUE(taken(0, true, smd_top));
    EXPECT_TRUE(taken(0, true, smd_bottom));
    EXPECT_FALSE(taken(0, true, off_screen));
    EXPECT_FALSE(taken(0, true, free_spot));
}

TEST_F(PadPlaces, APadInsideAComponentCountsToo) {
    Ref c = component("U1", 300000, 0);
    pad(2, 300000, 0, 4000, 4000, kRectSmt, members(c));
    close(c);
    EXPECT_TRUE(taken(0, true, Point{300000, 0}));
    EXPECT_TRUE(taken(2, false, Point{300000, 0}));
    EXPECT_FALSE(taken(1, false, Point{300000, 0}));
}

TEST_F(PadPlaces, ANewTrackTakesTheSignalOfWhatItStartsOn) {
    Ref p = pad(0, 0, 200000, 4000, 4000, kOvalThru);
    model::AttachSignal(p, "PADNET");
    Ref same_layer = track(1, 0, 300000, 50000, 300000);
    model::AttachSignal(same_layer, "TOP");
    Ref other_layer = track(2, 1, 300001, -50000, 300000);
    model::AttachSignal(other_layer, "BOTTOM");
    EXPECT_EQ(edit::signal_at(*d, 1, Point{1000, 200000}, 2), "PADNET");
    EXPECT_EQ(edit::signal_at(*d, 1, Point{0, 300000}, 2), "TOP");
    EXPECT_EQ(edit::signal_at(*d, 2, Point{0, 300000}, 2), "BOTTOM");
    EXPECT_EQ(edit::signal_at(*d, 3, Point{0, 300000}, 2), "TOP");  // none on layer 3: any layer
    EXPECT_EQ(edit::signal_at(*d, 1, Point{25000, 300000}, 2), ""); // the middle of a track is no end
}

// --- Polyline ------------------------------------------------------------------------------------

std::vector<Ref> top_level(Ref ring, uint8_t kind, bool hidden_too) {
    std::vector<Ref> out;
    for (Ref r : model::items_in(ring)) {
        if (node(r).item_kind() == kind && (hidden_too || !node(r).hidden())) {
            out.push_back(r);
        }
    }
    return out;
}

struct Polylines : EditTest {
    edit::Polyline pl;
    edit::GrabList& g = ed.grab;
    edit::TrackStyle top{1, 655};
    edit::ViaStyle via{0, 2621, 1300};

    void start(Point p, const std::string& signal = {}) {
        ASSERT_EQ(edit::start_polyline(pl, g, disp, *d, kPL, top, p, signal), 1);
    }
    edit::PolylineStep click(Point p, int mode = 0, Point* back = nullptr) {
        return edit::polyline_click(pl, g, disp, p, mode, top, via, back);
    }
    // Top-level Lines in ring order, the Hidden rubber left out.
    std::vector<Ref> lines() {
        return top_level(ring(), model::kLine, false);
    }
    std::vector<Ref> pads() {
        return top_level(ring(), model::kPad, true);
    }
};

TEST_F(Polylines, EachClickFixesASegmentAndClicksOnTheStartTakeThemBackOneByOne) {
    start(Point{0, 0}, "N1");
    EXPECT_EQ(click(Point{10000, 0}), edit::PolylineStep::Fixed);
    EXPECT_EQ(click(Point{10000, 20000}), edit::PolylineStep::Fixed);
    std::vector<Ref> l = lines();
    ASSERT_EQ(l.size(), 2u);
    EXPECT_TRUE(same(p1(l[1]), Point{10000, 0}));
    EXPECT_EQ(node(l[1]).size, 655);
    EXPECT_EQ(model::signal_name(model::item_signal(l[1])), "N1");
    EXPECT_TRUE(same(edit::polyline_anchor(pl, g), Point{10000, 20000}));
    Point back{};
    // Three units off the end still counts as the same point.
    EXPECT_EQ(click(Point{10003, 19997}, 0, &back), edit::PolylineStep::TookBack);
    EXPECT_TRUE(same(back, Point{10000, 0}));
    EXPECT_EQ(lines().size(), 1u);
    EXPECT_TRUE(same(edit::polyline_anchor(pl, g), Point{10000, 0}));
    EXPECT_EQ(click(Point{10000, 0}, 0, &back), edit::PolylineStep::TookBack);
    EXPECT_TRUE(same(back, Point{0, 0}));
    EXPECT_TRUE(lines().empty());
    EXPECT_EQ(click(Point{0, 0}), edit::PolylineStep::Nothing);
    // Two creations and two deletions, each its own group; undoing all leaves the Document empty.
    EXPECT_EQ(edit::undo_groups(*d), 4);
    edit::abandon(g, disp);
    EXPECT_EQ(edit::undo(*d, nullptr, true), 4);
    EXPECT_EQ(ring_size(ring()), 0);
}

TEST_F(Polylines, ATakeBackNeedsTheRubbersLayerAndWidth) {
    start(Point{0, 0});
    click(Point{10000, 0});
    // The next segment starts on another layer (the current layer changed): the click on its start
    // does not remove the top segment.
    edit::abandon(g, disp);
    edit::TrackStyle bottom{2, 655};
    ASSERT_EQ(edit::start_polyline(pl, g, disp, *d, kPL, bottom, Point{10000, 0}, {}), 1);
    pl.fixed.push_back(lines()[0]);
    EXPECT_EQ(edit::polyline_click(pl, g, disp, Point{10000, 0}, 0, bottom, via), edit::PolylineStep::Nothing);
    EXPECT_EQ(lines().size(), 1u);
}

TEST_F(Polylines, ModeThreeTurnsFromTheRubbersOwnDirection) {
    start(Point{0, 0});
    edit::follow_polyline(pl, g, disp, Point{1000, 0}, 3);
    EXPECT_TRUE(same(edit::polyline_end(pl, g), Point{1000, 0}));
    // 30 degrees below east: the octant just clockwise of the rubber's direction keeps it east.
    edit::follow_polyline(pl, g, disp, Point{1000, -577}, 3);
    EXPECT_TRUE(same(edit::polyline_end(pl, g), Point{1000, 0}));
    // Without a direction (a rubber of no length) the same cursor gives the diagonal.
    EXPECT_TRUE(same(display::constrain_angle(3, Point{1000, -577}, Point{0, 0}, std::nullopt), Point{577, -577}));
    // Mode 1 from a click: the segment fixed is the horizontal one.
    EXPECT_EQ(click(Point{20000, 3000}, 1), edit::PolylineStep::Fixed);
    EXPECT_TRUE(same(p2(lines()[0]), Point{20000, 0}));
}

TEST_F(Polylines, ATrackStartingOnAnotherLayersTrackEndGetsAViaInItsGroup) {
    Ref bottom = track(2, -30000, 0, 2, 1); // ends within 3 units of the start
    model::AttachSignal(bottom, "GND");
    start(Point{0, 0}, "GND");
    click(Point{0, 30000});
    // The via has the via style and sits on the start; it and the track are one group.
    std::vector<Ref> v = pads();
    ASSERT_EQ(v.size(), 1u);
    const Node& via_node = node(v[0]);
    EXPECT_EQ(via_node.layer, 0);
    EXPECT_EQ(via_node.pad.height, 2621);
    EXPECT_EQ(via_node.pad.hole, 1300);
    EXPECT_TRUE(same(Point{via_node.pad.x0, via_node.pad.y0}, Point{0, 0}));
    EXPECT_EQ(edit::undo_groups(*d), 1);
}

TEST_F(Polylines, NoAutomaticViaWhereAPadLiesOrTwoTracksEndOrTheLayerIsNoCopper) {
    // Each start point with what lies there besides: a pad; two tracks of the other layer; a track on a
    // silk layer; a track of the same layer as well.
    track(2, -30000, 0, 0, 0);
    pad(0, 0, 0, 3000, 3000, kVia);
    track(2, 100000, -30000, 100000, 0);
    track(2, 70000, 0, 100000, 0);
    track(3, 170000, 0, 200000, 0);
    track(2, 270000, 0, 300000, 0);
    track(1, 330000, 0, 300000, 0);
    for (Coord x : {0, 100000, 200000, 300000}) {
        start(Point{x, 0});
        click(Point{x, 30000});
        EXPECT_EQ(pads().size(), 1u) << x;
        edit::abandon(g, disp);
    }
}

TEST_F(Polylines, ChangingLayersMidwayPutsAViaAtTheCorner) {
    start(Point{0, 0});
    edit::TrackStyle bottom{2, 655};
    EXPECT_EQ(edit::polyline_click(pl, g, disp, Point{20000, 0}, 0, bottom, via), edit::PolylineStep::Fixed);
    EXPECT_EQ(edit::polyline_click(pl, g, disp, Point{20000, 20000}, 0, bottom, via), edit::PolylineStep::Fixed);
    ASSERT_EQ(pads().size(), 1u);
    EXPECT_TRUE(same(Point{node(pads()[0]).pad.x0, node(pads()[0]).pad.y0}, Point{20000, 0}));
    EXPECT_EQ(lines().size(), 2u);
    EXPECT_EQ(node(lines()[1]).layer, 2);
}

TEST_F(Polylines, AViaOffTheOrthoLineFixesTwoSegmentsAndTheViaInOneGroup) {
    start(Point{0, 0}, "S");
    // Mode 1: the rubber runs horizontally to (40000, 0) while the cursor is 6000 above it.
    edit::follow_polyline(pl, g, disp, Point{40000, 6000}, 1);
    EXPECT_TRUE(same(edit::polyline_end(pl, g), Point{40000, 0}));
    edit::ViaStyle v{0, 3000, 1200};
    ASSERT_EQ(edit::polyline_via(pl, g, disp, Point{40000, 6000}, 1, v, top), 1);
    std::vector<Ref> l = lines();
    ASSERT_EQ(l.size(), 2u);
    EXPECT_TRUE(same(p2(l[0]), Point{40000, 0}));
    EXPECT_TRUE(same(p2(l[1]), Point{40000, 6000}));
    ASSERT_EQ(pads().size(), 1u);
    EXPECT_EQ(node(pads()[0]).pad.width, 3000);
    EXPECT_EQ(model::signal_name(model::item_signal(pads()[0])), "S"); // the polyline's Signal
    EXPECT_EQ(edit::undo_groups(*d), 1);
}

TEST_F(Polylines, AViaOnTheRubbersStartAddsNoSegment) {
    start(Point{0, 0});
    click(Point{30000, 0});
    edit::ViaStyle dot{2, 2621, 0}; // no hole: a schematic dot
    ASSERT_EQ(edit::polyline_via(pl, g, disp, Point{30001, 2}, 0, dot, top), 1);
    EXPECT_EQ(lines().size(), 1u);
    ASSERT_EQ(pads().size(), 1u);
    EXPECT_EQ(node(pads()[0]).size, 7);
    EXPECT_EQ(node(pads()[0]).layer, 2);
    EXPECT_EQ(edit::undo_groups(*d), 2);
}

TEST_F(Polylines, TheIndexFollowsWhatThePolylineMakesAndRemoves) {
    track(2, -30000, 0, 0, 0);
    g.spatial = &ed.index;
    ed.index.sync(*d);
    start(Point{0, 0});
    click(Point{30000, 0});
    click(Point{30000, 30000});
    click(Point{30000, 30000}); // takes the second segment back
    edit::abandon(g, disp);
    ASSERT_TRUE(ed.index.covers(*d)); // no rebuild was needed
    for (Point p : {Point{0, 0}, Point{15000, 0}, Point{30000, 15000}}) {
        EXPECT_EQ(edit::FindPadAt(*d, 0, p, 2, &ed.index), edit::FindPadAt(*d, 0, p, 2)) << p.x << "," << p.y;
        EXPECT_EQ(edit::FindLineAt(*d, 1, p, 2, &ed.index).item, edit::FindLineAt(*d, 1, p, 2).item)
            << p.x << "," << p.y;
    }
    EXPECT_NE(edit::FindPadAt(*d, 0, Point{0, 0}, 2, &ed.index), model::kNone);
    EXPECT_EQ(edit::FindLineAt(*d, 1, Point{30000, 15000}, 2, &ed.index).item, model::kNone);
}

// --- Vertex --------------------------------------------------------------------------------------

struct Vertices : EditTest {
    edit::GrabList& g = ed.grab;
    edit::VertexSplit split;
    std::vector<Ref> lines(bool hidden_too = true) {
        return top_level(ring(), model::kLine, hidden_too);
    }
    void move_to(Point p) {
        edit::move_grab(g, disp, p, 0);
    }
};

TEST_F(Vertices, EachClickInsertsOneVertexAndSplitsTheFarSideAgain) {
    Ref t = track(1, 0, 0, 60000, 0, 500);
    model::AttachSignal(t, "V");
    ASSERT_EQ(edit::split_track(g, disp, *d, t, Point{20000, 0}, kPE, split), 1);
    EXPECT_TRUE(node(t).hidden());
    move_to(Point{20000, 5000});
    ASSERT_EQ(edit::fix_vertex(g, disp, split, kPE), 1);
    EXPECT_EQ(edit::undo_groups(*d), 1);
    // The old track is gone; the two new ones meet at the vertex, and the far one hangs split again.
    std::vector<Ref> shown = lines(false);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_TRUE(same(p1(shown[0]), Point{0, 0}));
    EXPECT_TRUE(same(p2(shown[0]), Point{20000, 5000}));
    ASSERT_NE(split.old, model::kNone);
    EXPECT_NE(split.old, t);
    EXPECT_TRUE(same(p1(split.old), Point{20000, 5000}));
    EXPECT_TRUE(same(p2(split.old), Point{60000, 0}));
    EXPECT_EQ(node(split.old).size, 500);
    EXPECT_EQ(model::signal_name(model::item_signal(split.old)), "V");
    EXPECT_TRUE(same(p1(split.from_vertex), Point{20000, 5000}));
    move_to(Point{40000, 5000});
    ASSERT_EQ(edit::fix_vertex(g, disp, split, kPE), 1);
    EXPECT_EQ(edit::undo_groups(*d), 2);
    edit::abandon(g, disp);
    EXPECT_EQ(lines(false).size(), 3u);
    // Undoing both puts the one track back.
    EXPECT_EQ(edit::undo(*d, nullptr, true), 2);
    ASSERT_EQ(lines().size(), 1u);
    EXPECT_TRUE(same(p1(lines()[0]), Point{0, 0}));
    EXPECT_TRUE(same(p2(lines()[0]), Point{60000, 0}));
}

TEST_F(Vertices, CancellingLeavesTheTrackAsItWas) {
    Ref t = track(1, 0, 0, 60000, 0);
    ASSERT_EQ(edit::split_track(g, disp, *d, t, Point{20000, 0}, kPE, split), 1);
    move_to(Point{25000, 9000});
    edit::abandon(g, disp);
    ASSERT_EQ(lines().size(), 1u);
    EXPECT_FALSE(node(t).hidden());
    EXPECT_FALSE(edit::has_undo(*d));
}

TEST_F(Vertices, AVertexDroppedOnTheFarEndLeavesTheNearSideToSplit) {
    Ref t = track(1, 0, 0, 60000, 0);
    ASSERT_EQ(edit::split_track(g, disp, *d, t, Point{20000, 0}, kPE, split), 1);
    move_to(Point{60001, 1});
    ASSERT_EQ(edit::fix_vertex(g, disp, split, kPE), 1);
    // The second half collapsed and went in the same group; the first half hangs split again.
    EXPECT_EQ(edit::undo_groups(*d), 1);
    ASSERT_NE(split.old, model::kNone);
    EXPECT_TRUE(same(p1(split.old), Point{0, 0}));
    EXPECT_TRUE(same(p2(split.old), Point{60001, 1}));
}

// --- Copies, arc, polygon ------------------------------------------------------------------------

TEST_F(EditTest, EveryPlacedCopyIsItsOwnGroupAndTheNextHangsWhereTheLastWent) {
    edit::GrabList& g = ed.grab;
    PadMaking p = made(6, 1, 3000, 2000, 0);
    p.angle = 16384;
    Ref first = edit::hang_pad(g, disp, *d, p, "A7", Point{0, 0}, kPP);
    ASSERT_NE(first, model::kNone);
    EXPECT_TRUE(node(first).hidden());
    edit::move_grab(g, disp, Point{10000, 5000}, 0);
    EXPECT_EQ(edit::place_hanging(g, disp), first);
    EXPECT_FALSE(node(first).hidden());
    EXPECT_EQ(node(first).pad.x0, 10000);
    EXPECT_EQ(node(first).pad.angle, 16384);
    EXPECT_EQ(node(first).size, 6);
    EXPECT_EQ(model::pin_text(first), "A7");
    Ref second = edit::hang_pad(g, disp, *d, p, "A8", Point{10000, 5000}, kPP);
    edit::move_grab(g, disp, Point{20000, 5000}, 0);
    EXPECT_EQ(edit::place_hanging(g, disp), second);
    EXPECT_EQ(edit::undo_groups(*d), 2);

    edit::ArcMaking a;
    a.layer = 3;
    a.width = 700;
    a.radius = 6554;
    a.sweep = 16384;
    a.ellipse = 30000;
    Ref arc_ref = edit::hang_arc(g, disp, *d, a, Point{0, 0}, 'P' << 8 | 'A');
    edit::move_grab(g, disp, Point{-5000, 0}, 0);
    EXPECT_EQ(edit::place_hanging(g, disp), arc_ref);
    EXPECT_EQ(node(arc_ref).arc.x0, -5000);
    EXPECT_EQ(node(arc_ref).arc.radius, 6554);
    EXPECT_EQ(node(arc_ref).arc.ellipse, 30000);
    EXPECT_EQ(node(arc_ref).size, 700);
}

TEST_F(EditTest, AThreePointArcTakesCentreRadiusStartAndEnd) {
    edit::ArcDraw a;
    edit::TrackStyle style{3, 800};
    Ref made = model::kNone;
    EXPECT_EQ(edit::arc_click(a, ed.grab, disp, *d, Point{0, 0}, style), edit::ArcStep::Centre);
    // A radius of three units is refused.
    EXPECT_EQ(edit::arc_click(a, ed.grab, disp, *d, Point{3, 0}, style), edit::ArcStep::Refused);
    EXPECT_EQ(edit::arc_click(a, ed.grab, disp, *d, Point{30000, 0}, style), edit::ArcStep::Radius);
    EXPECT_EQ(edit::arc_click(a, ed.grab, disp, *d, Point{0, 12345}, style, &made), edit::ArcStep::Made);
    ASSERT_NE(made, model::kNone);
    const Node& n = node(made);
    EXPECT_EQ(n.size, 800);
    EXPECT_EQ(n.arc.radius, 30000);
    EXPECT_EQ(n.arc.sweep, 16384);
    EXPECT_EQ(a.step, 0);
    EXPECT_TRUE(a.outline.nodes.empty());
    // A sweep through the zero angle: from 90 degrees round to 0 is three quarters.
    edit::arc_click(a, ed.grab, disp, *d, Point{0, 0}, style);
    edit::arc_click(a, ed.grab, disp, *d, Point{0, 1000}, style);
    edit::arc_click(a, ed.grab, disp, *d, Point{1000, 0}, style, &made);
    EXPECT_EQ(node(made).arc.start, 16384);
    EXPECT_EQ(node(made).arc.sweep, 49152);
    EXPECT_EQ(edit::radius_to(Point{0, 0}, Point{3000, 4000}), 5000);
}

TEST_F(EditTest, APolygonNeedsThreePointsAndAClickOnTheLastTakesItBack) {
    edit::PolygonDraw pg;
    edit::polygon_click(pg, disp, *d, Point{0, 0});
    EXPECT_EQ(edit::polygon_click(pg, disp, *d, Point{20000, 0}), 2u);
    EXPECT_EQ(edit::finish_polygon(pg, ed.grab, disp, *d, 2), model::kNone); // two points: nothing
    EXPECT_TRUE(pg.points.empty());

    edit::polygon_click(pg, disp, *d, Point{0, 0});
    edit::polygon_click(pg, disp, *d, Point{20000, 0});
    edit::polygon_click(pg, disp, *d, Point{9000, 9000});
    EXPECT_EQ(edit::polygon_click(pg, disp, *d, Point{9003, 8997}), 2u); // within 3 units: taken back
    edit::polygon_click(pg, disp, *d, Point{20000, 15000});
    edit::polygon_click(pg, disp, *d, Point{-2000, 12000});
    Ref s = edit::finish_polygon(pg, ed.grab, disp, *d, 2);
    ASSERT_NE(s, model::kNone);
    EXPECT_TRUE(model::is_solid(s));
    EXPECT_EQ(node(s).layer, 2);
    EXPECT_EQ(model::vertex_count(s), 4);
    EXPECT_EQ(node(s).line.x1, -2000);
    EXPECT_EQ(node(s).line.y2, 15000);
    std::vector<Point> got;
    for (Ref v = node(s).link; v != model::kNone; v = node(v).link) {
        got.push_back(Point{node(v).line.x1, node(v).line.y1});
    }
    ASSERT_EQ(got.size(), 4u);
    EXPECT_TRUE(same(got[1], Point{20000, 0}));
    EXPECT_TRUE(same(got[3], Point{-2000, 12000}));
    EXPECT_EQ(edit::undo_groups(*d), 1);
    EXPECT_TRUE(pg.outline.nodes.empty());
}

// --- Text entry ----------------------------------------------------------------------------------

constexpr uint16_t kEnter = 0x1C0D, kPadEnter = 0xE00D, kEscape = 0x011B, kBackspace = 0x0E08;
constexpr uint16_t kLeft = 0x4BE0, kHome = 0x4700, kEnd = 0x4FE0, kDel = 0x53E0, kUp = 0x48E0, kDown = 0x5000;

uint16_t key_of(char c) {
    return static_cast<uint16_t>(0x1E00 | static_cast<uint8_t>(c));
}

TEST(TextEntryKeys, TypingEditsAtTheCaret) {
    edit::TextEntry e;
    EXPECT_TRUE(e.first_key());
    for (char c : std::string("R1O")) {
        EXPECT_EQ(e.key(key_of(c)), edit::EntryKey::Edited);
    }
    EXPECT_FALSE(e.first_key());
    EXPECT_EQ(e.key(kLeft), edit::EntryKey::Edited);
    EXPECT_EQ(e.key(kBackspace), edit::EntryKey::Edited); // the "1" before the caret
    EXPECT_EQ(e.typed(), "RO");
    EXPECT_EQ(e.key(key_of('2')), edit::EntryKey::Edited);
    EXPECT_EQ(e.typed(), "R2O");
    EXPECT_EQ(e.key(kHome), edit::EntryKey::Edited);
    EXPECT_EQ(e.key(kLeft), edit::EntryKey::Ignored);
    EXPECT_EQ(e.key(kDel), edit::EntryKey::Edited);
    EXPECT_EQ(e.typed(), "2O");
    EXPECT_EQ(e.key(kEnd), edit::EntryKey::Edited);
    EXPECT_EQ(e.key(0x1C0A), edit::EntryKey::Edited);                        // Ctrl-Enter: a second line
    EXPECT_EQ(e.key(static_cast<uint16_t>(0x00F8)), edit::EntryKey::Edited); // the degree sign's font code
    EXPECT_EQ(e.typed(), "2O\\n\xF8");
    EXPECT_EQ(e.key(0x0F09), edit::EntryKey::Ignored); // Tab: typed as "\t"
    EXPECT_EQ(e.key(static_cast<uint16_t>(0x007F)), edit::EntryKey::Ignored);
}

TEST(TextEntryKeys, EnterEscapeAndTheVerticalKeysEndTheEntry) {
    edit::TextEntry e("ABC");
    EXPECT_EQ(e.caret(), 3u);
    EXPECT_EQ(e.key(kEnter), edit::EntryKey::Enter);
    EXPECT_EQ(e.key(kPadEnter), edit::EntryKey::Enter);
    EXPECT_EQ(e.key(kEscape), edit::EntryKey::Escape);
    EXPECT_EQ(e.key(kUp), edit::EntryKey::Up);
    EXPECT_EQ(e.key(kDown), edit::EntryKey::Down);
    EXPECT_EQ(e.typed(), "ABC");
    edit::TextEntry full(std::string(edit::kTextEntryLimit, 'x'));
    EXPECT_EQ(full.key(key_of('y')), edit::EntryKey::Ignored);
}

TEST_F(EditTest, TypedTextIsStoredConvertedOrAsASignalLabel) {
    Ref t = text(3, 0, 0, 3000, 1);
    ASSERT_TRUE(edit::store_typed_text(t, d->setup, "10 ohms"));
    Coord one = node(t).text.length;
    ASSERT_TRUE(edit::store_typed_text(t, d->setup, "10 ohms 10 ohms"));
    EXPECT_EQ(model::GetText(t), "10 \xEA 10 \xEA");
    EXPECT_GT(node(t).text.length, one); // measured again
    node(t).text.length = -node(t).text.length;
    ASSERT_TRUE(edit::store_typed_text(t, d->setup, "A"));
    EXPECT_LT(node(t).text.length, 0); // a mirrored Text stays mirrored

    // On a schematic signal layer the characters are the label's Signal.
    layer(6, "Signals", model::kLayerSchematic);
    Ref label = text(6, 0, 0, 3000, 1);
    ASSERT_TRUE(edit::store_typed_text(label, d->setup, "clk"));
    EXPECT_TRUE(model::is_signal_record(node(label).link));
    EXPECT_EQ(model::GetText(label), "CLK");
    EXPECT_FALSE(edit::store_typed_text(label, d->setup, ""));
}

} // namespace
} // namespace edit_test
