// Item records of the Data file: what the reader makes of hand-written lines, what the writer writes,
// and that written files read back to themselves.
#include <cstring>

#include "datafile_fixture.h"
#include "model/numbers.h"

using namespace datafile_test;

namespace {

// F format then reading back, as the writer and reader see a coordinate.
Coord through_file(Coord v) {
    std::string s = fixed_string(v) + " ";
    Cursor c(s);
    return read_length(c);
}

} // namespace

TEST(DataFileNumbers, WrittenValuesAreFixedPointsOfReadingBack) {
    // Every fraction of an inch, around a few integer parts: the value read back writes the same text,
    // and canonical_coord predicts the value read back exactly.
    for (int32_t ip : {0, 1, -1, 123, -4000}) {
        for (int32_t fr = 0; fr < 65536; ++fr) {
            int32_t v = ip < 0 ? ip * 65536 - fr : ip * 65536 + fr;
            Coord back = through_file(v);
            ASSERT_EQ(fixed_string(back), fixed_string(v)) << v;
            ASSERT_EQ(canonical_coord(v), back) << v;
        }
    }
    // Angles: every stored angle writes the same degrees after one trip through the file.
    for (uint32_t a = 0; a < 65536; ++a) {
        std::string s = angle_string(static_cast<Angle>(a)) + " ";
        Cursor c(s);
        Angle back = read_angle(c);
        ASSERT_EQ(angle_string(back), angle_string(static_cast<Angle>(a))) << a;
    }
}

TEST_F(DataFileTest, LineRecordsInEverySpelling) {
    // Width and coordinates: with "." inches, without thousandths; 12 and .012 both give
    // 12 x 65536 / 1000 = 786.4 -> 786 units; 500 thousandths = 0.5 inch = 32768.
    read(data_file("1 3 12 500 -250 1000 2 vcc\r\n"
                   "1 3 .012 .5 -.25 1.0 .002 VCC\r\n"
                   "1 4 .01 1 2\r\n"
                   "1 5 .01 0 0 1\r\n"));
    auto v = items(ring());
    ASSERT_EQ(v.size(), 3u); // "1 4 .01 1 2" has no end point and a width: ignored
    for (int k = 0; k < 2; ++k) {
        const Node& n = node(v[k]);
        EXPECT_EQ(n.kind, kLine);
        EXPECT_EQ(n.layer, 3);
        EXPECT_EQ(n.size, 786);
        EXPECT_EQ(n.line.x1, 32768);
        EXPECT_EQ(n.line.y1, -16384);
        EXPECT_EQ(n.line.x2, 65536);
        EXPECT_EQ(n.line.y2, 131); // 2 thousandths = 131.07 units
        EXPECT_EQ(signal_name(item_signal(v[k])), "VCC");
    }
    EXPECT_EQ(SignalUses(find_signal("VCC", false)), 2u);
    // Missing fields read as 0: Y2 of "1 5 .01 0 0 1".
    const Node& third = node(v[2]);
    EXPECT_EQ(third.layer, 5);
    EXPECT_EQ(third.size, 655);
    EXPECT_EQ(third.line.x2, 66);
    EXPECT_EQ(third.line.y2, 0);
    EXPECT_EQ(item_signal(v[2]), kNone);
}

