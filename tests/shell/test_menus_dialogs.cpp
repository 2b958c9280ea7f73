// The menus as the user meets them: hint lines, checks and grey states, menu commands (the first tick,
// the menu bar, recording, the monitor dialog), and the File and Zoom group dialogs answered in turn.
#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "app/core/headless_run.h"
#include "display/display.h"
#include "file_text.h"
#include "model/model.h"
#include "shell/macros.h"
#include "shell/menus.h"
#include "shell/settings.h"
#include "shell/shell.h"

namespace trazel::test {

namespace {

namespace fs = std::filesystem;
using platform::Answer;
using platform::MenuItem;
using platform::Sound;
using shell::code;

constexpr const char* kCurrentlyOpen =
    "The specified data file is currently open.\n\nIt must be closed before it can be re-opened.";

using test_files::slurp;

// The headless platform with file dialogs that answer from a script, and a look at every form as it is
// shown (before the scripted answer is written into it).
class Scripted : public platform::Headless {
  public:
    std::deque<std::vector<std::string>> open_answers;
    int open_filter_answer = -1; // -1: keep the index shown
    std::vector<std::string> open_titles;
    std::vector<int> open_index_shown;
    std::deque<std::string> save_answers;
    std::vector<std::string> save_titles;
    std::vector<platform::Form> shown;
    std::function<void(const platform::Form&)> on_dialog;

    bool dialog(platform::Form& form) override {
        shown.push_back(form);
        if (on_dialog) {
            on_dialog(form);
        }
        return Headless::dialog(form);
    }
    std::vector<std::string> open_file_dialog(std::string_view title, const std::vector<std::string>&,
                                              int& filter_index, bool, const platform::FilePreview&) override {
        open_titles.emplace_back(title);
        open_index_shown.push_back(filter_index);
        if (open_filter_answer >= 0) {
            filter_index = open_filter_answer;
        }
        if (open_answers.empty()) {
            return {};
        }
        std::vector<std::string> a = open_answers.front();
        open_answers.pop_front();
        return a;
    }
    std::string save_file_dialog(std::string_view title, const std::vector<std::string>&, int&,
                                 std::string_view) override {
        save_titles.emplace_back(title);
        if (save_answers.empty()) {
            return {};
        }
        std::string a = save_answers.front();
        save_answers.pop_front();
        return a;
    }
};

const MenuItem* find_code(const std::vector<MenuItem>& items, uint16_t c) {
    for (const MenuItem& m : items) {
        if (m.items.empty() && m.code == c) {
            return &m;
        }
        if (const MenuItem* f = find_code(m.items, c)) {
            return f;
        }
    }
    return nullptr;
}

const MenuItem* find_id(const std::vector<MenuItem>& items, int id) {
    for (const MenuItem& m : items) {
        if (m.id == id) {
            return &m;
        }
        if (const MenuItem* f = find_id(m.items, id)) {
            return f;
        }
    }
    return nullptr;
}

void leaf_codes(const MenuItem& m, std::vector<uint16_t>& out) {
    if (m.items.empty() && m.code != 0) {
        out.push_back(m.code);
    }
    for (const MenuItem& i : m.items) {
        leaf_codes(i, out);
    }
}

class ShellMenus : public ::testing::Test {
  protected:
    void SetUp() override {
        std::random_device rd;
        root = fs::temp_directory_path() / ("trazel-menus-" + std::to_string(rd()) + std::to_string(rd()));
        fs::create_directories(root / "bin");
        fs::path examples = fs::path(TRAZEL_SOURCE_DIR) / "share" / "examples";
        board = root / "board.pcb";
        sheet = root / "sheet.sch";
        board2 = root / "other.pcb";
        fs::copy_file(examples / "demo.pcb", board);
        fs::copy_file(examples / "demo.sch", sheet);
        fs::copy_file(examples / "demo.pcb", board2);
        run.app.shell.program_dir = (root / "bin").string() + "/";
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(root, ec);
    }

    void start(const std::vector<fs::path>& files) {
        std::vector<std::string> names;
        for (const fs::path& f : files) {
            names.push_back(f.string());
        }
        ASSERT_NE(run.start(names), 0);
        ASSERT_TRUE(run.until_ready());
        ASSERT_EQ(run.app.model.docs.size(), files.size());
        run.move(400, 300);
        run.move(401, 301);
    }

    // Commands of group Q are recorded instead of run.
    void record_group_q() {
        shell::set_group_handler(run.app, 'Q', [this](App&, uint16_t c, shell::Source source) {
            calls.emplace_back(c, source);
            return 1;
        });
    }

