#pragma once
// The HPGL pen plot: one pen per plotted layer in plot order, the Items as pen paths in plotter units
// (Document coordinates converted, Y negated when mirrored), handed to the sink after each layer.
#include <cstdint>

#include "cam/plot_page.h"
#include "platform/run_context.h"

namespace trazel::cam {

// The pen's width in Document units (0.013 inch): moves this short keep the pen down, and pads are
// outlined this far inside their edge so the ink stays within them.
constexpr int64_t kHpglPen = 852;
// The older plotter unit that drew everything 0.5% too large; `--hpgl-unit 1021` keeps it.
constexpr int kHpglOldUnit = 1021;

// A Document coordinate in plotter units of 1/`units_per_inch`, rounded, sign kept.
int64_t hpgl_units(int64_t v, int units_per_inch);

// Writes the plot.  Returns 1 when the sink took all of it, 0 when it failed or the run was cancelled.
int write_hpgl(const model::Document& doc, const PlotSettings& settings, const PlotSink& sink,
               platform::RunContext& run);

} // namespace trazel::cam
