#pragma once
// The PostScript plot: one page of the Document's plotted layers in plot order, each in its plot colour,
// handed to the sink in pieces of 32 KiB.
#include <string>

#include "cam/plot_page.h"
#include "platform/run_context.h"

namespace trazel::cam {

constexpr size_t kPostScriptPiece = 32768;

// Writes the whole job.  Returns 1 when it was all taken by the sink, 0 when the sink failed or the run
// was cancelled (between layers); progress goes to the run context as the wait box shows it.
int write_postscript(const model::Document& doc, const PlotSettings& settings, const PlotSink& sink,
                     platform::RunContext& run);

// "%%CreationDate" text for seconds since 1970, UTC ("Tue Dec  8 03:42:04 2026"); empty for -1.
std::string postscript_date(int64_t seconds);

} // namespace trazel::cam
