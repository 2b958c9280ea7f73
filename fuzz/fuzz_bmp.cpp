// Arbitrary bytes offered to the BMP decoder: it refuses with a message, or gives a picture whose pixel
// buffer matches its sizes, and whose block is one a Data file reader would draw.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "images/block.h"
#include "images/picture.h"

using namespace trazel;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    model::LineReader in;
    in.open_memory(bytes);
    images::Picture p;
    images::DecodeError error;
    // Mostly what the chooser would offer; now and then a file the recognition turns down.
    if (!images::bmp_accepts(in.head()) && (size == 0 || (data[size - 1] & 7) != 0)) {
        return 0;
    }
    // Pictures of up to 2^28 pixels are allowed, but zero-filling hundreds of megabytes per run would
    // stall the search: declared sizes between 2^22 pixels and the limit are left out.
    if (size >= 26) {
        auto side = [&](size_t at) {
            int64_t v = static_cast<int32_t>(data[at] | data[at + 1] << 8 | data[at + 2] << 16 |
                                             static_cast<uint32_t>(data[at + 3]) << 24);
            return v < 0 ? -v : v;
        };
        int64_t pixels = side(18) * side(22);
        if (pixels > (int64_t{1} << 22) && pixels <= images::kMaxPixels * 2) {
            return 0;
        }
    }
    bool ok = images::decode_bmp(in, p, error);
    bool sized = p.width > 0 && p.height > 0 && p.width <= 65535 && p.height <= 65535 && p.row_length >= p.width &&
                 p.pixels.size() == p.row_bytes() * static_cast<size_t>(p.height) && p.dpi >= 50;
    if ((ok && !sized) || (!ok && error.message.empty())) {
        std::fprintf(stderr, "BMP decoder: a picture that does not match its sizes, or a silent refusal\n");
        std::abort();
    }
    if (ok) {
        std::vector<uint8_t> block = images::make_block(p, "fuzz.bmp");
        if (block.size() != images::kHeaderBytes + p.pixels.size() || !images::block_fault(block).empty()) {
            std::fprintf(stderr, "BMP decoder: its picture makes a block that cannot be drawn\n");
            std::abort();
        }
    }
    return 0;
}
