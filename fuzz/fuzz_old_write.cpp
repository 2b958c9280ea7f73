// A fuzzed Data file written as version 3.8 with its loss report, read back and written again: from the
// second write on the file must not change (3.8 is a fixed point), the report must leave the Document
// and the current one as they were, and every Node must come back when the Documents close.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "model/old_format.h"
#include "model/old_losses.h"

using namespace trazel;

namespace {

std::string write38(fuzz_support::World& w) {
    std::string out;
    if (!model::save_document_bytes(w.formats, out, '3')) {
        std::fprintf(stderr, "writing version 3.8 to memory failed\n");
        std::abort();
    }
    return out;
}

// The 3.8 bytes read into a new current Document (the previous one closed).
void reread(fuzz_support::World& w, const std::string& bytes) {
    fuzz_support::discard_document(w.model.current);
    model::NewDocument("fuzz.pcb");
    if (model::open_document_bytes(w.formats, bytes, 0) != '3') {
        std::fprintf(stderr, "the version 3.8 file was not read as version 3\n%s\n", bytes.c_str());
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz_support::World& w = fuzz_support::world();
    uint32_t used_before = w.model.pool.used_count();
    size_t signals_before = w.model.signal_index.size();
    std::string_view input(reinterpret_cast<const char*>(data), size);
    model::Document* d = fuzz_support::read_document(w, input);
    if (d == nullptr) {
        return 0;
    }
    std::string first = write38(w);
    std::vector<std::string> losses = model::version38_losses(*d);
    if (w.model.current != d || write38(w) != first) {
        std::fprintf(stderr, "the loss report changed the Document or the current one\n");
        std::abort();
    }
    reread(w, first);
    std::string second = write38(w);
    reread(w, second);
    std::string third = write38(w);
    if (third != second) {
        std::fprintf(stderr, "version 3.8 is not a fixed point\n--- second\n%s\n--- third\n%s\n", second.c_str(),
                     third.c_str());
        std::abort();
    }
    fuzz_support::discard_document(w.model.current);
    // New Signal records stay in the program-wide list; everything else comes back.
    uint32_t signals_added = static_cast<uint32_t>(w.model.signal_index.size() - signals_before);
    fuzz_support::expect_pool_back(w.model, used_before + signals_added);
    return 0;
}
