#pragma once
// The drawing primitives: pixels, spans, thick lines, discs, rings, arcs, filled polygons and rectangles,
// written straight into a locked pixel buffer of 8, 16, 24 or 32 bits per pixel.
//
// Every primitive takes pixel coordinates (row, column), clips against the Raster's clip rectangle
// (which is kept inside the buffer, so nothing is ever written outside it), rejects early by bounding
// box, and returns non-zero when it wrote at least one pixel.  A Raster without a base address draws
// nothing.  All arithmetic is integer and fixed point; coordinates may be anywhere in the int range.
//
// The top byte of a pixel value chooses the write: 0 stores the value, 0x01..0xBF XORs its low 24
// bits into the pixel, 0xC0..0xFF XORs dashed, 8 pixels on and 8 off along the run, the phase being the
// byte's low 4 bits plus the position relative to the clip edge.
#include <array>
#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

#include "display/pixel_buffer.h"
#include "model/units.h"

namespace trazel::display {

enum class PixelMode { Store, Xor, Dashed };

constexpr PixelMode pixel_mode(uint32_t value) {
    uint32_t top = value >> 24;
    return top == 0 ? PixelMode::Store : top >= 0xC0 ? PixelMode::Dashed : PixelMode::Xor;
}

// --- Disc span table -------------------------------------------------------------------------------
// For each radius r the table holds a run of r + 1 increments; read backwards from the last entry, the
// running sum is the half-width of each row from the top of the disc down to its centre, and the
// entries sum to r.  Radii 1..255 come from one shared table built by the midpoint circle algorithm
// (its start replaced by the fixed small discs); larger radii are computed on demand into two spare
// runs, so the two radii of a ring can be held at once.
constexpr int kDiscTableRadii = 255;
constexpr int kDiscTableEntries = (kDiscTableRadii + 1) * (kDiscTableRadii + 2) / 2 - 1; // 32895
constexpr int kFixedDiscEntries = 175;                                                   // 350 bytes

// Where the run of radius r starts in the table: r(r + 1)/2 - 1.
constexpr int disc_run_start(int r) {
    return r * (r + 1) / 2 - 1;
}

// The fixed runs of radii 1 to 17 and the first five entries of radius 18, entry 0 of each run first.
extern const std::array<uint16_t, kFixedDiscEntries> kFixedSmallDiscs;

// The increments of radius r by the midpoint circle algorithm, into out[0..r].
void midpoint_disc_run(int r, uint16_t* out);
// The half-width of row y (0..r from the centre) of that disc, the running sum of its run from the
// top, computed for the one row (r below 2^25): large discs and rings draw only the rows the clip
// rectangle shows.
int64_t midpoint_half_width(int64_t r, int64_t y);

// The shared table of radii 1..255 (immutable once built).
const std::vector<uint16_t>& disc_span_table();

struct DiscTable {
    struct Spare {
        int radius = -1;
        std::vector<uint16_t> run;
    };
    std::array<Spare, 2> spare;
    int next_spare = 0;

    // The run of radius r >= 1 (r + 1 entries, entry 0 first).  A pointer to a spare run stays valid
    // until the second call after it for another large radius.
    const uint16_t* run(int r);
};

// Radii beyond this are drawn row by row from an integer square root instead of a run.
constexpr int kMaxRunRadius = 65535;

// --- The drawing target ------------------------------------------------------------------------------
struct PixelPoint {
    int row = 0, col = 0;
};

// One polygon edge as the scanline fill keeps it.
struct PolygonEdge {
    int64_t x1 = 0, y1 = 0, x2 = 0, y2 = 0;
    int64_t ymin = 0, ymax = 0;
};

// Scratch storage the primitives reuse from call to call.
struct RasterWork {
    DiscTable discs;
    std::vector<PixelPoint> clipped;
    std::vector<PolygonEdge> edges;
    std::vector<const PolygonEdge*> active;
    std::vector<int64_t> crossings;                // 32.32 fixed columns
    std::vector<std::pair<int64_t, int64_t>> runs; // column intervals of one row
};

struct Raster {
    PixelBuffer buf;
    Rect clip; // inclusive; always inside the buffer (see set_clip)
    RasterWork* work = nullptr;

