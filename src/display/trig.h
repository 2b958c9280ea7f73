#pragma once
// Integer trigonometry on binary angles (65536 to the turn, counter-clockwise from +X).
//
// Sines and cosines are fixed-point numbers with 16 fraction bits: kTrigOne (65536) is 1.0, so a 16.16
// coordinate times a sine is shifted right by 16 (see `Rotation`).  The values come from a 257-entry
// quarter-wave table (one entry every 64 angle units, 0 to 90 degrees inclusive) with linear
// interpolation between entries; the table is computed at compile time, so every build and every host
// gives the same numbers.  The largest error against the true sine is below one unit of 1/65536.
//
// The arctangent goes through a 257-entry table of atan(i / 256) for the first octant, interpolated the
// same way; results are within one angle unit of the true angle.
#include <array>
#include <cstdint>

#include "model/fixed.h"

namespace trazel::display {

using model::Angle;

constexpr int32_t kTrigOne = 65536;   // 1.0 in the sine and cosine results
constexpr Angle kQuarterTurn = 16384; // 90 degrees
constexpr Angle kHalfTurn = 32768;    // 180 degrees

// Sine and cosine of `a`, scaled by kTrigOne: sin16(0) = 0, sin16(16384) = 65536, cos16(32768) = -65536.
// Exactly odd and periodic: sin16(-a) = -sin16(a), sin16(a + 32768) = -sin16(a).
int32_t sin16(Angle a);
int32_t cos16(Angle a);

// The angle of the vector (dx, dy), counter-clockwise from +X: atan2_16(1, 0) is 16384 (+Y),
// atan2_16(0, -1) is 32768.  The zero vector gives 0.  Any 64-bit inputs are accepted; large ones are
// scaled down before dividing, so nothing overflows.
Angle atan2_16(int64_t dy, int64_t dx);

// The raw quarter-wave tables, for code that wants to step through them: sine_table()[i] is
// round(65536 sin(i * 90 / 256 degrees)); atan_table()[i] is round(atan(i / 256) * 65536 / 2pi), so
// atan_table()[256] is 8192 (45 degrees).
const std::array<int32_t, 257>& sine_table();
const std::array<uint16_t, 257>& atan_table();

// A rotation by one angle, with the sine and cosine looked up once.  apply() turns (x, y) about the
// origin and rounds to the nearest unit (halves towards +infinity), with 64-bit intermediates.
struct Rotation {
    int32_t sin = 0;
    int32_t cos = kTrigOne;

    static Rotation of(Angle a) {
        return Rotation{sin16(a), cos16(a)};
    }
    int64_t x(int64_t px, int64_t py) const {
        return model::round16(px * cos - py * sin);
    }
    int64_t y(int64_t px, int64_t py) const {
        return model::round16(px * sin + py * cos);
    }
};

} // namespace trazel::display
