// The netlist's naming pass: detach the Signals that the connectivity decides, trace every unnamed net
// once, name it after its pads or with a generated "$" number, and check schematic wires for co-linear
// joins.
#include "nets/naming.h"

#include <algorithm>
#include <unordered_map>
#include <utility>
#include <vector>

#include "edit/undo.h"
#include "model/hit_test.h"
#include "nets/netscan.h"
#include "nets/trace.h"

namespace trazel::nets {

using model::Node;
using model::node;

namespace {

__extension__ typedef __int128 Wide;

// A Signal record counts its users in the upper 24 bits of its tag word, 256 per reference.
constexpr uint32_t kSignalUse = 256;
constexpr const char* kColinearText = "Two co-linear line segments have been detected.";

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

bool generated_name(Ref signal) {
    return signal != model::kNone && node(signal).bytes()[0] == '$';
}

// The sign of (b - a) x (c - a), exact for any 32-bit coordinates.
int orientation(Point a, Point b, Point c) {
    Wide v = Wide{int64_t{b.x} - a.x} * (int64_t{c.y} - a.y) - Wide{int64_t{b.y} - a.y} * (int64_t{c.x} - a.x);
    return v < 0 ? -1 : (v > 0 ? 1 : 0);
}

Point end_of(const Node& l, int e) {
    return e == 0 ? Point{l.line.x1, l.line.y1} : Point{l.line.x2, l.line.y2};
}

bool same_point(Point a, Point b) {
    return a.x == b.x && a.y == b.y;
}

bool near(Point a, Point b, int64_t tol) {
    return model::abs64(int64_t{a.x} - b.x) <= tol && model::abs64(int64_t{a.y} - b.y) <= tol;
}

// Both ends of one wire lie on the line through the other (a wire of no length lies on any line).
bool on_one_line(const Node& a, const Node& b) {
    Point a1 = end_of(a, 0), a2 = end_of(a, 1), b1 = end_of(b, 0), b2 = end_of(b, 1);
    if (!same_point(b1, b2)) {
        return orientation(b1, b2, a1) == 0 && orientation(b1, b2, a2) == 0;
    }
    return same_point(a1, a2) || orientation(a1, a2, b1) == 0;
}

class Pass {
  public:
    explicit Pass(NetState& s) : s_(s), doc_(*s.doc), schematic_(model::IsSchematic(doc_.setup)) {
    }

    NamingResult run() {
        base_ = naming_base(doc_.name());
        clear_all_marks(s_);
        detach();
        for (Ref item : unnamed_candidates()) {
            if (model::item_signal(item) != model::kNone) {
                continue; // named by an earlier net
            }
            if (!name_net(item)) {
                break;
            }
        }
        restore_labels();
        if (r_.changed > 0) {
            doc_.mark_modified();
        }
        return r_;
    }

  private:
    // Gives an Item its new Signal (none detaches), recorded for undo; keeps the index's pad lists.
    void set_signal(Ref item, Ref signal) {
        edit::RecordModified(doc_, item, s_.undo_number++);
        Ref old = model::item_signal(item);
        model::DetachSignal(item);
        if (signal != model::kNone) {
            node(signal).tag() += kSignalUse;
            node(item).link = signal;
        }
        ++r_.changed;
        if (s_.index) {
            if (node(item).item_kind() == model::kPad) {
                s_.index->signal_changed(item, old);
            }
            s_.index->adopt(doc_);
        }
    }

    // Tracks, arcs and generated pad names lose their Signals; in a schematic also the pads that are no
    // pins (other types, or on the pad master layer) and generated signal labels.  Ratnest lines keep
    // theirs: no trace reaches them again, and their Signal is what deletes and routes them.
    void detach() {
        model::walk_tree(doc_.ring(), [&](Ref r, int) -> bool {
            const Node& n = node(r);
            if (n.hidden()) {
                return false;
            }
            Ref sig = model::item_signal(r);
            if (sig == model::kNone) {
                return true;
            }
            bool off = false;
            switch (n.item_kind()) {
            case model::kLine:
                off = n.size != 0 && n.layer != model::kRatnestLayer;
                break;
            case model::kArc:
                off = true;
                break;
            case model::kPad:
                off = generated_name(sig) || (schematic_ && ((n.size & 7) != 0 || n.layer == 0));
                break;
            case model::kText:
                off = schematic_ && n.layer == 2 && generated_name(sig);
                if (off) {
                    labels_.push_back({r, sig});
                }
                break;
            default:
                break;
            }
            if (off) {
                set_signal(r, model::kNone);
            }
            return true;
        });
    }

