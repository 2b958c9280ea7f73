// The TIFF decoder: the first image of a little- or big-endian file, held in strips or tiles, stored
// raw or compressed (PackBits, LZW, Deflate, the fax codings), in one plane or one plane per sample.
// TIFF offsets point anywhere in the file, so the file is read into memory first and every offset and
// count is checked against its size before it is followed.
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "images/ccitt.h"
#include "images/lzw.h"
#include "images/packbits.h"
#include "images/picture.h"

namespace trazel::images {
namespace {

enum Tag : uint16_t {
    kWidth = 256,
    kLength = 257,
    kBitsPerSample = 258,
    kCompression = 259,
    kPhotometric = 262,
    kFillOrder = 266,
    kStripOffsets = 273,
    kSamplesPerPixel = 277,
    kRowsPerStrip = 278,
    kStripByteCounts = 279,
    kXResolution = 282,
    kPlanar = 284,
    kT4Options = 292,
    kT6Options = 293,
    kResolutionUnit = 296,
    kPredictor = 317,
    kColorMap = 320,
    kTileWidth = 322,
    kTileLength = 323,
    kTileOffsets = 324,
    kTileByteCounts = 325,
    kInkSet = 332,
    kSampleFormat = 339,
    kSMinSampleValue = 340,
    kSMaxSampleValue = 341,
};

// Files larger than this are not read into memory (the largest picture at 16 bits per sample is far less).
constexpr int64_t kMaxFileBytes = int64_t{1} << 32;

struct File {
    const uint8_t* p = nullptr;
    size_t size = 0;
    bool big = false; // "MM": numbers big-endian

    uint32_t u16(size_t o) const {
        return big ? (uint32_t{p[o]} << 8) | p[o + 1] : p[o] | (uint32_t{p[o + 1]} << 8);
    }
    uint32_t u32(size_t o) const {
        return big ? (uint32_t{p[o]} << 24) | (uint32_t{p[o + 1]} << 16) | (uint32_t{p[o + 2]} << 8) | p[o + 3]
                   : p[o] | (uint32_t{p[o + 1]} << 8) | (uint32_t{p[o + 2]} << 16) | (uint32_t{p[o + 3]} << 24);
    }
};

size_t type_size(uint32_t type) {
    switch (type) {
    case 1:
    case 2:
    case 6:
    case 7:
        return 1;
    case 3:
    case 8:
        return 2;
    case 4:
    case 9:
    case 11:
    case 13:
        return 4;
    case 5:
    case 10:
    case 12:
        return 8;
    default:
        return 0;
    }
}

struct Entry {
    uint32_t tag = 0;
    uint32_t type = 0;
    uint32_t count = 0;
    size_t at = 0;      // where the values start
    bool valid = false; // a known type whose values lie inside the file
};

class Ifd {
  public:
    bool read(const File& f, size_t off, std::string& err) {
        f_ = &f;
        if (off < 8 || off > f.size || f.size - off < 2) {
            err = "TIFF directory offset lies outside the file";
            return false;
        }
        uint32_t n = f.u16(off);
        if ((f.size - off - 2) / 12 < n) {
            err = "TIFF directory runs past the end of the file";
            return false;
        }
        entries_.resize(n);
        for (uint32_t i = 0; i < n; ++i) {
            size_t e = off + 2 + size_t{i} * 12;
            Entry& d = entries_[i];
            d.tag = f.u16(e);
            d.type = f.u16(e + 2);
            d.count = f.u32(e + 4);
            uint64_t bytes = uint64_t{d.count} * type_size(d.type);
            d.at = bytes <= 4 ? e + 8 : f.u32(e + 8);
            d.valid = type_size(d.type) != 0 && d.at <= f.size && f.size - d.at >= bytes;
        }
        return true;
    }
    const Entry* find(uint32_t tag) const {
        for (const Entry& e : entries_) {
            if (e.tag == tag) {
                return &e;
            }
        }
        return nullptr;
    }
    bool has(uint32_t tag) const {
        return find(tag) != nullptr;
    }
    // The integer values of a tag (byte, short or long); false when it is absent, of another type, or
    // its values do not lie inside the file.
    bool values(uint32_t tag, std::vector<uint32_t>& out) const {
        const Entry* e = find(tag);
        out.clear();
        if (e == nullptr || !e->valid) {
            return false;
        }
        size_t w = type_size(e->type);
        if (e->type != 1 && e->type != 3 && e->type != 4 && e->type != 6 && e->type != 8 && e->type != 9) {
            return false;
        }
        out.resize(e->count);
        for (size_t i = 0; i < e->count; ++i) {
            size_t o = e->at + i * w;
            out[i] = w == 1 ? f_->p[o] : w == 2 ? f_->u16(o) : f_->u32(o);
        }
        return true;
    }
    uint32_t value(uint32_t tag, uint32_t fallback) const {
        const Entry* e = find(tag);
        if (e == nullptr || !e->valid || e->count == 0) {
            return fallback;
        }
        size_t w = type_size(e->type);
        if (w == 1) {
            return f_->p[e->at];
        }
        if (w == 2) {
            return f_->u16(e->at);
        }
        return e->type == 4 || e->type == 9 || e->type == 13 ? f_->u32(e->at) : fallback;
    }
    double rational(uint32_t tag, double fallback) const {
        const Entry* e = find(tag);
        if (e == nullptr || !e->valid || e->count == 0) {
            return fallback;
        }
        if (e->type == 5 || e->type == 10) {
            uint32_t den = f_->u32(e->at + 4);
            return den == 0 ? 0.0 : static_cast<double>(f_->u32(e->at)) / den;
        }
        return value(tag, 0);
    }

