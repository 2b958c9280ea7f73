#pragma once
// An independent geometric check of a routed board, for the router's end-to-end tests.  It shares no
// code with the net scan: every copper Item becomes exact shapes (Lines and Arcs as stadiums of their
// width, Pads as circles, stadiums or turned rectangles, Solids as polygons), touching copper is joined
// by union-find per copper layer (through-hole Pads and vias are on every copper layer and so join the
// layers), and close pairs are found on a grid of buckets rather than by comparing all pairs.  From that:
//   - shorts: a piece of touching copper holding pads of two Signals;
//   - clearance faults: copper of two different nets closer than the board's line-line, line-pad or
//     pad-pad clearance (Arcs and Solids count as lines, vias as pads);
//   - mislabelled copper: a track, arc or via whose own Signal is not the Signal of the pads it touches;
//   - per Signal, how many of its pads copper joins: a Signal of P pads lying on C pieces of copper has
//     P - C connections joined and C - 1 open.
// Copper Texts are not modelled (the boards under test carry none).
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <map>
#include <numeric>
#include <set>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "model/chooser.h"
#include "model/model.h"

namespace copper_check {

namespace model = trazel::model;
using model::Ref;

struct P {
    double x, y;
};

inline double cross(P o, P a, P b) {
    return (a.x - o.x) * (b.y - o.y) - (a.y - o.y) * (b.x - o.x);
}

inline double point_segment(P p, P a, P b) {
    double dx = b.x - a.x, dy = b.y - a.y, len2 = dx * dx + dy * dy;
    double t = len2 > 0 ? std::clamp(((p.x - a.x) * dx + (p.y - a.y) * dy) / len2, 0.0, 1.0) : 0.0;
    return std::hypot(a.x + t * dx - p.x, a.y + t * dy - p.y);
}

// Proper or touching intersection of two segments.
inline bool segments_cross(P a, P b, P c, P d) {
    double d1 = cross(c, d, a), d2 = cross(c, d, b), d3 = cross(a, b, c), d4 = cross(a, b, d);
    if (((d1 > 0 && d2 < 0) || (d1 < 0 && d2 > 0)) && ((d3 > 0 && d4 < 0) || (d3 < 0 && d4 > 0))) {
        return true;
    }
    auto on = [](P p, P q, P r, double c) {
        return c == 0 && std::min(p.x, q.x) <= r.x && r.x <= std::max(p.x, q.x) && std::min(p.y, q.y) <= r.y &&
               r.y <= std::max(p.y, q.y);
    };
    return on(c, d, a, d1) || on(c, d, b, d2) || on(a, b, c, d3) || on(a, b, d, d4);
}

inline double segment_segment(P a, P b, P c, P d) {
    if (segments_cross(a, b, c, d)) {
        return 0;
    }
    return std::min({point_segment(a, c, d), point_segment(b, c, d), point_segment(c, a, b), point_segment(d, a, b)});
}

// Even-odd point in a closed polygon.
inline bool inside(const std::vector<P>& poly, P p) {
    bool in = false;
    for (size_t i = 0, j = poly.size() - 1; i < poly.size(); j = i++) {
        const P &a = poly[i], &b = poly[j];
        if ((a.y > p.y) != (b.y > p.y) && p.x < (b.x - a.x) * (p.y - a.y) / (b.y - a.y) + a.x) {
            in = !in;
        }
    }
    return in;
}

// One convex or concave piece of an Item: a segment grown by r (a point when a == b), or a polygon.
struct Part {
    bool polygon = false;
    P a{}, b{};
    double r = 0;
    std::vector<P> pts;
};

inline double polygon_segment(const std::vector<P>& poly, P a, P b) {
    if (poly.size() < 3) {
        double d = 1e300;
        for (size_t i = 0; i < poly.size(); ++i) {
            d = std::min(d, segment_segment(poly[i], poly[(i + 1) % poly.size()], a, b));
        }
        return d;
    }
    if (inside(poly, a) || inside(poly, b)) {
        return 0;
    }
    double d = 1e300;
    for (size_t i = 0; i < poly.size(); ++i) {
        d = std::min(d, segment_segment(poly[i], poly[(i + 1) % poly.size()], a, b));
    }
    return d;
}

// The gap between two parts (0 or below when they overlap).
inline double gap(const Part& u, const Part& v) {
    if (!u.polygon && !v.polygon) {
        return segment_segment(u.a, u.b, v.a, v.b) - u.r - v.r;
    }
    if (u.polygon && v.polygon) {
        if ((!v.pts.empty() && inside(u.pts, v.pts[0])) || (!u.pts.empty() && inside(v.pts, u.pts[0]))) {
            return 0;
        }
        double d = 1e300;
        for (size_t i = 0; i < v.pts.size(); ++i) {
            d = std::min(d, polygon_segment(u.pts, v.pts[i], v.pts[(i + 1) % v.pts.size()]));
        }
        return d;
    }
    const Part& poly = u.polygon ? u : v;
    const Part& cap = u.polygon ? v : u;
    return polygon_segment(poly.pts, cap.a, cap.b) - cap.r;
}

enum class Class { Line, Pad };

struct Item {
    Ref ref = model::kNone;
    Class cls = Class::Line;
    bool pad = false;    // a Pad that is not a via: what a Signal's connections join
    bool via = false;
    bool every_layer = false; // through-hole: on every copper layer
    int layer = 0;
    std::string signal;  // the Item's own Signal
    std::string name;    // for messages: "U3-4", "via (x,y)", "line (x1,y1)-(x2,y2) on 3"
    std::vector<Part> parts;
    double x1 = 0, y1 = 0, x2 = 0, y2 = 0; // box of the parts
};

struct Fault {
    std::string a, b;   // the two Items
    std::string net_a, net_b;
    double gap = 0, required = 0; // in mils
};

inline std::string mils(double units) {
    char b[32];
    std::snprintf(b, sizeof b, "%.2f", units * 1000.0 / 65536.0);
    return b;
}

// Clearances other than the board's, for judging a pour by its own isolations: a negative value keeps
// the board's.  With `judged`, only pairs where one Item passes it count as faults (the new copper).
struct Limits {
    double line_line = -1, line_pad = -1, pad_pad = -1;
    std::function<bool(Ref)> judged;
};

class Check {
public:
    std::vector<Item> items;
    std::vector<std::string> shorts;       // "A / B: pad, pad"
    std::vector<Fault> faults;
    std::vector<std::string> mislabelled;
    // Per Signal: pads, and pieces of copper they lie on.
    std::map<std::string, std::pair<int, int>> nets;
    long pads = 0, joined = 0, open = 0;

