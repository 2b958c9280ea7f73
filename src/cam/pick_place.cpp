#include "cam/pick_place.h"

#include <algorithm>
#include <cmath>
#include <unordered_map>
#include <vector>

#include "cam/fab_pads.h"
#include "nets/bom.h"
#include "nets/parts.h"

namespace trazel::cam {

namespace {

using model::Ref;

struct Part {
    Ref component = model::kNone;
    double sum_x = 0, sum_y = 0; // exact: a sum of 32-bit values stays far inside a double's 53 bits
    long pads = 0;
    long top = 0, bottom = 0; // surface pads by side
    std::string key;
};

// A count of ten-thousandths as a signed decimal with four places.
std::string decimal4(long long v) {
    std::string s = v < 0 ? "-" : "";
    unsigned long long a = v < 0 ? 0ULL - static_cast<unsigned long long>(v) : static_cast<unsigned long long>(v);
    std::string frac = std::to_string(a % 10000);
    return s + std::to_string(a / 10000) + "." + std::string(4 - frac.size(), '0') + frac;
}

// A length in coordinate units, as inches or millimetres with four decimals.
std::string length_text(double units, bool mm) {
    double scale = mm ? 254000.0 : 10000.0; // ten-thousandths of the unit per inch
    return decimal4(std::llround(units * scale / 65536.0));
}

// The 16-bit angle in degrees, two decimals, 0 to 359.99.
std::string degrees_text(model::Angle a) {
    long long h = std::llround(a * 36000.0 / 65536.0) % 36000;
    std::string frac = std::to_string(h % 100);
    return std::to_string(h / 100) + "." + std::string(2 - frac.size(), '0') + frac;
}

// Stored text as the user typed it, then Latin-1 to UTF-8: assembly tools read UTF-8.
std::string utf8(const std::string& stored) {
    std::string out;
    for (char ch : model::stored_to_typed(stored)) {
        auto c = static_cast<unsigned char>(ch);
        if (c < 0x80) {
            out += ch;
        } else {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

} // namespace

std::string pick_place_csv(const model::Document& doc, const PickPlaceOptions& o) {
    const model::Setup& s = doc.setup;
    std::vector<Part> parts;
    std::unordered_map<Ref, size_t> index;
    for (Ref r : model::items_in(doc.ring())) {
        const model::Node& n = model::node(r);
        if (n.item_kind() == model::kComponent && !n.hidden() && nets::part_field_count(r) > nets::kReferenceField) {
            index.emplace(r, parts.size());
            Part p;
            p.component = r;
            p.key = nets::reference_key(nets::part_field(r, nets::kReferenceField));
            parts.push_back(std::move(p));
        }
    }
    fab::for_each_board_pad(doc.ring(), [&](Ref r, Ref owner) {
        auto it = index.find(owner);
        if (it == index.end()) {
            return;
        }
        const model::Node& n = model::node(r);
        Part& p = parts[it->second];
        p.sum_x += n.pad.x0;
        p.sum_y += n.pad.y0;
        ++p.pads;
        if (fab::surface_pad(s, n)) {
            ++(fab::bottom_layer(s, n.layer) ? p.bottom : p.top);
        }
    });
    // Natural order of references (R2 before R10); equal references stay in board order.
    std::stable_sort(parts.begin(), parts.end(), [](const Part& a, const Part& b) { return a.key < b.key; });

    const std::string unit = o.mm ? "mm" : "in";
    std::string out = "Reference,Value,Pattern,X (" + unit + "),Y (" + unit + "),Rotation,Side\r\n";
    for (const Part& p : parts) {
        if (p.top + p.bottom == 0 && !o.all) {
            continue;
        }
        double x = 0, y = 0;
        if (p.pads > 0) {
            x = p.sum_x / static_cast<double>(p.pads);
            y = p.sum_y / static_cast<double>(p.pads);
        } else { // no pads at all: the hook point stands for the part
            const model::Node& head = model::node(model::member_ring(p.component));
            x = head.box.x1;
            y = head.box.y1;
        }
        Ref c = p.component;
        out += nets::csv_field(utf8(nets::part_field(c, nets::kReferenceField))) + ",";
        out += nets::csv_field(utf8(nets::part_field(c, nets::kValueField))) + ",";
        out += nets::csv_field(utf8(nets::part_field(c, nets::kPatternField))) + ",";
        out += length_text(x - s.origin_x, o.mm) + "," + length_text(y - s.origin_y, o.mm) + ",";
        // The stored angle is counter-clockwise as seen from the top on either side: mirroring a part
        // to the bottom already turned it, so it is written as it is.
        out += degrees_text(model::node(c).size) + ",";
        out += p.bottom > p.top ? "bottom\r\n" : "top\r\n";
    }
    return out;
}

} // namespace trazel::cam
