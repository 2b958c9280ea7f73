#include "edit/locate.h"

#include <algorithm>
#include <array>

#include "display/trig.h"
#include "model/datafile.h"

namespace trazel::edit {

using model::Node;
using model::node;

namespace {

// Magnitudes of coordinate differences, compared and summed unsigned.
uint64_t abs64(int64_t v) {
    return static_cast<uint64_t>(model::abs64(v));
}

// Walks the ring tree backwards from the head, members of each Component right after the Component
// itself (depth first), skipping Hidden Items with their members.  f(item, depth) returns true to stop;
// the walk then returns true.
template <class F> bool walk_back(Ref head, F&& f) {
    struct Frame {
        Ref head, component;
    };
    std::array<Frame, model::kMaxComponentDepth + 1> stack;
    int depth = 0;
    Ref r = node(head).prev;
    while (true) {
        if (r == head || node(r).item_kind() == model::kHead) {
            if (depth == 0) {
                return false;
            }
            --depth;
            head = stack[depth].head;
            r = node(stack[depth].component).prev;
            continue;
        }
        const Node& n = node(r);
        if (!n.hidden()) {
            if (f(r, depth)) {
                return true;
            }
            if (n.item_kind() == model::kComponent && n.link != model::kNone && depth < model::kMaxComponentDepth) {
                stack[depth] = Frame{head, r};
                ++depth;
                head = n.link;
                r = node(head).prev;
                continue;
            }
        }
        r = n.prev;
    }
}

// The top-level ring only, backwards.
template <class F> bool walk_top_back(Ref head, F&& f) {
    for (Ref r = node(head).prev; r != head && node(r).item_kind() != model::kHead; r = node(r).prev) {
        if (!node(r).hidden() && f(r)) {
            return true;
        }
    }
    return false;
}

Rect64 around(Point p, int64_t reach) {
    return Rect64{int64_t{p.x} - reach, int64_t{p.y} - reach, int64_t{p.x} + reach, int64_t{p.y} + reach};
}

// The whole walk, or through the index the part of it near the point.
template <class F> bool walk_back_near(const model::Document& doc, const SpatialIndex* index, Point p, int64_t reach,
                                       F&& f) {
    if (index == nullptr) {
        return walk_back(doc.ring(), f);
    }
    return index->visit_back(around(p, reach + 1), f);
}

template <class F> bool walk_top_back_near(const model::Document& doc, const SpatialIndex* index, Point p,
                                           int64_t reach, F&& f) {
    if (index == nullptr) {
        return walk_top_back(doc.ring(), f);
    }
    return index->visit_back(around(p, reach + 1), [&](Ref r, int depth) { return depth == 0 && f(r); });
}

// The layer rule shared by the locators: a top-level Item must lie on the requested layer (any layer
// with 0); a Component member must lie on the requested layer even then (layer 0 meaning layer 0); with
// layer 0 asked, Items on hidden layers are skipped.
bool candidate(const model::Setup& s, const Node& n, int depth, int layer) {
    if (layer == 0 && layer_hidden(s, n.layer)) {
        return false;
    }
    if (depth == 0 && layer == 0) {
        return true;
    }
    return on_layer(n, layer);
}

bool is_track(const Node& n) {
    return n.item_kind() == model::kLine && n.size != 0;
}

bool is_solid(const Node& n) {
    return n.item_kind() == model::kLine && n.size == 0;
}

} // namespace

model::Turn turn_of(model::Angle a) {
    return model::Turn{display::sin16(a), display::cos16(a)};
}

Coord pick_tolerance(uint32_t scale) {
    if (scale == 0) {
        return 0x7FFFFFFF;
    }
    uint64_t t = ((uint64_t{1} << 32) + scale / 2) / scale;
    return static_cast<Coord>(std::min<uint64_t>(t, 0x7FFFFFFF));
}

bool layer_hidden(const model::Setup& s, int layer) {
    return (s.layers[layer & 0xFF].colour & model::kNoColour) != 0;
}

bool is_smt_pad(const Node& n) {
    return n.item_kind() == model::kPad && (n.size & 4) != 0;
}

bool on_layer(const Node& n, int layer) {
    if (n.item_kind() == model::kPad && (n.size & 4) == 0) {
        return true;
    }
    return n.layer == layer;
}

LineHit FindLineAt(const model::Document& doc, int layer, Point p, Coord tolerance, const SpatialIndex* index) {
    const model::Setup& s = doc.setup;
    LineHit best;
    int best_class = -1;
    uint64_t best_len = 0;
    walk_back_near(doc, index, p, tolerance, [&](Ref r, int depth) {
        const Node& n = node(r);
        if (!is_track(n) || !candidate(s, n, depth, layer)) {
            return false;
        }
        model::TrackHit hit = model::hit_track(n, uint64_t{n.size} / 2 + static_cast<uint64_t>(tolerance), p);
        if (hit == model::TrackHit::None) {
            return false;
        }
        int cls = (n.layer == layer ? 32 : 0) + (depth == 0 ? 16 : 0);
        uint64_t dx = abs64(int64_t{n.line.x2} - n.line.x1), dy = abs64(int64_t{n.line.y2} - n.line.y1);
        uint64_t len = dx * dx + dy * dy; // below 2^65 only for coordinates beyond the file range
        if (cls > best_class || (cls == best_class && len < best_len)) {
            best = LineHit{r, hit};
            best_class = cls;
            best_len = len;
        }
        return false;
    });
    return best;
}

Ref FindArcAt(const model::Document& doc, int layer, Point p, Coord tolerance, const SpatialIndex* index) {
    const model::Setup& s = doc.setup;
    Ref found = model::kNone;
    walk_back_near(doc, index, p, tolerance, [&](Ref r, int depth) {
        const Node& n = node(r);
        if (n.item_kind() == model::kArc && candidate(s, n, depth, layer) &&
            model::hit_arc_stroke(n, static_cast<uint64_t>(tolerance), p, turn_of)) {
            found = r;
            return true;
        }
        return false;
    });
    return found;
}

Ref FindPadAt(const model::Document& doc, int layer, Point p, Coord tolerance, const SpatialIndex* index) {
    const model::Setup& s = doc.setup;
    Ref found = model::kNone;
    walk_back_near(doc, index, p, tolerance, [&](Ref r, int depth) {
        const Node& n = node(r);
        if (n.item_kind() == model::kPad && candidate(s, n, depth, layer) &&
            model::hit_pad(n, static_cast<uint64_t>(tolerance), p, turn_of)) {
            found = r;
            return true;
        }
        return false;
    });
    return found;
}

Ref FindTextAt(const model::Document& doc, int layer, Point p, const SpatialIndex* index) {
    const model::Setup& s = doc.setup;
    auto text_hit = [&](Ref r, bool any_layer) {
        const Node& n = node(r);
        if (n.item_kind() != model::kText || (layer_hidden(s, n.layer) && (any_layer || layer == 0))) {
            return false;
        }
        return (any_layer || n.layer == layer) && model::hit_text(n, p, turn_of);
    };
    Ref found = model::kNone;
    for (bool any : {false, true}) {
        walk_top_back_near(doc, index, p, 0, [&](Ref r) {
            if (text_hit(r, any)) {
                found = r;
                return true;
            }
            return false;
        });
        if (found != model::kNone) {
            return found;
        }
    }
    if (index != nullptr) {
        // Component by Component in walking order, each with its own Texts on the layer, then on any.
        struct Hit {
            int64_t parent, order;
            Ref ref;
            bool on_layer;
        };
        std::vector<Hit> hits;
        index->visit_back(around(p, 1), [&](Ref r, int depth) {
            if (depth > 0 && text_hit(r, true)) {
                hits.push_back(Hit{index->parent_order(r), index->order(r), r, text_hit(r, false)});
            }
            return false;
        });
        std::stable_sort(hits.begin(), hits.end(), [](const Hit& a, const Hit& b) { return a.parent < b.parent; });
        for (size_t i = 0; i < hits.size();) {
            size_t j = i;
            Ref any = model::kNone;
            for (; j < hits.size() && hits[j].parent == hits[i].parent; ++j) {
                if (hits[j].on_layer) {
                    return hits[j].ref;
                }
                any = any != model::kNone ? any : hits[j].ref;
            }
            if (any != model::kNone) {
                return any;
            }
            i = j;
        }
        return model::kNone;
    }
    // Component by Component: its own Texts on the layer, then on any layer.
    walk_back(doc.ring(), [&](Ref c, int) {
        const Node& n = node(c);
        if (n.item_kind() != model::kComponent || n.link == model::kNone) {
            return false;
        }
        for (bool any : {false, true}) {
            walk_top_back(n.link, [&](Ref r) {
                if (text_hit(r, any)) {
                    found = r;
                    return true;
                }
                return false;
            });
            if (found != model::kNone) {
                return true;
            }
        }
        return false;
    });
    return found;
}

uint32_t ComponentKey(Ref component, int layer) {
    const Node& c = node(component);
    uint64_t dx = abs64(int64_t{c.box.x2} - c.box.x1), dy = abs64(int64_t{c.box.y2} - c.box.y1);
    uint64_t area;
    if (dx >= (uint64_t{1} << 32) || dy >= (uint64_t{1} << 32)) {
        area = (uint64_t{1} << 28) - 1;
    } else {
        // dx * dy may pass 64 bits only when both pass 2^32, which is excluded above.
        uint64_t hi = dx >> 16;
        area = std::min<uint64_t>(hi * dy + (((dx & 0xFFFF) * dy) >> 16), (uint64_t{1} << 28) - 1);
    }
    uint32_t key = static_cast<uint32_t>(area) | (uint32_t{1} << 28);
    if (c.link != model::kNone) {
        bool pad = false;
        model::for_each_item(c.link, [&](Ref r) {
            const Node& m = node(r);
            if (m.item_kind() == model::kPad && on_layer(m, layer)) {
                pad = true;
            }
        });
        if (pad) {
            key &= ~(uint32_t{1} << 28);
        }
    }
    return key;
}

Ref FindComponentAt(const model::Document& doc, int layer, Point p, const SpatialIndex* index) {
    Ref best = model::kNone;
    uint32_t best_key = 0;
    walk_top_back_near(doc, index, p, 0, [&](Ref r) {
        const Node& n = node(r);
        if (n.item_kind() != model::kComponent) {
            return false;
        }
        if (p.x < std::min(n.box.x1, n.box.x2) || p.x > std::max(n.box.x1, n.box.x2) ||
            p.y < std::min(n.box.y1, n.box.y2) || p.y > std::max(n.box.y1, n.box.y2)) {
            return false;
        }
        uint32_t key = ComponentKey(r, layer);
        if (best == model::kNone || key < best_key) {
            best = r;
            best_key = key;
        }
        return false;
    });
    return best;
}

Ref FindSolidAt(const model::Document& doc, int layer, Point p, Coord tolerance, const SpatialIndex* index) {
    const model::Setup& s = doc.setup;
    uint64_t reach = static_cast<uint64_t>(tolerance);
    Ref found = model::kNone;
    walk_back_near(doc, index, p, tolerance, [&](Ref r, int) {
        const Node& n = node(r);
        if (is_solid(n) && n.layer == layer && !(layer == 0 && layer_hidden(s, 0)) &&
            model::point_in_solid(r, p, reach)) {
            found = r;
            return true;
        }
        return false;
    });
    if (found == model::kNone) {
        walk_top_back_near(doc, index, p, tolerance, [&](Ref r) {
            const Node& n = node(r);
            if (is_solid(n) && !layer_hidden(s, n.layer) && model::point_in_solid(r, p, reach)) {
                found = r;
                return true;
            }
            return false;
        });
    }
    return found;
}

VertexHit find_vertex_at(const model::Document& doc, int layer, Point p, bool wide, const SpatialIndex* index) {
    const model::Setup& s = doc.setup;
    VertexHit near_layer, near_other;
    uint64_t d_layer = UINT64_MAX, d_other = UINT64_MAX;
    auto consider = [&](Ref r, int end, Point at, bool here, int depth, int item_layer) {
        uint64_t d = abs64(int64_t{at.x} - p.x) + abs64(int64_t{at.y} - p.y);
        if (d > static_cast<uint64_t>(kVertexReach)) {
            return;
        }
        if (here) {
            if (d < d_layer) {
                near_layer = VertexHit{r, end, at};
                d_layer = d;
            }
        } else if (depth == 0 && !layer_hidden(s, item_layer) && d < d_other) {
            near_other = VertexHit{r, end, at};
            d_other = d;
        }
    };
    walk_back_near(doc, index, p, kVertexReach, [&](Ref r, int depth) {
        const Node& n = node(r);
        bool here = on_layer(n, layer);
        if (is_track(n)) {
            consider(r, 1, Point{n.line.x1, n.line.y1}, here, depth, n.layer);
            consider(r, 2, Point{n.line.x2, n.line.y2}, here, depth, n.layer);
        } else if (wide && n.item_kind() == model::kArc) {
            consider(r, 1, model::arc_point(n, n.arc.start, turn_of), here, depth, n.layer);
            consider(r, 2, model::arc_point(n, static_cast<model::Angle>(n.arc.start + n.arc.sweep), turn_of), here,
                     depth, n.layer);
        } else if (wide && n.item_kind() == model::kPad) {
            consider(r, 0, Point{n.pad.x0, n.pad.y0}, here, depth, n.layer);
        }
        return false;
    });
    return near_layer.item != model::kNone ? near_layer : near_other;
}

namespace {

Found find_once(const model::Document& doc, Find what, int layer, Point p, Coord tol, const SpatialIndex* ix) {
    Found f;
    switch (what) {
    case Find::Line: {
        LineHit h = FindLineAt(doc, layer, p, tol, ix);
        f.item = h.item;
        f.where = h.where;
        break;
    }
    case Find::Arc:
        f.item = FindArcAt(doc, layer, p, tol, ix);
        break;
    case Find::Pad:
        f.item = FindPadAt(doc, layer, p, tol, ix);
        break;
    case Find::Text:
        f.item = FindTextAt(doc, layer, p, ix);
        break;
    case Find::Component:
        f.item = FindComponentAt(doc, layer, p, ix);
        break;
    case Find::Solid:
        f.item = FindSolidAt(doc, layer, p, tol, ix);
        break;
    }
    return f;
}

} // namespace

bool switch_layer(model::Document& doc, Ref item) {
    const Node& n = node(item);
    if (n.item_kind() == model::kComponent || (n.item_kind() == model::kPad && !is_smt_pad(n))) {
        return false;
    }
    if (n.layer == (doc.setup.current_layer & 0xFF)) {
        return false;
    }
    doc.setup.current_layer = n.layer;
    return true;
}

Found locate(model::Document& doc, Find what, Point p, Coord tolerance, bool* switched, const SpatialIndex* index) {
    int cur = doc.setup.current_layer & 0xFF;
    Found f = find_once(doc, what, cur, p, tolerance, index);
    if (f.item == model::kNone && cur != 0) {
        f = find_once(doc, what, 0, p, tolerance, index);
    }
    bool sw = f.item != model::kNone && switch_layer(doc, f.item);
    if (switched != nullptr) {
        *switched = sw;
    }
    return f;
}

} // namespace trazel::edit
