#include "nets/pinlist.h"

#include <algorithm>
#include <filesystem>
#include <limits>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "nets/bom.h"
#include "nets/parts.h"
#include "nets/trace.h"

namespace trazel::nets {

namespace {

using model::Node;
using model::node;

__extension__ typedef unsigned __int128 Wide;

const std::string kRule(80, '-');

std::string document_title_name(const model::Document& doc) {
    return std::filesystem::path(doc.name()).filename().string();
}

void header(ListText& out, const model::Document& doc, std::string_view title, std::string_view heads,
            const std::tm& date) {
    out.line(list_title(title, document_title_name(doc), 72, date));
    out.line(kRule);
    out.line(heads);
    out.line(kRule);
    out.line();
}

Wide distance2(Point a, Point b) {
    auto d = [](Coord u, Coord v) {
        uint64_t m = static_cast<uint64_t>(model::abs64(int64_t{u} - v));
        return Wide{m} * m;
    };
    return d(a.x, b.x) + d(a.y, b.y);
}

// A through-hole Pad of the Signal a surface-mount pad looks for; `via` for a top-level T3 pad.
// `order` is its place among the Signal's pads in walk order: of equal distances the first wins.
struct Candidate {
    Ref pad;
    Point at;
    bool via;
    uint32_t order;
};

// The best so far: the smallest distance, of equal ones the first in walk order.
struct Best {
    Ref pad = model::kNone;
    Wide d = std::numeric_limits<Wide>::max();
    uint32_t order = std::numeric_limits<uint32_t>::max();

    void offer(const Candidate& c, Wide dc) {
        if (dc < d || (dc == d && c.order < order)) {
            pad = c.pad;
            d = dc;
            order = c.order;
        }
    }
};

// The nearest via, else the nearest through-hole pad, found by looking at every candidate in turn.
Ref nearest_of_all(const std::vector<Candidate>& all, Point from) {
    Best via, pad;
    for (const Candidate& c : all) {
        Wide d = distance2(from, c.at);
        if (c.via) {
            via.offer(c, d);
        }
        pad.offer(c, d);
    }
    return via.pad != model::kNone ? via.pad : pad.pad;
}

// Candidates sorted by X: the search goes out from the query's X both ways and stops on each side once
// the X distance alone exceeds the best distance, so a big net costs about its neighbourhood.
class SweepSet {
  public:
    explicit SweepSet(std::vector<Candidate> c) : c_(std::move(c)) {
        std::sort(c_.begin(), c_.end(), [](const Candidate& a, const Candidate& b) {
            return a.at.x != b.at.x ? a.at.x < b.at.x : a.order < b.order;
        });
    }
    bool empty() const {
        return c_.empty();
    }
    Ref nearest(Point from) const {
        Best best;
        auto mid =
            std::lower_bound(c_.begin(), c_.end(), from.x, [](const Candidate& a, Coord x) { return a.at.x < x; });
        auto reach = [&](const Candidate& c) {
            uint64_t dx = static_cast<uint64_t>(model::abs64(int64_t{c.at.x} - from.x));
            return Wide{dx} * dx <= best.d;
        };
        for (auto it = mid; it != c_.end() && reach(*it); ++it) {
            best.offer(*it, distance2(from, it->at));
        }
        for (auto it = mid; it != c_.begin() && reach(*(it - 1)); --it) {
            best.offer(*(it - 1), distance2(from, (it - 1)->at));
        }
        return best.pad;
    }

  private:
    std::vector<Candidate> c_;
};

bool through_hole_pad(const Node& n) {
    return n.item_kind() == model::kPad && !smt_pad(n);
}

Candidate candidate(Ref r, bool top_level, uint32_t order) {
    const Node& n = node(r);
    return Candidate{r, Point{n.pad.x0, n.pad.y0}, top_level && (n.size & 7) == 3, order};
}

// Finds the nearest via or pad of a Signal.  Indexed: each Signal's pads from the index's pad lists,
// gathered once into a sweep set of its vias and one of all its through-hole pads.  Plain: a walk over
// the whole Document for every question.
class ViaFinder {
  public:
    explicit ViaFinder(NetState& s) : s_(s) {
        if (!s.plain) {
            for (Ref r : model::items_in(s.doc->ring())) {
                if (node(r).item_kind() == model::kPad) {
                    top_level_.insert(r);
                }
            }
        }
    }

