// Gerber primitives: number forms, the aperture table, and the writer's suppression of redundant codes.
#include <cmath>

#include "cam_fixture.h"
#include "display/trig.h"

using namespace camtest;
using namespace trazel::cam;
using trazel::model::Point;

namespace {

// A writer over a table holding D10 = 0.002, D11 = 0.010 inch.
struct Writer {
    ApertureTable table;
    TextOut out;
    GerberWriter w{out, table, 0, 0};
    Writer() {
        table.add(kRoundShape, kAperture002, 0);
        table.add(kRoundShape, kAperture010, 0);
    }
    std::vector<std::string> lines() const {
        return split_lines(out.data);
    }
};

} // namespace

TEST(GerberNumbers, CoordinatesSizesAndDrillForms) {
    // (|v| x 10000 + 32768) / 65536: 1.25 inch is 81920 units -> 12500; -0.3 inch is -19661 units ->
    // 3000.53 -> -3000; half a 1/10000 inch is 3.28 units, so 3 rounds down and 4 up.
    EXPECT_EQ(gerber_units(81920), 12500);
    EXPECT_EQ(gerber_units(-19661), -3000);
    EXPECT_EQ(gerber_units(3), 0);
    EXPECT_EQ(gerber_units(4), 1);
    EXPECT_EQ(gerber_units(-4), -1);

    // (size + r) x 10^N / 65536: 655 -> 100.4 -> .0100; 131 -> .0020; 0.035 inch (2294) with three
    // decimals -> 35.5 -> .035; the largest short length rounds to a whole inch.
    EXPECT_EQ(size_string(655, 4), ".0100");
    EXPECT_EQ(size_string(131, 4), ".0020");
    EXPECT_EQ(size_string(2294, 3), ".035");
    EXPECT_EQ(size_string(65535, 4), "1.0000");
    EXPECT_EQ(size_string(0, 3), ".000");

    // floor((|v| + 3) x 10000 / 65536), two integer digits, decimals without trailing zeros.
    EXPECT_EQ(excellon_coord('X', 81920), "X0125");
    EXPECT_EQ(excellon_coord('X', 0), "X00");
    EXPECT_EQ(excellon_coord('X', -655), "X-0001");  // -0.0100 inch
    EXPECT_EQ(excellon_coord('Y', 688128), "Y105");  // 10.5 inch
    EXPECT_EQ(excellon_coord('Y', 7), "Y000001");    // 0.0001 inch
    EXPECT_EQ(excellon_coord('X', -1), "X00");       // rounds to zero: no sign
    EXPECT_EQ(excellon_coord('X', 7208960), "X110"); // 110 inch: all integer digits are kept
}

TEST(ApertureTable, SortsByWidthHeightShapeFromD10) {
    ApertureTable t;
    int big = t.add(kRoundShape, 721, 0);
    t.add(kRoundShape, 459, 0);
    t.add(kRoundShape, 131, 0);
    t.add(kRectShape, 100, 50);
    t.add(kRectShape, 50, 100);
    t.add(kRoundShape, 100, 50);
    t.add(kRoundShape, 100, 100);
    EXPECT_EQ(big, 10); // first alone, then pushed up by each smaller one
    // Width first, then height, then the shape (round 0 before rectangle 1).
    EXPECT_EQ(t.find(kRectShape, 50, 100), 10);
    EXPECT_EQ(t.find(kRoundShape, 100, 50), 11);
    EXPECT_EQ(t.find(kRectShape, 100, 50), 12);
    EXPECT_EQ(t.find(kRoundShape, 100, 0), 13); // height 0 is a circle
    EXPECT_EQ(t.find(kRoundShape, 131, 131), 14);
    EXPECT_EQ(t.find(kRoundShape, 721, 721), 16);
    EXPECT_EQ(t.count(), 7);
    EXPECT_EQ(t.add(kRectShape, 100, 50), 12); // registering again changes nothing
    EXPECT_EQ(t.count(), 7);
    EXPECT_EQ(t.add(kRoundShape, 0, 0), 0);
    EXPECT_EQ(t.add(kRectShape, 100, 0), 0);
    EXPECT_EQ(t.at(t.end).shape, kEndShape);
}

TEST(ApertureTable, AFullTableRefusesWithoutOverrunning) {
    ApertureTable t;
    for (int i = 0; i < kMaxApertures; ++i) {
        ASSERT_NE(t.add(kRoundShape, static_cast<Length>(1000 + 2 * i), 0), 0);
    }
    EXPECT_EQ(t.end, kOverflowCode);
    EXPECT_EQ(t.find(kRoundShape, 1000, 0), 10);
    EXPECT_EQ(t.find(kRoundShape, 1000 + 2 * 1012, 0), 1022);
    // Neither at the end nor in the middle: the marker may not leave the table.
    EXPECT_EQ(t.add(kRoundShape, 60000, 0), 0);
    EXPECT_EQ(t.add(kRoundShape, 1001, 0), 0);
    EXPECT_EQ(t.refused, 2u);
    EXPECT_EQ(t.find(kRoundShape, 1002, 0), 11);
}

