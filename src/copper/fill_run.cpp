// The shared fill machinery: the obstacle list and its grid, the point test, strokes laid on 65-unit
// samples, contour arcs, the contours and spokes around every obstacle, the border, rows and hatch.
//
// A stroke's blocked samples come from each nearby obstacle's span along the stroke: the samples well
// inside it are blocked, the ones well outside free, and only those near its edge take the exact point
// test.  The plain walk (every sample against every candidate) stays as the oracle; both give the same
// Lines.
#include "copper/fill_run.h"

#include <algorithm>
#include <cmath>
#include <set>
#include <tuple>
#include <utility>

#include "copper/fill_shapes.h"
#include "edit/locate.h"
#include "edit/undo.h"
#include "model/geometry.h"
#include "model/hit_test.h"

namespace trazel::copper {

using fill::Obstacle;
using fill::Shape;
using fill::Span;
using model::Box;
using model::node;
using model::Node;

namespace {

constexpr Coord kStep = 65;             // the sample step along a stroke's major axis
constexpr Coord kMinWidth = 66;         // narrower fill widths are raised to this
constexpr Coord kBlockMargin = 6554;    // obstacles are looked for this far around the Block
constexpr Coord kComponentReach = 8192; // Components farther from a stroke are not opened
constexpr Coord kSpokeStep = 65, kSpokeMin = 458;
constexpr double kMargin = 4; // units: covers the sample rounding and the turn of pads and texts
// A contour lies at exactly the isolation from its own obstacle; its points, rounded to whole units, may
// come up to a unit and a half closer.  A contour that passes nearer another part of the same obstacle (a
// Solid's other edges, a reflex corner) is still cut there.
constexpr int64_t kOwnSlack = 2;
constexpr double kPi = 3.14159265358979323846;

bool thru_hole(const Node& pad) {
    int type = pad.size & 7;
    return type >= 1 && type <= 3;
}

// A point turned by `angle` about the origin (the inverse of turn_back), rounded.
Point turned(Point c, int64_t x, int64_t y, model::Angle angle) {
    model::Turn t = edit::turn_of(angle);
    return Point{model::clamp_coord(c.x + model::round16(x * t.cos - y * t.sin)),
                 model::clamp_coord(c.y + model::round16(x * t.sin + y * t.cos))};
}

model::Angle angle_of(double dx, double dy) {
    double a = std::atan2(dy, dx) * 65536.0 / (2 * kPi);
    return static_cast<model::Angle>(static_cast<int64_t>(std::llround(a)) & 0xFFFF);
}

} // namespace

struct FillRun::Impl {
    model::Document& doc;
    const edit::Block& block;
    const FillHooks& hooks;
    platform::RunContext& run;
    FillResult res;

    int dest = 1;
    model::LayerSet sources;
    Coord w = kMinWidth, ti = 0, pi = 0;
    Ref fill = model::kNone;
    std::string signal_name; // the Signal new Items carry
    Ref target = model::kNone;
    bool target_empty = false;
    bool plain = false;

    // The obstacles (what the marking leaves), in Document order, and the top-level Component boxes.
    std::vector<Obstacle> obs;
    std::vector<Box> comps;
    std::set<std::tuple<Coord, Coord, Coord>> arcs; // contour arcs the Block already holds
    Ref exclude = model::kNone; // the obstacle whose contour is being laid: a pad is left out, others eased

    // The grid over the obstacles' extents: cell lists in one array.
    bool grid_built = false;
    int64_t gx0 = 0, gy0 = 0, cell = 1;
    int gw = 0, gh = 0;
    std::vector<uint32_t> cell_start, cell_items;
    std::vector<uint32_t> seen;
    uint32_t seen_stamp = 0;

    // Scratch for one stroke.
    std::vector<uint32_t> cand;
    std::vector<std::pair<int64_t, int64_t>> blocked;
    uint64_t strokes = 0;

    Impl(model::Document& d, const edit::Block& b, const FillHooks& h, platform::RunContext& r)
        : doc(d), block(b), hooks(h), run(r) {
    }

    bool stopped() {
        if (!res.cancelled && run.cancelled()) {
            res.cancelled = true;
        }
        return res.cancelled || res.out_of_nodes;
    }

    // Half the width places strokes (the Block rectangle, border, rows and hatch); the reach from an
    // obstacle rounds it up, so that the copper of an odd width keeps the whole isolation.
    Coord half() const {
        return w / 2;
    }
    Coord reach_half() const {
        return (w + 1) / 2;
    }
    int64_t reach_of(const Obstacle& o) const {
        // The obstacle whose contour is being laid lets the contour's own rounding pass.
        return (o.shape == Shape::Pad ? pi : ti) + reach_half() - (o.item == exclude ? kOwnSlack : 0);
    }

    // --- Marking -----------------------------------------------------------------------------------
    bool on_source(const Node& n) const {
        int layer = n.item_kind() == model::kPad && thru_hole(n) ? 0 : n.layer;
        return sources.test(static_cast<size_t>(layer));
    }

