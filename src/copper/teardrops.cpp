// Teardrops: a filled triangle where a track leaves a pad, so the joint survives drilling and etching.
#include "copper/teardrops.h"

#include <algorithm>
#include <array>
#include <map>
#include <unordered_map>
#include <utility>
#include <vector>

#include "display/trig.h"
#include "edit/undo.h"
#include "model/fixed.h"

namespace trazel::copper {

using model::Coord;
using model::Node;
using model::node;
using model::Point;
using model::Ref;

namespace {

// A track "leaves" a pad when an end lies this close to the centre, on each axis.
constexpr int64_t kEndReach = 3;
// An existing Solid whose box matches to within this on each side is taken for the same teardrop.
constexpr int64_t kSameBox = 3;
// Off a multiple of 90 degrees by more than this, a track does not leave an oblong pad along an axis.
constexpr int kAxisSlack = 512;

// The ends of the candidate tracks, hashed by small cells so a pad looks only at the tracks that can
// end on it (a board has 100k Items; a walk of all tracks per pad would be quadratic).
constexpr int kCellShift = 4; // 16-unit cells: the 3-unit reach meets at most four

uint64_t cell_key(int64_t cx, int64_t cy) {
    return (static_cast<uint64_t>(static_cast<uint32_t>(cx)) << 32) | static_cast<uint32_t>(cy);
}

struct Track {
    Ref ref;
    size_t order; // walk order, so each pad meets its tracks in the order of a plain walk
};

class EndGrid {
  public:
    void add(Point p, const Track& t) {
        cells_[cell_key(p.x >> kCellShift, p.y >> kCellShift)].push_back(t);
    }
    // The tracks with an end within kEndReach of c on each axis (once each, in walk order).
    std::vector<Track> near(Point c) const {
        std::vector<Track> out;
        int64_t x1 = (int64_t{c.x} - kEndReach) >> kCellShift, x2 = (int64_t{c.x} + kEndReach) >> kCellShift;
        int64_t y1 = (int64_t{c.y} - kEndReach) >> kCellShift, y2 = (int64_t{c.y} + kEndReach) >> kCellShift;
        for (int64_t cx = x1; cx <= x2; ++cx) {
            for (int64_t cy = y1; cy <= y2; ++cy) {
                auto it = cells_.find(cell_key(cx, cy));
                if (it != cells_.end()) {
                    out.insert(out.end(), it->second.begin(), it->second.end());
                }
            }
        }
        std::sort(out.begin(), out.end(), [](const Track& a, const Track& b) { return a.order < b.order; });
        out.erase(std::unique(out.begin(), out.end(), [](const Track& a, const Track& b) { return a.ref == b.ref; }),
                  out.end());
        return out;
    }

  private:
    std::unordered_map<uint64_t, std::vector<Track>> cells_;
};

bool near_point(Coord x, Coord y, Point c) {
    return model::abs64(int64_t{x} - c.x) <= kEndReach && model::abs64(int64_t{y} - c.y) <= kEndReach;
}

// The boxes of the Solids per layer, keyed by their left edge, so "is this teardrop there already" is a
// short range look-up; new teardrops join as they are made.
class SolidBoxes {
  public:
    void add(int layer, const model::Box& b) {
        boxes_.emplace(std::make_pair(layer, int64_t{b.x1}), b);
    }
    bool has(int layer, const model::Box& b) const {
        auto it = boxes_.lower_bound(std::make_pair(layer, int64_t{b.x1} - kSameBox));
        auto end = boxes_.upper_bound(std::make_pair(layer, int64_t{b.x1} + kSameBox));
        for (; it != end; ++it) {
            const model::Box& o = it->second;
            if (model::abs64(int64_t{o.y1} - b.y1) <= kSameBox && model::abs64(int64_t{o.x2} - b.x2) <= kSameBox &&
                model::abs64(int64_t{o.y2} - b.y2) <= kSameBox) {
                return true;
            }
        }
        return false;
    }

