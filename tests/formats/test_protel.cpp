// AutoTrax boards: recognition, every record of the reader worked out by hand, NETDEF matching, the
// mends for malformed input, the writer line by line, and a board taken there and back.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <sstream>

#include "formats/protel.h"
#include "formats_fixture.h"
#include "model/setup_directives.h"

using namespace fmttest;

namespace {

std::string crlf(std::string_view lf) {
    std::string out;
    for (char c : lf) {
        out += c == '\n' ? "\r\n" : std::string(1, c);
    }
    return out;
}

int mils(int64_t u) {
    return static_cast<int>(std::lround(static_cast<double>(u) * 1000 / 65536));
}

struct Protel : Import {
    int sounds = 0;
    void SetUp() override {
        Import::SetUp();
        file = "board.pcb";
        ask.error_sound = [this] { ++sounds; };
    }
    char read(const std::string& text, char forced = 0, model::Document* into = nullptr) {
        model::LineReader in;
        in.open_memory(text);
        return formats::read_protel_board(in, into ? *into : *d, job(forced));
    }
    std::string write(std::vector<std::string>* losses = nullptr) {
        std::string out;
        model::OutBuffer o;
        o.open_memory(&out);
        EXPECT_TRUE(formats::write_protel_board(*d, o, losses));
        o.commit();
        return out;
    }
    std::vector<Ref> members(Ref c, uint8_t kind) {
        std::vector<Ref> v;
        for (Ref r : model::items_in(c == model::kNone ? d->ring() : model::member_ring(c))) {
            if (n(r).item_kind() == kind) {
                v.push_back(r);
            }
        }
        return v;
    }
    // An Item in a line, lengths in thousandths: what a hand-worked expectation is written against.
    static std::string desc(Ref r) {
        const model::Node& k = n(r);
        std::ostringstream o;
        o << "L" << int(k.layer) << " ";
        switch (k.item_kind()) {
        case model::kLine:
            o << "T w" << mils(k.size) << " " << mils(k.line.x1) << "," << mils(k.line.y1) << "-" << mils(k.line.x2)
              << "," << mils(k.line.y2);
            break;
        case model::kArc:
            o << "A w" << mils(k.size) << " " << mils(k.arc.x0) << "," << mils(k.arc.y0) << " r" << mils(k.arc.radius)
              << " " << k.arc.start * 360 / 65536 << "+" << k.arc.sweep * 360 / 65536;
            break;
        case model::kPad: {
            Ref s = model::item_signal(r);
            o << "P" << k.size << " " << mils(k.pad.x0) << "," << mils(k.pad.y0) << " " << mils(k.pad.width) << "x"
              << mils(k.pad.height) << " h" << mils(k.pad.hole) << " pin" << model::pin_text(r)
              << (s ? " " + model::signal_name(s) : "");
            break;
        }
        case model::kText:
            o << "S " << mils(k.text.x0) << "," << mils(k.text.y0) << " h" << mils(k.size) << " a"
              << k.text.angle * 360 / 65536 << (k.text.length < 0 ? " mirrored " : " ") << model::GetText(r);
            break;
        default:
            o << "C " << model::ComponentField(r, 0) << "|" << model::ComponentField(r, 1) << "|"
              << model::ComponentField(r, 2) << " hook " << mils(n(model::member_ring(r)).box.x1) << ","
              << mils(n(model::member_ring(r)).box.y1);
        }
        return o.str();
    }
    std::vector<std::string> descs(uint8_t kind, Ref c = model::kNone) {
        std::vector<std::string> v;
        for (Ref r : members(c, kind)) {
            v.push_back(desc(r));
        }
        return v;
    }
    using S = std::vector<std::string>;
};

// One record to a source line.
const char* kBoard = "PCB FILE 4\n"
                     "COMP\nU1a\nDIP8\nLM358\n100 300 60 1 10 7\n100 400 50 0 10 7\n100 200 1 1 2\n"
                     "CP\n100 200 60 60 2 35 1 13\n1\n"
                     "CP\n200 200 50 80 4 35 1 13\n2\n"
                     "CP\n300 200 40 90 1 0 1 1\n3\n"
                     "CT\n90 150 310 150 10 7\n"
                     "ENDCOMP\n"
                     "FT\n0 0 1000 0 0 1\n"
                     "FA\n500 500 100 3 12 6\n"
                     "FV\n700 700 50 28\n"
                     "FS\n10 20 80 17 10 7\nHELLO\n"
                     "NETDEF\nGND\n0\n(\nU1-1\nU1,3\nU9-1\n)\n{\n}\n"
                     "ENDPCB\n";

} // namespace

