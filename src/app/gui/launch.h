#pragma once
// The desktop program's own command line: `trazel [--depth 8|16|24|32] [-sN] [files...]`, turned into
// the command line the shell parses at start-up (and that a second start hands over): the program in
// double quotes, then the monitor words bare and each file name absolute and in double quotes, so that
// names with blanks survive and a hand-over from another working directory finds the same files.
#include <charconv>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace trazel::gui {

struct Launch {
    int depth = 32;
    int bench_zoom = 0; // --bench-zoom N: time N zoom keys on the loaded file and exit
    bool help = false;
    bool version = false;
    std::vector<std::string> files; // absolute
    std::vector<std::string> monitor_words;
    std::string command_line;
    std::string error; // non-empty: the reason the arguments were refused
};

constexpr std::string_view kUsage =
    "usage: trazel [--depth 8|16|24|32] [-sN] [--bench-zoom N] [files...]\n       trazel --version";

inline bool parse_int(std::string_view s, int& out) {
    int v = 0;
    auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec != std::errc() || p != s.data() + s.size()) {
        return false;
    }
    out = v;
    return true;
}

inline std::string in_quotes(std::string_view s) {
    std::string q = "\"";
    q += s;
    q += '"';
    return q;
}

// `program` is the running executable's full name, `cwd` the directory relative names are taken from.
inline Launch parse_launch(const std::vector<std::string>& args, const std::string& program,
                           const std::filesystem::path& cwd) {
    Launch l;
    bool options_done = false;
    auto value_of = [&](size_t& i, std::string_view a, std::string_view name, std::string& v) {
        if (a.size() > name.size() && a[name.size()] == '=') {
            v = std::string(a.substr(name.size() + 1));
            return true;
        }
        if (i + 1 < args.size()) {
            v = args[++i];
            return true;
        }
        return false;
    };
    for (size_t i = 0; i < args.size() && l.error.empty(); ++i) {
        std::string_view a = args[i];
        std::string v;
        if (!options_done && a == "--") {
            options_done = true;
        } else if (!options_done && (a == "--help" || a == "-h")) {
            l.help = true;
        } else if (!options_done && a == "--version") {
            l.version = true;
        } else if (!options_done && a.starts_with("--depth")) {
            if (!value_of(i, a, "--depth", v) || !parse_int(v, l.depth)) {
                l.error = "--depth needs a number of bits per pixel";
            }
        } else if (!options_done && a.starts_with("--bench-zoom")) {
            if (!value_of(i, a, "--bench-zoom", v) || !parse_int(v, l.bench_zoom) || l.bench_zoom < 1) {
                l.error = "--bench-zoom needs a positive count";
            }
        } else if (!options_done && a.starts_with("-s")) {
            l.monitor_words.emplace_back(a);
        } else if (!options_done && a.starts_with("-")) {
            l.error = "unknown option " + std::string(a);
        } else if (a.empty()) {
            continue;
        } else if (a.find('"') != std::string_view::npos) {
            l.error = "a file name with a double quote in it cannot be opened: " + std::string(a);
        } else {
            std::filesystem::path p(a);
            l.files.push_back((p.is_absolute() ? p : cwd / p).lexically_normal().string());
        }
    }
    l.command_line = in_quotes(program);
    for (const auto& w : l.monitor_words) {
        l.command_line += ' ' + w;
    }
    for (const auto& f : l.files) {
        l.command_line += ' ' + in_quotes(f);
    }
    return l;
}

} // namespace trazel::gui
