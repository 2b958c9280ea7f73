#pragma once
// What the two older-reader harnesses share: the fuzzer's bytes after a version signature, read through
// the chooser; no crash or hang, every Node given back when the Document closes (Signal records apart),
// and what was read survives the Data file unchanged.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "model/old_format.h"

namespace fuzz_old_read {

using namespace trazel;

// The Data file written from what was read must be a fixed point of the Data file reader and writer.
inline void check_fixed_point(fuzz_support::World& w) {
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

inline void check_old_read(std::string_view signature, const uint8_t* data, size_t size) {
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


} // namespace fuzz_old_read
