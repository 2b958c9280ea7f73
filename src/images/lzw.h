#pragma once
// The two LZW flavours of raster files: GIF's (codes packed from the least significant bit, a minimum
// code size, the width changing when the table reaches a power of two) and TIFF's (codes packed from the
// most significant bit, clear 256 and end 257, the width changing one code early).  Both decode into a
// buffer the caller sizes, so the caller's limit bounds the output; both read only the bytes given and
// end after at most one code per 4 input bits (plus the codes that the table already holds).
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace trazel::images {

struct LzwOutcome {
    size_t produced = 0; // bytes written to the output
    bool ended = false;  // an end code was met
    bool full = false;   // the output filled up while codes that would give more remained
    std::string error;   // a code the table does not hold, or a bad minimum code size; empty when fine
};

// GIF LZW over the image's sub-blocks joined into one span.  `min_code_size` is the byte in front of the
// data (2-8 by the GIF rules; 1 is also taken).  After 4096 entries the width stays at 12 bits and no
// entry is added until a clear code.
LzwOutcome decode_lzw_gif(std::span<const uint8_t> data, int min_code_size, std::span<uint8_t> out);

// TIFF LZW (compression 5) of one strip or tile.  A strip written in the old least-significant-bit-first
// form (first byte 0, low bit of the second set: a 9-bit clear code packed from the low end) is decoded
// as such, with GIF's width rule.
LzwOutcome decode_lzw_tiff(std::span<const uint8_t> data, std::span<uint8_t> out);

} // namespace trazel::images
