#pragma once
// The setup record: every setting a Document carries in its Setup directives.
#include <array>
#include <bitset>
#include <cstdint>

#include "model/units.h"

namespace trazel::model {

using LayerSet = std::bitset<256>;

enum LayerType : uint8_t {
    kLayerSilk = 0,
    kLayerMask = 1,
    kLayerCopper = 2,
    kLayerPlane = 3,
    kLayerSymbols = 4,
    kLayerPaste = 5,
    kLayerSchematic = 6,
    kLayerDrawing = 7,
};
constexpr uint8_t kLayerTypeMask = 0x07;
constexpr uint8_t kLayerBottom = 0x08;
constexpr uint8_t kLayerRouteX = 0x10;
constexpr uint8_t kLayerRouteY = 0x20;

constexpr uint32_t kNoColour = 0x01000000; // bit 24: layer not shown / not plotted

constexpr int kPadMasterLayer = 0;
constexpr int kRatnestLayer = 255;

struct LayerEntry {
    char name[16] = {};   // up to 15 characters; empty or "-" = slot not in use
    uint8_t type = 0;     // bits 0-2 type, bit 3 bottom, bits 4-5 router directions
    uint32_t colour = 0;  // display colour 0x00RRGGBB, bit 24 = off
    uint32_t pixel = 0;   // display colour in the screen's pixel format
    uint32_t plot = 0;    // plot colour, bit 24 = not plotted
    uint8_t sequence = 0; // drawing and plot order

    bool in_use() const {
        return name[0] != 0 && !(name[0] == '-' && name[1] == 0);
    }
    uint8_t kind() const {
        return type & kLayerTypeMask;
    }
};

struct GerberEntry {
    char ext[4] = {}; // three characters; unused when the first is at or below a blank
    uint8_t kind = 0; // bits 0-2 output kind, bit 3 bottom side
    LayerSet layers;

    bool in_use() const {
        return static_cast<unsigned char>(ext[0]) > ' ';
    }
};

struct TrackIsolation {
    int32_t passes = 0;
    Length iso_tool = 0, iso_overlap = 0, iso_clearance = 0;
    Length flood_tool = 0, flood_overlap = 0, flood_clearance = 0;
    char signal[32] = {};
    int32_t target = 0;
    LayerSet sources;
};

struct Setup {
    // Clearances and fill
    Coord fill_iso_lines = 0, fill_iso_pads = 0;
    Coord clear_line_line = 0, clear_line_pad = 0, clear_pad_pad = 0;
    Coord fill_width = 0, ratnest_width = 0;
    char thermal_signal[32] = {};
    char direct_signal[32] = {};
    int32_t flood_target = 0;
    LayerSet flood_sources;

    // Grid dots and screen colours (pixels follow the colours, see Model::to_pixel)
    uint32_t grid_dots = 0; // fraction of an inch, 0.32
    uint32_t grid_colour = 0xFFFFFF, background = 0x909090, highlight = 0xFFFFFF, attention = 0xFFFF00;
    uint32_t grid_pixel = 0xFFFFFF, background_pixel = 0x909090, highlight_pixel = 0xFFFFFF,
             attention_pixel = 0xFFFF00;

    // Draw modes
    uint8_t mode_lines = 3, mode_pads = 2, mode_text = 3, mode_refs = 0;

    // Plot
    uint8_t plot_options = 0, plot_omit = 0;
    int32_t plot_scale = kFixedOne; // 16.16
    Coord plot_xmin = 0, plot_ymin = 0, plot_xmax = 0, plot_ymax = 0;
    int32_t plot_depth = 0;

    // Grid snap
    uint32_t snap = 0;     // fraction of an inch, 0.32, below one inch
    int32_t decimals = 3;  // negative: millimetre display
    int32_t snap_index = 0;
    std::array<std::array<char, 12>, 16> snap_table{};

    // Extents and user origin
    Coord ext_xmin = 0, ext_ymin = 0, ext_xmax = 0, ext_ymax = 0;
    Coord origin_x = 0, origin_y = 0;

    TrackIsolation iso_top, iso_bottom;
    uint32_t router_algorithms = 0;
    char format_code = 0;

    // New-item defaults
    Coord line_width = 0;
    int32_t via_layer = 0;
    Coord via_diameter = 0, via_hole = 0;
    int32_t pad_type = 0, pad_layer = 0;
    Coord pad_width = 0, pad_height = 0, pad_hole = 0;
    Coord text_height = 0;
    Coord dim_text_size = 0;

    // Layer table
    std::array<LayerEntry, 256> layers{};
    int32_t current_layer = 0;

    // Gerber output
    Coord mask_increment = 0, paste_decrement = 0, plane_increment = 0, plane_hole_decrement = 0;
    Coord gerber_fill_width = 0;
    std::array<GerberEntry, 24> gerber{};

    // Component libraries
    std::array<std::array<char, 33>, 32> libraries{};

    // Older-dialect values kept only for writing older files
    uint8_t old_plot_mode = 0;
    std::array<Coord, 4> old_plot_extra{};
    // Set by an older "-y15" line that named the Ratnest layer (stored as layer 255): the older reader
    // moves that file's layer-15 Items to layer 255 as well.
    bool old_ratnest15 = false;

    Setup();
};

} // namespace trazel::model
