// The Tango board reader: one record per line, Items made as they come, members gathered into their
// Components by component number, and Signals given from the net records once everything is read (a
// board may list its nets after the Items that use them).
#include <algorithm>
#include <cstring>
#include <unordered_map>
#include <vector>

#include "display/stroke_font.h"
#include "formats/import_support.h"
#include "formats/tango.h"
#include "formats/tango_tokens.h"
#include "model/setup_directives.h"

namespace trazel::formats {

using namespace model;

namespace tango {

std::string_view Fields::text() {
    blanks();
    if (p_ >= end_) {
        missing = true;
        return {};
    }
    if (*p_ != '"') {
        const char* s = p_;
        while (p_ < end_ && *p_ != ' ') {
            ++p_;
        }
        return {s, static_cast<size_t>(p_ - s)};
    }
    // A string: up to the quote that is not doubled, or the end of the line when it never closes.
    const char* s = ++p_;
    bool doubled = false;
    while (p_ < end_) {
        if (*p_ == '"') {
            if (p_ + 1 < end_ && p_[1] == '"') {
                doubled = true;
                p_ += 2;
                continue;
            }
            break;
        }
        ++p_;
    }
    std::string_view raw(s, static_cast<size_t>(p_ - s));
    if (p_ < end_) {
        ++p_; // the closing quote
    }
    if (!doubled || scratch_ == nullptr) {
        return raw;
    }
    std::string& out = (*scratch_)[next_scratch_++ % scratch_->size()];
    out.clear();
    for (size_t k = 0; k < raw.size(); ++k) {
        out.push_back(raw[k]);
        if (raw[k] == '"' && k + 1 < raw.size() && raw[k + 1] == '"') {
            ++k;
        }
    }
    return out;
}

int64_t Fields::number() {
    std::string_view f = text();
    size_t k = 0;
    bool neg = false;
    if (k < f.size() && (f[k] == '-' || f[k] == '+')) {
        neg = f[k] == '-';
        ++k;
    }
    constexpr int64_t kCap = int64_t{1} << 40; // far beyond every range, safe to scale
    int64_t v = 0;
    for (; k < f.size() && f[k] >= '0' && f[k] <= '9'; ++k) {
        v = std::min(v * 10 + (f[k] - '0'), kCap);
    }
    if (k + 1 < f.size() && f[k] == '.' && f[k + 1] >= '5' && f[k + 1] <= '9') {
        ++v;
    }
    return neg ? -v : v;
}

Coord Fields::coord(int64_t mils) {
    if (mils > kMaxMils || mils < -kMaxMils) {
        beyond = true;
        mils = std::clamp(mils, -kMaxMils, kMaxMils);
    }
    return clamp_coord(mils_to_units(mils));
}

Length Fields::length(int64_t mils) {
    if (mils < 0) {
        mils = -mils;
    }
    int64_t u = mils_to_units(std::min<int64_t>(mils, kMaxMils));
    if (u > 65535) {
        beyond = true;
        u = 65535;
    }
    return static_cast<Length>(u);
}

uint8_t layer_from_tango(int64_t v) {
    static constexpr uint8_t kTable[32] = {7,  8,  10, 9, 11, 12, 13, 14, 3, 4, 5, 6, 16, 17, 0, 18,
                                           19, 15, 1,  0, 0,  0,  0,  0,  0, 0, 0, 0, 0,  0,  0, 0};
    return kTable[((v % 32) + 32) % 32];
}

} // namespace tango

namespace {

using tango::Fields;

bool starts(std::string_view s, std::string_view with) {
    return s.size() >= with.size() && std::memcmp(s.data(), with.data(), with.size()) == 0;
}

bool blank_or_empty(std::string_view s) {
    return std::all_of(s.begin(), s.end(), [](char c) { return c == ' '; });
}

constexpr Length kThinLine = 65; // a width of 0 becomes 0.001 inch

struct TangoRead {
    Document& doc;
    detail::Reporter rep;
    Ref ring;
    int64_t line_no = 0;
    bool out_of_nodes = false;
    std::array<std::string, 6> scratch;
    std::string params;

    std::unordered_map<int64_t, Ref> components; // component number -> Component
    std::vector<Ref> made_components;
    std::vector<std::pair<Ref, int64_t>> waiting;  // members whose Component came later
    std::vector<std::pair<Ref, int64_t>> netted;   // Items with a net number
    std::unordered_map<int64_t, std::string> nets; // net number -> Signal name (the net records)
    Ref polygon = kNone;
    int64_t polygon_component = 0;
    std::vector<std::string> other_kinds;
    std::string note_text;

