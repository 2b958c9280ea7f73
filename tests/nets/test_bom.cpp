// The bill of materials worked by hand: the sort by BOM key and the groups, the reference columns and
// their wrap, the symbol conversion, the comma-separated layout (quoted where a field holds a comma or a
// quote, read back by Python's strict reader), the placement section, no limit on the number of
// Components, and the sorted insertion and the stable sort giving the same file.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <initializer_list>
#include <sstream>
#include <utility>

#include "nets/bom.h"
#include "nets/net_board.h"
#include "nets/parts.h"

namespace {

using namespace trazel;
using model::Coord;
using model::node;
using model::Ref;
using nets_test::cols;
using nets_test::crlf;
using nets_test::day_in_march_2024;
using nets_test::in;
using nets_test::kInch;
using nets_test::NetBoard;

const std::string kRule(80, '-');

std::string bom_head() {
    return crlf({cols({{0, "BILL OF MATERIALS"}, {40, "nets.pcb"}, {72, "03/07/24"}}), kRule,
                 "TYPE/VALUE   MODIFIER      PATTERN      QTY COMPONENT REFERENCE IDENTIFICATION", kRule, ""});
}

const std::string kPlacementHead =
    "\f NAME         ROTATE  X POS   Y POS    PATTERN       VALUE         MODIFIER\r\n\r\n";

class Bom : public NetBoard {
  protected:
    Ref part(const std::string& pattern, const std::string& ref, const std::string& value,
             const std::string& modifier = {}, double x = 0, double y = 0, model::Angle angle = 0) {
        std::string p = pattern + '\x7F' + ref + '\x7F' + value;
        if (!modifier.empty()) {
            p += '\x7F' + modifier;
        }
        Ref c = model::make_component(ring(), 0, angle, p);
        node(model::member_ring(c)).box.x1 = in(x);
        node(model::member_ring(c)).box.y1 = in(y);
        return c;
    }
    std::string text(bool csv = false, bool symbols = false, bool plain = false) {
        nets::BomOptions o;
        o.csv = csv;
        o.symbols = symbols;
        o.plain = plain;
        std::string t = nets::bom_text(*d, o, day_in_march_2024(7));
        o.plain = !plain;
        EXPECT_EQ(nets::bom_text(*d, o, day_in_march_2024(7)), t) << "sorted insertion and stable sort differ";
        return t;
    }
    // The group section alone (between the column heads and the placement section).
    std::string groups() {
        std::string t = text();
        size_t from = bom_head().size(), to = t.find('\f');
        EXPECT_EQ(t.substr(0, from), bom_head());
        return t.substr(from, to - from);
    }
};

TEST_F(Bom, FourK7AndFourPointSevenKSortTogetherBeforeTenKInThreeGroups) {
    part("0805", "R1", "4K7", "", 1, 2);
    part("0805", "R2", "4.7K", "", 1.5, 2);
    part("0805", "R3", "10K", "", 2, 2);
    // The value keys put R1 and R2 before R3; of the two, "4.7K" is the smaller text.  The placement
    // section keeps the Components' own order.
    EXPECT_EQ(groups(), crlf({cols({{0, "4.7K"}, {28, "0805"}, {43, "1"}, {46, "R2"}}), "",
                              cols({{0, "4K7"}, {28, "0805"}, {43, "1"}, {46, "R1"}}), "",
                              cols({{0, "10K"}, {28, "0805"}, {43, "1"}, {46, "R3"}}), ""}));
    std::string t = text();
    EXPECT_EQ(t.substr(t.find('\f')),
              kPlacementHead +
                  crlf({cols({{1, "R1"}, {18, "0"}, {22, "1.000"}, {30, "2.000"}, {39, "0805"}, {53, "4K7"}}),
                        cols({{1, "R2"}, {18, "0"}, {22, "1.500"}, {30, "2.000"}, {39, "0805"}, {53, "4.7K"}}),
                        cols({{1, "R3"}, {18, "0"}, {22, "2.000"}, {30, "2.000"}, {39, "0805"}, {53, "10K"}})}));
}

TEST_F(Bom, GroupsByTheFirstFortyOneColumnsAndSkipsComponentsWithoutReference) {
    part("0603", "C2", "100n", "X7R");
    part("0603", "C1", "100n", "X7R");
    part("0603", "C10", "1u", "X7R");
    part("0603", "C3", "100n", "X5R"); // another modifier: a group of its own
    part("SOT23", "Q1", "BC847", "");
    model::make_component(ring(), 0, 0, "LOGO");             // no Reference ID field
    model::make_component(ring(), 0, 0, std::string_view()); // no Parameters at all
    EXPECT_EQ(groups(), crlf({cols({{0, "100n"}, {14, "X5R"}, {28, "0603"}, {43, "1"}, {46, "C3"}}), "",
                              cols({{0, "100n"}, {14, "X7R"}, {28, "0603"}, {43, "2"}, {46, "C1"}, {52, "C2"}}), "",
                              cols({{0, "1u"}, {14, "X7R"}, {28, "0603"}, {43, "1"}, {46, "C10"}}), "",
                              cols({{0, "BC847"}, {28, "SOT23"}, {43, "1"}, {46, "Q1"}}), ""}));
}

TEST_F(Bom, TwentyReferencesWrapOntoLinesBlankUpToColumn46) {
    for (int i = 20; i >= 1; --i) {
        part("0603", "C" + std::to_string(i), "100n");
    }
    EXPECT_EQ(groups(), crlf({cols({{0, "100n"},
                                    {28, "0603"},
                                    {42, "20"},
                                    {46, "C1"},
                                    {52, "C2"},
                                    {58, "C3"},
                                    {64, "C4"},
                                    {70, "C5"},
                                    {76, "C6"}}),
                              cols({{46, "C7"}, {52, "C8"}, {58, "C9"}, {64, "C10"}, {70, "C11"}, {76, "C12"}}),
                              cols({{46, "C13"}, {52, "C14"}, {58, "C15"}, {64, "C16"}, {70, "C17"}, {76, "C18"}}),
                              cols({{46, "C19"}, {52, "C20"}}), ""}));
}

TEST(BomReferences, StepOfSixOrASingleBlankAndTheWrapBeyondColumn76) {
    // RN100001 ends at 53: 58 is 4 on.  ABCDEF ends at 69: 76 would be 6 on, so one blank.  Q at 76 may
    // start there (not beyond); Z9 may not start at 78.
    std::vector<std::string> lines = nets::reference_lines({"RN100001", "X1", "ABCDEF", "R", "Q", "Z9"});
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], cols({{0, "RN100001"}, {12, "X1"}, {18, "ABCDEF"}, {25, "R"}, {30, "Q"}}));
    EXPECT_EQ(lines[1], "Z9");
    // After a one-letter reference the step would leave five blanks: one instead; after B three are left.
    EXPECT_EQ(nets::reference_lines({"A", "B", "C"}), std::vector<std::string>{"A B   C"});
    EXPECT_TRUE(nets::reference_lines({}).empty());
}

