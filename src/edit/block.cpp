// The Block: membership, definition, and the move, copy, delete, compare and build of what it holds.
#include "edit/block.h"

#include <algorithm>
#include <cctype>
#include <unordered_map>

#include "display/stroke_font.h"
#include "edit/area.h"
#include "edit/grab.h"
#include "edit/grab_internal.h"
#include "edit/locate.h"
#include "edit/spatial_index.h"
#include "edit/undo.h"
#include "model/geometry.h"
#include "model/hit_test.h"

namespace trazel::edit {

using model::Node;
using model::node;

namespace {

constexpr model::Angle kHalfTurn = 32768;

int block_layer(const Node& n) {
    // A through-hole Pad stands on every layer: it is selected with layer 0, the pad master.
    if (n.item_kind() == model::kPad && !is_smt_pad(n)) {
        return model::kPadMasterLayer;
    }
    return n.layer;
}

// The points that decide, two at most.
int deciding_points(const Node& n, Point out[2]) {
    switch (n.item_kind()) {
    case model::kLine:
    case model::kPointGroup:
    case model::kComponent:
        out[0] = Point{n.line.x1, n.line.y1};
        out[1] = Point{n.line.x2, n.line.y2};
        return 2;
    case model::kArc:
        if (n.arc.ellipse == 0 && n.arc.sweep != 0 && n.arc.sweep < kHalfTurn) {
            out[0] = model::arc_point(n, n.arc.start, turn_of);
            out[1] = model::arc_point(n, static_cast<model::Angle>(n.arc.start + n.arc.sweep), turn_of);
            return 2;
        }
        out[0] = Point{n.arc.x0, n.arc.y0};
        return 1;
    case model::kPad:
        out[0] = Point{n.pad.x0, n.pad.y0};
        return 1;
    case model::kText:
        out[0] = Point{n.text.x0, n.text.y0};
        return 1;
    default:
        return 0;
    }
}

} // namespace

bool point_in_block(const Block& b, Point p) {
    if (p.x < b.left || p.x > b.right || p.y < b.bottom || p.y > b.top) {
        return false;
    }
    if (b.outline.size() < 3) {
        return true;
    }
    model::PolygonHit h = model::point_in_polygon(b.outline.data(), static_cast<int>(b.outline.size()), p.x, p.y);
    return h.where != model::Where::Outside;
}

Membership block_membership(const Block& b, const model::Document& doc, Ref item) {
    (void)doc;
    const Node& n = node(item);
    if (!b.layers[block_layer(n) & 0xFF]) {
        return Membership::Outside;
    }
    Point pts[2];
    int count = deciding_points(n, pts);
    if (count == 0) {
        return Membership::Outside;
    }
    int inside = 0;
    for (int i = 0; i < count; ++i) {
        inside += point_in_block(b, pts[i]) ? 1 : 0;
    }
    if (inside == count) {
        return Membership::Inside;
    }
    if (inside == 1 && n.item_kind() == model::kLine && n.size != 0) {
        return Membership::Stretched;
    }
    return Membership::Outside;
}

bool outside_block(const Block& b, const model::Document& doc, Ref item) {
    (void)doc;
    const Node& n = node(item);
    if (!b.layers[block_layer(n) & 0xFF]) {
        return false;
    }
    Point pts[2];
    int count = deciding_points(n, pts);
    for (int i = 0; i < count; ++i) {
        if (!point_in_block(b, pts[i])) {
            return true;
        }
    }
    return false;
}

// --- Definition --------------------------------------------------------------------------------------

void select_block_layers(Block& b, const model::Setup& s) {
    for (int i = 0; i < 256; ++i) {
        b.layers[i] = s.layers[i].in_use() && !layer_hidden(s, i);
    }
}

void reset_block_transform(Block& b) {
    b.scale = 0x10000;
    b.angle = 0;
    b.mirror_x = b.mirror_y = false;
}

namespace {

void set_bounds(Block& b, Coord l, Coord bo, Coord r, Coord t) {
    b.left = std::min(l, r);
    b.right = std::max(l, r);
    b.bottom = std::min(bo, t);
    b.top = std::max(bo, t);
}

void bound_outline(Block& b) {
    model::Box x;
    for (Point p : b.outline) {
        x.add(p.x, p.y);
    }
    b.left = static_cast<Coord>(x.x1);
    b.bottom = static_cast<Coord>(x.y1);
    b.right = static_cast<Coord>(x.x2);
    b.top = static_cast<Coord>(x.y2);
}

} // namespace

void define_block(Block& b, model::Document& doc, Point corner1, Point corner2, Point source) {
    b = Block{};
    b.doc = &doc;
    set_bounds(b, corner1.x, corner1.y, corner2.x, corner2.y);
    b.source = source;
    select_block_layers(b, doc.setup);
}

void define_block(Block& b, model::Document& doc, const std::vector<Point>& polygon, Point source) {
    b = Block{};
    b.doc = &doc;
    b.outline = polygon;
    bound_outline(b);
    b.source = source;
    select_block_layers(b, doc.setup);
}

void release_block(Block& b) {
    b = Block{};
}

// --- Members -------------------------------------------------------------------------------------------

std::vector<Ref> block_members(const Block& b, const model::Document& doc, bool stretched, const SpatialIndex* index) {
    std::vector<Ref> out;
    auto take = [&](Ref r) {
        Membership m = block_membership(b, doc, r);
        if (m == Membership::Inside || (stretched && m == Membership::Stretched)) {
            out.push_back(r);
        }
    };
    if (index != nullptr && index->covers(doc)) {
        Rect64 q{b.left, b.bottom, b.right, b.top};
        index->visit_forward(q, [&](Ref r, int depth) {
            if (depth == 0 && !node(r).hidden()) {
                take(r);
            }
        });
        return out;
    }
    for (Ref r : model::items_in(doc.ring())) {
        if (!node(r).hidden()) {
            take(r);
        }
    }
    return out;
}

// --- The transform -------------------------------------------------------------------------------------

namespace {

uint16_t scaled16(int64_t v, int32_t scale) {
    int64_t p = (v * scale + 0x8000) >> 16;
    return static_cast<uint16_t>(std::clamp<int64_t>(p, 0, 65535));
}

// Widths, pad sizes and text heights follow the scale, held to what their 16 bits can take.
void scale_sizes(Node& n, int32_t scale) {
    switch (n.item_kind()) {
    case model::kLine:
    case model::kArc:
    case model::kText:
        if (n.size != 0) {
            n.size = scaled16(n.size, scale);
        }
        break;
    case model::kPad:
        n.pad.width = scaled16(n.pad.width, scale);
        n.pad.height = scaled16(n.pad.height, scale);
        n.pad.hole = scaled16(n.pad.hole, scale);
        break;
    default:
        break;
    }
}

// One Node carried by the Block's transform: the points `flags` names.
void carry(const Block& b, Node& n, uint8_t flags, Point target) {
    if (b.mirror_x) {
        transform_node(n, flags, Transform::MirrorY, 0, b.source); // x negated: about the vertical axis
    }
    if (b.mirror_y) {
        transform_node(n, flags, Transform::MirrorX, 0, b.source);
    }
    if (b.scale != 0x10000) {
        transform_node(n, flags, Transform::Scale, b.scale, b.source);
        if ((flags & kGrabWhole) == kGrabWhole || n.item_kind() != model::kLine) {
            scale_sizes(n, b.scale);
        }
    }
    if (b.angle != 0) {
        transform_node(n, flags, Transform::Rotate, b.angle, b.source);
    }
    apply_offset(n, flags, int64_t{target.x} - b.source.x, int64_t{target.y} - b.source.y);
}

// Calls f(ref, flags) for every Node a whole Item carries: the Item, a Solid's vertices, a Component's
// hook and members (members before the Component, so its box can be formed from them afterwards).
template <class F> void for_each_carried(Ref item, F&& f, int depth = 0) {
    Node& n = node(item);
    switch (n.item_kind()) {
    case model::kComponent:
    case model::kDocument:
        if (n.link != model::kNone && depth < model::kMaxComponentDepth) {
            f(n.link, static_cast<uint8_t>(kGrabFirst));
            for (Ref m : model::items_in(n.link)) {
                for_each_carried(m, f, depth + 1);
            }
        }
        f(item, static_cast<uint8_t>(kGrabWhole));
        break;
    case model::kLine:
        if (n.size == 0) {
            for (Ref v = n.link; v != model::kNone; v = node(v).link) {
                f(v, static_cast<uint8_t>(kGrabWhole | kGrabVertex));
            }
        }
        f(item, static_cast<uint8_t>(kGrabWhole));
        break;
    default:
        f(item, static_cast<uint8_t>(kGrabWhole));
        break;
    }
}

// Carries a whole Item and fixes what follows from its points: Solid and Component boxes, Text lengths.
void carry_whole(const Block& b, Ref item, Point target) {
    for_each_carried(item, [&](Ref r, uint8_t flags) {
        Node& n = node(r);
        if ((flags & kGrabVertex) != 0) {
            // A vertex is a bare point pair; carried like a track's two ends.
            carry(b, n, kGrabWhole, target);
            return;
        }
        uint8_t kind = n.item_kind();
        if (kind == model::kLine && n.size == 0) {
            refit_solid_box(r);
            return;
        }
        if (kind == model::kComponent || kind == model::kDocument) {
            model::Angle a = n.size;
            carry(b, n, kGrabWhole, target);
            if (kind == model::kDocument) {
                n.size = a;
            }
            refit_component_box(r);
            return;
        }
        carry(b, n, kind == model::kLine || kind == model::kPointGroup ? kGrabWhole : kGrabFirst, target);
        if (kind == model::kText && b.scale != 0x10000) {
            display::measure_text_item(r);
        }
    });
}

void record_carried(model::Document& doc, Ref item, int& number) {
    for_each_carried(item, [&](Ref r, uint8_t) { RecordModified(doc, r, number++); });
}

Point track_end(const Node& n, int end) {
    return end == 1 ? Point{n.line.x1, n.line.y1} : Point{n.line.x2, n.line.y2};
}

// The Block's own outline after a move: a turn off the quarter steps makes a rectangle a polygon.
void carry_outline(Block& b, Point target) {
    if (b.outline.empty() && b.angle % 16384 != 0) {
        b.outline = {{b.left, b.bottom}, {b.right, b.bottom}, {b.right, b.top}, {b.left, b.top}};
    }
    if (b.outline.empty()) {
        Point a = block_point(b, Point{b.left, b.bottom}, target);
        Point c = block_point(b, Point{b.right, b.top}, target);
        set_bounds(b, a.x, a.y, c.x, c.y);
    } else {
        for (Point& p : b.outline) {
            p = block_point(b, p, target);
        }
        bound_outline(b);
    }
    b.source = target;
    reset_block_transform(b);
}

} // namespace

Point block_point(const Block& b, Point p, Point target) {
    Node n{};
    n.kind = model::kPad;
    n.pad.x0 = p.x;
    n.pad.y0 = p.y;
    carry(b, n, kGrabFirst, target);
    return Point{n.pad.x0, n.pad.y0};
}

// --- Move ----------------------------------------------------------------------------------------------

BlockResult block_move(Block& b, Point target, SpatialIndex* index) {
    BlockResult res;
    if (!b.defined()) {
        return res;
    }
    model::Document& doc = *b.doc;
    const bool in_step = index != nullptr && index->covers(doc);
    std::vector<Ref> members = block_members(b, doc, true, in_step ? index : nullptr);
    int number = 0;
    for (Ref r : members) {
        res.area.add(item_area(r));
        if (block_membership(b, doc, r) == Membership::Stretched) {
            RecordModified(doc, r, number++);
        } else {
            record_carried(doc, r, number);
        }
    }
    for (Ref r : members) {
        Node& n = node(r);
        if (is_track(n) && block_membership(b, doc, r) == Membership::Stretched) {
            uint8_t end = point_in_block(b, track_end(n, 1)) ? kGrabFirst : kGrabSecond;
            carry(b, n, end, target);
        } else {
            carry_whole(b, r, target);
        }
        res.area.add(item_area(r));
        ++res.items;
        if (in_step) {
            for_each_carried(r, [&](Ref m, uint8_t flags) {
                if ((flags & kGrabVertex) == 0 && node(m).item_kind() != model::kHead) {
                    index->moved(m);
                }
            });
        }
    }
    if (in_step) {
        index->adopt(doc);
    }
    if (res.items != 0) {
        doc.mark_modified();
    }
    carry_outline(b, target);
    return res;
}

bool sheets_of_one_schematic(std::string_view a, std::string_view b) {
    auto split = [](std::string_view n, std::string_view& stem, std::string_view& ext) {
        size_t slash = n.find_last_of("/\\");
        size_t dot = n.rfind('.');
        if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash)) {
            return false;
        }
        stem = n.substr(0, dot);
        ext = n.substr(dot + 1);
        return ext.size() == 3 && (ext[0] == 's' || ext[0] == 'S') &&
               (ext[1] == 'h' || ext[1] == 'H' || std::isdigit(static_cast<unsigned char>(ext[1]))) &&
               std::isdigit(static_cast<unsigned char>(ext[2]));
    };
    std::string_view sa, ea, sb, eb;
    if (!split(a, sa, ea) || !split(b, sb, eb) || sa.size() != sb.size()) {
        return false;
    }
    for (size_t i = 0; i < sa.size(); ++i) {
        if (std::toupper(static_cast<unsigned char>(sa[i])) != std::toupper(static_cast<unsigned char>(sb[i]))) {
            return false;
        }
    }
    return true;
}

