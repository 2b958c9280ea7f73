// Gerber X2 attributes, millimetre output and true arcs: hand-worked lines of each, and the file functions
// of a typical row set.
#include <algorithm>

#include "cam/gerber_x2.h"
#include "cam_fixture.h"
#include "platform/version.h"

using namespace camtest;
using namespace trazel::cam;

namespace {

const Coord kIn = 65536;

struct X2 : Board {
    // The lines of one Gerber file written with the given style.
    std::vector<std::string> styled(std::string_view directive, bool x2, bool metric, bool arcs) {
        cam::PlotContext ctx = prepare();
        ctx.style.x2 = x2;
        ctx.style.metric = metric;
        ctx.style.true_arcs = arcs;
        cam::TextOut out;
        cam::write_gerber_file(ctx, row(directive), "board.top", out);
        return split_lines(out.data);
    }
    // The lines from the first one equal to `first` on, `n` of them.
    static std::vector<std::string> from(const std::vector<std::string>& l, const std::string& first, size_t n) {
        auto it = std::find(l.begin(), l.end(), first);
        EXPECT_NE(it, l.end()) << first;
        return std::vector<std::string>(it,
                                        it + static_cast<long>(std::min<size_t>(n, static_cast<size_t>(l.end() - it))));
    }
};

} // namespace

TEST_F(X2, TypicalRowSetGetsItsFileFunctionsAndPolarity) {
    model::ApplyDirective(s(), "-y16:00AAAAAA,00000000,7,16,Board Outline");
    for (const char* d :
         {"-dy", "-dyTSS:6,1", "-dyTSM:2,2", "-dyTOP:0,3", "-dyBOT:8,12", "-dyGND:1,4", "-dyTSP:3,5", "-dyBSM:10,13",
          "-dyBSS:14,14", "-dyDRL:4", "-dySYM:5,15", "-dyLST:7", "-dyDWG:6,15", "-dyOUT:6,16"}) {
        model::ApplyDirective(s(), d);
    }
    // Copper top to bottom: TOP on layer 3, the GND plane on layer 4, BOT on the bottom layer 12.
    EXPECT_EQ(copper_layer_count(s()), 3);
    const char* want[] = {"Legend,Top", "Soldermask,Top", "Copper,L1,Top", "Copper,L3,Bot",  "Copper,L2,Inr",
                          "Paste,Top",  "Soldermask,Bot", "Legend,Bot",    "Plated,1,3,PTH", "Drillmap",
                          "",           "Other,Drawing",  "Profile,NP"};
    for (size_t i = 0; i < std::size(want); ++i) {
        EXPECT_EQ(x2_file_function(s(), s().gerber[i]), want[i]) << i;
    }
    EXPECT_EQ(x2_file_polarity(s().gerber[4]), "Negative");
    EXPECT_EQ(x2_file_polarity(s().gerber[2]), "Positive");
    // A tool set of non-plated holes only makes the drill file a non-plated one.
    ToolTable tools;
    tools.add_hit(mil(125), true);
    EXPECT_EQ(x2_file_function(s(), s().gerber[8], &tools), "NonPlated,1,3,NPTH");
    tools.add_hit(mil(35), false);
    EXPECT_EQ(x2_file_function(s(), s().gerber[8], &tools), "Plated,1,3,PTH");

    // The header of the copper file: format, unit, then the file attributes.
    std::vector<std::string> l = styled("-dyBOT:8,12", true, false, false);
    ASSERT_GE(l.size(), 6u);
    EXPECT_EQ(l[0], "%FSLAX24Y24*%");
    EXPECT_EQ(l[1], "%MOIN*%");
    EXPECT_EQ(l[2], std::string("%TF.GenerationSoftware,TRAZEL,trazel,") + platform::program_version() + "*%");
    EXPECT_EQ(l[3], "%TF.CreationDate,2024-03-07T14:05:00+00:00*%");
    EXPECT_EQ(l[4], "%TF.FileFunction,Copper,L3,Bot*%");
    EXPECT_EQ(l[5], "%TF.FilePolarity,Positive*%");
}

TEST_F(X2, TurnedRectangularPadIsAFlashedOutlineWithItsFunctionAndObjects) {
    // A 0.1-inch square surface pad (6554 units) turned 45 degrees, pin 3 of U7, on the Signal "A,B".
    Ref u7 = model::make_component(ring(), 0, 0, "R0805\x7FU7");
    Ref p = pad(3, 6, kIn, kIn, mil(100), mil(100), 0, 8192, model::member_ring(u7));
    model::SetPin(p, "3");
    model::AttachSignal(p, "A,B");
    ASSERT_TRUE(model::close_component(u7));
    std::vector<std::string> l = styled("-dyTOP:0,3", true, false, false);
    // Corners on the axes at half the diagonal: cos 45 = 46341/65536, 2 * 6554 * 46341 / 65536 = 9268.8,
    // rounded 9269 half units = 0.0707174 inch, written as 0.070717.
    std::vector<std::string> want = {
        "%TO.N,A\\u002CB*%",
        "%TO.C,U7*%",
        "%TO.P,U7,3*%",
        "%TA.AperFunction,SMDPad,CuDef*%",
        "%AMTR10*4,1,4,0.0,-0.070717,0.070717,0.0,0.0,0.070717,-0.070717,0.0,0.0,-0.070717,0*%",
        "%ADD10TR10*%",
        "D10*",
        "X10000Y10000D3*",
        "%TD*%",
        "%TA.AperFunction,NonMaterial*%",
        "%ADD11C,.0100*%",
        "D11*"};
    EXPECT_EQ(from(l, want[0], want.size()), want);
    EXPECT_EQ(l.back(), "M02*");
    // Plain output keeps painting it with the 0.002-inch aperture.
    Trace plain(gerber("-dyTOP:0,3"));
    EXPECT_TRUE(plain.flashes.empty());
}

