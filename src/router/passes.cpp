// The four pattern passes.  Each walks the Ratnest lines in their sorted order and tries, for every line
// it handles, the routing layers that allow the axis it needs, lowest layer first.
#include "router/passes.h"

#include <algorithm>
#include <unordered_map>

#include "edit/undo.h"
#include "nets/net_state.h"
#include "router/line_walk.h"

namespace trazel::router {

using model::Node;
using model::node;

namespace {

constexpr int64_t kTol = kEndTolerance;
constexpr int64_t kPitchMin = 652;  // about 0.01 inch
constexpr int64_t kPitchMax = 6555; // about 0.1 inch
constexpr int64_t kLMin = 6551;     // the "L" pass wants both extents at least 0.1 inch


// The in-line offset from a blocking Pad in line with the end (across coordinate `v`): d = (w + extent
// + 3)/2 + Clp, the extent being the pad's size across the run.  -1 when the blocker is no such Pad.
int64_t jog_offset(const Router& r, const Frame& f, Ref blocker, int64_t v) {
    if (blocker == model::kNone) {
        return -1;
    }
    const Node& n = node(blocker);
    if (n.item_kind() != model::kPad || n.pad.angle % 16384 != 0) {
        return -1;
    }
    if (!near(f.v(Point{n.pad.x0, n.pad.y0}), v)) {
        return -1;
    }
    bool turned = n.pad.angle == 16384 || n.pad.angle == 49152;
    // Across a vertical run lies the pad's width, across a horizontal one its height; turned, the other.
    int64_t extent = (f.vertical != turned) ? n.pad.width : n.pad.height;
    return (int64_t{r.set.track_width} + extent + 3) / 2 + r.set.clear_line_pad;
}

bool clear(const Router& r, int layer, Point a, Point b, Ref sig) {
    return r.q->segment_clear(layer, r.set.track_width, a, b, sig);
}

// The jog of the in-line and "L" passes: E1-P1, P1-P2, P2-E2 with the offsets of the blockers at each end.
// `tries` are the (P1, P2) pairs in the order they are tried.
Tried jog(Router& r, const Frame& f, const Rat& rat, int layer, Point e1, Point e2,
          std::initializer_list<std::pair<Point, Point>> tries) {
    for (const auto& [p1, p2] : tries) {
        int64_t len = f.u(p2) - f.u(p1);
        if (len < 0) {
            continue;
        }
        if (!clear(r, layer, e1, p1, rat.sig) || !clear(r, layer, e2, p2, rat.sig)) {
            continue;
        }
        if (r.q->free_run(layer, r.set.track_width, p1, f.plus(), rat.sig).distance < len) {
            continue;
        }
        // The middle run is tested where it is laid when its ends are not in line.
        if (!near(f.v(p1), f.v(p2)) && !clear(r, layer, p1, p2, rat.sig)) {
            continue;
        }
        replace_line(r, rat.line, layer, {e1, p1, p2, e2});
        return Tried::Routed;
    }
    return Tried::Processed;
}

// --- Straight ---------------------------------------------------------------------------------------

Tried straight(Router& r, const Rat& rat) {
    int64_t dx = int64_t{rat.b.x} - rat.a.x, dy = int64_t{rat.b.y} - rat.a.y;
    bool horizontal = model::abs64(dy) <= kTol;
    bool vertical = !horizontal && model::abs64(dx) <= kTol;
    if (!horizontal && !vertical) {
        return Tried::Skipped;
    }
    Frame f{vertical};
    Point e1 = f.u(rat.a) <= f.u(rat.b) ? rat.a : rat.b;
    int64_t len = model::abs64(f.u(rat.b) - f.u(rat.a));
    for (int layer : layers_with(r.doc.setup, f.bit())) {
        if (!layer_ok(rat, layer)) {
            continue;
        }
        if (len <= r.q->free_run(layer, r.set.track_width, e1, f.plus(), rat.sig).distance) {
            convert_line(r, rat.line, layer);
            return Tried::Routed;
        }
    }
    return Tried::Processed;
}

// --- In-line ----------------------------------------------------------------------------------------

Tried inline_route(Router& r, const Rat& rat) {
    int64_t dx = int64_t{rat.b.x} - rat.a.x, dy = int64_t{rat.b.y} - rat.a.y;
    bool horizontal = model::abs64(dy) < kTol;
    bool vertical = !horizontal && model::abs64(dx) < kTol;
    if (!horizontal && !vertical) {
        return Tried::Skipped;
    }
    Frame f{vertical};
    bool swap = f.u(rat.a) > f.u(rat.b);
    Point e1 = swap ? rat.b : rat.a, e2 = swap ? rat.a : rat.b;
    int64_t len = f.u(e2) - f.u(e1);
    Coord w = r.set.track_width;
    for (int layer : layers_with(r.doc.setup, f.bit())) {
        if (!layer_ok(rat, layer)) {
            continue;
        }
        FreeRun r1 = r.q->free_run(layer, w, e1, f.plus(), rat.sig);
        if (r1.distance >= len) {
            convert_line(r, rat.line, layer);
            return Tried::Routed;
        }
        int64_t d1 = jog_offset(r, f, r1.blocker, f.v(e1));
        if (d1 < 0) {
            continue;
        }
        FreeRun r2 = r.q->free_run(layer, w, e2, f.minus(), rat.sig);
        int64_t d2 = jog_offset(r, f, r2.blocker, f.v(e2));
        if (d2 < 0) {
            continue;
        }
        Tried t;
        if (vertical) {
            // The jog to the right (+X) first, then to the left.
            t = jog(r, f, rat, layer, e1, e2,
                    {{Point{model::clamp_coord(e1.x + d1), model::clamp_coord(e1.y + d1)},
                      Point{model::clamp_coord(e2.x + d2), model::clamp_coord(e2.y - d2)}},
                     {Point{model::clamp_coord(e1.x - d1), model::clamp_coord(e1.y + d1)},
                      Point{model::clamp_coord(e2.x - d2), model::clamp_coord(e2.y - d2)}}});
        } else {
            t = jog(r, f, rat, layer, e1, e2,
                    {{Point{model::clamp_coord(e1.x + d1), model::clamp_coord(e1.y + d1)},
                      Point{model::clamp_coord(e2.x - d2), model::clamp_coord(e2.y + d2)}},
                     {Point{model::clamp_coord(e1.x + d1), model::clamp_coord(e1.y - d1)},
                      Point{model::clamp_coord(e2.x - d2), model::clamp_coord(e2.y - d2)}}});
        }
        if (t == Tried::Routed) {
            return t;
        }
    }
    return Tried::Processed;
}

// --- "L" --------------------------------------------------------------------------------------------

Tried l_route(Router& r, const Rat& rat) {
    int64_t dx = int64_t{rat.b.x} - rat.a.x, dy = int64_t{rat.b.y} - rat.a.y;
    if (model::abs64(dx) < kLMin || model::abs64(dy) < kLMin) {
        return Tried::Skipped;
    }
    Frame f{false};
    bool swap = rat.a.x > rat.b.x;
    Point e1 = swap ? rat.b : rat.a, e2 = swap ? rat.a : rat.b;
    Coord w = r.set.track_width;
    for (int layer : layers_with(r.doc.setup, kXAxis)) {
        if (!layer_ok(rat, layer)) {
            continue;
        }
        FreeRun r1 = r.q->free_run(layer, w, e1, Axis::PlusX, rat.sig);
        // The diagonal that is laid is tested, not only the horizontal run.
        if (r1.distance >= int64_t{e2.x} - e1.x && clear(r, layer, e1, e2, rat.sig)) {
            convert_line(r, rat.line, layer);
            return Tried::Routed;
        }
        int64_t d1 = jog_offset(r, f, r1.blocker, e1.y);
        if (d1 < 0) {
            continue;
        }
        FreeRun r2 = r.q->free_run(layer, w, e2, Axis::MinusX, rat.sig);
        int64_t d2 = jog_offset(r, f, r2.blocker, e2.y);
        if (d2 < 0) {
            continue;
        }
        Tried t = jog(r, f, rat, layer, e1, e2,
                      {{Point{model::clamp_coord(e1.x + d1), model::clamp_coord(e1.y + d1)},
                        Point{model::clamp_coord(e2.x - d2), model::clamp_coord(e2.y + d2)}},
                       {Point{model::clamp_coord(e1.x + d1), model::clamp_coord(e1.y - d1)},
                        Point{model::clamp_coord(e2.x - d2), model::clamp_coord(e2.y - d2)}}});
        if (t == Tried::Routed) {
            return t;
        }
    }
    return Tried::Processed;
}

// --- Data bus ---------------------------------------------------------------------------------------

struct Layouts {
    std::unordered_map<Ref, uint32_t> codes;
    uint32_t of(const std::vector<Ref>& pads) {
        if (pads.empty()) {
            return 0;
        }
        Ref p = pads.front();
        auto it = codes.find(p);
        if (it != codes.end()) {
            return it->second;
        }
        uint32_t c = package_layout(p);
        codes.emplace(p, c);
        return c;
    }
};

bool column_layout(uint32_t c) {
    return (c & 0xFFFF) % 2 == 1;
}
bool row_layout(uint32_t c) {
    return (c & 0xFFFF) != 0 && (c & 0xFFFF) % 2 == 0;
}

// The turn point on the end's own row from the blocker of its free run: sign +1 for E1 (run ahead),
// -1 for E2 (run back).  False when the blocker is neither a Pad in the row nor a 45-degree bus track.
bool turn_point(const Frame& f, Ref blocker, Point e, int sign, int64_t pitch, int64_t& out) {
    int64_t h = pitch / 2, eu = f.u(e), ev = f.v(e);
    if (blocker == model::kNone) {
        return false;
    }
    const Node& n = node(blocker);
    if (n.item_kind() == model::kPad) {
        Point c{n.pad.x0, n.pad.y0};
        if (!near(f.v(c), ev)) {
            return false;
        }
        out = sign > 0 ? eu + (f.u(c) - eu - h) / 2 : eu - (eu - f.u(c) - h) / 2;
        return true;
    }
    if (n.item_kind() != model::kLine || n.size == 0) {
        return false;
    }
    Point p1{n.line.x1, n.line.y1}, p2{n.line.x2, n.line.y2};
    bool end1 = near(f.v(p1), ev), end2 = near(f.v(p2), ev);
    int64_t du = model::abs64(f.u(p2) - f.u(p1)), dv = model::abs64(f.v(p2) - f.v(p1));
    if ((!end1 && !end2) || !near(du, dv)) {
        return false;
    }
    if (du < pitch + kTol) {
        out = sign > 0 ? (f.u(p1) + f.u(p2) - h) / 2 : (f.u(p1) + f.u(p2) + h) / 2;
    } else {
        int64_t on_row = end1 ? f.u(p1) : f.u(p2);
        out = sign > 0 ? on_row - h : on_row + h;
    }
    return true;
}

// Steps 4 and 5 of case A: up (or across to +v) first, then down, passing between neighbouring pins.
Tried five_lines(Router& r, const Frame& f, const Rat& rat, int layer, Point e1, Point e2, int64_t p1u, int64_t p4u,
                 int64_t h) {
    Point p1 = f.at(p1u, f.v(e1)), p4 = f.at(p4u, f.v(e2));
    for (int s : {1, -1}) {
        Point p2 = f.at(p1u + h, f.v(e1) + s * h), p3 = f.at(p4u - h, f.v(e2) + s * h);
        int64_t len = f.u(p3) - f.u(p2);
        if (len < 0 || r.q->free_run(layer, r.set.track_width, p2, f.plus(), rat.sig).distance < len) {
            continue;
        }
        if (!clear(r, layer, p1, p2, rat.sig) || !clear(r, layer, p4, p3, rat.sig)) {
            continue;
        }
        // The runs along the rows, and a middle run that is not in line, are tested where they are laid.
        if (!clear(r, layer, e1, p1, rat.sig) || !clear(r, layer, p4, e2, rat.sig) ||
            (!near(f.v(p2), f.v(p3)) && !clear(r, layer, p2, p3, rat.sig))) {
            continue;
        }
        replace_line(r, rat.line, layer, {e1, p1, p2, p3, p4, e2});
        return Tried::Routed;
    }
    return Tried::Processed;
}

Tried bus_case_a(Router& r, const Frame& f, const Rat& rat, int64_t pitch) {
    bool swap = f.u(rat.a) > f.u(rat.b);
    Point e1 = swap ? rat.b : rat.a, e2 = swap ? rat.a : rat.b;
    Coord w = r.set.track_width;
    for (int layer : layers_with(r.doc.setup, f.bit())) {
        if (!layer_ok(rat, layer)) {
            continue;
        }
        FreeRun r1 = r.q->free_run(layer, w, e1, f.plus(), rat.sig);
        if (r1.distance == 0) {
            continue;
        }
        if (r1.distance >= f.u(e2) - f.u(e1)) {
            convert_line(r, rat.line, layer);
            return Tried::Routed;
        }
        int64_t p1u = 0, p4u = 0;
        if (!turn_point(f, r1.blocker, e1, 1, pitch, p1u)) {
            continue;
        }
        FreeRun r2 = r.q->free_run(layer, w, e2, f.minus(), rat.sig);
        if (!turn_point(f, r2.blocker, e2, -1, pitch, p4u)) {
            continue;
        }
        if (five_lines(r, f, rat, layer, e1, e2, p1u, p4u, pitch / 2) == Tried::Routed) {
            return Tried::Routed;
        }
    }
    return Tried::Processed;
}

Tried bus_case_b(Router& r, const Frame& f, const Rat& rat, int64_t pitch) {
    bool swap = f.u(rat.a) > f.u(rat.b);
    Point e1 = swap ? rat.b : rat.a, e2 = swap ? rat.a : rat.b;
    Coord w = r.set.track_width;
    int64_t h = pitch / 2, span = f.u(e2) - f.u(e1), m = f.u(e1) + span / 2;
    for (int layer : layers_with(r.doc.setup, f.bit())) {
        if (!layer_ok(rat, layer)) {
            continue;
        }
        FreeRun r1 = r.q->free_run(layer, w, e1, f.plus(), rat.sig);
        FreeRun r2 = r.q->free_run(layer, w, e2, f.minus(), rat.sig);
        Point s1 = f.at(m - h, f.v(e1)), s2 = f.at(m + h, f.v(e2));
        if (r1.distance >= m - h - f.u(e1) && r2.distance >= f.u(e2) - (m + h) && clear(r, layer, s1, s2, rat.sig)) {
            replace_line(r, rat.line, layer, {e1, s1, s2, e2});
            return Tried::Routed;
        }
        int64_t p1u = f.u(e1) + (span - h) / 2, p4u = f.u(e2) - (span - h) / 2;
        if (r1.blocker != model::kNone && !turn_point(f, r1.blocker, e1, 1, pitch, p1u)) {
            continue;
        }
        if (r2.blocker != model::kNone && !turn_point(f, r2.blocker, e2, -1, pitch, p4u)) {
            continue;
        }
        if (five_lines(r, f, rat, layer, e1, e2, p1u, p4u, h) == Tried::Routed) {
            return Tried::Routed;
        }
    }
    return Tried::Processed;
}

Tried data_bus(Router& r, Layouts& lay, const Rat& rat) {
    int64_t adx = model::abs64(int64_t{rat.b.x} - rat.a.x), ady = model::abs64(int64_t{rat.b.y} - rat.a.y);
    uint32_t c1 = lay.of(rat.pads_a), c2 = lay.of(rat.pads_b);
    int64_t p1 = c1 >> 16, p2 = c2 >> 16;
    bool same_pitch = near(p1, p2);
    bool columns = column_layout(c1) && column_layout(c2) && same_pitch;
    bool rows = row_layout(c1) && row_layout(c2) && same_pitch;
    bool case_a = columns && ady < kTol;
    bool case_b = columns && ady <= adx && ady >= kPitchMin && ady <= kPitchMax && near(ady, p1);
    bool case_av = rows && adx < kTol;
    bool case_bv = rows && adx <= ady && adx >= kPitchMin && adx <= kPitchMax && near(adx, p1);
    if (!case_a && !case_b && !case_av && !case_bv) {
        return Tried::Skipped;
    }
    if (case_a && bus_case_a(r, Frame{false}, rat, p1) == Tried::Routed) {
        return Tried::Routed;
    }
    if (case_b && bus_case_b(r, Frame{false}, rat, p1) == Tried::Routed) {
        return Tried::Routed;
    }
    if (case_av && bus_case_a(r, Frame{true}, rat, p1) == Tried::Routed) {
        return Tried::Routed;
    }
    if (case_bv && bus_case_b(r, Frame{true}, rat, p1) == Tried::Routed) {
        return Tried::Routed;
    }
    return Tried::Processed;
}

} // namespace

bool is_ratnest_line(Ref r) {
    const Node& n = node(r);
    return n.item_kind() == model::kLine && n.layer == model::kRatnestLayer && n.size != 0;
}

std::vector<Ref> ratnest_lines(const model::Document& doc) {
    std::vector<Ref> out;
    Ref head = doc.ring();
    for (Ref x = node(head).prev; x != head && node(x).item_kind() != model::kHead; x = node(x).prev) {
        if (is_ratnest_line(x) && !node(x).hidden()) {
            out.push_back(x);
        }
    }
    return out;
}

void convert_line(Router& r, Ref line, int layer) {
    r.change([&] {
        edit::RecordModified(r.doc, line, r.undo_number++);
        Node& n = node(line);
        n.layer = static_cast<uint8_t>(layer);
        n.size = static_cast<uint16_t>(std::clamp<Coord>(r.set.track_width, 1, 65535));
        r.doc.mark_modified();
        r.q->changed(line);
    });
    r.draw(line);
}

void replace_line(Router& r, Ref line, int layer, const std::vector<Point>& pts) {
    std::vector<Ref> made;
    r.change([&] {
        std::string sig = model::signal_name(model::item_signal(line));
        auto width = static_cast<uint16_t>(std::clamp<Coord>(r.set.track_width, 1, 65535));
        for (size_t i = 0; i + 1 < pts.size(); ++i) {
            Ref l = model::MakeItem(r.doc.ring(), model::kLine, static_cast<uint8_t>(layer), width, pts[i].x, pts[i].y,
                                    pts[i + 1].x, pts[i + 1].y);
            if (l == model::kNone) {
                break;
            }
            model::MoveBefore(l, line);
            if (!sig.empty()) {
                model::AttachSignal(l, sig);
            }
            edit::RecordCreated(r.doc, l, r.undo_number++);
            r.q->added(l);
            made.push_back(l);
        }
        if (made.size() + 1 == pts.size()) {
            r.q->removed(line);
            edit::RecordDeleted(r.doc, line, r.undo_number++);
        }
        r.doc.mark_modified();
    });
    for (Ref l : made) {
        r.draw(l);
    }
}

uint32_t package_layout(Ref pad) {
    const Node& me = node(pad);
    // The ring the Pad belongs to: its Component's members, or the Document's top level.
    Ref head = pad;
    for (int guard = 0; guard < (1 << 24) && node(head).item_kind() != model::kHead; ++guard) {
        head = node(head).next;
    }
    bool smt = nets::smt_pad(me);
    auto same_class = [&](const Node& n) { return nets::smt_pad(n) == smt && (!smt || n.layer == me.layer); };
    std::vector<Point> pts;
    int examined = 0;
    for (Ref r : model::items_in(head)) {
        const Node& n = node(r);
        if (n.item_kind() != model::kPad) {
            continue;
        }
        if (++examined > 255) {
            break;
        }
        if (same_class(n)) {
            pts.push_back(Point{n.pad.x0, n.pad.y0});
        }
    }
    int64_t mx = me.pad.x0, my = me.pad.y0;
    int64_t pitch = INT64_MAX;
    int in_column = 0, in_row = 0;
    for (Point p : pts) {
        int64_t dx = model::abs64(p.x - mx), dy = model::abs64(p.y - my);
        bool col = dx < 4, row = dy <= kTol;
        in_column += col;
        in_row += row;
        if (col && dy > 0) {
            pitch = std::min(pitch, dy);
        }
        if (row && dx > 0) {
            pitch = std::min(pitch, dx);
        }
    }
    if (pitch < kPitchMin || pitch > kPitchMax) {
        return 0;
    }
    int count = static_cast<int>(pts.size());
    // Two groups of equal count along one axis (values within 3 units together).
    auto two_equal_groups = [&](bool by_x) {
        std::vector<int64_t> v;
        for (Point p : pts) {
            v.push_back(by_x ? p.x : p.y);
        }
        std::sort(v.begin(), v.end());
        std::vector<int> counts(1, 1);
        for (size_t i = 1; i < v.size(); ++i) {
            if (v[i] - v[i - 1] > kTol) {
                counts.push_back(0);
            }
            ++counts.back();
        }
        return counts.size() == 2 && counts[0] == counts[1];
    };
    uint32_t code = 0;
    if (in_column == count) {
        code = 1;
    } else if (in_row == count) {
        code = 2;
    } else if (two_equal_groups(true)) {
        code = 5;
    } else if (two_equal_groups(false)) {
        code = 6;
    } else if (count % 2 == 0 && in_column == count - 1 && in_row == 2) {
        code = 9;
    } else if (count % 2 == 0 && in_row == count - 1 && in_column == 2) {
        code = 10;
    }
    return code == 0 ? 0 : static_cast<uint32_t>(pitch) << 16 | code;
}

PassResult straight_pass(Router& r) {
    return each_line(r, [&](const Rat& rat) { return straight(r, rat); });
}

PassResult data_bus_pass(Router& r) {
    Layouts lay;
    return each_line(r, [&](const Rat& rat) { return data_bus(r, lay, rat); });
}

PassResult inline_pass(Router& r) {
    return each_line(r, [&](const Rat& rat) { return inline_route(r, rat); });
}

PassResult l_pass(Router& r) {
    return each_line(r, [&](const Rat& rat) { return l_route(r, rat); });
}

} // namespace trazel::router
