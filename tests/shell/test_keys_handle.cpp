// The key handler: two-key commands, fixed keys, cursor steps, typed coordinates, layer stepping and
// keystroke recording.
#include "keys_fixture.h"

namespace trazel::test {

using shell::code;

namespace {

constexpr int kScanP = 0x19, kScanL = 0x26, kScanI = 0x17, kScanO = 0x18, kScanX = 0x2D;
constexpr int kPad8 = 72, kPadStar = 0x37, kPadPlus = 0x4E;

} // namespace

class KeyHandle : public ServicesTest {
  protected:
    void SetUp() override {
        ServicesTest::SetUp();
        boot();
    }
    void type(std::string_view text) {
        for (char c : text) {
            shell::handle_key(*app, shell::key_of_char(*app, static_cast<unsigned char>(c)));
        }
    }
    display::View& view() {
        return app->display.view;
    }
};

TEST_F(KeyHandle, GroupLetterWaitsFiveTicksForItsSecondKey) {
    spy("P");
    press(kScanP);
    EXPECT_EQ(app->shell.pending_group, 'P');
    tick(4);
    press(kScanL);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].code, code('P', 'L'));
    EXPECT_EQ(calls[0].source, shell::kSourceTwoKey);
    EXPECT_TRUE(win.opened_menus.empty());

    // P alone: the Place menu (index 1 of "FPGEDQUSBNZ?") opens on the fifth tick.
    press(kScanP);
    tick(4);
    EXPECT_TRUE(win.opened_menus.empty());
    tick();
    EXPECT_EQ(win.opened_menus, std::vector<int>{1});
    EXPECT_EQ(app->shell.pending_group, 0);

    // Shift gives the same letters; Alt-F is F; Escape drops a pending letter.
    calls.clear();
    spy("F");
    hold(shell::kScanShiftLeft, true);
    press(kScanP);
    press(kScanL);
    hold(shell::kScanShiftLeft, false);
    hold(shell::kScanAlt, true);
    press(0x21); // Alt-F
    hold(shell::kScanAlt, false);
    press(0x2E); // c
    press(kScanP);
    press(0x01);
    tick(6);
    EXPECT_EQ(codes(), (std::vector<uint16_t>{code('P', 'L'), code('F', 'C')}));
    EXPECT_EQ(win.opened_menus.size(), 1u);
}

TEST_F(KeyHandle, ASecondKeyNoCommandOfTheGroupHasPlaysTheErrorSound) {
    press(kScanP);
    press(0x2C); // z: the Place group has no PZ
    EXPECT_EQ(sounds(platform::Sound::Error), 1);
}

TEST_F(KeyHandle, FixedKeysRunTheirCommandsAtOnce) {
    spy("FGBQNSZU");
    press(kScanI);
    press(kScanO);
    press(kScanX);
    press(0x23); // h
    press(0x14); // t
    hold(shell::kScanAlt, true);
    press(0x2D); // Alt-X
    press(0x11); // Alt-W
    press(0x10); // Alt-Q
    press(kPadPlus);
    hold(shell::kScanAlt, false);
    app->shell.edit.block_active = [](App&) { return true; };
    press(kScanX);
    press(0x1E); // a: rotate/scale the block
    std::vector<uint16_t> want = {code('Z', 'I'), code('Z', 'O'), code('G', 'X'), code('N', 'H'),
                                  code('S', 'T'), code('F', 'X'), code('F', 'S'), code('Q', 0),
                                  code('N', '+'), code('B', 'X'), code('B', 'R')};
    EXPECT_EQ(codes(), want);
    for (const Call& c : calls) {
        EXPECT_EQ(c.source, shell::kSourceKey);
    }
    // J steps the angle mode with a peep; a key without a meaning beeps.
    press(0x24);
    EXPECT_EQ(view().angle_mode, 1);
    EXPECT_EQ(sounds(platform::Sound::Peep), 1);
    press(0x29); // `
    EXPECT_EQ(sounds(platform::Sound::Beep), 1);
    // Space toggles the mode.
    press(0x39);
    EXPECT_TRUE(app->shell.trazel_mode);
    press(0x39);
    EXPECT_FALSE(app->shell.trazel_mode);
}

