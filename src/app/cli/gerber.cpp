// trazel-cli gerber IN [--outdir DIR] [--excellon-header] [--x2] [--mm] [--arcs]: the photoplot run of a
// board, one file per output row ("-dy") of the Document.
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "app/cli/cli.h"
#include "cam/photoplot.h"

namespace trazel::cli {

int run_gerber(int argc, char** argv) {
    std::string in, outdir;
    bool header = false, x2 = false, mm = false, arcs = false;
    for (int k = 1; k < argc; ++k) {
        std::string a = argv[k];
        if (a == "--outdir") {
            if (k + 1 >= argc) {
                return usage_error("gerber", "--outdir needs a directory");
            }
            outdir = argv[++k];
        } else if (a.rfind("--outdir=", 0) == 0) {
            outdir = a.substr(9);
        } else if (a == "--excellon-header") {
            header = true;
        } else if (a == "--x2") {
            x2 = true;
        } else if (a == "--mm") {
            mm = true;
        } else if (a == "--arcs") {
            arcs = true;
        } else if (!a.empty() && a[0] == '-' && a != "-") {
            return usage_error("gerber", "unknown option \"" + a + "\"");
        } else if (in.empty()) {
            in = a;
        } else {
            return usage_error("gerber", "one input file only");
        }
    }
    if (in.empty()) {
        return usage_error("gerber", "an input file is needed");
    }
    if (!outdir.empty()) {
        std::error_code ec;
        std::filesystem::create_directories(outdir, ec);
        if (!std::filesystem::is_directory(outdir)) {
            return fail("cannot make the output directory \"" + outdir + "\"" + (ec ? ": " + ec.message() : ""));
        }
    }
    Cli cli;
    model::Document* d = load_plottable(cli, in);
    if (!d) {
        return 1;
    }
    cam::PhotoplotOptions opt;
    opt.out_dir = outdir;
    opt.excellon_header = header;
    opt.x2 = x2;
    opt.metric = mm;
    opt.true_arcs = arcs;
    // One line per finished file; on a terminal the progress bar on stderr is wiped first.
    bool tty = isatty(STDOUT_FILENO) != 0;
    opt.file_written = [tty](const std::string& path) {
        std::printf("%s%s 100%%\n", tty ? "\r\033[K" : "", path.c_str());
        std::fflush(stdout);
    };
    // The run names each file it cannot create; the exit status says it failed.
    platform::RunContext run(cli.ui);
    return cam::photoplot_run(*d, opt, run) ? 0 : 1;
}

} // namespace trazel::cli
