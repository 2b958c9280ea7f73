// The DXF reader: recognition, numbers and pairs, layers and the LAYER table, every entity kind, the
// later entities other programs write, drawing units, block inserts as Components (scale, mirror,
// rotation, nesting) and the runaway cases (cycles, doubling nests, too many layers).
#include <chrono>
#include <cmath>
#include <fstream>
#include <sstream>

#include "formats/dxf.h"
#include "formats/dxf_read_text.h"
#include "formats_fixture.h"
#include "model/out_buffer.h"
#include "model/setup_directives.h"

using namespace fmttest;

namespace {

// "0 LINE|8 A|10 1" -> one pair per '|', code and value split at the first blank.
std::string pairs(std::string_view s) {
    std::string out;
    size_t p = 0;
    while (p <= s.size()) {
        size_t e = s.find('|', p);
        if (e == std::string_view::npos) {
            e = s.size();
        }
        std::string_view one = s.substr(p, e - p);
        size_t sp = one.find(' ');
        out.append(one.substr(0, sp)).append("\n");
        out.append(sp == std::string_view::npos ? std::string_view{} : one.substr(sp + 1)).append("\n");
        p = e + 1;
    }
    return out;
}

std::string section(std::string_view name, std::string_view body) {
    return pairs("0 SECTION|2 " + std::string(name)) + (body.empty() ? "" : pairs(body)) + pairs("0 ENDSEC");
}

std::string drawing(std::string_view entities, std::string_view blocks = {}, std::string_view tables = {},
                    std::string_view header = {}) {
    std::string s = section("HEADER", header.empty() ? "9 $ACADVER|1 AC1009" : header);
    if (!tables.empty()) {
        s += section("TABLES", tables);
    }
    if (!blocks.empty()) {
        s += section("BLOCKS", blocks);
    }
    return s + section("ENTITIES", entities) + pairs("0 EOF");
}

struct Dxf : Import {
    formats::DxfReadOptions options;

    char read(const std::string& text) {
        model::LineReader in;
        in.open_memory(text);
        return formats::read_dxf(in, *d, job('X'), options);
    }
    std::vector<Ref> texts() {
        return items(model::kText);
    }
    std::vector<Ref> components() {
        return items(model::kComponent);
    }
    std::vector<Ref> members(Ref c) {
        std::vector<Ref> v;
        for (Ref r : model::items_in(model::member_ring(c))) {
            v.push_back(r);
        }
        return v;
    }
    int64_t count(std::string_view construct) const {
        for (const formats::SkipEntry& e : skipped) {
            if (e.construct == construct) {
                return e.objects;
            }
        }
        return 0;
    }
    std::vector<std::pair<Coord, Coord>> vertices(Ref solid) {
        std::vector<std::pair<Coord, Coord>> v;
        for (Ref x = n(solid).link; x != model::kNone; x = n(x).link) {
            v.emplace_back(n(x).line.x1, n(x).line.y1);
        }
        return v;
    }
    const model::LayerEntry& layer(int l) {
        return d->setup.layers[static_cast<size_t>(l)];
    }
};

constexpr model::Angle deg(int d) {
    return model::degrees_to_angle(d);
}

// Within one unit (doubles rounded to units).
void near(Coord a, Coord b) {
    EXPECT_LE(std::abs(int64_t{a} - b), 1) << a << " vs " << b;
}

void near_angle(model::Angle a, model::Angle b) {
    int diff = static_cast<int16_t>(static_cast<model::Angle>(a - b));
    EXPECT_LE(std::abs(diff), 2) << a << " vs " << b;
}

} // namespace

// --- Recognition, pairs and numbers -------------------------------------------------------------------

TEST(DxfAccepts, CommentsBlanksAndTheHeaderSection) {
    EXPECT_TRUE(formats::dxf_accepts("999\r\nmade by hand\r\n999\r\nsecond\r\n  0\r\nSECTION\r\n  2\r\nHEADER\r\n", 0));
    EXPECT_TRUE(formats::dxf_accepts("0\nSECTION\n\n2\nHEADER\n", 0));
    EXPECT_FALSE(formats::dxf_accepts("0\nSECTION\n2\nENTITIES\n", 0));
    EXPECT_FALSE(formats::dxf_accepts("999\ncomment\n", 0));
    EXPECT_FALSE(formats::dxf_accepts("G04 a photoplot*\n", 0));
    EXPECT_TRUE(formats::dxf_accepts("anything", 'X'));
    EXPECT_FALSE(formats::dxf_accepts("0\nSECTION\n2\nHEADER\n", 'G'));
}

