// The main window's messages: keys, the timer, activation, size changes, paint with the visible
// rectangles and partial repaint, scrolling, close and the destroy path.
#include <algorithm>
#include <cstring>

#include "display/display.h"
#include "shell/app.h"
#include "shell/commands.h"
#include "shell/events.h"
#include "shell/heartbeat.h"
#include "shell/keys.h"
#include "shell/modes.h"
#include "shell/settings.h"
#include "shell/startup.h"
#include "shell/status.h"
#include "shell/surfaces.h"
#include "shell/window_events.h"

namespace trazel::shell {

namespace {

display::Rect status_bar_rect(const App& app) {
    const display::Rect& a = app.display.view.area;
    return {a.bottom + 1, a.left, a.bottom + kStatusBarRows, a.right};
}

display::Rect client_rect(const App& app) {
    const Surface& s = app.shell.surface;
    return {0, 0, s.height - 1, s.width - 1};
}

bool same(const display::Rect& a, const display::Rect& b) {
    return a.top == b.top && a.left == b.left && a.bottom == b.bottom && a.right == b.right;
}

bool depth_ok(int depth) {
    return depth == 8 || depth == 16 || depth == 24 || depth == 32;
}

} // namespace

bool recompute_visible(App& app) {
    Surface& s = app.shell.surface;
    s.visible.clear();
    if (!s.created || app.shell.minimized) {
        return false;
    }
    // The core's surface is the window's own: nothing covers it, so the drawing area is the one rectangle.
    const display::Rect& a = app.display.view.area;
    if (!a.empty()) {
        s.visible.push_back(a);
    }
    return !s.visible.empty();
}

int redraw(App& app, bool full, bool layer_only) {
    if (!recompute_visible(app)) {
        return 0;
    }
    app.display.rects.clear();
    int r = display::redraw(app.display, app.doc(), full, layer_only);
    if (!app.shell.sleeping && full && !app.display.interrupted) {
        app.shell.surface.stale = false;
    }
    if (app.shell.services.hooks.view_window_refresh) {
        app.shell.services.hooks.view_window_refresh(app);
    }
    return r;
}

void scroll_contents(App& app, int dx, int dy) {
    display::Display& d = app.display;
    const display::Rect a = d.view.area;
    if (a.empty() || (dx == 0 && dy == 0)) {
        return;
    }
    if (app.shell.services.macro_loop) {
        app.shell.services.view_deferred = true;
        return;
    }
    if (std::abs(dx) >= a.width() || std::abs(dy) >= a.height()) {
        redraw(app);
        return;
    }
    bool showing = d.crosshair_showing;
    display::crosshair_off(d);
    bool locked = lock_if_needed(app);
    if (d.buffer.base != nullptr) {
        size_t bpp = static_cast<size_t>(d.buffer.bytes_per_pixel());
        size_t run = static_cast<size_t>(a.width() - std::abs(dx)) * bpp;
        int src_left = dx > 0 ? a.left : a.left - dx;
        int dst_left = dx > 0 ? a.left + dx : a.left;
        auto copy_row = [&](int to, int from) {
            std::memmove(d.buffer.at(to, dst_left), d.buffer.at(from, src_left), run);
        };
        if (dy > 0) {
            for (int row = a.bottom; row >= a.top + dy; --row) {
                copy_row(row, row - dy);
            }
        } else {
            for (int row = a.top; row <= a.bottom + dy; ++row) {
                copy_row(row, row - dy);
            }
        }
        // The uncovered strips.
        std::vector<display::Rect> strips;
        if (dx > 0) {
            strips.push_back({a.top, a.left, a.bottom, a.left + dx - 1});
        } else if (dx < 0) {
            strips.push_back({a.top, a.right + dx + 1, a.bottom, a.right});
        }
        if (dy > 0) {
            strips.push_back({a.top, a.left, a.top + dy - 1, a.right});
        } else if (dy < 0) {
            strips.push_back({a.bottom + dy + 1, a.left, a.bottom, a.right});
        }
        d.rects = strips;
        display::redraw(d, app.doc(), true, false);
        d.rects.clear();
    }
    if (locked) {
        unlock_surface(app);
    }
    if (showing) {
        display::crosshair_on(d);
    }
}

void destroy_window(App& app) {
    Shell& s = app.shell;
    if (s.destroyed) {
        return;
    }
    leave_trazel_mode(app, false);
    release_surfaces(app);
    app.pixels.clear();
    app.pixels.shrink_to_fit();
    app.window().show_cursor(true);
    play_event_sound(app, "Close");
    s.destroyed = true;
    app.window().close();
}

void on_key(App& app, int scan, bool extended, bool down, bool repeat) {
    BackgroundGuard guard(app); // a routing run changes the Document between events, never during one
    Shell& s = app.shell;
    if (s.destroyed || s.phase == 0 || s.suspended != 0) {
        return;
    }
    if (down) {
        s.popup_state = 0;
        s.input_state = kSourceTwoKey;
        wake(app);
        s.idle_ticks = -1;
    }
    uint16_t key = translate_key(app, scan, extended, down, repeat);
    if (key != 0) {
        handle_key(app, key);
    }
    present_if_dirty(app);
}

void on_timer(App& app) {
    BackgroundGuard guard(app);
    if (app.shell.destroyed) {
        return;
    }
    heartbeat_tick(app);
    present_if_dirty(app);
}

void on_activate(App& app, bool active, bool minimized) {
    BackgroundGuard guard(app);
    Shell& s = app.shell;
    if (s.destroyed) {
        return;
    }
    s.foreground = active;
    s.minimized = minimized;
    if (!active) {
        if (!minimized && s.suspended == 0) {
            if (s.modal_key) {
                KeyHandler h = s.modal_key;
                h(app, kKeyEscape);
            }
            cancel_items(app);
            s.button_timer = 0;
            s.left_down = s.right_down = false;
            app.window().set_cursor_shape(platform::CursorShape::Arrow);
            app.window().capture_mouse(false); // a press in Windows mode held the mouse
            leave_trazel_mode(app, true);
        }
    } else {
        realize_palette(app);
        app.window().invalidate(std::nullopt);
    }
    present_if_dirty(app);
}

namespace {

// The parts of the drawing area `a` outside `kept`, in at most four strips.
std::vector<display::Rect> outside(const display::Rect& a, const display::Rect& kept) {
    if (kept.empty()) {
        return {a};
    }
    std::vector<display::Rect> out;
    if (kept.top > a.top) {
        out.push_back({a.top, a.left, kept.top - 1, a.right});
    }
    if (kept.bottom < a.bottom) {
        out.push_back({kept.bottom + 1, a.left, a.bottom, a.right});
    }
    if (kept.left > a.left) {
        out.push_back({kept.top, a.left, kept.bottom, kept.left - 1});
    }
    if (kept.right < a.right) {
        out.push_back({kept.top, kept.right + 1, kept.bottom, a.right});
    }
    return out;
}

// The client area's top-left moved by (dx, dy) on the screen and its size is now width x height.  The
// Document stays where it was on the screen: the view origin and the kept pixels move against the edge,
// and only the strips nothing covered before are repainted.
void place_client(App& app, int dx, int dy, int width, int height) {
    Shell& s = app.shell;
    Surface& sf = s.surface;
    if (s.destroyed || !sf.created || width <= 0 || height <= 0) {
        return;
    }
    if (width == sf.width && height == sf.height && dx == 0 && dy == 0) {
        return;
    }
    display::Display& d = app.display;
    int old_w = sf.width;
    int old_area_h = d.view.drawing_height;
    bool showing = d.crosshair_showing;
    display::crosshair_off(d);

    std::vector<uint8_t> old = std::move(app.pixels);
    int old_pitch = sf.pitch;
    int bpp = app.depth / 8;
    sf.width = width;
    sf.height = height;
    sf.pitch = (width * bpp + 7) & ~7;
    sf.band_rows = std::max(1, 65536 / sf.pitch);
    app.pixels.assign(static_cast<size_t>(sf.pitch) * static_cast<size_t>(height), 0);
    sf.sleep_copy.assign(app.pixels.size(), 0);
    display::PixelBuffer b = d.buffer;
    b.base = nullptr;
    b.pitch = sf.pitch;
    b.width = width;
    b.height = height;
    display::set_surface(d, b, kStatusBarRows);
    const display::Rect& a = d.view.area;

    // Old pixel (row, col) shows at (row - dy, col - dx) now: what of the old drawing area is still inside.
    display::Rect kept = display::intersect(a, {-dy, -dx, old_area_h - 1 - dy, old_w - 1 - dx});
    if (!kept.empty()) {
        size_t bytes = static_cast<size_t>(kept.width()) * static_cast<size_t>(bpp);
        for (int row = kept.top; row <= kept.bottom; ++row) {
            std::memcpy(app.pixels.data() + static_cast<size_t>(row) * static_cast<size_t>(sf.pitch) +
                            static_cast<size_t>(kept.left) * static_cast<size_t>(bpp),
                        old.data() + static_cast<size_t>(row + dy) * static_cast<size_t>(old_pitch) +
                            static_cast<size_t>(kept.left + dx) * static_cast<size_t>(bpp),
                        bytes);
        }
    }
    // Rows count from the bottom of the drawing area, columns from its left edge.
    d.view.origin_x += dx;
    d.view.origin_y -= d.view.drawing_height - old_area_h + dy;
    display::update_cursor_pixel(d.view);
    // The pointer stayed where it was on the screen: relative motion must not see the edge's move.
    s.mouse_x -= dx;
    s.mouse_y -= dy;

    std::vector<display::Rect> unpainted = std::move(sf.grown);
    sf.grown = outside(a, kept);
    // Strips of an earlier change that no paint has reached yet moved with the pixels around them.
    for (const display::Rect& r : unpainted) {
        display::Rect moved = display::intersect(kept, {r.top - dy, r.left - dx, r.bottom - dy, r.right - dx});
        if (!moved.empty()) {
            sf.grown.push_back(moved);
        }
    }
    sf.shifted = sf.shifted || dx != 0 || dy != 0;
    // The status bar moved with the bottom edge (and its clock with the right one): its strip is always
    // repainted, also when the window only shrank.
    sf.grown.push_back(status_bar_rect(app));
    if (s.sleeping) {
        // The sleep copy was made anew: the next paint draws the picture into it again.
        sf.stale = true;
    }
    if (showing) {
        display::crosshair_on(d);
    }
    if (s.trazel_mode) {
        // The cross-hair rectangle follows the drawing area, and the mouse is held in the new one.
        recompute_visible(app);
        if (!sf.visible.empty()) {
            s.crosshair_rect = sf.visible.front();
            app.window().clip_mouse(platform::PixelRect{s.crosshair_rect.top, s.crosshair_rect.left,
                                                        s.crosshair_rect.bottom, s.crosshair_rect.right});
        }
    }
    app.window().invalidate(std::nullopt);
}

} // namespace

void on_resize(App& app, int width, int height) {
    BackgroundGuard guard(app);
    place_client(app, 0, 0, width, height);
}

void on_window_pos(App& app, int x, int y, int width, int height) {
    BackgroundGuard guard(app);
    Shell& s = app.shell;
    Surface& sf = s.surface;
    if (s.destroyed) {
        return;
    }
    // Relative to the monitor: a switch of monitor moves the window with its screen and nothing else.
    x -= s.monitor_x;
    y -= s.monitor_y;
    int dx = sf.placed ? x - sf.screen_x : 0, dy = sf.placed ? y - sf.screen_y : 0;
    sf.placed = true;
    sf.screen_x = x;
    sf.screen_y = y;
    place_client(app, dx, dy, width, height);
}

void on_display_change(App& app, int depth) {
    BackgroundGuard guard(app);
    Shell& s = app.shell;
    if (s.destroyed || !depth_ok(depth)) {
        return; // a depth the drawing code cannot serve is ignored
    }
    app.depth = depth;
    enumerate_monitors(app);
    find_monitor_rects(app);
    platform::PixelRect w = app.window().window_rect();
    int sw = s.monitor_w1 + 1, sh = s.monitor_h1 + 1;
    bool fits = w.left >= s.monitor_x && w.top >= s.monitor_y && w.right <= s.monitor_x + s.monitor_w1 &&
                w.bottom <= s.monitor_y + s.monitor_h1;
    if (!fits) {
        // Three quarters of the screen, an eighth in from its top-left corner.
        int ww = sw * 3 / 4, wh = sh * 3 / 4;
        platform::PixelRect r{s.monitor_y + sh / 8, s.monitor_x + sw / 8, 0, 0};
        r.bottom = r.top + wh - 1;
        r.right = r.left + ww - 1;
        app.window().place_window(r, false);
    }
    s.surface.display_changed = true;
    app.window().invalidate(std::nullopt);
}

void on_paint(App& app, const std::vector<display::Rect>& update) {
    BackgroundGuard guard(app);
    Shell& s = app.shell;
    Surface& sf = s.surface;
    if (s.destroyed || s.phase == 0 || !sf.created || s.minimized) {
        return;
    }
    if (sf.display_changed) {
        update_title(app);
        create_surfaces(app);
        app.window().invalidate(std::nullopt);
        return;
    }
    if (s.sleeping && paint_wakes(app)) {
        wake(app);
    }
    if (!recompute_visible(app)) {
        return;
    }
    if (s.sleeping && sf.stale) {
        // The surface was made anew while asleep: its sleep copy is blank until the picture is drawn
        // into it.  Waking copies all of the sleep copy to the screen, so the screen is then current too.
        app.display.rects.clear();
        display::redraw(app.display, app.doc(), true, false);
        if (!app.display.interrupted) {
            sf.stale = false;
            sf.grown.clear();
        }
    }
    const display::Rect& area = app.display.view.area;
    const display::Rect bar = status_bar_rect(app);
    std::vector<display::Rect> region = update;
    bool whole = region.empty() ||
                 (region.size() == 1 && (same(region[0], area) || same(region[0], client_rect(app))));
    if (region.empty()) {
        region.push_back(client_rect(app));
    }
    std::vector<display::Rect> shown;
    if (whole && !sf.grown.empty() && !sf.stale) {
        // Only the strips a resize uncovered need drawing; the status bar always counts.
        region = sf.grown;
        region.push_back(bar);
    }

    std::vector<display::Rect> draw;
    bool bar_hit = false;
    for (const display::Rect& u : region) {
        for (const display::Rect& v : sf.visible) {
            display::Rect c = display::intersect(u, v);
            if (!c.empty()) {
                draw.push_back(c);
            }
        }
        if (!display::intersect(u, bar).empty()) {
            bar_hit = true;
        }
    }
    bool redraw_needed = sf.stale || !sf.grown.empty();
    bool stale_before = sf.stale;
    if (s.sleeping) {
        for (const display::Rect& r : draw) {
            copy_from_sleep(app, r);
        }
        if (bar_hit) {
            copy_from_sleep(app, bar);
        }
    } else if (redraw_needed && !draw.empty()) {
        app.display.rects = sf.stale ? std::vector<display::Rect>{area} : draw;
        display::redraw(app.display, app.doc(), true, false);
        app.display.rects.clear();
        if (!app.display.interrupted) {
            sf.stale = false;
        }
    } else if (redraw_needed && bar_hit) {
        refresh_status_bar(app);
    }
    bool was_stale = stale_before && !s.sleeping;
    sf.grown.clear();
    // Kept pixels that moved inside the surface are news to the front end as well as the new strips.
    bool shifted = sf.shifted;
    sf.shifted = false;
    if (was_stale || shifted) {
        present(app);
        return;
    }
    shown = draw;
    if (bar_hit) {
        shown.push_back(bar);
    }
    if (!shown.empty()) {
        present(app, shown);
    }
}

void on_close(App& app) {
    if (app.shell.destroyed) {
        return;
    }
    execute_command(app, code('F', 'X'), kSourceMouse);
    present_if_dirty(app);
}

} // namespace trazel::shell
