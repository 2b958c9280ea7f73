#pragma once
// The connectivity subsystem's run state: which Items the current trace reached (the mark, bit 7 of an
// Item's `kind`), the current Signal, the two pads the interactive scan reports, and the hooks a run
// reports through.  Every engine function of src/nets takes a NetState for the Document it works on.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "model/model.h"

namespace trazel::display {
struct Display;
}

namespace trazel::nets {

using model::Coord;
using model::Point;
using model::Ref;

// The clearances of the "-nc" directive, in coordinate units.
struct Clearances {
    Coord line_line = 0, line_pad = 0, pad_pad = 0;
};
Clearances clearances_of(const model::Setup& s);

// Copper or schematic signals: a layer whose type, taken modulo 4, is 2.
bool conductive_layer(const model::Setup& s, int layer);
// A surface-mount Pad (type bit 2); its shape code (type bits 0-1; 3 is a via or dot).
bool smt_pad(const model::Node& pad);
int shape_code(const model::Node& pad);

class NetIndex; // candidates near a box, in the walk order of the Document (trace.h)
struct RatProgress; // what `next_rat_line` learnt about the current net so far (ratnest.cpp)
class CheckIndex; // the clearance check's grid (checks.cpp)

struct NetState {
    explicit NetState(model::Document& d) : doc(&d) {
    }
    model::Document* doc;

    Ref current_signal = model::kNone;
    Ref crosslink_pad = model::kNone;  // the last reached Pad whose Signal differs from the current one
    Ref unsignaled_pad = model::kNone; // the last reached Pad without Signal, shape code 1 or 2, with a pin
    std::vector<Ref> marked;           // the Items this state marked, in marking order

    // The straightforward walks over the whole Document (the oracle of the tests and `--plain`) instead
    // of the index.
    bool plain = false;
    std::shared_ptr<NetIndex> index; // built on first use; reset after the Document changed behind it
    // Built alongside `index` and rebuilt whenever `index` is replaced, so resetting `index` drops it too.
    std::shared_ptr<CheckIndex> check_index;

    // Given a display, marked Items are drawn highlighted and cleared ones drawn again.
    display::Display* display = nullptr;
    // Called every 128 Items of a trace ("SCAN:") or sources of a clearance check ("DRC:") with the count
    // so far (or left); false interrupts the run (the user cancelled).  Unset: never interrupted.
    std::function<bool(const char* what, long count)> every_128;
    // Called whenever the current Signal changes (the status bar shows it).
    std::function<void(Ref signal)> signal_changed;

    // The next undo record number of the group the current command writes (0 opens the group).
    int undo_number = 0;

    // Raised whenever marks are cleared or replaced wholesale: what was learnt from the list of marked
    // Items (the nearest links of `next_rat_line`) is then void.
    uint64_t marks_epoch = 0;
    // How far `marked` has been given `propagated_signal` (while `propagated_epoch` is the marks epoch):
    // the scan propagates after every trace-on, and only the Items marked since need the Signal.
    size_t propagated = 0;
    Ref propagated_signal = model::kNone;
    uint64_t propagated_epoch = 0;
    std::shared_ptr<RatProgress> rat_progress;
};

// Marks an Item (once) and draws it highlighted.
void mark_item(NetState& s, Ref item);
// Clears one Item's mark and drops it from the list: before the Item is deleted.
void unmark_item(NetState& s, Ref item);
// `ClearMarks`: clears the marks of the listed Items, redraws them and forgets the current Signal.
void clear_marks(NetState& s);
// The same for every Item of the Document, members included: after marks set by someone else (BH).
void clear_all_marks(NetState& s);
void set_current_signal(NetState& s, Ref signal);
// `HighlightSignal`: makes the Signal current, marks every Item carrying it and unmarks all others.
void highlight_signal(NetState& s, Ref signal);
// `PropagateSignal`: every marked Line of non-zero width, Arc with radius at least 1 and Pad gets the
// Signal (use counts adjusted).  Returns how many changed.  Not recorded for undo.
int propagate_signal(NetState& s, Ref signal);

// A Pad as messages name it: "U3-14" for a pad with a pin in a Component, else "pin", "pad", "via" or
// "dot" and " (x,y)" relative to the grid origin in inches with three decimals.
std::string pad_name(const model::Document& doc, Ref pad);
// A coordinate relative to the grid origin, in inches with three decimals and a leading zero ("0.830",
// "-1.250"); `inches3` alone for a length.
std::string point_text(const model::Document& doc, Point p); // "(0.830,1.150)"
std::string inches3(Coord v);

} // namespace trazel::nets
