#pragma once
// The keyboard: PC scan codes become 16-bit key codes (scan code in the high byte, character in the low
// byte) through the key table resource, and key codes run fixed shortcuts, two-key commands, cursor
// steps, typed coordinates and keystroke macros.
#include <cstdint>
#include <string>
#include <optional>
#include <string_view>

#include "shell/services.h"

namespace trazel {
struct App;
}

namespace trazel::shell {

// Bits of the shift state byte (laid out like the PC keyboard flag byte).
constexpr uint8_t kShiftRight = 0x01;
constexpr uint8_t kShiftLeft = 0x02;
constexpr uint8_t kShiftCtrl = 0x04;
constexpr uint8_t kShiftAlt = 0x08;
constexpr uint8_t kLockScroll = 0x10;
constexpr uint8_t kLockNum = 0x20;
constexpr uint8_t kLockCaps = 0x40;
constexpr uint8_t kLockInsert = 0x80;

// Scan codes with a meaning of their own.
constexpr int kScanCtrl = 29;
constexpr int kScanShiftLeft = 42;
constexpr int kScanShiftRight = 54;
constexpr int kScanAlt = 56;
constexpr int kScanCapsLock = 58;
constexpr int kScanNumLock = 69;
constexpr int kScanScrollLock = 70;
constexpr int kScanKeypadFirst = 71; // keypad 7 ... keypad "."
constexpr int kScanKeypadLast = 83;
constexpr int kGreyRowOffset = 20; // extended 71..83 use rows 91..103
constexpr int kRowGreyInsert = 82 + kGreyRowOffset;

// Key codes the handler knows by value.
constexpr uint16_t kKeyContinueMacro = 0xFFFF; // handle_key(-1): a paused macro goes on
constexpr uint16_t kKeyBackspace = 0x0E08;
constexpr uint16_t kKeySpace = 0x3920;
constexpr uint16_t kKeyPadStar = 0x372A;
constexpr uint16_t kKeyAltPadStar = 0x3700;
constexpr uint16_t kKeyPadPlus = 0x4E2B;
constexpr uint16_t kKeyPadMinus = 0x4A2D;
constexpr uint16_t kKeyAltPadPlus = 0x4E00;
constexpr uint16_t kKeyAltPadMinus = 0x4A00;

// Ticks a group letter waits for its second key before its menu opens.
constexpr uint32_t kTwoKeyTicks = 5;

// The menu bar's group letters in menu order.
constexpr std::string_view kMenuLetters = "FPGEDQUSBNZ?";

// Fills the key table from the resource (done on first use as well).  Returns 0 when the resource is
// missing or malformed.
int load_key_table(KeyTable& t);

// Turns a scan code (with the extended flag, pressed or released, auto-repeat) into a key code; 0 when
// the key gives none (shift and lock keys, releases, Alt-keypad digits).
uint16_t translate_key(App& app, int scan, bool extended, bool down, bool repeat);

// Runs the key's action; kKeyContinueMacro continues a paused macro.  Non-zero when something was done.
int handle_key(App& app, uint16_t key);

// Activation reloads the lock bits from the system.
void set_lock_bits(App& app, bool caps, bool num, bool scroll);

// The key's name ("Space", "F1", "sF1", "^F1", "#F1", "Num7", "PgUp" ...), "" for none; and the key of
// a name (case-insensitive when longer than one character; "" is "Space"), 0 for none.
std::string key_name(App& app, uint16_t key);
uint16_t key_of_name(App& app, std::string_view name);
// The key that types a character (normal column before Shift); a character without a key gives the
// character alone (scan code 0).
uint16_t key_of_char(App& app, unsigned char c);

// The two-key wait: opens the pending group's menu once kTwoKeyTicks have passed.  Called every tick.
void two_key_tick(App& app);

// The typed-coordinate text "X,Y": two lengths in inches (a trailing '"' or "mm" chooses the unit),
// relative to the relative origin.  False when the text is not two such numbers.
// One typed length: a number in inches, or with a trailing '"' or "mm"; nothing when it is not one.
std::optional<model::Coord> parse_typed_length(std::string_view s);
bool parse_typed_point(std::string_view text, model::Coord rel_x, model::Coord rel_y, model::Coord& x, model::Coord& y);

} // namespace trazel::shell
