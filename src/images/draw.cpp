// Drawing a pixel image block: per-column and per-row source tables, one colour table per draw, and a
// pixel loop per (stored depth, screen depth) that is a lookup and a store.
#include "images/draw.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

namespace trazel::images {

namespace {

// Scratch kept from draw to draw: the redraw calls once per visible rectangle, and a 16-bit picture's
// table alone is 256 KiB.
struct Work {
    std::vector<uint32_t> lut;                                      // screen pixel per stored value (256 or 65536)
    std::array<uint32_t, 256> red{}, green{}, blue{};               // 24-bit pictures on direct screens: OR the three
    std::array<uint8_t, 256> cube_r{}, cube_g{}, cube_b{}, level{}; // ... and on 8-bit screens
    std::array<uint32_t, 256> luma_r{}, luma_g{}, luma_b{};         // ... of a grey palette layout
    std::array<uint8_t, 256> grey_index{};
    bool luma = false;
    std::vector<int32_t> cols, rows; // source index per screen column / row, -1 off it
    std::vector<uint32_t> offsets;   // byte offset in a source row per drawn column
};

thread_local Work t_work;

// The 8-bit screen's grey entries by the top nibble of a grey level, as the display converts colours.
uint32_t grey_entry(uint32_t nibble) {
    return nibble < 8 ? 12 + nibble : 236 + (nibble - 8);
}

// The screen palette entry nearest to a colour (squared distance, the first of equals).
uint32_t nearest_entry(const display::Palette& pal, uint32_t colour) {
    auto channel = [](uint32_t c, int shift) { return static_cast<int>((c >> shift) & 0xFF); };
    uint32_t best = 0;
    int best_d = 1 << 30;
    for (uint32_t i = 0; i < 256; ++i) {
        int dr = channel(pal[i], 16) - channel(colour, 16), dg = channel(pal[i], 8) - channel(colour, 8),
            db = channel(pal[i], 0) - channel(colour, 0);
        int dist = dr * dr + dg * dg + db * db;
        if (dist < best_d) {
            best = i;
            best_d = dist;
        }
    }
    return best;
}

// A colour's 8-bit screen pixel: the display's conversion, unless the screen palette holds the colour
// exactly somewhere else (the basic colours of kind 1 pictures are not on the cube).  The grey palette
// layouts have no cube: there the nearest entry.
uint32_t palette_pixel(const display::Display& d, uint32_t colour) {
    if (d.format.palette_layout != 0) {
        return nearest_entry(d.palette, colour);
    }
    uint32_t p = display::colour_to_pixel(d.format, colour);
    if (d.palette[p & 0xFF] == colour) {
        return p;
    }
    for (uint32_t i = 0; i < 256; ++i) {
        if (d.palette[i] == colour) {
            return i;
        }
    }
    return p;
}

uint32_t screen_pixel(const display::Display& d, uint32_t colour) {
    return d.format.depth == 8 ? palette_pixel(d, colour) : display::colour_to_pixel(d.format, colour);
}

uint32_t rgb(uint32_t r, uint32_t g, uint32_t b) {
    return (r << 16) | (g << 8) | b;
}

// Channel mask bits: 0 blue, 1 green, 2 red; 0 shows all three.
uint32_t masked_grey(uint8_t mask, uint32_t v) {
    if (mask == 0) {
        mask = 7;
    }
    return rgb((mask & 4) ? v : 0, (mask & 2) ? v : 0, (mask & 1) ? v : 0);
}

// The screen pixel of every stored 8-bit value (palette kinds) or 16-bit value (the display table).
void build_lut(const display::Display& d, const BlockHeader& h, const std::array<uint8_t, 256>& tone,
               std::vector<uint32_t>& lut) {
    std::array<uint32_t, 256> by_level{};
    if (h.bits == 16 || grey_picture(h)) {
        for (uint32_t v = 0; v < 256; ++v) {
            by_level[v] = screen_pixel(d, masked_grey(h.channels, tone[v]));
        }
    } else {
        std::array<uint32_t, 256> pal = kind_palette(h.kind, h.palette);
        for (uint32_t v = 0; v < 256; ++v) {
            uint32_t c = pal[v];
            by_level[v] = screen_pixel(d, rgb(tone[(c >> 16) & 0xFF], tone[(c >> 8) & 0xFF], tone[c & 0xFF]));
        }
    }
    if (h.bits != 16) {
        lut.assign(by_level.begin(), by_level.end());
        return;
    }
    std::vector<uint8_t> grey = grey16_table(h.lowest, h.highest);
    lut.resize(65536);
    for (size_t v = 0; v < 65536; ++v) {
        lut[v] = by_level[grey[v]];
    }
}

// Per-channel tables of a 24-bit picture.  Direct screens OR three contributions; the 8-bit screen
// takes a grey entry when the three levels share their top nibble and the cube entry otherwise, which
// is the display's own conversion taken apart by channel.
void build_channels(const display::Display& d, const std::array<uint8_t, 256>& tone, Work& w) {
    w.luma = d.format.depth == 8 && d.format.palette_layout != 0;
    for (uint32_t v = 0; v < 256; ++v) {
        uint32_t t = tone[v];
        if (w.luma) {
            // Luminance weights 77, 150, 29 (of 256), then the nearest entry to that grey.
            w.luma_r[v] = 77 * t, w.luma_g[v] = 150 * t, w.luma_b[v] = 29 * t;
            w.grey_index[v] = static_cast<uint8_t>(nearest_entry(d.palette, t * 0x010101));
        } else if (d.format.depth == 8) {
            w.cube_r[v] = static_cast<uint8_t>(36 * ((t * 6) >> 8));
            w.cube_g[v] = static_cast<uint8_t>(6 * ((t * 6) >> 8));
            w.cube_b[v] = static_cast<uint8_t>((t * 6) >> 8);
            w.level[v] = static_cast<uint8_t>(t >> 4);
        } else {
            w.red[v] = display::colour_to_pixel(d.format, t << 16);
            w.green[v] = display::colour_to_pixel(d.format, t << 8);
            w.blue[v] = display::colour_to_pixel(d.format, t);
        }
    }
}

// Source index of screen positions k = lo..hi along one axis: floor((k + off) * a + b + 0.5), or -1
// where that is not in 0..n-1.  Returns the first and last positions on the picture (first > last:
// none).  The mapping is monotonic, so those on the picture form one run.
std::pair<int, int> axis_table(int lo, int hi, double off, double a, double b, int n, std::vector<int32_t>& out) {
    out.resize(static_cast<size_t>(hi - lo + 1));
    int first = hi + 1, last = lo - 1;
    for (int k = lo; k <= hi; ++k) {
        double s = std::floor((k + off) * a + b + 0.5);
        int32_t src = -1;
        if (s >= 0 && s < n) {
            src = static_cast<int32_t>(s);
            first = std::min(first, k);
            last = k;
        }
        out[static_cast<size_t>(k - lo)] = src;
    }
    return {first, last};
}


// One screen row of n pixels from one source row.
template <int B> void row8(uint8_t* dst, const uint8_t* src, const uint32_t* at, int n, const uint32_t* lut) {
    for (int i = 0; i < n; ++i, dst += B) {
        display::store_pixel<B>(dst, lut[src[at[i]]]);
    }
}

template <int B> void row16(uint8_t* dst, const uint8_t* src, const uint32_t* at, int n, const uint32_t* lut) {
    for (int i = 0; i < n; ++i, dst += B) {
        const uint8_t* q = src + at[i];
        display::store_pixel<B>(dst, lut[q[0] | (q[1] << 8)]);
    }
}

template <int B> void row24(uint8_t* dst, const uint8_t* src, const uint32_t* at, int n, const Work& w) {
    for (int i = 0; i < n; ++i, dst += B) {
        const uint8_t* q = src + at[i]; // blue, green, red
        display::store_pixel<B>(dst, w.blue[q[0]] | w.green[q[1]] | w.red[q[2]]);
    }
}

void row24_palette(uint8_t* dst, const uint8_t* src, const uint32_t* at, int n, const Work& w) {
    for (int i = 0; i < n; ++i, ++dst) {
        const uint8_t* q = src + at[i];
        uint8_t lb = w.level[q[0]], lg = w.level[q[1]], lr = w.level[q[2]];
        *dst = static_cast<uint8_t>(lb == lg && lg == lr ? grey_entry(lr)
                                                         : 20 + w.cube_b[q[0]] + w.cube_g[q[1]] + w.cube_r[q[2]]);
    }
}

void row24_luma(uint8_t* dst, const uint8_t* src, const uint32_t* at, int n, const Work& w) {
    for (int i = 0; i < n; ++i, ++dst) {
        const uint8_t* q = src + at[i];
        *dst = w.grey_index[(w.luma_b[q[0]] + w.luma_g[q[1]] + w.luma_r[q[2]]) >> 8];
    }
}

template <int B> void draw_row(int bits, uint8_t* dst, const uint8_t* src, const uint32_t* at, int n, const Work& w) {
    if (bits == 8) {
        row8<B>(dst, src, at, n, w.lut.data());
    } else if (bits == 16) {
        row16<B>(dst, src, at, n, w.lut.data());
    } else if constexpr (B == 1) {
        (w.luma ? row24_luma : row24_palette)(dst, src, at, n, w);
    } else {
        row24<B>(dst, src, at, n, w);
    }
}

} // namespace

uint8_t contrast(int16_t curve, uint8_t v) {
    if (curve == 0 || v == 0 || v == 255) {
        return v;
    }
    double p = std::abs(static_cast<int>(curve)) / 4096.0;
    double x = v / 255.0;
    double y = curve > 0 ? 255.0 * std::pow(x, p) : 255.0 - 255.0 * std::pow(1.0 - x, p);
    return static_cast<uint8_t>(std::lround(std::clamp(y, 0.0, 255.0)));
}

std::array<uint8_t, 256> tone_table(const BlockHeader& h) {
    std::array<uint8_t, 256> t{};
    for (size_t v = 0; v < 256; ++v) {
        t[v] = contrast(h.curve, h.value_map[v]);
    }
    return t;
}

bool grey_picture(const BlockHeader& h) {
    return h.bits == 16 || (h.bits == 8 && (h.kind == kPaletteGrey || h.kind == kPaletteDirect));
}

int draw_block(display::Display& d, display::Raster& r, const std::vector<uint8_t>& block) {
    BlockHeader h;
    if (!r.can_draw() || !block_fault(block).empty() || !read_header(block, h) || d.view.scale == 0) {
        return 0;
    }
    const int bpp = h.bits / 8;
    const int depth = r.buf.depth;
    const size_t row_bytes = static_cast<size_t>(h.row_length) * static_cast<size_t>(bpp);
    if ((depth != 8 && depth != 16 && depth != 24 && depth != 32) || row_bytes > UINT32_MAX) {
        return 0; // (the column offsets are 32-bit)
    }
    const display::View& v = d.view;
    // Picture pixels per unit along each axis: from the edges, or from the resolution when the edges
    // give no span.
    auto per_unit = [&](int64_t span, int n) {
        return n > 1 && span != 0 ? double(n - 1) / double(span) : double(h.dpi) / 65536.0;
    };
    const double units_per_px = 4294967296.0 / v.scale;
    // Columns: unit x of column c is (c + origin_x) * units_per_px; picture column (x - left) * kx.
    double kx = per_unit(int64_t{h.right} - h.left, h.width);
    Work& w = t_work;
    // In mirror view unit x of column c is the negative of that.
    double col_units = v.mirror ? -units_per_px : units_per_px;
    auto [c0, c1] = axis_table(r.clip.left, r.clip.right, v.origin_x, col_units * kx, -h.left * kx, h.width, w.cols);
    // Rows: unit y of row r is (drawing_height - 1 - r + origin_y) * units_per_px; picture row
    // (top - y) * ky, which is (r - drawing_height + 1 - origin_y) * units_per_px * ky + top * ky.
    double ky = per_unit(int64_t{h.top} - h.bottom, h.height);
    auto [r0, r1] = axis_table(r.clip.top, r.clip.bottom, -(double(v.drawing_height) - 1 + v.origin_y),
                               units_per_px * ky, h.top * ky, h.height, w.rows);
    if (c0 > c1 || r0 > r1) {
        return 0;
    }

    std::array<uint8_t, 256> tone = tone_table(h);
    if (h.bits == 24) {
        build_channels(d, tone, w);
    } else {
        build_lut(d, h, tone, w.lut);
    }
    const int n = c1 - c0 + 1;
    w.offsets.resize(static_cast<size_t>(n));
    for (int c = c0; c <= c1; ++c) {
        w.offsets[static_cast<size_t>(c - c0)] =
            static_cast<uint32_t>(w.cols[static_cast<size_t>(c - r.clip.left)]) * static_cast<uint32_t>(bpp);
    }

    const uint8_t* pixels = block.data() + kHeaderBytes;
    const size_t span_bytes = static_cast<size_t>(n) * static_cast<size_t>(depth / 8);
    int prev_src = -1;
    const uint8_t* prev_dst = nullptr;
    for (int row = r0; row <= r1; ++row) {
        int src = w.rows[static_cast<size_t>(row - r.clip.top)];
        uint8_t* dst = r.buf.at(row, c0);
        if (src == prev_src) {
            // Zoomed in, neighbouring screen rows show the same picture row.
            std::memcpy(dst, prev_dst, span_bytes);
        } else {
            const uint8_t* line = pixels + static_cast<size_t>(src) * row_bytes;
            const uint32_t* at = w.offsets.data();
            switch (depth) {
            case 8:
                draw_row<1>(h.bits, dst, line, at, n, w);
                break;
            case 16:
                draw_row<2>(h.bits, dst, line, at, n, w);
                break;
            case 24:
                draw_row<3>(h.bits, dst, line, at, n, w);
                break;
            default:
                draw_row<4>(h.bits, dst, line, at, n, w);
                break;
            }
        }
        prev_src = src;
        prev_dst = dst;
    }
    return 1;
}

} // namespace trazel::images
