#pragma once
// The Block: one rectangular or polygonal area of one Document with a set of selected layers, which the
// Block commands move, copy, turn, delete, compare or build into a Component.  There is at most one at a
// time (it lives in the Editor); it belongs to the Document it was defined in.
//
// The engine here works on a Block and the Document it is given; block_commands.cpp is the B group.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "model/fixed.h"
#include "model/model.h"

namespace trazel::display {
struct Display;
}

namespace trazel::edit {

using model::Coord;
using model::Point;
using model::Ref;

enum class BlockAction : uint8_t { None, Move, Copy, Compare };

struct Block {
    model::Document* doc = nullptr; // the owner; none: no Block
    // Left, bottom, right, top; with an outline, the bounds of its vertices.
    Coord left = 0, bottom = 0, right = 0, top = 0;
    // A polygonal Block's outline (closed implicitly); empty for a plain rectangle.
    std::vector<Point> outline;
    Point source{}; // the source reference point
    std::array<bool, 256> layers{};
    // The transform of the next move or copy.
    int32_t scale = 0x10000; // 16.16
    model::Angle angle = 0;  // 16-bit turns
    bool mirror_x = false, mirror_y = false;
    BlockAction pending = BlockAction::None; // a target point awaited
    bool from_key = false;                   // BG came from a key: BM follows the source point

    bool defined() const {
        return doc != nullptr;
    }
    bool defined_in(const model::Document& d) const {
        return doc == &d;
    }
};

// How an Item stands to the Block.  Layer rule first (a through-hole Pad counts as layer 0).
enum class Membership : uint8_t {
    Outside,   // not selected, or not inside
    Inside,    // every point that counts lies inside
    Stretched, // a track with exactly one end inside: only that end moves on a move
};

// A point inside the box and, for a polygonal Block, inside the outline (a point on an edge counts).
bool point_in_block(const Block& b, Point p);
// The membership test: a Pad or Text by its origin; a circular Arc with a sweep below half a turn (a full
// circle, sweep 0, excluded) by both end points, other Arcs by the centre; a Component or a Solid by both
// corners of its box; a track by its ends.
Membership block_membership(const Block& b, const model::Document& doc, Ref item);
// Whole members (what BD, BB and BN take).
inline bool inside_block(const Block& b, const model::Document& doc, Ref item) {
    return block_membership(b, doc, item) == Membership::Inside;
}
// The complementary test of BU: on a selected layer with a point outside.
bool outside_block(const Block& b, const model::Document& doc, Ref item);

class SpatialIndex;

// --- Definition ----------------------------------------------------------------------------------
// Every layer that is displayed and named is selected.
void select_block_layers(Block& b, const model::Setup& s);
// A rectangular Block from two corners in any order; a polygonal one from its vertices (at least three).
// Both reset the transform and select the layers.
void define_block(Block& b, model::Document& doc, Point corner1, Point corner2, Point source);
void define_block(Block& b, model::Document& doc, const std::vector<Point>& polygon, Point source);
void release_block(Block& b);
void reset_block_transform(Block& b);

// The top-level Items inside (with `stretched`, tracks with one end inside too), in ring order.  Given
// an index that covers the Document only the Items near the Block are looked at.
std::vector<Ref> block_members(const Block& b, const model::Document& doc, bool stretched,
                               const SpatialIndex* index = nullptr);
// The Block's transform of one point: about the source reference point, mirrored, scaled, turned, then
// carried to `target`.
Point block_point(const Block& b, Point p, Point target);

// What a Block command changed, for the caller to redraw.
struct BlockResult {
    int items = 0;  // Items moved, copied, deleted or found different
    model::Box area; // covered before and after
};

// BM in the owning Document: every member carried by the transform (stretched tracks by their inside
// end), one undo group; the Block follows and its target becomes the source; the transform is reset.
BlockResult block_move(Block& b, Point target, SpatialIndex* index = nullptr);
// BM onto another sheet of the same schematic: the members are copied into `to` (recorded there) and
// deleted from the owner (recorded there); the Block passes to `to`.
BlockResult block_move_to(Block& b, model::Document& to, Point target);
// Whether two Document names are sheets of one schematic: the same name with extensions "S", then "H"
// or a digit, then a digit.
bool sheets_of_one_schematic(std::string_view a, std::string_view b);
// BC: copies of the whole members in `to` (the owner or another Document), carried by the transform,
// each Reference ID's number raised by `increment`; one undo group in `to`.
BlockResult block_copy(const Block& b, model::Document& to, Point target, int increment);
// Whether a Component with a Reference ID is among the members (BC then asks for an increment).
bool block_has_references(const Block& b);
// BD (inside) and BU (outside): the top-level Items deleted in one undo group of the owner.
BlockResult block_delete(const Block& b, bool inside, SpatialIndex* index = nullptr);
// BH: marks the differences between the Block and the same area shifted by target - source in `doc`.
BlockResult block_compare(const Block& b, model::Document& doc, Point target, const SpatialIndex* index = nullptr);
// BB (`pseudo` false: contained Components are dissolved into the new one) and BN (they stay nested):
// a new Component of the Items inside with `fields` as its Parameters and the source point as its hook.
// Not recorded: both undo stacks of the Document are emptied, since older records could put Items back
// into the new Component's ring.  The Block is released.  kNone when nothing was inside.
Ref block_build(Block& b, const std::array<std::string, 5>& fields, bool pseudo);

// The Reference ID with its number raised by `increment`: "U1" + 10 -> "U11", "R7a-2" + 3 -> "R10a-2".
// Unchanged without a number.
std::string raise_reference(std::string_view ref, int increment);
// A deep copy of an Item (members, text, vertices, pin and Signal) appended to `ring`; kNone when the
// pool ran out (nothing is left behind).
Ref copy_item(Ref ring, Ref item);

} // namespace trazel::edit