    void mark(Ref fill_signal, Ref thermal, Ref direct) {
        fill = fill_signal;
        obs.clear();
        comps.clear();
        arcs.clear();
        grid_built = false;
        for (Ref r : model::items_in(doc.ring())) {
            Node& n = node(r);
            if (n.item_kind() == model::kComponent) {
                if (n.box.x1 > n.box.x2) {
                    std::swap(n.box.x1, n.box.x2);
                }
                if (n.box.y1 > n.box.y2) {
                    std::swap(n.box.y1, n.box.y2);
                }
            }
        }
        Box near{block.left, block.bottom, block.right, block.top};
        near.grow(kBlockMargin);
        int comp = -1;
        model::walk_tree(doc.ring(), [&](Ref r, int depth) {
            const Node& n = node(r);
            uint8_t k = n.item_kind();
            if (depth == 0) {
                comp = -1;
            }
            if (n.hidden()) {
                return false;
            }
            if (k == model::kComponent || k == model::kDocument) {
                if (depth == 0) {
                    comps.push_back(Box{n.box.x1, n.box.y1, n.box.x2, n.box.y2});
                    comp = static_cast<int>(comps.size()) - 1;
                }
                return true;
            }
            if (k == model::kArc && n.layer == dest && edit::point_in_block(block, Point{n.arc.x0, n.arc.y0})) {
                arcs.emplace(n.arc.x0, n.arc.y0, n.arc.radius);
            }
            Obstacle o;
            o.item = r;
            o.comp = comp;
            switch (k) {
            case model::kLine:
                o.shape = n.size == 0 ? Shape::Solid : Shape::Track;
                break;
            case model::kArc:
                o.shape = Shape::Arc;
                break;
            case model::kPad:
                o.shape = Shape::Pad;
                break;
            case model::kText:
                o.shape = Shape::Text;
                break;
            default:
                return true;
            }
            Ref s = model::item_signal(r);
            if (direct != model::kNone && s == direct) {
                return true; // the direct connection Signal is flowed over
            }
            if (!model::hit_extent(n, o.ext)) {
                return true;
            }
            if (k == model::kPad && (n.size & 3) == 2) {
                // A turned rectangle reaches out to its corners: half the sum of its sides bounds them.
                int64_t h = (int64_t{n.pad.width} + n.pad.height) / 2 + 2;
                o.ext = Box{n.pad.x0 - h, n.pad.y0 - h, n.pad.x0 + h, n.pad.y0 + h};
            }
            if (!o.ext.meets(near)) {
                return true;
            }
            bool ours = s != model::kNone && (s == fill_signal || s == thermal);
            if (k == model::kPad && (n.size & 7) == 3 && (n.layer == dest || ours)) {
                return true; // vias
            }
            if (o.shape == Shape::Track && n.layer == dest && ours) {
                return true;
            }
            if (!on_source(n)) {
                return true;
            }
            obs.push_back(o);
            return true;
        });
    }

    // --- Candidates --------------------------------------------------------------------------------
    void build_grid() {
        grid_built = true;
        Box all;
        for (const Obstacle& o : obs) {
            all.add(o.ext);
        }
        if (obs.empty()) {
            gw = gh = 0;
            return;
        }
        double area = double(all.x2 - all.x1 + 1) * double(all.y2 - all.y1 + 1);
        cell = std::clamp<int64_t>(static_cast<int64_t>(std::sqrt(area / double(obs.size())) * 2), 2048, 1 << 22);
        while ((all.x2 - all.x1) / cell + 1 > 4096 || (all.y2 - all.y1) / cell + 1 > 4096) {
            cell *= 2;
        }
        gx0 = all.x1, gy0 = all.y1;
        gw = static_cast<int>((all.x2 - all.x1) / cell + 1);
        gh = static_cast<int>((all.y2 - all.y1) / cell + 1);
        cell_start.assign(static_cast<size_t>(gw) * gh + 1, 0);
        auto cells_of = [&](const Box& b, auto&& f) {
            int cx1 = static_cast<int>((b.x1 - gx0) / cell), cx2 = static_cast<int>((b.x2 - gx0) / cell);
            int cy1 = static_cast<int>((b.y1 - gy0) / cell), cy2 = static_cast<int>((b.y2 - gy0) / cell);
            for (int y = cy1; y <= cy2; ++y) {
                for (int x = cx1; x <= cx2; ++x) {
                    f(static_cast<size_t>(y) * gw + x);
                }
            }
        };
        for (const Obstacle& o : obs) {
            cells_of(o.ext, [&](size_t c) { ++cell_start[c + 1]; });
        }
        for (size_t i = 1; i < cell_start.size(); ++i) {
            cell_start[i] += cell_start[i - 1];
        }
        cell_items.assign(cell_start.back(), 0);
        std::vector<uint32_t> fill_at(cell_start.begin(), cell_start.end() - 1);
        for (uint32_t i = 0; i < obs.size(); ++i) {
            cells_of(obs[i].ext, [&](size_t c) { cell_items[fill_at[c]++] = i; });
        }
        seen.assign(obs.size(), 0);
    }

