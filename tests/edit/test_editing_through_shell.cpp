// The Grab and Un-do groups end to end: a board file loaded by the headless shell and edited by keystroke
// macros played through the real key handler (typed coordinates move the cursor, Enter clicks, Esc cancels).
#include <functional>

#include "board_build.h"
#include "edit/commands.h"
#include "edit/grab.h"
#include "edit/undo.h"
#include "shell/macro_session.h"

namespace edit_test {
namespace {

using shell_test::kInch;

bool is_at(Point p, Coord x, Coord y) {
    return p.x == x && p.y == y;
}

struct EditingThroughTheShell : shell_test::MacroSession {
    EditingThroughTheShell() {
        settle_ticks = 8;
    }
    // Typed coordinates go exactly where they say.
    void load(const std::function<void(Ref)>& build) {
        start({{"board.pcb", build}}, 0);
    }
    Ref ring() {
        return doc().ring();
    }
    // The top-level Line with this first end, or kNone.
    Ref line_from(Coord x, Coord y) {
        Ref found = model::kNone;
        model::for_each_item(ring(), [&](Ref r) {
            const model::Node& n = node(r);
            if (found == model::kNone && n.item_kind() == model::kLine && n.line.x1 == x && n.line.y1 == y) {
                found = r;
            }
        });
        return found;
    }
    Ref first_of_kind(uint8_t kind) {
        Ref found = model::kNone;
        model::for_each_item(ring(), [&](Ref r) {
            if (found == model::kNone && node(r).item_kind() == kind) {
                found = r;
            }
        });
        return found;
    }
    int items() {
        int n = 0;
        model::walk_tree(ring(), [&](Ref, int) { ++n; });
        return n;
    }
};

Point p1(Ref l) {
    return Point{node(l).line.x1, node(l).line.y1};
}
Point p2(Ref l) {
    return Point{node(l).line.x2, node(l).line.y2};
}

// Three joined top tracks and a bottom track at the same corner.
void joined_tracks(Ref ring) {
    make_track(ring, kTop, kInch, kInch, 2 * kInch, kInch);             // the one grabbed
    make_track(ring, kTop, kInch, 2 * kInch, kInch, kInch);             // its second end on the left end
    make_track(ring, kTop, 2 * kInch, kInch, 3 * kInch, kInch * 3 / 2); // its first end on the right end
    make_track(ring, kBottom, 2 * kInch, 0, 2 * kInch, kInch);          // other side: stays
}

TEST_F(EditingThroughTheShell, GrabLineStretchesBothJoinedTracksAndUndoPutsThemBack) {
    load(joined_tracks);
    Ref grabbed = line_from(kInch, kInch), left = line_from(kInch, 2 * kInch);
    Ref right = line_from(2 * kInch, kInch), bottom = line_from(2 * kInch, 0);
    ASSERT_NE(grabbed, model::kNone);
    ASSERT_NE(left, model::kNone);
    ASSERT_NE(right, model::kNone);
    ASSERT_NE(bottom, model::kNone);
    std::string before = item_lines(data_file_text());

    play("\"1.5,1\" Enter <GL> \"1.5,1.25\" Enter Enter");
    EXPECT_TRUE(is_at(p1(grabbed), kInch, kInch * 5 / 4));
    EXPECT_TRUE(is_at(p2(grabbed), 2 * kInch, kInch * 5 / 4));
    EXPECT_TRUE(is_at(p2(left), kInch, kInch * 5 / 4));
    EXPECT_TRUE(is_at(p1(left), kInch, 2 * kInch));
    EXPECT_TRUE(is_at(p1(right), 2 * kInch, kInch * 5 / 4));
    EXPECT_TRUE(is_at(p2(right), 3 * kInch, kInch * 3 / 2));
    EXPECT_TRUE(is_at(p2(bottom), 2 * kInch, kInch));
    EXPECT_EQ(doc().setup.current_layer, kTop); // the track's layer became current
    EXPECT_TRUE(doc().modified());
    EXPECT_FALSE(edit::grab_pending(run->app));
    EXPECT_EQ(edit::undo_groups(doc()), 1);

    // One undo restores all three; one redo moves all three again.
    play("<UU>");
    EXPECT_EQ(item_lines(data_file_text()), before);
    play("<UE>");
    EXPECT_TRUE(is_at(p2(left), kInch, kInch * 5 / 4));
    EXPECT_TRUE(is_at(p1(right), 2 * kInch, kInch * 5 / 4));
}

TEST_F(EditingThroughTheShell, EscapeAndRightClickAbandonWithEverythingRestored) {
    load([](Ref ring) {
        joined_tracks(ring);
        // A Component pad at the end of a track: grabbing that track pulls a new track out of the pad.
        Ref c = make_component(ring, "TP", "TP1", Point{4 * kInch, kInch});
        make_pad(model::member_ring(c), 0, 4 * kInch, kInch, 4000, 4000, 1);
        model::close_component(c);
        make_track(ring, kTop, 4 * kInch, kInch, 5 * kInch, kInch);
    });
    std::string before = item_lines(data_file_text());
    int count = items();

    play("\"1.5,1\" Enter <GL> \"1.5,1.5\" Enter");
    ASSERT_TRUE(edit::grab_pending(run->app));
    Ref grabbed = line_from(kInch, kInch);
    EXPECT_TRUE(node(grabbed).hidden()); // held: the display draws its copy
    play("Esc");
    EXPECT_FALSE(edit::grab_pending(run->app));
    EXPECT_FALSE(node(grabbed).hidden());
    EXPECT_EQ(item_lines(data_file_text()), before);

    // The pad's new track exists while the grab hangs and is gone after the right click.
    play("\"4.5,1\" Enter <GL> \"4.5,1.5\" Enter");
    ASSERT_TRUE(edit::grab_pending(run->app));
    EXPECT_EQ(items(), count + 1);
    run->click(shell::Button::Right);
    EXPECT_FALSE(edit::grab_pending(run->app));
    EXPECT_EQ(items(), count);
    EXPECT_EQ(item_lines(data_file_text()), before);
    EXPECT_FALSE(edit::has_undo(doc()));
    // Nothing to undo: the beep, no change.
    size_t s = sounds();
    play("<UU>");
    EXPECT_GT(sounds(), s);
    EXPECT_EQ(item_lines(data_file_text()), before);
}

TEST_F(EditingThroughTheShell, GrabVertexAtAViaCentreDragsTheViaWithEveryTrackEnd) {
    load([](Ref ring) {
        make_pad(ring, 0, kInch, kInch, 3000, 3000, 3);
        make_track(ring, kTop, kInch, kInch, 2 * kInch, kInch);
        make_track(ring, kBottom, 0, kInch, kInch + 2, kInch - 3); // within 4 units of the centre
        make_track(ring, kBottom, kInch, 0, kInch, kInch);
        make_track(ring, kTop, kInch + 4, kInch, kInch + 4, 2 * kInch); // 4 units off: not on the via
    });
    Ref top = line_from(kInch, kInch), side = line_from(0, kInch), below = line_from(kInch, 0);
    Ref apart = line_from(kInch + 4, kInch);
    Ref via = first_of_kind(model::kPad);
    Point side_end = p2(side); // a few units off the centre, as the file keeps it
    ASSERT_LT(std::abs(side_end.x - kInch) + std::abs(side_end.y - kInch), 8);
    play("\"1,1\" Enter <GE> \"1.25,1.5\" Enter Enter");
    EXPECT_EQ(node(via).pad.x0, kInch * 5 / 4);
    EXPECT_EQ(node(via).pad.y0, kInch * 3 / 2);
    Coord dx = kInch / 4, dy = kInch / 2;
    EXPECT_TRUE(is_at(p1(top), kInch + dx, kInch + dy));
    EXPECT_TRUE(is_at(p2(top), 2 * kInch, kInch));
    EXPECT_TRUE(is_at(p2(side), side_end.x + dx, side_end.y + dy));
    EXPECT_TRUE(is_at(p1(side), 0, kInch));
    EXPECT_TRUE(is_at(p2(below), kInch + dx, kInch + dy));
    EXPECT_TRUE(is_at(p1(apart), kInch + 4, kInch));
    EXPECT_EQ(edit::undo_groups(doc()), 1);
}

// U1: two through-hole pads and a surface pad, with a silk outline, a text and an arc.  Its tracks: pad 1
// to a loose end far away (stretches), pad 2 to pad 1 (moves whole), pad 1 down to a fan-out via 0.05 inch
// below the box with one bottom track going on (the via follows, the bottom track stretches), and the
// surface pad to a via far away (stretches).
constexpr Coord kU1x = 2 * kInch, kU1y = 2 * kInch;

void component_board(Ref ring) {
    Ref c = make_component(ring, "DIP", "U1", Point{kU1x, kU1y});
    Ref m = model::member_ring(c);
    make_pad(m, 0, kU1x, kU1y, 4000, 4000, 2);
    make_pad(m, 0, kU1x + kInch / 2, kU1y, 4000, 4000, 1);
    make_pad(m, kTop, kU1x + kInch, kU1y, 3000, 2000, 6);
    make_track(m, kTopSilk, kU1x - 4096, kU1y - 4096, kU1x + kInch + 4096, kU1y - 4096, 500);
    make_track(m, kTopSilk, kU1x - 4096, kU1y + 4096, kU1x + kInch + 4096, kU1y + 4096, 500);
    make_text(m, kTopSilk, kU1x, kU1y + 6000, 3000, "&1", 1, 16384);
    Ref a = model::MakeItem(m, model::kArc, kTopSilk, 500, kU1x - 6000, kU1y, 1000, 0);
    node(a).arc.start = 1000;
    node(a).arc.sweep = 30000;
    model::close_component(c); // box y from kU1y - 4346 to kU1y + 4346 or above
    make_track(ring, kTop, kU1x, kU1y, kU1x, kU1y + 3 * kInch);           // loose
    make_track(ring, kTop, kU1x + kInch / 2, kU1y, kU1x, kU1y);           // pad to pad
    Coord via_y = kU1y - 4346 - 3277;                                     // 0.05 inch below the box
    make_track(ring, kTop, kU1x, kU1y, kU1x, via_y);                      // to the fan-out via
    make_pad(ring, 0, kU1x, via_y, 2600, 2600, 3);                        // the via
    make_track(ring, kBottom, kU1x, via_y, kU1x - 2 * kInch, via_y);      // on along the bottom
    make_track(ring, kTop, kU1x + kInch, kU1y, kU1x + 2 * kInch, kU1y);   // surface pad to far away
    make_text(ring, kTopSilk, 0, 0, 4000, "BOARD", 0, 0);
}

TEST_F(EditingThroughTheShell, GrabComponentCarriesItsTracksAndAFanOutVia) {
    load(component_board);
    Ref comp = first_of_kind(model::kComponent);
    Ref loose = line_from(kU1x, kU1y);
    // Two tracks start at pad 1: the loose one is first in the ring.
    Ref pad_to_pad = line_from(kU1x + kInch / 2, kU1y);
    Ref onward = model::kNone, fan = model::kNone, far = line_from(kU1x + kInch, kU1y);
    model::for_each_item(ring(), [&](Ref r) {
        const model::Node& n = node(r);
        if (n.item_kind() == model::kLine && n.layer == kBottom) {
            onward = r;
        }
        if (n.item_kind() == model::kLine && n.layer == kTop && n.line.x1 == kU1x && n.line.y2 < kU1y) {
            fan = r;
        }
    });
    ASSERT_NE(fan, model::kNone);
    Ref via = model::kNone;
    model::for_each_item(ring(), [&](Ref r) {
        if (node(r).item_kind() == model::kPad) {
            via = r;
        }
    });
    Coord via_y = node(via).pad.y0;
    Coord c_x1 = node(comp).box.x1;
    Point ins{node(model::member_ring(comp)).box.x1, node(model::member_ring(comp)).box.y1};

    // Picked inside its box, dropped 0.5 inch right and 0.25 inch up.
    play("\"2.25,2\" Enter <GC> \"2.75,2.25\" Enter Enter");
    Coord dx = kInch / 2, dy = kInch / 4;
    EXPECT_EQ(node(comp).box.x1, c_x1 + dx);
    EXPECT_TRUE(is_at(Point{node(model::member_ring(comp)).box.x1, node(model::member_ring(comp)).box.y1}, ins.x + dx,
                      ins.y + dy));
    EXPECT_TRUE(is_at(p1(loose), kU1x + dx, kU1y + dy)); // stretched
    EXPECT_TRUE(is_at(p2(loose), kU1x, kU1y + 3 * kInch));
    EXPECT_TRUE(is_at(p1(pad_to_pad), kU1x + kInch / 2 + dx, kU1y + dy)); // moved whole
    EXPECT_TRUE(is_at(p2(pad_to_pad), kU1x + dx, kU1y + dy));
    EXPECT_TRUE(is_at(p2(fan), kU1x + dx, via_y + dy)); // the fan-out track moved whole
    EXPECT_EQ(node(via).pad.x0, kU1x + dx);             // and its via with it
    EXPECT_EQ(node(via).pad.y0, via_y + dy);
    EXPECT_TRUE(is_at(p1(onward), kU1x + dx, via_y + dy)); // the bottom track stretches from the via
    EXPECT_TRUE(is_at(p2(onward), kU1x - 2 * kInch, via_y));
    EXPECT_TRUE(is_at(p1(far), kU1x + kInch + dx, kU1y + dy));
    EXPECT_TRUE(is_at(p2(far), kU1x + 2 * kInch, kU1y));
    // Every member moved.
    model::for_each_item(model::member_ring(comp), [&](Ref m) {
        if (node(m).item_kind() == model::kPad) {
            EXPECT_EQ(node(m).pad.y0, kU1y + dy);
        }
    });
    EXPECT_EQ(edit::undo_groups(doc()), 1);
}

TEST_F(EditingThroughTheShell, FourQuarterTurnsReturnEveryCoordinateExactly) {
    load(component_board);
    std::string before = item_lines(data_file_text());
    Ref comp = first_of_kind(model::kComponent);
    Ref loose = line_from(kU1x, kU1y);

    // One quarter turn about the pick point (2.25, 2): pad 1 at (2, 2) goes to (2.25, 1.75).
    play("\"2.25,2\" Enter <GC> \"r\" Enter");
    EXPECT_FALSE(edit::grab_pending(run->app));
    Ref pad1 = model::kNone;
    model::for_each_item(model::member_ring(comp), [&](Ref m) {
        if (pad1 == model::kNone && node(m).item_kind() == model::kPad) {
            pad1 = m;
        }
    });
    EXPECT_EQ(node(pad1).pad.x0, kU1x + kInch / 4);
    EXPECT_EQ(node(pad1).pad.y0, kU1y - kInch / 4);
    EXPECT_EQ(node(pad1).pad.angle, 16384);
    EXPECT_EQ(node(comp).size, 16384); // the Component's angle
    EXPECT_TRUE(is_at(p1(loose), kU1x + kInch / 4, kU1y - kInch / 4));
    play("<UU>");
    EXPECT_EQ(item_lines(data_file_text()), before);

    // Four turns and a drop in place: the file is as it was, byte for byte.
    play("\"2.25,2\" Enter <GC> \"rrrr\" Enter");
    EXPECT_FALSE(edit::grab_pending(run->app));
    EXPECT_EQ(edit::undo_groups(doc()), 1);
    EXPECT_EQ(item_lines(data_file_text()), before);
    // The same with the Items that turn on their own: a Text, an Arc and a track grabbed one by one.
    play("\"0.05,0.02\" Enter <GT> \"rrrr\" Enter");
    play("\"2,3\" Enter <GL> \"rrrr\" Enter");
    EXPECT_EQ(edit::undo_groups(doc()), 3);
    EXPECT_EQ(item_lines(data_file_text()), before);
}

TEST_F(EditingThroughTheShell, TransformsWithoutAGrabOnlyReport) {
    load(joined_tracks);
    std::string before = item_lines(data_file_text());
    play("\"1.5,1\" Enter \"r\"");
    EXPECT_EQ(run->app.shell.status.text.find("Nothing to rotate"), 0u) << run->app.shell.status.text;
    play("\"x\"");
    EXPECT_EQ(run->app.shell.status.text.find("Nothing to mirror"), 0u) << run->app.shell.status.text;
    EXPECT_EQ(item_lines(data_file_text()), before);
}

} // namespace
} // namespace edit_test
