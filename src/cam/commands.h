#pragma once
// How the CAM subsystem hangs into the App: FG (the photoplot run of the File menu).
namespace trazel {
struct App;
}

namespace trazel::cam {

void install_cam(App& app);

} // namespace trazel::cam
