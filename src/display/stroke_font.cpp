#include "display/stroke_font.h"

#include <algorithm>
#include <limits>
#include <vector>

#include "model/model.h"
#include "model/numbers.h"
#include "resources/resources.h"

namespace trazel::display {

namespace {

using model::abs64;
using model::floor_div;
using model::node;

using model::hex_digit;

// A two-digit hex token, or -1.
int hex_byte(std::string_view t) {
    if (t.size() != 2 || hex_digit(t[0]) < 0 || hex_digit(t[1]) < 0) {
        return -1;
    }
    return hex_digit(t[0]) << 4 | hex_digit(t[1]);
}

bool is_blank(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && is_blank(s.front())) {
        s.remove_prefix(1);
    }
    while (!s.empty() && is_blank(s.back())) {
        s.remove_suffix(1);
    }
    return s;
}

// Splits off the next blank-separated token.
std::string_view next_token(std::string_view& s) {
    s = trim(s);
    size_t n = 0;
    while (n < s.size() && !is_blank(s[n])) {
        ++n;
    }
    std::string_view t = s.substr(0, n);
    s.remove_prefix(n);
    return t;
}

int fail(std::string* error, int line, const std::string& what) {
    if (error) {
        *error = "line " + std::to_string(line) + ": " + what;
    }
    return 0;
}

void put_word(FontTable& f, int at, int value) {
    f.bytes[at] = static_cast<uint8_t>(value & 0xFF);
    f.bytes[at + 1] = static_cast<uint8_t>((value >> 8) & 0xFF);
}

int word_at(const FontTable& f, int at) {
    return f.bytes[at] | f.bytes[at + 1] << 8;
}

int signed_nibble(int v) {
    return v >= 8 ? v - 16 : v;
}

Coord saturate(int64_t v) {
    return static_cast<Coord>(
        std::clamp<int64_t>(v, std::numeric_limits<Coord>::min(), std::numeric_limits<Coord>::max()));
}

void emit(TextState& ts, StrokeSink& sink, int64_t ax, int64_t ay, int64_t bx, int64_t by) {
    Stroke s;
    s.x1 = saturate(ts.x0 + ts.rotation.x(ax, ay));
    s.y1 = saturate(ts.y0 + ts.rotation.y(ax, ay));
    s.x2 = saturate(ts.x0 + ts.rotation.x(bx, by));
    s.y2 = saturate(ts.y0 + ts.rotation.y(bx, by));
    s.width = ts.stroke_width;
    s.mode = ts.mode;
    sink.stroke(s);
    ++ts.strokes;
}

void extend_right_edge(TextState& ts) {
    ts.right_edge = ts.mirrored ? std::min(ts.right_edge, ts.pen_x) : std::max(ts.right_edge, ts.pen_x);
}

// The characters of one text, drawn or only walked (sink null).  Returns the line count.
int lay_out(TextState& ts, std::string_view text, StrokeSink* sink) {
    const FontTable& font = stroke_font();
    const bool fixed = ts.font == kFixedPitch;
    int lines = 1;
    for (unsigned char c : text) {
        // The end of a chain is its first zero byte, for both forms.
        if (c == kCodeEnd) {
            break;
        }
        if (c == kCodeTab) {
            int64_t cells = int64_t{kTabCells} * kFontCell * ts.step;
            if (cells != 0) {
                ts.pen_x = ts.line_start + (floor_div(ts.pen_x - ts.line_start, cells) + 1) * cells;
                extend_right_edge(ts);
            }
            continue;
        }
        if (!fixed) {
            if (c == kCodeFieldSeparator) {
                break;
            }
            switch (c) {
            case kCodeNewLine:
                ts.pen_x = ts.line_start;
                ts.pen_y -= kLinePitch * abs64(ts.step);
                ++lines;
                continue;
            case kCodeThinner:
                ts.stroke_width = ts.stroke_width * 4 / 5;
                continue;
            case kCodeBolder:
                // Widths go out as 16-bit apertures; saturate rather than wrap.
                ts.stroke_width = std::min<int32_t>(ts.stroke_width * 5 / 4, 65535);
                continue;
            case kCodeSmaller:
                ts.step = static_cast<int16_t>(ts.step * 4 / 5);
                continue;
            case kCodeLarger:
                // A signed 16-bit step: saturate, so a long run of 195 cannot flip the text over.
                ts.step = static_cast<int16_t>(std::clamp(ts.step * 5 / 4, -32768, 32767));
                continue;
            default:
                break;
            }
        }
        draw_glyph(ts, c, sink, font);
    }
    return lines;
}

// The text state at the start of a Text Item: step, stroke width, rotation and the anchored pen.
TextState start_item(const model::Node& n, int mode) {
    TextState ts;
    ts.mirrored = n.text.length < 0;
    int32_t unit = n.size / 6;
    ts.step = static_cast<int16_t>(ts.mirrored ? -unit : unit);
    ts.stroke_width = unit;
    ts.x0 = n.text.x0;
    ts.y0 = n.text.y0;
    ts.rotation = Rotation::of(n.text.angle);
    ts.font = static_cast<uint8_t>(n.text.anchor_font >> 4);
    ts.mode = static_cast<uint8_t>(mode);
    int64_t length = n.text.length;
    switch (n.text.anchor_font & 3) {
    case 1:
        ts.pen_x = -(length / 2);
        break;
    case 2:
        ts.pen_x = -length;
        break;
    case 3:
        ts.pen_x = 2 * int64_t{ts.step};
        break;
    default:
        ts.pen_x = 0;
        break;
    }
    switch ((n.text.anchor_font >> 2) & 3) {
    case 1:
        ts.pen_y = -3 * int64_t{ts.stroke_width};
        break;
    case 2:
        ts.pen_y = -6 * int64_t{ts.stroke_width};
        break;
    case 3:
        ts.pen_y = 2 * int64_t{ts.stroke_width};
        break;
    default:
        ts.pen_y = 0;
        break;
    }
    ts.line_start = ts.pen_x;
    ts.right_edge = ts.pen_x;
    return ts;
}

void store_measure(model::Node& n, int64_t length, bool mirrored, int lines) {
    if (mirrored) {
        length = length >= 0 ? -1 : length;
    } else {
        length = length < 1 ? 1 : length;
    }
    n.text.length = saturate(length);
    n.text.lines = static_cast<uint8_t>(std::min(lines, 255));
}

} // namespace

