// The DICOM decoder on data sets built here element by element: both recognitions, every transfer
// syntax read, nested sequences of undefined length before the pixels, the grey, colour and palette
// storage with its hand-worked values, and the files it refuses.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "images/picture_kit.h"

using namespace trazel;

namespace {

enum Enc { kImplicit, kLittle, kBig };

std::string u16(uint32_t v, bool big = false) {
    char b[2] = {static_cast<char>(v), static_cast<char>(v >> 8)};
    return big ? std::string{b[1], b[0]} : std::string(b, 2);
}
std::string u32(uint32_t v, bool big = false) {
    return big ? u16(v >> 16, true) + u16(v, true) : u16(v) + u16(v >> 16);
}

// One element in an encoding; odd values are padded as DICOM pads them.
std::string el(Enc enc, uint16_t g, uint16_t e, const std::string& vr, std::string value,
               uint32_t length = 0xFFFFFFFE) {
    if (value.size() % 2) {
        value += vr == "UI" || vr == "OB" ? '\0' : ' ';
    }
    uint32_t n = length == 0xFFFFFFFE ? static_cast<uint32_t>(value.size()) : length;
    const bool big = enc == kBig;
    std::string s = u16(g, big) + u16(e, big);
    if (enc == kImplicit) {
        return s + u32(n, big) + value;
    }
    bool wide = vr == "OB" || vr == "OW" || vr == "SQ" || vr == "UN" || vr == "UT";
    return s + vr + (wide ? u16(0) + u32(n, big) : u16(n, big)) + value;
}
std::string us(Enc enc, uint16_t g, uint16_t e, uint16_t v) {
    return el(enc, g, e, "US", u16(v, enc == kBig));
}
std::string delimiter(Enc enc, uint16_t e, uint32_t length = 0) {
    return u16(0xFFFE, enc == kBig) + u16(e, enc == kBig) + u32(length, enc == kBig);
}
std::string undefined_sequence(Enc enc, uint16_t g, uint16_t e) {
    return el(enc, g, e, "SQ", "", 0xFFFFFFFF);
}

// The 128-byte preamble and "DICM" (built in place: gcc 12 warns wrongly of `std::string(128, 0) + "DICM"`).
std::string preamble() {
    std::string p(132, '\0');
    p.replace(128, 4, "DICM");
    return p;
}

// A file: preamble, "DICM" and a meta group (with its group length) naming `uid`, then the data set.
std::string file(const std::string& uid, const std::string& data_set) {
    std::string meta = el(kLittle, 2, 1, "OB", std::string("\0\1", 2)) + el(kLittle, 2, 0x10, "UI", uid);
    return preamble() + el(kLittle, 2, 0, "UL", u32(static_cast<uint32_t>(meta.size()))) + meta + data_set;
}
const std::string kImplicitUid = "1.2.840.10008.1.2", kLittleUid = "1.2.840.10008.1.2.1",
                  kBigUid = "1.2.840.10008.1.2.2", kDeflatedUid = "1.2.840.10008.1.2.1.99";

struct Module {
    int rows = 2, columns = 3, samples = 1, allocated = 16, stored = 12, sign = 0, planar = -1;
    std::string photometric = "MONOCHROME2", extra;
};
std::string module(Enc enc, const Module& m) {
    std::string s = us(enc, 0x28, 2, static_cast<uint16_t>(m.samples)) + el(enc, 0x28, 4, "CS", m.photometric);
    if (m.planar >= 0) {
        s += us(enc, 0x28, 6, static_cast<uint16_t>(m.planar));
    }
    return s + us(enc, 0x28, 0x10, static_cast<uint16_t>(m.rows)) +
           us(enc, 0x28, 0x11, static_cast<uint16_t>(m.columns)) +
           us(enc, 0x28, 0x100, static_cast<uint16_t>(m.allocated)) +
           us(enc, 0x28, 0x101, static_cast<uint16_t>(m.stored)) +
           us(enc, 0x28, 0x102, static_cast<uint16_t>(m.stored - 1)) +
           us(enc, 0x28, 0x103, static_cast<uint16_t>(m.sign)) + m.extra;
}
std::string words(Enc enc, const std::vector<int>& v) {
    std::string s;
    for (int x : v) {
        s += u16(static_cast<uint32_t>(x), enc == kBig);
    }
    return s;
}
std::string pixels(Enc enc, const std::string& data, const char* vr = "OW") {
    return el(enc, 0x7FE0, 0x10, vr, data);
}

using Decoded = picture_kit::Valued;
Decoded decode(const std::string& bytes) {
    return picture_kit::decode_values(images::decode_dicom, bytes);
}
// A little-endian file of the module `m` and the pixel element.
Decoded little(const Module& m, const std::string& data, const char* vr = "OW") {
    return decode(file(kLittleUid, module(kLittle, m) + pixels(kLittle, data, vr)));
}
std::string raw_deflate(const std::string& s) {
    return picture_kit::deflate_bytes(s, true);
}

using V = std::vector<int>;
const V kValues = {0, 1, 2047, 4095, 100, 3000};

} // namespace

