// bench_fill: a whole-board pour with `trazel-cli fill` against pcb-rnd's polygon clearing on the same
// generated boards in the same run, then a 10 x 10-inch Block on a 20 000-component board.
//
//   bench_fill [--components N] [--reps N] [--no-peer] [--keep]
//
// Boards: gen_board --clean (seed 1) of 200 and 500 components, 2000 (about 37 x 38 inch) with
// BENCH_LONG=1 (pcb-rnd needs minutes there).  Ours pours one copper side over the box of every pad grown
// by 0.1 inch with that side and the pad master layer as sources: bottom copper (layer 4: through-hole
// pads, vias and the bottom tracks), then top copper (layer 3: surface pads too, and most tracks).  Fill
// width 10 mil, both isolations 10 mil, the board's own thermal Signal (GND); the time is the whole
// command (read, pour, write), CPU seconds, median of --reps runs.
//
// pcb-rnd clears a polygon over the same box on the same side in the gEDA copy of the board
// (bench/geda_copy.h with its pour set-up: tracks "clearline" with clearance 2 Ti, pins, pads and vias
// 2 Pi).  Its polygon work is the CPU time of `pcb-rnd -x gerber` with the polygon less the same export
// without it.  The ratio printed is pcb-rnd's polygon time over our whole command.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <unistd.h>

#include "bench_support.h"
#include "geda_copy.h"
#include "loaded_board.h"
#include "model/model.h"

namespace fs = std::filesystem;
using namespace trazel;
using model::Ref;

