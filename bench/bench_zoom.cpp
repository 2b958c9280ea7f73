// bench_zoom: how long the user waits after the zoom-in key.  The time runs from the "I" key going down
// in a headless shell to the moment its window has been handed the finished frame, ticking the timer
// when the frame is not yet there, plus the desktop front end's conversion of that frame to RGB (all
// that the front end does before the windowing system takes over).  The view is put back between zooms outside the timed part, so every
// zoom starts from the same picture.
//
//   bench_zoom [--board FILE] [--demo FILE] [--width W --height H] [benchmark flags]
//
// The large board is FILE, else $TRAZEL_BENCH_BOARD, else bench_board.pcb beside this program, made
// with the gen_board beside it when missing; without any of those that case is skipped.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/core/headless_run.h"
#include "app/gui/surface_rgb.h"
#include "shell/shell.h"

namespace fs = std::filesystem;
using namespace trazel;

namespace {

constexpr int kScanI = 0x17;
constexpr int kMaxTicks = 100; // a frame that needs more than 5.5 s of ticks counts as a failure

int g_width = 1920, g_height = 1080;

fs::path exe_dir() {
    std::error_code ec;
    fs::path p = fs::read_symlink("/proc/self/exe", ec);
    return ec ? fs::current_path() : p.parent_path();
}

std::string find_demo(const std::string& given) {
    if (!given.empty()) {
        return given;
    }
    for (const fs::path& p : {exe_dir() / ".." / "share" / "examples" / "demo.pcb",
                              fs::current_path() / "share" / "examples" / "demo.pcb"}) {
        if (fs::exists(p)) {
            return fs::weakly_canonical(p).string();
        }
    }
    return {};
}

std::string find_board(const std::string& given) {
    if (!given.empty()) {
        return fs::exists(given) ? given : std::string();
    }
    if (const char* env = std::getenv("TRAZEL_BENCH_BOARD"); env != nullptr && *env != 0) {
        if (fs::exists(env)) {
            return env;
        }
    }
    fs::path board = exe_dir() / "bench_board.pcb";
    if (fs::exists(board)) {
        return board.string();
    }
    fs::path gen = exe_dir() / "gen_board";
    if (!fs::exists(gen)) {
        return {};
    }
    std::fprintf(stderr, "bench_zoom: making %s\n", board.c_str());
    std::string cmd = gen.string() + " 18600 " + board.string() + " --seed 1 >/dev/null 2>&1";
    return std::system(cmd.c_str()) == 0 && fs::exists(board) ? board.string() : std::string();
}

// A shell started on the file, ready, in Windows mode with the cursor in the middle of the view.
struct Session {
    std::unique_ptr<shell::HeadlessRun> run;
    uint32_t scale = 0;
    int64_t origin_x = 0, origin_y = 0;
    std::string error;

    explicit Session(const std::string& file) : run(std::make_unique<shell::HeadlessRun>(g_width, g_height)) {
        if (run->start({file}) == 0 || !run->until_ready(2000) || run->app.doc() == nullptr) {
            error = "cannot start on " + file;
            return;
        }
        run->move(g_width / 2, g_height / 3);
        run->tick(2);
        const display::View& v = run->app.display.view;
        scale = v.scale;
        origin_x = v.origin_x;
        origin_y = v.origin_y;
    }

    void reset_view() {
        display::View& v = run->app.display.view;
        v.scale = scale;
        v.origin_x = origin_x;
        v.origin_y = origin_y;
        v.previous.valid = false;
    }

    // One zoom: true when the frame reached the window.
    bool zoom(int& ticks) {
        int before = run->window.presents;
        run->key(kScanI);
        ticks = 0;
        while (run->window.presents == before && ticks < kMaxTicks) {
            run->tick();
            ++ticks;
        }
        if (run->window.presents == before) {
            return false;
        }
        platform::SurfaceView view = shell::surface_view(run->app);
        rgb.resize(static_cast<size_t>(view.width) * static_cast<size_t>(view.height) * 3);
        return gui::surface_to_rgb(view, {0, 0, view.height - 1, view.width - 1}, rgb.data(),
                                   static_cast<size_t>(view.width) * 3);
    }

    std::vector<uint8_t> rgb; // the frame as the desktop front end hands it on
};

void BM_Zoom(benchmark::State& state, std::string file) {
    Session s(file);
    if (!s.error.empty()) {
        state.SkipWithError(s.error.c_str());
        return;
    }
    double total_ms = 0, worst_ms = 0;
    int ticks_total = 0;
    for (auto _ : state) {
        s.reset_view();
        auto t0 = std::chrono::steady_clock::now();
        int ticks = 0;
        bool ok = s.zoom(ticks);
        double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
        if (!ok) {
            state.SkipWithError("the zoomed frame was never presented");
            break;
        }
        if (s.run->app.display.view.scale == s.scale) {
            state.SkipWithError("the key did not zoom");
            break;
        }
        state.SetIterationTime(ms / 1000.0);
        total_ms += ms;
        worst_ms = std::max(worst_ms, ms);
        ticks_total += ticks;
    }
    if (state.iterations() > 0) {
        state.counters["ms_per_zoom"] = total_ms / static_cast<double>(state.iterations());
        state.counters["worst_ms"] = worst_ms;
        state.counters["ticks"] = static_cast<double>(ticks_total) / static_cast<double>(state.iterations());
    }
}

} // namespace

int main(int argc, char** argv) {
    std::vector<char*> rest;
    rest.push_back(argv[0]);
    std::string board_arg, demo_arg;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--board" && i + 1 < argc) {
            board_arg = argv[++i];
        } else if (a == "--demo" && i + 1 < argc) {
            demo_arg = argv[++i];
        } else if (a == "--width" && i + 1 < argc) {
            g_width = std::max(320, std::atoi(argv[++i]));
        } else if (a == "--height" && i + 1 < argc) {
            g_height = std::max(240, std::atoi(argv[++i]));
        } else {
            rest.push_back(argv[i]);
        }
    }
    int rest_argc = static_cast<int>(rest.size());
    benchmark::Initialize(&rest_argc, rest.data());

    std::string demo = find_demo(demo_arg);
    std::string board = find_board(board_arg);
    std::printf("bench_zoom: %d x %d window; demo %s; large board %s\n", g_width, g_height,
                demo.empty() ? "(not found)" : demo.c_str(), board.empty() ? "(none: skipped)" : board.c_str());
    if (!demo.empty()) {
        benchmark::RegisterBenchmark("ZoomIn/demo", BM_Zoom, demo)->UseManualTime()->Unit(benchmark::kMillisecond);
    }
    if (!board.empty()) {
        benchmark::RegisterBenchmark("ZoomIn/large_board", BM_Zoom, board)
            ->UseManualTime()
            ->Unit(benchmark::kMillisecond)
            ->MinTime(2.0);
    } else {
        std::printf("bench_zoom: no large board (give --board FILE or TRAZEL_BENCH_BOARD, or build gen_board)\n");
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
