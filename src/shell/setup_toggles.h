#pragma once
// The Setup entries that are switches or a click rather than a form of directives: orthogonal mode (ST,
// key T), mirror view (SW, Alt-V), the relative zero point (SP, Alt-R) and what the status bar shows (SB).
// Orthogonal mode, mirror view and the read-out factor are the view's and stay out of the Data file; the
// zero point ("-gz") and the angle and distance read-out (the references byte of "-gm") are the
// Document's.
#include <cstdint>

namespace trazel {
struct App;
}

namespace trazel::shell {

// The angle mode the Setup switch chooses: the straight leg of a two-leg path with a 45-degree second leg.
constexpr int kSetupOrthoMode = 2;

// Whether `cmd` is ST, SW, SP or SB.
bool is_setup_toggle(uint16_t cmd);
// Runs one of them on the current Document (the caller has made sure there is one): 1 when it took
// effect or waits for its click, 0 when a dialog was cancelled.
int setup_toggle(App& app, uint16_t cmd);

} // namespace trazel::shell
