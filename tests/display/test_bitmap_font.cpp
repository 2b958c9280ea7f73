// The 8 x 16 status bar font built from its text source.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "display/bitmap_font.h"
#include "resources/resources.h"

using namespace trazel::display;

namespace {

std::vector<uint8_t> cell(const BitmapFont& f, int c) {
    return {f.begin() + c * 16, f.begin() + c * 16 + 16};
}

bool blank(const BitmapFont& f, int c) {
    for (uint8_t b : cell(f, c)) {
        if (b) {
            return false;
        }
    }
    return true;
}

} // namespace

TEST(StatusFont, ResourceBuildsIntoTheFourKilobyteLayout) {
    BitmapFont f{};
    std::string err;
    ASSERT_EQ(build_bitmap_font(trazel::resources::text("status_font"), f, &err), 1) << err;
    EXPECT_EQ(f, status_font_bitmap());
    // "H": rows 3..11 are "#...#" in columns 1..5 (bits 6 and 2: 0x44), the bar in row 7 is 0x7C; the
    // rows above and below are clear.
    std::vector<uint8_t> h(16, 0);
    for (int r = 3; r <= 11; ++r) {
        h[r] = 0x44;
    }
    h[7] = 0x7C;
    EXPECT_EQ(cell(f, 'H'), h);
    EXPECT_EQ(bitmap_row(f, 'I', 3), 0x38); // ".###." in columns 1..5
    EXPECT_EQ(bitmap_row(f, '_', 13), 0x7C);
}

TEST(StatusFont, CoversAsciiAndTheSymbolCodesWithDistinctGlyphs) {
    const BitmapFont& f = status_font_bitmap();
    EXPECT_TRUE(blank(f, ' '));
    std::set<std::vector<uint8_t>> seen;
    for (int c = 0x21; c <= 0x7E; ++c) {
        EXPECT_FALSE(blank(f, c)) << c;
        EXPECT_TRUE(seen.insert(cell(f, c)).second) << "glyph " << c << " repeats another";
    }
    // Stored symbol codes, and their typed forms, which share the glyph.
    int pairs[][2] = {{0xF8, 0xB0}, {0xE6, 0xB5}, {0xAB, 0xBD}, {0xAC, 0xBC}, {0xF1, 0xB1}};
    for (auto& p : pairs) {
        EXPECT_FALSE(blank(f, p[0])) << p[0];
        EXPECT_EQ(cell(f, p[0]), cell(f, p[1])) << p[0];
    }
    EXPECT_FALSE(blank(f, 0xEA));
    // Control codes have no glyph.
    EXPECT_TRUE(blank(f, 0x00));
    EXPECT_TRUE(blank(f, 0x0A));
}

TEST(StatusFont, SourceFormatAndMalformedSources) {
    std::string rows;
    for (int r = 0; r < 16; ++r) {
        rows += r == 0 ? "#......#\n" : r == 15 ? ".#.#.#.#\r\n" : "........\n";
    }
    BitmapFont f{};
    std::string err;
    ASSERT_EQ(build_bitmap_font("# comment\n\n41,61 letter a\n" + rows, f, &err), 1) << err;
    // The leftmost column is the top bit.
    EXPECT_EQ(bitmap_row(f, 'A', 0), 0x81);
    EXPECT_EQ(bitmap_row(f, 'A', 15), 0x55);
    EXPECT_EQ(cell(f, 'a'), cell(f, 'A'));
    EXPECT_TRUE(blank(f, 'B'));

    BitmapFont keep = f;
    std::string short_row = rows;
    short_row.replace(0, 9, "#......\n");
    std::string bad_char = rows;
    bad_char[3] = 'x';
    struct Bad {
        std::string src;
        const char* says;
    } bad[] = {
        {"letter\n" + rows, "line 1"},
        {"4G x\n" + rows, "hex"},
        {"41 A\n" + short_row, "line 2"},
        {"41 A\n" + bad_char, "8 characters"},
        {"41 A\n" + rows.substr(0, 15 * 9), "16th"},
        {"41 A\n" + rows + "42,41 B\n" + rows, "twice"},
    };
    for (const Bad& b : bad) {
        err.clear();
        EXPECT_EQ(build_bitmap_font(b.src, f, &err), 0) << b.src;
        EXPECT_NE(err.find(b.says), std::string::npos) << err;
    }
    EXPECT_EQ(f, keep);
}
