// bench_gerber_in: the Gerber import of the top copper and top silk photoplots of the 500 000-Item
// board (ms, MB/s, bytes of memory per Item made), and the drill file of the same run; against gerbv
// loading and exporting the same Gerber files (`gerbv -x rs274x`, one run each, wall time).
//
//   bench_gerber_in [--file GERBER] [--silk GERBER] [--drill FILE] [--reps N] [--no-peer]
//
// Without --file the board comes from gen_board beside this program and is photoplotted by our own run.
// Targets: at least 10 times gerbv's speed, the copper in 0.3 s, 64 bytes per Item.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench_support.h"
#include "cam/photoplot.h"
#include "formats/excellon_in.h"
#include "formats/gerber_in.h"
#include "model/chooser.h"
#include "model/model.h"
#include "platform/headless.h"

#include <unistd.h>

namespace fs = std::filesystem;
using namespace trazel;

namespace {

struct Timed {
    double ms = 0;
    int64_t items = 0;
    uint32_t nodes = 0;
};

Timed import_once(const std::string& path, bool drill) {
    model::Model m;
    model::Document* d = model::NewDocument("bench.top");
    formats::SkipReport skipped;
    formats::ImportJob job;
    job.file = path;
    job.skipped = &skipped;
    formats::ImportStats st;
    model::LineReader in;
    Timed t;
    double t0 = bench::now_ms();
    if (!in.open_file(path)) {
        return t;
    }
    char code = drill ? formats::read_excellon(in, *d, job, &st) : formats::read_gerber(in, *d, job, &st);
    t.ms = bench::now_ms() - t0;
    t.items = code ? st.lines + st.arcs + st.pads + st.solids : 0;
    t.nodes = m.pool.used_count();
    return t;
}

std::vector<std::string> photoplot(const fs::path& board, const fs::path& out) {
    platform::Headless* ui = new platform::Headless;
    platform::install(ui);
    model::Model m;
    model::FormatTable formats;
    model::register_model_formats(formats);
    model::NewDocument("board.pcb");
    std::vector<std::string> written;
    if (!model::OpenDocumentFile(formats, board.string(), 0)) {
        return written;
    }
    fs::create_directories(out);
    cam::PhotoplotOptions opt;
    opt.out_dir = out.string();
    platform::RunContext run(platform::P());
    cam::photoplot_run(*model::M().current, opt, run, &written);
    return written;
}

} // namespace

// gerbv's load and export of a Gerber file, wall time in ms; negative when it failed or complained.
double gerbv_once(const std::string& path, const fs::path& work) {
    fs::path seen = work / "seen.gbr", err = work / "gerbv.err";
    std::string cmd = "timeout 300 gerbv -x rs274x -o '" + seen.string() + "' '" + path + "' >/dev/null 2>'" +
                      err.string() + "' </dev/null";
    double t0 = bench::now_ms();
    int rc = std::system(cmd.c_str());
    double ms = bench::now_ms() - t0;
    bool complained = std::system(("grep -q 'CRITICAL\\|WARNING' '" + err.string() + "'").c_str()) == 0;
    bool ok = rc == 0 && fs::exists(seen) && !complained;
    fs::remove(seen);
    return ok ? ms : -1;
}

int main(int argc, char** argv) {
    std::string file, silk, drill;
    int reps = 3;
    bool peer = true;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--file" && i + 1 < argc) {
            file = argv[++i];
        } else if (a == "--silk" && i + 1 < argc) {
            silk = argv[++i];
        } else if (a == "--no-peer") {
            peer = false;
        } else if (a == "--drill" && i + 1 < argc) {
            drill = argv[++i];
        } else if (a == "--reps" && i + 1 < argc) {
            reps = std::max(1, std::atoi(argv[++i]));
        } else {
            std::fprintf(stderr,
                         "usage: bench_gerber_in [--file GERBER] [--silk GERBER] [--drill FILE] [--reps N] [--no-peer]\n");
            return 2;
        }
    }
    fs::path work = fs::temp_directory_path() / ("trazel-bench-gerber-in-" + std::to_string(::getpid()));
    if (file.empty()) {
        fs::create_directories(work);
        std::string board = bench::gen_board(18600, work / "board.pcb", 1);
        if (board.empty()) {
            std::fprintf(stderr, "bench_gerber_in: gen_board is missing; give --file\n");
            return 1;
        }
        for (const std::string& w : photoplot(board, work / "out")) {
            std::string ext = fs::path(w).extension().string();
            if (ext == ".top" || ext == ".TOP") {
                file = w;
            } else if (ext == ".tss" || ext == ".TSS") {
                silk = w;
            } else if (ext == ".drl" || ext == ".DRL") {
                drill = w;
            }
        }
        if (file.empty()) {
            std::fprintf(stderr, "bench_gerber_in: the run wrote no top copper file\n");
            return 1;
        }
    }
    if (peer && std::system("command -v gerbv >/dev/null 2>&1") != 0) {
        std::printf("gerbv is not installed: timing ours only\n");
        peer = false;
    }
    fs::create_directories(work);
    std::printf("targets: top copper in 300 ms or less, 64 bytes per Item or less, 10x gerbv or more\n");
    auto report = [&](const std::string& path, bool is_drill) {
        std::vector<double> ms;
        Timed t;
        for (int r = 0; r < reps; ++r) {
            t = import_once(path, is_drill);
            ms.push_back(t.ms);
        }
        double med = bench::median(ms);
        double mb = static_cast<double>(fs::file_size(path)) / 1e6;
        std::printf("%-8s %s: %.2f MB, %lld Items, %.1f ms (%.0f MB/s), %.1f bytes per Item in Nodes\n",
                    is_drill ? "drill" : "gerber", fs::path(path).filename().c_str(), mb,
                    static_cast<long long>(t.items), med, mb / (med / 1000.0),
                    t.items ? 36.0 * t.nodes / static_cast<double>(t.items) : 0.0);
        if (is_drill || !peer) {
            return;
        }
        double theirs = gerbv_once(path, work);
        if (theirs < 0) {
            std::printf("         gerbv failed or complained on %s\n", fs::path(path).filename().c_str());
            return;
        }
        std::printf("         gerbv -x rs274x: %.1f ms, %.1fx ours (target >= 10x)\n", theirs, theirs / med);
    };
    report(file, false);
    if (!silk.empty()) {
        report(silk, false);
    }
    if (!drill.empty()) {
        report(drill, true);
    }
    if (fs::exists(work)) {
        fs::remove_all(work);
    }
    return 0;
}
