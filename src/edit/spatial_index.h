#pragma once
// A grid over the Items of one Document so that a click looks only at the Items near it.  The index
// keeps every Item (Hidden ones too, members of Components included) with the box that any of its hit
// tests can accept and its place in the locators' walking order, so that visiting the candidates near a
// point in that order gives exactly the answers of the plain ring walk.
//
// The index follows the Document through the undo records' change count: every recorded change (and
// `items_changed`) makes it stale, and the next use builds it again.  The grab keeps it up to date itself
// for what it moves, creates and deletes, so the click after a drop does not wait for a rebuild.
#include <cstdint>
#include <unordered_map>
#include <vector>

#include "model/model.h"

namespace trazel::edit {

using model::Ref;

// A box in coordinate units, corners included.
struct Rect64 {
    int64_t x1 = 0, y1 = 0, x2 = -1, y2 = -1;
};

class SpatialIndex {
  public:
    // Brings the index up to date with `doc` (a rebuild when it changed behind the index's back).
    void sync(const model::Document& doc);
    // Forgets everything (the Document is closing).
    void reset();
    bool covers(const model::Document& doc) const;

    // Calls f(item, depth) for the Items whose box meets `q`, in the locators' backward walk order (the
    // newest top-level Item first, each Component followed by its members), skipping Hidden Items and
    // everything inside a Hidden Component, and members deeper than the walk goes.  f returns true to stop;
    // visit_back then returns true.
    template <class F> bool visit_back(const Rect64& q, F&& f) const {
        std::vector<uint32_t> c = candidates(q);
        for (uint32_t e : c) {
            const Entry& en = entries_[e];
            if (!visible(e) || en.depth > kMaxWalkDepth) {
                continue;
            }
            if (f(en.ref, static_cast<int>(en.depth))) {
                return true;
            }
        }
        return false;
    }
    // The same in the forward order of a plain tree walk (for Items other than Components), Hidden
    // Items included: the caller judges them.
    template <class F> void visit_forward(const Rect64& q, F&& f) const {
        std::vector<uint32_t> c = candidates(q);
        for (size_t i = c.size(); i-- > 0;) {
            const Entry& en = entries_[c[i]];
            f(en.ref, static_cast<int>(en.depth));
        }
    }
    // The walk-order key of the Component that owns an indexed member (0 for a top-level Item), so the
    // Text locator can go Component by Component; and an Item's own key.
    int64_t parent_order(Ref item) const;
    int64_t order(Ref item) const;

    // What the grab changed: an Item moved or resized (its box again), a top-level Item just appended to
    // the end of the Document's ring, an Item about to leave the Document.  Each keeps the index in step
    // with the Document; `adopt` then accepts the records written meanwhile as known.
    void moved(Ref item);
    void appended(Ref item);
    void removed(Ref item);
    void adopt(const model::Document& doc);

    size_t size() const {
        return live_;
    }

    static constexpr int kMaxWalkDepth = 64;

  private:
    struct Entry {
        Ref ref;
        uint32_t parent; // entry of the owning Component, kNoEntry at the top level
        int64_t order;   // ascending in the backward walk
        int32_t x1, y1, x2, y2;
        uint8_t depth;
        bool dead;
    };
    static constexpr uint32_t kNoEntry = 0xFFFFFFFF;

    std::vector<uint32_t> candidates(const Rect64& q) const;
    bool visible(uint32_t e) const;
    void build(const model::Document& doc);
    uint32_t add(Ref r, uint32_t parent, int64_t order, uint8_t depth);
    void place(uint32_t e);
    uint32_t entry_of(Ref r) const;
    void cell_range(int64_t x1, int64_t y1, int64_t x2, int64_t y2, int& cx1, int& cy1, int& cx2, int& cy2) const;

    const model::Document* doc_ = nullptr;
    Ref ring_ = model::kNone;
    Ref anchor_ = model::kNone;
    uint32_t serial_ = 0;
    bool valid_ = false;

    std::vector<Entry> entries_;
    std::vector<uint32_t> slot_; // Ref -> entry, kNoEntry for none
    size_t live_ = 0;
    int64_t first_order_ = 0;

    // The grid: cells of `cell_` units from (ox_, oy_), nx_ by ny_, clamped at the edges; per cell the
    // entries placed at build time and those placed since; Items over many cells are always candidates.
    int64_t ox_ = 0, oy_ = 0, cell_ = 1;
    int nx_ = 1, ny_ = 1;
    std::vector<uint32_t> start_, items_;
    std::unordered_map<uint32_t, std::vector<uint32_t>> extra_;
    std::vector<uint32_t> big_;
};

// The change count the undo records keep per Document: any recorded change raises it.
uint32_t change_serial(const model::Document& doc);
// For a change to Items made without undo records: the indexes of the Document are stale.
void items_changed(model::Document& doc);

} // namespace trazel::edit
