#pragma once
// Units of the Document: coordinates in 1/65536 inch, short lengths, binary angles.
#include <cstdint>

namespace trazel::model {

using Coord = int32_t;   // signed 16.16 inches (65536 = 1 inch)
using Length = uint16_t; // short length (width, pad size, text height), below one inch
using Angle = uint16_t;  // 65536 to the full turn, counter-clockwise from +X

constexpr Coord kInch = 65536;
constexpr int32_t kFixedOne = 65536;

// Two points count as the same place when they differ by less than this in each axis.
constexpr Coord kSamePlace = 4;

constexpr Angle degrees_to_angle(int deg) {
    return static_cast<Angle>((static_cast<int64_t>(deg) * 65536 / 360) & 0xFFFF);
}

// Thousandths of an inch to coordinate units, rounded to nearest.
constexpr Coord mils_to_units(int64_t mils) {
    int64_t v = mils * 65536;
    return static_cast<Coord>(v >= 0 ? (v + 500) / 1000 : -((-v + 500) / 1000));
}

// Millimetres (as a 16.16 value) to inches (16.16): the integer part and the fraction are scaled by
// 169093201 / 2^32 (= 1/25.4) separately so nothing overflows.
constexpr int32_t mm_to_inch_fixed(int32_t mm16) {
    bool neg = mm16 < 0;
    uint32_t m = neg ? static_cast<uint32_t>(-static_cast<int64_t>(mm16)) : static_cast<uint32_t>(mm16);
    uint64_t hi = static_cast<uint64_t>(m >> 16) * 169093201ULL;          // integer mm scaled, 16.32 -> shift 16
    uint64_t lo = static_cast<uint64_t>(m & 0xFFFF) * 169093201ULL;       // fraction, already 16 bits down
    uint64_t r = (hi >> 16) + (lo >> 32);
    return neg ? -static_cast<int32_t>(r) : static_cast<int32_t>(r);
}

// Coordinates are held to +-16384 inches (one unit inside), so that a centre plus a radius, or a box
// grown by half a pad, still fits in 32 bits.  Every coordinate made from outside or computed values
// (read from a file, snapped, transformed, a box written out) goes through clamp_coord, so that nothing
// the Data file writer writes is changed by reading it back.
constexpr Coord kCoordLimit = (1 << 30) - 1;

constexpr Coord clamp_coord(int64_t v) {
    return static_cast<Coord>(v < -kCoordLimit ? -kCoordLimit : v > kCoordLimit ? kCoordLimit : v);
}

// Snap a value to the nearest 0.001 inch (schematic rule on save).  The limit itself rounds up to
// exactly 16384 inches, one unit outside, so the result is clamped like any other coordinate.
constexpr Coord snap_to_mil(Coord v) {
    int64_t mils = v >= 0 ? (static_cast<int64_t>(v) * 1000 + 32768) / 65536
                          : -((-static_cast<int64_t>(v) * 1000 + 32768) / 65536);
    int64_t u = mils * 65536;
    return clamp_coord(u >= 0 ? (u + 500) / 1000 : -((-u + 500) / 1000));
}

} // namespace trazel::model
