// bench_rectify: a 4000 x 4000 24-bit picture straightened through four reference pairs (a small turn,
// a scale and a bilinear pull on one corner), by us and by ImageMagick's BilinearReverse distortion with
// bilinear interpolation and black outside, on the same BMP in the same run (CPU seconds).  Ours is timed
// with the BMP decode included and alone.
//
//   bench_rectify [--size N] [--turn DEGREES] [--reps N] [--no-peer]
//
// Target: at least 10x ImageMagick.
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench_support.h"
#include "images/block.h"
#include "images/picture.h"
#include "images/rectify.h"
#include "loaded_board.h"
#include "model/line_reader.h"
#include "platform/headless.h"

namespace fs = std::filesystem;
using namespace trazel;

namespace {

constexpr double kTarget = 10;
constexpr int32_t kDpi = 100;

double cpu_s() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

void put(std::string& s, uint32_t v, int bytes) {
    for (int k = 0; k < bytes; ++k) {
        s.push_back(static_cast<char>(v >> (8 * k)));
    }
}

// A 24-bit BMP of smooth colour with some texture, so neither side can skip work.
std::string make_bmp(int n) {
    size_t row = (static_cast<size_t>(n) * 3 + 3) & ~size_t{3};
    std::string s = "BM";
    put(s, static_cast<uint32_t>(54 + row * static_cast<size_t>(n)), 4);
    put(s, 0, 4);
    put(s, 54, 4);
    put(s, 40, 4);
    put(s, static_cast<uint32_t>(n), 4);
    put(s, static_cast<uint32_t>(n), 4);
    put(s, 1, 2);
    put(s, 24, 2);
    put(s, 0, 4);
    put(s, static_cast<uint32_t>(row * static_cast<size_t>(n)), 4);
    put(s, 3937, 4); // 100 dpi
    put(s, 3937, 4);
    put(s, 0, 4);
    put(s, 0, 4);
    s.reserve(s.size() + row * static_cast<size_t>(n));
    for (int y = 0; y < n; ++y) {
        for (int x = 0; x < n; ++x) {
            s.push_back(static_cast<char>(x * 255 / n));
            s.push_back(static_cast<char>(y * 255 / n));
            s.push_back(static_cast<char>((x ^ y) & 255));
        }
        s.append(row - static_cast<size_t>(n) * 3, '\0');
    }
    return s;
}

} // namespace

