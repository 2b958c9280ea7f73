#include <gtest/gtest.h>

#include <algorithm>

#include "display/view.h"
#include "platform/headless.h"

using namespace trazel::display;
using trazel::model::Point;
using trazel::platform::Sound;

namespace {

// An 800 x 578 drawing area at 128 dots per inch with the cursor at (1", 1") shown at pixel (100, 100),
// as in Windows mode with the mouse there.
class Zoom : public ::testing::Test {
  protected:
    void SetUp() override {
        trazel::platform::install(&platform);
        v.area = Rect{0, 0, 577, 799};
        v.drawing_height = 578;
        at(65536, 65536, 100, 100);
        v.hooks.redraw_full = [this] { ++redraws; };
        v.hooks.enter_trazel_mode = [this] { ++trazel_entered; };
    }
    void TearDown() override {
        trazel::platform::install(nullptr);
    }
    void at(Coord x, Coord y, int col, int row) {
        v.cursor_x = x;
        v.cursor_y = y;
        place_cursor_at(v, col, row);
    }
    long sounds(Sound s) const {
        return std::count(platform.sounds.begin(), platform.sounds.end(), s);
    }

    trazel::platform::Headless platform;
    View v;
    int redraws = 0;
    int trazel_entered = 0;
};

} // namespace

TEST_F(Zoom, InAndOutByTheSquareRootOfTwoWithinTheLimits) {
    // 0x800000 + (0x800000 * 0x6A09E668 >> 32) = 0x800000 + 0x3504F3; Windows mode keeps the pixel.
    EXPECT_EQ(zoom_in(v, false), 1);
    EXPECT_EQ(v.scale, 0xB504F3u);
    EXPECT_EQ(to_screen_x(v, 65536), 100);
    EXPECT_EQ(to_screen_y(v, 65536), 100);
    EXPECT_EQ(v.previous.scale, 0x800000u);
    // 0xC0000000 * 1.414 is past 2^32.  A further zoom in beeps, redraws, changes nothing and keeps the
    // saved view.
    v.scale = 0xC0000000;
    at(65536, 65536, 100, 100);
    EXPECT_EQ(zoom_in(v, false), 1);
    EXPECT_EQ(v.scale, 0xFFFFFFFFu);
    EXPECT_EQ(sounds(Sound::Beep), 0);
    EXPECT_EQ(zoom_in(v, false), 0);
    EXPECT_EQ(sounds(Sound::Beep), 1);
    EXPECT_EQ(v.previous.scale, 0xC0000000u);
    EXPECT_EQ(redraws, 3);

    // 0x800000 * 0xB504F334 >> 32 = 0xB504F334 >> 9.
    v.scale = 0x800000;
    EXPECT_EQ(zoom_out(v, false), 1);
    EXPECT_EQ(v.scale, 0x5A8279u);
    // 40000 * 0.7071 = 28284, below the minimum: 32768; then the limit beeps.
    v.scale = 40000;
    EXPECT_EQ(zoom_out(v, false), 1);
    EXPECT_EQ(v.scale, 32768u);
    EXPECT_EQ(zoom_out(v, false), 0);
    EXPECT_EQ(sounds(Sound::Beep), 2);
}

TEST_F(Zoom, TrazelModeAndCenterBringTheCursorToTheMiddle) {
    EXPECT_EQ(zoom_in(v, true), 1);
    EXPECT_EQ(v.cursor_x, 65536);
    EXPECT_EQ(to_screen_x(v, 65536), 399);
    EXPECT_EQ(to_screen_y(v, 65536), 288);
    // At the limit the beep sounds but the view is still centred.
    v.scale = 0xFFFFFFFF;
    at(65536, 65536, 10, 10);
    EXPECT_EQ(zoom_in(v, true), 1);
    EXPECT_EQ(sounds(Sound::Beep), 1);
    EXPECT_EQ(v.cursor_col, 399);

    // Center keeps the scale; the origins shift by the cursor's move, 299 right and 188 down.
    at(65536, 65536, 100, 100);
    int32_t ox = v.origin_x, oy = v.origin_y;
    EXPECT_EQ(zoom_center(v), 1);
    EXPECT_EQ(v.scale, 0xFFFFFFFFu);
    EXPECT_EQ(v.origin_x, ox - 299);
    EXPECT_EQ(v.origin_y, oy + 188);
    EXPECT_EQ(trazel_entered, 1);
    EXPECT_EQ(zoom_center(v), 0); // already centred: nothing changes, the saved view stays
    EXPECT_EQ(v.previous.origin_x, ox);
}

