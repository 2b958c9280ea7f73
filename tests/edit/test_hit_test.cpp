// The shared hit tests.  Expected answers are worked out from the shapes by hand (squares of distances,
// the box of each anchor, crossing counts), not taken from the program.
#include "edit/commands.h"
#include "edit/locate.h"
#include "edit_fixture.h"
#include "model/hit_test.h"

namespace edit_test {
namespace {

using model::TrackHit;
using HitTest = EditTest;

TEST_F(HitTest, TrackEndsCountBeforeTheBodyAndReachIsStrict) {
    // Width 100 and tolerance 10: reach 60, so a squared distance must stay below 3600.
    const Node& l = node(track(1, 0, 0, 1000, 0, 100));
    EXPECT_EQ(model::hit_track(l, 60, Point{500, 59}), TrackHit::Body); // 59^2 = 3481
    EXPECT_EQ(model::hit_track(l, 60, Point{500, 60}), TrackHit::None); // 3600 is not below
    EXPECT_EQ(model::hit_track(l, 60, Point{1040, 0}), TrackHit::End2);
    EXPECT_EQ(model::hit_track(l, 60, Point{30, 40}), TrackHit::End1);  // 30^2 + 40^2 = 2500: the end wins
    EXPECT_EQ(model::hit_track(l, 60, Point{1061, 0}), TrackHit::None); // outside the box grown by 60
    // A 3-4-5 diagonal of length 5000; (48, -36) off its middle is exactly 60 away.
    const Node& diag = node(track(1, 0, 0, 3000, 4000, 100));
    EXPECT_EQ(model::hit_track(diag, 60, Point{1548, 1964}), TrackHit::None);
    EXPECT_EQ(model::hit_track(diag, 61, Point{1548, 1964}), TrackHit::Body);
}

TEST_F(HitTest, ArcStrokeSweepsIncludingTheWrapAndMoreThanHalf) {
    // Radius 10000, width 200, no tolerance: the ring between 9900 and 10100.
    const Node& q = node(arc(1, 0, 0, 10000, 0, 16384)); // 0 to 90 degrees
    EXPECT_TRUE(model::hit_arc_stroke(q, 0, Point{7071, 7071}, edit::turn_of));
    EXPECT_TRUE(model::hit_arc_stroke(q, 0, Point{10050, 0}, edit::turn_of));
    EXPECT_FALSE(model::hit_arc_stroke(q, 0, Point{9850, 0}, edit::turn_of));
    EXPECT_FALSE(model::hit_arc_stroke(q, 0, Point{0, -10000}, edit::turn_of));
    EXPECT_FALSE(model::hit_arc_stroke(q, 0, Point{-10000, 0}, edit::turn_of));
    // 315 to 45 degrees, across angle 0.
    const Node& w = node(arc(1, 0, 0, 10000, 57344, 16384));
    EXPECT_TRUE(model::hit_arc_stroke(w, 0, Point{8660, -5000}, edit::turn_of));
    EXPECT_TRUE(model::hit_arc_stroke(w, 0, Point{10000, 0}, edit::turn_of));
    EXPECT_FALSE(model::hit_arc_stroke(w, 0, Point{0, 10000}, edit::turn_of));
    // 0 to 270 degrees.
    const Node& big = node(arc(1, 0, 0, 10000, 0, 49152));
    EXPECT_TRUE(model::hit_arc_stroke(big, 0, Point{-7071, -7071}, edit::turn_of));
    EXPECT_TRUE(model::hit_arc_stroke(big, 0, Point{0, -10000}, edit::turn_of));
    EXPECT_FALSE(model::hit_arc_stroke(big, 0, Point{7071, -7071}, edit::turn_of));
    // A circular Arc's rotation adds to its start: 90 to 180 degrees.
    Ref turned = arc(1, 0, 0, 10000, 0, 16384);
    node(turned).arc.angle = 16384;
    EXPECT_TRUE(model::hit_arc_stroke(node(turned), 0, Point{-7071, 7071}, edit::turn_of));
    EXPECT_FALSE(model::hit_arc_stroke(node(turned), 0, Point{7071, 7071}, edit::turn_of));
    // The tolerance widens the ring.
    EXPECT_TRUE(model::hit_arc_stroke(q, 60, Point{7071 + 100, 7071 + 100}, edit::turn_of)); // d = 10141
}

TEST_F(HitTest, EllipticalArcIsMappedOntoItsCircle) {
    // Major radius 10000, ratio one half: the minor radius is 5000; a full ellipse.
    Ref e = arc(1, 0, 0, 10000, 0, 0);
    node(e).arc.ellipse = 32768;
    EXPECT_TRUE(model::hit_arc_stroke(node(e), 0, Point{0, 5000}, edit::turn_of));
    EXPECT_TRUE(model::hit_arc_stroke(node(e), 0, Point{10000, 0}, edit::turn_of));
    EXPECT_FALSE(model::hit_arc_stroke(node(e), 0, Point{0, 10000}, edit::turn_of));
    // Turned by 90 degrees the major axis lies along Y.
    node(e).arc.angle = 16384;
    EXPECT_TRUE(model::hit_arc_stroke(node(e), 0, Point{5000, 0}, edit::turn_of));
    EXPECT_TRUE(model::hit_arc_stroke(node(e), 0, Point{0, 10000}, edit::turn_of));
    EXPECT_FALSE(model::hit_arc_stroke(node(e), 0, Point{10000, 0}, edit::turn_of));
}

TEST_F(HitTest, PadShapesGrownByTheToleranceAndTurned) {
    // Circle of diameter 1000 with tolerance 10: radius 510.
    const Node& round = node(pad(0, 0, 0, 1000, 1000, kOvalThru));
    EXPECT_TRUE(model::hit_pad(round, 10, Point{510, 0}, edit::turn_of));
    EXPECT_FALSE(model::hit_pad(round, 10, Point{511, 0}, edit::turn_of));
    EXPECT_TRUE(model::hit_pad(round, 10, Point{360, 360}, edit::turn_of));  // 4 * 259200 <= 1020^2
    EXPECT_FALSE(model::hit_pad(round, 10, Point{361, 361}, edit::turn_of)); // 4 * 260642 > 1020^2
    // Rectangle 2000 x 1000.
    const Node& rect = node(pad(0, 0, 0, 2000, 1000, kRectThru));
    EXPECT_TRUE(model::hit_pad(rect, 0, Point{1000, 500}, edit::turn_of));
    EXPECT_FALSE(model::hit_pad(rect, 0, Point{1001, 0}, edit::turn_of));
    EXPECT_FALSE(model::hit_pad(rect, 0, Point{0, 501}, edit::turn_of));
    // Turned by 90 degrees it stands upright.
    const Node& up = node(pad(0, 0, 0, 2000, 1000, kRectThru, model::kNone, 16384));
    EXPECT_TRUE(model::hit_pad(up, 0, Point{500, 1000}, edit::turn_of));
    EXPECT_FALSE(model::hit_pad(up, 0, Point{1000, 500}, edit::turn_of));
    // A long thin rectangle at 45 degrees: along the diagonal yes, beside it no.
    const Node& slant = node(pad(0, 0, 0, 2000, 200, kRectSmt, model::kNone, 8192));
    EXPECT_TRUE(model::hit_pad(slant, 0, Point{700, 700}, edit::turn_of));
    EXPECT_FALSE(model::hit_pad(slant, 0, Point{700, 0}, edit::turn_of));
    // A 1000 square turned 45 degrees reaches 707 along the axes: its corners are hit, and an index that
    // boxes the pad holds them.
    const Node& diamond = node(pad(0, 0, 0, 1000, 1000, kRectSmt, model::kNone, 8192));
    EXPECT_TRUE(model::hit_pad(diamond, 0, Point{700, 0}, edit::turn_of));
    EXPECT_TRUE(model::hit_pad(diamond, 0, Point{0, -700}, edit::turn_of));
    EXPECT_FALSE(model::hit_pad(diamond, 0, Point{720, 0}, edit::turn_of));
    model::Box box;
    ASSERT_TRUE(model::hit_extent(diamond, box));
    EXPECT_GE(box.x2, 707);
    EXPECT_LE(box.y1, -707);
    // Oblong 2000 x 1000: end circles of radius 500 centred 500 from the middle; the box corners miss.
    const Node& obl = node(pad(0, 0, 0, 2000, 1000, kOvalSmt));
    EXPECT_TRUE(model::hit_pad(obl, 0, Point{1000, 0}, edit::turn_of));
    EXPECT_TRUE(model::hit_pad(obl, 0, Point{400, 499}, edit::turn_of));
    EXPECT_TRUE(model::hit_pad(obl, 0, Point{900, 300}, edit::turn_of));  // 400^2 + 300^2 = 500^2
    EXPECT_FALSE(model::hit_pad(obl, 0, Point{900, 310}, edit::turn_of)); // inside the box, outside the end
}

TEST_F(HitTest, TextBoxFollowsAnchorAngleAndMirroringGrownByAnEighth) {
    // Height 6000 (six steps of 1000), length 10000; an eighth of the height is 750.
    Ref bl = text(1, 0, 0, 6000, 10000, 0);
    EXPECT_TRUE(model::hit_text(node(bl), Point{10750, 6750}, edit::turn_of));
    EXPECT_TRUE(model::hit_text(node(bl), Point{-750, -750}, edit::turn_of));
    EXPECT_FALSE(model::hit_text(node(bl), Point{10751, 0}, edit::turn_of));
    EXPECT_FALSE(model::hit_text(node(bl), Point{5000, -751}, edit::turn_of));
    // Centred both ways: [-5000, 5000] x [-3000, 3000] before growing.
    Ref cc = text(1, 0, 0, 6000, 10000, 5);
    EXPECT_TRUE(model::hit_text(node(cc), Point{-5750, 3750}, edit::turn_of));
    EXPECT_FALSE(model::hit_text(node(cc), Point{5751, 0}, edit::turn_of));
    // At 90 degrees the text runs up the Y axis with its glyphs to the left.
    Ref up = text(1, 0, 0, 6000, 10000, 0, 16384);
    EXPECT_TRUE(model::hit_text(node(up), Point{-6750, 10750}, edit::turn_of));
    EXPECT_TRUE(model::hit_text(node(up), Point{-6000, 5000}, edit::turn_of));
    EXPECT_FALSE(model::hit_text(node(up), Point{751, 5000}, edit::turn_of));
    // A mirrored text runs backwards from its origin.
    Ref mir = text(1, 0, 0, 6000, -10000, 0);
    EXPECT_TRUE(model::hit_text(node(mir), Point{-10750, 100}, edit::turn_of));
    EXPECT_FALSE(model::hit_text(node(mir), Point{751, 100}, edit::turn_of));
}

TEST_F(HitTest, PointInSolidCountsCrossingsAndEdges) {
    // A U: the notch x 1000..2000 above y 1000 is outside.
    Ref u = solid(1, {{0, 0}, {3000, 0}, {3000, 3000}, {2000, 3000}, {2000, 1000}, {1000, 1000}, {1000, 3000}, {0, 3000}});
    EXPECT_TRUE(model::point_in_solid(u, Point{500, 2000}, 0));
    EXPECT_TRUE(model::point_in_solid(u, Point{1500, 500}, 0));
    EXPECT_FALSE(model::point_in_solid(u, Point{1500, 2000}, 0));
    // On the scan line through two lower vertex ends (each counting twice) and on the bottom edge of the
    // notch (inside, being on an edge); just above that edge it is the notch again.
    EXPECT_TRUE(model::point_in_solid(u, Point{500, 1000}, 0));
    EXPECT_TRUE(model::point_in_solid(u, Point{1500, 1000}, 0));
    EXPECT_FALSE(model::point_in_solid(u, Point{1500, 1001}, 0));
    EXPECT_TRUE(model::point_in_solid(u, Point{3000, 1500}, 0)); // on the right edge
    EXPECT_FALSE(model::point_in_solid(u, Point{3001, 1500}, 0));
    // With a reach the edge may be that far away (the closing edge from the last vertex included).
    EXPECT_TRUE(model::point_in_solid(u, Point{3010, 1500}, 10));
    EXPECT_TRUE(model::point_in_solid(u, Point{-10, 1500}, 10));
    EXPECT_FALSE(model::point_in_solid(u, Point{3011, 1500}, 10));
    // The peak of a triangle: the scan line meets two upper ends there (one each), so beside it is outside.
    Ref tri = solid(1, {{0, 0}, {2000, 0}, {1000, 1000}});
    EXPECT_FALSE(model::point_in_solid(tri, Point{500, 1000}, 0));
    EXPECT_TRUE(model::point_in_solid(tri, Point{1000, 1000}, 0));
    EXPECT_TRUE(model::point_in_solid(tri, Point{1000, 500}, 0));
}

TEST(PickTolerance, IsOnePixelInUnitsRounded) {
    // At 128 dots per inch (scale 2^23) a pixel is 512 units: (2^32 + 2^22) / 2^23 = 512.5, truncated.
    EXPECT_EQ(edit::pick_tolerance(0x800000), 512);
    // At scale 3 the rounding adds half the scale first: (2^32 + 1) / 3.
    EXPECT_EQ(edit::pick_tolerance(3), 1431655765);
    EXPECT_EQ(edit::pick_tolerance(0xFFFFFFFF), 1);
}

} // namespace
} // namespace edit_test
