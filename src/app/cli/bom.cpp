#include "app/cli/cli.h"

namespace trazel::cli {

int run_bom(int, char**) {
    return usage_error("bom", "not built yet");
}

int run_pinlist(int, char**) {
    return usage_error("pinlist", "not built yet");
}

int run_wirelist(int, char**) {
    return usage_error("wirelist", "not built yet");
}

} // namespace trazel::cli
