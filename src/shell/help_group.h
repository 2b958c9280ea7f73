#pragma once
// The Help group (help_group.cpp) and the sections of the help text it shows.
#include <cstdint>
#include <string>
#include <string_view>

namespace trazel {
struct App;
}

namespace trazel::shell {

int help_group(App& app, uint16_t code, Source source);
// A section of the help text resource ("quick", "help", "manual", "howto", "about").
std::string help_section(std::string_view name);

} // namespace trazel::shell
