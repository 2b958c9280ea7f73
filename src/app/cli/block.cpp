// trazel-cli block: the Block commands on an area of a file, for scripted panelising, step and repeat,
// clean-up and comparison.  The Block is defined, transformed and applied exactly as the B group does.
#include <cstdio>
#include <string>
#include <vector>

#include "app/cli/block_option.h"
#include "app/cli/cli.h"
#include "app/core/place_list.h"
#include "edit/block.h"
#include "model/numbers.h"
#include "shell/keys.h"

namespace trazel::cli {

namespace {

constexpr std::string_view kVerb = "block";

const char* kind_name(uint8_t kind) {
    switch (kind) {
    case model::kLine:
        return "Line";
    case model::kArc:
        return "Arc";
    case model::kPad:
        return "Pad";
    case model::kText:
        return "Text";
    case model::kPointGroup:
        return "Point group";
    case model::kComponent:
        return "Component";
    default:
        return "Item";
    }
}

model::Point origin(model::Ref r) {
    const model::Node& n = model::node(r);
    switch (n.item_kind()) {
    case model::kArc:
        return {n.arc.x0, n.arc.y0};
    case model::kPad:
        return {n.pad.x0, n.pad.y0};
    case model::kText:
        return {n.text.x0, n.text.y0};
    default:
        return {n.line.x1, n.line.y1};
    }
}

} // namespace

int run_block(int argc, char** argv) {
    std::vector<std::string> files, copies;
    BlockOption area;
    std::string ref, rotate, scale, move, compare, build, increment_text;
    bool mirror_x = false, mirror_y = false, del_in = false, del_out = false, pseudo = false;
    int actions = 0;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto value = [&](std::string& to) { return next_value(argc, argv, i, to); };
        bool ok = true;
        if (area.take(argc, argv, i, ok)) {
            // --box, --polygon or --layers
        } else if (a == "--ref") {
            ok = value(ref);
        } else if (a == "--rotate") {
            ok = value(rotate);
        } else if (a == "--scale") {
            ok = value(scale);
        } else if (a == "--mirror-x") {
            mirror_x = true;
        } else if (a == "--mirror-y") {
            mirror_y = true;
        } else if (a == "--increment") {
            ok = value(increment_text);
        } else if (a == "--move") {
            ok = value(move);
            ++actions;
        } else if (a == "--copy") {
            std::string c;
            ok = value(c);
            copies.push_back(c);
            actions += copies.size() == 1 ? 1 : 0;
        } else if (a == "--delete-inside") {
            del_in = true;
            ++actions;
        } else if (a == "--delete-outside") {
            del_out = true;
            ++actions;
        } else if (a == "--compare") {
            ok = value(compare);
            ++actions;
        } else if (a == "--build" || a == "--pseudo") {
            ok = value(build);
            pseudo = a == "--pseudo";
            ++actions;
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
    if (!area.given()) {
        return usage_error(kVerb, std::string(kBlockUsage));
    }
    if (actions != 1) {
        return usage_error(kVerb, actions == 0 ? "an action is needed" : "only one action at a time");
    }

    Cli cli;
    model::Document* d = load(cli, files[0], 0);
    if (!d) {
        return 1;
    }
    model::Setup& s = d->setup;
    auto point = [&](const std::string& text, model::Point& p) {
        return shell::parse_typed_point(text, s.origin_x, s.origin_y, p.x, p.y);
    };
    edit::Block b;
    if (std::string why = define_block_option(area, *d, ref, b); !why.empty()) {
        return fail(why);
    }
    if (!rotate.empty() && !app::parse_degrees(rotate, b.angle)) {
        return fail("bad --rotate \"" + rotate + "\"");
    }
    if (!scale.empty()) {
        model::Cursor c(scale);
        b.scale = model::read_decimal(c);
        if (b.scale <= 0) {
            return fail("bad --scale \"" + scale + "\": a factor above 0 is needed");
        }
    }
    b.mirror_x = mirror_x;
    b.mirror_y = mirror_y;

    std::string summary;
    if (!move.empty()) {
        model::Point t;
        if (!point(move, t)) {
            return fail("bad --move \"" + move + "\"");
        }
        edit::BlockResult r = edit::block_move(b, t);
        summary = "moved " + std::to_string(r.items) + " items";
    } else if (!copies.empty()) {
        int step = 0;
        if (!increment_text.empty()) {
            model::Cursor c(increment_text);
            step = model::read_int(c);
        }
        int total = 0;
        for (size_t k = 0; k < copies.size(); ++k) {
            model::Point t;
            if (!point(copies[k], t)) {
                return fail("bad --copy \"" + copies[k] + "\"");
            }
            total += edit::block_copy(b, *d, t, step * static_cast<int>(k + 1)).items;
        }
        summary = "copied " + std::to_string(total) + " items in " + std::to_string(copies.size()) +
                  (copies.size() == 1 ? " copy" : " copies");
    } else if (del_in || del_out) {
        edit::BlockResult r = edit::block_delete(b, del_in);
        summary = "deleted " + std::to_string(r.items) + " items " + (del_in ? "inside" : "outside");
    } else if (!compare.empty()) {
        model::Point t;
        if (!point(compare, t)) {
            return fail("bad --compare \"" + compare + "\"");
        }
        edit::BlockResult r = edit::block_compare(b, *d, t);
        for (model::Ref item : model::items_in(d->ring())) {
            const model::Node& n = model::node(item);
            if (n.marked()) {
                model::Point o = origin(item);
                std::printf("%s layer %d at %s,%s\n", kind_name(n.item_kind()), n.layer, inches(o.x).c_str(),
                            inches(o.y).c_str());
            }
        }
        summary = std::to_string(r.items) + (r.items == 1 ? " difference" : " differences");
    } else {
        std::vector<std::string> f = split(build, ',');
        if (f.size() > 5 || f[0].empty()) {
            return fail("bad --" + std::string(pseudo ? "pseudo" : "build") +
                        ": up to five fields, the first (the pattern) not empty");
        }
        std::array<std::string, 5> fields;
        for (size_t i = 0; i < f.size(); ++i) {
            fields[i] = f[i];
        }
        size_t inside = edit::block_members(b, *d, false).size();
        if (inside == 0) {
            return fail("the Block holds no selectable data");
        }
        if (edit::block_build(b, fields, pseudo) == model::kNone) {
            return fail("out of memory for items");
        }
        summary = "built component " + fields[0] + " of " + std::to_string(inside) + " items";
    }
    model::set_document_name(d, files[1]);
    std::string why;
    if (!model::SaveDocumentFile(cli.formats, files[1], 0, &why)) {
        return fail("cannot write \"" + files[1] + "\": " + why);
    }
    std::printf("%s\n", summary.c_str());
    return 0;
}

} // namespace trazel::cli
