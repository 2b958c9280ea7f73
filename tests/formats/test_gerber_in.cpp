// The Gerber reader: coordinate forms and units, the layer it takes, Lines, Pads and flash ends, the
// mended faults, arcs and regions, step and repeat, net names, clear polarity and the skip report.
#include <cmath>
#include <fstream>
#include <sstream>

#include "file_text.h"
#include "formats_fixture.h"

using namespace fmttest;

namespace {

using test_files::slurp;

} // namespace

// --- Coordinates, units and flashes ---------------------------------------------------------------

TEST_F(Import, LeadingZeroFormatAndFlashEnds) {
    // 10000 and 5000 in 2.4 are 1.0 and 0.5 inch; after a flash a block with only a new X moves.
    ASSERT_EQ(gerber(x_file("%ADD10C,.0500*%\nD10*\nX10000Y5000D03*\nX20000*\nX30000D03*\n")), 'G');
    auto p = pads();
    ASSERT_EQ(p.size(), 2u);
    EXPECT_EQ(n(p[0]).pad.x0, kIn);
    EXPECT_EQ(n(p[0]).pad.y0, kIn / 2);
    EXPECT_EQ(n(p[1]).pad.x0, 3 * kIn);
    EXPECT_EQ(n(p[0]).size, 5); // a round flash is an oval surface pad
    EXPECT_EQ(n(p[0]).pad.width, mil(50));
    EXPECT_EQ(n(p[0]).pad.height, mil(50));
    EXPECT_TRUE(lines().empty());
}

TEST_F(Import, TrailingZeroFormatCountsFromTheLeft) {
    ASSERT_EQ(gerber(x_file("%ADD10C,.01*%\nD10*\nX1Y15D03*\n", "%FSTAX24Y24*%\n")), 'G');
    auto p = pads();
    ASSERT_EQ(p.size(), 1u);
    EXPECT_EQ(n(p[0]).pad.x0, 10 * kIn);
    EXPECT_EQ(n(p[0]).pad.y0, 15 * kIn);
}

TEST_F(Import, IncrementalCoordinatesAddUp) {
    ASSERT_EQ(gerber(x_file("%ADD10C,.01*%\nD10*\nX10000Y10000D02*\nX5000D01*\nY5000D01*\n", "%FSLIX24Y24*%\n")), 'G');
    auto l = lines();
    ASSERT_EQ(l.size(), 2u);
    EXPECT_EQ(n(l[0]).line.x1, kIn);
    EXPECT_EQ(n(l[0]).line.x2, kIn * 3 / 2);
    EXPECT_EQ(n(l[1]).line.y2, kIn * 3 / 2);
}

TEST_F(Import, MillimetresApplyToCoordinatesAndSizesAndSwitchBack) {
    // 25.4 mm is one inch; a 0.5 mm aperture is 1290 units.  G70 and %MOIN return to inches, G71 to
    // millimetres again, without touching the digit format.
    ASSERT_EQ(gerber(x_file("%MOMM*%\n%ADD10C,0.5*%\nD10*\nX254000Y0D03*\n"
                            "G70*\nX10000Y0D03*\n"
                            "G71*\nX0Y254000D03*\n"
                            "%MOIN*%\n%ADD11C,.05*%\nD11*\nX20000Y0D03*\n")),
              'G');
    auto p = pads();
    ASSERT_EQ(p.size(), 4u);
    EXPECT_NEAR(n(p[0]).pad.x0, kIn, 1);
    EXPECT_NEAR(n(p[0]).pad.width, 1290, 1);
    EXPECT_EQ(n(p[1]).pad.x0, kIn);
    EXPECT_NEAR(n(p[2]).pad.y0, kIn, 1);
    EXPECT_EQ(n(p[3]).pad.x0, 2 * kIn);
    EXPECT_EQ(n(p[3]).pad.width, mil(50));
}

TEST_F(Import, UnitsDeclaredBeforeTheFormatStillCount) {
    // Mend: %MOMM before %FS (as some tools write it) is still millimetres.
    ASSERT_EQ(gerber("%MOMM*%\n%FSLAX34Y34*%\n%ADD10C,1.0*%\nD10*\nX254000Y0D03*\nM02*\n"), 'G');
    auto p = pads();
    ASSERT_EQ(p.size(), 1u);
    EXPECT_NEAR(n(p[0]).pad.x0, kIn, 1);
    EXPECT_NEAR(n(p[0]).pad.width, 2580, 1);
}

