// The Help group: the quick command summary, the help, manual and how-to texts and the about box, all
// from the help text resource, shown in message boxes.
#include "resources/resources.h"
#include "shell/app.h"
#include "shell/commands.h"
#include "shell/help_group.h"
#include "shell/modes.h"

namespace trazel::shell {

std::string help_section(std::string_view name) {
    std::string_view t = resources::text("help");
    std::string marker = "@" + std::string(name) + "\n";
    size_t at = t.find(marker);
    if (at == std::string_view::npos || (at > 0 && t[at - 1] != '\n')) {
        return {};
    }
    size_t begin = at + marker.size();
    size_t end = begin;
    // The section runs to the next line starting with "@".
    while (end < t.size()) {
        size_t nl = t.find('\n', end);
        if (nl == std::string_view::npos) {
            end = t.size();
            break;
        }
        if (nl + 1 < t.size() && t[nl + 1] == '@') {
            end = nl;
            break;
        }
        end = nl + 1;
    }
    std::string out(t.substr(begin, end - begin));
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) {
        out.pop_back();
    }
    return out;
}

int help_group(App& app, uint16_t c, Source source) {
    (void)source;
    const char* section = nullptr;
    const char* title = nullptr;
    switch (static_cast<char>(c & 0xFF)) {
    case 'O':
        section = "quick";
        title = "TRAZEL Quick Commands";
        break;
    case 'H':
        section = "help";
        title = "TRAZEL Help";
        break;
    case 'M':
        section = "manual";
        title = "TRAZEL Manual";
        break;
    case 'T':
        section = "howto";
        title = "TRAZEL How-To";
        break;
    case 'A':
        section = "about";
        title = "About TRAZEL";
        break;
    default:
        error_sound(app);
        return 0;
    }
    std::string text = help_section(section);
    if (text.empty()) {
        error_sound(app);
        return 0;
    }
    ask(app, text, title, platform::Buttons::Ok);
    return 1;
}

} // namespace trazel::shell