TEST_F(Protel, RecognisesTheThreeHeadsAndTheForcedCode) {
    EXPECT_TRUE(formats::protel_accepts("PCB FILE 4\r\nFT\r\n", 0));
    EXPECT_TRUE(formats::protel_accepts("PCB File 4\r\n", 0));
    EXPECT_TRUE(formats::protel_accepts("PCB FILE 6 VERSION 2.8\r\n", 0));
    EXPECT_FALSE(formats::protel_accepts("PCB FILE 5\r\n", 0));
    EXPECT_FALSE(formats::protel_accepts("PCB FILE 4\r\n", 'T'));
    EXPECT_TRUE(formats::protel_accepts("FT\r\n0 0 1 1 10 1\r\n", 'P'));
    // Forced, a file without the head line starts with its first record; the board layer set comes first.
    EXPECT_EQ(read("FT\n0 0 100 0 10 1\n", 'P'), 'P');
    EXPECT_EQ(descs(model::kLine), S{"L7 T w10 0,0-100,0"});
    EXPECT_STREQ(d->setup.layers[7].name, "Top Copper");
}

TEST_F(Protel, ReadsEveryRecordOfAHandBoard) {
    ASSERT_EQ(read(crlf(kBoard)), 'P');
    ASSERT_EQ(skipped.size(), 1u);
    EXPECT_EQ(skipped[0].construct, "NETDEF node naming no Component pin"); // U9-1

    // The Component at the front of the ring: value text (a quarter turn), reference text, then pads of
    // shape 2 (rectangular), 4 (oval with both sizes) and other (round with the X size; layer 1 is
    // surface mount).  NETDEF "U1" names the stored "U1a", by "-" or ",".
    auto cs = members(model::kNone, model::kComponent);
    ASSERT_EQ(cs.size(), 1u);
    Ref c = cs[0];
    EXPECT_EQ(model::first_item(d->ring()), c);
    EXPECT_EQ(desc(c), "L0 C DIP8|U1a|LM358 hook 100,200");
    EXPECT_EQ(descs(model::kText, c), (S{"L3 S 100,300 h60 a90 &2", "L3 S 100,400 h50 a0 &1"}));
    EXPECT_EQ(model::resolved_text(members(c, model::kText)[1]), "U1a");
    EXPECT_GT(n(members(c, model::kText)[1]).text.length, 0); // measured
    EXPECT_EQ(descs(model::kPad, c), (S{"L0 P2 100,200 60x60 h35 pin1 GND", "L0 P1 200,200 50x80 h35 pin2",
                                         "L7 P5 300,200 40x40 h0 pin3 GND"}));
    EXPECT_EQ(descs(model::kLine, c), S{"L3 T w10 90,150-310,150"});
    EXPECT_LE(n(c).box.x1, mil(90));
    EXPECT_EQ(model::SignalUses(model::find_signal("GND", false)), 2u);

    // Free Items: width 0 gives 65 units; quadrant mask 3 is the half circle from 0 to 180 degrees;
    // text flags 17 are mirrored and a quarter turn.
    EXPECT_EQ(descs(model::kLine), S{"L7 T w1 0,0-1000,0"});
    EXPECT_EQ(n(members(model::kNone, model::kLine)[0]).size, 65);
    EXPECT_EQ(descs(model::kArc), S{"L8 A w12 500,500 r100 0+180"});
    EXPECT_EQ(descs(model::kPad), S{"L0 P3 700,700 50x50 h28 pin"});
    EXPECT_EQ(descs(model::kText), S{"L3 S 10,20 h80 a90 mirrored HELLO"});
}