TEST(GerberWriter, OverflowApertureCarriesItsSize) {
    Writer x;
    x.w.select_round(3277);              // 0.05 inch, not in the table
    x.w.select(kRectShape, 3277, 1966);  // 0.05 x 0.03 inch, also D1023 but another size
    x.w.select(kRectShape, 3277, 1966);  // the same again: nothing
    x.w.select(kRoundShape, 3277, 1966); // oblong
    x.w.select_round(655);
    EXPECT_EQ(x.lines(),
              (std::vector<std::string>{"D1023[C.050]*", "D1023[R.050,.030]*", "D1023[O.050,.030]*", "D11*"}));
}

TEST(GerberWriter, MovesWriteOnlyWhatChanged) {
    Writer x;
    x.w.select_round(655);
    x.w.select_round(655);                 // current already
    x.w.move_or_draw(true, 81920, -19661); // pen down to (1.25, -0.3) inch
    x.w.move_or_draw(true, 81920, 0);      // only Y changes
    x.w.move_or_draw(true, 131072, 0);     // only X
    x.w.move_or_draw(true, 131072, 0);     // nothing
    x.w.move_or_draw(false, 131072, 0);    // only the pen
    x.w.select_round(131);                 // pen already up: no D2 before the change
    x.w.move_or_draw(true, 131072, 65536);
    x.w.select_round(655); // pen down: lifted first
    EXPECT_EQ(x.lines(), (std::vector<std::string>{"D11*", "X12500Y-3000D1*", "Y0*", "X20000*", "D2*", "D10*",
                                                   "Y10000D1*", "D2*", "D11*"}));
}

TEST(GerberWriter, OriginIsSubtracted) {
    ApertureTable table;
    TextOut out;
    GerberWriter w(out, table, 65536, 65536); // user origin at (1, 1) inch
    w.move_or_draw(false, 147456, 45875);     // (2.25, 0.7) inch
    EXPECT_EQ(split_lines(out.data), std::vector<std::string>{"X12500Y-3000D2*"});
}

TEST(GerberWriter, ConnectedSegmentsFormOnePenDownPath) {
    Writer x;
    const Coord in = 65536;
    x.w.segment(0, 0, in, 0);                    // A -> B
    x.w.segment(in, in, in, 0);                  // entered from its far end: drawn back from B
    x.w.segment(in, in, 0, in);                  // continues from C
    x.w.segment(2 * in, 2 * in, 3 * in, 2 * in); // apart: pen up first
    EXPECT_EQ(x.lines(),
              (std::vector<std::string>{"X0Y0D2*", "X10000D1*", "Y10000*", "X0*", "X20000Y20000D2*", "X30000D1*"}));
}

TEST(GerberWriter, FlashesNeverLeaveAModalFlash) {
    Writer x;
    const Coord in = 65536;
    x.w.segment(0, 0, in / 2, 0);
    x.w.flash(in / 2, in / 2); // pen down before: lifted first
    x.w.segment(in / 2, in / 2, in, in / 2);
    x.w.flash(in, in);
    x.w.move_or_draw(false, 2 * in, in); // after a flash a bare coordinate would flash again
    x.w.flash(2 * in, in);
    x.w.flash(2 * in, in); // the same spot twice: a bare D3
    EXPECT_EQ(x.lines(), (std::vector<std::string>{"X0Y0D2*", "X5000D1*", "D2*", "Y5000D3*", "X10000D1*", "D2*",
                                                   "Y10000D3*", "X20000D2*", "D3*", "D3*"}));
}

