// The Query group's tool windows: the query boxes that follow the cursor (QL QA QP QT QC QI), the quick
// query of Alt-Q that closes itself, rafting (QR), and the view (QV) and zoom (QZ) windows.  The platform
// holds the windows; which are open is always asked of it, since the user may close one at any time.
#include <algorithm>
#include <array>
#include <memory>
#include <string>

#include "display/view.h"
#include "edit/commands.h"
#include "edit/query.h"
#include "edit/status.h"
#include "platform/form_builder.h"
#include "shell/app.h"
#include "shell/commands.h"
#include "shell/settings.h"
#include "shell/status.h"

namespace trazel::edit {

namespace {

constexpr const char* kViewBox = "ViewBox";
constexpr const char* kZoomBox = "ZoomBox";
constexpr uint32_t kClockTicks = 18; // about a second of heartbeat ticks

// Alt-Q: the box for what lies under the cursor, the most particular kind first.
constexpr QueryBox kQuickOrder[] = {QueryBox::Pad, QueryBox::Text, QueryBox::Line, QueryBox::Arc, QueryBox::Component};

struct QueryState {
    std::array<platform::Form, kQueryBoxes> shown; // what each box shows now
    int transient = -1;                            // the box Alt-Q opened, closed again once it shows nothing
    bool view_stale = false, zoom_stale = false;
    // What the view picture was drawn from; a change redraws it within a second (edits that draw single
    // Items never redraw the window).
    const model::Document* view_doc = nullptr;
    uint32_t view_nodes = 0;
    uint8_t view_modified = 0;
    std::unique_ptr<display::Display> scratch; // draws the pictures, made on first use
    // A Document the view window shows instead of the current one (a log); none: the current one.
    const model::Document* viewed_doc = nullptr;
};

QueryState& query_state(App& app) {
    return app.state<QueryState>();
}

bool is_open(App& app, const char* name) {
    return app.platform().tool_window_open(name);
}

int index_of(QueryBox b) {
    return static_cast<int>(b);
}

// The Item the box shows at the cursor, kNone without a Document.
Ref item_at_cursor(App& app, QueryBox b) {
    model::Document* doc = app.doc();
    if (doc == nullptr) {
        return model::kNone;
    }
    SpatialIndex& index = editor(app).index;
    index.sync(*doc);
    return query_item(*doc, b, cursor_point(app), pick_tolerance(app.display.view.scale), &index);
}

// The box's fields from the Item under the cursor; the window hears only of a change.
void refresh_box(App& app, QueryBox b) {
    QueryState& st = query_state(app);
    platform::Form& shown = st.shown[static_cast<size_t>(index_of(b))];
    platform::Form f = query_form(b);
    if (app.doc() != nullptr) {
        fill_query(f, b, *app.doc(), item_at_cursor(app, b));
    }
    bool same = shown.name == f.name && shown.fields.size() == f.fields.size() &&
                std::equal(f.fields.begin(), f.fields.end(), shown.fields.begin(),
                           [](const platform::Field& a, const platform::Field& c) { return a.value == c.value; });
    if (same) {
        return;
    }
    shown = std::move(f);
    app.platform().update_tool_window(shown);
}

void refresh_boxes(App& app) {
    for (int i = 0; i < kQueryBoxes; ++i) {
        QueryBox b = static_cast<QueryBox>(i);
        if (is_open(app, query_box_name(b))) {
            refresh_box(app, b);
        }
    }
    query_state(app).zoom_stale = true;
}

void open_box(App& app, QueryBox b) {
    QueryState& st = query_state(app);
    if (st.transient == index_of(b)) {
        st.transient = -1; // asked for by name: it stays
    }
    app.platform().raft_tool_windows(app.shell.options.query_raft_boxes);
    platform::Form f = query_form(b);
    if (app.doc() != nullptr) {
        fill_query(f, b, *app.doc(), item_at_cursor(app, b));
    }
    st.shown[static_cast<size_t>(index_of(b))] = f;
    app.platform().open_tool_window(f);
}

display::Display& scratch(App& app) {
    std::unique_ptr<display::Display>& d = query_state(app).scratch;
    if (!d) {
        d = std::make_unique<display::Display>();
    }
    return *d;
}

// The main window's part of the Document, for the view window's frame.
model::Box main_view_box(const App& app) {
    const display::View& v = app.display.view;
    model::Box b;
    if (!v.area.empty()) {
        b.add(display::to_units_x(v, v.area.left), display::to_units_y(v, v.area.bottom));
        b.add(display::to_units_x(v, v.area.right), display::to_units_y(v, v.area.top));
    }
    return b;
}

// The Document the view window shows: a log handed to it, else the current one.
const model::Document* viewed(App& app) {
    return query_state(app).viewed_doc != nullptr ? query_state(app).viewed_doc : app.doc();
}

platform::Form view_form(App& app) {
    QueryState& st = query_state(app);
    const model::Document* doc = viewed(app);
    std::vector<uint8_t> rgb;
    if (doc != nullptr) {
        model::Box frame = main_view_box(app);
        rgb = view_picture(scratch(app), *doc, app.display.format, kViewPictureWidth, kViewPictureHeight,
                           doc == app.doc() ? &frame : nullptr);
    }
    st.view_doc = doc;
    st.view_nodes = app.model.pool.used_count();
    st.view_modified = doc ? doc->modified_bits : 0;
    st.view_stale = false;
    return platform::FormBuilder(kViewBox, "View")
        .text("document", "Document", doc ? doc->name() : std::string())
        .picture("picture", "", kViewPictureWidth, kViewPictureHeight, std::move(rgb))
        .build();
}

platform::Form zoom_form(App& app) {
    const display::View& v = app.display.view;
    uint64_t scale = std::min<uint64_t>(uint64_t{v.scale} * kZoomFactor, display::kMaxScale);
    std::vector<uint8_t> rgb;
    if (app.doc() != nullptr) {
        rgb = zoom_picture(scratch(app), *app.doc(), app.display.format, kZoomPictureSize, cursor_point(app),
                           static_cast<uint32_t>(scale));
    }
    query_state(app).zoom_stale = false;
    return platform::FormBuilder(kZoomBox, "Zoom")
        .text("x", "X", query_length(v.cursor_x))
        .text("y", "Y", query_length(v.cursor_y))
        .text("scale", "Dots per inch", display::scale_to_dpi_text(static_cast<uint32_t>(scale)))
        .picture("picture", "", kZoomPictureSize, kZoomPictureSize, std::move(rgb))
        .build();
}

bool view_changed(App& app) {
    const QueryState& st = query_state(app);
    const model::Document* doc = viewed(app);
    return st.view_doc != doc || st.view_nodes != app.model.pool.used_count() ||
           (doc != nullptr && st.view_modified != doc->modified_bits);
}

// The picture windows are drawn at most once a tick, however often the cursor moved in it.
void tool_window_tick(App& app) {
    QueryState& st = query_state(app);
    if (is_open(app, kZoomBox) && st.zoom_stale) {
        app.platform().update_tool_window(zoom_form(app));
    }
    if (!is_open(app, kViewBox)) {
        return;
    }
    if (st.view_stale || (app.shell.tick % kClockTicks == 0 && view_changed(app))) {
        app.platform().update_tool_window(view_form(app));
    }
}

// Once a second: the quick query box goes once nothing of its kind is under the cursor, unless the
// pointer rests on it.
void transient_check(App& app) {
    QueryState& st = query_state(app);
    if (st.transient < 0) {
        return;
    }
    QueryBox b = static_cast<QueryBox>(st.transient);
    if (!is_open(app, query_box_name(b))) {
        st.transient = -1;
        return;
    }
    if (app.shell.suspended == 2 || item_at_cursor(app, b) != model::kNone) {
        return;
    }
    app.platform().close_tool_window(query_box_name(b));
    st.transient = -1;
}

void close_all(App& app) {
    for (int i = 0; i < kQueryBoxes; ++i) {
        app.platform().close_tool_window(query_box_name(static_cast<QueryBox>(i)));
    }
    app.platform().close_tool_window(kViewBox);
    app.platform().close_tool_window(kZoomBox);
    query_state(app).transient = -1;
}

// As every function that looks for an Item: a pending grab is dropped first, and that is all it does.
int box_command(App& app, QueryBox b) {
    if (drop_grab(app)) {
        return 1;
    }
    open_box(app, b);
    return 1;
}

int quick_query(App& app) {
    if (drop_grab(app)) {
        return 1;
    }
    QueryState& st = query_state(app);
    for (QueryBox b : kQuickOrder) {
        if (item_at_cursor(app, b) == model::kNone) {
            continue;
        }
        if (is_open(app, query_box_name(b))) {
            refresh_box(app, b);
            return 1;
        }
        if (st.transient >= 0) {
            app.platform().close_tool_window(query_box_name(static_cast<QueryBox>(st.transient)));
        }
        open_box(app, b);
        st.transient = index_of(b);
        return 1;
    }
    shell::beep(app);
    shell::show_message(app, kMsgQuery);
    return 0;
}

int raft_command(App& app) {
    // The shell's table is read again at start-up, without the editor's lines.
    if (app.shell.messages.count(shell::message_key(kMsgQueryRaftOn)) == 0) {
        load_edit_messages(app);
    }
    bool& on = app.shell.options.query_raft_boxes;
    on = !on;
    shell::write_setting(app, "Query Raft Boxes", on ? "Y" : "N");
    app.platform().raft_tool_windows(on);
    shell::show_message(app, on ? kMsgQueryRaftOn : kMsgQueryRaftOff);
    return 1;
}

} // namespace

void install_query(App& app) {
    auto box = [&app](char letter, QueryBox b) {
        shell::set_command_handler(app, shell::code('Q', letter),
                                   [b](App& a, uint16_t, shell::Source) { return box_command(a, b); });
    };
    box('L', QueryBox::Line);
    box('A', QueryBox::Arc);
    box('P', QueryBox::Pad);
    box('T', QueryBox::Text);
    box('C', QueryBox::Component);
    box('I', QueryBox::Image);
    shell::set_command_handler(app, shell::code('Q', 'R'),
                               [](App& a, uint16_t, shell::Source) { return raft_command(a); });
    shell::set_command_handler(app, shell::code('Q', 'V'), [](App& a, uint16_t, shell::Source) {
        query_state(a).viewed_doc = nullptr;
        a.platform().raft_tool_windows(a.shell.options.query_raft_boxes);
        a.platform().open_tool_window(view_form(a));
        return 1;
    });
    shell::set_command_handler(app, shell::code('Q', 'Z'), [](App& a, uint16_t, shell::Source) {
        a.platform().raft_tool_windows(a.shell.options.query_raft_boxes);
        a.platform().open_tool_window(zoom_form(a));
        return 1;
    });
    // Alt-Q sends the group's code 0.
    shell::set_command_handler(app, shell::code('Q', '\0'),
                               [](App& a, uint16_t, shell::Source) { return quick_query(a); });

    app.shell.edit.query_window = refresh_boxes;
    shell::ServiceHooks& h = app.shell.services.hooks;
    h.tool_window_tick = tool_window_tick;
    h.transient_tool_check = transient_check;
    h.view_window_refresh = [](App& a) { query_state(a).view_stale = true; };
    h.close_tool_windows = close_all;
    h.show_in_view_window = [](App& a, const model::Document* d) {
        query_state(a).viewed_doc = d;
        a.platform().raft_tool_windows(a.shell.options.query_raft_boxes);
        if (is_open(a, kViewBox)) {
            a.platform().update_tool_window(view_form(a));
        } else {
            a.platform().open_tool_window(view_form(a));
        }
    };
    auto closing = app.shell.edit.closing_document;
    app.shell.edit.closing_document = [closing](App& a, model::Document& d) {
        if (closing) {
            closing(a, d);
        }
        if (query_state(a).viewed_doc == &d) {
            query_state(a).viewed_doc = nullptr;
        }
    };
}

} // namespace trazel::edit
