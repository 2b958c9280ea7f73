// FP: the "PlotterOutputBox" dialog and the plot on a thread of its own, with the "WaitPlotterBox"
// percentage.  While a plot runs the Document is the plot thread's to read: commands that would change it
// are refused, Escape (or closing the wait box) cancels, and closing the Document or leaving the program
// waits for the plot first.
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "cam/commands.h"
#include "cam/hpgl_plot.h"
#include "cam/plot_output.h"
#include "cam/plot_page.h"
#include "cam/postscript.h"
#include "cam/raster_plot.h"
#include "edit/dialog_fields.h"
#include "model/numbers.h"
#include "platform/form_builder.h"
#include "platform/headless.h"
#include "shell/app.h"
#include "shell/commands.h"
#include "shell/file_group.h"
#include "shell/macros.h"
#include "shell/modes.h"
#include "shell/status.h"

namespace trazel::cam {

using shell::code;

namespace {

constexpr const char* kErrorTitle = "TRAZEL'98 Printer Error";
constexpr const char* kOpenFailed = "Unable to open specified output file.";
constexpr const char* kThreadTitle = "TRAZEL'98 Plotting Error";
constexpr const char* kThreadText = "Unable to create multi-tasking thread for plotting.";
constexpr const char* kBusyText = "Plot:  the plotter is working; press Escape to stop it.";
constexpr const char* kWaitBox = "WaitPlotterBox";

const std::vector<std::string>& method_names() {
    static const std::vector<std::string> names = {"PostScript", "HPGL", "PCL raster", "Bitmap file",
                                                   "Printer bitmap (DIB)"};
    return names;
}
constexpr PlotFormat kMethods[] = {PlotFormat::PostScript, PlotFormat::Hpgl, PlotFormat::Pcl, PlotFormat::Bmp,
                                   PlotFormat::Dib};
const std::vector<std::string>& page_names() {
    static const std::vector<std::string> names = {"letter", "legal", "a4", "a3", "ledger"};
    return names;
}

// What the dialog keeps between plots that "-gp" has no slot for.
struct PlotChoices {
    int method = 0;
    std::string file, printer;
    int page = 0;
    bool landscape = false;
    std::string margin = "0.25";
    int dpi = 300;
    int colour = 0;
};

// The plot thread's own sink: progress as a number the user interface reads, reports kept for it.
class ProgressSink : public platform::Headless {
  public:
    void progress(std::string_view, int percent) override {
        if (percent >= 0) {
            percent_.store(percent, std::memory_order_relaxed);
        }
    }
    int percent() const {
        return percent_.load(std::memory_order_relaxed);
    }

