// The headless driver of the shell and the batch run of a keystroke macro on a file.
#include "app/core/headless_run.h"
#include "app/core/install.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <system_error>

#include "model/chooser.h"
#include "model/numbers.h"
#include "shell/macros.h"
#include "shell/settings.h"

namespace trazel::shell {

namespace fs = std::filesystem;

namespace {

std::string fresh_config_dir() {
    // A folder nobody else uses: the clock and a counter make the name.
    auto now = std::chrono::steady_clock::now().time_since_epoch().count();
    std::error_code ec;
    fs::path base = fs::temp_directory_path(ec);
    if (ec) {
        base = ".";
    }
    for (int i = 0; i < 1000; ++i) {
        fs::path p = base / ("trazel-run-" + std::to_string(now) + "-" + std::to_string(i));
        if (fs::create_directory(p, ec)) {
            return p.string();
        }
    }
    return {};
}

std::string lower(std::string_view s) {
    std::string o(s);
    for (char& c : o) {
        c = model::lower(c);
    }
    return o;
}

} // namespace

HeadlessRun::HeadlessRun(int width, int height, std::string config_dir, platform::Headless* platform)
    : own_ui_(platform ? nullptr : std::make_unique<platform::Headless>()), ui_(platform ? platform : own_ui_.get()),
      temp_config_(config_dir.empty() ? fresh_config_dir() : std::string()), app(ui_, &window) {
    install_subsystems(app);
    window.client_width = width;
    window.client_height = height;
    app.shell.services.config_dir = config_dir.empty() ? temp_config_ : config_dir;
    app.shell.services.user_data_dir = app.shell.services.config_dir;
}

HeadlessRun::~HeadlessRun() {
    if (!temp_config_.empty()) {
        std::error_code ec;
        fs::remove_all(temp_config_, ec);
    }
}

int HeadlessRun::start(const std::vector<std::string>& files, int depth, std::string_view extra) {
    std::string line = "\"" + app.shell.program_dir + "trazel\"";
    if (!extra.empty()) {
        line += " ";
        line += extra;
    }
    for (const std::string& f : files) {
        line += " \"" + f + "\"";
    }
    std::string keep_dir = app.shell.program_dir;
    int r = shell::start(app, line, depth);
    if (!keep_dir.empty()) {
        app.shell.program_dir = keep_dir;
    }
    return r;
}

void HeadlessRun::tick(int n) {
    for (int i = 0; i < n; ++i) {
        ui_->clock_ms += kTickMs;
        on_timer(app);
    }
}

bool HeadlessRun::until_ready(int limit) {
    for (int i = 0; i < limit; ++i) {
        if (app.shell.phase >= 3 && app.shell.pending_open.empty()) {
            return true;
        }
        tick();
    }
    return app.shell.phase >= 3 && app.shell.pending_open.empty();
}

bool HeadlessRun::until_macro_done(int limit) {
    for (int i = 0; i < limit && macro_playing(app) && !app.shell.destroyed; ++i) {
        tick();
    }
    return !macro_playing(app);
}

void HeadlessRun::key_down(int scan, bool extended) {
    on_key(app, scan, extended, true, false);
}

void HeadlessRun::key_up(int scan, bool extended) {
    on_key(app, scan, extended, false, false);
}

void HeadlessRun::key(int scan, bool extended) {
    key_down(scan, extended);
    key_up(scan, extended);
}

void HeadlessRun::move(int x, int y) {
    on_mouse_move(app, x, y);
}

void HeadlessRun::press(Button b) {
    on_button(app, b, true);
}

void HeadlessRun::release(Button b) {
    on_button(app, b, false);
}

void HeadlessRun::click(Button b, int hold_ticks) {
    press(b);
    tick(hold_ticks);
    release(b);
}

void HeadlessRun::menu(uint16_t c) {
    on_menu_command(app, c);
}

void HeadlessRun::paint(const std::vector<display::Rect>& update) {
    on_paint(app, update);
}

// --- Macro jobs -------------------------------------------------------------------------------------

bool answer_of(std::string_view name, platform::Answer& out) {
    using platform::Answer;
    static constexpr struct {
        const char* name;
        Answer answer;
    } kNames[] = {{"ok", Answer::Ok},       {"cancel", Answer::Cancel}, {"yes", Answer::Yes},     {"no", Answer::No},
                  {"abort", Answer::Abort}, {"retry", Answer::Retry},   {"ignore", Answer::Ignore}};
    std::string n = lower(name);
    for (const auto& k : kNames) {
        if (n == k.name) {
            out = k.answer;
            return true;
        }
    }
    return false;
}

MacroPlatform::MacroPlatform(const MacroJob& job) : answers_(job.answers), dialogs_(job.dialogs) {
}

platform::Answer MacroPlatform::message_box(std::string_view text, std::string_view title, platform::Buttons buttons,
                                            int default_button) {
    auto it = answers_.find(std::string(title));
    if (it != answers_.end() && !it->second.empty()) {
        size_t& n = used_[it->first];
        platform::Answer a;
        if (answer_of(it->second[std::min(n, it->second.size() - 1)], a)) {
            answers.push_back(a);
        }
        ++n;
    }
    return Headless::message_box(text, title, buttons, default_button);
}

bool MacroPlatform::dialog(platform::Form& form) {
    auto it = dialogs_.find(form.name);
    if (it != dialogs_.end()) {
        bool ok = true;
        for (const auto& [field, value] : it->second) {
            if (field == "ok") {
                ok = value != "0" && lower(value) != "no" && lower(value) != "cancel";
            } else {
                form.set(field, value);
            }
        }
        dialogs.push_back(form);
        return ok;
    }
    return Headless::dialog(form);
}

bool MacroPlatform::dialog_again(platform::Form& form) {
    if (dialogs_.count(form.name) != 0) {
        dialogs.push_back(form);
        return false; // the job's answer was refused once; it would be refused again
    }
    return Headless::dialog_again(form);
}

std::vector<std::string> MacroPlatform::open_file_dialog(std::string_view, const std::vector<std::string>&, int&,
                                                         bool, const platform::FilePreview&) {
    auto it = dialogs_.find("OpenFile");
    if (it == dialogs_.end() || it->second.count("name") == 0) {
        return {};
    }
    return {it->second.at("name")};
}

std::string MacroPlatform::save_file_dialog(std::string_view, const std::vector<std::string>&, int& filter_index,
                                            std::string_view) {
    auto it = dialogs_.find("SaveFile");
    if (it == dialogs_.end() || it->second.count("name") == 0) {
        return {};
    }
    if (it->second.count("filter")) {
        filter_index = std::atoi(it->second.at("filter").c_str());
    }
    return it->second.at("name");
}

int run_macro_job(const MacroJob& job, std::string* error, std::vector<std::string>* log,
                  std::vector<std::string>* notices) {
    auto fail = [&](std::string why) {
        if (error) {
            *error = std::move(why);
        }
        return 1;
    };
    std::error_code ec;
    if (!fs::is_regular_file(job.input, ec)) {
        return fail("cannot open \"" + job.input + "\"");
    }
    MacroPlatform ui(job);
    if (log) {
        ui.report_sink = [log](std::string_view line) { log->emplace_back(line); };
    }
    HeadlessRun run(job.width, job.height, job.config_dir, &ui);
    run.app.shell.program_dir = job.program_dir;
    if (!job.library_path.empty() && !write_setting(run.app, "Library Path", job.library_path)) {
        return fail("cannot store the library path");
    }
    if (!run.start({job.input})) {
        return fail("the shell did not start");
    }
    if (!run.until_ready(1000) || !run.app.doc()) {
        // The reader's message box says why.
        std::string why = ui.boxes.empty() ? std::string() : ": " + ui.boxes.back().text;
        return fail("\"" + job.input + "\" could not be loaded" + why);
    }
    if (!job.keys.empty()) {
        // No key can stop playback here: the tick limit bounds the tokens too.
        Services& sv = run.app.shell.services;
        sv.macro_token_budget = static_cast<uint64_t>(std::max(1, job.max_ticks)) * kMacroCheckTokens;
        play_macro(run.app, job.keys);
        bool done = !sv.macro_budget_spent && run.until_macro_done(job.max_ticks);
        if (sv.macro_budget_spent) {
            stop_macro(run.app);
            return fail("macro still playing after " + std::to_string(sv.macro_tokens_played) + " tokens");
        }
        if (!done) {
            stop_macro(run.app);
            return fail("the macro was still playing after " + std::to_string(job.max_ticks) + " ticks");
        }
    }
    // Settle what the last keys started (a two-key wait, a status countdown).
    run.tick(8);
    if (log) {
        for (const auto& b : ui.boxes) {
            log->push_back(b.title + ": " + b.text);
        }
        if (!run.app.shell.status.text.empty()) {
            log->push_back("Status: " + run.app.shell.status.text);
        }
        // The tool windows still open, each with what it shows at the end.
        for (const platform::Form& f : ui.tool_windows) {
            log->push_back(platform::form_line(f));
        }
    }
    if (!job.output.empty()) {
        if (!run.app.doc()) {
            return fail("no data file is open to save");
        }
        // What hangs on the cursor is hidden in the Document; as a save from the File menu does, the
        // grab is cancelled first so every Item is saved where it was.
        if (items_on_cursor(run.app)) {
            cancel_items(run.app);
            if (notices) {
                notices->emplace_back("the macro ended with Items on the cursor: they were put back where they were");
            }
        }
        std::string why;
        if (!model::SaveDocumentFile(run.app.formats, job.output, 0, &why)) {
            return fail("cannot write \"" + job.output + "\": " + why);
        }
    }
    return 0;
}

} // namespace trazel::shell
