#include "edit/structure_edits.h"

#include <algorithm>
#include <cstring>
#include <unordered_map>
#include <unordered_set>

#include "display/stroke_font.h"
#include "display/trig.h"
#include "edit/area.h"
#include "edit/block.h"
#include "edit/grab.h"
#include "edit/grab_internal.h"
#include "edit/place_symbols.h"
#include "edit/undo.h"

namespace trazel::edit {

namespace {

bool is_component(Ref r) {
    return r != model::kNone && node(r).item_kind() == model::kComponent;
}

// The Component whose member ring holds `item`, kNone at the top level.
Ref owner_of(Ref item) {
    Ref owner = model::ring_owner(ring_head_of(item));
    return is_component(owner) ? owner : model::kNone;
}

// Entries that stand for an Item of their own: not shown only, not a vertex of a grabbed Solid.
template <class F> void for_each_grabbed(const GrabList& g, F&& f) {
    for (const GrabEntry& e : g.entries) {
        if (!e.companion() && (e.flags & kGrabVertex) == 0) {
            f(e);
        }
    }
}

// A Component's box from its members; an emptied ring keeps the old box, so the Component stays for
// the undo records that name it.
void rebox(Ref c) {
    Coord x1 = 0, y1 = 0, x2 = 0, y2 = 0;
    if (model::members_box(model::member_ring(c), x1, y1, x2, y2)) {
        Node& n = node(c);
        n.box.x1 = x1;
        n.box.y1 = y1;
        n.box.x2 = x2;
        n.box.y2 = y2;
    }
}

// End points of tracks by a grid of 4-unit cells, so that the ends within 3 units of a point are found in
// the nine cells around it.
class EndGrid {
  public:
    EndGrid(Ref ring, const Node& like) {
        size_t order = 0;
        for (Ref r : model::items_in(ring)) {
            const Node& n = node(r);
            if (is_track(n) && !n.hidden() && n.layer == like.layer) {
                rank_[r] = order++;
                for (int end = 1; end <= 2; ++end) {
                    Point p = end_point(n, end);
                    cells_[key(cell(p.x), cell(p.y))].push_back(r);
                }
            }
        }
    }

    // The first track (in ring order) not yet used with an end at `p`.
    Ref next_at(Point p, const std::unordered_set<Ref>& used) const {
        Ref best = model::kNone;
        int64_t cx = cell(p.x), cy = cell(p.y);
        for (int64_t i = cx - 1; i <= cx + 1; ++i) {
            for (int64_t j = cy - 1; j <= cy + 1; ++j) {
                auto it = cells_.find(key(i, j));
                if (it == cells_.end()) {
                    continue;
                }
                for (Ref r : it->second) {
                    if (used.count(r) == 0 && ends_at(node(r), p) != 0 &&
                        (best == model::kNone || rank_.at(r) < rank_.at(best))) {
                        best = r;
                    }
                }
            }
        }
        return best;
    }

