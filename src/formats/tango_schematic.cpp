// The Tango schematic reader.  The file nests its records in parentheses; the reader looks for "(" and
// one of the keywords it draws, then takes the numbers, and for a text the string, that follow up to the
// record's closing parenthesis (or the next drawn keyword), on any number of lines.  Numbers are found as
// tokens wherever they stand, so the fixed words between them may be anything.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <string>

#include "display/stroke_font.h"
#include "formats/import_support.h"
#include "formats/tango.h"
#include "model/setup_directives.h"

namespace trazel::formats {

using namespace model;

namespace {

enum Kind { kNoRecord, kLineRecord, kWire, kBus, kArcRecord, kJunction, kTextRecord };

struct Keyword {
    std::string_view word;
    Kind kind;
    int numbers; // how many numbers the record needs
};

constexpr Keyword kKeywords[] = {
    {"line", kLineRecord, 4}, {"wire", kWire, 4},         {"bus", kBus, 4},
    {"arc", kArcRecord, 5},   {"junction", kJunction, 2}, {"text", kTextRecord, 2},
};

constexpr int kMaxNumbers = 16;
constexpr Length kThin = 655;        // 0.01 inch
constexpr Length kBusWidth = 3277;   // 0.05 inch
constexpr Length kTextHeight = 3932; // 0.06 inch
constexpr Length kDot = 2624;

bool is_letter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
}
bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

Coord inch_units(double v) {
    double u = v * 65536.0;
    if (!(u == u)) {
        return 0;
    }
    return clamp_coord(static_cast<int64_t>(std::llround(std::clamp(u, -4e9, 4e9))));
}

struct SchematicRead {
    Document& doc;
    detail::Reporter rep;
    Ref ring;
    int64_t line_no = 0;
    bool out_of_nodes = false;

    // The record being gathered.
    const Keyword* rec = nullptr;
    int64_t rec_line = 0;
    int rec_depth = 0;
    int depth = 0;
    std::array<double, kMaxNumbers> nums{};
    int count = 0;
    int after_string = -1; // index of the first number after the text's string
    bool has_string = false;
    bool beyond = false;
    std::string str;

    SchematicRead(Document& d, const ImportJob& job) : doc(d), rep(job), ring(d.ring()) {
    }

    void start(const Keyword* k) {
        finish();
        rec = k;
        rec_line = line_no;
        rec_depth = depth;
        count = 0;
        after_string = -1;
        has_string = false;
        beyond = false;
        str.clear();
    }

    Ref made(Ref r) {
        if (r == kNone) {
            out_of_nodes = true;
        }
        return r;
    }

    void finish() {
        if (rec == nullptr) {
            return;
        }
        const Keyword& k = *rec;
        rec = nullptr;
        if (count < k.numbers || (k.kind == kTextRecord && (!has_string || str.empty()))) {
            rep.note("(" + std::string(k.word) + " without its numbers", rec_line);
            return;
        }
        if (beyond) {
            rep.note("numbers beyond range, held at the limit", rec_line);
        }
        Coord x = inch_units(nums[0]), y = inch_units(nums[1]);
        switch (k.kind) {
        case kLineRecord:
        case kWire:
        case kBus: {
            uint8_t layer = k.kind == kLineRecord ? 1 : k.kind == kWire ? 2 : 3;
            made(MakeItem(ring, kLine, layer, k.kind == kBus ? kBusWidth : kThin, x, y, inch_units(nums[2]),
                          inch_units(nums[3])));
            break;
        }
        case kArcRecord: {
            Coord r = inch_units(std::fabs(nums[2]));
            Ref a = made(MakeItem(ring, kArc, 1, kThin, x, y, r, 0));
            if (a != kNone) {
                Angle s = detail::degrees_angle(nums[3]), e = detail::degrees_angle(nums[4]);
                node(a).arc.start = s;
                node(a).arc.sweep = static_cast<Angle>(e - s); // modulo a turn: 350 to 10 is 20 degrees
            }
            break;
        }
        case kJunction: {
            Ref p = made(MakeItem(ring, kPad, 2, 7, x, y, 0, 0));
            if (p != kNone) {
                node(p).pad.width = node(p).pad.height = kDot;
            }
            break;
        }
        case kTextRecord: {
            Length h = kTextHeight;
            for (int i = 2; i < count; ++i) {
                if (i >= after_string) {
                    double size = nums[i] * 66.0;
                    if (size >= 300 && size <= 32767) {
                        h = static_cast<Length>(size);
                    }
                    break;
                }
            }
            Ref t = made(MakeItem(ring, kText, 1, h, x, y, 1, 0));
            if (t == kNone) {
                break;
            }
            if (!SetText(t, str)) {
                out_of_nodes = true;
                DeleteItem(t);
                break;
            }
            display::measure_text_item(t);
            break;
        }
        default:
            break;
        }
    }

