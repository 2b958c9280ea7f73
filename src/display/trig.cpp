#include "display/trig.h"

namespace trazel::display {

namespace {

constexpr double kPi = 3.14159265358979323846;

// Power series evaluated in the compiler, so the tables do not depend on the host's maths library.
constexpr double series_sin(double x) {
    double term = x, sum = x;
    for (int n = 1; n < 30; ++n) {
        term *= -x * x / ((2 * n) * (2 * n + 1));
        sum += term;
    }
    return sum;
}

constexpr double series_atan(double x) {
    // atan(x) = pi/4 + atan((x - 1) / (x + 1)) brings the argument below tan(22.5 degrees), where the
    // series converges fast.
    double base = 0;
    if (x > 0.41421356) {
        base = kPi / 4;
        x = (x - 1) / (x + 1);
    }
    double term = x, sum = x;
    for (int n = 1; n < 40; ++n) {
        term *= -x * x;
        sum += term / (2 * n + 1);
    }
    return base + sum;
}

constexpr int32_t round_positive(double v) {
    return static_cast<int32_t>(v + 0.5);
}

// The sine kept with 8 more fraction bits than the results, so interpolating and then rounding once
// stays within one result unit of the true value.
constexpr int kFineBits = 8;

constexpr std::array<int32_t, 257> make_fine_sine() {
    std::array<int32_t, 257> t{};
    for (int i = 0; i <= 256; ++i) {
        t[i] = round_positive((kTrigOne << kFineBits) * series_sin(kPi / 2 * i / 256));
    }
    t[256] = kTrigOne << kFineBits; // the series lands a hair away from 1.0; the table must end exactly there
    return t;
}

constexpr std::array<int32_t, 257> make_sine(const std::array<int32_t, 257>& fine) {
    std::array<int32_t, 257> t{};
    for (int i = 0; i <= 256; ++i) {
        t[i] = (fine[i] + (1 << (kFineBits - 1))) >> kFineBits;
    }
    return t;
}

constexpr std::array<uint16_t, 257> make_atan() {
    std::array<uint16_t, 257> t{};
    for (int i = 0; i <= 256; ++i) {
        t[i] = static_cast<uint16_t>(round_positive(series_atan(i / 256.0) * 65536 / (2 * kPi)));
    }
    return t;
}

constexpr std::array<int32_t, 257> kFineSine = make_fine_sine();
constexpr std::array<int32_t, 257> kSine = make_sine(kFineSine);
constexpr std::array<uint16_t, 257> kAtan = make_atan();

static_assert(kSine[0] == 0 && kSine[128] == 46341 && kSine[256] == 65536);
static_assert(kAtan[0] == 0 && kAtan[256] == 8192);

// Sine of t in 0..16384 (the first quadrant), interpolated between table entries 64 angle units apart.
int32_t quarter_sine(uint32_t t) {
    uint32_t i = t >> 6, f = t & 63;
    if (f == 0) {
        return kSine[i];
    }
    int64_t fine = kFineSine[i] + (int64_t{kFineSine[i + 1] - kFineSine[i]} * f) / 64;
    return static_cast<int32_t>((fine + (1 << (kFineBits - 1))) >> kFineBits);
}

// Arctangent of r / 65536 for r in 0..65536, in angle units (0..8192).
uint32_t octant_atan(uint64_t r) {
    uint32_t i = static_cast<uint32_t>(r >> 8), f = static_cast<uint32_t>(r & 255);
    if (f == 0) {
        return kAtan[i];
    }
    return kAtan[i] + ((kAtan[i + 1] - kAtan[i]) * f + 128) / 256;
}

} // namespace

const std::array<int32_t, 257>& sine_table() {
    return kSine;
}

const std::array<uint16_t, 257>& atan_table() {
    return kAtan;
}

int32_t sin16(Angle a) {
    uint32_t q = a >> 14, r = a & 0x3FFFu;
    switch (q) {
    case 0:
        return quarter_sine(r);
    case 1:
        return quarter_sine(16384 - r);
    case 2:
        return -quarter_sine(r);
    default:
        return -quarter_sine(16384 - r);
    }
}

int32_t cos16(Angle a) {
    return sin16(static_cast<Angle>(a + kQuarterTurn));
}

Angle atan2_16(int64_t dy, int64_t dx) {
    // Negated as unsigned values, so that INT64_MIN has a magnitude too.
    uint64_t ax = dx < 0 ? 0 - static_cast<uint64_t>(dx) : static_cast<uint64_t>(dx);
    uint64_t ay = dy < 0 ? 0 - static_cast<uint64_t>(dy) : static_cast<uint64_t>(dy);
    if (ax == 0 && ay == 0) {
        return 0;
    }
    // Keep the ratio's numerator (value << 16) inside 64 bits.
    while (ax >= (uint64_t{1} << 46) || ay >= (uint64_t{1} << 46)) {
        ax >>= 1;
        ay >>= 1;
    }
    uint32_t theta; // first-quadrant angle, 0..16384
    if (ay <= ax) {
        theta = octant_atan(((ay << 16) + ax / 2) / ax);
    } else {
        theta = 16384 - octant_atan(((ax << 16) + ay / 2) / ay);
    }
    uint32_t a;
    if (dx >= 0) {
        a = dy >= 0 ? theta : 65536 - theta;
    } else {
        a = dy >= 0 ? 32768 - theta : 32768 + theta;
    }
    return static_cast<Angle>(a & 0xFFFF);
}

} // namespace trazel::display
