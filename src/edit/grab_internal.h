#pragma once
// Pieces of the grab shared by the grab, transform and Grab group files.
#include <cstdint>

#include "edit/editor.h"

namespace trazel::edit {

// Moves the points of a working copy that its flags grab by (dx, dy); an Arc held by one end keeps that
// end on its curve at the angle of the moved point.
void apply_offset(model::Node& n, uint8_t flags, int64_t dx, int64_t dy);

// Grab Item starting after `after` in walking order (kNone: from the start), for the second GI click that
// steps on to the next Item under the cursor.
Ref grab_item_at(GrabList& g, int layer, Point p, Ref after);

} // namespace trazel::edit
