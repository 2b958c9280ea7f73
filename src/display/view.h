#pragma once
// The view transform: Document units to pixels and back, the snap grid, zoom, grid dots and read-outs.
#include <array>
#include <cstdint>
#include <string>

#include "display/pixel_buffer.h"
#include "model/units.h"

namespace trazel::display {

using model::Coord;

struct View {
    uint32_t scale = 0x800000; // pixels per unit as a fraction of 2^32; as 16.16 it is dots per inch
    int32_t origin_x = 0;      // screen x = round(x * scale / 2^32) - origin_x
    int32_t origin_y = 0;      // screen y = drawing height - 1 - (round(y * scale / 2^32) - origin_y)
    struct Saved {
        uint32_t scale = 0;
        int32_t origin_y = 0, origin_x = 0;
        bool valid = false;
    } previous;
    uint32_t min_scale = 32768; // zoom out never goes below this

    Coord cursor_x = 0, cursor_y = 0;   // always on the snap grid when snapping is on
    int cursor_col = 0, cursor_row = 0; // the cursor's pixel
    Coord residue_x = 0, residue_y = 0; // what snapping rounded away from the last move
    Coord rel_x = 0, rel_y = 0;         // relative origin; read-outs and the grid are anchored there
    bool rel_set = false;
    uint32_t snap = 0; // snap spacing, 16.16 units; below 0x10000 snapping is off
    std::array<std::array<char, 12>, 16> grid_names{};
    int grid_index = -1;
    int decimals = 3;              // negative: metric read-out
    uint32_t display_grid = 0;     // spacing of the grid dots, 16.16 units
    int32_t readout_factor = 0x10000;
    int angle_mode = 0;            // 0 free, 1 horizontal/vertical, 2 45-degree, 3 8-way equal legs

    Rect area;             // drawing area in monitor pixels (the status bar is below it)
    int drawing_height = 0; // rows of the drawing area
};

// Conversions (rounding and saturation as the view rules give them).
int to_screen_x(const View& v, Coord x);
int to_screen_y(const View& v, Coord y);
Coord to_units_x(const View& v, int col);
Coord to_units_y(const View& v, int row);
uint32_t length_to_pixels(const View& v, uint32_t len);
Coord pixels_to_length(const View& v, int32_t px);

} // namespace trazel::display
