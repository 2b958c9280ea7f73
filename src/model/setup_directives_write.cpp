// Setup directives: the writer of the current dialect (the Data file header and single lines).
#include "model/setup_directives.h"

#include <algorithm>
#include <cstring>

#include "model/fixed.h"
#include "model/model.h"
#include "model/numbers.h"

namespace trazel::model {

namespace {

// --- Writer ---------------------------------------------------------------------------------------

void put_fixed(std::string& o, int32_t v) {
    char b[24];
    o.append(b, write_fixed(b, v));
}

void put_int(std::string& o, int64_t v) {
    char b[24];
    o.append(b, write_int(b, v));
}

void put_hex(std::string& o, uint32_t v, int digits) {
    char b[8];
    o.append(b, write_hex(b, v, digits));
}

// A zero-terminated field of at most `size` bytes.
void put_field(std::string& o, const char* field, size_t size) {
    o.append(field, static_cast<size_t>(std::find(field, field + size, '\0') - field));
}

void put_set(std::string& o, const LayerSet& set) {
    for (size_t i = 0; i < set.size(); ++i) {
        if (set.test(i)) {
            o.push_back(',');
            put_int(o, static_cast<int64_t>(i));
        }
    }
}

void put_lengths(std::string& o, std::initializer_list<int32_t> values) {
    bool first = true;
    for (int32_t v : values) {
        if (!first) {
            o.push_back(',');
        }
        first = false;
        put_fixed(o, v);
    }
}

// The snap spacing with exactly |decimals| decimals (millimetres when negative), rounded half up, and
// its unit.  The decimals are held to what the reader can give back: 0..4 in inches, 1..3 in mm.
void put_snap(std::string& o, uint32_t value, int32_t decimals) {
    bool mm = decimals < 0;
    int d = mm ? std::clamp(-static_cast<int64_t>(decimals), int64_t{1}, int64_t{3})
               : std::clamp(static_cast<int64_t>(decimals), int64_t{0}, int64_t{4});
    uint64_t scale = 1;
    for (int i = 0; i < d; ++i) {
        scale *= 10;
    }
    // value / 2^32 inches, times 25.4 for mm, times 10^d, rounded: all exact in 64 bits.
    uint64_t num = static_cast<uint64_t>(value) * scale * (mm ? 254 : 10);
    uint64_t den = uint64_t{10} << 32;
    uint64_t q = (num + den / 2) / den;
    put_int(o, static_cast<int64_t>(q / scale));
    if (d > 0) {
        char digits[4];
        uint64_t f = q % scale;
        for (int i = d - 1; i >= 0; --i) {
            digits[i] = static_cast<char>('0' + f % 10);
            f /= 10;
        }
        o.push_back('.');
        o.append(digits, static_cast<size_t>(d));
    }
    o.append(mm ? "mm" : "\"");
}

// The grid dot spacing in F format from its upper 16 bits, rounded to the nearest unit: truncating would
// write a value that reads back one unit lower (.00006 inch would come back as .00005).
void put_dot_spacing(std::string& o, uint32_t dots) {
    uint64_t units = std::min<uint64_t>(round16(uint64_t{dots}), 0xFFFF);
    put_fixed(o, static_cast<int32_t>(units));
}

void write_isolation(std::string& o, const TrackIsolation& t) {
    put_int(o, t.passes);
    o.push_back(',');
    put_lengths(o, {t.iso_tool, t.iso_overlap, t.iso_clearance, t.flood_tool, t.flood_overlap, t.flood_clearance});
    // The name field is always written, empty or not, so the reader never takes the target for it.
    o.push_back(',');
    put_field(o, t.signal, sizeof t.signal);
    o.push_back(',');
    put_int(o, t.target);
    put_set(o, t.sources);
}

void write_layer_line(std::string& o, const Setup& s, int layer) {
    const LayerEntry& e = s.layers[static_cast<size_t>(layer)];
    o += "-y";
    put_int(o, layer);
    o.push_back(':');
    put_hex(o, e.colour, 8);
    o.push_back(',');
    put_hex(o, e.plot, 8);
    o.push_back(',');
    put_int(o, e.type);
    o.push_back(',');
    put_int(o, e.sequence);
    o.push_back(',');
    put_field(o, e.name, sizeof e.name);
}

void write_gerber_line(std::string& o, const GerberEntry& g) {
    o += "-dy";
    o.append(g.ext, 3);
    o.push_back(':');
    put_int(o, g.kind);
    put_set(o, g.layers);
}

// Appends one directive line without its line end.  Returns false for an unknown name.
bool write_directive(std::string& o, const Setup& s, std::string_view which) {
    if (which == "gc") {
        o += "-gc";
        put_lengths(o, {s.fill_iso_lines, s.fill_iso_pads, s.clear_line_line, s.clear_line_pad, s.clear_pad_pad,
                        s.fill_width, s.ratnest_width});
        o.push_back(',');
        put_field(o, s.thermal_signal, sizeof s.thermal_signal);
        o.push_back(',');
        put_field(o, s.direct_signal, sizeof s.direct_signal);
        o.push_back(',');
        put_int(o, s.flood_target);
        put_set(o, s.flood_sources);
    } else if (which == "gd") {
        o += "-gd";
        put_dot_spacing(o, s.grid_dots);
        for (uint32_t colour : {s.grid_colour, s.background, s.highlight, s.attention}) {
            o.push_back(',');
            put_hex(o, colour & 0xFFFFFF, 6);
        }
    } else if (which == "gm") {
        o += "-gm";
        put_int(o, s.mode_lines);
        o.push_back(',');
        put_int(o, s.mode_pads);
        o.push_back(',');
        put_int(o, s.mode_text);
        o.push_back(',');
        put_int(o, s.mode_refs);
    } else if (which == "gp") {
        o += "-gp";
        put_int(o, s.plot_options);
        o.push_back(',');
        put_int(o, s.plot_omit);
        o.push_back(',');
        put_lengths(o, {s.plot_scale, s.plot_xmin, s.plot_ymin, s.plot_xmax, s.plot_ymax});
        o.push_back(',');
        put_int(o, s.plot_depth);
    } else if (which == "gs") {
        o += "-gs";
        put_snap(o, s.snap, s.decimals);
        o.push_back(',');
        put_int(o, s.snap_index);
        for (const auto& e : s.snap_table) {
            if (e[0]) {
                o.push_back(',');
                put_field(o, e.data(), e.size());
            }
        }
    } else if (which == "gx") {
        o += "-gx";
        put_lengths(o, {s.ext_xmin, s.ext_ymin, s.ext_xmax, s.ext_ymax});
    } else if (which == "gz") {
        o += "-gz";
        put_lengths(o, {s.origin_x, s.origin_y});
    } else if (which == "gtt" || which == "gtb") {
        o += which == "gtt" ? "-gtt" : "-gtb";
        write_isolation(o, which == "gtt" ? s.iso_top : s.iso_bottom);
    } else if (which == "ga") {
        o += "-ga";
        put_int(o, static_cast<int32_t>(s.router_algorithms)); // signed, so every mask reads back
    } else if (which == "gf") {
        o += "-gf";
        if (s.format_code) {
            o.push_back(s.format_code);
        }
    } else if (which == "il") {
        o += "-il";
        put_fixed(o, s.line_width);
    } else if (which == "iv") {
        o += "-iv";
        put_int(o, s.via_layer);
        o.push_back(',');
        put_lengths(o, {s.via_diameter, s.via_hole});
    } else if (which == "ip") {
        o += "-ip";
        put_int(o, s.pad_type);
        o.push_back(',');
        put_int(o, s.pad_layer);
        o.push_back(',');
        put_lengths(o, {s.pad_width, s.pad_height, s.pad_hole});
    } else if (which == "it") {
        o += "-it";
        put_fixed(o, s.text_height);
    } else if (which == "ix") {
        o += "-ix";
        put_fixed(o, s.dim_text_size);
    } else if (which == "y") {
        o += "-y";
        put_int(o, s.current_layer);
    } else if (which == "dp") {
        o += "-dp";
        put_lengths(
            o, {s.mask_increment, s.paste_decrement, s.plane_increment, s.plane_hole_decrement, s.gerber_fill_width});
    } else if (which == "dy") {
        o += "-dy";
    } else if (which == "b") {
        o += "-b";
    } else {
        return false;
    }
    return true;
}

// Ends a line: trailing blanks go (no line of the file keeps them), then CR LF.
void end_line(std::string& o, size_t start) {
    while (o.size() > start && o.back() == ' ') {
        o.pop_back();
    }
    o += "\r\n";
}

void put_line(std::string& o, std::string_view text) {
    size_t start = o.size();
    o += text;
    end_line(o, start);
}

void put_directive(std::string& o, const Setup& s, std::string_view which) {
    size_t start = o.size();
    write_directive(o, s, which);
    end_line(o, start);
}

} // namespace

std::string directive_line(const Setup& s, std::string_view which) {
    std::string name;
    for (char ch : which) {
        name.push_back(lower(ch));
    }
    if (!name.empty() && name[0] == '-') {
        name.erase(0, 1);
    }
    std::string out;
    if (!write_directive(out, s, name)) {
        // "y5", "dy2" and "b0" give one layer, Gerber or library line.
        size_t digits = name.find_first_of("0123456789");
        if (digits == std::string::npos || digits == 0) {
            return {};
        }
        std::string_view head(name.data(), digits);
        int n = 0;
        for (size_t i = digits; i < name.size(); ++i) {
            if (!is_digit(name[i]) || n > 255) {
                return {};
            }
            n = n * 10 + (name[i] - '0');
        }
        if (head == "y" && n <= 255) {
            write_layer_line(out, s, n);
        } else if (head == "dy" && n < static_cast<int>(s.gerber.size()) && s.gerber[static_cast<size_t>(n)].in_use()) {
            write_gerber_line(out, s.gerber[static_cast<size_t>(n)]);
        } else if (head == "b" && n < static_cast<int>(s.libraries.size()) && s.libraries[static_cast<size_t>(n)][0]) {
            out = "-b";
            put_field(out, s.libraries[static_cast<size_t>(n)].data(), s.libraries[0].size());
        } else {
            return {};
        }
    }
    while (!out.empty() && out.back() == ' ') {
        out.pop_back();
    }
    return out;
}

void WriteSetup(const Setup& s, std::string& out) {
    put_line(out, "Setup parameters:");
    for (std::string_view d : {"gc", "gd", "gm", "gp", "gs", "gx", "gz", "gtt", "gtb", "ga", "gf"}) {
        put_directive(out, s, d);
    }
    put_line(out, "");
    put_line(out, "Item parameters:");
    for (std::string_view d : {"il", "iv", "ip", "it", "ix"}) {
        put_directive(out, s, d);
    }
    put_line(out, "");
    put_line(out, "Layer/color/plot/type/sequence/name table:");
    // The current-layer line clears the table when read, so it comes before the layer lines.
    put_directive(out, s, "y");
    for (int i = 0; i < static_cast<int>(s.layers.size()); ++i) {
        if (i == kPadMasterLayer || s.layers[static_cast<size_t>(i)].in_use()) {
            size_t start = out.size();
            write_layer_line(out, s, i);
            end_line(out, start);
        }
    }
    put_line(out, "");
    put_line(out, "Gerber parameters:");
    put_directive(out, s, "dp");
    put_directive(out, s, "dy");
    for (const GerberEntry& g : s.gerber) {
        if (g.in_use()) {
            size_t start = out.size();
            write_gerber_line(out, g);
            end_line(out, start);
        }
    }
    put_line(out, "");
    put_line(out, "Component libraries:");
    put_directive(out, s, "b");
    for (const auto& l : s.libraries) {
        if (l[0]) {
            size_t start = out.size();
            out += "-b";
            put_field(out, l.data(), l.size());
            end_line(out, start);
        }
    }
    put_line(out, "");
}

} // namespace trazel::model