namespace {

constexpr unsigned kSeed = 1;
constexpr double kMil = 65536.0 / 1000.0;

bench::Options g_opt{{}, 20000, 3};
fs::path g_work;

struct Board {
    std::string path;
    double x1 = 0, y1 = 0, x2 = 0, y2 = 0; // the pour's box, coordinate units
};

// The generated board and the box of its pads grown by 0.1 inch.
Board make_board(int components) {
    Board b;
    fs::path raw = g_work / ("clean" + std::to_string(components) + ".pcb");
    b.path = bench::gen_board(components, raw, kSeed, "--clean");
    if (b.path.empty()) {
        return b;
    }
    auto loaded = std::make_unique<bench::Loaded>();
    if (!loaded->open(b.path)) {
        b.path.clear();
        return b;
    }
    bool first = true;
    model::walk_tree(loaded->d->ring(), [&](Ref r, int) {
        const model::Node& n = model::node(r);
        if (n.item_kind() != model::kPad) {
            return;
        }
        double x = n.pad.x0, y = n.pad.y0;
        b.x1 = first ? x : std::min(b.x1, x);
        b.y1 = first ? y : std::min(b.y1, y);
        b.x2 = first ? x : std::max(b.x2, x);
        b.y2 = first ? y : std::max(b.y2, y);
        first = false;
    });
    double grow = 100 * kMil;
    b.x1 -= grow;
    b.y1 -= grow;
    b.x2 += grow;
    b.y2 += grow;
    if (g_opt.peer) {
        bench::GedaPour pour{10 * kMil, 10 * kMil, false, true, b.x1, b.y1, b.x2, b.y2};
        bench::write_geda(*loaded->d, g_work / ("bare" + std::to_string(components) + ".gpcb"), &pour);
        pour.polygon = true;
        bench::write_geda(*loaded->d, g_work / ("pour4-" + std::to_string(components) + ".gpcb"), &pour);
        pour.bottom = false;
        bench::write_geda(*loaded->d, g_work / ("pour3-" + std::to_string(components) + ".gpcb"), &pour);
    }
    return b;
}

std::string inches(double v) {
    char t[32];
    std::snprintf(t, sizeof t, "%.4f", v / 65536.0);
    return t;
}

// Our command's CPU seconds (median), or a negative number when it failed.
double ours(const Board& b, double x1, double y1, double x2, double y2, int layer, int reps) {
    fs::path out = g_work / "poured.pcb";
    std::vector<double> cpu;
    for (int i = 0; i < reps; ++i) {
        double s = 0;
        int rc = bench::run_process({bench::beside("trazel-cli").string(), "fill", b.path, out.string(), "--box",
                                     inches(x1) + "," + inches(y1) + "," + inches(x2) + "," + inches(y2),
                                     "--layer", std::to_string(layer), "--sources", std::to_string(layer) + ",0",
                                     "--width", "0.01", "--isolation", "0.01,0.01"},
                                    "", (g_work / "fill.out").string(), 900, &s);
        if (rc != 0) {
            std::printf("  trazel-cli fill failed (exit %d): see %s\n", rc, (g_work / "fill.out").string().c_str());
            return -1;
        }
        cpu.push_back(s);
    }
    return bench::median(cpu);
}

// pcb-rnd's Gerber export CPU seconds of one gEDA copy; negative when it failed.
double peer_export(const fs::path& board) {
    fs::path dir = g_work / "peer";
    fs::remove_all(dir);
    fs::create_directories(dir);
    double s = 0;
    int rc = bench::run_process({"pcb-rnd", "-x", "gerber", "--gerberfile", (dir / "p").string(), board.string()}, "",
                                (g_work / "peer.out").string(), 1800, &s);
    return rc == 0 ? s : -1;
}

void against_peer(int components) {
    std::printf("\n%d components:\n", components);
    Board b = make_board(components);
    if (b.path.empty()) {
        std::printf("  gen_board is missing or failed\n");
        return;
    }
    std::printf("  board %.1f x %.1f inch\n", (b.x2 - b.x1) / 65536.0, (b.y2 - b.y1) / 65536.0);
    bool peer = g_opt.peer && bench::sh("command -v pcb-rnd >/dev/null 2>&1") == 0;
    double bare = peer ? peer_export(g_work / ("bare" + std::to_string(components) + ".gpcb")) : -1;
    for (int layer : {4, 3}) {
        const char* side = layer == 4 ? "bottom" : "top";
        double t = ours(b, b.x1, b.y1, b.x2, b.y2, layer, g_opt.reps);
        if (t < 0) {
            return;
        }
        std::printf("  %-6s ours, whole command (read, pour, write): %8.2f s CPU\n", side, t);
        if (!peer) {
            std::printf("         pcb-rnd: not run\n");
            continue;
        }
        double poured =
            peer_export(g_work / ("pour" + std::to_string(layer) + "-" + std::to_string(components) + ".gpcb"));
        if (bare < 0 || poured < 0) {
            std::printf("         pcb-rnd failed: see %s\n", (g_work / "peer.out").string().c_str());
            continue;
        }
        double clearing = std::max(0.0, poured - bare);
        std::printf("         pcb-rnd export %.2f s, with the polygon %.2f s: clearing %8.2f s CPU\n", bare, poured,
                    clearing);
        std::printf("         ratio pcb-rnd clearing / ours: %.1fx (target 10x on 2000 components)\n", clearing / t);
    }
}

// A 10 x 10-inch Block in the middle of a large board (target: within 1 s).
void scale(int components) {
    std::printf("\nscale: 10 x 10-inch Block on %d components:\n", components);
    Board b = make_board(components);
    if (b.path.empty()) {
        std::printf("  gen_board is missing or failed\n");
        return;
    }
    double cx = (b.x1 + b.x2) / 2, cy = (b.y1 + b.y2) / 2, h = 5 * 65536.0;
    // Reading and writing the board alone, so the pour's own share shows.
    fs::path copy = g_work / "copy.pcb";
    std::vector<double> io;
    for (int i = 0; i < g_opt.reps; ++i) {
        double s = 0;
        bench::run_process({bench::beside("trazel-cli").string(), "convert", b.path, copy.string()}, "", "", 600, &s);
        io.push_back(s);
    }
    double t = ours(b, cx - h, cy - h, cx + h, cy + h, 3, g_opt.reps);
    if (t < 0) {
        return;
    }
    double rw = bench::median(io);
    std::printf("  whole command %.2f s CPU, of which read and write %.2f s: the pour %.2f s (target 1 s)\n", t, rw,
                t - rw);
}

} // namespace

int main(int argc, char** argv) {
    if (!bench::parse_options(argc, argv, g_opt, "bench_fill")) {
        return 2;
    }
    const char* long_run = std::getenv("BENCH_LONG");
    bool g_long = long_run && std::string(long_run) == "1";
    g_work = fs::temp_directory_path() / ("trazel-bench-fill-" + std::to_string(::getpid()));
    fs::create_directories(g_work);
    std::printf("bench_fill (ours: median of %d runs of the whole command; pcb-rnd once each way)\n", g_opt.reps);
    for (int n : {200, 500, 2000}) {
        if (n == 2000 && !g_long) {
            std::printf("\n2000 components: skipped (BENCH_LONG=1 runs it; pcb-rnd takes minutes)\n");
            continue;
        }
        against_peer(n);
    }
    scale(g_opt.components);
    if (!g_opt.keep) {
        fs::remove_all(g_work);
    } else {
        std::printf("kept %s\n", g_work.string().c_str());
    }
    return 0;
}
