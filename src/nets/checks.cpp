// Drill holes, duplicates and clearances of a traced net.
//
// Distances are worked in doubled coordinates, so that the half widths, pad radii and half spine lengths
// of odd sizes stay whole numbers and "strictly below the required distance" is decided exactly.
#include "nets/checks.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <limits>
#include <vector>

#include "edit/area.h"
#include "edit/locate.h"
#include "edit/undo.h"
#include "model/exact_distance.h"
#include "nets/trace.h"

namespace trazel::nets {

using model::Box;
using model::Node;
using model::node;

namespace {

constexpr int kRatnestLayer = 255;

// Lines of non-zero width and Pads, off the Ratnest layer: what the clearance check measures.  Ratnest
// lines are airlines, never copper, and layer 255 is out of every source's layer rule anyway.
bool copper_item(const Node& n) {
    uint8_t k = n.item_kind();
    return ((k == model::kLine && n.size != 0) || k == model::kPad) && n.layer != kRatnestLayer;
}

// What the grid holds: those, and Pads on the Ratnest layer too, so that it answers for every Pad whether
// it is a top-level one.
bool indexed_item(const Node& n) {
    return copper_item(n) || n.item_kind() == model::kPad;
}

int64_t half_up(int64_t v) {
    return (v + 1) / 2;
}

// An Item's box before any clearance: a Line's ends grown by its half width, a Pad's centre grown by its
// largest dimension less a quarter of it.
Box base_box(const Node& n) {
    if (n.item_kind() == model::kPad) {
        int64_t m = std::max(n.pad.width, n.pad.height);
        int64_t r = m - m / 4;
        return Box{int64_t{n.pad.x0} - r, int64_t{n.pad.y0} - r, int64_t{n.pad.x0} + r, int64_t{n.pad.y0} + r};
    }
    int64_t r = half_up(n.size);
    return Box{std::min<int64_t>(n.line.x1, n.line.x2) - r, std::min<int64_t>(n.line.y1, n.line.y2) - r,
               std::max<int64_t>(n.line.x1, n.line.x2) + r, std::max<int64_t>(n.line.y1, n.line.y2) + r};
}

Box grown(Box b, int64_t by) {
    b.grow(by);
    return b;
}

} // namespace

// The clearance check's targets on a grid: every copper Item (and every Pad) of the Document, members
// included, in walk order, each in the cells its base box covers.  Marks and the Hidden flag are read when
// a source asks, so the grid stays good while nets are traced and shown; it goes when the Document
// changes, with `index`.
class CheckIndex {
  public:
    struct Entry {
        Ref ref;
        Box box;
        bool top; // a top-level Item
    };
    std::weak_ptr<NetIndex> tie;
    std::vector<Entry> entries; // walk order
    std::vector<uint32_t> slot; // by Ref: entry + 1, 0 for none

    explicit CheckIndex(const model::Document& doc) {
        model::walk_tree(doc.ring(), [&](Ref r, int depth) {
            const Node& n = node(r);
            if (indexed_item(n)) {
                entries.push_back(Entry{r, base_box(n), depth == 0});
            }
        });
        Ref high = 0;
        Box all;
        for (const Entry& e : entries) {
            high = std::max(high, e.ref);
            all.add(e.box);
        }
        slot.assign(static_cast<size_t>(high) + 1, 0);
        for (size_t i = 0; i < entries.size(); ++i) {
            slot[entries[i].ref] = static_cast<uint32_t>(i + 1);
        }
        build_grid(all);
    }

    // The entry of an Item, or -1 when the grid does not hold it.
    int64_t entry_of(Ref r) const {
        return r < slot.size() && slot[r] != 0 ? int64_t{slot[r]} - 1 : -1;
    }

