#include <gtest/gtest.h>

#include <cstring>
#include <utility>
#include <vector>

#include "display/view.h"

using namespace trazel::display;
using trazel::model::Point;

namespace {

using Dots = std::vector<std::pair<int, int>>; // (row, column)

// 128 dots per inch (512 units a pixel), origins 0, 578 rows: row = 577 - y / 512, column = x / 512.
View dot_view(uint32_t display_grid) {
    View v;
    v.area = Rect{0, 0, 577, 799};
    v.drawing_height = 578;
    v.display_grid = display_grid;
    return v;
}

Dots dots_of(const View& v, const Rect& clip) {
    Dots d;
    for_each_grid_dot(v, clip, [&d](int row, int col) { d.emplace_back(row, col); });
    return d;
}

Dots grid_of(const std::vector<int>& rows, const std::vector<int>& cols) {
    Dots d;
    for (int r : rows) {
        for (int c : cols) {
            d.emplace_back(r, c);
        }
    }
    return d;
}

void set_name(View& v, int i, const char* name) {
    v.grid_names[static_cast<size_t>(i)] = {};
    std::memcpy(v.grid_names[static_cast<size_t>(i)].data(), name, std::strlen(name));
    v.grid_index = i;
}

} // namespace

TEST(ViewGridDots, EightPixelGridFromTheTopDownAndNothingCloser) {
    // 4096 units = 8 pixels.  The top edge (row 0) is y = 577 * 512 = 72.125 grid steps: step 72 is
    // row 577 - 576 = 1.  The left edge is x = 0, column 0.
    Dots d = dots_of(dot_view(0x10000000), Rect{0, 0, 99, 99});
    std::vector<int> rows, cols;
    for (int i = 0; i < 13; ++i) {
        rows.push_back(1 + 8 * i);
        cols.push_back(8 * i);
    }
    EXPECT_EQ(d, grid_of(rows, cols));
    // 4095 units at 512 a pixel is 7.998 pixels; nothing at all.  Nor in an empty rectangle.
    EXPECT_TRUE(dots_of(dot_view(0x0FFF0000), Rect{0, 0, 99, 99}).empty());
    EXPECT_TRUE(dots_of(dot_view(0x10000000), Rect{}).empty());
}

TEST(ViewGridDots, FractionalSpacingIsCarried) {
    // 4352 units = 8.5 pixels: columns at 8.5k rounded half up.  Rows: the top edge is 67.88 steps, so
    // step 68 (row -1) is outside; step 67 is 569.5 pixels up, row 577 - 570 = 7 as the screen conversion
    // puts it; step 66 is row 577 - 561 = 16; step 65 (row 24) is below the rectangle.
    Dots d = dots_of(dot_view(0x11000000), Rect{0, 0, 20, 99});
    EXPECT_EQ(d, grid_of({7, 16}, {0, 9, 17, 26, 34, 43, 51, 60, 68, 77, 85, 94}));
    EXPECT_EQ(to_screen_y(dot_view(0), 67 * 4352), 7);
}

TEST(ViewGridDots, NearestMultipleOutsideTheClipIsSkipped) {
    View v = dot_view(0x10000000);
    v.origin_x = -399; // x = 0 at column 399
    // Left edge 305: x = -94 * 512 = -11.75 steps, nearest -12 = column 303, left of the edge, so the
    // first dot is at 311.  Top edge 200: y = 377 * 512 = 47.125 steps, step 47 is row 577 - 376 = 201.
    Dots d = dots_of(v, Rect{200, 305, 210, 350});
    EXPECT_EQ(d, grid_of({201, 209}, {311, 319, 327, 335, 343}));
}

TEST(ReadoutCursor, FieldLayout) {
    // Inches: units / 65536, rounded at the last shown decimal.
    EXPECT_EQ(readout_field(0x18000, 3, 0x10000), "     1.500 ");
    EXPECT_EQ(readout_field(-0x18000, 3, 0x10000), "    -1.500 ");
    EXPECT_EQ(readout_field(-149, 3, 0x10000), "    -0.002 ");         // 0.00227
    EXPECT_EQ(readout_field(-20, 3, 0x10000), "     0.000 ");          // rounds to zero: no sign
    EXPECT_EQ(readout_field(0x10000 + 33, 3, 0x10000), "     1.001 "); // 1.000504
    EXPECT_EQ(readout_field(0x18000, 0, 0x10000), "     2.    ");
    // Five integer digits; the sign takes the first place when all are used.
    EXPECT_EQ(readout_field(12345 * 65536 + 32768, 4, 0x10000), " 12345.5000");
    EXPECT_EQ(readout_field(-(12345 * 65536 + 32768), 4, 0x10000), "-12345.5000");
    // Millimetres: times 1664614 / 65536.  One inch is 25.39999 mm; one unit 0.00038757 mm.
    EXPECT_EQ(readout_field(65536, -2, 0x10000), "    25.40  ");
    EXPECT_EQ(readout_field(1, -4, 0x10000), "     0.0004");
    EXPECT_EQ(readout_field(-65536 * 10, -3, 0x10000), "  -254.000 "); // 253.99994
    // More than five digits widen the field rather than lose them: 32767.99998" * 25.399994 = 832306.9996.
    EXPECT_EQ(readout_field(0x7FFFFFFF, -1, 0x10000), "832307.0   ");
    // The read-out factor scales the value.
    EXPECT_EQ(readout_field(0x18000, 3, 0x20000), "     3.000 ");
    EXPECT_EQ(readout_field(0x18000, 5, 0x10000), "     1.5000"); // at most four decimals
}

