// The BMP decoder: 1, 4, 8 (plain or run-length), 16 (5-5-5) and 24 bits per pixel, bottom-up or
// top-down rows.
#include <algorithm>
#include <cstring>
#include <string>

#include "images/picture.h"

namespace trazel::images {

namespace {

constexpr size_t kFileHeader = 14;
constexpr int32_t kMaxSide = 65535;

uint32_t le32(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}

uint16_t le16(const unsigned char* p) {
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}

bool fail(DecodeError& e, std::string message) {
    e.message = std::move(message);
    return false;
}

std::string size_text(int64_t w, int64_t h) {
    return std::to_string(w) + " x " + std::to_string(h);
}

// Pixels per metre to dots per inch: x 0.0254 as the fixed-point factor 109092169 / 2^32, rounded; a
// result below 50 (0 included) is taken as 100.
int32_t dpi_of(int32_t per_metre) {
    if (per_metre <= 0) {
        return 100;
    }
    int64_t dpi = (static_cast<int64_t>(per_metre) * 109092169 + (int64_t{1} << 31)) >> 32;
    return dpi < 50 ? 100 : static_cast<int32_t>(dpi);
}

// Reads whole file rows into the picture, stored top row first; `convert` turns one file row into one
// stored row.  Returns the number of rows read (fewer when the file ends).
template <class Convert>
int32_t read_rows(model::LineReader& in, Picture& p, bool bottom_up, size_t file_row, Convert&& convert) {
    std::vector<uint8_t> row(file_row);
    for (int32_t r = 0; r < p.height; ++r) {
        if (in.ReadBytes(row.data(), file_row) != file_row) {
            return r;
        }
        int32_t to = bottom_up ? p.height - 1 - r : r;
        convert(row.data(), p.pixels.data() + static_cast<size_t>(to) * p.row_bytes());
    }
    return p.height;
}

// Rows stored as the file holds them: read straight into place, the pad bytes skipped.
void read_rows_as_they_are(model::LineReader& in, Picture& p, bool bottom_up, size_t keep, size_t pad) {
    for (int32_t r = 0; r < p.height; ++r) {
        int32_t to = bottom_up ? p.height - 1 - r : r;
        if (in.ReadBytes(p.pixels.data() + static_cast<size_t>(to) * p.row_bytes(), keep) != keep ||
            (pad > 0 && in.ReadBytes(nullptr, pad) != pad)) {
            return;
        }
    }
}

// Run-length coded 8-bit rows.  `data` is the whole coded stream.
void decode_rle8(const std::vector<uint8_t>& data, Picture& p, bool bottom_up) {
    const uint8_t* s = data.data();
    const uint8_t* end = s + data.size();
    int32_t x = 0, y = 0; // y counts file rows
    bool produced = false;
    auto at = [&](int32_t col) -> uint8_t* {
        int32_t to = bottom_up ? p.height - 1 - y : y;
        return p.pixels.data() + static_cast<size_t>(to) * p.row_bytes() + col;
    };
    while (y < p.height && end - s >= 2) {
        uint8_t count = *s++;
        uint8_t value = *s++;
        if (count > 0) {
            int32_t n = std::min<int32_t>(count, p.row_length - x);
            if (n > 0) {
                std::memset(at(x), value, static_cast<size_t>(n));
                x += n;
            }
            produced = true;
            continue;
        }
        switch (value) {
        case 0: // end of row; the rest stays zero
            if (produced) {
                ++y;
                x = 0;
                produced = false;
            }
            break;
        case 1: // end of picture
            return;
        case 2: { // move right and up by the two bytes that follow
            if (end - s < 2) {
                return;
            }
            x = std::min<int32_t>(x + s[0], p.row_length);
            y += s[1];
            s += 2;
            if (s[-1] != 0) {
                produced = x > 0;
            }
            break;
        }
        default: { // copy `value` bytes, padded to an even count
            size_t n = value;
            size_t have = std::min<size_t>(n, static_cast<size_t>(end - s));
            size_t fit = std::min<size_t>(have, static_cast<size_t>(p.row_length - x));
            if (fit > 0) {
                std::memcpy(at(x), s, fit);
                x += static_cast<int32_t>(fit);
            }
            produced = true;
            s += have;
            if ((n & 1) && s < end) {
                ++s;
            }
            break;
        }
        }
    }
}

} // namespace

bool bmp_accepts(std::string_view head) {
    if (head.size() < kFileHeader + 40 || head[0] != 'B' || head[1] != 'M') {
        return false;
    }
    const auto* h = reinterpret_cast<const unsigned char*>(head.data());
    uint32_t info = le32(h + 14);
    uint16_t planes = le16(h + 26), bits = le16(h + 28);
    uint32_t compression = le32(h + 30);
    return info >= 40 && info <= 256 && planes == 1 &&
           (bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24) &&
           (compression == 0 || (compression == 1 && bits == 8));
}

bool decode_bmp(model::LineReader& in, Picture& out, DecodeError& error) {
    unsigned char h[kFileHeader + 256] = {};
    if (in.ReadBytes(h, kFileHeader + 4) != kFileHeader + 4) {
        return fail(error, "BMP header is cut short");
    }
    uint32_t info = le32(h + 14);
    if (info < 40 || info > 256 || in.ReadBytes(h + kFileHeader + 4, info - 4) != info - 4) {
        return fail(error, "BMP header is cut short");
    }
    uint32_t offset = le32(h + 10);
    auto width = static_cast<int32_t>(le32(h + 18));
    auto height = static_cast<int32_t>(le32(h + 22));
    int bits = le16(h + 28);
    uint32_t compression = le32(h + 30);
    auto per_metre = static_cast<int32_t>(le32(h + 38));
    if (le16(h + 26) != 1 || (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24) ||
        !(compression == 0 || (compression == 1 && bits == 8))) {
        return fail(error, "BMP of " + std::to_string(bits) + " bits per pixel, compression " +
                               std::to_string(compression) + " is not read");
    }
    // A negative height marks rows stored top row first.
    bool bottom_up = height >= 0;
    int64_t rows = height < 0 ? -static_cast<int64_t>(height) : height;
    if (width <= 0 || rows == 0) {
        return fail(error, "BMP of " + size_text(width, height) + " pixels has no picture");
    }
    if (width > kMaxSide || rows > kMaxSide) {
        return fail(error, "BMP of " + size_text(width, rows) + " pixels is too large (at most 65535 a side)");
    }

    // The palette fills the gap between the headers and the pixel data, at most 256 entries.
    std::array<uint32_t, 256> palette{};
    size_t consumed = kFileHeader + info;
    int entries = 0;
    if (bits <= 8 && offset > consumed) {
        entries = static_cast<int>(std::min<uint32_t>((offset - static_cast<uint32_t>(consumed)) / 4, 256));
        unsigned char raw[1024];
        size_t want = static_cast<size_t>(entries) * 4;
        if (in.ReadBytes(raw, want) != want) {
            return fail(error, "BMP palette is cut short");
        }
        consumed += want;
        for (int i = 0; i < entries; ++i) {
            const unsigned char* e = raw + 4 * i;
            palette[static_cast<size_t>(i)] =
                static_cast<uint32_t>(e[2]) << 16 | static_cast<uint32_t>(e[1]) << 8 | e[0];
        }
    }
    if (offset > consumed) {
        size_t gap = offset - consumed;
        if (in.ReadBytes(nullptr, gap) != gap) {
            return fail(error, "BMP pixel data offset lies beyond the end of the file");
        }
    }

    Picture& p = out;
    p.width = width;
    p.height = static_cast<int32_t>(rows);
    p.dpi = dpi_of(per_metre);
    p.bits = 8;
    switch (bits) {
    case 1:
        p.row_length = (width + 31) & ~31;
        p.palette_kind = kPaletteGrey;
        break;
    case 4:
        p.row_length = (width + 7) & ~7;
        p.palette_kind = kPaletteSystem;
        break;
    case 8:
        p.row_length = (width + 3) & ~3;
        p.palette_kind = kPaletteOwn;
        break;
    default:
        p.row_length = width;
        p.bits = 24;
        p.palette_kind = kPaletteDirect;
        break;
    }
    size_t file_row = bits == 24   ? static_cast<size_t>(width) * 3 + static_cast<size_t>(width % 4)
                      : bits == 16 ? static_cast<size_t>((width + 1) & ~1) * 2
                                   : static_cast<size_t>(p.row_length) * static_cast<size_t>(bits) / 8;
    int64_t left = in.remaining();
    // A 1-bit picture may end early (its missing rows stay at level 0); every other plain picture must
    // hold all its rows.
    if (compression == 0 && bits != 1 && left >= 0 && static_cast<int64_t>(file_row) * rows > left) {
        return fail(error, "BMP pixel data is cut short: " + std::to_string(left) + " of " +
                               std::to_string(static_cast<int64_t>(file_row) * rows) + " bytes");
    }
    if (!p.allocate()) {
        return fail(error, "BMP of " + size_text(width, rows) + " pixels is larger than pictures may be");
    }

    switch (bits) {
    case 24: {
        size_t keep = static_cast<size_t>(width) * 3;
        read_rows_as_they_are(in, p, bottom_up, keep, file_row - keep);
        break;
    }
    case 16:
        read_rows(in, p, bottom_up, file_row, [&](const uint8_t* s, uint8_t* d) {
            for (int32_t x = 0; x < width; ++x, s += 2, d += 3) {
                unsigned v = static_cast<unsigned>(s[0] | s[1] << 8);
                d[0] = static_cast<uint8_t>((v & 31) << 3);
                d[1] = static_cast<uint8_t>((v >> 5 & 31) << 3);
                d[2] = static_cast<uint8_t>((v >> 10 & 31) << 3);
            }
        });
        break;
    case 8: {
        bool ramp = true;
        for (uint32_t i = 0; i < 256 && ramp; ++i) {
            ramp = palette[i] == (i << 16 | i << 8 | i);
        }
        p.palette = palette;
        if (ramp) {
            p.palette_kind = kPaletteGrey;
        }
        if (compression == 0) {
            read_rows_as_they_are(in, p, bottom_up, file_row, 0);
            break;
        }
        // The coded stream is read whole, up to what the worst coding of the picture could take.
        int64_t most = static_cast<int64_t>(p.row_length + 2) * 2 * rows + 2;
        std::vector<uint8_t> data;
        while (static_cast<int64_t>(data.size()) < most) {
            size_t at = data.size();
            size_t piece = static_cast<size_t>(
                std::min<int64_t>(most - static_cast<int64_t>(at), static_cast<int64_t>(model::LineReader::kChunk)));
            data.resize(at + piece);
            size_t got = in.ReadBytes(data.data() + at, piece);
            data.resize(at + got);
            if (got < piece) {
                break;
            }
        }
        decode_rle8(data, p, bottom_up);
        break;
    }
    case 4: {
        uint8_t map[16];
        for (int i = 0; i < 16; ++i) {
            uint32_t c = palette[static_cast<size_t>(i)];
            uint32_t r = c >> 16 & 0xFF, g = c >> 8 & 0xFF, b = c & 0xFF;
            map[i] = static_cast<uint8_t>(20 + (b * 6 >> 8) + 6 * (g * 6 >> 8) + 36 * (r * 6 >> 8));
        }
        read_rows(in, p, bottom_up, file_row, [&](const uint8_t* s, uint8_t* d) {
            for (size_t k = 0; k < file_row; ++k) {
                *d++ = map[s[k] >> 4];
                *d++ = map[s[k] & 15];
            }
        });
        break;
    }
    default: { // 1 bit
        auto level = [](uint32_t c) {
            return static_cast<uint8_t>(((c >> 16 & 0xFF) + (c >> 8 & 0xFF) + (c & 0xFF)) / 3);
        };
        uint8_t lv[2] = {level(palette[0]), level(palette[1])};
        read_rows(in, p, bottom_up, file_row, [&](const uint8_t* s, uint8_t* d) {
            for (size_t k = 0; k < file_row; ++k) {
                for (int b = 7; b >= 0; --b) {
                    *d++ = lv[s[k] >> b & 1];
                }
            }
        });
        break;
    }
    }
    return true;
}

} // namespace trazel::images
