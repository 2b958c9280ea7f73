#pragma once
// The Component in the scratch ring drawn small, for the library dialog.
#include <cstdint>
#include <vector>

#include "display/colour.h"
#include "model/model.h"

namespace trazel::library {

// `width` x `height` RGB pixels (3 bytes each, rows top down): the scratch ring's Component in the
// layer colours of `doc` on its background, zoomed to fill the picture.  Empty when the scratch ring
// holds no Component.
std::vector<uint8_t> draw_scratch(const model::Document& doc, const display::PixelFormat& format, int width, int height);

} // namespace trazel::library