TEST(Dicom, RecognitionWithAndWithoutPreamble) {
    std::string with = file(kLittleUid, "");
    EXPECT_TRUE(images::dicom_accepts(with));
    with[130] = 'X';
    EXPECT_FALSE(images::dicom_accepts(with));

    // Without preamble: a group length first, implicit (length 4) or explicit ("UL" 4 0).
    std::string implicit = el(kImplicit, 8, 0, "UL", u32(300));
    std::string explicit_vr = el(kLittle, 8, 0, "UL", u32(300));
    EXPECT_TRUE(images::dicom_accepts(implicit));
    EXPECT_TRUE(images::dicom_accepts(explicit_vr));
    EXPECT_TRUE(images::dicom_accepts(el(kImplicit, 31, 0, "UL", u32(65279))));
    EXPECT_FALSE(images::dicom_accepts(el(kImplicit, 32, 0, "UL", u32(300))));  // first word 32
    EXPECT_FALSE(images::dicom_accepts(el(kImplicit, 8, 0, "UL", u32(65280)))); // third word too big
    EXPECT_FALSE(images::dicom_accepts(el(kImplicit, 8, 5, "CS", "ISO_IR 100")));
    EXPECT_FALSE(images::dicom_accepts(implicit.substr(0, 11)));
    EXPECT_FALSE(images::dicom_accepts("BM6\0\0\0\0\0\0\0\0\0\0\0\0\0"));
}

TEST(Dicom, EveryTransferSyntaxGivesTheSamePicture) {
    auto data_set = [](Enc enc) { return module(enc, Module{}) + pixels(enc, words(enc, kValues)); };
    const std::string no_meta_implicit = el(kImplicit, 8, 0, "UL", u32(8)) + data_set(kImplicit);
    const std::string no_meta_explicit = el(kLittle, 8, 0, "UL", u32(8)) + data_set(kLittle);
    const std::string cases[] = {
        file(kImplicitUid, data_set(kImplicit)),
        file(kLittleUid, data_set(kLittle)),
        file(kBigUid, data_set(kBig)),
        file(kDeflatedUid, raw_deflate(data_set(kLittle))),
        no_meta_implicit,
        no_meta_explicit,
        // A meta group without group length, followed by the data set.
        preamble() + el(kLittle, 2, 0x10, "UI", kBigUid) + data_set(kBig),
    };
    int n = 0;
    for (const std::string& f : cases) {
        SCOPED_TRACE(n++);
        EXPECT_TRUE(images::dicom_accepts(f));
        Decoded d = decode(f);
        ASSERT_EQ(d.message, "");
        EXPECT_EQ(d.shape(), "3x2 row 3 bits 16 kind 0 dpi 100");
        EXPECT_EQ(d.v, kValues);
        EXPECT_EQ(V({d.p.lowest, d.p.highest}), V({0, 4095}));
    }
}

