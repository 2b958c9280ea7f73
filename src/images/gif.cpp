// The GIF decoder: the first image of the file, placed at its offset in the logical screen, which is
// the picture stored (grown to hold the image when the image reaches past it); the screen around the
// image takes the background colour index.  8-bit pixels with the file's own palette (local table over
// global), resolution 100.
#include <algorithm>
#include <cstring>

#include "images/lzw.h"
#include "images/picture.h"

namespace trazel::images {

namespace {

int u16(const uint8_t* p) {
    return p[0] | (p[1] << 8);
}

bool read_exact(model::LineReader& in, void* dst, size_t n) {
    return in.ReadBytes(dst, n) == n;
}

// Reads 3 x `count` bytes of colour table into the palette.
bool read_colour_table(model::LineReader& in, int count, Picture& out) {
    uint8_t rgb[768];
    if (!read_exact(in, rgb, static_cast<size_t>(count) * 3)) {
        return false;
    }
    out.palette.fill(0);
    for (int i = 0; i < count; ++i) {
        out.palette[static_cast<size_t>(i)] =
            (uint32_t{rgb[3 * i]} << 16) | (uint32_t{rgb[3 * i + 1]} << 8) | rgb[3 * i + 2];
    }
    return true;
}

// Skips the sub-blocks of an extension, up to and including the empty one.
bool skip_sub_blocks(model::LineReader& in) {
    for (;;) {
        uint8_t n = 0;
        if (!read_exact(in, &n, 1)) {
            return false;
        }
        if (n == 0) {
            return true;
        }
        if (!read_exact(in, nullptr, n)) {
            return false;
        }
    }
}

// The longest string one LZW code can stand for, for the bomb check before allocating.
constexpr int64_t kLongestLzwString = 4096;

} // namespace

bool gif_accepts(std::string_view head) {
    if (head.size() < 13 || (head.substr(0, 6) != "GIF87a" && head.substr(0, 6) != "GIF89a")) {
        return false;
    }
    return (static_cast<uint8_t>(head[10]) & 0x80) != 0;
}

bool decode_gif(model::LineReader& in, Picture& out, DecodeError& error) {
    uint8_t screen[13];
    if (!read_exact(in, screen, sizeof screen) ||
        (std::memcmp(screen, "GIF87a", 6) != 0 && std::memcmp(screen, "GIF89a", 6) != 0)) {
        error.message = "not a GIF file";
        return false;
    }
    const int screen_width = u16(screen + 6);
    const int screen_height = u16(screen + 8);
    const uint8_t background = screen[11];
    Picture pic;
    if (screen[10] & 0x80) {
        if (!read_colour_table(in, 2 << (screen[10] & 7), pic)) {
            error.message = "GIF file ends in its global colour table";
            return false;
        }
    } else {
        for (uint32_t i = 0; i < 256; ++i) {
            pic.palette[i] = i * 0x010101u; // no table at all: show the indices as grey
        }
    }

    // Extensions are skipped up to the first image descriptor.
    uint8_t desc[9];
    for (;;) {
        uint8_t tag = 0;
        if (!read_exact(in, &tag, 1) || tag == 0x3B) {
            error.message = "GIF file holds no image";
            return false;
        }
        if (tag == 0x2C) {
            if (!read_exact(in, desc, sizeof desc)) {
                error.message = "GIF file ends in its image descriptor";
                return false;
            }
            break;
        }
        uint8_t label = 0;
        if (tag != 0x21 || !read_exact(in, &label, 1) || !skip_sub_blocks(in)) {
            error.message = tag == 0x21 ? "GIF file ends in an extension" : "GIF file has a bad block";
            return false;
        }
    }
    const int left = u16(desc), top = u16(desc + 2), width = u16(desc + 4), height = u16(desc + 6);
    const bool interlaced = (desc[8] & 0x40) != 0;
    if (desc[8] & 0x80) {
        if (!read_colour_table(in, 2 << (desc[8] & 7), pic)) {
            error.message = "GIF file ends in its local colour table";
            return false;
        }
    }
    if (width == 0 || height == 0) {
        error.message = "GIF image is empty";
        return false;
    }
    uint8_t min_code_size = 0;
    if (!read_exact(in, &min_code_size, 1)) {
        error.message = "GIF file ends before its image data";
        return false;
    }
    if (min_code_size < 1 || min_code_size > 8) {
        error.message = "GIF LZW minimum code size " + std::to_string(min_code_size) + " is out of range";
        return false;
    }

    // The image data, its sub-blocks joined.  A file that ends without the closing empty block keeps what
    // it has.
    std::vector<uint8_t> data;
    const int64_t left_bytes = in.remaining();
    if (left_bytes > 0) {
        data.reserve(static_cast<size_t>(std::min<int64_t>(left_bytes, int64_t{1} << 22)));
    }
    for (;;) {
        uint8_t n = 0;
        if (!read_exact(in, &n, 1) || n == 0) {
            break;
        }
        const size_t at = data.size();
        data.resize(at + n);
        const size_t got = in.ReadBytes(data.data() + at, n);
        if (got < n) {
            data.resize(at + got);
            break;
        }
    }

    const int64_t image_pixels = int64_t{width} * height;
    if (image_pixels > kMaxPixels) {
        error.message =
            "GIF image of " + std::to_string(width) + " x " + std::to_string(height) + " pixels is too large";
        return false;
    }
    if (image_pixels > static_cast<int64_t>(data.size()) * 8 / 2 * kLongestLzwString) {
        error.message =
            "GIF image of " + std::to_string(width) + " x " + std::to_string(height) + " pixels has too little data";
        return false;
    }
    pic.width = std::max(screen_width, left + width);
    pic.height = std::max(screen_height, top + height);
    pic.row_length = (pic.width + 3) & ~3;
    pic.bits = 8;
    pic.palette_kind = kPaletteOwn;
    pic.dpi = 100;
    // The common case, an image filling the screen in plain row order with no padding, decodes in place;
    // otherwise the image is decoded before the screen is made.
    const bool in_place = !interlaced && pic.row_length == width && pic.height == height;
    auto too_large = [&] {
        error.message =
            "GIF picture of " + std::to_string(pic.width) + " x " + std::to_string(pic.height) + " pixels is too large";
        return false;
    };
    if (in_place && !pic.allocate()) {
        return too_large();
    }
    std::vector<uint8_t> pixels(in_place ? 0 : static_cast<size_t>(image_pixels));
    const std::span<uint8_t> target = in_place ? std::span<uint8_t>(pic.pixels) : std::span<uint8_t>(pixels);
    const LzwOutcome lzw = decode_lzw_gif(data, min_code_size, target);
    if (lzw.produced < target.size()) {
        error.message = lzw.error.empty() ? "GIF image data ends early" : "GIF image data is corrupt: " + lzw.error;
        return false;
    }
    if (in_place) {
        out = std::move(pic);
        return true;
    }
    if (!pic.allocate()) {
        return too_large();
    }

    std::fill(pic.pixels.begin(), pic.pixels.end(), background);
    // Image row k goes to screen row top + row_of(k): in passes for an interlaced image.
    static constexpr int kPassStart[4] = {0, 4, 2, 1};
    static constexpr int kPassStep[4] = {8, 8, 4, 2};
    int pass = 0;
    int row = 0;
    for (int k = 0; k < height; ++k) {
        if (interlaced) {
            while (row >= height && pass < 3) {
                ++pass;
                row = kPassStart[pass];
            }
        } else {
            row = k;
        }
        std::memcpy(pic.pixels.data() + static_cast<size_t>(top + row) * pic.row_bytes() + left,
                    pixels.data() + static_cast<size_t>(k) * width, static_cast<size_t>(width));
        if (interlaced) {
            row += kPassStep[pass];
        }
    }
    out = std::move(pic);
    return true;
}

} // namespace trazel::images
