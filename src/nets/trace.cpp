// The net trace: seeding at a point, the four spreading rule sets, and the index that gives the
// candidates near an Item in the Document's walk order.
#include "nets/trace.h"

#include <algorithm>
#include <array>
#include <limits>
#include <unordered_map>
#include <utility>
#include <vector>

#include "edit/locate.h"
#include "edit/spatial_index.h"
#include "model/hit_test.h"

namespace trazel::nets {

using model::Box;
using model::Node;
using model::node;

namespace {

__extension__ typedef __int128 Wide;

constexpr uint32_t kNoEntry = std::numeric_limits<uint32_t>::max();
// Query boxes grow by this beyond the rules' own reach: the halved widths round down.
constexpr int64_t kSlack = 4;
// An Item over more grid cells than this is kept per column (a long track) or looked at by every query.
constexpr int64_t kCellsPerItem = 64;
constexpr int64_t kStripCellsLimit = 8192;

bool is_owner(const Node& n) {
    uint8_t k = n.item_kind();
    return k == model::kComponent || k == model::kDocument;
}

int32_t clamp32(int64_t v) {
    return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

// The sign of (b - a) x (c - a), exact for any 32-bit coordinates.
int orientation(Point a, Point b, Point c) {
    Wide v = Wide{int64_t{b.x} - a.x} * (int64_t{c.y} - a.y) - Wide{int64_t{b.y} - a.y} * (int64_t{c.x} - a.x);
    return v < 0 ? -1 : (v > 0 ? 1 : 0);
}

// Two segments cross properly: each one's ends lie strictly on both sides of the other.
bool cross_properly(Point a1, Point a2, Point b1, Point b2) {
    return orientation(a1, a2, b1) * orientation(a1, a2, b2) < 0 &&
           orientation(b1, b2, a1) * orientation(b1, b2, a2) < 0;
}

int64_t floor_div_wide(Wide num, int64_t den) {
    Wide q = num / den;
    if (num % den != 0 && ((num < 0) != (den < 0))) {
        --q;
    }
    return static_cast<int64_t>(q);
}

} // namespace

// --- The index ----------------------------------------------------------------------------------------

struct NetIndex::Impl {
    struct Entry {
        Ref ref;
        uint32_t parent; // the entry of the Component (or nested Document) whose ring holds it
        int32_t x1, y1, x2, y2;
        bool owner;
        bool dead;
        bool gridded;
    };

    const model::Document* doc = nullptr;
    Ref ring = model::kNone;
    uint32_t serial = 0;

    std::vector<Entry> entries; // in walk order; appended Items at the end
    std::vector<uint32_t> slot; // Ref -> entry

    // The grid: cells of `cell` units from (ox, oy), nx by ny, clamped at the edges.  Per cell the
    // entries placed at build time (start/items) and those placed since (extra); `big` are candidates of
    // every query.
    int64_t ox = 0, oy = 0, cell = 1;
    int64_t nx = 1, ny = 1;
    std::vector<uint32_t> start, items;
    // Entries placed since the build: per cell a chain through `late` (entry, next), newest first.
    std::vector<uint32_t> late_head;
    std::vector<std::pair<uint32_t, uint32_t>> late;
    std::vector<uint32_t> big;

    std::unordered_map<Ref, std::vector<uint32_t>> pads; // Signal -> its Pads' entries, ascending

    mutable std::vector<uint32_t> stamp;
    mutable uint32_t stamp_now = 0;
    mutable std::vector<uint32_t> scratch; // the candidates of the last query, reused
    mutable bool scratch_busy = false;

    uint32_t entry_of(Ref r) const {
        return r < slot.size() ? slot[r] : kNoEntry;
    }
    void set_slot(Ref r, uint32_t e) {
        if (r >= slot.size()) {
            slot.resize(static_cast<size_t>(r) + 1 + slot.size() / 2, kNoEntry);
        }
        slot[r] = e;
    }
    int64_t col(int64_t x) const {
        return std::clamp<int64_t>(model::floor_div(x - ox, cell), 0, nx - 1);
    }
    int64_t row(int64_t y) const {
        return std::clamp<int64_t>(model::floor_div(y - oy, cell), 0, ny - 1);
    }

