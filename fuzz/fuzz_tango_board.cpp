// Arbitrary bytes read as a Tango board into a fresh Document.  Whatever the input: every point lies
// within the coordinate limit, every Solid has three vertices or more, no Component is left empty, and
// the board written as Tango reads back with as many pads, tracks, arcs and Solids, while the writer
// leaves every mark as it was.  Every Node comes back when the Documents close.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "formats/tango.h"
#include "fuzz_support.h"
#include "model/model.h"

using namespace trazel;

namespace {

char read(std::string_view bytes, model::Document& d, formats::SkipReport& skipped) {
    model::LineReader in;
    in.open_memory(bytes);
    formats::ImportJob job;
    job.file = "fuzz.pcb";
    job.skipped = &skipped;
    return formats::read_tango_board(in, d, job);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz_support::PoolWatch pool;
    std::string_view input(reinterpret_cast<const char*>(data), size);

    model::Document* d = model::NewDocument("fuzz.pcb");
    formats::SkipReport skipped;
    char code = read(input, *d, skipped);
    fuzz_support::ItemCounts first = fuzz_support::check_board(d->ring());
    fuzz_support::expect_skips_well_formed(skipped);
    if (code == 'T') {
        std::string out =
            fuzz_support::written([&](model::OutBuffer& o) { return formats::write_tango_board(*d, o, nullptr); });
        if (fuzz_support::check_board(d->ring()).marked != first.marked) {
            fuzz_support::fail("the writer changed marks");
        }
        fuzz_support::expect_reads_back(out, first, true, [](const std::string& copy, model::Document& again) {
            formats::SkipReport more;
            return read(copy, again, more) == 'T';
        });
    }
    model::close_document(d);
    pool.expect_back();
    return 0;
}