    Raster() = default;
    Raster(const PixelBuffer& b, RasterWork* w) : buf(b), work(w) {
        set_clip(Rect{0, 0, b.height - 1, b.width - 1});
    }
    // Sets the clip rectangle, cut to the buffer.
    void set_clip(const Rect& r);
    bool can_draw() const {
        return buf.base != nullptr && !clip.empty();
    }
};

// Intersection of two inclusive rectangles (empty when they do not meet).
Rect intersect(const Rect& a, const Rect& b);

// One pixel of B bytes (1, 2, 3 or 4) at `p`; a 3-byte pixel is a 16-bit word and its third byte, never
// touching the byte after it.
template <int B> inline void store_pixel(uint8_t* p, uint32_t v) {
    if constexpr (B == 1) {
        *p = static_cast<uint8_t>(v);
    } else if constexpr (B == 2) {
        uint16_t w = static_cast<uint16_t>(v);
        std::memcpy(p, &w, 2);
    } else if constexpr (B == 3) {
        uint16_t w = static_cast<uint16_t>(v);
        std::memcpy(p, &w, 2);
        p[2] = static_cast<uint8_t>(v >> 16);
    } else {
        std::memcpy(p, &v, 4);
    }
}

// --- Primitives ------------------------------------------------------------------------------------
int put_pixel(Raster& r, uint32_t value, int row, int col);
// One row from column c1 to c2 inclusive (either order), through the depth's row writer.
int span_fill(Raster& r, uint32_t value, int row, int c1, int c2);
// One column from row r1 to r2 inclusive (either order); the dash phase follows the row.
int column_fill(Raster& r, uint32_t value, int col, int r1, int r2);
// Rows r1..r2 by columns c1..c2, corners in either order.
int filled_rect(Raster& r, uint32_t value, int r1, int c1, int r2, int c2);

// A line `width` pixels wide (made odd), with round ends (discs) from width 3 on.  Vertical and
// horizontal lines are spans; others a fixed-point DDA clipped analytically, widened by further
// one-pixel DDA lines beside it until their perpendicular offset reaches the half width.  In the XOR
// modes no end discs are drawn (they would cancel the pixels they share with the body), and vertical
// and horizontal lines are one pixel wide.
int thick_line(Raster& r, uint32_t value, int width, int r1, int c1, int r2, int c2);

// Thick lines through the points in turn (and back to the first when `closed`).  A one-pixel XOR chain
// leaves out each segment's last pixel, which the next segment draws, so the joints do not cancel.
int polyline(Raster& r, uint32_t value, int width, const std::vector<PixelPoint>& pts, bool closed);

// A disc of the given diameter: radius = diameter / 2; radius 0 one pixel, radius 1 a plus of five.
int disc(Raster& r, uint32_t value, int diameter, int row, int col);

// A full circle `width` pixels wide (made odd) around `radius`: the spans between the discs of radius
// - width/2 - 1 and radius + width/2.
int ring(Raster& r, uint32_t value, int radius, int width, int row, int col);

// An arc in pixel space.  Centre and radius are in 1/256 pixel; angles are binary, counter-clockwise on
// the screen (y up); `ellipse` shortens the second axis (value / 65536, 0 for a circle) and `rotation`
// turns the curve.  A sweep of 0 is a full turn.
struct ArcPx {
    int64_t col = 0, row = 0; // centre, 1/256 pixel
    int64_t radius = 0;       // 1/256 pixel
    model::Angle start = 0, sweep = 0;
    uint16_t ellipse = 0;
    model::Angle rotation = 0;
    bool mirror = false; // angles count clockwise on screen (mirror view)
};
constexpr int kSubPixel = 256;

// The angle step of an arc's chord chain for its radius in pixels.
int arc_step(int64_t radius_px);

// A solid arc `width` pixels wide: a disc when the radius is under one pixel, ring spans for a full
// circle (not an ellipse) below 32768 pixels, otherwise a chain of thick lines between points on the
// curve.
int solid_arc(Raster& r, uint32_t value, int width, const ArcPx& a);

// A filled polygon of the vertices (closed implicitly), edge pixels included; fewer than 3 vertices draw
// nothing.  With `every_other` set only rows whose parity plus `phase` is even are filled.
int filled_polygon(Raster& r, uint32_t value, const std::vector<PixelPoint>& vertices, bool every_other = false,
                   int phase = 0);

} // namespace trazel::display
