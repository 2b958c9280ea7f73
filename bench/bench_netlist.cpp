// bench_netlist: the listings (netlist in both layouts, BOM, pin list), the naming pass and netlist input
// on a 20 000-component board, each after reading; then netlist input of the generator's nets into its
// 1000- and 2000-component boards stripped of Signals (read, annotate, write: the whole trazel-cli netin
// run) against pcb-rnd importing the same nets into the Autotrax copy and saving, in the same run.
//
//   bench_netlist [--board FILE] [--components N] [--reps N] [--no-peer] [--keep]
//
// Boards come from gen_board --clean beside this program (seed 11: no net touches another, so the naming
// pass runs through) with the nets it made (--expect); the netlist read in is those nets alone, in the
// bracketed layout.  Our figures are medians of --reps runs (default 3), the peer runs once.
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <unistd.h>

#include "autotrax_copy.h"
#include "bench_support.h"
#include "loaded_board.h"
#include "library/library.h"
#include "nets/bom.h"
#include "nets/net_state.h"
#include "nets/netin.h"
#include "nets/netlist_out.h"
#include "nets/naming.h"
#include "nets/pinlist.h"
#include "platform/headless.h"

namespace fs = std::filesystem;
using namespace trazel;
using bench::Loaded;
using bench::median;
using bench::now_ms;
using bench::sh;
using model::Ref;

