// Arbitrary bytes through both LZW decoders.  The first byte picks the flavour and GIF's minimum code
// size, the next two the room for output; the decoders must stay within the input and the room.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "images/lzw.h"

using namespace trazel;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3) {
        return 0;
    }
    const bool tiff = (data[0] & 0x80) != 0;
    const int min_code_size = data[0] & 0x0F;
    const size_t room = (size_t{data[1]} << 8 | data[2]) * 4;
    std::vector<uint8_t> out(room);
    const std::span<const uint8_t> in(data + 3, size - 3);
    const images::LzwOutcome r =
        tiff ? images::decode_lzw_tiff(in, out) : images::decode_lzw_gif(in, min_code_size, out);
    if (r.produced > room || (r.full && r.produced != room) || (r.ended && (r.full || !r.error.empty()))) {
        std::abort();
    }
    return 0;
}
