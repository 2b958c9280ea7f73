// The free run and the segment-clear test, on a grid over the obstacles or by the plain walk.
//
// Shapes are worked in doubled coordinates, as the clearance check of the net scan works them, so that
// half widths of odd sizes stay whole and a route this file accepts is one the net scan accepts: every
// obstacle is a spine (a point, a segment, or a filled quadrilateral) with a diameter around it, and a
// track of width w keeps clear of it when its centre stays (diameter + w + 2 x clearance) doubled units
// away from the spine.
#include "router/queries.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <unordered_map>
#include <vector>

#include "edit/locate.h"
#include "model/exact_distance.h"
#include "model/hit_test.h"
#include "nets/net_state.h"

namespace trazel::router {

using model::Node;
using model::node;

namespace {

using model::exact::doubled;
using model::exact::I128;
using model::exact::kFar;
using model::exact::P2;
using model::exact::point_d2;
using model::exact::segment_d2;
using model::exact::segments_cross;
using model::exact::segments_d2;
using model::exact::U128;
using LD = long double;

constexpr int kArcChords = 32;

// One part of an obstacle: a point (n 1), a segment (n 2) or a filled convex quadrilateral (n 4), with
// the diameter around it and the clearance a track keeps from it.
struct Piece {
    P2 p[4];
    int n = 1;
    int64_t diam = 0;
    int64_t clear = 0;
};

// The doubled distance a track's centre keeps from a piece's spine.
int64_t required(const Piece& pc, Coord w) {
    return pc.diam + int64_t{w} + 2 * pc.clear;
}

bool circular_pad(const Node& pad) {
    return pad.pad.width == pad.pad.height && nets::shape_code(pad) != 2;
}

// A Pad's spine as the net scan's clearance check takes it against a Line.
Piece pad_piece(const Node& pad, Coord clear) {
    const model::PadFields& f = pad.pad;
    Piece s;
    s.clear = clear;
    P2 c = doubled(f.x0, f.y0);
    int64_t w = f.width, h = f.height;
    s.p[0] = c;
    if (circular_pad(pad)) {
        s.diam = w;
        return s;
    }
    model::Turn t = edit::turn_of(f.angle);
    auto turned = [&](int64_t x, int64_t y) {
        return P2{c.x + model::round16(x * t.cos - y * t.sin), c.y + model::round16(x * t.sin + y * t.cos)};
    };
    if (nets::shape_code(pad) == 2) {
        s.p[0] = turned(-w, -h);
        s.p[1] = turned(w, -h);
        s.p[2] = turned(w, h);
        s.p[3] = turned(-w, h);
        s.n = 4;
        return s;
    }
    s.diam = std::min(w, h);
    bool wide = w > h;
    int64_t along = wide ? w - h : h - w;
    s.p[0] = wide ? turned(-along, 0) : turned(0, -along);
    s.p[1] = wide ? turned(along, 0) : turned(0, along);
    s.n = 2;
    return s;
}

// How far an Arc's chords stray inside its stroke: the sagitta of one chord, plus rounding.
int64_t arc_margin(const Node& arc) {
    int64_t r = model::abs64(arc.arc.radius);
    LD sweep = arc.arc.sweep == 0 ? 65536.0L : static_cast<LD>(arc.arc.sweep);
    LD half = sweep / kArcChords / 65536.0L * 3.14159265358979323846L;
    return static_cast<int64_t>(std::ceil(static_cast<LD>(r) * (1.0L - std::cos(half)))) + 2;
}

// The pieces of an obstacle, Solids' interiors aside (the callers judge those).
template <class F> void for_each_piece(Ref r, const RouteSettings& s, F&& f) {
    const Node& n = node(r);
    switch (n.item_kind()) {
    case model::kLine:
        if (n.size == 0) {
            for (Ref v = n.link; v != model::kNone; v = node(v).link) {
                const model::LineFields& e = node(v).line;
                Piece pc;
                pc.p[0] = doubled(e.x1, e.y1);
                pc.p[1] = doubled(e.x2, e.y2);
                pc.n = 2;
                pc.clear = s.clear_line_line;
                f(pc);
            }
        } else {
            Piece pc;
            pc.p[0] = doubled(n.line.x1, n.line.y1);
            pc.p[1] = doubled(n.line.x2, n.line.y2);
            pc.n = 2;
            pc.diam = n.size;
            pc.clear = s.clear_line_line;
            f(pc);
        }
        break;
    case model::kArc: {
        // Chords, each with the stroke grown by how far the chord falls inside the curve.
        int64_t margin = arc_margin(n);
        uint32_t sweep = n.arc.sweep == 0 ? 65536u : n.arc.sweep;
        Point prev = model::arc_point(n, n.arc.start, edit::turn_of);
        for (int i = 1; i <= kArcChords; ++i) {
            auto a = static_cast<model::Angle>(n.arc.start + sweep * static_cast<uint32_t>(i) / kArcChords);
            Point next = model::arc_point(n, a, edit::turn_of);
            Piece pc;
            pc.p[0] = doubled(prev.x, prev.y);
            pc.p[1] = doubled(next.x, next.y);
            pc.n = 2;
            pc.diam = int64_t{n.size} + 2 * margin;
            pc.clear = s.clear_line_line;
            f(pc);
            prev = next;
        }
        break;
    }
    case model::kText: {
        model::Box b;
        if (model::hit_extent(n, b)) {
            Piece pc;
            pc.p[0] = P2{2 * b.x1, 2 * b.y1};
            pc.p[1] = P2{2 * b.x2, 2 * b.y1};
            pc.p[2] = P2{2 * b.x2, 2 * b.y2};
            pc.p[3] = P2{2 * b.x1, 2 * b.y2};
            pc.n = 4;
            pc.clear = s.clear_line_line;
            f(pc);
        }
        break;
    }
    case model::kPad:
        f(pad_piece(n, s.clear_line_pad));
        break;
    default:
        break;
    }
}

bool solid(const Node& n) {
    return n.item_kind() == model::kLine && n.size == 0 && n.link != model::kNone;
}

// Whether an Item is another Signal's copper on `layer`: Lines of non-zero width, Solids, Arcs and
// Texts on the layer (or either being layer 0; on a conductive layer for Texts), Pads unless they are
// surface pads on another layer.  The Ratnest layer is never copper.
bool obstacle(const model::Setup& st, Ref r, int layer, Ref own) {
    const Node& n = node(r);
    if (n.marked() || n.hidden() || n.layer == model::kRatnestLayer) {
        return false;
    }
    if (own != model::kNone && model::item_signal(r) == own) {
        return false;
    }
    auto on_layer = [&] {
        return layer == 0 ? (n.layer == 0 || nets::conductive_layer(st, n.layer)) : (n.layer == layer || n.layer == 0);
    };
    switch (n.item_kind()) {
    case model::kLine:
        return (n.size != 0 || solid(n)) && on_layer();
    case model::kArc:
        return on_layer();
    case model::kText:
        return on_layer() && (n.layer == 0 || nets::conductive_layer(st, n.layer));
    case model::kPad:
        return layer == 0 || !nets::smt_pad(n) || n.layer == layer;
    default:
        return false;
    }
}

// What an index keeps: Items that can ever be an obstacle.
bool indexable(const Node& n) {
    uint8_t k = n.item_kind();
    return (k == model::kLine || k == model::kArc || k == model::kText || k == model::kPad) &&
           n.layer != model::kRatnestLayer;
}

// A box holding every piece of the Item with its diameter.
bool obstacle_box(const Node& n, model::Box& b) {
    if (!model::hit_extent(n, b)) {
        return false;
    }
    b.grow(n.item_kind() == model::kArc ? arc_margin(n) + 2 : 2);
    return true;
}

// --- The run along one axis, in doubled coordinates -----------------------------------------------

struct UV {
    LD u, v;
};

struct Span {
    LD lo = std::numeric_limits<LD>::infinity(), hi = -std::numeric_limits<LD>::infinity();
    void add(LD a, LD b) {
        lo = std::min(lo, a);
        hi = std::max(hi, b);
    }
    bool empty() const {
        return lo > hi;
    }
};

struct RunLine {
    bool x_axis; // along X (u = x, v = y) or along Y (u = y, v = x)
    LD c;        // the cross coordinate, doubled
    UV of(P2 p) const {
        return x_axis ? UV{static_cast<LD>(p.x), static_cast<LD>(p.y)} : UV{static_cast<LD>(p.y), static_cast<LD>(p.x)};
    }
};

void circle_span(Span& s, UV c, LD r, LD line) {
    LD dv = line - c.v;
    if (std::fabs(dv) <= r) {
        LD h = std::sqrt(std::max<LD>(0, r * r - dv * dv));
        s.add(c.u - h, c.u + h);
    }
}

void polygon_span(Span& s, const UV* p, int n, LD line) {
    for (int i = 0; i < n; ++i) {
        UV a = p[i], b = p[(i + 1) % n];
        if (a.v == b.v) {
            if (a.v == line) {
                s.add(std::min(a.u, b.u), std::max(a.u, b.u));
            }
            continue;
        }
        if ((a.v - line) * (b.v - line) <= 0) {
            LD u = a.u + (line - a.v) * (b.u - a.u) / (b.v - a.v);
            s.add(u, u);
        }
    }
}

void stadium_span(Span& s, UV a, UV b, LD r, LD line) {
    circle_span(s, a, r, line);
    circle_span(s, b, r, line);
    LD du = b.u - a.u, dv = b.v - a.v, len = std::hypot(du, dv);
    if (len == 0) {
        return;
    }
    LD nu = -dv / len * r, nv = du / len * r;
    UV q[4] = {{a.u + nu, a.v + nv}, {b.u + nu, b.v + nv}, {b.u - nu, b.v - nv}, {a.u - nu, a.v - nv}};
    polygon_span(s, q, 4, line);
}

Span piece_span(const Piece& pc, Coord w, const RunLine& rl) {
    Span s;
    LD r = static_cast<LD>(required(pc, w));
    UV p[4];
    for (int i = 0; i < pc.n; ++i) {
        p[i] = rl.of(pc.p[i]);
    }
    if (pc.n == 1) {
        circle_span(s, p[0], r, rl.c);
    } else if (pc.n == 2) {
        stadium_span(s, p[0], p[1], r, rl.c);
    } else {
        polygon_span(s, p, 4, rl.c);
        for (int i = 0; i < 4; ++i) {
            stadium_span(s, p[i], p[(i + 1) % 4], r, rl.c);
        }
    }
    return s;
}

struct Ray {
    RunLine line;
    LD start; // doubled
    bool plus;
    Coord w;
};

// The distance (whole units, rounded down) at which a span stops the run; -1 when it lies behind.
int64_t span_distance(const Span& s, const Ray& ray) {
    if (s.empty()) {
        return -1;
    }
    LD d;
    if (ray.plus) {
        if (!(s.hi > ray.start)) {
            return -1;
        }
        d = s.lo - ray.start;
    } else {
        if (!(s.lo < ray.start)) {
            return -1;
        }
        d = ray.start - s.hi;
    }
    if (d <= 0) {
        return 0;
    }
    // Doubled units back to units, a hair short so that rounding never lets a track touch the margin.
    LD units = std::floor(d / 2 - 1e-6L);
    return units < 0 ? 0 : units >= static_cast<LD>(kNoBlocker) ? kNoBlocker : static_cast<int64_t>(units);
}

// The Solid's interior along the run: pairs of crossings, even-odd.
template <class F> void solid_spans(const Node& n, const RunLine& rl, F&& f) {
    std::vector<LD> xs;
    for (Ref v = n.link; v != model::kNone; v = node(v).link) {
        const model::LineFields& e = node(v).line;
        UV a = rl.of(doubled(e.x1, e.y1)), b = rl.of(doubled(e.x2, e.y2));
        if ((a.v <= rl.c && rl.c < b.v) || (b.v <= rl.c && rl.c < a.v)) {
            xs.push_back(a.u + (rl.c - a.v) * (b.u - a.u) / (b.v - a.v));
        }
    }
    std::sort(xs.begin(), xs.end());
    for (size_t i = 0; i + 1 < xs.size(); i += 2) {
        Span s;
        s.add(xs[i], xs[i + 1]);
        f(s);
    }
}

// The distance at which one obstacle stops the run (kNoBlocker when it does not).
int64_t item_distance(Ref r, const RouteSettings& set, const Ray& ray) {
    int64_t best = kNoBlocker;
    auto take = [&](const Span& s) {
        int64_t d = span_distance(s, ray);
        if (d >= 0 && d < best) {
            best = d;
        }
    };
    for_each_piece(r, set, [&](const Piece& pc) { take(piece_span(pc, ray.w, ray.line)); });
    const Node& n = node(r);
    if (solid(n)) {
        solid_spans(n, ray.line, take);
    }
    return best;
}

// Equal distances go to Pads first, then to the lower reference.
bool better(int64_t d, Ref r, const FreeRun& best) {
    if (d != best.distance) {
        return d < best.distance;
    }
    if (best.blocker == model::kNone) {
        return true;
    }
    bool pad = node(r).item_kind() == model::kPad, best_pad = node(best.blocker).item_kind() == model::kPad;
    if (pad != best_pad) {
        return pad;
    }
    return r < best.blocker;
}

Ray make_ray(Point start, Axis dir, Coord w) {
    Ray ray;
    ray.line.x_axis = dir == Axis::PlusX || dir == Axis::MinusX;
    ray.line.c = static_cast<LD>(ray.line.x_axis ? 2 * int64_t{start.y} : 2 * int64_t{start.x});
    ray.start = static_cast<LD>(ray.line.x_axis ? 2 * int64_t{start.x} : 2 * int64_t{start.y});
    ray.plus = dir == Axis::PlusX || dir == Axis::PlusY;
    ray.w = w;
    return ray;
}

// How far beyond an Item's box its region can reach for a track of width w.
int64_t reach_of(const RouteSettings& s, Coord w) {
    return (int64_t{w} + 1) / 2 + std::max<int64_t>({int64_t{s.clear_line_line}, int64_t{s.clear_line_pad}, 0}) + 2;
}

// Whether a box can hold a region that meets the run ahead of its start.
bool box_on_ray(const model::Box& b, Point start, Axis dir, int64_t g) {
    switch (dir) {
    case Axis::PlusX:
        return b.y1 - g <= start.y && b.y2 + g >= start.y && b.x2 + g >= start.x;
    case Axis::MinusX:
        return b.y1 - g <= start.y && b.y2 + g >= start.y && b.x1 - g <= start.x;
    case Axis::PlusY:
        return b.x1 - g <= start.x && b.x2 + g >= start.x && b.y2 + g >= start.y;
    default:
        return b.x1 - g <= start.x && b.x2 + g >= start.x && b.y1 - g <= start.y;
    }
}

// Segment against one obstacle.
bool segment_blocked(Ref r, const RouteSettings& set, Coord w, P2 a, P2 b, Point ra, Point rb) {
    bool hit = false;
    for_each_piece(r, set, [&](const Piece& pc) {
        if (hit) {
            return;
        }
        int64_t req = required(pc, w);
        uint64_t r2 = static_cast<uint64_t>(req) * static_cast<uint64_t>(req);
        uint64_t d2 = kFar;
        if (pc.n == 1) {
            d2 = segment_d2(a, b, pc.p[0]);
        } else if (pc.n == 2) {
            d2 = segments_d2(a, b, pc.p[0], pc.p[1]);
        } else {
            int s0 = orient(pc.p[0], pc.p[1], a), s1 = orient(pc.p[1], pc.p[2], a), s2 = orient(pc.p[2], pc.p[3], a),
                s3 = orient(pc.p[3], pc.p[0], a);
            bool inside = (s0 >= 0 && s1 >= 0 && s2 >= 0 && s3 >= 0) || (s0 <= 0 && s1 <= 0 && s2 <= 0 && s3 <= 0);
            if (inside) {
                d2 = 0;
            } else {
                for (int i = 0; i < 4; ++i) {
                    d2 = std::min(d2, segments_d2(a, b, pc.p[i], pc.p[(i + 1) % 4]));
                }
            }
        }
        hit = d2 < r2;
    });
    if (!hit && solid(node(r))) {
        hit = model::point_in_solid(r, ra, 0) || model::point_in_solid(r, rb, 0);
    }
    return hit;
}

} // namespace

// --- The index ------------------------------------------------------------------------------------

struct Queries::Index {
    struct Entry {
        Ref ref;
        Ref parent; // the Component that holds it, kNone at the top level
        model::Box box;
        bool live;
    };
    std::vector<Entry> entries;
    std::unordered_map<Ref, uint32_t> slot;
    std::unordered_map<Ref, Ref> owner; // Component -> the Component that holds it
    int64_t x0 = 0, y0 = 0, cell = 1;
    int64_t cols = 1, rows = 1;
    std::vector<std::vector<uint32_t>> cells;
    std::vector<uint32_t> big;
    mutable std::vector<uint32_t> seen;
    mutable uint32_t epoch = 0;

