// Photoplots and drill files of other CAM tools (tests/data/peer_samples, made by make_samples.sh there):
// each photoplot, imported and drawn by `render`, is gerbv's picture of the file up to one pixel of edge
// rounding, and each drill file's holes lie where gerbv reads them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
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
using interop::have;
using interop::run;
using interop::Shell;

namespace {

// Every sample lies within 0..1.9 inch on both axes: a 2.2-inch window round it at 200 dpi, its centre on
// the 0.025-inch grid where gerbv's pixel grid and ours coincide.
constexpr int kDpi = 200, kSide = 440;
constexpr double kOrigin = -0.1;

const fs::path kSamples = fs::path(TRAZEL_SOURCE_DIR) / "tests" / "data" / "peer_samples";

using Points = std::vector<std::pair<double, double>>; // inches

// gerbv's CRITICAL and WARNING lines, less the ones it prints for every Gerber X2 attribute it skips.
std::string unexpected_complaints(const std::string& err) {
    std::string bad;
    std::istringstream in(interop::complaints(err));
    for (std::string l; std::getline(in, l);) {
        bool attribute = false;
        for (const char* x : {"%TF%", "%TA%", "%TO%", "%TD%"}) {
            attribute = attribute || l.find(std::string("Unknown RS-274X extension found ") + x) != std::string::npos;
        }
        if (!attribute) {
            bad += l + "\n";
        }
    }
    return bad;
}

// Hole centres of gerbv's drill rewrite: always INCH,TZ with six digits in 1/10000 inch.
Points gerbv_holes(const std::string& text) {
    Points at;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);) {
        long x = 0, y = 0;
        if (std::sscanf(l.c_str(), "X%ldY%ld", &x, &y) == 2) {
            at.emplace_back(x / 1e4, y / 1e4);
        }
    }
    return at;
}

// Reads an imported Data file, paints every layer in use white on black with pads filled without holes,
// and saves that view for `render`.  Returns the Pad centres.
Points view(const fs::path& in, const fs::path& out) {
    Points pads;
    model::Model m;
    model::FormatTable formats;
    model::register_model_formats(formats);
    model::NewDocument("view.pcb");
    if (model::OpenDocumentFile(formats, in.string(), 0) == 0) {
        ADD_FAILURE() << "cannot read " << in;
        return pads;
    }
    model::Document* d = model::M().current;
    std::vector<bool> used(256, false);
    model::walk_tree(d->ring(), [&](model::Ref r, int) {
        const model::Node& n = model::node(r);
        used[n.layer] = true;
        if (n.item_kind() == model::kPad) {
            pads.emplace_back(n.pad.x0 / 65536.0, n.pad.y0 / 65536.0);
        }
    });
    interop::white_on_black(d->setup, used);
    EXPECT_TRUE(model::SaveDocumentFile(formats, out.string(), 'C'));
    return pads;
}

struct PeerSamples : ::testing::Test {
    std::unique_ptr<interop::ScratchDir> scratch;
    fs::path dir;
    void SetUp() override {
        if (!have("gerbv") || !have("pngtopnm")) {
            GTEST_SKIP() << "gerbv and netpbm (make deps) are needed";
        }
        scratch = std::make_unique<interop::ScratchDir>("trazel-peer-samples-");
        dir = scratch->path;
    }
    // Imports a sample into a Data file, the reader chosen by recognition as the open dialog's "any
    // file" does; the Pad centres of the white-on-black view written beside it.
    Points import(const std::string& name) {
        fs::path data = dir / (name + ".pcb");
        Shell conv = run(cli() + " convert " + quote((kSamples / name).string()) + " " + quote(data.string()) +
                             " --format C --strict",
                         dir);
        EXPECT_EQ(conv.status, 0) << conv.err;
        return view(data, dir / (name + ".view.pcb"));
    }
    Mask ours(const std::string& name) {
        fs::path png = dir / (name + ".ours.png");
        char window[96];
        std::snprintf(window, sizeof window, " --size %dx%d --scale %d --view %.3f,%.3f", kSide, kSide, kDpi,
                      kOrigin + 0.5 * kSide / kDpi, kOrigin + 0.5 * kSide / kDpi);
        Shell r =
            run(cli() + " render " + quote((dir / (name + ".view.pcb")).string()) + " " + quote(png.string()) + window,
                dir);
        EXPECT_EQ(r.status, 0) << r.err;
        Mask m;
        EXPECT_TRUE(read_mask(png, {0, 0, 0}, m)) << png;
        return m;
    }
    Mask gerbv(const std::string& name) {
        fs::path png = dir / (name + ".gerbv.png");
        char window[96];
        std::snprintf(window, sizeof window, " -O %.3fx%.3f -W %.3fx%.3f", kOrigin, kOrigin,
                      static_cast<double>(kSide) / kDpi, static_cast<double>(kSide) / kDpi);
        Shell r =
            run("timeout 120 gerbv -x png -B 0 -D " + std::to_string(kDpi) + window +
                    " -b '#000000' -f '#FFFFFFFF' -o " + quote(png.string()) + " " + quote((kSamples / name).string()),
                dir);
        EXPECT_EQ(unexpected_complaints(r.err), "") << name;
        Mask m;
        EXPECT_TRUE(read_mask(png, {0, 0, 0}, m)) << png;
        return m;
    }
    Points gerbv_drill(const std::string& name) {
        fs::path seen = dir / (name + ".seen.drl");
        run("timeout 60 gerbv -x drill -o " + quote(seen.string()) + " " + quote((kSamples / name).string()), dir);
        return gerbv_holes(cli_test::slurp(seen));
    }
    static std::string cli() {
        return quote(TRAZEL_CLI);
    }
};

} // namespace

