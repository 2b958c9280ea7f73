// EK, EF, ER and EQ end to end: boards loaded by the headless shell, grabs made and the functions chosen by
// keystroke macros, boxes and dialogs answered by the headless platform.  Each case that changes a board
// undoes all it did and compares the Data file with the one written before.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "edit/commands.h"
#include "edit/resequence.h"
#include "edit/status.h"
#include "edit/undo.h"
#include "shell/macro_session.h"

namespace structure_commands {
namespace {

using namespace shell_test;
using edit_test::kTop;
using edit_test::kTopSilk;

// A silk frame round the working area, a Component U1 hooked at (2, 2) with two pads and a silk outline
// from (1.875, 1.875) to (2.625, 2.125), a track out of its second pad, and a loose track inside its box.
void board(Ref ring) {
    edit_test::make_track(ring, kTopSilk, 0, 0, in(8), 0, 600);
    edit_test::make_track(ring, kTopSilk, in(8), 0, in(8), in(4), 600);
    edit_test::make_track(ring, kTopSilk, in(8), in(4), 0, in(4), 600);
    edit_test::make_track(ring, kTopSilk, 0, in(4), 0, 0, 600);
    Ref c = edit_test::make_component(ring, "DIP", "U1", {in(2), in(2)});
    Ref m = model::member_ring(c);
    edit_test::make_pad(m, 0, in(2.25), in(2), 3932, 3932, 1);
    edit_test::make_pad(m, 0, in(2.5), in(2), 3932, 3932, 1);
    edit_test::make_track(m, kTopSilk, in(1.875), in(1.875), in(2.625), in(1.875), 500);
    edit_test::make_track(m, kTopSilk, in(2.625), in(1.875), in(2.625), in(2.125), 500);
    edit_test::make_track(m, kTopSilk, in(2.625), in(2.125), in(1.875), in(2.125), 500);
    edit_test::make_track(m, kTopSilk, in(1.875), in(2.125), in(1.875), in(1.875), 500);
    model::close_component(c);
    edit_test::make_track(ring, kTop, in(2.5), in(2), in(3.5), in(2));
    edit_test::make_track(ring, kTop, in(2.0625), in(1.9375), in(2.375), in(1.9375));
}

struct StructureCommands : MacroSession {
    void load(const std::function<void(Ref)>& build) {
        open({{"board.pcb", build}});
    }
    void open(const std::vector<Board>& files) {
        start(files, kSixteenth, "Enter <LY=3>");
    }
    std::vector<Ref> top(uint8_t kind, int width = -1) {
        std::vector<Ref> out;
        for (Ref r : model::items_in(doc().ring())) {
            if (node(r).item_kind() == kind && (width < 0 || node(r).size == width)) {
                out.push_back(r);
            }
        }
        return out;
    }
    Ref u1() {
        for (Ref r : top(model::kComponent)) {
            return r;
        }
        return model::kNone;
    }
};

TEST_F(StructureCommands, DissolvingAsksFirstAndGivesTheMembersToTheBoard) {
    load(board);
    std::string before = file();
    size_t lines = top(model::kLine).size();
    play("\"2,2\" Enter <GO>");
    ASSERT_TRUE(edit::grab_pending(run->app));
    ui().answers.push_back(platform::Answer::Cancel);
    play("<EK>");
    ASSERT_FALSE(ui().boxes.empty());
    EXPECT_EQ(ui().boxes.back().title, "Dissolve Component Warning");
    EXPECT_EQ(ui().boxes.back().text, "The selected component is about to be dissolved.\n\nDo you wish to continue?");
    EXPECT_EQ(ui().boxes.back().buttons, platform::Buttons::OkCancel);
    // Cancelled: nothing changed and the Component still hangs on the cursor.
    EXPECT_TRUE(edit::grab_pending(run->app));
    EXPECT_NE(u1(), model::kNone);

    ui().answers.push_back(platform::Answer::Ok);
    play("<EK>");
    EXPECT_FALSE(edit::grab_pending(run->app));
    EXPECT_EQ(u1(), model::kNone);
    EXPECT_EQ(top(model::kPad).size(), 2u);
    EXPECT_EQ(top(model::kLine).size(), lines + 4);
    EXPECT_EQ(edit::undo_groups(doc()), 1);
    undo_all_gives(before);
}

TEST_F(StructureCommands, AComponentWithTracksOrSeveralItemsAreRefused) {
    load(board);
    std::string before = file();
    play("\"2,2\" Enter <GC>");
    play("<EK>");
    ASSERT_FALSE(ui().boxes.empty());
    EXPECT_EQ(ui().boxes.back().title, "Krump Component Error");
    EXPECT_EQ(ui().boxes.back().text, "The selected component has attached lines.\n\nTo grab a naked component, try "
                                      "using the\n\"Grab Component Only\" function");
    EXPECT_TRUE(edit::grab_pending(run->app));
    play("Esc");
    // The track out of the pad, grabbed by GL with the pad's new track: two Items.
    play("\"3,2\" Enter <GL>");
    ASSERT_TRUE(edit::grab_pending(run->app));
    play("<EK>");
    EXPECT_EQ(ui().boxes.back().title, "Krump Component Error");
    EXPECT_EQ(ui().boxes.back().text, "More than one file element has been grabbed.\n\nTo grab a single entity, try "
                                      "using the\n\"Grab Item\" function");
    play("Esc");
    EXPECT_EQ(file(), before);
    // Nothing grabbed: the message that there is nothing to dissolve.
    play("<EK>");
    EXPECT_EQ(status(), message(edit::kMsgNothingToDissolve));
    play("<EF>");
    EXPECT_EQ(status(), message(edit::kMsgNothingToDissolve));
}

TEST_F(StructureCommands, AnItemGoesIntoTheComponentUnderItAndOutAgain) {
    load(board);
    std::string before = file();
    size_t members = static_cast<size_t>(std::distance(model::items_in(model::member_ring(u1())).begin(),
                                                       model::items_in(model::member_ring(u1())).end()));
    // The loose track inside U1's box, grabbed and not moved: added in one group.
    play("\"2.125,1.9375\" Enter <GI> <EK>");
    EXPECT_EQ(status(), "Line added to component.");
    EXPECT_FALSE(edit::grab_pending(run->app));
    EXPECT_EQ(edit::undo_groups(doc()), 1);
    auto count = [&] {
        size_t n = 0;
        for (Ref r : model::items_in(model::member_ring(u1()))) {
            (void)r;
            ++n;
        }
        return n;
    };
    EXPECT_EQ(count(), members + 1);
    // Grabbed again as a member and carried out of the box: dropped there first, then taken out.
    play("<GI> 16Right <EK>");
    EXPECT_EQ(status(), "Line removed from component.");
    EXPECT_EQ(count(), members);
    EXPECT_EQ(edit::undo_groups(doc()), 3);
    undo_all_gives(before);
}

TEST_F(StructureCommands, ASquareBecomesASolidAndAnOpenChainBeepsFirst) {
    load([](Ref ring) {
        board(ring);
        edit_test::make_track(ring, kTop, in(4), in(1), in(5), in(1));
        edit_test::make_track(ring, kTop, in(5), in(1), in(5), in(2));
        edit_test::make_track(ring, kTop, in(4), in(2), in(5), in(2));
        edit_test::make_track(ring, kTop, in(4), in(2), in(4), in(1));
        // An open chain: left, bottom, right.
        edit_test::make_track(ring, kTop, in(6), in(2), in(6), in(1));
        edit_test::make_track(ring, kTop, in(6), in(1), in(7), in(1));
        edit_test::make_track(ring, kTop, in(7), in(1), in(7), in(2));
    });
    std::string before = file();
    size_t lines = top(model::kLine).size();
    size_t beeps = sounds(platform::Sound::Beep);
    play("\"4.5,1\" Enter <GI> <EF>");
    EXPECT_FALSE(edit::grab_pending(run->app));
    ASSERT_EQ(top(model::kLine, 0).size(), 1u);
    EXPECT_EQ(model::vertex_count(top(model::kLine, 0)[0]), 4);
    EXPECT_EQ(top(model::kLine).size(), lines - 3);
    EXPECT_EQ(sounds(platform::Sound::Beep), beeps);
    EXPECT_EQ(edit::undo_groups(doc()), 1);

    // The open chain beeps and is closed all the same.
    play("\"6.5,1\" Enter <GI> <EF>");
    EXPECT_EQ(sounds(platform::Sound::Beep), beeps + 1);
    ASSERT_EQ(top(model::kLine, 0).size(), 2u);
    EXPECT_EQ(model::vertex_count(top(model::kLine, 0)[1]), 4);
    EXPECT_EQ(edit::undo_groups(doc()), 2);
    undo_all_gives(before);
}

TEST_F(StructureCommands, ATrackTurnsIntoTheArcThatHangsUntilItIsDropped) {
    load([](Ref ring) {
        board(ring);
        edit_test::make_track(ring, kTop, in(1), in(3), in(3), in(3));
    });
    std::string before = file();
    size_t lines = top(model::kLine).size();
    play("\"1.5,3\" Enter <ER>");
    ASSERT_TRUE(edit::grab_pending(run->app));
    EXPECT_EQ(status(), message(edit::kMsgConvertFix));
    EXPECT_EQ(run->app.display.view.cursor_x, in(2)); // the cursor went to the track's middle
    EXPECT_EQ(run->app.display.view.cursor_y, in(3));
    play("Enter");
    EXPECT_FALSE(edit::grab_pending(run->app));
    ASSERT_EQ(top(model::kArc).size(), 1u);
    Ref a = top(model::kArc)[0];
    EXPECT_EQ(node(a).arc.x0, in(2));
    EXPECT_EQ(node(a).arc.radius, in(1));
    EXPECT_EQ(node(a).arc.sweep, 0x8000);
    EXPECT_EQ(top(model::kLine).size(), lines - 1);
    EXPECT_EQ(edit::undo_groups(doc()), 1);
    // Nowhere near a track: the beep and the message asking for one.
    size_t beeps = sounds(platform::Sound::Beep);
    play("\"7,3.5\" Enter Enter");
    EXPECT_EQ(sounds(platform::Sound::Beep), beeps + 1);
    EXPECT_EQ(status(), message(edit::kMsgConvertLine));
    undo_all_gives(before);
}

// Sheet 1 holds U3 and the gates a and b of U7, sheet 2 the gate c of U7, the board U7 and U3.
TEST_F(StructureCommands, ResequencingTwoSheetsCarriesTheNumbersToTheBoard) {
    auto part = [](Ref ring, const std::string& ref, double x, double y) {
        Ref c = edit_test::make_component(ring, "PAT", ref, {in(x), in(y)});
        edit_test::make_pad(model::member_ring(c), 0, in(x), in(y), 3932, 3932, 1);
        edit_test::make_text(model::member_ring(c), kTopSilk, in(x), in(y + 0.1), 3000, "&1");
        model::close_component(c);
    };
    open({{"DEMO.PCB",
           [&](Ref r) {
               part(r, "U7", 5, 3);
               part(r, "U3", 6, 3);
           }},
          {"DEMO.SH2", [&](Ref r) { part(r, "U7c", 1, 1); }},
          {"DEMO.SH1", [&](Ref r) {
               part(r, "U7a", 2, 2);
               part(r, "U3", 1, 2);
               part(r, "U7b", 1, 1);
           }}});
    ASSERT_EQ(edit::sheet_number(doc().name()), 1);
    ui().dialog_answers["ResequenceComponentsBox"].push_back(
        {true, {{"position", "1"}, {"order", "0"}, {"corner", "0"}, {"start", "1"}, {"step", "1"}, {"annotate", "1"}}});
    play("<EQ>");
    ASSERT_FALSE(ui().dialogs.empty());
    const platform::Form& f = ui().dialogs.back();
    EXPECT_EQ(f.name, "ResequenceComponentsBox");
    for (const char* id :
         {"position", "order", "corner", "start", "step", "annotate", "hierarchical", "restart", "sheet_step"}) {
        EXPECT_NE(f.field(id), nullptr) << id;
    }
    EXPECT_EQ(status(), message(edit::kMsgResequenced));
    auto refs = [](const char* name) {
        std::vector<std::string> v;
        for (Ref r : model::items_in(model::FindDocument(std::string("*") + name)->ring())) {
            v.push_back(model::ComponentField(r, 1));
        }
        std::sort(v.begin(), v.end());
        return v;
    };
    using Strings = std::vector<std::string>;
    EXPECT_EQ(refs("DEMO.SH1"), (Strings{"U1", "U2a", "U2b"}));
    EXPECT_EQ(refs("DEMO.SH2"), (Strings{"U2c"}));
    EXPECT_EQ(refs("DEMO.PCB"), (Strings{"U1", "U2"}));
    for (const char* name : {"DEMO.SH1", "DEMO.SH2", "DEMO.PCB"}) {
        EXPECT_EQ(edit::undo_groups(*model::FindDocument(std::string("*") + name)), 1) << name;
    }
    play("<UU>");
    EXPECT_EQ(refs("DEMO.SH1"), (Strings{"U3", "U7a", "U7b"}));
}

} // namespace
} // namespace structure_commands
