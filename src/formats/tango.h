#pragma once
// The Tango exchange forms: the board (";Tango-PCB" or "VERSION "), read and written under code "T",
// and the schematic ("TangoPRO_ASCII"), read only.  Lengths are whole thousandths of an inch.
#include <string>
#include <string_view>
#include <vector>

#include "formats/gerber_in.h"
#include "model/line_reader.h"
#include "model/model.h"
#include "model/out_buffer.h"

namespace trazel::formats {

constexpr char kForcedTango = 'T';

bool tango_board_accepts(std::string_view head, char forced);     // also the forced code "T"
bool tango_schematic_accepts(std::string_view head, char forced); // "TangoPRO_ASCII" first

// Read into `doc` (the chooser's defaults given by the caller); each applies its own layer set first.
// Records left out go to job.skipped.  Return 'T' (0 when `doc` ran out of Nodes).
char read_tango_board(model::LineReader& in, model::Document& doc, const ImportJob& job);
char read_tango_schematic(model::LineReader& in, model::Document& doc, const ImportJob& job);

// Writes `doc` as a Tango board; what the format cannot hold is added to `losses` (one line per kind,
// with counts) when given.  Returns false when the output failed.
bool write_tango_board(const model::Document& doc, model::OutBuffer& out, std::vector<std::string>* losses = nullptr);

// The chooser rows and the writer of code "T" on the current Document.
char ReadTangoBoard(model::LineReader& in, char forced);
char ReadTangoSchematic(model::LineReader& in, char forced);
bool WriteTangoBoard(model::OutBuffer& out);

} // namespace trazel::formats
