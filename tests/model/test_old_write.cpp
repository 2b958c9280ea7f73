// The version 3.8 writer and its loss report: palette indexes, text corners, a hand-written version 4
// board with its exact 3.8 lines and losses, and round trips of generated boards.
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "cli/netlist_expect.h"
#include "datafile_fixture.h"
#include "file_text.h"
#include "model/old_format.h"
#include "model/old_losses.h"
#include "model/setup_directives.h"

using namespace datafile_test;
namespace fs = std::filesystem;

namespace {

using test_files::slurp;

std::string fixture(const std::string& name) {
    return slurp(std::string(TRAZEL_SOURCE_DIR) + "/tests/data/old/" + name);
}

} // namespace

TEST(OldPalette, EveryEntryMapsBackAndTheRulesDecideTheRest) {
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(nearest_palette_index(kDisplayPalette[i], false), i) << "display " << i;
        EXPECT_EQ(nearest_palette_index(kPlotPalette[i], true), i) << "plot " << i;
    }
    // Bit 24 first: the complement of "none" would otherwise be read as black.
    EXPECT_EQ(nearest_palette_index(0x01FFFFFF, true), 0);
    EXPECT_EQ(nearest_palette_index(0x01000000, false), 0);
    // Off the entries: the yellow rule, then the sum rule with its bright half and black as 7.
    EXPECT_EQ(nearest_palette_index(0xAAAA01, false), 14); // next to entry 6, which the mend keeps
    EXPECT_EQ(nearest_palette_index(0xC0C0C0, false), 15);
    EXPECT_EQ(nearest_palette_index(0x800000, false), 4);
    EXPECT_EQ(nearest_palette_index(0x3F3F3F, false), 7);
    EXPECT_EQ(nearest_palette_index(0x404040, false), 8);
    EXPECT_EQ(nearest_palette_index(0x0000C0, false), 1);
    // The plot rule works on the complement: next to entry 8 (333333) the sum rule gives 15, and next
    // to 1 (FFFF00, complement 0000FF) it gives 1.
    EXPECT_EQ(nearest_palette_index(0x333334, true), 15);
    EXPECT_EQ(nearest_palette_index(0xFFFF01, true), 1);
    EXPECT_EQ(nearest_palette_index(0x000000, true), 15);
}

TEST(OldTextCorner, AllSixteenAnchorsAtZeroAndNinetyDegrees) {
    Model m;
    NewDocument("corner.pcb");
    Node t{};
    t.kind = kText;
    t.size = 3000; // height: halves and thirds come out whole
    t.text.x0 = 100000;
    t.text.y0 = 200000;
    t.text.length = 10000;
    // Offsets along and across the text, by anchor: horizontal Left 0, Center -5000, Right -10000,
    // Offset +1000; vertical Bottom 0, Center -1500, Top -3000, Base +1000.
    const int along[4] = {0, -5000, -10000, 1000};
    const int across[4] = {0, -1500, -3000, 1000};
    for (int a = 0; a < 16; ++a) {
        SCOPED_TRACE(a);
        t.text.anchor_font = static_cast<uint8_t>(a);
        t.text.angle = 0;
        Point p = version38_text_corner(t, false);
        EXPECT_EQ(p.x, 100000 + along[a & 3]);
        EXPECT_EQ(p.y, 200000 + across[a >> 2]);
        // At 90 degrees the text runs up: along is +Y, across is -X.
        t.text.angle = 16384;
        p = version38_text_corner(t, false);
        EXPECT_EQ(p.x, 100000 - across[a >> 2]);
        EXPECT_EQ(p.y, 200000 + along[a & 3]);
        // Written in place (layer 2 of a schematic): the anchor point itself.
        p = version38_text_corner(t, true);
        EXPECT_EQ(p.x, 100000);
        EXPECT_EQ(p.y, 200000);
    }
    // A mirrored text runs back from its anchor: Right moves the corner forward by the length.
    t.text.length = -10000;
    t.text.angle = 0;
    t.text.anchor_font = 2;
    EXPECT_EQ(version38_text_corner(t, false).x, 110000);
}

