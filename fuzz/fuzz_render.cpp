// Renders arbitrary input as a Data file at a view chosen by its first bytes, into a buffer with guard
// bands all round: nothing may be written outside the buffer, and the XOR cross-hair drawn twice must
// leave the picture as it was.
//
// Input: 12 bytes of view (depth, width, height, scale, origin, draw modes, current layer, cursor),
// then the file.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <vector>

#include "display/display.h"
#include "model/chooser.h"
#include "model/model.h"
#include "platform/headless.h"

using namespace trazel;

namespace {

constexpr int kGuard = 16;
constexpr uint8_t kGuardByte = 0x5A;
constexpr size_t kHeader = 12;

platform::Headless& quiet_platform() {
    static platform::Headless* ui = [] {
        auto* p = new platform::Headless;
        platform::install(p);
        return p;
    }();
    return *ui;
}

void check_guard(const std::vector<uint8_t>& mem, int pitch, int rows, int width, int bpp) {
    for (int r = 0; r < rows + 2 * kGuard; ++r) {
        for (int b = 0; b < pitch; ++b) {
            bool inside = r >= kGuard && r < kGuard + rows && b >= kGuard * bpp && b < (kGuard + width) * bpp;
            if (!inside && mem[static_cast<size_t>(r) * pitch + b] != kGuardByte) {
                std::fprintf(stderr, "written outside the buffer: row %d byte %d\n", r - kGuard, b - kGuard * bpp);
                std::abort();
            }
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    platform::Headless& ui = quiet_platform();
    ui.boxes.clear();
    ui.sounds.clear();
    // One model for the run, as the Data file harness keeps it.
    static model::Model& m = *new model::Model;
    static model::FormatTable& formats = *[] {
        auto* t = new model::FormatTable;
        model::register_model_formats(*t);
        return t;
    }();
    uint8_t h[kHeader] = {};
    std::memcpy(h, data, size < kHeader ? size : kHeader);
    std::string_view file;
    if (size > kHeader) {
        file = std::string_view(reinterpret_cast<const char*>(data) + kHeader, size - kHeader);
    }

    const int depths[4] = {8, 16, 24, 32};
    int depth = depths[h[0] & 3];
    int width = 1 + h[1] % 160, height = 1 + h[2] % 120;
    bool status = (h[0] & 4) != 0;
    int rows = height + (status ? display::kStatusBarRows : 0);
    int bpp = depth / 8;
    int pitch = (width + 2 * kGuard) * bpp;
    std::vector<uint8_t> mem(static_cast<size_t>(pitch) * (rows + 2 * kGuard), kGuardByte);
    display::PixelBuffer buf;
    buf.base = mem.data() + static_cast<size_t>(kGuard) * pitch + kGuard * bpp;
    buf.pitch = pitch;
    buf.depth = depth;
    buf.width = width;
    buf.height = rows;

    bool with_doc = (h[0] & 8) == 0;
    model::Document* doc = nullptr;
    if (with_doc) {
        doc = model::NewDocument("fuzz.pcb");
        if (doc != nullptr) {
            model::open_document_bytes(formats, file, 0);
            model::Setup& s = doc->setup;
            s.mode_lines = h[3];
            s.mode_pads = h[4];
            s.mode_text = h[5] & 3;
            s.mode_refs = h[5] >> 4;
            s.current_layer = h[6];
        }
    }
    display::Display d;
    display::set_pixel_format(d, display::format_for_depth(depth), &m);
    display::set_surface(d, buf, status ? display::kStatusBarRows : 0);
    display::View& v = d.view;
    // Scales from far out to the largest, origins anywhere.
    v.scale = (uint32_t{h[7]} << 24 | uint32_t{h[8]} << 16 | uint32_t{h[7]} << 8 | h[8]) >> (h[9] & 15);
    v.scale = v.scale < 256 ? 256 : v.scale;
    v.origin_x = static_cast<int32_t>((uint32_t{h[10]} << 24) | (uint32_t{h[9]} << 8)) >> (h[11] & 31);
    v.origin_y = static_cast<int32_t>((uint32_t{h[11]} << 24) | (uint32_t{h[10]} << 8)) >> (h[9] >> 4);
    v.display_grid = (h[4] & 0x80) ? 0x00400000u >> (h[3] & 7) : 0;
    v.single_layer = (h[6] & 1) != 0 && (h[0] & 0x10) != 0;
    if (h[0] & 0x20) {
        d.rects = {display::Rect{height / 3, -5, height + 7, width / 2},
                   display::Rect{0, width / 3, height / 2, width}};
    }
    d.status.push_back({4, "Grid: 0.025\"\xF8\xFF"});

    display::redraw(d, doc);
    check_guard(mem, pitch, rows, width, bpp);
    if (doc != nullptr) {
        // Items hanging on the cursor: XOR outlines, moved.
        model::for_each_item(doc->ring(), [&](model::Ref r) {
            display::draw_item_as(d, *doc, r, d.slots.pixel[display::kSlotXorOutline], h[1] * 1000, -h[2] * 1000);
        });
        check_guard(mem, pitch, rows, width, bpp);
    }

    std::vector<uint8_t> before = mem;
    v.cursor_row = h[1] % (height + 4) - 2;
    v.cursor_col = h[2] % (width + 4) - 2;
    v.angle_mode = h[3] & 3;
    d.thick_crosshair = (h[4] & 0x40) != 0;
    d.band = static_cast<display::RubberBand>(h[5] % 3);
    d.band_row = h[6] % height;
    d.band_col = h[7] % width;
    display::crosshair_on(d);
    check_guard(mem, pitch, rows, width, bpp);
    display::crosshair_off(d);
    if (mem != before) {
        std::fprintf(stderr, "the cross-hair drawn twice changed the picture\n");
        std::abort();
    }
    if (doc != nullptr) {
        model::close_document(doc);
    }
    (void)m;
    return 0;
}