    static constexpr int64_t kMaxCells = 256;

    int64_t cx(int64_t x) const {
        return std::clamp<int64_t>(model::floor_div(x - x0, cell), 0, cols - 1);
    }
    int64_t cy(int64_t y) const {
        return std::clamp<int64_t>(model::floor_div(y - y0, cell), 0, rows - 1);
    }

    explicit Index(const model::Document& doc) {
        std::vector<Ref> chain;
        model::Box all;
        model::walk_tree(doc.ring(), [&](Ref r, int depth) {
            chain.resize(static_cast<size_t>(depth));
            Ref parent = depth > 0 ? chain.back() : model::kNone;
            const Node& n = node(r);
            uint8_t k = n.item_kind();
            if (k == model::kComponent || k == model::kDocument) {
                owner[r] = parent;
                chain.push_back(r);
                return;
            }
            model::Box b;
            if (indexable(n) && obstacle_box(n, b)) {
                slot[r] = static_cast<uint32_t>(entries.size());
                entries.push_back(Entry{r, parent, b, true});
                all.add(b);
            }
        });
        if (!entries.empty()) {
            int64_t w = all.x2 - all.x1 + 1, h = all.y2 - all.y1 + 1;
            LD per = static_cast<LD>(w) * static_cast<LD>(h) / static_cast<LD>(entries.size());
            cell = std::max<int64_t>(1024, static_cast<int64_t>(std::sqrt(per)) * 2);
            while ((w / cell + 1) * (h / cell + 1) > 4 * static_cast<int64_t>(entries.size()) + 1024) {
                cell *= 2;
            }
            x0 = all.x1, y0 = all.y1;
            cols = w / cell + 1, rows = h / cell + 1;
        }
        cells.assign(static_cast<size_t>(cols * rows), {});
        for (uint32_t e = 0; e < entries.size(); ++e) {
            place(e);
        }
    }

