#pragma once
// The 55 ms heartbeat: the ordered work of one timer tick, sleep mode, the sound cues (our own wave
// sounds, or PC-speaker style tone sequences played tick by tick), the icon animation frames and the
// status-bar clock.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace trazel {
struct App;
}

namespace trazel::shell {

constexpr uint32_t kPcTimerClock = 1193182;    // Hz: the speaker tone is this divided by the divisor
constexpr uint32_t kBackgroundSleepTicks = 11; // asleep after more than this many ticks in the background
constexpr uint32_t kClockTicks = 18;           // about one second
constexpr int kIconFrames = 32;
constexpr int kIconSize = 32;
constexpr int kWaveRate = 22050;

// The ordered work of one tick (the front end's timer calls it through on_timer).
void heartbeat_tick(App& app);

// Ends sleep mode; every mouse button, key and menu command calls it.
void wake(App& app);
// Puts the display to sleep: the cross-hair is taken down and the picture drawn into the sleep copy.
void go_to_sleep(App& app);
// Whether a paint now ends sleep mode (in the foreground with the idle count below the limit).
bool paint_wakes(const App& app);

// Plays a cue: the wave sound with "Sound Blaster Tones" on, else the tone sequence from the next tick
// (dropped while another sequence plays).
void play_cue(App& app, platform::Sound s);
// The tone sequence of a cue: (divisor, ticks) pairs ended by 0.
const uint16_t* tone_sequence(platform::Sound s);
// A divisor's frequency in Hz, rounded.
int tone_hz(uint16_t divisor);
// Our wave sound of a cue: a RIFF WAVE image, 16-bit mono at kWaveRate, as long as its tone sequence.
std::vector<uint8_t> cue_wave(platform::Sound s);
// About one tick of a steady tone of `hz` as a RIFF WAVE image that loops seamlessly (the front end's
// stand-in for the PC speaker).
std::vector<uint8_t> tone_wave(int hz);

// Animation frame `frame` (0..31) of the window icon: `size` x `size` pixels 0xAARRGGBB, rows from the
// top (the window uses 32; the installed icons are frame 0 at their own sizes).
std::vector<uint32_t> icon_frame(int frame, int size = kIconSize);

// The status-bar clock, "hh:mm am" with the hour on the 12-hour clock (a leading zero shown as a blank)
// and the colon blanked on alternate seconds.
std::string clock_text(int hour24, int minute, bool colon);
// Puts the clock at the right end of the status-bar texts (after the shell rebuilt them).
void place_clock(App& app);
// The status-bar column of the clock for a drawing area `width` pixels wide.
int clock_column(int width);

} // namespace trazel::shell