  private:
    std::atomic<int> percent_{0};
};

// One plot.  The thread owns the output while it runs; the user interface reads `finished` and the
// percentage only, the rest after the join.
struct PlotRun {
    model::Document* doc = nullptr;
    PlotSettings settings;
    std::string queue;
    std::unique_ptr<PlotFile> file;
    ProgressSink sink;
    std::unique_ptr<platform::RunContext> context;
    std::thread thread;
    std::atomic<bool> finished{false};
    int ok = 0;
    std::string error;
    int shown = -1;
};

struct PlotSession {
    PlotChoices choices;
    std::unique_ptr<PlotRun> run;
    std::function<void(platform::RunContext&)> before_run;
    PlotSession() = default;
    PlotSession(const PlotSession&) = delete;
    PlotSession& operator=(const PlotSession&) = delete;
    ~PlotSession() {
        if (run && run->thread.joinable()) {
            run->context->cancel();
            run->thread.join();
        }
    }
};

PlotSession& session(App& app) {
    return app.state<PlotSession>();
}

std::string window_text(Coord v) {
    return model::fixed_string(v);
}

platform::Form plot_form(const model::Setup& s, const PlotChoices& c) {
    uint16_t flags = plot_flags(s);
    platform::FormBuilder b("PlotterOutputBox", "Plotter Output");
    b.choice("method", "Output method", method_names(), c.method);
    b.text("file", "Output file (PostScript, HPGL, PCL, bitmap)", c.file);
    b.text("printer", "Print queue (empty: the file)", c.printer);
    b.choice("page", "Page", page_names(), c.page);
    b.check("landscape", "Landscape", c.landscape);
    b.text("margin", "Margin (inches)", c.margin);
    b.number("dpi", "Resolution (dots per inch)", c.dpi, 50, 2400);
    b.choice("colour", "Raster colour", {"Monochrome", "Three colour planes"}, c.colour);
    b.text("scale", "Scale factor", model::fixed_string(s.plot_scale));
    b.check("fit", "Fit to page", (flags & kPlotFit) != 0);
    b.check("center", "Centre on page", (flags & kPlotCentre) != 0);
    b.check("mirror", "Mirror", (flags & kPlotMirror) != 0);
    b.check("keep_colours", "Keep colours", (flags & kPlotKeepColours) != 0);
    b.check("no_holes", "No drill holes", (flags & kPlotNoHoles) != 0);
    b.check("no_vias", "No vias", (flags & kPlotNoVias) != 0);
    b.check("no_pads", "No pads", (flags & kPlotNoPads) != 0);
    b.check("no_tracks", "No tracks", (flags & kPlotNoTracks) != 0);
    b.text("x1", "Window left (empty: the extents)", s.plot_xmin < s.plot_xmax ? window_text(s.plot_xmin) : "");
    b.text("y1", "Window bottom", s.plot_ymin < s.plot_ymax ? window_text(s.plot_ymin) : "");
    b.text("x2", "Window right", s.plot_xmin < s.plot_xmax ? window_text(s.plot_xmax) : "");
    b.text("y2", "Window top", s.plot_ymin < s.plot_ymax ? window_text(s.plot_ymax) : "");
    return std::move(b).build();
}

// OK: the answers into the choices and the Setup's "-gp" values.  False (nothing stored) with a reason
// when an answer cannot be used.
bool store(const platform::Form& f, model::Setup& s, PlotChoices& c, std::string& why) {
    PlotChoices n = c;
    n.method = edit::index_field(f.get("method"), static_cast<int>(method_names().size()), c.method);
    n.file = edit::trimmed(f.get("file"));
    n.printer = edit::trimmed(f.get("printer"));
    n.page = edit::index_field(f.get("page"), static_cast<int>(page_names().size()), c.page);
    n.landscape = f.get("landscape") == "1";
    n.margin = edit::trimmed(f.get("margin"));
    n.dpi = std::max(1, std::atoi(f.get("dpi").c_str()));
    n.colour = edit::index_field(f.get("colour"), 2, c.colour);
    if (n.printer.empty() && n.file.empty()) {
        why = "An output file or a print queue is needed.";
        return false;
    }
    if (!n.printer.empty() && (kMethods[n.method] == PlotFormat::Hpgl || kMethods[n.method] == PlotFormat::Bmp)) {
        why = "HPGL and bitmap files are not sent to a print queue.";
        return false;
    }
    if (n.printer.empty() && kMethods[n.method] == PlotFormat::Dib) {
        why = "The printer bitmap goes to a print queue.";
        return false;
    }
    uint16_t flags = plot_flags(s) & static_cast<uint16_t>(~(kPlotFit | kPlotCentre | kPlotMirror | kPlotKeepColours |
                                                             kPlotNoHoles | kPlotNoVias | kPlotNoPads | kPlotNoTracks));
    auto bit = [&](const char* id, uint16_t b) {
        if (f.get(id) == "1") {
            flags |= b;
        }
    };
    bit("fit", kPlotFit);
    bit("center", kPlotCentre);
    bit("mirror", kPlotMirror);
    bit("keep_colours", kPlotKeepColours);
    bit("no_holes", kPlotNoHoles);
    bit("no_vias", kPlotNoVias);
    bit("no_pads", kPlotNoPads);
    bit("no_tracks", kPlotNoTracks);
    std::string scale = edit::trimmed(f.get("scale"));
    model::Cursor sc_text(scale);
    int32_t sc = scale.empty() ? s.plot_scale : model::read_decimal(sc_text);
    if (sc <= 0) {
        why = "The scale factor must be above 0.";
        return false;
    }
    Coord w[4] = {0, 0, 0, 0};
    bool window = false;
    const char* ids[4] = {"x1", "y1", "x2", "y2"};
    for (int i = 0; i < 4; ++i) {
        std::string t = edit::trimmed(f.get(ids[i]));
        window = window || !t.empty();
        w[i] = t.empty() ? 0 : edit::length_field(t);
    }
    c = n;
    s.plot_options = static_cast<uint8_t>(flags >> 8);
    s.plot_omit = static_cast<uint8_t>(flags & 0xFF);
    s.plot_scale = sc;
    s.plot_xmin = window ? std::min(w[0], w[2]) : 0;
    s.plot_xmax = window ? std::max(w[0], w[2]) : 0;
    s.plot_ymin = window ? std::min(w[1], w[3]) : 0;
    s.plot_ymax = window ? std::max(w[1], w[3]) : 0;
    return true;
}

void show_progress(App& app, PlotRun& r) {
    int p = r.sink.percent();
    if (p == r.shown) {
        return;
    }
    r.shown = p;
    platform::Form box = platform::FormBuilder(kWaitBox, "Plotting").label("percent", std::to_string(p) + "%").build();
    app.platform().update_tool_window(box);
}

void end_plot(App& app) {
    PlotSession& ses = session(app);
    std::unique_ptr<PlotRun> r = std::move(ses.run);
    if (r->thread.joinable()) {
        shell::join_unlocked(app, r->thread);
    }
    app.platform().close_tool_window(kWaitBox);
    for (const std::string& line : r->sink.reports) {
        app.platform().report(line);
    }
    if (r->context->cancelled()) {
        shell::show_text(app, "Plot cancelled.");
    } else if (!r->ok) {
        shell::ask(app, r->error.empty() ? std::string(kOpenFailed) : r->error, kErrorTitle, platform::Buttons::Ok);
    } else {
        shell::show_text(app, "Plot complete.");
    }
}

// The work on the plot thread.  A file target is written beside itself and put in place only when
// the whole plot is in it, so a cancel or a failure keeps its old content.
void plot_body(PlotRun& r) {
    platform::RunContext& run = *r.context;
    const model::Document& doc = *r.doc;
    if (!r.queue.empty()) {
        r.ok = print_plot(doc, r.settings, r.queue, run, r.error);
        return;
    }
    PlotFile& f = *r.file;
    PlotSink sink = [&f](std::string_view s) {
        f.out().raw(s);
        return f.out().flush();
    };
    switch (r.settings.format) {
    case PlotFormat::PostScript:
        r.ok = write_postscript(doc, r.settings, sink, run);
        break;
    case PlotFormat::Hpgl:
        r.ok = write_hpgl(doc, r.settings, sink, run);
        break;
    case PlotFormat::Pcl:
        r.ok = write_pcl(doc, r.settings, f.out(), run);
        break;
    default:
        r.ok = write_bmp(doc, r.settings, f.out(), run);
        break;
    }
    if (r.ok && !run.cancelled()) {
        r.ok = f.commit() ? 1 : 0;
        if (!r.ok) {
            r.error = f.error();
        }
    }
}

int file_plot(App& app) {
    model::Document* d = app.doc();
    if (d == nullptr) {
        shell::beep(app);
        return 0;
    }
    PlotSession& ses = session(app);
    if (ses.run) {
        shell::error_sound(app);
        shell::show_text(app, kBusyText, true);
        return 0;
    }
    platform::Form f = plot_form(d->setup, ses.choices);
    if (!shell::run_dialog(app, f)) {
        return 0;
    }
    std::string why;
    if (!store(f, d->setup, ses.choices, why)) {
        shell::error_sound(app);
        shell::ask(app, why, kErrorTitle, platform::Buttons::Ok);
        return 0;
    }
    d->mark_modified();

    const PlotChoices& c = ses.choices;
    auto r = std::make_unique<PlotRun>();
    r->doc = d;
    r->queue = c.printer;
    PlotDevice device;
    int64_t width = 0, height = 0;
    page_size(page_names()[static_cast<size_t>(c.page)], width, height);
    model::Cursor mc(c.margin);
    int64_t margin = c.margin.empty() ? 16384 : model::read_decimal(mc);
    device = page_device(width, height, margin, c.dpi, c.landscape);
    if (!r->queue.empty()) {
        std::string error;
        if (!queue_device(r->queue, c.dpi, c.landscape, device, error)) {
            shell::ask(app, error, kErrorTitle, platform::Buttons::Ok);
            return 0;
        }
    }
    r->settings = settings_from_setup(d->setup, device);
    r->settings.format = kMethods[c.method];
    r->settings.colour = c.colour == 1 ? PlotColour::Planes : PlotColour::Mono;
    r->settings.title = d->name();
    if (r->queue.empty()) {
        r->file = std::make_unique<PlotFile>();
        if (!r->file->open(c.file)) {
            shell::ask(app, kOpenFailed, kErrorTitle, platform::Buttons::Ok);
            return 0;
        }
    }
    r->context = std::make_unique<platform::RunContext>(r->sink);
    try {
        r->thread = std::thread([run = r.get(), wait = ses.before_run] {
            if (wait) {
                wait(*run->context);
            }
            plot_body(*run);
            run->finished.store(true, std::memory_order_release);
        });
    } catch (const std::system_error&) {
        shell::ask(app, kThreadText, kThreadTitle, platform::Buttons::Ok);
        return 0;
    }
    ses.run = std::move(r);
    app.platform().open_tool_window(
        platform::FormBuilder(kWaitBox, "Plotting").label("percent", "0%").build());
    // A macro goes on with the plot written: its next keys wait for it.
    if (app.shell.services.macro_loop || shell::macro_playing(app)) {
        end_plot(app);
    }
    return 1;
}

} // namespace

bool plotting(App& app) {
    return session(app).run != nullptr;
}

std::function<void(platform::RunContext&)>& plot_before_run(App& app) {
    return session(app).before_run;
}

void finish_plot(App& app, bool cancel) {
    PlotSession& ses = session(app);
    if (!ses.run) {
        return;
    }
    if (cancel) {
        ses.run->context->cancel();
    }
    end_plot(app);
}

void install_plot(App& app) {
    shell::set_command_handler(app, code('F', 'P'), [](App& a, uint16_t, shell::Source) {
        return shell::file_command(a, file_plot);
    });
    // The background hooks are shared with the routing run: each handles its own run and hands the rest on.
    shell::BackgroundRun& bg = app.shell.services.background;
    auto refuse = bg.refuse;
    bg.refuse = [refuse](App& a, uint16_t c) {
        if (plotting(a)) {
            char group = static_cast<char>(c >> 8);
            if (group == 'Z' || group == '?' || c == code('M', 'S')) {
                return false;
            }
            if (c == code('F', 'C') || c == code('F', 'X') || c == code('F', 'E')) {
                finish_plot(a, true);
                return false;
            }
            shell::show_text(a, kBusyText, true);
            return true;
        }
        return refuse && refuse(a, c);
    };
    auto escape = bg.escape;
    bg.escape = [escape](App& a) {
        if (plotting(a)) {
            session(a).run->context->cancel();
            return true;
        }
        return escape && escape(a);
    };
    auto tick = bg.tick;
    bg.tick = [tick](App& a) {
        PlotSession& ses = session(a);
        if (ses.run) {
            // Closing the wait box is its Cancel.
            if (!a.platform().tool_window_open(kWaitBox)) {
                ses.run->context->cancel();
            }
            if (ses.run->finished.load(std::memory_order_acquire)) {
                end_plot(a);
            } else {
                show_progress(a, *ses.run);
            }
        }
        if (tick) {
            tick(a);
        }
    };
    auto closing = app.shell.edit.closing_document;
    app.shell.edit.closing_document = [closing](App& a, model::Document& d) {
        if (PlotRun* r = session(a).run.get(); r != nullptr && r->doc == &d) {
            finish_plot(a, true);
        }
        if (closing) {
            closing(a, d);
        }
    };
}

} // namespace trazel::cam
