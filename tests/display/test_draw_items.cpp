// Lines, Solids, Arcs, Pads and Texts drawn by their modes.  One pixel is 1024 units (64 dots per inch),
// so widths and sizes below are whole pixels and the expected counts follow from the primitives' rules.
#include <cmath>

#include "test_draw_fixture.h"

namespace trazel::display {
namespace {

using testing::DrawTest;
using namespace testing;

TEST_F(DrawTest, LineModesAndOddWidths) {
    // Width 2 px is drawn 3 wide: rows 9..11 over columns 5..20 and the plus-shaped end discs.
    Ref l = line(1, 2, 10, 5, 10, 20);
    ASSERT_TRUE(redraw(d));
    EXPECT_EQ(count(kTopColour), 3 * 16 + 2);
    EXPECT_EQ(at(10, 4), px(kTopColour));
    EXPECT_EQ(at(9, 4), px(kBackground));
    // Centre lines only: one pixel per column.
    doc->setup.mode_lines = 0;
    redraw(d);
    EXPECT_EQ(count(kTopColour), 16);
    // The outline of an 8 px stroke: the middle row stays background, the sides 4 px off at rows 6 and 14.
    model::node(l).size = 8 * kPx;
    doc->setup.mode_lines = 1;
    redraw(d);
    EXPECT_EQ(at(10, 12), px(kBackground));
    EXPECT_EQ(at(6, 12), px(kTopColour));
    EXPECT_EQ(at(14, 12), px(kTopColour));
    EXPECT_EQ(at(10, 1), px(kTopColour)); // the half circle round the start
    // Sparse: an inner outline 4 px narrower as well (5 px wide: rows 8 and 12).
    doc->setup.mode_lines = 2;
    redraw(d);
    EXPECT_EQ(at(8, 12), px(kTopColour));
    EXPECT_EQ(at(12, 12), px(kTopColour));
    EXPECT_EQ(at(10, 12), px(kBackground));
    EXPECT_TRUE(buf.guard_intact());
}

TEST_F(DrawTest, MarkedLinesAndSwitchedOffLayers) {
    // A marked line is in the highlight colour with a centre line of its layer's colour, 1/8 as wide.
    Ref l = line(1, 8, 20, 5, 20, 40);
    model::node(l).kind |= model::kMarkFlag;
    redraw(d);
    EXPECT_EQ(at(20, 20), px(kTopColour));
    EXPECT_EQ(at(18, 20), px(kHighlight));
    // A layer whose colour has bit 24 set is not drawn, marked Items included.
    model::set_layer_colour(doc->setup.layers[1], kTopColour | model::kNoColour);
    redraw(d);
    EXPECT_EQ(count(kHighlight) + count(kTopColour), 0);
    // Hidden Items are never drawn.
    model::set_layer_colour(doc->setup.layers[1], kTopColour);
    model::node(l).kind |= model::kHiddenFlag;
    redraw(d);
    EXPECT_EQ(count(kHighlight) + count(kTopColour), 0);
}

TEST_F(DrawTest, SolidsFillByMode) {
    Ref two = model::MakeItem(doc->ring(), model::kLine, 2, 0, 0, 0, 0, 0);
    model::add_vertex(two, X(2), Y(2));
    model::add_vertex(two, X(30), Y(30));
    redraw(d);
    EXPECT_EQ(count(kSilkColour), 0); // two vertices draw nothing, not even an edge
    // The square (10,10)..(20,20): mode 3 fills its 11 x 11 pixels.
    Ref sq = model::MakeItem(doc->ring(), model::kLine, 2, 0, 0, 0, 0, 0);
    for (auto [r, c] : {std::pair{10, 10}, {10, 20}, {20, 20}, {20, 10}}) {
        model::add_vertex(sq, X(c), Y(r));
    }
    redraw(d);
    EXPECT_EQ(count(kSilkColour), 121);
    // Modes 0 and 1 draw the edges only: 4 x 10 pixels.
    doc->setup.mode_lines = 1;
    redraw(d);
    EXPECT_EQ(count(kSilkColour), 40);
    // Mode 2: edges and every other row of the inside (the Document rows of even parity: y = 47 - row).
    doc->setup.mode_lines = 2;
    redraw(d);
    EXPECT_EQ(at(15, 15), px(kSilkColour)); // y 32, even
    EXPECT_EQ(at(14, 15), px(kBackground)); // y 33, odd
    EXPECT_EQ(count(kSilkColour), 40 + 5 * 9);
}

TEST_F(DrawTest, ArcsFullAndPartial) {
    // A full circle of radius 10 px and width 1 px: every drawn pixel within a pixel of the circle.
    model::MakeItem(doc->ring(), model::kArc, 2, static_cast<uint16_t>(kPx), X(24), Y(24), 10 * kPx, 0);
    redraw(d);
    int n = 0;
    for (int r = 0; r < 48; ++r) {
        for (int c = 0; c < 64; ++c) {
            if (at(r, c) == px(kSilkColour)) {
                ++n;
                EXPECT_NEAR(std::hypot(r - 24.0, c - 24.0), 10.0, 1.0);
            }
        }
    }
    // Closed all round: every point of the circle has a drawn pixel next to it.
    for (int deg = 0; deg < 360; deg += 3) {
        double a = deg * 3.14159265358979 / 180;
        int rr = static_cast<int>(std::lround(24 - 10 * std::sin(a))),
            cc = static_cast<int>(std::lround(24 + 10 * std::cos(a)));
        bool near = false;
        for (int i = -1; i <= 1; ++i) {
            for (int j = -1; j <= 1; ++j) {
                near |= at(rr + i, cc + j) == px(kSilkColour);
            }
        }
        EXPECT_TRUE(near) << deg;
    }
    EXPECT_GE(n, 56);
    // A half arc (start 0, sweep 180 degrees) stays in the upper half; the centre marker option marks it.
    model::DeleteItem(model::first_item(doc->ring()));
    Ref a = model::MakeItem(doc->ring(), model::kArc, 2, static_cast<uint16_t>(kPx), X(24), Y(24), 10 * kPx, 0);
    model::node(a).arc.sweep = 32768;
    doc->setup.mode_refs = kRefsArcCentres;
    redraw(d);
    for (int r = 26; r < 48; ++r) {
        for (int c = 0; c < 64; ++c) {
            EXPECT_NE(at(r, c), px(kSilkColour)) << r << "," << c;
        }
    }
    EXPECT_EQ(at(14, 24), px(kSilkColour));
    EXPECT_EQ(at(24, 24), px(kMarker));
}

TEST_F(DrawTest, PadShapesAndHoles) {
    doc->setup.current_layer = 1;
    // A via 7 px across (half size 3: the radius-3 disc of 37 pixels) with a 3 px hole (half 1: a plus
    // of 5 background pixels).
    pad(0, 3, 10, 10, 7 * kPx, 7 * kPx, 3 * kPx);
    redraw(d);
    EXPECT_EQ(count(kPadMasterColour), 37 - 5);
    EXPECT_EQ(at(10, 10), px(kBackground));
    EXPECT_EQ(at(10, 12), px(kPadMasterColour));
    // Filled without hole (mode 3).
    doc->setup.mode_pads = 3;
    redraw(d);
    EXPECT_EQ(count(kPadMasterColour), 37);
    // Outline only (mode 0): the ring of radius 3 (disc 3 less disc 2: 37 - 21).
    doc->setup.mode_pads = 0;
    redraw(d);
    EXPECT_EQ(count(kPadMasterColour), 16);
    // Outline and hole (mode 1): the hole circle is the radius-1 ring (plus less its centre).
    doc->setup.mode_pads = 1;
    redraw(d);
    EXPECT_EQ(count(kPadMasterColour), 16 + 4);
}

TEST_F(DrawTest, PadHoleAsLargeAsThePad) {
    // Pad half size 1, hole half size 2: a disc of the hole's size in the pad's colour, and no hole
    // (the hole shrinks by one pixel, and a pad under 2 pixels keeps no hole).
    pad(0, 3, 10, 10, 3 * kPx, 3 * kPx, 4 * kPx);
    doc->setup.current_layer = 1;
    redraw(d);
    EXPECT_EQ(count(kPadMasterColour), 21);
}

TEST_F(DrawTest, RectangularObroundAndSurfacePads) {
    doc->setup.current_layer = 1;
    // Rectangle 5 x 3 px: half sizes 2 and 1.
    pad(0, 2, 10, 10, 5 * kPx, 3 * kPx, 0);
    // Oval 7 x 3: a 3 px line between end centres 2 px either side, with plus-shaped ends.
    pad(1, 5, 30, 30, 7 * kPx, 3 * kPx, 2 * kPx);
    redraw(d);
    EXPECT_EQ(count(kPadMasterColour), 15);
    EXPECT_EQ(count(kTopColour), 15 + 2); // surface pads show no hole
    // Turned by 90 degrees the oval stands upright.
    model::node(model::last_item(doc->ring())).pad.angle = 16384;
    redraw(d);
    EXPECT_EQ(at(27, 30), px(kTopColour));
    EXPECT_EQ(at(30, 27), px(kBackground));
}

TEST_F(DrawTest, ThruPadsOnAnOffLayerUseThePadMasterColour) {
    pad(9, 1, 10, 10, 5 * kPx, 5 * kPx, 0);
    model::set_layer_colour(doc->setup.layers[9], kBottomColour | model::kNoColour);
    redraw(d);
    EXPECT_EQ(at(10, 10), px(kPadMasterColour));
    // A surface pad there is simply not drawn.
    model::node(model::first_item(doc->ring())).size = 5;
    redraw(d);
    EXPECT_EQ(at(10, 10), px(kBackground));
}

TEST_F(DrawTest, PadLabelsInTheInverseColour) {
    // At 128 dots per inch three 512-unit steps make 3 pixels: pin numbers show.
    d.view.scale = 0x800000;
    doc->setup.mode_pads = 2 | kPadsPinNumbers;
    doc->setup.current_layer = 1;
    Ref p = pad(0, 2, 0, 0, 40000, 40000, 0);
    model::node(p).pad.x0 = 15 * 512;
    model::node(p).pad.y0 = (47 - 20) * 512;
    model::SetPin(p, "8");
    redraw(d);
    EXPECT_GT(count(kPadMasterColour ^ 0xFFFFFF), 3);
    // Below that scale no labels.
    d.view.scale = 0x7FFFFE;
    redraw(d);
    EXPECT_EQ(count(kPadMasterColour ^ 0xFFFFFF), 0);
}

TEST_F(DrawTest, SignalNamesInsideWideTracks) {
    // 256 dots per inch (scale 0x1000000, 256 units a pixel): a 1/8 inch track, 32 px wide.
    d.view.scale = 0x1000000;
    doc->setup.mode_lines = 3 | kLinesSignalNames;
    Ref l = model::MakeItem(doc->ring(), model::kLine, 1, 8192, -65536, 24 * 256, 3 * 65536, 24 * 256);
    model::node(l).line.y1 = model::node(l).line.y2 = (47 - 24) * 256;
    model::node(l).line.x1 = 32 * 256 - 131072; // centred on column 32
    model::node(l).line.x2 = 32 * 256 + 131072;
    model::AttachSignal(l, "GND");
    redraw(d);
    EXPECT_GT(count(kTopColour ^ 0xFFFFFF), 10);
    // Without the option, none.
    doc->setup.mode_lines = 3;
    redraw(d);
    EXPECT_EQ(count(kTopColour ^ 0xFFFFFF), 0);
}

TEST_F(DrawTest, MarkersForVerticesAndHookPoints) {
    doc->setup.mode_refs = kRefsTrackVertices | kRefsHookPoints;
    line(1, 1, 10, 10, 10, 40); // copper: markers at both ends
    line(2, 1, 30, 10, 30, 40); // silk: none
    Ref c = model::make_component(doc->ring(), 0, 0,
                                 "DIP8\x7FU1\x7F"
                                 "74HC00");
    model::MakeItem(model::member_ring(c), model::kLine, 7, static_cast<uint16_t>(kPx), X(50), Y(40), X(60), Y(40));
    model::close_component(c);
    Ref head = model::member_ring(c);
    model::node(head).box.x1 = X(55);
    model::node(head).box.y1 = Y(20);
    redraw(d);
    EXPECT_EQ(at(10, 10), px(kMarker));
    EXPECT_EQ(at(10, 40), px(kMarker));
    EXPECT_EQ(at(30, 10), px(kSilkColour));
    EXPECT_EQ(at(20, 55), px(kMarker)); // the hook point
    EXPECT_EQ(at(40, 55), px(kDrawColour));
}

TEST_F(DrawTest, TextItemsByTextMode) {
    Ref t = model::MakeItem(doc->ring(), model::kText, 2, static_cast<uint16_t>(24 * kPx), X(10), Y(30), 0, 0);
    model::SetText(t, "HI");
    redraw(d);
    int solid = count(kSilkColour);
    EXPECT_GT(solid, 20);
    // Text mode 0 draws nothing.
    doc->setup.mode_text = 0;
    redraw(d);
    EXPECT_EQ(count(kSilkColour), 0);
    // Thin strokes: fewer pixels than solid ones.
    doc->setup.mode_text = 1;
    redraw(d);
    EXPECT_GT(count(kSilkColour), 0);
    EXPECT_LT(count(kSilkColour), solid);
}

TEST_F(DrawTest, SingleItemDrawEraseAndXorCopies) {
    Ref l = line(1, 3, 10, 5, 20, 40);
    Ref p = pad(0, 1, 30, 30, 9 * kPx, 5 * kPx, 2 * kPx);
    redraw(d);
    std::vector<uint8_t> clean(buf.memory);
    // Erased in the background colour, then drawn again.
    buf.fill(px(kBackground));
    std::vector<uint8_t> empty(buf.memory);
    EXPECT_TRUE(draw_item(d, l));
    EXPECT_TRUE(erase_item(d, l));
    EXPECT_EQ(buf.memory, empty);
    // In the marker colour.
    EXPECT_TRUE(draw_item_marker(d, p));
    EXPECT_GT(count(kMarker), 20);
    // Items hanging on the cursor: the XOR outline colour, moved; twice restores.
    buf.memory = clean;
    for (int i = 0; i < 2; ++i) {
        draw_item_as(d, l, d.slots.pixel[kSlotXorOutline], 3 * kPx, -2 * kPx);
        draw_item_as(d, p, d.slots.pixel[kSlotXorOutline], 3 * kPx, -2 * kPx);
    }
    EXPECT_EQ(buf.memory, clean);
    EXPECT_TRUE(buf.guard_intact());
}

} // namespace
} // namespace trazel::display

