// The X2 file functions: which copper layer a row is (by its side and the order of its layers), and what
// the other rows are.
#include "cam/gerber_x2.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <tuple>
#include <vector>

#include "cam/excellon.h"
#include "cam/plot_types.h"

namespace trazel::cam {

namespace {

struct RowLayers {
    bool any = false;          // some layer in use is selected (the pad master aside)
    bool drawing_only = true;  // and all of them are drawing layers
    bool outline_only = true;  // whose names say they are the board outline
    bool copper_bottom = true; // every copper or plane layer selected is a bottom one
    int first_copper = 256;    // the lowest copper or plane layer selected
};

bool outline_name(const model::LayerEntry& l) {
    std::string n;
    for (char c : std::string(l.name, strnlen(l.name, sizeof l.name))) {
        n += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    for (const char* w : {"outline", "profile", "edge", "contour"}) {
        if (n.find(w) != std::string::npos) {
            return true;
        }
    }
    return false;
}

RowLayers row_layers(const model::Setup& s, const model::GerberEntry& row) {
    RowLayers r;
    for (size_t i = 1; i < s.layers.size(); ++i) {
        const model::LayerEntry& l = s.layers[i];
        if (!row.layers.test(i) || !l.in_use()) {
            continue;
        }
        r.any = true;
        uint8_t kind = l.kind();
        r.drawing_only &= kind == model::kLayerDrawing;
        r.outline_only &= outline_name(l);
        if (kind == model::kLayerCopper || kind == model::kLayerPlane) {
            r.first_copper = std::min(r.first_copper, static_cast<int>(i));
            r.copper_bottom &= (l.type & model::kLayerBottom) != 0;
        }
    }
    r.drawing_only &= r.any;
    return r;
}

uint8_t file_type(const model::GerberEntry& row) {
    return row.kind & kFileTypeMask;
}

bool copper_row(const model::Setup& s, const model::GerberEntry& row) {
    uint8_t t = file_type(row);
    return row.in_use() && (t == kCopper || t == kPlane) && !row_layers(s, row).drawing_only;
}

bool bottom_row(const model::Setup& s, const model::GerberEntry& row) {
    RowLayers r = row_layers(s, row);
    return (row.kind & kFileBottom) != 0 || (r.first_copper < 256 && r.copper_bottom);
}

// The copper rows top to bottom: the top side first, then by their lowest copper layer, bottom side last.
std::vector<const model::GerberEntry*> copper_rows(const model::Setup& s) {
    std::vector<std::tuple<bool, int, size_t, const model::GerberEntry*>> v;
    for (size_t i = 0; i < s.gerber.size(); ++i) {
        const model::GerberEntry& row = s.gerber[i];
        if (copper_row(s, row)) {
            v.emplace_back(bottom_row(s, row), row_layers(s, row).first_copper, i, &row);
        }
    }
    std::sort(v.begin(), v.end());
    std::vector<const model::GerberEntry*> rows;
    for (const auto& e : v) {
        rows.push_back(std::get<3>(e));
    }
    return rows;
}

const char* side(const model::GerberEntry& row) {
    return (row.kind & kFileBottom) != 0 ? "Bot" : "Top";
}

} // namespace

int copper_layer_count(const model::Setup& setup) {
    return std::max<int>(1, static_cast<int>(copper_rows(setup).size()));
}

std::string x2_file_function(const model::Setup& setup, const model::GerberEntry& row, const ToolTable* tools) {
    uint8_t type = file_type(row);
    std::string n = std::to_string(copper_layer_count(setup));
    switch (type) {
    case kDrill: {
        bool non_plated = tools != nullptr;
        bool any = false;
        for (int i = 1; tools != nullptr && i <= tools->count; ++i) {
            const Tool& t = tools->tools[static_cast<size_t>(i)];
            if (t.hits != 0) {
                any = true;
                non_plated &= t.non_plated;
            }
        }
        return non_plated && any ? "NonPlated,1," + n + ",NPTH" : "Plated,1," + n + ",PTH";
    }
    case kSymbols:
        return "Drillmap";
    case kAperture:
        return {};
    default:
        break;
    }
    RowLayers layers = row_layers(setup, row);
    if (layers.drawing_only) {
        // Only a silk row draws nothing but its layers' Items; the other kinds add pads of their own.
        return type == kSilk && layers.outline_only ? "Profile,NP" : "Other,Drawing";
    }
    switch (type) {
    case kMask:
        return std::string("Soldermask,") + side(row);
    case kPaste:
        return std::string("Paste,") + side(row);
    case kSilk:
        return std::string("Legend,") + side(row);
    default:
        break;
    }
    std::vector<const model::GerberEntry*> rows = copper_rows(setup);
    size_t k = 0;
    while (k < rows.size() && rows[k] != &row) {
        ++k;
    }
    if (k == rows.size()) {
        // A row copied out of the setup: found by its contents instead.
        k = 0;
        while (k < rows.size() && !(rows[k]->kind == row.kind && rows[k]->layers == row.layers &&
                                    std::equal(row.ext, row.ext + 3, rows[k]->ext))) {
            ++k;
        }
        if (k == rows.size()) {
            return "Copper,L1,Top";
        }
    }
    const char* where = bottom_row(setup, row) ? "Bot" : (k == 0 && type == kCopper ? "Top" : "Inr");
    return "Copper,L" + std::to_string(k + 1) + "," + where;
}

std::string x2_file_polarity(const model::GerberEntry& row) {
    return file_type(row) == kPlane ? "Negative" : "Positive";
}

} // namespace trazel::cam