    void place(uint32_t e) {
        const model::Box& b = entries[e].box;
        int64_t a1 = cx(b.x1), a2 = cx(b.x2), b1 = cy(b.y1), b2 = cy(b.y2);
        if ((a2 - a1 + 1) * (b2 - b1 + 1) > kMaxCells) {
            big.push_back(e);
            return;
        }
        for (int64_t y = b1; y <= b2; ++y) {
            for (int64_t x = a1; x <= a2; ++x) {
                cells[static_cast<size_t>(y * cols + x)].push_back(e);
            }
        }
    }

    void add(Ref r, Ref parent) {
        const Node& n = node(r);
        model::Box b;
        if (!indexable(n) || !obstacle_box(n, b)) {
            return;
        }
        uint32_t e = static_cast<uint32_t>(entries.size());
        slot[r] = e;
        entries.push_back(Entry{r, parent, b, true});
        place(e);
    }

    void drop(Ref r) {
        auto it = slot.find(r);
        if (it != slot.end()) {
            entries[it->second].live = false;
            slot.erase(it);
        }
    }

    bool visible(const Entry& en) const {
        for (Ref p = en.parent; p != model::kNone;) {
            if (node(p).hidden()) {
                return false;
            }
            auto it = owner.find(p);
            p = it == owner.end() ? model::kNone : it->second;
        }
        return true;
    }

