// Pixel-exact tests of the drawing primitives.  Expected pictures are worked out by hand from the
// rules (odd widths, the disc span table, the DDA starting at one half, edge pixels of polygons).
#include <cmath>
#include <limits>
#include <random>

#include <gtest/gtest.h>

#include "display/raster.h"
#include "test_raster_fixture.h"

namespace trazel::display {
namespace {

using testing::GuardedBuffer;
using testing::rows;

constexpr uint32_t kInk = 0x00FFFFFF;

TEST(RasterDisc, SmallDiscsFollowTheSpanTable) {
    // Radius 0 is one pixel, radius 1 a plus of five (run "1 0"), radius 2 from run "0 1 1": the top row
    // has half-width 1, the next two rows 2.
    GuardedBuffer b(5, 5, 32);
    Raster r = b.raster();
    EXPECT_TRUE(disc(r, kInk, 1, 2, 2));
    EXPECT_EQ(b.picture(), rows({".....", ".....", "..#..", ".....", "....."}));
    b.fill(0);
    disc(r, kInk, 3, 2, 2);
    EXPECT_EQ(b.picture(), rows({".....", "..#..", ".###.", "..#..", "....."}));
    b.fill(0);
    disc(r, kInk, 5, 2, 2);
    EXPECT_EQ(b.picture(), rows({".###.", "#####", "#####", "#####", ".###."}));
    // An even diameter draws the disc of diameter / 2 as radius, the same as the odd one above it.
    b.fill(0);
    disc(r, kInk, 4, 2, 2);
    EXPECT_EQ(b.picture(), rows({".###.", "#####", "#####", "#####", ".###."}));
    EXPECT_TRUE(b.guard_intact());
}

TEST(RasterDisc, FixedSmallDiscsReplaceTheStartOfTheTable) {
    // Each fixed run sums to its radius; the computed part of radius 18 joins them seamlessly (its first
    // five entries, 0 0 0 0 1, are the midpoint algorithm's own).
    for (int rad = 1; rad <= 17; ++rad) {
        int sum = 0;
        for (int i = 0; i <= rad; ++i) {
            sum += kFixedSmallDiscs[disc_run_start(rad) + i];
        }
        EXPECT_EQ(sum, rad);
    }
    std::vector<uint16_t> r18(19);
    midpoint_disc_run(18, r18.data());
    EXPECT_EQ(std::vector<uint16_t>(r18.begin(), r18.begin() + 5), std::vector<uint16_t>({0, 0, 0, 0, 1}));
    EXPECT_EQ(disc_span_table()[disc_run_start(18) + 5], r18[5]);
    // Radius 5 is one of the hand-tuned discs (run 0 1 0 1 2 1, unlike the midpoint 0 0 1 1 1 2): from
    // the top the half-widths are 1, 3, 4, 4, 5 and 5 at the centre.
    GuardedBuffer b(11, 11, 8);
    Raster r = b.raster();
    disc(r, 0xFF, 11, 5, 5);
    EXPECT_EQ(b.picture(),
              rows({"....###....", "..#######..", ".#########.", ".#########.", "###########", "###########",
                    "###########", ".#########.", ".#########.", "..#######..", "....###...."}));
}

TEST(RasterDisc, RunsFollowTheCircle) {
    // Every run, table or spare, sums to its radius, and each row reaches the edge of the circle of radius
    // r + 1/2 (x^2 + y^2 = r^2 + r) to within the midpoint algorithm's rounding.
    DiscTable t;
    for (int rad : {1, 2, 7, 18, 100, 255, 256, 1000, 40000}) {
        const uint16_t* run = t.run(rad);
        int hw = 0;
        for (int y = rad; y >= 0; --y) {
            hw += run[y];
            double edge = std::sqrt(double(rad) * rad + rad - double(y) * y);
            EXPECT_LE(std::abs(hw - edge), 1.25) << "r " << rad << " y " << y;
        }
        EXPECT_EQ(hw, rad);
    }
    // Two large radii are held at once (a ring needs both).
    const uint16_t* a = t.run(300);
    const uint16_t* b = t.run(301);
    EXPECT_EQ(t.run(300), a);
    EXPECT_EQ(t.run(301), b);
}

TEST(RasterLine, WidthsAreMadeOddAndEndsRound) {
    // Width 2 becomes 3: rows 2..4 over columns 2..6, and discs of diameter 3 (pluses) at both ends add
    // the pixels at columns 1 and 7 of the middle row.
    GuardedBuffer b(9, 7, 32);
    Raster r = b.raster();
    EXPECT_TRUE(thick_line(r, kInk, 2, 3, 2, 3, 6));
    EXPECT_EQ(b.picture(),
              rows({".........", ".........", "..#####..", ".#######.", "..#####..", ".........", "........."}));
    // A vertical line of width 1 is one column.
    b.fill(0);
    thick_line(r, kInk, 1, 1, 4, 5, 4);
    EXPECT_EQ(b.count(), 5);
    for (int row = 1; row <= 5; ++row) {
        EXPECT_EQ(b.get(row, 4), kInk);
    }
}

TEST(RasterLine, DiagonalDdaStartsAtOneHalf) {
    // From (row 0, col 0) to (row 2, col 4): slope 1/2, row = floor(1/2 + t/2) = 0, 1, 1, 2, 2.
    GuardedBuffer b(5, 3, 32);
    Raster r = b.raster();
    thick_line(r, kInk, 1, 0, 0, 2, 4);
    EXPECT_EQ(b.picture(), rows({"#....", ".##..", "...##"}));
    // The steep mirror image: columns step along the rows.
    GuardedBuffer c(3, 5, 32);
    Raster rc = c.raster();
    thick_line(rc, kInk, 1, 0, 0, 4, 2);
    EXPECT_EQ(c.picture(), rows({"#..", ".#.", ".#.", "..#", "..#"}));
}

// Distance of a point from the segment, in pixels.
double seg_distance(double pr, double pc, double r1, double c1, double r2, double c2) {
    double dr = r2 - r1, dc = c2 - c1, l2 = dr * dr + dc * dc;
    double t = l2 == 0 ? 0 : std::clamp(((pr - r1) * dr + (pc - c1) * dc) / l2, 0.0, 1.0);
    double er = r1 + t * dr - pr, ec = c1 + t * dc - pc;
    return std::sqrt(er * er + ec * ec);
}

TEST(RasterLine, WideLinesCoverTheirStrokeWithoutHoles) {
    // Any angle and width: every pixel drawn lies within half the width (plus the rounding of a pixel)
    // of the segment, and every pixel well inside the stroke is drawn, so the perpendicular fill leaves
    // no holes.
    std::mt19937 rng(7);
    for (int i = 0; i < 300; ++i) {
        GuardedBuffer b(64, 64, 32, 2);
        Raster r = b.raster();
        int w = 1 + static_cast<int>(rng() % 15);
        int r1 = 8 + rng() % 48, c1 = 8 + rng() % 48, r2 = 8 + rng() % 48, c2 = 8 + rng() % 48;
        thick_line(r, kInk, w, r1, c1, r2, c2);
        double half = (w | 1) / 2.0;
        for (int row = 0; row < 64; ++row) {
            for (int col = 0; col < 64; ++col) {
                double d = seg_distance(row, col, r1, c1, r2, c2);
                bool on = b.get(row, col) == kInk;
                if (on) {
                    EXPECT_LE(d, half + 0.75) << w << " " << r1 << "," << c1 << " " << r2 << "," << c2;
                } else {
                    EXPECT_GT(d, half - 1.0) << w << " " << r1 << "," << c1 << " " << r2 << "," << c2;
                }
            }
        }
    }
}

TEST(RasterLine, ClippedLinesMatchUnclippedOnesInsideTheClip) {
    // Entering the clip rectangle by division must give the pixels the unclipped line has there, and
    // nothing outside the rectangle.
    std::mt19937 rng(11);
    for (int i = 0; i < 400; ++i) {
        GuardedBuffer whole(80, 60, 32), part(80, 60, 32);
        Raster rw = whole.raster(), rp = part.raster();
        Rect clip{10 + int(rng() % 10), 15 + int(rng() % 10), 35 + int(rng() % 15), 50 + int(rng() % 20)};
        rp.set_clip(clip);
        int w = 1 + static_cast<int>(rng() % 9);
        int r1 = int(rng() % 100) - 20, c1 = int(rng() % 120) - 20, r2 = int(rng() % 100) - 20,
            c2 = int(rng() % 120) - 20;
        thick_line(rw, kInk, w, r1, c1, r2, c2);
        thick_line(rp, kInk, w, r1, c1, r2, c2);
        for (int row = 0; row < 60; ++row) {
            for (int col = 0; col < 80; ++col) {
                uint32_t expect = clip.contains(row, col) ? whole.get(row, col) : 0;
                ASSERT_EQ(part.get(row, col), expect) << r1 << "," << c1 << " " << r2 << "," << c2 << " w " << w;
            }
        }
        ASSERT_TRUE(part.guard_intact());
    }
}

TEST(RasterClip, NothingIsWrittenOutsideTheClipOrTheBuffer) {
    // Extreme coordinates at every depth: the shapes are cut, never wrapped, and the guard band holds.
    constexpr int kMax = std::numeric_limits<int>::max(), kMin = std::numeric_limits<int>::min();
    for (int depth : {8, 16, 24, 32}) {
        GuardedBuffer b(40, 30, depth);
        Raster r = b.raster();
        r.set_clip(Rect{5, 6, 20, 30});
        std::vector<std::array<int, 4>> lines = {
            {kMin, kMin, kMax, kMax}, {kMin, 10, kMax, 12},         {12, kMin, 14, kMax},       {-5, -5, 50, 60},
            {kMax, 0, kMin, 40},      {1 << 30, 0, -(1 << 30), 31}, {25, -1000000, 25, 1000000}};
        for (const auto& l : lines) {
            for (int w : {1, 2, 7, 60}) {
                thick_line(r, 0xFFFFFF, w, l[0], l[1], l[2], l[3]);
                thick_line(r, 0x10FFFFFF, w, l[0], l[1], l[2], l[3]);
                thick_line(r, 0xC3FFFFFF, w, l[0], l[1], l[2], l[3]);
            }
        }
        disc(r, 0xFFFFFF, kMax, 10, 10);
        disc(r, 0xFFFFFF, 199, kMax - 3, kMin + 3);
        ring(r, 0xFFFFFF, 40000, 9, 12, 12);
        ring(r, 0xFFFFFF, 70000, 9, 70010, 12);
        filled_polygon(r, 0xFFFFFF, {{kMin, kMin}, {kMin, kMax}, {kMax, 0}});
        filled_polygon(r, 0xFFFFFF, {{-(1 << 29), 3}, {12, 1 << 29}, {14, 15}, {kMax, kMin}});
        ArcPx a;
        a.row = int64_t{12} << 8;
        a.col = int64_t{12} << 8;
        a.radius = int64_t{1} << 38;
        a.sweep = 20000;
        solid_arc(r, 0xFFFFFF, 5, a);
        a.ellipse = 30000;
        a.sweep = 0;
        a.radius = int64_t{40} << 8;
        solid_arc(r, 0xFFFFFF, 3, a);
        filled_rect(r, 0xFFFFFF, kMin, kMin, kMax, kMax);
        span_fill(r, 0xFFFFFF, 7, kMin, kMax);
        column_fill(r, 0xFFFFFF, 7, kMin, kMax);
        EXPECT_TRUE(b.guard_intact()) << depth;
        for (int row = 0; row < 30; ++row) {
            for (int col = 0; col < 40; ++col) {
                if (!r.clip.contains(row, col)) {
                    ASSERT_EQ(b.get(row, col), 0u) << depth << " " << row << "," << col;
                }
            }
        }
    }
}

TEST(RasterClip, ClipRectangleIsCutToTheBuffer) {
    GuardedBuffer b(10, 10, 24);
    Raster r = b.raster();
    r.set_clip(Rect{-5, -5, 100, 100});
    EXPECT_EQ(r.clip.top, 0);
    EXPECT_EQ(r.clip.right, 9);
    filled_rect(r, 0xFFFFFF, -20, -20, 30, 30);
    EXPECT_EQ(b.count(), 100);
    EXPECT_TRUE(b.guard_intact());
    // A buffer without a base draws nothing and says so.
    Raster none;
    EXPECT_FALSE(thick_line(none, kInk, 3, 0, 0, 5, 5));
    EXPECT_FALSE(disc(none, kInk, 3, 0, 0));
}

TEST(RasterWriters, XorTwiceRestoresAtEveryDepth) {
    for (int depth : {8, 16, 24, 32}) {
        GuardedBuffer b(50, 40, depth);
        std::mt19937 rng(depth);
        for (int row = 0; row < 40; ++row) {
            for (int col = 0; col < 50; ++col) {
                uint8_t* p = b.buf.at(row, col);
                for (int i = 0; i < depth / 8; ++i) {
                    p[i] = static_cast<uint8_t>(rng());
                }
            }
        }
        std::vector<uint8_t> before = b.memory;
        Raster r = b.raster();
        for (uint32_t v : {0x807F7F7Fu, 0x800000FFu, 0x01123456u, 0xC0FFFFFFu, 0xC7ABCDEFu}) {
            for (int pass = 0; pass < 2; ++pass) {
                thick_line(r, v, 1, 3, 0, 3, 49);
                thick_line(r, v, 3, 0, 20, 39, 20);
                thick_line(r, v, 5, 2, 3, 37, 45);
                thick_line(r, v, 1, 39, 0, 0, 49);
                disc(r, v, 9, 20, 25);
                ring(r, v, 8, 3, 20, 25);
                filled_polygon(r, v, {{2, 2}, {30, 10}, {10, 45}});
                filled_rect(r, v, 5, 5, 12, 40);
                ArcPx a;
                a.row = 20 << 8;
                a.col = 25 << 8;
                a.radius = 15 << 8;
                a.start = 1000;
                a.sweep = 40000;
                solid_arc(r, v, 1, a);
                put_pixel(r, v, 39, 49);
            }
            EXPECT_EQ(b.memory, before) << std::hex << v << " depth " << std::dec << depth;
        }
    }
}

TEST(RasterWriters, DepthWritersStoreTheLowBitsOfTheValue) {
    for (int depth : {8, 16, 24, 32}) {
        GuardedBuffer b(7, 1, depth, 1);
        Raster r = b.raster();
        span_fill(r, 0x00A1B2C3, 0, 6, 0);
        uint32_t mask = depth == 32 ? 0xFFFFFFFFu : (1u << depth) - 1;
        for (int col = 0; col < 7; ++col) {
            EXPECT_EQ(b.get(0, col), 0x00A1B2C3u & mask) << depth;
        }
        // XOR uses the low 24 bits only: at 32 bits the top byte of the pixel stays.
        span_fill(r, 0xFFFFFFFFu, 0, 0, 6); // dashed, phase 15 + column: column 0 off, 1..8 on
        EXPECT_EQ(b.get(0, 3), (0x00A1B2C3u ^ 0x00FFFFFF) & mask) << depth;
        EXPECT_TRUE(b.guard_intact()) << depth;
    }
}

TEST(RasterWriters, DashedRunsFollowTheClipEdge) {
    // Phase = low nibble + column - clip left: 8 on, 8 off.
    GuardedBuffer b(32, 2, 32);
    Raster r = b.raster();
    span_fill(r, 0xC0FFFFFF, 0, 0, 31);
    span_fill(r, 0xC4FFFFFF, 1, 0, 31);
    EXPECT_EQ(b.picture(), rows({"########........########........", "####........########........####"}));
    // Counted from the clip edge, not from column 0.
    b.fill(0);
    r.set_clip(Rect{0, 4, 0, 31});
    span_fill(r, 0xC0FFFFFF, 0, 0, 31);
    EXPECT_EQ(b.picture(), rows({"....########........########....", "................................"}));
    // A vertical run counts rows.
    GuardedBuffer c(1, 20, 8);
    Raster rc = c.raster();
    column_fill(rc, 0xC0FFFFFF, 0, 0, 19);
    EXPECT_EQ(c.count(), 8 + 4);
}

TEST(RasterRing, FullCircleIsTheSpanDifferenceOfTwoDiscs) {
    // Radius 2, width 1: the disc of radius 2 (run "0 1 1") less the disc of radius 1 (a plus).
    GuardedBuffer b(5, 5, 16);
    Raster r = b.raster();
    EXPECT_TRUE(ring(r, 0xFFFF, 2, 1, 2, 2));
    const std::string expect = rows({".###.", "##.##", "#...#", "##.##", ".###."});
    EXPECT_EQ(b.picture(), expect);
    // An arc of sweep 0 that is not an ellipse is that ring.
    b.fill(0);
    ArcPx a;
    a.row = 2 << 8;
    a.col = 2 << 8;
    a.radius = 2 << 8;
    EXPECT_TRUE(solid_arc(r, 0xFFFF, 1, a));
    EXPECT_EQ(b.picture(), expect);
    // Under one pixel of radius: a disc of the width at the centre.
    b.fill(0);
    a.radius = 200;
    solid_arc(r, 0xFFFF, 3, a);
    EXPECT_EQ(b.picture(), rows({".....", "..#..", ".###.", "..#..", "....."}));
}

TEST(RasterArc, ChordChainsFollowTheCurve) {
    EXPECT_EQ(arc_step(3), 8192);
    EXPECT_EQ(arc_step(15), 4096);
    EXPECT_EQ(arc_step(47), 2048);
    EXPECT_EQ(arc_step(131), 1024);
    EXPECT_EQ(arc_step(395), 512);
    EXPECT_EQ(arc_step(396), 256);
    // A quarter arc of radius 20 from 0 (east) to 90 degrees (north, up the screen): its pixels stay
    // within a pixel and a half of the circle (chords of 1/32 turn sag by 0.1 px) in the upper right
    // quadrant, and both end points are drawn.
    GuardedBuffer b(50, 50, 32);
    Raster r = b.raster();
    ArcPx a;
    a.row = 25 << 8;
    a.col = 25 << 8;
    a.radius = 20 << 8;
    a.sweep = 16384;
    solid_arc(r, kInk, 1, a);
    EXPECT_EQ(b.get(25, 45), kInk);
    EXPECT_EQ(b.get(5, 25), kInk);
    for (int row = 0; row < 50; ++row) {
        for (int col = 0; col < 50; ++col) {
            if (b.get(row, col) == kInk) {
                double d = std::hypot(row - 25.0, col - 25.0);
                EXPECT_NEAR(d, 20.0, 1.5);
                EXPECT_LE(row, 25);
                EXPECT_GE(col, 25);
            }
        }
    }
    // An ellipse of ratio 1/2 turned by 90 degrees: the long axis runs up and down.
    b.fill(0);
    a.sweep = 0;
    a.ellipse = 32768;
    a.rotation = 16384;
    solid_arc(r, kInk, 1, a);
    EXPECT_EQ(b.get(5, 25), kInk);
    EXPECT_EQ(b.get(45, 25), kInk);
    EXPECT_EQ(b.get(25, 35), kInk);
    EXPECT_EQ(b.get(25, 45), 0u);
}

TEST(RasterPolygon, FillIncludesEdgePixels) {
    // Triangle (0,0), (0,4), (4,0): the hypotenuse's DDA runs (0,4), (1,3), (2,2), (3,1), (4,0), and
    // the inside is filled from the left edge to it; the bottom vertex row has only edge pixels.
    GuardedBuffer b(5, 5, 32);
    Raster r = b.raster();
    EXPECT_TRUE(filled_polygon(r, kInk, {{0, 0}, {0, 4}, {4, 0}}));
    EXPECT_EQ(b.picture(), rows({"#####", "####.", "###..", "##...", "#...."}));
    // Every other row, by the parity of row + phase.
    b.fill(0);
    filled_polygon(r, kInk, {{0, 0}, {0, 4}, {4, 4}, {4, 0}}, true, 1);
    EXPECT_EQ(b.picture(), rows({".....", "#####", ".....", "#####", "....."}));
}

TEST(RasterPolygon, FewerThanThreeVerticesDrawNothing) {
    GuardedBuffer b(8, 8, 32);
    Raster r = b.raster();
    EXPECT_FALSE(filled_polygon(r, kInk, {{1, 1}, {6, 6}}));
    EXPECT_FALSE(filled_polygon(r, kInk, {{1, 1}}));
    EXPECT_EQ(b.count(), 0);
    // Three collinear vertices still show their edges.
    EXPECT_TRUE(filled_polygon(r, kInk, {{1, 1}, {3, 3}, {6, 6}}));
    EXPECT_EQ(b.count(), 6);
}

TEST(RasterPolygon, ConcaveAndSelfCrossingShapesUseCrossingCounts) {
    // A U shape: the notch between columns 3 and 5 above row 4 stays empty.
    GuardedBuffer b(9, 8, 32);
    Raster r = b.raster();
    filled_polygon(r, kInk, {{0, 0}, {7, 0}, {7, 8}, {0, 8}, {0, 6}, {4, 6}, {4, 2}, {0, 2}});
    EXPECT_EQ(b.picture(), rows({"###...###", "###...###", "###...###", "###...###", "#########", "#########",
                                 "#########", "#########"}));
}

} // namespace
} // namespace trazel::display
