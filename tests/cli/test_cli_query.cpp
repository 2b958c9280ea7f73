// trazel-cli query: the five query boxes at a point of the demo board, and the tool windows a macro leaves
// open at the end of the macro report.
#include "cli/cli_runner.h"

using namespace cli_test;

namespace {

const std::string kDemo = source("share/examples/demo.pcb");

// The line of one box in the output ("" when there is none).
std::string box_line(const std::string& out, const std::string& name) {
    size_t at = out.find(name + ":");
    if (at == std::string::npos) {
        return {};
    }
    return out.substr(at, out.find('\n', at) - at);
}

} // namespace

TEST(CliQuery, APadOfTheRegulatorWithItsTrackAndComponent) {
    Scratch s;
    Result r = run(s, "query " + quote(kDemo) + " 0.9,0.75");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(lines(r.out), 5);
    EXPECT_EQ(box_line(r.out, "QueryLineBox"), "QueryLineBox: signal=VIN layer=\"Top Side\" width=0.0300");
    EXPECT_EQ(box_line(r.out, "QueryPadBox"),
              "QueryPadBox: pin=1 signal=VIN layer=\"Pad Master\" type=\"Rectangular THD\" x=0.9000 y=0.7500 "
              "width=0.0700 height=0.1000 hole=0.0400 angle=0.00");
    EXPECT_EQ(box_line(r.out, "QueryComponentBox"),
              "QueryComponentBox: field0=TO220V field1=U1 field2=\"5V REG\" field3=\"\" field4=\"\" x=0.9000 "
              "y=0.7500 angle=0.00");
    // No arc there: its fields are empty.
    EXPECT_EQ(box_line(r.out, "QueryArcBox"),
              "QueryArcBox: signal=\"\" layer=\"\" width=\"\" radius=\"\" start=\"\" sweep=\"\" ratio=\"\" axis=\"\"");
}

TEST(CliQuery, TextsAndMillimetresAndTheLayerOption) {
    Scratch s;
    // 11.43 mm, 33.02 mm is (0.45, 1.3) inch: on the title text.
    Result r = run(s, "query " + quote(kDemo) + " 11.43mm,33.02mm");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(box_line(r.out, "QueryTextBox"),
              "QueryTextBox: text=\"5V REGULATOR\" layer=\"Top Silk\" x=0.4000 y=1.3000 height=0.0600 angle=0.00 "
              "anchor=\"0 = Bottom Left\" font=0 mirror=\"Normal for layer\"");
    // The full circle of a mounting hole, on its own layer.
    r = run(s, "query " + quote(kDemo) + " 1.85,0.3 --layer 1");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(box_line(r.out, "QueryArcBox").find(" sweep=360.00 ratio=0.0000 "), std::string::npos) << r.out;
}

TEST(CliQuery, UsageErrors) {
    Scratch s;
    EXPECT_EQ(run(s, "query " + quote(kDemo)).status, 2);
    EXPECT_EQ(run(s, "query " + quote(kDemo) + " 1,1 --layer 256").status, 2);
    EXPECT_EQ(run(s, "query " + quote(kDemo) + " 1,1 --colour red").status, 2);
    Result r = run(s, "query " + quote(kDemo) + " one,two");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("bad point"), std::string::npos);
    EXPECT_EQ(run(s, "query " + quote(s / "missing.pcb") + " 1,1").status, 1);
}

TEST(CliQuery, TheMacroReportEndsWithTheOpenToolWindows) {
    Scratch s;
    Result r = run(s, "macro " + quote(kDemo) + " --keys '\"0.9,0.75\" Enter <QL> <QP> <QZ>'");
    ASSERT_EQ(r.status, 0) << r.err;
    std::string line = box_line(r.out, "QueryLineBox");
    EXPECT_EQ(line, "QueryLineBox: signal=VIN layer=\"Top Side\" width=0.0300");
    EXPECT_EQ(box_line(r.out, "QueryPadBox").substr(0, 31), "QueryPadBox: pin=1 signal=VIN l");
    EXPECT_NE(box_line(r.out, "ZoomBox").find("x=0.9000 y=0.7500 "), std::string::npos) << r.out;
    EXPECT_NE(box_line(r.out, "ZoomBox").find(" picture=160x160"), std::string::npos) << r.out;
    // The tool windows are the last lines, in the order they were opened.
    EXPECT_LT(r.out.find("QueryLineBox:"), r.out.find("QueryPadBox:"));
    EXPECT_EQ(r.out.substr(r.out.rfind('\n', r.out.size() - 2) + 1, 8), "ZoomBox:");
    // Over nothing the box stays open with its fields empty.
    r = run(s, "macro " + quote(kDemo) + " --keys '<QL> \"1.9,0.6\" Enter'");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(box_line(r.out, "QueryLineBox"), "QueryLineBox: signal=\"\" layer=\"\" width=\"\"");
}
