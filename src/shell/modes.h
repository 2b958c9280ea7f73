#pragma once
// TRAZEL mode and Windows mode, the lent menu bar and the suspension around modal dialogs (modes.cpp).
#include <functional>
#include <string_view>

#include "platform/platform.h"

namespace trazel {
struct App;
}

namespace trazel::shell {

int enter_trazel_mode(App& app);
void leave_trazel_mode(App& app, bool attach_menu);
// Around a modal dialog: 1 suspends (TRAZEL mode left, mouse in the middle), 0 resumes.
void suspend(App& app, bool on);
// The pointer came over a modeless tool window (suspended state 2: keys and deactivation leave the
// current function alone) or left it again.  A modal suspension is never touched.
void tool_window_pointer(App& app, bool over);
// 1 leave TRAZEL mode and attach the menu bar; -1 leave it without the menu bar (popup); 0 give it back.
void lend_menu_bar(App& app, int how);
void attach_menu_bar(App& app);
// A modal dialog and a message box shown with the shell suspended around them.
bool run_dialog(App& app, platform::Form& form);
// The dialog again after its values were refused: a script without a new answer cancels it.
bool run_dialog_again(App& app, platform::Form& form);
platform::Answer ask(App& app, std::string_view text, std::string_view title, platform::Buttons buttons,
                     int default_button = 0);
// Any other prompt of the platform (a file dialog, an engine's question) with the same suspension.
void run_suspended(App& app, const std::function<void()>& prompt);

} // namespace trazel::shell
