#pragma once
// Where the program's own data (the folders TEMPLATE and LIBRARY) is looked for.  Beside the program
// first, so a build tree and an unpacked or installed tree each find their own copy; then the prefix the
// build was configured to install under; then the system's data folders ($XDG_DATA_DIRS).
#include <string>
#include <string_view>
#include <vector>

namespace trazel::platform {

// The data folder the build installs into ("<datadir>/trazel"), without a trailing slash.
std::string installed_data_dir();

// The folders that may hold `folder`, best first, each ending in '/': beside the program (`program_dir`,
// "" meaning the working directory), in its share/ folder, in ../share/ (the build tree) and in
// ../share/trazel/ (an installed tree); then under installed_data_dir(); then under "<entry>/trazel" for
// each absolute entry of `xdg_data_dirs` (colon-separated; empty means "/usr/local/share:/usr/share").
std::vector<std::string> data_search_list(const std::string& program_dir, std::string_view folder,
                                          std::string_view xdg_data_dirs);

// The first of those (with $XDG_DATA_DIRS from the environment) that is a directory; "" when none is.
std::string find_data_dir(const std::string& program_dir, std::string_view folder);

} // namespace trazel::platform
