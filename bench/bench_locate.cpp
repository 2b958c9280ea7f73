// bench_locate [FILE]: how long a click takes to find its Item, and a grab to be built and let go, on a
// board of about 500 000 Items (FILE, or a board made here the way gen_board makes them: 18 600 packages
// in a grid with their nets, vias and pours).  The target is 5 ms for a click; the report prints each
// locator's mean against it.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "display/display.h"
#include "edit/commands.h"
#include "edit/editor.h"
#include "edit/grab.h"
#include "edit/locate.h"
#include "model/chooser.h"
#include "model/model.h"
#include "model/setup_directives.h"
#include "platform/headless.h"

using namespace trazel;
using model::Coord;
using model::node;
using model::Point;
using model::Ref;

namespace {

constexpr double kClickTargetMs = 5.0;

Coord mils(int m) {
    return static_cast<Coord>((static_cast<int64_t>(m) * 65536 + 500) / 1000);
}

struct Board {
    model::Model m;
    platform::Headless ui;
    display::Display disp;
    edit::Editor ed;
    edit::SpatialIndex index;
    model::Document* doc = nullptr;
    std::vector<Point> track_points, pad_points, text_points, vias;
    std::vector<Ref> components;
    long items = 0;
    Coord side = 0;
};

Board* g_board = nullptr;

void generate(Board& b) {
    model::apply_template(model::Template::ChooserDefaults);
    for (const char* l : {"-y0:00FFFF00,00000000,0,0,Pad Master", "-y1:00FFFFFF,00000000,0,1,Top Silk",
                          "-y3:00FF0000,00000000,18,3,Top Side", "-y4:000000FF,00000000,42,4,Bottom Side",
                          "-y5:00808000,00000000,3,5,GND Plane"}) {
        model::ApplyDirective(l);
    }
    Ref ring = b.doc->ring();
    std::mt19937 rng(1);
    auto pick = [&](int below) { return static_cast<int>(rng() % static_cast<unsigned>(below)); };
    const int n = 18600, cols = 136;
    const Coord cell = mils(600);
    struct PadAt {
        Point p;
        bool smd;
    };
    std::vector<PadAt> pads;
    for (int c = 0; c < n; ++c) {
        bool smd = pick(2) == 0;
        int pins = smd ? 2 + 6 * pick(2) : 2 * (2 + pick(6));
        Coord ox = (c % cols) * cell + mils(200), oy = (c / cols) * cell + mils(200);
        Ref comp = model::make_component(ring, 0, 0, std::string(smd ? "SO" : "DIP") + '\x7F' + "U" +
                                                        std::to_string(c + 1) + '\x7F' + "VAL");
        Ref m = model::member_ring(comp);
        int per_row = pins / 2;
        for (int i = 0; i < pins; ++i) {
            bool second = i >= per_row;
            Point p{ox + mils(100) * (second ? pins - 1 - i : i), oy + (second ? mils(300) : 0)};
            Ref pad = model::MakeItem(m, model::kPad, smd ? 3 : 0, smd ? 6 : 1, p.x, p.y, 0, 0);
            node(pad).pad.width = static_cast<model::Length>(mils(60));
            node(pad).pad.height = static_cast<model::Length>(mils(smd ? 30 : 60));
            node(pad).pad.hole = static_cast<model::Length>(smd ? 0 : mils(35));
            pads.push_back({p, smd});
            b.pad_points.push_back(p);
        }
        Coord x1 = ox - mils(40), y1 = oy - mils(40), x2 = ox + mils(100) * (per_row - 1) + mils(40),
              y2 = oy + mils(340);
        uint16_t w = static_cast<uint16_t>(mils(8));
        model::MakeItem(m, model::kLine, 1, w, x1, y1, x2, y1);
        model::MakeItem(m, model::kLine, 1, w, x2, y1, x2, y2);
        model::MakeItem(m, model::kLine, 1, w, x2, y2, x1, y2);
        model::MakeItem(m, model::kLine, 1, w, x1, y2, x1, y1);
        Ref a = model::MakeItem(m, model::kArc, 1, w, ox - mils(70), oy, mils(15), 0);
        node(a).arc.sweep = 0;
        for (int t = 0; t < 2; ++t) {
            Ref tx = model::MakeItem(m, model::kText, 1, static_cast<uint16_t>(mils(50)), ox, y2 + mils(20 + 70 * t),
                                     mils(40) * 4, 0);
            model::SetText(tx, t == 0 ? "&1" : "&2");
            b.text_points.push_back(Point{ox + mils(60), y2 + mils(45 + 70 * t)});
        }
        node(m).box.x1 = ox;
        node(m).box.y1 = oy;
        model::close_component(comp);
        b.components.push_back(comp);
    }
    const uint16_t track = static_cast<uint16_t>(mils(12));
    for (size_t k = 1; k < pads.size(); ++k) {
        const Point a = pads[k - 1].p, c = pads[k].p;
        uint8_t second = 3;
        if (pick(10) == 0 && !pads[k - 1].smd && !pads[k].smd) {
            Ref via = model::MakeItem(ring, model::kPad, 0, 3, c.x, a.y, 0, 0);
            node(via).pad.width = node(via).pad.height = static_cast<model::Length>(mils(40));
            node(via).pad.hole = static_cast<model::Length>(mils(20));
            b.vias.push_back(Point{c.x, a.y});
            second = 4;
        }
        model::MakeItem(ring, model::kLine, 3, track, a.x, a.y, c.x, a.y);
        model::MakeItem(ring, model::kLine, second, track, c.x, a.y, c.x, c.y);
        b.track_points.push_back(Point{static_cast<Coord>((int64_t{a.x} + c.x) / 2), a.y});
    }
    b.side = cols * cell;
    for (int k = 0; k < n / 200; ++k) {
        Ref s = model::MakeItem(ring, model::kLine, 5, 0, 0, 0, 0, 0);
        Coord cx = pick(cols) * cell, cy = pick(cols) * cell;
        model::add_vertex(s, cx, cy);
        model::add_vertex(s, cx + mils(1200), cy);
        model::add_vertex(s, cx + mils(1200), cy + mils(800));
        model::add_vertex(s, cx, cy + mils(800));
    }
}

bool load(Board& b, const char* file) {
    b.doc = model::NewDocument(file ? file : "bench.pcb");
    if (b.doc == nullptr) {
        return false;
    }
    if (file != nullptr) {
        model::FormatTable formats;
        model::register_model_formats(formats);
        std::string why;
        if (!model::OpenDocumentFile(formats, file, 0, &why)) {
            std::fprintf(stderr, "bench_locate: cannot read \"%s\": %s\n", file, why.c_str());
            return false;
        }
        // Points to click at, taken from what the file holds.
        model::walk_tree(b.doc->ring(), [&](Ref r, int depth) {
            const model::Node& n = node(r);
            if (n.item_kind() == model::kLine && n.size != 0 && depth == 0) {
                b.track_points.push_back(Point{static_cast<Coord>((int64_t{n.line.x1} + n.line.x2) / 2),
                                               static_cast<Coord>((int64_t{n.line.y1} + n.line.y2) / 2)});
            } else if (n.item_kind() == model::kPad) {
                (depth == 0 ? b.vias : b.pad_points).push_back(Point{n.pad.x0, n.pad.y0});
            } else if (n.item_kind() == model::kText) {
                b.text_points.push_back(Point{n.text.x0, n.text.y0});
            } else if (n.item_kind() == model::kComponent && depth == 0) {
                b.components.push_back(r);
            }
        });
    } else {
        generate(b);
    }
    b.doc->setup.current_layer = 3;
    model::walk_tree(b.doc->ring(), [&](Ref, int) { ++b.items; });
    return true;
}

// The pick tolerance of a view showing about two inches across 1000 pixels.
constexpr Coord kTolerance = 131;

// Argument 0: the plain ring walk; 1: through the spatial index (built before timing starts).
const edit::SpatialIndex* with(benchmark::State& state) {
    if (state.range(0) == 0) {
        g_board->ed.grab.spatial = nullptr;
        return nullptr;
    }
    g_board->index.sync(*g_board->doc);
    g_board->ed.grab.spatial = &g_board->index;
    return &g_board->index;
}

template <class F> void each_point(benchmark::State& state, const std::vector<Point>& pts, F&& f) {
    size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(f(pts[i]));
        i = (i + 7919) % pts.size();
    }
    state.counters["items"] = static_cast<double>(g_board->items);
}

