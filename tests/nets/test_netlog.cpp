// The log service and the logged Net scan: the file's form worked by hand, and whole scans of small
// hand-built boards.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "edit/board_build.h"
#include "net_board.h"
#include "nets/netlog.h"

namespace {

using namespace trazel;
using edit_test::kTop;
using model::Coord;
using model::node;
using model::Point;
using model::Ref;
using nets_test::day_in_march_2024;
using nets_test::slurp;
namespace fs = std::filesystem;

Coord in(double inches) {
    return static_cast<Coord>(inches * 65536 + (inches < 0 ? -0.5 : 0.5));
}

// A log row: the net's Signal, the target column, the message.
std::string row(const std::string& source, const std::string& target, const std::string& message) {
    std::string l = source + std::string(24 - source.size(), ' ') + target;
    return l + std::string(48 - l.size(), ' ') + message;
}

// --- The log file -------------------------------------------------------------------------------

TEST(NetLogFile, TitleLineColumns) {
    // Title 0-16, the name centred in 17..70: (54 - 9) / 2 = 22 blanks; the date in 71..78.
    EXPECT_EQ(nets::title_line("NETSCAN ERROR LOG", "BOARD.PCB", 79, day_in_march_2024(7)),
              "NETSCAN ERROR LOG" + std::string(22, ' ') + "BOARD.PCB" + std::string(23, ' ') + "03/07/24");
    // A name too long to centre keeps one blank on each side and pushes the date out.
    std::string longname(60, 'X');
    EXPECT_EQ(nets::title_line("NETSCAN ERROR LOG", longname, 79, day_in_march_2024(7)),
              "NETSCAN ERROR LOG " + longname + " 03/07/24");
    std::tm y2k{};
    y2k.tm_year = 100;
    y2k.tm_mon = 11;
    y2k.tm_mday = 31;
    EXPECT_EQ(nets::title_line("T", "", 20, y2k), "T" + std::string(11, ' ') + "12/31/00");
}

TEST(NetLogFile, LinesEndCrLfWithoutTrailingBlanks) {
    std::string path = edit_test::temp_path("x.pcb.LOG");
    std::vector<std::string> echoed;
    nets::Log log;
    log.echo = [&](std::string_view l) { echoed.emplace_back(l); };
    ASSERT_TRUE(log.open(path, "TITLE", "X.PCB", 30, day_in_march_2024(7)));
    log.line("abc   ");
    log.line("   ");
    log.line("a  b");
    log.raw("\f");
    ASSERT_TRUE(log.close());
    std::string title = "TITLE" + std::string(6, ' ') + "X.PCB" + std::string(6, ' ') + "03/07/24";
    EXPECT_EQ(slurp(path), title + "\r\nabc\r\n\r\na  b\r\n\f");
    EXPECT_EQ(echoed, (std::vector<std::string>{title, "abc", "", "a  b"}));
}

TEST(NetLogFile, UnwritableLogLeavesTheOldOne) {
    std::string path = edit_test::temp_path("old.LOG");
    { std::ofstream(path, std::ios::binary) << "old log"; }
    {
        // Abandoned before close: nothing replaces the old file, no temporary file stays behind.
        nets::Log log;
        ASSERT_TRUE(log.open(path, "T", "D", 79, day_in_march_2024(7)));
        log.line("new");
    }
    EXPECT_EQ(slurp(path), "old log");
    int files = 0;
    for ([[maybe_unused]] auto& e : fs::directory_iterator(fs::path(path).parent_path())) {
        ++files;
    }
    EXPECT_EQ(files, 1);

    // A write-protected log is not replaced; the lines still reach the echo.
    fs::permissions(path, fs::perms::owner_read, fs::perm_options::replace);
    nets::Log log;
    int echoed = 0;
    log.echo = [&](std::string_view) { ++echoed; };
    EXPECT_FALSE(log.open(path, "T", "D", 79, day_in_march_2024(7)));
    EXPECT_FALSE(log.error().empty());
    log.line("new");
    EXPECT_FALSE(log.close());
    EXPECT_EQ(echoed, 2);
    fs::permissions(path, fs::perms::owner_all, fs::perm_options::replace);
    EXPECT_EQ(slurp(path), "old log");

    EXPECT_FALSE(log.open(edit_test::temp_path("no/such/dir.LOG"), "T", "D", 79, day_in_march_2024(7)));
}

TEST(NetLogFile, SummaryPlurals) {
    EXPECT_EQ(nets::summary_line({1, 0, false}), "1 net scanned, no errors detected.");
    EXPECT_EQ(nets::summary_line({0, 0, false}), "0 nets scanned, no errors detected.");
    EXPECT_EQ(nets::summary_line({2, 1, false}), "2 nets scanned, 1 error detected.");
    EXPECT_EQ(nets::summary_line({12, 30, true}), "12 nets scanned, 30 errors detected.");
}

TEST(NetLogFile, DateFromSourceDateEpochInUtc) {
    const char* was = std::getenv("SOURCE_DATE_EPOCH");
    std::string saved = was ? was : "";
    // 2024-03-07 23:59:59 UTC: still the 7th whatever the local zone.
    setenv("SOURCE_DATE_EPOCH", "1709855999", 1);
    std::tm t = nets::log_date();
    EXPECT_EQ(t.tm_year, 124);
    EXPECT_EQ(t.tm_mon, 2);
    EXPECT_EQ(t.tm_mday, 7);
    EXPECT_EQ(t.tm_hour, 23);
    // Not a time: the clock.
    setenv("SOURCE_DATE_EPOCH", "soon", 1);
    EXPECT_GE(nets::log_date().tm_year, 124);
    unsetenv("SOURCE_DATE_EPOCH");
    EXPECT_GE(nets::log_date().tm_year, 124);
    if (was) {
        setenv("SOURCE_DATE_EPOCH", saved.c_str(), 1);
    }
}

// --- The logged scan ----------------------------------------------------------------------------

struct NetLogScan : ::testing::Test {
    model::Model m;
    model::Document* d = nullptr;
    nets::ScanSummary last;

