// The DVI page: small pages built byte by byte, with the pixels worked out by hand.  Most pages use
// num 254000 and den 300, which makes one DVI unit exactly one pixel; the origin is pixel (300, 300).
#include <gtest/gtest.h>

#include <string>

#include "images/block.h"
#include "images/dvi_fonts.h"
#include "images/picture.h"
#include "images/readers.h"
#include "model/chooser.h"
#include "platform/headless.h"

using namespace trazel;

namespace {

// A DVI file: the preamble and the opening of the first page, then whatever the test adds.
struct Dvi {
    std::string b;
    explicit Dvi(int64_t den = 300, int64_t mag = 1000, const std::string& comment = "") {
        op(247).op(2).n(4, 254000).n(4, den).n(4, mag).op(static_cast<int>(comment.size()));
        b += comment;
        op(139);
        b.append(44, '\0');
    }
    Dvi& op(int x) {
        b += static_cast<char>(x);
        return *this;
    }
    Dvi& n(int bytes, int64_t v) {
        for (int i = bytes - 1; i >= 0; --i) {
            b += static_cast<char>((v >> (8 * i)) & 0xFF);
        }
        return *this;
    }
    Dvi& right(int64_t d) {
        return op(146).n(4, d);
    }
    Dvi& down(int64_t d) {
        return op(160).n(4, d);
    }
    Dvi& put_rule(int64_t a, int64_t w) {
        return op(137).n(4, a).n(4, w);
    }
    Dvi& font(int number, const std::string& name, int64_t size) {
        op(243).n(1, number).n(4, 0).n(4, size).n(4, size).op(0).op(static_cast<int>(name.size()));
        b += name;
        return op(171 + number);
    }
    Dvi& special(const std::string& s) {
        op(239).op(static_cast<int>(s.size()));
        b += s;
        return *this;
    }
    std::string page() {
        return b + '\x8C';
    }
};

std::string decode(const std::string& bytes, images::Picture& p) {
    model::LineReader in;
    in.open_memory(bytes);
    images::DecodeError error;
    return images::decode_dvi(in, p, error) ? "" : error.message;
}

// The picture of a page that must decode.
images::Picture page_of(const std::string& bytes) {
    images::Picture p;
    EXPECT_EQ(decode(bytes, p), "");
    return p;
}

bool ink(const images::Picture& p, int x, int y) {
    return p.pixels[static_cast<size_t>(y) * p.row_bytes() + static_cast<size_t>(x)] == 0;
}

// The inked pixels: how many, and the box round them (x0, y0, x1, y1 inclusive).
struct Ink {
    int count = 0, x0 = 1 << 30, y0 = 1 << 30, x1 = -1, y1 = -1;
    // "count: x0,y0 x1,y1"
    std::string str() const {
        return std::to_string(count) + ": " + box();
    }
    std::string box() const {
        return std::to_string(x0) + "," + std::to_string(y0) + " " + std::to_string(x1) + "," + std::to_string(y1);
    }
};
Ink inked(const images::Picture& p) {
    Ink k;
    for (int y = 0; y < p.height; ++y) {
        for (int x = 0; x < p.width; ++x) {
            uint8_t v = p.pixels[static_cast<size_t>(y) * p.row_bytes() + static_cast<size_t>(x)];
            EXPECT_TRUE(v == 0 || v == 255);
            if (v == 0) {
                ++k.count;
                k.x0 = std::min(k.x0, x), k.y0 = std::min(k.y0, y), k.x1 = std::max(k.x1, x), k.y1 = std::max(k.y1, y);
            }
        }
    }
    return k;
}

} // namespace

TEST(Dvi, RecognitionAndBlankPage) {
    std::string page = Dvi(300, 1000, "abc").page();
    EXPECT_TRUE(images::dvi_accepts(page));
    std::string wrong = page;
    wrong[18] = '\x8A'; // the byte after the comment is not a page's beginning
    EXPECT_FALSE(images::dvi_accepts(wrong));
    wrong = page;
    wrong[0] = '\xF8';
    EXPECT_FALSE(images::dvi_accepts(wrong));
    EXPECT_FALSE(images::dvi_accepts(page.substr(0, 18)));

    images::Picture p;
    ASSERT_EQ(decode(page, p), "");
    EXPECT_EQ(std::vector<int>({p.width, p.height, p.row_length, p.bits, p.dpi, p.palette_kind}),
              std::vector<int>({2550, 3300, 2550, 8, 300, images::kPaletteGrey}));
    EXPECT_EQ(inked(p).count, 0);
    EXPECT_EQ(p.note, "");
}

