#pragma once
// The platform's hardware key numbers turned into the PC scan codes the keyboard translator reads.
//
// On X11 (and so under wxGTK) a key event carries the X keycode, which is the Linux input (evdev) key
// number plus 8.  Evdev numbers 1 to 88 are the PC set-1 scan codes themselves; the grey keys of the
// enhanced keyboard have numbers of their own and become their scan code with the extended (E0) flag.
#include <cstdint>

namespace trazel::gui {

struct ScanCode {
    int scan = 0; // 0: a key the keyboard translator has no use for
    bool extended = false;
};

inline ScanCode scan_from_evdev(int evdev) {
    if (evdev >= 1 && evdev <= 88) {
        return {evdev, false};
    }
    switch (evdev) {
    case 96: // keypad Enter
        return {0x1C, true};
    case 97: // right Ctrl
        return {0x1D, true};
    case 98: // keypad /
        return {0x35, true};
    case 99: // Print Screen
        return {0x37, true};
    case 100: // right Alt (AltGr)
        return {0x38, true};
    case 102: // Home
        return {0x47, true};
    case 103: // Up
        return {0x48, true};
    case 104: // Page Up
        return {0x49, true};
    case 105: // Left
        return {0x4B, true};
    case 106: // Right
        return {0x4D, true};
    case 107: // End
        return {0x4F, true};
    case 108: // Down
        return {0x50, true};
    case 109: // Page Down
        return {0x51, true};
    case 110: // Insert
        return {0x52, true};
    case 111: // Delete
        return {0x53, true};
    case 125: // left Windows key
        return {0x5B, true};
    case 126: // right Windows key
        return {0x5C, true};
    case 127: // menu key
        return {0x5D, true};
    default:
        // Pause would arrive as E1 1D 45 and read as Num Lock by a plain translator: it is left out, with
        // the media and national keys that the PC set has no codes for.
        return {};
    }
}

// X keycodes start at 8.
inline ScanCode scan_from_x_keycode(uint32_t keycode) {
    return keycode >= 8 ? scan_from_evdev(static_cast<int>(keycode) - 8) : ScanCode{};
}

} // namespace trazel::gui
