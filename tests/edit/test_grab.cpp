// The grab list without the shell: building grabs, moving them, dropping and abandoning.
#include <cstring>

#include "edit/commands.h"
#include "edit/grab.h"
#include "edit/grab_internal.h"
#include "edit/undo.h"
#include "edit_fixture.h"

namespace edit_test {
namespace {

using edit::GrabList;

struct Grab : EditTest {
    GrabList& g = ed.grab;

    void start(Point ref) {
        edit::begin_grab(g, *d, ref, shell_code('L'));
    }
    static uint16_t shell_code(char c) {
        return static_cast<uint16_t>('G' << 8 | c);
    }
    void move_by(Coord dx, Coord dy) {
        g.building = false;
        edit::move_grab(g, disp, Point{g.ref.x + dx, g.ref.y + dy}, 0);
    }
    uint8_t flags(Ref r) {
        edit::GrabEntry* e = edit::find_entry(g, r);
        return e ? e->flags : 0;
    }
};

TEST_F(Grab, TrackWithBothEndsStretchesTheTracksJoinedToIt) {
    Ref t = track(1, 0, 0, 10000, 0);
    Ref right = track(1, 10000, 0, 10000, 10000);
    Ref left = track(1, -10000, 0, 2, -1); // its second end within 4 units of (0, 0)
    Ref other_layer = track(2, 10000, 0, 20000, 0);
    start(Point{5000, 0});
    edit::add_entry(g, t, edit::kGrabWhole);
    // Each end: t itself (already whole, so unchanged but counted) and the track joined there.
    EXPECT_EQ(edit::grab_point(g, p1(t), 655), 2);
    EXPECT_EQ(edit::grab_point(g, p2(t), 655), 2);
    EXPECT_EQ(flags(right), edit::kGrabFirst);
    EXPECT_EQ(flags(left), edit::kGrabSecond);
    EXPECT_EQ(flags(other_layer), 0);
    EXPECT_TRUE(node(t).hidden());
    move_by(0, 500);
    EXPECT_EQ(edit::drop(g, disp), 1);
    EXPECT_TRUE(same(p1(t), Point{0, 500}));
    EXPECT_TRUE(same(p2(t), Point{10000, 500}));
    EXPECT_TRUE(same(p1(right), Point{10000, 500}));
    EXPECT_TRUE(same(p2(right), Point{10000, 10000}));
    EXPECT_TRUE(same(p2(left), Point{2, 499}));
    EXPECT_TRUE(same(p1(other_layer), Point{10000, 0}));
    EXPECT_FALSE(node(t).hidden());
    EXPECT_TRUE(d->modified());
    EXPECT_TRUE(g.empty());
    // One undo puts all three back.
    EXPECT_EQ(edit::undo(*d, nullptr), 1);
    EXPECT_TRUE(same(p1(t), Point{0, 0}));
    EXPECT_TRUE(same(p1(right), Point{10000, 0}));
    EXPECT_TRUE(same(p2(left), Point{2, -1}));
}

TEST_F(Grab, AViaDragsEverythingAtItsCentre) {
    Ref via = pad(0, 0, 0, 2000, 2000, kVia);
    Ref top = track(1, 0, 0, 30000, 0);
    Ref bottom = track(2, -30000, 0, 1, 1);
    Ref ring_arc = arc(3, 0, 0, 5000, 0, 0); // centred on the via
    Ref apart = track(1, 30000, 0, 40000, 0);
    d->setup.current_layer = 1;
    start(Point{2, 1});
    EXPECT_EQ(edit::grab_point(g, Point{2, 1}, 655), 4);
    EXPECT_EQ(flags(via), edit::kGrabWhole);
    EXPECT_EQ(flags(top), edit::kGrabFirst);
    EXPECT_EQ(flags(bottom), edit::kGrabSecond);
    EXPECT_EQ(flags(ring_arc), edit::kGrabFirst);
    EXPECT_EQ(flags(apart), 0);
    move_by(1000, 2000);
    edit::drop(g, disp);
    EXPECT_EQ(node(via).pad.x0, 1000);
    EXPECT_EQ(node(via).pad.y0, 2000);
    EXPECT_TRUE(same(p1(top), Point{1000, 2000}));
    EXPECT_TRUE(same(p2(top), Point{30000, 0}));
    EXPECT_TRUE(same(p2(bottom), Point{1001, 2001}));
    EXPECT_EQ(node(ring_arc).arc.x0, 1000);
}

TEST_F(Grab, AComponentPadPullsOutANewTrackThatAbandonRemoves) {
    Ref c = component("U1");
    Ref p = pad(0, 0, 0, 1500, 1500, kOvalThru, members(c));
    model::AttachSignal(p, "VCC");
    close(c);
    Ref t = track(1, 0, 0, 20000, 0);
    d->setup.line_width = 3; // below the floor of 7
    int before = ring_size(ring());
    start(Point{0, 0});
    EXPECT_EQ(edit::grab_point(g, Point{0, 0}, 3), 2);
    EXPECT_EQ(flags(t), edit::kGrabFirst);
    Ref fresh = g.entries.back().real;
    EXPECT_EQ(g.entries.back().flags, edit::kGrabSecond | edit::kGrabNew);
    EXPECT_EQ(node(fresh).size, 7);
    EXPECT_EQ(node(fresh).layer, 1);
    EXPECT_EQ(model::signal_name(model::item_signal(fresh)), "VCC");
    EXPECT_EQ(ring_size(ring()), before + 1);
    EXPECT_EQ(edit::abandon(g, disp), 1);
    EXPECT_EQ(ring_size(ring()), before);
    EXPECT_FALSE(node(t).hidden());
    EXPECT_TRUE(same(p1(t), Point{0, 0}));
    EXPECT_FALSE(edit::has_undo(*d));
}

TEST_F(Grab, APulledTrackDroppedInPlaceCollapsesAndIsRecorded) {
    Ref c = component("U1");
    pad(0, 0, 0, 1500, 1500, kOvalThru, members(c));
    close(c);
    int before = ring_size(ring());
    start(Point{0, 0});
    edit::grab_point(g, Point{0, 0}, 655);
    ASSERT_EQ(g.entries.size(), 1u);
    move_by(2, -2); // less than 3 in both axes: a zero-length track
    edit::drop(g, disp);
    EXPECT_EQ(ring_size(ring()), before);
    // Created, then deleted, in one group: undoing it changes nothing in the ring either.
    EXPECT_EQ(edit::undo_groups(*d), 1);
    edit::undo(*d, nullptr);
    EXPECT_EQ(ring_size(ring()), before);
}

TEST_F(Grab, ComponentGrabFollowsItsTracksAndFanOutVias) {
    Ref c = component("U1", 10000, 0);
    Ref pa = pad(0, 0, 0, 1500, 1500, kRectThru, members(c));
    Ref pb = pad(0, 20000, 0, 1500, 1500, kOvalThru, members(c));
    [[maybe_unused]] Ref smd = pad(1, 40000, 0, 1000, 600, kRectSmt, members(c));
    close(c); // box x -750..40500, y -750..750
    // A to a via 3000 below the box (within 4096), which has one bottom track going on.
    Ref fan = track(1, 0, 0, 0, -3750);
    Ref via = pad(0, 0, -3750, 1200, 1200, kVia);
    Ref onward = track(2, 0, -3750, 0, -90000);
    // B to A directly: both ends on moving pads.
    Ref link = track(1, 20000, 0, 0, 0);
    // B to a loose end far away: stretches.
    Ref loose = track(1, 20000, 0, 20000, 80000);
    // The SMT pad's track on layer 2 does not touch it (other layer); the one on layer 1 does.
    Ref wrong_side = track(2, 40000, 0, 40000, 9000);
    Ref smd_track = track(1, 40100, 0, 60000, 0);
    // A chain from the SMT pad: two segments to a via far beyond 4096 of the box: it stretches.
    Ref via_far = pad(0, 60000, 9000, 1200, 1200, kVia);
    Ref chain2 = track(1, 60000, 0, 60000, 9000);
    start(Point{10000, 0});
    edit::grab_component(g, c, Point{10000, 0}, true, 10);
    EXPECT_EQ(flags(c), edit::kGrabWhole);
    EXPECT_EQ(flags(members(c)), edit::kGrabFirst);
    EXPECT_EQ(flags(pa), edit::kGrabFirst);
    EXPECT_EQ(flags(pb), edit::kGrabFirst);
    EXPECT_EQ(flags(fan), edit::kGrabWhole);
    EXPECT_EQ(flags(via), edit::kGrabWhole);
    EXPECT_EQ(flags(onward), edit::kGrabFirst);
    EXPECT_EQ(flags(link), edit::kGrabWhole);
    EXPECT_EQ(flags(loose), edit::kGrabFirst);
    EXPECT_EQ(flags(wrong_side), 0);
    EXPECT_EQ(flags(smd_track), edit::kGrabFirst);
    EXPECT_EQ(flags(chain2), 0);
    EXPECT_EQ(flags(via_far), 0);
    move_by(5000, 5000);
    edit::drop(g, disp);
    EXPECT_EQ(node(pa).pad.x0, 5000);
    EXPECT_EQ(node(members(c)).box.x1, 15000); // the insertion point moved along
    EXPECT_EQ(node(c).box.x1, 4250);
    EXPECT_TRUE(same(p2(fan), Point{5000, 1250}));
    EXPECT_EQ(node(via).pad.y0, 1250);
    EXPECT_TRUE(same(p1(onward), Point{5000, 1250}));
    EXPECT_TRUE(same(p2(onward), Point{0, -90000}));
    EXPECT_TRUE(same(p2(loose), Point{20000, 80000}));
    EXPECT_TRUE(same(p1(loose), Point{25000, 5000}));
    EXPECT_TRUE(same(p1(smd_track), Point{45100, 5000}));
    // Undo: everything back, the Component's box too.
    edit::undo(*d, nullptr);
    EXPECT_EQ(node(c).box.x1, -750);
    EXPECT_EQ(node(via).pad.y0, -3750);
    EXPECT_TRUE(same(p1(loose), Point{20000, 0}));
}

TEST_F(Grab, FanOutViaWithASecondTrackOfTheSameLayerStays) {
    Ref c = component("U1");
    pad(0, 0, 0, 1500, 1500, kRectThru, members(c));
    close(c);
    Ref fan = track(1, 0, 0, 0, -3000);
    Ref via = pad(0, 0, -3000, 1200, 1200, kVia);
    Ref branch = track(1, 0, -3000, 50000, -3000); // same layer: the via is a junction
    start(Point{0, 0});
    edit::grab_component(g, c, Point{0, 0}, true, 10);
    EXPECT_EQ(flags(fan), edit::kGrabFirst);
    EXPECT_EQ(flags(via), 0);
    EXPECT_EQ(flags(branch), 0);
    // GO: the Component alone.
    edit::abandon(g, disp);
    start(Point{0, 0});
    edit::grab_component(g, c, Point{0, 0}, false, 10);
    EXPECT_EQ(flags(fan), 0);
}

TEST_F(Grab, FourQuarterTurnsReturnEveryCoordinate) {
    Ref l = track(1, 123, -457, 9871, 3331);
    Ref a = arc(1, 500, 700, 3000, 1000, 9000);
    Ref e = arc(1, -800, 300, 3000, 1000, 9000);
    node(e).arc.ellipse = 20000;
    Ref p = pad(1, -2222, 1111, 900, 400, kRectSmt, model::kNone, 1234);
    Ref t = text(3, 4444, -5555, 600, 3000, 0, 0);
    Ref s = solid(1, {{0, 0}, {1000, 0}, {500, 777}});
    start(Point{101, -37});
    for (Ref r : {l, a, e, p, t, s}) {
        edit::add_entry(g, r, node(r).item_kind() == model::kLine ? edit::kGrabWhole : edit::kGrabFirst);
    }
    g.building = false;
    std::vector<Node> before;
    for (const edit::GrabEntry& x : g.entries) {
        before.push_back(node(x.copy));
    }
    // One quarter turn about (101, -37): (123, -457) -> (101 + 420, -37 + 22).
    edit::transform_grab(g, disp, edit::Transform::Rotate90);
    const Node& lc = node(edit::find_entry(g, l)->copy);
    EXPECT_EQ(lc.line.x1, 521);
    EXPECT_EQ(lc.line.y1, -15);
    EXPECT_EQ(node(edit::find_entry(g, a)->copy).arc.start, 1000 + 16384); // circular: the start turns
    EXPECT_EQ(node(edit::find_entry(g, e)->copy).arc.angle, 16384);      // elliptical: its rotation
    EXPECT_EQ(node(edit::find_entry(g, p)->copy).pad.angle, 1234 + 16384);
    for (int i = 0; i < 3; ++i) {
        edit::transform_grab(g, disp, edit::Transform::Rotate90);
    }
    for (size_t i = 0; i < g.entries.size(); ++i) {
        EXPECT_EQ(std::memcmp(&node(g.entries[i].copy).line, &before[i].line, sizeof before[i].line), 0) << i;
        EXPECT_EQ(node(g.entries[i].copy).size, before[i].size) << i;
    }
}

TEST_F(Grab, TextTurnedUpsideDownStaysReadable) {
    Ref t = text(3, 0, 0, 600, 3000, 0, 16384); // bottom left at 90 degrees
    Ref off = text(3, 0, 0, 600, 3000, 3, 16384); // horizontal anchor "offset": left at 180
    Ref mid = text(3, 0, 0, 600, 3000, 5, 16384); // centred both ways
    start(Point{0, 0});
    for (Ref r : {t, off, mid}) {
        edit::add_entry(g, r, edit::kGrabFirst);
    }
    edit::transform_grab(g, disp, edit::Transform::Rotate90);
    const Node& tc = node(edit::find_entry(g, t)->copy);
    EXPECT_EQ(tc.text.angle, 0);
    EXPECT_EQ(tc.text.anchor_font & 15, 10); // top right
    EXPECT_EQ(node(edit::find_entry(g, off)->copy).text.angle, 32768);
    EXPECT_EQ(node(edit::find_entry(g, mid)->copy).text.angle, 0);
    EXPECT_EQ(node(edit::find_entry(g, mid)->copy).text.anchor_font & 15, 5);
}

TEST_F(Grab, MirrorsAndTheOtherSide) {
    Ref l = track(1, 100, 200, 300, 400);
    Ref s = pad(1, 1000, 1000, 800, 400, kRectSmt, model::kNone, 3000);
    Ref t = text(3, 500, 0, 600, 3000, 0, 4000);
    Ref via = pad(0, 0, 0, 800, 800, kVia);
    Ref q = arc(1, 0, 0, 5000, 0, 16384); // first quadrant
    start(Point{0, 0});
    for (Ref r : {l, s, t, via, q}) {
        edit::add_entry(g, r, node(r).item_kind() == model::kLine ? edit::kGrabWhole : edit::kGrabFirst);
    }
    edit::transform_grab(g, disp, edit::Transform::MirrorY);
    const Node& lc = node(edit::find_entry(g, l)->copy);
    EXPECT_EQ(lc.line.x1, -100);
    EXPECT_EQ(lc.line.y1, 200);
    const Node& tc = node(edit::find_entry(g, t)->copy);
    EXPECT_EQ(tc.text.length, -3000); // mirrored text
    EXPECT_EQ(tc.text.angle, static_cast<model::Angle>(-4000));
    const Node& qc = node(edit::find_entry(g, q)->copy);
    EXPECT_EQ(qc.arc.start, 16384); // the second quadrant: 90 to 180 degrees
    EXPECT_EQ(qc.arc.sweep, 16384);
    edit::transform_grab(g, disp, edit::Transform::MirrorY);
    EXPECT_EQ(lc.line.x1, 100);
    EXPECT_EQ(tc.text.length, 3000);
    EXPECT_EQ(tc.text.angle, 4000);
    EXPECT_EQ(qc.arc.start, 0);
    // About the horizontal axis: y negated, the text at 180 - a.
    edit::transform_grab(g, disp, edit::Transform::MirrorX);
    EXPECT_EQ(lc.line.y2, -400);
    EXPECT_EQ(tc.text.angle, 32768 - 4000);
    EXPECT_EQ(qc.arc.start, 49152); // the fourth quadrant
    // The other side: top copper 1 <-> bottom copper 2, silk 3 <-> 4; the via stays on the pad master.
    edit::transform_grab(g, disp, edit::Transform::OtherSide);
    EXPECT_EQ(lc.layer, 2);
    EXPECT_EQ(node(edit::find_entry(g, s)->copy).layer, 2);
    EXPECT_EQ(tc.layer, 4);
    EXPECT_EQ(node(edit::find_entry(g, via)->copy).layer, 0);
    EXPECT_EQ(lc.line.x1, -100);
    EXPECT_EQ(edit::other_side_layer(d->setup, 5), 5); // no partner
}

TEST_F(Grab, ScalingAboutTheReferencePoint) {
    Ref l = track(1, 1000, 1000, 3000, -1000);
    Ref a = arc(1, 2000, 0, 1000, 0, 0);
    start(Point{1000, 0});
    edit::add_entry(g, l, edit::kGrabWhole);
    edit::add_entry(g, a, edit::kGrabFirst);
    edit::transform_grab(g, disp, edit::Transform::Scale, 0x18000); // 1.5
    const Node& lc = node(edit::find_entry(g, l)->copy);
    EXPECT_TRUE(same(Point{lc.line.x1, lc.line.y1}, Point{1000, 1500}));
    EXPECT_TRUE(same(Point{lc.line.x2, lc.line.y2}, Point{4000, -1500}));
    const Node& ac = node(edit::find_entry(g, a)->copy);
    EXPECT_EQ(ac.arc.x0, 2500);
    EXPECT_EQ(ac.arc.radius, 1500);
    EXPECT_EQ(lc.size, 100); // widths stay
}

TEST_F(Grab, EndDroppedOntoTheOtherEndDeletesTheTrackForUndo) {
    Ref l = track(1, 0, 0, 5000, 0);
    Ref keep = track(1, 9, 9, 99, 99);
    start(p2(l));
    edit::add_entry(g, l, edit::kGrabSecond);
    move_by(-4998, 2); // now 2 units from the first end
    edit::drop(g, disp);
    EXPECT_EQ(ring_size(ring()), 1);
    edit::undo(*d, nullptr);
    EXPECT_EQ(ring_size(ring()), 2);
    EXPECT_EQ(model::first_item(ring()), l);
    EXPECT_TRUE(same(p2(l), Point{5000, 0}));
    (void)keep;
}

TEST_F(Grab, SolidMovesItsOutlineAndBox) {
    Ref s = solid(1, {{0, 0}, {1000, 0}, {1000, 1000}, {0, 1000}});
    start(Point{500, 500});
    edit::add_entry(g, s, edit::kGrabWhole);
    EXPECT_EQ(g.entries.size(), 5u); // the Solid and one entry per vertex
    edit::transform_grab(g, disp, edit::Transform::Rotate90);
    move_by(10000, 0);
    edit::drop(g, disp);
    // Turned about its centre a square stays in place; then moved by 10000.
    EXPECT_EQ(node(s).line.x1, 10000);
    EXPECT_EQ(node(s).line.x2, 11000);
    EXPECT_EQ(node(s).line.y2, 1000);
    Ref v = node(s).link;
    EXPECT_TRUE(same(p1(v), Point{11000, 0})); // (0, 0) turned to (1000, 0), then moved
    EXPECT_TRUE(same(p2(v), Point{11000, 1000}));
    edit::undo(*d, nullptr);
    EXPECT_TRUE(same(p1(v), Point{0, 0}));
    EXPECT_EQ(node(s).line.x2, 1000);
}

TEST_F(Grab, GrabItemTakesTheInsertionPointWithCompanions) {
    Ref c = component("U1", 5000, 5000);
    Ref mp = pad(0, 0, 0, 1000, 1000, kOvalThru, members(c));
    close(c);
    d->setup.current_layer = 0;
    start(Point{5002, 4998});
    // Nothing on layer 0 is hit at the insertion point, so the insertion point itself is taken.
    EXPECT_EQ(edit::grab_item_at(g, 0, Point{5002, 4998}), c);
    EXPECT_EQ(flags(members(c)), edit::kGrabFirst);
    EXPECT_EQ(flags(mp), edit::kGrabCompanion);
    EXPECT_EQ(edit::countable_entries(g), 1);
    move_by(-1000, 0);
    edit::drop(g, disp);
    EXPECT_EQ(node(members(c)).box.x1, 4000);
    EXPECT_EQ(node(mp).pad.x0, 0);
    EXPECT_FALSE(node(mp).hidden());
    // With only companions nothing counts: a drop is an abandon.
    start(Point{0, 0});
    edit::add_entry(g, mp, edit::kGrabCompanion);
    EXPECT_EQ(edit::countable_entries(g), 0);
    edit::drop(g, disp);
    EXPECT_FALSE(node(mp).hidden());
    EXPECT_EQ(edit::undo_groups(*d), 1);
}

TEST_F(Grab, HiddenItemsWithoutAnEntryAreRefused) {
    Ref l = track(1, 0, 0, 100, 0);
    node(l).kind |= model::kHiddenFlag;
    start(Point{0, 0});
    EXPECT_EQ(edit::add_entry(g, l, edit::kGrabWhole), model::kNone);
    node(l).kind &= static_cast<uint8_t>(~model::kHiddenFlag);
    Ref copy = edit::add_entry(g, l, edit::kGrabFirst);
    EXPECT_NE(copy, model::kNone);
    EXPECT_EQ(edit::add_entry(g, l, edit::kGrabSecond), copy); // adds the flag to its entry
    EXPECT_EQ(flags(l), edit::kGrabWhole);
}

TEST_F(Grab, ArcEndFollowsAlongItsCircle) {
    Ref a = arc(1, 0, 0, 10000, 0, 16384); // end point (0, 10000)
    start(Point{0, 10000});
    edit::add_entry(g, a, edit::kGrabSecond);
    move_by(-10000, -10000); // to (-10000, 0): 180 degrees from the centre
    edit::drop(g, disp);
    EXPECT_EQ(node(a).arc.start, 0);
    EXPECT_EQ(node(a).arc.sweep, 32768);
    EXPECT_EQ(node(a).arc.radius, 10000);
}

// Coordinates made by moving or transforming stay inside the limit the Data file keeps (+-16384 inches
// less one unit), so what is dropped is written and read back unchanged.
TEST_F(Grab, MovedAndScaledPointsStayInsideTheCoordinateLimit) {
    const Coord lim = model::kCoordLimit;
    Ref l = track(1, lim - 1000, 0, lim - 10, 0);
    start(Point{0, 0});
    edit::add_entry(g, l, edit::kGrabWhole);
    edit::transform_grab(g, disp, edit::Transform::Scale, 0x40000); // 4x about the origin
    const Node& c = node(edit::find_entry(g, l)->copy);
    EXPECT_EQ(c.line.x1, lim);
    EXPECT_EQ(c.line.x2, lim);
    Node moved = node(l);
    edit::apply_offset(moved, edit::kGrabWhole, -int64_t{lim} * 3, 0);
    EXPECT_EQ(moved.line.x1, -lim);
    EXPECT_EQ(moved.line.x2, -lim);
}

} // namespace
} // namespace edit_test
