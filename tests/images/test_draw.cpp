// Pictures drawn under the drawing: where a block lands on the screen at each depth, its colours through
// the value map, contrast curve, channel mask and 16-bit table, and Alt-M stepping through the slots.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <numeric>

#include "app/core/headless_run.h"
#include "images/block.h"
#include "images/draw.h"
#include "images/picture_kit.h"

using namespace trazel;
using images::BlockHeader;

namespace {

std::vector<uint8_t> make(BlockHeader h, const std::vector<uint8_t>& pixels) {
    h.row_length = h.row_length ? h.row_length : h.width;
    if (h.value_map == std::array<uint8_t, 256>{}) {
        for (size_t v = 0; v < 256; ++v) {
            h.value_map[v] = static_cast<uint8_t>(v); // identity unless the test set one
        }
    }
    std::vector<uint8_t> b;
    images::write_header(h, b);
    b.insert(b.end(), pixels.begin(), pixels.end());
    return b;
}

// A depth-`depth` screen of w x h pixels filled with 0xAB bytes, at `dpi` with the origins at 0: column
// c is at x = c / dpi inch, row r at y = (h - 1 - r) / dpi inch.
struct Screen {
    display::Display d;
    std::vector<uint8_t> mem;
    explicit Screen(int depth, int w = 8, int h = 8, uint32_t dpi = 128) {
        display::set_pixel_format(d, display::format_for_depth(depth), nullptr);
        int pitch = w * depth / 8;
        mem.assign(static_cast<size_t>(pitch * h), 0xAB);
        display::PixelBuffer b{mem.data(), pitch, depth, w, h};
        display::set_surface(d, b, 0);
        d.view.scale = dpi << 16;
    }
    int draw(const std::vector<uint8_t>& block) {
        display::Raster r(d.buffer, &d.work);
        return images::draw_block(d, r, block);
    }
    uint32_t at(int row, int col) const {
        return display::read_pixel(d.buffer, row, col);
    }
    uint32_t untouched() const {
        return 0xABABABABu >> (32 - d.format.depth);
    }
};

// 2 x 2 own-palette picture at 64 dpi (1024 units a pixel) whose pixel centres sit a quarter pixel off
// the screen's pixel grid at 128 dpi: each picture pixel covers a 2 x 2 screen square, no rounding tie.
std::vector<uint8_t> two_by_two() {
    BlockHeader h;
    h.width = h.height = 2, h.dpi = 64, h.kind = images::kPaletteOwn;
    h.palette[1] = 0xFF0000, h.palette[2] = 0x00FF00, h.palette[3] = 0x0000FF, h.palette[4] = 0x808080;
    h.left = 256, h.right = 1280, h.bottom = 256, h.top = 1280;
    return make(h, {1, 2, 3, 4});
}

} // namespace

TEST(DrawImage, TwoByTwoLandsOnItsPixelsAtEveryDepth) {
    // Screen column c is at x = 512c units: columns 0-1 show picture column 0, 2-3 column 1; rows 4-5 the
    // top row, 6-7 the bottom row.  Expected pixels worked by hand per depth (5-6-5 at 16 bits; cube and
    // grey entries at 8 bits).
    struct Case {
        int depth;
        uint32_t red, green, blue, grey;
    } cases[] = {{32, 0xFF0000, 0x00FF00, 0x0000FF, 0x808080},
                 {24, 0xFF0000, 0x00FF00, 0x0000FF, 0x808080},
                 {16, 0xF800, 0x07E0, 0x001F, 0x8410},
                 {8, 200, 50, 25, 236}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.depth);
        Screen s(c.depth);
        ASSERT_EQ(s.draw(two_by_two()), 1);
        for (int row = 0; row < 8; ++row) {
            for (int col = 0; col < 8; ++col) {
                uint32_t want = s.untouched();
                if (row >= 4 && col < 4) {
                    want = row < 6 ? (col < 2 ? c.red : c.green) : (col < 2 ? c.blue : c.grey);
                }
                EXPECT_EQ(s.at(row, col), want) << row << "," << col;
            }
        }
    }
    // Only the clip rectangle is drawn.
    Screen s(32);
    display::Raster r(s.d.buffer, &s.d.work);
    r.set_clip({5, 1, 6, 2});
    images::draw_block(s.d, r, two_by_two());
    const uint32_t u = s.untouched();
    EXPECT_EQ(std::vector<uint32_t>({s.at(4, 1), s.at(5, 0), s.at(5, 1), s.at(6, 2), s.at(6, 3)}),
              std::vector<uint32_t>({u, u, 0xFF0000, 0x808080, u}));
}

