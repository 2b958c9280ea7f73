// A generated board turned by a quarter and mirrored by the Block move, photoplotted, and read by gerbv:
// its picture of the top copper must be the picture of the untouched board turned (or flopped) by
// ImageMagick, pixel for pixel up to one pixel of edge rounding.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "edit/board_build.h"
#include "model/setup_directives.h"
#include "interop/picture_mask.h"

namespace {

namespace fs = std::filesystem;

bool have(const char* tool) {
    return std::system((std::string("command -v ") + tool + " >/dev/null 2>&1").c_str()) == 0;
}

int sh(const std::string& cmd) {
    return std::system((cmd + " >/dev/null 2>&1 </dev/null").c_str());
}

std::string cli() {
    return std::string("'") + TRAZEL_CLI + "'";
}

// The top copper Gerber of a board, drawn by gerbv in a square window about (cx, cy) inches.
bool picture(const fs::path& board, const fs::path& dir, double cx, double cy, double side, const fs::path& png) {
    fs::path out = dir / board.stem();
    fs::create_directories(out);
    if (sh(cli() + " gerber '" + board.string() + "' --outdir '" + out.string() + "'") != 0) {
        return false;
    }
    fs::path top;
    for (const auto& e : fs::directory_iterator(out)) {
        std::string ext = e.path().extension().string();
        if (ext == ".top" || ext == ".TOP") {
            top = e.path();
        }
    }
    if (top.empty()) {
        return false;
    }
    // The plot label (file name and time, drawn last with the 0.010 inch aperture under the board) is no
    // part of the board: it is cut off, so the pictures hold the copper alone.
    std::ifstream in(top, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    std::string g = ss.str();
    size_t def = g.find("C,.0100*%");
    size_t code_at = g.rfind("%ADD", def);
    if (def == std::string::npos || code_at == std::string::npos) {
        return false;
    }
    std::string select = "\n" + g.substr(code_at + 3, def - code_at - 3) + "*";
    size_t label = g.rfind(select);
    if (label == std::string::npos) {
        return false;
    }
    fs::path cut = top.string() + ".board";
    std::ofstream(cut, std::ios::binary) << g.substr(0, label + 1) << "M02*\n";
    top = cut;
    char window[128];
    std::snprintf(window, sizeof window, "-O %.4fx%.4f -W %.4fx%.4f", cx - side / 2, cy - side / 2, side, side);
    return sh("timeout 120 gerbv -x png -B 0 -D 200 " + std::string(window) + " -b '#000000' -f '#FFFFFFFF' -o '" +
              png.string() + "' '" + top.string() + "'") == 0;
}

} // namespace

TEST(BlockGerbv, TurnedAndMirroredBoardsPictureAsTheTurnedPicture) {
    if (!have("gerbv") || !have("convert") || !have("pngtopnm")) {
        GTEST_SKIP() << "gerbv, ImageMagick and netpbm (make deps) are needed";
    }
    fs::path dir = edit_test::temp_path("x").substr(0, edit_test::temp_path("x").size() - 2);
    fs::path board = dir / "board.pcb";
    edit_test::write_board(board.string(), [](trazel::model::Ref ring) {
        trazel::model::ApplyDirective("-dy");
        trazel::model::ApplyDirective("-dyTOP:0,3");
        edit_test::generate_board(ring, 7, 24);
    });
    // The generated board lies within (-1,-1) and (7,5) inches: turned about (3,2) it stays in a square
    // window of 9 inches about that point.
    const double cx = 3, cy = 2, side = 9;
    ASSERT_TRUE(picture(board, dir, cx, cy, side, dir / "orig.png"));
    struct Case {
        const char* name;
        const char* block;   // the Block move
        const char* convert; // what ImageMagick does to the original picture
    };
    for (const Case& c : {Case{"turned", "--rotate 90", "-rotate -90"}, Case{"mirrored", "--mirror-x", "-flop"}}) {
        SCOPED_TRACE(c.name);
        fs::path moved = dir / (std::string(c.name) + ".pcb");
        ASSERT_EQ(sh(cli() + " block '" + board.string() + "' '" + moved.string() +
                     "' --box -2,-2,8,6 --ref 3,2 " + c.block + " --move 3,2"),
                  0);
        fs::path theirs = dir / (std::string(c.name) + "_gerbv.png");
        fs::path expect = dir / (std::string(c.name) + "_magick.png");
        ASSERT_TRUE(picture(moved, dir, cx, cy, side, theirs));
        ASSERT_EQ(sh("convert '" + (dir / "orig.png").string() + "' " + c.convert + " -depth 8 'PNG24:" + expect.string() + "'"), 0);
        Mask a, b;
        ASSERT_TRUE(read_mask(theirs, {0, 0, 0}, a));
        ASSERT_TRUE(read_mask(expect, {0, 0, 0}, b));
        ASSERT_EQ(a.w, b.w);
        ASSERT_EQ(a.h, b.h);
        long na = a.count(), nb = b.count();
        ASSERT_GT(na, 10000) << "the copper is in the picture";
        EXPECT_LE(std::abs(na - nb), nb / 100) << na << " against " << nb << " copper pixels";
        double ab = near_share(a, b), ba = near_share(b, a);
        std::printf("  %s: %ld and %ld copper pixels, %.2f%% and %.2f%% within one pixel of the other\n", c.name, na,
                    nb, 100 * ab, 100 * ba);
        EXPECT_GE(ab, 0.995);
        EXPECT_GE(ba, 0.995);
    }
    fs::remove_all(dir);
}
