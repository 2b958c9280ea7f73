#pragma once
// The AutoTrax number tables both directions use: layer numbers, arc quadrant masks.
#include <cstdint>

#include "model/units.h"

namespace trazel::formats::protel {

// AutoTrax layer number (taken modulo 16) to the layer of the board layer set.
constexpr uint8_t kLayerOf[16] = {0, 7, 11, 12, 13, 14, 8, 3, 4, 10, 9, 2, 15, 0, 16, 1};

inline uint8_t layer_of(int64_t protel) {
    return kLayerOf[((protel % 16) + 16) % 16];
}

// Quadrant mask (bit 0 the first quadrant) to start and sweep in degrees; the masks that are no run
// of neighbouring quadrants give the full circle (sweep 0).
struct QuarterArc {
    int start, sweep;
};
constexpr QuarterArc kQuadrants[16] = {{0, 0},     {0, 90},    {90, 90},   {0, 180},  {180, 90},  {0, 0},
                                       {90, 180},  {0, 270},   {270, 90},  {270, 180}, {0, 0},    {270, 270},
                                       {180, 180}, {180, 270}, {90, 270},  {0, 0}};

// The mask written for an Arc: index 4 x start quadrant + end quadrant.
constexpr uint8_t kMaskOf[16] = {1, 3, 7, 15, 15, 2, 6, 14, 13, 15, 4, 12, 9, 11, 15, 8};

inline int quadrant_mask(model::Angle start, model::Angle sweep) {
    int s = start >> 14;
    int e = static_cast<model::Angle>(start + sweep - 1) >> 14;
    return kMaskOf[4 * s + e];
}

} // namespace trazel::formats::protel
