// The point-in-polygon test: inside, outside, on an edge, and the nearest crossing ahead.
#include <gtest/gtest.h>

#include "model/geometry.h"

using namespace trazel::model;

TEST(PointInPolygon, SquareInsideOutsideAndEdges) {
    const Point sq[4] = {{0, 0}, {10, 0}, {10, 10}, {0, 10}};
    PolygonHit in = point_in_polygon(sq, 4, 5, 5);
    EXPECT_EQ(in.where, Where::Inside);
    EXPECT_EQ(in.crossings, 1);
    EXPECT_EQ(in.nearest, 10);

    PolygonHit left = point_in_polygon(sq, 4, -5, 5); // both sides ahead: even, nearest the left one
    EXPECT_EQ(left.where, Where::Outside);
    EXPECT_EQ(left.crossings, 2);
    EXPECT_EQ(left.nearest, 0);

    PolygonHit right = point_in_polygon(sq, 4, 15, 5);
    EXPECT_EQ(right.where, Where::Outside);
    EXPECT_FALSE(right.ahead);

    EXPECT_EQ(point_in_polygon(sq, 4, 0, 5).where, Where::OnEdge);   // left side
    EXPECT_EQ(point_in_polygon(sq, 4, 5, 10).where, Where::OnEdge);  // top, a horizontal edge
    EXPECT_EQ(point_in_polygon(sq, 4, 10, 10).where, Where::OnEdge); // a corner
    PolygonHit edge = point_in_polygon(sq, 4, 0, 5);
    EXPECT_TRUE(edge.ahead); // the far side is still reported
    EXPECT_EQ(edge.nearest, 10);
    EXPECT_EQ(point_in_polygon(sq, 4, 5, 11).where, Where::Outside);
    EXPECT_EQ(point_in_polygon(sq, 2, 5, 5).where, Where::Outside); // not a polygon
}

TEST(PointInPolygon, VerticesOnTheScanLineKeepTheParity) {
    // A diamond whose left and right corners lie on y = 5: each counts once, so from x = -1 two
    // crossings (at 0 and 10) mean outside and from x = 3 one (at 10) means inside.
    const Point diamond[4] = {{5, 0}, {10, 5}, {5, 10}, {0, 5}};
    PolygonHit a = point_in_polygon(diamond, 4, -1, 5);
    EXPECT_EQ(a.where, Where::Outside);
    EXPECT_EQ(a.crossings, 2);
    EXPECT_EQ(a.nearest, 0);
    PolygonHit b = point_in_polygon(diamond, 4, 3, 5);
    EXPECT_EQ(b.where, Where::Inside);
    EXPECT_EQ(b.nearest, 10);
    // The top corner is a peak: the scan line through it meets no edge.
    PolygonHit peak = point_in_polygon(diamond, 4, 0, 10);
    EXPECT_FALSE(peak.ahead);
    EXPECT_EQ(point_in_polygon(diamond, 4, 5, 10).where, Where::OnEdge);
}

TEST(PointInPolygon, CrossingsBetweenUnitsRoundDown) {
    // The slanted side from (7, 0) to (0, 3) crosses y = 1 at x = 14/3 = 4.67: from x = 4 it is ahead
    // (nearest 4 after rounding down) and the point is inside; from x = 5 it is behind.
    const Point tri[3] = {{0, 0}, {7, 0}, {0, 3}};
    PolygonHit a = point_in_polygon(tri, 3, 4, 1);
    EXPECT_EQ(a.where, Where::Inside);
    EXPECT_EQ(a.nearest, 4);
    EXPECT_EQ(point_in_polygon(tri, 3, 5, 1).where, Where::Outside);
    EXPECT_EQ(point_in_polygon(tri, 3, 3, 0).where, Where::OnEdge); // on the bottom side
    // From (6, 0) to (0, 3) the side passes y = 1 at exactly x = 4.
    const Point tri2[3] = {{0, 0}, {6, 0}, {0, 3}};
    EXPECT_EQ(point_in_polygon(tri2, 3, 4, 1).where, Where::OnEdge);
    EXPECT_EQ(point_in_polygon(tri2, 3, 3, 1).where, Where::Inside);
    // Far coordinates do not overflow: a tall thin triangle spanning most of the 32-bit range.
    const Point tall[3] = {{-1000, -2000000000}, {1000, -2000000000}, {0, 2000000000}};
    EXPECT_EQ(point_in_polygon(tall, 3, 0, 0).where, Where::Inside);
    EXPECT_EQ(point_in_polygon(tall, 3, 900, 1000000000).where, Where::Outside);
}
