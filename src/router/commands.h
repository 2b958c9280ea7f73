#pragma once
// The auto-route command as the App sees it.
namespace trazel {
struct App;
}

namespace trazel::router {

// Registers the Net menu's auto-route command.
void install_router(App& app);

} // namespace trazel::router
