// The DXF writer, worked out by hand: a small board through the writer line by line, every Item form,
// the layer table (names, colours, hidden layers) and the values a DXF line may not hold.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "formats/dxf.h"
#include "model/model.h"
#include "model/setup_directives.h"

namespace {

using namespace trazel;
using model::Coord;
using model::Ref;
using Lines = std::vector<std::string>;
using V = std::vector<std::vector<const char*>>; // vertices: x, y and an optional bulge

constexpr Coord kIn = 65536;

Coord mil(int64_t m) {
    return model::mils_to_units(m);
}

// What the writer must spell, one group per pair of lines.
Lines poly(const char* layer, const char* width, bool closed, const V& vertices) {
    Lines l = {"0", "POLYLINE", "8", layer, "66", " 1"};
    if (closed) {
        l.insert(l.end(), {"70", " 1"});
    }
    l.insert(l.end(), {"40", width, "41", width});
    for (const auto& v : vertices) {
        l.insert(l.end(), {"0", "VERTEX", "8", layer, "10", v[0], "20", v[1]});
        if (v.size() > 2) {
            l.insert(l.end(), {"42", v[2]});
        }
    }
    l.insert(l.end(), {"0", "SEQEND"});
    return l;
}
Lines solid(const char* layer, std::vector<const char*> c) {
    return {"0",  "SOLID", "8",  layer, "10", c[0], "20", c[1], "11", c[2],
            "21", c[3],    "12", c[4],  "22", c[5], "13", c[6], "23", c[7]};
}
Lines text_entity(const char* x, const char* y, const char* s, Lines tail = {}) {
    Lines l = {"0", "TEXT", "8", "Top_Silk", "40", " .1", "10", x, "20", y, "1", s};
    l.insert(l.end(), tail.begin(), tail.end());
    return l;
}
Lines join(std::initializer_list<Lines> parts) {
    Lines l;
    for (const Lines& p : parts) {
        l.insert(l.end(), p.begin(), p.end());
    }
    return l;
}

struct DxfWrite : ::testing::Test {
    model::Model m;
    model::Document* d = nullptr;

    void SetUp() override {
        d = model::NewDocument("board.pcb");
        ASSERT_NE(d, nullptr);
        for (const char* l : {"-y0", "-y0:00FFFF00,00000000,0,0,Pad Master", "-y1:00FFFFFF,00000000,0,1,Top Silk",
                              "-y3:00AA0000,00000000,2,3,Top Side"}) {
            ASSERT_TRUE(model::ApplyDirective(d->setup, l)) << l;
        }
    }
    // Every line of the output; each must end in CR LF and hold no other CR or LF.
    Lines all_lines() {
        std::string s;
        model::OutBuffer out;
        out.open_memory(&s);
        EXPECT_TRUE(formats::write_dxf(*d, out) && out.commit());
        Lines v;
        for (size_t at = 0, e; at < s.size(); at = e + 2) {
            e = s.find("\r\n", at);
            if (e == std::string::npos) {
                ADD_FAILURE() << "output does not end in CR LF: " << s.substr(at);
                break;
            }
            v.push_back(s.substr(at, e - at));
            EXPECT_EQ(v.back().find_first_of("\r\n"), std::string::npos) << v.back();
        }
        return v;
    }
    // The pairs between "2 ENTITIES" and its "0 ENDSEC".
    Lines entities() {
        Lines v = all_lines();
        const std::string key[] = {"2", "ENTITIES"};
        auto at = std::search(v.begin(), v.end(), std::begin(key), std::end(key));
        Lines out;
        for (size_t i = static_cast<size_t>(at - v.begin()) + 2; i + 1 < v.size() && v[i + 1] != "ENDSEC"; i += 2) {
            out.insert(out.end(), {v[i], v[i + 1]});
        }
        return out;
    }
    Lines table() {
        Lines v = all_lines(), names;
        for (size_t i = 0; i + 3 < v.size(); i += 2) {
            if (v[i + 1] == "LAYER" && v[i + 2] == "2") {
                names.push_back(v[i + 3]);
            }
        }
        return names;
    }
    static int count(const Lines& v, std::string_view entity) {
        return static_cast<int>(std::count(v.begin(), v.end(), entity));
    }

