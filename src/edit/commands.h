#pragma once
// The editor as the App sees it: its state in the App, the Grab and Un-do groups, and the calls the
// shell and the groups make on the App's current Document.  The engine (grab.h, undo.h, locate.h) works
// on a Document, an Editor and a Display alone.
#include <cstdint>
#include <string_view>

#include "edit/editor.h"
#include "edit/locate.h"
#include "shell/state.h"

namespace trazel {
struct App;
}

namespace trazel::edit {

// The App's editor (made on first use).
Editor& editor(App& app);

// Hooks the editor into the App: the G and U group handlers, the shell's hanging-Item calls, the held
// Item drawing of the display and the editor's status messages.
void install_edit(App& app);

// The status bar again after the current layer changed.
void refresh_status(App& app);
// Merges the editor's messages into the message table.
void load_edit_messages(App& app);

// --- Grab (grab_group.cpp) ---
bool grab_pending(App& app);
int drop_grab(App& app);
// Abandons a pending grab; with nothing pending, leaves the current function (the status bar clears).
int abandon_grab(App& app);
// The cursor moved: the hanging Items follow.
void cursor_moved(App& app);
// The Grab group: GL GE GA GG GD GP GT GC GO GF GI and the transforms GR GN GX GY GM GS.
int grab_group(App& app, uint16_t code, shell::Source source);

// --- The E, D, Q and B codes: each file registers its codes one by one ---
// Edit dialogs and finds: EL EA EP ET EX EI EC EE EO ES (edit_commands.cpp).
void install_edit_items(App& app);
// Structure edits: EK EF ER EQ (structure_commands.cpp).
void install_structure_edits(App& app);
// Delete group and the document-wide snaps EG ED EN EM (delete_commands.cpp).
void install_delete_items(App& app);
// Query group: the modeless tool windows (query_commands.cpp).
void install_query(App& app);
// Block group and the fixed keys on a Block (block_commands.cpp).
void install_block(App& app);

// How every click function of the editor goes on once it may start: its handlers and its name in the
// status bar; from a key, a macro or the repeat command the click happens at once at the cursor, from a
// menu the prompt message asks for the point.
int arm_click_function(App& app, shell::Source source, shell::ClickHandler left, shell::ClickHandler right,
                       std::string_view name, int prompt);

// --- Un-do (undo_group.cpp) ---
// Before a new editing function starts: with a redo stack and "Purge Re-Do Notification" on, asks in
// "Re-Do Purge" whether to go on; then empties the redo stack.  Returns 0 when the user cancelled.
int redo_purge_check(App& app);
// After the current Document was saved: its undo stack goes unless "Un-Do Beyond Save to Disk" is on.
void after_save(App& app);
// The Un-do group: UU, UA, UE, UR, US, UP.
int undo_group(App& app, uint16_t code, shell::Source source);

// --- Locators at the cursor (locate_commands.cpp) ---
// A locator on the current Document at the view's pick tolerance; a layer switch refreshes the status
// bar.
Found locate(App& app, Find what, Point p);
// The vertex locator at the cursor: moves the cursor onto the point found (the view scrolls when it comes
// within 16 pixels of the left or right or 12 of the top or bottom edge) and makes its layer current.
VertexHit SnapToVertex(App& app, bool wide);

// Moves the cursor to an exact point (not snapped), scrolling the view when it comes near an edge.
void jump_cursor(App& app, Point p);
// The cursor position.
Point cursor_point(const App& app);

} // namespace trazel::edit