    bool candidate(const Obstacle& o, const Box& area) const {
        if (o.item == exclude && o.shape == Shape::Pad) {
            return false; // its spokes start at its centre
        }
        Box grown = o.ext;
        // A turned rectangle grown into a larger rectangle: its corners reach out by up to sqrt 2 of it.
        grown.grow(o.shape == Shape::Pad && (node(o.item).size & 3) == 2 ? 2 * reach_of(o) : reach_of(o));
        if (!grown.meets(area)) {
            return false;
        }
        if (o.comp >= 0) {
            Box c = comps[static_cast<size_t>(o.comp)];
            c.grow(kComponentReach);
            return c.meets(area);
        }
        return true;
    }

    // The candidate obstacles of everything laid inside `area`, in Document order.
    void gather(Box area) {
        cand.clear();
        if (plain) {
            for (uint32_t i = 0; i < obs.size(); ++i) {
                if (candidate(obs[i], area)) {
                    cand.push_back(i);
                }
            }
            return;
        }
        if (!grid_built) {
            build_grid();
        }
        if (gw == 0) {
            return;
        }
        Box q = area;
        q.grow(2 * (std::max(ti, pi) + reach_half()) + 1);
        int64_t cx1 = std::max<int64_t>(0, (q.x1 - gx0) / cell), cx2 = std::min<int64_t>(gw - 1, (q.x2 - gx0) / cell);
        int64_t cy1 = std::max<int64_t>(0, (q.y1 - gy0) / cell), cy2 = std::min<int64_t>(gh - 1, (q.y2 - gy0) / cell);
        if (q.x2 < gx0 || q.y2 < gy0 || cx1 > cx2 || cy1 > cy2) {
            return;
        }
        if (++seen_stamp == 0) {
            std::fill(seen.begin(), seen.end(), 0);
            seen_stamp = 1;
        }
        for (int64_t y = cy1; y <= cy2; ++y) {
            for (int64_t x = cx1; x <= cx2; ++x) {
                size_t c = static_cast<size_t>(y) * gw + static_cast<size_t>(x);
                for (uint32_t j = cell_start[c]; j < cell_start[c + 1]; ++j) {
                    uint32_t i = cell_items[j];
                    if (seen[i] != seen_stamp) {
                        seen[i] = seen_stamp;
                        if (candidate(obs[i], area)) {
                            cand.push_back(i);
                        }
                    }
                }
            }
        }
        std::sort(cand.begin(), cand.end());
    }

    // --- The point test ----------------------------------------------------------------------------
    bool inside_rect(Point p) const {
        Coord r = half();
        return int64_t{p.x} >= int64_t{block.left} + r && int64_t{p.x} <= int64_t{block.right} - r &&
               int64_t{p.y} >= int64_t{block.bottom} + r && int64_t{p.y} <= int64_t{block.top} - r;
    }
    bool inside_outline(Point p) const {
        return block.outline.size() < 3 ||
               model::point_in_polygon(block.outline.data(), static_cast<int>(block.outline.size()), p.x, p.y).where !=
                   model::Where::Outside;
    }
    bool hits_candidate(Point p) const {
        for (uint32_t i : cand) {
            if (fill::blocks(obs[i], reach_of(obs[i]), p)) {
                return true;
            }
        }
        return false;
    }
    bool passes(Point p) const {
        return inside_rect(p) && inside_outline(p) && !hits_candidate(p);
    }

    // --- Making Items ------------------------------------------------------------------------------
    Ref ring() const {
        return target != model::kNone ? model::member_ring(target) : doc.ring();
    }

    bool keep(Ref item) {
        if (!signal_name.empty()) {
            model::AttachSignal(item, signal_name);
        }
        if (edit::RecordCreated(doc, item, res.created) == 0) {
            model::DeleteItem(item);
            res.out_of_nodes = true;
            return false;
        }
        ++res.created;
        if (target != model::kNone) {
            Coord x1, y1, x2, y2;
            if (model::item_box(item, x1, y1, x2, y2)) {
                Node& c = node(target);
                if (target_empty) {
                    c.box.x1 = x1, c.box.y1 = y1, c.box.x2 = x2, c.box.y2 = y2;
                    target_empty = false;
                } else {
                    c.box.x1 = std::min(c.box.x1, x1), c.box.y1 = std::min(c.box.y1, y1);
                    c.box.x2 = std::max(c.box.x2, x2), c.box.y2 = std::max(c.box.y2, y2);
                }
            }
        }
        if (hooks.draw) {
            hooks.draw(item);
        }
        return true;
    }

    bool make_line(Point a, Point b) {
        Ref l = model::MakeItem(ring(), model::kLine, static_cast<uint8_t>(dest), static_cast<uint16_t>(w), a.x, a.y,
                                b.x, b.y);
        if (l == model::kNone) {
            res.out_of_nodes = true;
            return false;
        }
        return keep(l);
    }

    bool make_arc(Point c, Coord radius, model::Angle start, model::Angle sweep) {
        Ref a = model::MakeItem(ring(), model::kArc, static_cast<uint8_t>(dest), static_cast<uint16_t>(w), c.x, c.y,
                                radius, 0);
        if (a == model::kNone) {
            res.out_of_nodes = true;
            return false;
        }
        node(a).arc.start = start;
        node(a).arc.sweep = sweep;
        return keep(a);
    }

