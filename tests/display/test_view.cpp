#include <gtest/gtest.h>

#include <climits>
#include <vector>

#include "display/trig.h"
#include "display/view.h"

using namespace trazel::display;
using trazel::model::Point;

namespace {

// An 800 x 578 drawing area at 128 dots per inch (512 units a pixel), Document 0,0 at pixel (399, 288).
View centred_view(uint32_t scale = kStartScale) {
    View v;
    v.scale = scale;
    v.area = Rect{0, 0, 577, 799};
    v.drawing_height = 578;
    place_cursor_at(v, 399, 288);
    return v;
}

struct Calls {
    int crosshair = 0, readout = 0;
    std::vector<std::pair<int, int>> scrolls;
};

void watch(View& v, Calls& c) {
    v.hooks.crosshair_refresh = [&c] { ++c.crosshair; };
    v.hooks.readout_refresh = [&c] { ++c.readout; };
    v.hooks.scroll = [&c](int dx, int dy) { c.scrolls.emplace_back(dx, dy); };
}

} // namespace

TEST(ViewConvert, RoundingAndSaturation) {
    View v;
    v.drawing_height = 600;
    // x * 2^23 / 2^32 = x / 512, halves rounded up.
    EXPECT_EQ(to_screen_x(v, 65536), 128);
    EXPECT_EQ(to_screen_x(v, 256), 1);
    EXPECT_EQ(to_screen_x(v, -256), 0);
    EXPECT_EQ(to_screen_x(v, -257), -1);
    v.origin_y = 10;
    EXPECT_EQ(to_screen_y(v, 65536), 481); // 599 - (128 - 10)
    EXPECT_EQ(to_units_y(v, 481), 65536);
    EXPECT_EQ(length_to_pixels(v, 65535), 127u); // truncated
    // The halved scale drops its lowest bit: 0x7FFFFFFF * 0xFFFFFFFE / 2^32 = 2147483646.0000000005 (the
    // full scale would give 2147483646.5 and round up).  Off the int range the column saturates.
    v.scale = 0xFFFFFFFF;
    EXPECT_EQ(to_screen_x(v, INT32_MAX), 2147483646);
    v.origin_x = INT32_MIN;
    EXPECT_EQ(to_screen_x(v, INT32_MAX), INT_MAX);

    // 192 dots per inch: a pixel is 341.33 units; magnitudes round to nearest, the sign is kept.
    v.scale = 0x00C00000;
    v.origin_x = 0;
    EXPECT_EQ(to_units_x(v, 2), 683);
    EXPECT_EQ(to_units_x(v, -2), -683);
    EXPECT_EQ(pixels_to_length(v, 3), 1024);
    // At 0.5 dots per inch 2^30 pixels are 2^47 units: saturated, also when column + origin < -2^31.
    v.scale = 32768;
    EXPECT_EQ(to_units_x(v, 1 << 30), 0x7FFFFFFF);
    EXPECT_EQ(pixels_to_length(v, -(1 << 30)), -0x7FFFFFFF);
    v.origin_x = INT32_MIN;
    EXPECT_EQ(to_units_x(v, INT_MIN), -0x7FFFFFFF);
}

TEST(ViewSnap, RoundsHalfAwayFromTheAnchorAndKeepsTheResidue) {
    const uint32_t g = 0x00640000; // 100 units
    auto check = [](Snapped s, Coord value, Coord residue) {
        EXPECT_EQ(s.value, value);
        EXPECT_EQ(s.residue, residue);
    };
    check(snap_axis(149, 0, g), 100, 49);
    check(snap_axis(151, 0, g), 200, -49);
    check(snap_axis(-150, 0, g), -200, 50); // half away from zero
    check(snap_axis(-149, 0, g), -100, -49);
    check(snap_axis(1149, 1000, g), 1100, 49); // anchored at the relative origin
    check(snap_axis(-51, 1000, g), -100, 49);  // 1051 below it: 11 steps
    // 1.5 units: 4 / 1.5 = 2.67 steps, 3 steps = 4.5 units, rounded to 5.
    check(snap_axis(4, 0, 0x00018000), 5, -1);
    check(snap_axis(12345, 7, 0xFFFF), 12345, 0); // below one unit: off
    // 2147483.647 steps of 1000 would round past the range: one step back.
    check(snap_axis(INT32_MAX, 0, 0x03E80000), 2147483000, 647);
    check(snap_axis(int64_t{INT32_MIN} - 5000, 0, 0x03E80000), -2147483000, -648);
}

TEST(ViewMove, SlowMotionAddsUpUntilHalfAStep) {
    View v = centred_view(0x400000); // 1024 units a pixel: 0 to 300 units stay on one pixel
    Calls c;
    watch(v, c);
    v.snap = 0x00640000;
    v.cursor_x = 149;
    snap_cursor(v);
    EXPECT_EQ(v.residue_x, 49);
    EXPECT_EQ(move_cursor_by(v, 2, 0, true), 1); // 100 + 2 + 49 = 151 rounds up at 150
    EXPECT_EQ(v.cursor_x, 200);
    EXPECT_EQ(v.residue_x, -49);
    c = Calls{};
    EXPECT_EQ(move_cursor_by(v, 0, 0, true), 0); // back at 151: no change, nothing refreshed
    v.residue_x = 0;
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(move_cursor_by(v, 10, 0, true), 0); // 210 .. 240
    }
    EXPECT_EQ(move_cursor_by(v, 10, 0, true), 1); // 250
    EXPECT_EQ(v.cursor_x, 300);
    EXPECT_EQ(v.residue_x, -50);
    // Same pixel: only the read-out.
    EXPECT_EQ(c.readout, 1);
    EXPECT_EQ(c.crosshair, 0);
}

