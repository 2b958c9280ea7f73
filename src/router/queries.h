#pragma once
// The router's two geometric questions about a board: how far a track can run from a point along an axis
// on a layer before it comes within clearance of another Signal's copper (the free run), and whether a
// segment of track keeps its clearances (the segment-clear test).  Both judge the same obstacle shapes:
// Lines, Arcs, Solids and copper Texts grown by w/2 + the line to line clearance, Pads grown by w/2 + the
// line to pad clearance.  An index over the obstacles answers the free run as a ray query; the plain walk
// over the whole Document stays behind a flag as its oracle.
#include <cstdint>
#include <memory>

#include "model/model.h"
#include "router/router.h"

namespace trazel::router {

using model::Point;

enum class Axis : uint8_t { PlusX, MinusX, PlusY, MinusY };

constexpr int64_t kNoBlocker = 2147483647;

struct FreeRun {
    int64_t distance = kNoBlocker;
    Ref blocker = model::kNone;
};

class Queries {
  public:
    Queries(model::Document& doc, const RouteSettings& s, bool plain);
    ~Queries();
    Queries(const Queries&) = delete;
    Queries& operator=(const Queries&) = delete;

    bool plain() const {
        return plain_;
    }

    // The free run from `start` along `dir` for a track of width `w` on `layer`; Items of `own` (when
    // not kNone), marked and Hidden ones do not block.  Equal distances go to a Pad before other kinds,
    // then to the lower reference, so the answer does not depend on the order of the walk.
    FreeRun free_run(int layer, Coord w, Point start, Axis dir, Ref own) const;
    FreeRun free_run_plain(int layer, Coord w, Point start, Axis dir, Ref own) const;
    FreeRun free_run_indexed(int layer, Coord w, Point start, Axis dir, Ref own) const;

    // Whether a track of width `w` from `a` to `b` on `layer` keeps its clearances.
    bool segment_clear(int layer, Coord w, Point a, Point b, Ref own) const;

    // Calls f(item) for every visible Item whose box meets [x1,x2] x [y1,y2] (members included).
    void visit_near(int64_t x1, int64_t y1, int64_t x2, int64_t y2, const std::function<void(Ref)>& f) const;

    // Keeping the index in step with the run's changes: an Item made, about to be deleted, or changed
    // in place (layer, width).
    void added(Ref item);
    void removed(Ref item);
    void changed(Ref item);

  private:
    struct Index;
    model::Document& doc_;
    RouteSettings set_;
    bool plain_;
    std::unique_ptr<Index> index_;
};

} // namespace trazel::router
