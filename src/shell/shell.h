#pragma once
// The application shell's state: interaction modes, the current-function slots, timers and phases,
// status messages, keys and macros, settings.  One `Shell` lives in the `App`; the event entry points
// (events.h) and the command groups work on it.
#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "display/pixel_buffer.h"

namespace trazel {
struct App;
}

namespace trazel::shell {

constexpr int kTickMs = 55;
constexpr int kStatusBarRows = 22;
constexpr uint16_t kKeyEnter = 0x1C0D;
constexpr uint16_t kKeyEscape = 0x011B;

constexpr uint16_t code(char group, char letter) {
    return static_cast<uint16_t>(static_cast<uint8_t>(group) << 8 | static_cast<uint8_t>(letter));
}

// Where a command came from (the second argument of every group handler).
enum Source : int {
    kSourceKey = 0,    // fixed keys, the wheel, macros: act at once on the cursor
    kSourceRepeat = 1, // the repeat command
    kSourceTwoKey = 2, // two-key entry, menus after keyboard use or the popup menu: ask for a point
    kSourceMouse = 3,  // menus used with the mouse
};

// One step of the current function.  Handlers return non-zero when they did something.
using ClickHandler = std::function<int(App&)>;
using KeyHandler = std::function<int(App&, uint16_t key)>;

struct HandlerPair {
    ClickHandler left, right;
};

struct StatusMessage {
    std::string text;
    bool error = false;
    bool sticky = false; // stays until replaced; otherwise clears itself after 5 seconds
    int ticks_left = 0;
};

// Settings read from the store (names and defaults as the settings file carries them).
struct Options {
    bool display_logs = true;
    bool popup_menus = false;
    bool animated_icon = true;
    bool zoom_with_mouse = true;
    bool undo_beyond_save = false;
    bool purge_redo_notification = false;
    bool query_raft_boxes = true;
    bool sound_card_tones = true;
    bool thick_crosshair = false;
    uint32_t autosave_ticks = 4369; // 4 minutes
    uint32_t sleep_ticks = 0;       // 0 = never sleeps in the foreground
    uint32_t redraw_timing = 0;
    bool animated_block = false;
    int open_mask_index = 5;
    bool open_preview = false;
    bool open_expand = true;
    bool explorer_open = true;
    bool auto_open_project = true;
    bool accept_handover = true; // "Accetta files da explorer." in the preferences
};

struct Shell {
    // Modes and window state
    bool menu_bar_shown = true;
    bool trazel_mode = false;
    int phase = 0;      // 0 before the first tick, 1 after it, 2 settings loaded, 3 ready
    int suspended = 0;  // 1 modal dialog or menu bar has the mouse, 2 over a modeless tool window
    int popup_state = 0; // 1 menu bar lent to a command, -1 popup menu open
    bool sleeping = false;
    bool foreground = true;
    bool minimized = false;
    bool destroyed = false;
    bool refuse_handover = false; // set when start-up completes unless hand-over is accepted
    std::string title;

    // Timers
    uint32_t tick = 0;
    int32_t idle_ticks = 0;
    uint32_t background_ticks = 0;
    uint32_t button_timer = 0; // ticks since a button press for zoom/pan; bit 16 once it became a pan
    int move_ignore = 0;
    uint32_t left_down_tick = 0;
    int query_refresh = 0;
    uint32_t autosave_countdown = 0;
    int icon_frame = 0;
    int block_dash_phase = 0;
    bool clock_colon = false;

    // Mouse
    int mouse_x = 0, mouse_y = 0; // last client position seen
    bool left_down = false, right_down = false;
    int pan_start_x = 0, pan_start_y = 0;
    display::Rect crosshair_rect; // TRAZEL mode: the rectangle the mouse is kept in
    int input_state = 3;          // command source for menu commands: 3 after a mouse move, 2 after keys

    // Current function
    std::array<HandlerPair, 3> slots;
    std::string prompt;
    KeyHandler modal_key;
    uint16_t repeat_command = 0;

    // Status bar
    StatusMessage status;
    std::map<std::string, std::string> messages; // message table: key "1.2C" -> entry text

    // Pending files (command line and hand-over), opened one per tick
    std::deque<std::string> pending_open;
    std::string program_dir;
    std::string command_line;

    // Monitors
    int monitor = 0;
    int monitor_count = 1;

    // Keys and macros
    uint8_t shift_state = 0;
    uint8_t locks_held = 0;
    uint8_t alt_keypad_sum = 0;
    char pending_group = 0;
    uint32_t pending_group_tick = 0;
    std::string recording; // non-empty while recording (first char is a marker the recorder keeps)
    bool is_recording = false;
    std::string last_recording;
    std::string playback;
    size_t playback_pos = 0;
    int playback_pause = 0;
    int playback_tokens = 0;

    Options options;
};

// Status message n from the table (key "n>>8 & 15" "." "n & 255" as two hex digits); errors play the
// error sound; a missing entry shows " Undefined message: " and the key.
void show_message(App& app, int n);
void show_text(App& app, std::string_view text, bool error = false, bool sticky = false);
std::string message_key(int n);

// Clears the three handler pairs, the prompt and the modal key handler.
void clear_function(App& app);
// Installs the function's first handler pair and its prompt.
void set_function(App& app, ClickHandler left, ClickHandler right, std::string_view prompt);

// Executes a command code: clears the slots, takes down a rubber band, and calls the group handler of
// the high byte; a group without a handler plays the error sound and returns 0.
int execute_command(App& app, uint16_t code, int source);

// Group handlers are looked up in this table, filled by `install_command_groups` and by later subsystems.
using GroupHandler = std::function<int(App&, uint16_t code, int source)>;
void set_group_handler(App& app, char group, GroupHandler h);

} // namespace trazel::shell
