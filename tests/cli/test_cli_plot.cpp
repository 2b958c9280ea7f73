// trazel-cli plot: the settings a file carries ("-gp", the layer table) and the options over them, the
// output formats, and failures that keep the old file.
#include "cli/cli_runner.h"

using namespace cli_test;

namespace {

// One 1-inch track at Y = 1 on a copper layer with a plotted colour; the plot settings ask for a mirror
// and a window of 2 x 1 inches.
const std::string kBoard = "TRAZEL Version 4.0 -- Data File.\r\n\r\nSetup parameters:\r\n"
                           "-gp64,0,1.0,0,0,2.0,1.0,8\r\n\r\n"
                           "Layer/color/plot/type/sequence/name table:\r\n-y0\r\n"
                           "-y0:00FFFF00,00000000,0,0,Pad Master\r\n-y3:00FF0000,00FF0000,2,3,Top\r\n\r\n"
                           "Primary Data File:\r\n1 3 .01 0 1.0 1.0 1.0 \r\n";

} // namespace

TEST(CliPlot, HpglAndPostScriptFromTheFileSettings) {
    Scratch s;
    spit(s / "b.pcb", kBoard);
    Result r = run(s, "plot " + quote(s / "b.pcb") + " " + quote(s / "b.plt") + " --format hpgl");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(slurp(s / "b.plt"), "SP1;\r\nPU0,-1016;\r\nPD1016,-1016;\r\nPU;\r\nPU0,0;\r\n");
    r = run(s, "plot " + quote(s / "b.pcb") + " " + quote(s / "b.plt") + " --format hpgl --hpgl-unit 1021");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(slurp(s / "b.plt"), "SP1;\r\nPU0,-1021;\r\nPD1021,-1021;\r\nPU;\r\nPU0,0;\r\n");

    r = run(s, "plot " + quote(s / "b.pcb") + " " + quote(s / "b.ps") +
                   " --format ps --page ledger --landscape --keep-colours --scale 2");
    ASSERT_EQ(r.status, 0) << r.err;
    std::string ps = slurp(s / "b.ps");
    EXPECT_NE(ps.find("%%Title: " + s / "b.pcb" + "\r\n"), std::string::npos);
    EXPECT_NE(ps.find("%%IncludeFeature: input ( Ledger )\r\n"), std::string::npos);
    EXPECT_NE(ps.find("\r\n10.75 .25 translate\r\n90 rotate\r\n"), std::string::npos);
    EXPECT_NE(ps.find("\r\n/C3 {1.0 0 0 setrgbcolor} B\r\n"), std::string::npos);
    // Twice the size in the window: the track runs from (0, 2) to (2, 2) inches on the page.
    EXPECT_NE(ps.find("\r\nC3\r\n.01998 W 0 2.0 M 2.0 2.0 L S\r\nshowpage\r\n"), std::string::npos);

    // The creation date follows SOURCE_DATE_EPOCH; the page window gives the bounding box.
    std::string env = "SOURCE_DATE_EPOCH=86400 ";
    ASSERT_EQ(std::system((env + quote(TRAZEL_CLI) + " plot " + quote(s / "b.pcb") + " " + quote(s / "c.ps") +
                           " --format ps --margin 0 --window 0,0,2,1")
                              .c_str()),
              0);
    std::string c = slurp(s / "c.ps");
    EXPECT_NE(c.find("%%CreationDate: Fri Jan  2 00:00:00 1970\r\n"), std::string::npos);
    EXPECT_NE(c.find("%%BoundingBox: 0 0 144 72\r\n%%Pages: 1"), std::string::npos);
    EXPECT_NE(c.find("%%EndComments\r\n%%Page: 1 1\r\n72 72 scale\r\n"), std::string::npos);
}

TEST(CliPlot, RasterFormatsGoThroughTheBandedWriters) {
    Scratch s;
    spit(s / "b.pcb", kBoard);
    Result r = run(s, "plot " + quote(s / "b.pcb") + " " + quote(s / "b.pcl") + " --format pcl --dpi 100");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(slurp(s / "b.pcl").substr(0, 2), "\x1b"
                                               "E");
    r = run(s, "plot " + quote(s / "b.pcb") + " " + quote(s / "b.bmp") + " --format bmp --dpi 100");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(slurp(s / "b.bmp").substr(0, 2), "BM");
}

TEST(CliPlot, FailuresKeepTheOldFile) {
    Scratch s;
    spit(s / "b.pcb", kBoard);
    for (const char* bad :
         {"--format gif", "--format dib", "--format ps --scale 2 --fit", "--format ps --page tabloid",
          "--format ps --window 1,2,3", "--format ps --dpi 0", "--format ps --colour grey", "--format ps --bogus"}) {
        Result r = run(s, "plot " + quote(s / "b.pcb") + " " + quote(s / "o.ps") + " " + bad);
        EXPECT_EQ(r.status, 2) << bad << r.err;
        EXPECT_FALSE(fs::exists(s / "o.ps")) << bad;
    }
    Result r = run(s, "plot " + quote(s / "b.pcb") + " --format ps");
    EXPECT_EQ(r.status, 2);
    // A queue the spooler does not know.
    r = run(s, "plot " + quote(s / "b.pcb") + " --printer no-such-queue --format ps");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("no-such-queue: "), std::string::npos) << r.err;
    // No folder for the file.
    r = run(s, "plot " + quote(s / "b.pcb") + " " + quote(s / "none/o.ps") + " --format ps");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Unable to open specified output file."), std::string::npos) << r.err;
    // A target that cannot be replaced (a folder with a file in it) stays as it was.
    fs::create_directories(s / "busy.ps");
    spit(s / "busy.ps/keep", "old");
    r = run(s, "plot " + quote(s / "b.pcb") + " " + quote(s / "busy.ps") + " --format ps");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(slurp(s / "busy.ps/keep"), "old");
}
