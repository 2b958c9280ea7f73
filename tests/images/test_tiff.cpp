// TIFF files built here byte by byte: each layout and compression gives the pixels worked out by hand,
// and the variants that are not read give their one-line message.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "images/picture_kit.h"

namespace {

using namespace trazel::images;
using trazel::model::LineReader;

enum : uint16_t { kByte = 1, kShort = 3, kLong = 4, kRational = 5 };

// A one-directory TIFF: tags with their values, and the strips or tiles whose offsets and byte counts
// the builder fills in.
struct TiffBuilder {
    bool big = false;
    std::map<uint16_t, std::pair<uint16_t, std::vector<uint32_t>>> tags;
    std::vector<std::string> chunks;
    bool tiled = false;
    bool with_counts = true;
    bool backwards = false;    // chunks laid out in the file last first
    uint32_t offset_shift = 0; // added to every chunk offset written, to point them astray

    TiffBuilder& tag(uint16_t t, uint16_t type, std::vector<uint32_t> v) {
        tags[t] = {type, std::move(v)};
        return *this;
    }
    void put(std::string& s, size_t at, uint32_t v, int width) const {
        for (int i = 0; i < width; ++i) {
            int shift = big ? 8 * (width - 1 - i) : 8 * i;
            s[at + i] = static_cast<char>(v >> shift);
        }
    }
    std::string build() const {
        std::string s(8, '\0');
        s[0] = s[1] = big ? 'M' : 'I';
        put(s, 2, 42, 2);
        std::vector<uint32_t> offsets(chunks.size()), counts(chunks.size());
        for (size_t k = 0; k < chunks.size(); ++k) {
            size_t i = backwards ? chunks.size() - 1 - k : k;
            offsets[i] = static_cast<uint32_t>(s.size()) + offset_shift;
            counts[i] = static_cast<uint32_t>(chunks[i].size());
            s += chunks[i];
        }
        if (s.size() % 2) {
            s += '\0';
        }
        auto all = tags;
        all[tiled ? 324 : 273] = {kLong, offsets};
        if (with_counts) {
            all[tiled ? 325 : 279] = {kLong, counts};
        }
        size_t ifd = s.size();
        put(s, 4, static_cast<uint32_t>(ifd), 4);
        s.resize(ifd + 2 + 12 * all.size() + 4);
        put(s, ifd, static_cast<uint32_t>(all.size()), 2);
        size_t e = ifd + 2;
        for (const auto& [t, tv] : all) {
            const auto& [type, v] = tv;
            int w = type == kByte ? 1 : type == kShort ? 2 : 4;
            size_t n = type == kRational ? v.size() / 2 : v.size();
            put(s, e, t, 2);
            put(s, e + 2, type, 2);
            put(s, e + 4, static_cast<uint32_t>(n), 4);
            size_t at = e + 8;
            if (v.size() * w > 4) {
                at = s.size();
                put(s, e + 8, static_cast<uint32_t>(at), 4);
                s.resize(at + v.size() * w);
            }
            for (size_t i = 0; i < v.size(); ++i) {
                put(s, at + i * w, v[i], w);
            }
            e += 12;
        }
        return s;
    }
};

TiffBuilder grey(uint32_t w, uint32_t h, uint32_t bps, uint32_t compression = 1, std::vector<std::string> chunks = {}) {
    TiffBuilder b;
    b.tag(256, kShort, {w}).tag(257, kShort, {h}).tag(258, kShort, {bps}).tag(259, kShort, {compression});
    b.tag(262, kShort, {1}).tag(278, kShort, {h});
    b.chunks = std::move(chunks);
    return b;
}

// Three samples of 8 bits, photometric 2.
TiffBuilder rgb(uint32_t w, std::vector<std::string> chunks) {
    TiffBuilder b = grey(w, 1, 8, 1, std::move(chunks));
    b.tag(258, kShort, {8, 8, 8}).tag(277, kShort, {3}).tag(262, kShort, {2});
    return b;
}

using picture_kit::Decoded;

Decoded decode(const std::string& bytes) {
    return picture_kit::decode_with(decode_tiff, bytes);
}

// The stored values top row first (16-bit ones as values, colour as blue, green, red bytes).
std::vector<int> pixels(const TiffBuilder& b) {
    Decoded d = decode(b.build());
    EXPECT_TRUE(d.ok) << d.message;
    return d.values();
}

using V = std::vector<int>;

std::string deflated(const std::string& raw) {
    return picture_kit::deflate_bytes(raw);
}

TEST(Tiff, RecognisesBothByteOrdersOnly) {
    EXPECT_TRUE(tiff_accepts(std::string("II*\0\x08\0\0\0", 8)));
    EXPECT_TRUE(tiff_accepts(std::string("MM\0*\0\0\0\x08", 8)));
    EXPECT_FALSE(tiff_accepts(std::string("MM*\0\0\0\0\x08", 8)));
    EXPECT_FALSE(tiff_accepts(std::string("II+\0\x10\0\0\0", 8))); // the 64-bit form
}

TEST(Tiff, GreyDepthsAndByteOrders) {
    for (bool big : {false, true}) {
        TiffBuilder b = grey(3, 2, 8, 1, {std::string("\x00\x80\xFF", 3), std::string("\x10\x20\x30", 3)});
        b.big = big;
        b.tag(278, kShort, {1}).tag(282, kRational, {300, 1}).tag(296, kShort, {3});
        Decoded d = decode(b.build());
        ASSERT_TRUE(d.ok) << d.message;
        EXPECT_EQ(d.shape(), "3x2 row 4 bits 8 kind 0 dpi 762"); // 300 per centimetre
        EXPECT_EQ(d.values(), (V{0, 0x80, 0xFF, 0x10, 0x20, 0x30}));

        // 16 bits keep their values, and the values found are the range shown.
        b = grey(2, 1, 16, 1, {big ? std::string("\x01\x02\x30\x40", 4) : std::string("\x02\x01\x40\x30", 4)});
        b.big = big;
        d = decode(b.build());
        EXPECT_EQ(d.p.bits, 16);
        EXPECT_EQ(d.values(), (V{0x0102, 0x3040}));
        EXPECT_EQ(V({d.p.lowest, d.p.highest}), d.values());
    }
    // Bilevel, white is zero, bits stored least significant first: 0b00000101 reversed is 0b10100000.
    TiffBuilder b = grey(4, 1, 1, 1, {"\x05"});
    b.tag(262, kShort, {0}).tag(266, kShort, {2});
    Decoded d = decode(b.build());
    EXPECT_EQ(d.values(), (V{0, 255, 0, 255}));
    EXPECT_EQ(d.p.dpi, 100);
    EXPECT_EQ(pixels(grey(3, 1, 4, 1, {"\x1F\x70"})), (V{17, 255, 119})); // 1, 15, 7 scaled to 8 bits
    // 12 bits, white is zero, with the shown range given in the file.
    b = grey(2, 1, 12, 1, {std::string("\x00\x1F\xFF", 3)}); // 0x001, 0xFFF
    b.tag(262, kShort, {0}).tag(340, kShort, {10}).tag(341, kShort, {4000});
    d = decode(b.build());
    EXPECT_EQ(d.values(), (V{4094, 0}));
    EXPECT_EQ(V({d.p.lowest, d.p.highest}), (V{10, 4000}));
}

TEST(Tiff, ColourChunkyPlanarAndPalette) {
    // RGBA: the alpha sample is dropped; bytes stored blue, green, red.
    TiffBuilder b = rgb(2, {std::string("\x11\x22\x33\xFF\x44\x55\x66\x00", 8)});
    b.tag(258, kShort, {8, 8, 8, 8}).tag(277, kShort, {4}).tag(338, kShort, {2});
    Decoded d = decode(b.build());
    EXPECT_EQ(d.shape(), "2x1 row 4 bits 24 kind 3 dpi 100");
    EXPECT_EQ(d.values(), (V{0x33, 0x22, 0x11, 0x66, 0x55, 0x44}));
    // CMYK: red (1 - c)(1 - k): c = 0x33, k = 0x80 gives 204 x 127 / 255 = 102.
    b = rgb(1, {std::string("\x33\x00\xFF\x80", 4)});
    b.tag(258, kShort, {8, 8, 8, 8}).tag(277, kShort, {4}).tag(262, kShort, {5});
    EXPECT_EQ(pixels(b), (V{0x00, 0x7F, 0x66}));
    // One plane per sample, big-endian, the planes stored last first in the file.
    b = rgb(2, {"\x01\x02", "\x03\x04", "\x05\x06"});
    b.big = true, b.backwards = true;
    b.tag(284, kShort, {2});
    EXPECT_EQ(pixels(b), (V{5, 3, 1, 6, 4, 2}));
    // A 2-bit palette; ColorMap entries are 16 bits, reds then greens then blues.
    b = grey(4, 1, 2, 1, {"\xE4"}); // 3, 2, 1, 0
    b.tag(262, kShort, {3});
    b.tag(320, kShort, {0xFFFF, 0, 0, 0x8080, 0, 0xFFFF, 0, 0x8080, 0, 0, 0xFFFF, 0x8080});
    d = decode(b.build());
    EXPECT_EQ(d.p.palette_kind, kPaletteOwn);
    EXPECT_EQ(d.values(), (V{3, 2, 1, 0}));
    EXPECT_EQ(std::vector<uint32_t>(d.p.palette.begin(), d.p.palette.begin() + 4),
              (std::vector<uint32_t>{0xFF0000, 0x00FF00, 0x0000FF, 0x808080}));
}

TEST(Tiff, TilesInAnyOrderCoverThePicture) {
    // 20 x 18 pixels in 16 x 16 tiles: 2 across, 2 down; pixel value x + 10 y.
    TiffBuilder b = grey(20, 18, 8);
    b.tiled = true, b.backwards = true;
    b.tags.erase(278);
    b.tag(322, kShort, {16}).tag(323, kShort, {16});
    for (int t = 0; t < 4; ++t) {
        std::string tile(256, '\0');
        for (int y = 0; y < 16; ++y) {
            for (int x = 0; x < 16; ++x) {
                tile[y * 16 + x] = static_cast<char>((t % 2) * 16 + x + 10 * ((t / 2) * 16 + y));
            }
        }
        b.chunks.push_back(tile);
    }
    Decoded d = decode(b.build());
    ASSERT_TRUE(d.ok) << d.message;
    for (int y : {0, 15, 16, 17}) {
        for (int x : {0, 15, 16, 19}) {
            EXPECT_EQ(d.px(x, y), (x + 10 * y) & 255) << x << "," << y;
        }
    }
}

TEST(Tiff, CompressionsAndPredictor) {
    // PackBits: a literal run of 2, then 0x55 repeated 3 times; the second row repeats 0x00 five times.
    EXPECT_EQ(pixels(grey(5, 2, 8, 32773, {std::string("\x01\x0A\x0B\xFE\x55\x80\xFC\x00", 8)})),
              (V{0x0A, 0x0B, 0x55, 0x55, 0x55, 0, 0, 0, 0, 0}));
    // LZW: clear, 'A', 'B', code 258 ("AB"), end, as 9-bit codes packed from the top bit.
    EXPECT_EQ(pixels(grey(4, 1, 8, 5, {std::string("\x80\x10\x48\x50\x28\x08", 6)})), (V{'A', 'B', 'A', 'B'}));
    // Deflate under both codes, with horizontal differencing: 10, +5, +250 give 10, 15, 9.
    for (uint32_t code : {8u, 32946u}) {
        TiffBuilder z = grey(3, 1, 8, code, {deflated(std::string("\x0A\x05\xFA", 3))});
        z.tag(317, kShort, {2});
        EXPECT_EQ(pixels(z), (V{10, 15, 9})) << code;
    }
    // RGB, 8 bits: each channel differenced against the same channel of the pixel to the left.
    TiffBuilder b = rgb(2, {std::string("\x10\x20\x30\x01\xFF\x02", 6)});
    b.tag(317, kShort, {2});
    EXPECT_EQ(pixels(b), (V{0x30, 0x20, 0x10, 0x32, 0x1F, 0x11}));
    // 16 bits big-endian: 0x0100 then +0xFFFF (wrapping) gives 0x00FF.
    b = grey(2, 1, 16, 1, {std::string("\x01\x00\xFF\xFF", 4)});
    b.big = true;
    b.tag(317, kShort, {2});
    EXPECT_EQ(pixels(b), (V{0x0100, 0x00FF}));
}

TEST(Tiff, RefusalsNameTheVariantOrFault) {
    TiffBuilder jpeg = grey(2, 2, 8, 7);
    jpeg.chunks = {"xx"};
    EXPECT_EQ(decode(jpeg.build()).message, "JPEG-compressed TIFF is not read");

    TiffBuilder cmyk = grey(1, 1, 8);
    cmyk.tag(258, kShort, {8, 8, 8, 8}).tag(277, kShort, {4}).tag(262, kShort, {5}).tag(284, kShort, {2});
    cmyk.chunks = {"a", "b", "c", "d"};
    EXPECT_EQ(decode(cmyk.build()).message, "separated TIFF other than chunky CMYK is not read");

    // Without byte counts, raw strips are taken at their full size; compressed ones are refused.
    TiffBuilder raw = grey(2, 1, 8);
    raw.with_counts = false;
    raw.chunks = {"\x07\x09"};
    EXPECT_EQ(pixels(raw), (V{7, 9}));
    TiffBuilder packed = grey(2, 1, 8, 32773);
    packed.with_counts = false;
    packed.chunks = {"\x01\x07\x09"};
    EXPECT_EQ(decode(packed.build()).message, "TIFF without strip byte counts is not read");

    // A strip that starts past the end, and a picture declared beyond the pixel limit.
    TiffBuilder far = grey(2, 1, 8, 5);
    far.chunks = {"ab"};
    far.offset_shift = 1u << 20;
    EXPECT_EQ(decode(far.build()).message, "TIFF strip 0 starts past the end of the file");
    // Raw data cannot fill 1000 x 1000 pixels from 3 bytes, nor Deflate from 900 (at most 1032:1).
    TiffBuilder short_raw = grey(1000, 1000, 8);
    short_raw.tag(256, kLong, {1000}).tag(257, kLong, {1000});
    short_raw.chunks = {"abc"};
    EXPECT_EQ(decode(short_raw.build()).message, "TIFF data is too short for its picture");
    TiffBuilder short_zip = short_raw;
    short_zip.tag(259, kShort, {8});
    short_zip.chunks = {std::string(900, 'x')};
    EXPECT_EQ(decode(short_zip.build()).message, "TIFF data is too short for its picture");

    TiffBuilder huge = grey(60000, 60000, 8);
    huge.tag(256, kLong, {60000}).tag(257, kLong, {60000});
    huge.chunks = {"a"};
    EXPECT_EQ(decode(huge.build()).message, "TIFF picture of 60000 x 60000 pixels is too large");

    // A cut-short directory.
    std::string cut = grey(2, 1, 8).build();
    EXPECT_FALSE(decode(cut.substr(0, cut.size() - 20)).ok);
}

} // namespace
