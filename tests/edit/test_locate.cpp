// The locators' priority, tie and layer rules.
#include "edit/commands.h"
#include "edit/locate.h"
#include "edit_fixture.h"

namespace edit_test {
namespace {

using Locate = EditTest;

TEST_F(Locate, LineClassesThenShortestThenNewest) {
    Point at{0, 0};
    // On layer 1 two tracks cross the point: the shorter one wins.
    Ref longer = track(1, -5000, 0, 5000, 0);
    Ref shorter = track(1, 0, -2000, 0, 2000);
    EXPECT_EQ(edit::FindLineAt(*d, 1, at, 10).item, shorter);
    // A still shorter one inside a Component loses: top-level Items get 16 more.
    Ref c = component("U1");
    track(1, -100, -100, 100, 100, 100, members(c));
    close(c);
    EXPECT_EQ(edit::FindLineAt(*d, 1, at, 10).item, shorter);
    // Equal length: the first one met walking back from the head, so the newest.
    Ref twin = track(1, -2000, 0, 2000, 0);
    EXPECT_EQ(edit::FindLineAt(*d, 1, at, 10).item, twin);
    (void)longer;
}

TEST_F(Locate, LayerZeroAsksEveryVisibleLayerAndPrefersLayerZero) {
    Point at{0, 0};
    Ref on3 = track(3, 0, -500, 0, 500);      // short, class 16
    Ref on0 = track(0, -9000, 0, 9000, 0);    // long, class 48: on the layer asked
    track(5, -100, 0, 100, 0);                // hidden layer: skipped with layer 0
    EXPECT_EQ(edit::FindLineAt(*d, 0, at, 10).item, on0);
    node(on0).layer = 4;
    EXPECT_EQ(edit::FindLineAt(*d, 0, at, 10).item, on3);
    // Asked for the hidden layer itself, its track is found.
    EXPECT_NE(edit::FindLineAt(*d, 5, at, 10).item, model::kNone);
    // Layer 3 alone does not see the one on layer 4.
    EXPECT_EQ(edit::FindLineAt(*d, 3, at, 10).item, on3);
    // Solids are no tracks.
    EXPECT_EQ(edit::FindLineAt(*d, 1, at, 10).item, model::kNone);
    solid(1, {{-10, -10}, {10, -10}, {10, 10}});
    EXPECT_EQ(edit::FindLineAt(*d, 1, at, 10).item, model::kNone);
}

TEST_F(Locate, CurrentLayerFirstThenLayerZeroWithTheLayerSwitch) {
    // Two tracks crossing, one on the current layer: it wins although it is longer.
    Ref cur = track(1, -9000, 0, 9000, 0);
    Ref other = track(2, 0, -100, 0, 100);
    d->setup.current_layer = 1;
    EXPECT_EQ(edit::locate(*d, edit::Find::Line, Point{0, 0}, 10).item, cur);
    // Nothing on the current layer: asked again with layer 0, and the track's layer becomes current.
    node(cur).layer = 3;
    d->setup.current_layer = 4;
    bool switched = false;
    Ref got = edit::locate(*d, edit::Find::Line, Point{0, 0}, 10, &switched).item;
    EXPECT_EQ(got, other); // layer 0 asked: both in class 16, the shorter
    EXPECT_TRUE(switched);
    EXPECT_EQ(d->setup.current_layer, 2);
    // A through-hole pad is found from any layer and makes no layer current.
    Ref via = pad(0, 50000, 0, 2000, 2000, kVia);
    got = edit::locate(*d, edit::Find::Pad, Point{50000, 0}, 10, &switched).item;
    EXPECT_EQ(got, via);
    EXPECT_FALSE(switched);
    EXPECT_EQ(d->setup.current_layer, 2);
}

TEST_F(Locate, PadLayerRuleForThroughHoleAndSurfaceMount) {
    Ref thru = pad(0, 0, 0, 1000, 1000, kOvalThru);
    Ref smd = pad(2, 10000, 0, 1000, 600, kRectSmt);
    for (int l : {0, 1, 2, 3}) {
        EXPECT_EQ(edit::FindPadAt(*d, l, Point{0, 0}, 0), thru) << "layer " << l;
    }
    EXPECT_EQ(edit::FindPadAt(*d, 2, Point{10000, 0}, 0), smd);
    EXPECT_EQ(edit::FindPadAt(*d, 0, Point{10000, 0}, 0), smd);
    EXPECT_EQ(edit::FindPadAt(*d, 1, Point{10000, 0}, 0), model::kNone);
    // A surface pad on a hidden layer is skipped when any layer is asked.
    node(smd).layer = 5;
    EXPECT_EQ(edit::FindPadAt(*d, 0, Point{10000, 0}, 0), model::kNone);
    EXPECT_EQ(edit::FindPadAt(*d, 5, Point{10000, 0}, 0), smd);
}

TEST_F(Locate, MembersComeRightAfterTheirComponentInTheBackwardWalk) {
    // The older top-level Arc and a member Arc of a newer Component overlap: walking back from the head
    // the Component comes first and its members before the older Arc.
    Ref older = arc(1, 0, 0, 10000, 0, 0);
    Ref c = component("U1");
    Ref member = arc(1, 0, 0, 10000, 0, 0, 200, members(c));
    close(c);
    EXPECT_EQ(edit::FindArcAt(*d, 1, Point{10000, 0}, 0), member);
    // A member counts only on the layer asked, even when layer 0 is asked.
    EXPECT_EQ(edit::FindArcAt(*d, 0, Point{10000, 0}, 0), older);
    // Hidden Items (held on the cursor) are never found.
    node(member).kind |= model::kHiddenFlag;
    EXPECT_EQ(edit::FindArcAt(*d, 1, Point{10000, 0}, 0), older);
}

TEST_F(Locate, ComponentKeyIsAreaWithAPenaltyForNoPadOnTheLayer) {
    // A 2 x 1 inch Component with a pad on layer 1 and a 0.5 x 0.5 inch one inside it with its pad on 2.
    Ref big = component("U1");
    pad(1, 0, 0, 1000, 1000, kRectSmt, members(big));
    track(3, -65536, -32768, 65536, 32768, 100, members(big));
    close(big);
    Ref small = component("U2");
    pad(2, 0, 0, 1000, 1000, kRectSmt, members(small));
    track(3, -16384, -16384, 16384, 16384, 100, members(small));
    close(small);
    // Box areas scaled down by 2^16: (131072 * 65536) >> 16 and (32768 * 32768) >> 16.
    EXPECT_EQ(edit::ComponentKey(big, 1), 131072u);
    EXPECT_EQ(edit::ComponentKey(big, 2), 131072u | (1u << 28));
    EXPECT_EQ(edit::ComponentKey(small, 2), 16384u);
    EXPECT_EQ(edit::FindComponentAt(*d, 1, Point{0, 0}), big);
    EXPECT_EQ(edit::FindComponentAt(*d, 2, Point{0, 0}), small);
    EXPECT_EQ(edit::FindComponentAt(*d, 3, Point{0, 0}), small); // neither has a pad there: smaller
    EXPECT_EQ(edit::FindComponentAt(*d, 1, Point{60000, 0}), big);
    EXPECT_EQ(edit::FindComponentAt(*d, 1, Point{70000, 0}), model::kNone);
}

TEST_F(Locate, TextPassesTopLevelFirstThenComponentsTexts) {
    Ref c = component("U1");
    Ref member = text(1, 0, 0, 6000, 10000, 0, 0, members(c));
    close(c);
    Ref top3 = text(3, 0, 0, 6000, 10000);
    // Top-level Texts on any visible layer come before member Texts even on the layer asked.
    EXPECT_EQ(edit::FindTextAt(*d, 1, Point{100, 100}), top3);
    node(top3).layer = 5; // hidden: not in the second pass
    EXPECT_EQ(edit::FindTextAt(*d, 1, Point{100, 100}), member);
    // Within the Component: its Texts on the layer asked, then on any layer.
    Ref other = text(4, 0, 0, 6000, 10000, 0, 0, members(c));
    EXPECT_EQ(edit::FindTextAt(*d, 1, Point{100, 100}), member);
    EXPECT_EQ(edit::FindTextAt(*d, 2, Point{100, 100}), other);
}

TEST_F(Locate, SolidOnTheLayerBeforeTopLevelSolidsElsewhere) {
    Ref top = solid(3, {{-1000, -1000}, {1000, -1000}, {1000, 1000}, {-1000, 1000}});
    Ref c = component("U1");
    Ref member = solid(1, {{-500, -500}, {500, -500}, {0, 500}}, members(c));
    close(c);
    EXPECT_EQ(edit::FindSolidAt(*d, 1, Point{0, 0}, 0), member);
    EXPECT_EQ(edit::FindSolidAt(*d, 2, Point{0, 0}, 0), top);
    EXPECT_EQ(edit::FindSolidAt(*d, 2, Point{900, 900}, 0), top);
    // Reach: the pick tolerance lets a click just outside the edge count.
    EXPECT_EQ(edit::FindSolidAt(*d, 2, Point{1005, 0}, 0), model::kNone);
    EXPECT_EQ(edit::FindSolidAt(*d, 2, Point{1005, 0}, 5), top);
}

TEST_F(Locate, VertexNearestOnTheCurrentLayerWithinManhattanReach) {
    Point at{0, 0};
    Ref far1 = track(1, 10000, 6384, 50000, 50000); // |dx| + |dy| = 16384 exactly
    EXPECT_EQ(edit::find_vertex_at(*d, 1, at, false).item, far1);
    node(far1).line.x1 = 10001; // 16385: out of reach
    EXPECT_EQ(edit::find_vertex_at(*d, 1, at, false).item, model::kNone);
    // A nearer end on another layer counts only when the current layer has none.
    Ref near2 = track(2, 100, 0, 9000, 9000);
    Ref mid1 = track(1, 3000, 2000, 9000, -9000);
    edit::VertexHit h = edit::find_vertex_at(*d, 1, at, false);
    EXPECT_EQ(h.item, mid1);
    EXPECT_EQ(h.end, 1);
    EXPECT_TRUE(same(h.at, Point{3000, 2000}));
    EXPECT_EQ(edit::find_vertex_at(*d, 3, at, false).item, near2);
    // A Component member on another layer never counts; on the current layer it does.
    Ref c = component("U1");
    Ref member = track(4, 10, 10, 9000, 9000, 100, members(c));
    close(c);
    EXPECT_EQ(edit::find_vertex_at(*d, 3, at, false).item, near2);
    EXPECT_EQ(edit::find_vertex_at(*d, 4, at, false).item, member);
    // The wide variant adds Pad centres (a through-hole pad is on every layer) and Arc ends.
    Ref via = pad(0, 5, 5, 1000, 1000, kVia);
    EXPECT_EQ(edit::find_vertex_at(*d, 1, at, false).item, mid1);
    EXPECT_EQ(edit::find_vertex_at(*d, 1, at, true).item, via);
    Ref a = arc(1, -10000, 0, 10000, 0, 16384); // its start point is (0, 0)
    edit::VertexHit ah = edit::find_vertex_at(*d, 1, at, true);
    EXPECT_EQ(ah.item, a);
    EXPECT_EQ(ah.end, 1);
}

} // namespace
} // namespace edit_test
