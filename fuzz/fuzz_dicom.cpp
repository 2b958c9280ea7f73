// Arbitrary bytes offered to the DICOM decoder: it refuses with a message, or gives a picture whose pixel
// buffer matches its sizes and whose range shown runs upwards.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "fuzz_picture.h"

using namespace trazel;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz_picture::expect_picture_or_message(std::string_view(reinterpret_cast<const char*>(data), size),
                                           images::decode_dicom, "DICOM decoder",
                                           [](const images::Picture& p) { return p.lowest <= p.highest; });
    return 0;
}
