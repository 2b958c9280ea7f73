#pragma once
// The one object that owns every subsystem's state.  A test makes a fresh App; the desktop and the
// batch tool each make one for the program's life.
#include <map>
#include <memory>
#include <vector>

#include "display/display.h"
#include "edit/editor.h"
#include "model/chooser.h"
#include "model/model.h"
#include "platform/headless.h"
#include "platform/platform.h"
#include "platform/window.h"
#include "shell/shell.h"

namespace trazel {

struct App {
    // Constructed with the platform and window to use; without them the App makes headless ones.
    explicit App(platform::Platform* platform = nullptr, platform::Window* window = nullptr);
    ~App();
    App(const App&) = delete;
    App& operator=(const App&) = delete;

    model::Model model;
    model::FormatTable formats; // the import chooser's readers and the export writers
    display::Display display;
    shell::Shell shell;
    edit::Editor edit; // the grab list and the editor's settings
    std::map<char, shell::GroupHandler> groups;

    // The pixel storage behind display.buffer (the client area at the chosen depth); the display reaches it
    // through the lock of shell.surface.
    std::vector<uint8_t> pixels;
    int depth = 32;

    platform::Platform& platform() {
        return *platform_;
    }
    platform::Window& window() {
        return *window_;
    }
    model::Document* doc() {
        return model.current;
    }

  private:
    std::unique_ptr<platform::Headless> own_platform_;
    std::unique_ptr<platform::HeadlessWindow> own_window_;
    platform::Platform* platform_;
    platform::Window* window_;
};

} // namespace trazel
