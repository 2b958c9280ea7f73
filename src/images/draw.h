#pragma once
// Drawing a pixel image block under the drawing.
//
// The block is placed by its edges: pixel column 0 is centred on the left edge, column width - 1 on the
// right edge, row 0 (the top row) on the top edge and the last row on the bottom edge; each screen pixel
// of the clip rectangle shows the nearest picture pixel, and pixels outside the picture are left alone.
// Colours go through one table of final screen pixel values built per draw (the palette of the kind or
// the 16-bit display table, the value map, the contrast curve, the channel mask of grey pictures), so
// the pixel loop is a lookup and a store at every screen depth.
#include <array>
#include <cstdint>
#include <vector>

#include "display/display.h"
#include "images/block.h"

namespace trazel::images {

// The contrast curve on one 8-bit value.  0 is linear; otherwise p = |curve| / 4096 and
//   curve > 0:  v' = 255 * (v / 255)^p
//   curve < 0:  v' = 255 - 255 * (1 - v / 255)^p
// rounded to the nearest whole value.
uint8_t contrast(int16_t curve, uint8_t v);

// What a stored 8-bit channel value shows as: the value map first, then the contrast curve.
std::array<uint8_t, 256> tone_table(const BlockHeader& h);

// Whether the block's pixels are grey values (the channel mask applies): 16-bit pictures, and 8-bit
// pictures of the grey kind (or of the direct kind, whose palette is the grey ramp).
bool grey_picture(const BlockHeader& h);

// Draws `block` into the clip rectangle of `r`, through the view of `d`.  A block that block_fault()
// finds wrong draws nothing.  Returns non-zero when any pixel was written.
int draw_block(display::Display& d, display::Raster& r, const std::vector<uint8_t>& block);

} // namespace trazel::images
