#pragma once
// The isolation output: the drill holes and the "$IS"/"$FLD" tool paths of a Document written as
// plotter-language files for a milling machine, one file per row.
#include <array>
#include <string>

#include "model/model.h"

namespace trazel::cam {

enum MillRow : uint8_t { kMillDrill = 0, kMillTop = 1, kMillBottom = 2, kMillRoute = 3 };

struct MillRowSettings {
    std::string file;   // empty: the row is not written
    bool mirror = false; // Y negated
    int layer = 0;       // source layer (not used by the drill row)
};
struct MillSettings {
    std::array<MillRowSettings, 4> rows;
    std::string prefix; // put before every file name
};

constexpr const char* kMillCreateFailed = "Unable to create output file.";

// One row's file text (CR LF lines, "PU0,0;" last).
std::string mill_row_text(const model::Document& doc, MillRow row, const MillRowSettings& s);

// Every row with a file name, in order.  Each file is written beside its target and renamed, so a failed
// write keeps an older file.  False at the first file that cannot be written, its path in `failed`.
bool write_mill_files(const model::Document& doc, const MillSettings& s, std::string* failed = nullptr);

} // namespace trazel::cam
