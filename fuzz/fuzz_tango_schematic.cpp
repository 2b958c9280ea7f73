// Arbitrary bytes read as a Tango schematic into a fresh Document: every point within the coordinate
// limit, texts with their strings, and every Node back when the Document closes.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "formats/tango.h"
#include "fuzz_support.h"
#include "model/model.h"

using namespace trazel;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz_support::PoolWatch pool;
    std::string_view input(reinterpret_cast<const char*>(data), size);

    model::Document* d = model::NewDocument("fuzz.sch");
    formats::SkipReport skipped;
    model::LineReader in;
    in.open_memory(input);
    formats::ImportJob job;
    job.file = "fuzz.sch";
    job.skipped = &skipped;
    formats::read_tango_schematic(in, *d, job);
    for (model::Ref r : model::items_in(d->ring())) {
        const model::Node& n = model::node(r);
        if (n.item_kind() == model::kText && model::GetText(r).empty()) {
            std::fprintf(stderr, "a text without its string\n");
            std::abort();
        }
        fuzz_support::expect_within_limit(r);
    }
    model::close_document(d);
    pool.expect_back();
    return 0;
}
