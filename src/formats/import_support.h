#pragma once
// What the Gerber and Excellon readers share: number scaling into coordinate units, the skip report
// that folds repeats of one construct into one entry, and the Item maker that honours the current
// Signal and the clear polarity.
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "formats/gerber_in.h"
#include "model/model.h"

namespace trazel::formats::detail {

extern const int64_t kPow10[19];

// v x 10^-e inches (or millimetres) in coordinate units, rounded to nearest and saturated well beyond
// the coordinate limit; millimetres are scaled by 169093200 / 2^32.
int64_t scaled_units(int64_t v, int e, bool mm);
// A double in inches (or millimetres) to coordinate units, saturated; NaN reads as 0.
int64_t double_units(double v, bool mm);
// Degrees to a binary angle.
model::Angle degrees_angle(double deg);

// A decimal number: optional sign, digits, optional point and fraction.  `digits` counts the digits
// before any point (leading zeros included), `point` tells whether a point was there; `v` holds up to
// 18 significant digits and `e` the decimal exponent so that the value is v x 10^-e.  Returns false
// when no digit was found or the integer part does not fit in 32 bits (`too_big` set).
struct Decimal {
    int64_t v = 0;
    int e = 0;
    int digits = 0;
    bool point = false;
    bool negative = false;
    bool too_big = false;
};
bool read_decimal(std::string_view s, size_t& p, Decimal& d);
// A plain unsigned integer; false when there is none or it does not fit in 32 bits (the digits are
// still taken).
bool read_uint(std::string_view s, size_t& p, uint32_t& out, bool* too_big = nullptr);
// The number after a code letter (T1, G04, D10): false with none; a number beyond 32 bits is also
// false and goes to the skip report as "<letter> <what> beyond 32 bits".
template <class Note>
bool read_code(std::string_view s, size_t& p, char letter, std::string_view what, uint32_t& out, Note&& note) {
    bool big = false;
    if (read_uint(s, p, out, &big)) {
        return true;
    }
    if (big) {
        note(std::string(1, letter) + " " + std::string(what) + " beyond 32 bits");
    }
    return false;
}

class Reporter {
  public:
    explicit Reporter(const ImportJob& job) : job_(job) {
    }
    void note(std::string_view construct, int64_t line, int64_t objects = 1);

  private:
    const ImportJob& job_;
    std::map<std::string, size_t, std::less<>> index_;
};

struct Vertex {
    int64_t x = 0, y = 0;
};

// Makes Items on one layer of one ring, shifted by the user origin; Items made under a clear polarity
// or inside an aperture block are left out and reported.
class ItemMaker {
  public:
    ItemMaker(model::Document& doc, uint8_t layer, Reporter& rep, ImportStats& stats);

    model::Ref line(int64_t x1, int64_t y1, int64_t x2, int64_t y2, int64_t width);
    model::Ref pad(int64_t x, int64_t y, int type, int64_t w, int64_t h, int64_t hole, model::Angle angle);
    // Start angle and sweep counter-clockwise; sweep 0 is the full circle.
    model::Ref arc(int64_t cx, int64_t cy, int64_t r, model::Angle start, model::Angle sweep, int64_t width);
    model::Ref solid(const std::vector<Vertex>& pts);

    // A round, rectangular or oval shape too large for a Pad, as a Solid.
    model::Ref big_shape(int kind, double cx, double cy, double w, double h, double angle_deg);

    std::string signal;
    bool clear = false;    // %LPC
    bool in_block = false; // inside an aperture block definition
    int64_t line_no = 0;
    bool out_of_nodes = false;
    model::Ref ring;

  private:
    bool gate();
    void tag(model::Ref r);

    uint8_t layer_;
    Reporter& rep_;
    ImportStats& stats_;
    model::Coord ox_, oy_;
};

// Points of a circle (kind 0), rectangle (1) or oval (2) outline, chorded within 0.001 inch.
void shape_outline(int kind, double cx, double cy, double w, double h, double angle_deg, std::vector<Vertex>& out);

} // namespace trazel::formats::detail
