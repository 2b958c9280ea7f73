// The component libraries in share/LIBRARY: made by tools/gen_libraries.py, complete, geometrically sound,
// readable by the batch tool, and placed onto the right layers of a board.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <set>
#include <tuple>

#include "cli_runner.h"
#include "library_text.h"

using namespace cli_test;
using lib_text::Entry;
using lib_text::Pad;

namespace {

const char* const kFiles[] = {"THD.LIB", "SMD.LIB", "SCHEM.LIB"};

std::vector<Entry> library(const std::string& file) {
    return lib_text::entries(slurp(source("share/LIBRARY/" + file)));
}

const Entry& entry(const std::vector<Entry>& lib, const std::string& name) {
    static const Entry none;
    const Entry* e = lib_text::find(lib, name);
    EXPECT_NE(e, nullptr) << name;
    return e ? *e : none;
}

constexpr double kMm = 1 / 25.4; // a millimetre in inches
constexpr double kEps = 4e-5;    // two roundings to five decimals of an inch, about a micrometre

bool near(double a, double b, double eps = kEps) {
    return std::abs(a - b) <= eps;
}

bool have_python() {
    return std::system("command -v python3 >/dev/null 2>&1") == 0;
}

} // namespace

TEST(Libraries, GeneratorRewritesTheCommittedFilesByteForByte) {
    if (!have_python()) {
        GTEST_SKIP() << "python3 is needed to run the generator";
    }
    Scratch s;
    std::string cmd = "python3 " + quote(source("tools/gen_libraries.py")) + " " + quote(s / "out") + " >/dev/null 2>" +
                      quote(s / "err");
    ASSERT_EQ(std::system(cmd.c_str()), 0) << slurp(s / "err");
    for (const char* f : kFiles) {
        // The committed files came from an earlier run: equal bytes also show the output does not drift.
        std::string committed = slurp(source(std::string("share/LIBRARY/") + f));
        ASSERT_FALSE(committed.empty()) << f;
        EXPECT_TRUE(slurp(s / (std::string("out/") + f)) == committed) << f << " differs from the generator's output";
    }
    // Without an output directory it says how to call it and writes nothing.
    std::string bare = "python3 " + quote(source("tools/gen_libraries.py")) + " >/dev/null 2>&1";
    EXPECT_NE(std::system(bare.c_str()), 0);
}

TEST(Libraries, HoldEveryRequiredPatternOnceWithAReferencePrefix) {
    std::map<std::string, std::vector<std::string>> required;
    auto& thd = required["THD.LIB"];
    for (int n : {4, 6, 8, 14, 16, 18, 20, 22, 24, 28}) {
        thd.push_back("DIP" + std::to_string(n));
    }
    for (int n = 24; n <= 48; n += 4) {
        thd.push_back("DIP" + std::to_string(n) + "W");
    }
    for (int n = 1; n <= 40; ++n) {
        thd.push_back("HDR1X" + std::to_string(n));
        if (n >= 2) {
            thd.push_back("HDR2X" + std::to_string(n));
        }
    }
    for (const char* n : {"TO92", "TO220", "AXIAL300", "AXIAL400", "AXIAL500", "AXIAL600", "DO35", "DO41"}) {
        thd.push_back(n);
    }
    auto& smd = required["SMD.LIB"];
    for (const char* size : {"0402", "0603", "0805", "1206"}) {
        smd.push_back(std::string("R") + size);
        smd.push_back(std::string("C") + size);
    }
    for (const char* n :
         {"SOT23",   "SOT223",  "SOD123", "SOIC8",   "SOIC14",  "SOIC16",  "SOIC16W", "SOIC18W", "SOIC20W",
          "SOIC24W", "SOIC28W", "TSSOP8", "TSSOP14", "TSSOP16", "TSSOP20", "TSSOP24", "TSSOP28", "TQFP32",
          "TQFP44",  "TQFP48",  "TQFP64", "TQFP100", "QFN16",   "QFN32",   "QFN48"}) {
        smd.push_back(n);
    }
    required["SCHEM.LIB"] = {"RES", "CAP", "DIODE", "LED", "NPN", "PNP", "OPAMP", "AND2", "OR2", "NAND2", "INV"};
    const std::map<std::string, size_t> at_least = {{"THD.LIB", 80}, {"SMD.LIB", 50}, {"SCHEM.LIB", 20}};

    for (const char* f : kFiles) {
        SCOPED_TRACE(f);
        std::vector<Entry> lib = library(f);
        EXPECT_GE(lib.size(), at_least.at(f));
        std::set<std::string> names;
        for (const Entry& e : lib) {
            EXPECT_TRUE(names.insert(e.name).second) << "twice: " << e.name;
            EXPECT_LE(e.name.size(), 20u) << e.name; // the longest name a placement asks for
            // Pattern name, then a reference prefix such as "U?"; value and modifier stay empty.
            ASSERT_GE(e.ref.size(), 2u) << e.name;
            EXPECT_EQ(e.ref.back(), '?') << e.name;
            EXPECT_TRUE(std::isupper(static_cast<unsigned char>(e.ref[0]))) << e.name;
            EXPECT_EQ(e.parameters, e.name + "\x7F" + e.ref) << e.name;
            EXPECT_EQ(e.closing, "0 6 0 0 0") << e.name; // hook point at the origin
        }
        for (const std::string& n : required[f]) {
            EXPECT_TRUE(names.count(n)) << "missing " << n;
        }
    }
}