BlockResult block_move_to(Block& b, model::Document& to, Point target) {
    BlockResult res;
    if (!b.defined() || b.doc == &to) {
        return res;
    }
    model::Document& from = *b.doc;
    res = block_copy(b, to, target, 0);
    std::vector<Ref> members = block_members(b, from, false);
    int number = 0;
    for (Ref r : members) {
        RecordDeleted(from, r, number++);
    }
    if (!members.empty()) {
        from.mark_modified();
    }
    carry_outline(b, target);
    b.doc = &to;
    return res;
}

// --- Copy ----------------------------------------------------------------------------------------------

namespace {

// A copy of a chain of Nodes joined through `link` (text, vertices, Parameters); kNone for none or when
// the pool ran out (nothing is left behind then).
bool copy_chain(Ref first, Ref& out, Ref* last = nullptr) {
    out = model::kNone;
    Ref prev = model::kNone;
    for (Ref r = first; r != model::kNone; r = node(r).link) {
        Ref c = model::AllocNode();
        if (c == model::kNone) {
            model::release_chain_nodes(out);
            out = model::kNone;
            return false;
        }
        node(c) = node(r);
        node(c).link = model::kNone;
        if (prev == model::kNone) {
            out = c;
        } else {
            node(prev).link = c;
        }
        prev = c;
    }
    if (last != nullptr) {
        *last = prev;
    }
    return true;
}

bool copy_into(Ref ring, Ref item, int depth, Ref& made) {
    made = model::kNone;
    const Node src = node(item);
    Ref c = model::NewItemBefore(ring);
    if (c == model::kNone) {
        return false;
    }
    made = c;
    {
        Node& n = node(c);
        n.kind = static_cast<uint8_t>(src.kind & ~(model::kHiddenFlag | model::kRunTimeMarks));
        n.layer = src.layer;
        n.size = src.size;
        n.line = src.line;
        n.link = model::kNone;
    }
    switch (src.item_kind()) {
    case model::kLine:
    case model::kPointGroup:
        if (src.item_kind() == model::kPointGroup || src.size == 0) {
            Ref last = model::kNone;
            Ref chain = model::kNone;
            if (!copy_chain(src.link, chain, &last)) {
                return false;
            }
            node(c).link = chain;
            if (src.item_kind() == model::kLine) {
                node(c).line.spare = last;
            }
            return true;
        }
        [[fallthrough]];
    case model::kArc:
        if (model::is_signal_record(src.link)) {
            return model::AttachSignal(c, model::signal_name(src.link));
        }
        return true;
    case model::kPad:
        node(c).pad.pin = src.pad.pin < static_cast<uint32_t>(model::kPinNumberLimit) ? src.pad.pin : 0;
        if (src.pad.pin >= static_cast<uint32_t>(model::kPinNumberLimit) && !model::SetPin(c, model::pin_text(item))) {
            return false;
        }
        if (model::is_signal_record(src.link)) {
            return model::AttachSignal(c, model::signal_name(src.link));
        }
        return true;
    case model::kText:
        if (model::is_signal_record(src.link)) {
            return model::AttachSignal(c, model::signal_name(src.link));
        } else {
            Ref chain = model::kNone;
            if (!copy_chain(src.link, chain)) {
                return false;
            }
            node(c).link = chain;
            return true;
        }
    case model::kComponent:
    case model::kDocument: {
        if (src.link == model::kNone) {
            return true;
        }
        Ref head = model::new_ring();
        if (head == model::kNone) {
            return false;
        }
        const Node& sh = node(src.link);
        node(head).kind = sh.kind;
        node(head).layer = sh.layer;
        node(head).size = sh.size;
        node(head).box = sh.box;
        node(head).box.owner = c;
        node(c).link = head;
        Ref params = model::kNone;
        if (!copy_chain(sh.link, params)) {
            return false;
        }
        node(head).link = params;
        if (depth >= model::kMaxComponentDepth) {
            return true;
        }
        for (Ref m : model::items_in(src.link)) {
            Ref mc = model::kNone;
            if (!copy_into(head, m, depth + 1, mc)) {
                return false;
            }
        }
        return true;
    }
    default:
        return true;
    }
}

void set_reference(Ref c, const std::string& ref) {
    std::string params = model::component_parameters(c);
    std::vector<std::string> fields;
    size_t start = 0;
    while (true) {
        size_t sep = params.find('\x7F', start);
        fields.push_back(params.substr(start, sep == std::string::npos ? std::string::npos : sep - start));
        if (sep == std::string::npos) {
            break;
        }
        start = sep + 1;
    }
    if (fields.size() < 2) {
        fields.resize(2);
    }
    fields[1] = ref;
    std::string joined;
    for (size_t i = 0; i < fields.size(); ++i) {
        joined += (i == 0 ? "" : "\x7F") + fields[i];
    }
    Ref head = node(c).link;
    Ref chain = model::make_chain(joined);
    if (head == model::kNone || chain == model::kNone) {
        return;
    }
    model::release_chain_nodes(node(head).link);
    node(head).link = chain;
}

} // namespace

