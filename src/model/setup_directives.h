#pragma once
// Setup directives: the "-gc", "-y3:...", "-dyTOP:0,3" lines that carry a Document's settings, in the
// current dialect (read and written) and the older one (read only; the older-format writer lives with
// the older data files).
#include <span>
#include <string>
#include <string_view>

#include "model/setup.h"

namespace trazel::model {

// Parses one current-dialect line into `s`.  Returns whether the line was a directive (a line that,
// after leading blanks, starts with a character below a blank or with ";" is not).
bool ApplyDirective(Setup& s, std::string_view line);
// The same for the older dialect.
bool ApplyOldDirective(Setup& s, std::string_view line);
// On the current Document's setup.
bool ApplyDirective(std::string_view line);
bool ApplyOldDirective(std::string_view line);

// Appends the header sections of the Data file, from "Setup parameters:" through the empty line after
// the component libraries: captions, directive lines in their fixed order, and the empty lines between
// the groups.  Every line ends with CR LF.
void WriteSetup(const Setup& s, std::string& out);

// One directive line as written (without CR LF); used by dialogs and tests.
std::string directive_line(const Setup& s, std::string_view which); // which: "gc", "gd", ..., "dp", "ix"

// Built-in directive sets.  Each is applied in order with the parser of its dialect.
enum class Template {
    ChooserDefaults,      // before any import (current dialect)
    Version2Board,        // before a version-2 data file (older dialect)
    TangoSchematic,       // Tango schematic import (older dialect)
    GerberImport,         // Gerber and Excellon import (current dialect)
    LogView,              // log file views (older dialect, then one current-dialect line)
    PenLayers,            // HPGL pen-plot layer names (older dialect)
    DxfImport,            // DXF drawings (current dialect; empties the Layer table)
    ForeignBoard,         // Tango and AutoTrax boards: their layer set, then older-dialect settings
};
void apply_template(Setup& s, Template t);
void apply_template(Template t); // on the current Document

// The two older-dialect palettes (index to 0x00RRGGBB, 0 = none).
extern const uint32_t kDisplayPalette[16];
extern const uint32_t kPlotPalette[16];

} // namespace trazel::model
