#include "shell/macros.h"

#include <algorithm>
#include <charconv>
#include <cstring>

#include "model/model.h"
#include "model/numbers.h"
#include "platform/form_builder.h"
#include "resources/resources.h"
#include "shell/app.h"
#include "shell/commands.h"
#include "shell/keys.h"
#include "shell/modes.h"
#include "shell/settings.h"
#include "shell/status.h"
#include "shell/window_events.h"

namespace trazel::shell {

namespace {

constexpr int kStatusPlayRecording = 0x810;
constexpr int kStatusRecordStart = 0x811;
constexpr int kStatusRecordStop = 0x812;
constexpr int64_t kRepeatCountMax = INT32_MAX; // a larger count is refused, never cut
constexpr size_t kKeyNameMax = 6;
constexpr size_t kPinNameMax = 23;

constexpr const char* kMacroQuestion =
    "A keystroke macro function\nis in progress.  This operation\ncould take several "
    "moments\nto complete.\n\nDo you wish to continue?";
constexpr const char* kMacroQuestionTitle = "TRAZEL'98";
constexpr const char* kRestoreWarning =
    "You have selected the option to restore all keystroke macros\nto their original factory default "
    "settings.\n\nSelecting [YES] will result in the loss of all user defined\nkeystroke macros.\n\n";
constexpr const char* kRestoreWarningTitle = "Keystroke Macros Warning";

bool is_separator(char c) {
    return static_cast<unsigned char>(c) <= ' ';
}

bool is_letter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

char upper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c;
}

// The typed symbols are stored in the stroke font's code points.
std::string font_codes(std::string_view text) {
    std::string s(text);
    for (char& c : s) {
        switch (static_cast<unsigned char>(c)) {
        case 0xB0:
            c = static_cast<char>(0xF8); // degree
            break;
        case 0xB5:
            c = static_cast<char>(0xE6); // micro
            break;
        case 0xF6:
            c = static_cast<char>(0xEA); // ohm
            break;
        case 0xBD:
            c = static_cast<char>(0xAB); // one half
            break;
        case 0xBC:
            c = static_cast<char>(0xAC); // one quarter
            break;
        default:
            break;
        }
    }
    return s;
}

// --- Value forms of the parameter defaults --------------------------------------------------------

// Whether `v` is a number (blanks, a sign, digits with an optional point and digits, at least one
// digit), followed for lengths by an optional inch mark or "mm", and nothing else.
bool number_form(std::string_view v, bool unit) {
    size_t i = 0, digits = 0;
    auto skip_blanks = [&] {
        while (i < v.size() && v[i] == ' ') {
            ++i;
        }
    };
    skip_blanks();
    if (i < v.size() && (v[i] == '-' || v[i] == '+')) {
        ++i;
    }
    for (; i < v.size() && v[i] >= '0' && v[i] <= '9'; ++i) {
        ++digits;
    }
    if (i < v.size() && v[i] == '.') {
        for (++i; i < v.size() && v[i] >= '0' && v[i] <= '9'; ++i) {
            ++digits;
        }
    }
    if (unit && i < v.size()) {
        if (v[i] == '"') {
            ++i;
        } else if (v[i] == 'm' || v[i] == 'M') {
            ++i;
            if (i < v.size() && (v[i] == 'm' || v[i] == 'M')) {
                ++i;
            }
        }
    }
    skip_blanks();
    return digits > 0 && i == v.size();
}

std::optional<model::Coord> length_value(std::string_view v) {
    if (!number_form(v, true)) {
        return std::nullopt;
    }
    model::Cursor c(model::skip_leading_blanks(v));
    return model::read_length_unit(c);
}

std::optional<model::Angle> angle_value(std::string_view v) {
    if (!number_form(v, false)) {
        return std::nullopt;
    }
    model::Cursor c(model::skip_leading_blanks(v));
    return model::read_angle(c);
}

// A layer by exact name or by number; nullopt when neither names a layer.
std::optional<int> layer_value(App& app, std::string_view v) {
    model::Document* d = app.doc();
    if (d) {
        for (size_t i = 0; i < d->setup.layers.size(); ++i) {
            if (d->setup.layers[i].in_use() && v == d->setup.layers[i].name) {
                return static_cast<int>(i);
            }
        }
    }
    int n = -1;
    auto r = std::from_chars(v.data(), v.data() + v.size(), n);
    if (r.ec == std::errc() && r.ptr == v.data() + v.size() && n >= 0 && n <= 255) {
        return n;
    }
    return std::nullopt;
}

// --- Playback -------------------------------------------------------------------------------------

bool keep_going(App& app);

// One more token played: for the every-64-tokens question and for the run's budget.
void count_token(Shell& sh) {
    ++sh.playback_tokens;
    ++sh.services.macro_tokens_played;
}

// Whether the token numbered `token` (counted over the whole run) may still be played; marks the budget
// spent when not.
bool within_budget(Services& sv, uint64_t token) {
    if (sv.macro_token_budget != 0 && token > sv.macro_token_budget) {
        sv.macro_budget_spent = true;
        return false;
    }
    return true;
}

// Types a key `count` times; stops early when the macro was replaced by another.  Each press after the
// first counts as a token of its own, so a long repeat reaches the question a held key asks (and the
// batch budget) like any run of tokens.
void press(App& app, uint16_t key, int64_t count) {
    Shell& sh = app.shell;
    uint32_t serial = sh.services.macro_serial;
    for (int64_t i = 0; i < count && sh.services.macro_serial == serial; ++i) {
        if (i > 0) {
            count_token(sh);
        }
        handle_key(app, key);
        if (i + 1 < count && sh.services.macro_serial == serial &&
            (!within_budget(sh.services, sh.services.macro_tokens_played + 1) || !keep_going(app))) {
            stop_macro(app);
            break;
        }
    }
}

void bracket_token(App& app, std::string_view t) {
    Shell& sh = app.shell;
    // A command code: the group letter and the entry's character, which is not always a letter (N+, N-,
    // S0-S< of the image entries), as a recorded macro writes it.
    if (t.size() == 2 && t[0] >= '?' && t[0] <= 'z' && t[1] > ' ' && t[1] < 0x7F) {
        uint16_t c = code(upper(t[0]), upper(t[1]));
        if (sh.is_recording) {
            record_command(app, c);
        }
        execute_command(app, c, kSourceKey);
        return;
    }
    if (t.size() >= 3 && is_letter(t[0]) && is_letter(t[1]) && t[2] == '=') {
        set_parameter_default(app, t.substr(0, 2), t.substr(3));
        return;
    }
    if (std::optional<int> ticks = pause_ticks(t)) {
        sh.playback_pause = *ticks;
        return;
    }
    beep(app);
}

void name_token(App& app, std::string_view t) {
    size_t n = 0;
    while (n < t.size() && t[n] >= '0' && t[n] <= '9') {
        ++n;
    }
    // A token of digits alone names the digit key of its last digit (so "5" types 5, "35" types it 3 times).
    if (n == t.size()) {
        --n;
    }
    int64_t count = 1;
    if (n > 0) {
        count = 0;
        for (size_t i = 0; i < n; ++i) {
            count = count * 10 + (t[i] - '0');
            if (count > kRepeatCountMax) {
                beep(app); // too many presses to play: refused, not cut to a smaller count
                return;
            }
        }
    }
    std::string_view name = t.substr(n);
    if (name.size() > kKeyNameMax) {
        return;
    }
    if (uint16_t key = key_of_name(app, name)) {
        press(app, key, count);
    }
}

// Takes the next token off the playback text and runs it.  False at the end of the text.
bool next_token(App& app) {
    Shell& sh = app.shell;
    const std::string& s = sh.playback;
    size_t i = sh.playback_pos;
    while (i < s.size() && is_separator(s[i])) {
        ++i;
    }
    if (i >= s.size()) {
        sh.playback_pos = i;
        return false;
    }
    count_token(sh);
    if (s[i] == '<') {
        size_t end = s.find('>', i + 1);
        std::string t = s.substr(i + 1, end == std::string::npos ? std::string::npos : end - i - 1);
        sh.playback_pos = end == std::string::npos ? s.size() : end + 1;
        bracket_token(app, t);
        return true;
    }
    if (s[i] == '"') {
        std::string text;
        size_t j = i + 1;
        for (; j < s.size(); ++j) {
            if (s[j] == '"') {
                if (j + 1 < s.size() && s[j + 1] == '"') {
                    text += '"';
                    ++j;
                    continue;
                }
                break;
            }
            text += s[j];
        }
        sh.playback_pos = std::min(s.size(), j + 1);
        uint32_t serial = sh.services.macro_serial;
        for (char c : text) {
            if (sh.services.macro_serial != serial) {
                break;
            }
            handle_key(app, key_of_char(app, static_cast<unsigned char>(c)));
        }
        return true;
    }
    size_t j = i;
    while (j < s.size() && !is_separator(s[j])) {
        ++j;
    }
    std::string t = s.substr(i, j - i);
    sh.playback_pos = j;
    name_token(app, t);
    return true;
}

// Every kMacroCheckTokens tokens a waiting key press asks whether to go on.  False when cancelled.
bool keep_going(App& app) {
    Shell& sh = app.shell;
    if (macro_playing(app) && !within_budget(sh.services, sh.services.macro_tokens_played + 1)) {
        return false;
    }
    if (sh.playback_tokens == 0 || sh.playback_tokens % kMacroCheckTokens != 0) {
        return true;
    }
    if (app.platform().peek_input().key_scan == 0) {
        return true;
    }
    // The key that asks must not also answer, nor the keys typed while the box shows run afterwards.
    app.platform().discard_keys();
    platform::Answer a = app.platform().message_box(kMacroQuestion, kMacroQuestionTitle, platform::Buttons::OkCancel);
    app.platform().discard_keys();
    return a != platform::Answer::Cancel;
}

void run_playback(App& app) {
    Shell& sh = app.shell;
    sh.services.macro_loop = true;
    while (sh.playback_pause == 0 && sh.playback_pos < sh.playback.size()) {
        if (!next_token(app)) {
            break;
        }
        if (sh.playback_pause == 0 && !keep_going(app)) {
            stop_macro(app);
            break;
        }
    }
    sh.services.macro_loop = false;
    // The read-outs first: the full redraw draws the status bar from them.
    if (sh.services.status_deferred) {
        sh.services.status_deferred = false;
        refresh_status_bar(app);
    }
    if (sh.services.view_deferred) {
        sh.services.view_deferred = false;
        redraw(app, true, false);
    }
    if (sh.services.crosshair_deferred) {
        sh.services.crosshair_deferred = false;
        if (app.display.view.hooks.crosshair_refresh) {
            app.display.view.hooks.crosshair_refresh();
        }
    }
    if (sh.playback_pause == 0 && sh.playback_pos >= sh.playback.size()) {
        sh.playback.clear();
        sh.playback_pos = 0;
    }
}

// --- Macro settings -------------------------------------------------------------------------------

struct FunctionKeyRange {
    uint8_t first_scan;  // F1 .. F10
    uint8_t eleven_scan; // F11 (F12 follows)
    const char* prefix;
};

constexpr FunctionKeyRange kFunctionKeys[] = {
    {0x3B, 0x85, "Key Stroke F"},
    {0x54, 0x87, "Key Stroke Shift-F"},
    {0x5E, 0x89, "Key Stroke Ctrl-F"},
    {0x68, 0x8B, "Key Stroke Alt-F"},
};

constexpr uint8_t kAltDigitFirst = 0x78; // Alt-1 ... Alt-9, Alt-0

std::vector<std::string> all_macro_settings() {
    std::vector<std::string> names;
    for (const FunctionKeyRange& r : kFunctionKeys) {
        for (int n = 1; n <= 12; ++n) {
            names.push_back(r.prefix + std::to_string(n));
        }
    }
    for (int d = 1; d <= 10; ++d) {
        names.push_back("Key Stroke Alt-" + std::to_string(d % 10));
    }
    return names;
}

} // namespace

