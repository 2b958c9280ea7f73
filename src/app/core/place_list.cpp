// The placement list reader.
#include "app/core/place_list.h"

#include "model/numbers.h"
#include "shell/keys.h"

namespace trazel::app {

namespace {

std::string trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) {
        s.remove_prefix(1);
    }
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) {
        s.remove_suffix(1);
    }
    return std::string(s);
}

// The reason a line is not a placement, "" when it is one.
std::string parse_line(std::string_view line, model::Coord ox, model::Coord oy, Placement& p) {
    std::vector<std::string> f;
    size_t at = 0;
    while (true) {
        size_t comma = line.find(',', at);
        f.push_back(trim(line.substr(at, comma == std::string_view::npos ? std::string_view::npos : comma - at)));
        if (comma == std::string_view::npos || f.size() > 6) {
            break;
        }
        at = comma + 1;
    }
    if (f.size() != 5 && f.size() != 6) {
        return "expected pattern,ref,value,x,y[,angle]";
    }
    if (f[0].empty()) {
        return "no pattern";
    }
    auto x = shell::parse_typed_length(f[3]);
    auto y = shell::parse_typed_length(f[4]);
    if (!x || !y) {
        return "bad coordinates \"" + f[3] + "," + f[4] + "\"";
    }
    p.fields[0] = f[0];
    p.fields[1] = f[1];
    p.fields[2] = f[2];
    p.x = model::clamp_coord(int64_t{ox} + *x);
    p.y = model::clamp_coord(int64_t{oy} + *y);
    if (f.size() == 6 && !parse_degrees(f[5], p.angle)) {
        return "bad angle \"" + f[5] + "\"";
    }
    return {};
}

} // namespace

bool parse_degrees(std::string_view text, model::Angle& out) {
    std::string t = trim(text);
    bool ok = !t.empty() && t.size() < 32;
    for (size_t i = 0; i < t.size() && ok; ++i) {
        ok = model::is_digit(t[i]) || t[i] == '.' || (i == 0 && (t[i] == '-' || t[i] == '+'));
    }
    if (!ok) {
        return false;
    }
    model::Cursor c(t);
    out = model::read_angle(c);
    return true;
}

bool read_place_list(std::string_view text, model::Coord ox, model::Coord oy, std::vector<Placement>& out,
                     std::string& error) {
    long n = 0;
    while (!text.empty()) {
        ++n;
        size_t nl = text.find('\n');
        std::string_view line = text.substr(0, nl);
        text.remove_prefix(nl == std::string_view::npos ? text.size() : nl + 1);
        std::string t = trim(line);
        if (t.empty() || t[0] == '#') {
            continue;
        }
        Placement p;
        p.line = n;
        std::string why = parse_line(t, ox, oy, p);
        if (!why.empty()) {
            error = std::to_string(n) + ": " + why;
            return false;
        }
        out.push_back(std::move(p));
    }
    return true;
}

} // namespace trazel::app
