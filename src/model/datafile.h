#pragma once
// The Data file: the native, self-defining text format of every Document (header of Setup directives,
// one record per Item, an end marker, then the pixel image blocks).
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "model/image_block.h"
#include "model/line_reader.h"
#include "model/model.h"
#include "model/out_buffer.h"

namespace trazel::model {

constexpr std::string_view kDataFileTitle = "TRAZEL Version 4.0 -- Data File.";
constexpr std::string_view kDataFileSignature = "TRAZEL Version 4.";
constexpr std::string_view kPixelMarker = "Pixel image follows EOF";

// Component and nested Document records deeper than kMaxComponentDepth (model.h) are not made: their
// members join the deepest ring that is open, so a hostile file cannot nest deeper than the walks go.
// Coordinates read from files are held to +-16384 inches by clamp_coord (units.h).
// The writer keeps every record below the reader's longest line.  Text and Parameters bytes beyond this
// are not written; no record prefix is longer than the rest of the line.
constexpr size_t kMaxRecordText = LineReader::kMaxLine - 100;

constexpr size_t kPixelHeaderBytes = kHeaderBytes;

// Reads a Data file into the current Document's ring and setup.  Returns the format code the file
// names with "-gf" ("C" when it names none); the Document's own code is left as it was.
char ReadDataFile(LineReader& in);
// Writes the current Document.  Returns 0 when the output failed.
bool WriteDataFile(OutBuffer& out);

// One library entry: the Component record `first` and the records after it in `in`, up to its closing
// record, parsed into `ring` without Signals, with Texts in font 0 and the Component on no layer;
// `version` 3 reads the older record layouts (short angles, pad layer in the type field, no pad angle,
// bottom-left texts).  False when the pool ran out.
bool read_library_entry(LineReader& in, std::string_view first, Ref ring, int version);
// The same with the Data file's own rules when `library` is false (Signals attached, fonts kept): the
// symbol templates of the Place functions.
bool read_component_records(LineReader& in, std::string_view first, Ref ring, bool library, int version);

// The fields of one record line, as the Data file and the older formats write them: whether anything but
// blanks is left; a token up to a blank (or ","), taking the character after it (a blank where it should
// start makes it empty); a pin name, which may hold any character above a blank, "," included.
struct Cursor;
bool record_more_follows(const Cursor& c);
std::string_view record_token(Cursor& c);
std::string_view record_pin_field(Cursor& c);

// The ring bookkeeping of the Data file reader, for readers of other record layouts (the older data
// files): Components open and close in file order under the same depth limit, each closed Component is
// sized and put in key order in its ring, and Signal names go through the reader's cache.
class RecordRings {
  public:
    explicit RecordRings(Ref doc_ring);
    ~RecordRings();
    RecordRings(const RecordRings&) = delete;
    RecordRings& operator=(const RecordRings&) = delete;

    // The ring the next Item goes into.
    Ref ring() const;
    // Makes a Component in ring() and opens its member ring.  kNone past the depth limit (its members
    // then join ring() and its closing record is skipped) or when the pool ran out (out_of_nodes()).
    Ref open_component(uint8_t layer, Angle angle, std::string_view parameters);
    // A closing record; nothing at the Document level.
    void close(uint8_t owner_kind, uint16_t size, Coord hook_x, Coord hook_y);
    // Closes every ring still open at the end of the input.
    void close_all();
    bool attach_signal(Ref item, std::string_view raw);
    bool out_of_nodes() const;

  private:
    struct State;
    std::unique_ptr<State> st_;
};

// One Component (members and all) as the Data file writes it, numeric layers, CR LF line ends.
std::string component_records(Ref c);

// Library files (".LIB" in any case) write layers in their symbolic form.
bool is_library_name(std::string_view name);

// The pixel data bytes a block header announces, or -1 when the header is not valid (no "PIX98a",
// bits per pixel not 1, 4, 8, 16, 24 or 32, or a size that does not fit 63 bits).
int64_t PixelDataBytes(const unsigned char* header);

// The value a coordinate takes after it was written in F format and read back: the writer predicts
// what the reader will compute from written values (Component boxes).
Coord canonical_coord(Coord v);

} // namespace trazel::model
