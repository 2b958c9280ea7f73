#pragma once
// The main window: the menu bar from the shell's lists, the Window interface the core talks to.
#include <wx/wx.h>

#include <wx/display.h>
#include <wx/evtloop.h>
#include <wx/progdlg.h>
#include <wx/sound.h>
#include <wx/timer.h>

#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "app/gui/handover.h"
#include "app/gui/held_keys.h"
#include "app/gui/launch.h"
#include "app/gui/scan_codes.h"
#include "app/gui/surface_rgb.h"
#include "platform/platform.h"
#include "platform/window.h"
#include "app/core/install.h"
#include "shell/app.h"
#include "shell/events.h"
#include "shell/heartbeat.h"
#include "shell/shell.h"
#include "app/gui/canvas.h"
#include "app/gui/context.h"

namespace trazel::gui {

class Frame : public wxFrame, public platform::Window {
  public:
    explicit Frame(Context& c) : wxFrame(nullptr, wxID_ANY, "TRAZEL", wxDefaultPosition, wxSize(1024, 768)), c_(c) {
        canvas_ = new Canvas(this, c);
        SetMinSize(wxSize(shell::kMinWindowWidth, shell::kMinWindowHeight));
        Bind(wxEVT_MENU, &Frame::on_menu, this);
        Bind(wxEVT_MENU_OPEN, &Frame::on_menu_open, this);
        Bind(wxEVT_MENU_CLOSE, [this](wxMenuEvent& e) {
            if (c_.modal > 0) {
                --c_.modal;
            }
            e.Skip();
        });
        Bind(wxEVT_MENU_HIGHLIGHT, &Frame::on_highlight, this);
        Bind(wxEVT_CLOSE_WINDOW, &Frame::on_close_window, this);
        Bind(wxEVT_ACTIVATE, [this](wxActivateEvent& e) {
            if (e.GetActive()) {
                canvas_->SetFocus(); // keys belong to the drawing area, never to the menu bar
            }
            // Our own popup menus and dialogs take the focus while they run (GTK grabs it for them); that
            // is no deactivation of the program.
            if (canvas_->ready() && (e.GetActive() || c_.modal == 0)) {
                if (!e.GetActive()) {
                    canvas_->release_held();
                }
                shell::on_activate(*c_.app, e.GetActive(), IsIconized());
            }
            e.Skip();
        });
        Bind(wxEVT_ICONIZE, [this](wxIconizeEvent& e) {
            if (canvas_->ready()) {
                shell::on_activate(*c_.app, !e.IsIconized(), e.IsIconized());
            }
            e.Skip();
        });
        Bind(wxEVT_MOVE, [this](wxMoveEvent& e) {
            canvas_->report_size(); // the drawing stays where it is on the screen
            e.Skip();
        });
        Bind(wxEVT_DISPLAY_CHANGED, [this](wxDisplayChangedEvent& e) {
            if (canvas_->ready()) {
                shell::on_display_change(*c_.app, c_.app->depth);
            }
            e.Skip();
        });
    }
    ~Frame() override {
        if (detached_bar_) {
            delete detached_bar_;
        }
    }

    Canvas* canvas() {
        return canvas_;
    }

