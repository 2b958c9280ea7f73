#pragma once
// The raster plots: the page window drawn in bands by the display's Item rasterizer at the printer's
// resolution, then sent as PCL raster rows, written as a BMP file or as one PWG raster page (what the
// print spooler takes for the device-independent bitmap path).  No path holds the whole page in memory.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "cam/plot_page.h"
#include "cam/text_out.h"
#include "platform/run_context.h"

namespace trazel::cam {

// Each writes the page of `doc` by the settings into `out` and returns 1, or 0 when it was cancelled or
// the output failed (the reason reported through `run`).  The percentage follows the bands.
int write_pcl(const model::Document& doc, const PlotSettings& s, TextOut& out, platform::RunContext& run);
int write_bmp(const model::Document& doc, const PlotSettings& s, TextOut& out, platform::RunContext& run);
int write_pwg(const model::Document& doc, const PlotSettings& s, TextOut& out, platform::RunContext& run);

// --- PCL pieces ----------------------------------------------------------------------------------

// One row by compression method 2 with its trailing zero bytes dropped: runs of three or more equal bytes
// as repeat records (257 - n, byte), everything else as literal records (n - 1, bytes), 128 bytes at
// most per record.  Appends to `out`; an all-zero row appends nothing.
void pack_row(const uint8_t* row, size_t n, std::string& out);

// One plane of a row of `width` pixels (blue, green, red bytes, as the renderer draws them) as bits, the
// first pixel in the top bit of out[0]: monochrome sets the bit of every pixel that is not white; cyan,
// magenta and yellow that of a red, green or blue component below half.
enum class InkPlane { Mono, Cyan, Magenta, Yellow };
void plane_bits(const uint8_t* bgr, int width, InkPlane plane, uint8_t* out);

// --- The banded renderer -------------------------------------------------------------------------

// The page window in device pixels and how Document units map onto it.
struct RasterFrame {
    int width = 0, height = 0; // pixels of the page window
    int left = 0, top = 0;     // its corner from the printable area's top left, pixels
    int dpi = 300;
    uint32_t view_scale = 0;   // pixels per unit as a fraction of 2^32
    int64_t origin_x = 0, origin_y = 0;
};

RasterFrame raster_frame(const PageTransform& t, const PlotDevice& device);

// Draws rows of the page window as white paper with the plotted layers in plot order, each in its plot
// colour (255 - c, or c when keeping colours); holes white unless left out.  Every band gets the Items
// that reach it from per-band lists built once; `full_walk` instead gives every band every Item (the
// plain walk the lists must agree with).
class BandRenderer {
  public:
    BandRenderer(const model::Document& doc, const PlotSettings& s, bool full_walk = false);
    ~BandRenderer();
    BandRenderer(const BandRenderer&) = delete;
    BandRenderer& operator=(const BandRenderer&) = delete;

    const RasterFrame& frame() const {
        return frame_;
    }
    // Rows per band so that one band of 24-bit pixels fits the buffer.
    int band_rows() const {
        return band_rows_;
    }
    // Changes the band height (tests run many small bands); lists are rebuilt for it.
    void set_band_rows(int rows);

    // Rows top .. top + rows - 1 (within one band of the current height, starting on a band boundary)
    // into `bgr`: three bytes per pixel in blue, green, red order, `frame().width` pixels a row.
    void render(int top, int rows, uint8_t* bgr);

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
    RasterFrame frame_;
    int band_rows_ = 1;
};

constexpr size_t kBandBytes = size_t{1} << 20; // one band of pixels

// --- Printing through the spooler ----------------------------------------------------------------

// The device of a queue's default media and margins at `dpi`; false with the spooler's message.
bool queue_device(const std::string& queue, int dpi, bool landscape, PlotDevice& out, std::string& error);

// Sends the plot to a CUPS queue as one job with the sheet as its media: PostScript as PostScript, PCL raw
// to the printer, the DIB path as one PWG raster page.  Returns 1, or 0 with the spooler's message (or the
// cancel) in `error`; a job cut short is withdrawn.
int print_plot(const model::Document& doc, const PlotSettings& s, const std::string& queue,
               platform::RunContext& run, std::string& error);

} // namespace trazel::cam
