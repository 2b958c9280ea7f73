// trazel-cli fill, teardrops and isolate: the copper tools on a Block given as in the block verb.
#include "app/cli/cli.h"

namespace trazel::cli {

int run_fill(int, char**) {
    return fail("fill is not built yet");
}
int run_teardrops(int, char**) {
    return fail("teardrops is not built yet");
}
int run_isolate(int, char**) {
    return fail("isolate is not built yet");
}

} // namespace trazel::cli