TEST(GerberWriter, ArcsAreChordsWithRadiusSteps) {
    // Radius 1500 units (below 2048): 22.5-degree steps, so a quarter circle is four chords.
    // Points (r cos a, r sin a) with the 16.16 sine table: cos 22.5 = 60547/65536 -> (1386, 574) units,
    // 45 degrees (1061, 1061), in 1/10000 inch (229, 0) (211, 88) (162, 162) (88, 211) (0, 229).
    Writer x;
    x.w.arc(0, 0, 1500, 0, 16384);
    EXPECT_EQ(x.lines(), (std::vector<std::string>{"X229Y0D2*", "X211Y88D1*", "X162Y162*", "X88Y211*", "X0Y229*"}));

    // A full circle (sweep 0) at 45-degree steps for a radius below 256: eight chords back to the start.
    Writer c;
    c.w.arc(0, 0, 200, 0, 0);
    Trace t(c.lines());
    ASSERT_EQ(t.draws.size(), 8u);
    EXPECT_EQ(t.draws.front().x1, t.draws.back().x2);
    EXPECT_EQ(t.draws.front().y1, t.draws.back().y2);

    // The step follows the radius: 256 units a step from 16384 on (256 chords round), 512 below it.
    for (auto [radius, chords] : {std::pair{16384, 256u}, std::pair{16383, 128u}, std::pair{8191, 64u}}) {
        Writer a;
        a.w.arc(0, 0, radius, 0, 0);
        EXPECT_EQ(Trace(a.lines()).draws.size(), chords) << radius;
    }

    // A half-turned ellipse: Y is squeezed to a half before the turn by 90 degrees, so the start point
    // (r, 0) lands on (0, r) and the quarter point (0, r/2) on (-r/2, 0).
    Writer e;
    e.w.arc(0, 0, 65536, 0, 16384, 32768, 16384);
    Trace te(e.lines());
    ASSERT_FALSE(te.draws.empty());
    EXPECT_EQ(te.draws.front().x1, 0);
    EXPECT_EQ(te.draws.front().y1, 10000);
    EXPECT_EQ(te.draws.back().x2, -5000);
    EXPECT_EQ(te.draws.back().y2, 0);
}

namespace {

model::Node make_pad(int type, Length w, Length h, model::Angle angle) {
    model::Node n{};
    n.kind = model::kPad;
    n.size = static_cast<uint16_t>(type);
    n.pad.width = w;
    n.pad.height = h;
    n.pad.angle = angle;
    return n;
}

double dist_to_segment(double px, double py, const Trace::Draw& d) {
    double dx = d.x2 - d.x1, dy = d.y2 - d.y1;
    double l2 = dx * dx + dy * dy;
    double t = l2 == 0 ? 0 : std::clamp(((px - d.x1) * dx + (py - d.y1) * dy) / l2, 0.0, 1.0);
    double ex = d.x1 + t * dx - px, ey = d.y1 + t * dy - py;
    return std::sqrt(ex * ex + ey * ey);
}

} // namespace

TEST(GerberWriter, PadFormsFollowShapeAndAngle) {
    // A 0.05 x 0.03 inch rectangular SMT pad (3277 x 1966 units).
    PadForm r0 = pad_form(make_pad(6, 3277, 1966, 0), 0);
    EXPECT_EQ(r0.kind, PadForm::Kind::Flash);
    EXPECT_EQ(r0.shape, kRectShape);
    EXPECT_EQ(r0.width, 3277);
    PadForm r90 = pad_form(make_pad(6, 3277, 1966, 16384), 0);
    EXPECT_EQ(r90.kind, PadForm::Kind::Flash); // 90 degrees: flashed with the sides swapped
    EXPECT_EQ(r90.width, 1966);
    EXPECT_EQ(r90.height, 3277);
    EXPECT_EQ(pad_form(make_pad(2, 3277, 1966, 8192), 0).kind, PadForm::Kind::Painted); // 45 degrees
    // An oblong at 90 degrees is swapped too; at 30 degrees it is a round stroke between its end
    // centres: half of (3277 - 1966) = 655 along the turned axis, (567, 327) after cos/sin 30.
    PadForm o90 = pad_form(make_pad(1, 3277, 1966, 16384), 0);
    EXPECT_EQ(o90.shape, kRoundShape);
    EXPECT_EQ(o90.width, 1966);
    PadForm o30 = pad_form(make_pad(5, 3277, 1966, 5461), 0);
    EXPECT_EQ(o30.kind, PadForm::Kind::Segment);
    EXPECT_EQ(o30.width, 1966);
    EXPECT_NEAR(o30.dx, 567, 1);
    EXPECT_NEAR(o30.dy, 327, 1);
    // The increase applies to both sides and is held to 0.005 inch .. 65535 units.
    PadForm shrunk = pad_form(make_pad(5, 400, 400, 0), -328);
    EXPECT_EQ(shrunk.width, kMinPadSize);
    EXPECT_EQ(pad_form(make_pad(5, 65000, 65000, 0), 1000).width, 65535);
    EXPECT_EQ(pad_form(make_pad(5, 0, 400, 0), 0).kind, PadForm::Kind::None);
}

