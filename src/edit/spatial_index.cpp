#include "edit/spatial_index.h"

#include <algorithm>
#include <cmath>

#include "model/hit_test.h"

namespace trazel::edit {

using model::Node;
using model::node;

namespace {

constexpr int64_t kOrderStep = 1 << 16; // room for Items appended later in front of the first one
constexpr int64_t kMaxCellsPerItem = 64; // Items over more cells go on the always-candidates list
constexpr int kMaxCells = 1 << 22;

// The anchor's change count lives in a word the undo stacks do not use.
uint32_t serial_of(Ref anchor) {
    return anchor == model::kNone ? 0 : node(anchor).line.spare;
}

} // namespace

uint32_t change_serial(const model::Document& doc) {
    return serial_of(doc.undo_anchor);
}

void items_changed(model::Document& doc) {
    if (doc.undo_anchor == model::kNone) {
        doc.undo_anchor = model::AllocNode();
    }
    if (doc.undo_anchor != model::kNone) {
        ++node(doc.undo_anchor).line.spare;
    }
}

bool SpatialIndex::covers(const model::Document& doc) const {
    return valid_ && doc_ == &doc && ring_ == doc.ring() && anchor_ == doc.undo_anchor &&
           serial_ == change_serial(doc);
}

void SpatialIndex::sync(const model::Document& doc) {
    if (!covers(doc)) {
        build(doc);
    }
}

void SpatialIndex::reset() {
    *this = SpatialIndex{};
}

void SpatialIndex::adopt(const model::Document& doc) {
    if (valid_ && doc_ == &doc && ring_ == doc.ring()) {
        anchor_ = doc.undo_anchor;
        serial_ = change_serial(doc);
    }
}

uint32_t SpatialIndex::entry_of(Ref r) const {
    return r < slot_.size() ? slot_[r] : kNoEntry;
}

int64_t SpatialIndex::order(Ref item) const {
    uint32_t e = entry_of(item);
    return e == kNoEntry ? 0 : entries_[e].order;
}

int64_t SpatialIndex::parent_order(Ref item) const {
    uint32_t e = entry_of(item);
    if (e == kNoEntry || entries_[e].parent == kNoEntry) {
        return 0;
    }
    return entries_[entries_[e].parent].order;
}

bool SpatialIndex::visible(uint32_t e) const {
    for (uint32_t i = e; i != kNoEntry; i = entries_[i].parent) {
        if (entries_[i].dead || node(entries_[i].ref).hidden()) {
            return false;
        }
    }
    return true;
}

uint32_t SpatialIndex::add(Ref r, uint32_t parent, int64_t order, uint8_t depth) {
    model::Box x;
    if (!model::hit_extent(node(r), x)) {
        return kNoEntry;
    }
    auto clamp = [](int64_t v) { return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); };
    uint32_t e = static_cast<uint32_t>(entries_.size());
    entries_.push_back(Entry{r, parent, order, clamp(x.x1), clamp(x.y1), clamp(x.x2), clamp(x.y2), depth, false});
    if (r >= slot_.size()) {
        slot_.resize(std::max<size_t>(r + 1, slot_.size() * 2), kNoEntry);
    }
    slot_[r] = e;
    ++live_;
    return e;
}

void SpatialIndex::cell_range(int64_t x1, int64_t y1, int64_t x2, int64_t y2, int& cx1, int& cy1, int& cx2,
                              int& cy2) const {
    auto cx = [&](int64_t v) { return static_cast<int>(std::clamp<int64_t>((v - ox_) / cell_, 0, nx_ - 1)); };
    auto cy = [&](int64_t v) { return static_cast<int>(std::clamp<int64_t>((v - oy_) / cell_, 0, ny_ - 1)); };
    // Below the origin the division rounds towards zero, which only widens the range at the edge.
    cx1 = cx(x1), cx2 = cx(x2), cy1 = cy(y1), cy2 = cy(y2);
}

void SpatialIndex::place(uint32_t e) {
    const Entry& en = entries_[e];
    int cx1, cy1, cx2, cy2;
    cell_range(en.x1, en.y1, en.x2, en.y2, cx1, cy1, cx2, cy2);
    if (int64_t{cx2 - cx1 + 1} * (cy2 - cy1 + 1) > kMaxCellsPerItem) {
        big_.push_back(e);
        return;
    }
    for (int y = cy1; y <= cy2; ++y) {
        for (int x = cx1; x <= cx2; ++x) {
            extra_[static_cast<uint32_t>(y * nx_ + x)].push_back(e);
        }
    }
}

