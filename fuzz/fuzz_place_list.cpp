// The batch tool's placement list: any bytes give placements or one error naming a line, never more
// lines than the text has.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "app/core/place_list.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    std::vector<trazel::app::Placement> out;
    std::string error;
    bool ok = trazel::app::read_place_list(text, 0, 0, out, error);
    long lines = 1;
    for (char c : text) {
        lines += c == '\n';
    }
    if ((!ok && error.empty()) || (ok && !error.empty()) || static_cast<long>(out.size()) > lines) {
        std::abort();
    }
    for (const auto& p : out) {
        if (p.line < 1 || p.line > lines || p.fields[0].empty()) {
            std::abort();
        }
    }
    return 0;
}
