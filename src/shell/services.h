#pragma once
// State of the keyboard, macro, settings and heartbeat services of the shell.  One `Services` lives in
// `Shell`; nothing here outlives the App that owns it.
#include <array>
#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "model/units.h"

namespace trazel {
struct App;
}
namespace trazel::model {
struct Document;
}

namespace trazel::shell {

// The keyboard table resource: key codes and names for 128 scan codes in four columns (normal, Shift,
// Ctrl, Alt).  Rows 91 to 103 hold the grey cursor keys.
struct KeyTable {
    std::array<std::array<uint16_t, 4>, 128> codes{};
    std::array<std::array<std::string, 4>, 128> names;
    bool loaded = false;
};

// Values the macro tokens "<XY=value>" set for the Place commands to start from.  `set` has bit n for
// the n-th code of kParameterCodes once that code was given.
struct ParameterDefaults {
    model::Coord line_thickness = 0;   // LT
    model::Coord arc_thickness = 0;    // AT
    model::Coord arc_radius = 0;       // AR
    model::Angle arc_start = 0;        // AA
    model::Angle arc_sweep = 0;        // AS
    int32_t arc_ratio = 0x10000;       // AE, r/R as 16.16
    model::Angle arc_axis = 0;         // AX
    std::string pad_pin;               // PP, at most 23 characters
    int pad_layer = 0;                 // PL
    int pad_type = 0;                  // PT: T0-T3 are 0-3, S0-S3 are 4-7
    model::Coord pad_x = 0, pad_y = 0; // PX, PY
    model::Coord pad_hole = 0;         // PH
    model::Angle pad_rotation = 0;     // PR
    model::Coord text_size = 0;        // TS
    model::Angle text_rotation = 0;    // TR
    int text_anchor = 0;               // TA, 0..15
    bool text_mirror = false;          // TM
    uint32_t set = 0;
};

// The PC-speaker tone sequence of the cue being played: pairs (timer divisor, ticks) ending in 0.
struct ToneState {
    const uint16_t* sequence = nullptr;
    int index = 0;        // the pair being sounded
    int left = 0;         // ticks left of that pair
    bool pending = false; // requested; it starts on the next tick
    bool active = false;
};

// Hooks of later subsystems that some fixed keys and the heartbeat use.  Unset: the key beeps, the
// heartbeat skips the step.
struct ServiceHooks {
    std::function<int(App&)> rotate_block;               // R with a block active
    std::function<int(App&)> next_image;                 // Alt-M
    std::function<int(App&, int step)> point_group_step; // "." and "," in a point-set Document
    // Shows a Document other than the current one in the view window ("ViewBox"): a log.
    std::function<void(App&, const model::Document*)> show_in_view_window;
    std::function<void(App&)> tool_window_tick;          // a modeless tool window's own timer
    std::function<void(App&)> transient_tool_check;      // once a second: close the transient tool window
    std::function<void(App&)> view_window_refresh;       // after a redraw: the view window follows
    std::function<void(App&)> close_tool_windows;        // a monitor switch: the tool windows go
    std::function<bool(App&)> block_outline_shown;       // a block outline is on the current Document
    std::function<void(App&, int dash_phase)> block_outline_redraw;
};

// A run on a thread of its own that writes a Document (the autorouter).  The user interface thread holds
// `lock` around its events and commands, and the run holds it around each change, so the two never touch
// the Document or the screen at once; `depth` counts how deep the interface holds it (waiting for the run
// lets go of every level).  Unset hooks: no run.
struct BackgroundRun {
    std::shared_ptr<std::recursive_mutex> lock = std::make_shared<std::recursive_mutex>();
    int depth = 0;
    // Before a command: true when it may not run now (the hook gave the cue and the message).
    std::function<bool(App&, uint16_t code)> refuse;
    std::function<bool(App&)> escape; // true when Escape went to the run
    std::function<void(App&)> tick;   // every heartbeat tick: progress, and the end of the run
};

struct Services {
    KeyTable keys;

    // Typed coordinates: the text collected so far while the entry function runs.
    std::string coord_text;
    // The prompt of the function the coordinate entry interrupted; the entry sits on top of it.
    std::string coord_under_prompt;

    ParameterDefaults params;
    bool macro_loop = false;   // the playback loop is running (a macro started inside it replaces the text)
    uint32_t macro_serial = 0; // counts macro starts, so a token sees that its macro was replaced
    // A batch run has no keyboard to stop a macro that restarts itself or repeats a key forever: it sets
    // a budget of tokens (each press of a repeated key counts), and playback stops once it is spent.
    uint64_t macro_token_budget = 0; // 0: no budget (the desktop, where a held key stops playback)
    uint64_t macro_tokens_played = 0;
    bool macro_budget_spent = false;
    // While the playback loop runs the status bar is drawn once at its end, not after every key: a
    // repeated key or a long cursor walk would spend nearly all its time drawing read-outs nobody sees.
    bool status_deferred = false;
    // Likewise the view scrolled by cursor steps is redrawn whole once at the end.
    bool view_deferred = false;
    bool crosshair_deferred = false;

    ToneState tone;
    int clock_col = -1;                        // status-bar column of the clock as last placed
    std::array<std::vector<uint8_t>, 4> waves; // cue sounds, made on first use

    // Settings store folder; empty: $TRAZEL_CONFIG_DIR, else $XDG_CONFIG_HOME/trazel, else ~/.config/trazel.
    std::string config_dir;
    // User data folder for "Backup" and "Autosave" when the program's folder is not writable; empty:
    // $XDG_DATA_HOME/trazel, else ~/.local/share/trazel.
    std::string user_data_dir;
    // Local time for the clock and the Re-Call stamps; unset: the system clock.
    std::function<std::tm()> local_time;

    // The printer's device mode, saved as "Printer Setup" on request from the preferences dialog.
    std::vector<uint8_t> printer_setup;

    ServiceHooks hooks;
    BackgroundRun background;
};

} // namespace trazel::shell
