#pragma once
// The document-wide snaps: Components and Texts to the snap grid, track ends into their pads, surface-mount
// Components' insertion points to their pad centroid.  The grid snaps and the centroid are not recorded for
// undo; the track pad snap is one undo group.
#include <cstdint>

#include "model/fixed.h"
#include "model/model.h"

namespace trazel::edit {

using model::Point;

// Moves every top-level Component, members and vertex chains included, by the offset that puts its
// insertion point on the nearest point of the grid (`grid` in 16.16 units, anchored at `origin`; below one
// unit nothing moves).  Returns how many moved.
int snap_components(model::Document& doc, uint32_t grid, Point origin);
// The same for the origin of every Text, members included (their Components are boxed again).
int snap_texts(model::Document& doc, uint32_t grid, Point origin);

// For every Pad on a conductive layer (a through-hole one on all of them), every top-level track on a
// conductive layer (the pad's own for a surface-mount pad) with an end closer to the pad centre than half
// the pad's smaller size in both axes: with both ends inside it is deleted, otherwise that end goes exactly
// onto the centre.  One undo group; returns how many tracks changed or went.
int track_pad_snap(model::Document& doc);

// Every top-level Component with a surface-mount Pad that has a pin or signal name gets the middle of the
// box of those pad centres (halves toward zero) as its insertion point.  Returns how many moved.
int centroid_snap(model::Document& doc);

} // namespace trazel::edit
