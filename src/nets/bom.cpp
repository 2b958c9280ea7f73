#include "nets/bom.h"

#include <algorithm>
#include <filesystem>

#include "nets/net_state.h"
#include "nets/parts.h"

namespace trazel::nets {

namespace {

constexpr size_t kGroupColumns = 41; // fields 2, 3 and 0 as the groups compare them
constexpr size_t kQuantityEnd = 43;
constexpr size_t kReferenceColumn = 46;
constexpr size_t kLastReferenceStart = 76;

const std::string kRule(80, '-');

struct Entry {
    Ref component;
    std::string key;
};

// The Components in the order of their keys; of equal keys the one met later comes first, as if each
// went in before the first entry whose key is not smaller.  Plain: exactly that, entry by entry.
void order_entries(std::vector<Entry>& entries, bool plain) {
    if (plain) {
        std::vector<Entry> sorted;
        for (Entry& e : entries) {
            auto at = sorted.begin();
            while (at != sorted.end() && at->key < e.key) {
                ++at;
            }
            sorted.insert(at, std::move(e));
        }
        entries = std::move(sorted);
        return;
    }
    std::reverse(entries.begin(), entries.end());
    std::stable_sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.key < b.key; });
}

std::string clipped(std::string s, size_t width) {
    if (s.size() > width) {
        s.resize(width);
    }
    return s;
}

// Fields 2, 3 and 0 in their columns, each cut where the next begins, 41 columns in all.
std::string group_head(Ref c) {
    std::string head(kGroupColumns, ' ');
    put_at(head, 0, clipped(part_field(c, kValueField), 14));
    put_at(head, 14, clipped(part_field(c, kModifierField), 14));
    put_at(head, 28, clipped(part_field(c, kPatternField), 13));
    return head;
}

// One line of the group section: the head (empty on a continuation line), the quantity (the first line
// only) and the Reference IDs from column 46.  All empty: the line after a group.
struct Row {
    std::string head, quantity, references;
    bool empty() const {
        return head.empty() && quantity.empty() && references.empty();
    }
};

std::string row_text(const Row& r, bool with_quantity) {
    std::string l = r.head;
    if (with_quantity && !r.quantity.empty()) {
        put_right(l, kQuantityEnd, r.quantity);
    }
    if (!r.references.empty()) {
        put_at(l, kReferenceColumn, r.references);
    }
    return l;
}

std::vector<Row> group_rows(const std::vector<Entry>& entries) {
    std::vector<Row> rows;
    for (size_t i = 0; i < entries.size();) {
        std::string head = group_head(entries[i].component);
        size_t end = i + 1;
        while (end < entries.size() && group_head(entries[end].component) == head) {
            ++end;
        }
        std::vector<std::string> refs;
        for (size_t k = i; k < end; ++k) {
            refs.push_back(part_field(entries[k].component, kReferenceField));
        }
        std::vector<std::string> lines = reference_lines(refs);
        for (size_t k = 0; k < lines.size(); ++k) {
            rows.push_back(
                Row{k == 0 ? head : std::string(), k == 0 ? std::to_string(end - i) : std::string(), lines[k]});
        }
        rows.push_back(Row{});
        i = end;
    }
    return rows;
}

std::string without_trailing_blanks(std::string s) {
    size_t end = s.find_last_not_of(' ');
    s.resize(end == std::string::npos ? 0 : end + 1);
    return s;
}

std::string columns(const std::string& line, size_t from, size_t count) {
    if (from >= line.size()) {
        return {};
    }
    return without_trailing_blanks(line.substr(from, count));
}

// The angle in whole degrees, rounded.
std::string degrees(model::Angle a) {
    return std::to_string((uint32_t{a} * 360 + 32768) / 65536);
}

// "T" or "B" from the layer name of the Component's first surface-mount Pad on a conductive layer.
std::string side_of(const model::Document& doc, Ref c) {
    for (Ref m : model::items_in(model::member_ring(c))) {
        const model::Node& n = model::node(m);
        if (n.item_kind() == model::kPad && smt_pad(n) && conductive_layer(doc.setup, n.layer)) {
            char first = doc.setup.layers[n.layer].name[0];
            return first == 'T' || first == 'B' ? std::string(1, first) : std::string();
        }
    }
    return {};
}

// `entries` in walk order, like those of the group section before their sort.
void placement_section(ListText& out, const model::Document& doc, std::vector<Entry> entries, bool plain,
                       bool symbols) {
    for (Entry& e : entries) {
        e.key = reference_key(part_field(e.component, kReferenceField));
    }
    order_entries(entries, plain);
    out.raw("\f");
    out.line(" NAME         ROTATE  X POS   Y POS    PATTERN       VALUE         MODIFIER");
    out.line();
    std::string previous;
    bool first = true;
    for (const Entry& e : entries) {
        Ref c = e.component;
        std::string ref = part_field(c, kReferenceField);
        std::string l = !first && ref == previous ? "*" : " ";
        first = false;
        previous = ref;
        put_at(l, 1, ref);
        const model::Node& head = model::node(model::member_ring(c));
        put_right_after(l, 18, degrees(model::node(c).size));
        put_right_after(l, 26, inches3(static_cast<Coord>(int64_t{head.box.x1} - doc.setup.origin_x)));
        put_right_after(l, 34, inches3(static_cast<Coord>(int64_t{head.box.y1} - doc.setup.origin_y)));
        put_after(l, 36, side_of(doc, c));
        put_after(l, 39, part_field(c, kPatternField));
        put_after(l, 53, part_field(c, kValueField));
        put_after(l, 67, part_field(c, kModifierField));
        out.line(symbols ? convert_symbols(l) : l);
    }
}

} // namespace