TEST(Libraries, PadsAreNumberedAndTypedForTheirMountingAndPatternsCentredOnTheHook) {
    for (const char* f : {"THD.LIB", "SMD.LIB"}) {
        bool thru = std::string(f) == "THD.LIB";
        for (const Entry& e : library(f)) {
            SCOPED_TRACE(e.name);
            std::vector<Pad> ps = lib_text::pads(e);
            ASSERT_FALSE(ps.empty());
            std::set<int> pins;
            double x0 = 1e9, x1 = -1e9, y0 = 1e9, y1 = -1e9;
            for (const Pad& p : ps) {
                pins.insert(std::atoi(p.pin.c_str()));
                EXPECT_EQ(p.signal, "");
                EXPECT_GT(p.w, 0);
                EXPECT_GT(p.h, 0);
                if (thru) {
                    EXPECT_EQ(p.layer, "0");
                    EXPECT_EQ(p.type, p.pin == "1" ? 2 : 1) << p.pin;
                    EXPECT_GT(p.hole, 0.015);
                    EXPECT_LT(p.hole + 0.01, std::min(p.w, p.h)) << p.pin; // a copper ring is left
                } else {
                    EXPECT_EQ(p.layer, "CT");
                    EXPECT_EQ(p.type, 6);
                    EXPECT_EQ(p.hole, 0);
                }
                x0 = std::min(x0, p.x), x1 = std::max(x1, p.x), y0 = std::min(y0, p.y), y1 = std::max(y1, p.y);
            }
            // Pins 1..n, each once.
            EXPECT_EQ(pins.size(), ps.size());
            EXPECT_EQ(*pins.begin(), 1);
            EXPECT_EQ(*pins.rbegin(), static_cast<int>(ps.size()));
            EXPECT_TRUE(near((x0 + x1) / 2, 0) && near((y0 + y1) / 2, 0)) << (x0 + x1) / 2 << "," << (y0 + y1) / 2;
            // Pin 1 is at the top of the leftmost column.
            const Pad one = lib_text::by_pin(ps).at("1");
            EXPECT_TRUE(near(one.x, x0));
            for (const Pad& p : ps) {
                EXPECT_FALSE(near(p.x, one.x) && p.y > one.y + kEps) << "pin " << p.pin << " above pin 1";
            }
        }
    }
}

TEST(Libraries, DualInLineRowsAndPitchAreInchesAndNumberedCounterClockwise) {
    std::vector<Entry> thd = library("THD.LIB");
    for (auto [name, row] :
         {std::pair<const char*, double>{"DIP8", 0.3}, {"DIP28", 0.3}, {"DIP24W", 0.6}, {"DIP48W", 0.6}}) {
        SCOPED_TRACE(name);
        std::vector<Pad> ps = lib_text::pads(entry(thd, name));
        auto pin = lib_text::by_pin(ps);
        int n = static_cast<int>(ps.size()), k = n / 2;
        for (int i = 1; i <= k; ++i) {
            const Pad& left = pin[std::to_string(i)];
            const Pad& right = pin[std::to_string(n + 1 - i)]; // opposite pin
            EXPECT_TRUE(near(left.x, -row / 2) && near(right.x, row / 2)) << i;
            EXPECT_TRUE(near(left.y, right.y)) << i;
            if (i > 1) {
                EXPECT_TRUE(near(pin[std::to_string(i - 1)].y - left.y, 0.1)) << "down the left row at " << i;
                EXPECT_TRUE(near(pin[std::to_string(n + 2 - i)].y - right.y, 0.1)) << "up the right row at " << i;
            }
        }
        EXPECT_TRUE(near(pin["1"].y, (k - 1) * 0.05));
    }
}

