// Our footprints against KiCad's library for the same packages: both come from the same JEDEC outlines
// and IPC land pattern rules, so after centring they must put the same pins in nearly the same places.
// KiCad is only read here, at test time, through its own Python module.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <set>

#include "cli/cli_runner.h"
#include "cli/library_text.h"

using namespace cli_test;

namespace {

const char* const kPython = "/usr/bin/python3"; // the interpreter KiCad's module is installed for
const char* const kFootprints = "/usr/share/kicad/footprints";

struct Case {
    const char* ours;
    const char* kicad;    // library/footprint
    const char* pitch[2]; // two neighbouring pins in a row, or none
};

const Case kCases[] = {
    {"DIP8", "Package_DIP.pretty/DIP-8_W7.62mm", {"1", "2"}},
    {"DIP28W", "Package_DIP.pretty/DIP-28_W15.24mm", {"1", "2"}},
    {"SOIC8", "Package_SO.pretty/SOIC-8_3.9x4.9mm_P1.27mm", {"1", "2"}},
    {"SOIC16W", "Package_SO.pretty/SOIC-16W_7.5x10.3mm_P1.27mm", {"1", "2"}},
    {"TSSOP14", "Package_SO.pretty/TSSOP-14_4.4x5mm_P0.65mm", {"1", "2"}},
    {"SSOP20", "Package_SO.pretty/SSOP-20_5.3x7.2mm_P0.65mm", {"1", "2"}},
    {"SOT23", "Package_TO_SOT_SMD.pretty/SOT-23", {"1", "2"}},
    {"SOT23-5", "Package_TO_SOT_SMD.pretty/SOT-23-5", {"1", "2"}},
    {"SOT223", "Package_TO_SOT_SMD.pretty/SOT-223", {"1", "2"}},
    {"R0402", "Resistor_SMD.pretty/R_0402_1005Metric", {nullptr, nullptr}},
    {"R0603", "Resistor_SMD.pretty/R_0603_1608Metric", {nullptr, nullptr}},
    {"R0805", "Resistor_SMD.pretty/R_0805_2012Metric", {nullptr, nullptr}},
    {"R1206", "Resistor_SMD.pretty/R_1206_3216Metric", {nullptr, nullptr}},
    {"C0805", "Capacitor_SMD.pretty/C_0805_2012Metric", {nullptr, nullptr}},
    {"SOD123", "Diode_SMD.pretty/D_SOD-123", {nullptr, nullptr}},
    {"SMA", "Diode_SMD.pretty/D_SMA", {nullptr, nullptr}},
    {"TO220", "Package_TO_SOT_THT.pretty/TO-220-3_Vertical", {"1", "2"}},
    {"TO92", "Package_TO_SOT_THT.pretty/TO-92_Inline_Wide", {"1", "2"}},
    {"HDR2X5", "Connector_PinHeader_2.54mm.pretty/PinHeader_2x05_P2.54mm_Vertical", {"1", "3"}},
    {"HDR1X4", "Connector_PinHeader_2.54mm.pretty/PinHeader_1x04_P2.54mm_Vertical", {"1", "2"}},
    {"DO35", "Diode_THT.pretty/D_DO-35_SOD27_P7.62mm_Horizontal", {nullptr, nullptr}},
    {"DO41", "Diode_THT.pretty/D_DO-41_SOD81_P10.16mm_Horizontal", {nullptr, nullptr}},
    {"TQFP44", "Package_QFP.pretty/TQFP-44_10x10mm_P0.8mm", {"1", "2"}},
    {"TQFP100", "Package_QFP.pretty/TQFP-100_14x14mm_P0.5mm", {"1", "2"}},
    {"QFN32", "Package_DFN_QFN.pretty/QFN-32-1EP_5x5mm_P0.5mm_EP3.1x3.1mm", {"1", "2"}},
};

// Prints one line per named pad: footprint, pin, x, y and drill in mm, in KiCad's axes (Y down).
const char* const kDumpScript = R"(import sys
import pcbnew
base = sys.argv[1]
for wanted in sys.argv[2:]:
    lib, name = wanted.split("/")
    fp = pcbnew.FootprintLoad(base + "/" + lib, name)
    if fp is None:
        print("MISSING", wanted)
        continue
    for p in fp.Pads():
        if p.GetName():
            pos = p.GetPosition()
            print(wanted, p.GetName(), pcbnew.ToMM(pos.x), pcbnew.ToMM(pos.y), pcbnew.ToMM(p.GetDrillSize().x))
)";

