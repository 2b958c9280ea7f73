// gerbv reads what the photoplot run writes: every Gerber file without complaint, the drill file with
// its header at the board's hole centres, and pictures that match our own render of the same layers.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "cam/photoplot.h"
#include "interop/gerbv_shell.h"
#include "interop/picture_mask.h"
#include "model/chooser.h"
#include "model/model.h"
#include "model/setup_directives.h"
#include "platform/headless.h"

namespace fs = std::filesystem;
using namespace trazel;
using model::Coord;
using model::Ref;

namespace {

Coord mil(int64_t m) {
    return model::mils_to_units(m);
}

using interop::complaints;
using interop::have;
using interop::run;
using interop::Shell;

struct Hole {
    Coord x, y;
    model::Length hole;
};

// A small two-sided board: two 8-pin DIL packages, SMT parts, vias, mounting holes, tracks on both
// sides, an arc, a poured area, silk outlines and texts, and pads turned by odd angles.
struct TestBoard {
    model::Model m;
    model::Document* d = nullptr;
    std::vector<Hole> holes;

    TestBoard() {
        d = model::NewDocument("board.pcb");
        for (const char* l : {"-y0:00000000,00000000,0,0,Pad Master",
                              "-y1:00FFFFFF,00000000,0,1,Top Silk",
                              "-y2:00FF00FF,00000000,1,2,Top Mask",
                              "-y3:00FF0000,00000000,2,3,Top Side",
                              "-y4:00808080,00000000,3,4,GND",
                              "-y5:00FF8000,00000000,5,5,Top Paste",
                              "-y12:000000FF,00000000,10,12,Bottom Side",
                              "-y13:00FF00FF,00000000,9,13,Bottom Mask",
                              "-y14:00FFFFFF,00000000,8,14,Bottom Silk",
                              "-y15:00AAAAAA,00000000,7,15,Drawing",
                              "-dp.004,.002,.02,.02,.008",
                              "-gx0,0,2.0,1.5",
                              "-dy",
                              "-dyTSS:6,1",
                              "-dyTSM:2,2",
                              "-dyTOP:0,3",
                              "-dyBOT:8,12",
                              "-dyBSM:10,13",
                              "-dyBSS:14,14",
                              "-dyGND:1,4",
                              "-dyTSP:3,5",
                              "-dyDRL:4",
                              "-dyLST:7",
                              "-dySYM:5,15",
                              "-dyDWG:5,15"}) {
            model::ApplyDirective(d->setup, l);
        }
        Ref r = d->ring();
        for (int part = 0; part < 2; ++part) {
            Coord ox = mil(300 + 800 * part), oy = mil(400);
            Ref c = model::make_component(r, 0, 0, part == 0 ? "DIP8\x7FU1\x7FNE555" : "DIP8\x7FU2\x7FLM358");
            Ref mr = model::member_ring(c);
            for (int i = 0; i < 8; ++i) {
                Coord x = ox + mil(100) * (i % 4), y = oy + (i < 4 ? 0 : mil(300));
                pad(mr, 0, i == 0 ? 2 : 1, x, y, mil(60), i == 0 ? mil(60) : mil(80), mil(35), i == 0 ? 0 : 16384);
            }
            line(mr, 1, mil(8), ox - mil(60), oy + mil(60), ox + mil(360), oy + mil(60));
            line(mr, 1, mil(8), ox - mil(60), oy + mil(240), ox + mil(360), oy + mil(240));
            text(mr, 1, mil(50), ox, oy + mil(100), part == 0 ? "U1" : "U2");
            model::close_component(c);
        }
        // SMT resistors, one turned 90 degrees, one at 45 (painted) and an oblong at 30.
        pad(r, 3, 6, mil(300), mil(1000), mil(50), mil(60), 0);
        pad(r, 3, 6, mil(400), mil(1000), mil(50), mil(60), 0);
        pad(r, 3, 6, mil(700), mil(1000), mil(50), mil(60), 0, 16384);
        pad(r, 3, 6, mil(900), mil(1000), mil(50), mil(60), 0, 8192);
        pad(r, 3, 5, mil(1200), mil(1000), mil(80), mil(40), 0, 5461);
        pad(r, 12, 6, mil(1500), mil(1000), mil(50), mil(60), 0);
        // Vias and mounting holes (the hole is larger than the pad: non-plated).
        pad(r, 0, 3, mil(600), mil(600), mil(30), mil(30), mil(15));
        pad(r, 0, 3, mil(1000), mil(200), mil(30), mil(30), mil(15));
        pad(r, 0, 1, mil(100), mil(100), mil(100), mil(100), mil(125));
        pad(r, 0, 1, mil(1900), mil(100), mil(100), mil(100), mil(125));
        pad(r, 4, 1, mil(1700), mil(1300), mil(70), mil(70), mil(40)); // on the plane: a thermal
        // Tracks joining pads, on both sides, and an arc.
        line(r, 3, mil(12), mil(300), mil(400), mil(300), mil(1000));
        line(r, 3, mil(12), mil(400), mil(1000), mil(600), mil(600));
        line(r, 3, mil(12), mil(600), mil(600), mil(1100), mil(400));
        line(r, 12, mil(20), mil(600), mil(600), mil(1000), mil(200));
        line(r, 12, mil(20), mil(1000), mil(200), mil(1400), mil(700));
        arc(r, 3, mil(10), mil(1500), mil(500), mil(200), 0, 24576);
        // A poured area with a notch, and the board outline on the drawing layer.
        Ref s = model::MakeItem(r, model::kLine, 3, 0, 0, 0, 0, 0);
        for (auto [x, y] : std::initializer_list<std::pair<int, int>>{
                 {1300, 1150}, {1900, 1150}, {1900, 1450}, {1600, 1450}, {1600, 1300}, {1300, 1300}}) {
            model::add_vertex(s, mil(x), mil(y));
        }
        line(r, 15, mil(10), 0, 0, mil(2000), 0);
        line(r, 15, mil(10), mil(2000), 0, mil(2000), mil(1500));
        text(r, 1, mil(60), mil(100), mil(1350), "TRAZEL TEST");
        text(r, 14, mil(60), mil(1900), mil(1350), "BOTTOM");
        model::node(model::last_item(r)).text.length = -1; // mirrored on the bottom
    }

