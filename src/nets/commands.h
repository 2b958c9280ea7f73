#pragma once
// The Nets group as the App sees it.
namespace trazel {
struct App;
}

namespace trazel::nets {

// Registers NS, N+, N-, NG, NH, NN, NC, NR, NL, NU and NM.
void install_nets(App& app);

} // namespace trazel::nets
