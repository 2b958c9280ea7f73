// Components: member rings, Parameters, bounding boxes, the sort key, and field references in Texts.
#include <algorithm>
#include <cstring>

#include "model/model.h"

namespace trazel::model {

Ref member_ring(Ref item) {
    uint8_t k = node(item).item_kind();
    return k == kComponent || k == kDocument ? node(item).link : kNone;
}

Ref ring_owner(Ref head) {
    return node(head).box.owner;
}

Ref make_component(Ref ring, uint8_t layer, Angle angle, std::string_view parameters) {
    Ref c = MakeItem(ring, kComponent, layer, angle, 0, 0, 0, 0);
    if (c == kNone) {
        return kNone;
    }
    Ref head = new_ring();
    if (head == kNone) {
        DeleteNode(c);
        return kNone;
    }
    node(head).layer = kComponent;
    node(head).box.owner = c;
    node(c).link = head;
    Ref chain = make_chain(parameters.empty() ? std::string_view("*") : parameters);
    if (chain == kNone) {
        DeleteItem(c);
        return kNone;
    }
    node(head).link = chain;
    return c;
}

std::string component_parameters(Ref c) {
    Ref head = member_ring(c);
    return head == kNone ? std::string() : chain_text(node(head).link);
}

std::string ComponentField(Ref c, int n) {
    Ref head = member_ring(c);
    if (head == kNone || n < 0) {
        return {};
    }
    Ref f = node(head).link;
    for (int i = 0; i < n && f != kNone; ++i) {
        f = node(f).link;
    }
    std::string out;
    if (f == kNone) {
        return out;
    }
    const unsigned char* b = node(f).bytes();
    for (int i = 0; i < kChainBytes && b[i] != 0 && b[i] != 0x7F; ++i) {
        out.push_back(static_cast<char>(b[i]));
    }
    return out;
}

bool item_box(Ref item, Coord& x1, Coord& y1, Coord& x2, Coord& y2) {
    const Node& n = node(item);
    switch (n.item_kind()) {
    case kLine:
        x1 = std::min(n.line.x1, n.line.x2);
        y1 = std::min(n.line.y1, n.line.y2);
        x2 = std::max(n.line.x1, n.line.x2);
        y2 = std::max(n.line.y1, n.line.y2);
        return true;
    case kArc: {
        Coord r = n.arc.radius < 0 ? -n.arc.radius : n.arc.radius;
        x1 = n.arc.x0 - r;
        y1 = n.arc.y0 - r;
        x2 = n.arc.x0 + r;
        y2 = n.arc.y0 + r;
        return true;
    }
    case kPad: {
        Coord h = std::max(n.pad.width, n.pad.height) / 2;
        x1 = n.pad.x0 - h;
        y1 = n.pad.y0 - h;
        x2 = n.pad.x0 + h;
        y2 = n.pad.y0 + h;
        return true;
    }
    case kText:
        x1 = x2 = n.text.x0;
        y1 = y2 = n.text.y0;
        return true;
    case kPointGroup:
    case kComponent:
    case kDocument:
        x1 = n.box.x1;
        y1 = n.box.y1;
        x2 = n.box.x2;
        y2 = n.box.y2;
        return true;
    default:
        return false;
    }
}

bool members_box(Ref head, Coord& x1, Coord& y1, Coord& x2, Coord& y2) {
    bool any = false;
    for_each_item(head, [&](Ref r) {
        Coord a, b, cc, d;
        if (node(r).hidden() || !item_box(r, a, b, cc, d)) {
            return;
        }
        if (!any) {
            x1 = a, y1 = b, x2 = cc, y2 = d;
            any = true;
        } else {
            x1 = std::min(x1, a), y1 = std::min(y1, b), x2 = std::max(x2, cc), y2 = std::max(y2, d);
        }
    });
    return any;
}

bool close_component(Ref c) {
    Ref head = member_ring(c);
    if (head == kNone) {
        return false;
    }
    Coord bx1 = 0, by1 = 0, bx2 = 0, by2 = 0;
    members_box(head, bx1, by1, bx2, by2);
    if (ring_empty(head)) {
        DeleteItem(c);
        return false;
    }
    Node& n = node(c);
    n.box.x1 = bx1;
    n.box.y1 = by1;
    n.box.x2 = bx2;
    n.box.y2 = by2;
    return true;
}

namespace {

// Field n of a Component as the bytes its chain Node holds: no copy, so that keys of many Components
// (sorted insertion walks the ring) cost no allocation.
std::string_view field_bytes(Ref c, int n) {
    Ref head = member_ring(c);
    if (head == kNone) {
        return {};
    }
    Ref f = node(head).link;
    for (int i = 0; i < n && f != kNone; ++i) {
        f = node(f).link;
    }
    if (f == kNone) {
        return {};
    }
    const char* b = reinterpret_cast<const char*>(node(f).bytes());
    size_t len = 0;
    while (len < static_cast<size_t>(kChainBytes) && b[len] != 0 && b[len] != '\x7F') {
        ++len;
    }
    return {b, len};
}

// The first 26 bytes of a key: the Reference ID's first character and its second unless that is a digit
// (control characters as blanks), then the pattern, blank-filled.
void key_head(char* out, std::string_view ref, std::string_view pattern) {
    unsigned char r0 = ref.size() > 0 ? static_cast<unsigned char>(ref[0]) : ' ';
    unsigned char r1 = ref.size() > 1 ? static_cast<unsigned char>(ref[1]) : ' ';
    out[0] = static_cast<char>(r0 < ' ' ? ' ' : r0);
    out[1] = static_cast<char>(r1 < ' ' || (r1 >= '0' && r1 <= '9') ? ' ' : r1);
    for (size_t i = 0; i < 24; ++i) {
        out[2 + i] = i < pattern.size() ? pattern[i] : ' ';
    }
}

} // namespace

std::array<char, 128> ComponentKey(Ref c) {
    std::array<char, 128> k;
    k.fill(' ');
    std::string_view pattern = field_bytes(c, 0);
    std::string_view ref = field_bytes(c, 1);
    std::string_view value = field_bytes(c, 2);
    std::string_view modifier = field_bytes(c, 3);
    auto put = [&](int at, int end, std::string_view s) {
        for (size_t i = 0; i < s.size() && at + static_cast<int>(i) < end; ++i) {
            k[at + i] = s[i];
        }
    };
    auto is_digit = [](char ch) { return ch >= '0' && ch <= '9'; };
    key_head(k.data(), ref, pattern);
    // Reference ID: letters before the digit run from byte 26, the digits right-aligned to end before byte
    // 70, what follows them from byte 70, so R2 sorts before R10.
    size_t d0 = 0;
    while (d0 < ref.size() && !is_digit(ref[d0])) {
        ++d0;
    }
    size_t d1 = d0;
    while (d1 < ref.size() && is_digit(ref[d1])) {
        ++d1;
    }
    put(26, 70, ref.substr(0, d0));
    size_t nd = d1 - d0;
    if (nd > 0) {
        size_t take = std::min<size_t>(nd, 44);
        put(70 - static_cast<int>(take), 70, ref.substr(d1 - take, take));
    }
    put(70, 90, ref.substr(d1));
    put(90, 104, value);
    put(104, 128, modifier);
    return k;
}

static bool key_greater(const std::array<char, 128>& a, const std::array<char, 128>& b) {
    return std::memcmp(a.data(), b.data(), a.size()) > 0;
}

namespace {

// Whether Component r sorts after the key `k`.  Most Components differ from a new one in the first bytes
// of the key (the Reference ID's letters, the pattern), which come from the first two fields: only when
// those agree is the whole key made.
bool sorts_after(Ref r, const std::array<char, 128>& k) {
    std::string_view pattern = field_bytes(r, 0);
    std::string_view ref = field_bytes(r, 1);
    char head[26];
    key_head(head, ref, pattern);
    int c = std::memcmp(head, k.data(), sizeof head);
    if (c != 0) {
        return c > 0;
    }
    return key_greater(ComponentKey(r), k);
}

} // namespace

void sort_component(Ref c) {
    Ref head = c;
    // Find the ring head: walk back until a Node of kind 0.
    do {
        head = node(head).prev;
    } while (node(head).item_kind() != kHead);
    auto key = ComponentKey(c);
    Unlink(c);
    Ref place = head;
    for (Ref r : items_in(head)) {
        if (node(r).item_kind() == kComponent && sorts_after(r, key)) {
            place = r;
            break;
        }
    }
    InsertBefore(c, place);
}

void offset_item(Ref r, Coord dx, Coord dy) {
    for_each_point(
        r,
        [&](Coord& x, Coord& y) {
            x = clamp_coord(int64_t{x} + dx);
            y = clamp_coord(int64_t{y} + dy);
        },
        [](Node&) {});
}

ComponentOrder::ComponentOrder(Ref ring) : ring_(ring) {
    for (Ref r : items_in(ring)) {
        if (node(r).item_kind() == kComponent) {
            by_key_.emplace_hint(by_key_.end(), ComponentKey(r), r);
        }
    }
}

void ComponentOrder::insert(Ref c) {
    auto key = ComponentKey(c);
    auto after = by_key_.upper_bound(key);
    Unlink(c);
    InsertBefore(c, after == by_key_.end() ? ring_ : after->second);
    by_key_.emplace_hint(after, key, c);
}

std::string resolved_text(Ref t) {
    std::string s = GetText(t);
    if (s.size() == 2 && s[0] == '&') {
        if (s[1] >= '0' && s[1] <= '9') {
            // The member ring head is found walking back, at most 512 steps.
            Ref r = t;
            for (int i = 0; i < 512; ++i) {
                r = node(r).prev;
                if (node(r).item_kind() == kHead) {
                    Ref owner = node(r).layer == kComponent ? ring_owner(r) : kNone;
                    if (owner != kNone && node(owner).item_kind() == kComponent) {
                        return ComponentField(owner, s[1] - '0');
                    }
                    break;
                }
            }
        } else if (s[1] == '@') {
            Ref r = t;
            for (int i = 0; i < 8; ++i) {
                r = node(r).next;
                if (node(r).item_kind() == kHead) {
                    break;
                }
                if (node(r).item_kind() == kPad) {
                    Ref sig = item_signal(r);
                    return sig != kNone ? signal_name(sig) : s;
                }
            }
        }
    }
    return s;
}

} // namespace trazel::model
