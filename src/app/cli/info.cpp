// trazel-cli info IN: what a file holds.
#include <algorithm>
#include <array>
#include <cstdio>
#include <string>

#include "app/cli/cli.h"
#include "images/block.h"

namespace trazel::cli {

namespace {

struct Counts {
    std::array<long, 9> top{};    // by row below
    std::array<long, 9> inside{}; // inside Components (and nested Documents)
};

// Rows of the Item table: the kinds, with Solids apart from Lines.
enum Row { kRowComponent, kRowLine, kRowSolid, kRowArc, kRowPad, kRowText, kRowPointGroup, kRowDocument, kRows };
constexpr const char* kRowNames[kRows] = {"Component", "Line", "Solid",       "Arc",
                                          "Pad",       "Text", "Point group", "Document"};

int row_of(model::Ref r) {
    using namespace model;
    switch (node(r).item_kind()) {
    case kComponent:
        return kRowComponent;
    case kLine:
        return is_solid(r) ? kRowSolid : kRowLine;
    case kArc:
        return kRowArc;
    case kPad:
        return kRowPad;
    case kText:
        return kRowText;
    case kPointGroup:
        return kRowPointGroup;
    case kDocument:
        return kRowDocument;
    default:
        return -1;
    }
}

} // namespace

int run_info(int argc, char** argv) {
    if (argc != 2 || (argv[1][0] == '-' && argv[1][1] != 0)) {
        return usage_error("info", argc < 2 ? "an input file is needed" : "one input file only");
    }
    std::string in = argv[1];
    Cli cli;
    model::Document* d = load(cli, in, 0);
    if (!d) {
        return 1;
    }
    using namespace model;
    const Setup& s = d->setup;
    char code = s.format_code;
    std::printf("File:    %s\n", in.c_str());
    std::printf("Format:  %c (%.*s)\n", code, static_cast<int>(format_name(code).size()), format_name(code).data());
    bool text_view = std::string_view(s.layers[0].name) == "TXT";
    std::printf("Kind:    %s\n", IsSchematic(s) ? "schematic" : text_view ? "text view" : "board or drawing");

    Counts counts;
    std::array<long, 256> per_layer{};
    bool any = false;
    Coord x1 = 0, y1 = 0, x2 = 0, y2 = 0;
    walk_tree(d->ring(), [&](Ref r, int depth) {
        int row = row_of(r);
        if (row < 0) {
            return;
        }
        (depth == 0 ? counts.top : counts.inside)[row]++;
        if (row != kRowComponent && row != kRowDocument) {
            per_layer[node(r).layer]++;
        }
        Coord a, b, c, e;
        if (depth == 0 && !node(r).hidden() && item_box(r, a, b, c, e)) {
            if (!any) {
                x1 = a, y1 = b, x2 = c, y2 = e;
                any = true;
            } else {
                x1 = std::min(x1, a), y1 = std::min(y1, b), x2 = std::max(x2, c), y2 = std::max(y2, e);
            }
        }
    });
    std::printf("\nItems           top level  in Components\n");
    for (int row = 0; row < kRows; ++row) {
        if (row == kRowDocument && counts.top[row] + counts.inside[row] == 0) {
            continue;
        }
        std::printf("  %-12s %10ld %14ld\n", kRowNames[row], counts.top[row], counts.inside[row]);
    }

    std::printf("\nLayers in use\n");
    for (int k = 0; k < 256; ++k) {
        const LayerEntry& e = s.layers[k];
        if (!e.in_use() && per_layer[k] == 0) {
            continue;
        }
        std::string type = kLayerTypeNames[e.kind()];
        if (e.type & kLayerBottom) {
            type += ", bottom side";
        }
        std::printf("  %3d  %-15s  %-36s %6ld Item%s%s\n", k, e.in_use() ? e.name : "(not named)", type.c_str(),
                    per_layer[k], per_layer[k] == 1 ? "" : "s", k == s.current_layer ? "  (current)" : "");
    }

    if (any) {
        std::printf("\nExtents  (%s, %s) to (%s, %s) inches\n", inches(x1).c_str(), inches(y1).c_str(),
                    inches(x2).c_str(), inches(y2).c_str());
    } else {
        std::printf("\nExtents  none (no Items)\n");
    }

    std::printf("\nSignals\n");
    int shown = 0;
    for (Ref r = node(cli.model.signals).link; r != kNone && r != cli.model.signals_end; r = node(r).link) {
        if (SignalUses(r) == 0) {
            continue;
        }
        std::string name = signal_name(r);
        std::printf("  %-20s %6u\n", name.c_str(), SignalUses(r));
        ++shown;
    }
    if (shown == 0) {
        std::printf("  (none)\n");
    }
    int images = 0;
    for (const auto& img : cli.model.images) {
        images += img.empty() ? 0 : 1;
    }
    if (images) {
        std::printf("\nPixel images  %d\n", images);
        for (size_t k = 0; k < cli.model.images.size(); ++k) {
            images::BlockHeader h;
            if (!images::read_header(cli.model.images[k], h)) {
                continue;
            }
            std::string edges = "(" + inches(h.left) + ", " + inches(h.bottom) + ") to (" + inches(h.right) + ", " +
                                inches(h.top) + ")";
            std::printf("  %3zu  %-20s %6d x %-6d %2d bits  kind %d  %4d dpi  %s%s\n", k, h.name.c_str(), h.width,
                        h.height, h.bits, h.kind, h.dpi, edges.c_str(),
                        static_cast<int>(k) == cli.model.current_image ? "  (current)" : "");
        }
    }
    return 0;
}

} // namespace trazel::cli