TEST_F(Import, UserOriginShiftsEveryPoint) {
    d->setup.layers[0].name[0] = 'P'; // keep the Document's own setup
    d->setup.origin_x = kIn;
    d->setup.origin_y = -kIn;
    ASSERT_EQ(gerber(x_file("%ADD10C,.01*%\nD10*\nX0Y0D03*\n")), 'G');
    auto p = pads();
    ASSERT_EQ(p.size(), 1u);
    EXPECT_EQ(n(p[0]).pad.x0, kIn);
    EXPECT_EQ(n(p[0]).pad.y0, -kIn);
}

TEST_F(Import, FlashShapesAndZeroSizes) {
    ASSERT_EQ(gerber(x_file("%ADD10R,.06X.03*%\n%ADD11O,.06X.03*%\n%ADD12C,0*%\n%ADD13C,1.5*%\n"
                            "D10*\nX0Y0D03*\nD11*\nX10000D03*\nD12*\nX20000D03*\nD13*\nX30000D03*\n")),
              'G');
    auto p = pads();
    ASSERT_EQ(p.size(), 3u);
    EXPECT_EQ(n(p[0]).size, 6); // rectangle: rectangular surface pad
    EXPECT_EQ(n(p[0]).pad.width, mil(60));
    EXPECT_EQ(n(p[0]).pad.height, mil(30));
    // Mend: an oval flash is an oval surface pad, not a through-hole pad on every copper layer.
    EXPECT_EQ(n(p[1]).size, 5);
    EXPECT_EQ(n(p[2]).size, 2); // zero sizes: a 1/32 inch pad
    EXPECT_EQ(n(p[2]).pad.width, 2048);
    // 1.5 inch does not fit a Pad: a round Solid instead.
    auto s = solids();
    ASSERT_EQ(s.size(), 1u);
    EXPECT_NEAR(n(s[0]).line.x2 - n(s[0]).line.x1, kIn * 3 / 2, 140);
}

TEST_F(Import, LinesTakeTheApertureWidthWithAFloor) {
    ASSERT_EQ(gerber(x_file("%ADD10C,.012*%\n%ADD11C,.00001*%\nD10*\nX0Y0D02*\nX10000D01*\nY10000*\n"
                            "D11*\nX0D01*\nD02*\nX5000Y5000*\n")),
              'G');
    auto l = lines();
    ASSERT_EQ(l.size(), 3u);
    EXPECT_EQ(n(l[0]).size, mil(12));
    EXPECT_EQ(n(l[1]).line.y2, kIn); // draw mode stays on for coordinate-only blocks
    EXPECT_EQ(n(l[2]).size, 655);    // below 3 units: 0.01 inch
}

TEST_F(Import, ADrawThatDoesNotMoveLeavesADot) {
    // Mend: a D01 in place draws a dot; a block with no D code and no move draws nothing.
    ASSERT_EQ(gerber(x_file("%ADD10C,.02*%\nD10*\nX10000Y10000D02*\nX10000Y10000D01*\nX10000Y10000*\n")), 'G');
    auto l = lines();
    ASSERT_EQ(l.size(), 1u);
    EXPECT_EQ(n(l[0]).line.x1, n(l[0]).line.x2);
    EXPECT_EQ(n(l[0]).line.y1, kIn);
}

// --- Layers -------------------------------------------------------------------------------------

TEST_F(Import, LayerNamedAfterTheFileAndTypedByItsExtension) {
    file = "C:\\cam\\BOARD.BOT";
    ASSERT_EQ(gerber(x_file("%ADD10C,.01*%\nD10*\nX0Y0D03*\n")), 'G');
    EXPECT_EQ(stats.layer, 1);
    const auto& e = d->setup.layers[1];
    EXPECT_STREQ(e.name, "BOARD.BOT");
    EXPECT_EQ(e.type, model::kLayerCopper);
    EXPECT_EQ(e.plot, 0u);
    EXPECT_STREQ(d->setup.layers[0].name, "Pad Master"); // the import defaults came first
    EXPECT_EQ(n(pads()[0]).layer, 1);

    // The next file takes the next free layer; a drawing extension gives a drawing layer, and the
    // copper names are matched in any case (our writer names files in lower case).
    file = "/cam/sheet.dwg";
    ASSERT_EQ(gerber(x_file("%ADD10C,.01*%\nD10*\nX0Y0D03*\n")), 'G');
    EXPECT_EQ(stats.layer, 2);
    EXPECT_EQ(d->setup.layers[2].type, model::kLayerDrawing);
    for (const char* name : {"b.top", "b.bot", "b.ml3", "B.Ml1"}) {
        file = name;
        ASSERT_EQ(gerber(x_file("%ADD10C,.01*%\nD10*\nX0Y0D03*\n")), 'G');
        EXPECT_EQ(d->setup.layers[static_cast<size_t>(stats.layer)].type, model::kLayerCopper) << name;
    }
}

