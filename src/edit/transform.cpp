// The transforms of what hangs on the cursor: rotation, mirroring, the other side and scaling, all about
// the grab reference point (the point under the cursor).
#include <algorithm>

#include "display/trig.h"
#include "edit/grab.h"
#include "edit/grab_internal.h"

namespace trazel::edit {

using model::Angle;
using model::Node;
using model::node;

namespace {

constexpr Angle kQuarter = 16384;
constexpr Angle kHalf = 32768;

// Displacements and lengths: anything an int32 holds.  Coordinates go through model::clamp_coord.
Coord clamp_int32(int64_t v) {
    return static_cast<Coord>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

struct Mapper {
    Transform t;
    int32_t value;
    Point pivot;
    display::Rotation rot;

    Point map(Point p) const {
        int64_t x = int64_t{p.x} - pivot.x, y = int64_t{p.y} - pivot.y;
        int64_t nx = x, ny = y;
        switch (t) {
        case Transform::Rotate90:
            nx = -y;
            ny = x;
            break;
        case Transform::Rotate:
            nx = rot.x(x, y);
            ny = rot.y(x, y);
            break;
        case Transform::MirrorX:
            ny = -y;
            break;
        case Transform::MirrorY:
        case Transform::OtherSide:
            nx = -x;
            break;
        case Transform::Scale:
            nx = scale(x);
            ny = scale(y);
            break;
        }
        return Point{model::clamp_coord(pivot.x + nx), model::clamp_coord(pivot.y + ny)};
    }

    int64_t scale(int64_t v) const {
        int64_t p = v * value;
        return p >= 0 ? (p + 0x8000) >> 16 : -((-p + 0x8000) >> 16);
    }

    // An angle of an Item that moves whole (Pad, Component, an Arc's rotation): turned with it; a mirror
    // reflects it (about the vertical axis -a, about the horizontal axis 180 - a).
    Angle angle(Angle a) const {
        switch (t) {
        case Transform::Rotate90:
            return static_cast<Angle>(a + kQuarter);
        case Transform::Rotate:
            return static_cast<Angle>(a + static_cast<Angle>(value));
        case Transform::MirrorX:
            return static_cast<Angle>(kHalf - a);
        case Transform::MirrorY:
        case Transform::OtherSide:
            return static_cast<Angle>(-a);
        case Transform::Scale:
            return a;
        }
        return a;
    }

    bool mirrors() const {
        return t == Transform::MirrorX || t == Transform::MirrorY || t == Transform::OtherSide;
    }
};

void map_text(const Mapper& m, Node& n) {
    model::TextFields& f = n.text;
    if (m.t == Transform::Rotate90) {
        int h = f.anchor_font & 3, v = (f.anchor_font >> 2) & 3;
        Angle a = static_cast<Angle>(f.angle + kQuarter);
        if (a == kHalf && h != 3 && v != 3) {
            // Upside down: kept readable at 0 degrees with the anchor on the opposite corner instead.
            a = 0;
            h = h == 0 ? 2 : (h == 2 ? 0 : h);
            v = v == 0 ? 2 : (v == 2 ? 0 : v);
            f.anchor_font = static_cast<uint8_t>((f.anchor_font & 0xF0) | (v << 2) | h);
        }
        f.angle = a;
        return;
    }
    if (m.mirrors()) {
        // A mirrored Text writes backwards along its angle: the reflection of one at angle a is the
        // mirrored Text at -a (vertical axis) or 180 - a (horizontal axis).
        f.angle = m.angle(f.angle);
        f.length = f.length == INT32_MIN ? INT32_MAX : -f.length;
        return;
    }
    f.angle = m.angle(f.angle);
}

void map_arc_whole(const Mapper& m, Node& n) {
    model::ArcFields& f = n.arc;
    Point c = m.map(Point{f.x0, f.y0});
    f.x0 = c.x;
    f.y0 = c.y;
    if (m.t == Transform::Scale) {
        f.radius = clamp_int32(m.scale(f.radius));
        return;
    }
    bool turned = f.ellipse != 0 || f.angle != 0;
    if (m.t == Transform::Rotate90 || m.t == Transform::Rotate) {
        Angle by = m.t == Transform::Rotate90 ? kQuarter : static_cast<Angle>(m.value);
        if (m.t == Transform::Rotate90 ? turned : f.ellipse != 0) {
            f.angle = static_cast<Angle>(f.angle + by);
        } else {
            f.start = static_cast<Angle>(f.start + by);
        }
        return;
    }
    // A mirror reverses the sweep's direction: the reflected arc runs from the image of its end to the
    // image of its start.  For a circle the rotation is part of the start angle.
    Angle base = m.t == Transform::MirrorX ? 0 : kHalf;
    if (f.ellipse != 0) {
        f.angle = static_cast<Angle>(-f.angle);
        f.start = static_cast<Angle>(base - f.start - f.sweep);
    } else {
        Angle eff = static_cast<Angle>(f.start + f.angle);
        Angle mirrored = static_cast<Angle>(base - eff - f.sweep);
        f.start = static_cast<Angle>(mirrored - f.angle);
    }
}

void map_entry(const Mapper& m, const GrabEntry& e, Node& n) {
    bool first = (e.flags & kGrabFirst) != 0, second = (e.flags & kGrabSecond) != 0;
    auto map_pair = [&](Coord& x, Coord& y) {
        Point p = m.map(Point{x, y});
        x = p.x;
        y = p.y;
    };
    switch (n.item_kind()) {
    case model::kLine:
    case model::kPointGroup:
        if (first) {
            map_pair(n.line.x1, n.line.y1);
        }
        if (second) {
            map_pair(n.line.x2, n.line.y2);
        }
        break;
    case model::kComponent:
        if (first) {
            map_pair(n.box.x1, n.box.y1);
        }
        if (second) {
            map_pair(n.box.x2, n.box.y2);
        }
        if (first && second) {
            n.size = m.angle(n.size);
        }
        break;
    case model::kHead:
        if (first) {
            map_pair(n.box.x1, n.box.y1);
        }
        break;
    case model::kArc:
        if (first) {
            map_arc_whole(m, n);
        } else if (second) {
            // One end held: it goes where the transform takes it, on the arc's curve.
            bool start_end = (e.flags & kGrabArcStart) != 0;
            Angle which = start_end ? n.arc.start : static_cast<Angle>(n.arc.start + n.arc.sweep);
            Point end = model::arc_point(n, which, turn_of);
            Point to = m.map(end);
            apply_offset(n, e.flags, int64_t{to.x} - end.x, int64_t{to.y} - end.y);
        }
        break;
    case model::kPad:
        if (first) {
            map_pair(n.pad.x0, n.pad.y0);
            n.pad.angle = m.angle(n.pad.angle);
        }
        break;
    case model::kText:
        if (first) {
            map_pair(n.text.x0, n.text.y0);
            map_text(m, n);
        }
        break;
    default:
        break;
    }
}

} // namespace

int other_side_layer(const model::Setup& s, int layer) {
    layer &= 0xFF;
    if (layer == model::kPadMasterLayer || layer == model::kRatnestLayer || !s.layers[layer].in_use()) {
        return layer;
    }
    uint8_t type = s.layers[layer].kind();
    bool bottom = (s.layers[layer].type & model::kLayerBottom) != 0;
    // The layer's place among the layers of its type on its side, and the layer with the same place on
    // the other side.
    int place = 0;
    for (int i = 1; i < layer; ++i) {
        const model::LayerEntry& e = s.layers[i];
        if (e.in_use() && e.kind() == type && ((e.type & model::kLayerBottom) != 0) == bottom) {
            ++place;
        }
    }
    for (int i = 1; i < model::kRatnestLayer; ++i) {
        const model::LayerEntry& e = s.layers[i];
        if (e.in_use() && e.kind() == type && ((e.type & model::kLayerBottom) != 0) != bottom && place-- == 0) {
            return i;
        }
    }
    return layer;
}

void transform_node(model::Node& n, uint8_t flags, Transform t, int32_t value, Point pivot) {
    Mapper m{t, value, pivot, display::Rotation::of(static_cast<Angle>(value))};
    map_entry(m, GrabEntry{model::kNone, model::kNone, flags}, n);
}

int transform_grab(GrabList& g, display::Display& d, Transform t, int32_t value) {
    if (g.empty() || g.doc == nullptr) {
        return 0;
    }
    Mapper m{t, value, g.ref, display::Rotation::of(static_cast<Angle>(value))};
    bool was = g.shown;
    hide_grab(g, d);
    for (const GrabEntry& e : g.entries) {
        if (e.companion()) {
            continue;
        }
        Node& n = node(e.copy);
        map_entry(m, e, n);
        if (t == Transform::OtherSide && n.item_kind() != model::kComponent && n.item_kind() != model::kHead) {
            n.layer = static_cast<uint8_t>(other_side_layer(g.doc->setup, n.layer));
        }
    }
    if (was) {
        show_grab(g, d);
    }
    return 1;
}

} // namespace trazel::edit
