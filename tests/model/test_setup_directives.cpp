#include <gtest/gtest.h>

#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "model/model.h"
#include "model/numbers.h"
#include "model/setup_directives.h"

using namespace trazel::model;

// Inside a TEST body gtest's own Test::Setup hides the type's name.
using SetupRecord = trazel::model::Setup;

namespace {

// A fresh model with one Document; pixels are the colours inverted so a test can tell them apart.
struct Fixture {
    Model m;
    Fixture() {
        m.to_pixel = [](uint32_t c) { return c ^ 0xFFFFFF; };
        NewDocument("t.pcb");
    }
};

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> out;
    size_t p = 0;
    while (p < text.size()) {
        size_t e = text.find("\r\n", p);
        EXPECT_NE(e, std::string::npos) << "every line ends with CR LF";
        if (e == std::string::npos) {
            break;
        }
        out.push_back(text.substr(p, e - p));
        p = e + 2;
    }
    return out;
}

// Reads a written header back the way the Data file reader does: only the lines that start with "-".
void read_header(Setup& s, const std::string& text) {
    for (const std::string& l : lines_of(text)) {
        if (!l.empty() && l[0] == '-') {
            ApplyDirective(s, l);
        }
    }
}

std::string header(const Setup& s) {
    std::string out;
    WriteSetup(s, out);
    return out;
}

} // namespace

TEST(SetupDirectives, CommonRulesCaseBlanksAndNonDirectives) {
    Fixture f;
    SetupRecord s;
    // 12 thousandths and .012 inch are both 0.012 * 65536 = 786.4 -> 786 units.
    // The "-" is optional; only six fraction digits count.
    for (const char* l : {"   -IL12", "il.012", "-iL0.0120004"}) {
        s.line_width = 0;
        EXPECT_TRUE(ApplyDirective(s, l));
        EXPECT_EQ(s.line_width, 786) << l;
    }

    std::string before = header(s);
    for (const char* l : {";-il5", "  \x01-il5", "   "}) {
        EXPECT_FALSE(ApplyDirective(s, l)) << l;
    }
    EXPECT_FALSE(ApplyOldDirective(s, ";-l5"));
    // Unlisted letters are directives that change nothing.
    for (const char* l : {"-qz5", "-gq5", "-gtx5"}) {
        EXPECT_TRUE(ApplyDirective(s, l)) << l;
    }
    EXPECT_TRUE(ApplyOldDirective(s, "-nh2"));
    EXPECT_EQ(header(s), before);

    // Every number takes exactly one character after it: "5;7" is 5 then 7, a missing field is 0.
    ApplyDirective(s, "-iv5;.05");
    EXPECT_EQ(s.via_layer, 5);
    EXPECT_EQ(s.via_diameter, 3277); // 0.05 * 65536 = 3276.8
    EXPECT_EQ(s.via_hole, 0);

    // The Document overloads work on the current Document.
    EXPECT_TRUE(ApplyDirective("-it.048"));
    EXPECT_EQ(M().setup().text_height, 3146); // 0.048 * 65536 = 3145.7
}