    uint32_t add_entry(Ref r, uint32_t parent) {
        const Node& n = node(r);
        Entry e{r, parent, 1, 1, 0, 0, is_owner(n), false, false};
        Box b;
        if (model::hit_extent(n, b)) {
            // The box as the plain walk tests it, so both agree on every Item (an inverted one too).
            e.x1 = clamp32(b.x1);
            e.y1 = clamp32(b.y1);
            e.x2 = clamp32(b.x2);
            e.y2 = clamp32(b.y2);
            e.gridded = !e.owner && !b.empty();
        }
        uint32_t id = static_cast<uint32_t>(entries.size());
        entries.push_back(e);
        set_slot(r, id);
        if (n.item_kind() == model::kPad) {
            Ref sig = model::item_signal(r);
            if (sig != model::kNone) {
                pads[sig].push_back(id);
            }
        }
        return id;
    }

    // Calls put(cell) for the cells an entry is kept in; false when it goes to the `big` list instead.
    template <class F> bool cells_of(const Entry& e, F&& put) const {
        int64_t cx1 = col(e.x1), cx2 = col(e.x2), cy1 = row(e.y1), cy2 = row(e.y2);
        if ((cx2 - cx1 + 1) * (cy2 - cy1 + 1) <= kCellsPerItem) {
            for (int64_t cy = cy1; cy <= cy2; ++cy) {
                for (int64_t cx = cx1; cx <= cx2; ++cx) {
                    put(static_cast<uint64_t>(cy * nx + cx));
                }
            }
            return true;
        }
        const Node& n = node(e.ref);
        if (n.item_kind() != model::kLine || n.size == 0) {
            return false;
        }
        // A long track: per column only the rows its stroke passes (every point within its half width
        // plus one of the segment, as the extent box grows it).
        const model::LineFields& l = n.line;
        int64_t g = n.size / 2 + 1;
        int64_t xa = std::min(l.x1, l.x2), xb = std::max(l.x1, l.x2);
        struct Span {
            int64_t cx, r1, r2;
        };
        std::vector<Span> spans;
        int64_t total = 0;
        for (int64_t cx = cx1; cx <= cx2; ++cx) {
            int64_t c0 = cx == 0 ? INT64_MIN / 4 : ox + cx * cell;
            int64_t c1 = cx == nx - 1 ? INT64_MAX / 4 : ox + (cx + 1) * cell - 1;
            int64_t lo = std::max(c0 - g, xa), hi = std::min(c1 + g, xb);
            int64_t ylo, yhi;
            if (l.x1 == l.x2 || lo > hi) {
                ylo = std::min(l.y1, l.y2);
                yhi = std::max(l.y1, l.y2);
            } else {
                // The segment's Y at both ends of the column's span, rounded outwards.
                int64_t dx = int64_t{l.x2} - l.x1, dy = int64_t{l.y2} - l.y1;
                auto y_at = [&](int64_t x) { return l.y1 + floor_div_wide(Wide{x - l.x1} * dy, dx); };
                int64_t ya = y_at(lo), yb = y_at(hi);
                ylo = std::min(ya, yb);
                yhi = std::max(ya, yb) + 1;
            }
            int64_t r1 = row(ylo - g - 1), r2 = row(yhi + g + 1);
            total += r2 - r1 + 1;
            if (total > kStripCellsLimit) {
                return false;
            }
            spans.push_back({cx, r1, r2});
        }
        for (const Span& s : spans) {
            for (int64_t cy = s.r1; cy <= s.r2; ++cy) {
                put(static_cast<uint64_t>(cy * nx + s.cx));
            }
        }
        return true;
    }

