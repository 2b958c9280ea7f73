// The Excellon reader: digit-count coordinates, tools and the default drill, the header forms (ours
// and others'), units and zero forms, slots and repeats, and the format questions.
#include <fstream>
#include <sstream>

#include "file_text.h"
#include "formats_fixture.h"

using namespace fmttest;

namespace {

using test_files::slurp;

} // namespace

TEST_F(Import, DrillDigitCountsAndTools) {
    // One digit is tens of inches, two whole inches, more a fraction after the second.
    ASSERT_EQ(drill("T1C.035\nT1\nX0100Y0200\nX1Y02\nX-015Y00025\n"), 'E');
    auto p = pads();
    ASSERT_EQ(p.size(), 3u);
    EXPECT_EQ(n(p[0]).pad.x0, kIn);
    EXPECT_EQ(n(p[0]).pad.y0, 2 * kIn);
    EXPECT_EQ(n(p[0]).size, 3);
    EXPECT_EQ(n(p[0]).layer, 0);
    EXPECT_EQ(n(p[0]).pad.width, mil(35));
    EXPECT_EQ(n(p[0]).pad.height, mil(35));
    EXPECT_EQ(n(p[0]).pad.hole, mil(35));
    EXPECT_EQ(n(p[1]).pad.x0, 10 * kIn);
    EXPECT_EQ(n(p[2]).pad.x0, -kIn * 3 / 2);
    EXPECT_EQ(n(p[2]).pad.y0, kIn / 40);
    EXPECT_STREQ(d->setup.layers[0].name, "Pad Master");
    EXPECT_TRUE(d->setup.gerber[0].in_use());
    EXPECT_EQ(std::string(d->setup.gerber[0].ext, 3), "DRL");
}

TEST_F(Import, UnknownDrillsAndTheToolQuestion) {
    // A tool without diameter asks once; 0 or no answer leaves the 0.028 inch default.  Thousandths
    // without a point are diameters too.
    int asked = 0;
    ask.drill_tool = [&](formats::DrillToolForm& f) {
        ++asked;
        if (f.tool == 3) {
            f.diameter = 40;
        }
        return f.tool != 4;
    };
    ASSERT_EQ(drill("T2C20\nT2\nX01Y01\nT3\nX02Y01\nT4\nX03Y01\nT3\nX04Y01\nT0\nX05Y01\n"), 'E');
    EXPECT_EQ(asked, 2);
    auto p = pads();
    ASSERT_EQ(p.size(), 5u);
    EXPECT_EQ(n(p[0]).pad.width, mil(20));
    EXPECT_EQ(n(p[1]).pad.width, mil(40));
    EXPECT_EQ(n(p[2]).pad.width, formats::kDefaultDrill);
    EXPECT_EQ(n(p[3]).pad.width, mil(40));
    EXPECT_EQ(n(p[4]).pad.width, formats::kDefaultDrill);
}

TEST_F(Import, OwnDrillFilesBothForms) {
    // Mend: the tool lines before the first "%" are a header; "%" ends it, so the holes are drawn.
    for (const char* name : {"small_board.drl", "small_board_m48.drl"}) {
        model::DeleteItem(d->ring());
        std::string text = slurp(std::string(TRAZEL_SOURCE_DIR) + "/tests/data/" + name);
        ASSERT_FALSE(text.empty());
        ASSERT_EQ(drill(text), 'E') << name;
        auto p = pads();
        ASSERT_EQ(p.size(), 2u) << name;
        EXPECT_EQ(n(p[0]).pad.x0, kIn);
        EXPECT_EQ(n(p[0]).pad.y0, kIn);
        EXPECT_EQ(n(p[1]).pad.x0, mil(1100));
        EXPECT_EQ(n(p[1]).pad.hole, mil(35));
    }
}

TEST_F(Import, HeaderUnitsZerosAndDecimals) {
    // A hole inside an M48 header is not drawn; M95 ends the header as "%" does.
    ASSERT_EQ(drill("M48\nMETRIC,TZ\nT1C0.800\nX1000Y1000\nM95\nT1\nX25400Y-12700\nX25.4Y0.0\nM72\nX10000Y0\n"), 'E');
    auto p = pads();
    ASSERT_EQ(p.size(), 3u);
    EXPECT_NEAR(n(p[0]).pad.x0, kIn, 1); // 25.400 mm with three decimals kept
    EXPECT_NEAR(n(p[0]).pad.y0, -kIn / 2, 1);
    EXPECT_NEAR(n(p[0]).pad.width, 2064, 1); // 0.8 mm
    EXPECT_NEAR(n(p[1]).pad.x0, kIn, 1);     // a decimal point: millimetres as written
    EXPECT_EQ(n(p[2]).pad.x0, kIn);          // M72: inches, trailing zeros kept, four decimals

    model::DeleteItem(d->ring());
    ASSERT_EQ(drill("M48\nINCH,TZ\nT01F00S00C0.0300\n%\nG90\nG05\nT01\nX12205Y-5\n"), 'E');
    p = pads();
    ASSERT_EQ(p.size(), 1u);
    EXPECT_EQ(n(p[0]).pad.x0, 79987); // 1.2205 inch
    EXPECT_EQ(n(p[0]).pad.width, mil(30));

    model::DeleteItem(d->ring());
    ASSERT_EQ(drill("M48\nMETRIC,LZ,000.00\nT1C1.0\n%\nT1\nX00100Y-0005\n"), 'E');
    p = pads();
    ASSERT_EQ(p.size(), 1u);
    EXPECT_NEAR(n(p[0]).pad.x0, 2580, 1);  // 001.00 mm
    EXPECT_NEAR(n(p[0]).pad.y0, -1290, 1); // -000.5 mm
}

