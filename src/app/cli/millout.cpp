// trazel-cli millout: the isolation output's milling files.
#include "app/cli/cli.h"

namespace trazel::cli {

int run_millout(int, char**) {
    return fail("millout is not built yet");
}

} // namespace trazel::cli
