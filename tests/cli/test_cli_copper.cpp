// trazel-cli fill, teardrops and isolate: usage errors, the runs on small hand-made boards, and a pour
// over a generated board judged by the independent copper check (no shorts, the pour's isolations kept,
// every thermal pad joined or reported) and by the net scan (no crosslinks).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "cli/cli_runner.h"
#include "cli/copper_check.h"
#include "cli/netlist_expect.h"

using namespace cli_test;
using copper_check::Board;
using copper_check::Check;

namespace {

namespace model = trazel::model;
using model::Ref;

// Two copper layers (1 top, 2 bottom).  "-gc": isolations 10 mil from lines and 12 from pads, a 10-mil
// fill line, thermal Signal GND, destination layer 2, no source layers.
std::string board(const std::string& records, const std::string& extra_setup = "") {
    return "TRAZEL Version 4.0 -- Data File.\r\n\r\n"
           "-y0:00FFFF00,00000000,0,0,Pad Master\r\n"
           "-y1:00FF0000,00000000,18,1,Top\r\n"
           "-y2:000000FF,00000000,42,2,Bottom\r\n"
           "-y3:00FFFFFF,00000000,0,3,Silk\r\n"
           "-gc.01,.012,.008,.01,.012,.01,0,GND,,2\r\n" +
           extra_setup + "\r\n" + records + "\r\nEND OF FILE\r\n";
}

std::string pad(double x, double y, const std::string& net, int type = 1, double size = .06, int layer = 0) {
    char b[160];
    std::snprintf(b, sizeof b, "3 %d %d %.4f %.4f %.4f %.4f %.4f 0 0 %s\r\n", layer, type, x, y, size, size,
                  type >= 4 ? 0.0 : 0.035, net.c_str());
    return b;
}

std::string line(int layer, double x1, double y1, double x2, double y2, const std::string& net = "",
                 double w = .012) {
    char b[160];
    std::snprintf(b, sizeof b, "1 %d %.4f %.4f %.4f %.4f %.4f %s\r\n", layer, w, x1, y1, x2, y2, net.c_str());
    return b;
}

// A GND surface pad on the bottom at (1,1) boxed in by a square of B tracks 40 mil out: no spoke fits.
std::string boxed() {
    return pad(1, 1, "GND", 6, .05, 2) + line(2, .96, .96, 1.04, .96, "B", .01) + line(2, 1.04, .96, 1.04, 1.04, "B", .01) +
           line(2, 1.04, 1.04, .96, 1.04, "B", .01) + line(2, .96, 1.04, .96, .96, "B", .01);
}

// The count at the head of a verb's summary ("812 items laid").
int laid(const Result& r) {
    int n = -1;
    std::sscanf(r.out.c_str(), "%d", &n);
    return n;
}

// Pour copper: Lines and Arcs of the 10-mil fill width on `layer`.
std::function<bool(Ref)> poured(int layer) {
    return [layer](Ref r) {
        const model::Node& n = model::node(r);
        return n.layer == layer && n.size == 655 && (n.item_kind() == model::kLine || n.item_kind() == model::kArc);
    };
}

std::set<std::string> component_names(const model::Document& d) {
    std::set<std::string> out;
    for (Ref r : model::items_in(d.ring())) {
        if (model::node(r).item_kind() == model::kComponent) {
            out.insert(model::ComponentField(r, 0));
        }
    }
    return out;
}

} // namespace

TEST(CliCopper, UsageErrorsWriteNothing) {
    Scratch s;
    spit(s / "in.pcb", board(pad(1, 1, "GND")));
    const std::string io = quote(s / "in.pcb") + " " + quote(s / "out.pcb");
    struct Case {
        std::string args, says;
    } cases[] = {
        {"fill " + io, "--box"},
        {"isolate " + io + " --box 0,0,2,2 --side left", "--side"},
        {"teardrops " + quote(s / "in.pcb") + " --box 0,0,2,2", "output"},
        {"fill " + io + " --box 0,0,2,2 --mesh .05", "--hatch"},
        {"fill " + io + " --box 0,0,2 --isolation .01", "--box"},
    };
    for (const Case& c : cases) {
        Result r = run(s, c.args);
        EXPECT_EQ(r.status, 2) << c.args << "\n" << r.err;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << c.args << "\n" << r.err;
        EXPECT_FALSE(fs::exists(s / "out.pcb")) << c.args;
    }
}