    // `all_pairs` judges every pair of Items instead of the bucketed ones: the oracle of the grid.
    explicit Check(const model::Document& d, bool all_pairs = false) : Check(d, Limits{}, all_pairs) {
    }
    Check(const model::Document& d, Limits limits, bool all_pairs = false)
        : all_pairs_(all_pairs), limits_(std::move(limits)) {
        const model::Setup& s = d.setup;
        for (int l = 1; l < 255; ++l) {
            const model::LayerEntry& e = s.layers[static_cast<size_t>(l)];
            if (e.kind() == model::kLayerCopper && e.in_use()) {
                copper_.push_back(l);
            }
        }
        cll_ = s.clear_line_line;
        clp_ = s.clear_line_pad;
        cpp_ = s.clear_pad_pad;
        cll_ = limits_.line_line >= 0 ? limits_.line_line : cll_;
        clp_ = limits_.line_pad >= 0 ? limits_.line_pad : clp_;
        cpp_ = limits_.pad_pad >= 0 ? limits_.pad_pad : cpp_;
        collect(d.ring(), "");
        parent_.resize(items.size());
        std::iota(parent_.begin(), parent_.end(), 0);
        for (int l : copper_) {
            pairs_on(l);
        }
        judge();
    }

    // Whether copper joins two Items (both must be copper Items the check knows).
    bool joined_items(Ref a, Ref b) {
        auto ia = index_.find(a), ib = index_.find(b);
        return ia != index_.end() && ib != index_.end() && find(ia->second) == find(ib->second);
    }

    // Every short, fault and mislabel as one line each, sorted.
    std::vector<std::string> findings() const {
        std::vector<std::string> out;
        for (const std::string& s : shorts) {
            out.push_back("short: " + s);
        }
        for (const Fault& f : faults) {
            out.push_back("clearance: " + f.a + " [" + f.net_a + "] to " + f.b + " [" + f.net_b + "]: " + mils(f.gap) +
                          " mil, needs " + mils(f.required));
        }
        for (const std::string& s : mislabelled) {
            out.push_back("mislabelled: " + s);
        }
        std::sort(out.begin(), out.end());
        return out;
    }

