// PCX files built byte by byte: the recognition tests, run-length lines, one and three planes of 1 and 8
// bits, both palettes, row lengths and resolution.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "images/picture.h"

namespace {

using namespace trazel;
using namespace trazel::images;

struct Header {
    int bits = 8, planes = 1, width = 6, height = 5, bytes_per_line = 6, dpi = 72;
    std::vector<uint32_t> colours; // the 16-colour header palette

    Header(int b = 8, int p = 1, int w = 6, int h = 5, int bpl = 6, int d = 72, std::vector<uint32_t> c = {})
        : bits(b), planes(p), width(w), height(h), bytes_per_line(bpl), dpi(d), colours(std::move(c)) {
    }
};

std::string header(const Header& h) {
    std::string s(128, '\0');
    auto put16 = [&](size_t at, int v) {
        s[at] = static_cast<char>(v & 0xFF);
        s[at + 1] = static_cast<char>(v >> 8);
    };
    put16(0, 0x050A);
    s[2] = 1;
    s[3] = static_cast<char>(h.bits);
    put16(8, h.width - 1);
    put16(10, h.height - 1);
    put16(12, h.dpi);
    put16(14, h.dpi);
    for (size_t i = 0; i < h.colours.size(); ++i) {
        for (size_t k = 0; k < 3; ++k) {
            s[16 + 3 * i + k] = static_cast<char>(h.colours[i] >> (16 - 8 * k));
        }
    }
    s[65] = static_cast<char>(h.planes);
    put16(66, h.bytes_per_line);
    return s;
}

// Each byte alone, as a run of 1 when it looks like a count.
std::string rle(const std::vector<uint8_t>& raw) {
    std::string s;
    for (uint8_t b : raw) {
        s += b >= 0xC0 ? std::string{'\xC1', static_cast<char>(b)} : std::string(1, static_cast<char>(b));
    }
    return s;
}

bool decode(const std::string& bytes, Picture& pic, DecodeError& err) {
    model::LineReader in;
    in.open_memory(bytes);
    return decode_pcx(in, pic, err);
}

std::vector<uint8_t> row(const Picture& p, int y, size_t n) {
    const uint8_t* r = p.pixels.data() + static_cast<size_t>(y) * p.row_bytes();
    return {r, r + n};
}

TEST(Pcx, RecognitionFollowsTheHeaderTests) {
    const std::string good = header({});
    EXPECT_TRUE(pcx_accepts(good));
    EXPECT_FALSE(pcx_accepts(good.substr(0, 127)));
    // Version 3, not run-length, 4 bits, minimum X or Y not 0, maximum X 2, maximum Y 4100, vertical
    // resolution differing, 4 planes, 3 bytes per line.
    for (auto [at, value] : std::vector<std::pair<size_t, char>>{
             {1, 3}, {2, 0}, {3, 4}, {4, 1}, {6, 1}, {8, 2}, {11, 16}, {14, 73}, {65, 4}, {66, 3}}) {
        std::string s = good;
        s[at] = value;
        EXPECT_FALSE(pcx_accepts(s)) << at;
    }
    EXPECT_FALSE(pcx_accepts(header({8, 1, 6, 5, 6, 1024})));
    EXPECT_TRUE(pcx_accepts(header({1, 3, 4095, 4095, 4095, 1023})));
}

TEST(Pcx, EightBitsOnePlane) {
    // Each row a run of 4 of its number, then 0xC5 (as a run of 1) and 7; then the tail palette.
    std::string body, tail = "\x0C";
    for (int y = 0; y < 5; ++y) {
        body += std::string{'\xC4', static_cast<char>(y)} + "\xC1\xC5\x07";
    }
    for (int i = 0; i < 256; ++i) {
        tail += {static_cast<char>(i), static_cast<char>(255 - i), static_cast<char>(i / 2)};
    }
    Picture p;
    DecodeError e;
    ASSERT_TRUE(decode(header({}) + body + tail, p, e)) << e.message;
    EXPECT_TRUE(p.width == 6 && p.height == 5 && p.row_length == 6 && p.bits == 8 && p.dpi == 72);
    EXPECT_EQ(p.palette_kind, kPaletteOwn);
    EXPECT_EQ(p.palette[200], 0xC83764u);
    EXPECT_EQ(row(p, 4, 6), (std::vector<uint8_t>{4, 4, 4, 4, 0xC5, 7}));
    // No marker byte: grey.  Resolution 0 is 100.  One run may fill several lines.
    ASSERT_TRUE(decode(header({8, 1, 6, 5, 6, 0}) + "\xDE\x09" + std::string(800, '\0'), p, e)) << e.message;
    EXPECT_TRUE(p.palette_kind == kPaletteGrey && p.dpi == 100 && row(p, 4, 6)[5] == 9);
    // Row length: bytes per line, or the width rounded up to even when that is more.
    ASSERT_TRUE(decode(header({8, 1, 7, 5, 4}) + std::string(20, '\x05'), p, e));
    EXPECT_EQ(p.row_length, 8);
    EXPECT_EQ(row(p, 0, 5), (std::vector<uint8_t>{5, 5, 5, 5, 0}));
    ASSERT_TRUE(decode(header({8, 1, 5, 5, 10}) + std::string(50, '\x05'), p, e));
    EXPECT_EQ(p.row_length, 10);
}

TEST(Pcx, ThreeEightBitPlanesBecomeBlueGreenRed) {
    std::vector<uint8_t> raw; // 5 x 5, 4 bytes per line: the fifth column stays black
    for (int y = 0; y < 5; ++y) {
        for (int plane = 0; plane < 3; ++plane) {
            for (int x = 0; x < 4; ++x) {
                raw.push_back(static_cast<uint8_t>(plane * 100 + y * 10 + x + 1)); // red, green, blue
            }
        }
    }
    Picture p;
    DecodeError e;
    ASSERT_TRUE(decode(header({8, 3, 5, 5, 4}) + rle(raw), p, e)) << e.message;
    EXPECT_TRUE(p.bits == 24 && p.palette_kind == kPaletteDirect && p.row_length == 6);
    EXPECT_EQ(row(p, 2, 15), (std::vector<uint8_t>{221, 121, 21, 222, 122, 22, 223, 123, 23, 224, 124, 24, 0, 0, 0}));
}

TEST(Pcx, OneBitPlanesAndTheHeaderPalette) {
    // Bits from the most significant: 1010 0000 1111 0000 then zeros.
    std::string body;
    for (int y = 0; y < 5; ++y) {
        body += rle({0xA0, 0xF0, 0x00, 0x00});
    }
    Picture p;
    DecodeError e;
    ASSERT_TRUE(decode(header({1, 1, 12, 5, 4, 72, {0x000000, 0xFFFFFF}}) + body, p, e)) << e.message;
    EXPECT_TRUE(p.palette_kind == kPaletteGrey && p.row_length == 32);
    EXPECT_EQ(row(p, 3, 12), (std::vector<uint8_t>{255, 0, 255, 0, 0, 0, 0, 0, 255, 255, 255, 255}));
    // Both header colours unset is still black and white; two real colours become the palette.
    ASSERT_TRUE(decode(header({1, 1, 12, 5, 4}) + body, p, e));
    EXPECT_EQ(p.palette_kind, kPaletteGrey);
    ASSERT_TRUE(decode(header({1, 1, 12, 5, 4, 72, {0x0000AA, 0xFFFF55}}) + body, p, e));
    EXPECT_TRUE(p.palette_kind == kPaletteOwn && p.palette[1] == 0xFFFF55u);
    EXPECT_EQ(row(p, 0, 3), (std::vector<uint8_t>{1, 0, 1}));

    // Three 1-bit planes index the header colours, plane 0 the lowest bit.
    body.clear();
    for (int y = 0; y < 5; ++y) {
        body += rle({0xF0, 0, 0, 0, 0xCC, 0, 0, 0, 0xAA, 0, 0, 0});
    }
    ASSERT_TRUE(decode(header({1, 3, 12, 5, 4, 72, {0, 1, 2, 3, 4, 5, 6, 0x777777}}) + body, p, e)) << e.message;
    EXPECT_TRUE(p.palette_kind == kPaletteOwn && p.palette[7] == 0x777777u);
    EXPECT_EQ(row(p, 1, 9), (std::vector<uint8_t>{7, 3, 5, 1, 6, 2, 4, 0, 0}));
}

TEST(Pcx, FaultsGiveOneLine) {
    Picture p;
    DecodeError e;
    EXPECT_FALSE(decode(header({}) + std::string(29, '\x01'), p, e)); // one byte short of 30
    EXPECT_EQ(e.message, "PCX image data ends early");
    EXPECT_FALSE(decode(header({}) + "\xFF", p, e)); // a count with no value
    EXPECT_EQ(e.message, "PCX image data ends early");
    // 4096 x 4096 x 3 planes from two bytes is refused before allocating.
    EXPECT_FALSE(decode(header({8, 3, 4096, 4096, 4095}) + "\xFF\x00", p, e));
    EXPECT_EQ(e.message, "PCX image data ends early");
    EXPECT_FALSE(decode("\x0A\x05", p, e));
    EXPECT_EQ(e.message.rfind("not a PCX file", 0), 0u);
}

} // namespace