// --- Recognition and the format question ---------------------------------------------------------

TEST_F(Import, RecognitionOfExtendedAndOlderFiles) {
    std::string own = slurp(std::string(TRAZEL_SOURCE_DIR) + "/tests/data/small_board.top");
    auto r = formats::recognise_gerber(own);
    EXPECT_TRUE(r.accepted);
    EXPECT_TRUE(r.format_known);
    EXPECT_FALSE(formats::recognise_gerber("Hello world, this is a letter.\n").accepted);
    EXPECT_FALSE(formats::gerber_accepts(own, 'I')); // another forced code
    EXPECT_TRUE(formats::gerber_accepts("anything", 'G'));

    // Mend: a long head of attributes and macros before the first coordinate is looked through.
    std::string x2_head = "%TF.GenerationSoftware,Some,Tool,6.0*%\n%TF.FileFunction,Copper,L1,Top*%\n"
                          "%FSLAX46Y46*%\nG04 Gerber Fmt 4.6, Leading zero omitted, Abs format (unit mm)*\n%MOMM*%\n";
    while (x2_head.size() < 9000) {
        x2_head += "%TA.AperFunction,SMDPad,CuDef*%\n%ADD10RoundRect,0.250000X-0.450000X-0.262500X0.450000*%\n%TD*%\n";
    }
    for (int k = 0; k < 20; ++k) {
        x2_head += "D10*\nX1000000Y1000000D03*\n";
    }
    EXPECT_TRUE(formats::recognise_gerber(x2_head).accepted);
}

TEST_F(Import, OlderFileAsksForItsFormat) {
    std::string rs274d;
    for (int k = 0; k < 10; ++k) {
        rs274d += "D10*\nX" + std::to_string(1000 * k) + "Y1000D03*\n";
    }
    rs274d += "M02*\n";
    int asked = 0, sounds = 0, apertures = 0;
    ask.error_sound = [&] { ++sounds; };
    ask.gerber_import = [&](formats::GerberImportForm& f) {
        ++asked;
        EXPECT_EQ(f.decimals, 4); // the initial value
        f.decimals = 3;
        return true;
    };
    ask.aperture = [&](formats::ApertureForm& f) {
        ++apertures;
        EXPECT_EQ(f.dcode, 10);
        f.width = 20;
        f.shape = formats::kApertureSquare;
        return true;
    };
    ASSERT_EQ(gerber(rs274d, 0), 'G');
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(sounds, 1);
    EXPECT_EQ(apertures, 1); // defined by the answer, not asked again
    auto p = pads();
    ASSERT_EQ(p.size(), 10u);
    EXPECT_EQ(n(p[1]).pad.x0, kIn); // 1000 with three decimals
    EXPECT_EQ(n(p[1]).size, 6);
    EXPECT_EQ(n(p[1]).pad.width, mil(20));
    EXPECT_EQ(n(p[1]).pad.height, mil(20));

    // Cancelling the format question declines the file and leaves the Document alone.
    ask.gerber_import = [](formats::GerberImportForm&) { return false; };
    size_t before = pads().size();
    EXPECT_EQ(gerber(rs274d, 0), 0);
    EXPECT_EQ(pads().size(), before);
    EXPECT_FALSE(d->setup.layers[2].in_use());
}

