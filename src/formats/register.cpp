// The photoplot and drill readers in the import chooser, with their questions as platform dialogs.
#include "formats/register.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "formats/dxf.h"
#include "formats/protel.h"
#include "formats/tango.h"
#include "model/line_reader.h"
#include "platform/form_builder.h"

namespace trazel::formats {

namespace {

const std::vector<std::string> kShapes = {"round", "square", "rectangle"};

// Sizes are 16-bit coordinate units: just under one inch.
constexpr double kMaxMils = 999;

bool on(const platform::Form& form, std::string_view id) {
    std::string v = form.get(id);
    return v == "1" || v == "yes" || v == "true" || v == "on";
}

// A number field, rounded and kept inside [lo, hi]; an empty or unreadable field keeps `keep`.
int whole(const platform::Form& form, std::string_view id, int lo, int hi, int keep) {
    std::string v = form.get(id);
    char* end = nullptr;
    double d = std::strtod(v.c_str(), &end);
    if (v.empty() || end == v.c_str() || !std::isfinite(d)) {
        return keep;
    }
    return static_cast<int>(std::clamp(std::lround(d), static_cast<long>(lo), static_cast<long>(hi)));
}

bool ask(platform::Form& form) {
    return platform::P().dialog(form);
}

char run_reader(model::LineReader& in, model::Document& doc, char forced, bool gerber, ImportStats* stats) {
    ImportQuestions questions = platform_questions();
    SkipReport skipped;
    ImportJob job;
    job.file = in.label();
    job.forced = forced;
    job.ask = &questions;
    job.skipped = &skipped;
    char c = gerber ? read_gerber(in, doc, job, stats) : read_excellon(in, doc, job, stats);
    report_skips(skipped);
    return c;
}

char read_gerber_row(model::LineReader& in, char forced) {
    model::Document* d = model::M().current;
    return d ? run_reader(in, *d, forced, true, nullptr) : 0;
}

char read_excellon_row(model::LineReader& in, char forced) {
    model::Document* d = model::M().current;
    return d ? run_reader(in, *d, forced, false, nullptr) : 0;
}

DxfUnits g_dxf_units = DxfUnits::FromFile;

// The foreign readers ask no questions (only the error sound); what they leave out is told line by line.
template <class Read> char run_foreign(model::LineReader& in, char forced, Read&& read) {
    model::Document* d = model::M().current;
    if (!d) {
        return 0;
    }
    SkipReport skipped;
    ImportQuestions questions = platform_questions(); // the error sound of an AutoTrax ENDCOMP without COMP
    ImportJob job;
    job.file = in.label();
    job.forced = forced;
    job.ask = &questions;
    job.skipped = &skipped;
    char c = read(*d, job);
    report_skips(skipped);
    return c;
}

// What a writer could not carry, told line by line.
template <class Write> bool run_foreign_writer(model::OutBuffer& out, Write&& write) {
    model::Document* d = model::M().current;
    if (!d) {
        return false;
    }
    std::vector<std::string> losses;
    bool ok = write(*d, out, &losses);
    for (const std::string& line : losses) {
        platform::P().report(line);
    }
    return ok;
}

} // namespace

platform::Form gerber_import_form(const GerberImportForm& f) {
    return platform::FormBuilder(kGerberImportBox, "Gerber Import Alert")
        .label("why", "The photoplot does not declare its format.")
        .check("incremental", "Incremental addressing (else absolute)", f.incremental)
        .check("trailing", "Trailing zeros suppressed (else leading)", f.trailing)
        .number("decimals", "Implied fraction digits", f.decimals, 0, 7)
        .check("defaults", "Use defaults for all apertures", f.defaults)
        .build();
}

platform::Form aperture_form(const ApertureForm& f) {
    return platform::FormBuilder(kApertureBox, "Undefined Aperture")
        .label("dcode", "D" + std::to_string(f.dcode) + " is used but not defined.")
        .number("width", "Size X (thousandths of an inch)", f.width, 0, kMaxMils)
        .number("height", "Size Y (thousandths of an inch)", f.height, 0, kMaxMils)
        .choice("shape", "Flash", kShapes, f.shape)
        .check("defaults", "Use defaults for all apertures", f.defaults)
        .build();
}

platform::Form drill_format_form(const DrillFormatForm& f) {
    return platform::FormBuilder(kDrillFormatBox, "Drill Import Alert")
        .label("why", "The drill file has no header and no tool sizes.")
        .check("defaults", "Use default drill sizes", f.defaults)
        .build();
}

platform::Form drill_tool_form(const DrillToolForm& f) {
    return platform::FormBuilder(kDrillToolBox, "Undefined Drill Tool")
        .label("tool", "T" + std::to_string(f.tool) + " has no diameter.")
        .number("diameter", "Diameter (thousandths of an inch)", f.diameter, 0, kMaxMils)
        .check("defaults", "Use default values", f.defaults)
        .build();
}

void read_back(const platform::Form& form, GerberImportForm& f) {
    f.incremental = on(form, "incremental");
    f.trailing = on(form, "trailing");
    f.defaults = on(form, "defaults");
    f.decimals = whole(form, "decimals", 0, 7, f.decimals);
}

void read_back(const platform::Form& form, ApertureForm& f) {
    f.width = whole(form, "width", 0, static_cast<int>(kMaxMils), f.width);
    f.height = whole(form, "height", 0, static_cast<int>(kMaxMils), f.height);
    // The index, as the desktop gives it, or the shape's name, as a script may write it.
    std::string s = form.get("shape");
    auto named = std::find(kShapes.begin(), kShapes.end(), s);
    f.shape = named != kShapes.end() ? static_cast<int>(named - kShapes.begin()) : whole(form, "shape", 0, 2, f.shape);
    f.defaults = on(form, "defaults");
}

void read_back(const platform::Form& form, DrillFormatForm& f) {
    f.defaults = on(form, "defaults");
}

void read_back(const platform::Form& form, DrillToolForm& f) {
    f.diameter = whole(form, "diameter", 0, static_cast<int>(kMaxMils), f.diameter);
    f.defaults = on(form, "defaults");
}

ImportQuestions platform_questions() {
    ImportQuestions q;
    q.gerber_import = [](GerberImportForm& f) {
        platform::Form form = gerber_import_form(f);
        if (!ask(form)) {
            return false;
        }
        read_back(form, f);
        return true;
    };
    q.aperture = [](ApertureForm& f) {
        platform::Form form = aperture_form(f);
        if (!ask(form)) {
            return false;
        }
        read_back(form, f);
        return true;
    };
    q.drill_format = [](DrillFormatForm& f) {
        platform::Form form = drill_format_form(f);
        if (!ask(form)) {
            return false;
        }
        read_back(form, f);
        return true;
    };
    q.drill_tool = [](DrillToolForm& f) {
        platform::Form form = drill_tool_form(f);
        if (!ask(form)) {
            return false;
        }
        read_back(form, f);
        return true;
    };
    q.error_sound = [] { platform::P().play(platform::Sound::Error); };
    return q;
}

std::string skip_line(const SkipEntry& e) {
    return e.file + ":" + std::to_string(e.line) + ": " + e.construct + " (" + std::to_string(e.objects) +
           (e.objects == 1 ? " object)" : " objects)");
}

void report_skips(const SkipReport& skipped) {
    for (const SkipEntry& e : skipped) {
        platform::P().report(skip_line(e));
    }
}

void set_dxf_units(DxfUnits units) {
    g_dxf_units = units;
}

char ReadDxfFile(model::LineReader& in, char forced) {
    DxfReadOptions o;
    o.units = g_dxf_units;
    return run_foreign(in, forced, [&](model::Document& d, const ImportJob& job) { return read_dxf(in, d, job, o); });
}

char ReadTangoBoard(model::LineReader& in, char forced) {
    return run_foreign(in, forced, [&](model::Document& d, const ImportJob& job) { return read_tango_board(in, d, job); });
}

char ReadTangoSchematic(model::LineReader& in, char forced) {
    return run_foreign(in, forced,
                       [&](model::Document& d, const ImportJob& job) { return read_tango_schematic(in, d, job); });
}

char ReadProtelBoard(model::LineReader& in, char forced) {
    return run_foreign(in, forced, [&](model::Document& d, const ImportJob& job) { return read_protel_board(in, d, job); });
}

bool WriteDxfFile(model::OutBuffer& out) {
    return run_foreign_writer(out, [](const model::Document& d, model::OutBuffer& o, std::vector<std::string>*) {
        return write_dxf(d, o);
    });
}

bool WriteTangoBoard(model::OutBuffer& out) {
    return run_foreign_writer(out, write_tango_board);
}

bool WriteProtelBoard(model::OutBuffer& out) {
    return run_foreign_writer(out, write_protel_board);
}

void register_import_formats(model::FormatTable& t) {
    model::register_reader(t, model::kOrderGerber, "Gerber photoplot", gerber_accepts, read_gerber_row);
    model::register_reader(t, model::kOrderExcellon, "Excellon drill file", excellon_accepts, read_excellon_row);
    model::register_reader(t, model::kOrderTangoSchematic, "Tango schematic", tango_schematic_accepts,
                           ReadTangoSchematic);
    model::register_reader(t, model::kOrderTangoBoard, "Tango board", tango_board_accepts, ReadTangoBoard);
    model::register_reader(t, model::kOrderProtel, "AutoTrax board", protel_accepts, ReadProtelBoard);
    model::register_reader(t, model::kOrderDxf, "DXF drawing", dxf_accepts, ReadDxfFile);
    model::register_writer(t, 'X', WriteDxfFile);
    model::register_writer(t, 'T', WriteTangoBoard);
    model::register_writer(t, 'P', WriteProtelBoard);
}

bool drill_file_name(std::string_view name) {
    size_t dot = name.find_last_of('.');
    size_t sep = name.find_last_of("/\\");
    if (dot == std::string_view::npos || (sep != std::string_view::npos && dot < sep)) {
        return false;
    }
    std::string ext;
    for (char c : name.substr(dot + 1)) {
        ext.push_back(static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c));
    }
    return ext == "drl" || ext == "drd" || ext == "xln" || ext == "exc" || ext == "txt" || ext == "nc" || ext == "tap";
}

char merge_file(const std::string& path, model::Document& doc, char fallback, std::string* why, ImportStats* stats) {
    std::string reason;
    char code = 0;
    model::LineReader in;
    in.set_label(path);
    if (!in.open_file(path, &reason)) {
        // reason given by the reader
    } else if (in.head().empty()) {
        reason = "the file is empty";
    } else {
        std::string_view head = in.head();
        char forced = 0;
        bool gerber = gerber_accepts(head, 0);
        if (!gerber && !excellon_accepts(head, 0)) {
            if (fallback == kForcedGerber || fallback == kForcedExcellon) {
                forced = fallback;
                gerber = fallback == kForcedGerber;
            } else {
                reason = "neither a photoplot nor a drill file";
            }
        }
        if (reason.empty()) {
            code = run_reader(in, doc, forced, gerber, stats);
            if (in.failed()) {
                reason = in.error();
                code = 0;
            } else if (code == 0) {
                reason = gerber ? "the photoplot was declined" : "the drill file was declined";
            }
        }
    }
    if (why) {
        *why = reason;
    }
    return code;
}

} // namespace trazel::formats
