#include "router/line_walk.h"

#include <algorithm>

#include "nets/net_state.h"

namespace trazel::router {

using model::Node;
using model::node;

std::vector<Ref> pads_at(const Router& r, Point p, Ref sig) {
    std::vector<Ref> all, own;
    const int64_t t = kEndTolerance;
    r.q->visit_near(int64_t{p.x} - t, int64_t{p.y} - t, int64_t{p.x} + t, int64_t{p.y} + t, [&](Ref x) {
        const Node& n = node(x);
        if (n.item_kind() == model::kPad && near(n.pad.x0, p.x) && near(n.pad.y0, p.y)) {
            all.push_back(x);
            if (sig != model::kNone && model::item_signal(x) == sig) {
                own.push_back(x);
            }
        }
    });
    std::vector<Ref>& out = own.empty() ? all : own;
    std::sort(out.begin(), out.end());
    return out;
}

bool ends_reach(const std::vector<Ref>& pads, int layer) {
    return std::any_of(pads.begin(), pads.end(), [&](Ref p) {
        const Node& n = node(p);
        return !nets::smt_pad(n) || n.layer == layer;
    });
}

bool layer_ok(const Rat& rat, int layer) {
    return ends_reach(rat.pads_a, layer) && ends_reach(rat.pads_b, layer);
}

std::vector<int> layers_with(const model::Setup& s, int bits) {
    std::vector<int> out;
    for (int l = 0; l < 255; ++l) {
        if ((layer_direction(s, l) & bits) != 0) {
            out.push_back(l);
        }
    }
    return out;
}

std::vector<Ref> mark_ends(const Router& r, const Rat& rat) {
    std::vector<Ref> marked;
    const int64_t t = kEndTolerance;
    for (Point p : {rat.a, rat.b}) {
        r.q->visit_near(int64_t{p.x} - t, int64_t{p.y} - t, int64_t{p.x} + t, int64_t{p.y} + t, [&](Ref x) {
            const Node& n = node(x);
            if (n.marked() || std::find(marked.begin(), marked.end(), x) != marked.end()) {
                return;
            }
            bool on = false;
            if (n.item_kind() == model::kPad) {
                on = near(n.pad.x0, p.x) && near(n.pad.y0, p.y);
            } else if (n.item_kind() == model::kLine && n.size != 0) {
                on = (near(n.line.x1, p.x) && near(n.line.y1, p.y)) || (near(n.line.x2, p.x) && near(n.line.y2, p.y));
            }
            if (on) {
                marked.push_back(x);
            }
        });
    }
    // Marks are part of the Item the user interface reads: set under its lock.
    r.change([&] {
        for (Ref m : marked) {
            node(m).kind |= model::kMarkFlag;
        }
    });
    return marked;
}

void unmark_ends(const Router& r, const std::vector<Ref>& marked) {
    if (marked.empty()) {
        return;
    }
    r.change([&] {
        for (Ref m : marked) {
            node(m).kind &= static_cast<uint8_t>(~model::kMarkFlag);
        }
    });
}

Rat make_rat(const Router& r, Ref line) {
    const Node& n = node(line);
    Rat rat;
    rat.line = line;
    rat.a = Point{n.line.x1, n.line.y1};
    rat.b = Point{n.line.x2, n.line.y2};
    rat.sig = model::item_signal(line);
    rat.pads_a = pads_at(r, rat.a, rat.sig);
    rat.pads_b = pads_at(r, rat.b, rat.sig);
    return rat;
}

} // namespace trazel::router
