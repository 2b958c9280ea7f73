// The BMP encoder: a 14-byte file header, a 40-byte information header, then the rows.
#include "display/bmp_writer.h"

#include <string_view>

#include "model/out_buffer.h"

namespace trazel::display {

namespace {

void put16(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}

void put32(std::vector<uint8_t>& out, uint32_t v) {
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}

constexpr uint32_t kHeaderBytes = 14 + 40;
constexpr uint32_t kPixelsPerMetre = 2835; // 72 dots per inch

} // namespace

std::vector<uint8_t> encode_bmp(int width, int height, const std::vector<uint8_t>& rgb) {
    if (width <= 0 || height <= 0 || rgb.size() != static_cast<size_t>(width) * static_cast<size_t>(height) * 3) {
        return {};
    }
    uint64_t row = (static_cast<uint64_t>(width) * 3 + 3) & ~uint64_t{3};
    uint64_t total = kHeaderBytes + row * static_cast<uint64_t>(height);
    if (total > 0x7FFFFFFF) {
        return {};
    }
    std::vector<uint8_t> out;
    out.reserve(static_cast<size_t>(total));
    out.push_back('B');
    out.push_back('M');
    put32(out, static_cast<uint32_t>(total));
    put32(out, 0);
    put32(out, kHeaderBytes);
    put32(out, 40);
    put32(out, static_cast<uint32_t>(width));
    put32(out, static_cast<uint32_t>(height)); // positive: bottom-up
    put16(out, 1);                             // planes
    put16(out, 24);                            // bits per pixel
    put32(out, 0);                             // no compression
    put32(out, static_cast<uint32_t>(row * static_cast<uint64_t>(height)));
    put32(out, kPixelsPerMetre);
    put32(out, kPixelsPerMetre);
    put32(out, 0);
    put32(out, 0);
    for (int y = height - 1; y >= 0; --y) {
        const uint8_t* p = rgb.data() + static_cast<size_t>(y) * static_cast<size_t>(width) * 3;
        for (int x = 0; x < width; ++x, p += 3) {
            out.push_back(p[2]); // stored blue, green, red
            out.push_back(p[1]);
            out.push_back(p[0]);
        }
        for (uint64_t pad = static_cast<uint64_t>(width) * 3; pad < row; ++pad) {
            out.push_back(0);
        }
    }
    return out;
}

int write_bmp(const std::string& path, int width, int height, const std::vector<uint8_t>& rgb, std::string* error) {
    std::vector<uint8_t> file = encode_bmp(width, height, rgb);
    if (file.empty()) {
        if (error) {
            *error = "the picture is empty or too large for a BMP file";
        }
        return 0;
    }
    return model::write_whole_file(path, std::string_view(reinterpret_cast<const char*>(file.data()), file.size()), error);
}

} // namespace trazel::display
