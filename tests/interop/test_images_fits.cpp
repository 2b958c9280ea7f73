// FITS files written by ImageMagick and netpbm decode to the pixels they were made from, and fitsverify
// finds nothing wrong with files laid out as our unit tests lay theirs.  ImageMagick writes the bottom
// row first, as the convention has it; netpbm writes the top row first, so its pictures come out upside
// down.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "images/picture.h"

namespace {

using namespace trazel;
constexpr int kW = 37, kH = 23; // odd sizes: no row lines up with a block by chance

const std::string kDir = (std::filesystem::temp_directory_path() / ("trazel-fits-" + std::to_string(::getpid())));

bool have(const std::string& tool) {
    std::filesystem::create_directories(kDir);
    return std::system(("command -v " + tool + " >/dev/null 2>&1").c_str()) == 0;
}

// Source pictures, top row first, written as PGM: 8-bit values, or 16-bit ones reaching 0 and 65535.
std::vector<int> pattern(int maxval, const std::string& pgm) {
    std::vector<int> v(kW * kH);
    std::string s = "P5\n37 23\n" + std::to_string(maxval) + "\n";
    for (int i = 0; i < kW * kH; ++i) {
        int x = i % kW, y = i / kW;
        v[i] = i == 0 ? 0 : i == kW * kH - 1 ? maxval : (x * 997 + y * 6151 + x * y * 13) % (maxval + 1);
        s += maxval > 255 ? std::string{static_cast<char>(v[i] >> 8), static_cast<char>(v[i])}
                          : std::string(1, static_cast<char>(v[i]));
    }
    std::ofstream(kDir + "/" + pgm, std::ios::binary) << s;
    return v;
}

// The decoded values, top row first (or bottom row first), with the range shown.
std::vector<int> decode(const std::string& name, bool flip, std::pair<int, int>* range = nullptr) {
    model::LineReader in;
    images::Picture p;
    images::DecodeError error;
    if (!in.open_file(kDir + "/" + name) || !images::fits_accepts(in.head()) || !images::decode_fits(in, p, error)) {
        ADD_FAILURE() << name << ": " << error.message;
        return {};
    }
    EXPECT_EQ(p.width * 1000 + p.height, kW * 1000 + kH) << name;
    std::vector<int> v;
    for (int y = 0; y < p.height; ++y) {
        const uint8_t* row = p.pixels.data() + (flip ? p.height - 1 - y : y) * p.row_bytes();
        for (int x = 0; x < p.width; ++x) {
            v.push_back(p.bits == 16 ? row[2 * x] | row[2 * x + 1] << 8 : row[x]);
        }
    }
    if (range) {
        *range = {p.lowest, p.highest};
    }
    return v;
}

int run(const std::string& cmd) {
    return std::system(("cd " + kDir + " && " + cmd + " 2>/dev/null").c_str());
}

} // namespace

TEST(FitsPeers, ImageMagickAndNetpbmFiles) {
    if (!have("convert") || !have("pamtofits")) {
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
    std::filesystem::remove_all(kDir);
}

TEST(FitsPeers, FitsverifyAcceptsOurLayout) {
    if (!have("fitsverify")) {
        GTEST_SKIP() << "fitsverify is not installed";
    }
    auto card = [](std::string key, const std::string& value) {
        key.resize(8, ' ');
        return (key + "= " + std::string(20 - value.size(), ' ') + value).append(50, ' ');
    };
    std::vector<int> source = pattern(65535, "unused.pgm");
    for (int bitpix : {8, 16, 32, -32}) {
        std::string h = card("SIMPLE", "T") + card("BITPIX", std::to_string(bitpix)) + card("NAXIS", "2") +
                        card("NAXIS1", "37") + card("NAXIS2", "23") + card("BZERO", bitpix == 8 ? "0" : "32768") +
                        card("BSCALE", "1.0D0") + card("DISPMIN", "100") + card("DISPMAX", "60000") +
                        card("AVISUMIN", "200") + card("AVISUMAX", "50000") + card("AVISUTYP", "'PHYSICAL'") +
                        std::string("END").append(77, ' ');
        h.resize(2880, ' ');
        for (int v : source) {
            float f = static_cast<float>(v - 32768);
            uint32_t bits = static_cast<uint32_t>(v - 32768);
            if (bitpix == -32) {
                std::memcpy(&bits, &f, 4);
            }
            for (int shift = (std::abs(bitpix) - 1) / 8 * 8; shift >= 0; shift -= 8) {
                h += static_cast<char>(bitpix == 8 ? static_cast<uint32_t>(v) : bits >> shift);
            }
        }
        h.resize((h.size() + 2879) / 2880 * 2880, '\0');
        std::ofstream(kDir + "/b.fits", std::ios::binary) << h;
        EXPECT_EQ(run("fitsverify -q b.fits | grep -q 'verification OK'"), 0) << bitpix;
        std::pair<int, int> range;
        std::vector<int> got = decode("b.fits", true, &range);
        if (bitpix == 16) {
            EXPECT_EQ(got, source);
            EXPECT_EQ(range, std::make_pair(200, 50000));
        }
    }
    std::filesystem::remove_all(kDir);
}