Ref copy_item(Ref ring, Ref item) {
    Ref made = model::kNone;
    if (!copy_into(ring, item, 0, made)) {
        if (made != model::kNone) {
            model::DeleteItem(made);
        }
        return model::kNone;
    }
    return made;
}

std::string raise_reference(std::string_view ref, int increment) {
    size_t i = 0;
    while (i < ref.size() && std::isalpha(static_cast<unsigned char>(ref[i]))) {
        ++i;
    }
    size_t j = i;
    while (j < ref.size() && std::isdigit(static_cast<unsigned char>(ref[j]))) {
        ++j;
    }
    if (j == i || j - i > 9) {
        return std::string(ref);
    }
    int64_t v = std::stoll(std::string(ref.substr(i, j - i))) + increment;
    if (v < 0) {
        return std::string(ref);
    }
    return std::string(ref.substr(0, i)) + std::to_string(v) + std::string(ref.substr(j));
}

bool block_has_references(const Block& b) {
    if (!b.defined()) {
        return false;
    }
    for (Ref r : block_members(b, *b.doc, false)) {
        if (node(r).item_kind() == model::kComponent && !model::ComponentField(r, 1).empty()) {
            return true;
        }
    }
    return false;
}

BlockResult block_copy(const Block& b, model::Document& to, Point target, int increment) {
    BlockResult res;
    if (!b.defined()) {
        return res;
    }
    std::vector<Ref> members = block_members(b, *b.doc, false);
    std::vector<Ref> made;
    made.reserve(members.size());
    Ref ring = to.ring();
    for (Ref r : members) {
        Ref c = copy_item(ring, r);
        if (c == model::kNone) {
            break; // out of Nodes: what was copied stays, recorded
        }
        carry_whole(b, c, target);
        if (increment != 0 && node(c).item_kind() == model::kComponent) {
            std::string ref = model::ComponentField(c, 1);
            if (!ref.empty()) {
                set_reference(c, raise_reference(ref, increment));
            }
        }
        made.push_back(c);
    }
    // Copied Components take their sorted places among the Components.
    bool any_component = false;
    for (Ref c : made) {
        any_component = any_component || node(c).item_kind() == model::kComponent;
    }
    if (any_component) {
        model::ComponentOrder order(ring);
        for (Ref c : made) {
            if (node(c).item_kind() == model::kComponent) {
                order.insert(c);
            }
        }
    }
    int number = 0;
    for (Ref c : made) {
        RecordCreated(to, c, number++);
        res.area.add(item_area(c));
    }
    res.items = static_cast<int>(made.size());
    if (res.items != 0) {
        to.mark_modified();
    }
    return res;
}

