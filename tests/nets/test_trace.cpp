// The net trace: each spreading rule and layer rule on hand-built boards, the Signals it finds, the
// interruption, a queue far beyond the old fixed size, and the index against the plain walk on generated
// boards (the same marks in the same order).
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "display/test_draw_fixture.h"
#include "edit/spatial_index.h"
#include "edit/undo.h"
#include "net_board.h"
#include "nets/trace.h"

namespace {

using namespace nets_test;
using nets::TraceResult;

struct Trace : NetBoard, ::testing::WithParamInterface<bool> {
    void SetUp() override {
        NetBoard::SetUp();
        s->plain = GetParam();
    }
    TraceResult at(Point p, int layer = 0, Coord reach = 4) {
        nets::clear_marks(*s);
        return nets::trace_from_point(*s, layer, reach, p);
    }
};

TEST_P(Trace, CrossingTracksJoinOnCopperButNotOnASchematicLayer) {
    Ref a = track(kTop, 0, 0, kInch, kInch);
    Ref b = track(kTop, 0, kInch, kInch, 0);
    Ref c = track(kSignals, 2 * kInch, 0, 3 * kInch, kInch);
    Ref e = track(kSignals, 2 * kInch, kInch, 3 * kInch, 0);
    EXPECT_EQ(at(Point{0, 0}), TraceResult::Done);
    EXPECT_TRUE(marked(a) && marked(b));
    EXPECT_EQ(s->marked, (std::vector<Ref>{a, b}));
    EXPECT_EQ(at(Point{2 * kInch, 0}), TraceResult::Done);
    EXPECT_TRUE(marked(c));
    EXPECT_FALSE(marked(e));
    // Lines only touching at a T still join on the schematic layer.
    Ref f = track(kSignals, 2 * kInch + kInch / 4, kInch / 4, 2 * kInch + kInch / 4, -kInch);
    edit::items_changed(*d); // a change without undo records: the index is built again
    EXPECT_EQ(at(Point{2 * kInch, 0}), TraceResult::Done);
    EXPECT_TRUE(marked(f));
    EXPECT_FALSE(marked(e));
}

TEST_P(Trace, TrackEndsJoinWithinBothHalfWidthsAndNotBeyond) {
    Ref a = track(kTop, 0, 0, 10000, 0, 1000);
    Ref near = track(kTop, 10999, 0, 20000, 0, 1000); // ends 999 apart: inside 500 + 500
    Ref far = track(kTop, 21000, 0, 30000, 0, 1000);  // 1000 apart: not strictly inside
    EXPECT_EQ(at(Point{0, 0}), TraceResult::Done);
    EXPECT_TRUE(marked(a) && marked(near));
    EXPECT_FALSE(marked(far));
}

TEST_P(Trace, LayerRulesOfTheSpread) {
    Ref top = track(kTop, 0, 0, 20000, 0);
    Ref bottom = track(kBottom, 20000, 0, 40000, 0);       // another copper layer: not joined
    Ref master = track(0, 15000, 0, 15000, 20000);         // layer 0 joins every layer
    Ref silk = track(kTopSilk, 0, 0, 0, 20000);            // not on L, not on 0
    Ref smt_other = pad(kBottom, 0, 0, kRectSmt, nullptr); // surface-mount on the other side
    Ref smt_here = pad(kTop, 10000, 0, kRectSmt, nullptr);
    Ref via = pad(0, 40000, 0, kVia, nullptr);
    Ref far_bottom = track(kBottom, 40000, 0, 60000, 0);
    EXPECT_EQ(at(Point{5000, 0}, kTop), TraceResult::Done);
    EXPECT_TRUE(marked(top) && marked(master) && marked(smt_here));
    EXPECT_FALSE(marked(bottom) || marked(silk) || marked(smt_other));
    EXPECT_FALSE(marked(via) || marked(far_bottom));
    // From the via (through-hole: any conductive layer) the bottom track is reached.
    EXPECT_EQ(at(Point{40000, 0}), TraceResult::Done);
    EXPECT_TRUE(marked(via) && marked(far_bottom) && marked(bottom));
}

TEST_P(Trace, TrackEndingInASurfaceMountPadOfAnotherLayerDoesNotConnect) {
    Ref smt = pad(kTop, 0, 0, kRectSmt, "A");
    Ref under = track(kBottom, 0, 0, 30000, 0);
    Ref on_top = track(kTop, 0, 0, 0, 30000);
    EXPECT_EQ(at(Point{30000, 0}), TraceResult::Done);
    EXPECT_TRUE(marked(under));
    EXPECT_FALSE(marked(smt) || marked(on_top));
    EXPECT_EQ(s->current_signal, model::kNone); // Lines never name the net
    EXPECT_EQ(at(Point{0, 30000}), TraceResult::Done);
    EXPECT_TRUE(marked(smt) && marked(on_top));
    EXPECT_FALSE(marked(under));
    EXPECT_EQ(s->current_signal, signal("A"));
}

TEST_P(Trace, SeedingTakesLinesOfExactlyTheGivenLayer) {
    Ref top = track(kTop, 0, 0, 20000, 0);
    Ref master = track(0, 0, 0, 0, 20000);
    EXPECT_EQ(at(Point{0, 0}, kTop), TraceResult::Done);
    EXPECT_EQ(s->marked.front(), top); // the layer-0 Line joins by spreading, not by seeding
    EXPECT_TRUE(marked(master));
    EXPECT_EQ(at(Point{0, 20000}, kTop), TraceResult::Nothing);
    EXPECT_TRUE(s->marked.empty());
    // With layer 0 a Line must lie on a conductive layer: the pad master is not.
    EXPECT_EQ(at(Point{0, 20000}, 0), TraceResult::Nothing);
    EXPECT_EQ(at(Point{5 * kInch, 0}, 0, kInch), TraceResult::Nothing);
}

TEST_P(Trace, SolidsArcsAndLabels) {
    Ref solid = model::MakeItem(ring(), model::kLine, kBottom, 0, 0, 0, 0, 0);
    for (Point p : {Point{0, 0}, Point{20000, 0}, Point{20000, 20000}, Point{0, 20000}}) {
        model::add_vertex(solid, p.x, p.y);
    }
    Ref into = track(kBottom, 20399, 10000, 40000, 10000, 800);  // end 399 outside: within w/2
    Ref apart = track(kBottom, 20401, 15000, 40000, 15000, 800); // 401 outside: beyond w/2
    Ref other_solid = model::MakeItem(ring(), model::kLine, kBottom, 0, 0, 0, 0, 0);
    for (Point p : {Point{19000, 19000}, Point{30000, 19000}, Point{30000, 30000}}) {
        model::add_vertex(other_solid, p.x, p.y);
    }
    Ref through = pad(0, -1999, 5000, kOvalThru, "P"); // centre 1999 outside, half its size 2000
    Ref arc = model::MakeItem(ring(), model::kArc, kBottom, 600, 10000, 10000, 5000, 0); // inside the Solid
    Ref arc_track = track(kBottom, 50000, 10000, 60000, 10000, 800);
    Ref on_arc = model::MakeItem(ring(), model::kArc, kBottom, 600, 45000, 10000, 5000, 0);
    Ref label = edit_test::make_text(ring(), kSignals, 3 * kInch, 0, 3000, "L");
    model::ReleaseChain(label);
    model::AttachSignal(label, "LABEL");
    Ref wire = track(kSignals, 3 * kInch, 401, 3 * kInch, 30000, 800); // the label within 400 + 2 of it
    Ref text = edit_test::make_text(ring(), kSignals, 3 * kInch, 20000, 3000, "plain");

    EXPECT_EQ(at(Point{10000, 10000}, kBottom), TraceResult::Done);
    EXPECT_TRUE(marked(solid) && marked(into) && marked(other_solid) && marked(through));
    EXPECT_FALSE(marked(apart) || marked(arc));       // Arcs never touch a Solid
    EXPECT_TRUE(marked(on_arc) && marked(arc_track)); // a track end on the stroke, then the arc's other track
    EXPECT_EQ(s->current_signal, signal("P"));

    EXPECT_EQ(at(Point{3 * kInch, 30000}, kSignals), TraceResult::Done);
    EXPECT_TRUE(marked(wire) && marked(label));
    EXPECT_FALSE(marked(text));
    EXPECT_EQ(s->current_signal, signal("LABEL"));
}

TEST_P(Trace, PadsOnAPlaneShareTheirSignalAndFindCrosslinksAndUnknownPins) {
    Ref a = pad(kPlane, 0, 0, kOvalThru, "GND");
    Ref b = pad(kPlane, 5 * kInch, 0, kOvalThru, "GND");
    Ref c = pad(kPlane, 9 * kInch, 0, kOvalThru, "VCC");
    Ref d0 = pad(0, 7 * kInch, 0, kOvalThru, "GND"); // layer 0 is no plane
    Ref t = track(kTop, 5 * kInch, 0, 6 * kInch, 0);
    Ref short_pad = pad(0, 6 * kInch, 0, kRectThru, "VCC");
    Ref unknown = pad(0, 5 * kInch, 30000, kRectThru, nullptr);
    model::SetPin(unknown, "7");
    track(kTop, 5 * kInch, 0, 5 * kInch, 30000);
    EXPECT_EQ(at(Point{0, 0}), TraceResult::Done);
    EXPECT_TRUE(marked(a) && marked(b) && marked(t) && marked(short_pad) && marked(unknown));
    EXPECT_FALSE(marked(c) || marked(d0));
    EXPECT_EQ(s->current_signal, signal("GND"));
    EXPECT_EQ(s->crosslink_pad, short_pad);
    EXPECT_EQ(s->unsignaled_pad, unknown);
    // A pad without pin is no unknown pin; a via never is.
    model::SetPin(unknown, "");
    EXPECT_EQ(at(Point{0, 0}), TraceResult::Done);
    EXPECT_EQ(s->unsignaled_pad, model::kNone);
}

TEST_P(Trace, HiddenItemsAreNeverReachedAndMembersAre) {
    Ref c = model::make_component(ring(), 0, 0, "DIP\x7FU1");
    Ref member = pad(0, 20000, 0, kOvalThru, "M", 4000, 4000, model::member_ring(c));
    model::close_component(c);
    Ref a = track(kTop, 0, 0, 20000, 0);
    Ref held = track(kTop, 20000, 0, 40000, 0);
    Ref beyond = track(kTop, 40000, 0, 60000, 0);
    node(held).kind |= model::kHiddenFlag;
    EXPECT_EQ(at(Point{0, 0}), TraceResult::Done);
    EXPECT_TRUE(marked(a) && marked(member));
    EXPECT_FALSE(marked(held) || marked(beyond));
    EXPECT_EQ(s->current_signal, signal("M"));
    // A Hidden Component keeps its members out of reach.
    node(held).kind &= static_cast<uint8_t>(~model::kHiddenFlag);
    node(c).kind |= model::kHiddenFlag;
    EXPECT_EQ(at(Point{0, 0}), TraceResult::Done);
    EXPECT_FALSE(marked(member));
    EXPECT_TRUE(marked(beyond));
}

TEST_P(Trace, ClearancesAreZeroWhileTracingAndAKeyCanStopIt) {
    d->setup.clear_line_line = 100;
    d->setup.clear_line_pad = 200;
    d->setup.clear_pad_pad = 300;
    for (int i = 0; i < 300; ++i) {
        track(kTop, i * 1000, 0, (i + 1) * 1000, 0, 200);
    }
    std::vector<long> counts;
    s->every_128 = [&](const char* what, long n) {
        EXPECT_STREQ(what, "SCAN:");
        EXPECT_EQ(d->setup.clear_line_line + d->setup.clear_line_pad + d->setup.clear_pad_pad, 0);
        counts.push_back(n);
        return true;
    };
    EXPECT_EQ(at(Point{0, 0}), TraceResult::Done);
    EXPECT_EQ(counts, (std::vector<long>{128, 256}));
    EXPECT_EQ(s->marked.size(), 300u);
    EXPECT_EQ(d->setup.clear_line_pad, 200);
    s->every_128 = [&](const char*, long) { return false; };
    EXPECT_EQ(at(Point{0, 0}), TraceResult::Interrupted);
    EXPECT_GE(s->marked.size(), 128u); // what was reached stays marked
    EXPECT_LT(s->marked.size(), 300u);
    EXPECT_EQ(d->setup.clear_pad_pad, 300);
}

TEST_P(Trace, FromAPadKeepsTheSignalAndEarlierMarks) {
    Ref a = pad(0, 0, 0, kOvalThru, "A");
    Ref b = pad(0, kInch, 0, kOvalThru, "A");
    Ref t = track(kTop, kInch, 0, 2 * kInch, 0);
    EXPECT_EQ(at(Point{0, 0}), TraceResult::Done);
    EXPECT_EQ(nets::trace_from_pad(*s, b), TraceResult::Done);
    EXPECT_TRUE(marked(a) && marked(b) && marked(t));
    EXPECT_EQ(s->current_signal, signal("A"));
    EXPECT_EQ(s->marked, (std::vector<Ref>{a, b, t}));
    // Marked Items are not reached again: nothing new at the same place.
    EXPECT_EQ(nets::trace_from_pad(*s, b), TraceResult::Nothing);
}

INSTANTIATE_TEST_SUITE_P(PlainAndIndexed, Trace, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? std::string("Plain") : std::string("Indexed"); });

