#pragma once
// The platform services on wx: message boxes, dialogs built from forms, file dialogs, sounds, progress.
#include <wx/wx.h>
#include <wx/combobox.h>
#include <wx/filepicker.h>

#include <wx/display.h>
#include <wx/evtloop.h>
#include <wx/progdlg.h>
#include <wx/sound.h>
#include <wx/timer.h>

#include <unistd.h>

#include <algorithm>
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

#include "app/gui/file_preview_panel.h"
#include "app/gui/handover.h"
#include "app/gui/held_keys.h"
#include "app/gui/launch.h"
#include "app/gui/scan_codes.h"
#include "app/gui/surface_rgb.h"
#include "app/gui/tool_windows.h"
#include "platform/platform.h"
#include "platform/window.h"
#include "app/core/install.h"
#include "shell/app.h"
#include "shell/events.h"
#include "shell/heartbeat.h"
#include "shell/shell.h"
#include "app/gui/context.h"
#include "app/gui/frame.h"

namespace trazel::gui {

class WxPlatform : public platform::Platform {
  public:
    explicit WxPlatform(Context& c) : c_(c) {
    }
    void attach(Frame* f) {
        frame_ = f;
        tools_.set_parent(f);
        tools_.set_pointer_hook([this](bool over) {
            if (c_.app && c_.started && !c_.closing) {
                shell::tool_window_pointer(*c_.app, over);
            }
        });
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
        const auto begun = std::chrono::steady_clock::now();
        wxDialog d(frame_, wxID_ANY, wx(form.title.empty() ? form.name : form.title), wxDefaultPosition, wxDefaultSize,
                   wxDEFAULT_DIALOG_STYLE | wxRESIZE_BORDER);
        // The fields sit in an area of their own that scrolls when they are more than the screen holds (a
        // row per layer), so OK and Cancel stay in view.
        auto* area = new wxScrolledWindow(&d, wxID_ANY, wxDefaultPosition, wxDefaultSize, wxVSCROLL);
        auto* top = new wxBoxSizer(wxVERTICAL);
        auto* grid = new wxFlexGridSizer(2, 6, 10);
        grid->AddGrowableCol(1, 1);
        std::vector<std::function<void()>> readers;
        wxWindow* first = nullptr; // takes the keyboard when the dialog opens
        for (platform::Field& f : form.fields) {
            using K = platform::Field::Kind;
            if (f.kind == K::Label) {
                grid->Add(new wxStaticText(area, wxID_ANY, wx(f.label.empty() ? f.value : f.label)));
                grid->AddSpacer(1);
                continue;
            }
            grid->Add(new wxStaticText(area, wxID_ANY, wx(f.label)), 0, wxALIGN_CENTER_VERTICAL);
            platform::Field* fp = &f;
            switch (f.kind) {
            case K::Check: {
                auto* w = new wxCheckBox(area, wxID_ANY, wxEmptyString);
                w->SetValue(f.value == "1");
                grid->Add(w);
                first = first ? first : w;
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
                                            ? static_cast<wxControlWithItems*>(
                                                  new wxChoice(area, wxID_ANY, wxDefaultPosition, wxDefaultSize, opts))
                                            : new wxListBox(area, wxID_ANY, wxDefaultPosition, wxSize(260, 140), opts);
                int sel = std::atoi(f.value.c_str());
                if (sel >= 0 && sel < static_cast<int>(opts.size())) {
                    w->SetSelection(sel);
                }
                grid->Add(w, 1, wxEXPAND);
                first = first ? first : w;
                readers.push_back([w, fp] { fp->value = std::to_string(std::max(0, w->GetSelection())); });
                break;
            }
            case K::File: {
                // The filters as the file dialogs take them: "Description|*.a;*.b|...".
                std::string wildcard;
                for (const std::string& o : f.options) {
                    wildcard += (wildcard.empty() ? "" : "|") + o;
                }
                auto* w = new wxFilePickerCtrl(area, wxID_ANY, wx(f.value), wx(f.label),
                                               wildcard.empty() ? wxString(wxFileSelectorDefaultWildcardStr)
                                                                : wx(wildcard),
                                               wxDefaultPosition, wxSize(320, -1), wxFLP_OPEN | wxFLP_USE_TEXTCTRL);
                grid->Add(w, 1, wxEXPAND);
                first = first ? first : w;
                readers.push_back([w, fp] { fp->value = utf8(w->GetPath()); });
                break;
            }
            case K::Picture: {
                if (f.width > 0 && f.height > 0) {
                    wxImage img(f.width, f.height);
                    std::copy(f.rgb.begin(), f.rgb.end(), img.GetData());
                    grid->Add(new wxStaticBitmap(area, wxID_ANY, wxBitmap(img)));
                } else {
                    grid->AddSpacer(1);
                }
                break;
            }
            default: {
                if (!f.options.empty()) {
                    // Suggested entries in a drop-down; the user may still type anything.
                    wxArrayString opts;
                    for (const std::string& o : f.options) {
                        opts.Add(wx(o));
                    }
                    auto* w = new wxComboBox(area, wxID_ANY, wx(f.value), wxDefaultPosition, wxSize(260, -1), opts);
                    grid->Add(w, 1, wxEXPAND);
                    first = first ? first : w;
                    readers.push_back([w, fp] { fp->value = utf8(w->GetValue()); });
                    break;
                }
                auto* w = new wxTextCtrl(area, wxID_ANY, wx(f.value), wxDefaultPosition, wxSize(260, -1));
                grid->Add(w, 1, wxEXPAND);
                first = first ? first : w;
                readers.push_back([w, fp] { fp->value = utf8(w->GetValue()); });
                break;
            }
            }
        }
        auto* inside = new wxBoxSizer(wxVERTICAL);
        inside->Add(grid, 1, wxALL | wxEXPAND, 12);
        area->SetSizer(inside);
        wxStdDialogButtonSizer* buttons = d.CreateStdDialogButtonSizer(wxOK | wxCANCEL);
        const wxSize need = inside->GetMinSize();
        const int room = wxDisplay(frame_ ? static_cast<wxWindow*>(frame_) : &d).GetClientArea().height * 85 / 100 -
                         buttons->GetMinSize().y - 16;
        if (need.y > room) {
            area->SetScrollRate(0, 16);
            area->SetMinSize(wxSize(need.x + wxSystemSettings::GetMetric(wxSYS_VSCROLL_X, area), std::max(room, 120)));
        } else {
            area->SetMinSize(need);
        }
        area->FitInside();
        top->Add(area, 1, wxEXPAND);
        top->Add(buttons, 0, wxALL | wxEXPAND, 8);
        d.SetSizerAndFit(top);
        d.CentreOnParent();
        if (first) {
            first->SetFocus();
        }
        if (trace()) {
            // How long a form takes to open (a row of controls per layer is many native windows).
            auto ms = [begun] {
                return static_cast<long long>(
                    std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - begun)
                        .count());
            };
            std::fprintf(stderr, "trace: form \"%s\" of %zu fields built in %lld ms%s\n", form.name.c_str(),
                         form.fields.size(), ms(), need.y > room ? ", scrolling" : "");
            d.CallAfter([ms, name = form.name] {
                std::fprintf(stderr, "trace: form \"%s\" shown in %lld ms\n", name.c_str(), ms());
            });
        }
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
                                              int& filter_index, bool multiple,
                                              const platform::FilePreview& preview) override {
        Modal m(*this);
        wxFileDialog d(frame_, wx(title), wxEmptyString, wxEmptyString, wildcard(filters),
                       wxFD_OPEN | wxFD_FILE_MUST_EXIST | (multiple ? wxFD_MULTIPLE : 0));
        d.SetFilterIndex(filter_index);
        add_file_preview(d, preview);
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

    void open_tool_window(const platform::Form& form) override {
        tools_.open(form);
    }
    void update_tool_window(const platform::Form& form) override {
        tools_.update(form);
    }
    void close_tool_window(std::string_view name) override {
        tools_.close(name);
    }
    bool tool_window_open(std::string_view name) override {
        return tools_.is_open(name);
    }
    void raft_tool_windows(bool on) override {
        tools_.raft(on);
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
    ToolWindows tools_;
    std::unique_ptr<wxProgressDialog> progress_;
    std::unique_ptr<wxSound> sound_;
    bool was_left_ = false, was_right_ = false;
};

} // namespace trazel::gui
