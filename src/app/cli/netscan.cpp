// trazel-cli netscan and ratnest: the logged Net scan (NG) and the Ratnest commands (NR, NL, NU) on a
// board, for checks in a scripted pipeline.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "app/cli/cli.h"
#include "nets/netlog.h"
#include "nets/ratnest.h"

namespace trazel::cli {

namespace {

// A board the scan can work on: read as a drawing format (not as text or bytes), with a conductive layer,
// and a Data file that was not cut short.  Empty when it is one, else why not.
std::string not_a_board(const std::string& path, const model::Document& d) {
    char code = d.setup.format_code;
    std::string_view name = model::format_name(code);
    if (code == 'Z' || name == "unknown format") {
        return "\"" + path + "\" is no board: it reads only as " + (code == 'Z' ? "text" : "bytes");
    }
    bool conductive = false;
    for (int l = 0; l < 256 && !conductive; ++l) {
        conductive = d.setup.layers[l].in_use() && nets::conductive_layer(d.setup, l);
    }
    if (!conductive) {
        return "\"" + path + "\" is no board: it has no copper or signal layer";
    }
    if (code == 'C') {
        std::ifstream in(path, std::ios::binary);
        std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (text.find("\nEND OF FILE") == std::string::npos) {
            return "\"" + path + "\" is cut short: its \"END OF FILE\" line is missing";
        }
    }
    return {};
}

int count_ratnest(const model::Document& d, model::Ref signal) {
    int n = 0;
    for (model::Ref r : model::items_in(d.ring())) {
        const model::Node& x = model::node(r);
        if ((x.item_kind() == model::kLine || x.item_kind() == model::kArc) && x.layer == nets::kRatnestLayer &&
            (signal == model::kNone || model::item_signal(r) == signal)) {
            ++n;
        }
    }
    return n;
}

bool save(Cli& cli, model::Document* d, const std::string& out) {
    model::set_document_name(d, out);
    std::string why;
    if (!model::SaveDocumentFile(cli.formats, out, 0, &why)) {
        fail("cannot write \"" + out + "\": " + why);
        return false;
    }
    return true;
}

} // namespace

int run_netscan(int argc, char** argv) {
    constexpr std::string_view kVerb = "netscan";
    std::string in_path, log_file, out;
    bool plain = false, fail_on_errors = false;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto value = [&](std::string& to) { return next_value(argc, argv, i, to); };
        bool ok = true;
        if (a == "--log") {
            ok = value(log_file);
        } else if (a == "--save") {
            ok = value(out);
        } else if (a == "--plain") {
            plain = true;
        } else if (a == "--fail-on-errors") {
            fail_on_errors = true;
        } else if (a.size() > 1 && a[0] == '-') {
            return usage_error(kVerb, "unknown option " + a);
        } else if (in_path.empty()) {
            in_path = a;
        } else {
            return usage_error(kVerb, "one input file only");
        }
        if (!ok) {
            return usage_error(kVerb, a + " needs a value");
        }
    }
    if (in_path.empty()) {
        return usage_error(kVerb, "an input file is needed");
    }
    Cli cli;
    model::Document* d = load(cli, in_path, 0);
    if (!d) {
        return 1;
    }
    if (std::string why = not_a_board(in_path, *d); !why.empty()) {
        return fail(why);
    }
    if (log_file.empty()) {
        log_file = in_path + ".LOG";
    }
    nets::NetState s(*d);
    s.plain = plain;
    nets::Log log;
    if (!log.open(log_file, "NETSCAN ERROR LOG", std::filesystem::path(d->name()).filename().string(), 79, nets::log_date())) {
        return fail("cannot write the log \"" + log_file + "\"");
    }
    nets::ScanSummary r = nets::write_net_scan_log(s, log);
    if (!log.close()) {
        return fail("cannot write the log \"" + log_file + "\"");
    }
    if (!out.empty() && !save(cli, d, out)) {
        return 1;
    }
    std::printf("%s\n", nets::summary_line(r).c_str());
    return fail_on_errors && r.errors > 0 ? 3 : 0;
}

int run_ratnest(int argc, char** argv) {
    constexpr std::string_view kVerb = "ratnest";
    std::vector<std::string> files;
    std::string signal_name;
    bool remove = false;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--signal") {
            if (i + 1 >= argc) {
                return usage_error(kVerb, "--signal needs a value");
            }
            signal_name = argv[++i];
        } else if (a == "--delete") {
            remove = true;
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
    if (std::string why = not_a_board(files[0], *d); !why.empty()) {
        return fail(why);
    }
    model::Ref signal = model::kNone;
    if (!signal_name.empty()) {
        signal = model::find_signal(signal_name, false);
        if (signal == model::kNone) {
            return fail("no signal \"" + signal_name + "\" in \"" + files[0] + "\"");
        }
    }
    nets::NetState s(*d);
    nets::prepare_ratnest_layer(d->setup);
    int before = count_ratnest(*d, signal);
    int deleted = 0, added = 0;
    if (remove) {
        deleted = nets::delete_ratnest(s, signal);
    } else if (signal != model::kNone) {
        deleted = nets::delete_ratnest(s, signal);
        nets::clear_all_marks(s);
        added = nets::build_signal_ratnest(s, signal);
        nets::clear_all_marks(s);
    } else {
        added = nets::build_ratnest(s);
        deleted = before;
    }
    d->mark_modified();
    if (!save(cli, d, files[1])) {
        return 1;
    }
    std::printf("deleted %d lines, added %d lines\n", deleted, added);
    return 0;
}

} // namespace trazel::cli
