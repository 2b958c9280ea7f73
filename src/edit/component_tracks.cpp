// GC: a Component grabbed with its tracks.  Track ends in its pads, the vias that fan out from it and
// the tracks between those follow the Component; the rest of each track stays where it is.
#include <algorithm>
#include <optional>
#include <vector>

#include "edit/area.h"
#include "edit/grab.h"
#include "edit/grab_internal.h"

namespace trazel::edit {

namespace {

// The tracks and pads GC looks at, gathered once around the Component.
struct Surroundings {
    std::vector<Ref> tracks; // top-level
    std::vector<Ref> vias;   // top-level pads
    std::vector<Ref> pads;   // member pads of other Components
    Box region;

    bool covers(Point p) const {
        return p.x >= region.x1 && p.x <= region.x2 && p.y >= region.y1 && p.y <= region.y2;
    }
};

Surroundings gather(GrabList& g, Ref c, const Box& region) {
    Surroundings s;
    s.region = region;
    auto inside = [&](Coord x, Coord y) { return x >= region.x1 && x <= region.x2 && y >= region.y1 && y <= region.y2; };
    Ref own = node(c).link;
    walk_all_near(g, Rect64{region.x1, region.y1, region.x2, region.y2}, [&](Ref r, int depth) {
        const Node& n = node(r);
        if (depth == 0 && is_track(n)) {
            if (inside(n.line.x1, n.line.y1) || inside(n.line.x2, n.line.y2)) {
                s.tracks.push_back(r);
            }
        } else if (n.item_kind() == model::kPad && inside(n.pad.x0, n.pad.y0)) {
            if (depth == 0) {
                s.vias.push_back(r);
            } else if (ring_head_of(r) != own) {
                s.pads.push_back(r);
            }
        }
    });
    return s;
}

bool pad_holds(const Node& pad, Point p, uint64_t t) {
    return model::hit_pad(pad, t, p, turn_of);
}

// A track end lies within a pad: the pad shape grown by half the track width, and within three quarters of
// the pad's largest dimension of its centre.
bool end_in_pad(const Node& pad, const Node& track, Point e) {
    if (!pad_holds(pad, e, track.size / 2)) {
        return false;
    }
    int64_t reach = int64_t{std::max(pad.pad.width, pad.pad.height)} * 3 / 4;
    int64_t dx = int64_t{e.x} - pad.pad.x0, dy = int64_t{e.y} - pad.pad.y0;
    return dx * dx + dy * dy <= reach * reach;
}

class ComponentTracks {
  public:
    ComponentTracks(GrabList& g, Ref c) : g_(g), c_(c) {
        const Node& n = node(c);
        box_.add(std::min(n.box.x1, n.box.x2), std::min(n.box.y1, n.box.y2));
        box_.add(std::max(n.box.x1, n.box.x2), std::max(n.box.y1, n.box.y2));
        Box region = box_;
        region.grow(kGatherMargin);
        near_ = gather(g, c, region);
    }

    void run() {
        std::vector<std::pair<Ref, int>> attached;
        model::walk_tree(node(c_).link, [&](Ref m, int) {
            const Node& pad = node(m);
            if (pad.item_kind() != model::kPad) {
                return;
            }
            for (Ref t : near_.tracks) {
                const Node& tn = node(t);
                if (!on_layer(pad, tn.layer)) {
                    continue;
                }
                for (int end = 1; end <= 2; ++end) {
                    if (end_in_pad(pad, tn, end_point(tn, end)) &&
                        add_entry(g_, t, end == 1 ? kGrabFirst : kGrabSecond) != model::kNone) {
                        attached.emplace_back(t, end);
                    }
                }
            }
        });
        for (auto [t, end] : attached) {
            follow(t, end);
        }
    }

  private:
    // What lies at the far end of a track (and the chain of same-layer tracks it continues in) decides
    // whether the track stretches or moves with the Component, perhaps with a fan-out via.
    void follow(Ref first, int pad_end) {
        std::vector<Ref> chain{first};
        Ref cur = first;
        Point far = end_point(node(first), 3 - pad_end);
        for (int steps = 0; steps < kMaxChain; ++steps) {
            const Node& cn = node(cur);
            if (moving_pad_at(far, cn)) {
                move_whole(chain);
                return;
            }
            if (other_pad_at(far, cn)) {
                return; // stretches
            }
            if (Ref via = via_at(far, cn); via != model::kNone) {
                fan_out(chain, via);
                return;
            }
            Ref next = model::kNone;
            int count = 0;
            for (Ref t : tracks_near(far)) {
                const Node& tn = node(t);
                if (t == cur || tn.layer != cn.layer || ends_at(tn, far) == 0) {
                    continue;
                }
                ++count;
                next = t;
            }
            if (count != 1 || std::find(chain.begin(), chain.end(), next) != chain.end()) {
                return; // a junction or a loose end: the track only stretches
            }
            chain.push_back(next);
            uint8_t at = ends_at(node(next), far);
            far = end_point(node(next), (at & kGrabFirst) != 0 ? 2 : 1);
            cur = next;
        }
    }

