// Arbitrary bytes read as a TIFF: the decoder either refuses with a message or gives a picture whose
// pixel buffer matches its declared size.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "fuzz_picture.h"

using namespace trazel;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view input(reinterpret_cast<const char*>(data), size);
    if (!images::tiff_accepts(input.substr(0, 65536))) {
        return 0;
    }
    fuzz_picture::expect_picture_or_message(input, images::decode_tiff, "TIFF decoder");
    return 0;
}
