// gen_board N out.pcb [--seed S] [--clean] [--expect NETS.json]: a synthetic board of N components for
// the Data file benchmark, built through the model API and written by the real writer.  Through-hole and surface-mount
// packages in a grid, nets of two to five pads routed with two-segment tracks (some through vias, some
// with a rounded corner), copper pours as Solids, silk outlines and reference texts.
//
// Without --clean every net is routed without regard to the others, so most nets touch others.  With
// --clean a net's route (all its tracks, vias and arcs) is placed only when it keeps the board's
// clearance plus a margin from every other net's copper, judged on a coarse occupancy grid per copper
// layer; a refused net keeps its pads and stays unrouted.  Pours are kept only when their outline is
// clear.  So that the pads themselves are clear of each other, --clean also spaces the component grid a
// little wider (a DIP14 spans the whole default cell) and gives the TO92 a 100 mil pitch.
//
// --expect writes each Signal's pins as a netlist must list them, for the netlist tests and benchmark.
// --geda writes the gEDA PCB copy that pcb-rnd routes (bench/geda_copy.h), with the same nets.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "geda_copy.h"
#include "model/chooser.h"
#include "model/model.h"
#include "model/setup_directives.h"

using namespace trazel::model;

namespace {

Coord mils(int m) {
    return static_cast<Coord>((static_cast<int64_t>(m) * 65536 + 500) / 1000);
}

struct Package {
    const char* name;
    const char* prefix;
    int pins;
    bool smd;
    int pitch;     // mils
    int row_space; // mils between the two rows (0: one row)
    int pad_w, pad_h, hole;
};

constexpr Package kPackages[] = {
    {"DIP8", "U", 8, false, 100, 300, 60, 60, 35}, {"DIP14", "U", 14, false, 100, 300, 60, 60, 35},
    {"TO92", "Q", 3, false, 50, 0, 50, 70, 30},    {"AXIAL400", "R", 2, false, 400, 0, 60, 60, 35},
    {"0603", "C", 2, true, 60, 0, 30, 35, 0},      {"0805", "R", 2, true, 80, 0, 45, 55, 0},
    {"SOIC8", "U", 8, true, 50, 220, 24, 70, 0},   {"SOIC14", "U", 14, true, 50, 220, 24, 70, 0},
    {"QFP32", "U", 32, true, 32, 300, 16, 60, 0},  {"SOT23", "Q", 3, true, 75, 0, 35, 40, 0},
    {"HDR1X4", "J", 4, false, 100, 0, 70, 70, 40}, {"RADIAL200", "C", 2, false, 200, 0, 70, 70, 38},
};
constexpr const char* kValues[] = {"10k", "4k7", "100nF", "1uF", "74HC00", "LM358", "BC547", "HDR", "220R", "22pF"};

struct PadRef {
    Ref pad;
    Coord x, y;
    bool smd;
    std::string node; // "U3-14", as a netlist names it
};

// One piece of a planned connection: a via, a track or an arc (x2: its radius), in creation order.
struct Seg {
    enum Kind { Via, Track, Arc } kind;
    uint8_t layer;
    Coord x1, y1, x2, y2;
    Angle start;
};

// Which net holds each cell of each copper layer (3, 4, 5), plus a layer of drill holes that refuses any
// second hole whatever its net.  A cell touched by the grown copper of two nets is held by everyone.
class Occupancy {
public:
    static constexpr uint16_t kEveryone = 0xFFFF;
    static constexpr int kDrills = 3;

