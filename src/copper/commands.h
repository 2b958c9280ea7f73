#pragma once
// The copper tools as the App sees them: BF (flood fill), BA (teardrops), BT (track isolation) and BO
// (isolation output).
namespace trazel {
struct App;
}

namespace trazel::copper {

void install_copper(App& app);

} // namespace trazel::copper