    TangoRead(Document& d, const ImportJob& job) : doc(d), rep(job), ring(d.ring()) {
    }

    Ref made(Ref r) {
        if (r == kNone) {
            out_of_nodes = true;
        }
        return r;
    }

    // Puts a new Item where its component number says; a Text is measured where it ends up, since a
    // field reference shows its Component's field.
    void place(Ref item, int64_t component) {
        if (component != 0) {
            auto it = components.find(component);
            if (it != components.end()) {
                MoveBefore(item, member_ring(it->second));
            } else {
                waiting.push_back({item, component});
            }
        }
        if (node(item).item_kind() == kText) {
            display::measure_text_item(item);
        }
    }

    void net(Ref item, int64_t number) {
        if (number != 0) {
            netted.push_back({item, number});
        }
    }

    void line(Fields& f) {
        Length w = f.length(f.number());
        uint8_t layer = tango::layer_from_tango(f.number());
        Coord x1 = f.coord(f.number()), y1 = f.coord(f.number()), x2 = f.coord(f.number()), y2 = f.coord(f.number());
        int64_t n = f.number(), c = f.number();
        if (f.missing) {
            return;
        }
        Ref r = made(MakeItem(ring, kLine, layer, w == 0 ? kThinLine : w, x1, y1, x2, y2));
        if (r != kNone) {
            net(r, n);
            place(r, c);
        }
    }

    void fill(Fields& f) {
        uint8_t layer = tango::layer_from_tango(f.number());
        Coord x1 = f.coord(f.number()), y1 = f.coord(f.number()), x2 = f.coord(f.number()), y2 = f.coord(f.number());
        f.skip(2); // a number and the net: a Solid carries no Signal
        int64_t c = f.number();
        if (f.missing) {
            return;
        }
        Ref r = made(MakeItem(ring, kLine, layer, 0, 0, 0, 0, 0));
        if (r == kNone) {
            return;
        }
        if (!add_vertex(r, x1, y1) || !add_vertex(r, x2, y1) || !add_vertex(r, x2, y2) || !add_vertex(r, x1, y2)) {
            out_of_nodes = true;
            DeleteItem(r);
            return;
        }
        place(r, c);
    }

    void arc(Fields& f) {
        Coord radius = f.coord(f.number());
        int64_t start = f.number(), sweep = f.number();
        Length w = f.length(f.number());
        uint8_t layer = tango::layer_from_tango(f.number());
        Coord x = f.coord(f.number()), y = f.coord(f.number());
        int64_t n = f.number(), c = f.number();
        if (f.missing) {
            return;
        }
        if (sweep < 0) { // the same arc drawn the other way
            start += sweep;
            sweep = -sweep;
        }
        Ref r = made(MakeItem(ring, kArc, layer, w == 0 ? kThinLine : w, x, y, radius < 0 ? -radius : radius, 0));
        if (r == kNone) {
            return;
        }
        Node& a = node(r);
        a.arc.start = detail::degrees_angle(static_cast<double>(start % 360));
        a.arc.sweep = detail::degrees_angle(static_cast<double>(sweep % 360));
        a.arc.ellipse = 0;
        a.arc.angle = 0;
        net(r, n);
        place(r, c);
    }

    void pad(Fields& f) {
        std::string_view shape = f.text();
        Length w = f.length(f.number()), h = f.length(f.number()), hole = f.length(f.number());
        std::string_view side = f.text(), plane = f.text(), pin = f.text();
        Coord x = f.coord(f.number()), y = f.coord(f.number());
        int64_t n = f.number(), c = f.number();
        if (f.missing) {
            return;
        }
        uint16_t type = starts(shape, "SQ") ? 2 : 1;
        uint8_t layer = 0;
        // Judged by the first letter, so the "TL"/"BL"/"AL" our writer puts there read back as written.
        char s = side.empty() ? ' ' : side[0];
        if (s == 'T' || s == 'B') {
            type += 4;
            layer = s == 'T' ? 7 : 8;
        }
        char pl = plane.empty() ? ' ' : plane[0];
        if (pl == 'P') {
            layer = 9;
        } else if (pl == 'G') {
            layer = 10;
        }
        Ref r = made(MakeItem(ring, kPad, layer, type, x, y, 0, 0));
        if (r == kNone) {
            return;
        }
        Node& p = node(r);
        p.pad.width = w;
        p.pad.height = h;
        p.pad.hole = hole;
        p.pad.angle = 0;
        p.pad.pin = 0;
        if (!SetPin(r, pin.substr(0, std::min<size_t>(pin.size(), kChainBytes)))) {
            out_of_nodes = true;
        }
        net(r, n);
        place(r, c);
    }