TEST_F(KeyHandle, KeypadEightStepsTenWithNumLockOrShiftAndOneWithout) {
    plain_document();
    ASSERT_TRUE(shell::enter_trazel_mode(*app));
    // Snap 1/16 inch = 4096 units: one step 4096, ten steps 40960.
    press(kPad8);
    EXPECT_EQ(view().cursor_y, 4096);
    hold(shell::kScanShiftLeft, true);
    press(kPad8);
    hold(shell::kScanShiftLeft, false);
    EXPECT_EQ(view().cursor_y, 4096 + 40960);
    press(shell::kScanNumLock);
    press(kPad8);
    EXPECT_EQ(view().cursor_y, 4096 + 2 * 40960);
    press(kPad8, true); // the grey Up key is one step whatever Num Lock says
    EXPECT_EQ(view().cursor_y, 2 * 4096 + 2 * 40960);
    EXPECT_EQ(view().cursor_x, 0);
    // Ctrl with grey Left: 100 steps; grey Home: one step up and left.
    hold(shell::kScanCtrl, true);
    press(75, true);
    hold(shell::kScanCtrl, false);
    EXPECT_EQ(view().cursor_x, -409600);
    press(71, true);
    EXPECT_EQ(view().cursor_x, -409600 - 4096);
    EXPECT_EQ(view().cursor_y, 3 * 4096 + 2 * 40960);
}

TEST_F(KeyHandle, WindowsModeStepsMoveThePointerAndScrollAtTheEdge) {
    plain_document();
    app->shell.mouse_x = 100;
    app->shell.mouse_y = 100;
    press(77, true); // grey Right
    EXPECT_EQ(win.mouse_x, 101);
    press(shell::kScanNumLock);
    press(kPad8); // keypad 8 with Num Lock: 10 pixels up
    EXPECT_EQ(win.mouse_y, 90);
    // Past the right edge the pointer stops there and the view takes the rest.
    const display::Rect& a = view().area;
    app->shell.mouse_x = a.right - 2;
    int32_t origin = view().origin_x;
    hold(shell::kScanCtrl, true);
    press(77, true);
    hold(shell::kScanCtrl, false);
    EXPECT_EQ(win.mouse_x, a.right);
    EXPECT_EQ(view().origin_x, origin + 98);
}

TEST_F(KeyHandle, TypedCoordinatesMoveTheCursorRelativeToTheRelativeOrigin) {
    plain_document();
    type("1.5,2");
    EXPECT_TRUE(app->shell.trazel_mode);
    ASSERT_TRUE(app->shell.modal_key);
    EXPECT_NE(app->shell.status.text.find("Enter new X,Y cursor position:  1.5,2"), std::string::npos);
    shell::handle_key(*app, shell::kKeyEnter);
    EXPECT_FALSE(app->shell.modal_key);
    EXPECT_EQ(view().cursor_x, 98304); // 1.5 * 65536
    EXPECT_EQ(view().cursor_y, 131072);

    // Relative origin at (1, -1) inch; millimetres and inch marks; Backspace edits.
    view().rel_x = 65536;
    view().rel_y = -65536;
    type("25.4mm,-1\"9");
    shell::handle_key(*app, shell::kKeyBackspace);
    shell::handle_key(*app, shell::kKeyEnter);
    EXPECT_EQ(view().cursor_x, 2 * 65536);
    EXPECT_EQ(view().cursor_y, -2 * 65536);

    // The point is snapped: 0.26 inch (17039 units) goes to 4 * 4096 on the 1/16 grid from the origin.
    view().rel_x = view().rel_y = 0;
    type("0.26,0");
    shell::handle_key(*app, shell::kKeyEnter);
    EXPECT_EQ(view().cursor_x, 16384);

    // Text that is not two numbers stays open with the error sound; Escape leaves the cursor alone.
    type("3");
    shell::handle_key(*app, shell::kKeyEnter);
    EXPECT_TRUE(app->shell.modal_key);
    EXPECT_EQ(sounds(platform::Sound::Error), 1);
    shell::handle_key(*app, shell::kKeyEscape);
    EXPECT_FALSE(app->shell.modal_key);
    EXPECT_EQ(view().cursor_x, 16384);
}

