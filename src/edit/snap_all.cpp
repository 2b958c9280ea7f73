#include "edit/snap_all.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <unordered_map>
#include <vector>

#include "display/view.h"
#include "edit/spatial_index.h"
#include "edit/undo.h"

namespace trazel::edit {

using model::Coord;
using model::Node;
using model::node;
using model::Ref;

namespace {

bool conductive(const model::Setup& s, int layer) {
    return (s.layers[static_cast<size_t>(layer & 0xFF)].type & 3) == 2;
}

Point snapped(Point p, uint32_t grid, Point origin) {
    return Point{display::snap_axis(p.x, origin.x, grid).value, display::snap_axis(p.y, origin.y, grid).value};
}

// The insertion point lives in the member ring's head.
Point insertion_point(Ref component) {
    const Node& h = node(model::member_ring(component));
    return Point{h.box.x1, h.box.y1};
}

bool is_visible_component(const Node& n) {
    return n.item_kind() == model::kComponent && !n.hidden() && n.link != model::kNone;
}

void after_unrecorded_change(model::Document& doc, int moved) {
    if (moved > 0) {
        items_changed(doc);
        doc.mark_modified();
    }
}

// The ends of the tracks EN looks at, bucketed in a grid: each entry is track index * 2 + (end - 1).
// Ends moved onto a pad centre are filed again under their new cell, so a later pad finds them there.
class EndGrid {
  public:
    explicit EndGrid(const std::vector<Ref>& tracks) {
        model::Box b;
        for (Ref t : tracks) {
            const Node& n = node(t);
            b.add(n.line.x1, n.line.y1);
            b.add(n.line.x2, n.line.y2);
        }
        size_t ends = tracks.size() * 2;
        if (b.empty()) {
            return;
        }
        ox_ = b.x1, oy_ = b.y1;
        double w = static_cast<double>(b.x2 - b.x1 + 1), h = static_cast<double>(b.y2 - b.y1 + 1);
        // About one end per cell.
        cell_ = std::max<int64_t>(64, static_cast<int64_t>(std::sqrt(w * h / static_cast<double>(ends))) + 1);
        nx_ = static_cast<int>(std::min<int64_t>((b.x2 - b.x1) / cell_ + 1, 1 << 15));
        ny_ = static_cast<int>(std::min<int64_t>((b.y2 - b.y1) / cell_ + 1, 1 << 15));
        std::vector<uint32_t> cells(ends);
        start_.assign(static_cast<size_t>(nx_) * static_cast<size_t>(ny_) + 1, 0);
        for (size_t i = 0; i < tracks.size(); ++i) {
            const Node& n = node(tracks[i]);
            cells[2 * i] = cell_of(n.line.x1, n.line.y1);
            cells[2 * i + 1] = cell_of(n.line.x2, n.line.y2);
        }
        for (uint32_t c : cells) {
            ++start_[c + 1];
        }
        for (size_t c = 1; c < start_.size(); ++c) {
            start_[c] += start_[c - 1];
        }
        items_.resize(ends);
        std::vector<uint32_t> fill(start_.begin(), start_.end() - 1);
        for (size_t e = 0; e < ends; ++e) {
            items_[fill[cells[e]]++] = static_cast<uint32_t>(e);
        }
    }

    // Calls f(entry) for the ends filed in the cells that meet the box (some twice; f must not mind).
    template <class F> void visit(int64_t x1, int64_t y1, int64_t x2, int64_t y2, F&& f) const {
        if (start_.empty()) {
            return;
        }
        int cx1 = cx(x1), cx2 = cx(x2), cy1 = cy(y1), cy2 = cy(y2);
        for (int y = cy1; y <= cy2; ++y) {
            for (int x = cx1; x <= cx2; ++x) {
                uint32_t c = static_cast<uint32_t>(y) * static_cast<uint32_t>(nx_) + static_cast<uint32_t>(x);
                for (uint32_t i = start_[c]; i < start_[c + 1]; ++i) {
                    f(items_[i]);
                }
                if (!moved_.empty()) {
                    if (auto it = moved_.find(c); it != moved_.end()) {
                        for (uint32_t e : it->second) {
                            f(e);
                        }
                    }
                }
            }
        }
    }

    void moved(uint32_t entry, Point to) {
        if (!start_.empty()) {
            moved_[cell_of(to.x, to.y)].push_back(entry);
        }
    }

  private:
    int cx(int64_t x) const {
        return static_cast<int>(std::clamp<int64_t>((x - ox_) / cell_, 0, nx_ - 1));
    }
    int cy(int64_t y) const {
        return static_cast<int>(std::clamp<int64_t>((y - oy_) / cell_, 0, ny_ - 1));
    }
    uint32_t cell_of(int64_t x, int64_t y) const {
        return static_cast<uint32_t>(cy(y)) * static_cast<uint32_t>(nx_) + static_cast<uint32_t>(cx(x));
    }

