// The raster plots: bands of the page window from the Item rasterizer, sent as PCL raster rows, a BMP file
// or one PWG raster page.
#include "cam/raster_plot.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>

#include "cam/postscript.h"
#include "display/display.h"
#include "display/draw_items.h"
#include "model/hit_test.h"
#include "model/model.h"
#include "platform/print.h"

namespace trazel::cam {

namespace {

using model::Node;
using model::Ref;

// Pixels of a length of page inches (16.16) at `dpi`, rounded to nearest.
int64_t inch_pixels(int64_t inches, int dpi) {
    return (inches * dpi + 32768) >> 16;
}

} // namespace

// --- PCL pieces ----------------------------------------------------------------------------------

void pack_row(const uint8_t* row, size_t n, std::string& out) {
    while (n > 0 && row[n - 1] == 0) {
        --n;
    }
    size_t lit = 0; // start of the pending literal bytes
    auto flush_literal = [&](size_t end) {
        while (lit < end) {
            size_t k = std::min<size_t>(128, end - lit);
            out.push_back(static_cast<char>(k - 1));
            out.append(reinterpret_cast<const char*>(row + lit), k);
            lit += k;
        }
    };
    size_t i = 0;
    while (i < n) {
        size_t run = 1;
        while (i + run < n && run < 128 && row[i + run] == row[i]) {
            ++run;
        }
        if (run >= 3) {
            flush_literal(i);
            out.push_back(static_cast<char>(257 - run));
            out.push_back(static_cast<char>(row[i]));
            i += run;
            lit = i;
        } else {
            i += run;
        }
    }
    flush_literal(n);
}

void plane_bits(const uint8_t* bgr, int width, InkPlane plane, uint8_t* out) {
    int bytes = (width + 7) / 8;
    std::memset(out, 0, static_cast<size_t>(bytes));
    for (int x = 0; x < width; ++x) {
        const uint8_t* p = bgr + 3 * static_cast<size_t>(x);
        bool ink = false;
        switch (plane) {
        case InkPlane::Mono:
            ink = p[0] != 255 || p[1] != 255 || p[2] != 255;
            break;
        case InkPlane::Cyan:
            ink = p[2] < 128;
            break;
        case InkPlane::Magenta:
            ink = p[1] < 128;
            break;
        case InkPlane::Yellow:
            ink = p[0] < 128;
            break;
        }
        if (ink) {
            out[x >> 3] = static_cast<uint8_t>(out[x >> 3] | (0x80 >> (x & 7)));
        }
    }
}

// --- The page window in pixels -------------------------------------------------------------------

RasterFrame raster_frame(const PageTransform& t, const PlotDevice& device) {
    RasterFrame f;
    f.dpi = std::clamp<int>(device.dpi_x, 1, 9600);
    int64_t x1 = inch_pixels(t.win_x1, f.dpi), x2 = inch_pixels(t.win_x2, f.dpi);
    int64_t y1 = inch_pixels(t.win_y1, f.dpi), y2 = inch_pixels(t.win_y2, f.dpi);
    int64_t page_h = inch_pixels(t.page_h, f.dpi);
    // A window under a pixel still makes a page of one pixel, so every output stays a valid picture.
    f.width = static_cast<int>(std::clamp<int64_t>(x2 - x1, 1, 1 << 20));
    f.height = static_cast<int>(std::clamp<int64_t>(y2 - y1, 1, 1 << 20));
    f.left = static_cast<int>(std::clamp<int64_t>(x1, 0, 1 << 20));
    f.top = static_cast<int>(std::clamp<int64_t>(page_h - y2, 0, 1 << 20));
    // screen x = x * scale * dpi / 2^32 - origin: the page inches times the resolution.
    uint64_t vs = static_cast<uint64_t>(std::max<int64_t>(t.scale, 1)) * static_cast<uint64_t>(f.dpi);
    f.view_scale = static_cast<uint32_t>(std::min<uint64_t>(vs, 0xFFFFFFFFu));
    f.origin_x = inch_pixels(t.offset_x + t.win_x1, f.dpi);
    f.origin_y = inch_pixels(t.offset_y + t.win_y1, f.dpi);
    return f;
}

// --- The banded renderer -------------------------------------------------------------------------

struct BandRenderer::Impl {
    model::Document doc; // a copy of the Document's setup drawn in the plot's modes and colours
    display::Display display;
    bool full_walk = false;
    // Plotted Items in drawing order: layer by layer from the highest plot slot, walk order within.
    std::vector<Ref> order;
    // Per band, the indexes into `order` of the Items that reach it.
    std::vector<std::vector<uint32_t>> bands;
    // Per Item of `order`, its first and last pixel row (unclipped).
    std::vector<std::pair<int32_t, int32_t>> rows;
};

namespace {

// The colour a layer plots in: the plot colour complemented unless colours are kept.
uint32_t paper_colour(uint32_t plot, bool keep) {
    uint32_t c = plot & 0xFFFFFF;
    return keep ? c : 0xFFFFFF - c;
}

} // namespace

BandRenderer::BandRenderer(const model::Document& doc, const PlotSettings& s, bool full_walk)
    : impl_(std::make_unique<Impl>()) {
    Impl& m = *impl_;
    m.full_walk = full_walk;
    PageTransform t = page_transform(doc, s);
    frame_ = raster_frame(t, s.device);

    m.doc.item = doc.item;
    m.doc.setup = doc.setup;
    model::Setup& su = m.doc.setup;
    bool keep = (s.flags & kPlotKeepColours) != 0;
    // Filled lines, arcs and text; filled pads with white holes unless they are left out; none of the
    // screen's marks (pin numbers, Signal names, hook points, vertex markers).
    su.mode_lines = 3;
    su.mode_pads = (s.flags & kPlotNoHoles) != 0 ? 3 : 2;
    su.mode_text = 3;
    su.mode_refs = 0;
    su.background = 0xFFFFFF;
    std::array<bool, 256> plotted{};
    for (int i = 0; i < 256; ++i) {
        plotted[i] = layer_plotted(su.layers[i]);
        su.layers[i].colour = plotted[i] ? paper_colour(su.layers[i].plot, keep) : model::kNoColour;
    }
    display::set_pixel_format(m.display, display::format_for_depth(24), nullptr);
    m.display.view.scale = frame_.view_scale;
    m.display.view.origin_x = static_cast<int32_t>(std::clamp<int64_t>(frame_.origin_x, INT32_MIN, INT32_MAX));
    m.display.view.origin_y = static_cast<int32_t>(std::clamp<int64_t>(frame_.origin_y, INT32_MIN, INT32_MAX));

    // The Items each layer plots, in walk order; Components are entered when near the page window.
    std::array<std::vector<Ref>, 256> layers;
    Ref ring = doc.ring();
    if (ring != model::kNone) {
        model::walk_tree(ring, [&](Ref r, int) {
            const Node& n = model::node(r);
            if (n.hidden()) {
                return false;
            }
            uint8_t k = n.item_kind();
            if (k == model::kComponent || k == model::kDocument) {
                return t.meets_window(n.box.x1, n.box.y1, n.box.x2, n.box.y2, display::kComponentMargin);
            }
            if (k < model::kLine || k > model::kText) {
                return false;
            }
            if ((k == model::kPad && pad_omitted(n, s.flags)) || track_omitted(n, doc.setup, s.flags)) {
                return false;
            }
            int layer = plot_layer(n);
            if (plotted[layer]) {
                layers[layer].push_back(r);
            }
            return false;
        });
    }
    std::array<int, 256> slots = plot_slots(su);
    for (int slot = 255; slot >= 0; --slot) {
        int layer = slots[slot];
        if (layer >= 0 && plotted[layer]) {
            m.order.insert(m.order.end(), layers[layer].begin(), layers[layer].end());
        }
    }
    // Rows each Item can touch: its hit box (which holds the whole drawn shape) in pixels, with a margin for
    // the rasterizer's rounding and its smallest figures.
    m.rows.reserve(m.order.size());
    const display::View& v = m.display.view;
    for (Ref r : m.order) {
        model::Box b;
        if (!model::hit_extent(model::node(r), b)) {
            m.rows.emplace_back(1, 0);
            continue;
        }
        auto row_of = [&](int64_t y) {
            int64_t yy = std::clamp<int64_t>(y, INT32_MIN, INT32_MAX);
            int64_t doubled = yy * int64_t{v.scale >> 1} * 2;
            return int64_t{frame_.height} - 1 - (((doubled + (int64_t{1} << 31)) >> 32) - v.origin_y);
        };
        int64_t top = row_of(b.y2) - 4, bottom = row_of(b.y1) + 4;
        m.rows.emplace_back(static_cast<int32_t>(std::clamp<int64_t>(top, -1, INT32_MAX)),
                            static_cast<int32_t>(std::clamp<int64_t>(bottom, -1, INT32_MAX)));
    }
    size_t row_bytes = std::max<size_t>(3 * static_cast<size_t>(std::max(frame_.width, 1)), 1);
    set_band_rows(static_cast<int>(std::max<size_t>(1, kBandBytes / row_bytes)));
}

BandRenderer::~BandRenderer() = default;

void BandRenderer::set_band_rows(int rows) {
    Impl& m = *impl_;
    band_rows_ = std::max(1, rows);
    int count = frame_.height <= 0 ? 0 : (frame_.height + band_rows_ - 1) / band_rows_;
    m.bands.assign(static_cast<size_t>(count), {});
    if (m.full_walk || count == 0) {
        return;
    }
    for (size_t i = 0; i < m.order.size(); ++i) {
        auto [top, bottom] = m.rows[i];
        if (bottom < 0 || top > bottom || top >= frame_.height) {
            continue;
        }
        int b1 = std::max(top, 0) / band_rows_, b2 = std::min(bottom, frame_.height - 1) / band_rows_;
        for (int b = b1; b <= b2; ++b) {
            m.bands[static_cast<size_t>(b)].push_back(static_cast<uint32_t>(i));
        }
    }
}

void BandRenderer::render(int top, int rows, uint8_t* bgr) {
    Impl& m = *impl_;
    size_t pitch = 3 * static_cast<size_t>(frame_.width);
    std::memset(bgr, 0xFF, pitch * static_cast<size_t>(std::max(rows, 0)));
    if (rows <= 0 || frame_.width <= 0) {
        return;
    }
    display::Display& d = m.display;
    display::PixelBuffer buf;
    buf.base = bgr;
    buf.pitch = static_cast<int>(pitch);
    buf.depth = 24;
    buf.width = frame_.width;
    buf.height = rows;
    d.buffer = buf;
    // This band's rows are the top of a drawing area reaching down to the page window's bottom.
    d.view.drawing_height = frame_.height - top;
    d.view.area = display::Rect{0, 0, rows - 1, frame_.width - 1};
    display::Raster r(buf, &d.work);
    display::ItemPainter painter(d, r, &m.doc);
    painter.text_write_back = false;
    auto draw = [&](Ref ref) {
        Node n = model::node(ref);
        n.kind = static_cast<uint8_t>(n.kind & ~model::kMarkFlag);
        painter.item(ref, n, painter.layer_pixel(plot_layer(n)));
    };
    if (m.full_walk) {
        for (Ref ref : m.order) {
            draw(ref);
        }
    } else {
        size_t band = static_cast<size_t>(top / band_rows_);
        if (band < m.bands.size()) {
            for (uint32_t i : m.bands[band]) {
                draw(m.order[i]);
            }
        }
    }
    d.buffer = display::PixelBuffer{};
}

// --- Writers -------------------------------------------------------------------------------------

namespace {

// Walks the bands of the page window top down (or bottom up), calling f(row, pixels) for every row.
template <class F> bool each_row(BandRenderer& br, platform::RunContext& run, bool bottom_up, F&& f) {
    const RasterFrame& fr = br.frame();
    int band_rows = br.band_rows();
    std::vector<uint8_t> band(3 * static_cast<size_t>(std::max(fr.width, 1)) * static_cast<size_t>(band_rows));
    int count = fr.height <= 0 ? 0 : (fr.height + band_rows - 1) / band_rows;
    size_t pitch = 3 * static_cast<size_t>(fr.width);
    for (int k = 0; k < count; ++k) {
        if (run.cancelled()) {
            return false;
        }
        int b = bottom_up ? count - 1 - k : k;
        int top = b * band_rows, rows = std::min(band_rows, fr.height - top);
        br.render(top, rows, band.data());
        for (int i = 0; i < rows; ++i) {
            int y = bottom_up ? rows - 1 - i : i;
            if (!f(top + y, band.data() + pitch * static_cast<size_t>(y))) {
                return false;
            }
        }
        run.progress("Plotting", (k + 1) * 100 / count);
    }
    return true;
}

bool finish(TextOut& out, platform::RunContext& run, bool ok) {
    if (!ok) {
        return false;
    }
    if (!out.flush() || out.failed) {
        run.report("The plot could not be written.");
        return false;
    }
    return true;
}

void put_le(std::string& s, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        s.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
    }
}

void put_be(std::string& s, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        s[at + static_cast<size_t>(i)] = static_cast<char>((v >> (24 - 8 * i)) & 0xFF);
    }
}

} // namespace

