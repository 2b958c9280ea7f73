#pragma once
// The name rules of the Place functions: advancing pin and signal names from one placed Item to the
// next, stepping a Component's Reference ID to a free one, the characters a Reference ID may hold, and
// how far a signal port stretches to the length of its name.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "model/units.h"

namespace trazel::edit {

// Pin names, signal names and the Component parameter fields hold at most this many characters.
constexpr std::size_t kNameLimit = 24;

// The name with its last run of decimal digits counted up by one, with carry: "D7" -> "D8", "A19" ->
// "A20", "R99" -> "R100", "U9A" -> "U10A".  Unchanged when the name is empty, begins with a control
// character, holds no digit or is exactly "0", and when a carry out of the run would make it longer
// than `limit` (the field could not hold it).
std::string advance_name(std::string_view name, std::size_t limit = kNameLimit);

// The reverse: the last digit run counted down with borrow, "R10" -> "R9", "R2" -> "R1".  Unchanged
// when the run begins with "0" ("R05", "R0") or is the single digit "1" (which has nothing below it),
// and in the cases advance_name leaves alone.
std::string decrement_name(std::string_view name);

// The Reference ID steps of the Component dialog: every "?" becomes "1", then the ID is advanced (up)
// or decremented, and again while `taken` says a Component of the Document already has it.  Returns
// false, with `ref` as it was, when the ID cannot change any further (no digit, at the field's limit,
// down at "1"); the dialog beeps.
bool step_reference_id(std::string& ref, bool up, const std::function<bool(std::string_view)>& taken);

// Whether the Reference ID field may be stored: blanks, control characters, the field separator 0x7F
// and bytes above it are refused.
bool valid_reference_id(std::string_view ref);

// How far a signal port's name Text and the outline ends left of it move left so the port holds a name
// whose Text is `length` units long (a mirrored Text's negative length counts by its size): the length
// in whole tenths of an inch, a part of a quarter tenth or more counting as a whole one,
// n = floor((10 * length + 49152) / 65536), then back in units, floor(n * 65536 / 10).
model::Coord port_name_shift(int64_t length);

} // namespace trazel::edit
