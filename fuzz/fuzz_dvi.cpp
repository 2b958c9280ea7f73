// Arbitrary bytes offered to the DVI page reader: it refuses with one line, or gives the letter-size page
// at 300 dots per inch, with at most a one-line note.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "fuzz_picture.h"

using namespace trazel;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz_picture::expect_picture_or_message(
        std::string_view(reinterpret_cast<const char*>(data), size), images::decode_dvi, "DVI reader",
        [](const images::Picture& p) {
            return p.width == 2550 && p.height == 3300 && p.row_length == 2550 && p.bits == 8 && p.dpi == 300 &&
                   p.note.find('\n') == std::string::npos;
        });
    return 0;
}
