#pragma once
// The fields of one Tango record: blank-separated, a field starting with a double quote is a string in
// which two double quotes stand for one.  Fields are views into the line; only a string holding a
// doubled quote is copied (into one of a few reused buffers), so reading a record allocates nothing.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "model/setup.h"
#include "model/units.h"

namespace trazel::formats::tango {

// Lengths are whole thousandths of an inch; a coordinate beyond this many is held there.
constexpr int64_t kMaxMils = int64_t{model::kCoordLimit} * 1000 / 65536;

class Fields {
  public:
    explicit Fields(std::string_view line) : p_(line.data()), end_(line.data() + line.size()) {
    }

    // The next field ("" and `missing` set when the record has no more).
    std::string_view text();
    // The next field as a whole number of thousandths (a fraction rounds); saturates far outside every
    // range, so the caller's clamps decide.  A field that is not a number reads as 0.
    int64_t number();
    void skip(int n) {
        for (int k = 0; k < n; ++k) {
            text();
        }
    }
    bool more() {
        blanks();
        return p_ < end_;
    }

    // Clamps that note a value beyond range (read with beyond()).
    model::Coord coord(int64_t mils);
    // A width, height or size: 0 .. 65535 units.
    model::Length length(int64_t mils);

    bool missing = false;
    bool beyond = false;

  private:
    void blanks() {
        while (p_ < end_ && *p_ == ' ') {
            ++p_;
        }
    }
    const char* p_;
    const char* end_;
    std::array<std::string, 6>* scratch_ = nullptr;
    size_t next_scratch_ = 0;

  public:
    // Buffers for strings with doubled quotes, kept by the reader so they are allocated once.
    void use_scratch(std::array<std::string, 6>& s) {
        scratch_ = &s;
    }
};

// Tango layer number (modulo 32) to the layer of the board layer set.
uint8_t layer_from_tango(int64_t v);
// The Tango layer number the writer gives each layer of `s`, from its type and the first letter of its
// name (mid copper layers count from 4 in layer order); layer 0 is 14 and layer 255 is 15.
std::array<int, 256> layer_numbers(const model::Setup& s);

} // namespace trazel::formats::tango
