// bench_dxf: DXF written and read by us and by ezdxf on the same 2000-component board in the same run
// (CPU seconds; ezdxf's readfile and saveas timed inside one python run), and the 500 000-Item board's
// DXF written and read in MB/s.
//
//   bench_dxf [--scale FILE] [--board FILE] [--components N] [--reps N] [--no-peer] [--keep]
//
// The comparison board comes from gen_board beside this program; the scale board defaults to the one
// bench/run.sh makes there.  Targets: at least 20x ezdxf both ways, at least 100 MB/s both ways.
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench_support.h"
#include "formats/dxf.h"
#include "loaded_board.h"
#include "model/line_reader.h"
#include "model/model.h"

namespace fs = std::filesystem;
using namespace trazel;

namespace {

constexpr const char* kPython = "/usr/bin/python3";
constexpr double kPeerTarget = 20;
constexpr double kSpeedTarget = 100;

// CPU seconds of this process: the peer is timed in CPU seconds too.
double cpu_s() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

struct Timed {
    double best = 1e30;
    size_t bytes = 0;
    bool ok = true;
    int64_t items = 0;
};

// Writes the Document as DXF into `file`, best CPU time of `reps`.
Timed write_dxf_file(const model::Document& d, const std::string& file, int reps) {
    Timed t;
    for (int k = 0; k < reps; ++k) {
        double t0 = cpu_s();
        model::OutBuffer out;
        bool ok = out.open(file) && formats::write_dxf(d, out) && out.commit();
        t.best = std::min(t.best, cpu_s() - t0);
        t.ok = t.ok && ok;
    }
    std::error_code ec;
    t.bytes = static_cast<size_t>(fs::file_size(file, ec));
    return t;
}

// Reads a DXF file into a fresh model each time, best CPU time of `reps`.
Timed read_dxf_file(const std::string& file, int reps) {
    Timed t;
    for (int k = 0; k < reps; ++k) {
        model::Model m;
        model::Document* d = model::NewDocument("bench.dxf");
        formats::SkipReport skipped;
        formats::ImportQuestions ask;
        formats::ImportJob job;
        job.file = file;
        job.ask = &ask;
        job.skipped = &skipped;
        double t0 = cpu_s();
        model::LineReader in;
        char code = 0;
        if (in.open_file(file)) {
            code = formats::read_dxf(in, *d, job);
        }
        t.best = std::min(t.best, cpu_s() - t0);
        t.ok = t.ok && code == formats::kForcedDxf;
        t.items = 0;
        model::walk_tree(d->ring(), [&](model::Ref, int) { ++t.items; });
    }
    std::error_code ec;
    t.bytes = static_cast<size_t>(fs::file_size(file, ec));
    return t;
}

// ezdxf reads `in` and saves it as `out`, both timed in one python run: CPU seconds of each.
bool peer(const std::string& in, const std::string& out, const fs::path& dir, double& read_s, double& write_s,
          long& entities) {
    fs::path script = dir / "bench_dxf_peer.py";
    std::ofstream(script) << "import sys, time, ezdxf\n"
                             "t = time.process_time()\n"
                             "doc = ezdxf.readfile(sys.argv[1])\n"
                             "r = time.process_time() - t\n"
                             "t = time.process_time()\n"
                             "doc.saveas(sys.argv[2])\n"
                             "w = time.process_time() - t\n"
                             "print(r, w, len(doc.modelspace()))\n";
    fs::path result = dir / "bench_dxf_peer.out";
    int rc = bench::run_process({kPython, script.string(), in, out}, "", result.string(), 1200);
    std::ifstream f(result);
    bool ok = rc == 0 && (f >> read_s >> write_s >> entities);
    if (!ok) {
        std::printf("  ezdxf did not run (status %d); is it installed for %s?\n", rc, kPython);
    }
    return ok;
}

void verdict(const char* what, double value, double target, const char* unit) {
    std::printf("  %-34s %9.1f %-5s target >= %.0f: %s\n", what, value, unit, target,
                value >= target ? "met" : "MISSED");
}

} // namespace

