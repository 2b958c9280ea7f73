// trazel-cli rectify: the coefficients and rectangle it prints, the block it writes, the refusals that
// write nothing, and the same picture as S5 played as a keystroke macro.
#include <gtest/gtest.h>

#include "cli/cli_runner.h"
#include "images/block.h"
#include "images/picture_kit.h"

using namespace cli_test;
using namespace trazel;

namespace {

// A grey BMP of `side` x `side` pixels at 64 dpi (2520 pixels per metre), every pixel different enough
// to tell a turned picture from another.
std::string grey_bmp(int side) {
    picture_kit::Bmp b;
    b.width = b.height = side, b.per_metre = 2520, b.palette = picture_kit::grey_ramp();
    for (int y = 0; y < side; ++y) {
        for (int x = 0; x < ((side + 3) & ~3); ++x) {
            b.data.push_back(static_cast<char>(x < side ? (x * 7 + y * 3) & 255 : 0));
        }
    }
    return b.bytes();
}

std::vector<uint8_t> block_in(const std::string& file) {
    std::string b = picture_kit::blocks_of(file);
    return std::vector<uint8_t>(b.begin(), b.end());
}

} // namespace

TEST(CliRectify, AShiftPrintsItsMappingAndMovesThePicture) {
    Scratch s;
    spit(s / "scan.bmp", grey_bmp(5));
    // One pixel (1/64 inch) to the right and two down.
    Result r = run(s, "rectify " + quote(s / "scan.bmp") + " " + quote(s / "out.pcb") +
                          " --pair 0,0=0.015625,-0.03125 --pair 0.0625,0=0.078125,-0.03125"
                          " --pair 0,0.0625=0.015625,0.03125 --pair 0.0625,0.0625=0.078125,0.03125");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "c0 1\nc1 0\nc2 0\nc3 1\nc4 -0.015625\nc5 0.03125\nc6 0\nc7 0\nc8 0\nc9 0\nc10 0\nc11 0\n"
                     "rectangle 0.01563,-0.03125 0.07813,0.03125 (5 x 5 pixels at 64 dpi, slot 0)\n");
    images::BlockHeader h;
    ASSERT_TRUE(images::read_header(block_in(slurp(s / "out.pcb")), h));
    EXPECT_EQ(std::vector<int32_t>({h.left, h.bottom, h.row_length}), std::vector<int32_t>({1024, -2048, 5}));
    EXPECT_EQ(h.name, "scan.bmp");
}

TEST(CliRectify, RefusalsWriteNothing) {
    Scratch s;
    spit(s / "scan.bmp", grey_bmp(5));
    std::string in = quote(s / "scan.bmp") + " " + quote(s / "out.pcb");
    Result r = run(s, "rectify " + in + " --pair 0,0=0,0 --pair 0.0625,0=0.0625,0 --pair 0,0.0625=0,0.0625");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "trazel-cli: A minimum of four pairs of points are required for this function, but you "
                     "have entered only three pair of reference points.\n");
    // Targets on one line; a source off the picture; an empty slot.
    r = run(s, "rectify " + in + " --pair 0,0=0,0 --pair 0.0625,0=0.1,0 --pair 0,0.0625=0.2,0 --pair 0.06,0.06=0.3,0");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("do not fix a mapping"), std::string::npos) << r.err;
    EXPECT_EQ(cli_test::lines(r.err), 1);
    r = run(s, "rectify " + in + " --pair 0,0=0,0 --pair 0.0625,0=0.1,0 --pair 0,0.0625=0.2,0 --pair 1,1=0.3,0");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "trazel-cli: the source point 1,1 lies outside the picture\n");
    r = run(s, "rectify " + in + " --slot 7 --pair 0,0=0,0 --pair 1,0=1,0 --pair 0,1=0,1 --pair 1,1=1,1");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "trazel-cli: slot 7 holds no picture\n");
    EXPECT_FALSE(fs::exists(s / "out.pcb"));
    EXPECT_EQ(run(s, "rectify " + in).status, 2);
    EXPECT_EQ(run(s, "rectify " + in + " --pair 0,0").status, 2);
}

TEST(CliRectify, TheSameAsS5PlayedAsAMacro) {
    Scratch s;
    spit(s / "scan.bmp", grey_bmp(33)); // half an inch a side
    ASSERT_EQ(run(s, "convert " + quote(s / "scan.bmp") + " " + quote(s / "pic.pcb") + " --format C").status, 0);
    // A quarter turn and a shift; every point on the coarsest grid, so snapping moves none.
    Result verb = run(s, "rectify " + quote(s / "pic.pcb") + " " + quote(s / "verb.pcb") +
                             " --pair 0,0=1,0.5 --pair 0.5,0=1,1 --pair 0,0.5=0.5,0.5 --pair 0.5,0.5=0.5,1");
    ASSERT_EQ(verb.status, 0) << verb.err;
    EXPECT_NE(verb.out.find("rectangle 0.5,0.5 1,1 (33 x 33 pixels at 64 dpi, slot 0)"), std::string::npos) << verb.out;
    // S5 from a key takes the first source point where the cursor is; Escape finishes.
    Result macro = run(s, "macro " + quote(s / "pic.pcb") + " " + quote(s / "macro.pcb") +
                              " --keys '\"0,0\" Enter <S5> \"1,0.5\" Enter Enter \"0.5,0\" Enter Enter"
                              " \"1,1\" Enter Enter \"0,0.5\" Enter Enter \"0.5,0.5\" Enter Enter"
                              " \"0.5,0.5\" Enter Enter \"0.5,1\" Enter Enter Esc'");
    ASSERT_EQ(macro.status, 0) << macro.err;
    std::vector<uint8_t> a = block_in(slurp(s / "verb.pcb")), b = block_in(slurp(s / "macro.pcb"));
    ASSERT_FALSE(a.empty());
    EXPECT_EQ(a, b);
    EXPECT_NE(a, block_in(slurp(s / "pic.pcb")));
}
