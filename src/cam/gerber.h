#pragma once
// The photoplot run: RS-274-X Gerber photoplots, the Excellon drill file, the drill symbol drawing and
// the aperture and tool listing, one file per output row ("-dy") of the current Document.
//
// The run reads the Document only.  It builds one aperture table and one tool table from every Item
// first, so every Gerber file of a run carries the same D-codes, then writes the rows in order.
#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "model/geometry.h"
#include "model/node.h"
#include "model/setup.h"
#include "model/units.h"

namespace trazel::cam {

using model::Angle;
using model::Coord;
using model::Length;
using model::Ref;

// --- Output file types --------------------------------------------------------------------------

enum FileType : uint8_t {
    kCopper = 0,
    kPlane = 1,
    kMask = 2,
    kPaste = 3,
    kDrill = 4,
    kSymbols = 5,
    kSilk = 6,
    kAperture = 7,
};
constexpr uint8_t kFileTypeMask = 0x07;
constexpr uint8_t kFileBottom = 0x08;

extern const char* const kFileTypeNames[8];      // "Copper" ... "Aperture"
extern const char* const kFileTypeChoices[8];    // "Copper (normal)" ... as the setup dialog offers them
extern const char* const kFileSideChoices[2];    // "Normal (not bottom)", "Bottom Side"
extern const char* const kSuggestedExtensions[]; // "TSP: Top Solder Paste" ...; ends with nullptr

// --- Fixed sizes ---------------------------------------------------------------------------------

constexpr Length kAperture010 = 655; // 0.010 inch: the plot label
constexpr Length kAperture011 = 721; // 0.011 inch
constexpr Length kAperture007 = 459; // 0.007 inch: drill symbols
constexpr Length kAperture002 = 131; // 0.002 inch: painted rectangles, smallest fill
constexpr Length kMinPadSize = 328;  // 0.005 inch: no flashed pad is smaller
constexpr Length kMinHole = 3;       // a hole below this is no hole
constexpr Coord kFillStep = 65;      // 0.001 inch between painted strokes
constexpr Coord kFillInset = 33;     // half of kFillStep, kept free at each span end
constexpr Coord kLabelUnit = 786;    // character unit of the plot label and the drill table (0.072 inch text)
constexpr Coord kSymbolUnit = 524;   // character unit of the drill symbols at the holes (0.048 inch text)

// --- Aperture table ------------------------------------------------------------------------------

enum ApertureShape : uint8_t { kRoundShape = 0, kRectShape = 1, kEndShape = 255 };

struct Aperture {
    uint8_t shape = kEndShape; // round (or oblong when width != height), rectangle, or the end marker
    Length width = 0;
    Length height = 0;
};

constexpr int kFirstCode = 10;
constexpr int kOverflowCode = 1023;
constexpr int kCodeSlots = 1024;
constexpr int kMaxApertures = kOverflowCode - kFirstCode; // 1013 entries, D10..D1022

// Draft codes: entries from D10 on form one list sorted by width, height and shape, ended by a marker
// entry, so the code of an aperture is its place in the list and the smallest aperture is D10.
struct ApertureTable {
    std::array<Aperture, kCodeSlots + 1> entries{}; // one spare slot holds the marker of a full table
    int end = kFirstCode;                           // index of the end marker
    uint32_t refused = 0;                           // registrations refused because the table was full

    ApertureTable() {
        clear();
    }
    void clear();
    int count() const {
        return end - kFirstCode;
    }
    // Registers an aperture and returns its code; 0 when a size is 0 or the table is full.  A round
    // aperture with height 0 is a circle of the width.
    int add(uint8_t shape, Length width, Length height);
    // The code of an aperture, or 0 when it is not in the table.
    int find(uint8_t shape, Length width, Length height) const;
    const Aperture& at(int code) const {
        return entries[static_cast<size_t>(code)];
    }
};

// --- Tool table ----------------------------------------------------------------------------------

constexpr int kMaxTools = 30;
constexpr int kSymbolSlots = 32;
constexpr int kNoToolSymbol = 31; // drawn for a hole whose size has no tool

struct Tool {
    Length diameter = 0;
    bool non_plated = false;
    uint32_t hits = 0;
};

// Drill tools 1..30 sorted by diameter, then plated before non-plated.
struct ToolTable {
    std::array<Tool, kMaxTools + 1> tools{}; // tools[1..count]
    int count = 0;
    uint32_t refused = 0; // holes whose size found no free tool

