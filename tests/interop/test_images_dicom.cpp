// DICOM files written by dcmtk (img2dcm from a BMP, dump2dcm from text dumps, dcmconv for every
// transfer syntax and for files without preamble and meta group) decode to the pixels dcm2pnm gives.
// dcm2pnm's values for MONOCHROME1, rescaled data and 16-bit palette entries are one step off ours at
// places (it scales them through floating point): those compare within one step.
#include <cstdio>
#include <sstream>

#include "gerbv_shell.h"
#include "images/picture_kit.h"

namespace {

using namespace trazel;
constexpr int kW = 37, kH = 23; // odd sizes: odd-length values are padded

struct DicomPeers : ::testing::Test {
    interop::ScratchDir dir{"trazel_dicom_"};
    void SetUp() override {
        for (const char* tool : {"img2dcm", "dcmconv", "dump2dcm", "dcm2pnm", "convert"}) {
            if (!interop::have(tool)) {
                GTEST_SKIP() << "dcmtk or ImageMagick is not installed";
            }
        }
    }
    int run(const std::string& cmd) {
        return interop::run("(cd " + dir.path.string() + " && " + cmd + ")", dir.path).status;
    }
    std::string slurp(const std::string& name) {
        return picture_kit::slurp_file(dir.path / name);
    }
    // The samples of a PNM file: ASCII (P2, P3) or 8-bit binary (P5, P6).
    std::vector<int> pnm(const std::string& name) {
        std::string s = slurp(name);
        std::istringstream in(s);
        std::string magic;
        int w = 0, h = 0, maxval = 0;
        in >> magic >> w >> h >> maxval;
        EXPECT_EQ(w * 1000 + h, kW * 1000 + kH) << name;
        size_t n = static_cast<size_t>(w * h * (magic == "P3" || magic == "P6" ? 3 : 1));
        std::vector<int> v;
        if (magic == "P2" || magic == "P3") {
            for (int x; v.size() < n && in >> x;) {
                v.push_back(x);
            }
        } else {
            size_t at = static_cast<size_t>(in.tellg()) + 1;
            for (size_t i = 0; i < n && at + i < s.size(); ++i) {
                v.push_back(static_cast<unsigned char>(s[at + i]));
            }
        }
        return v;
    }
    // Our decoding of a file: grey values, or red, green, blue per pixel.
    std::vector<int> ours(const std::string& name) {
        std::string bytes = slurp(name);
        EXPECT_TRUE(images::dicom_accepts(bytes)) << name;
        picture_kit::Decoded d = picture_kit::decode_with(images::decode_dicom, bytes);
        EXPECT_TRUE(d.ok) << name << ": " << d.message;
        EXPECT_EQ(d.p.width * 1000 + d.p.height, kW * 1000 + kH) << name;
        if (d.p.bits != 24 && d.p.palette_kind != images::kPaletteOwn) {
            return d.values();
        }
        std::string rgb = picture_kit::as_rgb(d.p);
        return std::vector<int>(reinterpret_cast<const uint8_t*>(rgb.data()),
                                reinterpret_cast<const uint8_t*>(rgb.data()) + rgb.size());
    }
    // `base` and its rewrites in the other transfer syntaxes and without preamble and meta group, each
    // against the reference decoding `ref`, sample by sample within `slack`.
    void check_variants(const std::string& base, const std::string& ref, int slack) {
        ASSERT_EQ(run("dcmconv -e +ti " + base + " i-" + base + " && dcmconv -e +tb " + base + " b-" + base +
                      " && dcmconv -e +td " + base + " d-" + base + " && dcmconv -e -F +g +ti " + base + " ni-" + base +
                      " && dcmconv -e -F +g +te " + base + " ne-" + base),
                  0);
        std::vector<int> want = pnm(ref);
        ASSERT_EQ(want.size() % (kW * kH), 0u);
        for (const char* prefix : {"", "i-", "b-", "d-", "ni-", "ne-"}) {
            SCOPED_TRACE(prefix + base);
            std::vector<int> got = ours(prefix + base);
            ASSERT_EQ(got.size(), want.size());
            int wrong = 0;
            for (size_t i = 0; i < got.size() && wrong < 5; ++i) {
                if (std::abs(got[i] - want[i]) > slack) {
                    ADD_FAILURE() << "sample " << i << ": ours " << got[i] << ", reference " << want[i];
                    ++wrong;
                }
            }
        }
    }
    // A text dump of a picture for dump2dcm: the module lines, then the pixels as hex words or bytes.
    void dump(const std::string& name, const std::string& module, const std::vector<int>& data, bool words) {
        std::string s = "(0008,0016) UI =SecondaryCaptureImageStorage\n"
                        "(0008,0018) UI [1.2.826.0.1.3680043.2.1143.7]\n" +
                        module + "(7fe0,0010) " + (words ? "OW " : "OB ");
        char hex[8];
        for (size_t i = 0; i < data.size(); ++i) {
            std::snprintf(hex, sizeof hex, words ? "%04x" : "%02x",
                          static_cast<unsigned>(data[i]) & (words ? 0xFFFFu : 0xFFu));
            s += (i ? "\\" : "") + std::string(hex);
        }
        std::ofstream(dir.path / (name + ".dump")) << s << "\n";
        ASSERT_EQ(run("dump2dcm +l 1000000 " + name + ".dump " + name), 0) << name;
    }
};

std::string grey_module(const char* photometric, int allocated, int stored, int sign, const std::string& extra = "") {
    return "(0028,0002) US 1\n(0028,0004) CS [" + std::string(photometric) + "]\n(0028,0010) US " + std::to_string(kH) +
           "\n(0028,0011) US " + std::to_string(kW) + "\n(0028,0100) US " + std::to_string(allocated) +
           "\n(0028,0101) US " + std::to_string(stored) + "\n(0028,0102) US " + std::to_string(stored - 1) +
           "\n(0028,0103) US " + std::to_string(sign) + "\n" + extra;
}

// Values from 0 to `top` (both present) over the picture.
std::vector<int> pattern(int top, int step = 1) {
    std::vector<int> v(kW * kH);
    for (int i = 0; i < kW * kH; ++i) {
        int x = i % kW, y = i / kW;
        v[i] = i == 0 ? 0 : i == kW * kH - 1 ? top : (x * 997 + y * 6151 + x * y * 13) * step % (top + 1);
    }
    return v;
}

} // namespace

