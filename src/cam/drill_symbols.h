#pragma once
// Pieces of the drill symbol drawing that its two forms share.
#include <string>

#include "cam/photoplot.h"

namespace trazel::cam {

// Where the tool table starts and which form its lines take.
struct DrillTable {
    Coord x = 0;
    Coord y = 0;
    bool compact = false; // placed by a "$$DTD" Component
};
DrillTable drill_table_place(const PlotContext& ctx);

// The table text of tool n: number, diameter, plating mark, symbol between its marks, hit count.
std::string drill_table_line(int n, const Tool& tool, bool compact);

// The Data file record (for a Solid, its lines) of a Line, Arc or Text, with the layer field given;
// empty for anything else or a Text without text.
std::string drawing_item_record(Ref item, int layer);

} // namespace trazel::cam