    // The entries whose base boxes meet `q`, ascending (walk order).
    const std::vector<uint32_t>& near(const Box& q) {
        found_.clear();
        if (!entries.empty()) {
            int64_t cx1 = std::clamp<int64_t>(cell_x(q.x1), 0, cols_ - 1),
                    cx2 = std::clamp<int64_t>(cell_x(q.x2), 0, cols_ - 1);
            int64_t cy1 = std::clamp<int64_t>(cell_y(q.y1), 0, rows_ - 1),
                    cy2 = std::clamp<int64_t>(cell_y(q.y2), 0, rows_ - 1);
            for (int64_t cy = cy1; cy <= cy2; ++cy) {
                for (int64_t cx = cx1; cx <= cx2; ++cx) {
                    size_t c = static_cast<size_t>(cy * cols_ + cx);
                    for (uint32_t k = start_[c]; k < start_[c + 1]; ++k) {
                        if (entries[members_[k]].box.meets(q)) {
                            found_.push_back(members_[k]);
                        }
                    }
                }
            }
            for (uint32_t e : big_) {
                if (entries[e].box.meets(q)) {
                    found_.push_back(e);
                }
            }
        }
        std::sort(found_.begin(), found_.end());
        found_.erase(std::unique(found_.begin(), found_.end()), found_.end());
        return found_;
    }

  private:
    // Items spanning more cells than this are kept in one list that every query reads.
    static constexpr int64_t kMaxCellsPerItem = 256;

    int64_t x0_ = 0, y0_ = 0, cell_ = 1, cols_ = 1, rows_ = 1;
    std::vector<uint32_t> start_, members_, big_, found_;

    int64_t cell_x(int64_t x) const {
        return model::floor_div(x - x0_, cell_);
    }
    int64_t cell_y(int64_t y) const {
        return model::floor_div(y - y0_, cell_);
    }

