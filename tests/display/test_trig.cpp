#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>

#include "display/trig.h"

using namespace trazel::display;

namespace {
constexpr double kTwoPi = 6.283185307179586;
}

TEST(Trig, SineAndCosineAtTheCardinalAngles) {
    // 1.0 is 65536; 45 degrees is 65536 / sqrt(2) = 46340.95, rounded to 46341.
    EXPECT_EQ(sin16(0), 0);
    EXPECT_EQ(sin16(8192), 46341);
    EXPECT_EQ(sin16(16384), 65536);
    EXPECT_EQ(sin16(32768), 0);
    EXPECT_EQ(sin16(49152), -65536);
    EXPECT_EQ(cos16(0), 65536);
    EXPECT_EQ(cos16(16384), 0);
    EXPECT_EQ(cos16(32768), -65536);
    EXPECT_EQ(cos16(49152), 0);
    EXPECT_EQ(cos16(8192), 46341);
    EXPECT_EQ(sine_table()[0], 0);
    EXPECT_EQ(sine_table()[256], 65536);
}

TEST(Trig, SineIsOddPeriodicAndWithinOneUnitEverywhere) {
    for (uint32_t a = 0; a < 65536; ++a) {
        Angle an = static_cast<Angle>(a);
        int32_t s = sin16(an);
        EXPECT_EQ(sin16(static_cast<Angle>(0u - a)), -s) << a;
        EXPECT_EQ(sin16(static_cast<Angle>(a + 32768)), -s) << a;
        EXPECT_EQ(cos16(an), sin16(static_cast<Angle>(a + 16384))) << a;
        double truth = 65536.0 * std::sin(a * kTwoPi / 65536);
        ASSERT_LE(std::fabs(s - truth), 1.0) << a;
    }
}

TEST(Trig, SineIsMonotonicInTheFirstQuadrant) {
    // The rasterizer steps along arcs; a sine that ever turned back would fold a curve.
    for (Angle a = 1; a <= 16384; ++a) {
        ASSERT_GE(sin16(a), sin16(static_cast<Angle>(a - 1))) << a;
    }
}

TEST(Trig, Atan2GivesTheQuadrantAnglesAndHandlesDegenerateInput) {
    EXPECT_EQ(atan2_16(0, 1), 0);
    EXPECT_EQ(atan2_16(1, 1), 8192); // 45 degrees
    EXPECT_EQ(atan2_16(1, 0), 16384);
    EXPECT_EQ(atan2_16(1, -1), 24576);
    EXPECT_EQ(atan2_16(0, -1), 32768);
    EXPECT_EQ(atan2_16(-1, -1), 40960);
    EXPECT_EQ(atan2_16(-1, 0), 49152);
    EXPECT_EQ(atan2_16(-1, 1), 57344);
    EXPECT_EQ(atan2_16(0, 0), 0);
    EXPECT_EQ(atan2_16(-5, 0), 49152);
    // The extremes of 64 bits must neither overflow nor divide by zero.
    constexpr int64_t lo = std::numeric_limits<int64_t>::min();
    constexpr int64_t hi = std::numeric_limits<int64_t>::max();
    EXPECT_EQ(atan2_16(0, lo), 32768);
    EXPECT_EQ(atan2_16(lo, 0), 49152);
    EXPECT_EQ(atan2_16(hi, hi), 8192);
    EXPECT_EQ(atan2_16(lo, lo), 40960);
    // 30 degrees: tan = 1/sqrt(3), so (dy, dx) = (1000000, 1732051); 65536 / 12 = 5461.33.
    EXPECT_NEAR(atan2_16(1000000, 1732051), 5461, 1);
}

TEST(Trig, Atan2InvertsSineAndCosine) {
    for (uint32_t a = 0; a < 65536; a += 7) {
        Angle an = static_cast<Angle>(a);
        // Scale up so the rounding of the sine does not dominate.
        int64_t dy = int64_t{sin16(an)} * 1024, dx = int64_t{cos16(an)} * 1024;
        int diff = static_cast<int16_t>(static_cast<Angle>(atan2_16(dy, dx) - an));
        ASSERT_LE(std::abs(diff), 1) << a;
    }
}

TEST(Trig, RotationTurnsPointsCounterClockwise) {
    Rotation quarter = Rotation::of(16384);
    EXPECT_EQ(quarter.x(65536, 0), 0);
    EXPECT_EQ(quarter.y(65536, 0), 65536);
    EXPECT_EQ(quarter.x(0, 65536), -65536);
    Rotation half = Rotation::of(32768);
    EXPECT_EQ(half.x(100, -7), -100);
    EXPECT_EQ(half.y(100, -7), 7);
    // 45 degrees of (10 inches, 0): 655360 * 46341 / 65536 = 463410 exactly.
    Rotation eighth = Rotation::of(8192);
    EXPECT_EQ(eighth.x(655360, 0), 463410);
    EXPECT_EQ(eighth.y(655360, 0), 463410);
}
