// bench_render: the full redraw of a 500 000-Item board into a 1920 x 1080 buffer, at the extents and
// zoomed in 8 times on the centre, at 32 and 8 bits, each against a plain memset of the same buffer in
// the same run; and the fill rate of thick lines.
//
//   bench_render [--items N] [--board FILE] [benchmark flags]
//
// The board comes from bench/gen_board when it is beside this program, otherwise from the generator
// below, built through the model API.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "display/display.h"
#include "display/raster.h"
#include "display/view.h"
#include "model/chooser.h"
#include "model/model.h"
#include "platform/headless.h"

namespace fs = std::filesystem;
using namespace trazel;
using model::Coord;
using model::Ref;

namespace {

constexpr int kWidth = 1920, kHeight = 1080;

Coord mil(int64_t m) {
    return model::mils_to_units(m);
}

struct Rng {
    uint64_t s = 12345;
    uint32_t next() {
        s = s * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<uint32_t>(s >> 33);
    }
    int below(int n) {
        return static_cast<int>(next() % static_cast<uint32_t>(n));
    }
};

void layer(model::Setup& s, int i, const char* name, uint8_t type, uint32_t colour) {
    model::set_layer_name(s.layers[i], name);
    s.layers[i].type = type;
    model::set_layer_colour(s.layers[i], colour);
}

Ref pad(Ref ring, int layer_no, int type, Coord x, Coord y, Coord w, Coord h, Coord hole) {
    Ref p = model::MakeItem(ring, model::kPad, static_cast<uint8_t>(layer_no), static_cast<uint16_t>(type), x, y, 0, 0);
    model::Node& n = model::node(p);
    n.pad.width = static_cast<model::Length>(w);
    n.pad.height = static_cast<model::Length>(h);
    n.pad.hole = static_cast<model::Length>(hole);
    return p;
}

// A board of small parts on a grid: each cell a two-pad part with its silk outline and reference text,
// two tracks to the next cell, and now and then a via, an arc or a poured Solid.  About 10 Items a cell.
uint32_t build_board(model::Document* d, int items) {
    model::Setup& s = d->setup;
    layer(s, 0, "Pad Master", model::kLayerCopper, 0xAA00AA);
    layer(s, 1, "Top", model::kLayerCopper, 0xFF0000);
    layer(s, 2, "Silk", model::kLayerSilk, 0xFFFFFF);
    layer(s, 3, "Mask", model::kLayerMask, 0x808000);
    layer(s, 9, "Bottom", model::kLayerCopper | model::kLayerBottom, 0x0000FF);
    s.current_layer = 1;
    Ref ring = d->ring();
    Rng rng;
    int cells = items / 10;
    int side = 1;
    while (side * side < cells) {
        ++side;
    }
    const Coord px = mil(100), py = mil(80);
    uint32_t made = 0;
    for (int i = 0; i < cells; ++i) {
        Coord x = (i % side) * px, y = (i / side) * py;
        Ref c = model::make_component(ring, 0, 0,
                                     "0603\x7FR1\x7F"
                                     "10k");
        Ref m = model::member_ring(c);
        pad(m, 1, 6, x - mil(30), y, mil(30), mil(35), 0);
        pad(m, 1, 6, x + mil(30), y, mil(30), mil(35), 0);
        model::MakeItem(m, model::kLine, 2, static_cast<uint16_t>(mil(6)), x - mil(55), y - mil(30), x + mil(55),
                        y - mil(30));
        model::MakeItem(m, model::kLine, 2, static_cast<uint16_t>(mil(6)), x + mil(55), y - mil(30), x + mil(55),
                        y + mil(30));
        model::MakeItem(m, model::kLine, 2, static_cast<uint16_t>(mil(6)), x + mil(55), y + mil(30), x - mil(55),
                        y + mil(30));
        model::MakeItem(m, model::kLine, 2, static_cast<uint16_t>(mil(6)), x - mil(55), y + mil(30), x - mil(55),
                        y - mil(30));
        Ref t = model::MakeItem(m, model::kText, 2, static_cast<uint16_t>(mil(25)), x - mil(20), y + mil(40), 0, 0);
        model::SetText(t, "&1");
        model::close_component(c);
        Ref tr = model::MakeItem(ring, model::kLine, 1, static_cast<uint16_t>(mil(8)), x + mil(30), y, x + mil(65),
                                 y + mil(35));
        model::AttachSignal(tr, "N" + std::to_string(i % 997));
        model::MakeItem(ring, model::kLine, rng.below(2) ? 1 : 9, static_cast<uint16_t>(mil(10)), x + mil(65),
                        y + mil(35), x + px - mil(30), y + mil(35));
        made += 10;
        if (i % 4 == 0) {
            pad(ring, 0, 3, x + px / 2, y - py / 2, mil(24), mil(24), mil(12));
            ++made;
        }
        if (i % 16 == 0) {
            Ref a = model::MakeItem(ring, model::kArc, 2, static_cast<uint16_t>(mil(6)), x, y, mil(45), 0);
            model::node(a).arc.sweep = 32768;
            ++made;
        }
        if (i % 200 == 0) {
            Ref solid = model::MakeItem(ring, model::kLine, 9, 0, 0, 0, 0, 0);
            model::add_vertex(solid, x, y);
            model::add_vertex(solid, x + 4 * px, y);
            model::add_vertex(solid, x + 4 * px, y + 3 * py);
            model::add_vertex(solid, x + 2 * px, y + 4 * py);
            model::add_vertex(solid, x, y + 3 * py);
            ++made;
        }
    }
    s.ext_xmin = -mil(100);
    s.ext_ymin = -mil(100);
    s.ext_xmax = side * px;
    s.ext_ymax = ((cells + side - 1) / side) * py;
    return made;
}

uint32_t count_items(Ref head) {
    uint32_t n = 0;
    model::walk_tree(head, [&](Ref, int) { ++n; });
    return n;
}

std::string gen_board_file(int components, const fs::path& out) {
    fs::path gen = fs::read_symlink("/proc/self/exe").parent_path() / "gen_board";
    if (!fs::exists(gen)) {
        return {};
    }
    std::string cmd = gen.string() + " " + std::to_string(components) + " " + out.string() + " >/dev/null 2>&1";
    return std::system(cmd.c_str()) == 0 && fs::exists(out) ? out.string() : std::string();
}

struct Board {
    model::Model m;
    model::FormatTable formats;
    platform::Headless quiet;
    uint32_t items = 0;
    std::string source = "model API generator";
};

int g_items = 500000;
std::string g_board;
Board* g;
double g_memset_ms[33] = {};

// A Display over a buffer of the depth, at the extents of the board.
struct Frame {
    std::vector<uint8_t> memory;
    display::Display d;