    void via(Fields& f) {
        f.skip(1);
        Length size = f.length(f.number()), hole = f.length(f.number());
        std::string_view plane = f.text();
        Coord x = f.coord(f.number()), y = f.coord(f.number());
        int64_t n = f.number(), c = f.number();
        if (f.missing) {
            return;
        }
        char pl = plane.empty() ? ' ' : plane[0];
        uint8_t layer = pl == 'P' ? 4 : pl == 'G' ? 8 : 0;
        Ref r = made(MakeItem(ring, kPad, layer, 3, x, y, 0, 0));
        if (r == kNone) {
            return;
        }
        Node& p = node(r);
        p.pad.width = p.pad.height = size;
        p.pad.hole = hole;
        p.pad.angle = 0;
        p.pad.pin = 0;
        net(r, n);
        place(r, c);
    }

    void text(Fields& f) {
        std::string_view s = f.text();
        Length height = f.length(f.number());
        int64_t flags = f.number();
        f.skip(1);
        uint8_t layer = tango::layer_from_tango(f.number());
        Coord x = f.coord(f.number()), y = f.coord(f.number());
        f.skip(4);
        int64_t c = f.number();
        if (f.missing || s.empty() || height == 0) {
            return;
        }
        if (s == ".REFDES") {
            s = "&1";
        } else if (s == ".TYPE") {
            s = "&2";
        }
        Ref r = made(MakeItem(ring, kText, layer, height, x, y, (flags & 4) ? -1 : 1, 0));
        if (r == kNone) {
            return;
        }
        Node& t = node(r);
        t.text.angle = static_cast<Angle>((flags & 3) * 16384);
        t.text.anchor_font = 0;
        if (!SetText(r, s)) {
            out_of_nodes = true;
            DeleteItem(r);
            return;
        }
        place(r, c);
    }

    void net_record(Fields& f) {
        std::string_view name = f.text();
        int64_t number = f.number();
        if (f.missing) {
            return;
        }
        // Net 0 is how Items without a net say so (our writer's "NO_ROUTES" line carries it).
        if (number != 0) {
            nets[number] = std::string(name);
        }
    }

    void component(Fields& f) {
        std::string_view ref = f.text(), value = f.text(), modifier = f.text(), pattern = f.text(), fifth = f.text();
        Coord hx = f.coord(f.number()), hy = f.coord(f.number());
        Coord x1 = f.coord(f.number()), y1 = f.coord(f.number()), x2 = f.coord(f.number()), y2 = f.coord(f.number());
        int64_t number = f.number();
        if (f.missing) {
            return;
        }
        params.clear();
        std::string_view parts[5] = {pattern, ref, value, modifier, fifth};
        for (int k = 0; k < 5; ++k) {
            if (k > 0) {
                params.push_back('\x7F');
            }
            for (char ch : parts[k]) { // the separator and line ends cannot be part of a field
                params.push_back(ch == '\x7F' || ch == '\r' || ch == '\n' ? ' ' : ch);
            }
        }
        Ref c = made(make_component(ring, 0, 0, params));
        if (c == kNone) {
            return;
        }
        // At the front of the ring, after the Components read before it: a board read back keeps the
        // order it was written in.
        Ref before = made_components.empty() ? first_item(ring) : node(made_components.back()).next;
        if (before != c) {
            MoveBefore(c, before);
        }
        Node& n = node(c);
        n.box.x1 = x1;
        n.box.y1 = y1;
        n.box.x2 = x2;
        n.box.y2 = y2;
        Node& head = node(member_ring(c));
        head.box.x1 = hx;
        head.box.y1 = hy;
        made_components.push_back(c);
        if (number != 0) {
            components[number] = c;
        }
    }

    // A polygon is complete when the next one starts or the board ends; fewer than three points make no
    // Solid.
    void end_polygon() {
        if (polygon == kNone) {
            return;
        }
        if (vertex_count(polygon) < 3) {
            rep.note("POLY with fewer than three points", line_no);
            DeleteItem(polygon);
        } else {
            place(polygon, polygon_component);
        }
        polygon = kNone;
    }

