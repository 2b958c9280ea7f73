// The readers of the version 2 and version 3 data files.  Their records are the Data file's Items in
// whole thousandths and short angles; Components open and close through the Data file reader's own ring
// code (RecordRings), so they nest, are limited and are re-sorted exactly as a Data file's would be.
//
// Choices where the files leave room:
// - A negative text height marks a mirrored text.  The sign of the length field is not looked at: the
//   Item gets the length's magnitude, made negative for a mirrored text.  The written point is the
//   text's start corner, so a mirrored text runs back from it along its angle.
// - A version 2 text before m = 6 gives an end point.  Its angle is that of the dominant axis of the
//   direction from the start (0, 90, 180 or 270 degrees); an exact diagonal counts as horizontal, and a
//   zero direction gives 0 degrees.  The length is the distance along that axis.
// - The version 2 "-gd" is a plain length: thousandths to units first, then the units become the dot
//   spacing's fraction of an inch.
// - Sizes that do not fit their 16-bit field (widths, pad sizes, heights, heights times 6) are held to
//   the largest value and reported once per file; pictures in the older block format are not read and
//   their number is reported.
#include <algorithm>
#include <cstring>

#include "model/datafile.h"
#include "model/numbers.h"
#include "model/old_format.h"
#include "model/setup_directives.h"
#include "platform/platform.h"

namespace trazel::model {

namespace {

constexpr std::string_view kOldPictureMark = "PIX96b";

struct OldRead {
    Document& d;
    RecordRings rings;
    int version;          // 3 or 2
    int minor = 0;        // m of a version 2 file
    long clamped = 0;     // sizes held to their 16-bit field
    long pictures = 0;    // older picture blocks left out
    bool out_of_nodes = false;

