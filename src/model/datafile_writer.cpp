// Writing the Data file: header, Item records in their fixed order, end marker and pixel image blocks.
#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "model/datafile.h"
#include "model/numbers.h"
#include "model/record_line.h"
#include "model/setup_directives.h"

namespace trazel::model {

Coord canonical_coord(Coord v) {
    if (v == 0) {
        return 0;
    }
    // F format keeps five decimals of an inch (floor, then an odd last digit raised by one); reading
    // rounds those decimals back to the nearest unit.
    int64_t m = abs64(v);
    int64_t f = mul16(m & 0xFFFF, 100000);
    if (f & 1) {
        ++f;
    }
    int64_t r = to_units(from_units(m)) + (f * 65536 + 50000) / 100000;
    r = std::min<int64_t>(r, INT32_MAX);
    return static_cast<Coord>(v < 0 ? -r : r);
}

namespace {

constexpr std::string_view kCaptions[] = {
    "Primary Data File:",
    "Component: 6 0 0 X1 Y1 X2 Y2 Parameters",
    "Text: 4 layer height X0 Y0 length angle anchor font data",
    "Pad: 3 layer type X0 Y0 width height hole angle pin signal",
    "Arc: 2 layer width X0 Y0 radius start sweep ellipse angle signal",
    "Line: 1 layer width X1 Y1 X2 Y2 signal",
};

// What the reader keeps of a coordinate, held to the range it accepts.
Coord canon(Coord v) {
    return clamp_coord(canonical_coord(v));
}
Coord canon16(Coord v) {
    return std::clamp<Coord>(canonical_coord(v), 0, 65535);
}

// A Component's box as the reader will form it from the members it reads: the first member's box as it
// stands (a point group's stored corners may come swapped from a file), then the smallest and largest
// corners.  model::Box grows by corner points instead, which would put swapped corners in order.
struct MemberBox {
    Coord x1 = 0, y1 = 0, x2 = 0, y2 = 0;
    bool any = false;

    void add(Coord a, Coord b, Coord c, Coord d) {
        if (!any) {
            x1 = a, y1 = b, x2 = c, y2 = d;
            any = true;
        } else {
            x1 = std::min(x1, a), y1 = std::min(y1, b), x2 = std::max(x2, c), y2 = std::max(y2, d);
        }
    }
};

// Order of the kinds after the Components: Point groups, Texts, Pads, Arcs, Lines.
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

struct Writer : RecordLineWriter {
    const Setup& setup;
    std::string text; // payload of the Text or Component being looked at
    std::vector<std::vector<std::pair<uint16_t, Ref>>> scratch;

    Writer(OutBuffer& o, const Setup& s) : RecordLineWriter(o), setup(s) {
        text.reserve(256);
    }

    void f(int32_t v) {
        char b[16];
        line.append(b, write_fixed(b, v));
        line.push_back(' ');
    }
    // A coordinate as the reader will keep it: values beyond the limit (made by editing, or a box grown
    // past it) are written clamped, so the file reads back to what it says.
    void xy(Coord v) {
        f(clamp_coord(v));
    }
    void a(Angle v) {
        char b[16];
        line.append(b, write_angle(b, v));
        line.push_back(' ');
    }

    // Chain bytes as stored, up to the cap; CR and LF would end the record early, so they are written as
    // the line-break code that a Text uses for them.
    void chain_bytes(Ref first, std::string& dst) {
        for (Ref c = first; c != kNone && dst.size() < kMaxRecordText; c = node(c).link) {
            const unsigned char* b = node(c).bytes();
            for (int k = 0; k < kChainBytes; ++k) {
                unsigned char ch = b[k];
                if (ch == 0) {
                    return;
                }
                if (dst.size() == kMaxRecordText) {
                    return;
                }
                dst.push_back(static_cast<char>(ch == '\r' || ch == '\n' ? 0xFF : ch));
                if (ch == 0x7F) {
                    break;
                }
            }
        }
    }

    // The text a Text record carries, as the reader will keep it; false when nothing would be kept.
    bool text_payload(Ref t) {
        text.clear();
        const Node& n = node(t);
        if (is_signal_record(n.link)) {
            const unsigned char* b = node(n.link).bytes();
            for (int k = 0; k < kChainBytes && b[k] != 0 && b[k] != 0xFF; ++k) {
                text.push_back(static_cast<char>(b[k]));
            }
        } else {
            chain_bytes(n.link, text);
        }
        if (setup.layers[n.layer].kind() == kLayerSchematic) {
            // On a signal layer the text is read back as a Signal label: write it in that form.
            size_t k = 0;
            for (; k < text.size() && k < static_cast<size_t>(kSignalNameMax); ++k) {
                unsigned char ch = static_cast<unsigned char>(text[k]);
                if (ch <= ' ' || ch == 0xFF) {
                    break;
                }
                if (ch >= 'a' && ch <= 'z') {
                    text[k] = static_cast<char>(ch - 32);
                }
            }
            text.resize(k);
        }
        while (!text.empty() && text.back() == ' ') {
            text.pop_back();
        }
        return !text.empty();
    }

