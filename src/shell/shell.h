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
#include <string_view>
#include <vector>

#include "display/pixel_buffer.h"
#include "platform/platform.h"
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

// What the editor (grab list, block, undo) tells the shell.  Unset: nothing hangs on the cursor, no block.
struct EditHooks {
    std::function<bool(App&)> items_on_cursor;
    std::function<int(App&)> drop_items;   // a left click with no function: drop what hangs
    std::function<int(App&)> cancel_items; // right click, Escape, File commands, deactivation
    std::function<bool(App&)> block_active;
    std::function<void(App&)> cursor_moved; // after every change of the cursor position
    std::function<void(App&)> query_window; // an open query window shows what is under the cursor
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
    std::vector<uint8_t> sleep_copy; // receives the drawing while the display sleeps
    std::vector<display::Rect> grown;   // strips uncovered by the last resize (repainted alone)
    std::vector<display::Rect> visible; // the drawing area's visible rectangles, recomputed before drawing
    int band_rows = 0;                // rows per copy band (65536 / pitch)
    uint32_t palette[256] = {};       // 0x00RRGGBB, the 8-bit palette as presented
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
    int input_state = 3;          // command source for menu commands: 3 after a mouse move, 2 after keys
    bool has_mouse = false;       // a mouse position has been seen (relative motion needs a previous one)
    bool warped = false;          // the last warp's position is the next move's reference

