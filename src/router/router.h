#pragma once
// The autorouter run: the phases of one routing run over a board (pre-route deletion, Ratnest lines made
// and sorted, the pattern passes and the passes beyond them), its statistics log, and the hooks through
// which a thread other than the user interface's shows the changes.  The run is handed its Document and
// a RunContext; it never reads the current Document.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "model/model.h"
#include "platform/run_context.h"

namespace trazel::nets {
class Log;
}

namespace trazel::router {

using model::Coord;
using model::Ref;

// The pass set ("-ga"), in the order AutoRouteBox lists it.
enum RouteFlag : uint32_t {
    kClearPreroutes = 1u << 0,
    kStraight = 1u << 1,
    kDataBus = 1u << 2,
    kInline = 1u << 3,
    kLRoutes = 1u << 4,
    kZRoutes = 1u << 5,
    kCRoutes = 1u << 6,
    kSnake = 1u << 7,
};

// Layer table type bits 4-5: the routing direction of a layer.
enum Direction : int { kNoDirection = 0, kXAxis = 1, kYAxis = 2, kEitherAxis = 3 };
int layer_direction(const model::Setup& s, int layer);
void set_layer_direction(model::Setup& s, int layer, int direction);

struct RouteSettings {
    uint32_t flags = 0;
    Coord track_width = 0;           // the current line width: every new track
    Coord via_pad = 0, via_hole = 0; // the current via settings: every new via
    Coord clear_line_line = 0, clear_line_pad = 0, clear_pad_pad = 0;
    // The plain walks over the whole Document and the selection sort instead of the index and the fast
    // sort: the oracle of the tests.
    bool plain = false;

    static RouteSettings from_setup(const model::Setup& s);
};

// One pass's counts (32 bits: a big board has more than 65535 connections).
struct PassResult {
    uint32_t processed = 0, routed = 0;
};

struct RouteSummary {
    PassResult totals;  // the sums of the routing passes that ran
    uint32_t total = 0; // Ratnest lines after sorting
    uint32_t vias = 0;  // vias placed by the passes that place them
    bool cancelled = false;
};

// What the run calls while it works, each optional.  `change` wraps every change of the Document (the
// user interface thread draws under the same lock); `draw` shows one changed Item; `progress` gives the
// connections done of the total ("ROUTE:").
struct RouteHooks {
    std::function<void(const std::function<void()>&)> change;
    std::function<void(Ref)> draw;
    std::function<void(uint32_t done, uint32_t total)> progress;
};

// The whole run into `log` (opened by the caller with "AUTOROUTER STATISTICS LOG", width 79; closed by
// the caller).  Every change is recorded for undo in one group.  `run.cancelled()` is looked at between
// connections: a cancelled run stops after the current one, still writes its phase line and Totals, and
// leaves a consistent board.
// The log's phase lines (79 columns, no line end): a preparatory phase, and a routing pass or the totals
// with its ratio and its percentage of `total` worked in 16.16 fixed point.
std::string phase_line(std::string_view name, uint32_t processed, int64_t millis);
std::string pass_line(std::string_view name, const PassResult& r, uint32_t total, int64_t millis);

RouteSummary route_run(model::Document& doc, const RouteSettings& settings, nets::Log& log, platform::RunContext& run,
                       const RouteHooks& hooks = {});

} // namespace trazel::router
