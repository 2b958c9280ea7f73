// The PCX decoder: run-length scan lines of one or three planes, 1 or 8 bits per plane.  One 8-bit plane
// takes the 256-colour palette after the marker byte 12 at the end of the file (grey when there is
// none); three 8-bit planes (red, green, blue) become 24-bit blue-green-red pixels; one 1-bit plane is
// bilevel 0/255 unless its two header colours are other than black and white, when they become the
// palette; three 1-bit planes index the 16-colour header palette.
#include <algorithm>
#include <cstring>

#include "images/picture.h"

namespace trazel::images {

namespace {

int u16(const uint8_t* p) {
    return p[0] | (p[1] << 8);
}

constexpr size_t kHeader = 128;
constexpr size_t kTailPalette = 769; // the marker byte 12 and 256 x 3 colour bytes

// The header tests of the import chooser's PCX row.
bool header_ok(const uint8_t* h) {
    const int bits = h[3];
    const int planes = h[65];
    const int max_x = u16(h + 8), max_y = u16(h + 10);
    const int hres = u16(h + 12), vres = u16(h + 14);
    const int bytes_per_line = u16(h + 66);
    return u16(h) == 0x050A && h[2] == 1 && (bits == 1 || bits == 8) && u16(h + 4) == 0 && u16(h + 6) == 0 &&
           max_x >= 4 && max_x <= 4095 && max_y >= 4 && max_y <= 4095 && hres < 1024 && hres == vres &&
           (planes == 1 || planes == 3) && bytes_per_line >= 4 && bytes_per_line <= 4095;
}

uint32_t header_colour(const uint8_t* h, int i) {
    const uint8_t* c = h + 16 + 3 * i;
    return (uint32_t{c[0]} << 16) | (uint32_t{c[1]} << 8) | c[2];
}

// Everything after the header, in one buffer: the palette sits at the end of the file.
std::vector<uint8_t> read_rest(model::LineReader& in) {
    std::vector<uint8_t> body;
    const int64_t left = in.remaining();
    if (left >= 0) {
        body.resize(static_cast<size_t>(left));
        body.resize(in.ReadBytes(body.data(), body.size()));
        return body;
    }
    for (;;) {
        const size_t at = body.size();
        body.resize(at + model::LineReader::kChunk);
        const size_t got = in.ReadBytes(body.data() + at, model::LineReader::kChunk);
        body.resize(at + got);
        if (got == 0) {
            return body;
        }
    }
}

} // namespace

bool pcx_accepts(std::string_view head) {
    return head.size() >= kHeader && header_ok(reinterpret_cast<const uint8_t*>(head.data()));
}

bool decode_pcx(model::LineReader& in, Picture& out, DecodeError& error) {
    uint8_t h[kHeader];
    if (in.ReadBytes(h, kHeader) != kHeader || !header_ok(h)) {
        error.message = "not a PCX file this reader knows (version 5, run-length, 1 or 3 planes)";
        return false;
    }
    const int bits = h[3];
    const int planes = h[65];
    const size_t bytes_per_line = static_cast<size_t>(u16(h + 66));
    const int dpi = u16(h + 12);
    Picture pic;
    pic.width = u16(h + 8) + 1;
    pic.height = u16(h + 10) + 1;
    pic.row_length = std::max(static_cast<int>(bytes_per_line) * (bits == 1 ? 8 : 1), (pic.width + 1) & ~1);
    pic.bits = bits == 8 && planes == 3 ? 24 : 8;
    pic.dpi = dpi == 0 ? 100 : dpi;

    const std::vector<uint8_t> body = read_rest(in);
    const size_t line_bytes = bytes_per_line * static_cast<size_t>(planes);
    const size_t wanted = line_bytes * static_cast<size_t>(pic.height);
    // A run of two bytes gives at most 63: refuse sizes the file cannot hold before allocating.
    if (wanted > body.size() * 32) {
        error.message = "PCX image data ends early";
        return false;
    }
    std::vector<uint8_t> lines(wanted);
    {
        const uint8_t* p = body.data();
        const uint8_t* const end = p + body.size();
        uint8_t* q = lines.data();
        uint8_t* const qend = q + wanted;
        while (q < qend && p < end) {
            uint8_t b = *p++;
            size_t count = 1;
            if ((b & 0xC0) == 0xC0) {
                if (p == end) {
                    break;
                }
                count = b & 0x3F;
                b = *p++;
            }
            count = std::min(count, static_cast<size_t>(qend - q)); // a run may not reach past the picture
            std::memset(q, b, count);
            q += count;
        }
        if (q < qend) {
            error.message = "PCX image data ends early";
            return false;
        }
    }

    if (!pic.allocate()) {
        error.message = "PCX picture is too large";
        return false;
    }
    const size_t row_bytes = pic.row_bytes();
    if (bits == 8 && planes == 1) {
        if (body.size() >= kTailPalette && body[body.size() - kTailPalette] == 12) {
            const uint8_t* c = body.data() + body.size() - kTailPalette + 1;
            for (size_t i = 0; i < 256; ++i, c += 3) {
                pic.palette[i] = (uint32_t{c[0]} << 16) | (uint32_t{c[1]} << 8) | c[2];
            }
            pic.palette_kind = kPaletteOwn;
        } else {
            pic.palette_kind = kPaletteGrey;
        }
        for (int y = 0; y < pic.height; ++y) {
            std::memcpy(pic.pixels.data() + y * row_bytes, lines.data() + y * line_bytes, bytes_per_line);
        }
    } else if (bits == 8) {
        pic.palette_kind = kPaletteDirect;
        for (int y = 0; y < pic.height; ++y) {
            const uint8_t* r = lines.data() + y * line_bytes;
            const uint8_t* g = r + bytes_per_line;
            const uint8_t* b = g + bytes_per_line;
            uint8_t* d = pic.pixels.data() + y * row_bytes;
            for (size_t x = 0; x < bytes_per_line; ++x, d += 3) {
                d[0] = b[x];
                d[1] = g[x];
                d[2] = r[x];
            }
        }
    } else {
        uint8_t level[8] = {0, 1, 2, 3, 4, 5, 6, 7};
        if (planes == 1) {
            const uint32_t c0 = header_colour(h, 0), c1 = header_colour(h, 1);
            if ((c0 == 0 && c1 == 0xFFFFFF) || c0 == c1) {
                pic.palette_kind = kPaletteGrey;
                level[1] = 255;
            } else {
                pic.palette_kind = kPaletteOwn;
            }
        } else {
            pic.palette_kind = kPaletteOwn;
        }
        if (pic.palette_kind == kPaletteOwn) {
            for (int i = 0; i < 16; ++i) {
                pic.palette[static_cast<size_t>(i)] = header_colour(h, i);
            }
        }
        for (int y = 0; y < pic.height; ++y) {
            const uint8_t* src = lines.data() + y * line_bytes;
            uint8_t* d = pic.pixels.data() + y * row_bytes;
            for (size_t x = 0; x < bytes_per_line * 8; ++x) {
                const size_t byte = x >> 3;
                const int shift = 7 - static_cast<int>(x & 7);
                int index = 0;
                for (int p = 0; p < planes; ++p) {
                    index |= ((src[p * bytes_per_line + byte] >> shift) & 1) << p;
                }
                d[x] = level[index];
            }
        }
    }
    out = std::move(pic);
    return true;
}

} // namespace trazel::images