    std::string summary() const {
        std::string out = std::to_string(shorts.size()) + " shorts, " + std::to_string(faults.size()) +
                          " clearance faults, " + std::to_string(mislabelled.size()) + " mislabelled, " +
                          std::to_string(joined) + " connections joined, " + std::to_string(open) + " open";
        for (size_t k = 0; k < std::min<size_t>(shorts.size(), 5); ++k) {
            out += "\n  short: " + shorts[k];
        }
        for (size_t k = 0; k < std::min<size_t>(faults.size(), 5); ++k) {
            const Fault& f = faults[k];
            out += "\n  clearance: " + f.a + " [" + f.net_a + "] to " + f.b + " [" + f.net_b + "]: " +
                   mils(f.gap) + " mil, needs " + mils(f.required);
        }
        for (size_t k = 0; k < std::min<size_t>(mislabelled.size(), 5); ++k) {
            out += "\n  mislabelled: " + mislabelled[k];
        }
        return out;
    }

private:
    bool all_pairs_ = false;
    Limits limits_;
    std::vector<int> copper_;
    double cll_ = 0, clp_ = 0, cpp_ = 0;
    std::vector<size_t> parent_;
    std::unordered_map<Ref, size_t> index_;
    struct Close {
        size_t i, j;
        double gap;
    };
    std::vector<Close> close_;

    static constexpr double kTouch = 1.0; // units: a gap up to this joins
    static constexpr double kSlack = 2.0; // units of rounding allowed below a clearance

    bool is_copper(int layer) const {
        return std::find(copper_.begin(), copper_.end(), layer) != copper_.end();
    }

    static std::string at(double x, double y) {
        char b[64];
        std::snprintf(b, sizeof b, "(%.3f,%.3f)", x / 65536.0, y / 65536.0);
        return b;
    }

    void collect(Ref ring, const std::string& ref) {
        for (Ref r : model::items_in(ring)) {
            const model::Node& n = model::node(r);
            if (n.hidden()) {
                continue;
            }
            switch (n.item_kind()) {
            case model::kComponent:
                if (n.link != model::kNone) {
                    collect(n.link, model::ComponentField(r, 1));
                }
                break;
            case model::kLine:
                add_line(r, n);
                break;
            case model::kArc:
                add_arc(r, n);
                break;
            case model::kPad:
                add_pad(r, n, ref);
                break;
            default:
                break;
            }
        }
    }

    bool place(Item& it, int layer) {
        it.layer = layer;
        it.every_layer = layer == 0;
        return layer == 0 || is_copper(layer);
    }

    void push(Item it) {
        it.x1 = it.y1 = 1e300;
        it.x2 = it.y2 = -1e300;
        for (const Part& p : it.parts) {
            auto grow = [&](P q, double r) {
                it.x1 = std::min(it.x1, q.x - r);
                it.y1 = std::min(it.y1, q.y - r);
                it.x2 = std::max(it.x2, q.x + r);
                it.y2 = std::max(it.y2, q.y + r);
            };
            if (p.polygon) {
                for (P q : p.pts) {
                    grow(q, 0);
                }
            } else {
                grow(p.a, p.r);
                grow(p.b, p.r);
            }
        }
        if (it.parts.empty()) {
            return;
        }
        index_[it.ref] = items.size();
        items.push_back(std::move(it));
    }

    void add_line(Ref r, const model::Node& n) {
        Item it;
        it.ref = r;
        if (!place(it, n.layer)) {
            return;
        }
        it.signal = model::signal_name(model::item_signal(r));
        if (n.size == 0) { // a Solid: its vertex chain
            Part p;
            p.polygon = true;
            for (Ref v = n.link; v != model::kNone; v = model::node(v).link) {
                p.pts.push_back({double(model::node(v).line.x1), double(model::node(v).line.y1)});
            }
            if (p.pts.empty()) {
                return;
            }
            it.name = "solid " + at(n.line.x1, n.line.y1) + " on " + std::to_string(n.layer);
            it.parts.push_back(std::move(p));
        } else {
            Part p;
            p.a = {double(n.line.x1), double(n.line.y1)};
            p.b = {double(n.line.x2), double(n.line.y2)};
            p.r = n.size / 2.0;
            it.name = "line " + at(n.line.x1, n.line.y1) + "-" + at(n.line.x2, n.line.y2) + " on " +
                      std::to_string(n.layer);
            it.parts.push_back(p);
        }
        push(std::move(it));
    }

