#pragma once
// A fresh model with one board Document and small builders for the Items the editing tests use.
#include <gtest/gtest.h>

#include <string>

#include "display/display.h"
#include "edit/editor.h"
#include "model/model.h"
#include "platform/headless.h"

namespace edit_test {

using namespace trazel;
using model::Coord;
using model::Node;
using model::node;
using model::Point;
using model::Ref;

// Pad types: T1 oval through-hole, T2 rectangular through-hole, T3 via, S1 oval and S2 rectangular SMT.
constexpr uint16_t kOvalThru = 1, kRectThru = 2, kVia = 3, kOvalSmt = 5, kRectSmt = 6;

struct EditTest : ::testing::Test {
    model::Model m;
    model::Document* d = nullptr;
    platform::Headless ui;
    display::Display disp; // without a buffer: draws nothing, so the tests see the model only
    edit::Editor ed;

    void SetUp() override {
        platform::install(&ui);
        d = model::NewDocument("board.pcb");
        ASSERT_NE(d, nullptr);
        // A two-sided board: top copper 1, bottom copper 2, top silk 3, bottom silk 4, a hidden layer 5.
        layer(0, "Pad Master", 0);
        layer(1, "Top", model::kLayerCopper);
        layer(2, "Bottom", model::kLayerCopper | model::kLayerBottom);
        layer(3, "Silk", model::kLayerSilk);
        layer(4, "Silk Bottom", model::kLayerSilk | model::kLayerBottom);
        layer(5, "Hidden", model::kLayerDrawing);
        model::set_layer_colour(d->setup.layers[5], model::kNoColour);
        d->setup.current_layer = 1;
        d->setup.line_width = 655;
    }
    void TearDown() override {
        platform::install(nullptr);
    }

    void layer(int i, const char* name, uint8_t type) {
        model::set_layer_name(d->setup.layers[i], name);
        d->setup.layers[i].type = type;
        model::set_layer_colour(d->setup.layers[i], 0x00FF00);
    }
    Ref ring() const {
        return d->ring();
    }
    Ref track(int layer, Coord x1, Coord y1, Coord x2, Coord y2, uint16_t width = 100, Ref where = model::kNone) {
        return model::MakeItem(where ? where : ring(), model::kLine, static_cast<uint8_t>(layer), width, x1, y1, x2,
                               y2);
    }
    Ref pad(int layer, Coord x, Coord y, uint16_t w, uint16_t h, uint16_t type, Ref where = model::kNone,
            model::Angle angle = 0) {
        Ref p = model::MakeItem(where ? where : ring(), model::kPad, static_cast<uint8_t>(layer), type, x, y, 0, 0);
        node(p).pad.width = w;
        node(p).pad.height = h;
        node(p).pad.hole = (type & 4) ? 0 : 300;
        node(p).pad.angle = angle;
        return p;
    }
    Ref arc(int layer, Coord x, Coord y, Coord r, model::Angle start, model::Angle sweep, uint16_t width = 200,
            Ref where = model::kNone) {
        Ref a = model::MakeItem(where ? where : ring(), model::kArc, static_cast<uint8_t>(layer), width, x, y, r, 0);
        node(a).arc.start = start;
        node(a).arc.sweep = sweep;
        return a;
    }
    Ref text(int layer, Coord x, Coord y, uint16_t height, Coord length, uint8_t anchor = 0, model::Angle angle = 0,
             Ref where = model::kNone) {
        Ref t = model::MakeItem(where ? where : ring(), model::kText, static_cast<uint8_t>(layer), height, x, y,
                                length, 0);
        node(t).text.angle = angle;
        node(t).text.anchor_font = anchor;
        node(t).text.lines = 1;
        model::SetText(t, "T");
        return t;
    }
    Ref solid(int layer, std::initializer_list<Point> pts, Ref where = model::kNone) {
        Ref s = model::MakeItem(where ? where : ring(), model::kLine, static_cast<uint8_t>(layer), 0, 0, 0, 0, 0);
        for (Point p : pts) {
            model::add_vertex(s, p.x, p.y);
        }
        return s;
    }
    // A Component with the given reference; members are added through its member ring and the box closed
    // with close().
    Ref component(const std::string& ref, Coord ix = 0, Coord iy = 0) {
        std::string params = "PAT";
        params += '\x7F';
        params += ref;
        Ref c = model::make_component(ring(), 0, 0, params);
        node(model::member_ring(c)).box.x1 = ix;
        node(model::member_ring(c)).box.y1 = iy;
        return c;
    }
    static Ref members(Ref c) {
        return model::member_ring(c);
    }
    static void close(Ref c) {
        model::close_component(c);
    }
    static Point p1(Ref line) {
        return Point{node(line).line.x1, node(line).line.y1};
    }
    static Point p2(Ref line) {
        return Point{node(line).line.x2, node(line).line.y2};
    }
    int ring_size(Ref head) const {
        int n = 0;
        model::for_each_item(head, [&](Ref) { ++n; });
        return n;
    }
};

inline bool same(Point a, Point b) {
    return a.x == b.x && a.y == b.y;
}

} // namespace edit_test
