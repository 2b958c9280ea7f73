// Vias of the routing passes.  A via goes through every copper layer, so it is judged against all copper
// at once, with the rules the net scan's clearance check applies to a round through-hole pad: tracks at
// the line to pad clearance, pads at the pad to pad clearance both ways round (the check measures each
// net against the others, so the via is a source once and a target once).
#include "router/vias.h"

#include <algorithm>

#include "edit/locate.h"
#include "edit/undo.h"
#include "model/exact_distance.h"
#include "model/hit_test.h"
#include "nets/net_state.h"

namespace trazel::router {

using model::Node;
using model::node;
using model::exact::P2;

namespace {

using model::exact::point_d2;

constexpr int64_t kSlack = 8192;
using model::exact::segment_d2;

bool circular(const Node& pad) {
    return pad.pad.width == pad.pad.height && nets::shape_code(pad) != 2;
}

// "d2 < (doubled distance)^2": the strict test the check makes.
bool within(uint64_t d2, int64_t doubled) {
    if (doubled <= 0) {
        return false;
    }
    return d2 < static_cast<uint64_t>(doubled) * static_cast<uint64_t>(doubled);
}

// The pad against another pad, its spine taken as the check takes it (rectangles as oblongs): the point
// or segment, and its diameter.
uint64_t pad_spine_d2(const Node& pad, P2 q, int64_t& diam) {
    const model::PadFields& f = pad.pad;
    P2 c = model::exact::doubled(f.x0, f.y0);
    int64_t w = f.width, h = f.height;
    if (circular(pad)) {
        diam = w;
        return point_d2(c, q);
    }
    diam = std::min(w, h);
    if (w == h) {
        return point_d2(c, q);
    }
    model::Turn t = edit::turn_of(f.angle);
    auto turned = [&](int64_t x, int64_t y) {
        return P2{c.x + model::round16(x * t.cos - y * t.sin), c.y + model::round16(x * t.sin + y * t.cos)};
    };
    bool wide = w > h;
    int64_t along = wide ? w - h : h - w;
    P2 a = wide ? turned(-along, 0) : turned(0, -along), b = wide ? turned(along, 0) : turned(0, along);
    return segment_d2(a, b, q);
}

bool pad_too_near(const RouteSettings& s, const Node& pad, Point at) {
    P2 v = model::exact::doubled(at.x, at.y);
    int64_t via = s.via_pad, cpp = 2 * int64_t{s.clear_pad_pad};
    // The via as source: a round pad against an oblong one goes centre to centre with the other's width.
    if (!circular(pad) &&
        within(point_d2(v, model::exact::doubled(pad.pad.x0, pad.pad.y0)), via + pad.pad.width + cpp)) {
        return true;
    }
    int64_t diam = 0;
    uint64_t d2 = pad_spine_d2(pad, v, diam);
    return within(d2, via + diam + cpp);
}

} // namespace

bool via_clear(const Router& r, Point at, Ref own) {
    const RouteSettings& s = r.set;
    const model::Setup& st = r.doc.setup;
    int64_t half = (int64_t{s.via_pad} + 1) / 2;
    // The check takes a turned oblong pad's width as its diameter, which reaches beyond the pad's box: look
    // that much further (pads longer than a quarter inch turned off their axis aside).
    int64_t reach = half + std::max<int64_t>({int64_t{s.clear_line_pad}, int64_t{s.clear_pad_pad}, 0}) + 2 + kSlack;
    int64_t clp = s.clear_line_pad;
    P2 v = model::exact::doubled(at.x, at.y);
    bool blocked = false;
    r.q->visit_near(
        int64_t{at.x} - reach, int64_t{at.y} - reach, int64_t{at.x} + reach, int64_t{at.y} + reach, [&](Ref x) {
            if (blocked) {
                return;
            }
            const Node& n = node(x);
            if (n.hidden() || n.layer == model::kRatnestLayer) {
                return;
            }
            // Drills may not meet whatever net they belong to: a via on its own pad's hole
            // is a drill fault too.
            if (n.item_kind() == model::kPad && !nets::smt_pad(n)) {
                int64_t holes = int64_t{n.pad.hole} + s.via_hole;
                if (point_d2(v, model::exact::doubled(n.pad.x0, n.pad.y0)) <=
                    static_cast<uint64_t>(holes) * static_cast<uint64_t>(holes)) {
                    blocked = true;
                    return;
                }
            }
            if (n.marked()) {
                return;
            }
            if (own != model::kNone && model::item_signal(x) == own) {
                return;
            }
            bool copper_layer = n.layer == 0 || nets::conductive_layer(st, n.layer);
            switch (n.item_kind()) {
            case model::kPad:
                blocked = pad_too_near(s, n, at);
                break;
            case model::kLine:
                if (!copper_layer) {
                    break;
                }
                if (n.size != 0) {
                    P2 a = model::exact::doubled(n.line.x1, n.line.y1);
                    P2 b = model::exact::doubled(n.line.x2, n.line.y2);
                    blocked = within(segment_d2(a, b, v), int64_t{n.size} + s.via_pad + 2 * clp);
                } else if (n.link != model::kNone) {
                    // A Solid: inside it, or within the clearance of an edge.
                    blocked = model::point_in_solid(x, at, 0) ||
                              model::point_in_solid(x, at, static_cast<uint64_t>(half + clp + 1));
                }
                break;
            case model::kArc:
                blocked =
                    copper_layer && model::hit_arc_stroke(n, static_cast<uint64_t>(half + clp + 2), at, edit::turn_of);
                break;
            case model::kText: {
                model::Box b;
                if (copper_layer && model::hit_extent(n, b)) {
                    int64_t g = half + clp + 1;
                    blocked = at.x >= b.x1 - g && at.x <= b.x2 + g && at.y >= b.y1 - g && at.y <= b.y2 + g;
                }
                break;
            }
            default:
                break;
            }
        });
    return !blocked;
}

Ref place_via(Router& r, Point at, Ref signal) {
    Ref v = model::kNone;
    r.change([&] {
        v = model::MakeItem(r.doc.ring(), model::kPad, 0, 3, at.x, at.y, 0, 0);
        if (v == model::kNone) {
            return;
        }
        Node& n = node(v);
        n.pad.width = n.pad.height = static_cast<model::Length>(std::clamp<Coord>(r.set.via_pad, 1, 65535));
        n.pad.hole = static_cast<model::Length>(std::clamp<Coord>(r.set.via_hole, 0, 65535));
        n.pad.angle = 0;
        if (signal != model::kNone) {
            model::AttachSignal(v, model::signal_name(signal));
        }
        edit::RecordCreated(r.doc, v, r.undo_number++);
        r.q->added(v);
        r.doc.mark_modified();
    });
    if (v != model::kNone) {
        r.draw(v);
    }
    return v;
}

} // namespace trazel::router