    Occupancy(Coord side, double clearance_mils) : clear_(clearance_mils) {
        // Five mil cells, coarser on boards so large that the grid would not fit comfortably in memory.
        double side_mils = to_mils(side) + 1000.0;
        cell_ = std::max(5.0, side_mils / std::sqrt(40e6));
        dim_ = static_cast<long>(side_mils / cell_) + 1;
        for (auto& g : grid_) {
            g.assign(static_cast<size_t>(dim_ * dim_), 0);
        }
    }
    double clearance() const {
        return clear_;
    }
    static double to_mils(Coord c) {
        return static_cast<double>(c) * 1000.0 / 65536.0;
    }
    // The layers a piece on `layer` occupies (0: through-hole, every copper layer).
    static std::vector<int> planes(int layer) {
        if (layer == 0) {
            return {0, 1, 2};
        }
        return {layer - 3};
    }
    // A rectangle of half sizes hw, hh (mils) round (x, y): marked with `net` or tested against it.
    bool rect(int plane, Coord x, Coord y, double hw, double hh, uint16_t net, bool mark) {
        double cx = to_mils(x), cy = to_mils(y), h = cell_ / 2;
        return visit(plane, cx - hw, cy - hh, cx + hw, cy + hh, net, mark, [&](double px, double py) {
            return std::fabs(px - cx) <= hw + h && std::fabs(py - cy) <= hh + h;
        });
    }
    // A track of half width r (mils) from (x1, y1) to (x2, y2).
    bool capsule(int plane, double x1, double y1, double x2, double y2, double r, uint16_t net, bool mark) {
        double reach = r + cell_ * 0.7072; // half the cell's diagonal, rounded up
        double dx = x2 - x1, dy = y2 - y1, len2 = dx * dx + dy * dy;
        return visit(plane, std::min(x1, x2) - r, std::min(y1, y2) - r, std::max(x1, x2) + r, std::max(y1, y2) + r,
                     net, mark, [&](double px, double py) {
                         double t = len2 > 0 ? std::clamp(((px - x1) * dx + (py - y1) * dy) / len2, 0.0, 1.0) : 0.0;
                         double ex = x1 + t * dx - px, ey = y1 + t * dy - py;
                         return ex * ex + ey * ey <= reach * reach;
                     });
    }

private:
    // Every cell near the box for which `inside(centre)` holds: marked, or tested (true when none is held
    // by another net).
    template <class F>
    bool visit(int plane, double x1, double y1, double x2, double y2, uint16_t net, bool mark, F inside) {
        auto index = [&](double v) {
            return std::clamp(static_cast<long>(std::floor(v / cell_)), 0L, dim_ - 1);
        };
        std::vector<uint16_t>& g = grid_[static_cast<size_t>(plane)];
        for (long j = index(y1 - cell_); j <= index(y2 + cell_); ++j) {
            for (long i = index(x1 - cell_); i <= index(x2 + cell_); ++i) {
                if (!inside((static_cast<double>(i) + 0.5) * cell_, (static_cast<double>(j) + 0.5) * cell_)) {
                    continue;
                }
                uint16_t& v = g[static_cast<size_t>(j * dim_ + i)];
                if (mark) {
                    v = v == 0 || v == net ? net : kEveryone;
                } else if (v != 0 && v != net) {
                    return false;
                }
            }
        }
        return true;
    }

