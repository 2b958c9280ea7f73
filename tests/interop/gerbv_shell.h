#pragma once
// Running the peer programs from the interop tests: a shell command with its output caught, whether a
// tool is installed, and the lines of gerbv's stderr that mean it did not understand a file.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace interop {

struct Shell {
    int status = -1;
    std::string out, err;
};

// Runs a shell command with stdout and stderr caught in files of `dir`.
inline Shell run(const std::string& cmd, const std::filesystem::path& dir) {
    std::filesystem::path o = dir / "cmd.out", e = dir / "cmd.err";
    Shell r;
    r.status = std::system((cmd + " >" + o.string() + " 2>" + e.string() + " </dev/null").c_str());
    auto slurp = [](const std::filesystem::path& p) {
        std::ifstream f(p, std::ios::binary);
        std::stringstream ss;
        ss << f.rdbuf();
        return ss.str();
    };
    r.out = slurp(o);
    r.err = slurp(e);
    return r;
}

inline bool have(const char* tool) {
    return std::system((std::string("command -v ") + tool + " >/dev/null 2>&1").c_str()) == 0;
}

// gerbv exits with 0 even for a file it could not read: its CRITICAL and WARNING lines say so.
inline std::string complaints(const std::string& err) {
    std::string bad;
    std::istringstream in(err);
    for (std::string l; std::getline(in, l);) {
        if (l.find("CRITICAL") != std::string::npos || l.find("WARNING") != std::string::npos) {
            bad += l + "\n";
        }
    }
    return bad;
}

} // namespace interop