    explicit Frame(int depth) {
        int pitch = (kWidth * depth / 8 + 7) & ~7;
        memory.assign(static_cast<size_t>(pitch) * kHeight, 0);
        display::PixelBuffer b;
        b.base = memory.data();
        b.pitch = pitch;
        b.depth = depth;
        b.width = kWidth;
        b.height = kHeight;
        display::set_pixel_format(d, display::format_for_depth(depth), &model::M());
        display::set_surface(d, b, 0);
        const model::Setup& s = model::M().setup();
        display::zoom_to_rect(d.view, {s.ext_xmin, s.ext_ymin}, {s.ext_xmax, s.ext_ymax}, d.view.area, false);
    }
    void zoom8() {
        // Each zoom in is the square root of two: six make eight times.
        for (int i = 0; i < 6; ++i) {
            display::zoom_in(d.view, true);
        }
    }
};

double memset_ms(int depth) {
    if (g_memset_ms[depth] > 0) {
        return g_memset_ms[depth];
    }
    Frame f(depth);
    double best = 1e30;
    for (int k = 0; k < 50; ++k) {
        auto t0 = std::chrono::steady_clock::now();
        std::memset(f.memory.data(), k, f.memory.size());
        benchmark::ClobberMemory();
        auto t1 = std::chrono::steady_clock::now();
        best = std::min(best, std::chrono::duration<double, std::milli>(t1 - t0).count());
    }
    g_memset_ms[depth] = best;
    return best;
}

void redraw_bench(benchmark::State& state, int depth, bool zoomed) {
    Frame f(depth);
    if (zoomed) {
        f.zoom8();
    }
    double total = 0;
    for (auto _ : state) {
        auto t0 = std::chrono::steady_clock::now();
        display::redraw(f.d, model::M().current);
        benchmark::ClobberMemory();
        auto t1 = std::chrono::steady_clock::now();
        double ms = std::chrono::duration<double, std::milli>(t1 - t0).count();
        total += ms;
        state.SetIterationTime(ms / 1000);
    }
    double per = total / static_cast<double>(std::max<benchmark::IterationCount>(state.iterations(), 1));
    state.counters["ms_per_frame"] = per;
    state.counters["x_memset"] = per / memset_ms(depth);
    state.counters["items"] = g->items;
    state.counters["drawn"] = static_cast<double>(f.d.items_drawn);
}

void BM_Memset32(benchmark::State& state) {
    Frame f(32);
    int k = 0;
    for (auto _ : state) {
        std::memset(f.memory.data(), ++k, f.memory.size());
        benchmark::ClobberMemory();
    }
    state.counters["ms_per_frame"] = memset_ms(32);
}

void BM_RedrawExtents32(benchmark::State& state) {
    redraw_bench(state, 32, false);
}
void BM_RedrawZoom8x32(benchmark::State& state) {
    redraw_bench(state, 32, true);
}
void BM_RedrawExtents8(benchmark::State& state) {
    redraw_bench(state, 8, false);
}
void BM_RedrawZoom8x8(benchmark::State& state) {
    redraw_bench(state, 8, true);
}

// Wide lines at every angle, 31 pixels wide and about 400 long, counted by the area they cover.
void BM_ThickLineFill(benchmark::State& state) {
    Frame f(32);
    display::Raster r(f.d.buffer, &f.d.work);
    Rng rng;
    struct L {
        int r1, c1, r2, c2;
    };
    std::vector<L> lines;
    double area = 0;
    const int w = static_cast<int>(state.range(0));
    for (int i = 0; i < 256; ++i) {
        int r1 = 200 + rng.below(680), c1 = 200 + rng.below(1520);
        int dr = rng.below(401) - 200, dc = rng.below(401) - 200;
        lines.push_back({r1, c1, r1 + dr, c1 + dc});
        area += std::sqrt(double(dr) * dr + double(dc) * dc) * w;
    }
    uint32_t v = 0x00FF8040;
    for (auto _ : state) {
        for (const L& l : lines) {
            display::thick_line(r, v, w, l.r1, l.c1, l.r2, l.c2);
        }
        benchmark::ClobberMemory();
        v ^= 0x00010101;
    }
    state.counters["Mpixel_per_s"] =
        benchmark::Counter(area * static_cast<double>(state.iterations()) / 1e6, benchmark::Counter::kIsRate);
}

} // namespace