    void build(const model::Document& d) {
        doc = &d;
        ring = d.ring();
        serial = edit::change_serial(d);
        std::vector<uint32_t> owners(model::kMaxComponentDepth + 2, kNoEntry);
        model::walk_tree(ring, [&](Ref r, int depth) {
            uint32_t parent = depth == 0 ? kNoEntry : owners[static_cast<size_t>(depth - 1)];
            uint32_t id = add_entry(r, parent);
            if (entries[id].owner) {
                owners[static_cast<size_t>(depth)] = id;
            }
        });
        // The grid: about one cell per Item over the extent of them all, fewer when the Items are few.
        Box all;
        size_t n = 0;
        for (const Entry& e : entries) {
            if (e.gridded) {
                all.add(e.x1, e.y1);
                all.add(e.x2, e.y2);
                ++n;
            }
        }
        if (n == 0) {
            all = Box{0, 0, 0, 0};
            n = 1;
        }
        ox = all.x1;
        oy = all.y1;
        int64_t w = all.x2 - all.x1 + 1, h = all.y2 - all.y1 + 1;
        uint64_t area = static_cast<uint64_t>(w) * static_cast<uint64_t>(h);
        cell = std::max<int64_t>(1, static_cast<int64_t>(model::isqrt64(area / n)));
        int64_t limit = 4 * static_cast<int64_t>(n) + 64;
        while (true) {
            nx = w / cell + 1;
            ny = h / cell + 1;
            if (nx * ny <= limit) {
                break;
            }
            cell *= 2;
        }
        std::vector<uint32_t> count(static_cast<size_t>(nx * ny) + 1, 0);
        for (const Entry& e : entries) {
            if (e.gridded && !cells_of(e, [&](uint64_t c) { ++count[c + 1]; })) {
                big.push_back(static_cast<uint32_t>(&e - entries.data()));
            }
        }
        for (size_t i = 1; i < count.size(); ++i) {
            count[i] += count[i - 1];
        }
        start = count;
        items.assign(count.back(), 0);
        for (const Entry& e : entries) {
            if (e.gridded) {
                uint32_t id = static_cast<uint32_t>(&e - entries.data());
                cells_of(e, [&](uint64_t c) { items[count[c]++] = id; });
            }
        }
        stamp.assign(entries.size(), 0);
    }

    void place_late(uint32_t id) {
        const Entry& e = entries[id];
        if (!e.gridded) {
            return;
        }
        if (late_head.empty()) {
            late_head.assign(static_cast<size_t>(nx * ny), kNoEntry);
        }
        if (!cells_of(e, [&](uint64_t c) {
                late.emplace_back(id, late_head[c]);
                late_head[c] = static_cast<uint32_t>(late.size() - 1);
            })) {
            big.push_back(id);
        }
    }

    // The live entries kept in the cells `q` meets, ascending (walk order), each once, into `out`.
    void candidates(const Box& q, std::vector<uint32_t>& out) const {
        out.clear();
        if (stamp.size() < entries.size()) {
            stamp.resize(entries.size(), 0);
        }
        if (++stamp_now == 0) {
            std::fill(stamp.begin(), stamp.end(), 0);
            stamp_now = 1;
        }
        auto take = [&](uint32_t id) {
            if (stamp[id] != stamp_now) {
                stamp[id] = stamp_now;
                const Entry& e = entries[id];
                if (!e.dead && e.x1 <= q.x2 && e.x2 >= q.x1 && e.y1 <= q.y2 && e.y2 >= q.y1) {
                    out.push_back(id);
                }
            }
        };
        int64_t cx1 = col(q.x1), cx2 = col(q.x2), cy1 = row(q.y1), cy2 = row(q.y2);
        for (int64_t cy = cy1; cy <= cy2; ++cy) {
            for (int64_t cx = cx1; cx <= cx2; ++cx) {
                uint64_t c = static_cast<uint64_t>(cy * nx + cx);
                for (uint32_t i = start[c]; i < start[c + 1]; ++i) {
                    take(items[i]);
                }
                if (!late_head.empty()) {
                    for (uint32_t l = late_head[c]; l != kNoEntry; l = late[l].second) {
                        take(late[l].first);
                    }
                }
            }
        }
        for (uint32_t id : big) {
            take(id);
        }
        std::sort(out.begin(), out.end());
    }

    // Calls f(entry) for each candidate; the buffer is reused unless f itself asks the index again.
    template <class F> void each_candidate(const Box& q, F&& f) const {
        if (scratch_busy) {
            std::vector<uint32_t> own;
            candidates(q, own);
            for (uint32_t id : own) {
                f(id);
            }
            return;
        }
        scratch_busy = true;
        candidates(q, scratch);
        for (uint32_t id : scratch) {
            f(id);
        }
        scratch_busy = false;
    }

