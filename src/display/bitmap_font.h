#pragma once
// The 8 x 16 bitmap font of the status bar: 256 characters of 16 row bytes each (top row first, the
// leftmost pixel in the most significant bit), 4096 bytes in all.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace trazel::display {

constexpr int kBitmapCharWidth = 8;
constexpr int kBitmapCharHeight = 16;
constexpr int kBitmapFontBytes = 256 * kBitmapCharHeight;

using BitmapFont = std::array<uint8_t, kBitmapFontBytes>;

// Builds the bitmap from font source text.  Outside a glyph, blank lines and lines starting with '#'
// are skipped; a glyph is a header line "CODES NAME" (hex codes separated by commas) followed by
// exactly 16 rows of 8 characters '#' (set) or '.' (clear).  Returns 0 and describes the first fault
// in `error` (when given) for a malformed source.
int build_bitmap_font(std::string_view source, BitmapFont& out, std::string* error = nullptr);

// The status bar font of the program's resources, built on first use.
const BitmapFont& status_font_bitmap();

// Row `row` (0..15) of character c.
inline uint8_t bitmap_row(const BitmapFont& f, uint8_t c, int row) {
    return f[c * kBitmapCharHeight + row];
}

} // namespace trazel::display