// --- Delete --------------------------------------------------------------------------------------------

BlockResult block_delete(const Block& b, bool inside, SpatialIndex* index) {
    BlockResult res;
    if (!b.defined()) {
        return res;
    }
    model::Document& doc = *b.doc;
    const bool in_step = index != nullptr && index->covers(doc);
    std::vector<Ref> gone;
    if (inside) {
        gone = block_members(b, doc, false, in_step ? index : nullptr);
    } else {
        for (Ref r : model::items_in(doc.ring())) {
            if (!node(r).hidden() && outside_block(b, doc, r)) {
                gone.push_back(r);
            }
        }
    }
    int number = 0;
    for (Ref r : gone) {
        res.area.add(item_area(r));
        if (in_step) {
            index->removed(r);
        }
        RecordDeleted(doc, r, number++);
    }
    if (in_step) {
        index->adopt(doc);
    }
    res.items = static_cast<int>(gone.size());
    if (res.items != 0) {
        doc.mark_modified();
    }
    return res;
}

// --- Compare -------------------------------------------------------------------------------------------

namespace {

void set_mark(Ref item, bool on) {
    auto f = [on](Ref r) {
        Node& n = node(r);
        n.kind = on ? static_cast<uint8_t>(n.kind | model::kMarkFlag) : static_cast<uint8_t>(n.kind & ~model::kMarkFlag);
    };
    f(item);
    if (node(item).item_kind() == model::kComponent && node(item).link != model::kNone) {
        model::walk_tree(node(item).link, [&](Ref m, int) { f(m); });
    }
}

Point origin_of(const Node& n) {
    switch (n.item_kind()) {
    case model::kArc:
        return Point{n.arc.x0, n.arc.y0};
    case model::kPad:
        return Point{n.pad.x0, n.pad.y0};
    case model::kText:
        return Point{n.text.x0, n.text.y0};
    default:
        return Point{n.line.x1, n.line.y1};
    }
}

bool near3(int64_t a, int64_t b) {
    return a - b <= 3 && b - a <= 3;
}

bool near3(Point a, Point b) {
    return near3(a.x, b.x) && near3(a.y, b.y);
}

bool near_angle(model::Angle a, model::Angle b) {
    return static_cast<model::Angle>(a - b) <= 3 || static_cast<model::Angle>(b - a) <= 3;
}

// Whether `other` stands for `member` shifted by d.
bool counterpart(Ref member, Ref other, Point d) {
    const Node& m = node(member);
    const Node& o = node(other);
    if (m.item_kind() != o.item_kind() || m.layer != o.layer || m.size != o.size) {
        return false;
    }
    auto shifted = [&](Point p) { return Point{model::clamp_coord(int64_t{p.x} + d.x), model::clamp_coord(int64_t{p.y} + d.y)}; };
    if (!near3(shifted(origin_of(m)), origin_of(o))) {
        return false;
    }
    switch (m.item_kind()) {
    case model::kLine:
    case model::kPointGroup:
        return near3(shifted(Point{m.line.x2, m.line.y2}), Point{o.line.x2, o.line.y2});
    case model::kArc:
        return near3(m.arc.radius, o.arc.radius) && near_angle(m.arc.start, o.arc.start) &&
               near_angle(m.arc.sweep, o.arc.sweep) && m.arc.ellipse == o.arc.ellipse &&
               near_angle(m.arc.angle, o.arc.angle);
    case model::kPad:
        return near3(m.pad.width, o.pad.width) && near3(m.pad.height, o.pad.height) &&
               near3(m.pad.hole, o.pad.hole) && near_angle(m.pad.angle, o.pad.angle) &&
               model::pin_text(member) == model::pin_text(other);
    case model::kText:
        return near3(m.text.length, o.text.length) && near_angle(m.text.angle, o.text.angle) &&
               m.text.anchor_font == o.text.anchor_font && model::GetText(member) == model::GetText(other);
    case model::kComponent:
        return near3(shifted(Point{m.box.x2, m.box.y2}), Point{o.box.x2, o.box.y2}) &&
               model::component_parameters(member) == model::component_parameters(other);
    default:
        return true;
    }
}

int64_t cell_key(Point p) {
    return (model::floor_div(p.x, 8) << 32) ^ (model::floor_div(p.y, 8) & 0xFFFFFFFF);
}

} // namespace

