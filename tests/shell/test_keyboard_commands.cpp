// The keyboard's commands and values that are easy to get wrong: the whole fixed-key table, the group
// letters and their menus, Enter and Escape, stored function-key macros, command tokens, self-restarting
// macros, recorded key names, and the value forms of parameter defaults.
#include "keys_fixture.h"
#include "shell/menus.h"

namespace trazel::test {

using shell::code;

namespace {

constexpr int kScanComma = 0x33, kScanSlash = 0x35, kScanIntl = 86, kPadPlus = 0x4E, kPadMinus = 0x4A;

} // namespace

class StartedKeys : public ServicesTest {
  protected:
    void SetUp() override {
        ServicesTest::SetUp();
        boot();
    }
    void with(int modifier, int scan) {
        hold(modifier, true);
        press(scan);
        hold(modifier, false);
    }
    // Hands every key the handler passes on to a modal handler to `typed`.
    void catch_keys() {
        app->shell.modal_key = [this](App&, uint16_t k) {
            typed.push_back(k);
            return 1;
        };
    }
    std::vector<uint16_t> typed;
};

using FixedKeyCommands = StartedKeys;
using KeyboardMacros = StartedKeys;
using KeyParameterValues = StartedKeys;

TEST_F(FixedKeyCommands, EveryFixedLetterAndAltKeyRunsItsCommand) {
    spy("BFGNQSUZ");
    int rotations = 0, images = 0;
    app->shell.services.hooks.rotate_block = [&rotations](App&) { return ++rotations; };
    app->shell.services.hooks.next_image = [&images](App&) { return ++images; };
    // i o c w l x y m r a k t h, lower case without a block ...
    const int letters[] = {0x17, 0x18, 0x2E, 0x11, 0x26, 0x2D, 0x15, 0x32, 0x13, 0x1E, 0x25, 0x14, 0x23};
    for (int scan : letters) {
        press(scan);
    }
    std::vector<uint16_t> want = {code('Z', 'I'), code('Z', 'O'), code('Z', 'C'), code('Z', 'W'), code('Z', 'L'),
                                  code('G', 'X'), code('G', 'Y'), code('G', 'M'), code('G', 'R'), code('G', 'N'),
                                  code('G', 'S'), code('S', 'T'), code('N', 'H')};
    EXPECT_EQ(codes(), want);
    // ... and upper case with a block: X, Y, R, A and K act on the block.
    calls.clear();
    app->shell.edit.block_active = [](App&) { return true; };
    for (int scan : letters) {
        with(shell::kScanShiftLeft, scan);
    }
    want = {code('Z', 'I'), code('Z', 'O'), code('Z', 'C'), code('Z', 'W'), code('Z', 'L'), code('B', 'X'),
            code('B', 'Y'), code('G', 'M'), code('B', 'R'), code('B', 'R'), code('S', 'T'), code('N', 'H')};
    EXPECT_EQ(codes(), want);
    EXPECT_EQ(rotations, 1);

    // Alt with x w e p d n - u b g r v h q, keypad + and -, and m (the next picture).
    calls.clear();
    const int alt_keys[] = {0x2D, 0x11, 0x12, 0x19, 0x20, 0x31, 0x0C,     0x16,
                            0x30, 0x22, 0x13, 0x2F, 0x23, 0x10, kPadPlus, kPadMinus};
    for (int scan : alt_keys) {
        with(shell::kScanAlt, scan);
    }
    with(shell::kScanAlt, 0x32);
    want = {code('F', 'X'), code('F', 'S'), code('F', 'O'), code('F', 'P'), code('F', 'D'), code('F', 'N'),
            code('F', 'V'), code('U', 'U'), code('B', 'G'), code('S', 'G'), code('S', 'P'), code('S', 'W'),
            code('N', 'S'), code('Q', 0),   code('N', '+'), code('N', '-')};
    EXPECT_EQ(codes(), want);
    EXPECT_EQ(images, 1);
    for (const Call& c : calls) {
        EXPECT_EQ(c.source, shell::kSourceKey);
    }
    EXPECT_EQ(sounds(platform::Sound::Beep), 0);
}

TEST_F(FixedKeyCommands, GroupLettersOpenTheirOwnMenusAndFrSiOpenMenusInsteadOfRunning) {
    // f p g e d q u s b n z and "?" (Shift with "/"): menu indexes 0 to 11.
    const int scans[] = {0x21, 0x19, 0x22, 0x12, 0x20, 0x10, 0x16, 0x1F, 0x30, 0x31, 0x2C};
    for (int scan : scans) {
        press(scan);
        EXPECT_NE(app->shell.pending_group, 0);
        tick(5);
    }
    with(shell::kScanShiftLeft, kScanSlash);
    EXPECT_EQ(app->shell.pending_group, '?');
    tick(5);
    EXPECT_EQ(win.opened_menus, (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}));