TEST(DxfNumbers, RealsAndWholeNumbers) {
    using formats::dxf_detail::parse_real;
    EXPECT_DOUBLE_EQ(parse_real("  1.5E2").v, 150.0);
    EXPECT_DOUBLE_EQ(parse_real("-.25").v, -0.25);
    EXPECT_DOUBLE_EQ(parse_real("1.2246467991473532e-16").v, 1.2246467991473532e-16);
    // The power is held to 5 upward: 1e7 reads as 1e5, and 1e999 too.
    auto big = parse_real("1e999");
    EXPECT_DOUBLE_EQ(big.v, 1e5);
    EXPECT_TRUE(big.clipped);
    EXPECT_TRUE(parse_real("nan").nan);
    EXPECT_TRUE(parse_real("").nan);
    int32_t v = 0;
    EXPECT_TRUE(formats::dxf_detail::parse_int("   70  ", v));
    EXPECT_EQ(v, 70);
    EXPECT_TRUE(formats::dxf_detail::parse_int("99999999999", v));
    EXPECT_EQ(v, INT32_MAX);
    EXPECT_FALSE(formats::dxf_detail::parse_int("x1", v));
}

TEST(DxfText, SymbolsLineBreaksAndFormatting) {
    std::string out;
    formats::dxf_detail::text_to_stored("45%%d %%p0.1 %%c3 100%%%", out);
    EXPECT_EQ(out, "45\xF8 \xF1"
                   "0.1 \xED"
                   "3 100%");
    formats::dxf_detail::text_to_stored("caf\xC3\xA9 5\xC2\xB5", out);
    EXPECT_EQ(out, "caf? 5\xE6");
    formats::dxf_detail::mtext_to_stored("{\\fArial|b1;Bold}\\PLine\\~two \\H2.5x;big \\S1^2; \\\\x", out);
    EXPECT_EQ(out, "Bold\xFFLine two big 1/2 \\x");
}

TEST_F(Dxf, PairsWithLeadingBlanksAndCrLf) {
    std::string text = "  0\r\nSECTION\r\n  2\r\nENTITIES\r\n  0\r\nLINE\r\n  8\r\nA\r\n 10\r\n1.0\r\n 20\r\n2.0\r\n"
                       " 11\r\n3.0\r\n 21\r\n 4.0\r\n  0\r\nENDSEC\r\n  0\r\nEOF\r\n";
    ASSERT_EQ(read(text), 'X');
    auto l = lines();
    ASSERT_EQ(l.size(), 1u);
    EXPECT_EQ(n(l[0]).line.x1, kIn);
    EXPECT_EQ(n(l[0]).line.y1, 2 * kIn);
    EXPECT_EQ(n(l[0]).line.x2, 3 * kIn);
    EXPECT_EQ(n(l[0]).line.y2, 4 * kIn);
    EXPECT_EQ(n(l[0]).size, 65);
}

TEST_F(Dxf, HugeAndNonNumericRealsAreReportedAndHeld) {
    ASSERT_EQ(read(drawing("0 LINE|8 A|10 1e999|20 nan|11 -40000|21 0.5")), 'X');
    auto l = lines();
    ASSERT_EQ(l.size(), 1u);
    EXPECT_EQ(n(l[0]).line.x1, model::kCoordLimit); // 1e5 inches, held
    EXPECT_EQ(n(l[0]).line.y1, 0);
    EXPECT_EQ(n(l[0]).line.x2, -model::kCoordLimit);
    EXPECT_TRUE(reported("real value exponent beyond 5"));
    EXPECT_TRUE(reported("real value not a number"));
    EXPECT_EQ(count("real value beyond 32767 inches (held there)"), 2);
}

// --- Layers -------------------------------------------------------------------------------------------

TEST_F(Dxf, LayerLookupExactCutAndYellow) {
    ASSERT_EQ(read(drawing("0 LINE|8 Outline|11 1|0 LINE|8 outline|11 1|0 LINE|8 Outline|11 2|"
                           "0 LINE|8 A_very_long_layer_name_1|0 LINE|8 A_very_long_layer_name_2")),
              'X');
    EXPECT_STREQ(layer(0).name, "Outline");
    EXPECT_STREQ(layer(1).name, "outline");
    EXPECT_STREQ(layer(2).name, "A_very_long_lay");
    EXPECT_FALSE(layer(3).in_use());
    EXPECT_EQ(layer(0).colour, 0xFFFF00u);
    auto l = lines();
    ASSERT_EQ(l.size(), 5u);
    EXPECT_EQ(n(l[2]).layer, 0);
    EXPECT_EQ(n(l[3]).layer, 2);
    EXPECT_EQ(n(l[4]).layer, 2); // the same first 15 characters
}

