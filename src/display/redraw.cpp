// The redraw of the current Document in layer order, the single-Item draws, the pixel format of the
// surface and the start-screen picture.
#include <algorithm>
#include <bit>
#include <bitset>

#include "display/draw_items.h"
#include "display/draw_support.h"
#include "display/stroke_font.h"
#include "platform/platform.h"

namespace trazel::display {

namespace {

using model::Node;

// Scan codes of the keys that cancel a redraw (I and O: zoom in and out).
constexpr int kScanI = 23;
constexpr int kScanO = 24;

bool component_visible(const View& v, const Raster& r, const Node& c) {
    int64_t x1 = int64_t{c.box.x1} - kComponentMargin, x2 = int64_t{c.box.x2} + kComponentMargin;
    int64_t y1 = int64_t{c.box.y1} - kComponentMargin, y2 = int64_t{c.box.y2} + kComponentMargin;
    auto clampc = [](int64_t a) { return static_cast<model::Coord>(std::clamp<int64_t>(a, INT32_MIN, INT32_MAX)); };
    auto [c1, c2] = std::minmax({to_screen_x(v, clampc(x1)), to_screen_x(v, clampc(x2))}); // mirror view
    int r1 = to_screen_y(v, clampc(y2)), r2 = to_screen_y(v, clampc(y1));
    return !(r2 < r.clip.top || r1 > r.clip.bottom || c2 < r.clip.left || c1 > r.clip.right);
}

class Redraw {
  public:
    Redraw(Display& d, Raster& r, const model::Document& doc) : d_(d), r_(r), doc_(doc), p_(d, r, &doc) {
        // Peek for a cancel every 2^(leading zeros of the scale - 1) Items: more often when zoomed in.
        int z = std::countl_zero(d.view.scale);
        check_every_ = z <= 1 ? 1 : std::min<uint32_t>(128, 1u << std::min(z - 1, 7));
    }

    bool interrupted() const {
        return stop_;
    }

    void run(bool layer_only) {
        const model::Setup& s = p_.setup();
        collect();
        int cur = s.current_layer & 0xFF;
        bool cur_copper = s.layers[cur].kind() == model::kLayerCopper;
        if (!layer_only) {
            for (int layer = 255; layer >= 0 && !stop_; --layer) {
                if (!needs_pass(layer)) {
                    continue; // no Items: straight on to the next layer that has some
                }
                if (!s.layers[layer].in_use() || !p_.layer_on(layer) || layer == cur || (layer == 0 && cur_copper)) {
                    continue;
                }
                pass(layer);
            }
        }
        if (!stop_ && s.layers[cur].in_use() && p_.layer_on(cur)) {
            pass(cur);
        }
        if (!stop_ && cur_copper) {
            // Pads on top of every layer: the pad master layer, then the surface pads.
            for (const ItemCopy& c : d_.layer_items[0]) {
                draw(c);
            }
            for (const ItemCopy& c : d_.surface_pads) {
                draw(c);
            }
            drawn_[0] = true;
            pads_on_top_ = true;
        }
        for (size_t i = 0; i < d_.hook_points.size() && !stop_; ++i) {
            tick(p_.hook_point(d_.hook_points[i]));
        }
        for (size_t i = 0; i < d_.marked_items.size() && !stop_; ++i) {
            const ItemCopy& c = d_.marked_items[i];
            int layer = ItemPainter::order_layer(c.node);
            bool shown = drawn_[layer] || (pads_on_top_ && c.node.item_kind() == model::kPad);
            uint32_t px;
            if (shown && p_.pixel_for(c.node, px)) {
                tick(p_.item(c.ref, c.node, px, c.shows_text));
            }
        }
    }

  private:
    void collect() {
        for (auto& v : d_.layer_items) {
            v.clear();
        }
        d_.surface_pads.clear();
        d_.marked_items.clear();
        d_.hook_points.clear();
        const View& v = d_.view;
        walk_visible(
            doc_.ring(), [&](const Node& c) { return component_visible(v, r_, c); },
            [&](Ref r) {
                const Node& n = model::node(r);
                uint8_t k = n.item_kind();
                if (k == model::kComponent) {
                    d_.hook_points.push_back(r);
                    return;
                }
                if (k < model::kLine || k > model::kText) {
                    return;
                }
                ItemCopy c{n, r, -1};
                if (k == model::kText) {
                    // Resolved now, while the Nodes round it are at hand.
                    c.shows_text = ItemPainter::text_shows(r, n) ? 1 : 0;
                }
                if (n.marked()) {
                    d_.marked_items.push_back(c);
                }
                d_.layer_items[ItemPainter::order_layer(n)].push_back(c);
                if (k == model::kPad && !ItemPainter::is_thru_pad(n)) {
                    d_.surface_pads.push_back(c);
                }
            });
    }

