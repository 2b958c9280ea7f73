// The stroke font: the table built from its source, the glyph walk, Text Item layout and measuring.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "display/stroke_font.h"
#include "model/model.h"
#include "resources/resources.h"

using namespace trazel::display;
using namespace trazel::model;

namespace {

struct Recorder : StrokeSink {
    std::vector<Stroke> strokes;
    void stroke(const Stroke& s) override {
        strokes.push_back(s);
    }
};

using Seg = std::tuple<Coord, Coord, Coord, Coord>;

std::vector<Seg> segs(const Recorder& r) {
    std::vector<Seg> v;
    for (const Stroke& s : r.strokes) {
        v.emplace_back(s.x1, s.y1, s.x2, s.y2);
    }
    return v;
}

std::vector<uint8_t> bytes_of(std::span<const uint8_t> g) {
    return {g.begin(), g.end()};
}

// Draws one glyph alone at step 1 and gives its strokes in steps, plus the pen it leaves.
std::vector<Seg> glyph_in_steps(uint8_t c, int64_t* pen_x = nullptr, int64_t* pen_y = nullptr) {
    Recorder r;
    TextState ts;
    ts.step = 1;
    draw_glyph(ts, c, &r);
    if (pen_x) {
        *pen_x = ts.pen_x;
    }
    if (pen_y) {
        *pen_y = ts.pen_y;
    }
    return segs(r);
}

struct TextItems : ::testing::Test {
    Model m;
    Ref ring = kNone;
    void SetUp() override {
        Document* d = NewDocument("text.pcb");
        ASSERT_NE(d, nullptr);
        ring = d->ring();
    }
    Ref text(std::string_view s, uint16_t height, int32_t length = 1, uint8_t anchor_font = 0, Angle angle = 0,
             Coord x0 = 0, Coord y0 = 0, Ref in = kNone) {
        Ref t = MakeItem(in ? in : ring, kText, 1, height, x0, y0, length, 0);
        node(t).text.angle = angle;
        node(t).text.anchor_font = anchor_font;
        SetText(t, s);
        return t;
    }
};

} // namespace

TEST(StrokeFontTable, ResourceBuildsWithTheTellingGlyphsByteForByte) {
    FontTable f;
    std::string err;
    ASSERT_EQ(build_font_table(trazel::resources::text("stroke_font"), f, &err), 1) << err;
    EXPECT_EQ(f.bytes, stroke_font().bytes);
    EXPECT_EQ(f.cell(), 6);
    // The glyph walks below take '1' and 'I' apart stroke by stroke; 'A' is pinned here byte for byte.
    EXPECT_EQ(bytes_of(f.glyph('A')), (std::vector<uint8_t>{0x00, 0x26, 0x2A, 0x00, 0xD2, 0x20, 0x3E}));
    EXPECT_EQ(f.advance('A'), 6); // the sum of the dx: 2+2-3+2+3
    // Glyph 0 is empty: its entry (at 2) points at 516, the first stroke byte.
    EXPECT_EQ(f.bytes[2] | f.bytes[3] << 8, 516 - 2);
    EXPECT_TRUE(f.glyph(0x01).empty());
    // The last entry (at 514) gives the end of glyph 255, inside the table.
    int end = 514 + (f.bytes[514] | f.bytes[515] << 8);
    EXPECT_LE(end, 4096);
    EXPECT_GT(end, 516);
}