TEST_F(Protel, QuadrantMasksAndLayerNumbers) {
    std::string f = "PCB FILE 4\n";
    for (int m = 0; m < 16; ++m) {
        f += "FA\n0 0 100 " + std::to_string(m) + " 10 " + std::to_string(m) + "\n";
    }
    ASSERT_EQ(read(f), 'P');
    // Masks 0, 5, 10 and 15 (no run of neighbouring quadrants) give the full circle.
    EXPECT_EQ(descs(model::kArc),
              (S{"L0 A w10 0,0 r100 0+0",     "L7 A w10 0,0 r100 0+90",    "L11 A w10 0,0 r100 90+90",
                 "L12 A w10 0,0 r100 0+180",  "L13 A w10 0,0 r100 180+90", "L14 A w10 0,0 r100 0+0",
                 "L8 A w10 0,0 r100 90+180",  "L3 A w10 0,0 r100 0+270",   "L4 A w10 0,0 r100 270+90",
                 "L10 A w10 0,0 r100 270+180", "L9 A w10 0,0 r100 0+0",    "L2 A w10 0,0 r100 270+270",
                 "L15 A w10 0,0 r100 180+180", "L0 A w10 0,0 r100 180+270", "L16 A w10 0,0 r100 90+270",
                 "L1 A w10 0,0 r100 0+0"}));
}

TEST_F(Protel, HookNumbersTwoDropTheTexts) {
    const char* comp = "COMP\nR%d\nR0805\n10K\n0 0 60 0 10 7\n0 100 60 0 10 7\n0 0 %s 2\nFP\n0 0 50 60 2 0 1 1\n1\nENDCOMP\n";
    char a[200], b[200];
    std::snprintf(a, sizeof a, comp, 1, "2 1");
    std::snprintf(b, sizeof b, comp, 2, "1 2");
    ASSERT_EQ(read(std::string("PCB FILE 4\n") + a + b), 'P');
    auto cs = members(model::kNone, model::kComponent); // R2 came last, so it is first
    ASSERT_EQ(cs.size(), 2u);
    EXPECT_EQ(descs(model::kText, cs[0]), S{"L3 S 0,100 h60 a0 &1"});
    EXPECT_EQ(descs(model::kText, cs[1]), S{"L3 S 0,0 h60 a0 &2"});
    // Written back, a missing text's line comes from the hook point and its hook number is 2 again.
    std::string out = write();
    EXPECT_NE(out.find("COMP\r\nR2\r\nR0805\r\n10K\r\n 0 0 60 0 10 7\r\n 0 100 60 0 10 7\r\n0 0 1 2 2\r\n"),
              std::string::npos);
    EXPECT_NE(out.find("COMP\r\nR1\r\nR0805\r\n10K\r\n 0 0 60 0 10 7\r\n 0 0 60 0 10 7\r\n0 0 2 1 2\r\n"),
              std::string::npos);
}

TEST_F(Protel, MendsComponentsLeftOpenAndStrayEnds) {
    // ENDCOMP without COMP: error sound, nothing changed.  A COMP inside an open COMP closes the first;
    // the last one open at the end is closed too.
    std::string f = "PCB FILE 4\nENDCOMP\n";
    for (int i = 0; i < 3; ++i) {
        f += "COMP\nU" + std::to_string(i) + "\nP\nV\n0 0 60 0 10 7\n0 0 60 0 10 7\n0 0 1 1 2\nFT\n0 0 10 10 10 1\n";
    }
    ASSERT_EQ(read(f), 'P');
    EXPECT_EQ(sounds, 1);
    auto cs = members(model::kNone, model::kComponent);
    ASSERT_EQ(cs.size(), 3u);
    for (Ref c : cs) {
        EXPECT_EQ(members(c, model::kLine).size(), 1u);
        EXPECT_EQ(members(c, model::kComponent).size(), 0u);
    }
    ASSERT_EQ(skipped.size(), 2u);
    EXPECT_EQ(skipped[0].construct, "ENDCOMP without COMP");
    EXPECT_EQ(skipped[1].construct, "COMP without ENDCOMP");
    EXPECT_EQ(skipped[1].objects, 3);
}

