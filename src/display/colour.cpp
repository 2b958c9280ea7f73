// Pixel formats, the 8-bit palette and the colour conversions.
#include <cstring>

#include "display/colour.h"

namespace trazel::display {

namespace {

uint32_t rgb(uint32_t r, uint32_t g, uint32_t b) {
    return (r << 16) | (g << 8) | b;
}

uint32_t grey(uint32_t v) {
    return rgb(v, v, v);
}

// The three basic colour bits of the first and last eight entries: bit 0 red, bit 1 green, bit 2 blue.
uint32_t basic(int bits, uint32_t level) {
    return rgb((bits & 1) ? level : 0, (bits & 2) ? level : 0, (bits & 4) ? level : 0);
}

// Widens a 16-bit field of (8 - drop) bits back to 8 bits by repeating its top bits.
uint32_t widen(uint32_t field, int drop) {
    int bits = 8 - drop;
    if (bits <= 0) {
        return 0;
    }
    uint32_t v = field << drop;
    return (v | (field >> (bits - drop > 0 ? bits - drop : 0))) & 0xFF;
}

} // namespace

PixelFormat format_for_depth(int depth) {
    PixelFormat f;
    f.depth = depth;
    return f;
}

bool format_from_masks(uint32_t red_mask, uint32_t green_mask, uint32_t blue_mask, PixelFormat& out) {
    if (red_mask == 0 || green_mask == 0 || blue_mask == 0) {
        return false;
    }
    auto channel = [](uint32_t mask, int& shift, int& drop) {
        shift = 0;
        while ((mask & 1) == 0) {
            mask >>= 1;
            ++shift;
        }
        drop = mask == 31 ? 3 : 2;
    };
    PixelFormat f = out;
    f.depth = 16;
    channel(red_mask, f.red_shift, f.red_drop);
    channel(green_mask, f.green_shift, f.green_drop);
    channel(blue_mask, f.blue_shift, f.blue_drop);
    out = f;
    return true;
}

Palette build_palette(int layout) {
    Palette p{};
    for (int i = 0; i < 8; ++i) {
        p[i] = basic(i, 0xAA);
        p[248 + i] = 0x555555 + basic(i, 0xAA);
    }
    for (int i = 8; i < 12; ++i) {
        p[i] = 0;
    }
    for (int i = 0; i < 8; ++i) {
        p[12 + i] = grey(0x11 * i);
        p[236 + i] = grey(0x88 + 0x11 * i);
    }
    for (int r = 0; r < 6; ++r) {
        for (int g = 0; g < 6; ++g) {
            for (int b = 0; b < 6; ++b) {
                p[20 + b + 6 * g + 36 * r] = rgb(r * 51, g * 51, b * 51);
            }
        }
    }
    for (int i = 244; i < 248; ++i) {
        p[i] = 0;
    }
    if (layout == 5) {
        for (int i = 0; i < 256; ++i) {
            p[i] = grey(i);
        }
    } else if (layout == 4 || layout == 6) {
        for (int i = 10; i <= 245; ++i) {
            p[i] = grey((256 * i - 2442) / 236);
        }
    }
    return p;
}

uint32_t colour_to_pixel(const PixelFormat& f, uint32_t colour) {
    uint32_t top = colour & 0xFF000000;
    uint32_t r = (colour >> 16) & 0xFF, g = (colour >> 8) & 0xFF, b = colour & 0xFF;
    switch (f.depth) {
    case 8: {
        uint32_t level = r >> 4;
        if (level == (g >> 4) && level == (b >> 4)) {
            return top | (level < 8 ? 12 + level : 236 + (level - 8));
        }
        return top | (20 + ((b * 6) >> 8) + 6 * ((g * 6) >> 8) + 36 * ((r * 6) >> 8));
    }
    case 16:
        return top | ((r >> f.red_drop) << f.red_shift) | ((g >> f.green_drop) << f.green_shift) |
               ((b >> f.blue_drop) << f.blue_shift);
    default:
        return colour;
    }
}

uint32_t pixel_to_rgb(const PixelFormat& f, const Palette& pal, uint32_t pixel) {
    switch (f.depth) {
    case 8:
        return pal[pixel & 0xFF];
    case 16: {
        auto field = [&](int shift, int drop) { return widen((pixel >> shift) & (0xFFu >> drop), drop); };
        return rgb(field(f.red_shift, f.red_drop), field(f.green_shift, f.green_drop),
                   field(f.blue_shift, f.blue_drop));
    }
    default:
        return pixel & 0xFFFFFF;
    }
}

uint32_t read_pixel(const PixelBuffer& b, int row, int col) {
    const uint8_t* p = b.at(row, col);
    switch (b.depth) {
    case 8:
        return p[0];
    case 16:
        return static_cast<uint32_t>(p[0] | (p[1] << 8));
    case 24:
        return static_cast<uint32_t>(p[0] | (p[1] << 8) | (p[2] << 16));
    default: {
        uint32_t v;
        std::memcpy(&v, p, 4);
        return v;
    }
    }
}

std::vector<uint8_t> buffer_to_rgb(const PixelBuffer& b, const PixelFormat& f, const Palette& pal, const Rect& r) {
    std::vector<uint8_t> out;
    if (r.empty() || b.base == nullptr) {
        return out;
    }
    out.reserve(static_cast<size_t>(r.width()) * static_cast<size_t>(r.height()) * 3);
    for (int row = r.top; row <= r.bottom; ++row) {
        for (int col = r.left; col <= r.right; ++col) {
            uint32_t c = pixel_to_rgb(f, pal, read_pixel(b, row, col));
            out.push_back(static_cast<uint8_t>(c >> 16));
            out.push_back(static_cast<uint8_t>(c >> 8));
            out.push_back(static_cast<uint8_t>(c));
        }
    }
    return out;
}

void convert_slots(ColourSlots& s, const PixelFormat& f) {
    for (int i = 0; i < kSlotCount; ++i) {
        s.pixel[i] = colour_to_pixel(f, s.colour[i]);
    }
    if (f.depth == 8) {
        s.pixel[kSlotXorOutline] = kXorOutline8;
        s.pixel[kSlotFace] = 7;
        s.pixel[kSlotLight] = 255;
        s.pixel[kSlotShadow] = 248;
    }
}

} // namespace trazel::display
