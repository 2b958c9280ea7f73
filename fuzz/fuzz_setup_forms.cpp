// Text typed into the Setup dialogs and the Gerber file set: whatever a field holds, the dialog takes it
// or names it, never crashes, and what it keeps is what the Data file gives back (every directive line
// the setup writes reads back as the same line).
//
// Input: the first byte picks the dialog; then lines, each two bytes choosing a field (modulo the
// dialog's count) and the rest of the line its text.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "app/core/headless_run.h"
#include "cam/gerber_box_commands.h"
#include "fuzz_board_file.h"
#include "model/setup_directives.h"
#include "platform/form_builder.h"
#include "shell/commands.h"
#include "shell/setup_form.h"
#include "shell/shell.h"

using namespace trazel;

namespace {

std::string board_file() {
    static const std::string path = fuzz::board_file(
        "fuzz_setup_forms", "TRAZEL Version 4.0 -- Data File.\r\n\r\n-y0:00FFFF00,00000000,0,0,Pad Master\r\n"
                            "-y1:00FF0000,00000000,2,1,Top\r\n-y2:000000FF,00000000,10,2,Bottom\r\n"
                            "-y3:00FFFFFF,00000000,0,3,Silk\r\n-dyTOP:0,1\r\n-dyBOT:8,2\r\n-dyDRL:4\r\n\r\n"
                            "1 1 .012 .5 .5 1 1 N1\r\n3 0 1 .5 .5 .06 .06 .035 0 0 N1\r\n\r\nEND OF FILE\r\n");
    return path;
}

shell::HeadlessRun& session() {
    static shell::HeadlessRun* run = nullptr;
    if (run == nullptr || run->app.doc() == nullptr) {
        delete run;
        run = new shell::HeadlessRun(160, 120); // small: every change redraws
        if (run->start({board_file()}) == 0) {
            std::abort();
        }
        run->until_ready();
    }
    return *run;
}

// Every directive line the setup writes is a fixed point of the reader.
void check_fixed_point(const model::Setup& s) {
    std::vector<std::string> keys = {"gs", "gd", "gc", "gm", "iv", "il", "it", "ix", "ip", "gz"};
    for (int n = 0; n < 256; ++n) {
        keys.push_back("y" + std::to_string(n));
    }
    for (int n = 0; n < cam::kFileSetRows; ++n) {
        keys.push_back("dy" + std::to_string(n));
    }
    for (int n = 0; n < 32; ++n) {
        keys.push_back("b" + std::to_string(n));
    }
    for (const std::string& k : keys) {
        std::string line = model::directive_line(s, k);
        if (line.empty()) {
            continue;
        }
        model::Setup again = s;
        model::ApplyDirective(again, line);
        if (model::directive_line(again, k) != line) {
            std::fprintf(stderr, "\"%s\" does not read back as itself: \"%s\"\n", line.c_str(),
                         model::directive_line(again, k).c_str());
            std::abort();
        }
    }
}

// The answers of `lines` for the fields of `shown`; the library folder is a program setting, left alone.
std::map<std::string, std::string> answers(const platform::Form& shown, std::string_view rest) {
    std::map<std::string, std::string> out;
    while (!rest.empty() && !shown.fields.empty()) {
        size_t end = rest.find('\n');
        std::string_view line = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view{} : rest.substr(end + 1);
        if (line.size() < 2) {
            continue;
        }
        size_t pick = (static_cast<uint8_t>(line[0]) << 8 | static_cast<uint8_t>(line[1])) % shown.fields.size();
        const std::string& id = shown.fields[pick].id;
        if (id != "path") {
            out[id] = std::string(line.substr(2));
        }
    }
    return out;
}

const char kCommands[] = {'G', 'D', 'S', 'C', 'V', 'X', 'L', 'M', 'F', 'B'};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) {
        return 0;
    }
    std::string_view text(reinterpret_cast<const char*>(data), size);
    shell::HeadlessRun& run = session();
    platform::Headless& ui = run.ui();
    static const model::Setup original = run.app.doc()->setup;
    model::Document& doc = *run.app.doc();
    doc.setup = original;
    ui.boxes.clear();
    ui.dialogs.clear();
    ui.sounds.clear();
    ui.reports.clear();

    size_t which = static_cast<uint8_t>(text[0]) % (sizeof kCommands + 1);
    if (which == sizeof kCommands) {
        // The Gerber file set, read as "GerberOutBox" reads it, without the run.
        platform::FormBuilder box("GerberOutBox", "Gerber Photoplot Output");
        cam::add_file_set_fields(box, doc.setup);
        const platform::Form shown = std::move(box).build();
        platform::Form form = shown;
        for (auto& [id, v] : answers(shown, text.substr(1))) {
            form.set(id, v);
        }
        model::Setup next = doc.setup;
        shell::SetupAnswers in(shown, form);
        cam::read_file_set(in, next);
        if (in.error().empty()) {
            cam::settle_file_set(doc.setup, next);
            check_fixed_point(next);
        }
        return 0;
    }
    uint16_t cmd = shell::code('S', kCommands[which]);
    // Each dialog is cancelled once to learn its fields: the setup it shows is always the original.
    static std::map<uint16_t, platform::Form> forms;
    if (forms.count(cmd) == 0) {
        ui.dialog_answers.clear();
        run.menu(cmd);
        ui.dialog_answers.clear();
        doc.setup = original;
        if (ui.dialogs.empty()) {
            return 0;
        }
        forms[cmd] = ui.dialogs.back();
        ui.dialogs.clear();
    }
    const platform::Form& shown = forms[cmd];
    ui.dialog_answers.clear();
    ui.dialog_answers[shown.name].push_back({true, answers(shown, text.substr(1))});
    run.menu(cmd);
    ui.dialog_answers.clear();
    check_fixed_point(doc.setup);
    return 0;
}