void BM_FindLineAt(benchmark::State& state) {
    const edit::SpatialIndex* ix = with(state);
    each_point(state, g_board->track_points,
               [&](Point p) { return edit::FindLineAt(*g_board->doc, 3, p, kTolerance, ix).item; });
}
void BM_FindPadAt(benchmark::State& state) {
    const edit::SpatialIndex* ix = with(state);
    each_point(state, g_board->pad_points,
               [&](Point p) { return edit::FindPadAt(*g_board->doc, 3, p, kTolerance, ix); });
}
void BM_FindArcAt(benchmark::State& state) {
    const edit::SpatialIndex* ix = with(state);
    each_point(state, g_board->pad_points,
               [&](Point p) { return edit::FindArcAt(*g_board->doc, 1, p, kTolerance, ix); });
}
void BM_FindTextAt(benchmark::State& state) {
    const edit::SpatialIndex* ix = with(state);
    each_point(state, g_board->text_points, [&](Point p) { return edit::FindTextAt(*g_board->doc, 1, p, ix); });
}
void BM_FindComponentAt(benchmark::State& state) {
    const edit::SpatialIndex* ix = with(state);
    each_point(state, g_board->pad_points, [&](Point p) { return edit::FindComponentAt(*g_board->doc, 3, p, ix); });
}
void BM_FindSolidAt(benchmark::State& state) {
    const edit::SpatialIndex* ix = with(state);
    each_point(state, g_board->pad_points,
               [&](Point p) { return edit::FindSolidAt(*g_board->doc, 5, p, kTolerance, ix); });
}
void BM_FindVertexAt(benchmark::State& state) {
    const edit::SpatialIndex* ix = with(state);
    each_point(state, g_board->track_points,
               [&](Point p) { return edit::find_vertex_at(*g_board->doc, 3, p, true, ix).item; });
}
// A click that hits nothing: the current layer, then layer 0.
void BM_LocateMiss(benchmark::State& state) {
    const edit::SpatialIndex* ix = with(state);
    std::vector<Point> off{Point{-65536, -65536}, Point{g_board->side + 65536, -65536}};
    each_point(state, off, [&](Point p) {
        return edit::locate(*g_board->doc, edit::Find::Line, p, kTolerance, nullptr, ix).item;
    });
    g_board->doc->setup.current_layer = 3;
}
// Building the index from scratch: what the first click after an undo (or a change made elsewhere)
// pays once.
void BM_IndexBuild(benchmark::State& state) {
    for (auto _ : state) {
        g_board->index.reset();
        g_board->index.sync(*g_board->doc);
        benchmark::DoNotOptimize(g_board->index.size());
    }
    state.counters["items"] = static_cast<double>(g_board->items);
}

