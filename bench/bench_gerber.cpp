// bench_gerber: the photoplot run on a 500 000-Item board (ms, MB/s), and a 2000-component board
// plotted by us and by pcb-rnd (from an Autotrax copy of the same board) in the same run.
//
//   bench_gerber [--items N] [--components N] [--board FILE] [--no-peer] [--keep] [benchmark flags]
//
// Boards come from the generator bench/gen_board when it is beside this program (its Data file is
// read through the chooser), otherwise from the small generator below, built through the model API.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "autotrax_copy.h"
#include "cam/photoplot.h"
#include "model/chooser.h"
#include "model/model.h"
#include "model/setup_directives.h"
#include "platform/headless.h"

#include <unistd.h>

namespace fs = std::filesystem;
using namespace trazel;
using model::Coord;
using model::Ref;

using bench::write_autotrax;

namespace {

Coord mil(int64_t m) {
    return model::mils_to_units(m);
}

// --- A board generator (used when bench/gen_board is not there) ---------------------------------

struct Rng {
    uint64_t s;
    uint32_t next() {
        s = s * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<uint32_t>(s >> 33);
    }
    int below(int n) {
        return static_cast<int>(next() % static_cast<uint32_t>(n));
    }
};

struct Generator {
    Ref ring;
    Rng rng{12345};

    Ref pad(Ref into, int layer, int type, Coord x, Coord y, Coord w, Coord h, Coord hole, model::Angle a = 0) {
        Ref p =
            model::MakeItem(into, model::kPad, static_cast<uint8_t>(layer), static_cast<uint16_t>(type), x, y, 0, 0);
        model::Node& n = model::node(p);
        n.pad.x0 = x, n.pad.y0 = y;
        n.pad.width = static_cast<model::Length>(w), n.pad.height = static_cast<model::Length>(h);
        n.pad.hole = static_cast<model::Length>(hole), n.pad.angle = a, n.pad.pin = 0;
        return p;
    }
    void line(Ref into, int layer, Coord w, Coord x1, Coord y1, Coord x2, Coord y2) {
        model::MakeItem(into, model::kLine, static_cast<uint8_t>(layer), static_cast<uint16_t>(w), x1, y1, x2, y2);
    }
    void text(Ref into, int layer, Coord h, Coord x, Coord y, const char* t) {
        Ref r = model::MakeItem(into, model::kText, static_cast<uint8_t>(layer), static_cast<uint16_t>(h), x, y, 0, 0);
        model::Node& n = model::node(r);
        n.text.x0 = x, n.text.y0 = y, n.text.length = 1, n.text.angle = 0, n.text.anchor_font = 0;
        model::SetText(r, t);
    }
    void box(Ref into, Coord x1, Coord y1, Coord x2, Coord y2) {
        line(into, 1, mil(8), x1, y1, x2, y1);
        line(into, 1, mil(8), x2, y1, x2, y2);
        line(into, 1, mil(8), x2, y2, x1, y2);
        line(into, 1, mil(8), x1, y2, x1, y1);
    }