    void build_grid(const Box& all) {
        if (entries.empty()) {
            start_.assign(2, 0);
            return;
        }
        int64_t w = all.x2 - all.x1 + 1, h = all.y2 - all.y1 + 1;
        int64_t n = static_cast<int64_t>(entries.size());
        // About one Item per cell on an even board; never more cells than four per Item.
        long double per = static_cast<long double>(w) * static_cast<long double>(h) / static_cast<long double>(n);
        cell_ = std::max<int64_t>(256, static_cast<int64_t>(model::isqrt64(static_cast<uint64_t>(per))) * 2);
        while ((w / cell_ + 1) * (h / cell_ + 1) > 4 * n + 1024) {
            cell_ *= 2;
        }
        x0_ = all.x1, y0_ = all.y1;
        cols_ = w / cell_ + 1, rows_ = h / cell_ + 1;
        std::vector<uint32_t> count(static_cast<size_t>(cols_ * rows_) + 1, 0);
        auto cover = [&](const Box& b, auto&& f) {
            for (int64_t cy = cell_y(b.y1); cy <= cell_y(b.y2); ++cy) {
                for (int64_t cx = cell_x(b.x1); cx <= cell_x(b.x2); ++cx) {
                    f(static_cast<size_t>(cy * cols_ + cx));
                }
            }
        };
        auto spans = [&](const Box& b) {
            return (cell_x(b.x2) - cell_x(b.x1) + 1) * (cell_y(b.y2) - cell_y(b.y1) + 1);
        };
        for (const Entry& e : entries) {
            if (spans(e.box) <= kMaxCellsPerItem) {
                cover(e.box, [&](size_t c) { ++count[c + 1]; });
            }
        }
        for (size_t c = 1; c < count.size(); ++c) {
            count[c] += count[c - 1];
        }
        start_ = count;
        members_.assign(start_.back(), 0);
        for (uint32_t i = 0; i < entries.size(); ++i) {
            if (spans(entries[i].box) <= kMaxCellsPerItem) {
                cover(entries[i].box, [&](size_t c) { members_[count[c]++] = i; });
            } else {
                big_.push_back(i);
            }
        }
    }
};

namespace {

// The grid for the Document as `index` sees it: made (with `index`) on first use, made again whenever
// `index` was replaced or dropped since.
CheckIndex& check_index(NetState& s) {
    if (!s.index) {
        s.index = std::make_shared<NetIndex>(*s.doc);
    }
    if (!s.check_index || s.check_index->tie.lock() != s.index) {
        s.check_index = std::make_shared<CheckIndex>(*s.doc);
        s.check_index->tie = s.index;
    }
    return *s.check_index;
}

// The Document changed under both indexes.
void drop_indexes(NetState& s) {
    s.index.reset();
    s.check_index.reset();
}

// --- Exact distances in doubled coordinates ------------------------------------------------------

using model::exact::kFar;
using model::exact::P2;
using model::exact::point_d2;
using model::exact::segment_d2;

// A shape reduced to its spine: one point, a segment, or the four corners of a rectangle (whose edges are
// the spine), with the diameter (the doubled radius) around it.
struct Spine {
    std::array<P2, 4> p{};
    int n = 1;
    int64_t diam = 0;
};

Spine line_spine(const Node& l) {
    Spine s;
    s.p[0] = P2{2 * int64_t{l.line.x1}, 2 * int64_t{l.line.y1}};
    s.p[1] = P2{2 * int64_t{l.line.x2}, 2 * int64_t{l.line.y2}};
    s.n = 2;
    s.diam = l.size;
    return s;
}

bool circular_pad(const Node& pad) {
    return pad.pad.width == pad.pad.height && shape_code(pad) != 2;
}

// A Pad's spine: a circle its centre; an oblong the segment |width - height| long along its longer axis,
// with the smaller size as diameter; a rectangle its four edges with no radius, or (`rect_as_oblong`,
// against another pad) the oblong spine.
Spine pad_spine(const Node& pad, bool rect_as_oblong) {
    const model::PadFields& f = pad.pad;
    Spine s;
    P2 c{2 * int64_t{f.x0}, 2 * int64_t{f.y0}};
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
    if (shape_code(pad) == 2 && !rect_as_oblong) {
        s.p = {turned(-w, -h), turned(w, -h), turned(w, h), turned(-w, h)};
        s.n = 4;
        return s;
    }
    s.diam = std::min(w, h);
    if (w != h) {
        bool wide = w > h;
        int64_t along = wide ? w - h : h - w;
        s.p[0] = wide ? turned(-along, 0) : turned(0, -along);
        s.p[1] = wide ? turned(along, 0) : turned(0, along);
        s.n = 2;
    }
    return s;
}

struct Nearest {
    uint64_t d2 = kFar;
    P2 at;
};

// From q to a spine: to its point, its segment or the nearest of its edges.
uint64_t to_spine(P2 q, const Spine& s) {
    switch (s.n) {
    case 1:
        return point_d2(s.p[0], q);
    case 2:
        return segment_d2(s.p[0], s.p[1], q);
    default: {
        uint64_t best = kFar;
        for (int i = 0; i < 4; ++i) {
            best = std::min(best, segment_d2(s.p[i], s.p[(i + 1) % 4], q));
        }
        return best;
    }
    }
}

// The ends (corners, centre) of each spine against the other spine.
Nearest mutual(const Spine& a, const Spine& b) {
    Nearest out;
    auto from = [&](const Spine& x, const Spine& y) {
        for (int i = 0; i < x.n; ++i) {
            uint64_t d = to_spine(x.p[i], y);
            if (d < out.d2) {
                out.d2 = d;
                out.at = x.p[i];
            }
        }
    };
    from(a, b);
    from(b, a);
    return out;
}

// --- The clearance rules -------------------------------------------------------------------------

// The layer a source measures under: its own, 0 for a through-hole pad.
int source_layer(const Node& n) {
    return n.item_kind() == model::kPad && !smt_pad(n) ? 0 : n.layer;
}

// The trace's layer rule with layer L: with L, Lines on L or layer 0, surface-mount pads on L, through-hole
// pads always; with 0, Lines on a conductive layer and any Pad.
bool under_layer_rule(const model::Setup& st, int layer, const Node& t) {
    if (t.item_kind() == model::kLine) {
        return layer != 0 ? (t.layer == layer || t.layer == 0) : conductive_layer(st, t.layer);
    }
    return layer == 0 || !smt_pad(t) || t.layer == layer;
}

struct Source {
    Ref ref = model::kNone;
    const Node* n = nullptr;
    int layer = 0;
    Box box;
};

Source make_source(Ref r) {
    Source s;
    s.ref = r;
    s.n = &node(r);
    s.layer = source_layer(*s.n);
    s.box = base_box(*s.n);
    return s;
}

Coord to_units_up(uint64_t doubled) {
    return static_cast<Coord>(std::min<uint64_t>((doubled + 1) / 2, INT32_MAX));
}

// One source against one target: the finding when the target is another net's copper under the source's
// layer rule, passes the box prefilter and lies strictly nearer than the required distance.
bool clearance_fault(const model::Setup& st, const Clearances& c, const Source& src, Ref tref, Finding& f) {
    const Node& t = node(tref);
    if (t.marked() || t.hidden() || !copper_item(t) || !under_layer_rule(st, src.layer, t)) {
        return false;
    }
    bool line_s = src.n->item_kind() == model::kLine, line_t = t.item_kind() == model::kLine;
    Coord clear = line_s && line_t ? c.line_line : (line_s || line_t ? c.line_pad : c.pad_pad);
    if (!grown(src.box, clear).meets(grown(base_box(t), clear))) {
        return false;
    }
    Nearest near;
    int64_t diam = 0;
    if (!line_s && !line_t && circular_pad(*src.n) && !circular_pad(t)) {
        // A round pad against an oblong one: centre to centre, the oblong pad's width taken as its diameter.
        P2 a{2 * int64_t{src.n->pad.x0}, 2 * int64_t{src.n->pad.y0}}, b{2 * int64_t{t.pad.x0}, 2 * int64_t{t.pad.y0}};
        near.d2 = point_d2(a, b);
        near.at = a;
        diam = int64_t{src.n->pad.width} + t.pad.width;
    } else {
        bool pads = !line_s && !line_t;
        Spine a = line_s ? line_spine(*src.n) : pad_spine(*src.n, pads);
        Spine b = line_t ? line_spine(t) : pad_spine(t, pads);
        near = mutual(a, b);
        diam = a.diam + b.diam;
    }
    int64_t required = std::clamp<int64_t>(diam + 2 * int64_t{clear}, 0, int64_t{UINT32_MAX});
    uint64_t r2 = static_cast<uint64_t>(required) * static_cast<uint64_t>(required);
    if (near.d2 >= r2) {
        return false;
    }
    f.kind = line_s ? (line_t ? FindingKind::LineToLine : FindingKind::LineToPad)
                    : (line_t ? FindingKind::PadToLine : FindingKind::PadToPad);
    f.source = src.ref;
    f.target = tref;
    f.at =
        Point{static_cast<Coord>(model::floor_div(near.at.x, 2)), static_cast<Coord>(model::floor_div(near.at.y, 2))};
    f.required = to_units_up(static_cast<uint64_t>(required));
    f.distance = static_cast<Coord>(std::min<uint64_t>(model::isqrt64(near.d2) / 2, INT32_MAX));
    return true;
}

bool source_item(const Node& n) {
    return n.marked() && copper_item(n);
}

// Every 128 sources, "DRC:" and the sources left; false when the user stopped the check.
bool keep_going(NetState& s, size_t done, size_t total) {
    if (done == 0 || done % 128 != 0 || !s.every_128) {
        return true;
    }
    return s.every_128("DRC:", static_cast<long>(total - done));
}

int clearances_plain(NetState& s, const Clearances& c, const std::function<bool(const Finding&)>& report) {
    const model::Setup& st = s.doc->setup;
    std::vector<Ref> sources;
    model::walk_tree(s.doc->ring(), [&](Ref r, int) {
        if (source_item(node(r))) {
            sources.push_back(r);
        }
    });
    int found = 0;
    for (size_t i = 0; i < sources.size(); ++i) {
        if (!keep_going(s, i, sources.size())) {
            return -1;
        }
        Source src = make_source(sources[i]);
        bool stop = false;
        model::walk_tree(s.doc->ring(), [&](Ref r, int) {
            Finding f{};
            if (!stop && clearance_fault(st, c, src, r, f)) {
                ++found;
                stop = !report(f);
            }
        });
        if (stop) {
            return found;
        }
    }
    return found;
}

// The sources as grid entries in walk order; false when one is missing (the grid is older than the net).
bool indexed_sources(const NetState& s, const CheckIndex& ix, std::vector<uint32_t>& out) {
    out.clear();
    for (Ref r : s.marked) {
        if (!source_item(node(r))) {
            continue;
        }
        int64_t e = ix.entry_of(r);
        if (e < 0 || ix.entries[static_cast<size_t>(e)].ref != r) {
            return false;
        }
        out.push_back(static_cast<uint32_t>(e));
    }
    std::sort(out.begin(), out.end());
    out.erase(std::unique(out.begin(), out.end()), out.end());
    return true;
}

int clearances_indexed(NetState& s, const Clearances& c, const std::function<bool(const Finding&)>& report) {
    const model::Setup& st = s.doc->setup;
    std::vector<uint32_t> sources;
    if (!indexed_sources(s, check_index(s), sources)) {
        // An Item of the net is newer than the grid: the Document changed behind `index`.
        drop_indexes(s);
        indexed_sources(s, check_index(s), sources);
    }
    CheckIndex& ix = *s.check_index;
    // Every target whose box with the clearance meets the source's with the clearance lies in this query.
    int64_t reach = 2 * std::max({int64_t{c.line_line}, int64_t{c.line_pad}, int64_t{c.pad_pad}, int64_t{0}});
    int found = 0;
    std::vector<uint32_t> targets;
    for (size_t i = 0; i < sources.size(); ++i) {
        if (!keep_going(s, i, sources.size())) {
            return -1;
        }
        Source src = make_source(ix.entries[sources[i]].ref);
        targets = ix.near(grown(src.box, reach));
        for (uint32_t e : targets) {
            Finding f{};
            if (clearance_fault(st, c, src, ix.entries[e].ref, f)) {
                ++found;
                if (!report(f)) {
                    return found;
                }
            }
        }
    }
    return found;
}

// --- Drill holes ---------------------------------------------------------------------------------

int layer_key(const Node& pad) {
    return smt_pad(pad) ? pad.layer : 0;
}

int64_t half_size(const Node& pad) {
    int64_t m = std::max(pad.pad.width, pad.pad.height);
    return m - m / 4;
}

bool duplicate_of(const Node& p, const Node& q) {
    const model::PadFields &a = p.pad, &b = q.pad;
    return model::abs64(int64_t{a.x0} - b.x0) < 3 && model::abs64(int64_t{a.y0} - b.y0) < 3 &&
           (p.size & 7) == (q.size & 7) && p.layer == q.layer && a.width == b.width && a.height == b.height &&
           a.hole == b.hole;
}

bool drills_interfere(const Node& p, const Node& q) {
    if (smt_pad(p) || smt_pad(q)) {
        return false;
    }
    int64_t dx = model::abs64(int64_t{p.pad.x0} - q.pad.x0), dy = model::abs64(int64_t{p.pad.y0} - q.pad.y0);
    if (dx > 65535 || dy > 65535) {
        return false;
    }
    int64_t holes = int64_t{p.pad.hole} + q.pad.hole;
    return 4 * (dx * dx + dy * dy) <= holes * holes;
}

} // namespace

int check_drill_holes(NetState& s, const std::function<bool(const Finding&)>& report) {
    Clearances c = clearances_of(s.doc->setup);
    std::vector<Ref> pads;
    for (Ref r : s.marked) {
        if (node(r).item_kind() == model::kPad && node(r).marked()) {
            pads.push_back(r);
        }
    }
    if (pads.empty()) {
        return 0;
    }
    // Which pads may be the second of a pair: the top-level ones.
    std::vector<uint32_t> second; // indexes into `pads`, in marking order
    if (s.plain) {
        std::vector<Ref> top;
        for (Ref r : model::items_in(s.doc->ring())) {
            if (node(r).item_kind() == model::kPad && node(r).marked()) {
                top.push_back(r);
            }
        }
        std::sort(top.begin(), top.end());
        for (uint32_t i = 0; i < pads.size(); ++i) {
            if (std::binary_search(top.begin(), top.end(), pads[i])) {
                second.push_back(i);
            }
        }
    } else {
        CheckIndex* ix = &check_index(s);
        auto top = [&](Ref r) {
            int64_t e = ix->entry_of(r);
            if (e < 0 || ix->entries[static_cast<size_t>(e)].ref != r) {
                return -1;
            }
            return ix->entries[static_cast<size_t>(e)].top ? 1 : 0;
        };
        bool stale = std::any_of(pads.begin(), pads.end(), [&](Ref r) { return top(r) < 0; });
        if (stale) {
            drop_indexes(s);
            ix = &check_index(s);
        }
        for (uint32_t i = 0; i < pads.size(); ++i) {
            if (top(pads[i]) == 1) {
                second.push_back(i);
            }
        }
    }
    // The second pads by layer key and X, so that each pad looks only at those within reach.
    struct Keyed {
        int key;
        int64_t x;
        uint32_t i;
    };
    std::vector<Keyed> by_x;
    int64_t widest = 0;
    for (uint32_t i : second) {
        const Node& q = node(pads[i]);
        by_x.push_back(Keyed{layer_key(q), q.pad.x0, i});
        widest = std::max(widest, half_size(q));
    }
    auto before = [](const Keyed& a, const Keyed& b) { return a.key != b.key ? a.key < b.key : a.x < b.x; };
    std::sort(by_x.begin(), by_x.end(), before);

    // A duplicate stays in place until the walk is over (the report may still name it) and is passed over
    // from the moment it is found; then they all go.
    std::vector<char> gone(pads.size(), 0);
    std::vector<Ref> doomed;
    std::vector<uint32_t> near;
    int found = 0;
    bool stop = false;
    for (uint32_t i = 0; i < pads.size() && !stop; ++i) {
        if (gone[i]) {
            continue;
        }
        const Node& p = node(pads[i]);
        int key = layer_key(p);
        int64_t hp = half_size(p) + c.line_pad;
        near.clear();
        if (s.plain) {
            near = second;
        } else {
            int64_t reach = hp + widest;
            auto lo = std::lower_bound(by_x.begin(), by_x.end(), Keyed{key, int64_t{p.pad.x0} - reach, 0}, before);
            auto hi = std::upper_bound(by_x.begin(), by_x.end(), Keyed{key, int64_t{p.pad.x0} + reach, 0}, before);
            for (auto k = lo; k != hi; ++k) {
                near.push_back(k->i);
            }
            std::sort(near.begin(), near.end());
        }
        for (uint32_t j : near) {
            if (j == i || gone[j]) {
                continue;
            }
            const Node& q = node(pads[j]);
            int64_t h = hp + half_size(q);
            if (layer_key(q) != key || model::abs64(int64_t{p.pad.x0} - q.pad.x0) > h ||
                model::abs64(int64_t{p.pad.y0} - q.pad.y0) > h) {
                continue;
            }
            Finding f{};
            f.source = pads[i];
            f.target = pads[j];
            if (duplicate_of(p, q)) {
                f.kind = FindingKind::DuplicatePad;
                f.at = Point{q.pad.x0, q.pad.y0};
                gone[j] = 1;
                doomed.push_back(pads[j]);
            } else if (drills_interfere(p, q)) {
                f.kind = FindingKind::DrillInterference;
                f.at = Point{p.pad.x0, p.pad.y0};
            } else {
                continue;
            }
            ++found;
            if (!report(f)) {
                stop = true;
                break;
            }
        }
    }
    if (!doomed.empty()) {
        for (Ref r : doomed) {
            Box area = edit::item_area(r);
            edit::RecordDeleted(*s.doc, r, s.undo_number++);
            if (s.display != nullptr) {
                edit::redraw_region(*s.display, *s.doc, area);
            }
        }
        std::sort(doomed.begin(), doomed.end());
        std::erase_if(s.marked, [&](Ref r) { return std::binary_search(doomed.begin(), doomed.end(), r); });
        s.doc->mark_modified();
        drop_indexes(s);
    }
    return found;
}

int check_clearances(NetState& s, const Clearances& c, const std::function<bool(const Finding&)>& report) {
    return s.plain ? clearances_plain(s, c, report) : clearances_indexed(s, c, report);
}

} // namespace trazel::nets
