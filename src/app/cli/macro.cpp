// trazel-cli macro IN [OUT] --keys TEXT [--answer TITLE=BUTTON[,BUTTON...]]... [--field FORM.FIELD=VALUE]...
// [--library-path DIR]:
// loads IN into a headless shell, plays the keystroke macro text through the real key handler, answers the
// message boxes and dialogs it raises, and saves the current data file to OUT.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "app/cli/cli.h"
#include "app/cli/dialog_script.h"
#include "app/core/headless_run.h"

namespace trazel::cli {

namespace {

constexpr std::string_view kVerb = "macro";

// "--name VALUE" or "--name=VALUE"; advances k past the value.
bool option_value(int argc, char** argv, int& k, std::string_view name, std::string& value, bool& missing) {
    std::string a = argv[k];
    if (a == name) {
        if (k + 1 >= argc) {
            missing = true;
            return true;
        }
        value = argv[++k];
        return true;
    }
    std::string prefix = std::string(name) + "=";
    if (a.rfind(prefix, 0) == 0) {
        value = a.substr(prefix.size());
        return true;
    }
    return false;
}

// Message box texts carry line breaks; the report shows each box on one line.
std::string one_line(const std::string& s) {
    std::string o;
    bool gap = false;
    for (char c : s) {
        if (c == '\n' || c == '\r') {
            gap = true;
            continue;
        }
        if (gap && !o.empty() && o.back() != ' ') {
            o.push_back(' ');
        }
        gap = false;
        o.push_back(c);
    }
    return o;
}

} // namespace

int run_macro(int argc, char** argv) {
    shell::MacroJob job;
    bool have_keys = false;
    for (int k = 1; k < argc; ++k) {
        std::string a = argv[k];
        std::string value;
        bool missing = false;
        if (option_value(argc, argv, k, "--keys", value, missing)) {
            if (missing) {
                return usage_error(kVerb, "--keys needs the macro text");
            }
            if (have_keys) {
                job.keys += ' '; // several --keys play one after the other
            }
            job.keys += value;
            have_keys = true;
        } else if (option_value(argc, argv, k, "--answer", value, missing)) {
            std::string bad = missing ? "--answer takes TITLE=BUTTON[,BUTTON...]" : add_answer(job.answers, value);
            if (!bad.empty()) {
                return usage_error(kVerb, bad);
            }
        } else if (option_value(argc, argv, k, "--field", value, missing)) {
            std::string bad = missing ? "--field takes FORM.FIELD=VALUE" : add_field(job.dialogs, value);
            if (!bad.empty()) {
                return usage_error(kVerb, bad);
            }
        } else if (option_value(argc, argv, k, "--library-path", value, missing)) {
            if (missing || value.empty()) {
                return usage_error(kVerb, "--library-path takes a folder");
            }
            job.library_path = value;
        } else if (option_value(argc, argv, k, "--max-ticks", value, missing)) {
            char* end = nullptr;
            long n = missing ? 0 : std::strtol(value.c_str(), &end, 10);
            if (missing || !end || *end || n <= 0 || n > 100000000) {
                return usage_error(kVerb, "--max-ticks takes a positive count of 55 ms ticks");
            }
            job.max_ticks = static_cast<int>(n);
        } else if (a.size() > 1 && a[0] == '-') {
            return usage_error(kVerb, "unknown option \"" + a + "\"");
        } else if (job.input.empty()) {
            job.input = a;
        } else if (job.output.empty()) {
            job.output = a;
        } else {
            return usage_error(kVerb, "too many arguments");
        }
    }
    if (job.input.empty()) {
        return usage_error(kVerb, "an input file is needed");
    }
    if (!have_keys) {
        return usage_error(kVerb, "--keys is needed");
    }

    // The templates are looked up beside the program, as the desktop does.
    std::error_code ec;
    std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (!ec && exe.has_parent_path()) {
        job.program_dir = exe.parent_path().string() + "/";
    }

    std::string error;
    std::vector<std::string> log, notices;
    int r = shell::run_macro_job(job, &error, &log, &notices);
    // What the run showed, for scripts that check a command's outcome.
    for (const std::string& line : log) {
        std::printf("%s\n", one_line(line).c_str());
    }
    std::fflush(stdout);
    for (const std::string& line : notices) {
        std::fprintf(stderr, "trazel-cli: %s\n", one_line(line).c_str());
    }
    if (r != 0) {
        return fail(error.empty() ? std::string("the macro run failed") : one_line(error));
    }
    return 0;
}

} // namespace trazel::cli