std::optional<int> pause_ticks(std::string_view seconds) {
    size_t i = 0, digits = 0;
    while (i < seconds.size() && seconds[i] >= '0' && seconds[i] <= '9') {
        ++i, ++digits;
    }
    if (i < seconds.size() && seconds[i] == '.') {
        ++i;
        while (i < seconds.size() && seconds[i] >= '0' && seconds[i] <= '9') {
            ++i, ++digits;
        }
    }
    if (digits == 0 || i != seconds.size()) {
        return std::nullopt;
    }
    model::Cursor c(seconds);
    int64_t v16 = model::read_decimal(c);
    uint64_t ticks = (static_cast<uint64_t>(std::max<int64_t>(0, v16)) * kPauseTicksFactor + 0x80000000u) >> 32;
    return static_cast<int>(std::min<uint64_t>(ticks, INT32_MAX));
}

int play_macro(App& app, std::string_view text) {
    Shell& sh = app.shell;
    if (std::all_of(text.begin(), text.end(), is_separator)) {
        return 0;
    }
    sh.playback = font_codes(text);
    sh.playback_pos = 0;
    sh.playback_pause = 0;
    // A macro started by a playing one goes on counting its tokens: a macro that restarts itself must
    // still reach the check that lets a key press stop it.
    if (!sh.services.macro_loop) {
        sh.playback_tokens = 0;
    }
    ++sh.services.macro_serial;
    if (!sh.services.macro_loop) {
        run_playback(app);
    }
    return 1;
}