namespace {

constexpr unsigned kSeed = 11;
bench::Options g_opt{{}, 20000, 3};
fs::path g_work;

void line(const char* what, double ms, const std::string& note = {}) {
    std::printf("  %-44s %9.1f ms  %s\n", what, ms, note.c_str());
}

// gen_board's board of `components` and its nets ({"NAME": ["REF-PIN", ...]}), made once.
std::string generated(int components, fs::path* expect) {
    fs::path out = g_work / ("gen" + std::to_string(components) + ".pcb");
    *expect = g_work / ("gen" + std::to_string(components) + ".json");
    if (fs::exists(out) && fs::exists(*expect)) {
        return out.string();
    }
    return bench::gen_board(components, out, kSeed, "--clean --expect " + expect->string());
}

// The generator's nets as a bracketed netlist of nets alone.
fs::path nets_file(const fs::path& expect) {
    fs::path out = fs::path(expect).replace_extension(".net");
    std::ifstream in(expect);
    std::ofstream o(out, std::ios::binary);
    for (std::string l; std::getline(in, l);) {
        std::vector<std::string> q;
        for (size_t at = l.find('"'); at != std::string::npos;) {
            size_t end = l.find('"', at + 1);
            q.push_back(l.substr(at + 1, end - at - 1));
            at = l.find('"', end + 1);
        }
        if (q.empty()) {
            continue;
        }
        o << "(\r\n";
        for (const std::string& w : q) {
            o << w << "\r\n";
        }
        o << ")\r\n";
    }
    return out;
}

// The board with every Signal detached, as a Data file beside it.
fs::path stripped(const std::string& board) {
    fs::path out = fs::path(board).replace_extension(".bare.pcb");
    Loaded b;
    if (!b.open(board)) {
        return {};
    }
    model::walk_tree(b.d->ring(), [](Ref r, int) { model::DetachSignal(r); });
    std::string err;
    if (!model::SaveDocumentFile(b.formats, out.string(), 'C', &err)) {
        std::fprintf(stderr, "bench_netlist: cannot write %s: %s\n", out.string().c_str(), err.c_str());
        return {};
    }
    return out;
}

template <class F> double timed(int reps, F&& f) {
    std::vector<double> t;
    for (int k = 0; k < reps; ++k) {
        double t0 = now_ms();
        f();
        t.push_back(now_ms() - t0);
    }
    return median(t);
}

void at_scale() {
    fs::path expect;
    std::string file = g_opt.board.empty() ? generated(g_opt.components, &expect) : g_opt.board;
    auto b = std::make_unique<Loaded>();
    if (file.empty() || !b->open(file)) {
        std::printf("  no board (build gen_board)\n");
        return;
    }
    model::Document& d = *b->d;
    std::tm date = nets::log_date();
    std::printf("%zu Components, %zu Items (read in %.0f ms)\n", b->components, b->items, b->read_ms);
    size_t bytes = 0;
    auto listing = [&](const char* what, auto&& make) {
        std::string text;
        double ms = timed(g_opt.reps, [&] { text = make(); });
        bytes = text.size();
        line(what, ms, "(target 500 ms, " + std::to_string(bytes / 1024) + " KiB)" + (ms > 500 ? " MISSED" : ""));
    };
    listing("netlist, column layout", [&] { return nets::netlist_text(d, nets::NetlistOptions{}, date); });
    listing("netlist, bracketed layout", [&] {
        nets::NetlistOptions o;
        o.bracketed = true;
        return nets::netlist_text(d, o, date);
    });
    listing("bill of materials, column layout", [&] { return nets::bom_text(d, nets::BomOptions{}, date); });
    listing("bill of materials, CSV", [&] {
        nets::BomOptions o;
        o.csv = true;
        return nets::bom_text(d, o, date);
    });
    listing("component pin list", [&] {
        nets::NetState s(d);
        return nets::pin_list_text(s, date);
    });
    {
        int groups = edit::undo_groups(d);
        double ms = timed(1, [&] {
            nets::NetState s(d);
            nets::name_nets(s);
        });
        bench::undo_run(d, groups);
        line("naming pass", ms, std::string("(target 2000 ms)") + (ms > 2000 ? " MISSED" : ""));
    }
    if (!expect.empty()) {
        fs::path nets = nets_file(expect);
        library::LibrarySet libs;
        double ms = timed(g_opt.reps, [&] {
            nets::NetState s(d);
            nets::Log log;
            log.open((g_work / "in.LOG").string(), nets::kNetlistInLogTitle, d.name(), nets::kNetlistInLogWidth,
                     nets::log_date());
            nets::netlist_in(s, {nets.string()}, libs, nets::NetlistInOptions{}, log);
            log.close();
        });
        line("netlist input (nets only)", ms, std::string("(target 1000 ms)") + (ms > 1000 ? " MISSED" : ""));
    }
}

void against_pcb_rnd(int n) {
    fs::path expect;
    std::string file = generated(n, &expect);
    if (file.empty()) {
        std::printf("  no %d-component board (build gen_board)\n", n);
        return;
    }
    fs::path nets = nets_file(expect), bare = stripped(file);
    fs::path cli = bench::beside("trazel-cli"), out = g_work / "annotated.pcb", log = g_work / "netin.LOG";
    std::string cmd = cli.string() + " netin " + bare.string() + " " + nets.string() + " " + out.string() + " --log " +
                      log.string() + " >/dev/null 2>&1";
    int rc = 0;
    double ours = timed(g_opt.reps, [&] { rc = sh(cmd); });
    std::printf("\n%d-component board, generator's nets read into it stripped of Signals\n", n);
    if (rc != 0) {
        std::printf("  %-44s failed (status %d)\n", "trazel-cli netin", rc);
        return;
    }
    line("trazel-cli netin (read, annotate, write)", ours);
    if (!g_opt.peer || sh("command -v pcb-rnd >/dev/null 2>&1") != 0) {
        std::printf("  %-44s not run%s\n", "pcb-rnd", g_opt.peer ? " (not installed)" : "");
        return;
    }
    fs::path atx = g_work / ("board" + std::to_string(n) + "_autotrax.pcb");
    {
        Loaded b;
        if (!b.open(bare.string()) || !bench::write_autotrax(*b.d, atx)) {
            std::printf("  %-44s no Autotrax copy\n", "pcb-rnd");
            return;
        }
    }
    fs::path lht = g_work / "o.lht", said = g_work / "pcb_rnd.out";
    std::string peer = "cd " + g_work.string() + " && printf 'ImportSch(setup, protel_net, " + nets.string() +
                       ")\\nImportSch()\\nSaveTo(LayoutAs," + lht.string() + ",lihata)\\nQuit()\\n' | timeout 600 pcb-rnd --gui batch " +
                       atx.string() + " >" + said.string() + " 2>&1";
    double t0 = now_ms();
    rc = sh(peer);
    double theirs = now_ms() - t0;
    if (rc != 0 || !fs::exists(lht)) {
        std::printf("  %-44s failed (status %d, see %s)\n", "pcb-rnd", rc, said.string().c_str());
        return;
    }
    line("pcb-rnd ImportSch, SaveTo", theirs);
    std::printf("  %-44s %9.1fx faster (target 10x)\n", "ratio", theirs / std::max(ours, 1e-3));
}

} // namespace

int main(int argc, char** argv) {
    if (!bench::parse_options(argc, argv, g_opt, "bench_netlist")) {
        return 2;
    }
    g_work = fs::temp_directory_path() / ("trazel-bench-netlist-" + std::to_string(::getpid()));
    fs::create_directories(g_work);
    platform::Headless ui;
    platform::install(&ui);
    std::printf("bench_netlist (median of %d runs)\n", g_opt.reps);
    at_scale();
    against_pcb_rnd(1000);
    against_pcb_rnd(2000);
    if (g_opt.keep) {
        std::printf("kept %s\n", g_work.string().c_str());
    } else {
        fs::remove_all(g_work);
    }
    return 0;
}
