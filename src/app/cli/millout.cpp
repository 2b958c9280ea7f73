// trazel-cli millout: the isolation output's milling files.
#include <array>
#include <charconv>
#include <cstdio>
#include <string>

#include "app/cli/cli.h"
#include "cam/milling.h"

namespace trazel::cli {

namespace {

constexpr std::string_view kVerb = "millout";
constexpr std::array<std::string_view, 4> kRowNames = {"drill", "top", "bottom", "route"};

struct RowArg {
    bool given = false;
    cam::MillRowSettings s;
    int layer = -1; // -1: not given
};

// "NAME=FILE[:LAYER][:mirror]" into rows; the reason in `why` when it is no such thing.
bool parse_row(const std::string& arg, std::array<RowArg, 4>& rows, std::string& why) {
    size_t eq = arg.find('=');
    size_t row = kRowNames.size();
    for (size_t i = 0; i < kRowNames.size(); ++i) {
        if (eq != std::string::npos && arg.compare(0, eq, kRowNames[i]) == 0) {
            row = i;
        }
    }
    if (row == kRowNames.size()) {
        why = "no such row \"" + arg.substr(0, eq) + "\" (drill, top, bottom or route)";
        return false;
    }
    RowArg& r = rows[row];
    if (r.given) {
        why = "the " + std::string(kRowNames[row]) + " row is given twice";
        return false;
    }
    // Taken apart from the end, so a file name may hold a colon of its own.
    std::string rest = arg.substr(eq + 1);
    size_t colon = rest.rfind(':');
    if (colon != std::string::npos && rest.compare(colon + 1, std::string::npos, "mirror") == 0) {
        r.s.mirror = true;
        rest.resize(colon);
        colon = rest.rfind(':');
    }
    if (colon != std::string::npos) {
        std::string_view tail = std::string_view(rest).substr(colon + 1);
        bool number = !tail.empty() && tail.find_first_not_of("-0123456789") == std::string_view::npos;
        if (number) {
            int layer = -1;
            auto [end, ec] = std::from_chars(tail.data(), tail.data() + tail.size(), layer);
            if (ec != std::errc() || end != tail.data() + tail.size() || layer < 0 || layer > 255) {
                why = "layer " + std::string(tail) + " is not in 0..255";
                return false;
            }
            r.layer = layer;
            rest.resize(colon);
        }
    }
    if (rest.empty()) {
        why = "the " + std::string(kRowNames[row]) + " row needs a file name";
        return false;
    }
    r.s.file = rest;
    r.given = true;
    return true;
}

} // namespace

int run_millout(int argc, char** argv) {
    std::string in_path, prefix;
    std::array<RowArg, 4> rows;
    bool any = false;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        std::string v;
        if (a == "--prefix" || a == "--row") {
            if (!next_value(argc, argv, i, v)) {
                return usage_error(kVerb, a + " needs a value");
            }
            if (a == "--prefix") {
                prefix = v;
            } else if (std::string why; !parse_row(v, rows, why)) {
                return usage_error(kVerb, why);
            } else {
                any = true;
            }
        } else if (a.size() > 1 && a[0] == '-') {
            return usage_error(kVerb, "unknown option " + a);
        } else if (in_path.empty()) {
            in_path = a;
        } else {
            return usage_error(kVerb, "one input file only");
        }
    }
    if (in_path.empty()) {
        return usage_error(kVerb, "an input file is needed");
    }
    if (!any) {
        return usage_error(kVerb, "at least one --row is needed");
    }
    if (rows[cam::kMillRoute].given && rows[cam::kMillRoute].layer < 0) {
        return usage_error(kVerb, "the route row needs a layer (route=FILE:LAYER)");
    }
    Cli cli;
    model::Document* d = load(cli, in_path, 0);
    if (!d) {
        return 1;
    }
    cam::MillSettings s;
    s.prefix = prefix;
    for (size_t i = 0; i < rows.size(); ++i) {
        if (!rows[i].given) {
            continue;
        }
        s.rows[i] = rows[i].s;
        // Without a layer the top and bottom rows take the target layers of the track isolation.
        int layer = rows[i].layer;
        if (layer < 0) {
            layer = i == cam::kMillTop ? d->setup.iso_top.target : i == cam::kMillBottom ? d->setup.iso_bottom.target : 0;
        }
        s.rows[i].layer = layer;
    }
    std::string failed;
    if (!cam::write_mill_files(*d, s, &failed)) {
        return fail(std::string(cam::kMillCreateFailed) + " \"" + failed + "\"");
    }
    for (size_t i = 0; i < rows.size(); ++i) {
        if (rows[i].given) {
            std::printf("%s\n", (prefix + rows[i].s.file).c_str());
        }
    }
    return 0;
}

} // namespace trazel::cli