    void hook_hanging_items() {
        shell::EditHooks& h = run.app.shell.edit;
        h.items_on_cursor = [this](App&) { return hanging; };
        h.cancel_items = [this](App&) {
            ++cancelled;
            hanging = false;
            return 1;
        };
    }

    int sounds(Sound s) const {
        return static_cast<int>(std::count(ui.sounds.begin(), ui.sounds.end(), s));
    }
    const MenuItem* data_item(uint16_t c) const {
        return find_code(run.app.shell.menu_bar, c);
    }
    const MenuItem* window_item(uint16_t c) {
        return find_code(run.window.menus, c);
    }
    // The entry in the shell's menu data, after checking that the window's menu has it in the same state.
    const MenuItem* agreed_item(uint16_t c) {
        const MenuItem* d = data_item(c);
        const MenuItem* w = window_item(c);
        EXPECT_NE(d, nullptr) << std::hex << c;
        EXPECT_NE(w, nullptr) << std::hex << c;
        if (!d || !w) {
            return nullptr;
        }
        EXPECT_EQ(d->enabled, w->enabled) << std::hex << c;
        EXPECT_EQ(d->checked, w->checked) << std::hex << c;
        return d;
    }
    std::string status() const {
        return run.app.shell.status.text;
    }
    std::string entry(std::string_view key) const {
        return shell::message_entry(run.app, key);
    }
    std::string full(const fs::path& p) const {
        return fs::absolute(p).string();
    }

