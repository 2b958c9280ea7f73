#pragma once
// The machinery the flood fill and the track isolation share: obstacle marks, the candidate obstacles of
// one stroke, the point test, laying strokes and contour arcs, the contours around every obstacle, the
// border and the rows.  A FillRun lives for one run.  Its marks (what is no obstacle) are its own list,
// never the Items' mark bits, so the user's selection survives a run and nothing is left behind on Cancel
// or when the pool runs out.
#include <functional>
#include <string>
#include <vector>

#include "copper/flood.h"
#include "edit/block.h"
#include "model/model.h"
#include "platform/run_context.h"

namespace trazel::copper {

class FillRun {
  public:
    FillRun(model::Document& doc, const edit::Block& block, const FillHooks& hooks, platform::RunContext& run);
    ~FillRun();
    FillRun(const FillRun&) = delete;
    FillRun& operator=(const FillRun&) = delete;

    // --- Setting up ------------------------------------------------------------------------------
    // Destination layer (made current), source layers (the default rule when empty), and the marking steps:
    // `thermal` and `fill` Signals (kNone: none) and, when `direct` is given, the direct connection rule.
    // Marks every Item that is no obstacle.
    void set_layers(int destination, const model::LayerSet& sources);
    void mark_obstacles(Ref fill_signal, Ref thermal, Ref direct);
    // The stroke width (raised to 66 when smaller) and the two isolations.
    void set_width(Coord w);
    void set_isolation(Coord lines, Coord pads);
    // The Signal new Lines and Arcs carry (kNone: none).
    void set_signal(Ref signal);
    // New Items go into this Component's member ring (kNone: the Document's ring); its box grows with them.
    void set_target(Ref component);
    // Every sample of a stroke against every candidate instead of the spans: slow, kept as the reference.
    void set_plain(bool plain);

    // --- Laying ----------------------------------------------------------------------------------
    // One stroke from `a` to `b`: every run of samples that passes the point test becomes a Line.
    int lay_stroke(Point a, Point b);
    // Arcs along the circle over the angular runs that pass (from == to: the full circle).
    int lay_contour_arc(Point centre, Coord radius, model::Angle from, model::Angle to);
    // The contours around every obstacle in the run's order; with `connect`, pads of the fill Signal whose
    // centre lies in the Block get their spokes (false: the user cancelled at the question, or the run
    // stopped).
    bool trace_contours(bool connect);
    // The border strokes of a rectangular or polygonal Block.
    void lay_border();
    // Horizontal rows from y = first, rising by step while y <= last, each snapped to 1/1000 inch.
    void lay_rows(Coord first, Coord step, Coord last);
    // The two 45-degree families with spacing s.
    void lay_hatch(Coord spacing);

    // What the run made so far, and why it stopped.
    const FillResult& result() const;
    FillResult& result();

  private:
    struct Impl;
    Impl* impl_;
};

} // namespace trazel::copper
