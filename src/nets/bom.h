#pragma once
// The bill of materials (FB): the Components grouped by type/value, modifier and pattern with their
// Reference IDs, as fixed columns followed by the placement of every Component, or as comma-separated
// values.
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

#include "model/model.h"

namespace trazel::nets {

struct BomOptions {
    bool symbols = false; // the stored symbol codes as Windows characters, the ohm sign as "ohms"
    bool csv = false;     // comma-separated values instead of the column layout
    // Sorted insertion, entry by entry, instead of one stable sort: the oracle of the tests.
    bool plain = false;
};

// `put_at` and `put_right` for a listing whose fields may run long: a field that would land on text
// already in the line moves right to leave one blank, so nothing is overwritten.
void put_after(std::string& line, size_t col, std::string_view text);
void put_right_after(std::string& line, size_t last, std::string_view text);

// The whole file (CR LF line ends); `date` goes into the title line.
std::string bom_text(const model::Document& doc, const BomOptions& o, const std::tm& date);

// The Reference IDs of one group laid out from column 46: each line's text from column 46 on.  The next
// one starts at the next multiple of 6 columns after the end of the last, or after a single blank when
// that would leave 5 or 6 blanks; one that would start beyond column 76 starts a new line.
std::vector<std::string> reference_lines(const std::vector<std::string>& references);

// The stored symbol codes turned into Windows characters; the ohm sign becomes "ohms", and up to three
// of the double blanks after it lose a blank so that the columns further on stay where they were.
std::string convert_symbols(std::string_view line);

// One field of a comma-separated line: quoted (inner quotes doubled) when it holds a comma, a quote or a
// line end, else as it is.
std::string csv_field(std::string_view text);

} // namespace trazel::nets
