// Our photoplots read back: each copper file of a generated board's `gerber` run, imported and drawn by
// `render`, is the board's own picture of that row's layers and gerbv's picture of the same file, up to
// one pixel of edge rounding; every flash becomes a Pad, and every imported drill hole sits on a drilled
// pad of the board.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "cli/netlist_expect.h"
#include "interop/gerbv_shell.h"
#include "interop/picture_mask.h"
#include "model/chooser.h"
#include "model/model.h"
#include "model/setup_directives.h"

namespace fs = std::filesystem;
using namespace trazel;
using cli_test::quote;
using interop::complaints;
using interop::have;
using interop::run;
using interop::Shell;

namespace {

// 200 dpi with the window centre on the 0.025-inch grid, where gerbv's pixel grid and ours coincide.
// The window holds the board (3.85 x 4.15 inch) but not the plot label under it (y < -0.02).
constexpr int kDpi = 200, kW = 800, kH = 850;
constexpr double kLeft = -0.05, kBottom = 0.0;

std::string cli() {
    return quote(TRAZEL_CLI);
}

// Flashes of a Gerber file: coordinate blocks whose operation, given or modal, is D03.
int count_flashes(const std::string& g) {
    int flashes = 0, op = 1;
    size_t at = 0;
    while (at < g.size()) {
        if (std::isspace(static_cast<unsigned char>(g[at]))) {
            ++at;
            continue;
        }
        if (g[at] == '%') { // a parameter block: no operation
            size_t end = g.find('%', at + 1);
            at = end == std::string::npos ? g.size() : end + 1;
            continue;
        }
        size_t end = g.find('*', at);
        std::string b = g.substr(at, end == std::string::npos ? std::string::npos : end - at);
        at = end == std::string::npos ? g.size() : end + 1;
        bool coords = b.find_first_of("XY") != std::string::npos;
        size_t d = b.find('D');
        if (d != std::string::npos) {
            int code = std::atoi(b.c_str() + d + 1);
            if (code >= 1 && code <= 3) {
                op = code;
            }
        }
        flashes += coords && op == 3 ? 1 : 0;
    }
    return flashes;
}

struct Seen {
    int pads = 0;
    std::vector<std::pair<model::Coord, model::Coord>> at;      // Pad centres
    std::vector<std::pair<model::Coord, model::Coord>> drilled; // centres of the Pads with a hole
    std::vector<int> layers;                               // layers holding Items
};

// Loads a Data file and writes a view of it for `render`: only `show` (or every layer in use, when empty)
// drawn white on black, pads filled without holes.  What the file holds is returned.
Seen view(const fs::path& in, const std::vector<int>& show, const fs::path& out) {
    Seen s;
    model::Model m;
    model::FormatTable formats;
    model::register_model_formats(formats);
    model::NewDocument("view.pcb");
    if (model::OpenDocumentFile(formats, in.string(), 0) == 0) {
        ADD_FAILURE() << "cannot read " << in;
        return s;
    }
    model::Document* d = model::M().current;
    std::vector<bool> used(256, false);
    model::walk_tree(d->ring(), [&](model::Ref r, int) {
        const model::Node& n = model::node(r);
        used[n.layer] = true;
        if (n.item_kind() == model::kPad) {
            ++s.pads;
            s.at.emplace_back(n.pad.x0, n.pad.y0);
            if (n.pad.hole > 0) {
                s.drilled.emplace_back(n.pad.x0, n.pad.y0);
            }
        }
    });
    std::vector<bool> on(256, false);
    for (int l = 0; l < 256; ++l) {
        if (used[static_cast<size_t>(l)]) {
            s.layers.push_back(l);
        }
        on[static_cast<size_t>(l)] =
            show.empty() ? used[static_cast<size_t>(l)] : std::count(show.begin(), show.end(), l) > 0;
    }
    interop::white_on_black(d->setup, on);
    EXPECT_TRUE(model::SaveDocumentFile(formats, out.string(), 'C'));
    return s;
}

struct ImportInterop : ::testing::Test {
    std::unique_ptr<interop::ScratchDir> scratch;
    fs::path dir;
    void SetUp() override {
        if (!have("gerbv") || !have("pngtopnm")) {
            GTEST_SKIP() << "gerbv and netpbm (make deps) are needed";
        }
        scratch = std::make_unique<interop::ScratchDir>("trazel-gerber-import-");
        dir = scratch->path;
        ASSERT_TRUE(netlist_test::generate(40, 3, (dir / "board.pcb").string(), (dir / "nets.json").string()));
    }
    void plot(const std::string& sub, const std::string& extra = {}) {
        Shell r = run(cli() + " gerber " + quote((dir / "board.pcb").string()) + " --outdir " +
                          quote((dir / sub).string()) + " " + extra,
                      dir);
        ASSERT_EQ(r.status, 0) << r.err;
    }
    Mask render(const fs::path& data, const std::string& name) {
        fs::path png = dir / (name + ".png");
        char window[96];
        std::snprintf(window, sizeof window, " --size %dx%d --scale %d --view %.3f,%.3f", kW, kH, kDpi,
                      kLeft + 0.5 * kW / kDpi, kBottom + 0.5 * kH / kDpi);
        Shell r = run(cli() + " render " + quote(data.string()) + " " + quote(png.string()) + window, dir);
        EXPECT_EQ(r.status, 0) << r.err;
        Mask m;
        EXPECT_TRUE(read_mask(png, {0, 0, 0}, m)) << png;
        return m;
    }
    Mask gerbv(const fs::path& gbr, const std::string& name) {
        fs::path png = dir / (name + ".png");
        char window[96];
        std::snprintf(window, sizeof window, " -O %.3fx%.3f -W %.3fx%.3f", kLeft, kBottom,
                      static_cast<double>(kW) / kDpi, static_cast<double>(kH) / kDpi);
        Shell r = run("timeout 120 gerbv -x png -B 0 -D " + std::to_string(kDpi) + window +
                          " -b '#000000' -f '#FFFFFFFF' -o " + quote(png.string()) + " " + quote(gbr.string()),
                      dir);
        EXPECT_EQ(complaints(r.err), "") << gbr;
        Mask m;
        EXPECT_TRUE(read_mask(png, {0, 0, 0}, m)) << png;
        return m;
    }
};

// Both pictures hold the same ink within one pixel: 99.5% of each one's ink pixels have ink of the
// other next to them, at the registration where they agree best.
void expect_same(const Mask& a, const Mask& b, const char* what) {
    ASSERT_EQ(a.w, b.w) << what;
    ASSERT_EQ(a.h, b.h) << what;
    ASSERT_GT(a.count(), 2000) << what << ": the copper is in the picture";
    Agreement g = agreement(a, b);
    double ab = near_share(a, b, g.dx, g.dy), ba = near_share(b, a, -g.dx, -g.dy);
    std::printf("  %s: %ld and %ld ink pixels, %.2f%% and %.2f%% within one pixel, at (%d, %d)\n", what,
                a.count(), b.count(), 100 * ab, 100 * ba, g.dx, g.dy);
    EXPECT_GE(ab, 0.995) << what;
    EXPECT_GE(ba, 0.995) << what;
}

} // namespace