TEST_F(DicomPeers, ColourFromImg2dcmInEverySyntax) {
    std::string ppm = "P6\n37 23\n255\n";
    for (int v : pattern(255 * 255)) {
        ppm += std::string{static_cast<char>(v & 255), static_cast<char>(v >> 8), static_cast<char>(v * 7)};
    }
    std::ofstream(dir.path / "c.ppm", std::ios::binary) << ppm;
    ASSERT_EQ(
        run("convert c.ppm -type TrueColor BMP3:c.bmp && img2dcm -i BMP c.bmp c.dcm && dcm2pnm +op c.dcm c-ref.ppm"),
        0);
    check_variants("c.dcm", "c-ref.ppm", 0);

    // Planar configuration 1: one plane per colour.
    std::vector<int> planes;
    std::vector<int> grey = pattern(255);
    for (int c = 0; c < 3; ++c) {
        for (int v : grey) {
            planes.push_back((v + 85 * c) & 255);
        }
    }
    dump("p.dcm",
         "(0028,0002) US 3\n(0028,0004) CS [RGB]\n(0028,0006) US 1\n(0028,0010) US 23\n(0028,0011) US 37\n"
         "(0028,0100) US 8\n(0028,0101) US 8\n(0028,0102) US 7\n(0028,0103) US 0\n",
         planes, false);
    ASSERT_EQ(run("dcm2pnm +op p.dcm p-ref.ppm"), 0);
    check_variants("p.dcm", "p-ref.ppm", 0);

    // JPEG inside DICOM is named, not read; dcmdjpeg's decompressions are, as RGB and as YBR_FULL
    // planes.  We turn YBR_FULL into RGB with the standard's constants, rounded; dcm2pnm's own
    // conversion lands up to two steps away.
    ASSERT_EQ(
        run("convert c.ppm j.jpg && img2dcm -i JPEG j.jpg j.dcm && dcmdjpeg +ca j.dcm rgb.dcm && "
            "dcmdjpeg +cn +pl j.dcm ybr.dcm && dcm2pnm +op rgb.dcm rgb-ref.ppm && dcm2pnm +op ybr.dcm ybr-ref.ppm"),
        0);
    EXPECT_EQ(picture_kit::decode_with(images::decode_dicom, slurp("j.dcm")).message,
              "JPEG Baseline-compressed DICOM is not read");
    check_variants("rgb.dcm", "rgb-ref.ppm", 0);
    check_variants("ybr.dcm", "ybr-ref.ppm", 2);
}

