// Arbitrary bytes offered to the DVI page reader: it refuses with one line, or gives the letter-size page
// at 300 dots per inch, with at most a one-line note.
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
    bool ok = images::decode_dvi(in, p, error);
    bool page = p.width == 2550 && p.height == 3300 && p.row_length == 2550 && p.bits == 8 && p.dpi == 300 &&
                p.pixels.size() == size_t{2550} * 3300;
    bool one_line = error.message.find('\n') == std::string::npos && p.note.find('\n') == std::string::npos;
    if ((ok && !page) || (!ok && error.message.empty()) || !one_line) {
        std::fprintf(stderr, "DVI reader: a page of the wrong size, a silent refusal or a message of several lines\n");
        std::abort();
    }
    return 0;
}