    // --- Strokes -----------------------------------------------------------------------------------
    struct Stroke {
        Point a;
        int64_t dx = 0, dy = 0, len = 0; // len: the major axis length
        bool major_x = true;
        int64_t n = 0; // samples 0..n

        Point at(int64_t k) const {
            int64_t m = k >= n ? len : k * kStep;
            if (len == 0) {
                return a;
            }
            int64_t major = (major_x ? dx : dy) < 0 ? -m : m;
            int64_t d = major_x ? dy : dx, minor;
            if (len < (int64_t{1} << 30)) {
                // Rounded to nearest, halves away from zero, so a stroke and its mirror image match.
                int64_t num = 2 * m * model::abs64(d), q = (num + len) / (2 * len);
                minor = d < 0 ? -q : q;
            } else { // beyond any drawing the clamp allows
                minor = std::llround(static_cast<long double>(m) * d / len);
            }
            return major_x ? Point{static_cast<Coord>(a.x + major), static_cast<Coord>(a.y + minor)}
                           : Point{static_cast<Coord>(a.x + minor), static_cast<Coord>(a.y + major)};
        }
        fill::Ray ray() const {
            double l = len == 0 ? 1 : double(len);
            if (major_x) {
                return fill::Ray{double(a.x), double(a.y), dx < 0 ? -1.0 : 1.0, double(dy) / l};
            }
            return fill::Ray{double(a.x), double(a.y), double(dx) / l, dy < 0 ? -1.0 : 1.0};
        }
        // Samples surely within a span (inner) and every sample that may be (outer).
        std::pair<int64_t, int64_t> outer(const Span& s) const {
            if (s.empty()) {
                return {1, 0};
            }
            double lo = std::max(s.lo, -1.0), hi = std::min(s.hi, double(len) + kStep);
            if (lo > hi) {
                return {1, 0};
            }
            return {std::max<int64_t>(0, static_cast<int64_t>(std::floor(lo / kStep))),
                    std::min<int64_t>(n, static_cast<int64_t>(std::ceil(hi / kStep)))};
        }
        std::pair<int64_t, int64_t> inner(const Span& s) const {
            if (s.empty()) {
                return {1, 0};
            }
            double lo = std::max(s.lo, -1.0), hi = std::min(s.hi, double(len) + kStep);
            if (lo > hi) {
                return {1, 0};
            }
            return {std::max<int64_t>(0, static_cast<int64_t>(std::ceil(lo / kStep))),
                    std::min<int64_t>(n - 1, static_cast<int64_t>(std::floor(hi / kStep)))};
        }
    };

    static Stroke stroke_of(Point a, Point b) {
        Stroke s;
        s.a = a;
        s.dx = int64_t{b.x} - a.x;
        s.dy = int64_t{b.y} - a.y;
        s.major_x = model::abs64(s.dx) >= model::abs64(s.dy);
        s.len = s.major_x ? model::abs64(s.dx) : model::abs64(s.dy);
        s.n = (s.len + kStep - 1) / kStep;
        return s;
    }

    // Adds the samples of [o1, o2] outside [i1, i2] for which `hit` holds as blocked.
    template <class F>
    void band(std::pair<int64_t, int64_t> o, std::pair<int64_t, int64_t> in, const Stroke& s, F&& hit) {
        for (int64_t k = o.first; k <= o.second; ++k) {
            if (k >= in.first && k <= in.second) {
                k = in.second;
                continue;
            }
            if (hit(s.at(k))) {
                blocked.emplace_back(k, k);
            }
        }
    }

