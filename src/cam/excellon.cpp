// The Excellon drill file: one tool block per drill size with hits, holes in Item order.
#include <vector>

#include "cam/photoplot.h"
#include "cam/plot_items.h"

namespace trazel::cam {

namespace {

// "T1C0.035", with "NP" after a non-plated tool in the bare form.  A reader of the standard header
// knows no such suffix, so with the header the plating goes into ";TYPE=" comment lines instead.
std::string tool_line(int number, const Tool& t, bool suffix, bool metric) {
    std::string s = "T" + std::to_string(number) + "C";
    // Millimetres to the micrometre, as drill sizes are given.
    s += metric ? decimal_string((gerber_nanometres(t.diameter) + 500) / 1000, 3) : "0" + size_string(t.diameter, 3);
    if (t.non_plated && suffix) {
        s += "NP";
    }
    return s;
}

// A metric coordinate: millimetres with a decimal point, so no reader has to know the digit count, to
// 0.1 micrometre: a micrometre grid would put 1/16 inch exactly half a step off.
std::string metric_coord(char axis, int64_t v) {
    int64_t nm = gerber_nanometres(v);
    int64_t tenths = (model::abs64(nm) + 50) / 100;
    return axis + decimal_string(nm < 0 ? -tenths : tenths, 4);
}

} // namespace

void write_excellon(PlotContext& ctx, TextOut& out) {
    const model::Setup& s = *ctx.setup;
    const ToolTable& tools = ctx.tools;
    // With the header a reader learns the units and the zero form instead of guessing them; without it
    // the file is the bare tool list that older drill software expects.
    // Millimetres always come with the header: a reader that finds none takes inches.
    bool metric = ctx.style.metric;
    bool header = ctx.excellon_header || metric;
    if (header) {
        out.line("M48");
        out.line(metric ? "METRIC,LZ" : "INCH,LZ");
    }
    int plating = -1;
    for (int i = 1; i <= tools.count; ++i) {
        const Tool& t = tools.tools[static_cast<size_t>(i)];
        if (t.hits == 0) {
            continue;
        }
        if (header && plating != static_cast<int>(t.non_plated)) {
            plating = t.non_plated;
            out.line(t.non_plated ? ";TYPE=NON_PLATED" : ";TYPE=PLATED");
        }
        out.line(tool_line(i, t, !header, metric));
    }
    out.line("%");

    struct Hole {
        Coord x, y;
    };
    std::vector<std::vector<Hole>> holes(static_cast<size_t>(tools.count + 1));
    for_each_plot_item(ctx.ring, [&](Ref r) {
        tick(ctx);
        const model::Node& n = model::node(r);
        if (n.item_kind() != model::kPad || !pad_has_hole(n)) {
            return;
        }
        int t = tools.find(n.pad.hole, hole_non_plated(n));
        if (t != 0) {
            holes[static_cast<size_t>(t)].push_back(Hole{n.pad.x0, n.pad.y0});
        }
    });

    for (int i = 1; i <= tools.count; ++i) {
        if (tools.tools[static_cast<size_t>(i)].hits == 0) {
            continue;
        }
        out.line("T" + std::to_string(i));
        bool first = true;
        std::string last_x, last_y;
        for (const Hole& h : holes[static_cast<size_t>(i)]) {
            int64_t hx = static_cast<int64_t>(h.x) - s.origin_x, hy = static_cast<int64_t>(h.y) - s.origin_y;
            std::string x = metric ? metric_coord('X', hx) : excellon_coord('X', hx);
            std::string y = metric ? metric_coord('Y', hy) : excellon_coord('Y', hy);
            std::string line;
            if (first || x != last_x) {
                line += x;
            }
            if (first || y != last_y) {
                line += y;
            }
            // A second hole on the very same spot is written in full rather than as an empty line,
            // so every hit of the tool table is in the file.
            if (line.empty()) {
                line = x + y;
            }
            out.line(line);
            first = false;
            last_x = std::move(x);
            last_y = std::move(y);
        }
    }
    out.line("T0");
    out.line("M30");
}

} // namespace trazel::cam