BlockResult block_compare(const Block& b, model::Document& doc, Point target, const SpatialIndex* index) {
    BlockResult res;
    if (!b.defined()) {
        return res;
    }
    Point d{static_cast<Coord>(int64_t{target.x} - b.source.x), static_cast<Coord>(int64_t{target.y} - b.source.y)};
    model::walk_tree(doc.ring(), [](Ref r, int) { node(r).kind &= static_cast<uint8_t>(~model::kMarkFlag); });
    Block there = b;
    there.doc = &doc;
    set_bounds(there, model::clamp_coord(int64_t{b.left} + d.x), model::clamp_coord(int64_t{b.bottom} + d.y),
               model::clamp_coord(int64_t{b.right} + d.x), model::clamp_coord(int64_t{b.top} + d.y));
    for (Point& p : there.outline) {
        p = Point{model::clamp_coord(int64_t{p.x} + d.x), model::clamp_coord(int64_t{p.y} + d.y)};
    }
    // The members are taken before the other area is marked: the two may overlap.
    std::vector<Ref> members = block_members(b, *b.doc, false, b.doc == &doc ? index : nullptr);
    std::unordered_multimap<int64_t, Ref> marked;
    for (Ref r : block_members(there, doc, false, index)) {
        set_mark(r, true);
        marked.emplace(cell_key(origin_of(node(r))), r);
        res.area.add(item_area(r));
    }
    for (Ref m : members) {
        res.area.add(item_area(m));
        Point o = origin_of(node(m));
        Point want{model::clamp_coord(int64_t{o.x} + d.x), model::clamp_coord(int64_t{o.y} + d.y)};
        Ref found = model::kNone;
        int64_t cx = model::floor_div(want.x, 8), cy = model::floor_div(want.y, 8);
        for (int64_t gx = cx - 1; gx <= cx + 1 && found == model::kNone; ++gx) {
            for (int64_t gy = cy - 1; gy <= cy + 1 && found == model::kNone; ++gy) {
                auto range = marked.equal_range((gx << 32) ^ (gy & 0xFFFFFFFF));
                for (auto it = range.first; it != range.second; ++it) {
                    if (node(it->second).marked() && counterpart(m, it->second, d)) {
                        found = it->second;
                        break;
                    }
                }
            }
        }
        if (found != model::kNone) {
            set_mark(found, false);
        } else {
            set_mark(m, true);
        }
    }
    for (Ref r : model::items_in(doc.ring())) {
        res.items += node(r).marked() ? 1 : 0;
    }
    if (b.doc != &doc) {
        for (Ref r : model::items_in(b.doc->ring())) {
            res.items += node(r).marked() ? 1 : 0;
        }
    }
    return res;
}

