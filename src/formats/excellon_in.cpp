#include "formats/excellon_in.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <unordered_map>

#include "formats/import_support.h"
#include "model/setup_directives.h"

namespace trazel::formats {

using namespace model;
using detail::Decimal;

namespace {

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}
bool is_letter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}
bool is_number_char(char c) {
    return is_digit(c) || c == '-' || c == '.' || c == '+';
}

struct Tool {
    int64_t diameter = 0; // coordinate units
    bool asked = false;
};

class ExcellonReader {
  public:
    ExcellonReader(Document& doc, const ImportJob& job, ImportStats& stats, bool defaults)
        : rep_(job), make_(doc, 0, rep_, stats), job_(job), use_defaults_(defaults) {
    }

    void feed(std::string_view line);
    void finish() {
        if (make_.out_of_nodes) {
            rep_.note("out of memory: the rest of the file", line_no_, 0);
        }
    }

  private:
    Tool& tool(uint32_t t);
    void select(uint32_t t);
    bool coordinate(std::string_view s, size_t& p, bool x_axis, int64_t& out);
    void header_word(std::string_view line);
    void hole(int64_t x, int64_t y);
    void slot(int64_t x1, int64_t y1, int64_t x2, int64_t y2);
    int64_t drill() const {
        return size_ < 65 ? kDefaultDrill : size_;
    }
    void note(std::string_view what, int64_t objects = 1) {
        rep_.note(what, line_no_, objects);
    }

    detail::Reporter rep_;
    detail::ItemMaker make_;
    const ImportJob& job_;
    bool use_defaults_;
    int64_t line_no_ = 0;
    bool header_ = false;
    bool stopped_ = false;

    // Number format: undeclared files follow the digit count (two integer digits, inches).
    bool metric_ = false;
    bool declared_ = false;
    bool trailing_kept_ = false; // TZ: trailing zeros written, leading ones left out
    int int_digits_ = 2, dec_digits_ = 4;
    bool incremental_ = false;

    Tool low_[32];
    std::unordered_map<uint32_t, Tool> high_; // tools above 31 kept apart
    int64_t size_ = 0;
    int64_t x_ = 0, y_ = 0;

    // Routing: G00 moves, M15 plunges, G01 cuts, M16/M17 lift.
    bool routing_ = false;
    bool plunged_ = false;
    bool route_linear_ = false;
};

Tool& ExcellonReader::tool(uint32_t t) {
    return t < 32 ? low_[t] : high_[t];
}

void ExcellonReader::select(uint32_t t) {
    Tool& k = tool(t);
    if (t != 0 && k.diameter == 0 && !use_defaults_ && !k.asked) {
        k.asked = true;
        DrillToolForm f;
        f.tool = static_cast<int>(t);
        bool ok = true;
        if (job_.ask && job_.ask->drill_tool) {
            ok = job_.ask->drill_tool(f);
        }
        if (ok) {
            if (f.defaults) {
                use_defaults_ = true;
            } else {
                k.diameter = mils_to_units(std::clamp(f.diameter, 0, 100000));
            }
        }
    }
    size_ = k.diameter;
}

bool ExcellonReader::coordinate(std::string_view s, size_t& p, bool, int64_t& out) {
    Decimal d;
    size_t at = p;
    bool ok = detail::read_decimal(s, p, d);
    if (d.too_big) {
        note("number beyond 32 bits");
        return false;
    }
    if (!ok) {
        return p != at && (out = 0, true);
    }
    int e;
    if (d.point) {
        e = d.e;
    } else if (declared_ && trailing_kept_) {
        e = dec_digits_;
    } else {
        // Leading zeros kept: the digits count from the left.
        e = d.digits - int_digits_;
    }
    out = detail::scaled_units(d.v, e, metric_);
    return true;
}

void ExcellonReader::header_word(std::string_view line) {
    bool inch = line.starts_with("INCH"), metric = line.starts_with("METRIC");
    if (!inch && !metric) {
        if (line.starts_with("ICI")) {
            incremental_ = line.find("OFF") == std::string_view::npos;
        }
        return;
    }
    declared_ = true;
    metric_ = metric;
    int_digits_ = metric ? 3 : 2;
    dec_digits_ = metric ? 3 : 4;
    trailing_kept_ = line.find(",TZ") != std::string_view::npos;
    // An explicit digit pattern ("000.000") fixes both counts.
    size_t dot = line.find('.');
    if (dot != std::string_view::npos) {
        size_t a = dot, b = dot + 1;
        while (a > 0 && line[a - 1] == '0') {
            --a;
        }
        while (b < line.size() && line[b] == '0') {
            ++b;
        }
        if (dot > a && b > dot + 1) {
            int_digits_ = static_cast<int>(dot - a);
            dec_digits_ = static_cast<int>(b - dot - 1);
        }
    }
}

void ExcellonReader::hole(int64_t x, int64_t y) {
    int64_t d = drill();
    make_.pad(x, y, 3, d, d, d, 0);
}

