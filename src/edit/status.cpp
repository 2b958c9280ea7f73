#include "edit/status.h"

#include <string_view>

#include "resources/resources.h"
#include "shell/app.h"

namespace trazel::edit {

void refresh_status(App& app) {
    shell::refresh_status_bar(app);
}

void load_edit_messages(App& app) {
    // The same layout as the shell's table: key in columns 0-3, flags in 4 and 5, text from 6.
    std::string_view t = resources::text("edit_messages");
    while (!t.empty()) {
        size_t end = t.find('\n');
        std::string_view line = t.substr(0, end);
        t.remove_prefix(end == std::string_view::npos ? t.size() : end + 1);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        if (line.size() < 4 || line[0] == '#') {
            continue;
        }
        std::string_view key = line.substr(0, 4);
        while (!key.empty() && key.back() == ' ') {
            key.remove_suffix(1);
        }
        if (!key.empty()) {
            app.shell.messages[std::string(key)] = std::string(line);
        }
    }
}

} // namespace trazel::edit