TEST_F(DataFileTest, WriterFormatsOfEveryRecordKind) {
    // Half-inch width ".5", -0.25 inch "-.25", zero "0"; 90 degrees "90", 45.5 "45.50", half a degree ".50".
    Ref l = MakeItem(ring(), kLine, 3, 32768, 65536, -16384, 0, 0);
    AttachSignal(l, "gnd");
    Ref a = MakeItem(ring(), kArc, 7, 655, 0, 65536, 6554, 0);
    node(a).arc.start = 16384;
    node(a).arc.sweep = 8283; // 45.50 degrees
    node(a).arc.ellipse = 32768;
    node(a).arc.angle = 91; // 0.50 degrees
    Ref p = MakeItem(ring(), kPad, 0, 1, 65536, 32768, 0, 0);
    node(p).pad.width = node(p).pad.height = 3932; // .06: 3932 x 100000 / 65536 = 5999.7 -> 5999, odd -> 6000
    node(p).pad.hole = 2294;                       // 3500.4 -> 3500 -> .035
    Ref q = MakeItem(ring(), kPad, 3, 6, 0, 0, 0, 0);
    node(q).pad.width = 3277; // .05: 5000.2 -> 5000
    node(q).pad.height = 1966;
    SetPin(q, "A1");
    AttachSignal(q, "N$1");
    Ref t = MakeItem(ring(), kText, 1, 3146, 6554, 0, 20000, 0);
    node(t).text.angle = 16384;
    node(t).text.anchor_font = 5 | 2 << 4;
    SetText(t, "  R1 ");
    Ref c = make_component(ring(), 0, 0,
                          std::string("DIP8\x7FU1\x7F"
                                      "555\x7F",
                                      13));
    MakeItem(member_ring(c), kPad, 0, 2, 0, 0, 0, 0);
    node(member_ring(c)).box.x1 = 65536; // hook point of the closing record
    std::string file = write();
    auto rec = records(file);
    std::vector<std::string> want = {
        "6 0 0 0 0 0 0 DIP8\x7FU1\x7F"
        "555",
        "3 0 2 0 0 0 0 0 0 0",
        "0 6 0 1.0 0",
        "4 1 .048 .1 0 .30518 90 5 2   R1",
        "3 0 1 1.0 .5 .06 .06 .035 0 0",
        "3 3 6 0 0 .05 .03 0 0 A1 N$1",
        "2 7 .01 0 1.0 .1 90 45.50 .5 .50",
        "1 3 .5 1.0 -.25 0 0 GND",
    };
    EXPECT_EQ(rec, want);
    // .048: 3146 x 100000 / 65536 = 4800.4 -> 4800; 20000 units = .30517578 -> 30517, odd -> 30518;
    // 1966 -> 2999.9 -> 2999 -> 3000 = .03.
    EXPECT_EQ(file.substr(0, 36), "TRAZEL Version 4.0 -- Data File.\r\n\r\n");
    EXPECT_NE(file.find("\r\n\r\nEND OF FILE\r\n"), std::string::npos);
    EXPECT_EQ(file.substr(file.size() - 13), "END OF FILE\r\n");
    EXPECT_EQ(file.find(" \r\n"), std::string::npos); // no trailing blanks anywhere
}

TEST_F(DataFileTest, PadTextAndComponentFieldsFromRecords) {
    read(data_file("3 0 1 1.0 .5 .06 .06 .035 90 12 +5V\r\n"
                   "3 3 5 0 0 .05 .03 0 0 A1\r\n"
                   "3 0 1 1.0\r\n"
                   "4 1 .048 1.0 2.0 .5 45.50 5 2   two blanks\r\n"
                   "4 1 .048 1.0 2.0 .5 0 0 0 \r\n"
                   "4 1 .048 1.0 2.0 .5 0 0 0\r\n"
                   "2 2 .01 1 2 .1 90 180 .5 0 CLK\r\n"));
    auto v = items(ring());
    ASSERT_EQ(v.size(), 5u); // both Texts without text are gone
    const Node& p = node(v[0]);
    EXPECT_EQ(p.kind, kPad);
    EXPECT_EQ(p.size, 1);
    EXPECT_EQ(p.pad.x0, 65536);
    EXPECT_EQ(p.pad.width, 3932); // .06 x 65536 = 3932.2
    EXPECT_EQ(p.pad.hole, 2294);  // .035 x 65536 = 2293.8
    EXPECT_EQ(p.pad.angle, 16384);
    EXPECT_EQ(p.pad.pin, 12u);
    EXPECT_EQ(signal_name(item_signal(v[0])), "+5V");
    EXPECT_EQ(pin_text(v[1]), "A1");
    EXPECT_EQ(item_signal(v[1]), kNone);
    // A record cut short: every missing field is 0.
    const Node& s = node(v[2]);
    EXPECT_EQ(s.pad.x0, 65536);
    EXPECT_EQ(s.pad.y0, 0);
    EXPECT_EQ(s.pad.width, 0);
    EXPECT_EQ(s.pad.pin, 0u);
    const Node& t = node(v[3]);
    EXPECT_EQ(GetText(v[3]), "  two blanks"); // the text starts after the blank that ends the font
    EXPECT_EQ(t.size, 3146);                  // .048 x 65536 = 3145.7
    EXPECT_EQ(t.text.length, 32768);
    EXPECT_EQ(t.text.angle, 8283); // 45.5 x 65536 / 360 = 8283.0
    EXPECT_EQ(t.text.anchor_font, 5 | 2 << 4);
    const Node& a = node(v[4]);
    EXPECT_EQ(a.arc.radius, 6554);
    EXPECT_EQ(a.arc.start, 16384);
    EXPECT_EQ(a.arc.sweep, 32768);
    EXPECT_EQ(a.arc.ellipse, 32768);
    EXPECT_EQ(a.layer, 2);
    EXPECT_EQ(signal_name(item_signal(v[4])), "CLK");
}

