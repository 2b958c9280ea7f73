// trazel-cli fill, teardrops and isolate: the copper tools on a Block given as in the block verb.  The
// settings default to the file's own ("-gc", "-gtt", "-gtb"); the options of fill are stored back into
// "-gc" as the dialog's OK does.  A run that runs out of Nodes writes nothing.
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "app/cli/block_option.h"
#include "app/cli/cli.h"
#include "copper/flood.h"
#include "copper/isolate.h"
#include "copper/teardrops.h"
#include "shell/keys.h"

namespace trazel::cli {

namespace {

constexpr const char* kOutOfNodes = "out of memory for items: nothing written";

// What the three verbs share: IN OUT and the Block.
struct AreaArgs {
    std::vector<std::string> files;
    BlockOption area;
};

// Takes the file names and the Block options; the verb's own options go through `own`, which returns
// false for an option it does not know.  0 when every argument was taken, else the usage exit status.
template <typename Own> int parse_area(std::string_view verb, int argc, char** argv, AreaArgs& out, Own own) {
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        bool ok = true;
        if (out.area.take(argc, argv, i, ok)) {
            // --box, --polygon or --layers
        } else if (a.size() > 1 && a[0] == '-') {
            if (!own(a, i, ok)) {
                return usage_error(verb, "unknown option " + a);
            }
        } else {
            out.files.push_back(a);
        }
        if (!ok) {
            return usage_error(verb, a + " needs a value");
        }
    }
    if (out.files.size() != 2) {
        return usage_error(verb, "an input and an output file are needed");
    }
    if (!out.area.given()) {
        return usage_error(verb, std::string(kBlockUsage));
    }
    return 0;
}

// The Block in the loaded file; every layer is selected unless --layers says otherwise.
bool make_block(std::string_view verb, const AreaArgs& args, model::Document& d, edit::Block& b, int& status) {
    std::string why = define_block_option(args.area, d, {}, b);
    if (!why.empty()) {
        status = usage_error(verb, why);
        return false;
    }
    if (args.area.layers.empty()) {
        b.layers.fill(true);
    }
    return true;
}

constexpr int kNoNodes = -1;

// What the three verbs share after their options: load IN, make the Block, run `work(cli, doc, block,
// summary)`, save OUT and print the summary.  `work` returns 0, an exit status, or kNoNodes when the run
// ran out of Nodes (then nothing is written).
template <class Work> int on_block(std::string_view verb, const AreaArgs& args, Work&& work) {
    Cli cli;
    model::Document* d = load(cli, args.files[0], 0);
    if (!d) {
        return 1;
    }
    edit::Block b;
    int status = 0;
    if (!make_block(verb, args, *d, b, status)) {
        return status;
    }
    std::string summary;
    status = work(cli, *d, b, summary);
    if (status == kNoNodes) {
        return fail(kOutOfNodes);
    }
    if (status != 0) {
        return status;
    }
    const std::string& path = args.files[1];
    model::set_document_name(d, path);
    std::string why;
    if (!model::SaveDocumentFile(cli.formats, path, 0, &why)) {
        return fail("cannot write \"" + path + "\": " + why);
    }
    std::printf("%s\n", summary.c_str());
    return 0;
}

// A layer number 0-254.
bool layer_number(const std::string& text, int& out) {
    if (text.empty() || text.size() > 3 || text.find_first_not_of("0123456789") != std::string::npos) {
        return false;
    }
    out = std::stoi(text);
    return out < 255;
}

bool length(const std::string& text, model::Coord& out) {
    std::optional<model::Coord> v = shell::parse_typed_length(text);
    if (!v || *v < 0) {
        return false;
    }
    out = *v;
    return true;
}

// The question's text as one line: each line break (with the blanks around it) becomes one blank.
std::string one_line(const std::string& text) {
    std::string out;
    size_t i = 0;
    while (i < text.size()) {
        if (text[i] != '\n') {
            out.push_back(text[i++]);
            continue;
        }
        while (!out.empty() && out.back() == ' ') {
            out.pop_back();
        }
        while (i < text.size() && (text[i] == '\n' || text[i] == ' ')) {
            ++i;
        }
        out.push_back(' ');
    }
    size_t first = out.find_first_not_of(' ');
    size_t last = out.find_last_not_of(' ');
    return first == std::string::npos ? std::string() : out.substr(first, last - first + 1);
}

} // namespace

