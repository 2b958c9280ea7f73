// bench_image_redraw: the full redraw of a 1920 x 1080 drawing area over a 4000 x 4000 24-bit picture
// (clearing, the picture, the grid and the Items of an empty Document), with the whole picture in view
// and zoomed in 8 times on its centre, at 32, 16 and 8 bits: median ms per redraw.  Target: at most
// 20 ms at every depth.
//
// The peer, timed in the same run, is ImageMagick's nearest-pixel resize of the same picture to the same
// screen pixels (`-sample`, with `-crop` first when zoomed in), read from its own memory-mapped pixel
// cache (.mpc) and less the run that only opens that cache, so its file reading is left out.
//
//   bench_image_redraw [--size N] [--reps N] [--no-peer] [--keep]
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench_support.h"
#include "display/display.h"
#include "display/view.h"
#include "images/block.h"
#include "images/draw.h"
#include "model/model.h"

namespace fs = std::filesystem;
using namespace trazel;

namespace {

constexpr int kWidth = 1920, kHeight = 1080;
constexpr double kTargetMs = 20;
constexpr int kZoom = 8;

// Smooth colour fields with fine detail, so neighbouring screen pixels read different picture bytes.
uint8_t sample(int x, int y, int channel) {
    switch (channel) {
    case 0:
        return static_cast<uint8_t>(x / 16 * 7 + (y & 3));
    case 1:
        return static_cast<uint8_t>(y / 16 * 5 + (x & 3));
    default:
        return static_cast<uint8_t>((x + y) / 32 * 3);
    }
}

std::vector<uint8_t> make_picture(int n) {
    images::BlockHeader h;
    h.row_length = h.width = h.height = n;
    h.dpi = 300;
    h.bits = 24;
    h.kind = images::kPaletteDirect;
    for (size_t v = 0; v < 256; ++v) {
        h.value_map[v] = static_cast<uint8_t>(v);
    }
    images::place_new(h);
    std::vector<uint8_t> b;
    images::write_header(h, b);
    b.resize(images::kHeaderBytes + static_cast<size_t>(n) * static_cast<size_t>(n) * 3);
    uint8_t* p = b.data() + images::kHeaderBytes;
    for (int y = 0; y < n; ++y) {
        for (int x = 0; x < n; ++x, p += 3) {
            p[0] = sample(x, y, 0); // blue, green, red
            p[1] = sample(x, y, 1);
            p[2] = sample(x, y, 2);
        }
    }
    return b;
}

// The same pixels as a binary PPM (red, green, blue, top row first) for the peer.
bool write_ppm(const fs::path& file, int n) {
    std::ofstream out(file, std::ios::binary);
    out << "P6\n" << n << " " << n << "\n255\n";
    std::vector<char> row(static_cast<size_t>(n) * 3);
    for (int y = 0; y < n; ++y) {
        for (int x = 0; x < n; ++x) {
            for (int c = 0; c < 3; ++c) {
                row[static_cast<size_t>(x) * 3 + static_cast<size_t>(c)] = static_cast<char>(sample(x, y, 2 - c));
            }
        }
        out.write(row.data(), static_cast<std::streamsize>(row.size()));
    }
    return static_cast<bool>(out);
}

struct Screen {
    display::Display d;
    std::vector<uint8_t> pixels;
    display::PixelBuffer buf;

    Screen(int depth, model::Model& m, const std::vector<uint8_t>& picture) {
        display::set_pixel_format(d, display::format_for_depth(depth), &m);
        int pitch = (kWidth * depth / 8 + 7) & ~7;
        pixels.assign(static_cast<size_t>(pitch) * kHeight, 0);
        buf.base = pixels.data();
        buf.pitch = pitch;
        buf.depth = depth;
        buf.width = kWidth;
        buf.height = kHeight;
        display::set_surface(d, buf, 0);
        d.status_bar = false;
        d.hooks.draw_image = [&picture](display::Display& dd, display::Raster& r) {
            images::draw_block(dd, r, picture);
        };
    }
};

// Median ms per redraw of `reps`, after one redraw that warms the caches.
double time_redraws(Screen& s, const model::Document& doc, int reps) {
    display::redraw(s.d, &doc);
    std::vector<double> ms;
    for (int k = 0; k < reps; ++k) {
        double t0 = bench::now_ms();
        display::redraw(s.d, &doc);
        ms.push_back(bench::now_ms() - t0);
    }
    return bench::median(ms);
}

// Median wall ms of a shell command, -1 when it fails.
double time_command(const std::string& cmd, int reps) {
    std::vector<double> ms;
    for (int k = 0; k < reps; ++k) {
        double t0 = bench::now_ms();
        if (std::system((cmd + " >/dev/null 2>&1").c_str()) != 0) {
            return -1;
        }
        ms.push_back(bench::now_ms() - t0);
    }
    return bench::median(ms);
}

} // namespace

