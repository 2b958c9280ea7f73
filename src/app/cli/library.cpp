// trazel-cli library LIB [PATTERN]: the browser's listing of a component library.
// trazel-cli library --find NAME LIB...: the lookup placing uses, and where it found the entry.
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "app/cli/cli.h"
#include "library/library.h"
#include "shell/settings.h"

namespace trazel::cli {

namespace {

constexpr std::string_view kVerb = "library";

void print_line(const std::string& s) {
    std::fwrite(s.data(), 1, s.size(), stdout);
    std::fputc('\n', stdout);
}

} // namespace

std::string program_dir() {
    std::error_code ec;
    std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    return !ec && exe.has_parent_path() ? exe.parent_path().string() + "/" : std::string();
}

std::string resolve_library_directory(const std::string& option) {
    std::string configured = option;
    if (configured.empty()) {
        configured = shell::read_setting_in(shell::default_settings_dir(), "Library Path");
    }
    return library::library_directory(configured, program_dir());
}

std::string library_file(const std::string& directory, const std::string& lib) {
    if (lib.find('/') != std::string::npos || directory.empty()) {
        return lib;
    }
    std::error_code ec;
    std::string below = directory + lib;
    return std::filesystem::exists(below, ec) || !std::filesystem::exists(lib, ec) ? below : lib;
}

int run_library(int argc, char** argv) {
    std::string find, path_option;
    bool finding = false;
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--find" || a == "--library-path") {
            if (i + 1 >= argc) {
                return usage_error(kVerb, a + " needs a value");
            }
            (a == "--find" ? find : path_option) = argv[++i];
            finding = finding || a == "--find";
        } else if (a.size() > 1 && a[0] == '-') {
            return usage_error(kVerb, "unknown option " + a);
        } else {
            args.push_back(a);
        }
    }
    if (args.empty()) {
        return usage_error(kVerb, "a library file is needed");
    }
    Cli cli;
    model::NewDocument("");
    std::string dir = resolve_library_directory(path_option);

    if (finding) {
        if (args.size() > static_cast<size_t>(library::kLibrarySlots)) {
            return usage_error(kVerb, "at most 32 library files");
        }
        library::LibrarySet set;
        for (size_t i = 0; i < args.size(); ++i) {
            set.names[i] = library_file(dir, args[i]);
        }
        library::FoundPosition at;
        if (!library::FindLibraryComponent(set, find, &at)) {
            return fail("\"" + find + "\" is in none of the libraries");
        }
        model::Ref c = model::first_item(library::scratch_ring());
        print_line(args[static_cast<size_t>(at.slot)] + ":" + std::to_string(at.line) + "\t" +
                   library::parameters_for_display(model::component_parameters(c)));
        return 0;
    }

    if (args.size() > 2) {
        return usage_error(kVerb, "one library file and one pattern at most");
    }
    std::string file = library_file(dir, args[0]);
    library::Listing l = library::list_library_file(file, args[0], args.size() > 1 ? args[1] : std::string());
    if (!l.ok) {
        std::string m = l.message;
        for (char& c : m) {
            c = c == '\n' ? ' ' : c;
        }
        return fail(l.title + ": " + m);
    }
    print_line(l.caption);
    for (const auto& line : l.lines) {
        print_line(line.text);
    }
    return 0;
}

} // namespace trazel::cli
