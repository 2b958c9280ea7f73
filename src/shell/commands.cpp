// Command dispatch: the current-function slots, Execute command and the group table.
#include "display/display.h"
#include "shell/app.h"
#include "shell/commands.h"
#include "shell/file_group.h"
#include "shell/help_group.h"
#include "shell/modes.h"
#include "shell/settings.h"
#include "shell/status.h"
#include "shell/zoom_group.h"

namespace trazel::shell {

void clear_function(App& app) {
    Shell& s = app.shell;
    for (HandlerPair& p : s.slots) {
        p.left = nullptr;
        p.right = nullptr;
    }
    s.modal_key = nullptr;
    if (!s.prompt.empty()) {
        s.prompt.clear();
        refresh_status_bar(app);
    }
}

void set_function(App& app, ClickHandler left, ClickHandler right, std::string_view prompt) {
    Shell& s = app.shell;
    s.slots[0].left = std::move(left);
    s.slots[0].right = std::move(right);
    s.prompt = std::string(prompt);
    // The prompt replaces the message that was showing.
    s.status.text.clear();
    refresh_status_bar(app);
}

bool function_active(const App& app) {
    const Shell& s = app.shell;
    if (s.modal_key) {
        return true;
    }
    for (const HandlerPair& p : s.slots) {
        if (p.left || p.right) {
            return true;
        }
    }
    return false;
}

void join_unlocked(App& app, std::thread& t) {
    BackgroundRun& bg = app.shell.services.background;
    int held = bg.depth;
    for (int i = 0; i < held; ++i) {
        bg.lock->unlock();
    }
    t.join();
    for (int i = 0; i < held; ++i) {
        bg.lock->lock();
    }
}

BackgroundGuard::BackgroundGuard(App& app) : app_(app), lock_(app.shell.services.background.lock) {
    lock_->lock();
    ++app_.shell.services.background.depth;
}

BackgroundGuard::~BackgroundGuard() {
    --app_.shell.services.background.depth;
    lock_->unlock();
}

int execute_command(App& app, uint16_t code, Source source) {
    BackgroundGuard guard(app);
    // While a background run writes a Document, a command that would change one is refused.
    if (const BackgroundRun& bg = app.shell.services.background; bg.refuse && bg.refuse(app, code)) {
        return 0;
    }
    ++app.shell.command_serial;
    clear_function(app);
    app.shell.move_ignore = 0;
    display::end_rubber_band(app.display);
    // A single code a subsystem registered comes before the handler of its letter's group.
    if (auto one = app.commands.find(code); one != app.commands.end() && one->second) {
        GroupHandler h = one->second;
        return h(app, code, source);
    }
    char group = static_cast<char>(code >> 8);
    auto it = app.groups.find(group);
    if (it == app.groups.end() || !it->second) {
        error_sound(app);
        return 0;
    }
    // The handler may replace its own table entry; call a copy.
    GroupHandler h = it->second;
    return h(app, code, source);
}

void set_group_handler(App& app, char group, GroupHandler h) {
    // The new handler takes over every code of the letter, the single ones registered before included.
    auto first = app.commands.lower_bound(code(group, 0));
    app.commands.erase(first, app.commands.upper_bound(code(group, '\xff')));
    if (h) {
        app.groups[group] = std::move(h);
    } else {
        app.groups.erase(group);
    }
}

void set_command_handler(App& app, uint16_t c, GroupHandler h) {
    if (h) {
        app.commands[c] = std::move(h);
    } else {
        app.commands.erase(c);
    }
}

void install_command_groups(App& app) {
    set_group_handler(app, 'F', file_group);
    set_group_handler(app, 'Z', zoom_group);
    set_group_handler(app, '?', help_group);
    // The shell's own code: MS gives the menu bar back.
    set_group_handler(app, 'M', [](App& a, uint16_t c, shell::Source) {
        if (c != code('M', 'S')) {
            error_sound(a);
            return 0;
        }
        a.shell.popup_state = 0;
        a.shell.lent_was_trazel = false;
        attach_menu_bar(a);
        return 1;
    });
    install_setup_group(app);
}

void error_sound(App& app) {
    app.platform().play(platform::Sound::Error);
}

void beep(App& app) {
    app.platform().play(platform::Sound::Beep);
}

bool items_on_cursor(App& app) {
    return app.shell.edit.items_on_cursor && app.shell.edit.items_on_cursor(app);
}

int drop_items(App& app) {
    return app.shell.edit.drop_items ? app.shell.edit.drop_items(app) : 0;
}

int cancel_items(App& app) {
    return items_on_cursor(app) && app.shell.edit.cancel_items ? app.shell.edit.cancel_items(app) : 0;
}

bool block_active(App& app) {
    return app.shell.edit.block_active && app.shell.edit.block_active(app);
}

void cursor_changed(App& app) {
    if (app.shell.edit.cursor_moved) {
        app.shell.edit.cursor_moved(app);
    }
}

void close_document(App& app, model::Document* d) {
    if (!d) {
        return;
    }
    if (app.shell.edit.closing_document) {
        app.shell.edit.closing_document(app, *d);
    }
    model::close_document(d);
}

} // namespace trazel::shell
