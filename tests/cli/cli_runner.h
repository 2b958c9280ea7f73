#pragma once
// Runs the built trazel-cli and collects its exit status, stdout and stderr.
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace cli_test {

namespace fs = std::filesystem;

struct Result {
    int status = -1;
    std::string out, err;
};

inline std::string slurp(const fs::path& p) {
    std::ifstream f(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), {});
}

inline void spit(const fs::path& p, const std::string& s) {
    std::ofstream f(p, std::ios::binary);
    f << s;
}

inline std::string quote(const std::string& s) {
    std::string q = "'";
    for (char c : s) {
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return q + "'";
}

inline std::string source(const std::string& rel) {
    return std::string(TRAZEL_SOURCE_DIR) + "/" + rel;
}

// A scratch directory per test, removed afterwards.
struct Scratch {
    fs::path dir;
    Scratch() {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir = fs::temp_directory_path() / (std::string("trazel-cli-") + info->test_suite_name() + "-" + info->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    ~Scratch() {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
    std::string operator/(const std::string& name) const {
        return (dir / name).string();
    }
};

// `args` is passed to the shell as it is; quote file names with quote().
inline Result run(const Scratch& s, const std::string& args, int seconds = 120) {
    std::string out = s / ".stdout", err = s / ".stderr";
    // A hung verb fails its test instead of blocking the whole suite (timeout's status is 124).
    std::string cmd = "timeout " + std::to_string(seconds) + " " + quote(TRAZEL_CLI) + " " + args + " >" + quote(out) + " 2>" + quote(err) + " </dev/null";
    int rc = std::system(cmd.c_str());
    Result r;
    r.status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    r.out = slurp(out);
    r.err = slurp(err);
    fs::remove(out);
    fs::remove(err);
    return r;
}

inline int lines(const std::string& s) {
    int n = 0;
    for (char c : s) {
        n += c == '\n';
    }
    return n;
}

// How often `what` occurs in `s`, overlaps included.
inline int count(const std::string& s, const std::string& what) {
    int n = 0;
    for (size_t at = s.find(what); at != std::string::npos; at = s.find(what, at + 1)) {
        ++n;
    }
    return n;
}

} // namespace cli_test
