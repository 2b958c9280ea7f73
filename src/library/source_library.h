#pragma once
// Source libraries: a text file of named entries that are turned into Components when looked up.
//
//   TRAZEL Version 4.0 -- Source Library File
//   any text (the second line is not read)
//   $ a comment block: from a "$" line to the next empty line
//
//   NAME[,NAME...]           the names the entry defines
//   description lines        optional, not read
//   $                        the body follows
//   body lines
//   (empty line)             ends the entry
//
//   *ALIAS[,ALIAS...]=NAME   an entry of one line: each ALIAS is looked up as NAME (of this file)
//
// Body lines:
//   1 ... / 2 ... / 3 ... / 4 ...   Line, Arc, Pad and Text records of the Data file, in the Component's
//                                   frame (library layers in their symbolic form)
//   P layer count dx dy x y width height hole type [first-pin]
//                                   a row of `count` Pads from (x,y) in steps of (dx,dy), pins numbered up
//                                   from first-pin (1 when left out); type T0..T3 or S0..S3
//   G x y                           the hook point (0,0 when left out)
// Any number field may be "#": the variant number of the request (a final "a".."t" after a digit, 1..20;
// 0 when the request has none), so one entry serves a family: "SIP1#" ... requested as "SIP1c".
#include <string>
#include <string_view>
#include <vector>

#include "model/node.h"

namespace trazel::library {

// The names a name line defines (commas separate them); an alias line gives its aliases.
struct NameLine {
    bool alias = false;
    std::vector<std::string> names; // upper case
    std::string target;             // for an alias line
};
NameLine parse_name_line(std::string_view line);

// Turns an entry body (the lines after its "$" line, up to the empty line that ends it) into one
// Component in `ring`, named `shown`.  False when the body yields no Component (no member) or the pool
// ran out.
bool convert_source_entry(std::string_view body, std::string_view shown, int variant, model::Ref ring);

} // namespace trazel::library
