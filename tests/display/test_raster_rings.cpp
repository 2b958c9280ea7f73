// Discs and rings much larger than the clip rectangle: only the rows inside it are worked out, and
// the pixels are those of the midpoint runs, row for row.
#include <algorithm>
#include <vector>

#include <gtest/gtest.h>

#include "display/raster.h"
#include "test_raster_fixture.h"

namespace trazel::display {
namespace {

using testing::GuardedBuffer;
using testing::rows;

constexpr uint32_t kInk = 0x00FFFFFF;

// Half-widths from the top row down to the centre, as the running sums of the radius's run.
std::vector<int64_t> half_widths(int r) {
    std::vector<uint16_t> run(static_cast<size_t>(r) + 1);
    midpoint_disc_run(r, run.data());
    std::vector<int64_t> hw(static_cast<size_t>(r) + 1);
    int64_t sum = 0;
    for (int y = r; y >= 0; --y) {
        sum += run[static_cast<size_t>(y)];
        hw[static_cast<size_t>(y)] = sum;
    }
    return hw;
}

TEST(RasterRing, OneRowHalfWidthsAgreeWithTheRuns) {
    for (int r = 256; r <= 1500; ++r) {
        auto hw = half_widths(r);
        for (int y = 0; y <= r; ++y) {
            ASSERT_EQ(midpoint_half_width(r, y), hw[static_cast<size_t>(y)]) << "r " << r << " y " << y;
        }
    }
    for (int r : {4095, 4096, 27084, 40001, 65534, 65535}) {
        auto hw = half_widths(r);
        for (int y = 0; y <= r; ++y) {
            ASSERT_EQ(midpoint_half_width(r, y), hw[static_cast<size_t>(y)]) << "r " << r << " y " << y;
        }
    }
}

TEST(RasterRing, HugeRingSeenThroughASmallClipDrawsOnlyItsRows) {
    // Width 3 around radius 39999: outer radius 40000, inner (left open) 39997.  Within 199 rows of the
    // centre both half-widths are the whole radii (y^2 < r), so the left side is columns col - 40000 ..
    // col - 39998 on every row.
    GuardedBuffer b(12, 6, 32);
    Raster r = b.raster();
    EXPECT_TRUE(ring(r, kInk, 39999, 3, 3, 40002));
    EXPECT_EQ(b.picture(),
              rows({"..###.......", "..###.......", "..###.......", "..###.......", "..###.......", "..###......."}));
    // The top of the same ring: rows y = 40000, 39999 and 39998 lie outside the inner disc and are whole
    // rows as far as the buffer goes (half-widths of hundreds of pixels); on row 39997 the inner disc
    // leaves columns col - 199 .. col + 199 open.
    b.fill(0);
    EXPECT_TRUE(ring(r, kInk, 39999, 3, 40002, 6));
    EXPECT_EQ(b.picture(),
              rows({"............", "............", "############", "############", "############", "............"}));
    EXPECT_TRUE(b.guard_intact());
    // Nothing the size of the radius was built for it.
    EXPECT_EQ(b.work.discs.spare[0].radius, -1);
    EXPECT_EQ(b.work.discs.spare[1].radius, -1);
}

TEST(RasterRing, ClippedDiscsAndRingsKeepTheirPixels) {
    // Seen through clip rectangles that cut them anywhere, table and computed radii alike draw the
    // spans of their runs: row offset y spans centre +- hw(outer), with +- hw(inner) left out.
    for (int radius : {9, 120, 254, 300, 1000, 5000}) {
        for (int width : {1, 5}) {
            int ro = radius + width / 2, ri = radius - width / 2 - 1;
            auto hwo = half_widths(ro);
            auto hwi = half_widths(std::max(ri, 1));
            if (ro <= kDiscTableRadii) {
                const uint16_t* t = &disc_span_table()[disc_run_start(ro)];
                int64_t s = 0;
                for (int y = ro; y >= 0; --y) {
                    hwo[static_cast<size_t>(y)] = s += t[y];
                }
            }
            if (ri >= 1 && ri <= kDiscTableRadii) {
                const uint16_t* t = &disc_span_table()[disc_run_start(ri)];
                int64_t s = 0;
                for (int y = ri; y >= 0; --y) {
                    hwi[static_cast<size_t>(y)] = s += t[y];
                }
            }
            for (int dr : {-ro - 3, -ro / 2, -3, 0, ro / 3, ro - 2}) {
                for (int dc : {-ro, -ro / 2, 0, ro - 20}) {
                    GuardedBuffer b(40, 30, 8);
                    Raster r = b.raster();
                    r.set_clip(Rect{4, 3, 25, 36});
                    int row = 15 - dr, col = 20 - dc;
                    // The ring, then (width 1 only) the whole disc of its outer radius.
                    for (bool whole : {false, true}) {
                        if (whole && width != 1) {
                            break;
                        }
                        b.fill(0);
                        if (whole) {
                            disc(r, 0xFF, 2 * ro + 1, row, col);
                        } else {
                            ring(r, 0xFF, radius, width, row, col);
                        }
                        for (int pr = 0; pr < 30; ++pr) {
                            for (int pc = 0; pc < 40; ++pc) {
                                int64_t y = std::abs(int64_t{pr} - row), x = std::abs(int64_t{pc} - col);
                                bool hole = !whole && ((y <= ri && ri > 0 && x <= hwi[static_cast<size_t>(y)]) ||
                                                       (ri == 0 && y == 0 && x == 0));
                                bool in = pr >= 4 && pr <= 25 && pc >= 3 && pc <= 36 && y <= ro &&
                                          x <= hwo[static_cast<size_t>(y)] && !hole;
                                ASSERT_EQ(b.get(pr, pc) != 0, in)
                                    << (whole ? "disc" : "ring") << " radius " << radius << " width " << width
                                    << " centre " << row << "," << col << " pixel " << pr << "," << pc;
                            }
                        }
                    }
                }
            }
        }
    }
}

} // namespace
} // namespace trazel::display
