// The File group's save warnings on exit, close and erase, answered in turn; the autosave and sleep
// timer forms of the options dialog; the Re-Call entry a file gets when it is opened.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

#include "app/core/headless_run.h"
#include "file_text.h"
#include "shell/settings.h"
#include "shell/shell.h"

namespace trazel::test {

namespace fs = std::filesystem;
using platform::Answer;
using shell::code;

constexpr const char* kExitText = "File has been updated but has not yet been saved.\n\nSave file before exit?";
constexpr const char* kCloseText =
    "File has been updated but has not yet been saved.\n\nShall I save the file before closing it?";
constexpr const char* kEraseModifiedText =
    "File has been updated since the last load or save.\n\nShall I erase the file anyhow?";

using test_files::slurp;

class FileGroup : public ::testing::Test {
  protected:
    void SetUp() override {
        std::random_device rd;
        root = fs::temp_directory_path() / ("trazel-file-" + std::to_string(rd()) + std::to_string(rd()));
        fs::create_directories(root / "bin");
        fs::path examples = fs::path(TRAZEL_SOURCE_DIR) / "share" / "examples";
        board = root / "board.pcb";
        sheet = root / "sheet.sch";
        fs::copy_file(examples / "demo.pcb", board);
        fs::copy_file(examples / "demo.sch", sheet);
        board_text = slurp(board);
        sheet_text = slurp(sheet);
        run.app.shell.program_dir = (root / "bin").string() + "/";
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(root, ec);
    }

    // Both files open and changed; the sheet, opened last, is current.
    void open_both_modified() {
        ASSERT_NE(run.start({board.string(), sheet.string()}), 0);
        ASSERT_TRUE(run.until_ready());
        ASSERT_EQ(run.app.model.docs.size(), 2u);
        for (auto& d : run.app.model.docs) {
            d->mark_modified();
        }
        ASSERT_EQ(fs::path(run.app.doc()->name()).filename(), "sheet.sch");
    }

    model::Document* doc_named(const char* file) {
        for (auto& d : run.app.model.docs) {
            if (fs::path(d->name()).filename() == file) {
                return d.get();
            }
        }
        return nullptr;
    }

    int errors() const {
        int n = 0;
        for (platform::Sound s : ui().sounds) {
            n += s == platform::Sound::Error;
        }
        return n;
    }
    platform::Headless& ui() const {
        return const_cast<shell::HeadlessRun&>(run).ui();
    }