TEST(CliCopper, FillPoursTheThermalSignalClearOfOtherNets) {
    // GND's pad at (1,1); A's two pads joined by a bottom track, which the pour must keep clear of.
    Scratch s;
    spit(s / "in.pcb", board(pad(1, 1, "GND") + pad(2, 1, "A") + pad(2, 1.8, "A") + line(2, 2, 1, 2, 1.8, "A")));
    Result r = run(s, "fill " + quote(s / "in.pcb") + " " + quote(s / "out.pcb") + " --box .5,.5,2.5,2.5");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(r.err.empty()) << r.err;
    EXPECT_GT(laid(r), 100) << r.out;
    {
        Board b(s / "out.pcb");
        ASSERT_NE(b.d, nullptr) << b.error;
        Check c(*b.d, copper_check::Limits{655, 786, -1, poured(2)});
        EXPECT_TRUE(c.shorts.empty() && c.faults.empty() && c.mislabelled.empty()) << c.summary();
        EXPECT_EQ(c.nets.at("A"), std::make_pair(2, 1));
        // Every pour Item carries GND, and the GND pad is joined to the pour.
        int pour = 0, joined = 0;
        for (const copper_check::Item& it : c.items) {
            if (poured(2)(it.ref)) {
                pour += it.signal == "GND";
                joined += c.joined_items(c.items.front().ref, it.ref);
            }
        }
        EXPECT_EQ(pour, laid(r));
        EXPECT_GT(joined, pour / 2);
    }
}

TEST(CliCopper, UnconnectablePadsGoToStderrAndStopOnlyWhenAsked) {
    // The boxed GND pad comes first in the file; a free GND pad elsewhere is connected.
    Scratch s;
    spit(s / "in.pcb", board(boxed() + pad(2, 2, "GND")));
    const std::string args = "fill " + quote(s / "in.pcb") + " " + quote(s / "out.pcb") + " --box .5,.5,2.5,2.5";
    const std::string said = "The power/ground pad at location: X = 1.000\"  Y = 1.000\" cannot be connected to the "
                             "flood plane. Do you wish to continue?\n";
    Result go = run(s, args);
    ASSERT_EQ(go.status, 0) << go.err;
    EXPECT_EQ(go.err, said);
    EXPECT_NE(go.out.find("1 pads not connected"), std::string::npos) << go.out;
    Result stop = run(s, args + " --stop-unconnected");
    ASSERT_EQ(stop.status, 0) << stop.err;
    EXPECT_EQ(stop.err, said);
    EXPECT_LT(laid(stop), laid(go) / 2) << stop.out << go.out;
}

TEST(CliCopper, TeardropsOnceOnlyAndIsolationPerSide) {
    // A long track between two pads and one too short for a teardrop.  "-gtt": two passes and the area
    // clearing; "-gtb": one pass.
    Scratch s;
    spit(s / "in.pcb", board(pad(1, 1, "A") + line(1, 1, 1, 1.5, 1, "A") + pad(1.5, 1, "A") +
                                 line(1, 3, 1, 3.03, 1, "C") + pad(3, 1, "C"),
                             "-gtt2,.01,.002,.005,.02,.005,.01,,1\r\n-gtb1,.01,.002,.005,0,0,0,,2\r\n"));
    Result r = run(s, "teardrops " + quote(s / "in.pcb") + " " + quote(s / "once.pcb") + " --box 0,0,4,2");
    EXPECT_EQ(r.out, "2 teardrops added\n") << r.err;
    r = run(s, "teardrops " + quote(s / "once.pcb") + " " + quote(s / "twice.pcb") + " --box 0,0,4,2");
    EXPECT_EQ(r.out, "0 teardrops added\n") << r.err;
    for (std::string side : {"top", "bottom"}) {
        r = run(s, "isolate " + quote(s / "in.pcb") + " " + quote(s / (side + ".pcb")) + " --box .5,.5,2,1.5 --side " +
                       side);
        ASSERT_EQ(r.status, 0) << r.err;
        Board b(s / (side + ".pcb"));
        ASSERT_NE(b.d, nullptr) << b.error;
        std::set<std::string> made = side == "top" ? std::set<std::string>{"$IS1", "$IS2", "$FLD"}
                                                   : std::set<std::string>{"$IS1"};
        EXPECT_EQ(component_names(*b.d), made);
    }
}

