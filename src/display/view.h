#pragma once
// The view transform: Document units to pixels and back, the snap grid, zoom, grid dots and read-outs.
//
// Everything here is integer and fixed-point arithmetic with 64-bit intermediates.  The view knows
// nothing of windows: what it cannot do itself (scrolling the window contents, redrawing, the cross-hair,
// the status bar, entering the full-screen cursor mode) goes through `ViewHooks`, which the shell fills;
// unset hooks are skipped.  Beeps go straight to the platform.
#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "display/pixel_buffer.h"
#include "model/fixed.h"
#include "model/node.h"

namespace trazel::display {

using model::Angle;
using model::Coord;

struct ViewHooks {
    // Move the window contents by (dx, dy) pixels (positive: right, down) and redraw the exposed strips;
    // a move larger than the window is a full redraw.  The origins have already been shifted.
    std::function<void(int dx, int dy)> scroll;
    std::function<void()> redraw_full;
    std::function<void()> redraw_layer; // the current layer only
    // Erase the cross-hair where it was drawn and draw it at the cursor pixel.
    std::function<void()> crosshair_refresh;
    std::function<void()> readout_refresh;
    std::function<void()> query_notify; // tell an open query window the cursor moved
    std::function<void()> enter_trazel_mode;
};

constexpr uint32_t kMaxScale = 0xFFFFFFFF;
constexpr uint32_t kStartScale = 0x800000;   // 128 dots per inch
constexpr uint32_t kMinZoomOutScale = 32768; // 0.5 dots per inch
constexpr uint32_t kMinWindowScale = 256;    // floor of zoom to a rectangle
constexpr uint32_t kSnapOff = 0x10000;       // snap spacings below one unit switch snapping off
constexpr int kEdgeMarginX = 16;             // the cursor keeps this far from the left and right edges
constexpr int kEdgeMarginY = 12;             // and this far from the top and bottom
constexpr int kMinGridDotPixels = 8;         // grid dots closer than this are not drawn
constexpr int kReadoutField0 = 0;            // status bar columns of the X and Y read-outs
constexpr int kReadoutField1 = 17;
constexpr char kDegreeSign = '\xF8'; // in the status bar font

struct View {
    uint32_t scale = kStartScale; // pixels per unit as a fraction of 2^32; as 16.16 it is dots per inch
    int32_t origin_x = 0;         // screen x = round(x * scale / 2^32) - origin_x
    int32_t origin_y = 0;         // screen y = drawing height - 1 - (round(y * scale / 2^32) - origin_y)
    struct Saved {
        uint32_t scale = 0;
        int32_t origin_y = 0, origin_x = 0;
        bool valid = false;
    } previous;
    uint32_t min_scale = kMinZoomOutScale; // zoom out never goes below this

    Coord cursor_x = 0, cursor_y = 0;   // always on the snap grid when snapping is on
    int cursor_col = 0, cursor_row = 0; // the cursor's pixel
    Coord residue_x = 0, residue_y = 0; // what snapping rounded away from the last move
    Coord rel_x = 0, rel_y = 0;         // relative origin; read-outs and the grid are anchored there
    bool rel_set = false;
    uint32_t snap = 0; // snap spacing, 16.16 units; below 0x10000 snapping is off
    std::array<std::array<char, 12>, 16> grid_names{};
    int grid_index = -1;
    int decimals = 3;          // negative: metric read-out
    uint32_t display_grid = 0; // spacing of the grid dots, 16.16 units
    int32_t readout_factor = 0x10000;
    int angle_mode = 0;        // 0 free, 1 horizontal/vertical, 2 45-degree, 3 8-way equal legs
    bool single_layer = false; // redraws show the current layer only
    bool mirror = false;       // mirror view: x grows to the left on screen; the Document is untouched

    Rect area;              // drawing area in monitor pixels (the status bar is below it)
    int drawing_height = 0; // rows of the drawing area

