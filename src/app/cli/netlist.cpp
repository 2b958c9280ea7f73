#include "app/cli/cli.h"

namespace trazel::cli {

int run_netlist(int, char**) {
    return usage_error("netlist", "not built yet");
}

} // namespace trazel::cli
