#pragma once
// Builders and readers the picture tests share: little-endian bytes, a BMP and a FITS file made byte by
// byte, deflated data, a decoder run on bytes in memory, and a picture as packed red, green, blue bytes.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <zlib.h>

#include "images/picture.h"
#include "model/line_reader.h"

namespace picture_kit {

using trazel::images::Picture;

inline void put32(std::string& s, uint32_t v) {
    for (int k = 0; k < 4; ++k) {
        s.push_back(static_cast<char>(v >> (8 * k)));
    }
}

inline void put16(std::string& s, uint32_t v) {
    s.push_back(static_cast<char>(v));
    s.push_back(static_cast<char>(v >> 8));
}

inline std::string bytes_of(std::initializer_list<int> v) {
    std::string s;
    for (int b : v) {
        s.push_back(static_cast<char>(b));
    }
    return s;
}

inline std::vector<uint32_t> grey_ramp() {
    std::vector<uint32_t> p(256);
    for (uint32_t i = 0; i < 256; ++i) {
        p[i] = i * 0x010101;
    }
    return p;
}

// A BMP: headers, palette (reserved bytes set, to see them cleared) and the pixel data as given.
struct Bmp {
    int32_t width = 1, height = 1;
    int bits = 8;
    uint32_t compression = 0;
    int32_t per_metre = 3780;
    uint32_t info = 40;
    uint16_t planes = 1;
    std::vector<uint32_t> palette; // 0x00RRGGBB
    std::string data;

    std::string bytes() const {
        std::string s = "BM";
        uint32_t offset = 14 + info + 4 * static_cast<uint32_t>(palette.size());
        for (uint32_t v : {offset + static_cast<uint32_t>(data.size()), 0u, offset, info, static_cast<uint32_t>(width),
                           static_cast<uint32_t>(height)}) {
            put32(s, v);
        }
        put16(s, planes);
        put16(s, static_cast<uint32_t>(bits));
        for (uint32_t v : {compression, static_cast<uint32_t>(data.size()), static_cast<uint32_t>(per_metre),
                           static_cast<uint32_t>(per_metre), static_cast<uint32_t>(palette.size()), 0u}) {
            put32(s, v);
        }
        s.resize(14 + info);
        for (uint32_t c : palette) {
            s += {static_cast<char>(c), static_cast<char>(c >> 8), static_cast<char>(c >> 16), '\x7F'};
        }
        return s + data;
    }
};

// A FITS card in the fixed format: keyword in columns 1-8, "= ", the value right-justified to column 30.
inline std::string card(std::string key, const std::string& value) {
    key.resize(8, ' ');
    std::string c = key + "= " + std::string(value.size() < 20 ? 20 - value.size() : 0, ' ') + value;
    c.resize(80, ' ');
    return c;
}

// A FITS picture of BITPIX and axes with `extra` cards; the samples big-endian, padded to their block.
inline std::string fits(int bitpix, std::vector<int> axes, const std::vector<std::string>& extra,
                        std::vector<double> samples) {
    std::string h =
        card("SIMPLE", "T") + card("BITPIX", std::to_string(bitpix)) + card("NAXIS", std::to_string(axes.size()));
    for (size_t i = 0; i < axes.size(); ++i) {
        h += card("NAXIS" + std::to_string(i + 1), std::to_string(axes[i]));
    }
    for (const std::string& c : extra) {
        h += c;
    }
    h += std::string("END").append(77, ' ');
    h.resize((h.size() + 2879) / 2880 * 2880, ' ');
    std::string d;
    for (double x : samples) {
        uint64_t bits = 0;
        if (bitpix > 0) {
            bits = static_cast<uint64_t>(static_cast<int64_t>(x));
        } else if (bitpix == -32) {
            float f = static_cast<float>(x);
            uint32_t b;
            std::memcpy(&b, &f, 4);
            bits = b;
        } else if (bitpix == -64) {
            std::memcpy(&bits, &x, 8);
        }
        for (int i = std::abs(bitpix) / 8 - 1; i >= 0; --i) {
            d += static_cast<char>(bits >> (8 * i));
        }
    }
    d.resize((d.size() + 2879) / 2880 * 2880, '\0');
    return h + d;
}

// A decoder's outcome on bytes in memory.
struct Decoded {
    bool ok = false;
    Picture p;
    std::string message;