int main(int argc, char** argv) {
    int n = 4000, reps = 3;
    double degrees = 3;
    bool peer = true;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--size" && i + 1 < argc) {
            n = std::max(8, std::atoi(argv[++i]));
        } else if (a == "--reps" && i + 1 < argc) {
            reps = std::max(1, std::atoi(argv[++i]));
        } else if (a == "--turn" && i + 1 < argc) {
            degrees = std::atof(argv[++i]);
        } else if (a == "--no-peer") {
            peer = false;
        } else {
            std::fprintf(stderr, "usage: bench_rectify [--size N] [--turn DEGREES] [--reps N] [--no-peer]\n");
            return 2;
        }
    }
    fs::path dir = fs::temp_directory_path() / ("bench_rectify_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    std::string file = (dir / "picture.bmp").string();
    std::ofstream(file, std::ios::binary) << make_bmp(n);

    // The pairs, in pixels of the source (x right, y up): the corners, turned by 3 degrees about the
    // centre (--turn), scaled by 1.02, the top right corner pulled 20 pixels further out.
    const double turn = degrees * 3.14159265358979 / 180, scale = 1.02, mid = (n - 1) / 2.0;
    struct PixelPair {
        double sx, sy, tx, ty;
    };
    std::vector<PixelPair> px;
    for (auto [x, y] : {std::pair{0.0, 0.0}, {n - 1.0, 0.0}, {0.0, n - 1.0}, {n - 1.0, n - 1.0}}) {
        double dx = x - mid, dy = y - mid;
        double tx = mid + scale * (dx * std::cos(turn) - dy * std::sin(turn));
        double ty = mid + scale * (dx * std::sin(turn) + dy * std::cos(turn));
        if (x > 0 && y > 0) {
            tx += 20;
            ty += 20;
        }
        px.push_back({x, y, tx, ty});
    }
    std::vector<images::ReferencePair> pairs;
    for (const PixelPair& p : px) {
        auto units = [](double v) { return static_cast<int32_t>(std::lround(v * 65536 / kDpi)); };
        pairs.push_back({{units(p.sx), units(p.sy)}, {units(p.tx), units(p.ty)}});
    }

    platform::Headless ui;
    platform::RunContext run(ui);
    double best_all = 1e30, best_rectify = 1e30;
    images::RectifyResult result;
    for (int k = 0; k < reps; ++k) {
        double t0 = cpu_s();
        model::LineReader in;
        images::Picture p;
        images::DecodeError e;
        if (!in.open_file(file) || !images::decode_bmp(in, p, e)) {
            std::printf("bench_rectify: cannot read %s: %s\n", file.c_str(), e.message.c_str());
            return 1;
        }
        std::vector<uint8_t> block = images::make_block(p, file);
        double t1 = cpu_s();
        result = images::rectify(block, pairs, run);
        double t2 = cpu_s();
        if (result.status != images::RectifyStatus::Done) {
            std::printf("bench_rectify: the rectification failed: %s\n", result.message.c_str());
            return 1;
        }
        best_all = std::min(best_all, t2 - t0);
        best_rectify = std::min(best_rectify, t2 - t1);
    }
    const images::Placement& pl = result.placement;
    std::printf("Rectify %d x %d 24-bit into %d x %d (best of %d, CPU seconds)\n", n, n, pl.width, pl.height, reps);
    std::printf("  ours, rectify alone                %8.3f s  (%.1f ns per output pixel)\n", best_rectify,
                best_rectify * 1e9 / (double(pl.width) * pl.height));
    std::printf("  ours, BMP read and rectify         %8.3f s\n", best_all);

    int status = 0;
    if (peer) {
        // ImageMagick's control points are "source destination" in its pixel grid (y down).
        std::string points;
        for (const PixelPair& p : px) {
            char b[160];
            std::snprintf(b, sizeof b, "%s%.3f,%.3f %.3f,%.3f", points.empty() ? "" : " ", p.sx, n - 1 - p.sy, p.tx,
                          n - 1 - p.ty);
            points += b;
        }
        // The same output rectangle as ours, in its pixel grid.
        char viewport[96];
        std::snprintf(viewport, sizeof viewport, "distort:viewport=%dx%d%+ld%+ld", pl.width, pl.height,
                      std::lround(pl.left * double(kDpi) / 65536), std::lround(n - 1 - pl.top * double(kDpi) / 65536));
        double peer_s = 0, read_s = 0;
        std::string log = (dir / "convert.out").string();
        int rc = bench::run_process({"convert", file, "-virtual-pixel", "black", "-interpolate", "Bilinear", "-filter",
                                     "point", "-define", viewport, "-distort", "BilinearReverse", points, "null:"},
                                    "", log, 1200, &peer_s);
        // Its reading of the BMP alone, to set the distortion beside our rectification alone.
        int rc_read = rc == 0 ? bench::run_process({"convert", file, "null:"}, "", log, 1200, &read_s) : rc;
        if (rc != 0 || rc_read != 0) {
            std::printf("  ImageMagick's convert did not run (status %d); is it installed?\n", rc ? rc : rc_read);
            status = 1;
        } else {
            double ratio = peer_s / best_all, alone = (peer_s - read_s) / best_rectify;
            std::printf("  ImageMagick, BMP read and distort  %8.3f s\n", peer_s);
            std::printf("  ImageMagick, BMP read alone        %8.3f s\n", read_s);
            std::printf("  %-34s %8.1f x   target >= %.0f: %s\n", "ratio (read and rectify)", ratio, kTarget,
                        ratio >= kTarget ? "met" : "MISSED");
            std::printf("  %-34s %8.1f x\n", "ratio (rectify alone)", alone);
        }
    }
    fs::remove_all(dir);
    return status;
}
