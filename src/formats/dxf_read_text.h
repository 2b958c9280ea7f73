#pragma once
// What the DXF reader does with strings and numbers: group values read without copies, and TEXT and
// MTEXT strings turned into the stored text form (symbol codes, line breaks, formatting dropped).
#include <cstdint>
#include <string>
#include <string_view>

namespace trazel::formats::dxf_detail {

// A real value: leading blanks, sign, digits, point, fraction, an exponent E (its power held to 5 upward,
// so 1e999 reads as 1e5).  `nan` is set when no digit was found (the value is then 0), `clipped` when the
// exponent was cut.
struct Real {
    double v = 0;
    bool nan = false;
    bool clipped = false;
};
Real parse_real(std::string_view s);
// A whole number with leading and trailing blanks, saturated to 32 bits; false when there is none.
bool parse_int(std::string_view s, int32_t& out);

// A TEXT or ATTRIB string in stored form: %%d degree, %%p plus-minus, %%c diameter, %%% percent, %%u and
// %%o dropped, \U+XXXX and UTF-8 for the few symbols the font has, other characters outside ASCII as '?'.
void text_to_stored(std::string_view s, std::string& out);
// An MTEXT string: \P a line break, \~ a blank, \\ \{ \} the characters, braces and formatting codes
// (\A1; \H2.5; \fArial|b0; \S1^2; and the like) dropped, stacked fractions kept as "a/b".
void mtext_to_stored(std::string_view s, std::string& out);

} // namespace trazel::formats::dxf_detail
