// The page transform and the layer plot order shared by the vector and raster plots.
#include "cam/plot_page.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

#include "display/view.h"
#include "model/model.h"

namespace trazel::cam {

namespace {

int64_t pixels(int64_t inches16, int32_t dpi) {
    return (inches16 * dpi + 32768) >> 16;
}

// "8.5" as 16.16 inches; false for anything but digits with at most one point, up to 1000 inches.
bool parse_inches(const std::string& s, int64_t& v) {
    if (s.empty() || s.size() > 12 || s.find_first_not_of("0123456789.") != std::string::npos ||
        s.find('.') != s.rfind('.') || s == ".") {
        return false;
    }
    double d = std::strtod(s.c_str(), nullptr);
    if (!(d > 0) || d > 1000) {
        return false;
    }
    v = static_cast<int64_t>(d * 65536.0 + 0.5);
    return v > 0;
}

} // namespace

PlotDevice page_device(int64_t width, int64_t height, int64_t margin, int32_t dpi, bool landscape) {
    if (landscape) {
        std::swap(width, height);
    }
    dpi = std::max(dpi, 1);
    PlotDevice d;
    d.dpi_x = d.dpi_y = dpi;
    d.phys_w = std::max<int64_t>(pixels(width, dpi), 1);
    d.phys_h = std::max<int64_t>(pixels(height, dpi), 1);
    int64_t m = std::max<int64_t>(pixels(margin, dpi), 0);
    d.offset_x = std::min(m, (d.phys_w - 1) / 2);
    d.offset_y = std::min(m, (d.phys_h - 1) / 2);
    d.horz_res = d.phys_w - 2 * d.offset_x;
    d.vert_res = d.phys_h - 2 * d.offset_y;
    return d;
}

bool page_size(const std::string& name, int64_t& width, int64_t& height) {
    struct Named {
        const char* name;
        double w, h;
    };
    // ISO sizes from their millimetres, so A4 is 210 x 297 mm and not a rounded inch value.
    static constexpr Named kNamed[] = {{"letter", 8.5, 11},
                                       {"legal", 8.5, 14},
                                       {"a4", 210 / 25.4, 297 / 25.4},
                                       {"a3", 297 / 25.4, 420 / 25.4},
                                       {"ledger", 11, 17}};
    std::string lower;
    for (char c : name) {
        lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    for (const Named& n : kNamed) {
        if (lower == n.name) {
            width = static_cast<int64_t>(n.w * 65536.0 + 0.5);
            height = static_cast<int64_t>(n.h * 65536.0 + 0.5);
            return true;
        }
    }
    size_t x = lower.find('x');
    if (x == std::string::npos) {
        return false;
    }
    return parse_inches(lower.substr(0, x), width) && parse_inches(lower.substr(x + 1), height);
}

PlotSettings settings_from_setup(const model::Setup& s, const PlotDevice& device) {
    PlotSettings p;
    p.flags = plot_flags(s);
    p.scale = s.plot_scale;
    p.xmin = s.plot_xmin;
    p.ymin = s.plot_ymin;
    p.xmax = s.plot_xmax;
    p.ymax = s.plot_ymax;
    p.colour = s.plot_depth > 1 ? PlotColour::Planes : PlotColour::Mono;
    p.device = device;
    return p;
}

bool PageTransform::meets_window(Coord x1, Coord y1, Coord x2, Coord y2, int64_t grow) const {
    int64_t ax = page_x(x1 - grow), bx = page_x(x2 + grow);
    int64_t ay = page_y(y1 - grow), by = page_y(y2 + grow);
    return ax <= win_x2 && bx >= win_x1 && ay <= win_y2 && by >= win_y1;
}

PageTransform page_transform(const model::Document& doc, const PlotSettings& s) {
    PageTransform t;
    const PlotDevice& d = s.device;
    t.page_w = (d.horz_res << 16) / std::max(d.dpi_x, 1);
    t.page_h = (d.vert_res << 16) / std::max(d.dpi_y, 1);

    model::Box w;
    w.x1 = s.xmin;
    w.y1 = s.ymin;
    w.x2 = s.xmax;
    w.y2 = s.ymax;
    if ((s.flags & kPlotExtents) != 0 || w.x1 >= w.x2 || w.y1 >= w.y2) {
        t.extents = true;
        const model::Setup& su = doc.setup;
        model::Point a{su.ext_xmin, su.ext_ymin}, b{su.ext_xmax, su.ext_ymax};
        if (a.x >= b.x || a.y >= b.y) {
            if (!display::items_extents(doc.ring(), a, b)) {
                a = {0, 0};
                b = {model::kFixedOne, model::kFixedOne};
            }
        }
        w.x1 = a.x;
        w.y1 = a.y;
        w.x2 = b.x;
        w.y2 = b.y;
    }
    t.window = w;
    int64_t ww = std::max<int64_t>(w.x2 - w.x1, 1);
    int64_t wh = std::max<int64_t>(w.y2 - w.y1, 1);

    if ((s.flags & kPlotFit) != 0) {
        // Kept within 32767:1, so a scaled coordinate stays well inside 64 bits.
        t.scale = std::clamp<int64_t>(std::min((t.page_w << 16) / ww, (t.page_h << 16) / wh), 1, INT32_MAX);
    } else {
        t.scale = s.scale < kMinPlotScale ? model::kFixedOne : s.scale;
    }
    t.offset_x = t.scaled(w.x1);
    t.offset_y = t.scaled(w.y1);
    t.win_x1 = 0;
    t.win_y1 = 0;
    auto span = [&](int64_t w) { return w > INT64_MAX / t.scale ? INT64_MAX : (w * t.scale) >> 16; };
    t.win_x2 = std::min(span(ww), t.page_w);
    t.win_y2 = std::min(span(wh), t.page_h);
    if ((s.flags & kPlotCentre) != 0) {
        int64_t fx = (t.page_w - t.win_x2) / 2;
        int64_t fy = (t.page_h - t.win_y2) / 2;
        t.win_x1 += fx;
        t.win_x2 += fx;
        t.win_y1 += fy;
        t.win_y2 += fy;
        t.offset_x -= fx;
        t.offset_y -= fy;
    }
    return t;
}

bool layer_plotted(const model::LayerEntry& e) {
    return (e.plot & model::kNoColour) == 0 && (e.plot & 0xFFFFFF) != 0 && e.in_use();
}

std::array<int, 256> plot_slots(const model::Setup& s) {
    std::array<int, 256> slots;
    slots.fill(-1);
    for (int layer = 0; layer < 256; ++layer) {
        int slot = s.layers[static_cast<size_t>(layer)].sequence;
        // 256 layers for 256 slots: a free slot is always found.
        while (slots[static_cast<size_t>(slot)] >= 0) {
            slot = (slot + 1) & 255;
        }
        slots[static_cast<size_t>(slot)] = layer;
    }
    return slots;
}

int plot_layer(const model::Node& n) {
    if (n.item_kind() == model::kPad && (n.size & 7) < 4) {
        return 0;
    }
    return n.layer;
}

void items_by_layer(const model::Document& doc, const std::array<bool, 256>& wanted,
                    const std::function<bool(const model::Node&)>& enter, LayerItems& out) {
    for (auto& v : out) {
        v.clear();
    }
    model::walk_tree(doc.ring(), [&](model::Ref r, int) {
        const model::Node& n = model::node(r);
        if (n.hidden()) {
            return false;
        }
        uint8_t k = n.item_kind();
        if (k == model::kComponent || k == model::kDocument) {
            return !enter || enter(n);
        }
        int layer = plot_layer(n);
        if (wanted[static_cast<size_t>(layer)]) {
            out[static_cast<size_t>(layer)].push_back(r);
        }
        return true;
    });
}

bool for_each_plot_layer(const model::Document& doc, const std::function<bool(const model::Node&)>& enter,
                         platform::RunContext& run,
                         const std::function<bool(int layer, const std::vector<model::Ref>& items)>& each) {
    std::array<bool, 256> wanted{};
    for (int layer = 0; layer < 256; ++layer) {
        wanted[static_cast<size_t>(layer)] = layer_plotted(doc.setup.layers[static_cast<size_t>(layer)]);
    }
    LayerItems items;
    items_by_layer(doc, wanted, enter, items);
    std::array<int, 256> slots = plot_slots(doc.setup);
    for (int slot = 255; slot >= 0; --slot) {
        if (run.cancelled()) {
            return false;
        }
        run.progress("Plotting", slot_percent(slot));
        int layer = slots[static_cast<size_t>(slot)];
        if (layer >= 0 && wanted[static_cast<size_t>(layer)] && !each(layer, items[static_cast<size_t>(layer)])) {
            return false;
        }
    }
    return true;
}

bool track_omitted(const model::Node& n, const model::Setup& s, uint16_t flags) {
    if ((flags & kPlotNoTracks) == 0) {
        return false;
    }
    uint8_t k = n.item_kind();
    bool track = (k == model::kLine && n.size != 0) || k == model::kArc;
    return track && s.layers[n.layer].kind() == model::kLayerCopper;
}

} // namespace trazel::cam