    int64_t ox_ = 0, oy_ = 0, cell_ = 1;
    int nx_ = 1, ny_ = 1;
    std::vector<uint32_t> start_, items_;
    std::unordered_map<uint32_t, std::vector<uint32_t>> moved_;
};

} // namespace

int snap_components(model::Document& doc, uint32_t grid, Point origin) {
    int moved = 0;
    for (Ref r : model::items_in(doc.ring())) {
        if (!is_visible_component(node(r))) {
            continue;
        }
        Point at = insertion_point(r), to = snapped(at, grid, origin);
        if (to.x != at.x || to.y != at.y) {
            model::offset_item(r, to.x - at.x, to.y - at.y);
            ++moved;
        }
    }
    after_unrecorded_change(doc, moved);
    return moved;
}

int snap_texts(model::Document& doc, uint32_t grid, Point origin) {
    int moved = 0;
    struct Owner {
        Ref component;
        int depth;
    };
    std::vector<Owner> owners;
    std::vector<Ref> path; // the Components above the Item being visited
    model::walk_tree(doc.ring(), [&](Ref r, int depth) {
        Node& n = node(r);
        path.resize(static_cast<size_t>(depth));
        if (n.hidden()) {
            return false;
        }
        if (n.item_kind() == model::kText) {
            Point at{n.text.x0, n.text.y0}, to = snapped(at, grid, origin);
            if (to.x != at.x || to.y != at.y) {
                n.text.x0 = to.x;
                n.text.y0 = to.y;
                ++moved;
                for (size_t i = 0; i < path.size(); ++i) {
                    owners.push_back(Owner{path[i], static_cast<int>(i)});
                }
            }
        }
        path.push_back(r);
        return true;
    });
    // Inner Components first, so an outer box takes in the inner one's new box.
    std::stable_sort(owners.begin(), owners.end(), [](const Owner& a, const Owner& b) { return a.depth > b.depth; });
    Ref last = model::kNone;
    for (const Owner& o : owners) {
        if (o.component == last || node(o.component).item_kind() != model::kComponent) {
            continue;
        }
        last = o.component;
        Node& c = node(o.component);
        Coord x1 = 0, y1 = 0, x2 = 0, y2 = 0;
        if (model::members_box(c.link, x1, y1, x2, y2)) {
            c.box.x1 = x1, c.box.y1 = y1, c.box.x2 = x2, c.box.y2 = y2;
        }
    }
    after_unrecorded_change(doc, moved);
    return moved;
}

int track_pad_snap(model::Document& doc) {
    const model::Setup& s = doc.setup;
    std::vector<Ref> tracks;
    for (Ref r : model::items_in(doc.ring())) {
        const Node& n = node(r);
        if (n.item_kind() == model::kLine && n.size != 0 && !n.hidden() && conductive(s, n.layer)) {
            tracks.push_back(r);
        }
    }
    std::vector<Ref> pads;
    model::walk_tree(doc.ring(), [&](Ref r, int) {
        const Node& n = node(r);
        if (n.hidden()) {
            return false;
        }
        if (n.item_kind() == model::kPad && ((n.size & 4) == 0 || conductive(s, n.layer))) {
            pads.push_back(r);
        }
        return true;
    });
    if (tracks.empty() || pads.empty()) {
        return 0;
    }
    EndGrid grid(tracks);
    std::vector<uint8_t> state(tracks.size(), 0); // 1 changed, 2 deleted
    int number = 0, changed = 0;
    for (Ref p : pads) {
        const Node& pad = node(p);
        int64_t size = std::min(pad.pad.width, pad.pad.height);
        if (size <= 0) {
            continue;
        }
        const bool smt = (pad.size & 4) != 0;
        const int64_t cx = pad.pad.x0, cy = pad.pad.y0;
        // Closer than half the smaller size in both axes: 2|d| < size.
        auto inside = [&](Coord x, Coord y) {
            return 2 * std::llabs(x - cx) < size && 2 * std::llabs(y - cy) < size;
        };
        int64_t half = size / 2;
        grid.visit(cx - half, cy - half, cx + half, cy + half, [&](uint32_t entry) {
            size_t k = entry / 2;
            if (state[k] == 2) {
                return;
            }
            Ref t = tracks[k];
            Node& n = node(t);
            if (smt && n.layer != pad.layer) {
                return;
            }
            bool in1 = inside(n.line.x1, n.line.y1), in2 = inside(n.line.x2, n.line.y2);
            if (in1 && in2) {
                RecordDeleted(doc, t, number++);
                changed += state[k] == 0 ? 1 : 0;
                state[k] = 2;
                return;
            }
            Coord& x = in1 ? n.line.x1 : n.line.x2;
            Coord& y = in1 ? n.line.y1 : n.line.y2;
            if ((!in1 && !in2) || (x == cx && y == cy)) {
                return;
            }
            RecordModified(doc, t, number++);
            x = static_cast<Coord>(cx);
            y = static_cast<Coord>(cy);
            changed += state[k] == 0 ? 1 : 0;
            state[k] = 1;
            grid.moved(static_cast<uint32_t>(k * 2 + (in1 ? 0 : 1)), Point{x, y});
        });
    }
    if (number > 0) {
        doc.mark_modified();
    }
    return changed;
}

int centroid_snap(model::Document& doc) {
    int moved = 0;
    for (Ref r : model::items_in(doc.ring())) {
        if (!is_visible_component(node(r))) {
            continue;
        }
        model::Box b;
        for (Ref m : model::items_in(node(r).link)) {
            const Node& n = node(m);
            if (n.item_kind() != model::kPad || (n.size & 4) == 0 || n.hidden()) {
                continue;
            }
            if (model::pin_text(m).empty() && model::item_signal(m) == model::kNone) {
                continue;
            }
            b.add(n.pad.x0, n.pad.y0);
        }
        if (b.empty()) {
            continue;
        }
        // Halves toward zero, as integer division gives them.
        Point mid{static_cast<Coord>((b.x1 + b.x2) / 2), static_cast<Coord>((b.y1 + b.y2) / 2)};
        Node& head = node(node(r).link);
        if (head.box.x1 != mid.x || head.box.y1 != mid.y) {
            head.box.x1 = mid.x;
            head.box.y1 = mid.y;
            ++moved;
        }
    }
    after_unrecorded_change(doc, moved);
    return moved;
}

} // namespace trazel::edit
