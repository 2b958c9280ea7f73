#pragma once
// The pick-and-place file of a board: one CSV row per Component with surface-mount pads (all Components
// with `all`), its centre the pads' centroid relative to the user origin.
#include <string>

#include "model/model.h"

namespace trazel::cam {

struct PickPlaceOptions {
    bool mm = false;  // millimetres, otherwise inches
    bool all = false; // through-hole Components too
};

// The whole file (UTF-8, CR LF line ends as CSV has them): a header line, then one row per Component,
// in natural order of references: reference, value, pattern, X, Y, rotation
// (degrees counter-clockwise), side ("top"/"bottom").
std::string pick_place_csv(const model::Document& doc, const PickPlaceOptions& o);

} // namespace trazel::cam
