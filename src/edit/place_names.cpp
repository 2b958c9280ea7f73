#include "edit/place_names.h"

#include "model/fixed.h"

namespace trazel::edit {

namespace {

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

// The last run of digits as [first, last], or false when the name has no digit or is not a name the
// steps touch at all (empty, or beginning with a control character).
bool last_digit_run(std::string_view name, std::size_t& first, std::size_t& last) {
    if (name.empty()) {
        return false;
    }
    unsigned char lead = static_cast<unsigned char>(name.front());
    if (lead < 32 || lead == 127) {
        return false;
    }
    std::size_t i = name.size();
    while (i > 0 && !is_digit(name[i - 1])) {
        --i;
    }
    if (i == 0) {
        return false;
    }
    last = i - 1;
    first = last;
    while (first > 0 && is_digit(name[first - 1])) {
        --first;
    }
    return true;
}

// A taken-test that keeps saying yes would otherwise walk the whole digit range; a Document never has
// this many Components, each step gives a name not seen before, so the real search ends long before.
constexpr int kMaxReferenceSteps = 65536;

} // namespace

std::string advance_name(std::string_view name, std::size_t limit) {
    std::string s(name);
    std::size_t first = 0, last = 0;
    if (name == "0" || !last_digit_run(name, first, last)) {
        return s;
    }
    for (std::size_t k = last + 1; k-- > first;) {
        if (s[k] != '9') {
            ++s[k];
            return s;
        }
        s[k] = '0';
    }
    // Carried out of the run: it grows by a leading "1", unless the field is already full.
    if (s.size() + 1 > limit) {
        return std::string(name);
    }
    s.insert(first, 1, '1');
    return s;
}

std::string decrement_name(std::string_view name) {
    std::string s(name);
    std::size_t first = 0, last = 0;
    if (!last_digit_run(name, first, last)) {
        return s;
    }
    if (s[first] == '0' || (first == last && s[first] == '1')) {
        return s;
    }
    // The run's value is at least 2 (one digit) or 10 (a longer run without a leading zero), so the
    // borrow always stops inside it.
    for (std::size_t k = last + 1; k-- > first;) {
        if (s[k] != '0') {
            --s[k];
            break;
        }
        s[k] = '9';
    }
    if (s[first] == '0' && last > first) {
        s.erase(first, 1);
    }
    return s;
}

bool step_reference_id(std::string& ref, bool up, const std::function<bool(std::string_view)>& taken) {
    std::string s = ref;
    for (char& c : s) {
        if (c == '?') {
            c = '1';
        }
    }
    for (int step = 0; step < kMaxReferenceSteps; ++step) {
        std::string next = up ? advance_name(s) : decrement_name(s);
        if (next == s) {
            return false;
        }
        s = std::move(next);
        if (!taken || !taken(s)) {
            ref = std::move(s);
            return true;
        }
    }
    return false;
}

bool valid_reference_id(std::string_view ref) {
    for (char c : ref) {
        unsigned char u = static_cast<unsigned char>(c);
        if (u < 33 || u >= 127) {
            return false;
        }
    }
    return true;
}

model::Coord port_name_shift(int64_t length) {
    int64_t tenths = model::floor_div(10 * model::abs64(length) + 49152, 65536);
    return model::clamp_coord(model::floor_div(tenths * 65536, 10));
}

} // namespace trazel::edit
