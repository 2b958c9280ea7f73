// AutoTrax board writer: every Item as a record of a keyword line and its data lines, top-level
// Components as "COMP" blocks, the Signals as "NETDEF" blocks of Component pins.
#include <algorithm>
#include <array>
#include <string>
#include <unordered_map>
#include <vector>

#include "formats/protel.h"
#include "formats/protel_tables.h"
#include "model/old_format.h"

namespace trazel::formats {

using namespace model;

namespace {

constexpr Length kDefaultTextHeight = 3932; // 0.06 inch

// Units to whole thousandths, halves away from zero.
int64_t mils(int64_t units) {
    int64_t a = units < 0 ? -units : units;
    int64_t m = (a * 1000 + 32768) / 65536;
    return units < 0 ? -m : m;
}

struct PadOfNet {
    uint32_t order; // place of the Signal in the name-ordered list
    uint32_t seq;   // walk order
    Ref comp, pad;
};

class Writer {
  public:
    Writer(const Document& doc, OutBuffer& out) : doc_(doc), out_(out) {
        layer_numbers();
    }
    void run();
    void losses(std::vector<std::string>& out) const;

  private:
    void num(int64_t v) {
        char buf[24];
        char* e = buf + sizeof buf;
        char* p = e;
        uint64_t u = v < 0 ? static_cast<uint64_t>(-v) : static_cast<uint64_t>(v);
        do {
            *--p = static_cast<char>('0' + u % 10);
            u /= 10;
        } while (u != 0);
        if (v < 0) {
            *--p = '-';
        }
        out_.put(std::string_view(p, static_cast<size_t>(e - p)));
    }
    // Numbers separated by blanks, then CR LF.
    void nums(std::initializer_list<int64_t> v) {
        bool first = true;
        for (int64_t x : v) {
            if (!first) {
                out_.put(' ');
            }
            first = false;
            num(x);
        }
        eol();
    }
    void eol() {
        out_.put("\r\n");
    }
    // A text on its own line: no line breaks inside.
    void text_line(std::string_view s) {
        for (char c : s) {
            out_.put(c == '\r' || c == '\n' ? ' ' : c);
        }
        eol();
    }
    void keyword(bool member, char k) {
        out_.put(member ? 'C' : 'F');
        out_.put(k);
        eol();
    }

    void layer_numbers();
    void item(Ref r, bool member);
    void component(Ref c);
    void text_line_of(Ref text, Coord hx, Coord hy);
    void nets();