int write_pcl(const model::Document& doc, const PlotSettings& s, TextOut& out, platform::RunContext& run) {
    BandRenderer br(doc, s);
    const RasterFrame& fr = br.frame();
    bool planes = s.colour == PlotColour::Planes;
    const std::string esc = "\x1B";
    std::string head = esc + "E" + esc + "&l0O" + esc + "&l0E";
    head += esc + "*p" + std::to_string(int64_t{fr.left} * 300 / fr.dpi) + "X";
    head += esc + "*p" + std::to_string(int64_t{fr.top} * 300 / fr.dpi) + "Y";
    if (planes) {
        head += esc + "*r-3U";
    }
    head += esc + "*t" + std::to_string(fr.dpi) + "R" + esc + "*r1A" + esc + "*b2M";
    out.raw(head);

    std::vector<uint8_t> bits(static_cast<size_t>((fr.width + 7) / 8));
    std::string packed;
    auto send = [&](const char* select, InkPlane plane, char op, const uint8_t* row) {
        plane_bits(row, fr.width, plane, bits.data());
        packed.clear();
        pack_row(bits.data(), bits.size(), packed);
        char count[16];
        std::snprintf(count, sizeof count, "%04zu", packed.size());
        std::string rec = esc;
        if (select != nullptr) {
            rec += std::string("*v") + select + "S" + esc;
        }
        rec += std::string("*b") + count + op;
        out.raw(rec);
        out.raw(packed);
    };
    bool ok = each_row(br, run, false, [&](int, const uint8_t* row) {
        if (planes) {
            send("2", InkPlane::Cyan, 'V', row);
            send("4", InkPlane::Magenta, 'V', row);
            send("8", InkPlane::Yellow, 'W', row);
        } else {
            send(nullptr, InkPlane::Mono, 'W', row);
        }
        return !out.failed;
    });
    if (ok) {
        out.raw(esc + "*rB" + esc + "E");
    }
    return finish(out, run, ok) ? 1 : 0;
}

