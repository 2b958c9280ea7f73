#pragma once
// The application shell's state: interaction modes, the current-function slots, timers and phases,
// status messages, keys and macros, settings.  One `Shell` lives in the `App`; the event entry points
// (events.h) and the shell's parts (shell.h lists them) work on it.
#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "display/pixel_buffer.h"
#include "platform/window.h"
#include "shell/services.h" // keys: the keyboard, macro, settings and heartbeat state

namespace trazel {
struct App;
}
namespace trazel::model {
struct Document;
}

namespace trazel::shell {

constexpr int kTickMs = 55;
constexpr int kStatusBarRows = 22;
constexpr uint16_t kKeyEnter = 0x1C0D;
constexpr uint16_t kKeyEscape = 0x011B;

// Mouse timings in ticks.
constexpr uint32_t kQuickClickTicks = 8; // a press released sooner is a zoom click
constexpr uint32_t kHoldTicks = 6;       // a TRAZEL-mode press held this long gives a second point
constexpr uint32_t kPanFlag = 0x10000;   // set in the button timer once the press became a pan
constexpr int kPanPixels = 10;           // a move this large turns a press into a pan at once
constexpr int kPanPullInside = 16;       // after a pan the cross-hair comes this far inside the clip rectangle
// Rectangles narrower or lower than this are not used for the TRAZEL-mode cross-hair.
constexpr int kMinCrosshairWidth = 32;
constexpr int kMinCrosshairHeight = 24;
constexpr int kMinWindowWidth = 300;
constexpr int kMinWindowHeight = 200;
constexpr int kPhase1Tick = 19;
constexpr int kRecordLimit = 4080;

// Command codes the shell itself knows.
constexpr uint16_t kMonitorDialog = 0x5360; // "&Screen Parameters"
constexpr uint16_t kMonitorFirst = 0x5361;  // "Screen &1" ... 0x536F
constexpr uint16_t kMonitorLast = 0x536F;
constexpr uint16_t kPlaceFull = 0x5370; // window placement: full, left, right, top, bottom, centre
constexpr uint16_t kPlaceCentre = 0x5375;
constexpr uint16_t kViewWindowRefresh = 9900; // sent to an open view window after a redraw
constexpr int kMonitorMenuId = 0x5360;        // MenuItem::id of the monitor submenu
constexpr int kMaxMonitors = 8;

// The tag of the hand-over request: the class name "TZ98" reversed, lowest byte first.
constexpr uint32_t kHandoverTag = 0x545A3938;

constexpr uint16_t code(char group, char letter) {
    return static_cast<uint16_t>(static_cast<uint8_t>(group) << 8 | static_cast<uint8_t>(letter));
}

// Where a command came from (the second argument of every group handler).
enum class Source : int {
    Key = 0,    // fixed keys, the wheel, macros: act at once on the cursor
    Repeat = 1, // the repeat command
    TwoKey = 2, // two-key entry, menus after keyboard use or the popup menu: ask for a point
    Mouse = 3,  // menus used with the mouse
};
inline constexpr Source kSourceKey = Source::Key;
inline constexpr Source kSourceRepeat = Source::Repeat;
inline constexpr Source kSourceTwoKey = Source::TwoKey;
inline constexpr Source kSourceMouse = Source::Mouse;

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

// What the editor (grab list, block, undo) tells the shell.  Unset: nothing hangs on the cursor, no block.
struct EditHooks {
    std::function<bool(App&)> items_on_cursor;
    std::function<int(App&)> drop_items;   // a left click with no function: drop what hangs
    std::function<int(App&)> cancel_items; // right click, Escape, File commands, deactivation
    std::function<bool(App&)> block_active;
    std::function<void(App&)> cursor_moved; // after every change of the cursor position
    std::function<void(App&)> query_window; // an open query window shows what is under the cursor
    // Before a command changes the Document: the redo stack goes (asking first when the option says so);
    // false when the user cancelled.  Unset: nothing to ask.
    std::function<bool(App&)> redo_check;
    // After a successful save of the current Document: purges its undo records unless they survive a save.
    std::function<void(App&)> purge_undo;
    std::function<void(App&, model::Document&)> after_save;
    // Before a Document is closed: frees its undo records and drops a grab on it.
    std::function<void(App&, model::Document&)> closing_document;
};

// The screen surface: the core draws into `App::pixels`, the front end presents it.
struct Surface {
    bool created = false;
    int lock_state = 0;           // 0 unlocked, 1 the screen copy, 2 the sleep copy
    bool display_changed = false; // the next paint re-creates the surface
    bool dirty = false;           // drawn since the last present
    bool stale = true;            // the pixels no longer show the Document: the next paint redraws
    int width = 0, height = 0, pitch = 0, depth = 32;
    std::vector<uint8_t> sleep_copy;    // receives the drawing while the display sleeps
    std::vector<display::Rect> grown;   // strips uncovered by the last resize (repainted alone)
    bool shifted = false;               // the last move or resize moved the kept pixels: all are presented
    bool placed = false;                // the client area's place on the screen is known
    int screen_x = 0, screen_y = 0;     // its top-left relative to the current monitor, as last reported
    std::vector<display::Rect> visible; // the drawing area's visible rectangles, recomputed before drawing
    int band_rows = 0;                  // rows per copy band (65536 / pitch)
    uint32_t palette[256] = {};         // 0x00RRGGBB, the 8-bit palette as presented
};

struct MonitorEntry {
    std::string description;
    platform::PixelRect rect;
    int palette_layout = 0;
};

struct Shell {
    // Modes and window state
    bool menu_bar_shown = true;
    bool trazel_mode = false;
    int phase = 0;       // 0 before the first tick, 1 after it, 2 settings loaded, 3 ready
    int suspended = 0;   // 1 modal dialog or menu bar has the mouse, 2 over a modeless tool window
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
    bool swallow_right_up = false; // the right press closed the popup menu: its release does nothing
    int pan_start_x = 0, pan_start_y = 0;
    display::Rect crosshair_rect; // TRAZEL mode: the rectangle the mouse is kept in
    Source input_state = kSourceMouse; // command source for menu commands: Mouse after a mouse move, TwoKey after keys
    bool has_mouse = false;       // a mouse position has been seen (relative motion needs a previous one)
    bool warped = false;          // the last warp's position is the next move's reference