  private:
    std::multimap<std::pair<int, int64_t>, model::Box> boxes_;
};

model::Box solid_box(const Node& n) {
    model::Box b;
    b.x1 = n.line.x1;
    b.y1 = n.line.y1;
    b.x2 = n.line.x2;
    b.y2 = n.line.y2;
    return b;
}

// The triangle for one pad and one track, or false when the track gets none.
bool teardrop_for(const Node& pad, const Node& line, std::array<Point, 3>& tri) {
    Point c{pad.pad.x0, pad.pad.y0};
    // The end on the pad: the first point when it matches, else the second.
    Point from{line.line.x1, line.line.y1}, to{line.line.x2, line.line.y2};
    if (!near_point(from.x, from.y, c)) {
        std::swap(from, to);
    }
    int64_t dx = int64_t{to.x} - from.x, dy = int64_t{to.y} - from.y;
    model::Angle theta = display::atan2_16(dy, dx);

    int64_t w = pad.pad.width, h = pad.pad.height;
    int64_t d = std::min(w, h);
    int64_t e = 0;
    if (w != h) {
        auto rel = static_cast<model::Angle>(theta - pad.pad.angle);
        int off = rel & 16383;
        if (off > kAxisSlack && off < 16384 - kAxisSlack) {
            return false;
        }
        // Quarter turns from the pad's x axis, rounded: even means along x.
        bool along_x = (((rel + 8192) >> 14) & 1) == 0;
        if (along_x == (w > h)) {
            e = model::abs64(w - h) / 2;
        }
    }
    int64_t a = d * 28378 / 65536;
    int64_t b = d * 56756 / 65536;

    // length + half width >= b + e, compared in squares so no root is rounded.
    int64_t need = b + e - int64_t{line.size} / 2;
    int64_t ax = model::abs64(dx), ay = model::abs64(dy);
    // Either leg as long as `need` settles it; otherwise both are short and the squares fit.
    if (need > 0 && ax < need && ay < need && ax * ax + ay * ay < need * need) {
        return false;
    }

    display::Rotation r = display::Rotation::of(theta);
    const int64_t local[3][2] = {{b + e, 0}, {d / 4 + e, a}, {d / 4 + e, -a}};
    for (int i = 0; i < 3; ++i) {
        tri[i] = Point{model::clamp_coord(c.x + r.x(local[i][0], local[i][1])),
                       model::clamp_coord(c.y + r.y(local[i][0], local[i][1]))};
    }
    return true;
}

model::Box box_of(const std::array<Point, 3>& tri) {
    model::Box b;
    b.x1 = std::min({tri[0].x, tri[1].x, tri[2].x});
    b.y1 = std::min({tri[0].y, tri[1].y, tri[2].y});
    b.x2 = std::max({tri[0].x, tri[1].x, tri[2].x});
    b.y2 = std::max({tri[0].y, tri[1].y, tri[2].y});
    return b;
}

} // namespace

TeardropResult add_teardrops(model::Document& doc, const edit::Block& block,
                             const std::function<void(model::Ref)>& draw) {
    TeardropResult res;
    if (!block.defined_in(doc)) {
        return res;
    }
    const model::Setup& s = doc.setup;
    std::vector<Ref> pads;
    EndGrid ends;
    SolidBoxes solids;
    size_t order = 0;
    model::walk_tree(doc.ring(), [&](Ref r, int) {
        const Node& n = node(r);
        uint8_t k = n.item_kind();
        if (k == model::kPad) {
            pads.push_back(r);
        } else if (k == model::kLine && n.size == 0) {
            solids.add(n.layer, solid_box(n));
        } else if (k == model::kLine && s.layers[n.layer].kind() == model::kLayerCopper) {
            Track t{r, order++};
            Point p1{n.line.x1, n.line.y1}, p2{n.line.x2, n.line.y2};
            ends.add(p1, t);
            if ((p1.x >> kCellShift) != (p2.x >> kCellShift) || (p1.y >> kCellShift) != (p2.y >> kCellShift)) {
                ends.add(p2, t);
            }
        }
    });

    for (Ref p : pads) {
        const Node& pad = node(p);
        int64_t d = std::min(pad.pad.width, pad.pad.height);
        int64_t hole = (pad.size & 4) != 0 ? 0 : pad.pad.hole; // a surface pad has no hole
        if (hole > d || !edit::inside_block(block, doc, p)) {
            continue;
        }
        Point c{pad.pad.x0, pad.pad.y0};
        for (const Track& t : ends.near(c)) {
            const Node& line = node(t.ref);
            if (!near_point(line.line.x1, line.line.y1, c) && !near_point(line.line.x2, line.line.y2, c)) {
                continue; // shares a cell, but ends elsewhere
            }
            std::array<Point, 3> tri;
            if (!teardrop_for(pad, line, tri)) {
                continue;
            }
            model::Box box = box_of(tri);
            if (solids.has(line.layer, box)) {
                continue;
            }
            Ref solid = model::MakeItem(doc.ring(), model::kLine, line.layer, 0, 0, 0, 0, 0);
            bool made = solid != model::kNone;
            for (int i = 0; made && i < 3; ++i) {
                made = model::add_vertex(solid, tri[i].x, tri[i].y);
            }
            if (made && edit::RecordCreated(doc, solid, res.created) == 0) {
                made = false;
            }
            if (!made) {
                // Out of Nodes: what was made so far stays as the undo group.
                if (solid != model::kNone) {
                    model::DeleteItem(solid);
                }
                res.out_of_nodes = true;
                break;
            }
            ++res.created;
            solids.add(line.layer, box);
            if (draw) {
                draw(solid);
            }
        }
        if (res.out_of_nodes) {
            break;
        }
    }
    if (res.created > 0) {
        doc.mark_modified();
    }
    return res;
}

} // namespace trazel::copper