void SpatialIndex::build(const model::Document& doc) {
    reset();
    doc_ = &doc;
    ring_ = doc.ring();
    anchor_ = doc.undo_anchor;
    serial_ = change_serial(doc);
    valid_ = true;

    // The backward walk of the locators, Hidden Items and their members included.
    struct Frame {
        Ref head, component;
        uint32_t parent;
    };
    std::vector<Frame> stack;
    int64_t order = 0;
    uint32_t parent = kNoEntry;
    Ref head = ring_;
    Ref r = node(head).prev;
    while (true) {
        if (r == head || node(r).item_kind() == model::kHead) {
            if (stack.empty()) {
                break;
            }
            head = stack.back().head;
            r = node(stack.back().component).prev;
            parent = stack.back().parent;
            stack.pop_back();
            continue;
        }
        const Node& n = node(r);
        order += kOrderStep;
        uint32_t e = add(r, parent, order, static_cast<uint8_t>(std::min<size_t>(stack.size(), 255)));
        if (n.item_kind() == model::kComponent && n.link != model::kNone && e != kNoEntry &&
            stack.size() < static_cast<size_t>(kMaxWalkDepth)) {
            stack.push_back(Frame{head, r, parent});
            parent = e;
            head = n.link;
            r = node(head).prev;
            continue;
        }
        r = n.prev;
    }
    first_order_ = 0;

    // The grid over the middle of the Items (a few far outliers go to the edge cells).
    if (entries_.empty()) {
        return;
    }
    std::vector<int64_t> xs, ys;
    xs.reserve(entries_.size());
    ys.reserve(entries_.size());
    for (const Entry& en : entries_) {
        xs.push_back((int64_t{en.x1} + en.x2) / 2);
        ys.push_back((int64_t{en.y1} + en.y2) / 2);
    }
    auto span = [](std::vector<int64_t>& v, int64_t& lo, int64_t& hi) {
        size_t k = v.size() / 1000;
        std::nth_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(k), v.end());
        lo = v[k];
        std::nth_element(v.begin(), v.end() - 1 - static_cast<std::ptrdiff_t>(k), v.end());
        hi = v[v.size() - 1 - k];
    };
    int64_t x_lo, x_hi, y_lo, y_hi;
    span(xs, x_lo, x_hi);
    span(ys, y_lo, y_hi);
    double w = static_cast<double>(x_hi - x_lo + 1), h = static_cast<double>(y_hi - y_lo + 1);
    double cells = std::clamp<double>(static_cast<double>(entries_.size()) / 2, 1, kMaxCells);
    cell_ = std::max<int64_t>(1024, static_cast<int64_t>(std::sqrt(w * h / cells)) + 1);
    ox_ = x_lo;
    oy_ = y_lo;
    nx_ = static_cast<int>(std::clamp<int64_t>((x_hi - x_lo) / cell_ + 1, 1, kMaxCells));
    ny_ = static_cast<int>(std::clamp<int64_t>((y_hi - y_lo) / cell_ + 1, 1, kMaxCells / nx_));

    // Count, then fill, so the cells are one array.
    size_t ncells = static_cast<size_t>(nx_) * static_cast<size_t>(ny_);
    start_.assign(ncells + 1, 0);
    std::vector<uint8_t> is_big(entries_.size(), 0);
    for (uint32_t e = 0; e < entries_.size(); ++e) {
        const Entry& en = entries_[e];
        int cx1, cy1, cx2, cy2;
        cell_range(en.x1, en.y1, en.x2, en.y2, cx1, cy1, cx2, cy2);
        if (int64_t{cx2 - cx1 + 1} * (cy2 - cy1 + 1) > kMaxCellsPerItem) {
            is_big[e] = 1;
            big_.push_back(e);
            continue;
        }
        for (int y = cy1; y <= cy2; ++y) {
            for (int x = cx1; x <= cx2; ++x) {
                ++start_[static_cast<size_t>(y) * static_cast<size_t>(nx_) + static_cast<size_t>(x) + 1];
            }
        }
    }
    for (size_t i = 1; i <= ncells; ++i) {
        start_[i] += start_[i - 1];
    }
    items_.assign(start_[ncells], 0);
    std::vector<uint32_t> fill(start_.begin(), start_.end() - 1);
    for (uint32_t e = 0; e < entries_.size(); ++e) {
        if (is_big[e]) {
            continue;
        }
        const Entry& en = entries_[e];
        int cx1, cy1, cx2, cy2;
        cell_range(en.x1, en.y1, en.x2, en.y2, cx1, cy1, cx2, cy2);
        for (int y = cy1; y <= cy2; ++y) {
            for (int x = cx1; x <= cx2; ++x) {
                items_[fill[static_cast<size_t>(y) * static_cast<size_t>(nx_) + static_cast<size_t>(x)]++] = e;
            }
        }
    }
}

