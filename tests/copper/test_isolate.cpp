// Track isolation: three passes each (tool - overlap) further out, the "$FLD" rows, steps skipped by a
// zero tool or pass count, the named Signal's tracks cut over, both sides in one undo group.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "copper/isolate.h"
#include "copper_board.h"
#include "edit/undo.h"

namespace {

using namespace copper_test;

constexpr Coord kTool = 655, kOverlap = 131, kClear = 655; // 10-mil tool, 2-mil overlap, 10-mil clearance
constexpr Point kPad{kInch / 2, kInch / 2};

struct Isolate : CopperBoard {
    void SetUp() override {
        CopperBoard::SetUp();
        box(0, 0, kInch, kInch);
        for (model::TrackIsolation* t : {&d->setup.iso_top, &d->setup.iso_bottom}) {
            t->iso_tool = t->flood_tool = kTool;
            t->iso_overlap = t->flood_overlap = kOverlap;
            t->iso_clearance = t->flood_clearance = kClear;
        }
        d->setup.iso_top.target = kTop;
        d->setup.iso_bottom.target = kBottom;
        node(pad(0, kPad.x, kPad.y, kOvalThru, nullptr, 3932, 3932)).pad.hole = 2000;
    }
    copper::IsolateResult run(copper::Side side) {
        before = all_items();
        platform::RunContext ctx(ui);
        return copper::isolate_tracks(*d, block, side, [&](Ref) { ++drawn; }, ctx);
    }
    // The names of the Components made, in ring order; the members of one by name.
    std::vector<std::string> made_components() const {
        std::vector<std::string> out;
        for (Ref r : made_of(model::kComponent)) {
            out.push_back(model::ComponentField(r, 0));
        }
        return out;
    }
    model::RingItems members(const std::string& name) const {
        std::vector<Ref> c = made_of(model::kComponent);
        auto it = std::find_if(c.begin(), c.end(), [&](Ref r) { return model::ComponentField(r, 0) == name; });
        return model::items_in(it == c.end() ? ring() : model::member_ring(*it));
    }
};

TEST_F(Isolate, ThreePassesEachFurtherOut) {
    d->setup.iso_top.passes = 3;
    d->setup.iso_top.flood_tool = 0;
    int created = run(copper::Side::Top).created;
    EXPECT_EQ(created, static_cast<int>(made().size()));
    EXPECT_EQ(made_components(), (std::vector<std::string>{"$IS1", "$IS2", "$IS3"}));
    // The ring of each pass, from the centre: the nearest Arc (centred on the pad, so its radius).
    std::vector<double> rings;
    for (const char* name : {"$IS1", "$IS2", "$IS3"}) {
        double best = 1e18;
        for (Ref m : members(name)) {
            const model::Node& n = node(m);
            EXPECT_EQ(n.size, kTool);
            if (n.item_kind() == model::kArc) {
                best = std::min(best, n.arc.radius - std::hypot(n.arc.x0 - kPad.x, n.arc.y0 - kPad.y));
            }
        }
        rings.push_back(best);
    }
    EXPECT_NEAR(rings[0], 1966 + kClear + kTool / 2, 2); // half the pad, the clearance, half the tool
    EXPECT_NEAR(rings[1] - rings[0], kTool - kOverlap, 2);
    EXPECT_NEAR(rings[2] - rings[1], kTool - kOverlap, 2);
    EXPECT_FALSE(any_marked());
}

TEST_F(Isolate, FloodRowsAndZeroToolsOrPasses) {
    d->setup.iso_top.iso_tool = 0; // passes given but no tool: no "$IS"
    d->setup.iso_top.passes = 2;
    run(copper::Side::Top);
    EXPECT_EQ(made_components(), (std::vector<std::string>{"$FLD"}));
    std::vector<Coord> ys;
    for (Ref m : members("$FLD")) {
        const model::Node& n = node(m);
        ASSERT_EQ(n.line.y1, n.line.y2);
        if (ys.empty() || ys.back() != n.line.y1) {
            ys.push_back(n.line.y1); // the pad splits the rows near the middle
        }
    }
    // Unsnapped rows at 327 + 524k up to 65536 - 327: 124 of them, each on the 0.001-inch grid.
    ASSERT_EQ(ys.size(), 124u);
    for (size_t k = 0; k < ys.size(); ++k) {
        EXPECT_NEAR(ys[k], std::round((kTool / 2 + double(kTool - kOverlap) * k) / 65.536) * 65.536, 1.0) << k;
    }

    SetUp(); // a fresh board: nothing at all to do
    d->setup.iso_top.passes = 0;
    d->setup.iso_top.flood_tool = 0;
    EXPECT_EQ(run(copper::Side::Top).created, 0);
    EXPECT_FALSE(edit::has_undo(*d));
}

TEST_F(Isolate, NamedSignalIsCutOverAndCarried) {
    track(kTop, 10000, 20000, 50000, 20000, 800, "GND");
    track(kTop, 10000, 45000, 50000, 45000, 800, "NET1");
    std::strcpy(d->setup.iso_top.signal, "GND");
    d->setup.iso_top.passes = 1;
    d->setup.iso_top.flood_tool = 0;
    run(copper::Side::Top);
    bool near_gnd = false, near_net = false;
    for (Ref m : members("$IS1")) {
        const model::Node& n = node(m);
        EXPECT_EQ(model::signal_name(model::item_signal(m)), "GND");
        if (n.item_kind() == model::kLine && n.line.y1 == n.line.y2) {
            near_gnd = near_gnd || std::abs(n.line.y1 - 20000) < 3000;
            near_net = near_net || std::abs(n.line.y1 - 45000) < 3000;
        }
    }
    EXPECT_FALSE(near_gnd);
    EXPECT_TRUE(near_net);
}

TEST_F(Isolate, BothSidesAreOneUndoGroup) {
    d->setup.iso_top.passes = 2;
    d->setup.iso_bottom.passes = 1;
    copper::IsolateResult r = run(copper::Side::Both);
    EXPECT_EQ(made_components(), (std::vector<std::string>{"$FLD", "$FLD", "$IS1", "$IS1", "$IS2"}));
    EXPECT_EQ(drawn, r.created);
    EXPECT_EQ(edit::undo_groups(*d), 1);
    EXPECT_EQ(edit::undo(*d, nullptr), 1);
    EXPECT_TRUE(made().empty());
    EXPECT_EQ(edit::redo(*d, nullptr), 1);
    EXPECT_EQ(static_cast<int>(made().size()), r.created);
}

} // namespace
