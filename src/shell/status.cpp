// Status messages from the message table resource, and the status bar texts.
#include <algorithm>
#include <cstdio>

#include "display/display.h"
#include "resources/resources.h"
#include "shell/app.h"
#include "shell/commands.h"
#include "shell/heartbeat.h"
#include "shell/status.h"
#include "shell/surfaces.h"

namespace trazel::shell {

namespace {

constexpr int kMessageTicks = 91; // 5 seconds of 55 ms ticks
constexpr int kStatusCharWidth = 8; // the status bar font's cell
constexpr size_t kKeyColumns = 4;
constexpr size_t kErrorColumn = 4;
constexpr size_t kStickyColumn = 5;
constexpr size_t kTextColumn = 6;

std::string trim_key(std::string_view s) {
    size_t end = s.size();
    while (end > 0 && s[end - 1] == ' ') {
        --end;
    }
    return std::string(s.substr(0, end));
}

const std::string* entry_of(const App& app, std::string_view key) {
    auto it = app.shell.messages.find(std::string(key));
    return it == app.shell.messages.end() ? nullptr : &it->second;
}

std::string text_of(const std::string& entry) {
    return entry.size() > kTextColumn ? entry.substr(kTextColumn) : std::string();
}

} // namespace

std::string message_key(int n) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%X.%02X", (n >> 8) & 15, n & 255);
    return buf;
}

void load_messages(App& app) {
    app.shell.messages.clear();
    std::string_view t = resources::text("messages");
    size_t pos = 0;
    while (pos < t.size()) {
        size_t end = t.find('\n', pos);
        if (end == std::string_view::npos) {
            end = t.size();
        }
        std::string_view line = t.substr(pos, end - pos);
        pos = end + 1;
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        if (line.size() < kKeyColumns || line[0] == '#') {
            continue;
        }
        std::string key = trim_key(line.substr(0, kKeyColumns));
        if (!key.empty()) {
            app.shell.messages[key] = std::string(line);
        }
    }
}

std::string message_entry(const App& app, std::string_view key) {
    const std::string* e = entry_of(app, key);
    return e ? text_of(*e) : std::string();
}

std::string message_text(const App& app, int n) {
    return message_entry(app, message_key(n));
}

void show_text(App& app, std::string_view text, bool error, bool sticky) {
    StatusMessage& s = app.shell.status;
    s.text = std::string(text);
    s.error = error;
    s.sticky = sticky;
    s.ticks_left = sticky ? 0 : kMessageTicks;
    if (error) {
        error_sound(app);
    }
    refresh_status_bar(app);
}

void show_message(App& app, int n) {
    std::string key = message_key(n);
    const std::string* e = entry_of(app, key);
    if (!e) {
        show_text(app, " Undefined message: " + key, true, false);
        return;
    }
    bool error = e->size() > kErrorColumn && (*e)[kErrorColumn] == '*';
    bool sticky = e->size() > kStickyColumn && (*e)[kStickyColumn] != ' ';
    show_text(app, text_of(*e), error, sticky);
}

void refresh_status_bar(App& app) {
    if (app.shell.services.macro_loop) {
        app.shell.services.status_deferred = true;
        return;
    }
    display::Display& d = app.display;
    // Texts placed by others (the clock) stay; ours are rebuilt.
    std::erase_if(d.status, [](const display::StatusText& t) {
        return t.col == kStatusGridCol || t.col == kStatusReadoutCol || t.col == kStatusMessageCol;
    });
    if (app.doc()) {
        d.status.push_back({kStatusGridCol, display::grid_readout(d.view)});
        d.status.push_back({kStatusReadoutCol, display::cursor_readout(d.view)});
    }
    std::string msg =
        !app.shell.prompt.empty() && app.shell.status.text.empty() ? app.shell.prompt : app.shell.status.text;
    if (app.doc() && (app.doc()->setup.mode_refs & display::kRefsAngleReadout) != 0) {
        // Direction and distance from the relative zero point, ahead of the message.
        msg = display::angle_distance_readout(d.view, {d.view.rel_x, d.view.rel_y}) + "  " + msg;
    }
    // The message stops short of the clock rather than running under it.
    int room = (clock_column(d.view.area.width()) - kStatusMessageCol) / kStatusCharWidth - 1;
    if (!msg.empty() && room > 0) {
        d.status.push_back({kStatusMessageCol, msg.substr(0, static_cast<size_t>(room))});
    }
    place_clock(app);
    bool locked = lock_if_needed(app);
    display::draw_status_bar(d);
    if (locked) {
        unlock_surface(app);
    }
}

} // namespace trazel::shell
