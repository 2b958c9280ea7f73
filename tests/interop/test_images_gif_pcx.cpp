// GIF and PCX files written by ImageMagick and netpbm decode to the pixels ImageMagick reads from them:
// GIF87a and GIF89a, interlaced, small and full palettes (a noisy picture fills the LZW table), PCX with
// one 8-bit plane and the tail palette, three 8-bit planes, and one 1-bit plane; and a noisy LZW TIFF strip,
// whose table fills and clears.
#include "gerbv_shell.h"
#include "images/picture_kit.h"

namespace {

using namespace trazel;
using namespace trazel::images;

struct Peer : ::testing::Test {
    interop::ScratchDir dir{"trazel_gif_pcx_"};
    void SetUp() override {
        if (!interop::have("convert")) {
            GTEST_SKIP() << "ImageMagick convert is not installed";
        }
    }
    // Makes `file` with `command` (run in the scratch folder), decodes it and compares with convert's
    // reading (or netpbm's, which differs for 1-bit PCX: ImageMagick shows a set bit as black whatever the
    // header colours say); returns the picture for further checks.
    template <class Accepts, class Decoder>
    Picture check(const std::string& command, const std::string& file, Accepts accepts, Decoder decoder,
                  bool netpbm_reference = false) {
        const auto made = interop::run("(cd " + dir.path.string() + " && " + command + ")", dir.path);
        EXPECT_EQ(made.status, 0) << command << "\n" << made.err;
        const std::string path = (dir.path / file).string(), bytes = picture_kit::slurp_file(path);
        EXPECT_TRUE(accepts(bytes)) << file;
        picture_kit::Decoded d = picture_kit::decode_with(decoder, bytes);
        EXPECT_TRUE(d.ok) << file << ": " << d.message;
        const auto ref = interop::run(netpbm_reference ? "(pcxtoppm " + path + " | convert ppm:- -depth 8 rgb:-)"
                                                       : "convert " + path + " -depth 8 rgb:-",
                                      dir.path);
        EXPECT_EQ(ref.status, 0) << ref.err;
        EXPECT_TRUE(d.ok && picture_kit::as_rgb(d.p) == ref.out) << file << ": pixels differ";
        return d.p;
    }
    Picture gif(const std::string& command, const std::string& file) {
        return check(command, file, gif_accepts, decode_gif);
    }
    Picture pcx(const std::string& command, const std::string& file, bool netpbm_reference = false) {
        return check(command, file, pcx_accepts, decode_pcx, netpbm_reference);
    }
};

TEST_F(Peer, GifFromImageMagickAndNetpbm) {
    const std::string grad = "convert -size 123x77 gradient:red-blue +dither";
    EXPECT_EQ(gif(grad + " -colors 200 gif87:a.gif", "a.gif").row_length, 124);
    gif(grad + " -colors 4 gif:b.gif", "b.gif");
    gif(grad + " -colors 64 -interlace GIF c.gif", "c.gif");
    gif("convert -size 212x157 xc: +noise Random -colors 256 +dither d.gif", "d.gif");
    if (interop::have("ppmtogif")) {
        gif("convert -size 90x61 gradient:yellow-navy -colors 100 +dither p.ppm && ppmtogif -interlace p.ppm > g.gif",
            "g.gif");
    }
}

TEST_F(Peer, PcxFromImageMagickAndNetpbm) {
    Picture p = pcx("convert -size 61x43 gradient:red-blue +dither -colors 100 a.pcx", "a.pcx");
    EXPECT_EQ(p.palette_kind * 1000 + p.row_length, kPaletteOwn * 1000 + 62);
    EXPECT_EQ(pcx("convert -size 61x43 gradient:red-blue -type TrueColor b.pcx", "b.pcx").bits, 24);
    if (interop::have("ppmtopcx") && interop::have("pcxtoppm")) {
        // ppmtopcx writes the size as the resolution, which must be equal both ways: square pictures.
        p = pcx("convert -size 50x50 gradient:red-blue -monochrome m.pbm && ppmtopcx m.pbm > c.pcx", "c.pcx", true);
        EXPECT_EQ(p.palette_kind * 1000 + p.row_length, kPaletteGrey * 1000 + 56);
        p = pcx("convert -size 50x50 gradient:red-blue t.ppm && ppmtopcx -24bit t.ppm > d.pcx", "d.pcx");
        EXPECT_EQ(p.bits * 1000 + p.dpi, 24 * 1000 + 50);
        pcx("convert -size 50x50 gradient:red-blue -colors 40 +dither t.ppm && ppmtopcx -8bit t.ppm > e.pcx", "e.pcx");
    }
}

// Noise fills the TIFF LZW table, so clears and every width change are met.
TEST_F(Peer, LzwTiffStripFilledWithNoise) {
    check("convert -size 150x80 xc: +noise Random -depth 8 -type TrueColor -compress LZW "
          "-define tiff:rows-per-strip=80 s.tif",
          "s.tif", tiff_accepts, decode_tiff);
}

} // namespace