TEST(Libraries, SurfaceMountPitchesAndOrientation) {
    std::vector<Entry> smd = library("SMD.LIB");
    // name, pins per side, pitch in mm; two-row packages count pins down the left and up the right.
    for (auto [name, pitch] : {std::pair<const char*, double>{"SOIC8", 1.27}, {"SOIC28W", 1.27}, {"TSSOP20", 0.65}}) {
        SCOPED_TRACE(name);
        std::vector<Pad> ps = lib_text::pads(entry(smd, name));
        auto pin = lib_text::by_pin(ps);
        int n = static_cast<int>(ps.size());
        for (int i = 2; i <= n / 2; ++i) {
            EXPECT_TRUE(near(pin[std::to_string(i - 1)].y - pin[std::to_string(i)].y, pitch * kMm)) << i;
            EXPECT_TRUE(near(pin[std::to_string(i)].x, pin["1"].x)) << i;
        }
        EXPECT_TRUE(near(pin[std::to_string(n / 2 + 1)].y, pin[std::to_string(n / 2)].y)); // bottom pair
        EXPECT_GT(pin[std::to_string(n)].x, 0);
        EXPECT_TRUE(near(pin[std::to_string(n)].y, pin["1"].y));
        // Pads are longer across the package than along the row.
        EXPECT_GT(pin["1"].w, pin["1"].h);
    }
    {
        // A quad package goes round counter-clockwise: left side down, bottom to the right, right side
        // up, top to the left.
        SCOPED_TRACE("TQFP44");
        auto pin = lib_text::by_pin(lib_text::pads(entry(smd, "TQFP44")));
        const double step[4][2] = {{0, -1}, {1, 0}, {0, 1}, {-1, 0}};
        const double side[4][2] = {{-1, 0}, {0, -1}, {1, 0}, {0, 1}};
        double reach = std::abs(pin["1"].x);
        for (int k = 0; k < 4; ++k) {
            for (int i = 1; i <= 11; ++i) {
                const Pad& p = pin[std::to_string(11 * k + i)];
                if (side[k][0] != 0) {
                    EXPECT_TRUE(near(p.x, side[k][0] * reach)) << 11 * k + i;
                } else {
                    EXPECT_TRUE(near(p.y, side[k][1] * reach)) << 11 * k + i;
                }
                if (i > 1) {
                    const Pad& q = pin[std::to_string(11 * k + i - 1)];
                    EXPECT_TRUE(near(p.x - q.x, step[k][0] * 0.8 * kMm) && near(p.y - q.y, step[k][1] * 0.8 * kMm))
                        << 11 * k + i;
                }
            }
        }
    }
    for (const char* name : {"R0402", "R0805", "C0603", "C1206"}) {
        SCOPED_TRACE(name);
        std::vector<Pad> ps = lib_text::pads(entry(smd, name));
        ASSERT_EQ(ps.size(), 2u);
        auto pin = lib_text::by_pin(ps);
        EXPECT_LT(pin["1"].x, 0);
        EXPECT_TRUE(near(pin["1"].x, -pin["2"].x) && near(pin["1"].y, 0) && near(pin["2"].y, 0));
    }
    {
        // The land pattern grows with the chip, and the 0805 pads straddle its 2 mm body.
        double last = 0;
        for (const char* name : {"R0402", "R0603", "R0805", "R1206"}) {
            double span = lib_text::by_pin(lib_text::pads(entry(smd, name)))["2"].x;
            EXPECT_GT(span, last) << name;
            last = span;
        }
        auto r0805 = lib_text::by_pin(lib_text::pads(entry(smd, "R0805")));
        EXPECT_LT(r0805["2"].x - r0805["2"].w / 2, 1.0 * kMm);
        EXPECT_GT(r0805["2"].x + r0805["2"].w / 2, 1.0 * kMm);
    }
    {
        SCOPED_TRACE("SOT23");
        auto pin = lib_text::by_pin(lib_text::pads(entry(smd, "SOT23")));
        EXPECT_TRUE(pin["1"].x < 0 && pin["1"].y > 0 && pin["2"].x < 0 && pin["2"].y < 0 && pin["3"].x > 0);
        EXPECT_TRUE(near(pin["1"].y - pin["2"].y, 1.9 * kMm) && near(pin["3"].y, 0));
    }
}