    // Not Hidden, and no Hidden Component above it.
    bool visible(uint32_t id) const {
        for (uint32_t e = id; e != kNoEntry; e = entries[e].parent) {
            if (node(entries[e].ref).hidden()) {
                return false;
            }
        }
        return true;
    }
};

NetIndex::NetIndex(const model::Document& doc) : impl_(std::make_shared<Impl>()) {
    impl_->build(doc);
}

void NetIndex::visit(int64_t x1, int64_t y1, int64_t x2, int64_t y2, const std::function<void(Ref)>& f) const {
    impl_->each_candidate(Box{x1, y1, x2, y2}, [&](uint32_t id) { f(impl_->entries[id].ref); });
}

void NetIndex::visit_reach(const Box& q, const std::function<void(Ref)>& f) const {
    const Impl& m = *impl_;
    m.each_candidate(q, [&](uint32_t id) {
        const Impl::Entry& e = m.entries[id];
        if (node(e.ref).hidden()) {
            return;
        }
        bool enter = true;
        for (uint32_t p = e.parent; p != kNoEntry && enter; p = m.entries[p].parent) {
            const Impl::Entry& o = m.entries[p];
            enter = !node(o.ref).hidden() && o.x1 <= q.x2 && o.x2 >= q.x1 && o.y1 <= q.y2 && o.y2 >= q.y1;
        }
        if (enter) {
            f(e.ref);
        }
    });
}

void NetIndex::pads_of(Ref signal, const std::function<void(Ref)>& f) const {
    auto it = impl_->pads.find(signal);
    if (it == impl_->pads.end()) {
        return;
    }
    const std::vector<uint32_t>& ids = it->second;
    for (size_t i = 0; i < ids.size(); ++i) {
        const Impl::Entry& e = impl_->entries[ids[i]];
        if (!e.dead && model::item_signal(e.ref) == signal) {
            f(e.ref);
        }
    }
}

uint32_t NetIndex::place(Ref item) const {
    return impl_->entry_of(item);
}

bool NetIndex::visible(Ref item) const {
    uint32_t id = impl_->entry_of(item);
    return id != kNoEntry && impl_->visible(id);
}

bool NetIndex::current(const model::Document& doc) const {
    return impl_->doc == &doc && impl_->ring == doc.ring() && impl_->serial == edit::change_serial(doc);
}

void NetIndex::appended(Ref item) {
    impl_->place_late(impl_->add_entry(item, kNoEntry));
}

void NetIndex::removed(Ref item) {
    Impl& m = *impl_;
    uint32_t id = m.entry_of(item);
    if (id == kNoEntry) {
        return;
    }
    m.entries[id].dead = true;
    m.slot[item] = kNoEntry;
}

void NetIndex::signal_changed(Ref pad, Ref old_signal) {
    Impl& m = *impl_;
    uint32_t id = m.entry_of(pad);
    if (id == kNoEntry) {
        return;
    }
    if (old_signal != model::kNone) {
        auto it = m.pads.find(old_signal);
        if (it != m.pads.end()) {
            auto at = std::lower_bound(it->second.begin(), it->second.end(), id);
            if (at != it->second.end() && *at == id) {
                it->second.erase(at);
            }
        }
    }
    Ref now = model::item_signal(pad);
    if (now != model::kNone) {
        std::vector<uint32_t>& list = m.pads[now];
        auto at = std::lower_bound(list.begin(), list.end(), id);
        if (at == list.end() || *at != id) {
            list.insert(at, id);
        }
    }
}

void NetIndex::adopt(const model::Document& doc) {
    // Only the one record just written: any other change since means the index no longer holds.
    if (impl_->doc == &doc && impl_->serial + 1 == edit::change_serial(doc)) {
        ++impl_->serial;
    } else {
        impl_->doc = nullptr;
    }
}

NetIndex& net_index(NetState& s) {
    if (!s.index || !s.index->current(*s.doc)) {
        s.index = std::make_shared<NetIndex>(*s.doc);
    }
    return *s.index;
}

void index_appended(NetState& s, Ref item) {
    if (s.index) {
        s.index->appended(item);
        s.index->adopt(*s.doc);
    }
}

void index_removed(NetState& s, Ref item) {
    if (s.index) {
        s.index->removed(item);
        s.index->adopt(*s.doc);
    }
}

// --- The trace ----------------------------------------------------------------------------------------

namespace {

// The Document's clearances count as 0 while a trace runs.
class ClearancesOff {
  public:
    explicit ClearancesOff(model::Setup& s) : s_(s), kept_(clearances_of(s)) {
        s_.clear_line_line = s_.clear_line_pad = s_.clear_pad_pad = 0;
    }
    ~ClearancesOff() {
        s_.clear_line_line = kept_.line_line;
        s_.clear_line_pad = kept_.line_pad;
        s_.clear_pad_pad = kept_.pad_pad;
    }
    ClearancesOff(const ClearancesOff&) = delete;
    ClearancesOff& operator=(const ClearancesOff&) = delete;