TEST(SetupDirectives, SnapSpacingUnitsDecimalsAndTable) {
    Fixture f;
    SetupRecord s;
    // 0.025 inch = 0.025 * 2^32 = 107374182.4; three fraction digits give three decimals.
    ApplyDirective(s, "-gs0.025,0,1,5,25,100");
    EXPECT_EQ(s.snap, 107374182u);
    EXPECT_EQ(s.decimals, 3);
    EXPECT_EQ(s.snap_index, 0);
    EXPECT_STREQ(s.snap_table[3].data(), "100");
    EXPECT_EQ(s.snap_table[4][0], 0);
    EXPECT_EQ(directive_line(s, "gs"), "-gs0.025\",0,1,5,25,100");

    // 1 mm = 2^32 / 25.4 = 169093200.6; without a ",", index and table stay.
    ApplyDirective(s, "-gs1mm");
    EXPECT_EQ(s.snap, 169093201u);
    EXPECT_EQ(s.decimals, -1);
    EXPECT_EQ(directive_line(s, "gs"), "-gs1.0mm,0,1,5,25,100");

    // Thousandths without a point: 25 -> 0.025 inch, three decimals.
    ApplyDirective(s, "-gs25,2");
    EXPECT_EQ(s.snap, 107374182u);
    EXPECT_EQ(s.decimals, 3);
    EXPECT_EQ(s.snap_index, 2);
    EXPECT_EQ(s.snap_table[0][0], 0); // a "," after the index's place empties the table

    // a/b of an inch: 1/8 = 2^29, shown with four decimals; empty entries are skipped, 11 characters kept.
    ApplyDirective(s, "-gs1/8\",1,a,,bcdefghijklmnop,c");
    EXPECT_EQ(s.snap, 1u << 29);
    EXPECT_EQ(s.decimals, 4);
    EXPECT_STREQ(s.snap_table[1].data(), "bcdefghijkl");
    EXPECT_EQ(directive_line(s, "gs"), "-gs0.1250\",1,a,bcdefghijkl,c");

    // Millimetre decimals are capped at 3; .5 mm = 2^32 * 0.5 / 25.4 = 84546600.3.
    ApplyDirective(s, "-gs.5mm,0");
    EXPECT_EQ(s.snap, 84546600u);
    EXPECT_EQ(s.decimals, -1);
    EXPECT_EQ(directive_line(s, "gs"), "-gs0.5mm,0");
    ApplyDirective(s, "-gs0.12345MM,0");
    EXPECT_EQ(s.decimals, -3);
    EXPECT_EQ(directive_line(s, "gs"), "-gs0.123mm,0"); // 0.12345 + 0.0005 cut to three decimals

    // One inch or more, and b not above a, give the largest fraction.
    for (const char* l : {"-gs1/1\",0", "-gs3/2,0", "-gs1000,0", "-gs1.0\",0", "-gs30mm,0", "-gs5/0,0"}) {
        ApplyDirective(s, l);
        EXPECT_EQ(s.snap, 0xFFFFFFFFu) << l;
    }
    ApplyDirective(s, "-gs1000,0");
    EXPECT_EQ(directive_line(s, "gs"), "-gs1.000\",0"); // 0.99999999977 + 0.0005

    // Sixteen entries at most; the index stays inside the table.
    ApplyDirective(s, "-gs.1,99,1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17");
    EXPECT_EQ(s.snap_index, 15);
    EXPECT_STREQ(s.snap_table[15].data(), "16");
    EXPECT_EQ(directive_line(s, "gs"), "-gs0.1\",15,1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16");
}

TEST(SetupDirectives, GridDotsAndScreenColours) {
    Fixture f;
    SetupRecord s;
    // 0.1 inch = 429496729.6 -> 429496730; upper 16 bits 6553 plus the rounding bit = 6554 -> ".1".
    ApplyDirective(s, "-gd.1,FFFFFF,909090,ffffff,FFFF00");
    EXPECT_EQ(s.grid_dots, 429496730u);
    EXPECT_EQ(s.background, 0x909090u);
    EXPECT_EQ(s.background_pixel, 0x6F6F6Fu); // through the model's to_pixel
    EXPECT_EQ(directive_line(s, "gd"), "-gd.1,FFFFFF,909090,FFFFFF,FFFF00");

    // Digits without a point are thousandths; missing colours read as 0.
    ApplyDirective(s, "-gd100");
    EXPECT_EQ(s.grid_dots, 429496730u);
    EXPECT_EQ(directive_line(s, "gd"), "-gd.1,000000,000000,000000,000000");

    // With a point a trailing m means millimetres: 0.5 mm = 0.019685 inch = 1290.08 units -> F ".01968".
    ApplyDirective(s, "-gd.5m,1,2,3,4");
    EXPECT_EQ(s.grid_dots, 84546600u);
    EXPECT_EQ(s.grid_colour, 1u);
    EXPECT_EQ(s.attention, 4u);
    EXPECT_EQ(directive_line(s, "gd"), "-gd.01968,000001,000002,000003,000004");

    // .00006 inch is 257698 = 3.93 units: written rounded (4 units -> ".00006"), so it reads back the same.
    ApplyDirective(s, "-gd.00006");
    EXPECT_EQ(directive_line(s, "gd"), "-gd.00006,000000,000000,000000,000000");
    ApplyDirective(s, "-gd5");
    EXPECT_EQ(s.grid_dots, 21474836u); // 0.005 * 2^32 = 21474836.48
    ApplyDirective(s, "-gd1000");
    EXPECT_EQ(s.grid_dots, 0xFFFFFFFFu);
    EXPECT_EQ(directive_line(s, "gd"), "-gd.99998,000000,000000,000000,000000"); // held below one inch
}

