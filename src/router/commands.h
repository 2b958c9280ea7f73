#pragma once
// The auto-route command as the App sees it.
#include <functional>
#include <thread>

#include "router/router.h"

namespace trazel {
struct App;
}

namespace trazel::router {

// Registers the Net menu's auto-route command.
void install_router(App& app);

// Whether a routing run started by NA is still going.
bool route_running(App& app);
// Waits for the run and ends it on this thread: the log closed, the Document redrawn, the log shown.  With
// `cancel` (a close or the exit) the run is asked to stop first and its log is not shown.  Nothing when no
// run is active.
void finish_route(App& app, bool cancel);

// What the last run ended with.
struct RouteOutcome {
    RouteSummary summary;
    bool cancel_asked = false;
    bool failed = false; // the engine threw: the log still closes
};
const RouteOutcome& last_route(App& app);

// Seams for tests: `before_run` runs on the routing thread before the engine, given the run's context (a
// test holds the run there until it is released or cancelled); `spawn` creates the thread (a test makes
// it fail).
struct RouteSeams {
    std::function<void(platform::RunContext&)> before_run;
    std::function<std::thread(std::function<void()>)> spawn;
};
RouteSeams& route_seams(App& app);

} // namespace trazel::router
