// Fax rows coded by hand from the code tables: 8 pixels wide, row A is 2 white, 3 black, 3 white
// (0x38 packed), W all white, B all black.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "images/ccitt.h"

namespace {

using namespace trazel::images;

// Bit strings ("0111 10") to bytes, zero-filled at the end; blanks are for reading only.
std::vector<uint8_t> bits(const std::string& s) {
    std::vector<uint8_t> out;
    int n = 0;
    for (char c : s) {
        if (c != '0' && c != '1') {
            continue;
        }
        if (n % 8 == 0) {
            out.push_back(0);
        }
        if (c == '1') {
            out.back() = static_cast<uint8_t>(out.back() | (0x80 >> (n % 8)));
        }
        ++n;
    }
    return out;
}

struct Result {
    bool ok = false;
    int rows = 0;
    std::vector<uint8_t> out;
    std::string message;
    // "rows: the first bytes in hex", or the message when the decoder failed.
    std::string first(size_t n) const {
        std::string s = ok ? std::to_string(rows) + ":" : message;
        for (size_t i = 0; ok && i < n; ++i) {
            s += " " + std::string(1, "0123456789ABCDEF"[out[i] >> 4]) + "0123456789ABCDEF"[out[i] & 15];
        }
        return s;
    }
};

Result decode(const std::string& code, CcittOptions o, int width = 8, int rows = 4) {
    std::vector<uint8_t> data = bits(code);
    Result r;
    r.out.assign(static_cast<size_t>((width + 7) / 8 * rows), 0xAA);
    r.ok = ccitt_decode(data.data(), data.size(), o, width, rows, r.out.data(), r.rows, r.message);
    return r;
}

const std::string kEol = "000000000001 ";

TEST(Ccitt, OneDimensionalRowsWithAndWithoutEols) {
    // Modified Huffman: each row starts on a byte.  A: white 2, black 3, white 3; B: white 0, black 8.
    CcittOptions mh;
    mh.coding = CcittCoding::kModifiedHuffman;
    EXPECT_EQ(decode("0111 10 1000 000000  00110101 000101 00", mh).first(2), "2: 38 FF");

    // T.4 one-dimensional: an EOL before each row, packed tight, and the end of page (six EOLs).
    CcittOptions t4;
    t4.coding = CcittCoding::kT4;
    std::string rtc;
    for (int i = 0; i < 6; ++i) {
        rtc += kEol;
    }
    // Rows after the end of the page are left alone.
    EXPECT_EQ(decode(kEol + "0111 10 1000 " + kEol + "00110101 000101 " + rtc, t4).first(3), "2: 38 FF AA");

    // Make-up codes, 1800 pixels: white 64 + 2, black 1728 + 6; then white 1792 + 8 (extended make-up).
    Result r = decode("11011 0111 0000001100101 0010 000000  00000001000 10011", mh, 1800, 2);
    ASSERT_TRUE(r.ok) << r.message;
    ASSERT_EQ(r.rows, 2);
    EXPECT_EQ(r.out[0], 0x00);
    EXPECT_EQ(r.out[8], 0x3F);
    EXPECT_EQ(r.out[224], 0xFF);
    EXPECT_EQ(r.out[225 + 224], 0x00);
}

TEST(Ccitt, TwoDimensionalModes) {
    // T.6: A against a white row (horizontal, then V0); W against A (pass to b2, then V0); B against
    // W (horizontal: white 0, black 8); then the end-of-block EOL pair.
    CcittOptions t6;
    t6.coding = CcittCoding::kT6;
    std::string a = "001 0111 10 1 ";
    std::string w_under_a = "0001 1 ";
    std::string b_under_w = "001 00110101 000101 ";
    EXPECT_EQ(decode(a + w_under_a + b_under_w + kEol + kEol, t6).first(3), "3: 38 00 FF");

    // B under A: black from 0 is VL2 against b1 = 2; it ends at 8, VR3 against b1 = 5.
    EXPECT_EQ(decode(a + "000010 0000011 " + kEol + kEol, t6).first(2), "2: 38 FF");
    // A under B: black starts at 2 against b1 = 0 (VR2), ends at 5 against b1 = 8 (VL3), and the row
    // ends at 8 against b1 = 8 (V0).
    EXPECT_EQ(decode(a + "000010 0000011 " + "000011 0000010 1 " + kEol + kEol, t6).first(3), "3: 38 FF 38");

    // T.4 two-dimensional: the tag bit after each EOL says 1-D (1) or 2-D (0).
    CcittOptions t4;
    t4.coding = CcittCoding::kT4, t4.two_dimensional = true;
    EXPECT_EQ(decode(kEol + "1 0111 10 1000 " + kEol + "0 " + w_under_a + kEol + "1 00110101 000101 " + kEol + "1" +
                         kEol + "1",
                     t4)
                  .first(3),
              "3: 38 00 FF");
}

TEST(Ccitt, BrokenRowsEndWithAMessage) {
    CcittOptions mh;
    mh.coding = CcittCoding::kModifiedHuffman;
    // White 8 in a 4-pixel row.
    EXPECT_EQ(decode("10011 000", mh, 4, 2).first(0), "fax data broken in row 1 (runs do not fit the row)");

    // The second row is all zeros: no white code.
    Result r = decode("0111 10 1000 000000 00000000 00000000", mh);
    EXPECT_EQ(r.first(0), "fax data broken in row 2 (bad white run code)");
    EXPECT_EQ(r.rows, 1);

    // T.6: VL3 against b1 = 2 would land left of the row; the extension code is not read.
    CcittOptions t6;
    t6.coding = CcittCoding::kT6;
    EXPECT_EQ(decode("001 0111 10 1  0000010", t6).first(0), "fax data broken in row 2 (vertical mode leaves the row)");
    EXPECT_EQ(decode("0000001 111", t6).first(0), "fax data broken in row 1 (bad mode code)");
    // Data that simply stops gives the rows made so far.
    EXPECT_EQ(decode("0111 10 1000 000000", mh, 8, 4).first(1), "1: 38");
}

} // namespace
