// The Edit functions' engine: the pattern compares, the connected-track walk (with the index and with the
// plain walk as its oracle), all alike with the Block side, the text anchor offsets worked by hand, the
// pad scopes, component fields and typed text, each change undone in one group.
#include <algorithm>
#include <set>

#include "board_build.h"
#include "display/stroke_font.h"
#include "edit/locate.h"
#include "edit/edit_items.h"
#include "edit/undo.h"
#include "edit_fixture.h"
#include "model/hit_test.h"

namespace edit_test {
namespace {

using edit::EditScope;

std::set<Ref> as_set(const std::vector<Ref>& v) {
    return std::set<Ref>(v.begin(), v.end());
}

struct EditItems : EditTest {
    std::string items() {
        return item_lines(data_file_text());
    }
    // A Text whose measured length is known by hand: the fixed-pitch form takes 6 steps a character, so
    // "AB" at height 6000 is 6000 x (12 - 2) / 6 = 10000 long.
    Ref fixed_text(int layer, Coord x, Coord y, const char* s, uint8_t anchor, model::Angle angle,
                   Ref where = model::kNone) {
        Ref t = text(layer, x, y, 6000, 1, anchor, angle, where);
        node(t).text.anchor_font = static_cast<uint8_t>(anchor | display::kFixedPitch << 4);
        model::SetText(t, s);
        display::measure_text_item(t);
        return t;
    }
};

TEST(EditPatterns, FieldCompareFollowsTheFindComponentRules) {
    using edit::field_matches;
    // Empty and blank-led patterns match anything.
    EXPECT_TRUE(field_matches("", "R12"));
    EXPECT_TRUE(field_matches(" X", "R12"));
    // Case ignored; the field must end where the pattern ends.
    EXPECT_TRUE(field_matches("r12", "R12"));
    EXPECT_FALSE(field_matches("R1", "R12"));
    EXPECT_FALSE(field_matches("R123", "R12"));
    // "?" one character; "*" and a character skip to where that character stands; a final "*" the rest.
    EXPECT_TRUE(field_matches("R?2", "R12"));
    EXPECT_FALSE(field_matches("R?", "R12"));
    EXPECT_TRUE(field_matches("*2", "R12"));
    EXPECT_TRUE(field_matches("U*", "U7A"));
    EXPECT_TRUE(field_matches("*-B", "C1-B"));
    EXPECT_FALSE(field_matches("*Z", "R12"));
}

TEST(EditPatterns, TextCompareWholeInBracketsElseAnywhere) {
    using edit::text_matches;
    EXPECT_TRUE(text_matches("<R1>", "r1"));
    EXPECT_FALSE(text_matches("<R1>", "R10"));
    EXPECT_TRUE(text_matches("<R?>", "R7"));
    EXPECT_TRUE(text_matches("<R*>", "R77"));
    EXPECT_TRUE(text_matches("R1", "R10"));
    EXPECT_TRUE(text_matches("R1", "xR1y"));
    // Found wherever it stands, not only after the first place its first character stands.
    EXPECT_TRUE(text_matches("AB", "AAB"));
    EXPECT_TRUE(text_matches("1?3", "x123"));
    EXPECT_FALSE(text_matches("AB", "BA"));
    EXPECT_FALSE(text_matches("Q", ""));
}

TEST_F(EditItems, FindTextFirstAndNextInItemListOrderWithMembers) {
    Ref r1 = text(3, 0, 0, 1000, 2000);
    model::SetText(r1, "R1");
    Ref c1 = text(3, 0, 0, 1000, 2000);
    model::SetText(c1, "C1");
    Ref comp = component("U1");
    Ref r10 = text(3, 0, 0, 1000, 2000, 0, 0, members(comp));
    model::SetText(r10, "R10");
    close(comp);
    EXPECT_EQ(edit::find_text(*d, "R1", model::kNone), r1);
    EXPECT_EQ(edit::find_text(*d, "R1", r1), r10);
    EXPECT_EQ(edit::find_text(*d, "R1", r10), model::kNone);
    EXPECT_EQ(edit::find_text(*d, "<?1>", r1), c1);
    // "Next" after a Text that is gone starts again at the beginning.
    EXPECT_EQ(edit::find_text(*d, "R1", 12345), r1);
    // The cursor goes to the middle of a left-anchored Text, turned with it; else to its origin.
    Ref t = text(3, 1000, 2000, 1000, 3000, 0, 16384);
    EXPECT_TRUE(same(edit::text_find_point(t), Point{1000, 3500}));
    node(t).text.anchor_font = 1;
    EXPECT_TRUE(same(edit::text_find_point(t), Point{1000, 2000}));
}

TEST_F(EditItems, FindComponentMatchesAllFiveFieldsTopLevelOnly) {
    Ref a = component("R5");
    Ref b = component("R12");
    Ref c = component("C3");
    std::array<std::string, 5> p{"", "R*", "", "", ""};
    EXPECT_EQ(edit::find_component(*d, p, model::kNone), a);
    EXPECT_EQ(edit::find_component(*d, p, a), b);
    EXPECT_EQ(edit::find_component(*d, p, b), model::kNone);
    p = {"pat", "?3", "", "", ""};
    EXPECT_EQ(edit::find_component(*d, p, model::kNone), c);
    p = {"XYZ", "", "", "", ""};
    EXPECT_EQ(edit::find_component(*d, p, model::kNone), model::kNone);
}

// Layer 1, width 400 (reach 100).  A runs to a junction of three tracks; B goes on through a via to D,
// which ends in a component pad with F beyond it; C turns up to E.  G has another width, H another
// layer, I ends within the reach of A's start, J just outside it.
struct Network {
    Ref a, b, c, d, e, f, g, h, i, j;
};

TEST_F(EditItems, ConnectedTrackPassesAJunctionAndAViaAndStopsAtAComponentPad) {
    Network n;
    n.a = track(1, 0, 0, 10000, 0, 400);
    n.b = track(1, 10000, 0, 20000, 0, 400);
    n.c = track(1, 10000, 0, 10000, 10000, 400);
    n.d = track(1, 20000, 0, 30000, 0, 400);
    n.e = track(1, 10000, 10000, 10000, 20000, 400);
    n.f = track(1, 30000, 0, 40000, 0, 400);
    n.g = track(1, 0, 0, 0, -10000, 500);
    n.h = track(2, 0, 0, -10000, 0, 400);
    n.i = track(1, 0, 90, -5000, 5000, 400);
    n.j = track(1, 0, -150, -5000, -5000, 400);
    pad(0, 20000, 0, 1200, 1200, kVia);
    Ref comp = component("U1", 30000, 0);
    pad(0, 30000, 0, 2000, 2000, kOvalThru, members(comp));
    close(comp);

    std::set<Ref> want{n.a, n.b, n.c, n.d, n.e, n.i};
    EXPECT_EQ(as_set(edit::connected_tracks(*d, n.a)), want);
    ed.index.sync(*d);
    ASSERT_TRUE(ed.index.covers(*d));
    EXPECT_EQ(as_set(edit::connected_tracks(*d, n.a, &ed.index)), want);

    std::string before = items();
    EXPECT_EQ(edit::edit_lines(*d, &disp, n.a, EditScope::Connected, 2, 800, &ed.index), 6);
    for (Ref r : want) {
        EXPECT_EQ(node(r).layer, 2);
        EXPECT_EQ(node(r).size, 800);
    }
    EXPECT_EQ(node(n.f).size, 400);
    EXPECT_EQ(node(n.j).size, 400);
    EXPECT_TRUE(d->modified());
    EXPECT_EQ(edit::undo(*d, nullptr), 1);
    EXPECT_EQ(items(), before);
}

TEST_F(EditItems, ConnectedTrackFollowsAChainLongerThanAnyFixedWorkList) {
    constexpr int kSegments = 1500;
    Ref first = model::kNone;
    for (int k = 0; k < kSegments; ++k) {
        Ref t = track(1, k * 1000, (k % 2) * 500, (k + 1) * 1000, ((k + 1) % 2) * 500, 400);
        first = first ? first : t;
    }
    EXPECT_EQ(edit::connected_tracks(*d, first).size(), size_t{kSegments});
    ed.index.sync(*d);
    EXPECT_EQ(edit::connected_tracks(*d, first, &ed.index).size(), size_t{kSegments});
}

TEST_F(EditItems, ConnectedTrackStaysInTheRingOfTheClickedTrack) {
    Ref top = track(1, 0, 0, 10000, 0, 400);
    Ref comp = component("U1");
    Ref member = track(1, 10000, 0, 20000, 0, 400, members(comp));
    Ref member2 = track(1, 20000, 0, 30000, 0, 400, members(comp));
    close(comp);
    ed.index.sync(*d);
    EXPECT_EQ(as_set(edit::connected_tracks(*d, top, &ed.index)), std::set<Ref>{top});
    EXPECT_EQ(as_set(edit::connected_tracks(*d, member, &ed.index)), (std::set<Ref>{member, member2}));
    EXPECT_EQ(as_set(edit::connected_tracks(*d, member)), (std::set<Ref>{member, member2}));
}

TEST_F(EditItems, AllAlikeTakesLinesAndArcsOfOneWidthLayerAndHighlightOnOneSideOfTheBlock) {
    Ref clicked = track(1, 0, 0, 1000, 0, 300);
    Ref far = track(1, 50000, 0, 51000, 0, 300);
    Ref lit = track(1, 0, 2000, 1000, 2000, 300);
    node(lit).kind |= model::kMarkFlag;
    Ref wide = track(1, 0, 4000, 1000, 4000, 301);
    Ref bent = arc(1, 500, 6000, 400, 0, 0, 300);
    Ref comp = component("U1");
    Ref member = track(1, 0, 8000, 1000, 8000, 300, members(comp));
    close(comp);
    EXPECT_EQ(as_set(edit::lines_alike(*d, clicked)), (std::set<Ref>{clicked, far, bent, member}));

    edit::Block b;
    b.doc = d;
    b.left = -1000;
    b.bottom = -1000;
    b.right = 20000;
    b.top = 20000;
    b.layers[1] = true;
    EXPECT_EQ(as_set(edit::lines_alike(*d, clicked, &b)), (std::set<Ref>{clicked, bent, member}));
    EXPECT_EQ(as_set(edit::lines_alike(*d, far, &b)), std::set<Ref>{far});
    // A Block of another Document does not count.
    b.doc = nullptr;
    EXPECT_EQ(edit::lines_alike(*d, far, &b).size(), 4u);
    (void)wide;
}

TEST(EditAnchors, OffsetsBetweenAnchorsWorkedByHand) {
    using edit::anchor_offset;
    auto at = [](Point p, Coord x, Coord y) { return p.x == x && p.y == y; };
    // L = 10000, H = 6000: halves 5000 and 3000, a third 2000.
    EXPECT_TRUE(at(anchor_offset(0, 1, 10000, 6000), 5000, 0));
    EXPECT_TRUE(at(anchor_offset(0, 2, 10000, 6000), 10000, 0));
    EXPECT_TRUE(at(anchor_offset(0, 3, 10000, 6000), -2000, 0));
    EXPECT_TRUE(at(anchor_offset(1, 3, 10000, 6000), -7000, 0));
    EXPECT_TRUE(at(anchor_offset(3, 2, 10000, 6000), 12000, 0));
    EXPECT_TRUE(at(anchor_offset(2, 1, 10000, 6000), -5000, 0));
    EXPECT_TRUE(at(anchor_offset(0, 4, 10000, 6000), 0, 3000));
    EXPECT_TRUE(at(anchor_offset(0, 8, 10000, 6000), 0, 6000));
    EXPECT_TRUE(at(anchor_offset(0, 12, 10000, 6000), 0, -2000));
    EXPECT_TRUE(at(anchor_offset(4, 12, 10000, 6000), 0, -5000));
    EXPECT_TRUE(at(anchor_offset(12, 4, 10000, 6000), 0, 5000));
    EXPECT_TRUE(at(anchor_offset(12, 8, 10000, 6000), 0, 8000));
    EXPECT_TRUE(at(anchor_offset(0, 5, 10000, 6000), 5000, 3000));
    // Halves toward zero, mirrored (negative) lengths included; thirds by integer division.
    EXPECT_TRUE(at(anchor_offset(0, 1, 10001, 6001), 5000, 0));
    EXPECT_TRUE(at(anchor_offset(0, 1, -10001, 6001), -5000, 0));
    EXPECT_TRUE(at(anchor_offset(1, 0, -10001, 6001), 5000, 0));
    EXPECT_TRUE(at(anchor_offset(0, 7, 10001, 6001), -2000, 3000));
}

TEST_F(EditItems, AnchorChangeAtNinetyDegreesKeepsTheDrawnTextInPlace) {
    // "AB" fixed pitch at height 6000 is 10000 long.  Anchor 0 -> 5 (centre, middle) moves the origin by
    // (L/2, H/2) = (5000, 3000) in the Text's frame, turned a quarter: (-3000, 5000).
    Ref t = fixed_text(1, 100000, 50000, "AB", 0, 16384);
    ASSERT_EQ(node(t).text.length, 10000);
    model::Node before = node(t);
    edit::TextValues v = edit::text_values(d->setup, t);
    v.anchor = 5;
    EXPECT_EQ(edit::edit_text_params(*d, &disp, t, v, EditScope::This), 1);
    EXPECT_EQ(node(t).text.x0, 97000);
    EXPECT_EQ(node(t).text.y0, 55000);
    EXPECT_EQ(node(t).text.length, 10000);
    EXPECT_EQ(node(t).text.anchor_font & 15, 5);
    // The box the Text covers is where it was: the same points hit it.
    for (Coord dx = -8000; dx <= 2000; dx += 500) {
        for (Coord dy = -1000; dy <= 11000; dy += 500) {
            Point p{100000 + dx, 50000 + dy};
            EXPECT_EQ(model::hit_text(before, p, edit::turn_of), model::hit_text(node(t), p, edit::turn_of))
                << dx << "," << dy;
        }
    }
    EXPECT_EQ(edit::undo(*d, nullptr), 1);
    EXPECT_EQ(node(t).text.x0, 100000);
    EXPECT_EQ(node(t).text.anchor_font & 15, 0);
}

TEST_F(EditItems, TextParamsMirrorRelativeToTheSideAndWiderScopesMatchChangedProperties) {
    // Bottom silk (layer 4): shown unmirrored is stored mirrored.
    Ref t = fixed_text(4, 0, 0, "AB", 0, 0);
    node(t).text.length = -10000;
    EXPECT_FALSE(edit::text_values(d->setup, t).mirrored);
    Ref comp = component("U1");
    Ref same_height = fixed_text(4, 0, 20000, "CD", 0, 0, members(comp));
    Ref other_height = fixed_text(4, 0, 30000, "EF", 0, 0, members(comp));
    node(same_height).text.length = -10000;
    node(other_height).text.length = -10000;
    node(other_height).size = 5000;
    Ref other_layer = fixed_text(3, 0, 40000, "GH", 0, 0);
    Ref in_comp = fixed_text(4, 0, 0, "IJ", 0, 0, members(comp));
    node(in_comp).text.length = -10000;
    close(comp);
    std::string before = items();

    edit::TextValues v = edit::text_values(d->setup, in_comp);
    v.height = 12000; // changed: only Texts that still have height 6000 follow
    v.mirrored = true; // changed: shown mirrored on a bottom layer is stored unmirrored
    EXPECT_GT(edit::edit_text_params(*d, &disp, in_comp, v, EditScope::Connected), 0);
    EXPECT_EQ(node(in_comp).size, 12000);
    EXPECT_EQ(node(in_comp).text.length, 20000);
    EXPECT_EQ(node(same_height).size, 12000);
    EXPECT_GT(node(same_height).text.length, 0);
    EXPECT_EQ(node(other_height).size, 5000);
    EXPECT_EQ(node(t).size, 6000); // top level: not in the Component
    EXPECT_EQ(node(other_layer).size, 6000);
    EXPECT_EQ(edit::undo(*d, nullptr), 1);
    EXPECT_EQ(items(), before);

    v = edit::text_values(d->setup, t);
    v.font = 0;
    EXPECT_GT(edit::edit_text_params(*d, &disp, t, v, EditScope::All), 0);
    EXPECT_EQ(node(in_comp).text.anchor_font >> 4, 0);
    EXPECT_EQ(node(other_height).text.anchor_font >> 4, 0);
    EXPECT_EQ(node(other_layer).text.anchor_font >> 4, display::kFixedPitch);
    EXPECT_EQ(edit::undo(*d, nullptr), 1);
    EXPECT_EQ(items(), before);
}

TEST_F(EditItems, PadScopesReplaceTheClickedPadAndChangeThePadsAlike) {
    Ref comp = component("U1");
    Ref clicked = pad(0, 0, 0, 1000, 1000, kOvalThru, members(comp));
    Ref alike = pad(0, 2000, 0, 1000, 1000, kOvalThru, members(comp));
    Ref turned = pad(0, 4000, 0, 1000, 1000, kOvalThru, members(comp), 16384);
    Ref bigger = pad(0, 6000, 0, 1200, 1000, kOvalThru, members(comp));
    Ref smt = pad(1, 8000, 0, 1000, 1000, kOvalSmt, members(comp));
    model::SetPin(clicked, "1");
    close(comp);
    Ref outside = pad(0, 20000, 0, 1000, 1000, kOvalThru);
    std::string before = items();

    edit::PadValues v = edit::pad_values(clicked);
    EXPECT_EQ(v.pin, "1");
    v.pad.width = 1500;
    v.pad.type = 2;
    v.pin = "A1";
    v.signal = "GND";
    Ref made = edit::edit_pad(*d, &disp, clicked, v, EditScope::Connected);
    ASSERT_NE(made, model::kNone);
    EXPECT_NE(made, clicked);
    EXPECT_EQ(edit::component_of(made), comp);
    EXPECT_EQ(node(made).pad.width, 1500);
    EXPECT_EQ(model::pin_text(made), "A1");
    EXPECT_EQ(model::signal_name(model::item_signal(made)), "GND");
    EXPECT_EQ(node(alike).pad.width, 1500);
    EXPECT_EQ(node(alike).size & 7, 2);
    EXPECT_EQ(model::pin_text(alike), ""); // the pin names of the others stay
    EXPECT_EQ(node(turned).pad.width, 1000); // another angle
    EXPECT_EQ(node(bigger).pad.width, 1200);
    EXPECT_EQ(node(smt).pad.width, 1000);
    EXPECT_EQ(node(outside).pad.width, 1000); // not in the Component
    EXPECT_EQ(ring_size(members(comp)), 5);
    EXPECT_EQ(edit::undo(*d, nullptr), 1);
    EXPECT_EQ(items(), before);

    // All pads: the top-level one too; a new angle makes the turned one alike as well.
    v = edit::pad_values(clicked);
    v.pad.height = 800;
    v.pad.angle = 16384;
    ASSERT_NE(edit::edit_pad(*d, &disp, clicked, v, EditScope::All), model::kNone);
    EXPECT_EQ(node(outside).pad.height, 800);
    EXPECT_EQ(node(outside).pad.angle, 16384);
    EXPECT_EQ(node(turned).pad.height, 800);
    EXPECT_EQ(node(bigger).pad.height, 1000);
    EXPECT_EQ(edit::undo(*d, nullptr), 1);
    EXPECT_EQ(items(), before);
}

TEST_F(EditItems, SchematicPinNumberTextFollowsThePinName) {
    d->setup.layers[1].type = model::kLayerSymbols;
    d->setup.layers[2].type = model::kLayerSchematic;
    ASSERT_TRUE(model::IsSchematic(d->setup));
    Ref comp = component("U1");
    Ref p = pad(0, 10000, 0, 600, 600, 0, members(comp));
    node(p).pad.hole = 0;
    model::SetPin(p, "3");
    Ref number = fixed_text(5, 8000, 1000, "3", 0, 0, members(comp));
    Ref far = fixed_text(5, 30000, 1000, "3", 0, 0, members(comp));
    close(comp);
    EXPECT_EQ(edit::pin_number_text(p), number);
    std::string before = items();
    edit::PadValues v = edit::pad_values(p);
    v.pin = "7";
    ASSERT_NE(edit::edit_pad(*d, &disp, p, v, EditScope::This), model::kNone);
    std::vector<std::string> texts;
    for (Ref r : model::items_in(members(comp))) {
        if (node(r).item_kind() == model::kText) {
            texts.push_back(model::GetText(r));
        }
    }
    EXPECT_EQ(texts, (std::vector<std::string>{"7", "3"}));
    EXPECT_EQ(model::GetText(far), "3");
    EXPECT_EQ(edit::undo(*d, nullptr), 1);
    EXPECT_EQ(items(), before);
}

TEST_F(EditItems, ComponentFieldsAreUndoneAndTheirTextsMeasuredAgain) {
    Ref r1 = component("R1");
    Ref shows = text(3, 0, 0, 6000, 1, 0, 0, members(r1));
    model::SetText(shows, "&1");
    display::measure_text_item(shows);
    close(r1);
    Ref r5 = component("R5");
    track(3, 0, 0, 1000, 0, 100, members(r5));
    close(r5);
    Coord short_length = node(shows).text.length;
    std::array<std::string, 5> f = edit::component_fields(r1);
    EXPECT_EQ(f[1], "R1");
    f[1] = "R9999";
    f[2] = "10K";
    EXPECT_GT(edit::edit_component(*d, &disp, r1, f), 0);
    EXPECT_EQ(model::ComponentField(r1, 1), "R9999");
    EXPECT_EQ(model::ComponentField(r1, 2), "10K");
    EXPECT_GT(node(shows).text.length, short_length);
    // Sorted again: R9999 now comes after R5.
    EXPECT_EQ(edit::components_of(*d), (std::vector<Ref>{r5, r1}));
    EXPECT_EQ(edit::undo(*d, nullptr), 1);
    EXPECT_EQ(model::ComponentField(r1, 1), "R1");
    EXPECT_EQ(node(shows).text.length, short_length);
    EXPECT_EQ(edit::edit_component(*d, &disp, r1, edit::component_fields(r1)), 0);
}

TEST_F(EditItems, TypedTextIsStoredAndUndoneAndNeighboursGoRound) {
    Ref a = fixed_text(3, 0, 0, "AB", 0, 0);
    Ref line = track(3, 0, 0, 1000, 0);
    Ref b = fixed_text(3, 0, 0, "CD", 0, 0);
    std::string before = items();
    EXPECT_EQ(edit::retype_text(*d, &disp, a, "AB"), 0);
    EXPECT_EQ(edit::retype_text(*d, &disp, a, ""), 0);
    EXPECT_EQ(edit::retype_text(*d, &disp, a, "ABCD"), 1);
    EXPECT_EQ(model::GetText(a), "ABCD");
    EXPECT_EQ(node(a).text.length, 6000 * 22 / 6);
    EXPECT_EQ(edit::undo(*d, nullptr), 1);
    EXPECT_EQ(items(), before);
    EXPECT_EQ(edit::neighbour_text(a, false), b);
    EXPECT_EQ(edit::neighbour_text(b, false), a);
    EXPECT_EQ(edit::neighbour_text(a, true), b);
    (void)line;
}

} // namespace
} // namespace edit_test
