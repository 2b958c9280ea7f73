// The two interaction modes: Windows mode (the system cursor and the menu bar) and TRAZEL mode (the
// full-window cross-hair moved by relative mouse motion); suspending around dialogs; lending the menu bar.
#include <algorithm>

#include "display/display.h"
#include "shell/app.h"
#include "shell/modes.h"
#include "shell/status.h"
#include "shell/window_events.h"

namespace trazel::shell {

namespace {

platform::PixelRect to_pixel_rect(const display::Rect& r) {
    return {r.top, r.left, r.bottom, r.right};
}

// The visible rectangle whose smaller side is the largest, among those big enough for the cross-hair.
bool choose_crosshair_rect(const std::vector<display::Rect>& rects, display::Rect& out) {
    int best = -1;
    for (const display::Rect& r : rects) {
        if (r.width() < kMinCrosshairWidth || r.height() < kMinCrosshairHeight) {
            continue;
        }
        int side = std::min(r.width(), r.height());
        if (side > best) {
            best = side;
            out = r;
        }
    }
    return best >= 0;
}

int middle(int a, int b) {
    return a + (b - a) / 2;
}

// TRAZEL mode off without touching the current function (dialogs come back to it).
void release_mouse(App& app) {
    Shell& s = app.shell;
    display::crosshair_off(app.display);
    s.trazel_mode = false;
    app.window().clip_mouse(std::nullopt);
    app.window().capture_mouse(false);
    display::View& v = app.display.view;
    app.window().warp_mouse(v.cursor_col, v.cursor_row);
    s.mouse_x = v.cursor_col;
    s.mouse_y = v.cursor_row;
    app.window().show_cursor(true);
}

} // namespace

void attach_menu_bar(App& app) {
    if (!app.shell.menu_bar_shown) {
        app.shell.menu_bar_shown = true;
        app.window().show_menu_bar(true);
    }
}

int enter_trazel_mode(App& app) {
    Shell& s = app.shell;
    if (s.destroyed) {
        return 0;
    }
    app.window().show_cursor(false);
    if (s.menu_bar_shown) {
        s.menu_bar_shown = false;
        app.window().show_menu_bar(false);
    }
    display::Rect r;
    if (!recompute_visible(app) || !choose_crosshair_rect(s.surface.visible, r)) {
        app.window().show_cursor(true);
        return 0;
    }
    display::View& v = app.display.view;
    display::pull_cursor_inside(v, v.area, display::kEdgeMarginX, display::kEdgeMarginY);
    s.crosshair_rect = r;
    int cx = middle(r.left, r.right), cy = middle(r.top, r.bottom);
    app.window().warp_mouse(cx, cy);
    s.mouse_x = cx;
    s.mouse_y = cy;
    s.has_mouse = true;
    app.window().clip_mouse(to_pixel_rect(r));
    app.window().capture_mouse(true);
    s.trazel_mode = true;
    refresh_status_bar(app);
    display::crosshair_on(app.display);
    return 1;
}

void leave_trazel_mode(App& app, bool attach_menu) {
    Shell& s = app.shell;
    bool was = s.trazel_mode;
    if (app.display.band != display::RubberBand::None) {
        display::crosshair_off(app.display);
        app.display.band = display::RubberBand::None;
    }
    s.slots[0].left = nullptr;
    s.slots[0].right = nullptr;
    if (!s.prompt.empty()) {
        s.prompt.clear();
        refresh_status_bar(app);
    }
    if (was) {
        release_mouse(app);
    }
    if (attach_menu) {
        attach_menu_bar(app);
    }
}

void suspend(App& app, bool on) {
    Shell& s = app.shell;
    if (on) {
        if (s.suspend_depth++ > 0) {
            return;
        }
        s.suspend_was_trazel = s.trazel_mode;
        if (s.trazel_mode) {
            release_mouse(app);
        }
        s.suspended = 1;
        display::Rect a = app.display.view.area;
        if (!a.empty()) {
            app.window().warp_mouse(middle(a.left, a.right), middle(a.top, a.bottom));
        }
        return;
    }
    if (s.suspend_depth == 0 || --s.suspend_depth > 0) {
        return;
    }
    s.suspended = 0;
    app.window().warp_mouse(s.mouse_x, s.mouse_y);
    if (s.suspend_was_trazel) {
        enter_trazel_mode(app);
        display::update_cursor_pixel(app.display.view);
        display::crosshair_refresh(app.display);
    }
    s.suspend_was_trazel = false;
}

void tool_window_pointer(App& app, bool over) {
    Shell& s = app.shell;
    if (over && s.suspended == 0) {
        s.suspended = 2;
    } else if (!over && s.suspended == 2) {
        s.suspended = 0;
    }
}

void lend_menu_bar(App& app, int how) {
    Shell& s = app.shell;
    display::View& v = app.display.view;
    if (how != 0) {
        if (s.trazel_mode) {
            // Windows-mode moves over the window shift the cursor while the menu bar is out.
            s.lent_cursor_x = v.cursor_x;
            s.lent_cursor_y = v.cursor_y;
        }
        s.lent_was_trazel = s.trazel_mode || s.lent_was_trazel;
        leave_trazel_mode(app, how > 0);
        s.popup_state = how > 0 ? 1 : -1;
        return;
    }
    s.popup_state = 0;
    if (s.lent_was_trazel) {
        s.lent_was_trazel = false;
        // Entered again meanwhile (Space, Enter): that cross-hair is the one the user placed.
        bool restore = !s.trazel_mode && (v.cursor_x != s.lent_cursor_x || v.cursor_y != s.lent_cursor_y);
        if (restore) {
            v.cursor_x = s.lent_cursor_x;
            v.cursor_y = s.lent_cursor_y;
            display::update_cursor_pixel(v);
        }
        enter_trazel_mode(app);
        if (restore && v.hooks.readout_refresh) {
            v.hooks.readout_refresh(); // the read-outs, and what hangs on the cursor follows it back
        }
    }
}

namespace {

// Moves over the window while a dialog is open reach the shell as Windows-mode moves and shift the
// cursor; what the user comes back to is the mouse and cross-hair from before the dialog.
struct Suspension {
    App& app;
    bool outer;
    int mouse_x, mouse_y;
    display::Coord cursor_x, cursor_y;

