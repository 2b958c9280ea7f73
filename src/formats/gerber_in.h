#pragma once
// The Gerber photoplot reader: RS-274-D and extended files read into a Document as Items on one new
// layer.  The questions the reader asks (format, undefined apertures, drill sizes) go through
// ImportQuestions, so the desktop, the batch tool and tests each plug in their own answers; what the
// reader cannot draw is listed in a skip report rather than drawn wrongly.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "model/line_reader.h"
#include "model/model.h"

namespace trazel::formats {

// One construct the reader left out or could not honour: where it first met it and how many objects
// (or occurrences) it concerned.
struct SkipEntry {
    std::string file;
    int64_t line = 0;
    std::string construct;
    int64_t objects = 0;
};
using SkipReport = std::vector<SkipEntry>;

// "Gerber Import Alert": the format of a file that does not declare it.
struct GerberImportForm {
    bool incremental = false;
    bool trailing = false;
    bool defaults = false; // use defaults for all apertures (no aperture questions)
    int decimals = 4;      // 0..7
};

// ApertureBox: an aperture the file selects without defining it.
enum ApertureShape : int { kApertureRound = 0, kApertureSquare = 1, kApertureRectangle = 2 };
struct ApertureForm {
    int dcode = 0;
    int width = 0;  // thousandths of an inch
    int height = 0; // thousandths of an inch
    int shape = kApertureRound;
    bool defaults = false;
};

// DrillFormatBox: a drill file without a header or tool definitions.
struct DrillFormatForm {
    bool defaults = false; // use default drill sizes
};

// DrillToolBox: a tool without a diameter.
struct DrillToolForm {
    int tool = 0;
    int diameter = 0; // thousandths of an inch
    bool defaults = false;
};

// Each question returns false for Cancel.  An empty member answers OK with the form's initial values.
struct ImportQuestions {
    std::function<bool(GerberImportForm&)> gerber_import;
    std::function<bool(ApertureForm&)> aperture;
    std::function<bool(DrillFormatForm&)> drill_format;
    std::function<bool(DrillToolForm&)> drill_tool;
    std::function<void()> error_sound;
};

struct ImportJob {
    std::string file; // the file's name: layer name and type, skip report
    char forced = 0;  // the open dialog's forced code ('G', 'I'), 0 for none
    const ImportQuestions* ask = nullptr;
    SkipReport* skipped = nullptr;
};

// What the reader made.
struct ImportStats {
    int layer = -1;
    int64_t lines = 0, arcs = 0, pads = 0, solids = 0;
    bool scaled_down = false; // the scale check divided the layer by 10
};

// Recognition of Gerber content in the head of a file (its first 64 KiB).
struct GerberRecognition {
    bool accepted = false;
    bool format_known = false; // "%FS" or "%AD" seen
    int count = 0;
};
GerberRecognition recognise_gerber(std::string_view head);
// The chooser's test: forced "G", or no forced code and Gerber content.
bool gerber_accepts(std::string_view head, char forced);

// Reads a photoplot into `doc` on the first free layer.  Returns 'G', or 0 when the file was declined
// (format question cancelled, no free layer).
char read_gerber(model::LineReader& in, model::Document& doc, const ImportJob& job, ImportStats* stats = nullptr);

// The same from bytes in memory.
char read_gerber_bytes(std::string_view bytes, model::Document& doc, const ImportJob& job,
                       ImportStats* stats = nullptr);

// The layer a photoplot named `file` goes on: applies the import defaults to a Document whose layer 0
// has no name, takes the first free layer from 1 and names and types it.  -1 when none is free.
int take_gerber_layer(model::Setup& s, std::string_view file);

} // namespace trazel::formats
