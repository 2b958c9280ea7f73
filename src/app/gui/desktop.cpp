// The desktop program: one wx frame whose client area shows the core's pixel buffer, a menu bar built
// from the shell's menu lists, and the platform services (message boxes, dialogs from forms, file
// dialogs, sounds, progress).  Raw input goes to the shell's event entry points as PC scan codes and
// client pixels; the 55 ms timer drives the heartbeat.  No wx type reaches the core.  Each class has its
// own header (canvas.h, frame.h, wx_platform.h); this file starts the program.
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

#include "platform/version.h"
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
#include "app/gui/frame.h"
#include "app/gui/wx_platform.h"

namespace trazel::gui {

namespace {

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
        install_subsystems(*c_.app);
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

wxIMPLEMENT_APP_NO_MAIN(trazel::gui::DesktopApp);

// --version and --help are answered before wx starts, so that they need no display.
int main(int argc, char** argv) {
    std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    trazel::gui::Launch l = trazel::gui::parse_launch(args, "trazel", std::filesystem::current_path());
    if (l.version) {
        std::printf("trazel %s\n", trazel::platform::program_version()); // the batch tool prints the same line
        return 0;
    }
    if (l.help) {
        std::printf("%s\n", std::string(trazel::gui::kUsage).c_str());
        return 0;
    }
    // What wxIMPLEMENT_APP's own main does: a release build shows no wx assertion dialogs.
    wxDISABLE_DEBUG_SUPPORT();
    return wxEntry(argc, argv);
}