TEST(Libraries, HeadersPutPinTwoBesidePinOne) {
    std::vector<Entry> thd = library("THD.LIB");
    auto one_row = lib_text::by_pin(lib_text::pads(entry(thd, "HDR1X3")));
    EXPECT_TRUE(near(one_row["1"].x, one_row["2"].x) && near(one_row["1"].y - one_row["2"].y, 0.1));
    auto two_rows = lib_text::by_pin(lib_text::pads(entry(thd, "HDR2X5")));
    EXPECT_EQ(two_rows.size(), 10u);
    EXPECT_TRUE(near(two_rows["2"].x - two_rows["1"].x, 0.1) && near(two_rows["2"].y, two_rows["1"].y));
    EXPECT_TRUE(near(two_rows["1"].y - two_rows["3"].y, 0.1) && near(two_rows["3"].x, two_rows["1"].x));
    EXPECT_TRUE(near(two_rows["10"].x, -two_rows["1"].x) && near(two_rows["10"].y, -two_rows["1"].y));
    EXPECT_EQ(lib_text::pads(entry(thd, "HDR1X40")).size(), 40u);
    EXPECT_EQ(lib_text::pads(entry(thd, "HDR2X40")).size(), 80u);
}

TEST(Libraries, FootprintsCarryReferenceOnSilkAndValueOnTheDrawingLayer) {
    for (const char* f : {"THD.LIB", "SMD.LIB"}) {
        for (const Entry& e : library(f)) {
            SCOPED_TRACE(e.name);
            std::multiset<std::string> seen;
            for (const lib_text::Text& t : lib_text::texts(e)) {
                seen.insert(t.layer + " " + t.text);
            }
            EXPECT_EQ(seen, (std::multiset<std::string>{"ST &1", "DA &2"}));
            std::vector<std::string> strokes = lib_text::layers_of(e, '1'), arcs = lib_text::layers_of(e, '2');
            strokes.insert(strokes.end(), arcs.begin(), arcs.end());
            EXPECT_GT(std::count(strokes.begin(), strokes.end(), "ST"), 0); // an outline on silk
            EXPECT_GE(std::count(strokes.begin(), strokes.end(), "DA"), 2); // the body on the drawing layer
            for (char kind : {'1', '2'}) {
                for (const std::string& l : lib_text::layers_of(e, kind)) {
                    EXPECT_TRUE(l == "ST" || l == "DA") << l;
                }
            }
        }
    }
}

TEST(Libraries, SymbolsHavePinsOnTheGridAndBodiesOnTheSymbolLayer) {
    for (const Entry& e : library("SCHEM.LIB")) {
        SCOPED_TRACE(e.name);
        std::vector<Pad> ps = lib_text::pads(e);
        EXPECT_GE(ps.size(), 2u);
        std::set<std::string> pins;
        for (const Pad& p : ps) {
            EXPECT_EQ(p.layer, "2");
            EXPECT_EQ(p.type, 0);
            EXPECT_TRUE(pins.insert(p.pin).second) << p.pin;
            EXPECT_NE(p.pin, "0");
            double gx = p.x / 0.1, gy = p.y / 0.1;
            EXPECT_TRUE(near(gx, std::round(gx), 1e-6) && near(gy, std::round(gy), 1e-6)) << p.x << "," << p.y;
        }
        for (char kind : {'1', '2', '4'}) {
            for (const std::string& l : lib_text::layers_of(e, kind)) {
                EXPECT_EQ(l, "1");
            }
        }
        EXPECT_GE(lib_text::layers_of(e, '1').size() + lib_text::layers_of(e, '2').size(), 3u);
        std::multiset<std::string> seen;
        for (const lib_text::Text& t : lib_text::texts(e)) {
            seen.insert(t.text);
        }
        EXPECT_EQ(seen, (std::multiset<std::string>{"&1", "&2"}));
    }
    // Pin numbers follow the usual packages: a diode's cathode is pin 1, an op-amp's output pin 6.
    std::vector<Entry> sch = library("SCHEM.LIB");
    auto diode = lib_text::by_pin(lib_text::pads(entry(sch, "DIODE")));
    EXPECT_GT(diode["1"].x, diode["2"].x);
    auto opamp = lib_text::by_pin(lib_text::pads(entry(sch, "OPAMP")));
    EXPECT_EQ(opamp.size(), 5u);
    EXPECT_GT(opamp["6"].x, 0);
}