TEST(StrokeFontTable, EveryGlyphKeepsTheCellAndTheAdvanceRuleAndPrintablesDiffer) {
    const FontTable& f = stroke_font();
    std::vector<int> required;
    for (int c = 0x20; c <= 0x7E; ++c) {
        required.push_back(c);
    }
    for (int c : {0xF8, 0xE6, 0xEA, 0xAB, 0xAC, 0xDD, 0xDE, 0xDF, 0x7F, 0xFF}) {
        required.push_back(c);
    }
    for (int c = 0xD0; c <= 0xDB; ++c) {
        required.push_back(c);
    }
    for (int c : required) {
        EXPECT_FALSE(f.glyph(static_cast<uint8_t>(c)).empty()) << "no glyph for " << c;
    }
    std::set<std::vector<uint8_t>> printables;
    for (int c = 0; c < 256; ++c) {
        auto g = f.glyph(static_cast<uint8_t>(c));
        if (g.empty()) {
            continue;
        }
        // A trailing pen-up marker would leave the advance undefined.
        EXPECT_NE(g.back(), 0) << c;
        int64_t px = 0, py = 0;
        std::vector<Seg> s = glyph_in_steps(static_cast<uint8_t>(c), &px, &py);
        EXPECT_EQ(px, f.advance(static_cast<uint8_t>(c))) << c;
        EXPECT_EQ(py, 0) << "glyph " << c << " leaves the baseline";
        for (auto [x1, y1, x2, y2] : s) {
            for (Coord y : {y1, y2}) {
                EXPECT_GE(y, -2) << c;
                EXPECT_LE(y, 8) << c;
            }
        }
        bool printable = c > 0x20 && c < 0x7F;
        if (printable) {
            EXPECT_FALSE(s.empty()) << "glyph " << c << " draws nothing";
            EXPECT_GT(f.advance(static_cast<uint8_t>(c)), 0) << c;
            EXPECT_TRUE(printables.insert(bytes_of(g)).second) << "glyph " << c << " repeats another";
        }
    }
    // Capitals and digits stand 6 steps high on the baseline.
    for (const char* set : {"ABCDEFGHIJKLMNOPQRSTUVWXYZ", "0123456789"}) {
        for (const char* p = set; *p; ++p) {
            Coord lo = 99, hi = -99;
            for (auto [x1, y1, x2, y2] : glyph_in_steps(static_cast<uint8_t>(*p))) {
                lo = std::min({lo, y1, y2});
                hi = std::max({hi, y1, y2});
            }
            EXPECT_EQ(lo, 0) << *p;
            EXPECT_EQ(hi, 6) << *p;
        }
    }
    // The space advances without drawing.
    EXPECT_TRUE(glyph_in_steps(' ').empty());
    EXPECT_EQ(f.advance(' '), 4);
}

TEST(StrokeFontTable, DrillSymbolsAreDistinctOverlaysAndTheTableMarksFitTheBlanks) {
    const FontTable& f = stroke_font();
    std::set<std::vector<Seg>> shapes;
    for (int c = kDrillSymbolFirst; c <= kDrillSymbolLast; ++c) {
        std::vector<Seg> s = glyph_in_steps(static_cast<uint8_t>(c));
        EXPECT_FALSE(s.empty()) << c;
        std::sort(s.begin(), s.end());
        shapes.insert(s);
        // Zero advance so that codes in a row overlay; the letter ring steps back 2 for its letter.
        EXPECT_EQ(f.advance(static_cast<uint8_t>(c)), c == 0xD9 ? -2 : 0) << c;
        // Centred on (0, 3): the extremes are symmetric about x = 0 and y = 3.
        Coord lx = 99, hx = -99, ly = 99, hy = -99;
        for (auto [x1, y1, x2, y2] : s) {
            lx = std::min({lx, x1, x2});
            hx = std::max({hx, x1, x2});
            ly = std::min({ly, y1, y2});
            hy = std::max({hy, y1, y2});
        }
        EXPECT_EQ(lx + hx, 0) << c;
        EXPECT_EQ(ly + hy, 2 * kSymbolCentre) << c;
    }
    EXPECT_EQ(shapes.size(), 12u);
    // The drill table writes "*" + 221 where a plated tool has one blank, and 221 221 "NP" where it has
    // three: both must take the same room.
    EXPECT_EQ(f.advance('*') + f.advance(kDrillBackStep), f.advance(' '));
    EXPECT_EQ(f.advance(' ') + 2 * f.advance(kDrillBackStep) + f.advance('N') + f.advance('P'), 3 * f.advance(' '));
    EXPECT_TRUE(glyph_in_steps(kDrillBackStep).empty());
    EXPECT_TRUE(glyph_in_steps(kDrillLeadIn).empty());
    EXPECT_TRUE(glyph_in_steps(kDrillLeadOut).empty());
}

