// Arbitrary bytes as fax data: the first byte picks the coding and options, the second and third the
// row width.  The decoder writes only inside the rows it is given and explains every refusal.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "images/ccitt.h"

using namespace trazel;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3) {
        return 0;
    }
    images::CcittOptions o;
    o.coding = data[0] % 3 == 0   ? images::CcittCoding::kModifiedHuffman
               : data[0] % 3 == 1 ? images::CcittCoding::kT4
                                  : images::CcittCoding::kT6;
    o.two_dimensional = (data[0] & 8) != 0;
    o.aligned_eol = (data[0] & 16) != 0;
    int width = 1 + ((data[1] << 8 | data[2]) % 2600);
    int rows = 64;
    std::vector<uint8_t> out(static_cast<size_t>((width + 7) / 8) * rows);
    int done = 0;
    std::string message;
    bool ok = images::ccitt_decode(data + 3, size - 3, o, width, rows, out.data(), done, message);
    if (done < 0 || done > rows || (!ok && message.empty())) {
        std::abort();
    }
    return 0;
}
