// The sort keys the listings share: the reference key (U2 before U10), the value key (the multiplier
// letter as the decimal point, so 4K7 and 4.7K agree and 100n sorts below 1u) and the BOM key built
// from both.
#include <gtest/gtest.h>

#include "nets/net_board.h"
#include "nets/parts.h"

namespace {

using namespace trazel;
using model::Coord;
using model::node;
using model::Ref;
using nets_test::NetBoard;

TEST(ReferenceKey, DigitRunsLineUpSoNumbersSortByValue) {
    std::string u2 = nets::reference_key("U2"), u10 = nets::reference_key("U10");
    ASSERT_EQ(u2.size(), 64u);
    EXPECT_EQ(u2, "U" + std::string(42, ' ') + "2" + std::string(20, ' '));
    EXPECT_EQ(u10, "U" + std::string(41, ' ') + "10" + std::string(20, ' '));
    EXPECT_LT(u2, u10);
    // What follows the digit run starts at column 44: gates sort after their package number.
    std::string r12a = nets::reference_key("R12A");
    EXPECT_EQ(r12a.substr(42, 3), "12A");
    EXPECT_LT(nets::reference_key("U1a"), nets::reference_key("U2"));
    EXPECT_LT(nets::reference_key("U1"), nets::reference_key("U1a"));
    // No digits: the text alone; letters decide before numbers.
    EXPECT_EQ(nets::reference_key("JP"), "JP" + std::string(62, ' '));
    EXPECT_LT(nets::reference_key("C99"), nets::reference_key("R1"));
}

TEST(ValueKey, TheMultiplierLetterIsTheDecimalPoint) {
    EXPECT_EQ(nets::value_key("4K7"), "000004700000000000000");
    EXPECT_EQ(nets::value_key("4.7K"), nets::value_key("4K7"));
    EXPECT_EQ(nets::value_key("4.7k"), nets::value_key("4K7"));
    EXPECT_EQ(nets::value_key("4700"), nets::value_key("4K7"));
    EXPECT_EQ(nets::value_key("10K"), "000010000000000000000");
    EXPECT_EQ(nets::value_key("2M2"), "002200000000000000000");
    EXPECT_EQ(nets::value_key("47"), "000000047000000000000");
    EXPECT_EQ(nets::value_key("100n"), "000000000000000100000");
    EXPECT_EQ(nets::value_key("1u"), "000000000000001000000");
    EXPECT_LT(nets::value_key("100n"), nets::value_key("1u"));
    EXPECT_EQ(nets::value_key(".1u"), nets::value_key("100n"));
    EXPECT_EQ(nets::value_key("22p"), "000000000000000000022");
    EXPECT_EQ(nets::value_key("4m7"), nets::value_key("4.7m"));
    // The stored micro sign (and the Windows one) stand for "u".
    EXPECT_EQ(nets::value_key("1\xE6"), nets::value_key("1u"));
    EXPECT_EQ(nets::value_key("1\xB5"), nets::value_key("1u"));
    // Text after the number does not matter; text without one gives the empty key.
    EXPECT_EQ(nets::value_key("10u,25V"), nets::value_key("10u"));
    EXPECT_EQ(nets::value_key("LED"), std::string(21, '0'));
}

using BomKey = NetBoard;

TEST_F(BomKey, ValueKeyOnlyForNumberedCapacitorsInductorsAndResistors) {
    auto comp = [&](const std::string& params) { return model::make_component(ring(), 0, 0, params); };
    Ref r1 = comp("0805\x7FR1\x7F"
                  "4K7\x7F"
                  "1%");
    std::string k = nets::bom_key(r1);
    ASSERT_EQ(k.size(), 128u);
    EXPECT_EQ(k.substr(0, 22), "R" + nets::value_key("4K7"));
    EXPECT_EQ(k.substr(22, 14), "4K7" + std::string(11, ' '));
    EXPECT_EQ(k.substr(36, 14), "1%" + std::string(12, ' '));
    EXPECT_EQ(k.substr(50, 14), "0805" + std::string(10, ' '));
    EXPECT_EQ(k.substr(64), nets::reference_key("R1"));

    // U10: a digit second, no value key; IC3 and CN1: the second letter, and CN1 no value key.
    std::string u = nets::bom_key(comp("DIP14\x7FU10\x7F"
                                       "7400"));
    EXPECT_EQ(u.substr(0, 22), "U" + std::string(21, ' '));
    EXPECT_EQ(u.substr(22, 4), "7400");
    std::string cn = nets::bom_key(comp("HDR\x7F"
                                        "CN1\x7F"
                                        "10K"));
    EXPECT_EQ(cn.substr(0, 22), "CN" + std::string(20, ' '));

    // 4K7 and 4.7K share the value key, so both sort before 10K; the texts then tell them apart.
    std::string a = nets::bom_key(comp("0805\x7FR2\x7F"
                                       "4.7K"));
    std::string b = nets::bom_key(comp("0805\x7FR1\x7F"
                                       "4K7"));
    std::string c = nets::bom_key(comp("0805\x7FR3\x7F"
                                       "10K"));
    EXPECT_EQ(a.substr(1, 21), b.substr(1, 21));
    EXPECT_LT(a, b);
    EXPECT_LT(b, c);
    // Long fields are cut at the next field's column.
    std::string l = nets::bom_key(comp("P\x7FX1\x7F"
                                       "ABCDEFGHIJKLMNOPQRST"));
    EXPECT_EQ(l.substr(22, 14), "ABCDEFGHIJKLMN");
    EXPECT_EQ(l.substr(36, 14), std::string(14, ' '));
}

} // namespace
