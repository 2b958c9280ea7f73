#pragma once
// Image rectification: the least-squares mapping through pairs of reference points, the rectangle of the
// straightened picture, and its resampling into a new pixel image block.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "images/block.h"
#include "model/fixed.h"
#include "platform/run_context.h"

namespace trazel::images {

// A point of the picture (source) and the place on the drawing where it belongs (target), coordinate units.
struct ReferencePair {
    model::Point source, target;
};

constexpr int kMinimumPairs = 4;

// From a drawing position (x, y) to a position on the source picture (X, Y), inches both:
//   X = c0 x + c2 y + c4 + c6 xy + c8 x² + c10 y²
//   Y = c1 x + c3 y + c5 + c7 xy + c9 x² + c11 y²
struct Mapping {
    std::array<double, 12> c{};

    void apply(double x, double y, double& X, double& Y) const {
        X = c[0] * x + c[2] * y + c[4] + c[6] * x * y + c[8] * x * x + c[10] * y * y;
        Y = c[1] * x + c[3] * y + c[5] + c[7] * x * y + c[9] * x * x + c[11] * y * y;
    }
};

// The least-squares fit of 1, x, y and xy per axis (targets the variables, sources the values); c8 to
// c11 stay 0.  False when there are fewer than four pairs or the targets do not fix the four terms (all
// on one line, or on two lines parallel to the axes).
bool fit_mapping(const std::vector<ReferencePair>& pairs, Mapping& m);

// Where the straightened picture goes: the box of the four corners of the old rectangle taken back
// through the affine part of the mapping (each edge rounded to coordinate units), and its size at the
// old resolution.
struct Placement {
    int32_t left = 0, bottom = 0, right = 0, top = 0;
    int32_t width = 0, height = 0;
};

enum class RectifyStatus {
    Done,
    TooFewPairs,
    NotAPicture, // the block cannot be drawn, so it cannot be resampled either
    Singular,
    TooLarge,
    Cancelled,
};

struct RectifyResult {
    RectifyStatus status = RectifyStatus::Done;
    Mapping mapping;
    Placement placement;
    std::vector<uint8_t> block; // the new block (Done only)
    std::string message;        // why it failed, in the words of the message box
};

// Fits, places and resamples `block` (which is left alone): rows from the top with the progress on
// `run`, each output byte the bilinear blend of the four source pixels around its position (16-bit
// pictures blend 16-bit values), black outside the source.  The new block keeps the palette kind,
// palette, value map, display settings, file name and resolution.
RectifyResult rectify(const std::vector<uint8_t>& block, const std::vector<ReferencePair>& pairs,
                      platform::RunContext& run);

// The parts of the run, for the batch tool and the tests.
bool place_rectified(const BlockHeader& source, const Mapping& m, Placement& p, std::string& why);
// How the 8- and 24-bit rows are worked: Fast steps the position in fixed point and blends with
// 12-bit fractions; Plain evaluates every pixel in double precision, as written, and is the oracle of
// Fast (they differ by at most one level where a blend lies within 1/4096 of a half).  16-bit pictures
// and mappings with x² terms always take Plain.
enum class ResampleMode { Fast, Plain };
// Fills the pixels of `out` (header written, sized for `p`); false when `run` was cancelled.
bool resample(const std::vector<uint8_t>& block, const BlockHeader& source, const Mapping& m, const Placement& p,
              std::vector<uint8_t>& out, platform::RunContext& run, ResampleMode mode = ResampleMode::Fast);

// "first", "second", "third", "fourth" and from the fifth on "next": the source point asked for.
const char* source_ordinal(int n);
// The box text for 1 to 3 pairs, and that text without its question, for the batch tool.
std::string too_few_pairs_text(int pairs);
std::string too_few_pairs_line(int pairs);

} // namespace trazel::images
