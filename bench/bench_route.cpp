// bench_route: `trazel-cli route` against pcb-rnd's AutoRoute on the same generated boards in the same
// run, then the router at scale.
//
//   bench_route [--board FILE] [--components N] [--reps N] [--no-peer] [--keep]
//
// Boards: gen_board --clean beside this program (seed 1), with two routing layers (top copper X, bottom
// copper Y), 12-mil tracks and 35/15-mil vias set before routing.  pcb-rnd routes the gEDA PCB copy of
// the same board (bench/geda_copy.h: our pads and pin numbers, the same nets, no tracks: ours starts by
// clearing the pre-routes).  5 and 20 components by default, 50 more with BENCH_LONG=1 (pcb-rnd has been
// seen to take about a minute there on a busy machine).  --board routes that board instead; --components sets the size of the
// all-flags scale board (default 1000).
//
// Completion: ours is connections routed of the Ratnest lines (the log's Totals line), plus the nets
// the net scan of the result finds whole; pcb-rnd's "I: X of Y nets successfully routed." counts what it
// calls nets, which are its rat lines (on these boards Y is the pins named in the netlist less the
// nets, the connections of a spanning tree), so the two percentages compare like for like.  Our times
// are medians of --reps runs of the whole command (read, route, write); pcb-rnd runs once.
//
// Quality: both results go through the tests' independent copper check (union-find of touching copper
// and the board's clearances): pcb-rnd's tracks and vias, read back from the board it saves, are laid
// onto our copy of the board for it.  Shorts, clearance faults and the connections copper really joins.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "../tests/cli/copper_check.h"
#include "bench_support.h"
#include "geda_copy.h"
#include "loaded_board.h"
#include "model/chooser.h"
#include "model/model.h"

namespace fs = std::filesystem;
using namespace trazel;
using model::Ref;

namespace {

constexpr unsigned kSeed = 1;
const std::string kAllFlags = "clear,straight,bus,inline,L,Z,C,snake";
const std::string kBasic = "clear,straight,bus,inline,L";

bench::Options g_opt{{}, 1000, 3};
bool g_long = false;
bool g_route_missing = false; // the verb answered "not built yet"
fs::path g_work;

using bench::now_ms;
using bench::sh;

std::string slurp(const fs::path& p) {
    std::ifstream f(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), {});
}

