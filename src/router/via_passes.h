#pragma once
// The passes beyond the pattern passes that place vias: "Z" (an L with a via at its corner, and two-via
// doglegs) and "C" (two-via detours around a blocker).
#include "router/passes.h"

namespace trazel::router {

PassResult z_pass(Router& r);
PassResult c_pass(Router& r);

} // namespace trazel::router