int main(int argc, char** argv) {
    std::string scale = bench::beside("bench_board.pcb").string();
    std::vector<char*> rest{argv[0]};
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]) == "--scale" && i + 1 < argc) {
            scale = argv[++i];
        } else {
            rest.push_back(argv[i]);
        }
    }
    bench::Options o{{}, 2000, 3};
    if (!bench::parse_options(static_cast<int>(rest.size()), rest.data(), o, "bench_dxf [--scale FILE]")) {
        return 2;
    }
    fs::path dir = fs::temp_directory_path() / ("bench_dxf_" + std::to_string(::getpid()));
    fs::create_directories(dir);

    // --- against ezdxf on the comparison board ------------------------------------------------------
    std::string board = o.board.empty() ? bench::gen_board(o.components, dir / "board.pcb", 1) : o.board;
    if (board.empty()) {
        std::printf("bench_dxf: gen_board is not beside this program; comparison skipped\n");
    } else {
        std::string ours = (dir / "board.dxf").string(), theirs = (dir / "board.ezdxf.dxf").string();
        Timed w, r;
        {
            bench::Loaded b;
            if (!b.open(board)) {
                return 1;
            }
            std::printf("DXF against ezdxf: %s, %zu Items, %zu Components (best of %d, CPU seconds)\n", board.c_str(),
                        b.items, b.components, o.reps);
            w = write_dxf_file(*b.d, ours, o.reps);
        }
        r = read_dxf_file(ours, o.reps);
        std::printf("  our write %8.3f s  %7.1f MB  %s\n", w.best, double(w.bytes) / 1e6, w.ok ? "" : "FAILED");
        std::printf("  our read  %8.3f s  %7lld Items  %s\n", r.best, static_cast<long long>(r.items),
                    r.ok ? "" : "(the reader returned no drawing)");
        double pr = 0, pw = 0;
        long entities = 0;
        if (o.peer && peer(ours, theirs, dir, pr, pw, entities)) {
            std::printf("  ezdxf readfile %8.3f s, saveas %8.3f s, %ld entities\n", pr, pw, entities);
            verdict("write: ezdxf saveas / our write", pw / std::max(w.best, 1e-6), kPeerTarget, "x");
            if (r.ok) {
                verdict("read: ezdxf readfile / our read", pr / std::max(r.best, 1e-6), kPeerTarget, "x");
            } else {
                std::printf("  read ratio: no figure while our reader reads nothing\n");
            }
        }
    }

    // --- scale: the 500 000-Item board -------------------------------------------------------------
    if (!fs::exists(scale)) {
        std::printf("bench_dxf: no scale board \"%s\" (bench/run.sh makes it with gen_board); skipped\n",
                    scale.c_str());
    } else {
        std::string out = (dir / "scale.dxf").string();
        Timed w, r;
        {
            bench::Loaded b;
            if (!b.open(scale)) {
                return 1;
            }
            std::printf("DXF at scale: %s, %zu Items\n", scale.c_str(), b.items);
            w = write_dxf_file(*b.d, out, o.reps);
        }
        r = read_dxf_file(out, o.reps);
        double mb = double(w.bytes) / 1e6;
        std::printf("  %.1f MB written in %.3f s, read in %.3f s (%lld Items)\n", mb, w.best, r.best,
                    static_cast<long long>(r.items));
        verdict("write", mb / std::max(w.best, 1e-6), kSpeedTarget, "MB/s");
        if (r.ok) {
            verdict("read", mb / std::max(r.best, 1e-6), kSpeedTarget, "MB/s");
        } else {
            std::printf("  read: no figure while our reader reads nothing\n");
        }
    }
    if (!o.keep) {
        std::error_code ec;
        fs::remove_all(dir, ec);
    } else {
        std::printf("  files kept in %s\n", dir.string().c_str());
    }
    return 0;
}