TEST_F(Dxf, LayerTableWindowsColoursAndComplement) {
    std::string tables = "0 TABLE|2 LAYER|70 4|"
                         "0 LAYER|2 Copper|70 0|62 1|6 CONTINUOUS|"
                         "0 LAYER|2 Silk|70 0|62 -23|"
                         // name at pair 7: beyond the window of six
                         "0 LAYER|5 1|330 2|100 a|100 b|70 0|6 X|2 Late|62 3|"
                         // colour at pair 9: beyond the window of eight
                         "0 LAYER|2 Plain|5 1|330 2|100 a|100 b|70 0|6 X|390 F|62 4|"
                         "0 LAYER|2 Copper|62 5|"
                         "0 ENDTAB";
    ASSERT_EQ(read(drawing("0 LINE|8 Copper", {}, tables)), 'X');
    EXPECT_STREQ(layer(0).name, "Copper");
    EXPECT_EQ(layer(0).colour, 0xAA0000u);
    EXPECT_EQ(layer(0).plot, 0x55FFFFu);
    EXPECT_STREQ(layer(1).name, "Silk");
    EXPECT_EQ(layer(1).colour, 0xFFFFFFu); // 23 mod 16 = 7
    EXPECT_EQ(layer(1).plot, 0u);
    EXPECT_STREQ(layer(2).name, "Plain");
    EXPECT_EQ(layer(2).colour, 0xFFFF00u);
    EXPECT_FALSE(layer(3).in_use()); // "Late" never read
    ASSERT_EQ(lines().size(), 1u);
    EXPECT_EQ(n(lines()[0]).layer, 0);
}

TEST_F(Dxf, MoreThan255LayerNamesShareTheLastOne) {
    std::string e;
    for (int k = 0; k < 300; ++k) {
        e += "0 LINE|8 L" + std::to_string(k) + "|11 1|";
    }
    e += "0 LINE|8 L3|11 1";
    ASSERT_EQ(read(drawing(e)), 'X');
    EXPECT_STREQ(layer(254).name, "L254");
    EXPECT_FALSE(layer(255).in_use());
    auto l = lines();
    ASSERT_EQ(l.size(), 301u);
    EXPECT_EQ(n(l[299]).layer, 254);
    EXPECT_EQ(n(l[300]).layer, 3);
    EXPECT_EQ(count("layer names beyond 255 (put on layer 254)"), 45);
}

// --- Entities -----------------------------------------------------------------------------------------

TEST_F(Dxf, ArcSweepRunsModuloATurnAndCircleIsFull) {
    ASSERT_EQ(read(drawing("0 ARC|8 A|10 1|20 1|40 0.5|50 350|51 10|"
                           "0 ARC|8 A|10 0|20 0|40 1|50 90|51 0|"
                           "0 CIRCLE|8 A|10 2|20 3|40 0.25")),
              'X');
    auto a = arcs();
    ASSERT_EQ(a.size(), 3u);
    EXPECT_EQ(n(a[0]).arc.x0, kIn);
    EXPECT_EQ(n(a[0]).arc.radius, kIn / 2);
    near_angle(n(a[0]).arc.start, deg(350));
    near_angle(n(a[0]).arc.sweep, deg(20));
    near_angle(n(a[1]).arc.sweep, deg(270));
    EXPECT_EQ(n(a[2]).arc.sweep, 0);
    EXPECT_EQ(n(a[2]).arc.radius, kIn / 4);
    EXPECT_EQ(n(a[2]).arc.ellipse, 0);
    EXPECT_EQ(n(a[2]).size, 65);
}

TEST_F(Dxf, ClosedPolylineOfFourVerticesIsFourLines) {
    ASSERT_EQ(read(drawing("0 POLYLINE|8 B|66 1|70 1|40 0.0005|"
                           "0 VERTEX|8 B|10 0|20 0|0 VERTEX|8 B|10 1|20 0|0 VERTEX|8 B|10 1|20 1|"
                           "0 VERTEX|8 B|10 0|20 1|0 SEQEND|8 B|"
                           "0 POLYLINE|8 B|66 1|40 0.01|41 0.02|0 VERTEX|10 0|20 0|0 VERTEX|10 0|20 2|0 SEQEND")),
              'X');
    auto l = lines();
    ASSERT_EQ(l.size(), 5u);
    EXPECT_EQ(n(l[3]).line.x1, 0);
    EXPECT_EQ(n(l[3]).line.y1, kIn);
    EXPECT_EQ(n(l[3]).line.x2, 0); // the closing segment back to the first vertex
    EXPECT_EQ(n(l[3]).line.y2, 0);
    EXPECT_EQ(n(l[0]).size, 65);   // 33 units is below 66
    EXPECT_EQ(n(l[4]).size, 1311); // the larger of 40 and 41, 0.02 inch
    EXPECT_TRUE(skipped.empty());
}

