// The texts the shell takes from outside: command lines (its own and those a second start hands over),
// "Window Position" and other setting values, typed cursor positions, and keystroke macro text played
// through the real key handler.  Nothing may crash, hang or read out of bounds, a setting value must
// come back from the settings file's escaping unchanged, and a macro must end within its ticks.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

#include "app/core/headless_run.h"
#include "shell/keys.h"
#include "shell/macros.h"
#include "shell/settings.h"
#include "shell/shell.h"

using namespace trazel;

namespace {

constexpr int kMacroTicks = 60; // over 3 seconds of heartbeat: longer pauses are cut short

// A started shell whose command groups only count, so that no macro opens, saves or erases files.
shell::HeadlessRun& session() {
    static shell::HeadlessRun* run = nullptr;
    if (run == nullptr || run->app.shell.destroyed) {
        delete run;
        run = new shell::HeadlessRun(640, 480);
        if (run->start() == 0) {
            std::abort();
        }
        run->until_ready();
        for (char g : std::string("FPGEDQUSBNZ?M")) {
            shell::set_group_handler(run->app, g, [](App&, uint16_t, shell::Source) { return 1; });
        }
    }
    return *run;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);

    (void)shell::parse_command_line(text, false);
    (void)shell::parse_command_line(text, true);
    (void)shell::window_placement(text, {0, 0, 1079, 1919});
    (void)shell::window_placement(text, {-1080, -1920, -1, -1});

    std::string raw(text);
    if (shell::unescape_value(shell::escape_value(raw)) != raw) {
        std::fprintf(stderr, "a setting value does not survive the settings file\n");
        std::abort();
    }
    (void)shell::unescape_value(text);
    (void)shell::autosave_ticks_of(text, true);
    (void)shell::sleep_ticks_of(text);
    (void)shell::pause_ticks(text);

    model::Coord x = 0, y = 0;
    (void)shell::parse_typed_point(text, 0, 0, x, y);
    (void)shell::parse_typed_point(text, INT32_MAX, INT32_MIN, x, y);

    shell::HeadlessRun& run = session();
    // The scripted platform keeps every box, dialog, sound and report for tests to read; the session
    // lives across inputs, so they are dropped here or they would grow without end.
    platform::Headless& ui = run.ui();
    ui.boxes.clear();
    ui.dialogs.clear();
    ui.sounds.clear();
    ui.reports.clear();
    // As in the batch verb: no key can stop playback, so a budget of tokens does (repeats count each press).
    shell::Services& sv = run.app.shell.services;
    sv.macro_token_budget = 4096;
    sv.macro_tokens_played = 0;
    sv.macro_budget_spent = false;
    shell::play_macro(run.app, text);
    for (int i = 0; i < kMacroTicks && shell::macro_playing(run.app) && !run.app.shell.destroyed; ++i) {
        run.tick();
    }
    if (shell::macro_playing(run.app)) {
        shell::stop_macro(run.app);
    }
    // Whatever the macro left waiting is ended, as a right click would.
    shell::clear_function(run.app);
    return 0;
}
