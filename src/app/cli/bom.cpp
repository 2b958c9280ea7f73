// trazel-cli bom, pinlist and wirelist: the listings of FB, NP and NW written from a file, for scripted
// pipelines (SOURCE_DATE_EPOCH fixes their date).
#include <string>
#include <vector>

#include "app/cli/cli.h"
#include "nets/bom.h"
#include "nets/netlog.h"
#include "nets/parts.h"
#include "nets/pinlist.h"

namespace trazel::cli {

namespace {

// IN OUT and the flags a verb knows; 0 when the arguments are right, else the usage error's status.
int arguments(std::string_view verb, int argc, char** argv, std::vector<std::string>& files,
              const std::vector<std::pair<std::string, bool*>>& flags) {
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        bool known = false;
        for (const auto& f : flags) {
            if (a == f.first) {
                *f.second = true;
                known = true;
            }
        }
        if (known) {
            continue;
        }
        if (a.size() > 1 && a[0] == '-') {
            return usage_error(verb, "unknown option " + a);
        }
        files.push_back(a);
    }
    if (files.size() != 2) {
        return usage_error(verb, "an input and an output file are needed");
    }
    return 0;
}

// Reads IN, makes the listing and writes it to OUT (an old OUT stays when that fails).
template <class Make>
int list_verb(std::string_view verb, int argc, char** argv, const std::vector<std::pair<std::string, bool*>>& flags,
              Make make) {
    std::vector<std::string> files;
    if (int status = arguments(verb, argc, argv, files, flags)) {
        return status;
    }
    Cli cli;
    model::Document* d = load(cli, files[0], 0);
    if (!d) {
        return 1;
    }
    std::string why;
    if (!nets::write_list_file(files[1], make(*d), why)) {
        return fail("cannot write \"" + files[1] + "\": " + why);
    }
    return 0;
}

} // namespace

int run_bom(int argc, char** argv) {
    nets::BomOptions o;
    return list_verb("bom", argc, argv, {{"--csv", &o.csv}, {"--symbols", &o.symbols}},
                     [&](model::Document& d) { return nets::bom_text(d, o, nets::log_date()); });
}

int run_pinlist(int argc, char** argv) {
    return list_verb("pinlist", argc, argv, {}, [](model::Document& d) {
        nets::NetState s(d);
        return nets::pin_list_text(s, nets::log_date());
    });
}

int run_wirelist(int argc, char** argv) {
    return list_verb("wirelist", argc, argv, {},
                     [](model::Document& d) { return nets::wire_list_text(d, nets::log_date()); });
}

} // namespace trazel::cli
