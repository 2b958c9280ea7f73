// The drill symbol drawing in its Gerber ("SYM") and Data file forms.
#include "cam/drill_symbols.h"
#include "cam_fixture.h"

using namespace camtest;
using namespace trazel::cam;

namespace {

const Coord kIn = 65536;

struct Symbols : Board {
    void SetUp() override {
        Board::SetUp();
        model::ApplyDirective(s(), "-gx0,0,2.0,1.0");
    }
};

} // namespace

TEST(DrillSymbols, TableLinesAndSymbolCodes) {
    EXPECT_EQ(drill_symbol(0), "");
    EXPECT_EQ(drill_symbol(1), "\xD0");
    EXPECT_EQ(drill_symbol(11), "\xD1\xDA\xDB");
    EXPECT_EQ(drill_symbol(20), "\xD8\xD1\xD4");
    EXPECT_EQ(drill_symbol(29), "\xD9J"); // A to L without I
    EXPECT_EQ(drill_symbol(31), "\xD9L");
    EXPECT_EQ(drill_symbol(32), "");

    // "T0n", three blanks, the diameter, the plating mark, three blanks, the symbol between 222 and
    // 223, and the count ending eight places after the 223.
    Tool plated{2294, false, 3};
    Tool np{2294, true, 12345};
    EXPECT_EQ(drill_table_line(1, plated, false), "T01   .035    \xDE\xD0\xDF       3");
    EXPECT_EQ(drill_table_line(2, np, false), "T02   .035*\xDD   \xDE\xD1\xDF   12345");
    EXPECT_EQ(drill_table_line(12, plated, true), "T12   .035      \xDE\xD2\xDA\xDF       3");
    EXPECT_EQ(drill_table_line(2, np, true), "T02   .035 \xDD\xDDNP   \xDE\xD1\xDF   12345");
}

TEST_F(Symbols, DataFileFormHeaderSymbolsItemsAndTable) {
    model::ApplyDirective(s(), "-gz.5,.25");
    pad(0, 1, kIn, kIn, mil(60), mil(60), mil(35));     // tool 1
    pad(0, 3, 2 * kIn, kIn, mil(30), mil(30), mil(35)); // non-plated: tool 2
    pad(3, 5, 0, 0, mil(40), mil(40), 0);               // no hole, no symbol
    line(15, mil(10), 0, 0, kIn, 0);                    // on the drawing layer of the row
    line(3, mil(10), 0, 0, kIn, kIn);                   // copper: not in the drawing
    arc(15, mil(10), 0, 0, kIn / 2, 0, 16384);
    text(15, mil(72), 0, kIn, "NOTES");
    PlotContext ctx = prepare();
    TextOut out;
    write_symbols_datafile(ctx, row("-dyDWG:5,15"), out);
    std::vector<std::string> l = split_lines(out.data);
    std::vector<std::string> head = {"TRAZEL Version 4.0 -- Data File.",
                                     "",
                                     "Setup parameters:",
                                     "-gc0,0,0,0,0,0",
                                     "-gd.1,FFFFFF,909090,FFFFFF,FFFF00",
                                     "-gm3,6,3,0",
                                     "-gp7,0,1.0,0,0,0,0",
                                     "-gs0.025,0,1,5,25,100",
                                     "-gx0,0,0,0",
                                     "-gz.5,.25",
                                     "",
                                     "Item parameters:",
                                     "-i.01",
                                     "-iv0,.05,.028",
                                     "-ip1,0,.1,.1,.048",
                                     "-it.048",
                                     "",
                                     "Layer/color/plot/type/name table:",
                                     "-y1",
                                     "-y0:00AA00AA,0000FF00,0,Pad Master",
                                     "-y1:00FFFFFF,00FFFFFF,4,Symbols",
                                     "",
                                     "Gerber parameters:",
                                     "-dp.01,.005,.025,.025",
                                     "-dy",
                                     "-dySYM:6,1",
                                     "",
                                     "Component libraries:",
                                     "-b",
                                     "",
                                     "Primary Data File:",
                                     ""};
    ASSERT_GT(l.size(), head.size());
    EXPECT_EQ(std::vector<std::string>(l.begin(), l.begin() + static_cast<long>(head.size())), head);
    // Symbols sit centred on their holes: the 0.048-inch text's baseline 3 steps of 524 units (1572)
    // below the centre, so Y = 65536 - 1572 = 63964, which the F format writes .97602.
    std::vector<std::string> body(l.begin() + static_cast<long>(head.size()), l.end());
    std::vector<std::string> want = {
        "4 1 .048 1.0 .97602 .1 0 0 0 \xD0",
        "4 1 .048 2.0 .97602 .1 0 0 0 \xD1",
        "1 1 .01 0 0 1.0 0",
        "2 1 .01 0 0 .5 0 90 0 0",
        "4 1 .072 0 1.0 .00002 0 0 0 NOTES", // height 4719 units, length 1 unit
        // The table starts 0.1 inch right of and below the extents' top right corner (2.1, .9) and
        // goes down 0.125 inch a line.
        "4 1 .072 2.1 .9 1.35 0 0 0 T01   .035    \xDE\xD0\xDF       1",
        "4 1 .072 2.1 .775 1.35 0 0 0 T02   .035*\xDD   \xDE\xD1\xDF       1",
        "",
        "END OF FILE",
    };
    EXPECT_EQ(body, want);
}

