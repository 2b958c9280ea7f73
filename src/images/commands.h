#pragma once
// The pixel image commands as the App sees them: the current picture drawn under the drawing, Alt-M
// (the next picture) and S5 (Image Rectification).
namespace trazel {
struct App;
}

namespace trazel::images {

void install_images(App& app);
// S5, from rectify_commands.cpp; install_images calls it.
void install_rectify(App& app);

} // namespace trazel::images
