// What the settings file holds for the user: the recent-file lists with whole names only, the event
// sounds of the user's scheme, and what the preferences dialog writes.
#include "keys_fixture.h"

namespace trazel::test {

using shell::code;

class StartedSettings : public ServicesTest {
  protected:
    void SetUp() override {
        ServicesTest::SetUp();
        boot();
    }
};

using RecentFileLists = StartedSettings;
using EventSoundScheme = StartedSettings;
using PreferencesDialog = StartedSettings;

TEST_F(RecentFileLists, RecentListsKeepWholeNamesOnly) {
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

TEST_F(EventSoundScheme, EventSoundsComeFromTheUsersSchemeEntries) {
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

TEST_F(PreferencesDialog, PreferencesWriteTheirSettingsAndSaveWhatIsInUse) {
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
