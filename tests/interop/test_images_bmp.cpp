// BMP files written by netpbm and ImageMagick decode to the pixels the reference decoders give: 24 and
// 8 bits exactly, 4 bits through the colour cube, 1 bit as the mean level, 16 bits as 5-bit channels x 8.
#include "gerbv_shell.h"
#include "images/picture_kit.h"

namespace {

using namespace trazel;
constexpr int kW = 37, kH = 23; // odd sizes: every row is padded

struct BmpPeers : ::testing::Test {
    interop::ScratchDir dir{"trazel_bmp_"};
    int run(const std::string& cmd) {
        return interop::run("(cd " + dir.path.string() + " && " + cmd + ")", dir.path).status;
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
        std::ofstream(dir.path / name, std::ios::binary) << s;
    }
    // `bmp` (with its compression field replaced by `compression` when given) against the reference
    // decoder's red, green, blue bytes in `bmp`.rgb.
    void check(const std::string& bmp, int kind, const char* compression = nullptr) {
        SCOPED_TRACE(bmp);
        std::string bytes = picture_kit::slurp_file(dir.path / bmp),
                    ref = picture_kit::slurp_file(dir.path / (bmp + ".rgb"));
        ASSERT_EQ(ref.size(), static_cast<size_t>(kW * kH * 3));
        if (compression) {
            bytes.replace(30, 4, compression, 4);
        }
        ASSERT_TRUE(images::bmp_accepts(bytes));
        picture_kit::Decoded d = picture_kit::decode_with(images::decode_bmp, bytes);
        ASSERT_TRUE(d.ok) << d.message;
        ASSERT_EQ(d.p.width * 1000 + d.p.height, kW * 1000 + kH);
        if (kind >= 0) {
            EXPECT_EQ(d.p.palette_kind, kind);
        }
        int wrong = 0;
        for (int i = 0; i < kW * kH && wrong < 5; ++i) {
            auto c = [&](int k) { return static_cast<uint32_t>(static_cast<uint8_t>(ref[3 * i + k])); };
            uint32_t want = c(0) << 16 | c(1) << 8 | c(2), got = d.px(i % kW, i / kW);
            if (d.p.bits == 24) {
                got = d.rgb(i % kW, i / kW);
                want &= compression ? 0xF8F8F8 : 0xFFFFFF;
            } else if (d.p.palette_kind == images::kPaletteSystem) {
                want = 20 + (c(2) * 6 >> 8) + 6 * (c(1) * 6 >> 8) + 36 * (c(0) * 6 >> 8);
            } else if (d.p.palette_kind == images::kPaletteOwn) {
                got = d.p.palette[got];
            } else {
                want = (c(0) + c(1) + c(2)) / 3;
            }
            if (got != want) {
                ADD_FAILURE() << "pixel " << i % kW << "," << i / kW << " is " << std::hex << got << ", not " << want;
                ++wrong;
            }
        }
    }
};

TEST_F(BmpPeers, NetpbmAndImageMagickFiles) {
    if (!interop::have("ppmtobmp") || !interop::have("bmptopnm") || !interop::have("convert")) {
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
        check(bmp, kind);
    }
    const std::string s = "-size 37x23 gradient:red-blue";
    const std::pair<std::string, int> magick[] = {
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
        check(bmp, kind);
    }
    // 5-5-5 pixels come with bit masks (compression 3), which the recognition declines; with compression
    // 0 the same bytes are the plain 16-bit layout.  (Its BMP3 form of them is all black.)
    ASSERT_EQ(run("convert " + s + " -define bmp:subtype=RGB555 m16.bmp && convert m16.bmp -depth 8 rgb:m16.bmp.rgb"),
              0);
    EXPECT_FALSE(images::bmp_accepts(picture_kit::slurp_file(dir.path / "m16.bmp")));
    check("m16.bmp", images::kPaletteDirect, "\0\0\0\0");
}

} // namespace
