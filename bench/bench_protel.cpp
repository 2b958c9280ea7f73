// bench_protel: AutoTrax read of the 2000-component board by us against pcb-rnd loading the same file
// and exporting Gerber from it, in the same run; and our AutoTrax write speed.
//
//   bench_protel [--board FILE] [--components N] [--reps N] [--no-peer] [--keep]
//
// The board comes from gen_board beside this program (seed 1).  The file both sides read is the
// Autotrax copy the other benchmarks give pcb-rnd (bench/autotrax_copy.h); our read of our own export
// (Component blocks and NETDEF blocks) is timed too.  Our figures are medians of --reps runs (default
// 5), each into a fresh model; pcb-rnd runs twice and its faster run counts.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include <unistd.h>

#include "autotrax_copy.h"
#include "bench_support.h"
#include "formats/protel.h"
#include "loaded_board.h"
#include "platform/headless.h"

namespace fs = std::filesystem;
using namespace trazel;
using bench::median;
using bench::now_ms;

namespace {

// Reads `file` into a fresh model; the milliseconds, or -1 when the reader failed.
double read_once(const fs::path& file, size_t* items) {
    model::Model m;
    model::Document* d = model::NewDocument("read.pcb");
    formats::SkipReport skipped;
    formats::ImportJob job;
    job.file = file.string();
    job.skipped = &skipped;
    double t0 = now_ms();
    model::LineReader in;
    if (!in.open_file(file.string())) {
        return -1;
    }
    char c = formats::read_protel_board(in, *d, job);
    double ms = now_ms() - t0;
    if (items) {
        *items = 0;
        model::walk_tree(d->ring(), [&](model::Ref, int) { ++*items; });
    }
    return c == 'P' ? ms : -1;
}

} // namespace

int main(int argc, char** argv) {
    bench::Options o{"", 2000, 5};
    if (!bench::parse_options(argc, argv, o, "bench_protel")) {
        return 2;
    }
    fs::path work = fs::temp_directory_path() / ("trazel-bench-protel-" + std::to_string(::getpid()));
    fs::create_directories(work);
    platform::Headless quiet;
    platform::install(&quiet);

    std::string board = o.board.empty() ? bench::gen_board(o.components, work / "board.pcb", 1) : o.board;
    if (board.empty()) {
        std::fprintf(stderr, "bench_protel: no board (gen_board missing?)\n");
        return 1;
    }
    fs::path copy = work / "copy.pcb", ours = work / "ours.pcb";
    std::vector<double> write_ms;
    size_t board_items = 0;
    {
        bench::Loaded b;
        if (!b.open(board)) {
            return 1;
        }
        board_items = b.items;
        if (!bench::write_autotrax(*b.d, copy)) {
            std::fprintf(stderr, "bench_protel: cannot write %s\n", copy.string().c_str());
            return 1;
        }
        for (int k = 0; k < o.reps; ++k) {
            double t0 = now_ms();
            model::OutBuffer out;
            bool ok = out.open(ours.string()) && formats::write_protel_board(*b.d, out) && out.commit();
            write_ms.push_back(now_ms() - t0);
            if (!ok) {
                std::fprintf(stderr, "bench_protel: cannot write %s\n", ours.string().c_str());
                return 1;
            }
        }
    }
    double copy_mb = static_cast<double>(fs::file_size(copy)) / 1e6;
    double ours_mb = static_cast<double>(fs::file_size(ours)) / 1e6;

    std::vector<double> read_copy, read_ours;
    size_t copy_items = 0, ours_items = 0;
    for (int k = 0; k < o.reps; ++k) {
        read_copy.push_back(read_once(copy, &copy_items));
        read_ours.push_back(read_once(ours, &ours_items));
    }
    double rc = median(read_copy), ro = median(read_ours), w = median(write_ms);
    std::printf("%d-component board: %zu Items; Autotrax copy %.2f MB, our export %.2f MB\n", o.components,
                board_items, copy_mb, ours_mb);
    std::printf("  trazel read copy  : %8.1f ms  (%zu Items, %.0f MB/s)\n", rc, copy_items, copy_mb / (rc / 1000));
    std::printf("  trazel read ours  : %8.1f ms  (%zu Items, %.0f MB/s)\n", ro, ours_items, ours_mb / (ro / 1000));
    std::printf("  trazel write      : %8.1f ms  (%.0f MB/s)\n", w, ours_mb / (w / 1000));
    platform::install(nullptr);

    if (!o.peer || bench::sh("command -v pcb-rnd >/dev/null 2>&1") != 0) {
        std::printf("  pcb-rnd           : not run%s\n", o.peer ? " (not installed)" : "");
    } else {
        double peer = 1e30;
        for (int k = 0; k < 2; ++k) {
            fs::path out = work / "gerber";
            fs::remove_all(out);
            fs::create_directories(out);
            double t0 = now_ms();
            int status = bench::run_process({"pcb-rnd", "-x", "gerber", "--gerberfile", (out / "b").string(),
                                             copy.string()},
                                            "", (work / "pcb_rnd.log").string());
            double ms = now_ms() - t0;
            if (status != 0) {
                std::printf("  pcb-rnd           : failed (status %d, see %s)\n", status,
                            (work / "pcb_rnd.log").string().c_str());
                peer = -1;
                o.keep = true;
                break;
            }
            peer = std::min(peer, ms);
        }
        if (peer > 0) {
            std::printf("  pcb-rnd gerber    : %8.1f ms  (load and export)\n", peer);
            std::printf("  ratio             : %8.1fx faster (target 20x)\n", peer / rc);
        }
    }
    if (o.keep) {
        std::printf("work files kept in %s\n", work.string().c_str());
    } else {
        std::error_code ec;
        fs::remove_all(work, ec);
    }
    return 0;
}
