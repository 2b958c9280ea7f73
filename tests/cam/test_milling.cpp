// The pen path writer and the milling files: jumps, pen state and nearer ends; rounding and mirror;
// tool order with the passes in numeric order; drill groups; a failed write keeping the older file.
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "cam/milling.h"
#include "cam/pen_path.h"
#include "cam_fixture.h"

using namespace camtest;
using namespace trazel::cam;
using Lines = std::vector<std::string>;

namespace {

namespace fs = std::filesystem;

bool crlf_only(const std::string& s) {
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\n' && (i == 0 || s[i - 1] != '\r')) {
            return false;
        }
    }
    return s.size() >= 2 && s.ends_with("\r\n");
}

struct Mill : Board {
    // An empty pass Component on the top copper; its members come through `put`.
    Ref component(std::string_view name) {
        return model::make_component(ring(), 3, 0, name);
    }
    Ref put(Ref c, Ref item) {
        model::MoveBefore(item, model::member_ring(c));
        return item;
    }
    Lines row(MillRow r, bool mirror, int layer = 3) {
        MillRowSettings s;
        s.file = "x";
        s.mirror = mirror;
        s.layer = layer;
        std::string text = mill_row_text(*d, r, s);
        EXPECT_TRUE(crlf_only(text));
        return split_lines(text);
    }
};

} // namespace

TEST(PenPath, JumpsDrawsAndPenState) {
    PenPath p(10);
    p.move(0, 0);
    p.draw(5, 0);
    p.move(12, 3); // 7 + 3: no longer than the jump, drawn
    p.move(30, 3); // 18: lifted
    p.move(30, 3); // no distance: nothing
    p.move(31, 3); // short, but the pen is up and stays up
    p.draw(31, 3); // lowers the pen on the spot
    p.draw(31, 3);
    p.pen_up();
    p.pen_up();
    p.lift(); // a tool change lifts whatever the state
    p.command("TC12");
    p.home();
    EXPECT_TRUE(crlf_only(p.text()));
    EXPECT_EQ(split_lines(p.take()), (Lines{"PU0,0;", "PD5,0;", "PD12,3;", "PU30,3;", "PU31,3;", "PD31,3;", "PU;",
                                            "PU;", "TC12;", "PU0,0;"}));
    EXPECT_TRUE(p.text().empty());
}

TEST(PenPath, SegmentsStartAtTheNearerEnd) {
    PenPath p(10);
    p.segment(0, 0, 100, 0);  // nothing written yet: the first end
    p.segment(0, 5, 104, 0);  // (104, 0) is nearer, and a short jump with the pen down
    p.segment(3, 5, -2, 5);   // 3 and 2 away are both 1 at half resolution: the first end
    p.segment(50, 50, 60, 50); // far from both: lifted
    EXPECT_EQ(split_lines(p.take()),
              (Lines{"PU0,0;", "PD100,0;", "PD104,0;", "PD0,5;", "PD3,5;", "PD-2,5;", "PU50,50;", "PD60,50;"}));
}

TEST(PenPath, ArcsPutThePenDownFirst) {
    PenPath p(10);
    p.move(200, 0);
    p.arc(100, 0, 90);  // after a pen-up move: down first
    p.move(105, 100);   // the arc ended at (100, 100): a short jump from there
    p.move(300, 300);
    p.arc_to(300, 200, -45500, 371, 129);
    p.arc_to(371, 0, 12345, 380, 10); // the pen is down already
    p.arc_to(0, 0, 50, 380, 10);
    p.arc_to(0, 0, -360000, 380, 10);
    p.move(385, 15); // measured from the end given to arc_to
    EXPECT_EQ(split_lines(p.take()),
              (Lines{"PU200,0;", "PD200,0;", "AA100,0,90;", "PD105,100;", "PU300,300;", "PD300,300;",
                     "AA300,200,-45.5;", "AA371,0,12.345;", "AA0,0,0.05;", "AA0,0,-360;", "PD385,15;"}));
}

TEST_F(Mill, RoundingAndMirror) {
    // 4096 units are 62.5 thousandths: halves go away from zero on both sides; 32 units round to 0 and
    // -33 to -1.
    Ref c = component("$IS1");
    put(c, line(3, mil(10), 4096, -4096, 32, -33));
    put(c, line(3, mil(10), mil(1500), mil(1500), 98304 + 4096, mil(1500)));
    EXPECT_EQ(row(kMillTop, false),
              (Lines{"PU;", "TC10;", "PU63,-63;", "PD0,-1;", "PU1500,1500;", "PD1563,1500;", "PU0,0;"}));
    EXPECT_EQ(row(kMillTop, true),
              (Lines{"PU;", "TC10;", "PU63,63;", "PD0,1;", "PU1500,-1500;", "PD1563,-1500;", "PU0,0;"}));
    // No tool paths on the layer: the file is the parking move alone.
    EXPECT_EQ(row(kMillBottom, false, 12), (Lines{"PU0,0;"}));
}

