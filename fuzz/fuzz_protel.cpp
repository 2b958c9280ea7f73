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

struct Counts {
    long pads = 0, tracks = 0, arcs = 0;
};

Counts check_items(model::Ref ring) {
    Counts c;
    model::walk_tree(ring, [&](model::Ref r, int) {
        const model::Node& n = model::node(r);
        c.pads += n.item_kind() == model::kPad;
        c.arcs += n.item_kind() == model::kArc;
        c.tracks += n.item_kind() == model::kLine && n.size != 0;
        if (n.item_kind() == model::kComponent) {
            return;
        }
        fuzz_support::expect_within_limit(r);
    });
    return c;
}

char read(std::string_view bytes, model::Document& d, formats::SkipReport& skipped, formats::ImportQuestions& ask,
          char forced) {
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
    model::Model& m = fuzz_support::small_model();
    uint32_t used_before = m.pool.used_count();
    size_t signals_before = m.signal_index.size();
    std::string_view input(reinterpret_cast<const char*>(data), size);

    formats::SkipReport skipped;
    formats::ImportQuestions ask;
    ask.error_sound = [] {};
    model::Document* d = model::NewDocument("fuzz.pcb");
    char got = read(input, *d, skipped, ask, 'P');
    Counts first = check_items(d->ring());
    fuzz_support::expect_skips_well_formed(skipped);
    if (got == 'P') {
        std::string out;
        model::OutBuffer o;
        o.open_memory(&out);
        formats::write_protel_board(*d, o);
        o.commit();
        model::Document* back = model::NewDocument("back.pcb");
        formats::SkipReport again;
        if (back != nullptr && read(out, *back, again, ask, 0) == 'P') {
            Counts second = check_items(back->ring());
            if (second.pads != first.pads || second.tracks != first.tracks || second.arcs != first.arcs) {
                std::fprintf(stderr, "written copy reads back with %ld/%ld/%ld pads/tracks/arcs, not %ld/%ld/%ld\n",
                             second.pads, second.tracks, second.arcs, first.pads, first.tracks, first.arcs);
                std::abort();
            }
        }
        model::close_document(back);
    }
    model::close_document(d);
    fuzz_support::expect_pool_back(m, used_before + static_cast<uint32_t>(m.signal_index.size() - signals_before));
    return 0;
}