TEST_F(DataFileTest, ComponentsOpenCloseAndSort) {
    read(data_file("6 0 0 0 0 0 0 SIP2\x7FR10\x7F"
                   "10k\r\n"
                   "3 0 1 1.0 0 .06 .06 .035 0 1 A\r\n"
                   "4 1 .05 1.1 .1 .2 0 0 0 &1\r\n"
                   "0 6 0 1.0 0\r\n"
                   "6 0 0 5 5 5 5 \r\n"
                   "0 6 0 0 0\r\n"
                   "1 3 .01 0 0 1 1\r\n"
                   "6 0 90 0 0 0 0 SIP2\x7FR2\x7F"
                   "4k7\x7F\x7F  \r\n"
                   "2 3 .01 2.0 2.0 .25 0 0 0 0\r\n"
                   "0 6 0 2.0 2.0\r\n"
                   "6 0 0 0 0 0 0 SIP2\x7FR3\r\n"
                   "3 0 1 -1.0 0 .1 .05 .035 0 1\r\n"));
    auto top = items(ring());
    // The Component with no members is gone; R2 sorts before R10 (digits right-aligned) although a Line
    // came between them; R3, left open at the end, is closed and sorted too.
    ASSERT_EQ(top.size(), 4u);
    EXPECT_EQ(ComponentField(top[0], 1), "R2");
    EXPECT_EQ(ComponentField(top[1], 1), "R3");
    EXPECT_EQ(ComponentField(top[2], 1), "R10");
    EXPECT_EQ(node(top[3]).kind, kLine);
    EXPECT_EQ(component_parameters(top[0]), "SIP2\x7FR2\x7F"
                                           "4k7");
    EXPECT_EQ(node(top[0]).size, 16384);
    // Boxes come from the members: the Arc's centre 2,2 plus and minus its radius .25; the Pad at 1,0
    // grows by half its larger side (.06 x 65536 = 3932 -> 1966); the Text counts by its anchor.
    const Node& r2 = node(top[0]);
    EXPECT_EQ(r2.box.x1, 2 * 65536 - 16384);
    EXPECT_EQ(r2.box.y2, 2 * 65536 + 16384);
    const Node& r10 = node(top[2]);
    EXPECT_EQ(r10.box.x1, 65536 - 1966);
    EXPECT_EQ(r10.box.x2, 72090); // Text at 1.1 = 72089.6 -> 72090
    EXPECT_EQ(r10.box.y2, 6554);  // Text at .1
    EXPECT_EQ(node(member_ring(top[2])).box.x1, 65536);
    EXPECT_EQ(resolved_text(items(member_ring(top[2]))[1]), "R10");
    const Node& r3 = node(top[1]);
    EXPECT_EQ(r3.box.x1, -65536 - 3277);
    EXPECT_EQ(node(member_ring(top[1])).layer, kComponent);

    // Written back: Components first in ring order, then the Line; reading that writes the same again.
    std::string first = write();
    auto rec = records(first);
    ASSERT_EQ(rec.size(), 11u);
    EXPECT_EQ(rec[0], "6 0 90 1.75 1.75 2.25 2.25 SIP2\x7FR2\x7F"
                      "4k7");
    EXPECT_EQ(rec[10], "1 3 .01 0 0 .001 .001");
    read(first);
    EXPECT_EQ(write(), first);
}

