// Any bytes read as a Data file, then a routing run with every pass: no crash, hang or sanitizer report,
// and undoing the run's one undo group gives back the file as it was read, byte for byte.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

#include <unistd.h>

#include "edit/undo.h"
#include "model/chooser.h"
#include "model/model.h"
#include "nets/netlog.h"
#include "nets/ratnest.h"
#include "platform/headless.h"
#include "platform/run_context.h"
#include "router/router.h"

using namespace trazel;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static platform::Headless* ui = [] {
        auto* p = new platform::Headless;
        platform::install(p);
        return p;
    }();
    static model::Model& m = *new model::Model;
    static model::FormatTable& formats = *[] {
        auto* t = new model::FormatTable;
        model::register_model_formats(*t);
        return t;
    }();
    static const std::string log_path =
        (std::filesystem::temp_directory_path() / ("fuzz_route_" + std::to_string(::getpid()) + ".LOG")).string();
    ui->boxes.clear();
    ui->sounds.clear();
    ui->reports.clear();

    std::string_view input(reinterpret_cast<const char*>(data), size);
    model::Document* d = model::NewDocument("fuzz.pcb");
    if (d == nullptr || model::open_document_bytes(formats, input, 0) == 0) {
        if (m.current != nullptr) {
            edit::release_undo(*m.current);
            model::close_document(m.current);
        }
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
    std::string before;
    model::save_document_bytes(formats, before, 'C');

    router::RouteSettings settings = router::RouteSettings::from_setup(d->setup);
    settings.flags = 0xFF;
    int groups = edit::undo_groups(*d);
    {
        nets::Log log;
        std::tm date{};
        date.tm_year = 126;
        date.tm_mday = 1;
        log.open(log_path, "AUTOROUTER STATISTICS LOG", d->name(), 79, date);
        platform::RunContext run(*ui);
        router::route_run(*d, settings, log, run);
        log.close();
    }
    while (edit::undo_groups(*d) > groups) {
        edit::undo(*d, nullptr);
    }
    std::string after;
    model::save_document_bytes(formats, after, 'C');
    if (after != before) {
        std::fprintf(stderr, "undoing the routing run did not give the board back\n--- before\n%s\n--- after\n%s\n",
                     before.c_str(), after.c_str());
        std::abort();
    }
    edit::release_undo(*d);
    model::close_document(d);
    return 0;
}