    fs::path root, board, sheet, board2;
    Scripted ui;
    shell::HeadlessRun run{1024, 768, {}, &ui};
    std::vector<std::pair<uint16_t, shell::Source>> calls;
    bool hanging = false;
    int cancelled = 0;
};

// --- Hint lines -----------------------------------------------------------------------------------

using MenuHints = ShellMenus;

TEST_F(MenuHints, TopLevelMenusAndPopupSubmenusShowTheirGroupHints) {
    start({board});
    const std::string letters = "FPGEDQUSBNZ?";
    const auto& bar = run.app.shell.menu_bar;
    ASSERT_EQ(bar.size(), 12u);
    for (int i = 0; i < 12; ++i) {
        SCOPED_TRACE(i);
        shell::on_menu_highlight(run.app, 0, i);
        std::string want = entry(std::string(1, letters[static_cast<size_t>(i)]));
        EXPECT_FALSE(want.empty());
        EXPECT_EQ(status(), want);
        // The hint must describe what the menu holds: every code in menu i belongs to group letter i.
        std::vector<uint16_t> codes;
        leaf_codes(bar[static_cast<size_t>(i)], codes);
        EXPECT_FALSE(codes.empty());
        for (uint16_t c : codes) {
            EXPECT_EQ(static_cast<char>(c >> 8), letters[static_cast<size_t>(i)]) << std::hex << c;
        }
    }
    shell::on_menu_highlight(run.app, 0, 0);
    EXPECT_EQ(status(), "File:  new, open, save, close and print data files");

    const std::string popup = "PGEDUZ";
    ASSERT_EQ(run.app.shell.popup_menu.items.size(), 2u);
    for (const MenuItem& kind : run.app.shell.popup_menu.items) {
        SCOPED_TRACE(kind.label);
        ASSERT_GE(kind.items.size(), 8u);
        for (size_t i = 0; i < popup.size(); ++i) {
            const MenuItem& m = kind.items[i];
            ASSERT_FALSE(m.items.empty()) << i;
            shell::on_menu_highlight(run.app, m.code, -1);
            EXPECT_EQ(status(), entry(std::string(1, popup[i])));
            std::vector<uint16_t> codes;
            leaf_codes(m, codes);
            for (uint16_t c : codes) {
                EXPECT_EQ(static_cast<char>(c >> 8), popup[i]) << std::hex << c;
            }
        }
        EXPECT_EQ(kind.items[7].code, code('M', 'S'));
    }
}

TEST_F(MenuHints, SubmenusAndItemsShowTheirOwnCodesFromTheMessageTable) {
    start({board});
    const auto& bar = run.app.shell.menu_bar;
    const MenuItem* reopen = find_id(bar, shell::kReopenMenuId);
    const MenuItem* images = find_id(bar, shell::kPixelImageMenuId);
    ASSERT_NE(reopen, nullptr);
    ASSERT_NE(images, nullptr);
    struct Case {
        uint16_t code;
        const char* text;
    } cases[] = {
        {reopen->code, "Re-open one of the last ten files"},
        {images->code, "Pixel images of the current data file"},
        {code('F', 'L'), "Select one of the open data files"},
        {code('F', 'S'), "Save the current data file"},
        {code('S', '5'), "Pixel image entry"},
        {shell::kMonitorDialog, "Screen parameters and the monitor to use"},
        {0x5361, "Screen parameters and the monitor to use"},
        {0x5372, "Place the window on the right half of the screen"},
        {code('Z', 'W'), "Zoom to a window"},
    };
    for (const Case& c : cases) {
        shell::on_menu_highlight(run.app, c.code, -1);
        EXPECT_EQ(status(), c.text) << std::hex << c.code;
    }
    // Every entry of the menu bar has a hint.
    for (uint16_t c : shell::menu_codes(bar)) {
        EXPECT_FALSE(shell::hint_for(run.app, c).empty()) << std::hex << c;
    }
}

// --- Menu state -----------------------------------------------------------------------------------

using MenuState = ShellMenus;

TEST_F(MenuState, FileAndZoomEntriesFollowTheOpenDocuments) {
    start({});
    auto enabled = [this](uint16_t c) {
        const MenuItem* d = agreed_item(c); // the data and the window agree
        return d && d->enabled;
    };
    shell::on_menu_open(run.app, -1);
    for (char c : std::string("CESAIGPBLNV")) {
        EXPECT_FALSE(enabled(code('F', c))) << c;
    }
    for (char c : std::string("WOX")) {
        EXPECT_TRUE(enabled(code('F', c))) << c;
    }
    for (char c : std::string("IOSRLCPXW")) {
        EXPECT_FALSE(enabled(code('Z', c))) << c;
    }

    ASSERT_EQ(shell::open_document(run.app, full(board), 0), 1);
    shell::on_menu_open(run.app, 0);
    EXPECT_TRUE(enabled(code('F', 'C')));
    EXPECT_TRUE(enabled(code('F', 'S')));
    EXPECT_FALSE(enabled(code('F', 'N'))); // nothing to step to
    EXPECT_FALSE(enabled(code('F', 'V')));
    shell::on_menu_open(run.app, 10);
    EXPECT_TRUE(enabled(code('Z', 'S')));

    ASSERT_EQ(shell::open_document(run.app, full(sheet), 0), 1);
    shell::on_menu_open(run.app, 0);
    EXPECT_TRUE(enabled(code('F', 'N')));
    EXPECT_TRUE(enabled(code('F', 'V')));
}

TEST_F(MenuState, SetupChecksFollowAngleModeMonitorPlacementAndImages) {
    run.window.screens = {{"Left display", {0, 0, 1079, 1919}}, {"Right display", {0, 1920, 1079, 3839}}};
    start({board});
    shell::Shell& s = run.app.shell;
    auto checked = [this](uint16_t c) {
        const MenuItem* d = agreed_item(c);
        return d && d->checked;
    };
    auto enabled = [this](uint16_t c) {
        const MenuItem* d = data_item(c);
        return d && d->enabled;
    };

    run.app.display.view.angle_mode = 2;
    shell::on_menu_open(run.app, shell::kIndexSetupMenu);
    EXPECT_TRUE(checked(code('S', 'T')));
    run.app.display.view.angle_mode = 0;
    shell::on_menu_open(run.app, shell::kIndexSetupMenu);
    EXPECT_FALSE(checked(code('S', 'T')));

    ASSERT_EQ(s.monitor_count, 2);
    EXPECT_TRUE(checked(shell::kMonitorDialog)); // the window starts on the primary display
    EXPECT_FALSE(checked(0x5361));
    ASSERT_EQ(shell::switch_monitor(run.app, 1), 1);
    EXPECT_FALSE(checked(shell::kMonitorDialog)); // the switch ticks the data and the window alike
    EXPECT_TRUE(checked(0x5361));
    shell::on_menu_open(run.app, shell::kIndexSetupMenu);
    EXPECT_FALSE(checked(shell::kMonitorDialog));
    EXPECT_TRUE(checked(0x5361));

    // The placement setting is read without regard to case, and "Centre" is the centre entry; a maximized
    // window ticks none.
    const std::pair<const char*, uint16_t> places[] = {{"Left", 0x5371},   {"bottom", 0x5374}, {"Centre", 0x5375},
                                                       {"CENTER", 0x5375}, {"Full", 0x5370},   {"Maximized", 0}};
    for (const auto& [name, entry_code] : places) {
        s.window_position = name;
        shell::on_menu_open(run.app, shell::kIndexSetupMenu);
        for (uint16_t c = shell::kPlaceFull; c <= shell::kPlaceCentre; ++c) {
            EXPECT_EQ(checked(c), c == entry_code) << name << " " << std::hex << c;
        }
    }

    // Only the pixel image entries that hold a picture can be chosen.
    run.app.model.images[3] = {1, 2, 3};
    shell::on_menu_open(run.app, shell::kIndexSetupMenu);
    EXPECT_TRUE(enabled(code('S', '3')));
    EXPECT_FALSE(enabled(code('S', '0')));
    EXPECT_FALSE(enabled(code('S', '<')));
}

// --- Menu commands --------------------------------------------------------------------------------

using MenuCommands = ShellMenus;

TEST_F(MenuCommands, IgnoredBeforeTheFirstTick) {
    ASSERT_NE(run.start({board.string()}), 0);
    ASSERT_EQ(run.app.shell.phase, 0);
    record_group_q();
    run.menu(code('Q', 'A'));
    run.menu(code('F', 'X'));
    shell::on_menu_highlight(run.app, 0, 0);
    EXPECT_TRUE(calls.empty());
    EXPECT_FALSE(run.app.shell.destroyed);
    EXPECT_TRUE(status().empty());
    ASSERT_TRUE(run.until_ready());
    run.menu(code('Q', 'A'));
    EXPECT_EQ(calls.size(), 1u);
}

TEST_F(MenuCommands, MenuBarCommandAttachesAndRecordingTakesQuotedCodes) {
    start({board});
    record_group_q();
    shell::Shell& s = run.app.shell;
    ASSERT_EQ(shell::enter_trazel_mode(run.app), 1);
    shell::leave_trazel_mode(run.app, false);
    ASSERT_FALSE(run.window.menu_bar_shown);

    ASSERT_EQ(shell::toggle_recording(run.app), 1);
    run.menu(code('M', 'S'));
    EXPECT_TRUE(run.window.menu_bar_shown);
    EXPECT_FALSE(s.trazel_mode);
    EXPECT_TRUE(calls.empty());
    EXPECT_EQ(s.recording, ""); // the menu bar command is not part of a macro

    run.menu(code('Q', 'A'));
    run.menu(code('Q', 'Z'));
    EXPECT_EQ(s.recording, "\"QA\" \"QZ\" ");
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].second, shell::kSourceMouse); // after a mouse move in the client area