    void set_title(std::string_view t) override {
        SetTitle(wx(t));
    }
    void set_menu_bar(const std::vector<platform::MenuItem>& menus) override {
        submenus_.clear();
        submenu_ids_.clear();
        auto* bar = new wxMenuBar;
        for (const platform::MenuItem& m : menus) {
            bar->Append(build(m.items), wx(m.label));
        }
        bool shown = detached_bar_ == nullptr;
        if (detached_bar_) {
            delete detached_bar_;
            detached_bar_ = nullptr;
        }
        if (shown) {
            SetMenuBar(bar); // the frame deletes the old bar
        } else {
            detached_bar_ = bar;
        }
        canvas_->report_size();
    }
    void show_menu_bar(bool shown) override {
        if (shown && detached_bar_) {
            SetMenuBar(detached_bar_);
            detached_bar_ = nullptr;
        } else if (!shown && GetMenuBar()) {
            detached_bar_ = GetMenuBar();
            SetMenuBar(nullptr); // detached: ours to keep until it comes back
        }
        canvas_->report_size();
    }
    void set_submenu(int id, const std::vector<platform::MenuItem>& items) override {
        auto it = submenus_.find(id);
        if (it == submenus_.end()) {
            return;
        }
        wxMenu* m = it->second;
        while (m->GetMenuItemCount() > 0) {
            m->Destroy(m->FindItemByPosition(0));
        }
        for (const platform::MenuItem& i : items) {
            append(m, i);
        }
    }
    void set_menu_state(uint16_t code, bool checked, bool enabled) override {
        wxMenuBar* bar = GetMenuBar() ? GetMenuBar() : detached_bar_;
        if (!bar) {
            return;
        }
        if (wxMenuItem* i = bar->FindItem(code)) {
            if (i->IsCheckable()) {
                i->Check(checked);
            }
            i->Enable(enabled);
        }
    }
    void open_menu(int index) override {
        // A menu bar menu cannot be opened programmatically under GTK; it shows as a popup under its title.
        wxMenuBar* bar = GetMenuBar();
        if (!bar || index < 0 || index >= static_cast<int>(bar->GetMenuCount())) {
            return;
        }
        run_popup(bar->GetMenu(static_cast<size_t>(index)), 8 + 60 * index, 0, false);
    }
    void open_submenu(int id) override {
        // A submenu of the menu bar cannot be shown on its own: a copy made from the shell's menu data is.
        std::function<const platform::MenuItem*(const std::vector<platform::MenuItem>&)> find =
            [&](const std::vector<platform::MenuItem>& items) -> const platform::MenuItem* {
            for (const platform::MenuItem& i : items) {
                if (i.id == id) {
                    return &i;
                }
                if (const platform::MenuItem* f = find(i.items)) {
                    return f;
                }
            }
            return nullptr;
        };
        const auto& bar = c_.app->shell.menu_bar;
        for (size_t top = 0; top < bar.size(); ++top) {
            if (const platform::MenuItem* sub = find(bar[top].items)) {
                std::unique_ptr<wxMenu> m(build(sub->items));
                run_popup(m.get(), 8 + 60 * static_cast<int>(top), 0, false);
                return;
            }
        }
    }
    void popup_menu(const platform::MenuItem& menu, int x, int y) override {
        std::unique_ptr<wxMenu> m(build(menu.items));
        run_popup(m.get(), x, y, true);
    }
    void send_escape_keys(int) override {
        // GTK's popup menu is modal and closes itself on a click outside it, so no press reaches the
        // shell while one is open.
    }
    void show_cursor(bool shown) override {
        canvas_->show_pointer(shown);
    }
    void set_cursor_shape(platform::CursorShape s) override {
        canvas_->set_shape(s);
    }
    void capture_mouse(bool on) override {
        canvas_->capture(on);
    }
    void clip_mouse(std::optional<platform::PixelRect>) override {
        // No pointer confinement on this platform: capture plus warping to the centre keeps relative motion.
    }
    void warp_mouse(int x, int y) override {
        canvas_->WarpPointer(x, y);
    }
    void present(const platform::SurfaceView& s, const std::vector<platform::PixelRect>& rects) override {
        canvas_->present(s, rects);
    }
    void invalidate(std::optional<platform::PixelRect> r) override {
        if (r) {
            canvas_->invalidate(wxRect(r->left, r->top, r->right - r->left + 1, r->bottom - r->top + 1));
        } else {
            canvas_->invalidate(std::nullopt);
        }
    }
    platform::PixelRect client_rect() override {
        wxSize s = canvas_->GetClientSize();
        return {0, 0, s.y - 1, s.x - 1};
    }
    platform::PixelRect window_rect() override {
        wxRect r = GetScreenRect();
        return {r.y, r.x, r.y + r.height - 1, r.x + r.width - 1};
    }
    void place_window(const platform::PixelRect& r, bool maximized) override {
        if (r.right > r.left && r.bottom > r.top) {
            SetSize(r.left, r.top, r.right - r.left + 1, r.bottom - r.top + 1);
        }
        if (maximized) {
            Maximize(true);
        }
    }
    std::vector<platform::Monitor> monitors() override {
        std::vector<platform::Monitor> out;
        for (unsigned i = 0; i < wxDisplay::GetCount(); ++i) {
            wxDisplay d(i);
            wxRect g = d.GetGeometry();
            std::string name = utf8(d.GetName());
            if (name.empty()) {
                name = "Display " + std::to_string(i + 1);
            }
            name.resize(std::min<size_t>(name.size(), 32));
            platform::Monitor m{name, {g.y, g.x, g.y + g.height - 1, g.x + g.width - 1}};
            if (d.IsPrimary()) {
                out.insert(out.begin(), m);
            } else {
                out.push_back(m);
            }
        }
        return out;
    }
    bool foreground() override {
        return IsActive();
    }
    bool minimized() override {
        return IsIconized();
    }
    void bring_to_front() override {
        if (IsIconized()) {
            Iconize(false);
        }
        Raise();
    }
    void close() override {
        c_.closing = true;
        Destroy();
    }

