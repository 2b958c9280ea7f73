// trazel-cli netlist: the netlist output (NO) of a board or sheet, optionally after the naming pass.  The
// naming pass only decides what is written: the Document itself is not saved.
#include <string>
#include <vector>

#include "app/cli/cli.h"
#include "nets/naming.h"
#include "nets/netlist_out.h"
#include "nets/netlog.h"
#include "nets/parts.h"

namespace trazel::cli {

namespace {

// Where a naming pass stopped, for the one line on stderr.
std::string naming_failure(const model::Document& d, const nets::NamingResult& r) {
    std::string text = nets::naming_text(r);
    if (r.end == nets::NamingEnd::Crosslink) {
        // "U3-14" gets its position; "pad (x,y)" and the like carry it already.
        std::string pad = nets::pad_name(d, r.first);
        if (pad.find('(') == std::string::npos) {
            pad += " " + nets::point_text(d, r.at);
        }
        return text + " At " + pad + ".";
    }
    if (r.end == nets::NamingEnd::Colinear) {
        return text + " Junction at " + nets::point_text(d, r.at) + ".";
    }
    return "the naming pass was interrupted";
}

} // namespace

int run_netlist(int argc, char** argv) {
    constexpr std::string_view kVerb = "netlist";
    std::vector<std::string> files;
    nets::NetlistOptions o;
    bool name_nets = false;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--bracketed") {
            o.bracketed = true;
        } else if (a == "--single-node") {
            o.single_node = true;
        } else if (a == "--name-nets") {
            name_nets = true;
        } else if (a.size() > 1 && a[0] == '-') {
            return usage_error(kVerb, "unknown option " + a);
        } else {
            files.push_back(a);
        }
    }
    if (files.size() != 2) {
        return usage_error(kVerb, "an input and an output file are needed");
    }
    Cli cli;
    model::Document* d = load(cli, files[0], 0);
    if (!d) {
        return 1;
    }
    nets::ReferenceCheck check = nets::check_reference_ids(*d);
    if (!check.ok()) {
        return fail(std::string(nets::kNetListErrorTitle) +
                    ": a component has been encountered with a Reference ID field that does not begin with a upper "
                    "case alphabetic character: component " +
                    std::to_string(check.sequence) + ", Reference ID \"" + check.field + "\"");
    }
    if (name_nets) {
        nets::NetState s(*d);
        nets::NamingResult r = nets::name_nets(s);
        if (r.end != nets::NamingEnd::Done) {
            return fail(naming_failure(*d, r));
        }
    }
    std::string text = nets::netlist_text(*d, o, nets::log_date());
    std::string why;
    if (!nets::write_list_file(files[1], text, why)) {
        return fail("Unable to create netlist output file: \"" + files[1] + "\": " + why);
    }
    return 0;
}

} // namespace trazel::cli
