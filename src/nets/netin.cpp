// Netlist input: the line kinds of the two layouts, nodes given their Signals through a Reference ID
// index (or the plain walk), Components placed, compared, updated and replaced, and the log.
#include "nets/netin.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "edit/edit_items.h"
#include "edit/place_symbols.h"
#include "edit/undo.h"
#include "library/library.h"
#include "model/line_reader.h"

namespace trazel::nets {

using model::kNone;
using model::node;

namespace {

constexpr Coord kStep = 6554;          // 0.1 inch: the placement cursor's gap and row
constexpr Coord kEmptyWidth = 655360;  // an empty Document places across 10 inches
constexpr size_t kFieldBytes = 28;     // what one Parameters field (and a pin name) holds
constexpr size_t kReferenceMax = 14;   // Reference ID and net name columns of the column layout
constexpr size_t kNodeColumn = 16;     // where nodes and component fields start
constexpr size_t kContinuationLast = 26;

struct MessageText {
    const char* text;
    const char* label;
};
constexpr std::array<MessageText, 16> kMessages{{
    {"Signal/layer match", "Name:  "},
    {"Pin not found", "Name:  "},
    {"Component not found", "Name:  "},
    {"Component name invalid", "Input: "},
    {"Signal name invalid", "Input: "},
    {"Input line invalid", "Data:  "},
    {"Crosslinked pin", "Name:  "},
    {"Pattern not found", "Name:  "},
    {"Pattern mismatch", "Input: "},
    {"Component replaced", "Input: "},
    {"Type/value mismatch", "Input: "},
    {"Type/value replaced", "Input: "},
    {"Modifier mismatch", "Input: "},
    {"Modifier replaced", "Input: "},
    {"Unlinked pin", "Name:  "},
    {"Unused component", "Name:  "},
}};

bool blank(char c) {
    return static_cast<unsigned char>(c) <= ' ';
}

std::string_view trim_right(std::string_view s) {
    while (!s.empty() && blank(s.back())) {
        s.remove_suffix(1);
    }
    return s;
}

std::string_view trim(std::string_view s) {
    s = trim_right(s);
    while (!s.empty() && blank(s.front())) {
        s.remove_prefix(1);
    }
    return s;
}

// The blank-separated tokens of `s` from column `from`.
std::vector<std::string_view> tokens(std::string_view s, size_t from) {
    std::vector<std::string_view> out;
    size_t i = std::min(from, s.size());
    while (i < s.size()) {
        while (i < s.size() && blank(s[i])) {
            ++i;
        }
        size_t start = i;
        while (i < s.size() && !blank(s[i])) {
            ++i;
        }
        if (i > start) {
            out.push_back(s.substr(start, i - start));
        }
    }
    return out;
}

void pad_to(std::string& s, size_t column) {
    if (s.size() < column) {
        s.append(column - s.size(), ' ');
    } else {
        s += ' '; // an overlong reference still stays apart from the message
    }
}

bool upper_letter(char c) {
    return c >= 'A' && c <= 'Z';
}

// One trailing gate letter "a" to "t" off a Reference ID (U1a and U1b both answer to U1).
std::string_view without_gate(std::string_view ref) {
    if (ref.size() >= 2 && ref.back() >= 'a' && ref.back() <= 't') {
        ref.remove_suffix(1);
    }
    return ref;
}

// A Reference ID a Component can carry and a node can name: an upper-case letter first, at most one
// field long, nothing that separates fields or ends text.
bool valid_reference(std::string_view ref) {
    if (ref.empty() || ref.size() > kFieldBytes || !upper_letter(ref[0])) {
        return false;
    }
    for (char c : ref) {
        if (blank(c) || c == '\x7F' || static_cast<unsigned char>(c) == 0xFF) {
            return false;
        }
    }
    return true;
}

// A text as one Parameters field: the field separator dropped, at most 28 bytes.
std::string field_text(std::string_view s) {
    std::string out;
    for (char c : s) {
        if (c != '\x7F' && out.size() < kFieldBytes) {
            out += c;
        }
    }
    return out;
}

// The pin a Pad answers to: its number (0 for none), or its name.
std::string pad_pin_key(Ref pad) {
    uint32_t pin = node(pad).pad.pin;
    if (pin < static_cast<uint32_t>(model::kPinNumberLimit)) {
        return std::to_string(pin);
    }
    return model::pin_text(pad);
}

// The pin a node names: digits are a number, compared with Pad numbers; anything else, and digits too
// large for a pin number, is a name, compared with Pad names as a Pad stores them (28 bytes).
std::string node_pin_key(std::string_view pin) {
    bool digits = !pin.empty();
    for (char c : pin) {
        digits = digits && c >= '0' && c <= '9';
    }
    if (digits) {
        uint32_t v = 0;
        for (size_t i = 0; i < pin.size() && v < static_cast<uint32_t>(model::kPinNumberLimit); ++i) {
            v = v * 10 + static_cast<uint32_t>(pin[i] - '0');
        }
        if (v < static_cast<uint32_t>(model::kPinNumberLimit)) {
            return std::to_string(v);
        }
    }
    return std::string(pin.substr(0, kFieldBytes));
}

bool through_hole(const model::Node& pad) {
    int type = pad.size & 7;
    return type >= 1 && type <= 3;
}

// The direction from the pad named "1" or "K" to the pad named "2" or "A" of a member ring, as an angle;
// false when either is missing or both stand on one point.
bool polarity(Ref head, model::Angle& out) {
    Ref first = kNone, second = kNone;
    for (Ref m : model::items_in(head)) {
        if (node(m).item_kind() != model::kPad) {
            continue;
        }
        std::string pin = model::pin_text(m);
        if (first == kNone && (pin == "1" || pin == "K")) {
            first = m;
        } else if (second == kNone && (pin == "2" || pin == "A")) {
            second = m;
        }
    }
    if (first == kNone || second == kNone) {
        return false;
    }
    double dx = static_cast<double>(node(second).pad.x0) - node(first).pad.x0;
    double dy = static_cast<double>(node(second).pad.y0) - node(first).pad.y0;
    if (dx == 0 && dy == 0) {
        return false;
    }
    long turn = std::lround(std::atan2(dy, dx) * 32768.0 / 3.14159265358979323846);
    out = static_cast<model::Angle>(static_cast<uint32_t>(turn) & 0xFFFF);
    return true;
}

bool sorted_ring(Ref ring) {
    std::array<char, 128> prev{};
    bool first = true;
    for (Ref r : model::items_in(ring)) {
        if (node(r).item_kind() != model::kComponent) {
            continue;
        }
        std::array<char, 128> key = model::ComponentKey(r);
        if (!first && std::memcmp(prev.data(), key.data(), key.size()) > 0) {
            return false;
        }
        prev = key;
        first = false;
    }
    return true;
}

// One Component entry of a file.
struct Entry {
    std::string ref, pattern, value, modifier;
    bool has_value = true;    // "?" in the type/value column says nothing
    bool has_modifier = true; // the bracketed layout carries no modifier
    long line = 0;
};

class NetlistIn {
  public:
    NetlistIn(NetState& s, const library::LibrarySet& libs, const NetlistInOptions& o, Log& log)
        : s_(s), doc_(*s.doc), libs_(libs), o_(o), log_(log), plain_(s.plain) {
    }

