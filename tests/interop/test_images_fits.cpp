// FITS files written by ImageMagick and netpbm decode to the pixels they were made from, and fitsverify
// finds nothing wrong with files the unit tests' builder lays out.  ImageMagick writes the bottom row
// first, as the convention has it; netpbm writes the top row first, so its pictures come out upside down.
#include "gerbv_shell.h"
#include "images/picture_kit.h"

namespace {

using namespace trazel;
using picture_kit::card;
constexpr int kW = 37, kH = 23; // odd sizes: no row lines up with a block by chance

struct FitsPeers : ::testing::Test {
    interop::ScratchDir dir{"trazel_fits_"};
    int run(const std::string& cmd) {
        return interop::run("(cd " + dir.path.string() + " && " + cmd + ")", dir.path).status;
    }
    // Source values, top row first, written as PGM: 8-bit values, or 16-bit ones reaching 0 and 65535.
    std::vector<int> pattern(int maxval, const std::string& pgm) {
        std::vector<int> v(kW * kH);
        std::string s = "P5\n37 23\n" + std::to_string(maxval) + "\n";
        for (int i = 0; i < kW * kH; ++i) {
            int x = i % kW, y = i / kW;
            v[i] = i == 0 ? 0 : i == kW * kH - 1 ? maxval : (x * 997 + y * 6151 + x * y * 13) % (maxval + 1);
            s += maxval > 255 ? std::string{static_cast<char>(v[i] >> 8), static_cast<char>(v[i])}
                              : std::string(1, static_cast<char>(v[i]));
        }
        std::ofstream(dir.path / pgm, std::ios::binary) << s;
        return v;
    }
    // The decoded values, top row first (or bottom row first), with the range shown.
    std::vector<int> decode(const std::string& name, bool flip, std::pair<int, int>* range = nullptr) {
        std::string bytes = picture_kit::slurp_file(dir.path / name);
        EXPECT_TRUE(images::fits_accepts(bytes)) << name;
        picture_kit::Decoded d = picture_kit::decode_with(images::decode_fits, bytes);
        EXPECT_TRUE(d.ok) << name << ": " << d.message;
        EXPECT_EQ(d.p.width * 1000 + d.p.height, kW * 1000 + kH) << name;
        std::vector<int> v = d.values(), flipped;
        for (int y = kH - 1; flip && y >= 0 && v.size() == size_t{kW * kH}; --y) {
            flipped.insert(flipped.end(), v.begin() + y * kW, v.begin() + (y + 1) * kW);
        }
        if (range) {
            *range = {d.p.lowest, d.p.highest};
        }
        return flip ? flipped : v;
    }
};

TEST_F(FitsPeers, ImageMagickAndNetpbmFiles) {
    if (!interop::have("convert") || !interop::have("pamtofits")) {
        GTEST_SKIP() << "ImageMagick or netpbm is not installed";
    }
    std::vector<int> grey8 = pattern(255, "g8.pgm"), grey16 = pattern(65535, "g16.pgm");
    ASSERT_EQ(run("convert g8.pgm -depth 8 g8.fits && convert g16.pgm -depth 16 g16.fits && "
                  "convert g16.pgm -define quantum:format=floating-point -depth 32 gf.fits && "
                  "pamtofits g8.pgm >n8.fits && pamtofits g16.pgm >n16.fits"),
              0);
    std::pair<int, int> range;
    EXPECT_EQ(decode("g8.fits", false), grey8);
    EXPECT_EQ(decode("g16.fits", false, &range), grey16);
    EXPECT_EQ(range, std::make_pair(0, 65535));
    EXPECT_EQ(decode("n8.fits", true), grey8);
    EXPECT_EQ(decode("n16.fits", true), grey16);
    // Floating point, scaled back between the lowest and highest values: within one step of the source.
    std::vector<int> got = decode("gf.fits", false);
    ASSERT_EQ(got.size(), grey16.size());
    for (size_t i = 0; i < got.size(); ++i) {
        ASSERT_LE(std::abs(got[i] - grey16[i]), 1) << i;
    }
}

TEST_F(FitsPeers, FitsverifyAcceptsOurLayout) {
    if (!interop::have("fitsverify")) {
        GTEST_SKIP() << "fitsverify is not installed";
    }
    std::vector<int> source = pattern(65535, "unused.pgm");
    for (int bitpix : {8, 16, 32, -32, -64}) {
        std::vector<double> samples;
        for (int v : source) {
            samples.push_back(bitpix == 8 ? v >> 8 : v - 32768);
        }
        std::ofstream(dir.path / "b.fits", std::ios::binary)
            << picture_kit::fits(bitpix, {kW, kH},
                                 {card("BZERO", bitpix == 8 ? "0" : "32768"), card("BSCALE", "1.0D0"),
                                  card("DISPMIN", "100"), card("DISPMAX", "60000"), card("AVISUMIN", "200"),
                                  card("AVISUMAX", "50000"), card("AVISUTYP", "'PHYSICAL'")},
                                 samples);
        EXPECT_EQ(run("fitsverify -q b.fits | grep -q 'verification OK'"), 0) << bitpix;
        std::pair<int, int> range;
        std::vector<int> got = decode("b.fits", true, &range);
        if (bitpix == 16) {
            EXPECT_EQ(got, source);
            EXPECT_EQ(range, std::make_pair(200, 50000));
        }
    }
}

} // namespace
