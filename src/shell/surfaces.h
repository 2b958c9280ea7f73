#pragma once
// The pixel surfaces behind the drawing area, their lock and presentation, and the monitor table
// (surfaces.cpp).
#include <vector>

#include "display/pixel_buffer.h"
#include "platform/window.h"

namespace trazel {
struct App;
}

namespace trazel::shell {

// Makes the pixel storage for the client area at the App's depth; false for a depth other than 8, 16,
// 24 and 32.
bool create_surfaces(App& app);
void release_surfaces(App& app);
// The drawing lock: points display.buffer at the screen copy (target 1) or the sleep copy
// (target 2).
bool lock_surface(App& app, int target);
bool lock_if_needed(App& app);
void unlock_surface(App& app);
// Copies the listed rectangles (or everything) to the window.
void present(App& app, const std::vector<display::Rect>& rects = {});
// Presents once when anything was drawn since the last present (end of every event).
void present_if_dirty(App& app);
platform::SurfaceView surface_view(const App& app);
// The 8-bit palette is handed to the front end at presentation.
void realize_palette(App& app);
// Fills the monitor table from the window's screens and rebuilds the monitor submenu.
void enumerate_monitors(App& app);
// Makes the monitor holding the main window current (origin, size, menu tick).
void find_monitor_rects(App& app);
int switch_monitor(App& app, int index);
int monitor_dialog(App& app);
// Copies the sleep copy back to the screen copy inside `r`.
void copy_from_sleep(App& app, const display::Rect& r);

} // namespace trazel::shell
