// How the editor hangs into the App.
#include "edit/editor.h"
#include "edit/grab.h"
#include "edit/status.h"
#include "edit/undo.h"
#include "shell/app.h"

namespace trazel::edit {

Editor& editor(App& app) {
    return app.edit;
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
    load_edit_messages(app);
}

} // namespace trazel::edit
