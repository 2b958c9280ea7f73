// Where mouse input goes in the two modes: quick clicks and holds counted in ticks, panning by drag, the
// popup menu, the modal key handler and what deactivating the window undoes.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "app/core/headless_run.h"
#include "model/model.h"
#include "shell/shell.h"

namespace trazel::test {

namespace fs = std::filesystem;
using shell::Button;
using shell::code;

struct Call {
    uint16_t code;
    shell::Source source;
};

class Interaction : public ::testing::Test {
  protected:
    void SetUp() override {
        fs::path demo = fs::path(TRAZEL_SOURCE_DIR) / "share" / "examples" / "demo.pcb";
        ASSERT_NE(run.start({demo.string()}), 0);
        ASSERT_TRUE(run.until_ready());
        ASSERT_NE(run.app.doc(), nullptr);
        // Zoom and the test group 'Q' record instead of acting, so the view stays put.
        for (char g : std::string("ZQ")) {
            shell::set_group_handler(run.app, g, [this](App&, uint16_t c, shell::Source source) {
                calls.push_back({c, source});
                return 1;
            });
        }
        shell::Shell& s = run.app.shell;
        s.edit.items_on_cursor = [this](App&) { return hanging; };
        s.edit.drop_items = [this](App&) {
            ++dropped;
            hanging = false;
            return 1;
        };
        s.edit.cancel_items = [this](App&) {
            ++cancelled;
            hanging = false;
            return 1;
        };
        run.move(400, 300);
        run.move(401, 301);
    }

    std::vector<uint16_t> codes() const {
        std::vector<uint16_t> v;
        for (const Call& c : calls) {
            v.push_back(c.code);
        }
        return v;
    }

    // A function in the first slot pair that counts its clicks.
    void counting_function() {
        shell::set_function(
            run.app,
            [this](App&) {
                ++lefts;
                return 1;
            },
            [this](App&) {
                ++rights;
                return 1;
            },
            "Test:  Select a point.");
    }

    void enter_trazel() {
        ASSERT_EQ(shell::enter_trazel_mode(run.app), 1);
        ASSERT_TRUE(run.app.shell.trazel_mode);
    }

