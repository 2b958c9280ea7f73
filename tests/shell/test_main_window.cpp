// The window seen from outside: entering and leaving TRAZEL mode, the mouse kept re-centred, dialogs
// suspending the mode, resizes that repaint only what they uncovered, paint while asleep, display
// changes, monitor switches and the monitor table, and what the front end is handed at 8 and 16 bits.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/core/headless_run.h"
#include "display/display.h"
#include "shell/settings.h"
#include "shell/shell.h"

namespace trazel::test {

namespace fs = std::filesystem;
using platform::MenuItem;
using platform::PixelRect;

namespace {

constexpr uint32_t kMarker = 0x00123456;

// A headless platform whose dialogs run a piece of the test while they are open.
class DuringDialog : public platform::Headless {
  public:
    std::function<void()> during;
    bool dialog(platform::Form& form) override {
        if (during) {
            during();
        }
        return platform::Headless::dialog(form);
    }
};

std::string demo() {
    return (fs::path(TRAZEL_SOURCE_DIR) / "share" / "examples" / "demo.pcb").string();
}

const MenuItem* find_submenu(const std::vector<MenuItem>& list, int id) {
    for (const MenuItem& m : list) {
        if (m.id == id) {
            return &m;
        }
        if (const MenuItem* f = find_submenu(m.items, id)) {
            return f;
        }
    }
    return nullptr;
}

} // namespace

class StartedWindow : public ::testing::Test {
  protected:
    void boot(int width = 1024, int height = 768, int depth = 32) {
        run = std::make_unique<shell::HeadlessRun>(width, height, std::string{}, &ui);
        ASSERT_NE(run->start({demo()}, depth), 0);
        ASSERT_TRUE(run->until_ready());
        ASSERT_NE(run->app.doc(), nullptr);
        run->move(400, 300);
        run->move(401, 301);
    }

    uint32_t& pixel(int row, int col) {
        shell::Surface& s = run->app.shell.surface;
        uint8_t* p = run->app.pixels.data() + static_cast<size_t>(row) * static_cast<size_t>(s.pitch) +
                     static_cast<size_t>(col) * 4;
        return *reinterpret_cast<uint32_t*>(p);
    }
    void fill(uint32_t v) {
        shell::Surface& s = run->app.shell.surface;
        for (int row = 0; row < s.height; ++row) {
            for (int col = 0; col < s.width; ++col) {
                pixel(row, col) = v;
            }
        }
    }
    std::vector<uint8_t> row_bytes(int row) {
        shell::Surface& s = run->app.shell.surface;
        const uint8_t* p = run->app.pixels.data() + static_cast<size_t>(row) * static_cast<size_t>(s.pitch);
        return {p, p + static_cast<size_t>(s.width) * 4};
    }
    void to_background_sleep() {
        shell::Shell& s = run->app.shell;
        s.foreground = false;
        run->tick(12);
        ASSERT_TRUE(s.sleeping);
    }

