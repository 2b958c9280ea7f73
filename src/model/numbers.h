#pragma once
// Numbers in the system's text files: reading the field types of directives and Item records, and
// writing the fixed-point (F) and angle (A) forms.
#include <cstdint>
#include <string>
#include <string_view>

#include "model/units.h"

namespace trazel::model {

// Character classes of the text formats: plain ASCII, whatever the locale.
constexpr bool is_digit(char ch) {
    return ch >= '0' && ch <= '9';
}
// The value of a hexadecimal digit of either case; -1 for any other character.
constexpr int hex_digit(char c) {
    return c >= '0' && c <= '9' ? c - '0' : c >= 'A' && c <= 'F' ? c - 'A' + 10 : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}
constexpr char lower(char ch) {
    return ch >= 'A' && ch <= 'Z' ? static_cast<char>(ch - 'A' + 'a') : ch;
}
constexpr char upper(char ch) {
    return ch >= 'a' && ch <= 'z' ? static_cast<char>(ch - 'a' + 'A') : ch;
}
// ASCII letters upper case, every other byte as it is: names compared case-blind (patterns, Reference
// IDs, library names).
inline std::string upper_ascii(std::string_view s) {
    std::string out(s);
    for (char& c : out) {
        c = upper(c);
    }
    return out;
}
// The readers below take a blank where a number starts as an empty field; typed values (macro
// parameters, settings) may have blanks before the number, so their callers drop them first.
constexpr std::string_view skip_leading_blanks(std::string_view v) {
    while (!v.empty() && v.front() == ' ') {
        v.remove_prefix(1);
    }
    return v;
}
// Blanks dropped at both ends (fixed-width fields of foreign files).
constexpr std::string_view trim_blanks(std::string_view v) {
    v = skip_leading_blanks(v);
    while (!v.empty() && v.back() == ' ') {
        v.remove_suffix(1);
    }
    return v;
}

// A read position in one line.  Every number consumes exactly one character after its digits (the
// separator); `sep` is that character, 0 at the end of the line.  Blanks are not skipped: a blank where a
// number should start is an empty field that reads as 0 and is itself the separator, so a record keeps
// the text or name that follows it byte for byte.
struct Cursor {
    const char* p;
    const char* end;
    char sep = 0;

    explicit Cursor(std::string_view s) : p(s.data()), end(s.data() + s.size()) {
    }
    bool at_end() const {
        return p >= end;
    }
    char peek() const {
        return p < end ? *p : 0;
    }
    std::string_view rest() const {
        return {p, static_cast<size_t>(end - p)};
    }
    void skip(size_t n = 1) {
        p = static_cast<size_t>(end - p) < n ? end : p + n;
    }
};

// I: optional sign, decimal digits.  Inline: the older readers take most of their fields through it.
inline int32_t read_int(Cursor& c) {
    bool neg = false;
    if (c.p < c.end && (*c.p == '-' || *c.p == '+')) {
        neg = *c.p++ == '-';
    }
    int64_t v = 0;
    for (; c.p < c.end && is_digit(*c.p); ++c.p) {
        if (v < 1000000000000LL) { // stop growing so no field can overflow
            v = v * 10 + (*c.p - '0');
        }
    }
    c.sep = c.p < c.end ? *c.p++ : 0;
    v = neg ? -v : v;
    return static_cast<int32_t>(v > INT32_MAX ? INT32_MAX : v < INT32_MIN ? INT32_MIN : v);
}
Coord read_length(Cursor& c);       // L: with "." inches, else thousandths; rounded to units
int32_t read_decimal(Cursor& c);    // D: 16.16 value
uint32_t read_hex(Cursor& c);       // H
Angle read_angle(Cursor& c);        // degrees as D, to a binary angle
// N: characters up to a "," or a character at or below a blank; consumes the ending character.
std::string_view read_name(Cursor& c);

// A length with an optional unit: a trailing '"' is inches, "mm" (or a single m/M) millimetres.
// Digits without "." are thousandths of an inch unless a unit follows.
Coord read_length_unit(Cursor& c);

// F format: "0", otherwise an optional "-", the integer part (omitted when 0), ".", and up to five
// fraction digits without trailing zeros.  Returns the end of what was written (no terminator).
char* write_fixed(char* out, int32_t v);
// A format: hundredths of a degree, "0" for zero, "90", "45.50", ".50".
char* write_angle(char* out, Angle a);
char* write_int(char* out, int64_t v);
char* write_hex(char* out, uint32_t v, int digits);

std::string fixed_string(int32_t v);
std::string angle_string(Angle a);

} // namespace trazel::model
