// Arbitrary bytes read as a drill file into a fresh Document: every Pad made is a through-hole Pad on
// the pad master layer within the coordinate limit, and every Node comes back when the Document closes.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "formats/excellon_in.h"
#include "fuzz_support.h"
#include "model/model.h"

using namespace trazel;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz_support::PoolWatch pool;
    std::string_view input(reinterpret_cast<const char*>(data), size);

    model::Document* d = model::NewDocument("fuzz.drl");
    formats::SkipReport skipped;
    formats::ImportQuestions ask;
    bool cancel = size > 0 && data[0] == 0xF3;
    ask.drill_format = [&](formats::DrillFormatForm& f) {
        f.defaults = size > 1 && (data[1] & 1);
        return !cancel;
    };
    ask.drill_tool = [&](formats::DrillToolForm& f) {
        f.diameter = f.tool % 100;
        return !cancel;
    };
    formats::ImportJob job;
    job.file = "fuzz.drl";
    job.forced = size > 0 && (data[0] & 1) ? 'I' : 0;
    job.ask = &ask;
    job.skipped = &skipped;
    formats::read_excellon_bytes(input, *d, job);
    for (model::Ref r : model::items_in(d->ring())) {
        const model::Node& n = model::node(r);
        bool through = n.item_kind() == model::kPad && (n.size == 1 || n.size == 3) && n.layer == 0;
        bool inside = n.pad.x0 <= model::kCoordLimit && n.pad.x0 >= -model::kCoordLimit &&
                      n.pad.y0 <= model::kCoordLimit && n.pad.y0 >= -model::kCoordLimit;
        if (!through || !inside || n.pad.hole == 0 || n.pad.hole > n.pad.width) {
            std::fprintf(stderr, "a drill Item that is not a through-hole Pad in range\n");
            std::abort();
        }
    }
    model::close_document(d);
    pool.expect_back();
    return 0;
}