    NetlistInResult run(const std::vector<std::string>& files) {
        edit::purge_undo(doc_);
        edit::purge_redo(doc_);
        log_.line(std::string(kNetlistInLogWidth, '-'));
        log_.line("INPUT       WARNING/ERROR           DETAILED");
        log_.line("REFERENCE   MESSAGE                 DESCRIPTION");
        log_.line(std::string(kNetlistInLogWidth, '-'));
        log_.line("");
        clear_all_marks(s_);
        detach();
        start_cursor();
        if (!plain_) {
            build_index();
        }
        for (const std::string& f : files) {
            read_file(f);
        }
        finish();
        s_.index.reset();
        doc_.mark_modified();
        return r_;
    }

  private:
    // --- The log ---------------------------------------------------------------------------------

    void message(NetlistMessage m, std::string_view detail, std::string_view reference = {}, long line = -1) {
        log_.line(netlist_message_line(m, detail, reference, line < 0 ? line_no_ : line));
        ++r_.messages;
    }

    // --- Before the files --------------------------------------------------------------------------

    // Signals off every track, arc and pad that a netlist may name; a board's through-hole pads back on
    // the pad master layer, where a layer match of an earlier run may have put them.
    void detach() {
        bool schematic = model::IsSchematic(doc_.setup);
        model::walk_tree(doc_.ring(), [&](Ref r, int) {
            model::Node& n = node(r);
            uint8_t k = n.item_kind();
            if ((k == model::kLine && n.size != 0) || k == model::kArc) {
                model::DetachSignal(r);
            } else if (k == model::kPad && (n.layer == 0 || (n.size & 7) != 0)) {
                model::DetachSignal(r);
                if (!schematic && (n.size & 7) <= 2) {
                    n.layer = 0;
                }
            }
        });
    }

