// The Net menu's auto-route command (NA): the "AutoRouteBox" dialog, the routing run on a thread of its
// own, and what the user interface does while it runs: the "ROUTE:" progress, Escape, refused commands,
// and the end of the run (log closed, Document redrawn, log shown).
#include "router/commands.h"

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <system_error>
#include <vector>

#include "display/display.h"
#include "edit/dialog_fields.h"
#include "model/numbers.h"
#include "nets/commands.h"
#include "nets/netlog.h"
#include "platform/form_builder.h"
#include "platform/headless.h"
#include "shell/app.h"
#include "shell/commands.h"
#include "shell/macros.h"
#include "shell/modes.h"
#include "shell/status.h"
#include "shell/window_events.h"

namespace trazel::router {

using shell::code;

namespace {

constexpr const char* kLogTitle = "AUTOROUTER STATISTICS LOG";
constexpr int kLogWidth = 79;
constexpr const char* kThreadTitle = "TRAZEL'98 Routing Error";
constexpr const char* kThreadText = "Unable to create multi-tasking thread for plotting.";
constexpr const char* kBusyText = "Auto-route:  the router is working; press Escape to stop it.";
constexpr const char* kStoppingText = "Auto-route:  stopping after the current connection.";

// The pass flags in the dialog's order; the ids are the batch tool's pass names.
constexpr const char* kFlagIds[8] = {"clear", "straight", "bus", "inline", "L", "Z", "C", "snake"};
constexpr const char* kFlagLabels[8] = {"Clear all pre-routes", "Straight routes", "Data-bus routes",
                                        "In-line routes",       "\"L\" routes",     "\"Z\" routes",
                                        "\"C\" routes",         "Snake routes"};
constexpr char kDirectionLetters[4] = {'-', 'X', 'Y', 'E'};

const std::vector<std::string>& direction_names() {
    static const std::vector<std::string> names = {"[NONE]", "X-Axis (horizontal)", "Y-Axis (vertical)",
                                                   "Either-Axis (both)"};
    return names;
}

// One routing run.  The routing thread owns the Document, the log and the sink while it runs; the user
// interface reads `done`, `total` and `finished` only, and the rest after the join.
struct Run {
    model::Document* doc = nullptr;
    RouteSettings settings;
    nets::Log log;
    std::string log_path;
    std::vector<std::string> echoed; // the log's lines, for "Display Logs"
    platform::Headless sink;         // the engine's own reports, handed on after the join
    std::unique_ptr<platform::RunContext> context;
    std::thread thread;
    std::atomic<uint32_t> done{0}, total{0};
    std::atomic<bool> finished{false};
    bool failed = false;
    RouteSummary summary;
    uint32_t shown_done = ~0u, shown_total = ~0u;
};

struct RouterSession {
    std::unique_ptr<Run> run;
    RouteSeams seams;
    RouteOutcome last;

