#pragma once
// Text views of files that no other reader takes: plain text, one Text Item per line, and a hex dump of
// anything else, 16 bytes a line.  Both use the log view's layout (layer 0 "TXT", the n-th line at
// y = -(n x 65536 + 500) / 1000), so a text view and a log read the same way.  The "Z" writer turns a
// Document back into plain text.
#include <string_view>

#include "model/line_reader.h"
#include "model/out_buffer.h"
#include "model/units.h"

namespace trazel::model {

constexpr Length kTextViewHeight = 42;    // units
constexpr Coord kTextViewCharLength = 42; // units per character

// The first 1024 bytes hold only printable characters, TAB, LF, CR, form feed, the DOS end-of-file
// byte 0x1A, and bytes of 0x80 and above (code-page text).
bool looks_like_text(std::string_view head);

// Y of the n-th line of a text view (n from 0).
Coord text_view_y(int64_t n);

// Readers of the chooser rows "plain text" and "byte dump"; both return "Z".
char read_plain_text(LineReader& in, char forced);
char read_byte_dump(LineReader& in, char forced);

// The "Z" writer: the text of every top-level Text, one line each.  Lines that a text view left empty
// between two Texts are written again, so a text file survives the round trip.
bool write_plain_text(OutBuffer& out);

} // namespace trazel::model