    const Document& doc_;
    OutBuffer& out_;
    std::array<uint8_t, 256> layer_{};
    Ref comp_ = kNone; // the top-level Component being written
    std::vector<PadOfNet> net_pads_;
    std::unordered_map<Ref, uint32_t> signal_order_;
    int64_t solids_ = 0, member_texts_ = 0, points_ = 0, documents_ = 0, nested_ = 0;
};

// Layer numbers from the layer's type and name: copper by side (mid layers counted in layer order),
// silk and mask by side, planes by name, the rest on 15.
void Writer::layer_numbers() {
    int mid = 2;
    for (int i = 0; i < 256; ++i) {
        const LayerEntry& l = doc_.setup.layers[static_cast<size_t>(i)];
        char c = l.name[0];
        uint8_t v;
        switch (l.kind()) {
        case kLayerSilk:
        case kLayerMask:
            v = c == 'B' ? 8 : 7;
            break;
        case kLayerCopper:
            v = c == 'T' ? 1 : c == 'B' ? 6 : i == 0 ? 0 : static_cast<uint8_t>(std::min(mid++, 255));
            break;
        case kLayerPlane:
            v = c == 'G' ? 9 : 10;
            break;
        default:
            v = 15;
            break;
        }
        layer_[static_cast<size_t>(i)] = i == 0 ? 11 : v;
    }
}

void Writer::item(Ref r, bool member) {
    const Node& n = node(r);
    int layer = layer_[n.layer];
    switch (n.item_kind()) {
    case kLine:
        if (n.size == 0) {
            ++solids_;
            return;
        }
        keyword(member, 'T');
        nums({mils(n.line.x1), mils(n.line.y1), mils(n.line.x2), mils(n.line.y2), mils(n.size), layer, 0});
        return;
    case kArc: {
        keyword(member, 'A');
        Coord rad = n.arc.radius < 0 ? -n.arc.radius : n.arc.radius;
        nums({mils(n.arc.x0), mils(n.arc.y0), mils(rad), protel::quadrant_mask(n.arc.start, n.arc.sweep), mils(n.size),
              layer});
        return;
    }
    case kPad: {
        int type = n.size & 7;
        if (type == 3) {
            keyword(member, 'V');
            nums({mils(n.pad.x0), mils(n.pad.y0), mils(n.pad.width), mils(n.pad.hole)});
            return;
        }
        keyword(member, 'P');
        bool turned = n.pad.angle == 16384 || n.pad.angle == 49152;
        int64_t w = mils(turned ? n.pad.height : n.pad.width), h = mils(turned ? n.pad.width : n.pad.height);
        int shape = (type & 3) == 2 ? 2 : n.pad.width != n.pad.height ? 4 : 1;
        nums({mils(n.pad.x0), mils(n.pad.y0), w, h, shape, mils(n.pad.hole), 1, type < 4 ? 13 : layer});
        text_line(pin_text(r));
        if (comp_ != kNone && n.link != kNone) {
            Ref s = item_signal(r);
            auto it = s == kNone ? signal_order_.end() : signal_order_.find(s);
            if (it != signal_order_.end()) {
                net_pads_.push_back({it->second, static_cast<uint32_t>(net_pads_.size()), comp_, r});
            }
        }
        return;
    }
    case kText: {
        if (member) {
            return; // member texts travel only as the two text lines of "COMP"
        }
        std::string s = GetText(r);
        if (s.empty()) {
            return;
        }
        bool mirrored = n.text.length < 0;
        int quarters = ((n.text.angle + 8192) >> 14) & 3;
        Point off = text_corner_offset(n.text.anchor_font & 0x0F, n.size, n.text.length, n.text.angle);
        int flags = quarters;
        if (mirrored) {
            flags += 16;
            if (quarters & 1) {
                flags ^= 2;
            }
        }
        keyword(false, 'S');
        nums({mils(static_cast<int64_t>(n.text.x0) + off.x), mils(static_cast<int64_t>(n.text.y0) + off.y),
              mils(n.size), flags, mils(n.size / 8), layer});
        text_line(s);
        return;
    }
    case kPointGroup:
        ++points_;
        return;
    default:
        return;
    }
}

// One text line of "COMP": from the member Text, or the hook point when there is none.
void Writer::text_line_of(Ref t, Coord hx, Coord hy) {
    out_.put(' ');
    if (t == kNone) {
        nums({mils(hx), mils(hy), mils(kDefaultTextHeight), 0, 10, 7});
        return;
    }
    const Node& n = node(t);
    Point off = text_corner_offset(n.text.anchor_font & 0x0F, n.size, n.text.length, n.text.angle);
    nums({mils(static_cast<int64_t>(n.text.x0) + off.x), mils(static_cast<int64_t>(n.text.y0) + off.y),
          mils(n.size == 0 ? kDefaultTextHeight : n.size), ((n.text.angle + 8192) >> 14) & 3, 10, 7});
}

void Writer::component(Ref c) {
    Ref head = member_ring(c);
    Ref value = kNone, ref = kNone;
    int64_t texts = 0;
    for (Ref m : items_in(head)) {
        const Node& n = node(m);
        if (n.item_kind() != kText) {
            continue;
        }
        ++texts;
        if (n.text.length < 0 || (value != kNone && ref != kNone)) {
            continue;
        }
        std::string s = GetText(m);
        if (value == kNone && s == "&2") {
            value = m;
        } else if (ref == kNone && s == "&1") {
            ref = m;
        }
    }
    member_texts_ += texts - (value != kNone) - (ref != kNone);
    out_.put("COMP\r\n");
    text_line(ComponentField(c, 1));
    text_line(ComponentField(c, 0));
    text_line(ComponentField(c, 2));
    Coord hx = node(head).box.x1, hy = node(head).box.y1;
    text_line_of(value, hx, hy);
    text_line_of(ref, hx, hy);
    nums({mils(hx), mils(hy), ref != kNone ? 1 : 2, value != kNone ? 1 : 2, 2});
    comp_ = c;
    // Nested Components have no block of their own: their members join the top-level one.
    walk_tree(head, [&](Ref m, int depth) {
        uint8_t k = node(m).item_kind();
        if (k == kComponent) {
            ++nested_;
            return;
        }
        if (k == kDocument) {
            return;
        }
        if (k == kText && depth > 0) {
            ++member_texts_;
        }
        item(m, true);
    });
    comp_ = kNone;
    out_.put("ENDCOMP\r\n");
}

void Writer::nets() {
    std::stable_sort(net_pads_.begin(), net_pads_.end(),
                     [](const PadOfNet& a, const PadOfNet& b) { return a.order < b.order; });
    const Model& m = M();
    size_t at = 0;
    uint32_t order = 0;
    for (Ref s = node(m.signals).link; s != kNone && s != m.signals_end; s = node(s).link, ++order) {
        out_.put("NETDEF\r\n");
        text_line(signal_name(s));
        out_.put("0\r\n(\r\n");
        for (; at < net_pads_.size() && net_pads_[at].order == order; ++at) {
            out_.put(ComponentField(net_pads_[at].comp, 1));
            out_.put('-');
            text_line(pin_text(net_pads_[at].pad));
        }
        out_.put(")\r\n{\r\n}\r\n");
    }
}

void Writer::run() {
    const Model& m = M();
    uint32_t order = 0;
    for (Ref s = node(m.signals).link; s != kNone && s != m.signals_end; s = node(s).link) {
        signal_order_.emplace(s, order++);
    }
    out_.put("PCB FILE 4\r\n");
    for (Ref r : items_in(doc_.ring())) {
        switch (node(r).item_kind()) {
        case kComponent:
            if (node(r).link != kNone) {
                component(r);
            }
            break;
        case kDocument:
            ++documents_;
            break;
        default:
            item(r, false);
            break;
        }
    }
    nets();
    out_.put("ENDPCB\r\n");
}

void Writer::losses(std::vector<std::string>& out) const {
    auto line = [&](int64_t n, const char* what) {
        if (n > 0) {
            out.push_back("AutoTrax has no " + std::string(what) + ": " + std::to_string(n) + " left out");
        }
    };
    line(solids_, "polygons (Solids)");
    line(member_texts_, "Component texts besides the reference and value (member Texts)");
    line(points_, "point groups");
    line(documents_, "nested Documents");
    if (nested_ > 0) {
        out.push_back("AutoTrax has no nested Components: " + std::to_string(nested_) +
                      " written as members of their top-level Component");
    }
}

} // namespace

bool write_protel_board(const Document& doc, OutBuffer& out, std::vector<std::string>* losses) {
    Writer w(doc, out);
    w.run();
    if (losses) {
        w.losses(*losses);
    }
    return !out.failed();
}

} // namespace trazel::formats