    // One component in a 600 x 500 mil cell: a DIL package, an SOIC or a chip resistor, with its silk,
    // and tracks from its pads towards the next cell.
    void component(int i, int columns) {
        Coord ox = mil(500 + 600 * (i % columns)), oy = mil(500 + 500 * (i / columns));
        int kind = rng.below(20);
        std::string ref = (kind < 5 ? "U" : kind < 12 ? "IC" : "R") + std::to_string(i + 1);
        std::string params = std::string(kind < 5    ? "DIP14"
                                         : kind < 12 ? "SO8"
                                                     : "R0805") +
                             "\x7F" + ref + "\x7F" +
                             (kind < 5    ? "74HC00"
                              : kind < 12 ? "LM358"
                                          : "10K");
        Ref c = model::make_component(ring, 0, 0, params);
        Ref m = model::member_ring(c);
        bool bottom = kind >= 12 && rng.below(4) == 0;
        int copper = bottom ? 12 : 3;
        std::vector<std::pair<Coord, Coord>> pins;
        if (kind < 5) {
            for (int p = 0; p < 14; ++p) {
                Coord x = ox + mil(100) * (p % 7), y = oy + (p < 7 ? 0 : mil(300));
                pad(m, 0, p == 0 ? 2 : 1, x, y, mil(60), mil(60), mil(35));
                pins.emplace_back(x, y);
            }
            box(m, ox - mil(50), oy + mil(60), ox + mil(650), oy + mil(240));
        } else if (kind < 12) {
            for (int p = 0; p < 8; ++p) {
                Coord x = ox + mil(50) * (p % 4), y = oy + (p < 4 ? 0 : mil(200));
                pad(m, copper, 6, x, y, mil(24), mil(60), 0);
                pins.emplace_back(x, y);
            }
            box(m, ox - mil(40), oy + mil(50), ox + mil(190), oy + mil(150));
        } else {
            pad(m, copper, 6, ox, oy, mil(50), mil(60), 0);
            pad(m, copper, 6, ox + mil(80), oy, mil(50), mil(60), 0);
            pins.emplace_back(ox, oy);
            pins.emplace_back(ox + mil(80), oy);
            line(m, bottom ? 14 : 1, mil(8), ox - mil(40), oy + mil(50), ox + mil(120), oy + mil(50));
            line(m, bottom ? 14 : 1, mil(8), ox - mil(40), oy - mil(50), ox + mil(120), oy - mil(50));
        }
        text(m, bottom ? 14 : 1, mil(50), ox, oy + mil(400), "&1");
        model::close_component(c);

        // Tracks out of the cell, a via on every second one, and now and then an arc or a pour.
        int tracks = 2 + rng.below(5);
        for (int t = 0; t < tracks; ++t) {
            auto [x, y] = pins[static_cast<size_t>(rng.below(static_cast<int>(pins.size())))];
            Coord mx = x + mil(100 + rng.below(200)), my = y + mil(rng.below(100));
            Coord ex = mx + mil(150), ey = my + mil(50);
            line(ring, copper, mil(12), x, y, mx, my);
            line(ring, copper, mil(12), mx, my, ex, ey);
            if (t % 2 == 0) {
                pad(ring, 0, 3, ex, ey, mil(30), mil(30), mil(15));
                line(ring, copper == 3 ? 12 : 3, mil(12), ex, ey, ex + mil(100), ey);
            }
        }
        if (rng.below(20) == 0) {
            Ref a = model::MakeItem(ring, model::kArc, 1, static_cast<uint16_t>(mil(8)), ox, oy, 0, 0);
            model::Node& n = model::node(a);
            n.arc.x0 = ox + mil(300), n.arc.y0 = oy + mil(150), n.arc.radius = mil(100), n.arc.start = 0;
            n.arc.sweep = 32768, n.arc.ellipse = 0, n.arc.angle = 0;
        }
        if (rng.below(100) == 0) {
            Ref s = model::MakeItem(ring, model::kLine, 12, 0, 0, 0, 0, 0);
            model::add_vertex(s, ox, oy - mil(100));
            model::add_vertex(s, ox + mil(500), oy - mil(100));
            model::add_vertex(s, ox + mil(500), oy - mil(60));
            model::add_vertex(s, ox, oy - mil(60));
        }
    }