    bool derives(int layer) const {
        const model::Setup& s = p_.setup();
        uint8_t kind = s.layers[layer].kind();
        return (p_.pads_mode() & kPadsMaskPaste) != 0 && (kind == model::kLayerMask || kind == model::kLayerPaste);
    }

    bool needs_pass(int layer) const {
        return !d_.layer_items[layer].empty() || derives(layer);
    }

    void pass(int layer) {
        drawn_[layer] = true;
        for (const ItemCopy& c : d_.layer_items[layer]) {
            if (stop_) {
                return;
            }
            if (!c.node.marked()) {
                draw(c);
            }
        }
        if (derives(layer)) {
            derive(layer);
        }
    }

    void draw(const ItemCopy& c) {
        uint32_t px;
        if (p_.pixel_for(c.node, px)) {
            tick(p_.item(c.ref, c.node, px, c.shows_text));
        }
    }

    // The pads a mask or paste layer gets from the copper: mask openings grown by the mask swell for
    // through-hole pads of shape 1 or 2 and surface pads of the same side, paste shrunk for surface pads.
    void derive(int layer) {
        const model::Setup& s = p_.setup();
        bool mask = s.layers[layer].kind() == model::kLayerMask;
        uint8_t side = s.layers[layer].type & model::kLayerBottom;
        uint32_t px = p_.layer_pixel(layer);
        auto shape_of = [](const Node& n, int64_t delta) {
            PadShape p{n.pad.x0,
                       n.pad.y0,
                       static_cast<uint32_t>(std::max<int64_t>(0, int64_t{n.pad.width} + delta)),
                       static_cast<uint32_t>(std::max<int64_t>(0, int64_t{n.pad.height} + delta)),
                       0,
                       n.pad.angle,
                       static_cast<uint8_t>(4 + (n.size & 3)),
                       model::kNone};
            return p;
        };
        if (mask) {
            for (const ItemCopy& c : d_.layer_items[0]) {
                const Node& n = c.node;
                int shape = n.size & 7;
                if (ItemPainter::is_thru_pad(n) && (shape == 1 || shape == 2)) {
                    tick(p_.pad(shape_of(n, s.mask_increment), px));
                }
            }
        }
        for (const ItemCopy& c : d_.surface_pads) {
            if (stop_) {
                return;
            }
            const Node& n = c.node;
            const model::LayerEntry& home = s.layers[n.layer];
            if (home.kind() != model::kLayerCopper || (home.type & model::kLayerBottom) != side) {
                continue;
            }
            tick(p_.pad(shape_of(n, mask ? s.mask_increment : -int64_t{s.paste_decrement}), px));
        }
    }

    void tick(int drew) {
        (void)drew;
        ++d_.items_drawn;
        if (++since_check_ < check_every_) {
            return;
        }
        since_check_ = 0;
        platform::WaitingInput w = platform::P().peek_input();
        bool key = w.key_scan == kScanI || w.key_scan == kScanO;
        bool release =
            (w.left_release || w.right_release) && d_.hooks.zoom_press_timing && d_.hooks.zoom_press_timing();
        if (key || release) {
            stop_ = true;
        }
    }

