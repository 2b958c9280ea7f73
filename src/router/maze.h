#pragma once
// The snake pass: a maze search over every routing layer for the connections the other passes left.
#include "router/passes.h"

namespace trazel::router {

PassResult snake_pass(Router& r);

} // namespace trazel::router
