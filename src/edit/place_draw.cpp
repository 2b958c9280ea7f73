#include "edit/place_draw.h"
#include "edit/status.h"

#include <algorithm>
#include <cstdlib>

#include "display/colour.h"
#include "display/draw_items.h"
#include "display/trig.h"
#include "display/view.h"
#include "edit/area.h"
#include "edit/grab.h"
#include "edit/grab_internal.h"
#include "edit/locate.h"
#include "edit/text_entry.h"
#include "edit/undo.h"
#include "model/hit_test.h"

namespace trazel::edit {

using model::Node;
using model::node;

namespace {

constexpr Coord kCollapsed = 3; // a dropped track shorter than this in both axes goes (the grab's rule)
constexpr Coord kArcRadiusRefused = 3;

uint16_t short_length(Coord v) {
    return static_cast<uint16_t>(std::clamp<Coord>(v, 0, 0xFFFF));
}

bool copper(const model::Setup& s, int layer) {
    return s.layers[layer & 0xFF].kind() == model::kLayerCopper;
}

bool collapsed(Point a, Point b) {
    int64_t dx = int64_t{b.x} - a.x, dy = int64_t{b.y} - a.y;
    return dx > -kCollapsed && dx < kCollapsed && dy > -kCollapsed && dy < kCollapsed;
}

uint32_t xor_pixel(const display::Display& d) {
    return d.slots.pixel[display::kSlotXorOutline];
}

// The grab's index kept in step with what is made and removed here, so the next click need not rebuild
// it: top-level Items appended are entered, removed ones taken out, and at the end the records written
// meanwhile are accepted as known.  An Item made inside a Component's ring is not one the index can
// enter: the Document's indexes are then marked stale instead.
class IndexKeeper {
  public:
    IndexKeeper(GrabList& g, model::Document& doc)
        : index_(g.spatial), doc_(doc), in_step_(index_ != nullptr && index_->covers(doc)) {
    }
    ~IndexKeeper() {
        if (in_step_) {
            index_->adopt(doc_);
        }
    }
    IndexKeeper(const IndexKeeper&) = delete;
    IndexKeeper& operator=(const IndexKeeper&) = delete;

    void made(Ref r, Ref ring) {
        if (ring != doc_.ring()) {
            in_step_ = false;
            items_changed(doc_);
        } else if (in_step_) {
            index_->appended(r);
        }
    }
    void gone(Ref r) {
        if (index_ != nullptr) {
            index_->removed(r);
        }
    }
    // The index for look-ups while the keeper holds it in step; nullptr means walk the Document.
    const SpatialIndex* index() const {
        return in_step_ ? index_ : nullptr;
    }
    model::Document& doc() {
        return doc_;
    }

