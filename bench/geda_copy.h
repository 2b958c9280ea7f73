#pragma once
// The gEDA PCB copy of a board that pcb-rnd routes, for the router benchmark: pcb-rnd's Autotrax reader
// gives pads no terminal names (so no netlist can name them), hence this format.  Each Component becomes
// an Element named by its reference with our pin numbers; the nets become a NetList of
// Connect("REF-PIN").  Only the pads are copied, no tracks or vias: both routers start from the board
// unrouted (ours clears the pre-routes first).
//
// Geometry: units are 1/100 mil in square brackets, Y turned downwards (gEDA's Y grows down).  A round
// through-hole pad is a Pin; a square one a square Pin; an oblong or oblong-rectangular one a round Pin
// of its smaller size plus a Pad of its whole shape on each side (the same pin number, so the same
// terminal).  A surface pad is a Pad (a stroke of the pad's smaller size, square ends for rectangular
// pads), "onsolder" on a bottom layer.  Two copper groups, Groups("1,c:2,s"); the route style carries
// our track width, via pad and hole and the line-to-pad clearance.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "model/model.h"

namespace bench {

namespace geda {

namespace model = trazel::model;
using model::Coord;
using model::Ref;

// Coordinate units to 1/100 mil, rounded to a tenth of a mil (a coordinate unit is 1.5 hundredths of a
// mil, so a value typed in whole mils comes back whole).
inline long cmil(double v) {
    return std::lround(v * 10000.0 / 65536.0) * 10;
}

struct Writer {
    std::FILE* f;
    double height; // the board's top edge, for turning Y downwards
    double mark_x, mark_y;

