// The heartbeat: tone sequences and wave cues, sleep, the icon frames, the clock and the order of a tick.
#include "keys_fixture.h"

namespace trazel::test {

using platform::Sound;

class Heartbeat : public ServicesTest {
  protected:
    void SetUp() override {
        ServicesTest::SetUp();
        boot();
        ui.tones.clear();
    }
    std::vector<std::pair<uint32_t, int>> tones() const {
        std::vector<std::pair<uint32_t, int>> v;
        for (const auto& t : ui.tones) {
            v.push_back({t.tick, t.hz});
        }
        return v;
    }
};

TEST_F(Heartbeat, SpeakerSequencesRunTickByTickAndDropLaterCues) {
    app->shell.options.sound_card_tones = false;
    uint32_t t0 = app->shell.tick;
    shell::play_cue(*app, Sound::Error);
    EXPECT_TRUE(ui.tones.empty()); // it starts on the next tick
    tick();
    shell::play_cue(*app, Sound::Beep); // dropped: the error sequence is playing
    tick(9);
    // 1193182 / 597 = 1998.6 Hz for 2 ticks, 1193182 / 1193 = 1000.2 Hz for 5, then off: 7 ticks.
    using V = std::vector<std::pair<uint32_t, int>>;
    EXPECT_EQ(tones(), (V{{t0, 1999}, {t0 + 2, 1000}, {t0 + 7, 0}}));

    ui.tones.clear();
    uint32_t t1 = app->shell.tick;
    shell::play_cue(*app, Sound::Peep);
    tick(3);
    EXPECT_EQ(tones(), (V{{t1, 1999}, {t1 + 1, 0}}));
    // The tick cue is a click of no length: on and off within one tick (1193182 / 65535 = 18.2 Hz).
    ui.tones.clear();
    shell::play_cue(*app, Sound::Tick);
    tick();
    EXPECT_EQ(tones(), (V{{t1 + 3, 18}, {t1 + 3, 0}}));
    ui.tones.clear();
    shell::play_cue(*app, Sound::Beep);
    tick(3);
    EXPECT_EQ(tones(), (V{{t1 + 4, 1333}, {t1 + 6, 0}})); // 1193182 / 895 = 1333.2
    EXPECT_TRUE(ui.waves.empty());
}

TEST_F(Heartbeat, WaveCuesPlayAtOnceAsLongAsTheirSequences) {
    auto u32 = [](const std::vector<uint8_t>& w, size_t at) {
        return static_cast<uint32_t>(w[at] | w[at + 1] << 8 | w[at + 2] << 16 | w[at + 3] << 24);
    };
    shell::play_cue(*app, Sound::Beep);
    shell::play_cue(*app, Sound::Error);
    shell::play_cue(*app, Sound::Tick);
    ASSERT_EQ(ui.waves.size(), 3u);
    const std::vector<uint8_t>& beep = ui.waves[0];
    EXPECT_EQ(std::string(beep.begin(), beep.begin() + 4), "RIFF");
    EXPECT_EQ(std::string(beep.begin() + 8, beep.begin() + 16), "WAVEfmt ");
    EXPECT_EQ(u32(beep, 24), 22050u);
    EXPECT_EQ(beep[34], 16);
    // 2 ticks of 55 ms at 22050 Hz: 2425 samples of 2 bytes.
    EXPECT_EQ(u32(beep, 40), 4850u);
    EXPECT_EQ(u32(beep, 4), 36u + 4850u);
    EXPECT_EQ(beep.size(), 44u + 4850u);
    // Error: 2425 + 6063 (5 ticks: 6063.75) samples.
    EXPECT_EQ(u32(ui.waves[1], 40), 2u * (2425 + 6063));
    // Tick: a 4 ms click, 88 samples.
    EXPECT_EQ(u32(ui.waves[2], 40), 176u);
    EXPECT_TRUE(ui.tones.empty());
}

TEST_F(Heartbeat, BackgroundSleepsAfterTwelveTicksAndInputWakes) {
    shell::Shell& s = app->shell;
    ASSERT_EQ(s.options.sleep_ticks, 0u);
    tick(2000); // sleeping off: never in the foreground
    EXPECT_FALSE(s.sleeping);

    s.foreground = false;
    tick(11);
    EXPECT_FALSE(s.sleeping);
    tick();
    EXPECT_TRUE(s.sleeping);
    int frame = s.icon_frame;
    tick();
    EXPECT_EQ(s.icon_frame, (frame + 31) % 32); // backwards while asleep
    s.foreground = true;
    shell::wake(*app);
    EXPECT_FALSE(s.sleeping);
    tick();
    EXPECT_EQ(s.icon_frame, frame);

    // Minimized windows do not go to sleep.
    s.sleeping = false;
    s.background_ticks = 0;
    s.minimized = true;
    tick(20);
    EXPECT_FALSE(s.sleeping);
}

TEST_F(Heartbeat, IdleSleepAfterTheSleepModeTimer) {
    shell::Shell& s = app->shell;
    shell::write_setting(*app, "Sleep Mode Timer", "Y");
    shell::read_display_settings(*app);
    ASSERT_EQ(s.options.sleep_ticks, 1092u);
    s.idle_ticks = 0;
    tick(1091);
    EXPECT_FALSE(s.sleeping);
    EXPECT_TRUE(shell::paint_wakes(*app));
    tick();
    EXPECT_TRUE(s.sleeping);
    EXPECT_FALSE(shell::paint_wakes(*app)); // idle count at the limit
    // The picture went into the sleep copy.
    EXPECT_TRUE(std::any_of(s.surface.sleep_copy.begin(), s.surface.sleep_copy.end(), [](uint8_t b) { return b; }));
    press(0x39); // any key wakes
    EXPECT_FALSE(s.sleeping);
    EXPECT_EQ(s.idle_ticks, -1);
}

TEST_F(Heartbeat, StatusMessagesClearAfterFiveSecondsAndTheClockBlinks) {
    shell::show_text(*app, "Passing message");
    tick(90);
    EXPECT_EQ(app->shell.status.text, "Passing message");
    tick();
    EXPECT_EQ(app->shell.status.text, "");
    shell::show_text(*app, "Sticky message", false, true);
    tick(200);
    EXPECT_EQ(app->shell.status.text, "Sticky message");

    EXPECT_EQ(shell::clock_text(0, 5, true), "12:05 am");
    EXPECT_EQ(shell::clock_text(9, 7, true), " 9:07 am");
    EXPECT_EQ(shell::clock_text(12, 0, false), "12 00 pm");
    EXPECT_EQ(shell::clock_text(23, 59, true), "11:59 pm");

    app->shell.services.local_time = [] {
        std::tm t{};
        t.tm_hour = 14;
        t.tm_min = 30;
        return t;
    };
    auto clock = [this]() -> std::string {
        int col = shell::clock_column(app->display.view.area.width());
        for (const display::StatusText& t : app->display.status) {
            if (t.col == col) {
                return t.text;
            }
        }
        return "none";
    };
    while (app->shell.tick % shell::kClockTicks != shell::kClockTicks - 1) {
        tick();
    }
    tick();
    std::string first = clock();
    tick(shell::kClockTicks);
    std::string second = clock();
    EXPECT_NE(first, second);
    EXPECT_TRUE((first == " 2:30 pm" && second == " 2 30 pm") || (first == " 2 30 pm" && second == " 2:30 pm"));
    // The clock survives the shell's rebuild of its own texts, once.
    shell::refresh_status_bar(*app);
    EXPECT_EQ(std::count_if(app->display.status.begin(), app->display.status.end(),
                            [](const display::StatusText& t) { return t.text.ends_with("pm"); }),
              1);
}

TEST_F(Heartbeat, IconFramesTurn) {
    std::vector<uint32_t> f0 = shell::icon_frame(0), f1 = shell::icon_frame(1);
    ASSERT_EQ(f0.size(), 32u * 32u);
    EXPECT_EQ(f0[0], 0u);                    // the corner outside the board is transparent
    EXPECT_EQ(f0[16 * 32 + 3] >> 24, 0xFFu); // inside the board everything is opaque
    EXPECT_NE(f0, f1);
    EXPECT_EQ(shell::icon_frame(32), f0);
    EXPECT_EQ(shell::icon_frame(-1), shell::icon_frame(31));
    int frame = app->shell.icon_frame;
    tick(3);
    EXPECT_EQ(app->shell.icon_frame, (frame + 3) % 32);
    app->shell.options.animated_icon = false;
    tick(3);
    EXPECT_EQ(app->shell.icon_frame, (frame + 3) % 32);
}

class HeartbeatStart : public ServicesTest {};

TEST_F(HeartbeatStart, APendingFileTakesTheWholeTick) {
    fs::path board = root / "demo.pcb";
    fs::copy_file(fs::path(TRAZEL_SOURCE_DIR) / "share" / "examples" / "demo.pcb", board);
    ASSERT_NE(shell::start(*app, "\"" + (root / "bin" / "trazel").string() + "\" \"" + board.string() + "\"", 32), 0);
    int invalidated = win.invalidations;
    tick();
    EXPECT_NE(app->doc(), nullptr);
    EXPECT_EQ(app->shell.tick, 0u);
    EXPECT_GT(win.invalidations, invalidated);
    tick();
    EXPECT_EQ(app->shell.tick, 1u);
}

} // namespace trazel::test