    explicit Suspension(App& a)
        : app(a), outer(a.shell.suspend_depth == 0), mouse_x(a.shell.mouse_x), mouse_y(a.shell.mouse_y),
          cursor_x(a.display.view.cursor_x), cursor_y(a.display.view.cursor_y) {
        suspend(app, true);
    }
    ~Suspension() {
        Shell& s = app.shell;
        if (outer && !s.destroyed) {
            s.mouse_x = mouse_x;
            s.mouse_y = mouse_y;
        }
        bool back_to_trazel = outer && s.suspend_was_trazel;
        suspend(app, false);
        if (back_to_trazel && s.trazel_mode) {
            display::View& v = app.display.view;
            if (v.cursor_x != cursor_x || v.cursor_y != cursor_y) {
                v.cursor_x = cursor_x;
                v.cursor_y = cursor_y;
                display::update_cursor_pixel(v);
                display::crosshair_refresh(app.display);
                refresh_status_bar(app);
            }
        }
    }
    Suspension(const Suspension&) = delete;
    Suspension& operator=(const Suspension&) = delete;
};

} // namespace

bool run_dialog(App& app, platform::Form& form) {
    Suspension held(app);
    return app.platform().dialog(form);
}

bool run_dialog_again(App& app, platform::Form& form) {
    Suspension held(app);
    return app.platform().dialog_again(form);
}

platform::Answer ask(App& app, std::string_view text, std::string_view title, platform::Buttons buttons,
                     int default_button) {
    Suspension held(app);
    return app.platform().message_box(text, title, buttons, default_button);
}

void run_suspended(App& app, const std::function<void()>& prompt) {
    Suspension held(app);
    prompt();
}

} // namespace trazel::shell
