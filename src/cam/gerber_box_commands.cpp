#include "cam/gerber_box_commands.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "cam/plot_types.h"
#include "model/numbers.h"
#include "model/setup_directives.h"

namespace trazel::cam {

namespace {

std::vector<std::string> strings(const char* const* list, size_t n) {
    std::vector<std::string> out;
    for (size_t i = 0; i < n && list[i]; ++i) {
        out.emplace_back(list[i]);
    }
    return out;
}

std::string ext_text(const model::GerberEntry& g) {
    if (!g.in_use()) {
        return {};
    }
    return std::string(model::trim_blanks(std::string_view(g.ext, 3)));
}

// "3,12-14" for the set {3, 12, 13, 14}.
std::string layers_text(const model::LayerSet& set) {
    std::string out;
    for (size_t n = 0; n < set.size(); ++n) {
        if (!set.test(n)) {
            continue;
        }
        size_t last = n;
        while (last + 1 < set.size() && set.test(last + 1)) {
            ++last;
        }
        out += (out.empty() ? "" : ",") + std::to_string(n);
        if (last > n) {
            out += (last == n + 1 ? "," : "-") + std::to_string(last);
        }
        n = last;
    }
    return out;
}

// Items separated by commas (a layer name may hold blanks): a layer number, a range "12-14", or the name of a layer in use.
void read_layers(shell::SetupAnswers& in, const std::string& id, const model::Setup& table, model::LayerSet& out) {
    model::LayerSet set;
    std::string t = in.text(id);
    size_t i = 0;
    while (i < t.size()) {
        size_t end = t.find(',', i);
        std::string item(model::trim_blanks(std::string_view(t).substr(i, end == std::string::npos ? std::string::npos : end - i)));
        i = end == std::string::npos ? t.size() : end + 1;
        if (item.empty()) {
            continue;
        }
        int32_t from = 0, to = 0;
        size_t dash = item.find('-');
        bool range = dash != std::string::npos && dash > 0 && model::is_digit(item[0]);
        if (range) {
            if (!in.parse_layer(id, item.substr(0, dash), table, from) ||
                !in.parse_layer(id, item.substr(dash + 1), table, to)) {
                return;
            }
            if (to < from) {
                in.refuse(id, shell::quoted(item) + " is not a range: the first layer must be the lower.");
                return;
            }
        } else if (!in.parse_layer(id, item, table, from)) {
            return;
        } else {
            to = from;
        }
        for (int32_t n = from; n <= to; ++n) {
            set.set(static_cast<size_t>(n));
        }
    }
    out = set;
}

} // namespace

void add_file_set_fields(platform::FormBuilder& box, const model::Setup& s) {
    const std::vector<std::string> kinds = strings(kFileTypeChoices, 8);
    const std::vector<std::string> sides = strings(kFileSideChoices, 2);
    const std::vector<std::string> suggested = strings(kSuggestedExtensions, 64);
    for (int n = 0; n < kFileSetRows; ++n) {
        const model::GerberEntry& g = s.gerber[static_cast<size_t>(n)];
        const std::string at = std::to_string(n), label = "File " + std::to_string(n + 1);
        box.text("ext" + at, label + " extension", ext_text(g))
            .suggest(suggested)
            .choice("kind" + at, label + " type", kinds, g.kind & kFileTypeMask)
            .choice("side" + at, label + " side", sides, (g.kind & kFileBottom) ? 1 : 0)
            .text("layers" + at, label + " layers", layers_text(g.layers));
    }
}

void read_file_set(shell::SetupAnswers& in, model::Setup& next) {
    decltype(next.gerber) rows{};
    size_t kept = 0;
    for (int n = 0; n < kFileSetRows; ++n) {
        const std::string at = std::to_string(n), ext = "ext" + at;
        const model::GerberEntry& was = next.gerber[static_cast<size_t>(n)];
        std::string t = in.text(ext);
        // A chosen suggestion brings its description along: "TOP: Top Copper".
        if (size_t colon = t.find(':'); colon != std::string::npos && colon <= 3) {
            t = std::string(model::trim_blanks(std::string_view(t).substr(0, colon)));
        }
        if (t.empty()) {
            continue;
        }
        if (t.size() > 3) {
            in.refuse(ext, shell::quoted(t) + " is too long: an extension has at most 3 characters.");
            continue;
        }
        if (t.find_first_of(",:;") != std::string::npos ||
            std::any_of(t.begin(), t.end(), [](char c) { return static_cast<unsigned char>(c) < ' '; })) {
            in.refuse(ext, shell::quoted(t) + " cannot be an extension: it may not hold \",\", \":\" or \";\".");
            continue;
        }
        model::GerberEntry row = was;
        std::memset(row.ext, ' ', 3);
        std::memcpy(row.ext, t.data(), t.size());
        if (!was.in_use()) {
            row.kind = 0;
            row.layers.reset();
        }
        uint8_t kind = row.kind;
        in.choice("kind" + at, 8, kind, kFileTypeMask);
        int side = (row.kind & kFileBottom) ? 1 : 0;
        if (in.changed("side" + at)) {
            in.number("side" + at, 1, side, "one of the choices");
        }
        row.kind = static_cast<uint8_t>((kind & ~kFileBottom) | (side ? kFileBottom : 0));
        if (in.changed("layers" + at) || !was.in_use()) {
            read_layers(in, "layers" + at, next, row.layers);
        }
        rows[kept++] = row;
    }
    next.gerber = rows;
}

bool settle_file_set(const model::Setup& was, model::Setup& next) {
    std::string before, after;
    for (int n = 0; n < kFileSetRows; ++n) {
        before += model::directive_line(was, "dy" + std::to_string(n)) + "\n";
        after += model::directive_line(next, "dy" + std::to_string(n)) + "\n";
    }
    if (before == after) {
        return false;
    }
    const model::Setup typed = next;
    model::ApplyDirective(next, "-dy");
    for (int n = 0; n < kFileSetRows; ++n) {
        std::string line = model::directive_line(typed, "dy" + std::to_string(n));
        if (!line.empty()) {
            model::ApplyDirective(next, line);
        }
    }
    return true;
}

} // namespace trazel::cam