TEST(ReadoutCursor, BothFieldsAndTheRelativeOriginMark) {
    View v;
    v.cursor_x = 0x18000;
    v.cursor_y = -0x8000;
    // X in 11 characters plus the mark, Y from column 17.
    EXPECT_EQ(cursor_readout(v), std::string("     1.500  ") + "     " + "    -0.500  ");
    v.rel_x = 0x10000;
    v.rel_y = 0x10000;
    v.rel_set = true;
    EXPECT_EQ(cursor_readout(v), std::string("     0.500 *") + "     " + "    -1.500 *");
    v.decimals = -1; // 12.7 mm and -38.1 mm
    EXPECT_EQ(cursor_readout(v), std::string("    12.7   *") + "     " + "   -38.1   *");
    // Far from the relative origin the difference is more than a coordinate can hold.
    v.decimals = 0;
    v.cursor_x = 0x7FFFFFFF;
    v.rel_x = -0x7FFFFFFF;
    EXPECT_EQ(cursor_readout(v).substr(0, 11), " 65536.    "); // 65535.99997
}

TEST(ReadoutGrid, NumberOrName) {
    View v;
    v.snap = 0x06660000; // 1638 units = 0.024994"
    EXPECT_EQ(grid_readout(v), "Grid: 0.025\"  ");
    v.decimals = 4;
    EXPECT_EQ(grid_readout(v), "Grid: 0.0250\"  ");
    // Metric: 1638 * 25 + (1638 * 4 + 5) / 10 = 41605, 0.63484 mm.
    v.decimals = -2;
    EXPECT_EQ(grid_readout(v), "Grid: 0.63mm  ");
    v.decimals = 3;
    // A fraction with one inch mark, or of millimetres, is shown by its name.
    set_name(v, 2, "1/40\"");
    EXPECT_EQ(grid_readout(v), "Grid: 1/40\"  ");
    set_name(v, 2, "1/2mm");
    EXPECT_EQ(grid_readout(v), "Grid: 1/2mm  ");
    set_name(v, 2, "0.025\""); // no fraction: the number
    EXPECT_EQ(grid_readout(v), "Grid: 0.025\"  ");
    set_name(v, 2, "1/2m");
    EXPECT_EQ(grid_readout(v), "Grid: 0.025\"  ");
}

TEST(ReadoutGrid, FactorAndAngleModeMarks) {
    View v;
    v.snap = 0x06660000;
    set_name(v, 0, "1/40\"");
    v.readout_factor = 0x20000; // 3276 units = 0.049988"
    EXPECT_EQ(grid_readout(v), "Grid: *0.050\"  ");
    v.readout_factor = 0x10000;
    const char* marks[4] = {"", "+", "#", "*"};
    for (int mode = 0; mode < 4; ++mode) {
        v.angle_mode = mode;
        EXPECT_EQ(grid_readout(v), std::string("Grid: 1/40\"") + marks[mode] + "  ");
    }
    // A spacing below one unit reads as zero.
    v.grid_index = -1;
    v.angle_mode = 0;
    v.snap = 0x8000;
    EXPECT_EQ(grid_readout(v), "Grid: 0.000\"  ");
}

TEST(ReadoutAngle, DirectionAndDistanceWithDroppingDecimals) {
    View v;
    const std::string deg(1, kDegreeSign);
    // (1", 1"): 45 degrees, sqrt 2 = 1.414214 inches.
    v.cursor_x = 65536;
    v.cursor_y = 65536;
    EXPECT_EQ(angle_distance_readout(v, Point{0, 0}), "   45.0" + deg + "  1.41421");
    // Metric: 1.4142136 * 1664614 / 65536 = 35.921016 mm.
    v.decimals = -3;
    EXPECT_EQ(angle_distance_readout(v, Point{0, 0}), "   45.0" + deg + "  35.92102");
    v.decimals = 3;
    // From the anchor, not from the origin: 10" straight down is 270 degrees, 4 decimals from 10" on.
    v.cursor_x = 1000;
    v.cursor_y = 2000 - 655360;
    EXPECT_EQ(angle_distance_readout(v, Point{1000, 2000}), "  270.0" + deg + "  10.0000");
    v.cursor_y = 2000 - 655359; // just short of 10": five decimals, 9.9999847
    EXPECT_EQ(angle_distance_readout(v, Point{1000, 2000}), "  270.0" + deg + "  9.99998");
    v.cursor_x = -6553600; // 100" to the left: 3 decimals
    v.cursor_y = 0;
    EXPECT_EQ(angle_distance_readout(v, Point{0, 0}), "  180.0" + deg + "  100.000");
    // Just below a full turn rounds to 0.0, not 360.0.
    v.cursor_x = 65536;
    v.cursor_y = -1;
    EXPECT_EQ(angle_distance_readout(v, Point{0, 0}), "    0.0" + deg + "  1.00000");
    // The read-out factor scales the distance only.
    v.cursor_y = 0;
    v.readout_factor = 0x20000;
    EXPECT_EQ(angle_distance_readout(v, Point{0, 0}), "    0.0" + deg + "  2.00000");
    // The largest difference the coordinates allow does not overflow: 2^32 - 2 units across is
    // 65535.99997", shown with two decimals.
    v.readout_factor = 0x10000;
    v.cursor_x = 0x7FFFFFFF;
    EXPECT_EQ(angle_distance_readout(v, Point{-0x7FFFFFFF, 0}), "    0.0" + deg + "  65536.00");
}
