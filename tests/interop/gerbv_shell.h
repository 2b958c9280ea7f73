#pragma once
// Running the peer programs from the interop tests: a shell command with its output caught, whether a
// tool is installed, and the lines of gerbv's stderr that mean it did not understand a file.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "model/model.h"
#include "model/setup_directives.h"

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
    // Appended piece by piece: gcc 12 warns wrongly (-Warray-bounds) of the same string built with +.
    std::string command = "command -v ";
    command.append(tool).append(" >/dev/null 2>&1");
    return std::system(command.c_str()) == 0;
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

// A scratch folder named after the running test, emptied first and removed afterwards unless
// TRAZEL_KEEP_INTEROP is set (to look at what the peers were given).
struct ScratchDir {
    std::filesystem::path path;
    explicit ScratchDir(const std::string& prefix) {
        path = std::filesystem::temp_directory_path() /
               (prefix + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        std::filesystem::remove_all(path);
        std::filesystem::create_directories(path);
    }
    ~ScratchDir() {
        std::error_code ec;
        if (std::getenv("TRAZEL_KEEP_INTEROP") == nullptr) {
            std::filesystem::remove_all(path, ec);
        }
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
};

// The screen set for comparing a render with gerbv's picture: the layers in `on` white, every other one
// off, on a black background, everything drawn filled.
inline void white_on_black(trazel::model::Setup& s, const std::vector<bool>& on) {
    for (size_t l = 0; l < 256; ++l) {
        s.layers[l].colour = l < on.size() && on[l] ? 0xFFFFFF : trazel::model::kNoColour;
    }
    trazel::model::ApplyDirective(s, "-gd0,FFFFFF,000000,FFFFFF,FFFF00");
    trazel::model::ApplyDirective(s, "-gm3,3,3,0");
}

} // namespace interop