    // A full buffer takes no more, and a menu command does not beep about it.
    s.recording.assign(shell::kRecordLimit, 'x');
    int beeps = sounds(Sound::Beep);
    run.menu(code('Q', 'A'));
    EXPECT_EQ(s.recording.size(), static_cast<size_t>(shell::kRecordLimit));
    EXPECT_EQ(sounds(Sound::Beep), beeps);
    EXPECT_EQ(calls.size(), 3u); // the command itself still runs
}

TEST_F(MenuCommands, AMouseCommandEndsTheLendingSoALaterKeyboardOneStaysInWindowsMode) {
    start({board});
    record_group_q();
    shell::Shell& s = run.app.shell;
    ASSERT_EQ(shell::enter_trazel_mode(run.app), 1);
    run.click(shell::Button::Left, 1); // nothing to do: the menu bar is lent
    ASSERT_FALSE(s.trazel_mode);
    ASSERT_EQ(s.popup_state, 1);

    s.input_state = shell::kSourceMouse;
    run.menu(code('Q', 'A'));
    EXPECT_FALSE(s.trazel_mode); // the menu bar stays for the mouse
    EXPECT_EQ(s.popup_state, 0);
    EXPECT_TRUE(run.window.menu_bar_shown);

    // Keys used afterwards in Windows mode: nothing is lent any more, so nothing comes back.
    s.input_state = shell::kSourceTwoKey;
    run.menu(code('Q', 'B'));
    EXPECT_FALSE(s.trazel_mode);
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].second, shell::kSourceMouse);
    EXPECT_EQ(calls[1].second, shell::kSourceTwoKey);
}

