// The desktop program: one wx frame whose client area shows the core's pixel buffer, a menu bar built
// from the shell's menu lists, and the platform services (message boxes, dialogs from forms, file
// dialogs, sounds, progress).  Raw input goes to the shell's event entry points as PC scan codes and
// client pixels; the 55 ms timer drives the heartbeat.  No wx type reaches the core.
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
#include "shell/app.h"
#include "shell/events.h"
#include "shell/heartbeat.h"
#include "shell/shell.h"

namespace trazel::gui {

namespace {

wxString wx(std::string_view s) {
    return wxString::FromUTF8(s.data(), s.size());
}
std::string utf8(const wxString& s) {
    return std::string(s.utf8_str());
}

// TRAZEL_TRACE=1 prints input and size events on stderr (the desktop smoke tests read them).
bool trace() {
    static const bool on = std::getenv("TRAZEL_TRACE") != nullptr;
    return on;
}

// Submenus that the shell refills at run time get wx ids above every command code.
constexpr int kFirstSubmenuId = 0x7000;

class Canvas;

struct Context {
    std::unique_ptr<App> app;
    bool started = false;
    bool closing = false;
    int modal = 0; // message boxes, dialogs and menus running their own loops
};

// Keeps the pointer free while a modal window needs it.
class ModalScope;

class Canvas : public wxWindow {
  public:
    Canvas(wxWindow* parent, Context& c)
        : wxWindow(parent, wxID_ANY, wxDefaultPosition, wxDefaultSize, wxWANTS_CHARS | wxFULL_REPAINT_ON_RESIZE),
          c_(c) {
        SetBackgroundStyle(wxBG_STYLE_PAINT);
        Bind(wxEVT_PAINT, &Canvas::on_paint, this);
        Bind(wxEVT_SIZE, &Canvas::on_size, this);
        Bind(wxEVT_KEY_DOWN, [this](wxKeyEvent& e) { key(e, true); });
        Bind(wxEVT_KEY_UP, [this](wxKeyEvent& e) { key(e, false); });
        Bind(wxEVT_MOTION, &Canvas::on_motion, this);
        Bind(wxEVT_LEFT_DOWN, [this](wxMouseEvent&) { button(shell::Button::Left, true); });
        Bind(wxEVT_LEFT_UP, [this](wxMouseEvent&) { button(shell::Button::Left, false); });
        Bind(wxEVT_LEFT_DCLICK, [this](wxMouseEvent&) { button(shell::Button::Left, true); });
        Bind(wxEVT_RIGHT_DOWN, [this](wxMouseEvent&) { button(shell::Button::Right, true); });
        Bind(wxEVT_RIGHT_UP, [this](wxMouseEvent&) { button(shell::Button::Right, false); });
        Bind(wxEVT_RIGHT_DCLICK, [this](wxMouseEvent&) { button(shell::Button::Right, true); });
        Bind(wxEVT_MOUSEWHEEL, [this](wxMouseEvent& e) {
            if (ready() && !discarding_) {
                shell::on_wheel(*c_.app, e.GetWheelRotation());
            }
        });
        Bind(wxEVT_MOUSE_CAPTURE_LOST, [this](wxMouseCaptureLostEvent&) { captured_ = false; });
        Bind(wxEVT_KILL_FOCUS, [this](wxFocusEvent& e) {
            release_held();
            e.Skip();
        });
    }

    bool ready() const {
        return c_.started && !c_.closing && c_.app;
    }

