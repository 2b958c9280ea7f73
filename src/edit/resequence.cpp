#include "edit/resequence.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <unordered_set>

#include "display/stroke_font.h"
#include "edit/place_names.h"
#include "edit/undo.h"

namespace trazel::edit {

using model::Node;
using model::node;

namespace {

// Primary coordinates this close count as equal, and the secondary coordinate decides.  The tie is no
// order (0 ties 3 and 3 ties 6, but 0 comes before 6), so the scan order must never be handed to a sort.
constexpr int64_t kTie = 3;

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}
bool is_letter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}
char upper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c;
}

std::string_view base_name(std::string_view path) {
    size_t slash = path.find_last_of("/\\");
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

// The path without its extension, upper case: Documents of one set share it.
std::string stem_of(std::string_view path) {
    size_t dot = path.rfind('.');
    size_t slash = path.find_last_of("/\\");
    if (dot != std::string_view::npos && (slash == std::string_view::npos || dot > slash)) {
        path = path.substr(0, dot);
    }
    std::string s(path);
    std::transform(s.begin(), s.end(), s.begin(), upper);
    return s;
}

// One Component of the set.
struct Entry {
    size_t doc = 0; // index into the set
    Ref c = model::kNone;
    ReferenceParts parts;
    std::string old_key;  // prefix and number without leading zeros: what gates and copies share
    int64_t p = 0, s = 0; // primary and secondary scan coordinates, direction signs applied
    int64_t scan = 0;     // place in its Document's ring
    bool done = false;
    std::string renamed; // the new Reference ID once renumbered
};

std::string number_key(std::string_view prefix, std::string_view digits) {
    size_t z = 0;
    while (z + 1 < digits.size() && digits[z] == '0') {
        ++z;
    }
    std::string k(prefix);
    k += '\x01';
    k += digits.substr(z);
    return k;
}

std::string used_key(const std::string& prefix, long long n, char gate) {
    std::string k = prefix;
    k += '\x01';
    k += std::to_string(n);
    k += '\x01';
    k += gate;
    return k;
}

// The position the scan orders by, turned into (primary, secondary) so that smaller comes first.
void place_entry(Entry& e, const ResequenceOptions& o) {
    const Node& n = node(e.c);
    int64_t x, y;
    if (o.insertion_point && n.link != model::kNone) {
        x = node(n.link).box.x1;
        y = node(n.link).box.y1;
    } else {
        x = (int64_t{n.box.x1} + n.box.x2) / 2;
        y = (int64_t{n.box.y1} + n.box.y2) / 2;
    }
    bool top = o.corner == 0 || o.corner == 1;
    bool left = o.corner == 0 || o.corner == 2;
    int64_t along_x = left ? x : -x; // y grows upwards: the top row has the largest y
    int64_t along_y = top ? -y : y;
    e.p = o.columns ? along_x : along_y;
    e.s = o.columns ? along_y : along_x;
}

std::string with_reference(Ref c, const std::string& ref) {
    std::string params = model::component_parameters(c);
    std::vector<std::string> fields;
    size_t from = 0;
    for (;;) {
        size_t sep = params.find('\x7F', from);
        fields.push_back(params.substr(from, sep == std::string::npos ? std::string::npos : sep - from));
        if (sep == std::string::npos) {
            break;
        }
        from = sep + 1;
    }
    if (fields.size() < 2) {
        fields.resize(2);
    }
    fields[1] = ref;
    std::string joined;
    for (size_t i = 0; i < fields.size(); ++i) {
        if (i > 0) {
            joined += '\x7F';
        }
        joined += fields[i];
    }
    return joined;
}

// A sequence of values that can only be taken out, answering "the first place at or after `from` whose
// value is below `limit`" in logarithmic time.
class FirstBelow {
  public:
    static constexpr size_t kNone = SIZE_MAX;
    static constexpr int64_t kGone = INT64_MAX;

    FirstBelow() = default;
    explicit FirstBelow(std::vector<int64_t> v) : n_(v.size()) {
        while (size_ < n_) {
            size_ <<= 1;
        }
        tree_.assign(2 * size_, kGone);
        std::copy(v.begin(), v.end(), tree_.begin() + static_cast<std::ptrdiff_t>(size_));
        for (size_t i = size_; i-- > 1;) {
            tree_[i] = std::min(tree_[2 * i], tree_[2 * i + 1]);
        }
    }
    void remove(size_t i) {
        i += size_;
        tree_[i] = kGone;
        for (i >>= 1; i > 0; i >>= 1) {
            tree_[i] = std::min(tree_[2 * i], tree_[2 * i + 1]);
        }
    }
    size_t first(size_t from, int64_t limit) const {
        return from >= n_ ? kNone : first(1, 0, size_, from, limit);
    }

  private:
    size_t first(size_t node, size_t lo, size_t hi, size_t from, int64_t limit) const {
        if (hi <= from || tree_[node] >= limit) {
            return kNone;
        }
        if (hi - lo == 1) {
            return lo;
        }
        size_t mid = (lo + hi) / 2;
        size_t left = first(2 * node, lo, mid, from, limit);
        return left != kNone ? left : first(2 * node + 1, mid, hi, from, limit);
    }

    size_t n_ = 0, size_ = 1;
    std::vector<int64_t> tree_;
};

class Run {
  public:
    Run(std::vector<model::Document*> set, const ResequenceOptions& o) : set_(std::move(set)), o_(o) {
        if (o_.step < 1) {
            o_.step = 1;
        }
        if (o_.start < 0) {
            o_.start = 0;
        }
        used_.resize(set_.size());
    }

    void collect() {
        for (size_t d = 0; d < set_.size(); ++d) {
            int64_t scan = 0;
            for (Ref r : model::items_in(set_[d]->ring())) {
                if (node(r).item_kind() != model::kComponent) {
                    continue;
                }
                Entry e;
                e.doc = d;
                e.c = r;
                e.parts = split_reference(model::ComponentField(r, 1));
                e.scan = scan++;
                if (!e.parts.ok) {
                    continue;
                }
                e.old_key = number_key(e.parts.prefix, e.parts.number);
                place_entry(e, o_);
                size_t i = entries_.size();
                partners_[e.old_key].push_back(i);
                if (by_prefix_.find(e.parts.prefix) == by_prefix_.end()) {
                    prefixes_.push_back(e.parts.prefix);
                }
                by_prefix_[e.parts.prefix].push_back(i);
                entries_.push_back(std::move(e));
            }
        }
    }

    // Numbers the Documents `scanned` (indices into the set, in sheet order) prefix by prefix.
    void number(const std::vector<size_t>& scanned, const std::vector<int>& sheets) {
        for (const std::string& prefix : prefixes_) {
            long long next = o_.start;
            const std::vector<size_t>& all = by_prefix_[prefix];
            for (size_t d : scanned) {
                if (o_.hierarchical && o_.restart) {
                    next = o_.start + o_.sheet_step * (sheets[d] - 1);
                }
                std::vector<size_t> cand;
                for (size_t i : all) {
                    if (entries_[i].doc == d && !entries_[i].done) {
                        cand.push_back(i);
                    }
                }
                pick_all(cand, next);
            }
        }
    }

    // Writes the new Reference IDs with their undo records, measures the "&1" Texts, sorts again.
    int apply() {
        int renamed = 0;
        std::vector<std::vector<size_t>> per_doc(set_.size());
        for (size_t i = 0; i < entries_.size(); ++i) {
            if (!entries_[i].renamed.empty()) {
                per_doc[entries_[i].doc].push_back(i);
            }
        }
        for (size_t d = 0; d < set_.size(); ++d) {
            if (per_doc[d].empty()) {
                continue;
            }
            model::Document& doc = *set_[d];
            int number = 0;
            for (size_t i : per_doc[d]) {
                const Entry& e = entries_[i];
                Ref head = model::member_ring(e.c);
                if (head == model::kNone) {
                    continue;
                }
                Ref chain = model::make_chain(with_reference(e.c, e.renamed));
                if (chain == model::kNone) {
                    continue; // the pool ran out: this one keeps its Reference ID
                }
                Ref old = node(head).link;
                if (RecordModified(doc, head, number++) == 0) {
                    model::release_chain_nodes(old); // nothing holds the old Parameters for an undo
                }
                node(head).link = chain;
                ++renamed;
                for (Ref m : model::items_in(head)) {
                    if (node(m).item_kind() == model::kText && model::GetText(m) == "&1") {
                        RecordModified(doc, m, number++);
                        display::measure_text_item(m);
                    }
                }
            }
            if (number > 0) {
                doc.mark_modified();
            }
            resort(doc, per_doc[d]);
        }
        return renamed;
    }

  private:
    // Every candidate of one prefix in one Document, by repeated selection of the first in scan order.
    //
    // Sorted by primary coordinate, the candidates fall into clusters wherever two neighbours are more
    // than the tie apart.  Every member of a lower cluster comes strictly before every member of a higher
    // one, so the first in scan order is always in the lowest cluster that still has candidates (once the
    // selection holds a member of it no other cluster can take its place, and the first member met
    // replaces any other).  Within a cluster whose whole span is inside the tie, the scan order compares
    // the secondary coordinate alone, a strict order: the picks are that order, the earlier in the ring first
    // among equals, exactly as repeated selection gives them.  Only a cluster whose span exceeds the tie
    // (a chain of near ties) needs the selection itself.  Partners renumbered along the way only drop out.
    void pick_all(std::vector<size_t>& cand, long long& next) {
        std::stable_sort(cand.begin(), cand.end(), [&](size_t a, size_t b) { return entries_[a].p < entries_[b].p; });
        size_t lo = 0;
        while (lo < cand.size()) {
            size_t hi = lo + 1;
            while (hi < cand.size() && entries_[cand[hi]].p - entries_[cand[hi - 1]].p <= kTie) {
                ++hi;
            }
            std::vector<size_t> cluster(cand.begin() + static_cast<std::ptrdiff_t>(lo),
                                        cand.begin() + static_cast<std::ptrdiff_t>(hi));
            std::sort(cluster.begin(), cluster.end(),
                      [&](size_t a, size_t b) { return entries_[a].scan < entries_[b].scan; });
            if (entries_[cand[hi - 1]].p - entries_[cand[lo]].p <= kTie) {
                std::stable_sort(cluster.begin(), cluster.end(),
                                 [&](size_t a, size_t b) { return entries_[a].s < entries_[b].s; });
                for (size_t i : cluster) {
                    if (!entries_[i].done) {
                        assign(i, next);
                        next += o_.step;
                    }
                }
            } else {
                select_each(cluster, next);
            }
            lo = hi;
        }
    }

    // Repeated selection over a cluster that chains near ties.  Each pick is the walk over what is left in
    // scan order, keeping the last Component that comes before the one kept; the walk jumps from one
    // change to the next instead of looking at every Component.  What comes before `b` is either more than
    // the tie lower (the first of those is found over all primary coordinates) or within the tie and
    // further left (found in each of the few primary coordinates within the tie).
    void select_each(const std::vector<size_t>& cluster, long long& next) {
        std::vector<int64_t> prim(cluster.size());
        std::vector<int64_t> values;
        for (size_t k = 0; k < cluster.size(); ++k) {
            prim[k] = entries_[cluster[k]].p;
            values.push_back(prim[k]);
        }
        std::sort(values.begin(), values.end());
        values.erase(std::unique(values.begin(), values.end()), values.end());
        struct Column {
            std::vector<size_t> at; // places in the cluster, ascending
            FirstBelow secondary;
        };
        std::vector<Column> columns(values.size());
        std::vector<size_t> column_of(cluster.size());
        std::vector<std::vector<int64_t>> seconds(values.size());
        for (size_t k = 0; k < cluster.size(); ++k) {
            size_t c = static_cast<size_t>(std::lower_bound(values.begin(), values.end(), prim[k]) - values.begin());
            column_of[k] = c;
            columns[c].at.push_back(k);
            seconds[c].push_back(entries_[cluster[k]].s);
        }
        for (size_t c = 0; c < columns.size(); ++c) {
            columns[c].secondary = FirstBelow(std::move(seconds[c]));
        }
        FirstBelow primary(prim);
        auto remove = [&](size_t k) {
            primary.remove(k);
            Column& col = columns[column_of[k]];
            col.secondary.remove(
                static_cast<size_t>(std::lower_bound(col.at.begin(), col.at.end(), k) - col.at.begin()));
        };
        // The first place at or after `from` whose primary coordinate is below `limit`, dropping the
        // Components renumbered meanwhile as partners.
        auto first_lower = [&](size_t from, int64_t limit) {
            for (;;) {
                size_t k = primary.first(from, limit);
                if (k == FirstBelow::kNone || !entries_[cluster[k]].done) {
                    return k;
                }
                remove(k);
            }
        };
        auto first_left = [&](size_t c, size_t from, int64_t limit) {
            Column& col = columns[c];
            for (;;) {
                size_t i = col.secondary.first(
                    static_cast<size_t>(std::lower_bound(col.at.begin(), col.at.end(), from) - col.at.begin()), limit);
                if (i == FirstBelow::kNone) {
                    return FirstBelow::kNone;
                }
                size_t k = col.at[i];
                if (!entries_[cluster[k]].done) {
                    return k;
                }
                remove(k);
            }
        };
        for (;;) {
            size_t b = first_lower(0, FirstBelow::kGone);
            if (b == FirstBelow::kNone) {
                return;
            }
            for (;;) {
                const Entry& held = entries_[cluster[b]];
                size_t c = first_lower(b + 1, held.p - kTie);
                size_t lo =
                    static_cast<size_t>(std::lower_bound(values.begin(), values.end(), held.p - kTie) - values.begin());
                for (size_t v = lo; v < values.size() && values[v] <= held.p + kTie; ++v) {
                    c = std::min(c, first_left(v, b + 1, held.s));
                }
                if (c == FirstBelow::kNone) {
                    break;
                }
                b = c;
            }
            assign(cluster[b], next);
            next += o_.step;
            remove(b);
        }
    }

    void rename(size_t i, long long n) {
        Entry& e = entries_[i];
        e.done = true;
        used_[e.doc].insert(used_key(e.parts.prefix, n, e.parts.gate));
        std::string id = e.parts.prefix + std::to_string(n);
        if (e.parts.gate != 0) {
            id += e.parts.gate;
        }
        id += e.parts.suffix;
        // A Reference ID the field cannot hold is left as it was.
        if (id.size() <= kNameLimit) {
            e.renamed = std::move(id);
        }
    }

    void assign(size_t i, long long n) {
        rename(i, n);
        const Entry& e = entries_[i];
        if (!o_.annotate && e.parts.gate == 0) {
            return;
        }
        for (size_t o : partners_[e.old_key]) {
            const Entry& other = entries_[o];
            if (o == i || other.done ||
                used_[other.doc].count(used_key(other.parts.prefix, n, other.parts.gate)) != 0) {
                continue;
            }
            rename(o, n);
        }
    }

    // The renumbered Components of one Document move to their sorted places, in ring order.
    void resort(model::Document& doc, const std::vector<size_t>& renamed) {
        Ref aside = model::new_ring();
        if (aside == model::kNone) {
            for (size_t i : renamed) {
                model::sort_component(entries_[i].c);
            }
            return;
        }
        for (size_t i : renamed) {
            model::MoveBefore(entries_[i].c, aside);
        }
        model::ComponentOrder order(doc.ring());
        for (size_t i : renamed) {
            order.insert(entries_[i].c);
        }
        model::ReleaseNode(aside);
    }

    std::vector<model::Document*> set_;
    ResequenceOptions o_;
    std::vector<Entry> entries_;
    std::vector<std::string> prefixes_;
    std::unordered_map<std::string, std::vector<size_t>> by_prefix_;
    std::unordered_map<std::string, std::vector<size_t>> partners_;
    std::vector<std::unordered_set<std::string>> used_;
};

} // namespace