bool macro_playing(const App& app) {
    return app.shell.playback_pause > 0 || app.shell.playback_pos < app.shell.playback.size();
}

void stop_macro(App& app) {
    Shell& sh = app.shell;
    sh.playback.clear();
    sh.playback_pos = 0;
    sh.playback_pause = 0;
    sh.playback_tokens = 0;
    ++sh.services.macro_serial;
}

void macro_tick(App& app) {
    Shell& sh = app.shell;
    if (sh.playback_pause > 0 && --sh.playback_pause == 0) {
        continue_macro(app);
    }
}

int continue_macro(App& app) {
    Shell& sh = app.shell;
    if (sh.playback_pos >= sh.playback.size() || sh.services.macro_loop) {
        return 0;
    }
    sh.playback_pause = 0;
    run_playback(app);
    return 1;
}

int set_parameter_default(App& app, std::string_view code2, std::string_view value) {
    ParameterDefaults& p = app.shell.services.params;
    if (code2.size() != 2) {
        beep(app);
        return 0;
    }
    std::string c{upper(code2[0]), upper(code2[1])};
    int index = -1;
    for (size_t i = 0; i < std::size(kParameterCodes); ++i) {
        if (kParameterCodes[i] == c) {
            index = static_cast<int>(i);
        }
    }
    auto length = [&](model::Coord& to) {
        std::optional<model::Coord> v = length_value(value);
        if (v) {
            to = *v;
        }
        return v.has_value();
    };
    auto angle = [&](model::Angle& to) {
        std::optional<model::Angle> v = angle_value(value);
        if (v) {
            to = *v;
        }
        return v.has_value();
    };
    bool ok = false;
    if (c == "LY") {
        std::optional<int> l = layer_value(app, value);
        if (l && app.doc()) {
            app.doc()->setup.current_layer = *l;
            refresh_status_bar(app);
        }
        ok = true; // an unknown layer leaves the current one as it is
    } else if (c == "LT") {
        ok = length(p.line_thickness);
    } else if (c == "AT") {
        ok = length(p.arc_thickness);
    } else if (c == "AR") {
        ok = length(p.arc_radius);
    } else if (c == "AA") {
        ok = angle(p.arc_start);
    } else if (c == "AS") {
        ok = angle(p.arc_sweep);
    } else if (c == "AE") {
        if (number_form(value, false)) {
            model::Cursor cur(model::skip_leading_blanks(value));
            p.arc_ratio = std::clamp<int32_t>(model::read_decimal(cur), 0, 0x10000);
            ok = true;
        }
    } else if (c == "AX") {
        ok = angle(p.arc_axis);
    } else if (c == "PP") {
        p.pad_pin = std::string(value.substr(0, kPinNameMax));
        ok = true;
    } else if (c == "PL") {
        if (std::optional<int> l = layer_value(app, value)) {
            p.pad_layer = *l;
            ok = true;
        }
    } else if (c == "PT") {
        if (value.size() == 2 && (upper(value[0]) == 'T' || upper(value[0]) == 'S') && value[1] >= '0' &&
            value[1] <= '9') {
            p.pad_type = ((value[1] - '0') & 3) + (upper(value[0]) == 'S' ? 4 : 0);
            ok = true;
        }
    } else if (c == "PX") {
        ok = length(p.pad_x);
    } else if (c == "PY") {
        ok = length(p.pad_y);
    } else if (c == "PH") {
        ok = length(p.pad_hole);
    } else if (c == "PR") {
        ok = angle(p.pad_rotation);
    } else if (c == "TS") {
        ok = length(p.text_size);
    } else if (c == "TR") {
        ok = angle(p.text_rotation);
    } else if (c == "TA") {
        int a = -1;
        auto r = std::from_chars(value.data(), value.data() + value.size(), a);
        if (r.ec == std::errc() && r.ptr == value.data() + value.size() && a >= 0 && a <= 15) {
            p.text_anchor = a;
            ok = true;
        }
    } else if (c == "TM") {
        p.text_mirror = !value.empty() && (value[0] == 'Y' || value[0] == 'y' || value[0] == '1');
        ok = true;
    }
    if (!ok || index < 0) {
        beep(app);
        return 0;
    }
    p.set |= 1u << index;
    return 1;
}

