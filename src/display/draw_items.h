#pragma once
// How one Item is drawn: the pixel value rules and the shapes of Lines, Solids, Arcs, Pads, Texts and
// the markers, for one clip rectangle.  Used by the redraw and the single-Item draws.
#include <array>
#include <bitset>
#include <cstdint>

#include "display/display.h"

namespace trazel::display {

using model::Coord;

// The view's conversions, inline for the drawing loops: x * scale / 2^32 rounded half up (the scale
// halved and the product doubled, as the view forms it), less the origin, kept to the int range.
inline int clamp_to_int(int64_t v) {
    return static_cast<int>(v < INT32_MIN ? INT32_MIN : v > INT32_MAX ? INT32_MAX : v);
}

inline int screen_col(const View& v, Coord x) {
    int64_t doubled = int64_t{view_x(v, x)} * int64_t{v.scale >> 1} * 2;
    return clamp_to_int(((doubled + (int64_t{1} << 31)) >> 32) - v.origin_x);
}

inline int screen_row(const View& v, Coord y) {
    int64_t doubled = int64_t{y} * int64_t{v.scale >> 1} * 2;
    return clamp_to_int(int64_t{v.drawing_height} - 1 - (((doubled + (int64_t{1} << 31)) >> 32) - v.origin_y));
}

inline Coord clamp_to_coord(int64_t v) {
    return static_cast<Coord>(v < INT32_MIN ? INT32_MIN : v > INT32_MAX ? INT32_MAX : v);
}

// A Pad as it is drawn: the Item's own fields, or a derived mask or paste pad.
struct PadShape {
    Coord x0 = 0, y0 = 0;
    uint32_t width = 0, height = 0, hole = 0;
    model::Angle angle = 0;
    uint8_t type = 0;
    Ref item = model::kNone; // for the pin and Signal labels; none for a derived pad
};

class ItemPainter {
  public:
    // Draws the Items of `doc` by its setup (modes, colours, layers); without a Document nothing is
    // drawn by the rules, only in given pixels.
    ItemPainter(Display& d, Raster& r, const model::Document* doc);

    // The pixel value an Item is drawn in by the rules (hidden Items, layers switched off, marks, pads
    // on layers that are off); false when it is not drawn at all.
    bool pixel_for(const model::Node& n, uint32_t& out) const;
    // Draws one Item (not its members) in `pixel`.  A Component draws only its hook point marker when
    // hook markers are on.
    int item(Ref r, uint32_t pixel) {
        return item(r, model::node(r), pixel);
    }
    // The same from a copy of the Item's Node; for a Text, `shows_text` tells whether its resolved text is
    // not empty (-1 when not known).
    int item(Ref r, const model::Node& n, uint32_t pixel, int shows_text = -1);
    // Whether a Text's resolved text is not empty; cheap unless the text is a field reference.
    static bool text_shows(Ref r, const model::Node& n);
    int pad(const PadShape& p, uint32_t pixel);
    int hook_point(Ref component);
    int marker(Coord x, Coord y);

    // The effective layer of an Item in the draw order: through-hole pads count as layer 0.
    static int order_layer(const model::Node& n);
    static bool is_thru_pad(const model::Node& n) {
        return n.item_kind() == model::kPad && (n.size & 7) < 4;
    }

    bool has_document() const {
        return setup_ != nullptr;
    }
    const model::Setup& setup() const {
        return *setup_;
    }
    uint32_t layer_pixel(int layer) const {
        return layer_pixel_[layer];
    }
    bool layer_on(int layer) const {
        return layer_on_[layer];
    }
    uint32_t background() const {
        return background_;
    }
    uint32_t highlight() const {
        return highlight_;
    }
    uint32_t marker_pixel() const {
        return marker_;
    }
    uint8_t pads_mode() const {
        return pads_;
    }

    // Displacement added to every point (Items hanging on the cursor).
    Coord dx = 0, dy = 0;
    // Whether drawing a Text writes its measured length back into the Item; a plot, which must leave
    // the Document untouched, turns it off.
    bool text_write_back = true;

  private:
    int line(const model::Node& n, uint32_t pixel);
    int solid(const model::Node& n, uint32_t pixel);
    int arc(const model::Node& n, uint32_t pixel);
    int text(Ref r, const model::Node& n, uint32_t pixel, int shows_text);
    bool tiny_text(const model::Node& n, uint32_t pixel, int& drew);
    int thin(int64_t r1, int64_t c1, int64_t r2, int64_t c2, uint32_t pixel);
    int track_names(const model::Node& n, uint32_t pixel, uint32_t width_px);
    int pad_labels(const PadShape& p, const model::Node& n, uint32_t pixel);
    int arc_outline(const model::Node& n, uint32_t pixel, int64_t width);

    int64_t col(Coord x) const {
        return screen_col(v_, mx(x));
    }
    int64_t row(Coord y) const {
        return screen_row(v_, my(y));
    }
    Coord mx(Coord x) const {
        return dx == 0 ? x : clamp_to_coord(int64_t{x} + dx);
    }
    Coord my(Coord y) const {
        return dy == 0 ? y : clamp_to_coord(int64_t{y} + dy);
    }
    ArcPx arc_px(Coord x0, Coord y0, int64_t radius) const;
    // One-pixel closed outline through the points.
    int polyline(const std::vector<PixelPoint>& pts, uint32_t pixel, bool closed);
    bool is_xor_outline(uint32_t pixel) const {
        return pixel == xor_outline_;
    }

    Display& d_;
    Raster& r_;
    const View& v_;
    const model::Setup* setup_ = nullptr;
    uint8_t lines_ = 3, pads_ = 2, text_ = 3, refs_ = 0;
    char format_code_ = 0;
    std::array<uint32_t, 256> layer_pixel_{};
    std::bitset<256> layer_on_;
    uint32_t background_ = 0, highlight_ = 0, marker_ = 0, xor_outline_ = 0;
};

} // namespace trazel::display
