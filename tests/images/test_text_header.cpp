// The text-header picture: each sample layout, the optional keys, and one refusal per fault.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "images/picture.h"

using namespace trazel;

namespace {

std::string header(const std::string& extra, const std::string& size = "Height: 2\nWidth: 3\n", int bands = 1) {
    return "Contents: Pixel image\n" + size + "Resolution: 150\nSpectral bands: " + std::to_string(bands) + "\n" +
           extra;
}

// The picture, or the message when refused.
std::string decode(const std::string& bytes, images::Picture& p) {
    model::LineReader in;
    in.open_memory(bytes);
    images::DecodeError error;
    return images::decode_text_header(in, p, error) ? "" : error.message;
}

using B = std::vector<uint8_t>;

} // namespace

TEST(TextHeader, EachLayout) {
    EXPECT_TRUE(images::text_header_accepts("Contents:  Pixel image \r\nHeight: 1\r\n"));
    EXPECT_FALSE(images::text_header_accepts("Contents: Vector drawing\nHeight: 1\n"));
    EXPECT_FALSE(images::text_header_accepts(" Contents: Pixel image\n"));

    images::Picture p;
    ASSERT_EQ(decode(header("Data:\n") + "\x01\x02\x03\x04\x05\x06 and bytes after the rows", p), "");
    EXPECT_EQ(p.width, 3);
    EXPECT_EQ(p.height, 2);
    EXPECT_EQ(p.bits, 8);
    EXPECT_EQ(p.palette_kind, images::kPaletteGrey);
    EXPECT_EQ(p.dpi, 150);
    EXPECT_EQ(p.pixels, (B{1, 2, 3, 4, 5, 6}));

    // CR LF lines, a comment, an empty line ending the keys, bottom row first, resolution 0.
    ASSERT_EQ(decode("Contents: Pixel image\r\n# by hand\r\nWidth: 3\r\nHeight: 2\r\nResolution: 0\r\n"
                     "Spectral bands: 1\r\nRows: bottom first\r\n\r\n\x01\x02\x03\x04\x05\x06",
                     p),
              "");
    EXPECT_EQ(p.pixels, (B{4, 5, 6, 1, 2, 3}));
    EXPECT_EQ(p.dpi, 100);

    // 16-bit grey in both byte orders keeps its values and their range.
    const std::string grey16("\x01\x02\x00\x10\xFF\x00", 6);
    ASSERT_EQ(decode(header("Bits: 16\nByte order: big-endian\nData:\n", "Height: 1\nWidth: 3\n") + grey16, p), "");
    EXPECT_EQ(p.bits, 16);
    EXPECT_EQ(p.pixels, (B{0x02, 0x01, 0x10, 0x00, 0x00, 0xFF}));
    EXPECT_EQ(p.lowest, 0x0010);
    EXPECT_EQ(p.highest, 0xFF00);
    ASSERT_EQ(decode(header("Bits: 16\nByte order: little-endian\nData:\n", "Height: 1\nWidth: 3\n") + grey16, p), "");
    EXPECT_EQ(p.pixels, (B{0x01, 0x02, 0x00, 0x10, 0xFF, 0x00}));
    EXPECT_EQ(p.lowest, 0x00FF);

    // Colour: red, green, blue in the file, blue, green, red stored; 16-bit samples give their top byte.
    ASSERT_EQ(decode(header("Data:\n", "Height: 1\nWidth: 2\n", 3) + "\x0A\x0B\x0C\x1A\x1B\x1C", p), "");
    EXPECT_EQ(p.bits, 24);
    EXPECT_EQ(p.palette_kind, images::kPaletteDirect);
    EXPECT_EQ(p.pixels, (B{0x0C, 0x0B, 0x0A, 0x1C, 0x1B, 0x1A}));
    const std::string rgb16("\x0A\x01\x0B\x02\x0C\x03\x1A\x04\x1B\x05\x1C\x06", 12);
    ASSERT_EQ(decode(header("Bits: 16\nByte order: little-endian\n\n", "Height: 1\nWidth: 2\n", 3) + rgb16, p), "");
    EXPECT_EQ(p.pixels, (B{0x03, 0x02, 0x01, 0x06, 0x05, 0x04}));
}

TEST(TextHeader, RefusesWhatItCannotRead) {
    const std::string samples(64, 'x');
    std::vector<std::pair<std::string, std::string>> cases;
    for (std::string key : {"Height: 2\n", "Width: 3\n", "Resolution: 150\n", "Spectral bands: 1\n"}) {
        std::string h = header("Data:\n");
        h.erase(h.find(key), key.size());
        cases.push_back({h + samples, "no \"" + key.substr(0, key.find(':')) + ":\" key"});
    }
    cases.insert(cases.end(),
                 {
                     {header("Colour: blue\nData:\n") + samples, "unknown key \"Colour\""},
                     {header("Col\x01our\r: blue\nData:\n") + samples, "unknown key \"Col?our?\""},
                     {header("Width: 4\nData:\n") + samples, "the key \"Width:\" is given twice"},
                     {header("Data:\n", "Height: 2\nWidth: 3\n", 2) + samples, "\"Spectral bands: 2\" is not read"},
                     {header("Data:\n", "Height: 2\nWidth: three\n") + samples, "\"Width: three\" is not read"},
                     {header("Data:\n", "Height: 0\nWidth: 3\n") + samples, "\"Height: 0\" is not read"},
                     {header("Bits: 12\nData:\n") + samples, "\"Bits: 12\" is not read"},
                     {header("Bits: 16\nData:\n") + samples, "16-bit samples need a \"Byte order:\" key"},
                     {header("Bits: 16\nByte order: middle\nData:\n") + samples, "\"Byte order: middle\" is not read"},
                     {header("Rows: sideways\nData:\n") + samples, "\"Rows: sideways\" is not read"},
                     {header("Data:\n") + "12345", "the samples need 6 bytes, the file has 5 after the keys"},
                     {header(""), "the keys do not end in an empty line or a \"Data:\" line"},
                     {header("Data:\n", "Height: 100000\nWidth: 100000\n") + samples,
                      "a picture of 100000 x 100000 pixels is too large"},
                 });
    for (const auto& [bytes, message] : cases) {
        images::Picture p;
        EXPECT_EQ(decode(bytes, p), "text-header picture: " + message);
    }
}