    void SetUp() override {
        d = model::NewDocument("board.pcb");
        ASSERT_NE(d, nullptr);
        edit_test::apply_board_setup();
        d->setup.clear_line_line = model::mils_to_units(8);
        d->setup.clear_line_pad = model::mils_to_units(10);
        d->setup.clear_pad_pad = model::mils_to_units(12);
    }
    Ref ring() const {
        return d->ring();
    }
    // A through-hole round pad of 0.060 inch.
    Ref pad(Ref where, double x, double y, const char* signal, const char* pin = nullptr, uint16_t type = 1) {
        Ref p = edit_test::make_pad(where, 0, in(x), in(y), 3932, 3932, type);
        if (signal) {
            model::AttachSignal(p, signal);
        }
        if (pin) {
            model::SetPin(p, pin);
        }
        return p;
    }
    Ref track(double x1, double y1, double x2, double y2, const char* signal = nullptr) {
        Ref t = edit_test::make_track(ring(), kTop, in(x1), in(y1), in(x2), in(y2));
        if (signal) {
            model::AttachSignal(t, signal);
        }
        return t;
    }
    // A Component whose pins 1, 2, ... sit at the given points with the given Signals ("" none).
    void part(const char* ref, std::initializer_list<std::pair<Point, const char*>> pins) {
        Ref c = edit_test::make_component(ring(), "DIP", ref, Point{0, 0});
        int n = 0;
        for (auto& [p, sig] : pins) {
            std::string pin = std::to_string(++n);
            Ref pd = edit_test::make_pad(model::member_ring(c), 0, p.x, p.y, 3932, 3932, 1);
            model::SetPin(pd, pin);
            if (*sig) {
                model::AttachSignal(pd, sig);
            }
        }
        model::close_component(c);
    }
    static Point at(double x, double y) {
        return Point{in(x), in(y)};
    }
    // The scan written to a log file; the file's text.
    std::string scan(bool plain = false, const std::function<bool(const char*, long)>& every = nullptr) {
        nets::NetState s(*d);
        s.plain = plain;
        s.every_128 = every;
        nets::Log log;
        std::string path = edit_test::temp_path("board.pcb.LOG");
        EXPECT_TRUE(log.open(path, "NETSCAN ERROR LOG", "BOARD.PCB", 79, day_in_march_2024(7)));
        last = nets::write_net_scan_log(s, log);
        EXPECT_TRUE(log.close());
        return slurp(path);
    }
    // The message rows of a log, between the header and the footer.
    static std::vector<std::string> rows(const std::string& log) {
        std::vector<std::string> out;
        size_t p = 0;
        int line = 0;
        while (p < log.size()) {
            size_t e = log.find("\r\n", p);
            if (e == std::string::npos) {
                break;
            }
            std::string l = log.substr(p, e - p);
            p = e + 2;
            if (++line <= 5) {
                continue;
            }
            if (l.empty()) {
                break;
            }
            out.push_back(l);
        }
        return out;
    }
    int ratnest_lines() const {
        int n = 0;
        for (Ref r : model::items_in(d->ring())) {
            n += node(r).item_kind() == model::kLine && node(r).layer == model::kRatnestLayer;
        }
        return n;
    }
};

TEST_F(NetLogScan, OneDiscontinuityNamesTheNearestPairWholeFile) {
    part("U1", {{at(0, 0), "A"}, {at(1, 0), "A"}});
    track(0, 0, 1, 0);
    pad(ring(), 1.5, 0.5, "A");
    track(5, 5, 6, 5, "C"); // a Signal without a Pad: no net
    std::string dash(79, '-');
    std::string want =
        "NETSCAN ERROR LOG" + std::string(22, ' ') + "BOARD.PCB" + std::string(23, ' ') + "03/07/24\r\n" + dash +
        "\r\n" + "SOURCE SIGNAL           TARGET SIGNAL           WARNING/ERROR MESSAGE\r\n" + dash + "\r\n\r\n" + "A" +
        std::string(47, ' ') + "Discontinuity from U1-2 to pad (1.500,0.500)\r\n" +
        "\r\nMinimum NetScan Clearance Parameters\r\n" + "Line to Line: 0.008\"\r\n" + "Line to Pad:  0.010\"\r\n" +
        "Pad to Pad:   0.012\"\r\n" + "\r\n" + "1 net scanned, 1 error detected.\r\n\f";
    EXPECT_EQ(scan(), want);
    EXPECT_FALSE(last.interrupted);
    EXPECT_EQ(ratnest_lines(), 1);
    // Scanning again replaces the Signal's Ratnest line instead of adding a second one.
    EXPECT_EQ(scan(), want);
    EXPECT_EQ(ratnest_lines(), 1);
    for (Ref r : model::items_in(d->ring())) {
        EXPECT_FALSE(node(r).marked());
    }
}

TEST_F(NetLogScan, CleanNetWritesNoRow) {
    part("U1", {{at(0, 0), "A"}, {at(1, 0), "A"}});
    track(0, 0, 1, 0);
    std::string log = scan();
    EXPECT_TRUE(rows(log).empty());
    EXPECT_NE(log.find("\r\n\r\n1 net scanned, no errors detected.\r\n\f"), std::string::npos);
    // The track got the net's Signal.
    EXPECT_EQ(model::signal_name(model::item_signal(model::last_item(ring()))), "A");
}

TEST_F(NetLogScan, CrosslinkEndsTheNet) {
    part("U1", {{at(0, 0), "A"}, {at(1, 0), "B"}});
    track(0, 0, 1, 0);
    EXPECT_EQ(rows(scan()), (std::vector<std::string>{row("A", "B", "Crosslinked to U1-2 -- DRC aborted"),
                                                      row("B", "A", "Crosslinked to U1-1 -- DRC aborted")}));
    EXPECT_EQ(last.nets, 2);
    EXPECT_EQ(last.errors, 2);
}

TEST_F(NetLogScan, ShortBehindADiscontinuityIsReported) {
    // A's second pad is reached only across the gap, and it is shorted to B.
    part("U1", {{at(0, 0), "A"}, {at(1, 0), "A"}, {at(2, 0), "B"}});
    track(1, 0, 2, 0);
    EXPECT_EQ(rows(scan()), (std::vector<std::string>{row("A", "", "Discontinuity from U1-1 to U1-2"),
                                                      row("A", "B", "Crosslinked to U1-3 -- DRC aborted"),
                                                      row("B", "A", "Crosslinked to U1-2 -- DRC aborted")}));
    EXPECT_EQ(last.errors, 3);
}

TEST_F(NetLogScan, UnsignaledPinBehindADiscontinuity) {
    part("U1", {{at(0, 0), "A"}, {at(1, 0), "A"}, {at(2, 0), ""}});
    track(1, 0, 2, 0);
    EXPECT_EQ(rows(scan()), (std::vector<std::string>{row("A", "", "Discontinuity from U1-1 to U1-2"),
                                                      row("A", "", "Linked to unsignaled U1-3")}));
}

TEST_F(NetLogScan, DuplicateAndDrillInterference) {
    pad(ring(), 0, 0, "A");
    pad(ring(), 0, 0, "A");
    track(0, 0, 1, 0);
    pad(ring(), 1, 0, "A");
    Ref other = pad(ring(), 1.01, 0, "A");
    node(other).pad.hole = 1500;
    std::vector<std::string> got = rows(scan());
    ASSERT_FALSE(got.empty());
    EXPECT_EQ(got[0], row("A", "pad (0.000,0.000)", "Duplicate pad deleted at (0.000,0.000)"));
    EXPECT_NE(
        std::find(got.begin(), got.end(), row("A", "pad (1.010,0.000)", "Drill hole interference at (1.000,0.000)")),
        got.end());
    int pads = 0;
    for (Ref r : model::items_in(ring())) {
        pads += node(r).item_kind() == model::kPad;
    }
    EXPECT_EQ(pads, 3);
}

TEST_F(NetLogScan, PadToPadClearanceNamesTheTargetSignal) {
    // Centres 0.100 apart: radii 0.030 + 0.030 + 0.050 required.
    d->setup.clear_pad_pad = model::mils_to_units(50);
    part("U1", {{at(0, 0), "A"}});
    part("U2", {{at(0.1, 0), "B"}});
    EXPECT_EQ(rows(scan()), (std::vector<std::string>{row("A", "B", "Clearance from U1-1 to U2-1"),
                                                      row("B", "A", "Clearance from U2-1 to U1-1")}));
    EXPECT_EQ(last.errors, 2);
}

TEST_F(NetLogScan, LineClearances) {
    part("U1", {{at(0, 0), "A"}});
    track(0, 0, 0, 1, "A");
    // B's end 0.020 from A's track: 0.0122 + 0.008 required, 0.0122 touches.
    part("U2", {{at(1, 0), "B"}});
    track(1, 0, 1, 0.5, "B");
    track(1, 0.5, 0.02, 0.5, "B");
    // C's pad centre 0.045 from A's track: 0.0061 + 0.030 + 0.010 required.
    part("U3", {{at(0.045, 0.8), "C"}});
    std::vector<std::string> got = rows(scan());
    const std::string a = "line (0.000,0.000),(0.000,1.000)", b = "line (1.000,0.500),(0.020,0.500)";
    EXPECT_EQ(got, (std::vector<std::string>{row("A", "B", "Clearance from " + a + " to " + b),
                                             row("A", "C", "Clearance from " + a + " to U3-1"),
                                             row("B", "A", "Clearance from " + b + " to " + a),
                                             row("C", "A", "Clearance from U3-1 to " + a)}));
}

TEST_F(NetLogScan, InterruptedScanStillWritesTheFooter) {
    part("U1", {{at(0, 0), "A"}});
    for (int i = 0; i < 300; ++i) {
        track(i * 0.01, 0, (i + 1) * 0.01, 0);
    }
    part("U2", {{at(0, 2), "B"}, {at(1, 2), "B"}});
    long calls = 0;
    std::string log = scan(false, [&](const char*, long) {
        ++calls;
        return false;
    });
    EXPECT_EQ(calls, 1);
    EXPECT_TRUE(last.interrupted);
    EXPECT_TRUE(rows(log).empty());
    EXPECT_NE(log.find("Pad to Pad:   0.012\"\r\n\r\n1 net scanned, no errors detected.\r\n\f"), std::string::npos);
    // The same from the clearance check: B (two pads apart, a discontinuity) is never scanned.
    log = scan(false, [&](const char* what, long) { return std::string(what) != "DRC:"; });
    EXPECT_TRUE(last.interrupted);
    EXPECT_EQ(last.nets, 1);
    EXPECT_TRUE(rows(log).empty());
    EXPECT_NE(log.find("\r\n1 net scanned, no errors detected.\r\n\f"), std::string::npos);
}

TEST_F(NetLogScan, PlainAndIndexedLogsAgree) {
    edit_test::generate_board(ring(), 11, 24);
    std::string indexed = scan(false);
    nets::ScanSummary first = last;
    model::DeleteItem(ring());
    edit_test::generate_board(ring(), 11, 24);
    EXPECT_EQ(scan(true), indexed);
    EXPECT_GT(first.nets, 5);
    EXPECT_EQ(rows(indexed).size(), static_cast<size_t>(first.errors));
}

TEST_F(NetLogScan, UnroutedBoardGetsOneDiscontinuityPerMissingLink) {
    // The generated packages without their copper, each pad on one of 9 Signals in turn: every Signal
    // with n pads needs n - 1 links, and nothing else is wrong.
    auto build = [&] {
        model::DeleteItem(ring());
        edit_test::generate_board(ring(), 5, 20);
        int k = 0;
        for (Ref r : model::items_in(ring())) {
            if (node(r).item_kind() != model::kComponent) {
                model::DeleteItem(r);
                continue;
            }
            for (Ref p : model::items_in(model::member_ring(r))) {
                if (node(p).item_kind() == model::kPad) {
                    model::AttachSignal(p, "G" + std::to_string(k++ % 9));
                }
            }
        }
        return k;
    };
    int pads = build();
    std::string indexed = scan(false);
    EXPECT_EQ(last.nets, 9);
    EXPECT_EQ(last.errors, pads - 9);
    std::vector<std::string> got = rows(indexed);
    ASSERT_EQ(got.size(), static_cast<size_t>(pads - 9));
    for (const std::string& l : got) {
        EXPECT_EQ(l.substr(24, 24), std::string(24, ' ')) << l;
        EXPECT_EQ(l.substr(48, 19), "Discontinuity from ") << l;
    }
    EXPECT_EQ(ratnest_lines(), pads - 9);
    build();
    EXPECT_EQ(scan(true), indexed);
}

} // namespace
