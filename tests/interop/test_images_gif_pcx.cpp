// GIF and PCX files written by ImageMagick and netpbm decode to the pixels ImageMagick reads from them:
// GIF87a and GIF89a, interlaced, small and full palettes (a noisy picture fills the LZW table), PCX with
// one 8-bit plane and the tail palette, three 8-bit planes, and one 1-bit plane.
#include <fstream>
#include <sstream>

#include "gerbv_shell.h"
#include "images/lzw.h"
#include "images/picture.h"

namespace {

using namespace trazel;
using namespace trazel::images;

std::string slurp(const std::filesystem::path& p) {
    std::ifstream f(p, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

// The picture as red, green, blue bytes, row by row, width pixels a row.
std::string as_rgb(const Picture& p) {
    std::string rgb;
    for (int y = 0; y < p.height; ++y) {
        const uint8_t* row = p.pixels.data() + static_cast<size_t>(y) * p.row_bytes();
        for (int x = 0; x < p.width; ++x) {
            uint32_t c;
            if (p.bits == 24) {
                const uint8_t* px = row + 3 * x;
                c = (uint32_t{px[2]} << 16) | (uint32_t{px[1]} << 8) | px[0];
            } else if (p.palette_kind == kPaletteOwn) {
                c = p.palette[row[x]];
            } else {
                c = row[x] * 0x010101u;
            }
            rgb += static_cast<char>(c >> 16);
            rgb += static_cast<char>(c >> 8);
            rgb += static_cast<char>(c);
        }
    }
    return rgb;
}

struct Peer : ::testing::Test {
    void SetUp() override {
        if (!interop::have("convert")) {
            GTEST_SKIP() << "ImageMagick convert is not installed";
        }
    }
    // Makes `file` with `command` (run in the scratch folder), decodes it and compares with convert's
    // reading (or netpbm's, which differs for 1-bit PCX: ImageMagick shows a set bit as black whatever the
    // header colours say); returns the picture for further checks.
    Picture check(const interop::ScratchDir& dir, const std::string& command, const std::string& file, bool gif,
                  bool netpbm_reference = false) {
        Picture pic;
        const auto made = interop::run("(cd " + dir.path.string() + " && " + command + ")", dir.path);
        EXPECT_EQ(made.status, 0) << command << "\n" << made.err;
        const std::string bytes = slurp(dir.path / file);
        EXPECT_TRUE(gif ? gif_accepts(bytes) : pcx_accepts(bytes)) << file;
        model::LineReader in;
        in.open_memory(bytes);
        DecodeError err;
        const bool ok = gif ? decode_gif(in, pic, err) : decode_pcx(in, pic, err);
        EXPECT_TRUE(ok) << file << ": " << err.message;
        if (!ok) {
            return pic;
        }
        const std::string path = (dir.path / file).string();
        const auto ref = interop::run(netpbm_reference ? "(pcxtoppm " + path + " | convert ppm:- -depth 8 rgb:-)"
                                                       : "convert " + path + " -depth 8 rgb:-",
                                      dir.path);
        EXPECT_EQ(ref.status, 0) << ref.err;
        const std::string ours = as_rgb(pic);
        EXPECT_EQ(ours.size(), ref.out.size()) << file;
        EXPECT_TRUE(ours == ref.out) << file << ": pixels differ";
        return pic;
    }
};

using PeerGif = Peer;
using PeerLzw = Peer;
using PeerPcx = Peer;

TEST_F(PeerGif, ImageMagickAndNetpbmFilesDecodeToTheSamePixels) {
    interop::ScratchDir dir("trazel_gif_");
    const std::string grad = "convert -size 123x77 gradient:red-blue +dither";
    Picture p = check(dir, grad + " -colors 200 gif87:a.gif", "a.gif", true);
    EXPECT_EQ(p.row_length, 124);
    check(dir, grad + " -colors 4 gif:b.gif", "b.gif", true);
    check(dir, grad + " -colors 64 -interlace GIF c.gif", "c.gif", true);
    check(dir, "convert -size 212x157 xc: +noise Random -colors 256 +dither d.gif", "d.gif", true);
    check(dir, "convert -size 1x1 xc:green e.gif", "e.gif", true);
    if (interop::have("ppmtogif")) {
        const std::string ppm = "convert -size 90x61 gradient:yellow-navy -colors 100 +dither p.ppm && ";
        check(dir, ppm + "ppmtogif p.ppm > f.gif", "f.gif", true);
        check(dir, ppm + "ppmtogif -interlace p.ppm > g.gif", "g.gif", true);
    }
}

TEST_F(PeerPcx, ImageMagickAndNetpbmFilesDecodeToTheSamePixels) {
    interop::ScratchDir dir("trazel_pcx_");
    Picture p = check(dir, "convert -size 61x43 gradient:red-blue +dither -colors 100 a.pcx", "a.pcx", false);
    EXPECT_EQ(p.palette_kind, kPaletteOwn);
    EXPECT_EQ(p.row_length, 62);
    p = check(dir, "convert -size 61x43 gradient:red-blue -type TrueColor b.pcx", "b.pcx", false);
    EXPECT_EQ(p.bits, 24);
    if (interop::have("ppmtopcx") && interop::have("pcxtoppm")) {
        // ppmtopcx writes the size as the resolution, which must be equal both ways: square pictures.
        p = check(dir, "convert -size 50x50 gradient:red-blue -monochrome m.pbm && ppmtopcx m.pbm > c.pcx", "c.pcx",
                  false, true);
        EXPECT_EQ(p.palette_kind, kPaletteGrey);
        EXPECT_EQ(p.row_length, 56);
        p = check(dir, "convert -size 50x50 gradient:red-blue t.ppm && ppmtopcx -24bit t.ppm > d.pcx", "d.pcx", false);
        EXPECT_EQ(p.bits, 24);
        EXPECT_EQ(p.dpi, 50);
        check(dir, "convert -size 50x50 gradient:red-blue -colors 40 +dither t.ppm && ppmtopcx -8bit t.ppm > e.pcx",
              "e.pcx", false);
    }
}

// The single LZW strip of an RGB TIFF ImageMagick writes (little-endian), read by
// hand from its first directory: noise fills the table, so clears and every width change are met.
TEST_F(PeerLzw, ImageMagickTiffStripDecodes) {
    interop::ScratchDir dir("trazel_lzw_");
    const std::string file = (dir.path / "s.tif").string();
    ASSERT_EQ(interop::run("convert -size 150x80 xc: +noise Random -depth 8 -type TrueColor -compress LZW "
                           "-define tiff:rows-per-strip=80 -define tiff:endian=lsb " +
                               file,
                           dir.path)
                  .status,
              0);
    const std::string b = slurp(file);
    auto u16 = [&](size_t at) { return static_cast<uint32_t>(uint8_t(b[at]) | uint8_t(b[at + 1]) << 8); };
    auto u32 = [&](size_t at) { return u16(at) | u16(at + 2) << 16; };
    ASSERT_GT(b.size(), 8u);
    const size_t ifd = u32(4);
    uint32_t offset = 0, count = 0, compression = 0, predictor = 1;
    for (uint32_t i = 0; i < u16(ifd); ++i) {
        const size_t e = ifd + 2 + 12 * i;
        const uint32_t value = u16(e + 2) == 3 ? u16(e + 8) : u32(e + 8);
        if (u16(e) == 259) {
            compression = value;
        } else if (u16(e) == 273) {
            offset = value;
        } else if (u16(e) == 279) {
            count = value;
        } else if (u16(e) == 317) {
            predictor = value;
        }
    }
    ASSERT_EQ(compression, 5u);
    ASSERT_LE(size_t{offset} + count, b.size());
    std::vector<uint8_t> out(150 * 80 * 3);
    const LzwOutcome r =
        decode_lzw_tiff(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(b.data()) + offset, count), out);
    EXPECT_TRUE(r.error.empty()) << r.error;
    EXPECT_EQ(r.produced, out.size());
    const auto ref = interop::run("convert " + file + " -depth 8 rgb:-", dir.path);
    if (predictor == 2) { // ImageMagick writes horizontal differences
        for (size_t i = 3; i < out.size(); ++i) {
            if (i % (150 * 3) >= 3) {
                out[i] = static_cast<uint8_t>(out[i] + out[i - 3]);
            }
        }
    }
    EXPECT_TRUE(ref.out == std::string(out.begin(), out.end()));
}

} // namespace
