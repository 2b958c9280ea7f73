// trazel-cli info: the listing of a small hand-made board.
#include <sstream>
#include <vector>

#include "cli/cli_runner.h"

using namespace cli_test;

namespace {

// The lines of the listing with runs of blanks made one, so the test reads the values, not the layout.
std::vector<std::string> squeezed(const std::string& text) {
    std::vector<std::string> v;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        std::string s;
        for (char c : line) {
            if (c != ' ' || (!s.empty() && s.back() != ' ')) {
                s.push_back(c);
            }
        }
        while (!s.empty() && s.back() == ' ') {
            s.pop_back();
        }
        v.push_back(s);
    }
    return v;
}

} // namespace

TEST(CliInfo, SmallBoard) {
    Scratch s;
    std::string file = source("tests/data/small_board.pcb");
    Result r = run(s, "info " + quote(file));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    // The fixture: Component R1 (two Pads and a "&1" Text), two tracks, a three-cornered Solid, an Arc
    // and a Text.  The extents: the Text at (.5, 2.0), the Solid's corner (2.0, .25) and the tracks.
    std::vector<std::string> want = {
        "File: " + file,
        "Format: C (TRAZEL Version 4.0 data file)",
        "Kind: board or drawing",
        "",
        "Items top level in Components",
        "Component 1 0",
        "Line 2 0",
        "Solid 1 0",
        "Arc 1 0",
        "Pad 0 2",
        "Text 1 1",
        "Point group 0 0",
        "",
        "Layers in use",
        "0 Pad Master 0 = Silk (screening) 2 Items",
        "1 Top Silk 0 = Silk (screening) 3 Items",
        "3 Top Side 2 = Copper (normal) 1 Item (current)",
        "12 Bottom Side 2 = Copper (normal), bottom side 2 Items",
        "",
        "Extents (0.500, 0.250) to (2.000, 2.000) inches",
        "",
        "Signals",
        "OUT 2",
        "VCC 2",
    };
    EXPECT_EQ(squeezed(r.out), want);
}

TEST(CliInfo, TextFilesAndUsage) {
    Scratch s;
    spit(s / "log.txt", "one\r\ntwo\r\n");
    Result r = run(s, "info " + quote(s / "log.txt"));
    ASSERT_EQ(r.status, 0);
    auto v = squeezed(r.out);
    ASSERT_GT(v.size(), 16u);
    EXPECT_EQ(v[1], "Format: Z (plain text)");
    EXPECT_EQ(v[10], "Text 2 0");
    EXPECT_EQ(v[2], "Kind: text view");
    EXPECT_EQ(v[14], "0 TXT 7 = Drawing (general) 2 Items (current)");
    EXPECT_EQ(run(s, "info").status, 2);
    EXPECT_EQ(run(s, "info a b").status, 2);
}