void ExcellonReader::slot(int64_t x1, int64_t y1, int64_t x2, int64_t y2) {
    int64_t d = drill();
    double dx = static_cast<double>(x2 - x1), dy = static_cast<double>(y2 - y1);
    double len = std::hypot(dx, dy);
    if (len < 1) {
        hole(x1, y1);
        return;
    }
    // A Pad is shorter than an inch: a longer slot is cut into pieces that overlap by their round ends.
    // Each piece advances at least half the drill, so a drill near an inch wide cannot cut a slot into
    // thousands of pieces.
    double step = std::max(static_cast<double>(d) / 2, 65535.0 - static_cast<double>(d));
    int pieces = std::clamp(static_cast<int>(std::ceil(len / std::max(1.0, step))), 1, 4096);
    Angle a = detail::degrees_angle(std::atan2(dy, dx) * 180.0 / std::numbers::pi);
    for (int k = 0; k < pieces; ++k) {
        double t = (k + 0.5) / pieces;
        int64_t cx = x1 + std::llround(dx * t), cy = y1 + std::llround(dy * t);
        make_.pad(cx, cy, 1, std::llround(len / pieces) + d, d, d, a);
    }
}

void ExcellonReader::feed(std::string_view raw) {
    ++line_no_;
    make_.line_no = line_no_;
    if (stopped_) {
        return;
    }
    // ";" starts a comment.
    std::string_view line = raw.substr(0, raw.find(';'));
    while (!line.empty() && static_cast<unsigned char>(line.back()) <= ' ') {
        line.remove_suffix(1);
    }
    while (!line.empty() && static_cast<unsigned char>(line.front()) <= ' ') {
        line.remove_prefix(1);
    }
    if (line.empty()) {
        return;
    }
    if (line.find('%') != std::string_view::npos) {
        header_ = false; // "%" ends a header (and a header-less file's tool list)
        return;
    }
    if (line.size() > 1 && is_letter(line[0]) && is_letter(line[1])) {
        header_word(line);
        return;
    }
    int64_t nx = x_, ny = y_, ex = 0, ey = 0;
    bool got = false, slot_end = false, g85 = false;
    int64_t repeat = 0, step_x = 0, step_y = 0;
    size_t p = 0;
    while (p < line.size()) {
        char c = line[p++];
        if (c == 'X' || c == 'Y') {
            int64_t v = 0;
            if (!coordinate(line, p, c == 'X', v)) {
                while (p < line.size() && is_number_char(line[p])) {
                    ++p;
                }
                continue;
            }
            if (repeat > 0) {
                (c == 'X' ? step_x : step_y) = v; // after R the numbers are the steps
                continue;
            }
            bool after = g85;
            int64_t& target = after ? (c == 'X' ? ex : ey) : (c == 'X' ? nx : ny);
            int64_t base = after ? (c == 'X' ? nx : ny) : (c == 'X' ? x_ : y_);
            target = incremental_ ? base + v : v;
            (after ? slot_end : got) = true;
            continue;
        }
        if (c == 'T' || c == 'M' || c == 'G' || c == 'R') {
            uint32_t n = 0;
            if (!detail::read_code(line, p, c, "number", n, [&](const std::string& m) { note(m); })) {
                continue;
            }
            if (c == 'R') {
                repeat = n;
                continue;
            }
            if (c == 'T') {
                // "T1C.035F200S65": a diameter after the number defines the tool.
                Tool& t = tool(n);
                while (p < line.size() && is_letter(line[p])) {
                    char k = line[p++];
                    Decimal d;
                    size_t at = p;
                    bool ok = detail::read_decimal(line, p, d);
                    if ((k == 'C' || k == '=') && ok) {
                        // With a point a length in the file's unit; without, thousandths of an inch.
                        t.diameter =
                            d.point ? detail::scaled_units(d.v, d.e, metric_) : detail::scaled_units(d.v, 3, false);
                        t.diameter = std::clamp<int64_t>(t.diameter, 0, 65535);
                    } else if (p == at) {
                        break;
                    }
                }
                if (!header_) {
                    select(n);
                }
                continue;
            }
            if (c == 'M') {
                switch (n) {
                case 48:
                    header_ = true;
                    break;
                case 95:
                    header_ = false;
                    break;
                case 71:
                case 72:
                    // The unit's usual digits come with it: 3.3 millimetres, 2.4 inches.
                    metric_ = n == 71;
                    int_digits_ = metric_ ? 3 : 2;
                    dec_digits_ = metric_ ? 3 : 4;
                    break;
                case 15:
                    plunged_ = true;
                    break;
                case 16:
                case 17:
                    plunged_ = false;
                    break;
                case 0:
                case 30:
                    stopped_ = true;
                    return;
                case 97:
                case 98:
                    note("M" + std::to_string(n) + " canned text");
                    return;
                default:
                    break;
                }
                continue;
            }
            switch (n) {
            case 0:
                routing_ = true;
                route_linear_ = false;
                break;
            case 1:
                route_linear_ = true;
                break;
            case 2:
            case 3:
                note("G0" + std::to_string(n) + " routed arc");
                route_linear_ = true;
                break;
            case 5:
                routing_ = false;
                plunged_ = false;
                break;
            case 85:
                g85 = true;
                ex = nx;
                ey = ny;
                break;
            case 90:
                incremental_ = false;
                break;
            case 91:
                incremental_ = true;
                break;
            case 93:
                note("G93 zero set");
                break;
            default:
                break;
            }
            continue;
        }
        if (is_letter(c)) {
            // Feeds, speeds and other words of no use here: skip with their number.
            while (p < line.size() && is_number_char(line[p])) {
                ++p;
            }
        }
    }
    if (header_) {
        return;
    }
    if (repeat > 0) {
        // "R3X01": three more holes, each one step on from the last.
        for (int64_t k = 0; k < repeat && k < 65536 && !make_.out_of_nodes; ++k) {
            nx += step_x;
            ny += step_y;
            hole(nx, ny);
        }
    } else if (g85) {
        if (slot_end) {
            slot(nx, ny, ex, ey);
            nx = ex;
            ny = ey;
        }
    } else if (got) {
        if (routing_) {
            if (plunged_ && route_linear_) {
                slot(x_, y_, nx, ny);
            }
        } else {
            hole(nx, ny);
        }
    }
    x_ = nx;
    y_ = ny;
}

} // namespace

