// trazel-cli netin IN MASK OUT: netlist input (NI) in a pipeline.  The netlists the mask names are read
// into the board, which is written to OUT as a Data file; every mismatch goes to the log.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/cli/cli.h"
#include "library/library.h"
#include "nets/netin.h"

namespace trazel::cli {

int run_netin(int argc, char** argv) {
    constexpr std::string_view kVerb = "netin";
    std::vector<std::string> files;
    std::string log_file, path_option;
    nets::NetlistInOptions options;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto value = [&](std::string& to) { return next_value(argc, argv, i, to); };
        bool ok = true;
        if (a == "--update") {
            options.update = true;
        } else if (a == "--replace") {
            options.replace = true;
        } else if (a == "--log") {
            ok = value(log_file);
        } else if (a == "--library-path") {
            ok = value(path_option);
        } else if (a.size() > 1 && a[0] == '-') {
            return usage_error(kVerb, "unknown option " + a);
        } else {
            files.push_back(a);
        }
        if (!ok) {
            return usage_error(kVerb, a + " needs a value");
        }
    }
    if (files.size() != 3) {
        return usage_error(kVerb, "an input file, a netlist file or mask and an output file are needed");
    }
    const std::string& in_path = files[0];
    const std::string& mask = files[1];
    const std::string& out = files[2];

    Cli cli;
    model::Document* d = load(cli, in_path, 0);
    if (!d) {
        return 1;
    }
    char code = d->setup.format_code;
    if (code == 'Z' || model::format_name(code) == "unknown format") {
        return fail("\"" + in_path + "\" is no board: it reads only as " + (code == 'Z' ? "text" : "bytes"));
    }
    std::vector<std::string> netlists = nets::expand_netlist_mask(mask);
    if (netlists.empty()) {
        std::string text = nets::kNoNetlistText;
        std::replace(text.begin(), text.end(), '\n', ' ');
        return fail(text);
    }
    for (const std::string& f : netlists) {
        if (!std::ifstream(f, std::ios::binary)) {
            return fail("cannot read the netlist \"" + f + "\"");
        }
    }
    if (log_file.empty()) {
        log_file = in_path + ".LOG";
    }
    library::LibrarySet libs = library::LibrarySet::from_setup(d->setup, resolve_library_directory(path_option));
    nets::Log log;
    if (!log.open(log_file, nets::kNetlistInLogTitle, std::filesystem::path(d->name()).filename().string(),
                  nets::kNetlistInLogWidth, nets::log_date())) {
        return fail("cannot write the log \"" + log_file + "\"");
    }
    nets::NetState s(*d);
    nets::NetlistInResult r = nets::netlist_in(s, netlists, libs, options, log);
    if (!r.unreadable.empty()) {
        return fail("cannot read the netlist \"" + r.unreadable.front() + "\"");
    }
    // The board first: when it cannot be written the log is thrown away too, and nothing changes.
    model::set_document_name(d, out);
    std::string why;
    if (!model::SaveDocumentFile(cli.formats, out, 'C', &why)) {
        return fail("cannot write \"" + out + "\": " + why);
    }
    if (!log.close()) {
        return fail("cannot write the log \"" + log_file + "\"");
    }
    std::printf("Total input node count:  %ld\n", r.nodes);
    return 0;
}

} // namespace trazel::cli