int write_bmp(const model::Document& doc, const PlotSettings& s, TextOut& out, platform::RunContext& run) {
    BandRenderer br(doc, s);
    const RasterFrame& fr = br.frame();
    bool mono = s.colour == PlotColour::Mono;
    uint64_t row_bytes = mono ? ((static_cast<uint64_t>(fr.width) + 31) / 32) * 4
                              : ((3 * static_cast<uint64_t>(fr.width) + 3) / 4) * 4;
    uint32_t header = 14 + 40 + (mono ? 8 : 0);
    uint64_t total = header + row_bytes * static_cast<uint64_t>(fr.height);
    if (fr.width <= 0 || fr.height <= 0 || total >= (uint64_t{1} << 31)) {
        run.report("The bitmap would be empty or larger than 2 GB.");
        return 0;
    }
    // Rows bottom up, as BMP readers expect by default.
    std::string h;
    h += "BM";
    put_le(h, static_cast<uint32_t>(total), 4);
    put_le(h, 0, 4);
    put_le(h, header, 4);
    put_le(h, 40, 4);
    put_le(h, static_cast<uint32_t>(fr.width), 4);
    put_le(h, static_cast<uint32_t>(fr.height), 4);
    put_le(h, 1, 2);
    put_le(h, mono ? 1 : 24, 2);
    put_le(h, 0, 4);
    put_le(h, static_cast<uint32_t>(row_bytes * static_cast<uint64_t>(fr.height)), 4);
    uint32_t ppm = static_cast<uint32_t>((static_cast<uint64_t>(fr.dpi) * 10000 + 127) / 254);
    put_le(h, ppm, 4);
    put_le(h, ppm, 4);
    put_le(h, mono ? 2 : 0, 4);
    put_le(h, 0, 4);
    if (mono) {
        put_le(h, 0xFFFFFF, 4); // index 0: paper
        put_le(h, 0x000000, 4); // index 1: ink
    }
    out.raw(h);
    std::string line(static_cast<size_t>(row_bytes), '\0');
    bool ok = each_row(br, run, true, [&](int, const uint8_t* row) {
        if (mono) {
            std::fill(line.begin(), line.end(), '\0');
            plane_bits(row, fr.width, InkPlane::Mono, reinterpret_cast<uint8_t*>(line.data()));
        } else {
            std::memcpy(line.data(), row, 3 * static_cast<size_t>(fr.width));
        }
        out.raw(line);
        return !out.failed;
    });
    return finish(out, run, ok) ? 1 : 0;
}

