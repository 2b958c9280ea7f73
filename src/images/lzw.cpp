#include "images/lzw.h"

#include <cstring>

namespace trazel::images {

namespace {

constexpr int kMaxCodeWidth = 12;
constexpr uint32_t kTableSize = 1u << kMaxCodeWidth;
constexpr size_t kShortCopy = 16;

// A table string is never kept as bytes: each one is the string decoded just before it was made plus one
// byte, and that is exactly what the output holds where that earlier string was written.  So an entry is
// only where its bytes first appear in the output and how many there are.
struct Entry {
    size_t start;
    uint32_t length;
};

// Codes come packed from the least significant bit (GIF) or from the most significant (TIFF).  `early`
// is 1 when the width grows one code before the table needs it (TIFF), 0 otherwise.
template <bool kMsbFirst>
LzwOutcome decode(std::span<const uint8_t> data, int min_code_size, uint32_t early, std::span<uint8_t> out) {
    LzwOutcome result;
    const uint32_t clear = 1u << min_code_size;
    const uint32_t end_code = clear + 1;
    const uint32_t first_free = clear + 2;
    static thread_local Entry table[kTableSize];

    uint32_t next = first_free;
    int width = min_code_size + 1;
    bool have_prev = false;
    Entry prev{0, 0};

    const uint8_t* in = data.data();
    const size_t in_size = data.size();
    size_t ip = 0;
    uint64_t bits = 0;
    int nbits = 0;

    uint8_t* dst = out.data();
    const size_t cap = out.size();
    size_t pos = 0;

    for (;;) {
        while (nbits < width && ip < in_size) {
            if constexpr (kMsbFirst) {
                bits = (bits << 8) | in[ip++];
            } else {
                bits |= static_cast<uint64_t>(in[ip++]) << nbits;
            }
            nbits += 8;
        }
        if (nbits < width) {
            break; // the data ends without an end code: what was decoded stands
        }
        uint32_t code;
        const uint64_t mask = (uint64_t{1} << width) - 1;
        if constexpr (kMsbFirst) {
            code = static_cast<uint32_t>((bits >> (nbits - width)) & mask);
        } else {
            code = static_cast<uint32_t>(bits & mask);
            bits >>= width;
        }
        nbits -= width;

        if (code == clear) {
            next = first_free;
            width = min_code_size + 1;
            have_prev = false;
            continue;
        }
        if (code == end_code) {
            result.ended = true;
            break;
        }
        if (pos == cap) {
            result.full = true;
            break;
        }

        Entry cur;
        if (code < clear) {
            cur = {pos, 1};
            dst[pos++] = static_cast<uint8_t>(code);
        } else if (have_prev && code < next) {
            cur = {pos, table[code].length};
            const size_t n = cur.length <= cap - pos ? cur.length : cap - pos;
            const uint8_t* src = dst + table[code].start; // the entry lies wholly before pos
            if (n <= kShortCopy && cap - pos >= kShortCopy) {
                // Most strings are short: one fixed-size copy through a register, the bytes past the
                // string's end are overwritten by the strings that follow.
                uint8_t held[kShortCopy];
                std::memcpy(held, src, kShortCopy);
                std::memcpy(dst + pos, held, kShortCopy);
            } else {
                std::memcpy(dst + pos, src, n);
            }
            pos += n;
            if (n < cur.length) {
                result.full = true;
                break;
            }
        } else if (have_prev && code == next && next < kTableSize) {
            // The string being defined by this very code: the previous one and its own first byte.
            cur = {pos, prev.length + 1};
            const size_t n = cur.length <= cap - pos ? cur.length : cap - pos;
            const uint8_t* src = dst + prev.start;
            for (size_t i = 0; i < n; ++i) {
                dst[pos + i] = src[i]; // overlaps its own output on the last byte
            }
            pos += n;
            if (n < cur.length) {
                result.full = true;
                break;
            }
        } else {
            result.error = "LZW code " + std::to_string(code) + " is not in the table";
            break;
        }

        if (have_prev && next < kTableSize) {
            table[next] = {prev.start, prev.length + 1};
            ++next;
            if (next + early >= (1u << width) && width < kMaxCodeWidth) {
                ++width;
            }
        }
        prev = cur;
        have_prev = true;
    }
    result.produced = pos;
    return result;
}

} // namespace

LzwOutcome decode_lzw_gif(std::span<const uint8_t> data, int min_code_size, std::span<uint8_t> out) {
    if (min_code_size < 1 || min_code_size > 8) {
        LzwOutcome bad;
        bad.error = "LZW minimum code size " + std::to_string(min_code_size) + " is out of range";
        return bad;
    }
    return decode<false>(data, min_code_size, 0, out);
}

LzwOutcome decode_lzw_tiff(std::span<const uint8_t> data, std::span<uint8_t> out) {
    if (data.size() >= 2 && data[0] == 0 && (data[1] & 1) != 0) {
        return decode<false>(data, 8, 0, out);
    }
    return decode<true>(data, 8, 1, out);
}

} // namespace trazel::images
