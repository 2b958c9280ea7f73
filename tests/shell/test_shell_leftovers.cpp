// What the user comes back to after leaving the drawing for a moment: the File group's file dialogs and
// old-format question, a lent menu bar given back from the keyboard, a window moved or grown on its left
// or top edge; and a keystroke macro's long repeat that a held key must be able to stop.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "app/core/headless_run.h"
#include "display/display.h"
#include "shell/macros.h"
#include "shell/shell.h"

namespace trazel::test {

namespace fs = std::filesystem;
using shell::code;

namespace {

// A platform whose file dialogs and message boxes run a piece of the test while they are open.
class PromptPlatform : public platform::Headless {
  public:
    std::function<void()> during;
    std::vector<std::string> prompts;

    std::vector<std::string> open_file_dialog(std::string_view title, const std::vector<std::string>&, int&,
                                              bool, const platform::FilePreview&) override {
        seen(title);
        return {};
    }
    std::string save_file_dialog(std::string_view title, const std::vector<std::string>&, int&,
                                 std::string_view) override {
        seen(title);
        return {};
    }
    platform::Answer message_box(std::string_view text, std::string_view title, platform::Buttons buttons,
                                 int default_button) override {
        seen(title);
        return Headless::message_box(text, title, buttons, default_button);
    }

  private:
    void seen(std::string_view title) {
        prompts.emplace_back(title);
        if (during) {
            during();
        }
    }
};

class Leftovers : public ::testing::Test {
  protected:
    void SetUp() override {
        std::random_device rd;
        root = fs::temp_directory_path() / ("trazel-leftovers-" + std::to_string(rd()) + std::to_string(rd()));
        fs::create_directories(root);
        // A copy: a save that went ahead by mistake must not touch the demo.
        fs::copy_file(fs::path(TRAZEL_SOURCE_DIR) / "share" / "examples" / "demo.pcb", root / "demo.pcb");
        run = std::make_unique<shell::HeadlessRun>(1024, 768, std::string{}, &ui);
        ASSERT_NE(run->start({(root / "demo.pcb").string()}), 0);
        ASSERT_TRUE(run->until_ready());
        ASSERT_NE(run->app.doc(), nullptr);
        run->move(400, 300);
        run->move(401, 301);
    }
    void TearDown() override {
        run.reset();
        std::error_code ec;
        fs::remove_all(root, ec);
    }

    shell::Shell& sh() {
        return run->app.shell;
    }
    display::View& view() {
        return run->app.display.view;
    }
    // The screen column and row of a Document point, with the client area's top-left at (x, y).
    std::pair<int, int> on_screen(int x, int y, model::Coord px, model::Coord py) {
        return {x + display::to_screen_x(view(), px), y + display::to_screen_y(view(), py)};
    }