int main(int argc, char** argv) {
    std::vector<char*> rest;
    rest.push_back(argv[0]);
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--items" && i + 1 < argc) {
            g_items = std::max(1000, std::atoi(argv[++i]));
        } else if (a == "--board" && i + 1 < argc) {
            g_board = argv[++i];
        } else {
            rest.push_back(argv[i]);
        }
    }
    Board board;
    g = &board;
    model::register_model_formats(board.formats);
    platform::install(&board.quiet);
    fs::path work = fs::temp_directory_path() / "trazel_bench_render";
    fs::create_directories(work);
    std::string file = g_board.empty() ? gen_board_file(g_items / 25, work / "gen.pcb") : g_board;
    if (!file.empty()) {
        model::NewDocument(file);
        std::string err;
        if (model::OpenDocumentFile(board.formats, file, 0, &err) == 0) {
            std::fprintf(stderr, "bench_render: cannot read %s: %s\n", file.c_str(), err.c_str());
            return 1;
        }
        board.source = file;
    } else {
        build_board(model::NewDocument((work / "board.pcb").string()), g_items);
    }
    board.items = count_items(model::M().current->ring());
    std::printf("bench_render: %u Items (%s), %d x %d buffer; memset %.3f ms (32 bits), %.3f ms (8 bits)\n",
                board.items, board.source.c_str(), kWidth, kHeight, memset_ms(32), memset_ms(8));

    benchmark::RegisterBenchmark("Memset/32bit", BM_Memset32)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("Redraw/extents/32bit", BM_RedrawExtents32)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("Redraw/zoom8x/32bit", BM_RedrawZoom8x32)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("Redraw/extents/8bit", BM_RedrawExtents8)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("Redraw/zoom8x/8bit", BM_RedrawZoom8x8)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("ThickLine/fill", BM_ThickLineFill)->Arg(3)->Arg(31)->Unit(benchmark::kMillisecond);
    int n = static_cast<int>(rest.size());
    benchmark::Initialize(&n, rest.data());
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    platform::install(nullptr);
    fs::remove_all(work);
    return 0;
}