    void block_fast(const Stroke& s) {
        fill::Ray ray = s.ray();
        double r = half();
        // The Block rectangle shrunk by r: one run of samples.
        {
            double x1 = double(block.left) + r, y1 = double(block.bottom) + r;
            double x2 = double(block.right) - r, y2 = double(block.top) - r;
            auto o = s.outer(fill::box_span(x1 - 1, y1 - 1, x2 + 1, y2 + 1, ray));
            auto in = s.inner(fill::box_span(x1 + 1, y1 + 1, x2 - 1, y2 - 1, ray));
            if (o.first > o.second) {
                blocked.emplace_back(0, s.n);
                return;
            }
            if (o.first > 0) {
                blocked.emplace_back(0, o.first - 1);
            }
            if (o.second < s.n) {
                blocked.emplace_back(o.second + 1, s.n);
            }
            band(o, in, s, [&](Point p) { return !inside_rect(p); });
        }
        if (block.outline.size() >= 3) {
            // Near an edge of the outline each sample is tested; between, one test decides the stretch.
            std::vector<std::pair<int64_t, int64_t>> near;
            size_t m = block.outline.size();
            for (size_t i = 0; i < m; ++i) {
                Point p = block.outline[i], q = block.outline[(i + 1) % m];
                auto o = s.outer(fill::capsule_span(p.x, p.y, q.x, q.y, 2, ray));
                if (o.first <= o.second) {
                    near.push_back(o);
                }
            }
            std::sort(near.begin(), near.end());
            int64_t k = 0;
            auto gap = [&](int64_t lo, int64_t hi) {
                if (lo <= hi && !inside_outline(s.at((lo + hi) / 2))) {
                    blocked.emplace_back(lo, hi);
                }
            };
            for (auto [lo, hi] : near) {
                gap(k, lo - 1);
                for (int64_t j = std::max(k, lo); j <= hi; ++j) {
                    if (!inside_outline(s.at(j))) {
                        blocked.emplace_back(j, j);
                    }
                }
                k = std::max(k, hi + 1);
            }
            gap(k, s.n);
        }
        for (uint32_t i : cand) {
            const Obstacle& o = obs[i];
            double t = double(reach_of(o));
            auto out = s.outer(fill::span_of(o, t + kMargin, ray, true));
            if (out.first > out.second) {
                continue;
            }
            std::pair<int64_t, int64_t> in{1, 0};
            if (fill::convex(o.shape)) {
                in = s.inner(fill::span_of(o, t - kMargin, ray, false));
                if (in.first <= in.second) {
                    blocked.push_back(in);
                }
            } else if (o.shape == Shape::Arc) {
                in = s.inner(fill::arc_hole(o, t + kMargin, ray)); // the free middle of the circle
            }
            int64_t reach = reach_of(o);
            band(out, in, s, [&](Point p) { return fill::blocks(o, reach, p); });
        }
    }

    int lay_stroke(Point a, Point b) {
        if (stopped()) {
            return 0;
        }
        Stroke s = stroke_of(a, b);
        Box area;
        area.add(a.x, a.y);
        area.add(b.x, b.y);
        area.grow(half());
        gather(area);
        ++strokes;
        int laid = 0;
        auto run_of = [&](int64_t k0, int64_t k1) {
            if (!res.out_of_nodes && make_line(s.at(k0), s.at(k1))) {
                ++laid;
            }
        };
        if (plain) {
            int64_t start = -1;
            for (int64_t k = 0; k <= s.n; ++k) {
                bool ok = passes(s.at(k));
                if (ok && start < 0) {
                    start = k;
                } else if (!ok && start >= 0) {
                    run_of(start, k - 1);
                    start = -1;
                }
            }
            if (start >= 0) {
                run_of(start, s.n);
            }
            return laid;
        }
        blocked.clear();
        block_fast(s);
        std::sort(blocked.begin(), blocked.end());
        int64_t k = 0;
        for (auto [lo, hi] : blocked) {
            if (lo > k) {
                run_of(k, lo - 1);
            }
            k = std::max(k, hi + 1);
        }
        if (k <= s.n) {
            run_of(k, s.n);
        }
        return laid;
    }

    // --- Contour arcs ------------------------------------------------------------------------------
    int lay_arc(Point c, Coord radius, model::Angle from, model::Angle to) {
        if (stopped() || radius <= 0) {
            return 0;
        }
        auto key = std::make_tuple(c.x, c.y, radius);
        if (arcs.count(key) != 0) {
            return 0;
        }
        Box area;
        area.add(c.x, c.y);
        area.grow(int64_t{radius} + half());
        gather(area);
        bool full = from == to;
        int64_t sweep = full ? 65536 : static_cast<model::Angle>(to - from);
        // The step keeps the chord within one unit of the circle.
        double theta = radius > 2 ? 2 * std::acos(1 - 1.0 / radius) : kPi / 2;
        int64_t step = std::max<int64_t>(1, static_cast<int64_t>(theta * 65536 / (2 * kPi)));
        int64_t count = std::max<int64_t>(1, (sweep + step - 1) / step);
        int64_t samples = full ? count : count + 1;
        std::vector<model::Angle> ang(static_cast<size_t>(samples));
        std::vector<char> ok(static_cast<size_t>(samples));
        for (int64_t j = 0; j < samples; ++j) {
            model::Angle a = static_cast<model::Angle>(from + (j * sweep + count / 2) / count);
            model::Turn t = edit::turn_of(a);
            Point p{model::clamp_coord(c.x + model::round16(int64_t{radius} * t.cos)),
                    model::clamp_coord(c.y + model::round16(int64_t{radius} * t.sin))};
            ang[static_cast<size_t>(j)] = a;
            ok[static_cast<size_t>(j)] = passes(p);
        }
        int laid = 0;
        auto arc_of = [&](int64_t j0, int64_t j1) { // sample indices, j1 may pass the end (full circle)
            if (j1 <= j0 || res.out_of_nodes) {
                return;
            }
            model::Angle a0 = ang[static_cast<size_t>(j0 % samples)];
            model::Angle a1 = j1 - j0 >= samples ? a0 : ang[static_cast<size_t>(j1 % samples)];
            if (make_arc(c, radius, a0, static_cast<model::Angle>(a1 - a0))) {
                ++laid;
            }
        };
        if (full) {
            int64_t first_bad = -1;
            for (int64_t j = 0; j < samples && first_bad < 0; ++j) {
                if (!ok[static_cast<size_t>(j)]) {
                    first_bad = j;
                }
            }
            if (first_bad < 0) {
                arc_of(0, samples); // the whole circle
            } else {
                int64_t start = -1;
                for (int64_t i = 1; i <= samples; ++i) {
                    int64_t j = first_bad + i;
                    bool good = i < samples && ok[static_cast<size_t>(j % samples)];
                    if (good && start < 0) {
                        start = j;
                    } else if (!good && start >= 0) {
                        arc_of(start, j - 1);
                        start = -1;
                    }
                }
            }
        } else {
            int64_t start = -1;
            for (int64_t j = 0; j <= samples; ++j) {
                bool good = j < samples && ok[static_cast<size_t>(j)];
                if (good && start < 0) {
                    start = j;
                } else if (!good && start >= 0) {
                    arc_of(start, j - 1);
                    start = -1;
                }
            }
        }
        if (laid > 0) {
            arcs.insert(key);
        }
        return laid;
    }