TEST_F(Import, UndefinedAperturesWithDefaultsOrCancel) {
    // "Use defaults" stops the questions; the aperture keeps zero sizes, so flashes are 1/32 inch pads.
    int asked = 0;
    ask.aperture = [&](formats::ApertureForm& f) {
        ++asked;
        f.defaults = true;
        return true;
    };
    ASSERT_EQ(gerber(x_file("D10*\nX0Y0D03*\nD11*\nX10000Y0D03*\nD12*\nX0Y0D02*\nX10000D01*\n")), 'G');
    EXPECT_EQ(asked, 1);
    auto p = pads();
    ASSERT_EQ(p.size(), 2u);
    EXPECT_EQ(n(p[0]).size, 2);
    EXPECT_EQ(n(p[0]).pad.width, 2048);
    EXPECT_EQ(n(lines()[0]).size, 655);

    // Cancel keeps the aperture undefined and asks again at the next selection.
    asked = 0;
    ask.aperture = [&](formats::ApertureForm&) {
        ++asked;
        return false;
    };
    ASSERT_EQ(gerber(x_file("D10*\nX0Y0D03*\nD10*\nX0Y0D03*\n")), 'G');
    EXPECT_EQ(asked, 2);
}

TEST_F(Import, ScaleCheckShrinksAFileOfUnknownFormat) {
    // Forced without any format: whole inches.  300 inches is beyond 24 and shrinks by ten.
    ASSERT_EQ(gerber("D10*\nX300Y250D03*\nX20Y10D03*\nM02*\n"), 'G');
    EXPECT_TRUE(stats.scaled_down);
    auto p = pads();
    ASSERT_EQ(p.size(), 2u);
    EXPECT_EQ(n(p[0]).pad.x0, 30 * kIn);
    EXPECT_EQ(n(p[1]).pad.x0, 2 * kIn);

    ASSERT_EQ(gerber("D10*\nX20Y10D03*\nM02*\n"), 'G');
    EXPECT_FALSE(stats.scaled_down);
    EXPECT_EQ(n(pads()[2]).pad.x0, 20 * kIn);
}

// --- Mended faults ---------------------------------------------------------------------------------

TEST_F(Import, ParameterBlocksAreReadByTheirCode) {
    // A layer name containing "ADD" defines nothing, an attribute does not change the format, and an
    // aperture named after a macro is the macro, not a rectangle.
    ASSERT_EQ(gerber("%TF.FileFunction,Copper,L1,Top*%\n%FSLAX24Y24*%\n%LNPADDING*%\n"
                     "%AMRotRect*21,1,$1,$2,0,0,$3*%\n%ADD11RotRect,0.1X0.05X90*%\n"
                     "%ADD12RoundRect,0.375X-0.375*%\n"
                     "D11*\nX10000Y10000D03*\nD12*\nX20000Y10000D03*\nM02*\n"),
              'G');
    auto p = pads();
    ASSERT_EQ(p.size(), 1u);
    EXPECT_EQ(n(p[0]).pad.x0, kIn); // still 2.4
    EXPECT_EQ(n(p[0]).size, 6);
    EXPECT_EQ(n(p[0]).pad.width, mil(100));
    EXPECT_EQ(n(p[0]).pad.height, mil(50));
    EXPECT_EQ(n(p[0]).pad.angle, 16384);
    EXPECT_TRUE(reported("undefined macro RoundRect"));
    EXPECT_TRUE(reported("flash of undefined macro RoundRect"));
}

TEST_F(Import, HighDCodesAreKeptApartAndHugeNumbersRefused) {
    ASSERT_EQ(gerber(x_file("%ADD3000C,.01*%\n%ADD3001C,.02*%\n%ADD2047C,.03*%\n"
                            "D3000*\nX0Y0D03*\nD3001*\nX10000D03*\nD2047*\nX20000D03*\n"
                            "%ADD99999999999C,.04*%\nX99999999999Y0D03*\n")),
              'G');
    auto p = pads();
    ASSERT_EQ(p.size(), 4u);
    EXPECT_EQ(n(p[0]).pad.width, mil(10));
    EXPECT_EQ(n(p[1]).pad.width, mil(20));
    EXPECT_EQ(n(p[2]).pad.width, mil(30));
    EXPECT_EQ(n(p[3]).pad.x0, 2 * kIn); // the X out of range is refused, the flash stays in place
    EXPECT_TRUE(reported("D code beyond 32 bits"));
    EXPECT_TRUE(reported("number beyond 32 bits"));
}

// --- Arcs and regions -----------------------------------------------------------------------------