TEST(GerberWriter, RotatedRectangleIsPaintedInsideItsOutline) {
    Writer x;
    model::Node pad = make_pad(6, 3277, 1966, 8192); // 45 degrees
    pad.pad.x0 = 65536;
    pad.pad.y0 = 65536;
    x.w.flash_pad(pad, 0);
    Trace t(x.lines());
    EXPECT_TRUE(t.flashes.empty());
    ASSERT_GT(t.draws.size(), 20u);
    // In the pad's own frame, in 1/10000 inch: every stroke end lies in the rectangle inset by the
    // aperture's radius (0.001 inch), and every point inset by a little more is covered by a stroke.
    const double c = 10000, s45 = std::sqrt(0.5), hx = 3277 / 6.5536 / 2, hy = 1966 / 6.5536 / 2;
    auto frame = [&](double gx, double gy, double& u, double& v) {
        u = (gx - c) * s45 + (gy - c) * s45;
        v = -(gx - c) * s45 + (gy - c) * s45;
    };
    for (const Trace::Draw& d : t.draws) {
        EXPECT_EQ(d.code, 10);
        for (auto [gx, gy] : {std::pair{d.x1, d.y1}, std::pair{d.x2, d.y2}}) {
            double u, v;
            frame(static_cast<double>(gx), static_cast<double>(gy), u, v);
            EXPECT_LE(std::abs(u), hx - 9) << gx << "," << gy;
            EXPECT_LE(std::abs(v), hy - 9) << gx << "," << gy;
        }
    }
    for (double u = -(hx - 11); u <= hx - 11; u += 3) {
        for (double v = -(hy - 11); v <= hy - 11; v += 3) {
            double gx = c + u * s45 - v * s45, gy = c + u * s45 + v * s45;
            double best = 1e9;
            for (const Trace::Draw& d : t.draws) {
                best = std::min(best, dist_to_segment(gx, gy, d));
            }
            ASSERT_LE(best, 10.0) << "uncovered at " << u << "," << v;
        }
    }
}

TEST(GerberWriter, SolidsAreOutlinedAndFilledWithTheFillAperture) {
    // A 0.1-inch square (6554 units) filled with a 656-unit aperture: every vertex moves in by half the
    // aperture (328) along its bisector, the shrunk outline is drawn, and scan lines fall by 656 - 65
    // from the top: 6226 - k x 591 for k = 1..9 (the top line at 6226 meets no edge crossing and k = 10
    // would be below 328).  Each span runs from the left edge to the right edge less 33: 328 .. 6193.
    ApertureTable table;
    table.add(kRoundShape, 656, 0);
    TextOut out;
    GerberWriter w(out, table, 0, 0);
    Point sq[4] = {{0, 0}, {6554, 0}, {6554, 6554}, {0, 6554}};
    w.paint_polygon(sq, 4, 656);
    Trace t(split_lines(out.data));
    ASSERT_EQ(t.draws.size(), 4u + 9u);
    const int64_t lo = gerber_units(328), hi = gerber_units(6226), end = gerber_units(6193);
    EXPECT_EQ(t.draws[0].x1, lo);
    EXPECT_EQ(t.draws[0].y1, lo);
    EXPECT_EQ(t.draws[1].x1, hi);
    EXPECT_EQ(t.draws[2].y1, hi);
    for (int k = 1; k <= 9; ++k) {
        const Trace::Draw& d = t.draws[static_cast<size_t>(3 + k)];
        EXPECT_EQ(d.y1, gerber_units(6226 - k * 591)) << k;
        EXPECT_EQ(d.y2, d.y1);
        EXPECT_EQ(d.x1, lo);
        EXPECT_EQ(d.x2, end);
    }

    // An L-shaped polygon: spans stop at the inner corner and never cross the notch.
    ApertureTable t2;
    TextOut out2;
    GerberWriter w2(out2, t2, 0, 0);
    Point ell[6] = {{0, 0}, {13108, 0}, {13108, 6554}, {6554, 6554}, {6554, 13108}, {0, 13108}};
    w2.paint_polygon(ell, 6, 656);
    for (const Trace::Draw& d : Trace(split_lines(out2.data)).draws) {
        if (d.y1 > gerber_units(6554)) {
            EXPECT_LE(std::max(d.x1, d.x2), gerber_units(6554 - 328) + 1);
        }
    }

    // Fewer than three vertices: nothing at all.
    TextOut out3;
    GerberWriter w3(out3, t2, 0, 0);
    w3.paint_polygon(sq, 2, 656);
    EXPECT_TRUE(out3.data.empty());
}

TEST(TextOut, LinesEndInCrLfWithoutTrailingBlanksAndDrainInChunks) {
    TextOut out;
    std::string drained;
    int calls = 0;
    out.drain = [&](std::string_view s) {
        drained.append(s);
        ++calls;
        return true;
    };
    out.line("G04 x   ");
    std::string big(TextOut::kChunk, 'a');
    out.line(big);
    EXPECT_EQ(calls, 1); // a full chunk goes out at once
    out.line("end");
    EXPECT_TRUE(out.flush());
    EXPECT_EQ(drained, "G04 x\r\n" + big + "\r\nend\r\n");
    out.drain = [](std::string_view) { return false; };
    out.line("lost");
    EXPECT_FALSE(out.flush());
    EXPECT_TRUE(out.failed);
}