    const uint8_t* at(int x, int y) const {
        return p.pixels.data() + static_cast<size_t>(y) * p.row_bytes() + static_cast<size_t>(x) * p.bytes_per_pixel();
    }
    int px(int x, int y) const {
        return *at(x, y);
    }
    int grey16(int x, int y) const {
        return at(x, y)[0] | at(x, y)[1] << 8;
    }
    uint32_t rgb(int x, int y) const {
        return uint32_t{at(x, y)[2]} << 16 | uint32_t{at(x, y)[1]} << 8 | at(x, y)[0];
    }
    // Every pixel top row first, padding left out: 16-bit values, else the stored bytes.
    std::vector<int> values() const {
        std::vector<int> v;
        for (int y = 0; y < p.height; ++y) {
            for (int x = 0; x < p.width; ++x) {
                if (p.bits == 16) {
                    v.push_back(grey16(x, y));
                } else {
                    v.insert(v.end(), at(x, y), at(x, y) + p.bytes_per_pixel());
                }
            }
        }
        return v;
    }
    // Width, height, row length, bits, palette kind and resolution in one line, to compare at once.
    std::string shape() const {
        return std::to_string(p.width) + "x" + std::to_string(p.height) + " row " + std::to_string(p.row_length) +
               " bits " + std::to_string(p.bits) + " kind " + std::to_string(p.palette_kind) + " dpi " +
               std::to_string(p.dpi);
    }
};

template <class Decoder> Decoded decode_with(Decoder decoder, const std::string& bytes) {
    Decoded d;
    trazel::model::LineReader in;
    in.open_memory(bytes);
    trazel::images::DecodeError e;
    d.ok = decoder(in, d.p, e);
    d.message = e.message;
    return d;
}

// A decoder's outcome with its values already taken (`Decoded::values`).
struct Valued : Decoded {
    std::vector<int> v;
};

template <class Decoder> Valued decode_values(Decoder decoder, const std::string& bytes) {
    Valued d{decode_with(decoder, bytes), {}};
    d.v = d.values();
    return d;
}

// `s` deflated at level 9: a zlib stream, or with `raw` the bare deflate data.
inline std::string deflate_bytes(const std::string& s, bool raw = false) {
    z_stream z{};
    EXPECT_EQ(deflateInit2(&z, 9, Z_DEFLATED, raw ? -MAX_WBITS : MAX_WBITS, 8, Z_DEFAULT_STRATEGY), Z_OK);
    std::string out(deflateBound(&z, static_cast<uLong>(s.size())), '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(s.data())), z.avail_in = static_cast<uInt>(s.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data()), z.avail_out = static_cast<uInt>(out.size());
    EXPECT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

// The picture as red, green, blue bytes, row by row (palettes and grey expanded).
inline std::string as_rgb(const Picture& p) {
    std::string rgb;
    for (int y = 0; y < p.height; ++y) {
        const uint8_t* row = p.pixels.data() + static_cast<size_t>(y) * p.row_bytes();
        for (int x = 0; x < p.width; ++x) {
            uint32_t c = p.bits == 24 ? uint32_t{row[3 * x + 2]} << 16 | uint32_t{row[3 * x + 1]} << 8 | row[3 * x]
                         : p.palette_kind == trazel::images::kPaletteOwn ? p.palette[row[x]]
                                                                         : uint32_t{row[x]} * 0x010101u;
            rgb += {static_cast<char>(c >> 16), static_cast<char>(c >> 8), static_cast<char>(c)};
        }
    }
    return rgb;
}

inline std::string slurp_file(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), {});
}

// The pixel image blocks after the marker of a Data file.
inline std::string blocks_of(const std::string& file) {
    const std::string marker = "Pixel image follows EOF\r\n\x1A";
    size_t at = file.find(marker);
    return at == std::string::npos ? std::string() : file.substr(at + marker.size());
}

} // namespace picture_kit
