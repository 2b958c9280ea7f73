// Flood fill: the settings and the run over the shared fill machinery.
#include "copper/flood.h"

#include <algorithm>
#include <cstring>

#include "copper/fill_run.h"
#include "nets/net_state.h"

namespace trazel::copper {

FillSettings fill_settings(const model::Setup& s) {
    FillSettings f;
    f.destination = s.flood_target;
    f.sources = s.flood_sources;
    f.thermal.assign(s.thermal_signal, strnlen(s.thermal_signal, sizeof s.thermal_signal));
    f.direct.assign(s.direct_signal, strnlen(s.direct_signal, sizeof s.direct_signal));
    f.width = s.fill_width;
    f.iso_lines = s.fill_iso_lines;
    f.iso_pads = s.fill_iso_pads;
    return f;
}

namespace {
void put_name(char (&to)[32], const std::string& name) {
    std::memset(to, 0, sizeof to);
    std::memcpy(to, name.data(), std::min(name.size(), sizeof to - 1));
}
} // namespace

void store_fill_settings(model::Setup& s, const FillSettings& f) {
    s.flood_target = f.destination;
    s.flood_sources = f.sources;
    put_name(s.thermal_signal, f.thermal);
    put_name(s.direct_signal, f.direct);
    s.fill_width = f.width;
    s.fill_iso_lines = f.iso_lines;
    s.fill_iso_pads = f.iso_pads;
}

std::string unconnected_text(Point where, const model::Setup& s) {
    return "The power/ground pad at location:\n   X = " + nets::inches3(where.x - s.origin_x) + "\"  Y = " +
           nets::inches3(where.y - s.origin_y) +
           "\"\ncannot be connected to the flood plane.\n\nDo you wish to continue?";
}

namespace {

Ref named_signal(const std::string& name) {
    return name.empty() ? model::kNone : model::find_signal(name, false);
}

// The Signal of the first Pad inside the Block that has one; else of the first through-hole Pad on the
// destination layer that has one.
Ref first_pad_signal(const model::Document& doc, const edit::Block& block, int destination) {
    Ref inside = model::kNone, thru = model::kNone;
    model::walk_tree(doc.ring(), [&](Ref r, int) {
        const model::Node& n = model::node(r);
        if (inside != model::kNone || n.hidden()) {
            return false;
        }
        if (n.item_kind() != model::kPad) {
            return true;
        }
        Ref s = model::item_signal(r);
        if (s == model::kNone) {
            return true;
        }
        if (edit::point_in_block(block, Point{n.pad.x0, n.pad.y0})) {
            inside = s;
        } else if (thru == model::kNone && n.layer == destination && (n.size & 7) >= 1 && (n.size & 7) <= 3) {
            thru = s;
        }
        return true;
    });
    return inside != model::kNone ? inside : thru;
}

} // namespace

FillResult flood_fill(model::Document& doc, const edit::Block& block, const FillSettings& settings, FillMode mode,
                      const FillHooks& hooks, platform::RunContext& run) {
    if (!block.defined_in(doc)) {
        return FillResult{};
    }
    FillRun fr(doc, block, hooks, run);
    fr.set_plain(settings.plain);
    fr.set_layers(settings.destination, settings.sources);
    Ref thermal = named_signal(settings.thermal), direct = named_signal(settings.direct);
    // A named thermal Signal is the pour's own: taking the first pad's instead could join two nets.
    Ref fill = thermal != model::kNone ? thermal : first_pad_signal(doc, block, settings.destination);
    // The direct Signal's copper is flowed over only when the pour carries that Signal.
    fr.mark_obstacles(fill, thermal, direct == fill ? direct : model::kNone);
    fr.set_width(settings.width);
    fr.set_isolation(settings.iso_lines, settings.iso_pads);
    fr.set_signal(fill != model::kNone ? fill : thermal);
    if (settings.width > 0) {
        fr.trace_contours(true);
    }
    fr.lay_border();
    Coord w = std::max<Coord>(settings.width, 66), r = w / 2;
    if (mode == FillMode::Flood) {
        fr.lay_rows(block.bottom + r + 33, w - w / 8, block.top - r - 33);
    } else {
        fr.lay_hatch(std::max(settings.mesh, w));
    }
    run.progress("Flood Fill", -1);
    if (fr.result().created > 0) {
        doc.mark_modified();
    }
    return fr.result();
}

} // namespace trazel::copper
