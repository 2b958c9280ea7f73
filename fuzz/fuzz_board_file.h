#pragma once
// A small board written once per fuzzer process, for the harnesses that drive a started shell on it.
#include <cstdio>
#include <cstdlib>
#include <string>

#include <unistd.h>

namespace fuzz {

inline std::string board_file(const char* harness, const char* text) {
    std::string path = "/tmp/" + std::string(harness) + "_board_" + std::to_string(::getpid()) + ".pcb";
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) {
        std::abort();
    }
    std::fputs(text, f);
    std::fclose(f);
    return path;
}

} // namespace fuzz