    Ref ring() {
        return d->ring();
    }
    Ref line(Ref r, int layer, int width, Coord x1, Coord y1, Coord x2, Coord y2) {
        return model::MakeItem(r, model::kLine, uint8_t(layer), uint16_t(width), x1, y1, x2, y2);
    }
    Ref arc(Ref r, int layer, Coord x0, Coord y0, Coord radius, model::Angle start, model::Angle sweep) {
        Ref a = model::MakeItem(r, model::kArc, uint8_t(layer), uint16_t(mil(10)), x0, y0, radius, 0);
        model::node(a).arc.start = start;
        model::node(a).arc.sweep = sweep;
        return a;
    }
    void pad(int layer, int type, Coord x, Coord y, Coord w, Coord h, Coord hole, model::Angle angle = 0) {
        model::Node& n = model::node(model::MakeItem(ring(), model::kPad, uint8_t(layer), uint16_t(type), x, y, 0, 0));
        n.pad.width = model::Length(w);
        n.pad.height = model::Length(h);
        n.pad.hole = model::Length(hole);
        n.pad.angle = angle;
    }
    Ref text(Ref r, std::string_view s, Coord x, Coord y, int anchor = 0, Coord length = kIn / 2, model::Angle a = 0) {
        Ref t = model::MakeItem(r, model::kText, 1, uint16_t(mil(100)), x, y, 0, 0);
        model::Node& n = model::node(t);
        n.text.length = length;
        n.text.angle = a;
        n.text.anchor_font = uint8_t(anchor);
        EXPECT_TRUE(model::SetText(t, s));
        return t;
    }
};

TEST_F(DxfWrite, SmallBoardLineByLine) {
    line(ring(), 3, mil(10), kIn, kIn, 2 * kIn, kIn);
    line(ring(), 3, mil(10), 2 * kIn, kIn, 2 * kIn, 3 * kIn / 2);
    text(ring(), "R1", kIn, 4 * kIn);
    Lines want = {
        "0",  "SECTION", "2",  "HEADER",     "9",  "$ACADVER", "1",  "AC1002",   "0",  "ENDSEC",
        "0",  "SECTION", "2",  "TABLES",     "0",  "TABLE",    "2",  "LAYER",    "70", " 8",
        "0",  "LAYER",   "2",  "Pad_Master", "70", " 0",       "62", "2",        "6",  "CONTINUOUS",
        "0",  "LAYER",   "2",  "Top_Silk",   "70", " 0",       "62", "7",        "6",  "CONTINUOUS",
        "0",  "LAYER",   "2",  "Top_Side",   "70", " 0",       "62", "1",        "6",  "CONTINUOUS",
        "0",  "ENDTAB",  "0",  "ENDSEC",     "0",  "SECTION",  "2",  "BLOCKS",   "0",  "ENDSEC",
        "0",  "SECTION", "2",  "ENTITIES",   "0",  "POLYLINE", "8",  "Top_Side", "66", " 1",
        "40", " .01",    "41", " .01",       "0",  "VERTEX",   "8",  "Top_Side", "10", " 1.0",
        "20", " 1.0",    "0",  "VERTEX",     "8",  "Top_Side", "10", " 2.0",     "20", " 1.0",
        "0",  "VERTEX",  "8",  "Top_Side",   "10", " 2.0",     "20", " 1.5",     "0",  "SEQEND",
        "0",  "TEXT",    "8",  "Top_Silk",   "40", " .1",      "10", " 1.0",     "20", " 4.0",
        "1",  "R1",      "0",  "ENDSEC",     "0",  "EOF",
    };
    EXPECT_EQ(all_lines(), want);
}

TEST_F(DxfWrite, SolidsArcsCirclesAndEllipses) {
    Ref s = line(ring(), 3, 0, 0, 0, 0, 0), five = line(ring(), 3, 0, 0, 0, 0, 0);
    for (auto [x, y] : {std::pair{0, 0}, {kIn, 0}, {0, kIn / 2}}) {
        model::add_vertex(s, x, y);
    }
    for (auto [x, y] : {std::pair{0, 0}, {kIn, 0}, {kIn, kIn}, {kIn / 2, 2 * kIn}, {0, kIn}}) {
        model::add_vertex(five, x, y);
    }
    arc(ring(), 1, kIn, kIn, kIn / 2, 0, 16384);     // a quarter: bulge tan(22.5 degrees)
    arc(ring(), 1, 2 * kIn, 2 * kIn, kIn / 4, 0, 0); // a full circle
    arc(ring(), 1, 0, 0, kIn, 16384, 32768);         // a half circle from +Y to -Y
    EXPECT_EQ(entities(),
              join({
                  // a triangle repeats corner 3 as corner 4; DXF fills corners 1, 2, 4, 3
                  solid("Top_Side", {" 0", " 0", " 1.0", " 0", " 0", " .5", " 0", " .5"}),
                  // more than four vertices: a closed outline 65 units wide
                  poly("Top_Side", " .001", true,
                       {{" 0", " 0"}, {" 1.0", " 0"}, {" 1.0", " 1.0"}, {" .5", " 2.0"}, {" 0", " 1.0"}}),
                  poly("Top_Silk", " .01", false, {{" 1.5", " 1.0", " .41422"}, {" 1.0", " 1.5", " .41422"}}),
                  poly("Top_Silk", " .01", true, {{" 2.25", " 2.0", " 1.0"}, {" 1.75", " 2.0", " 1.0"}}),
                  poly("Top_Silk", " .01", false, {{" 0", " 1.0", " 1.0"}, {" 0", " -1.0", " 1.0"}}),
              }));

    // No bulge draws an ellipse: a closed polyline of 64 chords on the curve (axes 1 and 0.5 inch).
    model::DeleteItem(ring());
    model::node(arc(ring(), 1, 2 * kIn, 2 * kIn, kIn, 0, 0)).arc.ellipse = 32768;
    Lines v = entities();
    EXPECT_EQ(count(v, "VERTEX"), 64);
    EXPECT_EQ(count(v, "42"), 0);
    EXPECT_EQ(Lines(v.begin() + 12, v.begin() + 20),
              (Lines{"0", "VERTEX", "8", "Top_Silk", "10", " 3.0", "20", " 2.0"}));
    EXPECT_EQ(Lines(v.begin() + 140, v.begin() + 148),
              (Lines{"0", "VERTEX", "8", "Top_Silk", "10", " 2.0", "20", " 2.5"}));
}

TEST_F(DxfWrite, PadsDownToRingsInsetsAndOvalSides) {
    pad(3, 6, 3 * kIn, 3 * kIn, kIn / 4, kIn / 8, 0);        // surface rectangle: a SOLID
    pad(3, 5, 4 * kIn, 3 * kIn, kIn / 4, kIn / 8, 0, 16384); // surface oval turned a quarter
    pad(3, 5, 5 * kIn, 3 * kIn, kIn / 8, kIn / 8, 0);        // round: a dot of its size
    // 60 mil via, 28 mil hole: d = (3932 - 1835) / 2 = 1048 units, ring radius (1835 + 1048) / 2 = 1441.
    pad(0, 3, kIn, 3 * kIn, mil(60), mil(60), mil(28));
    // 60 mil square, 35 mil hole: d = 819, ring radius 1556, corners inset to 1966 - 409 = 1557.
    pad(0, 2, 3 * kIn / 2, 3 * kIn, mil(60), mil(60), mil(35));
    // 100 x 60 mil oval: the end centres 1311 off the centre, the ends' radius 1557.
    pad(0, 1, 2 * kIn, 3 * kIn, mil(100), mil(60), mil(35));
    const char* pm = "Pad_Master";
    EXPECT_EQ(
        entities(),
        join({
            solid("Top_Side", {" 2.875", " 2.9375", " 3.125", " 2.9375", " 2.875", " 3.0625", " 3.125", " 3.0625"}),
            poly("Top_Side", " .125", false, {{" 4.0", " 3.0625"}, {" 4.0", " 2.9375"}}),
            poly("Top_Side", " .125", false, {{" 5.0", " 3.0"}, {" 5.0", " 3.0"}}),
            poly(pm, " .016", true, {{" 1.02198", " 3.0", " 1.0"}, {" .97802", " 3.0", " 1.0"}}),
            poly(pm, " .0125", true, {{" 1.52374", " 3.0", " 1.0"}, {" 1.47626", " 3.0", " 1.0"}}),
            poly(pm, " .0125", true,
                 {{" 1.47624", " 2.97624"},
                  {" 1.52376", " 2.97624"},
                  {" 1.52376", " 3.02376"},
                  {" 1.47624", " 3.02376"}}),
            poly(pm, " .0125", true, {{" 2.02374", " 3.0", " 1.0"}, {" 1.97626", " 3.0", " 1.0"}}),
            poly(pm, " .0125", false, {{" 1.98", " 3.02376"}, {" 2.02", " 3.02376"}}),
            poly(pm, " .0125", false, {{" 1.98", " 2.97624"}, {" 2.02", " 2.97624"}}),
            poly(pm, " .0125", false, {{" 2.02", " 2.97624", " 1.0"}, {" 2.02", " 3.02376", " 1.0"}}),
            poly(pm, " .0125", false, {{" 1.98", " 3.02376", " 1.0"}, {" 1.98", " 2.97624", " 1.0"}}),
        }));
}

TEST_F(DxfWrite, TextsAtTheirCornerFieldsResolvedMirroredAndMadeSafe) {
    text(ring(), "C", kIn, 4 * kIn, 5); // centred: the corner half the length left, half the height down
    text(ring(), "M", 2 * kIn, 4 * kIn, 0, -kIn / 2, 16384); // mirrored and turned
    Ref c = model::make_component(ring(), 0, 0, "DIP8\x7FU7\x7FNE555");
    text(model::member_ring(c), "&1", 3 * kIn, 4 * kIn);
    text(ring(),
         "10\xF8"
         "C\r\nok",
         0, 0); // degree sign; CR and LF dropped
    text(ring(),
         "AB\xFF"
         "CD",
         kIn, 0, 0, kIn / 2, 16384);    // two lines, the second 9 steps below
    text(ring(), "X\x7FY", 0, kIn);     // the separator ends what is shown
    text(ring(), "\xFF\r", 0, 2 * kIn); // nothing left: no TEXT
    text(ring(), "5%%d%", 0, 3 * kIn);  // not a degree sign
    Lines turned = {"50", " 90.0"};
    EXPECT_EQ(entities(), join({
                              text_entity(" .75", " 3.95", "C"),
                              text_entity(" 2.0", " 4.0", "M", {"50", " 90.0", "71", " 2"}),
                              text_entity(" 3.0", " 4.0", "U7"),
                              text_entity(" 0", " 0", "10%%dCok"),
                              text_entity(" 1.0", " 0", "AB", turned),
                              // a step is 6554 / 6 = 1092 units: 9 steps = 9828 units down the turned text, towards +X
                              text_entity(" 1.14996", " 0", "CD", turned),
                              text_entity(" 0", " 1.0", "X"),
                              text_entity(" 0", " 3.0", "5%%%%d%"),
                          }));
}

TEST_F(DxfWrite, HiddenLayersAndHiddenItemsAreLeftOut) {
    ASSERT_TRUE(model::ApplyDirective(d->setup, "-y4:01000000,00000000,0,4,Off Layer"));
    line(ring(), 4, mil(10), 0, 0, kIn, 0);
    model::node(text(model::member_ring(model::make_component(ring(), 0, 0, "X\x7FU1")), "gone", 0, 0)).layer = 4;
    model::node(line(ring(), 3, mil(10), 0, 0, kIn, 0)).kind |= model::kHiddenFlag;
    EXPECT_EQ(table(), (Lines{"Pad_Master", "Top_Silk", "Top_Side"}));
    EXPECT_TRUE(entities().empty());
}

TEST_F(DxfWrite, LayerNamesAreTheSameInTableAndEntitiesAndUnique) {
    for (const char* l : {"-y5:00FFFFFF,00000000,0,5,Don't Use", "-y6:00FFFFFF,00000000,0,6,Top_Silk",
                          "-y8:00FFFFFF,00000000,0,8,top silk", "-y9:00FFFFFF,00000000,0,9,Layer 7",
                          "-y10:00FFFFFF,00000000,0,10,a<b>c"}) {
        ASSERT_TRUE(model::ApplyDirective(d->setup, l)) << l;
    }
    d->setup.layers[7].colour = 0x0000AA; // no name, but an Item on it
    for (int l : {5, 7, 9}) {
        line(ring(), l, mil(10), 0, 0, kIn, 0);
    }
    // Named layers choose first (DXF names ignore case), so the nameless layer 7 gives way.
    EXPECT_EQ(table(), (Lines{"Pad_Master", "Top_Silk", "Top_Side", "Don_t_Use", "Top_Silk_2", "Layer_7_2",
                              "top_silk_3", "Layer_7", "a_b_c"}));
    Lines e = entities(), layers;
    for (size_t i = 0; i + 1 < e.size(); i += 2) {
        if (e[i] == "8" && (layers.empty() || layers.back() != e[i + 1])) {
            layers.push_back(e[i + 1]);
        }
    }
    EXPECT_EQ(layers, (Lines{"Don_t_Use", "Layer_7_2", "Layer_7"}));
}

TEST_F(DxfWrite, PolylineChainsJoinOneLayerAndWidthEachLineOnce) {
    line(ring(), 3, mil(10), 0, 0, kIn, 0);
    line(ring(), 3, mil(10), kIn, 0, kIn, kIn);           // joins
    line(ring(), 1, mil(10), kIn, kIn, 2 * kIn, kIn);     // another layer: a new chain
    line(ring(), 1, mil(20), 2 * kIn, kIn, 3 * kIn, kIn); // another width: a new chain
    line(ring(), 1, mil(20), 0, 0, kIn, 0);               // does not start where the last ended
    Lines e = entities();
    EXPECT_EQ(count(e, "POLYLINE"), 4);
    EXPECT_EQ(count(e, "VERTEX"), 3 + 2 + 2 + 2);
}

} // namespace