TEST(DrawImage, EdgesAndScaleGiveTheColumnsCovered) {
    // A 10 x 1 picture placed as a reader places it at 100 dpi: right edge 9 x 65536 / 100 = 5898.
    BlockHeader h;
    h.width = 10, h.height = 1, h.dpi = 100;
    images::place_new(h);
    ASSERT_EQ(h.right, 5898);
    auto covered = [&](uint32_t dpi) {
        Screen s(8, 64, 5, dpi);
        s.d.view.origin_x = -5; // x = 0 at column 5
        s.d.view.origin_y = -2; // y = 0 on row 2
        EXPECT_EQ(s.draw(make(h, std::vector<uint8_t>(10, 255))), 1);
        std::string cols; // "first-last count"
        int n = 0;
        for (int col = 0; col < 64; ++col) {
            if (s.at(2, col) != s.untouched()) {
                cols = (n++ ? cols.substr(0, cols.find('-')) : std::to_string(col)) + "-" + std::to_string(col);
            }
        }
        return cols + " " + std::to_string(n);
    };
    // At 100 dpi one column per pixel; at 300 dpi three, the first pixel centred on the left edge (one
    // screen column of it left of column 5).
    EXPECT_EQ(covered(100), "5-14 10");
    EXPECT_EQ(covered(300), "4-33 30");
}

TEST(DrawImage, ToneCurveMaskAndSixteenBitTable) {
    EXPECT_EQ(images::contrast(-8192, 128), 192); // 255 - 255 (127/255)^2 = 191.75
    EXPECT_EQ(images::contrast(2048, 64), 128);   // 255 sqrt(64/255) = 127.75

    // Grey 8-bit, inverting value map and curve p = 2: stored 127 -> map 128 -> 64.  Mask 4 shows red
    // alone, 3 green and blue, 0 all three.
    BlockHeader g;
    g.width = g.height = 1, g.dpi = 1;
    for (int v = 0; v < 256; ++v) {
        g.value_map[static_cast<size_t>(v)] = static_cast<uint8_t>(255 - v);
    }
    g.curve = 8192;
    const std::pair<int, uint32_t> masks[] = {{4, 0x400000}, {3, 0x004040}, {0, 0x404040}};
    for (auto [mask, want] : masks) {
        g.channels = static_cast<uint8_t>(mask);
        Screen s(32, 1, 1);
        s.draw(make(g, {127}));
        EXPECT_EQ(s.at(0, 0), want) << mask;
    }
    // Own-palette colours pass through the map channel by channel; the mask is for grey pictures only.
    BlockHeader o = g;
    o.curve = 0, o.kind = images::kPaletteOwn, o.palette[9] = 0x102030;
    Screen so(32, 1, 1);
    so.draw(make(o, {9}));
    EXPECT_EQ(so.at(0, 0), 0xEFDFCFu);

    // 16 bits through the display table from 1000 to 2000: below and at the lowest black, 1500 level
    // 500 x 249 / 1001 = 124, the highest and above 248.
    BlockHeader w;
    w.width = 5, w.height = 1, w.dpi = 128, w.bits = 16;
    images::place_new(w);
    w.lowest = 1000, w.highest = 2000;
    Screen s16(32, 5, 1);
    s16.draw(make(w, {0xE7, 0x03, 0xE8, 0x03, 0xDC, 0x05, 0xD0, 0x07, 0xFF, 0xFF})); // 999 1000 1500 2000 65535
    const uint32_t want[] = {0, 0, 0x7C7C7C, 0xF8F8F8, 0xF8F8F8};
    for (int col = 0; col < 5; ++col) {
        EXPECT_EQ(s16.at(0, col), want[col]) << col;
    }
}

