// Setup directives: the parsers of both dialects.
#include "model/setup_directives.h"

#include <algorithm>
#include <cstring>

#include "model/fixed.h"
#include "model/model.h"
#include "model/numbers.h"

namespace trazel::model {

const uint32_t kDisplayPalette[16] = {
    kNoColour, 0x0000AA, 0x00AA00, 0x00AAAA, 0xAA0000, 0xAA00AA, 0xAAAA00, 0x000000,
    0x555555,  0x5555FF, 0x55FF55, 0x55FFFF, 0xFF5555, 0xFF55FF, 0xFFFF00, 0xFFFFFF,
};
const uint32_t kPlotPalette[16] = {
    kNoColour, 0xFFFF00, 0xFF00FF, 0xFF0000, 0x00FFFF, 0x00FF00, 0x0000FF, 0xFFFFFF,
    0x333333,  0x555500, 0x550055, 0x550000, 0x005555, 0x005500, 0x000055, 0x777777,
};

namespace {

constexpr uint32_t kLargestFraction = 0xFFFFFFFFu;
constexpr int64_t kDigitCap = 1000000000000LL; // digits beyond this no longer change any result
constexpr int kSnapEntryMax = 11;
constexpr int kNameMax = 31;
constexpr int kLayerNameMax = 15;
constexpr int kLibraryNameMax = 32;
constexpr Coord kMinGerberFill = 131; // about 0.002 inch

bool at_or_below_blank(char ch) {
    return static_cast<unsigned char>(ch) <= ' ';
}

bool is_control(char ch) {
    return static_cast<unsigned char>(ch) < ' ';
}

void skip_blanks(Cursor& c) {
    while (!c.at_end() && *c.p == ' ') {
        ++c.p;
    }
}

// The next directive letter, lower case; 0 at the end of the line.
char take_letter(Cursor& c) {
    if (c.at_end()) {
        return 0;
    }
    return lower(*c.p++);
}

// Rules 1 and 2: leading blanks skipped, no directive when a control character or ";" starts the line,
// the "-" optional.  Leaves the cursor on the first directive letter.
bool directive_start(std::string_view line, Cursor& c) {
    c = Cursor(line);
    skip_blanks(c);
    if (c.at_end() || is_control(*c.p) || *c.p == ';') {
        return false;
    }
    if (*c.p == '-') {
        ++c.p;
    }
    return true;
}

// Unsigned digits with their count; the value stops growing at kDigitCap so nothing can overflow.
int64_t take_digits(Cursor& c, int* count = nullptr) {
    int64_t v = 0;
    int n = 0;
    while (!c.at_end() && is_digit(*c.p)) {
        if (v < kDigitCap) {
            v = v * 10 + (*c.p - '0');
        }
        ++c.p;
        ++n;
    }
    if (count) {
        *count = n;
    }
    return v;
}

// Fraction digits as millionths (the first six count) and how many digits there were.
int64_t take_millionths(Cursor& c, int* count) {
    int64_t f = 0;
    int n = 0;
    while (!c.at_end() && is_digit(*c.p)) {
        if (n < 6) {
            f = f * 10 + (*c.p - '0');
        }
        ++c.p;
        ++n;
    }
    for (int i = std::min(n, 6); i < 6; ++i) {
        f *= 10;
    }
    *count = n;
    return f;
}

void take_separator(Cursor& c) {
    c.sep = c.at_end() ? 0 : *c.p++;
}

// num / den as a 0.32 fraction, rounded to nearest; one or more becomes the largest fraction.
// Needs den below 2^62; the long division keeps every intermediate below 2 * den.
uint32_t fraction32(uint64_t num, uint64_t den) {
    if (num >= den) {
        return kLargestFraction;
    }
    uint64_t r = num;
    uint64_t q = 0;
    for (int i = 0; i < 32; ++i) {
        r <<= 1;
        q <<= 1;
        if (r >= den) {
            r -= den;
            q |= 1;
        }
    }
    if (2 * r >= den) {
        ++q;
    }
    return q > kLargestFraction ? kLargestFraction : static_cast<uint32_t>(q);
}

// Millimetres unit after a spacing: "m" or "mm" in either case.
bool take_mm(Cursor& c) {
    if (c.at_end() || lower(*c.p) != 'm') {
        return false;
    }
    ++c.p;
    if (!c.at_end() && lower(*c.p) == 'm') {
        ++c.p;
    }
    return true;
}

// Whole units plus millionths, as inches or millimetres, to a 0.32 fraction of an inch.
uint32_t decimal_fraction(int64_t whole, int64_t millionths, bool mm) {
    if (mm) {
        // 26 mm is past one inch already; the cap keeps the product inside 64 bits.
        if (whole >= 26) {
            return kLargestFraction;
        }
        return fraction32(static_cast<uint64_t>(whole * 1000000 + millionths) * 10, 254000000ULL);
    }
    if (whole >= 1) {
        return kLargestFraction;
    }
    return fraction32(static_cast<uint64_t>(millionths), 1000000ULL);
}

// The grid dot spacing of "-gd": digits without "." are thousandths of an inch; with a "." the value is
// inches, or millimetres when an m follows (a '"' is accepted as the inch sign).
uint32_t read_dot_spacing(Cursor& c) {
    skip_blanks(c);
    int64_t whole = take_digits(c);
    uint32_t v;
    if (!c.at_end() && *c.p == '.') {
        ++c.p;
        int count = 0;
        int64_t f = take_millionths(c, &count);
        bool mm = take_mm(c);
        if (!mm && !c.at_end() && *c.p == '"') {
            ++c.p;
        }
        v = decimal_fraction(whole, f, mm);
    } else {
        v = whole >= 1000 ? kLargestFraction : fraction32(static_cast<uint64_t>(whole), 1000);
    }
    take_separator(c);
    return v;
}

// The snap spacing of "-gs" with its unit, and the number of decimals it implies.
void read_snap_spacing(Cursor& c, uint32_t& value, int32_t& decimals) {
    skip_blanks(c);
    int64_t a = take_digits(c);
    enum { kThousandths, kDecimal, kRatio } form = kThousandths;
    int64_t b = 0, f = 0;
    int count = 0;
    if (!c.at_end() && *c.p == '/') {
        ++c.p;
        b = take_digits(c);
        form = kRatio;
    } else if (!c.at_end() && *c.p == '.') {
        ++c.p;
        f = take_millionths(c, &count);
        form = kDecimal;
    }
    bool inch = false, mm = false;
    if (!c.at_end() && *c.p == '"') {
        ++c.p;
        inch = true;
    } else {
        mm = take_mm(c);
    }
    switch (form) {
    case kRatio:
        // A fraction seldom has a short decimal form, so it is shown with the finest decimals of its unit.
        value = mm ? fraction32(static_cast<uint64_t>(a) * 10, static_cast<uint64_t>(b) * 254)
                   : fraction32(static_cast<uint64_t>(a), static_cast<uint64_t>(b));
        decimals = mm ? -3 : 4;
        break;
    case kDecimal:
        value = decimal_fraction(a, f, mm);
        decimals = mm ? -std::clamp(count, 1, 3) : std::min(count, 4);
        break;
    case kThousandths:
        if (mm) {
            // Whole millimetres are shown with one decimal ("1.0mm").
            value = decimal_fraction(a, 0, true);
            decimals = -1;
        } else if (inch) {
            value = a >= 1 ? kLargestFraction : 0;
            decimals = 0;
        } else {
            value = a >= 1000 ? kLargestFraction : fraction32(static_cast<uint64_t>(a), 1000);
            decimals = 3;
        }
        break;
    }
}

// Copies at most `max` characters of `text` into a zero-filled field of `size` bytes.
void copy_field(char* field, size_t size, std::string_view text, size_t max) {
    std::memset(field, 0, size);
    if (!text.empty()) {
        std::memcpy(field, text.data(), std::min({text.size(), max, size - 1}));
    }
}

std::string_view trim_blanks(std::string_view t) {
    while (!t.empty() && t.front() == ' ') {
        t.remove_prefix(1);
    }
    while (!t.empty() && t.back() == ' ') {
        t.remove_suffix(1);
    }
    return t;
}

std::string_view trim_trailing(std::string_view t) {
    while (!t.empty() && t.back() == ' ') {
        t.remove_suffix(1);
    }
    return t;
}

// Text up to the first control character (or `stop` when given).
std::string_view text_until(std::string_view t, char stop = 0) {
    size_t n = 0;
    while (n < t.size() && !is_control(t[n]) && (stop == 0 || t[n] != stop)) {
        ++n;
    }
    return t.substr(0, n);
}

// A layer name: up to 15 characters, ending at ";" or a control character.  Trailing blanks are dropped
// after the cut: the file writer strips them from every line, so they could not survive a save.
void take_layer_name(LayerEntry& e, std::string_view rest) {
    std::string_view name = text_until(rest, ';');
    name = trim_trailing(name.substr(0, std::min<size_t>(name.size(), kLayerNameMax)));
    copy_field(e.name, sizeof e.name, name, kLayerNameMax);
}

// A short (16-bit) length; values outside 0..65535 are held at the nearest end rather than wrapped.
Length read_short_length(Cursor& c) {
    return static_cast<Length>(std::clamp<Coord>(read_length(c), 0, 0xFFFF));
}

uint8_t read_byte(Cursor& c) {
    return static_cast<uint8_t>(read_int(c) & 0xFF);
}

// S: ",n" members up to the end of the line; numbers outside 0..255 name no layer and are dropped.
void read_layer_set(Cursor& c, LayerSet& set) {
    set.reset();
    for (;;) {
        skip_blanks(c);
        if (c.at_end()) {
            break;
        }
        int32_t n = read_int(c);
        if (n >= 0 && n <= 255) {
            set.set(static_cast<size_t>(n));
        }
    }
}

// The snap table after the index: entries separated by ",", empty ones skipped, the first 11 characters
// of each kept, at most 16.  An entry also ends at a control character, which ends the list; blanks
// around an entry are dropped (the file writer would strip a trailing one anyway).
void read_snap_table(Cursor& c, Setup& s) {
    for (auto& e : s.snap_table) {
        e.fill(0);
    }
    size_t n = 0;
    for (;;) {
        const char* start = c.p;
        while (!c.at_end() && *c.p != ',' && !is_control(*c.p)) {
            ++c.p;
        }
        std::string_view entry(start, static_cast<size_t>(c.p - start));
        entry = trim_blanks(entry);
        entry = trim_blanks(entry.substr(0, std::min<size_t>(entry.size(), kSnapEntryMax)));
        if (!entry.empty() && n < s.snap_table.size()) {
            copy_field(s.snap_table[n++].data(), s.snap_table[0].size(), entry, kSnapEntryMax);
        }
        if (c.at_end() || *c.p != ',') {
            break;
        }
        ++c.p;
    }
}

void set_colour(LayerEntry& e, uint32_t colour) {
    if (g_model) {
        set_layer_colour(e, colour);
    } else {
        e.colour = colour;
        e.pixel = colour;
    }
}

void set_screen(Setup& s, uint32_t grid, uint32_t background, uint32_t highlight, uint32_t attention) {
    if (g_model) {
        set_screen_colours(s, grid, background, highlight, attention);
    } else {
        s.grid_colour = s.grid_pixel = grid;
        s.background = s.background_pixel = background;
        s.highlight = s.highlight_pixel = highlight;
        s.attention = s.attention_pixel = attention;
    }
}

void clear_layers(Setup& s) {
    for (size_t i = 0; i < s.layers.size(); ++i) {
        LayerEntry& e = s.layers[i];
        std::memset(e.name, 0, sizeof e.name);
        e.type = 0;
        set_colour(e, 0);
        e.plot = 0;
        e.sequence = static_cast<uint8_t>(i);
    }
}

bool valid_layer(int32_t n) {
    return n >= 0 && n <= 255;
}

// --- Directives of both dialects ------------------------------------------------------------------

// "-dy": bare, it empties the list; otherwise a three-character extension, the ":" and the plot kind,
// then the layers.  An entry needs a first character above a blank; the next three characters are the
// extension whatever they are (a blank too, which the writer gives back as it is), a short one padded with
// blanks.  Entries past the 24th are ignored.
void apply_gerber_entry(Setup& s, Cursor& c) {
    std::string_view rest = c.rest();
    if (trim_blanks(rest).empty()) {
        for (auto& g : s.gerber) {
            g = GerberEntry{};
        }
        return;
    }
    if (at_or_below_blank(rest[0])) {
        return;
    }
    auto slot = std::find_if(s.gerber.begin(), s.gerber.end(), [](const GerberEntry& g) { return !g.in_use(); });
    if (slot == s.gerber.end()) {
        return;
    }
    GerberEntry e;
    std::memset(e.ext, ' ', 3);
    std::memcpy(e.ext, rest.data(), std::min<size_t>(rest.size(), 3));
    c.skip(4); // the extension and the ":"
    e.kind = read_byte(c);
    read_layer_set(c, e.layers);
    *slot = e;
}

// "-b": bare, it empties the list; otherwise the name goes into the first empty slot of the 32.
void apply_library(Setup& s, Cursor& c) {
    std::string_view name = trim_blanks(text_until(c.rest()));
    if (name.empty()) {
        for (auto& l : s.libraries) {
            l.fill(0);
        }
        return;
    }
    name = trim_blanks(name.substr(0, std::min<size_t>(name.size(), kLibraryNameMax)));
    for (auto& l : s.libraries) {
        if (l[0] == 0) {
            copy_field(l.data(), l.size(), name, kLibraryNameMax);
            return;
        }
    }
}

// --- Current dialect ------------------------------------------------------------------------------

void apply_gc(Setup& s, Cursor& c) {
    s.fill_iso_lines = read_length(c);
    s.fill_iso_pads = read_length(c);
    s.clear_line_line = read_length(c);
    s.clear_line_pad = read_length(c);
    s.clear_pad_pad = read_length(c);
    s.fill_width = read_length(c);
    s.ratnest_width = read_length(c);
    copy_field(s.thermal_signal, sizeof s.thermal_signal, read_name(c), kNameMax);
    copy_field(s.direct_signal, sizeof s.direct_signal, read_name(c), kNameMax);
    s.flood_target = read_int(c);
    read_layer_set(c, s.flood_sources);
}

void apply_gd(Setup& s, Cursor& c) {
    s.grid_dots = read_dot_spacing(c);
    uint32_t grid = read_hex(c) & 0xFFFFFF;
    uint32_t background = read_hex(c) & 0xFFFFFF;
    uint32_t highlight = read_hex(c) & 0xFFFFFF;
    uint32_t attention = read_hex(c) & 0xFFFFFF;
    set_screen(s, grid, background, highlight, attention);
}

void apply_gp(Setup& s, Cursor& c) {
    s.plot_options = read_byte(c);
    s.plot_omit = read_byte(c);
    s.plot_scale = read_decimal(c);
    s.plot_xmin = read_length(c);
    s.plot_ymin = read_length(c);
    s.plot_xmax = read_length(c);
    s.plot_ymax = read_length(c);
    s.plot_depth = read_int(c);
}

void apply_gs(Setup& s, Cursor& c) {
    read_snap_spacing(c, s.snap, s.decimals);
    if (c.at_end() || *c.p != ',') {
        return;
    }
    ++c.p;
    // The index picks a table entry; one outside the table could only mislead its users.
    s.snap_index = std::clamp(read_int(c), 0, static_cast<int32_t>(s.snap_table.size()) - 1);
    read_snap_table(c, s);
}

// "-gtt"/"-gtb".  After the six lengths, a field of digits that ends the number (followed by ",", the
// end of the line, or a blank or control character, which would end a name as well) is the target layer
// and the Signal name is empty; anything else is the Signal name, and the target follows it.
void apply_isolation(TrackIsolation& t, Cursor& c) {
    t.passes = read_int(c);
    t.iso_tool = read_short_length(c);
    t.iso_overlap = read_short_length(c);
    t.iso_clearance = read_short_length(c);
    t.flood_tool = read_short_length(c);
    t.flood_overlap = read_short_length(c);
    t.flood_clearance = read_short_length(c);
    const char* q = c.p;
    while (q < c.end && is_digit(*q)) {
        ++q;
    }
    bool number = q > c.p && (q == c.end || *q == ',' || at_or_below_blank(*q));
    std::string_view name = number ? std::string_view{} : read_name(c);
    name = name.substr(0, std::min<size_t>(name.size(), kNameMax));
    // A name that the cut left as digits only would read back as the target layer; it is dropped.
    if (std::all_of(name.begin(), name.end(), is_digit)) {
        name = {};
    }
    copy_field(t.signal, sizeof t.signal, name, kNameMax);
    t.target = read_int(c);
    read_layer_set(c, t.sources);
}

// "-y".  With a ":" it is one layer line: display colour, plot colour, type, sequence and name; when the
// number read for the sequence is not followed by ",", the line has the four-field form (no sequence,
// the name follows the type) and the sequence is the layer number.  Without ":", the number is the
// current layer and the whole table is cleared.  Numbers outside 0..255 name no layer: the line is
// ignored.
void apply_layer(Setup& s, Cursor& c) {
    int32_t layer = read_int(c);
    if (!valid_layer(layer)) {
        return;
    }
    if (c.sep != ':') {
        s.current_layer = layer;
        clear_layers(s);
        return;
    }
    LayerEntry& e = s.layers[static_cast<size_t>(layer)];
    uint32_t colour = read_hex(c);
    uint32_t plot = read_hex(c);
    uint8_t type = read_byte(c);
    Cursor name_start = c;
    int32_t sequence = read_int(c);
    if (c.sep != ',') {
        c = name_start;
        sequence = layer;
    }
    set_colour(e, colour);
    e.plot = plot;
    e.type = type;
    e.sequence = static_cast<uint8_t>(sequence & 0xFF);
    take_layer_name(e, c.rest());
}

void apply_dp(Setup& s, Cursor& c) {
    s.mask_increment = read_length(c);
    s.paste_decrement = read_length(c);
    s.plane_increment = read_length(c);
    s.plane_hole_decrement = read_length(c);
    s.gerber_fill_width = read_length(c);
}

// A Gerber fill line thinner than about 0.002 inch cannot be plotted once pads are grown or shrunk.
void floor_gerber_fill(Setup& s) {
    bool adjusted = s.mask_increment || s.paste_decrement || s.plane_increment || s.plane_hole_decrement;
    if (adjusted && s.gerber_fill_width < kMinGerberFill) {
        s.gerber_fill_width = kMinGerberFill;
    }
}

// --- Older dialect --------------------------------------------------------------------------------

bool ratnest_name(std::string_view name) {
    return name.starts_with("Ratnest") || name.starts_with("Ratsnest") || name.starts_with("Special");
}

// Older "-y": layer ":" display palette index "," type "," name; without ":" only the current layer.
void apply_old_layer(Setup& s, Cursor& c) {
    int32_t layer = read_int(c);
    if (!valid_layer(layer)) {
        return;
    }
    if (c.sep != ':') {
        s.current_layer = layer;
        return;
    }
    int32_t index = read_int(c);
    uint8_t type = read_byte(c);
    std::string_view rest = c.rest();
    // A yellow layer 15 named as the Ratnest was the older files' Ratnest layer.
    if (layer == 15) {
        s.old_ratnest15 = index == 14 && ratnest_name(rest);
        if (s.old_ratnest15) {
            layer = kRatnestLayer;
        }
    }
    LayerEntry& e = s.layers[static_cast<size_t>(layer)];
    set_colour(e, index >= 0 && index < 16 ? kDisplayPalette[index] : kNoColour);
    e.type = type;
    e.sequence = static_cast<uint8_t>(layer);
    take_layer_name(e, rest);
}

void apply_old_gm(Setup& s, Cursor& c) {
    int32_t v[8];
    for (int32_t& x : v) {
        x = read_int(c);
    }
    s.mode_lines = static_cast<uint8_t>((v[0] & 3) + 4 * (v[5] & 1));
    s.mode_pads = static_cast<uint8_t>((v[1] & 3) + 4 * (v[7] & 1));
    s.mode_text = static_cast<uint8_t>(v[2] & 3);
    s.mode_refs = static_cast<uint8_t>(v[4] & 0xFF);
}

void apply_old_gr(Setup& s, Cursor& c) {
    s.decimals = read_int(c);
    s.snap = read_dot_spacing(c);
    s.snap_index = 0;
    read_snap_table(c, s);
}

void apply_old_hm(Setup& s, Cursor& c) {
    uint32_t v[5];
    for (uint32_t& x : v) {
        x = static_cast<uint32_t>(read_int(c)); // only the low byte of the sum is kept
    }
    s.old_plot_mode = static_cast<uint8_t>((v[0] + 4 * v[1] + 16 * v[2] + (v[3] ? 64 : 0) + 128 * v[4]) & 0xFF);
}

// Sixteen hexadecimal digits: digit n is the plot palette index of layer n (a missing digit is 0).
void apply_old_hp(Setup& s, Cursor& c) {
    skip_blanks(c);
    for (int n = 0; n < 16; ++n) {
        char ch = c.peek();
        int d = 0;
        if (is_digit(ch)) {
            d = ch - '0';
        } else if (lower(ch) >= 'a' && lower(ch) <= 'f') {
            d = lower(ch) - 'a' + 10;
        } else {
            ch = 0;
        }
        if (ch) {
            ++c.p;
        }
        int layer = n == 15 && s.old_ratnest15 ? kRatnestLayer : n;
        s.layers[static_cast<size_t>(layer)].plot = kPlotPalette[d];
    }
}

void apply_old_hs(Setup& s, Cursor& c) {
    s.plot_scale = read_decimal(c);
    for (Coord& x : s.old_plot_extra) {
        x = read_length(c);
    }
    s.plot_xmin = read_length(c);
    s.plot_ymin = read_length(c);
    s.plot_xmax = read_length(c);
    s.plot_ymax = read_length(c);
}

void apply_old_nc(Setup& s, Cursor& c) {
    s.fill_iso_lines = read_length(c);
    s.fill_iso_pads = read_length(c);
    s.clear_line_line = read_length(c);
    s.clear_line_pad = read_length(c);
    s.clear_pad_pad = read_length(c);
    s.fill_width = read_length(c);
    std::memset(s.thermal_signal, 0, sizeof s.thermal_signal);
    std::memset(s.direct_signal, 0, sizeof s.direct_signal);
    s.flood_target = 0;
    s.flood_sources.reset();
}

// "-p45v25": the size's separator is the Pad type letter.
void apply_old_pad(Setup& s, Cursor& c) {
    Coord size = read_length(c);
    char letter = lower(c.sep);
    Coord hole = read_length(c);
    int32_t layer = read_int(c);
    s.pad_width = s.pad_height = size;
    s.pad_hole = hole;
    s.pad_layer = layer;
    switch (letter) {
    case 'z':
        s.pad_type = 0;
        break;
    case 'r':
        s.pad_type = 1;
        break;
    case 's':
        s.pad_type = 2;
        break;
    case 'v':
        s.pad_type = 3;
        s.via_diameter = size;
        s.via_hole = hole;
        s.via_layer = layer;
        break;
    default: // an unknown letter leaves the type as it was
        break;
    }
}

// The directive letters of a current-dialect line, as the writer's names ("gc", "gtt", "y").  Empty for
// a combination that is not listed.
std::string_view current_name(Cursor& c) {
    static constexpr std::string_view kG[] = {"gc", "gd", "gm", "gp", "gs", "gx", "gz", "ga", "gf"};
    static constexpr std::string_view kI[] = {"il", "iv", "ip", "it", "ix"};
    char a = take_letter(c);
    if (a == 'y') {
        return "y";
    }
    if (a == 'b') {
        return "b";
    }
    char b = take_letter(c);
    if (a == 'g') {
        if (b == 't') {
            char t = take_letter(c);
            return t == 't' ? "gtt" : t == 'b' ? "gtb" : "";
        }
        for (std::string_view n : kG) {
            if (n[1] == b) {
                return n;
            }
        }
    } else if (a == 'i') {
        for (std::string_view n : kI) {
            if (n[1] == b) {
                return n;
            }
        }
    } else if (a == 'd') {
        return b == 'p' ? "dp" : b == 'y' ? "dy" : "";
    }
    return "";
}

} // namespace

bool ApplyDirective(Setup& s, std::string_view line) {
    Cursor c(line);
    if (!directive_start(line, c)) {
        return false;
    }
    std::string_view name = current_name(c);
    if (name == "gc") {
        apply_gc(s, c);
    } else if (name == "gd") {
        apply_gd(s, c);
    } else if (name == "gm") {
        s.mode_lines = read_byte(c);
        s.mode_pads = read_byte(c);
        s.mode_text = read_byte(c);
        s.mode_refs = read_byte(c);
    } else if (name == "gp") {
        apply_gp(s, c);
    } else if (name == "gs") {
        apply_gs(s, c);
    } else if (name == "gx") {
        s.ext_xmin = read_length(c);
        s.ext_ymin = read_length(c);
        s.ext_xmax = read_length(c);
        s.ext_ymax = read_length(c);
    } else if (name == "gz") {
        s.origin_x = read_length(c);
        s.origin_y = read_length(c);
    } else if (name == "gtt") {
        apply_isolation(s.iso_top, c);
    } else if (name == "gtb") {
        apply_isolation(s.iso_bottom, c);
    } else if (name == "ga") {
        s.router_algorithms = static_cast<uint32_t>(read_int(c));
    } else if (name == "gf") {
        // Only a printable first character is a format code; anything else leaves none.
        char code = c.peek();
        s.format_code = at_or_below_blank(code) ? 0 : code;
    } else if (name == "il") {
        s.line_width = read_length(c);
    } else if (name == "iv") {
        s.via_layer = read_int(c);
        s.via_diameter = read_length(c);
        s.via_hole = read_length(c);
    } else if (name == "ip") {
        s.pad_type = read_int(c);
        s.pad_layer = read_int(c);
        s.pad_width = read_length(c);
        s.pad_height = read_length(c);
        s.pad_hole = read_length(c);
    } else if (name == "it") {
        s.text_height = read_length(c);
    } else if (name == "ix") {
        s.dim_text_size = read_length(c);
    } else if (name == "y") {
        apply_layer(s, c);
    } else if (name == "dp") {
        apply_dp(s, c);
        floor_gerber_fill(s);
    } else if (name == "dy") {
        apply_gerber_entry(s, c);
    } else if (name == "b") {
        apply_library(s, c);
    }
    return true;
}

bool ApplyOldDirective(Setup& s, std::string_view line) {
    Cursor c(line);
    if (!directive_start(line, c)) {
        return false;
    }
    char a = take_letter(c);
    char b = (a == 'd' || a == 'g' || a == 'h' || a == 'n') ? take_letter(c) : 0;
    switch (a) {
    case 'b':
        apply_library(s, c);
        break;
    case 'd':
        if (b == 'p') {
            s.mask_increment = read_length(c);
            s.paste_decrement = read_length(c);
            s.plane_increment = read_length(c);
            s.plane_hole_decrement = read_length(c);
            // Held to the same floor as the current "-dp", so a saved file reads back to the same value.
            floor_gerber_fill(s);
        } else if (b == 'y') {
            apply_gerber_entry(s, c);
        }
        break;
    case 'g':
        if (b == 'd') {
            s.grid_dots = read_dot_spacing(c);
        } else if (b == 'm') {
            apply_old_gm(s, c);
        } else if (b == 'r') {
            apply_old_gr(s, c);
        } else if (b == 'z') {
            s.origin_x = read_length(c);
            s.origin_y = read_length(c);
        }
        break;
    case 'h':
        if (b == 'm') {
            apply_old_hm(s, c);
        } else if (b == 'p') {
            apply_old_hp(s, c);
        } else if (b == 's') {
            apply_old_hs(s, c);
        }
        break;
    case 'l':
        s.line_width = read_length(c);
        break;
    case 'm':
        s.ext_xmin = read_length(c);
        s.ext_ymin = read_length(c);
        s.ext_xmax = read_length(c);
        s.ext_ymax = read_length(c);
        break;
    case 'n':
        if (b == 'c') {
            apply_old_nc(s, c);
        } else if (b == 'r') {
            s.router_algorithms = static_cast<uint32_t>(read_int(c));
        }
        break;
    case 'p':
        apply_old_pad(s, c);
        break;
    case 't':
        s.text_height = read_length(c);
        break;
    case 'y':
        apply_old_layer(s, c);
        break;
    default: // "-nh" and the other letters of older files carry nothing that is kept
        break;
    }
    return true;
}

bool ApplyDirective(std::string_view line) {
    if (!g_model || !M().current) {
        return false;
    }
    return ApplyDirective(M().setup(), line);
}

bool ApplyOldDirective(std::string_view line) {
    if (!g_model || !M().current) {
        return false;
    }
    return ApplyOldDirective(M().setup(), line);
}

} // namespace trazel::model