TEST(SetupDirectives, LayerLines) {
    Fixture f;
    SetupRecord s;
    ApplyDirective(s, "-y3:00FF0000,000000FF,2,9,Top Side");
    const LayerEntry& l3 = s.layers[3];
    EXPECT_STREQ(l3.name, "Top Side");
    EXPECT_EQ(l3.colour, 0xFF0000u);
    EXPECT_EQ(l3.pixel, 0x00FFFFu); // FF0000 through to_pixel
    EXPECT_EQ(l3.plot, 0x0000FFu);
    EXPECT_EQ(l3.type, 2);
    EXPECT_EQ(l3.sequence, 9);
    EXPECT_EQ(directive_line(s, "y3"), "-y3:00FF0000,000000FF,2,9,Top Side");

    // Four fields: no sequence after the type, so the sequence is the layer number.
    ApplyDirective(s, "-y5:0000FF00,01000000,18,Inner 1");
    EXPECT_EQ(s.layers[5].sequence, 5);
    EXPECT_EQ(s.layers[5].type, 18);
    EXPECT_STREQ(s.layers[5].name, "Inner 1");
    ApplyDirective(s, "-y6:0,0,2,3D View"); // digits then no "," are still a name
    EXPECT_EQ(s.layers[6].sequence, 6);
    EXPECT_STREQ(s.layers[6].name, "3D View");

    // The off bit stays in the pixel; names keep 15 characters and end at ";" or a control character.
    ApplyDirective(s, "-y7:01ABCDEF,0,0,7,ABCDEFGHIJKLMNOPQ");
    EXPECT_EQ(s.layers[7].pixel, 0x01000000u | (0xABCDEFu ^ 0xFFFFFFu));
    EXPECT_STREQ(s.layers[7].name, "ABCDEFGHIJKLMNO");
    ApplyDirective(s, "-y8:0,0,0,8,Top, Mask;old name");
    EXPECT_STREQ(s.layers[8].name, "Top, Mask");
    ApplyDirective(s, "-y9:0,0,0,9,Pen\x02x");
    EXPECT_STREQ(s.layers[9].name, "Pen");
    std::string before = header(s);
    ApplyDirective(s, "-y256:0,0,0,9,Nowhere"); // no such layer
    ApplyDirective(s, "-y-1");
    EXPECT_EQ(header(s), before);

    // Without ":" the number is the current layer and every entry is cleared.
    ApplyDirective(s, "-y3");
    EXPECT_EQ(s.current_layer, 3);
    for (int i : {3, 5, 7, 200}) {
        EXPECT_EQ(s.layers[i].name[0], 0);
        EXPECT_EQ(s.layers[i].colour, 0u);
        EXPECT_EQ(s.layers[i].plot, 0u);
        EXPECT_EQ(s.layers[i].type, 0);
        EXPECT_EQ(s.layers[i].sequence, i);
    }
    EXPECT_EQ(s.layers[3].pixel, 0xFFFFFFu); // colour 0 through to_pixel
}

TEST(SetupDirectives, GerberParametersFillFloor) {
    Fixture f;
    SetupRecord s;
    // .01 -> 655.36, .005 -> 327.68, .025 -> 1638.4; no fifth value, below 131, so it becomes 131.
    ApplyDirective(s, "-dp.01,.005,.025,.025");
    EXPECT_EQ(s.mask_increment, 655);
    EXPECT_EQ(s.gerber_fill_width, 131);
    ApplyDirective(s, "-dp0,0,0,0");
    EXPECT_EQ(s.gerber_fill_width, 0);
    ApplyDirective(s, "-dp0,0,0,0,1"); // 1 thousandth = 65.5 -> 66, kept with four zeros
    EXPECT_EQ(s.gerber_fill_width, 66);
    ApplyDirective(s, "-dp0,0,1,0,.01");
    EXPECT_EQ(s.gerber_fill_width, 655);
    // The older four-value form grows pads too, so the same floor holds for it.
    ApplyDirective(s, "-dp0,0,0,0");
    ApplyOldDirective(s, "-dp10,5,0,25");
    EXPECT_EQ(s.mask_increment, 655);
    EXPECT_EQ(s.gerber_fill_width, 131);
}

