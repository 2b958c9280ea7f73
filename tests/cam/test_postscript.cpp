// The PostScript job line by line for small boards worked by hand, its pieces, and the writers (PostScript
// and HPGL) run over odd Documents.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "cam/hpgl_plot.h"
#include "cam/postscript.h"
#include "cam_fixture.h"
#include "model/chooser.h"
#include "platform/headless.h"

namespace {

using namespace camtest;

constexpr int64_t kInch = 65536;

struct PsBoard : Board {
    platform::Headless ui;
    platform::RunContext run{ui};
    cam::PlotSettings p;

    void SetUp() override {
        Board::SetUp();
        p.device = cam::page_device(17 * kInch / 2, 11 * kInch, kInch / 4, 300, false);
        p.xmin = 0, p.ymin = 0, p.xmax = 4 * kInch, p.ymax = 4 * kInch;
        p.title = "C:\\work\\board.pcb";
        p.created = 0;
    }
    std::string job() {
        std::string out;
        EXPECT_EQ(cam::write_postscript(
                      *d, p, [&](std::string_view s) { return out += s, true; }, run),
                  1);
        return out;
    }
    // The lines between "% ----- DATA FILE." (and its empty line) and "showpage".
    std::vector<std::string> body() {
        std::vector<std::string> l = split_lines(job());
        auto from = std::find(l.begin(), l.end(), "% ----- DATA FILE.");
        auto to = std::find(l.begin(), l.end(), "showpage");
        EXPECT_TRUE(from != l.end() && to != l.end());
        return {from + 2, to};
    }
    std::vector<std::string> colour_lines() {
        std::vector<std::string> out;
        for (const std::string& l : split_lines(job())) {
            if (l.rfind("/C", 0) == 0) {
                out.push_back(l);
            }
        }
        return out;
    }
};

TEST_F(PsBoard, OnlyPlottedLayerGivesOneColourAndOneSection) {
    s().layers[3].plot = 0x808080;
    line(3, 655, kInch, kInch, 2 * kInch, kInch);
    line(1, 655, 0, 0, kInch, 0); // layer 1's plot colour is black: not plotted
    EXPECT_EQ(colour_lines(), (std::vector<std::string>{"/C3 {.49804 .49804 .49804 setrgbcolor} B",
                                                        "/C256 {255 255 255 setrgbcolor} B"}));
    EXPECT_EQ(body(), (std::vector<std::string>{"C3", ".01 W 1.0 1.0 M 2.0 1.0 L S"}));
    // Keeping colours writes the component itself, still as a fraction of 255.
    p.flags = cam::kPlotKeepColours;
    s().layers[3].plot = 0xFF8000;
    EXPECT_EQ(colour_lines()[0], "/C3 {1.0 .50196 0 setrgbcolor} B");
}

TEST_F(PsBoard, HeaderOrderAndPortraitOrigin) {
    std::vector<std::string> l = split_lines(job());
    std::vector<std::string> head(l.begin(), l.begin() + 20);
    EXPECT_EQ(head, (std::vector<std::string>{
                        "%!PS-Adobe-3.0", "", "% ----- STANDARD SETUP COMMANDS.", "", "%%Title: C:\\work\\board.pcb",
                        "%%Creator: TRAZEL'98", "%%CreationDate: Thu Jan  1 00:00:00 1970",
                        // the page window, 4 inches from the printable corner
                        "%%BoundingBox: 18 18 306 306", "%%Pages: 1", "%%PageOrder: Ascending", "%%Requirements: ",
                        "%%DocumentNeededFonts: ", "%%DocumentSuppliedFonts: ", "%%DocumentData: Clean7Bit",
                        "%%LanguageLevel: 2", "%%EndComments", "%%Page: 1 1", "72 72 scale", ".25 .25 translate",
                        "1 setlinejoin"}));
    std::string all = job();
    EXPECT_TRUE(all.ends_with("showpage\r\n%%EOF\r\n\x04")) << all.substr(all.size() - 30);
    EXPECT_NE(all.find("\r\n/Pr {0 W 4 2 roll 2 index 2 div sub exch 3 index 2 div sub exch moveto\r\n"
                       " 0 1 index rlineto exch 0 rlineto 0 exch neg rlineto closepath fill} B\r\n/Ps {dup Pr} B\r\n"),
              std::string::npos);
    EXPECT_EQ(all.find("Ledger"), std::string::npos);
}

TEST_F(PsBoard, LedgerLandscapeOrigin) {
    // 17 x 11 inches at 300 dpi with quarter-inch margins: printable 4950 x 3150 pixels from (75, 75).
    p.device = cam::page_device(11 * kInch, 17 * kInch, kInch / 4, 300, true);
    std::vector<std::string> l = split_lines(job());
    EXPECT_EQ(l[4], "%%IncludeFeature: input ( Ledger )");
    auto at = std::find(l.begin(), l.end(), "72 72 scale");
    ASSERT_NE(at, l.end());
    EXPECT_EQ(at[1], "10.75 .25 translate"); // (3150 + 75) / 300, (5100 - 75 - 4950) / 300
    EXPECT_EQ(at[2], "90 rotate");
    // The 4-inch window runs up the sheet from (10.75, .25) and to its left.
    EXPECT_NE(std::find(l.begin(), l.end(), "%%BoundingBox: 486 18 774 306"), l.end());
}

TEST_F(PsBoard, PadOperatorLines) {
    s().layers[0].plot = 0xFFFFFF;
    s().layers[3].plot = 0xFFFFFF;
    pad(0, 1, kInch, kInch, 3932, 3932, 1966);           // round thru-hole with a hole
    pad(0, 2, 2 * kInch, kInch, 6554, 3277, 1966, 8192); // rectangular, turned 45 degrees: not turned
    pad(3, 5, kInch, 2 * kInch, 6554, 3277, 0);          // oblong surface mount
    pad(3, 6, 2 * kInch, 2 * kInch, 3277, 3277, 0);      // square surface mount
    pad(0, 3, 3 * kInch, kInch, 3277, 3277, 1311);       // via
    EXPECT_EQ(body(), (std::vector<std::string>{"C3", "1.0 2.0 .1 .05 Po", "2.0 2.0 .05 Ps", "C0",
                                                "1.0 1.0 .06 Pc C256 1.0 1.0 .03 W 2 copy M L S C0",
                                                "2.0 1.0 .1 .05 Pr C256 2.0 1.0 .03 W 2 copy M L S C0",
                                                "3.0 1.0 .05 Pc C256 3.0 1.0 .02 W 2 copy M L S C0"}));
    p.flags = cam::kPlotNoHoles | cam::kPlotNoVias;
    EXPECT_EQ(body(), (std::vector<std::string>{"C3", "1.0 2.0 .1 .05 Po", "2.0 2.0 .05 Ps", "C0", "1.0 1.0 .06 Pc",
                                                "2.0 1.0 .1 .05 Pr"}));
    p.flags = cam::kPlotNoPads;
    EXPECT_EQ(body(), (std::vector<std::string>{"C3", "C0", "3.0 1.0 .05 Pc C256 3.0 1.0 .02 W 2 copy M L S C0"}));
}

TEST_F(PsBoard, PathsJoinWrapAndRestartAfterPads) {
    s().layers[0].plot = 0xFFFFFF;
    // A chain of Lines is one path; a width change strokes it and starts a new one.  The line is ended
    // once it reaches 66 characters, so the stroke before the pad comes on a line of its own.
    line(0, 655, 0, 0, kInch, 0);
    line(0, 655, kInch, 0, kInch, kInch);
    line(0, 655, 0, 2 * kInch, kInch, 2 * kInch); // not joined: a new subpath
    line(0, 1311, kInch, 2 * kInch, 2 * kInch, 2 * kInch);
    pad(0, 1, 3 * kInch, 3 * kInch, 3277, 3277, 0);
    line(0, 1311, 0, 3 * kInch, kInch, 3 * kInch); // the pad set its own width: W again
    std::vector<std::string> b = body();
    EXPECT_EQ(b, (std::vector<std::string>{
                     "C0", ".01 W 0 0 M 1.0 0 L 1.0 1.0 L 0 2.0 M 1.0 2.0 L S .02 W 1.0 2.0 M 2.0 2.0 L", "S",
                     "3.0 3.0 .05 Pc", ".02 W 0 3.0 M 1.0 3.0 L S"}));
}

TEST_F(PsBoard, SolidsArcsAndWindowSkips) {
    s().layers[3].plot = 0xFFFFFF;
    // A 0.1-inch square: four outline strokes and spans about 0.001 inch apart, all 0.002 inch wide.
    solid(3, {{0, 0}, {kInch / 10, 0}, {kInch / 10, kInch / 10}, {0, kInch / 10}});
    std::string b;
    for (const std::string& l : body()) {
        b += l + " ";
    }
    EXPECT_EQ(b.substr(0, 10), "C3 .002 W ");
    EXPECT_EQ(std::count(b.begin(), b.end(), 'W'), 1);
    EXPECT_GT(std::count(b.begin(), b.end(), 'L'), 80);

    model::DeleteItem(ring());
    arc(3, 655, kInch, kInch, kInch / 2, 0, 16384); // a quarter from (1.5, 1) to (1, 1.5), one path
    std::vector<std::string> a = body();
    EXPECT_EQ(a[1].substr(0, 18), ".01 W 1.5 1.0 M 1.") << a[1];
    EXPECT_EQ(a.back().substr(a.back().size() - 11), "1.0 1.5 L S");

    // A Text is skipped when its anchor lies beyond the window by more than its length and 1/8 inch.
    model::DeleteItem(ring());
    text(3, 6554, 5 * kInch, kInch, "A");
    EXPECT_EQ(body(), std::vector<std::string>{"C3"});
    model::DeleteItem(ring());
    text(3, 6554, 4 * kInch + 4096, kInch, "A");
    EXPECT_GT(body().size(), 1u);
    // A Component is entered only when its box grown by half an inch meets the window.
    model::DeleteItem(ring());
    Ref far = model::make_component(ring(), 3, 0, "U1");
    line(3, 655, 10 * kInch, 0, 11 * kInch, 0, model::member_ring(far));
    model::close_component(far);
    Ref near = model::make_component(ring(), 3, 0, "U2");
    line(3, 655, kInch, 0, 2 * kInch, 0, model::member_ring(near));
    model::close_component(near);
    EXPECT_EQ(body(), (std::vector<std::string>{"C3", ".01 W 1.0 0 M 2.0 0 L S"}));
}

TEST_F(PsBoard, PiecesOf32KiBAndASinkFailure) {
    s().layers[3].plot = 0xFFFFFF;
    for (int i = 0; i < 5000; ++i) {
        line(3, 655, i * 10, 0, i * 10, kInch);
    }
    std::vector<size_t> sizes;
    std::string all;
    ASSERT_EQ(cam::write_postscript(
                  *d, p, [&](std::string_view s) { return all += s, sizes.push_back(s.size()), true; }, run),
              1);
    ASSERT_GT(sizes.size(), 3u);
    // The prologue goes first on its own; then pieces of 32 KiB (a line more at most) until the end.
    for (size_t i = 1; i + 1 < sizes.size(); ++i) {
        EXPECT_GE(sizes[i], cam::kPostScriptPiece);
        EXPECT_LT(sizes[i], cam::kPostScriptPiece + 200);
    }
    EXPECT_EQ(all, job());
    int calls = 0;
    EXPECT_EQ(cam::write_postscript(
                  *d, p, [&](std::string_view) { return ++calls, false; }, run),
              0);
    EXPECT_EQ(calls, 1);
    run.cancel();
    EXPECT_EQ(cam::write_postscript(
                  *d, p, [&](std::string_view) { return true; }, run),
              0);
}

// Every file of the Data file fuzzer's seeds, with every layer switched on for plotting: neither writer
// may crash, and both finish their output.
TEST(PlotWriters, FuzzCorpusFiles) {
    model::Model m;
    model::FormatTable formats;
    model::register_model_formats(formats);
    platform::Headless ui;
    platform::install(&ui);
    platform::RunContext run(ui);
    namespace fs = std::filesystem;
    int files = 0;
    for (const auto& e : fs::directory_iterator(std::string(TRAZEL_SOURCE_DIR) + "/fuzz/corpus/fuzz_datafile")) {
        std::ifstream f(e.path(), std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(f)), {});
        model::Document* d = model::NewDocument("fuzz.pcb");
        ASSERT_NE(d, nullptr);
        model::open_document_bytes(formats, bytes, 0);
        d = m.current;
        for (int i = 0; i < 256; ++i) {
            model::LayerEntry& l = d->setup.layers[static_cast<size_t>(i)];
            l.plot = 0x00102030u + static_cast<uint32_t>(i);
            if (!l.in_use()) {
                std::strcpy(l.name, "L");
            }
        }
        cam::PlotSettings p;
        p.flags = cam::kPlotFit | cam::kPlotCentre;
        std::string ps, hpgl;
        EXPECT_EQ(cam::write_postscript(
                      *d, p, [&](std::string_view s) { return ps += s, true; }, run),
                  1);
        EXPECT_TRUE(ps.ends_with("%%EOF\r\n\x04")) << e.path();
        p.flags = cam::kPlotMirror;
        EXPECT_EQ(cam::write_hpgl(
                      *d, p, [&](std::string_view s) { return hpgl += s, true; }, run),
                  1);
        EXPECT_TRUE(hpgl.ends_with("PU0,0;\r\n")) << e.path();
        model::close_document(m.current);
        ++files;
    }
    EXPECT_GE(files, 5);
    platform::install(nullptr);
}

} // namespace
