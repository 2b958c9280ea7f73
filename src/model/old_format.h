#pragma once
// The data files of the character-mode generations: the version 2 and version 3 readers, the version 3.8
// writer, and the number forms both directions share.  Lengths in these files are whole thousandths of an
// inch; angles are 1/256 turns ("short angles") or the 16-bit angle written as an integer.
#include <cstdint>
#include <string_view>

#include "model/fixed.h"
#include "model/line_reader.h"
#include "model/out_buffer.h"
#include "model/units.h"

namespace trazel::model {

// The first 17 characters that name each generation; the character after them is the minor number.
constexpr std::string_view kVersion3Signature = "TRAZEL Version 3.";
constexpr std::string_view kVersion2Signature = "TRAZEL Version 2.";
constexpr std::string_view kVersion38Title = "TRAZEL Version 3.8 -- DATA FILE";
constexpr std::string_view kVersion3EndLine = "END OF FILE";

// --- Number forms -----------------------------------------------------------------------------------
// Thousandths of an inch to units: v x 65536 / 1000, rounded to nearest (halves away from zero), held to
// the coordinate range.  Inline: every length of an older file passes through it.
inline Coord old_length_to_units(int64_t thousandths) {
    // Values far outside any coordinate would overflow the product; they end up clamped anyway.
    constexpr int64_t cap = int64_t{1} << 40;
    int64_t v = thousandths < -cap ? -cap : thousandths > cap ? cap : thousandths;
    return clamp_coord(v >= 0 ? (v * 65536 + 500) / 1000 : -((-v * 65536 + 500) / 1000));
}
// Units to thousandths: round(|v| x 1000 / 65536) with the sign of v.
int32_t units_to_old_length(int64_t units);
// A short angle (256 to the turn) to the 16-bit angle: v x 256, wrapping like the angle itself.
Angle short_angle_to_angle(int64_t v);
// The 16-bit angle to the nearest short angle, 0..255.
int32_t angle_to_short_angle(Angle a);
// A short fraction (the Arc's ellipse ratio in 1/256) to the 16-bit field: v x 256, wrapping, so 256
// gives 0, which is a circle as 1.0 would be.
uint16_t short_fraction_to_field(int64_t v);
// The 16-bit field to the nearest short fraction, 0..255 (near 1.0 it wraps to 0, a circle).
int32_t field_to_short_fraction(uint16_t f);

// Texts are stored at their bottom-left corner.  This is the offset from a text's anchor point to that
// corner, turned by the text angle: horizontal Left 0, Center -length/2, Right -length, Offset
// +height/3; vertical Bottom 0, Center -height/2, Top -height, Base +height/3 (halves and thirds cut
// toward zero).  The writer adds it, the readers take it off again.  Quarter turns are exact; other
// angles are rounded to the nearest unit.
Point text_corner_offset(int anchor, Length height, Coord length, Angle angle);

// --- Readers (import chooser rows kOrderVersion3 and kOrderVersion2) --------------------------------
// Each accepts only without a forced code and when the input starts with its signature.
bool accepts_version3(std::string_view head, char forced);
bool accepts_version2(std::string_view head, char forced);
// Read into the current Document; return '3' and '2' (0 when there is no current Document).
char ReadVersion3File(LineReader& in, char forced);
char ReadVersion2File(LineReader& in, char forced);
// The minor number m of a version 2 file from its first line: the low three bits of the character after
// "Version 2." ("2.9" gives 1); 0 when the line is shorter.
int version2_minor(std::string_view first_line);

// --- Writer (format code '3') -------------------------------------------------------------------------
// Writes the current Document as version 3.8.  Returns 0 when the output failed.
bool WriteVersion38File(OutBuffer& out);

// The older palettes' index for a 0x00RRGGBB colour (bit 24 set = none gives 0).  `plot` picks the plot
// palette, whose rule works on the complemented colour; a colour equal to an entry of its palette gives
// that entry's index before any rule is tried, so a file read and written again keeps its colours.
int nearest_palette_index(uint32_t colour, bool plot);

} // namespace trazel::model
