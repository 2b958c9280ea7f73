#pragma once
// The Edit functions without the shell: the pattern compare of the find functions, the walks that pick
// what one edit changes (connected track, all alike, pads and texts alike), the text anchor offsets,
// and the changes themselves, each call one undo group.  edit_commands.cpp adds the dialogs and clicks.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "display/display.h"
#include "edit/block.h"
#include "edit/place_draw.h"
#include "edit/spatial_index.h"
#include "model/model.h"

namespace trazel::edit {

using model::Angle;
using model::Coord;
using model::Point;
using model::Ref;

// --- Patterns ----------------------------------------------------------------------------------------

// Find Component's compare of one parameter field: case ignored; an empty pattern or one beginning with
// a blank matches anything; "?" matches one character; "*" followed by a character skips forward to the
// next place that character stands; "*" at the end matches the rest; otherwise the field must end where
// the pattern ends.
bool field_matches(std::string_view pattern, std::string_view field);
// Find Text's compare: a pattern in angle brackets must match the whole text, any other is looked for
// anywhere in it (the field compare at every starting place, the rest of the text free).
bool text_matches(std::string_view pattern, std::string_view text);

constexpr std::size_t kTextPatternLimit = 255;
constexpr std::size_t kFieldPatternLimit = 24;

// --- Finds -------------------------------------------------------------------------------------------

// A Text's characters as the user types them (a Signal label's name on a schematic signal layer).
std::string text_characters(Ref text);
// The first Text (members included, in the order of the Item list) after `after` whose characters match;
// `after` kNone, or no longer in the Document, starts at the beginning.  kNone when none matches.
Ref find_text(const model::Document& doc, std::string_view pattern, Ref after);
// Where the cursor goes for a found Text: the middle of its length for a left-anchored Text, else its
// origin.
Point text_find_point(Ref text);
// The first top-level Component after `after` whose five fields match the five patterns.
Ref find_component(const model::Document& doc, const std::array<std::string, 5>& patterns, Ref after);

// --- One undo group ----------------------------------------------------------------------------------

// Collects the records of one edit: numbers them into one group, gathers the area to redraw, and at the
// end boxes the Components whose members changed, marks the Document modified and redraws.
class EditGroup {
  public:
    explicit EditGroup(model::Document& doc) : doc_(doc) {}
    // Before an Item (or a member ring head) changes; `owner` is the Component holding it, if any.
    void modify(Ref item, Ref owner = model::kNone);
    // After a new Item was linked in.
    void create(Ref item, Ref owner = model::kNone);
    // Deletes an Item into the group.
    void remove(Ref item, Ref owner = model::kNone);
    int records() const {
        return number_;
    }
    // Returns the number of records written (0: nothing changed).
    int finish(display::Display* d);

  private:
    void touch_owner(Ref owner);

    model::Document& doc_;
    int number_ = 0;
    model::Box region_;
    std::vector<Ref> changed_;
    std::vector<Ref> owners_;
};

// The ring an Item is linked in, and the Component that owns that ring (kNone at the top level).
Ref container_of(Ref item);
Ref component_of(Ref item);

// --- Edit Line (EL) ----------------------------------------------------------------------------------

// The scope a dialog ends with: the Item alone; EL's connected track, or for EP and EX the Component (or
// the top level) that holds the Item; everything alike in the Document.
enum class EditScope : int { This = 0, Connected = 1, All = 2 };

// The connected track through `track`: from both its ends, every track of its ring on its layer with its
// width whose end lies within a quarter of the width of a reached point; a reached point inside a Pad
// of shape code 0 to 2 on that layer (within a quarter of the pad's smaller size of its centre) is not
// followed.  The reached points are kept however many there are.  With an index covering the Document
// the candidates come from it, else the rings are walked.  `track` comes first.
std::vector<Ref> connected_tracks(const model::Document& doc, Ref track, const SpatialIndex* index = nullptr);
// Every Line and Arc of the Document (members included) with the clicked Line's layer, width and
// highlight state, on the same side of `block` as it when the Block belongs to this Document.
std::vector<Ref> lines_alike(const model::Document& doc, Ref line, const Block* block = nullptr);

// Sets layer and width of the track and, by scope, of the others; one group.  Returns the records.
int edit_lines(model::Document& doc, display::Display* d, Ref track, EditScope scope, int layer, Coord width,
               const SpatialIndex* index = nullptr, const Block* block = nullptr);

// --- Edit Arc (EA) -----------------------------------------------------------------------------------

ArcMaking arc_values(Ref arc);
// One "modified" record.
int edit_arc(model::Document& doc, display::Display* d, Ref arc, const ArcMaking& v);

// --- Edit Pad (EP) -----------------------------------------------------------------------------------

struct PadValues {
    PadMaking pad;
    std::string pin;    // pin name or number
    std::string signal; // Signal name, "" for none
};
PadValues pad_values(Ref pad);

// The schematic pin-number Text of a member Pad: on layer 5, angle 0, length above 0, its box grown by
// 3932 units holding the pad centre, its characters the Pad's pin name.  kNone when there is none.
Ref pin_number_text(Ref pad);

// Replaces the Pad by a new one with `v` (and, in a schematic, its pin-number Text by one with the new
// pin name); with scope Connected (the container) or All, the Pads alike get the new layer, type, sizes,
// hole and angle.  One group.  Returns the new Pad, kNone when nothing was made.
Ref edit_pad(model::Document& doc, display::Display* d, Ref pad, const PadValues& v, EditScope scope,
             const Block* block = nullptr);

// --- Edit Text parameters (EX) -----------------------------------------------------------------------

// The move of a Text's origin that keeps its characters in place when its anchor changes from `from` to
// `to`, in the Text's own frame (length `length`, height `height`), before turning.  Halves are rounded
// toward zero, thirds are integer divisions.
Point anchor_offset(int from, int to, int64_t length, int64_t height);
// The same turned by the Text's angle.
Point anchor_shift(Ref text, int to);

struct TextValues {
    int layer = 0;
    Coord height = 0;
    Angle angle = 0;
    int anchor = 0, font = 0;
    bool mirrored = false; // as the dialog shows it: relative to the layer's side
};
TextValues text_values(const model::Setup& s, Ref text);

// Changes the Text to `v` (anchor moved first, then font, layer, height, angle, mirroring, and the length
// measured again); with a wider scope every other Text on the old layer that still has the edited Text's
// old value of each property the user changed gets those changes too.  One group.
int edit_text_params(model::Document& doc, display::Display* d, Ref text, const TextValues& v, EditScope scope,
                     const Block* block = nullptr);

// --- Edit Text data (ET) -----------------------------------------------------------------------------

// Stores typed characters in the Text (its own group; the old characters stay with the record).  0 when
// they are the same as before or empty.
int retype_text(model::Document& doc, display::Display* d, Ref text, std::string_view typed);
// The Text before (`up`) or after the given one in its ring, going round; the Text itself when it is the
// only one.
Ref neighbour_text(Ref text, bool up);

// --- Edit Component (EI, EC) -------------------------------------------------------------------------

std::array<std::string, 5> component_fields(Ref c);
// New Parameters (one "modified" record of the member ring head), the member Texts that show a field
// measured again, and a top-level Component moved to its sorted place.  One group.
int edit_component(model::Document& doc, display::Display* d, Ref c, const std::array<std::string, 5>& fields);
// The Components of the Document in ring order, for the list.
std::vector<Ref> components_of(const model::Document& doc);

} // namespace trazel::edit