    // F then R and S then I open the Re-open and pixel image submenus; F then a digit is a re-open command.
    spy("FS");
    win.opened_menus.clear();
    press(0x21);
    press(0x13);
    press(0x1F);
    press(0x17);
    press(0x21);
    press(0x04); // 3
    EXPECT_TRUE(win.opened_menus.empty());
    EXPECT_EQ(win.opened_submenus, (std::vector<int>{shell::kReopenMenuId, shell::kPixelImageMenuId}));
    EXPECT_EQ(codes(), std::vector<uint16_t>{code('F', '3')});
    EXPECT_EQ(calls[0].source, shell::kSourceTwoKey);
}

TEST_F(FixedKeyCommands, CtrlQShowsTheCommandLineForFiveSeconds) {
    with(shell::kScanCtrl, 0x10);
    EXPECT_EQ(app->shell.status.text, app->shell.command_line);
    EXPECT_FALSE(app->shell.command_line.empty());
    tick(80); // 4.4 seconds
    EXPECT_EQ(app->shell.status.text, app->shell.command_line);
    tick(20);
    EXPECT_EQ(app->shell.status.text, "");
}

TEST_F(FixedKeyCommands, EnterAndEscapeActAsTheClicksOfTheKeyboard) {
    plain_document();
    spy("Z");
    // Windows mode: Enter enters TRAZEL mode, Escape says message 300.
    press(0x01);
    EXPECT_EQ(app->shell.status.text, shell::message_text(*app, 300));
    press(0x1C);
    ASSERT_TRUE(app->shell.trazel_mode);

    // Nothing to do: the beep, not the menu bar a click would lend.
    press(0x1C);
    EXPECT_EQ(sounds(platform::Sound::Beep), 1);
    EXPECT_TRUE(app->shell.trazel_mode);

    // Items on the cursor: Enter drops them, Escape cancels them.
    int drops = 0, cancels = 0;
    app->shell.edit.items_on_cursor = [](App&) { return true; };
    app->shell.edit.drop_items = [&drops](App&) { return ++drops; };
    app->shell.edit.cancel_items = [&cancels](App&) { return ++cancels; };
    press(0x1C);
    press(0x01);
    EXPECT_EQ(drops, 1);
    EXPECT_EQ(cancels, 1);
    // A repeat command comes before the drop, a handler before both.
    app->shell.repeat_command = code('Z', 'I');
    press(0x1C);
    EXPECT_EQ(drops, 1);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].source, shell::kSourceRepeat);
    int lefts = 0, rights = 0;
    shell::set_function(
        *app, [&lefts](App&) { return ++lefts; }, [&rights](App&) { return ++rights; }, "");
    press(0x1C);
    press(0x01);
    EXPECT_EQ(lefts, 1);
    EXPECT_EQ(rights, 1);
    EXPECT_EQ(calls.size(), 1u);
    EXPECT_EQ(cancels, 1);

    // With nothing waiting, Escape in TRAZEL mode lends the menu bar.
    shell::clear_function(*app);
    app->shell.edit.items_on_cursor = nullptr;
    press(0x01);
    EXPECT_FALSE(app->shell.trazel_mode);
    EXPECT_TRUE(win.menu_bar_shown);
}