TEST(Dicom, NestedSequencesOfUndefinedLengthAreWalkedPast) {
    // An icon picture two sequences deep (its own Rows, Columns and pixels) before the real module; the
    // inner item has a defined length, the outer ones end with delimiters.
    for (Enc enc : {kImplicit, kLittle, kBig}) {
        SCOPED_TRACE(enc);
        Module icon;
        icon.rows = icon.columns = 1;
        std::string inner = module(enc, icon) + pixels(enc, words(enc, {7}));
        std::string nested = undefined_sequence(enc, 0x0088, 0x0200) + delimiter(enc, 0xE000, 0xFFFFFFFF) +
                             undefined_sequence(enc, 0x0040, 0xA730) +
                             delimiter(enc, 0xE000, static_cast<uint32_t>(inner.size())) + inner +
                             delimiter(enc, 0xE0DD) + delimiter(enc, 0xE00D) + delimiter(enc, 0xE0DD);
        // A sequence of defined length is skipped whole.
        std::string defined =
            el(enc, 0x0008, 0x1140, "SQ", delimiter(enc, 0xE000, 4) + us(enc, 0x28, 0x10, 9).substr(0, 4));
        const std::string& uid = enc == kImplicit ? kImplicitUid : enc == kLittle ? kLittleUid : kBigUid;
        Decoded d = decode(file(uid, defined + nested + module(enc, Module{}) + pixels(enc, words(enc, kValues))));
        ASSERT_EQ(d.message, "");
        EXPECT_EQ(d.p.width * 10 + d.p.height, 32);
        EXPECT_EQ(d.v, kValues);
    }
    // Sequences left open, and a delimiter with nothing open, are refused.
    std::string open =
        file(kLittleUid, undefined_sequence(kLittle, 0x0088, 0x0200) + delimiter(kLittle, 0xE000, 0xFFFFFFFF));
    EXPECT_EQ(decode(open).message, "DICOM data set ends inside a sequence");
    EXPECT_EQ(decode(file(kLittleUid, delimiter(kLittle, 0xE0DD))).message, "DICOM sequence end out of place");
    // Nesting past the limit stops with a message rather than growing without bound.
    std::string deep;
    for (int i = 0; i < 40; ++i) {
        deep += undefined_sequence(kLittle, 0x0040, 0xA730) + delimiter(kLittle, 0xE000, 0xFFFFFFFF);
    }
    EXPECT_EQ(decode(file(kLittleUid, deep)).message, "DICOM sequences are nested too deep");
}

TEST(Dicom, MonochromeOneIsInvertedWithinTheStoredBits) {
    // 12 stored bits in 16, high bit 11: the top four bits hold overlay junk and are ignored.
    Module m;
    m.photometric = "MONOCHROME1";
    m.extra = el(kLittle, 0x28, 0x1050, "DS", "2048\\100") + el(kLittle, 0x28, 0x1051, "DS", "1000\\20");
    V stored;
    for (int v : kValues) {
        stored.push_back(v | 0xF000);
    }
    Decoded d = little(m, words(kLittle, stored));
    ASSERT_EQ(d.message, "");
    EXPECT_EQ(d.v, (V{4095, 4094, 2048, 0, 3995, 1095}));
    // The first window, 1548 .. 2548, turned over with the values.
    EXPECT_EQ(V({d.p.lowest, d.p.highest}), V({1547, 2547}));

    // 8 bits: the same rule in bytes; MONOCHROME2 keeps them and is kind 0 at 8 bits.
    Module b;
    b.allocated = b.stored = 8, b.columns = 2, b.rows = 1;
    for (const char* photometric : {"MONOCHROME1", "MONOCHROME2"}) {
        b.photometric = photometric;
        d = little(b, std::string("\x00\xC8", 2), "OB");
        ASSERT_EQ(d.message, "");
        EXPECT_EQ(d.shape(), "2x1 row 2 bits 8 kind 0 dpi 100");
        EXPECT_EQ(d.v, b.photometric == "MONOCHROME1" ? V({255, 55}) : V({0, 200}));
    }
    // 1 bit, lowest bit first: 0/255, turned over by MONOCHROME1.
    b.allocated = b.stored = 1, b.columns = 3;
    b.photometric = "MONOCHROME1";
    d = little(b, std::string("\x05\x00", 2), "OB");
    EXPECT_EQ(d.v, (V{0, 255, 0}));
}