    Ref nearest(Ref signal, Point from) {
        if (s_.plain) {
            std::vector<Candidate> all;
            model::walk_tree(s_.doc->ring(), [&](Ref r, int depth) {
                if (through_hole_pad(node(r)) && model::item_signal(r) == signal) {
                    all.push_back(candidate(r, depth == 0, static_cast<uint32_t>(all.size())));
                }
            });
            return nearest_of_all(all, from);
        }
        auto it = by_signal_.find(signal);
        if (it == by_signal_.end()) {
            std::vector<Candidate> all, vias;
            net_index(s_).pads_of(signal, [&](Ref r) {
                if (through_hole_pad(node(r))) {
                    all.push_back(candidate(r, top_level_.count(r) != 0, static_cast<uint32_t>(all.size())));
                    if (all.back().via) {
                        vias.push_back(all.back());
                    }
                }
            });
            it = by_signal_.emplace(signal, Sets{SweepSet(std::move(vias)), SweepSet(std::move(all))}).first;
        }
        const Sets& sets = it->second;
        return sets.vias.empty() ? sets.all.nearest(from) : sets.vias.nearest(from);
    }

  private:
    struct Sets {
        SweepSet vias, all;
    };
    NetState& s_;
    std::unordered_set<Ref> top_level_;
    std::unordered_map<Ref, Sets> by_signal_;
};

std::string x_text(const model::Document& doc, Coord x) {
    return inches3(static_cast<Coord>(int64_t{x} - doc.setup.origin_x));
}

std::string y_text(const model::Document& doc, Coord y) {
    return inches3(static_cast<Coord>(int64_t{y} - doc.setup.origin_y));
}

// "Top" or "Bot" by the first letter of a surface-mount pad's layer name, else "SMD"; "THD" through
// the board.
std::string mount_text(const model::Document& doc, const Node& n) {
    if (!smt_pad(n)) {
        return "THD";
    }
    char first = doc.setup.layers[n.layer].name[0];
    return first == 'T' ? "Top" : first == 'B' ? "Bot" : "SMD";
}

} // namespace

std::string pin_list_text(NetState& s, const std::tm& date) {
    const model::Document& doc = *s.doc;
    ListText out;
    header(out, doc, "COMPONENT PIN LIST",
           "REF ID  PATTERN     PIN   TYPE  X POS   Y POS   SIGNAL      TYPE  X POS   Y POS", date);
    ViaFinder finder(s);
    for (Ref c : model::items_in(doc.ring())) {
        if (node(c).item_kind() != model::kComponent) {
            continue;
        }
        std::string ref = part_field(c, kReferenceField);
        if (ref.empty() || ref[0] < 'A' || ref[0] > 'Z') {
            continue;
        }
        bool first = true;
        for (Ref m : model::items_in(model::member_ring(c))) {
            const Node& n = node(m);
            std::string pin = n.item_kind() == model::kPad ? model::pin_text(m) : std::string();
            if (pin.empty()) {
                continue;
            }
            std::string l;
            if (first) {
                put_at(l, 0, ref);
                put_after(l, 8, part_field(c, kPatternField));
                first = false;
            }
            put_after(l, 20, pin);
            put_after(l, 26, mount_text(doc, n));
            put_after(l, 32, x_text(doc, n.pad.x0));
            put_after(l, 40, y_text(doc, n.pad.y0));
            Ref signal = model::item_signal(m);
            if (signal != model::kNone) {
                put_after(l, 48, model::signal_name(signal));
                Ref near = smt_pad(n) ? finder.nearest(signal, Point{n.pad.x0, n.pad.y0}) : model::kNone;
                if (near != model::kNone) {
                    const Node& v = node(near);
                    put_after(l, 60, shape_code(v) == 3 ? "VIA" : "PAD");
                    put_after(l, 66, x_text(doc, v.pad.x0));
                    put_after(l, 74, y_text(doc, v.pad.y0));
                }
            }
            out.line(l);
        }
        out.line();
    }
    out.raw("\f");
    return out.text();
}

std::string wire_list_text(const model::Document& doc, const std::tm& date) {
    ListText out;
    header(out, doc, "SIGNAL WIRE LIST", "SIGNAL          FROM-PIN        TO-PIN          LENGTH      REMARKS", date);
    out.raw("\f");
    return out.text();
}

} // namespace trazel::nets
