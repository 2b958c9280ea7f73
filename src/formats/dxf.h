#pragma once
// DXF drawings in the two-line group form of release AC1002: the reader (code "X", also the later
// entities other programs write: LWPOLYLINE, ELLIPSE, MTEXT, solid HATCH, 3DFACE, $INSUNITS) and the
// writer of every visible Item.
#include <string>
#include <string_view>
#include <vector>

#include "formats/gerber_in.h"
#include "model/line_reader.h"
#include "model/model.h"
#include "model/out_buffer.h"

namespace trazel::formats {

constexpr char kForcedDxf = 'X';

// Drawing units: from the file's $INSUNITS (none means inches) unless forced.
enum class DxfUnits : int { FromFile = 0, Inch, Millimetre };

struct DxfReadOptions {
    DxfUnits units = DxfUnits::FromFile;
    // Items a drawing may make through block inserts before the rest is reported and left out.
    int64_t item_budget = 4'000'000;
};

// Forced code "X" at once; otherwise the head must open (after any 999 comment pairs) with 0 SECTION and
// 2 HEADER.
bool dxf_accepts(std::string_view head, char forced);

// Reads a drawing into `doc` (which the caller has given the chooser's defaults); applies the DXF
// defaults first.  What is left out goes to job.skipped, one entry per construct.  Returns 'X', or 0
// when `doc` could not take it (out of Nodes).
char read_dxf(model::LineReader& in, model::Document& doc, const ImportJob& job, const DxfReadOptions& options = {});

// Writes `doc` as an AC1002 drawing.  Returns false when the output failed.
bool write_dxf(const model::Document& doc, model::OutBuffer& out);

// The chooser row and the writer of code "X" on the current Document (skips told as report lines).
char ReadDxfFile(model::LineReader& in, char forced);
bool WriteDxfFile(model::OutBuffer& out);

} // namespace trazel::formats
