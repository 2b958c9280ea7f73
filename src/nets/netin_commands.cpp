// NI: netlist input through "NetListInBox", the log beside the Document and, with "Display Logs" on,
// shown as a Document in the view window.
#include <filesystem>
#include <string>
#include <vector>

#include "library/library.h"
#include "nets/commands.h"
#include "nets/netin.h"
#include "platform/form_builder.h"
#include "shell/app.h"
#include "shell/commands.h"
#include "shell/modes.h"
#include "shell/services.h"
#include "shell/settings.h"
#include "shell/status.h"
#include "shell/window_events.h"

namespace trazel::nets {

namespace {

// What the dialog shows again the next time.
struct NetlistInSettings {
    std::string mask;
    NetlistInOptions options;
};

int netlist_in_command(App& app, uint16_t, shell::Source) {
    model::Document* doc = app.doc();
    if (doc == nullptr) {
        shell::error_sound(app);
        return 0;
    }
    shell::cancel_items(app);
    NetlistInSettings& st = app.state<NetlistInSettings>();
    platform::Form f = platform::FormBuilder("NetListInBox", "Netlist Input")
                           .text("mask", "Netlist file or pattern mask (* and ?)", st.mask)
                           .check("update", "Update type/value and modifier", st.options.update)
                           .check("replace", "Replace components whose pattern differs", st.options.replace)
                           .build();
    if (!shell::run_dialog(app, f)) {
        return 0;
    }
    st.mask = f.get("mask");
    st.options.update = f.get("update") == "1";
    st.options.replace = f.get("replace") == "1";
    std::vector<std::string> files = expand_netlist_mask(st.mask);
    if (files.empty()) {
        shell::ask(app, kNoNetlistText, kNoNetlistTitle, platform::Buttons::Ok);
        return 0;
    }

    std::string path = log_path(*doc);
    model::Document* shown = app.shell.options.display_logs ? log_document(app, path, *doc) : nullptr;
    Log log;
    int lines = 0;
    if (shown != nullptr) {
        log_text(*shown, lines++, "LOG FILE");
        log.echo = [shown, &lines](std::string_view line) { log_text(*shown, lines++, line); };
    }
    if (!log.open(path, kNetlistInLogTitle, std::filesystem::path(doc->name()).filename().string(),
                  kNetlistInLogWidth, log_date())) {
        shell::ask(app,
                   "The status/log file \"" + path +
                       "\" cannot\nbe opened for output.\n\nPlease insure that you have write access for this path.",
                   "File Open Error", platform::Buttons::Ok);
    }
    library::LibrarySet libs = library::LibrarySet::from_setup(
        doc->setup, library::library_directory(shell::read_setting(app, "Library Path"), app.shell.program_dir));
    NetState s(*doc);
    s.display = &app.display;
    NetlistInResult r = netlist_in(s, files, libs, st.options, log);
    log.close();
    if (shown != nullptr && app.shell.services.hooks.show_in_view_window) {
        app.shell.services.hooks.show_in_view_window(app, shown);
    }
    shell::redraw(app);
    shell::show_text(app, "Total input node count:  " + std::to_string(r.nodes));
    return 1;
}

} // namespace

void install_netlist_in(App& app) {
    shell::set_command_handler(app, shell::code('N', 'I'), netlist_in_command);
}

} // namespace trazel::nets
