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

struct Counts {
    long pads = 0, tracks = 0, arcs = 0, solids = 0, marked = 0;
};

Counts check(model::Ref ring) {
    Counts c;
    model::walk_tree(ring, [&](model::Ref r, int) {
        const model::Node& n = model::node(r);
        c.marked += n.marked();
        switch (n.item_kind()) {
        case model::kPad:
            ++c.pads;
            break;
        case model::kArc:
            ++c.arcs;
            break;
        case model::kLine:
            if (n.size == 0) {
                ++c.solids;
                if (model::vertex_count(r) < 3) {
                    fuzz_support::fail("a Solid with fewer than three vertices");
                }
            } else {
                ++c.tracks;
            }
            break;
        case model::kComponent:
            if (model::ring_empty(model::member_ring(r))) {
                fuzz_support::fail("an empty Component");
            }
            break;
        default:
            break;
        }
        // A Component's box may reach past the limit by an arc's radius (it still fits 32 bits); its
        // members are checked one by one.
        if (n.item_kind() == model::kComponent) {
            return;
        }
        fuzz_support::expect_within_limit(r);
    });
    return c;
}

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
    model::Model& m = fuzz_support::small_model();
    uint32_t used_before = m.pool.used_count();
    size_t signals_before = m.signal_index.size();
    std::string_view input(reinterpret_cast<const char*>(data), size);

    model::Document* d = model::NewDocument("fuzz.pcb");
    formats::SkipReport skipped;
    char code = read(input, *d, skipped);
    Counts first = check(d->ring());
    fuzz_support::expect_skips_well_formed(skipped);
    if (code == 'T') {
        std::string out;
        model::OutBuffer o;
        o.open_memory(&out);
        if (!formats::write_tango_board(*d, o, nullptr)) {
            fuzz_support::fail("the writer failed in memory");
        }
        o.commit();
        if (check(d->ring()).marked != first.marked) {
            fuzz_support::fail("the writer changed marks");
        }
        model::Document* again = model::NewDocument("again.pcb");
        formats::SkipReport more;
        if (read(out, *again, more) == 'T') {
            Counts second = check(again->ring());
            if (second.pads != first.pads || second.tracks != first.tracks || second.arcs != first.arcs ||
                second.solids != first.solids) {
                std::fprintf(stderr, "pads %ld/%ld tracks %ld/%ld arcs %ld/%ld solids %ld/%ld\n", first.pads,
                             second.pads, first.tracks, second.tracks, first.arcs, second.arcs, first.solids,
                             second.solids);
                fuzz_support::fail("the board written as Tango did not read back");
            }
        }
        model::close_document(again);
    }
    model::close_document(d);
    fuzz_support::expect_pool_back(m, used_before + static_cast<uint32_t>(m.signal_index.size() - signals_before));
    return 0;
}
