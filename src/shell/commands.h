#pragma once
// The current function (the handler slots and the prompt) and command dispatch through the group table
// (commands.cpp), with the sound cues and the editor's hooks every command may use.
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string_view>
#include <thread>

#include "shell/state.h"

namespace trazel::model {
struct Document;
}

namespace trazel::shell {

// Clears the three handler pairs, the prompt and the modal key handler.
void clear_function(App& app);
// Installs the function's first handler pair and its prompt.
void set_function(App& app, ClickHandler left, ClickHandler right, std::string_view prompt);
// Whether a function is active (a handler in any slot or a modal key handler).
bool function_active(const App& app);

// Executes a command code: clears the slots, takes down a rubber band, and calls the handler registered
// for the code itself, else the group handler of the high byte; a code without either plays the error
// sound and returns 0.
int execute_command(App& app, uint16_t code, Source source);

// Command handlers, filled by `install_command_groups` and by each subsystem's install function.
using GroupHandler = std::function<int(App&, uint16_t code, Source source)>;
// A whole group letter; it takes over the single codes of that letter registered before.
void set_group_handler(App& app, char group, GroupHandler h);
// One code of a group another room owns (FG, the photoplot, belongs to the CAM subsystem).
void set_command_handler(App& app, uint16_t code, GroupHandler h);
// The shell's own groups (File, Zoom, Help, Setup); subsystems add theirs through the install list.
void install_command_groups(App& app);

// Waits for a background run's thread with every level of the user interface's lock let go, so a change
// the thread is waiting to make can finish.
void join_unlocked(App& app, std::thread& t);

// Holds the background run's lock (services.h) for the user interface thread while it handles one event
// or command.
class BackgroundGuard {
  public:
    explicit BackgroundGuard(App& app);
    ~BackgroundGuard();
    BackgroundGuard(const BackgroundGuard&) = delete;
    BackgroundGuard& operator=(const BackgroundGuard&) = delete;

  private:
    App& app_;
    std::shared_ptr<std::recursive_mutex> lock_;
};

// The sound cues, through the platform.
void error_sound(App& app);
void beep(App& app);

// What hangs on the cursor (through the editor's hooks).
bool items_on_cursor(App& app);
int drop_items(App& app);
int cancel_items(App& app);
bool block_active(App& app);
// Tells the editor that the cursor moved (it redraws what hangs on the cursor).
void cursor_changed(App& app);
// Closes a Document, telling the editor first.
void close_document(App& app, model::Document* d);

} // namespace trazel::shell
