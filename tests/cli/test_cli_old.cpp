// trazel-cli convert between the Data file and the older formats: every path of the 3.8 writer and the
// version 2 fallback, with the loss lines on stderr.
#include "cli/cli_runner.h"

using namespace cli_test;

namespace {

constexpr const char* kV3 = "TRAZEL Version 3.5 -- DATA FILE\r\n\r\n-m-1000,-1000,10000,8000\r\n-hp1204000000006000\r\n"
                            "-gd50\r\n-p45r25,0\r\n"
                            "-y0:5,0,Pad Master\r\n-y1:7,0,Top Silk\r\n-y3:4,2,Top Side\r\n-y3\r\n\r\n"
                            "3 0 49 1000 1000 60 60 35 1 VCC\r\n1 3 12 1000 1000 2000 1000 VCC\r\n"
                            "4 1 50 1000 1100 200 0 U1\r\n\r\nEND OF FILE\r\n";
constexpr const char* kV2 = "TRAZEL Version 2.6 -- DATA FILE\r\n\r\n1 3 12 1000 1000 2000 1000\r\n\r\nEND OF FILE\r\n";
constexpr const char* kTitle38 = "TRAZEL Version 3.8 -- DATA FILE\r\n";
constexpr const char* kTitle4 = "TRAZEL Version 4.0 -- Data File.\r\n";

std::string without_hp(std::string f) {
    size_t at = f.find("\r\n-hp");
    return at == std::string::npos ? f : f.erase(at, f.find("\r\n", at + 2) - at);
}

} // namespace

TEST(CliOld, Version3ConvertsBothWaysAndDefaultsTo38) {
    Scratch s;
    spit(s / "old.pcb", kV3);
    // A version 3 file without --format is written back as 3.8; nothing is lost, nothing is said.
    Result r = run(s, "convert " + quote(s / "old.pcb") + " " + quote(s / "same.pcb"));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    std::string v38 = slurp(s / "same.pcb");
    EXPECT_TRUE(v38.starts_with(kTitle38)) << v38;
    EXPECT_NE(v38.find("\r\n4 1 50 1000 1100 200 0 U1\r\n3 0 49 1000 1000 60 60 35 1 VCC\r\n"), std::string::npos)
        << "Components, then Texts, Pads, Arcs and Lines: " << v38;

    // v3 -> C, and C -> 3.8 gives the same file again.
    r = run(s, "convert --format C " + quote(s / "old.pcb") + " " + quote(s / "new.pcb"));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(slurp(s / "new.pcb").starts_with(kTitle4));
    r = run(s, "convert --format 3 " + quote(s / "new.pcb") + " " + quote(s / "back.pcb"));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    // The Data file keeps no colours of layers nobody uses, so only their "-hp" digits differ.
    EXPECT_EQ(without_hp(slurp(s / "back.pcb")), without_hp(v38));

    // 3.8 -> C reads what it wrote.
    r = run(s, "convert --format C " + quote(s / "back.pcb") + " " + quote(s / "again.pcb"));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(slurp(s / "again.pcb"), slurp(s / "new.pcb"));
}

TEST(CliOld, LossesGoToStderrOneLinePerKindAndTheFileIsWritten) {
    Scratch s;
    Result r = run(s, "convert --format 3 " + quote(source("tests/data/old/v4_board.pcb")) + " " + quote(s / "v.pcb"));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "trazel-cli: Coordinates or sizes off the 0.001 inch grid, rounded: 1 Item (14)\n"
                     "trazel-cli: Angles or ellipse ratios off 1/256 of a turn, rounded: 1 Item (12)\n"
                     "trazel-cli: Pad angles other than 0, 90, 180 or 270 degrees, dropped: 1 Item (10)\n"
                     "trazel-cli: Text fonts, set to font 0: 1 Item (6)\n"
                     "trazel-cli: Text anchors, texts moved to their bottom-left corner: 2 Items (5, 7)\n"
                     "trazel-cli: Through-hole Pads above layer 15, written on layer 0: 1 Item (8)\n"
                     "trazel-cli: Point groups, not kept: 1 Item (4)\n"
                     "trazel-cli: Layers 16-254, names, colours and types not kept: 1 layer (20)\n"
                     "trazel-cli: Settings not kept: 2 settings (-gc Ratnest width, -gtt)\n");
    EXPECT_EQ(slurp(s / "v.pcb"), slurp(source("tests/data/old/v4_board.v38")));
}

TEST(CliOld, Version2InItsOwnFormatBecomesTheDataFileWithTheMessage) {
    Scratch s;
    spit(s / "v2.pcb", kV2);
    Result r = run(s, "convert " + quote(s / "v2.pcb") + " " + quote(s / "out.pcb"));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "trazel-cli: TRAZEL'98: The specified output format is not supported. TRAZEL Version 4.0 "
                     "file format will be substituted.\n");
    std::string out = slurp(s / "out.pcb");
    EXPECT_TRUE(out.starts_with(kTitle4));
    EXPECT_NE(out.find("\r\n-gfC\r\n"), std::string::npos) << "read again it is a Data file, not a version 2 file";
    // v2 -> 3.8 through --format 3.
    r = run(s, "convert --format 3 " + quote(s / "v2.pcb") + " " + quote(s / "v38.pcb"));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(slurp(s / "v38.pcb").find("\r\n1 3 12 1000 1000 2000 1000\r\n"), std::string::npos);
}
