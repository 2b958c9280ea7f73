// The draw order of a full redraw, interruption, clip rectangles, the four depths, and the overlays.
#include "display/view.h"
#include "platform/headless.h"
#include "test_draw_fixture.h"

namespace trazel::display {
namespace {

using testing::DrawTest;
using namespace testing;

TEST_F(DrawTest, LayersFromTheTopDownWithTheCurrentLayerLast) {
    // Two crossing lines on layers 2 and 7: layers are drawn from 255 down, so 2 is on top...
    line(7, 3, 10, 0, 10, 63);
    line(2, 3, 0, 20, 47, 20);
    doc->setup.current_layer = 9;
    redraw(d);
    EXPECT_EQ(at(10, 20), px(kSilkColour));
    // ...unless 7 is the current layer, which comes last.
    doc->setup.current_layer = 7;
    redraw(d);
    EXPECT_EQ(at(10, 20), px(kDrawColour));
    // A layer-only redraw (or the single-layer flag) draws the current layer alone.
    d.view.single_layer = true;
    redraw(d);
    EXPECT_EQ(count(kSilkColour), 0);
    EXPECT_GT(count(kDrawColour), 0);
    d.view.single_layer = false;
    redraw(d, true, true);
    EXPECT_EQ(count(kSilkColour), 0);
    // Empty layer slots and switched-off layers are skipped.
    model::set_layer_name(doc->setup.layers[2], "-");
    doc->setup.current_layer = 9;
    redraw(d);
    EXPECT_EQ(count(kSilkColour), 0);
}

TEST_F(DrawTest, ThruPadsEndUpOnTopWhenACopperLayerIsCurrent) {
    pad(1, 1, 20, 20, 9 * kPx, 9 * kPx, 0);
    line(2, 5, 20, 0, 20, 63); // silk across the pad
    line(9, 5, 0, 20, 47, 20); // bottom copper across it too
    // A copper layer is current: the pass after it draws the pads again, over everything.
    doc->setup.current_layer = 9;
    redraw(d);
    EXPECT_EQ(at(20, 20), px(kTopColour));
    EXPECT_EQ(at(20, 30), px(kSilkColour));
    EXPECT_EQ(at(30, 20), px(kBottomColour));
    // With silk current, the silk comes last and crosses the pad.
    doc->setup.current_layer = 2;
    redraw(d);
    EXPECT_EQ(at(20, 20), px(kSilkColour));
    EXPECT_EQ(at(17, 20), px(kTopColour)); // the pad master pass follows layer 9
}

TEST_F(DrawTest, MarkedItemsComeLast) {
    Ref under = line(9, 3, 10, 0, 10, 63);
    line(2, 3, 0, 20, 47, 20);
    model::node(under).kind |= model::kMarkFlag;
    doc->setup.current_layer = 7;
    redraw(d);
    // Over the silk line that crosses it, with its one-pixel centre line in its own layer's colour.
    EXPECT_EQ(at(9, 20), px(kHighlight));
    EXPECT_EQ(at(10, 20), px(kBottomColour));
    EXPECT_EQ(at(30, 20), px(kSilkColour));
}

TEST_F(DrawTest, MaskAndPasteDerivedFromCopperPads) {
    doc->setup.mode_pads = 2 | kPadsMaskPaste;
    doc->setup.mask_increment = static_cast<model::Coord>(4 * kPx);
    doc->setup.paste_decrement = static_cast<model::Coord>(2 * kPx);
    doc->setup.current_layer = 1;
    pad(0, 2, 10, 10, 5 * kPx, 5 * kPx, 0); // through-hole rectangle: a mask opening 9 x 9
    pad(1, 6, 10, 40, 7 * kPx, 7 * kPx, 0); // top surface rectangle: mask 11 x 11, paste 5 x 5
    pad(9, 6, 35, 40, 7 * kPx, 7 * kPx, 0); // bottom: not on the top mask or paste
    pad(0, 3, 35, 10, 5 * kPx, 5 * kPx, 0); // a via gets no opening
    redraw(d);
    // Half sizes: 9 x 9 -> 4 px, 11 x 11 -> 5 px; the pads themselves are on top.
    EXPECT_EQ(count(kMaskColour), 9 * 9 - 5 * 5 + 11 * 11 - 7 * 7);
    EXPECT_EQ(at(10, 14), px(kMaskColour));
    EXPECT_EQ(at(10, 12), px(kPadMasterColour));
    // Paste lies under the top copper pad it comes from (layer 4 is drawn before layer 1).
    EXPECT_EQ(count(kPasteColour), 0);
    doc->setup.current_layer = 4;
    redraw(d);
    EXPECT_EQ(count(kPasteColour), 5 * 5);
    // Without the option nothing is derived.
    doc->setup.mode_pads = 2;
    redraw(d);
    EXPECT_EQ(count(kPasteColour) + count(kMaskColour), 0);
}

TEST_F(DrawTest, ComponentsOutsideTheViewAreNotEntered) {
    Ref c = model::make_component(doc->ring(), 0, 0, "R\x7FR1");
    model::MakeItem(model::member_ring(c), model::kLine, 7, static_cast<uint16_t>(kPx), X(5), Y(5), X(30), Y(5));
    model::close_component(c);
    redraw(d);
    EXPECT_GT(count(kDrawColour), 0);
    // A (stale) box far away: the members are not visited.
    model::node(c).box.x1 = model::node(c).box.x2 = 50 * 65536;
    redraw(d);
    EXPECT_EQ(count(kDrawColour), 0);
    // Hidden Components hide their members.
    model::close_component(c);
    model::node(c).kind |= model::kHiddenFlag;
    redraw(d);
    EXPECT_EQ(count(kDrawColour), 0);
}

TEST_F(DrawTest, RedrawStopsWhenTheOKeyIsWaiting) {
    for (int i = 0; i < 2000; ++i) {
        line(2, 1, i % 48, 0, i % 48, 63);
    }
    platform::Headless h;
    int peeks = 0;
    h.input_script = [&] {
        platform::WaitingInput w;
        if (++peeks >= 3) {
            w.key_scan = 24;
        }
        return w;
    };
    platform::install(&h);
    // At 64 dots per inch (scale 2^22: 9 leading zero bits) the check comes every 128 Items.
    EXPECT_EQ(redraw(d), 0);
    EXPECT_TRUE(d.interrupted);
    EXPECT_EQ(d.items_drawn, 3u * 128);
    // A button release only counts while a zoom press is timing.
    peeks = 0;
    h.input_script = [&] {
        platform::WaitingInput w;
        w.left_release = true;
        return w;
    };
    EXPECT_EQ(redraw(d), 1);
    bool timing = true;
    d.hooks.zoom_press_timing = [&] { return timing; };
    EXPECT_EQ(redraw(d), 0);
    platform::install(nullptr);
}

TEST_F(DrawTest, RedrawKeepsToItsRectangles) {
    line(2, 5, 20, 0, 20, 63);
    buf.fill(0x123456);
    d.rects = {Rect{0, 0, 30, 10}, Rect{15, 40, 25, 50}, Rect{-10, 60, 100, 100}};
    redraw(d);
    for (int r = 0; r < 48; ++r) {
        for (int c = 0; c < 64; ++c) {
            bool inside = (r <= 30 && c <= 10) || (r >= 15 && r <= 25 && c >= 40 && c <= 50) || c >= 60;
            if (!inside) {
                ASSERT_EQ(at(r, c), 0x123456u) << r << "," << c;
            }
        }
    }
    EXPECT_EQ(at(20, 45), px(kSilkColour));
    EXPECT_EQ(at(5, 45), 0x123456u);
    EXPECT_TRUE(buf.guard_intact());
}

TEST_F(DrawTest, GridDotsUnderTheItems) {
    d.view.display_grid = 8 * kPx << 16; // every 8 pixels
    redraw(d);
    EXPECT_EQ(at(47, 0), px(0xFFFFFF)); // Document 0,0 is a grid multiple
    EXPECT_EQ(at(39, 8), px(0xFFFFFF));
    EXPECT_EQ(at(40, 8), px(kBackground));
}

TEST_F(DrawTest, StartPictureWithoutADocument) {
    model::close_document(doc);
    doc = nullptr;
    EXPECT_TRUE(redraw(d));
    int not_background = 0;
    for (int r = 0; r < 48; ++r) {
        for (int c = 0; c < 64; ++c) {
            not_background += at(r, c) != d.slots.pixel[kSlotBackground];
        }
    }
    EXPECT_GT(not_background, 50);
    EXPECT_TRUE(buf.guard_intact());
}

// The same board drawn at each depth and turned back into RGB.
std::vector<uint8_t> render_at(int depth, std::vector<uint8_t>* expect_from_32 = nullptr) {
    model::Model m;
    model::Document* doc = model::NewDocument("d.pcb");
    const uint32_t colours[] = {0xFF0000, 0x00FF00, 0x3366CC, 0xC0C0C0, 0x996633, 0xFFFF00};
    for (int i = 0; i < 6; ++i) {
        model::set_layer_name(doc->setup.layers[i], "L");
        doc->setup.layers[i].type = i < 2 ? model::kLayerCopper : model::kLayerSilk;
        model::set_layer_colour(doc->setup.layers[i], colours[i]);
    }
    model::set_screen_colours(doc->setup, 0xFFFFFF, 0x909090, 0xFFFFFF, 0xFFFF00);
    doc->setup.current_layer = 1;
    Ref ring = doc->ring();
    model::MakeItem(ring, model::kLine, 1, 3000, 2000, 2000, 90000, 60000);
    model::MakeItem(ring, model::kLine, 2, 6000, 80000, 5000, 10000, 70000);
    Ref pad = model::MakeItem(ring, model::kPad, 0, 1, 40000, 40000, 0, 0);
    model::node(pad).pad.width = 9000;
    model::node(pad).pad.height = 5000;
    model::node(pad).pad.hole = 2000;
    model::node(pad).pad.angle = 5000;
    Ref arc = model::MakeItem(ring, model::kArc, 3, 2500, 60000, 50000, 20000, 0);
    model::node(arc).arc.sweep = 40000;
    Ref solid = model::MakeItem(ring, model::kLine, 4, 0, 0, 0, 0, 0);
    model::add_vertex(solid, 5000, 60000);
    model::add_vertex(solid, 30000, 70000);
    model::add_vertex(solid, 20000, 40000);
    Ref t = model::MakeItem(ring, model::kText, 5, 9000, 50000, 10000, 0, 0);
    model::SetText(t, "R12");
    testing::GuardedBuffer b(100, 80, depth);
    Display d;
    set_pixel_format(d, format_for_depth(depth), &m);
    set_surface(d, b.buf, 0);
    d.view.scale = 0x800000;
    redraw(d, doc);
    EXPECT_TRUE(b.guard_intact());
    std::vector<uint8_t> rgb = buffer_to_rgb(b.buf, d.format, d.palette, Rect{0, 0, 79, 99});
    if (expect_from_32 != nullptr) {
        // What each true-colour pixel becomes through this depth's conversion.
        std::vector<uint8_t>& e = *expect_from_32;
        for (size_t i = 0; i < e.size(); i += 3) {
            uint32_t c = (uint32_t{e[i]} << 16) | (uint32_t{e[i + 1]} << 8) | e[i + 2];
            uint32_t q = pixel_to_rgb(d.format, d.palette, colour_to_pixel(d.format, c));
            e[i] = static_cast<uint8_t>(q >> 16);
            e[i + 1] = static_cast<uint8_t>(q >> 8);
            e[i + 2] = static_cast<uint8_t>(q);
        }
    }
    return rgb;
}

TEST(DrawDepths, SamePictureAtEveryDepth) {
    std::vector<uint8_t> full = render_at(32);
    EXPECT_EQ(render_at(24), full);
    for (int depth : {16, 8}) {
        std::vector<uint8_t> expect = full;
        std::vector<uint8_t> got = render_at(depth, &expect);
        EXPECT_EQ(got, expect) << depth;
    }
}

class OverlayTest : public DrawTest {};

TEST_F(OverlayTest, CrossHairTwiceRestoresThePicture) {
    line(2, 5, 20, 0, 20, 63);
    redraw(d);
    std::vector<uint8_t> clean = buf.memory;
    // Thin and thick, in angle mode 2, and with each rubber band, over the silk line and at the view's edges.
    for (bool thick : {false, true}) {
        d.thick_crosshair = thick;
        for (int mode : {0, 2}) {
            for (RubberBand band : {RubberBand::None, RubberBand::CrossHair, RubberBand::Rectangle}) {
                d.view.angle_mode = mode;
                d.band = band;
                d.band_row = 3;
                d.band_col = 60;
                for (auto [r, c] : {std::pair{20, 30}, {0, 0}, {47, 63}}) {
                    d.view.cursor_row = r;
                    d.view.cursor_col = c;
                    crosshair_on(d);
                    EXPECT_NE(buf.memory, clean) << thick << mode << r;
                    crosshair_off(d);
                    EXPECT_EQ(buf.memory, clean) << thick << mode << r;
                }
            }
        }
    }
    // Removing takes down what was drawn, even when the band changed in between.
    d.band = RubberBand::Rectangle;
    crosshair_on(d);
    d.band = RubberBand::None;
    d.band_row = 40;
    crosshair_off(d);
    EXPECT_EQ(buf.memory, clean);
    EXPECT_TRUE(buf.guard_intact());
}

TEST_F(OverlayTest, CrossHairShapes) {
    redraw(d);
    uint32_t bg = px(kBackground), x = bg ^ (d.slots.pixel[kSlotXorOutline] & 0xFFFFFF);
    d.view.cursor_row = 20;
    d.view.cursor_col = 30;
    crosshair_on(d);
    // The centre is XORed once like every other pixel of the two lines.
    EXPECT_EQ(at(20, 30), x);
    EXPECT_EQ(at(20, 0), x);
    EXPECT_EQ(at(47, 30), x);
    EXPECT_EQ(at(21, 31), bg);
    crosshair_off(d);
    // The dashed cross-hair of a rubber band: 16 on, 16 off, a dash centred on the cursor.
    d.band = RubberBand::CrossHair;
    crosshair_on(d);
    EXPECT_EQ(at(20, 30 + 7), x);
    EXPECT_EQ(at(20, 30 + 8), bg);
    EXPECT_EQ(at(20, 30 - 8), x);
    EXPECT_EQ(at(20, 30 - 9), bg);
    EXPECT_EQ(at(20 + 24, 30), x);
    crosshair_off(d);
    // Angle mode 2: the diagonals.
    d.band = RubberBand::None;
    d.view.angle_mode = 2;
    crosshair_on(d);
    EXPECT_EQ(at(25, 35), x);
    EXPECT_EQ(at(15, 35), x);
    EXPECT_EQ(at(20, 35), bg);
    crosshair_off(d);
    // A full redraw puts a showing cross-hair back.
    d.view.angle_mode = 0;
    crosshair_on(d);
    redraw(d);
    EXPECT_EQ(at(20, 0), x);
    crosshair_off(d);
    EXPECT_EQ(at(20, 0), bg);
}

class StatusBarTest : public DrawTest {
  protected:
    StatusBarTest() : DrawTest(400, 60, 32, kStatusBarRows) {
    }
};

TEST_F(StatusBarTest, FrameSeparatorsAndTexts) {
    ASSERT_EQ(d.view.area.bottom, 37);
    d.status.push_back(StatusText{4, "Grid: 0.025\"  "});
    redraw(d);
    EXPECT_EQ(at(38, 100), px(0xFFFFFF)); // light
    EXPECT_EQ(at(39, 100), px(0xC0C0C0)); // face
    EXPECT_EQ(at(40, 100), px(0x555555)); // shadow
    EXPECT_EQ(at(50, 158), px(0xFFFFFF));
    EXPECT_EQ(at(50, 159), px(0xC0C0C0));
    EXPECT_EQ(at(50, 160), px(0x555555));
    EXPECT_EQ(at(50, 302), px(0xC0C0C0)); // the second separator only with the read-out
    // Text rows 42..57: some ink in the first character cell.
    int ink = 0;
    for (int r = 42; r < 58; ++r) {
        for (int c = 4; c < 12; ++c) {
            ink += at(r, c) == px(0);
        }
    }
    EXPECT_GT(ink, 10);
    EXPECT_TRUE(buf.guard_intact());
}

} // namespace
} // namespace trazel::display