TEST_F(Import, QuadrantModesGiveDifferentArcs) {
    // Multi-quadrant: I and J are signed offsets to the centre; start = end is a full circle.
    ASSERT_EQ(gerber(x_file("%ADD10C,.01*%\nD10*\nG75*\nX10000Y0D02*\nG03X0Y10000I-10000J0D01*\n"
                            "X0Y-10000D02*\nG03X0Y-10000I0J10000D01*\n"
                            "G02X10000Y-20000I0J-10000D01*\n")),
              'G');
    auto a = arcs();
    ASSERT_EQ(a.size(), 3u);
    EXPECT_EQ(n(a[0]).arc.x0, 0);
    EXPECT_EQ(n(a[0]).arc.radius, kIn);
    EXPECT_EQ(n(a[0]).arc.start, 0);
    EXPECT_EQ(n(a[0]).arc.sweep, 16384);
    EXPECT_EQ(n(a[0]).size, mil(10));
    EXPECT_EQ(n(a[1]).arc.y0, 0);
    EXPECT_EQ(n(a[1]).arc.sweep, 0); // the full circle
    // Clockwise from (0,-1) about (0,-2) to (1,-2): counter-clockwise from 0 to 90 degrees.
    EXPECT_EQ(n(a[2]).arc.y0, -2 * kIn);
    EXPECT_EQ(n(a[2]).arc.start, 0);
    EXPECT_EQ(n(a[2]).arc.sweep, 16384);
}

TEST_F(Import, SingleQuadrantPicksTheCentreFromUnsignedOffsets) {
    // G74: I and J without signs; the centre is the one that makes an arc of at most 90 degrees.  The
    // same full-circle block cannot be an arc here: it leaves a dot.
    ASSERT_EQ(gerber(x_file("%ADD10C,.01*%\nD10*\nG74*\nX10000Y0D02*\nG03X0Y10000I10000J0D01*\n"
                            "X0Y-10000D02*\nG03X0Y-10000I0J10000D01*\n")),
              'G');
    auto a = arcs();
    ASSERT_EQ(a.size(), 1u);
    EXPECT_EQ(n(a[0]).arc.x0, 0);
    EXPECT_EQ(n(a[0]).arc.y0, 0);
    EXPECT_EQ(n(a[0]).arc.sweep, 16384);
    ASSERT_EQ(lines().size(), 1u);
}

TEST_F(Import, RegionsWithArcEdgesBecomeSolids) {
    // A 2 x 2 inch square whose right side bulges out by a half circle of radius 1.
    ASSERT_EQ(gerber(x_file("G36*\nX0Y0D02*\nG01X20000Y0D01*\nG75*\nG03X20000Y20000I0J10000D01*\n"
                            "G01X0Y20000D01*\nX0Y0D01*\nG37*\n"
                            "G36*\nX50000Y0D02*\nX60000Y0D01*\nX60000Y10000D01*\nX50000Y0D02*\n"
                            "X50000Y-10000D01*\nX40000Y-10000D01*\nG37*\n")),
              'G');
    auto s = solids();
    ASSERT_EQ(s.size(), 3u); // D02 inside the second region starts its second contour
    EXPECT_TRUE(lines().empty());
    const model::Node& sq = n(s[0]);
    EXPECT_EQ(sq.line.x1, 0);
    EXPECT_NEAR(sq.line.x2, 3 * kIn, 1);
    // Every arc vertex lies on the circle and no chord strays more than 0.001 inch inside it.
    double cx = 2.0 * kIn, cy = 1.0 * kIn, r = kIn;
    std::vector<std::pair<double, double>> pts;
    for (Ref v = sq.link; v != model::kNone; v = n(v).link) {
        pts.emplace_back(n(v).line.x1, n(v).line.y1);
    }
    EXPECT_GT(pts.size(), 20u);
    for (size_t k = 0; k + 1 < pts.size(); ++k) {
        auto [x1, y1] = pts[k];
        auto [x2, y2] = pts[k + 1];
        if (x1 <= 2 * kIn || x2 <= 2 * kIn) {
            continue;
        }
        EXPECT_NEAR(std::hypot(x1 - cx, y1 - cy), r, 1.5);
        double mid = std::hypot((x1 + x2) / 2 - cx, (y1 + y2) / 2 - cy);
        EXPECT_GE(mid, r - 65.6);
    }
    EXPECT_EQ(model::vertex_count(s[1]), 3);
}