TEST_F(Mill, ToolsAscendingPassesInNumericOrderThenFlood) {
    Ref fld = component("$FLD");
    put(fld, line(3, mil(10), 0, 0, mil(1000), 0));
    Ref is10 = component("$IS10");
    put(is10, line(3, mil(10), 0, mil(100), mil(500), mil(100)));
    Ref is2 = component("$IS2");
    put(is2, line(3, mil(10), 0, mil(20), mil(500), mil(20)));
    put(is2, line(3, mil(5), 0, mil(30), mil(500), mil(30)));
    Ref is1 = component("$IS1");
    put(is1, line(3, mil(10), 0, mil(10), mil(500), mil(10)));
    put(is1, line(12, mil(10), 0, mil(50), mil(500), mil(50))); // another layer
    put(is1, solid(3, {{0, 0}, {mil(900), 0}, {mil(900), mil(900)}})); // copper, not a path
    put(is1, pad(3, 5, mil(700), mil(700), mil(50), mil(50), 0));
    // A name that is no pass: never written, though their width is a tool of the layer.
    put(component("$IS01"), line(3, mil(10), 0, mil(999), mil(9), mil(999)));
    line(3, mil(8), 0, mil(2000), mil(100), mil(2000)); // a track: a tool with no path
    text(3, 4800, 0, mil(3000), "AB");                  // strokes of 700 units: a tool
    text(3, 600, 0, mil(3100), "CD");                   // strokes of 88 units: none
    EXPECT_EQ(row(kMillTop, false),
              (Lines{"PU;", "TC5;", "PU0,30;", "PD500,30;",                 // $IS2's 5-thousandths line
                     "PU;", "TC8;",                                         //
                     "PU;", "TC10;", "PU500,10;", "PD0,10;",                // $IS1, from the nearer end
                     "PD0,20;", "PD500,20;",                                // $IS2: a short jump, drawn
                     "PU500,100;", "PD0,100;",                              // $IS10
                     "PU0,0;", "PD1000,0;",                                 // $FLD
                     "PU;", "TC11;", "PU0,0;"}));
}

TEST_F(Mill, ArcsFromTheNearerEndTurnWithTheMirror) {
    Ref c = component("$IS1");
    put(c, line(3, mil(10), 0, mil(1500), 0, mil(1005)));
    // A quarter from (1000, 0) to (0, 1000): its end is 5 away, so it is cut backwards.
    put(c, arc(3, mil(10), 0, 0, 65536, 0, 16384));
    // A full circle of 0.1 inch about (3000, 0).
    put(c, arc(3, mil(10), mil(3000), 0, mil(100), 0, 0));
    EXPECT_EQ(row(kMillTop, false), (Lines{"PU;", "TC10;", "PU0,1500;", "PD0,1005;", "PD0,1000;", "AA0,0,-90;",
                                           "PU3100,0;", "PD3100,0;", "AA3000,0,360;", "PU0,0;"}));
    EXPECT_EQ(row(kMillTop, true), (Lines{"PU;", "TC10;", "PU0,-1500;", "PD0,-1005;", "PD0,-1000;", "AA0,0,90;",
                                          "PU3100,0;", "PD3100,0;", "AA3000,0,-360;", "PU0,0;"}));
}

TEST_F(Mill, DrillHolesGroupedBySize) {
    pad(0, 1, mil(1000), mil(1000), mil(60), mil(60), mil(35));
    pad(0, 3, mil(100), -mil(200), mil(30), mil(30), mil(20));
    pad(0, 1, mil(1010), mil(1000), mil(60), mil(60), mil(35)); // close by: the drill still travels up
    pad(3, 5, mil(50), mil(50), mil(40), mil(40), mil(35));     // surface pad: no hole
    Ref c = component("U1");
    put(c, pad(0, 2, mil(2000), 0, mil(60), mil(60), mil(35)));
    line(3, mil(10), 0, 0, mil(100), 0); // tracks are no part of the drill file
    EXPECT_EQ(row(kMillDrill, true), (Lines{"PU;", "TC20;", "PU100,200;", "PP;", "PU;", "TC35;", "PU1000,-1000;",
                                            "PP;", "PU1010,-1000;", "PP;", "PU2000,0;", "PP;", "PU0,0;"}));
}

TEST_F(Mill, FilesBesideTheTargetAndAFailureKeepsTheOlderOne) {
    fs::path dir = fs::temp_directory_path() / ("trazel-mill-" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    pad(0, 1, 0, 0, mil(60), mil(60), mil(35));
    MillSettings s;
    s.prefix = (dir / "b-").string();
    s.rows[kMillDrill].file = "drill.plt";
    s.rows[kMillTop].file = "top.plt";
    s.rows[kMillTop].layer = 3;
    auto slurp = [](const fs::path& p) {
        std::ifstream f(p, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(f), {});
    };
    std::string failed = "unset";
    ASSERT_TRUE(write_mill_files(*d, s, &failed));
    EXPECT_EQ(failed, "unset");
    EXPECT_EQ(slurp(dir / "b-drill.plt"), "PU;\r\nTC35;\r\nPU0,0;\r\nPP;\r\nPU0,0;\r\n");
    EXPECT_EQ(slurp(dir / "b-top.plt"), "PU0,0;\r\n");

    // The top file write-protected: the drill file is new, the top file the old one.
    put(component("$IS1"), line(3, mil(10), 0, 0, mil(100), 0));
    pad(0, 1, mil(100), 0, mil(60), mil(60), mil(35));
    fs::permissions(dir / "b-top.plt", fs::perms::owner_read);
    EXPECT_FALSE(write_mill_files(*d, s, &failed));
    EXPECT_EQ(failed, s.prefix + "top.plt");
    EXPECT_EQ(slurp(dir / "b-top.plt"), "PU0,0;\r\n");
    EXPECT_NE(slurp(dir / "b-drill.plt").find("PU100,0;\r\nPP;"), std::string::npos);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 2);

    // A prefix into no folder fails at the first file.
    s.prefix = (dir / "none" / "b-").string();
    EXPECT_FALSE(write_mill_files(*d, s, &failed));
    EXPECT_EQ(failed, s.prefix + "drill.plt");
    fs::permissions(dir / "b-top.plt", fs::perms::owner_all);
    fs::remove_all(dir);
}
