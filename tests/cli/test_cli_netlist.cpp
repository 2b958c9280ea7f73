// trazel-cli netlist: both layouts with a fixed date, the naming pass naming a net without writing the
// board, the checks that end it with one line and no file (Reference ID, crosslink), a failed write
// keeping the old file, and usage errors.
#include <cstdlib>

#include "cli/cli_runner.h"

using namespace cli_test;

namespace {

// U2 and U10, each a round through-hole pad pin 1 on CLK (at x, 1.0) and pin 2 without Signal (at x, 1.5);
// a track joins the two pins 2.  `extra` goes before the end.
std::string board(const std::string& u10 = "U10", const std::string& extra = "") {
    auto part = [](const std::string& ref, const std::string& x) {
        return "6 0 0 " + x + " .9 " + x + " 1.6 DIP8\x7F" + ref + "\x7F" + "7400\r\n" + "3 0 1 " + x +
               " 1.0 .06 .06 .035 0 1 CLK\r\n" + "3 0 1 " + x + " 1.5 .06 .06 .035 0 2\r\n0 6 0 " + x + " 1.0\r\n";
    };
    return "TRAZEL Version 4.0 -- Data File.\r\n\r\n"
           "-y0:00FFFF00,00000000,0,0,Pad Master\r\n"
           "-y1:00FF0000,00000000,2,1,Top\r\n"
           "-y2:000000FF,00000000,10,2,Bottom\r\n"
           "-y3:00FFFFFF,00000000,0,3,Silk\r\n\r\n" +
           part("U2", "1.0") + part(u10, "2.0") + "1 1 .012 1.0 1.5 2.0 1.5\r\n" + extra + "\r\nEND OF FILE\r\n";
}

struct FixedDate {
    FixedDate() {
        setenv("SOURCE_DATE_EPOCH", "0", 1); // 01/01/70
    }
    ~FixedDate() {
        unsetenv("SOURCE_DATE_EPOCH");
    }
};

} // namespace

TEST(CliNetlist, BothLayoutsAndTheNamingPass) {
    Scratch s;
    FixedDate date;
    spit(s / "b.pcb", board());
    Result r = run(s, "netlist " + quote(s / "b.pcb") + " " + quote(s / "b.net"));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "");
    std::string net = slurp(s / "b.net");
    std::string first = net.substr(0, net.find("\r\n"));
    EXPECT_EQ(first, "PCB PARTS LIST" + std::string(45, ' ') + "b.pcb" + std::string(45, ' ') + "01/01/70");
    // The parts list in text order, the nodes in reference key order.
    EXPECT_NE(net.find("\r\nU10             ?                         7400                                                "
                       "DIP8\r\nU2              ?"),
              std::string::npos)
        << net;
    EXPECT_NE(net.find("\r\n\r\n\r\nCLK             U10-1   U2-1\r\n\r\n\r\nEND OF FILE\r\n"), std::string::npos) << net;
    EXPECT_EQ(count(net, "$"), 0);
    // The same again: a fixed date gives the same bytes.
    ASSERT_EQ(run(s, "netlist " + quote(s / "b.pcb") + " " + quote(s / "again.net")).status, 0);
    EXPECT_EQ(slurp(s / "again.net"), net);

    r = run(s, "netlist " + quote(s / "b.pcb") + " " + quote(s / "n.net") + " --bracketed --name-nets");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(slurp(s / "n.net"), "[\r\nU10\r\nDIP8\r\n7400\r\n\r\n\r\n\r\n]\r\n[\r\nU2\r\nDIP8\r\n7400\r\n\r\n\r\n\r\n]\r\n"
                                  "(\r\n$10001\r\nU10-2\r\nU2-2\r\n)\r\n(\r\nCLK\r\nU10-1\r\nU2-1\r\n)\r\n");
    EXPECT_EQ(slurp(s / "b.pcb"), board()) << "the board is not saved";
}

TEST(CliNetlist, ChecksEndItWithOneLineAndNoFile) {
    Scratch s;
    spit(s / "bad.pcb", board("u10")); // the reader keeps Components sorted: it comes after U2
    Result r = run(s, "netlist " + quote(s / "bad.pcb") + " " + quote(s / "x.net"));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(lines(r.err), 1) << r.err;
    EXPECT_NE(r.err.find("component 2, Reference ID \"u10\""), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(s / "x.net"));

    // Pin 1 of U10 on another Signal, joined to U2's by a track: the naming pass stops at the crosslink.
    std::string crossed = board("U10", "1 1 .012 1.0 1.0 2.0 1.0\r\n");
    std::string clk = "2.0 1.0 .06 .06 .035 0 1 CLK";
    crossed.replace(crossed.find(clk), clk.size(), "2.0 1.0 .06 .06 .035 0 1 DATA");
    spit(s / "x.pcb", crossed);
    spit(s / "old.net", "precious");
    r = run(s, "netlist " + quote(s / "x.pcb") + " " + quote(s / "old.net") + " --name-nets");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "trazel-cli: Signal <CLK> is crosslinked to signal <DATA>. At U10-1 (2.000,1.000).\n");
    EXPECT_EQ(slurp(s / "old.net"), "precious");
    // Without the naming pass the Signals are listed as they are.
    ASSERT_EQ(run(s, "netlist " + quote(s / "x.pcb") + " " + quote(s / "y.net")).status, 0);
    EXPECT_NE(slurp(s / "y.net").find("\r\nDATA            U10-1\r\n"), std::string::npos);
}

TEST(CliNetlist, FailedWritesKeepTheOldFileAndUsageErrors) {
    Scratch s;
    spit(s / "b.pcb", board());
    spit(s / "old.net", "precious");
    fs::permissions(s.dir / "old.net", fs::perms::owner_read);
    Result r = run(s, "netlist " + quote(s / "b.pcb") + " " + quote(s / "old.net"));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(lines(r.err), 1) << r.err;
    EXPECT_EQ(slurp(s / "old.net"), "precious");
    fs::permissions(s.dir / "old.net", fs::perms::owner_all);
    r = run(s, "netlist " + quote(s / "missing.pcb") + " " + quote(s / "old.net"));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(lines(r.err), 1) << r.err;
    EXPECT_EQ(slurp(s / "old.net"), "precious");
    EXPECT_EQ(run(s, "netlist " + quote(s / "b.pcb") + " " + quote(s / "no/such/dir/x.net")).status, 1);
    EXPECT_EQ(run(s, "netlist").status, 2);
    EXPECT_EQ(run(s, "netlist " + quote(s / "b.pcb")).status, 2);
    EXPECT_EQ(run(s, "netlist " + quote(s / "b.pcb") + " a b").status, 2);
    EXPECT_EQ(run(s, "netlist " + quote(s / "b.pcb") + " o --bogus").status, 2);
}