int main(int argc, char** argv) {
    bench::Options options{.reps = 15, .size = 4000};
    if (!bench::parse_options(argc, argv, options, "bench_image_redraw")) {
        return 2;
    }
    const int n = options.size, reps = options.reps;
    const bool use_peer = options.peer, keep = options.keep;
    model::Model m;
    model::Document* doc = model::NewDocument("bench.pcb");
    if (doc == nullptr) {
        return 1;
    }
    std::vector<uint8_t> picture = make_picture(n);
    images::BlockHeader h;
    images::read_header(picture, h);

    // The views: the whole picture fitted into the area, then 8 times that on its centre.  What each
    // shows of the picture, in picture pixels, is what the peer resizes.
    struct Seen {
        const char* name;
        display::View view;
        int src_w = 0, src_h = 0, src_x = 0, src_y = 0, out_w = 0, out_h = 0;
    } views[2] = {{"whole picture", {}}, {"zoomed in 8x", {}}};
    {
        Screen probe(32, m, picture);
        display::View& v = probe.d.view;
        display::zoom_to_rect(v, {h.left, h.bottom}, {h.right, h.top}, v.area, false);
        views[0].view = v;
        int side = std::max(1, display::to_screen_x(v, h.right) - display::to_screen_x(v, h.left) + 1);
        views[0].src_w = views[0].src_h = n;
        views[0].out_w = views[0].out_h = std::min(side, kHeight);
        v.cursor_x = (h.left + h.right) / 2;
        v.cursor_y = (h.bottom + h.top) / 2;
        v.scale = static_cast<uint32_t>(std::min<uint64_t>(uint64_t{v.scale} * kZoom, 0xFFFFFFFFu));
        display::place_cursor_at(v, display::middle_col(v), display::middle_row(v));
        views[1].view = v;
        double px = double(v.scale) / 4294967296.0 * 65536.0 / h.dpi; // screen pixels per picture pixel
        views[1].src_w = std::min(n, static_cast<int>(kWidth / px));
        views[1].src_h = std::min(n, static_cast<int>(kHeight / px));
        views[1].src_x = (n - views[1].src_w) / 2;
        views[1].src_y = (n - views[1].src_h) / 2;
        views[1].out_w = kWidth;
        views[1].out_h = kHeight;
    }

    fs::path dir = fs::temp_directory_path() / ("trazel-bench-image-redraw-" + std::to_string(n));
    fs::path mpc = dir / "big.mpc";
    bool peer = use_peer;
    if (peer) {
        fs::create_directories(dir);
        fs::path ppm = dir / "big.ppm";
        peer = (fs::exists(mpc) ||
                (write_ppm(ppm, n) &&
                 std::system(("convert " + ppm.string() + " " + mpc.string() + " >/dev/null 2>&1").c_str()) == 0));
        if (!peer) {
            std::printf("  ImageMagick did not make its pixel cache: no peer\n");
        }
    }
    double opening = peer ? time_command("convert " + mpc.string() + " null:", 3) : -1;

    std::printf("%dx%d redraw over a %dx%d 24-bit picture, median of %d (ms per redraw)\n", kWidth, kHeight, n, n,
                reps);
    int status = 0;
    for (const Seen& s : views) {
        std::printf("  %-14s", s.name);
        double ours32 = 0;
        for (int depth : {32, 16, 8}) {
            Screen screen(depth, m, picture);
            screen.d.view = s.view;
            double ms = time_redraws(screen, *doc, reps);
            ours32 = depth == 32 ? ms : ours32;
            std::printf("  %d bits %6.2f", depth, ms);
            status |= ms > kTargetMs ? 1 : 0;
        }
        std::printf("  (target <= %.0f)", kTargetMs);
        if (peer && opening >= 0) {
            std::string crop = s.src_w < n || s.src_h < n
                                   ? " -crop " + std::to_string(s.src_w) + "x" + std::to_string(s.src_h) + "+" +
                                         std::to_string(s.src_x) + "+" + std::to_string(s.src_y) + " +repage"
                                   : "";
            double t = time_command("convert " + mpc.string() + crop + " -sample " + std::to_string(s.out_w) + "x" +
                                        std::to_string(s.out_h) + "! null:",
                                    3);
            double them = t - opening;
            if (t >= 0 && them > 0) {
                std::printf("  convert -sample %7.1f  ratio %5.1fx", them, them / ours32);
            }
        }
        std::printf("\n");
    }
    std::printf("  %s\n", status == 0 ? "met" : "MISSED");
    if (!keep) {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
    return status;
}
