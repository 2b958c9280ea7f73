// Arbitrary bytes read as an AutoTrax board into a fresh Document, then written and read again.
// Whatever the input, every point lies within the coordinate limit, the skip report is well formed,
// the written copy reads back with as many pads, tracks and arcs, and every Node comes back when the
// Documents close.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "formats/protel.h"
#include "fuzz_support.h"
#include "model/model.h"

using namespace trazel;

namespace {

char read(std::string_view bytes, model::Document& d, formats::SkipReport& skipped, char forced) {
    formats::ImportQuestions ask;
    ask.error_sound = [] {};
    formats::ImportJob job;
    job.file = "fuzz.pcb";
    job.forced = forced;
    job.ask = &ask;
    job.skipped = &skipped;
    model::LineReader in;
    in.open_memory(bytes);
    return formats::read_protel_board(in, d, job);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz_support::PoolWatch pool;
    std::string_view input(reinterpret_cast<const char*>(data), size);

    formats::SkipReport skipped;
    model::Document* d = model::NewDocument("fuzz.pcb");
    char got = read(input, *d, skipped, 'P');
    fuzz_support::ItemCounts first = fuzz_support::check_board(d->ring());
    fuzz_support::expect_skips_well_formed(skipped);
    if (got == 'P') {
        std::string out =
            fuzz_support::written([&](model::OutBuffer& o) { return formats::write_protel_board(*d, o); });
        // AutoTrax keeps no Solids of ours as such, so only the other kinds are counted.
        fuzz_support::expect_reads_back(out, first, false, [](const std::string& copy, model::Document& again) {
            formats::SkipReport more;
            return read(copy, again, more, 0) == 'P';
        });
    }
    model::close_document(d);
    pool.expect_back();
    return 0;
}
