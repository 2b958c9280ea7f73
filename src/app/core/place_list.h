#pragma once
// The placement list of the batch tool: one Component per line, "pattern,ref,value,x,y[,angle]", with
// "#" comments and empty lines; x and y typed as at the cursor (inches, or with "mm").
#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "model/units.h"

namespace trazel::app {

struct Placement {
    std::array<std::string, 5> fields; // pattern, Reference ID, value, modifier, field 5
    model::Coord x = 0, y = 0;         // from the origin passed to the reader
    model::Angle angle = 0;
    long line = 0; // of the list, 0 when the placement came from elsewhere
};

// Reads a whole list; on a bad line returns false with "LINE: reason" in `error` and `out` incomplete.
bool read_place_list(std::string_view text, model::Coord origin_x, model::Coord origin_y,
                     std::vector<Placement>& out, std::string& error);

// One angle in degrees ("90", "-45.5"); false when it is not a number.
bool parse_degrees(std::string_view text, model::Angle& out);

} // namespace trazel::app
