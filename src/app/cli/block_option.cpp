// The --box / --polygon / --layers Block of the area verbs.
#include "app/cli/block_option.h"

#include "app/cli/cli.h"
#include "model/numbers.h"
#include "shell/keys.h"

namespace trazel::cli {

std::vector<std::string> split(std::string_view s, char sep) {
    std::vector<std::string> out;
    size_t start = 0;
    while (true) {
        size_t at = s.find(sep, start);
        out.emplace_back(s.substr(start, at == std::string_view::npos ? std::string_view::npos : at - start));
        if (at == std::string_view::npos) {
            return out;
        }
        start = at + 1;
    }
}

bool BlockOption::take(int argc, char** argv, int& i, bool& ok) {
    std::string_view a = argv[i];
    std::string* to = a == "--box" ? &box : a == "--polygon" ? &polygon : a == "--layers" ? &layers : nullptr;
    if (to == nullptr) {
        return false;
    }
    ok = next_value(argc, argv, i, *to);
    return true;
}

std::string define_block_option(const BlockOption& o, model::Document& d, const std::string& ref, edit::Block& b) {
    const model::Setup& s = d.setup;
    auto point = [&](const std::string& text, model::Point& p) {
        return shell::parse_typed_point(text, s.origin_x, s.origin_y, p.x, p.y);
    };
    std::vector<model::Point> corners;
    if (!o.box.empty()) {
        std::vector<std::string> v = split(o.box, ',');
        model::Point a, c;
        if (v.size() != 4 || !point(v[0] + "," + v[1], a) || !point(v[2] + "," + v[3], c)) {
            return "bad --box \"" + o.box + "\": expected X1,Y1,X2,Y2";
        }
        corners = {a, c};
    } else {
        for (const std::string& pt : split(o.polygon, ';')) {
            model::Point p;
            if (!point(pt, p)) {
                return "bad --polygon point \"" + pt + "\": expected X,Y";
            }
            corners.push_back(p);
        }
        if (corners.size() < 3) {
            return "a --polygon needs three points or more";
        }
    }
    model::Point source = corners.front();
    if (!ref.empty() && !point(ref, source)) {
        return "bad --ref \"" + ref + "\"";
    }
    if (!o.box.empty()) {
        edit::define_block(b, d, corners[0], corners[1], source);
    } else {
        edit::define_block(b, d, corners, source);
    }
    if (!o.layers.empty()) {
        b.layers.fill(false);
        for (const std::string& l : split(o.layers, ',')) {
            model::Cursor c(l);
            int n = model::read_int(c);
            if (l.empty() || n < 0 || n > 255) {
                return "bad layer \"" + l + "\" in --layers";
            }
            b.layers[static_cast<size_t>(n)] = true;
        }
    }
    return {};
}

} // namespace trazel::cli