// A chain of more Items than the old fixed queue held: every one is followed to the end.
TEST_F(NetBoard, TraceFollowsAChainLongerThanTheOldQueue) {
    constexpr int kLinks = 262143 + 200;
    Ref last = model::kNone;
    for (int i = 0; i < kLinks; ++i) {
        last = track(kTop, i * 100, 0, (i + 1) * 100, 0, 20);
    }
    Ref end_pad = pad(0, kLinks * 100, 0, kOvalThru, "END", 400, 400);
    EXPECT_EQ(nets::trace_from_point(*s, kTop, 4, Point{0, 0}), TraceResult::Done);
    EXPECT_EQ(s->marked.size(), static_cast<size_t>(kLinks) + 1);
    EXPECT_TRUE(marked(last) && marked(end_pad));
    EXPECT_EQ(s->current_signal, signal("END"));
}

// The index gives the plain walk's marks in the same order, with the same Signals and pads found.
struct TraceRun {
    std::string marks;
    std::string signals;
};

TraceRun trace_all(unsigned seed, int components, bool plain) {
    TraceRun out;
    model::Model m;
    model::Document* d = model::NewDocument("gen.pcb");
    board_setup(*d);
    generate(d->ring(), seed, components);
    nets::NetState s(*d);
    s.plain = plain;
    std::vector<Ref> pads;
    model::walk_tree(d->ring(), [&](Ref r, int) {
        if (node(r).item_kind() == model::kPad) {
            pads.push_back(r);
        }
    });
    auto note = [&](nets::TraceResult r) {
        out.marks += std::to_string(static_cast<int>(r)) + ":\n" + describe(s.marked);
        out.signals += model::signal_name(s.current_signal) + '|' +
                       (s.crosslink_pad ? describe(s.crosslink_pad) : std::string("-\n")) + '|' +
                       (s.unsignaled_pad ? describe(s.unsignaled_pad) : std::string("-\n"));
    };
    for (Ref p : pads) {
        nets::clear_marks(s);
        note(nets::trace_from_pad(s, p));
    }
    // From points on every layer, with a wide reach, keeping the marks between two of them.
    std::mt19937 rng(seed);
    for (int i = 0; i < 12; ++i) {
        Point p{static_cast<Coord>(rng() % (6 * kInch)), static_cast<Coord>(rng() % (components / 6 * kInch))};
        if (i % 2 == 0) {
            nets::clear_marks(s);
        }
        note(nets::trace_from_point(s, static_cast<int>(rng() % 8), static_cast<Coord>(rng() % 30000), p));
    }
    return out;
}