    // Calls f(entry) once per live, visible entry in the given cells and the big list.
    template <class F> void visit_cells(int64_t a1, int64_t a2, int64_t b1, int64_t b2, F&& f) const {
        if (seen.size() < entries.size()) {
            seen.resize(entries.size(), 0);
        }
        for (int64_t y = b1; y <= b2; ++y) {
            for (int64_t x = a1; x <= a2; ++x) {
                for (uint32_t e : cells[static_cast<size_t>(y * cols + x)]) {
                    if (seen[e] != epoch && entries[e].live) {
                        seen[e] = epoch;
                        if (visible(entries[e])) {
                            f(entries[e]);
                        }
                    }
                }
            }
        }
    }
    template <class F> void visit_big(F&& f) const {
        if (seen.size() < entries.size()) {
            seen.resize(entries.size(), 0);
        }
        for (uint32_t e : big) {
            if (seen[e] != epoch && entries[e].live) {
                seen[e] = epoch;
                if (visible(entries[e])) {
                    f(entries[e]);
                }
            }
        }
    }
    void next_epoch() const {
        if (++epoch == 0) {
            std::fill(seen.begin(), seen.end(), 0);
            epoch = 1;
        }
    }
};

Queries::Queries(model::Document& doc, const RouteSettings& s, bool plain) : doc_(doc), set_(s), plain_(plain) {
    if (!plain_) {
        index_ = std::make_unique<Index>(doc);
    }
}

Queries::~Queries() = default;

void Queries::added(Ref item) {
    if (index_) {
        index_->add(item, model::kNone);
    }
}

void Queries::removed(Ref item) {
    if (index_) {
        index_->drop(item);
    }
}

void Queries::changed(Ref item) {
    if (index_) {
        auto it = index_->slot.find(item);
        Ref parent = it == index_->slot.end() ? model::kNone : index_->entries[it->second].parent;
        index_->drop(item);
        index_->add(item, parent);
    }
}

FreeRun Queries::free_run(int layer, Coord w, Point start, Axis dir, Ref own) const {
    return plain_ ? free_run_plain(layer, w, start, dir, own) : free_run_indexed(layer, w, start, dir, own);
}

FreeRun Queries::free_run_plain(int layer, Coord w, Point start, Axis dir, Ref own) const {
    FreeRun best;
    Ray ray = make_ray(start, dir, w);
    int64_t g = reach_of(set_, w);
    model::walk_tree(doc_.ring(), [&](Ref r, int) -> bool {
        const Node& n = node(r);
        uint8_t k = n.item_kind();
        if (k == model::kComponent || k == model::kDocument) {
            return !n.hidden();
        }
        model::Box b;
        if (!obstacle(doc_.setup, r, layer, own) || !obstacle_box(n, b) || !box_on_ray(b, start, dir, g)) {
            return true;
        }
        int64_t d = item_distance(r, set_, ray);
        if (d < kNoBlocker && better(d, r, best)) {
            best = FreeRun{d, r};
        }
        return true;
    });
    return best;
}

FreeRun Queries::free_run_indexed(int layer, Coord w, Point start, Axis dir, Ref own) const {
    if (!index_) {
        return free_run_plain(layer, w, start, dir, own);
    }
    const Index& ix = *index_;
    FreeRun best;
    Ray ray = make_ray(start, dir, w);
    int64_t g = reach_of(set_, w);
    auto judge = [&](const Index::Entry& en) {
        if (!box_on_ray(en.box, start, dir, g) || !obstacle(doc_.setup, en.ref, layer, own)) {
            return;
        }
        int64_t d = item_distance(en.ref, set_, ray);
        if (d < kNoBlocker && better(d, en.ref, best)) {
            best = FreeRun{d, en.ref};
        }
    };
    ix.next_epoch();
    ix.visit_big(judge);
    bool along_x = dir == Axis::PlusX || dir == Axis::MinusX;
    bool plus = dir == Axis::PlusY || dir == Axis::PlusX;
    int64_t s = along_x ? start.x : start.y, c = along_x ? start.y : start.x;
    // The band of cells across the run, then cell by cell along it until nothing further can be nearer.
    int64_t lo = along_x ? ix.cy(c - g) : ix.cx(c - g), hi = along_x ? ix.cy(c + g) : ix.cx(c + g);
    int64_t origin = along_x ? ix.x0 : ix.y0, count = along_x ? ix.cols : ix.rows;
    int64_t first = along_x ? ix.cx(plus ? s - g : s + g) : ix.cy(plus ? s - g : s + g);
    for (int64_t k = first; k >= 0 && k < count; k += plus ? 1 : -1) {
        if (along_x) {
            ix.visit_cells(k, k, lo, hi, judge);
        } else {
            ix.visit_cells(lo, hi, k, k, judge);
        }
        // Entries not seen yet lie wholly beyond this cell (the clamped edge cells end the walk anyway): none
        // can come nearer than `bound` less the unit lost in rounding, nor tie with the best.
        int64_t bound = plus ? origin + (k + 1) * ix.cell - g - s : s - (origin + k * ix.cell - 1) - g;
        if (best.distance + 2 <= bound) {
            break;
        }
    }
    return best;
}

bool Queries::segment_clear(int layer, Coord w, Point a, Point b, Ref own) const {
    P2 da = doubled(a.x, a.y), db = doubled(b.x, b.y);
    int64_t g = reach_of(set_, w);
    model::Box q;
    q.add(a.x, a.y);
    q.add(b.x, b.y);
    q.grow(g);
    bool blocked = false;
    auto judge = [&](Ref r) {
        if (blocked || !obstacle(doc_.setup, r, layer, own)) {
            return;
        }
        model::Box bb;
        if (!obstacle_box(node(r), bb) || !bb.meets(q)) {
            return;
        }
        blocked = segment_blocked(r, set_, w, da, db, a, b);
    };
    if (index_) {
        index_->next_epoch();
        index_->visit_cells(index_->cx(q.x1), index_->cx(q.x2), index_->cy(q.y1), index_->cy(q.y2),
                            [&](const Index::Entry& en) { judge(en.ref); });
        index_->visit_big([&](const Index::Entry& en) { judge(en.ref); });
        return !blocked;
    }
    model::walk_tree(doc_.ring(), [&](Ref r, int) -> bool {
        const Node& n = node(r);
        uint8_t k = n.item_kind();
        if (k == model::kComponent || k == model::kDocument) {
            // Into a Component only when its box meets the segment's.
            model::Box cb{n.box.x1, n.box.y1, n.box.x2, n.box.y2};
            return !n.hidden() && !blocked && cb.meets(q);
        }
        judge(r);
        return !blocked;
    });
    return !blocked;
}

void Queries::visit_near(int64_t x1, int64_t y1, int64_t x2, int64_t y2, const std::function<void(Ref)>& f) const {
    model::Box q{x1, y1, x2, y2};
    if (index_) {
        index_->next_epoch();
        std::vector<Ref> found;
        auto take = [&](const Index::Entry& en) {
            if (!node(en.ref).hidden() && en.box.meets(q)) {
                found.push_back(en.ref);
            }
        };
        index_->visit_cells(index_->cx(x1), index_->cx(x2), index_->cy(y1), index_->cy(y2), take);
        index_->visit_big(take);
        for (Ref r : found) {
            f(r);
        }
        return;
    }
    model::walk_tree(doc_.ring(), [&](Ref r, int) -> bool {
        const Node& n = node(r);
        uint8_t k = n.item_kind();
        if (k == model::kComponent || k == model::kDocument) {
            return !n.hidden();
        }
        model::Box b;
        if (!n.hidden() && indexable(n) && obstacle_box(n, b) && b.meets(q)) {
            f(r);
        }
        return true;
    });
}

} // namespace trazel::router