TEST_F(Import, OpenRegionIsClosedAndReported) {
    ASSERT_EQ(gerber(x_file("G36*\nX0Y0D02*\nX10000Y0D01*\nX10000Y10000D01*\n")), 'G');
    EXPECT_EQ(solids().size(), 1u);
    EXPECT_TRUE(reported("G36 region not closed by G37"));
}

// --- Step and repeat, nets, polarity ----------------------------------------------------------------

TEST_F(Import, StepAndRepeatCopiesTheBlock) {
    ASSERT_EQ(gerber(x_file("%ADD10C,.01*%\nD10*\n%SRX3Y2I1.0J0.5*%\nX0Y0D03*\nX0Y0D02*\nX1000D01*\n%SR*%\n"
                            "X50000Y50000D03*\n")),
              'G');
    auto p = pads();
    ASSERT_EQ(p.size(), 7u);
    EXPECT_EQ(lines().size(), 6u);
    std::vector<std::pair<Coord, Coord>> at;
    for (Ref r : p) {
        at.emplace_back(n(r).pad.x0, n(r).pad.y0);
    }
    std::sort(at.begin(), at.end());
    EXPECT_EQ(at[0], std::make_pair(Coord{0}, Coord{0}));
    EXPECT_EQ(at[1], std::make_pair(Coord{0}, kIn / 2));
    EXPECT_EQ(at[5], std::make_pair(2 * kIn, kIn / 2));
    EXPECT_EQ(at[6], std::make_pair(5 * kIn, 5 * kIn));
}

TEST_F(Import, StepAndRepeatAboveTheCapIsRefused) {
    ASSERT_EQ(gerber(x_file("%ADD10C,.01*%\nD10*\n%SRX1000Y1000I0.1J0.1*%\nX0Y0D03*\n%SR*%\n")), 'G');
    EXPECT_EQ(pads().size(), 1u);
    EXPECT_TRUE(reported("%SR above 65536 copies"));
}

TEST_F(Import, NetAttributeGivesItsSignal) {
    ASSERT_EQ(gerber(x_file("%ADD10C,.01*%\nD10*\n%TO.N,gnd*%\nX0Y0D03*\nX0Y0D02*\nX10000D01*\n%TD*%\n"
                            "X20000Y0D03*\n%TO.N,VCC,U1,1*%\n%TO.P,U1,1*%\nX30000Y0D03*\n")),
              'G');
    auto p = pads();
    ASSERT_EQ(p.size(), 3u);
    EXPECT_EQ(model::signal_name(model::item_signal(p[0])), "GND");
    EXPECT_EQ(model::signal_name(model::item_signal(lines()[0])), "GND");
    EXPECT_EQ(model::item_signal(p[1]), model::kNone);
    EXPECT_EQ(model::signal_name(model::item_signal(p[2])), "VCC");
}

TEST_F(Import, ClearObjectsAreNeverDrawnAsCopper) {
    ASSERT_EQ(gerber(x_file("%ADD10C,.05*%\nD10*\nX0Y0D03*\n%LPC*%\nX0Y0D03*\nX0Y0D02*\nX10000D01*\n"
                            "G36*\nX0Y0D02*\nX10000D01*\nY10000D01*\nG37*\n%LPD*%\nX20000Y0D03*\n"
                            "%IPNEG*%\n%OFA0B0*%\n%OFA1.0B0*%\nG55*\nG99*\n")),
              'G');
    EXPECT_EQ(pads().size(), 2u);
    EXPECT_TRUE(lines().empty());
    EXPECT_TRUE(solids().empty());
    ASSERT_TRUE(reported("%LPC clear object"));
    for (const auto& e : skipped) {
        if (e.construct == "%LPC clear object") {
            EXPECT_EQ(e.objects, 3);
            EXPECT_EQ(e.line, 6); // the first clear flash
            EXPECT_EQ(e.file, file);
        }
    }
    EXPECT_TRUE(reported("%IPNEG negative image"));
    EXPECT_TRUE(reported("%OF"));
    EXPECT_TRUE(reported("G99"));
    EXPECT_FALSE(reported("G55"));
    EXPECT_EQ(std::count_if(skipped.begin(), skipped.end(), [](const auto& e) { return e.construct == "%OF"; }), 1);
}

