#pragma once
// The fabrication package of a board: every file of its Gerber rows, the pick-and-place file, the
// IPC-D-356A test netlist, the bill of materials, a Gerber job file and a README.txt naming them, in a
// folder or one zip archive.  The files are made in a scratch folder first: a failed run leaves no half
// package and never replaces an older archive.
#include <functional>
#include <string>
#include <vector>

#include "cam/photoplot.h"
#include "platform/run_context.h"

namespace trazel::model {
struct Document;
}

namespace trazel::cam {

struct FabOptions {
    std::string out;              // a folder, or a file ending in ".zip"
    bool x2 = false;              // Gerber X2 attributes
    bool metric = false;          // millimetres in the photoplots, drill file, placement and netlist
    bool true_arcs = false;       // arcs as G02/G03 instead of chords
    bool excellon_header = true;  // M48 and the format line before the holes
    bool all_components = false;  // through-hole Components in the pick-and-place file too
    std::string version;          // the program's version, for the job file and the X2 attributes
    std::function<DateTime()> clock; // empty: the local time
};

// One file of the package, as README.txt lists it.
struct FabFile {
    std::string name; // without folder
    std::string what; // "Copper,L1,Top (Gerber)", "Pick and place (CSV)"
};

// Makes the package of `doc` (saved under a name: the files are named after it).  Returns true when the
// whole package is in place; false after reporting why through `run`.
bool fab_package(const model::Document& doc, const FabOptions& o, platform::RunContext& run,
                 std::vector<FabFile>* files = nullptr);

// The Gerber job file (JSON) of a package whose Gerber and drill files are `files` (name, function,
// polarity); board size in millimetres.
struct JobFile {
    std::string name, function, polarity;
};
std::string gerber_job_json(const std::string& project, const std::string& version, const DateTime& when,
                            double width_mm, double height_mm, int layers, const std::vector<JobFile>& files);

} // namespace trazel::cam
