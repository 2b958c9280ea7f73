// The fixed-point helpers, the point and box types, and the ring walks.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <type_traits>
#include <vector>

#include "document_fixture.h"
#include "model/fixed.h"
#include "model/model.h"

using namespace trazel::model;

namespace {

constexpr uint64_t kU64Max = std::numeric_limits<uint64_t>::max();

} // namespace

TEST(FixedDivision, FloorAndCeilRoundTheSameWayForEitherSign) {
    EXPECT_EQ(floor_div(7, 2), 3);
    EXPECT_EQ(floor_div(-7, 2), -4);
    EXPECT_EQ(floor_div(-8, 2), -4);
    EXPECT_EQ(floor_div(-1, 65536), -1);
    // A negative divisor (mirrored text steps): still towards minus infinity.
    EXPECT_EQ(floor_div(7, -2), -4);
    EXPECT_EQ(floor_div(-7, -2), 3);
    EXPECT_EQ(floor_div(0, -5), 0);
    EXPECT_EQ(ceil_div(7, 2), 4);
    EXPECT_EQ(ceil_div(-7, 2), -3);
    EXPECT_EQ(ceil_div(7, -2), -3);
    EXPECT_EQ(ceil_div(-7, -2), 4);
    EXPECT_EQ(ceil_div(-8, 2), -4);
}

TEST(FixedDivision, ExtremeCoordinates) {
    EXPECT_EQ(floor_div(INT32_MIN, 65536), -32768);
    EXPECT_EQ(floor_div(int64_t{INT32_MIN} + 1, 65536), -32768);
    EXPECT_EQ(floor_div(INT32_MAX, 65536), 32767);
    EXPECT_EQ(ceil_div(INT32_MAX, 65536), 32768);
    EXPECT_EQ(floor_div(std::numeric_limits<int64_t>::min(), 3), -3074457345618258603);
    EXPECT_EQ(abs64(INT32_MIN), int64_t{2147483648});
    EXPECT_EQ(abs64(-int64_t{INT32_MAX} * INT32_MAX), int64_t{INT32_MAX} * INT32_MAX);
    EXPECT_EQ(abs64(0), 0);
}

TEST(FixedRoot, FloorOfTheRootAcrossTheRange) {
    for (uint64_t v = 0; v < 20000; ++v) {
        uint64_t r = isqrt64(v);
        ASSERT_LE(r * r, v) << v;
        ASSERT_GT((r + 1) * (r + 1), v) << v;
    }
    const uint64_t top = 0xFFFFFFFFull; // the largest root
    EXPECT_EQ(isqrt64(top * top), top);
    EXPECT_EQ(isqrt64(top * top - 1), top - 1);
    EXPECT_EQ(isqrt64(kU64Max), top); // (top + 1)^2 would wrap to 0
    EXPECT_EQ(isqrt64(uint64_t{1} << 62), uint64_t{1} << 31);
    EXPECT_EQ(isqrt64((uint64_t{1} << 62) - 1), (uint64_t{1} << 31) - 1);
    EXPECT_EQ(isqrt64(uint64_t{1} << 63), 3037000499u);
}

TEST(FixedPoint16, UnitConversionsRoundDown) {
    EXPECT_EQ(to_units(3), 196608);
    EXPECT_EQ(to_units(-1), -65536);
    EXPECT_EQ(to_units(32767), int64_t{INT32_MAX} - 65535);
    EXPECT_EQ(from_units(65535), 0);
    EXPECT_EQ(from_units(65536), 1);
    EXPECT_EQ(from_units(-1), -1);
    EXPECT_EQ(from_units(-65536), -1);
    EXPECT_EQ(from_units(-65537), -2);
    EXPECT_EQ(from_units(INT32_MIN), -32768);
    EXPECT_EQ(from_units(uint32_t{0xFFFFFFFF}), 65535u);
}