TEST_F(DataFileTest, ItemOrderOfTheWriter) {
    // Kinds in the order Point group, Text, Pad, Arc, Line; layer by layer; ring order within a layer.
    MakeItem(ring(), kLine, 9, 655, 0, 0, 65536, 0);
    MakeItem(ring(), kLine, 2, 655, 0, 0, 2 * 65536, 0);
    MakeItem(ring(), kPad, 4, 5, 0, 0, 0, 0);
    Ref t = MakeItem(ring(), kText, 8, 3146, 0, 0, 0, 0);
    SetText(t, "B");
    Ref t2 = MakeItem(ring(), kText, 1, 3146, 0, 0, 0, 0);
    SetText(t2, "A");
    MakeItem(ring(), kLine, 2, 655, 0, 0, 3 * 65536, 0);
    MakeItem(ring(), kArc, 1, 655, 0, 0, 65536, 0);
    MakeItem(ring(), kPointGroup, 6, 0, 0, 0, 0, 0);
    Ref hidden = MakeItem(ring(), kLine, 1, 655, 0, 0, 0, 0);
    node(hidden).kind |= kHiddenFlag;
    Ref empty = MakeItem(ring(), kText, 1, 3146, 0, 0, 0, 0);
    make_component(ring(), 0, 0, "EMPTY");
    auto rec = records(write());
    std::vector<std::string> want = {
        "5 6 0 0 0 0 0",           "4 1 .048 0 0 0 0 0 0 A", "4 8 .048 0 0 0 0 0 0 B", "3 4 5 0 0 0 0 0 0 0",
        "2 1 .01 0 0 1.0 0 0 0 0", "1 2 .01 0 0 2.0 0",      "1 2 .01 0 0 3.0 0",      "1 9 .01 0 0 1.0 0",
    };
    EXPECT_EQ(rec, want);
    EXPECT_TRUE(node(empty).hidden()); // a Text without text is given the Hidden flag
}

TEST_F(DataFileTest, SolidsKeepTheirVerticesAndClosingEdge) {
    Ref s = MakeItem(ring(), kLine, 12, 0, 0, 0, 0, 0);
    add_vertex(s, 0, 0);
    add_vertex(s, 65536, 0);
    add_vertex(s, 65536, 32768);
    add_vertex(s, 0, 32768);
    std::string first = write();
    auto rec = records(first);
    std::vector<std::string> want = {"1 12 0 0 0 1.0 .5", "1 12 0 0 0", "1 12 0 1.0 0", "1 12 0 1.0 .5", "1 12 0 0 .5"};
    EXPECT_EQ(rec, want);
    read(first);
    auto v = items(ring());
    ASSERT_EQ(v.size(), 1u);
    ASSERT_EQ(vertex_count(v[0]), 4);
    // Each vertex Node holds its point and the next one; the last leads back to the first.
    std::vector<std::array<Coord, 4>> edges;
    for (Ref p = node(v[0]).link; p != kNone; p = node(p).link) {
        const Node& n = node(p);
        edges.push_back({n.line.x1, n.line.y1, n.line.x2, n.line.y2});
    }
    std::vector<std::array<Coord, 4>> want_edges = {
        {0, 0, 65536, 0}, {65536, 0, 65536, 32768}, {65536, 32768, 0, 32768}, {0, 32768, 0, 0}};
    EXPECT_EQ(edges, want_edges);
    EXPECT_EQ(write(), first);

    // Vertices need a Solid on the same layer right before them.
    read(data_file("1 3 0 0 0\r\n1 3 .01 0 0 1 1\r\n1 3 0 5 5\r\n1 4 0 0 0 0 0\r\n1 5 0 1 1\r\n"));
    v = items(ring());
    ASSERT_EQ(v.size(), 2u);
    EXPECT_EQ(vertex_count(v[1]), 0);
}

