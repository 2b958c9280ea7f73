// BMP files written by netpbm and ImageMagick decode to the pixels the reference decoders give: 24 and
// 8 bits exactly, 4 bits through the colour cube, 1 bit as the mean level, 16 bits as 5-bit channels x 8.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "images/picture.h"

namespace {

using namespace trazel;
constexpr int kW = 37, kH = 23; // odd sizes: every row is padded
const std::string kDir = std::filesystem::temp_directory_path() / ("trazel-bmp-" + std::to_string(::getpid()));

int run(const std::string& cmd) {
    return std::system(("cd " + kDir + " && { " + cmd + "; } >/dev/null 2>&1").c_str());
}

std::string slurp(const std::string& name) {
    std::ifstream f(kDir + "/" + name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), {});
}

// A PPM of `colours` distinct colours (2 are black and white).
void source(const std::string& name, int colours) {
    std::string s = "P6\n37 23\n255\n";
    for (int i = 0; i < kW * kH; ++i) {
        int k = (i % kW * 7 + i / kW * 13 + i % kW * (i / kW)) % colours;
        s += colours == 2
                 ? std::string(3, k ? '\xFF' : '\0')
                 : std::string{static_cast<char>(k * 37), static_cast<char>(k * 91), static_cast<char>(255 - k)};
    }
    std::ofstream(kDir + "/" + name, std::ios::binary) << s;
}

// `bmp` (with its compression field replaced by `compression` when given) against the reference
// decoder's red, green, blue bytes in `rgb`.
void check(const std::string& bmp, const std::string& rgb, int kind, const char* compression = nullptr) {
    SCOPED_TRACE(bmp);
    std::string bytes = slurp(bmp), ref = slurp(rgb);
    ASSERT_EQ(ref.size(), static_cast<size_t>(kW * kH * 3));
    if (compression) {
        bytes.replace(30, 4, compression, 4);
    }
    model::LineReader in;
    in.open_memory(bytes);
    images::Picture p;
    images::DecodeError error;
    ASSERT_TRUE(images::bmp_accepts(in.head()));
    ASSERT_TRUE(images::decode_bmp(in, p, error)) << error.message;
    ASSERT_EQ(p.width * 1000 + p.height, kW * 1000 + kH);
    if (kind >= 0) {
        EXPECT_EQ(p.palette_kind, kind);
    }
    int wrong = 0;
    for (int i = 0; i < kW * kH && wrong < 5; ++i) {
        const uint8_t* at = p.pixels.data() + static_cast<size_t>(i / kW) * p.row_bytes() + (p.bits / 8) * (i % kW);
        auto c = [&](int k) { return static_cast<uint32_t>(static_cast<uint8_t>(ref[3 * i + k])); };
        uint32_t want = c(0) << 16 | c(1) << 8 | c(2), got = at[0];
        if (p.bits == 24) {
            got = at[2] << 16 | at[1] << 8 | at[0];
            want &= compression ? 0xF8F8F8 : 0xFFFFFF;
        } else if (p.palette_kind == images::kPaletteSystem) {
            want = 20 + (c(2) * 6 >> 8) + 6 * (c(1) * 6 >> 8) + 36 * (c(0) * 6 >> 8);
        } else if (p.palette_kind == images::kPaletteOwn) {
            got = p.palette[at[0]];
        } else {
            want = (c(0) + c(1) + c(2)) / 3;
        }
        if (got != want) {
            ADD_FAILURE() << "pixel " << i % kW << "," << i / kW << " is " << std::hex << got << ", not " << want;
            ++wrong;
        }
    }
}

} // namespace

TEST(BmpPeers, NetpbmAndImageMagickFiles) {
    std::filesystem::create_directories(kDir);
    if (run("command -v ppmtobmp && command -v bmptopnm && command -v convert") != 0) {
        GTEST_SKIP() << "netpbm or ImageMagick is not installed";
    }
    source("c2.ppm", 2);
    source("c16.ppm", 16);
    source("c200.ppm", 200);
    const std::pair<const char*, int> netpbm[] = {{"1 c2", images::kPaletteGrey},
                                                  {"4 c16", images::kPaletteSystem},
                                                  {"8 c200", images::kPaletteOwn},
                                                  {"24 c200", images::kPaletteDirect}};
    for (auto [args, kind] : netpbm) {
        std::string bits(args, std::string(args).find(' ')), src = std::string(args).substr(bits.size() + 1);
        std::string bmp = "n" + bits + ".bmp";
        ASSERT_EQ(run("ppmtobmp -bpp=" + bits + " " + src + ".ppm >" + bmp + " && bmptopnm " + bmp +
                      " | convert - -depth 8 rgb:" + bmp + ".rgb"),
                  0);
        check(bmp, bmp + ".rgb", kind);
    }
    const std::string s = "-size 37x23 gradient:red-blue";
    const std::pair<std::string, int> magick[] = {
        {s + " -depth 8 -type TrueColor BMP3:", images::kPaletteDirect},
        {s + " -depth 8 -type TrueColor ", images::kPaletteDirect}, // the 124-byte header
        {"c200.ppm -depth 8 -colors 256 -type Palette -compress None BMP3:", images::kPaletteOwn},
        {"c200.ppm -depth 8 -colors 256 -type Palette BMP3:", images::kPaletteOwn}, // run-length coded
        {s + " -colorspace Gray -depth 8 -type Grayscale -compress None BMP3:", -1},
        {s + " +dither -colors 16 -type Palette -depth 4 BMP3:", images::kPaletteSystem},
        {s + " -monochrome -type Bilevel BMP3:", images::kPaletteGrey},
    };
    int n = 0;
    for (const auto& [args, kind] : magick) {
        std::string bmp = "m" + std::to_string(n++) + ".bmp";
        ASSERT_EQ(run("convert " + args + bmp + " && convert " + bmp + " -depth 8 rgb:" + bmp + ".rgb"), 0) << args;
        check(bmp, bmp + ".rgb", kind);
    }
    // 5-5-5 pixels come with bit masks (compression 3), which the recognition declines; with compression
    // 0 the same bytes are the plain 16-bit layout.  (Its BMP3 form of them is all black.)
    ASSERT_EQ(run("convert " + s + " -define bmp:subtype=RGB555 m16.bmp && convert m16.bmp -depth 8 rgb:m16.rgb"), 0);
    EXPECT_FALSE(images::bmp_accepts(slurp("m16.bmp")));
    check("m16.bmp", "m16.rgb", images::kPaletteDirect, "\0\0\0\0");
    std::filesystem::remove_all(kDir);
}
