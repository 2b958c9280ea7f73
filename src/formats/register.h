#pragma once
// The Gerber and Excellon readers as rows of the import chooser, their questions asked as dialogs of
// the installed platform, the skip report told line by line, and the merge of more photoplots and drill
// files into an open Document.
#include <string>
#include <string_view>

#include "formats/dxf.h"
#include "formats/excellon_in.h"
#include "formats/gerber_in.h"
#include "model/chooser.h"
#include "platform/platform.h"

namespace trazel::formats {

// The dialogs' role names; scripts answer them as FORM.FIELD.
constexpr const char* kGerberImportBox = "GerberImportBox";
constexpr const char* kApertureBox = "ApertureBox";
constexpr const char* kDrillFormatBox = "DrillFormatBox";
constexpr const char* kDrillToolBox = "DrillToolBox";

// The four questions as forms, and their answers read back into the reader's structures.
platform::Form gerber_import_form(const GerberImportForm& f);
platform::Form aperture_form(const ApertureForm& f);
platform::Form drill_format_form(const DrillFormatForm& f);
platform::Form drill_tool_form(const DrillToolForm& f);
void read_back(const platform::Form& form, GerberImportForm& f);
void read_back(const platform::Form& form, ApertureForm& f);
void read_back(const platform::Form& form, DrillFormatForm& f);
void read_back(const platform::Form& form, DrillToolForm& f);

// Questions shown through platform::P().dialog, the error sound through its play().
ImportQuestions platform_questions();

// "FILE:LINE: CONSTRUCT (N objects)".
std::string skip_line(const SkipEntry& e);
// Each entry as one platform::P().report line.
void report_skips(const SkipReport& skipped);

// The chooser rows: Gerber, Excellon, the Tango schematic and board, AutoTrax and DXF at their orders,
// and the writers "X", "T" and "P".
void register_import_formats(model::FormatTable& t);
// The drawing unit the DXF row reads with (the batch tool's --dxf-units); FromFile unless set.
void set_dxf_units(DxfUnits units);

// The open dialog's filters for the two readers and the codes they force.
constexpr const char* kGerberFilter = "Gerber (Photo Plot)|*";
constexpr const char* kExcellonFilter = "Excellon (Drill holes)|*";
constexpr char kForcedGerber = 'G';
constexpr char kForcedExcellon = 'I';

// A drill file by its name alone (".drl", ".xln", ".txt" ...): the reader to force when a merged file
// is too small for either recognition.
bool drill_file_name(std::string_view name);

// Reads one more photoplot (next free layer) or drill file (Pads on layer 0) into `doc` without the
// chooser's defaults, which would empty the board's output rows, libraries and origin.  The readers
// recognise the file by content first; `fallback` ('G', 'I' or 0) forces one when neither does.
// Returns 'G', 'E', or 0 with the reason in `why`.
char merge_file(const std::string& path, model::Document& doc, char fallback, std::string* why = nullptr,
                ImportStats* stats = nullptr);

} // namespace trazel::formats