    fs::path root, board, sheet;
    std::string board_text, sheet_text;
    shell::HeadlessRun run;
};

TEST_F(FileGroup, ExitAnsweredNoThenCancelLeavesBothOpenAndUnsaved) {
    open_both_modified();
    ASSERT_TRUE(shell::enter_trazel_mode(run.app));
    int errors_before = errors();
    ui().answers = {Answer::No, Answer::Cancel};
    EXPECT_EQ(shell::execute_command(run.app, code('F', 'X'), shell::kSourceKey), 0);

    ASSERT_EQ(ui().boxes.size(), 2u);
    for (const auto& b : ui().boxes) {
        EXPECT_EQ(b.title, "Exit Save Warning");
        EXPECT_EQ(b.text, kExitText);
        EXPECT_EQ(b.buttons, platform::Buttons::YesNoCancel);
    }
    EXPECT_EQ(errors() - errors_before, 2);
    EXPECT_FALSE(run.app.shell.destroyed);
    EXPECT_FALSE(run.window.closed);
    EXPECT_EQ(run.app.model.docs.size(), 2u);
    ASSERT_NE(doc_named("board.pcb"), nullptr);
    ASSERT_NE(doc_named("sheet.sch"), nullptr);
    EXPECT_TRUE(doc_named("board.pcb")->modified());
    EXPECT_TRUE(doc_named("sheet.sch")->modified());
    // The second question was about the board, made current for it.
    EXPECT_EQ(run.app.doc(), doc_named("board.pcb"));
    EXPECT_EQ(slurp(board), board_text);
    EXPECT_EQ(slurp(sheet), sheet_text);
    EXPECT_FALSE(fs::exists(root / "bin" / "Backup"));
    // Exit leaves TRAZEL mode with the menu bar, even when it is cancelled.
    EXPECT_FALSE(run.app.shell.trazel_mode);
    EXPECT_TRUE(run.window.menu_bar_shown);
}

TEST_F(FileGroup, ExitAnsweredNoTwiceEndsWithoutSaving) {
    open_both_modified();
    ui().answers = {Answer::No, Answer::No};
    EXPECT_EQ(shell::execute_command(run.app, code('F', 'X'), shell::kSourceKey), 1);
    EXPECT_EQ(ui().boxes.size(), 2u);
    EXPECT_TRUE(run.app.shell.destroyed);
    EXPECT_TRUE(run.window.closed);
    EXPECT_EQ(slurp(board), board_text);
    EXPECT_EQ(slurp(sheet), sheet_text);
}

TEST_F(FileGroup, ExitAnsweredYesSavesThatDocumentAndAsksOnlyForModifiedOnes) {
    open_both_modified();
    doc_named("board.pcb")->modified_bits = 0;
    ui().answers = {Answer::Yes};
    EXPECT_EQ(shell::execute_command(run.app, code('F', 'X'), shell::kSourceKey), 1);
    EXPECT_EQ(ui().boxes.size(), 1u); // the unchanged board is not asked about
    EXPECT_TRUE(run.app.shell.destroyed);
    EXPECT_EQ(slurp(root / "bin" / "Backup" / "sheet.sch"), sheet_text);
    EXPECT_FALSE(slurp(sheet).empty());
}

TEST_F(FileGroup, ExitWithoutChangesAsksNothing) {
    ASSERT_NE(run.start({board.string()}), 0);
    ASSERT_TRUE(run.until_ready());
    run.menu(code('F', 'X'));
    EXPECT_TRUE(ui().boxes.empty());
    EXPECT_TRUE(run.app.shell.destroyed);
}

TEST_F(FileGroup, CloseWarningCancelKeepsAndNoDropsTheChanges) {
    open_both_modified();
    model::Document* s = run.app.doc();
    ui().answers = {Answer::Cancel};
    EXPECT_EQ(shell::execute_command(run.app, code('F', 'C'), shell::kSourceKey), 0);
    ASSERT_EQ(ui().boxes.size(), 1u);
    EXPECT_EQ(ui().boxes[0].title, "Close Save Warning");
    EXPECT_EQ(ui().boxes[0].text, kCloseText);
    EXPECT_EQ(run.app.model.docs.size(), 2u);
    EXPECT_EQ(run.app.doc(), s);

    ui().answers = {Answer::No};
    EXPECT_EQ(shell::execute_command(run.app, code('F', 'C'), shell::kSourceKey), 1);
    EXPECT_EQ(run.app.model.docs.size(), 1u);
    EXPECT_EQ(run.app.doc(), doc_named("board.pcb"));
    EXPECT_EQ(slurp(sheet), sheet_text);
}

TEST_F(FileGroup, EraseAsksTwiceAndDefaultsToKeepingTheFile) {
    open_both_modified();
    ui().answers = {Answer::No};
    EXPECT_EQ(shell::execute_command(run.app, code('F', 'E'), shell::kSourceKey), 0);
    ASSERT_EQ(ui().boxes.size(), 1u);
    EXPECT_EQ(ui().boxes[0].title, "Erase File Warning");
    EXPECT_EQ(ui().boxes[0].text, kEraseModifiedText);
    EXPECT_TRUE(fs::exists(sheet));

    // The confirmation's default button is "no".
    ui().answers = {Answer::Yes};
    EXPECT_EQ(shell::execute_command(run.app, code('F', 'E'), shell::kSourceKey), 0);
    ASSERT_EQ(ui().boxes.size(), 3u);
    EXPECT_TRUE(ui().boxes[2].text.starts_with("File Erasure.\n\n"));
    EXPECT_TRUE(ui().boxes[2].text.ends_with("ARE YOU SURE?"));
    EXPECT_EQ(ui().boxes[2].answer, Answer::No);
    EXPECT_TRUE(fs::exists(sheet));
    EXPECT_EQ(run.app.model.docs.size(), 2u);

    ui().answers = {Answer::Yes, Answer::Yes};
    EXPECT_EQ(shell::execute_command(run.app, code('F', 'E'), shell::kSourceKey), 1);
    EXPECT_FALSE(fs::exists(sheet));
    EXPECT_EQ(run.app.model.docs.size(), 1u);
    EXPECT_TRUE(fs::exists(board));
}

TEST_F(FileGroup, OptionsDialogShowsAndWritesTheTimerForms) {
    ASSERT_NE(run.start(), 0);
    ASSERT_TRUE(run.until_ready());
    shell::Options& o = run.app.shell.options;
    auto shown = [this](const char* id) { return ui().dialogs.back().get(id); };

    // Missing: four minutes, sleeping off.
    ui().dialog_answers["SetupOptionsBox"].push_back({false, {}});
    EXPECT_EQ(shell::setup_options(run.app), 0);
    EXPECT_EQ(shown("autosave"), "4.0");
    EXPECT_EQ(shown("sleep"), "Off");

    platform::Headless::DialogAnswer half;
    half.values["autosave"] = "0.5";
    half.values["sleep"] = "1";
    ui().dialog_answers["SetupOptionsBox"].push_back(half);
    EXPECT_EQ(shell::setup_options(run.app), 1);
    EXPECT_EQ(shell::read_setting(run.app, "Autosave Timer"), "0.5 minutes");
    EXPECT_EQ(shell::read_setting(run.app, "Sleep Mode Timer"), "1.0 minutes");
    EXPECT_EQ(o.autosave_ticks, 546u);
    EXPECT_EQ(o.sleep_ticks, 1092u);

    platform::Headless::DialogAnswer off;
    off.values["autosave"] = "off";
    ui().dialog_answers["SetupOptionsBox"].push_back(off);
    EXPECT_EQ(shell::setup_options(run.app), 1);
    EXPECT_EQ(ui().dialogs[ui().dialogs.size() - 1].name, "SetupOptionsBox");
    EXPECT_EQ(shell::read_setting(run.app, "Autosave Timer"), "Off");
    EXPECT_EQ(o.autosave_ticks, 0u);
    EXPECT_EQ(shell::read_setting(run.app, "Sleep Mode Timer"), "1.0 minutes"); // kept as shown

    // Shown again as stored.
    ui().dialog_answers["SetupOptionsBox"].push_back({false, {}});
    shell::write_setting(run.app, "Autosave Timer", "0.5");
    shell::read_display_settings(run.app);
    shell::setup_options(run.app);
    EXPECT_EQ(shown("autosave"), "0.5");
    // Below 1/256 minute the default runs, and is what the form shows.
    shell::write_setting(run.app, "Autosave Timer", "0");
    shell::read_display_settings(run.app);
    ui().dialog_answers["SetupOptionsBox"].push_back({false, {}});
    shell::setup_options(run.app);
    EXPECT_EQ(shown("autosave"), "4.0");
    shell::write_setting(run.app, "Autosave Timer", "Off");
    shell::read_display_settings(run.app);
    ui().dialog_answers["SetupOptionsBox"].push_back({false, {}});
    shell::setup_options(run.app);
    EXPECT_EQ(shown("autosave"), "Off");
}

TEST_F(FileGroup, OpeningAFileStampsItsReCallEntry) {
    run.app.shell.services.local_time = [] {
        std::tm t{};
        t.tm_year = 98;
        t.tm_mon = 6;
        t.tm_mday = 3;
        t.tm_hour = 0;
        t.tm_min = 5;
        return t;
    };
    ASSERT_NE(run.start({board.string()}), 0);
    ASSERT_TRUE(run.until_ready());
    std::string full = fs::absolute(board).string();
    EXPECT_EQ(shell::read_setting(run.app, "File Re-Call List"), "07/03/98 12:05 am " + full + ";");
    EXPECT_EQ(shell::read_setting(run.app, "File Re-Open List"), full + ";");
}

} // namespace trazel::test