    RouterSession() = default;
    RouterSession(const RouterSession&) = delete;
    RouterSession& operator=(const RouterSession&) = delete;
    // The App goes with a run still active (the program exits): the run stops and is waited for before
    // the model it writes is freed.
    ~RouterSession() {
        if (run && run->thread.joinable()) {
            run->context->cancel();
            run->thread.join();
        }
    }
};

RouterSession& session(App& app) {
    return app.state<RouterSession>();
}

std::string layer_label(const model::Setup& s, int layer) {
    const model::LayerEntry& e = s.layers[static_cast<size_t>(layer)];
    char buf[64];
    std::snprintf(buf, sizeof buf, "%3d  %-15.15s  %c  %06X", layer, e.name, kDirectionLetters[layer_direction(s, layer)],
                  static_cast<unsigned>(e.colour & 0xFFFFFF));
    return buf;
}

std::string layer_id(int layer) {
    return "layer" + std::to_string(layer);
}

platform::Form route_form(const model::Setup& s) {
    platform::FormBuilder b("AutoRouteBox", "Auto-route");
    for (int i = 0; i < 8; ++i) {
        b.check(kFlagIds[i], kFlagLabels[i], (s.router_algorithms >> i) & 1);
    }
    b.text("line", "Track line size", model::fixed_string(s.line_width));
    b.text("via_pad", "Via pad size", model::fixed_string(s.via_diameter));
    b.text("via_hole", "Via hole size", model::fixed_string(s.via_hole));
    b.text("line_line", "Line to line clearance", model::fixed_string(s.clear_line_line));
    b.text("line_pad", "Line to pad clearance", model::fixed_string(s.clear_line_pad));
    b.text("pad_pad", "Pad to pad clearance", model::fixed_string(s.clear_pad_pad));
    for (int l = 0; l < 256; ++l) {
        if (s.layers[static_cast<size_t>(l)].in_use()) {
            b.choice(layer_id(l), layer_label(s, l), direction_names(), layer_direction(s, l));
        }
    }
    return std::move(b).build();
}

// OK: the answers into the Setup.  An empty or unreadable length keeps the value it had.
void store(const platform::Form& f, model::Setup& s) {
    uint32_t flags = s.router_algorithms & ~0xFFu;
    for (int i = 0; i < 8; ++i) {
        flags |= f.get(kFlagIds[i]) == "1" ? 1u << i : 0u;
    }
    s.router_algorithms = flags;
    auto length = [&f](const char* id, Coord& v) {
        if (!edit::trimmed(f.get(id)).empty()) {
            v = edit::length_field(f.get(id));
        }
    };
    length("line", s.line_width);
    length("via_pad", s.via_diameter);
    length("via_hole", s.via_hole);
    length("line_line", s.clear_line_line);
    length("line_pad", s.clear_line_pad);
    length("pad_pad", s.clear_pad_pad);
    for (int l = 0; l < 256; ++l) {
        if (const platform::Field* d = f.field(layer_id(l)); d != nullptr && s.layers[static_cast<size_t>(l)].in_use()) {
            set_layer_direction(s, l, edit::index_field(d->value, 4, layer_direction(s, l)));
        }
    }
}

void show_progress(App& app, Run& r) {
    uint32_t done = r.done.load(std::memory_order_relaxed), total = r.total.load(std::memory_order_relaxed);
    if (done == r.shown_done && total == r.shown_total) {
        return;
    }
    r.shown_done = done;
    r.shown_total = total;
    shell::show_text(app, "ROUTE: " + std::to_string(done) + " of " + std::to_string(total));
}

void end_run(App& app, bool show_log) {
    RouterSession& ses = session(app);
    std::unique_ptr<Run> r = std::move(ses.run);
    if (r->thread.joinable()) {
        shell::join_unlocked(app, r->thread);
    }
    r->log.close();
    for (const std::string& line : r->sink.reports) {
        app.platform().report(line);
    }
    ses.last = RouteOutcome{r->summary, r->context->cancelled(), r->failed};
    show_progress(app, *r);
    if (app.doc() == r->doc) {
        shell::redraw(app);
    }
    if (show_log && app.shell.options.display_logs) {
        model::Document* shown = nets::log_document(app, r->log_path, *r->doc);
        if (shown != nullptr) {
            int n = 0;
            nets::log_text(*shown, n++, "LOG FILE");
            for (const std::string& line : r->echoed) {
                nets::log_text(*shown, n++, line);
            }
            if (app.shell.services.hooks.show_in_view_window) {
                app.shell.services.hooks.show_in_view_window(app, shown);
            }
        }
    }
}

RouteHooks run_hooks(App& app, Run& r) {
    std::shared_ptr<std::recursive_mutex> lock = app.shell.services.background.lock;
    RouteHooks h;
    h.change = [lock](const std::function<void()>& f) {
        std::lock_guard<std::recursive_mutex> g(*lock);
        f();
    };
    // Drawn only while the routed Document is the one on the screen.
    h.draw = [lock, &app, &r](Ref item) {
        std::lock_guard<std::recursive_mutex> g(*lock);
        if (app.doc() == r.doc) {
            display::draw_item(app.display, *r.doc, item);
            app.shell.surface.dirty = true;
        }
    };
    h.progress = [&r](uint32_t done, uint32_t total) {
        r.done.store(done, std::memory_order_relaxed);
        r.total.store(total, std::memory_order_relaxed);
    };
    return h;
}

int start_run(App& app, model::Document& doc, const model::Setup& before, uint8_t modified_before) {
    RouterSession& ses = session(app);
    auto r = std::make_unique<Run>();
    r->doc = &doc;
    r->settings = RouteSettings::from_setup(doc.setup);
    r->context = std::make_unique<platform::RunContext>(r->sink);
    r->log_path = nets::log_path(doc);
    r->log.echo = [run = r.get()](std::string_view line) { run->echoed.emplace_back(line); };
    if (!r->log.open(r->log_path, kLogTitle, std::filesystem::path(doc.name()).filename().string(), kLogWidth,
                     nets::log_date())) {
        shell::ask(app,
                   "The status/log file \"" + r->log_path +
                       "\" cannot\nbe opened for output.\n\nPlease insure that you have write access for this path.",
                   "File Open Error", platform::Buttons::Ok);
    }
    std::function<void()> body = [run = r.get(), hooks = run_hooks(app, *r), wait = ses.seams.before_run] {
        if (wait) {
            wait(*run->context);
        }
        try {
            run->summary = route_run(*run->doc, run->settings, run->log, *run->context, hooks);
        } catch (const std::exception&) {
            // Out of memory inside the engine: the run ends here, the board as the last change left it.
            run->failed = true;
        }
        run->finished.store(true, std::memory_order_release);
    };
    try {
        r->thread = ses.seams.spawn ? ses.seams.spawn(std::move(body)) : std::thread(std::move(body));
    } catch (const std::system_error&) {
        // The Document stays as it was before the dialog, and the opened log is thrown away unwritten.
        doc.setup = before;
        doc.modified_bits = modified_before;
        shell::ask(app, kThreadText, kThreadTitle, platform::Buttons::Ok);
        return 0;
    }
    ses.run = std::move(r);
    if (app.shell.trazel_mode) {
        shell::leave_trazel_mode(app, true);
    }
    // A macro goes on with the routed board: its next keys wait for the run.
    if (app.shell.services.macro_loop || shell::macro_playing(app)) {
        end_run(app, true);
    }
    return 1;
}

// NA.
int auto_route(App& app, uint16_t, shell::Source) {
    model::Document* doc = app.doc();
    if (doc == nullptr) {
        shell::error_sound(app);
        return 0;
    }
    shell::cancel_items(app);
    platform::Form f = route_form(doc->setup);
    // Cancel leaves the redo stack too.
    if (!shell::run_dialog(app, f) || (app.shell.edit.redo_check && !app.shell.edit.redo_check(app))) {
        return 0;
    }
    model::Setup before = doc->setup;
    uint8_t modified_before = doc->modified_bits;
    store(f, doc->setup);
    doc->mark_modified();
    return start_run(app, *doc, before, modified_before);
}

// While a run is active only what leaves every Document alone runs: the view, help and the menu bar.
// Closing a file or leaving the program first stops the run and waits for it.  Code 0 is a key that
// changes the Document through an editor hook.
bool refuse(App& app, uint16_t c) {
    if (!session(app).run) {
        return false;
    }
    char group = static_cast<char>(c >> 8);
    if (group == 'Z' || group == '?' || c == code('M', 'S')) {
        return false;
    }
    if (c == code('F', 'C') || c == code('F', 'X') || c == code('F', 'E')) {
        finish_route(app, true);
        return false;
    }
    shell::show_text(app, kBusyText, true);
    return true;
}

} // namespace

bool route_running(App& app) {
    return session(app).run != nullptr;
}

void finish_route(App& app, bool cancel) {
    RouterSession& ses = session(app);
    if (!ses.run) {
        return;
    }
    if (cancel) {
        ses.run->context->cancel();
    }
    end_run(app, !cancel);
}

const RouteOutcome& last_route(App& app) {
    return session(app).last;
}

RouteSeams& route_seams(App& app) {
    return session(app).seams;
}

void install_router(App& app) {
    shell::set_command_handler(app, code('N', 'A'), auto_route);
    // The background hooks are shared with the plot run: each handles its own run and hands the rest on.
    shell::BackgroundRun& bg = app.shell.services.background;
    auto refuse_before = bg.refuse;
    bg.refuse = [refuse_before](App& a, uint16_t c) {
        return refuse(a, c) || (refuse_before && refuse_before(a, c));
    };
    auto escape_before = bg.escape;
    bg.escape = [escape_before](App& a) {
        RouterSession& ses = session(a);
        if (!ses.run) {
            return escape_before && escape_before(a);
        }
        ses.run->context->cancel();
        shell::show_text(a, kStoppingText);
        return true;
    };
    auto tick_before = bg.tick;
    bg.tick = [tick_before](App& a) {
        RouterSession& ses = session(a);
        if (ses.run) {
            if (ses.run->finished.load(std::memory_order_acquire)) {
                end_run(a, true);
            } else {
                show_progress(a, *ses.run);
            }
        }
        if (tick_before) {
            tick_before(a);
        }
    };
    // Closing the routed Document any other way waits for the run too.
    auto closing = app.shell.edit.closing_document;
    app.shell.edit.closing_document = [closing](App& a, model::Document& d) {
        if (Run* r = session(a).run.get(); r != nullptr && r->doc == &d) {
            finish_route(a, true);
        }
        if (closing) {
            closing(a, d);
        }
    };
}

} // namespace trazel::router