    void start_cursor() {
        Coord x1 = 0, y1 = 0, x2 = 0, y2 = 0;
        if (model::members_box(doc_.ring(), x1, y1, x2, y2)) {
            left_ = x1;
            right_ = x2;
            at_ = Point{x1, model::clamp_coord(int64_t{y2} - kStep)};
        } else {
            left_ = 0;
            right_ = kEmptyWidth;
            at_ = Point{0, -kStep};
        }
    }

    // --- Finding Components and pins -----------------------------------------------------------

    struct Found {
        std::vector<Ref> real;
        bool placeholder = false;
    };

    bool is_placeholder(Ref c) const {
        return placeholder_set_.count(c) != 0;
    }

    void build_index() {
        for (Ref r : model::items_in(doc_.ring())) {
            if (node(r).item_kind() == model::kComponent && !node(r).hidden()) {
                index_add(r);
            }
        }
        for (int l = 0; l < 256; ++l) {
            const model::LayerEntry& e = doc_.setup.layers[l];
            if (e.in_use()) {
                layers_.emplace(std::string(e.name, strnlen(e.name, sizeof e.name)), l);
            }
        }
    }

    void index_add(Ref c) {
        if (plain_) {
            return;
        }
        std::string ref = model::ComponentField(c, 1);
        if (ref.empty()) {
            return;
        }
        std::string_view gate = without_gate(ref);
        by_ref_[ref].push_back(c);
        if (gate.size() != ref.size()) {
            by_ref_[std::string(gate)].push_back(c);
        }
    }

    void index_remove(Ref c) {
        pins_.erase(c);
        sort_seq_.erase(c);
        if (plain_) {
            return;
        }
        std::string ref = model::ComponentField(c, 1);
        for (std::string key : {ref, std::string(without_gate(ref))}) {
            auto it = by_ref_.find(key);
            if (it != by_ref_.end()) {
                auto& v = it->second;
                v.erase(std::remove(v.begin(), v.end(), c), v.end());
            }
        }
    }

    // The top-level Components answering to `ref`, in ring order; placeholders only say that one exists.
    void find(std::string_view ref, Found& f) {
        f.real.clear();
        f.placeholder = false;
        auto take = [&](Ref r) {
            if (is_placeholder(r)) {
                f.placeholder = true;
            } else {
                f.real.push_back(r);
            }
        };
        if (!plain_) {
            auto it = by_ref_.find(std::string(ref));
            if (it != by_ref_.end()) {
                for (Ref r : it->second) {
                    take(r);
                }
            }
            return;
        }
        for (Ref r : model::items_in(doc_.ring())) {
            const model::Node& n = node(r);
            if (n.item_kind() != model::kComponent || (n.hidden() && !is_placeholder(r))) {
                continue;
            }
            std::string own = model::ComponentField(r, 1);
            if (!own.empty() && (own == ref || without_gate(own) == ref)) {
                take(r);
            }
        }
    }

    // The member Pads of `c` whose pin is `key`, in ring order.
    const std::vector<Ref>& pads(Ref c, const std::string& key) {
        static const std::vector<Ref> kNoPads;
        if (plain_) {
            scratch_pads_.clear();
            for (Ref m : model::items_in(model::member_ring(c))) {
                if (node(m).item_kind() == model::kPad && pad_pin_key(m) == key) {
                    scratch_pads_.push_back(m);
                }
            }
            return scratch_pads_;
        }
        auto [it, fresh] = pins_.try_emplace(c);
        if (fresh) {
            for (Ref m : model::items_in(model::member_ring(c))) {
                if (node(m).item_kind() == model::kPad) {
                    it->second[pad_pin_key(m)].push_back(m);
                }
            }
        }
        auto p = it->second.find(key);
        return p == it->second.end() ? kNoPads : p->second;
    }

