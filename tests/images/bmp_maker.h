#pragma once
// A BMP file made byte by byte for the tests: headers, palette (reserved bytes set, to see them cleared)
// and the pixel data as given.
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace bmp_test {

inline void put32(std::string& s, uint32_t v) {
    for (int k = 0; k < 4; ++k) {
        s.push_back(static_cast<char>(v >> (8 * k)));
    }
}

inline void put16(std::string& s, uint32_t v) {
    s.push_back(static_cast<char>(v));
    s.push_back(static_cast<char>(v >> 8));
}

// The file: headers, palette and the pixel data as given.
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
        put32(s, offset + static_cast<uint32_t>(data.size()));
        put32(s, 0);
        put32(s, offset);
        put32(s, info);
        put32(s, static_cast<uint32_t>(width));
        put32(s, static_cast<uint32_t>(height));
        put16(s, planes);
        put16(s, static_cast<uint32_t>(bits));
        put32(s, compression);
        put32(s, static_cast<uint32_t>(data.size()));
        put32(s, static_cast<uint32_t>(per_metre));
        put32(s, static_cast<uint32_t>(per_metre));
        put32(s, static_cast<uint32_t>(palette.size()));
        put32(s, 0);
        s.resize(14 + info);
        for (uint32_t c : palette) {
            s.push_back(static_cast<char>(c));
            s.push_back(static_cast<char>(c >> 8));
            s.push_back(static_cast<char>(c >> 16));
            s.push_back('\x7F');
        }
        return s + data;
    }
};

inline std::string bytes_of(std::initializer_list<int> v) {
    std::string s;
    for (int b : v) {
        s.push_back(static_cast<char>(b));
    }
    return s;
}

} // namespace bmp_test