    // --- Contours ----------------------------------------------------------------------------------
    // Two strokes at `off` on both sides of p-q and half-circle arcs around both ends.
    void contour_segment(Point p, Point q, int64_t off) {
        if (off <= 0) {
            return;
        }
        Coord radius = model::clamp_coord(off);
        double dx = double(q.x) - p.x, dy = double(q.y) - p.y, len = std::hypot(dx, dy);
        if (len == 0) {
            lay_arc(p, radius, 0, 0);
            return;
        }
        int64_t ox = std::llround(-dy / len * double(off)), oy = std::llround(dx / len * double(off));
        auto shifted = [](Point a, int64_t x, int64_t y) {
            return Point{model::clamp_coord(a.x + x), model::clamp_coord(a.y + y)};
        };
        lay_stroke(shifted(p, ox, oy), shifted(q, ox, oy));
        lay_stroke(shifted(p, -ox, -oy), shifted(q, -ox, -oy));
        model::Angle phi = angle_of(dx, dy);
        lay_arc(q, radius, static_cast<model::Angle>(phi - 16384), static_cast<model::Angle>(phi + 16384));
        lay_arc(p, radius, static_cast<model::Angle>(phi + 16384), static_cast<model::Angle>(phi + 49152));
    }

    void contour_pad(const Node& n) {
        const model::PadFields& f = n.pad;
        Point c{f.x0, f.y0};
        int64_t d = pi + reach_half();
        int64_t pw = f.width, ph = f.height;
        int shape = n.size & 3;
        if (shape == 2) {
            int64_t hx = pw / 2 + d, hy = ph / 2 + d;
            Point c1 = turned(c, -hx, -hy, f.angle), c2 = turned(c, hx, -hy, f.angle);
            Point c3 = turned(c, hx, hy, f.angle), c4 = turned(c, -hx, hy, f.angle);
            lay_stroke(c1, c2);
            lay_stroke(c2, c3);
            lay_stroke(c3, c4);
            lay_stroke(c4, c1);
        } else if (pw == ph) {
            lay_arc(c, model::clamp_coord(pw / 2 + d), 0, 0);
        } else {
            bool along_x = pw > ph;
            int64_t e = model::abs64(pw - ph) / 2, rr = std::min(pw, ph) / 2 + d;
            model::Angle axis = static_cast<model::Angle>(f.angle + (along_x ? 0 : 16384));
            Point e1 = along_x ? turned(c, e, 0, f.angle) : turned(c, 0, e, f.angle);
            Point e2 = along_x ? turned(c, -e, 0, f.angle) : turned(c, 0, -e, f.angle);
            Coord radius = model::clamp_coord(rr);
            lay_arc(e1, radius, static_cast<model::Angle>(axis - 16384), static_cast<model::Angle>(axis + 16384));
            lay_arc(e2, radius, static_cast<model::Angle>(axis + 16384), static_cast<model::Angle>(axis + 49152));
            if (along_x) {
                lay_stroke(turned(c, -e, rr, f.angle), turned(c, e, rr, f.angle));
                lay_stroke(turned(c, -e, -rr, f.angle), turned(c, e, -rr, f.angle));
            } else {
                lay_stroke(turned(c, rr, -e, f.angle), turned(c, rr, e, f.angle));
                lay_stroke(turned(c, -rr, -e, f.angle), turned(c, -rr, e, f.angle));
            }
        }
    }