ExcellonRecognition recognise_excellon(std::string_view head) {
    ExcellonRecognition r;
    size_t limit = std::min<size_t>(head.size(), 1024);
    bool coords = false, selection = false;
    size_t i = 0;
    while (i < limit) {
        char c = head[i];
        if (c == ';') {
            size_t e = head.find('\n', i);
            i = e == std::string_view::npos ? limit : e + 1;
            continue;
        }
        if (c == '*') {
            ++r.stars;
            ++i;
            continue;
        }
        if (c == '%') {
            r.header = true;
            ++i;
            continue;
        }
        if (!is_letter(c)) {
            ++i;
            continue;
        }
        size_t j = i + 1;
        bool number = j < head.size() && is_number_char(head[j]);
        size_t end = j;
        while (end < head.size() && is_number_char(head[end])) {
            ++end;
        }
        char u = static_cast<char>(c & ~0x20);
        if (u == 'X' || u == 'Y') {
            coords = true;
            r.count += number ? 1 : 0;
        } else if (u == 'T' && number) {
            // A diameter anywhere in the rest of the word makes it a definition.
            size_t k = end;
            bool def = false;
            while (k < head.size() && (is_letter(head[k]) || is_number_char(head[k]) || head[k] == '=')) {
                def = def || head[k] == 'C' || head[k] == '=';
                ++k;
            }
            (def ? r.tool_defs : selection) = true;
            ++r.count;
        } else if (u == 'M') {
            ++r.count;
            if (head.substr(i, 3) == "M48") {
                r.header = true;
            }
        } else if (number) {
            ++r.count;
        } else {
            --r.count;
        }
        i = end;
    }
    r.accepted = coords && selection && r.count >= 16 && r.stars < 16;
    return r;
}

bool excellon_accepts(std::string_view head, char forced) {
    if (forced) {
        return forced == 'I';
    }
    return recognise_excellon(head).accepted;
}

char read_excellon(LineReader& in, Document& doc, const ImportJob& job, ImportStats* stats) {
    bool defaults = false;
    if (!job.forced) {
        ExcellonRecognition rec = recognise_excellon(in.head());
        if (!rec.accepted) {
            return 0;
        }
        if (!rec.header && !rec.tool_defs) {
            if (job.ask && job.ask->error_sound) {
                job.ask->error_sound();
            }
            DrillFormatForm f;
            if (job.ask && job.ask->drill_format && !job.ask->drill_format(f)) {
                return 0;
            }
            defaults = f.defaults;
        }
    }
    Setup& s = doc.setup;
    if (s.layers[0].name[0] == 0) {
        apply_template(s, Template::GerberImport);
        ApplyDirective(s, "-dy");
        ApplyDirective(s, "-dyDRL:4");
    }
    ImportStats local;
    ImportStats& st = stats ? *stats : local;
    st = ImportStats{};
    st.layer = 0;
    ExcellonReader rd(doc, job, st, defaults);
    int n;
    while ((n = in.ReadLine()) != 0) {
        rd.feed(n < 0 ? std::string_view{} : in.line());
    }
    rd.finish();
    doc.mark_modified();
    return 'E';
}

char read_excellon_bytes(std::string_view bytes, Document& doc, const ImportJob& job, ImportStats* stats) {
    LineReader in;
    in.open_memory(bytes);
    return read_excellon(in, doc, job, stats);
}

} // namespace trazel::formats
