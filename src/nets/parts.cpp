#include "nets/parts.h"

#include <algorithm>

#include "model/out_buffer.h"
#include "nets/netlog.h"

namespace trazel::nets {

namespace {

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

// The decimal position a multiplier letter chooses, or -1 for a character that is none.
int multiplier_position(unsigned char c) {
    switch (c) {
    case 'M':
        return 3;
    case 'K':
    case 'k':
        return 6;
    case 'm':
        return 12;
    case 'u':
    case 0xB5: // micro sign
    case 0xE6: // its stored DOS code
        return 15;
    case 'n':
        return 18;
    case 'p':
        return 21;
    default:
        return -1;
    }
}

} // namespace

std::string part_field(Ref component, PartField f) {
    return model::ComponentField(component, f);
}

int part_field_count(Ref component) {
    std::string p = model::component_parameters(component);
    if (p.empty()) {
        return 0;
    }
    return static_cast<int>(std::count(p.begin(), p.end(), kFieldSeparator)) + 1;
}

std::string reference_key(std::string_view reference) {
    std::string key(64, ' ');
    size_t run = 0;
    while (run < reference.size() && !is_digit(reference[run])) {
        ++run;
    }
    put_at(key, 0, reference.substr(0, std::min<size_t>(run, 43)));
    size_t end = run;
    while (end < reference.size() && is_digit(reference[end])) {
        ++end;
    }
    std::string_view digits = reference.substr(run, end - run);
    if (digits.size() > 44) {
        digits = digits.substr(digits.size() - 44);
    }
    key.replace(44 - digits.size(), digits.size(), digits);
    std::string_view rest = reference.substr(end);
    key.replace(44, std::min<size_t>(rest.size(), 20), rest.substr(0, 20));
    return key;
}

std::string value_key(std::string_view value) {
    std::string key(21, '0');
    size_t i = 0;
    while (i < value.size() && is_digit(value[i])) {
        ++i;
    }
    std::string_view whole = value.substr(0, i), fraction;
    int position = 9;
    if (i < value.size() && value[i] == '.') {
        size_t f = ++i;
        while (i < value.size() && is_digit(value[i])) {
            ++i;
        }
        fraction = value.substr(f, i - f);
        if (i < value.size() && multiplier_position(static_cast<unsigned char>(value[i])) >= 0) {
            position = multiplier_position(static_cast<unsigned char>(value[i]));
        }
    } else if (i < value.size() && multiplier_position(static_cast<unsigned char>(value[i])) >= 0) {
        // The letter stands for the point: "4K7".
        position = multiplier_position(static_cast<unsigned char>(value[i]));
        size_t f = ++i;
        while (i < value.size() && is_digit(value[i])) {
            ++i;
        }
        fraction = value.substr(f, i - f);
    }
    auto p = static_cast<size_t>(position);
    if (whole.size() > p) {
        whole = whole.substr(whole.size() - p); // more digits than the key holds: the lowest stay
    }
    key.replace(p - whole.size(), whole.size(), whole);
    fraction = fraction.substr(0, key.size() - p);
    key.replace(p, fraction.size(), fraction);
    return key;
}

std::string bom_key(Ref component) {
    std::string key(128, ' ');
    std::string ref = part_field(component, kReferenceField);
    auto first = ref.empty() ? ' ' : ref[0];
    key[0] = static_cast<unsigned char>(first) < ' ' ? ' ' : first;
    bool numbered = ref.size() > 1 && is_digit(ref[1]);
    if (ref.size() > 1 && !numbered) {
        key[1] = ref[1];
    }
    auto clipped = [](std::string s, size_t width) { return s.substr(0, std::min(s.size(), width)); };
    if (numbered && (first == 'C' || first == 'L' || first == 'R')) {
        put_at(key, 1, value_key(part_field(component, kValueField)));
    }
    put_at(key, 22, clipped(part_field(component, kValueField), 14));
    put_at(key, 36, clipped(part_field(component, kModifierField), 14));
    put_at(key, 50, clipped(part_field(component, kPatternField), 14));
    put_at(key, 64, reference_key(ref));
    return key;
}

void put_at(std::string& line, size_t col, std::string_view text) {
    if (line.size() < col + text.size()) {
        line.resize(col + text.size(), ' ');
    }
    line.replace(col, text.size(), text);
}

void put_right(std::string& line, size_t last, std::string_view text) {
    size_t n = std::min(text.size(), last + 1);
    put_at(line, last + 1 - n, text.substr(text.size() - n));
}

void ListText::line(std::string_view text) {
    size_t end = text.find_last_not_of(' ');
    text_ += text.substr(0, end == std::string_view::npos ? 0 : end + 1);
    text_ += "\r\n";
}

std::string list_title(std::string_view title, std::string_view doc_name, int date_column, const std::tm& date) {
    return title_line(title, doc_name, date_column + 8, date);
}

bool write_list_file(const std::string& path, const std::string& text, std::string& error) {
    model::OutBuffer out;
    if (!out.open(path)) {
        error = out.error();
        return false;
    }
    out.put(text);
    if (!out.commit()) {
        error = out.error();
        return false;
    }
    return true;
}

} // namespace trazel::nets
