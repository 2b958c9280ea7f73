// Teardrops: the hand-worked 0.06-inch pad, the end and length rules, oblong pads, what is skipped, no
// second triangle, undo.
#include <gtest/gtest.h>

#include <utility>

#include "copper/teardrops.h"
#include "copper_board.h"
#include "edit/undo.h"

namespace {

using namespace copper_test;
using XY = std::pair<int64_t, int64_t>;

constexpr Coord kX = 200000, kY = 100000; // the pad centre
constexpr uint16_t kRound = 3932;          // 0.06 inch

struct Teardrops : CopperBoard {
    void SetUp() override {
        CopperBoard::SetUp();
        box(0, 0, 400000, 200000);
    }
    copper::TeardropResult run() {
        before = all_items();
        return copper::add_teardrops(*d, block, [&](Ref) { ++drawn; });
    }
    // The vertices of the i-th Solid made, relative to the pad centre.
    std::vector<XY> corners(size_t i) const {
        std::vector<XY> out;
        std::vector<Ref> made = made_of(model::kLine);
        for (Ref v = i < made.size() ? node(made[i]).link : model::kNone; v != model::kNone; v = node(v).link) {
            out.push_back(XY{node(v).line.x1 - kX, node(v).line.y1 - kY});
        }
        return out;
    }
    Ref thru_pad(Coord x, uint16_t hole) {
        Ref p = pad(0, x, kY, kOvalThru, nullptr, kRound, kRound);
        node(p).pad.hole = hole;
        return p;
    }
};

TEST_F(Teardrops, SixtyMilPadAndTheEndAndLengthRules) {
    thru_pad(kX, 2000);
    track(kTop, kX, kY, kX + 20000, kY, 800, "NET1");
    ASSERT_EQ(run().created, 1);
    Ref s = made_of(model::kLine)[0];
    EXPECT_TRUE(model::is_solid(s));
    EXPECT_EQ(node(s).layer, kTop);
    EXPECT_EQ(model::item_signal(s), model::kNone);
    EXPECT_EQ(drawn, 1);
    // d = 3932: b = 3405 (0.052 inch), a = 1702 (0.052 inch across in all), d/4 = 983 (0.015 inch).
    EXPECT_EQ(corners(0), (std::vector<XY>{{3405, 0}, {983, 1702}, {983, -1702}}));
    EXPECT_EQ(run().created, 0); // the same box is there already

    // By its second point, 3 units off: counts; 4 units off: not on the pad.  Length + half width exactly
    // b (3005 + 400): enough; one unit less: skipped.
    track(kTop, kX - 20000, kY, kX + 3, kY - 3);
    track(kTop, kX + 4, kY, kX + 4, kY + 20000);
    track(kTop, kX, kY, kX, kY - 3005, 800);
    track(kBottom, kX, kY, kX, kY - 3004, 800);
    EXPECT_EQ(run().created, 2);
    EXPECT_NEAR(corners(0)[0].first, -3405, 1);
    EXPECT_EQ(corners(1)[0], (XY{0, -3405}));
}

TEST_F(Teardrops, OblongPadsKeepToTheirAxes) {
    pad(kTop, kX, kY, kOvalSmt, nullptr, 6000, 3000);
    // d = 3000: a = 1299, b = 2598, d/4 = 750; along the long axis e = 1500.
    track(kTop, kX, kY, kX + 30000, kY);         // along
    track(kTop, kX, kY, kX, kY + 30000);         // across
    track(kTop, kX, kY, kX - 30000, kY - 1200);  // 417 units off the axis: along
    track(kTop, kX, kY, kX + 30000, kY + 30000); // 45 degrees: skipped
    EXPECT_EQ(run().created, 3);
    EXPECT_EQ(corners(0), (std::vector<XY>{{4098, 0}, {2250, 1299}, {2250, -1299}}));
    EXPECT_EQ(corners(1), (std::vector<XY>{{0, 2598}, {-1299, 750}, {1299, 750}}));
    EXPECT_LT(corners(2)[0].first, -4000);

    SetUp(); // a fresh board
    Ref p = pad(kTop, kX, kY, kOvalSmt, nullptr, 6000, 3000);
    node(p).pad.angle = 16384;                  // the long axis along Y
    track(kTop, kX, kY, kX, kY + 30000);        // along
    track(kTop, kX, kY, kX + 30000, kY + 1900); // 660 units off: skipped
    EXPECT_EQ(run().created, 1);
    EXPECT_EQ(corners(0)[0], (XY{0, 4098}));
}

TEST_F(Teardrops, SkippedPadsAndLayers) {
    thru_pad(kX, kRound + 1); // hole larger than d
    track(kTop, kX, kY, kX + 20000, kY);
    thru_pad(kX + 100000, kRound); // hole equal to d: gets one
    track(kTop, kX + 100000, kY, kX + 120000, kY);
    track(kTopSilk, kX + 100000, kY, kX + 100000, kY + 20000); // not copper
    track(kTop, kX + 100000, kY, kX + 80000, kY, 0);           // no width
    pad(kTop, kX + 210000, kY, kOvalSmt, nullptr, kRound, kRound); // outside the Block
    track(kTop, kX + 210000, kY, kX + 170000, kY);
    EXPECT_EQ(run().created, 1);
}

TEST_F(Teardrops, MemberPadsAndUndoOfTheGroup) {
    Ref c = model::make_component(ring(), 0, 0, "DIP2");
    node(pad(0, kX, kY, kOvalThru, nullptr, kRound, kRound, node(c).link)).pad.hole = 2000;
    model::close_component(c);
    track(kTop, kX, kY, kX + 20000, kY);
    track(kBottom, kX, kY, kX - 20000, kY);
    EXPECT_EQ(run().created, 2);
    EXPECT_EQ(edit::undo_groups(*d), 1);
    EXPECT_EQ(edit::undo(*d, nullptr), 1);
    EXPECT_TRUE(made().empty());
}

} // namespace
