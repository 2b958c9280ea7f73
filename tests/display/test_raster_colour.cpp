// Pixel formats, the 8-bit palette and colour conversion, checked against values worked out by hand.
#include <gtest/gtest.h>

#include "display/colour.h"

namespace trazel::display {
namespace {

TEST(RasterPalette, EntriesFollowTheLayout) {
    Palette p = build_palette(0);
    EXPECT_EQ(p[0], 0x000000u);
    EXPECT_EQ(p[1], 0xAA0000u); // bit 0 red
    EXPECT_EQ(p[6], 0x00AAAAu);
    EXPECT_EQ(p[7], 0xAAAAAAu); // the status bar face at 8 bits
    EXPECT_EQ(p[9], 0u);
    EXPECT_EQ(p[12], 0x000000u);
    EXPECT_EQ(p[19], 0x777777u);
    EXPECT_EQ(p[20 + 1 + 6 * 2 + 36 * 3], 0x996633u); // r 3, g 2, b 1 times 51
    EXPECT_EQ(p[235], 0xFFFFFFu);
    EXPECT_EQ(p[236], 0x888888u);
    EXPECT_EQ(p[243], 0xFFFFFFu);
    EXPECT_EQ(p[245], 0u);
    EXPECT_EQ(p[248], 0x555555u); // shadow
    EXPECT_EQ(p[249], 0xFF5555u);
    EXPECT_EQ(p[255], 0xFFFFFFu); // light
    // Layout 5 is one grey ramp; 4 and 6 ramp entries 10..245 as (256 i - 2442) / 236.
    Palette g = build_palette(5);
    EXPECT_EQ(g[0], 0u);
    EXPECT_EQ(g[100], 0x646464u);
    Palette h = build_palette(4);
    EXPECT_EQ(h[9], 0u);
    EXPECT_EQ(h[10], 0u);
    EXPECT_EQ(h[128], 0x808080u); // (32768 - 2442) / 236 = 30326 / 236 = 128
    EXPECT_EQ(h[245], 0xFFFFFFu);
    EXPECT_EQ(h[246], 0u);
    EXPECT_EQ(h[255], 0xFFFFFFu);
}

TEST(RasterPalette, IndexInversionInvertsTheColour) {
    // Label inks are the pixel XOR 0xFFFFFF; at 8 bits that is 255 - index, which the palette's layout
    // turns into the inverse colour for the basic colours, the greys and the whole cube.
    Palette p = build_palette(0);
    for (int i = 0; i < 256; ++i) {
        if ((i >= 8 && i < 12) || (i >= 244 && i < 248)) {
            continue; // the two blocks of black filler entries are each other's partners
        }
        EXPECT_EQ(p[i ^ 0xFF], p[i] ^ 0xFFFFFFu) << i;
    }
}

TEST(RasterColour, EightBitGreysAndCube) {
    PixelFormat f = format_for_depth(8);
    // A grey picks its high nibble's level: 0x909090 is level 9 -> 236 + 1.
    EXPECT_EQ(colour_to_pixel(f, 0x909090), 237u);
    EXPECT_EQ(colour_to_pixel(f, 0x303030), 15u);
    EXPECT_EQ(colour_to_pixel(f, 0x3F3A31), 15u); // high nibbles all 3
    // Others go to the cube: 0xFFFF00 -> 20 + 0 + 6*5 + 36*5; 0x123456 -> b 86*6>>8 = 2, g 52*6>>8 = 1,
    // r 18*6>>8 = 0 -> 28.
    EXPECT_EQ(colour_to_pixel(f, 0xFFFF00), 230u);
    EXPECT_EQ(colour_to_pixel(f, 0x123456), 28u);
    // The top byte is carried through.
    EXPECT_EQ(colour_to_pixel(f, 0x80123456), 0x8000001Cu);
    EXPECT_EQ(colour_to_pixel(f, 0x01FF0000), 0x01000000u | (20 + 36 * 5));
    Palette p = build_palette(0);
    EXPECT_EQ(pixel_to_rgb(f, p, 230), 0xFFFF00u);
}

TEST(RasterColour, SixteenBitChannels) {
    // 5-6-5: green drops 2 bits, red and blue 3.
    PixelFormat f;
    ASSERT_TRUE(format_from_masks(0xF800, 0x07E0, 0x001F, f));
    EXPECT_EQ(f.depth, 16);
    EXPECT_EQ(f.red_shift, 11);
    EXPECT_EQ(f.green_shift, 5);
    EXPECT_EQ(f.blue_shift, 0);
    EXPECT_EQ(f.red_drop, 3);
    EXPECT_EQ(f.green_drop, 2);
    EXPECT_EQ(f.blue_drop, 3);
    EXPECT_EQ(colour_to_pixel(f, 0xFFFF00), 0xFFE0u);
    EXPECT_EQ(colour_to_pixel(f, 0x808080), 0x8410u); // 16 << 11 | 32 << 5 | 16
    EXPECT_EQ(colour_to_pixel(f, 0x807F7F7F), 0x80000000u | (15 << 11) | (31 << 5) | 15);
    // Back to RGB, fields widened by repeating their top bits: 16 -> 0x84, 32 (6 bits) -> 0x82.
    Palette none{};
    EXPECT_EQ(pixel_to_rgb(f, none, 0x8410), 0x848284u);
    EXPECT_EQ(pixel_to_rgb(f, none, 0xFFFF), 0xFFFFFFu);
    // 5-5-5 puts red at 10 with 5 bits of green.
    PixelFormat g;
    ASSERT_TRUE(format_from_masks(0x7C00, 0x03E0, 0x001F, g));
    EXPECT_EQ(g.red_shift, 10);
    EXPECT_EQ(g.green_drop, 3);
    EXPECT_EQ(colour_to_pixel(g, 0xFFFFFF), 0x7FFFu);
    PixelFormat keep;
    EXPECT_FALSE(format_from_masks(0, 0x3E0, 0x1F, keep));
    EXPECT_EQ(keep.red_shift, 11);
}

TEST(RasterColour, TrueColourIsTheColourItself) {
    for (int depth : {24, 32}) {
        PixelFormat f = format_for_depth(depth);
        EXPECT_EQ(colour_to_pixel(f, 0x80123456), 0x80123456u);
        EXPECT_EQ(pixel_to_rgb(f, Palette{}, 0xFF123456), 0x123456u);
    }
}

TEST(RasterColour, SlotsHaveFixedEightBitEntries) {
    ColourSlots s;
    convert_slots(s, format_for_depth(8));
    EXPECT_EQ(s.pixel[kSlotBackground], 237u);
    EXPECT_EQ(s.pixel[kSlotXorOutline], 0x800000FFu);
    EXPECT_EQ(s.pixel[kSlotFace], 7u);
    EXPECT_EQ(s.pixel[kSlotLight], 255u);
    EXPECT_EQ(s.pixel[kSlotShadow], 248u);
    convert_slots(s, format_for_depth(32));
    EXPECT_EQ(s.pixel[kSlotXorOutline], 0x807F7F7Fu);
    EXPECT_EQ(s.pixel[kSlotFace], 0xC0C0C0u);
    EXPECT_EQ(s.pixel[kSlotMarker], 0xFFFF00u);
}

} // namespace
} // namespace trazel::display
