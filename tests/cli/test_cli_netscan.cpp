// trazel-cli netscan and ratnest on small hand-built boards and the demo board: the summary and the
// exit statuses, the log and the board as the scan leaves it, both methods alike, the inputs refused, and
// NS through a macro.
#include "cli/cli_runner.h"

using namespace cli_test;

namespace {

const std::string kDemo = source("share/examples/demo.pcb");

// Two nets of two round through-hole pads each (0.060 inch, hole 0.035) on a two-sided board: net A
// joined by a track, net B not.  `extra` adds records before the end.
std::string board(const std::string& extra = "") {
    return "TRAZEL Version 4.0 -- Data File.\r\n\r\n"
           "-y0:00FFFF00,00000000,0,0,Pad Master\r\n"
           "-y1:00FF0000,00000000,2,1,Top\r\n"
           "-y2:000000FF,00000000,10,2,Bottom\r\n"
           "-y3:00FFFFFF,00000000,0,3,Silk\r\n"
           "-nc0,0,.008,.01,.01,0\r\n\r\n"
           "3 0 1 .5 .5 .06 .06 .035 0 1 A\r\n"
           "3 0 1 1.5 .5 .06 .06 .035 0 2 A\r\n"
           "3 0 1 .5 1.0 .06 .06 .035 0 3 B\r\n"
           "3 0 1 1.5 1.0 .06 .06 .035 0 4 B\r\n"
           "1 1 .012 .5 .5 1.5 .5 A\r\n" +
           extra + "\r\nEND OF FILE\r\n";
}

} // namespace

TEST(CliNetscan, SummaryLogAndExitStatus) {
    Scratch s;
    spit(s / "b.pcb", board());
    Result r = run(s, "netscan " + quote(s / "b.pcb"));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "2 nets scanned, 1 error detected.\n");
    std::string log = slurp(s / "b.pcb.LOG");
    EXPECT_EQ(log.rfind("NETSCAN ERROR LOG", 0), 0u);
    EXPECT_EQ(count(log, "Discontinuity from"), 1);
    EXPECT_NE(log.find("\r\n\f"), std::string::npos) << "the form feed after the summary";
    EXPECT_EQ(run(s, "netscan " + quote(s / "b.pcb") + " --fail-on-errors").status, 3);

    // The plain method writes the same log; --save keeps the Ratnest line the scan added.
    r = run(s, "netscan " + quote(s / "b.pcb") + " --plain --log " + quote(s / "plain.log") + " --save " +
                   quote(s / "saved.pcb"));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(slurp(s / "plain.log"), log);
    EXPECT_EQ(count(slurp(s / "saved.pcb"), "\r\n1 255 "), 1);

    // With the track to B the board is clean.
    spit(s / "ok.pcb", board("1 1 .012 .5 1.0 1.5 1.0 B\r\n"));
    r = run(s, "netscan " + quote(s / "ok.pcb") + " --fail-on-errors");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "2 nets scanned, no errors detected.\n");
}

TEST(CliNetscan, TheDemoBoardIsClean) {
    Scratch s;
    Result r = run(s, "netscan " + quote(kDemo) + " --log " + quote(s / "demo.log") + " --fail-on-errors");
    EXPECT_EQ(r.status, 0) << r.out << slurp(s / "demo.log");
    EXPECT_NE(r.out.find("scanned, no errors detected."), std::string::npos) << r.out;
}

TEST(CliNetscan, InputsThatAreNoBoardAndLogsThatCannotBeWritten) {
    Scratch s;
    spit(s / "notes.txt", "just some text\n");
    Result r = run(s, "netscan " + quote(s / "notes.txt"));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("is no board"), std::string::npos) << r.err;
    std::string cut = board();
    cut.resize(cut.find("END OF FILE"));
    spit(s / "cut.pcb", cut);
    r = run(s, "netscan " + quote(s / "cut.pcb"));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("cut short"), std::string::npos) << r.err;
    EXPECT_EQ(run(s, "netscan " + quote(s / "none.pcb")).status, 1);
    spit(s / "b.pcb", board());
    r = run(s, "netscan " + quote(s / "b.pcb") + " --log " + quote(s / "no/such/dir/x.log"));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(run(s, "netscan").status, 2);
    EXPECT_EQ(run(s, "netscan " + quote(s / "b.pcb") + " --bogus").status, 2);
}

TEST(CliRatnest, BuildOneSignalAndDelete) {
    Scratch s;
    spit(s / "b.pcb", board());
    Result r = run(s, "ratnest " + quote(s / "b.pcb") + " " + quote(s / "r.pcb"));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "deleted 0 lines, added 1 lines\n") << "A is tracked: only B gets a line";
    EXPECT_EQ(count(slurp(s / "r.pcb"), "\r\n1 255 "), 1);
    r = run(s, "ratnest " + quote(s / "r.pcb") + " " + quote(s / "r2.pcb") + " --signal B");
    EXPECT_EQ(r.out, "deleted 1 lines, added 1 lines\n");
    r = run(s, "ratnest " + quote(s / "r.pcb") + " " + quote(s / "r3.pcb") + " --delete");
    EXPECT_EQ(r.out, "deleted 1 lines, added 0 lines\n");
    EXPECT_EQ(count(slurp(s / "r3.pcb"), "\r\n1 255 "), 0);
    EXPECT_EQ(run(s, "ratnest " + quote(s / "b.pcb") + " " + quote(s / "x.pcb") + " --signal NOPE").status, 1);
}

TEST(CliNetscan, NetScanThroughAMacroShowsACrosslink) {
    Scratch s;
    // A track from A's pad to B's pad shorts the two nets.
    spit(s / "short.pcb", board("1 1 .012 1.5 .5 1.5 1.0\r\n"));
    Result r = run(s, "macro " + quote(s / "short.pcb") + " --keys '\"0.5,0.5\" Enter <NS>'");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("Signal <A> is crosslinked to signal <B>."), std::string::npos) << r.out;
}
