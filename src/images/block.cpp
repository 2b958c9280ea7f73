#include "images/block.h"

#include <algorithm>
#include <cstring>

#include "display/colour.h"

namespace trazel::images {

namespace {

std::array<uint32_t, 256> grey_ramp() {
    std::array<uint32_t, 256> p{};
    for (uint32_t i = 0; i < 256; ++i) {
        p[i] = i << 16 | i << 8 | i;
    }
    return p;
}

} // namespace

bool read_header(const std::vector<uint8_t>& b, BlockHeader& h) {
    if (b.size() < kHeaderBytes || std::memcmp(b.data(), kBlockSignature.data(), kBlockSignature.size()) != 0) {
        return false;
    }
    auto i32 = [&](size_t at) { return static_cast<int32_t>(get_u32(b, at)); };
    h.row_length = i32(kAtRowLength);
    h.width = i32(kAtWidth);
    h.height = i32(kAtHeight);
    h.dpi = i32(kAtDpi);
    h.bits = i32(kAtBits);
    h.kind = i32(kAtKind);
    h.left = i32(kAtLeft);
    h.bottom = i32(kAtBottom);
    h.right = i32(kAtRight);
    h.top = i32(kAtTop);
    h.lowest = get_u16(b, kAtLowest);
    h.highest = get_u16(b, kAtHighest);
    h.curve = static_cast<int16_t>(get_u16(b, kAtCurve));
    h.channels = b[kAtChannels];
    const char* name = reinterpret_cast<const char*>(b.data() + kAtName);
    h.name.assign(name, strnlen(name, kNameBytes - 1));
    std::copy_n(b.begin() + kAtValueMap, 256, h.value_map.begin());
    for (size_t i = 0; i < 256; ++i) {
        h.palette[i] = get_u32(b, kAtPalette + 4 * i);
    }
    return true;
}

void write_header(const BlockHeader& h, std::vector<uint8_t>& b) {
    if (b.size() < kHeaderBytes) {
        b.resize(kHeaderBytes);
    }
    std::fill_n(b.begin(), kHeaderBytes, uint8_t{0});
    std::copy(kBlockSignature.begin(), kBlockSignature.end(), b.begin());
    put_u16(b, kAtHeaderLength, static_cast<uint16_t>(kHeaderBytes));
    auto u32 = [&](size_t at, int32_t v) { put_u32(b, at, static_cast<uint32_t>(v)); };
    u32(kAtRowLength, h.row_length);
    u32(kAtWidth, h.width);
    u32(kAtHeight, h.height);
    u32(kAtDpi, h.dpi);
    u32(kAtBits, h.bits);
    u32(kAtKind, h.kind);
    u32(kAtLeft, h.left);
    u32(kAtBottom, h.bottom);
    u32(kAtRight, h.right);
    u32(kAtTop, h.top);
    put_u16(b, kAtLowest, h.lowest);
    put_u16(b, kAtHighest, h.highest);
    put_u16(b, kAtCurve, static_cast<uint16_t>(h.curve));
    b[kAtChannels] = h.channels;
    std::memcpy(b.data() + kAtName, h.name.data(), std::min(h.name.size(), kNameBytes - 1));
    std::copy(h.value_map.begin(), h.value_map.end(), b.begin() + kAtValueMap);
    for (size_t i = 0; i < 256; ++i) {
        put_u32(b, kAtPalette + 4 * i, h.palette[i]);
    }
}

std::string source_name(std::string_view path) {
    size_t cut = path.find_last_of("\\/");
    std::string_view name = cut == std::string_view::npos ? path : path.substr(cut + 1);
    return std::string(name.substr(0, kNameBytes - 1));
}

void place_new(BlockHeader& h) {
    int64_t dpi = h.dpi > 0 ? h.dpi : 100;
    h.left = 0;
    h.bottom = 0;
    h.right = static_cast<int32_t>(static_cast<int64_t>(h.width - 1) * 65536 / dpi);
    h.top = static_cast<int32_t>(static_cast<int64_t>(h.height - 1) * 65536 / dpi);
}

int64_t pixel_bytes(const BlockHeader& h) {
    if (h.row_length < 0 || h.height < 0 || (h.bits != 8 && h.bits != 16 && h.bits != 24)) {
        return -1;
    }
    return static_cast<int64_t>(h.row_length) * h.height * (h.bits / 8);
}

std::array<uint32_t, 256> kind_palette(int32_t kind, const std::array<uint32_t, 256>& own) {
    switch (kind) {
    case kPaletteSystem:
        return display::build_palette(0);
    case kPaletteOwn:
        return own;
    default:
        return grey_ramp();
    }
}

std::vector<uint8_t> make_block(Picture p, std::string_view source_path) {
    BlockHeader h;
    h.row_length = p.row_length;
    h.width = p.width;
    h.height = p.height;
    h.dpi = p.dpi > 0 ? p.dpi : 100;
    h.bits = p.bits;
    h.kind = p.palette_kind;
    if (p.bits == 16) {
        h.lowest = p.lowest;
        h.highest = p.highest;
    }
    h.name = source_name(source_path);
    for (size_t i = 0; i < 256; ++i) {
        h.value_map[i] = static_cast<uint8_t>(i);
    }
    h.palette = kind_palette(h.kind, p.palette);
    place_new(h);
    // One allocation for header, pixels and a spare row; the vector's size stops at the pixels, which
    // is what the Data file stores.  Picture::allocate leaves that room, so the decoded pixels move up
    // within their own allocation instead of being copied into a new one.
    const size_t n = p.pixels.size();
    std::vector<uint8_t> b;
    if (p.pixels.capacity() >= kHeaderBytes + n + p.row_bytes()) {
        b = std::move(p.pixels);
        b.resize(kHeaderBytes + n);
        std::memmove(b.data() + kHeaderBytes, b.data(), n);
    } else {
        b.reserve(kHeaderBytes + n + p.row_bytes());
        b.resize(kHeaderBytes);
        b.insert(b.end(), p.pixels.begin(), p.pixels.end());
    }
    write_header(h, b);
    return b;
}

std::vector<uint8_t> grey16_table(uint16_t lowest, uint16_t highest) {
    std::vector<uint8_t> t(65536);
    int64_t lo = lowest;
    int64_t hi = highest > lowest ? int64_t{highest} : lo + 1;
    for (int64_t v = 0; v < 65536; ++v) {
        uint8_t level;
        if (v < lo) {
            level = 0;
        } else if (v >= hi) {
            level = 248;
        } else {
            level = static_cast<uint8_t>((v - lo) * 249 / (hi - lo + 1));
        }
        t[static_cast<size_t>(v)] = level;
    }
    return t;
}

int take_slot(model::Model& m, std::vector<uint8_t> block, bool* replaced) {
    int slot = (m.current_image % model::kImageSlots + model::kImageSlots) % model::kImageSlots;
    for (int steps = 0; steps < model::kImageSlots && !m.images[static_cast<size_t>(slot)].empty(); ++steps) {
        slot = (slot + 1) % model::kImageSlots;
    }
    bool full = !m.images[static_cast<size_t>(slot)].empty();
    if (replaced) {
        *replaced = full;
    }
    m.images[static_cast<size_t>(slot)] = std::move(block);
    m.current_image = slot;
    return slot;
}

} // namespace trazel::images
