// trazel-cli convert IN OUT [--format CODE]: read through the import chooser, write through the export
// dispatcher.
#include <string>

#include "app/cli/cli.h"

namespace trazel::cli {

int run_convert(int argc, char** argv) {
    std::string in, out;
    char code = 0;
    for (int k = 1; k < argc; ++k) {
        std::string a = argv[k];
        std::string value;
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
    model::Document* d = load(cli, in, 0);
    if (!d) {
        return 1;
    }
    // As the save dialog does: the Document takes the chosen code and the new name, so the written file
    // says what it is and a ".LIB" name writes a library.
    if (code) {
        d->setup.format_code = code;
    }
    model::set_document_name(d, out);
    std::string why;
    if (!model::SaveDocumentFile(cli.formats, out, code, &why)) {
        return fail("cannot write \"" + out + "\": " + why);
    }
    return 0;
}

} // namespace trazel::cli
