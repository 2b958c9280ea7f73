// What is drawn over the picture: the XOR cross-hair and rubber bands, and the status bar.
#include <algorithm>
#include <tuple>

#include "display/bitmap_font.h"
#include "display/display.h"

namespace trazel::display {

namespace {

// The cursor figure is gathered as row intervals first and then XORed once per pixel, so crossings
// (the cross-hair's centre, a band edge on the cursor's row) neither cancel nor leave holes, and
// drawing the same figure again restores every pixel.
struct Figure {
    std::vector<std::tuple<int64_t, int64_t, int64_t>> runs; // row, first column, last column

    void add(int64_t row, int64_t a, int64_t b) {
        if (a > b) {
            std::swap(a, b);
        }
        runs.emplace_back(row, a, b);
    }
    void column(int64_t col, int64_t r1, int64_t r2) {
        for (int64_t r = std::min(r1, r2); r <= std::max(r1, r2); ++r) {
            add(r, col, col);
        }
    }
    void xor_into(Raster& r, uint32_t pixel) {
        std::sort(runs.begin(), runs.end());
        for (size_t i = 0; i < runs.size();) {
            auto [row, a, b] = runs[i];
            size_t j = i + 1;
            while (j < runs.size() && std::get<0>(runs[j]) == row && std::get<1>(runs[j]) <= b + 1) {
                b = std::max(b, std::get<2>(runs[j]));
                ++j;
            }
            if (row >= r.clip.top && row <= r.clip.bottom) {
                span_fill(r, pixel, static_cast<int>(row),
                          static_cast<int>(std::clamp<int64_t>(a, INT32_MIN, INT32_MAX)),
                          static_cast<int>(std::clamp<int64_t>(b, INT32_MIN, INT32_MAX)));
            }
            i = j;
        }
    }
};

// Dashes of 16 on and 16 off, one of them centred on the cursor.
bool dash_shows(int64_t pos, int64_t cursor) {
    return ((pos - cursor + 8) & 31) < 16;
}

void add_crosshair(Figure& f, const Rect& area, const Rect& clip, int64_t row, int64_t col, int angle_mode, bool thick,
                   bool dashed) {
    int64_t t = thick ? 1 : 0;
    int64_t top = std::max(area.top, clip.top), bottom = std::min(area.bottom, clip.bottom);
    if (angle_mode == 2 && !dashed) {
        // The two diagonals through the cursor, across the rows of the area.
        for (int64_t r = top; r <= bottom; ++r) {
            int64_t k = r - row;
            for (int64_t j = -t; j <= t; ++j) {
                for (int64_t c : {col + k + j, col - k + j}) {
                    if (c >= area.left && c <= area.right) {
                        f.add(r, c, c);
                    }
                }
            }
        }
        return;
    }
    for (int64_t r = row - t; r <= row + t; ++r) {
        if (r < top || r > bottom) {
            continue;
        }
        if (!dashed) {
            f.add(r, area.left, area.right);
            continue;
        }
        // Whole dashes: the first starts at the dash boundary at or left of the area's edge.
        int64_t start = area.left - ((area.left - col + 8) & 31);
        for (int64_t a = start; a <= area.right; a += 32) {
            f.add(r, std::max<int64_t>(a, area.left), std::min<int64_t>(a + 15, area.right));
        }
    }
    for (int64_t r = top; r <= bottom; ++r) {
        if (dashed && !dash_shows(r, row)) {
            continue;
        }
        f.add(r, col - t, col + t);
    }
}

void add_band(Figure& f, const Display& d, const Rect& clip, RubberBand kind, int64_t corner_row, int64_t corner_col,
              int64_t row, int64_t col) {
    const Rect& area = d.view.area;
    if (kind == RubberBand::Rectangle) {
        int64_t r1 = std::min(corner_row, row), r2 = std::max(corner_row, row);
        int64_t c1 = std::min(corner_col, col), c2 = std::max(corner_col, col);
        r1 = std::max<int64_t>(r1, clip.top - 1);
        r2 = std::min<int64_t>(r2, clip.bottom + 1);
        for (int64_t r = r1; r <= r2; ++r) {
            if (r == std::min(corner_row, row) || r == std::max(corner_row, row)) {
                f.add(r, c1, c2);
            } else {
                f.add(r, c1, c1);
                f.add(r, c2, c2);
            }
        }
    }
    add_crosshair(f, area, clip, row, col, 0, false, true);
}

void xor_figure(Display& d, Raster& r, int row, int col, int angle_mode, RubberBand band, int corner_row,
                int corner_col) {
    Figure f;
    if (band == RubberBand::None) {
        add_crosshair(f, d.view.area, r.clip, row, col, angle_mode, d.thick_crosshair, false);
    } else {
        add_band(f, d, r.clip, band, corner_row, corner_col, row, col);
    }
    f.xor_into(r, d.slots.pixel[kSlotXorOutline]);
}

bool lock_for(Display& d) {
    return d.buffer.base == nullptr && d.hooks.lock && d.hooks.lock(d);
}

void unlock_after(Display& d, bool locked) {
    if (locked && d.hooks.unlock) {
        d.hooks.unlock(d);
    }
}

} // namespace

void xor_crosshair(Display& d, Raster& r, int row, int col, int angle_mode) {
    xor_figure(d, r, row, col, angle_mode, d.drawn_band, d.drawn_band_row, d.drawn_band_col);
}

void xor_rubber_band(Display& d, Raster& r, RubberBand kind, int corner_row, int corner_col, int row, int col) {
    xor_figure(d, r, row, col, 0, kind, corner_row, corner_col);
}

void crosshair_on(Display& d) {
    if (d.crosshair_showing) {
        return;
    }
    bool locked = lock_for(d);
    d.crosshair_row = d.view.cursor_row;
    d.crosshair_col = d.view.cursor_col;
    d.crosshair_angle_mode = d.view.angle_mode;
    d.drawn_band = d.band;
    d.drawn_band_row = d.band_row;
    d.drawn_band_col = d.band_col;
    d.crosshair_showing = true;
    if (d.buffer.base != nullptr) {
        Raster r(d.buffer, &d.work);
        r.set_clip(d.view.area);
        xor_crosshair(d, r, d.crosshair_row, d.crosshair_col, d.crosshair_angle_mode);
    }
    unlock_after(d, locked);
}

void crosshair_off(Display& d) {
    if (!d.crosshair_showing) {
        return;
    }
    bool locked = lock_for(d);
    d.crosshair_showing = false;
    if (d.buffer.base != nullptr) {
        Raster r(d.buffer, &d.work);
        r.set_clip(d.view.area);
        xor_crosshair(d, r, d.crosshair_row, d.crosshair_col, d.crosshair_angle_mode);
    }
    unlock_after(d, locked);
}

void end_rubber_band(Display& d) {
    if (d.band == RubberBand::None) {
        return;
    }
    bool showing = d.crosshair_showing;
    crosshair_off(d);
    d.band = RubberBand::None;
    if (showing) {
        crosshair_on(d);
    }
}

void crosshair_refresh(Display& d) {
    crosshair_off(d);
    crosshair_on(d);
}

int bitmap_text(Raster& r, int row, int col, std::string_view text, uint32_t ink, uint32_t ground) {
    if (!r.can_draw()) {
        return 0;
    }
    const BitmapFont& font = status_font_bitmap();
    int drew = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        int64_t x0 = int64_t{col} + static_cast<int64_t>(i) * kBitmapCharWidth;
        if (x0 > r.clip.right) {
            break;
        }
        if (x0 + kBitmapCharWidth - 1 < r.clip.left) {
            continue;
        }
        uint8_t c = static_cast<uint8_t>(text[i]);
        for (int y = 0; y < kBitmapCharHeight; ++y) {
            uint8_t bits = bitmap_row(font, c, y);
            for (int x = 0; x < kBitmapCharWidth; ++x) {
                bool on = (bits & (0x80 >> x)) != 0;
                drew |= put_pixel(r, on ? ink : ground, row + y, static_cast<int>(x0 + x));
            }
        }
    }
    return drew;
}

