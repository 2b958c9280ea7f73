#pragma once
// The display subsystem's state and its drawing entry points: the redraw of the current Document in
// layer order, single-Item draws, the XOR cross-hair and rubber bands, and the status bar.
//
// Everything draws into `Display::buffer`, which the platform supplies (a locked screen surface, or a
// plain memory buffer for the batch tool and the tests).  A buffer without a base address draws
// nothing; `DisplayHooks::lock` may provide one for the length of a draw.
#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "display/colour.h"
#include "display/pixel_buffer.h"
#include "display/raster.h"
#include "display/view.h"
#include "model/model.h"

namespace trazel::display {

using model::Ref;

// Draw mode bits of the Document's setup (bits 0-1 of the first three bytes are the mode 0..3).
constexpr uint8_t kModeMask = 0x03;
constexpr uint8_t kLinesSignalNames = 0x04;
constexpr uint8_t kPadsPinNumbers = 0x04;
constexpr uint8_t kPadsSignalNames = 0x08;
constexpr uint8_t kPadsMaskPaste = 0x10;
constexpr uint8_t kRefsAngleReadout = 0x01;
constexpr uint8_t kRefsHookPoints = 0x02;
constexpr uint8_t kRefsTrackVertices = 0x04;
constexpr uint8_t kRefsArcCentres = 0x08;

constexpr int kStatusBarRows = 22;
constexpr int kStatusTextRow = 5; // rows below the drawing area where the status texts start
constexpr int kStatusSeparator1 = 158;
constexpr int kStatusSeparator2 = 302;

// Markers: an X of two strokes 655 units wide across a 3276-unit square.
constexpr model::Coord kMarkerStroke = 655;
constexpr model::Coord kMarkerSize = 3276;
// Components are entered when their box grown by this meets a rectangle.
constexpr model::Coord kComponentMargin = 32768;

enum class RubberBand : int {
    None = 0,
    CrossHair = 1, // a dashed cross-hair, 16 pixels on and 16 off, aligned on the cursor
    Rectangle = 2, // XOR rectangle from the first corner to the cursor, plus the dashed cross-hair
};

struct Display;

// What the platform and the editor hang into the drawing.  Unset hooks are skipped.
struct DisplayHooks {
    // Gives `buffer` a base address; returns true when it locked (unlock is then called afterwards).
    std::function<bool(Display&)> lock;
    std::function<void(Display&)> unlock;
    // The Document's pixel image, drawn into each cleared rectangle under the grid dots.
    std::function<void(Display&, Raster&)> draw_image;
    // The editor's held Items (in the marker colour) and the block outline, drawn after the marked Items.
    std::function<void(Display&, Raster&)> draw_held;
    // True while a zoom-with-mouse press is timing (Windows mode, under 8 ticks): a button release then
    // interrupts the redraw.
    std::function<bool()> zoom_press_timing;
};

// An Item as the redraw keeps it between its passes: a copy of its Node, so each pass reads its layer's
// Items one after another instead of revisiting the pool.
struct ItemCopy {
    model::Node node;
    Ref ref = model::kNone;
    int8_t shows_text = -1; // Texts: whether the resolved text is not empty (-1 not known)
};

struct StatusText {
    int col = 0; // pixels from the left of the drawing area
    std::string text;
};

struct Display {
    View view;
    PixelBuffer buffer;
    PixelFormat format;
    Palette palette = build_palette(0);
    ColourSlots slots;
    RasterWork work;
    DisplayHooks hooks;

    // Rectangles of the next redraw in monitor pixels, each cut to the drawing area; empty means the
    // whole drawing area.
    std::vector<Rect> rects;

    // Cross-hair and rubber band, as last drawn (XOR: drawing the same again removes it).
    bool thick_crosshair = false; // the "Thick Cross-hair Cursor" setting
    bool crosshair_showing = false;
    int crosshair_row = 0, crosshair_col = 0, crosshair_angle_mode = 0;
    RubberBand band = RubberBand::None;
    int band_row = 0, band_col = 0; // first corner of the rectangle band
    // The band as it was drawn with the showing cross-hair, so removing it matches even if `band` changed.
    RubberBand drawn_band = RubberBand::None;
    int drawn_band_row = 0, drawn_band_col = 0;