    ViewHooks hooks;
};

// --- Conversions (view.cpp) -------------------------------------------------------------------------
// The x every conversion to and from pixels works with: -x in mirror view (kept in range).
inline Coord view_x(const View& v, Coord x) {
    return !v.mirror ? x : x == INT32_MIN ? INT32_MAX : -x;
}
// Screen positions saturate at the int32 range; unit positions at +-0x7FFFFFFF.
int to_screen_x(const View& v, Coord x);
int to_screen_y(const View& v, Coord y);
Coord to_units_x(const View& v, int col);
Coord to_units_y(const View& v, int row);
uint32_t length_to_pixels(const View& v, uint32_t len);
Coord pixels_to_length(const View& v, int32_t px);

// value * scale / 2^32 rounded half up, as the screen conversions form it (no origin applied).
int64_t scale_units(Coord value, uint32_t scale);

// The middle pixel of the drawing area.
int middle_col(const View& v);
int middle_row(const View& v);
// Whether a pixel is at least the edge margins inside the drawing area.
bool inside_margins(const View& v, int col, int row);

// --- Snap and cursor motion (view.cpp) -------------------------------------------------------------
struct Snapped {
    Coord value = 0;
    Coord residue = 0; // unsnapped minus snapped
};
// Snaps one axis to the grid anchored at `origin`: halves round away from the anchor.  A grid below one
// unit leaves the value as it is (clamped to the Coord range).
Snapped snap_axis(int64_t value, Coord origin, uint32_t grid);

// Recomputes the cursor pixel from the cursor position.
void update_cursor_pixel(View& v);
// Sets the origins so that the cursor position shows at pixel (col, row); the cursor pixel follows.
void place_cursor_at(View& v, int col, int row);
// Puts the cursor on the snap grid, stores the residue and updates the pixel.  Non-zero if it moved.
int snap_cursor(View& v);
// The cursor at the point under a pixel, snapped (the residue is replaced).  Non-zero if it moved.
int set_cursor_from_pixel(View& v, int col, int row);
// Moves the cursor by (dx, dy) units plus the residue and snaps.  Without a Document the cursor stays
// inside the drawing area; with one the view scrolls to keep the cursor off the edges.  Non-zero when the
// cursor position changed.
int move_cursor_by(View& v, int64_t dx, int64_t dy, bool has_document);
// Steps the cursor pixel by whole snap spacings (at least one pixel) until it is `mx` columns and `my`
// rows inside `r`, then converts it back and snaps.  Non-zero if it had to move.
int pull_cursor_inside(View& v, const Rect& r, int mx, int my);

// --- Angle constraint (view.cpp) -------------------------------------------------------------------
// Octant 0..7 of the direction (dx, dy), as the top three bits of its binary angle; (0, 0) is octant 0.
int octant_of(int64_t dx, int64_t dy);
// The point drawn for a segment from `anchor` to `cursor` under angle mode `mode`.  `previous` is the
// angle of the segment before (mode 3); without one the segment's own octant is used.
model::Point constrain_angle(int mode, model::Point cursor, model::Point anchor, std::optional<Angle> previous);

// --- Zoom (zoom.cpp) ------------------------------------------------------------------------------
// Each zoom returns non-zero when it changed the view, saves the previous view when it does, and asks
// for a full redraw (also at a limit, after the beep).
int zoom_in(View& v, bool trazel_mode);
int zoom_out(View& v, bool trazel_mode);
int zoom_center(View& v);
// Fits the rectangle with corners a and b into `clip` less a 7-pixel margin.
int zoom_to_rect(View& v, model::Point a, model::Point b, const Rect& clip, bool save_previous);
int zoom_previous(View& v);
// A new scale (below the zoom-out minimum the minimum); the cursor comes to the centre.
int zoom_scale(View& v, uint32_t scale);
// Clears the single-layer flag and redraws everything; always returns 1.
int zoom_redraw(View& v);
// Sets the single-layer flag and redraws the current layer; always returns 1.
int zoom_single_layer(View& v);

// The scale as dots per inch with four decimals ("128.0000"), and back.  Parsing accepts digits with an
// optional point and fraction, surrounded by blanks; values below `min_scale` give `min_scale`, values
// beyond the largest scale give the largest.  Returns 0 for text that is not such a number.
std::string scale_to_dpi_text(uint32_t scale);
int dpi_text_to_scale(std::string_view text, uint32_t min_scale, uint32_t& scale);

// --- Grid dots (grid_readout.cpp) -----------------------------------------------------------------
// Where the grid dots of one clip rectangle go, as 16.16 pixel positions: the first column and row are
// the display-grid multiples nearest the clip rectangle's left and top edges (the first ones inside the
// rectangle when those fall outside); dots then follow every `step` to the right and downwards.  A dot
// at position p is drawn at pixel round16(p) (halves rounded up).
struct GridDots {
    bool visible = false; // false when the spacing is under 8 pixels or the rectangle is empty
    int64_t col0 = 0, row0 = 0;
    int64_t step = 0;
};
GridDots grid_dots(const View& v, const Rect& clip);

// Calls put(row, col) for every grid dot inside `clip`, row by row from the top down, each row from the
// left.
template <class F> void for_each_grid_dot(const View& v, const Rect& clip, F&& put) {
    GridDots g = grid_dots(v, clip);
    if (!g.visible) {
        return;
    }
    for (int64_t r = g.row0;; r += g.step) {
        int64_t row = model::round16(r);
        if (row > clip.bottom) {
            break;
        }
        for (int64_t c = g.col0;; c += g.step) {
            int64_t col = model::round16(c);
            if (col > clip.right) {
                break;
            }
            put(static_cast<int>(row), static_cast<int>(col));
        }
    }
}

// --- Read-outs (grid_readout.cpp) ------------------------------------------------------------------
// One coordinate field: sign, five integer digits with leading blanks, a point and four decimal places of
// which |decimals| are shown.  `units` is inches as 16.16 (metric when decimals < 0), `factor` 16.16.
std::string readout_field(int64_t units, int decimals, int32_t factor);
// "Grid: " ... with the angle-mode mark and two trailing blanks.
std::string grid_readout(const View& v);
// The X and Y fields relative to the relative origin, each followed by "*" or a blank, Y at column 17.
std::string cursor_readout(const View& v);
// Direction (degrees, one decimal, degree sign) and distance from `anchor` to the cursor.
std::string angle_distance_readout(const View& v, model::Point anchor);

// The box of the visible Items of a ring (for a Document without usable extents); false when none.
bool items_extents(model::Ref ring, model::Point& a, model::Point& b);

} // namespace trazel::display
