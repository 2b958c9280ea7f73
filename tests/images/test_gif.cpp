// GIF files built byte by byte: recognition, layout, local table over global, the image offset in the
// logical screen, interlaced rows, skipped extensions, the first image only, and faults.
#include <gtest/gtest.h>

#include <string>

#include "images/lzw_test_encoder.h"
#include "images/picture.h"

namespace {

using namespace trazel;
using namespace trazel::images;

struct Image {
    int left, top, width, height;
    std::vector<uint8_t> pixels; // in file order, minimum code size 2 unless a value needs more
    bool interlaced = false;
    std::vector<uint32_t> local = {}; // 2 entries when set
};

std::string le16(int v) {
    return {static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)};
}

std::string image(const Image& im) {
    const int mcs = *std::max_element(im.pixels.begin(), im.pixels.end()) < 4 ? 2 : 8;
    std::string s = "," + le16(im.left) + le16(im.top) + le16(im.width) + le16(im.height);
    s += static_cast<char>((im.local.empty() ? 0 : 0x80) | (im.interlaced ? 0x40 : 0));
    for (uint32_t c : im.local) {
        s += {static_cast<char>(c >> 16), static_cast<char>(c >> 8), static_cast<char>(c)};
    }
    s += static_cast<char>(mcs);
    const auto data = lzw_encode(im.pixels, mcs, false);
    for (size_t i = 0; i < data.size(); i += 200) { // sub-blocks of 200 bytes
        s += static_cast<char>(std::min<size_t>(200, data.size() - i));
        s.append(data.begin() + static_cast<long>(i), data.begin() + static_cast<long>(std::min(i + 200, data.size())));
    }
    return s + '\0';
}

// A screen with the global table black, red, green, blue and background index 2.
std::string gif(int sw, int sh, const std::string& blocks, const char* version = "GIF89a") {
    return version + le16(sw) + le16(sh) + std::string("\xF1\x02\x00", 3) +
           std::string("\0\0\0\xFF\0\0\0\xFF\0\0\0\xFF", 12) + blocks + ";";
}

bool decode(const std::string& bytes, Picture& pic, DecodeError& err) {
    model::LineReader in;
    in.open_memory(bytes);
    return decode_gif(in, pic, err);
}

int at(const Picture& p, int x, int y) {
    return p.pixels[static_cast<size_t>(y) * p.row_bytes() + static_cast<size_t>(x)];
}

TEST(Gif, Recognition) {
    const std::string blocks = image({0, 0, 1, 1, {0}});
    EXPECT_TRUE(gif_accepts(gif(1, 1, blocks)));
    EXPECT_TRUE(gif_accepts(gif(1, 1, blocks, "GIF87a")));
    EXPECT_FALSE(gif_accepts(gif(1, 1, blocks, "GIF88a")));
    std::string no_global = gif(1, 1, blocks);
    no_global[10] = 0;
    EXPECT_FALSE(gif_accepts(no_global));
}

TEST(Gif, LayoutTablesAndOffset) {
    // A 5 x 3 image with the global table: rows padded to 8, resolution 100.
    const Image plain{0, 0, 5, 3, {0, 1, 2, 3, 0, 3, 3, 3, 3, 3, 1, 1, 2, 2, 0}};
    Picture p;
    DecodeError e;
    ASSERT_TRUE(decode(gif(5, 3, image(plain)), p, e)) << e.message;
    EXPECT_TRUE(p.width == 5 && p.height == 3 && p.row_length == 8 && p.bits == 8 && p.dpi == 100);
    EXPECT_EQ(p.palette_kind, kPaletteOwn);
    EXPECT_EQ(p.palette[1], 0xFF0000u);
    EXPECT_EQ(p.palette[3], 0x0000FFu);
    for (int i = 0; i < 15; ++i) {
        EXPECT_EQ(at(p, i % 5, i / 5), plain.pixels[static_cast<size_t>(i)]);
    }

    // A 4 x 3 image with a local table at (3, 2) in a 10 x 6 screen: background index 2 around it, and
    // the local table replaces the whole global one.
    Image placed{3, 2, 4, 3, {0, 1, 0, 1, 0, 1, 0, 1, 0, 1, 0, 1}, false, {0x123456, 0xABCDEF}};
    ASSERT_TRUE(decode(gif(10, 6, image(placed)), p, e)) << e.message;
    EXPECT_TRUE(p.width == 10 && p.height == 6 && p.row_length == 12);
    EXPECT_EQ(p.palette[1], 0xABCDEFu);
    EXPECT_EQ(p.palette[2], 0u);
    for (int y = 0; y < 6; ++y) {
        for (int x = 0; x < 10; ++x) {
            EXPECT_EQ(at(p, x, y), x >= 3 && x < 7 && y >= 2 && y < 5 ? (x - 3) % 2 : 2) << x << "," << y;
        }
    }
    // An image reaching past the screen grows the picture.
    placed.left = 8;
    ASSERT_TRUE(decode(gif(10, 4, image(placed)), p, e)) << e.message;
    EXPECT_TRUE(p.width == 12 && p.height == 5 && at(p, 11, 4) == 1);
}

