#pragma once
// The photoplot run: RS-274-X Gerber photoplots, the Excellon drill file, the drill symbol drawing and
// the aperture and tool listing, one file per output row ("-dy") of the Document it is given.
//
// The run reads the Document only.  It builds one aperture table and one tool table from every Item
// first, so every Gerber file of a run carries the same D-codes, then writes the rows in order.  With X2
// attributes each file defines its own apertures instead, one per size and function, where first used.
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "cam/apertures.h"
#include "cam/excellon.h"
#include "cam/gerber_writer.h"
#include "cam/plot_types.h"
#include "cam/text_out.h"
#include "model/setup.h"
#include "platform/run_context.h"

namespace trazel::model {
struct Document;
}

namespace trazel::cam {

using model::Angle;
using model::Coord;
using model::Length;
using model::Ref;

DateTime local_now();

// The field of "GerberOutBox" that asks for the Excellon format header.
constexpr const char* kExcellonHeaderField = "excellon_header";
constexpr const char* kExcellonHeaderLabel = "Excellon header (M48, INCH,LZ)";

struct PhotoplotOptions {
    std::string out_dir;                                  // empty: the files go beside the Document
    bool excellon_header = false;                         // write M48 / INCH,LZ / tools / % before the holes
    bool x2 = false;         // Gerber X2 attributes: file function and polarity, aperture functions, objects
    bool metric = false;     // millimetres: %MOMM*%, %FSLAX46Y46*%, Excellon METRIC,LZ
    bool true_arcs = false;  // arcs as G75 G02/G03 with I/J instead of chords
    std::function<DateTime()> clock;                      // empty: the local time
    std::function<void(const std::string&)> file_created; // each file as it is created (recent files)
    std::function<void(const std::string&)> file_written; // each file once it is complete and in place
};

// Everything one run knows: the Document it reads, the tables, the date and time strings.
struct PlotContext {
    const model::Setup* setup = nullptr;
    Ref ring = model::kNone;
    std::string doc_path;
    ApertureTable apertures;
    ToolTable tools;
    std::string date;
    std::string time;
    Length fill_width = kAperture002; // the Gerber fill line width, raised to 0.002 inch
    uint32_t item_count = 0;
    bool excellon_header = false;
    GerberStyle style; // X2, metric and arcs of the run; the file attributes of the file being written
    // Items done, for the progress display; the writers call `tick` once per Item they look at.
    std::function<void()> tick;
};

// Fills the context from a Document's setup and Items: fill width, pre-scan of every Item, drill symbols.
void prepare_plot(PlotContext& ctx, const model::Setup& setup, Ref ring, std::string_view doc_path,
                  const DateTime& when);

// The name of a row's file: the Document's path with its extension replaced by "." and the row's
// extension in lower case; with `out_dir` the directory is replaced by it.
std::string output_file_name(std::string_view doc_path, std::string_view ext, std::string_view out_dir);
// The row's three-character extension (up to the first blank).
std::string row_extension(const model::GerberEntry& row);

// The writers of one row each; `file_name` is the output file's name without directory.
void write_gerber_file(PlotContext& ctx, const model::GerberEntry& row, std::string_view file_name, TextOut& out);
void write_symbols_gerber(PlotContext& ctx, const model::GerberEntry& row, std::string_view file_name, TextOut& out);
void write_symbols_datafile(PlotContext& ctx, const model::GerberEntry& row, TextOut& out);
void write_aperture_listing(PlotContext& ctx, TextOut& out);
// The `plot label` and "M02*".
void plot_label(GerberWriter& w, const PlotContext& ctx, std::string_view file_name);

// Writes every file of the Document's rows.  Returns 1 when all were written, 0 when one could not be
// created or the run was cancelled (the files written before stay); the failure is reported through the
// run context, and so is the progress of each file.
int photoplot_run(const model::Document& doc, const PhotoplotOptions& options, platform::RunContext& run,
                  std::vector<std::string>* written = nullptr);

} // namespace trazel::cam
