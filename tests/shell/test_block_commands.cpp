// The B group in the shell: compare then delete the highlighted differences, the messages of a Block used
// from another file, an empty Block, and a Block released with the file that owns it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "edit/commands.h"
#include "edit/status.h"
#include "edit/undo.h"
#include "shell/commands.h"
#include "shell/macro_session.h"

namespace block_commands {
namespace {

using namespace shell_test;
using edit_test::kTop;

// Two equal groups of tracks and pads, the second one inch to the right of the first.
void pair(Ref ring) {
    for (Coord dx : {Coord{0}, kInch}) {
        for (int i = 0; i < 4; ++i) {
            edit_test::make_track(ring, kTop, dx + 6554 * i, 6554, dx + 6554 * i, 26214, 800);
        }
        edit_test::make_pad(ring, kTop, dx + 30000, 30000, 3000, 3000, 6);
    }
}

struct BlockCommands : MacroSession {
    // The same pair of groups in every file.
    void load(const std::vector<std::string>& names) {
        std::vector<Board> boards;
        for (const std::string& n : names) {
            boards.push_back({n, pair});
        }
        start(boards, std::nullopt, "Enter");
    }
    int count(const model::Document& d) {
        int n = 0;
        for (Ref r : model::items_in(d.ring())) {
            n += node(r).hidden() ? 0 : 1;
            (void)r;
        }
        return n;
    }
};

TEST_F(BlockCommands, CompareThenDeleteHighlightedTakesExactlyThePlantedDifferences) {
    load({"pair.pcb"});
    // Plant: one more track on the right, one track of the right group moved.
    Ref extra = edit_test::make_track(doc().ring(), kTop, kInch + 2000, 2000, kInch + 9000, 2000, 800);
    Ref moved = model::kNone;
    for (Ref r : model::items_in(doc().ring())) {
        if (node(r).item_kind() == model::kLine && node(r).line.x1 == kInch + 6554) {
            moved = r;
        }
    }
    ASSERT_NE(moved, model::kNone);
    node(moved).line.x1 += 100;
    node(moved).line.x2 += 100;
    const int before = count(doc());
    play("\"-0.1,-0.1\" Enter <BG> \"0.9,0.9\" Enter Enter \"0,0\" Enter Enter Escape \"1,0\" Enter <BH>");
    int marked = 0;
    for (Ref r : model::items_in(doc().ring())) {
        marked += node(r).marked() ? 1 : 0;
    }
    EXPECT_EQ(marked, 3) << "the extra track, the moved one and the original it no longer matches";
    EXPECT_TRUE(node(extra).marked());
    EXPECT_TRUE(node(moved).marked());
    play("<DH>");
    EXPECT_EQ(count(doc()), before - 3);
    play("<UU>");
    EXPECT_EQ(count(doc()), before);
}

TEST_F(BlockCommands, ABlockUsedFromAnotherFileSaysWhy) {
    load({"one.pcb", "two.pcb"});
    model::Document& owner = doc();
    play("\"-0.1,-0.1\" Enter <BG> \"0.9,0.9\" Enter Enter \"0,0\" Enter Enter Escape");
    ASSERT_TRUE(edit::editor(run->app).block.defined_in(owner));
    model::Document* other = nullptr;
    for (const auto& d : run->app.model.docs) {
        if (d.get() != &owner) {
            other = d.get();
        }
    }
    ASSERT_NE(other, nullptr);
    run->app.model.current = other;
    const int items = count(owner);
    play("<BD>");
    EXPECT_EQ(status(), message(edit::kMsgBlockNoDelete));
    EXPECT_EQ(count(owner), items);
    play("<BU>");
    EXPECT_EQ(status(), message(edit::kMsgBlockNoDelete));
    play("<BB>");
    EXPECT_EQ(status(), message(edit::kMsgBlockOtherFile));
    play("<BG>");
    EXPECT_EQ(status(), message(edit::kMsgBlockRelease));
    play("\"2,0\" Enter <BM>");
    EXPECT_EQ(status(), message(edit::kMsgBlockNoMove)) << "two boards are no sheets of one schematic";
    EXPECT_EQ(count(owner), items);
    // BC into another file is allowed, one undo group there.
    const int there = count(*other);
    play("\"2,0\" Enter <BC>");
    EXPECT_EQ(count(*other), there + 5);
    EXPECT_EQ(edit::undo_groups(*other), 1);
    // Closing the owner releases the Block.
    shell::close_document(run->app, &owner);
    EXPECT_FALSE(edit::editor(run->app).block.defined());
    play("<BE>");
    EXPECT_EQ(status(), message(edit::kMsgBlockUndefined));
}

TEST_F(BlockCommands, AnEmptyBlockBuildsNothing) {
    load({"pair.pcb"});
    play("\"3,3\" Enter <BG> \"4,4\" Enter Enter \"3,3\" Enter Enter Escape <BB>");
    EXPECT_EQ(status(), message(edit::kMsgBlockEmpty));
    // With Items inside and a pattern, the area becomes one Component and both undo stacks go.
    play("\"-0.1,-0.1\" Enter <BG> \"0.9,0.9\" Enter Enter \"0,0\" Enter Enter Escape <DL>");
    run->ui().dialog_answers["BuildCompBox"].push_back({true, {{"field0", "GROUP"}, {"field1", "G1"}}});
    play("<BB>");
    int components = 0;
    for (Ref i : model::items_in(doc().ring())) {
        components += node(i).item_kind() == model::kComponent ? 1 : 0;
    }
    EXPECT_EQ(components, 1);
    EXPECT_FALSE(edit::has_undo(doc()));
    EXPECT_FALSE(edit::editor(run->app).block.defined());
}

} // namespace
} // namespace block_commands