    // Converts the listed rectangles into the backing bitmap and asks for them to be painted.
    void present(const platform::SurfaceView& s, const std::vector<platform::PixelRect>& rects) {
        if (s.base == nullptr || s.width <= 0 || s.height <= 0) {
            return;
        }
        if (!image_.IsOk() || image_.GetWidth() != s.width || image_.GetHeight() != s.height) {
            image_.Create(s.width, s.height, false);
            backing_ = wxBitmap(s.width, s.height, 24);
        }
        std::vector<platform::PixelRect> list = rects;
        if (list.empty()) {
            list.push_back({0, 0, s.height - 1, s.width - 1});
        }
        wxMemoryDC dc(backing_);
        for (const platform::PixelRect& r0 : list) {
            platform::PixelRect r = clip_to_surface(s, r0);
            if (r.bottom < r.top || r.right < r.left) {
                continue;
            }
            unsigned char* rgb = image_.GetData() + (static_cast<size_t>(r.top) * s.width + r.left) * 3;
            surface_to_rgb(s, r, rgb, static_cast<size_t>(s.width) * 3);
            wxRect wr(r.left, r.top, r.right - r.left + 1, r.bottom - r.top + 1);
            dc.DrawBitmap(wxBitmap(image_.GetSubImage(wr)), wr.x, wr.y);
            RefreshRect(wr, false);
        }
    }

    void show_pointer(bool shown) {
        pointer_shown_ = shown;
        apply_cursor();
    }
    void set_shape(platform::CursorShape s) {
        shape_ = s;
        apply_cursor();
    }
    void capture(bool on) {
        if (on && !HasCapture()) {
            CaptureMouse();
        } else if (!on && HasCapture()) {
            ReleaseMouse();
        }
        captured_ = on;
    }
    void report_size() {
        if (!ready()) {
            return;
        }
        wxSize sz = GetClientSize();
        if (sz.x > 0 && sz.y > 0 && (sz.x != reported_.x || sz.y != reported_.y)) {
            reported_ = sz;
            if (trace()) {
                std::fprintf(stderr, "trace: client %dx%d\n", sz.x, sz.y);
            }
            shell::on_resize(*c_.app, sz.x, sz.y);
        }
    }
    void release_held() {
        if (!ready()) {
            held_.clear();
            return;
        }
        std::set<uint32_t> held;
        held.swap(held_);
        for (uint32_t k : held) {
            ScanCode sc = scan_from_x_keycode(k);
            if (sc.scan) {
                shell::on_key(*c_.app, sc.scan, sc.extended, false, false);
            }
        }
    }
    // Releases the pointer for a modal window; `resume` takes it back as the shell had it.
    void suspend_pointer() {
        if (HasCapture()) {
            ReleaseMouse();
        }
        SetCursor(wxNullCursor);
    }
    void resume_pointer() {
        if (captured_ && !HasCapture()) {
            CaptureMouse();
        }
        apply_cursor();
    }

    // Hands the waiting input events out now, dropping the key presses among them.
    void discard_keys() {
        wxEventLoopBase* loop = wxEventLoopBase::GetActive();
        if (loop == nullptr || discarding_) {
            return;
        }
        discarding_ = true;
        loop->YieldFor(wxEVT_CATEGORY_USER_INPUT);
        discarding_ = false;
    }

  private:
    void apply_cursor() {
        if (!pointer_shown_) {
            SetCursor(wxCursor(wxCURSOR_BLANK));
        } else {
            SetCursor(wxCursor(shape_ == platform::CursorShape::Hand ? wxCURSOR_HAND : wxCURSOR_ARROW));
        }
    }

    void on_paint(wxPaintEvent&) {
        wxPaintDC dc(this);
        if (!backing_.IsOk()) {
            dc.SetBackground(*wxBLACK_BRUSH);
            dc.Clear();
            return;
        }
        wxMemoryDC src(backing_);
        for (wxRegionIterator it(GetUpdateRegion()); it; ++it) {
            wxRect r = it.GetRect();
            dc.Blit(r.x, r.y, r.width, r.height, &src, r.x, r.y);
        }
    }

    void on_size(wxSizeEvent& e) {
        report_size();
        e.Skip();
    }

