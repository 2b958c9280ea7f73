// The Un-do group and the dialogs of the transforms in the headless shell: the purge confirmations word
// for word, the redo purge before a new change, the two options, the modified mark, and GN and GS.
#include <memory>

#include "board_build.h"
#include "edit/commands.h"
#include "edit/grab.h"
#include "edit/undo.h"
#include "app/core/headless_run.h"
#include "shell/macros.h"

namespace edit_test {
namespace {

constexpr Coord kInch = 65536;
constexpr uint16_t kUU = 'U' << 8 | 'U', kUS = 'U' << 8 | 'S', kUP = 'U' << 8 | 'P';

struct UndoGroup : ::testing::Test {
    std::string path;
    std::unique_ptr<shell::HeadlessRun> run;
    Ref track = model::kNone;

    void SetUp() override {
        path = temp_path("undo.pcb");
        write_board(path, [](Ref ring) {
            make_track(ring, kTop, kInch, kInch, 2 * kInch, kInch);
            make_pad(ring, 0, 3 * kInch, kInch, 3000, 3000, 1);
        });
        run = std::make_unique<shell::HeadlessRun>();
        ASSERT_TRUE(run->start({path}));
        ASSERT_TRUE(run->until_ready(1000));
        run->app.display.view.snap = 0;
        model::for_each_item(doc().ring(), [&](Ref r) {
            if (node(r).item_kind() == model::kLine) {
                track = r;
            }
        });
        ASSERT_NE(track, model::kNone);
    }
    model::Document& doc() {
        return *run->app.doc();
    }
    platform::Headless& ui() {
        return run->ui();
    }
    void play(const std::string& keys) {
        ASSERT_TRUE(shell::play_macro(run->app, keys));
        ASSERT_TRUE(run->until_macro_done(20000));
        run->tick(8);
    }
    // Moves the track (at height `from` inches) to height `to` with one GL.
    void move_track(const std::string& to, const std::string& from = "1") {
        play("\"1.5," + from + "\" Enter <GL> \"1.5," + to + "\" Enter Enter");
    }
    Coord y() {
        return node(track).line.y1;
    }
};

TEST_F(UndoGroup, PurgeConfirmationsAreAskedWordForWordAndOnlyOkPurges) {
    move_track("1.25");
    ui().answers.push_back(platform::Answer::Cancel);
    run->menu(kUS);
    ASSERT_FALSE(ui().boxes.empty());
    EXPECT_EQ(ui().boxes.back().title, "Un-Do Purge");
    EXPECT_EQ(ui().boxes.back().text, "Are You Sure?\n\nPurging the Un-Do stack cannot be un-done.\nAll data will be lost.");
    EXPECT_EQ(ui().boxes.back().buttons, platform::Buttons::OkCancel);
    EXPECT_TRUE(edit::has_undo(doc()));

    run->menu(kUU);
    EXPECT_EQ(y(), kInch);
    ui().answers.push_back(platform::Answer::Cancel);
    run->menu(kUP);
    EXPECT_EQ(ui().boxes.back().title, "Re-Do Purge");
    EXPECT_EQ(ui().boxes.back().text, "Are You Sure?\n\nPurging the Re-Do stack cannot be un-done.\nAll data will be lost.");
    EXPECT_TRUE(edit::has_redo(doc()));
    ui().answers.push_back(platform::Answer::Ok);
    run->menu(kUP);
    EXPECT_FALSE(edit::has_redo(doc()));

    // With nothing to purge only the beep: no box.
    size_t boxes = ui().boxes.size(), sounds = ui().sounds.size();
    run->menu(kUP);
    run->menu(kUS);
    EXPECT_EQ(ui().boxes.size(), boxes);
    EXPECT_EQ(ui().sounds.size(), sounds + 2);
}

TEST_F(UndoGroup, ANewChangeAfterUndoPurgesRedoOnlyAfterTheNotification) {
    move_track("1.25");
    play("<UU>");
    ASSERT_TRUE(edit::has_redo(doc()));
    run->app.shell.options.purge_redo_notification = true;
    // Cancel: the Grab function does not start, redo stays possible.
    ui().answers.push_back(platform::Answer::Cancel);
    move_track("1.5");
    EXPECT_EQ(ui().boxes.back().title, "Re-Do Purge");
    EXPECT_EQ(ui().boxes.back().text,
              "Activating this function will effect an auto-purge\nof all items and commands in the Re-Do stack.\n\n"
              "Purging the Re-Do stack cannot be un-done and\nall Re-Do information will be lost.\n\nDo you wish to "
              "continue?");
    EXPECT_EQ(y(), kInch);
    EXPECT_TRUE(edit::has_redo(doc()));
    // OK: purged, and the change is made.
    ui().answers.push_back(platform::Answer::Ok);
    move_track("1.5");
    EXPECT_EQ(y(), kInch * 3 / 2);
    EXPECT_FALSE(edit::has_redo(doc()));
    // With the option off no box is shown and the redo stack goes all the same.
    play("<UU>");
    run->app.shell.options.purge_redo_notification = false;
    size_t boxes = ui().boxes.size();
    move_track("1.75");
    EXPECT_EQ(ui().boxes.size(), boxes);
    EXPECT_FALSE(edit::has_redo(doc()));
    EXPECT_EQ(y(), kInch * 7 / 4);
}

TEST_F(UndoGroup, SavingEndsUndoUnlessUndoBeyondSaveIsOn) {
    move_track("1.25");
    play("<FS>");
    EXPECT_FALSE(doc().modified());
    EXPECT_FALSE(edit::has_undo(doc()));
    size_t sounds = ui().sounds.size();
    play("<UU>");
    EXPECT_GT(ui().sounds.size(), sounds); // only the beep
    EXPECT_EQ(y(), kInch * 5 / 4);

    run->app.shell.options.undo_beyond_save = true;
    move_track("1.5", "1.25");
    play("<FS>");
    EXPECT_FALSE(doc().modified());
    play("<UU>");
    EXPECT_EQ(y(), kInch * 5 / 4);
    // The Document differs from the file again, so it is marked.
    EXPECT_TRUE(doc().modified());
}

TEST_F(UndoGroup, UndoChosenFromTheMenuEndsTheCurrentFunction) {
    move_track("1.25");
    move_track("1.5", "1.25");
    run->menu('G' << 8 | 'L'); // from the menu: the function waits for its click
    ASSERT_TRUE(static_cast<bool>(run->app.shell.slots[0].left));
    run->menu(kUU);
    EXPECT_EQ(y(), kInch * 5 / 4);
    EXPECT_FALSE(static_cast<bool>(run->app.shell.slots[0].left));
    EXPECT_TRUE(run->app.shell.status.text.empty()) << run->app.shell.status.text;
}

TEST_F(UndoGroup, RotateByAnAngleAndScaleTakeTheirDialogs) {
    ui().dialog_answers["RotationAngleBox"].push_back({true, {{"angle", "90"}}});
    ui().dialog_answers["ScalingFactorBox"].push_back({true, {{"factor", "2"}}});
    // The track grabbed at its first end's x and turned by 90 degrees about (1.5, 1): (1, 1) -> (1.5, 0.5).
    play("\"1.5,1\" Enter <GL> <GN> Enter");
    ASSERT_FALSE(ui().dialogs.empty());
    EXPECT_EQ(ui().dialogs.back().name, "RotationAngleBox");
    EXPECT_EQ(node(track).line.x1, kInch * 3 / 2);
    EXPECT_EQ(node(track).line.y1, kInch / 2);
    EXPECT_EQ(node(track).line.y2, kInch * 3 / 2);
    // Scaled by 2 about (1.5, 1): (1.5, 0.5) -> (1.5, 0).
    play("\"1.5,1\" Enter <GL> <GS> Enter");
    EXPECT_EQ(ui().dialogs.back().name, "ScalingFactorBox");
    EXPECT_EQ(node(track).line.y1, 0);
    EXPECT_EQ(node(track).line.y2, 2 * kInch);
    // A factor that is no number is refused with its message and changes nothing.
    ui().dialog_answers["ScalingFactorBox"].push_back({true, {{"factor", "big"}}});
    play("\"1.5,1\" Enter <GL> <GS>");
    EXPECT_EQ(run->app.shell.status.text.find("The scaling factor"), 0u) << run->app.shell.status.text;
    play("Esc");
    EXPECT_EQ(node(track).line.y1, 0);
}

} // namespace
} // namespace edit_test
