#include "shell/heartbeat.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "display/display.h"
#include "shell/app.h"
#include "shell/keys.h"
#include "shell/macros.h"
#include "shell/settings.h"
#include "shell/startup.h"
#include "shell/status.h"
#include "shell/surfaces.h"
#include "shell/window_events.h"

namespace trazel::shell {

namespace {

// (timer divisor, ticks) pairs ended by 0.
constexpr uint16_t kToneTick[] = {65535, 0, 0};
constexpr uint16_t kTonePeep[] = {597, 1, 0};
constexpr uint16_t kToneBeep[] = {895, 2, 0};
constexpr uint16_t kToneError[] = {597, 2, 1193, 5, 0};

constexpr int kClockChars = 8; // "hh:mm am"
constexpr int kClockMargin = 4;
constexpr int kFontWidth = 8;

size_t cue_index(platform::Sound s) {
    return static_cast<size_t>(s);
}

void start_pair(platform::Platform& p, ToneState& t) {
    // Pairs of no length only click: the next one follows in the same tick.
    for (;;) {
        uint16_t divisor = t.sequence[t.index];
        if (divisor == 0) {
            p.tone(0);
            t.active = false;
            return;
        }
        p.tone(tone_hz(divisor));
        t.left = t.sequence[t.index + 1];
        if (t.left > 0) {
            return;
        }
        t.index += 2;
    }
}

void tone_step(App& app) {
    ToneState& t = app.shell.services.tone;
    if (t.pending) {
        t.pending = false;
        t.active = true;
        t.index = 0;
        start_pair(app.platform(), t);
    } else if (t.active && --t.left <= 0) {
        t.index += 2;
        start_pair(app.platform(), t);
    }
}

void sleep_step(App& app) {
    Shell& sh = app.shell;
    uint32_t limit = sh.options.sleep_ticks;
    if (sh.foreground) {
        sh.background_ticks = 0;
        if (limit != 0 && sh.idle_ticks < static_cast<int64_t>(limit)) {
            ++sh.idle_ticks;
        }
    } else {
        ++sh.background_ticks;
    }
    bool idle = limit != 0 && sh.idle_ticks >= static_cast<int64_t>(limit);
    if (!sh.sleeping && !sh.minimized && (sh.background_ticks > kBackgroundSleepTicks || idle)) {
        go_to_sleep(app);
    }
}

void autosave_step(App& app) {
    Shell& sh = app.shell;
    uint32_t interval = sh.options.autosave_ticks;
    if (interval == 0) {
        return;
    }
    if (sh.autosave_countdown == 0 || sh.autosave_countdown > interval) {
        sh.autosave_countdown = interval;
    }
    if (--sh.autosave_countdown == 0) {
        autosave(app);
        sh.autosave_countdown = interval;
    }
}

void status_countdown(App& app) {
    StatusMessage& m = app.shell.status;
    if (m.ticks_left > 0 && --m.ticks_left == 0 && !m.sticky) {
        m.text.clear();
        m.error = false;
        refresh_status_bar(app);
    }
}

void each_second(App& app) {
    Shell& sh = app.shell;
    if (sh.services.hooks.transient_tool_check) {
        sh.services.hooks.transient_tool_check(app);
    }
    sh.clock_colon = !sh.clock_colon;
    place_clock(app);
    refresh_status_bar(app);
}

// --- Sounds ---------------------------------------------------------------------------------------

void put16(std::vector<uint8_t>& w, uint32_t v) {
    w.push_back(static_cast<uint8_t>(v & 0xFF));
    w.push_back(static_cast<uint8_t>((v >> 8) & 0xFF));
}

void put32(std::vector<uint8_t>& w, uint32_t v) {
    put16(w, v & 0xFFFF);
    put16(w, v >> 16);
}

void put_tag(std::vector<uint8_t>& w, const char* tag) {
    for (int i = 0; i < 4; ++i) {
        w.push_back(static_cast<uint8_t>(tag[i]));
    }
}

// One segment of a sine tone, faded in and out over 2 ms so it starts and ends without a click.
void add_tone(std::vector<int16_t>& s, double hz, int ticks) {
    int n = kWaveRate * ticks * kTickMs / 1000;
    int fade = kWaveRate / 500;
    for (int i = 0; i < n; ++i) {
        double env = std::min({1.0, static_cast<double>(i) / fade, static_cast<double>(n - 1 - i) / fade});
        double v = std::sin(2 * std::numbers::pi * hz * i / kWaveRate);
        s.push_back(static_cast<int16_t>(std::lround(9000 * std::max(0.0, env) * v)));
    }
}

// A click: a few milliseconds of a decaying pulse.
void add_click(std::vector<int16_t>& s) {
    int n = kWaveRate * 4 / 1000;
    for (int i = 0; i < n; ++i) {
        double v = std::exp(-i / (n / 5.0)) * (i < n / 2 ? 1.0 : -1.0);
        s.push_back(static_cast<int16_t>(std::lround(12000 * v)));
    }
}

// --- Icon -----------------------------------------------------------------------------------------

constexpr uint32_t kIconBoard = 0xFF1F6E3A;
constexpr uint32_t kIconBoardEdge = 0xFF2F9A55;
constexpr uint32_t kIconCopper = 0xFFD9A441;
constexpr uint32_t kIconHair = 0xFFFFFFFF;

} // namespace

void heartbeat_tick(App& app) {
    Shell& sh = app.shell;
    // 1. A pending file takes the whole tick.
    if (!sh.pending_open.empty() && !sh.refuse_handover && open_pending_file(app)) {
        app.window().invalidate(std::nullopt);
        return;
    }
    // 2.
    tone_step(app);
    // 3.
    sleep_step(app);
    // 4.
    macro_tick(app);
    // 5.
    ++sh.tick;
    if (sh.button_timer != 0) {
        ++sh.button_timer;
    }
    if (sh.move_ignore > 0) {
        --sh.move_ignore;
    }
    two_key_tick(app);
    // 6.
    phase_tick(app);
    // 7.
    if (sh.phase >= 1 && sh.options.animated_icon) {
        sh.icon_frame = (sh.icon_frame + (sh.sleeping ? kIconFrames - 1 : 1)) % kIconFrames;
    }
    // 8.
    if (sh.query_refresh > 0 && --sh.query_refresh == 0 && app.display.view.hooks.query_notify) {
        app.display.view.hooks.query_notify();
    }
    // 9.
    if (sh.services.hooks.tool_window_tick) {
        sh.services.hooks.tool_window_tick(app);
    }
    // A background run's progress, and its end.
    if (sh.services.background.tick) {
        sh.services.background.tick(app);
    }
    // 10.
    const ServiceHooks& h = sh.services.hooks;
    if (!sh.sleeping && sh.options.animated_block && h.block_outline_shown && h.block_outline_shown(app)) {
        sh.block_dash_phase = (sh.block_dash_phase + 4) & 15;
        if (h.block_outline_redraw) {
            h.block_outline_redraw(app, sh.block_dash_phase);
        }
    }
    // 11.
    autosave_step(app);
    // 12.
    status_countdown(app);
    if (sh.tick % kClockTicks == 0) {
        each_second(app);
    }
}

void wake(App& app) {
    Shell& sh = app.shell;
    if (!sh.sleeping) {
        return;
    }
    display::crosshair_off(app.display);
    sh.sleeping = false;
    // What was drawn while asleep is in the sleep copy.
    const display::PixelBuffer& b = app.display.buffer;
    copy_from_sleep(app, display::Rect{0, 0, b.height - 1, b.width - 1});
    sh.surface.dirty = true;
    if (sh.trazel_mode) {
        display::crosshair_on(app.display);
    }
}

void go_to_sleep(App& app) {
    Shell& sh = app.shell;
    display::crosshair_off(app.display);
    recompute_visible(app);
    sh.sleeping = true;
    redraw(app); // into the sleep copy
    if (!sh.surface.visible.empty() && !app.display.interrupted) {
        // Waking copies the whole sleep copy to the screen, so nothing is left to redraw.
        sh.surface.stale = false;
    }
}

bool paint_wakes(const App& app) {
    const Shell& sh = app.shell;
    uint32_t limit = sh.options.sleep_ticks;
    return sh.foreground && (limit == 0 || sh.idle_ticks < static_cast<int64_t>(limit));
}

const uint16_t* tone_sequence(platform::Sound s) {
    switch (s) {
    case platform::Sound::Tick:
        return kToneTick;
    case platform::Sound::Peep:
        return kTonePeep;
    case platform::Sound::Beep:
        return kToneBeep;
    case platform::Sound::Error:
        return kToneError;
    }
    return kToneBeep;
}

int tone_hz(uint16_t divisor) {
    return divisor == 0 ? 0 : static_cast<int>((kPcTimerClock + divisor / 2) / divisor);
}

void play_cue(App& app, platform::Sound s) {
    Services& sv = app.shell.services;
    if (app.shell.options.sound_card_tones) {
        std::vector<uint8_t>& w = sv.waves[cue_index(s)];
        if (w.empty()) {
            w = cue_wave(s);
        }
        app.platform().play_wave(w);
        return;
    }
    // A sequence plays to its end; a cue meanwhile is dropped.
    if (sv.tone.pending || sv.tone.active) {
        return;
    }
    sv.tone.sequence = tone_sequence(s);
    sv.tone.pending = true;
}

namespace {

std::vector<uint8_t> wave_image(const std::vector<int16_t>& samples) {
    uint32_t data = static_cast<uint32_t>(samples.size() * 2);
    std::vector<uint8_t> w;
    w.reserve(44 + data);
    put_tag(w, "RIFF");
    put32(w, 36 + data);
    put_tag(w, "WAVE");
    put_tag(w, "fmt ");
    put32(w, 16);
    put16(w, 1); // PCM
    put16(w, 1); // mono
    put32(w, kWaveRate);
    put32(w, kWaveRate * 2);
    put16(w, 2);
    put16(w, 16);
    put_tag(w, "data");
    put32(w, data);
    for (int16_t v : samples) {
        put16(w, static_cast<uint16_t>(v));
    }
    return w;
}

} // namespace

std::vector<uint8_t> cue_wave(platform::Sound s) {
    std::vector<int16_t> samples;
    for (const uint16_t* p = tone_sequence(s); *p != 0; p += 2) {
        if (p[1] == 0) {
            add_click(samples);
        } else {
            add_tone(samples, static_cast<double>(kPcTimerClock) / p[0], p[1]);
        }
    }
    return wave_image(samples);
}

std::vector<uint8_t> tone_wave(int hz) {
    std::vector<int16_t> samples;
    if (hz > 0) {
        // Whole periods, so that the front end can loop it without a seam.
        int periods = std::max(1, hz * kTickMs / 1000);
        int n = static_cast<int>(std::lround(static_cast<double>(kWaveRate) * periods / hz));
        samples.reserve(static_cast<size_t>(n));
        for (int i = 0; i < n; ++i) {
            double v = std::sin(2 * std::numbers::pi * periods * i / n);
            samples.push_back(static_cast<int16_t>(std::lround(9000 * v)));
        }
    }
    return wave_image(samples);
}

std::vector<uint32_t> icon_frame(int frame, int size) {
    // A small green board with a copper pad ring; a cross-hair turns a quarter turn over the 32 frames
    // (it looks the same after 90 degrees) while a copper via circles once.  The shapes are laid out on
    // the 32-pixel grid; other sizes average 4 x 4 samples a pixel, so thin strokes fade rather than
    // vanish when small and edges stay smooth when large.
    frame = ((frame % kIconFrames) + kIconFrames) % kIconFrames;
    size = std::clamp(size, 1, 1024);
    const double c = (kIconSize - 1) / 2.0;
    const double hair = std::numbers::pi / 2 * frame / kIconFrames;
    const double orbit = 2 * std::numbers::pi * frame / kIconFrames;
    const double vx = c + 10 * std::cos(orbit), vy = c - 10 * std::sin(orbit);
    auto sample = [&](double x, double y) -> uint32_t {
        double dx = x - c, dy = c - y;
        // Board with rounded corners.
        double ox = std::max(0.0, std::abs(dx) - 11.5), oy = std::max(0.0, std::abs(dy) - 11.5);
        double corner = std::hypot(ox, oy);
        if (corner > 3.5) {
            return 0;
        }
        uint32_t p = corner > 2.5 ? kIconBoardEdge : kIconBoard;
        double r = std::hypot(dx, dy);
        if (r >= 3.5 && r <= 5.5) {
            p = kIconCopper;
        }
        if (std::hypot(x - vx, y - vy) <= 2.2) {
            p = kIconCopper;
        }
        // The two strokes of the cross-hair.
        double along1 = dx * std::cos(hair) + dy * std::sin(hair);
        double across1 = -dx * std::sin(hair) + dy * std::cos(hair);
        bool on = (std::abs(across1) < 0.75 && std::abs(along1) <= 13) ||
                  (std::abs(along1) < 0.75 && std::abs(across1) <= 13);
        if (on && r > 1.5) {
            p = kIconHair;
        }
        return p;
    };
    std::vector<uint32_t> px(static_cast<size_t>(size) * static_cast<size_t>(size), 0);
    const int sub = size == kIconSize ? 1 : 4;
    const double step = static_cast<double>(kIconSize) / size / sub;
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            // Colour weighted by alpha, so transparent samples do not darken the edge.
            double a = 0, rr = 0, gg = 0, bb = 0;
            for (int j = 0; j < sub; ++j) {
                for (int i = 0; i < sub; ++i) {
                    uint32_t p = sample((x * sub + i + 0.5) * step - 0.5, (y * sub + j + 0.5) * step - 0.5);
                    double pa = (p >> 24) / 255.0;
                    a += pa;
                    rr += pa * ((p >> 16) & 0xFF);
                    gg += pa * ((p >> 8) & 0xFF);
                    bb += pa * (p & 0xFF);
                }
            }
            if (a > 0) {
                auto ch = [&](double v) { return static_cast<uint32_t>(std::lround(v / a)); };
                uint32_t alpha = static_cast<uint32_t>(std::lround(a * 255 / (sub * sub)));
                px[static_cast<size_t>(y) * static_cast<size_t>(size) + static_cast<size_t>(x)] =
                    (alpha << 24) | (ch(rr) << 16) | (ch(gg) << 8) | ch(bb);
            }
        }
    }
    return px;
}

std::string clock_text(int hour24, int minute, bool colon) {
    int h = hour24 % 12 == 0 ? 12 : hour24 % 12;
    std::string s;
    s += h >= 10 ? static_cast<char>('0' + h / 10) : ' ';
    s += static_cast<char>('0' + h % 10);
    s += colon ? ':' : ' ';
    s += static_cast<char>('0' + (minute / 10) % 10);
    s += static_cast<char>('0' + minute % 10);
    s += hour24 >= 12 ? " pm" : " am";
    return s;
}

int clock_column(int width) {
    return std::max(0, width - kClockChars * kFontWidth - kClockMargin);
}

void place_clock(App& app) {
    std::vector<display::StatusText>& st = app.display.status;
    int col = clock_column(app.display.view.area.width());
    int& last = app.shell.services.clock_col;
    std::erase_if(st, [last](const display::StatusText& t) { return t.col == last; });
    last = col;
    std::tm t = local_time(app);
    st.push_back({col, clock_text(t.tm_hour, t.tm_min, app.shell.clock_colon)});
}

} // namespace trazel::shell
