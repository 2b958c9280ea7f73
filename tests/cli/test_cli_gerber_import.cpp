// Photoplots and drill files through the batch tool: convert to a Data file and back to Gerber, forced
// readers, merges, the skip report and --strict, dialogs answered by --field, info and render.
#include <cstdint>
#include <map>
#include <sstream>

#include "cli/cli_runner.h"

namespace {

using namespace cli_test;

const std::string kTop = source("tests/data/small_board.top");
const std::string kBot = source("tests/data/small_board.bot");
const std::string kDrl = source("tests/data/small_board.drl");

// The top-level count of one Item kind in `info`'s table ("  Line   122   0").
int items(const std::string& info, const std::string& kind) {
    std::istringstream in(info);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream w(line);
        std::string name;
        int top = -1;
        if (w >> name >> top && name == kind) {
            return top;
        }
    }
    return -1;
}

// "Layers in use" rows: layer number -> the rest of its row.
std::map<int, std::string> layers(const std::string& info) {
    std::map<int, std::string> out;
    std::istringstream in(info);
    std::string line;
    bool on = false;
    while (std::getline(in, line)) {
        if (line.rfind("Layers in use", 0) == 0) {
            on = true;
        } else if (on && line.empty()) {
            break;
        } else if (on) {
            std::istringstream w(line);
            int k = -1;
            w >> k;
            std::string rest;
            std::getline(w, rest);
            out[k] = rest;
        }
    }
    return out;
}

std::string info(const Scratch& s, const std::string& file) {
    Result r = run(s, "info " + quote(file));
    EXPECT_EQ(r.status, 0) << r.err;
    return r.out;
}

TEST(CliGerberImport, PhotoplotToDataFileAndBackToGerber) {
    Scratch s;
    std::string top = info(s, kTop);
    int lines = items(top, "Line"), pads = items(top, "Pad");
    ASSERT_GT(lines, 100);
    ASSERT_EQ(pads, 2);
    Result r = run(s, "convert " + quote(kTop) + " " + quote(s / "top.pcb") + " --format C");
    ASSERT_EQ(r.status, 0) << r.err;
    std::string pcb = info(s, s / "top.pcb");
    EXPECT_NE(pcb.find("Format:  C"), std::string::npos) << pcb;
    EXPECT_EQ(items(pcb, "Line"), lines);
    EXPECT_EQ(items(pcb, "Pad"), pads);
    EXPECT_NE(layers(pcb)[1].find("small_board.top"), std::string::npos) << pcb;

    r = run(s, "convert " + quote(s / "top.pcb") + " " + quote(s / "again.gbr") + " --format G");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(slurp(s / "again.gbr").rfind("%FSLAX24Y24*%", 0), 0u);
    std::string back = info(s, s / "again.gbr");
    EXPECT_NE(back.find("Format:  G"), std::string::npos) << back;
    EXPECT_EQ(items(back, "Pad"), pads);
    EXPECT_GE(items(back, "Line"), lines); // the Items and a new plot label
    // A photoplot Document keeps its code: without --format it is written as Gerber again.
    r = run(s, "convert " + quote(s / "again.gbr") + " " + quote(s / "third.gbr"));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(slurp(s / "third.gbr").rfind("%FSLAX24Y24*%", 0), 0u);
}

TEST(CliGerberImport, ForcedDrillReaderAndMergedStack) {
    Scratch s;
    // Below the drill recognition count the file is text, unless --as I forces the drill reader.
    EXPECT_NE(info(s, kDrl).find("Format:  Z"), std::string::npos);
    Result r = run(s, "convert " + quote(kDrl) + " " + quote(s / "holes.pcb") + " --as I --format C");
    ASSERT_EQ(r.status, 0) << r.err;
    std::string holes = info(s, s / "holes.pcb");
    EXPECT_EQ(items(holes, "Pad"), 2);
    EXPECT_NE(holes.find("Extents  (0.982, 0.982) to (1.118, 1.018)"), std::string::npos) << holes;
    r = run(s, "convert " + quote(kDrl) + " " + quote(s / "x.pcb") + " --as Q");
    EXPECT_EQ(r.status, 2);

    // Top, bottom and drill as one stack: layers 1 and 2, the holes on layer 0.
    r = run(s, "convert " + quote(kTop) + " " + quote(s / "stack.pcb") + " --merge " + quote(kBot) + " --merge " +
                   quote(kDrl) + " --format C");
    ASSERT_EQ(r.status, 0) << r.err;
    std::string stack = info(s, s / "stack.pcb");
    std::map<int, std::string> l = layers(stack);
    EXPECT_NE(l[1].find("small_board.top"), std::string::npos) << stack;
    EXPECT_NE(l[2].find("small_board.bot"), std::string::npos) << stack;
    EXPECT_NE(l[0].find("2 Items"), std::string::npos) << stack;
    EXPECT_EQ(items(stack, "Pad"), 2 + 2 + items(info(s, kBot), "Pad"));

    r = run(s, "convert " + quote(kTop) + " " + quote(s / "y.pcb") + " --merge " + quote(s / "none.gbr"));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("none.gbr"), std::string::npos) << r.err;
}