// A grab built and abandoned: GL (the track with what is joined at both ends), GC (a Component with its
// tracks and fan-out vias) and GE at a via.
void BM_GrabLine(benchmark::State& state) {
    const edit::SpatialIndex* ix = with(state);
    Board& b = *g_board;
    each_point(state, b.track_points, [&](Point p) {
        edit::LineHit h = edit::FindLineAt(*b.doc, 3, p, kTolerance, ix);
        if (h.item == model::kNone) {
            return 0;
        }
        edit::begin_grab(b.ed.grab, *b.doc, p, 0x474C);
        edit::add_entry(b.ed.grab, h.item, edit::kGrabWhole);
        const model::Node& n = node(h.item);
        int got = edit::grab_point(b.ed.grab, Point{n.line.x1, n.line.y1}, 800) +
                  edit::grab_point(b.ed.grab, Point{n.line.x2, n.line.y2}, 800);
        edit::abandon(b.ed.grab, b.disp);
        return got;
    });
}
void BM_GrabComponent(benchmark::State& state) {
    const edit::SpatialIndex* ix = with(state);
    Board& b = *g_board;
    each_point(state, b.pad_points, [&](Point p) {
        Ref c = edit::FindComponentAt(*b.doc, 3, p, ix);
        if (c == model::kNone) {
            return 0;
        }
        edit::begin_grab(b.ed.grab, *b.doc, p, 0x4743);
        int got = edit::grab_component(b.ed.grab, c, p, true, kTolerance);
        edit::abandon(b.ed.grab, b.disp);
        return got;
    });
}
void BM_GrabVia(benchmark::State& state) {
    const edit::SpatialIndex* ix = with(state);
    Board& b = *g_board;
    each_point(state, b.vias.empty() ? b.pad_points : b.vias, [&](Point p) {
        edit::VertexHit h = edit::find_vertex_at(*b.doc, 3, p, false, ix);
        if (h.item == model::kNone) {
            return 0;
        }
        edit::begin_grab(b.ed.grab, *b.doc, h.at, 0x4745);
        int got = edit::grab_point(b.ed.grab, h.at, 800);
        edit::abandon(b.ed.grab, b.disp);
        return got;
    });
}

// Prints each benchmark's mean against the click target after the usual table.
class TargetReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& r : runs) {
            if (r.run_type != Run::RT_Iteration || r.iterations == 0) {
                continue;
            }
            double ms = r.GetAdjustedRealTime() * (r.time_unit == benchmark::kMillisecond   ? 1.0
                                                   : r.time_unit == benchmark::kMicrosecond ? 1e-3
                                                                                            : 1e-6);
            char line[200];
            std::snprintf(line, sizeof line, "%-28s %9.4f ms  %s", r.benchmark_name().c_str(), ms,
                          ms <= kClickTargetMs ? "within 5 ms" : "OVER 5 ms");
            lines_.push_back(line);
        }
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        std::printf("\nClick latency on %ld Items:\n", g_board->items);
        for (const std::string& l : lines_) {
            std::printf("  %s\n", l.c_str());
        }
    }

  private:
    std::vector<std::string> lines_;
};

} // namespace

BENCHMARK(BM_FindLineAt)->ArgName("index")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FindPadAt)->ArgName("index")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FindArcAt)->ArgName("index")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FindTextAt)->ArgName("index")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FindComponentAt)->ArgName("index")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FindSolidAt)->ArgName("index")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FindVertexAt)->ArgName("index")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LocateMiss)->ArgName("index")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GrabLine)->ArgName("index")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GrabComponent)->ArgName("index")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GrabVia)->ArgName("index")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_IndexBuild)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    const char* file = argc > 1 ? argv[1] : nullptr;
    Board b;
    platform::install(&b.ui);
    g_board = &b;
    if (!load(b, file)) {
        return 1;
    }
    std::printf("bench_locate: %ld Items%s%s\n", b.items, file ? " from " : " generated", file ? file : "");
    TargetReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    platform::install(nullptr);
    return 0;
}
