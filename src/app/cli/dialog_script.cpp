// Dialog answers from the command line, and the batch platform that gives them.
#include "app/cli/dialog_script.h"

#include <algorithm>
#include <cstdio>

#include "app/core/headless_run.h"

namespace trazel::cli {

namespace {

std::vector<std::string> split_commas(const std::string& s) {
    std::vector<std::string> out;
    size_t begin = 0;
    while (true) {
        size_t comma = s.find(',', begin);
        out.push_back(s.substr(begin, comma == std::string::npos ? std::string::npos : comma - begin));
        if (comma == std::string::npos) {
            return out;
        }
        begin = comma + 1;
    }
}

std::string lower(std::string s) {
    for (char& c : s) {
        c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    }
    return s;
}

} // namespace

std::string add_answer(AnswerScript& answers, const std::string& value) {
    // The title may hold "=" itself; the buttons never do.
    size_t eq = value.rfind('=');
    if (eq == std::string::npos || eq == 0 || eq + 1 == value.size()) {
        return "--answer takes TITLE=BUTTON[,BUTTON...]";
    }
    std::vector<std::string> buttons = split_commas(value.substr(eq + 1));
    for (const std::string& b : buttons) {
        platform::Answer ignored;
        if (!shell::answer_of(b, ignored)) {
            return "unknown button \"" + b + "\" (ok, cancel, yes, no, abort, retry or ignore)";
        }
    }
    auto& list = answers[value.substr(0, eq)];
    list.insert(list.end(), buttons.begin(), buttons.end());
    return {};
}

std::string add_field(FieldScript& fields, const std::string& value) {
    size_t eq = value.find('=');
    size_t dot = value.find('.');
    if (eq == std::string::npos || dot == std::string::npos || dot == 0 || dot + 1 >= eq) {
        return "--field takes FORM.FIELD=VALUE";
    }
    fields[value.substr(0, dot)][value.substr(dot + 1, eq - dot - 1)] = value.substr(eq + 1);
    return {};
}

ScriptPlatform::ScriptPlatform(AnswerScript answers, FieldScript fields)
    : answers_(std::move(answers)), fields_(std::move(fields)) {
}

bool ScriptPlatform::scripted_answer(std::string_view title, platform::Answer& a) {
    auto it = answers_.find(std::string(title));
    if (it == answers_.end() || it->second.empty()) {
        return false;
    }
    size_t& n = used_[it->first];
    bool ok = shell::answer_of(it->second[std::min(n, it->second.size() - 1)], a);
    ++n;
    return ok;
}

platform::Answer ScriptPlatform::message_box(std::string_view text, std::string_view title, platform::Buttons buttons,
                                             int default_button) {
    platform::Answer a;
    if (scripted_answer(title, a)) {
        answers.push_back(a);
    }
    return CliPlatform::message_box(text, title, buttons, default_button);
}

bool ScriptPlatform::dialog(platform::Form& form) {
    bool ok = true;
    platform::Answer a;
    bool by_title = scripted_answer(form.title, a);
    if (by_title) {
        ok = a == platform::Answer::Ok || a == platform::Answer::Yes;
    }
    auto it = fields_.find(form.name);
    if (it != fields_.end()) {
        for (const auto& [field, value] : it->second) {
            if (field == "ok") {
                ok = value != "0" && lower(value) != "no" && lower(value) != "cancel";
            } else {
                form.set(field, value);
            }
        }
    } else if (!by_title) {
        std::fprintf(stderr, "trazel-cli: dialog %s (\"%s\") not answered: its initial values are kept\n",
                     form.name.c_str(), form.title.c_str());
    }
    dialogs.push_back(form);
    return ok;
}

bool ScriptPlatform::dialog_again(platform::Form& form) {
    // A scripted answer was refused once; it would be refused again.
    dialogs.push_back(form);
    return false;
}

void ScriptPlatform::report(std::string_view line) {
    if (counting) {
        ++counted;
    }
    CliPlatform::report(line);
}

} // namespace trazel::cli