TEST(ViewMove, ScrollsNearTheEdgesOrStaysOnTheAreaWithoutADocument) {
    View v = centred_view();
    Calls c;
    watch(v, c);
    // 400 pixels right is column 799, 16 past the margin at 783; 300 up is row -12, 24 above row 12.
    EXPECT_EQ(move_cursor_by(v, 400 * 512, 300 * 512, true), 1);
    ASSERT_EQ(c.scrolls.size(), 1u);
    EXPECT_EQ(c.scrolls[0], std::make_pair(-16, 24));
    EXPECT_EQ(v.cursor_col, 783);
    EXPECT_EQ(v.cursor_row, 12);
    EXPECT_EQ(v.origin_x, -399 + 16);
    EXPECT_EQ(c.crosshair, 1);

    // Without a Document: a half-inch grid (64 pixels) would put the cursor 8 steps on, at column 911;
    // the grid point under the clamped column 799 is 6 steps, column 783.
    v = centred_view();
    v.snap = 0x80000000;
    EXPECT_EQ(move_cursor_by(v, 500 * 512, 0, false), 1);
    EXPECT_EQ(v.cursor_x, 6 * 32768);
    EXPECT_EQ(v.cursor_col, 783);
    EXPECT_EQ(move_cursor_by(v, 500 * 512, 0, false), 0);

    // Pulled inside by whole grid steps: column 3 needs two 8-pixel steps to reach the margin, 19.
    v = centred_view();
    v.snap = 0x10000000;
    place_cursor_at(v, 3, 288);
    EXPECT_EQ(pull_cursor_inside(v, v.area, kEdgeMarginX, kEdgeMarginY), 1);
    EXPECT_EQ(v.cursor_col, 19);
    EXPECT_EQ(v.cursor_x, 2 * 4096);
}

TEST(ViewAngle, OctantsAreHalfOpenAtTheirLowerAngle) {
    const int expect[9][3] = {{1, 0, 0},   {1, 1, 1},  {0, 1, 2},  {-1, 1, 3}, {-1, 0, 4},
                              {-1, -1, 5}, {0, -1, 6}, {1, -1, 7}, {0, 0, 0}};
    for (const auto& e : expect) {
        EXPECT_EQ(octant_of(e[0], e[1]), e[2]) << e[0] << "," << e[1];
    }
    // Away from the boundaries it is the top three bits of the binary angle.
    for (int dx = -7; dx <= 7; ++dx) {
        for (int dy = -7; dy <= 7; ++dy) {
            if (dx != 0 && dy != 0 && dx != dy && dx != -dy) {
                EXPECT_EQ(octant_of(dx, dy), atan2_16(dy, dx) >> 13) << dx << "," << dy;
            }
        }
    }
}

TEST(ViewAngle, ConstraintModes) {
    using P = std::pair<Coord, Coord>;
    auto at = [](int mode, Coord x, Coord y, std::optional<Angle> prev = std::nullopt) {
        Point p = constrain_angle(mode, Point{x, y}, Point{0, 0}, prev);
        return P(p.x, p.y);
    };
    EXPECT_EQ(at(0, 100, 30), P(100, 30));
    EXPECT_EQ(at(1, 100, 30), P(100, 0));
    EXPECT_EQ(at(1, -30, -100), P(0, -100));
    EXPECT_EQ(at(1, 100, 100), P(0, 100)); // 45 degrees is octant 1
    // Mode 2: the straight leg, leaving a 45-degree leg to the cursor; legs within 2 units are left.
    EXPECT_EQ(at(2, 100, 30), P(70, 0));
    EXPECT_EQ(at(2, 30, 100), P(0, 70));
    EXPECT_EQ(at(2, -100, 30), P(-70, 0));
    EXPECT_EQ(at(2, 30, -100), P(0, -70));
    EXPECT_EQ(at(2, 100, 98), P(100, 98));
    EXPECT_EQ(at(2, 100, 97), P(3, 0));
    Point p = constrain_angle(2, Point{1100, 530}, Point{1000, 500}, std::nullopt);
    EXPECT_EQ(P(p.x, p.y), P(1070, 500));
    // Mode 3: the octant picks the direction, the smaller leg the diagonal's length.
    EXPECT_EQ(at(3, 100, 30), P(100, 0));
    EXPECT_EQ(at(3, 30, 100), P(30, 30));
    EXPECT_EQ(at(3, -100, 30), P(-30, 30));
    EXPECT_EQ(at(3, 30, -100), P(0, -100));
    EXPECT_EQ(at(3, 100, -30), P(30, -30));
    // After a 45-degree segment (p = 1): octant 0 (p - 1) keeps the diagonal, octant 7 (p - 2) turns to
    // 0, octant 6 is left as it is.  After a horizontal one (p = 0) octant 6 becomes the diagonal 7.
    EXPECT_EQ(at(3, 100, 30, 8192), P(30, 30));
    EXPECT_EQ(at(3, 100, -30, 8192), P(100, 0));
    EXPECT_EQ(at(3, 30, -100, 8192), P(0, -100));
    EXPECT_EQ(at(3, 30, -100, 0), P(30, -30));
    EXPECT_EQ(at(3, 100, 30, 8192 - 100), P(30, 30)); // rounded into octant 1 by the sixteenth turn
    EXPECT_EQ(at(3, 100, 0, 8192), P(100, 0));        // a zero leg: the own octant
}
