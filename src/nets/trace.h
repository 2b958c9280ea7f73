#pragma once
// The net trace: from a point or an Item, spread over touching copper (Lines, Arcs, Pads, Solids and
// signal labels) by geometry alone, marking everything reached.  Two methods give the same marks in the
// same order: the plain one tests each queued Item against the whole Document; the indexed one takes
// candidates from a grid over the Items' reach boxes, visited in walk order.
#include "nets/net_state.h"

namespace trazel::nets {

// Candidates near a box in the Document's walk order (top level and Component members).
class NetIndex {
  public:
    explicit NetIndex(const model::Document& doc);
    // Calls f(item) for every Item whose reach box meets [x1,x2] x [y1,y2], in walk order.  The reach box
    // is `model::hit_extent`, except that a long track counts only near its stroke (its box grown by the
    // query would take every long diagonal everywhere); Components themselves are not visited, Hidden
    // Items are (the caller judges).
    void visit(int64_t x1, int64_t y1, int64_t x2, int64_t y2, const std::function<void(Ref)>& f) const;
    // The trace's candidates near `q`: as `visit`, without Hidden Items, and a Component member only when
    // every Component above it is visible and its box meets `q` (what the plain walk enters).
    void visit_reach(const model::Box& q, const std::function<void(Ref)>& f) const;
    // Calls f(pad) for every Pad carrying `signal`, in walk order (f changes no Signal).
    void pads_of(Ref signal, const std::function<void(Ref)>& f) const;
    // An Item's place in the walk (top level and members); UINT32_MAX when the index does not hold it.
    uint32_t place(Ref item) const;
    // Not Hidden, inside no Hidden Component.
    bool visible(Ref item) const;

    // Whether the index still describes `doc` (no recorded change since it was built or last adopted).
    bool current(const model::Document& doc) const;
    // Changes made while the index is in use, each followed by `adopt` once its one undo record is
    // written (any other change since leaves the index stale, to be built again): an Item appended to the
    // end of the Document's ring, an Item that left it.
    void appended(Ref item);
    void removed(Ref item);
    void adopt(const model::Document& doc);
    // A Pad whose Signal changed (from `old_signal`) without an undo record.
    void signal_changed(Ref pad, Ref old_signal);

  private:
    struct Impl;
    std::shared_ptr<Impl> impl_;
};

// The state's index, built (or built again when the Document changed behind it) on first use.
NetIndex& net_index(NetState& s);
// Keep a state's index (when it has one) in step with a change recorded for undo, called right after
// the record: an Item appended to the Document's ring, an Item deleted.  Signal changes made without
// records (PropagateSignal keeps the index itself) need `s.index.reset()` instead.
void index_appended(NetState& s, Ref item);
void index_removed(NetState& s, Ref item);

enum class TraceResult : int { Interrupted = -1, Nothing = 0, Done = 1 };

// `TraceFromPoint` (layer, reach, x, y): resets the current Signal, the crosslink and unsignaled pads
// (not the marks), seeds from every Item within reach/2 of the point under the trace's layer rule, then
// spreads.  The clearances count as 0 while it runs.
TraceResult trace_from_point(NetState& s, int layer, Coord reach, Point p);
// The same seeded from one Pad (its layer for a surface-mount pad, else 0; reach the pad's smaller size):
// how the logged scan and the Net scan go on from an unreached Pad.  Keeps the current Signal (resets the
// crosslink and unsignaled pads); the Pad itself is always reached when it is visible and unmarked.
// Each 128 Items taken call `every_128("SCAN:", count)`.
TraceResult trace_from_pad(NetState& s, Ref pad);

} // namespace trazel::nets