    DuringDialog ui;
    std::unique_ptr<shell::HeadlessRun> run;
};

using TrazelModeCrossHair = StartedWindow;
using WindowResizeAndPaint = StartedWindow;
using WindowMonitors = StartedWindow;
using SurfacePixelFormats = StartedWindow;

// --- Modes ----------------------------------------------------------------------------------------

TEST_F(TrazelModeCrossHair, EnteringStepsTheCrossHairInsideByWholeGridSpacingsAndLeavingUndoesIt) {
    boot();
    shell::Shell& s = run->app.shell;
    display::View& v = run->app.display.view;
    v.snap = 0x10000u * 6554; // about a tenth of an inch
    display::set_cursor_from_pixel(v, 2, 3);
    ASSERT_LT(v.cursor_col, display::kEdgeMarginX);
    const display::Coord x0 = v.cursor_x, y0 = v.cursor_y;
    shell::set_function(run->app, [](App&) { return 1; }, [](App&) { return 1; }, "Test:  Select a point.");
    run->app.display.band = display::RubberBand::Rectangle;

    ASSERT_EQ(shell::enter_trazel_mode(run->app), 1);
    const display::Rect& a = v.area;
    EXPECT_GE(v.cursor_col, a.left + display::kEdgeMarginX);
    EXPECT_GE(v.cursor_row, a.top + display::kEdgeMarginY);
    EXPECT_EQ((v.cursor_x - x0) % 6554, 0);
    EXPECT_EQ((y0 - v.cursor_y) % 6554, 0);
    EXPECT_NE(v.cursor_x, x0);
    // The mouse in the middle of the cross-hair rectangle, held there.
    EXPECT_EQ(run->window.mouse_x, a.left + (a.right - a.left) / 2);
    EXPECT_EQ(run->window.mouse_y, a.top + (a.bottom - a.top) / 2);
    ASSERT_TRUE(run->window.clip.has_value());
    EXPECT_EQ(run->window.clip->bottom, a.bottom);
    EXPECT_TRUE(run->window.captured);
    EXPECT_FALSE(run->window.cursor_shown);
    EXPECT_FALSE(run->window.menu_bar_shown);

    shell::leave_trazel_mode(run->app, true);
    EXPECT_FALSE(s.trazel_mode);
    EXPECT_FALSE(s.slots[0].left);
    EXPECT_TRUE(s.prompt.empty());
    EXPECT_EQ(run->app.display.band, display::RubberBand::None);
    EXPECT_EQ(run->window.mouse_x, v.cursor_col);
    EXPECT_EQ(run->window.mouse_y, v.cursor_row);
    EXPECT_FALSE(run->window.clip.has_value());
    EXPECT_FALSE(run->window.captured);
    EXPECT_TRUE(run->window.cursor_shown);
    EXPECT_TRUE(run->window.menu_bar_shown);
}

TEST_F(TrazelModeCrossHair, ADrawingAreaBelowTwentyFourRowsTakesNoCrossHair) {
    // 46 client rows leave 24 for drawing, 45 only 23.
    boot(400, 45);
    EXPECT_EQ(shell::enter_trazel_mode(run->app), 0);
    EXPECT_FALSE(run->app.shell.trazel_mode);
    EXPECT_TRUE(run->window.cursor_shown);
    boot(400, 46);
    EXPECT_EQ(shell::enter_trazel_mode(run->app), 1);
}

TEST_F(TrazelModeCrossHair, TheMouseIsPutBackAQuarterPastTheCentre) {
    boot();
    ASSERT_EQ(shell::enter_trazel_mode(run->app), 1);
    // Drawing area 1024 x 746: centre 511, 372; half sizes 512 and 373.  The shell's mouse position is
    // the last move's unless it warped the mouse.
    const shell::Shell& s = run->app.shell;
    const int cx = 511, cy = 372;
    run->move(cx + 256, cy); // still inside the middle half
    EXPECT_EQ(s.mouse_x, cx + 256);
    run->move(cx + 257, cy);
    EXPECT_EQ(s.mouse_x, cx - 128);
    EXPECT_EQ(run->window.mouse_x, cx - 128);
    run->move(cx - 257, cy);
    EXPECT_EQ(s.mouse_x, cx + 128);
    run->move(cx, cy + 187);
    EXPECT_EQ(s.mouse_y, cy - 93);
    EXPECT_EQ(s.mouse_x, cx);
    run->move(cx, cy - 187);
    EXPECT_EQ(s.mouse_y, cy + 93);
}

TEST_F(TrazelModeCrossHair, ADialogSuspendsTrazelModeAndGivesTheCrossHairBack) {
    boot();
    shell::Shell& s = run->app.shell;
    display::View& v = run->app.display.view;
    ASSERT_EQ(shell::enter_trazel_mode(run->app), 1);
    run->move(520, 380);
    const display::Coord x0 = v.cursor_x, y0 = v.cursor_y;
    const display::Rect a = v.area;
    int seen_x = -1, seen_y = -1;
    bool seen_trazel = true, still_suspended = false;
    ui.during = [&] {
        seen_x = run->window.mouse_x;
        seen_y = run->window.mouse_y;
        seen_trazel = s.trazel_mode;
        // A move over the window while the dialog is open, and a message box from inside it.
        run->move(50, 60);
        shell::ask(run->app, "Inner", "Inner", platform::Buttons::Ok);
        still_suspended = s.suspended == 1;
    };
    platform::Form f;
    f.name = "TestBox";
    shell::run_dialog(run->app, f);
    EXPECT_EQ(seen_x, a.left + (a.right - a.left) / 2);
    EXPECT_EQ(seen_y, a.top + (a.bottom - a.top) / 2);
    EXPECT_FALSE(seen_trazel);
    EXPECT_TRUE(still_suspended);
    EXPECT_EQ(s.suspended, 0);
    EXPECT_TRUE(s.trazel_mode);
    EXPECT_EQ(v.cursor_x, x0);
    EXPECT_EQ(v.cursor_y, y0);
    EXPECT_TRUE(run->app.display.crosshair_showing);

    // In Windows mode the mouse comes back to where it was.
    shell::leave_trazel_mode(run->app, true);
    run->move(300, 200);
    shell::run_dialog(run->app, f);
    EXPECT_FALSE(s.trazel_mode);
    EXPECT_EQ(run->window.mouse_x, 300);
    EXPECT_EQ(run->window.mouse_y, 200);
}

// --- Resize and paint ---------------------------------------------------------------------------

TEST_F(WindowResizeAndPaint, GrowingRepaintsOnlyTheUncoveredStrips) {
    boot();
    run->paint();
    fill(kMarker);
    shell::on_resize(run->app, 1100, 800);
    run->paint();
    const display::Rect& a = run->app.display.view.area;
    ASSERT_EQ(a.bottom, 800 - 22 - 1);
    EXPECT_EQ(pixel(10, 10), kMarker);   // kept
    EXPECT_EQ(pixel(700, 1000), kMarker); // kept, and moved with the bottom: still the old picture
    EXPECT_NE(pixel(10, 1050), kMarker); // the new right strip
    EXPECT_NE(pixel(10, 1050), 0u);
    EXPECT_NE(pixel(760, 10), 0u); // the old status bar rows are drawing area now
    EXPECT_NE(pixel(a.bottom + 5, 10), 0u);
}

TEST_F(WindowResizeAndPaint, ShrinkingRedrawsTheStatusBarWhereItNowIs) {
    boot();
    run->paint();
    fill(kMarker);
    shell::on_resize(run->app, 1000, 700);
    run->paint();
    const display::Rect& a = run->app.display.view.area;
    EXPECT_EQ(pixel(10, 10), kMarker);
    EXPECT_NE(pixel(a.bottom + 5, 10), kMarker);
    EXPECT_NE(pixel(a.bottom + 20, 900), kMarker);
}

TEST_F(WindowResizeAndPaint, AResizeInTrazelModeMovesTheMouseClip) {
    boot(600, 400);
    ASSERT_EQ(shell::enter_trazel_mode(run->app), 1);
    shell::on_resize(run->app, 1200, 900);
    ASSERT_TRUE(run->window.clip.has_value());
    EXPECT_EQ(run->window.clip->right, 1199);
    EXPECT_EQ(run->window.clip->bottom, 900 - 22 - 1);
    EXPECT_EQ(run->app.shell.crosshair_rect.right, 1199);
}

TEST_F(WindowResizeAndPaint, NothingIsPaintedBeforeTheFirstTickOrWhileMinimized) {
    run = std::make_unique<shell::HeadlessRun>(1024, 768, std::string{}, &ui);
    ASSERT_NE(run->start({}), 0);
    int presents = run->window.presents;
    run->paint();
    EXPECT_EQ(run->window.presents, presents);
    run->tick();
    run->paint();
    EXPECT_GT(run->window.presents, presents);

    presents = run->window.presents;
    run->app.shell.minimized = true;
    run->paint();
    EXPECT_EQ(run->window.presents, presents);
}

TEST_F(WindowResizeAndPaint, WhileAsleepPaintCopiesFromTheSleepCopyAndTheForegroundWakes) {
    boot();
    shell::Shell& s = run->app.shell;
    to_background_sleep();
    std::fill(s.surface.sleep_copy.begin(), s.surface.sleep_copy.end(), uint8_t{0x5A});
    fill(0);
    run->paint();
    EXPECT_TRUE(s.sleeping);
    EXPECT_EQ(pixel(100, 100), 0x5A5A5A5Au);
    EXPECT_EQ(pixel(760, 100), 0x5A5A5A5Au); // the status bar too

    // In the foreground with the idle count at the sleep limit it sleeps on; below it, it wakes.
    shell::write_setting(run->app, "Sleep Mode Timer", "Y");
    shell::read_display_settings(run->app);
    s.foreground = true;
    s.idle_ticks = static_cast<int32_t>(s.options.sleep_ticks);
    run->paint();
    EXPECT_TRUE(s.sleeping);
    s.idle_ticks = 3;
    run->paint();
    EXPECT_FALSE(s.sleeping);
}

TEST_F(WindowResizeAndPaint, ASurfaceMadeAnewWhileAsleepStillShowsThePicture) {
    boot();
    run->paint();
    const std::vector<uint8_t> before = row_bytes(300);
    to_background_sleep();

    // A display change at the same depth: the next paint re-creates, the one after shows the picture.
    shell::on_display_change(run->app, 32);
    run->paint();
    run->paint();
    EXPECT_EQ(row_bytes(300), before);

    // A resize while asleep as well.
    shell::on_resize(run->app, 1024, 700);
    run->paint();
    const std::vector<uint8_t> after = row_bytes(300);
    EXPECT_NE(std::count(after.begin(), after.end(), uint8_t{0}), static_cast<long>(after.size()));
}

// --- Display changes and monitors ----------------------------------------------------------------

TEST_F(WindowMonitors, ADisplayChangeThatNoLongerFitsPlacesTheWindowAtAnEighth) {
    boot();
    run->window.frame = {0, 0, 1079, 1919};
    run->window.screens = {{"Small display", {0, 0, 767, 1023}}};
    shell::on_display_change(run->app, 32);
    const PixelRect& w = run->window.frame;
    EXPECT_EQ(w.left, 128);
    EXPECT_EQ(w.top, 96);
    EXPECT_EQ(w.right - w.left + 1, 768);
    EXPECT_EQ(w.bottom - w.top + 1, 576);

    // A window that fits stays where it is.
    run->window.frame = {10, 20, 509, 719};
    shell::on_display_change(run->app, 16);
    EXPECT_EQ(run->window.frame.left, 20);
    EXPECT_EQ(run->window.frame.bottom, 509);
}

TEST_F(WindowMonitors, SwitchingMonitorKeepsTheRelativePlaceAndMaximizesAgain) {
    run = std::make_unique<shell::HeadlessRun>(1024, 768, std::string{}, &ui);
    run->window.screens = {{"One", {0, 0, 1079, 1919}}, {"Two", {-200, 1920, 1239, 3839}}};
    ASSERT_NE(run->start({demo()}), 0);
    ASSERT_TRUE(run->until_ready());
    shell::Shell& s = run->app.shell;
    run->window.frame = {100, 50, 899, 1049};
    s.window_maximized = true;
    ASSERT_EQ(shell::enter_trazel_mode(run->app), 1);
    ASSERT_EQ(shell::switch_monitor(run->app, 1), 1);
    EXPECT_FALSE(s.trazel_mode);
    EXPECT_TRUE(run->window.maximized);
    EXPECT_EQ(run->window.frame.left, 50 + 1920);
    EXPECT_EQ(run->window.frame.top, 100 - 200);
    EXPECT_EQ(s.monitor_y, -200);
    EXPECT_EQ(s.monitor_h1, 1439);
    s.window_maximized = false;
    ASSERT_EQ(shell::switch_monitor(run->app, 0), 1);
    EXPECT_FALSE(run->window.maximized);
    EXPECT_EQ(run->window.frame.left, 50);
    EXPECT_EQ(run->window.frame.top, 100);
}

TEST_F(WindowMonitors, TheMonitorTableKeepsEightAndOneMonitorHasOnlyTheParametersEntry) {
    boot();
    const MenuItem* m = find_submenu(run->window.menus, shell::kMonitorMenuId);
    ASSERT_NE(m, nullptr);
    ASSERT_EQ(m->items.size(), 1u);
    EXPECT_EQ(m->items[0].label, "&Screen Parameters");
    EXPECT_EQ(m->items[0].code, shell::kMonitorDialog);

    run->window.screens.clear();
    for (int i = 0; i < 10; ++i) {
        run->window.screens.push_back({"Display with a rather long driver name " + std::to_string(i),
                                       {0, 1920 * i, 1079, 1920 * i + 1919}});
    }
    shell::enumerate_monitors(run->app);
    shell::Shell& s = run->app.shell;
    EXPECT_EQ(s.monitor_count, 8);
    EXPECT_EQ(s.monitors.size(), 8u);
    EXPECT_EQ(s.monitors[0].description.size(), 32u);
    m = find_submenu(run->window.menus, shell::kMonitorMenuId);
    ASSERT_NE(m, nullptr);
    ASSERT_EQ(m->items.size(), 8u);
    EXPECT_EQ(m->items[7].label, "Screen &7");
    EXPECT_EQ(m->items[7].code, shell::kMonitorDialog + 7);
}

// --- What the front end is handed -----------------------------------------------------------------

TEST_F(SurfacePixelFormats, EightBitSurfacesCarryThePaletteOfTheirMonitorsLayout) {
    boot(1024, 768, 8);
    platform::SurfaceView sv = shell::surface_view(run->app);
    ASSERT_EQ(sv.depth, 8);
    ASSERT_NE(sv.palette, nullptr);
    EXPECT_EQ(sv.palette[7], 0xAAAAAAu);   // status bar face
    EXPECT_EQ(sv.palette[248], 0x555555u); // shadow
    EXPECT_EQ(sv.palette[255], 0xFFFFFFu); // light
    EXPECT_EQ(sv.palette[20 + 5 * 6 + 5 * 36], 0xFFFF00u);

    run->app.shell.monitors[0].palette_layout = 5;
    ASSERT_TRUE(shell::create_surfaces(run->app));
    sv = shell::surface_view(run->app);
    EXPECT_EQ(sv.palette[100], 0x646464u);
    run->app.shell.monitors[0].palette_layout = 6;
    ASSERT_TRUE(shell::create_surfaces(run->app));
    sv = shell::surface_view(run->app);
    EXPECT_EQ(sv.palette[9], 0u);
    EXPECT_EQ(sv.palette[128], 0x808080u);
    EXPECT_EQ(sv.palette[255], 0xFFFFFFu);
}

TEST_F(SurfacePixelFormats, SixteenBitSurfacesAreFiveSixFive) {
    boot(640, 480, 16);
    platform::SurfaceView sv = shell::surface_view(run->app);
    EXPECT_EQ(sv.depth, 16);
    EXPECT_EQ(sv.pitch % 8, 0);
    EXPECT_EQ(sv.red_shift, 11);
    EXPECT_EQ(sv.green_shift, 5);
    EXPECT_EQ(sv.blue_shift, 0);
    EXPECT_EQ(sv.red_bits, 5);
    EXPECT_EQ(sv.green_bits, 6);
    EXPECT_EQ(sv.blue_bits, 5);
    // The background 0x909090 drops 3 bits of red and blue and 2 of green.
    EXPECT_EQ(display::colour_to_pixel(run->app.display.format, 0x909090), 0x9492u);
}

} // namespace trazel::test