  private:
    static int64_t cell(Coord v) {
        return model::floor_div(v, model::kSamePlace);
    }
    static uint64_t key(int64_t i, int64_t j) {
        return static_cast<uint64_t>(i) * 0x9E3779B97F4A7C15ull ^ static_cast<uint64_t>(j);
    }
    std::unordered_map<uint64_t, std::vector<Ref>> cells_;
    std::unordered_map<Ref, size_t> rank_;
};

Point far_end(const Node& t, Point near) {
    Point a = end_point(t, 1), b = end_point(t, 2);
    return model::same_place(a, near) ? b : a;
}

} // namespace

bool grab_changed(const GrabList& g) {
    if (g.at.x != g.ref.x || g.at.y != g.ref.y) {
        return true;
    }
    for (const GrabEntry& e : g.entries) {
        if (e.companion()) {
            continue;
        }
        if (e.is_new() || e.drop_delete()) {
            return true;
        }
        const Node& c = node(e.copy);
        const Node& r = node(e.real);
        if (c.layer != r.layer || c.size != r.size || std::memcmp(&c.line, &r.line, sizeof c.line) != 0) {
            return true;
        }
    }
    return false;
}

KrumpPlan plan_krump(const GrabList& g) {
    KrumpPlan plan;
    if (g.empty()) {
        return plan;
    }
    std::vector<Ref> items;
    std::unordered_set<Ref> components;
    for_each_grabbed(g, [&](const GrabEntry& e) {
        items.push_back(e.real);
        uint8_t k = node(e.real).item_kind();
        // A Component held whole or by its insertion point (its member ring head); a nested one stands
        // for the top-level Component that holds it.
        Ref c = k == model::kHead ? model::ring_owner(e.real) : k == model::kComponent ? e.real : model::kNone;
        if (!is_component(c)) {
            return;
        }
        while (owner_of(c) != model::kNone) {
            c = owner_of(c);
        }
        components.insert(c);
    });
    if (components.size() > 1) {
        plan.what = KrumpCase::AttachedItems;
        return plan;
    }
    if (components.size() == 1) {
        Ref c = *components.begin();
        std::unordered_set<Ref> own{c, model::member_ring(c)};
        model::walk_tree(model::member_ring(c), [&](Ref m, int) {
            own.insert(m);
            if (is_component(m)) {
                own.insert(model::member_ring(m));
            }
        });
        bool alone = std::all_of(items.begin(), items.end(), [&](Ref r) { return own.count(r) != 0; });
        plan.what = alone ? KrumpCase::Dissolve : KrumpCase::AttachedItems;
        plan.item = alone ? c : model::kNone;
        return plan;
    }
    if (items.size() > 1) {
        plan.what = KrumpCase::SeveralItems;
    } else if (items.size() == 1) {
        plan.what = KrumpCase::MoveItem;
        plan.item = items.front();
    }
    return plan;
}

Ref grabbed_line(const GrabList& g) {
    Ref line = model::kNone;
    int n = 0;
    for_each_grabbed(g, [&](const GrabEntry& e) {
        ++n;
        line = e.real;
    });
    return n == 1 && node(line).item_kind() == model::kLine ? line : model::kNone;
}

// --- Dissolve and build ----------------------------------------------------------------------------

int dissolve_component(model::Document& doc, Ref component) {
    if (!is_component(component)) {
        return 0;
    }
    Ref scratch = model::new_ring();
    if (scratch == model::kNone) {
        return 0;
    }
    Ref copy = duplicate_component(scratch, component);
    if (copy == model::kNone) {
        model::DeleteItem(scratch);
        model::ReleaseNode(scratch);
        return 0;
    }
    std::vector<Ref> made;
    for (Ref m : model::items_in(model::member_ring(copy))) {
        model::MoveBefore(m, component);
        made.push_back(m);
    }
    for (Ref m : made) {
        if (node(m).item_kind() == model::kText) {
            display::measure_text_item(m); // "&n" and "&@" have no Component to show any more
        } else if (is_component(m)) {
            model::sort_component(m);
        }
    }
    int number = 0;
    for (Ref m : made) {
        RecordCreated(doc, m, number++);
    }
    RecordDeleted(doc, component, number);
    model::DeleteItem(scratch); // the emptied copy
    model::ReleaseNode(scratch);
    doc.mark_modified();
    return static_cast<int>(made.size());
}

Ref move_item_to(model::Document& doc, Ref item, Ref target) {
    if (item == model::kNone || is_component(item) || (target != model::kNone && !is_component(target))) {
        return model::kNone;
    }
    Ref from = owner_of(item);
    Ref copy = copy_item(target != model::kNone ? model::member_ring(target) : doc.ring(), item);
    if (copy == model::kNone) {
        return model::kNone;
    }
    if (node(copy).item_kind() == model::kText) {
        display::measure_text_item(copy); // "&1" shows another Component's field now, or none
    }
    int number = 0;
    if (target != model::kNone) {
        RecordModified(doc, target, number++);
    }
    if (from != model::kNone && from != target) {
        RecordModified(doc, from, number++);
    }
    RecordCreated(doc, copy, number++);
    RecordDeleted(doc, item, number);
    for (Ref c : {target, from}) {
        if (c != model::kNone) {
            rebox(c);
        }
    }
    doc.mark_modified();
    return copy;
}

std::string krump_status(Ref item, bool added) {
    const char* word = "";
    switch (node(item).item_kind()) {
    case model::kLine:
        word = "Line ";
        break;
    case model::kArc:
        word = "Arc ";
        break;
    case model::kPad:
        word = "Pad ";
        break;
    case model::kText:
        word = "Text ";
        break;
    default:
        break;
    }
    return std::string(word) + (added ? "added to " : "removed from ") + "component.";
}

// --- Solids ---------------------------------------------------------------------------------------------

TrackChain trace_chain(Ref track) {
    TrackChain chain;
    const Node& first = node(track);
    if (!is_track(first)) {
        return chain;
    }
    EndGrid grid(ring_head_of(track), first);
    std::unordered_set<Ref> used{track};
    chain.tracks.push_back(track);
    Point start = end_point(first, 1), end = end_point(first, 2);
    std::vector<Point> ahead{start, end};
    for (;;) {
        if (ahead.size() >= 3 && model::same_place(end, start)) {
            ahead.pop_back(); // back at the first vertex
            chain.closed = true;
            break;
        }
        Ref next = grid.next_at(end, used);
        if (next == model::kNone) {
            break;
        }
        used.insert(next);
        chain.tracks.push_back(next);
        end = far_end(node(next), end);
        ahead.push_back(end);
    }
    std::vector<Point> behind; // from the first vertex backwards
    if (!chain.closed) {
        Point front = start;
        for (;;) {
            Ref next = grid.next_at(front, used);
            if (next == model::kNone) {
                break;
            }
            used.insert(next);
            chain.tracks.push_back(next);
            front = far_end(node(next), front);
            if (model::same_place(front, end)) {
                break; // round to the other end: the outline is closed by this track
            }
            behind.push_back(front);
        }
    }
    chain.outline.assign(behind.rbegin(), behind.rend());
    chain.outline.insert(chain.outline.end(), ahead.begin(), ahead.end());
    return chain;
}

Ref build_solid(model::Document& doc, const TrackChain& chain) {
    if (chain.outline.size() < 3 || chain.tracks.empty()) {
        return model::kNone;
    }
    const Node& t = node(chain.tracks.front());
    Ref solid = model::MakeItem(ring_head_of(chain.tracks.front()), model::kLine, t.layer, 0, 0, 0, 0, 0);
    if (solid == model::kNone) {
        return model::kNone;
    }
    for (Point p : chain.outline) {
        if (!model::add_vertex(solid, p.x, p.y)) {
            model::DeleteItem(solid);
            return model::kNone;
        }
    }
    RecordCreated(doc, solid, 0);
    int number = 1;
    for (Ref r : chain.tracks) {
        RecordDeleted(doc, r, number++);
    }
    doc.mark_modified();
    return solid;
}

int dissolve_solid(model::Document& doc, Ref solid) {
    const Node& s = node(solid);
    if (s.item_kind() != model::kLine || s.size != 0) {
        return 0;
    }
    Ref ring = ring_head_of(solid);
    std::vector<Ref> made;
    for (Ref v = s.link; v != model::kNone; v = node(v).link) {
        const Node vn = node(v);
        if (vn.line.x1 == vn.line.x2 && vn.line.y1 == vn.line.y2) {
            continue; // no edge
        }
        Ref t = model::MakeItem(ring, model::kLine, node(solid).layer, static_cast<uint16_t>(kSolidEdgeWidth),
                                vn.line.x1, vn.line.y1, vn.line.x2, vn.line.y2);
        if (t == model::kNone) {
            for (Ref r : made) {
                model::DeleteItem(r);
            }
            return 0;
        }
        made.push_back(t);
    }
    int number = 0;
    for (Ref r : made) {
        RecordCreated(doc, r, number++);
    }
    RecordDeleted(doc, solid, number);
    doc.mark_modified();
    return static_cast<int>(made.size());
}

// --- Convert line to arc --------------------------------------------------------------------------------

TrackArc arc_over(const Node& track) {
    int64_t dx = int64_t{track.line.x2} - track.line.x1, dy = int64_t{track.line.y2} - track.line.y1;
    TrackArc a;
    a.centre = Point{model::clamp_coord((int64_t{track.line.x1} + track.line.x2) / 2),
                     model::clamp_coord((int64_t{track.line.y1} + track.line.y2) / 2)};
    a.radius = static_cast<Coord>(model::isqrt64(static_cast<uint64_t>(dx * dx + dy * dy)) / 2);
    a.start = display::atan2_16(dy, dx);
    return a;
}

Ref hang_arc_over(GrabList& g, display::Display& d, model::Document& doc, Ref track, uint16_t function) {
    const Node t = node(track);
    if (!is_track(t) || t.hidden()) {
        return model::kNone;
    }
    TrackArc a = arc_over(t);
    if (a.radius < 1) {
        return model::kNone;
    }
    Ref ring = ring_head_of(track);
    Ref arc = model::MakeItem(ring, model::kArc, t.layer, t.size, a.centre.x, a.centre.y, a.radius, 0);
    if (arc == model::kNone) {
        return model::kNone;
    }
    Node& n = node(arc);
    n.arc.start = a.start;
    n.arc.sweep = 0x8000;
    if (Ref sig = model::item_signal(track); sig != model::kNone) {
        model::AttachSignal(arc, model::signal_name(sig));
    }
    if (ring != doc.ring()) {
        items_changed(doc); // the index takes only top-level Items as they come
    } else if (g.spatial != nullptr && g.spatial->covers(doc)) {
        g.spatial->appended(arc);
    }
    begin_grab(g, doc, a.centre, function);
    bool held = add_entry(g, arc, kGrabFirst | kGrabNew) != model::kNone;
    if (!held || add_entry(g, track, kGrabDropDelete) == model::kNone) {
        if (!held) {
            if (g.spatial != nullptr) {
                g.spatial->removed(arc);
            }
            model::DeleteItem(arc);
        }
        abandon(g, d);
        return model::kNone;
    }
    redraw_region(d, doc, item_area(track)); // the track shows as marked for deletion
    g.building = false;
    show_grab(g, d);
    return arc;
}

} // namespace trazel::edit