TEST(StrokeFontTable, SourceFormatAndMalformedSources) {
    FontTable f;
    std::string err;
    ASSERT_EQ(build_font_table("# two glyphs\n\n20 space: 40\r\n41 A: 00 26 2A 00 D2 20 3E  # comment\n", f, &err), 1)
        << err;
    // Entry c sits at 2 + 2c.  Space (entry at 66) begins at 516; A (entry at 132) after space's byte.
    EXPECT_EQ(f.bytes[66] | f.bytes[67] << 8, 516 - 66);
    EXPECT_EQ(f.bytes[132] | f.bytes[133] << 8, 517 - 132);
    EXPECT_EQ(bytes_of(f.glyph(' ')), std::vector<uint8_t>{0x40});
    EXPECT_EQ(f.advance('A'), 6);
    EXPECT_TRUE(f.glyph('B').empty());

    FontTable keep = f;
    struct Bad {
        const char* src;
        const char* says;
    } bad[] = {
        {"4G A: 00\n", "line 1"}, {"41 A: 00\n41 B: 00\n", "line 2"}, {"41 A 00 26\n", "colon"},
        {"41 A: 0\n", "\"0\""},   {"41 A: 00 2G\n", "\"2G\""},        {"41 : 00\n", "name"},
    };
    for (const Bad& b : bad) {
        err.clear();
        EXPECT_EQ(build_font_table(b.src, f, &err), 0) << b.src;
        EXPECT_NE(err.find(b.says), std::string::npos) << b.src << " -> " << err;
    }
    // One byte more than the 3580 after the header.
    std::string big = "41 A:";
    for (int i = 0; i < 3581; ++i) {
        big += " 20";
    }
    EXPECT_EQ(build_font_table(big, f, &err), 0);
    EXPECT_NE(err.find("3580"), std::string::npos);
    EXPECT_EQ(f.bytes, keep.bytes); // a failed build leaves the table as it was
}

TEST(GlyphWalk, AStrokesUpDownAndAcrossAndAdvancesSix) {
    // Step 10: 00 puts the pen down at 0; 26 draws to (20,60); 2A draws to (40,0); 00 lifts it; D2 moves
    // to (10,20); 20 draws the crossbar to (30,20); 3E is the advance to (60,0).
    Recorder r;
    EXPECT_EQ(draw_string("A", 10, 9, 0, 0, 0, 0, 0, 3, r), 3);
    EXPECT_EQ(segs(r), (std::vector<Seg>{{0, 0, 20, 60}, {20, 60, 40, 0}, {10, 20, 30, 20}}));
    EXPECT_EQ(r.strokes[0].width, 9);
    EXPECT_EQ(r.strokes[0].mode, 3);
    EXPECT_EQ(string_length("A", 10), 60);
    // One: 15 moves up to (10,50) with the pen up, 11 and 0A draw the flag and the stem, F0 moves back to
    // (10,0), 20 draws the foot to (30,0), 20 advances to 50.
    Recorder one;
    draw_string("1", 10, 9, 0, 0, 0, 0, 0, 3, one);
    EXPECT_EQ(segs(one), (std::vector<Seg>{{10, 50, 20, 60}, {20, 60, 20, 0}, {10, 0, 30, 0}}));
    EXPECT_EQ(string_length("1", 10), 50);
    EXPECT_EQ(string_length("A1", 10), 110);
}

TEST(GlyphWalk, RotationAndOriginApplyToEveryPoint) {
    // 90 degrees turns (x, y) into (-y, x); the anchor (1000, 2000) is added afterwards.
    Recorder r;
    draw_string("A", 10, 9, 1000, 2000, 16384, 0, 0, 3, r);
    EXPECT_EQ(segs(r), (std::vector<Seg>{{1000, 2000, 940, 2020}, {940, 2020, 1000, 2040}, {980, 2010, 980, 2030}}));
    // Offsets move the pen before rotation: 5 along, -3 across.
    Recorder o;
    draw_string("A", 10, 9, 0, 0, 0, 5, -3, 3, o);
    EXPECT_EQ(std::get<0>(segs(o)[0]), 5);
    EXPECT_EQ(std::get<1>(segs(o)[0]), -3);
}