    // Suspension around a dialog: the mode and cursor to come back to.
    bool suspend_was_trazel = false;
    int suspend_depth = 0;
    bool lent_was_trazel = false;                 // the menu bar was lent out of TRAZEL mode
    int32_t lent_cursor_x = 0, lent_cursor_y = 0; // the cross-hair's Document point when it was lent

    // Current function
    std::array<HandlerPair, 3> slots;
    std::string prompt;
    KeyHandler modal_key;
    uint16_t repeat_command = 0;
    // Counts executed commands, so a function can tell whether anything ran since it armed itself.
    uint64_t command_serial = 0;

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
    std::vector<MonitorEntry> monitors;
    platform::PixelRect virtual_screen;
    int monitor_x = 0, monitor_y = 0;          // origin of the current monitor
    int monitor_w1 = 0, monitor_h1 = 0;        // its width - 1 and height - 1
    std::string window_position = "Maximized"; // the placement start-up chose
    bool window_maximized = false;

    // Surfaces
    Surface surface;

    // Menus as data
    std::vector<platform::MenuItem> menu_bar;
    platform::MenuItem popup_menu;

    // Editor hooks (grab list, block, undo)
    EditHooks edit;

    // Keys and macros
    uint8_t shift_state = 0;
    uint8_t locks_held = 0;
    uint8_t alt_keypad_sum = 0;
    char pending_group = 0;
    uint32_t pending_group_tick = 0;
    std::string recording; // the key names and commands recorded so far (while is_recording)
    bool is_recording = false;
    std::string last_recording;
    std::string playback;
    size_t playback_pos = 0;
    int playback_pause = 0;
    int playback_tokens = 0;

    Options options;

    // --- keys: the keyboard, macro, settings and heartbeat services (services.h; block kept by keys) ---
    Services services;
    // --- end of keys block ---
};

} // namespace trazel::shell
