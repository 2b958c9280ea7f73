#pragma once
// User settings as named text values in one settings file (the names and value forms of the registry
// values they replace), the Re-Open and Re-Call lists, the backup copy before a Document's first save,
// and the timed autosave.
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace trazel {
struct App;
}
namespace trazel::model {
struct Document;
}

namespace trazel::shell {

constexpr size_t kSettingWriteLimit = 16383; // characters written of one value
constexpr size_t kSettingReadLimit = 16384;  // bytes read of one value, the terminator included
constexpr size_t kReopenReadLimit = 4096;
constexpr size_t kRecallLimit = 16000;
constexpr int kReopenMenuEntries = 10;
constexpr int kReopenMenuId = 0x4652; // MenuItem::id of the Re-Open submenu
constexpr uint16_t kPurgeFiles = 0x463E;
constexpr uint16_t kRemoveAllFiles = 0x463F;
constexpr const char* kSettingsFileName = "settings.txt";

// --- The store ----------------------------------------------------------------------------------
// The folder of the settings file (created when writing).
std::string settings_dir(const App& app);
// The folder without an App: $TRAZEL_CONFIG_DIR, else $XDG_CONFIG_HOME/trazel, else ~/.config/trazel.
std::string default_settings_dir();
// A setting read from the file in `dir` (the batch tool reads settings without an App).
std::string read_setting_in(const std::string& dir, std::string_view name, bool* found = nullptr);
// The value of a setting, "" when it is missing (or the store cannot be read); `found` tells the two
// apart.
std::string read_setting(const App& app, std::string_view name, bool* found = nullptr);
// Stores a text value (at most kSettingWriteLimit characters).  Returns 0 when the file could not be
// written; the old file is then left as it was.
int write_setting(App& app, std::string_view name, std::string_view text);
int write_raw_setting(App& app, std::string_view name, const std::vector<uint8_t>& bytes);
std::vector<uint8_t> read_raw_setting(const App& app, std::string_view name);
int delete_setting(App& app, std::string_view name);

// The file's line form "Name=value": backslashes, control characters and bytes from 0x7F up are written
// as "\\" and "\xHH", so every value survives as bytes.
std::string escape_value(std::string_view raw);
std::string unescape_value(std::string_view text);

// --- Value forms ----------------------------------------------------------------------------------
// Yes/no settings are judged by their first character.
bool setting_is_yes(std::string_view v);    // "Y..."
bool setting_is_not_no(std::string_view v); // anything but "N..." (missing counts as yes)
// Minutes (16.16) to ticks: times 0x4446B85, upper 32 bits.
uint32_t minutes_to_ticks(int32_t minutes16);
// "Autosave Timer": 0 for "N..."/"Off"; 4 minutes when missing, unreadable or below 1/256 minute.
uint32_t autosave_ticks_of(std::string_view v, bool found);
// "Sleep Mode Timer": "Y" is one minute, otherwise minutes; 0 (off) for 0 or text.
uint32_t sleep_ticks_of(std::string_view v);

// The values read at start-up (file dialog settings) and at tick 19 (display and behaviour options).
void read_startup_settings(App& app);
void read_display_settings(App& app);

// --- Event sounds -------------------------------------------------------------------------------
constexpr size_t kEventSoundNameMax = 256;
// The user's sound file for an event ("Open", "Close"): the value of the setting
// "AppEvents\Schemes\Apps\TRAZEL'98\<event>\.Current" (at most kEventSoundNameMax characters); ""
// when none is set, which plays nothing.
std::string event_sound_name(const App& app, std::string_view event);
// That file's bytes, read whole; empty when no sound is set or the file cannot be read.
std::vector<uint8_t> load_event_sound(const App& app, std::string_view event);
// Plays the user's sound for the event, if one is set and can be read.
void play_event_sound(App& app, std::string_view event);

// --- Recent files ---------------------------------------------------------------------------------
// The Re-Open list, most recent first.
std::vector<std::string> reopen_list(const App& app);
// Puts `add_first` (when given) at the top of the Re-Open list, writes it back and rebuilds the
// submenu: at most ten entries "&0:  name" (F0-F9), a separator, "Purge Non-existent Files" and
// "Remove All File Names".
void build_reopen_menu(App& app, std::string_view add_first = {});
// The time stamp that begins a Re-Call entry, "07/03/98 12:05 am " (18 characters, blank included).
std::string recall_stamp(const std::tm& t);
// The Re-Call entries, most recent first, each "stamp name".
std::vector<std::string> recall_list(const App& app);
// Adds a file to both lists and rebuilds the Re-Open submenu.
int add_recent_file(App& app, std::string_view full_name);
// Removes the names whose files cannot be opened (bit 0 Re-Open, bit 1 Re-Call); rebuilds the submenu.
int purge_recent_lists(App& app, int which);
int clear_reopen_list(App& app);
// A Re-Open entry whose file has gone: asks whether to purge the lists and does so on yes.
int reopen_missing_file(App& app, const std::string& name);
// "FileRecallBox": the Re-Call list to choose from; non-zero with the chosen name on OK.
int file_recall_box(App& app, std::string* chosen);

// --- Backup and autosave -------------------------------------------------------------------------
// The folder `folder` ("Backup", "Autosave") beside the program, or in the user's data folder when the
// program's folder cannot be written; created when missing.  "" when neither can be made.
std::string data_dir(const App& app, std::string_view folder);
// Before the first save of a Document since it was loaded: copies its file into "Backup" (or beside
// it with ".bak" appended) and sets the backup-made flag.  Non-zero when a copy was made.
int make_backup(App& app, model::Document& d);
// Writes the current Document into "Autosave" when it changed since the last autosave; clears only the
// autosave bit of its modified flags.  Non-zero when a copy was written.
int autosave(App& app);

// Helpers for the stored setting texts: a case-blind prefix test, "has any digit", the decimal value.
bool starts_with_nocase(std::string_view s, std::string_view prefix);
bool equals_nocase(std::string_view a, std::string_view b);
bool has_digit(std::string_view v);
int32_t decimal_of(std::string_view v);

// The local time (the Services override when set).
std::tm local_time(const App& app);

// The Setup group: "SO" (preferences), "SK" (keystroke macros), the window placements and the dialogs
// of setup_dialogs.h; a Setup code without a handler plays the error sound.
void install_setup_group(App& app);
int setup_options(App& app);

} // namespace trazel::shell