TEST(GlyphWalk, FixedPitchCentresInTheCellAndAdvancesOneCell) {
    // "1" advances 5: shifted by 10 x (6 - 5) / 2 = 5 units, then the pen ends 60 after the start.
    Recorder r;
    TextState ts;
    ts.step = 10;
    ts.font = kFixedPitch;
    draw_glyph(ts, '1', &r);
    EXPECT_EQ(segs(r)[0], Seg(15, 50, 25, 60));
    EXPECT_EQ(ts.pen_x, 60);
    // "I" advances 4: shifted by 10.
    Recorder i;
    draw_glyph(ts, 'I', &i);
    EXPECT_EQ(segs(i)[0], Seg(70, 60, 90, 60));
    EXPECT_EQ(ts.pen_x, 120);
    EXPECT_EQ(ts.right_edge, 120);
}

TEST(GlyphWalk, DrillSymbolDrawnCentredOnAPoint) {
    // The square D2 spans -2..2 steps around (0, 3); an across offset of -3 steps centres it on the point.
    Recorder r;
    draw_string("\xD2", 524, 459, 10000, 20000, 0, 0, -3 * 524, 3, r);
    ASSERT_EQ(r.strokes.size(), 4u);
    for (const Stroke& s : r.strokes) {
        for (Coord x : {s.x1, s.x2}) {
            EXPECT_EQ(std::abs(x - 10000), 1048);
        }
        for (Coord y : {s.y1, s.y2}) {
            EXPECT_EQ(std::abs(y - 20000), 1048);
        }
    }
}

TEST_F(TextItems, DrawsStrokesAndWritesBackLengthAndLines) {
    // Height 60: step 10, stroke width 10 - 10/8 = 9.  "A1" ends at 110: length 110 - 0 - 20 = 90.
    Ref t = text("A1", 60, 1);
    Recorder r;
    EXPECT_EQ(draw_text_item(t, 3, r), 1);
    ASSERT_EQ(r.strokes.size(), 6u);
    EXPECT_EQ(segs(r)[0], Seg(0, 0, 20, 60));
    EXPECT_EQ(segs(r)[3], Seg(70, 50, 80, 60)); // the one starts at 60
    EXPECT_EQ(r.strokes[0].width, 9);
    EXPECT_EQ(node(t).text.length, 90);
    EXPECT_EQ(node(t).text.lines, 1);

    // A plotter that must not change the Document draws the same strokes and leaves the length alone.
    TextView plot;
    plot.write_back = false;
    node(t).text.length = 90;
    node(t).text.lines = 0;
    SetText(t, "A1A1");
    Recorder p;
    EXPECT_EQ(draw_text_item(t, 3, p, plot), 1);
    EXPECT_EQ(p.strokes.size(), 12u);
    EXPECT_EQ(node(t).text.length, 90);
    EXPECT_EQ(node(t).text.lines, 0);

    // Mode 0, height 0 or no text draw nothing and leave the Item alone.
    Recorder none;
    EXPECT_EQ(draw_text_item(t, 0, none), 0);
    Ref flat = text("A", 0, 7);
    EXPECT_EQ(draw_text_item(flat, 3, none), 0);
    Ref empty = text("", 60, 7);
    EXPECT_EQ(draw_text_item(empty, 3, none), 0);
    EXPECT_EQ(measure_text_item(empty), 0);
    EXPECT_TRUE(none.strokes.empty());
    EXPECT_EQ(node(flat).text.length, 7);
}