TEST_F(Dxf, BulgesMakeArcsBothWaysAndTheSizeTestKeepsLines) {
    // Bulge 1 from (0,0) to (2,0): half circle about (1,0) from 180 degrees counter-clockwise... that
    // is, below the chord; bulge -1 turns the other way (from (2,0) to (4,0), centre (3,0), above).
    ASSERT_EQ(read(drawing("0 POLYLINE|8 B|66 1|0 VERTEX|10 0|20 0|42 1.0|0 VERTEX|10 2|20 0|42 -1|"
                           "0 VERTEX|10 4|20 0|42 0.0000001|0 VERTEX|10 5|20 0|0 SEQEND")),
              'X');
    auto a = arcs();
    ASSERT_EQ(a.size(), 2u);
    EXPECT_EQ(n(a[0]).arc.x0, kIn);
    EXPECT_EQ(n(a[0]).arc.y0, 0);
    EXPECT_EQ(n(a[0]).arc.radius, kIn);
    near_angle(n(a[0]).arc.start, deg(180));
    near_angle(n(a[0]).arc.sweep, deg(180));
    EXPECT_EQ(n(a[1]).arc.x0, 3 * kIn);
    near_angle(n(a[1]).arc.start, deg(0)); // clockwise from (2,0): counter-clockwise from (4,0)
    near_angle(n(a[1]).arc.sweep, deg(180));
    // 1e-7 x 1 inch / 2 is far below a unit: the segment stays a Line.
    ASSERT_EQ(lines().size(), 1u);
    EXPECT_EQ(n(lines()[0]).line.x1, 4 * kIn);
}

TEST_F(Dxf, QuarterBulgeCentreAndClosedTwoVertexCircle) {
    // tan(22.5 degrees): a quarter turn from (1,0) to (0,1) about the origin.
    ASSERT_EQ(read(drawing("0 POLYLINE|8 B|66 1|0 VERTEX|10 1|20 0|42 0.41421356237|0 VERTEX|10 0|20 1|0 SEQEND|"
                           "0 POLYLINE|8 B|66 1|70 1|0 VERTEX|10 5|20 0|42 1|0 VERTEX|10 3|20 0|42 1|0 SEQEND")),
              'X');
    auto a = arcs();
    ASSERT_EQ(a.size(), 2u);
    near(n(a[0]).arc.x0, 0);
    near(n(a[0]).arc.y0, 0);
    near(n(a[0]).arc.radius, kIn);
    near_angle(n(a[0]).arc.start, 0);
    near_angle(n(a[0]).arc.sweep, deg(90));
    EXPECT_EQ(n(a[1]).arc.x0, 4 * kIn);
    EXPECT_EQ(n(a[1]).arc.radius, kIn);
    EXPECT_EQ(n(a[1]).arc.sweep, 0);
    EXPECT_TRUE(lines().empty());
}

TEST_F(Dxf, SolidCornersAndTriangles) {
    ASSERT_EQ(read(drawing("0 SOLID|8 S|10 0|20 0|11 1|21 0|12 0|22 1|13 1|23 1|"
                           "0 TRACE|8 S|10 0|20 0|11 1|21 0|12 0|22 1|13 0|23 1|"
                           "0 3DFACE|8 S|10 0|20 0|11 1|21 0|12 1|22 1|13 0|23 1")),
              'X');
    auto s = solids();
    ASSERT_EQ(s.size(), 3u);
    std::vector<std::pair<Coord, Coord>> square = {{kIn, 0}, {0, 0}, {0, kIn}, {kIn, kIn}};
    EXPECT_EQ(vertices(s[0]), square);
    std::vector<std::pair<Coord, Coord>> tri = {{kIn, 0}, {0, 0}, {0, kIn}};
    EXPECT_EQ(vertices(s[1]), tri);
    std::vector<std::pair<Coord, Coord>> face = {{0, 0}, {kIn, 0}, {kIn, kIn}, {0, kIn}};
    EXPECT_EQ(vertices(s[2]), face);
    EXPECT_EQ(n(s[0]).line.x2, kIn); // the box from every corner
    EXPECT_EQ(n(s[0]).line.y2, kIn);
}

TEST_F(Dxf, TextHeightAngleMirrorAndDropped) {
    ASSERT_EQ(read(drawing("0 TEXT|8 T|10 1|20 2|40 0.1|50 -90|1 R12|71 0|"
                           "0 TEXT|8 T|10 0|20 0|40 0.1|1 AB|71 2|"
                           "0 TEXT|8 T|10 0|20 0|1 X|71 6|"
                           "0 TEXT|8 T|10 0|20 0|40 5|1 Z|"
                           "0 TEXT|8 T|10 0|20 0|40 0.1|"
                           "0 ATTRIB|8 T|10 0|20 0|40 0.1|1 V|70 1")),
              'X');
    auto t = texts();
    ASSERT_EQ(t.size(), 4u);
    EXPECT_EQ(n(t[0]).text.x0, kIn);
    EXPECT_EQ(n(t[0]).text.y0, 2 * kIn);
    EXPECT_EQ(n(t[0]).size, 6554);
    EXPECT_EQ(n(t[0]).text.angle, deg(270));
    EXPECT_GT(n(t[0]).text.length, 6); // measured from the string
    EXPECT_EQ(model::GetText(t[0]), "R12");
    EXPECT_LT(n(t[1]).text.length, 0); // 71 bit 1: mirrored
    EXPECT_GT(n(t[2]).text.length, 0); // backward and upside down: mirrored twice, half a turn
    EXPECT_EQ(n(t[2]).text.angle, deg(180));
    EXPECT_EQ(n(t[2]).size, 6);     // no height: the default 6 units
    EXPECT_EQ(n(t[3]).size, 65535); // held to 65535 units
    EXPECT_TRUE(reported("ATTRIB invisible"));
}