    void pad(Ref ring, int layer, int type, Coord x, Coord y, Coord w, Coord h, Coord hole, model::Angle a = 0) {
        Ref p =
            model::MakeItem(ring, model::kPad, static_cast<uint8_t>(layer), static_cast<uint16_t>(type), x, y, 0, 0);
        model::Node& n = model::node(p);
        n.pad.x0 = x, n.pad.y0 = y;
        n.pad.width = static_cast<model::Length>(w);
        n.pad.height = static_cast<model::Length>(h);
        n.pad.hole = static_cast<model::Length>(hole);
        n.pad.angle = a;
        n.pad.pin = 0;
        if (type < 4 && hole >= 3) {
            holes.push_back(Hole{x, y, static_cast<model::Length>(hole)});
        }
    }
    void line(Ref ring, int layer, Coord w, Coord x1, Coord y1, Coord x2, Coord y2) {
        model::MakeItem(ring, model::kLine, static_cast<uint8_t>(layer), static_cast<uint16_t>(w), x1, y1, x2, y2);
    }
    void arc(Ref ring, int layer, Coord w, Coord x, Coord y, Coord radius, model::Angle start, model::Angle sweep) {
        Ref a = model::MakeItem(ring, model::kArc, static_cast<uint8_t>(layer), static_cast<uint16_t>(w), x, y, 0, 0);
        model::Node& n = model::node(a);
        n.arc.x0 = x, n.arc.y0 = y, n.arc.radius = radius, n.arc.start = start, n.arc.sweep = sweep;
        n.arc.ellipse = 0, n.arc.angle = 0;
    }
    void text(Ref ring, int layer, Coord h, Coord x, Coord y, const char* t) {
        Ref r = model::MakeItem(ring, model::kText, static_cast<uint8_t>(layer), static_cast<uint16_t>(h), x, y, 0, 0);
        model::Node& n = model::node(r);
        n.text.x0 = x, n.text.y0 = y, n.text.length = 1, n.text.angle = 0, n.text.anchor_font = 0;
        model::SetText(r, t);
    }
};

struct GerbvInterop : ::testing::Test {
    std::unique_ptr<interop::ScratchDir> scratch;
    fs::path dir;
    void SetUp() override {
        if (!have("gerbv")) {
            GTEST_SKIP() << "gerbv is not installed (make deps installs it)";
        }
        scratch = std::make_unique<interop::ScratchDir>("trazel-gerbv-");
        dir = scratch->path;
    }
    std::vector<std::string> plot(TestBoard& b, bool header) {
        platform::Headless hp;
        platform::install(&hp);
        cam::PhotoplotOptions opt;
        opt.out_dir = dir.string();
        opt.excellon_header = header;
        std::vector<std::string> written;
        platform::RunContext run(hp);
        int ok = cam::photoplot_run(*b.d, opt, run, &written);
        platform::install(nullptr);
        EXPECT_EQ(ok, 1);
        return written;
    }
};

} // namespace

