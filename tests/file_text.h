#pragma once
// A whole file as bytes, for the tests that compare what was written or feed a file to a reader.
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace test_files {

inline std::string slurp(const std::filesystem::path& p) {
    std::ifstream f(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), {});
}

} // namespace test_files