    OldRead(Document& doc, int v) : d(doc), rings(doc.ring()), version(v) {
    }
    // Lines and Pads of early version 2 files carry no Signal names.
    bool signals_on_lines_and_pads() const {
        return version == 3 || minor >= 5;
    }
};

std::string_view trim_end(std::string_view s, bool separators) {
    while (!s.empty() && (s.back() == ' ' || (separators && s.back() == '\x7F'))) {
        s.remove_suffix(1);
    }
    return s;
}

// Version 3 layers may be symbolic (library files); version 2 layers are numbers only.
uint8_t layer_field(const OldRead& r, Cursor& c) {
    if (r.version == 3) {
        return static_cast<uint8_t>(ResolveLayer(record_token(c)));
    }
    return static_cast<uint8_t>(read_int(c) & 0xFF);
}

Coord coord(Cursor& c) {
    return old_length_to_units(read_int(c));
}

Length hold16(OldRead& r, int64_t units) {
    if (units < 0 || units > 65535) {
        ++r.clamped;
        return static_cast<Length>(units < 0 ? 0 : 65535);
    }
    return static_cast<Length>(units);
}

Length length16(OldRead& r, Cursor& c) {
    return hold16(r, old_length_to_units(read_int(c)));
}

void read_line_record(OldRead& r, Cursor& c) {
    uint8_t layer = layer_field(r, c);
    // The Ratnest layer of these files was layer 15; once layer 255 is named its Lines go there.
    if (layer == 15 && r.d.setup.layers[kRatnestLayer].in_use()) {
        layer = kRatnestLayer;
    }
    Length width = length16(r, c);
    Coord x1 = coord(c), y1 = coord(c);
    Ref ring = r.rings.ring();
    if (!record_more_follows(c)) {
        if (width != 0) {
            return;
        }
        // A vertex of the Solid just before it.
        Ref last = last_item(ring);
        if (last != kNone && (node(last).kind & (kKindMask | kHiddenFlag)) == kLine && node(last).size == 0 &&
            node(last).layer == layer && !add_vertex(last, x1, y1)) {
            r.out_of_nodes = true;
        }
        return;
    }
    Coord x2 = coord(c), y2 = coord(c);
    Ref item = MakeItem(ring, kLine, layer, width, x1, y1, x2, y2);
    if (item == kNone) {
        r.out_of_nodes = true;
        return;
    }
    if (width != 0 && r.signals_on_lines_and_pads()) {
        r.rings.attach_signal(item, c.rest());
    }
}

void read_arc(OldRead& r, Cursor& c) {
    uint8_t layer = layer_field(r, c);
    Length width = length16(r, c);
    Coord x0 = coord(c), y0 = coord(c), radius = coord(c);
    radius = radius < 0 ? -radius : radius;
    int64_t start = read_int(c), sweep = read_int(c);
    if (sweep < 0) {
        start += sweep;
        sweep = -sweep;
    }
    uint16_t ellipse = short_fraction_to_field(read_int(c));
    Angle angle = short_angle_to_angle(read_int(c));
    Ref item = MakeItem(r.rings.ring(), kArc, layer, width, x0, y0, radius, 0);
    if (item == kNone) {
        r.out_of_nodes = true;
        return;
    }
    Node& n = node(item);
    n.arc.start = short_angle_to_angle(start);
    n.arc.sweep = short_angle_to_angle(sweep);
    n.arc.ellipse = ellipse;
    n.arc.angle = angle;
    r.rings.attach_signal(item, c.rest());
}

void read_pad(OldRead& r, Cursor& c) {
    uint8_t layer = layer_field(r, c);
    int32_t field = read_int(c);
    Coord x0 = coord(c), y0 = coord(c);
    Length w = length16(r, c), h = length16(r, c), hole = length16(r, c);
    // A through-hole pad is written on layer 0 with its own layer in bits 4-7 of the type field; one
    // written on its own layer is surface mount.
    uint16_t type = static_cast<uint16_t>(field & 7);
    if (layer != 0) {
        type |= 4;
    } else {
        layer = static_cast<uint8_t>((field >> 4) & 15);
    }
    Ref item = MakeItem(r.rings.ring(), kPad, layer, type, x0, y0, 0, 0);
    if (item == kNone) {
        r.out_of_nodes = true;
        return;
    }
    Node& n = node(item);
    n.pad.width = w;
    n.pad.height = h;
    n.pad.hole = hole;
    n.pad.angle = 0;
    n.pad.pin = 0;
    std::string_view pin = record_pin_field(c);
    if (!SetPin(item, pin.substr(0, std::min<size_t>(pin.size(), kChainBytes)))) {
        r.out_of_nodes = true;
    }
    if (r.signals_on_lines_and_pads()) {
        r.rings.attach_signal(item, c.rest());
    }
}

// The angle and length of an early version 2 text from its end point (see the top of the file).
void direction_to_angle(int64_t dx, int64_t dy, Angle& angle, int64_t& along) {
    int64_t ax = dx < 0 ? -dx : dx, ay = dy < 0 ? -dy : dy;
    if (ax >= ay) {
        angle = dx < 0 ? 32768 : 0;
        along = ax;
    } else {
        angle = dy < 0 ? 49152 : 16384;
        along = ay;
    }
}

void read_text(OldRead& r, Cursor& c) {
    uint8_t layer = layer_field(r, c);
    int64_t h = read_int(c);
    bool mirrored = h < 0;
    h = mirrored ? -h : h;
    if (r.version == 2 && r.minor < 5) {
        h *= 6; // early version 2 heights are in sixths of the later unit
    }
    Length height = hold16(r, old_length_to_units(h));
    Coord x0 = coord(c), y0 = coord(c);
    int64_t length;
    Angle angle;
    if (r.version == 2 && r.minor < 6) {
        Coord x2 = coord(c), y2 = coord(c);
        direction_to_angle(static_cast<int64_t>(x2) - x0, static_cast<int64_t>(y2) - y0, angle, length);
    } else {
        Coord l = coord(c);
        length = l < 0 ? -static_cast<int64_t>(l) : l;
        angle = static_cast<Angle>(read_int(c));
    }
    if (mirrored) {
        length = -length;
    }
    std::string_view text = trim_end(c.rest(), false);
    if (text.empty()) {
        return;
    }
    // A text on a schematic layer is a Signal label, anchored at its base line a third of the height in.
    // Layer 2 of a schematic is written at the anchor point itself, so it is read back unmoved.
    bool label = r.d.setup.layers[layer].kind() == kLayerSchematic;
    int anchor = label ? 15 : 0;
    bool in_place = layer == 2 && IsSchematic(r.d.setup);
    Point off = in_place ? Point{0, 0} : text_corner_offset(anchor, height, clamp_coord(length), angle);
    Coord ax = clamp_coord(static_cast<int64_t>(x0) - off.x), ay = clamp_coord(static_cast<int64_t>(y0) - off.y);
    Ref item = MakeItem(r.rings.ring(), kText, layer, height, ax, ay, clamp_coord(length), 0);
    if (item == kNone) {
        r.out_of_nodes = true;
        return;
    }
    Node& n = node(item);
    n.text.angle = angle;
    n.text.anchor_font = static_cast<uint8_t>(anchor); // font 0
    bool kept = label ? r.rings.attach_signal(item, text) : SetText(item, text);
    if (!kept) {
        if (!label) {
            r.out_of_nodes = true;
        }
        DeleteItem(item);
    }
}

void read_component(OldRead& r, Cursor& c) {
    uint8_t layer = static_cast<uint8_t>(read_int(c) & 0xFF);
    int32_t a = read_int(c);
    // Version 3 turns Components in short angles; version 2 keeps the number as it is.
    Angle angle = r.version == 3 ? short_angle_to_angle(a) : static_cast<Angle>(a);
    Coord x1 = coord(c), y1 = coord(c), x2 = coord(c), y2 = coord(c);
    std::string_view rest = c.rest();
    std::string_view params = rest.empty() || static_cast<unsigned char>(rest[0]) <= ' ' ? std::string_view("*")
                                                                                          : trim_end(rest, true);
    Ref item = r.rings.open_component(layer, angle, params.empty() ? std::string_view("*") : params);
    if (item == kNone) {
        return;
    }
    Node& n = node(item);
    n.box.x1 = x1;
    n.box.y1 = y1;
    n.box.x2 = x2;
    n.box.y2 = y2;
}

void read_closing(OldRead& r, Cursor& c) {
    read_int(c); // owner kind and size field: only the writer's concern
    read_int(c);
    Coord hx = coord(c), hy = coord(c);
    r.rings.close(kComponent, 0, hx, hy);
}

void read_record(OldRead& r, std::string_view rec) {
    Cursor c(rec.substr(2));
    switch (rec[0]) {
    case '0':
        read_closing(r, c);
        break;
    case '1':
        read_line_record(r, c);
        break;
    case '2':
        read_arc(r, c);
        break;
    case '3':
        read_pad(r, c);
        break;
    case '4':
        read_text(r, c);
        break;
    case '6':
        read_component(r, c);
        break;
    default: // "5" point groups and "7" are not read
        break;
    }
}

// The older picture blocks are not read; they are counted so the user learns what was left out.
long count_old_pictures(LineReader& in) {
    long n = 0;
    char buf[4096 + 8];
    size_t keep = 0; // the tail of the last piece, so a mark across two pieces is found
    for (;;) {
        size_t got = in.ReadBytes(buf + keep, 4096);
        if (got == 0) {
            break;
        }
        std::string_view s(buf, keep + got);
        for (size_t at = s.find(kOldPictureMark); at != std::string_view::npos;
             at = s.find(kOldPictureMark, at + kOldPictureMark.size())) {
            ++n;
        }
        keep = std::min(s.size(), kOldPictureMark.size() - 1);
        std::memmove(buf, s.data() + s.size() - keep, keep);
    }
    return n;
}

bool is_version2_letters(std::string_view line, char a, char b) {
    return line.size() >= 3 && lower(line[1]) == a && (b == 0 || lower(line[2]) == b);
}

// The version-2 dialect: the older one except for "-gd", "-nc" and "-y".
void apply_version2_directive(Setup& s, std::string_view line) {
    if (is_version2_letters(line, 'g', 'd')) {
        Cursor c(line.substr(3));
        int64_t units = old_length_to_units(read_int(c));
        s.grid_dots = static_cast<uint32_t>(std::clamp<int64_t>(units * 65536, 0, UINT32_MAX));
        return;
    }
    if (is_version2_letters(line, 'n', 'c')) {
        // The flood-fill names and layers stay as they were.
        char thermal[sizeof s.thermal_signal], direct[sizeof s.direct_signal];
        std::memcpy(thermal, s.thermal_signal, sizeof thermal);
        std::memcpy(direct, s.direct_signal, sizeof direct);
        int32_t target = s.flood_target;
        LayerSet sources = s.flood_sources;
        ApplyOldDirective(s, line);
        std::memcpy(s.thermal_signal, thermal, sizeof thermal);
        std::memcpy(s.direct_signal, direct, sizeof direct);
        s.flood_target = target;
        s.flood_sources = sources;
        return;
    }
    if (line.size() >= 2 && lower(line[1]) == 'y') {
        // Layer 15 stays layer 15, whatever its colour and name.
        LayerEntry ratnest = s.layers[kRatnestLayer];
        s.old_ratnest15 = false;
        ApplyOldDirective(s, line);
        if (s.old_ratnest15) {
            // Back to layer 15 all that the line set; the plot colour was not the line's to set.
            uint32_t plot = s.layers[15].plot;
            s.layers[15] = s.layers[kRatnestLayer];
            s.layers[15].plot = plot;
            s.layers[15].sequence = 15;
            s.layers[kRatnestLayer] = ratnest;
            s.old_ratnest15 = false;
        }
        return;
    }
    ApplyOldDirective(s, line);
}

// Every Line of width 0 still without vertices becomes the rectangle its two points span.
bool width0_lines_to_rectangles(Ref ring) {
    bool ok = true;
    walk_tree(ring, [&](Ref item, int) {
        Node& n = node(item);
        if (!ok || n.item_kind() != kLine || n.size != 0 || n.link != kNone) {
            return;
        }
        Coord x1 = n.line.x1, y1 = n.line.y1, x2 = n.line.x2, y2 = n.line.y2;
        ok = add_vertex(item, x1, y1) && add_vertex(item, x1, y2) && add_vertex(item, x2, y2) &&
             add_vertex(item, x2, y1);
    });
    return ok;
}

// Reads the lines up to the end of the Items; false when the pool ran out and reading stopped.
bool read_lines(OldRead& r, LineReader& in) {
    long line_no = 0;
    for (int n; (n = in.ReadLine()) != 0;) {
        ++line_no;
        if (n < 0) {
            continue;
        }
        std::string_view line = in.line();
        if (line.substr(0, kPixelMarker.size()) == kPixelMarker) {
            r.pictures = count_old_pictures(in);
            break;
        }
        if (line.empty()) {
            continue;
        }
        if (line[0] == '\x1A') {
            break; // the DOS end-of-file mark
        }
        if (line[0] == '-') {
            if (r.version == 2) {
                apply_version2_directive(r.d.setup, line);
            } else {
                ApplyOldDirective(r.d.setup, line);
            }
            continue;
        }
        if (line.size() >= 2 && line[0] >= '0' && line[0] <= '7' && line[1] == ' ') {
            read_record(r, line);
            if (r.out_of_nodes || r.rings.out_of_nodes()) {
                platform::P().report("The drawing is too large for memory: reading stopped at line " +
                                     std::to_string(line_no) + ".");
                return false;
            }
        }
    }
    return true;
}

char read_old_file(LineReader& in, int version) {
    if (!g_model || !M().current) {
        return 0;
    }
    Document& d = *M().current;
    if (d.undo_anchor == kNone) {
        d.undo_anchor = new_ring();
    }
    OldRead r(d, version);
    if (version == 3) {
        set_screen_colours(d.setup, 0xFFFFFF, 0x909090, 0xFFFFFF, 0xFFFF00);
        d.setup.iso_top = TrackIsolation{};
        d.setup.iso_bottom = TrackIsolation{};
    } else {
        r.minor = version2_minor(in.head());
        char thermal[sizeof d.setup.thermal_signal], direct[sizeof d.setup.direct_signal];
        std::memcpy(thermal, d.setup.thermal_signal, sizeof thermal);
        std::memcpy(direct, d.setup.direct_signal, sizeof direct);
        int32_t target = d.setup.flood_target;
        LayerSet sources = d.setup.flood_sources;
        apply_template(d.setup, Template::Version2Board);
        // The template as the version-2 dialect reads it: its "-nc" keeps the flood-fill names, its
        // "-gd" is a plain length, and its layer 15 ("Special", not yellow) stays where it is.
        std::memcpy(d.setup.thermal_signal, thermal, sizeof thermal);
        std::memcpy(d.setup.direct_signal, direct, sizeof direct);
        d.setup.flood_target = target;
        d.setup.flood_sources = sources;
        apply_version2_directive(d.setup, "-gd100");
    }
    bool whole = read_lines(r, in);
    r.rings.close_all();
    if (whole && !width0_lines_to_rectangles(d.ring())) {
        platform::P().report("The drawing is too large for memory: some filled areas were left empty.");
    }
    const std::string& name = in.label().empty() ? std::string("The file") : in.label();
    if (r.clamped > 0) {
        platform::P().report(name + ": " + std::to_string(r.clamped) +
                             (r.clamped == 1 ? " size was" : " sizes were") +
                             " too large for its 16-bit field and held to the largest value.");
    }
    if (r.pictures > 0) {
        platform::P().report(name + ": " + std::to_string(r.pictures) +
                             (r.pictures == 1 ? " picture" : " pictures") +
                             " in the older picture format left out.");
    }
    return static_cast<char>('0' + version);
}

} // namespace

int version2_minor(std::string_view first_line) {
    constexpr size_t at = kVersion2Signature.size();
    return first_line.size() > at ? static_cast<unsigned char>(first_line[at]) & 7 : 0;
}

bool accepts_version3(std::string_view head, char forced) {
    return forced == 0 && head.substr(0, kVersion3Signature.size()) == kVersion3Signature;
}

bool accepts_version2(std::string_view head, char forced) {
    return forced == 0 && head.substr(0, kVersion2Signature.size()) == kVersion2Signature;
}

char ReadVersion3File(LineReader& in, char) {
    return read_old_file(in, 3);
}

char ReadVersion2File(LineReader& in, char) {
    return read_old_file(in, 2);
}

} // namespace trazel::model
