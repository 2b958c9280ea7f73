// Both LZW flavours: hand-packed streams, round trips through the test encoder (every code size, long
// runs, a table that fills with and without clears, the old TIFF packing), and broken streams.
#include <gtest/gtest.h>

#include "images/lzw.h"
#include "images/lzw_test_encoder.h"

namespace {

using namespace trazel::images;

std::vector<uint8_t> run(const std::vector<uint8_t>& data, int mcs, size_t room, LzwOutcome* r) {
    std::vector<uint8_t> out(room);
    *r = mcs == 0 ? decode_lzw_tiff(data, out) : decode_lzw_gif(data, mcs, out); // 0: TIFF
    out.resize(r->produced);
    return out;
}

std::vector<uint8_t> noise(size_t n, int range, uint32_t seed) {
    std::vector<uint8_t> v(n);
    for (auto& b : v) {
        seed = seed * 1103515245u + 12345u;
        b = static_cast<uint8_t>((seed >> 16) % static_cast<uint32_t>(range));
    }
    return v;
}

TEST(Lzw, HandPackedStreams) {
    // GIF, size 2: clear 4, 1, 6 (KwKwK "1 1"), 6, then 8 entries make 4 bits: 2, end 5.
    LzwOutcome r;
    EXPECT_EQ(run({0x8C, 0x2D, 0x05}, 2, 16, &r), (std::vector<uint8_t>{1, 1, 1, 1, 1, 2}));
    EXPECT_TRUE(r.ended);
    // TIFF: 256, 'A', 258 (KwKwK), 258, 257 in 9 bits from the high bit.
    const std::vector<uint8_t> tiff = {0x80, 0x10, 0x60, 0x50, 0x28, 0x08};
    EXPECT_EQ(run(tiff, 0, 16, &r), std::vector<uint8_t>(5, 'A'));
    EXPECT_TRUE(r.ended);
    EXPECT_EQ(lzw_encode(std::vector<uint8_t>(5, 'A'), 8, true), tiff);
}

TEST(Lzw, RoundTrips) {
    LzwOutcome r;
    for (int mcs = 2; mcs <= 8; ++mcs) {
        for (const auto& data : {noise(20000, 1 << mcs, 7u + mcs), std::vector<uint8_t>(50000, 1)}) {
            EXPECT_EQ(run(lzw_encode(data, mcs, false), mcs, data.size(), &r), data) << mcs;
            EXPECT_TRUE(r.ended && !r.full);
        }
    }
    // Noise fills the table fast: TIFF with clears, GIF going on at 12 bits without, and the old TIFF
    // packing (GIF's, told by its first bytes 0 and odd).
    const auto bytes = noise(100000, 256, 11);
    EXPECT_EQ(run(lzw_encode(bytes, 8, true), 0, bytes.size(), &r), bytes);
    const auto unclear = lzw_encode(bytes, 8, false, false);
    EXPECT_NE(unclear, lzw_encode(bytes, 8, false));
    EXPECT_EQ(run(unclear, 8, bytes.size(), &r), bytes);
    const auto old = lzw_encode(bytes, 8, false);
    ASSERT_TRUE(old[0] == 0 && (old[1] & 1) == 1);
    EXPECT_EQ(run(old, 0, bytes.size(), &r), bytes);
    EXPECT_TRUE(r.ended);
}

TEST(Lzw, BrokenStreamsStopWithinTheirBounds) {
    LzwOutcome r;
    run({0x3C}, 2, 16, &r); // clear 4, then 7
    EXPECT_EQ(r.error, "LZW code 7 is not in the table");
    run({0x80, 0x40, 0x80}, 0, 16, &r); // KwKwK with no string before it
    EXPECT_EQ(r.error, "LZW code 258 is not in the table");
    run({0x00}, 9, 16, &r);
    EXPECT_EQ(r.error, "LZW minimum code size 9 is out of range");

    // The output room: full when codes remain, not when the end code follows.
    const std::vector<uint8_t> flat(50000, 3);
    EXPECT_EQ(run(lzw_encode(flat, 2, false), 2, 1000, &r).size(), 1000u);
    EXPECT_TRUE(r.full && !r.ended);
    run(lzw_encode(flat, 8, true), 0, 999, &r);
    EXPECT_TRUE(r.full && r.produced == 999);
    run(lzw_encode(flat, 2, false), 2, flat.size(), &r);
    EXPECT_TRUE(!r.full && r.ended);

    // Data cut short: what was decoded stands, without an end or an error.
    auto cut = lzw_encode(noise(5000, 256, 1), 8, true);
    cut.resize(cut.size() / 2);
    run(cut, 0, 5000, &r);
    EXPECT_TRUE(!r.ended && r.error.empty() && r.produced > 1000 && r.produced < 5000);
}

} // namespace
