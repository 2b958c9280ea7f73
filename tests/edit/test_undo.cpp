// Undo records, groups and the two stacks.
#include "edit/commands.h"
#include "edit/undo.h"
#include "edit_fixture.h"

namespace edit_test {
namespace {

using Undo = EditTest;

std::vector<Ref> items(Ref head) {
    std::vector<Ref> v;
    model::for_each_item(head, [&](Ref r) { v.push_back(r); });
    return v;
}

TEST_F(Undo, OneGroupOfThreeChangesUndoesAndRedoesTogether) {
    Ref a = track(1, 0, 0, 100, 0);
    Ref b = pad(0, 500, 500, 100, 100, kVia);
    Ref t = text(3, 900, 900, 600, 500);
    // One user action: all three moved by (10, 20), records numbered 0, 1, 2.
    edit::RecordModified(*d, a, 0);
    edit::RecordModified(*d, b, 1);
    edit::RecordModified(*d, t, 2);
    node(a).line.x1 += 10, node(a).line.y1 += 20, node(a).line.x2 += 10, node(a).line.y2 += 20;
    node(b).pad.x0 += 10, node(b).pad.y0 += 20;
    node(t).text.x0 += 10, node(t).text.y0 += 20;
    EXPECT_EQ(edit::undo_groups(*d), 1);
    EXPECT_EQ(edit::undo(*d, nullptr), 1);
    EXPECT_TRUE(same(p1(a), Point{0, 0}));
    EXPECT_EQ(node(b).pad.x0, 500);
    EXPECT_EQ(node(t).text.y0, 900);
    EXPECT_FALSE(edit::has_undo(*d));
    EXPECT_EQ(edit::redo_groups(*d), 1);
    EXPECT_EQ(edit::redo(*d, nullptr), 1);
    EXPECT_TRUE(same(p2(a), Point{110, 20}));
    EXPECT_EQ(node(b).pad.y0, 520);
    EXPECT_EQ(node(t).text.x0, 910);
    // Undo of an empty stack does nothing.
    EXPECT_EQ(edit::redo(*d, nullptr), 0);
}

TEST_F(Undo, DeletedComponentComesBackAtItsPlaceWithItsMembers) {
    Ref before = track(1, 0, 0, 100, 0);
    Ref c = component("U1");
    Ref m1 = pad(0, 0, 0, 100, 100, kOvalThru, members(c));
    Ref m2 = text(3, 0, 0, 600, 500, 0, 0, members(c));
    close(c);
    Ref after = track(1, 0, 0, 0, 100);
    uint32_t used = m.pool.used_count();
    EXPECT_EQ(edit::RecordDeleted(*d, c, 0), after);
    EXPECT_EQ(items(ring()), (std::vector<Ref>{before, after}));
    edit::undo(*d, nullptr);
    EXPECT_EQ(items(ring()), (std::vector<Ref>{before, c, after}));
    EXPECT_EQ(items(members(c)), (std::vector<Ref>{m1, m2}));
    EXPECT_EQ(node(c).item_kind(), model::kComponent);
    EXPECT_FALSE(node(c).hidden());
    // Redo deletes it again; a new record then purges the redo stack, which frees it for good.
    edit::redo(*d, nullptr);
    EXPECT_EQ(items(ring()), (std::vector<Ref>{before, after}));
    edit::undo(*d, nullptr);
    edit::redo(*d, nullptr);
    edit::undo(*d, nullptr);
    EXPECT_TRUE(edit::has_redo(*d));
    edit::RecordModified(*d, before, 0);
    EXPECT_FALSE(edit::has_redo(*d));
    EXPECT_EQ(items(ring()), (std::vector<Ref>{before, c, after})); // undone: still there
    // Deleting it again and purging the undo stack releases the Component, its members and chains.
    edit::RecordDeleted(*d, c, 0);
    edit::purge_undo(*d);
    EXPECT_LT(m.pool.used_count(), used - 4);
}

TEST_F(Undo, CreatedItemsLeaveAndReturnAtTheSamePlace) {
    Ref a = track(1, 0, 0, 100, 0);
    Ref n1 = track(1, 0, 0, 0, 100);
    Ref n2 = pad(0, 5, 5, 100, 100, kVia);
    Ref z = track(1, 9, 9, 99, 99);
    // A placement of two Items in the middle of the ring, one group.
    edit::RecordCreated(*d, n1, 0);
    edit::RecordCreated(*d, n2, 1);
    edit::undo(*d, nullptr);
    EXPECT_EQ(items(ring()), (std::vector<Ref>{a, z}));
    edit::redo(*d, nullptr);
    EXPECT_EQ(items(ring()), (std::vector<Ref>{a, n1, n2, z}));
    EXPECT_TRUE(d->modified());
}

TEST_F(Undo, UndoAllAndRedoAllWalkEveryGroupBothWays) {
    Ref a = track(1, 0, 0, 100, 0);
    for (int i = 1; i <= 5; ++i) {
        edit::RecordModified(*d, a, 0);
        node(a).line.x2 = 100 * (i + 1);
    }
    Ref b = track(2, 0, 0, 0, 50);
    edit::RecordCreated(*d, b, 0);
    EXPECT_EQ(edit::undo_groups(*d), 6);
    EXPECT_EQ(edit::undo(*d, nullptr, true), 6);
    EXPECT_EQ(node(a).line.x2, 100);
    EXPECT_EQ(items(ring()), (std::vector<Ref>{a}));
    EXPECT_EQ(edit::redo(*d, nullptr, true), 6);
    EXPECT_EQ(node(a).line.x2, 600);
    EXPECT_EQ(items(ring()), (std::vector<Ref>{a, b}));
    // Single steps back: each group alone.
    edit::undo(*d, nullptr);
    EXPECT_EQ(items(ring()), (std::vector<Ref>{a}));
    edit::undo(*d, nullptr);
    EXPECT_EQ(node(a).line.x2, 500);
}

TEST_F(Undo, ForgottenItemsAreSkippedAndNeighboursKept) {
    Ref a = track(1, 0, 0, 100, 0);
    Ref doomed = track(1, 5, 5, 50, 50);
    Ref b = track(1, 1, 1, 2, 2);
    // a is deleted with `doomed` as its successor; then `doomed` goes outside undo.
    edit::RecordModified(*d, doomed, 0);
    edit::RecordDeleted(*d, a, 0);
    edit::ForgetItem(*d, doomed);
    model::DeleteItem(doomed);
    EXPECT_EQ(edit::undo(*d, nullptr), 1); // a comes back in front of b, where doomed was
    EXPECT_EQ(items(ring()), (std::vector<Ref>{a, b}));
    EXPECT_EQ(edit::undo(*d, nullptr), 1); // the record of doomed is skipped
    EXPECT_FALSE(edit::has_undo(*d));
}

TEST_F(Undo, ReleasingTheStacksReturnsEveryNode) {
    uint32_t used = m.pool.used_count();
    Ref a = track(1, 0, 0, 100, 0);
    Ref t = text(3, 0, 0, 600, 500);
    edit::RecordModified(*d, a, 0);
    edit::RecordDeleted(*d, t, 1);
    edit::undo(*d, nullptr);
    edit::RecordDeleted(*d, a, 0);
    edit::release_undo(*d);
    EXPECT_EQ(d->undo_anchor, model::kNone);
    EXPECT_EQ(m.pool.used_count(), used + 2); // the restored Text and its one chain Node
    (void)t;
}

} // namespace
} // namespace edit_test
