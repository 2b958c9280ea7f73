// The Layer table: symbolic forms, colours, and the schematic rules that hang on it.
#include <algorithm>
#include <cstring>

#include "model/model.h"

namespace trazel::model {

const char* const kPadTypeNames[8] = {
    "T0 = Schematic Pin",   "T1 = Oval thru Pad",  "T2 = Rectangular thru Pad", "T3 = Round thru Via",
    "S0 = Padstack special", "S1 = Oval SMT Pad", "S2 = Rectangluar SMT Pad",  "S3 = Schematic Dot",
};
const char* const kPadShortNames[8] = {
    "Schematic Pin",    "Oval THD", "Rectangular THD", "Round Via",
    "Padstack special", "Oval SMT", "Rectangluar SMT", "Schematic Dot",
};
const char* const kLayerTypeNames[8] = {
    "0 = Silk (screening)", "1 = Mask (solder resist)", "2 = Copper (normal)",    "3 = Plane (pwr/gnd)",
    "4 = Symbols (pictures)", "5 = Paste (stencil)",    "6 = Schematic (signals)", "7 = Drawing (general)",
};
const char* const kAnchorNames[16] = {
    "0 = Bottom Left", "1 = Bottom Center", "2 = Bottom Right", "3 = Bottom Offset",
    "4 = Center Left", "5 = Center",        "6 = Center Right", "7 = Center Offset",
    "8 = Top Left",    "9 = Top Center",    "10 = Top Right",   "11 = Top Offset",
    "12 = Base Left",  "13 = Base Center",  "14 = Base Right",  "15 = Base Offset",
};

namespace {

// Type letter of the symbolic layer form, or 0 for the types that have none.
char type_letter(uint8_t type) {
    switch (type & kLayerTypeMask) {
    case kLayerSilk:
        return 'S';
    case kLayerMask:
        return 'M';
    case kLayerCopper:
        return 'C';
    case kLayerPaste:
        return 'P';
    case kLayerDrawing:
        return 'D';
    default:
        return 0;
    }
}

int letter_type(char c) {
    switch (c >= 'a' && c <= 'z' ? c - 32 : c) {
    case 'S':
        return kLayerSilk;
    case 'M':
        return kLayerMask;
    case 'C':
        return kLayerCopper;
    case 'P':
        return kLayerPaste;
    case 'D':
        return kLayerDrawing;
    default:
        return -1;
    }
}

} // namespace

bool IsSchematic(const Setup& s) {
    return s.layers[1].kind() == kLayerSymbols && s.layers[2].kind() == kLayerSchematic;
}

bool IsSchematic() {
    return M().current && IsSchematic(M().setup());
}

std::string LayerSymbol(int layer) {
    if (layer <= 0 || layer > 255 || !M().current) {
        return {};
    }
    const LayerEntry& e = M().setup().layers[layer];
    char t = type_letter(e.type);
    if (!t) {
        return {};
    }
    std::string out(1, t);
    if (e.name[0]) {
        out.push_back(e.name[0]);
    }
    return out;
}

int ResolveLayer(std::string_view text) {
    if (text.empty()) {
        return 1;
    }
    if ((text[0] >= '0' && text[0] <= '9') || text[0] == '-' || text[0] == '+') {
        size_t i = text[0] == '-' || text[0] == '+' ? 1 : 0;
        int v = 0;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
            v = (v * 10 + (text[i++] - '0')) & 0xFFFF;
        }
        return (text[0] == '-' ? -v : v) & 0xFF;
    }
    int type = letter_type(text[0]);
    if (type < 0 || !M().current) {
        return 1;
    }
    const Setup& s = M().setup();
    char initial = text.size() > 1 ? text[1] : 0;
    auto up = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; };
    int first_of_type = -1;
    for (int i = 1; i < 256; ++i) {
        const LayerEntry& e = s.layers[i];
        if (!e.in_use() || e.kind() != type) {
            continue;
        }
        if (initial && up(e.name[0]) == up(initial)) {
            return i;
        }
        if (first_of_type < 0) {
            first_of_type = i;
        }
    }
    return first_of_type >= 0 ? first_of_type : 1;
}