TEST(GerberFlashCount, CountsModalAndGivenFlashesOnly) {
    EXPECT_EQ(count_flashes("%FSLAX24Y24*%\n%ADD10C,.0100*%\nD10*\nX100Y100D3*\nX200*\nX300D2*\nX400D1*\n"
                            "X500*\nG54D10*\nX600D03*\n%LNX3*%\nM02*\n"),
              3);
}

TEST_F(ImportInterop, CopperFilesReadBackAsTheBoardAndAsGerbvSeesThem) {
    plot("out");
    struct Case {
        const char* ext;
        std::vector<int> layers; // the row's layers in gen_board's setup, with the pad master; none: a plane
    };
    // The plane row plots the pad master as the plane's own round shapes, not as the pads the screen
    // draws: its file is compared with gerbv's picture only.
    for (const Case& c : {Case{"top", {0, 3}}, Case{"bot", {0, 4}}, Case{"gnd", {}}}) {
        SCOPED_TRACE(c.ext);
        fs::path gbr = dir / "out" / (std::string("board.") + c.ext);
        ASSERT_TRUE(fs::exists(gbr));
        fs::path imported = dir / (std::string("imported_") + c.ext + ".pcb");
        Shell conv = run(cli() + " convert " + quote(gbr.string()) + " " + quote(imported.string()) + " --format C " +
                             "--strict",
                         dir);
        ASSERT_EQ(conv.status, 0) << conv.err;
        EXPECT_EQ(conv.err, "") << "our own file needs no question and skips nothing";

        Seen got = view(imported, {}, dir / (std::string("view_imported_") + c.ext + ".pcb"));
        EXPECT_EQ(got.pads, count_flashes(cli_test::slurp(gbr)));
        EXPECT_EQ(got.layers, std::vector<int>{1}) << "one layer, named after the file";
        Mask ours = render(dir / (std::string("view_imported_") + c.ext + ".pcb"), std::string("ours_") + c.ext);
        if (!c.layers.empty()) {
            view(dir / "board.pcb", c.layers, dir / (std::string("view_board_") + c.ext + ".pcb"));
            Mask board = render(dir / (std::string("view_board_") + c.ext + ".pcb"), std::string("board_") + c.ext);
            expect_same(board, ours, (std::string(c.ext) + " board / imported").c_str());
        }
        Mask theirs = gerbv(gbr, std::string("gerbv_") + c.ext);
        expect_same(theirs, ours, (std::string(c.ext) + " gerbv / imported").c_str());
    }
}

TEST_F(ImportInterop, DrillHolesOfBothFormsLieOnTheBoardsDrilledPads) {
    plot("bare");
    plot("header", "--excellon-header");
    fs::path shown = dir / "unused.pcb";
    std::vector<std::pair<model::Coord, model::Coord>> drilled = view(dir / "board.pcb", {}, shown).drilled;
    ASSERT_GT(drilled.size(), 50u);
    for (const char* form : {"bare", "header"}) {
        SCOPED_TRACE(form);
        fs::path drl = dir / form / "board.drl";
        fs::path imported = dir / (std::string("drill_") + form + ".pcb");
        Shell conv = run(cli() + " convert " + quote(drl.string()) + " " + quote(imported.string()) +
                             " --format C --as I --strict",
                         dir);
        ASSERT_EQ(conv.status, 0) << conv.err;
        Seen holes = view(imported, {}, shown);
        EXPECT_EQ(holes.layers, std::vector<int>{0}) << "drill holes are Pads on layer 0";
        // The file keeps 1/10000 inch: a hole lies within that of its pad.
        const double tol = 65536.0 * 1.5e-4;
        int off = 0;
        for (auto [x, y] : holes.at) {
            bool on_pad = std::any_of(drilled.begin(), drilled.end(), [&](const auto& p) {
                return std::abs(static_cast<double>(p.first - x)) < tol &&
                       std::abs(static_cast<double>(p.second - y)) < tol;
            });
            off += on_pad ? 0 : 1;
        }
        EXPECT_EQ(off, 0) << "of " << holes.at.size() << " holes";
        EXPECT_EQ(holes.pads, static_cast<int>(drilled.size()));
    }
}