  private:
    model::Setup& s_;
    Clearances kept_;
};

Point end1(const Node& l) {
    return Point{l.line.x1, l.line.y1};
}
Point end2(const Node& l) {
    return Point{l.line.x2, l.line.y2};
}
Point centre(const Node& n) {
    return Point{n.pad.x0, n.pad.y0};
}
uint64_t half(int64_t v) {
    return static_cast<uint64_t>(v / 2);
}
uint64_t half_smaller(const Node& pad) {
    return std::min(pad.pad.width, pad.pad.height) / 2;
}
bool on_track(const Node& track, uint64_t reach, Point p) {
    return model::hit_track(track, reach, p) != model::TrackHit::None;
}
bool in_pad(const Node& pad, uint64_t grow, Point p) {
    return model::hit_pad(pad, grow, p, edit::turn_of);
}
bool on_arc(const Node& arc, uint64_t grow, Point p) {
    return model::hit_arc_stroke(arc, grow, p, edit::turn_of);
}

class Tracer {
  public:
    explicit Tracer(NetState& s) : s_(s), doc_(*s.doc) {
        const model::Setup& st = doc_.setup;
        for (size_t i = 0; i < 256; ++i) {
            kind_[i] = st.layers[i].kind();
            conductive_[i] = conductive_layer(st, static_cast<int>(i));
        }
        if (!s.plain) {
            index_ = &net_index(s);
        }
    }

    void seed(int layer, Coord reach, Point p) {
        uint64_t t = static_cast<uint64_t>(std::max<Coord>(reach, 0) / 2);
        Box q{p.x, p.y, p.x, p.y};
        q.grow(static_cast<int64_t>(t) + kSlack);
        auto on_layer = [&](const Node& n) { return layer != 0 ? n.layer == layer : conductive_[n.layer]; };
        candidates(q, [&](Ref r) {
            const Node& n = node(r);
            if (n.marked()) {
                return;
            }
            bool hit = false;
            switch (n.item_kind()) {
            case model::kLine:
                hit = on_layer(n) && (n.size != 0 ? on_track(n, half(n.size) + t, p) : model::point_in_solid(r, p, t));
                break;
            case model::kArc:
                hit = on_layer(n) && on_arc(n, t, p);
                break;
            case model::kPad:
                hit = (layer == 0 || !smt_pad(n) || n.layer == layer) && in_pad(n, t, p);
                break;
            default:
                break;
            }
            if (hit) {
                enqueue(r);
            }
        });
    }

    // The pad a trace goes on from is reached even when the point seeding missed it (a Component box
    // that no longer holds its member): the callers trace on until every pad is marked.
    void seed_pad(Ref pad) {
        if (pad != model::kNone && !node(pad).marked() && !node(pad).hidden()) {
            enqueue(pad);
        }
    }

    bool seeded() const {
        return !queue_.empty();
    }

    TraceResult spread() {
        long count = 0;
        while (head_ < queue_.size()) {
            Ref r = queue_[head_++];
            ++count;
            if (count % 128 == 0 && s_.every_128 && !s_.every_128("SCAN:", count)) {
                return TraceResult::Interrupted;
            }
            const Node& n = node(r);
            switch (n.item_kind()) {
            case model::kLine:
                if (n.size != 0) {
                    from_track(r);
                } else {
                    from_solid(r);
                }
                break;
            case model::kArc:
                from_arc(r);
                break;
            case model::kPad:
                examine_pad(r);
                from_pad(r);
                break;
            default:
                break; // a signal label joins what touches it but reaches nothing itself
            }
        }
        return TraceResult::Done;
    }

