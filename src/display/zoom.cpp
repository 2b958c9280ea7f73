// The zoom functions: in, out, centre, to a rectangle, previous and a given scale.
#include <algorithm>
#include <cstdio>

#include "display/view.h"
#include "model/model.h"
#include "platform/platform.h"

namespace trazel::display {

namespace {

constexpr uint64_t kSqrt2Fraction = 0x6A09E668; // (sqrt 2 - 1) * 2^32
constexpr uint64_t kInvSqrt2 = 0xB504F334;      // 2^32 / sqrt 2
constexpr int kWindowMargin = 7;                // pixels kept free around a zoomed rectangle

struct ViewState {
    uint32_t scale;
    int32_t origin_x, origin_y;
};

ViewState state_of(const View& v) {
    return ViewState{v.scale, v.origin_x, v.origin_y};
}

// Records the view before the zoom as the previous one when the zoom changed it, and redraws.
int finish(View& v, const ViewState& before, bool save_previous) {
    bool changed = before.scale != v.scale || before.origin_x != v.origin_x || before.origin_y != v.origin_y;
    if (changed && save_previous) {
        v.previous.scale = before.scale;
        v.previous.origin_x = before.origin_x;
        v.previous.origin_y = before.origin_y;
        v.previous.valid = true;
    }
    if (v.hooks.redraw_full) {
        v.hooks.redraw_full();
    }
    return changed ? 1 : 0;
}

void beep() {
    platform::P().play(platform::Sound::Beep);
}

// Pixels per extent as a fraction of 2^32; the largest scale when the pixels cover the extent.
uint32_t fit(int64_t pixels, uint64_t extent) {
    uint64_t px = static_cast<uint64_t>(std::max<int64_t>(pixels, 0));
    if (px >= extent) {
        return kMaxScale;
    }
    return static_cast<uint32_t>((px << 32) / extent); // px < extent < 2^32
}

} // namespace

int zoom_in(View& v, bool trazel_mode) {
    ViewState before = state_of(v);
    if (v.scale == kMaxScale) {
        beep();
    } else {
        uint64_t s = v.scale + ((static_cast<uint64_t>(v.scale) * kSqrt2Fraction) >> 32);
        v.scale = static_cast<uint32_t>(std::min<uint64_t>(s, kMaxScale));
    }
    place_cursor_at(v, trazel_mode ? middle_col(v) : v.cursor_col, trazel_mode ? middle_row(v) : v.cursor_row);
    return finish(v, before, true);
}

int zoom_out(View& v, bool trazel_mode) {
    ViewState before = state_of(v);
    if (v.scale <= v.min_scale) {
        beep();
    } else {
        uint64_t s = (static_cast<uint64_t>(v.scale) * kInvSqrt2) >> 32;
        v.scale = static_cast<uint32_t>(std::max<uint64_t>(s, v.min_scale));
    }
    place_cursor_at(v, trazel_mode ? middle_col(v) : v.cursor_col, trazel_mode ? middle_row(v) : v.cursor_row);
    return finish(v, before, true);
}

int zoom_center(View& v) {
    ViewState before = state_of(v);
    place_cursor_at(v, middle_col(v), middle_row(v));
    if (v.hooks.enter_trazel_mode) {
        v.hooks.enter_trazel_mode();
    }
    return finish(v, before, true);
}

int zoom_to_rect(View& v, model::Point a, model::Point b, const Rect& clip, bool save_previous) {
    ViewState before = state_of(v);
    int64_t x1 = std::min(a.x, b.x), x2 = std::max(a.x, b.x);
    int64_t y1 = std::min(a.y, b.y), y2 = std::max(a.y, b.y);
    uint32_t sx = fit(int64_t{clip.width()} - 2 * kWindowMargin, static_cast<uint64_t>(x2 - x1));
    uint32_t sy = fit(int64_t{clip.height()} - 2 * kWindowMargin, static_cast<uint64_t>(y2 - y1));
    v.scale = std::max(std::min(sx, sy), kMinWindowScale);

    Coord old_x = v.cursor_x, old_y = v.cursor_y, old_rx = v.residue_x, old_ry = v.residue_y;
    v.cursor_x = static_cast<Coord>((x1 + x2) >> 1);
    v.cursor_y = static_cast<Coord>((y1 + y2) >> 1);
    place_cursor_at(v, middle_col(v), middle_row(v));
    snap_cursor(v);
    // A cursor that is still well inside the new view stays where the user left it.
    if (inside_margins(v, to_screen_x(v, old_x), to_screen_y(v, old_y))) {
        v.cursor_x = old_x;
        v.cursor_y = old_y;
        v.residue_x = old_rx;
        v.residue_y = old_ry;
        update_cursor_pixel(v);
    }
    return finish(v, before, save_previous);
}

int zoom_previous(View& v) {
    if (!v.previous.valid) {
        platform::P().play(platform::Sound::Error);
        return 0;
    }
    std::swap(v.scale, v.previous.scale);
    std::swap(v.origin_x, v.previous.origin_x);
    std::swap(v.origin_y, v.previous.origin_y);
    set_cursor_from_pixel(v, v.cursor_col, v.cursor_row);
    if (v.hooks.redraw_full) {
        v.hooks.redraw_full();
    }
    return 1;
}

int zoom_scale(View& v, uint32_t scale) {
    ViewState before = state_of(v);
    v.scale = std::max(scale, v.min_scale);
    place_cursor_at(v, middle_col(v), middle_row(v));
    snap_cursor(v);
    return finish(v, before, true);
}

int zoom_redraw(View& v) {
    v.single_layer = false;
    if (v.hooks.redraw_full) {
        v.hooks.redraw_full();
    }
    return 1;
}

int zoom_single_layer(View& v) {
    v.single_layer = true;
    if (v.hooks.redraw_layer) {
        v.hooks.redraw_layer();
    } else if (v.hooks.redraw_full) {
        v.hooks.redraw_full();
    }
    return 1;
}

std::string scale_to_dpi_text(uint32_t scale) {
    uint32_t whole = model::from_units(scale);
    uint32_t frac = static_cast<uint32_t>(model::round16((uint64_t{scale} & 0xFFFF) * 10000));
    if (frac == 10000) {
        ++whole;
        frac = 0;
    }
    char buf[24];
    std::snprintf(buf, sizeof buf, "%u.%04u", static_cast<unsigned>(whole), static_cast<unsigned>(frac));
    return buf;
}

int dpi_text_to_scale(std::string_view text, uint32_t min_scale, uint32_t& scale) {
    size_t i = 0, n = text.size();
    while (i < n && (text[i] == ' ' || text[i] == '\t')) {
        ++i;
    }
    uint64_t whole = 0, frac = 0, frac_div = 1;
    bool digits = false, saturated = false;
    for (; i < n && text[i] >= '0' && text[i] <= '9'; ++i) {
        digits = true;
        whole = whole * 10 + static_cast<uint64_t>(text[i] - '0');
        if (whole > 0xFFFF) {
            saturated = true;
            whole = 0x10000; // keeps the sum bounded; the result is the largest scale anyway
        }
    }
    if (i < n && text[i] == '.') {
        ++i;
        for (; i < n && text[i] >= '0' && text[i] <= '9'; ++i) {
            digits = true;
            if (frac_div < 1000000000) { // further digits are below the 16-bit fraction's reach
                frac = frac * 10 + static_cast<uint64_t>(text[i] - '0');
                frac_div *= 10;
            }
        }
    }
    while (i < n && (text[i] == ' ' || text[i] == '\t')) {
        ++i;
    }
    if (!digits || i != n) {
        return 0;
    }
    uint64_t value = (whole << 16) + (frac * 65536 + frac_div / 2) / frac_div;
    if (saturated || value > kMaxScale) {
        value = kMaxScale;
    }
    scale = static_cast<uint32_t>(std::max<uint64_t>(value, min_scale));
    return 1;
}

bool items_extents(model::Ref ring, model::Point& a, model::Point& b) {
    bool any = false;
    model::for_each_item(ring, [&](model::Ref r) {
        model::Coord x1, y1, x2, y2;
        if (model::node(r).hidden() || !model::item_box(r, x1, y1, x2, y2)) {
            return;
        }
        if (!any) {
            a = {x1, y1};
            b = {x2, y2};
            any = true;
        } else {
            a = {std::min(a.x, x1), std::min(a.y, y1)};
            b = {std::max(b.x, x2), std::max(b.y, y2)};
        }
    });
    return any;
}

} // namespace trazel::display
