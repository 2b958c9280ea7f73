// The mouse: motion in both modes (relative in TRAZEL mode, with the mouse kept near the middle of the
// cross-hair rectangle), the buttons with their quick clicks and holds measured in ticks, panning by
// drag, the wheel and the popup menu.
#include <algorithm>
#include <cstdlib>

#include "display/display.h"
#include "model/model.h"
#include "shell/app.h"
#include "shell/commands.h"
#include "shell/events.h"
#include "shell/heartbeat.h"
#include "shell/modes.h"
#include "shell/mouse.h"
#include "shell/status.h"
#include "shell/surfaces.h"
#include "shell/window_events.h"

namespace trazel::shell {

namespace {

// Ticks since the button timer started (it starts at 1 so that 0 can mean "not running").
uint32_t press_ticks(const Shell& s) {
    uint32_t t = s.button_timer & 0xFFFF;
    return t == 0 ? 0 : t - 1;
}

bool panning(const Shell& s) {
    return (s.button_timer & kPanFlag) != 0;
}

void start_button_timer(App& app, bool capture) {
    Shell& s = app.shell;
    s.button_timer = 1;
    s.pan_start_x = s.mouse_x;
    s.pan_start_y = s.mouse_y;
    if (capture) {
        app.window().capture_mouse(true);
        app.window().set_cursor_shape(platform::CursorShape::Hand);
    }
}

// Ends a press in Windows mode: capture released, the arrow back.
void release_press(App& app) {
    if (!app.shell.trazel_mode) {
        app.window().capture_mouse(false);
    }
    app.window().set_cursor_shape(platform::CursorShape::Arrow);
}

void end_pan(App& app) {
    Shell& s = app.shell;
    s.button_timer = 0;
    release_press(app);
    display::View& v = app.display.view;
    display::Rect clip = s.surface.visible.empty() ? v.area : s.surface.visible.front();
    display::crosshair_off(app.display);
    display::pull_cursor_inside(v, clip, kPanPullInside, kPanPullInside);
    cursor_changed(app);
    if (s.trazel_mode) {
        display::crosshair_on(app.display);
    }
    refresh_status_bar(app);
}

// Scrolls the view with the mouse; the cursor keeps its place in the Document.
void pan_by(App& app, int dx, int dy) {
    if (dx == 0 && dy == 0) {
        return;
    }
    display::View& v = app.display.view;
    v.origin_x -= dx;
    v.origin_y += dy;
    display::update_cursor_pixel(v);
    scroll_contents(app, dx, dy);
}

int first_left(App& app) {
    for (HandlerPair& p : app.shell.slots) {
        if (p.left) {
            ClickHandler h = p.left;
            return std::max(1, h(app));
        }
    }
    return 0;
}

int first_right(App& app) {
    for (HandlerPair& p : app.shell.slots) {
        if (p.right) {
            ClickHandler h = p.right;
            return std::max(1, h(app));
        }
    }
    return 0;
}

int repeat(App& app) {
    if (app.shell.repeat_command == 0) {
        return 0;
    }
    execute_command(app, app.shell.repeat_command, kSourceRepeat);
    return 1;
}

void input_seen(App& app) {
    wake(app);
    app.shell.idle_ticks = -1;
}

// Keeps the mouse inside the middle half of the cross-hair rectangle so that relative motion never runs
// out: past it, the mouse goes a quarter of the half-size to the other side of the centre.
void recentre(App& app, int x, int y) {
    Shell& s = app.shell;
    const display::Rect& r = s.crosshair_rect;
    int cx = r.left + (r.right - r.left) / 2, cy = r.top + (r.bottom - r.top) / 2;
    int hw = r.width() / 2, hh = r.height() / 2;
    int nx = x, ny = y;
    if (x > cx + hw / 2) {
        nx = cx - hw / 4;
    } else if (x < cx - hw / 2) {
        nx = cx + hw / 4;
    }
    if (y > cy + hh / 2) {
        ny = cy - hh / 4;
    } else if (y < cy - hh / 2) {
        ny = cy + hh / 4;
    }
    if (nx != x || ny != y) {
        app.window().warp_mouse(nx, ny);
        s.mouse_x = nx;
        s.mouse_y = ny;
    }
}

} // namespace

int click_left_action(App& app) {
    if (int r = first_left(app)) {
        return r;
    }
    if (repeat(app)) {
        return 1;
    }
    if (items_on_cursor(app)) {
        return std::max(1, drop_items(app));
    }
    if (app.shell.options.popup_menus && app.doc()) {
        open_popup(app);
        return 1;
    }
    lend_menu_bar(app, 1);
    return 1;
}

int click_right_action(App& app) {
    if (int r = first_right(app)) {
        return r;
    }
    if (items_on_cursor(app)) {
        return std::max(1, cancel_items(app));
    }
    if (app.shell.trazel_mode) {
        lend_menu_bar(app, 1);
        return 1;
    }
    show_message(app, 300);
    return 0;
}

void open_popup(App& app) {
    Shell& s = app.shell;
    const platform::MenuItem& all = s.popup_menu;
    bool schematic = model::IsSchematic();
    size_t which = schematic ? 0 : 1;
    if (which >= all.items.size()) {
        return;
    }
    int col = app.display.view.cursor_col, row = app.display.view.cursor_row;
    lend_menu_bar(app, -1);
    s.input_state = kSourceTwoKey;
    app.window().popup_menu(all.items[which], col, row);
}

void on_popup_closed(App& app) {
    BackgroundGuard guard(app);
    if (app.shell.popup_state == -1) {
        lend_menu_bar(app, 0);
        present_if_dirty(app);
    }
}

void on_mouse_move(App& app, int x, int y) {
    BackgroundGuard guard(app);
    Shell& s = app.shell;
    if (s.destroyed) {
        return;
    }
    if (!s.has_mouse) {
        s.has_mouse = true;
        s.mouse_x = x;
        s.mouse_y = y;
        if (s.trazel_mode) {
            return;
        }
    }
    int dx = x - s.mouse_x, dy = y - s.mouse_y;
    s.mouse_x = x;
    s.mouse_y = y;
    display::View& v = app.display.view;

    if (s.button_timer != 0 && (s.left_down || s.right_down)) {
        if (!panning(s)) {
            int tx = x - s.pan_start_x, ty = y - s.pan_start_y;
            if (std::abs(tx) >= kPanPixels || std::abs(ty) >= kPanPixels ||
                (press_ticks(s) >= kQuickClickTicks && (tx != 0 || ty != 0))) {
                s.button_timer |= kPanFlag;
                app.window().set_cursor_shape(platform::CursorShape::Hand);
                // The whole move since the press.
                dx = tx;
                dy = ty;
            }
        }
        if (panning(s)) {
            pan_by(app, dx, dy);
            if (s.trazel_mode) {
                recentre(app, x, y);
            }
            present_if_dirty(app);
            return;
        }
    }

    if (s.trazel_mode) {
        int eighths = (std::abs(dx) + std::abs(dy)) * 8;
        if (eighths < s.move_ignore || (dx == 0 && dy == 0)) {
            recentre(app, x, y);
            return;
        }
        // Pixels to units: pixels * 2^32 / scale; rows grow downwards, y upwards.
        int64_t ux = display::pixels_to_length(v, dx);
        int64_t uy = -int64_t{display::pixels_to_length(v, dy)};
        display::move_cursor_by(v, ux, uy, app.doc() != nullptr);
        recentre(app, x, y);
        present_if_dirty(app);
        return;
    }

    s.input_state = kSourceMouse;
    if (v.area.contains(y, x)) {
        if (display::set_cursor_from_pixel(v, x, y)) {
            cursor_changed(app);
        }
        refresh_status_bar(app);
        s.query_refresh = 2;
    }
    present_if_dirty(app);
}

void on_button(App& app, Button b, bool down) {
    BackgroundGuard guard(app);
    Shell& s = app.shell;
    if (s.destroyed || s.phase == 0) {
        return;
    }
    input_seen(app);
    bool left = b == Button::Left;
    if (left) {
        s.left_down = down;
    } else {
        s.right_down = down;
    }

    // The modal key handler takes clicks as Enter and Escape.
    if (s.modal_key && ((left && down) || (!left && !down))) {
        KeyHandler h = s.modal_key;
        h(app, left ? kKeyEnter : kKeyEscape);
        present_if_dirty(app);
        return;
    }

    if (left && down) {
        if (!s.trazel_mode) {
            if (function_active(app) || s.repeat_command != 0 || !s.options.zoom_with_mouse || items_on_cursor(app) ||
                s.right_down) {
                enter_trazel_mode(app);
            } else if (app.doc()) {
                start_button_timer(app, true);
            }
        } else {
            s.left_down_tick = s.tick; // past phase 0 the tick counter is at least 1
            click_left_action(app);
        }
    } else if (left) {
        if (!s.trazel_mode) {
            if (s.button_timer != 0 && panning(s)) {
                end_pan(app);
            } else if (s.button_timer != 0 && s.options.zoom_with_mouse) {
                uint32_t held = press_ticks(s);
                s.button_timer = 0;
                release_press(app);
                if (held < kQuickClickTicks) {
                    execute_command(app, code('Z', 'I'), kSourceKey);
                }
            }
        } else if (s.button_timer != 0 && panning(s)) {
            end_pan(app);
        } else if (s.left_down_tick != 0) {
            uint32_t since = s.tick - s.left_down_tick;
            s.left_down_tick = 0;
            if (since >= kHoldTicks) {
                // Press, drag and release: the release is a second point.
                if (!first_left(app) && !repeat(app)) {
                    beep(app);
                }
            }
        }
    } else if (down) {
        s.swallow_right_up = false; // a release lost to deactivation must not eat this click's
        if (s.popup_state == -1) {
            // A right press while the popup menu is open closes it (one Escape for an open submenu, one
            // for the menu) and is not a click of its own.
            app.window().send_escape_keys(2);
            on_popup_closed(app);
            s.swallow_right_up = true;
        } else if (!s.trazel_mode && s.left_down) {
            s.button_timer = 0;
            release_press(app);
            enter_trazel_mode(app);
        } else {
            start_button_timer(app, !s.trazel_mode);
        }
    } else {
        // Right button released.
        if (s.swallow_right_up) {
            s.swallow_right_up = false;
        } else if (!s.trazel_mode && !s.menu_bar_shown) {
            s.button_timer = 0;
            release_press(app);
            s.popup_state = 0;
            s.lent_was_trazel = false;
            attach_menu_bar(app);
        } else if (s.button_timer != 0 && panning(s)) {
            end_pan(app);
        } else {
            uint32_t held = s.button_timer != 0 ? press_ticks(s) : kQuickClickTicks;
            s.button_timer = 0;
            release_press(app);
            if (!first_right(app) && !(items_on_cursor(app) && cancel_items(app)) && held < kQuickClickTicks) {
                if (s.trazel_mode) {
                    lend_menu_bar(app, 1);
                } else if (!s.options.zoom_with_mouse) {
                    show_message(app, 300);
                } else {
                    execute_command(app, code('Z', 'O'), kSourceKey);
                }
            }
        }
    }
    present_if_dirty(app);
}

void on_wheel(App& app, int delta) {
    BackgroundGuard guard(app);
    Shell& s = app.shell;
    if (s.destroyed || s.phase == 0 || delta == 0) {
        return;
    }
    input_seen(app);
    execute_command(app, delta < 0 ? code('Z', 'I') : code('Z', 'O'), kSourceKey);
    present_if_dirty(app);
}

} // namespace trazel::shell
