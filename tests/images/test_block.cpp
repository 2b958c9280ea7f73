// The pixel image block: header layout, a new picture's header, the system palette, the 16-bit display
// table, faults of blocks read back, the slot rule and the setup of a picture Document.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "images/block.h"
#include "images/readers.h"

using namespace trazel;
using namespace trazel::images;

namespace {

Picture picture(int32_t w, int32_t h, int32_t bits, int32_t dpi) {
    Picture p;
    p.width = w, p.height = h, p.row_length = (w + 3) & ~3, p.bits = bits, p.dpi = dpi;
    EXPECT_TRUE(p.allocate());
    return p;
}

bool zeros(const std::vector<uint8_t>& b, size_t from, size_t to) {
    return std::all_of(b.begin() + static_cast<long>(from), b.begin() + static_cast<long>(to),
                       [](uint8_t v) { return v == 0; });
}

} // namespace

TEST(ImageBlock, HeaderFieldsRoundTripAtTheirOffsets) {
    BlockHeader h;
    h.row_length = 0x01020304, h.height = -2, h.right = 0x7FFFFFFF, h.lowest = 0xBEEF, h.curve = -8192, h.channels = 5;
    h.name = "scan.bmp";
    h.value_map[3] = 200;
    h.palette[255] = 0x00ABCDEF;
    std::vector<uint8_t> b;
    write_header(h, b);
    ASSERT_EQ(b.size(), kHeaderBytes);
    EXPECT_EQ(std::string(b.begin(), b.begin() + 6), "PIX98a");
    EXPECT_EQ(get_u16(b, 6), 1408);
    EXPECT_EQ(b[8], 4);
    EXPECT_EQ(b[11], 1);
    EXPECT_EQ(get_u32(b, 16), 0xFFFFFFFEu);
    EXPECT_EQ(b[48], 0xEF);
    EXPECT_EQ(get_u16(b, 52), 0xE000);
    EXPECT_EQ(b[54], 5);
    EXPECT_TRUE(zeros(b, 55, 64));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(b.data() + 64)), "scan.bmp");
    EXPECT_EQ(b[128 + 3], 200);
    EXPECT_EQ(get_u32(b, 384 + 4 * 255), 0x00ABCDEFu);
    BlockHeader back;
    ASSERT_TRUE(read_header(b, back));
    std::vector<uint8_t> again;
    write_header(back, again);
    EXPECT_EQ(again, b);
    b[0] = 'Q';
    EXPECT_FALSE(read_header(b, back));
    EXPECT_EQ(get_u32(std::vector<uint8_t>(3), 0), 0u);
}

TEST(ImageBlock, NewPictureHeaderAndAllocation) {
    Picture p = picture(640, 480, 8, 96);
    p.pixels[5] = 9;
    std::vector<uint8_t> b = make_block(p, "C:\\scans/boards\\top.bmp");
    ASSERT_EQ(b.size(), kHeaderBytes + p.pixels.size());
    EXPECT_GE(b.capacity(), b.size() + p.row_bytes()); // the spare row
    EXPECT_EQ(b[kHeaderBytes + 5], 9);
    BlockHeader h;
    ASSERT_TRUE(read_header(b, h));
    EXPECT_EQ(h.name, "top.bmp");
    EXPECT_EQ(h.left, 0);
    EXPECT_EQ(h.bottom, 0);
    EXPECT_EQ(h.right, 436224); // 639 x 65536 / 96
    EXPECT_EQ(h.top, 479 * 65536 / 96);
    EXPECT_TRUE(zeros(b, 48, 64));
    for (size_t i = 0; i < 256; ++i) {
        ASSERT_EQ(h.value_map[i], i);
        ASSERT_EQ(h.palette[i], i * 0x010101);
    }
    // A long name keeps 63 bytes; a resolution of 0 is 100.
    p.dpi = 0;
    ASSERT_TRUE(read_header(make_block(p, "/x/" + std::string(100, 'n')), h));
    EXPECT_EQ(h.name, std::string(63, 'n'));
    EXPECT_EQ(h.dpi, 100);
    EXPECT_EQ(h.right, 639 * 65536 / 100);

    // 16-bit blocks hold two bytes a pixel and the range shown.
    p = picture(3, 2, 16, 100);
    p.lowest = 100, p.highest = 4000;
    b = make_block(p, "deep.fits");
    EXPECT_EQ(b.size(), kHeaderBytes + 4 * 2 * 2);
    EXPECT_GE(b.capacity(), b.size() + 8);
    EXPECT_EQ(get_u16(b, 48), 100);
    EXPECT_EQ(get_u16(b, 50), 4000);
    EXPECT_TRUE(zeros(b, 52, 64));
}

