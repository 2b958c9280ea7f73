#pragma once
// The main window as the core sees it: a client area whose pixels the core draws itself, a menu bar that
// comes and goes, a mouse cursor that can be hidden, captured, clipped and warped, and a title.  The
// desktop front end implements it with a real window; `HeadlessWindow` records what was asked of it.
//
// Input travels the other way: the front end calls the shell's event entry points (src/shell/events.h)
// with client-area pixel positions and PC scan codes.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace trazel::platform {

// Inclusive pixel rectangle in client (or, for monitors, virtual-screen) coordinates.
struct PixelRect {
    int top = 0, left = 0, bottom = -1, right = -1;
};

// A view of the core's pixel buffer for presentation.  8-bit pixels are palette indices (0x00RRGGBB per
// entry); 16-bit pixels carry their channels at the given shifts with the given widths.
struct SurfaceView {
    const uint8_t* base = nullptr;
    int pitch = 0, depth = 32, width = 0, height = 0;
    const uint32_t* palette = nullptr; // 256 entries, 8-bit only
    int red_shift = 11, green_shift = 5, blue_shift = 0;
    int red_bits = 5, green_bits = 6, blue_bits = 5;
};

enum class CursorShape { Arrow, Hand };

struct MenuItem {
    uint16_t code = 0;          // command code; 0 for a separator or a submenu
    std::string label;          // "&" marks the accelerator letter
    std::vector<MenuItem> items; // a submenu when not empty
    int id = 0;                 // submenus that are rebuilt at run time (Re-open list, monitors) carry an id
    bool checked = false;
    bool checkable = false; // carries a check mark that the menu state turns on and off
    bool enabled = true;
};

struct Monitor {
    std::string description; // up to 32 characters
    PixelRect rect;          // in virtual-screen pixels
};

class Window {
  public:
    virtual ~Window() = default;

    virtual void set_title(std::string_view title) = 0;
    // The whole menu bar (twelve menus); shown or taken away by `show_menu_bar`.
    virtual void set_menu_bar(const std::vector<MenuItem>& menus) = 0;
    virtual void show_menu_bar(bool shown) = 0;
    // Replaces the entries of the submenu with that id (Re-open list, monitor list).
    virtual void set_submenu(int id, const std::vector<MenuItem>& items) = 0;
    virtual void set_menu_state(uint16_t code, bool checked, bool enabled) = 0;
    // Opens the menu bar's menu `index` (0 = File) as if its title had been clicked.
    virtual void open_menu(int index) = 0;
    // Opens the menu bar's submenu with that id (the Re-open list, the pixel images) on its own.
    virtual void open_submenu(int id) = 0;
    // Shows a popup menu at a client position; the chosen command arrives as a menu command event and a
    // popup closed without a choice is told through the shell's on_popup_closed.
    virtual void popup_menu(const MenuItem& menu, int x, int y) = 0;
    // Sends Escape key strokes to an open menu (each closes one level of it).
    virtual void send_escape_keys(int count) = 0;

    virtual void show_cursor(bool shown) = 0;
    virtual void set_cursor_shape(CursorShape shape) = 0;
    virtual void capture_mouse(bool captured) = 0;
    // Keeps the mouse inside a client rectangle; nullopt releases it.
    virtual void clip_mouse(std::optional<PixelRect> r) = 0;
    virtual void warp_mouse(int x, int y) = 0; // client pixels

    // Copies the listed client rectangles of the surface to the screen (all of it when the list is empty).
    virtual void present(const SurfaceView& s, const std::vector<PixelRect>& rects) = 0;
    // Asks for a paint event covering the rectangle (the whole client area when nullopt).
    virtual void invalidate(std::optional<PixelRect> r) = 0;

    virtual PixelRect client_rect() = 0;              // size of the client area, top-left at 0,0
    virtual PixelRect window_rect() = 0;              // outer frame in virtual-screen pixels
    virtual void place_window(const PixelRect& r, bool maximized) = 0;
    virtual std::vector<Monitor> monitors() = 0;      // entry 0 is the primary display
    virtual bool foreground() = 0;
    virtual bool minimized() = 0;
    virtual void bring_to_front() = 0;
    // Ends the program after the current event (the window's destroy path has run in the core).
    virtual void close() = 0;
};

// Records everything and keeps the state a test wants to look at.
class HeadlessWindow : public Window {
  public:
    void set_title(std::string_view t) override {
        title = t;
    }
    void set_menu_bar(const std::vector<MenuItem>& m) override {
        menus = m;
    }
    void show_menu_bar(bool s) override {
        menu_bar_shown = s;
    }
    void set_submenu(int id, const std::vector<MenuItem>& items) override;
    void set_menu_state(uint16_t code, bool checked, bool enabled) override;
    void open_menu(int index) override {
        opened_menus.push_back(index);
    }
    void open_submenu(int id) override {
        opened_submenus.push_back(id);
    }
    void popup_menu(const MenuItem& m, int x, int y) override {
        popups.push_back({x, y});
        popup_menus.push_back(m);
    }
    void send_escape_keys(int count) override {
        escape_keys += count;
    }
    void show_cursor(bool s) override {
        cursor_shown = s;
    }
    void set_cursor_shape(CursorShape s) override {
        cursor_shape = s;
    }
    void capture_mouse(bool c) override {
        captured = c;
    }
    void clip_mouse(std::optional<PixelRect> r) override {
        clip = r;
    }
    void warp_mouse(int x, int y) override {
        mouse_x = x;
        mouse_y = y;
        ++warps;
    }
    void present(const SurfaceView&, const std::vector<PixelRect>&) override {
        ++presents;
    }
    void invalidate(std::optional<PixelRect>) override {
        ++invalidations;
    }
    PixelRect client_rect() override {
        return {0, 0, client_height - 1, client_width - 1};
    }
    PixelRect window_rect() override {
        return frame;
    }
    void place_window(const PixelRect& r, bool max) override {
        frame = r;
        maximized = max;
    }
    std::vector<Monitor> monitors() override {
        return screens;
    }
    bool foreground() override {
        return is_foreground;
    }
    bool minimized() override {
        return is_minimized;
    }
    void bring_to_front() override {
        is_foreground = true;
    }
    void close() override {
        closed = true;
    }

    std::string title;
    std::vector<MenuItem> menus;
    bool menu_bar_shown = true;
    std::vector<int> opened_menus;
    std::vector<int> opened_submenus;
    std::vector<std::pair<int, int>> popups;
    std::vector<MenuItem> popup_menus; // the menus of `popups`
    int escape_keys = 0;
    bool cursor_shown = true;
    CursorShape cursor_shape = CursorShape::Arrow;
    bool captured = false;
    std::optional<PixelRect> clip;
    int mouse_x = 0, mouse_y = 0, warps = 0;
    int presents = 0, invalidations = 0;
    int client_width = 1024, client_height = 768;
    PixelRect frame{0, 0, 767 + 60, 1023 + 8};
    bool maximized = false;
    std::vector<Monitor> screens{{"Headless display", {0, 0, 1079, 1919}}};
    bool is_foreground = true, is_minimized = false;
    bool closed = false;
};

} // namespace trazel::platform