TEST(BomSymbols, DosCodesBecomeWindowsOnesAndOhmsKeepsTheColumns) {
    EXPECT_EQ(nets::convert_symbols("\xF8\xE6\xAB\xAC"), "\xB0\xB5\xBD\xBC");
    // "10" and the ohm sign at column 0, "1%" at column 14: three blanks give way to "hms".
    EXPECT_EQ(nets::convert_symbols(cols({{0, "10\xEA"}, {14, "1%"}})), cols({{0, "10ohms"}, {14, "1%"}}));
    // One double blank after it: one blank goes, the rest of the line moves.
    EXPECT_EQ(nets::convert_symbols("\xEA  X Y"), "ohms X Y");
    EXPECT_EQ(nets::convert_symbols("A\xEA B"), "Aohms B");
    // Two signs, each taking three blanks from the runs after it.
    EXPECT_EQ(nets::convert_symbols(cols({{0, "1\xEA"}, {14, "2\xEA"}, {28, "Z"}})),
              cols({{0, "1ohms"}, {14, "2ohms"}, {28, "Z"}}));
}

TEST_F(Bom, SymbolOptionInBothLayouts) {
    // ("\xABW" is 0xAB then W: a hex escape ends at the first character that is no hex digit.)
    part("AXIAL", "R1", "47\xEA", "\xABW", 1, 1);
    nets::BomOptions o;
    o.symbols = true;
    std::string t = nets::bom_text(*d, o, day_in_march_2024(7));
    std::string group = cols({{0, "47ohms"}, {14, "\xBDW"}, {28, "AXIAL"}, {43, "1"}, {46, "R1"}});
    EXPECT_NE(t.find(group + "\r\n"), std::string::npos) << t;
    std::string placed =
        cols({{1, "R1"}, {18, "0"}, {22, "1.000"}, {30, "1.000"}, {39, "AXIAL"}, {53, "47ohms"}, {67, "\xBDW"}});
    EXPECT_NE(t.find(placed + "\r\n"), std::string::npos) << t;
    o.csv = true;
    EXPECT_EQ(nets::bom_text(*d, o, day_in_march_2024(7)),
              "TYPE/VALUE,MODIFIER,PATTERN,QTY,COMPONENTS\r\n47ohms,\xBDW,AXIAL,1,R1\r\n");
}

