// The CAM subsystem's commands: FG asks for the output folder, the drill header and the file set, then
// runs the photoplot of the current Document.
#include "cam/commands.h"
#include "cam/gerber_box_commands.h"

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
    platform::FormBuilder box("GerberOutBox", "Gerber Photoplot Output");
    box.text("out_dir", "Output folder (empty: beside the data file)")
        .check(kExcellonHeaderField, kExcellonHeaderLabel, false);
    add_file_set_fields(box, d->setup);
    platform::Form f = std::move(box).build();
    // The rows edited here are the Document's own: OK keeps them (and marks the Document modified when
    // one changed) before the run reads them.
    if (!shell::run_setup_form_with<shell::SetupAnswers>(
            app, f, [](shell::SetupAnswers& in, model::Setup& next) { read_file_set(in, next); }, settle_file_set)) {
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