    void build(model::Document* d, int components) {
        ring = d->ring();
        for (const char* l :
             {"-y0:00000000,00000000,0,0,Pad Master", "-y1:00FFFFFF,00000000,0,1,Top Silk",
              "-y2:00FF00FF,00000000,1,2,Top Mask", "-y3:00FF0000,00000000,2,3,Top Side",
              "-y12:000000FF,00000000,10,12,Bottom Side", "-y13:00FF00FF,00000000,9,13,Bottom Mask",
              "-y14:00FFFFFF,00000000,8,14,Bottom Silk", "-dp.004,.002,.02,.02,.008", "-dy", "-dyTSS:6,1", "-dyTSM:2,2",
              "-dyTOP:0,3", "-dyBOT:8,12", "-dyBSM:10,13", "-dyBSS:14,14", "-dyDRL:4", "-dyLST:7", "-dyDWG:5"}) {
            model::ApplyDirective(d->setup, l);
        }
        int columns = std::max(1, static_cast<int>(std::sqrt(static_cast<double>(components))));
        for (int i = 0; i < components; ++i) {
            component(i, columns);
        }
        int rows = (components + columns - 1) / columns;
        d->setup.ext_xmin = 0, d->setup.ext_ymin = 0;
        d->setup.ext_xmax = mil(1000 + 600 * columns), d->setup.ext_ymax = mil(1000 + 500 * rows);
    }
};

uint32_t count_items(Ref ring) {
    uint32_t n = 0;
    model::walk_tree(ring, [&](Ref, int) { ++n; });
    return n;
}

// --- Running ----------------------------------------------------------------------------------

struct RunResult {
    double ms = 0;
    uint64_t bytes = 0;
    size_t files = 0;
};

RunResult plot_once(const fs::path& out) {
    fs::remove_all(out);
    fs::create_directories(out);
    cam::PhotoplotOptions opt;
    opt.out_dir = out.string();
    std::vector<std::string> written;
    auto t0 = std::chrono::steady_clock::now();
    platform::RunContext run(platform::P());
    int ok = cam::photoplot_run(*model::M().current, opt, run, &written);
    auto t1 = std::chrono::steady_clock::now();
    RunResult r;
    r.ms = std::chrono::duration<double, std::milli>(t1 - t0).count();
    r.files = ok ? written.size() : 0;
    for (const std::string& p : written) {
        r.bytes += fs::file_size(p);
    }
    return r;
}

// gen_board makes about 27 Items per component, so this many give the 500 000-Item board.
constexpr int kGenBoardComponents = 18600;

fs::path g_work;
std::string g_board;  // a Data file given or generated by gen_board, read instead of generating
int g_items = 500000; // target Items of the large board
int g_components = 2000;
bool g_peer = true;
bool g_keep = false; // leave the boards and outputs in the work directory

// Loads the large board into a fresh Document of `m`: from gen_board's file when there is one,
// otherwise from the generator.
void load_board(model::FormatTable& formats, const std::string& file, int components) {
    if (!file.empty()) {
        model::NewDocument(file);
        std::string err;
        if (model::OpenDocumentFile(formats, file, 0, &err) == 0) {
            std::fprintf(stderr, "bench_gerber: cannot read %s: %s\n", file.c_str(), err.c_str());
            std::exit(1);
        }
        return;
    }
    model::Document* d = model::NewDocument((g_work / "board.pcb").string());
    Generator g;
    g.build(d, components);
}

// A gen_board beside this program makes the board, as the other benchmarks read it.
std::string gen_board_file(int components, const fs::path& out) {
    fs::path self = fs::read_symlink("/proc/self/exe");
    fs::path gen = self.parent_path() / "gen_board";
    if (!fs::exists(gen)) {
        return {};
    }
    std::string cmd = gen.string() + " " + std::to_string(components) + " " + out.string() + " >/dev/null 2>&1";
    return std::system(cmd.c_str()) == 0 && fs::exists(out) ? out.string() : std::string();
}

void BM_PhotoplotRun(benchmark::State& state) {
    model::Model m;
    model::FormatTable formats;
    model::register_model_formats(formats);
    platform::Headless quiet;
    platform::install(&quiet);
    // About 25 Items per component with the generator.
    // The board run.sh makes for all benchmarks when it is there, else gen_board's, else our own.
    int components = static_cast<int>(state.range(0));
    std::string file = g_board;
    fs::path shared = fs::read_symlink("/proc/self/exe").parent_path() / "bench_board.pcb";
    if (file.empty() && fs::exists(shared)) {
        file = shared.string();
    }
    if (file.empty()) {
        file = gen_board_file(kGenBoardComponents, g_work / "gen.pcb");
    }
    load_board(formats, file, components);
    uint32_t items = count_items(model::M().current->ring());
    RunResult last;
    double total_s = 0;
    for (auto _ : state) {
        last = plot_once(g_work / "out");
        state.SetIterationTime(last.ms / 1000);
        total_s += last.ms / 1000;
    }
    double mean_s = total_s / static_cast<double>(std::max<benchmark::IterationCount>(state.iterations(), 1));
    state.counters["items"] = items;
    state.counters["files"] = static_cast<double>(last.files);
    state.counters["MB"] = static_cast<double>(last.bytes) / 1e6;
    state.counters["MB_per_s"] = static_cast<double>(last.bytes) / 1e6 / mean_s;
    state.counters["Mitems_per_s"] = static_cast<double>(items) / 1e6 / mean_s;
    platform::install(nullptr);
}

// Our run (reading the Data file included) against pcb-rnd's Gerber export of the Autotrax copy.
void compare_with_pcb_rnd() {
    model::Model m;
    model::FormatTable formats;
    model::register_model_formats(formats);
    platform::Headless quiet;
    platform::install(&quiet);
    fs::path data = g_work / "cmp.pcb";
    std::string file = gen_board_file(g_components, data);
    if (file.empty()) {
        model::Document* d = model::NewDocument(data.string());
        Generator g;
        g.build(d, g_components);
        if (!model::SaveDocumentFile(formats, data.string(), 'C')) {
            std::fprintf(stderr, "bench_gerber: cannot write %s\n", data.string().c_str());
            return;
        }
    } else {
        load_board(formats, file, g_components);
    }
    fs::path at = g_work / "cmp_autotrax.pcb";
    write_autotrax(*model::M().current, at);
    uint32_t items = count_items(model::M().current->ring());

    double best = 1e30, best_run = 1e30;
    RunResult r;
    for (int k = 0; k < 3; ++k) {
        model::Model fresh;
        model::FormatTable f2;
        model::register_model_formats(f2);
        auto t0 = std::chrono::steady_clock::now();
        model::NewDocument(data.string());
        model::OpenDocumentFile(f2, data.string(), 0);
        auto t1 = std::chrono::steady_clock::now();
        r = plot_once(g_work / "cmp_out");
        best = std::min(best, std::chrono::duration<double, std::milli>(t1 - t0).count() + r.ms);
        best_run = std::min(best_run, r.ms);
    }
    std::printf("\n%d-component board: %u Items, Data file %.2f MB, Autotrax %.2f MB\n", g_components, items,
                static_cast<double>(fs::file_size(data)) / 1e6, static_cast<double>(fs::file_size(at)) / 1e6);
    std::printf("  trazel read + run : %8.1f ms  (run alone %.1f ms, %zu files, %.2f MB)\n", best, best_run, r.files,
                static_cast<double>(r.bytes) / 1e6);
    platform::install(nullptr);

    if (!g_peer || std::system("command -v pcb-rnd >/dev/null 2>&1") != 0) {
        std::printf("  pcb-rnd           : not run%s\n", g_peer ? " (not installed)" : "");
        return;
    }
    fs::path peer_out = g_work / "pcb_rnd";
    double peer = 1e30;
    for (int k = 0; k < 2; ++k) {
        fs::remove_all(peer_out);
        fs::create_directories(peer_out);
        std::string cmd = "cd " + g_work.string() + " && timeout 600 pcb-rnd -x gerber --gerberfile " +
                          (peer_out / "board").string() + " " + at.string() + " >" + (g_work / "pcb_rnd.log").string() +
                          " 2>&1 </dev/null";
        auto t0 = std::chrono::steady_clock::now();
        int rc = std::system(cmd.c_str());
        auto t1 = std::chrono::steady_clock::now();
        if (rc != 0) {
            std::printf("  pcb-rnd           : failed (status %d, see %s)\n", rc,
                        (g_work / "pcb_rnd.log").string().c_str());
            return;
        }
        peer = std::min(peer, std::chrono::duration<double, std::milli>(t1 - t0).count());
    }
    uint64_t peer_bytes = 0;
    size_t peer_files = 0;
    for (const auto& e : fs::directory_iterator(peer_out)) {
        peer_bytes += e.file_size();
        ++peer_files;
    }
    std::printf("  pcb-rnd gerber    : %8.1f ms  (%zu files, %.2f MB)\n", peer, peer_files,
                static_cast<double>(peer_bytes) / 1e6);
    std::printf("  ratio             : %8.1fx faster (target 5x)\n", peer / best);
}

} // namespace

