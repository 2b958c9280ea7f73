// The Block engine: membership, the transform of a move worked by hand for every kind of Item, copies,
// deletes, the compare and the component build, and undo of random Block work on generated boards.
#include <random>

#include "edit/block.h"
#include "edit/spatial_index.h"
#include "edit/undo.h"
#include "edit_fixture.h"
#include "board_build.h"

namespace edit_test {
namespace {

constexpr Coord kInch = 65536, kHalf = 32768, kQuarter = 16384;

struct BlockTest : EditTest {
    edit::Block b;

    void define(Coord x1, Coord y1, Coord x2, Coord y2, Point source) {
        edit::define_block(b, *d, Point{x1, y1}, Point{x2, y2}, source);
    }
    std::string text_now() {
        return data_file_text();
    }
};

TEST_F(BlockTest, MembershipFollowsEachKindsDecidingPoints) {
    define(0, 0, kInch, kInch, Point{0, 0});
    Ref inside = track(1, 100, 100, 200, 200);
    Ref stretched = track(1, 100, 100, 2 * kInch, 100);
    Ref outside = track(1, 2 * kInch, 0, 3 * kInch, 0);
    // A full circle counts by its centre although its stroke leaves the Block.
    Ref circle = arc(1, kHalf, kHalf, kInch, 0, 0);
    // A quarter arc counts by its ends: its centre inside, one end outside.
    Ref quarter = arc(1, kInch - 100, kHalf, 2000, 0, kQuarter);
    Ref hidden_layer = track(5, 100, 100, 200, 200);
    Ref thru = pad(0, 500, 500, 100, 100, kOvalThru);
    Ref smd_on_top = pad(1, 500, 500, 100, 100, kOvalSmt);
    using edit::Membership;
    EXPECT_EQ(edit::block_membership(b, *d, inside), Membership::Inside);
    EXPECT_EQ(edit::block_membership(b, *d, stretched), Membership::Stretched);
    EXPECT_EQ(edit::block_membership(b, *d, outside), Membership::Outside);
    EXPECT_EQ(edit::block_membership(b, *d, circle), Membership::Inside);
    EXPECT_EQ(edit::block_membership(b, *d, quarter), Membership::Outside);
    EXPECT_EQ(edit::block_membership(b, *d, hidden_layer), Membership::Outside) << "a layer switched off";
    // Through-hole pads go with layer 0, surface-mount pads with their own layer.
    b.layers[0] = false;
    EXPECT_EQ(edit::block_membership(b, *d, thru), Membership::Outside);
    EXPECT_EQ(edit::block_membership(b, *d, smd_on_top), Membership::Inside);
    // BU's test is the complement among selected layers: a stretched track is outside, a member is not.
    b.layers[0] = true;
    EXPECT_TRUE(edit::outside_block(b, *d, stretched));
    EXPECT_FALSE(edit::outside_block(b, *d, inside));
    EXPECT_FALSE(edit::outside_block(b, *d, hidden_layer));
}

TEST_F(BlockTest, PolygonalBlockUsesTheOutlineAndItsEdges) {
    edit::define_block(b, *d, std::vector<Point>{{0, 0}, {2 * kInch, 0}, {0, 2 * kInch}}, Point{0, 0});
    EXPECT_EQ(b.right, 2 * kInch);
    EXPECT_EQ(b.top, 2 * kInch);
    EXPECT_TRUE(edit::point_in_block(b, Point{kHalf, kHalf}));
    EXPECT_TRUE(edit::point_in_block(b, Point{kInch, kInch})) << "on the slanted edge";
    EXPECT_FALSE(edit::point_in_block(b, Point{kInch + kHalf, kInch + kHalf})) << "in the box, outside the outline";
}

// BR 90 degrees about (1,1), then BM to (5,1): every kind lands where the turn worked by hand puts it.
TEST_F(BlockTest, TurnAndMoveWorkedByHand) {
    Ref t = track(1, kHalf, kHalf, kInch + kHalf, kHalf);
    Ref s = track(1, kInch + kHalf, kInch + kHalf, 3 * kInch, kInch + kHalf); // one end inside
    Ref p = pad(1, kHalf, kInch + kHalf, 3000, 2000, kRectSmt);
    Ref x = text(3, kInch, kHalf, 4000, 8000);
    Ref a = arc(1, kInch + kHalf, kInch, kQuarter, 0, kQuarter);
    Ref so = solid(1, {{13107, 13107}, {26214, 13107}, {26214, 26214}});
    Ref c = component("U1", kInch, kInch + kHalf);
    Ref cp = pad(1, kInch, kInch + kHalf, 3000, 3000, kRectSmt, members(c));
    close(c);
    Ref far = track(1, 3 * kInch, 3 * kInch, 4 * kInch, 3 * kInch);
    const std::string before = text_now();

    define(0, 0, 2 * kInch, 2 * kInch, Point{kInch, kInch});
    b.angle = kQuarter;
    edit::BlockResult r = edit::block_move(b, Point{5 * kInch, kInch});
    EXPECT_EQ(r.items, 7);
    EXPECT_TRUE(same(p1(t), Point{5 * kInch + kHalf, kHalf}));
    EXPECT_TRUE(same(p2(t), Point{5 * kInch + kHalf, kInch + kHalf}));
    EXPECT_TRUE(same(p1(s), Point{4 * kInch + kHalf, kInch + kHalf})) << "the inside end turns";
    EXPECT_TRUE(same(p2(s), Point{3 * kInch, kInch + kHalf})) << "the outside end stays";
    EXPECT_EQ(node(p).pad.x0, 4 * kInch + kHalf);
    EXPECT_EQ(node(p).pad.y0, kHalf);
    EXPECT_EQ(node(p).pad.angle, kQuarter);
    EXPECT_EQ(node(x).text.x0, 5 * kInch + kHalf);
    EXPECT_EQ(node(x).text.y0, kInch);
    EXPECT_EQ(node(x).text.angle, kQuarter);
    EXPECT_EQ(node(a).arc.x0, 5 * kInch);
    EXPECT_EQ(node(a).arc.y0, kInch + kHalf);
    EXPECT_EQ(node(a).arc.start, kQuarter);
    std::vector<Point> v;
    for (Ref r2 = node(so).link; r2 != model::kNone; r2 = node(r2).link) {
        v.push_back(Point{node(r2).line.x1, node(r2).line.y1});
    }
    ASSERT_EQ(v.size(), 3u);
    EXPECT_TRUE(same(v[0], Point{5 * kInch + 52429, 13107}));
    EXPECT_TRUE(same(v[1], Point{5 * kInch + 52429, 26214}));
    EXPECT_TRUE(same(v[2], Point{5 * kInch + 39322, 26214}));
    EXPECT_EQ(node(so).line.x1, 5 * kInch + 39322) << "the Solid's box follows its vertices";
    EXPECT_EQ(node(cp).pad.x0, 4 * kInch + kHalf);
    EXPECT_EQ(node(cp).pad.y0, kInch);
    EXPECT_EQ(node(c).size, kQuarter) << "the Component turns";
    EXPECT_EQ(node(members(c)).box.x1, 4 * kInch + kHalf) << "its hook moves";
    EXPECT_TRUE(same(p1(far), Point{3 * kInch, 3 * kInch}));
    // The Block follows: its new box and source, the transform reset.
    EXPECT_EQ(b.left, 4 * kInch);
    EXPECT_EQ(b.right, 6 * kInch);
    EXPECT_EQ(b.bottom, 0);
    EXPECT_EQ(b.top, 2 * kInch);
    EXPECT_TRUE(same(b.source, Point{5 * kInch, kInch}));
    EXPECT_EQ(b.angle, 0);
    EXPECT_TRUE(b.outline.empty()) << "a quarter turn keeps a rectangle";
    // One undo group brings everything back, byte for byte.
    EXPECT_EQ(edit::undo_groups(*d), 1);
    edit::undo(*d, nullptr);
    EXPECT_EQ(text_now(), before);
}

// At 45 degrees the Block becomes a polygon: BD then spares what lies in a corner of its box.
TEST_F(BlockTest, TurnOffTheQuarterStepsMakesAnOutline) {
    Ref centre = pad(1, kInch, kInch, 3000, 3000, kRectSmt);
    define(0, 0, 2 * kInch, 2 * kInch, Point{kInch, kInch});
    b.angle = 8192;
    edit::block_move(b, Point{kInch, kInch});
    ASSERT_EQ(b.outline.size(), 4u);
    EXPECT_LT(b.left, -20000) << "the box holds the turned corners";
    Ref corner = pad(1, 0, 0, 3000, 3000, kRectSmt);
    edit::BlockResult r = edit::block_delete(b, true);
    EXPECT_EQ(r.items, 1);
    EXPECT_EQ(model::first_item(ring()), corner) << "the pad in the box corner stays, the centre one goes";
    (void)centre;
}

TEST_F(BlockTest, MirrorAndScaleSaturateInsteadOfWrapping) {
    Ref t = track(1, 1000, 1000, 5000, 1000, 40000);
    Ref p = pad(1, 3000, 3000, 30000, 20000, kRectSmt);
    define(0, 0, kInch, kInch, Point{0, 0});
    b.mirror_x = true;
    b.scale = 0x20000;
    edit::block_move(b, Point{0, 0});
    EXPECT_TRUE(same(p1(t), Point{-2000, 2000}));
    EXPECT_TRUE(same(p2(t), Point{-10000, 2000}));
    EXPECT_EQ(node(t).size, 65535) << "80000 does not fit 16 bits: held at the top";
    EXPECT_EQ(node(p).pad.width, 60000);
    EXPECT_EQ(node(p).pad.height, 40000);
    EXPECT_EQ(node(p).pad.x0, -6000);
}

// BC copies whole tracks only and raises the Reference IDs; the copies are one undo group.
TEST_F(BlockTest, CopyTakesWholeMembersAndRaisesReferences) {
    track(1, 100, 100, 2000, 100);
    Ref half = track(1, 100, 200, 3 * kInch, 200);
    Ref c = component("U1", 5000, 5000);
    pad(1, 5000, 5000, 3000, 3000, kRectSmt, members(c));
    close(c);
    define(0, 0, kInch, kInch, Point{0, 0});
    EXPECT_TRUE(edit::block_has_references(b));
    const std::string before = text_now();
    edit::BlockResult r = edit::block_copy(b, *d, Point{2 * kInch, 0}, 10);
    EXPECT_EQ(r.items, 2) << "the track with one end outside is not copied";
    int components = 0;
    std::vector<std::string> refs;
    for (Ref i : model::items_in(ring())) {
        if (node(i).item_kind() == model::kComponent) {
            ++components;
            refs.push_back(model::ComponentField(i, 1));
        }
    }
    EXPECT_EQ(components, 2);
    EXPECT_NE(std::find(refs.begin(), refs.end(), "U11"), refs.end());
    EXPECT_TRUE(same(p2(half), Point{3 * kInch, 200}));
    edit::undo(*d, nullptr);
    EXPECT_EQ(text_now(), before);
    EXPECT_EQ(edit::raise_reference("R7a-2", 3), "R10a-2");
    EXPECT_EQ(edit::raise_reference("J", 3), "J");
}

TEST_F(BlockTest, CompareMarksExactlyThePlantedDifferences) {
    for (int i = 0; i < 5; ++i) {
        track(1, 1000 * i, 0, 1000 * i, 5000);
    }
    pad(1, 9000, 9000, 3000, 3000, kRectSmt);
    define(-100, -100, 20000, 20000, Point{0, 0});
    edit::block_copy(b, *d, Point{kInch, 0}, 0);
    // Plant: one track of the copy moved, one pad of the copy grown, one Text added to the source.
    Ref moved = model::kNone, grown = model::kNone;
    for (Ref i : model::items_in(ring())) {
        const Node& n = node(i);
        if (n.item_kind() == model::kLine && n.line.x1 == kInch + 2000) {
            moved = i;
        } else if (n.item_kind() == model::kPad && n.pad.x0 == kInch + 9000) {
            grown = i;
        }
    }
    ASSERT_NE(moved, model::kNone);
    ASSERT_NE(grown, model::kNone);
    node(moved).line.x2 += 20;
    node(grown).pad.width = 4000;
    Ref extra = text(1, 500, 500, 2000, 3000);
    edit::BlockResult r = edit::block_compare(b, *d, Point{kInch, 0});
    std::vector<Ref> marked;
    for (Ref i : model::items_in(ring())) {
        if (node(i).marked()) {
            marked.push_back(i);
        }
    }
    EXPECT_EQ(r.items, 5) << "each planted change shows on both sides but the added Text";
    // The shifted track and grown pad are marked on the copy side, their originals on the source side.
    EXPECT_TRUE(node(moved).marked());
    EXPECT_TRUE(node(grown).marked());
    EXPECT_TRUE(node(extra).marked());
    EXPECT_EQ(marked.size(), 5u);
}

TEST_F(BlockTest, BuildDissolvesOrNestsAndEmptiesTheUndoStacks) {
    for (bool pseudo : {false, true}) {
        model::DeleteItem(ring());
        Ref c = component("U1", 5000, 5000);
        pad(1, 5000, 5000, 3000, 3000, kRectSmt, members(c));
        pad(1, 9000, 5000, 3000, 3000, kRectSmt, members(c));
        close(c);
        Ref t = track(1, 1000, 1000, 5000, 1000);
        edit::RecordCreated(*d, t, 0);
        define(0, 0, kInch, kInch, Point{300, 400});
        Ref built = edit::block_build(b, {"NEWPART", "M1", "", "", ""}, pseudo);
        ASSERT_NE(built, model::kNone);
        EXPECT_FALSE(b.defined()) << "building releases the Block";
        EXPECT_EQ(node(members(built)).box.x1, 300) << "the hook is the source point";
        EXPECT_EQ(node(members(built)).box.y1, 400);
        EXPECT_EQ(model::ComponentField(built, 0), "NEWPART");
        EXPECT_EQ(model::ComponentField(built, 1), "M1");
        EXPECT_EQ(ring_size(ring()), 1);
        int nested = 0, pads = 0;
        for (Ref m : model::items_in(members(built))) {
            nested += node(m).item_kind() == model::kComponent ? 1 : 0;
            pads += node(m).item_kind() == model::kPad ? 1 : 0;
        }
        EXPECT_EQ(nested, pseudo ? 1 : 0);
        EXPECT_EQ(pads, pseudo ? 0 : 2);
        EXPECT_FALSE(edit::has_undo(*d)) << "older records must not put Items back into the new ring";
        EXPECT_FALSE(edit::has_redo(*d));
    }
}

TEST_F(BlockTest, SheetsOfOneSchematic) {
    EXPECT_TRUE(edit::sheets_of_one_schematic("/a/DEMO.SH1", "/a/demo.s12"));
    EXPECT_TRUE(edit::sheets_of_one_schematic("x.sh1", "x.sh2"));
    EXPECT_FALSE(edit::sheets_of_one_schematic("x.sh1", "y.sh2"));
    EXPECT_FALSE(edit::sheets_of_one_schematic("x.sch", "x.sh2"));
    EXPECT_FALSE(edit::sheets_of_one_schematic("x.pcb", "x.sh2"));
}

TEST_F(BlockTest, MoveBetweenSheetsRecordsTheCopiesInTheTarget) {
    model::set_document_name(d, "one.sh1");
    Ref t = track(1, 1000, 1000, 5000, 1000);
    (void)t;
    model::Document* other = model::NewDocument("one.sh2");
    ASSERT_NE(other, nullptr);
    other->setup = d->setup;
    define(0, 0, kInch, kInch, Point{0, 0});
    edit::BlockResult r = edit::block_move_to(b, *other, Point{kInch, 0});
    EXPECT_EQ(r.items, 1);
    EXPECT_TRUE(model::ring_empty(d->ring()));
    ASSERT_EQ(ring_size(other->ring()), 1);
    EXPECT_EQ(node(model::first_item(other->ring())).line.x1, kInch + 1000);
    EXPECT_EQ(b.doc, other) << "the Block passes to the target sheet";
    EXPECT_EQ(edit::undo_groups(*other), 1);
    EXPECT_EQ(edit::undo_groups(*d), 1);
    edit::undo(*other, nullptr);
    edit::undo(*d, nullptr);
    EXPECT_EQ(ring_size(d->ring()), 1);
    EXPECT_TRUE(model::ring_empty(other->ring()));
}

// Random Block work on a generated board: the index gives the plain walk's members, and undoing all
// of it restores the file byte for byte; redoing all gives the same file as doing it.
TEST(BlockBoards, RandomWorkUndoesAndRedoesExactly) {
    for (unsigned seed : {1u, 2u, 3u}) {
        model::Model m;
        platform::Headless ui;
        platform::install(&ui);
        model::Document* d = model::NewDocument("gen.pcb");
        apply_board_setup();
        generate_board(d->ring(), seed, 24);
        const std::string start = data_file_text();
        edit::SpatialIndex index;
        std::mt19937 rng(seed);
        auto coord = [&](int span) { return static_cast<Coord>(rng() % static_cast<unsigned>(span)) - 20000; };
        int groups = 0;
        for (int step = 0; step < 12; ++step) {
            edit::Block b;
            Point c1{coord(4 * 65536), coord(2 * 65536)};
            Point c2{c1.x + 65536 + coord(2 * 65536), c1.y + 65536 + coord(2 * 65536)};
            edit::define_block(b, *d, c1, c2, c1);
            index.sync(*d);
            EXPECT_EQ(edit::block_members(b, *d, true, &index), edit::block_members(b, *d, true)) << "seed " << seed;
            b.angle = static_cast<model::Angle>(rng() % 4 == 0 ? rng() : (rng() % 4) * 16384);
            b.mirror_x = rng() % 3 == 0;
            b.mirror_y = rng() % 3 == 0;
            b.scale = rng() % 4 == 0 ? 0x18000 : 0x10000;
            Point target{coord(6 * 65536), coord(4 * 65536)};
            edit::BlockResult r;
            switch (rng() % 4) {
            case 0:
                r = edit::block_copy(b, *d, target, 10);
                break;
            case 1:
                r = edit::block_delete(b, rng() % 2 == 0, &index);
                break;
            default:
                r = edit::block_move(b, target, &index);
                break;
            }
            groups += r.items != 0 ? 1 : 0;
        }
        EXPECT_GT(groups, 4) << "seed " << seed;
        const std::string done = data_file_text();
        EXPECT_EQ(edit::undo(*d, nullptr, true), groups);
        EXPECT_EQ(data_file_text(), start) << "seed " << seed;
        EXPECT_EQ(edit::redo(*d, nullptr, true), groups);
        EXPECT_EQ(data_file_text(), done) << "seed " << seed;
        platform::install(nullptr);
    }
}

} // namespace
} // namespace edit_test
