// The Excellon drill file, the tool table and the aperture listing.
#include <algorithm>

#include "cam_fixture.h"

using namespace camtest;
using namespace trazel::cam;

namespace {

const Coord kIn = 65536;

struct Drill : Board {
    std::vector<std::string> excellon(bool header = false) {
        PlotContext ctx = prepare();
        ctx.excellon_header = header;
        TextOut out;
        write_excellon(ctx, out);
        return split_lines(out.data);
    }
};

} // namespace

TEST_F(Drill, ToolsHolesAndNumberForms) {
    // 35-mil holes (2294 units) in 60-mil pads are plated; the same hole in a 30-mil pad is larger than
    // the pad, so it is non-plated and becomes a tool of its own after the plated one.  40 mil (2621)
    // is the third tool.
    pad(0, 1, mil(1250), mil(100), mil(60), mil(60), mil(35));
    pad(3, 2, 2 * kIn, kIn, mil(40), mil(40), mil(40));        // hole = pad: still plated
    pad(0, 1, mil(1250), mil(500), mil(60), mil(60), mil(35)); // same X: only Y is written
    pad(0, 3, -655, -655, mil(30), mil(30), mil(35));          // non-plated, at -0.01 inch
    pad(0, 1, 0, mil(100), mil(60), mil(60), mil(35));
    pad(3, 5, kIn, kIn, mil(40), mil(40), mil(35));    // surface pads have no hole, whatever the field says
    pad(0, 1, kIn, kIn, mil(60), mil(60), 2);          // a hole below 3 units is no hole
    pad(0, 1, 0, mil(100), mil(60), mil(60), mil(35)); // drilled again on the very same spot
    std::vector<std::string> want = {"T1C0.035",     "T2C0.035NP", "T3C0.040", "%",       "T1",
                                     "X0125Y001",    "Y005",       "X00Y001",  "X00Y001", "T2",
                                     "X-0001Y-0001", "T3",         "X02Y01",   "T0",      "M30"};
    EXPECT_EQ(excellon(), want);

    // The header form: units and zero form first, then the same tools with the plating in comment
    // lines (a standard header has no "NP" suffix), then the same holes.
    std::vector<std::string> with = excellon(true);
    std::vector<std::string> head = {"M48",      "INCH,LZ",      ";TYPE=PLATED", "T1C0.035", ";TYPE=NON_PLATED",
                                     "T2C0.035", ";TYPE=PLATED", "T3C0.040"};
    ASSERT_EQ(with.size(), head.size() + want.size() - 3);
    EXPECT_EQ(std::vector<std::string>(with.begin(), with.begin() + 8), head);
    EXPECT_EQ(std::vector<std::string>(with.begin() + 8, with.end()),
              std::vector<std::string>(want.begin() + 3, want.end()));

    PlotContext ctx = prepare();
    ASSERT_EQ(ctx.tools.count, 3);
    EXPECT_EQ(ctx.tools.tools[1].hits, 4u);
    EXPECT_EQ(ctx.tools.tools[2].non_plated, true);
    EXPECT_EQ(ctx.tools.tools[2].hits, 1u);
}

TEST_F(Drill, OriginIsSubtractedAndEmptyBoardHasOnlyTheFrame) {
    EXPECT_EQ(excellon(), (std::vector<std::string>{"%", "T0", "M30"}));
    model::ApplyDirective(s(), "-gz1.0,1.0");
    pad(0, 1, 2 * kIn, kIn, mil(60), mil(60), mil(35));
    EXPECT_EQ(excellon(), (std::vector<std::string>{"T1C0.035", "%", "T1", "X01Y00", "T0", "M30"}));
}

TEST_F(Drill, ThirtyToolsAtMostFurtherSizesAreLeftOut) {
    // Holes of 31 sizes, each a little larger: the 31st finds no tool and no line of the file.
    for (int i = 0; i < 31; ++i) {
        pad(0, 1, i * kIn / 10, 0, mil(90), mil(90), mil(10 + 2 * i));
    }
    PlotContext ctx = prepare();
    EXPECT_EQ(ctx.tools.count, kMaxTools);
    EXPECT_EQ(ctx.tools.refused, 1u);
    EXPECT_EQ(ctx.tools.find(static_cast<Length>(mil(70)), false), 0);
    std::vector<std::string> l = excellon();
    EXPECT_EQ(l[29], "T30C0.068");
    EXPECT_EQ(l[30], "%");
    EXPECT_EQ(std::count(l.begin(), l.end(), "X03Y00"), 0); // where the 31st hole would be
}

TEST_F(Drill, ListingColumns) {
    model::ApplyDirective(s(), "-dy");
    model::ApplyDirective(s(), "-dyTOP:0,3");
    model::ApplyDirective(s(), "-dyBSM:10,13");
    model::ApplyDirective(s(), "-dyDRL:4");
    pad(3, 6, 0, 0, mil(50), mil(30), 0);
    pad(0, 1, kIn, 0, mil(60), mil(60), mil(35));
    pad(0, 1, 2 * kIn, 0, mil(60), mil(60), mil(35));
    pad(0, 1, 3 * kIn, 0, mil(30), mil(30), mil(35));
    s().gerber_fill_width = 0;
    s().mask_increment = s().paste_decrement = s().plane_increment = s().plane_hole_decrement = 0;
    PlotContext ctx = prepare();
    TextOut out;
    write_aperture_listing(ctx, out);
    // Codes in size order: the fixed 131, 459, 655, 721; the plane ring width of the 35-mil holes
    // (2294 / 6 = 382) and their clearance disk (2294, both plane values 0); the 30-mil and 60-mil
    // rounds; the 50 x 30 rectangle sorts by its width 3277 before the 60-mil round (3932).
    std::vector<std::string> want = {
        "board.pcb    03/07/24    02:05 pm",
        "",
        "",
        "GERBER DRAFT CODES",
        "",
        "Code   Size           Shape",
        "----   -----------    ---------",
        "D10    .0020\"         Round",
        "D11    .0058\"         Round",
        "D12    .0070\"         Round",
        "D13    .0100\"         Round",
        "D14    .0110\"         Round",
        "D15    .0300\"         Round",
        "D16    .0350\"         Round",
        "D17    .0500\"x.0300\"  Rectangle",
        "D18    .0600\"         Round",
        "",
        "EXCELLON TOOL CODES",
        "",
        "Code   Size     Count",
        "----   -----    -----",
        "T1     .035\"        2",
        "T2     .035\" np     1",
        "",
        "DOS DATA FILES",
        "",
        "File Name       Type        View",
        "------------    --------    --------",
        "board.TOP       Copper      Normal",
        "board.BSM       Mask        Bottom",
        "board.DRL       Drill       Normal",
        "",
        "END OF FILE",
    };
    EXPECT_EQ(split_lines(out.data), want);
}