TEST(SetupDirectives, GerberFilesAndLibraries) {
    Fixture f;
    SetupRecord s;
    ApplyDirective(s, "-dyTOP:0,3");
    ApplyDirective(s, "-dyBSM:10,13,12");
    ApplyDirective(s, "-dy TOP:0,3"); // an entry needs a first character above a blank
    ApplyDirective(s, "-dyDRL:4");
    EXPECT_STREQ(s.gerber[1].ext, "BSM");
    EXPECT_EQ(s.gerber[1].kind, 10);
    EXPECT_TRUE(s.gerber[1].layers.test(12) && s.gerber[1].layers.test(13));
    EXPECT_EQ(s.gerber[1].layers.count(), 2u);
    EXPECT_STREQ(s.gerber[2].ext, "DRL");
    EXPECT_FALSE(s.gerber[3].in_use());
    EXPECT_EQ(directive_line(s, "dy1"), "-dyBSM:10,12,13"); // layers ascending
    ApplyDirective(s, "-dy");
    EXPECT_FALSE(s.gerber[0].in_use());
    for (int i = 0; i < 30; ++i) {
        ApplyDirective(s, "-dyG" + std::to_string(10 + i) + ":0," + std::to_string(i));
    }
    EXPECT_STREQ(s.gerber[23].ext, "G33"); // entries past the 24th are ignored
    EXPECT_TRUE(s.gerber[23].layers.test(23));

    ApplyDirective(s, "-bPARTS.LIB");
    ApplyDirective(s, "-B  C:\\MY LIBS\\SMD.LIB  ");
    EXPECT_STREQ(s.libraries[0].data(), "PARTS.LIB");
    EXPECT_STREQ(s.libraries[1].data(), "C:\\MY LIBS\\SMD.LIB");
    ApplyDirective(s, "-b");
    EXPECT_EQ(s.libraries[0][0], 0);
    for (int i = 0; i < 40; ++i) {
        ApplyDirective(s, "-bLIBRARY_NAME_LONGER_THAN_32_CHARS_" + std::to_string(i));
    }
    EXPECT_EQ(std::strlen(s.libraries[31].data()), 32u);
    EXPECT_STREQ(s.libraries[31].data(), "LIBRARY_NAME_LONGER_THAN_32_CHAR"); // from line 31; 32 slots only
}

TEST(SetupDirectives, TrackIsolationNameOrTarget) {
    Fixture f;
    SetupRecord s;
    s.iso_top.sources.set(9);
    // No name and no sources: the last number is the target layer.
    ApplyDirective(s, "-gtt2,.01,.005,.002,.02,.01,.004,5");
    EXPECT_EQ(s.iso_top.passes, 2);
    EXPECT_EQ(s.iso_top.signal[0], 0);
    EXPECT_EQ(s.iso_top.target, 5);
    EXPECT_TRUE(s.iso_top.sources.none()); // emptied before the list
    // Written with the (empty) name field, so it reads back the same way.
    EXPECT_EQ(directive_line(s, "gtt"), "-gtt2,.01,.005,.002,.02,.01,.004,,5");

    ApplyDirective(s, "-GTB1,0,0,0,0,0,0,GND,3,1,2");
    EXPECT_STREQ(s.iso_bottom.signal, "GND");
    EXPECT_EQ(s.iso_bottom.target, 3);
    EXPECT_EQ(s.iso_bottom.sources.count(), 2u);
    ApplyDirective(s, "-gtb1,0,0,0,0,0,0,4,7,9");
    EXPECT_EQ(s.iso_bottom.signal[0], 0);
    EXPECT_EQ(s.iso_bottom.target, 4);
    EXPECT_TRUE(s.iso_bottom.sources.test(7) && s.iso_bottom.sources.test(9));
    ApplyDirective(s, "-gtb1,0,0,0,0,0,0,+5V,2");
    EXPECT_STREQ(s.iso_bottom.signal, "+5V");
    EXPECT_EQ(s.iso_bottom.target, 2);
    // Lengths are 16-bit: a value past one inch is held at 65535 (".99998"), not wrapped.
    ApplyDirective(s, "-gtt1,2.0,-1");
    EXPECT_EQ(s.iso_top.iso_tool, 65535);
    EXPECT_EQ(s.iso_top.iso_overlap, 0);
}

