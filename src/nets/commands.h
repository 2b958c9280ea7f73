#pragma once
// The Nets group as the App sees it.
#include <string>
#include <string_view>

#include "nets/net_state.h"

namespace trazel {
struct App;
}
namespace trazel::model {
struct Document;
}

namespace trazel::nets {

// Registers NS, N+, N-, NG, NH, NN, NC, NR, NL, NU and NM.
void install_nets(App& app);
// NO (netlist_commands.cpp); FB, NP, NW (list_commands.cpp); NI (netin_commands.cpp).
void install_netlist_out(App& app);
void install_lists(App& app);
void install_netlist_in(App& app);

// A state for a command on the current Document: drawn on the screen, showing its "SCAN:" counts, and
// interruptible by a key ("Net Scan Interruption").
NetState interactive_state(App& app);

// "Display Logs": the Document that shows the log `path` of `board` (nullptr, with a beep, when that is
// the board itself), and its n-th line as a Text (commands.cpp).
model::Document* log_document(App& app, const std::string& path, model::Document& board);
void log_text(model::Document& d, int n, std::string_view line);

} // namespace trazel::nets
