#include "app/cli/cli.h"

namespace trazel::cli {

int run_route(int, char**) {
    return usage_error("route", "not built yet");
}

} // namespace trazel::cli