TEST_F(DataFileTest, SignalLabelsOnSchematicLayersAndSnapping) {
    // A schematic: layer 1 of type 4 and layer 2 of type 6.  Texts on layer 2 are Signal labels.
    std::string sheet = data_file("-y0\r\n-y0:00000000,00FFFFFF,0,0,Pad Master\r\n"
                                  "-y1:00FF0000,00000000,4,1,Symbols\r\n-y2:0000FF00,00000000,6,2,Signals\r\n"
                                  "4 2 .05 1.0 1.0 0 0 0 0 data bus\r\n"
                                  "4 2 .05 1.0 1.0 0 0 0 0  \r\n"
                                  "1 2 .01 1.0004 1.0 2.0 1.0 data\r\n");
    read(sheet, 0, "sheet.sch");
    auto v = items(ring());
    ASSERT_EQ(v.size(), 2u);
    Ref sig = item_signal(v[0]);
    EXPECT_EQ(signal_name(sig), "DATA"); // the label ends at the blank
    EXPECT_EQ(sig, item_signal(v[1]));
    EXPECT_EQ(SignalUses(sig), 2u);
    // Saving snaps to 0.001 inch: 1.0004 inch = 65562 units -> 1000 thousandths -> 65536.
    auto rec = records(write());
    EXPECT_EQ(rec[0], "4 2 .05 1.0 1.0 0 0 0 0 DATA");
    EXPECT_EQ(rec[1], "1 2 .01 1.0 1.0 2.0 1.0 DATA");
    EXPECT_EQ(node(v[1]).line.x1, 65536);

    // A Text whose chain sits on a layer that later became a signal layer is written as its label.
    read(data_file("4 2 .05 0 0 0 0 0 0 net one\r\n-y0\r\n-y1:00FF0000,00000000,4,1,Symbols\r\n"
                   "-y2:0000FF00,00000000,6,2,Signals\r\n"));
    std::string first = write();
    EXPECT_EQ(records(first)[0], "4 2 .05 0 0 0 0 0 0 NET");
    read(first);
    EXPECT_EQ(write(), first);
}

TEST_F(DataFileTest, LayersNamedDashAndLibrarySymbols) {
    // Items on a layer whose name is "-" are written and read; only the layer line is left out.
    read(data_file("-y0\r\n-y0:00000000,00FFFFFF,0,0,Pad Master\r\n-y4:00FF0000,00000000,2,4,-\r\n"
                   "1 4 .01 0 0 1 1\r\n"));
    std::string file = write();
    EXPECT_EQ(file.find("-y4:"), std::string::npos);
    EXPECT_EQ(records(file)[0], "1 4 .01 0 0 .001 .001");

    // A library writes copper, silk, mask, paste and drawing layers by type letter and initial.
    std::string layers = "-y0\r\n-y0:00000000,00FFFFFF,0,0,Pad Master\r\n-y1:00FFFFFF,00000000,0,1,Top Silk\r\n"
                         "-y3:00FF0000,00000000,2,3,Top Side\r\n-y6:00FF0000,00000000,3,6,GND\r\n"
                         "-y12:000000FF,00000000,10,12,Bottom Side\r\n";
    read(data_file(layers + "1 3 .01 0 0 1 1\r\n1 12 .01 0 0 1 1\r\n1 1 .01 0 0 1 1\r\n1 6 .01 0 0 1 1\r\n"
                            "3 0 1 0 0 .06 .06 .035 0 1\r\n"),
         0, "PARTS.lib");
    auto rec = records(write());
    std::vector<std::string> want = {"3 0 1 0 0 .06 .06 .035 0 1", "1 ST .01 0 0 .001 .001", "1 CT .01 0 0 .001 .001",
                                     "1 6 .01 0 0 .001 .001", "1 CB .01 0 0 .001 .001"};
    EXPECT_EQ(rec, want);
    // Read into a Document whose layers sit elsewhere: "CT" finds the copper layer named T..., "CB" the
    // one named B..., and "ST", with no silk layer named T..., the first silk layer.
    std::string lib = write();
    std::string other = "-y0\r\n-y0:00000000,00FFFFFF,0,0,Pad Master\r\n-y2:00FFFFFF,00000000,0,2,Silk\r\n"
                        "-y5:000000FF,00000000,10,5,Bottom\r\n-y7:00FF0000,00000000,2,7,Top\r\n";
    size_t body = lib.find("Primary Data File:");
    read(data_file(other) + lib.substr(body), 0, "other.LIB");
    auto v = items(ring());
    ASSERT_EQ(v.size(), 5u);
    EXPECT_EQ(node(v[1]).layer, 2);
    EXPECT_EQ(node(v[2]).layer, 7);
    EXPECT_EQ(node(v[3]).layer, 6);
    EXPECT_EQ(node(v[4]).layer, 5);
}

