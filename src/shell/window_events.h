#pragma once
// The drawing area kept up to date from the window messages: visible rectangles, redraw, scrolling and
// the destroy path (window_events.cpp).

namespace trazel {
struct App;
}

namespace trazel::shell {

// Recomputes the drawing area and the visible rectangles; false when nothing can be drawn.
bool recompute_visible(App& app);
// Redraws (the whole drawing area, or the Items alone) and presents the result.
int redraw(App& app, bool full = true, bool layer_only = false);
// Moves the drawing area's pixels by (dx, dy) (positive: right, down) and redraws the uncovered strips.
void scroll_contents(App& app, int dx, int dy);
// The window's destroy path: surfaces released, TRAZEL mode left, the window closed.
void destroy_window(App& app);

} // namespace trazel::shell