    // The spokes of one pad at the current width; how many were laid.
    int spokes(const Node& n) {
        const model::PadFields& f = n.pad;
        Point c{f.x0, f.y0};
        int64_t pw = f.width, ph = f.height;
        struct Spoke {
            int64_t x0, y0, x1, y1;
        };
        std::vector<Spoke> list;
        if (!thru_hole(n)) {
            int64_t ex = pw / 2 + pi + reach_half(), ey = ph / 2 + pi + reach_half();
            list = {{0, 0, ex, 0}, {0, 0, -ex, 0}, {0, 0, 0, ey}, {0, 0, 0, -ey}};
        } else {
            int64_t d = std::min(pw, ph) / 2 + pi + reach_half();
            if ((n.size & 3) == 2) {
                list = {{0, 0, d, d}, {0, 0, -d, d}, {0, 0, -d, -d}, {0, 0, d, -d}};
            } else {
                int64_t dd = (d * 46341 + 32768) >> 16, e = model::abs64(pw - ph) / 2;
                if (pw >= ph) {
                    list = {{e, 0, e + dd, dd}, {e, 0, e + dd, -dd}, {-e, 0, -e - dd, dd}, {-e, 0, -e - dd, -dd}};
                } else {
                    list = {{0, e, dd, e + dd}, {0, e, -dd, e + dd}, {0, -e, dd, -e - dd}, {0, -e, -dd, -e - dd}};
                }
            }
        }
        int laid = 0;
        for (const Spoke& s : list) {
            Point a = turned(c, s.x0, s.y0, f.angle), b = turned(c, s.x1, s.y1, f.angle);
            Box area;
            area.add(a.x, a.y);
            area.add(b.x, b.y);
            area.grow(half());
            gather(area);
            if (passes(a) && passes(b) && lay_stroke(a, b) > 0) {
                ++laid;
            }
        }
        return laid;
    }

    // Spokes at the fill width, then narrower down to 458 units; the question when none fits.
    bool connect(const Node& n) {
        Coord keep_w = w;
        int laid = 0;
        for (Coord cw = w;; cw -= kSpokeStep) {
            w = cw;
            laid = spokes(n);
            if (laid > 0 || stopped() || cw - kSpokeStep < kSpokeMin) {
                break;
            }
        }
        w = keep_w;
        if (stopped()) {
            return false;
        }
        if (laid == 0) {
            ++res.unconnected;
            Point where{n.pad.x0, n.pad.y0};
            if (hooks.unconnected && !hooks.unconnected(unconnected_text(where, doc.setup), where)) {
                res.cancelled = true;
                return false;
            }
        }
        return true;
    }

    bool trace(bool with_spokes) {
        for (size_t i = 0; i < obs.size(); ++i) {
            if (stopped()) {
                break;
            }
            if ((i & 255) == 0) {
                run.progress("Flood Fill", static_cast<int>(i * 100 / obs.size()));
            }
            const Obstacle& o = obs[i];
            const Node& n = node(o.item);
            exclude = o.item;
            switch (o.shape) {
            case Shape::Pad:
                contour_pad(n);
                if (with_spokes && fill != model::kNone && model::item_signal(o.item) == fill &&
                    edit::point_in_block(block, Point{n.pad.x0, n.pad.y0}) && !stopped() && !connect(n)) {
                    exclude = model::kNone;
                    return false;
                }
                break;
            case Shape::Arc:
                if (n.arc.ellipse == 0) {
                    int64_t off = n.size / 2 + ti + reach_half(), radius = model::abs64(n.arc.radius);
                    model::Angle from = static_cast<model::Angle>(n.arc.start + n.arc.angle);
                    model::Angle to = static_cast<model::Angle>(from + n.arc.sweep);
                    lay_arc(Point{n.arc.x0, n.arc.y0}, model::clamp_coord(radius + off), from, to);
                    if (radius - off > 0) {
                        lay_arc(Point{n.arc.x0, n.arc.y0}, model::clamp_coord(radius - off), from, to);
                    }
                }
                break;
            case Shape::Track:
                contour_segment(Point{n.line.x1, n.line.y1}, Point{n.line.x2, n.line.y2},
                                n.size / 2 + ti + reach_half());
                break;
            case Shape::Solid:
                for (Ref v = n.link; v != model::kNone && !stopped(); v = node(v).link) {
                    const model::LineFields& e = node(v).line;
                    contour_segment(Point{e.x1, e.y1}, Point{e.x2, e.y2}, ti + reach_half());
                }
                break;
            case Shape::Text:
                break;
            }
        }
        exclude = model::kNone;
        return !stopped();
    }

    // --- Border, rows and hatch --------------------------------------------------------------------
    void border() {
        int64_t r = half();
        if (block.outline.size() < 3) {
            Coord l = model::clamp_coord(block.left + r), b = model::clamp_coord(block.bottom + r);
            Coord rt = model::clamp_coord(block.right - r), t = model::clamp_coord(block.top - r);
            lay_stroke(Point{l, b}, Point{rt, b});
            lay_stroke(Point{l, t}, Point{rt, t});
            lay_stroke(Point{l, b}, Point{l, t});
            lay_stroke(Point{rt, b}, Point{rt, t});
            return;
        }
        // Each edge moved inwards by r: the side of the inside depends on the outline's turn.
        const std::vector<Point>& v = block.outline;
        double area2 = 0;
        for (size_t i = 0; i < v.size(); ++i) {
            const Point &p = v[i], &q = v[(i + 1) % v.size()];
            area2 += double(p.x) * q.y - double(q.x) * p.y;
        }
        double side = area2 >= 0 ? 1 : -1;
        for (size_t i = 0; i < v.size(); ++i) {
            const Point &p = v[i], &q = v[(i + 1) % v.size()];
            double dx = double(q.x) - p.x, dy = double(q.y) - p.y, len = std::hypot(dx, dy);
            if (len == 0) {
                continue;
            }
            int64_t ox = std::llround(-dy / len * double(r) * side), oy = std::llround(dx / len * double(r) * side);
            lay_stroke(Point{model::clamp_coord(p.x + ox), model::clamp_coord(p.y + oy)},
                       Point{model::clamp_coord(q.x + ox), model::clamp_coord(q.y + oy)});
        }
    }