TEST(Dvi, RulesCoverTheirPixelsRoundedUp) {
    // 1000 units to the pixel: the rule at (10.4, 20.6) pixels starts in column 10 on row 21 (the
    // baseline), 1.5 pixels high takes 2 rows upwards and 2.001 wide takes 3 columns.
    EXPECT_EQ(inked(page_of(Dvi(300000).right(10400).down(20600).put_rule(1500, 2001).page())).str(),
              "6: 310,320 312,321");

    // set_rule moves on by its width even when it draws nothing; a tiny rule still takes one pixel.
    EXPECT_EQ(inked(page_of(Dvi(300000).op(132).n(4, 0).n(4, 5000).op(132).n(4, 1).n(4, 1).page())).str(),
              "1: 305,300 305,300");

    // A magnification of 2 doubles positions and sizes.
    EXPECT_EQ(inked(page_of(Dvi(300, 2000).right(100).down(50).put_rule(2, 3).page())).str(), "24: 500,397 505,400");
}

TEST(Dvi, StackAndRegisters) {
    Dvi d;
    d.op(141).right(100).down(100).put_rule(1, 1).op(142).put_rule(1, 1); // (400, 400), then back at (300, 300)
    d.op(150).n(3, 50).op(147);                                           // w3 50 then w0: h = 100
    d.op(153).n(1, 7).op(152);                                            // x1 7 then x0: h = 114
    d.op(163).n(2, 20).op(161);                                           // y2 20 then y0: v = 40
    d.op(167).n(1, 5).op(166);                                            // z1 5 then z0: v = 50
    d.put_rule(1, 1);                                                     // (414, 350)
    d.op(141).op(148).n(1, 99).op(142);                                   // w changed inside push/pop is restored
    d.op(147).op(157).n(1, -10).put_rule(1, 1);                           // w0 moves by 50 again, down1 -10: (464, 340)
    images::Picture p = page_of(d.page());
    EXPECT_EQ(inked(p).count, 4);
    EXPECT_TRUE(ink(p, 400, 400) && ink(p, 300, 300) && ink(p, 414, 350) && ink(p, 464, 340));
}

TEST(Dvi, CharactersAdvanceByTheFontWidths) {
    ASSERT_FALSE(images::dvi_fonts().empty());
    EXPECT_STREQ(images::dvi_fonts()[0].name, "cmr10");
    for (const char* name : {"cmbx10", "cmti10", "cmtt10"}) {
        EXPECT_NE(images::dvi_font(name), nullptr) << name;
    }
    // cmr10 at 40 pixels: "0" is 0.500002 wide (20 pixels), "A" 0.750002 (30 pixels).
    Dvi d;
    d.font(0, "cmr10", 40).down(100).op('0').op('0').op(128).n(1, 'A').put_rule(1, 1);
    images::Picture p = page_of(d.page());
    EXPECT_TRUE(ink(p, 370, 400));
    EXPECT_FALSE(ink(p, 371, 400));
    // The glyphs' ink stays between the first character's start and the last's end, on the baseline and
    // up to the capital height (0.683 x 40 pixels).
    Ink k = inked(p);
    EXPECT_TRUE(k.x0 >= 298 && k.x1 <= 372 && k.y0 >= 400 - 30 && k.y1 <= 402) << k.box();
    bool left = false, middle = false;
    for (int y = 370; y <= 400; ++y) {
        left |= ink(p, 310, y) || ink(p, 305, y);
        middle |= ink(p, 354, y) || ink(p, 355, y);
    }
    EXPECT_TRUE(left && middle);

    // put draws without moving on.
    p = page_of(Dvi().font(0, "cmr10", 40).down(100).op(133).n(1, 'A').down(100).put_rule(1, 1).page());
    EXPECT_TRUE(ink(p, 300, 500));
    EXPECT_TRUE(inked(p).x1 > 315 && inked(p).x1 <= 331); // "A" fills most of its 30 pixels
}

TEST(Dvi, UnknownFontDrawsBoxesWithANote) {
    // Half the size wide (20 pixels), the x-height (0.431 x 40) high, its bottom on the baseline.
    Dvi d;
    d.font(3, "cmr12", 40).down(100).op('A').put_rule(1, 1);
    images::Picture p = page_of(d.page());
    EXPECT_EQ(p.note, "DVI font cmr12 is not known: its characters are drawn as boxes");
    EXPECT_TRUE(ink(p, 320, 400) && ink(p, 300, 390) && ink(p, 310, 383));
    EXPECT_FALSE(ink(p, 310, 392) || ink(p, 310, 378));

    // Two unknown fonts are named once each; a defined font never used is not named.
    Dvi e;
    e.font(1, "zzfont", 40).op('A').op('B').font(2, "aafont", 40).op('A').font(4, "unused", 40).font(1, "zzfont", 40);
    EXPECT_EQ(page_of(e.page()).note, "DVI fonts aafont, zzfont are not known: their characters are drawn as boxes");
}

