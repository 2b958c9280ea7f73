// Arbitrary bytes offered to the DICOM decoder: it refuses with a message, or gives a picture whose pixel
// buffer matches its sizes and whose range shown runs upwards.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "images/picture.h"

using namespace trazel;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    model::LineReader in;
    in.open_memory(std::string_view(reinterpret_cast<const char*>(data), size));
    images::Picture p;
    images::DecodeError error;
    bool ok = images::decode_dicom(in, p, error);
    bool sized = p.width > 0 && p.height > 0 && p.row_length >= p.width &&
                 p.pixels.size() == p.row_bytes() * static_cast<size_t>(p.height);
    if ((ok && (!sized || p.lowest > p.highest)) || (!ok && error.message.empty())) {
        std::fprintf(stderr, "DICOM decoder: a picture that does not match its sizes, or a silent refusal\n");
        std::abort();
    }
    return 0;
}
