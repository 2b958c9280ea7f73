#pragma once
// The one object that owns every subsystem's state.  A test makes a fresh App; the desktop and the
// batch tool each make one for the program's life.
#include <map>
#include <memory>
#include <typeindex>
#include <unordered_map>
#include <vector>

#include "display/display.h"
#include "model/chooser.h"
#include "model/model.h"
#include "platform/headless.h"
#include "platform/platform.h"
#include "platform/window.h"
#include "shell/commands.h"
#include "shell/state.h"

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
    std::map<char, shell::GroupHandler> groups;    // command group letter -> handler
    std::map<uint16_t, shell::GroupHandler> commands; // single codes a subsystem took from another group

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

    // The state a plugged-in subsystem keeps for the App's life (the editor's grab list, a router's
    // settings ...), one object per type, made on first use.  The shell names no subsystem: each one
    // reaches its own state through this.
    template <class T> T& state() {
        std::shared_ptr<void>& p = states_[std::type_index(typeid(T))];
        if (!p) {
            p = std::make_shared<T>();
        }
        return *static_cast<T*>(p.get());
    }

  private:
    std::unique_ptr<platform::Headless> own_platform_;
    std::unique_ptr<platform::HeadlessWindow> own_window_;
    platform::Platform* platform_;
    platform::Window* window_;
    // Declared last: subsystem state goes before the model and display it may point into.
    std::unordered_map<std::type_index, std::shared_ptr<void>> states_;
};

} // namespace trazel
