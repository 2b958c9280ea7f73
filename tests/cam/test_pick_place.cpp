// The pick-and-place file: centroid, user origin, units, rotation, side, order and CSV quoting.
#include "cam/pick_place.h"
#include "cam_fixture.h"

using namespace camtest;
using namespace trazel::cam;

namespace {

const Coord kSixteenth = 4096; // 1/16 inch: every value below is exact in both units

struct PickPlace : Board {
    Ref part(std::string_view params, model::Angle angle = 0) {
        return model::make_component(ring(), 0, angle, params);
    }
    void smd(Ref c, int layer, Coord x, Coord y) {
        pad(layer, 6, x * kSixteenth, y * kSixteenth, mil(40), mil(20), 0, 0, model::member_ring(c));
    }
    std::vector<std::string> rows(bool mm = false, bool all = false) {
        return split_lines(pick_place_csv(*d, PickPlaceOptions{mm, all}));
    }
};

} // namespace

TEST_F(PickPlace, RotatedBottomPartAtItsPadCentroidFromTheUserOrigin) {
    // Four bottom pads, three in a row and one off it: the centroid (1.125, 2.0625) is neither the
    // box centre nor the first pad.  The origin at (0.5, 0.25).
    Ref u = part("SO4\x7FU10\x7F"
                 "10\xE6",
                 16384);
    smd(u, 12, 16, 32);
    smd(u, 12, 18, 32);
    smd(u, 12, 22, 32);
    smd(u, 12, 16, 36);
    ASSERT_TRUE(model::close_component(u));
    s().origin_x = 8 * kSixteenth;
    s().origin_y = 4 * kSixteenth;
    std::vector<std::string> in = rows();
    ASSERT_EQ(in.size(), 2u);
    EXPECT_EQ(in[0], "Reference,Value,Pattern,X (in),Y (in),Rotation,Side");
    EXPECT_EQ(in[1], "U10,10\xC2\xB5,SO4,0.6250,1.8125,90.00,bottom");
    std::vector<std::string> mm = rows(true);
    EXPECT_EQ(mm[0], "Reference,Value,Pattern,X (mm),Y (mm),Rotation,Side");
    EXPECT_EQ(mm[1], "U10,10\xC2\xB5,SO4,15.8750,46.0375,90.00,bottom");

    // Left of and below the origin: signs; an angle that is no whole degree.
    s().origin_x = 40 * kSixteenth;
    s().origin_y = 40 * kSixteenth;
    model::node(u).size = 8192 + 91; // 45.4998... degrees
    EXPECT_EQ(rows()[1], "U10,10\xC2\xB5,SO4,-1.3750,-0.4375,45.50,bottom");
}

TEST_F(PickPlace, NaturalOrderQuotingSidesAndThroughHoleParts) {
    Ref r10 = part("0805\x7FR10\x7F"
                   "4,7K");
    smd(r10, 3, 0, 0);
    smd(r10, 3, 2, 0);
    Ref j1 = part("HDR\x7FJ1\x7F"
                  "2 \"pin\"");
    pad(0, 1, 0, 0, mil(60), mil(60), mil(35), 0, model::member_ring(j1));
    pad(0, 1, 2 * kSixteenth, 0, mil(60), mil(60), mil(35), 0, model::member_ring(j1));
    Ref r2 = part("0805\x7FR2\x7F"
                  "1K");
    smd(r2, 3, 0, 0);
    smd(r2, 12, 2, 0);       // one pad each side: a tie stays on top
    Ref logo = part("LOGO"); // no Reference ID: no part to place
    smd(logo, 3, 0, 0);
    for (Ref c : {r10, j1, r2, logo}) {
        ASSERT_TRUE(model::close_component(c));
    }
    std::vector<std::string> want = {"Reference,Value,Pattern,X (in),Y (in),Rotation,Side",
                                     "R2,1K,0805,0.0625,0.0000,0.00,top", "R10,\"4,7K\",0805,0.0625,0.0000,0.00,top"};
    EXPECT_EQ(rows(), want);
    // With every part, the through-hole header joins in its place: J1 before R2.
    want.insert(want.begin() + 1, "J1,\"2 \"\"pin\"\"\",HDR,0.0625,0.0000,0.00,top");
    EXPECT_EQ(rows(false, true), want);
}