TEST_F(DataFileTest, HandWrittenVersion4BoardGivesItsExact38LinesAndLosses) {
    ASSERT_EQ(read(fixture("v4_board.pcb")), 'C');
    EXPECT_EQ(write('3'), fixture("v4_board.v38"));
    std::vector<std::string> expected = {
        "Coordinates or sizes off the 0.001 inch grid, rounded: 1 Item (14)",
        "Angles or ellipse ratios off 1/256 of a turn, rounded: 1 Item (12)",
        "Pad angles other than 0, 90, 180 or 270 degrees, dropped: 1 Item (10)",
        "Text fonts, set to font 0: 1 Item (6)",
        "Text anchors, texts moved to their bottom-left corner: 2 Items (5, 7)",
        "Through-hole Pads above layer 15, written on layer 0: 1 Item (8)",
        "Point groups, not kept: 1 Item (4)",
        "Layers 16-254, names, colours and types not kept: 1 layer (20)",
        "Settings not kept: 2 settings (-gc Ratnest width, -gtt)",
    };
    EXPECT_EQ(version38_losses(*d), expected);
    // The report leaves the Document current and as it was.
    EXPECT_EQ(M().current, d);
    EXPECT_EQ(write('3'), fixture("v4_board.v38"));
}

TEST_F(DataFileTest, QuarterTurnedPadKeepsItsFootprintAndNothingIsReported) {
    ASSERT_EQ(read(data_file("-ip1,0,0,0,0\r\n-y1\r\n-y0:00AA00AA,00FF0000,0,0,Pad Master\r\n"
                             "-y1:00FFFFFF,00FFFFFF,2,1,Top\r\n3 1 6 2.0 1.0 .1 .05 0 90 0\r\n"
                             "3 1 6 2.0 2.0 .1 .05 0 270 0\r\n3 1 6 2.0 3.0 .1 .05 0 180 0\r\n")),
              'C');
    std::string v38 = write('3');
    for (const std::string& l : version38_losses(*d)) {
        ADD_FAILURE() << l;
    }
    EXPECT_NE(v38.find("\r\n3 1 2 2000 1000 50 100 0 0\r\n3 1 2 2000 2000 50 100 0 0\r\n3 1 2 2000 3000 100 50 0 0\r\n"),
              std::string::npos);
    // Read back, the footprints are those of the turned Pads, at angle 0.
    ASSERT_EQ(read(v38), '3');
    std::vector<Ref> pads = items(ring());
    ASSERT_EQ(pads.size(), 3u);
    EXPECT_EQ(node(pads[0]).pad.width, 3277);
    EXPECT_EQ(node(pads[0]).pad.height, 6554);
    EXPECT_EQ(node(pads[0]).pad.angle, 0);
    EXPECT_EQ(node(pads[2]).pad.width, 6554);
}

// A schematic's Signal labels on layer 2 are written at their anchor point and read back there: before,
// the reader took the point for a corner and each round trip moved the label a third of its height.
TEST_F(DataFileTest, SchematicLabelsOnLayerTwoStayWhereTheyAre) {
    ASSERT_EQ(read(data_file("-y2\r\n-y0:00AA00AA,00FF0000,0,0,Pad Master\r\n-y1:00000080,00000000,4,1,Symbols\r\n"
                             "-y2:00008000,00000000,6,2,Signals\r\n-y3:00800080,00000000,6,3,Busses\r\n"
                             "4 2 .05 1.0 1.0 .2 0 15 0 NET\r\n4 3 .05 2.0 1.0 .2 0 15 0 BUS\r\n")),
              'C');
    ASSERT_TRUE(IsSchematic(d->setup));
    std::string first = write('3');
    ASSERT_EQ(read(first), '3');
    std::vector<Ref> texts = items(ring());
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(node(texts[0]).text.x0, 65536);
    EXPECT_EQ(node(texts[0]).text.y0, 65536);
    EXPECT_EQ(node(texts[0]).text.anchor_font, 15);
    // Other label layers go by their corner (whole thousandths) and back: within half a thousandth.
    EXPECT_NEAR(node(texts[1]).text.x0, 2 * 65536, 33);
    EXPECT_EQ(write('3'), first);
}