std::string macro_setting_name(uint16_t key) {
    if ((key & 0xFF) != 0) {
        return {};
    }
    uint8_t s = static_cast<uint8_t>(key >> 8);
    for (const FunctionKeyRange& r : kFunctionKeys) {
        if (s >= r.first_scan && s < r.first_scan + 10) {
            return r.prefix + std::to_string(s - r.first_scan + 1);
        }
        if (s == r.eleven_scan || s == r.eleven_scan + 1) {
            return r.prefix + std::to_string(s - r.eleven_scan + 11);
        }
    }
    if (s >= kAltDigitFirst && s < kAltDigitFirst + 10) {
        return "Key Stroke Alt-" + std::to_string((s - kAltDigitFirst + 1) % 10);
    }
    return {};
}

std::string default_macro(std::string_view setting) {
    std::string_view text = resources::text("default_macros");
    while (!text.empty()) {
        size_t nl = text.find('\n');
        std::string_view line = text.substr(0, nl);
        text = nl == std::string_view::npos ? std::string_view{} : text.substr(nl + 1);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        size_t eq = line.find('=');
        if (line.empty() || line[0] == '#' || eq == std::string_view::npos) {
            continue;
        }
        if (line.substr(0, eq) == setting) {
            return unescape_value(line.substr(eq + 1));
        }
    }
    return {};
}