int sheet_number(std::string_view file_name) {
    std::string_view base = base_name(file_name);
    size_t dot = base.rfind('.');
    if (dot == std::string_view::npos) {
        return -1;
    }
    std::string ext(base.substr(dot + 1));
    std::transform(ext.begin(), ext.end(), ext.begin(), upper);
    if (ext == "PCB") {
        return 0;
    }
    if (ext == "SCH") {
        return 1;
    }
    if (ext.size() == 3 && ext[0] == 'S' && ext[1] == 'H' && is_digit(ext[2])) {
        return ext[2] - '0';
    }
    if (ext.size() == 3 && ext[0] == 'S' && is_digit(ext[1]) && is_digit(ext[2])) {
        return (ext[1] - '0') * 10 + (ext[2] - '0');
    }
    return -1;
}

std::vector<model::Document*> sheet_set(const model::Document& current) {
    std::vector<model::Document*> set;
    std::string name = current.name();
    if (sheet_number(name) < 0) {
        return set;
    }
    std::string stem = stem_of(name);
    for (auto& d : model::M().docs) {
        std::string other = d->name();
        if (sheet_number(other) >= 0 && stem_of(other) == stem) {
            set.push_back(d.get());
        }
    }
    std::stable_sort(set.begin(), set.end(), [](const model::Document* a, const model::Document* b) {
        return sheet_number(a->name()) < sheet_number(b->name());
    });
    return set;
}

