// AutoTrax board reader: records of a keyword line followed by their data lines, Components between
// "COMP" and "ENDCOMP", nets as "NETDEF" blocks matched to Component pins once the whole file is in.
#include <algorithm>
#include <string>
#include <unordered_map>
#include <vector>

#include "display/stroke_font.h"
#include "formats/import_support.h"
#include "formats/protel.h"
#include "formats/protel_tables.h"
#include "model/setup_directives.h"

namespace trazel::formats {

using namespace model;

namespace {

constexpr std::string_view kHeads[] = {"PCB FILE 4", "PCB File 4", "PCB FILE 6"};
constexpr int kFieldMax = 27; // a Parameters field that still ends inside its chain Node
constexpr int kMaxNumbers = 10;
constexpr int64_t kSaturate = 1000000000000LL; // mils: far outside, yet x 65536 fits 64 bits

bool blank(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}

std::string_view trim(std::string_view s) {
    size_t a = 0, b = s.size();
    while (a < b && blank(s[a])) {
        ++a;
    }
    while (b > a && blank(s[b - 1])) {
        --b;
    }
    return s.substr(a, b - a);
}

// Whole numbers separated by blanks or commas; a fraction is dropped.  Returns how many were read before
// the first field that is no number; `big` tells that one was saturated.
int parse_numbers(std::string_view s, int64_t* out, int max, bool& big) {
    const char* p = s.data();
    const char* end = p + s.size();
    int n = 0;
    while (n < max) {
        while (p < end && (blank(*p) || *p == ',')) {
            ++p;
        }
        if (p == end) {
            break;
        }
        bool neg = false;
        if (*p == '-' || *p == '+') {
            neg = *p == '-';
            ++p;
        }
        if (p == end || *p < '0' || *p > '9') {
            break;
        }
        int64_t v = 0;
        while (p < end && *p >= '0' && *p <= '9') {
            if (v < kSaturate) {
                v = v * 10 + (*p - '0');
            }
            ++p;
        }
        if (p < end && *p == '.') {
            ++p;
            while (p < end && *p >= '0' && *p <= '9') {
                ++p;
            }
        }
        if (v >= kSaturate) {
            v = kSaturate;
            big = true;
        }
        out[n++] = neg ? -v : v;
    }
    return n;
}

// A text as one Parameters field: no separator, no end byte, at most one chain Node.
std::string field_text(std::string_view s) {
    std::string out;
    for (char c : trim(s)) {
        if (c != '\x7F' && out.size() < static_cast<size_t>(kFieldMax)) {
            out += c;
        }
    }
    return out;
}

// A pin as SetPin keeps it and pin_text gives it back: a number below the pin limit loses its leading
// zeros, anything else is its first word.
std::string canonical_pin(std::string_view s) {
    size_t n = 0;
    bool digits = true;
    while (n < s.size() && static_cast<unsigned char>(s[n]) >= '!') {
        digits = digits && s[n] >= '0' && s[n] <= '9';
        ++n;
    }
    s = s.substr(0, std::min<size_t>(n, kChainBytes));
    if (digits && n > 0) {
        uint32_t v = 0;
        for (size_t i = 0; i < n && v < static_cast<uint32_t>(kPinNumberLimit); ++i) {
            v = v * 10 + static_cast<uint32_t>(s[i] - '0');
        }
        if (v < static_cast<uint32_t>(kPinNumberLimit)) {
            return v == 0 ? std::string() : std::to_string(v);
        }
    }
    return std::string(s);
}

// A reference ID as NETDEF nodes name it: a trailing lower-case letter of the stored ID is not part of it.
std::string_view net_reference(std::string_view ref) {
    if (ref.size() >= 2 && ref.back() >= 'a' && ref.back() <= 'z') {
        ref.remove_suffix(1);
    }
    return ref;
}

struct NetNode {
    uint32_t net;
    uint32_t ref_at, ref_len, pin_at, pin_len;
};

class Reader {
  public:
    Reader(LineReader& in, Document& doc, const ImportJob& job) : in_(in), doc_(doc), job_(job), rep_(job) {
        top_ = doc.ring();
        ring_ = top_;
    }

