// Arbitrary bytes after the version 2 signature: reading must not crash or hang, must give back every
// Node when the Document closes (Signal records apart), and what it read must survive the Data file.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "fuzz_support.h"
#include "model/old_format.h"

using namespace trazel;

namespace {

// The Data file written from what was read must be a fixed point of the Data file reader and writer.
void check_fixed_point(fuzz_support::World& w) {
    std::string first = fuzz_support::data_file(w);
    model::close_document(w.model.current);
    model::NewDocument("fuzz.pcb");
    if (model::open_document_bytes(w.formats, first, 0) == 0) {
        std::fprintf(stderr, "the written Data file was not read back\n");
        std::abort();
    }
    std::string second = fuzz_support::data_file(w);
    if (first != second) {
        std::fprintf(stderr, "the Data file changed on re-reading\n--- first\n%s\n--- second\n%s\n", first.c_str(),
                     second.c_str());
        std::abort();
    }
}

void check_old_read(std::string_view signature, const uint8_t* data, size_t size) {
    auto& w = fuzz_support::world();
    uint32_t used_before = w.model.pool.used_count();
    size_t signals_before = w.model.signal_index.size();
    std::string input(signature);
    // The byte after the signature is the minor number; the fuzzer's first byte supplies it.
    input.append(reinterpret_cast<const char*>(data), size);
    // Now and then as a library file, so symbolic layers are resolved too.
    bool library = size > 1 && data[size - 1] == 'L';
    model::NewDocument(library ? "fuzz.lib" : "fuzz.pcb");
    if (model::open_document_bytes(w.formats, input, 0) != signature[15]) {
        std::fprintf(stderr, "the older reader did not take its own signature\n");
        std::abort();
    }
    // The fixed point is asked of board files only: a library name writes symbolic layers, which name
    // a layer by type and initial and so need not read back to the same number.
    if (!library) {
        check_fixed_point(w);
    }
    model::close_document(w.model.current);
    fuzz_support::expect_pool_back(w.model, used_before +
                                                static_cast<uint32_t>(w.model.signal_index.size() - signals_before));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    check_old_read(model::kVersion2Signature, data, size);
    return 0;
}