TEST_F(Import, MacroApertureShapesAtAnyAngle) {
    // A rotated centre line, an outline, a thermal and a cut-out: Pads at an angle, a Solid, four Arcs;
    // the cut-out is reported, not drawn.
    ASSERT_EQ(gerber(x_file("%AMTEST*0 a comment*$4=$1x2*21,1,$4,0.1,0.5,0,90*"
                            "4,1,3,0,0,0.2,0,0.2,0.2,0,0*7,0,0,0.4,0.2,0.05,0*1,0,0.05,0,0*%\n"
                            "%ADD20TEST,0.1*%\nD20*\nX10000Y10000D03*\n")),
              'G');
    auto p = pads();
    ASSERT_EQ(p.size(), 1u);
    EXPECT_EQ(n(p[0]).pad.x0, kIn);
    EXPECT_EQ(n(p[0]).pad.y0, kIn * 3 / 2);
    EXPECT_EQ(n(p[0]).pad.width, mil(200));
    EXPECT_EQ(n(p[0]).pad.angle, 16384);
    EXPECT_EQ(solids().size(), 1u);
    EXPECT_EQ(model::vertex_count(solids()[0]), 3);
    auto a = arcs();
    ASSERT_EQ(a.size(), 4u);
    EXPECT_EQ(n(a[0]).arc.radius, mil(150));
    EXPECT_EQ(n(a[0]).size, mil(100));
    EXPECT_TRUE(reported("exposure-off macro primitive"));
}

TEST_F(Import, PolygonApertureIsASolid) {
    ASSERT_EQ(gerber(x_file("%ADD10P,.1X6X0*%\nD10*\nX0Y0D03*\n")), 'G');
    auto s = solids();
    ASSERT_EQ(s.size(), 1u);
    EXPECT_EQ(model::vertex_count(s[0]), 6);
    EXPECT_EQ(n(s[0]).line.x2, mil(50));
}

TEST_F(Import, LongBlocksAndCommentsWithPercent) {
    // A comment may hold "%"; a block longer than 1000 characters is cut and the rest read on.
    std::string body = "G04 100% done*\n%ADD10C,.01*%\nD10*\nG04 " + std::string(1500, 'x') + "*\n";
    for (int k = 0; k < 400; ++k) {
        body += "G01";
    }
    body += "*\n";
    body += "X10000Y0D03*\n";
    ASSERT_EQ(gerber(x_file(body)), 'G');
    ASSERT_EQ(pads().size(), 1u);
    EXPECT_EQ(n(pads()[0]).pad.x0, kIn);
}

// --- Our own photoplots read back --------------------------------------------------------------------

TEST_F(Import, OwnPhotoplotReadsBack) {
    // tests/data/small_board.top is the `gerber` run of small_board.pcb (row "-dyTOP:0,3"): its pads are
    // the flashes, its track the one Line of width .012 from (1,1) to (2,1).
    std::string top = slurp(std::string(TRAZEL_SOURCE_DIR) + "/tests/data/small_board.top");
    ASSERT_FALSE(top.empty());
    file = "small_board.top";
    ASSERT_EQ(gerber(top, 0), 'G');
    EXPECT_TRUE(skipped.empty());
    auto p = pads();
    size_t flashes = 0;
    for (size_t at = 0; (at = top.find("D3*", at)) != std::string::npos; ++at) {
        ++flashes;
    }
    ASSERT_EQ(p.size(), flashes);
    EXPECT_EQ(n(p[0]).pad.x0, kIn);
    EXPECT_EQ(n(p[0]).pad.y0, kIn);
    EXPECT_EQ(n(p[1]).pad.x0, mil(1100));
    EXPECT_EQ(n(p[0]).pad.width, mil(60));
    EXPECT_EQ(n(p[0]).size, 5);
    bool track = false;
    for (Ref r : lines()) {
        const model::Node& l = n(r);
        track = track || (l.size == mil(12) && l.line.x1 == kIn && l.line.x2 == 2 * kIn && l.line.y1 == kIn);
    }
    EXPECT_TRUE(track);
    EXPECT_EQ(d->setup.layers[1].type, model::kLayerCopper);

    // The bottom file: its Solid arrives as the writer's fill strokes, all on the next layer.
    std::string bot = slurp(std::string(TRAZEL_SOURCE_DIR) + "/tests/data/small_board.bot");
    file = "small_board.bot";
    ASSERT_EQ(gerber(bot, 0), 'G');
    EXPECT_EQ(stats.layer, 2);
    EXPECT_GT(stats.lines, 50);
    EXPECT_EQ(stats.pads, 2);
}
