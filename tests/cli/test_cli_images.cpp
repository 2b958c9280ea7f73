// Pictures through the batch tool: a BMP converted to a Data file carries its block, the block reads back
// unchanged, info lists the slots, and a picture that is not read writes nothing.
#include <gtest/gtest.h>

#include "cli/cli_runner.h"
#include "images/block.h"
#include "images/bmp_maker.h"
#include "model/line_reader.h"

using namespace cli_test;
using namespace trazel;

namespace {

bmp_test::Bmp small_bmp() {
    bmp_test::Bmp b;
    b.width = 5;
    b.height = 3;
    b.per_metre = 11811; // 300 dpi
    b.palette = {0x000000, 0x102030, 0xFFFFFF};
    for (int r = 0; r < 3; ++r) {
        b.data += bmp_test::bytes_of({r, 1, 2, 1, 0, 0, 0, 0});
    }
    return b;
}

// The pixel image blocks after the marker of a Data file.
std::string blocks_of(const std::string& file) {
    const std::string marker = "Pixel image follows EOF\r\n\x1A";
    size_t at = file.find(marker);
    return at == std::string::npos ? std::string() : file.substr(at + marker.size());
}

} // namespace

TEST(CliImages, BmpToDataFileAndBack) {
    Scratch s;
    std::string bmp = small_bmp().bytes();
    spit(s / "scan.bmp", bmp);
    Result r = run(s, "convert " + quote(s / "scan.bmp") + " " + quote(s / "out.pcb") + " --format C");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");

    // The block written is the decoded picture's block.
    images::Picture p;
    images::DecodeError e;
    model::LineReader in;
    in.open_memory(bmp);
    ASSERT_TRUE(images::decode_bmp(in, p, e)) << e.message;
    std::vector<uint8_t> expect = images::make_block(p, "scan.bmp");
    std::string written = blocks_of(slurp(s / "out.pcb"));
    ASSERT_EQ(written, std::string(expect.begin(), expect.end()));
    images::BlockHeader h;
    ASSERT_TRUE(images::read_header(std::vector<uint8_t>(written.begin(), written.end()), h));
    EXPECT_EQ(h.kind, images::kPaletteOwn);
    EXPECT_EQ(h.palette[1], 0x102030u);
    EXPECT_EQ(h.right, 4 * 65536 / 300);
    EXPECT_EQ(h.top, 2 * 65536 / 300);
    EXPECT_EQ(h.row_length, 8);

    // Read back and written again, the block is byte for byte the same.
    r = run(s, "convert " + quote(s / "out.pcb") + " " + quote(s / "again.pcb") + " --format C");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(blocks_of(slurp(s / "again.pcb")), written);

    r = run(s, "info " + quote(s / "out.pcb"));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("Pixel images  1\n"
                         "    0  scan.bmp                  5 x 3       8 bits  kind 2   300 dpi  "
                         "(0.000, 0.000) to (0.013, 0.007)  (current)\n"),
              std::string::npos)
        << r.out;
}

TEST(CliImages, APictureThatIsNotReadWritesNothing) {
    Scratch s;
    bmp_test::Bmp wide = small_bmp();
    wide.width = 70000;
    spit(s / "wide.bmp", wide.bytes());
    Result r = run(s, "convert " + quote(s / "wide.bmp") + " " + quote(s / "out.pcb") + " --format C");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "trazel-cli: wide.bmp: BMP of 70000 x 3 pixels is too large (at most 65535 a side)\n");
    EXPECT_FALSE(fs::exists(s / "out.pcb"));

    // A JPEG is not a picture here: it ends as text or a byte dump, without a slot.
    std::string jpeg = bmp_test::bytes_of({0xFF, 0xD8, 0xFF, 0xE0, 0, 16}) + "JFIF" + std::string(40, '\x01');
    spit(s / "photo.jpg", jpeg);
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
    std::string board = std::string(TRAZEL_SOURCE_DIR) + "/share/examples/demo.pcb";
    Result r = run(s, "image " + quote(board) + " " + quote(s / "out.pcb") + " --add " + quote(s / "scan.bmp") +
                          " --at 1,-0.5 --dpi 50 --add " + quote(s / "scan.bmp") + " --slot 9");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "slot 0: scan.bmp, 5 x 3\nslot 9: scan.bmp, 5 x 3\n");

    // Everything before the pictures is the board as convert writes it.
    ASSERT_EQ(run(s, "convert " + quote(board) + " " + quote(s / "plain.pcb") + " --format C").status, 0);
    std::string plain = slurp(s / "plain.pcb"), after = slurp(s / "out.pcb");
    EXPECT_EQ(after.substr(0, plain.size()), plain);
    EXPECT_NE(after.find("Pixel image follows EOF", plain.size()), std::string::npos);

    r = run(s, "info " + quote(s / "out.pcb"));
    ASSERT_EQ(r.status, 0) << r.err;
    // 4 pixels at 50 dpi is 0.08 inch: the corner and the size follow --at and --dpi.
    EXPECT_NE(r.out.find("scan.bmp                  5 x 3       8 bits  kind 2    50 dpi  "
                         "(1.000, -0.500) to (1.080, -0.460)"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("Pixel images  2\n"), std::string::npos) << r.out;

    r = run(s, "image " + quote(s / "out.pcb") + " " + quote(s / "one.pcb") + " --remove 1");
    ASSERT_EQ(r.status, 0) << r.err;
    r = run(s, "info " + quote(s / "one.pcb"));
    EXPECT_NE(r.out.find("Pixel images  1\n"), std::string::npos) << r.out;

    // Not a picture, a misplaced option, a picture past the drawing area: nothing is written.
    r = run(s, "image " + quote(board) + " " + quote(s / "bad.pcb") + " --add " + quote(board));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "trazel-cli: demo.pcb: not a picture this program reads\n");
    r = run(s, "image " + quote(board) + " " + quote(s / "bad.pcb") + " --slot 3 --add " + quote(s / "scan.bmp"));
    EXPECT_EQ(r.status, 2);
    r = run(s, "image " + quote(board) + " " + quote(s / "bad.pcb") + " --add " + quote(s / "scan.bmp") +
                   " --at 16384,0");
    EXPECT_EQ(r.status, 1);
    EXPECT_FALSE(fs::exists(s / "bad.pcb"));
}
