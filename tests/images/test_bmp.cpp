// The BMP decoder on hand-made files, and the reader rows of the chooser around it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "images/block.h"
#include "images/picture_kit.h"
#include "images/readers.h"
#include "model/chooser.h"
#include "platform/headless.h"

using namespace trazel;
using namespace trazel::images;
using namespace picture_kit;

namespace {

Decoded decode(const std::string& bytes) {
    return decode_with(decode_bmp, bytes);
}

Bmp with(int32_t w, int32_t h, int bits, std::vector<uint32_t> palette, std::string data) {
    Bmp b;
    b.width = w, b.height = h, b.bits = bits, b.palette = std::move(palette), b.data = std::move(data);
    return b;
}

// Stored rows of an 8-bit picture as "a,b,c|d,e,f", top first.
std::string rows(const Decoded& d) {
    std::string s;
    for (int y = 0; y < d.p.height; ++y) {
        for (int x = 0; x < d.p.width; ++x) {
            s += (x ? "," : y ? "|" : "") + std::to_string(d.px(x, y));
        }
    }
    return s;
}

} // namespace

TEST(BmpDecode, Recognition) {
    Bmp b = with(1, 1, 8, grey_ramp(), std::string(4, '\0'));
    EXPECT_TRUE(bmp_accepts(b.bytes()));
    auto accepts = [&](auto change) {
        Bmp v = b;
        change(v);
        return bmp_accepts(v.bytes());
    };
    EXPECT_FALSE(accepts([](Bmp& v) { v.info = 39; }));
    EXPECT_FALSE(accepts([](Bmp& v) { v.info = 257; }));
    EXPECT_TRUE(accepts([](Bmp& v) { v.info = 124; }));
    EXPECT_FALSE(accepts([](Bmp& v) { v.planes = 2; }));
    EXPECT_FALSE(accepts([](Bmp& v) { v.bits = 32; }));
    EXPECT_TRUE(accepts([](Bmp& v) { v.compression = 1; }));
    EXPECT_FALSE(accepts([](Bmp& v) { v.compression = 1, v.bits = 4; })); // RLE4 is not read
    EXPECT_FALSE(accepts([](Bmp& v) { v.compression = 3; }));
    EXPECT_FALSE(bmp_accepts(b.bytes().substr(0, 53)));
}

