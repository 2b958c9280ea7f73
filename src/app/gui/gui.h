#pragma once
// The wxWidgets front end: a frame with the menu bar, one drawing panel that shows the core's pixels and
// turns raw input into the shell's events, the platform services (message boxes, dialogs built from
// forms, sounds, file dialogs), and the 55 ms heartbeat.  The core never sees a wx type.
#include <wx/wx.h>

#include <wx/progdlg.h>
#include <wx/sound.h>
#include <wx/timer.h>

#include <array>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/window.h"

namespace trazel {
struct App;
}

namespace trazel::gui {

namespace native {
struct Backing;
}
class Canvas;
class Frame;

// What the wx classes share.  `app` is set once start-up has made the App and cleared before it goes.
struct GuiContext {
    App* app = nullptr;
    Frame* frame = nullptr;
    Canvas* canvas = nullptr;
    bool started = false; // shell::start has returned: events go to the shell
    bool closing = false; // the shell ended the program; nothing reaches it any more
    int modal_depth = 0;  // dialogs, message boxes and menus running their own loops
    int busy = 0;         // a progress window runs its loop inside a core operation: paint from the copy
    std::function<void()> shutdown; // releases the App before the window goes
};

// Releases the mouse and the pointer confinement while a modal window has to be usable, and takes them
// back afterwards.
class ModalGuard {
  public:
    explicit ModalGuard(GuiContext& g);
    ~ModalGuard();
    ModalGuard(const ModalGuard&) = delete;
    ModalGuard& operator=(const ModalGuard&) = delete;

  private:
    GuiContext& g_;
};

class Canvas : public wxWindow {
  public:
    Canvas(wxWindow* parent, GuiContext& g);
    ~Canvas() override;

    void present(const platform::SurfaceView& s, const std::vector<platform::PixelRect>& rects);
    void show_pointer(bool shown);
    void set_shape(platform::CursorShape shape);
    void capture(bool captured);
    void confine(std::optional<platform::PixelRect> r);
    void warp(int x, int y);
    // Tells the shell the client size when it differs from the one it was last told.
    void report_size();
    // Sends the release of every key the shell believes held (focus went elsewhere).
    void release_held_keys();
    void suspend_input();
    void resume_input();
    bool left_held() const {
        return left_;
    }
    bool right_held() const {
        return right_;
    }
    // Milliseconds the last present took (conversion and copy to the screen).
    double last_present_ms() const {
        return last_present_ms_;
    }

  private:
    void on_paint(wxPaintEvent& e);
    void on_size(wxSizeEvent& e);
    void on_key_down(wxKeyEvent& e);
    void on_key_up(wxKeyEvent& e);
    void on_motion(wxMouseEvent& e);
    void on_mouse_button(wxMouseEvent& e);
    void on_wheel(wxMouseEvent& e);
    void on_capture_lost(wxMouseCaptureLostEvent& e);
    void on_kill_focus(wxFocusEvent& e);
    void on_menu_highlight(wxMenuEvent& e);
    void key(wxKeyEvent& e, bool down);
    void button(int which, bool down);
    void apply_cursor();
    bool shell_ready() const;

    bool present_native(const platform::SurfaceView& s, const std::vector<platform::PixelRect>& list,
                        wxRegion& changed);
    void present_bitmap(const platform::SurfaceView& s, const std::vector<platform::PixelRect>& list,
                        wxRegion& changed);

    GuiContext& g_;
    native::Backing* native_ = nullptr; // preferred: a copy in the display's own pixel layout
    bool native_failed_ = false;
    wxBitmap backing_; // otherwise
    wxRegion self_presented_; // parts whose latest pixels were put there by present() itself
    bool in_paint_ = false;
    std::set<uint32_t> held_keys_; // X keycodes down, to tell auto-repeat from a new press
    bool pointer_shown_ = true;
    platform::CursorShape shape_ = platform::CursorShape::Arrow;
    bool captured_ = false;         // what the shell asked for
    bool capture_suspended_ = false; // given up for a modal window
    std::optional<platform::PixelRect> confine_;
    int reported_w_ = -1, reported_h_ = -1;
    bool left_ = false, right_ = false;
    double last_present_ms_ = 0;
};

class Frame : public wxFrame, public platform::Window {
  public:
    explicit Frame(GuiContext& g);
    ~Frame() override;

    Canvas* canvas() {
        return canvas_;
    }

    // platform::Window
    void set_title(std::string_view title) override;
    void set_menu_bar(const std::vector<platform::MenuItem>& menus) override;
    void show_menu_bar(bool shown) override;
    void set_submenu(int id, const std::vector<platform::MenuItem>& items) override;
    void set_menu_state(uint16_t code, bool checked, bool enabled) override;
    void open_menu(int index) override;
    void popup_menu(const platform::MenuItem& menu, int x, int y) override;
    void show_cursor(bool shown) override;
    void set_cursor_shape(platform::CursorShape shape) override;
    void capture_mouse(bool captured) override;
    void clip_mouse(std::optional<platform::PixelRect> r) override;
    void warp_mouse(int x, int y) override;
    void present(const platform::SurfaceView& s, const std::vector<platform::PixelRect>& rects) override;
    void invalidate(std::optional<platform::PixelRect> r) override;
    platform::PixelRect client_rect() override;
    platform::PixelRect window_rect() override;
    void place_window(const platform::PixelRect& r, bool maximized) override;
    std::vector<platform::Monitor> monitors() override;
    bool foreground() override;
    bool minimized() override;
    void bring_to_front() override;
    void close() override;