TEST(PeerSampleChecks, OnlyGerberAttributeComplaintsAreExpected) {
    std::string err = "** (process:1): CRITICAL **: 01:19:06.5: Unknown RS-274X extension found %TF% at line 1\n"
                      "** (process:1): CRITICAL **: 01:19:06.5: Unknown RS-274X extension found %TO% at line 9\n"
                      "** (process:1): CRITICAL **: 01:19:06.5: Unknown RS-274X extension found %TX% at line 9\n"
                      "** (process:1): CRITICAL **: 01:19:06.5: Found undefined D code D11 at line 40\n"
                      "note: nothing\n";
    EXPECT_EQ(unexpected_complaints(err),
              "** (process:1): CRITICAL **: 01:19:06.5: Unknown RS-274X extension found %TX% at line 9\n"
              "** (process:1): CRITICAL **: 01:19:06.5: Found undefined D code D11 at line 40\n");
    Points p = gerbv_holes("M48\nINCH,TZ\nT10C0.031\n%\nT10\nX011024Y005512\nX002000Y000050\nM30\n");
    ASSERT_EQ(p.size(), 2u);
    EXPECT_DOUBLE_EQ(p[0].first, 1.1024);
    EXPECT_DOUBLE_EQ(p[0].second, 0.5512);
    EXPECT_DOUBLE_EQ(p[1].second, 0.005);
}

TEST_F(PeerSamples, PhotoplotsDrawAsGerbvDrawsThem) {
    for (const char* name : {"kicad.f_cu.gbr", "kicad.b_cu.gbr", "kicad.f_silk.gbr", "pcbrnd.top.gbr", "pcbrnd.bot.gbr",
                             "pcbrnd.silk.gbr", "gerbv.f_cu.gbr", "gerbv.silk.gbr"}) {
        SCOPED_TRACE(name);
        import(name);
        Mask a = gerbv(name), b = ours(name);
        ASSERT_EQ(a.w, b.w);
        ASSERT_EQ(a.h, b.h);
        ASSERT_GT(a.count(), 500) << "the sample lies in the window";
        Agreement g = agreement(a, b);
        double ab = near_share(a, b, g.dx, g.dy), ba = near_share(b, a, -g.dx, -g.dy);
        std::printf("  %s: %ld and %ld ink pixels, %.2f%% and %.2f%% within one pixel, at (%d, %d)\n", name, a.count(),
                    b.count(), 100 * ab, 100 * ba, g.dx, g.dy);
        EXPECT_GE(ab, 0.98) << "gerbv's ink that we miss";
        EXPECT_GE(ba, 0.98) << "our ink that gerbv does not draw";
    }
}

TEST_F(PeerSamples, DrillHolesLieWhereGerbvReadsThem) {
    // gerbv reads no routed slots (and names them on stderr): each of its holes must be one of our Pads,
    // and our extra Pads are the slots.
    // KiCad's one slot runs from (6, 4.8) to (6, 3.2) mm: its Pad is centred between the two.
    struct Case {
        const char* name;
        Points slots;
    };
    const Points kicad_slot{{6.0 / 25.4, 4.0 / 25.4}};
    for (const Case& c : {Case{"kicad_metric.drl", kicad_slot}, Case{"kicad_inch_tz.drl", kicad_slot},
                          Case{"pcbrnd.cnc", {}}, Case{"gerbv.drl", {}}}) {
        SCOPED_TRACE(c.name);
        Points mine = import(c.name), theirs = gerbv_drill(c.name);
        ASSERT_GE(theirs.size(), 8u);
        // gerbv's rewrite keeps 1/10000 inch.
        const double tol = 1.5e-4;
        int missing = 0;
        auto among = [&](const Points& in, std::pair<double, double> at) {
            return std::any_of(in.begin(), in.end(), [&](const auto& p) {
                return std::abs(p.first - at.first) < tol && std::abs(p.second - at.second) < tol;
            });
        };
        for (auto at : theirs) {
            missing += among(mine, at) ? 0 : 1;
        }
        EXPECT_EQ(missing, 0) << "of " << theirs.size() << " holes";
        for (auto at : c.slots) {
            EXPECT_TRUE(among(mine, at)) << "the slot at " << at.first << ", " << at.second;
        }
        EXPECT_EQ(mine.size(), theirs.size() + c.slots.size());
    }
}