    shell::HeadlessRun run;
    std::vector<Call> calls;
    bool hanging = false;
    int dropped = 0, cancelled = 0, lefts = 0, rights = 0;
};

using Codes = std::vector<uint16_t>;

TEST_F(Interaction, WindowsModeQuickClicksZoomAndHoldsDoNot) {
    shell::Shell& s = run.app.shell;
    run.press(Button::Left);
    EXPECT_FALSE(s.trazel_mode);
    EXPECT_TRUE(run.window.captured);
    EXPECT_EQ(run.window.cursor_shape, platform::CursorShape::Hand);
    run.tick(7);
    run.release(Button::Left);
    EXPECT_EQ(codes(), Codes{code('Z', 'I')});
    EXPECT_EQ(calls[0].source, shell::kSourceKey); // at once, on the cursor
    EXPECT_FALSE(run.window.captured);
    EXPECT_EQ(run.window.cursor_shape, platform::CursorShape::Arrow);
    EXPECT_EQ(s.button_timer, 0u);

    run.click(Button::Left, 8);
    EXPECT_EQ(calls.size(), 1u);

    run.click(Button::Right, 7);
    EXPECT_EQ(codes(), (Codes{code('Z', 'I'), code('Z', 'O')}));
    run.click(Button::Right, 8);
    EXPECT_EQ(calls.size(), 2u);
    EXPECT_FALSE(s.trazel_mode);
    EXPECT_TRUE(run.window.menu_bar_shown);
}

TEST_F(Interaction, WindowsModeLeftDownEntersTrazelModeWhenSomethingWaits) {
    shell::Shell& s = run.app.shell;
    // Zoom with the mouse off.
    s.options.zoom_with_mouse = false;
    run.press(Button::Left);
    EXPECT_TRUE(s.trazel_mode);
    EXPECT_FALSE(run.window.menu_bar_shown);
    EXPECT_FALSE(run.window.cursor_shown);
    EXPECT_TRUE(run.window.captured);
    EXPECT_TRUE(run.window.clip.has_value());
    run.release(Button::Left);
    EXPECT_TRUE(calls.empty());
    shell::leave_trazel_mode(run.app, true);
    s.options.zoom_with_mouse = true;

    // Items hanging on the cursor.
    hanging = true;
    run.press(Button::Left);
    EXPECT_TRUE(s.trazel_mode);
    EXPECT_EQ(dropped, 0); // the press only switched the mode
    run.release(Button::Left);
    shell::leave_trazel_mode(run.app, true);
    hanging = false;

    // A repeat command.
    s.repeat_command = code('Q', 'R');
    run.press(Button::Left);
    EXPECT_TRUE(s.trazel_mode);
    run.release(Button::Left);
    EXPECT_TRUE(calls.empty());
    shell::leave_trazel_mode(run.app, true);
    s.repeat_command = 0;

    // The right button held first.
    run.press(Button::Right);
    EXPECT_FALSE(s.trazel_mode);
    run.press(Button::Left);
    EXPECT_TRUE(s.trazel_mode);
    run.release(Button::Left);
    run.release(Button::Right);
}

TEST_F(Interaction, WindowsModeRightClickCancelsBeforeItZoomsOut) {
    shell::Shell& s = run.app.shell;
    counting_function();
    s.slots[0].left = nullptr; // a right handler alone does not enter TRAZEL mode on the right button
    run.click(Button::Right, 2);
    EXPECT_EQ(rights, 1);
    EXPECT_TRUE(calls.empty());
    shell::clear_function(run.app);

    hanging = true;
    run.click(Button::Right, 2);
    EXPECT_EQ(cancelled, 1);
    EXPECT_TRUE(calls.empty());

    s.options.zoom_with_mouse = false;
    run.click(Button::Right, 2);
    EXPECT_TRUE(calls.empty());
    EXPECT_NE(s.status.text.find("Nulla da cui uscire."), std::string::npos) << s.status.text;

    // With the menu bar away (TRAZEL mode left without it) the release only brings it back.
    s.options.zoom_with_mouse = true;
    enter_trazel();
    shell::leave_trazel_mode(run.app, false);
    EXPECT_FALSE(run.window.menu_bar_shown);
    run.click(Button::Right, 1);
    EXPECT_TRUE(run.window.menu_bar_shown);
    EXPECT_TRUE(calls.empty());
}

TEST_F(Interaction, TrazelModeClicksGoToTheFirstHandlerAndAHoldGivesASecondPoint) {
    shell::Shell& s = run.app.shell;
    enter_trazel();
    counting_function();
    // A quick click: one point.
    run.click(Button::Left, 5);
    EXPECT_EQ(lefts, 1);
    // Held six ticks: the release is a second point.
    run.click(Button::Left, 6);
    EXPECT_EQ(lefts, 3);
    EXPECT_TRUE(s.trazel_mode);
    EXPECT_TRUE(calls.empty()); // no zoom clicks in TRAZEL mode

    // A sub-step stacked in the second slot pair takes over once the first pair is empty.
    int second = 0;
    s.slots[0].left = nullptr;
    s.slots[1].left = [&second](App&) {
        ++second;
        return 1;
    };
    run.click(Button::Left, 0);
    EXPECT_EQ(second, 1);
    EXPECT_EQ(lefts, 3);
    shell::clear_function(run.app);

    // Nothing active: the repeat command, once per click, then twice for a hold.
    s.repeat_command = code('Q', 'R');
    run.click(Button::Left, 1);
    ASSERT_EQ(codes(), Codes{code('Q', 'R')});
    EXPECT_EQ(calls[0].source, shell::kSourceRepeat);
    run.click(Button::Left, 6);
    EXPECT_EQ(calls.size(), 3u);
    s.repeat_command = 0;
    calls.clear();

    // Items on the cursor are dropped; a hold with nothing to give the point to beeps.
    hanging = true;
    const auto& sounds = run.ui().sounds;
    const auto beeps = [&sounds] { return std::count(sounds.begin(), sounds.end(), platform::Sound::Beep); };
    const auto before = beeps();
    run.press(Button::Left);
    EXPECT_EQ(dropped, 1);
    run.tick(6);
    run.release(Button::Left);
    EXPECT_EQ(beeps(), before + 1);
    EXPECT_TRUE(s.trazel_mode);
}

TEST_F(Interaction, TrazelModeClickWithNothingToDoLendsTheMenuBar) {
    shell::Shell& s = run.app.shell;
    enter_trazel();
    run.click(Button::Left, 1);
    EXPECT_FALSE(s.trazel_mode);
    EXPECT_TRUE(run.window.menu_bar_shown);
    EXPECT_TRUE(run.window.cursor_shown);
    EXPECT_EQ(s.popup_state, 1);
    // A command from the lent menu bar after keyboard use gives it back and TRAZEL mode returns.
    s.input_state = shell::kSourceTwoKey;
    run.menu(code('Q', 'A'));
    EXPECT_TRUE(s.trazel_mode);
    EXPECT_EQ(s.popup_state, 0);
    ASSERT_EQ(codes(), Codes{code('Q', 'A')});
    EXPECT_EQ(calls[0].source, shell::kSourceTwoKey);

    // A quick right click with nothing to cancel does the same; a slow one does nothing.
    run.click(Button::Right, 8);
    EXPECT_TRUE(s.trazel_mode);
    run.click(Button::Right, 7);
    EXPECT_FALSE(s.trazel_mode);
    EXPECT_TRUE(run.window.menu_bar_shown);
    run.menu(code('M', 'S'));
    EXPECT_EQ(s.popup_state, 0);
    EXPECT_FALSE(s.trazel_mode); // "show menu bar" keeps Windows mode

    // With hanging Items the quick right click cancels them instead.
    enter_trazel();
    hanging = true;
    run.click(Button::Right, 1);
    EXPECT_EQ(cancelled, 1);
    EXPECT_TRUE(s.trazel_mode);
}

TEST_F(Interaction, PopupMenuOpensAtTheCrossHairAndRunsOneCommand) {
    shell::Shell& s = run.app.shell;
    s.options.popup_menus = true;
    ASSERT_EQ(s.popup_menu.items.size(), 2u);
    enter_trazel();
    const display::View& v = run.app.display.view;
    int col = v.cursor_col, row = v.cursor_row;
    run.click(Button::Left, 1);
    ASSERT_EQ(run.window.popups.size(), 1u);
    EXPECT_EQ(run.window.popups[0], std::make_pair(col, row));
    EXPECT_EQ(s.popup_state, -1);
    EXPECT_FALSE(s.trazel_mode);
    EXPECT_FALSE(run.window.menu_bar_shown); // lent without the menu bar

    run.menu(code('Q', 'B'));
    ASSERT_EQ(codes(), Codes{code('Q', 'B')});
    EXPECT_EQ(calls[0].source, shell::kSourceTwoKey);
    EXPECT_EQ(s.popup_state, 0);
    EXPECT_TRUE(s.trazel_mode);
    EXPECT_FALSE(run.window.menu_bar_shown);

    // Without a function the next click opens it again; with hanging Items it drops them instead.
    hanging = true;
    run.click(Button::Left, 1);
    EXPECT_EQ(dropped, 1);
    EXPECT_EQ(run.window.popups.size(), 1u);
    run.click(Button::Left, 1);
    EXPECT_EQ(run.window.popups.size(), 2u);
}

TEST_F(Interaction, ARightPressWhileThePopupIsOpenClosesItAndClicksNothing) {
    shell::Shell& s = run.app.shell;
    s.options.popup_menus = true;
    enter_trazel();
    run.click(Button::Left, 1);
    ASSERT_EQ(s.popup_state, -1);

    // Two Escapes close a submenu and the menu; the cross-hair comes back and the release is no click.
    run.press(Button::Right);
    EXPECT_EQ(run.window.escape_keys, 2);
    EXPECT_EQ(s.popup_state, 0);
    EXPECT_TRUE(s.trazel_mode);
    EXPECT_EQ(s.button_timer, 0u);
    run.release(Button::Right);
    EXPECT_TRUE(s.trazel_mode);
    EXPECT_FALSE(run.window.menu_bar_shown);
    EXPECT_TRUE(calls.empty());
    EXPECT_EQ(s.popup_state, 0);

    // The next quick right click is an ordinary one again: with nothing to cancel it lends the menu bar.
    run.click(Button::Right, 1);
    EXPECT_EQ(run.window.escape_keys, 2);
    EXPECT_FALSE(s.trazel_mode);
    EXPECT_TRUE(run.window.menu_bar_shown);
    EXPECT_EQ(s.popup_state, 1);

    // A popup closed without a choice (Escape, a click outside it) also gives the cross-hair back.
    run.menu(code('Q', 'A'));
    ASSERT_TRUE(s.trazel_mode);
    calls.clear();
    run.click(Button::Left, 1);
    ASSERT_EQ(s.popup_state, -1);
    shell::on_popup_closed(run.app);
    EXPECT_TRUE(s.trazel_mode);
    EXPECT_EQ(s.popup_state, 0);
    shell::on_popup_closed(run.app); // a second report changes nothing
    EXPECT_TRUE(s.trazel_mode);
    EXPECT_TRUE(calls.empty());
}

namespace {

void collect_codes(const platform::MenuItem& m, std::vector<uint16_t>& out) {
    if (m.items.empty() && m.code != 0) {
        out.push_back(m.code);
    }
    for (const platform::MenuItem& i : m.items) {
        collect_codes(i, out);
    }
}

bool has(const std::vector<uint16_t>& v, uint16_t c) {
    return std::find(v.begin(), v.end(), c) != v.end();
}

} // namespace

TEST(PopupMenu, SheetsGetTheWiringSubmenuAndBoardsTheCopperOne) {
    fs::path examples = fs::path(TRAZEL_SOURCE_DIR) / "share" / "examples";
    for (const char* file : {"demo.sch", "demo.pcb"}) {
        SCOPED_TRACE(file);
        bool sheet = std::string(file) == "demo.sch";
        shell::HeadlessRun run;
        ASSERT_NE(run.start({(examples / file).string()}), 0);
        ASSERT_TRUE(run.until_ready());
        ASSERT_NE(run.app.doc(), nullptr);
        ASSERT_EQ(model::IsSchematic(), sheet);
        run.app.shell.options.popup_menus = true;
        run.move(400, 300);
        run.move(401, 301);
        ASSERT_EQ(shell::enter_trazel_mode(run.app), 1);
        run.click(Button::Left, 1);
        ASSERT_EQ(run.window.popup_menus.size(), 1u);
        std::vector<uint16_t> shown;
        collect_codes(run.window.popup_menus[0], shown);
        EXPECT_EQ(has(shown, code('P', 'W')), sheet);  // signal wire
        EXPECT_EQ(has(shown, code('P', 'V')), !sheet); // via
        EXPECT_EQ(has(shown, code('G', 'P')), !sheet); // grab pad
        EXPECT_TRUE(has(shown, code('Z', 'I')));
        EXPECT_TRUE(has(shown, code('U', 'U')));
    }
}

TEST_F(Interaction, PanningByDragMovesTheViewNotTheDocument) {
    shell::Shell& s = run.app.shell;
    display::View& v = run.app.display.view;
    int64_t ox = v.origin_x, oy = v.origin_y;
    int32_t cx = v.cursor_x, cy = v.cursor_y;

    // A small move in the first 8 ticks is no pan: the release still zooms.
    run.press(Button::Left);
    run.move(406, 305);
    EXPECT_EQ(s.button_timer & shell::kPanFlag, 0u);
    run.release(Button::Left);
    EXPECT_EQ(codes(), Codes{code('Z', 'I')});
    EXPECT_EQ(v.origin_x, ox);
    calls.clear();

    // Ten pixels pan at once, by the whole move since the press.
    ox = v.origin_x;
    oy = v.origin_y;
    cx = v.cursor_x;
    cy = v.cursor_y;
    run.press(Button::Left);
    run.move(406 + 12, 305 - 3);
    EXPECT_NE(s.button_timer & shell::kPanFlag, 0u);
    EXPECT_EQ(v.origin_x, ox - 12);
    EXPECT_EQ(v.origin_y, oy - 3);
    run.move(406 + 20, 305 - 3);
    EXPECT_EQ(v.origin_x, ox - 20);
    run.tick(2);
    run.release(Button::Left);
    EXPECT_TRUE(calls.empty()); // a pan is no zoom click
    EXPECT_EQ(s.button_timer, 0u);
    EXPECT_FALSE(run.window.captured);
    EXPECT_EQ(v.cursor_x, cx); // the cross-hair stays on its Document point while it is well inside
    EXPECT_EQ(v.cursor_y, cy);

    // After 8 ticks any move pans, with the right button too.
    ox = v.origin_x;
    run.press(Button::Right);
    run.tick(8);
    run.move(427, 302);
    EXPECT_NE(s.button_timer & shell::kPanFlag, 0u);
    EXPECT_EQ(v.origin_x, ox - 1);
    run.release(Button::Right);
    EXPECT_TRUE(calls.empty());
    EXPECT_EQ(s.button_timer, 0u);
}

TEST_F(Interaction, PanningPullsTheCrossHairBackInside) {
    display::View& v = run.app.display.view;
    // Drag the cursor's Document point far to the left edge and beyond.
    run.move(100, 300);
    run.press(Button::Left);
    run.move(100 - 300, 300);
    run.release(Button::Left);
    const display::Rect& a = v.area;
    EXPECT_GE(v.cursor_col, a.left + shell::kPanPullInside - 1);
    EXPECT_LE(v.cursor_col, a.right - shell::kPanPullInside + 1);
    EXPECT_TRUE(calls.empty());
}

TEST_F(Interaction, ModalKeyHandlerTakesClicksAsEnterAndEscape) {
    shell::Shell& s = run.app.shell;
    std::vector<uint16_t> keys;
    s.modal_key = [&keys](App&, uint16_t k) {
        keys.push_back(k);
        return 1;
    };
    counting_function();
    // In Windows mode: no TRAZEL mode, no zoom clicks, the function's handlers untouched.
    run.click(Button::Left, 2);
    run.click(Button::Right, 2);
    EXPECT_EQ(keys, (std::vector<uint16_t>{shell::kKeyEnter, shell::kKeyEscape}));
    EXPECT_FALSE(s.trazel_mode);
    EXPECT_TRUE(calls.empty());
    EXPECT_EQ(lefts + rights, 0);
    // In TRAZEL mode the same.
    enter_trazel();
    run.click(Button::Left, 9);
    run.click(Button::Right, 1);
    EXPECT_EQ(keys, (std::vector<uint16_t>{shell::kKeyEnter, shell::kKeyEscape, shell::kKeyEnter, shell::kKeyEscape}));
    EXPECT_EQ(lefts + rights, 0);
    EXPECT_TRUE(s.trazel_mode);
}

TEST_F(Interaction, WheelZoomsInTowardsTheUser) {
    shell::on_wheel(run.app, -120);
    shell::on_wheel(run.app, 120);
    enter_trazel();
    shell::on_wheel(run.app, -120);
    EXPECT_EQ(codes(), (Codes{code('Z', 'I'), code('Z', 'O'), code('Z', 'I')}));
    for (const Call& c : calls) {
        EXPECT_EQ(c.source, shell::kSourceKey);
    }
}

TEST_F(Interaction, DeactivationCancelsWhatWaitsAndGivesTheMouseBack) {
    shell::Shell& s = run.app.shell;
    std::vector<uint16_t> keys;
    enter_trazel();
    counting_function();
    s.modal_key = [&keys](App&, uint16_t k) {
        keys.push_back(k);
        return 1;
    };
    hanging = true;
    const display::View& v = run.app.display.view;

    // Minimizing and a suspended shell leave everything as it is.
    shell::on_activate(run.app, false, true);
    EXPECT_TRUE(s.trazel_mode);
    s.suspended = 1;
    shell::on_activate(run.app, false, false);
    EXPECT_TRUE(s.trazel_mode);
    s.suspended = 0;

    shell::on_activate(run.app, false, false);
    EXPECT_EQ(keys, std::vector<uint16_t>{shell::kKeyEscape});
    EXPECT_EQ(cancelled, 1);
    EXPECT_FALSE(s.trazel_mode);
    EXPECT_TRUE(run.window.menu_bar_shown);
    EXPECT_TRUE(run.window.cursor_shown);
    EXPECT_FALSE(run.window.captured);
    EXPECT_FALSE(run.window.clip.has_value());
    EXPECT_EQ(run.window.mouse_x, v.cursor_col); // the mouse where the cross-hair was
    EXPECT_EQ(run.window.mouse_y, v.cursor_row);
    EXPECT_FALSE(s.slots[0].left); // leaving TRAZEL mode ends the first handler pair

    // A press that was going on is forgotten: its release zooms nothing.
    s.modal_key = nullptr;
    run.press(Button::Left);
    shell::on_activate(run.app, false, false);
    EXPECT_EQ(run.window.cursor_shape, platform::CursorShape::Arrow);
    EXPECT_FALSE(run.window.captured);
    run.release(Button::Left);
    EXPECT_TRUE(calls.empty());
}

} // namespace trazel::test
