// trazel-cli convert IN OUT [--format CODE] [--as G|I|X|T|P] [--dxf-units inch|mm] [--merge FILE]...
// [--field FORM.FIELD=VALUE]... [--answer TITLE=BUTTON]... [--strict]: read through the import chooser
// (or the reader `--as` forces),
// merge more photoplots and drill files as FD does, write through the export dispatcher.  Writing version
// 3.8 (`--format 3`, or a version 3 input without --format) lists its losses on stderr.
#include <cstdio>
#include <string>
#include <vector>

#include "app/cli/cli.h"
#include "app/cli/dialog_script.h"
#include "formats/register.h"
#include "model/numbers.h"
#include "model/old_losses.h"

namespace trazel::cli {

int run_convert(int argc, char** argv) {
    std::string in, out;
    char code = 0;
    char as = 0;
    bool strict = false;
    std::vector<std::string> merges;
    AnswerScript answers;
    FieldScript fields;
    for (int k = 1; k < argc; ++k) {
        std::string a = argv[k];
        std::string value;
        if (a == "--as" || a == "--merge" || a == "--field" || a == "--answer" || a == "--dxf-units") {
            if (!next_value(argc, argv, k, value)) {
                return usage_error("convert", a + " needs a value");
            }
            std::string bad;
            if (a == "--as") {
                char c = value.size() == 1 ? model::upper(value[0]) : 0;
                as = c == 'G' || c == 'I' || c == 'X' || c == 'T' || c == 'P' ? c : 0;
                if (!as) {
                    bad = "--as takes G (photoplot), I (drill file), X (DXF), T (Tango) or P (AutoTrax)";
                }
            } else if (a == "--dxf-units") {
                if (value == "inch" || value == "in") {
                    formats::set_dxf_units(formats::DxfUnits::Inch);
                } else if (value == "mm") {
                    formats::set_dxf_units(formats::DxfUnits::Millimetre);
                } else {
                    bad = "--dxf-units takes inch or mm";
                }
            } else if (a == "--merge") {
                merges.push_back(value);
            } else if (a == "--field") {
                bad = add_field(fields, value);
            } else {
                bad = add_answer(answers, value);
            }
            if (!bad.empty()) {
                return usage_error("convert", bad);
            }
            continue;
        }
        if (a == "--strict") {
            strict = true;
            continue;
        }
        if (a == "--format") {
            if (k + 1 >= argc) {
                return usage_error("convert", "--format needs a format code");
            }
            value = argv[++k];
        } else if (a.rfind("--format=", 0) == 0) {
            value = a.substr(9);
        } else if (!a.empty() && a[0] == '-' && a != "-") {
            return usage_error("convert", "unknown option \"" + a + "\"");
        } else if (in.empty()) {
            in = a;
            continue;
        } else if (out.empty()) {
            out = a;
            continue;
        } else {
            return usage_error("convert", "too many arguments");
        }
        if (value.size() != 1 || static_cast<unsigned char>(value[0]) <= ' ') {
            return usage_error("convert", "a format code is one character, such as C or Z");
        }
        code = value[0] >= 'a' && value[0] <= 'z' ? static_cast<char>(value[0] - 32) : value[0];
    }
    if (in.empty() || out.empty()) {
        return usage_error("convert", "an input and an output file are needed");
    }
    Cli cli;
    ScriptPlatform ui(std::move(answers), std::move(fields));
    platform::install(&ui);
    struct Reinstall {
        Cli& cli;
        ~Reinstall() {
            platform::install(&cli.ui);
        }
    } reinstall{cli};
    ui.counting = true;
    model::Document* d = load(cli, in, as);
    if (!d) {
        return 1;
    }
    // As FD: each on the next free layer or as Pads, without the chooser's defaults; a file too small for
    // either recognition is taken by its name.
    for (const std::string& m : merges) {
        std::string why;
        if (formats::merge_file(m, *d, formats::drill_file_name(m) ? 'I' : 'G', &why) == 0) {
            return fail("cannot merge \"" + m + "\": " + why);
        }
    }
    ui.counting = false;
    if (strict && ui.counted != 0) {
        return fail(std::to_string(ui.counted) + " lines reported while reading (--strict): \"" + out +
                    "\" not written");
    }
    // As the save dialog does: the Document takes the chosen code and the new name, so the written file
    // says what it is and a ".LIB" name writes a library.
    if (code) {
        d->setup.format_code = code;
    }
    model::set_document_name(d, out);
    // A version 3 file is written back as version 3.8 unless told otherwise; what that format cannot
    // hold is told, one line per kind of loss, and the file is written all the same.
    std::vector<std::string> losses;
    if ((code ? code : d->setup.format_code) == '3') {
        losses = model::version38_losses(*d);
    }
    std::string why;
    if (!model::SaveDocumentFile(cli.formats, out, code, &why)) {
        return fail("cannot write \"" + out + "\": " + why);
    }
    for (const std::string& line : losses) {
        std::fprintf(stderr, "trazel-cli: %s\n", line.c_str());
    }
    return 0;
}

} // namespace trazel::cli
