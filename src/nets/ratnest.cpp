// Ratnest lines: the spanning tree of each Signal's pads (NR, NL) and the nearest link of the Net scan.
#include "nets/ratnest.h"

#include <algorithm>
#include <limits>
#include <unordered_map>
#include <vector>

#include "display/display.h"
#include "edit/area.h"
#include "edit/locate.h"
#include "edit/spatial_index.h"
#include "edit/undo.h"
#include "model/hit_test.h"
#include "nets/nearest_link.h"
#include "nets/trace.h"

namespace trazel::nets {

using model::Node;
using model::node;

constexpr uint64_t kFar = std::numeric_limits<uint64_t>::max();

// What `next_rat_line` knows of the net being joined: the unmarked Pads of its Signal, each with its
// nearest marked Pad so far, and how much of the list of marked Items it has looked at.  Valid while
// the marks, the Signal and the Document stay as they were.
struct RatProgress {
    const model::Document* doc = nullptr;
    uint64_t epoch = 0;
    Ref signal = model::kNone;
    uint32_t serial = 0;
    size_t seen = 0;
    std::vector<Ref> open; // the open Pads in walk order: their keys in `links`
    std::unordered_map<Ref, uint32_t> key_of;
    NearestLink links;     // joined: the marked Pads, keyed by their place in the walk
};

namespace {

Point centre(const Node& n) {
    return Point{n.pad.x0, n.pad.y0};
}

uint64_t manhattan(Point a, Point b) {
    return static_cast<uint64_t>(model::abs64(int64_t{a.x} - b.x) + model::abs64(int64_t{a.y} - b.y));
}

void draw(NetState& s, Ref item) {
    if (s.display != nullptr) {
        display::draw_item(*s.display, *s.doc, item);
    }
}

// A Ratnest line from `from` (joined already) to `to`, with the Signal, recorded for undo.
Ref add_line(NetState& s, Point from, Point to, Ref signal) {
    model::Document& doc = *s.doc;
    uint16_t width = static_cast<uint16_t>(std::clamp<Coord>(doc.setup.ratnest_width, 1, 65535));
    Ref l = model::MakeItem(doc.ring(), model::kLine, kRatnestLayer, width, from.x, from.y, to.x, to.y);
    if (l == model::kNone) {
        return model::kNone;
    }
    model::AttachSignal(l, model::signal_name(signal));
    edit::RecordCreated(doc, l, s.undo_number++);
    index_appended(s, l);
    doc.mark_modified();
    return l;
}

// The track-end-on-pad query: a Line of non-zero width has an end point in the pad (for a surface-mount
// pad only Lines on its own layer or on the Ratnest layer count).
bool track_ends_on(NetState& s, Ref pad) {
    const Node& p = node(pad);
    bool smt = smt_pad(p);
    bool found = false;
    auto test = [&](Ref r) {
        const Node& n = node(r);
        if (found || n.item_kind() != model::kLine || n.size == 0 || n.hidden() ||
            (smt && n.layer != p.layer && n.layer != kRatnestLayer)) {
            return;
        }
        found = model::hit_pad(p, 0, Point{n.line.x1, n.line.y1}, edit::turn_of) ||
                model::hit_pad(p, 0, Point{n.line.x2, n.line.y2}, edit::turn_of);
    };
    if (s.plain) {
        model::walk_tree(s.doc->ring(), [&](Ref r, int) { test(r); });
    } else {
        model::Box b;
        model::hit_extent(p, b);
        net_index(s).visit(b.x1, b.y1, b.x2, b.y2, test);
    }
    return found;
}

// The visible Pads carrying `signal`, in walk order.
std::vector<Ref> pads_of(NetState& s, Ref signal) {
    std::vector<Ref> out;
    if (s.plain) {
        model::walk_tree(s.doc->ring(), [&](Ref r, int) -> bool {
            const Node& n = node(r);
            if (n.hidden()) {
                return false;
            }
            if (n.item_kind() == model::kPad && model::item_signal(r) == signal) {
                out.push_back(r);
            }
            return true;
        });
    } else {
        const NetIndex& index = net_index(s);
        index.pads_of(signal, [&](Ref r) {
            if (index.visible(r)) {
                out.push_back(r);
            }
        });
    }
    return out;
}

// Steps 3 to 6 of the tree for one Signal.
int build_one(NetState& s, Ref signal) {
    struct Copy {
        Point at;
        bool joined;
    };
    std::vector<Copy> c;
    for (Ref pad : pads_of(s, signal)) {
        const Node& n = node(pad);
        mark_item(s, pad);
        bool joined = (!smt_pad(n) && n.layer != 0) || track_ends_on(s, pad);
        c.push_back(Copy{centre(n), joined});
    }
    if (c.empty()) {
        return 0;
    }
    if (std::none_of(c.begin(), c.end(), [](const Copy& x) { return x.joined; })) {
        c[0].joined = true;
    }
    int added = 0;
    auto link = [&](size_t from, size_t to) {
        c[to].joined = true;
        Ref l = add_line(s, c[from].at, c[to].at, signal);
        if (l != model::kNone) {
            draw(s, l);
            ++added;
        }
    };
    if (s.plain) {
        // Every pair of an unjoined and a joined copy, each round.
        while (true) {
            uint64_t best = kFar;
            size_t bu = 0, bj = 0;
            for (size_t u = 0; u < c.size(); ++u) {
                if (c[u].joined) {
                    continue;
                }
                for (size_t j = 0; j < c.size(); ++j) {
                    uint64_t d = c[j].joined ? manhattan(c[u].at, c[j].at) : 0;
                    if (d > 0 && d < best) {
                        best = d;
                        bu = u;
                        bj = j;
                    }
                }
            }
            if (best == kFar) {
                break;
            }
            link(bj, bu);
        }
        return added;
    }
    // Prim over the copies, the nearest link coming from a grid of the unjoined ones: the pair taken is
    // the same as the full scan's (copy order breaks ties).
    std::vector<model::Point> at;
    for (const Copy& x : c) {
        at.push_back(x.at);
    }
    NearestLink links;
    links.reset(std::move(at));
    for (size_t j = 0; j < c.size(); ++j) {
        if (c[j].joined) {
            links.close(static_cast<uint32_t>(j));
        }
    }
    for (size_t j = 0; j < c.size(); ++j) {
        if (c[j].joined) {
            links.join(c[j].at, static_cast<uint32_t>(j), static_cast<uint32_t>(j));
        }
    }
    NearestLink::Link next;
    while (links.best(next)) {
        link(next.joined, next.open);
        links.close(next.open);
        links.join(c[next.open].at, next.open, next.open);
    }
    return added;
}

} // namespace

void prepare_ratnest_layer(model::Setup& s) {
    model::LayerEntry& e = s.layers[kRatnestLayer];
    model::set_layer_name(e, "Ratnest");
    e.type = model::kLayerSymbols;
    model::set_layer_colour(e, 0xFFFF00);
    if (s.ratnest_width < 4) {
        s.ratnest_width = kDefaultRatnestWidth;
    }
}

int delete_ratnest(NetState& s, Ref signal) {
    model::Document& doc = *s.doc;
    std::vector<Ref> doomed;
    for (Ref r : model::items_in(doc.ring())) {
        const Node& n = node(r);
        uint8_t k = n.item_kind();
        if ((k == model::kLine || k == model::kArc) && n.layer == kRatnestLayer && !n.hidden() &&
            (signal == model::kNone || model::item_signal(r) == signal)) {
            doomed.push_back(r);
        }
    }
    model::Box area;
    for (Ref r : doomed) {
        if (s.display != nullptr) {
            area.add(edit::item_area(r));
        }
        if (node(r).marked()) {
            unmark_item(s, r);
        }
        edit::RecordDeleted(doc, r, s.undo_number++);
        index_removed(s, r);
    }
    if (!doomed.empty()) {
        doc.mark_modified();
        if (s.display != nullptr) {
            edit::redraw_region(*s.display, doc, area);
        }
    }
    return static_cast<int>(doomed.size());
}

int build_ratnest(NetState& s) {
    prepare_ratnest_layer(s.doc->setup);
    clear_all_marks(s);
    delete_ratnest(s, model::kNone);
    int added = 0;
    model::walk_tree(s.doc->ring(), [&](Ref r, int) -> bool {
        const Node& n = node(r);
        if (n.hidden()) {
            return false;
        }
        if (n.item_kind() == model::kPad && !n.marked()) {
            Ref sig = model::item_signal(r);
            if (sig != model::kNone) {
                added += build_one(s, sig);
            }
        }
        return true;
    });
    clear_marks(s);
    return added;
}

int build_signal_ratnest(NetState& s, Ref signal) {
    prepare_ratnest_layer(s.doc->setup);
    clear_all_marks(s);
    int added = signal == model::kNone ? 0 : build_one(s, signal);
    clear_marks(s);
    return added;
}

Ref next_rat_line(NetState& s) {
    Ref signal = s.current_signal;
    if (signal == model::kNone) {
        return model::kNone;
    }
    const model::Document& doc = *s.doc;
    auto open_pad = [&](Ref r) {
        const Node& n = node(r);
        return n.item_kind() == model::kPad && !n.marked() && !n.hidden() && model::item_signal(r) == signal &&
               (!smt_pad(n) || conductive_layer(doc.setup, n.layer));
    };
    Ref to = model::kNone, from = model::kNone;
    if (s.plain) {
        // Every unmarked Pad against every marked one, both in walk order.
        std::vector<Ref> open, marked;
        model::walk_tree(doc.ring(), [&](Ref r, int) -> bool {
            const Node& n = node(r);
            if (n.item_kind() == model::kPad && n.marked()) {
                marked.push_back(r);
            }
            return true;
        });
        model::walk_tree(doc.ring(), [&](Ref r, int) -> bool {
            if (node(r).hidden()) {
                return false;
            }
            if (open_pad(r)) {
                open.push_back(r);
            }
            return true;
        });
        uint64_t best = kFar;
        for (Ref u : open) {
            for (Ref m : marked) {
                uint64_t d = manhattan(centre(node(u)), centre(node(m)));
                if (d > 0 && d < best) {
                    best = d;
                    to = u;
                    from = m;
                }
            }
        }
    } else {
        // Prim over the net's clusters: the open Pads sit in a grid, each marked Pad keeps its nearest
        // open one in a heap, and only the Pads marked since the last call are new to it.
        NetIndex& index = net_index(s);
        if (!s.rat_progress) {
            s.rat_progress = std::make_shared<RatProgress>();
        }
        RatProgress& p = *s.rat_progress;
        if (p.doc != &doc || p.epoch != s.marks_epoch || p.signal != signal || p.serial != edit::change_serial(doc) ||
            p.seen > s.marked.size()) {
            p.doc = &doc;
            p.epoch = s.marks_epoch;
            p.signal = signal;
            p.serial = edit::change_serial(doc);
            p.seen = 0;
            p.open.clear();
            p.key_of.clear();
            std::vector<model::Point> at;
            index.pads_of(signal, [&](Ref r) {
                if (index.visible(r) && open_pad(r)) {
                    p.key_of.emplace(r, static_cast<uint32_t>(p.open.size()));
                    p.open.push_back(r);
                    at.push_back(centre(node(r)));
                }
            });
            p.links.reset(std::move(at));
        }
        // Pads the trace reached leave the open set before any of them joins, as in the full scan.
        std::vector<Ref> fresh;
        for (size_t i = p.seen; i < s.marked.size(); ++i) {
            Ref m = s.marked[i];
            const Node& mn = node(m);
            if (mn.item_kind() == model::kPad && mn.marked()) {
                fresh.push_back(m);
                if (auto it = p.key_of.find(m); it != p.key_of.end()) {
                    p.links.close(it->second);
                }
            }
        }
        p.seen = s.marked.size();
        for (Ref m : fresh) {
            p.links.join(centre(node(m)), index.place(m), m);
        }
        NearestLink::Link next;
        if (p.links.best(next)) {
            to = p.open[next.open];
            from = next.tag;
        }
    }
    if (to == model::kNone) {
        return model::kNone;
    }
    prepare_ratnest_layer(s.doc->setup);
    Ref line = add_line(s, centre(node(from)), centre(node(to)), signal);
    if (line != model::kNone) {
        mark_item(s, line);
    }
    if (s.rat_progress) {
        s.rat_progress->serial = edit::change_serial(doc);
        s.rat_progress->seen = s.marked.size();
    }
    return to;
}

} // namespace trazel::nets
