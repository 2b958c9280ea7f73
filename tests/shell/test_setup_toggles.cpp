// ST, SW, SP and SB through keys and menu: orthogonal mode bends the next line onto the axis, mirror view
// moves known Items to the mirrored pixels with the Data file unchanged, the zero point click writes
// "-gz" and moves read-outs and typed positions, the status bar box writes "-gm" and the factor.
#include "shell/setup_fixture.h"
#include "shell/setup_toggles.h"
#include "shell/window_events.h"

namespace setup_toggles {
namespace {

using namespace shell_test;
using edit_test::kTop;

// A silk diagonal over the working area (0, 0)-(4, 4), a top track down x = 1 inch from y = 1 to 3, and a
// quarter circle of half an inch about (2, 1.2) from east to north.
void board(Ref ring) {
    edit_test::make_track(ring, edit_test::kTopSilk, 0, 0, 4 * kInch, 4 * kInch, 600);
    edit_test::make_track(ring, kTop, kInch, kInch, kInch, 3 * kInch, 3277);
    Ref a = model::MakeItem(ring, model::kArc, kTop, 3277, 2 * kInch, in(1.2), kInch / 2, 0);
    node(a).arc.sweep = 16384;
}

struct SetupToggles : SetupSession {
    void SetUp() override {
        start({{"toggles.pcb", board}}, kSixteenth);
        play("Enter"); // TRAZEL mode
    }
    bool checked(char letter) {
        std::function<bool(const std::vector<platform::MenuItem>&)> in = [&](const auto& items) {
            for (const platform::MenuItem& m : items) {
                if ((m.code == shell::code('S', letter) && m.checked) || in(m.items)) {
                    return true;
                }
            }
            return false;
        };
        return in(run->window.menus);
    }
    std::string bar(int col) {
        for (const display::StatusText& t : app().display.status) {
            if (t.col == col) {
                return t.text;
            }
        }
        return {};
    }
    // Whether the pixel is drawn (not background).
    bool drawn(int col, int row) {
        const size_t at = static_cast<size_t>(row) * app().shell.surface.pitch + static_cast<size_t>(col) * 4;
        return *reinterpret_cast<const uint32_t*>(app().pixels.data() + at) !=
               app().display.slots.pixel[display::kSlotBackground];
    }
};

TEST_F(SetupToggles, OrthogonalModePutsTheNextLineOnTheAxisAndStaysOutOfTheFile) {
    play("\"2,.5\" Enter <LY=3>");
    std::string before = file();
    play("T");
    EXPECT_EQ(app().display.view.angle_mode, shell::kSetupOrthoMode);
    EXPECT_TRUE(checked('T'));
    EXPECT_EQ(file(), before);
    // Anchor (2, 0.5), cursor (3, 0.75): octant 0, so the straight leg stops 0.25 short, on y = 0.5.
    play("<PL> 16Right 4Up Enter Esc Esc");
    EXPECT_TRUE(at_inch(cursor(), 3, 0.75));
    bool placed = false;
    for (Ref r : model::items_in(doc().ring())) {
        const model::LineFields& l = node(r).line;
        placed |=
            node(r).item_kind() == model::kLine && at_inch({l.x1, l.y1}, 2, 0.5) && at_inch({l.x2, l.y2}, 2.75, 0.5);
    }
    EXPECT_TRUE(placed);
    app().display.view.angle_mode = 3; // off from any mode
    play("T");
    EXPECT_EQ(app().display.view.angle_mode, 0);
    EXPECT_FALSE(checked('T'));
}

TEST_F(SetupToggles, MirrorViewMirrorsPictureAndReadOutButNotTheDocument) {
    play("\"2,2\" Enter");
    std::string before = file();
    ASSERT_NE(shell::redraw(app()), 0);
    display::View& v = app().display.view;
    // The track at (1, 1.537) and the arc's 60-degree point (2.25, 1.633), off the cross-hair's lines, and
    // the columns mirrored about the cross-hair's.
    const int cc = v.cursor_col, c1 = display::to_screen_x(v, kInch), c2 = display::to_screen_x(v, in(2.25));
    const int r1 = display::to_screen_y(v, in(1.537)), r2 = display::to_screen_y(v, in(1.633));
    EXPECT_TRUE(drawn(c1, r1) && drawn(c2, r2));
    EXPECT_FALSE(drawn(2 * cc - c1, r1) || drawn(2 * cc - c2, r2));
    alt(0x2F); // Alt-V: the picture turns about the cross-hair, which keeps its pixel and its point
    EXPECT_TRUE(v.mirror && checked('W'));
    EXPECT_EQ(v.cursor_col, cc);
    EXPECT_NEAR(display::to_screen_x(v, kInch), 2 * cc - c1, 1);
    EXPECT_TRUE(drawn(2 * cc - c1, r1) && drawn(2 * cc - c2, r2));
    EXPECT_FALSE(drawn(c1, r1) || drawn(c2, r2));
    // Right moves the cross-hair right on the screen, so the X read-out counts down to 1.5.
    play("8Right");
    EXPECT_TRUE(at_inch(cursor(), 1.5, 2));
    EXPECT_GT(v.cursor_col, cc);
    EXPECT_EQ(bar(shell::kStatusReadoutCol).substr(0, 11), "     1.500 ");
    EXPECT_EQ(file(), before);
    EXPECT_FALSE(doc().modified());
    run->menu(shell::code('S', 'W'));
    EXPECT_FALSE(v.mirror || checked('W'));
}

TEST_F(SetupToggles, TheZeroPointClickWritesGzAndMovesReadOutsAndTypedPositions) {
    play("\"1,1\" Enter");
    std::string before = file();
    alt(0x13); // Alt-R, then a right click: nothing changes
    EXPECT_EQ(app().shell.prompt, "Relative Zero Point:  Select new zero point.");
    play("Esc");
    EXPECT_EQ(file(), before);
    alt(0x13);
    play("4Right Enter 8Right"); // the click at (1.25, 1), then half an inch on
    EXPECT_EQ(line("-gz"), "-gz1.25,1.0");
    EXPECT_TRUE(doc().modified());
    EXPECT_EQ(bar(shell::kStatusReadoutCol), "     0.500 *          0.000 *");
    play("\"1,-.5\" Enter");
    EXPECT_TRUE(at_inch(cursor(), 2.25, 0.5));
}

TEST_F(SetupToggles, StatusBarBoxWritesTheAngleBitAndTakesTheFactor) {
    play("\"1,1\" Enter");
    std::string before = file();
    auto& answers = ui().dialog_answers["SetupStatusBarBox"];
    answers.push_back({false, {{"angle_distance", "1"}}}); // Cancel
    run->menu(shell::code('S', 'B'));
    for (const char* bad : {"abc", "0", "40000", "1.2.3", "-"}) {
        ui().boxes.clear();
        answers.push_back({true, {{"angle_distance", "1"}, {"factor", bad}}});
        run->menu(shell::code('S', 'B'));
        ASSERT_EQ(ui().boxes.size(), 1u) << bad;
        EXPECT_EQ(ui().boxes[0].text.rfind("Read-out factor: ", 0), 0u) << ui().boxes[0].text;
    }
    EXPECT_EQ(file(), before);
    EXPECT_FALSE(doc().modified());
    answers.push_back({true, {{"angle_distance", "1"}, {"factor", "2"}}});
    run->menu(shell::code('S', 'B'));
    EXPECT_EQ(line("-gm").back(), '1');
    EXPECT_TRUE(doc().modified());
    // (1, 1) read at twice its value: 2.000 each, and 45 degrees, 2 x sqrt(2) = 2.82843 from (0, 0).
    EXPECT_EQ(bar(shell::kStatusReadoutCol), "     2.000            2.000  ");
    EXPECT_EQ(bar(shell::kStatusMessageCol).rfind("   45.0\xF8  2.82843", 0), 0u);
}

} // namespace
} // namespace setup_toggles