  private:
    wxMenu* build(const std::vector<platform::MenuItem>& items) {
        auto* m = new wxMenu;
        for (const platform::MenuItem& i : items) {
            append(m, i);
        }
        return m;
    }
    void append(wxMenu* m, const platform::MenuItem& i) {
        if (!i.items.empty() || i.id != 0) {
            wxMenu* sub = build(i.items);
            if (i.id != 0) {
                submenus_[i.id] = sub;
            }
            m->AppendSubMenu(sub, wx(i.label));
        } else if (i.code == 0 && i.label.empty()) {
            m->AppendSeparator();
        } else {
            wxMenuItem* w =
                m->Append(i.code, wx(i.label), wxEmptyString, i.checked || i.checkable ? wxITEM_CHECK : wxITEM_NORMAL);
            if (i.checked) {
                w->Check(true);
            }
            w->Enable(i.enabled);
        }
    }
    void run_popup(wxMenu* m, int x, int y, bool popup) {
        canvas_->suspend_pointer();
        ++c_.modal;
        if (popup && trace()) {
            std::fprintf(stderr, "trace: popup at %d,%d\n", x, y);
        }
        canvas_->PopupMenu(m, x, y);
        if (c_.modal > 0) {
            --c_.modal;
        }
        canvas_->resume_pointer();
        if (popup) {
            // The chosen command has been handled inside PopupMenu; without one the cross-hair comes back.
            shell::on_popup_closed(*c_.app);
            if (trace()) {
                std::fprintf(stderr, "trace: popup closed, TRAZEL mode %d\n", c_.app->shell.trazel_mode ? 1 : 0);
            }
        }
    }
    void on_menu(wxCommandEvent& e) {
        if (canvas_->ready() && e.GetId() > 0 && e.GetId() < 0x10000) {
            shell::on_menu_command(*c_.app, static_cast<uint16_t>(e.GetId()));
        }
    }
    void on_menu_open(wxMenuEvent& e) {
        if (canvas_->ready()) {
            wxMenuBar* bar = GetMenuBar();
            int index = -1;
            if (bar && e.GetMenu()) {
                for (size_t k = 0; k < bar->GetMenuCount(); ++k) {
                    if (bar->GetMenu(k) == e.GetMenu()) {
                        index = static_cast<int>(k);
                    }
                }
            }
            if (index >= 0) {
                shell::on_menu_open(*c_.app, index);
                // GTK reports an opened menu title rather than highlighting it: its group hint shows now.
                shell::on_menu_highlight(*c_.app, 0, index);
            }
        }
        e.Skip();
    }
    void on_highlight(wxMenuEvent& e) {
        if (canvas_->ready() && e.GetMenuId() > 0 && e.GetMenuId() < 0x10000) {
            shell::on_menu_highlight(*c_.app, static_cast<uint16_t>(e.GetMenuId()), -1);
        }
    }
    void on_close_window(wxCloseEvent& e) {
        if (canvas_->ready()) {
            shell::on_close(*c_.app); // the exit command: it closes the window when the user agrees
            if (!c_.closing && e.CanVeto()) {
                e.Veto();
                return;
            }
        }
        if (!c_.closing) {
            c_.closing = true;
            Destroy();
        }
    }

    Context& c_;
    Canvas* canvas_ = nullptr;
    wxMenuBar* detached_bar_ = nullptr;
    std::map<int, wxMenu*> submenus_;
    std::map<int, int> submenu_ids_;
};

} // namespace trazel::gui
