#pragma once
// Areas of Items in Document units and the redraw of a region of the screen: how the editor makes the
// screen follow a change without redrawing everything.
#include <cstdint>

#include "display/display.h"
#include "model/fixed.h"
#include "model/model.h"

namespace trazel::edit {

using model::Box;

// The area an Item covers on the screen: its shape grown by half its width (a Component with all its
// members and its hook point; a Solid's vertex Node its edge).
Box item_area(model::Ref item);

// Redraws the part of the drawing area that shows `area` (a few pixels more), within the rectangles
// the display draws to.  Returns non-zero when anything was drawn.
int redraw_region(display::Display& d, const model::Document& doc, const Box& area);

} // namespace trazel::edit