TEST(SetupDirectives, ClearancesModesPlotAndDefaults) {
    Fixture f;
    SetupRecord s;
    s.flood_sources.set(200);
    // 10 thousandths -> 655.36, 14 -> 917.5, 8 -> 524.3, 12 -> 786.4, 24 -> 1572.9, 11 -> 720.9.
    ApplyDirective(s, "-gc10,14,8,12,24,10,11,GND,VCC,3,1,12,300");
    EXPECT_EQ(s.fill_iso_pads, 918);
    EXPECT_EQ(s.clear_pad_pad, 1573);
    EXPECT_EQ(s.ratnest_width, 721);
    EXPECT_STREQ(s.thermal_signal, "GND");
    EXPECT_STREQ(s.direct_signal, "VCC");
    EXPECT_EQ(s.flood_target, 3);
    EXPECT_EQ(s.flood_sources.count(), 2u); // 300 is no layer; the old 200 went
    EXPECT_EQ(directive_line(s, "gc"), "-gc.01,.014,.008,.012,.024,.01,.011,GND,VCC,3,1,12");
    ApplyDirective(s, "-gc0,0,0,0,0,0");
    EXPECT_EQ(directive_line(s, "gc"), "-gc0,0,0,0,0,0,0,,,0");

    ApplyDirective(s, "-gm3,6,3,265");
    EXPECT_EQ(s.mode_refs, 9); // a byte: 265 & 255
    ApplyDirective(s, "-gp7,0,1.5,-1,0,.5,10.0,24");
    EXPECT_EQ(s.plot_scale, 98304);
    EXPECT_EQ(s.plot_xmin, -66); // -1 thousandth = -65.5 -> -66
    EXPECT_EQ(s.plot_ymax, 655360);
    EXPECT_EQ(directive_line(s, "gp"), "-gp7,0,1.5,-.001,0,.5,10.0,24");
    ApplyDirective(s, "-ga-1");
    EXPECT_EQ(s.router_algorithms, 0xFFFFFFFFu);
    EXPECT_EQ(directive_line(s, "ga"), "-ga-1");
    ApplyDirective(s, "-gfGx");
    EXPECT_EQ(s.format_code, 'G');
    ApplyDirective(s, "-gf");
    EXPECT_EQ(s.format_code, 0);
    EXPECT_EQ(directive_line(s, "gf"), "-gf");
    ApplyDirective(s, "-gz-.5,1");
    EXPECT_EQ(s.origin_x, -32768);
    EXPECT_EQ(s.origin_y, 66);
}

TEST(SetupDirectives, OlderDialect) {
    Fixture f;
    SetupRecord s;
    // Lines-and-arcs (a & 3) + 4 (f & 1), pads (b & 3) + 4 (h & 1), text c & 3, references e.
    ApplyOldDirective(s, "-gm7,6,5,4,9,1,0,1");
    EXPECT_EQ(s.mode_lines, 7);
    EXPECT_EQ(s.mode_pads, 6);
    EXPECT_EQ(s.mode_text, 1);
    EXPECT_EQ(s.mode_refs, 9);
    ApplyOldDirective(s, "-gm3,2,3,1");
    EXPECT_EQ(s.mode_refs, 0);

    ApplyOldDirective(s, "-hp1204000000006000");
    EXPECT_EQ(s.layers[0].plot, 0xFFFF00u);
    EXPECT_EQ(s.layers[1].plot, 0xFF00FFu);
    EXPECT_EQ(s.layers[2].plot, kNoColour);
    EXPECT_EQ(s.layers[3].plot, 0x00FFFFu);
    EXPECT_EQ(s.layers[12].plot, 0x0000FFu);
    EXPECT_EQ(s.layers[15].plot, kNoColour);

    // Scale, four lengths for older files only, then the plot window: 1 -> 65.5 -> 66, 10 -> 655.36.
    ApplyOldDirective(s, "-hs1.000,1,2,3,4,10,20,30,40");
    EXPECT_EQ(s.plot_scale, 65536);
    EXPECT_EQ(s.old_plot_extra[0], 66);
    EXPECT_EQ(s.plot_xmin, 655);
    EXPECT_EQ(s.plot_ymax, 2621);
    ApplyOldDirective(s, "-hm3,2,3,1,1"); // 3 + 8 + 48 + 64 + 128
    EXPECT_EQ(s.old_plot_mode, 251);

    // The size's separator is the type letter: 45 -> 2949.1, 25 -> 1638.4.
    ApplyOldDirective(s, "-p45v25");
    EXPECT_EQ(s.pad_width, 2949);
    EXPECT_EQ(s.pad_hole, 1638);
    EXPECT_EQ(s.pad_type, 3);
    EXPECT_EQ(s.via_diameter, 2949);
    EXPECT_EQ(s.via_hole, 1638);
    ApplyOldDirective(s, "-p60R35,2");
    EXPECT_EQ(s.pad_type, 1);
    EXPECT_EQ(s.pad_layer, 2);
    EXPECT_EQ(s.via_diameter, 2949); // only a "V" sets the Via

    ApplyDirective(s, "-gc0,0,0,0,0,0,0,GND,VCC,3,1");
    ApplyOldDirective(s, "-nc10,14,8,12,24,10");
    EXPECT_EQ(s.fill_iso_lines, 655);
    EXPECT_EQ(s.fill_width, 655);
    EXPECT_EQ(s.thermal_signal[0], 0);
    EXPECT_EQ(s.direct_signal[0], 0);
    EXPECT_EQ(s.flood_target, 0);
    EXPECT_TRUE(s.flood_sources.none());

    ApplyOldDirective(s, "-gr2,50,1,5");
    EXPECT_EQ(s.decimals, 2);
    EXPECT_EQ(s.snap, 214748365u); // 0.05 * 2^32 = 214748364.8
    EXPECT_EQ(s.snap_index, 0);
    EXPECT_EQ(directive_line(s, "gs"), "-gs0.05\",0,1,5");

    ApplyOldDirective(s, "-y4:12,2,Top Side");
    EXPECT_EQ(s.layers[4].colour, 0xFF5555u);
    EXPECT_EQ(s.layers[4].sequence, 4);
    ApplyOldDirective(s, "-y4"); // current layer only, nothing cleared
    EXPECT_EQ(s.current_layer, 4);
    EXPECT_STREQ(s.layers[4].name, "Top Side");
}

