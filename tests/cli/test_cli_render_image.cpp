// render --image: the current slot's picture under the drawing by default, another slot or none on
// request, and a block that cannot be drawn left out (or refused when asked for by number).
#include <gtest/gtest.h>

#include "cli/cli_runner.h"
#include "images/block.h"
#include "images/picture_kit.h"

using namespace cli_test;
using namespace trazel;

namespace {

// The colour at (row, col) of a rendered BMP, read back with our own BMP reader.
uint32_t colour_at(const std::string& file, int row, int col) {
    picture_kit::Decoded d = picture_kit::decode_with(images::decode_bmp, slurp(file));
    if (!d.ok || d.p.bits != 24) {
        ADD_FAILURE() << file << ": " << d.message;
        return 0xFFFFFFFF;
    }
    return d.rgb(col, row);
}

} // namespace

TEST(CliRenderImage, SlotChoiceAndUndrawableBlocks) {
    Scratch s;
    picture_kit::Bmp red;
    red.width = 4, red.height = 2;
    red.palette = {0xFF0000};
    red.data = std::string(8, '\0');
    spit(s / "red.bmp", red.bytes());
    const std::string out = quote(s / "out.bmp");
    const std::string render = "render " + quote(s / "red.bmp") + " " + out + " --size 40x30";

    // A picture file alone: its rectangle is the extents, so the middle of the view is the picture.
    Result r = run(s, render);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(colour_at(s / "out.bmp", 15, 20), 0xFF0000u);
    ASSERT_EQ(run(s, render + " --image 0").status, 0);
    EXPECT_EQ(colour_at(s / "out.bmp", 15, 20), 0xFF0000u);
    ASSERT_EQ(run(s, render + " --image none").status, 0);
    uint32_t background = colour_at(s / "out.bmp", 15, 20);
    EXPECT_NE(background, 0xFF0000u);

    r = run(s, render + " --image 5");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "trazel-cli: image slot 5 cannot be drawn: it is empty\n");
    EXPECT_EQ(run(s, render + " --image 128").status, 2);
    EXPECT_EQ(run(s, render + " --image x").status, 2);

    // A block read back from a Data file with a resolution of 0 is kept, but not drawn.
    ASSERT_EQ(run(s, "convert " + quote(s / "red.bmp") + " " + quote(s / "pic.pcb") + " --format C").status, 0);
    std::string file = slurp(s / "pic.pcb");
    size_t at = file.find("PIX98a");
    ASSERT_NE(at, std::string::npos);
    file.replace(at + images::kAtDpi, 4, std::string(4, '\0'));
    spit(s / "bad.pcb", file);
    r = run(s, "render " + quote(s / "bad.pcb") + " " + out + " --size 40x30 --view 0,0,0.04,0.02");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(colour_at(s / "out.bmp", 15, 20), background);
    r = run(s, "render " + quote(s / "bad.pcb") + " " + out + " --image 0");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("trazel-cli: image slot 0 cannot be drawn: resolution 0\n"), std::string::npos) << r.err;
}