    static Coord snap_mil(int64_t y) {
        int64_t mils = model::floor_div(y * 1000 + 32768, 65536);
        return model::clamp_coord(model::floor_div(mils * 65536 + 500, 1000));
    }

    void rows(Coord first, Coord step, Coord last) {
        int64_t x0 = int64_t{block.left} + half(), x1 = x0 + (int64_t{block.right} - block.left - w);
        int64_t span = std::max<int64_t>(1, int64_t{last} - first);
        for (int64_t y = first; y <= last && !stopped(); y += std::max<Coord>(step, 1)) {
            Coord ys = snap_mil(y);
            lay_stroke(Point{model::clamp_coord(x0), ys}, Point{model::clamp_coord(x1), ys});
            if ((strokes & 63) == 0) {
                run.progress("Flood Fill", static_cast<int>((y - first) * 100 / span));
            }
        }
    }

    void hatch(Coord spacing) {
        int64_t r = half(), s = std::max<int64_t>(spacing, 1);
        int64_t L = int64_t{block.left} + r, R = int64_t{block.right} - r;
        int64_t B = int64_t{block.bottom} + r, T = int64_t{block.top} - r;
        if (L > R || B > T) {
            return;
        }
        auto lay = [&](int64_t xa, int64_t ya, int64_t xb, int64_t yb) {
            lay_stroke(Point{model::clamp_coord(xa), model::clamp_coord(ya)},
                       Point{model::clamp_coord(xb), model::clamp_coord(yb)});
        };
        // Rising to the right, y = x + c: starts down the left edge from the top, then along the bottom.
        for (int64_t c = T - L; c >= B - R && !stopped(); c -= s) {
            int64_t xa = std::max(L, B - c), xb = std::min(R, T - c);
            if (xa <= xb) {
                lay(xa, xa + c, xb, xb + c);
            }
        }
        // Falling to the right, y = c - x: starts up the left edge from the bottom, then along the top.
        for (int64_t c = B + L; c <= T + R && !stopped(); c += s) {
            int64_t xa = std::max(L, c - T), xb = std::min(R, c - B);
            if (xa <= xb) {
                lay(xa, c - xa, xb, c - xb);
            }
        }
    }
};

FillRun::FillRun(model::Document& doc, const edit::Block& block, const FillHooks& hooks, platform::RunContext& run)
    : impl_(new Impl(doc, block, hooks, run)) {
}

FillRun::~FillRun() {
    delete impl_;
}

void FillRun::set_layers(int destination, const model::LayerSet& sources) {
    Impl& m = *impl_;
    m.dest = destination;
    m.doc.setup.current_layer = destination;
    m.sources = sources;
    if (m.sources.none()) {
        m.sources.set(static_cast<size_t>(destination & 0xFF));
        uint8_t type = m.doc.setup.layers[static_cast<size_t>(destination & 0xFF)].type & model::kLayerTypeMask;
        if (type == model::kLayerCopper || type == model::kLayerPlane) {
            m.sources.set(0);
        }
    }
}

void FillRun::mark_obstacles(Ref fill_signal, Ref thermal, Ref direct) {
    impl_->mark(fill_signal, thermal, direct);
}

void FillRun::set_width(Coord w) {
    impl_->w = std::max(w, kMinWidth);
}

void FillRun::set_isolation(Coord lines, Coord pads) {
    impl_->ti = std::max<Coord>(lines, 0);
    impl_->pi = std::max<Coord>(pads, 0);
}

void FillRun::set_signal(Ref signal) {
    impl_->signal_name = signal != model::kNone ? model::signal_name(signal) : std::string();
}

void FillRun::set_target(Ref component) {
    impl_->target = component;
    impl_->target_empty = component != model::kNone && model::ring_empty(model::member_ring(component));
}

void FillRun::set_plain(bool plain) {
    impl_->plain = plain;
}

int FillRun::lay_stroke(Point a, Point b) {
    return impl_->lay_stroke(a, b);
}

int FillRun::lay_contour_arc(Point centre, Coord radius, model::Angle from, model::Angle to) {
    return impl_->lay_arc(centre, radius, from, to);
}

bool FillRun::trace_contours(bool connect) {
    return impl_->trace(connect);
}

void FillRun::lay_border() {
    impl_->border();
}

void FillRun::lay_rows(Coord first, Coord step, Coord last) {
    impl_->rows(first, step, last);
}

void FillRun::lay_hatch(Coord spacing) {
    impl_->hatch(spacing);
}

const FillResult& FillRun::result() const {
    return impl_->res;
}

FillResult& FillRun::result() {
    return impl_->res;
}

} // namespace trazel::copper
