// The version 2 and 3 readers: number forms, record rules and the hand-written files in tests/data/old,
// each read and compared with the whole Data file worked out for it.
#include <fstream>
#include <sstream>

#include "datafile_fixture.h"
#include "file_text.h"
#include "model/old_format.h"

namespace {

using namespace datafile_test;

using test_files::slurp;

std::string old_data(std::string_view name) {
    return std::string(TRAZEL_SOURCE_DIR) + "/tests/data/old/" + std::string(name);
}

struct OldReadTest : DataFileTest {
    // The Items of the Document's ring of one kind, in ring order.
    std::vector<Ref> of_kind(uint8_t kind, Ref head = kNone) const {
        std::vector<Ref> v;
        for (Ref r : items(head == kNone ? ring() : head)) {
            if (node(r).item_kind() == kind) {
                v.push_back(r);
            }
        }
        return v;
    }
};

TEST(OldNumbers, LengthsAnglesAndFractionsBothWays) {
    EXPECT_EQ(old_length_to_units(48), 3146); // 3145.728
    EXPECT_EQ(old_length_to_units(-48), -3146);
    EXPECT_EQ(old_length_to_units(1000), 65536);
    EXPECT_EQ(old_length_to_units(INT64_MAX / 2), kCoordLimit);
    EXPECT_EQ(units_to_old_length(3146), 48);
    EXPECT_EQ(units_to_old_length(-3146), -48);
    EXPECT_EQ(units_to_old_length(32), 0);  // 0.488 thousandths
    EXPECT_EQ(units_to_old_length(33), 1);  // 0.504
    EXPECT_EQ(units_to_old_length(-33), -1);
    for (int m = -5000; m <= 5000; m += 7) {
        EXPECT_EQ(units_to_old_length(old_length_to_units(m)), m);
    }
    EXPECT_EQ(short_angle_to_angle(64), 16384);
    EXPECT_EQ(short_angle_to_angle(-32), 57344); // 315 degrees
    EXPECT_EQ(short_angle_to_angle(256 + 1), 256);
    EXPECT_EQ(angle_to_short_angle(57344), 224);
    EXPECT_EQ(angle_to_short_angle(127), 0);
    EXPECT_EQ(angle_to_short_angle(128), 1);
    EXPECT_EQ(angle_to_short_angle(65535), 0);
    EXPECT_EQ(short_fraction_to_field(128), 32768);
    EXPECT_EQ(short_fraction_to_field(256), 0); // 1.0 wraps to 0, a circle either way
    EXPECT_EQ(field_to_short_fraction(32768), 128);
    EXPECT_EQ(field_to_short_fraction(65535), 0);
}

TEST(OldNumbers, TextCornerForAllAnchorsAtQuarterTurns) {
    const Length h = 300;
    const Coord len = 600;
    const Coord dx[4] = {0, -300, -600, 100}; // Left, Center, Right, Offset
    const Coord dy[4] = {0, -150, -300, 100}; // Bottom, Center, Top, Base
    for (int anchor = 0; anchor < 16; ++anchor) {
        Coord x = dx[anchor & 3], y = dy[anchor >> 2];
        Point p0 = text_corner_offset(anchor, h, len, 0);
        EXPECT_EQ(p0.x, x) << anchor;
        EXPECT_EQ(p0.y, y) << anchor;
        Point p90 = text_corner_offset(anchor, h, len, 16384);
        EXPECT_EQ(p90.x, -y) << anchor;
        EXPECT_EQ(p90.y, x) << anchor;
    }
    // A mirrored text (negative length) centres the other way.
    EXPECT_EQ(text_corner_offset(1, h, -len, 0).x, 300);
}

TEST(OldNumbers, SignaturesAndMinorNumber) {
    EXPECT_TRUE(accepts_version3("TRAZEL Version 3.8 -- DATA FILE\r\n", 0));
    EXPECT_FALSE(accepts_version3("TRAZEL Version 3.8 -- DATA FILE\r\n", 'Z'));
    EXPECT_FALSE(accepts_version3("TRAZEL Version 4.0 -- Data File.\r\n", 0));
    EXPECT_TRUE(accepts_version2("TRAZEL Version 2.4\r\n", 0));
    EXPECT_FALSE(accepts_version2("TRAZEL Version 3.4\r\n", 0));
    EXPECT_EQ(version2_minor("TRAZEL Version 2.9 -- DATA FILE"), 1);
    EXPECT_EQ(version2_minor("TRAZEL Version 2.4"), 4);
    EXPECT_EQ(version2_minor("TRAZEL Version 2.6"), 6);
    EXPECT_EQ(version2_minor("TRAZEL Version 2."), 0);
}

// Each hand-written file against its whole expected Data file, and what the user is told.
TEST_F(OldReadTest, HandWrittenFilesGiveTheirDataFiles) {
    struct Case {
        const char* file;
        char code;
        std::vector<std::string> reports;
    };
    const Case cases[] = {
        {"v3_board.pcb", '3', {"v3_board.pcb: 2 pictures in the older picture format left out."}},
        {"v24_board.pcb", '2', {"v24_board.pcb: 1 size was too large for its 16-bit field and held to the largest value."}},
        {"v25_board.pcb", '2', {}},
        {"v26_board.pcb", '2', {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        ui.reports.clear();
        std::string in = slurp(old_data(c.file));
        ASSERT_FALSE(in.empty());
        close_document(d);
        d = NewDocument("board.pcb");
        LineReader r;
        r.open_memory(in);
        r.set_label(c.file);
        EXPECT_EQ(ChooseReader(formats, r, 0), c.code);
        std::string expected = std::string(c.file);
        expected.replace(expected.size() - 4, 4, ".expected");
        EXPECT_EQ(write(), slurp(old_data(expected)));
        EXPECT_EQ(ui.reports, c.reports);
    }
}

TEST_F(OldReadTest, Version3RecordRules) {
    ASSERT_EQ(read(slurp(old_data("v3_board.pcb"))), '3');
    // Step 1: the screen colours and no track isolation.
    EXPECT_EQ(d->setup.background, 0x909090u);
    EXPECT_EQ(d->setup.iso_top.passes, 0);
    // Sweep -64 at start 32: start 315 degrees, sweep 90.
    auto arcs = of_kind(kArc);
    ASSERT_EQ(arcs.size(), 1u);
    EXPECT_EQ(node(arcs[0]).arc.start, 57344);
    EXPECT_EQ(node(arcs[0]).arc.sweep, 16384);
    EXPECT_EQ(node(arcs[0]).arc.radius, old_length_to_units(250));
    // The Components are re-sorted: R1 closes after U1 but comes first.
    auto comps = of_kind(kComponent);
    ASSERT_EQ(comps.size(), 2u);
    EXPECT_EQ(ComponentField(comps[0], 0), "R1");
    EXPECT_EQ(ComponentField(comps[1], 0), "U1");
    EXPECT_EQ(node(comps[1]).size, 16384); // short angle 64
    // 0x31 on layer 0: through-hole type 1 on layer 3; a pad written on its layer is surface mount.
    auto pads = of_kind(kPad, member_ring(comps[1]));
    ASSERT_EQ(pads.size(), 2u);
    EXPECT_EQ(node(pads[0]).layer, 3);
    EXPECT_EQ(node(pads[0]).size, 1);
    EXPECT_EQ(node(pads[1]).size, 2 | 4);
    // The Ratnest line went to layer 255; both width-0 records are four- and three-vertex Solids.
    std::vector<int> solid_vertices;
    bool on_255 = false;
    for (Ref l : of_kind(kLine)) {
        on_255 |= node(l).layer == 255;
        EXPECT_NE(node(l).layer, 15);
        if (node(l).size == 0) {
            solid_vertices.push_back(vertex_count(l));
        }
    }
    EXPECT_TRUE(on_255);
    EXPECT_EQ(solid_vertices, (std::vector<int>{4, 3}));
    // The text on the type-6 layer is a Signal label anchored at 15; the mirrored one has a negative
    // length whatever the sign written.
    auto texts = of_kind(kText);
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(node(texts[0]).text.anchor_font, 15);
    EXPECT_EQ(signal_name(item_signal(texts[0])), "DATA");
    EXPECT_EQ(node(texts[0]).text.x0, old_length_to_units(300) - 1092);
    EXPECT_EQ(node(texts[1]).text.anchor_font, 0);
    EXPECT_EQ(node(texts[1]).text.length, -old_length_to_units(300));
    EXPECT_EQ(node(texts[1]).size, old_length_to_units(60));
    // "5" and "7" are skipped.
    EXPECT_TRUE(of_kind(kPointGroup).empty());
    EXPECT_TRUE(of_kind(kDocument).empty());
}

TEST_F(OldReadTest, Version2MinorNumbers) {
    // 2.9 is m = 1: heights times 6, end-point texts, no Signal names on Lines.
    ASSERT_EQ(read("TRAZEL Version 2.9\r\n1 3 10 0 0 100 0 GND\r\n4 1 8 100 200 100 500 UP\r\n"), '2');
    auto texts = of_kind(kText);
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(node(texts[0]).size, 3146); // 48 thousandths
    EXPECT_EQ(node(texts[0]).text.angle, 16384);
    EXPECT_EQ(node(texts[0]).text.length, old_length_to_units(300));
    EXPECT_EQ(item_signal(of_kind(kLine)[0]), kNone);
    // The version-2 board defaults: layer 15 stays "Special", even when a file makes it yellow.
    EXPECT_STREQ(d->setup.layers[15].name, "Special");
    ASSERT_EQ(read("TRAZEL Version 2.4\r\n-y15:14,7,Ratnest\r\n1 15 10 0 0 100 0\r\n"), '2');
    EXPECT_STREQ(d->setup.layers[15].name, "Ratnest");
    EXPECT_FALSE(d->setup.layers[255].in_use());
    EXPECT_EQ(node(of_kind(kLine)[0]).layer, 15);
    // "-gd" is a plain length: 50 thousandths in units, as the dot spacing's fraction.
    ASSERT_EQ(read("TRAZEL Version 2.5\r\n-gd50\r\n"), '2');
    EXPECT_EQ(d->setup.grid_dots, 3277u << 16);
}

TEST_F(OldReadTest, EndPointDiagonalsCountAsHorizontal) {
    ASSERT_EQ(read("TRAZEL Version 2.5\r\n"
                   "4 1 8 0 0 200 200 A\r\n"   // exact diagonal up-right: 0 degrees
                   "4 1 8 0 0 -200 200 B\r\n"  // exact diagonal up-left: 180 degrees
                   "4 1 8 0 0 100 -300 C\r\n"  // mostly down: 270 degrees
                   "4 1 8 0 0 0 0 D\r\n"),     // no direction: 0 degrees, length 0
              '2');
    auto t = of_kind(kText);
    ASSERT_EQ(t.size(), 4u);
    EXPECT_EQ(node(t[0]).text.angle, 0);
    EXPECT_EQ(node(t[0]).text.length, old_length_to_units(200));
    EXPECT_EQ(node(t[1]).text.angle, 32768);
    EXPECT_EQ(node(t[2]).text.angle, 49152);
    EXPECT_EQ(node(t[2]).text.length, old_length_to_units(300));
    EXPECT_EQ(node(t[3]).text.length, 0);
}

TEST_F(OldReadTest, LibraryFilesResolveSymbolicLayers) {
    ASSERT_EQ(read("TRAZEL Version 3.5\r\n-y1:7,0,Top Silk\r\n-y3:4,2,Top Side\r\n"
                   "6 0 0 0 0 100 100 DIP8\r\n1 ST 10 0 0 100 0\r\n3 CT 2 0 0 50 50 0 1\r\n0 6 0 0 0\r\n",
                   0, "PARTS.LIB"),
              '3');
    auto comps = of_kind(kComponent);
    ASSERT_EQ(comps.size(), 1u);
    auto members = items(member_ring(comps[0]));
    ASSERT_EQ(members.size(), 2u);
    EXPECT_EQ(node(members[0]).layer, 1);
    EXPECT_EQ(node(members[1]).layer, 3);
    EXPECT_EQ(node(members[1]).size, 2 | 4);
}

TEST_F(OldReadTest, HostileFilesAreHeldAndReportedOnce) {
    // Sizes beyond their 16-bit field: held to the largest value and told once for the whole file.
    ASSERT_EQ(read("TRAZEL Version 3.0\r\n1 3 2000 0 0 10 10\r\n3 3 1 0 0 99999999999 -5 0 1\r\n"
                   "4 1 -1200 0 0 10 0 X\r\n"),
              '3');
    EXPECT_EQ(node(of_kind(kLine)[0]).size, 65535);
    EXPECT_EQ(node(of_kind(kPad)[0]).pad.width, 65535);
    EXPECT_EQ(node(of_kind(kPad)[0]).pad.height, 0);
    EXPECT_EQ(node(of_kind(kText)[0]).size, 65535);
    ASSERT_EQ(ui.reports.size(), 1u);
    EXPECT_NE(ui.reports[0].find("4 sizes were too large"), std::string::npos);
    // Deep nesting and stray closings: held to the depth limit, nothing left open, no hang.
    std::string deep = "TRAZEL Version 3.0\r\n0 6 0 0 0\r\n";
    for (int k = 0; k < 5000; ++k) {
        deep += "6 0 0 0 0 10 10 N\r\n1 1 10 0 0 10 10\r\n";
    }
    ASSERT_EQ(read(deep), '3');
    int depth = 0;
    walk_tree(ring(), [&](Ref, int dep) { depth = std::max(depth, dep); });
    EXPECT_EQ(depth, kMaxComponentDepth);
}

} // namespace
