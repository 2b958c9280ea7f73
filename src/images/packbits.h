#pragma once
// PackBits run-length data (TIFF compression 32773): a signed count byte n, then n + 1 literal bytes
// (n >= 0) or one byte repeated 1 - n times (n from -127 to -1); -128 is a no-op.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace trazel::images {

// Decodes `src` into at most `cap` bytes of `dst` and returns how many were written.  Runs that cross
// the end of the input or of the output are cut short rather than read or written past either end.
inline size_t packbits_decode(const uint8_t* src, size_t n, uint8_t* dst, size_t cap) {
    size_t i = 0;
    size_t o = 0;
    while (i < n && o < cap) {
        int c = static_cast<int8_t>(src[i++]);
        if (c >= 0) {
            size_t k = std::min({static_cast<size_t>(c) + 1, n - i, cap - o});
            std::memcpy(dst + o, src + i, k);
            i += k;
            o += k;
        } else if (c != -128) {
            if (i >= n) {
                break;
            }
            size_t k = std::min(static_cast<size_t>(1 - c), cap - o);
            std::memset(dst + o, src[i++], k);
            o += k;
        }
    }
    return o;
}

} // namespace trazel::images
