// How the editor hangs into the App.
#include <string_view>

#include "edit/commands.h"
#include "edit/editor.h"
#include "edit/grab.h"
#include "edit/place.h"
#include "edit/status.h"
#include "edit/undo.h"
#include "resources/resources.h"
#include "shell/app.h"
#include "shell/commands.h"
#include "shell/modes.h"
#include "shell/status.h"

namespace trazel::edit {

Editor& editor(App& app) {
    return app.state<Editor>();
}

PlaceSettings& place_settings(App& app) {
    return app.state<PlaceSettings>();
}

void install_edit(App& app) {
    shell::set_group_handler(app, 'G', grab_group);
    shell::set_group_handler(app, 'U', undo_group);
    editor(app).grab.spatial = &editor(app).index;
    shell::EditHooks& h = app.shell.edit;
    h.items_on_cursor = [](App& a) { return grab_pending(a); };
    h.drop_items = [](App& a) { return drop_grab(a); };
    h.cancel_items = [](App& a) { return grab_pending(a) ? abandon_grab(a) : 0; };
    h.cursor_moved = [](App& a) { cursor_moved(a); };
    h.redo_check = [](App& a) { return redo_purge_check(a) != 0; };
    h.after_save = [](App& a, model::Document& d) {
        if (!a.shell.options.undo_beyond_save) {
            purge_undo(d);
        }
    };
    h.closing_document = [](App& a, model::Document& d) {
        GrabList& g = editor(a).grab;
        if (g.doc == &d) {
            abandon(g, a.display);
        }
        release_undo(d);
        editor(a).index.reset();
    };
    app.display.hooks.draw_held = [&app](display::Display& d, display::Raster& r) {
        draw_held(editor(app).grab, d, r);
    };
    install_place_drawing(app); // before the symbols: the group handler takes over codes set before it
    install_place_symbols(app);
    install_edit_items(app);
    install_structure_edits(app);
    install_delete_items(app);
    install_query(app);
    install_block(app);
    load_edit_messages(app);
}

int arm_click_function(App& app, shell::Source source, shell::ClickHandler left, shell::ClickHandler right,
                       std::string_view name, int prompt) {
    shell::set_function(app, left, std::move(right), name);
    if (source == shell::kSourceKey || source == shell::kSourceRepeat) {
        return left(app);
    }
    shell::enter_trazel_mode(app);
    shell::show_message(app, prompt);
    return 1;
}

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