ReferenceParts split_reference(std::string_view ref) {
    ReferenceParts out;
    size_t i = 0;
    while (i < ref.size() && is_letter(ref[i])) {
        ++i;
    }
    size_t d = i;
    while (d < ref.size() && is_digit(ref[d])) {
        ++d;
    }
    if (i == 0 || d == i) {
        return out;
    }
    out.prefix = std::string(ref.substr(0, i));
    out.number = std::string(ref.substr(i, d - i));
    if (d < ref.size() && ref[d] >= 'a' && ref[d] <= 'z') {
        out.gate = ref[d++];
    }
    if (d < ref.size() && ref[d] != '-') {
        return out;
    }
    out.suffix = std::string(ref.substr(d));
    out.ok = true;
    return out;
}

int resequence(std::vector<model::Document*> set, model::Document& current, const ResequenceOptions& options) {
    int current_sheet = sheet_number(current.name());
    if (current_sheet < 0) {
        return 0;
    }
    if (std::find(set.begin(), set.end(), &current) == set.end()) {
        set.push_back(&current);
    }
    std::vector<int> sheets;
    for (const model::Document* d : set) {
        sheets.push_back(sheet_number(d->name()));
    }
    std::vector<size_t> scanned;
    if (options.hierarchical) {
        std::vector<size_t> order;
        for (size_t d = 0; d < set.size(); ++d) {
            if (sheets[d] >= 1) {
                order.push_back(d);
            }
        }
        std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return sheets[a] < sheets[b]; });
        scanned = order;
    }
    if (scanned.empty()) {
        scanned.push_back(static_cast<size_t>(std::find(set.begin(), set.end(), &current) - set.begin()));
    }
    Run run(std::move(set), options);
    run.collect();
    run.number(scanned, sheets);
    return run.apply();
}

} // namespace trazel::edit
