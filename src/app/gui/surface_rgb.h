#pragma once
// Turns the core's pixel buffer into the packed R, G, B bytes a desktop image wants.  8-bit pixels go
// through the palette, 16-bit pixels through their channel layout, 24- and 32-bit pixels hold the colour
// as 0x00RRGGBB stored lowest byte first.
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>

#include "platform/window.h"

namespace trazel::gui {

// The part of `r` that lies inside the surface; empty (bottom < top) when none.
inline platform::PixelRect clip_to_surface(const platform::SurfaceView& s, platform::PixelRect r) {
    r.left = std::max(r.left, 0);
    r.top = std::max(r.top, 0);
    r.right = std::min(r.right, s.width - 1);
    r.bottom = std::min(r.bottom, s.height - 1);
    return r;
}

// A channel field of `bits` bits widened to 8 by repeating its top bits (so a full field gives 0xFF).
inline uint8_t widen_field(uint32_t field, int bits) {
    if (bits <= 0) {
        return 0;
    }
    if (bits >= 8) {
        return static_cast<uint8_t>(field >> (bits - 8));
    }
    uint32_t v = 0;
    for (int filled = 0; filled < 8; filled += bits) {
        v = v << bits | field;
    }
    // `v` now holds the field repeated at least 8 bits long; keep the top 8 of what was filled.
    int filled = (8 + bits - 1) / bits * bits;
    return static_cast<uint8_t>(v >> (filled - 8));
}

// The 65536-entry lookup of a 16-bit layout would be 192 KiB; per channel 256 entries of the widened
// value are enough, indexed by the field.
struct Rgb16Tables {
    std::array<uint8_t, 256> red{}, green{}, blue{};
    uint32_t red_mask = 0, green_mask = 0, blue_mask = 0;
};

inline Rgb16Tables make_rgb16_tables(const platform::SurfaceView& s) {
    Rgb16Tables t;
    auto fill = [](std::array<uint8_t, 256>& table, uint32_t& mask, int bits) {
        bits = std::clamp(bits, 0, 8);
        mask = (1u << bits) - 1;
        for (uint32_t v = 0; v <= mask; ++v) {
            table[v] = widen_field(v, bits);
        }
    };
    fill(t.red, t.red_mask, s.red_bits);
    fill(t.green, t.green_mask, s.green_bits);
    fill(t.blue, t.blue_mask, s.blue_bits);
    return t;
}

// Writes rectangle `r` (surface pixels, inclusive, already clipped) as RGB rows starting at `out`, one
// row every `out_pitch` bytes.  Returns false for a depth it does not know or a missing base/palette.
inline bool surface_to_rgb(const platform::SurfaceView& s, const platform::PixelRect& r, uint8_t* out,
                           size_t out_pitch) {
    if (s.base == nullptr || r.bottom < r.top || r.right < r.left) {
        return s.base != nullptr;
    }
    const int width = r.right - r.left + 1;
    switch (s.depth) {
    case 32:
        for (int row = r.top; row <= r.bottom; ++row) {
            const uint8_t* src = s.base + static_cast<ptrdiff_t>(row) * s.pitch + static_cast<ptrdiff_t>(r.left) * 4;
            uint8_t* dst = out + static_cast<size_t>(row - r.top) * out_pitch;
            for (int i = 0; i < width; ++i, src += 4, dst += 3) {
                dst[0] = src[2];
                dst[1] = src[1];
                dst[2] = src[0];
            }
        }
        return true;
    case 24:
        for (int row = r.top; row <= r.bottom; ++row) {
            const uint8_t* src = s.base + static_cast<ptrdiff_t>(row) * s.pitch + static_cast<ptrdiff_t>(r.left) * 3;
            uint8_t* dst = out + static_cast<size_t>(row - r.top) * out_pitch;
            for (int i = 0; i < width; ++i, src += 3, dst += 3) {
                dst[0] = src[2];
                dst[1] = src[1];
                dst[2] = src[0];
            }
        }
        return true;
    case 16: {
        const Rgb16Tables t = make_rgb16_tables(s);
        for (int row = r.top; row <= r.bottom; ++row) {
            const uint8_t* src = s.base + static_cast<ptrdiff_t>(row) * s.pitch + static_cast<ptrdiff_t>(r.left) * 2;
            uint8_t* dst = out + static_cast<size_t>(row - r.top) * out_pitch;
            for (int i = 0; i < width; ++i, src += 2, dst += 3) {
                const uint32_t p = static_cast<uint32_t>(src[0] | src[1] << 8);
                dst[0] = t.red[p >> s.red_shift & t.red_mask];
                dst[1] = t.green[p >> s.green_shift & t.green_mask];
                dst[2] = t.blue[p >> s.blue_shift & t.blue_mask];
            }
        }
        return true;
    }
    case 8:
        if (s.palette == nullptr) {
            return false;
        }
        for (int row = r.top; row <= r.bottom; ++row) {
            const uint8_t* src = s.base + static_cast<ptrdiff_t>(row) * s.pitch + r.left;
            uint8_t* dst = out + static_cast<size_t>(row - r.top) * out_pitch;
            for (int i = 0; i < width; ++i, ++src, dst += 3) {
                const uint32_t c = s.palette[*src];
                dst[0] = static_cast<uint8_t>(c >> 16);
                dst[1] = static_cast<uint8_t>(c >> 8);
                dst[2] = static_cast<uint8_t>(c);
            }
        }
        return true;
    default:
        return false;
    }
}

// The same into 32-bit pixels 0xFFRRGGBB stored lowest byte first (B, G, R, 0xFF): the layout of the
// desktop's own image surfaces, so that 32-bit pixels need no more than a copy.
inline bool surface_to_xrgb32(const platform::SurfaceView& s, const platform::PixelRect& r, uint8_t* out,
                              size_t out_stride) {
    if (s.base == nullptr || r.bottom < r.top || r.right < r.left) {
        return s.base != nullptr;
    }
    const int width = r.right - r.left + 1;
    auto dst_row = [&](int row) {
        return reinterpret_cast<uint32_t*>(out + static_cast<size_t>(row - r.top) * out_stride);
    };
    auto src_row = [&](int row, int bytes) {
        return s.base + static_cast<ptrdiff_t>(row) * s.pitch + static_cast<ptrdiff_t>(r.left) * bytes;
    };
    switch (s.depth) {
    case 32:
        for (int row = r.top; row <= r.bottom; ++row) {
            const uint8_t* src = src_row(row, 4);
            uint32_t* dst = dst_row(row);
            std::memcpy(dst, src, static_cast<size_t>(width) * 4);
            for (int i = 0; i < width; ++i) {
                dst[i] |= 0xFF000000u; // the top byte of a stored pixel is no colour
            }
        }
        return true;
    case 24:
        for (int row = r.top; row <= r.bottom; ++row) {
            const uint8_t* src = src_row(row, 3);
            uint32_t* dst = dst_row(row);
            for (int i = 0; i < width; ++i, src += 3) {
                dst[i] = 0xFF000000u | uint32_t{src[2]} << 16 | uint32_t{src[1]} << 8 | src[0];
            }
        }
        return true;
    case 16: {
        const Rgb16Tables t = make_rgb16_tables(s);
        for (int row = r.top; row <= r.bottom; ++row) {
            const uint8_t* src = src_row(row, 2);
            uint32_t* dst = dst_row(row);
            for (int i = 0; i < width; ++i, src += 2) {
                const uint32_t p = static_cast<uint32_t>(src[0] | src[1] << 8);
                dst[i] = 0xFF000000u | uint32_t{t.red[p >> s.red_shift & t.red_mask]} << 16 |
                         uint32_t{t.green[p >> s.green_shift & t.green_mask]} << 8 |
                         t.blue[p >> s.blue_shift & t.blue_mask];
            }
        }
        return true;
    }
    case 8:
        if (s.palette == nullptr) {
            return false;
        }
        for (int row = r.top; row <= r.bottom; ++row) {
            const uint8_t* src = src_row(row, 1);
            uint32_t* dst = dst_row(row);
            for (int i = 0; i < width; ++i) {
                dst[i] = 0xFF000000u | (s.palette[src[i]] & 0xFFFFFF);
            }
        }
        return true;
    default:
        return false;
    }
}

} // namespace trazel::gui
