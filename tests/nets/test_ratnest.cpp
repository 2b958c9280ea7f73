// Ratnest lines: the tree of a Signal's pads with its joined rules, ties and the distance-0 rule, the
// undo group of one command, the nearest link of the Net scan, and the fast methods against the plain
// ones on generated boards.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "edit/spatial_index.h"
#include "edit/undo.h"
#include "net_board.h"
#include "nets/ratnest.h"
#include "nets/trace.h"

namespace {

using namespace nets_test;
using nets::kRatnestLayer;

// The Ratnest lines of the Document, in ring order.
std::vector<Ref> rat_lines(Ref ring) {
    std::vector<Ref> out;
    for (Ref r : model::items_in(ring)) {
        if (node(r).item_kind() == model::kLine && node(r).layer == kRatnestLayer) {
            out.push_back(r);
        }
    }
    return out;
}

struct Ratnest : NetBoard, ::testing::WithParamInterface<bool> {
    void SetUp() override {
        NetBoard::SetUp();
        s->plain = GetParam();
    }
    std::vector<Ref> lines() const {
        return rat_lines(ring());
    }
    static bool from_to(Ref l, Point a, Point b) {
        const model::Node& n = node(l);
        return n.line.x1 == a.x && n.line.y1 == a.y && n.line.x2 == b.x && n.line.y2 == b.y;
    }
};

TEST_P(Ratnest, PadsAtZeroOneAndThreeInchesGetZeroToOneAndOneToThree) {
    pad(kTop, 0, 0, kRectSmt, "R");
    pad(kTop, 3 * kInch, 0, kRectSmt, "R");
    pad(kTop, kInch, 0, kRectSmt, "R");
    d->setup.ratnest_width = 0;
    EXPECT_EQ(nets::build_ratnest(*s), 2);
    std::vector<Ref> l = lines();
    ASSERT_EQ(l.size(), 2u);
    EXPECT_TRUE(from_to(l[0], Point{0, 0}, Point{kInch, 0}));
    EXPECT_TRUE(from_to(l[1], Point{kInch, 0}, Point{3 * kInch, 0}));
    EXPECT_EQ(node(l[0]).size, 721);
    EXPECT_EQ(model::item_signal(l[1]), signal("R"));
    EXPECT_EQ(model::SignalUses(signal("R")), 5u);
    const model::LayerEntry& e = d->setup.layers[kRatnestLayer];
    EXPECT_STREQ(e.name, "Ratnest");
    EXPECT_EQ(e.type, model::kLayerSymbols);
    EXPECT_EQ(e.colour, 0xFFFF00u);
    EXPECT_EQ(d->setup.ratnest_width, 721);
    EXPECT_TRUE(s->marked.empty()); // the marks of the build are cleared
    for (Ref r : model::items_in(ring())) {
        EXPECT_FALSE(node(r).marked());
    }
}

TEST_P(Ratnest, PadsThatAllHaveTracksGetNoLine) {
    Ref a = pad(0, 0, 0, kOvalThru, "T");
    Ref b = pad(0, kInch, 0, kOvalThru, "T");
    pad(0, 4 * kInch, 0, kOvalThru, "T");
    pad(0, 5 * kInch, 0, kOvalThru, "T");
    track(kTop, 0, 0, kInch, 0);
    track(kBottom, 4 * kInch, 0, 5 * kInch, 0);
    EXPECT_EQ(nets::build_ratnest(*s), 0); // two separate groups: the Net scan finds that gap
    EXPECT_FALSE(node(a).marked() || node(b).marked());
    // A track on another layer does not join a surface-mount pad; one on the Ratnest layer does.
    pad(kTop, 0, 2 * kInch, kRectSmt, "S");
    pad(kTop, kInch, 2 * kInch, kRectSmt, "S");
    Ref other = track(kBottom, 0, 2 * kInch, -kInch, 2 * kInch);
    track(kTop, kInch, 2 * kInch, kInch, 3 * kInch);
    edit::items_changed(*d);
    EXPECT_EQ(nets::build_ratnest(*s), 1);
    EXPECT_TRUE(from_to(lines().at(0), Point{kInch, 2 * kInch}, Point{0, 2 * kInch}));
    EXPECT_EQ(nets::delete_ratnest(*s, signal("S")), 1);
    node(other).layer = kRatnestLayer;
    edit::items_changed(*d);
    EXPECT_EQ(nets::build_signal_ratnest(*s, signal("S")), 0);
}

TEST_P(Ratnest, ThroughHolePadsOnALayerStartJoined) {
    pad(kPlane, 0, 0, kOvalThru, "P");
    pad(kPlane, kInch, 0, kOvalThru, "P");
    EXPECT_EQ(nets::build_ratnest(*s), 0);
    pad(0, 3 * kInch, 0, kOvalThru, "P");
    edit::items_changed(*d);
    EXPECT_EQ(nets::build_ratnest(*s), 1);
    EXPECT_TRUE(from_to(lines().at(0), Point{kInch, 0}, Point{3 * kInch, 0}));
}

TEST_P(Ratnest, DistanceZeroGetsNoLineAndTheFirstPairWinsATie) {
    pad(kTop, 0, 0, kRectSmt, "Z");
    pad(kTop, 0, 0, kRectSmt, "Z");
    EXPECT_EQ(nets::build_ratnest(*s), 0);
    fresh();
    s->plain = GetParam();
    pad(kTop, 0, 0, kRectSmt, "Z");
    pad(kTop, kInch, 0, kRectSmt, "Z");
    pad(kTop, 0, kInch, kRectSmt, "Z");
    pad(kTop, 0, 0, kRectSmt, "Z"); // on the first: joined from the second pad, which is 1 inch away
    EXPECT_EQ(nets::build_ratnest(*s), 3);
    std::vector<Ref> l = lines();
    ASSERT_EQ(l.size(), 3u);
    EXPECT_TRUE(from_to(l[0], Point{0, 0}, Point{kInch, 0}));
    EXPECT_TRUE(from_to(l[1], Point{0, 0}, Point{0, kInch}));
    EXPECT_TRUE(from_to(l[2], Point{kInch, 0}, Point{0, 0}));
    // Two joined pads equally far: the first in the list gives the line.
    fresh();
    s->plain = GetParam();
    pad(kTop, 2 * kInch, 0, kRectSmt, "J");
    pad(kTop, kInch, 0, kRectSmt, "J");
    pad(kTop, 0, 0, kRectSmt, "J");
    track(kTop, 0, 0, 0, -kInch);
    track(kTop, 2 * kInch, 0, 2 * kInch, -kInch);
    EXPECT_EQ(nets::build_ratnest(*s), 1);
    EXPECT_TRUE(from_to(lines().at(0), Point{2 * kInch, 0}, Point{kInch, 0}));
}

TEST_P(Ratnest, OneUndoTakesBackAWholeRebuild) {
    pad(kTop, 0, 0, kRectSmt, "U");
    Ref moved = pad(kTop, kInch, 0, kRectSmt, "U");
    pad(kTop, 2 * kInch, 0, kRectSmt, "U");
    pad(kTop, 0, kInch, kRectSmt, "V");
    pad(kTop, kInch, kInch, kRectSmt, "V");
    s->undo_number = 0;
    EXPECT_EQ(nets::build_ratnest(*s), 3);
    std::string first = describe(lines());
    node(moved).pad.y0 = kInch / 2;
    edit::items_changed(*d);
    int groups = edit::undo_groups(*d);
    s->undo_number = 0;
    EXPECT_EQ(nets::build_ratnest(*s), 3);
    EXPECT_EQ(s->undo_number, 6); // three deleted, three created
    EXPECT_NE(describe(lines()), first);
    EXPECT_EQ(edit::undo_groups(*d), groups + 1);
    EXPECT_EQ(edit::undo(*d, nullptr), 1);
    EXPECT_EQ(describe(lines()), first);
    EXPECT_EQ(edit::undo(*d, nullptr), 1);
    EXPECT_TRUE(lines().empty());
}

TEST_P(Ratnest, DeleteTakesTopLevelLinesOfOneSignalOrAll) {
    pad(kTop, 0, 0, kRectSmt, "A");
    pad(kTop, kInch, 0, kRectSmt, "A");
    pad(kTop, 0, kInch, kRectSmt, "B");
    pad(kTop, kInch, kInch, kRectSmt, "B");
    EXPECT_EQ(nets::build_ratnest(*s), 2);
    Ref arc = model::MakeItem(ring(), model::kArc, kRatnestLayer, 721, 0, 0, kInch, 0);
    model::AttachSignal(arc, "B");
    Ref c = model::make_component(ring(), 0, 0, "X\x7FX1");
    Ref member = track(kTop, 0, 0, 1, 1);
    model::MoveBefore(member, model::member_ring(c));
    node(member).layer = kRatnestLayer;
    model::close_component(c);
    s->undo_number = 0;
    EXPECT_EQ(nets::delete_ratnest(*s, signal("A")), 1);
    EXPECT_EQ(nets::delete_ratnest(*s, model::kNone), 2); // B's line and its Arc, not the member
    EXPECT_EQ(s->undo_number, 3);
    EXPECT_EQ(node(member).layer, kRatnestLayer);
    EXPECT_EQ(nets::build_signal_ratnest(*s, signal("A")), 1);
    EXPECT_EQ(lines().size(), 1u);
}

TEST_P(Ratnest, NextRatLineJoinsTheNearestClusterFirst) {
    Ref p1 = pad(0, 0, 0, kOvalThru, "N");
    pad(0, kInch, 0, kOvalThru, "N");
    Ref p3 = pad(0, kInch, 2 * kInch, kOvalThru, "N");
    Ref p4 = pad(0, 5 * kInch, 0, kOvalThru, "N");
    pad(kTopSilk, 0, 9 * kInch, kRectSmt, "N"); // surface-mount on silk: never a candidate
    track(kTop, 0, 0, kInch, 0);
    ASSERT_EQ(nets::trace_from_pad(*s, p1), nets::TraceResult::Done);
    nets::propagate_signal(*s, s->current_signal);
    s->undo_number = 0;
    EXPECT_EQ(nets::next_rat_line(*s), p3);
    Ref l = model::last_item(ring());
    EXPECT_TRUE(from_to(l, Point{kInch, 0}, Point{kInch, 2 * kInch}));
    EXPECT_TRUE(node(l).marked());
    EXPECT_EQ(s->marked.back(), l);
    EXPECT_EQ(s->undo_number, 1);
    ASSERT_EQ(nets::trace_from_pad(*s, p3), nets::TraceResult::Done);
    EXPECT_EQ(nets::next_rat_line(*s), p4); // 4 inches from p2, 6 from p3
    EXPECT_TRUE(from_to(model::last_item(ring()), Point{kInch, 0}, Point{5 * kInch, 0}));
    ASSERT_EQ(nets::trace_from_pad(*s, p4), nets::TraceResult::Done);
    EXPECT_EQ(nets::next_rat_line(*s), model::kNone);
    EXPECT_EQ(edit::undo_groups(*d), 1);
}

INSTANTIATE_TEST_SUITE_P(PlainAndIndexed, Ratnest, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? std::string("Plain") : std::string("Indexed"); });

