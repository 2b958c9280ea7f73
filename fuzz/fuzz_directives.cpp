// Feeds arbitrary lines to both directive parsers, then checks that the written header is a fixed point:
// reading what was written and writing again gives the same text.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

#include "model/model.h"
#include "model/setup_directives.h"

using namespace trazel::model;

namespace {

Model& model() {
    static Model* m = [] {
        auto* created = new Model;
        NewDocument("fuzz.pcb");
        return created;
    }();
    return *m;
}

template <class F> void for_each_line(std::string_view text, F&& f) {
    while (!text.empty()) {
        size_t e = text.find('\n');
        std::string_view line = text.substr(0, e);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        f(line);
        if (e == std::string_view::npos) {
            break;
        }
        text.remove_prefix(e + 1);
    }
}

// The Data file reader hands only the lines that start with "-" to the parser.
void read_header(Setup& s, const std::string& text) {
    for_each_line(text, [&](std::string_view line) {
        if (!line.empty() && line[0] == '-') {
            ApplyDirective(s, line);
        }
    });
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    model();
    std::string_view input(reinterpret_cast<const char*>(data), size);
    auto s = std::make_unique<Setup>();
    for_each_line(input, [&](std::string_view line) {
        ApplyDirective(*s, line);
        ApplyOldDirective(*s, line);
    });
    std::string first;
    WriteSetup(*s, first);

    auto again = std::make_unique<Setup>();
    read_header(*again, first);
    std::string second;
    WriteSetup(*again, second);
    if (first != second) {
        std::fprintf(stderr, "header changed on re-reading:\n--- first\n%s--- second\n%s", first.c_str(),
                     second.c_str());
        std::abort();
    }
    return 0;
}
