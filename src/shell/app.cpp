// The App: every subsystem's state in one object, the platform it talks to, and the hooks that tie the
// display to the shell.
#include "shell/app.h"

#include "shell/menus.h"
#include "shell/modes.h"
#include "shell/status.h"
#include "shell/surfaces.h"
#include "shell/window_events.h"

namespace trazel {

App::App(platform::Platform* platform, platform::Window* window) : platform_(platform), window_(window) {
    if (!platform_) {
        own_platform_ = std::make_unique<platform::Headless>();
        platform_ = own_platform_.get();
    }
    if (!window_) {
        own_window_ = std::make_unique<platform::HeadlessWindow>();
        window_ = own_window_.get();
    }
    // Model and display report through the installed platform.
    platform::install(platform_);
    model::register_model_formats(formats);

    display::ViewHooks& vh = display.view.hooks;
    vh.scroll = [this](int dx, int dy) { shell::scroll_contents(*this, dx, dy); };
    vh.redraw_full = [this] { shell::redraw(*this, true, false); };
    vh.redraw_layer = [this] { shell::redraw(*this, true, true); };
    vh.crosshair_refresh = [this] {
        if (shell.services.macro_loop) {
            shell.services.crosshair_deferred = true; // drawn once when the playback loop ends
        } else if (shell.trazel_mode) {
            display::crosshair_refresh(display);
        }
    };
    vh.readout_refresh = [this] {
        shell::cursor_changed(*this);
        shell::refresh_status_bar(*this);
    };
    // TRAZEL-mode moves tell the query window at once; Windows-mode moves through the tick countdown.
    vh.query_notify = [this] {
        if (shell.edit.query_window) {
            shell.edit.query_window(*this);
        }
    };
    vh.enter_trazel_mode = [this] { shell::enter_trazel_mode(*this); };

    display::DisplayHooks& dh = display.hooks;
    dh.lock = [this](display::Display&) { return shell::lock_if_needed(*this); };
    dh.unlock = [this](display::Display&) { shell::unlock_surface(*this); };
    dh.zoom_press_timing = [this] {
        return !shell.trazel_mode && shell.button_timer != 0 && (shell.button_timer & shell::kPanFlag) == 0 &&
               shell.button_timer < shell::kQuickClickTicks;
    };

    shell.menu_bar = shell::build_menu_bar();
    shell.popup_menu = shell::build_popup_menu();
    shell::install_command_groups(*this);
}

App::~App() {
    if (&platform::P() == platform_) {
        platform::install(nullptr);
    }
}

} // namespace trazel