    double clear_;
    double cell_ = 5;
    long dim_ = 1;
    std::array<std::vector<uint16_t>, 4> grid_;
};

// Marks (or tests) one planned piece of copper of `net`: grown by the clearance when marked, bare (plus
// the margin) when tested, so that two pieces whose cells do not meet keep the clearance apart.
bool occupy(Occupancy& o, const Seg& s, uint16_t track_mils, uint16_t net, bool mark) {
    constexpr double kMargin = 2.0;
    double grow = kMargin + (mark ? o.clearance() : 0.0);
    bool ok = true;
    if (s.kind == Seg::Via) {
        for (int p : Occupancy::planes(0)) {
            ok = o.rect(p, s.x1, s.y1, 20 + grow, 20 + grow, net, mark) && ok;
        }
        // Any other hole within reach interferes, even one of the same net.
        double hole = mark ? 20 + kMargin : 10;
        ok = o.rect(Occupancy::kDrills, s.x1, s.y1, hole, hole, mark ? 1 : 0, mark) && ok;
        return ok;
    }
    double r = track_mils / 2.0 + grow;
    auto m = [](Coord c) { return Occupancy::to_mils(c); };
    if (s.kind == Seg::Track) {
        return o.capsule(s.layer - 3, m(s.x1), m(s.y1), m(s.x2), m(s.y2), r, net, mark);
    }
    // The arc taken as its whole circle, whichever quarter it draws.
    double cx = m(s.x1), cy = m(s.y1), rad = m(s.x2);
    for (int k = 0; k < 32; ++k) {
        double a1 = k * M_PI / 16, a2 = (k + 1) * M_PI / 16;
        ok = o.capsule(s.layer - 3, cx + rad * std::cos(a1), cy + rad * std::sin(a1), cx + rad * std::cos(a2),
                       cy + rad * std::sin(a2), r, net, mark) &&
             ok;
        if (!ok && !mark) {
            return false;
        }
    }
    return ok;
}

const char* kSetup[] = {
    "-gc.01,.012,.008,.01,.012,.01,.011,GND,,5,5",
    "-gd.1,000000,303030,FFFFFF,FFFF00",
    "-gm3,2,3,0",
    "-gs0.025\",1,1,5,10,25,50,100",
    "-y3",
    "-y0:00FFFF00,00000000,0,0,Pad Master",
    "-y1:00FFFFFF,00000000,0,1,Top Silk",
    "-y2:00FF00FF,00000000,1,2,Top Mask",
    "-y3:00FF0000,00000000,18,3,Top Side",
    "-y4:000000FF,00000000,42,4,Bottom Side",
    "-y5:00808000,00000000,3,5,GND Plane",
    "-y6:00800080,00000000,9,6,Bottom Mask",
    "-y7:00C0C0C0,00000000,8,7,Bottom Silk",
    "-y8:0000FF00,00000000,7,8,Board Outline",
    "-dp.005,.002,.025,.02,.002",
    "-dy",
    "-dyTSS:6,1",
    "-dyTSM:2,2",
    "-dyTOP:0,3",
    "-dyBOT:8,4",
    "-dyGND:1,5",
    "-dyBSM:10,6",
    "-dyBSS:14,7",
    "-dyDRL:4",
    "-dyLST:7",
    "-il.012",
    "-iv0,.04,.02",
    "-ip1,0,.07,.07,.04",
    "-it.05",
};

void silk_box(Ref ring, Coord x1, Coord y1, Coord x2, Coord y2) {
    MakeItem(ring, kLine, 1, static_cast<uint16_t>(mils(8)), x1, y1, x2, y1);
    MakeItem(ring, kLine, 1, static_cast<uint16_t>(mils(8)), x2, y1, x2, y2);
    MakeItem(ring, kLine, 1, static_cast<uint16_t>(mils(8)), x2, y2, x1, y2);
    MakeItem(ring, kLine, 1, static_cast<uint16_t>(mils(8)), x1, y2, x1, y1);
}

Ref text(Ref ring, uint8_t layer, Coord x, Coord y, int height_mils, const std::string& s) {
    Ref t = MakeItem(ring, kText, layer, static_cast<uint16_t>(mils(height_mils)), x, y,
                     mils(height_mils) * 4 / 5 * static_cast<Coord>(s.size()), 0);
    SetText(t, s);
    return t;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: gen_board N out.pcb [--seed S] [--clean] [--expect NETS.json] [--geda FILE]\n");
        return 2;
    }
    long n = std::strtol(argv[1], nullptr, 10);
    std::string out = argv[2];
    unsigned seed = 1;
    bool clean = false;
    std::string expect_file, geda_file;
    for (int k = 3; k < argc; ++k) {
        if (std::string(argv[k]) == "--seed" && k + 1 < argc) {
            seed = static_cast<unsigned>(std::strtoul(argv[++k], nullptr, 10));
        } else if (std::string(argv[k]) == "--clean") {
            clean = true;
        } else if (std::string(argv[k]) == "--expect" && k + 1 < argc) {
            expect_file = argv[++k];
        } else if (std::string(argv[k]) == "--geda" && k + 1 < argc) {
            geda_file = argv[++k];
        }
    }
    if (n <= 0) {
        std::fprintf(stderr, "gen_board: N must be a positive number of components\n");
        return 2;
    }
    Model m;
    Document* d = NewDocument(out);
    apply_template(Template::ChooserDefaults);
    for (const char* line : kSetup) {
        ApplyDirective(line);
    }
    d->setup.format_code = 'C';
    Ref ring = d->ring();
    std::mt19937 rng(seed);
    auto pick = [&](int below) { return static_cast<int>(rng() % static_cast<unsigned>(below)); };

