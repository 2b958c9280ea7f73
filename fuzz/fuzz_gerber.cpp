// Arbitrary bytes read as a photoplot into a fresh Document.  Whatever the input, every Item made lies
// within the coordinate limit, every Solid has at least three vertices, and every Node comes back when
// the Document closes.  The pool is held small so that step-and-repeat blow-ups meet its end quickly.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "formats/gerber_in.h"
#include "fuzz_support.h"
#include "model/model.h"

using namespace trazel;

namespace {

void check_items(model::Ref ring) {
    for (model::Ref r : model::items_in(ring)) {
        const model::Node& n = model::node(r);
        if (n.item_kind() == model::kLine && n.size == 0 && model::vertex_count(r) < 3) {
            std::fprintf(stderr, "a Solid with fewer than three vertices\n");
            std::abort();
        }
        fuzz_support::expect_within_limit(r);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz_support::PoolWatch pool;
    std::string_view input(reinterpret_cast<const char*>(data), size);

    model::Document* d = model::NewDocument("fuzz.top");
    formats::SkipReport skipped;
    formats::ImportQuestions ask;
    // The first byte now and then cancels every question, so both answers are reached.
    bool cancel = size > 0 && data[0] == 0xF3;
    ask.gerber_import = [&](formats::GerberImportForm& f) {
        f.decimals = size > 1 ? data[1] % 8 : 4;
        return !cancel;
    };
    ask.aperture = [&](formats::ApertureForm& f) {
        f.width = 10 + f.dcode % 50;
        f.shape = f.dcode % 3;
        return !cancel;
    };
    formats::ImportJob job;
    job.file = "fuzz.top";
    job.forced = size > 0 && (data[0] & 1) ? 'G' : 0;
    job.ask = &ask;
    job.skipped = &skipped;
    formats::read_gerber_bytes(input, *d, job);
    check_items(d->ring());
    fuzz_support::expect_skips_well_formed(skipped);
    model::close_document(d);
    pool.expect_back();
    return 0;
}