    void poly(Fields& f) {
        end_polygon();
        uint8_t layer = tango::layer_from_tango(f.number());
        f.skip(2);
        int64_t c = f.more() ? f.number() : 0; // our writer adds the component number
        if (f.missing) {
            return;
        }
        polygon = made(MakeItem(ring, kLine, layer, 0, 0, 0, 0, 0));
        polygon_component = c;
    }

    void point(Fields& f) {
        Coord x = f.coord(f.number()), y = f.coord(f.number());
        if (f.missing || polygon == kNone) {
            return;
        }
        if (!add_vertex(polygon, x, y)) {
            out_of_nodes = true;
        }
    }

    void other(std::string_view keyword) {
        if (keyword.empty() || keyword[0] == ';' || keyword == "VERSION" || keyword == "BOARD" ||
            keyword == "NETFILE") {
            return;
        }
        // A few names each on its own line; past them a flood of different words makes one line.
        keyword = keyword.substr(0, 16);
        auto seen = std::find(other_kinds.begin(), other_kinds.end(), keyword);
        if (seen == other_kinds.end() && other_kinds.size() < 16) {
            other_kinds.emplace_back(keyword);
            seen = other_kinds.end() - 1;
        }
        if (seen != other_kinds.end()) {
            note_text.assign(*seen).append(" record");
            rep.note(note_text, line_no);
        } else {
            rep.note("other records", line_no);
        }
    }

    void record(std::string_view l) {
        size_t sp = l.find(' ');
        std::string_view key = l.substr(0, sp);
        Fields f(sp == std::string_view::npos ? std::string_view() : l.substr(sp + 1));
        f.use_scratch(scratch);
        bool known = true;
        if (key == "TR" || key == "LINE") {
            line(f);
        } else if (key == "PAD") {
            pad(f);
        } else if (key == "VIA") {
            via(f);
        } else if (key == "PNT") {
            point(f);
        } else if (key == "ARC") {
            arc(f);
        } else if (key == "STR" || key == "TEXT") {
            text(f);
        } else if (key == "FILL") {
            fill(f);
        } else if (key == "COMP") {
            component(f);
        } else if (key == "NET") {
            net_record(f);
        } else if (key == "POLY") {
            poly(f);
        } else {
            known = false;
            other(key);
        }
        if (known && f.missing) {
            rep.note(std::string(key) + " record with fields missing", line_no);
        }
        if (f.beyond) {
            rep.note("numbers beyond range, held at the limit", line_no);
        }
    }

    void finish() {
        end_polygon();
        for (auto& [item, number] : waiting) {
            auto it = components.find(number);
            if (it != components.end()) {
                MoveBefore(item, member_ring(it->second));
                if (node(item).item_kind() == kText) {
                    display::measure_text_item(item);
                }
            }
        }
        int64_t empty = 0;
        for (Ref c : made_components) {
            if (!close_component(c)) {
                ++empty;
            }
        }
        if (empty > 0) {
            rep.note("COMP without members", line_no, empty);
        }
        // Signals from the net records; Solids and texts carry none.
        for (auto& [item, number] : netted) {
            auto it = nets.find(number);
            if (it != nets.end() && !AttachSignal(item, it->second) && !it->second.empty() &&
                find_signal(it->second, false) == kNone) {
                out_of_nodes = true;
            }
        }
    }
};

} // namespace

bool tango_board_accepts(std::string_view head, char forced) {
    if (forced != 0) {
        return forced == kForcedTango && !starts(head, "TangoPRO_ASCII");
    }
    return starts(head, ";Tango-PCB") || starts(head, "VERSION ");
}

char read_tango_board(LineReader& in, Document& doc, const ImportJob& job) {
    apply_template(doc.setup, Template::ForeignBoard);
    TangoRead r(doc, job);
    for (int n; (n = in.ReadLine()) != 0;) {
        ++r.line_no;
        if (n < 0) {
            continue;
        }
        std::string_view l = in.line();
        if (blank_or_empty(l)) {
            continue;
        }
        r.record(l);
        if (r.out_of_nodes) {
            r.rep.note("records after the Node pool ran out", r.line_no);
            break;
        }
    }
    r.finish();
    doc.mark_modified();
    return r.out_of_nodes ? 0 : kForcedTango;
}

} // namespace trazel::formats
