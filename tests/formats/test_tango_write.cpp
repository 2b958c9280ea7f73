// The Tango board writer: a small board line by line, the layer numbering, the Document left as it
// was with its losses named, and round trips board -> Tango -> board of a hand-worked file, a Data file
// and a generated board.
#include <filesystem>
#include <string>

#include "cli/netlist_expect.h"
#include "display/stroke_font.h"
#include "model/setup_directives.h"
#include "tango_fixture.h"

namespace tango_test {
namespace {

namespace fs = std::filesystem;
using model::kArc;
using model::kLine;
using model::kPad;
using model::kText;
using model::MakeItem;

Coord u(int mils) {
    return model::mils_to_units(mils);
}

Ref pad(Ref ring, uint8_t layer, uint16_t type, int x, int y, int w, int h, int hole) {
    Ref p = MakeItem(ring, kPad, layer, type, u(x), u(y), 0, 0);
    node(p).pad.width = static_cast<model::Length>(u(w));
    node(p).pad.height = static_cast<model::Length>(u(h));
    node(p).pad.hole = static_cast<model::Length>(u(hole));
    return p;
}

TEST_F(Tango, WritesASmallBoardLineByLine) {
    model::apply_template(d->setup, model::Template::ForeignBoard);
    Ref c = model::make_component(ring(), 0, 0, "DIP8\177U2\177555");
    Ref members = model::member_ring(c);
    node(members).box.x1 = u(100);
    node(members).box.y1 = u(200);
    Ref p1 = pad(members, 0, 2, 100, 200, 60, 60, 30);
    model::SetPin(p1, "1");
    model::AttachSignal(p1, "CLK");
    Ref t = MakeItem(members, kText, 3, static_cast<uint16_t>(u(50)), u(90), u(300), 1, 0);
    model::SetText(t, "&1");
    display::measure_text_item(t);
    ASSERT_TRUE(model::close_component(c));

    Ref tr = MakeItem(ring(), kLine, 7, static_cast<uint16_t>(u(10)), 0, 0, u(500), 0);
    model::AttachSignal(tr, "CLK");
    Ref via = pad(ring(), 0, 3, 500, 0, 40, 40, 20);
    model::AttachSignal(via, "CLK");
    Ref arc = MakeItem(ring(), kArc, 8, static_cast<uint16_t>(u(8)), u(1000), u(1000), u(100), 0);
    node(arc).arc.start = 16384;
    node(arc).arc.sweep = 32768;
    model::AttachSignal(arc, "RST"); // no pad carries it: its NET line counts none
    Ref smd = pad(ring(), 8, 5, 700, 700, 20, 40, 0);
    node(smd).pad.angle = 16384;
    Ref solid = MakeItem(ring(), kLine, 7, 0, 0, 0, 0, 0);
    model::add_vertex(solid, 0, 0);
    model::add_vertex(solid, u(100), 0);
    model::add_vertex(solid, 0, u(100));
    node(tr).kind |= model::kMarkFlag; // a mark the writer must leave alone

    const model::Node& cn = node(c);
    std::string box = std::to_string(mil(cn.box.x1)) + " " + std::to_string(mil(cn.box.y1)) + " " +
                      std::to_string(mil(cn.box.x2)) + " " + std::to_string(mil(cn.box.y2)) + " ";
    int len = mil(node(t).text.length);
    std::string want = "VERSION 1 2 A\r\n"
                       "BOARD 0 0 0 0 0 0\r\n"
                       "COMP \"U2\" \"555\" \"\" \"DIP8\" \"\" 100 200 " +
                       box +
                       "1 0 \r\n"
                       "NETFILE \"\" \"\" -1 \"\" -1\r\n"
                       "NET \"NO_ROUTES\" 0 0 0 1 0\r\n"
                       "NET \"CLK\" 1 2 0 1 0\r\n"
                       "NET \"RST\" 2 0 0 1 0\r\n"
                       "PAD SQ 60 60 30 AL NP \"1\" 100 200 1 1 0 \r\n"
                       "STR \".REFDES\" 50 0 6 8 90 300 90 300 " +
                       std::to_string(90 + len) +
                       " 350 1 0 \r\n"
                       "TR 10 0 0 0 500 0 1 0 0 \r\n"
                       "VIA CR 40 20 NP 500 0 1 0 0 \r\n"
                       "ARC 100 90 180 8 1 1000 1000 2 0 0 \r\n"
                       "PAD EL 40 20 0 BL NP \"\" 700 700 0 0 0 \r\n"
                       "POLY 0 3 0 0 0 \r\n"
                       "PNT 0 0 \r\n"
                       "PNT 100 0 \r\n"
                       "PNT 0 100 \r\n"
                       "\r\n";
    std::vector<std::string> losses;
    EXPECT_EQ(written(&losses), want);
    EXPECT_TRUE(losses.empty());
    // Marks as they were: the track's kept, nothing else gained one.
    EXPECT_TRUE(node(tr).marked());
    int marked = 0;
    model::walk_tree(ring(), [&](Ref r, int) { marked += node(r).marked(); });
    EXPECT_EQ(marked, 1);
}

TEST_F(Tango, NumbersLayersByTypeAndName) {
    model::apply_template(d->setup, model::Template::ForeignBoard);
    std::array<int, 256> n = formats::tango::layer_numbers(d->setup);
    const int want[20] = {14, 12, 12, 8, 9, 10, 11, 0, 1, 3, 2, 4, 5, 6, 7, 12, 12, 12, 12, 12};
    for (int k = 0; k < 20; ++k) {
        EXPECT_EQ(n[k], want[k]) << k;
    }
    EXPECT_EQ(n[255], 15);
    // The board layer set reads back as itself from silk to the mid layers.
    for (int k = 3; k <= 14; ++k) {
        EXPECT_EQ(formats::tango::layer_from_tango(n[k]), k) << k;
    }
    // Other names: the first letter decides (in either case), mid copper counts on in layer order.
    auto set = [&](int l, uint8_t type, const char* name) {
        model::set_layer_name(d->setup.layers[l], name);
        d->setup.layers[l].type = type;
    };
    set(1, 2, "bottom side");
    set(2, 2, "Inner A");
    set(3, 3, "GND plane");
    set(4, 3, "Power");
    set(5, 1, "Bmask");
    set(6, 2, "Inner B");
    n = formats::tango::layer_numbers(d->setup);
    EXPECT_EQ(n[1], 1);
    EXPECT_EQ(n[2], 4);
    EXPECT_EQ(n[3], 2);
    EXPECT_EQ(n[4], 3);
    EXPECT_EQ(n[5], 11);
    EXPECT_EQ(n[6], 5);
    EXPECT_EQ(n[11], 6); // "Mid Layer 1" after the two inner layers
}

TEST_F(Tango, NamesWhatItCannotHoldOnceAKind) {
    model::apply_template(d->setup, model::Template::ForeignBoard);
    node(pad(ring(), 0, 1, 0, 0, 50, 50, 30)).pad.angle = 8192;
    node(pad(ring(), 0, 1, 100, 0, 50, 50, 30)).pad.angle = 4096;
    pad(ring(), 2, 7, 200, 0, 40, 40, 0);
    MakeItem(ring(), model::kPointGroup, 3, 0, 0, 0, u(5), u(5));
    Ref t = MakeItem(ring(), kText, 3, static_cast<uint16_t>(u(50)), 0, 0, u(100), 0);
    model::SetText(t, "a\"b");
    node(t).text.angle = 1000;
    pad(ring(), 11, 6, 300, 0, 20, 20, 0);               // on "Mid Layer 1"
    MakeItem(ring(), kLine, 7, 655, 0, 0, u(10) + 7, 0); // off the grid
    std::vector<std::string> losses;
    std::string out = written(&losses);
    EXPECT_NE(out.find("STR \"a\"\"b\" 50 0 "), std::string::npos);
    std::vector<std::string> want = {
        "Coordinates or sizes off the 0.001 inch grid, rounded: 1 Item",
        "Pad angles other than 0, 90, 180 or 270 degrees, written unturned: 2 Items",
        "Surface-mount Pads on neither top nor bottom layers, written on top copper: 1 Item",
        "Schematic pins, dots and special pads, written as oval pads: 1 Item",
        "Text angles other than quarter turns, rounded to a quarter turn: 1 Item",
        "Point groups, left out: 1 Item",
    };
    EXPECT_EQ(losses, want);
}

// Board -> Tango -> board: every pad, track, arc, Solid, text and Component, with the Signals.
struct TangoRoundTrip : Tango {
    void round_trip(const Summary& before) {
        std::string first = written();
        fresh();
        ASSERT_EQ(board(first), 'T');
        Summary after = summarize(ring(), identity_layers());
        EXPECT_EQ(after.pads, before.pads);
        EXPECT_EQ(after.tracks, before.tracks);
        EXPECT_EQ(after.arcs, before.arcs);
        EXPECT_EQ(after.solids, before.solids);
        EXPECT_EQ(after.texts, before.texts);
        EXPECT_EQ(after.components, before.components);
        EXPECT_EQ(after.signal_uses, before.signal_uses);
        // From then on a fixed point: read back and written again, the same bytes (the first writing may
        // differ in text lengths, which reading measures again).
        std::string second = written();
        fresh();
        ASSERT_EQ(board(second), 'T');
        EXPECT_EQ(written(), second);
    }
};

TEST_F(TangoRoundTrip, HandWorkedBoard) {
    ASSERT_EQ(board(source_file("tests/data/foreign/tango_board.pcb")), 'T');
    Summary before = summarize(ring(), identity_layers());
    EXPECT_EQ(before.pads.size(), 4u);
    round_trip(before);
}

TEST_F(TangoRoundTrip, DataFileBoard) {
    fresh("small_board.pcb");
    ASSERT_NE(model::open_document_bytes(formats, source_file("tests/data/small_board.pcb"), 0), 0);
    Summary before = summarize(ring(), tango_layers(d->setup));
    EXPECT_FALSE(before.pads.empty());
    round_trip(before);
}

TEST_F(TangoRoundTrip, GeneratedBoard) {
    SKIP_WITHOUT_GEN_BOARD();
    fs::path dir = fs::temp_directory_path() / ("trazel-tango-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    std::string file = (dir / "gen.pcb").string();
    ASSERT_TRUE(netlist_test::generate(40, 11, file, (dir / "gen.json").string()));
    fresh("gen.pcb");
    ASSERT_NE(model::open_document_bytes(formats, slurp_path(file), 0), 0);
    fs::remove_all(dir);
    Summary before = summarize(ring(), tango_layers(d->setup));
    EXPECT_GT(before.pads.size(), 80u);
    EXPECT_FALSE(before.tracks.empty());
    EXPECT_EQ(before.components.size(), 40u);
    EXPECT_FALSE(before.arcs.empty());
    EXPECT_FALSE(before.texts.empty());
    round_trip(before);
}

} // namespace
} // namespace tango_test