    void move_whole(const std::vector<Ref>& chain) {
        for (Ref t : chain) {
            add_entry(g_, t, kGrabWhole);
        }
    }

    bool moving_pad_at(Point p, const Node& track) {
        for (const GrabEntry& e : g_.entries) {
            const Node& n = node(e.real);
            if (n.item_kind() == model::kPad && !e.companion() && (e.flags & kGrabFirst) != 0 &&
                on_layer(n, track.layer) && pad_holds(n, p, 0)) {
                return true;
            }
        }
        return false;
    }

    bool other_pad_at(Point p, const Node& track) {
        const std::vector<Ref>& pads = near_.covers(p) ? near_.pads : all_other_pads();
        for (Ref pad : pads) {
            const Node& n = node(pad);
            if (on_layer(n, track.layer) && pad_holds(n, p, 0)) {
                return true;
            }
        }
        return false;
    }

    // A via at p that may follow: within kFanoutReach of the box, no other track of the same layer ending
    // on it and at most one of another layer (that one stretches).
    Ref via_at(Point p, const Node& track) {
        const std::vector<Ref>& vias = near_.covers(p) ? near_.vias : all_vias();
        for (Ref v : vias) {
            const Node& n = node(v);
            if (!on_layer(n, track.layer) || !pad_holds(n, p, 0)) {
                continue;
            }
            if (n.pad.x0 < box_.x1 - kFanoutReach || n.pad.x0 > box_.x2 + kFanoutReach ||
                n.pad.y0 < box_.y1 - kFanoutReach || n.pad.y0 > box_.y2 + kFanoutReach) {
                return model::kNone;
            }
            return v;
        }
        return model::kNone;
    }

    void fan_out(const std::vector<Ref>& chain, Ref via) {
        const Node& vn = node(via);
        const Node& last = node(chain.back());
        Ref other = model::kNone;
        int others = 0;
        Point c{vn.pad.x0, vn.pad.y0};
        for (Ref t : tracks_near(c)) {
            if (t == chain.back()) {
                continue;
            }
            const Node& tn = node(t);
            bool on1 = pad_holds(vn, end_point(tn, 1), 0), on2 = pad_holds(vn, end_point(tn, 2), 0);
            if (!on1 && !on2) {
                continue;
            }
            if (tn.layer == last.layer) {
                return; // another track of the same layer: the via stays and the track stretches
            }
            ++others;
            other = t;
        }
        if (others > 1) {
            return;
        }
        move_whole(chain);
        add_entry(g_, via, kGrabWhole);
        if (other != model::kNone) {
            const Node& on = node(other);
            add_entry(g_, other, pad_holds(vn, end_point(on, 1), 0) ? kGrabFirst : kGrabSecond);
        }
    }

    const std::vector<Ref>& tracks_near(Point p) {
        if (near_.covers(p)) {
            return near_.tracks;
        }
        if (!all_tracks_) {
            all_tracks_.emplace();
            walk_all(g_, [&](Ref r, int depth) {
                if (depth == 0 && is_track(node(r))) {
                    all_tracks_->push_back(r);
                }
            });
        }
        return *all_tracks_;
    }

    const std::vector<Ref>& all_vias() {
        fill_all_pads();
        return *all_vias_;
    }
    const std::vector<Ref>& all_other_pads() {
        fill_all_pads();
        return *all_pads_;
    }
    void fill_all_pads() {
        if (all_vias_) {
            return;
        }
        all_vias_.emplace();
        all_pads_.emplace();
        Ref own = node(c_).link;
        walk_all(g_, [&](Ref r, int depth) {
            if (node(r).item_kind() != model::kPad) {
                return;
            }
            if (depth == 0) {
                all_vias_->push_back(r);
            } else if (ring_head_of(r) != own) {
                all_pads_->push_back(r);
            }
        });
    }

    GrabList& g_;
    Ref c_;
    Box box_;
    Surroundings near_;
    std::optional<std::vector<Ref>> all_tracks_, all_vias_, all_pads_;
};

} // namespace

void follow_component_tracks(GrabList& g, Ref component) {
    ComponentTracks(g, component).run();
}

} // namespace trazel::edit
