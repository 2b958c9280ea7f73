#pragma once
// Resequencing Reference IDs: the Components of one sheet (or of every sheet of a schematic, sheet by
// sheet) numbered afresh in the order they stand on the sheet, with the new numbers carried to the gates
// of one package and to the copies of the same Component in the other Documents of the set.
//
// A Document takes part by its file extension: "PCB" is sheet 0 (the board), "SCH" sheet 1, "SHd" sheet
// d, "Sdd" sheet dd; the set is every open Document with the same file name and such an extension.
#include <string>
#include <string_view>
#include <vector>

#include "model/model.h"

namespace trazel::edit {

struct ResequenceOptions {
    bool insertion_point = false; // the Component's position: its hook, else the centre of its box
    bool columns = false;         // scan vertical columns, else horizontal rows
    // Where the scan starts: 0 top left, 1 top right, 2 bottom left, 3 bottom right.
    int corner = 0;
    long long start = 1;
    long long step = 1;    // at least 1: a step of 0 would give every Component the same Reference ID
    bool annotate = false; // carry each new number to the same old Reference ID in the other Documents
    // Number the sheets of the set one after the other (sheets 1 to 99; the board is not a sheet and is
    // numbered only through annotation), restarting each sheet at start + sheet_step x (sheet - 1).
    bool hierarchical = false;
    bool restart = false;
    long long sheet_step = 100;
};

// A Document's sheet number from its file extension, -1 when it has none.
int sheet_number(std::string_view file_name);

// The open Documents that share the current Document's file name and have a sheet number, in sheet
// order (the current one included); empty when the current Document has no sheet number.
std::vector<model::Document*> sheet_set(const model::Document& current);

// A Reference ID taken apart: leading letters, a number, an optional lower-case gate letter and an
// optional suffix beginning with "-".  `ok` is false for any other form (no letters, no number, other
// characters after the number): such a Component keeps its Reference ID.
struct ReferenceParts {
    bool ok = false;
    std::string prefix;
    std::string number; // the digits as written
    char gate = 0;
    std::string suffix;
};
ReferenceParts split_reference(std::string_view ref);

// Renumbers the Components of `current` (with hierarchical numbering: of every sheet of `set`), carries
// the numbers to the other Documents of `set` as the options say, records every change (one undo group
// per Document changed), measures the member Texts "&1" of the renumbered Components again and moves
// each renumbered Component to its sorted place.  Returns the number of Components renumbered; 0 when
// `current` has no sheet number.
int resequence(std::vector<model::Document*> set, model::Document& current, const ResequenceOptions& options);

} // namespace trazel::edit