std::string q(const std::string& s) {
    std::string out = "'";
    for (char c : s) {
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return out + "'";
}

// The board to route: generated --clean, then given the benchmark's track and via sizes and layer
// directions, saved as NAME.pcb, with its gEDA copy NAME.gpcb.  Returns "" when it could not be made.
std::string prepare(int components, const std::string& given = {}) {
    std::string name = given.empty() ? "clean" + std::to_string(components) : fs::path(given).stem().string();
    fs::path raw = g_work / (name + ".raw.pcb"), out = g_work / (name + ".pcb");
    if (fs::exists(out)) {
        return out.string();
    }
    std::string src = given.empty() ? bench::gen_board(components, raw, kSeed, "--clean") : given;
    if (src.empty()) {
        return {};
    }
    auto b = std::make_unique<bench::Loaded>();
    if (!b->open(src)) {
        return {};
    }
    model::Setup& s = b->d->setup;
    auto mils = [](int m) { return static_cast<model::Coord>((m * 65536 + 500) / 1000); };
    s.line_width = mils(12);
    s.via_diameter = mils(35);
    s.via_hole = mils(15);
    std::string why;
    if (!model::SaveDocumentFile(b->formats, out.string(), 'C', &why)) {
        std::fprintf(stderr, "cannot write %s: %s\n", out.string().c_str(), why.c_str());
        return {};
    }
    bench::write_geda(*b->d, g_work / (name + ".gpcb"));
    return out.string();
}

struct Ours {
    bool ran = false;
    double ms = 0, route_s = 0; // the whole command; the phases' time from the log
    long total = 0, routed = 0; // Ratnest lines after sorting; routed by the passes
    long nets = 0, whole_nets = 0;
};

// The log's "Sorting ratnest lines:" count and its Totals line.
bool read_log(const fs::path& log, Ours& r) {
    std::string t = slurp(log);
    size_t s = t.find("Sorting ratnest lines:"), at = t.find("\nTotals:");
    if (at == std::string::npos) {
        return false;
    }
    double ratio = 0, percent = 0;
    if (std::sscanf(t.c_str() + at + 8, "%ld %ld %lf %lf%% %lf", &r.total, &r.routed, &ratio, &percent, &r.route_s) !=
        5) {
        return false;
    }
    if (s != std::string::npos) {
        std::sscanf(t.c_str() + s + 22, "%ld", &r.total);
    }
    return true;
}

// Nets the net scan finds whole in the routed board: scanned nets less those with a "Discontinuity".
void whole_nets(const fs::path& board, Ours& r) {
    fs::path log = g_work / "scan.log";
    fs::path cli = bench::beside("trazel-cli");
    if (sh(q(cli.string()) + " netscan " + q(board.string()) + " --log " + q(log.string()) + " >/dev/null 2>&1") != 0) {
        return;
    }
    std::set<std::string> broken;
    std::istringstream in(slurp(log));
    for (std::string l; std::getline(in, l);) {
        if (l.find("Discontinuity from") != std::string::npos) {
            broken.insert(l.substr(0, l.find(' ')));
        }
        size_t at = l.find(" net");
        if (l.find(" scanned, ") != std::string::npos && at != std::string::npos) {
            r.nets = std::atol(l.c_str());
        }
    }
    r.whole_nets = r.nets - static_cast<long>(broken.size());
}

Ours route(const std::string& board, const std::string& passes, int reps, bool per_net,
           const fs::path& out = g_work / "routed.pcb") {
    Ours r;
    if (g_route_missing) {
        return r;
    }
    fs::path cli = bench::beside("trazel-cli"), log = g_work / "route.log",
             err = g_work / "route.err";
    std::vector<std::string> cmd = {cli.string(), "route",       board,     out.string(), "--passes", passes,
                                    "--direction", "3=X",       "--direction", "4=Y",  "--log",   log.string()};
    std::vector<double> t;
    for (int k = 0; k < reps; ++k) {
        double t0 = now_ms();
        int rc = bench::run_process(cmd, {}, err.string());
        t.push_back(now_ms() - t0);
        if (rc != 0) {
            std::string e = slurp(err);
            g_route_missing = rc == 2 && e.find("not built yet") != std::string::npos;
            std::printf("  %-44s %s", "trazel-cli route", g_route_missing ? "not built yet\n" : ("failed: " + e).c_str());
            return r;
        }
    }
    r.ms = bench::median(t);
    r.ran = read_log(log, r);
    if (r.ran && per_net) {
        whole_nets(out, r);
    }
    return r;
}

struct Peer {
    bool ran = false;
    double ms = 0;
    long routed = 0, total = 0, vias = 0;
    std::string note;
};

Peer pcb_rnd(const fs::path& copy, const fs::path& saved, int timeout_s) {
    Peer p;
    fs::path out = g_work / "pcb_rnd.out";
    // Quit(force): a plain Quit() on the modified board asks "OK to lose data?" for ever.
    fs::path script = g_work / "pcb_rnd.script";
    {
        std::ofstream f(script);
        f << "AddRats(AllRats)\nAutoRoute(AllRats)\nSaveTo(LayoutAs," << saved.string() << ",pcb)\nQuit(force)\n";
    }
    // Both programs are started the same way, without a shell, so neither pays for one.
    double t0 = now_ms();
    int rc = bench::run_process({"pcb-rnd", "--gui", "batch", copy.string()}, script.string(), out.string(), timeout_s);
    p.ms = now_ms() - t0;
    std::istringstream in(slurp(out));
    for (std::string l; std::getline(in, l);) {
        long x = 0, y = 0;
        if (std::sscanf(l.c_str(), "I: %ld of %ld nets successfully routed.", &x, &y) == 2) {
            p.routed = x;
            p.total = y;
            p.ran = true;
        }
        size_t at = l.find(" vias added");
        if (at != std::string::npos) {
            size_t comma = l.rfind(", ", at);
            p.vias = comma == std::string::npos ? 0 : std::atol(l.c_str() + comma + 2);
        }
    }
    if (rc == 124) {
        p.note = "timed out after " + std::to_string(timeout_s) + " s";
    } else if (rc != 0) {
        p.note = "exit status " + std::to_string(rc) + " after routing";
    }
    for (const fs::path& f : fs::directory_iterator(g_work)) {
        if (f.filename().string().rfind("PCB.", 0) == 0) {
            fs::remove(f); // its emergency save on quit
        }
    }
    return p;
}

// A gEDA length ("12.5mil", "317500nm", "0.3mm", or 1/100 mil without a unit) in coordinate units.
double geda_length(const std::string& t) {
    char* end = nullptr;
    double v = std::strtod(t.c_str(), &end);
    std::string unit = end ? end : "";
    double inch = unit == "nm" ? v / 25.4e6 : unit == "um" ? v / 25.4e3 : unit == "mm" ? v / 25.4
                 : unit == "mil" ? v / 1000 : unit == "in" ? v : v / 100000;
    return inch * 65536;
}

// The fields inside the brackets of a "Word[...]" line.
std::vector<std::string> bracket_fields(const std::string& l) {
    std::vector<std::string> f;
    std::istringstream in(l.substr(l.find('[') + 1, l.rfind(']') - l.find('[') - 1));
    for (std::string w; in >> w;) {
        f.push_back(w);
    }
    return f;
}

// Lays the tracks and vias of pcb-rnd's saved board onto ours (layer "top" to 3, "bottom" to 4), Y
// turned back about the board's height; returns the number laid.
long lay_peer_copper(model::Document& d, const fs::path& saved) {
    std::istringstream in(slurp(saved));
    double height = 0;
    int layer = 0;
    long laid = 0;
    for (std::string l; std::getline(in, l);) {
        size_t b = l.find_first_not_of(" \t");
        if (b == std::string::npos) {
            continue;
        }
        l = l.substr(b);
        if (l.rfind("PCB[", 0) == 0) {
            std::vector<std::string> f = bracket_fields(l);
            height = f.size() >= 3 ? geda_length(f[2]) : 0;
        } else if (l.rfind("Layer(", 0) == 0) {
            layer = l.find("\"top\"") != std::string::npos ? 3 : l.find("\"bottom\"") != std::string::npos ? 4 : 0;
        } else if (l.rfind("Via[", 0) == 0) {
            std::vector<std::string> f = bracket_fields(l);
            if (f.size() >= 6) {
                Ref v = model::MakeItem(d.ring(), model::kPad, 0, 3, std::lround(geda_length(f[0])),
                                        std::lround(height - geda_length(f[1])), 0, 0);
                model::node(v).pad.width = model::node(v).pad.height = static_cast<model::Length>(geda_length(f[2]));
                model::node(v).pad.hole = static_cast<model::Length>(geda_length(f[5]));
                ++laid;
            }
        } else if (l.rfind("Line[", 0) == 0 && layer != 0) {
            std::vector<std::string> f = bracket_fields(l);
            if (f.size() >= 5) {
                model::MakeItem(d.ring(), model::kLine, static_cast<uint8_t>(layer),
                                static_cast<uint16_t>(std::lround(geda_length(f[4]))), std::lround(geda_length(f[0])),
                                std::lround(height - geda_length(f[1])), std::lround(geda_length(f[2])),
                                std::lround(height - geda_length(f[3])));
                ++laid;
            }
        }
    }
    return laid;
}

void print_check(const char* what, const copper_check::Check& c) {
    std::printf("  %-44s %ld shorts, %zu clearance faults, copper joins %ld of %ld connections\n", what,
                static_cast<long>(c.shorts.size()), c.faults.size(), c.joined, c.joined + c.open);
    if (!c.faults.empty()) {
        double worst = c.faults.front().gap;
        for (const copper_check::Fault& f : c.faults) {
            worst = std::min(worst, f.gap);
        }
        std::printf("  %-44s smallest gap %s mil\n", "", copper_check::mils(worst).c_str());
    }
}

// The gEDA copy's connections: the pins its netlist names less its nets.
long copy_connections(const fs::path& copy) {
    std::string t = slurp(copy);
    long pins = 0, nets = 0;
    for (size_t at = t.find("Connect("); at != std::string::npos; at = t.find("Connect(", at + 1)) {
        ++pins;
    }
    for (size_t at = t.find("\tNet("); at != std::string::npos; at = t.find("\tNet(", at + 1)) {
        ++nets;
    }
    return pins - nets;
}

double pct(long a, long b) {
    return b > 0 ? 100.0 * static_cast<double>(a) / static_cast<double>(b) : 0.0;
}

void print_ours(const char* what, const Ours& r) {
    if (!r.ran) {
        return;
    }
    std::printf("  %-44s %6ld of %-6ld (%6.2f%%) %9.1f ms  (routing %.3f s)\n", what, r.routed, r.total,
                pct(r.routed, r.total), r.ms, r.route_s);
    if (r.nets > 0) {
        std::printf("  %-44s %6ld of %-6ld (%6.2f%%) nets whole (net scan of the result)\n", "", r.whole_nets, r.nets,
                    pct(r.whole_nets, r.nets));
    }
}

// `given` routes that board instead of a generated one.
void against_peer(int components, const std::string& given = {}) {
    std::string board = prepare(components, given);
    if (board.empty()) {
        std::printf("\n%s: no board (build gen_board)\n", given.empty() ? std::to_string(components).c_str() : given.c_str());
        return;
    }
    fs::path copy = fs::path(board).replace_extension(".gpcb");
    std::printf("\n%s (%s; gEDA copy: %ld connections)\n",
                given.empty() ? (std::to_string(components) + " components").c_str() : given.c_str(), board.c_str(),
                copy_connections(copy));
    fs::path ours_out = g_work / "routed_all.pcb";
    Ours all = route(board, kAllFlags, g_opt.reps, true, ours_out);
    print_ours("trazel route, all flags", all);
    Ours basic = route(board, kBasic, g_opt.reps, true);
    print_ours("trazel route, basic passes", basic);
    if (!g_opt.peer || sh("command -v pcb-rnd >/dev/null 2>&1") != 0) {
        std::printf("  %-44s not run%s\n", "pcb-rnd AutoRoute", g_opt.peer ? " (not installed)" : "");
        return;
    }
    fs::path saved = g_work / "pcb_rnd_routed.pcb";
    fs::remove(saved);
    Peer p = pcb_rnd(copy, saved, 600);
    if (!p.ran) {
        std::printf("  %-44s no result line (%s)\n", "pcb-rnd AutoRoute", p.note.c_str());
        return;
    }
    std::printf("  %-44s %6ld of %-6ld (%6.2f%%) %9.1f ms  (%ld vias%s%s)\n", "pcb-rnd AutoRoute (its \"nets\")", p.routed,
                p.total, pct(p.routed, p.total), p.ms, p.vias, p.note.empty() ? "" : "; ", p.note.c_str());
    if (all.ran) {
        std::printf("  %-44s %+6.2f points (target: not below)\n", "completion, all flags against pcb-rnd",
                    pct(all.routed, all.total) - pct(p.routed, p.total));
        std::printf("  %-44s %9.1fx faster (target 10x)\n", "time, pcb-rnd / all flags", p.ms / std::max(all.ms, 1e-3));
    }
    if (basic.ran) {
        std::printf("  %-44s %9.1fx faster\n", "time, pcb-rnd / basic passes", p.ms / std::max(basic.ms, 1e-3));
    }
    std::printf("  copper check (the clearances of our board: line-line, line-pad, pad-pad)\n");
    if (all.ran) {
        copper_check::Board b(ours_out.string());
        if (b.d != nullptr) {
            print_check("  trazel, all flags", copper_check::Check(*b.d));
        }
    }
    if (fs::exists(saved)) {
        copper_check::Board b(board);
        if (b.d != nullptr) {
            // Our board as given to the router: its pre-routes go first, as ours clears them.
            std::vector<Ref> doomed;
            for (Ref r : model::items_in(b.d->ring())) {
                const model::Node& n = model::node(r);
                bool track = (n.item_kind() == model::kLine && n.size != 0) || n.item_kind() == model::kArc;
                if ((track && b.d->setup.layers[n.layer].kind() == model::kLayerCopper) ||
                    (n.item_kind() == model::kPad && (n.size & 7) == 3)) {
                    doomed.push_back(r);
                }
            }
            for (Ref r : doomed) {
                model::DeleteItem(r);
            }
            long laid = lay_peer_copper(*b.d, saved);
            print_check(("  pcb-rnd (" + std::to_string(laid) + " tracks and vias)").c_str(), copper_check::Check(*b.d));
        }
    }
}

void scale(int components, const std::string& passes, const char* what, double target_s) {
    if (g_route_missing) {
        std::printf("\n%d components, %s: trazel-cli route not built yet\n", components, what);
        return;
    }
    std::string board = prepare(components);
    if (board.empty()) {
        std::printf("\n%d components: no board (build gen_board)\n", components);
        return;
    }
    std::printf("\n%d components, %s\n", components, what);
    Ours r = route(board, passes, 1, passes == kAllFlags);
    print_ours(what, r);
    if (r.ran) {
        std::printf("  %-44s %9.3f s  (target %.0f s%s)\n", "routing time (the log's Totals)", r.route_s, target_s,
                    r.route_s <= target_s ? "" : ", MISSED");
    }
}

} // namespace

int main(int argc, char** argv) {
    if (!bench::parse_options(argc, argv, g_opt, "bench_route")) {
        return 2;
    }
    const char* long_run = std::getenv("BENCH_LONG");
    g_long = long_run && std::string(long_run) == "1";
    g_work = fs::temp_directory_path() / ("trazel-bench-route-" + std::to_string(::getpid()));
    fs::create_directories(g_work);
    std::printf("bench_route (ours: median of %d runs of the whole command; pcb-rnd once)\n", g_opt.reps);
    if (!g_opt.board.empty()) {
        against_peer(0, g_opt.board);
    } else {
        for (int n : {5, 20, 50}) {
            if (n == 50 && !g_long) {
                std::printf("\n50 components: skipped (BENCH_LONG=1 runs it; pcb-rnd may take a minute)\n");
                continue;
            }
            against_peer(n);
        }
        scale(20000, kBasic, "basic passes", 5);
        scale(g_opt.components, kAllFlags, "all flags", 60);
    }
    if (!g_opt.keep) {
        fs::remove_all(g_work);
    } else {
        std::printf("kept %s\n", g_work.string().c_str());
    }
    return 0;
}