struct Spot {
    double x, y, hole; // mm, Y up
};
using Pattern = std::map<std::string, Spot>;

// Moves a pattern so that the box round its pad centres is centred on the origin.
Pattern centred(Pattern p) {
    double x0 = 1e9, x1 = -1e9, y0 = 1e9, y1 = -1e9;
    for (auto& [pin, s] : p) {
        x0 = std::min(x0, s.x), x1 = std::max(x1, s.x), y0 = std::min(y0, s.y), y1 = std::max(y1, s.y);
    }
    for (auto& [pin, s] : p) {
        s.x -= (x0 + x1) / 2;
        s.y -= (y0 + y1) / 2;
    }
    return p;
}

bool kicad_present() {
    std::string probe = std::string(kPython) + " -c 'import pcbnew' >/dev/null 2>&1";
    return std::system(probe.c_str()) == 0 && fs::is_directory(kFootprints);
}

} // namespace

TEST(KicadFootprints, PadsAgreeWithKicadsLibraryAfterCentring) {
    if (!kicad_present()) {
        GTEST_SKIP() << "KiCad's pcbnew module or its footprints are not installed (make deps-kicad)";
    }
    Scratch s;
    spit(s / "dump.py", kDumpScript);
    std::string cmd = std::string(kPython) + " " + quote(s / "dump.py") + " " + quote(kFootprints);
    for (const Case& c : kCases) {
        cmd += " " + quote(c.kicad);
    }
    cmd += " >" + quote(s / "pads.txt") + " 2>" + quote(s / "err.txt");
    ASSERT_EQ(std::system(cmd.c_str()), 0) << slurp(s / "err.txt");

    std::map<std::string, Pattern> theirs;
    for (const std::string& l : lib_text::lines_of(slurp(s / "pads.txt"))) {
        std::vector<std::string> f = lib_text::split(l);
        ASSERT_NE(f[0], "MISSING") << l;
        if (f.size() == 5) {
            // A pin may have several pads (paste windows of an exposed pad): the first one stands.
            theirs[f[0]].emplace(f[1],
                                 Spot{std::atof(f[2].c_str()), -std::atof(f[3].c_str()), std::atof(f[4].c_str())});
        }
    }
    std::vector<lib_text::Entry> ours = lib_text::entries(slurp(source("share/LIBRARY/THD.LIB")));
    std::vector<lib_text::Entry> smd = lib_text::entries(slurp(source("share/LIBRARY/SMD.LIB")));
    ours.insert(ours.end(), smd.begin(), smd.end());

    std::printf("  %-8s %-66s %9s %9s %9s\n", "ours", "KiCad", "centre", "pitch", "hole");
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.ours);
        const lib_text::Entry* e = lib_text::find(ours, c.ours);
        ASSERT_NE(e, nullptr);
        Pattern mine;
        for (const lib_text::Pad& p : lib_text::pads(*e)) {
            mine[p.pin] = Spot{p.x * 25.4, p.y * 25.4, p.hole * 25.4};
        }
        Pattern a = centred(mine), b = centred(theirs[c.kicad]);
        std::set<std::string> pa, pb;
        for (auto& [pin, spot] : a) {
            pa.insert(pin);
        }
        for (auto& [pin, spot] : b) {
            pb.insert(pin);
        }
        ASSERT_EQ(pa, pb);
        double centre = 0, hole = 0, pitch = 0;
        for (auto& [pin, m] : a) {
            const Spot& k = b.at(pin);
            double d = std::hypot(m.x - k.x, m.y - k.y);
            EXPECT_LE(d, 0.4) << "pin " << pin;
            EXPECT_EQ(m.hole > 0, k.hole > 0) << "pin " << pin; // both drilled or both surface pads
            EXPECT_LE(std::abs(m.hole - k.hole), 0.3) << "pin " << pin;
            centre = std::max(centre, d);
            hole = std::max(hole, std::abs(m.hole - k.hole));
        }
        if (c.pitch[0]) {
            auto span = [&](const Pattern& p) {
                const Spot &u = p.at(c.pitch[0]), &v = p.at(c.pitch[1]);
                return std::hypot(u.x - v.x, u.y - v.y);
            };
            pitch = std::abs(span(a) - span(b));
            EXPECT_LE(pitch, 0.02) << "pins " << c.pitch[0] << " and " << c.pitch[1];
        }
        std::printf("  %-8s %-66s %6.3f mm %6.3f mm %6.3f mm\n", c.ours, c.kicad, centre, pitch, hole);
    }
}
