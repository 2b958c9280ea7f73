// Arbitrary bytes read as a TIFF: the decoder either refuses with a message or gives a picture whose
// pixel buffer matches its declared size.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "fuzz_picture.h"

using namespace trazel;

namespace {

// The pixels the first directory declares (width x length), 0 when it cannot be read here.  Pictures of
// up to 2^28 pixels are allowed, but filling hundreds of megabytes per run (short strips read as zero
// samples) would stall the search, as it does for BMP.
uint64_t declared_pixels(const uint8_t* d, size_t n) {
    if (n < 8) {
        return 0;
    }
    bool big = d[0] == 'M';
    auto u16 = [&](size_t at) -> uint32_t { return big ? (d[at] << 8 | d[at + 1]) : (d[at] | d[at + 1] << 8); };
    auto u32 = [&](size_t at) -> uint32_t {
        return big ? (uint32_t{d[at]} << 24 | uint32_t{d[at + 1]} << 16 | uint32_t{d[at + 2]} << 8 | d[at + 3])
                   : (d[at] | uint32_t{d[at + 1]} << 8 | uint32_t{d[at + 2]} << 16 | uint32_t{d[at + 3]} << 24);
    };
    size_t ifd = u32(4);
    if (ifd + 2 > n) {
        return 0;
    }
    uint64_t w = 0, h = 0;
    size_t count = u16(ifd);
    for (size_t k = 0; k < count && ifd + 2 + 12 * k + 12 <= n; ++k) {
        size_t e = ifd + 2 + 12 * k;
        uint32_t tag = u16(e), type = u16(e + 2);
        if (tag != 256 && tag != 257) {
            continue;
        }
        // An odd entry (repeated, or an array elsewhere in the file) counts with the largest value it
        // could give.
        size_t at = u32(e + 4) == 1 ? e + 8 : u32(e + 8);
        uint64_t v = at + 4 > n ? 0xFFFF : type == 3 ? u16(at) : u32(at);
        uint64_t& side = tag == 256 ? w : h;
        side = std::max(side, v);
    }
    return w * h;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view input(reinterpret_cast<const char*>(data), size);
    if (!images::tiff_accepts(input.substr(0, 65536)) || declared_pixels(data, size) > (uint64_t{1} << 22)) {
        return 0;
    }
    fuzz_picture::expect_picture_or_message(input, images::decode_tiff, "TIFF decoder");
    return 0;
}