    // Suspension around a dialog: the mode and cursor to come back to.
    bool suspend_was_trazel = false;
    int suspend_depth = 0;
    bool lent_was_trazel = false; // the menu bar was lent out of TRAZEL mode

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

// --- Status messages (status.cpp) -----------------------------------------------------------------
// Status message n from the table (key "n>>8 & 15" "." "n & 255" as two hex digits); errors play the
// error sound; a missing entry shows " Undefined message: " and the key.
void show_message(App& app, int n);
void show_text(App& app, std::string_view text, bool error = false, bool sticky = false);
std::string message_key(int n);
// The text of message n without the flag characters ("" when the table has none).
std::string message_text(const App& app, int n);
// The entry under a key ("FW" for a hint), without the flag characters.
std::string message_entry(const App& app, std::string_view key);
// Reads the message table resource into `shell.messages` (phase 1).
void load_messages(App& app);
// Rebuilds the status bar texts (grid and cursor read-outs, the message) and draws the bar.
void refresh_status_bar(App& app);
// Status bar columns of the grid read-out, the cursor read-out and the message.
constexpr int kStatusGridCol = 4;
constexpr int kStatusReadoutCol = 166;
constexpr int kStatusMessageCol = 454;

// --- Current function and dispatch (commands.cpp) ------------------------------------------------
// Clears the three handler pairs, the prompt and the modal key handler.
void clear_function(App& app);
// Installs the function's first handler pair and its prompt.
void set_function(App& app, ClickHandler left, ClickHandler right, std::string_view prompt);
// Whether a function is active (a handler in any slot or a modal key handler).
bool function_active(const App& app);

// Executes a command code: clears the slots, takes down a rubber band, and calls the group handler of
// the high byte; a group without a handler plays the error sound and returns 0.
int execute_command(App& app, uint16_t code, int source);

// Group handlers are looked up in this table, filled by `install_command_groups` and by later subsystems.
using GroupHandler = std::function<int(App&, uint16_t code, int source)>;
void set_group_handler(App& app, char group, GroupHandler h);
// The shell's own groups (File, Zoom, Help) and the Setup group of the settings.
void install_command_groups(App& app);
int file_group(App& app, uint16_t code, int source);
int zoom_group(App& app, uint16_t code, int source);
int help_group(App& app, uint16_t code, int source);
// A section of the help text resource ("quick", "help", "manual", "howto", "about").
std::string help_section(std::string_view name);

// File group pieces others use: the template folder and its templates of one extension ("Size_NAME.ext"
// gives NAME), a new Document from a template, save and save as of the current Document.
std::string template_dir(const App& app);
std::vector<std::string> template_names(const std::string& dir, std::string_view ext);
int new_from_template(App& app, const std::string& path, std::string_view ext);
int file_save(App& app);
int file_save_as(App& app);
// After a successful save: recent lists, modified flags cleared, undo purge, title.
void finish_save(App& app, model::Document& d);

// The sound cues, through the platform.
void error_sound(App& app);
void beep(App& app);

// What hangs on the cursor (through the editor's hooks).
bool items_on_cursor(App& app);
int drop_items(App& app);
int cancel_items(App& app);
bool block_active(App& app);
// Tells the editor that the cursor moved (it redraws what hangs on the cursor).
void cursor_changed(App& app);
// Closes a Document, telling the editor first.
void close_document(App& app, model::Document* d);

// --- Modes (modes.cpp) ----------------------------------------------------------------------------
int enter_trazel_mode(App& app);
void leave_trazel_mode(App& app, bool attach_menu);
// Around a modal dialog: 1 suspends (TRAZEL mode left, mouse in the middle), 0 resumes.
void suspend(App& app, bool on);
// 1 leave TRAZEL mode and attach the menu bar; -1 leave it without the menu bar (popup); 0 give it back.
void lend_menu_bar(App& app, int how);
void attach_menu_bar(App& app);
// A modal dialog and a message box shown with the shell suspended around them.
bool run_dialog(App& app, platform::Form& form);
platform::Answer ask(App& app, std::string_view text, std::string_view title, platform::Buttons buttons,
                     int default_button = 0);

// --- Mouse (mouse.cpp) ----------------------------------------------------------------------------
// The TRAZEL-mode left click (and the Enter key): first left handler, else the repeat command, else drop
// the held Items, else the popup menu or the lent menu bar.
int click_left_action(App& app);
// The right click (and the Escape key): first right handler, else cancel the held Items, else lend the
// menu bar (TRAZEL mode) or status message 300 (Windows mode).
int click_right_action(App& app);
// Opens the popup menu at the cross-hair.
void open_popup(App& app);

// --- Start-up (startup.cpp) -----------------------------------------------------------------------
// Opens the next pending file; non-zero when this tick handled one (the tick then does nothing else).
int open_pending_file(App& app);
// The start-up phase work of one tick (0 -> 1, the set-up from tick 19 on, 2 -> 3).
void phase_tick(App& app);
void phase1_setup(App& app);
// Parses a command line: the program directory, "-s" digits and file names (quoted, or up to a blank
// followed by a drive letter and a colon).  `skip_program` drops the first word.
struct CommandLine {
    std::string program_dir;
    int monitor = -1;
    std::vector<std::string> files;
};
CommandLine parse_command_line(std::string_view line, bool handover);
// "Window Position": the named placements, or x y width height (any separators); the rectangle for a
// screen and whether the window is maximized (also for numbers that are not acceptable).
struct Placement {
    platform::PixelRect rect;
    bool maximized = false;
};
Placement window_placement(std::string_view setting, const platform::PixelRect& screen);
// Places the main window on the current monitor ("Full", "Left", ...), as the Setup menu's entries do.
void apply_window_position(App& app, std::string_view position);
// The window title: the current Document's name, or the program's name.
void update_title(App& app);
// Opens a file into a new Document through the import chooser, makes it current, adds it to the recent
// lists and shows it; the failure is told to the user.  0 when it could not be opened.
int open_document(App& app, const std::string& name, char forced);
// Shows the current Document: zoomed to its extents, or a plain text Document at its fixed scale.
void show_document(App& app);
// The view takes the grid, read-out and origin of the current Document.
void take_document_view(App& app);
// Adds files to the pending list (their names made absolute).
void add_pending(App& app, const std::vector<std::string>& files);

// --- Window messages (window_events.cpp) -----------------------------------------------------------
// Recomputes the drawing area and the visible rectangles; false when nothing can be drawn.
bool recompute_visible(App& app);
// Redraws (the whole drawing area, or the Items alone) and presents the result.
int redraw(App& app, bool full = true, bool layer_only = false);
// Moves the drawing area's pixels by (dx, dy) (positive: right, down) and redraws the uncovered strips.
void scroll_contents(App& app, int dx, int dy);
// The window's destroy path: surfaces released, TRAZEL mode left, the window closed.
void destroy_window(App& app);

// --- Surfaces (surfaces.cpp) ----------------------------------------------------------------------
// Makes the pixel storage for the client area at the App's depth; false for a depth other than 8, 16,
// 24 and 32.
bool create_surfaces(App& app);
void release_surfaces(App& app);
// The drawing lock: points display.buffer at the screen copy (target 1) or the sleep copy
// (target 2).
bool lock_surface(App& app, int target);
bool lock_if_needed(App& app);
void unlock_surface(App& app);
// Copies the listed rectangles (or everything) to the window.
void present(App& app, const std::vector<display::Rect>& rects = {});
// Presents once when anything was drawn since the last present (end of every event).
void present_if_dirty(App& app);
platform::SurfaceView surface_view(const App& app);
// The 8-bit palette is handed to the front end at presentation.
void realize_palette(App& app);
// Fills the monitor table from the window's screens and rebuilds the monitor submenu.
void enumerate_monitors(App& app);
// Makes the monitor holding the main window current (origin, size, menu tick).
void find_monitor_rects(App& app);
int switch_monitor(App& app, int index);
int monitor_dialog(App& app);
// Copies the sleep copy back to the screen copy inside `r`.
void copy_from_sleep(App& app, const display::Rect& r);

} // namespace trazel::shell
