#pragma once
// Keystroke macros: text programs bound to the function keys and Alt-digits, stored in the settings,
// recorded from the keyboard or written by hand, and played back token by token:
//   <XY>       the command code XY (source 0)
//   <1.5>      a pause in seconds (18.2 ticks a second)
//   <XY=v>     the parameter default XY (ParameterDefaults)
//   "text"     each character typed as its key ("" is a quote)
//   3Up        a key name, pressed an optional number of times
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "shell/services.h"

namespace trazel {
struct App;
}

namespace trazel::shell {

// Tokens between two looks at waiting key presses.
constexpr int kMacroCheckTokens = 64;
// Playback pause: seconds (16.16) times this, upper 32 bits, rounded, is ticks.
constexpr uint64_t kPauseTicksFactor = 0x1234FE;

// The parameter default codes in the order of the `set` bits of ParameterDefaults.
constexpr std::string_view kParameterCodes[] = {"LY", "LT", "AT", "AR", "AA", "AS", "AE", "AX", "PP", "PL",
                                                "PT", "PX", "PY", "PH", "PR", "TS", "TR", "TA", "TM"};

// Starts playing `text` (a macro started while one plays replaces it) and runs it up to its first
// pause or its end.  Returns 0 for an empty text.
int play_macro(App& app, std::string_view text);
// Whether a macro is playing or paused.
bool macro_playing(const App& app);
// Ends playback at once.
void stop_macro(App& app);
// The timer's step: counts the pause down and goes on when it has run out.
void macro_tick(App& app);
// Continues a paused macro now (the key handler's -1).
int continue_macro(App& app);

// Pause length in ticks of a number of seconds given as text ("1.5" -> 27); nullopt when the text is
// not digits with an optional point and digits.
std::optional<int> pause_ticks(std::string_view seconds);

// Sets a parameter default from its two-letter code and value text; 0 (after the beep) for a code that
// is not one of kParameterCodes, or a value that does not read.
int set_parameter_default(App& app, std::string_view code, std::string_view value);

// The setting that stores the macro of a key ("Key Stroke Shift-F3", "Key Stroke Alt-7"), "" for keys
// without one.
std::string macro_setting_name(uint16_t key);
// The stored macro of a key, or its default when the setting is missing.
std::string stored_macro(App& app, uint16_t key);
// Starts the macro of F1-F12 (any shift state) or Alt-1 to Alt-0; 0 when the key has none.
int start_key_macro(App& app, uint16_t key);
// Our default macro list: setting name -> macro text ("" for none).
std::string default_macro(std::string_view setting);
// Writes every default macro over the stored ones (and removes macros that have no default).
void restore_default_macros(App& app);
// Shows the "Keystroke Macros Warning" and restores the defaults on yes.  Non-zero when restored.
int confirm_restore_macros(App& app);

// Recording.  Alt with keypad "*" starts or stops it; keypad "*" plays the last one.
int toggle_recording(App& app);
int play_last_recording(App& app);
// Appends a key's name (or, during recording, a command token or a menu command) to the recording;
// beeps once the buffer is full.
void record_key(App& app, uint16_t key);
void record_command(App& app, uint16_t code);
void record_menu_command(App& app, uint16_t code);

// The "SetupKeyStrokeMacrosBox" dialog (command SK).
int setup_keystroke_macros(App& app);

} // namespace trazel::shell