TEST_F(Bom, CommaSeparatedLayoutReadsBackWithFiveFieldsPerRow) {
    for (int i = 1; i <= 8; ++i) {
        part("1206", "C" + std::to_string(i), "10u,25V", "X5R");
    }
    part("0805", "R1", "4K7", "say \"hi\"");
    std::string t = text(true);
    EXPECT_EQ(t, crlf({"TYPE/VALUE,MODIFIER,PATTERN,QTY,COMPONENTS",
                       "\"10u,25V\",X5R,1206,8,C1    C2    C3    C4    C5    C6", ",,,,C7    C8",
                       "4K7,\"say \"\"hi\"\"\",0805,1,R1"}));
    // Python's strict reader: every row has the five fields, the value is whole.
    std::string path = ::testing::TempDir() + "bom_csv_" + std::to_string(::getpid()) + ".csv";
    {
        std::ofstream f(path, std::ios::binary);
        f << t;
    }
    std::string cmd = "python3 -c 'import csv,sys\n"
                      "rows=list(csv.reader(open(sys.argv[1],newline=\"\"),strict=True))\n"
                      "print(\" \".join(str(len(r)) for r in rows))\n"
                      "print(rows[1][0]+\"|\"+rows[3][1])' " +
                      path;
    FILE* p = ::popen(cmd.c_str(), "r");
    ASSERT_NE(p, nullptr);
    char buf[512] = {};
    std::string out;
    while (std::fgets(buf, sizeof buf, p) != nullptr) {
        out += buf;
    }
    EXPECT_EQ(::pclose(p), 0);
    std::remove(path.c_str());
    EXPECT_EQ(out, "5 5 5 5\n10u,25V|say \"hi\"\n");
}

