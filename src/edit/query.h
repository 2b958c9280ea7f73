#pragma once
// The query boxes: what each one shows of the Item under a point, as the fields of a form that a
// modeless tool window displays, and the pictures of the view and zoom windows.  The boxes only read:
// finding an Item here never makes its layer current, so moving the cursor over the board with a box
// open changes nothing.
#include <cstdint>
#include <string>
#include <vector>

#include "display/display.h"
#include "edit/spatial_index.h"
#include "model/model.h"
#include "platform/platform.h"

namespace trazel::edit {

using model::Coord;
using model::Point;
using model::Ref;

enum class QueryBox { Line, Arc, Pad, Text, Component, Image };
constexpr int kQueryBoxes = 6;
inline constexpr QueryBox kItemBoxes[] = {QueryBox::Line, QueryBox::Arc, QueryBox::Pad, QueryBox::Text,
                                          QueryBox::Component};

// "QueryLineBox" ... "QueryImageBox".
const char* query_box_name(QueryBox b);
// The box with every field empty.
platform::Form query_form(QueryBox b);

// The Item the box shows at `p`: its locator on the current layer, then on layer 0 (the image box has
// none yet: kNone).  The current layer is left as it was.
Ref query_item(model::Document& doc, QueryBox b, Point p, Coord tolerance, const SpatialIndex* index = nullptr);
// Sets the form's values from `item` (of the box's kind); kNone empties them all.
void fill_query(platform::Form& form, QueryBox b, const model::Document& doc, Ref item);

// The read-outs of the boxes: lengths and coordinates in inches with four decimals ("0.0100",
// "-1.2500"), angles in degrees with two ("90.00"), a sweep of 0 as the full circle it draws ("360.00"),
// the ellipse ratio r/R with four decimals ("0.5000"), a layer by its name (its number when unnamed).
std::string query_length(int64_t units);
std::string query_angle(model::Angle a);
std::string query_sweep(model::Angle a);
std::string query_ratio(uint16_t ellipse);
std::string query_layer(const model::Document& doc, int layer);

// --- The view and zoom windows ------------------------------------------------------------------------
constexpr int kViewPictureWidth = 240, kViewPictureHeight = 180;
constexpr int kZoomPictureSize = 160;
constexpr int kZoomFactor = 4; // the zoom window magnifies the main view this many times

// The Document drawn into a picture of its own (RGB, 3 bytes a pixel, rows top down) through `scratch`,
// a Display used for nothing else (its work storage is kept from one picture to the next), in the pixel
// format the Document's layer colours were converted for.  The view picture fits the whole Document and
// outlines `frame` (the main window's part of it, in units) when given; the zoom picture shows `scale`
// (pixels per unit, 32.32) around `centre` with a small cross at the centre.  Empty when nothing can be
// drawn.
std::vector<uint8_t> view_picture(display::Display& scratch, const model::Document& doc,
                                  const display::PixelFormat& format, int width, int height,
                                  const model::Box* frame = nullptr);
std::vector<uint8_t> zoom_picture(display::Display& scratch, const model::Document& doc,
                                  const display::PixelFormat& format, int size, Point centre, uint32_t scale);

} // namespace trazel::edit
