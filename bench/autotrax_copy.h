#pragma once
// The Autotrax copy of a board that pcb-rnd reads, shared by the benchmarks that time pcb-rnd on the
// same board as ours.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>

#include "model/model.h"

namespace bench {

using trazel::model::Coord;
using trazel::model::Ref;
namespace model = trazel::model;

// "PCB FILE 4" in mils, every Item as a free primitive (pcb-rnd's reader loses the first pad of a
// COMP block, so components are written flat).  Layers by their type in the board's Layer table:
// copper 1 top and 6 bottom, silk 7 and 8, thru-hole pads 13 (multilayer); planes and drawing layers
// are left out (pcb-rnd cannot take the tracks of every layer in batch mode).
inline int autotrax_layer(const model::Setup& s, int layer) {
    const model::LayerEntry& l = s.layers[static_cast<size_t>(layer)];
    bool bottom = (l.type & model::kLayerBottom) != 0;
    switch (l.kind()) {
    case model::kLayerCopper:
        return bottom ? 6 : 1;
    case model::kLayerSilk:
        return layer == 0 ? 0 : bottom ? 8 : 7;
    default:
        return 0;
    }
}

inline long to_mil(Coord v) {
    return std::lround(static_cast<double>(v) * 1000.0 / 65536.0);
}

inline bool write_autotrax(const model::Document& d, const std::filesystem::path& path) {
    const model::Setup& setup = d.setup;
    Ref ring = d.ring();
    std::FILE* f = std::fopen(path.string().c_str(), "wb");
    if (!f) {
        return false;
    }
    std::fputs("PCB FILE 4\r\n", f);
    model::walk_tree(ring, [&](Ref r, int) {
        const model::Node& n = model::node(r);
        switch (n.item_kind()) {
        case model::kLine: {
            int l = autotrax_layer(setup, n.layer);
            if (l == 0) {
                return;
            }
            if (n.size != 0) {
                std::fprintf(f, "FT\r\n%ld %ld %ld %ld %ld %d\r\n", to_mil(n.line.x1), to_mil(n.line.y1),
                             to_mil(n.line.x2), to_mil(n.line.y2), to_mil(n.size), l);
            } else { // a pour: its box
                std::fprintf(f, "FF\r\n%ld %ld %ld %ld %d\r\n", to_mil(n.line.x1), to_mil(n.line.y1), to_mil(n.line.x2),
                             to_mil(n.line.y2), l);
            }
            return;
        }
        case model::kArc: {
            int l = autotrax_layer(setup, n.layer);
            if (l != 0) {
                // Quadrant bits from 0 degrees: the boards here have whole quadrants (and full circles).
                int quadrants = n.arc.sweep == 0 ? 15 : 0;
                for (uint32_t a = 0; a < n.arc.sweep; a += 16384) {
                    quadrants |= 1 << (((n.arc.start + a) >> 14) & 3);
                }
                std::fprintf(f, "FA\r\n%ld %ld %ld %d %ld %d\r\n", to_mil(n.arc.x0), to_mil(n.arc.y0),
                             to_mil(n.arc.radius), quadrants, to_mil(n.size), l);
            }
            return;
        }
        case model::kPad: {
            int code = n.size & 7;
            if (code == 3) {
                std::fprintf(f, "FV\r\n%ld %ld %ld %ld\r\n", to_mil(n.pad.x0), to_mil(n.pad.y0), to_mil(n.pad.width),
                             to_mil(n.pad.hole));
                return;
            }
            int l = code < 4 ? 13 : autotrax_layer(setup, n.layer);
            if (l == 0) {
                return;
            }
            int shape = code % 4 == 2 ? 2 : 1;
            std::fprintf(f, "FP\r\n%ld %ld %ld %ld %d %ld 1 %d\r\n1\r\n", to_mil(n.pad.x0), to_mil(n.pad.y0),
                         to_mil(n.pad.width), to_mil(n.pad.height), shape, code < 4 ? to_mil(n.pad.hole) : 0L, l);
            return;
        }
        case model::kText: {
            int l = autotrax_layer(setup, n.layer);
            std::string t = model::resolved_text(r);
            if (l != 0 && !t.empty()) {
                std::fprintf(f, "FS\r\n%ld %ld %ld 0 %ld %d\r\n%s\r\n", to_mil(n.text.x0), to_mil(n.text.y0),
                             to_mil(n.size), std::max(1L, to_mil(n.size / 6)), l, t.c_str());
            }
            return;
        }
        default:
            return;
        }
    });
    std::fputs("ENDPCB\r\n", f);
    return std::fclose(f) == 0;
}

} // namespace bench
