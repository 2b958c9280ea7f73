#pragma once
// Pixel formats, the 8-bit palette, colour to pixel value conversion and the colour slots.
//
// A colour is 0x00RRGGBB; its top byte travels through every conversion unchanged, because it is the mode
// of the pixel value (0 store, 0x01..0xBF XOR, 0xC0..0xFF dashed XOR) and bit 24 marks a layer that is
// switched off.
#include <array>
#include <cstdint>
#include <vector>

#include "display/pixel_buffer.h"

namespace trazel::display {

using Palette = std::array<uint32_t, 256>; // 0x00RRGGBB per palette index

// What the drawing code needs to know about the screen's pixels.
struct PixelFormat {
    int depth = 32; // 8, 16, 24 or 32 bits per pixel
    // 16 bits: per channel the field position and the number of low bits dropped from an 8-bit value
    // (3 for a 5-bit field, 2 for a 6-bit field).  The default is the common 5-6-5 layout.
    int red_shift = 11, green_shift = 5, blue_shift = 0;
    int red_drop = 3, green_drop = 2, blue_drop = 3;
    int palette_layout = 0; // 8 bits: 0 normal, 4 and 6 grey ramp in 10..245, 5 all grey
};

// The format of a depth with the default 16-bit layout.
PixelFormat format_for_depth(int depth);
// A 16-bit format from the driver's channel masks: each shift is found by moving the mask right until
// bit 0 is set, and a shifted mask of 31 is a 5-bit field, anything else a 6-bit one.  Returns false
// (leaving `out` alone) for a zero mask.
bool format_from_masks(uint32_t red_mask, uint32_t green_mask, uint32_t blue_mask, PixelFormat& out);

// The 256 palette entries for a palette layout code.
Palette build_palette(int layout);

// Colour to pixel value for the format (the top byte carried through).
uint32_t colour_to_pixel(const PixelFormat& f, uint32_t colour);
// The RGB colour a stored pixel shows (the low `depth` bits of `pixel` are used).  16-bit fields are
// widened by repeating their top bits, so full-scale fields give 0xFF.
uint32_t pixel_to_rgb(const PixelFormat& f, const Palette& pal, uint32_t pixel);

// Reads the pixel at (row, col) of a buffer as stored (no clipping: the caller checks the bounds).
uint32_t read_pixel(const PixelBuffer& b, int row, int col);
// Rows top..bottom, columns left..right of the buffer as packed R, G, B bytes, row after row.
std::vector<uint8_t> buffer_to_rgb(const PixelBuffer& b, const PixelFormat& f, const Palette& pal, const Rect& r);

// --- Colour slots -----------------------------------------------------------------------------------
enum Slot : int {
    kSlotBackground = 0, // clearing, pad holes, erasing
    kSlotGridDots,
    kSlotHighlight, // marked Items
    kSlotMarker,    // hook point, vertex and centre markers, net scan display
    kSlotXorOutline,
    kSlotFace, // status bar
    kSlotLight,
    kSlotShadow,
    kSlotCount
};

constexpr uint32_t kXorOutlineColour = 0x807F7F7F;
constexpr uint32_t kXorOutline8 = 0x800000FF; // at 8 bits the outline inverts the palette index
constexpr uint32_t kXorInverse = 0x00FFFFFF;  // XOR with this inverts a pixel value

struct ColourSlots {
    std::array<uint32_t, kSlotCount> colour{0x909090,          0xFFFFFF, 0xFFFFFF, 0xFFFF00,
                                            kXorOutlineColour, 0xC0C0C0, 0xFFFFFF, 0x555555};
    std::array<uint32_t, kSlotCount> pixel{};
};

// Converts every slot for the format; at 8 bits the XOR outline and the status bar colours are fixed
// palette entries (0x800000FF; face 7, light 255, shadow 248).
void convert_slots(ColourSlots& s, const PixelFormat& f);

} // namespace trazel::display
