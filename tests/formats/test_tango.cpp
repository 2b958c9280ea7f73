// The Tango board reader and the schematic reader: a hand-worked board record by record, the edge
// cases, the side field by its first letter, faults reported rather than fatal, and the schematic's
// records found by their tokens.
#include <string>

#include "tango_fixture.h"

namespace tango_test {
namespace {

using model::kArc;
using model::kComponent;
using model::kLine;
using model::kPad;
using model::kText;

constexpr int kThou = 65536; // units per inch

int units(int mils) {
    return model::mils_to_units(mils);
}

TEST_F(Tango, RecognisesBoardsAndSchematicsByTheirFirstLineOrTheForcedCode) {
    EXPECT_TRUE(formats::tango_board_accepts(";Tango-PCB\r\n", 0));
    EXPECT_TRUE(formats::tango_board_accepts("VERSION 1 2 A\r\n", 0)); // what our writer writes
    EXPECT_FALSE(formats::tango_board_accepts("VERSIONS\r\n", 0));
    EXPECT_FALSE(formats::tango_board_accepts("PCB FILE 4\r\n", 0));
    EXPECT_FALSE(formats::tango_board_accepts(";Tango-PCB\r\n", 'P'));
    EXPECT_TRUE(formats::tango_board_accepts("anything", 'T'));
    // A forced "T" on a schematic is the schematic reader's, which comes first in the chooser.
    EXPECT_FALSE(formats::tango_board_accepts("TangoPRO_ASCII\r\n", 'T'));
    EXPECT_TRUE(formats::tango_schematic_accepts("TangoPRO_ASCII\r\n", 'T'));
    EXPECT_TRUE(formats::tango_schematic_accepts("TangoPRO_ASCII\r\n", 0));
    EXPECT_FALSE(formats::tango_schematic_accepts("TangoPRO\r\n", 0));
    EXPECT_FALSE(formats::tango_schematic_accepts(";Tango-PCB\r\n", 'T'));
}

TEST_F(Tango, ReadsEveryRecordOfAHandWorkedBoard) {
    ASSERT_EQ(board(source_file("tests/data/foreign/tango_board.pcb")), 'T');
    EXPECT_STREQ(d->setup.layers[7].name, "Top Copper");
    EXPECT_STREQ(d->setup.layers[255].name, "Ratnest");

    // The Component comes first in the ring, with its two pads and its reference text as members.
    Ref c = model::first_item(ring());
    ASSERT_EQ(node(c).item_kind(), kComponent);
    EXPECT_EQ(model::component_parameters(c), "DIP14\177U1\17774HC00\177\177");
    Ref head = model::member_ring(c);
    EXPECT_EQ(node(head).box.x1, units(1000));
    EXPECT_EQ(node(head).box.y1, units(2000));
    std::vector<Ref> members;
    for (Ref r : model::items_in(head)) {
        members.push_back(r);
    }
    ASSERT_EQ(members.size(), 3u);
    // The box is recomputed from the members, not taken from the record.
    EXPECT_EQ(node(c).box.x1, units(950));  // the reference text, left of pad 1 (970)
    EXPECT_GE(node(c).box.y2, units(2750)); // the text above the record's box

    std::vector<Ref> pads = all(kPad);
    ASSERT_EQ(pads.size(), 4u);
    const model::Node& p1 = node(pads[0]);
    EXPECT_EQ(p1.size, 2); // SQ through hole
    EXPECT_EQ(p1.layer, 0);
    EXPECT_EQ(p1.pad.x0, units(1000));
    EXPECT_EQ(p1.pad.width, units(60));
    EXPECT_EQ(p1.pad.hole, units(32));
    EXPECT_EQ(model::pin_text(pads[0]), "1");
    EXPECT_EQ(signal_of(pads[0]), "GND");
    EXPECT_EQ(node(pads[1]).size, 1); // EL
    EXPECT_EQ(signal_of(pads[1]), "VCC");
    // The edge case: side "T" on a square shape is a rectangular surface-mount Pad on layer 7.
    EXPECT_EQ(node(pads[2]).size, 6);
    EXPECT_EQ(node(pads[2]).layer, 7);
    EXPECT_EQ(node(pads[2]).pad.height, units(80));
    EXPECT_EQ(signal_of(pads[2]), "-");
    const model::Node& via = node(pads[3]);
    EXPECT_EQ(via.size, 3);
    EXPECT_EQ(via.pad.width, units(40));
    EXPECT_EQ(via.pad.height, units(40));
    EXPECT_EQ(via.pad.hole, units(20));
    EXPECT_EQ(signal_of(pads[3]), "GND");

    std::vector<Ref> lines = all(kLine);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(node(lines[0]).layer, 7);
    EXPECT_EQ(node(lines[0]).size, units(12));
    EXPECT_EQ(signal_of(lines[0]), "GND");
    EXPECT_EQ(node(lines[1]).layer, 8);
    EXPECT_EQ(node(lines[1]).size, 65); // width 0
    EXPECT_EQ(node(lines[1]).line.x2, units(100));

    std::vector<Ref> arcs = all(kArc);
    ASSERT_EQ(arcs.size(), 1u);
    EXPECT_EQ(node(arcs[0]).layer, 3);
    EXPECT_EQ(node(arcs[0]).arc.radius, units(100));
    EXPECT_EQ(node(arcs[0]).arc.start, 0);
    EXPECT_EQ(node(arcs[0]).arc.sweep, 16384);
    EXPECT_EQ(signal_of(arcs[0]), "VCC");

    std::vector<Ref> solids = all(kLine, true);
    ASSERT_EQ(solids.size(), 2u);
    EXPECT_EQ(model::vertex_count(solids[0]), 4); // FILL
    EXPECT_EQ(node(node(solids[0]).link).line.x1, units(100));
    EXPECT_EQ(node(solids[0]).layer, 7);
    EXPECT_EQ(model::vertex_count(solids[1]), 4); // POLY
    EXPECT_EQ(node(solids[1]).layer, 8);

    // The other edge case: ".REFDES" inside a Component shows its reference ID.
    std::vector<Ref> texts = all(kText);
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(model::GetText(texts[0]), "&1");
    EXPECT_EQ(model::resolved_text(texts[0]), "U1");
    EXPECT_EQ(node(texts[0]).layer, 3);
    EXPECT_GT(node(texts[0]).text.length, 0);
    EXPECT_EQ(model::GetText(texts[1]), "Say \"hi\"");
    EXPECT_EQ(node(texts[1]).text.angle, 16384); // flags 5: a quarter turn, mirrored
    EXPECT_LT(node(texts[1]).text.length, 0);

    // Use counts: GND on a pad, the via and a track; VCC on a pad and the arc.
    EXPECT_EQ(model::SignalUses(model::find_signal("GND", false)), 3u);
    EXPECT_EQ(model::SignalUses(model::find_signal("VCC", false)), 2u);
    EXPECT_TRUE(reported("XYZ record"));
}

TEST_F(Tango, SideFieldIsJudgedByItsFirstLetter) {
    ASSERT_EQ(board("VERSION 1 2 A\r\n"
                    "PAD SQ 50 50 0 TL NP \"1\" 0 0 0 0\r\n"
                    "PAD EL 50 50 0 BL NP \"2\" 100 0 0 0\r\n"
                    "PAD EL 50 50 30 AL NP \"3\" 200 0 0 0\r\n"
                    "PAD SQ 50 50 30 N P \"4\" 300 0 0 0\r\n"
                    "PAD SQ 50 50 30 A G \"5\" 400 0 0 0\r\n"),
              'T');
    std::vector<Ref> p = all(kPad);
    ASSERT_EQ(p.size(), 5u);
    std::vector<std::pair<int, int>> got;
    for (Ref r : p) {
        got.push_back({node(r).size, node(r).layer});
    }
    std::vector<std::pair<int, int>> want = {{6, 7}, {5, 8}, {1, 0}, {2, 9}, {2, 10}};
    EXPECT_EQ(got, want);
}

TEST_F(Tango, FaultsAreReportedAndNeverFatal) {
    std::string text = "VERSION 1 2 A\r\n"
                       "TR 10 0 0 0\r\n"                              // fields missing
                       "TR 10 0 99999999999 -99999999999 5 5 0 0\r\n" // beyond range
                       "PAD SQ 99999 50 0 A N \"1\" 0 0 0 0\r\n"      // a size beyond 65535 units
                       "TR 10 0 0 0 100 100 0 42\r\n"                 // no Component 42
                       "PNT 5 5\r\n"                                  // no polygon
                       "POLY 0 2 0\r\nPNT 0 0\r\nPNT 1 1\r\n"         // too few points
                       "STR \"\" 50 0 6 3 0 0 0 0 0 0 0\r\n"          // empty: skipped
                       "STR \"open 50 0 6 3 0 0 0 0 0 0 0\r\n"        // never closed
                       "ARC 10 0 90 5 0 7 7 0 9\r\n"                  // before its COMP
                       "COMP \"R9\" \"\" \"\" \"\" \"\" 0 0 0 0 0 0 9\r\n";
    for (int k = 0; k < 3000; ++k) {
        text +=
            "COMP \"C" + std::to_string(k) + "\" \"\" \"\" \"\" \"\" 0 0 0 0 0 0 " + std::to_string(k + 100) + "\r\n";
    }
    ASSERT_EQ(board(text), 'T');
    EXPECT_TRUE(reported("TR record with fields missing"));
    EXPECT_TRUE(reported("numbers beyond range, held at the limit"));
    EXPECT_TRUE(reported("POLY with fewer than three points"));
    EXPECT_TRUE(reported("STR record with fields missing"));
    // The 3000 empty Components are one report line, and none is left.
    for (const formats::SkipEntry& e : skipped) {
        if (e.construct == "COMP without members") {
            EXPECT_EQ(e.objects, 3000);
        }
    }
    std::vector<Ref> lines = all(kLine);
    ASSERT_EQ(lines.size(), 2u);
    // Held within a thousandth of the coordinate limit.
    EXPECT_GT(node(lines[0]).line.x1, model::kCoordLimit - 66);
    EXPECT_LT(node(lines[0]).line.y1, -model::kCoordLimit + 66);
    // The track of a Component that does not exist stays at the top level.
    int top_level_lines = 0;
    for (Ref r : model::items_in(ring())) {
        top_level_lines += node(r).item_kind() == kLine;
    }
    EXPECT_EQ(top_level_lines, 2);
    EXPECT_EQ(node(all(kPad)[0]).pad.width, 65535);
    EXPECT_TRUE(all(kLine, true).empty());
    EXPECT_TRUE(all(kText).empty());
    // The arc came before its Component and still went into it.
    std::vector<Ref> comps = all(kComponent);
    ASSERT_EQ(comps.size(), 1u);
    EXPECT_EQ(model::ComponentField(comps[0], 1), "R9");
    EXPECT_EQ(node(model::first_item(model::member_ring(comps[0]))).item_kind(), kArc);
}

TEST_F(Tango, StopsWithZeroWhenTheNodesRunOut) {
    model::find_signal("A", true); // its record made while Nodes are left
    m.pool.set_block_limit(m.pool.block_count());
    std::string text = ";Tango-PCB\r\nCOMP \"U1\" \"\" \"\" \"\" \"\" 0 0 0 0 0 0 1\r\nNET \"A\" 1 0\r\n";
    for (int k = 0; k < 40000; ++k) {
        text += "TR 10 0 0 0 5 5 1 1\r\n";
    }
    EXPECT_EQ(board(text), 0);
    EXPECT_TRUE(reported("records after the Node pool ran out"));
    // What was read is whole: the Component holds its tracks, each with the Signal.
    std::vector<Ref> lines = all(kLine);
    ASSERT_FALSE(lines.empty());
    for (Ref r : model::items_in(ring())) {
        EXPECT_EQ(node(r).item_kind(), kComponent);
    }
    EXPECT_EQ(model::SignalUses(model::find_signal("A", false)), lines.size());
}

TEST_F(Tango, LayerNumbersReadModulo32) {
    const int want[20] = {7, 8, 10, 9, 11, 12, 13, 14, 3, 4, 5, 6, 16, 17, 0, 18, 19, 15, 1, 0};
    for (int k = 0; k < 20; ++k) {
        EXPECT_EQ(formats::tango::layer_from_tango(k), want[k]) << k;
        EXPECT_EQ(formats::tango::layer_from_tango(k + 32), want[k]) << k;
    }
    for (int k = 19; k < 32; ++k) {
        EXPECT_EQ(formats::tango::layer_from_tango(k), 0) << k;
    }
    EXPECT_EQ(formats::tango::layer_from_tango(-31), 8); // -31 is 1 modulo 32
}

TEST_F(Tango, SchematicRecordsAreFoundByTheirTokens) {
    ASSERT_EQ(schematic(source_file("tests/data/foreign/tango_schematic.sch")), 'T');
    EXPECT_STREQ(d->setup.layers[2].name, "Signals");
    EXPECT_STREQ(d->setup.layers[3].name, "Busses");
    std::vector<Ref> lines = all(kLine);
    ASSERT_EQ(lines.size(), 3u);
    const model::Node& l = node(lines[0]);
    EXPECT_EQ(l.layer, 1);
    EXPECT_EQ(l.size, 655);
    EXPECT_EQ(l.line.x1, kThou);
    EXPECT_EQ(l.line.y1, 2 * kThou);
    EXPECT_EQ(l.line.x2, 3 * kThou);
    const model::Node& w = node(lines[1]);
    EXPECT_EQ(w.layer, 2);
    EXPECT_EQ(w.line.x1, 3 * kThou / 2);
    EXPECT_EQ(w.line.y2, 5 * kThou / 2);
    const model::Node& b = node(lines[2]);
    EXPECT_EQ(b.layer, 3);
    EXPECT_EQ(b.size, 3277);
    EXPECT_EQ(b.line.y2, 4 * kThou);

    std::vector<Ref> arcs = all(kArc);
    ASSERT_EQ(arcs.size(), 1u);
    EXPECT_EQ(node(arcs[0]).arc.x0, 2 * kThou);
    EXPECT_EQ(node(arcs[0]).arc.radius, kThou / 2);
    // 350 to 10 degrees is 20 degrees through 0.
    EXPECT_NEAR(node(arcs[0]).arc.sweep, 20 * 65536 / 360, 2);

    std::vector<Ref> dots = all(kPad);
    ASSERT_EQ(dots.size(), 1u);
    EXPECT_EQ(node(dots[0]).size, 7);
    EXPECT_EQ(node(dots[0]).layer, 2);
    EXPECT_EQ(node(dots[0]).pad.width, 2624);

    std::vector<Ref> texts = all(kText);
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(model::GetText(texts[0]), "VCC");
    EXPECT_EQ(node(texts[0]).size, 660); // size 10 times 66
    EXPECT_EQ(node(texts[0]).text.y0, 3 * kThou);
    EXPECT_GT(node(texts[0]).text.length, 0);
    // Its string first and its point spread over two lines.
    EXPECT_EQ(model::GetText(texts[1]), "GND");
    EXPECT_EQ(node(texts[1]).text.x0, 4 * kThou);
    EXPECT_EQ(node(texts[1]).text.y0, 5 * kThou);
    EXPECT_EQ(node(texts[1]).size, 792);
    EXPECT_TRUE(reported("(line without its numbers"));
}

TEST_F(Tango, SchematicTextSizesOutsideTheRangeKeepTheDefaultHeight) {
    ASSERT_EQ(schematic("TangoPRO_ASCII\n(text 1 1 \"A\" 4)\n(text 1 1 \"B\" 600)\n(text 1 1 \"C\")\n"
                        "(text 1 1 \"\" 10)\n(junction 1e5 2)\n"),
              'T');
    std::vector<Ref> texts = all(kText);
    ASSERT_EQ(texts.size(), 3u);
    for (Ref t : texts) {
        EXPECT_EQ(node(t).size, 3932) << model::GetText(t);
    }
    ASSERT_EQ(all(kPad).size(), 1u); // "1e5" is one token: the junction's x is 1
    EXPECT_EQ(node(all(kPad)[0]).pad.x0, kThou);
}

} // namespace
} // namespace tango_test
