// DXF writer: every shown Item of a Document as AC1002 entities (POLYLINE, SOLID, TEXT), inches in the
// F number form, each line ending in CR LF.  Entities are gathered in a local buffer and handed to the
// OutBuffer in blocks, so a board of half a million Items costs no allocation per Item.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <numbers>
#include <set>
#include <string>

#include "display/stroke_font.h"
#include "display/trig.h"
#include "formats/dxf.h"
#include "model/numbers.h"
#include "model/old_format.h"
#include "model/units.h"

namespace trazel::formats {

namespace {

using model::Coord;
using model::Node;
using model::Ref;

constexpr uint32_t kColourOff = 0x01000000;
constexpr int64_t kHalfTurnBulge = 65536; // bulge 1.0: a half circle
constexpr int kSolidOutlineWidth = 65;
constexpr int kEllipseChords = 64; // chords per full turn of an elliptical Arc

// Palette index (nearest colour) to the DXF colour number.
constexpr std::array<int, 16> kExportColour = {0, 5, 3, 4, 1, 6, 14, 15, 8, 9, 10, 11, 12, 13, 2, 7};

// Bytes a DXF layer name may not hold (besides blanks, apostrophes and control bytes): other programs
// refuse such a table entry.
bool bad_name_byte(unsigned char c) {
    return c <= ' ' || c == '\'' || c == 0x7F || c == 0xFF || std::strchr("<>/\\\":;?*|=`", c) != nullptr;
}

std::string lower(std::string s) {
    for (char& c : s) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return s;
}

// Layer names as table and entities both spell them: blanks, apostrophes and bytes a name may not hold
// become "_", a layer without name is "Layer_N", and a name another layer already took (DXF compares
// names without case) gets "_2", "_3", ...  Named layers choose first.
std::array<std::string, 256> layer_names(const model::Setup& s, const std::array<bool, 256>& listed) {
    std::array<std::string, 256> names;
    std::set<std::string> taken;
    for (int pass = 0; pass < 2; ++pass) {
        for (int l = 0; l < 256; ++l) {
            const model::LayerEntry& e = s.layers[static_cast<size_t>(l)];
            if (!listed[static_cast<size_t>(l)] || e.in_use() != (pass == 0)) {
                continue;
            }
            std::string base;
            if (e.in_use()) {
                for (size_t i = 0; i < sizeof e.name && e.name[i] != 0; ++i) {
                    unsigned char c = static_cast<unsigned char>(e.name[i]);
                    base.push_back(bad_name_byte(c) ? '_' : static_cast<char>(c));
                }
            } else {
                base = "Layer_" + std::to_string(l);
            }
            std::string name = base;
            for (int k = 2; taken.count(lower(name)) != 0; ++k) {
                name = base + "_" + std::to_string(k);
            }
            taken.insert(lower(name));
            names[static_cast<size_t>(l)] = name;
        }
    }
    return names;
}

int32_t clamp32(int64_t v) {
    return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

// The bulge of an arc segment of `sweep` (tan of a quarter of it) in 16.16.
int64_t bulge_of(uint32_t sweep) {
    if (sweep == 32768) {
        return kHalfTurnBulge;
    }
    double b = std::tan(static_cast<double>(sweep) * (2 * std::numbers::pi / 65536.0) / 4);
    return std::llround(std::clamp(b, -32767.0, 32767.0) * 65536.0);
}

class Writer {
  public:
    Writer(const model::Document& doc, model::OutBuffer& out) : doc_(doc), out_(out) {
    }

    void run();

  private:
    static constexpr size_t kCap = 32768;
    static constexpr size_t kReserve = 256; // the most one group can take, strings aside

    // --- output -----------------------------------------------------------------------------------
    void flush() {
        out_.put(std::string_view(buf_.data(), used_));
        used_ = 0;
    }
    void room(size_t n) {
        if (kCap - used_ < n) {
            flush();
        }
    }
    void lit(std::string_view s) {
        if (s.size() > kCap / 2) {
            flush();
            out_.put(s);
            return;
        }
        room(s.size());
        std::memcpy(buf_.data() + used_, s.data(), s.size());
        used_ += s.size();
    }
    // A group whose value is a real: `code` holds the code line with its CR LF.
    void real(std::string_view code, int64_t v) {
        room(kReserve);
        char* p = buf_.data() + used_;
        std::memcpy(p, code.data(), code.size());
        p += code.size();
        *p++ = ' ';
        p = model::write_fixed(p, clamp32(v));
        *p++ = '\r';
        *p++ = '\n';
        used_ = static_cast<size_t>(p - buf_.data());
    }
    void point(int64_t x, int64_t y) {
        real("10\r\n", model::clamp_coord(x));
        real("20\r\n", model::clamp_coord(y));
    }
    void layer(int l) {
        lit(group8_[static_cast<size_t>(l)]);
    }

    // --- entities ---------------------------------------------------------------------------------
    void polyline(int l, int64_t width, bool closed) {
        lit("0\r\nPOLYLINE\r\n");
        layer(l);
        lit("66\r\n 1\r\n");
        if (closed) {
            lit("70\r\n 1\r\n");
        }
        real("40\r\n", width);
        real("41\r\n", width);
    }
    void vertex(int l, int64_t x, int64_t y, int64_t bulge = 0) {
        lit("0\r\nVERTEX\r\n");
        layer(l);
        point(x, y);
        if (bulge != 0) {
            real("42\r\n", bulge);
        }
    }
    void seqend() {
        lit("0\r\nSEQEND\r\n");
    }
    // A closed two-vertex polyline of half circles: a ring through (x ± r, y).
    void ring(int l, int64_t width, int64_t x, int64_t y, int64_t r) {
        polyline(l, width, true);
        vertex(l, x + r, y, kHalfTurnBulge);
        vertex(l, x - r, y, kHalfTurnBulge);
        seqend();
    }
    // DXF fills a SOLID as corners 1, 2, 4, 3: our polygon order a, b, c, d goes to 1, 2, 4, 3.
    void solid(int l, const std::array<int64_t, 8>& c) {
        lit("0\r\nSOLID\r\n");
        layer(l);
        real("10\r\n", model::clamp_coord(c[0]));
        real("20\r\n", model::clamp_coord(c[1]));
        real("11\r\n", model::clamp_coord(c[2]));
        real("21\r\n", model::clamp_coord(c[3]));
        real("12\r\n", model::clamp_coord(c[6]));
        real("22\r\n", model::clamp_coord(c[7]));
        real("13\r\n", model::clamp_coord(c[4]));
        real("23\r\n", model::clamp_coord(c[5]));
    }

    Ref line_chain(Ref r, Ref head);
    void solid_item(const Node& n);
    void arc(const Node& n);
    void pad(const Node& n);
    void text(Ref r, const Node& n);
    void walk(Ref head, int depth);
    void mark_used(Ref head, int depth);

    const model::Document& doc_;
    model::OutBuffer& out_;
    std::array<char, kCap> buf_{};
    size_t used_ = 0;
    std::array<bool, 256> shown_{};
    std::array<bool, 256> used_layer_{};
    std::array<std::string, 256> group8_;
    std::string text_, line_;
};

// The Lines that follow `r` in its ring, on its layer and of its width, each starting where the one
// before ended, go into one POLYLINE.  Returns the Item after the last Line taken.
Ref Writer::line_chain(Ref r, Ref head) {
    const Node& first = model::node(r);
    polyline(first.layer, first.size, false);
    vertex(first.layer, first.line.x1, first.line.y1);
    vertex(first.layer, first.line.x2, first.line.y2);
    Coord ex = first.line.x2, ey = first.line.y2;
    Ref q = first.next;
    while (q != head) {
        const Node& n = model::node(q);
        if (n.item_kind() != model::kLine || n.hidden() || n.size != first.size || n.layer != first.layer ||
            n.line.x1 != ex || n.line.y1 != ey) {
            break;
        }
        vertex(first.layer, n.line.x2, n.line.y2);
        ex = n.line.x2;
        ey = n.line.y2;
        q = n.next;
    }
    seqend();
    return q;
}

void Writer::solid_item(const Node& n) {
    // The vertex chain closes on itself through its last X2,Y2; a chain longer than the pool is broken.
    constexpr int kChainLimit = 1 << 24;
    int count = 0;
    std::array<int64_t, 8> c{};
    for (Ref v = n.link; v != model::kNone && count < kChainLimit; v = model::node(v).link) {
        if (count < 4) {
            c[static_cast<size_t>(2 * count)] = model::node(v).line.x1;
            c[static_cast<size_t>(2 * count + 1)] = model::node(v).line.y1;
        }
        ++count;
    }
    if (count == 0) {
        return;
    }
    if (count == 3 || count == 4) {
        if (count == 3) {
            c[6] = c[4];
            c[7] = c[5];
        }
        solid(n.layer, c);
        return;
    }
    polyline(n.layer, kSolidOutlineWidth, true);
    int k = 0;
    for (Ref v = n.link; v != model::kNone && k < count; v = model::node(v).link, ++k) {
        vertex(n.layer, model::node(v).line.x1, model::node(v).line.y1);
    }
    seqend();
}

void Writer::arc(const Node& n) {
    const model::ArcFields& a = n.arc;
    if (a.ellipse != 0) {
        // No bulge draws an ellipse: chords, as the plotters draw it.
        display::Rotation rot = display::Rotation::of(a.angle);
        uint32_t total = a.sweep == 0 ? 65536u : a.sweep;
        int steps = std::max(2, static_cast<int>((uint64_t{total} * kEllipseChords + 65535) / 65536));
        polyline(n.layer, n.size, a.sweep == 0);
        for (int i = 0; i <= steps; ++i) {
            if (a.sweep == 0 && i == steps) {
                break; // closed: the first vertex ends it
            }
            auto t = static_cast<model::Angle>(a.start + static_cast<uint32_t>(uint64_t{total} * i / steps));
            int64_t px = model::mul16_round(a.radius, display::cos16(t));
            int64_t py = model::mul16_round(model::mul16_round(a.radius, display::sin16(t)), a.ellipse);
            vertex(n.layer, a.x0 + rot.x(px, py), a.y0 + rot.y(px, py));
        }
        seqend();
        return;
    }
    if (a.sweep == 0) {
        ring(n.layer, n.size, a.x0, a.y0, a.radius);
        return;
    }
    auto s = static_cast<model::Angle>(a.start + a.angle);
    auto e = static_cast<model::Angle>(s + a.sweep);
    int64_t b = bulge_of(a.sweep);
    polyline(n.layer, n.size, false);
    vertex(n.layer, a.x0 + model::mul16_round(a.radius, display::cos16(s)),
           a.y0 + model::mul16_round(a.radius, display::sin16(s)), b);
    vertex(n.layer, a.x0 + model::mul16_round(a.radius, display::cos16(e)),
           a.y0 + model::mul16_round(a.radius, display::sin16(e)), b);
    seqend();
}

void Writer::pad(const Node& n) {
    const model::PadFields& p = n.pad;
    int type = n.size & 7;
    int shape = type & 3;
    int64_t w = p.width, h = p.height;
    display::Rotation rot = display::Rotation::of(p.angle);
    auto at_x = [&](int64_t dx, int64_t dy) { return p.x0 + rot.x(dx, dy); };
    auto at_y = [&](int64_t dx, int64_t dy) { return p.y0 + rot.y(dx, dy); };
    int l = n.layer;
    if (type & 4) {
        if (shape == 2) {
            solid(l, {at_x(-w / 2, -h / 2), at_y(-w / 2, -h / 2), at_x(w / 2, -h / 2), at_y(w / 2, -h / 2),
                      at_x(w / 2, h / 2), at_y(w / 2, h / 2), at_x(-w / 2, h / 2), at_y(-w / 2, h / 2)});
            return;
        }
        int64_t d = std::max<int64_t>(1, std::min(w, h));
        int64_t ox = (w - d) / 2, oy = (h - d) / 2;
        polyline(l, d, false);
        vertex(l, at_x(ox, oy), at_y(ox, oy));
        vertex(l, at_x(-ox, -oy), at_y(-ox, -oy));
        seqend();
        return;
    }
    int64_t hole = p.hole;
    int64_t d = std::max<int64_t>(1, (std::min(w, h) - hole) / 2);
    ring(l, d, p.x0, p.y0, (hole + d) / 2);
    if (shape == 2) {
        int64_t ix = w / 2 - d / 2, iy = h / 2 - d / 2;
        polyline(l, d, true);
        vertex(l, at_x(-ix, -iy), at_y(-ix, -iy));
        vertex(l, at_x(ix, -iy), at_y(ix, -iy));
        vertex(l, at_x(ix, iy), at_y(ix, iy));
        vertex(l, at_x(-ix, iy), at_y(-ix, iy));
        seqend();
    } else if (shape == 1 && w != h) {
        // The outline's centre line: two straight sides and two half circles about the end centres.
        bool wide = w > h;
        int64_t c = (std::max(w, h) - std::min(w, h)) / 2; // end centre from the pad centre
        int64_t r = std::min(w, h) / 2 - d / 2;            // radius of the ends
        // In the pad's own frame with the long axis along X, then swapped for a tall pad.
        auto vx = [&](int64_t u, int64_t v) { return wide ? at_x(u, v) : at_x(-v, u); };
        auto vy = [&](int64_t u, int64_t v) { return wide ? at_y(u, v) : at_y(-v, u); };
        for (int side : {1, -1}) {
            polyline(l, d, false);
            vertex(l, vx(-c, side * r), vy(-c, side * r));
            vertex(l, vx(c, side * r), vy(c, side * r));
            seqend();
        }
        for (int end : {1, -1}) {
            // Counter-clockwise from the lower to the upper side round the right end, and back round
            // the left one.
            polyline(l, d, false);
            vertex(l, vx(end * c, -end * r), vy(end * c, -end * r), kHalfTurnBulge);
            vertex(l, vx(end * c, end * r), vy(end * c, end * r), kHalfTurnBulge);
            seqend();
        }
    }
}

// The shown string with its codes made safe for a DXF value: the degree sign as %%d, the other symbols
// as their Windows bytes, tabs as blanks, other control bytes dropped, a percent sign that would start
// a control code doubled up; the field separator ends it, as
// on the screen.  Lines (at the line break code) come out one per TEXT.
void Writer::text(Ref r, const Node& n) {
    text_ = model::resolved_text(r);
    int64_t height = n.size;
    model::Point corner = model::text_corner_offset(n.text.anchor_font & 15, n.size, n.text.length, n.text.angle);
    int64_t cx = int64_t{n.text.x0} + corner.x, cy = int64_t{n.text.y0} + corner.y;
    display::Rotation rot = display::Rotation::of(n.text.angle);
    int64_t pitch = int64_t{display::kLinePitch} * (height / 6);
    int line = 0;
    size_t i = 0;
    while (true) {
        line_.clear();
        bool more = false;
        for (; i < text_.size(); ++i) {
            auto c = static_cast<unsigned char>(text_[i]);
            if (c == 0 || c == 0x7F) {
                i = text_.size();
                break;
            }
            if (c == 0xFF) {
                ++i;
                more = true;
                break;
            }
            switch (c) {
            case 0xF8:
                line_ += "%%d";
                break;
            case 0xE6:
                line_.push_back(static_cast<char>(0xB5));
                break;
            case 0xAB:
                line_.push_back(static_cast<char>(0xBD));
                break;
            case 0xAC:
                line_.push_back(static_cast<char>(0xBC));
                break;
            case 0xEA:
                line_ += "ohms";
                break;
            case '\t':
                line_.push_back(' ');
                break;
            case '%':
                // "%%" starts a control code in a DXF text; "%%%" is a percent sign of its own.
                line_ += i + 1 < text_.size() && text_[i + 1] == '%' ? "%%%" : "%";
                break;
            default:
                if (c >= ' ') {
                    line_.push_back(static_cast<char>(c));
                }
                break;
            }
        }
        if (!line_.empty()) {
            int64_t down = -pitch * line;
            lit("0\r\nTEXT\r\n");
            layer(n.layer);
            real("40\r\n", height);
            point(cx + rot.x(0, down), cy + rot.y(0, down));
            lit("1\r\n");
            lit(line_);
            lit("\r\n");
            if (n.text.angle != 0) {
                real("50\r\n", int64_t{n.text.angle} * 360);
            }
            if (n.text.length < 0) {
                lit("71\r\n 2\r\n");
            }
        }
        if (!more) {
            break;
        }
        ++line;
    }
}

void Writer::walk(Ref head, int depth) {
    Ref r = model::node(head).next;
    while (r != head) {
        const Node& n = model::node(r);
        uint8_t k = n.item_kind();
        if (k == model::kHead) {
            return;
        }
        if (n.hidden()) {
            r = n.next;
            continue;
        }
        if (k == model::kComponent || k == model::kDocument) {
            if (n.link != model::kNone && depth < model::kMaxComponentDepth) {
                walk(n.link, depth + 1);
            }
            r = n.next;
            continue;
        }
        if (!shown_[n.layer]) {
            r = n.next;
            continue;
        }
        switch (k) {
        case model::kLine:
            if (n.size != 0) {
                r = line_chain(r, head);
                continue;
            }
            solid_item(n);
            break;
        case model::kArc:
            arc(n);
            break;
        case model::kPad:
            pad(n);
            break;
        case model::kText:
            text(r, n);
            break;
        default:
            break;
        }
        r = n.next;
    }
}

// Which layers the entities name, so that a layer without name used by an Item is listed too.
void Writer::mark_used(Ref head, int depth) {
    for (Ref r : model::items_in(head)) {
        const Node& n = model::node(r);
        uint8_t k = n.item_kind();
        if (n.hidden()) {
            continue;
        }
        if (k == model::kComponent || k == model::kDocument) {
            if (n.link != model::kNone && depth < model::kMaxComponentDepth) {
                mark_used(n.link, depth + 1);
            }
        } else if (k == model::kLine || k == model::kArc || k == model::kPad || k == model::kText) {
            used_layer_[n.layer] = true;
        }
    }
}

void Writer::run() {
    const model::Setup& s = doc_.setup;
    for (size_t l = 0; l < 256; ++l) {
        shown_[l] = (s.layers[l].colour & kColourOff) == 0;
    }
    Ref ring = doc_.ring();
    if (ring != model::kNone) {
        mark_used(ring, 0);
    }
    std::array<bool, 256> listed{};
    for (size_t l = 0; l < 256; ++l) {
        listed[l] = shown_[l] && (s.layers[l].in_use() || used_layer_[l]);
    }
    std::array<std::string, 256> names = layer_names(s, listed);
    for (size_t l = 0; l < 256; ++l) {
        group8_[l] = "8\r\n" + names[l] + "\r\n";
    }

    lit("0\r\nSECTION\r\n2\r\nHEADER\r\n9\r\n$ACADVER\r\n1\r\nAC1002\r\n0\r\nENDSEC\r\n");
    lit("0\r\nSECTION\r\n2\r\nTABLES\r\n0\r\nTABLE\r\n2\r\nLAYER\r\n70\r\n 8\r\n");
    for (size_t l = 0; l < 256; ++l) {
        if (!listed[l]) {
            continue;
        }
        lit("0\r\nLAYER\r\n2\r\n");
        lit(names[l]);
        lit("\r\n70\r\n 0\r\n62\r\n");
        int index = model::nearest_palette_index(s.layers[l].colour, false) & 15;
        lit(std::to_string(kExportColour[static_cast<size_t>(index)]));
        lit("\r\n6\r\nCONTINUOUS\r\n");
    }
    lit("0\r\nENDTAB\r\n0\r\nENDSEC\r\n");
    lit("0\r\nSECTION\r\n2\r\nBLOCKS\r\n0\r\nENDSEC\r\n");
    lit("0\r\nSECTION\r\n2\r\nENTITIES\r\n");
    if (ring != model::kNone) {
        walk(ring, 0);
    }
    lit("0\r\nENDSEC\r\n0\r\nEOF\r\n");
    flush();
}

} // namespace

bool write_dxf(const model::Document& doc, model::OutBuffer& out) {
    Writer w(doc, out);
    w.run();
    return !out.failed();
}

} // namespace trazel::formats
