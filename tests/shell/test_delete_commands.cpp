// The Delete group and the document-wide snaps through the headless shell: macros act at the cursor, the
// menu asks for the point, confirmation boxes guard the snaps, and undo takes a deletion back to the same
// Data file.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "edit/commands.h"
#include "edit/grab.h"
#include "edit/status.h"
#include "edit/undo.h"
#include "shell/commands.h"
#include "shell/macro_session.h"
#include "shell/mouse.h"

namespace delete_commands {
namespace {

using namespace shell_test;
using edit_test::kBottom;
using edit_test::kTop;
using edit_test::kTopSilk;
using shell::code;

struct DeleteCommands : MacroSession {
    void load(const std::function<void(Ref)>& build) {
        start({{"board.pcb",
                [&](Ref ring) {
                    // A silk frame keeps the working area inside the window.
                    edit_test::make_track(ring, kTopSilk, 0, 0, in(4), 0, 600);
                    edit_test::make_track(ring, kTopSilk, in(4), in(4), 0, in(4), 600);
                    build(ring);
                }}},
              kSixteenth, "Enter <LY=3>"); // TRAZEL mode, top copper current
    }
    // The one top-level Item of a kind on a layer (kNone when there is not exactly one).
    Ref only(uint8_t kind, int layer) {
        Ref found = model::kNone;
        int n = 0;
        for (Ref r : model::items_in(doc().ring())) {
            if (node(r).item_kind() == kind && node(r).layer == layer) {
                found = r;
                ++n;
            }
        }
        return n == 1 ? found : model::kNone;
    }
    int count(uint8_t kind) {
        int n = 0;
        model::walk_tree(doc().ring(), [&](Ref r, int) { n += node(r).item_kind() == kind ? 1 : 0; });
        return n;
    }
    bool asked(const std::string& title) {
        for (const auto& b : run->ui().boxes) {
            if (b.title == title) {
                return true;
            }
        }
        return false;
    }
};

TEST_F(DeleteCommands, AMacroDeletesAtTheCursorAndTheMenuAsksForThePoint) {
    load([](Ref ring) {
        edit_test::make_track(ring, kTop, in(1), in(1), in(2), in(1));
        edit_test::make_pad(ring, 0, in(3), in(1), 3277, 3277, 3);
    });
    std::string before = file();
    play("\"1.5,1\" Enter <DL>");
    EXPECT_EQ(only(model::kLine, kTop), model::kNone);
    EXPECT_EQ(run->app.shell.prompt, "Delete: Line");
    EXPECT_EQ(edit::undo_groups(doc()), 1);
    // Nothing there: the beep and the ask for a line.
    size_t beeps = sounds(platform::Sound::Beep);
    play("\"2,2\" Enter <DL>");
    EXPECT_GT(sounds(platform::Sound::Beep), beeps);
    EXPECT_NE(run->app.shell.status.text.find(message(edit::kMsgDeleteLine)), std::string::npos);
    EXPECT_EQ(edit::undo_groups(doc()), 1);

    // From the menu the function waits for a click, then stays for the next one.
    play("\"3,1\" Enter");
    ASSERT_NE(only(model::kPad, 0), model::kNone);
    shell::execute_command(run->app, code('D', 'P'), shell::Source::Mouse);
    EXPECT_NE(only(model::kPad, 0), model::kNone);
    EXPECT_EQ(run->app.shell.prompt, "Delete: Pad/Via");
    EXPECT_NE(run->app.shell.status.text.find(message(edit::kMsgDeletePad)), std::string::npos);
    shell::click_left_action(run->app);
    EXPECT_EQ(only(model::kPad, 0), model::kNone);
    EXPECT_EQ(run->app.shell.prompt, "Delete: Pad/Via");
    undo_all_gives(before);
}

TEST_F(DeleteCommands, MultiLineThroughAViaIsOneStep) {
    load([](Ref ring) {
        edit_test::make_track(ring, kTop, in(1), in(1), in(2), in(1));
        edit_test::make_pad(ring, 0, in(2), in(1), 3277, 3277, 3);
        edit_test::make_track(ring, kBottom, in(2), in(1), in(2), in(2));
        edit_test::make_track(ring, kBottom, in(2), in(2), in(3), in(2));
        edit_test::make_track(ring, kBottom, in(3), in(3), in(3.5), in(3)); // apart
    });
    std::string before = file();
    play("\"1.5,1\" Enter <DM>");
    EXPECT_EQ(count(model::kPad), 0);
    EXPECT_EQ(count(model::kLine), 3); // the frame and the track apart
    EXPECT_EQ(edit::undo_groups(doc()), 1);
    undo_all_gives(before);
}

TEST_F(DeleteCommands, VertexJoinsTwoSegmentsAndMovesTheCursorButNotThree) {
    load([](Ref ring) {
        edit_test::make_track(ring, kTop, in(1), in(1), in(2), in(1));
        edit_test::make_track(ring, kTop, in(2), in(1), in(2), in(3));
        edit_test::make_track(ring, kBottom, in(1), in(3), in(2), in(3));
        edit_test::make_track(ring, kBottom, in(2), in(3), in(3), in(3));
        edit_test::make_track(ring, kBottom, in(2), in(3), in(2), in(3.5));
    });
    std::string before = file();
    play("\"2,1\" Enter <DE>");
    Ref joined = only(model::kLine, kTop);
    ASSERT_NE(joined, model::kNone);
    EXPECT_EQ(node(joined).line.x1, in(1));
    EXPECT_EQ(node(joined).line.y2, in(3));
    // (1, 1) is half an inch away by the measure, (2, 3) two inches.
    EXPECT_EQ(cursor().x, in(1));
    EXPECT_EQ(cursor().y, in(1));

    // Three ends meet on the bottom: nothing changes, the function ends with the error sound.
    size_t errors = sounds(platform::Sound::Error);
    play("<LY=4> \"2,3\" Enter <DE>");
    EXPECT_EQ(edit::undo_groups(doc()), 1);
    EXPECT_EQ(count(model::kLine), 2 + 1 + 3);
    EXPECT_GT(sounds(platform::Sound::Error), errors);
    EXPECT_EQ(run->app.shell.prompt, "");
    play("<LY=3>");
    undo_all_gives(before);
}

TEST_F(DeleteCommands, ComponentGoesWithItsMembersAndUndoBringsThemBack) {
    Ref comp_in_file = model::kNone;
    load([&](Ref ring) {
        Ref c = edit_test::make_component(ring, "DIP", "U1", Point{in(2), in(2)});
        Ref m = model::member_ring(c);
        edit_test::make_pad(m, 0, in(2), in(2), 3932, 3932, 1);
        edit_test::make_pad(m, 0, in(2.1), in(2), 3932, 3932, 1);
        edit_test::make_track(m, kTopSilk, in(1.9), in(1.9), in(2.2), in(1.9), 524);
        edit_test::make_text(m, kTopSilk, in(2), in(2.2), 3277, "&1");
        model::close_component(c);
        comp_in_file = c;
    });
    std::string before = file();
    play("\"2.05,2\" Enter <DC>");
    EXPECT_EQ(count(model::kComponent), 0);
    EXPECT_EQ(count(model::kPad), 0);
    EXPECT_EQ(count(model::kText), 0);
    EXPECT_EQ(edit::undo_groups(doc()), 1);
    play("<UU>");
    EXPECT_EQ(count(model::kComponent), 1);
    EXPECT_EQ(count(model::kPad), 2);
    EXPECT_EQ(file(), before);
}

TEST_F(DeleteCommands, DeleteGrabbedTakesTheHeldPadAndLeavesItsCompanions) {
    load([](Ref ring) {
        Ref c = edit_test::make_component(ring, "0805", "C1", Point{in(2), in(2)});
        Ref m = model::member_ring(c);
        Ref p = edit_test::make_pad(m, kTop, in(2), in(2), 2949, 3604, 6);
        model::SetPin(p, "1");
        edit_test::make_pad(m, kTop, in(2.1), in(2), 2949, 3604, 6);
        edit_test::make_track(m, kTopSilk, in(1.9), in(1.9), in(2.2), in(1.9), 524);
        model::close_component(c);
    });
    std::string before = file();
    // With nothing grabbed DG only ends the current function.
    play("\"3,3\" Enter <DL> <DG>");
    EXPECT_EQ(run->app.shell.prompt, "");
    EXPECT_FALSE(edit::has_undo(doc()));

    // Nothing highlighted: DH only beeps.
    size_t beeps = sounds(platform::Sound::Beep);
    play("<DH>");
    EXPECT_GT(sounds(platform::Sound::Beep), beeps);
    EXPECT_FALSE(edit::has_undo(doc()));

    play("\"2,2\" Enter <GI>");
    ASSERT_TRUE(edit::grab_pending(run->app));
    play("4Right <DG>");
    EXPECT_FALSE(edit::grab_pending(run->app));
    EXPECT_EQ(count(model::kComponent), 1);
    EXPECT_EQ(count(model::kPad), 1);
    int visible_lines = 0;
    model::walk_tree(doc().ring(), [&](Ref r, int) {
        EXPECT_FALSE(node(r).hidden());
        visible_lines += node(r).item_kind() == model::kLine ? 1 : 0;
    });
    EXPECT_EQ(visible_lines, 3); // the frame and the component outline
    EXPECT_EQ(edit::undo_groups(doc()), 1);
    undo_all_gives(before);
}

TEST_F(DeleteCommands, GridSnapsCannotBeUndoneTheTrackPadSnapCan) {
    load([](Ref ring) {
        Ref c = edit_test::make_component(ring, "DIP", "U1", Point{in(2) + 1000, in(2) - 900});
        Ref m = model::member_ring(c);
        edit_test::make_pad(m, 0, in(2) + 1000, in(2) - 900, 3932, 3932, 1);
        model::close_component(c);
        edit_test::make_text(ring, kTopSilk, in(1) + 700, in(3) + 20, 3277, "T");
        edit_test::make_track(ring, kTop, in(1), in(1), in(2) + 1500, in(2) - 100);
    });
    std::string before = file();
    // Cancelled, nothing happens.
    run->ui().answers.push_back(platform::Answer::Cancel);
    play("<EG>");
    ASSERT_FALSE(run->ui().boxes.empty());
    EXPECT_EQ(run->ui().boxes.back().title, "Component Grid Snap Warning");
    EXPECT_EQ(run->ui().boxes.back().text,
              "This function will move all components to\nthe nearest grid snap position.\n\nDo you wish to proceed?");
    EXPECT_EQ(file(), before);

    play("<EG> <ED>");
    EXPECT_TRUE(asked("Text Grid Snap Warning"));
    Ref comp = only(model::kComponent, 0);
    ASSERT_NE(comp, model::kNone);
    EXPECT_EQ(node(model::member_ring(comp)).box.x1, in(2));
    EXPECT_EQ(node(model::member_ring(comp)).box.y1, in(2));
    Ref t = only(model::kText, kTopSilk);
    EXPECT_EQ(node(t).text.x0, in(1));
    EXPECT_EQ(node(t).text.y0, in(3));
    EXPECT_FALSE(edit::has_undo(doc()));
    std::string snapped = file();
    EXPECT_NE(snapped, before);
    size_t beeps = sounds(platform::Sound::Beep) + sounds(platform::Sound::Error);
    play("<UU>");
    EXPECT_GT(sounds(platform::Sound::Beep) + sounds(platform::Sound::Error), beeps);
    EXPECT_EQ(file(), snapped);

    // The track's end lies in the pad, now at (2, 2): it goes to the centre, and undo takes it back.
    play("<EN>");
    EXPECT_TRUE(asked("Track Pad Snap Warning"));
    Ref track = only(model::kLine, kTop);
    EXPECT_EQ(node(track).line.x2, in(2));
    EXPECT_EQ(node(track).line.y2, in(2));
    EXPECT_EQ(edit::undo_groups(doc()), 1);
    play("<UU>");
    EXPECT_EQ(file(), snapped);

    // The centroid only counts surface-mount pads: nothing here to move, nothing recorded.
    play("<EM>");
    EXPECT_TRUE(asked("Component Centroid Warning"));
    EXPECT_EQ(file(), snapped);
}

} // namespace
} // namespace delete_commands
