// The menu bar and the popup menu as data, the menu state before a menu shows, the hint line, and the
// menu command entry point.
#include "shell/menus.h"

#include "display/display.h"
#include "shell/app.h"
#include "shell/commands.h"
#include "shell/events.h"
#include "shell/heartbeat.h"
#include "shell/macros.h"
#include "shell/modes.h"
#include "shell/settings.h"
#include "shell/status.h"
#include "shell/surfaces.h"

namespace trazel::shell {

namespace {

using platform::MenuItem;

constexpr char kTopLetters[] = "FPGEDQUSBNZ?";

MenuItem cmd(char g, char c, std::string label) {
    MenuItem m;
    m.code = code(g, c);
    m.label = std::move(label);
    return m;
}

MenuItem cmd(uint16_t c, std::string label) {
    MenuItem m;
    m.code = c;
    m.label = std::move(label);
    return m;
}

MenuItem checkable(MenuItem m) {
    m.checkable = true;
    return m;
}

MenuItem separator() {
    return MenuItem{};
}

MenuItem sub(std::string label, std::vector<MenuItem> items, uint16_t hint_code = 0, int id = 0) {
    MenuItem m;
    m.label = std::move(label);
    m.items = std::move(items);
    m.code = hint_code;
    m.id = id;
    return m;
}

std::vector<MenuItem> file_menu() {
    std::vector<MenuItem> reopen;
    reopen.push_back(cmd(kPurgeFiles, "&Purge Non-existent Files"));
    reopen.push_back(cmd(kRemoveAllFiles, "&Remove All File Names"));
    return {
        cmd('F', 'W', "&New File..."),
        cmd('F', 'O', "&Open File..."),
        sub("&Re-open", reopen, code('F', 'R'), kReopenMenuId),
        cmd('F', 'T', "Recent Files with &Times..."),
        cmd('F', 'D', "Inclu&de File..."),
        separator(),
        cmd('F', 'C', "&Close File"),
        cmd('F', 'E', "&Erase File from Disk"),
        separator(),
        cmd('F', 'S', "&Save"),
        cmd('F', 'A', "Save &As..."),
        separator(),
        cmd('F', 'I', "File &Information..."),
        cmd('F', 'N', "Ne&xt File"),
        cmd('F', 'V', "Pre&vious File"),
        cmd('F', 'L', "Se&lect Open File..."),
        separator(),
        cmd('F', 'G', "&Gerber Photoplot..."),
        cmd('F', 'K', "Fabrication Pac&kage..."),
        cmd('F', 'P', "&Print / Plot..."),
        cmd('F', 'B', "&Bill of Materials"),
        separator(),
        cmd('F', 'X', "E&xit"),
    };
}

std::vector<MenuItem> place_menu() {
    return {
        cmd('P', 'L', "&Line"),
        cmd('P', 'O', "&Orthogonal Line"),
        cmd('P', 'E', "V&ertex"),
        cmd('P', 'A', "&Arc / Circle / Ellipse"),
        cmd('P', 'Y', "Arc Drawn Graphicall&y"),
        cmd('P', 'P', "&Pad"),
        cmd('P', 'V', "&Via"),
        cmd('P', 'T', "&Text"),
        cmd('P', 'C', "&Component"),
        cmd('P', 'F', "&Filled Solid"),
        separator(),
        cmd('P', 'S', "&Signal Port"),
        cmd('P', 'B', "&Bus Port"),
        cmd('P', '+', "Plus/&Minus Port"),
        cmd('P', 'G', "Signal &Ground"),
        cmd('P', 'H', "&Earth Ground"),
        cmd('P', 'M', "&Named Ground"),
        cmd('P', 'N', "&Rename Signal"),
        cmd('P', 'D', "Signal &Dot"),
        cmd('P', 'W', "Signal &Wire"),
        cmd('P', 'I', "Bus W&ire"),
        separator(),
        cmd('P', 'R', "Dimension S&ymbol"),
        cmd('P', 'X', "Automatic &XY Dimensioning"),
    };
}

std::vector<MenuItem> grab_menu() {
    return {
        cmd('G', 'L', "&Line"),
        cmd('G', 'E', "V&ertex"),
        cmd('G', 'A', "&Arc / Circle"),
        cmd('G', 'G', "Arc &Origin"),
        cmd('G', 'D', "Arc C&hord Point"),
        cmd('G', 'P', "&Pad / Via"),
        cmd('G', 'T', "&Text"),
        cmd('G', 'C', "&Component"),
        cmd('G', 'O', "Component O&nly"),
        cmd('G', 'F', "&Filled Solid"),
        cmd('G', 'I', "&Item"),
        separator(),
        cmd('G', 'R', "&Rotate 90 Degrees"),
        cmd('G', 'N', "Rotate N &Degrees"),
        cmd('G', 'X', "Mirror &X"),
        cmd('G', 'Y', "Mirror &Y"),
        cmd('G', 'M', "&Mirror Top / Bottom"),
        cmd('G', 'S', "&Scale XY"),
    };
}

std::vector<MenuItem> edit_menu() {
    return {
        cmd('E', 'L', "&Line"),
        cmd('E', 'A', "&Arc / Circle"),
        cmd('E', 'P', "&Pad / Via"),
        cmd('E', 'T', "&Text"),
        cmd('E', 'X', "Text Parameters"),
        cmd('E', 'I', "S&ingle Component"),
        cmd('E', 'C', "&Components"),
        separator(),
        cmd('E', 'E', "Locate T&ext"),
        cmd('E', 'O', "Locate C&omponent"),
        cmd('E', 'K', "Dissolve Component"),
        cmd('E', 'F', "Dissolve &Filled Solid"),
        cmd('E', 'R', "Convert Line to A&rc"),
        separator(),
        cmd('E', 'Q', "Re&sequence Components"),
        cmd('E', 'G', "Align Components to &Grid"),
        cmd('E', 'D', "Align Text to Grid &Dots"),
        cmd('E', 'N', "Align Pads and Tracks"),
        cmd('E', 'M', "Centre S&MD Insertion Point"),
        cmd('E', 'S', "Snap Item"),
    };
}

std::vector<MenuItem> delete_menu() {
    return {
        cmd('D', 'L', "&Line"),
        cmd('D', 'M', "&Multi-line"),
        cmd('D', 'E', "V&ertex"),
        cmd('D', 'A', "&Arc / Circle"),
        cmd('D', 'P', "&Pad / Via"),
        cmd('D', 'T', "&Text"),
        cmd('D', 'C', "&Component"),
        cmd('D', 'F', "&Filled Solid"),
        separator(),
        cmd('D', 'I', "&Isolated Areas"),
        cmd('D', 'R', "Pad-Track Fillets"),
        cmd('D', 'G', "Items Hanging on the Cursor"),
        cmd('D', 'H', "&Highlighted Items"),
    };
}

std::vector<MenuItem> query_menu() {
    return {
        cmd('Q', 'L', "&Line"),
        cmd('Q', 'A', "&Arc / Circle"),
        cmd('Q', 'P', "&Pad / Via"),
        cmd('Q', 'T', "&Text"),
        cmd('Q', 'C', "&Component"),
        separator(),
        cmd('Q', 'R', "Align &Windows"),
        cmd('Q', 'I', "&Image Editor"),
        cmd('Q', 'V', "&View Window"),
        cmd('Q', 'Z', "&Zoom Window"),
    };
}

std::vector<MenuItem> undo_menu() {
    return {
        cmd('U', 'U', "&Undo Event"), cmd('U', 'A', "Undo &All Events"),
        cmd('U', 'E', "&Redo Event"),   cmd('U', 'R', "Redo A&ll Events"),
        separator(),                         cmd('U', 'S', "&Suspend Undo"),
        cmd('U', 'P', "Sus&pend Redo"),
    };
}

std::vector<MenuItem> setup_menu() {
    std::vector<MenuItem> images;
    for (char c = '0'; c <= '<'; ++c) {
        // S5 straightens the current picture; the other entries stand for their slots.
        images.push_back(c == '5' ? cmd('S', c, "Image &Rectification")
                                  : cmd('S', c, "Pixel Image &" + std::string(1, c)));
    }
    std::vector<MenuItem> monitors{checkable(cmd(kMonitorDialog, "&Screen Parameters"))};
    std::vector<MenuItem> placement{
        checkable(cmd(0x5370, "&Full Screen")), checkable(cmd(0x5371, "&Left Half")),
        checkable(cmd(0x5372, "&Right Half")),  checkable(cmd(0x5373, "&Top Half")),
        checkable(cmd(0x5374, "&Bottom Half")), checkable(cmd(0x5375, "&Centre")),
    };
    return {
        cmd('S', 'L', "&Layers..."),
        cmd('S', 'M', "Graphic &Mode..."),
        cmd('S', 'D', "Grid &Dimensioning..."),
        sub("Pixel &Images", images, code('S', 'I'), kPixelImageMenuId),
        cmd('S', 'F', "Library &Files Used..."),
        cmd('S', 'V', "&Via Parameters..."),
        cmd('S', 'X', "&XY Line Widths..."),
        cmd('S', 'C', "&Clearance..."),
        cmd('S', 'S', "&Snap Table..."),
        cmd('S', 'G', "&Grid Interval..."),
        cmd('S', 'P', "&Relative Zero Point"),
        cmd('S', 'B', "Status &Bar..."),
        checkable(cmd('S', 'W', "Mirror Vie&w")),
        checkable(cmd('S', 'T', "&Orthogonal Mode")),
        separator(),
        // No code of its own: 0x5360 is its first entry's, and a lookup by code must find that entry.
        sub("Scree&n", monitors, 0, kMonitorMenuId),
        sub("Window &Placement", placement, 0, kPlacementMenuId),
        separator(),
        cmd('S', 'K', "&Keystroke Macros..."),
        cmd('S', 'O', "&Options..."),
    };
}

std::vector<MenuItem> block_menu() {
    return {
        cmd('B', 'G', "&Rectangle"),
        cmd('B', 'I', "&Polygon"),
        cmd('B', 'P', "&Animated Perimeter"),
        cmd('B', 'E', "D&eselect"),
        separator(),
        cmd('B', 'M', "&Move"),
        cmd('B', 'C', "&Copy"),
        cmd('B', 'D', "&Delete Inside Block"),
        cmd('B', 'U', "Delete O&utside Block"),
        cmd('B', 'H', "&Highlight Items"),
        separator(),
        cmd('B', 'B', "Create Component"),
        cmd('B', 'N', "Pseudo Compo&nent"),
        cmd('B', 'F', "&Fill"),
        cmd('B', 'A', "Join Pads to Tracks"),
        cmd('B', 'T', "Isolation &Track"),
        cmd('B', 'O', "Isolation / CAM &Output"),
        separator(),
        cmd('B', 'L', "&Layers"),
        cmd('B', 'R', "Rotate / &Scale / Mirror"),
    };
}

std::vector<MenuItem> nets_menu() {
    return {
        cmd('N', 'I', "Netlist &In..."),
        cmd('N', 'O', "Netlist &Out..."),
        cmd('N', 'P', "&Pin List..."),
        separator(),
        cmd('N', 'R', "&Ratnest"),
        cmd('N', 'L', "Rat &Line"),
        cmd('N', 'U', "&Un-ratnest"),
        cmd('N', 'H', "Recall &Net"),
        cmd('N', 'N', "Net &Name"),
        cmd('N', 'M', "Net I&mage"),
        cmd('N', 'C', "Un&mark"),
        separator(),
        cmd('N', 'S', "Net &Scan"),
        cmd('N', '+', "Net Scan &Plus"),
        cmd('N', '-', "Net Scan M&inus"),
        cmd('N', 'G', "Net Scan &Log"),
        separator(),
        cmd('N', 'A', "&Auto-route..."),
    };
}

std::vector<MenuItem> zoom_menu() {
    return {
        cmd('Z', 'I', "Zoom &In [1.414x]"),
        cmd('Z', 'O', "Zoom &Out [.707x]"),
        cmd('Z', 'S', "&Scale [dpi]..."),
        cmd('Z', 'R', "&Redraw Screen"),
        cmd('Z', 'L', "&Layer..."),
        cmd('Z', 'C', "&Centre Screen"),
        cmd('Z', 'P', "&Previous"),
        cmd('Z', 'X', "E&xtended View"),
        cmd('Z', 'W', "&Window"),
    };
}

std::vector<MenuItem> help_menu() {
    return {
        cmd('?', 'O', "&Quick Commands"), cmd('?', 'H', "&Help"),          cmd('?', 'M', "&Manual"),
        cmd('?', 'T', "How-&to"),         separator(),                     cmd('?', 'A', "&About TRAZEL..."),
    };
}

// Codes of the popup's Place submenus: wires and symbols on a sheet, copper and text on a board.
std::vector<MenuItem> popup_place(bool schematic) {
    if (schematic) {
        return {cmd('P', 'W', "Signal &Wire"), cmd('P', 'I', "&Bus Wire"),    cmd('P', 'S', "Signal &Port"),
                cmd('P', 'B', "B&us Port"),    cmd('P', 'G', "Signal &Ground"), cmd('P', 'D', "Signal &Dot"),
                cmd('P', 'N', "&Rename Signal"), cmd('P', 'C', "&Component"),  cmd('P', 'T', "&Text"),
                cmd('P', 'L', "&Line")};
    }
    return {cmd('P', 'L', "&Line"),      cmd('P', 'O', "&Orthogonal Line"), cmd('P', 'A', "&Arc / Circle"),
            cmd('P', 'P', "&Pad"),       cmd('P', 'V', "&Via"),             cmd('P', 'T', "&Text"),
            cmd('P', 'C', "&Component"), cmd('P', 'F', "&Filled Solid"),    cmd('P', 'E', "V&ertex")};
}

std::vector<MenuItem> popup_grab(bool schematic) {
    std::vector<MenuItem> m{cmd('G', 'L', "&Line"), cmd('G', 'E', "V&ertex"), cmd('G', 'T', "&Text"),
                            cmd('G', 'C', "&Component"), cmd('G', 'I', "&Item")};
    if (!schematic) {
        m.push_back(cmd('G', 'P', "&Pad / Via"));
        m.push_back(cmd('G', 'A', "&Arc / Circle"));
        m.push_back(cmd('G', 'F', "&Filled Solid"));
    }
    m.push_back(separator());
    m.push_back(cmd('G', 'R', "&Rotate 90 Degrees"));
    m.push_back(cmd('G', 'X', "Mirror &X"));
    m.push_back(cmd('G', 'Y', "Mirror &Y"));
    return m;
}

std::vector<MenuItem> popup_edit(bool schematic) {
    std::vector<MenuItem> m{cmd('E', 'L', "&Line"), cmd('E', 'T', "&Text"), cmd('E', 'I', "&Component")};
    if (!schematic) {
        m.push_back(cmd('E', 'P', "&Pad / Via"));
        m.push_back(cmd('E', 'A', "&Arc / Circle"));
    }
    return m;
}

std::vector<MenuItem> popup_delete(bool schematic) {
    std::vector<MenuItem> m{cmd('D', 'L', "&Line"), cmd('D', 'E', "V&ertex"), cmd('D', 'T', "&Text"),
                            cmd('D', 'C', "&Component"), cmd('D', 'G', "Items on the &Cursor")};
    if (!schematic) {
        m.push_back(cmd('D', 'P', "&Pad / Via"));
        m.push_back(cmd('D', 'A', "&Arc / Circle"));
        m.push_back(cmd('D', 'F', "&Filled Solid"));
    }
    return m;
}

std::vector<MenuItem> popup_undo() {
    return {cmd('U', 'U', "&Undo Event"), cmd('U', 'E', "&Redo Event"), cmd('U', 'A', "Undo &All"),
            cmd('U', 'R', "Redo A&ll")};
}

std::vector<MenuItem> popup_zoom() {
    return {cmd('Z', 'I', "Zoom &In"),   cmd('Z', 'O', "Zoom &Out"),  cmd('Z', 'C', "&Centre"),
            cmd('Z', 'W', "&Window"),    cmd('Z', 'X', "E&xtended"), cmd('Z', 'P', "&Previous"),
            cmd('Z', 'R', "&Redraw")};
}

MenuItem popup_for(bool schematic) {
    std::vector<MenuItem> items{
        sub("&Place", popup_place(schematic), code('P', 0)), sub("&Grab", popup_grab(schematic), code('G', 0)),
        sub("&Edit", popup_edit(schematic), code('E', 0)),   sub("&Delete", popup_delete(schematic), code('D', 0)),
        sub("&Un-do", popup_undo(), code('U', 0)),          sub("&Zoom", popup_zoom(), code('Z', 0)),
        separator(),                                         cmd('M', 'S', "&Menu Bar"),
    };
    return sub(schematic ? "Schematic" : "Board", items);
}

void collect(const std::vector<MenuItem>& items, std::vector<uint16_t>& out) {
    for (const MenuItem& m : items) {
        if (!m.items.empty()) {
            collect(m.items, out);
        } else if (m.code != 0) {
            out.push_back(m.code);
        }
    }
}

// Keeps the menu data and the window's menus in step.
void set_state(App& app, std::vector<MenuItem>& items, uint16_t c, bool checked, bool enabled) {
    for (MenuItem& m : items) {
        if (m.code == c && m.items.empty()) {
            m.checked = checked;
            m.enabled = enabled;
        }
        if (!m.items.empty()) {
            set_state(app, m.items, c, checked, enabled);
        }
    }
}

void state(App& app, uint16_t c, bool checked, bool enabled) {
    set_menu_item_state(app, c, checked, enabled);
}

} // namespace

void set_menu_item_state(App& app, uint16_t c, bool checked, bool enabled) {
    set_state(app, app.shell.menu_bar, c, checked, enabled);
    app.window().set_menu_state(c, checked, enabled);
}

std::vector<MenuItem> build_menu_bar() {
    return {
        sub("&File", file_menu()),   sub("&Place", place_menu()), sub("&Grab", grab_menu()),
        sub("&Edit", edit_menu()),   sub("&Delete", delete_menu()), sub("&Query", query_menu()),
        sub("&Un-do", undo_menu()),  sub("&Setup", setup_menu()), sub("&Block", block_menu()),
        sub("&Nets", nets_menu()),   sub("&Zoom", zoom_menu()),   sub("&Help", help_menu()),
    };
}

MenuItem build_popup_menu() {
    return sub("MenuPop", {popup_for(true), popup_for(false)});
}

std::vector<uint16_t> menu_codes(const std::vector<MenuItem>& menus) {
    std::vector<uint16_t> out;
    collect(menus, out);
    return out;
}

std::string hint_for(const App& app, uint16_t c) {
    char g = static_cast<char>(c >> 8), l = static_cast<char>(c & 0xFF);
    if (l == 0) {
        return message_entry(app, std::string(1, g));
    }
    if (c >= kMonitorDialog && c <= kMonitorLast) {
        return message_entry(app, "S`");
    }
    if (g == 'S' && l > '0' && l <= '<') {
        return message_entry(app, "S0");
    }
    return message_entry(app, std::string{g, l});
}

void update_menu_state(App& app, int menu_index) {
    Shell& s = app.shell;
    bool doc = app.doc() != nullptr;
    bool several = app.model.docs.size() > 1;
    auto wants = [&](int i) { return menu_index < 0 || menu_index == i; };
    if (wants(0)) {
        for (char c : std::string("CESAIGPBL")) {
            state(app, code('F', c), false, doc);
        }
        state(app, code('F', 'N'), false, several);
        state(app, code('F', 'V'), false, several);
    }
    if (wants(kIndexSetupMenu)) {
        state(app, code('S', 'T'), app.display.view.angle_mode != 0, doc);
        state(app, code('S', 'W'), app.display.view.mirror, doc);
        for (int i = 0; i < s.monitor_count; ++i) {
            state(app, static_cast<uint16_t>(kMonitorDialog + i), i == s.monitor, true);
        }
        // The setting is read without regard to case, and "Centre" is "Center".
        static constexpr const char* kPlaces[] = {"Full", "Left", "Right", "Top", "Bottom", "Center"};
        for (int i = 0; i < 6; ++i) {
            bool on = equals_nocase(s.window_position, kPlaces[i]) ||
                      (i == 5 && equals_nocase(s.window_position, "Centre"));
            state(app, static_cast<uint16_t>(kPlaceFull + i), on, true);
        }
        // The pixel image entries that hold a picture.
        for (int i = 0; i <= '<' - '0'; ++i) {
            bool has = doc && !app.model.images[static_cast<size_t>(i)].empty();
            state(app, code('S', static_cast<char>('0' + i)), false, has);
        }
        // Image Rectification works on the current picture.
        int current = app.model.current_image;
        bool picture = current >= 0 && current < model::kImageSlots &&
                       !app.model.images[static_cast<size_t>(current)].empty();
        state(app, code('S', '5'), false, doc && picture);
    }
    if (wants(10)) {
        for (char c : std::string("IOSRLCPXW")) {
            state(app, code('Z', c), false, doc);
        }
    }
}

void on_menu_open(App& app, int menu_index) {
    BackgroundGuard guard(app);
    if (app.shell.destroyed) {
        return;
    }
    update_menu_state(app, menu_index);
}

void on_menu_highlight(App& app, uint16_t c, int top_index) {
    BackgroundGuard guard(app);
    if (app.shell.destroyed || app.shell.phase == 0) {
        return;
    }
    std::string hint;
    if (top_index >= 0 && top_index < 12) {
        hint = message_entry(app, std::string(1, kTopLetters[top_index]));
    } else if (c != 0) {
        hint = hint_for(app, c);
    }
    if (!hint.empty()) {
        show_text(app, hint);
        present_if_dirty(app);
    }
}

void on_menu_command(App& app, uint16_t c) {
    BackgroundGuard guard(app);
    Shell& s = app.shell;
    if (s.destroyed) {
        return;
    }
    wake(app);
    s.idle_ticks = -1;
    if (s.phase == 0) {
        return; // until the first tick
    }
    if (c == code('M', 'S')) {
        s.popup_state = 0;
        s.lent_was_trazel = false;
        attach_menu_bar(app);
        present_if_dirty(app);
        return;
    }
    if (s.is_recording) {
        record_menu_command(app, c);
    }
    Source source = s.input_state;
    if (source < kSourceMouse) {
        lend_menu_bar(app, 0);
    } else {
        // Chosen with the mouse: the menu bar stays, and the lending is over; a later keyboard command
        // must not bring back a TRAZEL mode left long ago.
        s.popup_state = 0;
        s.lent_was_trazel = false;
    }
    if (c == kMonitorDialog) {
        monitor_dialog(app);
    } else if (c >= kMonitorFirst && c <= kMonitorLast) {
        switch_monitor(app, c - kMonitorDialog);
    } else {
        s.popup_state = 0;
        execute_command(app, c, source);
    }
    present_if_dirty(app);
}

} // namespace trazel::shell