TEST(Dicom, SignedAndRescaledValuesAreShiftedIntoSixteenBits) {
    // Signed 16-bit with slope 1 and intercept -1024: every value moves up by 32768.
    Module m;
    m.stored = 16, m.sign = 1, m.rows = 1, m.columns = 4;
    m.extra = el(kLittle, 0x28, 0x1052, "DS", "-1024") + el(kLittle, 0x28, 0x1053, "DS", "1");
    std::string data = words(kLittle, {-2000 & 0xFFFF, 0xFFFF, 0, 1000});
    Decoded d = little(m, data);
    ASSERT_EQ(d.message, "");
    EXPECT_EQ(d.v, (V{30768, 32767, 32768, 33768}));
    EXPECT_EQ(V({d.p.lowest, d.p.highest}), V({30768, 33768})); // no window: the values found

    // A window of centre 40, width 400 in rescaled units: -160 .. 240, stored 864 .. 1264.
    m.extra += el(kLittle, 0x28, 0x1050, "DS", "40") + el(kLittle, 0x28, 0x1051, "DS", "400");
    d = little(m, data);
    EXPECT_EQ(V({d.p.lowest, d.p.highest}), V({32768 + 864, 32768 + 1264}));

    // A fractional slope spreads the values found over 0..65535; the window follows the same scale.
    Module f;
    f.stored = 16, f.rows = 1;
    f.extra = el(kLittle, 0x28, 0x1053, "DS", "0.5") + el(kLittle, 0x28, 0x1050, "DS", "75") +
              el(kLittle, 0x28, 0x1051, "DS", "30");
    d = little(f, words(kLittle, {0, 100, 300}));
    ASSERT_EQ(d.message, "");
    EXPECT_EQ(d.v, (V{0, 21845, 65535}));
    EXPECT_EQ(V({d.p.lowest, d.p.highest}), V({26214, 39321})); // 60 of 0..150; 90 of 0..150
}

TEST(Dicom, ColourPalettesAndResolution) {
    // RGB planar 1: a plane per colour; stored as blue, green, red.  Pixel Spacing 0.254 \ 0.127 mm
    // between columns gives 200 dpi.
    Module rgb;
    rgb.samples = 3;
    rgb.photometric = "RGB";
    rgb.allocated = rgb.stored = 8, rgb.rows = 1, rgb.columns = 2, rgb.planar = 1;
    rgb.extra = el(kLittle, 0x28, 0x30, "DS", "0.254\\0.127");
    Decoded d = little(rgb, std::string("\x01\x02\x03\x04\x05\x06"), "OB");
    ASSERT_EQ(d.message, "");
    EXPECT_EQ(d.shape(), "2x1 row 2 bits 24 kind 3 dpi 200");
    EXPECT_EQ(d.v, (V{5, 3, 1, 6, 4, 2}));
    rgb.planar = 0;
    d = little(rgb, std::string("\x01\x02\x03\x04\x05\x06"), "OB");
    EXPECT_EQ(d.v, (V{3, 2, 1, 6, 5, 4}));
    // Big-endian OW swaps each pair of bytes; OB does not.
    rgb.extra.clear();
    d = decode(
        file(kBigUid, module(kBig, rgb) + el(kBig, 0x7FE0, 0x10, "OW", std::string("\x02\x01\x04\x03\x06\x05"))));
    EXPECT_EQ(d.v, (V{3, 2, 1, 6, 5, 4}));
    d = decode(file(kBigUid, module(kBig, rgb) + pixels(kBig, std::string("\x01\x02\x03\x04\x05\x06"), "OB")));
    EXPECT_EQ(d.v, (V{3, 2, 1, 6, 5, 4}));

    // PALETTE COLOR with 8-bit indices: four 16-bit entries from index 10 (their high bytes); indices
    // below the first take the first entry, above the last the last.
    Module pal;
    pal.photometric = "PALETTE COLOR";
    pal.allocated = pal.stored = 8, pal.rows = 1, pal.columns = 4;
    std::string descriptor = words(kLittle, {4, 10, 16});
    for (uint16_t c = 0; c < 3; ++c) {
        pal.extra += el(kLittle, 0x28, static_cast<uint16_t>(0x1101 + c), "US", descriptor);
    }
    pal.extra += el(kLittle, 0x28, 0x1201, "OW", words(kLittle, {0x0000, 0xFF00, 0x8000, 0x12FF}));
    pal.extra += el(kLittle, 0x28, 0x1202, "OW", words(kLittle, {0x0100, 0x0200, 0x0300, 0x0400}));
    pal.extra += el(kLittle, 0x28, 0x1203, "OW", words(kLittle, {0xA000, 0xB000, 0xC000, 0xD000}));
    d = little(pal, std::string("\x0A\x0B\x0D\xC8"), "OB");
    ASSERT_EQ(d.message, "");
    EXPECT_EQ(d.p.palette_kind, images::kPaletteOwn);
    EXPECT_EQ(d.v, (V{10, 11, 13, 200}));
    EXPECT_EQ(
        std::vector<uint32_t>({d.p.palette[0], d.p.palette[10], d.p.palette[11], d.p.palette[12], d.p.palette[200]}),
        std::vector<uint32_t>({0x0001A0, 0x0001A0, 0xFF02B0, 0x8003C0, 0x1204D0}));

    // 16-bit indices go through the table into direct colour.
    pal.allocated = pal.stored = 16, pal.columns = 2;
    d = little(pal, words(kLittle, {11, 1000}));
    ASSERT_EQ(d.message, "");
    EXPECT_EQ(d.p.bits, 24);
    EXPECT_EQ(d.v, (V{0xB0, 0x02, 0xFF, 0xD0, 0x04, 0x12}));
}

