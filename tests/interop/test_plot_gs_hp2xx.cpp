// Our plots read by the peers: ghostscript renders the PostScript without an error and draws what our
// screen renderer draws of the same window; hp2xx reads the HPGL without ignoring a command and finds
// the plot's true size.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "interop/gerbv_shell.h"
#include "interop/picture_mask.h"

namespace {

namespace fs = std::filesystem;

std::string cli() {
    return std::string("'") + TRAZEL_CLI + "'";
}

// A board of 4 x 3 inches on one copper layer and the pad layer, white on a black screen and plotted in
// black on white: tracks of three widths, an arc, a Solid, round, square, oblong and turned pads with
// holes, and a text.
const std::string kBoard =
    "TRAZEL Version 4.0 -- Data File.\r\n\r\nSetup parameters:\r\n"
    "-gd0,000000,000000,FFFFFF,FFFF00\r\n-gm3,2,3,0\r\n-gp0,0,1.0,0,0,4.0,3.0,8\r\n-gx0,0,4.0,3.0\r\n\r\n"
    "Layer/color/plot/type/sequence/name table:\r\n-y3\r\n"
    "-y0:00FFFFFF,00FFFFFF,0,0,Pad Master\r\n-y3:00FFFFFF,00FFFFFF,2,3,Top\r\n\r\n"
    "Primary Data File:\r\n"
    "4 3 .1 .3 2.6 1.2 0 0 0 TRAZEL PLOT\r\n"
    "3 0 1 .5 .5 .1 .1 .04 0 0 \r\n"
    "3 0 2 1.0 .5 .1 .1 .04 0 0 \r\n"
    "3 0 1 1.5 .5 .16 .08 .035 0 0 \r\n"
    "3 0 1 2.0 .5 .08 .16 .035 0 0 \r\n"
    "3 3 6 2.5 .5 .12 .06 0 30 0 \r\n"
    "2 3 .02 3.0 2.0 .4 0 270 0 0 \r\n"
    "1 3 .01 .2 .2 .3 .2 \r\n"
    "1 3 .01 .2 1.0 3.8 1.0 \r\n"
    "1 3 .025 .2 1.5 3.8 2.2 \r\n"
    "1 3 .05 .4 2.8 1.4 2.8 \r\n"
    "1 3 0 1.8 2.4 2.4 2.9 \r\n1 3 0 1.8 2.4 \r\n1 3 0 2.4 2.4 \r\n1 3 0 2.4 2.9 \r\n1 3 0 1.8 2.9 \r\n";

TEST(PlotInterop, GhostscriptDrawsOurPostScriptAsTheScreenDoes) {
    if (!interop::have("gs") || !interop::have("pngtopnm") || !interop::have("convert")) {
        GTEST_SKIP() << "ghostscript, netpbm or ImageMagick is not installed";
    }
    interop::ScratchDir scratch("trazel-plot-");
    const fs::path& dir = scratch.path;
    std::ofstream(dir / "b.pcb", std::ios::binary) << kBoard;
    std::string b = "'" + (dir / "b.pcb").string() + "'";
    interop::Shell r = interop::run(
        cli() + " plot " + b + " '" + (dir / "b.ps").string() + "' --format ps --margin 0 --window 0,0,4,3", dir);
    ASSERT_EQ(r.status, 0) << r.err;
    r = interop::run("gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=png16m -r100 -sPAPERSIZE=letter -sOutputFile='" +
                         (dir / "page.png").string() + "' '" + (dir / "b.ps").string() + "'",
                     dir);
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(r.out + r.err, "");
    // The window sits in the sheet's bottom left corner: 400 x 300 of its 850 x 1100 pixels.
    r = interop::run("convert '" + (dir / "page.png").string() +
                         "' -crop 400x300+0+800 +repage 'PNG24:" + (dir / "gs.png").string() + "'",
                     dir);
    ASSERT_EQ(r.status, 0) << r.err;
    r = interop::run(cli() + " render " + b + " '" + (dir / "screen.png").string() +
                         "' --size 400x300 --view 2,1.5 --scale 100 --depth 24",
                     dir);
    ASSERT_EQ(r.status, 0) << r.err;
    Mask gs, screen;
    ASSERT_TRUE(read_mask(dir / "gs.png", {255, 255, 255}, gs));
    ASSERT_TRUE(read_mask(dir / "screen.png", {0, 0, 0}, screen));
    ASSERT_EQ(gs.w, screen.w);
    ASSERT_EQ(gs.h, screen.h);
    EXPECT_GT(gs.count(), 5000);
    Agreement a = agreement(gs, screen);
    EXPECT_GE(a.near, 0.95) << "strict " << a.strict << " at " << a.dx << "," << a.dy;
}

// hp2xx's report: the number after `key`, NAN when it is not there.
double reported(const std::string& log, const std::string& key) {
    size_t at = log.find(key);
    return at == std::string::npos ? NAN : std::atof(log.c_str() + at + key.size());
}

TEST(PlotInterop, Hp2xxReadsOurHpglAtItsTrueSize) {
    if (!interop::have("hp2xx")) {
        GTEST_SKIP() << "hp2xx is not installed";
    }
    interop::ScratchDir scratch("trazel-plot-");
    const fs::path& dir = scratch.path;
    std::ofstream(dir / "b.pcb", std::ios::binary) << kBoard;
    interop::Shell r = interop::run(
        cli() + " plot '" + (dir / "b.pcb").string() + "' '" + (dir / "b.plt").string() + "' --format hpgl", dir);
    ASSERT_EQ(r.status, 0) << r.err;
    r = interop::run("cd '" + dir.string() + "' && timeout 60 hp2xx -t -m png -d 100 -f out.png b.plt", dir);
    std::string log = r.out + r.err;
    EXPECT_EQ(reported(log, "HPGL command(s) ignored:"), 0) << log;
    EXPECT_EQ(reported(log, "Unexpected event(s):"), 0) << log;
    // The drawing spans from the short track at (0.2, 0.2) to the tracks' right ends at 3.8 inches and
    // the Solid's top at 2.9 inches, in plotter units of 40 to the millimetre, as hp2xx takes them.
    size_t at = log.find("Width  x  height:");
    ASSERT_NE(at, std::string::npos) << log;
    double w = 0, h = 0;
    ASSERT_EQ(std::sscanf(log.c_str() + at, "Width  x  height: %lf x %lf mm", &w, &h), 2) << log;
    EXPECT_NEAR(w, 3.6 * 25.4, 0.05);
    EXPECT_NEAR(h, 2.7 * 25.4, 0.05);
    EXPECT_TRUE(fs::exists(dir / "out.png"));
}

} // namespace
