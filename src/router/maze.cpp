// The snake pass.  Each Ratnest line the other passes left is searched for with A* over a grid of cells on
// every routing layer: steps along a layer's own direction are cheap, steps across it, turns and vias cost
// more.  The grid only proposes: every step is confirmed with the segment-clear test (and every via with
// the via test) as the search meets it, and the whole route is confirmed again before anything is laid,
// so what is laid keeps the clearances exactly.  A connection is laid whole or not at all.  When a
// connection cannot be found, routes this pass laid itself (never the user's copper, nor the other passes'
// routes) may be taken up to let it through, but only when each of them can be routed again; otherwise
// everything goes back as it was.
#include "router/maze.h"

#include <algorithm>
#include <cmath>
#include <queue>
#include <string>
#include <vector>

#include "edit/undo.h"
#include "model/exact_distance.h"
#include "model/hit_test.h"
#include "nets/net_state.h"
#include "router/line_walk.h"
#include "router/vias.h"

namespace trazel::router {

using model::Node;
using model::node;

namespace {

constexpr int64_t kTol = kEndTolerance;
constexpr int64_t kTenth = 6554; // 0.1 inch: the pitch divides it so that grid lines pass between pins
constexpr int64_t kEdge = int64_t{1} << 30; // no grid point beyond this, so that every point is a Coord

// Costs, in tenths of a cell: a step along the layer's direction, across it, diagonally; turns; a via.
constexpr uint32_t kAlong = 10, kAcross = 14, kDiagonal = 15, kTurn45 = 3, kTurn90 = 8, kTurnSharp = 30;
constexpr uint32_t kVia = 120;
constexpr uint32_t kInf = UINT32_MAX;

constexpr int kDx[8] = {1, 1, 0, -1, -1, -1, 0, 1};
constexpr int kDy[8] = {0, 1, 1, 1, 0, -1, -1, -1};
constexpr uint8_t kNoDir = 8;

bool same(Point a, Point b) {
    return a.x == b.x && a.y == b.y;
}

// A route: its points, each with the layer of the run that leaves it; two points in the same place on
// different layers are a via.
struct Vertex {
    Point p;
    int layer;
};
using Path = std::vector<Vertex>;

// A Ratnest line as it was, to put it back.
struct RatCopy {
    Point a, b;
    uint16_t size = 0;
    uint8_t kind = 0;
    uint32_t spare = 0;
    Ref sig = model::kNone;
    std::string sig_name;
};

RatCopy copy_of(Ref line) {
    const Node& n = node(line);
    RatCopy c;
    c.a = Point{n.line.x1, n.line.y1};
    c.b = Point{n.line.x2, n.line.y2};
    c.size = n.size;
    c.kind = static_cast<uint8_t>(n.kind & ~model::kRunTimeMarks);
    c.spare = n.line.spare;
    c.sig = model::item_signal(line);
    c.sig_name = model::signal_name(c.sig);
    return c;
}

struct Conn {
    Ref line = model::kNone;
    RatCopy rat;
    std::vector<bool> at_a, at_b; // per routing layer: the end can be joined there
};

// A route this pass laid.
struct Made {
    RatCopy rat;
    Path path;
    std::vector<Ref> items; // Lines first, then vias
    model::Box box;
    bool alive = true;
};

int64_t floor_div(int64_t a, int64_t b) {
    int64_t q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

class Maze {
  public:
    Maze(Router& r, const MazeLimits& lim) : r_(r), lim_(lim) {
        for (int l = 1; l < model::kRatnestLayer; ++l) {
            int d = layer_direction(r.doc.setup, l);
            if (d != kNoDirection) {
                layers_.push_back(l);
                dirs_.push_back(d);
            }
        }
        Coord w = std::max<Coord>(r.set.track_width, 1);
        int64_t want = std::max<int64_t>(int64_t{w} + std::max<Coord>(r.set.clear_line_line, 0), 64);
        int64_t k = kTenth / want;
        pitch_ = k >= 1 ? kTenth / k : want;
    }

    PassResult run();

  private:
    Conn conn_of(Ref line) const;
    std::vector<bool> reach_at(Point p, Ref sig) const;
    bool find(const Conn& c, Path& out);
    // One A* search; `walled` says it ended because no cell was left (not on its budget or size).
    bool search(const Conn& c, int64_t pitch, Path& out, bool& walled);
    bool via_ok(Point p, Ref own);
    bool confirm(const Path& p, Ref own);
    bool lay(Ref line, const RatCopy& rat, const Path& p, std::vector<Ref>& items);
    void remove(const std::vector<Ref>& items);
    Ref take_up(Made& m);
    bool route(const Conn& c);
    bool rip_up(const Conn& c, Ref& shown);
    void mark(const std::vector<Ref>& items, bool on);
    std::vector<Ref> mark_ends(const RatCopy& rat);

    Router& r_;
    MazeLimits lim_;
    std::vector<int> layers_, dirs_;
    int64_t pitch_ = 0;
    std::vector<Made> made_;
    uint32_t lost_ = 0; // routes taken up that could not be laid again

    // One search's grid.
    int64_t x0_ = 0, y0_ = 0, pitch_now_ = 0;
    int64_t nx_ = 0, ny_ = 0;
    std::vector<uint32_t> g_;
    std::vector<int32_t> parent_;
    std::vector<uint8_t> dir_, flags_, near_, via_;
    std::vector<uint16_t> edge_;
};

// The routing layers on which a track from `p` joins something: a through-hole pad or a surface pad of the
// layer centred there (the own Signal's when there are any), or else an end of an own track on the layer.
std::vector<bool> Maze::reach_at(Point p, Ref sig) const {
    std::vector<bool> own(layers_.size(), false), any(layers_.size(), false), tracks(layers_.size(), false);
    bool have_own = false;
    r_.q->visit_near(int64_t{p.x} - kTol, int64_t{p.y} - kTol, int64_t{p.x} + kTol, int64_t{p.y} + kTol, [&](Ref x) {
        const Node& n = node(x);
        bool mine = sig != model::kNone && model::item_signal(x) == sig;
        if (n.item_kind() == model::kPad && near(n.pad.x0, p.x) && near(n.pad.y0, p.y)) {
            have_own = have_own || mine;
            for (size_t i = 0; i < layers_.size(); ++i) {
                if (!nets::smt_pad(n) || n.layer == layers_[i]) {
                    any[i] = true;
                    if (mine) {
                        own[i] = true;
                    }
                }
            }
        } else if (mine && n.item_kind() == model::kLine && n.size != 0 &&
                   ((near(n.line.x1, p.x) && near(n.line.y1, p.y)) || (near(n.line.x2, p.x) && near(n.line.y2, p.y)))) {
            for (size_t i = 0; i < layers_.size(); ++i) {
                if (n.layer == layers_[i]) {
                    tracks[i] = true;
                }
            }
        }
    });
    std::vector<bool> out = have_own ? own : any;
    for (size_t i = 0; i < out.size(); ++i) {
        out[i] = out[i] || tracks[i];
    }
    return out;
}

Conn Maze::conn_of(Ref line) const {
    Conn c;
    c.line = line;
    c.rat = copy_of(line);
    c.at_a = reach_at(c.rat.a, c.rat.sig);
    c.at_b = reach_at(c.rat.b, c.rat.sig);
    return c;
}

// A via there keeps the via test's clearances, and stays off the own Signal's pads too (the via test lets
// those touch, but a hole through or beside another pad is a drilling fault).
bool Maze::via_ok(Point p, Ref own) {
    if (!via_clear(r_, p, own)) {
        return false;
    }
    if (own == model::kNone) {
        return true; // the via test has judged every pad
    }
    int64_t reach = (int64_t{r_.set.via_pad} + 1) / 2 + std::max<Coord>(r_.set.clear_pad_pad, 0) + 2;
    bool ok = true;
    r_.q->visit_near(int64_t{p.x} - reach, int64_t{p.y} - reach, int64_t{p.x} + reach, int64_t{p.y} + reach, [&](Ref x) {
        const Node& n = node(x);
        model::Box b;
        if (!ok || n.item_kind() != model::kPad || n.hidden() || model::item_signal(x) != own || !model::hit_extent(n, b)) {
            return;
        }
        b.grow(reach);
        ok = p.x < b.x1 || p.x > b.x2 || p.y < b.y1 || p.y > b.y2;
    });
    return ok;
}

bool Maze::search(const Conn& c, int64_t pitch, Path& out, bool& walled) {
    walled = false;
    const int nl = static_cast<int>(layers_.size());
    const Point a = c.rat.a, b = c.rat.b;
    const Ref own = c.rat.sig;
    const Coord w = r_.set.track_width;
    int64_t span = std::max(model::abs64(int64_t{b.x} - a.x), model::abs64(int64_t{b.y} - a.y));
    // The grid holds both ends with a margin for detours, smaller when the grid would be too big.
    bool fits = false;
    for (int64_t margin : {std::max<int64_t>(10 * pitch, span / 3), 3 * pitch}) {
        int64_t xmin = std::max<int64_t>(std::min<int64_t>(a.x, b.x) - margin, -kEdge);
        int64_t xmax = std::min<int64_t>(std::max<int64_t>(a.x, b.x) + margin, kEdge);
        int64_t ymin = std::max<int64_t>(std::min<int64_t>(a.y, b.y) - margin, -kEdge);
        int64_t ymax = std::min<int64_t>(std::max<int64_t>(a.y, b.y) + margin, kEdge);
        int64_t i0 = (a.x - xmin) / pitch, j0 = (a.y - ymin) / pitch;
        x0_ = a.x - i0 * pitch;
        y0_ = a.y - j0 * pitch;
        nx_ = i0 + (xmax - a.x) / pitch + 1;
        ny_ = j0 + (ymax - a.y) / pitch + 1;
        if (nx_ * ny_ * nl <= int64_t{lim_.max_states}) {
            fits = true;
            break;
        }
    }
    if (!fits || nl == 0) {
        return false;
    }
    pitch_now_ = pitch;
    const size_t cells = static_cast<size_t>(nx_ * ny_), states = cells * static_cast<size_t>(nl);
    g_.assign(states, kInf);
    parent_.assign(states, -1);
    dir_.assign(states, kNoDir);
    flags_.assign(states, 0);
    edge_.assign(states, 0);
    near_.assign(states, 0);
    via_.assign(cells, 0);

    // Cells near another Signal's copper, per layer: only steps from them are put to the segment-clear test.
    const int64_t reach = (int64_t{w} + 1) / 2 +
                          std::max<int64_t>({int64_t{r_.set.clear_line_line}, int64_t{r_.set.clear_line_pad}, 0}) +
                          pitch + 8;
    r_.q->visit_near(x0_ - reach, y0_ - reach, x0_ + (nx_ - 1) * pitch + reach, y0_ + (ny_ - 1) * pitch + reach,
                     [&](Ref x) {
                         const Node& n = node(x);
                         if (n.marked() || n.hidden() || (own != model::kNone && model::item_signal(x) == own)) {
                             return;
                         }
                         model::Box bx;
                         if (!model::hit_extent(n, bx)) {
                             return;
                         }
                         bx.grow(reach);
                         int64_t i1 = std::max<int64_t>(floor_div(bx.x1 - x0_, pitch), 0);
                         int64_t i2 = std::min<int64_t>(floor_div(bx.x2 - x0_, pitch) + 1, nx_ - 1);
                         int64_t j1 = std::max<int64_t>(floor_div(bx.y1 - y0_, pitch), 0);
                         int64_t j2 = std::min<int64_t>(floor_div(bx.y2 - y0_, pitch) + 1, ny_ - 1);
                         for (int l = 0; l < nl; ++l) {
                             bool on = n.item_kind() == model::kPad ? (!nets::smt_pad(n) || n.layer == layers_[l])
                                                                    : (n.layer == layers_[l] || n.layer == 0);
                             if (!on) {
                                 continue;
                             }
                             for (int64_t j = j1; j <= j2; ++j) {
                                 uint8_t* row = &near_[(static_cast<size_t>(l) * ny_ + j) * nx_];
                                 std::fill(row + i1, row + i2 + 1, uint8_t{1});
                             }
                         }
                     });

    auto point = [&](int64_t i, int64_t j) {
        return Point{static_cast<Coord>(x0_ + i * pitch), static_cast<Coord>(y0_ + j * pitch)};
    };
    // The heuristic: octile distance to the far end at the cheapest step costs.
    auto h = [&](int64_t i, int64_t j) {
        double dx = std::fabs(static_cast<double>(x0_ + i * pitch - b.x)) / static_cast<double>(pitch);
        double dy = std::fabs(static_cast<double>(y0_ + j * pitch - b.y)) / static_cast<double>(pitch);
        double lo = std::min(dx, dy), hi = std::max(dx, dy);
        return static_cast<uint32_t>(kAlong * (hi - lo) + 14.0 * lo);
    };
    using Entry = std::pair<uint32_t, uint32_t>;
    std::priority_queue<Entry, std::vector<Entry>, std::greater<>> open;
    const int64_t ia = (a.x - x0_) / pitch, ja = (a.y - y0_) / pitch;
    for (int l = 0; l < nl; ++l) {
        if (c.at_a[static_cast<size_t>(l)]) {
            size_t s = (static_cast<size_t>(l) * ny_ + ja) * nx_ + ia;
            g_[s] = 0;
            open.emplace(h(ia, ja), static_cast<uint32_t>(s));
        }
    }
    const int64_t goal_r = pitch + pitch / 2;
    uint32_t steps = 0;
    while (!open.empty()) {
        auto [f, s] = open.top();
        open.pop();
        if ((flags_[s] & 1) != 0) {
            continue;
        }
        flags_[s] |= 1;
        if (++steps > lim_.steps) {
            return false;
        }
        const int l = static_cast<int>(s / cells);
        const int64_t j = static_cast<int64_t>(s % cells) / nx_, i = static_cast<int64_t>(s % cells) % nx_;
        const Point p = point(i, j);
        const int layer = layers_[static_cast<size_t>(l)];
        // The far end, straight from here.
        if (c.at_b[static_cast<size_t>(l)] && model::abs64(int64_t{p.x} - b.x) <= goal_r &&
            model::abs64(int64_t{p.y} - b.y) <= goal_r &&
            (same(p, b) || r_.q->segment_clear(layer, w, p, b, own))) {
            std::vector<uint32_t> chain;
            for (int64_t t = s; t >= 0; t = parent_[static_cast<size_t>(t)]) {
                chain.push_back(static_cast<uint32_t>(t));
            }
            std::reverse(chain.begin(), chain.end());
            out.clear();
            for (uint32_t t : chain) {
                int64_t tj = static_cast<int64_t>(t % cells) / nx_, ti = static_cast<int64_t>(t % cells) % nx_;
                out.push_back(Vertex{point(ti, tj), layers_[t / cells]});
            }
            out.front().p = a; // the grid's origin cell is the end itself
            if (!same(out.back().p, b)) {
                out.push_back(Vertex{b, layer});
            }
            return true;
        }
        const uint32_t gs = g_[s];
        const uint8_t ds = dir_[s];
        const int d_bits = dirs_[static_cast<size_t>(l)];
        for (uint8_t d = 0; d < 8; ++d) {
            int64_t ni = i + kDx[d], nj = j + kDy[d];
            if (ni < 0 || nj < 0 || ni >= nx_ || nj >= ny_) {
                continue;
            }
            size_t ns = (static_cast<size_t>(l) * ny_ + nj) * nx_ + ni;
            if ((flags_[ns] & 1) != 0) {
                continue;
            }
            uint32_t turn = 0;
            if (ds != kNoDir) {
                int dd = std::abs(int{d} - int{ds});
                dd = std::min(dd, 8 - dd);
                if (dd == 4) {
                    continue;
                }
                turn = dd == 0 ? 0 : dd == 1 ? kTurn45 : dd == 2 ? kTurn90 : kTurnSharp;
            }
            uint32_t step = (d % 2 == 1) ? kDiagonal
                            : (d % 4 == 0) ? ((d_bits & kXAxis) != 0 ? kAlong : kAcross)
                                           : ((d_bits & kYAxis) != 0 ? kAlong : kAcross);
            uint32_t ng = gs + step + turn;
            if (ng >= g_[ns]) {
                continue;
            }
            // The step itself, put to the segment-clear test once (two bits per direction: tried, clear).
            if (near_[s] != 0 || near_[ns] != 0) {
                uint16_t bits = static_cast<uint16_t>((edge_[s] >> (2 * d)) & 3u);
                if (bits == 0) {
                    bool ok = r_.q->segment_clear(layer, w, p, point(ni, nj), own);
                    bits = ok ? 3 : 1;
                    edge_[s] = static_cast<uint16_t>(edge_[s] | (bits << (2 * d)));
                }
                if (bits != 3) {
                    continue;
                }
            }
            g_[ns] = ng;
            parent_[ns] = static_cast<int32_t>(s);
            dir_[ns] = d;
            open.emplace(ng + h(ni, nj), static_cast<uint32_t>(ns));
        }
        // A via to every other layer.
        if (nl > 1) {
            size_t cell = s % cells;
            for (int ol = 0; ol < nl; ++ol) {
                size_t ns = static_cast<size_t>(ol) * cells + cell;
                if (ol == l || (flags_[ns] & 1) != 0 || gs + kVia >= g_[ns]) {
                    continue;
                }
                if (via_[cell] == 0) {
                    via_[cell] = (!same(p, a) && !same(p, b) && via_ok(p, own)) ? 2 : 1;
                }
                if (via_[cell] != 2) {
                    break;
                }
                g_[ns] = gs + kVia;
                parent_[ns] = static_cast<int32_t>(s);
                dir_[ns] = kNoDir;
                open.emplace(gs + kVia + h(i, j), static_cast<uint32_t>(ns));
            }
        }
    }
    walled = true;
    return false;
}

// Straight runs of grid steps become one Line.
Path simplify(const Path& p) {
    Path out;
    for (const Vertex& v : p) {
        if (out.size() >= 2) {
            const Vertex& u = out[out.size() - 1];
            const Vertex& t = out[out.size() - 2];
            if (t.layer == u.layer && u.layer == v.layer && !same(t.p, u.p)) {
                int64_t ax = int64_t{u.p.x} - t.p.x, ay = int64_t{u.p.y} - t.p.y;
                int64_t bx = int64_t{v.p.x} - u.p.x, by = int64_t{v.p.y} - u.p.y;
                if (ax * by == ay * bx && ax * bx + ay * by > 0) {
                    out.back() = v;
                    continue;
                }
            }
        }
        out.push_back(v);
    }
    return out;
}

bool Maze::find(const Conn& c, Path& out) {
    auto inside = [](Point p) { return model::abs64(p.x) < kEdge && model::abs64(p.y) < kEdge; };
    if (same(c.rat.a, c.rat.b) || !inside(c.rat.a) || !inside(c.rat.b) || std::none_of(c.at_a.begin(), c.at_a.end(), [](bool x) { return x; }) ||
        std::none_of(c.at_b.begin(), c.at_b.end(), [](bool x) { return x; })) {
        return false;
    }
    Path raw;
    bool walled = false;
    bool found = search(c, pitch_, raw, walled);
    // Walled in on the coarse grid: a gap narrower than a cell may still let a track through.
    if (!found && walled && pitch_ / 2 >= 32) {
        found = search(c, pitch_ / 2, raw, walled);
    }
    if (!found) {
        return false;
    }
    out = simplify(raw);
    return confirm(out, c.rat.sig);
}

// Every run with the segment-clear test and every via with the via test, as they will be laid.
bool Maze::confirm(const Path& p, Ref own) {
    if (p.size() < 2) {
        return false;
    }
    for (size_t k = 0; k + 1 < p.size(); ++k) {
        const Vertex &u = p[k], &v = p[k + 1];
        if (u.layer == v.layer) {
            if (same(u.p, v.p) || !r_.q->segment_clear(u.layer, r_.set.track_width, u.p, v.p, own)) {
                return false;
            }
        } else if (!same(u.p, v.p) || !via_ok(u.p, own)) {
            return false;
        }
    }
    return true;
}

// The Lines next to the Ratnest line, the vias, and then the Ratnest line goes; nothing stays when any
// part cannot be made.
bool Maze::lay(Ref line, const RatCopy& rat, const Path& p, std::vector<Ref>& items) {
    items.clear();
    bool ok = true;
    r_.change([&] {
        auto width = static_cast<uint16_t>(std::clamp<Coord>(r_.set.track_width, 1, 65535));
        for (size_t k = 0; k + 1 < p.size() && ok; ++k) {
            const Vertex &u = p[k], &v = p[k + 1];
            if (u.layer != v.layer) {
                continue;
            }
            Ref l = model::MakeItem(r_.doc.ring(), model::kLine, static_cast<uint8_t>(u.layer), width, u.p.x, u.p.y,
                                    v.p.x, v.p.y);
            if (l == model::kNone) {
                ok = false;
                break;
            }
            model::MoveBefore(l, line);
            if (!rat.sig_name.empty()) {
                model::AttachSignal(l, rat.sig_name);
            }
            edit::RecordCreated(r_.doc, l, r_.undo_number++);
            r_.q->added(l);
            items.push_back(l);
        }
    });
    for (size_t k = 0; k + 1 < p.size() && ok; ++k) {
        if (p[k].layer != p[k + 1].layer) {
            Ref v = place_via(r_, p[k].p, rat.sig);
            if (v == model::kNone) {
                ok = false;
            } else {
                items.push_back(v);
            }
        }
    }
    if (!ok) {
        remove(items);
        items.clear();
        return false;
    }
    r_.change([&] {
        r_.q->removed(line);
        edit::RecordDeleted(r_.doc, line, r_.undo_number++);
        r_.doc.mark_modified();
    });
    for (Ref x : items) {
        r_.draw(x);
    }
    return true;
}

void Maze::remove(const std::vector<Ref>& items) {
    if (items.empty()) {
        return;
    }
    r_.change([&] {
        for (Ref x : items) {
            r_.q->removed(x);
            edit::RecordDeleted(r_.doc, x, r_.undo_number++);
        }
        r_.doc.mark_modified();
    });
}

// Takes a route of this pass up and puts its Ratnest line back where the route was.
Ref Maze::take_up(Made& m) {
    Ref line = model::kNone;
    const RatCopy& rc = m.rat;
    r_.change([&] {
        line = model::MakeItem(r_.doc.ring(), model::kLine, model::kRatnestLayer, rc.size, rc.a.x, rc.a.y, rc.b.x,
                               rc.b.y);
        if (line == model::kNone) {
            return;
        }
        node(line).kind = rc.kind;
        node(line).line.spare = rc.spare;
        if (!rc.sig_name.empty()) {
            model::AttachSignal(line, rc.sig_name);
        }
        model::MoveBefore(line, m.items.front());
        edit::RecordCreated(r_.doc, line, r_.undo_number++);
    });
    if (line == model::kNone) {
        return model::kNone; // no room for the Ratnest line: the route stays
    }
    remove(m.items);
    m.items.clear();
    m.alive = false;
    r_.draw(line);
    return line;
}

void Maze::mark(const std::vector<Ref>& items, bool on) {
    r_.change([&] {
        for (Ref x : items) {
            if (on) {
                node(x).kind |= model::kMarkFlag;
            } else {
                node(x).kind &= static_cast<uint8_t>(~model::kMarkFlag);
            }
        }
    });
}

// A line without Signal: the Pads and Line ends on its end points must not block it.
std::vector<Ref> Maze::mark_ends(const RatCopy& rat) {
    std::vector<Ref> out;
    for (Point p : {rat.a, rat.b}) {
        r_.q->visit_near(int64_t{p.x} - kTol, int64_t{p.y} - kTol, int64_t{p.x} + kTol, int64_t{p.y} + kTol, [&](Ref x) {
            const Node& n = node(x);
            if (n.marked() || std::find(out.begin(), out.end(), x) != out.end()) {
                return;
            }
            bool on = n.item_kind() == model::kPad ? near(n.pad.x0, p.x) && near(n.pad.y0, p.y)
                      : n.item_kind() == model::kLine && n.size != 0
                          ? (near(n.line.x1, p.x) && near(n.line.y1, p.y)) || (near(n.line.x2, p.x) && near(n.line.y2, p.y))
                          : false;
            if (on) {
                out.push_back(x);
            }
        });
    }
    mark(out, true);
    return out;
}

model::Box box_of(const Path& p, int64_t grow) {
    model::Box b;
    for (const Vertex& v : p) {
        b.add(v.p.x, v.p.y);
    }
    b.grow(grow);
    return b;
}

// Finds and lays one connection; remembers it as this pass's own.
bool Maze::route(const Conn& c) {
    std::vector<Ref> ends;
    if (c.rat.sig == model::kNone) {
        ends = mark_ends(c.rat);
    }
    Path p;
    std::vector<Ref> items;
    bool ok = find(c, p) && lay(c.line, c.rat, p, items);
    mark(ends, false);
    if (ok) {
        int64_t g = std::max<int64_t>(r_.set.via_pad, r_.set.track_width) + 4;
        made_.push_back(Made{c.rat, p, items, box_of(p, g), true});
    }
    return ok;
}

// This pass's routes near the connection are set aside (marked) while it is searched for; those its route
// crosses are taken up, and each must be routed again, or everything goes back as it was.
// `shown` follows the connection's Ratnest line when it is put back anew.
bool Maze::rip_up(const Conn& c, Ref& shown) {
    model::Box around;
    around.add(c.rat.a.x, c.rat.a.y);
    around.add(c.rat.b.x, c.rat.b.y);
    around.grow(10 * pitch_);
    std::vector<size_t> near_routes;
    std::vector<Ref> all;
    for (size_t k = 0; k < made_.size(); ++k) {
        if (made_[k].alive && made_[k].box.meets(around)) {
            near_routes.push_back(k);
            all.insert(all.end(), made_[k].items.begin(), made_[k].items.end());
        }
    }
    if (near_routes.empty()) {
        return false;
    }
    std::vector<Ref> ends;
    if (c.rat.sig == model::kNone) {
        ends = mark_ends(c.rat);
    }
    mark(all, true);
    Path p;
    bool found = find(c, p);
    // The routes the path really crosses: each judged alone, the others still set aside.
    std::vector<size_t> victims;
    if (found) {
        for (size_t k : near_routes) {
            mark(made_[k].items, false);
            if (!confirm(p, c.rat.sig)) {
                victims.push_back(k);
            }
            mark(made_[k].items, true);
        }
    }
    mark(all, false);
    mark(ends, false);
    if (!found || victims.size() > static_cast<size_t>(lim_.max_victims)) {
        return false;
    }
    std::vector<Ref> mine;
    int64_t g = std::max<int64_t>(r_.set.via_pad, r_.set.track_width) + 4;
    if (victims.empty()) {
        // Clear without taking anything up (found only because the others opened a shorter way).
        if (!lay(c.line, c.rat, p, mine)) {
            return false;
        }
        made_.push_back(Made{c.rat, p, mine, box_of(p, g), true});
        return true;
    }
    std::vector<Made> old;
    for (size_t k : victims) {
        old.push_back(made_[k]);
    }
    std::vector<Ref> lines;
    for (size_t k : victims) {
        lines.push_back(take_up(made_[k]));
    }
    // Puts every victim back as it was (its old path is clear again once the newcomers are gone).
    auto restore = [&](size_t upto) {
        for (size_t v = 0; v < upto; ++v) {
            if (lines[v] == model::kNone) {
                continue; // never taken up
            }
            std::vector<Ref> items;
            if (confirm(old[v].path, old[v].rat.sig) && lay(lines[v], old[v].rat, old[v].path, items)) {
                made_[victims[v]] = Made{old[v].rat, old[v].path, items, old[v].box, true};
            } else {
                ++lost_;
            }
        }
    };
    if (std::find(lines.begin(), lines.end(), model::kNone) != lines.end()) {
        restore(lines.size());
        return false;
    }
    if (!confirm(p, c.rat.sig) || !lay(c.line, c.rat, p, mine)) {
        restore(lines.size());
        return false;
    }
    size_t mine_at = made_.size();
    made_.push_back(Made{c.rat, p, mine, box_of(p, g), true});
    size_t again = 0;
    for (; again < victims.size(); ++again) {
        Conn vc = conn_of(lines[again]);
        if (!route(vc)) {
            break;
        }
    }
    if (again == victims.size()) {
        return true;
    }
    // Not every victim found a new way: the newcomer and the new routes go, the old routes come back.
    Ref back = take_up(made_[mine_at]);
    if (back == model::kNone) {
        // No room to put its Ratnest line back: the newcomer stays, the victim left over is unrouted.
        lost_ += static_cast<uint32_t>(victims.size() - again);
        return true;
    }
    shown = back;
    for (size_t v = 0; v < again; ++v) {
        Ref line = take_up(made_[mine_at + 1 + v]);
        if (line == model::kNone) {
            lines[v] = model::kNone; // its new route stays
        } else {
            lines[v] = line;
        }
    }
    made_.erase(made_.begin() + static_cast<std::ptrdiff_t>(mine_at), made_.end());
    restore(victims.size());
    return false;
}

PassResult Maze::run() {
    PassResult res;
    for (Ref line : ratnest_lines(r_.doc)) {
        if (r_.cancelled) {
            break;
        }
        ++res.processed;
        Conn c = conn_of(line);
        Ref shown = line;
        bool ok = route(c) || (lim_.rip_up && rip_up(c, shown));
        if (ok) {
            ++res.routed;
            ++r_.routed;
        } else {
            r_.draw(shown);
        }
        // A route taken up that could not be laid again is no longer routed.
        uint32_t lost = std::min({lost_, res.routed, r_.routed});
        res.routed -= lost;
        r_.routed -= lost;
        lost_ = 0;
        if (r_.hooks.progress) {
            r_.hooks.progress(r_.routed, r_.total);
        }
        if (r_.run != nullptr && r_.run->cancelled()) {
            r_.cancelled = true;
        }
    }
    return res;
}

} // namespace

PassResult snake_pass(Router& r, const MazeLimits& limits) {
    Maze m(r, limits);
    return m.run();
}

PassResult snake_pass(Router& r) {
    return snake_pass(r, MazeLimits{});
}

} // namespace trazel::router