  private:
    // The candidates near q in walk order: from the index, or by walking the whole Document (entering
    // only the visible Components whose box meets q).  The same Items either way.
    template <class F> void candidates(const Box& q, F&& f) {
        if (index_ != nullptr) {
            index_->visit_reach(q, f);
            return;
        }
        model::walk_tree(doc_.ring(), [&](Ref r, int) -> bool {
            const Node& n = node(r);
            if (n.hidden()) {
                return false;
            }
            Box b;
            if (!model::hit_extent(n, b) || !b.meets(q)) {
                return false;
            }
            if (!is_owner(n)) {
                f(r);
            }
            return true;
        });
    }

    // Added to the queue once: marked, drawn, and the first Signal of anything but a Line is the net's.
    void enqueue(Ref r) {
        mark_item(s_, r);
        queue_.push_back(r);
        if (s_.current_signal == model::kNone && node(r).item_kind() != model::kLine) {
            Ref sig = model::item_signal(r);
            if (sig != model::kNone) {
                set_current_signal(s_, sig);
            }
        }
    }

    void examine_pad(Ref r) {
        const Node& n = node(r);
        Ref sig = model::item_signal(r);
        if (s_.current_signal == model::kNone) {
            if (sig != model::kNone) {
                set_current_signal(s_, sig);
            }
        } else if (sig != model::kNone && sig != s_.current_signal) {
            s_.crosslink_pad = r;
        }
        int shape = shape_code(n);
        if (sig == model::kNone && (shape == 1 || shape == 2) && n.pad.pin != 0) {
            s_.unsignaled_pad = r;
        }
    }

    static Box reach_box(const Node& n) {
        Box b;
        model::hit_extent(n, b);
        b.grow(kSlack);
        return b;
    }

    // A target Line (or Arc) of a track, Solid or Arc on layer L.
    bool line_layer_ok(int L, int target) const {
        return target == L || target == 0 || (L == 0 && conductive_[target]);
    }

    void from_track(Ref src) {
        const Node& t = node(src);
        int L = t.layer;
        uint64_t w2 = half(t.size), w4 = static_cast<uint64_t>(t.size / 4);
        bool copper = kind_[L] == model::kLayerCopper;
        Point a = end1(t), b = end2(t);
        candidates(reach_box(t), [&](Ref r) {
            const Node& n = node(r);
            if (n.marked()) {
                return;
            }
            bool hit = false;
            switch (n.item_kind()) {
            case model::kLine:
                if (!line_layer_ok(L, n.layer)) {
                    break;
                }
                if (n.size == 0) {
                    hit = model::point_in_solid(r, a, w2) || model::point_in_solid(r, b, w2);
                } else {
                    uint64_t reach = w2 + half(n.size);
                    hit = on_track(n, reach, a) || on_track(n, reach, b) || on_track(t, reach, end1(n)) ||
                          on_track(t, reach, end2(n)) || (copper && cross_properly(a, b, end1(n), end2(n)));
                }
                break;
            case model::kArc:
                hit = line_layer_ok(L, n.layer) && (on_arc(n, w4, a) || on_arc(n, w4, b));
                break;
            case model::kText:
                hit = (n.layer == L || L == 0) && model::is_signal_record(n.link) &&
                      on_track(t, w2 + 2, Point{n.text.x0, n.text.y0});
                break;
            case model::kPad:
                hit = (!smt_pad(n) || n.layer == L) &&
                      (in_pad(n, w4, a) || in_pad(n, w4, b) || on_track(t, w2 + half_smaller(n), centre(n)));
                break;
            default:
                break;
            }
            if (hit) {
                enqueue(r);
            }
        });
    }

    void from_solid(Ref src) {
        const Node& s = node(src);
        int L = s.layer;
        candidates(reach_box(s), [&](Ref r) {
            const Node& n = node(r);
            if (n.marked()) {
                return;
            }
            bool hit = false;
            if (n.item_kind() == model::kLine && line_layer_ok(L, n.layer)) {
                if (n.size != 0) {
                    hit = model::point_in_solid(src, end1(n), half(n.size)) ||
                          model::point_in_solid(src, end2(n), half(n.size));
                } else {
                    for (Ref v = n.link; v != model::kNone && !hit; v = node(v).link) {
                        hit = model::point_in_solid(src, end1(node(v)), 0);
                    }
                }
            } else if (n.item_kind() == model::kPad && (!smt_pad(n) || n.layer == L)) {
                hit = model::point_in_solid(src, centre(n), half_smaller(n));
            }
            if (hit) {
                enqueue(r);
            }
        });
    }