TEST(ImageBlock, PaletteKinds) {
    // The screen's system palette as its table describes it (basic colours: bit 0 red).
    std::array<uint32_t, 256> sys{};
    for (uint32_t i = 0; i < 8; ++i) {
        uint32_t on = (i & 1) << 16 | (i & 2) << 7 | (i & 4) >> 2;
        sys[i] = on * 170;
        sys[248 + i] = 0x555555 + on * 170;
        sys[12 + i] = 17 * i * 0x010101;
        sys[236 + i] = (136 + 17 * i) * 0x010101;
    }
    for (uint32_t k = 0; k < 216; ++k) {
        sys[20 + k] = 51 * (k / 36) << 16 | 51 * (k / 6 % 6) << 8 | 51 * (k % 6);
    }
    std::array<uint32_t, 256> own{};
    own[9] = 0x123456;
    auto pal = kind_palette(kPaletteSystem, own);
    for (size_t i = 0; i < 256; ++i) {
        EXPECT_EQ(pal[i] & 0xFFFFFF, sys[i]) << "entry " << i;
    }
    EXPECT_EQ(kind_palette(kPaletteOwn, own), own);
    EXPECT_EQ(kind_palette(kPaletteDirect, own)[17], 0x111111u);
}

TEST(ImageBlock, SixteenBitDisplayTableEnds) {
    std::vector<uint8_t> t = grey16_table(100, 200);
    ASSERT_EQ(t.size(), 65536u);
    EXPECT_EQ(t[99], 0);
    EXPECT_EQ(t[100], 0);
    EXPECT_EQ(t[101], 2);   // 1 x 249 / 101
    EXPECT_EQ(t[199], 244); // 99 x 249 / 101
    EXPECT_EQ(t[200], 248);
    EXPECT_EQ(t[65535], 248);
    // A highest value not above the lowest is the lowest plus one.
    t = grey16_table(50, 10);
    EXPECT_EQ(t[50], 0);
    EXPECT_EQ(t[51], 248);
    t = grey16_table(0, 65535);
    EXPECT_EQ(t[65534], 248); // 65534 x 249 / 65536
    t = grey16_table(65535, 65535);
    EXPECT_EQ(t[65535], 0);
}

TEST(ImageBlock, FaultsOfBlocksReadBack) {
    std::vector<uint8_t> good = make_block(picture(5, 3, 8, 100), "a.bmp");
    EXPECT_EQ(block_fault(good), "");
    auto with = [&](size_t at, uint32_t v) {
        std::vector<uint8_t> b = good;
        put_u32(b, at, v);
        return block_fault(b);
    };
    EXPECT_EQ(with(kAtBits, 4), "4 bits per pixel");
    EXPECT_EQ(with(kAtDpi, 0), "resolution 0");
    EXPECT_EQ(with(kAtRowLength, 4), "row length 4 below the width 5");
    EXPECT_EQ(with(kAtHeight, 4), "its pixels are incomplete");
}

TEST(ImageSlots, StepFromTheCurrentSlotOverTakenOnes) {
    model::Model m;
    auto block = [](uint8_t tag) { return std::vector<uint8_t>(1, tag); };
    m.current_image = 127;
    bool replaced = true;
    EXPECT_EQ(take_slot(m, block(1), &replaced), 127);
    EXPECT_FALSE(replaced);
    m.images[1] = block(9);
    EXPECT_EQ(take_slot(m, block(2)), 0); // wraps round
    EXPECT_EQ(take_slot(m, block(3)), 2); // steps over slot 1
    EXPECT_EQ(m.current_image, 2);
    m.current_image = 40;
    for (int k = 0; k < 124; ++k) { // none replaced until all are full (the 129th: Rows, in test_bmp)
        take_slot(m, block(5), &replaced);
        ASSERT_FALSE(replaced) << k;
    }
}

TEST(PixelSetup, LayerLinesAndTheirInstallation) {
    std::vector<std::string> lines = pixel_setup_lines();
    std::vector<std::string> y;
    std::copy_if(lines.begin(), lines.end(), std::back_inserter(y),
                 [](const auto& l) { return l.rfind("-y", 0) == 0; });
    ASSERT_EQ(y.size(), 256u);
    EXPECT_EQ(y[0], "-y0:00000000,00FFFFFF,0,0,EGA Black");
    EXPECT_EQ(y[1], "-y1:000000AA,00FFFF00,7,1,EGA Blue");
    EXPECT_EQ(y[8], "-y8:01000000,01000000,7,8,Windows 08");
    EXPECT_EQ(y[12], "-y12:00000000,00FFFFFF,7,12,Gray 0");
    EXPECT_EQ(y[157], "-y157:0099CCFF,00663301,7,157,Color 345"); // 20 + 36 x 3 + 6 x 4 + 5
    EXPECT_EQ(y[243], "-y243:00FFFFFF,00010101,7,243,Gray 15");
    EXPECT_EQ(y[244], "-y244:01000000,01000000,7,244,Free F4");
    EXPECT_EQ(y[255], "-y255:00FFFFFF,00777777,7,255,EGA White");

    model::Setup s;
    install_pixel_setup(s);
    const model::LayerEntry& e = s.layers[243];
    EXPECT_STREQ(e.name, "Gray 15");
    EXPECT_EQ(e.colour, 0x00FFFFFFu);
    EXPECT_EQ(e.plot, 0x00010101u);
    EXPECT_EQ(e.kind(), 7);
    EXPECT_EQ(e.sequence, 243);
    EXPECT_STREQ(s.layers[250].name, "EGA Light Green");
    EXPECT_EQ(s.layers[0].kind(), 0);
    EXPECT_EQ(s.layers[9].colour, model::kNoColour);
    EXPECT_EQ(s.grid_dots, 0u);
    EXPECT_EQ(s.grid_colour, model::Setup().grid_colour); // the older "-gd" is the spacing only
}
