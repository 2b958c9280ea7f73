#include "edit/edit_items.h"

#include <algorithm>
#include <unordered_set>

#include "display/stroke_font.h"
#include "edit/area.h"
#include "edit/locate.h"
#include "edit/undo.h"
#include "model/numbers.h"

namespace trazel::edit {

using model::Node;
using model::node;

namespace {

// Depth first over a ring and the members of its Components, skipping Hidden Items (and what a Hidden
// Component holds); f(item, owner) with the Component that owns the item's ring, kNone at the top.
// f returns true to stop; so does the walk then.
template <class F> bool walk_items(Ref head, Ref owner, F& f, int depth = 0) {
    for (Ref r : model::items_in(head)) {
        const Node& n = node(r);
        if (n.hidden()) {
            continue;
        }
        if (f(r, owner)) {
            return true;
        }
        if (n.item_kind() == model::kComponent && n.link != model::kNone && depth < model::kMaxComponentDepth &&
            walk_items(n.link, r, f, depth + 1)) {
            return true;
        }
    }
    return false;
}

template <class F> void walk_document(const model::Document& doc, F&& f) {
    auto go = [&](Ref r, Ref owner) {
        f(r, owner);
        return false;
    };
    walk_items(doc.ring(), model::kNone, go);
}

// A vector turned counter-clockwise by a binary angle (the program's sine table, halves rounded up).
Point turned(int64_t x, int64_t y, Angle a) {
    model::Turn t = turn_of(a);
    return Point{model::clamp_coord(model::round16(x * t.cos - y * t.sin)),
                 model::clamp_coord(model::round16(x * t.sin + y * t.cos))};
}

// Where the pen starts relative to the origin, in the Text's frame: horizontally 0 left, 1 centre,
// 2 right, 3 a third of the height right of the origin; vertically 0 baseline, 1 middle, 2 top, 3 a
// third of the height above the origin.
int64_t pen_across(int h, int64_t length, int64_t height) {
    switch (h & 3) {
    case 1:
        return -(length / 2);
    case 2:
        return -length;
    case 3:
        return height / 3;
    default:
        return 0;
    }
}

int64_t pen_up(int v, int64_t height) {
    switch (v & 3) {
    case 1:
        return -(height / 2);
    case 2:
        return -height;
    case 3:
        return height / 3;
    default:
        return 0;
    }
}

bool near_point(Point a, Point p, int64_t reach) {
    int64_t dx = int64_t{a.x} - p.x, dy = int64_t{a.y} - p.y;
    if (dx > reach || dx < -reach || dy > reach || dy < -reach) {
        return false;
    }
    return model::within_reach(dx, dy, reach);
}

bool block_side(const Block* block, const model::Document& doc, Ref item) {
    return block != nullptr && block->defined_in(doc) && inside_block(*block, doc, item);
}

bool block_applies(const Block* block, const model::Document& doc) {
    return block != nullptr && block->defined_in(doc);
}

void set_mirrored(Node& n, bool stored) {
    int64_t l = n.text.length;
    if (stored) {
        l = l > 0 ? -l : (l == 0 ? -1 : l);
    } else {
        l = l < 0 ? -l : (l == 0 ? 1 : l);
    }
    n.text.length = model::clamp_coord(l);
}

} // namespace

// --- Patterns ----------------------------------------------------------------------------------------

bool field_matches(std::string_view pat, std::string_view field) {
    if (pat.empty() || pat[0] == ' ') {
        return true;
    }
    size_t i = 0, j = 0;
    while (i < pat.size()) {
        char c = pat[i];
        if (c == '*') {
            if (i + 1 >= pat.size()) {
                return true;
            }
            char want = model::upper(pat[i + 1]);
            while (j < field.size() && model::upper(field[j]) != want) {
                ++j;
            }
            if (j >= field.size()) {
                return false;
            }
            ++i;
            continue;
        }
        if (j >= field.size() || (c != '?' && model::upper(c) != model::upper(field[j]))) {
            return false;
        }
        ++i;
        ++j;
    }
    return j == field.size();
}

bool text_matches(std::string_view pat, std::string_view text) {
    if (pat.size() >= 2 && pat.front() == '<' && pat.back() == '>') {
        return field_matches(pat.substr(1, pat.size() - 2), text);
    }
    if (pat.empty() || pat[0] == ' ') {
        return true;
    }
    // Anywhere in the text: tried from every place, not only the first place its first character
    // stands, so "AB" is found in "AAB".
    std::string open(pat);
    if (open.back() != '*') {
        open += '*';
    }
    for (size_t s = 0; s < text.size(); ++s) {
        if (field_matches(open, text.substr(s))) {
            return true;
        }
    }
    return false;
}

// --- Finds -------------------------------------------------------------------------------------------

std::string text_characters(Ref text) {
    return model::stored_to_typed(model::GetText(text));
}

Ref find_text(const model::Document& doc, std::string_view pattern, Ref after) {
    for (int pass = 0; pass < 2; ++pass) {
        bool passed = after == model::kNone || pass == 1;
        Ref found = model::kNone;
        auto look = [&](Ref r, Ref) {
            if (!passed) {
                passed = r == after;
                return false;
            }
            if (node(r).item_kind() == model::kText && text_matches(pattern, text_characters(r))) {
                found = r;
                return true;
            }
            return false;
        };
        walk_items(doc.ring(), model::kNone, look);
        if (found != model::kNone || passed) {
            return found; // the last one found was there: nothing more after it
        }
    }
    return model::kNone;
}

Point text_find_point(Ref text) {
    const Node& n = node(text);
    Point o{n.text.x0, n.text.y0};
    if ((n.text.anchor_font & 3) != 0) {
        return o;
    }
    Point d = turned(int64_t{n.text.length} / 2, 0, n.text.angle);
    return Point{model::clamp_coord(int64_t{o.x} + d.x), model::clamp_coord(int64_t{o.y} + d.y)};
}

Ref find_component(const model::Document& doc, const std::array<std::string, 5>& patterns, Ref after) {
    auto matches = [&](Ref r) {
        const Node& n = node(r);
        if (n.item_kind() != model::kComponent || n.hidden()) {
            return false;
        }
        for (int i = 0; i < 5; ++i) {
            if (!field_matches(patterns[static_cast<size_t>(i)], model::ComponentField(r, i))) {
                return false;
            }
        }
        return true;
    };
    bool present = false;
    if (after != model::kNone) {
        for (Ref r : model::items_in(doc.ring())) {
            if (r == after) {
                present = true;
                break;
            }
        }
    }
    Ref ring = doc.ring();
    for (Ref r = node(present ? after : ring).next; r != ring; r = node(r).next) {
        if (matches(r)) {
            return r;
        }
    }
    return model::kNone;
}

// --- One undo group ----------------------------------------------------------------------------------

Ref container_of(Ref item) {
    Ref r = node(item).next;
    while (node(r).item_kind() != model::kHead) {
        r = node(r).next;
    }
    return r;
}

Ref component_of(Ref item) {
    Ref owner = model::ring_owner(container_of(item));
    return owner != model::kNone && node(owner).item_kind() == model::kComponent ? owner : model::kNone;
}

namespace {

model::Box area_of(Ref item) {
    // A member ring head stands for its Component (its Parameters show in the member Texts).
    if (node(item).item_kind() == model::kHead) {
        Ref owner = model::ring_owner(item);
        return owner != model::kNone ? item_area(owner) : item_area(item);
    }
    return item_area(item);
}

} // namespace

void EditGroup::touch_owner(Ref owner) {
    if (owner != model::kNone && std::find(owners_.begin(), owners_.end(), owner) == owners_.end()) {
        owners_.push_back(owner);
    }
}

void EditGroup::modify(Ref item, Ref owner) {
    region_.add(area_of(item));
    RecordModified(doc_, item, number_++);
    changed_.push_back(item);
    touch_owner(owner);
}

void EditGroup::create(Ref item, Ref owner) {
    RecordCreated(doc_, item, number_++);
    changed_.push_back(item);
    touch_owner(owner);
}

void EditGroup::remove(Ref item, Ref owner) {
    region_.add(area_of(item));
    changed_.erase(std::remove(changed_.begin(), changed_.end(), item), changed_.end());
    RecordDeleted(doc_, item, number_++);
    touch_owner(owner);
}

int EditGroup::finish(display::Display* d) {
    for (Ref r : changed_) {
        region_.add(area_of(r));
    }
    // Members moved or resized: their Components are boxed again (and theirs, when that changed a box).
    for (size_t i = 0; i < owners_.size(); ++i) {
        Ref c = owners_[i];
        Ref head = model::member_ring(c);
        Coord x1 = 0, y1 = 0, x2 = 0, y2 = 0;
        if (head == model::kNone || !model::members_box(head, x1, y1, x2, y2)) {
            continue;
        }
        Node& n = node(c);
        if (n.box.x1 == x1 && n.box.y1 == y1 && n.box.x2 == x2 && n.box.y2 == y2) {
            continue;
        }
        region_.add(item_area(c));
        RecordModified(doc_, c, number_++);
        n.box.x1 = x1;
        n.box.y1 = y1;
        n.box.x2 = x2;
        n.box.y2 = y2;
        region_.add(item_area(c));
        touch_owner(component_of(c));
    }
    if (number_ > 0) {
        doc_.mark_modified();
        if (d != nullptr) {
            redraw_region(*d, doc_, region_);
        }
    }
    return number_;
}

// --- Edit Line ---------------------------------------------------------------------------------------

std::vector<Ref> connected_tracks(const model::Document& doc, Ref track, const SpatialIndex* index) {
    const Node& t = node(track);
    const int layer = t.layer;
    const uint16_t width = t.size;
    const int64_t reach = width / 4;
    const Ref head = container_of(track);
    const bool top = head == doc.ring();
    const bool indexed = index != nullptr && index->covers(doc);
    const int64_t parent = indexed ? index->parent_order(track) : 0;

    std::vector<Ref> out{track};
    std::unordered_set<Ref> taken{track};
    // Every reached point stays on the list until it is done, however long the chain.
    std::vector<Point> work{Point{t.line.x1, t.line.y1}, Point{t.line.x2, t.line.y2}};

    auto stops = [&](Point p) {
        bool inside = false;
        auto pad = [&](Ref r) {
            const Node& n = node(r);
            if (n.item_kind() != model::kPad || n.hidden() || (n.size & 3) == 3 || !on_layer(n, layer)) {
                return false;
            }
            int64_t small = std::min(n.pad.width, n.pad.height);
            inside = near_point(Point{n.pad.x0, n.pad.y0}, p, small / 4);
            return inside;
        };
        if (indexed) {
            index->visit_back(Rect64{p.x, p.y, p.x, p.y}, [&](Ref r, int) { return pad(r); });
        } else {
            auto look = [&](Ref r, Ref) { return pad(r); };
            walk_items(doc.ring(), model::kNone, look);
        }
        return inside;
    };

    for (size_t i = 0; i < work.size(); ++i) {
        Point p = work[i];
        if (stops(p)) {
            continue;
        }
        auto take = [&](Ref r) {
            const Node& n = node(r);
            if (n.item_kind() != model::kLine || n.size != width || n.layer != layer || n.hidden() ||
                taken.count(r) != 0) {
                return;
            }
            Point a{n.line.x1, n.line.y1}, b{n.line.x2, n.line.y2};
            bool at_a = near_point(a, p, reach);
            if (!at_a && !near_point(b, p, reach)) {
                return;
            }
            taken.insert(r);
            out.push_back(r);
            work.push_back(at_a ? b : a);
        };
        if (indexed) {
            index->visit_back(Rect64{int64_t{p.x} - reach, int64_t{p.y} - reach, int64_t{p.x} + reach,
                                     int64_t{p.y} + reach},
                              [&](Ref r, int depth) {
                                  if (top ? depth == 0 : depth > 0 && index->parent_order(r) == parent) {
                                      take(r);
                                  }
                                  return false;
                              });
        } else {
            for (Ref r : model::items_in(head)) {
                take(r);
            }
        }
    }
    return out;
}

std::vector<Ref> lines_alike(const model::Document& doc, Ref line, const Block* block) {
    const Node& t = node(line);
    const bool side = block_side(block, doc, line);
    const bool blocked = block_applies(block, doc);
    std::vector<Ref> out;
    walk_document(doc, [&](Ref r, Ref) {
        const Node& n = node(r);
        uint8_t k = n.item_kind();
        if ((k != model::kLine && k != model::kArc) || n.size != t.size || n.layer != t.layer ||
            n.marked() != t.marked()) {
            return;
        }
        if (blocked && inside_block(*block, doc, r) != side) {
            return;
        }
        out.push_back(r);
    });
    return out;
}

int edit_lines(model::Document& doc, display::Display* d, Ref track, EditScope scope, int layer, Coord width,
               const SpatialIndex* index, const Block* block) {
    std::vector<Ref> targets;
    switch (scope) {
    case EditScope::Connected:
        targets = connected_tracks(doc, track, index);
        break;
    case EditScope::All:
        targets = lines_alike(doc, track, block);
        break;
    default:
        targets.push_back(track);
        break;
    }
    EditGroup g(doc);
    for (Ref r : targets) {
        g.modify(r);
        Node& n = node(r);
        n.layer = static_cast<uint8_t>(layer);
        n.size = static_cast<uint16_t>(std::clamp<Coord>(width, 1, 0xFFFF));
    }
    return g.finish(d);
}

// --- Edit Arc ----------------------------------------------------------------------------------------

ArcMaking arc_values(Ref arc) {
    const Node& n = node(arc);
    ArcMaking a;
    a.layer = n.layer;
    a.width = n.size;
    a.radius = n.arc.radius;
    a.start = n.arc.start;
    a.sweep = n.arc.sweep;
    a.ellipse = n.arc.ellipse;
    a.ellipse_angle = n.arc.angle;
    return a;
}

int edit_arc(model::Document& doc, display::Display* d, Ref arc, const ArcMaking& v) {
    EditGroup g(doc);
    g.modify(arc, component_of(arc));
    Node& n = node(arc);
    n.layer = static_cast<uint8_t>(v.layer);
    n.size = static_cast<uint16_t>(std::clamp<Coord>(v.width, 1, 0xFFFF));
    n.arc.radius = v.radius;
    n.arc.start = v.start;
    n.arc.sweep = v.sweep;
    n.arc.ellipse = v.ellipse;
    n.arc.angle = v.ellipse_angle;
    return g.finish(d);
}

// --- Edit Pad ----------------------------------------------------------------------------------------

PadValues pad_values(Ref pad) {
    const Node& n = node(pad);
    PadValues v;
    v.pad.type = n.size & 7;
    v.pad.layer = n.layer;
    v.pad.width = n.pad.width;
    v.pad.height = n.pad.height;
    v.pad.hole = n.pad.hole;
    v.pad.angle = n.pad.angle;
    v.pin = model::pin_text(pad);
    v.signal = model::signal_name(model::item_signal(pad));
    return v;
}

namespace {

constexpr int kPinNumberLayer = 5;
constexpr Coord kPinNumberReach = 3932; // 0.06 inch

// The box of a Text at angle 0: from its pen start along its length, from its baseline up its height.
bool text_box_holds(const Node& t, Point p, int64_t grow) {
    int64_t length = t.text.length, height = t.size;
    int64_t x = int64_t{t.text.x0} + pen_across(t.text.anchor_font & 3, length, height);
    int64_t y = int64_t{t.text.y0} + pen_up((t.text.anchor_font >> 2) & 3, height);
    int64_t x1 = std::min(x, x + length) - grow, x2 = std::max(x, x + length) + grow;
    int64_t y1 = y - grow, y2 = y + height + grow;
    return p.x >= x1 && p.x <= x2 && p.y >= y1 && p.y <= y2;
}

// A copy of a Text with other characters, linked in front of it.
Ref text_copy_with(Ref text, std::string_view stored) {
    const Node& t = node(text);
    Ref head = container_of(text);
    Ref n = model::MakeItem(head, model::kText, t.layer, t.size, t.text.x0, t.text.y0, t.text.length, 0);
    if (n == model::kNone) {
        return model::kNone;
    }
    Node& c = node(n);
    c.text.angle = t.text.angle;
    c.text.anchor_font = t.text.anchor_font;
    c.text.lines = t.text.lines;
    if (!model::SetText(n, stored) || c.link == model::kNone) {
        model::DeleteItem(n);
        return model::kNone;
    }
    display::measure_text_item(n);
    model::MoveBefore(n, text);
    return n;
}

} // namespace

Ref pin_number_text(Ref pad) {
    Ref owner = component_of(pad);
    std::string pin = model::pin_text(pad);
    if (owner == model::kNone || pin.empty()) {
        return model::kNone;
    }
    const Node& p = node(pad);
    Point centre{p.pad.x0, p.pad.y0};
    for (Ref r : model::items_in(model::member_ring(owner))) {
        const Node& t = node(r);
        if (t.item_kind() == model::kText && !t.hidden() && t.layer == kPinNumberLayer && t.text.angle == 0 &&
            t.text.length > 0 && text_box_holds(t, centre, kPinNumberReach) && model::GetText(r) == pin) {
            return r;
        }
    }
    return model::kNone;
}

Ref edit_pad(model::Document& doc, display::Display* d, Ref pad, const PadValues& v, EditScope scope,
             const Block* block) {
    const PadValues old = pad_values(pad);
    const Ref head = container_of(pad);
    const Ref owner = component_of(pad);
    const PadMaking& now = v.pad;

    // The Pads alike, found before anything changes.
    std::vector<std::pair<Ref, Ref>> alike;
    if (scope != EditScope::This) {
        const bool blocked = block_applies(block, doc);
        const bool side = block_side(block, doc, pad);
        auto consider = [&](Ref r, Ref own) {
            const Node& n = node(r);
            if (r == pad || n.item_kind() != model::kPad || n.hidden() || (n.size & 7) != old.pad.type ||
                n.pad.width != old.pad.width || n.pad.height != old.pad.height || n.pad.hole != old.pad.hole) {
                return false;
            }
            bool layer_ok = n.layer == old.pad.layer || (!is_smt_pad(n) && old.pad.layer == now.layer);
            bool angle_ok = n.pad.angle == old.pad.angle || n.pad.angle == now.angle;
            if (layer_ok && angle_ok && (!blocked || inside_block(*block, doc, r) == side)) {
                alike.emplace_back(r, own);
            }
            return false;
        };
        if (scope == EditScope::Connected) {
            for (Ref r : model::items_in(head)) {
                consider(r, owner);
            }
        } else {
            walk_items(doc.ring(), model::kNone, consider);
        }
    }

    const Node& p = node(pad);
    Ref made = model::MakeItem(head, model::kPad, static_cast<uint8_t>(now.layer),
                               static_cast<uint16_t>((p.size & ~7) | (now.type & 7)), p.pad.x0, p.pad.y0, 0, 0);
    if (made == model::kNone) {
        return model::kNone;
    }
    Node& m = node(made);
    m.pad.width = static_cast<uint16_t>(std::clamp<Coord>(now.width, 0, 0xFFFF));
    m.pad.height = static_cast<uint16_t>(std::clamp<Coord>(now.height, 0, 0xFFFF));
    m.pad.hole = static_cast<uint16_t>(std::clamp<Coord>(now.hole, 0, 0xFFFF));
    m.pad.angle = now.angle;
    model::SetPin(made, v.pin);
    if (!v.signal.empty()) {
        model::AttachSignal(made, v.signal);
    }
    model::MoveBefore(made, pad);

    EditGroup g(doc);
    g.create(made, owner);
    if (model::IsSchematic(doc.setup)) {
        Ref t = pin_number_text(pad);
        std::string pin = model::pin_text(made);
        if (t != model::kNone && !pin.empty() && pin != old.pin) {
            Ref nt = text_copy_with(t, pin);
            if (nt != model::kNone) {
                g.create(nt, owner);
                g.remove(t, owner);
            }
        }
    }
    g.remove(pad, owner);
    for (auto [r, own] : alike) {
        g.modify(r, own);
        Node& n = node(r);
        if (now.layer != old.pad.layer) {
            n.layer = static_cast<uint8_t>(now.layer);
        }
        n.size = static_cast<uint16_t>((n.size & ~7) | (now.type & 7));
        n.pad.width = m.pad.width;
        n.pad.height = m.pad.height;
        n.pad.hole = m.pad.hole;
        if (now.angle != old.pad.angle) {
            n.pad.angle = now.angle;
        }
    }
    g.finish(d);
    return made;
}

// --- Edit Text parameters ----------------------------------------------------------------------------

Point anchor_offset(int from, int to, int64_t length, int64_t height) {
    int64_t dx = pen_across(from & 3, length, height) - pen_across(to & 3, length, height);
    int64_t dy = pen_up((from >> 2) & 3, height) - pen_up((to >> 2) & 3, height);
    return Point{model::clamp_coord(dx), model::clamp_coord(dy)};
}

Point anchor_shift(Ref text, int to) {
    const Node& n = node(text);
    Point o = anchor_offset(n.text.anchor_font & 15, to & 15, n.text.length, n.size);
    return turned(o.x, o.y, n.text.angle);
}

TextValues text_values(const model::Setup& s, Ref text) {
    const Node& n = node(text);
    TextValues v;
    v.layer = n.layer;
    v.height = n.size;
    v.angle = n.text.angle;
    v.anchor = n.text.anchor_font & 15;
    v.font = n.text.anchor_font >> 4;
    // Shown relative to the layer's side: the stored sign is the other way round on a bottom layer.
    v.mirrored = stored_mirror(s, n.layer, n.text.length < 0);
    return v;
}

int edit_text_params(model::Document& doc, display::Display* d, Ref text, const TextValues& v, EditScope scope,
                     const Block* block) {
    const model::Setup& s = doc.setup;
    const TextValues old = text_values(s, text);
    const bool layer = v.layer != old.layer, height = v.height != old.height, angle = v.angle != old.angle,
               anchor = v.anchor != old.anchor, font = v.font != old.font, mirror = v.mirrored != old.mirrored;

    std::vector<std::pair<Ref, Ref>> others;
    if (scope != EditScope::This) {
        const bool blocked = block_applies(block, doc);
        const bool side = block_side(block, doc, text);
        auto consider = [&](Ref r, Ref own) {
            const Node& n = node(r);
            if (r == text || n.item_kind() != model::kText || n.hidden() || n.layer != old.layer) {
                return false;
            }
            TextValues t = text_values(s, r);
            if ((height && t.height != old.height) || (angle && t.angle != old.angle) ||
                (anchor && t.anchor != old.anchor) || (font && t.font != old.font) ||
                (mirror && t.mirrored != old.mirrored)) {
                return false;
            }
            if (!blocked || inside_block(*block, doc, r) == side) {
                others.emplace_back(r, own);
            }
            return false;
        };
        if (scope == EditScope::Connected) {
            Ref own = component_of(text);
            for (Ref r : model::items_in(container_of(text))) {
                consider(r, own);
            }
        } else {
            walk_items(doc.ring(), model::kNone, consider);
        }
    }

    EditGroup g(doc);
    auto apply = [&](Ref r, Ref own) {
        g.modify(r, own);
        bool shown_mirrored = text_values(s, r).mirrored;
        Node& n = node(r);
        if (anchor) {
            Point sh = anchor_shift(r, v.anchor);
            n.text.x0 = model::clamp_coord(int64_t{n.text.x0} + sh.x);
            n.text.y0 = model::clamp_coord(int64_t{n.text.y0} + sh.y);
            n.text.anchor_font = static_cast<uint8_t>((n.text.anchor_font & 0xF0) | (v.anchor & 15));
        }
        if (font) {
            n.text.anchor_font = static_cast<uint8_t>((n.text.anchor_font & 15) | (v.font & 15) << 4);
        }
        if (layer) {
            n.layer = static_cast<uint8_t>(v.layer);
        }
        if (height) {
            n.size = static_cast<uint16_t>(std::clamp<Coord>(v.height, 0, 0xFFFF));
        }
        if (angle) {
            n.text.angle = v.angle;
        }
        set_mirrored(n, stored_mirror(s, n.layer, mirror ? v.mirrored : shown_mirrored));
        display::measure_text_item(r);
    };
    apply(text, component_of(text));
    for (auto [r, own] : others) {
        apply(r, own);
    }
    return g.finish(d);
}

// --- Edit Text data ----------------------------------------------------------------------------------

int retype_text(model::Document& doc, display::Display* d, Ref text, std::string_view typed) {
    if (typed.empty() || typed == text_characters(text)) {
        return 0;
    }
    EditGroup g(doc);
    g.modify(text, component_of(text));
    Node& n = node(text);
    const Ref was = n.link;
    // The old characters (or Signal) stay with the record, which gives them back on undo.
    n.link = model::kNone;
    bool label = doc.setup.layers[n.layer].kind() == model::kLayerSchematic;
    bool kept = label ? model::AttachSignal(text, typed) : model::SetTypedText(text, typed);
    if (!kept || node(text).link == model::kNone) {
        model::ReleaseChain(text);
        node(text).link = was;
    }
    display::measure_text_item(text);
    return g.finish(d);
}

Ref neighbour_text(Ref text, bool up) {
    Ref r = up ? node(text).prev : node(text).next;
    // A ring holds far fewer Nodes than this; the bound only guards a broken ring.
    for (uint32_t steps = 0; r != text && steps < (1u << 24); ++steps) {
        const Node& n = node(r);
        if (n.item_kind() == model::kText && !n.hidden()) {
            return r;
        }
        r = up ? n.prev : n.next;
    }
    return text;
}

// --- Edit Component ----------------------------------------------------------------------------------

std::array<std::string, 5> component_fields(Ref c) {
    std::array<std::string, 5> f;
    for (int i = 0; i < 5; ++i) {
        f[static_cast<size_t>(i)] = model::ComponentField(c, i);
    }
    return f;
}

int edit_component(model::Document& doc, display::Display* d, Ref c, const std::array<std::string, 5>& fields) {
    Ref head = model::member_ring(c);
    if (head == model::kNone || fields == component_fields(c)) {
        return 0;
    }
    std::string joined;
    for (size_t i = 0; i < fields.size(); ++i) {
        if (i > 0) {
            joined += '\x7F';
        }
        joined += fields[i];
    }
    while (!joined.empty() && joined.back() == '\x7F') {
        joined.pop_back();
    }
    Ref chain = model::make_chain(joined.empty() ? std::string_view("*") : std::string_view(joined));
    if (chain == model::kNone) {
        return 0;
    }
    EditGroup g(doc);
    // The old Parameters stay with the record of the ring head.
    g.modify(head);
    node(head).link = chain;
    for (Ref m : model::items_in(head)) {
        const Node& n = node(m);
        if (n.item_kind() != model::kText || n.hidden()) {
            continue;
        }
        std::string s = model::GetText(m);
        if (s.size() == 2 && s[0] == '&' && model::is_digit(s[1])) {
            g.modify(m, c);
            display::measure_text_item(m);
        }
    }
    if (container_of(c) == doc.ring()) {
        model::sort_component(c);
    }
    return g.finish(d);
}

std::vector<Ref> components_of(const model::Document& doc) {
    std::vector<Ref> out;
    for (Ref r : model::items_in(doc.ring())) {
        if (node(r).item_kind() == model::kComponent && !node(r).hidden()) {
            out.push_back(r);
        }
    }
    return out;
}

} // namespace trazel::edit