TEST_F(TextItems, MirroredTextRunsRightToLeftAboutItsAnchor) {
    // A negative length mirrors: step -10, so every x is negated.  "A1" ends at -110; length
    // -110 - 0 - (-20) = -90.
    Ref t = text("A1", 60, -1, 0, 0, 500, 0);
    Recorder r;
    draw_text_item(t, 3, r);
    EXPECT_EQ(segs(r)[0], Seg(500, 0, 480, 60));
    EXPECT_EQ(segs(r)[1], Seg(480, 60, 460, 0));
    EXPECT_EQ(segs(r)[3], Seg(430, 50, 420, 60));
    for (auto [x1, y1, x2, y2] : segs(r)) {
        EXPECT_LE(x1, 500);
        EXPECT_LE(x2, 500);
    }
    EXPECT_EQ(node(t).text.length, -90);
    // Centred (anchor 1) with the stored -90: the pen starts at +45, so the text straddles the anchor.
    node(t).text.anchor_font = 1;
    Recorder c;
    draw_text_item(t, 3, c);
    EXPECT_EQ(segs(c)[0], Seg(545, 0, 525, 60));
    // A mirrored text too short to have a positive length still stays negative: "." is 2 steps,
    // -20 - (-20) = 0 -> -1.
    Ref dot = text(".", 60, -1);
    draw_text_item(dot, 3, r);
    EXPECT_EQ(node(dot).text.length, -1);
    measure_text_item(dot); // fewer than 3 steps: height / 6, negated
    EXPECT_EQ(node(dot).text.length, -10);
}

TEST_F(TextItems, AnchorsPlaceThePen) {
    // Stored length 40, step 10, stroke width 10.  Horizontal: 0 at 0, 1 at -20, 2 at -40, 3 at +20.
    // Vertical: 0 baseline at 0, 1 at -30, 2 at -60, 3 at +20.  A's first point is the pen itself.
    struct Case {
        uint8_t anchor;
        Coord x, y;
    } cases[] = {{0, 0, 0},   {1, -20, 0},   {2, -40, 0}, {3, 20, 0},
                 {4, 0, -30}, {5, -20, -30}, {8, 0, -60}, {14, -40, 20}};
    for (const Case& c : cases) {
        Ref t = text("A", 60, 40, c.anchor);
        Recorder r;
        draw_text_item(t, 3, r);
        ASSERT_FALSE(r.strokes.empty());
        EXPECT_EQ(r.strokes[0].x1, c.x) << int(c.anchor);
        EXPECT_EQ(r.strokes[0].y1, c.y) << int(c.anchor);
    }
}

TEST_F(TextItems, SizeCodesUseIntegerArithmetic) {
    // Height 42: step 7.  194 gives 7 x 4 / 5 = 5, then 195 gives 5 x 5 / 4 = 6, not 7 again.  "I" then
    // starts with a move to (0, 36) and draws its top bar to (12, 36).
    Ref t = text("\xC2\xC3I", 42, 1);
    Recorder r;
    draw_text_item(t, 3, r);
    ASSERT_FALSE(r.strokes.empty());
    EXPECT_EQ(segs(r)[0], Seg(0, 36, 12, 36));
    // Stroke width 7 - 7/8 = 7; 192 makes it 7 x 4 / 5 = 5, 193 then 5 x 5 / 4 = 6.
    EXPECT_EQ(r.strokes[0].width, 7);
    Ref w = text("\xC0I\xC1I", 42, 1);
    Recorder rw;
    draw_text_item(w, 3, rw);
    EXPECT_EQ(rw.strokes.front().width, 5);
    EXPECT_EQ(rw.strokes.back().width, 6);
    // A run of 195 saturates the signed 16-bit step instead of wrapping it negative (which would mirror
    // the rest of the text): 10922 grows past 32767 on the fifth step.
    Ref big = text("\xC3\xC3\xC3\xC3\xC3I", 65535, 1);
    Recorder rb;
    draw_text_item(big, 3, rb);
    ASSERT_FALSE(rb.strokes.empty());
    EXPECT_EQ(rb.strokes[0].x2 - rb.strokes[0].x1, 2 * 32767);
}

