// bench_block: the Block commands and the document-wide edits on a 500 000-Item board, and a Block
// turned and moved on a 2000-component board by us and by pcb-rnd (from the Autotrax copy) in one run.
//
//   bench_block [--board FILE] [--components N] [--reps N] [--no-peer] [--keep]
//
// Each figure is the median of --reps runs (default 5); every change is undone (untimed) before the
// next run, so each run starts from the same board.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <unistd.h>

#include "autotrax_copy.h"
#include "bench_support.h"
#include "edit/block.h"
#include "edit/resequence.h"
#include "edit/snap_all.h"
#include "edit/spatial_index.h"
#include "edit/undo.h"
#include "model/chooser.h"
#include "model/model.h"
#include "platform/headless.h"

namespace fs = std::filesystem;
using namespace trazel;
using model::Coord;
using model::Point;
using model::Ref;

namespace {

bench::Options g_opt{{}, 2000, 5};
fs::path g_work;

using bench::beside;
using bench::median;
using bench::now_ms;

// The board: --board, else the one bench/run.sh made beside us, else gen_board's.
bool load(model::FormatTable& formats, const std::string& file) {
    model::NewDocument(file);
    std::string err;
    if (model::OpenDocumentFile(formats, file, 0, &err) == 0) {
        std::fprintf(stderr, "bench_block: cannot read %s: %s\n", file.c_str(), err.c_str());
        return false;
    }
    return true;
}

std::string generated(int components, const fs::path& out) {
    return bench::gen_board(components, out, 1);
}

model::Box extents(const model::Document& d) {
    model::Box x;
    for (Ref r : model::items_in(d.ring())) {
        Coord x1, y1, x2, y2;
        if (model::item_box(r, x1, y1, x2, y2)) {
            x.add(x1, y1);
            x.add(x2, y2);
        }
    }
    return x;
}

// Items a Block move carries: the members and everything inside member Components.
size_t carried(const std::vector<Ref>& members) {
    size_t n = 0;
    for (Ref r : members) {
        ++n;
        if (model::node(r).item_kind() == model::kComponent) {
            model::walk_tree(model::node(r).link, [&](Ref, int) { ++n; });
        }
    }
    return n;
}

// The left part of the board whose Block carries at least `want` Items.
edit::Block left_part(model::Document& d, const model::Box& all, size_t want, const edit::SpatialIndex* index,
                      size_t* count) {
    edit::Block b;
    for (int pct = 5; pct <= 100; pct += 5) {
        Coord right = static_cast<Coord>(all.x1 + (all.x2 - all.x1) * pct / 100);
        edit::define_block(b, d, Point{static_cast<Coord>(all.x1), static_cast<Coord>(all.y1)},
                           Point{right, static_cast<Coord>(all.y2)},
                           Point{static_cast<Coord>(all.x1), static_cast<Coord>(all.y1)});
        *count = carried(edit::block_members(b, d, true, index));
        if (*count >= want) {
            break;
        }
    }
    return b;
}

void report(const char* what, double ms, double target) {
    std::printf("  %-34s %8.1f ms  (target %.0f ms%s)\n", what, ms, target, ms <= target ? "" : ", MISSED");
}

void big_board() {
    model::Model m;
    model::FormatTable formats;
    model::register_model_formats(formats);
    platform::Headless quiet;
    platform::install(&quiet);
    std::string file = g_opt.board;
    if (file.empty() && fs::exists(beside("bench_board.pcb"))) {
        file = beside("bench_board.pcb").string();
    }
    if (file.empty()) {
        file = generated(18600, g_work / "big.pcb");
    }
    if (file.empty() || !load(formats, file)) {
        std::printf("  no board (build gen_board or give --board)\n");
        return;
    }
    model::Document& d = *model::M().current;
    size_t items = 0, components = 0;
    model::walk_tree(d.ring(), [&](Ref r, int) {
        ++items;
        components += model::node(r).item_kind() == model::kComponent ? 1 : 0;
    });
    model::Box all = extents(d);
    edit::SpatialIndex index;
    double t0 = now_ms();
    index.sync(d);
    std::printf("\n%zu Items, %zu Components; spatial index built in %.1f ms\n", items, components, now_ms() - t0);
    size_t count = 0;
    edit::Block shape = left_part(d, all, 50000, &index, &count);
    std::printf("  Block of the left part: %zu Items carried\n", count);
    const Point target{static_cast<Coord>(all.x2 + 65536), static_cast<Coord>(all.y1)};

    std::vector<double> move, undo, del, cmp, en, eq;
    for (int k = 0; k < g_opt.reps; ++k) {
        edit::Block b = shape;
        b.angle = 16384;
        index.sync(d);
        double a = now_ms();
        edit::block_move(b, target, &index);
        double c = now_ms();
        edit::undo(d, nullptr);
        double e = now_ms();
        move.push_back(c - a);
        undo.push_back(e - c);

        b = shape;
        index.sync(d);
        a = now_ms();
        edit::block_delete(b, true, &index);
        del.push_back(now_ms() - a);
        edit::undo(d, nullptr);

        // BH of two such areas: a copy beside the board, then the compare.
        b = shape;
        edit::block_copy(b, d, target, 0);
        index.sync(d);
        a = now_ms();
        edit::block_compare(b, d, target, &index);
        cmp.push_back(now_ms() - a);
        edit::undo(d, nullptr);

        a = now_ms();
        int moved = edit::track_pad_snap(d);
        en.push_back(now_ms() - a);
        if (moved != 0) {
            edit::undo(d, nullptr);
        }

        edit::ResequenceOptions opt;
        a = now_ms();
        edit::resequence({&d}, d, opt);
        eq.push_back(now_ms() - a);
        while (edit::has_undo(d)) {
            edit::undo(d, nullptr);
        }
    }
    report("turn and move the Block (BR, BM)", median(move), 100);
    report("undo of that move", median(undo), 100);
    report("delete inside (BD)", median(del), 50);
    report("compare two such areas (BH)", median(cmp), 200);
    report("track pad snap, whole board (EN)", median(en), 300);
    report("resequence every Component (EQ)", median(eq), 1000);
    platform::install(nullptr);
}

// Our BG, BR 90, BM of the left half against pcb-rnd's select, cut, rotate and paste of the same half.
void against_pcb_rnd() {
    model::Model m;
    model::FormatTable formats;
    model::register_model_formats(formats);
    platform::Headless quiet;
    platform::install(&quiet);
    std::string file = generated(g_opt.components, g_work / "cmp.pcb");
    if (file.empty() || !load(formats, file)) {
        std::printf("  no %d-component board (build gen_board)\n", g_opt.components);
        return;
    }
    model::Document& d = *model::M().current;
    model::Box all = extents(d);
    const Coord mid = static_cast<Coord>((all.x1 + all.x2) / 2);
    const Point target{static_cast<Coord>(all.x2 + 65536), static_cast<Coord>(all.y1)};
    fs::path at = g_work / "cmp_autotrax.pcb";
    bench::write_autotrax(d, at);
    edit::SpatialIndex index;
    std::vector<double> ours;
    size_t moved = 0;
    for (int k = 0; k < g_opt.reps; ++k) {
        index.sync(d);
        double a = now_ms();
        edit::Block b;
        edit::define_block(b, d, Point{static_cast<Coord>(all.x1), static_cast<Coord>(all.y1)},
                           Point{mid, static_cast<Coord>(all.y2)}, Point{static_cast<Coord>(all.x1), static_cast<Coord>(all.y1)});
        b.angle = 16384;
        moved = static_cast<size_t>(edit::block_move(b, target, &index).items);
        ours.push_back(now_ms() - a);
        edit::undo(d, nullptr);
    }
    double our = median(ours);
    std::printf("\n%d-component board, left half (%zu top-level Items), Autotrax copy %.2f MB\n", g_opt.components, moved,
                static_cast<double>(fs::file_size(at)) / 1e6);
    std::printf("  trazel BG, BR, BM                  %8.2f ms\n", our);
    platform::install(nullptr);
    if (!g_opt.peer || std::system("command -v pcb-rnd >/dev/null 2>&1") != 0) {
        std::printf("  pcb-rnd                            not run%s\n", g_opt.peer ? " (not installed)" : "");
        return;
    }
    // Autotrax reads in mils; the half is everything left of the middle.
    long mid_mil = bench::to_mil(mid), top_mil = bench::to_mil(static_cast<Coord>(all.y2));
    fs::path stamps = g_work / "stamps.txt";
    // pcb-rnd puts the design name for "%N" in System() text: the clock is read by a script instead.
    fs::path stamp = g_work / "stamp.sh";
    {
        std::FILE* sh = std::fopen(stamp.string().c_str(), "w");
        std::fprintf(sh, "#!/bin/sh\ndate +%%s.%%N >> %s\n", stamps.string().c_str());
        std::fclose(sh);
        fs::permissions(stamp, fs::perms::owner_all);
    }
    std::string left = std::to_string(mid_mil) + "mil";
    std::string script = "System(" + stamp.string() + ")\n" + "query(select, '(@.x < " + left + ") || (@.x1 < " +
                         left + ")')\n" + "PasteBuffer(MoveSelected)\nPasteBuffer(Rotate, 1)\n" +
                         "PasteBuffer(ToLayout, " + std::to_string(bench::to_mil(target.x)) + "mil, " +
                         std::to_string(top_mil) + "mil)\n" + "System(" + stamp.string() + ")\n" + "Quit(force)\n";
    fs::path script_file = g_work / "actions.txt";
    std::FILE* f = std::fopen(script_file.string().c_str(), "w");
    std::fputs(script.c_str(), f);
    std::fclose(f);
    std::vector<double> peer;
    for (int k = 0; k < 2; ++k) {
        fs::remove(stamps);
        std::string cmd = "cd " + g_work.string() + " && timeout 600 pcb-rnd --gui batch " + at.string() + " < " +
                          script_file.string() + " > " + (g_work / "pcb_rnd.log").string() + " 2>&1";
        int rc = std::system(cmd.c_str());
        std::FILE* s = std::fopen(stamps.string().c_str(), "r");
        double t1 = 0, t2 = 0;
        if (rc != 0 || s == nullptr || std::fscanf(s, "%lf %lf", &t1, &t2) != 2) {
            std::printf("  pcb-rnd                            failed (status %d, see %s)\n", rc,
                        (g_work / "pcb_rnd.log").string().c_str());
            if (s) {
                std::fclose(s);
            }
            return;
        }
        std::fclose(s);
        peer.push_back((t2 - t1) * 1000.0);
    }
    double theirs = *std::min_element(peer.begin(), peer.end());
    std::printf("  pcb-rnd select, cut, rotate, paste %8.2f ms\n", theirs);
    std::printf("  ratio                              %8.1fx faster (target 10x)\n", theirs / std::max(our, 1e-3));
}

} // namespace

int main(int argc, char** argv) {
    if (!bench::parse_options(argc, argv, g_opt, "bench_block")) {
        return 2;
    }
    g_work = fs::temp_directory_path() / ("trazel-bench-block-" + std::to_string(::getpid()));
    fs::create_directories(g_work);
    std::printf("bench_block (median of %d runs)\n", g_opt.reps);
    big_board();
    against_pcb_rnd();
    if (!g_opt.keep) {
        fs::remove_all(g_work);
    } else {
        std::printf("kept %s\n", g_work.string().c_str());
    }
    return 0;
}
