#pragma once
// The fonts a DVI page may name, with the character widths TeX set it with.  Only the widths are
// kept: the page positions come from the DVI commands, and a width matters only where a character
// moves the position on.  The glyphs are drawn with the stroke font.
#include <cstdint>
#include <span>
#include <string_view>

namespace trazel::images {

struct DviFontMetrics {
    const char* name;
    bool bold;           // drawn with a heavier stroke
    bool ligatures;      // codes 11-15 are the f-ligatures ff, fi, fl, ffi, ffl
    double slant;        // horizontal shift per unit of height (italic and slanted fonts)
    int32_t widths[128]; // per character code, 2^20 being the font's size (a TFM fix_word)
};

// The table, "cmr10" first.
std::span<const DviFontMetrics> dvi_fonts();
// The font of that name (exact, as the DVI file spells it), or null.
const DviFontMetrics* dvi_font(std::string_view name);

} // namespace trazel::images
