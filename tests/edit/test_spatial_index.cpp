// The spatial index against the plain ring walk: on a generated board, at random points near Items and
// anywhere, every locator gives the same answer both ways, also while a grab hangs (its Items Hidden),
// after drops that the index followed itself, and after an undo that made it build again.
#include <random>

#include "board_build.h"
#include "edit/commands.h"
#include "edit/grab.h"
#include "edit/locate.h"
#include "edit/spatial_index.h"
#include "edit/undo.h"
#include "platform/headless.h"

namespace edit_test {
namespace {

using model::Node;

struct IndexOracle : ::testing::Test {
    model::Model m;
    platform::Headless ui;
    display::Display disp;
    edit::Editor ed;
    model::Document* d = nullptr;
    std::mt19937 rng{99};

    void SetUp() override {
        platform::install(&ui);
        d = model::NewDocument("oracle.pcb");
        ASSERT_NE(d, nullptr);
        apply_board_setup();
        generate_board(d->ring(), 3, 20);
        // A hidden layer and a nested Component, so those rules are crossed too.
        model::set_layer_colour(d->setup.layers[kBottomSilk], model::kNoColour);
        Ref outer = make_component(d->ring(), "OUT", "X1", Point{-30000, -30000});
        Ref inner = make_component(model::member_ring(outer), "IN", "X2", Point{-30000, -30000});
        make_text(model::member_ring(inner), kTopSilk, -30000, -30000, 3000, "IN");
        make_pad(model::member_ring(inner), kTop, -30000, -30000, 2000, 2000, 6);
        model::close_component(inner);
        make_text(model::member_ring(outer), kTop, -30000, -30000, 3000, "OUT");
        make_track(model::member_ring(outer), kTop, -32000, -30000, -28000, -30000);
        model::close_component(outer);
        ed.grab.spatial = &ed.index;
    }
    void TearDown() override {
        platform::install(nullptr);
    }
    int pick(int below) {
        return static_cast<int>(rng() % static_cast<unsigned>(below));
    }
    std::vector<Point> points(int n) {
        std::vector<Point> anchors;
        model::walk_tree(d->ring(), [&](Ref r, int) {
            const Node& x = node(r);
            switch (x.item_kind()) {
            case model::kLine:
                anchors.push_back(Point{x.line.x1, x.line.y1});
                anchors.push_back(Point{x.line.x2, x.line.y2});
                break;
            case model::kPad:
                anchors.push_back(Point{x.pad.x0, x.pad.y0});
                break;
            case model::kText:
                anchors.push_back(Point{x.text.x0, x.text.y0});
                break;
            case model::kArc:
                anchors.push_back(Point{x.arc.x0 + x.arc.radius, x.arc.y0});
                break;
            default:
                break;
            }
        });
        std::vector<Point> out;
        for (int i = 0; i < n; ++i) {
            if (pick(5) == 0) {
                out.push_back(Point{pick(500000) - 100000, pick(300000) - 100000});
            } else {
                Point a = anchors[static_cast<size_t>(pick(static_cast<int>(anchors.size())))];
                int j = pick(3) == 0 ? 40 : 4000;
                out.push_back(Point{a.x + pick(2 * j + 1) - j, a.y + pick(2 * j + 1) - j});
            }
        }
        return out;
    }
    // Every locator at every point on a few layers and tolerances, plain and indexed.
    void same_answers(int n) {
        ed.index.sync(*d);
        ASSERT_TRUE(ed.index.covers(*d));
        const edit::SpatialIndex* ix = &ed.index;
        for (Point p : points(n)) {
            for (int layer : {0, kTopSilk, kTop, kBottom, kBottomSilk}) {
                for (Coord tol : {0, 9, 131, 3000}) {
                    edit::LineHit a = edit::FindLineAt(*d, layer, p, tol), b = edit::FindLineAt(*d, layer, p, tol, ix);
                    ASSERT_EQ(a.item, b.item) << p.x << "," << p.y << " layer " << layer << " tol " << tol;
                    ASSERT_EQ(a.where, b.where);
                    ASSERT_EQ(edit::FindArcAt(*d, layer, p, tol), edit::FindArcAt(*d, layer, p, tol, ix));
                    ASSERT_EQ(edit::FindPadAt(*d, layer, p, tol), edit::FindPadAt(*d, layer, p, tol, ix));
                    ASSERT_EQ(edit::FindSolidAt(*d, layer, p, tol), edit::FindSolidAt(*d, layer, p, tol, ix));
                }
                ASSERT_EQ(edit::FindTextAt(*d, layer, p), edit::FindTextAt(*d, layer, p, ix))
                    << p.x << "," << p.y << " layer " << layer;
                ASSERT_EQ(edit::FindComponentAt(*d, layer, p), edit::FindComponentAt(*d, layer, p, ix));
                for (bool wide : {false, true}) {
                    edit::VertexHit a = edit::find_vertex_at(*d, layer, p, wide);
                    edit::VertexHit b = edit::find_vertex_at(*d, layer, p, wide, ix);
                    ASSERT_EQ(a.item, b.item) << p.x << "," << p.y << " layer " << layer;
                    ASSERT_EQ(a.end, b.end);
                }
            }
        }
    }
};

TEST_F(IndexOracle, GivesThePlainWalksAnswersAtRandomPoints) {
    same_answers(400);
}

TEST_F(IndexOracle, FollowsGrabsDropsAndAbandonsAndRebuildsAfterUndo) {
    for (int round = 0; round < 40; ++round) {
        ed.index.sync(*d);
        // A track grabbed with what is joined at its ends (pads pull new tracks out), or a Component
        // with its tracks, moved and maybe turned.
        std::vector<Ref> tracks, comps;
        model::walk_tree(d->ring(), [&](Ref r, int depth) {
            if (depth == 0 && node(r).item_kind() == model::kLine && node(r).size != 0) {
                tracks.push_back(r);
            } else if (depth == 0 && node(r).item_kind() == model::kComponent) {
                comps.push_back(r);
            }
        });
        edit::GrabList& g = ed.grab;
        if (pick(2) == 0 && !tracks.empty()) {
            Ref t = tracks[static_cast<size_t>(pick(static_cast<int>(tracks.size())))];
            Point e1{node(t).line.x1, node(t).line.y1}, e2{node(t).line.x2, node(t).line.y2};
            edit::begin_grab(g, *d, e1, 0x474C);
            edit::add_entry(g, t, edit::kGrabWhole);
            edit::grab_point(g, e1, 800);
            edit::grab_point(g, e2, 800);
        } else {
            Ref c = comps[static_cast<size_t>(pick(static_cast<int>(comps.size())))];
            Point at{node(c).box.x1, node(c).box.y1};
            edit::begin_grab(g, *d, at, 0x4743);
            edit::grab_component(g, c, at, true, 10);
        }
        g.building = false;
        if (pick(2) == 0) {
            edit::transform_grab(g, disp, edit::Transform::Rotate90);
        }
        edit::move_grab(g, disp, Point{g.ref.x + pick(60001) - 30000, g.ref.y + pick(60001) - 30000}, 0);
        // While it hangs its Items are Hidden and a pulled track is new: both ways agree.
        ASSERT_TRUE(ed.index.covers(*d));
        same_answers(15);
        if (pick(4) == 0) {
            edit::abandon(g, disp);
        } else {
            edit::drop(g, disp);
        }
        // The index kept up with the drop by itself.
        ASSERT_TRUE(ed.index.covers(*d)) << round;
        same_answers(15);
        if (pick(5) == 0) {
            edit::undo(*d, nullptr);
            EXPECT_FALSE(ed.index.covers(*d));
            same_answers(15);
        }
    }
    // A change made without records, announced: the index builds again.
    ed.index.sync(*d);
    model::walk_tree(d->ring(), [&](Ref r, int) {
        if (node(r).item_kind() == model::kPad) {
            node(r).pad.x0 += 50000;
        }
    });
    edit::items_changed(*d);
    EXPECT_FALSE(ed.index.covers(*d));
    same_answers(100);
}

} // namespace
} // namespace edit_test