    const int cols = std::max(1, static_cast<int>(std::sqrt(static_cast<double>(n))));
    const Coord cell = mils(clean ? 700 : 600);
    std::vector<PadRef> pads;
    std::vector<int> counters(26, 0);
    for (long c = 0; c < n; ++c) {
        const Package& p = kPackages[pick(static_cast<int>(std::size(kPackages)))];
        Coord ox = static_cast<Coord>(c % cols) * cell + mils(200);
        Coord oy = static_cast<Coord>(c / cols) * cell + mils(200);
        std::string ref = std::string(p.prefix) + std::to_string(++counters[p.prefix[0] - 'A']);
        std::string params =
            std::string(p.name) + '\x7F' + ref + '\x7F' + kValues[pick(static_cast<int>(std::size(kValues)))];
        Ref comp = make_component(ring, 0, pick(8) == 0 ? 16384 : 0, params);
        Ref members = member_ring(comp);
        int pitch = clean && std::string(p.name) == "TO92" ? 100 : p.pitch;
        int per_row = p.row_space ? (p.pins + 1) / 2 : p.pins;
        Coord w = mils(pitch * (per_row - 1));
        Coord h = mils(p.row_space);
        for (int pin = 0; pin < p.pins; ++pin) {
            bool second = p.row_space && pin >= per_row;
            int col = second ? p.pins - 1 - pin : pin;
            Coord x = ox + mils(pitch * col), y = oy + (second ? h : 0);
            uint16_t type = p.smd ? 6 : (pin == 0 ? 2 : 1);
            if (p.smd && p.row_space) {
                type = 5;
            }
            Ref pad = MakeItem(members, kPad, p.smd ? 3 : 0, type, x, y, 0, 0);
            node(pad).pad.width = static_cast<Length>(mils(p.pad_w));
            node(pad).pad.height = static_cast<Length>(mils(p.pad_h));
            node(pad).pad.hole = static_cast<Length>(mils(p.hole));
            SetPin(pad, std::to_string(pin + 1));
            pads.push_back({pad, x, y, p.smd, ref + "-" + std::to_string(pin + 1)});
        }
        Coord m40 = mils(40);
        silk_box(members, ox - m40, oy - m40 - mils(p.pad_h / 2), ox + w + m40, oy + h + m40 + mils(p.pad_h / 2));
        if (p.pins > 3) {
            Ref a = MakeItem(members, kArc, 1, static_cast<uint16_t>(mils(8)), ox - mils(70), oy, mils(15), 0);
            node(a).arc.sweep = 0; // a full circle marks pin 1
        }
        text(members, 1, ox - m40, oy + h + mils(60), 50, "&1");
        text(members, 1, ox - m40, oy - mils(110), 40, "&2");
        node(members).box.x1 = ox;
        node(members).box.y1 = oy;
        close_component(comp);
    }

    // Nets: runs of two to five consecutive pads share a Signal; about a fifth go to GND or VCC.
    long nets = 0;
    const uint16_t track = static_cast<uint16_t>(mils(12));
    auto emit = [&](const std::vector<Seg>& conn, const std::string& name) {
        std::vector<Ref> made;
        for (const Seg& g : conn) {
            if (g.kind == Seg::Via) {
                Ref via = MakeItem(ring, kPad, 0, 3, g.x1, g.y1, 0, 0);
                node(via).pad.width = node(via).pad.height = static_cast<Length>(mils(40));
                node(via).pad.hole = static_cast<Length>(mils(20));
                AttachSignal(via, name);
            } else if (g.kind == Seg::Track) {
                made.push_back(MakeItem(ring, kLine, g.layer, track, g.x1, g.y1, g.x2, g.y2));
            } else {
                Ref arc = MakeItem(ring, kArc, g.layer, track, g.x1, g.y1, g.x2, 0);
                node(arc).arc.start = g.start;
                node(arc).arc.sweep = 16384;
                made.push_back(arc);
            }
        }
        for (Ref r : made) {
            AttachSignal(r, name);
        }
    };
    struct Route {
        std::string name;
        std::vector<std::vector<Seg>> conns;
    };
    std::map<std::string, std::vector<std::string>> expected; // each Signal's pins, for --expect
    std::vector<Route> routes;         // --clean: placed once every pad is on the grid
    std::vector<std::string> pad_nets; // --clean: each pad's Signal
    for (size_t k = 0; k < pads.size();) {
        size_t len = 2 + static_cast<size_t>(pick(4));
        len = std::min(len, pads.size() - k);
        int kind = pick(10);
        std::string name = kind == 0 ? "GND" : kind == 1 ? "VCC" : "N$" + std::to_string(++nets);
        for (size_t j = k; j < k + len; ++j) {
            AttachSignal(pads[j].pad, name);
            expected[name].push_back(pads[j].node);
            if (clean) {
                pad_nets.push_back(name);
            }
        }
        Route route{name, {}};
        for (size_t j = k + 1; j < k + len; ++j) {
            const PadRef& a = pads[j - 1];
            const PadRef& b = pads[j];
            int style = pick(20);
            uint8_t second_layer = 3;
            std::vector<Seg> conn;
            if (style < 2 && !a.smd && !b.smd) {
                // Through a via at the corner, the second leg on the bottom.
                conn.push_back({Seg::Via, 0, b.x, a.y, 0, 0, 0});
                second_layer = 4;
            }
            if (style == 3 && a.x != b.x && a.y != b.y) {
                // A rounded corner: the legs stop short and a quarter arc joins them.
                Coord r = mils(25);
                Coord sx = b.x > a.x ? -r : r;
                Coord sy = b.y > a.y ? r : -r;
                conn.push_back({Seg::Track, 3, a.x, a.y, b.x + sx, a.y, 0});
                conn.push_back({Seg::Track, 3, b.x, a.y + sy, b.x, b.y, 0});
                conn.push_back({Seg::Arc, 3, b.x + sx, a.y + sy, r, 0, static_cast<Angle>(pick(4) * 16384)});
            } else {
                conn.push_back({Seg::Track, 3, a.x, a.y, b.x, a.y, 0});
                conn.push_back({Seg::Track, second_layer, b.x, a.y, b.x, b.y, 0});
            }
            if (clean) {
                route.conns.push_back(std::move(conn));
            } else {
                emit(conn, name);
            }
        }
        if (clean && !route.conns.empty()) {
            routes.push_back(std::move(route));
        }
        k += len;
    }

