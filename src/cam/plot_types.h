#pragma once
// What an output row ("-dy") asks for and the fixed sizes every photoplot writer uses.
#include <cstdint>

#include "model/units.h"

namespace trazel::cam {

using model::Coord;
using model::Length;

// --- Output file types --------------------------------------------------------------------------

enum FileType : uint8_t {
    kCopper = 0,
    kPlane = 1,
    kMask = 2,
    kPaste = 3,
    kDrill = 4,
    kSymbols = 5,
    kSilk = 6,
    kAperture = 7,
};
constexpr uint8_t kFileTypeMask = 0x07;
constexpr uint8_t kFileBottom = 0x08;

extern const char* const kFileTypeNames[8];      // "Copper" ... "Aperture"
extern const char* const kFileTypeChoices[8];    // "Copper (normal)" ... as the setup dialog offers them
extern const char* const kFileSideChoices[2];    // "Normal (not bottom)", "Bottom Side"
extern const char* const kSuggestedExtensions[]; // "TSP: Top Solder Paste" ...; ends with nullptr

// --- Fixed sizes ---------------------------------------------------------------------------------

constexpr Length kAperture010 = 655; // 0.010 inch: the plot label
constexpr Length kAperture011 = 721; // 0.011 inch
constexpr Length kAperture007 = 459; // 0.007 inch: drill symbols
constexpr Length kAperture002 = 131; // 0.002 inch: painted rectangles, smallest fill
constexpr Length kMinPadSize = 328;  // 0.005 inch: no flashed pad is smaller
constexpr Length kMinHole = 3;       // a hole below this is no hole
constexpr Coord kFillStep = 65;      // 0.001 inch between painted strokes
constexpr Coord kFillInset = 33;     // half of kFillStep, kept free at each span end
constexpr Coord kLabelUnit = 786;    // character unit of the plot label and the drill table (0.072 inch text)
constexpr Coord kSymbolUnit = 524;   // character unit of the drill symbols at the holes (0.048 inch text)

} // namespace trazel::cam
