// trazel-cli library and place: the browser listing and lookup of the bundled libraries, Components placed
// one by one or from a list, and the same result as the Place Component function played as a macro.
#include "cli/cli_runner.h"

using namespace cli_test;

namespace {

const std::string kDemo = source("share/examples/demo.pcb");
const std::string kLibs = " --library-path " + quote(source("share/LIBRARY"));

std::string body(const std::string& file) {
    size_t at = file.find("Line: 1 layer width X1 Y1 X2 Y2 signal\r\n");
    return at == std::string::npos ? std::string() : file.substr(at);
}

} // namespace

TEST(CliLibrary, ListingAndLookup) {
    Scratch s;
    Result r = run(s, "library SMD.LIB 'r0?0*'" + kLibs);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, " *** SMD.LIB\nR0402\tR?\nR0603\tR?\nR0805\tR?\n");

    r = run(s, "library --find sot23 THD.LIB SMD.LIB" + kLibs);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.rfind("SMD.LIB:", 0), 0u);
    EXPECT_NE(r.out.find("\tSOT23\tQ?"), std::string::npos);
    // The line named is the entry's Component record.
    int line = std::atoi(r.out.c_str() + 8);
    std::string lib = slurp(source("share/LIBRARY/SMD.LIB"));
    size_t at = 0;
    for (int i = 1; i < line; ++i) {
        at = lib.find('\n', at) + 1;
    }
    EXPECT_EQ(lib.substr(at, 2), "6 ");
    EXPECT_NE(lib.substr(at, lib.find('\n', at) - at).find("SOT23\x7F"), std::string::npos);

    EXPECT_EQ(run(s, "library --find NOPE THD.LIB" + kLibs).status, 1);
    spit(s / "bad.LIB", "not a library\n");
    r = run(s, "library " + quote(s / "bad.LIB"));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("cannot be processed"), std::string::npos);
    r = run(s, "library " + quote(s / "none.LIB"));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("cannot be located"), std::string::npos);
}

TEST(CliPlace, OneComponentAndAListWithFreeReferences) {
    Scratch s;
    Result r = run(s, "place " + quote(kDemo) + " " + quote(s / "one.pcb") +
                          " --component SOIC8 --at 1,1 --ref 'IC?' --value LM358 --angle 90" + kLibs);
    ASSERT_EQ(r.status, 0) << r.err;
    std::string one = slurp(s / "one.pcb");
    EXPECT_EQ(count(one, "SOIC8\x7FIC1\x7FLM358"), 1);
    EXPECT_NE(one.find("\r\n0 6 0 1.0 1.0\r\n"), std::string::npos); // the hook where it was put

    spit(s / "parts.txt", "# pattern,ref,value,x,y[,angle]\n"
                          "R0805,R?,10k,0.5,0.5\n"
                          "R0805,R?,1k,12.7mm,25.4mm,180\n"
                          "\n"
                          "C0603,,100n,1,0.25\n");
    r = run(s, "place " + quote(s / "one.pcb") + " " + quote(s / "list.pcb") + " --list " + quote(s / "parts.txt") +
                   kLibs);
    ASSERT_EQ(r.status, 0) << r.err;
    std::string list = slurp(s / "list.pcb");
    // The demo board has R1 and C1 to C3 already.
    EXPECT_EQ(count(list, "R0805\x7FR2\x7F" "10k"), 1);
    EXPECT_EQ(count(list, "R0805\x7FR3\x7F" "1k"), 1);
    EXPECT_EQ(count(list, "C0603\x7F" "C4\x7F" "100n"), 1);
    // Sorted as the reader keeps them: the file reads back and writes the same bytes.
    r = run(s, "convert " + quote(s / "list.pcb") + " " + quote(s / "again.pcb"));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(body(slurp(s / "again.pcb")), body(list));
}

TEST(CliPlace, ABadLineNamesItselfAndLeavesTheOutputAlone) {
    Scratch s;
    spit(s / "out.pcb", "keep me");
    spit(s / "parts.txt", "R0805,R1,10k,0.5,0.5\nR0805,R2,10k,half,0.5\n");
    Result r = run(s, "place " + quote(kDemo) + " " + quote(s / "out.pcb") + " --list " + quote(s / "parts.txt") + kLibs);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("parts.txt:2:"), std::string::npos) << r.err;
    spit(s / "parts.txt", "R0805,R1,10k,0.5,0.5\nNOSUCH,X1,,1,1\n");
    r = run(s, "place " + quote(kDemo) + " " + quote(s / "out.pcb") + " --list " + quote(s / "parts.txt") + kLibs);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("parts.txt:2:"), std::string::npos) << r.err;
    spit(s / "parts.txt", "R0805,R 1,10k,0.5,0.5\n");
    EXPECT_EQ(run(s, "place " + quote(kDemo) + " " + quote(s / "out.pcb") + " --list " + quote(s / "parts.txt") + kLibs)
                  .status,
              1);
    EXPECT_EQ(slurp(s / "out.pcb"), "keep me");
    EXPECT_EQ(run(s, "place " + quote(kDemo) + " " + quote(s / "out.pcb") + " --at 1,1" + kLibs).status, 2);
}

TEST(CliPlace, TheSameAsThePlaceComponentFunction) {
    Scratch s;
    Result r = run(s, "place " + quote(kDemo) + " " + quote(s / "verb.pcb") +
                          " --component TO220 --ref Q7 --value 7805 --at 1.5,0.5" + kLibs);
    ASSERT_EQ(r.status, 0) << r.err;
    // The macro: cursor to the point, PC with its dialog answered, the click that drops it.
    r = run(s, "macro " + quote(kDemo) + " " + quote(s / "macro.pcb") +
                   " --keys '\"1.5,0.5\" Enter <PC> Enter' --field ComponentLibraryBox.field0=TO220"
                   " --field ComponentLibraryBox.field1=Q7 --field ComponentLibraryBox.field2=7805" + kLibs);
    ASSERT_EQ(r.status, 0) << r.err;
    // A library folder that does not hold the part: the macro's PC finds nothing and places nothing.
    Result none = run(s, "macro " + quote(kDemo) + " " + quote(s / "none.pcb") +
                             " --keys '<PC> Enter' --field ComponentLibraryBox.field0=TO220 --library-path " +
                             quote(s.dir.string()));
    ASSERT_EQ(none.status, 0) << none.err;
    EXPECT_EQ(count(slurp(s / "none.pcb"), "TO220\x7F"), 0); // the board has a TO220V of its own
    // Showing a board measures its Texts again; the verb's file goes through the same showing.
    r = run(s, "macro " + quote(s / "verb.pcb") + " " + quote(s / "shown.pcb") + " --keys ''");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(body(slurp(s / "macro.pcb")), body(slurp(s / "shown.pcb")));
}

TEST(CliPlace, CoordinatesTypedBetweenTheClicksOfALine) {
    Scratch s;
    // The typed point moves the cursor and the line goes on: the click after it fixes the segment.
    Result r = run(s, "macro " + quote(kDemo) + " " + quote(s / "line.pcb") +
                          " --keys '\"0.5,0.5\" Enter <PL> \"1.5,0.5\" Enter Enter'");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(count(slurp(s / "line.pcb"), "\r\n1 4 .012 .5 .5 1.5 .5\r\n"), 1);
}
