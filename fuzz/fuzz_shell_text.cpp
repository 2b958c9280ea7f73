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
#include "fuzz_board_file.h"
#include "shell/keys.h"
#include "shell/macros.h"
#include "shell/settings.h"
#include "shell/shell.h"

using namespace trazel;

namespace {

constexpr int kMacroTicks = 60; // over 3 seconds of heartbeat: longer pauses are cut short

// A small board for the editing commands to work on: tracks meeting at a via, a pad, a Text and a
// Component, written once beside the fuzzer's temporary files.
std::string board_file() {
    static const std::string path = fuzz::board_file(
        "fuzz_shell_text", "TRAZEL Version 4.0 -- Data File.\r\n\r\n-y0:00FFFF00,00000000,0,0,Pad Master\r\n"
                           "-y1:00FF0000,00000000,2,1,Top\r\n-y2:000000FF,00000000,10,2,Bottom\r\n"
                           "-y3:00FFFFFF,00000000,0,3,Silk\r\n\r\n"
                           "6 0 0 .9 .9 1.1 1.1 DIP8\x7FU1\r\n3 0 1 1 1 .06 .06 .035 0 1\r\n"
                           "4 3 .05 .9 1.1 .1 0 0 0 &1\r\n0 0 0 1 1 0 0\r\n"
                           "1 1 .012 .5 .5 1 1 N1\r\n1 1 .012 1 1 1.5 .5 N1\r\n1 2 .012 .5 .5 .2 .8\r\n"
                           "3 0 3 .5 .5 .04 .04 .02 0 0 N1\r\n2 3 .01 1.5 1.5 .2 0 90 0 0\r\n"
                           "4 3 .06 .2 1.5 .3 0 0 0 TEXT\r\n\r\nEND OF FILE\r\n");
    return path;
}

// A started shell with a board open.  The groups that would open, save or erase files, or reach the
// printer, only count; the editing groups (Edit, Delete, Query, Block) are the real ones.
shell::HeadlessRun& session() {
    static shell::HeadlessRun* run = nullptr;
    if (run == nullptr || run->app.shell.destroyed || run->app.doc() == nullptr) {
        delete run;
        run = new shell::HeadlessRun(640, 480);
        if (run->start({board_file()}) == 0) {
            std::abort();
        }
        run->until_ready();
        for (char g : std::string("FPGUSNZ?M")) {
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