    // --clean: the pads go on the grid first, then each route whole or not at all.
    std::unique_ptr<Occupancy> grid;
    long refused = 0;
    Coord side = static_cast<Coord>(cols) * cell;
    if (clean) {
        const Setup& st = d->setup;
        Coord c = std::max({st.clear_line_line, st.clear_line_pad, st.clear_pad_pad});
        grid = std::make_unique<Occupancy>(side + cell, c > 0 ? Occupancy::to_mils(c) : 10.0);
        if (m.signal_index.size() + 2 >= Occupancy::kEveryone) {
            std::fprintf(stderr, "gen_board: too many nets for --clean\n");
            return 2;
        }
        std::map<std::string, uint16_t> ids;
        auto id_of = [&](const std::string& name) {
            return ids.emplace(name, static_cast<uint16_t>(ids.size() + 1)).first->second;
        };
        const double grow = grid->clearance() + 2.0;
        for (size_t k = 0; k < pads.size(); ++k) {
            const Node& p = node(pads[k].pad);
            double w = Occupancy::to_mils(static_cast<Coord>(p.pad.width)) / 2;
            double h = Occupancy::to_mils(static_cast<Coord>(p.pad.height)) / 2;
            if (p.pad.angle != 0) {
                w = h = std::max(w, h);
            }
            uint16_t net = id_of(pad_nets[k]);
            for (int plane : Occupancy::planes(p.layer)) {
                grid->rect(plane, pads[k].x, pads[k].y, w + grow, h + grow, net, true);
            }
            if (!pads[k].smd) {
                double hole = Occupancy::to_mils(static_cast<Coord>(p.pad.hole)) / 2 + 2.0;
                grid->rect(Occupancy::kDrills, pads[k].x, pads[k].y, hole, hole, 1, true);
            }
        }
        const uint16_t track_mils = 12;
        for (const Route& r : routes) {
            uint16_t net = id_of(r.name);
            bool ok = true;
            for (const auto& conn : r.conns) {
                for (const Seg& g : conn) {
                    ok = ok && occupy(*grid, g, track_mils, net, false);
                }
            }
            if (!ok) {
                ++refused;
                continue;
            }
            for (const auto& conn : r.conns) {
                for (const Seg& g : conn) {
                    occupy(*grid, g, track_mils, net, true);
                }
                emit(conn, r.name);
            }
        }
    }