TEST_F(Zoom, WindowFitsTheRectangleInsideTheMargin) {
    // 800 x 578 less 7 pixels on each side leaves 786 x 564.  A 10" x 5" rectangle:
    // 786 * 2^32 / 655360 = 5151129.6 and 564 * 2^32 / 327680 = 7392460.8; the smaller one wins.  The
    // old cursor (0, 0) would be 6 pixels from the left edge: it goes to the centre instead.
    at(0, 0, 100, 100);
    EXPECT_EQ(zoom_to_rect(v, Point{655360, 327680}, Point{0, 0}, v.area, true), 1);
    EXPECT_EQ(v.scale, 5151129u);
    EXPECT_EQ(v.cursor_x, 327680);
    EXPECT_EQ(v.cursor_y, 163840);
    EXPECT_EQ(v.cursor_col, 399);
    EXPECT_EQ(v.previous.scale, 0x800000u);
    // A cursor well inside the new view stays where it was; without saving, the saved view stays.
    v.scale = 0x900000;
    at(100000, 200000, 100, 100);
    zoom_to_rect(v, Point{0, 0}, Point{655360, 327680}, v.area, false);
    EXPECT_EQ(v.cursor_x, 100000);
    EXPECT_EQ(v.cursor_col, to_screen_x(v, 100000));
    EXPECT_EQ(v.previous.scale, 0x800000u);

    // Equal corners: the largest scale; the centre is snapped.
    v.snap = 0x00640000;
    EXPECT_EQ(zoom_to_rect(v, Point{1049, 2051}, Point{1049, 2051}, v.area, true), 1);
    EXPECT_EQ(v.scale, 0xFFFFFFFFu);
    EXPECT_EQ(v.cursor_x, 1000);
    EXPECT_EQ(v.cursor_y, 2100);
    EXPECT_EQ(v.residue_x, 49);
    // The whole coordinate range into 86 x 86 pixels: 86 / 2^32 pixels a unit, raised to 256.
    EXPECT_EQ(zoom_to_rect(v, Point{-0x7FFFFFFF, -0x7FFFFFFF}, Point{0x7FFFFFFF, 0x7FFFFFFF}, Rect{0, 0, 99, 99}, true),
              1);
    EXPECT_EQ(v.scale, 256u);
}

TEST_F(Zoom, PreviousSwapsViewsAndScaleSetsOne) {
    EXPECT_EQ(zoom_previous(v), 0); // nothing saved yet
    EXPECT_EQ(sounds(Sound::Error), 1);
    int32_t ox = v.origin_x;
    zoom_in(v, true);
    EXPECT_EQ(zoom_previous(v), 1);
    EXPECT_EQ(v.scale, 0x800000u);
    EXPECT_EQ(v.origin_x, ox);
    // The cursor comes from its pixel (399, 288) in the old view, whose origins are 128 - 100 = 28 and
    // 128 - (577 - 100) = -349: x = (399 + 28) * 512, y = (577 - 288 - 349) * 512.
    EXPECT_EQ(v.cursor_x, 218624);
    EXPECT_EQ(v.cursor_y, -30720);
    EXPECT_EQ(zoom_previous(v), 1);
    EXPECT_EQ(v.scale, 0xB504F3u);

    Coord cx = v.cursor_x;
    at(cx, 0, 30, 30);
    EXPECT_EQ(zoom_scale(v, 1000), 1); // below the minimum: the minimum; the cursor point to the middle
    EXPECT_EQ(v.scale, 32768u);
    EXPECT_EQ(v.cursor_x, cx);
    EXPECT_EQ(v.cursor_col, 399);

    EXPECT_EQ(zoom_single_layer(v), 1);
    EXPECT_TRUE(v.single_layer);
    EXPECT_EQ(zoom_redraw(v), 1);
    EXPECT_FALSE(v.single_layer);
}

TEST(ZoomText, ScaleAsDotsPerInch) {
    EXPECT_EQ(scale_to_dpi_text(0x800000), "128.0000");
    EXPECT_EQ(scale_to_dpi_text(32768), "0.5000");
    EXPECT_EQ(scale_to_dpi_text(0x10000 + 6554), "1.1000"); // 1.100006
    EXPECT_EQ(scale_to_dpi_text(0xFFFFFFFF), "65536.0000"); // 65535.99998 rounds up

    uint32_t s = 0;
    EXPECT_EQ(dpi_text_to_scale(" 72.25 ", 32768, s), 1);
    EXPECT_EQ(s, 0x484000u);
    EXPECT_EQ(dpi_text_to_scale("1.1", 32768, s), 1); // 0.1 * 65536 = 6553.6
    EXPECT_EQ(s, 0x10000u + 6554);
    EXPECT_EQ(dpi_text_to_scale("0.1", 32768, s), 1); // below the minimum
    EXPECT_EQ(s, 32768u);
    EXPECT_EQ(dpi_text_to_scale("65536.0000", 32768, s), 1);
    EXPECT_EQ(s, 0xFFFFFFFFu);
    s = 7;
    for (const char* bad : {"", ".", "abc", "1.2.3", "-5", "1 2"}) {
        EXPECT_EQ(dpi_text_to_scale(bad, 32768, s), 0) << bad;
    }
    EXPECT_EQ(s, 7u);
}