TEST(Gif, InterlacedRowsComeInFourPasses) {
    for (int height : {1, 2, 3, 5, 8, 9, 13, 20}) {
        Image im{0, 0, 3, height, {}, true};
        for (int pass = 0; pass < 4; ++pass) { // each file row holds its screen row number
            for (int y = pass == 0 ? 0 : 8 >> pass; y < height; y += pass < 2 ? 8 : 8 >> (pass - 1)) {
                im.pixels.insert(im.pixels.end(), 3, static_cast<uint8_t>(y));
            }
        }
        Picture p;
        DecodeError e;
        ASSERT_TRUE(decode(gif(3, height, image(im)), p, e)) << e.message;
        for (int y = 0; y < height; ++y) {
            EXPECT_EQ(at(p, 2, y), y) << "height " << height;
        }
    }
}

TEST(Gif, ExtensionsAreSkippedAndOnlyTheFirstImageIsRead) {
    // Graphic control, comment, application and plain text extensions.
    const std::string extensions =
        std::string("\x21\xF9\x04\x01\x0A\x00\x03\x00", 8) + std::string("\x21\xFE\x02hi\003abc\x00", 10) +
        std::string("\x21\xFF\003ABC\x01\x01\x00", 9) + std::string("\x21\x01\x02\x01\x01\x00", 6);
    Picture p;
    DecodeError e;
    ASSERT_TRUE(
        decode(gif(2, 2, extensions + image({0, 0, 2, 2, {3, 2, 1, 0}}) + image({0, 0, 2, 2, {1, 1, 1, 1}})), p, e))
        << e.message;
    EXPECT_TRUE(at(p, 0, 0) == 3 && at(p, 1, 1) == 0);
}

TEST(Gif, FaultsGiveOneLine) {
    Picture p;
    DecodeError e;
    const std::string head = gif(4, 4, "");
    const std::string good = gif(4, 4, image({0, 0, 4, 4, std::vector<uint8_t>(16, 1)}));
    auto fails = [&](const std::string& file) {
        EXPECT_FALSE(decode(file, p, e));
        return e.message;
    };
    EXPECT_EQ(fails(good.substr(0, good.size() - 4)), "GIF image data ends early");
    EXPECT_EQ(fails(head), "GIF file holds no image");
    EXPECT_EQ(fails(head.substr(0, 25) + "X"), "GIF file has a bad block");
    EXPECT_EQ(fails(head.substr(0, 20)), "GIF file ends in its global colour table");
    EXPECT_EQ(fails(good.substr(0, 35) + std::string("\x02\x01\x3C\x00;", 5)),
              "GIF image data is corrupt: LZW code 7 is not in the table");
    EXPECT_EQ(fails(good.substr(0, 35) + std::string("\x09\x01\x00\x00;", 5)),
              "GIF LZW minimum code size 9 is out of range");
    // Huge declarations are refused before anything is allocated.
    EXPECT_EQ(fails(gif(1, 1, image({0, 0, 16000, 16000, {0, 0}}))),
              "GIF image of 16000 x 16000 pixels has too little data");
    EXPECT_EQ(fails(gif(1, 1, image({0, 0, 60000, 60000, {0}}))), "GIF image of 60000 x 60000 pixels is too large");
}

} // namespace