TEST(Libraries, ReadAndSaveThroughTheBatchToolUnchanged) {
    Scratch s;
    const std::map<std::string, std::string> kinds = {
        {"THD.LIB", "board or drawing"}, {"SMD.LIB", "board or drawing"}, {"SCHEM.LIB", "schematic"}};
    for (const char* f : kFiles) {
        SCOPED_TRACE(f);
        std::string in = source(std::string("share/LIBRARY/") + f);
        EXPECT_EQ(slurp(in).rfind("TRAZEL Version 4.0 -- Data File.\r\n", 0), 0u);
        Result info = run(s, "info " + quote(in));
        ASSERT_EQ(info.status, 0) << info.err;
        EXPECT_EQ(info.err, "");
        EXPECT_NE(info.out.find("Kind:    " + kinds.at(f)), std::string::npos) << info.out;
        size_t row = info.out.find("  Component ");
        ASSERT_NE(row, std::string::npos) << info.out;
        EXPECT_EQ(std::strtoul(info.out.c_str() + row + 12, nullptr, 10), library(f).size()) << info.out;

        // Saved again under a library name, every record comes back as it was: numbers, order and
        // the symbolic layers are already in the writer's own form.
        Result conv = run(s, "convert " + quote(in) + " " + quote(s / f));
        ASSERT_EQ(conv.status, 0) << conv.err;
        auto records = [](const std::string& text) { return text.substr(text.find("Primary Data File:")); };
        EXPECT_TRUE(records(slurp(s / f)) == records(slurp(in)));
    }
}

TEST(Libraries, SymbolicLayersLandOnSilkCopperAndAssemblyOfABoard) {
    Scratch s;
    std::vector<Entry> thd = library("THD.LIB"), smd = library("SMD.LIB");
    // The four-layer template numbers its layers differently from the libraries' own table.
    for (auto [tmpl, silk, copper, assembly] :
         {std::tuple<const char*, const char*, const char*, const char*>{"Size_100x80mm.pcb", "1", "4", "9"},
          {"Size_160x100mm_4layer.pcb", "1", "4", "11"}}) {
        SCOPED_TRACE(tmpl);
        std::string header = lib_text::template_header(slurp(source(std::string("share/TEMPLATE/") + tmpl)));
        ASSERT_FALSE(header.empty());
        std::string board = lib_text::board(header, {{&entry(thd, "DIP8"), 1, 1}, {&entry(smd, "SOIC8"), 2, 1}});
        spit(s / "in.pcb", board);
        Result r = run(s, "convert " + quote(s / "in.pcb") + " " + quote(s / "out.pcb"));
        ASSERT_EQ(r.status, 0) << r.err;
        std::vector<Entry> placed = lib_text::entries(slurp(s / "out.pcb"));
        ASSERT_EQ(placed.size(), 2u);
        for (const Entry& e : placed) {
            SCOPED_TRACE(e.name);
            for (const lib_text::Text& t : lib_text::texts(e)) {
                EXPECT_EQ(t.layer, t.text == "&1" ? silk : assembly) << t.text;
            }
            for (const Pad& p : lib_text::pads(e)) {
                EXPECT_EQ(p.layer, e.name == "DIP8" ? "0" : copper);
            }
            for (const std::string& l : lib_text::layers_of(e, '1')) {
                EXPECT_TRUE(l == silk || l == assembly) << l;
            }
        }
        // The placed parts keep their geometry: pin 1 of the DIP at (1 - 0.15, 1 + 0.15).
        auto dip = lib_text::by_pin(lib_text::pads(*lib_text::find(placed, "DIP8")));
        EXPECT_TRUE(near(dip["1"].x, 0.85) && near(dip["1"].y, 1.15));
    }
}

TEST(Libraries, SilkStaysOffThePads) {
    // Silk over copper is lost in manufacture and smears the solder joints; every silk stroke keeps
    // a tenth of a millimetre plus its half width from every pad.
    for (const char* f : {"THD.LIB", "SMD.LIB"}) {
        for (const Entry& e : library(f)) {
            SCOPED_TRACE(e.name);
            std::vector<Pad> ps = lib_text::pads(e);
            for (const std::string& l : e.members) {
                std::vector<std::string> r = lib_text::split(l);
                if (l[0] != '1' || r[1] != "ST" || r.size() < 7) {
                    continue;
                }
                double w = lib_text::inches(r[2]);
                double ax = lib_text::inches(r[3]), ay = lib_text::inches(r[4]);
                double bx = lib_text::inches(r[5]), by = lib_text::inches(r[6]);
                for (const Pad& p : ps) {
                    // Distance from the stroke to the pad rectangle, by walking the stroke finely.
                    double best = 1e9;
                    for (int i = 0; i <= 200; ++i) {
                        double x = ax + (bx - ax) * i / 200, y = ay + (by - ay) * i / 200;
                        double dx = std::max(0.0, std::abs(x - p.x) - p.w / 2);
                        double dy = std::max(0.0, std::abs(y - p.y) - p.h / 2);
                        best = std::min(best, std::hypot(dx, dy));
                    }
                    EXPECT_GE(best - w / 2, 0.1 * kMm) << l << " near pin " << p.pin;
                }
            }
        }
    }
}