TEST(Dvi, TpicPathsAreDrawn) {
    // Pen 10 milli-inches (3 pixels); from the position (0, 100) a line 1000 milli-inches (300 pixels)
    // to the right: rows 399-401, round ends reaching a pen radius past each end.
    images::Picture p =
        page_of(Dvi().down(100).special("pn 10").special("pa 0 0").special("pa 1000 0").special("fp").page());
    EXPECT_EQ(inked(p).box(), "299,399 601,401");
    EXPECT_TRUE(ink(p, 450, 400));
    // Points are taken from where the path is drawn; an invisible flush draws nothing.
    Dvi d;
    d.special("pa 0 0").special("pa 0 1000").right(200).special("fp");
    d.special("pa 0 0").special("pa 500 500").special("ip");
    EXPECT_EQ(inked(page_of(d.page())).box(), "500,300 500,600");
    // An arc: a full circle of radius 100 milli-inches (30 pixels).
    p = page_of(Dvi().special("ar 0 0 100 100 0 6.28319").page());
    EXPECT_TRUE(!ink(p, 300, 300) && ink(p, 330, 300));
    EXPECT_TRUE(inked(p).x0 >= 269 && inked(p).x1 <= 331) << inked(p).box();
}

TEST(Dvi, FaultsGiveOneLine) {
    std::string good = Dvi().font(0, "cmr10", 40).op(141).op('A').put_rule(3, 3).special("pn 5").op(142).page();
    images::Picture p;
    ASSERT_EQ(decode(good, p), "");
    // Every shorter file: a message, never a crash.
    for (size_t n = 0; n < good.size(); ++n) {
        EXPECT_NE(decode(good.substr(0, n), p), "") << n;
    }
    EXPECT_EQ(decode(good.substr(0, good.size() - 1), p), "DVI file ends inside its first page");
    EXPECT_EQ(decode(good.substr(0, good.size() - 1) + "\xF8", p), "DVI page has no end (eop)");
    EXPECT_EQ(decode(Dvi().op(139).page(), p), "DVI page has no end (eop)");
    EXPECT_EQ(decode(Dvi().op(142).page(), p), "DVI page pops more than it pushes");
    EXPECT_EQ(decode(Dvi().op(250).page(), p), "DVI page has the undefined command 250");
    EXPECT_EQ(decode(Dvi().op('A').page(), p), "DVI page sets a character before choosing a font");
    EXPECT_EQ(decode(Dvi().op(172).page(), p), "DVI page uses font 1 before defining it");
    EXPECT_EQ(decode(Dvi().op(241).n(3, 1 << 20).page(), p), "DVI file ends inside its first page");
    EXPECT_EQ(decode(Dvi(0).page(), p), "DVI preamble has a unit or magnification that is not positive");
    Dvi deep;
    deep.b.append(5000, '\x8D');
    EXPECT_EQ(decode(deep.page(), p), "DVI page nests more than 4096 pushes");
    // Positions far off the page, huge fonts and rules, and wild tpic numbers draw what falls on it.
    Dvi wild;
    wild.font(0, "cmr10", 0x7FFFFFFF).op('W').right(-0x7FFFFFFF).put_rule(0x7FFFFFFF, 0x7FFFFFFF);
    wild.special("pa 1e308 -1e308").special("pa 0 0").special("fp").special("ar 0 0 1e300 1 0 1e300");
    wild.special("pa nan 0").special("pn inf");
    ASSERT_EQ(decode(wild.page(), p), "");
}

TEST(Dvi, ChooserRowFillsASlotAndReportsTheNote) {
    platform::Headless ui;
    platform::install(&ui);
    model::Model m;
    model::FormatTable table;
    model::register_model_formats(table);
    images::register_image_readers(table);
    ASSERT_NE(model::NewDocument("page.pcb"), nullptr);
    std::string page = Dvi().font(0, "cmr12", 40).op('A').page();
    model::LineReader in;
    in.open_memory(page);
    in.set_label("/tmp/page.dvi");
    EXPECT_EQ(model::ChooseReader(table, in, 0), 'B');
    ASSERT_EQ(ui.reports.size(), 1u);
    EXPECT_EQ(ui.reports[0], "page.dvi: DVI font cmr12 is not known: its characters are drawn as boxes");
    const std::vector<uint8_t>& block = m.images[static_cast<size_t>(m.current_image)];
    EXPECT_EQ(block.size(), images::kHeaderBytes + size_t{2550} * 3300);
    platform::install(nullptr);
}
