// The Un-do group and the purges around saving and new editing functions.
#include "edit/commands.h"
#include "edit/grab.h"
#include "edit/status.h"
#include "edit/undo.h"
#include "shell/app.h"
#include "shell/modes.h"
#include "shell/status.h"

namespace trazel::edit {

namespace {

// A menu choice of undo or redo ends the current function; its name leaves the status bar.
void end_function_from_menu(App& app, shell::Source source) {
    if (source >= shell::kSourceTwoKey) {
        shell::clear_function(app);
        app.shell.status.text.clear();
    }
}

bool confirm(App& app, const char* text, const char* title) {
    return shell::ask(app, text, title, platform::Buttons::OkCancel) == platform::Answer::Ok;
}

} // namespace

int redo_purge_check(App& app) {
    model::Document* doc = app.doc();
    if (doc == nullptr || !has_redo(*doc)) {
        return 1;
    }
    if (app.shell.options.purge_redo_notification && !confirm(app, kRedoPurgeNotice, kRedoPurgeTitle)) {
        return 0;
    }
    purge_redo(*doc);
    return 1;
}

void after_save(App& app) {
    if (app.doc() != nullptr && !app.shell.options.undo_beyond_save) {
        purge_undo(*app.doc());
    }
}

int undo_group(App& app, uint16_t c, shell::Source source) {
    model::Document* doc = app.doc();
    if (doc == nullptr) {
        shell::beep(app);
        return 0;
    }
    if (drop_grab(app)) {
        return 1;
    }
    switch (c & 0xFF) {
    case 'U':
    case 'A':
    case 'E':
    case 'R': {
        bool forward = (c & 0xFF) == 'E' || (c & 0xFF) == 'R';
        bool all = (c & 0xFF) == 'A' || (c & 0xFF) == 'R';
        if (!(forward ? has_redo(*doc) : has_undo(*doc))) {
            shell::beep(app);
            return 0;
        }
        if (!all) {
            end_function_from_menu(app, source);
        }
        int n = forward ? redo(*doc, &app.display, all) : undo(*doc, &app.display, all);
        shell::refresh_status_bar(app);
        return n > 0 ? 1 : 0;
    }
    case 'S':
        if (!has_undo(*doc)) {
            shell::beep(app);
            return 0;
        }
        if (!confirm(app, kUndoPurgeText, kUndoPurgeTitle)) {
            return 0;
        }
        purge_undo(*doc);
        shell::show_message(app, kMsgUndoPurged);
        return 1;
    case 'P':
        if (!has_redo(*doc)) {
            shell::beep(app);
            return 0;
        }
        if (!confirm(app, kRedoPurgeText, kRedoPurgeTitle)) {
            return 0;
        }
        purge_redo(*doc);
        shell::show_message(app, kMsgRedoPurged);
        return 1;
    default:
        shell::error_sound(app);
        return 0;
    }
}

} // namespace trazel::edit