std::span<const uint8_t> FontTable::glyph(uint8_t c) const {
    int at = 2 + 2 * c;
    int begin = at + word_at(*this, at);
    int end = at + 2 + word_at(*this, at + 2);
    if (begin < kFontHeaderBytes || end > kFontTableBytes || begin > end) {
        return {};
    }
    return std::span<const uint8_t>(bytes.data() + begin, static_cast<size_t>(end - begin));
}

int FontTable::advance(uint8_t c) const {
    int sum = 0;
    for (uint8_t b : glyph(c)) {
        if (b != 0) {
            sum += signed_nibble(b >> 4);
        }
    }
    return sum;
}

int build_font_table(std::string_view source, FontTable& out, std::string* error) {
    std::array<std::vector<uint8_t>, 256> glyphs;
    std::array<bool, 256> seen{};
    size_t total = 0;
    int line_no = 0;
    while (!source.empty()) {
        size_t eol = source.find('\n');
        std::string_view line = source.substr(0, eol);
        source.remove_prefix(eol == std::string_view::npos ? source.size() : eol + 1);
        ++line_no;
        line = trim(line.substr(0, line.find('#')));
        if (line.empty()) {
            continue;
        }
        int code = hex_byte(next_token(line));
        if (code < 0) {
            return fail(error, line_no, "the line does not start with a two-digit hex code");
        }
        if (seen[code]) {
            return fail(error, line_no, "code " + std::to_string(code) + " is given twice");
        }
        seen[code] = true;
        size_t colon = line.find(':');
        if (colon == std::string_view::npos || trim(line.substr(0, colon)).empty()) {
            return fail(error, line_no, "the glyph name and its colon are missing");
        }
        line.remove_prefix(colon + 1);
        for (std::string_view t = next_token(line); !t.empty(); t = next_token(line)) {
            int b = hex_byte(t);
            if (b < 0) {
                return fail(error, line_no, "\"" + std::string(t) + "\" is not a two-digit hex byte");
            }
            glyphs[code].push_back(static_cast<uint8_t>(b));
        }
        total += glyphs[code].size();
        if (total > static_cast<size_t>(kFontTableBytes - kFontHeaderBytes)) {
            return fail(error, line_no, "the glyphs need more than the table's 3580 stroke bytes");
        }
    }
    FontTable f;
    put_word(f, 0, kFontCell);
    int at = kFontHeaderBytes;
    for (int c = 0; c <= 256; ++c) {
        put_word(f, 2 + 2 * c, at - (2 + 2 * c));
        if (c < 256) {
            std::copy(glyphs[c].begin(), glyphs[c].end(), f.bytes.begin() + at);
            at += static_cast<int>(glyphs[c].size());
        }
    }
    out = f;
    return 1;
}

