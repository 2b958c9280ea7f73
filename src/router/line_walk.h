#pragma once
// What every pass shares when it walks the Ratnest lines: a line with the Pads at its ends, the layers a
// run may use, the end marks of a line without Signal, and the loop that counts, draws and looks for a
// cancel.
#include <cstdint>
#include <vector>

#include "router/passes.h"

namespace trazel::router {

constexpr int64_t kEndTolerance = 3; // two X values, Y values or points are equal within this

inline bool near(int64_t a, int64_t b) {
    return model::abs64(a - b) <= kEndTolerance;
}

// Coordinates along (u) and across (v) the axis of a pass: X runs use (x, y), Y runs (y, x).
struct Frame {
    bool vertical;
    int64_t u(Point p) const {
        return vertical ? p.y : p.x;
    }
    int64_t v(Point p) const {
        return vertical ? p.x : p.y;
    }
    Point at(int64_t u, int64_t v) const {
        return vertical ? Point{model::clamp_coord(v), model::clamp_coord(u)}
                        : Point{model::clamp_coord(u), model::clamp_coord(v)};
    }
    Axis plus() const {
        return vertical ? Axis::PlusY : Axis::PlusX;
    }
    Axis minus() const {
        return vertical ? Axis::MinusY : Axis::MinusX;
    }
    int bit() const {
        return vertical ? kYAxis : kXAxis;
    }
};

// A Ratnest line as the passes see it.
struct Rat {
    Ref line = model::kNone;
    Point a, b; // E1, E2 as stored
    Ref sig = model::kNone;
    std::vector<Ref> pads_a, pads_b; // the Pads at each end
};

// The Pads whose centres lie within 3 units of p: those of the line's Signal when there are any, else all.
std::vector<Ref> pads_at(const Router& r, Point p, Ref sig);
// A layer can carry the connection only when each end has a through-hole pad or a surface pad on it:
// a track on another side would join nothing.
bool ends_reach(const std::vector<Ref>& pads, int layer);
bool layer_ok(const Rat& rat, int layer);
// The routing layers with the given direction bits, lowest first.
std::vector<int> layers_with(const model::Setup& s, int bits);
// While a line without Signal is tried, the Line ends and Pads on its end points are marked so that the
// queries do not take them for obstacles; `unmark_ends` takes the marks off again.
std::vector<Ref> mark_ends(const Router& r, const Rat& rat);
void unmark_ends(const Router& r, const std::vector<Ref>& marked);
Rat make_rat(const Router& r, Ref line);

enum class Tried { Skipped, Processed, Routed };

// The loop every pass shares: each Ratnest line in order, counted, drawn, checked for cancel.
template <class F> PassResult each_line(Router& r, F&& try_line) {
    PassResult res;
    for (Ref line : ratnest_lines(r.doc)) {
        if (r.cancelled) {
            break;
        }
        Rat rat = make_rat(r, line);
        std::vector<Ref> marked;
        if (rat.sig == model::kNone) {
            marked = mark_ends(r, rat);
        }
        Tried t = try_line(rat);
        unmark_ends(r, marked);
        if (t == Tried::Skipped) {
            continue;
        }
        ++res.processed;
        if (t == Tried::Routed) {
            ++res.routed;
            ++r.routed;
        } else {
            r.draw(line);
        }
        if (r.hooks.progress) {
            r.hooks.progress(r.routed, r.total);
        }
        if (r.run != nullptr && r.run->cancelled()) {
            r.cancelled = true;
        }
    }
    return res;
}

} // namespace trazel::router