TEST(FixedPoint16, HalvesRoundUpAndTheArgumentTypeIsKept) {
    EXPECT_EQ(round16(int64_t{0x7FFF}), 0);
    EXPECT_EQ(round16(int64_t{0x8000}), 1);
    EXPECT_EQ(round16(int64_t{-0x8000}), 0); // -0.5 goes up
    EXPECT_EQ(round16(int64_t{-0x8001}), -1);
    EXPECT_EQ(round16(int64_t{3} * 65536 + 0x8000), 4);
    // An unsigned value keeps its full range: the top of uint64 rounds without going negative.
    EXPECT_EQ(round16(kU64Max - 0x8000), (kU64Max >> 16));
    static_assert(std::is_same_v<decltype(round16(uint32_t{1})), uint32_t>);
}

TEST(FixedPoint16, ProductsRoundDownOrHalfUp) {
    EXPECT_EQ(mul16(3, 0x8000), 1);         // 1.5
    EXPECT_EQ(mul16(-3, 0x8000), -2);       // -1.5 down
    EXPECT_EQ(mul16_round(3, 0x8000), 2);   // 1.5 up
    EXPECT_EQ(mul16_round(-3, 0x8000), -1); // -1.5 up
    EXPECT_EQ(mul16_round(-5, 0x8000), -2);
    // A coordinate times a sine of 1.0 comes back unchanged at both ends of the range.
    EXPECT_EQ(mul16(INT32_MIN, 65536), INT32_MIN);
    EXPECT_EQ(mul16_round(INT32_MAX, 65536), INT32_MAX);
    EXPECT_EQ(mul16(INT32_MAX, -65536), -int64_t{INT32_MAX});
    EXPECT_EQ(mul16(INT32_MAX, INT32_MAX), (int64_t{INT32_MAX} * INT32_MAX) >> 16);
}

TEST(FixedDistance, SamePlaceIsLessThanFourUnitsInEachAxis) {
    const Point o{1000, -2000};
    EXPECT_TRUE(same_place(o, o));
    EXPECT_TRUE(same_place(o, Point{1003, -1997}));
    EXPECT_TRUE(same_place(o, Point{997, -2003}));
    EXPECT_FALSE(same_place(o, Point{1004, -2000}));
    EXPECT_FALSE(same_place(o, Point{996, -2000}));
    EXPECT_FALSE(same_place(o, Point{1000, -1996}));
    EXPECT_FALSE(same_place(o, Point{1000, -2004}));
    // Four units away in both axes at once is not the same place either, and the far corners of the
    // coordinate range do not wrap round to meet.
    EXPECT_FALSE(same_place(o, Point{1004, -1996}));
    EXPECT_FALSE(same_place(Point{INT32_MIN, 0}, Point{INT32_MAX, 0}));
    EXPECT_TRUE(same_place(Point{INT32_MAX, INT32_MIN}, Point{INT32_MAX - 3, INT32_MIN + 3}));
}

TEST(FixedDistance, WithinReachIncludesTheEdge) {
    EXPECT_TRUE(within_reach(3, 4, 5));
    EXPECT_TRUE(within_reach(-3, -4, 5));
    EXPECT_FALSE(within_reach(3, 4, 4));
    EXPECT_FALSE(within_reach(4, 4, 5));
    EXPECT_TRUE(within_reach(0, 0, 0));
    const int64_t big = INT32_MAX;
    EXPECT_TRUE(within_reach(big, 0, big));
    EXPECT_FALSE(within_reach(big, 1, big));
}

TEST(BoxType, GrowsByPointsAndBoxes) {
    Box b;
    EXPECT_TRUE(b.empty());
    b.add(Box{}); // an empty box adds nothing
    EXPECT_TRUE(b.empty());
    b.add(5, -7);
    EXPECT_FALSE(b.empty());
    EXPECT_EQ(b.x1, 5);
    EXPECT_EQ(b.x2, 5);
    EXPECT_EQ(b.y1, -7);
    b.add(Box{-10, 0, 2, 20});
    EXPECT_EQ(b.x1, -10);
    EXPECT_EQ(b.y1, -7);
    EXPECT_EQ(b.x2, 5);
    EXPECT_EQ(b.y2, 20);
    EXPECT_TRUE(b.contains(-10, 20));
    EXPECT_FALSE(b.contains(-11, 0));
    EXPECT_TRUE(b.meets(Box{5, 20, 9, 30})); // corners included
    EXPECT_FALSE(b.meets(Box{6, 0, 9, 30}));
}

