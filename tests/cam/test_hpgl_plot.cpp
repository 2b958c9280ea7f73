// The HPGL plot command by command, for small boards worked by hand (1016 plotter units to the inch).
#include <gtest/gtest.h>

#include "cam/hpgl_plot.h"
#include "cam_fixture.h"
#include "platform/headless.h"

namespace {

using namespace camtest;
using Lines = std::vector<std::string>;

constexpr int64_t kInch = 65536;

struct HpglBoard : Board {
    platform::Headless ui;
    platform::RunContext run{ui};
    cam::PlotSettings p;

    Lines plot() {
        std::string out;
        EXPECT_EQ(cam::write_hpgl(
                      *d, p, [&](std::string_view s) { return out += s, true; }, run),
                  1);
        return split_lines(out);
    }
};

TEST_F(HpglBoard, UnitsAndPens) {
    EXPECT_EQ(cam::hpgl_units(kInch, 1016), 1016);
    EXPECT_EQ(cam::hpgl_units(-kInch, 1016), -1016);
    EXPECT_EQ(cam::hpgl_units(kInch, 1021), 1021); // the older unit by its own formula
    EXPECT_EQ(cam::hpgl_units(100 * kInch, 1021), 102100);
    EXPECT_EQ(cam::hpgl_units(32, 1016), 0); // 0.496 of a unit rounds down
    EXPECT_EQ(cam::hpgl_units(33, 1016), 1);

    // Nothing plotted: the plotter is parked all the same.
    EXPECT_EQ(plot(), Lines{"PU0,0;"});

    // A 1-inch segment on a layer whose colour number is a multiple of 8 takes pen 1, not pen 0.
    s().layers[3].plot = 0xFF0000;
    line(3, 655, 0, 0, kInch, 0);
    EXPECT_EQ(plot(), (Lines{"SP1;", "PU0,0;", "PD1016,0;", "PU;", "PU0,0;"}));
    p.hpgl_units = 1021;
    EXPECT_EQ(plot()[2], "PD1021,0;");
    p.hpgl_units = 1016;
    s().layers[3].plot = 0x000005;
    EXPECT_EQ(plot()[0], "SP5;");
    // Mirrored: Y negated.
    model::DeleteItem(ring());
    line(3, 655, 0, kInch, kInch, kInch);
    p.flags = cam::kPlotMirror;
    EXPECT_EQ(plot(), (Lines{"SP5;", "PU0,-1016;", "PD1016,-1016;", "PU;", "PU0,0;"}));
}

TEST_F(HpglBoard, ShortJumpsAndNearerEnds) {
    s().layers[3].plot = 0xFFFFFF;
    line(3, 655, 0, 0, kInch, 0);
    line(3, 655, kInch + 655, 0, 2 * kInch, 0);               // 0.01 inch on: drawn across, pen down
    line(3, 655, 3 * kInch, kInch, 2 * kInch, kInch);         // its second end is nearer
    line(3, 655, 2 * kInch, 2 * kInch, 3 * kInch, 2 * kInch); // and again, from (3, 2)
    line(3, 0, 0, 0, kInch, kInch);                           // width 0 and no vertices: nothing
    EXPECT_EQ(plot(), (Lines{"SP7;", "PU0,0;", "PD1016,0;", "PD1026,0;", "PD2032,0;", "PU2032,1016;", "PD3048,1016;",
                             "PU3048,2032;", "PD2032,2032;", "PU;", "PU0,0;"}));
}

TEST_F(HpglBoard, PadsInsetByHalfThePen) {
    s().layers[0].plot = 0xFFFFFF;
    pad(0, 1, kInch, kInch, 6554, 6554, 1966);     // round: one full circle
    pad(0, 2, 2 * kInch, kInch, 6554, 3277, 1966); // rectangle
    pad(3, 0, 0, 0, 6554, 6554, 1966);             // a schematic pin: not plotted
    // r = 3277 - 426 units; the rectangle's half sides 2851 and 1212 units.
    EXPECT_EQ(plot(), (Lines{"SP7;", "PU1060,1016;", "PD1060,1016;", "AA1016,1016,360;", "PU1988,997;", "PD2076,997;",
                             "PD2076,1035;", "PD1988,1035;", "PD1988,997;", "PU;", "PU0,0;"}));
    p.flags = cam::kPlotNoPads;
    EXPECT_EQ(plot(), (Lines{"SP7;", "PU0,0;"}));
}

TEST_F(HpglBoard, OblongPadsAndTurnedRectangles) {
    s().layers[3].plot = 0xFFFFFF;
    pad(3, 5, kInch, 2 * kInch, 6554, 3277, 0);
    EXPECT_EQ(plot(), (Lines{"SP7;", "PU991,2013;", "PD1041,2013;", "AA1041,2032,180;", "PD991,2051;",
                             "AA991,2032,180;", "PU;", "PU0,0;"}));
    // Mirrored, the half circles turn the other way.
    p.flags = cam::kPlotMirror;
    Lines m = plot();
    EXPECT_EQ(m[3], "AA1041,-2032,-180;");
    // A tall oblong runs its sides up and down.
    p.flags = 0;
    model::DeleteItem(ring());
    pad(3, 5, kInch, 2 * kInch, 3277, 6554, 0);
    EXPECT_EQ(plot(), (Lines{"SP7;", "PU1035,2007;", "PD1035,2057;", "AA1016,2057,180;", "PD997,2007;",
                             "AA1016,2007,180;", "PU;", "PU0,0;"}));
}

} // namespace
