// trazel-cli bom, pinlist and wirelist: the files with a fixed date from SOURCE_DATE_EPOCH, the CSV
// whose value holds a comma, the exit statuses (an old output kept when the input cannot be read or
// the output cannot be written), and FB through a macro.
#include <cstdlib>

#include "cli/cli_runner.h"

using namespace cli_test;

namespace {

// R1 4K7, R2 4.7K (surface pads on "Top") and C1 "10u,25V"; a via of A beside R1.
std::string board() {
    auto part = [](const std::string& params, const std::string& x, const std::string& sig) {
        return "6 0 0 " + x + " .9 " + x + " 1.1 " + params + "\r\n" + "3 1 6 " + x + " 1.0 .05 .05 0 0 1 " + sig +
               "\r\n0 6 0 " + x + " 1.0\r\n";
    };
    return "TRAZEL Version 4.0 -- Data File.\r\n\r\n"
           "-y0:00FFFF00,00000000,0,0,Pad Master\r\n"
           "-y1:00FF0000,00000000,2,1,Top\r\n"
           "-y2:000000FF,00000000,10,2,Bottom\r\n"
           "-y3:00FFFFFF,00000000,0,3,Silk\r\n\r\n" +
           part("0805\x7FR1\x7F"
                "4K7",
                "1.0", "A") +
           part("0805\x7FR2\x7F"
                "4.7K",
                "2.0", "B") +
           part("1206\x7F"
                "C1\x7F"
                "10u,25V",
                "3.0", "A") +
           "3 0 3 1.0 1.5 .03 .03 .015 0 0 A\r\n" + "\r\nEND OF FILE\r\n";
}

// A title line: the title, "b.pcb" centred from column `name_at`, the date at column 72.
std::string title(const std::string& t, size_t name_at) {
    std::string l = t;
    l.resize(name_at, ' ');
    l += "b.pcb";
    l.resize(72, ' ');
    return l + "01/02/70";
}

// SOURCE_DATE_EPOCH for the runs of one test.
struct FixedDate {
    FixedDate() {
        setenv("SOURCE_DATE_EPOCH", "86400", 1); // 01/02/70
    }
    ~FixedDate() {
        unsetenv("SOURCE_DATE_EPOCH");
    }
};

} // namespace

TEST(CliBom, ColumnAndCommaSeparatedLayoutsWithAFixedDate) {
    Scratch s;
    FixedDate date;
    spit(s / "b.pcb", board());
    Result r = run(s, "bom " + quote(s / "b.pcb") + " " + quote(s / "b.bom"));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out + r.err, "");
    std::string bom = slurp(s / "b.bom");
    EXPECT_EQ(bom.substr(0, bom.find("\r\n")), title("BILL OF MATERIALS", 42));
    std::string r2 = "4.7K" + std::string(24, ' ') + "0805" + std::string(11, ' ') + "1  R2\r\n\r\n";
    std::string r1 = "4K7" + std::string(25, ' ') + "0805" + std::string(11, ' ') + "1  R1\r\n\r\n";
    EXPECT_NE(bom.find(r2 + r1), std::string::npos) << bom;
    EXPECT_NE(bom.find("\f NAME"), std::string::npos);
    // The same date again: the same file.
    ASSERT_EQ(run(s, "bom " + quote(s / "b.pcb") + " " + quote(s / "again.bom")).status, 0);
    EXPECT_EQ(slurp(s / "again.bom"), bom);

    r = run(s, "bom " + quote(s / "b.pcb") + " " + quote(s / "b.csv") + " --csv --symbols");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(slurp(s / "b.csv"), "TYPE/VALUE,MODIFIER,PATTERN,QTY,COMPONENTS\r\n"
                                  "\"10u,25V\",,1206,1,C1\r\n4.7K,,0805,1,R2\r\n4K7,,0805,1,R1\r\n");
}

TEST(CliBom, PinAndWireLists) {
    Scratch s;
    FixedDate date;
    spit(s / "b.pcb", board());
    Result r = run(s, "pinlist " + quote(s / "b.pcb") + " " + quote(s / "b.pin"));
    ASSERT_EQ(r.status, 0) << r.err;
    std::string pins = slurp(s / "b.pin");
    EXPECT_EQ(pins.substr(0, pins.find("\r\n")), title("COMPONENT PIN LIST", 42));
    EXPECT_NE(pins.find("R1      0805        1     Top   1.000   1.000   A           VIA   1.000   1.500\r\n"),
              std::string::npos)
        << pins;

    r = run(s, "wirelist " + quote(s / "b.pcb") + " " + quote(s / "b.wir"));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(slurp(s / "b.wir"), title("SIGNAL WIRE LIST", 41) + "\r\n" + std::string(80, '-') +
                                      "\r\nSIGNAL          FROM-PIN        TO-PIN          LENGTH      REMARKS\r\n" +
                                      std::string(80, '-') + "\r\n\r\n\f");
}

TEST(CliBom, FailuresKeepTheOldOutputAndUsageErrors) {
    Scratch s;
    spit(s / "b.pcb", board());
    spit(s / "old.bom", "precious");
    for (const char* verb : {"bom", "pinlist", "wirelist"}) {
        SCOPED_TRACE(verb);
        std::string v = verb;
        Result r = run(s, v + " " + quote(s / "missing.pcb") + " " + quote(s / "old.bom"));
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(lines(r.err), 1) << r.err;
        EXPECT_EQ(slurp(s / "old.bom"), "precious");
        r = run(s, v + " " + quote(s / "b.pcb") + " " + quote(s / "no/such/dir/x.lst"));
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(lines(r.err), 1) << r.err;
        // A folder in the way of the output stays a folder.
        fs::create_directories(s.dir / "folder" / "inside");
        r = run(s, v + " " + quote(s / "b.pcb") + " " + quote(s / "folder"));
        EXPECT_EQ(r.status, 1);
        EXPECT_TRUE(fs::is_directory(s.dir / "folder" / "inside"));
        EXPECT_EQ(run(s, v).status, 2);
        EXPECT_EQ(run(s, v + " " + quote(s / "b.pcb")).status, 2);
        EXPECT_EQ(run(s, v + " " + quote(s / "b.pcb") + " a b").status, 2);
        EXPECT_EQ(run(s, v + " " + quote(s / "b.pcb") + " " + quote(s / "o") + " --bogus").status, 2);
    }
    EXPECT_EQ(run(s, "pinlist " + quote(s / "b.pcb") + " " + quote(s / "o") + " --csv").status, 2);
}

TEST(CliBom, BillOfMaterialsThroughAMacro) {
    Scratch s;
    spit(s / "b.pcb", board());
    Result r = run(s, "macro " + quote(s / "b.pcb") + " --keys '<FB>' --field " +
                          quote("BOMOutBox.file=" + s / "m.csv") + " --field 'BOMOutBox.csv=1'");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(slurp(s / "m.csv").substr(0, 44), "TYPE/VALUE,MODIFIER,PATTERN,QTY,COMPONENTS\r\n");
    // Left as it is, the file name is the board's with ".BOM".
    r = run(s, "macro " + quote(s / "b.pcb") + " --keys '<FB>'");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(fs::exists(s / "b.BOM"));
}