    // The tracks on conductive layers and the pads on the pad master or a conductive layer, in walk order.
    std::vector<Ref> unnamed_candidates() const {
        std::vector<Ref> out;
        model::walk_tree(doc_.ring(), [&](Ref r, int) -> bool {
            const Node& n = node(r);
            if (n.hidden()) {
                return false;
            }
            uint8_t k = n.item_kind();
            if ((k == model::kLine && n.size != 0 && conductive_layer(doc_.setup, n.layer)) ||
                (k == model::kPad && (n.layer == 0 || conductive_layer(doc_.setup, n.layer)))) {
                if (model::item_signal(r) == model::kNone) {
                    out.push_back(r);
                }
            }
            return true;
        });
        return out;
    }

    // One net: false when the pass ends here.
    bool name_net(Ref item) {
        const Node& n = node(item);
        TraceResult t = n.item_kind() == model::kPad
                            ? trace_from_pad(s_, item)
                            : trace_from_point(s_, n.layer, n.size, Point{n.line.x1, n.line.y1});
        ++r_.nets;
        if (t == TraceResult::Interrupted) {
            r_.end = NamingEnd::Interrupted;
            return false;
        }
        if (s_.crosslink_pad != model::kNone) {
            r_.end = NamingEnd::Crosslink;
            r_.first = s_.crosslink_pad;
            r_.signal = s_.current_signal;
            r_.other = model::item_signal(s_.crosslink_pad);
            r_.at = Point{node(r_.first).pad.x0, node(r_.first).pad.y0};
            return false;
        }
        Ref sig = s_.current_signal;
        if (sig == model::kNone) {
            sig = model::find_signal("$" + std::to_string(++base_), true);
            ++r_.generated;
            if (sig == model::kNone) {
                clear_marks(s_); // no Node left for the record: the net stays unnamed
                return true;
            }
        }
        if (model::item_signal(item) == model::kNone) {
            set_signal(item, sig);
        }
        for (size_t i = 0; i < s_.marked.size(); ++i) {
            Ref x = s_.marked[i];
            const Node& m = node(x);
            uint8_t k = m.item_kind();
            bool takes = m.marked() && ((k == model::kLine && m.size != 0) || k == model::kArc || k == model::kPad ||
                                        (k == model::kText && m.link == model::kNone));
            if (takes && model::item_signal(x) == model::kNone) {
                set_signal(x, sig);
            }
        }
        attach_labels(sig);
        if (schematic_ && colinear_wires()) {
            r_.end = NamingEnd::Colinear;
            return false;
        }
        clear_marks(s_);
        return true;
    }

    // A detached signal label takes the Signal of the first net whose wire it sits on (the trace's label
    // rule: its origin within the wire's half width plus 2 units).
    void attach_labels(Ref sig) {
        for (Label& l : labels_) {
            if (l.done) {
                continue;
            }
            const Node& t = node(l.text);
            Point o{t.text.x0, t.text.y0};
            for (Ref x : s_.marked) {
                const Node& w = node(x);
                if (w.marked() && w.item_kind() == model::kLine && w.size != 0 && (w.layer == t.layer || w.layer == 0) &&
                    model::hit_track(w, w.size / 2 + 2, o) != model::TrackHit::None) {
                    set_signal(l.text, sig);
                    l.done = true;
                    break;
                }
            }
        }
    }

    // A label on no net keeps its old name rather than lose its text.
    void restore_labels() {
        for (Label& l : labels_) {
            if (!l.done && model::item_signal(l.text) == model::kNone) {
                set_signal(l.text, l.old);
            }
        }
    }

