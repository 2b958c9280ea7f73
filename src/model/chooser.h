#pragma once
// The import chooser and the export dispatcher: which reader takes a file that is opened, and which
// writer a Document is saved with.  Readers and writers of other subsystems join the table by explicit
// registration calls at start-up, so the table has no hidden static state.
#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "model/line_reader.h"
#include "model/model.h"
#include "model/out_buffer.h"

namespace trazel::model {

// The rows of the chooser, in the order they are offered a file.
enum ChooserOrder : int {
    kOrderDataFile = 1,
    kOrderVersion3 = 2,
    kOrderVersion2 = 3,
    kOrderPixelFirst = 4, // pixel image readers, 4 to 10
    kOrderPixelLast = 10,
    kOrderGerber = 11,
    kOrderExcellon = 12,
    kOrderTangoSchematic = 13,
    kOrderTangoBoard = 14,
    kOrderProtel = 15,
    kOrderBinaryBoard = 16,
    kOrderDxf = 17,
    kOrderHpgl = 18,
    kOrderMorePixel = 19,
    kOrderPointSet = 20,
    kOrderPlainText = 21,
    kOrderDicom = 22,
    kOrderByteDump = 23,
};

// The forced code of the open dialog's "Binary Data File (Hexdump)" filter: every reader but the byte
// dump declines it.
constexpr char kForcedHexDump = 64;

// A reader looks at the first 64 KiB (`head`) and the forced code (0 for none) and declines with false;
// `read` then fills the current Document from the whole input and returns the format code (0 when it
// failed after all).
using AcceptsFn = bool (*)(std::string_view head, char forced);
using ReadFn = char (*)(LineReader& in, char forced);
// A writer writes the current Document; returns 0 when the output failed.
using WriteFn = bool (*)(OutBuffer& out);

struct ReaderRow {
    int order = 0;
    std::string_view name;
    AcceptsFn accepts = nullptr;
    ReadFn read = nullptr;
};

struct FormatTable {
    std::vector<ReaderRow> readers; // in chooser order; rows of one order in the order registered
    std::array<WriteFn, 256> writers{};
};

// Adds a reader row at its place in the order.  Returns 0 for an order outside 1..23 or a row without
// functions.
bool register_reader(FormatTable& t, int order, std::string_view name, AcceptsFn accepts, ReadFn read);
// Sets the writer of a format code (replacing any earlier one).
bool register_writer(FormatTable& t, char code, WriteFn write);
// The model's own rows: the Data file (1), plain text (21) and the byte dump (23), and the writers
// "C" and "Z".
void register_model_formats(FormatTable& t);

// Applies the import defaults to the current Document and offers the input to each row in turn.
// Returns the format code of the reader that took it, 0 when none did.
// `taken`, when given, is set to the row that accepted the input (nullptr when none did), so a caller can
// tell a file no reader knows from one its reader could not read.
char ChooseReader(const FormatTable& t, LineReader& in, char forced, const ReaderRow** taken = nullptr);
// Writes the current Document with the writer of `code`; a code without a writer is told to the user
// and the Data file is written instead.  Returns 0 when the output failed.
bool ChooseWriter(const FormatTable& t, OutBuffer& out, char code);

// Reads a file into the current Document and sets its format code.  Returns the code, or 0 when the file
// could not be opened or read or is empty (the reason in `error`; the caller tells the user).
char OpenDocumentFile(const FormatTable& t, const std::string& name, char forced, std::string* error = nullptr);
// The same for bytes in memory.
char open_document_bytes(const FormatTable& t, std::string_view bytes, char forced);
// Writes the current Document to `name` through a temporary file that replaces it only on success; code
// 0 means the Document's own code.  Returns 0 when the file could not be written (reason in `error`);
// an existing file is then left as it was.
bool SaveDocumentFile(const FormatTable& t, const std::string& name, char code, std::string* error = nullptr);
// The same into memory.
bool save_document_bytes(const FormatTable& t, std::string& out, char code);

// Before saving a Document imported from an older format ("2", "3"): asks whether to save it as a
// version 4 file and makes its code "C" on OK.  Returns 0 when the user cancelled.
bool confirm_old_format_save(Document& d);

// The name of a format code for listings ("TRAZEL Version 4.0 data file").
std::string_view format_name(char code);

} // namespace trazel::model
