#include "shell/setup_form.h"

#include <algorithm>

#include "model/model.h"
#include "model/numbers.h"
#include "model/setup_directives.h"
#include "shell/app.h"
#include "shell/modes.h"
#include "shell/startup.h"
#include "shell/status.h"
#include "shell/window_events.h"

namespace trazel::shell {

namespace {

constexpr const char* kValueErrorTitle = "Setup Value Error";

bool all_digits(std::string_view t) {
    return !t.empty() && std::all_of(t.begin(), t.end(), model::is_digit);
}

} // namespace

std::string quoted(std::string_view v) {
    return "\"" + std::string(v) + "\"";
}

std::string colour_text(uint32_t c, bool with_off) {
    char b[8];
    std::string digits(b, model::write_hex(b, c & 0xFFFFFF, 6));
    return with_off && (c & model::kNoColour) ? "-" + digits : digits;
}

bool SetupAnswers::changed(std::string_view id) const {
    return text(id) != std::string(model::trim_blanks(shown_.get(id)));
}

std::string SetupAnswers::text(std::string_view id) const {
    return std::string(model::trim_blanks(form_.get(id)));
}

void SetupAnswers::refuse(std::string_view id, const std::string& why) {
    if (error_.empty()) {
        const platform::Field* f = form_.field(id);
        error_ = (f ? f->label : std::string(id)) + ": " + why;
    }
}

bool SetupAnswers::number(std::string_view id, int last, int& out, const std::string& what) {
    std::string t = text(id);
    if (all_digits(t) && t.size() <= 3 && std::stoi(t) <= last) {
        out = std::stoi(t);
        return true;
    }
    refuse(id, quoted(t) + " is not " + what + " (0 to " + std::to_string(last) + ").");
    return false;
}

void SetupAnswers::index(std::string_view id, int count, int32_t& out) {
    int v = 0;
    if (changed(id) && number(id, count - 1, v, "one of the choices")) {
        out = v;
    }
}

void SetupAnswers::choice(std::string_view id, int count, uint8_t& byte, uint8_t mask) {
    int v = 0;
    if (changed(id) && number(id, count - 1, v, "one of the choices")) {
        byte = static_cast<uint8_t>((byte & ~mask) | v);
    }
}

void SetupAnswers::check(std::string_view id, uint8_t& byte, uint8_t bit) {
    if (!changed(id)) {
        return;
    }
    std::string t = text(id);
    if (t != "0" && t != "1") {
        refuse(id, quoted(t) + " is neither 1 (on) nor 0 (off).");
        return;
    }
    byte = static_cast<uint8_t>(t == "1" ? byte | bit : byte & ~bit);
}

void SetupAnswers::colour(std::string_view id, uint32_t& out, const char* off) {
    if (!changed(id)) {
        return;
    }
    std::string t = text(id);
    bool is_off = off && !t.empty() && t[0] == '-';
    std::string_view digits = std::string_view(t).substr(is_off ? 1 : 0);
    if (digits.size() != 6 ||
        !std::all_of(digits.begin(), digits.end(), [](char c) { return model::hex_digit(c) >= 0; })) {
        std::string how = "Type six hexadecimal digits: red, green and blue (FF8000)";
        refuse(id, quoted(t) + " is not a colour.\n\n" + how + (off ? std::string("; a leading \"-\" ") + off : "") + ".");
        return;
    }
    uint32_t v = 0;
    for (char c : digits) {
        v = v * 16 + static_cast<uint32_t>(model::hex_digit(c));
    }
    out = off ? (out & 0xFE000000u) | (is_off ? model::kNoColour : 0) | v : v;
}

bool SetupAnswers::parse_layer(std::string_view id, std::string_view t, const model::Setup& table, int32_t& out) {
    if (all_digits(t)) {
        if (t.size() <= 3 && std::stoi(std::string(t)) <= model::kRatnestLayer) {
            out = std::stoi(std::string(t));
            return true;
        }
    } else if (!t.empty()) {
        for (int n = 0; n <= model::kRatnestLayer; ++n) {
            const model::LayerEntry& e = table.layers[static_cast<size_t>(n)];
            if (e.in_use() && model::upper_ascii(e.name) == model::upper_ascii(t)) {
                out = n;
                return true;
            }
        }
    }
    refuse(id, quoted(t) + " is not a layer.\n\nType a layer number from 0 to 255 or the name of a layer.");
    return false;
}

void SetupAnswers::layer(std::string_view id, const model::Setup& table, int32_t& out) {
    if (changed(id)) {
        parse_layer(id, text(id), table, out);
    }
}

bool settle_lines(const model::Setup& was, model::Setup& next, std::initializer_list<std::string_view> which) {
    bool changed = false;
    for (std::string_view w : which) {
        std::string line = model::directive_line(next, w);
        if (line != model::directive_line(was, w)) {
            model::ApplyDirective(next, line);
            changed = true;
        }
    }
    return changed;
}

int run_setup_form(App& app, platform::Form& form, const SetupRead& read, const Settle& settle) {
    model::Document& doc = *app.doc();
    const platform::Form shown = form;
    model::Setup next;
    bool ok = run_dialog(app, form);
    while (ok) {
        next = doc.setup;
        std::string error;
        read(shown, next, error);
        if (error.empty()) {
            break;
        }
        ask(app, error, kValueErrorTitle, platform::Buttons::Ok);
        ok = run_dialog_again(app, form);
    }
    if (!ok) {
        return 0;
    }
    if (settle(doc.setup, next)) {
        doc.setup = next;
        doc.mark_modified();
        take_document_view(app);
        redraw(app);
        refresh_status_bar(app);
    }
    return 1;
}

} // namespace trazel::shell