TEST_F(TextItems, TinyTextDrawsOnlyTheBottomLineOfItsBox) {
    // Height 5: step 0 and stroke width 0, so 6 stroke widths make 0 pixels.  The box runs from one step
    // before the start to length + 2 steps: 0..100 at the baseline.
    auto one_per_unit = [](int64_t u) { return u; };
    TextView view;
    view.pixels = one_per_unit;
    Ref t = text("ABC", 5, 100);
    Recorder r;
    EXPECT_EQ(draw_text_item(t, 3, r, view), 1);
    ASSERT_EQ(r.strokes.size(), 1u);
    EXPECT_EQ(segs(r)[0], Seg(0, 0, 100, 0));
    EXPECT_EQ(r.strokes[0].width, 0);
    EXPECT_EQ(r.strokes[0].mode, 0);
    EXPECT_EQ(node(t).text.length, 100); // nothing measured
    // Height 600 (step 100) at 1/256 pixel a unit: 600 units are 2 pixels.  Two lines stored: the box's
    // bottom is one stroke width below the baseline plus 9 for the second line, -1000; it runs from
    // -100 to 1000 + 200.
    view.pixels = [](int64_t u) { return u / 256; };
    Ref two = text("AB", 600, 1000);
    node(two).text.lines = 2;
    Recorder r2;
    draw_text_item(two, 3, r2, view);
    ASSERT_EQ(r2.strokes.size(), 1u);
    EXPECT_EQ(segs(r2)[0], Seg(-100, -1000, 1200, -1000));
    // On a plotter (no pixels) a step of 0 draws nothing at all.
    Recorder plot;
    EXPECT_EQ(draw_text_item(t, 3, plot), 0);
    EXPECT_TRUE(plot.strokes.empty());
}

TEST_F(TextItems, ClipBoxCornersAndSkippedTexts) {
    // "A" of height 60 at (1000, 2000), stored length 40: the box runs 990..1060 along and 1990..2080
    // across (one stroke width below, 8 above).
    Ref t = text("A", 60, 40, 0, 0, 1000, 2000);
    TextBox seen;
    TextView view;
    view.visible = [&](const TextBox& b) {
        seen = b;
        return false;
    };
    Recorder r;
    EXPECT_EQ(draw_text_item(t, 3, r, view), 0);
    EXPECT_TRUE(r.strokes.empty());
    EXPECT_EQ(seen.x, (std::array<Coord, 4>{990, 1060, 1060, 990}));
    EXPECT_EQ(seen.y, (std::array<Coord, 4>{1990, 1990, 2080, 2080}));
    node(t).text.length = 77;
    draw_text_item(t, 3, r, view);
    EXPECT_EQ(node(t).text.length, 77); // a skipped text is not measured
    // Turned by 90 degrees the same box stands upright left of the anchor: (x, y) -> (-y, x).
    node(t).text.length = 40;
    node(t).text.angle = 16384;
    draw_text_item(t, 3, r, view);
    EXPECT_EQ(seen.x, (std::array<Coord, 4>{1010, 1010, 920, 920}));
    EXPECT_EQ(seen.y, (std::array<Coord, 4>{1990, 2060, 2060, 1990}));
}

TEST_F(TextItems, NewLinesTabsAndTheFixedPitchForm) {
    // 255 returns to the line start 9 steps lower and counts a line.
    Ref t = text("AB\xFF"
                 "A",
                 60, 1);
    Recorder r;
    draw_text_item(t, 3, r);
    EXPECT_EQ(r.strokes[r.strokes.size() - 3].x1, 0);
    EXPECT_EQ(r.strokes[r.strokes.size() - 3].y1, -90);
    EXPECT_EQ(node(t).text.lines, 2);
    EXPECT_EQ(node(t).text.length, 100); // longest line "AB": 120 - 20

    // A tab moves to the next multiple of 8 cells of 6 steps: 480.  B starts with a pen-up move to
    // (0, 3) steps and draws to (3, 3): (510, 30).
    Ref tab = text("A\tB", 60, 1);
    Recorder rt;
    draw_text_item(tab, 3, rt);
    EXPECT_EQ(segs(rt)[3], Seg(480, 30, 510, 30));
    EXPECT_EQ(node(tab).text.length, 480 + 60 - 20);

    // The fixed-pitch form (font 15) draws 255 as a glyph and stays on one line; its strokes are
    // 10 - 10/4 = 8 wide.  The line-break glyph 11 F1 11 00 FF 40 04 2A, after A's cell at 60: a pen-up
    // move to (1,1) steps, then (0,2), (1,3); pen up back to (0,2), then (4,2) and (4,6).
    Ref fixed = text("A\xFF", 60, 1, 0xF0);
    Recorder rf;
    draw_text_item(fixed, 3, rf);
    ASSERT_EQ(rf.strokes.size(), 7u);
    EXPECT_EQ(rf.strokes[0].width, 8);
    std::vector<Seg> got = segs(rf);
    EXPECT_EQ(std::vector<Seg>(got.begin() + 3, got.end()),
              (std::vector<Seg>{{70, 10, 60, 20}, {60, 20, 70, 30}, {60, 20, 100, 20}, {100, 20, 100, 60}}));
    EXPECT_EQ(node(fixed).text.lines, 1);
    EXPECT_EQ(node(fixed).text.length, 120 - 20);
    // The proportional form ends at the field separator; the fixed-pitch form draws it.
    Ref field = text("A\x7F"
                     "B",
                     60, 1);
    Recorder rp;
    draw_text_item(field, 3, rp);
    EXPECT_EQ(rp.strokes.size(), 3u);
    node(field).text.anchor_font = 0xF0;
    Recorder rq;
    draw_text_item(field, 3, rq);
    EXPECT_GT(rq.strokes.size(), 3u + 2u);
}

