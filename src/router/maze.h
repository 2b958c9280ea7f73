#pragma once
// The snake pass: a maze search over every routing layer for the connections the other passes left.
#include <cstdint>

#include "router/passes.h"

namespace trazel::router {

// The bounds of one connection's work.  A search expands at most `steps` cells on a grid of at most
// `max_states` cells x layers (about 14 bytes each); a connection gets a search on the coarse grid, one on
// a grid twice as fine when the coarse one is walled in, and, when both fail, one rip-up try that may
// take up to `max_victims` of this pass's own routes out of the way and must route them again.
struct MazeLimits {
    uint32_t steps = 12000;
    uint32_t max_states = 1u << 20;
    int max_victims = 2;
    bool rip_up = true;
};

PassResult snake_pass(Router& r);
PassResult snake_pass(Router& r, const MazeLimits& limits);

} // namespace trazel::router
