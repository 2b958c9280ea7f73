// trazel-cli fab IN --out DIR|FILE.zip [--x2] [--mm] [--arcs] [--no-excellon-header] [--all]: the whole
// fabrication package of a board in one step.
#include <cstdio>
#include <string>
#include <vector>

#include "platform/version.h"
#include "app/cli/cli.h"
#include "cam/fab_package.h"

namespace trazel::cli {

int run_fab(int argc, char** argv) {
    std::string in;
    cam::FabOptions o;
    o.version = platform::program_version();
    bool have_out = false;
    for (int k = 1; k < argc; ++k) {
        std::string a = argv[k];
        if (a == "--out") {
            if (!next_value(argc, argv, k, o.out)) {
                return usage_error("fab", "--out needs a folder or a .zip file");
            }
            have_out = true;
        } else if (a == "--x2") {
            o.x2 = true;
        } else if (a == "--mm") {
            o.metric = true;
        } else if (a == "--arcs") {
            o.true_arcs = true;
        } else if (a == "--no-excellon-header") {
            o.excellon_header = false;
        } else if (a == "--all") {
            o.all_components = true;
        } else if (!a.empty() && a[0] == '-' && a != "-") {
            return usage_error("fab", "unknown option \"" + a + "\"");
        } else if (in.empty()) {
            in = a;
        } else {
            return usage_error("fab", "one input file only");
        }
    }
    if (in.empty()) {
        return usage_error("fab", "an input file is needed");
    }
    if (!have_out || o.out.empty()) {
        return usage_error("fab", "--out is needed");
    }
    Cli cli;
    model::Document* d = load_plottable(cli, in);
    if (!d) {
        return 1;
    }
    platform::RunContext run(cli.ui);
    std::vector<cam::FabFile> files;
    if (!cam::fab_package(*d, o, run, &files)) {
        return 1;
    }
    for (const cam::FabFile& f : files) {
        std::printf("%s\n", f.name.c_str());
    }
    return 0;
}

} // namespace trazel::cli