TEST_F(GerbvInterop, EveryGerberFileOfTheRunReadsWithoutComplaint) {
    TestBoard b;
    std::vector<std::string> files = plot(b, false);
    ASSERT_EQ(files.size(), 12u);
    int gerbers = 0;
    for (const std::string& f : files) {
        std::ifstream in(f, std::ios::binary);
        std::string first;
        std::getline(in, first);
        if (first.rfind("%FSLAX24Y24*%", 0) != 0) {
            continue; // drill file, listing, Data file drawing
        }
        ++gerbers;
        Shell r = run("timeout 60 gerbv -x rs274x -o " + (dir / "seen.gbr").string() + " " + f, dir);
        EXPECT_EQ(complaints(r.err), "") << f;
        EXPECT_TRUE(fs::exists(dir / "seen.gbr")) << f;
        fs::remove(dir / "seen.gbr");
    }
    EXPECT_EQ(gerbers, 9);
}

namespace {

// Tools and holes of a drill file as gerbv exports it ("T10C0.035", "X012500Y001000": 2.4 digits,
// leading zeros kept).
struct SeenDrill {
    std::map<int, double> diameter;                              // tool -> inch
    std::map<int, std::vector<std::pair<double, double>>> holes; // tool -> positions in inch
};

SeenDrill parse_drill(const std::string& text) {
    SeenDrill s;
    std::istringstream in(text);
    int tool = 0;
    double x = 0, y = 0;
    for (std::string l; std::getline(in, l);) {
        while (!l.empty() && (l.back() == '\r' || l.back() == ' ')) {
            l.pop_back();
        }
        if (l.size() > 1 && l[0] == 'T' && std::isdigit(static_cast<unsigned char>(l[1]))) {
            size_t c = l.find('C');
            tool = std::atoi(l.c_str() + 1);
            if (c != std::string::npos) {
                s.diameter[tool] = std::atof(l.c_str() + c + 1);
            }
            continue;
        }
        if (l.empty() || (l[0] != 'X' && l[0] != 'Y')) {
            continue;
        }
        size_t px = l.find('X'), py = l.find('Y');
        if (px != std::string::npos) {
            x = std::atof(l.substr(px + 1, py == std::string::npos ? std::string::npos : py - px - 1).c_str()) / 10000;
        }
        if (py != std::string::npos) {
            y = std::atof(l.c_str() + py + 1) / 10000;
        }
        s.holes[tool].emplace_back(x, y);
    }
    return s;
}

} // namespace