TEST(BmpDecode, PalettesDepthsRowOrderAndResolution) {
    // 8 bits: rows bottom first, padded to 4 bytes; a grey ramp is kind 0; 3780 per metre is 96 dpi.
    Bmp b = with(3, 2, 8, grey_ramp(), bytes_of({1, 2, 3, 0xEE, 4, 5, 6, 0xEE}));
    Decoded d = decode(b.bytes());
    ASSERT_TRUE(d.ok) << d.message;
    EXPECT_EQ(d.shape(), "3x2 row 4 bits 8 kind 0 dpi 96");
    EXPECT_EQ(rows(d), "4,5,6|1,2,3");
    for (auto [per_metre, dpi] : {std::pair{0, 100}, {1000, 100}, {1969, 50}, {11811, 300}, {-5, 100}}) {
        Bmp r = b;
        r.per_metre = per_metre;
        EXPECT_EQ(decode(r.bytes()).p.dpi, dpi) << per_metre;
    }
    // One entry differing only in red: an own palette, reserved bytes cleared.
    b.palette[7] = 0x080707;
    d = decode(b.bytes());
    EXPECT_EQ(d.p.palette_kind, kPaletteOwn);
    EXPECT_EQ(d.p.palette[7], 0x080707u);
    EXPECT_EQ(d.p.palette[255], 0xFFFFFFu);
    // A negative height: rows top first.
    b.height = -2;
    EXPECT_EQ(rows(decode(b.bytes())), "1,2,3|4,5,6");

    // 4 bits: the file colours go to the cube, high nibble first; pure red is entry 200.
    std::vector<uint32_t> sixteen = {0x000000, 0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF, 0x808080};
    sixteen.resize(16);
    d = decode(with(6, 1, 4, sixteen, bytes_of({0x12, 0x34, 0x50, 0x00})).bytes());
    ASSERT_TRUE(d.ok) << d.message;
    EXPECT_EQ(d.shape(), "6x1 row 8 bits 8 kind 1 dpi 96");
    EXPECT_EQ(rows(d), "200,50,25,235,149,20");

    // 1 bit: the mean level of each colour, most significant bit first; black and white are 0 and 255.
    d = decode(with(10, 2, 1, {0, 0xFFFFFF}, bytes_of({0xA5, 0xC0, 0, 0, 0x00, 0x40, 0, 0})).bytes());
    ASSERT_TRUE(d.ok) << d.message;
    EXPECT_EQ(d.shape(), "10x2 row 32 bits 8 kind 0 dpi 96");
    EXPECT_EQ(rows(d), "0,0,0,0,0,0,0,0,0,255|255,0,255,0,0,255,0,255,255,255");
    // A 1-bit file that ends early keeps what it has.
    d = decode(with(2, 2, 1, {0x306090, 0x102030}, bytes_of({0x80, 0, 0, 0})).bytes());
    ASSERT_TRUE(d.ok) << d.message;
    EXPECT_EQ(rows(d), "0,0|32,96");

    // 24 bits: bytes kept, 3 pad bytes a row skipped.
    std::string data;
    for (int k = 0; k < 24; ++k) {
        data += static_cast<char>(k % 12 < 9 ? k / 12 * 10 + k % 12 + 1 : 0xE);
    }
    d = decode(with(3, 2, 24, {}, data).bytes());
    ASSERT_TRUE(d.ok) << d.message;
    EXPECT_EQ(d.p.palette_kind, kPaletteDirect);
    EXPECT_EQ(d.values(), (std::vector<int>{11, 12, 13, 14, 15, 16, 17, 18, 19, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
    // 16 bits: 5-bit channels, blue lowest, times 8; rows of an even pixel count.
    d = decode(with(1, 1, 16, {}, bytes_of({0x1F | 0x60, 17 << 2, 0xEE, 0xEE})).bytes());
    ASSERT_TRUE(d.ok) << d.message;
    EXPECT_EQ(d.p.bits, 24);
    EXPECT_EQ(d.values(), (std::vector<int>{31 * 8, 3 * 8, 17 * 8}));
}

TEST(BmpDecode, RunLengthEscapes) {
    Bmp b = with(6, 4, 8, grey_ramp(), "");
    b.compression = 1;
    b.data = bytes_of({
        0, 0,                   // end of row before anything: ignored
        3, 7, 0, 3, 1, 2, 3, 0, // three 7s, then three bytes copied and a pad byte
        0, 0,                   // end of row
        2, 9, 0, 2, 1, 1,       // two 9s, then one right and one row up
        1, 5, 0, 0,             // at column 3 of the third file row
        0, 4, 1, 2, 3, 4, 3, 1, // a copy, then a run cut at the row's end
        0, 1, 4, 4,             // end of picture; the rest is never read
    });
    Decoded d = decode(b.bytes());
    ASSERT_TRUE(d.ok) << d.message;
    EXPECT_EQ(rows(d), "1,2,3,4,1,1|0,0,0,5,0,0|9,9,0,0,0,0|7,7,7,1,2,3"); // file rows bottom first
    b.data = bytes_of({2, 8, 0});                                          // a stream that just stops
    EXPECT_EQ(rows(decode(b.bytes())), "0,0,0,0,0,0|0,0,0,0,0,0|0,0,0,0,0,0|8,8,0,0,0,0");
}

TEST(BmpDecode, FaultsGetOneLine) {
    auto message = [](int32_t w, int32_t h, std::string data = std::string(4, '\0')) {
        Decoded d = decode(with(w, h, 24, {}, std::move(data)).bytes());
        EXPECT_FALSE(d.ok);
        return d.message;
    };
    EXPECT_EQ(message(70000, 1), "BMP of 70000 x 1 pixels is too large (at most 65535 a side)");
    EXPECT_EQ(message(1, -70000), "BMP of 1 x 70000 pixels is too large (at most 65535 a side)");
    EXPECT_EQ(message(0, 1), "BMP of 0 x 1 pixels has no picture");
    EXPECT_EQ(message(2, 3), "BMP pixel data is cut short: 4 of 24 bytes");
    EXPECT_EQ(message(60000, 60000), "BMP pixel data is cut short: 4 of 10800000000 bytes");
    EXPECT_EQ(decode("BM\x10").message, "BMP header is cut short");

    // A palette of more than 256 entries: 256 are kept, the rest skipped to the pixel data.
    std::vector<uint32_t> big = grey_ramp();
    big.resize(300, 0x123456);
    std::string s = with(1, 1, 8, big, bytes_of({255, 0, 0, 0})).bytes();
    Decoded d = decode(s);
    ASSERT_TRUE(d.ok) << d.message;
    EXPECT_EQ(d.p.palette_kind, kPaletteGrey);
    EXPECT_EQ(rows(d), "255");
    s[12] = '\x0F'; // pixel data beyond the end
    EXPECT_EQ(decode(s).message, "BMP pixel data offset lies beyond the end of the file");
}

namespace {

// A program context: a Document to read into, the chooser with the model's rows and the picture rows.
struct Rows : ::testing::Test {
    platform::Headless ui;
    model::Model m;
    model::FormatTable table;

    void SetUp() override {
        platform::install(&ui);
        model::register_model_formats(table);
        register_image_readers(table);
        ASSERT_NE(model::NewDocument("pic.pcb"), nullptr);
    }
    void TearDown() override {
        platform::install(nullptr);
    }
    char open(const std::string& bytes, const std::string& name, char forced = 0) {
        model::LineReader in;
        in.open_memory(bytes);
        in.set_label(name);
        return model::ChooseReader(table, in, forced);
    }
    int occupied() const {
        return static_cast<int>(
            std::count_if(m.images.begin(), m.images.end(), [](const auto& b) { return !b.empty(); }));
    }
};

std::string picture_640x480() {
    return with(640, 480, 24, {}, std::string(640 * 3 * 480, '\x11')).bytes();
}

} // namespace

TEST_F(Rows, BmpFillsASlotAndThePictureSetup) {
    EXPECT_NE(open(picture_640x480(), "a.bmp", 'Z'), 'B'); // another forced code
    EXPECT_EQ(open(picture_640x480(), "C:\\scans\\board.bmp"), 'B');
    ASSERT_EQ(occupied(), 1);
    const std::vector<uint8_t>& b = m.images[static_cast<size_t>(m.current_image)];
    BlockHeader h;
    ASSERT_TRUE(read_header(b, h));
    EXPECT_EQ(h.name, "board.bmp");
    EXPECT_EQ(h.dpi, 96);
    EXPECT_EQ(h.right, 436224);
    EXPECT_EQ(b.size(), kHeaderBytes + 640 * 480 * 3);
    EXPECT_STREQ(m.current->setup.layers[244].name, "Free F4");

    // A Document whose layer 0 is named keeps its setup (the chooser's defaults empty the table, so a
    // picture opened on its own always gets it).
    std::strcpy(m.current->setup.layers[0].name, "Pad Master");
    std::strcpy(m.current->setup.layers[12].name, "Mine");
    Picture p;
    p.width = p.height = p.row_length = 4;
    ASSERT_TRUE(p.allocate());
    EXPECT_EQ(place_picture(true, p, {}, "two.bmp"), 'B');
    EXPECT_EQ(occupied(), 2);
    EXPECT_STREQ(m.current->setup.layers[12].name, "Mine");
}

TEST_F(Rows, JpegAndFailuresTakeNoSlot) {
    std::string jpeg = bytes_of({0xFF, 0xD8, 0xFF, 0xE0, 0, 16}) + "JFIF" + std::string(100, '\x55');
    EXPECT_NE(open(jpeg, "photo.jpg"), 'B');
    // A BMP the decoder refuses: one report line named after the file, nothing stored.
    EXPECT_EQ(open(with(100000, 1, 24, {}, std::string(4, '\0')).bytes(), "/tmp/wide.bmp"), 0);
    EXPECT_EQ(occupied(), 0);
    ASSERT_EQ(ui.reports.size(), 1u);
    EXPECT_EQ(ui.reports[0], "wide.bmp: BMP of 100000 x 1 pixels is too large (at most 65535 a side)");
}

TEST_F(Rows, TheHundredAndTwentyNinthPictureReplacesTheCurrentOne) {
    for (int k = 0; k < 128; ++k) {
        ASSERT_EQ(open(with(1, 1, 8, grey_ramp(), bytes_of({k, 0, 0, 0})).bytes(), "p.bmp"), 'B');
    }
    EXPECT_TRUE(ui.reports.empty());
    m.current_image = 77;
    ASSERT_EQ(open(with(1, 1, 8, grey_ramp(), bytes_of({200, 0, 0, 0})).bytes(), "last.bmp"), 'B');
    EXPECT_EQ(m.current_image, 77);
    EXPECT_EQ(m.images[77][kHeaderBytes], 200);
    ASSERT_EQ(ui.reports.size(), 1u);
    EXPECT_EQ(ui.reports[0], "All 128 image slots are in use: the picture in slot 77 is replaced by last.bmp");
}

TEST_F(Rows, DataFileBlocksSettleTheirEdgesOrAreReported) {
    Picture p;
    p.width = 11, p.height = 5, p.row_length = 12, p.dpi = 200;
    ASSERT_TRUE(p.allocate());
    std::vector<uint8_t> good = make_block(p, "good.bmp");
    put_u32(good, kAtLeft, 65536); // moved: left and top are kept, right and bottom follow
    put_u32(good, kAtTop, 3 * 65536);
    put_u32(good, kAtRight, 1);
    std::vector<uint8_t> flat = good;
    put_u32(flat, kAtDpi, 0);
    auto file = [](std::initializer_list<const std::vector<uint8_t>*> blocks) {
        std::string s = "TRAZEL Version 4.0 -- Data File.\r\nPixel image follows EOF\r\n\x1A";
        for (const auto* b : blocks) {
            s.append(b->begin(), b->end());
        }
        return s;
    };
    EXPECT_EQ(open(file({&good, &flat}), "two.pcb"), 'C');
    ASSERT_EQ(occupied(), 2);
    EXPECT_EQ(get_u32(m.images[0], kAtRight), 65536u + 10 * 65536 / 200);
    EXPECT_EQ(get_u32(m.images[0], kAtBottom), 3u * 65536 - 4 * 65536 / 200);
    EXPECT_EQ(m.images[1], flat); // kept as it came
    ASSERT_EQ(ui.reports.size(), 1u);
    EXPECT_EQ(ui.reports[0], "Pixel image in slot 1 is not shown: resolution 0");

    // With every slot taken, the Data file's picture goes into slot 127 and says so.
    for (auto& b : m.images) {
        b.assign(1, 0);
    }
    EXPECT_EQ(open(file({&good}), "full.pcb"), 'C');
    EXPECT_EQ(m.images[127].size(), good.size());
    ASSERT_EQ(ui.reports.size(), 2u);
    EXPECT_EQ(ui.reports[1], "All 128 image slots are in use: the picture in slot 127 is replaced");
}