TEST_F(Dxf, TextAlignmentPointAndMtextAttachment) {
    ASSERT_EQ(read(drawing("0 TEXT|8 T|10 9|20 9|11 5|21 1|40 0.1|1 ABC|72 2|73 0|"
                           "0 MTEXT|8 T|10 2|20 3|40 0.1|71 1|3 Line\\P|1 {\\C1;two}")),
              'X');
    auto t = texts();
    ASSERT_EQ(t.size(), 2u);
    // Right-aligned on (5,1): the corner is one length to the left.
    EXPECT_EQ(n(t[0]).text.x0 + n(t[0]).text.length, 5 * kIn);
    EXPECT_EQ(n(t[0]).text.y0, kIn);
    EXPECT_EQ(model::GetText(t[1]), "Line\xFFtwo");
    EXPECT_EQ(n(t[1]).text.lines, 2);
    // Top left: the first line's base lies one height below the point.
    EXPECT_EQ(n(t[1]).text.x0, 2 * kIn);
    near(n(t[1]).text.y0, 3 * kIn - 6554);
}

TEST_F(Dxf, LaterEntitiesLwpolylineEllipseHatch) {
    ASSERT_EQ(read(drawing("0 LWPOLYLINE|8 P|90 3|70 1|43 0.01|10 0|20 0|10 2|20 0|42 1|10 2|20 2|40 0.05|41 0.03|"
                           "0 ELLIPSE|8 E|10 1|20 1|11 0|21 2|40 0.5|41 0|42 3.14159265358979|"
                           "0 HATCH|8 H|10 0|20 0|2 SOLID|70 1|71 0|91 2|"
                           "92 2|72 0|73 1|93 3|10 0|20 0|10 1|20 0|10 1|20 1|97 0|"
                           "92 1|93 2|72 1|10 0|20 0|11 2|21 0|72 2|10 1|20 0|40 1|50 0|51 180|73 1|97 0|"
                           "75 0|76 1|98 1|10 5|20 5|"
                           "0 HATCH|8 H|2 ANSI31|70 0|91 1|92 2|72 0|73 1|93 3|10 0|20 0|10 1|20 0|10 1|20 1|97 0")),
              'X');
    auto l = lines();
    ASSERT_EQ(l.size(), 2u);
    EXPECT_EQ(n(l[0]).size, 655);        // constant width 0.01 inch
    EXPECT_EQ(n(l[1]).size, 3277);       // the vertex's own 0.05 inch
    EXPECT_EQ(n(l[1]).line.x1, 2 * kIn); // the closing segment from (2,2)
    auto a = arcs();
    ASSERT_EQ(a.size(), 2u);
    EXPECT_EQ(n(a[0]).arc.x0, 2 * kIn); // bulge 1 from (2,0) to (2,2)
    EXPECT_EQ(n(a[0]).arc.y0, kIn);
    near_angle(n(a[0]).arc.start, deg(270));
    // The ellipse: major axis 2 inches along +Y, minor half of it, the first half of the curve.
    EXPECT_EQ(n(a[1]).arc.radius, 2 * kIn);
    EXPECT_EQ(n(a[1]).arc.ellipse, 32768);
    near_angle(n(a[1]).arc.angle, deg(90));
    near_angle(n(a[1]).arc.sweep, deg(180));
    near_angle(n(a[1]).arc.start, 0);
    auto s = solids();
    ASSERT_EQ(s.size(), 2u); // one per path; the pattern fill is reported
    EXPECT_EQ(vertices(s[0]).size(), 3u);
    EXPECT_GT(vertices(s[1]).size(), 10u); // the half circle chorded
    EXPECT_EQ(n(s[1]).line.y1, 0);
    near(n(s[1]).line.y2, kIn);
    EXPECT_TRUE(reported("HATCH pattern fill"));
}

TEST_F(Dxf, LineweightUnitsAndTheReportOfOtherEntities) {
    options.units = formats::DxfUnits::FromFile;
    ASSERT_EQ(read(drawing("0 LINE|8 A|10 25.4|20 0|11 50.8|21 0|370 25|0 SPLINE|8 A|10 1|0 SPLINE|8 A|"
                           "0 DIMENSION|8 A|0 CIRCLE|8 A|40 12.7",
                           {}, {}, "9 $ACADVER|1 AC1021|9 $INSUNITS|70 4")),
              'X');
    auto l = lines();
    ASSERT_EQ(l.size(), 1u);
    EXPECT_EQ(n(l[0]).line.x1, kIn);
    EXPECT_EQ(n(l[0]).line.x2, 2 * kIn);
    EXPECT_EQ(n(l[0]).size, 645); // 0.25 mm
    EXPECT_EQ(n(arcs()[0]).arc.radius, kIn / 2);
    EXPECT_EQ(count("SPLINE"), 2);
    EXPECT_EQ(count("DIMENSION"), 1);
}