TEST_F(MenuCommands, MonitorDialogRunsSuspendedAndSwitchesScreens) {
    run.window.screens = {{"Left display", {0, 0, 1079, 1919}}, {"Right display", {0, 1920, 1079, 3839}}};
    start({board});
    shell::Shell& s = run.app.shell;
    ASSERT_EQ(s.monitor, 0);
    int suspended_seen = -1;
    bool trazel_seen = true;
    ui.on_dialog = [&](const platform::Form& f) {
        if (f.name == "MultiMonitorScreenBox") {
            suspended_seen = s.suspended;
            trazel_seen = s.trazel_mode;
        }
    };
    ASSERT_EQ(shell::enter_trazel_mode(run.app), 1);
    s.input_state = shell::kSourceTwoKey;
    platform::PixelRect before = run.window.frame;

    // Cancelled: nothing changes, and TRAZEL mode comes back after the dialog.
    ui.dialog_answers["MultiMonitorScreenBox"].push_back({false, {}});
    run.menu(shell::kMonitorDialog);
    ASSERT_EQ(ui.shown.size(), 1u);
    const platform::Form& f = ui.shown.back();
    ASSERT_NE(f.field("monitor"), nullptr);
    EXPECT_EQ(f.field("monitor")->options.size(), 2u);
    EXPECT_EQ(f.get("monitor"), "0");
    EXPECT_EQ(suspended_seen, 1);
    EXPECT_FALSE(trazel_seen);
    EXPECT_EQ(s.suspended, 0);
    EXPECT_TRUE(s.trazel_mode);
    EXPECT_EQ(s.monitor, 0);

    ui.dialog_answers["MultiMonitorScreenBox"].push_back({true, {{"monitor", "1"}}});
    run.menu(shell::kMonitorDialog);
    EXPECT_EQ(s.monitor, 1);
    EXPECT_EQ(s.monitor_x, 1920);
    EXPECT_EQ(run.window.frame.left, before.left + 1920);
    EXPECT_EQ(run.window.frame.top, before.top);
    EXPECT_TRUE(s.surface.created);
    EXPECT_EQ(s.suspended, 0);
    EXPECT_FALSE(s.trazel_mode); // a switch leaves TRAZEL mode with the menu bar
    EXPECT_TRUE(run.window.menu_bar_shown);

    // An answer that names no monitor: the error sound, no switch.
    int errors = sounds(Sound::Error);
    ui.dialog_answers["MultiMonitorScreenBox"].push_back({true, {{"monitor", "7"}}});
    run.menu(shell::kMonitorDialog);
    EXPECT_EQ(sounds(Sound::Error), errors + 1);
    EXPECT_EQ(s.monitor, 1);

    // The entries after the dialog's switch at once; one past the last monitor is refused.
    run.menu(shell::kMonitorDialog); // unanswered: shown with the current monitor, kept
    EXPECT_EQ(ui.shown.back().get("monitor"), "1");
    EXPECT_EQ(s.monitor, 1);
    size_t dialogs = ui.shown.size();
    run.menu(0x5362);
    EXPECT_EQ(sounds(Sound::Error), errors + 2);
    EXPECT_EQ(s.monitor, 1);
    shell::switch_monitor(run.app, 0);
    run.menu(0x5361);
    EXPECT_EQ(s.monitor, 1);
    EXPECT_EQ(ui.shown.size(), dialogs);
}

TEST_F(MenuCommands, AFileCommandCancelsHangingItemsBeforeItRuns) {
    start({board});
    hook_hanging_items();
    bool hanging_at_dialog = true;
    ui.on_dialog = [&](const platform::Form& f) {
        if (f.name == "FileInformationBox") {
            hanging_at_dialog = hanging;
        }
    };
    hanging = true;
    run.menu(code('F', 'I'));
    EXPECT_EQ(cancelled, 1);
    EXPECT_FALSE(hanging_at_dialog);
    ASSERT_FALSE(ui.shown.empty());
    EXPECT_EQ(ui.shown.back().name, "FileInformationBox");

    // Also for a code the group refuses.
    hanging = true;
    int errors = sounds(Sound::Error);
    run.menu(code('F', 'z'));
    EXPECT_EQ(cancelled, 2);
    EXPECT_EQ(sounds(Sound::Error), errors + 1);
    // Nothing hanging: nothing to cancel.
    run.menu(code('F', 'I'));
    EXPECT_EQ(cancelled, 2);
}

// --- File group -----------------------------------------------------------------------------------

using FileGroupDialogs = ShellMenus;