    // Status bar: drawn under the drawing area when the buffer has the rows for it.
    bool status_bar = true;
    bool status_readout_separator = false; // the second separator, with the angle/distance read-out
    std::vector<StatusText> status;
    uint32_t status_ink = 0x000000;

    // The last redraw.
    bool interrupted = false;
    uint64_t items_drawn = 0;

    // Work storage reused from redraw to redraw.
    std::array<std::vector<ItemCopy>, 256> layer_items;
    std::vector<ItemCopy> surface_pads, marked_items;
    std::vector<Ref> hook_points;
    std::vector<PixelPoint> points;
};

// Sets the pixel format: builds the palette, converts the colour slots and, given the Documents' model,
// installs the conversion as its `to_pixel` (so layer colours set later get pixels of this format) and
// converts the layer and screen colours of every open Document.
void set_pixel_format(Display& d, const PixelFormat& f, model::Model* models);
// Uses `b` as the drawing surface: the drawing area is its top rows, less `status_rows` at the bottom.
void set_surface(Display& d, const PixelBuffer& b, int status_rows = kStatusBarRows);

// The full redraw (clearing, pixel image, grid dots, the layers in order, marked Items, held Items, the
// status bar and the cross-hair) or, with `full` false, the Items alone over what is there.
// `layer_only` (or the view's single-layer flag) draws only the current layer and the passes that
// follow it.  Returns 0 when nothing could be drawn or the user interrupted the redraw.
// `doc` is the Document on the screen; without one the start picture is drawn.
int redraw(Display& d, const model::Document* doc, bool full = true, bool layer_only = false);

// One Item (a Component with its members) into every rectangle, in its own pixel value, the marker
// colour (skipped on a layer that is switched off) or the background colour (erasing, likewise).
// Each returns non-zero when anything was drawn.
int draw_item(Display& d, const model::Document& doc, Ref item);
int draw_item_marker(Display& d, const model::Document& doc, Ref item);
int erase_item(Display& d, const model::Document& doc, Ref item);
// The same with any pixel value (the XOR outline colour draws outlines only), moved by (dx, dy) units:
// how the editor shows Items hanging on the cursor.
int draw_item_as(Display& d, const model::Document& doc, Ref item, uint32_t pixel, model::Coord dx = 0,
                 model::Coord dy = 0);

// Lines in Document units: a solid line of the width, and the outline of its stroke (two long sides and
// two half circles).  Both reject early when the box grown by the width misses the clip rectangle.
int wide_line_units(const View& v, Raster& r, uint32_t pixel, uint32_t width, model::Coord x1, model::Coord y1,
                    model::Coord x2, model::Coord y2);
int outlined_line_units(const View& v, Raster& r, uint32_t pixel, uint32_t width, model::Coord x1, model::Coord y1,
                        model::Coord x2, model::Coord y2);

// --- Overlay (overlay.cpp) -------------------------------------------------------------------------
// Draws the cross-hair (and the rubber band) at the cursor pixel by XOR; off removes what on drew.
void crosshair_on(Display& d);
void crosshair_off(Display& d);
// Takes a rubber band down (the cross-hair stays as it was).
void end_rubber_band(Display& d);
// Moves it: off at the old place, on at the view's cursor pixel.
void crosshair_refresh(Display& d);
// The XOR figures themselves, clipped to `r`: the plain cross-hair through (row, col) across the drawing
// area (3 pixels wide when thick; the two diagonals in angle mode 2), or with a rubber band of `kind`
// (first corner at corner_row, corner_col) the dashed cross-hair and the band.
void xor_crosshair(Display& d, Raster& r, int row, int col, int angle_mode);
void xor_rubber_band(Display& d, Raster& r, RubberBand kind, int corner_row, int corner_col, int row, int col);
// The status bar frame and texts in the rows under the drawing area.
int draw_status_bar(Display& d);
// A text of the 8 x 16 bitmap font at (row, col), opaque on `ground`.
int bitmap_text(Raster& r, int row, int col, std::string_view text, uint32_t ink, uint32_t ground);

// The picture shown while no Document is open.
int draw_start_picture(Display& d, Raster& r);

} // namespace trazel::display
