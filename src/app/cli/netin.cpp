#include "app/cli/cli.h"

namespace trazel::cli {

int run_netin(int, char**) {
    return usage_error("netin", "not built yet");
}

} // namespace trazel::cli
