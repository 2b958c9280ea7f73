// Arbitrary bytes decoded as a PCX file: no crash, hang or overrun, and a picture that comes back is laid
// out as the block stores it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "fuzz_picture.h"

using namespace trazel;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const bool accepted = images::pcx_accepts(bytes);
    fuzz_picture::expect_picture_or_message(bytes, images::decode_pcx, "PCX decoder", [&](const images::Picture& p) {
        return accepted && p.bits != 16 && p.row_length >= ((p.width + 1) & ~1) && p.dpi > 0;
    });
    return 0;
}