    long X(double x) const {
        return cmil(x - mark_x);
    }
    long Y(double y) const {
        return cmil((height - y) - mark_y);
    }
};

// One pad stroke from (x1, y1) to (x2, y2) of width `thick`, all in coordinate units.
inline void pad_line(const Writer& w, double x1, double y1, double x2, double y2, double thick, double clear,
                     const std::string& pin, const char* flags) {
    std::fprintf(w.f, "\tPad[%ld %ld %ld %ld %ld %ld %ld \"%s\" \"%s\" \"%s\"]\n", w.X(x1), w.Y(y1), w.X(x2), w.Y(y2),
                 cmil(thick), cmil(2 * clear), cmil(thick + 2 * 3 * 65.536), pin.c_str(), pin.c_str(), flags);
}

// The stroke of a w x h pad at its angle: a segment along its longer side, its smaller size wide.
inline void pad_shape(const Writer& w, const model::Node& n, double clear, const std::string& pin, bool square,
                      bool bottom) {
    double pw = n.pad.width, ph = n.pad.height, a = n.pad.angle * 2 * M_PI / 65536.0;
    double half = std::fabs(pw - ph) / 2, ux = pw >= ph ? 1 : 0, uy = pw >= ph ? 0 : 1;
    double dx = (ux * std::cos(a) - uy * std::sin(a)) * half, dy = (ux * std::sin(a) + uy * std::cos(a)) * half;
    std::string flags = std::string(square ? "square" : "") + (bottom ? (square ? ",onsolder" : "onsolder") : "");
    pad_line(w, n.pad.x0 - dx, n.pad.y0 - dy, n.pad.x0 + dx, n.pad.y0 + dy, std::min(pw, ph), clear, pin,
             flags.c_str());
}

} // namespace geda

// For the pour benchmark the copy also carries the tracks and vias, with the pour's isolations as their
// clearances (gEDA gives a clearance as twice the gap), and, with `polygon`, a clearing polygon over
// the box on bottom (or top) copper.
struct GedaPour {
    double track_gap = 0, pad_gap = 0; // Ti, Pi in coordinate units
    bool polygon = false;
    bool bottom = true; // the polygon's side
    double x1 = 0, y1 = 0, x2 = 0, y2 = 0;
};

// Writes the copy; false when the file cannot be written.  The nets are the Signals of the Components'
// pinned pads, as `gen_board --expect` lists them.
inline bool write_geda(const trazel::model::Document& d, const std::filesystem::path& path,
                       const GedaPour* pour = nullptr) {
    namespace model = trazel::model;
    using model::Ref;
    const model::Setup& s = d.setup;
    Ref ring = d.ring();

    // The extent of the copper, for the board size and the Y turn.
    double x2 = 0, y2 = 0;
    model::walk_tree(ring, [&](Ref r, int) {
        const model::Node& n = model::node(r);
        if (n.item_kind() == model::kPad) {
            x2 = std::max(x2, double(n.pad.x0));
            y2 = std::max(y2, double(n.pad.y0));
        }
    });
    const double margin = 0.2 * 65536;
    geda::Writer w{std::fopen(path.string().c_str(), "wb"), y2 + margin, 0, 0};
    if (w.f == nullptr) {
        return false;
    }
    auto bottom = [&](int layer) {
        return (s.layers[static_cast<size_t>(layer)].type & model::kLayerBottom) != 0;
    };
    const double clear = pour ? pour->pad_gap : s.clear_line_pad;
    std::fprintf(w.f, "# release: pcb 4.0.0\nFileVersion[20070407]\n\n");
    std::fprintf(w.f, "PCB[\"%s\" %ld %ld]\n\n", "board", geda::cmil(x2 + margin), geda::cmil(y2 + margin));
    std::fprintf(w.f, "Grid[1000.0 0 0 0]\nCursor[0 0 0.0]\nPolyArea[3100.006200]\nThermal[0.500000]\n");
    std::fprintf(w.f, "DRC[%ld %ld %ld 700 1500 1000]\n", geda::cmil(clear), geda::cmil(clear / 2),
                 geda::cmil(s.line_width));
    std::fprintf(w.f, "Flags(\"nameonpcb,clearnew,snappin\")\nGroups(\"1,c:2,s\")\n");
    std::fprintf(w.f, "Styles[\"Signal,%ld,%ld,%ld,%ld:Power,%ld,%ld,%ld,%ld:Fat,%ld,%ld,%ld,%ld:Skinny,%ld,%ld,%ld,%ld\"]\n\n",
                 geda::cmil(s.line_width), geda::cmil(s.via_diameter), geda::cmil(s.via_hole), geda::cmil(clear),
                 geda::cmil(s.line_width), geda::cmil(s.via_diameter), geda::cmil(s.via_hole), geda::cmil(clear),
                 geda::cmil(s.line_width), geda::cmil(s.via_diameter), geda::cmil(s.via_hole), geda::cmil(clear),
                 geda::cmil(s.line_width), geda::cmil(s.via_diameter), geda::cmil(s.via_hole), geda::cmil(clear));

    std::map<std::string, std::vector<std::string>> nets;
    for (Ref c : model::items_in(ring)) {
        const model::Node& cn = model::node(c);
        if (cn.item_kind() != model::kComponent || cn.link == model::kNone) {
            continue;
        }
        std::string ref = model::ComponentField(c, 1);
        std::vector<Ref> pads;
        for (Ref p : model::items_in(cn.link)) {
            if (model::node(p).item_kind() == model::kPad && (model::node(p).size & 7) != 0 &&
                (model::node(p).size & 7) != 7) {
                pads.push_back(p);
            }
        }
        if (pads.empty()) {
            continue;
        }
        const model::Node& first = model::node(pads.front());
        w.mark_x = first.pad.x0;
        w.mark_y = w.height - first.pad.y0;
        std::fprintf(w.f, "Element[\"\" \"%s\" \"%s\" \"%s\" %ld %ld 0 -5000 0 100 \"\"]\n(\n",
                     model::ComponentField(c, 0).c_str(), ref.c_str(), model::ComponentField(c, 2).c_str(),
                     geda::cmil(first.pad.x0), geda::cmil(w.height - first.pad.y0));
        int unnamed = 0;
        for (Ref p : pads) {
            const model::Node& n = model::node(p);
            std::string pin = model::pin_text(p);
            if (pin.empty()) {
                pin = "X" + std::to_string(++unnamed); // a terminal no net names
            }
            std::string sig = model::signal_name(model::item_signal(p));
            if (!sig.empty() && pin[0] != 'X') {
                nets[sig].push_back(ref + "-" + pin);
            }
            int type = n.size & 7;
            bool square = (type & 3) == 2;
            if (type <= 3) {
                double dia = std::min(n.pad.width, n.pad.height);
                std::fprintf(w.f, "\tPin[%ld %ld %ld %ld %ld %ld \"%s\" \"%s\" \"%s\"]\n", w.X(n.pad.x0), w.Y(n.pad.y0),
                             geda::cmil(dia), geda::cmil(2 * clear), geda::cmil(dia + 2 * 3 * 65.536),
                             geda::cmil(n.pad.hole), pin.c_str(), pin.c_str(),
                             square && n.pad.width == n.pad.height ? "square" : "");
                if (n.pad.width != n.pad.height) {
                    geda::pad_shape(w, n, clear, pin, square, false);
                    geda::pad_shape(w, n, clear, pin, square, true);
                }
            } else {
                geda::pad_shape(w, n, clear, pin, square, bottom(n.layer));
            }
        }
        std::fprintf(w.f, ")\n\n");
    }
    w.mark_x = w.mark_y = 0;
    if (pour != nullptr) {
        // Vias go before the layers; tracks on top and bottom copper into their layers.
        std::string layer_text[2];
        model::walk_tree(ring, [&](Ref r, int depth) {
            const model::Node& n = model::node(r);
            if (depth == 0 && n.item_kind() == model::kPad && (n.size & 7) == 3 && n.layer == 0) {
                std::fprintf(w.f, "Via[%ld %ld %ld %ld %ld %ld \"\" \"\"]\n", w.X(n.pad.x0), w.Y(n.pad.y0),
                             geda::cmil(n.pad.width), geda::cmil(2 * pour->pad_gap),
                             geda::cmil(n.pad.width + 2 * 3 * 65.536), geda::cmil(n.pad.hole));
            }
            int kind = s.layers[n.layer].kind();
            if (n.item_kind() != model::kLine || n.size == 0 || n.layer == 0 || kind != model::kLayerCopper) {
                return;
            }
            char line[200];
            std::snprintf(line, sizeof line, "\tLine[%ld %ld %ld %ld %ld %ld \"clearline\"]\n", w.X(n.line.x1),
                          w.Y(n.line.y1), w.X(n.line.x2), w.Y(n.line.y2), geda::cmil(n.size),
                          geda::cmil(2 * pour->track_gap));
            layer_text[bottom(n.layer) ? 1 : 0] += line;
        });
        if (pour->polygon) {
            char poly[300];
            std::snprintf(poly, sizeof poly, "\tPolygon(\"clearpoly\")\n\t(\n\t\t[%ld %ld] [%ld %ld] [%ld %ld] [%ld %ld]\n\t)\n",
                          w.X(pour->x1), w.Y(pour->y1), w.X(pour->x2), w.Y(pour->y1), w.X(pour->x2), w.Y(pour->y2),
                          w.X(pour->x1), w.Y(pour->y2));
            layer_text[pour->bottom ? 1 : 0] += poly;
        }
        std::fprintf(w.f, "Layer(1 \"top\")\n(\n%s)\nLayer(2 \"bottom\")\n(\n%s)\n", layer_text[0].c_str(),
                     layer_text[1].c_str());
        std::fprintf(w.f, "Layer(3 \"silk\")\n(\n)\nLayer(4 \"silk\")\n(\n)\n\n");
    } else {
        std::fprintf(w.f, "Layer(1 \"top\")\n(\n)\nLayer(2 \"bottom\")\n(\n)\nLayer(3 \"silk\")\n(\n)\nLayer(4 \"silk\")\n(\n)\n\n");
    }
    std::fprintf(w.f, "NetList()\n(\n");
    for (const auto& [name, nodes] : nets) {
        std::fprintf(w.f, "\tNet(\"%s\" \"(unknown)\")\n\t(\n", name.c_str());
        for (const std::string& node : nodes) {
            std::fprintf(w.f, "\t\tConnect(\"%s\")\n", node.c_str());
        }
        std::fprintf(w.f, "\t)\n");
    }
    std::fprintf(w.f, ")\n");
    return std::fclose(w.f) == 0;
}

} // namespace bench