TEST(CliCopperCheck, PourOverAGeneratedBoardIsClean) {
    Scratch s;
    SKIP_WITHOUT_GEN_BOARD();
    std::string gen = (fs::path(TRAZEL_CLI).parent_path() / "gen_board").string();
    ASSERT_EQ(std::system((quote(gen) + " 40 " + quote(s / "in.pcb") + " --seed 5 --clean >/dev/null").c_str()), 0);
    double x1 = 1e300, y1 = 1e300, x2 = -1e300, y2 = -1e300;
    {
        Board in(s / "in.pcb");
        ASSERT_NE(in.d, nullptr) << in.error;
        Check c(*in.d);
        for (const copper_check::Item& it : c.items) {
            x1 = std::min(x1, it.x1), y1 = std::min(y1, it.y1), x2 = std::max(x2, it.x2), y2 = std::max(y2, it.y2);
        }
    }
    char box[128];
    std::snprintf(box, sizeof box, "%.4f,%.4f,%.4f,%.4f", x1 / 65536 - .1, y1 / 65536 - .1, x2 / 65536 + .1,
                  y2 / 65536 + .1);
    // The file's "-gc": Ti 10 mil, Pi 12 mil, a 10-mil line, GND; poured on the bottom copper with the
    // bottom and the through-hole pads as sources (the file names the plane layer).
    Result r = run(s, "fill " + quote(s / "in.pcb") + " " + quote(s / "out.pcb") + " --box " + box +
                          " --layer 4 --sources 4,0");
    ASSERT_EQ(r.status, 0) << r.err;
    std::vector<std::pair<double, double>> reported;
    for (size_t at = r.err.find("X = "); at != std::string::npos; at = r.err.find("X = ", at + 1)) {
        double x = 0, y = 0;
        ASSERT_EQ(std::sscanf(r.err.c_str() + at, "X = %lf\"  Y = %lf\"", &x, &y), 2) << r.err;
        reported.emplace_back(x, y);
    }
    EXPECT_EQ(static_cast<int>(reported.size()), lines(r.err)) << r.err;
    {
        Board b(s / "out.pcb");
        ASSERT_NE(b.d, nullptr) << b.error;
        Check c(*b.d, copper_check::Limits{655, 786, -1, poured(4)});
        EXPECT_TRUE(c.shorts.empty()) << c.summary();
        EXPECT_TRUE(c.faults.empty()) << c.summary();
        EXPECT_TRUE(c.mislabelled.empty()) << c.summary();
        std::vector<Ref> pour;
        for (const copper_check::Item& it : c.items) {
            if (poured(4)(it.ref)) {
                pour.push_back(it.ref);
            }
        }
        ASSERT_GT(pour.size(), 100u);
        // Every GND pad the bottom pour can reach is joined to it or was reported.
        int thermal = 0;
        for (const copper_check::Item& it : c.items) {
            if (!it.pad || it.signal != "GND" || !(it.every_layer || it.layer == 4)) {
                continue;
            }
            ++thermal;
            const model::Node& n = model::node(it.ref);
            bool joined = std::any_of(pour.begin(), pour.end(), [&](Ref p) { return c.joined_items(it.ref, p); });
            bool told = std::any_of(reported.begin(), reported.end(), [&](const std::pair<double, double>& p) {
                return std::abs(p.first * 65536 - n.pad.x0) < 66 && std::abs(p.second * 65536 - n.pad.y0) < 66;
            });
            EXPECT_TRUE(joined || told) << it.name;
        }
        EXPECT_GT(thermal, 0);
    }
    Result scan = run(s, "netscan " + quote(s / "out.pcb") + " --log " + quote(s / "scan.log"));
    ASSERT_EQ(scan.status, 0) << scan.err;
    EXPECT_EQ(count(slurp(s / "scan.log"), "Crosslinked"), 0);
}
