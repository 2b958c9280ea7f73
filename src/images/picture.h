#pragma once
// A decoded raster picture, laid out as a pixel image block stores it, and the raster decoders that
// make one.  The decoders know only their file format; images/block.h turns a Picture into a block in
// an image slot, and images/readers.cpp joins the decoders to the import chooser.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "model/line_reader.h"

namespace trazel::images {

// The most pixels (width x row length x height) a picture may have, whatever its file declares: larger
// declarations, and compressed data that would expand past it, are refused with a message.
constexpr int64_t kMaxPixels = int64_t{1} << 28;

enum PaletteKind : int32_t { kPaletteGrey = 0, kPaletteSystem = 1, kPaletteOwn = 2, kPaletteDirect = 3 };

struct Picture {
    int32_t width = 0;
    int32_t height = 0;
    int32_t row_length = 0; // pixels stored per row, at least the width
    int32_t bits = 8;       // per stored pixel: 8, 16 (little-endian grey values) or 24 (blue, green, red)
    int32_t palette_kind = kPaletteGrey;
    std::array<uint32_t, 256> palette{}; // 0x00RRGGBB, for kPaletteOwn
    int32_t dpi = 100;                   // 0 is taken as 100
    uint16_t lowest = 0, highest = 0;    // the values shown, for 16-bit pictures
    // row_length x height pixels of bits / 8 bytes each, top row first, each row left to right.
    std::vector<uint8_t> pixels;
    // One line the user should see although the picture was read (a DVI page's unknown fonts).
    std::string note;

    size_t bytes_per_pixel() const {
        return static_cast<size_t>(bits / 8);
    }
    size_t row_bytes() const {
        return static_cast<size_t>(row_length) * bytes_per_pixel();
    }
    // Sizes checked against kMaxPixels and the pixel buffer made (zeros); false when too large.
    bool allocate();
};

// What a decoder says when it cannot make a picture of a file it recognised: one line, naming the
// variant that is not read ("JPEG-compressed TIFF is not read") or what is wrong with the file.
struct DecodeError {
    std::string message;
};

// Each format: a recognition test on the first 64 KiB, and a decoder that reads the whole file from the
// start through `in` (which has already been opened; use in.head(), in.ReadBytes and in.remaining()).
// A decoder returns false with `error` set when the file cannot be read; declared sizes are checked
// against the bytes left before anything is allocated.
bool bmp_accepts(std::string_view head);
bool decode_bmp(model::LineReader& in, Picture& out, DecodeError& error);
bool pcx_accepts(std::string_view head);
bool decode_pcx(model::LineReader& in, Picture& out, DecodeError& error);
bool gif_accepts(std::string_view head);
bool decode_gif(model::LineReader& in, Picture& out, DecodeError& error);
bool tiff_accepts(std::string_view head);
bool decode_tiff(model::LineReader& in, Picture& out, DecodeError& error);
bool fits_accepts(std::string_view head);
bool decode_fits(model::LineReader& in, Picture& out, DecodeError& error);
bool text_header_accepts(std::string_view head);
bool decode_text_header(model::LineReader& in, Picture& out, DecodeError& error);
// A typeset DVI page: its first page set on a 2550 x 3300 grey raster at 300 dots per inch.
bool dvi_accepts(std::string_view head);
bool decode_dvi(model::LineReader& in, Picture& out, DecodeError& error);
// A DICOM data set, with or without the 128-byte preamble and "DICM": its first frame.
bool dicom_accepts(std::string_view head);
bool decode_dicom(model::LineReader& in, Picture& out, DecodeError& error);

} // namespace trazel::images
