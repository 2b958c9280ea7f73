#pragma once
// The netlist: the parts list and the net list of a Document in the column layout, or the bracketed
// layout that Protel-style readers take; and the Reference ID check that comes before it.
#include <ctime>
#include <string>

#include "nets/net_state.h"

namespace trazel::nets {

constexpr const char* kNetListErrorTitle = "Net List Error";
constexpr const char* kFileCreationErrorTitle = "File Creation Error";

// The first top-level Component whose Reference ID does not begin with an upper-case letter (a symbol
// with a single field beginning with "$" passes): its place among the top-level Components from 1, and
// the field.  `sequence` 0 when every Component passes.
struct ReferenceCheck {
    int sequence = 0;
    Ref component = model::kNone;
    std::string field;
    bool ok() const {
        return sequence == 0;
    }
};
ReferenceCheck check_reference_ids(const model::Document& doc);
// The "Net List Error" box text for a failed check.
std::string reference_error_text(const ReferenceCheck& c);
// The "File Creation Error" box text.
std::string file_creation_text(const std::string& path);
// The Document's name with the extension ".NET".
std::string netlist_file_name(const model::Document& doc);

struct NetlistOptions {
    bool bracketed = false;   // the bracketed layout instead of the column layout
    bool single_node = false; // nets of one node with generated names too
    // The straightforward walks (Components by sorted insertion, each Signal's nodes by walking every
    // Component), the oracle of the per-Signal pad lists.
    bool plain = false;
};

// The whole netlist text (CR LF line ends) of the Document's Signals as they are.
std::string netlist_text(const model::Document& doc, const NetlistOptions& o, const std::tm& date);

} // namespace trazel::nets