TEST(CliGerberImport, SkipReportAndStrict) {
    Scratch s;
    std::string text = slurp(kTop);
    text.insert(text.find('\n') + 1, "%IPNEG*%\n");
    spit(s / "neg.gbr", text);
    Result r = run(s, "convert " + quote(s / "neg.gbr") + " " + quote(s / "neg.pcb") + " --format C");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(count(r.err, "neg.gbr:2: "), 1) << r.err;
    EXPECT_EQ(lines(r.err), 1) << r.err;
    EXPECT_TRUE(fs::exists(s / "neg.pcb"));
    r = run(s, "convert " + quote(s / "neg.gbr") + " " + quote(s / "strict.pcb") + " --format C --strict");
    EXPECT_EQ(r.status, 1);
    EXPECT_FALSE(fs::exists(s / "strict.pcb"));
    // A clean file passes --strict.
    r = run(s, "convert " + quote(kTop) + " " + quote(s / "clean.pcb") + " --format C --strict");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(r.err.empty()) << r.err;
}

TEST(CliGerberImport, FormatDialogAnsweredByField) {
    Scratch s;
    // RS-274-D without a format block: "Gerber Import Alert" asks for the decimals.
    std::string body = "G04 no format*\nD10*\n";
    for (int i = 0; i < 12; ++i) {
        body += "X" + std::to_string(i * 1000) + "Y0D02*\nX" + std::to_string(i * 1000) + "Y500D01*\n";
    }
    spit(s / "plain.pho", body + "M02*\n");
    Result r = run(s, "convert " + quote(s / "plain.pho") + " " + quote(s / "three.pcb") +
                          " --format C --field GerberImportBox.decimals=3 --field ApertureBox.width=10");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err.find("GerberImportBox"), std::string::npos) << r.err;
    EXPECT_NE(info(s, s / "three.pcb").find("Extents  (0.000, 0.000) to (11.000, 0.500)"), std::string::npos);
    // Unanswered: the initial 4 decimals, and the dialogs named on stderr.
    r = run(s, "convert " + quote(s / "plain.pho") + " " + quote(s / "four.pcb") + " --format C");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("GerberImportBox"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("ApertureBox"), std::string::npos) << r.err;
    EXPECT_NE(info(s, s / "four.pcb").find("to (1.100, "), std::string::npos);
    // Cancelled by its title: the file is declined and nothing is written.
    r = run(s, "convert " + quote(s / "plain.pho") + " " + quote(s / "none.pcb") +
                   " --format C --answer 'Gerber Import Alert=cancel'");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("the Gerber photoplot reader could not read it"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(s / "none.pcb"));
}

TEST(CliGerberImport, InfoAndRenderReadPhotoplots) {
    Scratch s;
    std::string top = info(s, kTop);
    EXPECT_NE(top.find("Format:  G (Gerber photoplot)"), std::string::npos) << top;
    EXPECT_NE(top.find("Extents  (0.000, -0.124) to (2.000, 1.030)"), std::string::npos) << top;
    Result r = run(s, "render " + quote(kTop) + " " + quote(s / "top.bmp") + " --size 200x150");
    ASSERT_EQ(r.status, 0) << r.err;
    std::string bmp = slurp(s / "top.bmp");
    ASSERT_GT(bmp.size(), 54u);
    ASSERT_EQ(bmp.substr(0, 2), "BM");
    uint32_t off = static_cast<uint8_t>(bmp[10]) | static_cast<uint8_t>(bmp[11]) << 8;
    // Ink: pixels unlike the background (the first pixel, a corner of the empty window).
    std::string bg = bmp.substr(off, 3);
    int ink = 0;
    for (size_t i = off; i + 3 <= bmp.size(); i += 3) {
        ink += bmp.compare(i, 3, bg) != 0 ? 1 : 0;
    }
    EXPECT_GT(ink, 200);
}

} // namespace
