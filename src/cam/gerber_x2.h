#pragma once
// What a file of the photoplot run is, in the words of the Gerber X2 attributes and the job file: its
// file function ("Copper,L1,Top", "Soldermask,Bot", "Legend,Top", "Paste,Top", "Profile,NP",
// "Plated,1,2,PTH" for the drill file, "Drillmap" for the drill drawing) and polarity.
#include <string>

#include "model/setup.h"

namespace trazel::cam {

struct ToolTable;

// The copper layers the rows plot (L1 top ... Ln bottom); at least 1.
int copper_layer_count(const model::Setup& setup);
// The file function of a row; empty for the aperture listing, which is no fabrication file.  With the
// run's tools a drill file whose holes are all non-plated is "NonPlated,1,n,NPTH".
std::string x2_file_function(const model::Setup& setup, const model::GerberEntry& row,
                             const ToolTable* tools = nullptr);
// "Positive", or "Negative" for a plane (what is drawn is clearance).
std::string x2_file_polarity(const model::GerberEntry& row);

} // namespace trazel::cam
