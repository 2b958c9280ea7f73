// Deleting without the shell: track chains through vias, joining at a vertex, what hangs on the cursor and
// the highlighted Items; each as one undo group that undo takes back.
#include <algorithm>
#include <set>

#include "edit/delete_items.h"
#include "edit/grab.h"
#include "edit/undo.h"
#include "edit_fixture.h"
#include "board_build.h"

namespace edit_test {
namespace {

struct Delete : EditTest {
    std::set<Ref> present() const {
        std::set<Ref> s;
        model::walk_tree(ring(), [&](Ref r, int) { s.insert(r); });
        return s;
    }
    bool has(Ref r) const {
        return present().count(r) != 0;
    }
};

TEST_F(Delete, ChainEndingInAViaTakesTheViaAndGoesOnOnTheOtherLayer) {
    Ref a = track(1, 0, 0, 10000, 0);
    Ref via = pad(0, 10000, 0, 2000, 2000, kVia);
    Ref b = track(2, 10000, 0, 20000, 0);
    Ref c = track(2, 20000, 0, 20000, 10000);
    Ref up = track(1, 10000, 0, 10000, 8000); // also at the via, on the first layer
    // C ends in a component pad: the chain stops there, the track beyond it stays.
    Ref comp = component("U1", 20000, 10000);
    Ref cpad = pad(0, 20000, 10000, 3000, 3000, kOvalThru, members(comp));
    close(comp);
    Ref beyond = track(2, 20000, 10000, 30000, 10000);
    Ref apart = track(2, 50000, 0, 60000, 0);
    Ref top_only = track(1, 20000, 0, 25000, 0); // on top at B's far end: not reached without a via
    std::set<Ref> before = present();

    std::vector<Ref> chain = edit::track_chain(*d, a);
    EXPECT_EQ(std::set<Ref>(chain.begin(), chain.end()), (std::set<Ref>{a, via, b, c, up}));
    EXPECT_EQ(chain.front(), a);
    // The index gives the same chain in the same order.
    ed.index.sync(*d);
    EXPECT_EQ(edit::track_chain(*d, a, &ed.index), chain);

    model::Box area;
    EXPECT_EQ(edit::delete_chain(*d, a, &ed.index, &area), 5);
    EXPECT_TRUE(area.contains(20000, 10000));
    for (Ref r : {a, via, b, c, up}) {
        EXPECT_FALSE(has(r));
    }
    for (Ref r : {comp, cpad, beyond, apart, top_only}) {
        EXPECT_TRUE(has(r));
    }
    EXPECT_EQ(edit::undo_groups(*d), 1);
    EXPECT_EQ(edit::undo(*d, nullptr), 1);
    EXPECT_EQ(present(), before);
}

TEST_F(Delete, ChainJoinsEndsWithinAQuarterOfTheirWidthAndStopsAtPadsOnItsLayer) {
    Ref start = track(1, 0, 0, 10000, 0, 400);
    Ref near = track(1, 10000 + 100, 0, 20000, 0, 400); // 100 = 400 / 4: joined
    Ref far = track(1, 20000 + 101, 0, 30000, 0, 400);  // one unit beyond: not joined
    Ref wide = track(1, 20000, 60, 20000, 9000, 240);   // 60 = 240 / 4 from near's far end
    // A bottom surface-mount pad does not stop a chain on top; a through-hole one does.
    pad(2, 0, 0, 3000, 3000, kRectSmt);
    Ref beyond_smt = track(1, -10000, 0, 0, 0, 400);
    Ref stop = track(1, 20000, 9000, 20000, 20000, 400);
    Ref thru = pad(0, 20000, 9000 + 700, 3000, 3000, kRectThru); // 700 < 3000 / 4
    std::vector<Ref> chain = edit::track_chain(*d, start);
    EXPECT_EQ(std::set<Ref>(chain.begin(), chain.end()), (std::set<Ref>{start, near, wide, beyond_smt}));
    EXPECT_EQ(std::count(chain.begin(), chain.end(), far), 0);
    // Just outside a quarter of the pad's size the pad no longer stops it.
    node(thru).pad.y0 = 9000 + 750;
    chain = edit::track_chain(*d, start);
    EXPECT_EQ(std::count(chain.begin(), chain.end(), stop), 1);
}

TEST_F(Delete, ALongChainIsNotCutShort) {
    // 1500 segments in a zigzag, more points than a fixed work list of 1364 would hold.
    constexpr int kSegments = 1500;
    Point at{0, 0};
    Ref first = model::kNone;
    for (int i = 0; i < kSegments; ++i) {
        Point to{at.x + 1000, (i % 2) ? 0 : 1000};
        Ref t = track(1, at.x, at.y, to.x, to.y);
        first = first == model::kNone ? t : first;
        at = to;
    }
    ed.index.sync(*d);
    Ref middle = model::kNone;
    int k = 0;
    for (Ref r : model::items_in(ring())) {
        if (k++ == kSegments / 2) {
            middle = r;
        }
    }
    std::vector<Ref> via_index = edit::track_chain(*d, middle, &ed.index);
    EXPECT_EQ(via_index.size(), static_cast<size_t>(kSegments));
    EXPECT_EQ(edit::track_chain(*d, middle), via_index);
    EXPECT_EQ(edit::delete_chain(*d, first, &ed.index), kSegments);
    EXPECT_EQ(ring_size(ring()), 0);
}

TEST_F(Delete, ChainsAgreeWithThePlainWalkOnAGeneratedBoard) {
    generate_board(ring(), 7, 24);
    ed.index.sync(*d);
    int chains = 0;
    for (Ref r : model::items_in(ring())) {
        if (node(r).item_kind() == model::kLine && node(r).size != 0) {
            EXPECT_EQ(edit::track_chain(*d, r, &ed.index), edit::track_chain(*d, r));
            ++chains;
        }
    }
    EXPECT_GT(chains, 20);
}

TEST_F(Delete, VertexWithTwoEndsJoinsThemWithThreeDoesNothing) {
    Ref a = track(1, 0, 0, 10000, 0);
    Ref b = track(1, 10002, -3, 10000, 30000); // its first end within 4 units of the vertex
    track(2, 10000, 0, 10000, -9000);         // another layer does not count
    edit::VertexJoin j = edit::delete_vertex(*d, 1, Point{10000, 0});
    EXPECT_EQ(j.ends, 2);
    EXPECT_EQ(j.kept, a);
    EXPECT_TRUE(same(p1(a), Point{0, 0}));
    EXPECT_TRUE(same(p2(a), Point{10000, 30000}));
    EXPECT_FALSE(has(b));
    // Half the x distance plus the y distance: 5000 for (0, 0) against 30000.
    EXPECT_TRUE(same(j.cursor, Point{0, 0}));
    EXPECT_EQ(edit::undo_groups(*d), 1);
    edit::undo(*d, nullptr);
    EXPECT_TRUE(has(b));
    EXPECT_TRUE(same(p2(a), Point{10000, 0}));

    // The nearer far end by the weighted distance: 20000 / 2 + 0 against 0 + 12000.
    Ref c = track(1, 50000, 0, 30000, 0);
    Ref e = track(1, 50000, 0, 50000, 12000);
    j = edit::delete_vertex(*d, 1, Point{50000, 0});
    EXPECT_EQ(j.kept, c);
    EXPECT_TRUE(same(j.cursor, Point{30000, 0}));
    EXPECT_TRUE(same(p2(c), Point{50000, 12000}));
    EXPECT_FALSE(has(e));

    // A third end at the point: nothing changes.
    track(1, 10000, 0, 20000, 5000);
    std::string groups_before = std::to_string(edit::undo_groups(*d));
    j = edit::delete_vertex(*d, 1, Point{10000, 0});
    EXPECT_EQ(j.ends, 3);
    EXPECT_EQ(j.kept, model::kNone);
    EXPECT_EQ(std::to_string(edit::undo_groups(*d)), groups_before);
    EXPECT_TRUE(same(p2(a), Point{10000, 0}));
    // A zero-length stub alone is two ends of one track: not joined either.
    Ref stub = track(1, 70000, 0, 70000, 0);
    EXPECT_EQ(edit::delete_vertex(*d, 1, Point{70000, 0}).kept, model::kNone);
    EXPECT_TRUE(has(stub));
}

TEST_F(Delete, GrabbedMemberGoesItsCompanionsStayAndNewItemsLeaveNoRecord) {
    Ref comp = component("U1", 0, 0);
    Ref p = pad(0, 0, 0, 3000, 3000, kOvalThru, members(comp));
    Ref outline = track(3, -5000, -5000, 5000, -5000, 300, members(comp));
    Ref label = text(3, 0, 6000, 2000, 3000, 0, 0, members(comp));
    close(comp);
    Ref loose = track(1, 0, 0, 20000, 0);
    std::string before = data_file_text();

    edit::GrabList& g = ed.grab;
    edit::begin_grab(g, *d, Point{0, 0}, 0x4749);
    edit::add_entry(g, p, edit::kGrabFirst);
    edit::add_companions(g, p);
    edit::add_entry(g, loose, edit::kGrabFirst); // held by one end: it goes whole
    Ref fresh = model::MakeItem(ring(), model::kLine, 1, 100, 0, 0, 0, 9000);
    edit::add_entry(g, fresh, edit::kGrabWhole | edit::kGrabNew);
    ASSERT_TRUE(node(outline).hidden()); // a companion is held like the rest while the grab lasts
    g.building = false;

    EXPECT_EQ(edit::delete_grabbed(g, disp), 2);
    EXPECT_TRUE(g.empty());
    for (Ref r : {comp, outline, label}) {
        EXPECT_TRUE(has(r));
        EXPECT_FALSE(node(r).hidden());
    }
    EXPECT_FALSE(has(p));
    EXPECT_FALSE(has(loose));
    EXPECT_FALSE(has(fresh));
    EXPECT_EQ(edit::undo_groups(*d), 1);
    // Undo brings back what was there before the grab, and nothing of the new Item.
    edit::undo(*d, nullptr);
    EXPECT_EQ(data_file_text(), before);
    // With nothing grabbed there is nothing to do.
    EXPECT_EQ(edit::delete_grabbed(g, disp), -1);
}

TEST_F(Delete, HighlightedTopLevelItemsGoInOneGroup) {
    Ref a = track(1, 0, 0, 1000, 0);
    Ref b = pad(0, 5000, 0, 1000, 1000, kVia);
    Ref plain = track(1, 0, 5000, 1000, 5000);
    Ref comp = component("U1");
    Ref member = track(3, 0, 0, 100, 100, 100, members(comp));
    close(comp);
    EXPECT_EQ(edit::delete_highlighted(*d), 0);
    EXPECT_FALSE(edit::has_undo(*d));
    for (Ref r : {a, b, member}) {
        node(r).kind |= model::kMarkFlag;
    }
    model::Box area;
    EXPECT_EQ(edit::delete_highlighted(*d, &area), 2);
    EXPECT_FALSE(has(a));
    EXPECT_FALSE(has(b));
    EXPECT_TRUE(has(plain));
    EXPECT_TRUE(has(member)); // not top-level
    EXPECT_TRUE(area.contains(5000, 0));
    EXPECT_EQ(edit::undo_groups(*d), 1);
    edit::undo(*d, nullptr);
    EXPECT_TRUE(has(a));
    EXPECT_TRUE(has(b));
}

TEST_F(Delete, ComponentGoesWithItsMembersAndComesBackWhole) {
    Ref comp = component("U1", 0, 0);
    Ref p = pad(0, 0, 0, 3000, 3000, kOvalThru, members(comp));
    track(3, -5000, -5000, 5000, -5000, 300, members(comp));
    close(comp);
    std::string before = data_file_text();
    model::Box area = edit::delete_item(*d, comp);
    EXPECT_TRUE(area.contains(5000, -5000));
    EXPECT_FALSE(has(comp));
    EXPECT_FALSE(has(p));
    EXPECT_TRUE(d->modified());
    edit::undo(*d, nullptr);
    EXPECT_EQ(ring_size(members(comp)), 2);
    EXPECT_EQ(data_file_text(), before);
}

} // namespace
} // namespace edit_test