    int layer_named(std::string_view name) const {
        if (!plain_) {
            auto it = layers_.find(std::string(name));
            return it == layers_.end() ? -1 : it->second;
        }
        for (int l = 0; l < 256; ++l) {
            const model::LayerEntry& e = doc_.setup.layers[l];
            if (e.in_use() && name == std::string_view(e.name, strnlen(e.name, sizeof e.name))) {
                return l;
            }
        }
        return -1;
    }

    // A hidden Component standing for a missing one until the end, so that it is reported once.
    void add_placeholder(std::string_view ref) {
        Ref p = model::make_component(doc_.ring(), 0, 0, std::string("\x7F") + std::string(ref));
        if (p == kNone) {
            return;
        }
        node(p).kind |= model::kHiddenFlag;
        placeholders_.push_back(p);
        placeholder_set_.insert(p);
        index_add(p);
    }

    // --- Reading -------------------------------------------------------------------------------

    bool next_line(std::string& out) {
        if (held_) {
            held_ = false;
            out = std::move(held_line_);
            return true;
        }
        int n = in_.ReadLine();
        if (n == 0) {
            return false;
        }
        ++line_no_;
        out = n < 0 ? std::string() : std::string(in_.line());
        return true;
    }
    // The line goes back to be read again (its number stays the current one).
    void put_back(std::string line) {
        held_line_ = std::move(line);
        held_ = true;
    }

    void read_file(const std::string& path) {
        log_.line("");
        log_.line(path + ":");
        log_.line("");
        line_no_ = 0;
        held_ = false;
        if (!in_.open_file(path)) {
            r_.unreadable.push_back(path);
            return;
        }
        std::string l;
        while (next_line(l)) {
            dispatch(l);
        }
        in_.close();
    }

    void dispatch(const std::string& line) {
        std::string_view t = trim_right(line);
        if (t == "[") {
            bracket_component();
            return;
        }
        if (t == "(") {
            bracket_net();
            return;
        }
        Entry e;
        if (component_line(t, true, e)) {
            component(e);
            return;
        }
        // A net line of short nodes also fits the narrow component columns: it goes first when every
        // token after the name is a node.
        int net = net_line(t);
        if (net == 2) {
            column_net(t);
        } else if (component_line(t, false, e)) {
            component(e);
        } else if (net == 1) {
            column_net(t);
        }
    }

    // 0: no net line; 1: a net line; 2: one whose every token is a well-formed node.
    static int net_line(std::string_view t) {
        if (t.empty() || blank(t[0])) {
            return 0;
        }
        size_t e = 0;
        while (e < t.size() && !blank(t[e])) {
            ++e;
        }
        if (e > kReferenceMax) {
            return 0;
        }
        for (size_t i = e; i < std::min(kNodeColumn, t.size()); ++i) {
            if (!blank(t[i])) {
                return 0;
            }
        }
        bool nodes = true;
        for (std::string_view tok : tokens(t, kNodeColumn)) {
            if (!upper_letter(tok[0])) {
                return 0;
            }
            std::string_view ref, pin;
            nodes = nodes && split_node(tok, ref, pin);
        }
        return nodes ? 2 : 1;
    }

    static bool split_node(std::string_view tok, std::string_view& ref, std::string_view& pin) {
        size_t sep = tok.find_first_of("-,");
        if (sep == std::string_view::npos || sep + 1 >= tok.size()) {
            return false;
        }
        ref = tok.substr(0, sep);
        pin = tok.substr(sep + 1);
        return valid_reference(ref);
    }

