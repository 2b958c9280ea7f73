// Start-up and the window's life: window placement from the settings, command-line words, the depth
// check, hand-over from a second start, display changes, and the status message table.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "model/model.h"
#include "app/core/headless_run.h"
#include "shell/heartbeat.h"
#include "shell/settings.h"
#include "shell/shell.h"

namespace trazel::test {

namespace fs = std::filesystem;
using platform::PixelRect;

namespace {

void expect_rect(const PixelRect& r, int top, int left, int bottom, int right) {
    EXPECT_EQ(r.top, top);
    EXPECT_EQ(r.left, left);
    EXPECT_EQ(r.bottom, bottom);
    EXPECT_EQ(r.right, right);
}

fs::path example(const char* name) {
    return fs::path(TRAZEL_SOURCE_DIR) / "share" / "examples" / name;
}

} // namespace

TEST(StartUp, WindowPositionNamesAndNumbers) {
    const PixelRect screen{0, 0, 1079, 1919};
    struct Case {
        const char* setting;
        bool maximized;
    };
    // Numbers are taken only for a window of at least 300 x 200 that lies wholly on the screen.
    for (Case c : {Case{"10 10 299 500", true}, Case{"10 10 400 199", true}, Case{"-1 10 400 300", true},
                   Case{"1700 10 300 200", true}, Case{"10 10 400", true}, Case{"", true}, Case{"Maximized", true},
                   Case{"1620 880 300 200", false}, Case{"10,10 300x200", false}}) {
        SCOPED_TRACE(c.setting);
        EXPECT_EQ(shell::window_placement(c.setting, screen).maximized, c.maximized);
    }
    expect_rect(shell::window_placement("10,20 300x200", screen).rect, 20, 10, 219, 309);
    expect_rect(shell::window_placement("left", screen).rect, 0, 0, 1079, 959);
    expect_rect(shell::window_placement("Right", screen).rect, 0, 960, 1079, 1919);
    expect_rect(shell::window_placement("Bottom", screen).rect, 540, 0, 1079, 1919);
    expect_rect(shell::window_placement("Center", screen).rect, 270, 480, 809, 1439);
    expect_rect(shell::window_placement("Full", screen).rect, 0, 0, 1079, 1919);
    // Maximized keeps a centred half-size window to restore to.
    expect_rect(shell::window_placement("10 10 299 500", screen).rect, 270, 480, 809, 1439);

    // A second monitor's placements are relative to its own origin.
    const PixelRect second{0, 1920, 1023, 3199};
    expect_rect(shell::window_placement("100 50 640 480", second).rect, 50, 2020, 529, 2659);
    EXPECT_TRUE(shell::window_placement("700 50 640 480", second).maximized);
}

TEST(StartUp, TheStoredPositionPlacesTheWindow) {
    {
        shell::HeadlessRun run;
        ASSERT_EQ(shell::write_setting(run.app, "Window Position", "10 10 299 500"), 1);
        ASSERT_NE(run.start(), 0);
        EXPECT_TRUE(run.window.maximized);
    }
    {
        shell::HeadlessRun run;
        ASSERT_EQ(shell::write_setting(run.app, "Window Position", "100,50 640x480"), 1);
        ASSERT_NE(run.start(), 0);
        EXPECT_FALSE(run.window.maximized);
        expect_rect(run.window.frame, 50, 100, 529, 739);
    }
}

TEST(StartUp, CommandLineWords) {
    shell::CommandLine cl = shell::parse_command_line(
        R"("/opt/tz/trazel" -s2 "/tmp/my board.pcb" C:\old files\a.pcb D:\b.sch -x "" /tmp/c.pcb)", false);
    EXPECT_EQ(cl.program_dir, "/opt/tz/");
    EXPECT_EQ(cl.monitor, 2);
    // Unquoted names run up to a blank before a drive letter and a colon (or another absolute name).
    EXPECT_EQ(cl.files, (std::vector<std::string>{"/tmp/my board.pcb", R"(C:\old files\a.pcb)", R"(D:\b.sch)",
                                                  "/tmp/c.pcb"}));

    EXPECT_EQ(shell::parse_command_line("trazel -s9", false).monitor, 1); // the low 3 bits
    EXPECT_EQ(shell::parse_command_line("trazel -sx -s", false).monitor, -1);
    EXPECT_TRUE(shell::parse_command_line("", false).files.empty());
    EXPECT_TRUE(shell::parse_command_line("\"/opt/unterminated", false).files.empty());

    // A handed-over line drops the program name and every option, "-s" included.
    cl = shell::parse_command_line(R"("C:\tz\trazel.exe" -s3 "/tmp/a.pcb" -q)", true);
    EXPECT_EQ(cl.monitor, -1);
    EXPECT_EQ(cl.files, std::vector<std::string>{"/tmp/a.pcb"});
}

TEST(StartUp, ADepthTheDrawingCannotServeIsRefusedWithTheMessage) {
    for (int depth : {4, 15, 0}) {
        shell::HeadlessRun run;
        EXPECT_EQ(run.start({}, depth), 0);
        ASSERT_EQ(run.ui().boxes.size(), 1u);
        EXPECT_EQ(run.ui().boxes[0].text, "This Program requires 8, 16, 24, or 32 bpp video mode.");
        EXPECT_EQ(run.ui().boxes[0].title, "TRAZEL'98");
    }
}

TEST(StartUp, DisplayChangesToAnUnusableDepthAreIgnored) {
    shell::HeadlessRun run;
    ASSERT_NE(run.start({example("demo.pcb").string()}), 0);
    ASSERT_TRUE(run.until_ready());
    shell::Surface& sf = run.app.shell.surface;
    ASSERT_EQ(sf.depth, 32);

    shell::on_display_change(run.app, 4);
    EXPECT_FALSE(sf.display_changed);
    EXPECT_EQ(run.app.depth, 32);

    // A usable depth re-creates the surface at the next paint, which then draws at the new depth.
    shell::on_display_change(run.app, 16);
    EXPECT_TRUE(sf.display_changed);
    run.paint();
    EXPECT_FALSE(sf.display_changed);
    EXPECT_EQ(sf.depth, 16);
    EXPECT_EQ(sf.pitch % 8, 0);
    EXPECT_GE(sf.pitch, sf.width * 2);
    int presents = run.window.presents;
    run.paint();
    EXPECT_GT(run.window.presents, presents);
}

TEST(HandOver, AcceptedFilesOpenOnePerTickAndARefusingInstanceTakesNone) {
    shell::HeadlessRun run;
    ASSERT_NE(run.start({example("demo.pcb").string()}), 0);
    ASSERT_TRUE(run.until_ready());
    ASSERT_EQ(run.app.model.docs.size(), 1u);
    run.window.is_foreground = false;

    std::string line = "\"/usr/bin/trazel\" -s1 \"" + example("demo.sch").string() + "\" \"/no/such/file.pcb\"";
    EXPECT_TRUE(shell::on_handover(run.app, line));
    EXPECT_TRUE(run.window.is_foreground);
    EXPECT_EQ(run.app.shell.monitor, 0); // options are not taken from a hand-over
    run.ui().sounds.clear();
    ASSERT_TRUE(run.until_ready());
    EXPECT_EQ(run.app.model.docs.size(), 2u);
    // The missing name is dropped with the error sound.
    EXPECT_EQ(std::count(run.ui().sounds.begin(), run.ui().sounds.end(), platform::Sound::Error), 1);

    // Unticking "Accetta files da explorer." refuses: the caller then starts an instance of its own.
    platform::Headless::DialogAnswer a;
    a.values["accept_handover"] = "0";
    run.ui().dialog_answers["SetupOptionsBox"].push_back(a);
    run.menu(shell::code('S', 'O'));
    ASSERT_EQ(run.ui().dialogs.size(), 1u);
    ASSERT_TRUE(run.app.shell.refuse_handover);
    EXPECT_FALSE(shell::on_handover(run.app, "trazel \"" + example("demo.pcb").string() + "\""));
    EXPECT_TRUE(run.app.shell.pending_open.empty());
}

TEST(StartUp, TheUsersOpenAndCloseSoundsPlayAtTheFirstTickAndAtTheEnd) {
    struct Waves : platform::Headless {
        void play_wave(const std::vector<uint8_t>& w) override {
            played.emplace_back(w.begin(), w.end());
        }
        std::vector<std::string> played;
    } ui;
    shell::HeadlessRun run(1024, 768, {}, &ui);
    fs::path dir = shell::settings_dir(run.app);
    fs::create_directories(dir);
    std::ofstream(dir / "open.wav") << "RIFF-open";
    std::ofstream(dir / "close.wav") << "RIFF-close";
    const std::string key = "AppEvents\\Schemes\\Apps\\TRAZEL'98\\";
    ASSERT_EQ(shell::write_setting(run.app, key + "Open\\.Current", (dir / "open.wav").string()), 1);
    ASSERT_EQ(shell::write_setting(run.app, key + "Close\\.Current", (dir / "close.wav").string()), 1);
    ASSERT_NE(run.start(), 0);
    EXPECT_TRUE(ui.played.empty());
    run.tick();
    EXPECT_EQ(ui.played, std::vector<std::string>{"RIFF-open"});
    run.tick(30);
    EXPECT_EQ(ui.played.size(), 1u);
    shell::destroy_window(run.app);
    EXPECT_TRUE(run.window.closed);
    EXPECT_EQ(ui.played, (std::vector<std::string>{"RIFF-open", "RIFF-close"}));
}

TEST(StatusMessages, KeysFlagsAndUndefinedNumbers) {
    EXPECT_EQ(shell::message_key(300), "1.2C");
    EXPECT_EQ(shell::message_key(0x811), "8.11");
    EXPECT_EQ(shell::message_key(0x1A05), "A.05"); // only four bits of the high byte count

    shell::HeadlessRun run;
    ASSERT_NE(run.start(), 0);
    ASSERT_TRUE(run.until_ready());
    const shell::StatusMessage& m = run.app.shell.status;
    std::vector<platform::Sound>& sounds = run.ui().sounds;
    sounds.clear();

    shell::show_message(run.app, 300);
    EXPECT_EQ(m.text, "Nulla da cui uscire.");
    EXPECT_FALSE(m.error);
    EXPECT_FALSE(m.sticky);
    EXPECT_TRUE(sounds.empty());

    shell::show_message(run.app, 0x501); // a prompt stays until replaced
    EXPECT_EQ(m.text, "Zoom In:  Select central point.");
    EXPECT_TRUE(m.sticky);
    run.tick(200);
    EXPECT_EQ(m.text, "Zoom In:  Select central point.");

    shell::show_message(run.app, 0x507);
    EXPECT_EQ(m.text, "No data file is open.");
    EXPECT_TRUE(m.error);
    EXPECT_EQ(sounds, std::vector<platform::Sound>{platform::Sound::Error});

    shell::show_message(run.app, 0xFFF);
    EXPECT_EQ(m.text, " Undefined message: F.FF");
    EXPECT_EQ(sounds.size(), 2u);
    // The message shows in the status bar at once, beside the read-outs.
    bool shown = false;
    for (const display::StatusText& t : run.app.display.status) {
        shown = shown || t.text == " Undefined message: F.FF";
    }
    EXPECT_TRUE(shown);

    // In a narrow window the message stops before the clock instead of running under it.
    shell::HeadlessRun narrow(640, 480);
    ASSERT_NE(narrow.start(), 0);
    ASSERT_TRUE(narrow.until_ready());
    shell::show_message(narrow.app, 0x507);
    int clock = shell::clock_column(narrow.app.display.view.area.width());
    bool cut = false;
    for (const display::StatusText& t : narrow.app.display.status) {
        if (t.col == shell::kStatusMessageCol) {
            cut = std::string("No data file is open.").rfind(t.text, 0) == 0 && !t.text.empty() &&
                  t.text.size() < 21 && t.col + 8 * static_cast<int>(t.text.size()) < clock;
        }
    }
    EXPECT_TRUE(cut);
}

} // namespace trazel::test
