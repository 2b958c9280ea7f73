#pragma once
// The nets gen_board --expect writes ({"NAME": ["REF-PIN", ...], ...}, one net a line) and the nets of a
// bracketed netlist, both as Signal name -> sorted nodes, for comparing a netlist with the generator's
// truth.
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "cli/cli_runner.h"

namespace netlist_test {

using Nets = std::map<std::string, std::vector<std::string>>;

// Every double-quoted string of a line, in order (the names hold no quotes or backslashes).
inline std::vector<std::string> quoted(const std::string& line) {
    std::vector<std::string> out;
    for (size_t at = line.find('"'); at != std::string::npos;) {
        size_t end = line.find('"', at + 1);
        if (end == std::string::npos) {
            break;
        }
        out.push_back(line.substr(at + 1, end - at - 1));
        at = line.find('"', end + 1);
    }
    return out;
}

inline Nets read_expect(const std::string& text) {
    Nets nets;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        std::vector<std::string> q = quoted(text.substr(at, end == std::string::npos ? end : end - at));
        if (!q.empty()) {
            std::vector<std::string>& nodes = nets[q[0]];
            nodes.assign(q.begin() + 1, q.end());
            std::sort(nodes.begin(), nodes.end());
        }
        at = end == std::string::npos ? text.size() : end + 1;
    }
    return nets;
}

// The lines of a CR LF text.
inline std::vector<std::string> crlf_lines(const std::string& text) {
    std::vector<std::string> out;
    for (size_t at = 0; at < text.size();) {
        size_t end = text.find("\r\n", at);
        if (end == std::string::npos) {
            end = text.size();
        }
        out.push_back(text.substr(at, end - at));
        at = end + 2;
    }
    return out;
}

// The nets of a bracketed netlist: "(", the name, one node a line, ")".
inline Nets read_bracketed(const std::string& text) {
    Nets nets;
    std::vector<std::string> l = crlf_lines(text);
    for (size_t k = 0; k + 1 < l.size(); ++k) {
        if (l[k] != "(") {
            continue;
        }
        std::vector<std::string>& nodes = nets[l[k + 1]];
        for (k += 2; k < l.size() && l[k] != ")"; ++k) {
            nodes.push_back(l[k]);
        }
        std::sort(nodes.begin(), nodes.end());
    }
    return nets;
}

// gen_board is built with the benchmarks, which the sanitizer build leaves out.
inline bool have_gen_board() {
    return std::filesystem::exists(std::filesystem::path(TRAZEL_CLI).parent_path() / "gen_board");
}

// gen_board beside the programs under test: `components` on `seed`, its nets into `expect`.
inline bool generate(int components, unsigned seed, const std::string& out, const std::string& expect) {
    std::filesystem::path gen = std::filesystem::path(TRAZEL_CLI).parent_path() / "gen_board";
    std::string cmd = cli_test::quote(gen.string()) + " " + std::to_string(components) + " " + cli_test::quote(out) +
                      " --seed " + std::to_string(seed) + " --expect " + cli_test::quote(expect) +
                      " >/dev/null 2>&1 </dev/null";
    return std::system(cmd.c_str()) == 0 && std::filesystem::exists(expect);
}

} // namespace netlist_test

// Skips a test that needs generated boards where gen_board is not built.
#define SKIP_WITHOUT_GEN_BOARD()                                                                             \
    if (!netlist_test::have_gen_board())                                                                       \
    GTEST_SKIP() << "gen_board is not built here (the sanitizer build has no benchmarks)"