    // The narrow (fields at 0, 16, 32, 48) and wide (0, 16, 42, 68, the parts list) component lines.
    bool component_line(std::string_view t, bool wide, Entry& e) const {
        const size_t step = wide ? 26 : 16, width = step - 1;
        const size_t f2 = kNodeColumn + step, f3 = f2 + step, f4 = f3 + step;
        if (t.size() <= f4 || t.size() > (wide ? 118u : 79u) || !upper_letter(t[0])) {
            return false;
        }
        size_t end = 0;
        while (end < t.size() && !blank(t[end])) {
            ++end;
        }
        if (end > kReferenceMax) {
            return false;
        }
        for (size_t i = end; i < kNodeColumn; ++i) {
            if (!blank(t[i])) {
                return false;
            }
        }
        if (blank(t[kNodeColumn]) || blank(t[f2])) {
            return false;
        }
        for (size_t c : {f2, f3, f4}) {
            if (!blank(t[c - 2]) || !blank(t[c - 1])) {
                return false;
            }
        }
        e.ref = std::string(t.substr(0, end));
        e.pattern = field_text(trim_right(t.substr(kNodeColumn, width)));
        e.value = field_text(trim_right(t.substr(f2, width)));
        e.modifier = field_text(trim_right(t.substr(f3, width)));
        e.has_value = e.value != "?";
        e.has_modifier = true;
        e.line = line_no_;
        return true;
    }

    // "[", then the Reference ID, the pattern and the type/value on lines of their own, three lines kept
    // free and "]".
    void bracket_component() {
        long open_line = line_no_;
        std::array<std::string, 3> data;
        long ref_line = 0;
        std::string l;
        for (size_t i = 0; i < data.size(); ++i) {
            bool more = next_line(l);
            std::string_view t = more ? trim(l) : std::string_view("]");
            if (t == "]" || t == "[" || t == "(") {
                if (more && t != "]") {
                    put_back(l);
                }
                message(kInputLineInvalid, "[", {}, open_line);
                return;
            }
            if (i == 0) {
                ref_line = line_no_;
            }
            data[i] = std::string(t);
        }
        for (int i = 0; i < 4; ++i) {
            if (!next_line(l)) {
                break;
            }
            std::string_view t = trim(l);
            if (t == "]") {
                break;
            }
            if (t == "[" || t == "(") {
                message(kInputLineInvalid, t);
                put_back(l);
                break;
            }
            if (i == 3 && !t.empty()) {
                message(kInputLineInvalid, t); // where "]" belongs
            }
        }
        if (!valid_reference(data[0])) {
            message(kComponentNameInvalid, data[0], {}, ref_line);
            return;
        }
        Entry e;
        e.ref = data[0];
        e.pattern = field_text(data[1]);
        e.value = field_text(data[2]);
        e.has_value = e.value != "?";
        e.has_modifier = false;
        e.line = ref_line;
        component(e);
    }

    // "(", the Signal name, one node a line, ")".
    void bracket_net() {
        std::string l;
        if (!next_line(l)) {
            return;
        }
        std::string_view t = trim(l);
        if (t == ")" || t == "[" || t == "(") {
            message(kSignalNameInvalid, "");
            if (t != ")") {
                put_back(l);
            }
            return;
        }
        begin_net(t);
        while (next_line(l)) {
            t = trim(l);
            if (t == ")") {
                break;
            }
            if (t == "[" || t == "(") {
                message(kInputLineInvalid, t); // the net was not closed
                put_back(l);
                break;
            }
            for (std::string_view tok : tokens(t, 0)) {
                node_token(tok);
            }
        }
    }

    // A name at column 0 with its nodes from column 16, continued on lines whose first text starts in
    // columns 16 to 26.
    void column_net(std::string_view t) {
        std::vector<std::string_view> first = tokens(t, 0);
        begin_net(first[0]);
        for (std::string_view tok : tokens(t, kNodeColumn)) {
            node_token(tok);
        }
        std::string l;
        while (next_line(l)) {
            std::string_view c = trim_right(l);
            size_t col = 0;
            while (col < c.size() && blank(c[col])) {
                ++col;
            }
            if (c.empty() || col < kNodeColumn || col > kContinuationLast) {
                put_back(l);
                break;
            }
            for (std::string_view tok : tokens(c, col)) {
                node_token(tok);
            }
        }
    }

    // --- Nets ----------------------------------------------------------------------------------

    void begin_net(std::string_view name) {
        net_name_ = std::string(name);
        net_signal_ = kNone;
        net_layer_ = -1;
        net_ok_ = !name.empty();
        // A "," would end the name where the Data file reads it back.
        for (char c : name) {
            net_ok_ = net_ok_ && !blank(c) && c != ',' && static_cast<unsigned char>(c) != 0xFF;
        }
        if (!net_ok_) {
            message(kSignalNameInvalid, name);
            return;
        }
        net_layer_ = layer_named(name);
        if (net_layer_ >= 0) {
            message(kSignalLayerMatch, name);
        }
    }

