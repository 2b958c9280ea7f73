#pragma once
// Netlist input (NI): one or several netlist files (the column and the bracketed layouts the netlist
// output writes) read into a Document.  Missing Components are placed from the component libraries,
// Components whose parameters differ are reported, updated or replaced, every listed pin gets its
// Signal, and each mismatch goes to the "NETLIST INPUT LOG".
#include <string>
#include <string_view>
#include <vector>

#include "nets/net_state.h"
#include "nets/netlog.h"

namespace trazel::library {
struct LibrarySet;
}

namespace trazel::nets {

constexpr const char* kNetlistInLogTitle = "NETLIST INPUT LOG";
constexpr int kNetlistInLogWidth = 79;
constexpr const char* kNoNetlistTitle = "File Not Found";
constexpr const char* kNoNetlistText = "No netlist input files can be located\nusing the specified pattern mask.";

// The files a mask names: a name without "*" or "?" in its last component stands for itself (when it
// is an existing file, readable or not); otherwise the files of the mask's directory whose names match
// the last component (case ignored), in name order.  Empty when nothing matches.
std::vector<std::string> expand_netlist_mask(const std::string& mask);

struct NetlistInOptions {
    bool update = false;  // type/value and modifier of existing Components taken from the file
    bool replace = false; // a Component whose pattern differs replaced by the file's pattern
};

struct NetlistInResult {
    long nodes = 0;    // the input node count of the summary
    int messages = 0;  // lines logged with a message, the summary's warnings included
    int placed = 0;    // new Components
    int replaced = 0;  // Components replaced by another pattern
    int updated = 0;   // Components given the file's type/value or modifier
    std::vector<std::string> unreadable; // files that could not be opened (their processing ended there)
};

// The sixteen messages of the log, as numbered there.
enum NetlistMessage : int {
    kSignalLayerMatch = 0,
    kPinNotFound,
    kComponentNotFound,
    kComponentNameInvalid,
    kSignalNameInvalid,
    kInputLineInvalid,
    kCrosslinkedPin,
    kPatternNotFound,
    kPatternMismatch,
    kComponentReplaced,
    kValueMismatch,
    kValueReplaced,
    kModifierMismatch,
    kModifierReplaced,
    kUnlinkedPin,
    kUnusedComponent,
};
// One log line: `reference` ("Line: " and `line` when empty) at column 0, the message padded to 24
// columns and its label from column 12, then the detail without its outer blanks.
std::string netlist_message_line(NetlistMessage m, std::string_view detail, std::string_view reference, long line);

// `NetListIn`: reads `files` in order into the state's Document.  Both undo stacks are emptied first;
// Signals are taken off every track, arc and pad that a netlist names (through-hole pads of a board back
// on layer 0), then each file's nets and components are applied.  The log (opened by the caller with
// its title line) gets the column heads, every message and the summary ending in a form feed; the
// caller closes it.  New Components come from `libs`.  With `s.plain` Components and pins are found by
// walking the Document for every node (the oracle of the Reference ID index); the results are the same.
NetlistInResult netlist_in(NetState& s, const std::vector<std::string>& files, const library::LibrarySet& libs,
                           const NetlistInOptions& options, Log& log);

} // namespace trazel::nets
