// The Tango board writer: the Components, the nets with their pad counts, then every Item depth first
// with the number of the top-level Component it belongs to.  Nets are numbered from a table of our own
// rather than by marking Pads, so the Document the writer is given is left exactly as it was.
#include <array>
#include <charconv>
#include <string>
#include <unordered_map>
#include <vector>

#include "formats/tango.h"
#include "formats/tango_tokens.h"
#include "model/old_format.h"

namespace trazel::formats {

using namespace model;

namespace {

constexpr Angle kQuarter = 16384;

// What Tango cannot hold, one line per kind.
enum Loss {
    kLossGrid,
    kLossPadAngle,
    kLossPadLayer,
    kLossPadType,
    kLossOvalVia,
    kLossTextAngle,
    kLossTextChars,
    kLossLabels,
    kLossArcAngle,
    kLossEllipse,
    kLossPointGroup,
    kLossNested,
    kLossDocument,
    kLossFields,
    kLossCount
};

constexpr const char* kLossText[kLossCount] = {
    "Coordinates or sizes off the 0.001 inch grid, rounded",
    "Pad angles other than 0, 90, 180 or 270 degrees, written unturned",
    "Surface-mount Pads on neither top nor bottom layers, written on top copper",
    "Schematic pins, dots and special pads, written as oval pads",
    "Round vias of unequal width and height, written with the width",
    "Text angles other than quarter turns, rounded to a quarter turn",
    "Text characters Tango cannot hold (line breaks, controls), written as blanks",
    "Signal labels, written as plain texts",
    "Arc angles off whole degrees, truncated",
    "Elliptic or turned arcs, written as circular arcs",
    "Point groups, left out",
    "Components inside Components, their members written with the outer one",
    "Nested Documents, left out",
    "Component Parameters beyond the fifth field, left out",
};

char upper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

} // namespace

namespace tango {

std::array<int, 256> layer_numbers(const Setup& s) {
    std::array<int, 256> out{};
    int mid = 4;
    for (int l = 0; l < 256; ++l) {
        const LayerEntry& e = s.layers[l];
        char first = upper(e.name[0]);
        int v;
        switch (e.kind()) {
        case 0:
            v = first == 'B' ? 9 : 8;
            break;
        case 1:
            v = first == 'B' ? 11 : 10;
            break;
        case 2:
            v = first == 'T' ? 0 : first == 'B' ? 1 : mid++;
            break;
        case 3:
            v = first == 'G' ? 2 : 3;
            break;
        default:
            v = 12;
            break;
        }
        out[l] = v;
    }
    out[0] = 14;
    out[255] = 15;
    return out;
}

} // namespace tango

namespace {

struct TangoWrite {
    const Document& doc;
    OutBuffer& out;
    std::array<int, 256> layer_no;
    std::array<int64_t, kLossCount> lost{};
    std::unordered_map<Ref, uint32_t> net_of;   // Signal record -> NET number
    std::vector<std::pair<Ref, uint32_t>> nets; // in NET number order: record, pad count
    std::string text;
    bool off_grid = false; // a number of the Item being written was rounded

    TangoWrite(const Document& d, OutBuffer& o) : doc(d), out(o), layer_no(tango::layer_numbers(d.setup)) {
    }

    void put(std::string_view s) {
        out.put(s);
    }
    void num(int64_t v) {
        char b[24];
        auto r = std::to_chars(b, b + sizeof b, v);
        out.put(std::string_view(b, static_cast<size_t>(r.ptr - b)));
        out.put(' ');
    }
    void mils(int64_t units) {
        int32_t m = units_to_old_length(units);
        off_grid = off_grid || mils_to_units(m) != units;
        num(m);
    }
    void layer(uint8_t l) {
        num(layer_no[l]);
    }
    void end_record(uint32_t component) {
        num(component);
        num(0);
        put("\r\n");
    }
    // A string in double quotes, inner quotes doubled, line breaks and controls as blanks.
    void quoted(std::string_view s, bool* changed = nullptr) {
        out.put('"');
        for (char c : s) {
            unsigned char u = static_cast<unsigned char>(c);
            if (c == '"') {
                out.put('"');
            } else if (u < ' ' || u == 0x7F) {
                c = ' ';
                if (changed) {
                    *changed = true;
                }
            }
            out.put(c);
        }
        out.put('"');
    }

