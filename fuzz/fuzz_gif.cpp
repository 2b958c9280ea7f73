// Arbitrary bytes decoded as a GIF file: no crash, hang or overrun, and a picture that comes back is laid
// out as the block stores it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "fuzz_picture.h"

using namespace trazel;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    // A huge logical screen only costs time to fill: the decoding is the same at any size.
    if (size >= 10 && int64_t{data[6] | data[7] << 8} * (data[8] | data[9] << 8) > (int64_t{1} << 22)) {
        return 0;
    }
    images::gif_accepts(bytes);
    fuzz_picture::expect_picture_or_message(bytes, images::decode_gif, "GIF decoder", [](const images::Picture& p) {
        return p.bits == 8 && p.row_length % 4 == 0 && p.dpi == 100;
    });
    return 0;
}
