// The query boxes' fields for hand-made Items, the read-out formats, the locator that leaves the current
// layer alone, the one-line form of a box, and the view and zoom pictures.
#include <gtest/gtest.h>

#include <string>

#include "edit/edit_fixture.h"
#include "edit/locate.h"
#include "edit/query.h"

namespace {

using namespace edit_test;
using edit::QueryBox;

constexpr Coord kInch = 65536;

struct Query : EditTest {
    platform::Form box(QueryBox b, Ref item) {
        platform::Form f = edit::query_form(b);
        edit::fill_query(f, b, *d, item);
        return f;
    }
    Ref at(QueryBox b, Coord x, Coord y) {
        return edit::query_item(*d, b, Point{x, y}, 100);
    }
};

TEST_F(Query, LineBoxShowsNoneForATrackWithoutSignalAndTheSignalOtherwise) {
    Ref t = track(1, 0, 0, kInch, 0, 655);
    platform::Form f = box(QueryBox::Line, t);
    EXPECT_EQ(f.name, "QueryLineBox");
    EXPECT_EQ(f.get("signal"), "[NONE]");
    EXPECT_EQ(f.get("layer"), "Top");
    EXPECT_EQ(f.get("width"), "0.0100"); // 655 units are 0.00999 inch
    ASSERT_TRUE(model::AttachSignal(t, "gnd"));
    EXPECT_EQ(box(QueryBox::Line, t).get("signal"), "GND");
    // A layer slot without a name shows its number.
    Ref unnamed = track(9, 0, 0, kInch, 0);
    EXPECT_EQ(box(QueryBox::Line, unnamed).get("layer"), "9");
}

TEST_F(Query, ArcBoxShowsAZeroSweepAsTheFullCircleAndTheRatioWithFourDecimals) {
    Ref a = arc(2, 0, 0, kInch / 2, 8192, 0, 1311);
    node(a).arc.ellipse = 32768;
    node(a).arc.angle = 16384;
    platform::Form f = box(QueryBox::Arc, a);
    EXPECT_EQ(f.get("signal"), "[NONE]");
    EXPECT_EQ(f.get("layer"), "Bottom");
    EXPECT_EQ(f.get("width"), "0.0200");
    EXPECT_EQ(f.get("radius"), "0.5000");
    EXPECT_EQ(f.get("start"), "45.00");
    EXPECT_EQ(f.get("sweep"), "360.00");
    EXPECT_EQ(f.get("ratio"), "0.5000");
    EXPECT_EQ(f.get("axis"), "90.00");
    node(a).arc.sweep = 16384;
    node(a).arc.ellipse = 1; // the smallest ratio still shows as a number, rounded
    EXPECT_EQ(box(QueryBox::Arc, a).get("sweep"), "90.00");
    EXPECT_EQ(box(QueryBox::Arc, a).get("ratio"), "0.0000");
    node(a).arc.ellipse = 65535;
    EXPECT_EQ(box(QueryBox::Arc, a).get("ratio"), "1.0000");
}

TEST_F(Query, PadBoxShowsTheShortTypeNameAndNoneForPinZero) {
    Ref p = pad(0, kInch, -kInch / 4, 4588, 6554, kRectThru, model::kNone, 49152);
    platform::Form f = box(QueryBox::Pad, p);
    EXPECT_EQ(f.get("pin"), "[NONE]");
    EXPECT_EQ(f.get("signal"), "[NONE]");
    EXPECT_EQ(f.get("layer"), "Pad Master");
    EXPECT_EQ(f.get("type"), "Rectangular THD");
    EXPECT_EQ(f.get("x"), "1.0000");
    EXPECT_EQ(f.get("y"), "-0.2500");
    EXPECT_EQ(f.get("width"), "0.0700");
    EXPECT_EQ(f.get("height"), "0.1000");
    EXPECT_EQ(f.get("angle"), "270.00");
    Ref s = pad(1, 0, 0, 3277, 3277, kRectSmt);
    ASSERT_TRUE(model::SetPin(s, "A1"));
    ASSERT_TRUE(model::AttachSignal(s, "+5V"));
    f = box(QueryBox::Pad, s);
    EXPECT_EQ(f.get("type"), "Rectangluar SMT"); // the spelling users know
    EXPECT_EQ(f.get("pin"), "A1");
    EXPECT_EQ(f.get("signal"), "+5V");
    EXPECT_EQ(f.get("hole"), "0.0000");
    node(s).size = 7;
    EXPECT_EQ(box(QueryBox::Pad, s).get("type"), "Schematic Dot");
}

TEST_F(Query, TextBoxShowsAnchorNameFontAndMirroringByTheLengthSign) {
    Ref t = text(3, kInch, kInch, 3932, 20000, 0x25, 16384);
    ASSERT_TRUE(model::SetTypedText(t, "R1 10 ohms"));
    platform::Form f = box(QueryBox::Text, t);
    EXPECT_EQ(f.get("text"), "R1 10 ohms");
    EXPECT_EQ(f.get("layer"), "Silk");
    EXPECT_EQ(f.get("height"), "0.0600");
    EXPECT_EQ(f.get("angle"), "90.00");
    EXPECT_EQ(f.get("anchor"), "5 = Center");
    EXPECT_EQ(f.get("font"), "2");
    EXPECT_EQ(f.get("mirror"), "Normal for layer");
    node(t).text.length = -20000;
    node(t).text.anchor_font = 15;
    f = box(QueryBox::Text, t);
    EXPECT_EQ(f.get("mirror"), "Mirrored against layer");
    EXPECT_EQ(f.get("anchor"), "15 = Base Offset");
    EXPECT_EQ(f.get("font"), "0");
}

TEST_F(Query, ComponentBoxShowsTheFiveFieldsAndTheInsertionPoint) {
    std::string params = std::string("DIP8\x7FU7\x7FLM358\x7F") + "SMD\x7F" + "X";
    Ref c = model::make_component(ring(), 0, 8192, params);
    node(model::member_ring(c)).box.x1 = kInch / 2;
    node(model::member_ring(c)).box.y1 = 3 * kInch / 2;
    pad(0, kInch / 2, 3 * kInch / 2, 3000, 3000, kOvalThru, members(c));
    close(c);
    platform::Form f = box(QueryBox::Component, c);
    EXPECT_EQ(f.get("field0"), "DIP8");
    EXPECT_EQ(f.get("field1"), "U7");
    EXPECT_EQ(f.get("field2"), "LM358");
    EXPECT_EQ(f.get("field3"), "SMD");
    EXPECT_EQ(f.get("field4"), "X");
    EXPECT_EQ(f.get("x"), "0.5000");
    EXPECT_EQ(f.get("y"), "1.5000");
    EXPECT_EQ(f.get("angle"), "45.00");
}

TEST_F(Query, NothingUnderThePointEmptiesEveryField) {
    Ref t = track(1, 0, 0, kInch, 0);
    platform::Form f = box(QueryBox::Line, t);
    ASSERT_FALSE(f.get("width").empty());
    EXPECT_EQ(at(QueryBox::Line, kInch / 2, kInch), model::kNone);
    edit::fill_query(f, QueryBox::Line, *d, at(QueryBox::Line, kInch / 2, kInch));
    for (const platform::Field& field : f.fields) {
        EXPECT_EQ(field.value, "") << field.id;
    }
    // The image box has nothing to find yet.
    EXPECT_EQ(at(QueryBox::Image, kInch / 2, 0), model::kNone);
    EXPECT_EQ(edit::query_form(QueryBox::Image).name, "QueryImageBox");
}

TEST_F(Query, FindingAnItemOnAnotherLayerLeavesTheCurrentLayerAlone) {
    Ref t = track(2, 0, 0, kInch, 0);
    d->setup.current_layer = 1;
    EXPECT_EQ(at(QueryBox::Line, kInch / 2, 0), t);
    EXPECT_EQ(d->setup.current_layer, 1);
    // The current layer goes first: a track there hides the one below.
    Ref top = track(1, 0, 0, kInch, 0);
    EXPECT_EQ(at(QueryBox::Line, kInch / 2, 0), top);
}

TEST(QueryFormat, LengthsAnglesAndRatiosRoundHalvesAwayFromZero) {
    EXPECT_EQ(edit::query_length(0), "0.0000");
    EXPECT_EQ(edit::query_length(-81920), "-1.2500");
    EXPECT_EQ(edit::query_length(3), "0.0000");  // 0.0000458 inch
    EXPECT_EQ(edit::query_length(-3), "0.0000"); // no "-0.0000"
    EXPECT_EQ(edit::query_length(4), "0.0001");  // 0.0000610
    EXPECT_EQ(edit::query_length(int64_t{0x7FFFFFFF}), "32768.0000");
    EXPECT_EQ(edit::query_angle(65535), "359.99");
    EXPECT_EQ(edit::query_angle(1), "0.01");
    EXPECT_EQ(edit::query_sweep(0), "360.00");
    EXPECT_EQ(edit::query_sweep(32768), "180.00");
    EXPECT_EQ(edit::query_ratio(6554), "0.1000");
}

TEST(QueryFormLine, ValuesWithBlanksQuotesOrNothingAreQuotedAndPicturesGiveTheirSize) {
    platform::Form f;
    f.name = "QueryTextBox";
    auto add = [&](platform::Field::Kind k, const char* id, std::string v) {
        platform::Field field;
        field.kind = k;
        field.id = id;
        field.value = std::move(v);
        f.fields.push_back(field);
    };
    using K = platform::Field::Kind;
    add(K::Text, "a", "plain");
    add(K::Text, "b", "two words");
    add(K::Text, "c", "say \"hi\\\"");
    add(K::Text, "d", "");
    add(K::Label, "note", "not shown");
    add(K::Picture, "p", "");
    f.fields.back().width = 3;
    f.fields.back().height = 2;
    EXPECT_EQ(platform::form_line(f), "QueryTextBox: a=plain b=\"two words\" c=\"say \\\"hi\\\\\\\"\" d=\"\" p=3x2");
}

TEST_F(Query, ZoomPictureShowsTheTrackThroughItsCentreAndViewPictureTheWholeBoard) {
    track(1, -kInch, 0, kInch, 0, 2000);
    display::Display scratch;
    display::PixelFormat format;
    const int size = 40;
    std::vector<uint8_t> rgb = edit::zoom_picture(scratch, *d, format, size, Point{0, 0}, 0x1000000);
    ASSERT_EQ(rgb.size(), static_cast<size_t>(size * size * 3));
    auto px = [&](const std::vector<uint8_t>& p, int w, int x, int y) {
        size_t i = (static_cast<size_t>(y) * static_cast<size_t>(w) + static_cast<size_t>(x)) * 3;
        return uint32_t{p[i]} << 16 | uint32_t{p[i + 1]} << 8 | p[i + 2];
    };
    EXPECT_EQ(px(rgb, size, size / 2 + 12, size / 2), 0x00FF00u); // the track, beside the centre mark
    EXPECT_NE(px(rgb, size, size / 2 + 12, 2), 0x00FF00u);        // above it, the background

    model::Box frame;
    frame.add(-kInch / 2, -kInch / 4);
    frame.add(kInch / 2, kInch / 4);
    std::vector<uint8_t> view = edit::view_picture(scratch, *d, format, 60, 40, &frame);
    ASSERT_EQ(view.size(), 60u * 40u * 3u);
    int green = 0;
    for (int x = 0; x < 60; ++x) {
        for (int y = 0; y < 40; ++y) {
            green += px(view, 60, x, y) == 0x00FF00u ? 1 : 0;
        }
    }
    EXPECT_GT(green, 30); // the two-inch track spans the fitted picture
    // Nothing to draw into: no picture.
    EXPECT_TRUE(edit::zoom_picture(scratch, *d, format, 0, Point{0, 0}, 0x1000000).empty());
}

} // namespace
