#pragma once
// How the CAM subsystem hangs into the App: FG (the photoplot run of the File menu) and FP (the plot).
#include <functional>

namespace trazel {
struct App;
}
namespace trazel::platform {
class RunContext;
}

namespace trazel::cam {

void install_cam(App& app);
// FP, the plot on a thread (plot_commands.cpp); install_cam calls it.
void install_plot(App& app);

// Whether a plot started by FP is still going; waiting for it (asking it to stop first with `cancel`).
bool plotting(App& app);
void finish_plot(App& app, bool cancel);
// A seam for tests: runs on the plot thread before the plot, given its context (a test holds it there).
std::function<void(platform::RunContext&)>& plot_before_run(App& app);

} // namespace trazel::cam
