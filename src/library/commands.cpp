// SF: the 32 library slots of the current Document ("-b") and the folder bare names are looked up in.
#include "library/commands.h"

#include <cstdio>
#include <string>

#include "library/library.h"
#include "platform/form_builder.h"
#include "shell/app.h"
#include "shell/commands.h"
#include "shell/modes.h"
#include "shell/settings.h"

namespace trazel::library {

namespace {

constexpr size_t kNameChars = 32; // a slot holds 32 characters

int library_files(App& app, uint16_t, shell::Source) {
    model::Document* doc = app.doc();
    if (doc == nullptr) {
        shell::beep(app);
        return 0;
    }
    platform::FormBuilder box("LibraryFilesBox", "Component Libraries");
    box.text("path", "Library Path", shell::read_setting(app, "Library Path"));
    for (int i = 0; i < kLibrarySlots; ++i) {
        box.text("lib" + std::to_string(i), "Library " + std::to_string(i + 1),
                 doc->setup.libraries[static_cast<size_t>(i)].data());
    }
    platform::Form f = std::move(box).build();
    if (!shell::run_dialog(app, f)) {
        return 0;
    }
    std::string path = f.get("path");
    if (path != shell::read_setting(app, "Library Path")) {
        shell::write_setting(app, "Library Path", path);
    }
    bool changed = false;
    for (int i = 0; i < kLibrarySlots; ++i) {
        std::string name = f.get("lib" + std::to_string(i)).substr(0, kNameChars);
        auto& slot = doc->setup.libraries[static_cast<size_t>(i)];
        if (name != slot.data()) {
            slot.fill(0);
            std::snprintf(slot.data(), slot.size(), "%s", name.c_str());
            changed = true;
        }
    }
    if (changed) {
        doc->mark_modified();
    }
    return 1;
}

} // namespace

void install_library(App& app) {
    shell::set_command_handler(app, shell::code('S', 'F'), library_files);
}

} // namespace trazel::library