TEST_F(FileGroupDialogs, InformationAndSelectionWithTwoOpenFiles) {
    start({board, sheet});
    auto& docs = run.app.model.docs;
    ASSERT_EQ(run.app.doc(), docs[1].get());

    EXPECT_EQ(shell::execute_command(run.app, code('F', 'I'), shell::kSourceKey), 1);
    ASSERT_EQ(ui.shown.back().name, "FileInformationBox");
    ASSERT_NE(ui.shown.back().field("name"), nullptr);
    EXPECT_NE(ui.shown.back().field("name")->label.find(full(sheet)), std::string::npos);
    EXPECT_TRUE(ui.shown.back().field("modified")->label.ends_with("no"));
    docs[1]->mark_modified();
    shell::execute_command(run.app, code('F', 'I'), shell::kSourceKey);
    EXPECT_TRUE(ui.shown.back().field("modified")->label.ends_with("yes"));

    // The list shows both, the current one chosen.
    ui.dialog_answers["SelectFileBox"].push_back({true, {{"file", "0"}}});
    EXPECT_EQ(shell::execute_command(run.app, code('F', 'L'), shell::kSourceKey), 1);
    const platform::Form& f = ui.shown.back();
    ASSERT_EQ(f.name, "SelectFileBox");
    EXPECT_EQ(f.field("file")->options, (std::vector<std::string>{full(board), full(sheet)}));
    EXPECT_EQ(f.get("file"), "1");
    EXPECT_EQ(run.app.doc(), docs[0].get());
    EXPECT_EQ(run.window.title, full(board));

    // Cancelled, the current one again, or no such entry: the current Document stays.
    ui.dialog_answers["SelectFileBox"].push_back({false, {{"file", "1"}}});
    EXPECT_EQ(shell::execute_command(run.app, code('F', 'L'), shell::kSourceKey), 0);
    ui.dialog_answers["SelectFileBox"].push_back({true, {{"file", "0"}}});
    EXPECT_EQ(shell::execute_command(run.app, code('F', 'L'), shell::kSourceKey), 0);
    int errors = sounds(Sound::Error);
    ui.dialog_answers["SelectFileBox"].push_back({true, {{"file", "2"}}});
    EXPECT_EQ(shell::execute_command(run.app, code('F', 'L'), shell::kSourceKey), 0);
    EXPECT_EQ(sounds(Sound::Error), errors + 1);
    EXPECT_EQ(run.app.doc(), docs[0].get());
}

TEST_F(FileGroupDialogs, NextAndPreviousWalkTheOpenFilesBothWays) {
    start({board});
    int beeps = sounds(Sound::Beep);
    EXPECT_EQ(shell::execute_command(run.app, code('F', 'N'), shell::kSourceKey), 0);
    EXPECT_EQ(sounds(Sound::Beep), beeps + 1);
    EXPECT_EQ(status(), "No other data file is open.");
    ASSERT_EQ(shell::open_document(run.app, full(sheet), 0), 1);
    ASSERT_EQ(shell::open_document(run.app, full(board2), 0), 1);

    model::Document* first = run.app.doc();
    std::vector<model::Document*> forward{first};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(shell::execute_command(run.app, code('F', 'N'), shell::kSourceKey), 1);
        forward.push_back(run.app.doc());
        EXPECT_EQ(run.window.title, run.app.doc()->name());
    }
    // Three steps visit every file once and come back.
    EXPECT_EQ(forward[3], first);
    EXPECT_EQ(std::set<model::Document*>(forward.begin(), forward.end()).size(), 3u);
    // Previous goes the same way back.
    for (int i = 2; i >= 0; --i) {
        EXPECT_EQ(shell::execute_command(run.app, code('F', 'V'), shell::kSourceKey), 1);
        EXPECT_EQ(run.app.doc(), forward[static_cast<size_t>(i)]) << i;
    }
}

