#pragma once
// What the front end tells the shell.  Positions are client-area pixels; keys are PC scan codes with the
// extended flag (the grey keys), as the keyboard translator expects them.
#include <cstdint>
#include <string_view>
#include <vector>

#include "display/pixel_buffer.h"

namespace trazel {
struct App;
}

namespace trazel::shell {

enum class Button { Left, Right };

// Start-up: reads the settings and resources, creates the drawing surface for the client area at
// `depth` bits per pixel, parses the command line (file names, "-s" digit) and puts the files on the
// pending list.  Returns 0 when the program cannot run (the message has been shown).
int start(App& app, std::string_view command_line, int depth);

void on_timer(App& app); // every 55 ms
void on_mouse_move(App& app, int x, int y);
void on_button(App& app, Button b, bool down);
void on_wheel(App& app, int delta); // negative: towards the user
void on_key(App& app, int scan, bool extended, bool down, bool repeat);
void on_menu_command(App& app, uint16_t code);
// The popup menu closed without a choice: the lent menu bar is given back (TRAZEL mode restored).
void on_popup_closed(App& app);
void on_menu_open(App& app, int menu_index);  // before a menu shows: checks and grey states
void on_menu_highlight(App& app, uint16_t code, int top_index); // hint line
void on_activate(App& app, bool active, bool minimized);
void on_resize(App& app, int width, int height); // client size in pixels, its top-left kept
// The client area's top-left in virtual-screen pixels and its size, after a move or a resize on any edge:
// the drawing stays where it is on the screen.
void on_window_pos(App& app, int x, int y, int width, int height);
// The screen changed (depth, monitors): a depth other than 8, 16, 24 or 32 is ignored.
void on_display_change(App& app, int depth);
void on_paint(App& app, const std::vector<display::Rect>& update);
void on_close(App& app); // the close box: as the exit command
// A second start hands over its command line; returns false when refused (the caller starts anew).
bool on_handover(App& app, std::string_view command_line);

} // namespace trazel::shell