int draw_status_bar(Display& d) {
    if (!d.status_bar || d.buffer.base == nullptr) {
        return 0;
    }
    const Rect& area = d.view.area;
    Rect bar{area.bottom + 1, area.left, area.bottom + kStatusBarRows, area.right};
    Raster r(d.buffer, &d.work);
    r.set_clip(bar);
    if (!r.can_draw()) {
        return 0;
    }
    const auto& px = d.slots.pixel;
    int top = bar.top;
    filled_rect(r, px[kSlotFace], bar.top, bar.left, bar.bottom, bar.right);
    span_fill(r, px[kSlotLight], top, bar.left, bar.right);
    span_fill(r, px[kSlotShadow], top + 2, bar.left, bar.right);
    // Raised separators: light, face, shadow.
    auto separator = [&](int at) {
        int c = area.left + at;
        column_fill(r, px[kSlotLight], c, top + 4, bar.bottom - 1);
        column_fill(r, px[kSlotShadow], c + 2, top + 4, bar.bottom - 1);
    };
    separator(kStatusSeparator1);
    if (d.status_readout_separator) {
        separator(kStatusSeparator2);
    }
    uint32_t ink = colour_to_pixel(d.format, d.status_ink & 0xFFFFFF);
    for (const StatusText& t : d.status) {
        bitmap_text(r, area.bottom + kStatusTextRow, area.left + t.col, t.text, ink, px[kSlotFace]);
    }
    return 1;
}

} // namespace trazel::display
