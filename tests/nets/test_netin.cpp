// Netlist input: hand-worked log lines on small boards (layer match, missing and gate Components, pins by
// number and name, crosslinks, malformed tokens, the summary), the line kinds of both layouts, component
// lines with a small library (placement cursor, polarity on replace, type/value and modifier), Signals
// restored on a board stripped of them, and the plain walk against the index on generated boards.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "edit/place_symbols.h"
#include "library/library.h"
#include "nets/net_board.h"
#include "nets/netin.h"
#include "platform/headless.h"

namespace {

using namespace nets_test;
namespace fs = std::filesystem;
using nets::NetlistInOptions;
using nets::NetlistInResult;

std::vector<std::string> crlf_lines(const std::string& text) {
    std::vector<std::string> out;
    size_t at = 0;
    for (size_t e; (e = text.find("\r\n", at)) != std::string::npos; at = e + 2) {
        out.push_back(text.substr(at, e - at));
    }
    return out;
}

// A log line as the table lays it out: reference, message at 12, label at 36, detail.
std::string row(const std::string& ref, const std::string& message, const std::string& label, const std::string& detail) {
    std::string l = ref + std::string(12 - ref.size(), ' ') + message;
    l += std::string(36 - l.size(), ' ') + label + detail;
    while (!l.empty() && l.back() == ' ') {
        l.pop_back(); // as the log writes it
    }
    return l;
}
std::string at_line(int n, const std::string& message, const std::string& label, const std::string& detail) {
    return row("Line: " + std::to_string(n), message, label, detail);
}

constexpr char kSep = '\x7F';
const std::string kLibHeader = "TRAZEL Version 4.0 -- Data File.\r\n\r\n";

// Library entries: a diode with pad 1 left of pad 2, the same package with the pads the other way, a
// 0.3-inch two-pin block and a resistor that shows its value.
const std::string kLibrary = kLibHeader +
                             "6 0 0 0 0 .4 .1 DIODE-A\x7F" "D?\r\n"
                             "3 0 1 0 0 .06 .06 .035 0 1\r\n"
                             "3 0 1 .4 0 .06 .06 .035 0 2\r\n"
                             "0 6 0 0 0\r\n"
                             "6 0 0 0 0 .4 .1 DIODE-B\x7F" "D?\r\n"
                             "3 0 1 .4 0 .06 .06 .035 0 1\r\n"
                             "3 0 1 0 0 .06 .06 .035 0 2\r\n"
                             "0 6 0 0 0\r\n"
                             "6 0 0 0 0 .3 .1 BLOCK\x7F" "X?\r\n"
                             "3 0 1 0 0 .06 .06 .035 0 1\r\n"
                             "3 0 1 .24 0 .06 .06 .035 0 2\r\n"
                             "0 6 0 0 0\r\n"
                             "6 0 0 0 0 .4 .1 RES\x7F" "R?\x7F" "1K\r\n"
                             "3 0 1 0 0 .06 .06 .035 0 1\r\n"
                             "3 0 1 .4 0 .06 .06 .035 0 2\r\n"
                             "4 1 .05 .1 .1 0 0 0 0 &2\r\n"
                             "0 6 0 0 0\r\n"
                             "\r\nEND OF FILE\r\n";

struct NetIn : NetBoard {
    platform::Headless ui;
    fs::path dir;
    library::LibrarySet libs;
    bool plain_walk = false;

