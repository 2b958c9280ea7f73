// bench_fab: the whole fabrication package (photoplots, drill file, pick and place, IPC-D-356A, BOM, job
// file, one zip archive) of a 20 000-component board, and of a 2000-component board against pcb-rnd's
// Gerber, Excellon, XY and IPC-D-356 exports of its Autotrax copy, in the same run.
//
//   bench_fab [--board FILE] [--components N] [--reps N] [--no-peer] [--keep]
//
// Boards come from gen_board beside this program.  Our figures are medians of --reps runs (default 3),
// reading the Data file included for the comparison (pcb-rnd reads its file in every export); the peer
// runs once per export.
#include <cstdio>
#include <filesystem>
#include <iterator>
#include <string>
#include <vector>

#include <unistd.h>

#include "autotrax_copy.h"
#include "bench_support.h"
#include "cam/fab_package.h"
#include "loaded_board.h"
#include "platform/headless.h"

namespace fs = std::filesystem;
using namespace trazel;

namespace {

bench::Options g_opt;
fs::path g_work;

struct Timing {
    double ms = 0;
    size_t files = 0;
    uintmax_t bytes = 0;
};

// Our package of `board` as `out` (a .zip or a folder): the median of --reps runs, reading included
// when `with_read`.
bool ours(const std::string& board, const fs::path& out, bool with_read, Timing& t, bool modern = false) {
    std::vector<double> runs;
    for (int k = 0; k < g_opt.reps; ++k) {
        bench::Loaded b;
        platform::Headless quiet;
        platform::install(&quiet);
        double t0 = bench::now_ms();
        if (!b.open(board)) {
            return false;
        }
        double t1 = bench::now_ms();
        cam::FabOptions o;
        o.out = out.string();
        o.version = "bench";
        o.x2 = o.metric = o.true_arcs = modern;
        platform::RunContext run(quiet);
        std::vector<cam::FabFile> files;
        if (!cam::fab_package(*b.d, o, run, &files)) {
            std::fprintf(stderr, "bench_fab: the package of %s failed\n", board.c_str());
            return false;
        }
        double t2 = bench::now_ms();
        runs.push_back(with_read ? t2 - t0 : t2 - t1);
        t.files = files.size();
        platform::install(nullptr);
    }
    t.ms = bench::median(runs);
    t.bytes = fs::is_directory(out) ? 0 : fs::file_size(out);
    return true;
}

// pcb-rnd's four exports of the Autotrax copy, one process each; the sum of their wall times.
bool peer(const fs::path& autotrax, Timing& t) {
    fs::path dir = g_work / "pcb_rnd";
    fs::remove_all(dir);
    fs::create_directories(dir);
    const std::string in = autotrax.string(), log = (g_work / "pcb_rnd.log").string();
    const std::vector<std::vector<std::string>> runs = {
        {"pcb-rnd", "-x", "gerber", "--gerberfile", (dir / "board").string(), in},
        {"pcb-rnd", "-x", "excellon", "--filename", (dir / "board").string(), in},
        {"pcb-rnd", "-x", "XY", "--xyfile", (dir / "board.xy").string(), in},
        {"pcb-rnd", "-x", "IPC-D-356", "--netlistfile", (dir / "board.ipc").string(), in},
    };
    auto count = [&dir] {
        return std::distance(fs::directory_iterator(dir), fs::directory_iterator());
    };
    for (const auto& args : runs) {
        auto before = count();
        double t0 = bench::now_ms();
        int rc = bench::run_process(args, "", log, 900);
        double t1 = bench::now_ms();
        // pcb-rnd exits 0 even when an exporter refuses its options: a run counts when it wrote a file.
        if (rc != 0 || count() == before) {
            std::printf("  pcb-rnd -x %-10s: failed (status %d, see %s)\n", args[2].c_str(), rc, log.c_str());
            return false;
        }
        std::printf("  pcb-rnd -x %-10s: %8.1f ms\n", args[2].c_str(), t1 - t0);
        t.ms += t1 - t0;
    }
    for (const auto& e : fs::directory_iterator(dir)) {
        t.bytes += e.file_size();
        ++t.files;
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    g_opt.components = 20000;
    if (!bench::parse_options(argc, argv, g_opt, "bench_fab")) {
        return 2;
    }
    g_work = fs::temp_directory_path() / ("trazel-bench-fab-" + std::to_string(::getpid()));
    fs::create_directories(g_work);
    std::printf("bench_fab (median of %d runs)\n", g_opt.reps);

    std::string big = g_opt.board.empty() ? bench::gen_board(g_opt.components, g_work / "big.pcb", 7) : g_opt.board;
    if (big.empty()) {
        std::fprintf(stderr, "bench_fab: gen_board is missing or failed\n");
        return 1;
    }
    Timing zip, folder, modern;
    if (!ours(big, g_work / "big.zip", false, zip) || !ours(big, g_work / "big", false, folder) ||
        !ours(big, g_work / "big_x2.zip", false, modern, true)) {
        return 1;
    }
    std::printf("%s (%.2f MB)\n", big.c_str(), static_cast<double>(fs::file_size(big)) / 1e6);
    std::printf("  package, zip      : %8.1f ms  (%zu files, archive %.2f MB; target <= 1000 ms)\n", zip.ms, zip.files,
                static_cast<double>(zip.bytes) / 1e6);
    std::printf("  package, folder   : %8.1f ms\n", folder.ms);
    std::printf("  zip, --x2 --mm --arcs: %5.1f ms  (archive %.2f MB)\n", modern.ms, static_cast<double>(modern.bytes) / 1e6);

    std::string small = bench::gen_board(2000, g_work / "small.pcb", 7);
    if (small.empty()) {
        return 1;
    }
    Timing mine;
    if (!ours(small, g_work / "small.zip", true, mine)) {
        return 1;
    }
    std::printf("\n2000-component board\n  trazel read + package: %8.1f ms\n", mine.ms);
    if (!g_opt.peer || bench::sh("command -v pcb-rnd >/dev/null 2>&1") != 0) {
        std::printf("  pcb-rnd           : not run%s\n", g_opt.peer ? " (not installed)" : "");
    } else {
        bench::Loaded b;
        platform::Headless quiet;
        platform::install(&quiet);
        fs::path at = g_work / "small_autotrax.pcb";
        bool copied = b.open(small) && bench::write_autotrax(*b.d, at);
        platform::install(nullptr);
        Timing theirs;
        if (copied && peer(at, theirs)) {
            std::printf("  pcb-rnd, 4 exports: %8.1f ms  (%zu files)\n", theirs.ms, theirs.files);
            std::printf("  ratio             : %8.1fx faster (target 20x)\n", theirs.ms / mine.ms);
        }
    }
    if (g_opt.keep) {
        std::printf("work files kept in %s\n", g_work.string().c_str());
    } else {
        std::error_code ec;
        fs::remove_all(g_work, ec);
    }
    return 0;
}
