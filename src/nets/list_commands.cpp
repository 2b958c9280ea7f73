// FB, NP and NW: the bill of materials, the component pin list and the signal wire list of the current
// Document, each into a file named in its dialog.  A file that cannot be written leaves no message (and
// any old file as it was); a written one goes to the recently used files.
#include <filesystem>
#include <functional>
#include <string>

#include "nets/bom.h"
#include "nets/commands.h"
#include "nets/netlog.h"
#include "nets/parts.h"
#include "nets/pinlist.h"
#include "platform/form_builder.h"
#include "shell/app.h"
#include "shell/commands.h"
#include "shell/file_group.h"
#include "shell/modes.h"
#include "shell/settings.h"

namespace trazel::nets {

using shell::code;

namespace {

constexpr const char* kFileField = "file";

// The Document's name with another extension: the default output file.
std::string default_name(const model::Document& doc, const char* extension) {
    return std::filesystem::path(doc.name()).replace_extension(extension).string();
}

// Writes the text the dialog's answers ask for; 1 when a file was written.
int write_and_remember(App& app, const std::string& path, const std::string& text) {
    std::string why;
    if (!write_list_file(path, text, why)) {
        return 0;
    }
    std::error_code ec;
    std::filesystem::path full = std::filesystem::absolute(path, ec);
    shell::add_recent_file(app, ec ? path : full.lexically_normal().string());
    return 1;
}

// Asks for the file name (and whatever else `form` holds); empty when cancelled or left empty.
std::string ask_file(App& app, platform::Form& form) {
    if (!shell::run_dialog(app, form)) {
        return {};
    }
    return form.get(kFileField);
}

int bill_of_materials(App& app) {
    model::Document* doc = app.doc();
    if (doc == nullptr) {
        shell::error_sound(app);
        return 0;
    }
    platform::Form f = platform::FormBuilder("BOMOutBox", "Bill of Materials Output")
                           .text(kFileField, "Output file", default_name(*doc, ".BOM"))
                           .check("symbols", "Convert symbols", false)
                           .check("csv", "Comma-separated values", false)
                           .build();
    std::string path = ask_file(app, f);
    if (path.empty()) {
        return 0;
    }
    BomOptions o;
    o.symbols = f.get("symbols") == "1";
    o.csv = f.get("csv") == "1";
    return write_and_remember(app, path, bom_text(*doc, o, log_date()));
}

// NP and NW: a dialog with the file name alone.
int listing(App& app, const char* box, const char* title, const char* extension,
            const std::function<std::string(model::Document&)>& make) {
    model::Document* doc = app.doc();
    if (doc == nullptr) {
        shell::error_sound(app);
        return 0;
    }
    shell::cancel_items(app);
    platform::Form f =
        platform::FormBuilder(box, title).text(kFileField, "Output file", default_name(*doc, extension)).build();
    std::string path = ask_file(app, f);
    if (path.empty()) {
        return 0;
    }
    return write_and_remember(app, path, make(*doc));
}

int pin_list(App& app, uint16_t, shell::Source) {
    return listing(app, "PinListOutBox", "Component Pin List Output", ".PIN", [](model::Document& d) {
        NetState s(d);
        return pin_list_text(s, log_date());
    });
}

int wire_list(App& app, uint16_t, shell::Source) {
    return listing(app, "WireListOutBox", "Signal Wire List Output", ".WIR",
                   [](model::Document& d) { return wire_list_text(d, log_date()); });
}

} // namespace

void install_lists(App& app) {
    shell::set_command_handler(
        app, code('F', 'B'), [](App& a, uint16_t, shell::Source) { return shell::file_command(a, bill_of_materials); });
    shell::set_command_handler(app, code('N', 'P'), pin_list);
    shell::set_command_handler(app, code('N', 'W'), wire_list);
}

} // namespace trazel::nets
