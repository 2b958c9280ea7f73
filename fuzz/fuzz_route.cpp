// Any bytes read as a Data file, then a routing run with every pass: no crash, hang or sanitizer report,
// and undoing the run's one undo group gives back the file as it was read, byte for byte.
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "nets/netlog.h"
#include "nets/ratnest.h"
#include "platform/run_context.h"
#include "router/router.h"

using namespace trazel;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz_support::World& w = fuzz_support::world();
    static const std::string log_path = fuzz_support::scratch_path("fuzz_route", ".LOG");
    model::Document* d =
        fuzz_support::read_document(w, std::string_view(reinterpret_cast<const char*>(data), size));
    if (d == nullptr) {
        return 0;
    }
    // A board whose layers have no routing direction gets X and Y on its first two copper layers, so the
    // passes have somewhere to go.
    bool directed = false;
    for (int l = 0; l < 256; ++l) {
        directed = directed || router::layer_direction(d->setup, l) != router::kNoDirection;
    }
    for (int l = 1, given = 0; l < 255 && !directed && given < 2; ++l) {
        if (d->setup.layers[static_cast<size_t>(l)].in_use() &&
            (d->setup.layers[static_cast<size_t>(l)].type & 7) == model::kLayerCopper) {
            router::set_layer_direction(d->setup, l, given++ == 0 ? router::kXAxis : router::kYAxis);
        }
    }
    // The run names the Ratnest layer and floors the Ratnest width in the setup, which undo (of Items)
    // does not take back: do that first, so the comparison is of Items.
    nets::prepare_ratnest_layer(d->setup);
    std::string before = fuzz_support::data_file(w);

    router::RouteSettings settings = router::RouteSettings::from_setup(d->setup);
    settings.flags = 0xFF;
    int groups = edit::undo_groups(*d);
    {
        nets::Log log;
        std::tm date{};
        date.tm_year = 126;
        date.tm_mday = 1;
        log.open(log_path, "AUTOROUTER STATISTICS LOG", d->name(), 79, date);
        platform::RunContext run(w.ui);
        router::route_run(*d, settings, log, run);
        log.close();
    }
    fuzz_support::expect_undone(w, *d, groups, before, "the routing run");
    fuzz_support::discard_document(d);
    return 0;
}
