// Arbitrary bytes read as a TIFF: the decoder either refuses with a message or gives a picture whose
// pixel buffer matches its declared size.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "images/picture.h"

using namespace trazel;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view input(reinterpret_cast<const char*>(data), size);
    model::LineReader in;
    in.open_memory(input);
    images::Picture pic;
    images::DecodeError error;
    if (!images::tiff_accepts(in.head())) {
        return 0;
    }
    if (images::decode_tiff(in, pic, error)) {
        if (pic.pixels.size() != pic.row_bytes() * static_cast<size_t>(pic.height) || pic.width > pic.row_length) {
            std::abort();
        }
    } else if (error.message.empty()) {
        std::abort();
    }
    return 0;
}