    void SetUp() override {
        platform::install(&ui);
        NetBoard::SetUp();
        const auto* t = ::testing::UnitTest::GetInstance()->current_test_info();
        dir = fs::temp_directory_path() / ("trazel-netin-" + std::string(t->test_suite_name()) + "-" + t->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
        std::ofstream(dir / "T.LIB", std::ios::binary) << kLibrary;
        libs.directory = dir.string() + "/";
        libs.names[0] = "T.LIB";
        library::forget_indexes();
    }
    void TearDown() override {
        library::empty_scratch();
        library::forget_indexes();
        NetBoard::TearDown();
        platform::install(nullptr);
        std::error_code ec;
        fs::remove_all(dir, ec);
    }

    // A Component with pins "1".."pins" (or the names given) 0.1 inch apart from its hook, through-hole
    // pads on the pad master layer or surface-mount ones on the top, moved to its sorted place.
    Ref part(const std::string& ref, const std::string& pattern, const std::string& value, Point hook,
             std::vector<std::string> pins, uint16_t type = kOvalThru, model::Angle angle = 0) {
        Ref c = model::make_component(ring(), 0, angle, pattern + kSep + ref + kSep + value);
        Ref head = model::member_ring(c);
        node(head).box.x1 = hook.x;
        node(head).box.y1 = hook.y;
        for (size_t i = 0; i < pins.size(); ++i) {
            Ref p = edit_test::make_pad(head, (type & 4) ? edit_test::kTop : 0, hook.x + static_cast<Coord>(i) * 6554,
                                        hook.y, 4000, 4000, type);
            model::SetPin(p, pins[i]);
        }
        model::close_component(c);
        model::sort_component(c);
        return c;
    }
    Ref part(const std::string& ref, int pins, Point hook = {}) {
        std::vector<std::string> names;
        for (int i = 1; i <= pins; ++i) {
            names.push_back(std::to_string(i));
        }
        return part(ref, "DIP", "V", hook, names);
    }
    Ref pad_of(Ref c, const std::string& pin) {
        for (Ref m : model::items_in(model::member_ring(c))) {
            if (node(m).item_kind() == model::kPad && model::pin_text(m) == pin) {
                return m;
            }
        }
        return model::kNone;
    }
    std::string sig(Ref item) {
        return model::signal_name(model::item_signal(item));
    }
    Ref component(const std::string& ref) {
        for (Ref r : model::items_in(ring())) {
            if (node(r).item_kind() == model::kComponent && model::ComponentField(r, 1) == ref) {
                return r;
            }
        }
        return model::kNone;
    }
    int components() {
        int n = 0;
        for (Ref r : model::items_in(ring())) {
            n += node(r).item_kind() == model::kComponent ? 1 : 0;
        }
        return n;
    }

    // NI of one netlist text; the whole log.
    std::string run(const std::string& text, NetlistInOptions o = {}, NetlistInResult* res = nullptr) {
        std::string path = (dir / "in.net").string();
        std::ofstream(path, std::ios::binary) << text;
        return run_files({path}, o, res);
    }
    std::string run_files(const std::vector<std::string>& files, NetlistInOptions o = {}, NetlistInResult* res = nullptr) {
        std::string log_path = (dir / "in.log").string();
        nets::Log log;
        std::tm date{};
        date.tm_year = 126;
        date.tm_mon = 0;
        date.tm_mday = 2;
        EXPECT_TRUE(log.open(log_path, nets::kNetlistInLogTitle, "nets.pcb", nets::kNetlistInLogWidth, date));
        s = std::make_unique<nets::NetState>(*d);
        s->plain = plain_walk;
        NetlistInResult r = nets::netlist_in(*s, files, libs, o, log);
        EXPECT_TRUE(log.close());
        if (res != nullptr) {
            *res = r;
        }
        return slurp(log_path);
    }
    // The message lines of the files (between the first file's heading and "Summary:").
    static std::vector<std::string> messages(const std::string& log) {
        std::vector<std::string> l = crlf_lines(log), out;
        size_t k = 0;
        while (k < l.size() && (l[k].empty() || l[k].back() != ':')) {
            ++k;
        }
        for (++k; k < l.size() && l[k] != "Summary:"; ++k) {
            if (l[k].rfind("Line: ", 0) == 0) {
                out.push_back(l[k]);
            }
        }
        return out;
    }
    // The summary's warnings.
    static std::vector<std::string> warnings(const std::string& log) {
        std::vector<std::string> l = crlf_lines(log), out;
        size_t k = 0;
        while (k < l.size() && l[k] != "Summary:") {
            ++k;
        }
        for (++k; k < l.size() && l[k].rfind("Total input node count:", 0) != 0; ++k) {
            if (!l[k].empty()) {
                out.push_back(l[k]);
            }
        }
        return out;
    }
    std::string file() {
        return edit_test::data_file_text();
    }
};

using Lines = std::vector<std::string>;

// --- The log as a whole ----------------------------------------------------------------------------

TEST_F(NetIn, TheWholeLogOfOneSmallNetlist) {
    Ref u1 = part("U1", 2);
    std::string log = run("(\r\nA\r\nU1-1\r\nU1-2\r\n)\r\n");
    std::string dashes(79, '-');
    std::string want = "NETLIST INPUT LOG" + std::string(23, ' ') + "nets.pcb" + std::string(23, ' ') + "01/02/26\r\n" +
                       dashes + "\r\n" + "INPUT       WARNING/ERROR           DETAILED\r\n" +
                       "REFERENCE   MESSAGE                 DESCRIPTION\r\n" + dashes + "\r\n\r\n\r\n" +
                       (dir / "in.net").string() + ":\r\n\r\n\r\nSummary:\r\n\r\n" +
                       "Total input node count:  2\r\n\r\nEND OF FILE\r\n\f";
    EXPECT_EQ(log, want);
    EXPECT_EQ(sig(pad_of(u1, "1")), "A");
    EXPECT_EQ(sig(pad_of(u1, "2")), "A");
}

TEST_F(NetIn, RunTwiceGivesTheSameLogAndChangesNothing) {
    part("U1", 4, {0, 0});
    part("R1", "R400", "10K", {0, in(1)}, {"1", "2"});
    std::string net = "[\r\nR1\r\nR400\r\n4K7\r\n\r\n\r\n\r\n]\r\n"
                      "(\r\nGND\r\nU1-1\r\nR1-1\r\nU9-1\r\n)\r\n(\r\nN1\r\nU1-2\r\nR1-2\r\nU1-7\r\n)\r\n";
    std::string first = run(net);
    std::string board = file();
    std::string second = run(net);
    EXPECT_EQ(second, first);
    EXPECT_EQ(file(), board);
    // Lines are counted through the bracketed entry too.
    EXPECT_EQ(messages(first).size(), 4u);
    EXPECT_EQ(messages(first).back(), at_line(19, "Pin not found", "Name:  ", "U1-7"));
    EXPECT_EQ(warnings(first).size(), 2u);
}

// --- Nets -------------------------------------------------------------------------------------------

TEST_F(NetIn, LayerMatchMovesTheNetsThroughHolePadsAndOnlyThose) {
    Ref u1 = part("U1", 2);
    Ref c1 = part("C1", "0805", "1u", {0, in(1)}, {"1", "2"}, kRectSmt);
    // A through-hole pad left on the plane by an earlier run goes back to the pad master layer.
    Ref u2 = part("U2", 1, {in(2), 0});
    node(pad_of(u2, "1")).layer = kPlane;
    std::string log = run("(\r\nGND\r\nU1-1\r\nC1-1\r\n)\r\n(\r\nVCC\r\nU1-2\r\nU2-1\r\n)\r\n");
    EXPECT_EQ(messages(log), Lines{at_line(2, "Signal/layer match", "Name:  ", "GND")});
    EXPECT_EQ(node(pad_of(u1, "1")).layer, kPlane);
    EXPECT_EQ(node(pad_of(u1, "2")).layer, 0);
    EXPECT_EQ(node(pad_of(u2, "1")).layer, 0);
    EXPECT_EQ(node(pad_of(c1, "1")).layer, edit_test::kTop) << "a surface-mount pad stays on its layer";
    EXPECT_EQ(sig(pad_of(c1, "1")), "GND");
    // A layer whose name differs in case is no match.
    log = run("(\r\nGnd\r\nU1-1\r\n)\r\n");
    EXPECT_TRUE(messages(log).empty());
    EXPECT_EQ(node(pad_of(u1, "1")).layer, 0);
}

TEST_F(NetIn, MissingComponentIsReportedOnceAndLeavesNoPlaceholder) {
    part("U1", 2);
    int before = components();
    NetlistInResult r;
    std::string log = run("(\r\nA\r\nU7-3\r\nU1-1\r\nU7-4\r\n)\r\n"
                          "B               U7-1    U7-2    U1-2\r\n",
                          {}, &r);
    EXPECT_EQ(messages(log), Lines{at_line(3, "Component not found", "Name:  ", "U7")});
    EXPECT_EQ(r.nodes, 6);
    EXPECT_EQ(components(), before);
    model::walk_tree(ring(), [](Ref r, int) { EXPECT_FALSE(node(r).hidden()); });
}

TEST_F(NetIn, GatesPinNumbersAndNamesAndCrosslinks) {
    // Gates U3a and U3b answer to U3; the pin decides which one's pad gets the Signal.
    Ref a = part("U3a", "GATE", "", {0, 0}, {"1", "2", "3"});
    Ref b = part("U3b", "GATE", "", {0, in(1)}, {"4", "5", "6"});
    Ref j = part("J1", "CONN", "", {0, in(2)}, {"A1", "12", "2000", "a1"});
    Ref bare = part("MH1", "HOLE", "", {0, in(3)}, {""});
    std::string log = run("(\r\nX\r\nU3-5\r\nU3a-1\r\nJ1,A1\r\nJ1-012\r\nJ1-2000\r\n)\r\n"
                          "(\r\nY\r\nU3-1\r\nJ1-a1\r\nU3-9\r\nMH1-2000\r\n)\r\n");
    EXPECT_EQ(sig(pad_of(b, "5")), "X");
    EXPECT_EQ(sig(pad_of(a, "1")), "Y") << "given X first, then Y";
    EXPECT_EQ(sig(pad_of(j, "A1")), "X") << "names compare with case";
    EXPECT_EQ(sig(pad_of(j, "a1")), "Y");
    EXPECT_EQ(sig(pad_of(j, "12")), "X") << "012 is the number 12";
    EXPECT_EQ(sig(pad_of(j, "2000")), "X") << "a pin above 1023 is the name a Pad keeps it as";
    EXPECT_EQ(sig(pad_of(bare, "")), "") << "2000 does not count as 0, the pad without pin";
    EXPECT_EQ(messages(log), (Lines{at_line(11, "Crosslinked pin", "Name:  ", "U3-1"),
                                    at_line(13, "Pin not found", "Name:  ", "U3-9"),
                                    at_line(14, "Pin not found", "Name:  ", "MH1-2000")}));
}

TEST_F(NetIn, MalformedTokensAndBracketsAreReported) {
    Ref u1 = part("U1", 2);
    NetlistInResult r;
    std::string log = run("(\r\nA\r\nU1\r\n-3\r\nu1-1\r\nU1-\r\nU1-1\r\n"
                          "(\r\n)\r\n"
                          "(\r\nB C\r\nU1-2\r\n)\r\n"
                          "[\r\nU1\r\n]\r\n"
                          "B,C             U1-2\r\n",
                          {}, &r);
    EXPECT_EQ(messages(log), (Lines{at_line(3, "Component name invalid", "Input: ", "U1"),
                                    at_line(4, "Component name invalid", "Input: ", "-3"),
                                    at_line(5, "Component name invalid", "Input: ", "u1-1"),
                                    at_line(6, "Component name invalid", "Input: ", "U1-"),
                                    at_line(8, "Input line invalid", "Data:  ", "("),
                                    at_line(9, "Signal name invalid", "Input: ", ""),
                                    at_line(11, "Signal name invalid", "Input: ", "B C"),
                                    at_line(14, "Input line invalid", "Data:  ", "["),
                                    at_line(17, "Signal name invalid", "Input: ", "B,C")}));
    EXPECT_EQ(r.nodes, 1);
    EXPECT_EQ(sig(pad_of(u1, "1")), "A");
    EXPECT_EQ(sig(pad_of(u1, "2")), "") << "the nodes of a net without a valid name are left out";
}

TEST_F(NetIn, ColumnNetsWithContinuationLines) {
    Ref u1 = part("U1", 14);
    // Eight short nodes fit the narrow component columns too: read as a net all the same.  A line
    // starting at column 27 is no continuation.
    std::string l1 = "GND";
    for (int p = 1; p <= 8; ++p) {
        l1.resize(8 + 8 * static_cast<size_t>(p), ' ');
        l1 += "U1-" + std::to_string(p);
    }
    std::string l2 = std::string(16, ' ') + "U1-9";
    std::string l3 = std::string(26, ' ') + "U1-10";
    std::string l4 = std::string(27, ' ') + "U1-11";
    std::string l5 = "VCC             U1-12";
    NetlistInResult r;
    run(l1 + "\r\n" + l2 + "\r\n" + l3 + "\r\n" + l4 + "\r\n" + l5 + "\r\n", {}, &r);
    for (int p = 1; p <= 10; ++p) {
        EXPECT_EQ(sig(pad_of(u1, std::to_string(p))), "GND") << p;
    }
    EXPECT_EQ(sig(pad_of(u1, "11")), "");
    EXPECT_EQ(sig(pad_of(u1, "12")), "VCC");
    EXPECT_EQ(r.nodes, 11);
}

TEST_F(NetIn, SummaryNamesUnusedComponentsAndUnlinkedPins) {
    part("U1", 3);
    part("R2", 2, {0, in(1)});
    part("MH1", "HOLE", "", {0, in(2)}, {""}); // no pinned pad: nothing to say
    std::string log = run("(\r\nA\r\nU1-2\r\n)\r\n");
    EXPECT_EQ(warnings(log), (Lines{row("Warning:", "Unused component", "Name:  ", "R2"),
                                    row("Warning:", "Unlinked pin", "Name:  ", "U1-1"),
                                    row("Warning:", "Unlinked pin", "Name:  ", "U1-3")}));
}

TEST_F(NetIn, SignalsComeOffTracksArcsAndPadsFirst) {
    Ref u1 = part("U1", 2);
    model::AttachSignal(pad_of(u1, "1"), "OLD");
    Ref t = track(kTop, 0, 0, in(1), 0, 800, "OLD");
    Ref via = pad(0, in(1), 0, kVia, "OLD");
    Ref smt = pad(kTop, in(2), 0, kRectSmt, "OLD");
    Ref pin = pad(kSignals, in(3), 0, 0, "KEEP"); // a schematic pin off the pad master layer keeps it
    run("(\r\nA\r\nU1-2\r\n)\r\n");
    EXPECT_EQ(sig(pad_of(u1, "1")), "");
    EXPECT_EQ(sig(t), "");
    EXPECT_EQ(sig(via), "");
    EXPECT_EQ(sig(smt), "");
    EXPECT_EQ(sig(pin), "KEEP");
}

// --- Components -------------------------------------------------------------------------------------

// A wide component line: the parts list line of the column layout.
std::string wide(const std::string& ref, const std::string& pattern, const std::string& value,
                 const std::string& modifier) {
    std::string l = ref;
    l.resize(16, ' ');
    l += pattern;
    l.resize(42, ' ');
    l += value;
    l.resize(68, ' ');
    l += modifier;
    l.resize(94, ' ');
    return l + "SYMBOL\r\n";
}

TEST_F(NetIn, TypeValueAndModifierComparedOrUpdated) {
    Ref r1 = part("R1", "RES", "1K", {0, 0}, {"1", "2"});
    std::string modifier = "5%";
    std::string params = model::component_parameters(r1) + kSep + modifier + kSep + "EXTRA";
    Ref head = model::member_ring(r1);
    model::release_chain_nodes(node(head).link);
    node(head).link = model::make_chain(params);
    // A narrow line too: fields at 0, 16, 32, 48, more text from 64.
    std::string narrow = "R1";
    for (const char* f : {"?", "1K", "1%", "X"}) {
        narrow.resize(narrow.size() < 16 ? 16 : (narrow.size() + 15) / 16 * 16, ' ');
        narrow += f;
    }
    narrow += "\r\n";
    std::string text = wide("R1", "?", "2K2", "5%") + wide("R1", "res", "?", "1%") + narrow;
    std::string log = run(text);
    EXPECT_EQ(messages(log), (Lines{at_line(1, "Type/value mismatch", "Input: ", "2K2 File: 1K"),
                                    at_line(2, "Modifier mismatch", "Input: ", "1% File: 5%"),
                                    at_line(3, "Modifier mismatch", "Input: ", "1% File: 5%")}));
    EXPECT_EQ(model::ComponentField(r1, 2), "1K");
    NetlistInOptions update;
    update.update = true;
    log = run(wide("R1", "?", "2K2", "1%"), update);
    EXPECT_EQ(messages(log), (Lines{at_line(1, "Type/value replaced", "Input: ", "2K2 File: 1K"),
                                    at_line(1, "Modifier replaced", "Input: ", "1% File: 5%")}));
    EXPECT_EQ(model::component_parameters(r1), std::string("RES") + kSep + "R1" + kSep + "2K2" + kSep + "1%" + kSep +
                                                   "EXTRA");
    // Bracketed entries carry no modifier: it stays.
    log = run("[\r\nR1\r\nRES\r\n2K2\r\n\r\n\r\n\r\n]\r\n", update);
    EXPECT_TRUE(messages(log).empty());
    EXPECT_EQ(model::ComponentField(r1, 3), "1%");
}

TEST_F(NetIn, NewComponentsFromTheLibraryAndThePlacementCursor) {
    // The board spans 0..1 inch across and up to 2 inches: the cursor starts at (0, 2 - 0.1).
    track(kTop, 0, 0, in(1), in(2));
    NetlistInResult r;
    std::string log = run("[\r\nX1\r\nBLOCK\r\nA\r\n\r\n\r\n\r\n]\r\n"
                          "[\r\nX2\r\nBLOCK\r\nB\r\n\r\n\r\n\r\n]\r\n"
                          "[\r\nX3\r\nBLOCK\r\nC\r\n\r\n\r\n\r\n]\r\n"
                          "[\r\nX4\r\nBLOCK\r\nD\r\n\r\n\r\n\r\n]\r\n"
                          "[\r\nX5\r\nNOSUCH\r\nE\r\n\r\n\r\n\r\n]\r\n"
                          "[\r\nX6\r\n?\r\nE\r\n\r\n\r\n\r\n]\r\n"
                          "(\r\nN\r\nX1-1\r\nX4-2\r\n)\r\n",
                          {}, &r);
    EXPECT_EQ(messages(log), (Lines{at_line(34, "Pattern not found", "Name:  ", "NOSUCH"),
                                    at_line(42, "Pattern not found", "Name:  ", "?")}));
    EXPECT_EQ(r.placed, 4);
    Ref x1 = component("X1");
    ASSERT_NE(x1, model::kNone);
    EXPECT_EQ(model::component_parameters(x1), std::string("BLOCK") + kSep + "X1" + kSep + "A");
    Coord width = node(x1).box.x2 - node(x1).box.x1; // the pads' extent: 0.24 inch and one pad
    EXPECT_EQ(width, in(.24) + in(.06));
    Coord step = width + 6554, top = in(2) - 6554;
    auto hook = [&](const char* ref) {
        Ref h = model::member_ring(component(ref));
        return Point{node(h).box.x1, node(h).box.y1};
    };
    EXPECT_EQ(hook("X1").x, 0);
    EXPECT_EQ(hook("X1").y, top);
    EXPECT_EQ(hook("X2").x, step);
    EXPECT_EQ(hook("X3").x, 2 * step);
    // After X3 the cursor is past the right edge (3 x 0.4 > 1): X4 starts a row 0.1 inch lower.
    EXPECT_EQ(hook("X4").x, 0);
    EXPECT_EQ(hook("X4").y, top - 6554);
    EXPECT_EQ(sig(pad_of(component("X4"), "2")), "N");
    // The new Components sit at their sorted places: X1 before X2 ... before the track.
    std::vector<std::string> order;
    for (Ref c : model::items_in(ring())) {
        if (node(c).item_kind() == model::kComponent) {
            order.push_back(model::ComponentField(c, 1));
        }
    }
    EXPECT_EQ(order, (std::vector<std::string>{"X1", "X2", "X3", "X4"}));
}

TEST_F(NetIn, AnEmptyDocumentPlacesFromTheOrigin) {
    run("[\r\nR9\r\nRES\r\n100K\r\n\r\n\r\n\r\n]\r\n");
    Ref r9 = component("R9");
    ASSERT_NE(r9, model::kNone);
    Ref h = model::member_ring(r9);
    EXPECT_EQ(node(h).box.x1, 0);
    EXPECT_EQ(node(h).box.y1, -6554);
    // The value Text shows the file's type/value, measured as it reads now (longer than the library's).
    for (Ref m : model::items_in(h)) {
        if (node(m).item_kind() == model::kText) {
            EXPECT_EQ(model::resolved_text(m), "100K");
            Coord four = node(m).text.length;
            NetlistInOptions update;
            update.update = true;
            run("[\r\nR9\r\nRES\r\n1\r\n\r\n\r\n\r\n]\r\n", update);
            EXPECT_LT(node(m).text.length, four) << "the Text is measured again after the update";
        }
    }
}

TEST_F(NetIn, ReplacingADiodeWithItsPadsTheOtherWayTurnsIt) {
    ASSERT_TRUE(library::FindLibraryComponent(libs, "DIODE-A"));
    Ref old = edit::copy_library_component(ring(), {"DIODE-A", "D1", "1N4148", "", ""}, 0, {in(1), in(1)});
    ASSERT_NE(old, model::kNone);
    std::string entry = "[\r\nD1\r\nDIODE-B\r\n1N4148\r\n\r\n\r\n\r\n]\r\n";
    std::string log = run(entry);
    EXPECT_EQ(messages(log), Lines{at_line(2, "Pattern mismatch", "Input: ", "DIODE-B File: DIODE-A")});
    NetlistInOptions replace;
    replace.replace = true;
    NetlistInResult r;
    log = run(entry + "(\r\nK\r\nD1-1\r\n)\r\n", replace, &r);
    EXPECT_EQ(messages(log), Lines{at_line(2, "Component replaced", "Input: ", "DIODE-B File: DIODE-A")});
    EXPECT_EQ(r.replaced, 1);
    Ref d1 = component("D1");
    ASSERT_NE(d1, model::kNone);
    EXPECT_EQ(components(), 1) << "the old one is gone";
    EXPECT_EQ(model::ComponentField(d1, 0), "DIODE-B");
    EXPECT_EQ(node(d1).size, 32768) << "half a turn";
    Ref h = model::member_ring(d1);
    EXPECT_EQ(node(h).box.x1, in(1));
    EXPECT_EQ(node(h).box.y1, in(1));
    // Pad 1 is left of pad 2 again, as it was on the old diode.
    Ref p1 = pad_of(d1, "1"), p2 = pad_of(d1, "2");
    EXPECT_LT(node(p1).pad.x0, node(p2).pad.x0);
    EXPECT_EQ(node(p1).pad.y0, node(p2).pad.y0);
    EXPECT_EQ(sig(p1), "K");
    // The same pattern again changes nothing.
    std::string board = file();
    log = run(entry + "(\r\nK\r\nD1-1\r\n)\r\n", replace);
    EXPECT_TRUE(messages(log).empty());
    EXPECT_EQ(file(), board);
}

TEST_F(NetIn, ATurnedDiodeKeepsItsTurnWhenThePolarityAgrees) {
    ASSERT_TRUE(library::FindLibraryComponent(libs, "DIODE-A"));
    edit::copy_library_component(ring(), {"DIODE-A", "D1", "", "", ""}, 16384, {0, 0});
    NetlistInOptions replace;
    replace.replace = true;
    // BLOCK has pins 1 and 2 the way DIODE-A has them: a quarter turn stays a quarter turn.
    run("[\r\nD1\r\nBLOCK\r\n?\r\n\r\n\r\n\r\n]\r\n", replace);
    EXPECT_EQ(node(component("D1")).size, 16384);
}

// --- Masks --------------------------------------------------------------------------------------------

TEST_F(NetIn, MasksExpandInNameOrderAndFilesFollowOneAnother) {
    for (const char* n : {"b.net", "a.NET", "c.txt", "d.net"}) {
        std::ofstream(dir / n, std::ios::binary) << "(\r\nS\r\nU1-1\r\n)\r\n";
    }
    fs::create_directories(dir / "x.net");
    std::string base = dir.string() + "/";
    EXPECT_EQ(nets::expand_netlist_mask(base + "*.net"),
              (std::vector<std::string>{base + "a.NET", base + "b.net", base + "d.net"}));
    EXPECT_EQ(nets::expand_netlist_mask(base + "?.txt"), std::vector<std::string>{base + "c.txt"});
    EXPECT_EQ(nets::expand_netlist_mask(base + "c.txt"), std::vector<std::string>{base + "c.txt"});
    EXPECT_TRUE(nets::expand_netlist_mask(base + "*.none").empty());
    EXPECT_TRUE(nets::expand_netlist_mask(base + "none.net").empty());
    EXPECT_TRUE(nets::expand_netlist_mask(base + "x.net").empty()) << "a directory is no netlist";
    // Two files and one that cannot be read: every file gets its heading, the missing one ends there.
    part("U1", 1);
    std::ofstream(dir / "two.net", std::ios::binary) << "(\r\nT\r\nU2-1\r\n)\r\n";
    NetlistInResult r;
    std::string log = run_files({base + "b.net", base + "gone.net", base + "two.net"}, {}, &r);
    EXPECT_EQ(r.unreadable, std::vector<std::string>{base + "gone.net"});
    EXPECT_NE(log.find("\r\n\r\n" + base + "gone.net:\r\n\r\n\r\n" + base + "two.net:\r\n\r\n" +
                       at_line(3, "Component not found", "Name:  ", "U2")),
              std::string::npos)
        << log;
}

// --- Whole boards -------------------------------------------------------------------------------------

// The nets of a board's pinned member pads, "REF-PIN" in Component order.
std::map<std::string, std::vector<std::string>> nets_of(Ref ring) {
    std::map<std::string, std::vector<std::string>> out;
    for (Ref c : model::items_in(ring)) {
        if (node(c).item_kind() != model::kComponent) {
            continue;
        }
        for (Ref p : model::items_in(model::member_ring(c))) {
            if (node(p).item_kind() == model::kPad && node(p).pad.pin != 0 && model::item_signal(p) != model::kNone) {
                out[model::signal_name(model::item_signal(p))].push_back(model::ComponentField(c, 1) + "-" +
                                                                        model::pin_text(p));
            }
        }
    }
    return out;
}

std::string bracketed(const std::map<std::string, std::vector<std::string>>& nets) {
    std::string t;
    for (const auto& [name, nodes] : nets) {
        t += "(\r\n" + name + "\r\n";
        for (const auto& n : nodes) {
            t += n + "\r\n";
        }
        t += ")\r\n";
    }
    return t;
}

// The column layout's net list: nodes padded to 8 columns from 16, a new line indented by 16 before a
// node that would start beyond column 79.
std::string columns(const std::map<std::string, std::vector<std::string>>& nets) {
    std::string t = "PCB SIGNALS NET LIST                                                    01/02/26\r\n\r\n"
                    "--- NAME ---    ---------------------------- NODES ----------------------------\r\n\r\n\r\n";
    for (const auto& [name, nodes] : nets) {
        std::string l = name;
        l.resize(16, ' ');
        for (const auto& n : nodes) {
            if (l.size() > 79) {
                t += l + "\r\n";
                l = std::string(16, ' ');
            }
            l += n + " ";
            l.resize((l.size() + 7) / 8 * 8, ' ');
        }
        t += l + "\r\n\r\n";
    }
    return t + "\r\nEND OF FILE\r\n";
}

std::map<std::string, std::string> pin_signals(Ref ring) {
    std::map<std::string, std::string> out;
    for (const auto& [name, nodes] : nets_of(ring)) {
        for (const auto& n : nodes) {
            out[n] = name;
        }
    }
    return out;
}

TEST_F(NetIn, BothLayoutsRestoreTheSignalsOfAStrippedBoard) {
    generate(ring(), 3, 30);
    auto nets = nets_of(ring());
    auto want = pin_signals(ring());
    ASSERT_GT(want.size(), 40u);
    size_t count = want.size();
    for (const std::string& text : {bracketed(nets), columns(nets)}) {
        model::walk_tree(ring(), [](Ref r, int) { model::DetachSignal(r); });
        ASSERT_TRUE(pin_signals(ring()).empty());
        NetlistInResult r;
        std::string log = run(text, {}, &r);
        EXPECT_EQ(pin_signals(ring()), want);
        EXPECT_EQ(r.nodes, static_cast<long>(count));
        EXPECT_TRUE(messages(log).empty()) << log;
    }
}

// The netlist of a generated board with everything the reader reports: missing Components, unknown pins,
// crosslinks, new, mismatched and replaced Components, a layer match.
std::string busy_netlist(Ref ring) {
    auto nets = nets_of(ring);
    std::string first = nets.begin()->second.front();
    nets["ZZ"].push_back(first);
    nets["GND"].push_back("U99-1");
    nets["GND"].push_back("U1-77");
    nets["GND"].push_back("U99-2");
    std::string some = first.substr(0, first.find('-'));
    std::string t = "[\r\n" + some + "\r\nDIODE-B\r\n74HC00\r\n\r\n\r\n\r\n]\r\n"
                    "[\r\nC2\r\n0805\r\n100n\r\n\r\n\r\n\r\n]\r\n"
                    "[\r\nX1\r\nBLOCK\r\nB\r\n\r\n\r\n\r\n]\r\n"
                    "[\r\nA1\r\nBLOCK\r\nB\r\n\r\n\r\n\r\n]\r\n"
                    "[\r\nX2\r\nNONE\r\nB\r\n\r\n\r\n\r\n]\r\n";
    t += wide("U2", "?", "VAL", "M") + wide("C3", "dip", "VAL", "");
    return t + bracketed(nets) + columns({{"X", {"X1-1", "A1-2", "U5-1"}}});
}

TEST_F(NetIn, ThePlainWalkAndTheIndexGiveTheSameLogAndBoard) {
    for (unsigned seed : {1u, 8u}) {
        for (bool replace : {false, true}) {
            std::string logs[2], boards[2];
            for (int plain = 0; plain < 2; ++plain) {
                fresh();
                generate(ring(), seed, 36);
                NetlistInOptions o;
                o.replace = o.update = replace;
                plain_walk = plain == 1;
                NetlistInResult r;
                logs[plain] = run(busy_netlist(ring()), o, &r);
                EXPECT_GT(r.placed, 0);
                boards[plain] = file();
            }
            EXPECT_EQ(logs[0], logs[1]) << "seed " << seed;
            EXPECT_EQ(boards[0], boards[1]) << "seed " << seed;
            EXPECT_NE(logs[0].find("Component not found"), std::string::npos);
            EXPECT_NE(logs[0].find("Crosslinked pin"), std::string::npos);
            EXPECT_NE(logs[0].find(replace ? "Component replaced" : "Pattern mismatch"), std::string::npos);
        }
    }
}

} // namespace
