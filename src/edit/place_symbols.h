#pragma once
// The symbols the Place functions build from text templates (ports, grounds, arrow heads, dimension
// lines) and the placing of library Components into a Document.
#include <array>
#include <string>
#include <string_view>
#include <unordered_set>

#include "model/fixed.h"
#include "model/model.h"

namespace trazel::edit {

using model::Coord;
using model::Point;
using model::Ref;

// Template `name` read into a new Component appended to `ring`: "*" replaced by `signal`, members
// without a layer (-1) put on `layer`, the hook moved to `at`.  kNone when the template is missing, does
// not start with a Component record or ends without its closing record, or the pool ran out.
Ref build_symbol(Ref ring, std::string_view name, std::string_view signal, int layer, Point at);

// A signal port stretched to its name: its name Text and the outline ends left of the Text move left by
// the name's length in whole tenths of an inch.
void stretch_port(Ref port);

// A dimension's two ends: the tips of its two arrow heads (its first two Solids).  False when it has no
// two arrow heads.
bool dimension_ends(Ref dimension, Point& first, Point& second);
// Lays a dimension out between `first` and `second`: arrow heads and extension strokes turned to the
// direction, the Text (height `text_height`) above the middle showing the distance as the read-outs
// show lengths (`decimals` < 0: millimetres).
void set_dimension(Ref dimension, Point first, Point second, int decimals, Coord text_height);
// The dimension text height: the Document's setting, 6291 units when it is below 3.
Coord dimension_text_height(Coord setting);

// An independent copy of a Component (through its Data file text) appended to `ring`; kNone when the pool
// ran out.
Ref duplicate_component(Ref ring, Ref c);

// The Reference IDs of the Components of a ring, upper case: what a new Reference ID must not repeat.
std::unordered_set<std::string> references_in(Ref ring);

// A Reference ID with "?" takes the first free number: every "?" becomes "1", then it counts up while
// `taken` has it (case ignored).  The ID is added to `taken`.  False when it cannot count further.
bool first_free_reference(std::string& ref, std::unordered_set<std::string>& taken);

// A copy of the library Component held in the scratch ring, made through its Data file text (so the
// copy shares nothing), with `fields` as its Parameters (joined with 0x7F; empty fields keep the
// library's), its Texts measured again, turned by `angle` about its hook and moved so its hook is at
// `at`; linked at the end of `ring`.  kNone when the scratch ring holds no Component or the pool ran out.
Ref copy_library_component(Ref ring, const std::array<std::string, 5>& fields, model::Angle angle, Point at);

// Measures every Text of a Component (nested ones included) again, as its Parameters now resolve them.
void measure_texts(Ref c);

} // namespace trazel::edit
