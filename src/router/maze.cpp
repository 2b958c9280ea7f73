#include "router/maze.h"

namespace trazel::router {

PassResult snake_pass(Router&) {
    return {};
}

} // namespace trazel::router
