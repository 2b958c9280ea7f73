#pragma once
// The component pin list (NP): every pinned Pad of the Components with its place, its Signal and, for a
// surface-mount pad, the nearest via or through-hole pad of that Signal; and the signal wire list (NW),
// which has its header only.
#include <ctime>
#include <string>

#include "nets/net_state.h"

namespace trazel::nets {

// The whole pin list (CR LF line ends).  The nearest via or pad comes from the per-Signal pad lists of
// the state's index, or with `s.plain` from a walk over the whole Document for every surface-mount pad.
std::string pin_list_text(NetState& s, const std::tm& date);

// The wire list: title and column heads, no rows.
std::string wire_list_text(const model::Document& doc, const std::tm& date);

} // namespace trazel::nets