    void clear() {
        *this = ToolTable{};
    }
    // Adds one hit to the tool of this size, making the tool when there is room; returns the tool
    // number or 0 when the table was full.
    int add_hit(Length diameter, bool non_plated);
    int find(Length diameter, bool non_plated) const; // tool number or 0
};

// The stroke-font characters that mark the holes of tool i (0..31) on the drill drawing.
std::string_view drill_symbol(int i);

// Whether a Pad has a drill hole, and whether that hole is non-plated (larger than the pad).
bool pad_has_hole(const model::Node& pad);
bool hole_non_plated(const model::Node& pad);

// --- Text output ---------------------------------------------------------------------------------

// The bytes of one output file.  Writers append lines; every 64 KiB (and at the end) the bytes are
// handed to `drain`, which writes them to the file.  Without a drain everything stays in `data`, which
// is how tests read a file back.
struct TextOut {
    static constexpr size_t kChunk = 65536;
    std::string data;
    std::function<bool(std::string_view)> drain;
    bool failed = false;
    uint64_t total = 0; // bytes drained so far

    // One line: trailing blanks removed, CR LF appended.
    void line(std::string_view s);
    void raw(std::string_view s);
    // Hands the pending bytes to the drain; false once any drain failed.
    bool flush();

  private:
    void maybe_drain() {
        if (drain && data.size() >= kChunk) {
            flush();
        }
    }
};

// --- Number forms ------------------------------------------------------------------------------

// A coordinate relative to the origin in 1/10000 inch, rounded to nearest.
int64_t gerber_units(int64_t v);
// "." and `decimals` digits of a size in inches, rounded; a size that rounds to a whole inch or more
// gets its integer part in front ("1.0000").  Returns the end of the text written.
char* write_size(char* out, uint32_t size, int decimals);
std::string size_string(uint32_t size, int decimals);
// An Excellon coordinate: "X" or "X-", two or more integer digits, then the decimal digits of
// 1/10000 inch without trailing zeros.  `v` is already relative to the origin.
std::string excellon_coord(char axis, int64_t v);

// --- Gerber writer -----------------------------------------------------------------------------

// Pen state of the writer.  Flash and Unknown both make the next move name its D-code, because a
// coordinate line without one repeats the last operation, which after a flash would flash again.
enum class Pen : uint8_t { Unknown, Up, Down, Flash };

// A pad's plot form after the size increase of a file type.
struct PadForm {
    enum Kind : uint8_t { None, Flash, Segment, Painted } kind = None;
    uint8_t shape = kRoundShape; // Flash: aperture shape; Segment: always round
    Length width = 0;            // Flash: aperture size; Segment: the round aperture; Painted: pad size
    Length height = 0;
    Coord dx = 0; // Segment: half the distance between the two end centres, rotated
    Coord dy = 0;
};
PadForm pad_form(const model::Node& pad, int increase);

class GerberWriter {
  public:
    GerberWriter(TextOut& out, const ApertureTable& apertures, Coord origin_x, Coord origin_y)
        : out_(out), apertures_(apertures), origin_x_(origin_x), origin_y_(origin_y) {
    }

    // Forget the pen, the aperture and the last point: each file starts afresh.
    void reset();
    // "%FSLAX24Y24*%" and one aperture definition per table entry.
    void header();
    void trailer(); // "M02*"

    void select(uint8_t shape, Length width, Length height = 0);
    void select_round(Length width) {
        select(kRoundShape, width, width);
    }
    void move_or_draw(bool down, Coord x, Coord y);
    void segment(Coord x1, Coord y1, Coord x2, Coord y2);
    void flash(Coord x, Coord y);
    // Chords of an arc; sweep 0 is a full circle.  `ellipse` squeezes Y by ellipse/65536 before the
    // rotation when it is not 0.
    void arc(Coord x0, Coord y0, Coord radius, Angle start, Angle sweep, uint16_t ellipse = 0, Angle rotation = 0);
    void flash_pad(const model::Node& pad, int increase);
    // A rectangle turned by an angle, outlined and filled with the 0.002-inch aperture.
    void paint_rotated_rect(Coord x0, Coord y0, Length width, Length height, Angle angle);
    // A filled polygon, with the fill aperture of the given width (already raised to 0.002 inch).
    void paint_polygon(const model::Point* pts, int n, Length fill_width);
    void paint_solid(Ref solid, Length fill_width);

