// Drill holes, duplicates and clearances: each rule at its boundary on hand-built boards (the required
// distance passes, one unit less fails), and the grid against the plain walk on generated boards.
#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "edit/undo.h"
#include "net_board.h"
#include "nets/checks.h"

namespace {

using namespace trazel;
using edit_test::kBottom;
using edit_test::kTop;
using edit_test::kTopSilk;
using model::Coord;
using model::node;
using model::Ref;
using nets::Clearances;
using nets::Finding;
using nets::FindingKind;

constexpr uint16_t kOval = 1, kRect = 2, kVia = 3, kRectSmt = 6;

std::string text_of(const std::vector<Finding>& fs) {
    std::ostringstream o;
    for (const Finding& f : fs) {
        o << static_cast<int>(f.kind) << ' ' << f.source << ' ' << f.target << " (" << f.at.x << ',' << f.at.y << ") "
          << f.required << ' ' << f.distance << '\n';
    }
    return o.str();
}

// The net board with every clearance 0 until a test sets one.
struct NetChecks : nets_test::NetBoard {
    void SetUp() override {
        NetBoard::SetUp();
        d->setup.clear_line_line = d->setup.clear_line_pad = d->setup.clear_pad_pad = 0;
    }
    Ref pad(int layer, Coord x, Coord y, uint16_t w, uint16_t h, uint16_t type, model::Angle angle = 0,
            Ref where = model::kNone) {
        Ref p = edit_test::make_pad(where ? where : ring(), layer, x, y, w, h, type);
        node(p).pad.angle = angle;
        return p;
    }
    void mark(Ref r) {
        node(r).kind |= model::kMarkFlag;
        s->marked.push_back(r);
    }
    void unmark_all() {
        for (Ref r : s->marked) {
            node(r).kind &= static_cast<uint8_t>(~model::kMarkFlag);
        }
        s->marked.clear();
    }
    // The clearance check both ways; they must agree.
    std::vector<Finding> clearances(const Clearances& c) {
        std::vector<Finding> plain, indexed;
        s->plain = true;
        EXPECT_GE(nets::check_clearances(*s, c, [&](const Finding& f) { return plain.push_back(f), true; }), 0);
        s->plain = false;
        s->index.reset(); // the tests change the board between checks
        EXPECT_GE(nets::check_clearances(*s, c, [&](const Finding& f) { return indexed.push_back(f), true; }), 0);
        EXPECT_EQ(text_of(plain), text_of(indexed));
        return indexed;
    }
    size_t count(const Clearances& c) {
        return clearances(c).size();
    }
    // The rule at its boundary: with `move(pass)` nothing is found, with `move(fail)` (one unit nearer) one.
    template <class Move> void edge(const Clearances& c, Coord pass, Coord fail, Move move) {
        move(pass);
        EXPECT_EQ(count(c), 0u) << "at " << pass;
        move(fail);
        EXPECT_EQ(count(c), 1u) << "at " << fail;
    }
    std::vector<Finding> drill_holes() {
        std::vector<Finding> out;
        int n = nets::check_drill_holes(*s, [&](const Finding& f) { return out.push_back(f), true; });
        EXPECT_EQ(n, static_cast<int>(out.size()));
        return out;
    }
    int pads_in_ring() const {
        int n = 0;
        for (Ref r : model::items_in(d->ring())) {
            n += node(r).item_kind() == model::kPad;
        }
        return n;
    }
};

// --- Clearance rules at their boundaries --------------------------------------------------------

TEST_F(NetChecks, LineToLineEndDistances) {
    // Required (800 + 600) / 2 + 500 = 1200 from the source's ends to the target and back.
    Clearances c{500, 0, 0};
    Ref a = track(kTop, 0, 0, 10000, 0, 800);
    mark(a);
    Ref b = track(kTop, 3000, 1200, 20000, 1200, 600);
    EXPECT_EQ(count(c), 0u);
    node(b).line.y1 = node(b).line.y2 = 1199;
    std::vector<Finding> f = clearances(c);
    ASSERT_EQ(f.size(), 1u);
    EXPECT_EQ(f[0].kind, FindingKind::LineToLine);
    EXPECT_EQ(f[0].source, a);
    EXPECT_EQ(f[0].target, b);
    EXPECT_EQ(f[0].required, 1200);
    EXPECT_EQ(f[0].distance, 1199);
    // An odd width sum needs the half unit: 1200.5 required, so 1200 fails and 1201 passes.
    node(b).size = 601;
    edge(c, 1201, 1200, [&](Coord y) { node(b).line.y1 = node(b).line.y2 = y; });
    // An end of the target near the source's body counts as much as the source's ends.
    node(b).size = 600;
    node(b).line = {5000, 1199, 5000, 9000, 0};
    edge(c, 1200, 1199, [&](Coord y) { node(b).line.y1 = y; });
}

TEST_F(NetChecks, TargetsFollowTheSourceLayerRule) {
    Clearances c{500, 500, 500};
    Ref a = track(kTop, 0, 0, 10000, 0, 800);
    mark(a);
    Ref bottom = track(kBottom, 0, 100, 10000, 100, 800); // another layer
    track(kTopSilk, 0, 100, 10000, 100, 800);
    Ref hidden = track(kTop, 0, 100, 10000, 100, 800);
    node(hidden).kind |= model::kHiddenFlag;
    Ref same = track(kTop, 0, 200, 10000, 200, 800); // the same net
    mark(same);
    Ref smt_other = pad(kBottom, 5000, 0, 2000, 2000, kRectSmt);
    Ref rat = track(255, 0, 100, 10000, 100, 800); // an airline, never copper
    EXPECT_EQ(count(c), 0u);
    // A track on layer 0 and a through-hole pad qualify from any layer.
    Ref zero = track(0, 0, 300, 10000, 300, 800);
    Ref thru = pad(0, 5000, -300, 2000, 2000, kOval);
    std::vector<Finding> f = clearances(c);
    ASSERT_EQ(f.size(), 4u); // sources in walk order, then targets in walk order
    std::vector<std::pair<Ref, Ref>> pairs;
    for (const Finding& x : f) {
        pairs.emplace_back(x.source, x.target);
    }
    EXPECT_EQ(pairs, (std::vector<std::pair<Ref, Ref>>{{a, zero}, {a, thru}, {same, zero}, {same, thru}}));
    // A through-hole pad source measures as layer 0: tracks on every copper layer, every pad; not silk,
    // not the airline, not Hidden Items.
    unmark_all();
    node(zero).kind |= model::kHiddenFlag;
    Ref src = pad(0, 5000, 0, 2000, 2000, kOval);
    mark(src);
    f = clearances(c);
    std::vector<Ref> targets;
    for (const Finding& x : f) {
        EXPECT_EQ(x.source, src);
        targets.push_back(x.target);
    }
    EXPECT_EQ(targets, (std::vector<Ref>{a, bottom, same, smt_other, thru}));
    // Sources off the Ratnest layer only.
    unmark_all();
    mark(rat);
    EXPECT_EQ(count(c), 0u);
}

TEST_F(NetChecks, LineAgainstCircularPadBothWays) {
    // 400 + 1000 + 300 = 1700 from the centre to the track.
    Clearances c{0, 300, 0};
    Ref l = track(kTop, 0, 0, 10000, 0, 800);
    Ref p = pad(0, 5000, 1700, 2000, 2000, kOval);
    mark(l);
    EXPECT_EQ(count(c), 0u);
    node(p).pad.y0 = 1699;
    std::vector<Finding> f = clearances(c);
    ASSERT_EQ(f.size(), 1u);
    EXPECT_EQ(f[0].kind, FindingKind::LineToPad);
    EXPECT_EQ(f[0].required, 1700);
    // The pad as the source: the same distance.
    unmark_all();
    mark(p);
    f = clearances(c);
    ASSERT_EQ(f.size(), 1u);
    EXPECT_EQ(f[0].kind, FindingKind::PadToLine);
    EXPECT_EQ(f[0].target, l);
    node(p).pad.y0 = 1700;
    EXPECT_EQ(count(c), 0u);
    // Past the track's end the distance is to the end.
    node(p).pad = {11700, 0, 2000, 2000, 300, 0, 0};
    edge(c, 11700, 11699, [&](Coord x) { node(p).pad.x0 = x; });
}

TEST_F(NetChecks, LineAgainstOblongSpine) {
    // A 4000 x 2000 oval: spine from x - 1000 to x + 1000, radius 1000; 400 + 1000 + 300 = 1700.
    Clearances c{0, 300, 0};
    Ref l = track(kTop, 0, -5000, 0, 5000, 800);
    mark(l);
    Ref p = pad(0, 2700, 0, 4000, 2000, kOval);
    auto px = [&](Coord x) { node(p).pad.x0 = x; };
    edge(c, 2700, 2699, px);
    // Turned by 90 degrees the spine stands parallel to the track, at the centre's distance.
    node(p).pad.angle = 16384;
    edge(c, 1700, 1699, px);
    // A track end against the spine's middle.
    node(p).pad = {0, 0, 4000, 2000, 300, 0, 0};
    node(l).line = {0, 1700, 0, 9000, 0};
    edge(c, 1700, 1699, [&](Coord y) { node(l).line.y1 = y; });
}

TEST_F(NetChecks, LineAgainstRectangleEdgesAndCorners) {
    // A 3000 x 2000 rectangle: corners and edges with radius 0, so 400 + 300 = 700.
    Clearances c{0, 300, 0};
    Ref l = track(kTop, 0, -5000, 0, 5000, 800);
    mark(l);
    Ref p = pad(0, 2200, 0, 3000, 2000, kRect);
    edge(c, 2200, 2199, [&](Coord x) { node(p).pad.x0 = x; }); // the left corners 700 away
    // A track end against the middle of an edge: no corner is near it.
    node(l).line = {-9000, 0, 800, 0, 0};
    node(p).pad.x0 = 3000; // left edge at 1500
    auto end = [&](Coord x) { node(l).line.x2 = x; };
    edge(c, 800, 801, end);
    std::vector<Finding> f = clearances(c);
    ASSERT_EQ(f.size(), 1u);
    EXPECT_EQ(f[0].at.x, 801); // measured from the track end
    // The same rectangle turned by 90 degrees: the left edge is now 1000 from the centre.
    node(p).pad.angle = 16384;
    node(p).pad.x0 = 2500;
    edge(c, 800, 801, end);
}

TEST_F(NetChecks, PadAgainstPadSpines) {
    Clearances c{0, 0, 500};
    // Oblong against oblong, spine end to spine: 1000 + 1000 + 500.
    Ref a = pad(0, 0, 0, 4000, 2000, kOval);
    mark(a);
    Ref b = pad(0, 4500, 0, 4000, 2000, kOval);
    auto bx = [&](Coord x) { node(b).pad.x0 = x; };
    edge(c, 4500, 4499, bx);
    std::vector<Finding> f = clearances(c);
    ASSERT_EQ(f.size(), 1u);
    EXPECT_EQ(f[0].kind, FindingKind::PadToPad);
    EXPECT_EQ(f[0].required, 2500);
    // Oblong source against a round target: centre to spine.
    node(b).pad = {3500, 0, 2000, 2000, 300, 0, 0};
    edge(c, 3500, 3499, bx);
    // A rectangle counts as its oblong spine here: off its corner the rounded end is farther than the
    // corner itself (1414 from the corner would fail 1500; 2828 from the spine end passes 2500).
    node(a).size = kRect;
    node(b).pad.x0 = 3000;
    node(b).pad.y0 = 2000;
    EXPECT_EQ(count(c), 0u);
    node(b).pad.x0 = 0;
    node(b).pad.y0 = 2499;
    EXPECT_EQ(count(c), 1u);
}

TEST_F(NetChecks, RoundSourceTakesOblongTargetAsItsWidth) {
    // A round source against a standing 2000 x 6000 oval: centre to centre, the oval's width as its
    // diameter, 1000 + 1000 + 500 = 2500, although the spine reaches 2000 nearer.
    Clearances c{0, 0, 500};
    Ref round = pad(0, 0, 0, 2000, 2000, kOval);
    Ref oval = pad(0, 0, 2500, 2000, 6000, kOval);
    mark(round);
    edge(c, 2500, 2499, [&](Coord y) { node(oval).pad.y0 = y; });
    // The other way round the spine counts: 4500 from the centre.
    unmark_all();
    mark(oval);
    edge(c, 4500, 4499, [&](Coord y) { node(oval).pad.y0 = y; });
    // Round against round: centre to centre.
    node(oval).pad = {2500, 0, 2000, 2000, 300, 0, 0};
    edge(c, 2500, 2499, [&](Coord x) { node(oval).pad.x0 = x; });
}

TEST_F(NetChecks, InterruptionEvery128Sources) {
    for (int i = 0; i < 300; ++i) {
        mark(track(kTop, 0, i * 10000, 1000, i * 10000, 100));
    }
    std::vector<long> left;
    s->every_128 = [&](const char* what, long n) {
        EXPECT_STREQ(what, "DRC:");
        left.push_back(n);
        return true;
    };
    EXPECT_EQ(count(Clearances{100, 100, 100}), 0u);
    EXPECT_EQ(left, (std::vector<long>{172, 44, 172, 44})); // plain, then indexed
    s->every_128 = [&](const char*, long) { return false; };
    for (bool plain : {true, false}) {
        s->plain = plain;
        int found = 0;
        EXPECT_EQ(nets::check_clearances(*s, Clearances{}, [&](const Finding&) { return ++found, true; }), -1);
    }
}

// --- Drill holes and duplicates -----------------------------------------------------------------

TEST_F(NetChecks, StackedDuplicatesDeletedOnceAndUndone) {
    // Three identical pads on one spot (the third 2 units off): the first stays, the others go.  Each
    // is looked at only while it exists.
    Ref p1 = pad(0, 10000, 10000, 3932, 3932, kOval);
    Ref p2 = pad(0, 10000, 10000, 3932, 3932, kOval);
    Ref p3 = pad(0, 10002, 9998, 3932, 3932, kOval);
    for (Ref r : {p1, p2, p3}) {
        mark(r);
    }
    std::vector<std::string> seen;
    std::vector<Finding> f;
    int n = nets::check_drill_holes(*s, [&](const Finding& x) {
        seen.push_back(std::to_string(node(x.target).pad.x0)); // still readable while reported
        f.push_back(x);
        return true;
    });
    EXPECT_EQ(n, 2);
    ASSERT_EQ(f.size(), 2u);
    EXPECT_EQ(f[0].kind, FindingKind::DuplicatePad);
    EXPECT_EQ(f[0].source, p1);
    EXPECT_EQ(f[0].target, p2);
    EXPECT_EQ(f[1].target, p3);
    EXPECT_EQ(f[1].at.x, 10002);
    EXPECT_EQ(seen, (std::vector<std::string>{"10000", "10002"}));
    EXPECT_EQ(pads_in_ring(), 1);
    EXPECT_EQ(s->marked, (std::vector<Ref>{p1}));
    EXPECT_EQ(s->undo_number, 2);
    EXPECT_EQ(edit::undo_groups(*d), 1);
    EXPECT_EQ(edit::undo(*d, nullptr), 1);
    EXPECT_EQ(pads_in_ring(), 3);
}

TEST_F(NetChecks, DifferentHolesInterfereInstead) {
    Ref a = pad(0, 10000, 10000, 3932, 3932, kOval);
    Ref b = pad(0, 10000, 10000, 3932, 3932, kOval);
    node(b).pad.hole = 1800;
    mark(a);
    mark(b);
    std::vector<Finding> f = drill_holes();
    ASSERT_EQ(f.size(), 2u); // each pad against the other, at its own centre
    EXPECT_EQ(f[0].kind, FindingKind::DrillInterference);
    EXPECT_EQ(f[0].source, a);
    EXPECT_EQ(f[1].source, b);
    EXPECT_EQ(pads_in_ring(), 2);
    // Holes of 2000 and 1800 interfere up to 1900 apart.
    node(b).pad.x0 = 11900;
    EXPECT_EQ(drill_holes().size(), 2u);
    node(b).pad.x0 = 11901;
    EXPECT_EQ(drill_holes().size(), 0u);
    // Surface-mount pads have no drill; stacked unequal ones are no problem, equal ones are duplicates.
    Ref c1 = pad(kTop, 50000, 0, 2000, 1000, kRectSmt);
    Ref c2 = pad(kTop, 50000, 0, 2000, 1200, kRectSmt);
    mark(c1);
    mark(c2);
    EXPECT_EQ(drill_holes().size(), 0u);
    node(c2).pad.height = 1000;
    f = drill_holes();
    ASSERT_EQ(f.size(), 1u);
    EXPECT_EQ(f[0].kind, FindingKind::DuplicatePad);
    // On another layer it is no duplicate.
    Ref c3 = pad(kBottom, 50000, 0, 2000, 1000, kRectSmt);
    mark(c3);
    EXPECT_EQ(drill_holes().size(), 0u);
}

TEST_F(NetChecks, ComponentPadIsNeverTheOneDeleted) {
    Ref comp = edit_test::make_component(ring(), "DIP", "U1", model::Point{0, 0});
    Ref member = pad(0, 20000, 20000, 3932, 3932, kOval, 0, model::member_ring(comp));
    model::close_component(comp);
    Ref loose = pad(0, 20000, 20000, 3932, 3932, kOval);
    for (bool plain : {true, false}) {
        s->plain = plain;
        mark(loose);
        mark(member);
        std::vector<Finding> f = drill_holes();
        ASSERT_EQ(f.size(), 1u);
        EXPECT_EQ(f[0].source, member);
        EXPECT_EQ(f[0].target, loose);
        EXPECT_EQ(pads_in_ring(), 0);
        edit::undo(*d, nullptr);
        ASSERT_EQ(pads_in_ring(), 1);
        unmark_all();
        s->undo_number = 0;
    }
}

TEST_F(NetChecks, StopAtFirstFindingStillDeletesIt) {
    Ref a = pad(0, 0, 0, 3932, 3932, kVia);
    Ref b = pad(0, 0, 0, 3932, 3932, kVia);
    Ref c = pad(0, 90000, 0, 3932, 3932, kVia);
    Ref e = pad(0, 90000, 0, 3932, 3932, kVia);
    for (Ref r : {a, b, c, e}) {
        mark(r);
    }
    int calls = 0;
    EXPECT_EQ(nets::check_drill_holes(*s, [&](const Finding&) { return ++calls, false; }), 1);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(pads_in_ring(), 3);
    EXPECT_EQ(s->marked, (std::vector<Ref>{a, c, e}));
}

// --- Generated boards ---------------------------------------------------------------------------

Coord inch(double v) {
    return static_cast<Coord>(v * 65536 + (v < 0 ? -0.5 : 0.5));
}

TEST_F(NetChecks, PlantedClearanceFaultFoundOnce) {
    edit_test::generate_board(ring(), 7, 40);
    // A 0.060 inch round pad and a track of another net ending 0.040 inch from its centre: 0.036 would
    // touch, 0.030 + 0.006 + 0.010 = 0.046 is required.
    Ref victim = pad(0, inch(-1.5), inch(1.5), inch(0.060), inch(0.060), kVia);
    model::AttachSignal(victim, "PLANT");
    Ref lead = track(kTop, inch(-1.5), inch(1.5), inch(-1.5), inch(2.0), inch(0.012));
    model::AttachSignal(lead, "PLANT");
    Ref fault = track(kTop, inch(-1.46), inch(1.5), inch(-1.0), inch(1.5), inch(0.012));
    model::AttachSignal(fault, "N1");
    Clearances c{inch(0.008), inch(0.010), inch(0.024)};
    mark(victim);
    mark(lead);
    std::vector<Finding> f = clearances(c);
    ASSERT_EQ(f.size(), 1u) << text_of(f);
    EXPECT_EQ(f[0].kind, FindingKind::PadToLine);
    EXPECT_EQ(f[0].source, victim);
    EXPECT_EQ(f[0].target, fault);
    EXPECT_EQ(f[0].required, 3014); // 0.046 inch in whole units: (786 + 3932 + 2 * 655) / 2
    EXPECT_EQ(f[0].distance, inch(0.040));
    // Seen from the other net.
    unmark_all();
    mark(fault);
    f = clearances(c);
    ASSERT_EQ(f.size(), 1u) << text_of(f);
    EXPECT_EQ(f[0].kind, FindingKind::LineToPad);
    EXPECT_EQ(f[0].target, victim);
}

// Marks every Item of one Signal (in reverse walk order, so the check must put the sources in order).
void mark_signal(NetChecks& t, Ref signal) {
    std::vector<Ref> items;
    model::walk_tree(t.d->ring(), [&](Ref r, int) {
        if (model::item_signal(r) == signal) {
            items.push_back(r);
        }
    });
    for (auto it = items.rbegin(); it != items.rend(); ++it) {
        t.mark(*it);
    }
}

std::vector<Ref> board_signals(const model::Document& doc) {
    std::vector<Ref> out;
    model::walk_tree(doc.ring(), [&](Ref r, int) {
        Ref sig = model::item_signal(r);
        if (sig != model::kNone && std::find(out.begin(), out.end(), sig) == out.end()) {
            out.push_back(sig);
        }
    });
    return out;
}

TEST_F(NetChecks, GridAgreesWithPlainWalkOnGeneratedBoards) {
    // Clearances wide enough that neighbouring pads and tracks of different nets fail.
    Clearances c{inch(0.030), inch(0.030), inch(0.050)};
    size_t total = 0;
    for (unsigned seed : {1u, 2u, 3u}) {
        fresh();
        edit_test::generate_board(ring(), seed, 40);
        for (Ref sig : board_signals(*d)) {
            mark_signal(*this, sig);
            total += clearances(c).size(); // compares both
            unmark_all();
        }
    }
    EXPECT_GT(total, 20u);
}

TEST_F(NetChecks, DrillCheckGridAgreesWithPlainWalk) {
    // The same board twice (the check deletes): vias stacked, doubled and drilled too near on some nets.
    auto build = [&] {
        edit_test::generate_board(ring(), 4, 30);
        int k = 0;
        for (Ref sig : board_signals(*d)) {
            Coord x = inch(-3) - k * inch(0.3), y = k * inch(0.2);
            Ref v1 = pad(0, x, y, 2621, 2621, kVia);
            Ref v2 = pad(0, x + (k % 3), y, 2621, 2621, kVia);
            node(v2).pad.hole = k % 2 ? 1300 : 1200; // every other one a duplicate
            node(v1).pad.hole = 1200;
            Ref v3 = pad(0, x + 1100 + k % 4 * 60, y, 2621, 2621, kVia);
            node(v3).pad.hole = 1200;
            for (Ref v : {v1, v2, v3}) {
                model::AttachSignal(v, model::signal_name(sig));
            }
            ++k;
        }
    };
    auto run = [&](bool plain) {
        fresh();
        build();
        s->plain = plain;
        std::string out;
        for (Ref sig : board_signals(*d)) {
            mark_signal(*this, sig);
            out += text_of(drill_holes());
            unmark_all();
        }
        return out + std::to_string(pads_in_ring());
    };
    std::string plain = run(true);
    EXPECT_NE(plain.find("\n0 "), std::string::npos); // duplicates
    EXPECT_NE(plain.find("\n1 "), std::string::npos); // interference
    EXPECT_EQ(plain, run(false));
}

} // namespace