TEST_F(DataFileTest, Version38IsAFixedPointAndPicturesAreReported) {
    ASSERT_EQ(read(fixture("v4_board.pcb")), 'C');
    std::string first = write('3');
    ASSERT_EQ(read(first), '3');
    std::string second = write('3');
    // Only the point group, which the reader skips, is gone; from then on nothing changes.
    size_t group = first.find("5 1 0 0 0 1000 1000\r\n");
    ASSERT_NE(group, std::string::npos);
    EXPECT_EQ(second, first.substr(0, group) + first.substr(group + 21));
    ASSERT_EQ(read(second), '3');
    EXPECT_EQ(write('3'), second);
    for (const std::string& l : version38_losses(*d)) {
        ADD_FAILURE() << l;
    }
    M().images[3].assign(kPixelHeaderBytes, 0);
    std::vector<std::string> losses = version38_losses(*d);
    ASSERT_EQ(losses.size(), 1u);
    EXPECT_EQ(losses[0], "Pictures, not written (their older format is not known): 1 picture");
    EXPECT_EQ(M().images[3].size(), kPixelHeaderBytes); // kept aside while the scratch Document lived
}

namespace {

// An Item as the 3.8 format can keep it, in whole thousandths: Pads by footprint, texts by their
// bottom-left corner.  `corner` gives where a text's record puts it.
std::string kept_form(Ref r, bool original, const Setup& s) {
    const Node& n = node(r);
    auto mil = [](int64_t v) { return std::to_string(units_to_old_length(v)); };
    std::string out = std::to_string(n.item_kind()) + " " + std::to_string(n.layer) + " ";
    switch (n.item_kind()) {
    case kLine:
        out += mil(n.size) + " ";
        if (n.size == 0 && n.link != kNone) {
            for (Ref p = n.link; p != kNone; p = node(p).link) {
                out += mil(node(p).line.x1) + "," + mil(node(p).line.y1) + " ";
            }
        } else {
            out += mil(n.line.x1) + " " + mil(n.line.y1) + " " + mil(n.line.x2) + " " + mil(n.line.y2);
        }
        break;
    case kArc:
        out += mil(n.size) + " " + mil(n.arc.x0) + " " + mil(n.arc.y0) + " " + mil(n.arc.radius) + " " +
               std::to_string(n.arc.start >> 8) + " " + std::to_string(n.arc.sweep >> 8);
        break;
    case kPad: {
        bool turned = (n.pad.angle & 0x4000) != 0;
        out += std::to_string(n.size) + " " + mil(n.pad.x0) + " " + mil(n.pad.y0) + " " +
               mil(turned ? n.pad.height : n.pad.width) + " " + mil(turned ? n.pad.width : n.pad.height) + " " +
               mil(n.pad.hole) + " " + pin_text(r);
        break;
    }
    case kText: {
        Point c = version38_text_corner(n, !original || version38_text_in_place(n, s));
        std::string text;
        version38_text(r, s, text);
        out += mil(n.size) + " " + mil(c.x) + " " + mil(c.y) + " " + mil(std::abs(n.text.length)) + " " +
               std::to_string(n.text.angle) + " " + text;
        break;
    }
    case kComponent:
        out += component_parameters(r);
        break;
    default:
        break;
    }
    return out;
}

std::vector<std::string> kept_forms(Document& doc, bool original) {
    std::vector<std::string> v;
    walk_tree(doc.ring(), [&](Ref r, int) {
        if (!node(r).hidden() && node(r).item_kind() != kPointGroup) {
            v.push_back(kept_form(r, original, doc.setup));
        }
    });
    std::sort(v.begin(), v.end());
    return v;
}

} // namespace

struct OldGeneratedBoard : DataFileTest {
    std::string board;
    void SetUp() override {
        DataFileTest::SetUp();
        if (!netlist_test::have_gen_board()) {
            GTEST_SKIP() << "gen_board is not built here (the sanitizer build has no benchmarks)";
        }
        fs::path dir = fs::temp_directory_path() / ("trazel-old-" + std::to_string(::getpid()));
        fs::create_directories(dir);
        board = (dir / "gen.pcb").string();
        std::string expect = (dir / "gen.json").string();
        ASSERT_TRUE(netlist_test::generate(60, 7, board, expect));
    }
    void TearDown() override {
        if (!board.empty()) {
            fs::remove_all(fs::path(board).parent_path());
        }
        DataFileTest::TearDown();
    }
};