    void add_arc(Ref r, const model::Node& n) {
        Item it;
        it.ref = r;
        if (!place(it, n.layer) || n.arc.radius <= 0) {
            return;
        }
        it.signal = model::signal_name(model::item_signal(r));
        const double turn = 2 * M_PI / 65536.0;
        double sweep = n.arc.sweep == 0 ? 65536.0 : n.arc.sweep;
        double ra = n.arc.radius, rb = n.arc.ellipse ? ra * n.arc.ellipse / 65536.0 : ra;
        double rot = n.arc.ellipse ? n.arc.angle * turn : 0.0;
        double start = n.arc.start * turn + (n.arc.ellipse ? 0.0 : n.arc.angle * turn);
        // Chords lie inside the circle: short enough that none strays more than a quarter unit from it,
        // so a pour's contour arc laid exactly at its isolation is judged by the arc, not the chords.
        double step = 2 * std::acos(std::max(0.0, 1 - 0.25 / std::max(ra, rb)));
        int steps = std::clamp(static_cast<int>(std::ceil(sweep * turn / std::max(step, 1e-9))), 4, 4096);
        auto point = [&](double t) {
            double x = ra * std::cos(t), y = rb * std::sin(t);
            return P{n.arc.x0 + x * std::cos(rot) - y * std::sin(rot), n.arc.y0 + x * std::sin(rot) + y * std::cos(rot)};
        };
        P prev = point(start);
        for (int k = 1; k <= steps; ++k) {
            P next = point(start + sweep * turn * k / steps);
            Part p;
            p.a = prev;
            p.b = next;
            p.r = n.size / 2.0;
            it.parts.push_back(p);
            prev = next;
        }
        it.name = "arc " + at(n.arc.x0, n.arc.y0) + " on " + std::to_string(n.layer);
        push(std::move(it));
    }

    void add_pad(Ref r, const model::Node& n, const std::string& ref) {
        int type = n.size & 7;
        if (type == 0 || type == 7) {
            return; // schematic pins and dots
        }
        Item it;
        it.ref = r;
        it.cls = Class::Pad;
        bool through = type <= 3;
        if (!place(it, through ? 0 : n.layer) || (!through && n.layer == 0)) {
            return;
        }
        it.every_layer = through;
        it.via = type == 3;
        it.pad = !it.via;
        it.signal = model::signal_name(model::item_signal(r));
        std::string pin = model::pin_text(r);
        it.name = !ref.empty() && !pin.empty() ? ref + "-" + pin
                                               : std::string(it.via ? "via " : "pad ") + at(n.pad.x0, n.pad.y0);
        double w = n.pad.width, h = n.pad.height, a = n.pad.angle * 2 * M_PI / 65536.0;
        double c = std::cos(a), s = std::sin(a);
        auto turned = [&](double x, double y) { return P{n.pad.x0 + x * c - y * s, n.pad.y0 + x * s + y * c}; };
        Part p;
        int shape = type & 3;
        if (shape == 2) {
            p.polygon = true;
            p.pts = {turned(-w / 2, -h / 2), turned(w / 2, -h / 2), turned(w / 2, h / 2), turned(-w / 2, h / 2)};
        } else if (w >= h) {
            p.a = turned(-(w - h) / 2, 0);
            p.b = turned((w - h) / 2, 0);
            p.r = h / 2;
        } else {
            p.a = turned(0, -(h - w) / 2);
            p.b = turned(0, (h - w) / 2);
            p.r = w / 2;
        }
        it.parts.push_back(std::move(p));
        push(std::move(it));
    }

    size_t find(size_t i) {
        while (parent_[i] != i) {
            parent_[i] = parent_[parent_[i]];
            i = parent_[i];
        }
        return i;
    }

    double required(const Item& a, const Item& b) const {
        if (a.cls == Class::Pad && b.cls == Class::Pad) {
            return cpp_;
        }
        return a.cls == Class::Line && b.cls == Class::Line ? cll_ : clp_;
    }

    static double item_gap(const Item& a, const Item& b) {
        double g = 1e300;
        for (const Part& u : a.parts) {
            for (const Part& v : b.parts) {
                g = std::min(g, gap(u, v));
            }
        }
        return g;
    }