void set_layer_name(LayerEntry& e, std::string_view name) {
    std::memset(e.name, 0, sizeof e.name);
    std::memcpy(e.name, name.data(), std::min<size_t>(name.size(), 15));
}

void set_layer_colour(LayerEntry& e, uint32_t colour) {
    e.colour = colour;
    e.pixel = (M().to_pixel(colour & 0xFFFFFF)) | (colour & kNoColour);
}

void set_screen_colours(Setup& s, uint32_t grid, uint32_t background, uint32_t highlight, uint32_t attention) {
    s.grid_colour = grid;
    s.background = background;
    s.highlight = highlight;
    s.attention = attention;
    s.grid_pixel = M().to_pixel(grid);
    s.background_pixel = M().to_pixel(background);
    s.highlight_pixel = M().to_pixel(highlight);
    s.attention_pixel = M().to_pixel(attention);
}

namespace {

Length snap_length(Length v) {
    Coord s = snap_to_mil(v);
    return static_cast<Length>(s > 65535 ? mils_to_units(999) : s);
}

void snap_item(Ref r) {
    Node& n = node(r);
    switch (n.item_kind()) {
    case kLine:
        // A track thinner than half a thousandth would snap to width 0 and become a Solid, which takes
        // its Signal record for a vertex chain: a track keeps at least one thousandth.
        if (n.size != 0) {
            n.size = std::max<Length>(snap_length(n.size), static_cast<Length>(mils_to_units(1)));
        }
        n.line.x1 = snap_to_mil(n.line.x1);
        n.line.y1 = snap_to_mil(n.line.y1);
        n.line.x2 = snap_to_mil(n.line.x2);
        n.line.y2 = snap_to_mil(n.line.y2);
        if (n.size == 0) {
            for (Ref v = n.link; v != kNone; v = node(v).link) {
                Node& nv = node(v);
                nv.line.x1 = snap_to_mil(nv.line.x1);
                nv.line.y1 = snap_to_mil(nv.line.y1);
                nv.line.x2 = snap_to_mil(nv.line.x2);
                nv.line.y2 = snap_to_mil(nv.line.y2);
            }
        }
        break;
    case kArc:
        n.size = snap_length(n.size);
        n.arc.x0 = snap_to_mil(n.arc.x0);
        n.arc.y0 = snap_to_mil(n.arc.y0);
        n.arc.radius = snap_to_mil(n.arc.radius);
        break;
    case kPad:
        n.pad.x0 = snap_to_mil(n.pad.x0);
        n.pad.y0 = snap_to_mil(n.pad.y0);
        n.pad.width = snap_length(n.pad.width);
        n.pad.height = snap_length(n.pad.height);
        n.pad.hole = snap_length(n.pad.hole);
        break;
    case kText:
        n.text.x0 = snap_to_mil(n.text.x0);
        n.text.y0 = snap_to_mil(n.text.y0);
        break;
    case kPointGroup:
    case kComponent:
        n.box.x1 = snap_to_mil(n.box.x1);
        n.box.y1 = snap_to_mil(n.box.y1);
        n.box.x2 = snap_to_mil(n.box.x2);
        n.box.y2 = snap_to_mil(n.box.y2);
        if (n.item_kind() == kComponent && n.link != kNone) {
            Node& h = node(n.link); // hook point of the closing record
            h.box.x1 = snap_to_mil(h.box.x1);
            h.box.y1 = snap_to_mil(h.box.y1);
        }
        break;
    default:
        break;
    }
}

} // namespace

void snap_schematic(Ref ring) {
    walk_tree(ring, [](Ref r, int) { snap_item(r); });
}

} // namespace trazel::model