    char run();

  private:
    bool next(std::string_view& s) {
        int n = in_.ReadLine();
        if (n == 0) {
            return false;
        }
        ++line_;
        s = n > 0 ? in_.line() : std::string_view();
        return true;
    }
    // The data line of a record: at least `want` numbers.
    bool numbers(std::string_view what, int64_t* v, int want);
    Coord coord(int64_t mils);
    Length length(int64_t mils);
    Ref made(Ref r) {
        if (r == kNone) {
            out_of_nodes_ = true;
        }
        return r;
    }

    void track();
    void arc();
    void pad();
    void via();
    void fill();
    void string_record();
    void comp();
    void endcomp();
    void netdef();
    void unknown(std::string_view kw);
    Ref text(uint8_t layer, Length h, Coord x, Coord y, int64_t flags, std::string_view s);
    void close_open_component(bool report);
    void resolve_nets();

    LineReader& in_;
    Document& doc_;
    const ImportJob& job_;
    detail::Reporter rep_;
    int64_t line_ = 0;
    Ref top_, ring_;
    Ref comp_ = kNone;
    int64_t comp_line_ = 0;
    bool out_of_nodes_ = false;
    int brace_ = 0; // 1 just after a NETDEF node list, 2 inside the "{" ... "}" that may follow it
    size_t unknown_kinds_ = 0;