int run_fill(int argc, char** argv) {
    constexpr std::string_view kVerb = "fill";
    AreaArgs args;
    std::string mesh, layer, sources, thermal, direct, width, isolation;
    bool hatch = false, stop = false, have_thermal = false, have_direct = false;
    int status = parse_area(kVerb, argc, argv, args, [&](const std::string& a, int& i, bool& ok) {
        auto value = [&](std::string& to) { ok = next_value(argc, argv, i, to); };
        if (a == "--hatch") {
            hatch = true;
        } else if (a == "--stop-unconnected") {
            stop = true;
        } else if (a == "--mesh") {
            value(mesh);
        } else if (a == "--layer") {
            value(layer);
        } else if (a == "--sources") {
            value(sources);
        } else if (a == "--thermal") {
            value(thermal);
            have_thermal = true;
        } else if (a == "--direct") {
            value(direct);
            have_direct = true;
        } else if (a == "--width") {
            value(width);
        } else if (a == "--isolation") {
            value(isolation);
        } else {
            return false;
        }
        return true;
    });
    if (status != 0) {
        return status;
    }
    if (!mesh.empty() && !hatch) {
        return usage_error(kVerb, "--mesh goes with --hatch");
    }
    return on_block(kVerb, args, [&](Cli& cli, model::Document& doc, edit::Block& b, std::string& summary) {
        model::Document* d = &doc;
        copper::FillSettings f = copper::fill_settings(d->setup);
        if (!layer.empty() && !layer_number(layer, f.destination)) {
            return usage_error(kVerb, "bad --layer \"" + layer + "\": a layer number 0-254");
        }
        if (!sources.empty()) {
            f.sources.reset();
            for (const std::string& l : split(sources, ',')) {
                int n = 0;
                if (!layer_number(l, n)) {
                    return usage_error(kVerb, "bad layer \"" + l + "\" in --sources");
                }
                f.sources[static_cast<size_t>(n)] = true;
            }
        }
        if (have_thermal) {
            f.thermal = thermal.substr(0, 31);
        }
        if (have_direct) {
            f.direct = direct.substr(0, 31);
        }
        if (!width.empty() && !length(width, f.width)) {
            return usage_error(kVerb, "bad --width \"" + width + "\"");
        }
        if (!isolation.empty()) {
            std::vector<std::string> v = split(isolation, ',');
            if (v.size() != 2 || !length(v[0], f.iso_lines) || !length(v[1], f.iso_pads)) {
                return usage_error(kVerb, "bad --isolation \"" + isolation + "\": expected LINES,PADS");
            }
        }
        if (!mesh.empty() && !length(mesh, f.mesh)) {
            return usage_error(kVerb, "bad --mesh \"" + mesh + "\"");
        }
        copper::store_fill_settings(d->setup, f);

        copper::FillHooks hooks;
        hooks.unconnected = [stop](const std::string& text, model::Point) {
            std::fprintf(stderr, "%s\n", one_line(text).c_str());
            return !stop;
        };
        platform::RunContext run(cli.ui);
        copper::FillResult r =
            copper::flood_fill(*d, b, f, hatch ? copper::FillMode::Hatch : copper::FillMode::Flood, hooks, run);
        if (r.out_of_nodes) {
            return kNoNodes;
        }
        summary = std::to_string(r.created) + " items laid" +
                  (r.unconnected > 0 ? ", " + std::to_string(r.unconnected) + " pads not connected" : "") +
                  (r.cancelled ? ", stopped at the first" : "");
        return 0;
    });
}

int run_teardrops(int argc, char** argv) {
    constexpr std::string_view kVerb = "teardrops";
    AreaArgs args;
    int status = parse_area(kVerb, argc, argv, args, [](const std::string&, int&, bool&) { return false; });
    if (status != 0) {
        return status;
    }
    return on_block(kVerb, args, [](Cli&, model::Document& d, edit::Block& b, std::string& summary) {
        copper::TeardropResult r = copper::add_teardrops(d, b);
        summary = std::to_string(r.created) + " teardrops added";
        return r.out_of_nodes ? kNoNodes : 0;
    });
}

int run_isolate(int argc, char** argv) {
    constexpr std::string_view kVerb = "isolate";
    AreaArgs args;
    std::string side_text = "both";
    int status = parse_area(kVerb, argc, argv, args, [&](const std::string& a, int& i, bool& ok) {
        if (a != "--side") {
            return false;
        }
        ok = next_value(argc, argv, i, side_text);
        return true;
    });
    if (status != 0) {
        return status;
    }
    copper::Side side = copper::Side::Both;
    if (side_text == "top") {
        side = copper::Side::Top;
    } else if (side_text == "bottom") {
        side = copper::Side::Bottom;
    } else if (side_text != "both") {
        return usage_error(kVerb, "bad --side \"" + side_text + "\": top, bottom or both");
    }
    return on_block(kVerb, args, [side](Cli& cli, model::Document& d, edit::Block& b, std::string& summary) {
        platform::RunContext run(cli.ui);
        copper::IsolateResult r = copper::isolate_tracks(d, b, side, {}, run);
        summary = std::to_string(r.created) + " items laid in " + std::to_string(r.components) + " components";
        return r.out_of_nodes ? kNoNodes : 0;
    });
}

} // namespace trazel::cli
