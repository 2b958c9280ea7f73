// The netlist file: Components in the order of their Reference ID text, each Signal's nodes gathered
// once per Signal from the Components' pads, written in the column or the bracketed layout.
#include "nets/netlist_out.h"

#include <algorithm>
#include <filesystem>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "nets/parts.h"

namespace trazel::nets {

using model::Node;
using model::node;

namespace {

constexpr size_t kNodeColumn = 16;
constexpr size_t kLastNodeStart = 79;
constexpr size_t kShortNetEnd = 24; // a generated net whose nodes end by this column has one short node
constexpr size_t kLongName = 14;    // longer Signal names take the bracketed net form

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

// A Component of the netlist with what its nodes are made of.
struct Part {
    Ref component = model::kNone;
    std::string ref;      // the Reference ID
    std::string node_ref; // the same without a gate letter ("U1a" gives "U1")
    bool dash = false;    // a pad without pin is named by the Reference ID alone
};

Part make_part(Ref c, std::string ref) {
    Part p;
    p.component = c;
    p.node_ref = ref;
    size_t n = ref.size();
    if (n >= 2 && ref[n - 1] >= 'a' && ref[n - 1] <= 't' && is_digit(ref[n - 2])) {
        p.node_ref.pop_back();
    }
    p.dash = ref.find('-') != std::string::npos;
    p.ref = std::move(ref);
    return p;
}

// The top-level Components with a Reference ID in walk order.
std::vector<Part> parts_of(const model::Document& doc) {
    std::vector<Part> walk;
    for (Ref r : model::items_in(doc.ring())) {
        if (node(r).item_kind() != model::kComponent) {
            continue;
        }
        std::string ref = part_field(r, kReferenceField);
        if (!ref.empty()) {
            walk.push_back(make_part(r, std::move(ref)));
        }
    }
    return walk;
}

// Sorted so that a new entry goes before the first one that is not smaller: equal entries come out in
// reverse walk order.  The plain method inserts so; the other sorts the reversed walk stably, which gives
// the same order.
template <class Less> std::vector<const Part*> sorted(const std::vector<Part>& walk, bool plain, Less less) {
    std::vector<const Part*> out;
    out.reserve(walk.size());
    if (plain) {
        for (const Part& p : walk) {
            auto at = out.begin();
            while (at != out.end() && less(**at, p)) {
                ++at;
            }
            out.insert(at, &p);
        }
        return out;
    }
    for (auto it = walk.rbegin(); it != walk.rend(); ++it) {
        out.push_back(&*it);
    }
    std::stable_sort(out.begin(), out.end(), [&](const Part* a, const Part* b) { return less(*a, *b); });
    return out;
}

// The parts list and each net's nodes: by the first 24 bytes of the Reference ID, compared as unsigned
// bytes (U10 before U2).
bool text_less(const Part& a, const Part& b) {
    return std::string_view(a.ref).substr(0, 24) < std::string_view(b.ref).substr(0, 24);
}

std::string node_text(const Part& p, Ref pad) {
    std::string pin = model::pin_text(pad);
    if (pin.empty()) {
        if (p.dash) {
            return p.node_ref;
        }
        pin = "0";
    }
    return p.node_ref + "-" + pin;
}

struct Net {
    Ref signal = model::kNone;
    std::string name;
    std::vector<std::string> nodes;
};

// Each Signal in list order with its nodes: per Component in the parts list's order, its member Pads
// carrying the Signal in ring order.  One walk over the Components fills every Signal's list; the plain
// method walks all Components again for each Signal.
std::vector<Net> nets_of(const std::vector<const Part*>& parts, bool plain) {
    std::vector<Net> out;
    const auto& signals = model::M().signal_index;
    if (plain) {
        for (const auto& e : signals) {
            Net n{e.second, e.first, {}};
            for (const Part* p : parts) {
                for (Ref m : model::items_in(model::member_ring(p->component))) {
                    if (node(m).item_kind() == model::kPad && model::item_signal(m) == e.second) {
                        n.nodes.push_back(node_text(*p, m));
                    }
                }
            }
            if (!n.nodes.empty()) {
                out.push_back(std::move(n));
            }
        }
        return out;
    }
    std::unordered_map<Ref, std::vector<std::string>> lists;
    for (const Part* p : parts) {
        for (Ref m : model::items_in(model::member_ring(p->component))) {
            if (node(m).item_kind() != model::kPad) {
                continue;
            }
            Ref sig = model::item_signal(m);
            if (sig != model::kNone) {
                lists[sig].push_back(node_text(*p, m));
            }
        }
    }
    out.reserve(lists.size());
    for (const auto& e : signals) {
        auto it = lists.find(e.second);
        if (it != lists.end()) {
            out.push_back(Net{e.second, e.first, std::move(it->second)});
        }
    }
    return out;
}

bool generated(const std::string& name) {
    return !name.empty() && name[0] == '$';
}

// "(", the name, one node per line, ")".
void bracketed_net(ListText& out, const Net& n) {
    out.line("(");
    out.line(n.name);
    for (const std::string& s : n.nodes) {
        out.line(s);
    }
    out.line(")");
}

// A net of the column layout: the name at column 0, the nodes from column 16, each followed by a blank
// and by up to three more to reach a multiple of 8; a node that would start beyond column 79 begins a
// new line indented 16.  A generated net whose nodes do not reach beyond column 24 is left out (one
// short node) unless single nodes are wanted.
void column_net(ListText& out, const Net& n, bool single_node) {
    std::vector<std::string> lines;
    std::string line = n.name;
    size_t col = kNodeColumn;
    bool wrapped = false;
    size_t reach = 0; // the column after the last node's text on the first line
    for (const std::string& s : n.nodes) {
        if (col > kLastNodeStart) {
            lines.push_back(std::move(line));
            line.assign(kNodeColumn, ' ');
            col = kNodeColumn;
            wrapped = true;
        }
        put_at(line, col, s);
        if (!wrapped) {
            reach = col + s.size();
        }
        col += s.size() + 1;
        size_t gap = (8 - col % 8) % 8;
        if (gap <= 3) {
            col += gap;
        }
    }
    lines.push_back(std::move(line));
    if (generated(n.name) && !wrapped && reach <= kShortNetEnd + 1 && !single_node) {
        return;
    }
    if (n.name.size() > kLongName) {
        bracketed_net(out, n);
    } else {
        for (const std::string& l : lines) {
            out.line(l);
        }
    }
    out.line();
}

std::string title_name(const model::Document& doc) {
    return std::filesystem::path(doc.name()).filename().string();
}

void column_layout(ListText& out, const model::Document& doc, const std::vector<const Part*>& parts,
                   const std::vector<Net>& nets, const NetlistOptions& o, const std::tm& date) {
    bool schematic = model::IsSchematic(doc.setup);
    std::string name = title_name(doc);
    out.line(list_title(schematic ? "SCHEMATIC PARTS LIST" : "PCB PARTS LIST", name, 109, date));
    out.line();
    out.line("--- NAME ---    "
             "-------------------------------------------- PARAMETERS ---------------------------------------------");
    out.line();
    out.line();
    for (const Part* q : parts) {
        const Part& p = *q;
        std::string pattern = part_field(p.component, kPatternField);
        if (p.ref[0] == '-' || pattern.empty()) {
            continue;
        }
        std::string board = part_field(p.component, kBoardPatternField);
        std::string value = part_field(p.component, kValueField);
        std::string line = p.ref.substr(0, p.ref.find('-'));
        put_at(line, 16, board.empty() ? "?" : board);
        put_at(line, 42, value.empty() ? "?" : value);
        put_at(line, 68, part_field(p.component, kModifierField));
        put_at(line, 94, pattern);
        out.line(line);
    }
    out.raw("\f");
    out.line(list_title(schematic ? "SCHEMATIC NET LIST" : "PCB SIGNALS NET LIST", name, 72, date));
    out.line();
    out.line("--- NAME ---    ---------------------------- NODES ----------------------------");
    out.line();
    out.line();
    for (const Net& n : nets) {
        column_net(out, n, o.single_node);
    }
    out.line();
    out.line("END OF FILE");
}

void bracketed_layout(ListText& out, const std::vector<const Part*>& parts, const std::vector<Net>& nets,
                      const NetlistOptions& o) {
    for (const Part* q : parts) {
        const Part& p = *q;
        if (p.ref[0] == '-') {
            continue;
        }
        std::string board = part_field(p.component, kBoardPatternField);
        std::string pattern = part_field(p.component, kPatternField);
        if (board.empty() && pattern.empty()) {
            continue;
        }
        out.line("[");
        out.line(p.ref.substr(0, p.ref.rfind('-')));
        out.line(board.empty() ? pattern : board);
        out.line(part_field(p.component, kValueField));
        out.line();
        out.line();
        out.line();
        out.line("]");
    }
    for (const Net& n : nets) {
        if (n.nodes.size() >= 2 || !generated(n.name) || o.single_node) {
            bracketed_net(out, n);
        }
    }
}

} // namespace

ReferenceCheck check_reference_ids(const model::Document& doc) {
    ReferenceCheck c;
    int sequence = 0;
    for (Ref r : model::items_in(doc.ring())) {
        if (node(r).item_kind() != model::kComponent) {
            continue;
        }
        ++sequence;
        std::string ref = part_field(r, kReferenceField);
        if (!ref.empty() && ref[0] >= 'A' && ref[0] <= 'Z') {
            continue;
        }
        if (part_field_count(r) == 1 && part_field(r, kPatternField).rfind('$', 0) == 0) {
            continue; // a port or ground symbol
        }
        c.sequence = sequence;
        c.component = r;
        c.field = ref;
        return c;
    }
    return c;
}

std::string reference_error_text(const ReferenceCheck& c) {
    return "A component has been encountered with a Reference ID\nfield that does not begin with a upper case "
           "alphabetic\ncharacter.\n\nComponent sequence number:  " +
           std::to_string(c.sequence) + "\nComponent Reference ID:  " + c.field +
           "\n\nUse the \"Edit Component\" function to correct this\ncondition.";
}

std::string file_creation_text(const std::string& path) {
    return "Unable to create netlist output\nfile: \"" + path + "\".";
}

std::string netlist_file_name(const model::Document& doc) {
    return std::filesystem::path(doc.name()).replace_extension(".NET").string();
}

std::string netlist_text(const model::Document& doc, const NetlistOptions& o, const std::tm& date) {
    std::vector<Part> walk = parts_of(doc);
    std::vector<const Part*> parts = sorted(walk, o.plain, text_less);
    std::vector<Net> nets = nets_of(parts, o.plain);
    ListText out;
    if (o.bracketed) {
        bracketed_layout(out, parts, nets, o);
    } else {
        column_layout(out, doc, parts, nets, o, date);
    }
    return out.text();
}

} // namespace trazel::nets
