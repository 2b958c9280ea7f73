// The document-wide snaps without the shell: track ends into pads (undoable), Components and Texts to the
// grid and surface-mount insertion points to their pad centroid (not recorded).
#include "edit/snap_all.h"
#include "edit/undo.h"
#include "edit_fixture.h"
#include "board_build.h"

namespace edit_test {
namespace {

struct SnapAll : EditTest {
    bool alive(Ref r) const {
        bool found = false;
        model::walk_tree(ring(), [&](Ref x, int) { found = found || x == r; });
        return found;
    }
};

TEST_F(SnapAll, TrackEndsGoIntoTheirPadsAndStubsInsideGo) {
    // A through-hole pad 4000 wide: "inside" means closer than 2000 in both axes.
    Ref thru = pad(0, 10000, 10000, 4000, 6000, kOvalThru);
    Ref stub = track(1, 10500, 10500, 10500, 10500);       // zero length, inside
    Ref both = track(2, 9000, 9000, 11000, 11999);         // both ends inside, other copper layer
    Ref into = track(1, 11999, 8001, 30000, 8001);         // 1999 off in both axes: moves
    Ref edge = track(2, 12000, 10000, 30000, 10000);       // exactly 2000 off: stays
    Ref centred = track(1, 10000, 10000, 10000, 40000);    // already there
    Ref silk = track(3, 10100, 10100, 20000, 20000);       // not a conductive layer
    // A surface-mount pad on top takes only top tracks.
    Ref smt = pad(1, 50000, 0, 3000, 3000, kRectSmt);
    Ref top = track(1, 60000, 0, 51000, 1000);
    Ref bottom = track(2, 60000, 100, 51000, 1100);
    std::string before = data_file_text();

    EXPECT_EQ(edit::track_pad_snap(*d), 4);
    EXPECT_FALSE(alive(stub));
    EXPECT_FALSE(alive(both));
    EXPECT_TRUE(same(p1(into), Point{10000, 10000}));
    EXPECT_TRUE(same(p2(into), Point{30000, 8001}));
    EXPECT_TRUE(same(p1(edge), Point{12000, 10000}));
    EXPECT_TRUE(same(p1(centred), Point{10000, 10000}));
    EXPECT_TRUE(same(p1(silk), Point{10100, 10100}));
    EXPECT_TRUE(same(p2(top), Point{50000, 0}));
    EXPECT_TRUE(same(p2(bottom), Point{51000, 1100}));
    EXPECT_TRUE(alive(thru) && alive(smt));
    EXPECT_TRUE(d->modified());
    // One group, and undo gives the file back byte for byte.
    EXPECT_EQ(edit::undo_groups(*d), 1);
    EXPECT_EQ(edit::undo(*d, nullptr), 1);
    EXPECT_EQ(data_file_text(), before);
    // Done again and once more: the second run finds nothing to do.
    EXPECT_EQ(edit::track_pad_snap(*d), 4);
    EXPECT_EQ(edit::track_pad_snap(*d), 0);
    EXPECT_EQ(edit::undo_groups(*d), 1);
}

TEST_F(SnapAll, TrackPadSnapReachesComponentPadsAndEndsMovedIntoAnotherPad) {
    Ref comp = component("U1");
    pad(0, 0, 0, 2000, 2000, kRectThru, members(comp));
    close(comp);
    Ref t = track(1, 300, -200, 40000, 0);
    // A second, larger pad whose area holds the first pad's centre (pads listed after the first one).
    pad(0, 600, 0, 4000, 4000, kOvalThru);
    EXPECT_EQ(edit::track_pad_snap(*d), 1);
    // Moved to the component pad's centre first, then on into the larger pad's centre.
    EXPECT_TRUE(same(p1(t), Point{600, 0}));
    edit::undo(*d, nullptr);
    EXPECT_TRUE(same(p1(t), Point{300, -200}));
}

TEST_F(SnapAll, ComponentsMoveWholeToTheGridAndCannotBeUndone) {
    constexpr uint32_t kGrid = 4096u << 16;
    const Point origin{100, 0};
    Ref c = component("U1", 4096 * 3 + 100 + 2047, -4096 - 2049); // rounds to (3, -2) steps
    Ref pin = pad(0, 12000, -6000, 2000, 2000, kOvalThru, members(c));
    Ref body = solid(3, {{11000, -7000}, {13000, -7000}, {13000, -5000}}, members(c));
    close(c);
    Ref on_grid = component("U2", 4096 * 10 + 100, 4096 * 2);
    pad(0, 40000, 8000, 2000, 2000, kOvalThru, members(on_grid));
    close(on_grid);
    Ref loose_text = text(3, 5, 5, 2000, 4000);

    EXPECT_EQ(edit::snap_components(*d, kGrid, origin), 1);
    const Node& hook = node(members(c));
    EXPECT_EQ(hook.box.x1, 4096 * 3 + 100);
    EXPECT_EQ(hook.box.y1, -4096 * 2);
    const Coord dx = -2047, dy = -2047; // the hook's offset, by which everything moved
    EXPECT_TRUE(same(Point{node(pin).pad.x0, node(pin).pad.y0}, Point{12000 + dx, -6000 + dy}));
    EXPECT_TRUE(same(Point{node(node(body).link).line.x1, node(node(body).link).line.y1},
                     Point{11000 + dx, -7000 + dy}));
    EXPECT_EQ(node(loose_text).text.x0, 5);
    EXPECT_FALSE(edit::has_undo(*d));
    EXPECT_TRUE(d->modified());
    // Below one unit the grid is off: nothing moves.
    EXPECT_EQ(edit::snap_components(*d, 0x8000, origin), 0);
}

TEST_F(SnapAll, TextsMoveToTheGridMembersIncludedAndCannotBeUndone) {
    constexpr uint32_t kGrid = 1000u << 16;
    Ref loose = text(3, 1499, -1501, 2000, 4000);
    Ref c = component("U1");
    Ref label = text(3, 2600, 400, 2000, 4000, 0, 0, members(c));
    close(c);
    Ref exact = text(3, 3000, 3000, 2000, 4000);
    EXPECT_EQ(edit::snap_texts(*d, kGrid, Point{0, 0}), 2);
    EXPECT_TRUE(same(Point{node(loose).text.x0, node(loose).text.y0}, Point{1000, -2000}));
    EXPECT_TRUE(same(Point{node(label).text.x0, node(label).text.y0}, Point{3000, 0}));
    EXPECT_EQ(node(exact).text.x0, 3000);
    EXPECT_FALSE(edit::has_undo(*d));
    // The half-way point rounds away from the grid origin.
    node(loose).text.x0 = -1500;
    edit::snap_texts(*d, kGrid, Point{0, 0});
    EXPECT_EQ(node(loose).text.x0, -2000);
}

TEST_F(SnapAll, SurfaceMountInsertionPointGoesToTheNamedPadsCentroid) {
    Ref c = component("C1", 0, 0);
    Ref a = pad(1, -1001, -3, 1000, 1000, kRectSmt, members(c));
    Ref b = pad(1, 0, 0, 1000, 1000, kRectSmt, members(c));
    model::SetPin(a, "1");
    model::AttachSignal(b, "GND");
    pad(1, 90000, 90000, 1000, 1000, kRectSmt, members(c)); // neither pin nor signal: left out
    Ref thru = pad(0, -90000, 0, 1000, 1000, kOvalThru, members(c));
    model::SetPin(thru, "3");                                // not surface mount: left out
    close(c);
    Ref plain = component("U1", 7, 7); // through-hole only: not moved
    Ref tp = pad(0, 100, 100, 1000, 1000, kOvalThru, members(plain));
    model::SetPin(tp, "1");
    close(plain);

    EXPECT_EQ(edit::centroid_snap(*d), 1);
    // Halves toward zero: (-1001 + 0) / 2 = -500, (-3 + 0) / 2 = -1.
    EXPECT_EQ(node(members(c)).box.x1, -500);
    EXPECT_EQ(node(members(c)).box.y1, -1);
    EXPECT_EQ(node(members(plain)).box.x1, 7);
    EXPECT_EQ(node(a).pad.x0, -1001); // the pads stay
    EXPECT_FALSE(edit::has_undo(*d));
    // Already there: not counted.
    EXPECT_EQ(edit::centroid_snap(*d), 0);
}

} // namespace
} // namespace edit_test
