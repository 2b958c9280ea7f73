#include "display/bitmap_font.h"

#include "model/numbers.h"
#include "resources/resources.h"

namespace trazel::display {

namespace {

using model::hex_digit;

std::string_view strip_cr(std::string_view s) {
    while (!s.empty() && (s.back() == '\r' || s.back() == ' ' || s.back() == '\t')) {
        s.remove_suffix(1);
    }
    return s;
}

int fail(std::string* error, int line, const std::string& what) {
    if (error) {
        *error = "line " + std::to_string(line) + ": " + what;
    }
    return 0;
}

// The comma-separated hex codes at the start of a header line; false when there are none or one is
// malformed.
bool parse_codes(std::string_view line, std::array<bool, 256>& codes) {
    size_t end = line.find_first_of(" \t");
    std::string_view list = line.substr(0, end);
    if (list.empty()) {
        return false;
    }
    while (true) {
        size_t comma = list.find(',');
        std::string_view t = list.substr(0, comma);
        if (t.size() != 2 || hex_digit(t[0]) < 0 || hex_digit(t[1]) < 0) {
            return false;
        }
        codes[hex_digit(t[0]) << 4 | hex_digit(t[1])] = true;
        if (comma == std::string_view::npos) {
            return true;
        }
        list.remove_prefix(comma + 1);
    }
}

} // namespace

int build_bitmap_font(std::string_view source, BitmapFont& out, std::string* error) {
    BitmapFont font{};
    std::array<bool, 256> seen{};
    int line_no = 0;
    auto next_line = [&](std::string_view& line) {
        if (source.empty()) {
            return false;
        }
        size_t eol = source.find('\n');
        line = strip_cr(source.substr(0, eol));
        source.remove_prefix(eol == std::string_view::npos ? source.size() : eol + 1);
        ++line_no;
        return true;
    };
    std::string_view line;
    while (next_line(line)) {
        if (line.empty() || line[0] == '#') {
            continue;
        }
        std::array<bool, 256> codes{};
        if (!parse_codes(line, codes)) {
            return fail(error, line_no, "a glyph header must start with hex codes separated by commas");
        }
        std::array<uint8_t, kBitmapCharHeight> rows{};
        for (int r = 0; r < kBitmapCharHeight; ++r) {
            if (!next_line(line)) {
                return fail(error, line_no, "the glyph ends before its 16th row");
            }
            if (line.size() != kBitmapCharWidth || line.find_first_not_of("#.") != std::string_view::npos) {
                return fail(error, line_no, "a glyph row must be 8 characters of '#' and '.'");
            }
            for (int x = 0; x < kBitmapCharWidth; ++x) {
                if (line[x] == '#') {
                    rows[r] |= static_cast<uint8_t>(0x80 >> x);
                }
            }
        }
        for (int c = 0; c < 256; ++c) {
            if (!codes[c]) {
                continue;
            }
            if (seen[c]) {
                return fail(error, line_no, "code " + std::to_string(c) + " is given twice");
            }
            seen[c] = true;
            for (int r = 0; r < kBitmapCharHeight; ++r) {
                font[c * kBitmapCharHeight + r] = rows[r];
            }
        }
    }
    out = font;
    return 1;
}

const BitmapFont& status_font_bitmap() {
    // Built once; the unit tests keep the source well formed, so a failure here leaves blank glyphs.
    static const BitmapFont font = [] {
        BitmapFont f{};
        build_bitmap_font(resources::text("status_font"), f);
        return f;
    }();
    return font;
}

} // namespace trazel::display
