#pragma once
// Component libraries: where library files are, how a pattern name is found in them, the copy of the
// found Component into the scratch ring, and the browser's listing.
//
// A library file is either a Data file (any version) whose top-level Items are Components, or a source
// library: a text file of named entries converted on lookup (source_library.h).
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "model/node.h"

namespace trazel::model {
struct Setup;
}

namespace trazel::library {

constexpr int kLibrarySlots = 32;
constexpr size_t kPatternMax = 20;

// A requested name as the lookup compares it: up to the first character at or below a blank, at most 20,
// upper case; a final "a".."t" after a digit is cut off and kept as the variant (1..20).
struct Pattern {
    std::string name;
    int variant = 0;
};
Pattern normalize_pattern(std::string_view requested);

// The slot (0..31) and the line of the entry's "6" record (the first line is 1), packed as the browser
// keeps it: slot + 1 in the top 8 bits, the line in the lower 24.
struct FoundPosition {
    int slot = -1;
    long line = 0;
    uint32_t packed() const {
        return static_cast<uint32_t>(slot + 1) << 24 | (static_cast<uint32_t>(line) & 0xFFFFFF);
    }
};

// The library files of one lookup: a directory and the 32 slots of the Document's "-b" list.
struct LibrarySet {
    std::string directory; // "" or ending in "/"
    std::array<std::string, kLibrarySlots> names;

    static LibrarySet from_setup(const model::Setup& setup, std::string directory);
    // The file name of a slot: a name with a directory part stands as it is, a bare one goes below
    // `directory`.  "" for an empty slot.
    std::string path(int slot) const;
};

// The library directory: `configured` (the --library-path option or the "Library Path" setting) when
// not empty, else the first folder "LIBRARY" that platform::find_data_dir finds (beside the program, in
// the build or installed tree, under the install prefix, under $XDG_DATA_DIRS).
std::string library_directory(std::string_view configured, const std::string& program_dir);

// Where the Parameters of a Component record ("6 ...") start: after the record letter, the layer field,
// one number and four coordinates, each ended by one blank.  The record's length when it ends first.
size_t parameters_start(std::string_view record);

// Kinds of library file, told by the first line.
enum class LibraryKind { None, Data, Source };
struct Recognition {
    LibraryKind kind = LibraryKind::None;
    int version = 0; // Data file major version (low three bits of its digit)
    bool browsable = false; // a version-4 Data file: the browser lists it
};
Recognition recognize(std::string_view first_line);

// The ring outside every Document that receives the copied Component.
model::Ref scratch_ring();
void empty_scratch();

// Finds `requested` in the libraries in slot order and copies it into the scratch ring with its hook at
// (0,0), its Pads without Signals and its Texts measured.  Reading state of other readers is untouched:
// each lookup reads through its own reader.  False (scratch ring empty) when no library yields it; a
// matched entry that yields no Component plays the error sound.
bool FindLibraryComponent(const LibrarySet& libs, std::string_view requested, FoundPosition* found = nullptr);
// The same lookup by reading every file from its start, without the index: the reference the index is
// checked against.
bool find_by_scan(const LibrarySet& libs, std::string_view requested, FoundPosition* found = nullptr);

// Index statistics for tests and benchmarks: how many times a file was indexed.
long index_builds();
void forget_indexes();

// The browser's listing of one library file.
struct ListLine {
    std::string text;  // fields separated by tabs, symbol codes as their characters (UTF-8)
    uint32_t position; // FoundPosition::packed()
};
struct Listing {
    bool ok = false;
    std::string title;   // of the message box when !ok
    std::string message; // the message when !ok
    std::string caption; // " *** " and the library name
    std::vector<ListLine> lines;
};
// `filter` (wildcards "*" and "?", case-blind) applies to the whole first field; "" lists all.
Listing ListLibrary(const LibrarySet& libs, int slot, std::string_view filter = {});
// The same for one file outside the slot list (the batch tool); `shown` is the name in the caption.
Listing list_library_file(const std::string& path, std::string_view shown, std::string_view filter, int slot = -1);

// Stored symbol codes of Parameters turned into UTF-8 for display: 0xF8 degree, 0xE6 micro, 0xEA omega,
// 0xAB one half, 0xAC one quarter; 0x7F becomes a tab; other bytes from 0x80 up are taken as Latin-1.
std::string parameters_for_display(std::string_view stored);

} // namespace trazel::library