TEST_F(Symbols, ATableComponentMovesTheTableAndMakesItCompact) {
    pad(0, 1, kIn, kIn, mil(60), mil(60), mil(35));
    Ref c = model::make_component(ring(), 0, 0, "$$DTD-A\x7FTBL1");
    line(15, mil(10), 3 * kIn, 2 * kIn, 5 * kIn, 4 * kIn, model::member_ring(c));
    ASSERT_TRUE(model::close_component(c));
    model::Node& n = model::node(c);
    n.box.x1 = 3 * kIn, n.box.y1 = 2 * kIn, n.box.x2 = 5 * kIn, n.box.y2 = 4 * kIn;
    PlotContext ctx = prepare();
    DrillTable place = drill_table_place(ctx);
    EXPECT_TRUE(place.compact);
    EXPECT_EQ(place.x, 3 * kIn + 6554);
    EXPECT_EQ(place.y, 4 * kIn - 32768);
    TextOut out;
    write_symbols_datafile(ctx, row("-dyDWG:5,15"), out);
    std::vector<std::string> l = split_lines(out.data);
    ASSERT_GE(l.size(), 3u);
    // (3.1, 3.5) inch, the compact plating mark: three blanks for a plated tool.
    EXPECT_EQ(l[l.size() - 3], "4 1 .072 3.1 3.5 1.35 0 0 0 T01   .035      \xDE\xD0\xDF       1");
}

TEST_F(Symbols, GerberFormDrawsSymbolsTableAndLabelButNoPads) {
    pad(0, 1, kIn, kIn / 2, mil(60), mil(60), mil(35));
    pad(3, 5, 0, 0, mil(40), mil(40), 0);
    line(15, mil(10), 0, 0, kIn, 0);
    PlotContext ctx = prepare();
    TextOut out;
    write_symbols_gerber(ctx, row("-dySYM:5,15"), "board.sym", out);
    Trace t(split_lines(out.data));
    EXPECT_TRUE(t.errors.empty());
    EXPECT_TRUE(t.flashes.empty());
    // The symbol strokes use 524 - 524/8 = 459 units (0.007 inch, D11) and lie around the hole centre
    // (10000, 5000) within the 0.048-inch cell; the table and label use 0.010 inch (D12 here).
    int sym = t.code_of("C,.0070"), big = t.code_of("C,.0100");
    ASSERT_NE(sym, 0);
    int symbol_strokes = 0, table_strokes = 0;
    for (const Trace::Draw& d : t.draws) {
        if (d.code == sym) {
            ++symbol_strokes;
            EXPECT_NEAR(static_cast<double>(d.x1), 10000, 300);
            EXPECT_NEAR(static_cast<double>(d.y1), 5000, 300);
        } else if (d.code == big && d.x1 >= 21000) {
            ++table_strokes; // right of the extents (2 inch) + 0.1
        }
    }
    EXPECT_GT(symbol_strokes, 0);
    EXPECT_GT(table_strokes, 10);
    EXPECT_EQ(split_lines(out.data).back(), "M02*");
}