    void key(wxKeyEvent& e, bool down) {
        if (!ready() || (down && discarding_)) {
            return;
        }
        uint32_t raw = e.GetRawKeyFlags();
        if (trace()) {
            std::fprintf(stderr, "trace: key %u %s\n", raw, down ? "down" : "up");
        }
        ScanCode sc = scan_from_x_keycode(raw);
        if (sc.scan == 0) {
            e.Skip();
            return;
        }
        bool repeat = false;
        if (down) {
            repeat = !held_.insert(raw).second;
        } else {
            held_.erase(raw);
        }
        shell::on_key(*c_.app, sc.scan, sc.extended, down, repeat);
    }

    void on_motion(wxMouseEvent& e) {
        if (ready()) {
            shell::on_mouse_move(*c_.app, e.GetX(), e.GetY());
        }
    }

    void button(shell::Button b, bool down) {
        // Releases still count while waiting input is thrown away, so no button stays down for the shell.
        if (!ready() || (down && discarding_)) {
            return;
        }
        if (down) {
            SetFocus();
        }
        shell::on_button(*c_.app, b, down);
    }

    Context& c_;
    bool discarding_ = false;
    wxImage image_;
    wxBitmap backing_;
    std::set<uint32_t> held_; // X keycodes down, to tell auto-repeat from a new press
    bool pointer_shown_ = true;
    bool captured_ = false;
    platform::CursorShape shape_ = platform::CursorShape::Arrow;
    wxSize reported_{-1, -1};
};

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
            canvas_->RefreshRect(wxRect(r->left, r->top, r->right - r->left + 1, r->bottom - r->top + 1), false);
        } else {
            canvas_->Refresh(false);
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

class WxPlatform : public platform::Platform {
  public:
    explicit WxPlatform(Context& c) : c_(c) {
    }
    void attach(Frame* f) {
        frame_ = f;
    }

    platform::Answer message_box(std::string_view text, std::string_view title, platform::Buttons buttons,
                                 int default_button) override {
        using platform::Answer;
        using platform::Buttons;
        long style = 0;
        switch (buttons) {
        case Buttons::Ok: style = wxOK; break;
        case Buttons::OkCancel: style = wxOK | wxCANCEL; break;
        case Buttons::YesNo: style = wxYES_NO; break;
        case Buttons::YesNoCancel: style = wxYES_NO | wxCANCEL; break;
        case Buttons::AbortRetryIgnore: style = wxYES_NO | wxCANCEL; break;
        case Buttons::RetryCancel: style = wxOK | wxCANCEL; break;
        }
        if (default_button == 1) {
            style |= wxNO_DEFAULT;
        }
        Modal m(*this);
        wxMessageDialog d(frame_, wx(text), wx(title), style);
        if (buttons == Buttons::AbortRetryIgnore) {
            d.SetYesNoCancelLabels("&Abort", "&Retry", "&Ignore");
        } else if (buttons == Buttons::RetryCancel) {
            d.SetOKCancelLabels("&Retry", "Cancel");
        }
        int r = d.ShowModal();
        if (trace()) {
            std::fprintf(stderr, "trace: box \"%.*s\" closed with %s\n", static_cast<int>(title.size()), title.data(),
                         r == wxID_CANCEL ? "cancel" : "a button");
        }
        switch (buttons) {
        case Buttons::AbortRetryIgnore:
            return r == wxID_YES ? Answer::Abort : r == wxID_NO ? Answer::Retry : Answer::Ignore;
        case Buttons::RetryCancel:
            return r == wxID_OK ? Answer::Retry : Answer::Cancel;
        default:
            return r == wxID_YES ? Answer::Yes : r == wxID_NO ? Answer::No : r == wxID_OK ? Answer::Ok : Answer::Cancel;
        }
    }

    bool dialog(platform::Form& form) override {
        Modal m(*this);
        wxDialog d(frame_, wxID_ANY, wx(form.title.empty() ? form.name : form.title));
        auto* top = new wxBoxSizer(wxVERTICAL);
        auto* grid = new wxFlexGridSizer(2, 6, 10);
        grid->AddGrowableCol(1, 1);
        std::vector<std::function<void()>> readers;
        for (platform::Field& f : form.fields) {
            using K = platform::Field::Kind;
            if (f.kind == K::Label) {
                grid->Add(new wxStaticText(&d, wxID_ANY, wx(f.label.empty() ? f.value : f.label)));
                grid->AddSpacer(1);
                continue;
            }
            grid->Add(new wxStaticText(&d, wxID_ANY, wx(f.label)), 0, wxALIGN_CENTER_VERTICAL);
            platform::Field* fp = &f;
            switch (f.kind) {
            case K::Check: {
                auto* w = new wxCheckBox(&d, wxID_ANY, wxEmptyString);
                w->SetValue(f.value == "1");
                grid->Add(w);
                readers.push_back([w, fp] { fp->value = w->GetValue() ? "1" : "0"; });
                break;
            }
            case K::Choice:
            case K::List: {
                wxArrayString opts;
                for (const std::string& o : f.options) {
                    opts.Add(wx(o));
                }
                wxControlWithItems* w = f.kind == K::Choice
                                            ? static_cast<wxControlWithItems*>(new wxChoice(&d, wxID_ANY, wxDefaultPosition,
                                                                                            wxDefaultSize, opts))
                                            : new wxListBox(&d, wxID_ANY, wxDefaultPosition, wxSize(260, 140), opts);
                int sel = std::atoi(f.value.c_str());
                if (sel >= 0 && sel < static_cast<int>(opts.size())) {
                    w->SetSelection(sel);
                }
                grid->Add(w, 1, wxEXPAND);
                readers.push_back([w, fp] { fp->value = std::to_string(std::max(0, w->GetSelection())); });
                break;
            }
            default: {
                auto* w = new wxTextCtrl(&d, wxID_ANY, wx(f.value), wxDefaultPosition, wxSize(260, -1));
                grid->Add(w, 1, wxEXPAND);
                readers.push_back([w, fp] { fp->value = utf8(w->GetValue()); });
                break;
            }
            }
        }
        top->Add(grid, 1, wxALL | wxEXPAND, 12);
        top->Add(d.CreateStdDialogButtonSizer(wxOK | wxCANCEL), 0, wxALL | wxEXPAND, 8);
        d.SetSizerAndFit(top);
        d.CentreOnParent();
        if (d.ShowModal() != wxID_OK) {
            return false;
        }
        for (auto& r : readers) {
            r();
        }
        return true;
    }

    void play(platform::Sound s) override {
        // The shell chooses between the wave sound and the timed tone sequence.
        if (c_.app && c_.started) {
            shell::play_cue(*c_.app, s);
        } else if (s == platform::Sound::Error || s == platform::Sound::Beep) {
            wxBell();
        }
    }
    void play_wave(const std::vector<uint8_t>& wav) override {
        // Without a sound device the system beep stands in; a cue must never stop the program.
        if (wav.empty() || !start_sound(wav, false)) {
            wxBell();
        }
    }
    void tone(int hz) override {
        if (hz <= 0) {
            if (sound_) {
                wxSound::Stop();
                sound_.reset();
            }
            return;
        }
        start_sound(shell::tone_wave(hz), true);
    }
    void progress(std::string_view what, int percent) override {
        if (percent < 0) {
            progress_.reset();
            return;
        }
        if (!progress_) {
            progress_ = std::make_unique<wxProgressDialog>("TRAZEL", wx(what), 100, frame_, wxPD_APP_MODAL | wxPD_AUTO_HIDE);
        }
        progress_->Update(std::min(percent, 100), wx(what));
    }
    platform::WaitingInput peek_input() override {
        platform::WaitingInput w;
        wxMouseState m = wxGetMouseState();
        // A redraw stops for a button release the user made while it ran.
        w.left_release = was_left_ && !m.LeftIsDown();
        w.right_release = was_right_ && !m.RightIsDown();
        was_left_ = m.LeftIsDown();
        was_right_ = m.RightIsDown();
        // A key the user holds stops it too, as it stops a keystroke macro to ask whether to go on.
        w.key_scan = held_key_scan();
        return w;
    }
    void discard_keys() override {
        if (frame_) {
            frame_->canvas()->discard_keys();
        }
    }
    uint64_t now_ms() override {
        using namespace std::chrono;
        return static_cast<uint64_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
    }
    void report(std::string_view line) override {
        std::fprintf(stderr, "trazel: %.*s\n", static_cast<int>(line.size()), line.data());
    }
    std::vector<std::string> open_file_dialog(std::string_view title, const std::vector<std::string>& filters,
                                              int& filter_index, bool multiple) override {
        Modal m(*this);
        wxFileDialog d(frame_, wx(title), wxEmptyString, wxEmptyString, wildcard(filters),
                       wxFD_OPEN | wxFD_FILE_MUST_EXIST | (multiple ? wxFD_MULTIPLE : 0));
        d.SetFilterIndex(filter_index);
        std::vector<std::string> out;
        if (d.ShowModal() == wxID_OK) {
            wxArrayString paths;
            d.GetPaths(paths);
            for (const wxString& p : paths) {
                out.push_back(utf8(p));
            }
            filter_index = d.GetFilterIndex();
        }
        return out;
    }
    std::string save_file_dialog(std::string_view title, const std::vector<std::string>& filters, int& filter_index,
                                 std::string_view initial) override {
        Modal m(*this);
        wxFileDialog d(frame_, wx(title), wxEmptyString, wx(initial), wildcard(filters), wxFD_SAVE);
        d.SetFilterIndex(filter_index);
        if (d.ShowModal() != wxID_OK) {
            return {};
        }
        filter_index = d.GetFilterIndex();
        return utf8(d.GetPath());
    }

  private:
    // The sound object stays alive while it plays asynchronously; a new sound replaces the old one.
    bool start_sound(const std::vector<uint8_t>& wav, bool loop) {
        auto snd = std::make_unique<wxSound>();
        if (!snd->Create(wav.size(), wav.data()) || !snd->Play(wxSOUND_ASYNC | (loop ? wxSOUND_LOOP : 0))) {
            return false;
        }
        sound_ = std::move(snd);
        return true;
    }

    // While a modal window runs, the pointer is free and the heartbeat keeps out.
    struct Modal {
        explicit Modal(WxPlatform& p) : p_(p) {
            ++p_.c_.modal;
            if (p_.frame_) {
                p_.frame_->canvas()->suspend_pointer();
            }
        }
        ~Modal() {
            --p_.c_.modal;
            if (p_.frame_ && !p_.c_.closing) {
                p_.frame_->canvas()->resume_pointer();
            }
        }
        WxPlatform& p_;
    };
    static wxString wildcard(const std::vector<std::string>& filters) {
        wxString w;
        for (const std::string& f : filters) {
            if (!w.empty()) {
                w += "|";
            }
            w += wx(f);
        }
        return w.empty() ? wxString("All files|*") : w;
    }

    Context& c_;
    Frame* frame_ = nullptr;
    std::unique_ptr<wxProgressDialog> progress_;
    std::unique_ptr<wxSound> sound_;
    bool was_left_ = false, was_right_ = false;
};

std::string program_path(const char* argv0) {
    char buf[4096];
    ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n > 0) {
        return std::string(buf, static_cast<size_t>(n));
    }
    return std::filesystem::absolute(argv0).string();
}

class DesktopApp : public wxApp {
  public:
    bool OnInit() override {
        std::vector<std::string> args;
        for (int i = 1; i < argc; ++i) {
            args.push_back(utf8(argv[i]));
        }
        Launch l = parse_launch(args, program_path(utf8(argv[0]).c_str()), std::filesystem::current_path());
        if (l.help) {
            std::printf("%s\n", std::string(kUsage).c_str());
            std::exit(0); // wx reports a refused start as failure; this is none
        }
        if (!l.error.empty() || (l.depth != 8 && l.depth != 16 && l.depth != 24 && l.depth != 32)) {
            std::fprintf(stderr, "trazel: %s\n%s\n", l.error.empty() ? "--depth takes 8, 16, 24 or 32" : l.error.c_str(),
                         std::string(kUsage).c_str());
            std::exit(2);
        }
        // A running instance takes the files; a refused or unanswered offer starts a program of its own.
        std::string display;
        if (const char* d = std::getenv("DISPLAY")) {
            display = d;
        }
        socket_ = handover::socket_path(display);
        if (!l.files.empty() && !socket_.empty() && handover::send(socket_, l.command_line) == handover::Result::Accepted) {
            std::exit(0); // the running window took the files
        }

        platform_ = std::make_unique<WxPlatform>(c_);
        frame_ = new Frame(c_);
        platform_->attach(frame_);
        c_.app = std::make_unique<App>(platform_.get(), frame_);
        frame_->Show();
        frame_->canvas()->SetFocus();
        if (shell::start(*c_.app, l.command_line, l.depth) == 0) {
            c_.closing = true;
            frame_->Destroy();
            exit_code_ = 1;
            return true;
        }
        c_.started = true;
        frame_->canvas()->report_size();
        CallAfter([this] {
            if (!c_.closing) {
                frame_->canvas()->SetFocus();
            }
        });
        if (!socket_.empty()) {
            server_.listen(socket_);
        }
        timer_.Bind(wxEVT_TIMER, [this](wxTimerEvent&) { tick(); });
        timer_.Start(55);
        return true;
    }

