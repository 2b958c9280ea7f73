// trazel-cli query IN X,Y [--layer N]: what the query boxes show with the cursor at X,Y, one line per box
// (Line, Arc, Pad, Text, Component) as `NAME: id=value ...`; a box over nothing shows its fields empty.
#include <cstdio>
#include <string>

#include "app/cli/cli.h"
#include "display/view.h"
#include "edit/locate.h"
#include "edit/query.h"
#include "model/numbers.h"
#include "shell/keys.h"

namespace trazel::cli {

namespace {

constexpr std::string_view kVerb = "query";

} // namespace

int run_query(int argc, char** argv) {
    std::string in, at_text, layer_text;
    bool have_layer = false;
    for (int k = 1; k < argc; ++k) {
        std::string a = argv[k];
        if (a == "--layer") {
            if (k + 1 >= argc) {
                return usage_error(kVerb, "--layer needs a layer number");
            }
            layer_text = argv[++k];
            have_layer = true;
        } else if (a.size() > 1 && a[0] == '-' && !model::is_digit(a[1]) && a[1] != '.') {
            return usage_error(kVerb, "unknown option " + a);
        } else if (in.empty()) {
            in = a;
        } else if (at_text.empty()) {
            at_text = a;
        } else {
            return usage_error(kVerb, "too many arguments");
        }
    }
    if (in.empty() || at_text.empty()) {
        return usage_error(kVerb, "an input file and the point X,Y are needed");
    }
    int layer = -1;
    if (have_layer) {
        bool digits = !layer_text.empty() && layer_text.size() <= 3;
        for (char c : layer_text) {
            digits = digits && model::is_digit(c);
        }
        if (!digits || std::stoi(layer_text) > 255) {
            return usage_error(kVerb, "--layer takes a layer number from 0 to 255");
        }
        layer = std::stoi(layer_text);
    }

    Cli cli;
    model::Document* d = load(cli, in, 0);
    if (!d) {
        return 1;
    }
    model::Coord x = 0, y = 0;
    if (!shell::parse_typed_point(at_text, d->setup.origin_x, d->setup.origin_y, x, y)) {
        return fail("bad point \"" + at_text + "\": expected X,Y in inches or with mm");
    }
    if (layer >= 0) {
        d->setup.current_layer = static_cast<uint16_t>(layer);
    }
    // The reach of a click on the screen at the scale a Document opens with.
    model::Coord tolerance = edit::pick_tolerance(display::kStartScale);
    for (edit::QueryBox b : edit::kItemBoxes) {
        platform::Form f = edit::query_form(b);
        edit::fill_query(f, b, *d, edit::query_item(*d, b, model::Point{x, y}, tolerance));
        std::printf("%s\n", platform::form_line(f).c_str());
    }
    return 0;
}

} // namespace trazel::cli