TEST_F(FileGroupDialogs, OpenThroughTheCommonDialogOrTheProgramsOwnBox) {
    start({board});
    shell::Options& o = run.app.shell.options;
    o.explorer_open = true;
    ui.open_answers.push_back({full(sheet)});
    ui.open_filter_answer = 2;
    EXPECT_EQ(shell::execute_command(run.app, code('F', 'O'), shell::kSourceKey), 1);
    ASSERT_EQ(ui.open_titles.size(), 1u);
    EXPECT_EQ(ui.open_titles[0], "Select File to be Opened");
    EXPECT_EQ(ui.open_index_shown[0], 5);
    EXPECT_EQ(shell::read_setting(run.app, "Open File Name Mask Index"), "2");
    EXPECT_EQ(o.open_mask_index, 2);
    ASSERT_EQ(run.app.model.docs.size(), 2u);
    EXPECT_EQ(run.app.doc()->name(), full(sheet));
    EXPECT_EQ(shell::reopen_list(run.app).front(), full(sheet));

    // The program's own box, when the common dialog is not wanted.
    o.explorer_open = false;
    ui.dialog_answers["FileOpenBox"].push_back({true, {{"name", full(board2)}}});
    EXPECT_EQ(shell::execute_command(run.app, code('F', 'O'), shell::kSourceKey), 1);
    EXPECT_EQ(ui.open_titles.size(), 1u);
    EXPECT_EQ(ui.shown.back().name, "FileOpenBox");
    EXPECT_EQ(ui.shown.back().get("type"), "2"); // the filter last chosen
    EXPECT_EQ(run.app.doc()->name(), full(board2));

    // A file that is open already.
    int errors = sounds(Sound::Error);
    ui.dialog_answers["FileOpenBox"].push_back({true, {{"name", full(board)}}});
    EXPECT_EQ(shell::execute_command(run.app, code('F', 'O'), shell::kSourceKey), 0);
    ASSERT_FALSE(ui.boxes.empty());
    EXPECT_EQ(ui.boxes.back().title, "File Open Error");
    EXPECT_EQ(ui.boxes.back().text, kCurrentlyOpen);
    EXPECT_EQ(sounds(Sound::Error), errors + 1);
    EXPECT_EQ(run.app.model.docs.size(), 3u);
    EXPECT_EQ(run.app.doc()->name(), full(board2));

    // Cancelled: nothing happens.
    ui.dialog_answers["FileOpenBox"].push_back({false, {{"name", full(board)}}});
    size_t boxes = ui.boxes.size();
    EXPECT_EQ(shell::execute_command(run.app, code('F', 'O'), shell::kSourceKey), 0);
    EXPECT_EQ(ui.boxes.size(), boxes);
}

// The close box is Exit (whose answers the File group's own tests go through); once the window is gone a
// further close must ask nothing.
TEST_F(FileGroupDialogs, TheCloseBoxBehavesAsExit) {
    start({board, sheet});
    for (auto& doc : run.app.model.docs) {
        doc->mark_modified();
    }
    ui.answers = {Answer::No, Answer::Cancel};
    shell::on_close(run.app);
    ASSERT_EQ(ui.boxes.size(), 2u);
    EXPECT_EQ(ui.boxes[0].title, "Exit Save Warning");
    EXPECT_FALSE(run.window.closed);

    std::string sheet_before = slurp(sheet);
    ui.answers = {Answer::No, Answer::No};
    shell::on_close(run.app);
    EXPECT_EQ(ui.boxes.size(), 4u);
    EXPECT_TRUE(run.window.closed);
    EXPECT_EQ(slurp(sheet), sheet_before);
    shell::on_close(run.app);
    EXPECT_EQ(ui.boxes.size(), 4u);
}

TEST_F(FileGroupDialogs, WithoutADocumentCloseBeepsAndCodesOutsideTheGroupAndZoomDialogsPlayTheErrorSound) {
    start({});
    int beeps = sounds(Sound::Beep), errors = sounds(Sound::Error);
    EXPECT_EQ(shell::execute_command(run.app, code('F', 'C'), shell::kSourceKey), 0);
    EXPECT_EQ(sounds(Sound::Beep), beeps + 1);
    EXPECT_EQ(sounds(Sound::Error), errors);
    EXPECT_TRUE(ui.boxes.empty());

    // The Zoom dialogs need a Document: no dialog at all.
    for (uint16_t c : {uint16_t{0x462F}, uint16_t{0x466A}, code('F', 'Y'), code('Z', 'S'), code('Z', 'L')}) {
        int before = sounds(Sound::Error);
        EXPECT_EQ(shell::execute_command(run.app, c, shell::kSourceKey), 0) << std::hex << c;
        EXPECT_EQ(sounds(Sound::Error), before + 1) << std::hex << c;
    }
    EXPECT_TRUE(ui.boxes.empty());
    EXPECT_TRUE(ui.shown.empty());
    EXPECT_FALSE(run.app.shell.destroyed);
}

// --- Zoom dialogs ---------------------------------------------------------------------------------

using DialogZoom = ShellMenus;