namespace {

// One PWG line of `pixels` pixels of `bpp` bytes: runs of equal pixels as repeats (up to 128), the rest
// as literal groups (up to 128 pixels).
void pwg_line(const uint8_t* p, size_t pixels, size_t bpp, std::string& out) {
    size_t i = 0;
    while (i < pixels) {
        size_t run = 1;
        while (i + run < pixels && run < 128 && std::memcmp(p + (i + run) * bpp, p + i * bpp, bpp) == 0) {
            ++run;
        }
        if (run >= 2) {
            out.push_back(static_cast<char>(run - 1));
            out.append(reinterpret_cast<const char*>(p + i * bpp), bpp);
            i += run;
            continue;
        }
        size_t start = i, n = 0;
        while (i < pixels && n < 128) {
            if (i + 1 < pixels && std::memcmp(p + (i + 1) * bpp, p + i * bpp, bpp) == 0) {
                break;
            }
            ++i;
            ++n;
        }
        out.push_back(static_cast<char>(257 - n));
        out.append(reinterpret_cast<const char*>(p + start * bpp), n * bpp);
    }
}

} // namespace

int write_pwg(const model::Document& doc, const PlotSettings& s, TextOut& out, platform::RunContext& run) {
    BandRenderer br(doc, s);
    const RasterFrame& fr = br.frame();
    const PlotDevice& dev = s.device;
    bool mono = s.colour == PlotColour::Mono;
    size_t bpp = mono ? 1 : 3;
    // The whole sheet: the page window sits at the printable area's corner plus its own place.
    int64_t sheet_w = std::clamp<int64_t>(dev.phys_w, 1, 1 << 20), sheet_h = std::clamp<int64_t>(dev.phys_h, 1, 1 << 20);
    int64_t at_x = dev.offset_x + fr.left, at_y = dev.offset_y + fr.top;
    std::string h(1796, '\0');
    std::memcpy(h.data(), "PwgRaster", 9);
    put_be(h, 276, static_cast<uint32_t>(fr.dpi));
    put_be(h, 280, static_cast<uint32_t>(fr.dpi));
    put_be(h, 340, 1); // copies
    put_be(h, 352, static_cast<uint32_t>(sheet_w * 72 / fr.dpi));
    put_be(h, 356, static_cast<uint32_t>(sheet_h * 72 / fr.dpi));
    put_be(h, 372, static_cast<uint32_t>(sheet_w));
    put_be(h, 376, static_cast<uint32_t>(sheet_h));
    put_be(h, 384, 8);
    put_be(h, 388, static_cast<uint32_t>(8 * bpp));
    put_be(h, 392, static_cast<uint32_t>(sheet_w * static_cast<int64_t>(bpp)));
    put_be(h, 400, mono ? 18 : 19); // sGray or sRGB
    put_be(h, 420, static_cast<uint32_t>(bpp));
    put_be(h, 452, 1); // total pages
    put_be(h, 456, 1); // cross-feed and feed transforms
    put_be(h, 460, 1);
    out.raw("RaS2");
    out.raw(h);

    std::vector<uint8_t> line(static_cast<size_t>(sheet_w) * bpp, 0xFF), last;
    std::string enc;
    int repeat = -1; // lines of `last` waiting, less one
    auto emit = [&]() {
        if (repeat < 0) {
            return;
        }
        enc.clear();
        enc.push_back(static_cast<char>(repeat));
        pwg_line(last.data(), static_cast<size_t>(sheet_w), bpp, enc);
        out.raw(enc);
        repeat = -1;
    };
    auto put_line = [&]() {
        if (repeat >= 0 && repeat < 255 && line == last) {
            ++repeat;
            return;
        }
        emit();
        last = line;
        repeat = 0;
    };
    auto blank = [&]() { std::fill(line.begin(), line.end(), 0xFF); };
    int64_t y = 0;
    auto white_to = [&](int64_t end) {
        blank();
        for (; y < end && y < sheet_h; ++y) {
            put_line();
        }
    };
    white_to(at_y);
    int64_t cols = std::clamp<int64_t>(sheet_w - at_x, 0, fr.width);
    bool ok = each_row(br, run, false, [&](int, const uint8_t* row) {
        if (y >= sheet_h) {
            return true;
        }
        blank();
        for (int64_t x = 0; x < cols; ++x) {
            const uint8_t* p = row + 3 * x;
            if (mono) {
                line[static_cast<size_t>(at_x + x)] = (p[0] & p[1] & p[2]) == 255 ? 255 : 0;
            } else {
                uint8_t* q = line.data() + 3 * static_cast<size_t>(at_x + x);
                q[0] = p[2];
                q[1] = p[1];
                q[2] = p[0];
            }
        }
        put_line();
        ++y;
        return !out.failed;
    });
    if (ok) {
        white_to(sheet_h);
        emit();
    }
    return finish(out, run, ok) ? 1 : 0;
}

