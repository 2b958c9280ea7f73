#pragma once
// The Gerber file set as "GerberOutBox" shows it: one row of fields per "-dy" output row, with stable
// ids for scripts: `extN` (three characters, or a suggestion "TOP: Top Copper"), `kindN` (0-7),
// `sideN` (0 normal, 1 bottom) and `layersN` (layer numbers, ranges "12-14" or layer names).
#include "model/setup.h"
#include "platform/form_builder.h"
#include "shell/setup_form.h"

namespace trazel::cam {

constexpr int kFileSetRows = 24;

void add_file_set_fields(platform::FormBuilder& box, const model::Setup& s);
// Reads the rows into `next.gerber`, in the order shown; a row without an extension is left out.
void read_file_set(shell::SetupAnswers& in, model::Setup& next);
// Brings `next`'s rows to what their "-dy" lines read back as; false when no row changed.
bool settle_file_set(const model::Setup& was, model::Setup& next);

} // namespace trazel::cam
