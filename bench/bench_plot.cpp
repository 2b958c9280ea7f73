// bench_plot: the PostScript plot of a 2000-component board against `pcb-rnd -x ps` of its Autotrax copy
// in the same run (whole commands, CPU seconds), and the PostScript and HPGL writers on a 500 000-Item
// board (target 1 s each).
//
//   bench_plot [--board FILE] [--components N] [--reps N] [--no-peer] [--keep]
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "autotrax_copy.h"
#include "cam/hpgl_plot.h"
#include "cam/postscript.h"
#include "loaded_board.h"
#include "platform/headless.h"

namespace fs = std::filesystem;
using namespace trazel;

namespace {

constexpr unsigned kSeed = 1;
bench::Options g_opt{{}, 2000, 3, true, false};
fs::path g_work;

// Every layer in use gets a plot colour, so the plot draws what pcb-rnd draws of the copy.
void plot_every_layer(model::Document& d) {
    for (model::LayerEntry& e : d.setup.layers) {
        if (e.in_use()) {
            e.plot = 0xFFFFFF;
        }
    }
}

// The board file with plot colours on every layer; "" when it could not be made.
std::string plottable_board(int components, const fs::path& out) {
    std::string raw = bench::gen_board(components, g_work / ("raw" + std::to_string(components) + ".pcb"), kSeed);
    if (raw.empty()) {
        return {};
    }
    bench::Loaded b;
    if (!b.open(raw)) {
        return {};
    }
    plot_every_layer(*b.d);
    return model::SaveDocumentFile(b.formats, out.string(), 'C') ? out.string() : std::string();
}

void against_peer(int components) {
    std::printf("\n%d components:\n", components);
    fs::path board = g_work / "board.pcb";
    std::string file = g_opt.board.empty() ? plottable_board(components, board) : g_opt.board;
    if (file.empty()) {
        std::printf("  gen_board is missing or failed\n");
        return;
    }
    std::vector<double> ours;
    for (int k = 0; k < g_opt.reps; ++k) {
        double cpu = 0;
        int rc = bench::run_process({bench::beside("trazel-cli").string(), "plot", file, (g_work / "ours.ps").string(),
                                     "--format", "ps", "--fit"},
                                    "", (g_work / "ours.out").string(), 600, &cpu);
        if (rc != 0) {
            std::printf("  trazel-cli plot failed (exit %d): see %s\n", rc, (g_work / "ours.out").string().c_str());
            return;
        }
        ours.push_back(cpu);
    }
    double t = bench::median(ours);
    std::printf("  ours, whole command (read, plot, write): %8.3f s CPU, %.2f MB\n", t,
                static_cast<double>(fs::file_size(g_work / "ours.ps")) / 1e6);
    if (!g_opt.peer || bench::sh("command -v pcb-rnd >/dev/null 2>&1") != 0) {
        std::printf("  pcb-rnd: not run\n");
        return;
    }
    fs::path copy = g_work / "board_autotrax.pcb";
    {
        bench::Loaded b;
        if (!b.open(file) || !bench::write_autotrax(*b.d, copy)) {
            std::printf("  the Autotrax copy could not be written\n");
            return;
        }
    }
    double peer = 0;
    int rc = bench::run_process({"pcb-rnd", "-x", "ps", "--psfile", (g_work / "peer.ps").string(), copy.string()}, "",
                                (g_work / "peer.out").string(), 900, &peer);
    if (rc != 0) {
        std::printf("  pcb-rnd failed (exit %d): see %s\n", rc, (g_work / "peer.out").string().c_str());
        return;
    }
    std::printf("  pcb-rnd -x ps, whole command:             %8.3f s CPU, %.2f MB\n", peer,
                static_cast<double>(fs::file_size(g_work / "peer.ps")) / 1e6);
    std::printf("  ratio pcb-rnd / ours: %.1fx (target 10x)\n", peer / t);
}

void scale() {
    std::printf("\nscale: the writers on the 500 000-Item board (in memory, output counted):\n");
    fs::path shared = bench::beside("bench_board.pcb");
    std::string file = fs::exists(shared) ? shared.string() : bench::gen_board(18600, g_work / "big.pcb", kSeed);
    if (file.empty()) {
        std::printf("  gen_board is missing or failed\n");
        return;
    }
    bench::Loaded b;
    if (!b.open(file)) {
        return;
    }
    plot_every_layer(*b.d);
    platform::Headless quiet;
    platform::RunContext run(quiet);
    cam::PlotSettings s;
    s.flags = cam::kPlotFit;
    uint64_t bytes = 0;
    cam::PlotSink sink = [&](std::string_view piece) { return bytes += piece.size(), true; };
    for (const char* what : {"PostScript", "HPGL"}) {
        std::vector<double> ms;
        for (int k = 0; k < g_opt.reps; ++k) {
            bytes = 0;
            double t0 = bench::now_ms();
            int ok = what[0] == 'P' ? cam::write_postscript(*b.d, s, sink, run) : cam::write_hpgl(*b.d, s, sink, run);
            ms.push_back(bench::now_ms() - t0);
            if (!ok) {
                std::printf("  %s failed\n", what);
                return;
            }
        }
        std::printf("  %-10s %zu Items: %8.1f ms (median of %d), %.1f MB (target 1000 ms)\n", what, b.items,
                    bench::median(ms), g_opt.reps, static_cast<double>(bytes) / 1e6);
    }
}

} // namespace

int main(int argc, char** argv) {
    if (!bench::parse_options(argc, argv, g_opt, "bench_plot")) {
        return 2;
    }
    g_work = fs::temp_directory_path() / ("trazel-bench-plot-" + std::to_string(::getpid()));
    fs::create_directories(g_work);
    std::printf("bench_plot (ours: median of %d runs; pcb-rnd once)\n", g_opt.reps);
    against_peer(g_opt.components);
    scale();
    if (!g_opt.keep) {
        fs::remove_all(g_work);
    } else {
        std::printf("kept %s\n", g_work.string().c_str());
    }
    return 0;
}
