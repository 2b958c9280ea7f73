// TIFFs that ImageMagick (and Pillow, for the fax codings) write, in each compression and layout they
// offer, decode to the pixels that ImageMagick itself reads back from them.
#include <algorithm>

#include "gerbv_shell.h"
#include "images/picture_kit.h"

namespace {

using namespace trazel::images;

class TiffMagick : public ::testing::Test {
  protected:
    interop::ScratchDir dir{"trazel_tiff_"};
    void SetUp() override {
        if (!interop::have("convert")) {
            GTEST_SKIP() << "ImageMagick convert is not installed";
        }
        // An uneven size, so that rows and tiles do not end on round numbers.
        shell("convert -size 37x23 -seed 7 plasma:fractal src.png");
    }
    interop::Shell shell(const std::string& cmd) {
        return interop::run("(cd '" + dir.path.string() + "' && " + cmd + ")", dir.path);
    }
    // Our decoding of `name` against convert's reading as `format` ("rgb" or 16-bit "gray"), byte by byte
    // within `tolerance`.
    void expect_same(const std::string& name, int tolerance = 0, const char* format = "rgb") {
        picture_kit::Decoded d = picture_kit::decode_with(decode_tiff, picture_kit::slurp_file(dir.path / name));
        ASSERT_TRUE(d.ok) << name << ": " << d.message;
        ASSERT_EQ(d.p.width * 1000 + d.p.height, 37 * 1000 + 23) << name;
        std::string got = picture_kit::as_rgb(d.p);
        if (std::string(format) == "gray") {
            ASSERT_EQ(d.p.bits, 16) << name;
            got.clear();
            for (int y = 0; y < d.p.height; ++y) {
                got.append(reinterpret_cast<const char*>(d.at(0, y)), 37 * 2);
            }
        }
        const std::string want =
            shell("convert " + name + " -depth " + (tolerance < 0 ? "16 -endian LSB " : "8 ") + format + ":-").out;
        ASSERT_EQ(got.size(), want.size()) << name;
        int wrong = 0;
        for (size_t i = 0; i < got.size(); ++i) {
            wrong += std::abs(static_cast<uint8_t>(got[i]) - static_cast<uint8_t>(want[i])) > std::max(tolerance, 0);
        }
        EXPECT_EQ(wrong, 0) << name;
    }
    void expect_rgb(const std::string& options, int tolerance = 0) {
        ASSERT_EQ(shell("convert src.png -depth 8 " + options + " t.tif").status, 0) << options;
        SCOPED_TRACE(options);
        expect_same("t.tif", tolerance);
    }
};

TEST_F(TiffMagick, ColourGreyAndBilevelInEveryCompressionAndLayout) {
    for (const char* options : {"-compress None",
                                "-compress LZW",
                                "-compress Zip",
                                "-compress RLE",
                                "-compress LZW -define tiff:predictor=2",
                                "-compress Zip -define tiff:predictor=2",
                                "-compress LZW -define tiff:tile-geometry=16x16",
                                "-compress None -interlace plane",
                                "-compress Zip -interlace plane -define tiff:predictor=2",
                                "-compress LZW -endian MSB",
                                "-colorspace CMYK -compress LZW",
                                "-alpha set -channel A -evaluate set 50% +channel -compress LZW",
                                "-colorspace Gray -compress None",
                                "-colorspace Gray -compress LZW -define tiff:predictor=2",
                                "-colorspace Gray -depth 4 -compress None",
                                "-colorspace Gray -compress Zip -define tiff:tile-geometry=16x16",
                                "-monochrome -compress None",
                                "-monochrome -compress Group4",
                                "-monochrome -compress Fax",
                                "-monochrome -compress RLE",
                                "-monochrome -compress Group4 -define tiff:fill-order=lsb"}) {
        expect_rgb(options);
    }
    // ImageMagick cuts 16-bit ColorMap entries to 8 bits (v / 257 rounded down); we round them.
    expect_rgb("-type Palette -compress LZW", 1);
    expect_rgb("-type Palette -compress None -colors 16", 1);
    // 16 bits per sample are shown scaled to 8, within rounding.
    expect_rgb("-depth 16 -compress LZW -define tiff:predictor=2", 1);
}

TEST_F(TiffMagick, SixteenBitGreyKeepsItsValues) {
    for (const char* options :
         {"-compress None", "-compress Zip -endian MSB", "-compress LZW -define tiff:predictor=2"}) {
        ASSERT_EQ(shell(std::string("convert src.png -colorspace Gray -depth 16 ") + options + " g.tif").status, 0);
        SCOPED_TRACE(options);
        expect_same("g.tif", -1, "gray");
    }
}

// ImageMagick writes only 1-D T.4 and T.6; Pillow (through libtiff) also writes modified Huffman and
// 2-D T.4 with byte-aligned EOLs.  Black is zero in its files, the reverse of ImageMagick's.
TEST_F(TiffMagick, FaxCodingsPillowWrites) {
    if (std::system("/usr/bin/python3 -c 'import PIL' 2>/dev/null") != 0) {
        GTEST_SKIP() << "Pillow is not installed";
    }
    ASSERT_EQ(shell("/usr/bin/python3 - <<'EOF'\n"
                    "from PIL import Image, TiffImagePlugin\n"
                    "im = Image.open('src.png').convert('1')\n"
                    "TiffImagePlugin.WRITE_LIBTIFF = True\n"
                    "d = TiffImagePlugin.ImageFileDirectory_v2()\n"
                    "d[292] = 5\n"
                    "im.save('mh.tif', compression='tiff_ccitt')\n"
                    "im.save('g3.tif', compression='group3')\n"
                    "im.save('g3_2d.tif', compression='group3', tiffinfo=d)\n"
                    "EOF\n")
                  .status,
              0);
    for (const char* name : {"mh.tif", "g3.tif", "g3_2d.tif"}) {
        expect_same(name);
    }
}

} // namespace
