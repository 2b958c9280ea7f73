// The screen surface: pixel storage for the client area at the chosen depth, its lock, the sleep copy,
// presentation to the window (the palette at 8 bits, the channel layout at 16), and the monitor table.
#include <algorithm>
#include <cstring>

#include "display/display.h"
#include "platform/form_builder.h"
#include "shell/app.h"
#include "shell/commands.h"
#include "shell/menus.h"
#include "shell/modes.h"
#include "shell/surfaces.h"

namespace trazel::shell {

namespace {

constexpr const char* kNoScreenTitle = "No Direct Draw screen.";
constexpr size_t kMaxDescription = 32;

platform::PixelRect to_pixel_rect(const display::Rect& r) {
    return {r.top, r.left, r.bottom, r.right};
}

bool depth_ok(int depth) {
    return depth == 8 || depth == 16 || depth == 24 || depth == 32;
}

} // namespace

bool create_surfaces(App& app) {
    Surface& s = app.shell.surface;
    release_surfaces(app);
    if (!depth_ok(app.depth)) {
        return false;
    }
    platform::PixelRect c = app.window().client_rect();
    s.width = std::max(1, c.right - c.left + 1);
    s.height = std::max(1, c.bottom - c.top + 1);
    s.depth = app.depth;
    int bpp = app.depth / 8;
    s.pitch = (s.width * bpp + 7) & ~7;
    s.band_rows = std::max(1, 65536 / s.pitch);
    app.pixels.assign(static_cast<size_t>(s.pitch) * static_cast<size_t>(s.height), 0);
    s.sleep_copy.assign(app.pixels.size(), 0);

    display::PixelFormat f = display::format_for_depth(app.depth);
    int m = app.shell.monitor;
    if (m >= 0 && m < static_cast<int>(app.shell.monitors.size())) {
        f.palette_layout = app.shell.monitors[static_cast<size_t>(m)].palette_layout;
    }
    display::set_pixel_format(app.display, f, &app.model);
    display::PixelBuffer b;
    b.base = nullptr; // reached through the lock only
    b.pitch = s.pitch;
    b.depth = app.depth;
    b.width = s.width;
    b.height = s.height;
    display::set_surface(app.display, b, kStatusBarRows);
    display::update_cursor_pixel(app.display.view);
    s.created = true;
    s.display_changed = false;
    s.stale = true;
    s.grown.clear();
    s.lock_state = 0;
    // The cross-hair was in the old pixels.
    app.display.crosshair_showing = false;
    realize_palette(app);
    return true;
}

void release_surfaces(App& app) {
    Surface& s = app.shell.surface;
    if (s.lock_state != 0) {
        unlock_surface(app);
    }
    s.created = false;
    s.sleep_copy.clear();
    s.sleep_copy.shrink_to_fit();
    app.display.buffer.base = nullptr;
}

bool lock_surface(App& app, int target) {
    Surface& s = app.shell.surface;
    if (!s.created && !create_surfaces(app)) {
        app.window().set_title(kNoScreenTitle);
        return false;
    }
    if (s.display_changed) {
        return false; // the next paint re-creates the surface; until then nothing is drawn
    }
    std::vector<uint8_t>& store = target == 2 ? s.sleep_copy : app.pixels;
    if (store.size() < static_cast<size_t>(s.pitch) * static_cast<size_t>(s.height)) {
        return false;
    }
    app.display.buffer.base = store.data();
    s.lock_state = target;
    return true;
}

bool lock_if_needed(App& app) {
    if (app.shell.surface.lock_state != 0) {
        return false;
    }
    return lock_surface(app, app.shell.sleeping ? 2 : 1);
}

void unlock_surface(App& app) {
    Surface& s = app.shell.surface;
    if (s.lock_state == 1) {
        s.dirty = true;
    }
    s.lock_state = 0;
    app.display.buffer.base = nullptr;
}

platform::SurfaceView surface_view(const App& app) {
    const Surface& s = app.shell.surface;
    platform::SurfaceView v;
    v.base = app.pixels.empty() ? nullptr : app.pixels.data();
    v.pitch = s.pitch;
    v.depth = s.depth;
    v.width = s.width;
    v.height = s.height;
    if (s.depth == 8) {
        v.palette = s.palette;
    }
    const display::PixelFormat& f = app.display.format;
    v.red_shift = f.red_shift;
    v.green_shift = f.green_shift;
    v.blue_shift = f.blue_shift;
    v.red_bits = 8 - f.red_drop;
    v.green_bits = 8 - f.green_drop;
    v.blue_bits = 8 - f.blue_drop;
    return v;
}

void present(App& app, const std::vector<display::Rect>& rects) {
    Surface& s = app.shell.surface;
    if (!s.created || app.shell.destroyed) {
        return;
    }
    std::vector<platform::PixelRect> out;
    out.reserve(rects.size());
    for (const display::Rect& r : rects) {
        if (!r.empty()) {
            out.push_back(to_pixel_rect(r));
        }
    }
    if (!rects.empty() && out.empty()) {
        return;
    }
    app.window().present(surface_view(app), out);
    s.dirty = false;
}

void present_if_dirty(App& app) {
    if (app.shell.surface.dirty) {
        present(app);
    }
}

void realize_palette(App& app) {
    Surface& s = app.shell.surface;
    if (s.depth != 8) {
        return;
    }
    std::copy(app.display.palette.begin(), app.display.palette.end(), s.palette);
    s.dirty = true;
}

void copy_from_sleep(App& app, const display::Rect& r) {
    Surface& s = app.shell.surface;
    if (!s.created || s.sleep_copy.size() != app.pixels.size()) {
        return;
    }
    int top = std::max(0, r.top), bottom = std::min(s.height - 1, r.bottom);
    int left = std::max(0, r.left), right = std::min(s.width - 1, r.right);
    if (bottom < top || right < left) {
        return;
    }
    size_t bpp = static_cast<size_t>(s.depth / 8);
    size_t bytes = static_cast<size_t>(right - left + 1) * bpp;
    for (int row = top; row <= bottom; ++row) {
        size_t at = static_cast<size_t>(row) * static_cast<size_t>(s.pitch) + static_cast<size_t>(left) * bpp;
        std::memcpy(app.pixels.data() + at, s.sleep_copy.data() + at, bytes);
    }
    s.dirty = true;
}

// --- Monitors -------------------------------------------------------------------------------------

void enumerate_monitors(App& app) {
    Shell& sh = app.shell;
    sh.monitors.clear();
    for (const platform::Monitor& m : app.window().monitors()) {
        if (static_cast<int>(sh.monitors.size()) == kMaxMonitors) {
            break;
        }
        MonitorEntry e;
        e.description = m.description.substr(0, kMaxDescription);
        e.rect = m.rect;
        sh.monitors.push_back(e);
    }
    if (sh.monitors.empty()) {
        // A platform that names no screen: the window's own frame stands for one.
        MonitorEntry e;
        e.description = "Display";
        platform::PixelRect w = app.window().window_rect();
        e.rect = {0, 0, std::max(w.bottom, 199), std::max(w.right, 299)};
        sh.monitors.push_back(e);
    }
    sh.monitor_count = static_cast<int>(sh.monitors.size());
    if (sh.monitor >= sh.monitor_count) {
        sh.monitor = 0;
    }

    std::vector<platform::MenuItem> items;
    for (int i = 0; i < sh.monitor_count; ++i) {
        platform::MenuItem it;
        it.code = static_cast<uint16_t>(kMonitorDialog + i);
        it.label = i == 0 ? "&Screen Parameters" : "Screen &" + std::to_string(i);
        it.checked = i == sh.monitor;
        it.checkable = true;
        items.push_back(it);
    }
    // Keep the menu data in step with the window's menu.
    std::function<bool(std::vector<platform::MenuItem>&)> put = [&](std::vector<platform::MenuItem>& list) {
        for (auto& m : list) {
            if (m.id == kMonitorMenuId) {
                m.items = items;
                return true;
            }
            if (put(m.items)) {
                return true;
            }
        }
        return false;
    };
    put(sh.menu_bar);
    app.window().set_submenu(kMonitorMenuId, items);
}

void find_monitor_rects(App& app) {
    Shell& sh = app.shell;
    if (sh.monitors.empty()) {
        enumerate_monitors(app);
    }
    platform::PixelRect vs = sh.monitors[0].rect;
    for (const MonitorEntry& m : sh.monitors) {
        vs.top = std::min(vs.top, m.rect.top);
        vs.left = std::min(vs.left, m.rect.left);
        vs.bottom = std::max(vs.bottom, m.rect.bottom);
        vs.right = std::max(vs.right, m.rect.right);
    }
    sh.virtual_screen = vs;
    // The monitor that holds the middle of the main window.
    platform::PixelRect w = app.window().window_rect();
    int cx = (w.left + w.right) / 2, cy = (w.top + w.bottom) / 2;
    for (int i = 0; i < sh.monitor_count; ++i) {
        const platform::PixelRect& r = sh.monitors[static_cast<size_t>(i)].rect;
        if (cx >= r.left && cx <= r.right && cy >= r.top && cy <= r.bottom) {
            sh.monitor = i;
            break;
        }
    }
    const platform::PixelRect& r = sh.monitors[static_cast<size_t>(sh.monitor)].rect;
    sh.monitor_x = r.left;
    sh.monitor_y = r.top;
    sh.monitor_w1 = r.right - r.left;
    sh.monitor_h1 = r.bottom - r.top;
    for (int i = 0; i < sh.monitor_count; ++i) {
        set_menu_item_state(app, static_cast<uint16_t>(kMonitorDialog + i), i == sh.monitor, true);
    }
}

int switch_monitor(App& app, int index) {
    Shell& sh = app.shell;
    if (index < 0 || index >= sh.monitor_count) {
        error_sound(app);
        return 0;
    }
    leave_trazel_mode(app, true);
    // The tool windows were placed on the old screen.
    if (sh.services.hooks.close_tool_windows) {
        sh.services.hooks.close_tool_windows(app);
    }
    const platform::PixelRect old = sh.monitors[static_cast<size_t>(sh.monitor)].rect;
    const platform::PixelRect now = sh.monitors[static_cast<size_t>(index)].rect;
    platform::PixelRect w = app.window().window_rect();
    bool was_max = sh.window_maximized;
    // Un-maximized first, so that the move keeps the restored size.
    app.window().place_window(w, false);
    release_surfaces(app);
    sh.monitor = index;
    sh.monitor_x = now.left;
    sh.monitor_y = now.top;
    sh.monitor_w1 = now.right - now.left;
    sh.monitor_h1 = now.bottom - now.top;
    platform::PixelRect moved = w;
    moved.left += now.left - old.left;
    moved.right += now.left - old.left;
    moved.top += now.top - old.top;
    moved.bottom += now.top - old.top;
    app.window().place_window(moved, was_max);
    create_surfaces(app);
    for (int i = 0; i < sh.monitor_count; ++i) {
        set_menu_item_state(app, static_cast<uint16_t>(kMonitorDialog + i), i == index, true);
    }
    app.window().invalidate(std::nullopt);
    return 1;
}

int monitor_dialog(App& app) {
    Shell& sh = app.shell;
    std::vector<std::string> screens;
    for (int i = 0; i < sh.monitor_count; ++i) {
        const MonitorEntry& m = sh.monitors[static_cast<size_t>(i)];
        screens.push_back(std::to_string(i) + ": " + m.description + "  (" +
                          std::to_string(m.rect.right - m.rect.left + 1) + " x " +
                          std::to_string(m.rect.bottom - m.rect.top + 1) + " at " + std::to_string(m.rect.left) + ", " +
                          std::to_string(m.rect.top) + ")");
    }
    platform::Form f = platform::FormBuilder("MultiMonitorScreenBox", "Screen Parameters")
                           .choice("monitor", "Screen used by TRAZEL", screens, sh.monitor)
                           .label("depth", "Colour depth: " + std::to_string(app.depth) + " bits per pixel")
                           .build();
    if (!run_dialog(app, f)) {
        return 0;
    }
    std::string v = f.get("monitor");
    int index = -1;
    if (!v.empty() && std::all_of(v.begin(), v.end(), [](char c) { return c >= '0' && c <= '9'; }) && v.size() < 3) {
        index = std::stoi(v);
    }
    if (index < 0 || index >= sh.monitor_count) {
        error_sound(app);
        return 0;
    }
    if (index == sh.monitor) {
        return 0;
    }
    return switch_monitor(app, index);
}

} // namespace trazel::shell