    // Every pair of Items on `layer` whose boxes, grown by the largest clearance, meet: each pair is
    // judged once, in the bucket holding the low corner of the overlap of the grown boxes.
    void pairs_on(int layer) {
        std::vector<size_t> on;
        for (size_t i = 0; i < items.size(); ++i) {
            if (items[i].every_layer || items[i].layer == layer) {
                on.push_back(i);
            }
        }
        const double grow = std::max({cll_, clp_, cpp_}) / 2 + kSlack;
        // One bucket holds everything for the oracle.
        const double cell = all_pairs_ ? 1e12 : 0.15 * 65536;
        auto cell_of = [&](double v) { return static_cast<int64_t>(std::floor(v / cell)); };
        auto key = [](int64_t x, int64_t y) {
            return (static_cast<uint64_t>(x) << 32) ^ static_cast<uint32_t>(y);
        };
        std::unordered_map<uint64_t, std::vector<size_t>> buckets;
        for (size_t i : on) {
            const Item& it = items[i];
            for (int64_t y = cell_of(it.y1 - grow); y <= cell_of(it.y2 + grow); ++y) {
                for (int64_t x = cell_of(it.x1 - grow); x <= cell_of(it.x2 + grow); ++x) {
                    buckets[key(x, y)].push_back(i);
                }
            }
        }
        for (auto& [k, list] : buckets) {
            for (size_t u = 0; u < list.size(); ++u) {
                for (size_t v = u + 1; v < list.size(); ++v) {
                    const Item &a = items[list[u]], &b = items[list[v]];
                    double lx = std::max(a.x1, b.x1) - grow, ly = std::max(a.y1, b.y1) - grow;
                    if (lx > std::min(a.x2, b.x2) + grow || ly > std::min(a.y2, b.y2) + grow ||
                        key(cell_of(lx), cell_of(ly)) != k) {
                        continue;
                    }
                    if (a.every_layer && b.every_layer && layer != copper_.front()) {
                        continue; // judged on the first copper layer already
                    }
                    double g = item_gap(a, b);
                    if (g <= kTouch) {
                        size_t ra = find(list[u]), rb = find(list[v]);
                        parent_[ra] = rb;
                    } else if (g < required(a, b) - kSlack) {
                        close_.push_back({list[u], list[v], g});
                    }
                }
            }
        }
    }

    void judge() {
        // The Signals of the pads on each piece of copper.
        std::unordered_map<size_t, std::map<std::string, std::string>> piece_nets; // root -> Signal -> a pad
        for (size_t i = 0; i < items.size(); ++i) {
            if (items[i].pad && !items[i].signal.empty()) {
                piece_nets[find(i)].emplace(items[i].signal, items[i].name);
            }
        }
        std::map<std::string, std::set<size_t>> pieces;
        for (size_t i = 0; i < items.size(); ++i) {
            if (items[i].pad && !items[i].signal.empty()) {
                ++nets[items[i].signal].first;
                pieces[items[i].signal].insert(find(i));
            }
        }
        for (auto& [name, count] : nets) {
            count.second = static_cast<int>(pieces[name].size());
            pads += count.first;
            joined += count.first - count.second;
            open += count.second - 1;
        }
        for (auto& [root, signals] : piece_nets) {
            if (signals.size() > 1) {
                auto first = signals.begin(), second = std::next(first);
                shorts.push_back(first->first + " / " + second->first + ": " + first->second + ", " + second->second);
            }
        }
        // The net of an Item: that of the pads on its piece of copper, else its own Signal, else its piece
        // (named by its first Item, whatever the order of the joins).
        std::unordered_map<size_t, size_t> first;
        for (size_t i = items.size(); i-- > 0;) {
            first[find(i)] = i;
        }
        auto net = [&](size_t i) -> std::string {
            auto p = piece_nets.find(find(i));
            if (p != piece_nets.end()) {
                return p->second.begin()->first;
            }
            return items[i].signal.empty() ? "#" + std::to_string(first[find(i)]) : items[i].signal;
        };
        for (size_t i = 0; i < items.size(); ++i) {
            const Item& it = items[i];
            if (it.pad || it.signal.empty()) {
                continue;
            }
            auto p = piece_nets.find(find(i));
            if (p != piece_nets.end() && !p->second.count(it.signal)) {
                mislabelled.push_back(it.name + " carries " + it.signal + " but touches " + p->second.begin()->first);
            }
        }
        std::set<std::pair<size_t, size_t>> seen;
        for (const Close& c : close_) {
            std::string na = net(c.i), nb = net(c.j);
            if (find(c.i) == find(c.j) || na == nb || !seen.insert({c.i, c.j}).second) {
                continue;
            }
            if (limits_.judged && !limits_.judged(items[c.i].ref) && !limits_.judged(items[c.j].ref)) {
                continue;
            }
            faults.push_back({items[c.i].name, items[c.j].name, na, nb, c.gap, required(items[c.i], items[c.j])});
        }
    }
};

// A board read into a model of its own.
struct Board {
    model::Model m;
    model::FormatTable formats;
    model::Document* d = nullptr;
    std::string error;

    explicit Board(const std::string& file) {
        model::register_model_formats(formats);
        d = model::NewDocument(file);
        if (model::OpenDocumentFile(formats, file, 0, &error) == 0) {
            d = nullptr;
        }
    }
};

} // namespace copper_check