TEST(SetupDirectives, OlderYellowLayer15IsTheRatnest) {
    Fixture f;
    SetupRecord s;
    ApplyOldDirective(s, "-y15:0,7,Special"); // not yellow: stays layer 15
    EXPECT_STREQ(s.layers[15].name, "Special");
    EXPECT_FALSE(s.old_ratnest15);
    ApplyOldDirective(s, "-y15:14,4,Special Layer");
    EXPECT_STREQ(s.layers[255].name, "Special Layer");
    EXPECT_EQ(s.layers[255].colour, 0xFFFF00u);
    EXPECT_EQ(s.layers[255].type, 4);
    EXPECT_EQ(s.layers[255].sequence, 255);
    EXPECT_STREQ(s.layers[15].name, "Special"); // untouched
    EXPECT_TRUE(s.old_ratnest15);
    // The plot digit of that layer 15 follows it to 255.
    ApplyOldDirective(s, "-hp000000000000000F");
    EXPECT_EQ(s.layers[255].plot, 0x777777u);
    EXPECT_EQ(s.layers[15].plot, 0u); // the file's layer 15 is now 255; the template's 15 keeps its own
    EXPECT_EQ(s.layers[14].plot, kNoColour);
    SetupRecord t;
    ApplyOldDirective(t, "-y15:14,4,Ratsnest");
    EXPECT_STREQ(t.layers[255].name, "Ratsnest");
    ApplyOldDirective(t, "-y15:14,4,Signals");
    EXPECT_STREQ(t.layers[15].name, "Signals");
    EXPECT_FALSE(t.old_ratnest15);
}

TEST(SetupTemplates, BuiltInSets) {
    Fixture f;
    SetupRecord s;
    ApplyDirective(s, "-y4:0,0,0,4,Old");
    ApplyDirective(s, "-dyTOP:0,3");
    ApplyDirective(s, "-bX.LIB");
    apply_template(s, Template::ChooserDefaults);
    EXPECT_EQ(s.current_layer, 1);
    EXPECT_EQ(s.layers[4].name[0], 0);
    EXPECT_FALSE(s.gerber[0].in_use());
    EXPECT_EQ(s.libraries[0][0], 0);
    EXPECT_EQ(s.grid_dots, 0u);
    EXPECT_EQ(s.background, 0x909090u);

    // The other sets are older-dialect lines (palette colours, "-hp" plot digits, "-gr" snaps); one
    // telling value each shows the set was read in its dialect.
    apply_template(s, Template::GerberImport);
    EXPECT_EQ(s.layers[0].plot, 0x00FFFFFFu);
    EXPECT_EQ(directive_line(s, "gs"), "-gs0.025\",0,1,5,25,100");

    SetupRecord v;
    apply_template(v, Template::Version2Board);
    EXPECT_EQ(v.layers[12].colour, 0x0000AAu);
    EXPECT_EQ(v.layers[12].plot, 0x0000FFu);
    EXPECT_EQ(v.gerber[3].kind, 8);

    SetupRecord t;
    apply_template(t, Template::TangoSchematic);
    EXPECT_EQ(t.layers[2].plot, 0xFF00FFu);

    SetupRecord l;
    apply_template(l, Template::LogView);
    EXPECT_EQ(l.layers[0].colour, 0u);
    EXPECT_STREQ(l.layers[0].name, "TXT");
    EXPECT_EQ(l.grid_dots, 4294967u); // 0.001 * 2^32 = 4294967.3
}