    void node_token(std::string_view tok) {
        if (!net_ok_) {
            return;
        }
        std::string_view ref, pin;
        if (!split_node(tok, ref, pin)) {
            message(kComponentNameInvalid, tok);
            return;
        }
        ++r_.nodes;
        find(ref, found_);
        if (found_.real.empty()) {
            if (!found_.placeholder) {
                message(kComponentNotFound, ref);
                add_placeholder(ref);
            }
            return;
        }
        std::string key = node_pin_key(pin);
        std::string name = std::string(ref) + "-" + std::string(pin);
        bool any = false;
        for (Ref c : found_.real) {
            for (Ref p : pads(c, key)) {
                any = true;
                give_signal(p, name);
            }
        }
        if (!any) {
            message(kPinNotFound, name);
        }
    }

    void give_signal(Ref pad, std::string_view name) {
        if (net_signal_ == kNone) {
            net_signal_ = model::find_signal(net_name_, true);
            if (net_signal_ == kNone) {
                return;
            }
        }
        Ref old = model::item_signal(pad);
        if (old != net_signal_) {
            if (old != kNone) {
                message(kCrosslinkedPin, name);
            }
            model::AttachSignal(pad, net_name_);
        }
        if (net_layer_ >= 0 && through_hole(node(pad))) {
            node(pad).layer = static_cast<uint8_t>(net_layer_);
        }
    }

    // --- Components ----------------------------------------------------------------------------

    void component(const Entry& in) {
        Entry e = in;
        e.ref = std::string(without_gate(e.ref));
        bool given = !(e.pattern.empty() || e.pattern == "?");
        find(e.ref, found_);
        if (found_.real.empty()) {
            place_new(e, given);
            return;
        }
        std::vector<Ref> list = found_.real; // a replacement changes the index
        for (Ref c : list) {
            existing(c, e, given);
        }
    }

    static std::string parameters(const std::string& pattern, const std::string& ref, const std::string& value,
                                  const std::string& modifier) {
        std::string p = pattern + '\x7F' + ref + '\x7F' + value;
        if (!modifier.empty()) {
            p += '\x7F' + modifier;
        }
        while (!p.empty() && p.back() == '\x7F') {
            p.pop_back();
        }
        return p;
    }

    // New Parameters on a Component, and the Texts that show its fields measured again.
    static void set_parameters(Ref c, const std::string& p) {
        Ref head = model::member_ring(c);
        Ref chain = model::make_chain(p.empty() ? std::string_view("*") : std::string_view(p));
        if (head == kNone || chain == kNone) {
            return;
        }
        model::release_chain_nodes(node(head).link);
        node(head).link = chain;
        edit::measure_texts(c);
    }

    void sort_later(Ref c) {
        sort_seq_[c] = ++seq_;
    }

    void place_new(const Entry& e, bool given) {
        if (!given || !library::FindLibraryComponent(libs_, e.pattern)) {
            message(kPatternNotFound, e.pattern, {}, e.line);
            return;
        }
        std::string value = e.has_value ? e.value : std::string();
        Ref c = edit::copy_library_component(doc_.ring(), {e.pattern, e.ref, value, e.modifier, ""}, 0, at_);
        if (c == kNone) {
            return;
        }
        set_parameters(c, parameters(e.pattern, e.ref, value, e.modifier));
        int64_t x = int64_t{at_.x} + (int64_t{node(c).box.x2} - node(c).box.x1) + kStep;
        at_.x = model::clamp_coord(x);
        if (x > right_) {
            at_.x = left_;
            at_.y = model::clamp_coord(int64_t{at_.y} - kStep);
        }
        index_add(c);
        sort_later(c);
        ++r_.placed;
    }