    std::string names_;    // NETDEF names, references and pins, end to end
    std::vector<std::pair<uint32_t, uint32_t>> nets_; // name offset and length per NETDEF
    std::vector<NetNode> nodes_;
};

bool Reader::numbers(std::string_view what, int64_t* v, int want) {
    std::string_view s;
    if (!next(s)) {
        rep_.note(std::string(what) + " record cut off at the end", line_);
        return false;
    }
    bool big = false;
    int n = parse_numbers(s, v, kMaxNumbers, big);
    if (big) {
        rep_.note("number beyond range", line_);
    }
    if (n < want) {
        rep_.note(std::string(what) + " record with missing numbers", line_);
        return false;
    }
    return true;
}

Coord Reader::coord(int64_t mils) {
    int64_t u = mils * 65536;
    u = u >= 0 ? (u + 500) / 1000 : -((-u + 500) / 1000);
    if (u > kCoordLimit || u < -kCoordLimit) {
        rep_.note("coordinate beyond range", line_);
    }
    return clamp_coord(u);
}

Length Reader::length(int64_t mils) {
    int64_t u = mils_to_units(std::clamp<int64_t>(mils, -1000000, 1000000));
    if (u < 0 || u > 65535) {
        rep_.note("size beyond range", line_);
        u = std::clamp<int64_t>(u, 0, 65535);
    }
    return static_cast<Length>(u);
}

void Reader::track() {
    int64_t v[kMaxNumbers];
    if (!numbers("track", v, 6)) {
        return;
    }
    Length w = length(v[4]);
    made(MakeItem(ring_, kLine, protel::layer_of(v[5]), w == 0 ? Length{65} : w, coord(v[0]), coord(v[1]),
                  coord(v[2]), coord(v[3])));
}

void Reader::arc() {
    int64_t v[kMaxNumbers];
    if (!numbers("arc", v, 6)) {
        return;
    }
    if (v[3] < 0 || v[3] > 15) {
        rep_.note("arc quadrant mask beyond 15", line_);
    }
    const protel::QuarterArc& q = protel::kQuadrants[v[3] & 15];
    Coord r = coord(v[2] < 0 ? -v[2] : v[2]);
    Ref a = made(MakeItem(ring_, kArc, protel::layer_of(v[5]), length(v[4]), coord(v[0]), coord(v[1]), r, 0));
    if (a != kNone) {
        Node& n = node(a);
        n.arc.start = degrees_to_angle(q.start);
        n.arc.sweep = degrees_to_angle(q.sweep);
        n.arc.ellipse = 0;
        n.arc.angle = 0;
    }
}

void Reader::pad() {
    int64_t v[kMaxNumbers];
    bool ok = numbers("pad", v, 8);
    std::string_view pin;
    if (!next(pin)) {
        rep_.note("pad without its pin line", line_);
    }
    if (!ok) {
        return;
    }
    uint8_t layer = protel::layer_of(v[7]);
    int type = v[4] == 2 ? 2 : 1;
    Length w = length(v[2]);
    Length h = v[4] == 2 || v[4] == 4 ? length(v[3]) : w;
    Ref p = made(MakeItem(ring_, kPad, layer, static_cast<uint16_t>(type + (layer != 0 ? 4 : 0)), coord(v[0]),
                          coord(v[1]), 0, 0));
    if (p == kNone) {
        return;
    }
    Node& n = node(p);
    n.pad.width = w;
    n.pad.height = h;
    n.pad.hole = length(v[5]);
    n.pad.angle = 0;
    n.pad.pin = 0;
    if (!SetPin(p, trim(pin))) {
        out_of_nodes_ = true;
    }
}

void Reader::via() {
    int64_t v[kMaxNumbers];
    if (!numbers("via", v, 4)) {
        return;
    }
    Ref p = made(MakeItem(ring_, kPad, 0, 3, coord(v[0]), coord(v[1]), 0, 0));
    if (p == kNone) {
        return;
    }
    Node& n = node(p);
    n.pad.width = n.pad.height = length(v[2]);
    n.pad.hole = length(v[3]);
    n.pad.angle = 0;
    n.pad.pin = 0;
}

// A fill: a Solid rectangle, as the Tango "FILL " record gives one.
void Reader::fill() {
    int64_t v[kMaxNumbers];
    if (!numbers("fill", v, 5)) {
        return;
    }
    Coord x1 = coord(v[0]), y1 = coord(v[1]), x2 = coord(v[2]), y2 = coord(v[3]);
    Ref s = made(MakeItem(ring_, kLine, protel::layer_of(v[4]), 0, 0, 0, 0, 0));
    if (s == kNone) {
        return;
    }
    if (!add_vertex(s, x1, y1) || !add_vertex(s, x2, y1) || !add_vertex(s, x2, y2) || !add_vertex(s, x1, y2)) {
        out_of_nodes_ = true;
        DeleteItem(s);
    }
}

Ref Reader::text(uint8_t layer, Length h, Coord x, Coord y, int64_t flags, std::string_view s) {
    bool mirrored = (flags & 16) != 0;
    Ref t = made(MakeItem(ring_, kText, layer, h, x, y, mirrored ? -1 : 1, 0));
    if (t == kNone) {
        return kNone;
    }
    Node& n = node(t);
    n.text.angle = static_cast<Angle>((flags & 3) << 14);
    n.text.anchor_font = 0;
    n.text.lines = 1;
    if (!SetText(t, s)) {
        out_of_nodes_ = true;
        DeleteItem(t);
        return kNone;
    }
    display::measure_text_item(t);
    return t;
}

void Reader::string_record() {
    int64_t v[kMaxNumbers];
    bool ok = numbers("string", v, 6);
    std::string_view s;
    if (!next(s)) {
        rep_.note("string without its text line", line_);
        return;
    }
    if (!ok) {
        return;
    }
    s = trim(s);
    if (s.empty()) {
        rep_.note("empty string", line_);
        return;
    }
    text(protel::layer_of(v[5]), length(v[2]), coord(v[0]), coord(v[1]), v[3], s);
}

void Reader::close_open_component(bool report) {
    if (comp_ == kNone) {
        return;
    }
    if (report) {
        rep_.note("COMP without ENDCOMP", comp_line_);
    }
    close_component(comp_);
    comp_ = kNone;
    ring_ = top_;
}

void Reader::comp() {
    close_open_component(true); // Components do not nest here: the open one ends
    comp_line_ = line_;
    std::string_view s;
    std::string ref, pattern, value;
    int64_t tv[2][kMaxNumbers] = {};
    int64_t hook[kMaxNumbers] = {};
    bool complete = next(s);
    ref = field_text(s);
    complete = complete && next(s);
    pattern = field_text(s);
    complete = complete && next(s);
    value = field_text(s);
    bool big = false;
    int counts[2] = {0, 0};
    for (int i = 0; i < 2 && complete; ++i) {
        complete = next(s);
        counts[i] = complete ? parse_numbers(s, tv[i], kMaxNumbers, big) : 0;
    }
    int hooks = 0;
    if (complete && next(s)) {
        hooks = parse_numbers(s, hook, kMaxNumbers, big);
    } else {
        complete = false;
    }
    if (big) {
        rep_.note("number beyond range", line_);
    }
    if (!complete) {
        rep_.note("COMP record cut off at the end", comp_line_);
        return;
    }
    if (counts[0] < 6 || counts[1] < 6 || hooks < 2) {
        rep_.note("COMP record with missing numbers", comp_line_);
    }
    std::string params = pattern + '\x7F' + ref + '\x7F' + value;
    Ref c = made(make_component(top_, 0, 0, params));
    if (c == kNone) {
        return;
    }
    Ref front = node(top_).next;
    if (front != c) {
        MoveBefore(c, front);
    }
    Ref head = member_ring(c);
    node(head).box.x1 = coord(hook[0]);
    node(head).box.y1 = coord(hook[1]);
    comp_ = c;
    ring_ = head;
    // Hook numbers: a first 2 drops the reference text, a second 2 the value text.
    static constexpr const char* kField[2] = {"&2", "&1"};
    bool keep[2] = {hooks < 4 || hook[3] != 2, hooks < 3 || hook[2] != 2};
    for (int i = 0; i < 2; ++i) {
        if (keep[i] && counts[i] >= 6) {
            const int64_t* t = tv[i];
            text(protel::layer_of(t[5]), length(t[2]), coord(t[0]), coord(t[1]), t[3], kField[i]);
        }
    }
}

void Reader::endcomp() {
    if (comp_ == kNone) {
        if (job_.ask && job_.ask->error_sound) {
            job_.ask->error_sound();
        }
        rep_.note("ENDCOMP without COMP", line_);
        return;
    }
    close_open_component(false);
}

void Reader::netdef() {
    int64_t at = line_;
    std::string_view s;
    if (!next(s)) {
        rep_.note("NETDEF cut off at the end", at);
        return;
    }
    std::string_view name = trim(s);
    uint32_t net = static_cast<uint32_t>(nets_.size());
    nets_.emplace_back(static_cast<uint32_t>(names_.size()), static_cast<uint32_t>(name.size()));
    names_.append(name);
    for (int i = 0; i < 2; ++i) {
        if (!next(s)) {
            rep_.note("NETDEF cut off at the end", at);
            return;
        }
    }
    for (;;) {
        if (!next(s)) {
            rep_.note("NETDEF without \")\"", at);
            return;
        }
        s = trim(s);
        if (!s.empty() && s[0] == ')') {
            brace_ = 1;
            return;
        }
        if (s.empty()) {
            continue;
        }
        size_t sep = s.find_first_of("-,");
        if (sep == std::string_view::npos || sep == 0) {
            rep_.note("NETDEF node without reference and pin", line_);
            continue;
        }
        std::string_view ref = trim(s.substr(0, sep)), pin = trim(s.substr(sep + 1));
        NetNode nn{net, static_cast<uint32_t>(names_.size()), static_cast<uint32_t>(ref.size()), 0, 0};
        names_.append(ref);
        std::string p = canonical_pin(pin);
        nn.pin_at = static_cast<uint32_t>(names_.size());
        nn.pin_len = static_cast<uint32_t>(p.size());
        names_.append(p);
        nodes_.push_back(nn);
    }
}

void Reader::unknown(std::string_view kw) {
    std::string k(kw.substr(0, std::min<size_t>(kw.find(' '), 12)));
    for (char& c : k) {
        if (static_cast<unsigned char>(c) < ' ' || static_cast<unsigned char>(c) >= 0x7F) {
            c = '?';
        }
    }
    // Many different unknown keywords fold into one line after the first few.
    if (unknown_kinds_ < 32) {
        size_t before = job_.skipped ? job_.skipped->size() : 0;
        rep_.note("unknown record \"" + k + "\"", line_);
        if (job_.skipped && job_.skipped->size() > before) {
            ++unknown_kinds_;
        }
    } else {
        rep_.note("other unknown records", line_);
    }
}

// Every node of every NETDEF on the pads of the top-level Component it names; a pad keeps the last net
// that names it.
void Reader::resolve_nets() {
    if (nodes_.empty()) {
        return;
    }
    std::unordered_map<std::string, std::vector<Ref>> pins;
    std::string key;
    for (Ref c : items_in(top_)) {
        if (node(c).item_kind() != kComponent) {
            continue;
        }
        std::string ref = ComponentField(c, 1);
        std::string_view id = net_reference(ref);
        walk_tree(member_ring(c), [&](Ref r, int) {
            if (node(r).item_kind() != kPad) {
                return;
            }
            std::string p = pin_text(r);
            if (p.empty()) {
                return;
            }
            key.assign(id);
            key += '\x01';
            key += p;
            pins[key].push_back(r);
        });
    }
    std::vector<std::string> signal_of(nets_.size());
    std::vector<bool> tried(nets_.size(), false);
    int64_t unmatched = 0;
    for (const NetNode& nn : nodes_) {
        key.assign(names_, nn.ref_at, nn.ref_len);
        key += '\x01';
        key.append(names_, nn.pin_at, nn.pin_len);
        auto it = pins.find(key);
        if (it == pins.end()) {
            ++unmatched;
            continue;
        }
        if (!tried[nn.net]) {
            tried[nn.net] = true;
            std::string_view name(names_.data() + nets_[nn.net].first, nets_[nn.net].second);
            Ref rec = find_signal(name, true);
            if (rec == kNone) {
                rep_.note("NETDEF without a usable net name", 0);
            } else {
                signal_of[nn.net] = signal_name(rec);
            }
        }
        if (signal_of[nn.net].empty()) {
            continue;
        }
        for (Ref pad : it->second) {
            AttachSignal(pad, signal_of[nn.net]);
        }
    }
    if (unmatched > 0) {
        rep_.note("NETDEF node naming no Component pin", 0, unmatched);
    }
}

char Reader::run() {
    apply_template(doc_.setup, Template::ForeignBoard);
    std::string_view s;
    bool first = true;
    while (!out_of_nodes_ && next(s)) {
        s = trim(s);
        if (first) {
            first = false;
            bool head = false;
            for (std::string_view h : kHeads) {
                head = head || s.substr(0, h.size()) == h;
            }
            if (head) {
                continue;
            }
        }
        if (s.empty()) {
            continue;
        }
        // The "{" ... "}" block after a node list carries nothing read here.
        if (brace_ == 1) {
            brace_ = s[0] == '{' ? 2 : 0;
            if (brace_ == 2) {
                if (s.find('}') != std::string_view::npos) {
                    brace_ = 0;
                }
                continue;
            }
        } else if (brace_ == 2) {
            if (s.find('}') != std::string_view::npos) {
                brace_ = 0;
            }
            continue;
        }
        if (s.size() == 2 && (s[0] == 'C' || s[0] == 'F')) {
            switch (s[1]) {
            case 'T':
                track();
                continue;
            case 'A':
                arc();
                continue;
            case 'P':
                pad();
                continue;
            case 'V':
                via();
                continue;
            case 'S':
                string_record();
                continue;
            case 'F':
                fill();
                continue;
            default:
                break;
            }
        } else if (s == "COMP") {
            comp();
            continue;
        } else if (s == "ENDCOMP") {
            endcomp();
            continue;
        } else if (s == "NETDEF") {
            netdef();
            continue;
        } else if (s == "ENDPCB") {
            break;
        }
        unknown(s);
    }
    close_open_component(true);
    if (!out_of_nodes_) {
        resolve_nets();
    }
    doc_.mark_modified();
    return out_of_nodes_ ? 0 : 'P';
}

} // namespace

bool protel_accepts(std::string_view head, char forced) {
    if (forced != 0) {
        return forced == kForcedProtel;
    }
    for (std::string_view h : kHeads) {
        if (head.substr(0, h.size()) == h) {
            return true;
        }
    }
    return false;
}

char read_protel_board(LineReader& in, Document& doc, const ImportJob& job) {
    Reader r(in, doc, job);
    return r.run();
}

} // namespace trazel::formats
