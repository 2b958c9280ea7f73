// trazel-cli convert with the foreign formats: the demo board through the Tango and AutoTrax writers and
// back, DXF out and in, the forced readers, the drawing unit and the strict skip report.
#include "cli/cli_runner.h"

using namespace cli_test;

namespace {

// The "Items" table of info: one line per kind with its top-level and member counts.
std::string item_counts(const Scratch& s, const fs::path& file) {
    Result r = run(s, "info " + quote(file));
    size_t at = r.out.find("Items");
    size_t end = r.out.find("\n\n", at);
    return at == std::string::npos ? r.out : r.out.substr(at, end - at);
}

std::string counts_of(const std::string& table, const std::string& kind) {
    size_t at = table.find("  " + kind + " ");
    return at == std::string::npos ? "" : table.substr(at, table.find('\n', at) - at);
}

// A drawing without the HEADER section, which only the forced reader takes: a line 25.4 long and an
// entity the reader does not know.
constexpr const char* kFragment = "0\nSECTION\n2\nENTITIES\n0\nLINE\n8\nA\n10\n0\n20\n0\n11\n25.4\n21\n0\n"
                                  "0\nRAY\n8\nA\n10\n0\n20\n0\n0\nENDSEC\n0\nEOF\n";

} // namespace

TEST(CliForeign, BoardsComeBackFromTangoAndAutoTrax) {
    Scratch s;
    fs::path demo = source("share/examples/demo.pcb");
    std::string before = item_counts(s, demo);
    for (std::string code : {"T", "P"}) {
        fs::path out = s / ("demo." + code), back = s / ("back." + code + ".pcb");
        Result r = run(s, "convert " + quote(demo) + " " + quote(out) + " --format " + code);
        ASSERT_EQ(r.status, 0) << r.err;
        r = run(s, "convert " + quote(out) + " " + quote(back) + " --format C");
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.err, "") << code;
        std::string after = item_counts(s, back);
        for (std::string kind : {"Component", "Line", "Arc", "Pad"}) {
            EXPECT_EQ(counts_of(after, kind), counts_of(before, kind)) << code << " " << kind;
        }
    }
    // AutoTrax holds no polygon and no member texts besides the two Component texts: told, not failed.
    Result r = run(s, "convert " + quote(demo) + " " + quote(s / "again.pcb") + " --format P");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "trazel-cli: AutoTrax has no polygons (Solids): 1 left out\n"
                     "trazel-cli: AutoTrax has no Component texts besides the reference and value (member Texts): "
                     "1 left out\n");
    EXPECT_EQ(slurp(s / "again.pcb").substr(0, 12), "PCB FILE 4\r\n");
}

TEST(CliForeign, DxfOutAndForcedIn) {
    Scratch s;
    Result r = run(s, "convert " + quote(source("share/examples/demo.pcb")) + " " + quote(s / "demo.dxf") +
                          " --format X");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(slurp(s / "demo.dxf").substr(0, 26), "0\r\nSECTION\r\n2\r\nHEADER\r\n9\r\n");
    EXPECT_NE(run(s, "info " + quote(s / "demo.dxf")).out.find("Format:  X"), std::string::npos);

    // Without a HEADER the chooser takes the fragment for text; --as X reads it, one line per skip.
    spit(s / "frag.dxf", kFragment);
    EXPECT_EQ(run(s, "convert " + quote(s / "frag.dxf") + " " + quote(s / "t.pcb")).status, 0);
    EXPECT_NE(run(s, "info " + quote(s / "t.pcb")).out.find("Format:  Z"), std::string::npos);
    r = run(s, "convert --as x --format C " + quote(s / "frag.dxf") + " " + quote(s / "in.pcb"));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "trazel-cli: " + std::string(s / "frag.dxf") + ":17: RAY (1 object)\n");
    EXPECT_NE(slurp(s / "in.pcb").find("\r\n1 0 .001 0 0 25.4 0\r\n"), std::string::npos);
    // Millimetres forced: the same line is one inch long.
    r = run(s, "convert --as X --dxf-units mm --format C " + quote(s / "frag.dxf") + " " + quote(s / "mm.pcb"));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(slurp(s / "mm.pcb").find("\r\n1 0 .001 0 0 1.0 0\r\n"), std::string::npos);
    // --strict: the skipped RAY fails the run and nothing is written.
    r = run(s, "convert --as X --strict " + quote(s / "frag.dxf") + " " + quote(s / "strict.pcb"));
    EXPECT_EQ(r.status, 1);
    EXPECT_FALSE(fs::exists(s / "strict.pcb"));

    EXPECT_EQ(run(s, "convert --as Q " + quote(s / "frag.dxf") + " " + quote(s / "q.pcb")).status, 2);
    EXPECT_EQ(run(s, "convert --dxf-units ft " + quote(s / "frag.dxf") + " " + quote(s / "q.pcb")).status, 2);
}
