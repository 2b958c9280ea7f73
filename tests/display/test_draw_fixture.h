#pragma once
// A Document with a small board Layer table and a display over a guarded buffer at 64 dots per inch, so
// one pixel is 1024 units: pixel (row, col) is the point (col * 1024, (height - 1 - row) * 1024).
#include <gtest/gtest.h>

#include "display/display.h"
#include "model/model.h"
#include "test_raster_fixture.h"

namespace trazel::display::testing {

constexpr uint32_t kPadMasterColour = 0xFF0000, kTopColour = 0x00FF00, kSilkColour = 0x0000FF, kMaskColour = 0xFFFF00,
                   kPasteColour = 0x00FFFF, kDrawColour = 0xFF00FF, kBottomColour = 0x3366CC;
constexpr uint32_t kBackground = 0x909090, kHighlight = 0xFFFFFF, kMarker = 0xFFFF33;
constexpr model::Coord kPx = 1024; // units per pixel at 64 dots per inch

class DrawTest : public ::testing::Test {
  protected:
    explicit DrawTest(int width = 64, int height = 48, int depth = 32, int status_rows = 0)
        : buf(width, height, depth) {
        doc = model::NewDocument("test.pcb");
        layer(0, "Pad Master", model::kLayerCopper, kPadMasterColour);
        layer(1, "Top", model::kLayerCopper, kTopColour);
        layer(2, "Silk", model::kLayerSilk, kSilkColour);
        layer(3, "Mask", model::kLayerMask, kMaskColour);
        layer(4, "Paste", model::kLayerPaste, kPasteColour);
        layer(7, "Drawing", model::kLayerDrawing, kDrawColour);
        layer(9, "Bottom", model::kLayerCopper | model::kLayerBottom, kBottomColour);
        model::set_screen_colours(doc->setup, 0xFFFFFF, kBackground, kHighlight, kMarker);
        doc->setup.current_layer = 7;
        set_pixel_format(d, format_for_depth(depth), &m);
        set_surface(d, buf.buf, status_rows);
        d.view.scale = 0x400000; // 64 dots per inch
        d.view.origin_x = 0;
        d.view.origin_y = 0;
    }

    void layer(int i, const char* name, uint8_t type, uint32_t colour) {
        model::set_layer_name(doc->setup.layers[i], name);
        doc->setup.layers[i].type = type;
        model::set_layer_colour(doc->setup.layers[i], colour);
    }
    model::Coord X(int col) const {
        return col * kPx;
    }
    model::Coord Y(int row) const {
        return (d.view.drawing_height - 1 - row) * kPx;
    }
    Ref line(int layer_no, int width_px, int r1, int c1, int r2, int c2) {
        return model::MakeItem(doc->ring(), model::kLine, static_cast<uint8_t>(layer_no),
                               static_cast<uint16_t>(width_px * kPx), X(c1), Y(r1), X(c2), Y(r2));
    }
    Ref pad(int layer_no, int type, int row, int col, model::Coord w, model::Coord h, model::Coord hole) {
        Ref p = model::MakeItem(doc->ring(), model::kPad, static_cast<uint8_t>(layer_no), static_cast<uint16_t>(type),
                                X(col), Y(row), 0, 0);
        model::node(p).pad.width = static_cast<uint16_t>(w);
        model::node(p).pad.height = static_cast<uint16_t>(h);
        model::node(p).pad.hole = static_cast<uint16_t>(hole);
        return p;
    }
    // The display draws the Document it is given: the fixture's.
    int redraw(Display& on, bool full = true, bool layer_only = false) {
        return display::redraw(on, doc, full, layer_only);
    }
    int draw_item(Display& on, Ref item) {
        return display::draw_item(on, *doc, item);
    }
    int draw_item_marker(Display& on, Ref item) {
        return display::draw_item_marker(on, *doc, item);
    }
    int erase_item(Display& on, Ref item) {
        return display::erase_item(on, *doc, item);
    }
    int draw_item_as(Display& on, Ref item, uint32_t pixel, model::Coord dx = 0, model::Coord dy = 0) {
        return display::draw_item_as(on, *doc, item, pixel, dx, dy);
    }

    uint32_t px(uint32_t colour) const {
        return colour_to_pixel(d.format, colour);
    }
    uint32_t at(int row, int col) const {
        return buf.get(row, col);
    }
    int count(uint32_t colour) const {
        int n = 0;
        for (int r = 0; r < buf.height; ++r) {
            for (int c = 0; c < buf.width; ++c) {
                n += buf.get(r, c) == px(colour);
            }
        }
        return n;
    }

    model::Model m;
    model::Document* doc = nullptr;
    GuardedBuffer buf;
    Display d;
};

} // namespace trazel::display::testing
