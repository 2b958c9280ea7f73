// The structure changes without the shell: what EK makes of a grab, dissolving Components and moving
// Items into and out of them, Solids built from chains of tracks and taken apart, and the arc over a
// track; each one undo group.
#include <cstdlib>

#include "display/stroke_font.h"
#include "edit/grab.h"
#include "edit/locate.h"
#include "edit/structure_edits.h"
#include "edit/undo.h"
#include "edit_fixture.h"
#include "model/hit_test.h"

namespace edit_test {
namespace {

using edit::KrumpCase;

struct Structure : EditTest {
    edit::GrabList& g = ed.grab;

    bool in_ring(Ref head, Ref item) const {
        for (Ref r : model::items_in(head)) {
            if (r == item) {
                return true;
            }
        }
        return false;
    }
    std::vector<Ref> lines(int width) const {
        std::vector<Ref> v;
        for (Ref r : model::items_in(ring())) {
            if (node(r).item_kind() == model::kLine && node(r).size == width) {
                v.push_back(r);
            }
        }
        return v;
    }
};

// --- Solids ----------------------------------------------------------------------------------------------

TEST_F(Structure, AClosedSquareOfTracksBecomesOneSolid) {
    Ref t1 = track(1, 0, 0, 1000, 0);
    Ref t2 = track(1, 1000, 0, 1000, 1000);
    Ref t3 = track(1, 0, 1000, 1000, 1000); // drawn the other way round
    Ref t4 = track(1, 0, 1000, 2, -1);      // ends 2 units from where the square began
    Ref other_layer = track(2, 1000, 0, 2000, 0);
    Ref apart = track(1, 1004, 1000, 2000, 2000); // 4 units away: not joined
    edit::TrackChain chain = edit::trace_chain(t1);
    EXPECT_TRUE(chain.closed);
    EXPECT_EQ(chain.tracks, (std::vector<Ref>{t1, t2, t3, t4}));
    ASSERT_EQ(chain.outline.size(), 4u);
    EXPECT_TRUE(same(chain.outline[2], Point{1000, 1000}));
    EXPECT_TRUE(same(chain.outline[3], Point{0, 1000}));

    Ref s = edit::build_solid(*d, chain);
    ASSERT_NE(s, model::kNone);
    EXPECT_EQ(node(s).size, 0);
    EXPECT_EQ(node(s).layer, 1);
    EXPECT_EQ(model::vertex_count(s), 4);
    EXPECT_TRUE(same(p1(s), Point{0, 0}));
    EXPECT_TRUE(same(p2(s), Point{1000, 1000}));
    for (Ref t : {t1, t2, t3, t4}) {
        EXPECT_FALSE(in_ring(ring(), t));
    }
    EXPECT_TRUE(in_ring(ring(), other_layer));
    EXPECT_TRUE(in_ring(ring(), apart));
    EXPECT_EQ(edit::undo_groups(*d), 1);
    EXPECT_EQ(edit::undo(*d, nullptr), 1);
    EXPECT_FALSE(in_ring(ring(), s));
    EXPECT_EQ(ring_size(ring()), 6);
    EXPECT_TRUE(same(p2(t4), Point{2, -1}));
}

TEST_F(Structure, AnOpenChainIsFollowedBothWaysAndClosedFromWhatWasFound) {
    Ref left = track(1, 0, 1000, 0, 0);
    Ref bottom = track(1, 0, 0, 1000, 0);
    Ref right = track(1, 1000, 0, 1000, 1000);
    edit::TrackChain chain = edit::trace_chain(bottom);
    EXPECT_FALSE(chain.closed);
    EXPECT_EQ(chain.tracks, (std::vector<Ref>{bottom, right, left}));
    ASSERT_EQ(chain.outline.size(), 4u);
    EXPECT_TRUE(same(chain.outline[0], Point{0, 1000}));
    EXPECT_TRUE(same(chain.outline[3], Point{1000, 1000}));
    Ref s = edit::build_solid(*d, chain);
    ASSERT_NE(s, model::kNone);
    EXPECT_EQ(model::vertex_count(s), 4);
    EXPECT_EQ(ring_size(ring()), 1);

    // One track alone makes no outline: nothing happens.
    Ref lone = track(1, 5000, 5000, 6000, 5000);
    edit::TrackChain one = edit::trace_chain(lone);
    EXPECT_EQ(one.outline.size(), 2u);
    EXPECT_EQ(edit::build_solid(*d, one), model::kNone);
    EXPECT_TRUE(in_ring(ring(), lone));
    EXPECT_EQ(edit::undo_groups(*d), 1);
}

TEST_F(Structure, ASolidDissolvesIntoTracksOfWidth65) {
    Ref s = solid(3, {{0, 0}, {1000, 0}, {0, 1000}});
    EXPECT_EQ(edit::dissolve_solid(*d, s), 3);
    EXPECT_FALSE(in_ring(ring(), s));
    std::vector<Ref> edges = lines(edit::kSolidEdgeWidth);
    ASSERT_EQ(edges.size(), 3u);
    for (Ref e : edges) {
        EXPECT_EQ(node(e).layer, 3);
    }
    EXPECT_TRUE(same(p1(edges[0]), Point{0, 0}) && same(p2(edges[0]), Point{1000, 0}));
    EXPECT_TRUE(same(p1(edges[1]), Point{1000, 0}) && same(p2(edges[1]), Point{0, 1000}));
    EXPECT_TRUE(same(p1(edges[2]), Point{0, 1000}) && same(p2(edges[2]), Point{0, 0}));
    EXPECT_EQ(edit::undo_groups(*d), 1);
    edit::undo(*d, nullptr);
    EXPECT_TRUE(in_ring(ring(), s));
    EXPECT_EQ(model::vertex_count(s), 3);
    EXPECT_TRUE(lines(edit::kSolidEdgeWidth).empty());
}

// --- What EK makes of the grab -------------------------------------------------------------------------

struct Krump : Structure {
    Ref c = 0, pad_member = 0, line_member = 0, attached = 0;