TEST_F(TextItems, MeasuringFollowsTheStepSums) {
    struct Case {
        const char* s;
        uint16_t height;
        uint8_t font;
        int32_t length;
        int lines;
    } cases[] = {
        {"A1", 60, 0, 90, 1}, // 11 steps: 60 x 9 / 6
        {"A1", 7, 0, 10, 1},  // 7 x 9 / 6 = 10.5, truncated
        {".", 60, 0, 10, 1},  // 2 steps, fewer than 3: 60 / 6
        {".", 5, 0, 1, 1},    // 5 / 6 = 0, at least 1
        {"AB\xFF"
         "A",
         60, 0, 100, 2},                  // longest line 12 steps
        {"A\t", 60, 0, 460, 1},           // the tab reaches 48 steps
        {"iii", 60, 0, 40, 1},            // 3 x 2 steps
        {"iii", 60, kFixedPitch, 160, 1}, // fixed pitch: 3 cells of 6
        {"A\xC2\xC3"
         "1",
         60, 0, 90, 1}, // size codes add no steps
        {"A\x7F"
         "BBB",
         60, 0, 40, 1}, // the field separator ends the text
    };
    for (const Case& c : cases) {
        Ref t = text(c.s, c.height, 1, static_cast<uint8_t>(c.font << 4));
        EXPECT_EQ(measure_text_item(t), 1);
        EXPECT_EQ(node(t).text.length, c.length) << c.s << " " << c.height;
        EXPECT_EQ(node(t).text.lines, c.lines) << c.s;
    }
    Ref line = MakeItem(ring, kLine, 1, 10, 0, 0, 5, 5);
    EXPECT_EQ(measure_text_item(line), 0);
}

TEST_F(TextItems, FieldReferencesAndPadSignalsAreDrawnAndMeasured) {
    // "&1" in a Component shows field 1, "R12": 6 + 5 + 6 = 17 steps -> 60 x 15 / 6 = 150.
    Ref c = make_component(ring, 0, 0,
                           "RES\x7FR12\x7F"
                           "10k");
    Ref members = member_ring(c);
    Ref ref = text("&1", 60, 1, 0, 0, 0, 0, members);
    measure_text_item(ref);
    EXPECT_EQ(node(ref).text.length, 150);
    Recorder r;
    draw_text_item(ref, 3, r);
    EXPECT_EQ(node(ref).text.length, 170 - 20);
    // "&@" shows the Signal of the next Pad: "GND" is 18 steps -> 160.
    Ref net = text("&@", 60, 1, 0, 0, 0, 0, members);
    Ref pad = MakeItem(members, kPad, 0, 1, 0, 0, 0, 0);
    AttachSignal(pad, "gnd");
    measure_text_item(net);
    EXPECT_EQ(node(net).text.length, 160);
    // Without a Pad after it the text shows itself: "&@" is 6 + 6 = 12 steps -> 100.
    Ref lone = text("&@", 60, 1);
    measure_text_item(lone);
    EXPECT_EQ(node(lone).text.length, 100);
    // The stored text stays as typed.
    EXPECT_EQ(GetText(ref), "&1");
}