TEST_F(Dxf, ForcedUnitsOverrideTheFile) {
    options.units = formats::DxfUnits::Inch;
    ASSERT_EQ(read(drawing("0 LINE|8 A|11 2", {}, {}, "9 $INSUNITS|70 4")), 'X');
    EXPECT_EQ(n(lines()[0]).line.x2, 2 * kIn);
    d->setup.layers = {};
    model::DeleteItem(d->ring());
    options.units = formats::DxfUnits::Millimetre;
    ASSERT_EQ(read(drawing("0 LINE|8 A|11 50.8", {}, {}, "9 $INSUNITS|70 1")), 'X');
    EXPECT_EQ(n(lines()[0]).line.x2, 2 * kIn);
}

TEST_F(Dxf, ExtrusionFromBelowMirrorsAndAttributeListsEndQuietly) {
    // Seen from below (230 -1) X runs the other way: the arc about (1,0) from 0 to 90 degrees lies about
    // (-1,0) from 90 to 180.  An INSERT's ATTRIB list ends in SEQEND; a LINE without group 8 is on "0".
    ASSERT_EQ(read(drawing("0 ARC|8 A|10 1|20 0|40 1|50 0|51 90|210 0|220 0|230 -1|"
                           "0 INSERT|8 A|66 1|2 Nowhere|0 ATTRIB|8 A|10 0|20 0|40 0.1|1 R1|2 REF|0 SEQEND|8 A|"
                           "0 LINE|11 1")),
              'X');
    auto a = arcs();
    ASSERT_EQ(a.size(), 1u);
    EXPECT_EQ(n(a[0]).arc.x0, -kIn);
    near_angle(n(a[0]).arc.start, deg(90));
    near_angle(n(a[0]).arc.sweep, deg(90));
    EXPECT_EQ(texts().size(), 1u);
    EXPECT_STREQ(layer(n(lines()[0]).layer).name, "0");
    ASSERT_EQ(skipped.size(), 1u);
    EXPECT_EQ(skipped[0].construct, "INSERT of an unknown block");
}

// --- Blocks and inserts -------------------------------------------------------------------------------

namespace {

// A block "P" based at (1,1): a line (1,1)-(2,1), an arc about (1,1) from 0 to 90 degrees, a text.
constexpr const char* kBlockP = "0 BLOCK|8 0|2 P|70 0|10 1|20 1|"
                                "0 LINE|8 A|10 1|20 1|11 2|21 1|"
                                "0 ARC|8 A|10 1|20 1|40 0.5|50 0|51 90|"
                                "0 TEXT|8 A|10 1|20 1|40 0.1|1 T|"
                                "0 ENDBLK|8 0";

} // namespace

TEST_F(Dxf, InsertBecomesAComponentAndDefinitionsLeaveNothing) {
    ASSERT_EQ(read(drawing("0 INSERT|8 Parts|2 P|10 5|20 5|0 INSERT|8 Parts|2 Nowhere|10 0|20 0", kBlockP)), 'X');
    auto c = components();
    ASSERT_EQ(c.size(), 1u);
    EXPECT_EQ(model::component_parameters(c[0]), "P");
    Ref head = model::member_ring(c[0]);
    EXPECT_EQ(n(head).box.x1, 5 * kIn); // the hook point
    EXPECT_EQ(n(head).box.y1, 5 * kIn);
    auto m = members(c[0]);
    ASSERT_EQ(m.size(), 3u);
    EXPECT_EQ(n(m[0]).line.x1, 5 * kIn);
    EXPECT_EQ(n(m[0]).line.x2, 6 * kIn);
    EXPECT_EQ(n(m[1]).arc.x0, 5 * kIn);
    EXPECT_EQ(n(c[0]).box.x1, n(m[1]).arc.x0 - kIn / 2); // the members' box
    EXPECT_EQ(n(c[0]).box.x2, 6 * kIn);
    // Only the Component is left at the top: no definitions, no records.
    int top = 0;
    for (Ref r : model::items_in(d->ring())) {
        (void)r;
        ++top;
    }
    EXPECT_EQ(top, 1);
    EXPECT_TRUE(reported("INSERT of an unknown block"));
}

TEST_F(Dxf, MirroredInsertReflectsArcStartAngles) {
    ASSERT_EQ(read(drawing("0 INSERT|8 Parts|2 P|10 0|20 0|41 -1|42 1", kBlockP)), 'X');
    auto m = members(components()[0]);
    ASSERT_EQ(m.size(), 3u);
    EXPECT_EQ(n(m[0]).line.x2, -kIn);
    // 0..90 degrees mirrored in X is 90..180.
    near_angle(n(m[1]).arc.start, deg(90));
    near_angle(n(m[1]).arc.sweep, deg(90));
    EXPECT_EQ(n(m[1]).arc.ellipse, 0);
    EXPECT_LT(n(m[2]).text.length, 0); // the text mirrored
}