    // Pours on the plane layer, one per 200 components, and a few board texts.
    static const int kDx[12] = {0, 300, 600, 900, 1200, 1200, 1200, 900, 600, 300, 0, 0};
    static const int kDy[12] = {0, -50, 0, -50, 0, 400, 800, 850, 800, 850, 800, 400};
    long pours_refused = 0;
    for (long k = 0; k < std::max(1L, n / 200); ++k) {
        Ref s = clean ? kNone : MakeItem(ring, kLine, 5, 0, 0, 0, 0, 0);
        Coord cx = static_cast<Coord>(pick(std::max(1, cols))) * cell,
              cy = static_cast<Coord>(pick(std::max(1, cols))) * cell;
        if (clean) {
            // A pour belongs to no net: its outline must stay clear of every net's copper.
            constexpr uint16_t kPour = Occupancy::kEveryone - 1;
            auto edges = [&](bool mark) {
                bool ok = true;
                double grow = 2.0 + (mark ? grid->clearance() : 0.0);
                for (int v = 0; v < 12; ++v) {
                    int w = (v + 1) % 12;
                    ok = grid->capsule(2, kDx[v] + Occupancy::to_mils(cx), kDy[v] + Occupancy::to_mils(cy),
                                       kDx[w] + Occupancy::to_mils(cx), kDy[w] + Occupancy::to_mils(cy), grow,
                                       kPour, mark) &&
                         ok;
                }
                return ok;
            };
            if (!edges(false)) {
                ++pours_refused;
                continue;
            }
            edges(true);
            s = MakeItem(ring, kLine, 5, 0, 0, 0, 0, 0);
        }
        for (int v = 0; v < 12; ++v) {
            add_vertex(s, cx + mils(kDx[v]), cy + mils(kDy[v]));
        }
    }

    for (int k = 0; k < 4; ++k) {
        Ref l = MakeItem(ring, kLine, 8, static_cast<uint16_t>(mils(10)), k == 1 || k == 2 ? side : 0,
                         k >= 2 ? side : 0, k == 0 || k == 1 ? side : 0, k == 1 || k == 2 ? side : 0);
        (void)l;
    }
    text(ring, 1, mils(200), side + mils(100), 80, "SYNTHETIC BENCHMARK BOARD");
    text(ring, 7, mils(200), side + mils(100), 60, "BOTTOM");

    // Components in the order of their keys, as reading would sort them.
    std::vector<std::pair<std::array<char, 128>, Ref>> comps;
    for_each_item(ring, [&](Ref r) {
        if (node(r).item_kind() == kComponent) {
            comps.emplace_back(ComponentKey(r), r);
        }
    });
    std::stable_sort(comps.begin(), comps.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    for (auto& [key, r] : comps) {
        Unlink(r);
    }
    Ref anchor = first_item(ring);
    for (auto& [key, r] : comps) {
        InsertBefore(r, anchor == kNone ? ring : anchor);
    }

    long items = 0;
    walk_tree(ring, [&](Ref, int) { ++items; });
    FormatTable formats;
    register_model_formats(formats);
    std::string why;
    if (!SaveDocumentFile(formats, out, 'C', &why)) {
        std::fprintf(stderr, "gen_board: cannot write \"%s\": %s\n", out.c_str(), why.c_str());
        return 1;
    }
    if (!expect_file.empty()) {
        // The nets as a netlist should list them: {"NAME": ["REF-PIN", ...], ...}.
        std::FILE* f = std::fopen(expect_file.c_str(), "w");
        if (f == nullptr) {
            std::fprintf(stderr, "gen_board: cannot write \"%s\"\n", expect_file.c_str());
            return 1;
        }
        const char* sep = "{";
        for (const auto& [name, nodes] : expected) {
            std::fprintf(f, "%s\n\"%s\": [", sep, name.c_str());
            for (size_t i = 0; i < nodes.size(); ++i) {
                std::fprintf(f, "%s\"%s\"", i ? ", " : "", nodes[i].c_str());
            }
            std::fprintf(f, "]");
            sep = ",";
        }
        std::fprintf(f, "%s\n}\n", expected.empty() ? "{" : "");
        std::fclose(f);
    }
    if (!geda_file.empty() && !bench::write_geda(*d, geda_file)) {
        std::fprintf(stderr, "gen_board: cannot write \"%s\"\n", geda_file.c_str());
        return 1;
    }
    std::printf("gen_board: %ld components, %ld Items, %zu Signals -> %s\n", n, items, m.signal_index.size(),
                out.c_str());
    if (clean) {
        std::printf("gen_board: --clean left %ld of %zu routes and %ld pours out\n", refused, routes.size(),
                    pours_refused);
    }
    return 0;
}
