#pragma once
// A small LZW encoder for building test streams, GIF-packed (low bit first, the width growing when the
// table reaches a power of two) or TIFF-packed (high bit first, one code early).  Each code goes out in
// the width the decoder reads it in: the decoder makes each entry one code later, and stops at 4096.
#include <algorithm>
#include <cstdint>
#include <map>
#include <utility>
#include <vector>

inline std::vector<uint8_t> lzw_encode(const std::vector<uint8_t>& data, int min_code_size, bool tiff,
                                       bool clear_when_full = true) {
    const int clear = 1 << min_code_size;
    std::map<std::pair<int, int>, int> table;
    int next = clear + 2, emitted = 0, nbits = 0;
    uint32_t bits = 0;
    std::vector<uint8_t> out;
    auto put = [&](int code) {
        const int decoder_next = std::min(clear + 2 + std::max(emitted - 1, 0), 4096) + (tiff ? 1 : 0);
        int w = min_code_size + 1;
        while (w < 12 && decoder_next >= (1 << w)) {
            ++w;
        }
        for (int i = 0; i < w; ++i) {
            const uint32_t bit = (code >> (tiff ? w - 1 - i : i)) & 1;
            bits = tiff ? (bits << 1) | bit : bits | (bit << nbits);
            if (++nbits == 8) {
                out.push_back(static_cast<uint8_t>(bits));
                bits = 0;
                nbits = 0;
            }
        }
        ++emitted;
    };
    auto reset = [&] {
        table.clear();
        next = clear + 2;
        emitted = 0;
    };
    put(clear);
    reset();
    int w = -1;
    for (uint8_t c : data) {
        auto found = table.find({w, c});
        if (w < 0 || found != table.end()) {
            w = w < 0 ? c : found->second;
            continue;
        }
        put(w);
        if (next < 4096) {
            table[{w, c}] = next++;
        }
        if (next == 4096 && clear_when_full) {
            put(clear);
            reset();
        }
        w = c;
    }
    if (w >= 0) {
        put(w);
    }
    put(clear + 1);
    if (nbits > 0) {
        out.push_back(static_cast<uint8_t>(tiff ? bits << (8 - nbits) : bits));
    }
    return out;
}
