#include "model/image_block.h"

namespace trazel::model {

uint32_t get_u32(const std::vector<uint8_t>& b, size_t at) {
    if (at + 4 > b.size()) {
        return 0;
    }
    return static_cast<uint32_t>(b[at]) | static_cast<uint32_t>(b[at + 1]) << 8 |
           static_cast<uint32_t>(b[at + 2]) << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}

uint16_t get_u16(const std::vector<uint8_t>& b, size_t at) {
    if (at + 2 > b.size()) {
        return 0;
    }
    return static_cast<uint16_t>(b[at] | b[at + 1] << 8);
}

void put_u32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    if (at + 4 > b.size()) {
        return;
    }
    for (int k = 0; k < 4; ++k) {
        b[at + static_cast<size_t>(k)] = static_cast<uint8_t>(v >> (8 * k));
    }
}

void put_u16(std::vector<uint8_t>& b, size_t at, uint16_t v) {
    if (at + 2 > b.size()) {
        return;
    }
    b[at] = static_cast<uint8_t>(v);
    b[at + 1] = static_cast<uint8_t>(v >> 8);
}

std::string image_block_fault(const std::vector<uint8_t>& b) {
    if (b.size() < kHeaderBytes || std::string_view(reinterpret_cast<const char*>(b.data()), 6) != kBlockSignature) {
        return "it has no pixel image header";
    }
    auto i32 = [&](size_t at) { return static_cast<int32_t>(get_u32(b, at)); };
    int32_t row = i32(kAtRowLength), width = i32(kAtWidth), height = i32(kAtHeight), dpi = i32(kAtDpi);
    int32_t bits = i32(kAtBits);
    if (bits != 8 && bits != 16 && bits != 24) {
        return std::to_string(bits) + " bits per pixel";
    }
    if (dpi <= 0) {
        return "resolution 0";
    }
    if (width <= 0 || height <= 0 || row < width) {
        return "row length " + std::to_string(row) + " below the width " + std::to_string(width);
    }
    if (static_cast<int64_t>(row) * height * (bits / 8) > static_cast<int64_t>(b.size() - kHeaderBytes)) {
        return "its pixels are incomplete";
    }
    return {};
}

} // namespace trazel::model