// NR and the scan's joining of every Signal, run in a model of their own: the lines and marks in order.
std::string run_generated(unsigned seed, int components, bool plain, bool scan) {
    model::Model m;
    model::Document* d = model::NewDocument("gen.pcb");
    board_setup(*d);
    generate(d->ring(), seed, components);
    nets::NetState s(*d);
    s.plain = plain;
    std::string out;
    if (!scan) {
        out += std::to_string(nets::build_ratnest(s)) + '\n' + describe(rat_lines(d->ring()));
        // Without the tracks almost every pad waits to be joined: long trees with many ties.
        for (Ref r : model::items_in(d->ring())) {
            if (node(r).item_kind() == model::kLine && node(r).size != 0 && node(r).layer != kRatnestLayer) {
                model::DeleteItem(r);
            }
        }
        edit::items_changed(*d);
        out += std::to_string(nets::build_ratnest(s)) + '\n';
        return out + describe(rat_lines(d->ring()));
    }
    std::map<Ref, Ref> first;
    model::walk_tree(d->ring(), [&](Ref r, int) {
        Ref sig = model::item_signal(r);
        if (node(r).item_kind() == model::kPad && sig != model::kNone) {
            first.emplace(sig, r);
        }
    });
    for (auto [sig, pad] : first) {
        nets::clear_marks(s);
        if (nets::trace_from_pad(s, pad) != nets::TraceResult::Done) {
            continue;
        }
        while (s.crosslink_pad == model::kNone) {
            nets::propagate_signal(s, s.current_signal);
            Ref next = nets::next_rat_line(s);
            if (next == model::kNone) {
                break;
            }
            nets::trace_from_pad(s, next);
        }
        out += model::signal_name(sig) + '\n' + describe(s.marked);
    }
    return out + describe(rat_lines(d->ring()));
}

TEST(RatnestMethods, FastMethodsGiveThePlainLines) {
    for (unsigned seed : {2u, 11u}) {
        std::string plain = run_generated(seed, 36, true, false);
        EXPECT_GT(plain.size(), 3000u);
        EXPECT_EQ(run_generated(seed, 36, false, false), plain) << "NR, seed " << seed;
        std::string scan = run_generated(seed, 36, true, true);
        EXPECT_EQ(run_generated(seed, 36, false, true), scan) << "scan, seed " << seed;
    }
}

} // namespace