// --- Printing ------------------------------------------------------------------------------------

bool queue_device(const std::string& queue, int dpi, bool landscape, PlotDevice& out, std::string& error) {
    platform::QueueMedia m;
    if (!platform::queue_media(queue, m, error)) {
        return false;
    }
    dpi = std::max(dpi, 1);
    // Hundredths of a millimetre to pixels.
    auto px = [dpi](int64_t v) { return std::max<int64_t>(v, 0) * dpi / 2540; };
    int64_t w = m.width, h = m.length, left = m.left, right = m.right, top = m.top, bottom = m.bottom;
    if (landscape) {
        // The sheet turned a quarter: its top edge comes to the left.
        std::swap(w, h);
        int64_t l = top, r = bottom, t = right, b = left;
        left = l, right = r, top = t, bottom = b;
    }
    PlotDevice d;
    d.dpi_x = d.dpi_y = dpi;
    d.phys_w = std::max<int64_t>(px(w), 1);
    d.phys_h = std::max<int64_t>(px(h), 1);
    d.offset_x = std::min(px(left), d.phys_w - 1);
    d.offset_y = std::min(px(top), d.phys_h - 1);
    d.horz_res = std::max<int64_t>(d.phys_w - d.offset_x - px(right), 1);
    d.vert_res = std::max<int64_t>(d.phys_h - d.offset_y - px(bottom), 1);
    out = d;
    return true;
}

