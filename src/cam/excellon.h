#pragma once
// The drill side of a photoplot run: the tool table, which Pads have holes, and the Excellon file.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "model/node.h"

namespace trazel::cam {

using model::Length;

// --- Tool table ----------------------------------------------------------------------------------

constexpr int kMaxTools = 30;
constexpr int kSymbolSlots = 32;
constexpr int kNoToolSymbol = 31; // drawn for a hole whose size has no tool

struct Tool {
    Length diameter = 0;
    bool non_plated = false;
    uint32_t hits = 0;
};

// Drill tools 1..30 sorted by diameter, then plated before non-plated.
struct ToolTable {
    std::array<Tool, kMaxTools + 1> tools{}; // tools[1..count]
    int count = 0;
    uint32_t refused = 0; // holes whose size found no free tool

    void clear() {
        *this = ToolTable{};
    }
    // Adds one hit to the tool of this size, making the tool when there is room; returns the tool
    // number or 0 when the table was full.
    int add_hit(Length diameter, bool non_plated);
    int find(Length diameter, bool non_plated) const; // tool number or 0
};

// The stroke-font characters that mark the holes of tool i (0..31) on the drill drawing.
std::string_view drill_symbol(int i);

// Whether a Pad has a drill hole, and whether that hole is non-plated (larger than the pad).
bool pad_has_hole(const model::Node& pad);
bool hole_non_plated(const model::Node& pad);


// An Excellon coordinate: "X" or "X-", two or more integer digits, then the decimal digits of
// 1/10000 inch without trailing zeros.  `v` is already relative to the origin.
std::string excellon_coord(char axis, int64_t v);

struct PlotContext;
struct TextOut;
// The drill file of a run: the optional header, one tool block per tool, the holes.
void write_excellon(PlotContext& ctx, TextOut& out);

} // namespace trazel::cam