std::string stored_macro(App& app, uint16_t key) {
    std::string name = macro_setting_name(key);
    if (name.empty()) {
        return {};
    }
    bool found = false;
    std::string v = read_setting(app, name, &found);
    return found ? v : default_macro(name);
}

int start_key_macro(App& app, uint16_t key) {
    std::string text = stored_macro(app, key);
    return text.empty() ? 0 : play_macro(app, text);
}

void restore_default_macros(App& app) {
    for (const std::string& name : all_macro_settings()) {
        std::string d = default_macro(name);
        if (d.empty()) {
            delete_setting(app, name);
        } else {
            write_setting(app, name, d);
        }
    }
}

int confirm_restore_macros(App& app) {
    // "No" is the default: the answer throws away every macro the user wrote.
    if (app.platform().message_box(kRestoreWarning, kRestoreWarningTitle, platform::Buttons::YesNo, 1) !=
        platform::Answer::Yes) {
        return 0;
    }
    restore_default_macros(app);
    return 1;
}

int toggle_recording(App& app) {
    Shell& sh = app.shell;
    if (!sh.is_recording) {
        sh.is_recording = true;
        sh.recording.clear();
        app.platform().play(platform::Sound::Peep);
        show_message(app, kStatusRecordStart);
        return 1;
    }
    sh.is_recording = false;
    sh.last_recording = sh.recording;
    sh.recording.clear();
    show_message(app, kStatusRecordStop);
    return 1;
}

