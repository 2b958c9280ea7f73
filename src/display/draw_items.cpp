// Drawing single Items: Lines, Solids, Arcs, Pads and Texts in their draw modes, with marks, markers,
// pad holes and labels and Signal names along tracks.
#include <algorithm>
#include <limits>
#include <string>

#include "display/draw_items.h"
#include "display/draw_support.h"
#include "display/stroke_font.h"
#include "display/trig.h"
#include "platform/platform.h"

namespace trazel::display {

namespace {

using model::abs64;
using model::Angle;
using model::isqrt64;
using model::mul16;
using model::Node;

constexpr int64_t kCoordMin = std::numeric_limits<Coord>::min();
constexpr int64_t kCoordMax = std::numeric_limits<Coord>::max();

Coord clamp_coord(int64_t v) {
    return static_cast<Coord>(std::clamp(v, kCoordMin, kCoordMax));
}

int clamp_int(int64_t v) {
    return static_cast<int>(std::clamp<int64_t>(v, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

// A point of the view in 1/256 pixel (for arcs, whose centre and radius keep their fractions).
int64_t col256(const View& v, Coord x) {
    return ((int64_t{view_x(v, x)} * int64_t{v.scale}) >> 24) - int64_t{v.origin_x} * kSubPixel;
}

int64_t row256(const View& v, Coord y) {
    return (int64_t{v.drawing_height} - 1) * kSubPixel -
           (((int64_t{y} * int64_t{v.scale}) >> 24) - int64_t{v.origin_y} * kSubPixel);
}

ArcPx arc_at(const View& v, Coord x0, Coord y0, int64_t radius) {
    ArcPx a;
    a.col = col256(v, x0);
    a.row = row256(v, y0);
    a.mirror = v.mirror;
    a.radius = static_cast<int64_t>((static_cast<uint64_t>(std::min<int64_t>(radius, kCoordMax)) * v.scale) >> 24);
    return a;
}

// Whether the box of two points grown by `grow` pixels misses the clip rectangle.
bool misses(const Raster& r, int64_t r1, int64_t c1, int64_t r2, int64_t c2, int64_t grow) {
    const Rect& c = r.clip;
    return std::max(r1, r2) + grow < c.top || std::min(r1, r2) - grow > c.bottom || std::max(c1, c2) + grow < c.left ||
           std::min(c1, c2) - grow > c.right;
}

} // namespace

int wide_line_units(const View& v, Raster& r, uint32_t pixel, uint32_t width, Coord x1, Coord y1, Coord x2, Coord y2) {
    if (!r.can_draw()) {
        return 0;
    }
    uint32_t wpx = length_to_pixels(v, width);
    int c1 = screen_col(v, x1), r1 = screen_row(v, y1), c2 = screen_col(v, x2), r2 = screen_row(v, y2);
    if (misses(r, r1, c1, r2, c2, wpx / 2 + 1)) {
        return 0;
    }
    return thick_line(r, pixel, static_cast<int>(std::min<uint32_t>(wpx, 1u << 20)), r1, c1, r2, c2);
}

int outlined_line_units(const View& v, Raster& r, uint32_t pixel, uint32_t width, Coord x1, Coord y1, Coord x2,
                        Coord y2) {
    if (!r.can_draw()) {
        return 0;
    }
    uint32_t wpx = length_to_pixels(v, width);
    int c1 = screen_col(v, x1), r1 = screen_row(v, y1), c2 = screen_col(v, x2), r2 = screen_row(v, y2);
    if (misses(r, r1, c1, r2, c2, wpx / 2 + 1)) {
        return 0;
    }
    if (wpx < 2) {
        // The outline of a hairline is the line itself.
        return thick_line(r, pixel, 1, r1, c1, r2, c2);
    }
    int64_t half = width / 2;
    if (x1 == x2 && y1 == y2) {
        ArcPx a = arc_at(v, x1, y1, half);
        return solid_arc(r, pixel, 1, a);
    }
    Angle theta = atan2_16(int64_t{y2} - y1, int64_t{x2} - x1);
    int64_t nx = mul16(-int64_t{sin16(theta)}, half), ny = mul16(cos16(theta), half);
    int drew = 0;
    for (int side : {1, -1}) {
        Coord ax = clamp_coord(x1 + side * nx), ay = clamp_coord(y1 + side * ny);
        Coord bx = clamp_coord(x2 + side * nx), by = clamp_coord(y2 + side * ny);
        drew |= thick_line(r, pixel, 1, screen_row(v, ay), screen_col(v, ax), screen_row(v, by), screen_col(v, bx));
    }
    ArcPx end = arc_at(v, x2, y2, half);
    end.start = static_cast<Angle>(theta - 16384);
    end.sweep = 32768;
    drew |= solid_arc(r, pixel, 1, end);
    ArcPx start = arc_at(v, x1, y1, half);
    start.start = static_cast<Angle>(theta + 16384);
    start.sweep = 32768;
    drew |= solid_arc(r, pixel, 1, start);
    return drew;
}

ItemPainter::ItemPainter(Display& d, Raster& r, const model::Document* doc) : d_(d), r_(r), v_(d.view) {
    const PixelFormat& f = d.format;
    background_ = d.slots.pixel[kSlotBackground];
    highlight_ = d.slots.pixel[kSlotHighlight];
    marker_ = d.slots.pixel[kSlotMarker];
    xor_outline_ = d.slots.pixel[kSlotXorOutline];
    if (doc != nullptr) {
        setup_ = &doc->setup;
        const model::Setup& s = *setup_;
        lines_ = s.mode_lines;
        pads_ = s.mode_pads;
        text_ = s.mode_text;
        refs_ = s.mode_refs;
        format_code_ = s.format_code;
        // The colours are the truth: pixels are taken from them for this surface's format.
        background_ = colour_to_pixel(f, s.background & 0xFFFFFF);
        highlight_ = colour_to_pixel(f, s.highlight & 0xFFFFFF);
        marker_ = colour_to_pixel(f, s.attention & 0xFFFFFF);
        for (int i = 0; i < 256; ++i) {
            uint32_t c = s.layers[i].colour;
            layer_on_[i] = (c & model::kNoColour) == 0;
            layer_pixel_[i] = colour_to_pixel(f, c & 0xFFFFFF);
        }
    }
}

int ItemPainter::order_layer(const Node& n) {
    return is_thru_pad(n) ? 0 : n.layer;
}

ArcPx ItemPainter::arc_px(Coord x0, Coord y0, int64_t radius) const {
    return arc_at(v_, mx(x0), my(y0), radius);
}

bool ItemPainter::pixel_for(const Node& n, uint32_t& out) const {
    if (n.hidden() || setup_ == nullptr) {
        return false;
    }
    if (n.item_kind() == model::kComponent) {
        out = marker_; // only its hook point marker is drawn
        return true;
    }
    int layer = n.layer;
    if (!layer_on_[layer]) {
        // Through-hole pads of a layer that is off still show, in the pad master layer's colour.
        if (!is_thru_pad(n) || !layer_on_[0]) {
            return false;
        }
        layer = 0;
    }
    out = n.marked() ? highlight_ : layer_pixel_[layer];
    return true;
}

int ItemPainter::item(Ref r, const Node& n, uint32_t pixel, int shows_text) {
    switch (n.item_kind()) {
    case model::kLine:
        return n.size == 0 ? solid(n, pixel) : line(n, pixel);
    case model::kArc:
        return arc(n, pixel);
    case model::kPad: {
        PadShape p{
            n.pad.x0, n.pad.y0, n.pad.width, n.pad.height, n.pad.hole, n.pad.angle, static_cast<uint8_t>(n.size & 7),
            r};
        return pad(p, pixel);
    }
    case model::kText:
        return text(r, n, pixel, shows_text);
    case model::kComponent:
        return hook_point(r);
    default:
        return 0;
    }
}

int ItemPainter::polyline(const std::vector<PixelPoint>& pts, uint32_t pixel, bool closed) {
    return display::polyline(r_, pixel, 1, pts, closed);
}

int ItemPainter::marker(Coord x, Coord y) {
    constexpr Coord h = kMarkerSize / 2;
    Coord x0 = mx(x), y0 = my(y);
    int drew =
        wide_line_units(v_, r_, marker_, kMarkerStroke, clamp_coord(int64_t{x0} - h), clamp_coord(int64_t{y0} - h),
                        clamp_coord(int64_t{x0} + h), clamp_coord(int64_t{y0} + h));
    drew |= wide_line_units(v_, r_, marker_, kMarkerStroke, clamp_coord(int64_t{x0} - h), clamp_coord(int64_t{y0} + h),
                            clamp_coord(int64_t{x0} + h), clamp_coord(int64_t{y0} - h));
    return drew;
}

int ItemPainter::hook_point(Ref component) {
    if ((refs_ & kRefsHookPoints) == 0) {
        return 0;
    }
    Ref head = model::node(component).link;
    if (head == model::kNone) {
        return 0;
    }
    const Node& h = model::node(head);
    return marker(h.box.x1, h.box.y1);
}

int ItemPainter::thin(int64_t r1, int64_t c1, int64_t r2, int64_t c2, uint32_t pixel) {
    return thick_line(r_, pixel, 1, clamp_int(r1), clamp_int(c1), clamp_int(r2), clamp_int(c2));
}

int ItemPainter::line(const Node& n, uint32_t pixel) {
    const model::LineFields& l = n.line;
    // Under two pixels wide every mode draws the centre line; most Items of a board seen whole are such.
    if (((uint64_t{n.size} * v_.scale) >> 32) < 2 && (refs_ & kRefsTrackVertices) == 0 &&
        (lines_ & kLinesSignalNames) == 0) {
        return thin(row(l.y1), col(l.x1), row(l.y2), col(l.x2), pixel);
    }
    Coord x1 = mx(l.x1), y1 = my(l.y1), x2 = mx(l.x2), y2 = my(l.y2);
    uint32_t w = n.size;
    uint32_t wpx = length_to_pixels(v_, w);
    int64_t c1 = col(l.x1), r1 = row(l.y1), c2 = col(l.x2), r2 = row(l.y2);
    // Markers reach 1638 units beyond the ends; the rest stays within half the width.
    if (misses(r_, r1, c1, r2, c2, std::max<int64_t>(wpx / 2, length_to_pixels(v_, kMarkerSize)) + 2)) {
        return 0;
    }
    int mode = lines_ & kModeMask;
    bool xor_outline = is_xor_outline(pixel);
    if (xor_outline) {
        mode = 1;
    }
    int drew = 0;
    switch (mode) {
    case 0:
        drew = thin(r1, c1, r2, c2, pixel);
        break;
    case 1:
        drew = outlined_line_units(v_, r_, pixel, w, x1, y1, x2, y2);
        break;
    case 2: {
        drew = outlined_line_units(v_, r_, pixel, w, x1, y1, x2, y2);
        int64_t step = std::max<Coord>(1, pixels_to_length(v_, 4));
        for (int64_t wi = int64_t{w} - step; wi > 0; wi -= step) {
            drew |= outlined_line_units(v_, r_, pixel, static_cast<uint32_t>(wi), x1, y1, x2, y2);
        }
        break;
    }
    default:
        drew = wide_line_units(v_, r_, pixel, w, x1, y1, x2, y2);
        break;
    }
    if (xor_outline) {
        return drew;
    }
    if (n.marked() && wpx >= 2) {
        drew |= wide_line_units(v_, r_, layer_pixel_[n.layer], w / 8, x1, y1, x2, y2);
    }
    if ((refs_ & kRefsTrackVertices) != 0 && setup_->layers[n.layer].kind() == model::kLayerCopper) {
        drew |= marker(l.x1, l.y1);
        drew |= marker(l.x2, l.y2);
    }
    if ((lines_ & kLinesSignalNames) != 0 && model::is_signal_record(n.link)) {
        drew |= track_names(n, pixel, wpx);
    }
    return drew;
}

int ItemPainter::track_names(const Node& n, uint32_t pixel, uint32_t width_px) {
    uint32_t scale = v_.scale;
    if (scale <= 0xFFFFFF || (width_px < 8 && scale < 0x80000000u) || pixel_mode(pixel) != PixelMode::Store) {
        return 0;
    }
    std::string name = model::signal_name(n.link);
    if (name.empty()) {
        return 0;
    }
    int64_t w = n.size;
    int16_t step = static_cast<int16_t>(std::clamp<int64_t>((w + 1) / 8, 1, 4095));
    int64_t len_name = string_length(name, step);
    int64_t ddx = int64_t{n.line.x2} - n.line.x1, ddy = int64_t{n.line.y2} - n.line.y1;
    // The track's length, computed at a quarter scale so the squares stay in 64 bits.
    int64_t qx = ddx / 4, qy = ddy / 4;
    int64_t len = static_cast<int64_t>(isqrt64(static_cast<uint64_t>(qx * qx + qy * qy))) * 4;
    int64_t room = len - 2 * w;
    if (room < len_name) {
        return 0;
    }
    int64_t period = std::max<int64_t>(2 * len_name, pixels_to_length(v_, v_.area.width() / 4));
    period = std::max<int64_t>(period, 1);
    // Names read left to right (or upwards): a track pointing left is written from its other end.
    Angle theta = atan2_16(ddy, ddx);
    if (theta > 16384 && theta <= 49152) {
        theta = static_cast<Angle>(theta + 32768);
    }
    int64_t cx = (int64_t{mx(n.line.x1)} + mx(n.line.x2)) / 2, cy = (int64_t{my(n.line.y1)} + my(n.line.y2)) / 2;
    int64_t ux = cos16(theta), uy = sin16(theta);
    uint32_t ink = pixel ^ kXorInverse;
    int mode = (lines_ & kModeMask) == 3 ? 3 : 1;
    auto sink = StrokeFunction([&](const Stroke& s) {
        if (s.mode >= 2) {
            wide_line_units(v_, r_, ink, static_cast<uint32_t>(s.width), s.x1, s.y1, s.x2, s.y2);
        } else {
            thick_line(r_, ink, 1, screen_row(v_, s.y1), screen_col(v_, s.x1), screen_row(v_, s.y2),
                       screen_col(v_, s.x2));
        }
    });
    int drew = 0;
    for (int64_t k = 0;; ++k) {
        int64_t off = k * period;
        if (2 * off + len_name > room) {
            break;
        }
        for (int64_t sgn : {1, -1}) {
            int64_t px = cx + mul16(sgn * off, ux), py = cy + mul16(sgn * off, uy);
            drew |= draw_string(name, step, step - step / 8, clamp_coord(px), clamp_coord(py), theta,
                                static_cast<int32_t>(-len_name / 2), -3 * step, mode, sink) > 0;
            if (k == 0) {
                break;
            }
        }
    }
    return drew;
}

int ItemPainter::solid(const Node& n, uint32_t pixel) {
    // Its box (X1..Y2) bounds the vertices.
    int64_t c1 = col(n.line.x1), r1 = row(n.line.y1), c2 = col(n.line.x2), r2 = row(n.line.y2);
    if (misses(r_, r1, c1, r2, c2, 1)) {
        return 0;
    }
    auto& pts = d_.points;
    pts.clear();
    // A vertex chain that loops back on itself cannot hold more Nodes than the pool has.
    uint64_t limit = model::g_pool->used_count() + 1;
    for (Ref vtx = n.link; vtx != model::kNone && pts.size() < limit; vtx = model::node(vtx).link) {
        const Node& vn = model::node(vtx);
        pts.push_back(PixelPoint{clamp_int(row(vn.line.y1)), clamp_int(col(vn.line.x1))});
    }
    if (pts.size() < 3) {
        return 0;
    }
    int mode = lines_ & kModeMask;
    if (is_xor_outline(pixel)) {
        return polyline(pts, pixel, true);
    }
    switch (mode) {
    case 3:
        return filled_polygon(r_, pixel, pts);
    case 2: {
        // Every other row of the Document's own pixel grid, so scrolling keeps the pattern still.
        int phase = static_cast<int>((int64_t{v_.drawing_height} - 1 + v_.origin_y) & 1);
        int drew = filled_polygon(r_, pixel, pts, true, phase);
        return drew | polyline(pts, pixel, true);
    }
    default:
        return polyline(pts, pixel, true);
    }
}

int ItemPainter::arc_outline(const Node& n, uint32_t pixel, int64_t width) {
    const model::ArcFields& a = n.arc;
    int64_t rad = abs64(a.radius), half = width / 2;
    int drew = 0;
    auto one = [&](int64_t radius, int64_t minor) {
        if (radius <= 0) {
            return;
        }
        ArcPx p = arc_px(a.x0, a.y0, radius);
        p.start = a.start;
        p.sweep = a.sweep;
        p.rotation = a.angle;
        if (a.ellipse != 0) {
            if (minor <= 0) {
                return;
            }
            p.ellipse = static_cast<uint16_t>(std::clamp<int64_t>((minor << 16) / radius, 1, 65535));
        }
        drew |= solid_arc(r_, pixel, 1, p);
    };
    int64_t minor = mul16(rad, a.ellipse);
    one(rad + half, minor + half);
    one(rad - half, minor - half);
    if (a.sweep != 0 && half > 0) {
        // Half circles close the two ends.
        Rotation rot = Rotation::of(a.angle);
        for (int end = 0; end < 2; ++end) {
            Angle an = static_cast<Angle>(end == 0 ? a.start : a.start + a.sweep);
            int64_t x = mul16(rad, cos16(an)), y = mul16(rad, sin16(an));
            if (a.ellipse != 0) {
                y = mul16(y, a.ellipse);
            }
            int64_t px = rot.x(x, y), py = rot.y(x, y);
            Angle radial = atan2_16(py, px);
            ArcPx cap = arc_px(clamp_coord(a.x0 + px), clamp_coord(a.y0 + py), half);
            cap.start = static_cast<Angle>(end == 0 ? radial + 32768 : radial);
            cap.sweep = 32768;
            drew |= solid_arc(r_, pixel, 1, cap);
        }
    }
    return drew;
}

int ItemPainter::arc(const Node& n, uint32_t pixel) {
    const model::ArcFields& a = n.arc;
    int64_t rad = abs64(a.radius);
    uint32_t w = n.size;
    uint32_t wpx = length_to_pixels(v_, w);
    int64_t c0 = col(a.x0), r0 = row(a.y0);
    int64_t reach = length_to_pixels(v_, static_cast<uint32_t>(std::min<int64_t>(rad, kCoordMax))) + wpx / 2 +
                    length_to_pixels(v_, kMarkerSize) + 2;
    if (misses(r_, r0, c0, r0, c0, reach)) {
        return 0;
    }
    int mode = lines_ & kModeMask;
    bool xor_outline = is_xor_outline(pixel);
    if (xor_outline) {
        mode = 1;
    }
    ArcPx p = arc_px(a.x0, a.y0, rad);
    p.start = a.start;
    p.sweep = a.sweep;
    p.ellipse = a.ellipse;
    p.rotation = a.angle;
    int drew = 0;
    switch (mode) {
    case 0:
        drew = solid_arc(r_, pixel, 1, p);
        break;
    case 1:
        drew = arc_outline(n, pixel, w);
        break;
    case 2: {
        drew = arc_outline(n, pixel, w);
        int64_t step = std::max<Coord>(1, pixels_to_length(v_, 4));
        for (int64_t wi = int64_t{w} - step; wi > 0; wi -= step) {
            drew |= arc_outline(n, pixel, wi);
        }
        break;
    }
    default:
        drew = solid_arc(r_, pixel, static_cast<int>(std::max<uint32_t>(wpx, 1)), p);
        break;
    }
    if (!xor_outline && (refs_ & kRefsArcCentres) != 0) {
        drew |= marker(a.x0, a.y0);
    }
    return drew;
}

int ItemPainter::pad(const PadShape& p, uint32_t pixel) {
    int64_t cx = col(p.x0), cy = row(p.y0);
    int64_t hw = length_to_pixels(v_, p.width / 2), hh = length_to_pixels(v_, p.height / 2);
    if (misses(r_, cy, cx, cy, cx, hw + hh + 2)) {
        return 0;
    }
    int mode = pads_ & kModeMask;
    bool xor_outline = is_xor_outline(pixel);
    if (xor_outline) {
        mode = 0;
    }
    int shape = p.type & 3;
    bool surface = p.type >= 4;
    int ccol = clamp_int(cx), crow = clamp_int(cy);
    bool labels = !xor_outline && p.item != model::kNone && (pads_ & (kPadsPinNumbers | kPadsSignalNames)) != 0;
    if (hw == 0 && hh == 0 && mode >= 2 && !labels && (shape == 2 ? p.angle == 0 : p.width == p.height) &&
        (surface || mode == 3 || length_to_pixels(v_, p.hole / 2) == 0)) {
        // Under a pixel each way (and its hole too): one pixel, as the disc or rectangle would be.
        return put_pixel(r_, pixel, crow, ccol);
    }
    Rotation rot = p.angle == 0 ? Rotation{} : Rotation::of(p.angle);
    // The four corners of a rectangular pad, turned by its angle.
    auto corners = [&](std::vector<PixelPoint>& pts) {
        pts.clear();
        int64_t ax = p.width / 2, ay = p.height / 2;
        const int64_t sx[4] = {-ax, ax, ax, -ax}, sy[4] = {-ay, -ay, ay, ay};
        for (int i = 0; i < 4; ++i) {
            Coord x = clamp_coord(int64_t{p.x0} + rot.x(sx[i], sy[i])),
                  y = clamp_coord(int64_t{p.y0} + rot.y(sx[i], sy[i]));
            pts.push_back(PixelPoint{clamp_int(row(y)), clamp_int(col(x))});
        }
    };
    // The centres of an obround's end circles, along its long side.
    auto ends = [&](Coord& x1, Coord& y1, Coord& x2, Coord& y2) {
        int64_t d = (int64_t{std::max(p.width, p.height)} - std::min(p.width, p.height)) / 2;
        int64_t ex = p.width >= p.height ? rot.x(d, 0) : rot.x(0, d);
        int64_t ey = p.width >= p.height ? rot.y(d, 0) : rot.y(0, d);
        x1 = mx(clamp_coord(p.x0 - ex));
        y1 = my(clamp_coord(p.y0 - ey));
        x2 = mx(clamp_coord(p.x0 + ex));
        y2 = my(clamp_coord(p.y0 + ey));
    };
    int drew = 0;
    auto& pts = d_.points;
    if (mode >= 2) {
        if (shape == 2) {
            if (p.angle == 0) {
                drew = filled_rect(r_, pixel, clamp_int(cy - hh), clamp_int(cx - hw), clamp_int(cy + hh),
                                   clamp_int(cx + hw));
            } else {
                corners(pts);
                drew = filled_polygon(r_, pixel, pts);
            }
        } else if (p.width == p.height) {
            drew = disc(r_, pixel, static_cast<int>(2 * hw + 1), crow, ccol);
        } else {
            Coord x1, y1, x2, y2;
            ends(x1, y1, x2, y2);
            int64_t side = std::min(hw, hh);
            drew = thick_line(r_, pixel, static_cast<int>(2 * side + 1), screen_row(v_, y1), screen_col(v_, x1),
                              screen_row(v_, y2), screen_col(v_, x2));
        }
        if (!surface && mode == 2 && p.hole > 0) {
            int64_t hr = length_to_pixels(v_, p.hole / 2), m = std::min(hw, hh);
            if (hr >= m) {
                // A hole as large as the pad: the pad shows as a disc of the hole's size with a one-pixel rim.
                drew |= disc(r_, pixel, static_cast<int>(2 * hr + 1), crow, ccol);
                --hr;
            }
            if (pixel != background_ && m >= 2 && hr >= 0) {
                drew |= disc(r_, background_, static_cast<int>(2 * hr + 1), crow, ccol);
            }
        }
    } else {
        if (shape == 2) {
            corners(pts);
            drew = polyline(pts, pixel, true);
        } else if (p.width == p.height) {
            drew = ring(r_, pixel, static_cast<int>(hw), 1, crow, ccol);
        } else {
            Coord x1, y1, x2, y2;
            ends(x1, y1, x2, y2);
            drew = outlined_line_units(v_, r_, pixel, std::min(p.width, p.height), x1, y1, x2, y2);
        }
        if (mode == 1 && !surface && p.hole > 0) {
            drew |= ring(r_, pixel, static_cast<int>(length_to_pixels(v_, p.hole / 2)), 1, crow, ccol);
        }
    }
    if (labels) {
        drew |= pad_labels(p, model::node(p.item), pixel);
    }
    return drew;
}

int ItemPainter::pad_labels(const PadShape& p, const Node& n, uint32_t pixel) {
    bool pins = (pads_ & kPadsPinNumbers) != 0, names = (pads_ & kPadsSignalNames) != 0;
    if ((!pins && !names) || v_.scale < 0x7FFFFF || pixel == background_ || pixel_mode(pixel) != PixelMode::Store) {
        return 0;
    }
    int64_t step = pins && names ? 128 : names ? 256 : 512;
    if (p.type >= 4) {
        step = std::min<int64_t>({step, 256, std::min(p.width, p.height) / 4});
    }
    if (format_code_ == 'S') {
        step = 512;
    }
    if (step <= 0 || length_to_pixels(v_, static_cast<uint32_t>(3 * step)) < 3) {
        return 0;
    }
    std::string pin_text, sig_text;
    if (pins && n.pad.pin != 0) {
        pin_text = n.pad.pin < static_cast<uint32_t>(model::kPinNumberLimit) ? std::to_string(n.pad.pin)
                                                                             : model::pin_text(p.item);
    }
    if (names && model::is_signal_record(n.link)) {
        sig_text = model::signal_name(n.link);
    }
    if (pin_text.empty() && sig_text.empty()) {
        return 0;
    }
    uint32_t ink = pixel ^ kXorInverse;
    int mode = (pads_ & kModeMask) >= 2 ? 3 : 1;
    auto sink = StrokeFunction([&](const Stroke& s) {
        if (s.mode >= 2) {
            wide_line_units(v_, r_, ink, static_cast<uint32_t>(s.width), s.x1, s.y1, s.x2, s.y2);
        } else {
            thick_line(r_, ink, 1, screen_row(v_, s.y1), screen_col(v_, s.x1), screen_row(v_, s.y2),
                       screen_col(v_, s.x2));
        }
    });
    int16_t st = static_cast<int16_t>(step);
    int32_t sw = static_cast<int32_t>(step - step / 8);
    // Centred on the pad: half the length to the left, half a capital (3 steps) down.
    int32_t off_y = -3 * st;
    int drew = 0;
    Coord x = mx(p.x0), y = my(p.y0);
    if (!pin_text.empty()) {
        drew |= draw_string(pin_text, st, sw, x, y, 0, static_cast<int32_t>(-string_length(pin_text, st) / 2), off_y,
                            mode, sink) > 0;
        off_y -= 8 * st;
    }
    if (!sig_text.empty()) {
        drew |= draw_string(sig_text, st, sw, x, y, 0, static_cast<int32_t>(-string_length(sig_text, st) / 2), off_y,
                            mode, sink) > 0;
    }
    return drew;
}

bool ItemPainter::text_shows(Ref r, const Node& n) {
    if (n.link == model::kNone) {
        return false;
    }
    if (model::is_signal_record(n.link)) {
        return !model::signal_name(n.link).empty();
    }
    const unsigned char* b = model::node(n.link).bytes();
    bool reference = b[0] == '&' && b[1] != 0 && b[2] == 0;
    return reference ? !model::resolved_text(r).empty() : b[0] != 0;
}

// A text too small to read is drawn as one thin line along the bottom of its box, which needs only the
// Item's own fields: the anchor offsets, the stored length and line count, and the angle.  Working that
// out here spares the redraw the resolving of field references for every such text of a board seen
// whole.  Returns false when the text is not that small.
bool ItemPainter::tiny_text(const Node& n, uint32_t pixel, int& drew) {
    const model::TextFields& t = n.text;
    int64_t unit = n.size / 6;
    if (((static_cast<uint64_t>(6 * unit) * v_.scale) >> 32) >= 3) {
        return false;
    }
    int64_t len = t.length, step = len < 0 ? -unit : unit, sw = unit;
    const int64_t pen_x[4] = {0, -(len / 2), -len, 2 * step};
    const int64_t pen_y[4] = {0, -3 * sw, -6 * sw, 2 * sw};
    int64_t px = pen_x[t.anchor_font & 3], py = pen_y[(t.anchor_font >> 2) & 3];
    int further = t.lines > 1 ? t.lines - 1 : 0;
    int64_t a0 = px - step, a1 = px + len + 2 * step;
    int64_t b0 = py - sw - 9 * sw * further, b1 = py + 8 * sw;
    Rotation rot = t.angle == 0 ? Rotation{} : Rotation::of(t.angle);
    const int64_t along[4] = {a0, a1, a1, a0}, across[4] = {b0, b0, b1, b1};
    int64_t top = INT64_MAX, bottom = INT64_MIN, left = INT64_MAX, right = INT64_MIN;
    int64_t cr[2] = {0, 0}, cc[2] = {0, 0};
    for (int k = 0; k < 4; ++k) {
        Coord x = clamp_to_coord(t.x0 + rot.x(along[k], across[k]));
        Coord y = clamp_to_coord(t.y0 + rot.y(along[k], across[k]));
        int64_t c = col(x), rr = row(y);
        if (k < 2) {
            cr[k] = rr;
            cc[k] = c;
        }
        top = std::min(top, rr);
        bottom = std::max(bottom, rr);
        left = std::min(left, c);
        right = std::max(right, c);
    }
    const Rect& c = r_.clip;
    if (!(bottom < c.top || top > c.bottom || right < c.left || left > c.right)) {
        drew |= thin(cr[0], cc[0], cr[1], cc[1], pixel);
    }
    return true;
}

int ItemPainter::text(Ref r, const Node& n, uint32_t pixel, int shows_text) {
    int mode = text_ & kModeMask;
    if (is_xor_outline(pixel)) {
        mode = 1;
    }
    if (mode == 0 || n.size == 0) {
        return 0;
    }
    int drew = 0;
    if (shows_text == 0) {
        return 0;
    }
    if (shows_text > 0 && tiny_text(n, pixel, drew)) {
        return drew;
    }
    auto sink = StrokeFunction([&](const Stroke& s) {
        Coord x1 = mx(s.x1), y1 = my(s.y1), x2 = mx(s.x2), y2 = my(s.y2);
        uint32_t w = static_cast<uint32_t>(std::max(s.width, 0));
        switch (s.mode) {
        case 2:
            drew |= outlined_line_units(v_, r_, pixel, w, x1, y1, x2, y2);
            break;
        case 3:
            drew |= wide_line_units(v_, r_, pixel, w, x1, y1, x2, y2);
            break;
        default:
            drew |= thick_line(r_, pixel, 1, screen_row(v_, y1), screen_col(v_, x1), screen_row(v_, y2),
                               screen_col(v_, x2));
            break;
        }
    });
    TextView tv;
    tv.write_back = text_write_back;
    tv.visible = [&](const TextBox& b) {
        int64_t top = INT64_MAX, bottom = INT64_MIN, left = INT64_MAX, right = INT64_MIN;
        for (int i = 0; i < 4; ++i) {
            int64_t c = col(b.x[i]), rr = row(b.y[i]);
            top = std::min(top, rr);
            bottom = std::max(bottom, rr);
            left = std::min(left, c);
            right = std::max(right, c);
        }
        const Rect& c = r_.clip;
        return !(bottom < c.top || top > c.bottom || right < c.left || left > c.right);
    };
    tv.pixels = [&](int64_t len) {
        return static_cast<int64_t>(
            length_to_pixels(v_, static_cast<uint32_t>(std::clamp<int64_t>(len, 0, kCoordMax))));
    };
    draw_text_item(r, mode, sink, tv);
    return drew;
}

namespace {

// Which pixel a single-Item draw uses.
enum class Ink {
    Own,        // the Item's own by the rules
    Marker,     // the marker colour, layers that are on
    Background, // the background colour (erasing), layers that are on
    Given,      // the pixel passed in, whatever the layer
};

// One Item, or a Component with its members, in the pixel `how` says.
int draw_one(Display& d, const model::Document& doc, Ref item, Ink how, uint32_t pixel, model::Coord dx,
             model::Coord dy) {
    SurfaceLock lock(d);
    if (d.buffer.base == nullptr || item == model::kNone) {
        return 0;
    }
    int drew = 0;
    Raster r(d.buffer, &d.work);
    for (const Rect& rect : draw_rects(d)) {
        r.set_clip(rect);
        ItemPainter p(d, r, &doc);
        p.dx = dx;
        p.dy = dy;
        auto one = [&](Ref x) {
            const Node& n = model::node(x);
            uint32_t px;
            switch (how) {
            case Ink::Own:
                if (p.pixel_for(n, px)) {
                    drew |= p.item(x, px);
                }
                break;
            case Ink::Marker:
            case Ink::Background:
                if (p.pixel_for(n, px)) {
                    drew |= p.item(x, how == Ink::Marker ? p.marker_pixel() : p.background());
                }
                break;
            case Ink::Given:
                drew |= p.item(x, pixel);
                break;
            }
        };
        const Node& n = model::node(item);
        if (n.item_kind() == model::kComponent) {
            one(item);
            if (n.link != model::kNone) {
                walk_visible(
                    n.link, [](const Node&) { return true; }, one);
            }
        } else {
            one(item);
        }
    }
    return drew;
}

} // namespace

int draw_item(Display& d, const model::Document& doc, Ref item) {
    return draw_one(d, doc, item, Ink::Own, 0, 0, 0);
}

int draw_item_marker(Display& d, const model::Document& doc, Ref item) {
    return draw_one(d, doc, item, Ink::Marker, 0, 0, 0);
}

int erase_item(Display& d, const model::Document& doc, Ref item) {
    return draw_one(d, doc, item, Ink::Background, 0, 0, 0);
}

int draw_item_as(Display& d, const model::Document& doc, Ref item, uint32_t pixel, model::Coord dx, model::Coord dy) {
    return draw_one(d, doc, item, Ink::Given, pixel, dx, dy);
}

} // namespace trazel::display