    Display& d_;
    Raster& r_;
    const model::Document& doc_;
    ItemPainter p_;
    std::bitset<256> drawn_;
    bool pads_on_top_ = false;
    bool stop_ = false;
    uint32_t check_every_ = 128, since_check_ = 0;
};

// The start screen: Lines and Texts in thousandths of an inch on a 6 by 4 inch card.
struct StartLine {
    int width, x1, y1, x2, y2;
    uint32_t colour;
};
struct StartText {
    int height, x, y;
    const char* text;
    uint32_t colour;
};
constexpr StartLine kStartLines[] = {
    {40, 0, 0, 6000, 0, 0xFFFFFF},           {40, 6000, 0, 6000, 4000, 0xFFFFFF},
    {40, 6000, 4000, 0, 4000, 0xFFFFFF},     {40, 0, 4000, 0, 0, 0xFFFFFF},
    {60, 500, 800, 1500, 800, 0xFFFF00},     {60, 1500, 800, 2000, 1300, 0xFFFF00},
    {60, 2000, 1300, 4000, 1300, 0xFFFF00},  {60, 4000, 1300, 4500, 800, 0xFFFF00},
    {60, 4500, 800, 5500, 800, 0xFFFF00},    {120, 500, 800, 500, 800, 0x00FF00},
    {120, 5500, 800, 5500, 800, 0x00FF00},   {120, 2000, 1300, 2000, 1300, 0x00FF00},
    {120, 4000, 1300, 4000, 1300, 0x00FF00},
};
constexpr StartText kStartTexts[] = {
    {900, 900, 2400, "TRAZEL", 0xFFFFFF},
    {240, 1000, 1900, "Schematics and circuit boards", 0x00FFFF},
    {200, 2500, 300, "Open a file to begin", 0xC0C0C0},
};

} // namespace

void set_pixel_format(Display& d, const PixelFormat& f, model::Model* models) {
    d.format = f;
    d.palette = build_palette(f.palette_layout);
    convert_slots(d.slots, f);
    if (models == nullptr) {
        return;
    }
    model::Model& m = *models;
    m.to_pixel = [f](uint32_t c) { return colour_to_pixel(f, c); };
    for (auto& doc : m.docs) {
        model::Setup& s = doc->setup;
        for (auto& e : s.layers) {
            e.pixel = colour_to_pixel(f, e.colour);
        }
        s.grid_pixel = colour_to_pixel(f, s.grid_colour);
        s.background_pixel = colour_to_pixel(f, s.background);
        s.highlight_pixel = colour_to_pixel(f, s.highlight);
        s.attention_pixel = colour_to_pixel(f, s.attention);
    }
}

void set_surface(Display& d, const PixelBuffer& b, int status_rows) {
    d.buffer = b;
    int rows = std::max(0, b.height - std::max(0, status_rows));
    d.view.area = Rect{0, 0, rows - 1, b.width - 1};
    d.view.drawing_height = rows;
}

int draw_start_picture(Display& d, Raster& r) {
    // Fit the 6 by 4 inch card into the drawing area with a margin, on a view of its own.
    View v = d.view;
    v.mirror = false; // the card reads the right way round
    int64_t w = std::max(1, v.area.width() - 40), h = std::max(1, v.area.height() - 40);
    uint64_t sx = (static_cast<uint64_t>(w) << 32) / static_cast<uint64_t>(model::mils_to_units(6000));
    uint64_t sy = (static_cast<uint64_t>(h) << 32) / static_cast<uint64_t>(model::mils_to_units(4000));
    v.scale = static_cast<uint32_t>(std::clamp<uint64_t>(std::min(sx, sy), 256, 0xFFFFFFFF));
    v.origin_x = static_cast<int32_t>(scale_units(model::mils_to_units(3000), v.scale) - middle_col(v));
    v.origin_y =
        static_cast<int32_t>(scale_units(model::mils_to_units(2000), v.scale) - (v.drawing_height - 1) + middle_row(v));
    int drew = 0;
    for (const StartLine& l : kStartLines) {
        drew |= wide_line_units(v, r, colour_to_pixel(d.format, l.colour),
                                static_cast<uint32_t>(model::mils_to_units(l.width)), model::mils_to_units(l.x1),
                                model::mils_to_units(l.y1), model::mils_to_units(l.x2), model::mils_to_units(l.y2));
    }
    for (const StartText& t : kStartTexts) {
        uint32_t px = colour_to_pixel(d.format, t.colour);
        int16_t step = static_cast<int16_t>(model::mils_to_units(t.height) / 6);
        auto sink = StrokeFunction([&](const Stroke& s) {
            drew |= wide_line_units(v, r, px, static_cast<uint32_t>(s.width), s.x1, s.y1, s.x2, s.y2);
        });
        draw_string(t.text, step, step - step / 8, model::mils_to_units(t.x), model::mils_to_units(t.y), 0, 0, 0, 3,
                    sink);
    }
    return drew;
}

int redraw(Display& d, const model::Document* doc, bool full, bool layer_only) {
    SurfaceLock lock(d);
    d.interrupted = false;
    d.items_drawn = 0;
    if (d.buffer.base == nullptr) {
        return 0;
    }
    bool has_doc = doc != nullptr;
    std::vector<Rect> rects = draw_rects(d);
    Raster r(d.buffer, &d.work);
    int drew = 0;
    for (const Rect& rect : rects) {
        r.set_clip(rect);
        if (!r.can_draw()) {
            continue;
        }
        ItemPainter colours(d, r, doc);
        if (full) {
            drew |= filled_rect(r, colours.background(), r.clip.top, r.clip.left, r.clip.bottom, r.clip.right);
            if (has_doc && d.hooks.draw_image) {
                d.hooks.draw_image(d, r);
            }
            if (has_doc) {
                uint32_t grid = colour_to_pixel(d.format, doc->setup.grid_colour & 0xFFFFFF);
                for_each_grid_dot(d.view, r.clip, [&](int row, int col) { put_pixel(r, grid, row, col); });
            }
        }
        if (!has_doc) {
            drew |= draw_start_picture(d, r);
            continue;
        }
        Redraw job(d, r, *doc);
        job.run(layer_only || d.view.single_layer);
        if (job.interrupted()) {
            d.interrupted = true;
            break;
        }
        if (d.hooks.draw_held) {
            d.hooks.draw_held(d, r);
        }
        drew = 1;
    }
    if (full && !d.interrupted) {
        draw_status_bar(d);
    }
    if (d.crosshair_showing) {
        // The rectangles were drawn over: put the cross-hair back into them only.
        for (const Rect& rect : rects) {
            r.set_clip(rect);
            xor_crosshair(d, r, d.crosshair_row, d.crosshair_col, d.crosshair_angle_mode);
        }
    }
    return d.interrupted ? 0 : drew;
}

} // namespace trazel::display