TEST_F(KeyboardMacros, StoredMacrosOfTheUpperFunctionKeysAndAltZeroStartFromTheKeyboard) {
    spy("Z");
    shell::write_setting(*app, "Key Stroke Shift-F12", "<ZI>");
    shell::write_setting(*app, "Key Stroke Ctrl-F11", "<ZO>");
    shell::write_setting(*app, "Key Stroke Alt-F12", "<ZC>");
    shell::write_setting(*app, "Key Stroke Alt-0", "<ZW>");
    shell::write_setting(*app, "Key Stroke F12", "<ZL>");
    with(shell::kScanShiftRight, 88);
    with(shell::kScanCtrl, 87);
    with(shell::kScanAlt, 88);
    with(shell::kScanAlt, 0x0B);
    press(88);
    EXPECT_EQ(codes(),
              (std::vector<uint16_t>{code('Z', 'I'), code('Z', 'O'), code('Z', 'C'), code('Z', 'W'), code('Z', 'L')}));
}

// The entry's character is what a recorded macro writes for the command: a letter, or "+", "-" or a
// digit (N+, F0-F9); a blank or a lone character is no command.
TEST_F(KeyboardMacros, CommandTokensTakeThePrintableCharacterAfterTheGroup) {
    spy("NZ?F");
    shell::play_macro(*app, "<Z1> <N+> <zi> <?o> <@> <F > <F0>");
    EXPECT_EQ(codes(), (std::vector<uint16_t>{code('Z', '1'), code('N', '+'), code('Z', 'I'), code('?', 'O'),
                                              code('F', '0')}));
    EXPECT_EQ(sounds(platform::Sound::Beep), 2);
}

TEST_F(KeyboardMacros, AMacroThatRestartsItselfStillStopsForAWaitingKey) {
    // F1 plays "<ZI> F1" for ever: its tokens go on counting, so the 64th asks and cancel ends it.
    shell::write_setting(*app, "Key Stroke F1", "<ZI> F1");
    int runs = 0;
    shell::set_group_handler(*app, 'Z', [&runs](App& a, uint16_t, shell::Source) {
        if (++runs > 1000) {
            shell::stop_macro(a); // keeps a broken count from hanging the test
        }
        return 1;
    });
    ui.input_script = [] {
        platform::WaitingInput w;
        w.key_scan = 0x01;
        return w;
    };
    ui.answers.push_back(platform::Answer::Cancel);
    press(0x3B);
    EXPECT_EQ(runs, 32);
    EXPECT_EQ(ui.boxes.size(), 1u);
    EXPECT_FALSE(shell::macro_playing(*app));
}

TEST_F(KeyboardMacros, RecordedKeysWhoseNamesWouldReadAsTokensPlayBackTheirCharacters) {
    shell::toggle_recording(*app);
    with(shell::kScanShiftLeft, kScanComma); // "<"
    press(kScanIntl);                        // the extra key beside left Shift: "\"
    with(shell::kScanShiftLeft, kScanIntl);  // its Shift form "s<>" reads as a name
    shell::toggle_recording(*app);
    EXPECT_EQ(app->shell.last_recording, "\"<\" \"\\\" s<> ");
    catch_keys();
    shell::play_last_recording(*app);
    EXPECT_EQ(typed, (std::vector<uint16_t>{0x333C, 0x2B5C, 0x567C}));
}

TEST_F(KeyParameterValues, ParameterValuesThatAreNoNumbersBeepAndChangeNothing) {
    const shell::ParameterDefaults& p = app->shell.services.params;
    shell::play_macro(*app, "<LT=x1> <AA=9z> <AE=half> <PX=1.5in> <TS=.1.2> <PH=->");
    EXPECT_EQ(sounds(platform::Sound::Beep), 6);
    EXPECT_EQ(p.set, 0u);
    EXPECT_EQ(p.arc_ratio, 0x10000);
    // Blanks around a number and the unit marks are fine.
    shell::play_macro(*app, "<LT= 2mm > <PX=1.5\"> <AA=+45> <AR=M>");
    EXPECT_EQ(p.line_thickness, 5160); // 2 mm = 0.07874 inch: 5160.1
    EXPECT_EQ(p.pad_x, 98304);
    EXPECT_EQ(p.arc_start, 8192);
    EXPECT_EQ(sounds(platform::Sound::Beep), 7); // "M" alone has no digit
}

} // namespace trazel::test
