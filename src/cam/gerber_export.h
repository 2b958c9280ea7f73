#pragma once
// Writer "G" of the export dispatcher: the Document as one RS-274-X photoplot, so that an imported
// photoplot (or any board) saves back as Gerber.
#include "model/chooser.h"
#include "model/model.h"
#include "model/out_buffer.h"

namespace trazel::cam {

// The output row the writer plots: the first Gerber row in use (not a drill file, a drill symbol Data
// file or an aperture listing); without one, a copper row over every layer in use.
model::GerberEntry export_row(const model::Setup& s);
// Writes the current Document with that row.
bool write_gerber_document(model::OutBuffer& out);
// Registers the writer "G".
void register_cam_formats(model::FormatTable& t);

} // namespace trazel::cam
