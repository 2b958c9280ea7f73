#pragma once
// Keys the user is holding down right now, read from the display server rather than from the event
// queue: a long redraw or a running keystroke macro looks at them without handling any events.

namespace trazel::gui {

// The PC scan code of a key held down (Shift, Ctrl, Alt and the lock keys do not count), 0 when none
// is, or when the display server cannot be asked.
int held_key_scan();

} // namespace trazel::gui