TEST(TraceIndex, GivesThePlainMarksInTheSameOrder) {
    for (unsigned seed : {1u, 5u, 11u}) {
        TraceRun plain = trace_all(seed, 36, true);
        TraceRun indexed = trace_all(seed, 36, false);
        ASSERT_GT(plain.marks.size(), 1000u);
        EXPECT_EQ(plain.marks, indexed.marks) << "seed " << seed;
        EXPECT_EQ(plain.signals, indexed.signals) << "seed " << seed;
    }
}

// Ratnest lines appended while the index is in use are found as if it had been built with them.
TEST_F(NetBoard, IndexKeepsUpWithAppendedAndRemovedItems) {
    generate(ring(), 3, 24);
    nets::NetIndex& index = nets::net_index(*s);
    Ref extra = track(kTop, 0, 0, 6 * kInch, 4 * kInch, 900); // a long diagonal
    edit::RecordCreated(*d, extra, 0);
    nets::index_appended(*s, extra);
    EXPECT_TRUE(index.current(*d));
    std::vector<Ref> seen;
    index.visit(3 * kInch, 2 * kInch, 3 * kInch, 2 * kInch, [&](Ref r) { seen.push_back(r); });
    EXPECT_EQ(std::count(seen.begin(), seen.end(), extra), 1);
    index.visit(5 * kInch, kInch / 2, 5 * kInch, kInch / 2, [&](Ref r) { EXPECT_NE(r, extra); });
    Ref first = model::first_item(ring());
    uint32_t before = index.place(first);
    EXPECT_LT(before, index.place(extra)); // appended Items come last in walk order
    edit::RecordDeleted(*d, first, 1);
    nets::index_removed(*s, first);
    EXPECT_TRUE(index.current(*d));
    EXPECT_EQ(index.place(first), UINT32_MAX);
    // A change it was not told of leaves it stale: the next use builds it again.
    Ref untold = track(kTop, 0, 0, kInch, 0);
    edit::RecordCreated(*d, untold, 0);
    EXPECT_FALSE(index.current(*d));
    Ref another = track(kTop, 0, 0, kInch, 0);
    edit::RecordCreated(*d, another, 0);
    nets::index_appended(*s, another); // its own record, but one before it went untold
    EXPECT_FALSE(s->index->current(*d));
    EXPECT_NE(nets::net_index(*s).place(another), UINT32_MAX);
}

} // namespace