TEST_F(DialogZoom, ScaleBoxShowsDotsPerInchAndTakesANewScale) {
    start({board});
    display::View& v = run.app.display.view;
    int errors = sounds(Sound::Error);

    ui.dialog_answers["ZoomScaleBox"].push_back({true, {{"dpi", "128"}}});
    EXPECT_EQ(shell::execute_command(run.app, code('Z', 'S'), shell::kSourceKey), 1);
    EXPECT_EQ(v.scale, 0x800000u);
    model::Coord cx = v.cursor_x, cy = v.cursor_y;

    // Shown with four decimals; the cursor keeps its point and comes to the centre.
    ui.dialog_answers["ZoomScaleBox"].push_back({true, {{"dpi", " 256.5 "}}});
    EXPECT_EQ(shell::execute_command(run.app, code('Z', 'S'), shell::kSourceTwoKey), 1);
    EXPECT_EQ(ui.shown.back().get("dpi"), "128.0000");
    EXPECT_EQ(v.scale, 0x1008000u);
    EXPECT_EQ(v.cursor_x, cx);
    EXPECT_EQ(v.cursor_y, cy);
    EXPECT_EQ(v.cursor_col, display::middle_col(v));
    EXPECT_EQ(v.cursor_row, display::middle_row(v));

    // Below the zoom-out minimum: the minimum.
    ui.dialog_answers["ZoomScaleBox"].push_back({true, {{"dpi", "0.1"}}});
    shell::execute_command(run.app, code('Z', 'S'), shell::kSourceKey);
    EXPECT_EQ(ui.shown.back().get("dpi"), "256.5000");
    EXPECT_EQ(v.scale, display::kMinZoomOutScale);
    EXPECT_EQ(sounds(Sound::Error), errors);

    // Not a number: the error message, the scale kept; cancelled: nothing at all.
    ui.dialog_answers["ZoomScaleBox"].push_back({true, {{"dpi", "12x"}}});
    EXPECT_EQ(shell::execute_command(run.app, code('Z', 'S'), shell::kSourceKey), 0);
    EXPECT_EQ(v.scale, display::kMinZoomOutScale);
    EXPECT_EQ(sounds(Sound::Error), errors + 1);
    EXPECT_EQ(status(), "Invalid scale: enter dots per inch, for example 128.");
    ui.dialog_answers["ZoomScaleBox"].push_back({false, {{"dpi", "300"}}});
    EXPECT_EQ(shell::execute_command(run.app, code('Z', 'S'), shell::kSourceKey), 0);
    EXPECT_EQ(v.scale, display::kMinZoomOutScale);
    EXPECT_EQ(sounds(Sound::Error), errors + 1);
}

TEST_F(DialogZoom, LayerBoxChoosesTheLayerAndRedrawsItOnce) {
    start({board});
    model::Setup& s = run.app.doc()->setup;
    display::View& v = run.app.display.view;
    int current = s.current_layer;
    int errors = sounds(Sound::Error);

    ui.dialog_answers["SelectLayerBox"].push_back({false, {}});
    EXPECT_EQ(shell::execute_command(run.app, code('Z', 'L'), shell::kSourceKey), 0);
    const platform::Form& f = ui.shown.back();
    ASSERT_EQ(f.name, "SelectLayerBox");
    const platform::Field* layer = f.field("layer");
    ASSERT_NE(layer, nullptr);
    // The layers in use, in number order, the current one chosen.
    std::vector<std::string> want;
    size_t current_index = 0;
    for (int i = 0; i < 256; ++i) {
        if (s.layers[static_cast<size_t>(i)].in_use()) {
            if (i == current) {
                current_index = want.size();
            }
            want.push_back(std::to_string(i) + "  " + s.layers[static_cast<size_t>(i)].name);
        }
    }
    ASSERT_GE(want.size(), 3u);
    EXPECT_EQ(layer->options, want);
    EXPECT_EQ(layer->value, std::to_string(current_index));
    EXPECT_EQ(s.current_layer, current);

    // Choose another layer: it becomes current, and later redraws show every layer again.
    size_t other = current_index == 1 ? 2 : 1;
    int other_layer = std::atoi(want[other].c_str());
    ui.dialog_answers["SelectLayerBox"].push_back({true, {{"layer", std::to_string(other)}}});
    EXPECT_EQ(shell::execute_command(run.app, code('Z', 'L'), shell::kSourceKey), 1);
    EXPECT_EQ(s.current_layer, other_layer);
    EXPECT_FALSE(v.single_layer);

    ui.dialog_answers["SelectLayerBox"].push_back({true, {{"layer", "300"}}});
    EXPECT_EQ(shell::execute_command(run.app, code('Z', 'L'), shell::kSourceKey), 0);
    EXPECT_EQ(s.current_layer, other_layer);
    EXPECT_EQ(sounds(Sound::Error), errors + 1);
}

} // namespace

} // namespace trazel::test