    uint32_t net(Ref item) {
        Ref s = item_signal(item);
        if (s == kNone) {
            return 0;
        }
        auto it = net_of.find(s);
        return it == net_of.end() ? 0 : it->second;
    }

    void number_nets() {
        // Pads first, in walk order, with their counts; then Signals that only tracks and arcs carry, so
        // that they are not lost (their NET lines count no pads).
        for (int pass = 0; pass < 2; ++pass) {
            walk_tree(doc.ring(), [&](Ref r, int) {
                const Node& n = node(r);
                if (n.hidden()) {
                    return false;
                }
                uint8_t k = n.item_kind();
                if (k == kDocument) {
                    return false;
                }
                bool pad = k == kPad;
                bool track = (k == kLine && n.size != 0) || k == kArc;
                if (pass == 0 ? pad : track) {
                    Ref s = item_signal(r);
                    if (s != kNone) {
                        auto [it, fresh] = net_of.emplace(s, static_cast<uint32_t>(nets.size() + 1));
                        if (fresh) {
                            nets.push_back({s, 0});
                        }
                        nets[it->second - 1].second += pad;
                    }
                }
                return true;
            });
        }
    }

    void components() {
        uint32_t number = 0;
        for (Ref c : items_in(doc.ring())) {
            const Node& n = node(c);
            if (n.hidden() || n.item_kind() != kComponent || ring_empty(member_ring(c))) {
                continue;
            }
            ++number;
            put("COMP ");
            static constexpr int kOrder[5] = {1, 2, 3, 0, 4};
            for (int f : kOrder) {
                quoted(ComponentField(c, f));
                out.put(' ');
            }
            if (!ComponentField(c, 5).empty()) {
                ++lost[kLossFields];
            }
            const Node& head = node(member_ring(c));
            mils(head.box.x1);
            mils(head.box.y1);
            mils(n.box.x1);
            mils(n.box.y1);
            mils(n.box.x2);
            mils(n.box.y2);
            end_record(number);
        }
    }

    void solid(Ref r, uint32_t c) {
        const Node& n = node(r);
        put("POLY ");
        layer(n.layer);
        num(vertex_count(r));
        num(0);
        end_record(c);
        for (Ref v = n.link; v != kNone; v = node(v).link) {
            put("PNT ");
            mils(node(v).line.x1);
            mils(node(v).line.y1);
            put("\r\n");
        }
    }

    void line(Ref r, uint32_t c) {
        const Node& n = node(r);
        put("TR ");
        mils(n.size);
        layer(n.layer);
        mils(n.line.x1);
        mils(n.line.y1);
        mils(n.line.x2);
        mils(n.line.y2);
        num(net(r));
        end_record(c);
    }

    void arc(Ref r, uint32_t c) {
        const Node& n = node(r);
        if (n.arc.ellipse != 0 || n.arc.angle != 0) {
            ++lost[kLossEllipse];
        }
        if ((n.arc.start * 360) % 65536 != 0 || (n.arc.sweep * 360) % 65536 != 0) {
            ++lost[kLossArcAngle];
        }
        put("ARC ");
        mils(n.arc.radius);
        num(n.arc.start * 360 / 65536);
        num(n.arc.sweep * 360 / 65536);
        mils(n.size);
        layer(n.layer);
        mils(n.arc.x0);
        mils(n.arc.y0);
        num(net(r));
        end_record(c);
    }

    void pad(Ref r, uint32_t c) {
        const Node& n = node(r);
        uint16_t type = n.size & 7;
        if (type == 3) {
            if (n.pad.width != n.pad.height) {
                ++lost[kLossOvalVia];
            }
            put("VIA CR ");
            mils(n.pad.width);
            mils(n.pad.hole);
            put("NP ");
            mils(n.pad.x0);
            mils(n.pad.y0);
            num(net(r));
            end_record(c);
            return;
        }
        if (type == 0 || type == 4 || type == 7) {
            ++lost[kLossPadType];
        }
        bool turned = n.pad.angle == kQuarter || n.pad.angle == 3 * kQuarter;
        if (n.pad.angle % kQuarter != 0) {
            ++lost[kLossPadAngle];
        }
        bool surface = type == 5 || type == 6;
        put("PAD ");
        put((type & 3) == 2 ? "SQ " : "EL ");
        mils(turned ? n.pad.height : n.pad.width);
        mils(turned ? n.pad.width : n.pad.height);
        mils(n.pad.hole);
        char side = upper(doc.setup.layers[n.layer].name[0]);
        if (surface && side != 'B' && side != 'T') {
            ++lost[kLossPadLayer];
        }
        put(!surface ? "AL " : side == 'B' ? "BL " : "TL ");
        put("NP ");
        quoted(pin_text(r));
        out.put(' ');
        mils(n.pad.x0);
        mils(n.pad.y0);
        num(net(r));
        end_record(c);
    }