TEST_F(DicomPeers, GreyFromDumpsInEverySyntax) {
    // 12 stored bits with junk above the high bit; MONOCHROME2 and MONOCHROME1.
    std::vector<int> data = pattern(4095);
    for (size_t i = 0; i < data.size(); i += 3) {
        data[i] |= 0xA000;
    }
    dump("m2.dcm", grey_module("MONOCHROME2", 16, 12, 0), data, true);
    dump("m1.dcm", grey_module("MONOCHROME1", 16, 12, 0), data, true);
    ASSERT_EQ(run("dcm2pnm +opn 12 m2.dcm m2-ref.pgm && dcm2pnm +opn 12 m1.dcm m1-ref.pgm"), 0);
    check_variants("m2.dcm", "m2-ref.pgm", 0);
    check_variants("m1.dcm", "m1-ref.pgm", 1);

    // Signed 16 bits with a rescale: the reference spreads the whole modality range over 16 bits.
    dump("s.dcm", grey_module("MONOCHROME2", 16, 16, 1, "(0028,1052) DS [-1024]\n(0028,1053) DS [1]\n"),
         pattern(65535, 31), true);
    ASSERT_EQ(run("dcm2pnm +opn 16 s.dcm s-ref.pgm"), 0);
    check_variants("s.dcm", "s-ref.pgm", 1);

    // 8 bits, two frames: the first is shown.
    std::vector<int> frames = pattern(255);
    for (int v : pattern(255)) {
        frames.push_back(255 - v);
    }
    dump("g8.dcm", grey_module("MONOCHROME2", 8, 8, 0, "(0028,0008) IS [2]\n"), frames, false);
    ASSERT_EQ(run("dcm2pnm +op g8.dcm g8-ref.pgm"), 0);
    check_variants("g8.dcm", "g8-ref.pgm", 0);
}

TEST_F(DicomPeers, PaletteColourBehindNestedSequences) {
    // 256 entries of 16 bits, and an icon picture two sequences deep, written with undefined lengths.
    std::string lut[3];
    for (int c = 0; c < 3; ++c) {
        for (int i = 0; i < 256; ++i) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "%04x", (i * (c * 2 + 3) * 257 + c * 4000) & 0xFFFF);
            lut[c] += (i ? "\\" : "") + std::string(hex);
        }
    }
    std::string module = grey_module("PALETTE COLOR", 8, 8, 0);
    for (int c = 0; c < 3; ++c) {
        module += "(0028,110" + std::to_string(c + 1) + ") US 256\\0\\16\n";
    }
    for (int c = 0; c < 3; ++c) {
        module += "(0028,120" + std::to_string(c + 1) + ") OW " + lut[c] + "\n";
    }
    module += "(0088,0200) SQ (Sequence with undefined length)\n(fffe,e000) na (Item with undefined length)\n"
              "(0040,a730) SQ (Sequence with undefined length)\n(fffe,e000) na (Item with undefined length)\n"
              "(0028,0010) US 1\n(0028,0011) US 1\n(7fe0,0010) OB 07\\00\n(fffe,e00d) na (ItemDelimitationItem)\n"
              "(fffe,e0dd) na (SequenceDelimitationItem)\n(fffe,e00d) na (ItemDelimitationItem)\n"
              "(fffe,e0dd) na (SequenceDelimitationItem)\n";
    dump("pal0.dcm", module, pattern(255), false);
    ASSERT_EQ(run("dcmconv -e pal0.dcm pal.dcm && dcm2pnm +op pal.dcm pal-ref.ppm"), 0);
    check_variants("pal.dcm", "pal-ref.ppm", 1);
}
