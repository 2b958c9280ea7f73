#pragma once
// What the benchmarks share: the clock, medians of repeated runs, and the boards gen_board makes beside
// the benchmark program.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace bench {

inline double now_ms() {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

inline double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// A program built beside this one.
inline std::filesystem::path beside(const char* name) {
    return std::filesystem::read_symlink("/proc/self/exe").parent_path() / name;
}

// `gen_board components out --seed seed [extra]`; the file, or "" when gen_board is missing or failed.
inline std::string gen_board(int components, const std::filesystem::path& out, unsigned seed,
                             const std::string& extra = {}) {
    std::filesystem::path gen = beside("gen_board");
    if (!std::filesystem::exists(gen)) {
        return {};
    }
    std::string cmd = gen.string() + " " + std::to_string(components) + " " + out.string() + " --seed " +
                      std::to_string(seed) + (extra.empty() ? "" : " " + extra) + " >/dev/null 2>&1";
    return std::system(cmd.c_str()) == 0 && std::filesystem::exists(out) ? out.string() : std::string();
}

// The options of the benchmarks that time our run against a peer's: a board one (generated or given)
// or, when `size` is set, a picture of `size` pixels a side that the benchmark makes itself.
struct Options {
    std::string board{};
    int components = 0;
    int reps = 3;
    bool peer = true;
    bool keep = false;
    int size = 0;
};

// Reads `--reps N --no-peer --keep` and either `--board FILE --components N` or, for a picture
// benchmark (`o.size` set), `--size N` into `o`; on anything else prints the usage line of `program`
// and returns false.
inline bool parse_options(int argc, char** argv, Options& o, const char* program) {
    const bool picture = o.size > 0;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        bool value = i + 1 < argc;
        if (!picture && a == "--board" && value) {
            o.board = argv[++i];
        } else if (!picture && a == "--components" && value) {
            o.components = std::max(1, std::atoi(argv[++i]));
        } else if (picture && a == "--size" && value) {
            o.size = std::max(16, std::atoi(argv[++i]));
        } else if (a == "--reps" && value) {
            o.reps = std::max(1, std::atoi(argv[++i]));
        } else if (a == "--no-peer") {
            o.peer = false;
        } else if (a == "--keep") {
            o.keep = true;
        } else {
            std::fprintf(stderr, "usage: %s %s [--reps N] [--no-peer] [--keep]\n", program,
                         picture ? "[--size N]" : "[--board FILE] [--components N]");
            return false;
        }
    }
    return true;
}

} // namespace bench