const FontTable& stroke_font() {
    // Built once from the resource; a malformed source is a build fault that the unit tests catch, so a
    // table that fails to parse here simply has no glyphs.
    static const FontTable table = [] {
        FontTable f;
        put_word(f, 0, kFontCell);
        for (int c = 0; c <= 256; ++c) {
            put_word(f, 2 + 2 * c, kFontHeaderBytes - (2 + 2 * c));
        }
        build_font_table(resources::text("stroke_font"), f);
        return f;
    }();
    return table;
}

void draw_glyph(TextState& ts, uint8_t c, StrokeSink* sink, const FontTable& font) {
    std::span<const uint8_t> g = font.glyph(c);
    const int64_t step = ts.step;
    const int64_t rise = abs64(step);
    const bool fixed = ts.font == kFixedPitch;
    const int64_t start_x = ts.pen_x;
    if (fixed) {
        ts.pen_x += step * (kFontCell - font.advance(c)) / 2;
    }
    size_t end = g.size(); // past the last move, which is the advance and never drawn
    while (end > 0 && g[end - 1] == 0) {
        --end;
    }
    bool down = false;
    size_t i = 0;
    if (!g.empty() && g[0] == 0) {
        down = true; // a leading pen-up marker puts the pen down at the origin
        i = 1;
    }
    const bool draw = sink != nullptr && step != 0;
    for (; i < end; ++i) {
        uint8_t b = g[i];
        if (b == 0) {
            down = false;
            continue;
        }
        int64_t nx = ts.pen_x + signed_nibble(b >> 4) * step;
        int64_t ny = ts.pen_y + signed_nibble(b & 15) * rise;
        if (down && draw && i + 1 < end) {
            emit(ts, *sink, ts.pen_x, ts.pen_y, nx, ny);
        }
        ts.pen_x = nx;
        ts.pen_y = ny;
        down = true;
    }
    if (fixed) {
        ts.pen_x = start_x + kFontCell * step;
    }
    extend_right_edge(ts);
}

