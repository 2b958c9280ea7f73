// The version 3.8 writer: the older dialect's header, the Layer table as palette indexes, and the Item
// records in whole thousandths of an inch and 1/256 turns.
#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "model/datafile.h"
#include "model/numbers.h"
#include "model/old_format.h"
#include "model/old_losses.h"
#include "model/record_line.h"
#include "model/setup_directives.h"

namespace trazel::model {

int nearest_palette_index(uint32_t colour, bool plot) {
    if (colour & kNoColour) {
        return 0;
    }
    // An entry's own colour first: the rules below would turn several entries into others, and every
    // read and write of an older file would drift its colours.
    const uint32_t* palette = plot ? kPlotPalette : kDisplayPalette;
    for (int i = 1; i < 16; ++i) {
        if (palette[i] == colour) {
            return i;
        }
    }
    // The plot palette is the display palette's complement (white paper instead of a black screen).
    uint32_t c = plot ? ~colour & 0xFFFFFF : colour & 0xFFFFFF;
    uint32_t r = (c >> 16) & 0xFF, g = (c >> 8) & 0xFF, b = c & 0xFF;
    if (r >= 170 && g >= 170 && b < 86) {
        return 14;
    }
    int index = 4 * (r >= 128) + 2 * (g >= 128) + (b >= 128);
    if (r > 63 && g > 63 && b > 63) {
        index += 8;
    }
    return index == 0 ? 7 : index;
}

namespace {

constexpr Angle kQuarter = 16384;


uint8_t anchor_of(const Node& t) {
    return t.text.anchor_font & 15;
}

// Order of the kinds after the Components, as in the Data file: Point groups, Texts, Pads, Arcs, Lines.
int kind_rank(uint8_t kind) {
    switch (kind) {
    case kPointGroup:
        return 0;
    case kText:
        return 1;
    case kPad:
        return 2;
    case kArc:
        return 3;
    case kLine:
        return 4;
    default:
        return -1;
    }
}

bool through_hole(const Node& pad) {
    return (pad.size & 4) == 0;
}

// The sort key of an Item that is not a Component: kind, then layer (through-hole Pads on layer 0, as
// their records say).  -1 when the Item is not written.
int order_key(Ref r, const Setup& s, std::string& scratch) {
    const Node& n = node(r);
    if (n.hidden()) {
        return -1;
    }
    int rank = kind_rank(n.item_kind());
    if (rank < 0) {
        return -1;
    }
    if (n.item_kind() == kText && !version38_text(r, s, scratch)) {
        return -1;
    }
    int layer = n.item_kind() == kPad && through_hole(n) ? 0 : n.layer;
    return rank * 256 + layer;
}

// Kind by kind, layer by layer, ring order within each: a stable counting sort on the small key (a
// board's top ring holds nearly every Item).
void sort_keyed(std::vector<std::pair<uint16_t, Ref>>& v, std::vector<std::pair<uint16_t, Ref>>& spare) {
    if (v.size() <= 32) {
        std::stable_sort(v.begin(), v.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
        return;
    }
    constexpr int kKeys = 5 * 256;
    std::array<uint32_t, kKeys + 1> start{};
    for (auto& e : v) {
        ++start[e.first + 1u];
    }
    for (int k = 0; k < kKeys; ++k) {
        start[k + 1] += start[k];
    }
    spare.resize(v.size());
    for (auto& e : v) {
        spare[start[e.first]++] = e;
    }
    v.swap(spare);
}

// Whether a Component has a member that is written (it is not written otherwise).
bool has_written_member(Ref c, const Setup& s, std::string& scratch, int depth) {
    if (depth >= kMaxComponentDepth) {
        return false;
    }
    for (Ref m : items_in(member_ring(c))) {
        const Node& n = node(m);
        if (n.hidden()) {
            continue;
        }
        if (n.item_kind() == kComponent ? has_written_member(m, s, scratch, depth + 1) : order_key(m, s, scratch) >= 0) {
            return true;
        }
    }
    return false;
}

struct Writer : RecordLineWriter {
    const Setup& setup;
    bool schematic = false;
    std::string text;
    std::vector<std::vector<std::pair<uint16_t, Ref>>> scratch;
    std::vector<std::pair<uint16_t, Ref>> spare;

    Writer(OutBuffer& o, const Setup& s) : RecordLineWriter(o), setup(s) {
    }

    void len(int64_t v) {
        i(units_to_old_length(v));
    }

    void write_solid(const Node& n) {
        Coord x1 = INT32_MAX, y1 = INT32_MAX, x2 = INT32_MIN, y2 = INT32_MIN;
        for (Ref p = n.link; p != kNone; p = node(p).link) {
            x1 = std::min(x1, node(p).line.x1), y1 = std::min(y1, node(p).line.y1);
            x2 = std::max(x2, node(p).line.x1), y2 = std::max(y2, node(p).line.y1);
        }
        start('1');
        layer(n.layer);
        i(0), len(x1), len(y1), len(x2), len(y2);
        end_line();
        for (Ref p = n.link; p != kNone; p = node(p).link) {
            start('1');
            layer(n.layer);
            i(0), len(node(p).line.x1), len(node(p).line.y1);
            end_line();
        }
    }

    void write_pad(Ref r, const Node& n) {
        start('3');
        int type = n.size & 3;
        if (through_hole(n)) {
            // Through-hole: on layer 0, the Pad's own layer in bits 4-7 (none above layer 15 fits).
            layer(0);
            i(type | (n.layer <= 15 ? n.layer << 4 : 0));
        } else {
            layer(n.layer);
            i(type);
        }
        Length w = n.pad.width, h = n.pad.height;
        if (n.pad.angle == kQuarter || n.pad.angle == 3 * kQuarter) {
            std::swap(w, h); // no angle field: a quarter turn is the footprint turned
        }
        len(n.pad.x0), len(n.pad.y0), len(w), len(h), len(n.pad.hole);
        uint32_t pin = n.pad.pin;
        if (pin < static_cast<uint32_t>(kPinNumberLimit)) {
            i(pin);
        } else {
            const unsigned char* b = node(pin).bytes();
            for (int k = 0; k < kChainBytes && b[k] > ' '; ++k) {
                line.push_back(static_cast<char>(b[k]));
            }
            line.push_back(' ');
        }
        signal_of(r);
        end_line();
    }

    void write_text(Ref r, const Node& n) {
        if (!version38_text(r, setup, text)) {
            return;
        }
        Point p = version38_text_corner(n, version38_text_in_place(n, setup));
        start('4');
        layer(n.layer);
        // A mirrored text (negative length) is marked by a negative height.
        int32_t h = units_to_old_length(n.size);
        i(n.text.length < 0 ? -h : h);
        len(p.x), len(p.y), len(std::abs(int64_t{n.text.length}));
        i(n.text.angle);
        line += text;
        end_line();
    }

    void write_item(Ref r) {
        const Node& n = node(r);
        switch (n.item_kind()) {
        case kLine:
            if (n.size == 0 && n.link != kNone) {
                write_solid(n);
                return;
            }
            start('1');
            layer(n.layer);
            // A track thinner than half a thousandth still has a width: written as 0 it would come back
            // as a filled rectangle.
            i(n.size == 0 ? 0 : std::max(1, units_to_old_length(n.size)));
            len(n.line.x1), len(n.line.y1), len(n.line.x2), len(n.line.y2);
            if (n.size != 0) {
                signal_of(r);
            }
            end_line();
            return;
        case kArc:
            start('2');
            layer(n.layer);
            len(n.size), len(n.arc.x0), len(n.arc.y0), len(n.arc.radius);
            i(angle_to_short_angle(n.arc.start));
            i(angle_to_short_angle(n.arc.sweep));
            i(field_to_short_fraction(n.arc.ellipse));
            i(angle_to_short_angle(n.arc.angle));
            signal_of(r);
            end_line();
            return;
        case kPad:
            write_pad(r, n);
            return;
        case kText:
            write_text(r, n);
            return;
        case kPointGroup:
            start('5');
            i(n.layer);
            i(n.size >> 8);
            len(n.box.x1), len(n.box.y1), len(n.box.x2), len(n.box.y2);
            end_line();
            return;
        default:
            return;
        }
    }

    void write_component(Ref c, int depth) {
        const Node& n = node(c);
        start('6');
        i(n.layer);
        i(angle_to_short_angle(n.size));
        len(n.box.x1), len(n.box.y1), len(n.box.x2), len(n.box.y2);
        text = component_parameters(c);
        size_t lead = 0;
        while (lead < text.size() && static_cast<unsigned char>(text[lead]) <= ' ') {
            ++lead;
        }
        text.erase(0, lead);
        while (!text.empty() && (text.back() == ' ' || text.back() == '\x7F')) {
            text.pop_back();
        }
        for (char& ch : text) {
            ch = ch == '\r' || ch == '\n' ? '\xFF' : ch;
        }
        if (text.size() > kMaxRecordText) {
            text.resize(kMaxRecordText);
        }
        line += text.empty() ? std::string("*") : text;
        end_line();
        Ref head = member_ring(c);
        write_ring(head, depth + 1);
        const Node& h = node(head);
        start('0');
        i(h.layer);
        i(h.size);
        len(h.box.x1), len(h.box.y1);
        end_line();
    }

    void write_ring(Ref head, int depth) {
        if (depth < kMaxComponentDepth) {
            for (Ref r : items_in(head)) {
                if (node(r).item_kind() == kComponent && !node(r).hidden() &&
                    has_written_member(r, setup, text, depth)) {
                    write_component(r, depth);
                }
            }
        }
        if (scratch.size() <= static_cast<size_t>(depth)) {
            scratch.resize(static_cast<size_t>(depth) + 1);
        }
        // Moved out while in use: a nested ring may grow the vector of vectors.
        auto items = std::move(scratch[static_cast<size_t>(depth)]);
        items.clear();
        for (Ref r : items_in(head)) {
            int key = order_key(r, setup, text);
            if (key >= 0) {
                items.emplace_back(static_cast<uint16_t>(key), r);
            }
        }
        sort_keyed(items, spare);
        for (auto& [key, r] : items) {
            write_item(r);
        }
        scratch[static_cast<size_t>(depth)] = std::move(items);
    }

    // --- Header ---------------------------------------------------------------------------------
    void directive(std::string_view name) {
        line.clear();
        line += name;
    }
    void field(int64_t v, bool first = false) {
        if (!first) {
            line.push_back(',');
        }
        char b[24];
        line.append(b, write_int(b, v));
    }
    void field_len(int64_t v, bool first = false) {
        field(units_to_old_length(v), first);
    }
    void put_line() {
        line.append("\r\n");
        out.put(line);
    }
    // A fraction of an inch (0.32) in whole thousandths.
    static int64_t fraction_mils(uint32_t f) {
        return (static_cast<uint64_t>(f) * 1000 + (uint64_t{1} << 31)) >> 32;
    }

    void write_header() {
        const Setup& s = setup;
        out.put(kVersion38Title);
        out.put("\r\n\r\n");
        directive("-m");
        field_len(s.ext_xmin, true), field_len(s.ext_ymin), field_len(s.ext_xmax), field_len(s.ext_ymax);
        put_line();
        directive("-hp");
        for (int n = 0; n < 16; ++n) {
            line.push_back("0123456789ABCDEF"[nearest_palette_index(s.layers[static_cast<size_t>(n)].plot, true)]);
        }
        put_line();
        // The plot scale with four decimals.
        int64_t scale = s.plot_scale;
        int64_t tenk = (std::abs(scale) * 10000 + 32768) >> 16;
        char b[32];
        std::snprintf(b, sizeof b, "-hs%s%lld.%04lld", scale < 0 ? "-" : "", static_cast<long long>(tenk / 10000),
                      static_cast<long long>(tenk % 10000));
        directive(b);
        for (Coord v : s.old_plot_extra) {
            field_len(v);
        }
        field_len(s.plot_xmin), field_len(s.plot_ymin), field_len(s.plot_xmax), field_len(s.plot_ymax);
        put_line();
        uint8_t m = s.old_plot_mode;
        directive("-hm");
        field(m & 3, true), field((m >> 2) & 3), field((m >> 4) & 3), field((m >> 6) & 1), field((m >> 7) & 1);
        put_line();
        directive("-gr");
        field(s.decimals, true), field(fraction_mils(s.snap));
        for (const auto& e : s.snap_table) {
            if (e[0]) {
                line.push_back(',');
                line.append(e.data(), strnlen(e.data(), e.size()));
            }
        }
        put_line();
        directive("-gm");
        field(s.mode_lines & 3, true), field(s.mode_pads & 3), field(s.mode_text & 3), field(1);
        field(s.mode_refs & 1), field((s.mode_lines >> 2) & 1), field((s.mode_pads >> 3) & 1),
            field((s.mode_pads >> 2) & 1);
        put_line();
        directive("-gd");
        field(fraction_mils(s.grid_dots), true);
        put_line();
        directive("-gz");
        field_len(s.origin_x, true), field_len(s.origin_y);
        put_line();
        directive("-l");
        field_len(s.line_width, true);
        put_line();
        directive("-p");
        field_len(s.via_diameter, true);
        line.push_back('v');
        field_len(s.via_hole, true);
        field(s.via_layer);
        put_line();
        directive("-p");
        field_len(s.pad_width, true);
        line.push_back(s.pad_type == 2 ? 's' : 'r');
        field_len(s.pad_hole, true);
        field(s.pad_layer);
        put_line();
        directive("-t");
        field_len(s.text_height, true);
        put_line();
        directive("-nr");
        field(s.router_algorithms, true);
        put_line();
        directive("-nh2");
        put_line();
        directive("-nc");
        field_len(s.fill_iso_lines, true), field_len(s.fill_iso_pads), field_len(s.clear_line_line);
        field_len(s.clear_line_pad), field_len(s.clear_pad_pad), field_len(s.fill_width);
        put_line();
        out.put("\r\n");

        for (int n = 0; n < 16; ++n) {
            int l = n == 15 && s.layers[kRatnestLayer].name[0] ? kRatnestLayer : n;
            const LayerEntry& e = s.layers[static_cast<size_t>(l)];
            directive("-y");
            field(l, true);
            line.push_back(':');
            field(nearest_palette_index(e.colour, false), true);
            field(e.type);
            line.push_back(',');
            line.append(e.name, strnlen(e.name, sizeof e.name));
            put_line();
        }
        directive("-y");
        field(s.current_layer, true);
        put_line();
        out.put("\r\n");

        directive("-dp");
        field_len(s.mask_increment, true), field_len(s.paste_decrement), field_len(s.plane_increment);
        field_len(s.plane_hole_decrement);
        put_line();
        out.put("-dy\r\n");
        for (const GerberEntry& g : s.gerber) {
            if (!g.in_use()) {
                continue;
            }
            directive("-dy");
            line.append(g.ext, strnlen(g.ext, 3));
            line.push_back(':');
            field(g.kind, true);
            for (size_t k = 0; k < g.layers.size(); ++k) {
                if (g.layers[k]) {
                    field(static_cast<int64_t>(k));
                }
            }
            put_line();
        }
        out.put("\r\n-b\r\n");
        for (const auto& lib : s.libraries) {
            if (!lib[0]) {
                break;
            }
            directive("-b");
            line.append(lib.data(), strnlen(lib.data(), lib.size()));
            put_line();
        }
        out.put("\r\n");
    }
};

} // namespace

bool version38_text(Ref t, const Setup& s, std::string& out) {
    out.clear();
    const Node& n = node(t);
    if (is_signal_record(n.link)) {
        const unsigned char* b = node(n.link).bytes();
        for (int k = 0; k < kChainBytes && b[k] != 0 && b[k] != 0xFF; ++k) {
            out.push_back(static_cast<char>(b[k]));
        }
    } else {
        for (Ref c = n.link; c != kNone && out.size() < kMaxRecordText; c = node(c).link) {
            const unsigned char* b = node(c).bytes();
            int k = 0;
            for (; k < kChainBytes && b[k] != 0 && out.size() < kMaxRecordText; ++k) {
                // CR and LF would end the record early: the line-break code stands for them.
                out.push_back(static_cast<char>(b[k] == '\r' || b[k] == '\n' ? 0xFF : b[k]));
            }
            if (k < kChainBytes) {
                break;
            }
        }
    }
    if (s.layers[n.layer].kind() == kLayerSchematic) {
        // Read back as a Signal label: what a Signal name can hold.
        size_t k = 0;
        for (; k < out.size() && k < static_cast<size_t>(kSignalNameMax); ++k) {
            unsigned char ch = static_cast<unsigned char>(out[k]);
            if (ch <= ' ' || ch == 0xFF) {
                break;
            }
        }
        out.resize(k);
    }
    while (!out.empty() && out.back() == ' ') {
        out.pop_back();
    }
    return !out.empty();
}

bool version38_text_in_place(const Node& t, const Setup& s) {
    return t.layer == 2 && IsSchematic(s);
}

Point version38_text_corner(const Node& t, bool anchor0) {
    Point off = anchor0 ? Point{0, 0} : text_corner_offset(anchor_of(t), t.size, t.text.length, t.text.angle);
    return Point{clamp_coord(int64_t{t.text.x0} + off.x), clamp_coord(int64_t{t.text.y0} + off.y)};
}

namespace {

void items_of_ring(Ref ring, const Setup& s, std::vector<Ref>& out, int depth) {
    std::string scratch;
    std::vector<Ref> comps;
    for (Ref r : items_in(ring)) {
        if (depth < kMaxComponentDepth && node(r).item_kind() == kComponent && !node(r).hidden() &&
            has_written_member(r, s, scratch, depth)) {
            comps.push_back(r);
        }
    }
    std::vector<std::pair<std::array<char, 128>, Ref>> keyed;
    for (Ref c : comps) {
        keyed.emplace_back(ComponentKey(c), c);
    }
    std::stable_sort(keyed.begin(), keyed.end(),
                     [](const auto& a, const auto& b) { return std::memcmp(a.first.data(), b.first.data(), 128) < 0; });
    for (auto& [key, c] : keyed) {
        out.push_back(c);
        items_of_ring(member_ring(c), s, out, depth + 1);
    }
    std::vector<std::pair<uint16_t, Ref>> items;
    for (Ref r : items_in(ring)) {
        int key = order_key(r, s, scratch);
        if (key >= 0) {
            items.emplace_back(static_cast<uint16_t>(key), r);
        }
    }
    std::vector<std::pair<uint16_t, Ref>> spare;
    sort_keyed(items, spare);
    for (auto& [key, r] : items) {
        out.push_back(r);
    }
}

} // namespace

void version38_items(Ref ring, const Setup& s, std::vector<Ref>& out) {
    items_of_ring(ring, s, out, 0);
}

bool WriteVersion38File(OutBuffer& out) {
    if (!M().current) {
        return false;
    }
    Document& d = *M().current;
    Writer w(out, d.setup);
    w.library = is_library_name(d.name());
    w.schematic = IsSchematic(d.setup);
    w.prepare_layers();
    w.write_header();
    w.write_ring(d.ring(), 0);
    out.put("\r\nEND OF FILE\r\n");
    // Pictures are not written: the older pixel block format is not known (the loss report says so).
    return !out.failed();
}

} // namespace trazel::model
