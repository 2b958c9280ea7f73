// Xlib is kept to this file: its macros (None, Bool, Status...) would collide with other headers.
#include "app/gui/held_keys.h"

#include "app/gui/scan_codes.h"

#ifdef TRAZEL_HAVE_X11
#include <X11/Xlib.h>
#endif

namespace trazel::gui {

namespace {

bool modifier_or_lock(int scan) {
    switch (scan) {
    case 0x1D: // Ctrl
    case 0x2A: // left Shift
    case 0x36: // right Shift
    case 0x38: // Alt
    case 0x3A: // Caps Lock
    case 0x45: // Num Lock
    case 0x46: // Scroll Lock
        return true;
    default:
        return false;
    }
}

} // namespace

int held_key_scan() {
#ifdef TRAZEL_HAVE_X11
    // The key map is the server's, so a connection of our own sees what the toolkit's would.
    static Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        return 0;
    }
    char keys[32] = {};
    XQueryKeymap(display, keys);
    for (unsigned code = 8; code < 256; ++code) {
        if ((static_cast<unsigned char>(keys[code / 8]) >> (code % 8) & 1) == 0) {
            continue;
        }
        ScanCode sc = scan_from_x_keycode(code);
        if (sc.scan != 0 && !modifier_or_lock(sc.scan)) {
            return sc.scan;
        }
    }
#endif
    return 0;
}

} // namespace trazel::gui