TEST_F(DataFileTest, HeaderVersionsDirectivesAndNumberedLines) {
    // Any version 4 number is this reader's; "-gf" names the format code the Document keeps.
    EXPECT_EQ(read("TRAZEL Version 4.7 -- Data File.\r\n-gfZ\r\n1 3 .01 0 0 1 1\r\n"), 'Z');
    EXPECT_EQ(d->setup.format_code, 'Z');
    EXPECT_EQ(items(ring()).size(), 1u);
    EXPECT_EQ(read("TRAZEL Version 4.0 -- Data File.\r\n-GD.1,000000,FFFFFF,FF0000,00FF00\r\n"), 'C');
    EXPECT_EQ(d->setup.background, 0xFFFFFFu);
    // "$" and a number: the number and the character after it are skipped.
    read(data_file("$12 1 3 .01 0 0 1 1\r\n$1:3 0 1 0 0 .06 .06 .035 0 1\r\n$0 1 3 .01 0 0 1 1\r\n"
                   "Comment 1 3 .01 0 0 1 1\r\n1\r\n8 1 2 3\r\n"));
    auto v = items(ring());
    ASSERT_EQ(v.size(), 2u);
    EXPECT_EQ(node(v[0]).kind, kLine);
    EXPECT_EQ(node(v[1]).kind, kPad);
    // The chooser's defaults come first: a file without layer lines has an empty Layer table whose
    // current layer is 1.
    EXPECT_EQ(d->setup.current_layer, 1);
}

TEST_F(DataFileTest, NestingIsCappedAndClosingRecordsPairUp) {
    // 70 nested Components around one Pad, then a Line at the top: 64 levels are made, the deeper
    // records join the deepest ring, and every "0" still closes its own level.
    std::string body;
    for (int k = 0; k < 70; ++k) {
        body += "6 0 0 0 0 0 0 P\x7FU" + std::to_string(k) + "\r\n";
    }
    body += "3 0 1 1.0 1.0 .06 .06 .035 0 1\r\n";
    for (int k = 0; k < 70; ++k) {
        body += "0 6 0 0 0\r\n";
    }
    body += "1 3 .01 0 0 1 1\r\n";
    read(data_file(body));
    auto top = items(ring());
    ASSERT_EQ(top.size(), 2u);
    EXPECT_EQ(node(top[1]).kind, kLine);
    int depth = 0;
    Ref r = top[0];
    while (node(r).kind == kComponent) {
        ++depth;
        r = first_item(member_ring(r));
    }
    EXPECT_EQ(depth, kMaxComponentDepth);
    EXPECT_EQ(node(r).kind, kPad);
    std::string first = write();
    read(first);
    EXPECT_EQ(write(), first);
}

TEST_F(DataFileTest, HostileNumbersStayInRange) {
    // Sizes beyond 16 bits are held at 65535 units; coordinates at +-16384 inches, so that the box of an
    // Arc at the edge still fits in 32 bits; the point group's number is shifted by 8 bits.
    read(data_file("2 1 2.5 99999999 -99999999.5 99999999 0 0 3.75 0\r\n"
                   "6 0 0 0 0 0 0 X\r\n2 1 1 1073741823 0 1073741823 0 0 0 0\r\n0 6 0 0 0\r\n"
                   "5 3 1 0 0 1 1\r\n"));
    auto v = items(ring());
    ASSERT_EQ(v.size(), 3u);
    const Node& c = node(v[1]);
    EXPECT_EQ(c.box.x2, 2 * kCoordLimit);
    EXPECT_EQ(c.box.x1, 0);
    const Node& pg = node(v[2]);
    EXPECT_EQ(pg.kind, kPointGroup);
    EXPECT_EQ(pg.layer, 3);
    EXPECT_EQ(pg.size, 256);
    const Node& a = node(v[0]);
    EXPECT_EQ(a.size, 65535);
    EXPECT_EQ(a.arc.x0, kCoordLimit);
    EXPECT_EQ(a.arc.y0, -kCoordLimit);
    EXPECT_EQ(a.arc.ellipse, 49152); // 3.75 keeps its fraction .75
    std::string first = write();
    EXPECT_EQ(records(first)[3], "5 3 1 0 0 .001 .001");
    read(first);
    EXPECT_EQ(write(), first);
}