int draw_text_item(Ref item, int mode, StrokeSink& sink, const TextView& view) {
    model::Node& n = node(item);
    if (n.item_kind() != model::kText || n.size == 0 || mode == 0) {
        return 0;
    }
    std::string text = model::resolved_text(item);
    if (text.empty()) {
        return 0;
    }
    TextState ts = start_item(n, mode);
    const int64_t step = ts.step;
    const int64_t sw = ts.stroke_width;

    // The box: one step before the start to the stored length plus 2 steps after it; one stroke width
    // below the baseline to 8 above, and 9 more below for each further line.
    int further = n.text.lines > 1 ? n.text.lines - 1 : 0;
    int64_t a0 = ts.pen_x - step, a1 = ts.pen_x + n.text.length + 2 * step;
    int64_t b0 = ts.pen_y - sw - 9 * sw * further, b1 = ts.pen_y + 8 * sw;
    TextBox box;
    const int64_t along[4] = {a0, a1, a1, a0}, across[4] = {b0, b0, b1, b1};
    for (int k = 0; k < 4; ++k) {
        box.x[k] = saturate(ts.x0 + ts.rotation.x(along[k], across[k]));
        box.y[k] = saturate(ts.y0 + ts.rotation.y(along[k], across[k]));
    }
    if (view.visible && !view.visible(box)) {
        return 0;
    }
    if (view.pixels && view.pixels(6 * sw) < 3) {
        // Too small to read: a thin line along the bottom of the box stands for it.
        Stroke s;
        s.x1 = box.x[0];
        s.y1 = box.y[0];
        s.x2 = box.x[1];
        s.y2 = box.y[1];
        s.width = 0;
        s.mode = 0;
        sink.stroke(s);
        return 1;
    }
    ts.stroke_width -= ts.font == kFixedPitch ? ts.stroke_width / 4 : ts.stroke_width / 8;
    int lines = lay_out(ts, text, &sink);
    if (view.write_back) {
        store_measure(n, ts.right_edge - ts.line_start - 2 * step, ts.mirrored, lines);
    }
    return ts.strokes > 0 ? 1 : 0;
}

int measure_text_item(Ref item) {
    model::Node& n = node(item);
    if (n.item_kind() != model::kText) {
        return 0;
    }
    std::string text = model::resolved_text(item);
    if (text.empty()) {
        return 0;
    }
    const FontTable& font = stroke_font();
    const bool fixed = (n.text.anchor_font >> 4) == kFixedPitch;
    const int64_t tab = int64_t{kTabCells} * kFontCell;
    int64_t pos = 0, longest = 0;
    int lines = 1;
    for (unsigned char c : text) {
        if (c == kCodeEnd || (!fixed && c == kCodeFieldSeparator)) {
            break;
        }
        if (c == kCodeTab) {
            pos = (floor_div(pos, tab) + 1) * tab;
        } else if (fixed) {
            pos += kFontCell;
        } else if (c == kCodeNewLine) {
            longest = std::max(longest, pos);
            pos = 0;
            ++lines;
        } else if (c < kCodeThinner || c > kCodeLarger) {
            pos += font.advance(c);
        }
    }
    longest = std::max(longest, pos);
    int64_t height = n.size;
    int64_t length = longest < 3 ? height / 6 : height * (longest - 2) / 6;
    length = std::max<int64_t>(length, 1);
    bool mirrored = n.text.length < 0;
    store_measure(n, mirrored ? -length : length, mirrored, lines);
    return 1;
}

int draw_string(std::string_view text, int16_t step, int32_t stroke_width, Coord x, Coord y, model::Angle angle,
                int32_t off_x, int32_t off_y, int mode, StrokeSink& sink) {
    TextState ts;
    ts.step = step;
    ts.stroke_width = stroke_width;
    ts.x0 = x;
    ts.y0 = y;
    ts.rotation = Rotation::of(angle);
    ts.pen_x = ts.line_start = ts.right_edge = off_x;
    ts.pen_y = off_y;
    ts.mode = static_cast<uint8_t>(mode);
    ts.mirrored = step < 0;
    lay_out(ts, text, &sink);
    return ts.strokes;
}

int64_t string_length(std::string_view text, int16_t step) {
    // New lines return the pen to the line start, so the right edge ends up at the longest line's end.
    TextState ts;
    ts.step = step;
    ts.mirrored = step < 0;
    lay_out(ts, text, nullptr);
    return ts.right_edge - ts.line_start;
}

} // namespace trazel::display
