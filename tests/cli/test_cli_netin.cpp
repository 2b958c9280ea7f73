// trazel-cli netin: a board annotated from a netlist and a library (the log beside the input, Signals
// and the new Component in OUT), a mask over several files, and the exit statuses: unreadable input, a
// mask matching nothing, an output that cannot be written, usage.
#include "cli/cli_runner.h"

using namespace cli_test;

namespace {

// Two through-hole pads of R1 and a track, with the library T.LIB in its list.
std::string board() {
    return "TRAZEL Version 4.0 -- Data File.\r\n\r\n"
           "-y0:00FFFF00,00000000,0,0,Pad Master\r\n"
           "-y1:00FF0000,00000000,2,1,Top\r\n"
           "-y2:000000FF,00000000,10,2,Bottom\r\n"
           "-b\r\n-bT.LIB\r\n\r\n"
           "6 0 0 .5 .5 1.5 .6 R400\x7FR1\x7F" "10K\r\n"
           "3 0 1 .5 .5 .06 .06 .035 0 1\r\n"
           "3 0 1 .9 .5 .06 .06 .035 0 2\r\n"
           "0 6 0 .5 .5\r\n"
           "1 1 .012 .5 .5 1.5 .5 OLD\r\n"
           "\r\nEND OF FILE\r\n";
}

const std::string kLibrary = "TRAZEL Version 4.0 -- Data File.\r\n\r\n"
                             "6 0 0 0 0 .3 .1 BLOCK\x7FX?\r\n"
                             "3 0 1 0 0 .06 .06 .035 0 1\r\n"
                             "3 0 1 .3 0 .06 .06 .035 0 2\r\n"
                             "0 6 0 0 0\r\n\r\nEND OF FILE\r\n";

} // namespace

TEST(CliNetin, AnnotatesTheBoardAndWritesTheLogBesideIt) {
    Scratch s;
    spit(s / "b.pcb", board());
    fs::create_directories(s.dir / "lib");
    spit(s / "lib/T.LIB", kLibrary);
    spit(s / "n.net", "[\r\nX1\r\nBLOCK\r\nA\r\n\r\n\r\n\r\n]\r\n(\r\nN1\r\nR1-1\r\nX1-2\r\nU5-1\r\n)\r\n");
    Result r = run(s, "netin " + quote(s / "b.pcb") + " " + quote(s / "n.net") + " " + quote(s / "o.pcb") +
                          " --library-path " + quote(s / "lib"));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "Total input node count:  3\n");
    std::string log = slurp(s / "b.pcb.LOG");
    EXPECT_EQ(log.rfind("NETLIST INPUT LOG", 0), 0u);
    EXPECT_NE(log.find("\r\nLine: 13    Component not found     Name:  U5\r\n"), std::string::npos) << log;
    EXPECT_NE(log.find("\r\nWarning:    Unlinked pin            Name:  R1-2\r\n"), std::string::npos) << log;
    EXPECT_NE(log.find("\r\nWarning:    Unlinked pin            Name:  X1-1\r\n"), std::string::npos) << log;
    std::string out = slurp(s / "o.pcb");
    EXPECT_NE(out.find("\r\n3 0 1 .5 .5 .06 .06 .035 0 1 N1\r\n"), std::string::npos) << out;
    EXPECT_NE(out.find("BLOCK\x7FX1\x7F" "A\r\n"), std::string::npos) << "the new Component";
    EXPECT_NE(out.find("\r\n1 1 .012 .5 .5 1.5 .5\r\n"), std::string::npos) << "the track lost its Signal";
    EXPECT_EQ(count(out, " N1\r\n"), 2);

    // The same again on the result changes nothing; the log names its own file.
    r = run(s, "netin " + quote(s / "o.pcb") + " " + quote(s / "n.net") + " " + quote(s / "o2.pcb") + " --log " +
                   quote(s / "again.log") + " --library-path " + quote(s / "lib"));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(slurp(s / "o2.pcb"), out);
    EXPECT_EQ(count(slurp(s / "again.log"), "Component not found"), 1);
}

TEST(CliNetin, AMaskReadsItsFilesInNameOrder) {
    Scratch s;
    spit(s / "b.pcb", board());
    spit(s / "2.net", "(\r\nB\r\nR1-2\r\n)\r\n");
    spit(s / "1.net", "(\r\nA\r\nR1-1\r\nR1-2\r\n)\r\n");
    Result r = run(s, "netin " + quote(s / "b.pcb") + " " + quote(s / "*.net") + " " + quote(s / "o.pcb"));
    ASSERT_EQ(r.status, 0) << r.err;
    std::string log = slurp(s / "b.pcb.LOG");
    EXPECT_LT(log.find(s / "1.net:"), log.find(s / "2.net:"));
    EXPECT_NE(log.find("Line: 3     Crosslinked pin         Name:  R1-2"), std::string::npos) << log;
    EXPECT_NE(slurp(s / "o.pcb").find(".9 .5 .06 .06 .035 0 2 B\r\n"), std::string::npos);
}

TEST(CliNetin, FailuresWriteNothing) {
    Scratch s;
    spit(s / "b.pcb", board());
    spit(s / "n.net", "(\r\nA\r\nR1-1\r\n)\r\n");
    // A mask that matches nothing: the box's text on one line.
    Result r = run(s, "netin " + quote(s / "b.pcb") + " " + quote(s / "*.none") + " " + quote(s / "o.pcb"));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "trazel-cli: No netlist input files can be located using the specified pattern mask.\n");
    EXPECT_EQ(lines(r.err), 1);
    EXPECT_FALSE(fs::exists(s / "o.pcb"));
    EXPECT_FALSE(fs::exists(s / "b.pcb.LOG"));
    // An input that cannot be read.
    r = run(s, "netin " + quote(s / "none.pcb") + " " + quote(s / "n.net") + " " + quote(s / "o.pcb"));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(lines(r.err), 1) << r.err;
    // An output that cannot be written: an existing OUT stays, and the log is not written either.
    fs::create_directories(s.dir / "o.pcb");
    r = run(s, "netin " + quote(s / "b.pcb") + " " + quote(s / "n.net") + " " + quote(s / "o.pcb"));
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(fs::is_directory(s.dir / "o.pcb"));
    EXPECT_FALSE(fs::exists(s / "b.pcb.LOG"));
    r = run(s, "netin " + quote(s / "b.pcb") + " " + quote(s / "n.net") + " " + quote(s / "no/dir/o.pcb"));
    EXPECT_EQ(r.status, 1);
    EXPECT_FALSE(fs::exists(s / "b.pcb.LOG"));
    // Usage.
    EXPECT_EQ(run(s, "netin").status, 2);
    EXPECT_EQ(run(s, "netin " + quote(s / "b.pcb") + " " + quote(s / "n.net")).status, 2);
    EXPECT_EQ(run(s, "netin " + quote(s / "b.pcb") + " " + quote(s / "n.net") + " x.pcb --bogus").status, 2);
    EXPECT_EQ(run(s, "netin " + quote(s / "b.pcb") + " " + quote(s / "n.net") + " x.pcb --log").status, 2);
    EXPECT_FALSE(fs::exists(s / "b.pcb.LOG"));
}
