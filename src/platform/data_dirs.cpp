#include "platform/data_dirs.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

#ifndef TRAZEL_INSTALL_DATADIR
#define TRAZEL_INSTALL_DATADIR "/usr/local/share/trazel"
#endif

namespace trazel::platform {

namespace fs = std::filesystem;

namespace {

std::string as_dir(const fs::path& p) {
    std::string s = p.lexically_normal().string();
    if (s.empty() || s.back() != '/') {
        s += '/';
    }
    return s;
}

} // namespace

std::string installed_data_dir() {
    return TRAZEL_INSTALL_DATADIR;
}

std::vector<std::string> data_search_list(const std::string& program_dir, std::string_view folder,
                                          std::string_view xdg_data_dirs) {
    const fs::path pd = program_dir.empty() ? fs::path(".") : fs::path(program_dir);
    const fs::path f{std::string(folder)};
    std::vector<std::string> out;
    for (const char* below : {".", "share", "../share", "../share/trazel"}) {
        out.push_back(as_dir(pd / below / f));
    }
    out.push_back(as_dir(fs::path(installed_data_dir()) / f));
    // An empty or unset variable means the default list, as the base-directory rules say; relative
    // entries are not valid there and are skipped.
    std::string_view dirs = xdg_data_dirs.empty() ? std::string_view("/usr/local/share:/usr/share") : xdg_data_dirs;
    while (!dirs.empty()) {
        size_t colon = dirs.find(':');
        std::string_view entry = dirs.substr(0, colon);
        dirs = colon == std::string_view::npos ? std::string_view() : dirs.substr(colon + 1);
        if (!entry.empty() && entry.front() == '/') {
            out.push_back(as_dir(fs::path(std::string(entry)) / "trazel" / f));
        }
    }
    return out;
}

std::string find_data_dir(const std::string& program_dir, std::string_view folder) {
    const char* xdg = std::getenv("XDG_DATA_DIRS");
    for (const std::string& d : data_search_list(program_dir, folder, xdg ? xdg : "")) {
        std::error_code ec;
        if (fs::is_directory(d, ec)) {
            return d;
        }
    }
    return {};
}

} // namespace trazel::platform
