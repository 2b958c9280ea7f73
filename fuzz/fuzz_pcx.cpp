// Arbitrary bytes decoded as a PCX file: no crash, hang or overrun, and a picture that comes back is laid
// out as the block stores it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "images/picture.h"

using namespace trazel;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const bool accepted = images::pcx_accepts(bytes);
    model::LineReader in;
    in.open_memory(bytes);
    images::Picture pic;
    images::DecodeError error;
    if (images::decode_pcx(in, pic, error)) {
        if (!accepted || (pic.bits != 8 && pic.bits != 24) || pic.row_length < ((pic.width + 1) & ~1) || pic.dpi <= 0 ||
            pic.pixels.size() != pic.row_bytes() * static_cast<size_t>(pic.height)) {
            std::abort();
        }
    } else if (error.message.empty()) {
        std::abort();
    }
    return 0;
}
