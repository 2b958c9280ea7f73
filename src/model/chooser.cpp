// The import chooser, the export dispatcher, and opening and saving Document files through them.
#include "model/chooser.h"

#include <algorithm>

#include "model/datafile.h"
#include "model/old_format.h"
#include "model/setup_directives.h"
#include "model/text_readers.h"
#include "platform/platform.h"

namespace trazel::model {

namespace {

bool accepts_data_file(std::string_view head, char forced) {
    return forced == 0 && head.substr(0, kDataFileSignature.size()) == kDataFileSignature;
}

char read_data_file(LineReader& in, char) {
    return ReadDataFile(in);
}

bool accepts_plain_text(std::string_view head, char forced) {
    return forced == 'Z' || (forced == 0 && looks_like_text(head));
}

bool accepts_anything(std::string_view, char) {
    return true;
}

} // namespace

bool register_reader(FormatTable& t, int order, std::string_view name, AcceptsFn accepts, ReadFn read) {
    if (order < kOrderDataFile || order > kOrderByteDump || !accepts || !read) {
        return false;
    }
    auto at = std::find_if(t.readers.begin(), t.readers.end(), [&](const ReaderRow& r) { return r.order > order; });
    t.readers.insert(at, ReaderRow{order, name, accepts, read});
    return true;
}

bool register_writer(FormatTable& t, char code, WriteFn write) {
    if (code == 0 || !write) {
        return false;
    }
    t.writers[static_cast<unsigned char>(code)] = write;
    return true;
}

void register_model_formats(FormatTable& t) {
    register_reader(t, kOrderDataFile, "Data file", accepts_data_file, read_data_file);
    register_reader(t, kOrderVersion3, "version 3 data file", accepts_version3, ReadVersion3File);
    register_reader(t, kOrderVersion2, "version 2 data file", accepts_version2, ReadVersion2File);
    register_reader(t, kOrderPlainText, "plain text", accepts_plain_text, read_plain_text);
    register_reader(t, kOrderByteDump, "byte dump", accepts_anything, read_byte_dump);
    register_writer(t, 'C', WriteDataFile);
    register_writer(t, '3', WriteVersion38File);
    register_writer(t, 'Z', write_plain_text);
}

char ChooseReader(const FormatTable& t, LineReader& in, char forced, const ReaderRow** taken) {
    if (taken) {
        *taken = nullptr;
    }
    if (!M().current) {
        return 0;
    }
    apply_template(Template::ChooserDefaults);
    for (const ReaderRow& row : t.readers) {
        if (row.accepts(in.head(), forced)) {
            if (taken) {
                *taken = &row;
            }
            return row.read(in, forced);
        }
    }
    return 0;
}

bool ChooseWriter(const FormatTable& t, OutBuffer& out, char code) {
    // A Document that no reader has marked yet (a new one) is a Data file without further ado.
    WriteFn w = t.writers[static_cast<unsigned char>(code ? code : 'C')];
    if (!w) {
        platform::P().message_box(
            "The specified output format is not supported.\n\nTRAZEL Version 4.0 file format will be substituted.",
            "TRAZEL'98", platform::Buttons::Ok);
        // The file is a Data file now, and its "-gf" line must say so, or reading it would bring the
        // code without a writer back.
        M().current->setup.format_code = 'C';
        w = WriteDataFile;
    }
    return w(out);
}

char OpenDocumentFile(const FormatTable& t, const std::string& name, char forced, std::string* error) {
    std::string why;
    char code = 0;
    if (!M().current) {
        why = "no Document to read into";
    } else {
        LineReader in;
        in.set_label(name);
        if (!in.open_file(name, &why)) {
            // reason already in `why`
        } else if (in.head().empty()) {
            why = "the file is empty";
        } else {
            const ReaderRow* taken = nullptr;
            code = ChooseReader(t, in, forced, &taken);
            if (in.failed()) {
                why = in.error();
                code = 0;
            } else if (code == 0 && taken) {
                why = "the " + std::string(taken->name) + " reader could not read it";
            } else if (code == 0) {
                why = "no reader accepts this file";
            }
        }
        M().current->setup.format_code = code;
    }
    if (error) {
        *error = why;
    }
    return code;
}

char open_document_bytes(const FormatTable& t, std::string_view bytes, char forced) {
    if (!M().current || bytes.empty()) {
        return 0;
    }
    LineReader in;
    in.open_memory(bytes);
    char code = ChooseReader(t, in, forced);
    M().current->setup.format_code = code;
    return code;
}

bool SaveDocumentFile(const FormatTable& t, const std::string& name, char code, std::string* error) {
    if (!M().current) {
        if (error) {
            *error = "no Document to write";
        }
        return false;
    }
    OutBuffer out;
    bool ok = out.open(name) && ChooseWriter(t, out, code ? code : M().current->setup.format_code) && out.commit();
    if (!ok) {
        if (error) {
            *error = out.error();
        }
        out.abandon();
    }
    return ok;
}

bool save_document_bytes(const FormatTable& t, std::string& bytes, char code) {
    if (!M().current) {
        return false;
    }
    OutBuffer out;
    out.open_memory(&bytes);
    return ChooseWriter(t, out, code ? code : M().current->setup.format_code) && out.commit();
}

bool confirm_old_format_save(Document& d) {
    char c = d.setup.format_code;
    if (c != '2' && c != '3') {
        return true;
    }
    auto answer = platform::P().message_box(
        "This file was imported from an old DOS TRAZEL format.\n\nWould you like to save it as a version 4 file?",
        "Save File Warning", platform::Buttons::OkCancel);
    if (answer != platform::Answer::Ok) {
        return false;
    }
    d.setup.format_code = 'C';
    return true;
}

std::string_view format_name(char code) {
    switch (code) {
    case 'C':
        return "TRAZEL Version 4.0 data file";
    case '3':
        return "TRAZEL version 3 data file";
    case '2':
        return "TRAZEL version 2 data file";
    case 'B':
        return "pixel image";
    case 'G':
        return "Gerber photoplot";
    case 'E':
        return "Excellon drill file";
    case 'T':
        return "Tango file";
    case 'P':
        return "Protel board";
    case 'O':
        return "binary board";
    case 'X':
        return "DXF drawing";
    case 'H':
        return "HPGL pen plot";
    case 'S':
        return "point-set listing";
    case 'Z':
        return "plain text";
    default:
        return "unknown format";
    }
}

} // namespace trazel::model