TEST_F(GerbvInterop, DrillFileWithHeaderPutsEveryHoleOnAPadCentre) {
    TestBoard b;
    plot(b, true);
    fs::path drl = dir / "board.drl";
    ASSERT_TRUE(fs::exists(drl));
    Shell r = run("timeout 60 gerbv -x drill -o " + (dir / "seen.drl").string() + " " + drl.string(), dir);
    EXPECT_EQ(complaints(r.err), "");
    std::ifstream f(dir / "seen.drl", std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    SeenDrill seen = parse_drill(ss.str());

    // Every hole lies on a thru-hole pad centre of the board (1/10000 inch rounding apart), and the
    // holes per diameter agree with the board's pads.
    std::map<std::string, int> want, got;
    for (const Hole& h : b.holes) {
        ++want[cam::size_string(h.hole, 3)];
    }
    size_t total = 0;
    for (auto& [tool, list] : seen.holes) {
        ASSERT_TRUE(seen.diameter.count(tool)) << tool;
        char d[16];
        std::snprintf(d, sizeof d, "%.3f", seen.diameter[tool]);
        got[std::string(d).substr(1)] += static_cast<int>(list.size()); // ".035"
        for (const auto& at : list) {
            double x = at.first, y = at.second;
            bool on_pad = std::any_of(b.holes.begin(), b.holes.end(), [&](const Hole& h) {
                return std::abs(h.x / 65536.0 - x) < 1.5e-4 && std::abs(h.y / 65536.0 - y) < 1.5e-4;
            });
            EXPECT_TRUE(on_pad) << x << "," << y;
        }
        total += list.size();
    }
    EXPECT_EQ(total, b.holes.size());
    EXPECT_EQ(got, want);
}

TEST_F(GerbvInterop, DrillFileWithoutHeaderIsMisreadAsTenThousandths) {
    // The bare form keeps its two integer digits but no header says so: gerbv takes every number as
    // 1/10000 inch, so the DIL pin at (0.3, 0.4) inch ("X003Y004") comes back at (0.0003, 0.0004).
    // This is why the header form exists.
    TestBoard b;
    plot(b, false);
    Shell r =
        run("timeout 60 gerbv -x drill -o " + (dir / "seen.drl").string() + " " + (dir / "board.drl").string(), dir);
    std::ifstream f(dir / "seen.drl", std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    SeenDrill seen = parse_drill(ss.str());
    bool misread = false;
    for (auto& [tool, list] : seen.holes) {
        for (auto [x, y] : list) {
            misread |= std::abs(x - 0.0003) < 1e-6 && std::abs(y - 0.0004) < 1e-6;
        }
    }
    EXPECT_TRUE(misread);
}

TEST_F(GerbvInterop, PicturesMatchOurRenderOfTheSameLayers) {
    Shell probe = run(std::string("'") + TRAZEL_CLI + "' render", dir);
    if (probe.err.find("unknown verb") != std::string::npos) {
        GTEST_SKIP() << "trazel-cli render does not exist yet: the picture comparison waits for it";
    }
    if (!have("pngtopnm")) {
        GTEST_SKIP() << "pngtopnm (netpbm, installed by make deps) is needed to read the pictures";
    }
    TestBoard b;
    std::vector<std::string> files = plot(b, false);
    ASSERT_FALSE(files.empty());
    // A window on the board that leaves out the plot label under it: 1.96 x 1.46 inch at 1000 dpi.
    const int dpi = 1000, w = 1960, h = 1460;
    const std::string window = "-O 0.02x0.02 -W 1.96x1.46";
    model::FormatTable formats;
    model::register_model_formats(formats);
    struct Case {
        const char* ext;
        std::vector<int> layers; // shown in our render; every other layer is switched off
        const char* pads_mode;   // -gm pads byte: 3 filled without hole, 19 with mask derivation
    };
    for (const Case& c : {Case{"top", {0, 3}, "3"}, Case{"tsm", {2}, "19"}, Case{"tss", {1}, "3"}}) {
        SCOPED_TRACE(c.ext);
        fs::path gbr = dir / (std::string("board.") + c.ext);
        fs::path theirs = dir / (std::string("gerbv_") + c.ext + ".png");
        Shell g = run("timeout 120 gerbv -x png -B 0 -D " + std::to_string(dpi) + " " + window +
                          " -b '#000000' -f '#FFFFFFFF' -o " + theirs.string() + " " + gbr.string(),
                      dir);
        ASSERT_EQ(complaints(g.err), "");

        // The same board with only these layers shown, white on black, everything drawn filled.
        model::Setup keep = b.d->setup;
        for (int l = 0; l < 256; ++l) {
            bool show = std::find(c.layers.begin(), c.layers.end(), l) != c.layers.end();
            b.d->setup.layers[static_cast<size_t>(l)].colour = show ? 0xFFFFFF : model::kNoColour;
        }
        model::ApplyDirective(b.d->setup, "-gd0,FFFFFF,000000,FFFFFF,FFFF00");
        model::ApplyDirective(b.d->setup, std::string("-gm3,") + c.pads_mode + ",3,0");
        fs::path data = dir / (std::string("view_") + c.ext + ".pcb");
        ASSERT_TRUE(model::SaveDocumentFile(formats, data.string(), 'C'));
        b.d->setup = keep;

        fs::path ours = dir / (std::string("ours_") + c.ext + ".png");
        Shell r = run(std::string("'") + TRAZEL_CLI + "' render " + data.string() + " " + ours.string() + " --size " +
                          std::to_string(w) + "x" + std::to_string(h) + " --scale " + std::to_string(dpi) +
                          " --view 1.0,0.75",
                      dir);
        ASSERT_EQ(r.status, 0) << r.err;
        Mask a, m;
        ASSERT_TRUE(read_mask(theirs, {0, 0, 0}, a));
        ASSERT_TRUE(read_mask(ours, {0, 0, 0}, m));
        ASSERT_EQ(a.w, w);
        ASSERT_EQ(m.w, w);
        Agreement g2 = agreement(a, m);
        std::printf("  %s: %.1f%% of the drawn pixels within one pixel, %.1f%% exactly, at (%d, %d)\n", c.ext,
                    100 * g2.near, 100 * g2.strict, g2.dx, g2.dy);
        // Copper and mask agree exactly on 97% of their pixels at the same registration; silk strokes
        // are thin enough that edge rounding costs a few percent more.
        EXPECT_GE(g2.near, 0.97) << "strict " << g2.strict << " at (" << g2.dx << ", " << g2.dy << ")";
        EXPECT_GE(g2.strict, 0.90) << "at (" << g2.dx << ", " << g2.dy << ")";
    }
}
