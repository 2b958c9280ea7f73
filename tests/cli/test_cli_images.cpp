// Pictures through the batch tool: a BMP converted to a Data file carries its block, the block reads back
// unchanged, info lists the slots, image adds, places and removes pictures, and a picture that is not
// read writes nothing.
#include <gtest/gtest.h>

#include "cli/cli_runner.h"
#include "images/block.h"
#include "images/picture_kit.h"

using namespace cli_test;
using namespace trazel;

namespace {

// 5 x 3 pixels at 300 dpi with an own palette.
picture_kit::Bmp small_bmp() {
    picture_kit::Bmp b;
    b.width = 5, b.height = 3, b.per_metre = 11811;
    b.palette = {0x000000, 0x102030, 0xFFFFFF};
    for (int r = 0; r < 3; ++r) {
        b.data += picture_kit::bytes_of({r, 1, 2, 1, 0, 0, 0, 0});
    }
    return b;
}

std::string convert(const fs::path& in, const fs::path& out) {
    return "convert " + quote(in) + " " + quote(out) + " --format C";
}

} // namespace

TEST(CliImages, BmpToDataFileAndBack) {
    Scratch s;
    std::string bmp = small_bmp().bytes();
    spit(s / "scan.bmp", bmp);
    Result r = run(s, convert(s / "scan.bmp", s / "out.pcb"));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");

    // The block written is the decoded picture's block; read back and written again, it is the same.
    picture_kit::Decoded d = picture_kit::decode_with(images::decode_bmp, bmp);
    ASSERT_TRUE(d.ok) << d.message;
    std::vector<uint8_t> expect = images::make_block(d.p, "scan.bmp");
    std::string written = picture_kit::blocks_of(slurp(s / "out.pcb"));
    ASSERT_EQ(written, std::string(expect.begin(), expect.end()));
    ASSERT_EQ(run(s, convert(s / "out.pcb", s / "again.pcb")).status, 0);
    EXPECT_EQ(picture_kit::blocks_of(slurp(s / "again.pcb")), written);

    r = run(s, "info " + quote(s / "out.pcb"));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("Pixel images  1\n"
                         "    0  scan.bmp                  5 x 3       8 bits  kind 2   300 dpi  "
                         "(0.000, 0.000) to (0.013, 0.007)  (current)\n"),
              std::string::npos)
        << r.out;

    // A picture that is not read: one line naming it, nothing written.
    picture_kit::Bmp wide = small_bmp();
    wide.width = 70000;
    spit(s / "wide.bmp", wide.bytes());
    r = run(s, convert(s / "wide.bmp", s / "no.pcb"));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "trazel-cli: wide.bmp: BMP of 70000 x 3 pixels is too large (at most 65535 a side)\n");
    EXPECT_FALSE(fs::exists(s / "no.pcb"));
    // A JPEG is not a picture here: it ends as text or a byte dump, without a slot.
    spit(s / "photo.jpg", picture_kit::bytes_of({0xFF, 0xD8, 0xFF, 0xE0, 0, 16}) + "JFIF" + std::string(40, '\x01'));
    r = run(s, "info " + quote(s / "photo.jpg"));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.find("Pixel images"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("Format:  B"), std::string::npos) << r.out;
}

// image adds pictures to a board without touching its Items or setup, places them by corner and
// resolution, empties slots, and refuses what is not a picture without writing.
TEST(CliImages, ImageVerbAddsPlacesAndRemoves) {
    Scratch s;
    spit(s / "scan.bmp", small_bmp().bytes());
    std::string board = source("share/examples/demo.pcb"), add = " --add " + quote(s / "scan.bmp");
    Result r = run(s, "image " + quote(board) + " " + quote(s / "out.pcb") + add + " --at 1,-0.5 --dpi 50" + add +
                          " --slot 9");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "slot 0: scan.bmp, 5 x 3\nslot 9: scan.bmp, 5 x 3\n");

    // Everything before the pictures is the board as convert writes it.
    ASSERT_EQ(run(s, convert(board, s / "plain.pcb")).status, 0);
    std::string plain = slurp(s / "plain.pcb"), after = slurp(s / "out.pcb");
    EXPECT_EQ(after.substr(0, plain.size()), plain);
    EXPECT_NE(after.find("Pixel image follows EOF", plain.size()), std::string::npos);

    r = run(s, "info " + quote(s / "out.pcb"));
    // 4 pixels at 50 dpi is 0.08 inch: the corner and the size follow --at and --dpi.
    EXPECT_NE(r.out.find("Pixel images  2\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("scan.bmp                  5 x 3       8 bits  kind 2    50 dpi  "
                         "(1.000, -0.500) to (1.080, -0.460)"),
              std::string::npos)
        << r.out;
    ASSERT_EQ(run(s, "image " + quote(s / "out.pcb") + " " + quote(s / "one.pcb") + " --remove 1").status, 0);
    EXPECT_NE(run(s, "info " + quote(s / "one.pcb")).out.find("Pixel images  1\n"), std::string::npos);

    // Not a picture, a misplaced option, a picture past the drawing area: nothing is written.
    const std::string bad = "image " + quote(board) + " " + quote(s / "bad.pcb");
    r = run(s, bad + " --add " + quote(board));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "trazel-cli: demo.pcb: not a picture this program reads\n");
    EXPECT_EQ(run(s, bad + " --slot 3" + add).status, 2);
    EXPECT_EQ(run(s, bad + add + " --at 16384,0").status, 1);
    EXPECT_FALSE(fs::exists(s / "bad.pcb"));
}