    int current_code() const {
        return code_;
    }
    Pen pen() const {
        return pen_;
    }

  private:
    void span_fill(const model::Point* pts, int n, Coord step);
    void put_line(const char* begin, const char* end);
    void emit(bool down, int64_t gx, int64_t gy);
    int64_t gx(Coord x) const {
        return gerber_units(static_cast<int64_t>(x) - origin_x_);
    }
    int64_t gy(Coord y) const {
        return gerber_units(static_cast<int64_t>(y) - origin_y_);
    }

    TextOut& out_;
    const ApertureTable& apertures_;
    Coord origin_x_;
    Coord origin_y_;
    int code_ = 0;      // 0: no aperture selected yet
    Aperture overflow_; // what D1023 stands for when it is current
    Pen pen_ = Pen::Unknown;
    bool have_x_ = false;
    bool have_y_ = false;
    int64_t last_x_ = 0; // in 1/10000 inch after the origin
    int64_t last_y_ = 0;
};

// --- Stroke text -------------------------------------------------------------------------------

// Draws a Text Item with the stroke font through the writer: each stroke selects the round aperture
// of its stroke width and is one segment.  The Item is left exactly as it was.
void stroke_text(GerberWriter& w, Ref text);
// Draws a string at angle 0 from (x, y), with the given character unit (the glyph step) and every stroke
// drawn with the round aperture `aperture`; `across` moves the baseline up (or down) from y.
void stroke_string(GerberWriter& w, std::string_view s, Coord x, Coord y, Coord unit, Length aperture,
                   Coord across = 0);
// The stroke widths a Text Item is drawn with: the first, then one per 192/193 size code.
void text_stroke_widths(Ref text, const std::function<void(Length)>& f);

// --- The run -----------------------------------------------------------------------------------

struct DateTime {
    int year = 2000; // full year
    int month = 1;   // 1..12
    int day = 1;     // 1..31
    int hour = 0;    // 0..23
    int minute = 0;
};
// "MM/DD/YY" and "hh:mm am".
std::string plot_date(const DateTime& t);
std::string plot_time(const DateTime& t);
DateTime local_now();

// The field of "GerberOutBox" that asks for the Excellon format header.
constexpr const char* kExcellonHeaderField = "excellon_header";
constexpr const char* kExcellonHeaderLabel = "Excellon header (M48, INCH,LZ)";

struct PhotoplotOptions {
    std::string out_dir;                                  // empty: the files go beside the Document
    bool excellon_header = false;                         // write M48 / INCH,LZ / tools / % before the holes
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
    // Items done, for the progress display; the writers call `tick` once per Item they look at.
    std::function<void()> tick;
};

// Fills the context from the current Document: fill width, pre-scan of every Item, drill symbols.
void prepare_plot(PlotContext& ctx, const model::Setup& setup, Ref ring, std::string_view doc_path,
                  const DateTime& when);

// The name of a row's file: the Document's path with its extension replaced by "." and the row's
// extension in lower case; with `out_dir` the directory is replaced by it.
std::string output_file_name(std::string_view doc_path, std::string_view ext, std::string_view out_dir);
// The row's three-character extension (up to the first blank).
std::string row_extension(const model::GerberEntry& row);

// The writers of one row each; `file_name` is the output file's name without directory.
void write_gerber_file(PlotContext& ctx, const model::GerberEntry& row, std::string_view file_name, TextOut& out);
void write_excellon(PlotContext& ctx, TextOut& out);
void write_symbols_gerber(PlotContext& ctx, const model::GerberEntry& row, std::string_view file_name, TextOut& out);
void write_symbols_datafile(PlotContext& ctx, const model::GerberEntry& row, TextOut& out);
void write_aperture_listing(PlotContext& ctx, TextOut& out);
// The `plot label` and "M02*".
void plot_label(GerberWriter& w, const PlotContext& ctx, std::string_view file_name);

// Writes every file of the current Document's rows.  Returns 1 when all were written, 0 when one could
// not be created (the files written before it stay); the failure is reported through the platform.
int photoplot_run(const PhotoplotOptions& options, std::vector<std::string>* written = nullptr);

} // namespace trazel::cam