    void parameters_payload(Ref c) {
        text.clear();
        chain_bytes(node(member_ring(c)).link, text);
        size_t lead = 0;
        while (lead < text.size() && static_cast<unsigned char>(text[lead]) <= ' ') {
            ++lead;
        }
        text.erase(0, lead);
        while (!text.empty() && (text.back() == ' ' || text.back() == '\x7F')) {
            text.pop_back();
        }
        if (text.empty()) {
            text = "*";
        }
    }

    bool item_box(Ref r, MemberBox& b) {
        const Node& n = node(r);
        switch (n.item_kind()) {
        case kLine:
            if (n.size == 0 && n.link != kNone) {
                MemberBox v;
                for (Ref p = n.link; p != kNone; p = node(p).link) {
                    Coord x = canon(node(p).line.x1), y = canon(node(p).line.y1);
                    v.add(x, y, x, y);
                }
                b.add(v.x1, v.y1, v.x2, v.y2);
            } else {
                Coord x1 = canon(n.line.x1), y1 = canon(n.line.y1), x2 = canon(n.line.x2), y2 = canon(n.line.y2);
                b.add(std::min(x1, x2), std::min(y1, y2), std::max(x1, x2), std::max(y1, y2));
            }
            return true;
        case kArc: {
            Coord r0 = canon(n.arc.radius);
            r0 = r0 < 0 ? -r0 : r0;
            Coord x = canon(n.arc.x0), y = canon(n.arc.y0);
            b.add(x - r0, y - r0, x + r0, y + r0);
            return true;
        }
        case kPad: {
            Coord h = std::max(canon16(n.pad.width), canon16(n.pad.height)) / 2;
            Coord x = canon(n.pad.x0), y = canon(n.pad.y0);
            b.add(x - h, y - h, x + h, y + h);
            return true;
        }
        case kText:
            if (!text_payload(r)) {
                return false;
            }
            b.add(canon(n.text.x0), canon(n.text.y0), canon(n.text.x0), canon(n.text.y0));
            return true;
        case kPointGroup:
            b.add(canon(n.box.x1), canon(n.box.y1), canon(n.box.x2), canon(n.box.y2));
            return true;
        case kComponent: {
            MemberBox c;
            if (!component_box(r, c)) {
                return false;
            }
            b.add(c.x1, c.y1, c.x2, c.y2);
            return true;
        }
        default:
            return false;
        }
    }

    // The box the reader will give the Component: that of the members that are written, as they will be
    // read.  False when no member is written (the Component is then not written either).
    bool component_box(Ref c, MemberBox& b) {
        for_each_item(member_ring(c), [&](Ref m) {
            if (!node(m).hidden()) {
                item_box(m, b);
            }
        });
        return b.any;
    }

    void write_vertices(Ref solid) {
        const Node& s = node(solid);
        for (Ref p = s.link; p != kNone; p = node(p).link) {
            start('1');
            layer(s.layer);
            i(0);
            xy(node(p).line.x1);
            xy(node(p).line.y1);
            end_line();
        }
    }

    void write_item(Ref r) {
        Node& n = node(r);
        switch (n.item_kind()) {
        case kLine:
            start('1');
            layer(n.layer);
            if (n.size == 0) {
                i(0);
                if (n.link != kNone) {
                    MemberBox v;
                    for (Ref p = n.link; p != kNone; p = node(p).link) {
                        v.add(node(p).line.x1, node(p).line.y1, node(p).line.x1, node(p).line.y1);
                    }
                    xy(v.x1), xy(v.y1), xy(v.x2), xy(v.y2);
                } else {
                    xy(n.line.x1), xy(n.line.y1), xy(n.line.x2), xy(n.line.y2);
                }
                end_line();
                write_vertices(r);
                return;
            }
            f(n.size), xy(n.line.x1), xy(n.line.y1), xy(n.line.x2), xy(n.line.y2);
            signal_of(r);
            break;
        case kArc:
            start('2');
            layer(n.layer);
            f(n.size), xy(n.arc.x0), xy(n.arc.y0), xy(n.arc.radius);
            a(n.arc.start), a(n.arc.sweep);
            f(n.arc.ellipse);
            a(n.arc.angle);
            signal_of(r);
            break;
        case kPad: {
            start('3');
            layer(n.layer);
            i(n.size);
            xy(n.pad.x0), xy(n.pad.y0), f(n.pad.width), f(n.pad.height), f(n.pad.hole);
            a(n.pad.angle);
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
            break;
        }
        case kText:
            if (!text_payload(r)) {
                n.kind |= kHiddenFlag; // a Text without text is not kept
                return;
            }
            start('4');
            layer(n.layer);
            f(n.size), xy(n.text.x0), xy(n.text.y0), xy(n.text.length);
            a(n.text.angle);
            i(n.text.anchor_font & 15);
            i(n.text.anchor_font >> 4);
            line += text;
            break;
        case kPointGroup:
            // The reader shifts this number left by 8 bits; writing it shifted back keeps the field.
            start('5');
            i(n.layer);
            i(n.size >> 8);
            xy(n.box.x1), xy(n.box.y1), xy(n.box.x2), xy(n.box.y2);
            break;
        default:
            return;
        }
        end_line();
    }

