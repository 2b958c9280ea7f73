#pragma once
// A pixel buffer with a guard band of known bytes all round it, so tests can prove that nothing was
// written outside the buffer, and a text picture of its pixels for exact comparisons.
#include <cstdint>
#include <string>
#include <vector>

#include "display/colour.h"
#include "display/pixel_buffer.h"
#include "display/raster.h"

namespace trazel::display::testing {

constexpr uint8_t kGuardByte = 0xA5;

struct GuardedBuffer {
    int width, height, depth, guard;
    int pitch; // bytes of a whole row, guard columns included
    std::vector<uint8_t> memory;
    PixelBuffer buf;
    RasterWork work;

    GuardedBuffer(int w, int h, int d, int g = 8) : width(w), height(h), depth(d), guard(g) {
        int bpp = d / 8;
        pitch = (w + 2 * g) * bpp;
        memory.assign(static_cast<size_t>(pitch) * static_cast<size_t>(h + 2 * g), kGuardByte);
        buf.base = memory.data() + static_cast<size_t>(g) * pitch + static_cast<size_t>(g) * bpp;
        buf.pitch = pitch;
        buf.depth = d;
        buf.width = w;
        buf.height = h;
        fill(0);
    }
    Raster raster() {
        return Raster(buf, &work);
    }
    void fill(uint32_t v) {
        for (int r = 0; r < height; ++r) {
            for (int c = 0; c < width; ++c) {
                uint8_t* p = buf.at(r, c);
                for (int i = 0; i < depth / 8; ++i) {
                    p[i] = static_cast<uint8_t>(v >> (8 * i));
                }
            }
        }
    }
    uint32_t get(int row, int col) const {
        return read_pixel(buf, row, col);
    }
    // True when every byte outside the buffer proper still holds the guard byte.
    bool guard_intact() const {
        int bpp = depth / 8;
        for (int r = 0; r < height + 2 * guard; ++r) {
            for (int b = 0; b < pitch; ++b) {
                bool inside = r >= guard && r < guard + height && b >= guard * bpp && b < (guard + width) * bpp;
                if (!inside && memory[static_cast<size_t>(r) * pitch + b] != kGuardByte) {
                    return false;
                }
            }
        }
        return true;
    }
    // One line per row, '#' where the pixel differs from `ground`, '.' elsewhere.
    std::string picture(uint32_t ground = 0) const {
        std::string s;
        for (int r = 0; r < height; ++r) {
            for (int c = 0; c < width; ++c) {
                s.push_back(get(r, c) != ground ? '#' : '.');
            }
            s.push_back('\n');
        }
        return s;
    }
    int count(uint32_t ground = 0) const {
        int n = 0;
        for (int r = 0; r < height; ++r) {
            for (int c = 0; c < width; ++c) {
                n += get(r, c) != ground;
            }
        }
        return n;
    }
};

// Joins rows into a picture string as GuardedBuffer::picture() writes it.
inline std::string rows(std::initializer_list<const char*> lines) {
    std::string s;
    for (const char* l : lines) {
        s += l;
        s.push_back('\n');
    }
    return s;
}

} // namespace trazel::display::testing