TEST_F(Import, SlotsRepeatsAndHighTools) {
    // G85 and a routed slot make oval through-hole Pads along the slot; R repeats the last step; tools
    // above 31 stay apart.
    ASSERT_EQ(drill("T1C.02\nT40C.05\nT41C.06\n%\nT1\nX01Y01G85X015Y01\n"
                    "G00X00Y03\nM15\nG01X00Y035\nM16\nG05\n"
                    "T40\nX05Y05\nR2X001\nT41\nX08Y08\nM30\nX09Y09\n"),
              'E');
    auto p = pads();
    ASSERT_EQ(p.size(), 6u);
    EXPECT_EQ(n(p[0]).size, 1);
    EXPECT_EQ(n(p[0]).pad.x0, kIn * 5 / 4);
    EXPECT_EQ(n(p[0]).pad.width, kIn / 2 + mil(20));
    EXPECT_EQ(n(p[0]).pad.height, mil(20));
    EXPECT_EQ(n(p[0]).pad.angle, 0);
    EXPECT_EQ(n(p[1]).pad.y0, kIn * 13 / 4);
    EXPECT_EQ(n(p[1]).pad.angle, 16384);
    EXPECT_EQ(n(p[2]).pad.width, mil(50));
    EXPECT_EQ(n(p[3]).pad.x0, mil(5100));
    EXPECT_EQ(n(p[4]).pad.x0, 5 * kIn + 2 * mil(100)); // steps add up
    EXPECT_EQ(n(p[5]).pad.width, mil(60));             // M30 ends the program
}

TEST_F(Import, LongSlotsAreCutIntoFewPieces) {
    // A 5-inch slot of a small drill is five pieces; a 1-inch drill still advances half its width a
    // piece instead of cutting the slot into thousands.
    ASSERT_EQ(drill("T1C.02\nT2C1.0\n%\nT1\nX00Y00G85X05Y00\nT2\nX00Y02G85X05Y02\n"), 'E');
    auto p = pads();
    size_t small = 0, wide = 0;
    for (auto r : p) {
        (n(r).pad.height == mil(20) ? small : wide)++;
    }
    EXPECT_LE(small, 6u);
    EXPECT_GE(small, 5u);
    EXPECT_LE(wide, 12u);
    EXPECT_GE(wide, 2u);
}

TEST_F(Import, DrillRecognitionAndItsQuestion) {
    std::string holes;
    for (int k = 0; k < 20; ++k) {
        holes += "X0" + std::to_string(k % 10) + "Y01\n";
    }
    // Mend: our header form with its comment line is counted as drill content.
    std::string ours = "M48\nINCH,LZ\n;TYPE=PLATED\nT1C0.035\n%\nT1\n" + holes + "T0\nM30\n";
    auto r = formats::recognise_excellon(ours);
    EXPECT_TRUE(r.accepted);
    EXPECT_TRUE(r.header);
    EXPECT_TRUE(r.tool_defs);
    EXPECT_FALSE(formats::recognise_excellon("%FSLAX24Y24*%\n%ADD10C,.01*%\nD10*\n" + holes).accepted);
    EXPECT_TRUE(formats::excellon_accepts("", 'I'));
    EXPECT_FALSE(formats::excellon_accepts(ours, 'G'));

    // Without header or tool definitions the drill format question comes; Cancel declines.
    std::string bare = "T1\n" + holes + "M30\n";
    ASSERT_TRUE(formats::recognise_excellon(bare).accepted);
    int asked = 0, tools = 0;
    ask.drill_format = [&](formats::DrillFormatForm& f) {
        ++asked;
        f.defaults = true;
        return true;
    };
    ask.drill_tool = [&](formats::DrillToolForm&) {
        ++tools;
        return true;
    };
    ASSERT_EQ(drill(bare, 0), 'E');
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(tools, 0); // default sizes chosen: no tool questions
    EXPECT_EQ(n(pads()[0]).pad.width, formats::kDefaultDrill);
    ask.drill_format = [](formats::DrillFormatForm&) { return false; };
    size_t before = pads().size();
    EXPECT_EQ(drill(bare, 0), 0);
    EXPECT_EQ(pads().size(), before);
}

TEST_F(Import, HugeDrillNumbersAreRefused) {
    ASSERT_EQ(drill("T99999999999C.03\nT1C.02\nT1\nX01Y01\nX99999999999Y02\n"), 'E');
    auto p = pads();
    ASSERT_EQ(p.size(), 2u);
    EXPECT_EQ(n(p[1]).pad.x0, kIn);
    EXPECT_EQ(n(p[1]).pad.y0, 2 * kIn);
    EXPECT_TRUE(reported("T number beyond 32 bits"));
    EXPECT_TRUE(reported("number beyond 32 bits"));
}
