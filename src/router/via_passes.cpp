#include "router/via_passes.h"

namespace trazel::router {

PassResult z_pass(Router&) {
    return {};
}

PassResult c_pass(Router&) {
    return {};
}

} // namespace trazel::router
