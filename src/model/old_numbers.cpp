// The number forms of the older data files, in both directions: the readers and the 3.8 writer must
// agree on every rounding, or a file read and written again would drift.
#include <algorithm>
#include <cmath>

#include "model/old_format.h"

namespace trazel::model {

namespace {

// n / d rounded to nearest with halves away from zero (d > 0).
int64_t div_round_away(int64_t n, int64_t d) {
    return n >= 0 ? (n + d / 2) / d : -((-n + d / 2) / d);
}

// Values far outside any coordinate would overflow the products below; they end up clamped anyway.
constexpr int64_t kProductCap = int64_t{1} << 40;

} // namespace

int32_t units_to_old_length(int64_t units) {
    int64_t v = std::clamp(units, -kProductCap, kProductCap);
    return static_cast<int32_t>(div_round_away(v * 1000, 65536));
}

Angle short_angle_to_angle(int64_t v) {
    return static_cast<Angle>(static_cast<uint64_t>(v) << 8);
}

int32_t angle_to_short_angle(Angle a) {
    return ((static_cast<int32_t>(a) + 128) >> 8) & 255;
}

uint16_t short_fraction_to_field(int64_t v) {
    return static_cast<uint16_t>(static_cast<uint64_t>(v) << 8);
}

int32_t field_to_short_fraction(uint16_t f) {
    return ((static_cast<int32_t>(f) + 128) >> 8) & 255;
}

Point text_corner_offset(int anchor, Length height, Coord length, Angle angle) {
    int64_t h = height, len = length;
    int64_t dx = 0, dy = 0;
    switch (anchor & 3) {
    case 1:
        dx = -(len / 2);
        break;
    case 2:
        dx = -len;
        break;
    case 3:
        dx = h / 3;
        break;
    default:
        break;
    }
    switch ((anchor >> 2) & 3) {
    case 1:
        dy = -(h / 2);
        break;
    case 2:
        dy = -h;
        break;
    case 3:
        dy = h / 3;
        break;
    default:
        break;
    }
    // Sine and cosine in 16.16, exact at the quarter turns.
    int64_t sn = 0, cs = 65536;
    switch (angle) {
    case 0:
        break;
    case 16384:
        sn = 65536, cs = 0;
        break;
    case 32768:
        cs = -65536;
        break;
    case 49152:
        sn = -65536, cs = 0;
        break;
    default: {
        double t = angle * (2 * 3.14159265358979323846 / 65536);
        sn = std::lround(std::sin(t) * 65536.0);
        cs = std::lround(std::cos(t) * 65536.0);
        break;
    }
    }
    int64_t x = round16(dx * cs - dy * sn), y = round16(dx * sn + dy * cs);
    return Point{clamp_coord(x), clamp_coord(y)};
}

} // namespace trazel::model
