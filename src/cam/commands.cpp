// The CAM subsystem's commands: FG asks for the output folder and the drill header, then runs the
// photoplot of the current Document.
#include "cam/commands.h"

#include <string>
#include <vector>

#include "cam/photoplot.h"
#include "platform/form_builder.h"
#include "platform/run_context.h"
#include "shell/app.h"
#include "shell/file_group.h"
#include "shell/modes.h"
#include "shell/status.h"

namespace trazel::cam {

namespace {

int file_gerber(App& app) {
    model::Document* d = app.doc();
    if (!d) {
        shell::beep(app);
        return 0;
    }
    if (shell::has_no_file(*d)) {
        // The output files are named after the Document's file.
        shell::error_sound(app);
        shell::ask(app, "Save the data file first: the photoplot files are named after it.", "Gerber Output Error",
                   platform::Buttons::Ok);
        return 0;
    }
    platform::Form f = platform::FormBuilder("GerberOutBox", "Gerber Photoplot Output")
                           .text("out_dir", "Output folder (empty: beside the data file)")
                           .check(kExcellonHeaderField, kExcellonHeaderLabel, false)
                           .build();
    if (!shell::run_dialog(app, f)) {
        return 0;
    }
    PhotoplotOptions o;
    o.out_dir = f.get("out_dir");
    o.excellon_header = f.get(kExcellonHeaderField) == "1";
    std::vector<std::string> written;
    platform::RunContext run(app.platform());
    int ok = photoplot_run(*d, o, run, &written);
    shell::show_text(app, ok ? "Photoplot: " + std::to_string(written.size()) + " files written." : "Photoplot failed.",
                     !ok);
    return ok;
}

} // namespace

void install_cam(App& app) {
    shell::set_command_handler(app, shell::code('F', 'G'), [](App& a, uint16_t, shell::Source) {
        return shell::file_command(a, file_gerber);
    });
    install_plot(app);
}

} // namespace trazel::cam