TEST_F(OldGeneratedBoard, KeepsEveryItemIsAFixedPointAndReportsExactlyTheDifferences) {
    ASSERT_EQ(read(slurp(board)), 'C');
    std::vector<std::string> before = kept_forms(*d, true);
    // The generator places on whole thousandths but measures texts and outlines finer, and anchors its
    // reference texts; it makes no fonts, point groups or layers above 15.
    for (const std::string& l : version38_losses(*d)) {
        EXPECT_TRUE(l.starts_with("Coordinates or sizes off") || l.starts_with("Text anchors") ||
                    l.starts_with("Settings not kept") || l.starts_with("Layer colours"))
            << l;
    }
    std::string v38 = write('3');

    // Read back, every Item is there to the thousandth; written again, the same bytes; nothing is lost
    // any more.
    ASSERT_EQ(read(v38), '3');
    EXPECT_EQ(kept_forms(*d, false), before);
    EXPECT_EQ(write('3'), v38);
    for (const std::string& l : version38_losses(*d)) {
        ADD_FAILURE() << l;
    }
    // C -> 3.8 -> C -> 3.8: the Data file made from it says the same again.
    d->setup.format_code = 'C';
    std::string c = write('C');
    ASSERT_EQ(read(c), 'C');
    EXPECT_EQ(write('3'), v38);

    // One change of each kind brings exactly its line, naming the changed Item.
    std::vector<Ref> order;
    version38_items(ring(), d->setup, order);
    size_t pad = order.size(), line = order.size();
    for (size_t k = 0; k < order.size(); ++k) {
        if (node(order[k]).item_kind() == kPad && pad == order.size()) {
            pad = k;
        }
        if (node(order[k]).item_kind() == kLine && node(order[k]).size != 0) {
            line = k;
        }
    }
    ASSERT_LT(pad, order.size());
    ASSERT_LT(line, order.size());
    node(order[pad]).pad.angle = 8192;
    node(order[line]).line.x1 += 7;
    std::vector<std::string> expected = {
        "Coordinates or sizes off the 0.001 inch grid, rounded: 1 Item (" + std::to_string(line + 1) + ")",
        "Pad angles other than 0, 90, 180 or 270 degrees, dropped: 1 Item (" + std::to_string(pad + 1) + ")",
    };
    EXPECT_EQ(version38_losses(*d), expected);
}

TEST_F(DataFileTest, RatnestLayerAndPadLayersThatTheOlderFormatCannotTell) {
    ASSERT_EQ(read(data_file("-ip1,0,0,0,0\r\n-y1\r\n-y0:00AA00AA,00FF0000,0,0,Pad Master\r\n"
                             "-y15:00FFFFFF,00777777,7,15,Drawing\r\n-y255:00FFFF00,01000000,7,255,Ratnest\r\n"
                             "3 0 5 1.0 1.0 .05 .05 0 0 0\r\n1 15 .01 0 0 1.0 0\r\n1 255 .01 0 0 1.0 1.0\r\n")),
              'C');
    std::string v38 = write('3');
    // Layer 255 takes layer 15's line; the surface-mount Pad on layer 0 has no way to say so.
    EXPECT_NE(v38.find("\r\n-y14:7,0,\r\n-y255:14,7,Ratnest\r\n-y1\r\n"), std::string::npos) << v38;
    EXPECT_NE(v38.find("\r\n3 0 1 1000 1000 50 50 0 0\r\n1 15 "), std::string::npos) << v38;
    std::vector<std::string> expected = {
        "Items on layer 15, merged with the Ratnest layer 255: 1 Item (2)",
        "Surface-mount Pads on layer 0, read back as through-hole: 1 Item (1)",
        "Layer names or types not kept: 1 layer (15)",
        // "-hp" has no digit for layer 255.
        "Layer colours not kept by the older palettes: 1 layer (255)",
    };
    EXPECT_EQ(version38_losses(*d), expected);
}
