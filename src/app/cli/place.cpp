// trazel-cli place IN OUT --component P --at X,Y [...] | --list FILE: library Components placed as the
// Place Component function places them (the same lookup, copy and sorted insertion), for scripted boards.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "app/cli/cli.h"
#include "app/core/place_list.h"
#include "edit/place_names.h"
#include "edit/place_symbols.h"
#include "library/library.h"
#include "model/numbers.h"
#include "shell/keys.h"

namespace trazel::cli {

namespace {

constexpr std::string_view kVerb = "place";

using app::Placement;

} // namespace

int run_place(int argc, char** argv) {
    std::vector<std::string> files, libs;
    std::string list_file, path_option, at_text, angle_text;
    Placement one;
    bool have_component = false;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto value = [&](std::string& to) { return next_value(argc, argv, i, to); };
        bool ok = true;
        if (a == "--component") {
            ok = value(one.fields[0]);
            have_component = true;
        } else if (a == "--ref") {
            ok = value(one.fields[1]);
        } else if (a == "--value") {
            ok = value(one.fields[2]);
        } else if (a == "--modifier") {
            ok = value(one.fields[3]);
        } else if (a == "--field5") {
            ok = value(one.fields[4]);
        } else if (a == "--at") {
            ok = value(at_text);
        } else if (a == "--angle") {
            ok = value(angle_text);
        } else if (a == "--list") {
            ok = value(list_file);
        } else if (a == "--library-path") {
            ok = value(path_option);
        } else if (a == "--lib") {
            std::string l;
            ok = value(l);
            libs.push_back(l);
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
    if (have_component == !list_file.empty()) {
        return usage_error(kVerb, "either --component with --at, or --list");
    }
    if (have_component && at_text.empty()) {
        return usage_error(kVerb, "--component needs --at X,Y");
    }

    Cli cli;
    model::Document* d = load(cli, files[0], 0);
    if (!d) {
        return 1;
    }
    model::Setup& s = d->setup;
    // Libraries named here join the Document's list (and are saved with it).
    for (const auto& l : libs) {
        bool present = false;
        for (const auto& slot : s.libraries) {
            present = present || model::upper_ascii(slot.data()) == model::upper_ascii(l);
        }
        for (auto& slot : s.libraries) {
            if (present || l.empty()) {
                break;
            }
            if (slot[0] == 0) {
                std::snprintf(slot.data(), slot.size(), "%s", l.substr(0, slot.size() - 1).c_str());
                present = true;
            }
        }
        if (!present) {
            return fail("no free library slot for \"" + l + "\"");
        }
    }

    std::vector<Placement> todo;
    if (have_component) {
        model::Coord x = 0, y = 0;
        if (!shell::parse_typed_point(at_text, s.origin_x, s.origin_y, x, y)) {
            return fail("bad --at \"" + at_text + "\": expected X,Y in inches or with mm");
        }
        one.x = x;
        one.y = y;
        if (!angle_text.empty() && !app::parse_degrees(angle_text, one.angle)) {
            return fail("bad --angle \"" + angle_text + "\"");
        }
        todo.push_back(one);
    } else {
        std::ifstream in(list_file, std::ios::binary);
        if (!in) {
            return fail("cannot read \"" + list_file + "\"");
        }
        std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        std::string why;
        if (!app::read_place_list(text, s.origin_x, s.origin_y, todo, why)) {
            return fail(list_file + ":" + why);
        }
    }

    library::LibrarySet set = library::LibrarySet::from_setup(s, resolve_library_directory(path_option));
    std::unordered_set<std::string> taken = edit::references_in(d->ring());
    model::ComponentOrder order(d->ring());
    for (Placement& p : todo) {
        std::string where = p.line ? list_file + ":" + std::to_string(p.line) + ": " : std::string();
        if (!library::FindLibraryComponent(set, p.fields[0])) {
            return fail(where + "\"" + p.fields[0] + "\" is in none of the libraries");
        }
        if (p.fields[1].empty()) {
            p.fields[1] = model::ComponentField(model::first_item(library::scratch_ring()), 1);
        }
        if (!edit::first_free_reference(p.fields[1], taken)) {
            return fail(where + "no free Reference ID for \"" + p.fields[1] + "\"");
        }
        if (!edit::valid_reference_id(p.fields[1])) {
            return fail(where + "the Reference ID \"" + p.fields[1] + "\" holds a blank or special character");
        }
        model::Ref c = edit::copy_library_component(d->ring(), p.fields, p.angle, {p.x, p.y});
        if (c == model::kNone) {
            return fail(where + "out of memory for items");
        }
        order.insert(c);
    }
    d->mark_modified();
    model::set_document_name(d, files[1]);
    std::string why;
    if (!model::SaveDocumentFile(cli.formats, files[1], 0, &why)) {
        return fail("cannot write \"" + files[1] + "\": " + why);
    }
    return 0;
}

} // namespace trazel::cli
