// The isolation output: drill holes and the "$IS"/"$FLD" tool paths as milling files.
#include "cam/milling.h"

#include <algorithm>
#include <charconv>
#include <map>
#include <set>
#include <vector>

#include "cam/excellon.h"
#include "cam/gerber_writer.h"
#include "cam/pen_path.h"
#include "display/trig.h"
#include "model/fixed.h"
#include "model/out_buffer.h"

namespace trazel::cam {

namespace {

using model::Node;
using model::Ref;

// Text strokes add a tool of their own only from this width up.
constexpr int64_t kMinTextTool = 656;
// Elliptic arcs have no "AA" form: they go out as chords of this many angle units.
constexpr uint32_t kEllipseStep = 1024;

// 1/1000 inch, halves away from zero.
int64_t mill(int64_t v) {
    int64_t m = (model::abs64(v) * 1000 + 32768) / 65536;
    return v < 0 ? -m : m;
}

struct Writer {
    const MillRowSettings& s;
    PenPath pen{0};

    int64_t x(int64_t v) const {
        return mill(v);
    }
    int64_t y(int64_t v) const {
        return s.mirror ? -mill(v) : mill(v);
    }
    void tool(int64_t size) {
        pen.lift();
        pen.command("TC" + std::to_string(size));
        pen.set_jump(size);
    }
    void arc(const Node& n);
};

void Writer::arc(const Node& n) {
    const model::ArcFields& a = n.arc;
    uint32_t sweep = a.sweep == 0 ? 65536u : a.sweep;
    auto point = [&](uint32_t angle, int64_t& px, int64_t& py) {
        model::Angle an = static_cast<model::Angle>(angle & 0xFFFF);
        int64_t dx = model::mul16_round(a.radius, display::cos16(an));
        int64_t dy = model::mul16_round(a.radius, display::sin16(an));
        if (a.ellipse != 0) {
            dy = model::mul16_round(dy, a.ellipse);
            display::Rotation rot = display::Rotation::of(a.angle);
            int64_t rx = rot.x(dx, dy), ry = rot.y(dx, dy);
            dx = rx;
            dy = ry;
        }
        px = x(a.x0 + dx);
        py = y(a.y0 + dy);
    };
    if (a.ellipse != 0) {
        // Chords, each from where the last ended, so the ellipse is one pen-down path.
        int64_t px, py;
        point(a.start, px, py);
        pen.move(px, py);
        for (uint32_t done = 0; done < sweep;) {
            done = std::min(sweep, done + kEllipseStep);
            point(a.start + done, px, py);
            pen.draw(px, py);
        }
        return;
    }
    int64_t sx, sy, ex, ey;
    point(a.start, sx, sy);
    point(a.start + sweep, ex, ey);
    // Counter-clockwise on the board; a mirrored file turns the other way.
    int64_t milli = (static_cast<int64_t>(sweep) * 360000 + 32768) / 65536;
    if (s.mirror) {
        milli = -milli;
    }
    int64_t cx = x(a.x0), cy = y(a.y0);
    bool from_end = pen.second_end_nearer(sx, sy, ex, ey);
    if (from_end) {
        pen.move(ex, ey);
        pen.arc_to(cx, cy, -milli, sx, sy);
    } else {
        pen.move(sx, sy);
        pen.arc_to(cx, cy, milli, ex, ey);
    }
}

// "$IS" followed by a number from 1 up, without leading zeros; 0 for any other name.
int pass_number(std::string_view name) {
    if (!name.starts_with("$IS") || name.size() == 3 || name[3] == '0' || name.size() > 12) {
        return 0;
    }
    int n = 0;
    auto [end, ec] = std::from_chars(name.data() + 3, name.data() + name.size(), n);
    return ec == std::errc() && end == name.data() + name.size() ? n : 0;
}

bool tool_path(const Node& n, int layer) {
    uint8_t k = n.item_kind();
    // Solids are copper left standing, not a path of the tool.
    return n.layer == layer && n.size > 0 && (k == model::kLine || k == model::kArc);
}

std::string drill_text(const model::Document& doc, const MillRowSettings& s) {
    Writer w{s};
    std::map<int64_t, std::vector<Ref>> by_size; // ascending tool sizes, holes in Document order
    model::walk_tree(doc.ring(), [&](Ref r, int) {
        const Node& n = model::node(r);
        if (n.hidden()) {
            return false;
        }
        if (n.item_kind() == model::kPad && pad_has_hole(n)) {
            by_size[mill(n.pad.hole)].push_back(r);
        }
        return true;
    });
    for (const auto& [size, pads] : by_size) {
        w.tool(size);
        for (Ref r : pads) {
            const Node& n = model::node(r);
            w.pen.move(w.x(n.pad.x0), w.y(n.pad.y0));
            w.pen.command("PP");
        }
    }
    w.pen.home();
    return w.pen.take();
}

std::string paths_text(const model::Document& doc, const MillRowSettings& s) {
    Writer w{s};
    std::set<int64_t> tools;
    std::vector<std::pair<int, Ref>> groups; // (pass, Component); "$FLD" after every pass
    constexpr int kFlood = 1 << 30;
    model::walk_tree(doc.ring(), [&](Ref r, int) {
        const Node& n = model::node(r);
        if (n.hidden()) {
            return false;
        }
        if (tool_path(n, s.layer)) {
            tools.insert(mill(n.size));
        } else if (n.item_kind() == model::kText && n.layer == s.layer) {
            text_stroke_widths(r, [&](model::Length t) {
                if (t >= kMinTextTool) {
                    tools.insert(mill(t));
                }
            });
        } else if (n.item_kind() == model::kComponent) {
            std::string name = model::ComponentField(r, 0);
            if (int pass = pass_number(name); pass > 0) {
                groups.emplace_back(pass, r);
            } else if (name == "$FLD") {
                groups.emplace_back(kFlood, r);
            }
        }
        return true;
    });
    std::stable_sort(groups.begin(), groups.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    for (int64_t tool : tools) {
        w.tool(tool);
        for (const auto& g : groups) {
            model::walk_tree(model::member_ring(g.second), [&](Ref r, int) {
                const Node& n = model::node(r);
                if (n.hidden()) {
                    return false;
                }
                if (!tool_path(n, s.layer) || mill(n.size) != tool) {
                    return true;
                }
                if (n.item_kind() == model::kLine) {
                    w.pen.segment(w.x(n.line.x1), w.y(n.line.y1), w.x(n.line.x2), w.y(n.line.y2));
                } else {
                    w.arc(n);
                }
                return true;
            });
        }
    }
    w.pen.home();
    return w.pen.take();
}

} // namespace

std::string mill_row_text(const model::Document& doc, MillRow row, const MillRowSettings& s) {
    return row == kMillDrill ? drill_text(doc, s) : paths_text(doc, s);
}

bool write_mill_files(const model::Document& doc, const MillSettings& s, std::string* failed) {
    for (int row = kMillDrill; row <= kMillRoute; ++row) {
        const MillRowSettings& r = s.rows[static_cast<size_t>(row)];
        if (r.file.empty()) {
            continue;
        }
        std::string path = s.prefix + r.file;
        std::string why;
        if (!model::write_whole_file(path, mill_row_text(doc, static_cast<MillRow>(row), r), &why)) {
            if (failed) {
                *failed = path;
            }
            return false;
        }
    }
    return true;
}

} // namespace trazel::cam