int print_plot(const model::Document& doc, const PlotSettings& s, const std::string& queue,
               platform::RunContext& run, std::string& error) {
    const char* format = s.format == PlotFormat::PostScript ? platform::kFormatPostScript
                         : s.format == PlotFormat::Pcl      ? platform::kFormatRaw
                         : s.format == PlotFormat::Dib      ? platform::kFormatPwgRaster
                                                            : nullptr;
    if (format == nullptr) {
        error = "Only PostScript, PCL and DIB plots go to a printer.";
        return 0;
    }
    // The sheet in hundredths of a millimetre, its short side first as media sizes are named.
    int64_t w = s.device.phys_w * 2540 / std::max(s.device.dpi_x, 1);
    int64_t h = s.device.phys_h * 2540 / std::max(s.device.dpi_y, 1);
    platform::PrintJob job;
    std::string title = s.title.empty() ? std::string("Graphics Data") : s.title;
    if (!job.start(queue, title, format, static_cast<int>(std::min(w, h)), static_cast<int>(std::max(w, h)))) {
        error = job.error();
        return 0;
    }
    TextOut out;
    out.drain = [&job](std::string_view piece) { return job.write(piece); };
    int ok = 0;
    switch (s.format) {
    case PlotFormat::PostScript:
        ok = write_postscript(doc, s, [&job](std::string_view piece) { return job.write(piece); }, run);
        break;
    case PlotFormat::Pcl:
        ok = write_pcl(doc, s, out, run);
        break;
    default:
        ok = write_pwg(doc, s, out, run);
        break;
    }
    if (!ok) {
        error = !job.error().empty() ? job.error() : run.cancelled() ? "The plot was cancelled." : "The plot failed.";
        job.cancel();
        return 0;
    }
    if (!job.finish()) {
        error = job.error();
        return 0;
    }
    return 1;
}

} // namespace trazel::cam