    // Two marked wires meeting end to end on one line, unless exactly one other marked Line or Pad has an
    // end or centre at the junction: on a schematic that is two segments drawn as one wire, or a crossing
    // of four.  A junction dot (a surface-mount pad of shape 3) only shows a junction and is not counted,
    // so a wire split at a dotted T passes.  The ends are kept in a grid of the widest wire's width, so a
    // large net is not compared pair by pair.
    bool colinear_wires() {
        std::vector<Ref> wires, pads;
        int64_t cell = 1;
        for (Ref x : s_.marked) {
            const Node& n = node(x);
            if (!n.marked()) {
                continue;
            }
            if (n.item_kind() == model::kLine && n.size != 0) {
                wires.push_back(x);
                cell = std::max<int64_t>(cell, n.size);
            } else if (n.item_kind() == model::kPad && !(smt_pad(n) && shape_code(n) == 3)) {
                pads.push_back(x);
            }
        }
        if (wires.size() < 2) {
            return false;
        }
        auto key = [&](int64_t cx, int64_t cy) { return static_cast<uint64_t>(cx) * 0x9E3779B97F4A7C15ull ^ static_cast<uint64_t>(cy); };
        // Points: wire i's ends are 2i and 2i+1, pad j's centre 2*wires + j.
        size_t npoints = wires.size() * 2 + pads.size();
        auto point = [&](size_t id) {
            return id < wires.size() * 2 ? end_of(node(wires[id / 2]), static_cast<int>(id % 2))
                                         : Point{node(pads[id - wires.size() * 2]).pad.x0,
                                                 node(pads[id - wires.size() * 2]).pad.y0};
        };
        std::unordered_map<uint64_t, std::vector<uint32_t>> grid;
        for (size_t id = 0; id < npoints; ++id) {
            Point p = point(id);
            grid[key(model::floor_div(p.x, cell), model::floor_div(p.y, cell))].push_back(static_cast<uint32_t>(id));
        }
        // f(id) for the points within tol (at most one cell) of p.
        auto around = [&](Point p, int64_t tol, auto&& f) {
            for (int64_t cx = model::floor_div(p.x - tol, cell); cx <= model::floor_div(p.x + tol, cell); ++cx) {
                for (int64_t cy = model::floor_div(p.y - tol, cell); cy <= model::floor_div(p.y + tol, cell); ++cy) {
                    auto it = grid.find(key(cx, cy));
                    if (it == grid.end()) {
                        continue;
                    }
                    for (uint32_t id : it->second) {
                        if (near(point(id), p, tol)) {
                            f(id);
                        }
                    }
                }
            }
        };
        auto owner = [&](uint32_t id) { return id < wires.size() * 2 ? id / 2 : id; };
        for (size_t i = 0; i < wires.size(); ++i) {
            const Node& a = node(wires[i]);
            for (int e = 0; e < 2; ++e) {
                Point p = end_of(a, e);
                bool found = false;
                around(p, cell, [&](uint32_t id) {
                    size_t j = id / 2;
                    if (found || id >= wires.size() * 2 || j <= i) {
                        return;
                    }
                    const Node& b = node(wires[j]);
                    int64_t mean = (int64_t{a.size} + b.size) / 2;
                    if (!near(point(id), p, mean) || !on_one_line(a, b)) {
                        return;
                    }
                    std::vector<uint32_t> others;
                    around(p, mean / 2, [&](uint32_t o) {
                        uint32_t w = owner(o);
                        if (w != i && w != j && std::find(others.begin(), others.end(), w) == others.end()) {
                            others.push_back(w);
                        }
                    });
                    if (others.size() != 1) {
                        found = true;
                        r_.first = wires[i];
                        r_.second = wires[j];
                        r_.at = p;
                    }
                });
                if (found) {
                    return true;
                }
            }
        }
        return false;
    }

    struct Label {
        Ref text;
        Ref old;
        bool done = false;
    };

    NetState& s_;
    model::Document& doc_;
    bool schematic_;
    int base_ = 0;
    std::vector<Label> labels_;
    NamingResult r_;
};

} // namespace

int naming_base(std::string_view name) {
    size_t n = name.size();
    if (n >= 4 && name[n - 4] == '.' && is_digit(name[n - 1])) {
        int base = (name[n - 1] - '0') * 10000 + 100000;
        if (is_digit(name[n - 2])) {
            base += (name[n - 2] - '0') * 100000 + 900000;
        }
        return base;
    }
    if (n >= 3 && name[n - 3] == '.' && is_digit(name[n - 1])) {
        return (name[n - 1] - '0') * 10000 + 100000;
    }
    return 10000;
}

NamingResult name_nets(NetState& s) {
    return Pass(s).run();
}

std::string naming_text(const NamingResult& r) {
    switch (r.end) {
    case NamingEnd::Crosslink: {
        NetCheck c;
        c.problem = NetProblem::Crosslink;
        c.signal = r.signal;
        c.other = r.other;
        return problem_text(c);
    }
    case NamingEnd::Colinear:
        return kColinearText;
    default:
        return {};
    }
}

} // namespace trazel::nets