    void existing(Ref c, const Entry& e, bool given) {
        std::string own = model::ComponentField(c, 0);
        std::string pattern = given ? e.pattern : own;
        if (!edit::field_matches(pattern, own)) {
            if (!o_.replace) {
                message(kPatternMismatch, pattern + " File: " + own, {}, e.line);
            } else if (!library::FindLibraryComponent(libs_, pattern)) {
                message(kPatternNotFound, pattern, {}, e.line);
            } else {
                replace(c, pattern, e);
                return;
            }
        }
        std::string value = model::ComponentField(c, 2), modifier = model::ComponentField(c, 3);
        bool changed = false;
        if (e.has_value && e.value != value) {
            message(o_.update ? kValueReplaced : kValueMismatch, e.value + " File: " + value, {}, e.line);
            changed = o_.update;
        }
        if (e.has_modifier && e.modifier != modifier) {
            message(o_.update ? kModifierReplaced : kModifierMismatch, e.modifier + " File: " + modifier, {}, e.line);
            changed = changed || o_.update;
        }
        if (!changed) {
            return;
        }
        // Fields 2 and 3 from the file; the pattern, the Reference ID and what follows stay.
        std::vector<std::string> fields;
        std::string all = model::component_parameters(c);
        if (all == "*") {
            all.clear();
        }
        for (size_t at = 0;;) {
            size_t sep = all.find('\x7F', at);
            fields.push_back(all.substr(at, sep == std::string::npos ? std::string::npos : sep - at));
            if (sep == std::string::npos) {
                break;
            }
            at = sep + 1;
        }
        fields.resize(std::max<size_t>(fields.size(), 4));
        if (e.has_value) {
            fields[2] = e.value;
        }
        if (e.has_modifier) {
            fields[3] = e.modifier;
        }
        std::string p;
        for (size_t i = 0; i < fields.size(); ++i) {
            p += (i ? "\x7F" : "") + fields[i];
        }
        while (!p.empty() && p.back() == '\x7F') {
            p.pop_back();
        }
        set_parameters(c, p);
        sort_later(c);
        ++r_.updated;
    }

    // The library Component (in the scratch ring) in place of `c`: at its hook and angle, turned by the
    // quarter turns that bring its polarity pads ("1"/"K" to "2"/"A") the way the old ones pointed.
    void replace(Ref c, const std::string& pattern, const Entry& e) {
        Ref head = model::member_ring(c);
        Point hook{node(head).box.x1, node(head).box.y1};
        model::Angle angle = node(c).size, was = 0, now = 0;
        Ref fresh = model::first_item(library::scratch_ring());
        if (fresh != kNone && polarity(head, was) && polarity(model::member_ring(fresh), now)) {
            auto turn = static_cast<uint16_t>(was - angle - now);
            int quarters = ((turn + 8192) & 0xFFFF) >> 14;
            angle = static_cast<model::Angle>(angle + quarters * 16384);
        }
        std::string own = model::ComponentField(c, 0), ref = model::ComponentField(c, 1);
        std::string value = e.has_value ? e.value : model::ComponentField(c, 2);
        std::string modifier = e.has_modifier ? e.modifier : model::ComponentField(c, 3);
        Ref n = edit::copy_library_component(doc_.ring(), {pattern, ref, value, modifier, ""}, angle, hook);
        if (n == kNone) {
            return;
        }
        set_parameters(n, parameters(pattern, ref, value, modifier));
        message(kComponentReplaced, pattern + " File: " + own, {}, e.line);
        index_remove(c);
        model::DeleteItem(c);
        index_add(n);
        sort_later(n);
        ++r_.replaced;
    }

    // --- The end -------------------------------------------------------------------------------

    // The changed Components to their sorted places, in the order they changed.
    void resort() {
        std::vector<std::pair<uint64_t, Ref>> order;
        for (const auto& [c, seq] : sort_seq_) {
            order.emplace_back(seq, c);
        }
        std::sort(order.begin(), order.end());
        if (order.empty()) {
            return;
        }
        Ref aside = model::new_ring();
        if (aside == kNone) {
            for (const auto& o : order) {
                model::sort_component(o.second);
            }
            return;
        }
        for (const auto& o : order) {
            model::MoveBefore(o.second, aside);
        }
        if (!plain_ && sorted_ring(doc_.ring())) {
            model::ComponentOrder by_key(doc_.ring());
            for (const auto& o : order) {
                by_key.insert(o.second);
            }
        } else {
            for (const auto& o : order) {
                model::MoveBefore(o.second, doc_.ring());
                model::sort_component(o.second);
            }
        }
        model::ReleaseNode(aside);
    }

