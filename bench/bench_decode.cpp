// bench_decode: a large 24-bit BMP and the same picture as an LZW TIFF opened as a picture (decoded and
// made into a pixel image block, as the reader row does) against ImageMagick's `convert F null:` in the
// same run (wall time, best of the repetitions).  Target: at least 10x the peer.
//
//   bench_decode [--size N] [--reps N] [--no-peer] [--keep]
//
// The pictures are made in a scratch folder: the BMP by this program (smooth colour fields with a little
// noise, so the LZW stream is neither trivial nor incompressible), the TIFF from it by ImageMagick.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench_support.h"
#include "images/block.h"
#include "images/readers.h"
#include "model/line_reader.h"

namespace fs = std::filesystem;
using namespace trazel;

namespace {

constexpr double kTarget = 10;

void put32(std::string& s, size_t at, uint32_t v) {
    for (int k = 0; k < 4; ++k) {
        s[at + static_cast<size_t>(k)] = static_cast<char>(v >> (8 * k));
    }
}

bool write_bmp(const fs::path& file, int n) {
    size_t row = (static_cast<size_t>(n) * 3 + 3) & ~size_t{3};
    std::string head(54, '\0');
    head[0] = 'B';
    head[1] = 'M';
    put32(head, 2, static_cast<uint32_t>(54 + row * static_cast<size_t>(n)));
    put32(head, 10, 54);
    put32(head, 14, 40);
    put32(head, 18, static_cast<uint32_t>(n));
    put32(head, 22, static_cast<uint32_t>(n));
    head[26] = 1;
    head[28] = 24;
    put32(head, 38, 11811);
    put32(head, 42, 11811);
    std::ofstream out(file, std::ios::binary);
    out.write(head.data(), static_cast<std::streamsize>(head.size()));
    std::vector<char> line(row, 0);
    uint32_t noise = 12345;
    for (int y = 0; y < n; ++y) {
        for (int x = 0; x < n; ++x) {
            noise = noise * 1103515245u + 12345u;
            int jitter = static_cast<int>((noise >> 28) & 3);
            line[static_cast<size_t>(x) * 3] = static_cast<char>((x / 32 * 7 + jitter) & 0xFF);
            line[static_cast<size_t>(x) * 3 + 1] = static_cast<char>((y / 32 * 5 + jitter) & 0xFF);
            line[static_cast<size_t>(x) * 3 + 2] = static_cast<char>(((x + y) / 64 * 3) & 0xFF);
        }
        out.write(line.data(), static_cast<std::streamsize>(line.size()));
    }
    return static_cast<bool>(out);
}

// Opens the picture as a reader row does; the best wall time in ms, or -1 when it is not read.
double ours(const fs::path& file, int reps) {
    double best = 1e30;
    for (int k = 0; k < reps; ++k) {
        double t0 = bench::now_ms();
        model::LineReader in;
        images::Picture p;
        images::DecodeError error;
        if (!in.open_file(file.string()) || !images::decode_picture(in, p, error)) {
            std::fprintf(stderr, "%s: %s\n", file.c_str(), error.message.c_str());
            return -1;
        }
        std::vector<uint8_t> block = images::make_block(std::move(p), file.string());
        best = std::min(best, bench::now_ms() - t0);
        if (block.size() < images::kHeaderBytes) {
            return -1;
        }
    }
    return best;
}

double peer(const fs::path& file, int reps) {
    double best = 1e30;
    std::string cmd = "convert " + file.string() + " null: >/dev/null 2>&1";
    for (int k = 0; k < reps; ++k) {
        double t0 = bench::now_ms();
        if (std::system(cmd.c_str()) != 0) {
            return -1;
        }
        best = std::min(best, bench::now_ms() - t0);
    }
    return best;
}

} // namespace

int main(int argc, char** argv) {
    bench::Options options{.reps = 3, .size = 8000};
    if (!bench::parse_options(argc, argv, options, "bench_decode")) {
        return 2;
    }
    const int n = options.size, reps = options.reps;
    const bool use_peer = options.peer, keep = options.keep;
    fs::path dir = fs::temp_directory_path() / ("trazel-bench-decode-" + std::to_string(n));
    fs::create_directories(dir);
    fs::path bmp = dir / "big.bmp", tif = dir / "big.tif";
    if (!fs::exists(bmp) && !write_bmp(bmp, n)) {
        std::fprintf(stderr, "cannot write %s\n", bmp.c_str());
        return 1;
    }
    if (!fs::exists(tif)) {
        std::string cmd = "convert " + bmp.string() + " -compress LZW " + tif.string() + " >/dev/null 2>&1";
        if (std::system(cmd.c_str()) != 0) {
            std::fprintf(stderr, "ImageMagick could not make the LZW TIFF: only the BMP is timed\n");
        }
    }
    int status = 0;
    for (const fs::path& f : {bmp, tif}) {
        if (!fs::exists(f)) {
            continue;
        }
        double us = ours(f, reps);
        double them = use_peer ? peer(f, reps) : -1;
        std::printf("%-8s %dx%d %7.1f MB: ours %8.1f ms", f.extension().c_str(), n, n,
                    static_cast<double>(fs::file_size(f)) / 1e6, us);
        if (us > 0 && them > 0) {
            double ratio = them / us;
            std::printf("  convert %8.1f ms  ratio %5.1fx (target %.0fx)%s", them, ratio, kTarget,
                        ratio >= kTarget ? "" : "  SHORT");
        }
        std::printf("\n");
        status |= us < 0 ? 1 : 0;
    }
    if (!keep) {
        fs::remove_all(dir);
    }
    return status;
}
