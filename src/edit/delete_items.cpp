#include "edit/delete_items.h"

#include <algorithm>
#include <cstdlib>
#include <unordered_set>

#include "edit/area.h"
#include "edit/grab.h"
#include "edit/undo.h"

namespace trazel::edit {

using model::Node;
using model::node;

namespace {

bool is_track(const Node& n) {
    return n.item_kind() == model::kLine && n.size != 0;
}

Point end_of(const Node& line, int end) {
    return end == 1 ? Point{line.line.x1, line.line.y1} : Point{line.line.x2, line.line.y2};
}

Point centre_of(const Node& pad) {
    return Point{pad.pad.x0, pad.pad.y0};
}

// Layer 0 stands for every layer (the chain past a via).
bool pad_on(const Node& pad, int layer) {
    return layer == 0 || on_layer(pad, layer);
}

// Closer to the centre than a quarter of the pad's smaller size.
bool near_centre(const Node& pad, Point p) {
    int64_t s = std::min(pad.pad.width, pad.pad.height);
    int64_t dx = int64_t{p.x} - pad.pad.x0, dy = int64_t{p.y} - pad.pad.y0;
    if (std::llabs(dx) > s || std::llabs(dy) > s) {
        return false;
    }
    return 16 * (dx * dx + dy * dy) < s * s;
}

// The Items near a point, Hidden ones left out: from the index when it follows the Document (its boxes
// hold every point within a quarter width of a track end or a quarter size of a pad centre), else the
// whole tree.  Both visit in the order of a forward tree walk.
template <class F> void visit_near(const model::Document& doc, const SpatialIndex* index, Point p, F&& f) {
    if (index != nullptr && index->covers(doc)) {
        index->visit_forward(Rect64{p.x, p.y, p.x, p.y}, [&](Ref r, int depth) {
            if (!node(r).hidden()) {
                f(r, depth);
            }
        });
        return;
    }
    model::walk_tree(doc.ring(), [&](Ref r, int depth) {
        if (node(r).hidden()) {
            return false;
        }
        f(r, depth);
        return true;
    });
}

struct Reached {
    Point p;
    int layer; // 0: every layer
};

} // namespace

Box delete_item(model::Document& doc, Ref item) {
    Box area = item_area(item);
    RecordDeleted(doc, item, 0);
    doc.mark_modified();
    return area;
}

std::vector<Ref> track_chain(const model::Document& doc, Ref track, const SpatialIndex* index) {
    std::vector<Ref> out;
    if (track == model::kNone || !is_track(node(track))) {
        return out;
    }
    std::unordered_set<Ref> taken{track};
    out.push_back(track);
    const Node& t = node(track);
    std::vector<Reached> work{{end_of(t, 1), t.layer}, {end_of(t, 2), t.layer}};
    for (size_t next = 0; next < work.size(); ++next) {
        Reached at = work[next];
        bool stop = false;
        Ref via = model::kNone;
        visit_near(doc, index, at.p, [&](Ref r, int depth) {
            const Node& n = node(r);
            if (n.item_kind() != model::kPad || !pad_on(n, at.layer) || !near_centre(n, at.p)) {
                return;
            }
            // A Component's pads end the chain whatever their shape; only a free via goes with it.
            if ((n.size & 3) != 3 || depth > 0) {
                stop = true;
            } else if (via == model::kNone) {
                via = r;
            }
        });
        if (stop) {
            continue;
        }
        if (via != model::kNone) {
            if (!taken.insert(via).second) {
                continue; // reached before: the chain went on from it then
            }
            out.push_back(via);
            at = Reached{centre_of(node(via)), 0};
        }
        visit_near(doc, index, at.p, [&](Ref r, int depth) {
            const Node& n = node(r);
            if (depth > 0 || !is_track(n) || (at.layer != 0 && n.layer != at.layer) || taken.count(r) != 0) {
                return;
            }
            int64_t reach = n.size / 4;
            auto within = [&](Point e) {
                int64_t dx = int64_t{e.x} - at.p.x, dy = int64_t{e.y} - at.p.y;
                return std::llabs(dx) <= reach && std::llabs(dy) <= reach && model::within_reach(dx, dy, reach);
            };
            bool first = within(end_of(n, 1)), second = within(end_of(n, 2));
            if (!first && !second) {
                return;
            }
            taken.insert(r);
            out.push_back(r);
            if (first) {
                work.push_back(Reached{end_of(n, 2), n.layer});
            }
            if (second) {
                work.push_back(Reached{end_of(n, 1), n.layer});
            }
        });
    }
    return out;
}

int delete_chain(model::Document& doc, Ref track, const SpatialIndex* index, Box* area) {
    std::vector<Ref> chain = track_chain(doc, track, index);
    int number = 0;
    for (Ref r : chain) {
        if (area != nullptr) {
            area->add(item_area(r));
        }
        RecordDeleted(doc, r, number++);
    }
    if (number > 0) {
        doc.mark_modified();
    }
    return number;
}

VertexJoin delete_vertex(model::Document& doc, int layer, Point p) {
    VertexJoin out;
    struct End {
        Ref track;
        int end;
    };
    std::vector<End> ends;
    model::walk_tree(doc.ring(), [&](Ref r, int) {
        const Node& n = node(r);
        if (n.hidden()) {
            return false;
        }
        if (is_track(n) && n.layer == layer) {
            for (int e = 1; e <= 2; ++e) {
                if (model::same_place(end_of(n, e), p)) {
                    ends.push_back(End{r, e});
                }
            }
        }
        return true;
    });
    out.ends = static_cast<int>(ends.size());
    // Two ends of one track (a stub) or of tracks in different rings cannot be joined.
    if (ends.size() != 2 || ends[0].track == ends[1].track) {
        return out;
    }
    Ref first = ends[0].track, second = ends[1].track;
    auto ring_of = [](Ref item) {
        Ref r = node(item).next;
        while (node(r).item_kind() != model::kHead) {
            r = node(r).next;
        }
        return r;
    };
    if (ring_of(first) != ring_of(second)) {
        return out;
    }
    Point far1 = end_of(node(first), 3 - ends[0].end), far2 = end_of(node(second), 3 - ends[1].end);
    out.area.add(item_area(first));
    out.area.add(item_area(second));
    RecordModified(doc, first, 0);
    Node& n = node(first);
    n.line.x1 = far1.x;
    n.line.y1 = far1.y;
    n.line.x2 = far2.x;
    n.line.y2 = far2.y;
    RecordDeleted(doc, second, 1);
    doc.mark_modified();
    auto distance = [&](Point q) {
        return std::llabs(int64_t{q.x} - p.x) / 2 + std::llabs(int64_t{q.y} - p.y);
    };
    out.cursor = distance(far2) < distance(far1) ? far2 : far1;
    out.kept = first;
    return out;
}

int delete_grabbed(GrabList& g, display::Display& d) {
    if (g.empty() || g.doc == nullptr) {
        clear_grab(g);
        return -1;
    }
    model::Document& doc = *g.doc;
    hide_grab(g, d);
    g.building = true; // the region redraw below must not draw the copies
    Box region;
    auto is_item = [](const GrabEntry& e) {
        return (e.flags & kGrabVertex) == 0 && node(e.real).item_kind() != model::kHead;
    };
    // Companions are real Items of the Document shown for display only: they are shown again and stay.
    for (const GrabEntry& e : g.entries) {
        if (e.companion() && is_item(e)) {
            node(e.real).kind &= static_cast<uint8_t>(~model::kHiddenFlag);
        }
    }
    // New Items existed only on the cursor.  Backwards, so the members of a new Component go before it.
    for (size_t i = g.entries.size(); i-- > 0;) {
        const GrabEntry& e = g.entries[i];
        if (!e.is_new() || !is_item(e)) {
            continue;
        }
        ForgetItem(doc, e.real);
        if (g.spatial != nullptr) {
            g.spatial->removed(e.real);
        }
        model::DeleteItem(e.real);
    }
    std::vector<Ref> held;
    model::walk_tree(doc.ring(), [&](Ref r, int) {
        if (node(r).hidden()) {
            held.push_back(r); // its members go with it
            return false;
        }
        return true;
    });
    int number = 0;
    for (Ref r : held) {
        region.add(item_area(r));
        RecordDeleted(doc, r, number++);
    }
    if (number > 0) {
        doc.mark_modified();
    }
    clear_grab(g);
    redraw_region(d, doc, region);
    return number;
}

int delete_highlighted(model::Document& doc, Box* area) {
    int number = 0;
    for (Ref r : model::items_in(doc.ring())) {
        const Node& n = node(r);
        if (!n.marked() || n.hidden()) {
            continue;
        }
        if (area != nullptr) {
            area->add(item_area(r));
        }
        RecordDeleted(doc, r, number++);
    }
    if (number > 0) {
        doc.mark_modified();
    }
    return number;
}

} // namespace trazel::edit
