// Symbols from text templates and library Components copied into a Document.
#include "edit/place_symbols.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <vector>

#include "display/stroke_font.h"
#include "display/trig.h"
#include "edit/place_names.h"
#include "library/library.h"
#include "model/datafile.h"
#include "model/line_reader.h"
#include "model/numbers.h"
#include "resources/cmp_templates.h"

namespace trazel::edit {

using model::kNone;
using model::Node;
using model::node;

void measure_texts(Ref c) {
    model::walk_tree(model::member_ring(c), [](Ref r, int) {
        if (node(r).item_kind() == model::kText) {
            display::measure_text_item(r);
        }
    });
}

namespace {

// Reads Component records (the first line a "6" record) into `ring`; the new Component, or kNone.
Ref read_component(Ref ring, std::string_view text) {
    model::LineReader in;
    in.open_memory(text);
    if (in.ReadLine() <= 0) {
        return kNone;
    }
    Ref before = model::last_item(ring);
    if (!model::read_component_records(in, in.line(), ring, false, 4)) {
        return kNone;
    }
    Ref c = model::last_item(ring);
    if (c == before || c == kNone || node(c).item_kind() != model::kComponent) {
        return kNone;
    }
    return c;
}

model::Point turned(const display::Rotation& r, Coord x, Coord y) {
    return {model::clamp_coord(r.x(x, y)), model::clamp_coord(r.y(x, y))};
}

// Turns an Item about (0,0) by `a`: its points, and the angles Arcs, Pads, Texts and Components carry.
void turn_item(Ref item, const display::Rotation& r, model::Angle a) {
    model::for_each_point(
        item,
        [&](Coord& x, Coord& y) {
            model::Point p = turned(r, x, y);
            x = p.x;
            y = p.y;
        },
        [&](Node& n) {
            switch (n.item_kind()) {
            case model::kArc:
                n.arc.start = static_cast<model::Angle>(n.arc.start + a);
                n.arc.angle = static_cast<model::Angle>(n.arc.angle + a);
                break;
            case model::kPad:
                n.pad.angle = static_cast<model::Angle>(n.pad.angle + a);
                break;
            case model::kText:
                n.text.angle = static_cast<model::Angle>(n.text.angle + a);
                break;
            case model::kComponent:
                n.size = static_cast<uint16_t>(n.size + a);
                break;
            default:
                break;
            }
        });
}

// The vertices of a Solid set in chain order, each edge running to the next point, the box around them.
void set_solid(Ref solid, const std::vector<Point>& pts) {
    size_t k = 0;
    std::vector<Ref> chain;
    for (Ref v = node(solid).link; v != kNone; v = node(v).link) {
        chain.push_back(v);
    }
    if (chain.size() != pts.size() || pts.empty()) {
        return;
    }
    model::Box b;
    for (k = 0; k < chain.size(); ++k) {
        const Point& p = pts[k];
        const Point& q = pts[(k + 1) % pts.size()];
        Node& v = node(chain[k]);
        v.line.x1 = p.x;
        v.line.y1 = p.y;
        v.line.x2 = q.x;
        v.line.y2 = q.y;
        b.add(p.x, p.y);
    }
    Node& s = node(solid);
    s.line.x1 = static_cast<Coord>(b.x1);
    s.line.y1 = static_cast<Coord>(b.y1);
    s.line.x2 = static_cast<Coord>(b.x2);
    s.line.y2 = static_cast<Coord>(b.y2);
}

std::vector<Ref> members_of(Ref c, bool solids) {
    std::vector<Ref> v;
    for (Ref m : model::items_in(model::member_ring(c))) {
        const Node& n = node(m);
        if (n.item_kind() == model::kLine && (n.size == 0) == solids && (!solids || n.link != kNone)) {
            v.push_back(m);
        }
    }
    return v;
}

std::string distance_text(int64_t units, int decimals) {
    double inches = static_cast<double>(units) / 65536.0;
    char buf[48];
    if (decimals < 0) {
        std::snprintf(buf, sizeof buf, "%.*fmm", std::min(-decimals, 4), inches * 25.4);
    } else {
        std::snprintf(buf, sizeof buf, "%.*f\"", std::min(decimals, 4), inches);
    }
    return buf;
}

} // namespace

Ref build_symbol(Ref ring, std::string_view name, std::string_view signal, int layer, Point at) {
    std::string_view t = resources::cmp_template(name);
    if (t.empty() || t[0] != '6') {
        return kNone;
    }
    // The closing record must be there: a template cut short gives nothing.
    std::string_view rest = t;
    while (!rest.empty() && (rest.back() == '\n' || rest.back() == '\r')) {
        rest.remove_suffix(1);
    }
    size_t last = rest.rfind('\n');
    std::string_view closing = last == std::string_view::npos ? rest : rest.substr(last + 1);
    if (closing.substr(0, 4) != "0 6 ") {
        return kNone;
    }
    std::string text;
    text.reserve(t.size() + 16 * signal.size());
    for (char ch : t) {
        if (ch == '*') {
            text.append(signal);
        } else if (ch != '\r') {
            text += ch;
        }
    }
    // The template's Component text is the symbol's Reference ID ("$$SIG", "$$DIM" ...): the placed
    // symbol gets it as its second field, behind an empty pattern.
    text.insert(library::parameters_start(std::string_view(text).substr(0, text.find('\n'))), 1, '\x7F');
    Ref c = read_component(ring, text);
    if (c == kNone) {
        return kNone;
    }
    model::walk_tree(model::member_ring(c), [&](Ref r, int) {
        if (node(r).layer == 255) {
            node(r).layer = static_cast<uint8_t>(layer);
        }
    });
    model::offset_item(c, at.x, at.y);
    measure_texts(c);
    model::close_component(c);
    return c;
}

void stretch_port(Ref port) {
    Ref text = kNone;
    for (Ref m : model::items_in(model::member_ring(port))) {
        if (node(m).item_kind() == model::kText) {
            text = m;
            break;
        }
    }
    if (text == kNone) {
        return;
    }
    display::measure_text_item(text);
    Node& t = node(text);
    Coord shift = port_name_shift(t.text.length);
    Coord former = t.text.x0;
    t.text.x0 = model::clamp_coord(int64_t{former} - shift);
    for (Ref m : members_of(port, false)) {
        Node& l = node(m);
        if (l.line.x1 < former) {
            l.line.x1 = model::clamp_coord(int64_t{l.line.x1} - shift);
        }
        if (l.line.x2 < former) {
            l.line.x2 = model::clamp_coord(int64_t{l.line.x2} - shift);
        }
    }
    model::close_component(port);
}

bool dimension_ends(Ref dimension, Point& first, Point& second) {
    std::vector<Ref> heads = members_of(dimension, true);
    if (heads.size() < 2) {
        return false;
    }
    const Node& a = node(node(heads[0]).link);
    const Node& b = node(node(heads[1]).link);
    first = {a.line.x1, a.line.y1};
    second = {b.line.x1, b.line.y1};
    return true;
}

void set_dimension(Ref dimension, Point first, Point second, int decimals, Coord text_height) {
    std::vector<Ref> heads = members_of(dimension, true);
    std::vector<Ref> strokes = members_of(dimension, false);
    int64_t dx = int64_t{second.x} - first.x, dy = int64_t{second.y} - first.y;
    model::Angle a = display::atan2_16(dy, dx);
    display::Rotation r = display::Rotation::of(a);
    auto at = [&](Point o, double ix, double iy) {
        Point d = turned(r, static_cast<Coord>(std::lround(ix * 65536)), static_cast<Coord>(std::lround(iy * 65536)));
        return Point{model::clamp_coord(int64_t{o.x} + d.x), model::clamp_coord(int64_t{o.y} + d.y)};
    };
    if (heads.size() >= 2) {
        set_solid(heads[0], {first, at(first, .085, -.025), at(first, .085, .025)});
        set_solid(heads[1], {second, at(second, -.085, .025), at(second, -.085, -.025)});
    }
    for (size_t i = 0; i < strokes.size() && i < 2; ++i) {
        Point o = i == 0 ? first : second;
        Point p = at(o, 0, -.05), q = at(o, 0, .05);
        Node& l = node(strokes[i]);
        l.line.x1 = p.x;
        l.line.y1 = p.y;
        l.line.x2 = q.x;
        l.line.y2 = q.y;
    }
    Point mid{static_cast<Coord>((int64_t{first.x} + second.x) / 2), static_cast<Coord>((int64_t{first.y} + second.y) / 2)};
    for (Ref m : model::items_in(model::member_ring(dimension))) {
        Node& t = node(m);
        if (t.item_kind() != model::kText) {
            continue;
        }
        Point p = at(mid, 0, .03);
        t.text.x0 = p.x;
        t.text.y0 = p.y;
        t.text.angle = a;
        t.size = static_cast<uint16_t>(std::clamp<Coord>(text_height, 1, 65535));
        int64_t length = static_cast<int64_t>(model::isqrt64(static_cast<uint64_t>(dx * dx + dy * dy)));
        model::SetText(m, distance_text(length, decimals));
        display::measure_text_item(m);
        break;
    }
    model::close_component(dimension);
}

Ref duplicate_component(Ref ring, Ref c) {
    return read_component(ring, model::component_records(c));
}

std::unordered_set<std::string> references_in(Ref ring) {
    std::unordered_set<std::string> refs;
    for (Ref r : model::items_in(ring)) {
        if (node(r).item_kind() == model::kComponent) {
            refs.insert(model::upper_ascii(model::ComponentField(r, 1)));
        }
    }
    return refs;
}

bool first_free_reference(std::string& ref, std::unordered_set<std::string>& taken) {
    if (ref.find('?') != std::string::npos) {
        for (char& c : ref) {
            c = c == '?' ? '1' : c;
        }
        while (taken.count(model::upper_ascii(ref)) != 0) {
            std::string next = advance_name(ref);
            if (next == ref) {
                return false;
            }
            ref = next;
        }
    }
    taken.insert(model::upper_ascii(ref));
    return true;
}

Coord dimension_text_height(Coord setting) {
    return setting < 3 ? 6291 : setting;
}

Ref copy_library_component(Ref ring, const std::array<std::string, 5>& fields, model::Angle angle, Point at) {
    Ref src = model::first_item(library::scratch_ring());
    if (src == kNone || node(src).item_kind() != model::kComponent) {
        return kNone;
    }
    std::string params;
    int last_used = -1;
    std::array<std::string, 5> f;
    for (int i = 0; i < 5; ++i) {
        f[static_cast<size_t>(i)] = fields[static_cast<size_t>(i)].empty() ? model::ComponentField(src, i)
                                                                           : fields[static_cast<size_t>(i)];
        if (!f[static_cast<size_t>(i)].empty()) {
            last_used = i;
        }
    }
    for (int i = 0; i <= last_used; ++i) {
        if (i > 0) {
            params += '\x7F';
        }
        params += f[static_cast<size_t>(i)];
    }
    std::string text = model::component_records(src);
    size_t eol = text.find("\r\n");
    if (eol == std::string::npos) {
        return kNone;
    }
    size_t at_params = library::parameters_start(std::string_view(text).substr(0, eol));
    text.replace(at_params, eol - at_params, params.empty() ? std::string("*") : params);
    Ref c = read_component(ring, text);
    if (c == kNone) {
        return kNone;
    }
    if (angle != 0) {
        turn_item(c, display::Rotation::of(angle), angle);
    }
    model::offset_item(c, at.x, at.y);
    measure_texts(c);
    model::close_component(c);
    return c;
}

} // namespace trazel::edit
