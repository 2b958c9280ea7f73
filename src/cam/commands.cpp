// The CAM subsystem's commands: FG asks for the output folder, the output forms and the file set, then
// runs the photoplot of the current Document; FK makes the whole fabrication package.
#include "cam/commands.h"
#include "cam/gerber_box_commands.h"

#include <filesystem>
#include <iterator>
#include <string>
#include <vector>

#include "cam/fab_package.h"
#include "cam/photoplot.h"
#include "model/numbers.h"
#include "platform/form_builder.h"
#include "platform/run_context.h"
#include "platform/version.h"
#include "shell/app.h"
#include "shell/file_group.h"
#include "shell/modes.h"
#include "shell/settings.h"
#include "shell/status.h"

namespace trazel::cam {

namespace {

// The modern output forms, offered by "GerberOutBox" and "FabricationBox" alike and remembered between runs.
struct OutputCheck {
    const char* id;
    const char* label;
    const char* setting;
};
constexpr OutputCheck kOutputChecks[] = {
    {"x2", "Gerber X2 attributes (file functions, nets, components)", "Gerber X2 Attributes"},
    {"mm", "Millimetres (Gerber %MOMM, Excellon METRIC)", "Gerber Millimetres"},
    {"arcs", "True arcs (G02/G03 instead of chords)", "Gerber True Arcs"},
};

void add_output_checks(App& app, platform::FormBuilder& box) {
    for (const OutputCheck& c : kOutputChecks) {
        box.check(c.id, c.label, shell::setting_is_yes(shell::read_setting(app, c.setting)));
    }
}

void take_output_checks(App& app, const platform::Form& f, bool& x2, bool& mm, bool& arcs) {
    bool* out[] = {&x2, &mm, &arcs};
    for (size_t i = 0; i < std::size(kOutputChecks); ++i) {
        *out[i] = f.get(kOutputChecks[i].id) == "1";
        if (*out[i] != shell::setting_is_yes(shell::read_setting(app, kOutputChecks[i].setting))) {
            shell::write_setting(app, kOutputChecks[i].setting, *out[i] ? "Y" : "N");
        }
    }
}

// Files named after the Document need its file name.
bool saved_first(App& app, const model::Document& d, const char* what, const char* title) {
    if (!shell::has_no_file(d)) {
        return true;
    }
    shell::error_sound(app);
    shell::ask(app, std::string("Save the data file first: the ") + what + " named after it.", title,
               platform::Buttons::Ok);
    return false;
}

int file_gerber(App& app) {
    model::Document* d = app.doc();
    if (!d) {
        shell::beep(app);
        return 0;
    }
    if (!saved_first(app, *d, "photoplot files are", "Gerber Output Error")) {
        return 0;
    }
    platform::FormBuilder box("GerberOutBox", "Gerber Photoplot Output");
    box.text("out_dir", "Output folder (empty: beside the data file)")
        .check(kExcellonHeaderField, kExcellonHeaderLabel, false);
    add_output_checks(app, box);
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
    take_output_checks(app, f, o.x2, o.metric, o.true_arcs);
    std::vector<std::string> written;
    platform::RunContext run(app.platform());
    int ok = photoplot_run(*d, o, run, &written);
    shell::show_text(app, ok ? "Photoplot: " + std::to_string(written.size()) + " files written." : "Photoplot failed.",
                     !ok);
    return ok;
}

// FK: the whole fabrication package, into a folder or one zip archive (default: NAME-fab.zip beside the
// data file).
int file_fabrication(App& app) {
    model::Document* d = app.doc();
    if (!d) {
        shell::beep(app);
        return 0;
    }
    if (!saved_first(app, *d, "package's files are", "Fabrication Package Error")) {
        return 0;
    }
    std::filesystem::path doc_path(d->name());
    std::string suggested = (doc_path.parent_path() / (doc_path.stem().string() + "-fab.zip")).string();
    platform::FormBuilder box("FabricationBox", "Fabrication Package");
    box.text("out", "Folder, or archive ending in .zip", suggested)
        .check(kExcellonHeaderField, kExcellonHeaderLabel, true)
        .check("all", "Through-hole parts in the pick-and-place file", false);
    add_output_checks(app, box);
    platform::Form f = std::move(box).build();
    bool ok = shell::run_dialog(app, f);
    while (ok && std::string(model::trim_blanks(f.get("out"))).empty()) {
        shell::ask(app, "Name a folder or an archive ending in .zip.", "Fabrication Package Error",
                   platform::Buttons::Ok);
        ok = shell::run_dialog_again(app, f);
    }
    if (!ok) {
        return 0;
    }
    FabOptions o;
    o.out = std::string(model::trim_blanks(f.get("out")));
    o.excellon_header = f.get(kExcellonHeaderField) == "1";
    o.all_components = f.get("all") == "1";
    o.version = platform::program_version();
    take_output_checks(app, f, o.x2, o.metric, o.true_arcs);
    std::vector<FabFile> files;
    platform::RunContext run(app.platform());
    bool done = fab_package(*d, o, run, &files);
    shell::show_text(app, done ? "Fabrication package: " + std::to_string(files.size()) + " files in " + o.out + "."
                               : "The fabrication package was not made.",
                     !done);
    return done ? 1 : 0;
}

} // namespace

void install_cam(App& app) {
    shell::set_command_handler(app, shell::code('F', 'K'), [](App& a, uint16_t, shell::Source) {
        return shell::file_command(a, file_fabrication);
    });
    shell::set_command_handler(app, shell::code('F', 'G'), [](App& a, uint16_t, shell::Source) {
        return shell::file_command(a, file_gerber);
    });
    install_plot(app);
}

} // namespace trazel::cam
