#pragma once
// What every plot path shares: the plot settings (the `plot` verb's options, defaulted from "-gp"), the
// printer device values, the page transform from Document units to page inches, and the layer plot order.
//
// Page coordinates are inches in 16.16 fixed point, X to the right and Y upwards from the corner of the
// printable area.
#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "model/fixed.h"
#include "model/node.h"
#include "model/setup.h"
#include "model/units.h"
#include "platform/run_context.h"

namespace trazel::model {
struct Document;
}

namespace trazel::cam {

using model::Coord;

// --- Option bits ---------------------------------------------------------------------------------
// The low byte is the "-gp" omit byte, the high byte its options byte, so `plot_flags` is one shift.
enum PlotFlag : uint16_t {
    kPlotNoHoles = 1u << 0,
    kPlotNoVias = 1u << 1,
    kPlotNoPads = 1u << 2,
    kPlotNoPicture = 1u << 3,
    kPlotNoTracks = 1u << 4,
    kPlotExtents = 1u << 8,
    kPlotFit = 1u << 9,
    kPlotCentre = 1u << 10,
    kPlotMirror = 1u << 14,
    kPlotKeepColours = 1u << 15,
};

inline uint16_t plot_flags(const model::Setup& s) {
    return static_cast<uint16_t>(s.plot_options << 8 | s.plot_omit);
}

// Where a plot's bytes go, piece by piece; false when they could not be taken (the plot then stops).
using PlotSink = std::function<bool(std::string_view)>;

enum class PlotFormat : uint8_t { PostScript, Hpgl, Pcl, Bmp, Dib };
enum class PlotColour : uint8_t { Mono, Planes };

// --- The device ----------------------------------------------------------------------------------
// The printer's page as the driver reports it, in device pixels: the whole sheet, the corner of the
// printable area on it, and the printable area's size.
struct PlotDevice {
    int32_t dpi_x = 300, dpi_y = 300;         // pixels per inch
    int64_t phys_w = 2550, phys_h = 3300;     // the sheet
    int64_t offset_x = 75, offset_y = 75;     // printable area's corner from the sheet's top left
    int64_t horz_res = 2400, vert_res = 3150; // the printable area
};

// A sheet of `width` x `height` inches (16.16) with the printable area inset by `margin` inches on every
// side; landscape exchanges the sheet's sides.  A margin eating the whole sheet leaves one pixel.
PlotDevice page_device(int64_t width, int64_t height, int64_t margin, int32_t dpi, bool landscape);
// "letter", "legal", "a4", "a3", "ledger" or "WxH" (inches, "8.5x11"): width and height in 16.16 inches.
bool page_size(const std::string& name, int64_t& width, int64_t& height);

// --- Settings ------------------------------------------------------------------------------------

constexpr int32_t kMinPlotScale = 66; // a scale below this plots at 1:1
constexpr int kHpglUnitsPerInch = 1016;

struct PlotSettings {
    PlotFormat format = PlotFormat::PostScript;
    uint16_t flags = 0;                           // PlotFlag bits
    int32_t scale = model::kFixedOne;             // 16.16
    Coord xmin = 0, ymin = 0, xmax = 0, ymax = 0; // the plot window; min >= max on an axis: the extents
    PlotColour colour = PlotColour::Mono;
    PlotDevice device;
    int hpgl_units = kHpglUnitsPerInch; // plotter units per inch
    std::string title;                  // the Document's path, for "%%Title: "
    int64_t created = -1;               // seconds since 1970 (UTC) for "%%CreationDate: "; -1: not given
};

// Settings from the Document's "-gp" values and the sheet of `device`.
PlotSettings settings_from_setup(const model::Setup& s, const PlotDevice& device);

// --- The page transform --------------------------------------------------------------------------

struct PageTransform {
    int64_t page_w = 0, page_h = 0;                         // printable area in inches, 16.16
    int64_t scale = model::kFixedOne;                       // 16.16
    int64_t offset_x = 0, offset_y = 0;                     // subtracted from the scaled coordinates
    int64_t win_x1 = 0, win_y1 = 0, win_x2 = 0, win_y2 = 0; // the page window, page inches
    model::Box window;                                      // the plotted window in Document units
    bool extents = false;                                   // the window fell back to the Document's extents

    // A Document coordinate on the page: |v| x scale / 65536 with its sign, less the offset.
    int64_t page_x(int64_t x) const {
        return scaled(x) - offset_x;
    }
    int64_t page_y(int64_t y) const {
        return scaled(y) - offset_y;
    }
    int64_t scaled(int64_t v) const {
        int64_t m = (model::abs64(v) * scale) >> 16;
        return v < 0 ? -m : m;
    }
    // Whether a Document box grown by `grow` units on each side meets the page window.
    bool meets_window(Coord x1, Coord y1, Coord x2, Coord y2, int64_t grow) const;
};

// The window (extent fallback), scale (below 66 as 1:1, or fit), offsets, page window and centring.
PageTransform page_transform(const model::Document& doc, const PlotSettings& s);

// --- Layer plot order ----------------------------------------------------------------------------

// Whether a layer is plotted at all: plot colour on and not black, name neither empty nor "-".
bool layer_plotted(const model::LayerEntry& e);

// Layers by plot slot: slots are filled by sequence number, a taken slot passing the layer on to the next
// free one (wrapping past 255).  Plotting runs from slot 255 down to 0; -1 marks an empty slot.
std::array<int, 256> plot_slots(const model::Setup& s);

// Thru-hole Pads (type code below 4) plot on layer 0 whatever their own layer.
int plot_layer(const model::Node& n);

// The visible Items of every layer in `wanted`, in Document walk order, each under its plot layer;
// Components are not listed, and their members only when `enter` (may be empty) accepts the Component.
using LayerItems = std::array<std::vector<model::Ref>, 256>;
void items_by_layer(const model::Document& doc, const std::array<bool, 256>& wanted,
                    const std::function<bool(const model::Node&)>& enter, LayerItems& out);

// The plotted layers in plot order (slot 255 down to 0), each with its Items as items_by_layer lists
// them; progress is told per slot and the cancel flag honoured.  Calls each(layer, items); false when
// cancelled or when `each` returned false.
bool for_each_plot_layer(const model::Document& doc, const std::function<bool(const model::Node&)>& enter,
                         platform::RunContext& run,
                         const std::function<bool(int layer, const std::vector<model::Ref>& items)>& each);

// Whether a Pad is a via (shape code 3) and whether it has a drill hole worth drawing.
inline bool pad_is_via(const model::Node& n) {
    return (n.size & 3) == 3;
}
// A Pad left out by the omit bits: vias under kPlotNoVias, every other Pad under kPlotNoPads.
inline bool pad_omitted(const model::Node& n, uint16_t flags) {
    return (flags & (pad_is_via(n) ? kPlotNoVias : kPlotNoPads)) != 0;
}
// A track (a Line with a width or an Arc on a copper layer) left out by kPlotNoTracks.
bool track_omitted(const model::Node& n, const model::Setup& s, uint16_t flags);

// Wait-box percentage for slot s while going from 255 down to 0.
inline int slot_percent(int slot) {
    return (255 - slot) * 100 / 255;
}

} // namespace trazel::cam