namespace {

// A setup with something in every group, set field by field so the writer is checked on its own.
void known_setup(Setup& s) {
    s.fill_iso_lines = 655;
    s.fill_iso_pads = 983;
    s.clear_line_line = 524;
    s.clear_line_pad = 786;
    s.clear_pad_pad = 1573;
    s.fill_width = 655;
    s.ratnest_width = 721;
    std::strcpy(s.thermal_signal, "GND");
    s.flood_target = 3;
    s.flood_sources.set(12);
    s.flood_sources.set(1);
    s.grid_dots = 0x1999999A;
    set_screen_colours(s, 0xFFFFFF, 0x909090, 0xFFFFFF, 0xFFFF00);
    s.mode_lines = 3;
    s.mode_pads = 2;
    s.mode_text = 3;
    s.mode_refs = 5;
    s.plot_options = 7;
    s.plot_omit = 3;
    s.plot_scale = 0x18000;
    s.plot_xmin = -65536;
    s.plot_ymin = 0;
    s.plot_xmax = 655360;
    s.plot_ymax = 32768;
    s.plot_depth = 24;
    s.snap = 169093201;
    s.decimals = -1;
    s.snap_index = 1;
    std::strcpy(s.snap_table[0].data(), "0.5");
    std::strcpy(s.snap_table[1].data(), "1");
    std::strcpy(s.snap_table[2].data(), "2.5");
    s.ext_xmin = s.ext_ymin = -131072;
    s.ext_xmax = 1310720;
    s.ext_ymax = 983040;
    s.origin_x = 6554;
    s.origin_y = -6554;
    s.iso_top = TrackIsolation{2, 655, 131, 328, 1311, 262, 66, {}, 3, {}};
    s.iso_top.sources.set(3);
    s.iso_bottom.passes = 1;
    std::strcpy(s.iso_bottom.signal, "GND");
    s.iso_bottom.target = 12;
    s.router_algorithms = 0x80000005;
    s.format_code = 'C';
    s.line_width = 655;
    s.via_diameter = 3277;
    s.via_hole = 1835;
    s.pad_type = 1;
    s.pad_width = 6554;
    s.pad_height = 4915;
    s.pad_hole = 2621;
    s.text_height = 3146;
    s.current_layer = 3;
    auto layer = [&](int i, const char* name, uint32_t colour, uint32_t plot, uint8_t type, uint8_t seq) {
        set_layer_name(s.layers[i], name);
        set_layer_colour(s.layers[i], colour);
        s.layers[i].plot = plot;
        s.layers[i].type = type;
        s.layers[i].sequence = seq;
    };
    layer(0, "Pad Master", 0xFFFFFF, kNoColour, 0, 0);
    layer(1, "Top Silk", 0xFFFF00, 0, 0, 1);
    layer(3, "Top Side", 0xFF0000, 0xFF0000, 2, 5);
    layer(7, "-", 0x00FF00, 0, 7, 7); // not in use: no line
    layer(12, "Bottom Side", 0x0000FF, 0, 10, 12);
    layer(255, "Ratnest", 0xFFFF00, 0, 4, 255);
    s.mask_increment = 655;
    s.paste_decrement = 328;
    s.plane_hole_decrement = 1638;
    s.gerber_fill_width = 131;
    auto gerber = [&](int i, const char* ext, uint8_t kind, std::initializer_list<int> layers) {
        std::memcpy(s.gerber[i].ext, ext, 3);
        s.gerber[i].kind = kind;
        for (int l : layers) {
            s.gerber[i].layers.set(l);
        }
    };
    gerber(0, "TOP", 0, {3});
    gerber(1, "BSM", 10, {13});
    gerber(2, "DRL", 4, {});
    std::strcpy(s.libraries[0].data(), "PARTS.LIB");
    std::strcpy(s.libraries[2].data(), "C:\\LIB\\SMD.LIB");
}

} // namespace