    void finish() {
        log_.line("");
        log_.line("Summary:");
        log_.line("");
        for (Ref p : placeholders_) {
            model::DeleteItem(p);
        }
        placeholders_.clear();
        placeholder_set_.clear();
        resort();
        for (Ref c : model::items_in(doc_.ring())) {
            if (node(c).item_kind() != model::kComponent || node(c).hidden()) {
                continue;
            }
            std::string ref = model::ComponentField(c, 1);
            if (ref.empty()) {
                continue;
            }
            std::vector<Ref> unlinked;
            int pinned = 0;
            for (Ref m : model::items_in(model::member_ring(c))) {
                if (node(m).item_kind() == model::kPad && node(m).pad.pin != 0) {
                    ++pinned;
                    if (model::item_signal(m) == kNone) {
                        unlinked.push_back(m);
                    }
                }
            }
            if (pinned > 0 && unlinked.size() == static_cast<size_t>(pinned)) {
                message(kUnusedComponent, ref, "Warning:");
            } else {
                for (Ref m : unlinked) {
                    message(kUnlinkedPin, ref + "-" + model::pin_text(m), "Warning:");
                }
            }
        }
        log_.line("Total input node count:  " + std::to_string(r_.nodes));
        log_.line("");
        log_.line("END OF FILE");
        log_.raw("\f");
    }

    NetState& s_;
    model::Document& doc_;
    const library::LibrarySet& libs_;
    NetlistInOptions o_;
    Log& log_;
    bool plain_;
    NetlistInResult r_;

    model::LineReader in_;
    long line_no_ = 0;
    bool held_ = false;
    std::string held_line_;

    // The net being read.
    std::string net_name_;
    Ref net_signal_ = kNone;
    int net_layer_ = -1;
    bool net_ok_ = false;

    Found found_;
    std::vector<Ref> scratch_pads_;
    std::unordered_map<std::string, std::vector<Ref>> by_ref_; // Reference ID (and without gate) to Components
    std::unordered_map<Ref, std::unordered_map<std::string, std::vector<Ref>>> pins_;
    std::unordered_map<std::string, int> layers_;
    std::vector<Ref> placeholders_;
    std::unordered_set<Ref> placeholder_set_;
    std::unordered_map<Ref, uint64_t> sort_seq_;
    uint64_t seq_ = 0;

    Point at_{};
    Coord left_ = 0, right_ = 0;
};

} // namespace

std::string netlist_message_line(NetlistMessage m, std::string_view detail, std::string_view reference, long line) {
    std::string l = reference.empty() ? "Line: " + std::to_string(line) : std::string(reference);
    pad_to(l, 12);
    const MessageText& t = kMessages[static_cast<size_t>(m) % kMessages.size()];
    l += t.text;
    pad_to(l, 36);
    l += t.label;
    l += trim(detail);
    return l;
}

std::vector<std::string> expand_netlist_mask(const std::string& mask) {
    namespace fs = std::filesystem;
    std::vector<std::string> out;
    fs::path p(mask);
    std::string name = p.filename().string();
    std::error_code ec;
    if (name.find_first_of("*?") == std::string::npos) {
        if (!name.empty() && fs::exists(p, ec) && !fs::is_directory(p, ec)) {
            out.push_back(mask);
        }
        return out;
    }
    fs::path dir = p.parent_path();
    std::vector<std::string> names;
    for (fs::directory_iterator it(dir.empty() ? fs::path(".") : dir, ec), end; !ec && it != end; it.increment(ec)) {
        std::string n = it->path().filename().string();
        if (!it->is_directory(ec) && model::name_matches(name, n)) {
            names.push_back(n);
        }
    }
    std::sort(names.begin(), names.end());
    for (const std::string& n : names) {
        out.push_back(dir.empty() ? n : (dir / n).string());
    }
    return out;
}

NetlistInResult netlist_in(NetState& s, const std::vector<std::string>& files, const library::LibrarySet& libs,
                           const NetlistInOptions& options, Log& log) {
    NetlistIn run(s, libs, options, log);
    return run.run(files);
}

} // namespace trazel::nets