namespace {
// Where the text of `line` ends (0 when it holds only blanks).
size_t text_end(const std::string& line) {
    size_t end = line.find_last_not_of(' ');
    return end == std::string::npos ? 0 : end + 1;
}
} // namespace

void put_after(std::string& line, size_t col, std::string_view text) {
    if (text.empty()) {
        return;
    }
    size_t end = text_end(line);
    put_at(line, end == 0 ? col : std::max(col, end + 1), text);
}

void put_right_after(std::string& line, size_t last, std::string_view text) {
    if (text.empty()) {
        return;
    }
    size_t end = text_end(line);
    size_t start = last + 1 >= text.size() ? last + 1 - text.size() : 0;
    put_at(line, end == 0 ? start : std::max(start, end + 1), text);
}

std::vector<std::string> reference_lines(const std::vector<std::string>& references) {
    std::vector<std::string> lines;
    std::string line;
    size_t col = kReferenceColumn;
    bool any = false;
    for (const std::string& r : references) {
        if (col > kLastReferenceStart && any) {
            lines.push_back(line);
            line.clear();
            col = kReferenceColumn;
        }
        put_at(line, col - kReferenceColumn, r);
        any = true;
        size_t end = col + r.size();
        size_t next = kReferenceColumn + ((end - kReferenceColumn) / 6 + 1) * 6;
        col = next - end >= 5 ? end + 1 : next;
    }
    if (any) {
        lines.push_back(line);
    }
    return lines;
}

std::string convert_symbols(std::string_view line) {
    std::string s(line);
    for (size_t i = 0; i < s.size(); ++i) {
        switch (static_cast<unsigned char>(s[i])) {
        case 0xF8: // degree
            s[i] = static_cast<char>(0xB0);
            break;
        case 0xE6: // micro
            s[i] = static_cast<char>(0xB5);
            break;
        case 0xAB: // one half
            s[i] = static_cast<char>(0xBD);
            break;
        case 0xAC: // one quarter
            s[i] = static_cast<char>(0xBC);
            break;
        case 0xEA: { // ohm: three characters more, taken back from the blank runs that follow
            s.replace(i, 1, "ohms");
            i += 3;
            size_t from = i + 1;
            for (int k = 0; k < 3; ++k) {
                size_t j = s.find("  ", from);
                if (j == std::string::npos) {
                    break;
                }
                s.erase(j, 1);
                from = j;
            }
            break;
        }
        default:
            break;
        }
    }
    return s;
}

std::string csv_field(std::string_view text) {
    if (text.find_first_of(",\"\r\n") == std::string_view::npos) {
        return std::string(text);
    }
    std::string q = "\"";
    for (char c : text) {
        q += c;
        if (c == '"') {
            q += '"';
        }
    }
    return q + "\"";
}

std::string bom_text(const model::Document& doc, const BomOptions& o, const std::tm& date) {
    std::vector<Entry> entries;
    for (Ref r : model::items_in(doc.ring())) {
        if (model::node(r).item_kind() == model::kComponent && part_field_count(r) > kReferenceField) {
            entries.push_back(Entry{r, bom_key(r)});
        }
    }
    std::vector<Entry> walked = entries;
    order_entries(entries, o.plain);
    std::vector<Row> rows = group_rows(entries);

    ListText out;
    if (o.csv) {
        out.line("TYPE/VALUE,MODIFIER,PATTERN,QTY,COMPONENTS");
        for (const Row& r : rows) {
            if (r.empty()) {
                continue;
            }
            // The columns of the line, except that the quantity and the references are taken whole.
            std::string l = row_text(r, false);
            if (o.symbols) {
                l = convert_symbols(l);
            }
            out.line(csv_field(columns(l, 0, 14)) + "," + csv_field(columns(l, 14, 14)) + "," +
                     csv_field(columns(l, 28, 13)) + "," + r.quantity + "," +
                     csv_field(columns(l, kReferenceColumn, std::string::npos)));
        }
        return out.text();
    }
    out.line(list_title("BILL OF MATERIALS", std::filesystem::path(doc.name()).filename().string(), 72, date));
    out.line(kRule);
    out.line("TYPE/VALUE   MODIFIER      PATTERN      QTY COMPONENT REFERENCE IDENTIFICATION");
    out.line(kRule);
    out.line();
    for (const Row& r : rows) {
        std::string l = row_text(r, true);
        out.line(o.symbols ? convert_symbols(l) : l);
    }
    placement_section(out, doc, std::move(walked), o.plain, o.symbols);
    return out.text();
}

} // namespace trazel::nets
