// trazel-cli route: an autorouting run on a board, its statistics log, the routed board saved.
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "app/cli/cli.h"
#include "nets/netlog.h"
#include "router/router.h"

namespace trazel::cli {

namespace {

constexpr std::string_view kVerb = "route";

// The pass names in the order of the flags.
constexpr std::string_view kPassNames[] = {"clear", "straight", "bus", "inline", "L", "Z", "C", "snake"};

// LIST: a number, or pass names separated by commas.  False for a name that is none.
bool parse_passes(const std::string& list, uint32_t& flags, std::string& bad) {
    if (!list.empty() && list.find_first_not_of("0123456789") == std::string::npos) {
        if (list.size() > 10) {
            bad = list;
            return false;
        }
        unsigned long long v = std::stoull(list);
        if (v > UINT32_MAX) {
            bad = list;
            return false;
        }
        flags = static_cast<uint32_t>(v);
        return true;
    }
    flags = 0;
    size_t start = 0;
    while (start <= list.size()) {
        size_t comma = list.find(',', start);
        std::string name = list.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        bool found = false;
        for (size_t i = 0; i < std::size(kPassNames); ++i) {
            if (name == kPassNames[i]) {
                flags |= 1u << i;
                found = true;
            }
        }
        if (!found) {
            bad = name;
            return false;
        }
        if (comma == std::string::npos) {
            break;
        }
        start = comma + 1;
    }
    return true;
}

int direction_code(const std::string& d) {
    if (d == "X") {
        return router::kXAxis;
    }
    if (d == "Y") {
        return router::kYAxis;
    }
    if (d == "E") {
        return router::kEitherAxis;
    }
    if (d == "N") {
        return router::kNoDirection;
    }
    return -1;
}

// A layer number (0-254) or the name of a layer in use, case ignored; -1 when it is neither.
int layer_of(const model::Setup& s, const std::string& text) {
    if (!text.empty() && text.size() <= 3 && text.find_first_not_of("0123456789") == std::string::npos) {
        int v = std::stoi(text);
        return v < 255 ? v : -1;
    }
    for (int l = 0; l < 255; ++l) {
        const model::LayerEntry& e = s.layers[static_cast<size_t>(l)];
        if (e.in_use() && model::name_matches(text, e.name) && text.find_first_of("*?") == std::string::npos) {
            return l;
        }
    }
    return -1;
}

} // namespace

int run_route(int argc, char** argv) {
    std::vector<std::string> files;
    std::string passes, log_file;
    std::vector<std::pair<std::string, int>> directions;
    bool have_passes = false;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto value = [&](std::string& to) { return next_value(argc, argv, i, to); };
        bool ok = true;
        if (a == "--passes") {
            ok = value(passes);
            have_passes = true;
        } else if (a == "--log") {
            ok = value(log_file);
        } else if (a == "--direction") {
            std::string d;
            ok = value(d);
            if (ok) {
                size_t eq = d.find('=');
                int code = eq == std::string::npos ? -1 : direction_code(d.substr(eq + 1));
                if (code < 0 || eq == 0) {
                    return usage_error(kVerb, "bad direction \"" + d + "\": LAYER=X, Y, E or N");
                }
                directions.emplace_back(d.substr(0, eq), code);
            }
        } else if (a.size() > 1 && a[0] == '-') {
            return usage_error(kVerb, "unknown option " + a);
        } else {
            files.push_back(a);
        }
        if (!ok) {
            return usage_error(kVerb, a + " needs a value");
        }
    }
    if (files.size() != 2) {
        return usage_error(kVerb, "an input and an output file are needed");
    }
    uint32_t flags = 0;
    std::string bad;
    if (have_passes && !parse_passes(passes, flags, bad)) {
        return usage_error(kVerb, "unknown pass \"" + bad + "\"");
    }
    Cli cli;
    model::Document* d = load(cli, files[0], 0);
    if (!d) {
        return 1;
    }
    for (const auto& [name, code] : directions) {
        int layer = layer_of(d->setup, name);
        if (layer < 0) {
            return usage_error(kVerb, "no layer \"" + name + "\"");
        }
        router::set_layer_direction(d->setup, layer, code);
    }
    router::RouteSettings settings = router::RouteSettings::from_setup(d->setup);
    if (have_passes) {
        settings.flags = flags;
    }
    if (log_file.empty()) {
        log_file = nets::log_path(*d);
    }
    nets::Log log;
    log.echo = [](std::string_view line) {
        std::fwrite(line.data(), 1, line.size(), stdout);
        std::fputc('\n', stdout);
    };
    bool logged = log.open(log_file, "AUTOROUTER STATISTICS LOG", std::filesystem::path(d->name()).filename().string(),
                           79, nets::log_date());
    if (!logged) {
        // The run goes on without its file, as in the editor.
        std::fprintf(stderr, "trazel-cli: cannot write the log \"%s\"\n", log_file.c_str());
    }
    platform::RunContext run(cli.ui);
    router::RouteHooks hooks;
    int shown = -1;
    hooks.progress = [&](uint32_t done, uint32_t total) {
        int percent = total == 0 ? 100 : static_cast<int>(uint64_t{done} * 100 / total);
        if (percent != shown) {
            shown = percent;
            run.progress("ROUTE:", percent);
        }
    };
    std::fflush(stdout);
    router::route_run(*d, settings, log, run, hooks);
    if (shown >= 0) {
        run.progress("ROUTE:", -1);
    }
    if (logged && !log.close()) {
        std::fprintf(stderr, "trazel-cli: cannot write the log \"%s\"\n", log_file.c_str());
    }
    std::fflush(stdout);
    model::set_document_name(d, files[1]);
    std::string why;
    if (!model::SaveDocumentFile(cli.formats, files[1], 0, &why)) {
        return fail("cannot write \"" + files[1] + "\": " + why);
    }
    return 0;
}

} // namespace trazel::cli
