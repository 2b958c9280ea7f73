#pragma once
// The aperture table of a photoplot run: one D-code per shape and size, shared by every Gerber file
// of the run.
#include <array>
#include <cstdint>

#include "model/units.h"

namespace trazel::cam {

using model::Length;

// --- Aperture table ------------------------------------------------------------------------------

// Round (oblong when width != height), rectangle, or the end marker of the table.
enum class ApertureShape : uint8_t { Round = 0, Rect = 1, End = 255 };
inline constexpr ApertureShape kRoundShape = ApertureShape::Round;
inline constexpr ApertureShape kRectShape = ApertureShape::Rect;
inline constexpr ApertureShape kEndShape = ApertureShape::End;

struct Aperture {
    ApertureShape shape = kEndShape;
    Length width = 0;
    Length height = 0;
};

constexpr int kFirstCode = 10;
constexpr int kOverflowCode = 1023;
constexpr int kCodeSlots = 1024;
constexpr int kMaxApertures = kOverflowCode - kFirstCode; // 1013 entries, D10..D1022

// Draft codes: entries from D10 on form one list sorted by width, height and shape, ended by a marker
// entry, so the code of an aperture is its place in the list and the smallest aperture is D10.
struct ApertureTable {
    std::array<Aperture, kCodeSlots + 1> entries{}; // one spare slot holds the marker of a full table
    int end = kFirstCode;                           // index of the end marker
    uint32_t refused = 0;                           // registrations refused because the table was full

    ApertureTable() {
        clear();
    }
    void clear();
    int count() const {
        return end - kFirstCode;
    }
    // Registers an aperture and returns its code; 0 when a size is 0 or the table is full.  A round
    // aperture with height 0 is a circle of the width.
    int add(ApertureShape shape, Length width, Length height);
    // The code of an aperture, or 0 when it is not in the table.
    int find(ApertureShape shape, Length width, Length height) const;
    const Aperture& at(int code) const {
        return entries[static_cast<size_t>(code)];
    }
};

} // namespace trazel::cam
