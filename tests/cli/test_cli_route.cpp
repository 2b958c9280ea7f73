// trazel-cli route: exit statuses, the log and its default name, directions saved, and a generated board
// routed by the pattern passes that the net scan then finds free of clearance faults and crosslinks.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdlib>

#include "cli/cli_runner.h"
#include "cli/netlist_expect.h"

using namespace cli_test;

namespace {

bool generate(const Scratch& s, const std::string& name, int components, unsigned seed) {
    std::string gen = (fs::path(TRAZEL_CLI).parent_path() / "gen_board").string();
    return std::system((quote(gen) + " " + std::to_string(components) + " " + quote(s / name) + " --seed " +
                        std::to_string(seed) + " --clean >/dev/null 2>&1")
                           .c_str()) == 0;
}

// The log line that starts with `name`.
std::string line_of(const std::string& log, const std::string& name) {
    size_t at = log.find("\n" + name);
    if (at == std::string::npos) {
        return {};
    }
    size_t end = log.find('\r', at + 1);
    return log.substr(at + 1, end - at - 1);
}

} // namespace

TEST(CliRoute, PartPassesOnAGeneratedBoardLeaveNoClearanceFaultOrCrosslink) {
    Scratch s;
    SKIP_WITHOUT_GEN_BOARD();
    ASSERT_TRUE(generate(s, "in.pcb", 20, 3));
    Result r = run(s, "route " + quote(s / "in.pcb") + " " + quote(s / "out.pcb") +
                          " --passes clear,straight,bus,inline,L --direction 3=X --direction 4=Y");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(r.err.empty()) << r.err;
    // The log beside IN by default, its phase lines on stdout too.
    std::string log = slurp(s / "in.pcb.LOG");
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.find("AUTOROUTER STATISTICS LOG"), 0u);
    std::string totals = line_of(log, "Totals:");
    ASSERT_EQ(totals.size(), 79u) << log;
    EXPECT_NE(r.out.find(totals), std::string::npos);
    long processed = std::stol(totals.substr(27, 9)), routed = std::stol(totals.substr(36, 9));
    EXPECT_GT(routed, 0);
    EXPECT_LE(routed, processed);
    EXPECT_EQ(totals.substr(65, 1), "%");

    Result scan = run(s, "netscan " + quote(s / "out.pcb") + " --log " + quote(s / "scan.log"));
    ASSERT_EQ(scan.status, 0) << scan.err;
    std::string scan_log = slurp(s / "scan.log");
    EXPECT_EQ(scan_log.find("Clearance from"), std::string::npos) << scan_log;
    EXPECT_EQ(scan_log.find("Crosslinked"), std::string::npos) << scan_log;

    std::string out = slurp(s / "out.pcb");
    EXPECT_NE(out.find(",18,3,Top Side"), std::string::npos);    // copper + X
    EXPECT_NE(out.find(",42,4,Bottom Side"), std::string::npos); // copper + bottom + Y
}

TEST(CliRoute, DirectionsAreSavedInOut) {
    Scratch s;
    SKIP_WITHOUT_GEN_BOARD();
    ASSERT_TRUE(generate(s, "in.pcb", 2, 1));
    Result r = run(s, "route " + quote(s / "in.pcb") + " " + quote(s / "out.pcb") +
                          " --passes 2 --direction 4=E --direction 'top side=N' --log " + quote(s / "r.log"));
    ASSERT_EQ(r.status, 0) << r.err;
    std::string out = slurp(s / "out.pcb");
    EXPECT_NE(out.find(",58,4,Bottom Side"), std::string::npos); // copper + bottom + X and Y
    EXPECT_NE(out.find(",2,3,Top Side"), std::string::npos);     // copper, no direction
}

TEST(CliRoute, UsageErrorsAndFailures) {
    Scratch s;
    SKIP_WITHOUT_GEN_BOARD();
    ASSERT_TRUE(generate(s, "in.pcb", 2, 1));
    std::string in = quote(s / "in.pcb"), out = quote(s / "out.pcb");
    Result r = run(s, "route " + in + " " + out + " --passes straight,diagonal");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("diagonal"), std::string::npos);
    EXPECT_EQ(run(s, "route " + in + " " + out + " --direction 3=W").status, 2);
    EXPECT_EQ(run(s, "route " + in + " " + out + " --direction 3").status, 2);
    EXPECT_EQ(run(s, "route " + in + " " + out + " --direction NoSuchLayer=X").status, 2);
    EXPECT_EQ(run(s, "route " + in).status, 2);
    EXPECT_FALSE(fs::exists(s / "out.pcb"));

    // An unreadable IN: one line, status 1.
    r = run(s, "route " + quote(s / "missing.pcb") + " " + out);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;

    // An unwritable OUT keeps the old one.
    fs::create_directories(s.dir / "ro");
    spit(s / "ro/out.pcb", "old");
    fs::permissions(s.dir / "ro", fs::perms::owner_read | fs::perms::owner_exec);
    r = run(s, "route " + in + " " + quote(s / "ro/out.pcb") + " --passes straight --log " + quote(s / "r.log"));
    fs::permissions(s.dir / "ro", fs::perms::owner_all);
    if (::geteuid() != 0) {
        EXPECT_EQ(r.status, 1) << r.err;
        EXPECT_EQ(slurp(s / "ro/out.pcb"), "old");
    }
}

TEST(CliRoute, PassNamesAndNumbers) {
    Scratch s;
    SKIP_WITHOUT_GEN_BOARD();
    ASSERT_TRUE(generate(s, "in.pcb", 3, 2));
    Result r = run(s, "route " + quote(s / "in.pcb") + " " + quote(s / "out.pcb") +
                          " --passes straight,Z,C,snake --log " + quote(s / "r.log"));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(r.err.empty()) << r.err;
    std::string log = slurp(s / "r.log");
    EXPECT_FALSE(line_of(log, "Zero-via straight routes:").empty());
    EXPECT_FALSE(line_of(log, "Via \"L\" and \"Z\" routes:").empty());
    EXPECT_FALSE(line_of(log, "Via \"C\" routes:").empty());
    EXPECT_FALSE(line_of(log, "Maze (snake) routes:").empty());
    EXPECT_FALSE(line_of(log, "Totals:").empty());
    // A number: 2 is the straight pass alone.
    r = run(s, "route " + quote(s / "in.pcb") + " " + quote(s / "n.pcb") + " --passes 2 --log " + quote(s / "n.log"));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(r.err.empty());
    log = slurp(s / "n.log");
    EXPECT_FALSE(line_of(log, "Zero-via straight routes:").empty());
    EXPECT_TRUE(line_of(log, "Zero-via inline routes:").empty());
}
