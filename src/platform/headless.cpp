#include "platform/headless.h"

namespace trazel::platform {

namespace {

Headless g_quiet;
Platform* g_platform = nullptr;

Answer default_answer(Buttons b, int default_button) {
    switch (b) {
    case Buttons::Ok:
        return Answer::Ok;
    case Buttons::OkCancel:
        return default_button == 1 ? Answer::Cancel : Answer::Ok;
    case Buttons::YesNo:
        return default_button == 1 ? Answer::No : Answer::Yes;
    case Buttons::YesNoCancel:
        return default_button == 1 ? Answer::No : default_button == 2 ? Answer::Cancel : Answer::Yes;
    case Buttons::AbortRetryIgnore:
        return default_button == 1 ? Answer::Retry : default_button == 2 ? Answer::Ignore : Answer::Abort;
    case Buttons::RetryCancel:
        return default_button == 1 ? Answer::Cancel : Answer::Retry;
    }
    return Answer::Ok;
}

} // namespace

Platform& P() {
    return g_platform ? *g_platform : g_quiet;
}

void install(Platform* p) {
    g_platform = p;
}

Field* Form::field(std::string_view id) {
    for (auto& f : fields) {
        if (f.id == id) {
            return &f;
        }
    }
    return nullptr;
}

const Field* Form::field(std::string_view id) const {
    for (const auto& f : fields) {
        if (f.id == id) {
            return &f;
        }
    }
    return nullptr;
}

std::string Form::get(std::string_view id) const {
    const Field* f = field(id);
    return f ? f->value : std::string();
}

void Form::set(std::string_view id, std::string value) {
    if (Field* f = field(id)) {
        f->value = std::move(value);
    }
}

Answer Headless::message_box(std::string_view text, std::string_view title, Buttons buttons, int default_button) {
    Answer a = default_answer(buttons, default_button);
    if (!answers.empty()) {
        a = answers.front();
        answers.pop_front();
    }
    boxes.push_back({std::string(title), std::string(text), buttons, a});
    return a;
}

bool Headless::dialog(Form& form) {
    bool ok = true;
    auto it = dialog_answers.find(form.name);
    if (it != dialog_answers.end() && !it->second.empty()) {
        DialogAnswer a = std::move(it->second.front());
        it->second.pop_front();
        ok = a.ok;
        for (auto& [id, v] : a.values) {
            form.set(id, v);
        }
    }
    dialogs.push_back(form);
    return ok;
}

bool Headless::dialog_again(Form& form) {
    auto it = dialog_answers.find(form.name);
    if (it == dialog_answers.end() || it->second.empty()) {
        dialogs.push_back(form);
        return false;
    }
    return dialog(form);
}

void Headless::play(Sound s) {
    sounds.push_back(s);
}

void Headless::progress(std::string_view what, int percent) {
    if (progress_sink) {
        progress_sink(what, percent);
    }
}

WaitingInput Headless::peek_input() {
    return input_script ? input_script() : WaitingInput{};
}

uint64_t Headless::now_ms() {
    return clock_ms;
}

void Headless::open_tool_window(const Form& form) {
    for (Form& f : tool_windows) {
        if (f.name == form.name) {
            f = form;
            return;
        }
    }
    tool_windows.push_back(form);
}

void Headless::update_tool_window(const Form& form) {
    for (Form& f : tool_windows) {
        if (f.name == form.name) {
            f = form;
            ++tool_updates;
            return;
        }
    }
}

void Headless::close_tool_window(std::string_view name) {
    std::erase_if(tool_windows, [&](const Form& f) { return f.name == name; });
}

bool Headless::tool_window_open(std::string_view name) {
    return tool_window(name) != nullptr;
}

const Form* Headless::tool_window(std::string_view name) const {
    for (const Form& f : tool_windows) {
        if (f.name == name) {
            return &f;
        }
    }
    return nullptr;
}

std::string form_line(const Form& form) {
    std::string out = form.name + ":";
    for (const Field& f : form.fields) {
        if (f.kind == Field::Kind::Label) {
            continue;
        }
        out += ' ';
        out += f.id;
        out += '=';
        if (f.kind == Field::Kind::Picture) {
            out += std::to_string(f.width) + "x" + std::to_string(f.height);
            continue;
        }
        bool plain = !f.value.empty() && f.value.find_first_of(" \"\\") == std::string::npos;
        if (plain) {
            out += f.value;
            continue;
        }
        out += '"';
        for (char c : f.value) {
            if (c == '"' || c == '\\') {
                out += '\\';
            }
            out += c;
        }
        out += '"';
    }
    return out;
}

std::vector<std::string> Headless::open_file_dialog(std::string_view, const std::vector<std::string>&, int&, bool,
                                                    const FilePreview& preview) {
    if (open_answers.empty()) {
        return {};
    }
    std::vector<std::string> names = std::move(open_answers.front());
    open_answers.pop_front();
    if (preview && !names.empty()) {
        previews.push_back({names.front(), preview(names.front(), kFilePreviewWidth, kFilePreviewHeight)});
    }
    return names;
}

void Headless::report(std::string_view line) {
    reports.emplace_back(line);
    if (report_sink) {
        report_sink(line);
    }
}

} // namespace trazel::platform
