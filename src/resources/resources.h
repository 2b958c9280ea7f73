#pragma once
// Tables the program carries (message texts, key tables, fonts, templates), embedded at build time from
// the text files beside this header.
#include <cstddef>
#include <string_view>

namespace trazel::resources {

struct Entry {
    const char* name;
    const unsigned char* data;
    std::size_t size;
};

// All embedded resources, ended by an entry whose name is null.
const Entry* entries();

// The text of resource `name` (file name without ".txt"), empty when there is none.
std::string_view text(std::string_view name);

} // namespace trazel::resources
