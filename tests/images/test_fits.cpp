// The FITS decoder on files built here card by card: every BITPIX, the scaling keys, the display
// limits and their order of precedence, the bottom-up rows, and the files it refuses.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "images/picture_kit.h"

using namespace trazel;

namespace {

using picture_kit::card;
using picture_kit::fits;
using V = std::vector<int>;
using Decoded = picture_kit::Valued;

Decoded decode(const std::string& bytes) {
    return picture_kit::decode_values(images::decode_fits, bytes);
}

} // namespace

TEST(Fits, RecognitionAndRowOrder) {
    std::string f = fits(8, {3, 2}, {}, {1, 2, 3, 4, 5, 6});
    EXPECT_TRUE(images::fits_accepts(f));
    EXPECT_FALSE(images::fits_accepts(f.substr(0, 85)));                          // BITPIX card cut short
    EXPECT_FALSE(images::fits_accepts(card("SIMPLE", "T") + card("NAXIS", "0"))); // BITPIX not second
    Decoded d = decode(f);
    EXPECT_EQ(d.shape(), "3x2 row 3 bits 8 kind 0 dpi 100");
    EXPECT_EQ(d.v, (V{4, 5, 6, 1, 2, 3})); // the first row in the file is the bottom one

    // Forty comment cards push END into the second block; three axes give the first plane; a comment
    // after a value and a quoted value holding a slash are read.
    std::vector<std::string> cards(40, std::string("COMMENT no value").append(64, ' '));
    cards.push_back(card("BZERO", "1 / offset"));
    cards.push_back(card("OBJECT", "'M31 / core'"));
    EXPECT_EQ(decode(fits(16, {2, 1, 2}, cards, {1, 2, 3, 4})).v, (V{2, 3}));
}

TEST(Fits, PhysicalValuesAndScaling) {
    // 16-bit whole values in range are kept: signed, made unsigned by BZERO, a BLANK taking the lowest.
    Decoded d = decode(fits(16, {2, 2}, {}, {0, 100, 1000, 4095}));
    EXPECT_EQ(d.v, (V{1000, 4095, 0, 100}));
    EXPECT_EQ(d.p.lowest, 0);
    EXPECT_EQ(d.p.highest, 4095);
    EXPECT_EQ(decode(fits(16, {2, 1}, {card("BZERO", "3.2768E+04")}, {-32768, 32767})).v, (V{0, 65535}));
    EXPECT_EQ(decode(fits(16, {4, 1}, {card("BLANK", "-1")}, {-1, 5, 10, 20})).v, (V{5, 5, 10, 20}));

    // Anything else is scaled from its lowest to its highest value: negative 16-bit values, a BSCALE
    // other than 1, 32-bit integers, NaN (the lowest), doubles near the limit (and a D exponent).
    EXPECT_EQ(decode(fits(16, {4, 1}, {}, {-100, 0, 100, 300})).v, (V{0, 16384, 32768, 65535}));
    EXPECT_EQ(decode(fits(16, {4, 1}, {card("BSCALE", "0.5"), card("BZERO", "10")}, {0, 2, 4, 6})).v,
              (V{0, 21845, 43690, 65535}));
    EXPECT_EQ(decode(fits(32, {4, 1}, {}, {0, 10, 20, 40})).v, (V{0, 16384, 32768, 65535}));
    EXPECT_EQ(decode(fits(-32, {4, 1}, {}, {1, NAN, 3, 5})).v, (V{0, 0, 32768, 65535}));
    EXPECT_EQ(decode(fits(-64, {4, 1}, {card("BSCALE", "1.0D0")}, {-1e300, 1e300, 0, 0.5e300})).v,
              (V{0, 65535, 32768, 49151}));
}

TEST(Fits, DisplayLimitsTakeTheFirstPairPresent) {
    auto limits = [](std::vector<std::string> keys) {
        Decoded d = decode(fits(16, {4, 1}, keys, {0, 250, 500, 1000}));
        return std::pair<int, int>(d.p.lowest, d.p.highest);
    };
    using L = std::pair<int, int>;
    const std::string data[] = {card("DATAMIN", "10"), card("DATAMAX", "900")};
    const std::string disp[] = {card("DISPMIN", "20"), card("DISPMAX", "800")};
    const std::string avisu[] = {card("AVISUMIN", "30"), card("AVISUMAX", "700")};
    EXPECT_EQ(limits({}), L(0, 1000));
    EXPECT_EQ(limits({data[0], data[1]}), L(10, 900));
    EXPECT_EQ(limits({data[0], data[1], disp[0], disp[1]}), L(20, 800));
    EXPECT_EQ(limits({data[0], data[1], disp[0], disp[1], avisu[0], avisu[1]}), L(30, 700));
    // AVISUTYP 'STORED' limits go through BZERO; an unknown type, a reversed pair or half a pair is passed over.
    EXPECT_EQ(limits({avisu[0], avisu[1], card("AVISUTYP", "'STORED  '"), card("BZERO", "5")}), L(35, 705));
    EXPECT_EQ(limits({avisu[0], avisu[1], card("AVISUTYP", "'LOG'"), disp[0], disp[1]}), L(20, 800));
    EXPECT_EQ(limits({card("DISPMIN", "800"), card("DISPMAX", "20"), data[0], data[1]}), L(10, 900));
    EXPECT_EQ(limits({disp[0]}), L(0, 1000));

    // Scaled data: the limits go through the same scale as the pixels.
    Decoded d = decode(fits(-32, {4, 1}, {card("DISPMIN", "1"), card("DISPMAX", "3")}, {0, 1, 2, 4}));
    EXPECT_EQ(d.p.lowest, 16384);
    EXPECT_EQ(d.p.highest, 49151);
}

TEST(Fits, RefusesWhatItCannotRead) {
    std::string no_end = fits(8, {1, 1}, {}, {});
    no_end.replace(no_end.find("END "), 3, "   ");
    std::string no_naxis2 = fits(8, {1, 1}, {}, {1});
    no_naxis2.replace(no_naxis2.find("NAXIS2"), 6, "NAXES2");
    const std::pair<std::string, const char*> cases[] = {
        {fits(8, {5}, {}, {1}), "one-dimensional FITS data (NAXIS = 1) is not read"},
        {fits(8, {}, {}, {}), "FITS file without a primary image (NAXIS = 0) is not read"},
        {fits(8, {1, 1, 1, 1}, {}, {1}), "FITS data of NAXIS = 4 is not read"},
        {fits(12, {1, 1}, {}, {}), "FITS data of BITPIX 12 is not read"},
        {fits(8, {0, 3}, {}, {}), "FITS picture has no pixels (NAXIS1 = 0, NAXIS2 = 3)"},
        {fits(16, {100000, 100000}, {}, {}), "FITS picture of 100000 x 100000 pixels is too large"},
        {fits(16, {2, 1}, {card("BZERO", "abc")}, {1, 2}), "FITS header card BZERO has no readable number"},
        // The data is checked against the bytes left before anything is allocated.
        {fits(16, {100, 100}, {}, std::vector<double>(1440)), "FITS data is short: 20000 bytes declared, 2880 left"},
        {no_end, "FITS header has no END card"},
        {no_naxis2, "FITS header has no NAXIS2"},
    };
    for (const auto& [bytes, message] : cases) {
        Decoded d = decode(bytes);
        EXPECT_EQ(d.message, message);
        EXPECT_TRUE(d.p.pixels.empty()) << message;
    }
}
