#pragma once
// The menus as data: the menu bar "MenuBar" with its twelve menus carrying every command code, and the
// popup menu "MenuPop" with its schematic and board submenus.  The front end builds its menus from them.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/window.h"

namespace trazel {
struct App;
}

namespace trazel::shell {

// MenuItem::id of the submenus that are rebuilt at run time or looked up by the hint line.
constexpr int kPixelImageMenuId = 0x5349; // "SI"
constexpr int kPlacementMenuId = 0x5370;
constexpr int kIndexSetupMenu = 7;    // the eighth menu
constexpr int kIndexMonitorEntry = 15; // its sixteenth entry is the monitor submenu

std::vector<platform::MenuItem> build_menu_bar();
platform::MenuItem build_popup_menu();

// The hint line of a code: its own entry in the message table; a code whose low byte is 0 (a group
// submenu of the popup menu) has its group letter's hint; the pixel image entries share the hint of the
// first one, the monitor entries that of "Screen Parameters".
std::string hint_for(const App& app, uint16_t code);
// Every command code the menu bar carries, in menu order (separators and submenu parents left out).
std::vector<uint16_t> menu_codes(const std::vector<platform::MenuItem>& menus);
// Brings the checks and grey states of one top-level menu (-1: all) up to date.
void update_menu_state(App& app, int menu_index);
// Checks or greys one entry in the shell's menu data and in the window's menus alike.
void set_menu_item_state(App& app, uint16_t code, bool checked, bool enabled);

} // namespace trazel::shell