TEST_F(X2, OneSizeServingTwoFunctionsGetsTwoCodes) {
    Ref t = line(3, mil(10), 0, 0, kIn, 0);
    model::AttachSignal(t, "GND");
    pad(0, 1, kIn, kIn, mil(10), mil(10), mil(5)); // a through-hole pad of the same size
    std::vector<std::string> l = styled("-dyTOP:0,3", true, false, false);
    std::vector<std::string> defs;
    for (const std::string& s : l) {
        if (s.rfind("%TA", 0) == 0 || s.rfind("%ADD", 0) == 0 || s.rfind("%TO", 0) == 0 || s == "%TD*%") {
            defs.push_back(s);
        }
    }
    std::vector<std::string> want = {"%TO.N,GND*%",
                                     "%TA.AperFunction,Conductor*%",
                                     "%ADD10C,.0100*%",
                                     "%TD*%",
                                     "%TA.AperFunction,ComponentPad*%",
                                     "%ADD11C,.0100*%",
                                     "%TA.AperFunction,NonMaterial*%",
                                     "%ADD12C,.0100*%"};
    ASSERT_GE(defs.size(), want.size());
    defs.resize(want.size());
    EXPECT_EQ(defs, want);
    Trace tr(l);
    EXPECT_TRUE(tr.errors.empty());
}

TEST_F(X2, ArcsAreCounterClockwiseWithCentreOffsets) {
    // A quarter from 0 to 90 degrees and a full circle, both centred at (1, 1) inch with radius 0.5 inch.
    arc(3, mil(10), kIn, kIn, kIn / 2, 0, 16384);
    arc(3, mil(10), kIn, kIn, kIn / 2, 0, 0);
    line(3, mil(10), 2 * kIn, 0, 3 * kIn, 0);
    std::vector<std::string> l = styled("-dyTOP:0,3", false, false, true);
    // The full circle is two halves; the straight line after them switches back to G01.
    std::vector<std::string> want = {"X15000Y10000D2*",
                                     "G75*",
                                     "G03*",
                                     "X10000Y15000I-5000J0D01*",
                                     "X15000Y10000D2*",
                                     "X5000Y10000I-5000J0D01*",
                                     "X15000Y10000I5000J0D01*",
                                     "X20000Y0D2*",
                                     "G01*",
                                     "X30000D1*"};
    EXPECT_EQ(from(l, want[0], want.size()), want);
    // Without the option the same arcs are chords: no arc codes at all.
    std::vector<std::string> chords = gerber("-dyTOP:0,3");
    EXPECT_EQ(std::count_if(chords.begin(), chords.end(), [](const std::string& s) { return s[0] == 'G'; }), 0);
}

TEST_F(X2, MetricCoordinatesApertureSizesAndDrillFile) {
    // 25.4 mm per 65536 units: 1 unit is 387.5732 nm, 3 units 1162.72 nm.
    EXPECT_EQ(gerber_nanometres(65536), 25400000);
    EXPECT_EQ(gerber_nanometres(1), 388);
    EXPECT_EQ(gerber_nanometres(-3), -1163);
    // Every unit value of an inch comes within half a nanometre of the exact length.
    int64_t worst = 0;
    for (int64_t v = 0; v <= 65536; ++v) {
        worst = std::max(worst, model::abs64(v * 396875 - gerber_nanometres(v) * 1024));
    }
    EXPECT_LE(worst, 512);

    pad(0, 1, kIn, kIn / 2, mil(60), mil(60), mil(35));
    pad(0, 1, kIn / 16, kIn / 2, mil(60), mil(60), mil(35));
    std::vector<std::string> l = styled("-dyTOP:0,3", false, true, false);
    ASSERT_GE(l.size(), 3u);
    EXPECT_EQ(l[0], "%FSLAX46Y46*%");
    EXPECT_EQ(l[1], "%MOMM*%");
    // The label's 0.010 inch is 655 units = 253860.47 nm.
    EXPECT_NE(std::find(l.begin(), l.end(), "%ADD13C,0.25386*%"), l.end());
    EXPECT_NE(std::find(l.begin(), l.end(), "X25400000Y12700000D3*"), l.end());

    // The drill file always has its header in millimetres; 1/16 inch is 1.5875 mm exactly.
    cam::PlotContext ctx = prepare();
    ctx.style.metric = true;
    cam::TextOut out;
    write_excellon(ctx, out);
    std::vector<std::string> d = split_lines(out.data);
    std::vector<std::string> want = {"M48", "METRIC,LZ", ";TYPE=PLATED", "T1C0.889",
                                     "%",   "T1",        "X25.4Y12.7",   "X1.5875"};
    ASSERT_GE(d.size(), want.size());
    d.resize(want.size());
    EXPECT_EQ(d, want);
}