namespace {

struct RingWalk : model_test::ItemsInADocument {
    Ref line(Ref into, Coord x) {
        return MakeItem(into, kLine, 1, 10, x, 0, x, 1);
    }
    // Components nested `levels` deep, one Line in the innermost; returns the outermost.
    Ref nest(int levels) {
        Ref outer = make_component(ring(), 0, 0, "N");
        Ref c = outer;
        for (int i = 1; i < levels; ++i) {
            c = make_component(member_ring(c), 0, 0, "N");
        }
        line(member_ring(c), 99);
        return outer;
    }
};

} // namespace

TEST_F(RingWalk, RangeVisitsItemsInOrderAndLetsTheBodyDeleteThem) {
    Ref a = line(ring(), 1), b = line(ring(), 2), c = line(ring(), 3);
    std::vector<Ref> seen;
    for (Ref r : items_in(ring())) {
        seen.push_back(r);
        DeleteItem(r);
    }
    EXPECT_EQ(seen, (std::vector<Ref>{a, b, c}));
    EXPECT_TRUE(ring_empty(ring()));
    int n = 0;
    for (Ref r : items_in(ring())) {
        (void)r;
        ++n;
    }
    EXPECT_EQ(n, 0);
}

TEST_F(RingWalk, TreeWalkVisitsMembersAfterTheirOwnerUnlessTold) {
    Ref a = line(ring(), 1);
    Ref c = make_component(ring(), 0, 0, "C");
    Ref m1 = line(member_ring(c), 2), m2 = line(member_ring(c), 3);
    Ref b = line(ring(), 4);
    std::vector<std::pair<Ref, int>> seen;
    walk_tree(ring(), [&](Ref r, int depth) { seen.emplace_back(r, depth); });
    EXPECT_EQ(seen, (std::vector<std::pair<Ref, int>>{{a, 0}, {c, 0}, {m1, 1}, {m2, 1}, {b, 0}}));

    seen.clear();
    walk_tree(ring(), [&](Ref r, int depth) {
        seen.emplace_back(r, depth);
        return r != c;
    });
    EXPECT_EQ(seen, (std::vector<std::pair<Ref, int>>{{a, 0}, {c, 0}, {b, 0}}));
}

TEST_F(RingWalk, TreeWalkReachesTheDeepestNestingTheReaderMakesAndNoFurther) {
    nest(kMaxComponentDepth);
    int deepest = -1, lines = 0;
    walk_tree(ring(), [&](Ref r, int depth) {
        deepest = std::max(deepest, depth);
        lines += node(r).item_kind() == kLine;
    });
    EXPECT_EQ(deepest, kMaxComponentDepth);
    EXPECT_EQ(lines, 1);

    DeleteItem(first_item(ring()));
    nest(kMaxComponentDepth + 1); // only code can build this; the walk stops at the limit
    deepest = -1;
    lines = 0;
    walk_tree(ring(), [&](Ref r, int depth) {
        deepest = std::max(deepest, depth);
        lines += node(r).item_kind() == kLine;
    });
    EXPECT_EQ(deepest, kMaxComponentDepth);
    EXPECT_EQ(lines, 0);
}

TEST_F(RingWalk, TreeWalkEndsOnARingThatHoldsItsOwnOwner) {
    Ref outer = make_component(ring(), 0, 0, "A");
    Ref inner = make_component(member_ring(outer), 0, 0, "B");
    Ref own = node(inner).link;
    node(inner).link = node(outer).link; // inner's members are the ring that holds inner
    int visits = 0;
    walk_tree(ring(), [&](Ref, int) { ++visits; });
    EXPECT_EQ(visits, 1 + kMaxComponentDepth); // outer, then inner once at each depth
    node(inner).link = own;
}
