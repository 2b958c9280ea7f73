// Draws the scratch ring's Component into a picture of its own, with a display of its own, so the screen's
// view and surface are not touched.
#include "library/preview.h"

#include "display/display.h"
#include "display/view.h"
#include "library/library.h"

namespace trazel::library {

std::vector<uint8_t> draw_scratch(const model::Document& doc, const display::PixelFormat& format, int width, int height) {
    model::Ref c = model::first_item(scratch_ring());
    if (c == model::kNone || model::node(c).item_kind() != model::kComponent || width <= 0 || height <= 0) {
        return {};
    }
    display::Display d;
    display::set_pixel_format(d, format, nullptr);
    d.status_bar = false;
    int depth = format.depth;
    int bpp = depth / 8;
    int pitch = (width * bpp + 7) & ~7;
    std::vector<uint8_t> pixels(static_cast<size_t>(pitch) * static_cast<size_t>(height));
    uint32_t bg = doc.setup.background_pixel;
    for (int y = 0; y < height; ++y) {
        uint8_t* row = pixels.data() + static_cast<size_t>(y) * static_cast<size_t>(pitch);
        for (int x = 0; x < width; ++x) {
            for (int b = 0; b < bpp; ++b) {
                row[x * bpp + b] = static_cast<uint8_t>(bg >> (8 * b));
            }
        }
    }
    display::PixelBuffer buf;
    buf.base = pixels.data();
    buf.pitch = pitch;
    buf.depth = depth;
    buf.width = width;
    buf.height = height;
    display::set_surface(d, buf, 0);
    const model::Node& n = model::node(c);
    // A margin of an eighth of the larger side, so outlines at the edge are seen whole.
    int64_t w = int64_t{n.box.x2} - n.box.x1, h = int64_t{n.box.y2} - n.box.y1;
    model::Coord m = static_cast<model::Coord>(std::max<int64_t>(std::max(w, h) / 8, 655));
    display::zoom_to_rect(d.view, {model::clamp_coord(int64_t{n.box.x1} - m), model::clamp_coord(int64_t{n.box.y1} - m)},
                          {model::clamp_coord(int64_t{n.box.x2} + m), model::clamp_coord(int64_t{n.box.y2} + m)},
                          d.view.area, false);
    display::draw_item(d, doc, c);
    return display::buffer_to_rgb(buf, d.format, d.palette, display::Rect{0, 0, height - 1, width - 1});
}

} // namespace trazel::library
