#pragma once
// The editing subsystem's state: the grab list (the working copies of what hangs on the cursor) and the
// settings the Grab and Un-do groups keep between uses.  One `Editor` lives in the App; the undo stacks
// live per Document, in Nodes hung from the Document's undo anchor (undo.h).
#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <optional>
#include <unordered_map>
#include <vector>

#include "edit/block.h"
#include "edit/spatial_index.h"
#include "model/geometry.h"
#include "model/model.h"

namespace trazel {
struct App;
}

namespace trazel::edit {

using model::Coord;
using model::Point;
using model::Ref;

// Grab flags of one entry.
enum GrabFlag : uint8_t {
    kGrabFirst = 0x01,  // a Line's X1,Y1; an Arc's, Pad's or Text's origin; a Component's first corner
    kGrabSecond = 0x02, // a Line's X2,Y2; an Arc's end point
    kGrabWhole = kGrabFirst | kGrabSecond,
    kGrabNew = 0x04,        // created by this grab; did not exist before
    kGrabDropDelete = 0x08, // deleted when the grab is dropped
    kGrabCompanion = kGrabNew | kGrabDropDelete, // shown for display only; never moves, never dropped
    kGrabArcStart = 0x10, // with kGrabSecond on an Arc: the end grabbed is the start of the sweep
    kGrabVertex = 0x20,   // the real Item is a vertex Node of a Solid's chain
};

struct GrabEntry {
    Ref copy = model::kNone; // the working copy: a Node of its own, in no ring
    Ref real = model::kNone; // the Item (or vertex Node, or member ring head) it stands for
    uint8_t flags = 0;

    bool companion() const {
        return (flags & kGrabCompanion) == kGrabCompanion;
    }
    bool is_new() const {
        return (flags & kGrabCompanion) == kGrabNew;
    }
    bool drop_delete() const {
        return (flags & kGrabCompanion) == kGrabDropDelete;
    }
};

struct GrabList {
    model::Document* doc = nullptr; // the Document the entries belong to
    std::vector<GrabEntry> entries;
    std::unordered_map<Ref, size_t> index; // real Item -> entry
    // The grab reference point in working-copy coordinates, and where it is now: the working copies
    // are shown (and dropped) moved by at - ref.
    Point ref{};
    Point at{};
    // The fixed end the ortho constraint measures from, while one track hangs by one end.
    std::optional<Point> anchor;
    // What is on the screen: the XOR images drawn with this displacement.
    bool shown = false;
    Point shown_at{};
    // Set while a grab is being built, so cursor jumps do not draw half a grab.
    bool building = false;
    uint16_t function = 0;  // the command that made the grab
    Ref scratch = model::kNone; // one Node reused to show moved copies
    // A cursor jump made to set the grab up, to be undone once it is built (GC found by the dialog).
    std::optional<Point> return_cursor;
    // A $$DIM Component grabbed by one end.
    Ref dimension = model::kNone;
    // The Editor's index of the Document, kept in step with what the grab changes; unset, the plain
    // walks are used.  It outlives each grab.
    SpatialIndex* spatial = nullptr;

    bool empty() const {
        return entries.empty();
    }
};

// The Find Component dialog's patterns (shared with the Edit group's Find Component).
struct FindComponentState {
    std::array<std::string, 5> patterns;
    Ref last = model::kNone; // the Component found last, for "Next"
};

struct Editor {
    GrabList grab;
    SpatialIndex index; // of the current Document, for the clicks of the Grab functions
    FindComponentState find_component;
    Block block; // at most one, program-wide
    model::Angle rotation_angle = 0; // "RotationAngleBox", kept between uses
    int32_t scaling_factor = 0x10000; // "ScalingFactorBox", 16.16, preset 1.0
    // Called when a dimension Component dragged by one end has moved, so its text and arrows follow;
    // the Place group fills it.  Unset: the end's members move with it and nothing is rewritten.
    std::function<void(App&, Ref dimension)> dimension_follow;
};

} // namespace trazel::edit
