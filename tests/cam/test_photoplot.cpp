// The photoplot run: the pre-scan, the pad rules of each file type, and the run over the output rows.
#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "cam_fixture.h"
#include "display/stroke_font.h"
#include "model/chooser.h"
#include "platform/headless.h"
#include "platform/run_context.h"

using namespace camtest;
using namespace trazel::cam;

namespace {

const Coord kIn = 65536;

size_t find_line(const std::vector<std::string>& v, const std::string& s) {
    for (size_t i = 0; i < v.size(); ++i) {
        if (v[i] == s) {
            return i;
        }
    }
    return std::string::npos;
}

std::string read_file(const std::filesystem::path& p) {
    std::ifstream f(p, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

struct TempDir {
    std::filesystem::path path;
    TempDir() {
        path = std::filesystem::temp_directory_path() /
               ("trazel-gerber-" + std::to_string(reinterpret_cast<uintptr_t>(this)) + "-" +
                std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
        std::filesystem::remove_all(path);
        std::filesystem::create_directories(path);
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
};

} // namespace

using Photoplot = Board;

TEST_F(Photoplot, EmptyDocumentGivesHeaderFixedAperturesLabelAndEnd) {
    s().gerber_fill_width = 0; // used as 0.002 inch, which is D10 already
    std::vector<std::string> l = gerber("-dyTOP:0,3");
    ASSERT_GE(l.size(), 8u);
    // 131, 459, 655, 721 units sorted: D10 .0020, D11 .0070, D12 .0100, D13 .0110.
    EXPECT_EQ(l[0], "%FSLAX24Y24*%");
    EXPECT_EQ(l[1], "%ADD10C,.0020*%");
    EXPECT_EQ(l[2], "%ADD11C,.0070*%");
    EXPECT_EQ(l[3], "%ADD12C,.0100*%");
    EXPECT_EQ(l[4], "%ADD13C,.0110*%");
    EXPECT_EQ(l[5], "D12*"); // the label's 0.010-inch aperture
    EXPECT_EQ(l.back(), "M02*");
    EXPECT_EQ(s().gerber_fill_width, 0); // the Document keeps its own value

    // The label "board.top  03/07/24  02:05 pm" is drawn with D12 only, from the extent's left edge with
    // its baseline 0.1 inch below the bottom edge: in 1/10000 inch x from 0, y around -1000, within
    // the 786-unit (120) character cell (2 steps of descender, 6 of capitals).
    Trace t(l);
    EXPECT_TRUE(t.errors.empty());
    ASSERT_GT(t.draws.size(), 20u);
    int64_t len = trazel::display::string_length("board.top  03/07/24  02:05 pm", kLabelUnit);
    for (const Trace::Draw& d : t.draws) {
        EXPECT_EQ(d.code, 12);
        EXPECT_GE(std::min(d.x1, d.x2), 0);
        EXPECT_LE(std::max(d.x1, d.x2), gerber_units(len));
        EXPECT_GE(std::min(d.y1, d.y2), -1000 - 240);
        EXPECT_LE(std::max(d.y1, d.y2), -1000 + 720);
    }
    EXPECT_TRUE(t.flashes.empty());

    // A fill width of its own joins the fixed ones: 0.02 inch (1311 units) is D14, .0200.
    s().gerber_fill_width = 1311;
    EXPECT_EQ(gerber("-dyTOP:0,3")[5], "%ADD14C,.0200*%");
}

TEST_F(Photoplot, LinesArcsAndTextsOfTheRowLayersAndPadMaster) {
    line(3, mil(10), 0, 0, kIn, 0);     // A to B
    line(3, mil(10), kIn, kIn, kIn, 0); // C to B: drawn on from B
    line(12, mil(20), 0, 0, kIn, kIn);  // bottom copper: not in this file
    line(0, mil(5), 2 * kIn, 0, 3 * kIn, 0);
    std::vector<std::string> l = gerber("-dyTOP:0,3");
    // Apertures: 131 .0020, 328 (5 mil) .0050, 459, 655 .0100, 721, 1311 (20 mil) -- 0.010 is D13.
    EXPECT_EQ(l[4], "%ADD13C,.0100*%");
    size_t i = find_line(l, "D13*");
    ASSERT_NE(i, std::string::npos);
    EXPECT_EQ(l[i + 1], "X0Y0D2*");
    EXPECT_EQ(l[i + 2], "X10000D1*");
    EXPECT_EQ(l[i + 3], "Y10000*");
    EXPECT_EQ(l[i + 4], "D2*");
    EXPECT_EQ(l[i + 5], "D11*");      // the layer-0 line, 5 mil
    EXPECT_EQ(l[i + 6], "X20000Y0*"); // the pen is up already after the change
    EXPECT_EQ(l[i + 7], "X30000D1*");
    EXPECT_EQ(find_line(l, "D15*"), std::string::npos); // the 20-mil bottom line is not selected
}

TEST_F(Photoplot, PreScanRegistersEveryPadForm) {
    model::ApplyDirective(s(), "-dp.01,.005,.025,.025"); // mask +655, paste -328, plane +1638, hole +1638
    pad(0, 1, 0, 0, mil(60), mil(60), mil(35));          // round thru pad: 3932, hole 2294
    pad(3, 6, kIn, 0, mil(50), mil(30), 0);              // rectangular SMT 3277 x 1966
    pad(3, 6, 2 * kIn, 0, mil(50), mil(30), 0, 8192);    // the same at 45 degrees: painted only
    pad(0, 4, 3 * kIn, 0, mil(40), mil(40), 0);          // padstack special: base form only
    PlotContext ctx = prepare();
    const ApertureTable& t = ctx.apertures;
    EXPECT_NE(t.find(kRoundShape, 3932, 0), 0);              // base
    EXPECT_NE(t.find(kRoundShape, 3932 + 655, 0), 0);        // mask
    EXPECT_NE(t.find(kRoundShape, 2294 + 1638, 0), 0);       // plane clearance (equal to the base here)
    EXPECT_NE(t.find(kRoundShape, (2294 + 1638) / 6, 0), 0); // ring width 655, the fixed .0100
    EXPECT_NE(t.find(kRectShape, 3277, 1966), 0);
    EXPECT_NE(t.find(kRectShape, 3277 + 655, 1966 + 655), 0);
    EXPECT_NE(t.find(kRectShape, 3277 - 328, 1966 - 328), 0); // paste
    EXPECT_NE(t.find(kRoundShape, 2621, 0), 0);               // the padstack, 40 mil
    EXPECT_EQ(t.find(kRoundShape, 2621 + 655, 0), 0);         // ... has no mask form of its own
    // Fixed 4 + base and mask of the thru pad (its clearance equals its base, its ring width the fixed
    // 0.010 inch) + rectangle base, mask and paste + padstack; nothing for the painted pad.
    EXPECT_EQ(t.count(), 4 + 2 + 3 + 1);
    EXPECT_EQ(ctx.tools.count, 1);
    EXPECT_EQ(ctx.tools.tools[1].hits, 1u);
}

TEST_F(Photoplot, CopperPadMasterPadsOnlyWhereTracksEnd) {
    // Round 60-mil thru pads on the pad master; a 10-mil track reaches pad A's centre within
    // 30 + 5 mil (34 mil away); pad B's nearest track end is 36 mil away.
    pad(0, 1, 0, 0, mil(60), mil(60), mil(35));
    pad(0, 1, kIn, 0, mil(60), mil(60), mil(35));
    pad(3, 5, 2 * kIn, 0, mil(40), mil(40), 0); // an SMT pad on the copper layer itself
    line(3, mil(10), mil(34), 0, mil(500), 0);
    line(3, mil(10), kIn + mil(36), 0, kIn + mil(500), 0);
    line(12, mil(10), kIn, 0, kIn, kIn); // ends on B, but on the other side
    Trace pm(gerber("-dyTOP:0,0,3"));
    ASSERT_EQ(pm.flashes.size(), 2u);
    EXPECT_EQ(pm.flashes[0].x, 0);
    EXPECT_EQ(pm.flashes[1].x, 20000);
    // Without the pad master every thru pad is plotted.
    Trace all(gerber("-dyTOP:0,3"));
    EXPECT_EQ(all.flashes.size(), 3u);
}

TEST_F(Photoplot, MaskCoversViasUnlessThePadMasterIsSelected) {
    model::ApplyDirective(s(), "-dp.01,.005,.025,.025");
    pad(0, 1, 0, 0, mil(60), mil(60), mil(35));   // thru pad: always opened
    pad(0, 3, kIn, 0, mil(30), mil(30), mil(15)); // via
    pad(3, 5, 2 * kIn, 0, mil(40), mil(40), 0);   // SMT on top copper: matches the top mask
    pad(12, 5, 3 * kIn, 0, mil(40), mil(40), 0);  // SMT on bottom copper: not on the top mask
    pad(0, 4, 4 * kIn, 0, mil(40), mil(40), 0);   // padstack on an unselected layer: not opened
    Trace top(gerber("-dyTSM:2,2"));
    ASSERT_EQ(top.flashes.size(), 2u);
    EXPECT_EQ(top.flashes[0].x, 0);
    EXPECT_EQ(top.flashes[1].x, 20000);
    // Opened by the mask increase: 60 mil + 10 = .0700, 40 mil + 10 = .0500.
    EXPECT_EQ(top.apertures[top.flashes[0].code], "C,.0700");
    EXPECT_EQ(top.apertures[top.flashes[1].code], "C,.0500");

    // With layer 0 selected the via is opened too (30 + 10 mil), and so is the padstack on layer 0,
    // which takes no increase.
    Trace with_pm(gerber("-dyTSM:2,0,2"));
    ASSERT_EQ(with_pm.flashes.size(), 4u);
    EXPECT_EQ(with_pm.apertures[with_pm.flashes[1].code], "C,.0400");
    EXPECT_EQ(with_pm.apertures[with_pm.flashes[3].code], "C,.0400");

    Trace bottom(gerber("-dyBSM:10,13"));
    ASSERT_EQ(bottom.flashes.size(), 2u);
    EXPECT_EQ(bottom.flashes[1].x, 30000);
}

TEST_F(Photoplot, PasteAndSilkTakeSurfacePads) {
    model::ApplyDirective(s(), "-dp.01,.005,.025,.025");
    pad(3, 6, 0, 0, mil(50), mil(30), 0);             // top rectangular SMT
    pad(12, 6, kIn, 0, mil(50), mil(30), 0, 16384);   // bottom one, turned 90 degrees
    pad(0, 1, 2 * kIn, 0, mil(60), mil(60), mil(35)); // thru pads take no paste
    pad(1, 4, 3 * kIn, 0, mil(40), mil(40), 0);       // padstack on the silk layer
    Trace top(gerber("-dyTSP:3,5"));
    ASSERT_EQ(top.flashes.size(), 1u);
    // 50 - 5 and 30 - 5 mil: 2949 and 1638 units, .0450 and .0250.
    EXPECT_EQ(top.apertures[top.flashes[0].code], "R,.0450X.0250");
    Trace bottom(gerber("-dyBSP:11,0"));
    ASSERT_EQ(bottom.flashes.size(), 1u);
    EXPECT_EQ(bottom.flashes[0].x, 10000);
    EXPECT_EQ(bottom.apertures[bottom.flashes[0].code], "R,.0250X.0450"); // sides swapped at 90 degrees
    Trace silk(gerber("-dyTSS:6,1"));
    ASSERT_EQ(silk.flashes.size(), 1u);
    EXPECT_EQ(silk.flashes[0].x, 30000);
    EXPECT_EQ(silk.apertures[silk.flashes[0].code], "C,.0400"); // silk takes no increase
}

TEST_F(Photoplot, PlaneClearancesThermalsAndIsolationRings) {
    model::ApplyDirective(s(), "-dp.01,.005,.025,.025");
    model::ApplyDirective(s(), "-gx-1.0,-1.0,3.0,1.0"); // the label goes 1.1 inch down, out of the way
    pad(0, 1, 0, 0, mil(60), mil(60), mil(35));         // pad master pad, plane not selected for it
    pad(4, 1, kIn, 0, mil(60), mil(60), mil(35));       // on the plane layer: thermal relief
    pad(4, 3, 2 * kIn, 0, mil(30), mil(30), mil(15));   // via on the plane: joined, no mark
    // Without the pad master: a clearance disk of hole + 25 mil = 3932 units (.0600) for the first pad;
    // the second gets four 45-degree arcs of radius (3932 + 655) / 2 = 2293 with the 655-unit ring
    // (D of .0100), at 11.25-degree steps (radius below 4096): 4 chords each.
    Trace plane(gerber("-dyGND:1,4"));
    ASSERT_EQ(plane.flashes.size(), 1u);
    EXPECT_EQ(plane.apertures[plane.flashes[0].code], "C,.0600");
    std::vector<Trace::Draw> rings;
    for (const Trace::Draw& d : plane.draws) {
        if (plane.apertures[d.code] == "C,.0100" && d.x1 > 5000 && d.x1 < 15000 && d.y1 > -1000) {
            rings.push_back(d);
        }
    }
    ASSERT_EQ(rings.size(), 16u);
    // The arcs are centred on the axes; the copper spokes stay open along the diagonals, so no chord
    // end lies more than 22.5 degrees from an axis.
    for (const Trace::Draw& d : rings) {
        double a = std::atan2(static_cast<double>(d.y2), static_cast<double>(d.x2 - 10000)) * 180 / 3.14159265358979;
        double off = std::fmod(a + 405.0, 90.0) - 45.0;
        EXPECT_LE(std::abs(off), 22.6) << a;
        EXPECT_NEAR(std::hypot(static_cast<double>(d.x2 - 10000), static_cast<double>(d.y2)), 349.9, 1.5);
    }
    // With the pad master selected the pad master pad gets a full isolation ring: 32 chords.
    Trace pm(gerber("-dyGND:1,0,4"));
    EXPECT_TRUE(pm.flashes.empty());
    int around_first = 0;
    for (const Trace::Draw& d : pm.draws) {
        around_first += pm.apertures[d.code] == "C,.0100" && d.x1 < 5000 && d.y1 > -1000 ? 1 : 0;
    }
    EXPECT_EQ(around_first, 32);
}

TEST_F(Photoplot, TextStrokeWidthsFollowTheSizeCodes) {
    // Height 0.072 inch (4719 units): unit 786, stroke 786 - 98 = 688; code 192 gives 688 x 4/5 = 550,
    // code 193 then 550 x 5/4 = 687.
    text(1, 4719, 0, 0,
         "A\xC0"
         "A\xC1"
         "A");
    PlotContext ctx = prepare();
    int a = ctx.apertures.find(kRoundShape, 688, 0), b = ctx.apertures.find(kRoundShape, 550, 0),
        c = ctx.apertures.find(kRoundShape, 687, 0);
    ASSERT_NE(a, 0);
    ASSERT_NE(b, 0);
    ASSERT_NE(c, 0);
    Trace t(gerber("-dyTSS:6,1"));
    std::vector<int> used;
    for (const Trace::Draw& d : t.draws) {
        if (used.empty() || used.back() != d.code) {
            used.push_back(d.code);
        }
    }
    ASSERT_GE(used.size(), 3u);
    EXPECT_EQ(used[0], a);
    EXPECT_EQ(used[1], b);
    EXPECT_EQ(used[2], c);
}

TEST_F(Photoplot, OutputNamesReplaceTheExtension) {
    EXPECT_EQ(output_file_name("C:\\work\\board.pcb", "TOP", ""), "C:\\work\\board.top");
    EXPECT_EQ(output_file_name("boards.v2/demo", "DRL", ""), "boards.v2/demo.drl"); // no extension
    EXPECT_EQ(output_file_name("a.b.pcb", "Sym", ""), "a.b.sym");
    EXPECT_EQ(output_file_name("C:\\work\\board.pcb", "TOP", "/tmp/out"), "/tmp/out/board.top");
    EXPECT_EQ(output_file_name("board.pcb", "TOP", "out/"), "out/board.top");

    DateTime t;
    t.year = 2024, t.month = 3, t.day = 7, t.hour = 14, t.minute = 5;
    EXPECT_EQ(plot_date(t), "03/07/24");
    EXPECT_EQ(plot_time(t), "02:05 pm");
    t.hour = 0, t.minute = 30, t.year = 2000;
    EXPECT_EQ(plot_time(t), "12:30 am");
    EXPECT_EQ(plot_date(t), "03/07/00");
    t.hour = 12;
    EXPECT_EQ(plot_time(t), "12:30 pm");
}

TEST_F(Photoplot, RunWritesEveryRowAndLeavesTheDocumentAlone) {
    for (const char* l : {"-dy", "-dyTOP:0,3", "-dyLST:7", "-dyDRL:4", "-dySYM:5,15", "-dyDWG:5,15",
                          "-dp.01,.005,.025,.025,0", "-gx0,0,2.0,1.0"}) {
        model::ApplyDirective(s(), l);
    }
    s().gerber_fill_width = 0;
    pad(0, 1, kIn / 2, kIn / 2, mil(60), mil(60), mil(35));
    line(3, mil(10), 0, 0, kIn, 0);
    Ref t = text(1, 4719, 0, kIn / 4, "U1");
    model::node(t).text.length = 12345; // not what measuring gives: the run must not write it back
    solid(3, {{0, 0}, {kIn / 4, 0}, {kIn / 4, kIn / 4}});

    model::FormatTable formats;
    model::register_model_formats(formats);
    std::string before, after;
    ASSERT_TRUE(model::save_document_bytes(formats, before, 'C'));

    trazel::platform::Headless hp;
    std::vector<std::pair<std::string, int>> progress;
    hp.progress_sink = [&](std::string_view what, int pct) { progress.emplace_back(std::string(what), pct); };
    trazel::platform::install(&hp);
    TempDir dir;
    PhotoplotOptions opt;
    opt.out_dir = dir.path.string();
    opt.clock = [] {
        DateTime d;
        d.year = 2024, d.month = 3, d.day = 7, d.hour = 14, d.minute = 5;
        return d;
    };
    std::vector<std::string> created, written;
    opt.file_created = [&](const std::string& p) { created.push_back(p); };
    trazel::platform::RunContext run(trazel::platform::P());
    int ok = photoplot_run(*d, opt, run, &written);
    trazel::platform::install(nullptr);
    ASSERT_EQ(ok, 1);

    ASSERT_TRUE(model::save_document_bytes(formats, after, 'C'));
    EXPECT_EQ(before, after);

    std::vector<std::string> names;
    for (const std::string& p : written) {
        names.push_back(std::filesystem::path(p).filename().string());
    }
    EXPECT_EQ(names, (std::vector<std::string>{"board.top", "board.lst", "board.drl", "board.sym", "board.dwg"}));
    EXPECT_EQ(created, written);
    std::string lst = read_file(dir.path / "board.lst");
    EXPECT_EQ(lst.find("%FS"), std::string::npos); // the listing row writes no Gerber
    EXPECT_EQ(lst.rfind("board.pcb    03/07/24    02:05 pm\r\n", 0), 0u);
    EXPECT_EQ(read_file(dir.path / "board.top").rfind("%FSLAX24Y24*%\r\n", 0), 0u);
    EXPECT_EQ(read_file(dir.path / "board.sym").rfind("%FSLAX24Y24*%\r\n", 0), 0u);
    EXPECT_EQ(read_file(dir.path / "board.dwg").rfind("TRAZEL Version 4.0 -- Data File.\r\n", 0), 0u);
    EXPECT_EQ(read_file(dir.path / "board.drl"), "T1C0.035\r\n%\r\nT1\r\nX005Y005\r\nT0\r\nM30\r\n");

    // Each file starts at 0% and ends at 100%, and the display is closed at the end.
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.front(), (std::pair<std::string, int>{"board.top", 0}));
    EXPECT_EQ(progress.back().second, -1);
    int hundreds = 0;
    for (auto& [name, pct] : progress) {
        hundreds += pct == 100 ? 1 : 0;
        EXPECT_LE(pct, 100);
    }
    EXPECT_EQ(hundreds, 5);
}

TEST_F(Photoplot, AFileThatCannotBeCreatedEndsTheRun) {
    model::ApplyDirective(s(), "-dy");
    model::ApplyDirective(s(), "-dyTOP:0,3");
    model::ApplyDirective(s(), "-dyBOT:8,12");
    trazel::platform::Headless hp;
    trazel::platform::install(&hp);
    PhotoplotOptions opt;
    opt.out_dir = "/nonexistent-dir-for-trazel-tests";
    std::vector<std::string> written;
    trazel::platform::RunContext run(trazel::platform::P());
    int ok = photoplot_run(*d, opt, run, &written);
    trazel::platform::install(nullptr);
    EXPECT_EQ(ok, 0);
    EXPECT_TRUE(written.empty());
    ASSERT_EQ(hp.reports.size(), 1u);
    EXPECT_EQ(hp.reports[0].rfind("Cannot create /nonexistent-dir-for-trazel-tests/board.top: ", 0), 0u);
}

// The run reads the Document it is given: with another Document current (its own rows, layers and Items),
// the files are byte for byte those of the first run, and a cancelled run writes nothing.
TEST_F(Photoplot, PlotsTheDocumentItIsGivenWhateverIsCurrent) {
    for (const char* l : {"-dy", "-dyTOP:0,3", "-dyLST:7", "-dyDRL:4"}) {
        model::ApplyDirective(s(), l);
    }
    pad(0, 1, kIn / 2, kIn / 2, mil(60), mil(60), mil(35));
    line(3, mil(10), 0, 0, kIn, 0);
    PhotoplotOptions opt;
    opt.clock = [] { return DateTime{}; };
    trazel::platform::Headless hp;
    auto plot_into = [&](TempDir& dir, trazel::platform::RunContext& run) {
        opt.out_dir = dir.path.string();
        std::vector<std::string> written;
        int ok = photoplot_run(*d, opt, run, &written);
        std::map<std::string, std::string> files;
        for (const std::string& p : written) {
            files[std::filesystem::path(p).filename().string()] = read_file(p);
        }
        return std::make_pair(ok, files);
    };
    TempDir first_dir, second_dir, cancelled_dir;
    trazel::platform::RunContext run(hp);
    auto first = plot_into(first_dir, run);
    ASSERT_EQ(first.first, 1);
    ASSERT_EQ(first.second.size(), 3u);

    model::Document* other = model::NewDocument("C:\\work\\other.pcb");
    ASSERT_NE(other, nullptr);
    ASSERT_EQ(m.current, other);
    model::ApplyDirective(other->setup, "-dy");
    model::ApplyDirective(other->setup, "-dyBOT:12");
    model::MakeItem(other->ring(), model::kLine, 12, 900, 0, 0, kIn, kIn);
    auto second = plot_into(second_dir, run);
    EXPECT_EQ(second.first, 1);
    EXPECT_EQ(second.second, first.second);

    trazel::platform::RunContext cancelled(hp);
    cancelled.cancel();
    auto none = plot_into(cancelled_dir, cancelled);
    EXPECT_EQ(none.first, 0);
    EXPECT_TRUE(none.second.empty());
    EXPECT_TRUE(std::filesystem::is_empty(cancelled_dir.path));
    ASSERT_FALSE(hp.reports.empty());
    EXPECT_EQ(hp.reports.back(), "The photoplot was cancelled; the files written before stay.");
}