  private:
    const File* f_ = nullptr;
    std::vector<Entry> entries_;
};

enum class Mode { kGrey8, kGrey16, kPalette, kRgb, kCmyk };

// What the directory says, checked.
struct Layout {
    uint32_t width = 0, height = 0, bps = 1, spp = 1, compression = 1, photometric = 1, planar = 1;
    uint32_t predictor = 1, fill_order = 1;
    bool tiled = false;
    uint32_t chunk_w = 0, chunk_h = 0, across = 0, down = 0;
    uint32_t channels = 1; // samples that reach the picture (the rest are extra samples, ignored)
    uint32_t flip = 0;     // xor applied to every sample: the top bit for signed samples
    CcittOptions fax;
    Mode mode = Mode::kGrey8;
    std::vector<uint32_t> offsets, counts;
};

const char* compression_name(uint32_t c) {
    switch (c) {
    case 6:
    case 7:
        return "JPEG";
    case 34712:
        return "JPEG 2000";
    case 34925:
        return "LZMA";
    case 50000:
        return "Zstandard";
    case 50001:
        return "WebP";
    case 32809:
        return "ThunderScan";
    case 32771:
        return "NeXT";
    case 34676:
    case 34677:
        return "SGI Log";
    default:
        return nullptr;
    }
}

bool set_up(const File& f, const Ifd& ifd, Layout& l, std::string& err) {
    l.width = ifd.value(kWidth, 0);
    l.height = ifd.value(kLength, 0);
    if (l.width == 0 || l.height == 0) {
        err = "TIFF picture has no width or height";
        return false;
    }
    if (l.width > (1u << 28) || l.height > (1u << 28) || uint64_t{l.width} * l.height > kMaxPixels) {
        err = "TIFF picture of " + std::to_string(l.width) + " x " + std::to_string(l.height) + " pixels is too large";
        return false;
    }
    l.compression = ifd.value(kCompression, 1);
    if (const char* name = compression_name(l.compression)) {
        err = std::string(name) + "-compressed TIFF is not read";
        return false;
    }
    if (l.compression != 1 && l.compression != 2 && l.compression != 3 && l.compression != 4 && l.compression != 5 &&
        l.compression != 8 && l.compression != 32946 && l.compression != 32773) {
        err = "TIFF compression " + std::to_string(l.compression) + " is not read";
        return false;
    }
    l.spp = ifd.value(kSamplesPerPixel, 1);
    if (l.spp == 0 || l.spp > 16) {
        err = "TIFF of " + std::to_string(l.spp) + " samples per pixel is not read";
        return false;
    }
    std::vector<uint32_t> v;
    l.bps = ifd.value(kBitsPerSample, 1);
    if (ifd.values(kBitsPerSample, v)) {
        for (uint32_t b : v) {
            if (b != l.bps) {
                err = "TIFF with samples of different depths is not read";
                return false;
            }
        }
    }
    uint32_t format = ifd.value(kSampleFormat, 1);
    if (format == 3) {
        err = "floating-point TIFF is not read";
        return false;
    }
    if (l.bps == 0 || l.bps > 16) {
        err = "TIFF of " + std::to_string(l.bps) + " bits per sample is not read";
        return false;
    }
    l.flip = format == 2 ? 1u << (l.bps - 1) : 0;
    l.planar = ifd.value(kPlanar, 1);
    if (l.planar != 1 && l.planar != 2) {
        err = "TIFF planar configuration " + std::to_string(l.planar) + " is not read";
        return false;
    }
    if (l.spp == 1) {
        l.planar = 1; // one plane either way
    }
    l.photometric = ifd.value(kPhotometric, l.spp >= 3 ? 2 : 1);
    switch (l.photometric) {
    case 0:
    case 1:
        l.mode = l.bps > 8 ? Mode::kGrey16 : Mode::kGrey8;
        l.channels = 1;
        break;
    case 2:
        if (l.spp < 3) {
            err = "RGB TIFF with fewer than 3 samples per pixel";
            return false;
        }
        l.mode = Mode::kRgb;
        l.channels = 3;
        break;
    case 3:
        if (l.bps > 8) {
            err = "palette TIFF of more than 8 bits per pixel is not read";
            return false;
        }
        l.mode = Mode::kPalette;
        l.channels = 1;
        break;
    case 5:
        // Inks other than CMYK, and CMYK in separate planes (which needs all four samples at once), are not
        // read; chunky CMYK becomes RGB as (1 - c)(1 - k).
        if (ifd.value(kInkSet, 1) != 1 || l.spp < 4 || l.planar == 2) {
            err = "separated TIFF other than chunky CMYK is not read";
            return false;
        }
        l.mode = Mode::kCmyk;
        l.channels = 4;
        break;
    case 6:
        err = "YCbCr TIFF is not read";
        return false;
    case 8:
    case 9:
    case 10:
        err = "CIE Lab TIFF is not read";
        return false;
    default:
        err = "TIFF of photometric interpretation " + std::to_string(l.photometric) + " is not read";
        return false;
    }
    l.predictor = ifd.value(kPredictor, 1);
    if (l.predictor != 1 && (l.predictor != 2 || (l.bps != 8 && l.bps != 16))) {
        err = "TIFF predictor " + std::to_string(l.predictor) + " with " + std::to_string(l.bps) +
              "-bit samples is not read";
        return false;
    }
    l.fill_order = ifd.value(kFillOrder, 1);
    if (l.compression >= 2 && l.compression <= 4) {
        if (l.bps != 1 || l.spp != 1) {
            err = "fax-coded TIFF that is not bilevel";
            return false;
        }
        if (l.compression == 2) {
            l.fax.coding = CcittCoding::kModifiedHuffman;
        } else if (l.compression == 3) {
            uint32_t t4 = ifd.value(kT4Options, 0);
            if (t4 & 2) {
                err = "uncompressed-mode fax TIFF is not read";
                return false;
            }
            l.fax.coding = CcittCoding::kT4;
            l.fax.two_dimensional = (t4 & 1) != 0;
            l.fax.aligned_eol = (t4 & 4) != 0;
        } else {
            if (ifd.value(kT6Options, 0) & 2) {
                err = "uncompressed-mode fax TIFF is not read";
                return false;
            }
            l.fax.coding = CcittCoding::kT6;
        }
    }

    l.tiled = ifd.has(kTileWidth) || ifd.has(kTileOffsets);
    if (l.tiled) {
        l.chunk_w = ifd.value(kTileWidth, 0);
        l.chunk_h = ifd.value(kTileLength, 0);
        if (l.chunk_w == 0 || l.chunk_h == 0 || l.chunk_w > (1u << 24) || l.chunk_h > (1u << 24)) {
            err = "TIFF tile size is missing or wrong";
            return false;
        }
    } else {
        l.chunk_w = l.width;
        l.chunk_h = std::min(ifd.value(kRowsPerStrip, 0xFFFFFFFFu), l.height);
        if (l.chunk_h == 0) {
            l.chunk_h = l.height;
        }
    }
    l.across = static_cast<uint32_t>((uint64_t{l.width} + l.chunk_w - 1) / l.chunk_w);
    l.down = static_cast<uint32_t>((uint64_t{l.height} + l.chunk_h - 1) / l.chunk_h);
    uint64_t chunks = uint64_t{l.across} * l.down * (l.planar == 2 ? l.spp : 1);
    const char* what = l.tiled ? "tile" : "strip";
    if (!ifd.values(l.tiled ? kTileOffsets : kStripOffsets, l.offsets) || l.offsets.size() < chunks) {
        err = std::string("TIFF ") + what + " offsets are missing or too few";
        return false;
    }
    if (!ifd.values(l.tiled ? kTileByteCounts : kStripByteCounts, l.counts)) {
        // Only raw data has a length that follows from the layout; a compressed chunk's end is unknown.
        if (l.compression != 1) {
            err = std::string("TIFF without ") + what + " byte counts is not read";
            return false;
        }
        uint64_t row = (uint64_t{l.chunk_w} * (l.planar == 2 ? 1 : l.spp) * l.bps + 7) / 8;
        l.counts.assign(l.offsets.size(), static_cast<uint32_t>(std::min<uint64_t>(row * l.chunk_h, f.size)));
    }
    if (l.counts.size() < chunks) {
        err = std::string("TIFF ") + what + " byte counts are too few";
        return false;
    }
    return true;
}

// Raw, PackBits and Deflate data expand by at most a known factor, so a file whose strips are too
// small to fill the picture it declares is refused before the picture is allocated.  LZW and the fax
// codings have no useful bound; their output is limited by the picture itself.
bool data_can_fill(const File& f, const Layout& l, std::string& err) {
    uint64_t factor = 0;
    if (l.compression == 1) {
        factor = 1;
    } else if (l.compression == 32773) {
        factor = 64; // two bytes give a run of 128
    } else if (l.compression == 8 || l.compression == 32946) {
        factor = 1032; // Deflate's largest expansion
    }
    if (factor == 0) {
        return true;
    }
    uint32_t planes = l.planar == 2 ? std::min(l.spp, l.channels) : 1;
    uint64_t chunks = uint64_t{l.across} * l.down * planes;
    uint64_t held = 0;
    for (size_t i = 0; i < chunks; ++i) {
        held += l.offsets[i] < f.size ? std::min<uint64_t>(l.counts[i], f.size - l.offsets[i]) : 0;
    }
    uint64_t row = (uint64_t{l.chunk_w} * (l.planar == 2 ? 1 : l.spp) * l.bps + 7) / 8;
    uint64_t rows = l.tiled ? uint64_t{l.down} * l.chunk_h : l.height;
    uint64_t need = row * rows * l.across * planes;
    if (held * factor < need) {
        err = "TIFF data is too short for its picture";
        return false;
    }
    return true;
}

uint8_t reversed_bits(uint8_t b) {
    b = static_cast<uint8_t>((b & 0xF0) >> 4 | (b & 0x0F) << 4);
    b = static_cast<uint8_t>((b & 0xCC) >> 2 | (b & 0x33) << 2);
    return static_cast<uint8_t>((b & 0xAA) >> 1 | (b & 0x55) << 1);
}

// Inflates a zlib stream into `out`; false only when the stream is broken (a short one just stops).
bool inflate_chunk(const uint8_t* src, size_t n, uint8_t* out, size_t cap, size_t& made) {
    z_stream z{};
    if (inflateInit(&z) != Z_OK) {
        return false;
    }
    z.next_in = const_cast<Bytef*>(src);
    z.next_out = out;
    int rc = Z_OK;
    size_t in_left = n, out_left = cap;
    // zlib counts in 32 bits: feed it in steps.  Once nothing can move it answers Z_BUF_ERROR.
    while (rc == Z_OK && out_left > 0) {
        uInt in_step = static_cast<uInt>(std::min<size_t>(in_left, 1u << 30));
        uInt out_step = static_cast<uInt>(std::min<size_t>(out_left, 1u << 30));
        z.avail_in = in_step;
        z.avail_out = out_step;
        rc = inflate(&z, Z_NO_FLUSH);
        in_left -= in_step - z.avail_in;
        out_left -= out_step - z.avail_out;
    }
    made = cap - out_left;
    inflateEnd(&z);
    return rc == Z_OK || rc == Z_STREAM_END || rc == Z_BUF_ERROR;
}

// Undoes horizontal differencing in one row of `count` samples, `stride` samples per pixel.
void undo_predictor(uint8_t* row, size_t count, uint32_t stride, uint32_t bps, bool big) {
    if (bps == 8 && stride == 3 && count >= 3) {
        // The common colour case with the three running sums in registers: the plain loop below waits
        // on its own store for every byte.
        uint8_t a = row[0], b = row[1], c = row[2];
        for (size_t i = 3; i + 3 <= count; i += 3) {
            a = static_cast<uint8_t>(a + row[i]);
            b = static_cast<uint8_t>(b + row[i + 1]);
            c = static_cast<uint8_t>(c + row[i + 2]);
            row[i] = a;
            row[i + 1] = b;
            row[i + 2] = c;
        }
        return;
    }
    if (bps == 8) {
        for (size_t i = stride; i < count; ++i) {
            row[i] = static_cast<uint8_t>(row[i] + row[i - stride]);
        }
        return;
    }
    int hi = big ? 0 : 1, lo = 1 - hi;
    for (size_t i = stride; i < count; ++i) {
        uint8_t* s = row + 2 * i;
        const uint8_t* p = row + 2 * (i - stride);
        uint32_t v = ((uint32_t{s[hi]} << 8) | s[lo]) + ((uint32_t{p[hi]} << 8) | p[lo]);
        s[hi] = static_cast<uint8_t>(v >> 8);
        s[lo] = static_cast<uint8_t>(v);
    }
}

// The samples of one row, one value each: 16-bit samples in the file's byte order, others packed most
// significant bit first.
void unpack(const uint8_t* src, size_t count, uint32_t bps, bool big, uint32_t flip, uint16_t* dst) {
    if (bps == 8) {
        for (size_t i = 0; i < count; ++i) {
            dst[i] = static_cast<uint16_t>(src[i] ^ flip);
        }
    } else if (bps == 16) {
        int hi = big ? 0 : 1, lo = 1 - hi;
        for (size_t i = 0; i < count; ++i, src += 2) {
            dst[i] = static_cast<uint16_t>(((uint32_t{src[hi]} << 8) | src[lo]) ^ flip);
        }
    } else {
        uint32_t acc = 0, mask = (1u << bps) - 1;
        uint32_t have = 0;
        for (size_t i = 0; i < count; ++i) {
            while (have < bps) {
                acc = (acc << 8) | *src++;
                have += 8;
            }
            have -= bps;
            dst[i] = static_cast<uint16_t>(((acc >> have) & mask) ^ flip);
        }
    }
}

// Red, green, blue to the block's blue, green, red; the rows never overlap, which lets the compiler
// vectorise the loop.
void swap_rgb(const uint8_t* __restrict from, uint32_t width, uint8_t* __restrict to) {
    for (uint32_t x = 0; x < width; ++x) {
        to[3 * x] = from[3 * x + 2];
        to[3 * x + 1] = from[3 * x + 1];
        to[3 * x + 2] = from[3 * x];
    }
}

// The horizontal predictor undone and the channels swapped in one pass over a chunky 8-bit RGB row.
void sum_and_swap_rgb(const uint8_t* __restrict from, uint32_t width, uint8_t* __restrict to) {
    uint8_t r = 0, g = 0, b = 0;
    for (uint32_t x = 0; x < width; ++x) {
        r = static_cast<uint8_t>(r + from[3 * x]);
        g = static_cast<uint8_t>(g + from[3 * x + 1]);
        b = static_cast<uint8_t>(b + from[3 * x + 2]);
        to[3 * x] = b;
        to[3 * x + 1] = g;
        to[3 * x + 2] = r;
    }
}

class Decoder {
  public:
    Decoder(const File& f, const Layout& l, Picture& out) : f_(f), l_(l), out_(out) {
    }

