#pragma once
// What the desktop program's classes share: the App they drive and the wx string conversions.
#include <wx/wx.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

#include "shell/app.h"

namespace trazel::gui {

inline wxString wx(std::string_view s) {
    return wxString::FromUTF8(s.data(), s.size());
}
inline std::string utf8(const wxString& s) {
    return std::string(s.utf8_str());
}

// TRAZEL_TRACE=1 prints input and size events on stderr (the desktop smoke tests read them).
inline bool trace() {
    static const bool on = std::getenv("TRAZEL_TRACE") != nullptr;
    return on;
}

// Submenus that the shell refills at run time get wx ids above every command code.
constexpr int kFirstSubmenuId = 0x7000;


struct Context {
    std::unique_ptr<App> app;
    bool started = false;
    bool closing = false;
    int modal = 0; // message boxes, dialogs and menus running their own loops
};

} // namespace trazel::gui