    // The animation icon of the heartbeat (frame 0..31).
    void show_icon_frame(int frame);
    bool menu_bar_attached() const {
        return GetMenuBar() != nullptr;
    }
    // The hint line for a highlighted menu entry (menu bar or popup menu).
    void highlight(int wx_id);

  private:
    wxMenu* build_menu(const std::vector<platform::MenuItem>& items);
    void append_item(wxMenu* menu, const platform::MenuItem& item);
    void on_menu(wxCommandEvent& e);
    void on_menu_open(wxMenuEvent& e);
    void on_menu_close(wxMenuEvent& e);
    void on_menu_highlight(wxMenuEvent& e);
    void on_close(wxCloseEvent& e);
    void on_activate(wxActivateEvent& e);
    void on_iconize(wxIconizeEvent& e);
    void on_size(wxSizeEvent& e);
    void on_display_changed(wxDisplayChangedEvent& e);
    void layout_canvas();
    int top_index(wxMenu* m) const;

    GuiContext& g_;
    Canvas* canvas_ = nullptr;
    wxMenuBar* bar_ = nullptr; // owned while detached
    std::vector<platform::MenuItem> menus_;
    std::map<int, wxMenu*> submenus_; // MenuItem::id -> the menu to refill
    int next_submenu_id_ = 0x3000;          // below every command code (group letters start at "?")
    std::map<int, uint16_t> submenu_codes_; // wx ids of submenu entries -> their command code (hints)
    std::map<int, int> popup_positions_;    // wx ids of the open popup menu's submenus -> their position
    std::array<wxIcon, 32> icons_;
    int icon_shown_ = -1;
};

class WxPlatform : public platform::Platform {
  public:
    explicit WxPlatform(GuiContext& g) : g_(g) {
    }
    ~WxPlatform() override;

    platform::Answer message_box(std::string_view text, std::string_view title, platform::Buttons buttons,
                                 int default_button = 0) override;
    bool dialog(platform::Form& form) override;
    void play(platform::Sound s) override;
    void progress(std::string_view what, int percent) override;
    platform::WaitingInput peek_input() override;
    uint64_t now_ms() override;
    void report(std::string_view line) override;
    void play_wave(const std::vector<uint8_t>& wav) override;
    void tone(int hz) override;
    std::vector<std::string> open_file_dialog(std::string_view title, const std::vector<std::string>& filters,
                                              int& filter_index, bool multiple) override;
    std::string save_file_dialog(std::string_view title, const std::vector<std::string>& filters,
                                 int& filter_index, std::string_view initial) override;

  private:
    wxWindow* parent() const;

    GuiContext& g_;
    std::unique_ptr<wxSound> wave_, tone_;
    std::vector<uint8_t> wave_data_, tone_data_;
    int tone_hz_ = 0;
    bool sound_failed_ = false;
    std::unique_ptr<wxProgressDialog> progress_;
    uint64_t progress_start_ = 0;
    uint64_t peek_time_ = 0;
    platform::WaitingInput peeked_;
};

// Timer 1: the heartbeat, the hand-over requests, the animation icon, the zoom benchmark.
class Heartbeat : public wxTimer {
  public:
    explicit Heartbeat(GuiContext& g) : g_(g) {
    }
    void Notify() override;
    std::function<void()> after_tick; // the application's per-tick work outside the shell

  private:
    GuiContext& g_;
    bool in_tick_ = false;
};

// A form as a wx dialog; true when closed with OK (the fields then hold the answers).
bool run_form_dialog(wxWindow* parent, platform::Form& form);
// A message box with exactly the given buttons; the answer of the button pressed.
platform::Answer run_message_box(wxWindow* parent, std::string_view text, std::string_view title,
                                 platform::Buttons buttons, int default_button);
// A filter list "Description|*.a;*.b" as a wx wildcard, both cases of each extension.
wxString wildcard_from_filters(const std::vector<std::string>& filters);

// Native helpers of the X11/GTK build (native_gtk.cpp); each reports false where it cannot help.
namespace native {
// Opens the menu bar's menu `index` as its mnemonic would.
bool open_menu_bar_menu(wxMenuBar* bar, int index);
// Looks at input that has not been handled yet without taking it from the queue.
bool peek_pending_input(platform::WaitingInput& w);
// The drawing panel's copy of the picture as a native image of 0xFFRRGGBB words; null where there is none
// (the panel then keeps a wxBitmap).
struct Backing {
    void* surface = nullptr; // the toolkit's image
    int width = 0, height = 0;
};
Backing* backing_create(int width, int height);
void backing_destroy(Backing* b);
uint8_t* backing_pixels(Backing* b, size_t& stride); // to write into; then backing_changed
void backing_changed(Backing* b, int x, int y, int w, int h);
bool backing_paint(Backing* b, wxDC& dc); // the whole image, within the paint's clip
// Lays the window out now rather than at the next frame, so that positions on the screen are right at
// once after the menu bar came or went.
bool settle_layout(wxWindow* top);
// Waits until the display server has carried out everything sent to it.
void sync_display();
} // namespace native

} // namespace trazel::gui