TEST_F(Bom, PlacementSectionSidesAnglesOriginAndRepeatedReferences) {
    d->setup.origin_x = in(0.5);
    d->setup.origin_y = in(1);
    Ref u1 = part("SO8", "U1", "LM358", "", 0.25, 3, 16384);
    pad(edit_test::kTop, in(0.3), in(3), nets_test::kRectSmt, nullptr, 4000, 4000, model::member_ring(u1));
    Ref u2 = part("SO8", "U2", "LM358", "", 2, 1.5, 65535);
    // The first pad is through the board; the first surface pad is on the bottom.
    pad(0, in(2), in(1.5), nets_test::kOvalThru, nullptr, 4000, 4000, model::member_ring(u2));
    pad(edit_test::kBottom, in(2.1), in(1.5), nets_test::kRectSmt, nullptr, 4000, 4000, model::member_ring(u2));
    // Two Components with one Reference ID: the one met later comes first, the other gets the "*".
    part("DIP8", "U3", "NE555", "", 4, 4);
    part("DIP8", "U3", "NE555", "", 5, 4, 32768);
    std::string t = text();
    std::string placement = t.substr(t.find('\f'));
    EXPECT_EQ(
        placement,
        kPlacementHead +
            crlf({cols({{1, "U1"}, {17, "90"}, {21, "-0.250"}, {30, "2.000"}, {36, "T"}, {39, "SO8"}, {53, "LM358"}}),
                  cols({{1, "U2"}, {16, "360"}, {22, "1.500"}, {30, "0.500"}, {36, "B"}, {39, "SO8"}, {53, "LM358"}}),
                  cols({{1, "U3"}, {16, "180"}, {22, "4.500"}, {30, "3.000"}, {39, "DIP8"}, {53, "NE555"}}),
                  cols({{0, "*U3"}, {18, "0"}, {22, "3.500"}, {30, "3.000"}, {39, "DIP8"}, {53, "NE555"}})}));
    // The group lists the same Reference ID twice, in that order too.
    EXPECT_NE(t.find(cols({{0, "NE555"}, {28, "DIP8"}, {43, "2"}, {46, "U3"}, {52, "U3"}})), std::string::npos);
}

TEST_F(Bom, EveryComponentIsListedBeyondTheOldLimit) {
    // 262143 Components: one more than the limit the listing once had.
    constexpr int kCount = 262143;
    for (int i = 1; i <= kCount; ++i) {
        ASSERT_NE(model::make_component(ring(), 0, 0, "P\x7FR" + std::to_string(i) + "\x7FV"), model::kNone);
    }
    nets::BomOptions o;
    o.csv = true;
    std::string t = nets::bom_text(*d, o, day_in_march_2024(7));
    EXPECT_EQ(t.rfind("TYPE/VALUE,MODIFIER,PATTERN,QTY,COMPONENTS\r\nV,,P,262143,R1    R2    ", 0), 0u);
    EXPECT_NE(t.find("R262143\r\n"), std::string::npos);
    // Every Reference ID once, from the COMPONENTS fields of all rows.
    std::istringstream rows(t);
    std::string row;
    std::getline(rows, row);
    std::vector<bool> seen(kCount + 1);
    int listed = 0;
    while (std::getline(rows, row)) {
        std::istringstream refs(row.substr(row.rfind(',') + 1));
        for (std::string r; refs >> r;) {
            int n = std::atoi(r.c_str() + 1);
            ASSERT_TRUE(r[0] == 'R' && n >= 1 && n <= kCount && !seen[n]) << r;
            seen[n] = true;
            ++listed;
        }
    }
    EXPECT_EQ(listed, kCount);
}

TEST_F(Bom, SortedInsertionAndStableSortAgreeOnGeneratedBoards) {
    for (unsigned seed : {3u, 11u, 29u}) {
        fresh();
        nets_test::generate(ring(), seed, 48);
        // Values that share keys, modifiers and repeated Reference IDs, so that ties occur.
        const char* values[] = {"4K7", "4.7K", "10K", "100n", "1u", "VAL"};
        int i = 0;
        for (Ref r : model::items_in(ring())) {
            if (node(r).item_kind() == model::kComponent) {
                std::string ref = i % 7 == 0 ? "R5" : (i % 2 ? "R" : "C") + std::to_string(i % 13);
                std::string p = std::string(i % 3 ? "0805" : "DIP") + '\x7F' + ref + '\x7F' + values[i % 6];
                model::SetText(model::member_ring(r), p);
                ++i;
            }
        }
        for (bool csv : {false, true}) {
            std::string t = text(csv);
            EXPECT_GT(t.size(), 200u);
        }
    }
}

} // namespace
