// The via passes.  Both walk the Ratnest lines the pattern passes left, in the same order and with the same
// entry rules (each end must reach the layer its first or last run is on, the connection's own Signal never
// blocks), put a whole route together, test every run with the segment-clear test and every via with the
// via test, and only then commit: vias first, then the Lines, then the Ratnest line goes.
#include "router/via_passes.h"

#include <algorithm>

#include "edit/undo.h"
#include "nets/net_state.h"
#include "router/line_walk.h"
#include "router/vias.h"

namespace trazel::router {

using model::Node;
using model::node;

namespace {

constexpr int kJogTries = 12; // jog positions tried on each side of the middle

// A route put together before anything is laid: its points and the layer of each run between them.  A
// via goes wherever two runs on different layers meet.
struct Plan {
    std::vector<Point> pts;
    std::vector<int> layers; // pts.size() - 1 of them

    std::vector<Point> vias() const {
        std::vector<Point> out;
        for (size_t i = 1; i < layers.size(); ++i) {
            if (layers[i] != layers[i - 1]) {
                out.push_back(pts[i]);
            }
        }
        return out;
    }
};

bool same(Point a, Point b) {
    return a.x == b.x && a.y == b.y;
}

bool plan_clear(const Router& r, const Plan& p, Ref sig) {
    for (size_t i = 0; i < p.layers.size(); ++i) {
        if (!same(p.pts[i], p.pts[i + 1]) &&
            !r.q->segment_clear(p.layers[i], r.set.track_width, p.pts[i], p.pts[i + 1], sig)) {
            return false;
        }
    }
    std::vector<Point> vias = p.vias();
    if (vias.empty()) {
        return false; // a route without a via belongs to the pattern passes
    }
    return std::all_of(vias.begin(), vias.end(), [&](Point v) { return via_clear(r, v, sig); });
}

// The vias, then the Lines with the connection's Signal, then the Ratnest line goes: one undo group.
void commit(Router& r, const Rat& rat, const Plan& p) {
    for (Point v : p.vias()) {
        place_via(r, v, rat.sig);
    }
    std::vector<Ref> made;
    r.change([&] {
        std::string sig = model::signal_name(rat.sig);
        auto width = static_cast<uint16_t>(std::clamp<Coord>(r.set.track_width, 1, 65535));
        for (size_t i = 0; i < p.layers.size(); ++i) {
            Point a = p.pts[i], b = p.pts[i + 1];
            if (same(a, b)) {
                continue;
            }
            Ref l = model::MakeItem(r.doc.ring(), model::kLine, static_cast<uint8_t>(p.layers[i]), width, a.x, a.y, b.x,
                                    b.y);
            if (l == model::kNone) {
                continue;
            }
            model::MoveBefore(l, rat.line);
            if (!sig.empty()) {
                model::AttachSignal(l, sig);
            }
            edit::RecordCreated(r.doc, l, r.undo_number++);
            r.q->added(l);
            made.push_back(l);
        }
        r.q->removed(rat.line);
        edit::RecordDeleted(r.doc, rat.line, r.undo_number++);
        r.doc.mark_modified();
    });
    for (Ref l : made) {
        r.draw(l);
    }
}

bool try_plan(Router& r, const Rat& rat, const Plan& p) {
    if (!plan_clear(r, p, rat.sig)) {
        return false;
    }
    commit(r, rat, p);
    return true;
}


// How far a via's centre stays behind the point where a track's free run stops: the via is wider, and
// keeps the larger of its clearances.
int64_t via_back(const RouteSettings& s) {
    int64_t wider = std::max<int64_t>(0, (int64_t{s.via_pad} - s.track_width + 1) / 2);
    int64_t extra = std::max<int64_t>(
        {int64_t{0}, int64_t{s.clear_line_pad} - s.clear_line_line, int64_t{s.clear_pad_pad} - s.clear_line_pad});
    return wider + extra + 2;
}

// --- "Z" --------------------------------------------------------------------------------------------

// An L with a via at its corner: the run along X on an X layer, the run along Y on a Y layer; the corner
// below E2 first, then the one below E1.
bool corner_via(Router& r, const Rat& rat, const std::vector<int>& xs, const std::vector<int>& ys) {
    for (int form = 0; form < 2; ++form) {
        Point c = form == 0 ? Point{rat.b.x, rat.a.y} : Point{rat.a.x, rat.b.y};
        const std::vector<int>& first = form == 0 ? xs : ys;
        const std::vector<int>& second = form == 0 ? ys : xs;
        for (int la : first) {
            if (!ends_reach(rat.pads_a, la)) {
                continue;
            }
            for (int lb : second) {
                if (la == lb || !ends_reach(rat.pads_b, lb)) {
                    continue;
                }
                if (try_plan(r, rat, Plan{{rat.a, c, rat.b}, {la, lb}})) {
                    return true;
                }
            }
        }
    }
    return false;
}

// The positions tried for a jog across the frame's axis at cross coordinate j: the middle of the ends
// first, then outwards a via pitch at a time, within the range both ends' free runs allow.
std::vector<int64_t> jog_positions(const Router& r, int64_t lo, int64_t hi, int64_t a, int64_t b) {
    std::vector<int64_t> out;
    if (lo > hi) {
        return out;
    }
    int64_t step = std::max<int64_t>(int64_t{r.set.via_pad} + r.set.clear_pad_pad, 64);
    int64_t mid = std::clamp<int64_t>(a + (b - a) / 2, lo, hi);
    auto take = [&](int64_t j) {
        if (j >= lo && j <= hi && !near(j, a) && !near(j, b) && std::find(out.begin(), out.end(), j) == out.end()) {
            out.push_back(j);
        }
    };
    take(mid);
    for (int k = 1; k <= kJogTries; ++k) {
        take(mid + k * step);
        take(mid - k * step);
    }
    take(lo);
    take(hi);
    return out;
}

// Two-via doglegs in frame f: from each end a run across the axis (on a layer of the other direction) to
// the jog, and the middle run along the axis between the two vias.
bool dogleg(Router& r, const Rat& rat, const Frame& f, const std::vector<int>& along, const std::vector<int>& across) {
    if (near(f.u(rat.a), f.u(rat.b))) {
        return false;
    }
    Frame cross{!f.vertical};
    Coord w = r.set.track_width;
    int64_t back = via_back(r.set);
    for (int la : across) {
        if (!ends_reach(rat.pads_a, la)) {
            continue;
        }
        int64_t a_lo = cross.u(rat.a) - r.q->free_run(la, w, rat.a, cross.minus(), rat.sig).distance + back;
        int64_t a_hi = cross.u(rat.a) + r.q->free_run(la, w, rat.a, cross.plus(), rat.sig).distance - back;
        for (int lb : across) {
            if (!ends_reach(rat.pads_b, lb)) {
                continue;
            }
            int64_t b_lo = cross.u(rat.b) - r.q->free_run(lb, w, rat.b, cross.minus(), rat.sig).distance + back;
            int64_t b_hi = cross.u(rat.b) + r.q->free_run(lb, w, rat.b, cross.plus(), rat.sig).distance - back;
            std::vector<int64_t> js =
                jog_positions(r, std::max(a_lo, b_lo), std::min(a_hi, b_hi), f.v(rat.a), f.v(rat.b));
            for (int lm : along) {
                if (lm == la || lm == lb) {
                    continue;
                }
                for (int64_t j : js) {
                    Point p1 = f.at(f.u(rat.a), j), p2 = f.at(f.u(rat.b), j);
                    if (try_plan(r, rat, Plan{{rat.a, p1, p2, rat.b}, {la, lm, lb}})) {
                        return true;
                    }
                }
            }
        }
    }
    return false;
}

Tried z_route(Router& r, const Rat& rat) {
    std::vector<int> xs = layers_with(r.doc.setup, kXAxis), ys = layers_with(r.doc.setup, kYAxis);
    if (xs.empty() || ys.empty()) {
        return Tried::Skipped;
    }
    int64_t dx = int64_t{rat.b.x} - rat.a.x, dy = int64_t{rat.b.y} - rat.a.y;
    if (model::abs64(dx) > kEndTolerance && model::abs64(dy) > kEndTolerance && corner_via(r, rat, xs, ys)) {
        return Tried::Routed;
    }
    // A horizontal middle between two vertical runs, then a vertical middle between two horizontal runs.
    if (dogleg(r, rat, Frame{false}, xs, ys) || dogleg(r, rat, Frame{true}, ys, xs)) {
        return Tried::Routed;
    }
    return Tried::Processed;
}

// --- "C" --------------------------------------------------------------------------------------------

// A straight run on `outer` that is blocked: through a via before the blocker to `middle`, under it, and
// back through a via after it.  The vias step back from the blockers until they fit.
bool detour(Router& r, const Rat& rat, const Frame& f, Point e1, Point e2, int outer, int middle) {
    Coord w = r.set.track_width;
    int64_t len = f.u(e2) - f.u(e1);
    FreeRun r1 = r.q->free_run(outer, w, e1, f.plus(), rat.sig);
    if (r1.distance >= len) {
        return false; // not blocked: a straight route, not a detour
    }
    FreeRun r2 = r.q->free_run(outer, w, e2, f.minus(), rat.sig);
    int64_t back = via_back(r.set), step = std::max<int64_t>(int64_t{r.set.via_pad} / 2, 32);
    for (int k1 = 0; k1 < 4; ++k1) {
        int64_t u1 = f.u(e1) + r1.distance - back - k1 * step;
        if (u1 <= f.u(e1) + kEndTolerance) {
            break;
        }
        for (int k2 = 0; k2 < 4; ++k2) {
            int64_t u2 = f.u(e2) - r2.distance + back + k2 * step;
            if (u2 >= f.u(e2) - kEndTolerance) {
                break;
            }
            if (u2 <= u1) {
                continue;
            }
            Point p1 = f.at(u1, f.v(e1)), p2 = f.at(u2, f.v(e2));
            if (try_plan(r, rat, Plan{{e1, p1, p2, e2}, {outer, middle, outer}})) {
                return true;
            }
        }
    }
    return false;
}

Tried c_route(Router& r, const Rat& rat) {
    int64_t dx = int64_t{rat.b.x} - rat.a.x, dy = int64_t{rat.b.y} - rat.a.y;
    bool horizontal = model::abs64(dy) <= kEndTolerance;
    bool vertical = !horizontal && model::abs64(dx) <= kEndTolerance;
    if (!horizontal && !vertical) {
        return Tried::Skipped;
    }
    Frame f{vertical};
    bool swap = f.u(rat.a) > f.u(rat.b);
    Point e1 = swap ? rat.b : rat.a, e2 = swap ? rat.a : rat.b;
    const std::vector<Ref>& pads1 = swap ? rat.pads_b : rat.pads_a;
    const std::vector<Ref>& pads2 = swap ? rat.pads_a : rat.pads_b;
    std::vector<int> axis = layers_with(r.doc.setup, f.bit());
    std::vector<int> others;
    for (int l : layers_with(r.doc.setup, kEitherAxis)) {
        if (std::find(axis.begin(), axis.end(), l) == axis.end()) {
            others.push_back(l);
        }
    }
    // The ends' runs on a layer of the axis and the middle on another routing layer; then the mirrored
    // form, the ends' runs on the other layer and the middle on the axis layer.
    for (const auto& [outer_set, middle_set] : {std::pair{&axis, &others}, std::pair{&others, &axis}}) {
        for (int outer : *outer_set) {
            if (!ends_reach(pads1, outer) || !ends_reach(pads2, outer)) {
                continue;
            }
            for (int middle : *middle_set) {
                if (middle != outer && detour(r, rat, f, e1, e2, outer, middle)) {
                    return Tried::Routed;
                }
            }
        }
    }
    return Tried::Processed;
}

} // namespace

PassResult z_pass(Router& r) {
    return each_line(r, [&](const Rat& rat) { return z_route(r, rat); });
}

PassResult c_pass(Router& r) {
    return each_line(r, [&](const Rat& rat) { return c_route(r, rat); });
}

} // namespace trazel::router