    void SetUp() override {
        Structure::SetUp();
        c = component("U1", 5000, 5000);
        pad_member = pad(0, 6000, 5000, 100, 100, kOvalThru, members(c));
        line_member = track(3, 5500, 5500, 6500, 5500, 100, members(c));
        close(c);
        attached = track(1, 6000, 5000, 9000, 5000);
    }
    KrumpCase plan() const {
        return edit::plan_krump(g).what;
    }
};

// Grabs of the Grab functions; the shell's tests take the boxes of the refused ones.
TEST_F(Krump, EachKindOfGrabHasItsCase) {
    EXPECT_EQ(plan(), KrumpCase::Nothing);
    Ref inner = model::make_component(members(c), 0, 0, std::string("SUB\x7F") + "X1");
    pad(1, 5200, 5200, 50, 50, kRectSmt, members(inner));
    close(inner);
    close(c);
    edit::begin_grab(g, *d, Point{5000, 5000}, 0);
    edit::grab_component(g, c, Point{5000, 5000}, false, 10); // GO: the Component alone, nesting and all
    EXPECT_EQ(plan(), KrumpCase::Dissolve);
    EXPECT_EQ(edit::plan_krump(g).item, c);
    edit::abandon(g, disp);
    edit::begin_grab(g, *d, Point{5000, 5000}, 0);
    edit::grab_component(g, c, Point{5000, 5000}, true, 10); // GC: the track on its pad comes along
    EXPECT_EQ(plan(), KrumpCase::AttachedItems);
    edit::abandon(g, disp);

    edit::begin_grab(g, *d, Point{5000, 5000}, 0);
    ASSERT_EQ(edit::grab_item_at(g, 0, Point{5000, 5000}), c); // GI on the insertion point
    EXPECT_EQ(plan(), KrumpCase::Dissolve);
    EXPECT_EQ(edit::plan_krump(g).item, c);
    edit::abandon(g, disp);

    edit::begin_grab(g, *d, Point{6000, 5500}, 0);
    ASSERT_EQ(edit::grab_item_at(g, 3, Point{6000, 5500}), line_member); // the other members shown only
    EXPECT_EQ(plan(), KrumpCase::MoveItem);
    edit::add_entry(g, attached, edit::kGrabWhole);
    EXPECT_EQ(plan(), KrumpCase::SeveralItems);
    EXPECT_EQ(edit::grabbed_line(g), model::kNone);
    edit::abandon(g, disp);

    // A Solid is one Item whatever its vertices.
    Ref s = solid(1, {{0, 0}, {100, 0}, {0, 100}});
    edit::begin_grab(g, *d, Point{10, 10}, 0);
    edit::add_entry(g, s, edit::kGrabWhole);
    EXPECT_EQ(plan(), KrumpCase::MoveItem);
    EXPECT_EQ(edit::grabbed_line(g), s);
    EXPECT_FALSE(edit::grab_changed(g));
    g.at = Point{20, 10};
    EXPECT_TRUE(edit::grab_changed(g));
    edit::abandon(g, disp);
    EXPECT_EQ(edit::krump_status(arc(1, 0, 0, 10, 0, 0), true), "Arc added to component.");
    EXPECT_EQ(edit::krump_status(text(1, 0, 0, 10, 10), false), "Text removed from component.");
}

TEST_F(Krump, DissolvingGivesIndependentTopLevelCopiesInOneGroup) {
    Ref label = text(3, 5000, 5600, 300, 1, 0, 0, members(c));
    model::SetText(label, "&1");
    Ref inner = model::make_component(members(c), 0, 0, std::string("SUB\x7F") + "X1");
    pad(1, 7000, 7000, 50, 50, kRectSmt, members(inner));
    close(inner);
    close(c);
    Ref other = component("R1", 0, 0);
    pad(1, 0, 0, 50, 50, kRectSmt, members(other));
    close(other);
    int top_before = ring_size(ring());

    EXPECT_EQ(edit::dissolve_component(*d, c), 4);
    EXPECT_FALSE(in_ring(ring(), c));
    EXPECT_EQ(ring_size(ring()), top_before - 1 + 4);
    int lines = 0, pads = 0, texts = 0, comps = 0;
    for (Ref r : model::items_in(ring())) {
        EXPECT_NE(r, pad_member);
        EXPECT_NE(r, line_member);
        switch (node(r).item_kind()) {
        case model::kLine:
            lines += node(r).layer == 3;
            break;
        case model::kPad:
            ++pads;
            break;
        case model::kText:
            ++texts;
            // Out of its Component the Text shows "&1" itself, measured so.
            EXPECT_EQ(model::resolved_text(r), "&1");
            {
                Coord was = node(r).text.length;
                display::measure_text_item(r);
                EXPECT_EQ(node(r).text.length, was);
            }
            break;
        case model::kComponent:
            ++comps;
            break;
        default:
            break;
        }
    }
    EXPECT_EQ(lines, 1);
    EXPECT_EQ(pads, 1);
    EXPECT_EQ(texts, 1);
    EXPECT_EQ(comps, 2); // the nested one, now beside R1
    EXPECT_EQ(edit::undo_groups(*d), 1);
    edit::undo(*d, nullptr);
    EXPECT_TRUE(in_ring(ring(), c));
    EXPECT_EQ(ring_size(ring()), top_before);
    EXPECT_EQ(ring_size(members(c)), 4);
    EXPECT_TRUE(in_ring(members(c), pad_member));
}

// --- The arc over a track ----------------------------------------------------------------------------

TEST_F(Structure, TheArcHangsAndItsDropReplacesTheTrackInOneGroup) {
    Ref t = track(2, 1000, 1000, 5000, 4000, 300);
    model::AttachSignal(t, "CLK");
    Ref a = edit::hang_arc_over(g, disp, *d, t, 0x4552);
    ASSERT_NE(a, model::kNone);
    EXPECT_TRUE(same(g.ref, Point{3000, 2500}));
    EXPECT_TRUE(edit::find_entry(g, t)->drop_delete());
    // Put back: the track is as it was and the arc is gone.
    edit::abandon(g, disp);
    EXPECT_FALSE(node(t).hidden());
    EXPECT_EQ(ring_size(ring()), 1);
    EXPECT_FALSE(edit::has_undo(*d));

    a = edit::hang_arc_over(g, disp, *d, t, 0x4552);
    ASSERT_NE(a, model::kNone);
    EXPECT_EQ(edit::drop(g, disp), 1);
    EXPECT_FALSE(in_ring(ring(), t));
    ASSERT_TRUE(in_ring(ring(), a));
    const Node& n = node(a);
    EXPECT_EQ(n.layer, 2);
    EXPECT_EQ(n.size, 300);
    EXPECT_EQ(n.arc.radius, 2500);
    EXPECT_EQ(n.arc.sweep, 0x8000);
    EXPECT_EQ(model::signal_name(model::item_signal(a)), "CLK");
    // From the track's second end round to its first.
    Point s = model::arc_point(n, n.arc.start, edit::turn_of);
    Point e = model::arc_point(n, static_cast<model::Angle>(n.arc.start + n.arc.sweep), edit::turn_of);
    EXPECT_LE(std::abs(s.x - 5000) + std::abs(s.y - 4000), 8);
    EXPECT_LE(std::abs(e.x - 1000) + std::abs(e.y - 1000), 8);
    EXPECT_EQ(edit::undo_groups(*d), 1);
    edit::undo(*d, nullptr);
    EXPECT_TRUE(in_ring(ring(), t));
    EXPECT_FALSE(in_ring(ring(), a));

    // A track of no length makes no arc.
    Ref dot = track(1, 100, 100, 100, 100);
    EXPECT_EQ(edit::hang_arc_over(g, disp, *d, dot, 0x4552), model::kNone);
    EXPECT_TRUE(g.empty());
}

} // namespace
} // namespace edit_test
