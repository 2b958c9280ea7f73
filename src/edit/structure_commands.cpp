// The Edit group's structure changes: dissolve and build (EK), solids (EF), line to arc (ER) and
// resequence (EQ), with their boxes, dialog and status lines and the click handlers of ER.
#include <algorithm>
#include <cstdlib>
#include <string>

#include "display/display.h"
#include "edit/commands.h"
#include "edit/grab.h"
#include "edit/resequence.h"
#include "edit/status.h"
#include "edit/structure_edits.h"
#include "edit/undo.h"
#include "platform/form_builder.h"
#include "shell/app.h"
#include "shell/commands.h"
#include "shell/modes.h"
#include "shell/status.h"
#include "shell/window_events.h"

namespace trazel::edit {

using model::node;
using shell::code;

namespace {

constexpr const char* kKrumpTitle = "Krump Component Error";
constexpr const char* kKrumpAttached = "The selected component has attached lines.\n\nTo grab a naked component, try "
                                       "using the\n\"Grab Component Only\" function";
constexpr const char* kKrumpSeveral = "More than one file element has been grabbed.\n\nTo grab a single entity, try "
                                      "using the\n\"Grab Item\" function";
constexpr const char* kDissolveTitle = "Dissolve Component Warning";
constexpr const char* kDissolveText = "The selected component is about to be dissolved.\n\nDo you wish to continue?";

void ensure_messages(App& app) {
    if (app.shell.messages.count(shell::message_key(kMsgConvertFix)) == 0) {
        load_edit_messages(app);
    }
}

// EK and EF end the grab they took their Items from: one that was moved or turned, or that holds Items
// a drop would make, goes down where it is (an undo group of its own); any other is put back as it was.
void end_grab(App& app) {
    GrabList& g = editor(app).grab;
    if (grab_changed(g)) {
        drop_grab(app);
    } else {
        abandon(g, app.display);
    }
}

// Whether an Item is still in the Document after a drop (a track dropped onto its own end is deleted).
bool still_there(const model::Document& doc, Ref item) {
    bool found = false;
    model::walk_tree(doc.ring(), [&](Ref r, int) {
        found = found || r == item;
        return !found;
    });
    return found;
}

// --- EK ------------------------------------------------------------------------------------------------

int dissolve_or_build(App& app, uint16_t, shell::Source) {
    ensure_messages(app);
    if (app.doc() == nullptr) {
        shell::beep(app);
        return 0;
    }
    GrabList& g = editor(app).grab;
    if (g.empty() || g.doc == nullptr) {
        shell::show_message(app, kMsgNothingToDissolve);
        return 0;
    }
    model::Document& doc = *g.doc;
    KrumpPlan plan = plan_krump(g);
    switch (plan.what) {
    case KrumpCase::Nothing:
        shell::show_message(app, kMsgNothingToDissolve);
        return 0;
    case KrumpCase::AttachedItems:
        shell::ask(app, kKrumpAttached, kKrumpTitle, platform::Buttons::Ok);
        return 0;
    case KrumpCase::SeveralItems:
        shell::ask(app, kKrumpSeveral, kKrumpTitle, platform::Buttons::Ok);
        return 0;
    case KrumpCase::Dissolve: {
        if (shell::ask(app, kDissolveText, kDissolveTitle, platform::Buttons::OkCancel) != platform::Answer::Ok ||
            !redo_purge_check(app)) {
            return 0; // what hangs on the cursor stays there
        }
        end_grab(app);
        if (dissolve_component(doc, plan.item) == 0) {
            shell::show_message(app, kMsgPoolExhausted);
            return 0;
        }
        shell::redraw(app);
        return 1;
    }
    case KrumpCase::MoveItem: {
        if (!redo_purge_check(app)) {
            return 0;
        }
        Point at = g.at;
        end_grab(app);
        if (!still_there(doc, plan.item)) {
            shell::redraw(app);
            return 1;
        }
        Ref target = locate(app, Find::Component, at).item;
        Ref copy = move_item_to(doc, plan.item, target);
        if (copy == model::kNone) {
            shell::show_message(app, kMsgPoolExhausted);
            return 0;
        }
        shell::redraw(app);
        shell::show_text(app, krump_status(copy, target != model::kNone));
        return 1;
    }
    }
    return 0;
}

// --- EF ------------------------------------------------------------------------------------------------

int solid_build(App& app, uint16_t, shell::Source) {
    ensure_messages(app);
    if (app.doc() == nullptr) {
        shell::beep(app);
        return 0;
    }
    GrabList& g = editor(app).grab;
    if (g.empty() || g.doc == nullptr) {
        shell::show_message(app, kMsgNothingToDissolve);
        return 0;
    }
    Ref line = grabbed_line(g);
    if (line == model::kNone) {
        shell::show_message(app, kMsgGrabOneLine);
        return 0;
    }
    if (!redo_purge_check(app)) {
        return 0;
    }
    model::Document& doc = *g.doc;
    end_grab(app);
    if (!still_there(doc, line)) {
        shell::redraw(app);
        return 1;
    }
    int done = 0;
    if (node(line).size == 0) {
        done = dissolve_solid(doc, line);
    } else {
        TrackChain chain = trace_chain(line);
        if (!chain.closed) {
            shell::beep(app);
        }
        if (chain.outline.size() < 3) {
            shell::show_message(app, kMsgNoOutline);
            return 0;
        }
        done = build_solid(doc, chain) != model::kNone ? 1 : 0;
    }
    if (done == 0) {
        shell::show_message(app, kMsgPoolExhausted);
        return 0;
    }
    shell::redraw(app);
    return 1;
}

// --- ER ------------------------------------------------------------------------------------------------

constexpr uint16_t kConvert = code('E', 'R');

// A click drops the Arc that hangs (the track goes with it), or takes the track under the cursor.
int convert_click(App& app) {
    if (app.doc() == nullptr) {
        return 0;
    }
    GrabList& g = editor(app).grab;
    if (!g.empty()) {
        bool ours = g.function == kConvert;
        drop_grab(app);
        if (ours) {
            shell::show_message(app, kMsgConvertLine);
        }
        return 1;
    }
    Found f = locate(app, Find::Line, cursor_point(app));
    Ref arc = model::kNone;
    if (f.item != model::kNone && node(f.item).size != 0) {
        TrackArc a = arc_over(node(f.item));
        if (a.radius > 0) {
            jump_cursor(app, a.centre);
            arc = hang_arc_over(g, app.display, *app.doc(), f.item, kConvert);
        }
    }
    if (arc == model::kNone) {
        shell::beep(app);
        shell::show_message(app, kMsgConvertLine);
        return 0;
    }
    shell::show_message(app, kMsgConvertFix);
    return 1;
}

int convert_line(App& app, uint16_t, shell::Source source) {
    ensure_messages(app);
    if (app.doc() == nullptr) {
        shell::beep(app);
        return 0;
    }
    drop_grab(app);
    if (!redo_purge_check(app)) {
        return 0;
    }
    return arm_click_function(app, source, convert_click, abandon_grab, "", kMsgConvertLine);
}

// --- EQ ------------------------------------------------------------------------------------------------

long long number_field(const platform::Form& f, const char* id, long long was, long long lo, long long hi) {
    std::string text = f.get(id);
    char* end = nullptr;
    long long v = std::strtoll(text.c_str(), &end, 10);
    if (end == text.c_str()) {
        return was;
    }
    return std::clamp(v, lo, hi);
}

int resequence_command(App& app, uint16_t, shell::Source) {
    ensure_messages(app);
    if (app.doc() == nullptr) {
        shell::beep(app);
        return 0;
    }
    model::Document& current = *app.doc();
    std::vector<model::Document*> set = sheet_set(current);
    if (set.empty()) {
        return 0; // not a sheet or board of a schematic set
    }
    drop_grab(app);
    if (!redo_purge_check(app)) {
        return 0;
    }
    ResequenceOptions& o = app.state<ResequenceOptions>();
    platform::Form f =
        platform::FormBuilder("ResequenceComponentsBox", "Resequence Components")
            .choice("position", "Component position", {"Centre of the component", "Insertion point"},
                    o.insertion_point ? 1 : 0)
            .choice("order", "Scan order", {"Horizontal rows", "Vertical columns"}, o.columns ? 1 : 0)
            .choice("corner", "Start at", {"Top left", "Top right", "Bottom left", "Bottom right"}, o.corner)
            .number("start", "Start value", static_cast<double>(o.start), 0, 999999)
            .number("step", "Step", static_cast<double>(o.step), 1, 99999)
            .check("annotate", "Annotate the other files of the set", o.annotate)
            .check("hierarchical", "Number the sheets one after the other", o.hierarchical)
            .check("restart", "Restart each sheet at start + sheet step x (sheet - 1)", o.restart)
            .number("sheet_step", "Sheet step", static_cast<double>(o.sheet_step), 1, 999999)
            .build();
    if (!shell::run_dialog(app, f)) {
        return 0;
    }
    o.insertion_point = f.get("position") == "1";
    o.columns = f.get("order") == "1";
    o.corner = static_cast<int>(number_field(f, "corner", o.corner, 0, 3));
    o.start = number_field(f, "start", o.start, 0, 999999);
    o.step = number_field(f, "step", o.step, 1, 99999);
    o.annotate = f.get("annotate") == "1";
    o.hierarchical = f.get("hierarchical") == "1";
    o.restart = f.get("restart") == "1";
    o.sheet_step = number_field(f, "sheet_step", o.sheet_step, 1, 999999);
    resequence(set, current, o);
    shell::redraw(app);
    shell::show_message(app, kMsgResequenced);
    return 1;
}

} // namespace

void install_structure_edits(App& app) {
    shell::set_command_handler(app, code('E', 'K'), dissolve_or_build);
    shell::set_command_handler(app, code('E', 'F'), solid_build);
    shell::set_command_handler(app, code('E', 'R'), convert_line);
    shell::set_command_handler(app, code('E', 'Q'), resequence_command);
}

} // namespace trazel::edit
