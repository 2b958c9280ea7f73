#include "edit/grab.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <unordered_set>

#include "display/draw_items.h"
#include "display/trig.h"
#include "edit/area.h"
#include "edit/grab_internal.h"
#include "edit/undo.h"

namespace trazel::edit {

using model::Node;
using model::node;

namespace {

constexpr Coord kCollapsed = 3;       // a dropped track shorter than this in both axes is deleted
constexpr Coord kMinNewTrack = 7;     // the narrowest track pulled out of a pad

// Displacements and lengths: anything an int32 holds.  Coordinates go through model::clamp_coord.
Coord clamp_int32(int64_t v) {
    return static_cast<Coord>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

bool is_solid(const Node& n) {
    return n.item_kind() == model::kLine && n.size == 0;
}

// Heads and vertex Nodes are not in any ring the display walks, so they are never made Hidden.
bool keeps_visible(const GrabEntry& e) {
    return (e.flags & kGrabVertex) != 0 || node(e.real).item_kind() == model::kHead;
}

// The Items of the whole tree near a point, collected in one walk.
struct Near {
    struct Item {
        Ref ref;
        int depth;
    };
    std::vector<Item> tracks, pads, arcs;
};

Near collect_at(GrabList& g, Point p) {
    Near out;
    Rect64 area{int64_t{p.x} - model::kSamePlace, int64_t{p.y} - model::kSamePlace, int64_t{p.x} + model::kSamePlace, int64_t{p.y} + model::kSamePlace};
    walk_all_near(g, area, [&](Ref r, int depth) {
        const Node& n = node(r);
        switch (n.item_kind()) {
        case model::kLine:
            if (is_track(n) && ends_at(n, p) != 0) {
                out.tracks.push_back({r, depth});
            }
            break;
        case model::kPad:
            if (model::same_place(Point{n.pad.x0, n.pad.y0}, p)) {
                out.pads.push_back({r, depth});
            }
            break;
        case model::kArc: {
            Point c{n.arc.x0, n.arc.y0};
            Point s = model::arc_point(n, n.arc.start, turn_of);
            Point e = model::arc_point(n, static_cast<model::Angle>(n.arc.start + n.arc.sweep), turn_of);
            if (model::same_place(c, p) || model::same_place(s, p) || model::same_place(e, p)) {
                out.arcs.push_back({r, depth});
            }
            break;
        }
        default:
            break;
        }
    });
    return out;
}

// Moves one end of an Arc by (dx, dy): the end keeps to the Arc's circle (or ellipse) at the angle the
// moved point has from the centre.
void move_arc_end(Node& n, bool start_end, int64_t dx, int64_t dy) {
    model::ArcFields& f = n.arc;
    model::Angle end_angle = static_cast<model::Angle>(f.start + f.sweep);
    Point e = model::arc_point(n, start_end ? f.start : end_angle, turn_of);
    int64_t rx = int64_t{e.x} + dx - f.x0, ry = int64_t{e.y} + dy - f.y0;
    model::Angle a;
    if (f.ellipse != 0) {
        model::turn_back(turn_of(f.angle), rx, ry);
        ry = ry * 65536 / std::max<int64_t>(f.ellipse, 3);
        a = display::atan2_16(ry, rx);
    } else {
        a = static_cast<model::Angle>(display::atan2_16(ry, rx) - f.angle);
    }
    if (start_end) {
        f.sweep = static_cast<model::Angle>(end_angle - a);
        f.start = a;
    } else {
        f.sweep = static_cast<model::Angle>(a - f.start);
    }
}

} // namespace

void apply_offset(Node& n, uint8_t flags, int64_t dx, int64_t dy) {
    if (dx == 0 && dy == 0) {
        return;
    }
    bool first = (flags & kGrabFirst) != 0, second = (flags & kGrabSecond) != 0;
    auto move = [&](Coord& x, Coord& y) {
        x = model::clamp_coord(x + dx);
        y = model::clamp_coord(y + dy);
    };
    switch (n.item_kind()) {
    case model::kLine:
    case model::kPointGroup:
    case model::kComponent:
        if (first) {
            move(n.line.x1, n.line.y1);
        }
        if (second) {
            move(n.line.x2, n.line.y2);
        }
        break;
    case model::kArc:
        if (first) {
            move(n.arc.x0, n.arc.y0);
        } else if (second) {
            move_arc_end(n, (flags & kGrabArcStart) != 0, dx, dy);
        }
        break;
    case model::kPad:
        if (first) {
            move(n.pad.x0, n.pad.y0);
        }
        break;
    case model::kText:
        if (first) {
            move(n.text.x0, n.text.y0);
        }
        break;
    case model::kHead:
        if (first) {
            move(n.box.x1, n.box.y1);
        }
        break;
    default:
        break;
    }
}

void begin_grab(GrabList& g, model::Document& doc, Point ref, uint16_t function) {
    clear_grab(g);
    g.doc = &doc;
    g.ref = g.at = ref;
    g.function = function;
    g.building = true;
    g.scratch = model::AllocNode();
}

GrabEntry* find_entry(GrabList& g, Ref real) {
    auto it = g.index.find(real);
    return it == g.index.end() ? nullptr : &g.entries[it->second];
}

Ref add_entry(GrabList& g, Ref real, uint8_t flags) {
    if (real == model::kNone || g.doc == nullptr) {
        return model::kNone;
    }
    if (GrabEntry* e = find_entry(g, real)) {
        if (e->companion() && (flags & kGrabCompanion) != kGrabCompanion) {
            e->flags = flags; // a companion that is grabbed for real moves after all
        } else {
            e->flags |= flags & (kGrabWhole | kGrabArcStart);
        }
        return e->copy;
    }
    Node& rn = node(real);
    if (rn.hidden()) {
        return model::kNone;
    }
    Ref copy = model::AllocNode();
    if (copy == model::kNone) {
        return model::kNone;
    }
    node(copy) = rn;
    node(copy).kind &= model::kKindMask;
    g.index.emplace(real, g.entries.size());
    g.entries.push_back(GrabEntry{copy, real, flags});
    if (!keeps_visible(g.entries.back())) {
        rn.kind |= model::kHiddenFlag;
    }
    if (is_solid(rn) && (flags & kGrabVertex) == 0 && (flags & kGrabWhole) == kGrabWhole) {
        // The outline of a Solid follows the cursor as one display entry per vertex.
        uint8_t vf = static_cast<uint8_t>(kGrabWhole | kGrabVertex | (flags & kGrabCompanion));
        for (Ref v = rn.link; v != model::kNone; v = node(v).link) {
            add_entry(g, v, vf);
        }
    }
    return copy;
}

void add_companions(GrabList& g, Ref member) {
    Ref head = ring_head_of(member);
    Ref owner = model::ring_owner(head);
    if (owner == model::kNone || node(owner).item_kind() != model::kComponent) {
        return;
    }
    model::for_each_item(head, [&](Ref r) {
        if (r != member && find_entry(g, r) == nullptr && !node(r).hidden()) {
            add_entry(g, r, kGrabCompanion);
        }
    });
}

int countable_entries(const GrabList& g) {
    int n = 0;
    for (const GrabEntry& e : g.entries) {
        if (!e.companion()) {
            ++n;
        }
    }
    return n;
}

int grab_point(GrabList& g, Point p, Coord line_width) {
    if (g.doc == nullptr) {
        return 0;
    }
    int layer = g.doc->setup.current_layer & 0xFF;
    Near near = collect_at(g, p);
    int changed = 0;
    auto grab_track_ends = [&](const Near& at, Point where, bool any_layer) {
        int first_layer = 0;
        for (const Near::Item& t : at.tracks) {
            const Node& n = node(t.ref);
            if (any_layer || layer == 0 || n.layer == layer) {
                if (add_entry(g, t.ref, ends_at(n, where)) != model::kNone) {
                    ++changed;
                    first_layer = first_layer != 0 ? first_layer : n.layer;
                }
            }
        }
        return first_layer;
    };

    // 1. A Component's pad: the tracks on it stretch and a new track is pulled out of it.
    for (const Near::Item& pd : near.pads) {
        const Node& pad = node(pd.ref);
        if (pd.depth == 0 || (is_smt_pad(pad) && pad.layer != layer)) {
            continue;
        }
        int found_layer = grab_track_ends(near, p, false);
        int new_layer = layer != 0 ? layer : found_layer;
        if (new_layer != 0) {
            Coord w = std::max(line_width, kMinNewTrack);
            Ref t = model::MakeItem(g.doc->ring(), model::kLine, static_cast<uint8_t>(new_layer),
                                    static_cast<uint16_t>(std::min<Coord>(w, 0xFFFF)), p.x, p.y, p.x, p.y);
            if (t != model::kNone) {
                if (g.spatial != nullptr && g.spatial->covers(*g.doc)) {
                    g.spatial->appended(t);
                }
                if (Ref sig = model::item_signal(pd.ref); sig != model::kNone) {
                    model::AttachSignal(t, model::signal_name(sig));
                }
                if (add_entry(g, t, kGrabSecond | kGrabNew) != model::kNone) {
                    ++changed;
                } else {
                    if (g.spatial != nullptr) {
                        g.spatial->removed(t);
                    }
                    model::DeleteItem(t);
                }
            }
        }
        return changed;
    }

    // 2. A via: it moves, and everything at its centre goes with it.
    for (const Near::Item& pd : near.pads) {
        const Node& via = node(pd.ref);
        if (pd.depth != 0 || (layer != 0 && !on_layer(via, layer))) {
            continue;
        }
        Point c{via.pad.x0, via.pad.y0};
        if (add_entry(g, pd.ref, kGrabWhole) != model::kNone) {
            ++changed;
        }
        Near at = c.x == p.x && c.y == p.y ? near : collect_at(g, c);
        grab_track_ends(at, c, true);
        for (const Near::Item& a : at.arcs) {
            const Node& n = node(a.ref);
            uint8_t f = 0;
            if (model::same_place(Point{n.arc.x0, n.arc.y0}, c)) {
                f = kGrabFirst;
            } else if (model::same_place(model::arc_point(n, n.arc.start, turn_of), c)) {
                f = kGrabSecond | kGrabArcStart;
            } else {
                f = kGrabSecond;
            }
            if (add_entry(g, a.ref, f) != model::kNone) {
                ++changed;
            }
        }
        for (const Near::Item& o : at.pads) {
            if (o.ref != pd.ref && add_entry(g, o.ref, kGrabWhole) != model::kNone) {
                ++changed;
            }
        }
        return changed;
    }

    // 3. Connected tracks stretch.
    grab_track_ends(near, p, false);
    return changed;
}

namespace {

void add_component_whole(GrabList& g, Ref c) {
    add_entry(g, c, kGrabWhole);
    Ref head = node(c).link;
    if (head == model::kNone) {
        return;
    }
    add_entry(g, head, kGrabFirst);
    model::for_each_item(head, [&](Ref m) {
        uint8_t k = node(m).item_kind();
        if (k == model::kComponent) {
            add_component_whole(g, m);
        } else {
            add_entry(g, m, k == model::kLine ? kGrabWhole : kGrabFirst);
        }
    });
}

bool box_holds(const Node& n, Point p, int64_t grow) {
    int64_t x1 = std::min(n.line.x1, n.line.x2) - grow, x2 = std::max(n.line.x1, n.line.x2) + grow;
    int64_t y1 = std::min(n.line.y1, n.line.y2) - grow, y2 = std::max(n.line.y1, n.line.y2) + grow;
    return p.x >= x1 && p.x <= x2 && p.y >= y1 && p.y <= y2;
}

// A "$$DIM" dimension grabbed by the end whose label (its arrow head) holds the cursor.
bool grab_dimension_end(GrabList& g, Ref c, Point cursor, Coord tolerance) {
    Ref head = node(c).link;
    Ref labels[2] = {model::kNone, model::kNone};
    int n = 0;
    model::for_each_item(head, [&](Ref m) {
        if (n < 2 && is_solid(node(m))) {
            labels[n++] = m;
        }
    });
    int end = 0;
    for (int i = 0; i < n && end == 0; ++i) {
        if (box_holds(node(labels[i]), cursor, tolerance)) {
            end = i + 1;
        }
    }
    if (end == 0) {
        return false;
    }
    add_entry(g, c, end == 1 ? kGrabFirst : kGrabSecond);
    g.dimension = c;
    // The members nearer this end's label than the other's go with the end; the dimension's Texts stay
    // for the follow-up to rewrite.
    auto centre = [](const Node& s) {
        return Point{static_cast<Coord>((int64_t{s.line.x1} + s.line.x2) / 2),
                     static_cast<Coord>((int64_t{s.line.y1} + s.line.y2) / 2)};
    };
    Point mine = centre(node(labels[end - 1]));
    Point other = n == 2 ? centre(node(labels[2 - end])) : mine;
    model::for_each_item(head, [&](Ref m) {
        const Node& mn = node(m);
        if (mn.item_kind() == model::kText) {
            return;
        }
        Box b = item_area(m);
        int64_t mx = (b.x1 + b.x2) / 2, my = (b.y1 + b.y2) / 2;
        auto d = [&](Point q) { return std::abs(mx - q.x) + std::abs(my - q.y); };
        if (m == labels[end - 1] || (n == 2 && m != labels[2 - end] && d(mine) < d(other))) {
            add_entry(g, m, mn.item_kind() == model::kLine ? kGrabWhole : kGrabFirst);
        }
    });
    return true;
}

} // namespace

int grab_component(GrabList& g, Ref component, Point cursor, bool tracks, Coord tolerance) {
    if (g.doc == nullptr || component == model::kNone || node(component).link == model::kNone) {
        return 0;
    }
    if (model::ComponentField(component, 1).starts_with("$$DIM") &&
        grab_dimension_end(g, component, cursor, tolerance)) {
        return 1;
    }
    add_component_whole(g, component);
    if (tracks) {
        follow_component_tracks(g, component);
    }
    return 1;
}

Ref grab_item_at(GrabList& g, int layer, Point p, Ref after) {
    if (g.doc == nullptr) {
        return model::kNone;
    }
    constexpr uint64_t tol = 2;
    Ref found = model::kNone;
    bool passed = after == model::kNone;
    model::walk_tree(g.doc->ring(), [&](Ref r, int) {
        if (found != model::kNone) {
            return;
        }
        if (!passed) {
            passed = r == after;
            return;
        }
        const Node& n = node(r);
        if (n.hidden()) {
            return;
        }
        bool hit = false;
        switch (n.item_kind()) {
        case model::kLine:
            hit = n.layer == layer && (n.size != 0 ? model::hit_track(n, n.size / 2 + tol, p) != model::TrackHit::None
                                                   : model::point_in_solid(r, p, tol));
            break;
        case model::kArc:
            hit = n.layer == layer && model::hit_arc_stroke(n, tol, p, turn_of);
            break;
        case model::kText:
            hit = n.layer == layer && model::hit_text(n, p, turn_of);
            break;
        case model::kPad:
            hit = on_layer(n, layer) && model::hit_pad(n, tol, p, turn_of);
            break;
        default:
            break;
        }
        if (hit) {
            found = r;
        }
    });
    if (found != model::kNone) {
        add_entry(g, found, node(found).item_kind() == model::kLine ? kGrabWhole : kGrabFirst);
        add_companions(g, found);
        return found;
    }
    if (layer != 0) {
        return model::kNone;
    }
    // A Component by its insertion point: only the point moves; the members are shown where they are.
    Ref comp = model::kNone;
    passed = after == model::kNone;
    for (Ref r = model::node(g.doc->ring()).next; r != g.doc->ring(); r = node(r).next) {
        const Node& n = node(r);
        if (!passed) {
            passed = r == after;
            continue;
        }
        if (n.item_kind() == model::kComponent && !n.hidden() && n.link != model::kNone &&
            model::same_place(Point{node(n.link).box.x1, node(n.link).box.y1}, p)) {
            comp = r;
            break;
        }
    }
    if (comp == model::kNone) {
        return model::kNone;
    }
    Ref head = node(comp).link;
    add_entry(g, head, kGrabFirst);
    model::for_each_item(head, [&](Ref m) { add_entry(g, m, kGrabCompanion); });
    return comp;
}

Ref grab_item_at(GrabList& g, int layer, Point p) {
    return grab_item_at(g, layer, p, model::kNone);
}

Point grab_offset(const GrabList& g) {
    return Point{clamp_int32(int64_t{g.at.x} - g.ref.x), clamp_int32(int64_t{g.at.y} - g.ref.y)};
}

// --- Display ------------------------------------------------------------------------------------------

namespace {

template <class Draw> void draw_copies(GrabList& g, Point at, Draw&& draw) {
    if (g.scratch == model::kNone) {
        return;
    }
    int64_t dx = int64_t{at.x} - g.ref.x, dy = int64_t{at.y} - g.ref.y;
    Node& s = node(g.scratch);
    for (const GrabEntry& e : g.entries) {
        const Node& c = node(e.copy);
        bool vertex = (e.flags & kGrabVertex) != 0;
        if (is_solid(c) && !vertex) {
            continue; // its vertex entries show the outline
        }
        s = c;
        if (!e.companion()) {
            apply_offset(s, e.flags, dx, dy);
        }
        if (vertex) {
            s.size = 1;
            s.link = model::kNone;
        }
        if (c.item_kind() == model::kHead) {
            // The insertion point: a small X.
            Coord x = s.box.x1, y = s.box.y1, h = display::kMarkerSize / 2;
            s = Node{};
            s.kind = model::kLine;
            s.size = 1;
            s.line = model::LineFields{model::clamp_coord(int64_t{x} - h), model::clamp_coord(int64_t{y} - h),
                                       model::clamp_coord(int64_t{x} + h), model::clamp_coord(int64_t{y} + h), 0};
            draw(g.scratch);
            std::swap(s.line.y1, s.line.y2);
        }
        draw(g.scratch);
    }
}

uint32_t xor_pixel(const display::Display& d) {
    return d.slots.pixel[display::kSlotXorOutline];
}

} // namespace

void show_grab(GrabList& g, display::Display& d) {
    if (g.shown || g.building || g.empty() || g.doc == nullptr) {
        return;
    }
    uint32_t px = xor_pixel(d);
    draw_copies(g, g.at, [&](Ref r) { display::draw_item_as(d, *g.doc, r, px); });
    g.shown = true;
    g.shown_at = g.at;
}

void hide_grab(GrabList& g, display::Display& d) {
    if (!g.shown) {
        return;
    }
    if (g.doc == nullptr) {
        g.shown = false;
        return;
    }
    uint32_t px = xor_pixel(d);
    draw_copies(g, g.shown_at, [&](Ref r) { display::draw_item_as(d, *g.doc, r, px); });
    g.shown = false;
}

void draw_held(GrabList& g, display::Display& d, display::Raster& r) {
    if (g.empty() || g.building) {
        return;
    }
    display::ItemPainter p(d, r, g.doc);
    for (const GrabEntry& e : g.entries) {
        if (e.drop_delete()) {
            p.item(e.copy, p.marker_pixel());
        }
    }
    if (g.shown) {
        uint32_t px = xor_pixel(d);
        draw_copies(g, g.shown_at, [&](Ref x) { p.item(x, px); });
    }
}

void move_grab(GrabList& g, display::Display& d, Point at, int angle_mode) {
    if (g.empty()) {
        return;
    }
    if (g.anchor && angle_mode != 0) {
        Point c = display::constrain_angle(angle_mode, at, *g.anchor, std::nullopt);
        at = Point{c.x, c.y};
    }
    if (at.x == g.at.x && at.y == g.at.y) {
        return;
    }
    bool was = g.shown;
    hide_grab(g, d);
    g.at = at;
    if (was) {
        show_grab(g, d);
    }
}

// --- Ending ---------------------------------------------------------------------------------------------

namespace {

void write_back(const GrabEntry& e, int64_t dx, int64_t dy) {
    Node t = node(e.copy);
    apply_offset(t, e.flags, dx, dy);
    Node& real = node(e.real);
    if ((e.flags & kGrabVertex) != 0) {
        real.layer = t.layer;
        real.line.x1 = t.line.x1;
        real.line.y1 = t.line.y1;
        real.line.x2 = t.line.x2;
        real.line.y2 = t.line.y2;
    } else if (real.item_kind() == model::kHead) {
        real.box.x1 = t.box.x1;
        real.box.y1 = t.box.y1;
    } else {
        real.layer = t.layer;
        real.size = t.size;
        std::memcpy(&real.line, &t.line, sizeof real.line);
    }
}

bool collapsed(const Node& n) {
    int64_t dx = int64_t{n.line.x2} - n.line.x1, dy = int64_t{n.line.y2} - n.line.y1;
    return dx > -kCollapsed && dx < kCollapsed && dy > -kCollapsed && dy < kCollapsed;
}

} // namespace

void refit_solid_box(Ref solid) {
    Node& s = node(solid);
    if (s.link == model::kNone) {
        return;
    }
    Coord x1 = INT32_MAX, y1 = INT32_MAX, x2 = INT32_MIN, y2 = INT32_MIN;
    for (Ref v = s.link; v != model::kNone; v = node(v).link) {
        const Node& vn = node(v);
        x1 = std::min(x1, vn.line.x1);
        y1 = std::min(y1, vn.line.y1);
        x2 = std::max(x2, vn.line.x1);
        y2 = std::max(y2, vn.line.y1);
    }
    s.line.x1 = x1;
    s.line.y1 = y1;
    s.line.x2 = x2;
    s.line.y2 = y2;
}

// The box of a Component's members, as the reader computes it when the member ring closes.
void refit_component_box(Ref c) {
    Ref head = node(c).link;
    Coord bx1 = 0, by1 = 0, bx2 = 0, by2 = 0;
    if (head != model::kNone && model::members_box(head, bx1, by1, bx2, by2)) {
        Node& n = node(c);
        n.box.x1 = bx1;
        n.box.y1 = by1;
        n.box.x2 = bx2;
        n.box.y2 = by2;
    }
}

int drop(GrabList& g, display::Display& d) {
    if (g.empty() || g.doc == nullptr) {
        return 0;
    }
    if (countable_entries(g) == 0) {
        return abandon(g, d);
    }
    model::Document& doc = *g.doc;
    // Whether the index follows the Document up to this drop (it then follows the drop too).
    const bool index_in_step = g.spatial != nullptr && g.spatial->covers(doc);
    hide_grab(g, d);
    g.building = true; // the region redraws below must not draw the copies
    Box region;
    for (const GrabEntry& e : g.entries) {
        region.add(item_area(e.real));
    }
    int64_t dx = int64_t{g.at.x} - g.ref.x, dy = int64_t{g.at.y} - g.ref.y;

    // The members of a new Component (a placed one) are recorded with it.
    std::unordered_set<Ref> quiet;
    for (const GrabEntry& e : g.entries) {
        const Node& n = node(e.real);
        if (e.is_new() && n.item_kind() == model::kComponent && n.link != model::kNone) {
            quiet.insert(n.link);
            model::walk_tree(n.link, [&](Ref m, int) {
                quiet.insert(m);
                // A member Solid's vertices have entries of their own: they are no Items to record.
                if (is_solid(node(m))) {
                    for (Ref v = node(m).link; v != model::kNone; v = node(v).link) {
                        quiet.insert(v);
                    }
                }
            });
        }
    }
    auto is_component = [](const GrabEntry& e) {
        return (e.flags & kGrabVertex) == 0 && node(e.real).item_kind() == model::kComponent;
    };

    int number = 0;
    for (const GrabEntry& e : g.entries) {
        if (e.companion() || is_component(e) || e.drop_delete()) {
            continue;
        }
        if (quiet.count(e.real) == 0) {
            if (e.is_new()) {
                RecordCreated(doc, e.real, number++);
            } else {
                RecordModified(doc, e.real, number++);
            }
        }
        write_back(e, dx, dy);
    }
    for (const GrabEntry& e : g.entries) {
        if (!e.companion() && !e.drop_delete() && (e.flags & kGrabVertex) == 0 && is_solid(node(e.real))) {
            refit_solid_box(e.real);
        }
    }

    std::vector<bool> gone(g.entries.size(), false);
    for (size_t i = 0; i < g.entries.size(); ++i) {
        const GrabEntry& e = g.entries[i];
        if (e.companion() || (e.flags & kGrabVertex) != 0) {
            continue;
        }
        const Node& n = node(e.real);
        if (e.drop_delete() || (is_track(n) && collapsed(n))) {
            region.add(item_area(e.real));
            if (Ref head = n.item_kind() == model::kComponent ? n.link : model::kNone; head != model::kNone) {
                // Its members and head go with it: no entry of them may be touched afterwards.
                for (size_t j = 0; j < g.entries.size(); ++j) {
                    if (g.entries[j].real == head) {
                        gone[j] = true;
                    }
                }
                model::walk_tree(head, [&](Ref m, int) {
                    if (GrabEntry* me = find_entry(g, m)) {
                        gone[static_cast<size_t>(me - g.entries.data())] = true;
                    }
                });
            }
            node(e.real).kind &= static_cast<uint8_t>(~model::kHiddenFlag);
            RecordDeleted(doc, e.real, number++);
            gone[i] = true;
        }
    }
    for (size_t i = 0; i < g.entries.size(); ++i) {
        if (!gone[i] && !keeps_visible(g.entries[i])) {
            node(g.entries[i].real).kind &= static_cast<uint8_t>(~model::kHiddenFlag);
        }
    }
    for (size_t i = 0; i < g.entries.size(); ++i) {
        const GrabEntry& e = g.entries[i];
        if (gone[i] || e.companion() || !is_component(e)) {
            continue;
        }
        if (e.is_new()) {
            RecordCreated(doc, e.real, number++);
        } else {
            RecordModified(doc, e.real, number++);
        }
        node(e.real).size = node(e.copy).size;
        refit_component_box(e.real);
    }
    for (size_t i = 0; i < g.entries.size(); ++i) {
        if (!gone[i]) {
            region.add(item_area(g.entries[i].real));
        }
    }
    doc.mark_modified();
    if (g.spatial != nullptr) {
        // The index was in step before the drop: what the drop changed is all in the entries.
        bool in_step = index_in_step;
        for (size_t i = 0; i < g.entries.size() && in_step; ++i) {
            const GrabEntry& e = g.entries[i];
            if ((e.flags & kGrabVertex) != 0 || node(e.real).item_kind() == model::kHead) {
                continue;
            }
            if (gone[i]) {
                g.spatial->removed(e.real);
            } else if (!e.companion()) {
                g.spatial->moved(e.real);
            }
        }
        if (in_step) {
            g.spatial->adopt(doc);
        }
    }
    clear_grab(g);
    redraw_region(d, doc, region);
    return 1;
}

int abandon(GrabList& g, display::Display& d) {
    if (g.empty() || g.doc == nullptr) {
        clear_grab(g);
        return 0;
    }
    model::Document& doc = *g.doc;
    hide_grab(g, d);
    g.building = true;
    Box region;
    // Backwards, so that the members of a new Component go before the Component itself.
    for (size_t i = g.entries.size(); i-- > 0;) {
        const GrabEntry& e = g.entries[i];
        Node& n = node(e.real);
        if (e.is_new()) {
            if (n.item_kind() != model::kHead && (e.flags & kGrabVertex) == 0) {
                ForgetItem(doc, e.real);
                if (g.spatial != nullptr) {
                    g.spatial->removed(e.real);
                }
                model::DeleteItem(e.real);
            }
        } else if (!keeps_visible(e)) {
            n.kind &= static_cast<uint8_t>(~model::kHiddenFlag);
            region.add(item_area(e.real));
        }
    }
    clear_grab(g);
    redraw_region(d, doc, region);
    return 1;
}

void clear_grab(GrabList& g) {
    for (const GrabEntry& e : g.entries) {
        model::ReleaseNode(e.copy);
    }
    if (g.scratch != model::kNone) {
        model::ReleaseNode(g.scratch);
    }
    SpatialIndex* spatial = g.spatial;
    g = GrabList{};
    g.spatial = spatial;
}

} // namespace trazel::edit