int play_last_recording(App& app) {
    if (app.shell.last_recording.empty()) {
        beep(app);
        return 0;
    }
    show_message(app, kStatusPlayRecording);
    std::string text = app.shell.last_recording;
    return play_macro(app, text);
}

namespace {

void append_recording(App& app, std::string_view token, bool beep_when_full) {
    Shell& sh = app.shell;
    if (sh.recording.size() + token.size() + 1 > static_cast<size_t>(kRecordLimit)) {
        if (beep_when_full) {
            beep(app);
        }
        return;
    }
    sh.recording += token;
    sh.recording += ' ';
}

std::string quoted(std::string_view s) {
    std::string q = "\"";
    for (char c : s) {
        q += c;
        if (c == '"') {
            q += '"';
        }
    }
    return q + "\"";
}

} // namespace

void record_key(App& app, uint16_t key) {
    std::string name = key_name(app, key);
    if (name.empty()) {
        // A key without a name (an Alt-keypad character) is recorded as the character it types.
        char c = static_cast<char>(key & 0xFF);
        if (c == 0) {
            return;
        }
        name = quoted(std::string_view(&c, 1));
    } else if (name[0] == '"' || name[0] == '<') {
        // Such a name would play back as quoted text or a bracket token: record the character it types.
        char c = static_cast<char>(key & 0xFF);
        name = quoted(std::string_view(&c, 1));
    }
    append_recording(app, name, true);
}

void record_command(App& app, uint16_t code) {
    char t[5] = {'<', static_cast<char>(code >> 8), static_cast<char>(code & 0xFF), '>', 0};
    append_recording(app, t, true);
}

void record_menu_command(App& app, uint16_t code) {
    if (!app.shell.is_recording) {
        return;
    }
    char t[4] = {'"', static_cast<char>(code >> 8), static_cast<char>(code & 0xFF), '"'};
    append_recording(app, std::string_view(t, 4), false);
}

int setup_keystroke_macros(App& app) {
    platform::FormBuilder box("SetupKeyStrokeMacrosBox", "Setup Keystroke Macros");
    std::vector<std::string> names = all_macro_settings();
    std::vector<std::string> before;
    for (const std::string& name : names) {
        bool found = false;
        std::string v = read_setting(app, name, &found);
        before.push_back(found ? v : default_macro(name));
        box.text(name, name.substr(std::strlen("Key Stroke ")), before.back());
    }
    box.check("restore", "Restore the factory default macros", false);
    platform::Form form = std::move(box).build();

    if (!run_dialog(app, form)) {
        return 0;
    }
    if (form.get("restore") == "1") {
        return confirm_restore_macros(app);
    }
    int changed = 0;
    for (size_t i = 0; i < names.size(); ++i) {
        std::string v = form.get(names[i]);
        if (v != before[i]) {
            changed += write_setting(app, names[i], v);
        }
    }
    return changed > 0 ? 1 : 0;
}

} // namespace trazel::shell