  private:
    SpatialIndex* index_;
    model::Document& doc_;
    bool in_step_;
};

// Calls f(item, depth) for every Item near `p` that is not Hidden: through the index when one is given,
// else by walking the whole tree.
template <class F> void visit_near(const model::Document& doc, const SpatialIndex* index, Point p, Coord reach, F&& f) {
    if (index != nullptr) {
        int64_t r = int64_t{reach} + 1;
        index->visit_back(Rect64{p.x - r, p.y - r, p.x + r, p.y + r}, [&](Ref item, int depth) {
            f(item, depth);
            return false;
        });
        return;
    }
    model::walk_tree(doc.ring(), [&](Ref item, int depth) -> bool {
        if (node(item).hidden()) {
            return false;
        }
        f(item, depth);
        return true;
    });
}

Ref make_line(IndexKeeper& k, Ref ring, const TrackStyle& style, Point a, Point b, std::string_view signal) {
    Ref t = model::MakeItem(ring, model::kLine, static_cast<uint8_t>(style.layer), short_length(style.width), a.x, a.y,
                            b.x, b.y);
    if (t == model::kNone) {
        return t;
    }
    if (!signal.empty()) {
        model::AttachSignal(t, signal);
    }
    k.made(t, ring);
    return t;
}

Ref make_pad(IndexKeeper& k, const PadMaking& made, Point at, std::string_view signal) {
    Ref ring = k.doc().ring();
    Ref p = model::MakeItem(ring, model::kPad, static_cast<uint8_t>(made.layer), static_cast<uint16_t>(made.type & 7),
                            at.x, at.y, 0, 0);
    if (p == model::kNone) {
        return p;
    }
    Node& n = node(p);
    n.pad.width = short_length(made.width);
    n.pad.height = short_length(made.height);
    n.pad.hole = short_length(made.hole);
    n.pad.angle = made.angle;
    if (!signal.empty()) {
        model::AttachSignal(p, signal);
    }
    k.made(p, ring);
    return p;
}

Ref make_arc(IndexKeeper& k, const ArcMaking& made, Point centre) {
    Ref ring = k.doc().ring();
    Ref a = model::MakeItem(ring, model::kArc, static_cast<uint8_t>(made.layer), short_length(made.width), centre.x,
                            centre.y, made.radius, 0);
    if (a == model::kNone) {
        return a;
    }
    Node& n = node(a);
    n.arc.start = made.start;
    n.arc.sweep = made.sweep;
    n.arc.ellipse = made.ellipse;
    n.arc.angle = made.ellipse_angle;
    k.made(a, ring);
    return a;
}

PadMaking via_pad(const ViaStyle& via) {
    PadMaking p;
    p.type = via.hole != 0 ? 3 : 7;
    p.layer = via.layer;
    p.width = p.height = via.size;
    p.hole = via.hole;
    return p;
}

std::string signal_of(Ref item) {
    Ref s = model::item_signal(item);
    return s == model::kNone ? std::string{} : model::signal_name(s);
}

// Shows the grab that was just built.
void show_built(GrabList& g, display::Display& d) {
    g.building = false;
    show_grab(g, d);
}

const GrabEntry* rubber_entry(const Polyline& pl, const GrabList& g) {
    if (pl.rubber == model::kNone || g.function != pl.function) {
        return nullptr;
    }
    auto it = g.index.find(pl.rubber);
    return it == g.index.end() ? nullptr : &g.entries[it->second];
}

// A new rubber segment from `at` to `at`, hanging by its second end.  The rubber's working copy keeps
// both ends at the grab reference point, so the moving end is where the grab is.
int start_rubber(Polyline& pl, GrabList& g, display::Display& d, model::Document& doc, const TrackStyle& style,
                 Point at) {
    pl.rubber = model::kNone;
    Ref t;
    {
        IndexKeeper k(g, doc);
        t = make_line(k, doc.ring(), style, at, at, pl.signal);
        if (t == model::kNone) {
            return 0;
        }
        begin_grab(g, doc, at, pl.function);
        if (add_entry(g, t, kGrabSecond | kGrabNew) == model::kNone) {
            k.gone(t);
            model::DeleteItem(t);
            clear_grab(g);
            return 0;
        }
    }
    g.anchor = at;
    pl.rubber = t;
    show_built(g, d);
    return 1;
}

bool wants_auto_via_in(const model::Document& doc, Ref track, const SpatialIndex* index) {
    const Node& t = node(track);
    if (!is_track(t) || !copper(doc.setup, t.layer)) {
        return false;
    }
    Point s{t.line.x1, t.line.y1};
    bool pad = false;
    int others = 0;
    Ref other = model::kNone;
    visit_near(doc, index, s, model::kSamePlace, [&](Ref r, int) {
        const Node& n = node(r);
        if (n.item_kind() == model::kPad) {
            pad = pad || model::hit_pad(n, 0, s, turn_of);
        } else if (r != track && is_track(n) && ends_at(n, s) != 0) {
            ++others;
            other = r;
        }
    });
    return !pad && others == 1 && node(other).layer != t.layer && copper(doc.setup, node(other).layer);
}

Ref auto_via_in(IndexKeeper& k, Ref track, const ViaStyle& via, int number) {
    const Node& t = node(track);
    PadMaking p = via_pad(via);
    p.type = 3; // always a through via, on the pad master layer
    p.layer = model::kPadMasterLayer;
    Ref v = make_pad(k, p, Point{t.line.x1, t.line.y1}, signal_of(track));
    if (v != model::kNone) {
        RecordCreated(k.doc(), v, number);
    }
    return v;
}

// After a segment was fixed (its own record is number 0): the automatic via at its start, in its group.
int after_fixed(GrabList& g, display::Display& d, model::Document& doc, Ref segment, const ViaStyle& via, int number) {
    IndexKeeper k(g, doc);
    if (!wants_auto_via_in(doc, segment, k.index())) {
        return number;
    }
    Ref v = auto_via_in(k, segment, via, number);
    if (v == model::kNone) {
        return number;
    }
    redraw_region(d, doc, item_area(v));
    return number + 1;
}

} // namespace

// --- Presets and floors -------------------------------------------------------------------------------

Coord width_after_dialog(Coord w) {
    return w < kWidthFloor ? kPresetWidth : w;
}

Coord width_at_click(Coord w) {
    return w < kClickWidthFloor ? kPresetWidth : w;
}

Coord radius_after_dialog(Coord r) {
    return r < kRadiusFloor ? kPresetRadius : r;
}

// --- Pad rules ----------------------------------------------------------------------------------------

PadFault check_pad(const PadMaking& p) {
    if (is_surface_type(p.type) && p.layer == model::kPadMasterLayer) {
        return PadFault::SurfaceOnPadMaster;
    }
    if (is_surface_type(p.type) && p.hole != 0) {
        return PadFault::SurfaceWithHole;
    }
    if (!is_surface_type(p.type) && (p.type & 3) != 0 && p.hole == 0) {
        return PadFault::ThroughWithoutHole;
    }
    if (p.width == 0 || p.height == 0) {
        return PadFault::NullSize;
    }
    return PadFault::None;
}

FaultBox pad_fault_box(PadFault f) {
    switch (f) {
    case PadFault::SurfaceOnPadMaster:
        return {"Pad layer/type conflict", "Surface mount pads may not be placed\nonto the pad master layer.\n\nPlease "
                                           "specify target layer or select\nthrough-hole pad type."};
    case PadFault::SurfaceWithHole:
        return {"Pad type/drill conflict", "Surface mount pads may not contain\na drill hole.\n\nPlease clear the hole "
                                           "size or select\nthrough-hole pad type."};
    case PadFault::ThroughWithoutHole:
        return {"Pad type/drill conflict",
                "Through-hole pads must contain\na drill hole.\n\nPlease specify a hole size "
                "or select\nsurface mount pad type."};
    case PadFault::NullSize:
        return {"Pad XY size error",
                "Pads may not have a null or zero size\nin either the X and Y dimensions.\n\nPlease "
                "specify the desired pad size."};
    case PadFault::None:
        break;
    }
    return {"", ""};
}

// --- Where pads go ------------------------------------------------------------------------------------

bool pad_point_taken(const model::Document& doc, int layer, bool hole, Point p, Coord tolerance,
                     const SpatialIndex* index) {
    if (index != nullptr && !index->covers(doc)) {
        index = nullptr;
    }
    bool taken = false;
    visit_near(doc, index, p, tolerance, [&](Ref r, int) {
        const Node& n = node(r);
        if (taken || n.item_kind() != model::kPad) {
            return;
        }
        bool counts = hole ? !layer_hidden(doc.setup, n.layer) : on_layer(n, layer);
        taken = counts && model::hit_pad(n, static_cast<uint64_t>(std::max<Coord>(tolerance, 0)), p, turn_of);
    });
    return taken;
}

std::string signal_at(const model::Document& doc, int layer, Point p, Coord tolerance, const SpatialIndex* index) {
    if (index != nullptr && !index->covers(doc)) {
        index = nullptr;
    }
    std::string pad, same, any;
    visit_near(doc, index, p, std::max<Coord>(tolerance, model::kSamePlace), [&](Ref r, int) {
        const Node& n = node(r);
        if (model::item_signal(r) == model::kNone) {
            return;
        }
        if (n.item_kind() == model::kPad) {
            if (pad.empty() && on_layer(n, layer) &&
                model::hit_pad(n, static_cast<uint64_t>(std::max<Coord>(tolerance, 0)), p, turn_of)) {
                pad = signal_of(r);
            }
        } else if (is_track(n) && ends_at(n, p) != 0) {
            std::string& into = n.layer == layer ? same : any;
            if (into.empty()) {
                into = signal_of(r);
            }
        }
    });
    return !pad.empty() ? pad : !same.empty() ? same : any;
}

// --- Items made directly ------------------------------------------------------------------------------

Ref make_via(GrabList& g, model::Document& doc, const ViaStyle& via, Point at, std::string_view signal) {
    IndexKeeper k(g, doc);
    return make_pad(k, via_pad(via), at, signal);
}

Ref make_solid(GrabList& g, model::Document& doc, int layer, const std::vector<Point>& points) {
    if (points.size() < 3) {
        return model::kNone;
    }
    IndexKeeper k(g, doc);
    Ref s = model::MakeItem(doc.ring(), model::kLine, static_cast<uint8_t>(layer), 0, 0, 0, 0, 0);
    if (s == model::kNone) {
        return s;
    }
    for (Point p : points) {
        if (!model::add_vertex(s, p.x, p.y)) {
            model::DeleteItem(s);
            return model::kNone;
        }
    }
    k.made(s, doc.ring());
    return s;
}

// --- Polyline -----------------------------------------------------------------------------------------

bool polyline_active(const Polyline& pl, const GrabList& g) {
    return rubber_entry(pl, g) != nullptr;
}

Point polyline_anchor(const Polyline& pl, const GrabList& g) {
    const GrabEntry* e = rubber_entry(pl, g);
    if (e == nullptr) {
        return Point{};
    }
    const Node& c = node(e->copy);
    return Point{c.line.x1, c.line.y1};
}

Point polyline_end(const Polyline& pl, const GrabList& g) {
    const GrabEntry* e = rubber_entry(pl, g);
    if (e == nullptr) {
        return Point{};
    }
    const Node& c = node(e->copy);
    Point off = grab_offset(g);
    return Point{model::clamp_coord(int64_t{c.line.x2} + off.x), model::clamp_coord(int64_t{c.line.y2} + off.y)};
}

int start_polyline(Polyline& pl, GrabList& g, display::Display& d, model::Document& doc, uint16_t function,
                   const TrackStyle& style, Point at, std::string_view signal) {
    pl = Polyline{};
    pl.function = function;
    pl.signal = std::string(signal);
    return start_rubber(pl, g, d, doc, style, at);
}

void follow_polyline(Polyline& pl, GrabList& g, display::Display& d, Point cursor, int angle_mode) {
    if (!polyline_active(pl, g)) {
        return;
    }
    Point to = cursor;
    if (angle_mode != 0) {
        Point a = polyline_anchor(pl, g), e = polyline_end(pl, g);
        std::optional<Angle> direction;
        if (e.x != a.x || e.y != a.y) {
            direction = display::atan2_16(int64_t{e.y} - a.y, int64_t{e.x} - a.x);
        }
        to = display::constrain_angle(angle_mode, cursor, a, direction);
    }
    move_grab(g, d, to, 0);
}

PolylineStep polyline_click(Polyline& pl, GrabList& g, display::Display& d, Point cursor, int angle_mode,
                            const TrackStyle& next, const ViaStyle& via, Point* back_to) {
    if (!polyline_active(pl, g)) {
        return PolylineStep::Nothing;
    }
    follow_polyline(pl, g, d, cursor, angle_mode);
    model::Document& doc = *g.doc;
    Point a = polyline_anchor(pl, g), e = polyline_end(pl, g);
    const Node& rubber = node(rubber_entry(pl, g)->copy);
    TrackStyle was{rubber.layer, rubber.size};

    if (!model::same_place(a, e)) {
        Ref segment = pl.rubber;
        drop(g, d);
        pl.rubber = model::kNone;
        pl.fixed.push_back(segment);
        after_fixed(g, d, doc, segment, via, 1);
        start_rubber(pl, g, d, doc, next, e);
        return PolylineStep::Fixed;
    }

    // The click fell on the start again: the last segment goes if it ends here as the rubber would.
    if (pl.fixed.empty()) {
        return PolylineStep::Nothing;
    }
    Ref last = pl.fixed.back();
    const Node& ln = node(last);
    if (ln.item_kind() != model::kLine || ln.hidden() || ln.layer != was.layer || ln.size != was.width ||
        !model::same_place(end_point(ln, 2), a)) {
        return PolylineStep::Nothing;
    }
    Point start = end_point(ln, 1);
    abandon(g, d);
    pl.rubber = model::kNone;
    {
        IndexKeeper k(g, doc);
        Box area = item_area(last);
        k.gone(last);
        RecordDeleted(doc, last, 0);
        doc.mark_modified();
        redraw_region(d, doc, area);
    }
    pl.fixed.pop_back();
    start_rubber(pl, g, d, doc, was, start);
    if (back_to != nullptr) {
        *back_to = start;
    }
    return PolylineStep::TookBack;
}

int polyline_via(Polyline& pl, GrabList& g, display::Display& d, Point cursor, int angle_mode, const ViaStyle& via,
                 const TrackStyle& next) {
    if (!polyline_active(pl, g)) {
        return 0;
    }
    follow_polyline(pl, g, d, cursor, angle_mode);
    model::Document& doc = *g.doc;
    Point a = polyline_anchor(pl, g), e = polyline_end(pl, g);
    const Node& rubber = node(rubber_entry(pl, g)->copy);
    TrackStyle was{rubber.layer, rubber.size};

    int number = 0;
    Point from = a;
    if (!model::same_place(a, e)) {
        Ref segment = pl.rubber;
        drop(g, d);
        pl.fixed.push_back(segment);
        number = after_fixed(g, d, doc, segment, via, 1);
        from = e;
    } else {
        abandon(g, d);
    }
    pl.rubber = model::kNone;

    Box area;
    {
        IndexKeeper k(g, doc);
        // Where the ortho constraint stopped the segment short of the cursor, one more joins them.
        if (!model::same_place(from, cursor)) {
            Ref join = make_line(k, doc.ring(), was, from, cursor, pl.signal);
            if (join != model::kNone) {
                RecordCreated(doc, join, number++);
                pl.fixed.push_back(join);
                area.add(item_area(join));
                if (wants_auto_via_in(doc, join, k.index())) {
                    if (Ref v = auto_via_in(k, join, via, number); v != model::kNone) {
                        ++number;
                        area.add(item_area(v));
                    }
                }
            }
        }
        Ref v = make_pad(k, via_pad(via), cursor, pl.signal);
        if (v != model::kNone) {
            RecordCreated(doc, v, number++);
            area.add(item_area(v));
        }
        doc.mark_modified();
    }
    redraw_region(d, doc, area);
    start_rubber(pl, g, d, doc, next, cursor);
    return 1;
}

bool wants_auto_via(const model::Document& doc, Ref track, const SpatialIndex* index) {
    if (index != nullptr && !index->covers(doc)) {
        index = nullptr;
    }
    return wants_auto_via_in(doc, track, index);
}

Ref auto_via(GrabList& g, model::Document& doc, Ref track, const ViaStyle& via, int number) {
    IndexKeeper k(g, doc);
    if (!wants_auto_via_in(doc, track, k.index())) {
        return model::kNone;
    }
    return auto_via_in(k, track, via, number);
}

// --- Vertex -------------------------------------------------------------------------------------------

int split_track(GrabList& g, display::Display& d, model::Document& doc, Ref track, Point at, uint16_t function,
                VertexSplit& out) {
    out = VertexSplit{};
    const Node old = node(track);
    if (!is_track(old) || old.hidden()) {
        return 0;
    }
    Point p1 = end_point(old, 1), p2 = end_point(old, 2);
    Ref ring = ring_head_of(track);
    TrackStyle style{old.layer, old.size};
    std::string signal = signal_of(track);
    Ref a, b;
    {
        IndexKeeper k(g, doc);
        a = make_line(k, ring, style, p1, at, signal);
        b = make_line(k, ring, style, at, p2, signal);
        if (a == model::kNone || b == model::kNone) {
            for (Ref r : {a, b}) {
                if (r != model::kNone) {
                    k.gone(r);
                    model::DeleteItem(r);
                }
            }
            return 0;
        }
    }
    auto far = [&](Point q) { return std::llabs(int64_t{q.x} - at.x) + std::llabs(int64_t{q.y} - at.y); };
    begin_grab(g, doc, at, function);
    bool a_first = far(p1) <= far(p2);
    Ref first = a_first ? a : b, second = a_first ? b : a;
    add_entry(g, first, static_cast<uint8_t>((first == a ? kGrabSecond : kGrabFirst) | kGrabNew));
    add_entry(g, second, static_cast<uint8_t>((second == a ? kGrabSecond : kGrabFirst) | kGrabNew));
    add_entry(g, track, kGrabDropDelete);
    if (find_entry(g, a) == nullptr || find_entry(g, b) == nullptr || find_entry(g, track) == nullptr) {
        abandon(g, d);
        return 0;
    }
    redraw_region(d, doc, item_area(track)); // the old track shows as marked for deletion
    show_built(g, d);
    out = VertexSplit{track, a, b};
    return 1;
}

int fix_vertex(GrabList& g, display::Display& d, VertexSplit& split, uint16_t function) {
    if (g.empty() || g.function != function || find_entry(g, split.to_vertex) == nullptr ||
        find_entry(g, split.from_vertex) == nullptr) {
        return 0;
    }
    model::Document& doc = *g.doc;
    Point v = g.at; // both new Lines meet at the reference point, which is where the grab is
    const Node& ta = node(find_entry(g, split.to_vertex)->copy);
    const Node& tb = node(find_entry(g, split.from_vertex)->copy);
    Point p1 = end_point(ta, 1), p2 = end_point(tb, 2);
    Ref far = model::kNone;
    Point at{};
    if (!collapsed(v, p2)) {
        far = split.from_vertex;
    } else if (!collapsed(p1, v)) {
        far = split.to_vertex;
    }
    drop(g, d);
    split = VertexSplit{};
    if (far == model::kNone) {
        return 1; // both sides collapsed: nothing left to split
    }
    at = v;
    split_track(g, d, doc, far, at, function, split);
    return 1;
}

// --- Copies hanging on the cursor ---------------------------------------------------------------------

Ref hang_pad(GrabList& g, display::Display& d, model::Document& doc, const PadMaking& pad, std::string_view pin, Point at,
             uint16_t function) {
    Ref p;
    {
        IndexKeeper k(g, doc);
        p = make_pad(k, pad, at, {});
        if (p == model::kNone) {
            return p;
        }
        if (!pin.empty()) {
            model::SetPin(p, pin);
        }
        begin_grab(g, doc, at, function);
        if (add_entry(g, p, kGrabFirst | kGrabNew) == model::kNone) {
            k.gone(p);
            model::DeleteItem(p);
            clear_grab(g);
            return model::kNone;
        }
    }
    show_built(g, d);
    return p;
}

Ref hang_arc(GrabList& g, display::Display& d, model::Document& doc, const ArcMaking& arc, Point at, uint16_t function) {
    Ref a;
    {
        IndexKeeper k(g, doc);
        a = make_arc(k, arc, at);
        if (a == model::kNone) {
            return a;
        }
        begin_grab(g, doc, at, function);
        if (add_entry(g, a, kGrabFirst | kGrabNew) == model::kNone) {
            k.gone(a);
            model::DeleteItem(a);
            clear_grab(g);
            return model::kNone;
        }
    }
    show_built(g, d);
    return a;
}

Ref place_hanging(GrabList& g, display::Display& d) {
    if (g.entries.size() != 1 || !g.entries.front().is_new()) {
        return model::kNone;
    }
    Ref r = g.entries.front().real;
    return drop(g, d) ? r : model::kNone;
}

// --- Text ---------------------------------------------------------------------------------------------

Ref make_text(GrabList& g, model::Document& doc, const TextStyle& style, Point at) {
    IndexKeeper k(g, doc);
    int layer = style.layer & 0xFF;
    Ref t = model::MakeItem(doc.ring(), model::kText, static_cast<uint8_t>(layer), short_length(style.height), at.x,
                            at.y, stored_mirror(doc.setup, layer, style.mirrored) ? -1 : 1, 0);
    if (t == model::kNone) {
        return t;
    }
    Node& n = node(t);
    n.text.angle = style.angle;
    n.text.anchor_font = static_cast<uint8_t>((style.anchor & 15) | (style.font & 15) << 4);
    n.text.lines = 1;
    k.made(t, doc.ring());
    return t;
}

Ref hang_text(GrabList& g, display::Display& d, model::Document& doc, const TextStyle& style, Point at,
              uint16_t function) {
    Ref t = make_text(g, doc, style, at);
    if (t == model::kNone) {
        return t;
    }
    begin_grab(g, doc, at, function);
    if (add_entry(g, t, kGrabFirst | kGrabNew) == model::kNone) {
        if (g.spatial != nullptr) {
            g.spatial->removed(t);
        }
        model::DeleteItem(t);
        clear_grab(g);
        return model::kNone;
    }
    show_built(g, d);
    return t;
}

void retype_hanging(GrabList& g, display::Display& d, Ref text, std::string_view typed) {
    GrabEntry* e = find_entry(g, text);
    if (e == nullptr || g.doc == nullptr) {
        return;
    }
    // The copy shares the real Text's chain: it is shown again only once it points at the new one.
    bool was = g.shown;
    hide_grab(g, d);
    store_typed_text(text, g.doc->setup, typed);
    Node& copy = node(e->copy);
    const Node& real = node(text);
    copy.link = real.link;
    copy.text.length = real.text.length;
    copy.text.lines = real.text.lines;
    if (was) {
        show_grab(g, d);
    }
}

void record_new(GrabList& g, display::Display& d, model::Document& doc, Ref item) {
    {
        IndexKeeper k(g, doc); // the Item is in the index already; its record is accepted as known
        RecordCreated(doc, item, 0);
        doc.mark_modified();
    }
    redraw_region(d, doc, item_area(item));
}

// --- Sketch -------------------------------------------------------------------------------------------

Sketch::~Sketch() {
    if (model::g_pool != nullptr) {
        for (Ref r : nodes) {
            model::ReleaseNode(r);
        }
    }
}

void show_sketch(Sketch& s, display::Display& d, const model::Document& doc) {
    if (s.shown) {
        return;
    }
    for (Ref r : s.nodes) {
        display::draw_item_as(d, doc, r, xor_pixel(d));
    }
    s.shown = true;
}

void hide_sketch(Sketch& s, display::Display& d, const model::Document& doc) {
    if (!s.shown) {
        return;
    }
    for (Ref r : s.nodes) {
        display::draw_item_as(d, doc, r, xor_pixel(d));
    }
    s.shown = false;
}

void clear_sketch(Sketch& s, display::Display& d, const model::Document* doc) {
    if (doc != nullptr) {
        hide_sketch(s, d, *doc);
    }
    for (Ref r : s.nodes) {
        model::ReleaseNode(r);
    }
    s.nodes.clear();
    s.shown = false;
}

void draw_sketch(const Sketch& s, display::Display& d, display::Raster& r, const model::Document* doc) {
    if (!s.shown || s.nodes.empty()) {
        return;
    }
    display::ItemPainter p(d, r, doc);
    for (Ref n : s.nodes) {
        p.item(n, xor_pixel(d));
    }
}

namespace {

Ref sketch_node(Sketch& s) {
    Ref r = model::AllocNode();
    if (r != model::kNone) {
        s.nodes.push_back(r);
    }
    return r;
}

Ref sketch_line(Sketch& s, int layer, Point a, Point b) {
    Ref r = sketch_node(s);
    if (r != model::kNone) {
        Node& n = node(r);
        n.kind = model::kLine;
        n.layer = static_cast<uint8_t>(layer);
        n.size = 1;
        n.line = model::LineFields{a.x, a.y, b.x, b.y, 0};
    }
    return r;
}

Angle angle_to(Point centre, Point p) {
    return display::atan2_16(int64_t{p.y} - centre.y, int64_t{p.x} - centre.x);
}

} // namespace

// --- Three-point arc ----------------------------------------------------------------------------------

Coord radius_to(Point centre, Point p) {
    uint64_t dx = static_cast<uint64_t>(model::abs64(int64_t{p.x} - centre.x));
    uint64_t dy = static_cast<uint64_t>(model::abs64(int64_t{p.y} - centre.y));
    return static_cast<Coord>(std::min<uint64_t>(model::isqrt64(dx * dx + dy * dy), model::kCoordLimit));
}

void follow_arc(ArcDraw& a, display::Display& d, const model::Document& doc, Point cursor) {
    if (a.step == 0 || a.outline.nodes.empty()) {
        return;
    }
    bool was = a.outline.shown;
    hide_sketch(a.outline, d, doc);
    Node& n = node(a.outline.nodes.front());
    if (a.step == 1) {
        n.arc.radius = radius_to(a.centre, cursor);
    } else {
        n.arc.sweep = static_cast<Angle>(angle_to(a.centre, cursor) - a.start);
    }
    if (was) {
        show_sketch(a.outline, d, doc);
    }
}

ArcStep arc_click(ArcDraw& a, GrabList& g, display::Display& d, model::Document& doc, Point p, const TrackStyle& style,
                  Ref* made) {
    switch (a.step) {
    case 0: {
        clear_sketch(a.outline, d, &doc);
        a.centre = p;
        Ref r = sketch_node(a.outline);
        if (r != model::kNone) {
            Node& n = node(r);
            n.kind = model::kArc;
            n.layer = static_cast<uint8_t>(style.layer);
            n.size = short_length(style.width);
            n.arc.x0 = p.x;
            n.arc.y0 = p.y;
        }
        show_sketch(a.outline, d, doc);
        a.step = 1;
        return ArcStep::Centre;
    }
    case 1: {
        Coord r = radius_to(a.centre, p);
        if (r <= kArcRadiusRefused) {
            return ArcStep::Refused;
        }
        a.radius = r;
        a.start = angle_to(a.centre, p);
        if (!a.outline.nodes.empty()) {
            hide_sketch(a.outline, d, doc);
            Node& n = node(a.outline.nodes.front());
            n.arc.radius = r;
            n.arc.start = a.start;
            n.arc.sweep = 0;
            show_sketch(a.outline, d, doc);
        }
        a.step = 2;
        return ArcStep::Radius;
    }
    default: {
        Angle sweep = static_cast<Angle>(angle_to(a.centre, p) - a.start);
        clear_sketch(a.outline, d, &doc);
        a.step = 0;
        ArcMaking shape;
        shape.layer = style.layer;
        shape.width = style.width;
        shape.radius = a.radius;
        shape.start = a.start;
        shape.sweep = sweep;
        Ref arc;
        {
            IndexKeeper k(g, doc);
            arc = make_arc(k, shape, a.centre);
        }
        if (arc == model::kNone) {
            return ArcStep::Refused;
        }
        record_new(g, d, doc, arc);
        if (made != nullptr) {
            *made = arc;
        }
        return ArcStep::Made;
    }
    }
}

void cancel_arc(ArcDraw& a, display::Display& d, const model::Document* doc) {
    clear_sketch(a.outline, d, doc);
    a.step = 0;
}

// --- Polygon ------------------------------------------------------------------------------------------

namespace {

void rebuild_outline(PolygonDraw& pg, display::Display& d, const model::Document& doc) {
    clear_sketch(pg.outline, d, &doc);
    int layer = doc.setup.current_layer & 0xFF;
    for (size_t i = 1; i < pg.points.size(); ++i) {
        sketch_line(pg.outline, layer, pg.points[i - 1], pg.points[i]);
    }
    if (!pg.points.empty()) {
        sketch_line(pg.outline, layer, pg.points.back(), pg.cursor); // the rubber edge comes last
    }
    show_sketch(pg.outline, d, doc);
}

} // namespace

size_t polygon_click(PolygonDraw& pg, display::Display& d, const model::Document& doc, Point p) {
    if (!pg.points.empty() && model::same_place(pg.points.back(), p)) {
        pg.points.pop_back();
    } else {
        pg.points.push_back(p);
    }
    pg.cursor = p;
    rebuild_outline(pg, d, doc);
    return pg.points.size();
}

void follow_polygon(PolygonDraw& pg, display::Display& d, const model::Document& doc, Point cursor) {
    pg.cursor = cursor;
    if (pg.outline.nodes.empty()) {
        return;
    }
    bool was = pg.outline.shown;
    hide_sketch(pg.outline, d, doc);
    Node& rubber = node(pg.outline.nodes.back());
    rubber.line.x2 = cursor.x;
    rubber.line.y2 = cursor.y;
    if (was) {
        show_sketch(pg.outline, d, doc);
    }
}

Ref finish_polygon(PolygonDraw& pg, GrabList& g, display::Display& d, model::Document& doc, int layer) {
    clear_sketch(pg.outline, d, &doc);
    std::vector<Point> points;
    points.swap(pg.points);
    Ref s = make_solid(g, doc, layer, points);
    if (s != model::kNone) {
        record_new(g, d, doc, s);
    }
    return s;
}

void cancel_polygon(PolygonDraw& pg, display::Display& d, const model::Document* doc) {
    clear_sketch(pg.outline, d, doc);
    pg.points.clear();
}

// --- Document rules -----------------------------------------------------------------------------------

bool read_only(const model::Document& doc) {
    return doc.setup.format_code == 'Z';
}

bool stored_mirror(const model::Setup& s, int layer, bool mirrored_in_dialog) {
    bool bottom = (s.layers[layer & 0xFF].type & model::kLayerBottom) != 0;
    return mirrored_in_dialog != bottom;
}

int polygon_prompt(size_t points) {
    switch (points) {
    case 0:
        return kMsgPolygonFirst;
    case 1:
        return kMsgPolygonSecond;
    case 2:
        return kMsgPolygonThird;
    default:
        return kMsgPolygonMore;
    }
}

} // namespace trazel::edit