int main(int argc, char** argv) {
    std::vector<char*> rest{argv[0]};
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--items" && i + 1 < argc) {
            g_items = std::atoi(argv[++i]);
        } else if (a == "--components" && i + 1 < argc) {
            g_components = std::atoi(argv[++i]);
        } else if (a == "--board" && i + 1 < argc) {
            g_board = argv[++i];
        } else if (a == "--no-peer") {
            g_peer = false;
        } else if (a == "--keep") {
            g_keep = true;
        } else {
            rest.push_back(argv[i]);
        }
    }
    g_work = fs::temp_directory_path() / ("trazel-bench-gerber-" + std::to_string(::getpid()));
    fs::create_directories(g_work);
    int n = static_cast<int>(rest.size());
    benchmark::Initialize(&n, rest.data());
    // The generator makes about 25 Items per component.
    benchmark::RegisterBenchmark("PhotoplotRun/500k", BM_PhotoplotRun)
        ->Arg(std::max(1, g_items / 25))
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond)
        ->Iterations(3);
    benchmark::RunSpecifiedBenchmarks();
    compare_with_pcb_rnd();
    benchmark::Shutdown();
    if (g_keep) {
        std::printf("work files kept in %s\n", g_work.string().c_str());
    } else {
        std::error_code ec;
        fs::remove_all(g_work, ec);
    }
    return 0;
}
