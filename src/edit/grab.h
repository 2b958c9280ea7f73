#pragma once
// The grab list: what hangs on the cursor while the user moves it.  Each entry is a working copy of one
// Item with the grab flags saying which of its points follow the cursor; the real Item is Hidden while
// the grab lasts and the display shows the working copies instead, in XOR outline, moved by the cursor.
// A drop writes the copies back with undo records; abandoning restores everything.
//
// The core works on an `Editor` and a `Display` (so it can be tested without the shell); the App-level
// calls at the end are what the shell and the command groups use.
#include <cstdint>

#include "display/display.h"
#include "edit/editor.h"
#include "edit/locate.h"

namespace trazel::edit {

// --- Building a grab -------------------------------------------------------------------------------

// Starts an empty grab on `doc` with the reference point at `ref` (and the cursor there).
void begin_grab(GrabList& g, model::Document& doc, Point ref, uint16_t function);
// Adds an Item (or adds flags to its entry): a working copy is made and the Item becomes Hidden.  An
// Item that is Hidden already without an entry is refused; so is anything when the pool is exhausted.
// Returns the working copy, kNone when refused.  A Solid added whole brings one entry per vertex.
Ref add_entry(GrabList& g, Ref real, uint8_t flags);
// The entry of an Item, or nullptr.
GrabEntry* find_entry(GrabList& g, Ref real);
// Adds the other members of the Component that holds `member` as display companions.
void add_companions(GrabList& g, Ref member);
// Every countable entry (not a companion).
int countable_entries(const GrabList& g);

// Grabbing a point (each end of a grabbed track, a snapped vertex): a Component pad there pulls a new
// track out of it; a via there is grabbed with everything at its centre; otherwise the track ends on the
// current layer stretch.  Returns how many entries it added or changed.
int grab_point(GrabList& g, Point p, Coord line_width);

// The Component grab: whole with every member (and, with `tracks`, the tracks attached to its pads and
// the fan-out vias they lead to), or by one end for a "$$DIM" dimension whose end label holds `cursor`.
int grab_component(GrabList& g, Ref component, Point cursor, bool tracks, Coord tolerance);

// Grab Item: the first Item on `layer` whose own hit test passes with a 2-unit tolerance (walking
// forwards, members included); with layer 0 and nothing hit, a Component's insertion point within 3
// units (the members shown as companions).  Returns the Item grabbed, kNone when nothing was.
Ref grab_item_at(GrabList& g, int layer, Point p);

// --- While it hangs --------------------------------------------------------------------------------

// The displacement of the working copies (at - ref).
Point grab_offset(const GrabList& g);
// Moves the reference point to `at` (under the ortho constraint of `angle_mode` when one track end
// hangs), redrawing the XOR images.
void move_grab(GrabList& g, display::Display& d, Point at, int angle_mode);
// XOR images of the working copies: show draws them (once), hide takes them away.
void show_grab(GrabList& g, display::Display& d);
void hide_grab(GrabList& g, display::Display& d);
// The draw_held hook: held sources in the marker colour, then the XOR images, into one clip rectangle
// of a full redraw.
void draw_held(GrabList& g, display::Display& d, display::Raster& r);

// --- Transforms of what hangs (about the grab reference point) -------------------------------------

enum class Transform {
    Rotate90, // GR: 90 degrees counter-clockwise; Texts are kept readable
    Rotate,   // GN: by `value` (a binary angle)
    MirrorX,  // GX: about the horizontal axis
    MirrorY,  // GY: about the vertical axis
    OtherSide, // GM: mirrored onto the other copper side, layers exchanged by the Layer table's pairs
    Scale,    // GS: by `value` (16.16)
};
// Transforms every grabbed point of the working copies and the angles of the Items that move whole.
// Returns 0 (and changes nothing) when the grab list is empty.
int transform_grab(GrabList& g, display::Display& d, Transform t, int32_t value = 0);
// The same transform on one Node outside any grab: the points `flags` names (kGrabWhole for all, one end
// of a track, kGrabFirst for a ring head's hook) and, when it moves whole, its angles.  The Block uses it.
void transform_node(model::Node& n, uint8_t flags, Transform t, int32_t value, Point pivot);
// The layer on the other side that pairs with `layer`: the i-th layer of a type on the top side pairs with
// the i-th layer of that type on the bottom side (in table order).  A layer without a pair stays.
int other_side_layer(const model::Setup& s, int layer);

// --- Ending it ---------------------------------------------------------------------------------------

// Commits the grab: undo records in one group, copies written back, drop-delete entries and collapsed
// tracks deleted, Components boxed, Hidden flags cleared, the Document marked modified.  With nothing
// countable the grab is abandoned instead.  Returns non-zero when something was dropped.
int drop(GrabList& g, display::Display& d);
// Abandons the grab: new Items removed and forgotten, the others shown again where they were.  Returns
// non-zero when there was a grab.
int abandon(GrabList& g, display::Display& d);
// Frees the working copies and empties the list (no change to the Document).
void clear_grab(GrabList& g);

} // namespace trazel::edit
