// The settings file, the value forms of the options, the Re-Open and Re-Call lists, backup and autosave.
#include "keys_fixture.h"

namespace trazel::test {

using shell::code;

class Settings : public ServicesTest {};

TEST_F(Settings, ValuesSurviveTheFileAsBytesAndMissingReadsEmpty) {
    bool found = true;
    EXPECT_EQ(shell::read_setting(*app, "Popup Menus", &found), "");
    EXPECT_FALSE(found);
    std::string odd = "a=b\\c\n\"\xBD\" \x7F end ";
    EXPECT_EQ(shell::write_setting(*app, "Key Stroke Alt-2", odd), 1);
    EXPECT_EQ(shell::write_setting(*app, "Display Logs", "N"), 1);
    EXPECT_EQ(shell::read_setting(*app, "Key Stroke Alt-2", &found), odd);
    EXPECT_TRUE(found);
    // One line per value, readable, no temporary left behind.
    std::string file = slurp(root / "config" / "settings.txt");
    EXPECT_NE(file.find("\nDisplay Logs=N\n"), std::string::npos);
    EXPECT_NE(file.find("Key Stroke Alt-2=a=b\\\\c\\x0A\"\\xBD\" \\x7F end \n"), std::string::npos);
    EXPECT_FALSE(fs::exists(root / "config" / "settings.txt.tmp"));

    EXPECT_EQ(shell::delete_setting(*app, "Display Logs"), 1);
    EXPECT_EQ(shell::delete_setting(*app, "Display Logs"), 0);
    shell::read_setting(*app, "Display Logs", &found);
    EXPECT_FALSE(found);

    std::vector<uint8_t> raw = {0, 1, 0xFF, '\\', '\n'};
    shell::write_raw_setting(*app, "Printer Setup", raw);
    EXPECT_EQ(shell::read_raw_setting(*app, "Printer Setup"), raw);

    shell::write_setting(*app, "Library Path", std::string(20000, 'x'));
    EXPECT_EQ(shell::read_setting(*app, "Library Path").size(), shell::kSettingWriteLimit);
}

TEST_F(Settings, IntervalFormsInTicks) {
    // Minutes as 16.16 times 0x4446B85 (71592837), upper 32 bits: one minute is 71592837 / 65536 = 1092.4.
    EXPECT_EQ(shell::minutes_to_ticks(1 << 16), 1092u);
    EXPECT_EQ(shell::autosave_ticks_of("", false), 4369u);  // missing: 4 minutes, 4369.7
    EXPECT_EQ(shell::autosave_ticks_of("0.5", true), 546u); // 30 seconds: 546.2
    EXPECT_EQ(shell::autosave_ticks_of("Off", true), 0u);
    EXPECT_EQ(shell::autosave_ticks_of("N", true), 0u);
    EXPECT_EQ(shell::autosave_ticks_of("0", true), 4369u);     // below 1/256 minute
    EXPECT_EQ(shell::autosave_ticks_of("0.003", true), 4369u); // 197 / 65536 of a minute
    EXPECT_EQ(shell::autosave_ticks_of("junk", true), 4369u);
    EXPECT_EQ(shell::autosave_ticks_of("4.0 minutes", true), 4369u);
    EXPECT_EQ(shell::autosave_ticks_of("10", true), 10924u); // 715928370 / 65536 = 10924.2
    EXPECT_EQ(shell::sleep_ticks_of("Y"), 1092u);
    EXPECT_EQ(shell::sleep_ticks_of("2"), 2184u);
    EXPECT_EQ(shell::sleep_ticks_of("0"), 0u);
    EXPECT_EQ(shell::sleep_ticks_of("Off"), 0u);
    EXPECT_EQ(shell::sleep_ticks_of(""), 0u);
}

TEST_F(Settings, OptionsAreReadAtStartUpAndAtTickNineteen) {
    shell::write_setting(*app, "Autosave Timer", "0.5");
    shell::write_setting(*app, "Sleep Mode Timer", "Yes");
    shell::write_setting(*app, "Popup Menus", "yes please");
    shell::write_setting(*app, "Display Logs", "no");
    shell::write_setting(*app, "Sound Blaster Tones", "Nope");
    shell::write_setting(*app, "Thick Cross-hair Cursor", "Y");
    shell::write_setting(*app, "Open File Name Mask Index", "2");
    shell::write_setting(*app, "Explorer File Open", "N");
    shell::start(*app, "\"" + (root / "bin" / "trazel").string() + "\"", 32);
    const shell::Options& o = app->shell.options;
    // Start-up: the file dialog settings only.
    EXPECT_EQ(o.open_mask_index, 2);
    EXPECT_FALSE(o.explorer_open);
    EXPECT_FALSE(o.popup_menus);
    tick(25);
    EXPECT_EQ(o.autosave_ticks, 546u);
    EXPECT_EQ(o.sleep_ticks, 1092u);
    EXPECT_TRUE(o.popup_menus);
    EXPECT_FALSE(o.display_logs);
    EXPECT_FALSE(o.sound_card_tones);
    EXPECT_TRUE(app->display.thick_crosshair);
    EXPECT_TRUE(o.zoom_with_mouse); // missing: on
    EXPECT_FALSE(o.animated_block); // missing: off

    shell::write_setting(*app, "Autosave Timer", "Off");
    shell::read_display_settings(*app);
    EXPECT_EQ(o.autosave_ticks, 0u);
    shell::delete_setting(*app, "Autosave Timer");
    shell::read_display_settings(*app);
    EXPECT_EQ(o.autosave_ticks, 4369u);
}

TEST_F(Settings, RecallStampsUseTheTwelveHourClock) {
    std::tm t{};
    t.tm_year = 98;
    t.tm_mon = 6;
    t.tm_mday = 3;
    t.tm_hour = 0;
    t.tm_min = 5;
    EXPECT_EQ(shell::recall_stamp(t), "07/03/98 12:05 am ");
    EXPECT_EQ(shell::recall_stamp(t).size(), 18u);
    t.tm_hour = 13;
    t.tm_min = 7;
    t.tm_year = 126;
    EXPECT_EQ(shell::recall_stamp(t), "07/03/26 01:07 pm ");
    t.tm_hour = 12;
    t.tm_min = 0;
    EXPECT_EQ(shell::recall_stamp(t), "07/03/26 12:00 pm ");

    boot();
    int minute = 0;
    app->shell.services.local_time = [&minute] {
        std::tm now{};
        now.tm_year = 98;
        now.tm_mon = 6;
        now.tm_mday = 3;
        now.tm_min = minute;
        return now;
    };
    shell::add_recent_file(*app, "/a/one.pcb");
    minute = 5;
    shell::add_recent_file(*app, "/a/two.sch");
    minute = 9;
    shell::add_recent_file(*app, "/a/one.pcb");
    EXPECT_EQ(shell::read_setting(*app, "File Re-Call List"),
              "07/03/98 12:09 am /a/one.pcb;07/03/98 12:05 am /a/two.sch;");
    EXPECT_EQ(shell::read_setting(*app, "File Re-Open List"), "/a/one.pcb;/a/two.sch;");

    std::string chosen;
    platform::Headless::DialogAnswer pick;
    pick.values["files"] = "1";
    ui.dialog_answers["FileRecallBox"].push_back(pick);
    EXPECT_EQ(shell::file_recall_box(*app, &chosen), 1);
    EXPECT_EQ(chosen, "/a/two.sch");
}

namespace {

const platform::MenuItem* find_menu(const std::vector<platform::MenuItem>& items, int id) {
    for (const platform::MenuItem& m : items) {
        if (m.id == id) {
            return &m;
        }
        if (const platform::MenuItem* f = find_menu(m.items, id)) {
            return f;
        }
    }
    return nullptr;
}

} // namespace

TEST_F(Settings, ReOpenListPutsTheNewestFirstAndShowsTenEntries) {
    boot();
    for (int i = 11; i >= 0; --i) {
        shell::add_recent_file(*app, "/f/" + std::to_string(i) + ".pcb");
    }
    // Now 0 ... 11; adding the third again moves it to the top.
    shell::add_recent_file(*app, "/f/2.pcb");
    std::vector<std::string> list = shell::reopen_list(*app);
    ASSERT_EQ(list.size(), 12u);
    EXPECT_EQ(list[0], "/f/2.pcb");
    EXPECT_EQ(list[1], "/f/0.pcb");
    EXPECT_EQ(list[2], "/f/1.pcb");
    EXPECT_EQ(list[3], "/f/3.pcb");

    const platform::MenuItem* sub = find_menu(win.menus, shell::kReopenMenuId);
    ASSERT_NE(sub, nullptr);
    ASSERT_EQ(sub->items.size(), 13u);
    EXPECT_EQ(sub->items[0].label, "&0:  /f/2.pcb");
    EXPECT_EQ(sub->items[0].code, code('F', '0'));
    EXPECT_EQ(sub->items[9].label, "&9:  /f/9.pcb");
    EXPECT_EQ(sub->items[9].code, code('F', '9'));
    EXPECT_EQ(sub->items[10].code, 0);
    EXPECT_EQ(sub->items[11].label, "Purge Non-existent Files");
    EXPECT_EQ(sub->items[11].code, 0x463E);
    EXPECT_EQ(sub->items[12].label, "Remove All File Names");
    EXPECT_EQ(sub->items[12].code, 0x463F);

    EXPECT_EQ(shell::clear_reopen_list(*app), 1);
    EXPECT_TRUE(shell::reopen_list(*app).empty());
    EXPECT_EQ(find_menu(win.menus, shell::kReopenMenuId)->items.size(), 3u);
}

TEST_F(Settings, PurgeKeepsOnlyFilesThatOpen) {
    boot();
    spit(root / "here.pcb", "x");
    std::string here = (root / "here.pcb").string(), gone = (root / "gone.pcb").string();
    shell::add_recent_file(*app, here);
    shell::add_recent_file(*app, gone);
    std::string text = "The file \"" + gone +
                       "\" cannot be located.\n\nWould you like to purge all non-existent files from the Re-Open menu?";
    ui.answers.push_back(platform::Answer::No);
    EXPECT_EQ(shell::reopen_missing_file(*app, gone), 0);
    EXPECT_EQ(shell::reopen_list(*app).size(), 2u);
    EXPECT_EQ(shell::reopen_missing_file(*app, gone), 1);
    ASSERT_EQ(ui.boxes.size(), 2u);
    EXPECT_EQ(ui.boxes[1].text, text);
    EXPECT_EQ(ui.boxes[1].title, "File Re-Open List");
    EXPECT_EQ(shell::reopen_list(*app), std::vector<std::string>{here});
    ASSERT_EQ(shell::recall_list(*app).size(), 1u);
    EXPECT_TRUE(shell::recall_list(*app)[0].ends_with(here));
}

class Backup : public ServicesTest {
  protected:
    fs::path board;
    void SetUp() override {
        ServicesTest::SetUp();
        board = root / "work" / "demo.pcb";
        fs::create_directories(board.parent_path());
        fs::copy_file(fs::path(TRAZEL_SOURCE_DIR) / "share" / "examples" / "demo.pcb", board);
    }
};

TEST_F(Backup, TwoSavesMakeOneBackupOfTheFileAsLoaded) {
    boot({board.string()});
    model::Document* d = app->doc();
    ASSERT_NE(d, nullptr);
    std::string loaded = slurp(board);
    d->mark_modified();
    EXPECT_EQ(shell::execute_command(*app, code('F', 'S'), shell::kSourceKey), 1);
    EXPECT_TRUE(d->backup_made);
    fs::path copy = root / "bin" / "Backup" / "demo.pcb";
    EXPECT_EQ(slurp(copy), loaded);
    EXPECT_TRUE(fs::exists(board)); // a copy: the saved file is in place

    spit(board, "changed on disk");
    d->mark_modified();
    shell::execute_command(*app, code('F', 'S'), shell::kSourceKey);
    EXPECT_EQ(slurp(copy), loaded);
    EXPECT_EQ(std::distance(fs::directory_iterator(copy.parent_path()), fs::directory_iterator()), 1);
}

TEST_F(Backup, UnwritableProgramFolderUsesTheUserFolderThenTheBakName) {
    boot();
    model::Document* d = model::NewDocument(board.string());
    app->shell.program_dir = "/proc/trazel-no-such-folder";
    EXPECT_EQ(shell::make_backup(*app, *d), 1);
    EXPECT_TRUE(fs::exists(root / "data" / "Backup" / "demo.pcb"));
    EXPECT_EQ(shell::make_backup(*app, *d), 0);

    model::Document* e = model::NewDocument((root / "work" / "other.pcb").string());
    spit(root / "work" / "other.pcb", "v1");
    app->shell.services.user_data_dir = "/proc/trazel-no-such-folder-either";
    EXPECT_EQ(shell::make_backup(*app, *e), 1);
    EXPECT_EQ(slurp(root / "work" / "other.pcb.bak"), "v1");
    // A Document that was never on disk has nothing to copy.
    model::Document* f = model::NewDocument((root / "work" / "new.pcb").string());
    EXPECT_EQ(shell::make_backup(*app, *f), 0);
    EXPECT_TRUE(f->backup_made);
}

TEST_F(Backup, AutosaveWritesACopyOnItsIntervalAndClearsOnlyItsOwnBit) {
    boot({board.string()});
    model::Document* d = app->doc();
    ASSERT_NE(d, nullptr);
    fs::path copy = root / "bin" / "Autosave" / "demo.pcb";
    EXPECT_EQ(shell::autosave(*app), 0); // not modified
    EXPECT_FALSE(fs::exists(copy));

    app->shell.options.autosave_ticks = shell::autosave_ticks_of("0.5", true);
    app->shell.autosave_countdown = 0;
    d->mark_modified();
    tick(545);
    EXPECT_FALSE(fs::exists(copy));
    tick();
    ASSERT_TRUE(fs::exists(copy));
    EXPECT_TRUE(slurp(copy).starts_with("TRAZEL Version 4.0 -- Data File."));
    EXPECT_TRUE(d->modified());
    EXPECT_EQ(d->modified_bits, model::Document::kModifiedAll & ~model::Document::kModifiedAutosave);
    // Unchanged since then: the next interval writes nothing.
    fs::remove(copy);
    tick(546);
    EXPECT_FALSE(fs::exists(copy));
    // "Off": never.
    app->shell.options.autosave_ticks = 0;
    d->mark_modified();
    tick(600);
    EXPECT_FALSE(fs::exists(copy));
}

} // namespace trazel::test