// --- Build ---------------------------------------------------------------------------------------------

Ref block_build(Block& b, const std::array<std::string, 5>& fields, bool pseudo) {
    if (!b.defined()) {
        return model::kNone;
    }
    model::Document& doc = *b.doc;
    std::vector<Ref> inside = block_members(b, doc, false);
    if (inside.empty()) {
        return model::kNone;
    }
    std::string params;
    for (size_t i = 0; i < fields.size(); ++i) {
        params += (i == 0 ? "" : "\x7F") + fields[i];
    }
    while (!params.empty() && params.back() == '\x7F') {
        params.pop_back();
    }
    Ref c = model::make_component(doc.ring(), 0, 0, params);
    if (c == model::kNone) {
        return model::kNone;
    }
    Ref head = node(c).link;
    node(head).box.x1 = b.source.x;
    node(head).box.y1 = b.source.y;
    for (Ref r : inside) {
        Node& n = node(r);
        if (!pseudo && n.item_kind() == model::kComponent && n.link != model::kNone) {
            // Dissolved: its members join the new Component, the empty shell goes.
            Ref old_head = n.link;
            while (!model::ring_empty(old_head)) {
                Ref m = model::first_item(old_head);
                model::MoveBefore(m, head);
                if (node(m).item_kind() == model::kText) {
                    display::measure_text_item(m);
                }
            }
            model::DeleteItem(r);
            continue;
        }
        model::MoveBefore(r, head);
        if (n.item_kind() == model::kText) {
            display::measure_text_item(r);
        }
    }
    model::close_component(c);
    model::sort_component(c);
    purge_undo(doc);
    purge_redo(doc);
    items_changed(doc);
    doc.mark_modified();
    release_block(b);
    return c;
}

} // namespace trazel::edit