namespace trazel::display {
namespace {

TEST_F(DrawTest, TinyTextsDrawTheSameLineEitherWay) {
    // Texts under 3 pixels tall are one line along the bottom of their box.  The redraw works it out from
    // the Item alone; a single-Item draw goes through the full text layout.  Both must agree for every
    // anchor, angle and mirroring.
    d.view.scale = 0x100000; // 16 dots per inch: a 0.15 inch text is 2.4 pixels tall
    int k = 0;
    for (int anchor = 0; anchor < 16; ++anchor) {
        for (model::Angle angle : {model::Angle(0), model::Angle(9000), model::Angle(40000)}) {
            model::close_document(doc);
            doc = model::NewDocument("t.pcb");
            layer(2, "Silk", model::kLayerSilk, kSilkColour);
            Ref t = model::MakeItem(doc->ring(), model::kText, 2, 9830, (10 + k % 30) * 4096, (10 + k % 20) * 4096,
                                    (k % 3 == 0 ? -1 : 1) * 60000, 0);
            model::node(t).text.angle = angle;
            model::node(t).text.anchor_font = static_cast<uint8_t>(anchor);
            model::node(t).text.lines = static_cast<uint8_t>(1 + k % 2);
            model::SetText(t, k % 2 ? "AB" : "&1");
            ++k;
            if (k % 2 == 0) {
                model::SetText(t, "TEXT");
            }
            redraw(d);
            std::vector<uint8_t> fast = buf.memory;
            buf.fill(px(kBackground));
            draw_item(d, t);
            EXPECT_EQ(buf.memory, fast) << anchor << " " << angle;
            EXPECT_GT(count(kSilkColour), 0);
        }
    }
}

} // namespace
} // namespace trazel::display