    int OnExit() override {
        timer_.Stop();
        server_.stop();
        c_.app.reset();
        return exit_code_;
    }

    int OnRun() override {
        int r = wxApp::OnRun();
        return exit_code_ != 0 ? exit_code_ : r;
    }

  private:
    void tick() {
        if (!c_.started || c_.closing || c_.modal > 0 || !c_.app) {
            return;
        }
        shell::on_timer(*c_.app);
        if (c_.closing) {
            timer_.Stop();
            return;
        }
        show_icon(c_.app->shell.icon_frame);
        if (server_.listening()) {
            server_.poll([this](std::string_view line) { return !c_.closing && shell::on_handover(*c_.app, line); }, 500);
        }
    }

    // The heartbeat turns the window icon: frames are made once, on first use.
    void show_icon(int frame) {
        if (frame == icon_shown_ || frame < 0 || frame >= static_cast<int>(icons_.size())) {
            return;
        }
        if (!icons_[static_cast<size_t>(frame)].IsOk()) {
            std::vector<uint32_t> px = shell::icon_frame(frame);
            if (px.size() != 32 * 32) {
                return;
            }
            wxImage img(32, 32);
            img.InitAlpha();
            for (int i = 0; i < 32 * 32; ++i) {
                uint32_t p = px[static_cast<size_t>(i)];
                img.SetRGB(i % 32, i / 32, (p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
                img.SetAlpha(i % 32, i / 32, (p >> 24) & 0xFF);
            }
            icons_[static_cast<size_t>(frame)].CopyFromBitmap(wxBitmap(img));
        }
        frame_->SetIcon(icons_[static_cast<size_t>(frame)]);
        icon_shown_ = frame;
    }

    Context c_;
    std::array<wxIcon, 32> icons_;
    int icon_shown_ = -1;
    std::unique_ptr<WxPlatform> platform_;
    Frame* frame_ = nullptr;
    wxTimer timer_;
    handover::Server server_;
    std::string socket_;
    int exit_code_ = 0;
};

} // namespace

} // namespace trazel::gui

wxIMPLEMENT_APP(trazel::gui::DesktopApp);