    void text_item(Ref r, uint32_t c) {
        const Node& n = node(r);
        text = GetText(r);
        std::string_view s = text;
        if (s == "&1") {
            s = ".REFDES";
        } else if (s == "&2") {
            s = ".TYPE";
        }
        if (item_signal(r) != kNone) {
            ++lost[kLossLabels];
        }
        int quarters = (n.text.angle + kQuarter / 2) / kQuarter % 4;
        if (n.text.angle % kQuarter != 0) {
            ++lost[kLossTextAngle];
        }
        bool mirrored = n.text.length < 0;
        Point off = text_corner_offset(n.text.anchor_font & 15, n.size, n.text.length, n.text.angle);
        int64_t x = clamp_coord(int64_t{n.text.x0} + off.x), y = clamp_coord(int64_t{n.text.y0} + off.y);
        int64_t len = n.text.length < 0 ? -int64_t{n.text.length} : n.text.length;
        put("STR ");
        bool changed = false;
        quoted(s, &changed);
        lost[kLossTextChars] += changed;
        out.put(' ');
        mils(n.size);
        num(quarters + (mirrored ? 4 : 0));
        num(units_to_old_length(n.size) / 8);
        layer(n.layer);
        for (int k = 0; k < 2; ++k) {
            mils(x);
            mils(y);
        }
        // The far corner follows from the string, which reading measures again: not a rounding loss.
        num(units_to_old_length(clamp_coord(x + len)));
        num(units_to_old_length(clamp_coord(y + n.size)));
        end_record(c);
    }

    void items() {
        uint32_t number = 0, current = 0;
        walk_tree(doc.ring(), [&](Ref r, int depth) {
            const Node& n = node(r);
            if (n.hidden()) {
                return false;
            }
            switch (n.item_kind()) {
            case kComponent:
                if (depth == 0) {
                    current = ring_empty(member_ring(r)) ? 0 : ++number;
                } else {
                    ++lost[kLossNested];
                }
                return true;
            case kDocument:
                ++lost[kLossDocument];
                return false;
            case kPointGroup:
                ++lost[kLossPointGroup];
                return false;
            default:
                break;
            }
            uint32_t c = depth == 0 ? 0 : current;
            switch (n.item_kind()) {
            case kLine:
                n.size == 0 ? solid(r, c) : line(r, c);
                break;
            case kArc:
                arc(r, c);
                break;
            case kPad:
                pad(r, c);
                break;
            case kText:
                text_item(r, c);
                break;
            default:
                break;
            }
            lost[kLossGrid] += off_grid;
            off_grid = false;
            return true;
        });
    }

    void write() {
        put("VERSION 1 2 A\r\nBOARD 0 0 0 0 0 0\r\n");
        number_nets();
        components();
        off_grid = false; // Component boxes are recomputed on reading
        put("NETFILE \"\" \"\" -1 \"\" -1\r\n");
        put("NET \"NO_ROUTES\" 0 0 0 1 0\r\n");
        std::string name;
        for (size_t k = 0; k < nets.size(); ++k) {
            name = signal_name(nets[k].first);
            put("NET ");
            quoted(name);
            out.put(' ');
            num(static_cast<int64_t>(k + 1));
            num(nets[k].second);
            put("0 1 0\r\n");
        }
        items();
        put("\r\n");
    }
};

} // namespace

bool write_tango_board(const Document& doc, OutBuffer& out, std::vector<std::string>* losses) {
    TangoWrite w(doc, out);
    w.write();
    if (losses) {
        for (int k = 0; k < kLossCount; ++k) {
            if (w.lost[k] > 0) {
                losses->push_back(std::string(kLossText[k]) + ": " + std::to_string(w.lost[k]) +
                                  (w.lost[k] == 1 ? " Item" : " Items"));
            }
        }
    }
    return !out.failed();
}

} // namespace trazel::formats
