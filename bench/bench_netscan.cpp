// bench_netscan: the logged net scan with clearances (NG) and the Ratnest (NR) on a 20 000-component
// board, indexed and plain; then the same scan against pcb-rnd's DRC (from the Autotrax copy) on a
// 500-component board (2000 with BENCH_LONG=1) and against KiCad's DRC (through its Python module) on a
// 2000-component board, in the same run.
//
//   bench_netscan [--board FILE] [--components N] [--reps N] [--no-peer] [--keep]
//
// Boards come from gen_board --clean beside this program (seed 11, the boards of the KiCad interop test:
// no net touches or comes near another) and carry its clearances.  Our figures are medians of --reps runs (default 3), each run undone before the
// next; the peers run once.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

#include "autotrax_copy.h"
#include "bench_support.h"
#include "loaded_board.h"
#include "edit/undo.h"
#include "kicad_copy.h"
#include "model/chooser.h"
#include "model/model.h"
#include "nets/net_state.h"
#include "nets/netlog.h"
#include "nets/ratnest.h"
#include "platform/headless.h"

namespace fs = std::filesystem;
using namespace trazel;
using model::Ref;

namespace {

constexpr unsigned kSeed = 11;
// The plain method compares every queued Item with the whole board: about 1 s at 200 components, 10 s
// at 500 and more than 5 minutes at 2000 here.  It runs only on boards up to this size.
constexpr int kPlainLimit = 500;

bench::Options g_opt{{}, 20000, 3};
bool g_long = false;
fs::path g_work;

using bench::beside;
using bench::median;
using bench::now_ms;
using bench::Loaded;
using bench::sh;
using bench::undo_run;

std::string generated(int components) {
    fs::path out = g_work / ("clean" + std::to_string(components) + ".pcb");
    if (fs::exists(out)) {
        return out.string();
    }
    return bench::gen_board(components, out, kSeed, "--clean");
}

struct Scan {
    double ms = 0;
    nets::ScanSummary summary;
};

// One logged scan into a log file, index built inside the timing (NG builds it too).
Scan scan_once(model::Document& d, bool plain) {
    int groups = edit::undo_groups(d);
    Scan r;
    double t0 = now_ms();
    nets::NetState s(d);
    s.plain = plain;
    nets::Log log;
    log.open((g_work / "scan.LOG").string(), "NETSCAN ERROR LOG", d.name(), 79, nets::log_date());
    r.summary = nets::write_net_scan_log(s, log);
    log.close();
    r.ms = now_ms() - t0;
    undo_run(d, groups);
    return r;
}

Scan scan(model::Document& d, bool plain, int reps) {
    std::vector<double> t;
    Scan r;
    for (int k = 0; k < reps; ++k) {
        r = scan_once(d, plain);
        t.push_back(r.ms);
    }
    r.ms = median(t);
    return r;
}

double ratnest(model::Document& d, bool plain, int reps, int* added) {
    std::vector<double> t;
    for (int k = 0; k < reps; ++k) {
        int groups = edit::undo_groups(d);
        double t0 = now_ms();
        nets::NetState s(d);
        s.plain = plain;
        nets::prepare_ratnest_layer(d.setup);
        *added = nets::build_ratnest(s);
        t.push_back(now_ms() - t0);
        undo_run(d, groups);
    }
    return median(t);
}

// Deletes every track and arc on the copper (not recorded): NR then has every pad of a Signal to join.
size_t strip_tracks(model::Document& d) {
    std::vector<Ref> doomed;
    for (Ref r : model::items_in(d.ring())) {
        const model::Node& n = model::node(r);
        if ((n.item_kind() == model::kLine || n.item_kind() == model::kArc) && n.size != 0 &&
            nets::conductive_layer(d.setup, n.layer)) {
            doomed.push_back(r);
        }
    }
    for (Ref r : doomed) {
        model::DeleteItem(r);
    }
    return doomed.size();
}

// The nets a log says are crosslinked (the first word of each "Crosslinked to" line).
std::set<std::string> crosslinked_nets(const fs::path& log) {
    std::set<std::string> out;
    std::ifstream in(log, std::ios::binary);
    for (std::string l; std::getline(in, l);) {
        if (l.find("Crosslinked to ") != std::string::npos) {
            out.insert(l.substr(0, l.find(' ')));
        }
    }
    return out;
}

// Deletes the tracks, arcs and vias of the named nets (not recorded).
size_t unroute(model::Document& d, const std::set<std::string>& names) {
    std::vector<Ref> doomed;
    model::walk_tree(d.ring(), [&](Ref r, int) {
        const model::Node& n = model::node(r);
        Ref sig = model::item_signal(r);
        bool copper = n.item_kind() == model::kLine || n.item_kind() == model::kArc ||
                      (n.item_kind() == model::kPad && (n.size & 7) == 3);
        if (copper && sig != model::kNone && names.count(model::signal_name(sig))) {
            doomed.push_back(r);
        }
    });
    for (Ref r : doomed) {
        model::DeleteItem(r);
    }
    return doomed.size();
}

void report(const char* what, double ms, double target) {
    std::printf("  %-40s %9.1f ms  (target %.0f ms%s)\n", what, ms, target, ms <= target ? "" : ", MISSED");
}

void line(const char* what, double ms, const std::string& note = "") {
    std::printf("  %-40s %9.1f ms%s%s\n", what, ms, note.empty() ? "" : "  ", note.c_str());
}

std::string clearances(const model::Setup& s) {
    char b[96];
    std::snprintf(b, sizeof b, "clearances %.3f/%.3f/%.3f inch (line-line/line-pad/pad-pad)",
                  s.clear_line_line / 65536.0, s.clear_line_pad / 65536.0, s.clear_pad_pad / 65536.0);
    return b;
}

void big_board() {
    std::string file = g_opt.board.empty() ? generated(g_opt.components) : g_opt.board;
    if (file.empty()) {
        std::printf("  no board (build gen_board or give --board)\n");
        return;
    }
    auto b = std::make_unique<Loaded>();
    if (!b->open(file)) {
        return;
    }
    model::Document& d = *b->d;
    std::printf("\n%zu Components, %zu Items, %zu Signals (read in %.0f ms), %s\n", b->components, b->items,
                model::M().signal_index.size(), b->read_ms, clearances(d.setup).c_str());
    Scan s = scan(d, false, g_opt.reps);
    report("logged scan with clearances (NG)", s.ms, 2000);
    std::printf("    %s\n", nets::summary_line(s.summary).c_str());
    int added = 0;
    double nr = ratnest(d, false, g_opt.reps, &added);
    report("ratnest of every Signal (NR)", nr, 1000);
    std::printf("    %d lines added (a pad that a track ends on starts joined)\n", added);
    bool plain = static_cast<int>(b->components) <= kPlainLimit;
    if (plain) {
        line("logged scan, plain method", scan(d, true, 1).ms);
        line("ratnest, plain method", ratnest(d, true, 1, &added));
    }
    // On a board given with --board nets may touch, and the scan of every such net traces the whole
    // cluster of nets it touches before it reports the crosslink.  The same board with those nets'
    // tracks, arcs and vias deleted shows the scan on separate nets (nothing to do on a clean board).
    std::set<std::string> crossed = crosslinked_nets(g_work / "scan.LOG");
    if (!crossed.empty()) {
        size_t unrouted = unroute(d, crossed);
        Scan apart = scan(d, false, g_opt.reps);
        report("NG with the crosslinked nets unrouted", apart.ms, 2000);
        std::printf("    %zu tracks, arcs and vias deleted; %s\n", unrouted,
                    nets::summary_line(apart.summary).c_str());
    }
    size_t gone = strip_tracks(d);
    nr = ratnest(d, false, g_opt.reps, &added);
    line("NR with every track deleted", nr);
    std::printf("    %zu tracks and arcs deleted, %d lines added\n", gone, added);
    if (plain) {
        line("the same, plain method", ratnest(d, true, 1, &added));
    } else {
        std::printf("  plain method: not run on this board (the logged scan takes minutes above %d components; "
                    "see the %d-component board below)\n",
                    kPlainLimit, kPlainLimit);
    }
}


// pcb-rnd's DRC on the Autotrax copy: the whole run (load, DRC, quit) and the DRC alone, between two
// clock stamps written by System() (pcb-rnd puts the design name for "%N" in System() text, so the
// clock is read by a script).  Its clearance is the board's smallest.  Returns false when it failed.
bool pcb_rnd_drc(const fs::path& at, double clearance_mil, double* whole_ms, double* drc_ms, std::string* findings) {
    fs::path stamps = g_work / "stamps.txt", stamp = g_work / "stamp.sh", out = g_work / "pcb_rnd.out";
    {
        std::ofstream s(stamp);
        s << "#!/bin/sh\ndate +%s.%N >> " << stamps.string() << "\n";
    }
    fs::permissions(stamp, fs::perms::owner_all);
    fs::remove(stamps);
    char clear[64];
    std::snprintf(clear, sizeof clear, "%.2fmil", clearance_mil);
    std::string cmd = "cd " + g_work.string() + " && printf 'System(" + stamp.string() + ")\\nDRC(dump)\\nSystem(" +
                      stamp.string() + ")\\nQuit()\\n' | timeout 1800 pcb-rnd --gui batch -c design/drc/min_copper_clearance=" +
                      clear + " -c design/bloat=" + clear + " " + at.string() + " >" + out.string() + " 2>&1";
    double t0 = now_ms();
    int rc = sh(cmd);
    *whole_ms = now_ms() - t0;
    std::ifstream s(stamps);
    double t1 = 0, t2 = 0;
    if (rc != 0 || !(s >> t1 >> t2)) {
        std::printf("  %-40s failed (status %d, see %s)\n", "pcb-rnd", rc, out.string().c_str());
        return false;
    }
    *drc_ms = (t2 - t1) * 1000.0;
    // The dump: a record per finding, "V<n>" then "T<type>" and more lines.
    std::ifstream o(out);
    std::map<std::string, int> kinds;
    for (std::string l; std::getline(o, l);) {
        if (l.size() > 1 && l[0] == 'T' && l[1] != ' ') {
            ++kinds[l.substr(1)];
        }
    }
    findings->clear();
    for (auto& [kind, count] : kinds) {
        *findings += (findings->empty() ? "" : ", ") + std::to_string(count) + " " + kind;
    }
    if (findings->empty()) {
        *findings = "no findings";
    }
    return true;
}

void against_pcb_rnd() {
    int n = g_long ? 2000 : 500;
    std::string file = generated(n);
    auto b = std::make_unique<Loaded>();
    if (file.empty() || !b->open(file)) {
        std::printf("  no %d-component board (build gen_board)\n", n);
        return;
    }
    model::Document& d = *b->d;
    fs::path at = g_work / ("board" + std::to_string(n) + "_autotrax.pcb");
    bench::write_autotrax(d, at);
    std::printf("\n%d-component board: %zu Items, Autotrax copy %.2f MB, %s\n", n, b->items,
                static_cast<double>(fs::file_size(at)) / 1e6, clearances(d.setup).c_str());
    Scan s = scan(d, false, g_opt.reps);
    line("trazel read", b->read_ms);
    line("trazel logged scan (NG), indexed", s.ms, nets::summary_line(s.summary));
    if (n <= kPlainLimit) {
        Scan p = scan(d, true, 1);
        line("trazel logged scan (NG), plain", p.ms, "(" + std::to_string(static_cast<int>(p.ms / std::max(s.ms, 1e-3))) + "x the indexed time)");
    } else {
        std::printf("  %-40s not run (minutes at %d components)\n", "trazel logged scan (NG), plain", n);
    }
    if (!g_opt.peer || sh("command -v pcb-rnd >/dev/null 2>&1") != 0) {
        std::printf("  %-40s not run%s\n", "pcb-rnd", g_opt.peer ? " (not installed)" : "");
        return;
    }
    double clear = std::min({d.setup.clear_line_line, d.setup.clear_line_pad, d.setup.clear_pad_pad}) * 1000.0 / 65536.0;
    double whole = 0, drc = 0;
    std::string findings;
    if (!pcb_rnd_drc(at, clear, &whole, &drc, &findings)) {
        return;
    }
    line("pcb-rnd load, DRC(dump), quit", whole, "(" + findings + ")");
    line("pcb-rnd DRC(dump) alone", drc);
    double ours = b->read_ms + s.ms;
    std::printf("  %-40s %9.1fx faster (target 10x)\n", "ratio, whole runs (read + scan)", whole / std::max(ours, 1e-3));
    std::printf("  %-40s %9.1fx faster\n", "ratio, check alone", drc / std::max(s.ms, 1e-3));
}

void against_kicad() {
    const int n = 2000;
    std::string file = generated(n);
    auto b = std::make_unique<Loaded>();
    if (file.empty() || !b->open(file)) {
        std::printf("  no %d-component board (build gen_board)\n", n);
        return;
    }
    model::Document& d = *b->d;
    Scan s = scan(d, false, g_opt.reps);
    std::printf("\n%d-component board: %zu Items, %s\n", n, b->items, clearances(d.setup).c_str());
    line("trazel read", b->read_ms);
    line("trazel logged scan (NG), indexed", s.ms, nets::summary_line(s.summary));
    if (!g_opt.peer || !bench::kicad::present()) {
        std::printf("  %-40s not run%s\n", "KiCad",
                    g_opt.peer ? " (its pcbnew module is not installed: make deps-kicad)" : "");
        return;
    }
    fs::path listing = g_work / ("board" + std::to_string(n) + ".txt");
    bench::kicad::write_listing(d, listing,
                                std::min({d.setup.clear_line_line, d.setup.clear_line_pad, d.setup.clear_pad_pad}));
    std::string err;
    double t0 = now_ms();
    bench::kicad::Report r = bench::kicad::run_drc(listing, g_work, &err);
    double whole = now_ms() - t0;
    if (!r.read) {
        std::printf("  %-40s failed (%s)\n", "KiCad", err.c_str());
        return;
    }
    line("KiCad build file, load, DRC report", whole,
         "(" + std::to_string(r.violations) + " violations, " + std::to_string(r.unconnected) + " unconnected)");
    line("KiCad load", r.load_seconds * 1000.0);
    line("KiCad DRC (WriteDRCReport)", r.drc_seconds * 1000.0);
    double ours = b->read_ms + s.ms;
    std::printf("  %-40s %9.1fx faster (target 10x)\n", "ratio, load and check",
                (r.load_seconds + r.drc_seconds) * 1000.0 / std::max(ours, 1e-3));
    std::printf("  %-40s %9.1fx faster\n", "ratio, check alone", r.drc_seconds * 1000.0 / std::max(s.ms, 1e-3));
}

} // namespace

int main(int argc, char** argv) {
    if (!bench::parse_options(argc, argv, g_opt, "bench_netscan")) {
        return 2;
    }
    const char* long_run = std::getenv("BENCH_LONG");
    g_long = long_run && std::string(long_run) == "1";
    g_work = fs::temp_directory_path() / ("trazel-bench-netscan-" + std::to_string(::getpid()));
    fs::create_directories(g_work);
    platform::Headless quiet;
    platform::install(&quiet);
    std::printf("bench_netscan (median of %d runs)\n", g_opt.reps);
    big_board();
    against_pcb_rnd();
    against_kicad();
    platform::install(nullptr);
    if (!g_opt.keep) {
        fs::remove_all(g_work);
    } else {
        std::printf("kept %s\n", g_work.string().c_str());
    }
    return 0;
}