TEST(Dicom, RefusalsNameTheirReason) {
    std::string body = module(kLittle, Module{}) + pixels(kLittle, words(kLittle, kValues));
    EXPECT_EQ(decode(file("1.2.840.10008.1.2.4.50", body)).message, "JPEG Baseline-compressed DICOM is not read");
    EXPECT_EQ(decode(file("1.2.840.10008.1.2.5", body)).message, "RLE Lossless-compressed DICOM is not read");
    EXPECT_EQ(decode(file("1.2.3", body)).message, "DICOM transfer syntax 1.2.3 is not read");
    EXPECT_EQ(
        decode(file(kLittleUid, module(kLittle, Module{}) + el(kLittle, 0x7FE0, 0x10, "OB", "", 0xFFFFFFFF))).message,
        "encapsulated (compressed) DICOM pixel data is not read");

    // Truncated pixels: the file ends inside the first frame, or the element is shorter than a frame.
    std::string whole = file(kLittleUid, body);
    EXPECT_EQ(decode(whole.substr(0, whole.size() - 1)).message,
              "DICOM pixel data is short: the file ends inside the first frame");
    EXPECT_EQ(little(Module{}, words(kLittle, {1, 2})).message, "DICOM pixel data is short: 4 bytes for a frame of 12");
    std::string deflated = file(kDeflatedUid, raw_deflate(body));
    EXPECT_EQ(decode(deflated.substr(0, deflated.size() - 6)).message,
              "DICOM pixel data is short: the file ends inside the first frame");
    EXPECT_EQ(decode(file(kDeflatedUid, std::string(8, '\xFF'))).message, "deflated DICOM data is broken");

    EXPECT_EQ(decode(file(kLittleUid, module(kLittle, Module{}))).message, "DICOM data set has no pixel data");
    Module cmyk;
    cmyk.photometric = "CMYK";
    cmyk.samples = 4;
    EXPECT_EQ(little(cmyk, "").message, "DICOM photometric interpretation CMYK is not read");
    // A value longer than the file is refused before anything is allocated for it.
    EXPECT_EQ(decode(file(kLittleUid, el(kLittle, 0x28, 0x1201, "OW", "", 0x7FFFFFF0))).message,
              "DICOM data set ends inside element (0028,1201)");
}
