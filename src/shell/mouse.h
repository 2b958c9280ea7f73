#pragma once
// The click actions shared by the mouse and the keyboard, and the popup menu (mouse.cpp).

namespace trazel {
struct App;
}

namespace trazel::shell {

// The TRAZEL-mode left click (and the Enter key): first left handler, else the repeat command, else drop
// the held Items, else the popup menu or the lent menu bar.
int click_left_action(App& app);
// The right click (and the Escape key): first right handler, else cancel the held Items, else lend the
// menu bar (TRAZEL mode) or status message 300 (Windows mode).
int click_right_action(App& app);
// Opens the popup menu at the cross-hair.
void open_popup(App& app);

} // namespace trazel::shell