TEST_F(KeyHandle, TypedPointRules) {
    model::Coord x = 0, y = 0;
    EXPECT_TRUE(shell::parse_typed_point(" .5 , -0.25 ", 0, 0, x, y));
    EXPECT_EQ(x, 32768);
    EXPECT_EQ(y, -16384);
    EXPECT_TRUE(shell::parse_typed_point("2\",50.8mm", 10, 20, x, y));
    EXPECT_EQ(x, 131082);
    EXPECT_EQ(y, 131092);
    EXPECT_FALSE(shell::parse_typed_point("1.5", 0, 0, x, y));
    EXPECT_FALSE(shell::parse_typed_point("1,2x", 0, 0, x, y));
    EXPECT_FALSE(shell::parse_typed_point(",2", 0, 0, x, y));
    EXPECT_FALSE(shell::parse_typed_point("-,2", 0, 0, x, y));
}

TEST_F(KeyHandle, KeypadPlusAndMinusStepThroughLayersInUseAndShown) {
    model::Document* d = plain_document();
    auto& layers = d->setup.layers;
    model::set_layer_name(layers[1], "Top");
    model::set_layer_name(layers[2], "Bottom");
    model::set_layer_name(layers[3], "Hidden");
    model::set_layer_name(layers[5], "Silk");
    layers[3].colour = model::kNoColour;
    d->setup.current_layer = 1;
    press(kPadPlus);
    EXPECT_EQ(d->setup.current_layer, 2);
    press(kPadPlus);
    EXPECT_EQ(d->setup.current_layer, 5);
    press(kPadPlus);
    EXPECT_EQ(d->setup.current_layer, 5);
    EXPECT_EQ(sounds(platform::Sound::Beep), 1);
    press(0x4A); // keypad minus
    EXPECT_EQ(d->setup.current_layer, 2);
}

TEST_F(KeyHandle, RecordingKeepsKeyNamesAndPlaysThemBack) {
    spy("Z");
    hold(shell::kScanAlt, true);
    press(kPadStar);
    hold(shell::kScanAlt, false);
    EXPECT_TRUE(app->shell.is_recording);
    EXPECT_EQ(sounds(platform::Sound::Peep), 1);
    EXPECT_EQ(app->shell.status.text, shell::message_text(*app, 0x811));
    press(kScanI);
    hold(shell::kScanShiftLeft, true);
    press(kScanO);
    press(0x28); // '"' must come back as text, not as the start of a quoted token
    hold(shell::kScanShiftLeft, false);
    shell::record_menu_command(*app, code('Z', 'C'));
    hold(shell::kScanAlt, true);
    press(kPadStar);
    hold(shell::kScanAlt, false);
    EXPECT_FALSE(app->shell.is_recording);
    EXPECT_EQ(app->shell.last_recording, "i O \"\"\"\" \"ZC\" ");

    calls.clear();
    press(kPadStar);
    EXPECT_EQ(codes(), (std::vector<uint16_t>{code('Z', 'I'), code('Z', 'O'), code('Z', 'C')}));
}

TEST_F(KeyHandle, FullRecordingBufferBeepsAndKeepsWhatItHas) {
    shell::toggle_recording(*app);
    app->shell.recording.assign(shell::kRecordLimit - 3, 'x');
    shell::record_key(*app, 0x1769); // "i " fits: 4079 characters
    EXPECT_EQ(app->shell.recording.size(), static_cast<size_t>(shell::kRecordLimit - 1));
    shell::record_key(*app, 0x1769);
    EXPECT_EQ(app->shell.recording.size(), static_cast<size_t>(shell::kRecordLimit - 1));
    EXPECT_EQ(sounds(platform::Sound::Beep), 1);
}

} // namespace trazel::test
