#pragma once
// AutoTrax boards ("PCB FILE 4", "PCB File 4", "PCB FILE 6"): read and written under code "P".
// Lengths are whole thousandths of an inch; records span several lines.
#include <string>
#include <string_view>
#include <vector>

#include "formats/gerber_in.h"
#include "model/line_reader.h"
#include "model/model.h"
#include "model/out_buffer.h"

namespace trazel::formats {

constexpr char kForcedProtel = 'P';

bool protel_accepts(std::string_view head, char forced); // also the forced code "P"

// Reads into `doc` (the chooser's defaults given by the caller) after the board layer set.  What is left
// out or malformed goes to job.skipped.  Returns 'P' (0 when `doc` ran out of Nodes).
char read_protel_board(model::LineReader& in, model::Document& doc, const ImportJob& job);

// Writes `doc` as "PCB FILE 4"; what the format cannot hold (Solids, member texts other than the two
// Component texts) is added to `losses`, one line per kind with counts, when given.  Returns false when
// the output failed.
bool write_protel_board(const model::Document& doc, model::OutBuffer& out, std::vector<std::string>* losses = nullptr);

// The chooser row and the writer of code "P" on the current Document.
char ReadProtelBoard(model::LineReader& in, char forced);
bool WriteProtelBoard(model::OutBuffer& out);

} // namespace trazel::formats
