#pragma once
// What the benchmarks share: the clock, medians of repeated runs, and the boards gen_board makes beside
// the benchmark program.
#include <algorithm>
#include <chrono>
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

} // namespace bench
