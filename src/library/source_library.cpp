// Source library entries: expanded into Data file records, then read by the same library rules as a
// Data file library, so both kinds of library give the same Components.
#include "library/source_library.h"

#include <algorithm>
#include <cstdlib>

#include "model/datafile.h"
#include "model/line_reader.h"
#include "model/numbers.h"

namespace trazel::library {

namespace {

std::string trim(std::string_view s) {
    while (!s.empty() && static_cast<unsigned char>(s.front()) <= ' ') {
        s.remove_prefix(1);
    }
    while (!s.empty() && static_cast<unsigned char>(s.back()) <= ' ') {
        s.remove_suffix(1);
    }
    return std::string(s);
}

std::vector<std::string_view> split_blanks(std::string_view s) {
    std::vector<std::string_view> out;
    size_t i = 0;
    while (i < s.size()) {
        while (i < s.size() && s[i] == ' ') {
            ++i;
        }
        size_t b = i;
        while (i < s.size() && s[i] != ' ') {
            ++i;
        }
        if (i > b) {
            out.push_back(s.substr(b, i - b));
        }
    }
    return out;
}

// A field of a body line: a length or a count, "#" standing for the variant.
std::string_view variant_text(std::string_view f, int variant, std::string& keep) {
    if (f == "#") {
        keep = std::to_string(variant);
        return keep;
    }
    return f;
}

model::Coord length_of(std::string_view f) {
    model::Cursor c(f);
    return model::clamp_coord(model::read_length(c));
}

void put_length(std::string& out, model::Coord v) {
    char buf[32];
    char* e = model::write_fixed(buf, v);
    out.append(buf, static_cast<size_t>(e - buf));
}

// Row positions are added up in 1/100000 inch, exactly as typed, so that the fifth pad of a 0.1 inch row
// lands where "0.4" written by hand would: adding rounded units would drift.
constexpr int64_t kTenMicroInch = 100000;
constexpr int64_t kDecimalLimit = int64_t{1} << 40;

int64_t decimal_of(std::string_view f) {
    bool neg = !f.empty() && f[0] == '-';
    if (!f.empty() && (f[0] == '-' || f[0] == '+')) {
        f.remove_prefix(1);
    }
    bool inches = f.find('.') != std::string_view::npos;
    int64_t whole = 0, frac = 0, scale = kTenMicroInch;
    bool in_frac = false;
    for (char ch : f) {
        if (ch == '.' && !in_frac) {
            in_frac = true;
        } else if (ch >= '0' && ch <= '9') {
            if (!in_frac) {
                whole = std::min(whole * 10 + (ch - '0'), kDecimalLimit);
            } else if (scale > 1) {
                scale /= 10;
                frac += (ch - '0') * scale;
            }
        } else {
            break;
        }
    }
    int64_t v = inches ? whole * kTenMicroInch + frac : whole * 100 + frac / 1000;
    return neg ? -v : v;
}

void put_decimal(std::string& out, int64_t v) {
    v = std::clamp(v, -kDecimalLimit, kDecimalLimit);
    if (v < 0) {
        out += '-';
        v = -v;
    }
    out += std::to_string(v / kTenMicroInch);
    out += '.';
    std::string frac = std::to_string(v % kTenMicroInch);
    out.append(5 - frac.size(), '0');
    out += frac;
}

// The type of a "P" line: "T0".."T3", "S0".."S3" or the code itself.
int pad_type(std::string_view f) {
    if (f.size() == 2 && (f[0] == 'T' || f[0] == 't' || f[0] == 'S' || f[0] == 's') && f[1] >= '0' && f[1] <= '3') {
        return (f[1] - '0') + (f[0] == 'S' || f[0] == 's' ? 4 : 0);
    }
    return std::clamp(std::atoi(std::string(f).c_str()), 0, 7);
}

constexpr int kMaxRow = 1000; // pads in one "P" line

} // namespace

NameLine parse_name_line(std::string_view line) {
    NameLine out;
    std::string_view s = line;
    if (!s.empty() && s[0] == '*') {
        out.alias = true;
        s.remove_prefix(1);
        size_t eq = s.find('=');
        if (eq == std::string_view::npos) {
            return out; // an alias line without a target defines nothing
        }
        out.target = model::upper_ascii(trim(s.substr(eq + 1)));
        s = s.substr(0, eq);
    }
    size_t i = 0;
    while (i <= s.size()) {
        size_t comma = s.find(',', i);
        if (comma == std::string_view::npos) {
            comma = s.size();
        }
        std::string name = model::upper_ascii(trim(s.substr(i, comma - i)));
        if (!name.empty()) {
            out.names.push_back(std::move(name));
        }
        i = comma + 1;
    }
    return out;
}

bool convert_source_entry(std::string_view body, std::string_view shown, int variant, model::Ref ring) {
    std::string text = "6 0 0 0 0 0 0 ";
    text.append(shown.empty() ? std::string_view("*") : shown);
    text += '\n';
    model::Coord hx = 0, hy = 0;
    size_t at = 0;
    std::string keep;
    while (at < body.size()) {
        size_t nl = body.find('\n', at);
        std::string_view line = body.substr(at, nl == std::string_view::npos ? std::string_view::npos : nl - at);
        at = nl == std::string_view::npos ? body.size() : nl + 1;
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        if (line.size() >= 2 && line[0] >= '1' && line[0] <= '4' && line[1] == ' ') {
            text.append(line);
            text += '\n';
            continue;
        }
        auto f = split_blanks(line);
        if (f.empty()) {
            continue;
        }
        if ((f[0] == "G" || f[0] == "g") && f.size() >= 3) {
            hx = length_of(variant_text(f[1], variant, keep));
            hy = length_of(variant_text(f[2], variant, keep));
        } else if ((f[0] == "P" || f[0] == "p") && f.size() >= 11) {
            int count = std::atoi(std::string(variant_text(f[2], variant, keep)).c_str());
            count = std::clamp(count, 0, kMaxRow);
            int64_t dx = decimal_of(variant_text(f[3], variant, keep));
            int64_t dy = decimal_of(variant_text(f[4], variant, keep));
            int64_t x = decimal_of(variant_text(f[5], variant, keep));
            int64_t y = decimal_of(variant_text(f[6], variant, keep));
            int64_t w = decimal_of(variant_text(f[7], variant, keep));
            int64_t h = decimal_of(variant_text(f[8], variant, keep));
            int64_t hole = decimal_of(variant_text(f[9], variant, keep));
            int type = pad_type(f[10]);
            long first = f.size() >= 12 ? std::atol(std::string(variant_text(f[11], variant, keep)).c_str()) : 1;
            for (int k = 0; k < count; ++k) {
                text += "3 ";
                text.append(f[1]);
                text += ' ';
                text += std::to_string(type);
                for (int64_t v : {x + dx * k, y + dy * k, w, h, hole}) {
                    text += ' ';
                    put_decimal(text, v);
                }
                text += " 0 ";
                text += std::to_string(first + k);
                text += '\n';
            }
        }
    }
    text += "0 6 0 ";
    put_length(text, hx);
    text += ' ';
    put_length(text, hy);
    text += '\n';
    model::LineReader in;
    in.open_memory(text);
    if (in.ReadLine() <= 0) {
        return false;
    }
    return model::read_library_entry(in, in.line(), ring, 4);
}

} // namespace trazel::library