    const Keyword* keyword_at(std::string_view l, size_t p) {
        for (const Keyword& k : kKeywords) {
            size_t e = p + k.word.size();
            if (l.size() >= e && std::memcmp(l.data() + p, k.word.data(), k.word.size()) == 0 &&
                (e == l.size() || l[e] == ' ' || l[e] == '(' || l[e] == '"')) {
                return &k;
            }
        }
        return nullptr;
    }

    void scan(std::string_view l) {
        size_t p = 0;
        while (p < l.size() && !out_of_nodes) {
            char c = l[p];
            if (c == '(') {
                ++p;
                ++depth;
                if (const Keyword* k = keyword_at(l, p)) {
                    start(k);
                    p += k->word.size();
                }
            } else if (c == ')') {
                ++p;
                --depth;
                if (rec != nullptr && depth < rec_depth) {
                    finish();
                }
            } else if (c == '"') {
                size_t e = l.find('"', p + 1);
                std::string_view s = l.substr(p + 1, e == std::string_view::npos ? std::string_view::npos : e - p - 1);
                if (rec != nullptr && rec->kind == kTextRecord && !has_string) {
                    str.assign(s.substr(0, 255));
                    has_string = true;
                    after_string = count;
                }
                p = e == std::string_view::npos ? l.size() : e + 1;
            } else if (is_digit(c) || ((c == '-' || c == '+' || c == '.') && p + 1 < l.size() &&
                                       (is_digit(l[p + 1]) || (l[p + 1] == '.' && c != '.')))) {
                detail::Decimal d;
                size_t q = p;
                bool ok = detail::read_decimal(l, q, d);
                p = q > p ? q : p + 1;
                if (rec != nullptr && count < kMaxNumbers) {
                    if (!ok) {
                        beyond = true;
                    }
                    double v = static_cast<double>(d.v) * std::pow(10.0, -d.e);
                    if (d.too_big || v > 16384.0 || v < -16384.0) {
                        beyond = true;
                    }
                    nums[count++] = v;
                }
                // A number glued to letters ("1e5", "2x") is one token.
                while (p < l.size() && (is_letter(l[p]) || is_digit(l[p]) || l[p] == '.')) {
                    ++p;
                }
            } else if (is_letter(c) || is_digit(c)) {
                while (p < l.size() && (is_letter(l[p]) || is_digit(l[p]))) {
                    ++p;
                }
            } else {
                ++p;
            }
        }
    }
};

} // namespace

bool tango_schematic_accepts(std::string_view head, char forced) {
    constexpr std::string_view kMark = "TangoPRO_ASCII";
    bool mark = head.size() >= kMark.size() && std::memcmp(head.data(), kMark.data(), kMark.size()) == 0;
    return mark && (forced == 0 || forced == kForcedTango);
}

char read_tango_schematic(LineReader& in, Document& doc, const ImportJob& job) {
    apply_template(doc.setup, Template::TangoSchematic);
    SchematicRead r(doc, job);
    for (int n; (n = in.ReadLine()) != 0 && !r.out_of_nodes;) {
        ++r.line_no;
        if (n > 0) {
            r.scan(in.line());
        }
    }
    if (!r.out_of_nodes) {
        r.finish();
    }
    doc.mark_modified();
    return r.out_of_nodes ? 0 : kForcedTango;
}

} // namespace trazel::formats