TEST(SetupWriter, FullHeaderLineByLine) {
    Fixture f;
    SetupRecord s;
    known_setup(s);
    // Worked from the F format (zero "0", no integer part below one inch, "1.0" for whole inches, "-" before
    // negatives): 983 -> floor(1499.9) = 1499, odd -> ".015"; 721 -> ".011"; 66 -> ".001";
    // 1835 -> 2799 -> ".028"; 4915 -> 7499 -> ".075"; grid dots 0x1999999A -> 0x1999 + rounding bit = 6554
    // -> ".1"; 1 mm snap -> 169093201 * 25.4 / 2^32 = 1.00000000097 -> "1.0mm"; 0x80000005 as a signed
    // integer is -2147483643.
    const std::vector<std::string> expected = {
        "Setup parameters:",
        "-gc.01,.015,.008,.012,.024,.01,.011,GND,,3,1,12",
        "-gd.1,FFFFFF,909090,FFFFFF,FFFF00",
        "-gm3,2,3,5",
        "-gp7,3,1.5,-1.0,0,10.0,.5,24",
        "-gs1.0mm,1,0.5,1,2.5",
        "-gx-2.0,-2.0,20.0,15.0",
        "-gz.1,-.1",
        "-gtt2,.01,.002,.005,.02,.004,.001,,3,3",
        "-gtb1,0,0,0,0,0,0,GND,12",
        "-ga-2147483643",
        "-gfC",
        "",
        "Item parameters:",
        "-il.01",
        "-iv0,.05,.028",
        "-ip1,0,.1,.075,.04",
        "-it.048",
        "-ix0",
        "",
        "Layer/color/plot/type/sequence/name table:",
        "-y3",
        "-y0:00FFFFFF,01000000,0,0,Pad Master",
        "-y1:00FFFF00,00000000,0,1,Top Silk",
        "-y3:00FF0000,00FF0000,2,5,Top Side",
        "-y12:000000FF,00000000,10,12,Bottom Side",
        "-y255:00FFFF00,00000000,4,255,Ratnest",
        "",
        "Gerber parameters:",
        "-dp.01,.005,0,.025,.002",
        "-dy",
        "-dyTOP:0,3",
        "-dyBSM:10,13",
        "-dyDRL:4",
        "",
        "Component libraries:",
        "-b",
        "-bPARTS.LIB",
        "-bC:\\LIB\\SMD.LIB",
        "",
    };
    std::string text = header(s);
    std::vector<std::string> got = lines_of(text);
    ASSERT_EQ(got.size(), expected.size()) << text;
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(got[i], expected[i]) << "line " << i + 1;
    }

    // Layer 0 is written even when it is not in use.
    SetupRecord empty;
    std::string e = header(empty);
    EXPECT_NE(e.find("\r\n-y0\r\n-y0:00000000,00000000,0,0,\r\n\r\n"), std::string::npos) << e;
}

TEST(SetupWriter, RoundTripOfARichSetup) {
    Fixture f;
    SetupRecord s;
    known_setup(s);
    std::string first = header(s);
    SetupRecord r;
    read_header(r, first);
    EXPECT_EQ(header(r), first);
    // The values themselves came back, not just their text.
    EXPECT_EQ(r.snap, s.snap);
    EXPECT_EQ(r.decimals, -1);
    EXPECT_EQ(r.layers[255].pixel, 0xFFFF00u ^ 0xFFFFFFu);
    EXPECT_EQ(r.iso_top.sources, s.iso_top.sources);
    EXPECT_EQ(r.flood_sources, s.flood_sources);
    EXPECT_EQ(r.router_algorithms, 0x80000005u);
    EXPECT_EQ(r.layers[7].name[0], 0);                       // "-" is not written, so it is cleared by the "-y3" line
    EXPECT_STREQ(r.libraries[1].data(), "C:\\LIB\\SMD.LIB"); // packed into the first free slot

    // A setup made from odd input in both dialects settles after one write.
    SetupRecord odd;
    for (const char* l : {"-gs1/3mm,3,a b ,  c,", "-y15:14,4,Ratnest", "-hp0123456789ABCDEF", "-gd.33333m,1FFFFFF",
                          "-y2:0,0,6,Signals   ", "-gtt1,0,0,0,0,0,0,12 4,5", "-dyT:P:3,1,1", "-nc1,2,3,4,5,6"}) {
        ApplyDirective(odd, l);
        ApplyOldDirective(odd, l);
    }
    std::string w1 = header(odd);
    SetupRecord again;
    read_header(again, w1);
    EXPECT_EQ(header(again), w1);
}

TEST(Numbers, HugeLengthsSaturateWithoutOverflow) {
    // Integer parts far past the 32768-inch range saturate instead of overflowing the intermediates.
    Cursor a("99999999999999999.5,");
    EXPECT_EQ(read_length(a), INT32_MAX);
    EXPECT_EQ(a.sep, ',');
    Cursor b("-99999999999999999.5");
    EXPECT_EQ(read_length(b), INT32_MIN);
    Cursor c("99999999999999999.5mm");
    EXPECT_EQ(read_length_unit(c), INT32_MAX);
    Cursor d("32767.5\"");
    EXPECT_EQ(read_length_unit(d), 32767 * 65536 + 32768);
}