TEST_F(Protel, MendsNumbersBeyondRangeCutRecordsAndUnknownKeywords) {
    ASSERT_EQ(read("PCB FILE 6\n"
                   "FT\n99999999999999999999 0 5 5 10 1\n" // saturated, held to the limit
                   "FT\n0 0 5\n"                           // too few numbers
                   "FA\n0 0 10 99 5 1\n"                   // mask beyond 15
                   "FP\n0 0 5000 5000 2 0 1 1\n7\n"        // size beyond one inch
                   "WIBBLE\n"
                   "NETDEF\nVCC\n0\n(\nU1-1\n"),           // NETDEF open at the end
              'P');
    for (const char* what : {"number beyond range", "coordinate beyond range", "track record with missing numbers",
                             "arc quadrant mask beyond 15", "size beyond range", "unknown record \"WIBBLE\"",
                             "NETDEF without \")\""}) {
        EXPECT_TRUE(reported(what)) << what;
    }
    ASSERT_EQ(lines().size(), 1u);
    EXPECT_EQ(n(lines()[0]).line.x1, model::kCoordLimit);
    EXPECT_EQ(n(pads()[0]).pad.width, 65535);
    EXPECT_EQ(descs(model::kArc), S{"L7 A w5 0,0 r10 0+180"}); // 99 & 15 = 3
    skipped.clear();
    ASSERT_EQ(read("COMP\nU1\nDIP\n"), 'P');
    EXPECT_TRUE(reported("COMP record cut off at the end"));
}

TEST_F(Protel, WritesASmallBoardLineByLine) {
    model::apply_template(d->setup, model::Template::ForeignBoard);
    Ref ring = d->ring();
    ASSERT_EQ(read("COMP\nU1\nDIP8\nLM358\n100 300 60 1 10 7\n100 400 50 0 10 7\n100 200 1 1 2\n"
                   "CP\n100 200 60 60 2 35 1 13\n1\nCP\n300 200 90 40 4 0 1 1\n2\n"
                   "FS\n0 0 60 0 10 7\nNOTE\n" // a third member text: lost
                   "CT\n90 150 310 150 10 7\nENDCOMP\n"
                   "FT\n0 0 1000 0 12 6\nFV\n700 700 50 28\nFS\n10 20 80 17 10 8\nHI\n"
                   "NETDEF\nVCC\n0\n(\nU1-1\nU1-2\n)\n{\n}\n",
                   'P'),
              'P');
    Ref c = members(model::kNone, model::kComponent)[0];
    model::node(members(c, model::kPad)[1]).pad.angle = 16384; // turned: sizes exchanged
    Ref a = model::MakeItem(ring, model::kArc, 7, static_cast<uint16_t>(mil(10)), mil(500), mil(500), mil(100), 0);
    model::node(a).arc.start = 16384; // 90 degrees for 180: quadrants 2 and 3
    model::node(a).arc.sweep = 32768;
    Ref s = model::MakeItem(ring, model::kLine, 7, 0, 0, 0, 0, 0);
    model::add_vertex(s, 0, 0);
    model::add_vertex(s, mil(10), 0);
    model::add_vertex(s, 0, mil(10));
    model::find_signal("AAA", true); // unused Signals are written too, in name order

    std::vector<std::string> losses;
    // Text flags: mirrored (16) with an odd quarter-turn count has bit 1 inverted: 17 becomes 19.
    EXPECT_EQ(write(&losses), crlf("PCB FILE 4\n"
                                   "COMP\nU1\nDIP8\nLM358\n 100 300 60 1 10 7\n 100 400 50 0 10 7\n100 200 1 1 2\n"
                                   "CP\n100 200 60 60 2 35 1 13\n1\n"
                                   "CP\n300 200 40 90 4 0 1 1\n2\n"
                                   "CT\n90 150 310 150 10 7 0\n"
                                   "ENDCOMP\n"
                                   "FT\n0 0 1000 0 12 6 0\n"
                                   "FV\n700 700 50 28\n"
                                   "FS\n10 20 80 19 10 8\nHI\n"
                                   "FA\n500 500 100 6 10 1\n"
                                   "NETDEF\nAAA\n0\n(\n)\n{\n}\n"
                                   "NETDEF\nVCC\n0\n(\nU1-1\nU1-2\n)\n{\n}\n"
                                   "ENDPCB\n"));
    EXPECT_EQ(losses, (S{"AutoTrax has no polygons (Solids): 1 left out",
                         "AutoTrax has no Component texts besides the reference and value (member Texts): 1 left out"}));
}

