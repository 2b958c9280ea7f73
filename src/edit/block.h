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

} // namespace trazel::edit
