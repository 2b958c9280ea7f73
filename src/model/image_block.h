#pragma once
// The layout of a pixel image block as the Data file carries it (a 1408-byte "PIX98a" header, then the
// pixels), its little-endian field access, and the test of whether a block can be drawn.  The images
// room builds and draws blocks; the Data file reader needs only this much to settle the blocks it reads.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace trazel::model {

constexpr size_t kHeaderBytes = 1408;
constexpr std::string_view kBlockSignature = "PIX98a";

// Byte offsets of the header fields; every number is little-endian.
enum HeaderOffset : size_t {
    kAtHeaderLength = 6, // 16 bits, always 1408
    kAtRowLength = 8,
    kAtWidth = 12,
    kAtHeight = 16,
    kAtDpi = 20,
    kAtBits = 24,
    kAtKind = 28,
    kAtLeft = 32,
    kAtBottom = 36,
    kAtRight = 40,
    kAtTop = 44,
    kAtLowest = 48,   // 16 bits
    kAtHighest = 50,  // 16 bits
    kAtCurve = 52,    // 16 bits, signed
    kAtChannels = 54, // 8 bits
    kAtName = 64,     // 64 bytes, zero-terminated
    kAtValueMap = 128,
    kAtPalette = 384,
};
constexpr size_t kNameBytes = 64;

// Little-endian field access over a block; reads past the end give 0, writes past it are dropped.
uint32_t get_u32(const std::vector<uint8_t>& b, size_t at);
uint16_t get_u16(const std::vector<uint8_t>& b, size_t at);
void put_u32(std::vector<uint8_t>& b, size_t at, uint32_t v);
void put_u16(std::vector<uint8_t>& b, size_t at, uint16_t v);

// Why a block read from a Data file cannot be drawn ("" when it can): bits other than 8, 16 and 24, a
// resolution of 0, a row length below the width, or fewer pixel bytes than its sizes need.  Such a block
// is kept as it is (and written back unchanged) but never drawn.
std::string image_block_fault(const std::vector<uint8_t>& b);

} // namespace trazel::model