TEST_F(Protel, WriterLayerNumbersAndQuadrantMasks) {
    struct {
        const char* name;
        uint8_t type;
        int want;
    } layers[] = {{"Pads", model::kLayerCopper, 11},  {"Top", model::kLayerCopper, 1},
                  {"Inner A", model::kLayerCopper, 2}, {"Bottom", model::kLayerCopper | model::kLayerBottom, 6},
                  {"Inner B", model::kLayerCopper, 3}, {"GND", model::kLayerPlane, 9},
                  {"PWR", model::kLayerPlane, 10},     {"Bottom silk", model::kLayerSilk, 8},
                  {"Top mask", model::kLayerMask, 7},  {"Drawing", model::kLayerDrawing, 15}};
    std::string want;
    for (size_t l = 0; l < std::size(layers); ++l) {
        model::set_layer_name(d->setup.layers[l], layers[l].name);
        d->setup.layers[l].type = layers[l].type;
        model::MakeItem(d->ring(), model::kLine, static_cast<uint8_t>(l), 655, 0, 0, mil(10), 0);
        want += "FT\r\n0 0 10 0 10 " + std::to_string(layers[l].want) + " 0\r\n";
    }
    // Start quadrant s and end quadrant e (of start + sweep - 1) give index 4s + e of the mask table.
    struct {
        int start, sweep, mask;
    } arcs_[] = {{0, 90, 1}, {0, 0, 15}, {90, 270, 14}, {180, 180, 12}, {270, 90, 8}, {270, 180, 9}, {45, 90, 3}};
    for (auto& a : arcs_) {
        Ref r = model::MakeItem(d->ring(), model::kArc, 1, 655, 0, 0, mil(10), 0);
        model::node(r).arc.start = model::degrees_to_angle(a.start);
        model::node(r).arc.sweep = model::degrees_to_angle(a.sweep);
        want += "FA\r\n0 0 10 " + std::to_string(a.mask) + " 10 1\r\n";
    }
    EXPECT_EQ(write(), "PCB FILE 4\r\n" + want + "ENDPCB\r\n");
}

TEST_F(Protel, BoardThereAndBackKeepsPadsTracksArcsComponentsAndSignals) {
    // The hand file of the test data, written and read again.
    std::ifstream f(std::string(TRAZEL_SOURCE_DIR) + "/tests/data/foreign/protel_small.pcb", std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    ASSERT_EQ(read(ss.str()), 'P');
    EXPECT_TRUE(skipped.empty());
    Ref free_pad = members(model::kNone, model::kPad)[0];
    model::AttachSignal(free_pad, "FREE"); // not a Component pad: no NETDEF node carries it back
    auto all = [&](model::Document* doc) {
        S v;
        model::walk_tree(doc->ring(), [&](Ref r, int) {
            if (n(r).item_kind() != model::kText) {
                v.push_back(desc(r));
            }
        });
        std::sort(v.begin(), v.end());
        return v;
    };
    S before = all(d);
    ASSERT_EQ(before.size(), 14u); // 2 Components, 6 pads, a via, 3 tracks, 2 arcs
    std::string first = write();
    model::Document* back = model::NewDocument("back.pcb");
    ASSERT_EQ(read(first, 0, back), 'P');
    S after = all(back);
    auto it = std::find(before.begin(), before.end(), desc(free_pad));
    ASSERT_NE(it, before.end());
    *it = it->substr(0, it->rfind(' ')); // the free pad's Signal stays behind
    std::sort(before.begin(), before.end());
    EXPECT_EQ(after, before);
}
