// trazel-cli plot: PostScript, HPGL, PCL raster and bitmaps of a file, to a file or a print queue.
#include "app/cli/cli.h"

namespace trazel::cli {

int run_plot(int, char**) {
    return fail("plot is not built yet");
}

} // namespace trazel::cli
