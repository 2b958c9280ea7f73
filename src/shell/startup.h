#pragma once
// Start-up: the command line, the phases of the first ticks, the window placement, and opening the
// files the command line and the hand-over name (startup.cpp).
#include <string>
#include <string_view>
#include <vector>

#include "platform/window.h"

namespace trazel {
struct App;
}

namespace trazel::shell {

// Opens the next pending file; non-zero when this tick handled one (the tick then does nothing else).
int open_pending_file(App& app);
// The start-up phase work of one tick (0 -> 1, the set-up from tick 19 on, 2 -> 3).
void phase_tick(App& app);
void phase1_setup(App& app);
// Parses a command line: the program directory, "-s" digits and file names (quoted, or up to a blank
// followed by a drive letter and a colon).  `skip_program` drops the first word.
struct CommandLine {
    std::string program_dir;
    int monitor = -1;
    std::vector<std::string> files;
};
CommandLine parse_command_line(std::string_view line, bool handover);
// "Window Position": the named placements, or x y width height (any separators); the rectangle for a
// screen and whether the window is maximized (also for numbers that are not acceptable).
struct Placement {
    platform::PixelRect rect;
    bool maximized = false;
};
Placement window_placement(std::string_view setting, const platform::PixelRect& screen);
// Places the main window on the current monitor ("Full", "Left", ...), as the Setup menu's entries do.
void apply_window_position(App& app, std::string_view position);
// The window title: the current Document's name, or the program's name.
void update_title(App& app);
// Opens a file into a new Document through the import chooser, makes it current, adds it to the recent
// lists and shows it; the failure is told to the user.  0 when it could not be opened.
int open_document(App& app, const std::string& name, char forced);
// Shows the current Document: zoomed to its extents, or a plain text Document at its fixed scale.
void show_document(App& app);
// The view takes the grid, read-out and origin of the current Document.
void take_document_view(App& app);
// Adds files to the pending list (their names made absolute).
void add_pending(App& app, const std::vector<std::string>& files);

} // namespace trazel::shell