    void from_arc(Ref src) {
        const Node& arc = node(src);
        int L = arc.layer;
        candidates(reach_box(arc), [&](Ref r) {
            const Node& n = node(r);
            if (!n.marked() && n.item_kind() == model::kLine && n.size != 0 && line_layer_ok(L, n.layer) &&
                (on_arc(arc, half(n.size), end1(n)) || on_arc(arc, half(n.size), end2(n)))) {
                enqueue(r);
            }
        });
    }

    void from_pad(Ref src) {
        const Node& p = node(src);
        int L = p.layer;
        bool smt = smt_pad(p);
        Ref sig = model::item_signal(src);
        // Pads joined through a plane or a schematic's signal layer by their Signal alone.
        if (!smt && sig != model::kNone && (kind_[L] == model::kLayerPlane || kind_[L] == model::kLayerSchematic)) {
            auto same = [&](Ref r) {
                const Node& n = node(r);
                if (n.item_kind() == model::kPad && !n.marked() && !n.hidden() && !smt_pad(n) && n.layer == L &&
                    model::item_signal(r) == sig) {
                    enqueue(r);
                }
            };
            if (index_ != nullptr) {
                index_->pads_of(sig, [&](Ref r) {
                    if (index_->visible(r)) {
                        same(r);
                    }
                });
            } else {
                model::walk_tree(doc_.ring(), [&](Ref r, int) -> bool {
                    if (node(r).hidden()) {
                        return false;
                    }
                    same(r);
                    return true;
                });
            }
        }
        uint64_t s = half_smaller(p);
        Point c = centre(p);
        auto layer_ok = [&](const Node& n) {
            if (n.item_kind() == model::kPad) {
                return smt ? (!smt_pad(n) || n.layer == L) : (!smt_pad(n) || conductive_[n.layer]);
            }
            if (smt) {
                return n.layer == L || (n.item_kind() == model::kLine && n.size != 0 && n.layer == 0);
            }
            return conductive_[n.layer];
        };
        candidates(reach_box(p), [&](Ref r) {
            const Node& n = node(r);
            if (n.marked() || !layer_ok(n)) {
                return;
            }
            bool hit = false;
            switch (n.item_kind()) {
            case model::kLine:
                hit = n.size != 0 ? on_track(n, half(n.size) + s, c) : model::point_in_solid(r, c, s);
                break;
            case model::kArc:
                hit = on_arc(n, s, c);
                break;
            case model::kPad:
                hit = in_pad(n, s, c);
                break;
            default:
                break;
            }
            if (hit) {
                enqueue(r);
            }
        });
    }

    NetState& s_;
    const model::Document& doc_;
    const NetIndex* index_ = nullptr;
    std::array<uint8_t, 256> kind_{};
    std::array<bool, 256> conductive_{};
    // Each Item enters once (it is marked as it enters), so the queue holds at most every Item: it grows
    // as it must and never drops one.
    std::vector<Ref> queue_;
    size_t head_ = 0;
};

TraceResult run(NetState& s, int layer, Coord reach, Point p, Ref pad = model::kNone) {
    ClearancesOff off(s.doc->setup);
    s.crosslink_pad = s.unsignaled_pad = model::kNone;
    Tracer t(s);
    t.seed(layer, reach, p);
    t.seed_pad(pad);
    if (!t.seeded()) {
        return TraceResult::Nothing;
    }
    return t.spread();
}

} // namespace

TraceResult trace_from_point(NetState& s, int layer, Coord reach, Point p) {
    set_current_signal(s, model::kNone);
    return run(s, layer, reach, p);
}

TraceResult trace_from_pad(NetState& s, Ref pad) {
    const Node& n = node(pad);
    int layer = smt_pad(n) ? n.layer : 0;
    Coord reach = std::min(n.pad.width, n.pad.height);
    return run(s, layer, reach, centre(n), pad);
}

} // namespace trazel::nets
