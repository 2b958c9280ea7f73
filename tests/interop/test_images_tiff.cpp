// TIFFs that ImageMagick writes, in each compression and layout it offers, decode to the pixels that
// ImageMagick itself reads back from them.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "images/picture.h"

namespace {

namespace fs = std::filesystem;
using namespace trazel::images;

std::string run(const std::string& cmd) {
    std::FILE* f = popen(cmd.c_str(), "r");
    std::string out;
    char buf[65536];
    for (size_t n; f != nullptr && (n = std::fread(buf, 1, sizeof buf, f)) > 0;) {
        out.append(buf, n);
    }
    if (f != nullptr) {
        pclose(f);
    }
    return out;
}

class TiffMagick : public ::testing::Test {
  protected:
    void SetUp() override {
        if (std::system("convert -version >/dev/null 2>&1") != 0) {
            GTEST_SKIP() << "ImageMagick convert is not installed";
        }
        dir_ = fs::temp_directory_path() / ("trazel_tiff_" + std::to_string(getpid()));
        fs::create_directories(dir_);
        // An uneven size, so that rows and tiles do not end on round numbers.
        std::system(("convert -size 37x23 -seed 7 plasma:fractal '" + (dir_ / "src.png").string() + "'").c_str());
    }
    void TearDown() override {
        if (!dir_.empty()) {
            fs::remove_all(dir_);
        }
    }
    // Writes the source through `options` into a TIFF and decodes it with our reader.
    std::string make(const std::string& options, Picture& pic) {
        std::string file = (dir_ / "t.tif").string();
        std::system(("convert '" + (dir_ / "src.png").string() + "' -depth 8 " + options + " '" + file + "'").c_str());
        trazel::model::LineReader in;
        std::string why;
        EXPECT_TRUE(in.open_file(file, &why)) << why;
        DecodeError e;
        EXPECT_TRUE(decode_tiff(in, pic, e)) << options << ": " << e.message;
        return file;
    }
    // Our picture as packed red, green, blue bytes (palette and grey expanded), width x height.
    static std::string as_rgb(const Picture& p) {
        std::string s;
        for (int y = 0; y < p.height; ++y) {
            const uint8_t* row = p.pixels.data() + static_cast<size_t>(y) * p.row_bytes();
            for (int x = 0; x < p.width; ++x) {
                uint32_t c = p.bits == 24 ? uint32_t{row[3 * x + 2]} << 16 | uint32_t{row[3 * x + 1]} << 8 | row[3 * x]
                             : p.palette_kind == kPaletteOwn ? p.palette[row[x]]
                                                             : uint32_t{row[x]} * 0x010101u;
                s += static_cast<char>(c >> 16);
                s += static_cast<char>(c >> 8);
                s += static_cast<char>(c);
            }
        }
        return s;
    }
    static int differences(const std::string& a, const std::string& b, int tolerance) {
        if (a.size() != b.size()) {
            return -1;
        }
        int n = 0;
        for (size_t i = 0; i < a.size(); ++i) {
            n += std::abs(static_cast<uint8_t>(a[i]) - static_cast<uint8_t>(b[i])) > tolerance;
        }
        return n;
    }
    void expect_rgb(const std::string& options, int tolerance = 0) {
        Picture pic;
        std::string file = make(options, pic);
        ASSERT_EQ(pic.width, 37);
        ASSERT_EQ(pic.height, 23);
        std::string want = run("convert '" + file + "' -depth 8 rgb:-");
        EXPECT_EQ(differences(as_rgb(pic), want, tolerance), 0) << options;
    }
    fs::path dir_;
};

TEST_F(TiffMagick, ColourInEveryCompressionAndLayout) {
    for (const char* options :
         {"-compress None", "-compress LZW", "-compress Zip", "-compress RLE", "-compress LZW -define tiff:predictor=2",
          "-compress Zip -define tiff:predictor=2", "-compress LZW -define tiff:tile-geometry=16x16",
          "-compress None -interlace plane", "-compress Zip -interlace plane -define tiff:predictor=2",
          "-compress LZW -endian MSB", "-colorspace CMYK -compress LZW",
          "-alpha set -channel A -evaluate set 50% +channel -compress LZW"}) {
        expect_rgb(options);
    }
    // ImageMagick cuts 16-bit ColorMap entries to 8 bits (v / 257 rounded down); we round them.
    expect_rgb("-type Palette -compress LZW", 1);
    expect_rgb("-type Palette -compress None -colors 16", 1);
    // 16 bits per sample are shown scaled to 8, within rounding.
    expect_rgb("-depth 16 -compress LZW -define tiff:predictor=2", 1);
}

TEST_F(TiffMagick, GreyAndBilevel) {
    for (const char* options :
         {"-colorspace Gray -compress None", "-colorspace Gray -compress LZW -define tiff:predictor=2",
          "-colorspace Gray -depth 4 -compress None", "-colorspace Gray -compress Zip -define tiff:tile-geometry=16x16",
          "-monochrome -compress None", "-monochrome -compress Group4", "-monochrome -compress Fax",
          "-monochrome -compress RLE", "-monochrome -compress Group4 -define tiff:fill-order=lsb"}) {
        expect_rgb(options);
    }
}

// ImageMagick writes only 1-D T.4 and T.6; Pillow (through libtiff) also writes modified Huffman and
// 2-D T.4 with byte-aligned EOLs.  Black is zero in its files, the reverse of ImageMagick's.
TEST_F(TiffMagick, FaxCodingsPillowWrites) {
    if (std::system("/usr/bin/python3 -c 'import PIL' 2>/dev/null") != 0) {
        GTEST_SKIP() << "Pillow is not installed";
    }
    std::string d = dir_.string();
    ASSERT_EQ(std::system(("cd '" + d +
                           "' && /usr/bin/python3 - <<'EOF'\n"
                           "from PIL import Image, TiffImagePlugin\n"
                           "im = Image.open('src.png').convert('1')\n"
                           "TiffImagePlugin.WRITE_LIBTIFF = True\n"
                           "d = TiffImagePlugin.ImageFileDirectory_v2()\n"
                           "d[292] = 5\n"
                           "im.save('mh.tif', compression='tiff_ccitt')\n"
                           "im.save('g3.tif', compression='group3')\n"
                           "im.save('g3_2d.tif', compression='group3', tiffinfo=d)\n"
                           "EOF")
                              .c_str()),
              0);
    for (const char* name : {"mh.tif", "g3.tif", "g3_2d.tif"}) {
        std::string file = (dir_ / name).string();
        trazel::model::LineReader in;
        ASSERT_TRUE(in.open_file(file));
        Picture pic;
        DecodeError e;
        ASSERT_TRUE(decode_tiff(in, pic, e)) << name << ": " << e.message;
        std::string want = run("convert '" + file + "' -depth 8 rgb:-");
        EXPECT_EQ(differences(as_rgb(pic), want, 0), 0) << name;
    }
}

TEST_F(TiffMagick, SixteenBitGreyKeepsItsValues) {
    for (const char* options :
         {"-colorspace Gray -depth 16 -compress None", "-colorspace Gray -depth 16 -compress Zip -endian MSB",
          "-colorspace Gray -depth 16 -compress LZW -define tiff:predictor=2"}) {
        Picture pic;
        std::string file = make(options, pic);
        ASSERT_EQ(pic.bits, 16) << options;
        std::string want = run("convert '" + file + "' -depth 16 -endian LSB gray:-");
        ASSERT_EQ(want.size(), size_t{37} * 23 * 2);
        std::string got;
        for (int y = 0; y < pic.height; ++y) {
            got.append(reinterpret_cast<const char*>(pic.pixels.data()) + y * pic.row_bytes(), 37 * 2);
        }
        EXPECT_EQ(got, want) << options;
    }
}

} // namespace
