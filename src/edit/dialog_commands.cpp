// The dialog field readers shared by the editor's dialogs.
#include <algorithm>

#include "edit/dialog_fields.h"
#include "edit/place_names.h"
#include "edit/place_symbols.h"
#include "model/numbers.h"
#include "shell/app.h"
#include "shell/commands.h"
#include "shell/modes.h"

namespace trazel::edit {

std::string trimmed(std::string_view v) {
    v = model::skip_leading_blanks(v);
    while (!v.empty() && v.back() == ' ') {
        v.remove_suffix(1);
    }
    return std::string(v);
}

std::string layer_text(int layer) {
    return std::to_string(layer & 0xFF);
}

int layer_field(const model::Setup& s, std::string_view text, int was) {
    std::string t = trimmed(text);
    if (!t.empty() && t.size() <= 3 && std::all_of(t.begin(), t.end(), model::is_digit)) {
        int n = std::stoi(t);
        return n <= 255 ? n : was;
    }
    for (int i = 0; i < 256 && !t.empty(); ++i) {
        std::string_view name = s.layers[i].name;
        if (name.size() == t.size() && std::equal(name.begin(), name.end(), t.begin(),
                                                  [](char a, char b) { return model::lower(a) == model::lower(b); })) {
            return i;
        }
    }
    return was;
}

std::string length_text(model::Coord v) {
    return model::fixed_string(v);
}

model::Coord length_field(std::string_view text) {
    std::string t = trimmed(text);
    if (t.empty()) {
        return 0;
    }
    model::Cursor c(t);
    return std::max<model::Coord>(0, model::read_length_unit(c));
}

model::Angle angle_field(std::string_view text) {
    std::string t = trimmed(text);
    model::Cursor c(t);
    return model::read_angle(c);
}

int index_field(std::string_view text, int count, int was) {
    std::string t = trimmed(text);
    if (t.empty() || t.size() > 3 || !std::all_of(t.begin(), t.end(), model::is_digit)) {
        return was;
    }
    int n = std::stoi(t);
    return n < count ? n : was;
}

bool degrees_field(std::string_view text, model::Angle& out) {
    std::string t = trimmed(text);
    bool number = !t.empty();
    for (size_t i = 0; i < t.size(); ++i) {
        char ch = t[i];
        number = number && (model::is_digit(ch) || ch == '.' || (i == 0 && ch == '-'));
    }
    if (!number) {
        return false;
    }
    model::Cursor cur(t);
    out = model::read_angle(cur);
    return true;
}

bool factor_field(std::string_view text, int32_t& out) {
    std::string_view v = model::skip_leading_blanks(text);
    bool number = !v.empty();
    for (char ch : v) {
        number = number && (model::is_digit(ch) || ch == '.' || ch == ' ');
    }
    model::Cursor cur(v);
    int32_t f = number ? model::read_decimal(cur) : 0;
    if (f <= 0) {
        return false;
    }
    out = f;
    return true;
}

bool take_reference_id(App& app, std::string& ref, std::string_view step, model::Ref ring) {
    if (step == "1" || step == "2") {
        auto taken = references_in(ring);
        bool moved = step_reference_id(ref, step == "1", [&](std::string_view r) {
            return taken.count(model::upper_ascii(r)) != 0;
        });
        if (!moved) {
            shell::beep(app);
        }
    }
    if (!valid_reference_id(ref)) {
        shell::ask(app,
                   "The Reference ID field contains an illegal\ncharacter.\n\nOnly alphabetic characters and "
                   "numbers\nare allowed.  Blanks, tabs, and special\ncharacters are not.",
                   "Invalid Reference ID", platform::Buttons::Ok);
        return false;
    }
    return true;
}

} // namespace trazel::edit