// --- Marks, the current Signal and the texts of messages ----------------------------------------------

namespace {

TEST_F(NetBoard, InchesRoundToTheThousandthWithALeadingZero) {
    EXPECT_EQ(nets::inches3(0), "0.000");
    EXPECT_EQ(nets::inches3(54395), "0.830");
    EXPECT_EQ(nets::inches3(-81920), "-1.250");
    EXPECT_EQ(nets::inches3(-32), "0.000"); // no minus zero
    EXPECT_EQ(nets::inches3(33), "0.001");
    EXPECT_EQ(nets::inches3(20 * kInch + 7), "20.000");
    d->setup.origin_x = kInch;
    d->setup.origin_y = -kInch;
    EXPECT_EQ(nets::point_text(*d, Point{kInch + 54395, 75366 - kInch}), "(0.830,1.150)");
}

TEST_F(NetBoard, PadNamesSayComponentAndPinOrWhatAndWhere) {
    Ref c = model::make_component(ring(), 0, 0, "DIP\x7FU3");
    Ref numbered = pad(0, 0, 0, kOvalThru, nullptr, 4000, 4000, model::member_ring(c));
    model::SetPin(numbered, "14");
    Ref named = pad(kTop, 0, 0, kRectSmt, nullptr, 4000, 4000, model::member_ring(c));
    model::SetPin(named, "A1");
    Ref no_pin = pad(0, 54395, 0, kOvalThru, nullptr, 4000, 4000, model::member_ring(c));
    Ref via_in = pad(0, 0, 0, kVia, nullptr, 4000, 4000, model::member_ring(c));
    model::SetPin(via_in, "2");
    model::close_component(c);
    Ref pin = pad(kSignals, 54395, 75366, 0, nullptr);
    model::SetPin(pin, "3");
    Ref via = pad(0, -81920, 0, kVia, nullptr);
    Ref dot = pad(kSignals, 0, 0, 7, nullptr);
    Ref smt = pad(kTop, 0, 0, kOvalSmt, nullptr);
    EXPECT_EQ(nets::pad_name(*d, numbered), "U3-14");
    EXPECT_EQ(nets::pad_name(*d, named), "U3-A1");
    EXPECT_EQ(nets::pad_name(*d, no_pin), "pad (0.830,0.000)");
    EXPECT_EQ(nets::pad_name(*d, via_in), "via (0.000,0.000)");
    EXPECT_EQ(nets::pad_name(*d, pin), "pin (0.830,1.150)"); // with a pin, but in no Component
    EXPECT_EQ(nets::pad_name(*d, via), "via (-1.250,0.000)");
    EXPECT_EQ(nets::pad_name(*d, dot), "dot (0.000,0.000)");
    EXPECT_EQ(nets::pad_name(*d, smt), "pad (0.000,0.000)");
}

TEST_F(NetBoard, ClearingMarksForgetsTheSignalAndClearingAllTakesOthersMarksToo) {
    std::vector<Ref> seen;
    s->signal_changed = [&](Ref sig) { seen.push_back(sig); };
    Ref a = pad(0, 0, 0, kOvalThru, "A");
    Ref t = track(kTop, 0, 0, kInch, 0);
    Ref other = track(kTop, 5 * kInch, 0, 6 * kInch, 0);
    node(other).kind |= model::kMarkFlag; // a mark someone else set
    ASSERT_EQ(nets::trace_from_point(*s, 0, 4, Point{0, 0}), nets::TraceResult::Done);
    EXPECT_EQ(s->marked, (std::vector<Ref>{a, t}));
    nets::clear_marks(*s);
    EXPECT_FALSE(marked(a) || marked(t));
    EXPECT_TRUE(marked(other));
    EXPECT_EQ(s->current_signal, model::kNone);
    EXPECT_EQ(seen, (std::vector<Ref>{signal("A"), model::kNone}));
    nets::clear_all_marks(*s);
    EXPECT_FALSE(marked(other));
    EXPECT_EQ(seen.size(), 2u); // the Signal did not change again
}

TEST_F(NetBoard, HighlightMarksExactlyTheItemsOfTheSignal) {
    Ref c = model::make_component(ring(), 0, 0, "DIP\x7FU1");
    Ref member = pad(0, 0, 0, kOvalThru, "H", 4000, 4000, model::member_ring(c));
    model::close_component(c);
    Ref t = track(kBottom, 0, 0, kInch, 0, 800, "H");
    Ref other = track(kTop, 0, 0, kInch, 0, 800, "K");
    node(other).kind |= model::kMarkFlag;
    nets::highlight_signal(*s, signal("H"));
    EXPECT_EQ(s->marked, (std::vector<Ref>{member, t}));
    EXPECT_FALSE(marked(other) || marked(c));
    EXPECT_EQ(s->current_signal, signal("H"));
}

TEST_F(NetBoard, PropagateGivesTheSignalToMarkedCopperOnly) {
    Ref t = track(kTop, 0, 0, kInch, 0, 800, "OLD");
    Ref solid = model::MakeItem(ring(), model::kLine, kTop, 0, 0, 0, 0, 0);
    model::add_vertex(solid, 0, 0);
    Ref arc = model::MakeItem(ring(), model::kArc, kTop, 600, 0, 0, 100, 0);
    Ref dot_arc = model::MakeItem(ring(), model::kArc, kTop, 600, 0, 0, 0, 0);
    Ref p = pad(0, 0, 0, kOvalThru, nullptr);
    Ref label = edit_test::make_text(ring(), kSignals, 0, 0, 3000, "L");
    Ref unmarked = pad(0, kInch, kInch, kOvalThru, nullptr);
    for (Ref r : {t, solid, arc, dot_arc, p, label}) {
        nets::mark_item(*s, r);
    }
    Ref sig = signal("NEW");
    EXPECT_EQ(nets::propagate_signal(*s, sig), 3);
    EXPECT_EQ(model::item_signal(t), sig);
    EXPECT_EQ(model::item_signal(arc), sig);
    EXPECT_EQ(model::item_signal(p), sig);
    EXPECT_EQ(model::item_signal(dot_arc), model::kNone);
    EXPECT_EQ(model::GetText(label), "L");
    EXPECT_EQ(model::vertex_count(solid), 1);
    EXPECT_EQ(model::item_signal(unmarked), model::kNone);
    EXPECT_EQ(model::SignalUses(sig), 3u);
    EXPECT_EQ(model::SignalUses(signal("OLD")), 0u);
    EXPECT_EQ(nets::propagate_signal(*s, sig), 0);
}

// Marked Items are drawn in the highlight colour, and in their own again when the marks are cleared.
struct MarkDrawing : display::testing::DrawTest {};

TEST_F(MarkDrawing, MarkedItemsShowHighlighted) {
    Ref l = line(1, 3, 10, 10, 10, 40);
    redraw(d);
    ASSERT_EQ(at(9, 20), px(display::testing::kTopColour));
    nets::NetState s(*doc);
    s.display = &d;
    nets::mark_item(s, l);
    EXPECT_EQ(at(9, 20), px(display::testing::kHighlight)); // the middle keeps the layer's colour
    nets::clear_marks(s);
    EXPECT_EQ(at(9, 20), px(display::testing::kTopColour));
}

} // namespace
