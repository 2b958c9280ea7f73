#pragma once
// The symbol templates of the Place functions (ports, power and ground symbols, arrow head, dimension
// line), kept together in the resource "cmp_templates".
#include <string_view>

namespace trazel::resources {

// The lines of template `name` ("SIGNAL", "BUS", "PPLUS", "PMINUS", "GROUND", "EARTH", "VOLTAGE",
// "ARROW", "DIM"), each ended by a line feed, from its Component record to its closing record "0 6 0 0 0";
// empty when there is no such template.
std::string_view cmp_template(std::string_view name);

// The same lookup in a text of that layout: sections headed "[NAME]", each ended by an empty line or the
// end of the text.  Carriage returns before line feeds are allowed; they stay in the lines returned.
std::string_view find_cmp_template(std::string_view table, std::string_view name);

} // namespace trazel::resources