TEST(DrawImage, ColourTablesAgreeWithTheDisplaysConversion) {
    // 24-bit pixels at every depth (555 too) give what the display makes of their colour; a system
    // palette picture on the 8-bit screen shows each entry's own colour, basic colours included.
    BlockHeader h;
    h.width = 256, h.height = 1, h.dpi = 128, h.bits = 24, h.kind = images::kPaletteDirect;
    images::place_new(h);
    std::vector<uint8_t> px;
    std::vector<uint32_t> colours;
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t c = (i * 0x9E3779B1u) >> 8 & 0xFFFFFF;
        c = i < 16 ? 0x111111 * i : c; // the grey steps of the 8-bit screen too
        colours.push_back(c);
        px.insert(px.end(), {static_cast<uint8_t>(c), static_cast<uint8_t>(c >> 8), static_cast<uint8_t>(c >> 16)});
    }
    display::PixelFormat f555;
    ASSERT_TRUE(display::format_from_masks(0x7C00, 0x03E0, 0x001F, f555));
    for (int depth : {8, 15, 16, 24, 32}) {
        SCOPED_TRACE(depth);
        Screen s(depth == 15 ? 16 : depth, 256, 1);
        if (depth == 15) {
            display::set_pixel_format(s.d, f555, nullptr);
        }
        s.draw(make(h, px));
        for (int col = 0; col < 256; ++col) {
            ASSERT_EQ(s.at(0, col), display::colour_to_pixel(s.d.format, colours[static_cast<size_t>(col)])) << col;
        }
    }
    BlockHeader k = h;
    k.bits = 8, k.kind = images::kPaletteSystem;
    std::vector<uint8_t> index(256);
    std::iota(index.begin(), index.end(), 0);
    Screen s(8, 256, 1);
    s.draw(make(k, index));
    for (int col = 0; col < 256; ++col) {
        EXPECT_EQ(s.d.palette[s.at(0, col)], s.d.palette[static_cast<size_t>(col)]) << col;
    }
    // The all-grey palette layout: entry i is grey i, so grey 100 is entry 100, stored 8-bit or 24-bit.
    display::PixelFormat grey8 = display::format_for_depth(8);
    grey8.palette_layout = 5;
    k.kind = images::kPaletteGrey;
    h.width = k.width = 1;
    for (const std::vector<uint8_t>& b : {make(k, {100}), make(h, {100, 100, 100})}) {
        Screen g(8, 1, 1);
        display::set_pixel_format(g.d, grey8, nullptr);
        g.draw(b);
        EXPECT_EQ(g.at(0, 0), 100u);
    }
}

TEST(DrawImage, AnUndrawableBlockIsNotDrawn) {
    // 4 bits per pixel, a row length below the width, a pixel missing.
    std::vector<uint8_t> bad[3] = {two_by_two(), two_by_two(), two_by_two()};
    images::put_u32(bad[0], images::kAtBits, 4);
    images::put_u32(bad[1], images::kAtRowLength, 1);
    bad[2].pop_back();
    for (const std::vector<uint8_t>& b : bad) {
        Screen s(32);
        EXPECT_EQ(s.draw(b), 0);
        EXPECT_EQ(s.at(5, 1), s.untouched());
    }
}

TEST(NextImage, AltMStepsOverEmptySlotsAndWraps) {
    namespace fs = std::filesystem;
    fs::path dir = fs::temp_directory_path() / "trazel-next-image";
    fs::create_directories(dir);
    picture_kit::Bmp bmp;
    bmp.palette = {0x0000FF};
    bmp.data = std::string(4, '\0');
    std::ofstream(dir / "one.bmp", std::ios::binary) << bmp.bytes();

    shell::HeadlessRun run(200, 150);
    ASSERT_TRUE(run.start({(dir / "one.bmp").string()}));
    ASSERT_TRUE(run.until_ready());
    model::Model& m = run.app.model;
    ASSERT_EQ(m.current_image, 0);
    // One-pixel pictures an inch across, centred on (0, 0), each in a colour of its own.
    auto solid = [](uint32_t colour) {
        BlockHeader h;
        h.width = h.height = 1, h.dpi = 1, h.kind = images::kPaletteOwn;
        h.palette[0] = colour;
        return make(h, {0});
    };
    m.images[5] = solid(0xFF0000), m.images[9] = solid(0x00FF00), m.images[0] = solid(0x0000FF);
    display::View& v = run.app.display.view;
    v.scale = 64 << 16, v.cursor_x = v.cursor_y = 0;
    display::place_cursor_at(v, 100, 70);
    // Each step redraws: the pixel beside the cursor shows the new slot's colour.
    auto shown = [&] {
        uint32_t px;
        std::memcpy(&px, run.app.pixels.data() + 75 * run.app.shell.surface.pitch + 105 * 4, 4);
        return px & 0xFFFFFF;
    };
    auto alt_m = [&] { return run.app.shell.services.hooks.next_image(run.app); };
    const std::pair<int, uint32_t> steps[] = {{5, 0xFF0000}, {9, 0x00FF00}, {0, 0x0000FF}}; // 0: past 127
    for (auto [slot, colour] : steps) {
        ASSERT_EQ(alt_m(), 1);
        EXPECT_EQ(m.current_image, slot);
        EXPECT_EQ(shown(), colour);
    }

    // With no picture at all the key is refused with the error sound.
    for (auto& b : m.images) {
        b.clear();
    }
    size_t sounds = run.ui().sounds.size();
    EXPECT_EQ(alt_m(), 0);
    EXPECT_EQ(m.current_image, 0);
    EXPECT_EQ(run.ui().sounds.size(), sounds + 1);
    fs::remove_all(dir);
}