TEST_F(Dxf, ScaledAndRotatedInsert) {
    ASSERT_EQ(read(drawing("0 INSERT|8 Parts|2 P|10 10|20 0|41 2|42 1|50 90", kBlockP)), 'X');
    auto c = components();
    ASSERT_EQ(c.size(), 1u);
    EXPECT_EQ(n(c[0]).size, deg(90)); // the Component's angle
    auto m = members(c[0]);
    ASSERT_EQ(m.size(), 3u);
    near(n(m[0]).line.x2, 10 * kIn);
    near(n(m[0]).line.y2, 2 * kIn); // (1,0) scaled by 2 and turned a quarter
    // Radius times |X scale|, the ellipse ratio 1/2 from the unequal scales, turned with the insert.
    EXPECT_EQ(n(m[1]).arc.radius, kIn);
    EXPECT_EQ(n(m[1]).arc.ellipse, 32768);
    near_angle(n(m[1]).arc.angle, deg(90));
    near_angle(n(m[1]).arc.start, 0);
    near_angle(n(m[1]).arc.sweep, deg(90));
    EXPECT_EQ(n(m[2]).size, 13107); // height times 2
    EXPECT_EQ(n(m[2]).text.angle, deg(90));
}

TEST_F(Dxf, NestedInsertsFlattenAtAnyDepth) {
    std::string blocks =
        std::string(kBlockP) + "|0 BLOCK|2 Q|10 0|20 0|0 INSERT|8 A|2 P|10 1|20 1|" +
        "0 INSERT|8 A|2 P|10 3|20 1|0 ENDBLK|0 BLOCK|2 R|10 0|20 0|0 INSERT|8 A|2 Q|10 0|20 10|0 ENDBLK";
    ASSERT_EQ(read(drawing("0 INSERT|8 Parts|2 R|10 0|20 0", blocks)), 'X');
    auto c = components();
    ASSERT_EQ(c.size(), 1u);
    auto m = members(c[0]);
    ASSERT_EQ(m.size(), 6u);
    EXPECT_EQ(n(m[3]).line.x1, 3 * kIn);
    EXPECT_EQ(n(m[3]).line.y1, 11 * kIn);
}

TEST_F(Dxf, CyclesAndDoublingNestsAreReportedNotFollowed) {
    // A block that inserts itself, and a pair that insert each other.
    std::string blocks = "0 BLOCK|2 S|10 0|20 0|0 LINE|8 A|11 1|0 INSERT|2 S|10 1|20 0|0 ENDBLK|"
                         "0 BLOCK|2 U|10 0|20 0|0 INSERT|2 V|0 LINE|8 A|11 1|0 ENDBLK|"
                         "0 BLOCK|2 V|10 0|20 0|0 INSERT|2 U|0 ENDBLK|";
    // 40 levels of doubling: 2^40 copies of one line.
    blocks += "0 BLOCK|2 D0|10 0|20 0|0 LINE|8 A|11 1|0 ENDBLK";
    for (int k = 1; k <= 40; ++k) {
        blocks += "|0 BLOCK|2 D" + std::to_string(k) + "|10 0|20 0|0 INSERT|2 D" + std::to_string(k - 1) +
                  "|0 INSERT|2 D" + std::to_string(k - 1) + "|10 1|0 ENDBLK";
    }
    auto t0 = std::chrono::steady_clock::now();
    ASSERT_EQ(read(drawing("0 INSERT|8 P|2 S|0 INSERT|8 P|2 U|0 INSERT|8 P|2 D40|0 INSERT|8 P|2 D3", blocks)), 'X');
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(5));
    EXPECT_EQ(count("INSERT cycle (left out)"), 2);
    EXPECT_EQ(count("INSERT beyond the Item budget (left out)"), 1);
    auto c = components();
    ASSERT_EQ(c.size(), 3u); // S and U with their own lines, D3 with 8
    EXPECT_EQ(members(c[0]).size(), 1u);
    EXPECT_EQ(members(c[1]).size(), 1u);
    EXPECT_EQ(members(c[2]).size(), 8u);
}

TEST_F(Dxf, BudgetCountsTheWalkOfEmptyNests) {
    // Doubling nests with nothing at the bottom still cost their walk: refused, not walked for ever.
    std::string blocks = "0 BLOCK|2 E0|10 0|20 0|0 ENDBLK";
    for (int k = 1; k <= 45; ++k) {
        blocks += "|0 BLOCK|2 E" + std::to_string(k) + "|10 0|20 0|0 INSERT|2 E" + std::to_string(k - 1) +
                  "|0 INSERT|2 E" + std::to_string(k - 1) + "|0 ENDBLK";
    }
    options.item_budget = 1000;
    ASSERT_EQ(read(drawing("0 INSERT|8 P|2 E45|0 INSERT|8 P|2 E2", blocks)), 'X');
    EXPECT_EQ(count("INSERT beyond the Item budget (left out)"), 1);
    EXPECT_TRUE(components().empty()); // E2 expands to nothing: no empty Component left
}

