// trazel-cli convert: the demo files and fixtures through the import chooser and the export dispatcher,
// and what happens when a file cannot be read or written.
#include <vector>

#include "cli/cli_runner.h"

using namespace cli_test;

namespace {

std::vector<std::string> records(const std::string& file) {
    std::vector<std::string> v;
    size_t at = file.find("Line: 1 layer width X1 Y1 X2 Y2 signal\r\n");
    if (at == std::string::npos) {
        return v;
    }
    at += 40;
    size_t end = file.find("\r\nEND OF FILE\r\n", at);
    while (at < end) {
        size_t e = file.find("\r\n", at);
        v.push_back(file.substr(at, e - at));
        at = e + 2;
    }
    return v;
}

} // namespace

TEST(CliConvert, DemoFilesComeBackByteForByte) {
    Scratch s;
    for (std::string demo : {"share/examples/demo.pcb", "share/examples/demo.sch"}) {
        Result r = run(s, "convert " + quote(source(demo)) + " " + quote(s / "copy"));
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(slurp(s / "copy"), slurp(source(demo))) << demo;
    }
}

TEST(CliConvert, HandWrittenSpellingsReadToTheRuleValues) {
    // Values worked out from the rules: 12 thousandths = 786 units, written .012; 1 thousandth = 66
    // units, written .001 (66 x 100000 / 65536 = 100.7); 2 thousandths = 131, written .002 (199.9,
    // odd, raised to 200); the TAB at column 24 of the Text line becomes 8 blanks.
    Scratch s;
    Result r = run(s, "convert " + quote(source("tests/data/spellings.pcb")) + " " + quote(s / "out.pcb"));
    ASSERT_EQ(r.status, 0) << r.err;
    std::string out = slurp(s / "out.pcb");
    std::vector<std::string> want = {
        "4 3 .05 0 .5 0 0 0 0  two        x",
        "3 0 1 .001 .001 .06 .06 .035 0 0",
        "2 3 .01 .002 .002 .1 90 0 0 0",
        "1 3 .012 0 0 1.0 0 GND",
    };
    EXPECT_EQ(records(out), want);
    for (std::string line :
         {"\r\n-y3\r\n-y0:00FFFF00,00000000,0,0,Pad Master\r\n-y3:00FF0000,00000000,2,3,Top Side\r\n",
          "\r\n-il.012\r\n", "\r\n-dy\r\n-dytop:0,3\r\n", "\r\n-gfC\r\n"}) {
        EXPECT_NE(out.find(line), std::string::npos) << line;
    }
    // The written file is a fixed point.
    r = run(s, "convert " + quote(s / "out.pcb") + " " + quote(s / "again.pcb"));
    EXPECT_EQ(slurp(s / "again.pcb"), out);
}

TEST(CliConvert, FormatCodes) {
    Scratch s;
    // "Z": the top-level Texts of the demo board in the order written (by layer: 1, 1, 7, 8).
    Result r =
        run(s, "convert " + quote(source("share/examples/demo.pcb")) + " " + quote(s / "texts.txt") + " --format z");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(slurp(s / "texts.txt"), "5V REGULATOR\r\nREV A\r\nGND POUR\r\n2.00 x 1.50 in\r\n");
    // A text file keeps its own code "Z" unless told otherwise; as "C" it becomes a Data file.
    spit(s / "notes.txt", "first\n\nthird\n");
    r = run(s, "convert " + quote(s / "notes.txt") + " " + quote(s / "notes.out"));
    EXPECT_EQ(slurp(s / "notes.out"), "first\r\n\r\nthird\r\n");
    r = run(s, "convert --format=C " + quote(s / "notes.txt") + " " + quote(s / "notes.pcb"));
    ASSERT_EQ(r.status, 0) << r.err;
    std::string data = slurp(s / "notes.pcb");
    EXPECT_EQ(data.substr(0, 32), "TRAZEL Version 4.0 -- Data File.");
    EXPECT_NE(data.find("\r\n-gfC\r\n"), std::string::npos);
    EXPECT_NE(data.find("\r\n4 0 "), std::string::npos);
    // A code without a writer: told on stderr, the Data file is written all the same.
    r = run(s, "convert " + quote(s / "notes.txt") + " " + quote(s / "notes.p") + " --format Q");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "trazel-cli: TRAZEL'98: The specified output format is not supported. TRAZEL Version 4.0 "
                     "file format will be substituted.\n");
    EXPECT_EQ(slurp(s / "notes.p").substr(0, 32), "TRAZEL Version 4.0 -- Data File.");
}

TEST(CliConvert, FailuresLeaveTheOutputAlone) {
    Scratch s;
    spit(s / "old.pcb", "precious");
    // Input missing: one line on stderr, status 1, the existing output untouched.
    Result r = run(s, "convert " + quote(s / "missing.pcb") + " " + quote(s / "old.pcb"));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(lines(r.err), 1);
    EXPECT_NE(r.err.find("missing.pcb"), std::string::npos);
    EXPECT_EQ(slurp(s / "old.pcb"), "precious");
    // An empty input, and a directory as input.
    spit(s / "empty.pcb", "");
    r = run(s, "convert " + quote(s / "empty.pcb") + " " + quote(s / "old.pcb"));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "trazel-cli: cannot read \"" + s / "empty.pcb" + "\": the file is empty\n");
    r = run(s, "info " + quote(s.dir.string()));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(lines(r.err), 1);
    // An output that cannot be written: no directory for it, or a directory in its place.
    std::string demo = quote(source("share/examples/demo.pcb"));
    r = run(s, "convert " + demo + " " + quote(s / "no/such/dir/out.pcb"));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(lines(r.err), 1);
    fs::create_directory(s / "taken");
    spit(s / "taken/inside", "x");
    r = run(s, "convert " + demo + " " + quote(s / "taken"));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(slurp(s / "taken/inside"), "x");
    // Nothing but what was there before is left in the directory: no temporary files.
    std::vector<std::string> names;
    for (auto& e : fs::directory_iterator(s.dir)) {
        names.push_back(e.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"empty.pcb", "old.pcb", "taken"}));
    // Usage errors: status 2.
    EXPECT_EQ(run(s, "convert " + demo).status, 2);
    EXPECT_EQ(run(s, "convert " + demo + " a b").status, 2);
    EXPECT_EQ(run(s, "convert " + demo + " a --format CZ").status, 2);
    EXPECT_EQ(run(s, "convert " + demo + " a --bogus").status, 2);
    EXPECT_EQ(run(s, "").status, 2);
    EXPECT_EQ(run(s, "frobnicate").status, 2);
    r = run(s, "help");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("convert IN OUT"), std::string::npos);
    EXPECT_NE(r.out.find("info IN"), std::string::npos);
}