    bool run(std::string& err) {
        uint32_t planes = l_.planar == 2 ? std::min(l_.spp, l_.channels) : 1;
        uint32_t spp_c = l_.planar == 2 ? 1 : l_.spp;
        row_bytes_ = (uint64_t{l_.chunk_w} * spp_c * l_.bps + 7) / 8;
        uint64_t need = row_bytes_ * l_.chunk_h;
        // Tiles far larger than the picture are nonsense; refusing them keeps one chunk's buffer sane.
        if (need > 4 * uint64_t{out_.pixels.size()} + (1u << 20)) {
            err = std::string("TIFF ") + (l_.tiled ? "tile" : "strip") + " is far larger than the picture";
            return false;
        }
        buf_.resize(need);
        samples_.resize(size_t{l_.chunk_w} * spp_c);
        build_lut();
        for (uint32_t p = 0; p < planes; ++p) {
            for (uint32_t cy = 0; cy < l_.down; ++cy) {
                for (uint32_t cx = 0; cx < l_.across; ++cx) {
                    size_t index = (size_t{p} * l_.down + cy) * l_.across + cx;
                    if (!chunk(index, cx * l_.chunk_w, cy * l_.chunk_h, p, spp_c, err)) {
                        return false;
                    }
                }
            }
        }
        return true;
    }

