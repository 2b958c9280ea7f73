#pragma once
// The Nets group as the App sees it.
namespace trazel {
struct App;
}

namespace trazel::nets {

// Registers NS, N+, N-, NG, NH, NN, NC, NR, NL, NU and NM.
void install_nets(App& app);
// NO (netlist_commands.cpp); FB, NP, NW (list_commands.cpp); NI (netin_commands.cpp).
void install_netlist_out(App& app);
void install_lists(App& app);
void install_netlist_in(App& app);

} // namespace trazel::nets
