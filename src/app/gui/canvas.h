#pragma once
// The drawing area: presents the core's pixels and turns wx input into the shell's events.
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
#include "app/gui/context.h"

namespace trazel::gui {

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
        bool fresh = false;
        if (!image_.IsOk() || image_.GetWidth() != s.width || image_.GetHeight() != s.height) {
            image_.Create(s.width, s.height, false);
            backing_ = wxBitmap(s.width, s.height, 24);
            fresh = true;
        }
        std::vector<platform::PixelRect> list = rects;
        if (list.empty() || fresh) {
            // A new backing bitmap holds nothing yet: the rectangles alone would leave the rest blank.
            list.assign(1, {0, 0, s.height - 1, s.width - 1});
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
            show(wr);
        }
    }

    // The shell asks for its paint (a resize uncovered strips, the picture is stale): the next paint
    // event goes to the shell even where the backing bitmap was presented meanwhile.
    void invalidate(std::optional<wxRect> r) {
        wxRect all(wxPoint(0, 0), GetClientSize());
        wanted_.Union(r ? *r : all);
        if (r) {
            RefreshRect(*r, false);
        } else {
            Refresh(false);
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
    // The client area's place on the screen as well as its size: the shell keeps the drawing still on
    // the screen when the window moves or grows on its left or top edge (or the menu bar comes and goes).
    void report_size() {
        if (!ready()) {
            return;
        }
        wxSize sz = GetClientSize();
        wxPoint at = ClientToScreen(wxPoint(0, 0));
        if (sz.x > 0 && sz.y > 0 && (sz != reported_ || at != reported_at_)) {
            if (trace()) {
                if (sz != reported_) {
                    std::fprintf(stderr, "trace: client %dx%d\n", sz.x, sz.y);
                } else {
                    std::fprintf(stderr, "trace: client at %d,%d\n", at.x, at.y);
                }
            }
            reported_ = sz;
            reported_at_ = at;
            shell::on_window_pos(*c_.app, at.x, at.y, sz.x, sz.y);
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

    // Pixels just presented are ready in the backing bitmap: their paint only copies it to the screen.
    void show(const wxRect& r) {
        if (painting_) {
            shown_in_paint_.Union(r);
        } else {
            ours_.Union(r);
            RefreshRect(r, false);
        }
    }

    void on_paint(wxPaintEvent&) {
        wxPaintDC dc(this);
        wxRegion update = GetUpdateRegion();
        // What the system uncovered and what the shell invalidated is the shell's paint: it redraws what
        // is stale or newly uncovered and presents it into the backing bitmap.
        // (An empty wxRegion is no operand of Subtract or Intersect: each is guarded.)
        wxRegion shell_part = update;
        if (!ours_.IsEmpty() && !shell_part.IsEmpty()) {
            shell_part.Subtract(ours_);
        }
        if (!wanted_.IsEmpty() && !update.IsEmpty()) {
            wxRegion wanted = update;
            wanted.Intersect(wanted_);
            if (!wanted.IsEmpty()) {
                shell_part.Union(wanted);
            }
        }
        ours_.Clear();
        wanted_.Clear();
        if (ready() && !shell_part.IsEmpty()) {
            std::vector<display::Rect> rects;
            for (wxRegionIterator it(shell_part); it; ++it) {
                wxRect r = it.GetRect();
                rects.push_back({r.GetTop(), r.GetLeft(), r.GetBottom(), r.GetRight()});
            }
            painting_ = true;
            shown_in_paint_.Clear();
            shell::on_paint(*c_.app, rects);
            painting_ = false;
            // Presented beyond this paint (all of it after a move): a paint of its own copies the rest.
            if (!shown_in_paint_.IsEmpty() && !update.IsEmpty()) {
                shown_in_paint_.Subtract(update);
            }
            for (wxRegionIterator it(shown_in_paint_); it; ++it) {
                ours_.Union(it.GetRect());
                RefreshRect(it.GetRect(), false);
            }
        }
        if (!backing_.IsOk()) {
            dc.SetBackground(*wxBLACK_BRUSH);
            dc.Clear();
            return;
        }
        wxMemoryDC src(backing_);
        for (wxRegionIterator it(update); it; ++it) {
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
    wxPoint reported_at_{0, 0};
    wxRegion ours_;           // presented and waiting for its paint: the backing bitmap holds it
    wxRegion wanted_;         // invalidated by the shell: its paint is the shell's
    wxRegion shown_in_paint_; // presented while the shell painted
    bool painting_ = false;
};

} // namespace trazel::gui