    uint16_t lowest = 0xFFFF, highest = 0;

  private:
    void build_lut() {
        uint32_t maxv = (1u << l_.bps) - 1;
        lut_.resize(size_t{maxv} + 1);
        for (uint32_t v = 0; v <= maxv; ++v) {
            uint32_t s = (v * 255 + maxv / 2) / maxv;
            lut_[v] = static_cast<uint8_t>(l_.photometric == 0 ? 255 - s : s);
        }
    }

    bool chunk(size_t index, uint32_t x0, uint32_t y0, uint32_t plane, uint32_t spp_c, std::string& err) {
        const char* what = l_.tiled ? "tile" : "strip";
        uint32_t rows = std::min(l_.chunk_h, l_.height - y0);
        if (l_.tiled) {
            rows = l_.chunk_h; // tiles are coded whole; the rows below the picture are dropped
        }
        size_t need = row_bytes_ * rows;
        size_t off = l_.offsets[index];
        size_t n = l_.counts[index];
        if (off > f_.size) {
            err = std::string("TIFF ") + what + " " + std::to_string(index) + " starts past the end of the file";
            return false;
        }
        n = std::min(n, f_.size - off);
        const uint8_t* src = f_.p + off;
        if (l_.fill_order == 2) {
            raw_.assign(src, src + n);
            for (uint8_t& b : raw_) {
                b = reversed_bits(b);
            }
            src = raw_.data();
        }
        uint8_t* dst = buf_.data();
        size_t made = 0;
        switch (l_.compression) {
        case 1:
            made = std::min(n, need);
            if (made > 0) {
                std::memcpy(dst, src, made);
            }
            break;
        case 32773:
            made = packbits_decode(src, n, dst, need);
            break;
        case 8:
        case 32946:
            if (!inflate_chunk(src, n, dst, need, made)) {
                err = std::string("TIFF Deflate data broken in ") + what + " " + std::to_string(index);
                return false;
            }
            break;
        case 5: {
            LzwOutcome r = decode_lzw_tiff({src, n}, {dst, need});
            if (!r.error.empty()) {
                err = std::string("TIFF LZW data broken in ") + what + " " + std::to_string(index) + ": " + r.error;
                return false;
            }
            made = r.produced;
            break;
        }
        default: {
            int done = 0;
            std::string why;
            if (!ccitt_decode(src, n, l_.fax, static_cast<int>(l_.chunk_w), static_cast<int>(rows), dst, done, why)) {
                err = "TIFF " + std::string(what) + " " + std::to_string(index) + ": " + why;
                return false;
            }
            made = size_t(done) * row_bytes_;
            break;
        }
        }
        if (made < need) {
            std::memset(dst + made, 0, need - made); // short data: the rest reads as zero samples
        }
        size_t count = size_t{l_.chunk_w} * spp_c;
        uint32_t width = std::min(l_.chunk_w, l_.width - x0);
        for (uint32_t r = 0; r < rows && y0 + r < l_.height; ++r) {
            uint8_t* row = dst + r * row_bytes_;
            uint8_t* o = out_.pixels.data() + size_t{y0 + r} * out_.row_bytes() + size_t{x0} * out_.bytes_per_pixel();
            if (l_.predictor == 2 && plain_rgb(spp_c)) {
                sum_and_swap_rgb(row, width, o);
                continue;
            }
            if (l_.predictor == 2) {
                undo_predictor(row, count, spp_c, l_.bps, f_.big);
            }
            store(row, width, spp_c, plane, o);
        }
        return true;
    }

