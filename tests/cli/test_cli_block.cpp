// trazel-cli block, and the B group played as keystroke macros on the demo board: the same turn and move
// both ways, pending targets, step and repeat with raised Reference IDs, compare, build and usage errors.
#include <sstream>

#include "cli/cli_runner.h"

using namespace cli_test;

namespace {

const std::string kDemo = source("share/examples/demo.pcb");

// The Item records other than Texts: a macro run draws the board, which measures Texts again.
std::string geometry(const std::string& file) {
    size_t at = file.find("Line: 1 layer width X1 Y1 X2 Y2 signal\r\n");
    std::istringstream in(at == std::string::npos ? std::string() : file.substr(at));
    std::string line, out;
    while (std::getline(in, line)) {
        if (line.rfind("4 ", 0) != 0) {
            out += line + "\n";
        }
    }
    return out;
}

} // namespace

TEST(CliBlock, TurnAndMoveMatchesTheMacro) {
    Scratch s;
    Result r = run(s, "block " + quote(kDemo) + " " + quote(s / "cli.pcb") +
                          " --box -1,-1,10,10 --ref 1,1 --rotate 90 --move 5,1");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "moved 48 items\n");
    // BG from a macro acts at once at the cursor and the move follows the source point; BR leaves the
    // move waiting.
    r = run(s, "macro " + quote(kDemo) + " " + quote(s / "macro.pcb") +
                   " --keys '\"-1,-1\" Enter <BG> \"10,10\" Enter Enter \"1,1\" Enter Enter <BR> \"5,1\" Enter Enter'"
                   " --field BlockRotationBox.angle=90");
    ASSERT_EQ(r.status, 0) << r.err;
    std::string a = geometry(slurp(s / "cli.pcb")), b = geometry(slurp(s / "macro.pcb"));
    EXPECT_FALSE(a.empty());
    EXPECT_EQ(a, b);
    EXPECT_NE(a, geometry(slurp(kDemo)));
    // Turned back about the new place it is the demo again.
    r = run(s, "block " + quote(s / "cli.pcb") + " " + quote(s / "back.pcb") +
                   " --box -10,-10,20,20 --ref 5,1 --rotate -90 --move 1,1");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(geometry(slurp(s / "back.pcb")), geometry(slurp(kDemo)));
}

TEST(CliBlock, PendingTargetsAndUndo) {
    Scratch s;
    const std::string define = "\"-1,-1\" Enter <BG> \"10,10\" Enter Enter \"0,0\" Enter Enter ";
    // Another command ends the waiting move unmoved; "5,1" Enter <BM> then moves at once.
    Result r = run(s, "macro " + quote(kDemo) + " " + quote(s / "a.pcb") + " --keys '" + define +
                          "<ZC> \"3,0\" Enter Enter'");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(geometry(slurp(s / "a.pcb")), geometry(slurp(kDemo)));
    r = run(s, "macro " + quote(kDemo) + " " + quote(s / "b.pcb") + " --keys '" + define + "<ZC> \"3,0\" Enter <BM>'");
    ASSERT_EQ(r.status, 0) << r.err;
    r = run(s, "block " + quote(kDemo) + " " + quote(s / "c.pcb") + " --box -1,-1,10,10 --ref 0,0 --move 3,0");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(geometry(slurp(s / "b.pcb")), geometry(slurp(s / "c.pcb")));
    // One undo takes the whole move back; BX with nothing waiting says so.
    r = run(s, "macro " + quote(kDemo) + " " + quote(s / "d.pcb") + " --keys '" + define +
                   "\"3,0\" Enter Enter <UU> <BX>'");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(geometry(slurp(s / "d.pcb")), geometry(slurp(kDemo)));
    EXPECT_NE(r.out.find("Mirroring works on a pending block move or copy only."), std::string::npos) << r.out;
    // Block commands without a Block.
    r = run(s, "macro " + quote(kDemo) + " --keys '<BD>'");
    EXPECT_NE(r.out.find("Define a Block first."), std::string::npos) << r.out;
}

TEST(CliBlock, StepAndRepeatCompareAndBuild) {
    Scratch s;
    Result r = run(s, "block " + quote(kDemo) + " " + quote(s / "rep.pcb") +
                          " --box -1,-1,10,10 --copy 12,0 --copy 24,0 --increment 10");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "copied 96 items in 2 copies\n");
    std::string rep = slurp(s / "rep.pcb");
    EXPECT_EQ(count(rep, "\x7FU1\x7F") + count(rep, "\x7FU1\r"), 1);
    EXPECT_EQ(count(rep, "\x7FU11\x7F") + count(rep, "\x7FU11\r"), 1);
    EXPECT_EQ(count(rep, "\x7FU21\x7F") + count(rep, "\x7FU21\r"), 1);
    // The first copy against the source: the raised references differ, nothing else.
    r = run(s, "block " + quote(s / "rep.pcb") + " " + quote(s / "cmp.pcb") + " --box -1,-1,10,10 --compare 12,0");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(count(r.out, "Component layer"), 24);
    r = run(s, "block " + quote(kDemo) + " " + quote(s / "one.pcb") + " --box -1,-1,10,10 --copy 12,0");
    r = run(s, "block " + quote(s / "one.pcb") + " " + quote(s / "cmp.pcb") + " --box -1,-1,10,10 --compare 12,0");
    EXPECT_EQ(r.out, "0 differences\n");

    r = run(s, "block " + quote(kDemo) + " " + quote(s / "built.pcb") + " --box -1,-1,10,10 --ref 1,1 --pseudo PANEL,P1");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "built component PANEL of 48 items\n");
    r = run(s, "info " + quote(s / "built.pcb"));
    EXPECT_NE(r.out.find("Component             1"), std::string::npos) << r.out;
}

TEST(CliBlock, UsageAndBadInput) {
    Scratch s;
    Result r = run(s, "block " + quote(kDemo) + " " + quote(s / "x.pcb") + " --box 0,0,1,1");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("an action is needed"), std::string::npos);
    r = run(s, "block " + quote(kDemo) + " " + quote(s / "x.pcb") + " --box 0,0,1 --delete-inside");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("bad --box"), std::string::npos);
    r = run(s, "block " + quote(kDemo) + " " + quote(s / "x.pcb") + " --polygon '0,0;1,1' --delete-inside");
    EXPECT_EQ(r.status, 1);
    r = run(s, "block " + quote(kDemo) + " " + quote(s / "x.pcb") + " --box 0,0,1,1 --scale 0 --move 1,1");
    EXPECT_EQ(r.status, 1);
    r = run(s, "block " + quote(kDemo) + " " + quote(s / "x.pcb") + " --box 5,5,6,6 --build EMPTY");
    EXPECT_EQ(r.status, 1);
    EXPECT_FALSE(fs::exists(s / "x.pcb"));
    r = run(s, "block " + quote(kDemo) + " " + quote(s / "x.pcb") + " --polygon '-1,-1;3,-1;3,3' --delete-outside");
    ASSERT_EQ(r.status, 0) << r.err;
}