    void write_component(Ref c, const MemberBox& b, int depth) {
        const Node& n = node(c);
        start('6');
        i(n.layer);
        a(n.size);
        xy(b.x1), xy(b.y1), xy(b.x2), xy(b.y2);
        parameters_payload(c);
        line += text;
        end_line();
        Ref head = member_ring(c);
        write_ring(head, depth + 1);
        const Node& h = node(head);
        start('0');
        i(h.layer);
        i(h.size);
        xy(h.box.x1), xy(h.box.y1);
        end_line();
    }

    void write_ring(Ref head, int depth) {
        for_each_item(head, [&](Ref r) {
            if (node(r).item_kind() == kComponent && !node(r).hidden()) {
                MemberBox b;
                if (component_box(r, b)) {
                    write_component(r, b, depth);
                }
            }
        });
        if (scratch.size() <= static_cast<size_t>(depth)) {
            scratch.resize(static_cast<size_t>(depth) + 1);
        }
        // Moved out while in use: a nested ring below may grow the vector of vectors.
        std::vector<std::pair<uint16_t, Ref>> items = std::move(scratch[static_cast<size_t>(depth)]);
        items.clear();
        for_each_item(head, [&](Ref r) {
            const Node& n = node(r);
            int rank = kind_rank(n.item_kind());
            if (rank >= 0 && !n.hidden()) {
                items.emplace_back(static_cast<uint16_t>(rank * 256 + n.layer), r);
            }
        });
        sort_items(items);
        for (auto& [key, r] : items) {
            write_item(r);
        }
        scratch[static_cast<size_t>(depth)] = std::move(items);
    }

    // Kind by kind, layer by layer, ring order within each: a stable sort on a small key.
    static void sort_items(std::vector<std::pair<uint16_t, Ref>>& v) {
        if (v.size() <= 32) {
            for (size_t k = 1; k < v.size(); ++k) {
                auto x = v[k];
                size_t j = k;
                for (; j > 0 && v[j - 1].first > x.first; --j) {
                    v[j] = v[j - 1];
                }
                v[j] = x;
            }
            return;
        }
        constexpr int kKeys = 5 * 256;
        std::vector<uint32_t> start(kKeys + 1, 0);
        for (auto& e : v) {
            ++start[e.first + 1u];
        }
        for (int k = 0; k < kKeys; ++k) {
            start[k + 1] += start[k];
        }
        std::vector<std::pair<uint16_t, Ref>> sorted(v.size());
        for (auto& e : v) {
            sorted[start[e.first]++] = e;
        }
        v.swap(sorted);
    }
};

} // namespace

bool WriteDataFile(OutBuffer& out) {
    Document& d = *M().current;
    Setup& s = d.setup;
    if (s.format_code == 0) {
        // A Document no reader has marked is a Data file from now on, and its "-gf" line says so: an
        // empty "-gf" would read back as "C" and the next save would differ.
        s.format_code = 'C';
    }
    Writer w(out, s);
    w.library = is_library_name(d.name());
    Ref ring = d.ring();
    if (IsSchematic(s)) {
        snap_schematic(ring);
    }
    w.prepare_layers();
    std::string header;
    header.reserve(4096);
    header.append(kDataFileTitle);
    header.append("\r\n\r\n");
    WriteSetup(s, header);
    for (std::string_view c : kCaptions) {
        header.append(c);
        header.append("\r\n");
    }
    out.put(header);
    w.write_ring(ring, 0);
    out.put("\r\nEND OF FILE\r\n");
    bool images = false;
    for (const auto& img : M().images) {
        images = images || !img.empty();
    }
    if (images) {
        out.put("\r\n");
        out.put(kPixelMarker);
        out.put("\r\n\x1A");
        for (const auto& img : M().images) {
            out.put(std::string_view(reinterpret_cast<const char*>(img.data()), img.size()));
        }
    }
    return !out.failed();
}

std::string component_records(Ref c) {
    std::string sink;
    OutBuffer out;
    out.open_memory(&sink);
    Writer w(out, M().setup());
    w.prepare_layers();
    MemberBox b;
    if (node(c).item_kind() == kComponent && w.component_box(c, b)) {
        w.write_component(c, b, 0);
    }
    out.commit();
    return sink;
}

} // namespace trazel::model