    // Chunky 8-bit RGB, the commonest colour layout, which has loops of its own.
    bool plain_rgb(uint32_t spp_c) const {
        return l_.mode == Mode::kRgb && l_.bps == 8 && spp_c == 3 && l_.flip == 0;
    }

    // One row of a chunk into the picture: `width` pixels starting at `o`.
    void store(const uint8_t* row, uint32_t width, uint32_t spp_c, uint32_t plane, uint8_t* o) {
        if (l_.mode == Mode::kRgb && l_.bps == 8 && spp_c >= 3 && l_.flip == 0) {
            if (plain_rgb(spp_c)) {
                swap_rgb(row, width, o);
                return;
            }
            for (uint32_t x = 0; x < width; ++x, row += spp_c, o += 3) {
                o[0] = row[2];
                o[1] = row[1];
                o[2] = row[0];
            }
            return;
        }
        uint16_t* s = samples_.data();
        unpack(row, size_t{width} * spp_c, l_.bps, f_.big, l_.flip, s);
        switch (l_.mode) {
        case Mode::kGrey8:
            for (uint32_t x = 0; x < width; ++x) {
                o[x] = lut_[s[x * spp_c]];
            }
            break;
        case Mode::kPalette:
            for (uint32_t x = 0; x < width; ++x) {
                o[x] = static_cast<uint8_t>(s[x * spp_c]);
            }
            break;
        case Mode::kGrey16: {
            uint32_t maxv = (1u << l_.bps) - 1;
            for (uint32_t x = 0; x < width; ++x) {
                uint16_t v = s[x * spp_c];
                if (l_.photometric == 0) {
                    v = static_cast<uint16_t>(maxv - v);
                }
                lowest = std::min(lowest, v);
                highest = std::max(highest, v);
                o[2 * x] = static_cast<uint8_t>(v);
                o[2 * x + 1] = static_cast<uint8_t>(v >> 8);
            }
            break;
        }
        case Mode::kCmyk:
            for (uint32_t x = 0; x < width; ++x, o += 3) {
                const uint16_t* p = s + x * spp_c;
                uint32_t white = 255 - lut_[p[3]];
                o[0] = static_cast<uint8_t>(((255 - lut_[p[2]]) * white + 127) / 255);
                o[1] = static_cast<uint8_t>(((255 - lut_[p[1]]) * white + 127) / 255);
                o[2] = static_cast<uint8_t>(((255 - lut_[p[0]]) * white + 127) / 255);
            }
            break;
        case Mode::kRgb:
            for (uint32_t c = 0; c < spp_c && plane + c < 3; ++c) {
                uint8_t* d = o + 2 - (plane + c);
                for (uint32_t x = 0; x < width; ++x) {
                    d[3 * x] = lut_[s[x * spp_c + c]];
                }
            }
            break;
        }
    }