    fs::path root;
    PromptPlatform ui;
    std::unique_ptr<shell::HeadlessRun> run;
};

} // namespace

// --- File prompts -----------------------------------------------------------------------------------

using FilePrompts = Leftovers;

// Open, Save as and the old-format question of Save: moves over the window while each is open shift
// the cursor, and the user comes back to the mouse and cross-hair from before, as after any dialog.
TEST_F(FilePrompts, EachPromptGivesTheMouseAndTheCrossHairBack) {
    run->app.doc()->setup.format_code = '2';
    // Keep the old format: version 2 cannot be written, which Save says before it writes the Data file.
    ui.answers.push_back(platform::Answer::Cancel);
    const uint16_t commands[] = {code('F', 'O'), code('F', 'A'), code('F', 'S')};
    const std::vector<std::vector<std::string>> expected = {
        {"Select File to be Opened"}, {"Save File As"}, {"Save File Warning", "TRAZEL'98"}};
    for (size_t i = 0; i < std::size(commands); ++i) {
        SCOPED_TRACE(i);
        ASSERT_EQ(shell::enter_trazel_mode(run->app), 1);
        run->move(520, 380);
        const model::Coord x0 = view().cursor_x, y0 = view().cursor_y;
        bool suspended = false, trazel = true;
        ui.prompts.clear();
        ui.during = [&] {
            suspended = sh().suspended == 1;
            trazel = sh().trazel_mode;
            run->move(50, 60);
        };
        shell::execute_command(run->app, commands[i], shell::kSourceKey);
        EXPECT_EQ(ui.prompts, expected[i]);
        EXPECT_TRUE(suspended);
        EXPECT_FALSE(trazel);
        EXPECT_EQ(sh().suspended, 0);
        EXPECT_TRUE(sh().trazel_mode);
        EXPECT_EQ(view().cursor_x, x0);
        EXPECT_EQ(view().cursor_y, y0);
        EXPECT_TRUE(run->app.display.crosshair_showing);

        // In Windows mode the mouse comes back to where it was.
        shell::leave_trazel_mode(run->app, true);
        run->move(300, 200);
        if (commands[i] == code('F', 'S')) {
            // The keyboard's Save wrote the Data file: the old format again, so the prompts come back.
            run->app.doc()->setup.format_code = '2';
            ui.answers.push_back(platform::Answer::Cancel);
        }
        ui.prompts.clear();
        shell::execute_command(run->app, commands[i], shell::kSourceMouse);
        EXPECT_EQ(ui.prompts, expected[i]);
        EXPECT_FALSE(sh().trazel_mode);
        EXPECT_EQ(run->window.mouse_x, 300);
        EXPECT_EQ(run->window.mouse_y, 200);
        ui.answers.push_back(platform::Answer::Cancel);
    }
    EXPECT_EQ(run->app.doc()->setup.format_code, 'C');
}

// --- The lent menu bar --------------------------------------------------------------------------------

using LentMenuBar = Leftovers;

TEST_F(LentMenuBar, AKeyboardCommandBringsTheCrossHairBackToWhereItWasLent) {
    int moved = 0;
    sh().edit.cursor_moved = [&](App&) { ++moved; };
    shell::set_group_handler(run->app, 'Q', [](App&, uint16_t, shell::Source) { return 1; });
    ASSERT_EQ(shell::enter_trazel_mode(run->app), 1);
    const model::Coord x0 = view().cursor_x, y0 = view().cursor_y;

    run->key(0x01); // Escape with nothing to cancel lends the menu bar
    ASSERT_FALSE(sh().trazel_mode);
    ASSERT_EQ(sh().popup_state, 1);
    run->move(60, 70); // Windows mode: the cursor follows the mouse
    ASSERT_NE(view().cursor_x, x0);
    moved = 0;
    run->key(0x21); // F: after five ticks its menu opens on the menu bar, used from the keyboard
    run->tick(6);
    ASSERT_EQ(run->window.opened_menus.size(), 1u);
    run->menu(code('Q', 'A'));
    EXPECT_TRUE(sh().trazel_mode);
    EXPECT_EQ(sh().popup_state, 0);
    EXPECT_EQ(view().cursor_x, x0);
    EXPECT_EQ(view().cursor_y, y0);
    EXPECT_EQ(view().cursor_col, display::to_screen_x(view(), x0));
    EXPECT_TRUE(run->app.display.crosshair_showing);
    EXPECT_GE(moved, 1); // what hangs on the cursor follows it back

    // Back in TRAZEL mode by Space before the command: the cross-hair placed since is the one kept.
    run->key(0x01);
    ASSERT_FALSE(sh().trazel_mode);
    run->move(80, 90);
    const model::Coord x1 = view().cursor_x, y1 = view().cursor_y;
    run->key(0x39);
    ASSERT_TRUE(sh().trazel_mode);
    run->menu(code('Q', 'A'));
    EXPECT_TRUE(sh().trazel_mode);
    EXPECT_EQ(view().cursor_x, x1);
    EXPECT_EQ(view().cursor_y, y1);

    // Chosen with the mouse, the command ends the lending: Windows mode and the cursor where it is.
    run->key(0x01);
    run->move(100, 110);
    const model::Coord x2 = view().cursor_x;
    run->menu(code('Q', 'A'));
    EXPECT_FALSE(sh().trazel_mode);
    EXPECT_EQ(view().cursor_x, x2);
}

// --- Moves and resizes on every edge -----------------------------------------------------------------

namespace {

uint32_t pattern(int row, int col) {
    return 0x01000000u | static_cast<uint32_t>(row) << 12 | static_cast<uint32_t>(col);
}

} // namespace

class WindowEdges : public Leftovers {
  protected:
    uint32_t& pixel(int row, int col) {
        shell::Surface& s = sh().surface;
        uint8_t* p = run->app.pixels.data() + static_cast<size_t>(row) * static_cast<size_t>(s.pitch) +
                     static_cast<size_t>(col) * 4;
        return *reinterpret_cast<uint32_t*>(p);
    }
    // Every pixel tells where it was.
    void mark() {
        shell::Surface& s = sh().surface;
        for (int row = 0; row < s.height; ++row) {
            for (int col = 0; col < s.width; ++col) {
                pixel(row, col) = pattern(row, col);
            }
        }
    }
};

TEST_F(WindowEdges, GrowingOnTheLeftAndTopKeepsTheDrawingStillAndPaintsOnlyTheNewStrips) {
    shell::on_window_pos(run->app, 200, 150, 1024, 768); // the first report only tells where it is
    run->paint();
    const model::Coord px = view().cursor_x, py = view().cursor_y;
    const auto before = on_screen(200, 150, px, py);
    mark();
    const int presents = run->window.presents;

    shell::on_window_pos(run->app, 100, 100, 1124, 818);
    EXPECT_EQ(on_screen(100, 100, px, py), before);
    EXPECT_EQ(view().cursor_col, before.first - 100);
    run->paint();
    EXPECT_GT(run->window.presents, presents);
    // The old picture moved 100 columns right and 50 rows down inside the surface.
    EXPECT_EQ(pixel(50 + 10, 100 + 10), pattern(10, 10));
    EXPECT_EQ(pixel(50 + 700, 100 + 1000), pattern(700, 1000));
    // The new left and top strips are drawn, and the status bar where it now is.
    for (auto [row, col] : {std::pair{400, 50}, std::pair{20, 600}, std::pair{50 + 750, 600}}) {
        SCOPED_TRACE(row);
        EXPECT_EQ(pixel(row, col) & 0xFF000000u, 0u);
        EXPECT_NE(pixel(row, col), 0u);
    }
    EXPECT_EQ(view().area.bottom, 818 - 22 - 1);

    // A move and then a resize before any paint: the first one's strip moves along and is drawn too.
    mark();
    shell::on_window_pos(run->app, 40, 100, 1124, 818);
    shell::on_window_pos(run->app, 40, 100, 1200, 818);
    run->paint();
    EXPECT_EQ(on_screen(40, 100, px, py), before);
    EXPECT_EQ(pixel(400, 30) & 0xFF000000u, 0u);   // uncovered by the move
    EXPECT_EQ(pixel(400, 1150) & 0xFF000000u, 0u); // uncovered by the resize
    EXPECT_EQ(pixel(400, 600), pattern(400, 540)); // kept
}

TEST_F(WindowEdges, AMoveAloneShiftsTheViewAndShrinkingFromTheLeftDropsTheLeftColumns) {
    shell::on_window_pos(run->app, 0, 0, 1024, 768);
    run->paint();
    const model::Coord px = 3 * 65536, py = 2 * 65536;
    const auto before = on_screen(0, 0, px, py);
    const int32_t ox = view().origin_x, oy = view().origin_y;
    mark();
    shell::on_window_pos(run->app, 30, 40, 1024, 768);
    EXPECT_EQ(on_screen(30, 40, px, py), before);
    EXPECT_EQ(view().origin_x, ox + 30);
    EXPECT_EQ(view().origin_y, oy - 40);
    run->paint();
    EXPECT_EQ(pixel(100, 100), pattern(140, 130));

    mark();
    shell::on_window_pos(run->app, 130, 40, 924, 768);
    EXPECT_EQ(on_screen(130, 40, px, py), before);
    EXPECT_EQ(pixel(100, 0), pattern(100, 100));
    EXPECT_EQ(pixel(100, 923), pattern(100, 1023));
}

TEST_F(WindowEdges, TheMouseStillOnTheScreenDoesNotMoveTheCrossHair) {
    shell::on_window_pos(run->app, 0, 0, 1024, 768);
    ASSERT_EQ(shell::enter_trazel_mode(run->app), 1);
    const int mx = sh().mouse_x, my = sh().mouse_y;
    const model::Coord x0 = view().cursor_x, y0 = view().cursor_y;
    // The window moves right and down under a pointer that stays put: in client pixels the pointer moved
    // the other way, which is no motion of the user's.
    shell::on_window_pos(run->app, 25, 15, 1024, 768);
    run->move(mx - 25, my - 15);
    EXPECT_EQ(view().cursor_x, x0);
    EXPECT_EQ(view().cursor_y, y0);
    EXPECT_TRUE(sh().trazel_mode);
}

TEST_F(WindowEdges, ASwitchOfMonitorMovesTheWindowWithItsScreenAndNothingElse) {
    shell::on_window_pos(run->app, 100, 80, 1024, 768);
    const int32_t ox = view().origin_x, oy = view().origin_y;
    sh().monitor_x += 1920;
    shell::on_window_pos(run->app, 100 + 1920, 80, 1024, 768);
    EXPECT_EQ(view().origin_x, ox);
    EXPECT_EQ(view().origin_y, oy);
    // On the new screen a move is a move again.
    shell::on_window_pos(run->app, 100 + 1920 + 8, 80, 1024, 768);
    EXPECT_EQ(view().origin_x, ox + 8);
}

// --- A long repeat in a keystroke macro ------------------------------------------------------------

using MacroRepeat = Leftovers;

// A key pressed while a repeat runs is seen between its presses, not only between tokens: the question
// comes within 64 presses of it, and Cancel ends the repeat and the macro.
TEST_F(MacroRepeat, AKeyPressedDuringALongRepeatStopsItWithinSixtyFourPresses) {
    int calls = 0;
    shell::set_group_handler(run->app, 'Z', [&](App&, uint16_t, shell::Source) {
        ++calls;
        return 1;
    });
    int peeks = 0;
    ui.input_script = [&] {
        platform::WaitingInput w;
        w.key_scan = calls >= 1000 ? 0x01 : 0;
        ++peeks;
        return w;
    };
    ui.answers.push_back(platform::Answer::Cancel);
    shell::play_macro(run->app, "40640i <ZO>");
    EXPECT_FALSE(shell::macro_playing(run->app));
    ASSERT_EQ(ui.prompts, std::vector<std::string>{"TRAZEL'98"});
    EXPECT_GE(calls, 1000);
    EXPECT_LT(calls, 1000 + 64);
    EXPECT_EQ(calls % 64, 0);
    ui.input_script = nullptr;
}

// The fuzz input that once ran for seconds inside one tick stops at the fuzz harness's budget, each
// press of the repeat counted.
TEST_F(MacroRepeat, TheRepeatCountFuzzInputEndsWithinItsBudget) {
    std::ifstream in(fs::path(TRAZEL_SOURCE_DIR) / "fuzz" / "corpus" / "fuzz_shell_text" / "macro-repeat-count",
                     std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_EQ(text.substr(0, 6), "40640j");
    shell::Services& sv = sh().services;
    sv.macro_token_budget = 4096;
    shell::play_macro(run->app, text);
    EXPECT_TRUE(sv.macro_budget_spent);
    EXPECT_EQ(sv.macro_tokens_played, 4096u);
    EXPECT_FALSE(shell::macro_playing(run->app));
}

} // namespace trazel::test