TEST_F(Dxf, UnterminatedPolylineIsKeptAndReported) {
    ASSERT_EQ(read(drawing("0 POLYLINE|8 B|66 1|0 VERTEX|10 0|20 0|0 VERTEX|10 1|20 0|0 LINE|8 B|11 5")), 'X');
    EXPECT_EQ(lines().size(), 2u);
    EXPECT_TRUE(reported("POLYLINE without SEQEND"));
}

TEST_F(Dxf, SmallFilesOfEachKind) {
    // The hand-made drawings under tests/data/foreign: each reads with no report.
    struct Want {
        const char* file;
        size_t lines, arcs, solids, texts, components;
    };
    const Want wants[] = {
        {"dxf_r12_board.dxf", 5, 2, 1, 1, 1},
        {"dxf_r2000_mm.dxf", 4, 1, 1, 1, 0},
    };
    for (const Want& w : wants) {
        SCOPED_TRACE(w.file);
        model::DeleteItem(d->ring());
        d->setup.layers = {};
        skipped.clear();
        std::ifstream f(std::string(TRAZEL_SOURCE_DIR) + "/tests/data/foreign/" + w.file, std::ios::binary);
        ASSERT_TRUE(f.good());
        std::stringstream s;
        s << f.rdbuf();
        ASSERT_TRUE(formats::dxf_accepts(s.str(), 0));
        ASSERT_EQ(read(s.str()), 'X');
        EXPECT_EQ(lines().size(), w.lines);
        EXPECT_EQ(arcs().size(), w.arcs);
        EXPECT_EQ(solids().size(), w.solids);
        EXPECT_EQ(texts().size(), w.texts);
        EXPECT_EQ(components().size(), w.components);
        EXPECT_TRUE(skipped.empty()) << skipped[0].construct;
    }
}

TEST_F(Dxf, OwnDrawingReadsBack) {
    // A circle, a quarter arc, a track, a Solid and a Text through the writer and back: the circle is one
    // full-circle Arc again (not two halves), the layer keeps its name.
    ASSERT_TRUE(model::ApplyDirective(d->setup, "-y3:00AA0000,00000000,2,3,Top Side"));
    Ref ring = d->ring();
    model::MakeItem(ring, model::kArc, 3, 655, kIn, kIn, kIn / 2, 0);
    model::Ref q = model::MakeItem(ring, model::kArc, 3, 655, 3 * kIn, kIn, kIn / 4, 0);
    model::node(q).arc.start = deg(90);
    model::node(q).arc.sweep = deg(90);
    model::MakeItem(ring, model::kLine, 3, 1311, 0, 0, 2 * kIn, 0);
    model::Ref s = model::MakeItem(ring, model::kLine, 3, 0, 0, 0, 0, 0);
    for (auto [x, y] : {std::pair{0, 0}, {kIn, 0}, {kIn, kIn}, {0, kIn}}) {
        model::add_vertex(s, x, y);
    }
    model::Ref t = model::MakeItem(ring, model::kText, 3, 6554, kIn, 2 * kIn, 6, 0);
    model::SetText(t, "U1");
    std::string bytes;
    {
        model::OutBuffer out;
        out.open_memory(&bytes);
        ASSERT_TRUE(formats::write_dxf(*d, out) && out.commit());
    }
    model::DeleteItem(ring);
    ASSERT_TRUE(formats::dxf_accepts(bytes, 0));
    ASSERT_EQ(read(bytes), 'X');
    EXPECT_TRUE(skipped.empty()) << skipped[0].construct;
    auto a = arcs();
    ASSERT_EQ(a.size(), 2u);
    near(n(a[0]).arc.x0, kIn);
    near(n(a[0]).arc.radius, kIn / 2);
    EXPECT_EQ(n(a[0]).arc.sweep, 0);
    near_angle(n(a[1]).arc.start, deg(90));
    near_angle(n(a[1]).arc.sweep, deg(90));
    EXPECT_EQ(n(a[1]).size, 655);
    ASSERT_EQ(lines().size(), 1u);
    EXPECT_EQ(n(lines()[0]).size, 1311);
    ASSERT_EQ(solids().size(), 1u);
    EXPECT_EQ(vertices(solids()[0]).size(), 4u);
    ASSERT_EQ(texts().size(), 1u);
    EXPECT_EQ(model::GetText(texts()[0]), "U1");
    near(n(texts()[0]).text.y0, 2 * kIn);
    EXPECT_STREQ(layer(n(a[0]).layer).name, "Top_Side");
}