    const File& f_;
    const Layout& l_;
    Picture& out_;
    size_t row_bytes_ = 0;
    std::vector<uint8_t> buf_, raw_, lut_;
    std::vector<uint16_t> samples_;
};

bool read_all(model::LineReader& in, std::vector<uint8_t>& bytes, std::string& err) {
    int64_t left = in.remaining();
    if (left > kMaxFileBytes) {
        err = "TIFF file is too large";
        return false;
    }
    if (left >= 0) {
        bytes.resize(static_cast<size_t>(left));
        bytes.resize(in.ReadBytes(bytes.data(), bytes.size()));
        return true;
    }
    uint8_t block[65536];
    for (size_t n; (n = in.ReadBytes(block, sizeof block)) > 0;) {
        if (static_cast<int64_t>(bytes.size() + n) > kMaxFileBytes) {
            err = "TIFF file is too large";
            return false;
        }
        bytes.insert(bytes.end(), block, block + n);
    }
    return true;
}

} // namespace

bool tiff_accepts(std::string_view head) {
    return head.size() >= 8 &&
           (head.substr(0, 4) == std::string_view("II*\0", 4) || head.substr(0, 4) == std::string_view("MM\0*", 4));
}

bool decode_tiff(model::LineReader& in, Picture& out, DecodeError& error) {
    if (!tiff_accepts(in.head())) {
        error.message = "not a TIFF file";
        return false;
    }
    std::vector<uint8_t> bytes;
    if (!read_all(in, bytes, error.message)) {
        return false;
    }
    File f;
    f.p = bytes.data();
    f.size = bytes.size();
    if (f.size < 8) {
        error.message = "TIFF file is cut short";
        return false;
    }
    f.big = bytes[0] == 'M';
    Ifd ifd;
    Layout l;
    if (!ifd.read(f, f.u32(4), error.message) || !set_up(f, ifd, l, error.message) ||
        !data_can_fill(f, l, error.message)) {
        return false;
    }

    out = Picture();
    out.width = static_cast<int32_t>(l.width);
    out.height = static_cast<int32_t>(l.height);
    out.row_length = static_cast<int32_t>((l.width + 3) & ~3u);
    bool colour = l.mode == Mode::kRgb || l.mode == Mode::kCmyk;
    out.bits = colour ? 24 : l.mode == Mode::kGrey16 ? 16 : 8;
    out.palette_kind = colour ? kPaletteDirect : l.mode == Mode::kPalette ? kPaletteOwn : kPaletteGrey;
    if (l.mode == Mode::kPalette) {
        std::vector<uint32_t> map;
        size_t entries = size_t{1} << l.bps;
        if (!ifd.values(kColorMap, map) || map.size() < 3 * entries) {
            error.message = "palette TIFF without a full ColorMap";
            return false;
        }
        for (size_t i = 0; i < entries; ++i) {
            auto c8 = [](uint32_t v) { return ((v & 0xFFFF) * 255 + 32767) / 65535; };
            out.palette[i] = c8(map[i]) << 16 | c8(map[entries + i]) << 8 | c8(map[2 * entries + i]);
        }
    } else {
        for (uint32_t i = 0; i < 256; ++i) {
            out.palette[i] = i << 16 | i << 8 | i;
        }
    }
    double res = ifd.rational(kXResolution, 0);
    if (ifd.value(kResolutionUnit, 2) == 3) {
        res *= 2.54;
    }
    out.dpi = res >= 0.5 && res < 1e6 ? static_cast<int32_t>(res + 0.5) : 100;
    if (!out.allocate()) {
        error.message = "TIFF picture is too large";
        return false;
    }
    Decoder d(f, l, out);
    if (!d.run(error.message)) {
        out.pixels.clear();
        return false;
    }
    if (l.mode == Mode::kGrey16) {
        const Entry* lo = ifd.find(kSMinSampleValue);
        const Entry* hi = ifd.find(kSMaxSampleValue);
        out.lowest = lo != nullptr ? static_cast<uint16_t>(ifd.value(kSMinSampleValue, 0)) : d.lowest;
        out.highest = hi != nullptr ? static_cast<uint16_t>(ifd.value(kSMaxSampleValue, 0xFFFF)) : d.highest;
        if (d.lowest > d.highest) {
            out.lowest = out.highest = 0;
        }
    }
    return true;
}

} // namespace trazel::images
