// Arbitrary bytes read as a DXF drawing into a fresh Document.  Whatever the input, every Item made (in
// Components too) lies within the coordinate limit, every Solid has at least three vertices, Arcs carry
// a positive radius or none, no Component is left empty, the skip report is well formed, and every Node
// comes back when the Document closes.  The Item budget is held small so that nested inserts meet it
// quickly.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "formats/dxf.h"
#include "fuzz_support.h"
#include "model/model.h"

using namespace trazel;

namespace {

void check_items(model::Ref ring) {
    model::walk_tree(ring, [](model::Ref r, int) {
        const model::Node& n = model::node(r);
        uint8_t k = n.item_kind();
        if (k == model::kLine && n.size == 0 && model::vertex_count(r) < 3) {
            fuzz_support::fail("a Solid with fewer than three vertices");
        }
        if (k == model::kArc && n.arc.radius < 0) {
            fuzz_support::fail("an Arc with a negative radius");
        }
        if (k == model::kComponent && model::ring_empty(n.link)) {
            fuzz_support::fail("an empty Component");
        }
        if (k == model::kText && model::GetText(r).empty()) {
            fuzz_support::fail("a Text without string");
        }
        fuzz_support::expect_within_limit(r);
    });
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz_support::PoolWatch pool;
    std::string_view input(reinterpret_cast<const char*>(data), size);

    model::Document* d = model::NewDocument("fuzz.dxf");
    formats::SkipReport skipped;
    formats::ImportJob job;
    job.file = "fuzz.dxf";
    job.forced = 'X';
    job.skipped = &skipped;
    formats::DxfReadOptions options;
    options.item_budget = 20000;
    // The first byte now and then forces the unit, so both overrides are reached.
    if (size > 0 && (data[0] == '1' || data[0] == '2')) {
        options.units = data[0] == '1' ? formats::DxfUnits::Inch : formats::DxfUnits::Millimetre;
    }
    (void)formats::dxf_accepts(input, 0);
    model::LineReader in;
    in.open_memory(input);
    formats::read_dxf(in, *d, job, options);
    check_items(d->ring());
    fuzz_support::expect_skips_well_formed(skipped);
    model::close_document(d);
    pool.expect_back();
    return 0;
}
