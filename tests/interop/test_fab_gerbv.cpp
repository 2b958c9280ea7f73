// gerbv reads the photoplot run of a generated board written with X2 attributes, in millimetres and with
// true arcs: no complaint but the attributes it does not know, the same holes as the inch drill file, and
// the same pictures of copper, mask and silk as the plain run.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "interop/gerbv_shell.h"
#include "interop/picture_mask.h"

namespace fs = std::filesystem;

namespace {

using interop::complaints;
using interop::have;
using interop::run;
using interop::Shell;

// gerbv 2.9 knows no X2 attributes and says so once per attribute line; anything else is a complaint.
std::string unexpected(const std::string& err) {
    std::string bad;
    std::istringstream in(complaints(err));
    for (std::string l; std::getline(in, l);) {
        bool attribute = false;
        for (const char* a : {"%TF%", "%TA%", "%TO%", "%TD%"}) {
            attribute |= l.find(std::string("Unknown RS-274X extension found ") + a) != std::string::npos;
        }
        if (!attribute) {
            bad += l + "\n";
        }
    }
    return bad;
}

std::string slurp(const fs::path& p) {
    std::ifstream f(p, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

// The holes of gerbv's re-export of a drill file (inches, 2.4 digits): "diameter x y" in 1/10000 inch.
std::multiset<std::string> seen_holes(const std::string& text) {
    std::multiset<std::string> holes;
    std::map<int, std::string> size;
    std::istringstream in(text);
    int tool = 0;
    long x = 0, y = 0;
    for (std::string l; std::getline(in, l);) {
        while (!l.empty() && (l.back() == '\r' || l.back() == ' ')) {
            l.pop_back();
        }
        if (l.size() > 1 && l[0] == 'T' && std::isdigit(static_cast<unsigned char>(l[1]))) {
            tool = std::atoi(l.c_str() + 1);
            size_t c = l.find('C');
            if (c != std::string::npos) {
                size[tool] = l.substr(c + 1);
            }
            continue;
        }
        if (l.empty() || (l[0] != 'X' && l[0] != 'Y')) {
            continue;
        }
        size_t px = l.find('X'), py = l.find('Y');
        if (px != std::string::npos) {
            x = std::atol(l.substr(px + 1, py == std::string::npos ? std::string::npos : py - px - 1).c_str());
        }
        if (py != std::string::npos) {
            y = std::atol(l.c_str() + py + 1);
        }
        holes.insert(size[tool] + " " + std::to_string(x) + " " + std::to_string(y));
    }
    return holes;
}

} // namespace

TEST(FabGerbv, X2MetricArcFilesReadCleanAndDrawLikeThePlainRun) {
    if (!have("gerbv") || !have("pngtopnm")) {
        GTEST_SKIP() << "gerbv and pngtopnm (make deps installs them) are needed";
    }
    interop::ScratchDir scratch("trazel-fab-gerbv-");
    const fs::path& dir = scratch.path;
    std::string cli = std::string("'") + TRAZEL_CLI + "'";
    std::string gen = (fs::path(TRAZEL_CLI).parent_path() / "gen_board").string();
    fs::path board = dir / "b.pcb";
    ASSERT_EQ(run(gen + " 40 " + board.string() + " --seed 7", dir).status, 0);
    {
        // Pads turned by odd angles, which the plain run paints and X2 flashes through aperture macros.
        std::ofstream add(board, std::ios::binary | std::ios::app);
        add << "3 3 6 .5 4.5 .05 .06 0 45\r\n3 3 5 .7 4.5 .08 .04 0 30\r\n3 3 5 .9 4.5 .04 .09 0 100\r\n"
               "3 0 2 1.1 4.5 .07 .05 .03 20\r\n";
    }
    Shell plain =
        run(cli + " gerber " + board.string() + " --excellon-header --outdir " + (dir / "plain").string(), dir);
    ASSERT_EQ(plain.status, 0) << plain.err;
    Shell fab = run(cli + " gerber " + board.string() + " --x2 --mm --arcs --outdir " + (dir / "fab").string(), dir);
    ASSERT_EQ(fab.status, 0) << fab.err;

    // Every file reads without complaint; the Gerber files all carry their attributes.
    int gerbers = 0;
    for (const auto& e : fs::directory_iterator(dir / "fab")) {
        std::string ext = e.path().extension().string();
        if (ext == ".lst") {
            continue;
        }
        bool drill = ext == ".drl";
        Shell r = run("timeout 60 gerbv -x " + std::string(drill ? "drill" : "rs274x") + " -o " +
                          (dir / "seen").string() + " " + e.path().string(),
                      dir);
        EXPECT_EQ(unexpected(r.err), "") << e.path();
        if (!drill) {
            ++gerbers;
            std::string text = slurp(e.path());
            EXPECT_EQ(text.rfind("%FSLAX46Y46*%\r\n%MOMM*%\r\n%TF.GenerationSoftware,", 0), 0u) << e.path();
            EXPECT_NE(text.find("%TF.FileFunction,"), std::string::npos) << e.path();
        }
    }
    EXPECT_EQ(gerbers, 7);
    EXPECT_NE(slurp(dir / "fab" / "b.tss").find("G03*"), std::string::npos); // the silk has circles
    EXPECT_NE(slurp(dir / "fab" / "b.top").find("%AMTR"), std::string::npos);
    EXPECT_NE(slurp(dir / "fab" / "b.top").find("%AMTO"), std::string::npos);

    // The metric drill file puts the same holes at the same places as the inch one.
    auto holes = [&](const fs::path& drl) {
        run("timeout 60 gerbv -x drill -o " + (dir / "seen.drl").string() + " " + drl.string(), dir);
        return seen_holes(slurp(dir / "seen.drl"));
    };
    std::multiset<std::string> inch = holes(dir / "plain" / "b.drl");
    EXPECT_GT(inch.size(), 40u);
    EXPECT_EQ(holes(dir / "fab" / "b.drl"), inch);

    // Pictures at 400 dpi.  The window starts off the 0.0025-inch grid, so no pixel centre lies exactly on
    // an edge of the board's round-numbered strokes, where a nanometre would decide the pixel.
    for (const char* ext : {"top", "bot", "gnd", "tsm", "tss"}) {
        SCOPED_TRACE(ext);
        Mask m[2];
        int i = 0;
        for (const char* set : {"plain", "fab"}) {
            fs::path png = dir / (std::string(set) + "_" + ext + ".png");
            Shell g = run("timeout 60 gerbv -x png -B 0 -D 400 -O -0.09963x-0.20037 -W 4.6x4.8 -b '#000000' -f "
                          "'#FFFFFFFF' -o " +
                              png.string() + " " + (dir / set / (std::string("b.") + ext)).string(),
                          dir);
            ASSERT_EQ(unexpected(g.err), "");
            ASSERT_TRUE(read_mask(png, {0, 0, 0}, m[i]));
            ++i;
        }
        ASSERT_GT(m[0].count(), 10000);
        Agreement a = agreement(m[0], m[1]);
        std::printf("  %s: %.2f%% of the drawn pixels agree exactly, %.2f%% within one pixel, at (%d, %d)\n", ext,
                    100 * a.strict, 100 * a.near, a.dx, a.dy);
        EXPECT_EQ(a.dx, 0);
        EXPECT_EQ(a.dy, 0);
        EXPECT_GE(a.near, 0.99);
        EXPECT_GE(a.strict, 0.97); // arcs where the plain run has chords, and edges a nanometre apart
    }
}