std::vector<uint32_t> SpatialIndex::candidates(const Rect64& q) const {
    std::vector<uint32_t> out;
    if (entries_.empty() || q.x1 > q.x2 || q.y1 > q.y2) {
        return out;
    }
    auto meets = [&](uint32_t e) {
        const Entry& en = entries_[e];
        return !en.dead && en.x1 <= q.x2 && en.x2 >= q.x1 && en.y1 <= q.y2 && en.y2 >= q.y1;
    };
    int cx1, cy1, cx2, cy2;
    cell_range(q.x1, q.y1, q.x2, q.y2, cx1, cy1, cx2, cy2);
    for (int y = cy1; y <= cy2; ++y) {
        for (int x = cx1; x <= cx2; ++x) {
            size_t c = static_cast<size_t>(y) * static_cast<size_t>(nx_) + static_cast<size_t>(x);
            if (!start_.empty()) {
                for (uint32_t i = start_[c]; i < start_[c + 1]; ++i) {
                    if (meets(items_[i])) {
                        out.push_back(items_[i]);
                    }
                }
            }
            if (!extra_.empty()) {
                auto it = extra_.find(static_cast<uint32_t>(c));
                if (it != extra_.end()) {
                    for (uint32_t e : it->second) {
                        if (meets(e)) {
                            out.push_back(e);
                        }
                    }
                }
            }
        }
    }
    for (uint32_t e : big_) {
        if (meets(e)) {
            out.push_back(e);
        }
    }
    std::sort(out.begin(), out.end(), [&](uint32_t a, uint32_t b) {
        return entries_[a].order != entries_[b].order ? entries_[a].order < entries_[b].order : a < b;
    });
    out.erase(std::unique(out.begin(), out.end()), out.end());
    return out;
}

void SpatialIndex::moved(Ref item) {
    uint32_t e = entry_of(item);
    if (!valid_ || e == kNoEntry || entries_[e].dead) {
        return;
    }
    // The old entry goes; a new one with the same place in the walk takes the new box.  Members keep
    // pointing at the entry they were made with, which is why the old one stays as it was otherwise.
    Entry old = entries_[e];
    model::Box x;
    if (!model::hit_extent(node(item), x)) {
        return;
    }
    auto clamp = [](int64_t v) { return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); };
    Entry& en = entries_[e];
    if (en.x1 <= x.x1 && en.y1 <= x.y1 && en.x2 >= x.x2 && en.y2 >= x.y2) {
        return; // still inside the box it was placed with
    }
    if (node(item).item_kind() == model::kComponent) {
        // Members name this entry as their parent: widen it in place and place it again.
        en.x1 = std::min(en.x1, clamp(x.x1));
        en.y1 = std::min(en.y1, clamp(x.y1));
        en.x2 = std::max(en.x2, clamp(x.x2));
        en.y2 = std::max(en.y2, clamp(x.y2));
        place(e);
        return;
    }
    en.dead = true;
    uint32_t n = static_cast<uint32_t>(entries_.size());
    entries_.push_back(Entry{item, old.parent, old.order, clamp(x.x1), clamp(x.y1), clamp(x.x2), clamp(x.y2),
                             old.depth, false});
    slot_[item] = n;
    place(n);
}

void SpatialIndex::appended(Ref item) {
    if (!valid_ || entry_of(item) != kNoEntry) {
        return;
    }
    first_order_ -= kOrderStep; // the newest top-level Item comes first walking back
    uint32_t e = add(item, kNoEntry, first_order_, 0);
    if (e != kNoEntry) {
        place(e);
    }
}

void SpatialIndex::removed(Ref item) {
    uint32_t e = entry_of(item);
    if (!valid_ || e == kNoEntry) {
        return;
    }
    entries_[e].dead = true;
    slot_[item] = kNoEntry;
    --live_;
    if (node(item).item_kind() == model::kComponent && node(item).link != model::kNone) {
        model::walk_tree(node(item).link, [&](Ref m, int) { removed(m); });
    }
}

} // namespace trazel::edit
