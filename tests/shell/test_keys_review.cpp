// Key, macro and settings rules that are easy to get wrong: the whole fixed-key table, the group letters
// and their menus, Enter and Escape, command tokens, self-restarting macros, recorded key names, the
// value forms of parameter defaults, the recent-file lists and what the preferences dialog writes.
#include "keys_fixture.h"
#include "shell/menus.h"

namespace trazel::test {

using shell::code;

namespace {

constexpr int kScanComma = 0x33, kScanSlash = 0x35, kScanIntl = 86, kPadPlus = 0x4E, kPadMinus = 0x4A;

} // namespace

class KeysReview : public ServicesTest {
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

TEST_F(KeysReview, EveryFixedLetterAndAltKeyRunsItsCommand) {
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

TEST_F(KeysReview, GroupLettersOpenTheirOwnMenusAndFrSiOpenMenusInsteadOfRunning) {
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

TEST_F(KeysReview, CtrlQShowsTheCommandLineForFiveSeconds) {
    with(shell::kScanCtrl, 0x10);
    EXPECT_EQ(app->shell.status.text, app->shell.command_line);
    EXPECT_FALSE(app->shell.command_line.empty());
    tick(80); // 4.4 seconds
    EXPECT_EQ(app->shell.status.text, app->shell.command_line);
    tick(20);
    EXPECT_EQ(app->shell.status.text, "");
}

TEST_F(KeysReview, EnterAndEscapeActAsTheClicksOfTheKeyboard) {
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

TEST_F(KeysReview, StoredMacrosOfTheUpperFunctionKeysAndAltZeroStartFromTheKeyboard) {
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

TEST_F(KeysReview, CommandTokensNeedALetterAfterTheGroup) {
    spy("NZ?");
    shell::play_macro(*app, "<Z1> <N+> <zi> <?o> <@>");
    EXPECT_EQ(codes(), (std::vector<uint16_t>{code('Z', 'I'), code('?', 'O')}));
    EXPECT_EQ(sounds(platform::Sound::Beep), 3);
}

TEST_F(KeysReview, AMacroThatRestartsItselfStillStopsForAWaitingKey) {
    // F1 plays "<ZI> F1" for ever: its tokens go on counting, so the 64th asks and cancel ends it.
    shell::write_setting(*app, "Key Stroke F1", "<ZI> F1");
    int runs = 0;
    shell::set_group_handler(*app, 'Z', [&runs](App& a, uint16_t, int) {
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

TEST_F(KeysReview, RecordedKeysWhoseNamesWouldReadAsTokensPlayBackTheirCharacters) {
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

TEST_F(KeysReview, ParameterValuesThatAreNoNumbersBeepAndChangeNothing) {
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

TEST_F(KeysReview, RecentListsKeepWholeNamesOnly) {
    shell::add_recent_file(*app, "/a/one.pcb");
    // A name with the lists' separator would come back as two names: it is not listed.
    EXPECT_EQ(shell::add_recent_file(*app, "/a/b;c.pcb"), 0);
    EXPECT_EQ(shell::read_setting(*app, "File Re-Open List"), "/a/one.pcb;");
    ASSERT_EQ(shell::recall_list(*app).size(), 1u);

    // 100 names of 41 characters and ";": the first 4096 characters hold 97 whole names.
    std::string value;
    for (int i = 0; i < 100; ++i) {
        std::string n = "/" + std::string(36, 'd') + "/" + std::to_string(100 + i);
        value += n + ";";
    }
    ASSERT_EQ(value.size(), 4200u);
    shell::write_setting(*app, "File Re-Open List", value);
    std::vector<std::string> list = shell::reopen_list(*app);
    ASSERT_EQ(list.size(), 97u);
    EXPECT_EQ(list.back(), "/" + std::string(36, 'd') + "/196");

    // A folder is no file: purge removes it with the missing names.
    fs::create_directories(root / "folder.pcb");
    spit(root / "here.pcb", "x");
    shell::write_setting(*app, "File Re-Open List",
                         (root / "folder.pcb").string() + ";" + (root / "here.pcb").string() + ";/no/such.pcb;");
    EXPECT_EQ(shell::purge_recent_lists(*app, 1), 2);
    EXPECT_EQ(shell::reopen_list(*app), std::vector<std::string>{(root / "here.pcb").string()});
}

TEST_F(KeysReview, EventSoundsComeFromTheUsersSchemeEntries) {
    EXPECT_EQ(shell::event_sound_name(*app, "Open"), "");
    EXPECT_TRUE(shell::load_event_sound(*app, "Open").empty());
    std::string wave(70000, 'w'); // more than one 64 KiB step
    spit(root / "open.wav", wave);
    shell::write_setting(*app, "AppEvents\\Schemes\\Apps\\TRAZEL'98\\Open\\.Current", (root / "open.wav").string());
    shell::write_setting(*app, "AppEvents\\Schemes\\Apps\\TRAZEL'98\\Close\\.Current", "/no/such.wav");
    EXPECT_EQ(shell::event_sound_name(*app, "Open"), (root / "open.wav").string());
    EXPECT_EQ(shell::load_event_sound(*app, "Open"), std::vector<uint8_t>(wave.begin(), wave.end()));
    EXPECT_TRUE(shell::load_event_sound(*app, "Close").empty());
    shell::write_setting(*app, "AppEvents\\Schemes\\Apps\\TRAZEL'98\\Close\\.Current", std::string(300, 'c'));
    EXPECT_EQ(shell::event_sound_name(*app, "Close").size(), shell::kEventSoundNameMax);
}

TEST_F(KeysReview, PreferencesWriteTheirSettingsAndSaveWhatIsInUse) {
    shell::Options& o = app->shell.options;
    o.open_mask_index = 3; // chosen in the open dialog, not yet stored
    app->shell.services.printer_setup = {1, 0, 2};
    win.frame = {20, 10, 219, 309}; // top, left, bottom, right: 300 x 200 at 10,20
    app->shell.window_maximized = false;
    app->shell.monitor = 0;
    shell::write_setting(*app, "Window Screen", "2");
    shell::write_setting(*app, "Query Raft Boxes", "N");

    platform::Headless::DialogAnswer a;
    a.values = {{"display_logs", "0"},
                {"popup_menus", "1"},
                {"animated_icon", "0"},
                {"undo_beyond_save", "1"},
                {"purge_redo_notification", "1"},
                {"sound_card_tones", "0"},
                {"thick_crosshair", "1"},
                {"zoom_with_mouse", "0"},
                {"auto_open_project", "0"},
                {"explorer_open", "0"},
                {"open_expand", "0"},
                {"autosave", "4"},
                {"sleep", "Off"},
                {"save_window", "1"},
                {"save_printer", "1"},
                {"save_mask", "1"}};
    ui.dialog_answers["SetupOptionsBox"].push_back(a);
    ASSERT_EQ(shell::execute_command(*app, code('S', 'O'), shell::kSourceMouse), 1);

    const std::pair<const char*, const char*> written[] = {{"Display Logs", "N"},
                                                           {"Popup Menus", "Y"},
                                                           {"Animated Icon", "N"},
                                                           {"Un-Do Beyond Save to Disk", "Y"},
                                                           {"Purge Re-Do Notification", "Y"},
                                                           {"Sound Blaster Tones", "N"},
                                                           {"Thick Cross-hair Cursor", "Y"},
                                                           {"Zoom with Mouse Buttons", "N"},
                                                           {"Auto-open Project Files", "N"},
                                                           {"Explorer File Open", "N"},
                                                           {"Open File Name Expand", "N"},
                                                           {"Autosave Timer", "4.0 minutes"},
                                                           {"Sleep Mode Timer", "Off"},
                                                           {"Window Position", "10,20 300x200"},
                                                           {"Open File Name Mask Index", "3"},
                                                           {"Query Raft Boxes", "N"}};
    for (const auto& [name, value] : written) {
        EXPECT_EQ(shell::read_setting(*app, name), value) << name;
    }
    bool found = true;
    shell::read_setting(*app, "Window Screen", &found);
    EXPECT_FALSE(found); // monitor 0
    EXPECT_EQ(shell::read_raw_setting(*app, "Printer Setup"), (std::vector<uint8_t>{1, 0, 2}));
    // The options follow at once.
    EXPECT_EQ(o.open_mask_index, 3);
    EXPECT_FALSE(o.explorer_open);
    EXPECT_FALSE(o.auto_open_project);
    EXPECT_FALSE(o.open_expand);
    EXPECT_TRUE(o.popup_menus);
    EXPECT_FALSE(o.display_logs);
    EXPECT_EQ(o.autosave_ticks, 4369u);
    EXPECT_EQ(o.sleep_ticks, 0u);

    // Maximized on monitor 2.
    app->shell.window_maximized = true;
    app->shell.monitor = 2;
    platform::Headless::DialogAnswer again;
    again.values = {{"save_window", "1"}};
    ui.dialog_answers["SetupOptionsBox"].push_back(again);
    shell::execute_command(*app, code('S', 'O'), shell::kSourceMouse);
    EXPECT_EQ(shell::read_setting(*app, "Window Position"), "Maximized");
    EXPECT_EQ(shell::read_setting(*app, "Window Screen"), "2");
    // The form showed the options as they were.
    const platform::Form& f = ui.dialogs.back();
    EXPECT_EQ(f.get("explorer_open"), "0");
    EXPECT_EQ(f.get("popup_menus"), "1");
    EXPECT_EQ(f.get("autosave"), "4.0");
}

} // namespace trazel::test
