// The page transform and plot order every plot path shares, with values worked by hand.
#include <gtest/gtest.h>

#include <cstring>
#include <tuple>

#include "cam/plot_page.h"
#include "cam_fixture.h"

namespace {

using namespace camtest;
using cam::PageTransform;
using cam::PlotSettings;
using std::tuple;

constexpr int64_t kInch = 65536;

auto sheet(const cam::PlotDevice& d) {
    return tuple{d.phys_w, d.phys_h, d.offset_x, d.offset_y, d.horz_res, d.vert_res};
}
auto page_window(const PageTransform& t) {
    return tuple{t.win_x1, t.win_y1, t.win_x2, t.win_y2};
}

TEST(PlotPage, DeviceOfNamedSheets) {
    int64_t w = 0, h = 0;
    ASSERT_TRUE(cam::page_size("Letter", w, h));
    EXPECT_EQ(sheet(cam::page_device(w, h, kInch / 4, 300, false)),
              (tuple<int64_t, int64_t, int64_t, int64_t, int64_t, int64_t>{2550, 3300, 75, 75, 2400, 3150}));
    ASSERT_TRUE(cam::page_size("ledger", w, h));
    EXPECT_EQ(sheet(cam::page_device(w, h, 0, 600, true)), // landscape: the long side across
              (tuple<int64_t, int64_t, int64_t, int64_t, int64_t, int64_t>{10200, 6600, 0, 0, 10200, 6600}));
    ASSERT_TRUE(cam::page_size("4.5x2", w, h));
    EXPECT_EQ((tuple{w, h}), (tuple{9 * kInch / 2, 2 * kInch}));
    for (const char* bad : {"", "tabloid", "4x", "x4", "0x4", "4x-1", "1.2.3x4", "4x5000"}) {
        EXPECT_FALSE(cam::page_size(bad, w, h)) << bad;
    }
    // A margin wider than the sheet leaves a printable pixel rather than none.
    cam::PlotDevice d = cam::page_device(kInch, kInch, 2 * kInch, 100, false);
    EXPECT_TRUE(d.horz_res >= 1 && d.vert_res >= 1);
}

struct PageBoard : Board {
    PlotSettings settings() {
        PlotSettings p;
        p.device = cam::page_device(17 * kInch / 2, 11 * kInch, kInch / 4, 300, false); // 8 x 10.5 printable
        return p;
    }
};

TEST_F(PageBoard, WindowScaleFitAndExtentFallback) {
    s().ext_xmin = -kInch, s().ext_ymin = 0, s().ext_xmax = 3 * kInch, s().ext_ymax = 2 * kInch;
    PlotSettings p = settings();
    // X min equal to X max: the whole Document, at 1:1 since the scale is below 66.
    p.xmin = p.xmax = kInch, p.ymin = 0, p.ymax = kInch;
    p.scale = 0;
    PageTransform t = cam::page_transform(*d, p);
    EXPECT_TRUE(t.extents);
    EXPECT_EQ((tuple{t.scale, t.window.x1, t.page_w, t.page_h}), (tuple{kInch, -kInch, 8 * kInch, 21 * kInch / 2}));
    EXPECT_EQ((tuple{t.page_x(-kInch), t.page_x(kInch)}), (tuple{0, 2 * kInch}));
    EXPECT_EQ(page_window(t), (tuple{0, 0, 4 * kInch, 2 * kInch}));

    // A window and a half scale: offsets are the window minimum scaled.
    p.xmin = kInch, p.xmax = 3 * kInch, p.ymin = -kInch, p.ymax = kInch;
    p.scale = kInch / 2;
    t = cam::page_transform(*d, p);
    EXPECT_FALSE(t.extents);
    EXPECT_EQ((tuple{t.offset_x, t.offset_y, t.page_x(3 * kInch), t.page_y(-kInch), t.win_x2}),
              (tuple{kInch / 2, -kInch / 2, kInch, 0, kInch}));

    // Fit: the smaller ratio, 8 / 2 across against 10.5 / 2 up.
    p.flags = cam::kPlotFit;
    t = cam::page_transform(*d, p);
    EXPECT_EQ((tuple{t.scale, t.win_x2, t.win_y2}), (tuple{4 * kInch, 8 * kInch, 8 * kInch}));
    // Fitting a window of one unit stops at 32767:1 and keeps the far corners of the plane in range.
    p.xmin = 0, p.xmax = 1, p.ymin = 0, p.ymax = 1;
    t = cam::page_transform(*d, p);
    EXPECT_EQ(t.scale, INT32_MAX);
    EXPECT_TRUE(t.page_x(INT32_MIN) < 0 && t.page_y(INT32_MAX) > 0);
    // The extents bit wins over a usable window.
    p.flags = cam::kPlotExtents;
    EXPECT_TRUE(cam::page_transform(*d, p).extents);
}

TEST_F(PageBoard, CentringAndTheComponentWindowTest) {
    PlotSettings p = settings();
    p.xmin = 0, p.xmax = 2 * kInch, p.ymin = 0, p.ymax = kInch / 2;
    p.flags = cam::kPlotCentre;
    PageTransform t = cam::page_transform(*d, p);
    EXPECT_EQ(page_window(t), (tuple{3 * kInch, 5 * kInch, 5 * kInch, 11 * kInch / 2}));
    EXPECT_EQ((tuple{t.page_x(0), t.page_y(kInch / 2)}), (tuple{3 * kInch, 11 * kInch / 2}));
    // A window larger than the page is cut to the page and not centred off it.
    p.xmax = 20 * kInch;
    t = cam::page_transform(*d, p);
    EXPECT_EQ((tuple{t.win_x1, t.win_x2}), (tuple{0, 8 * kInch}));

    // A box one inch right of a 1-inch window meets it only when grown by the whole inch.
    p.flags = 0, p.xmax = kInch, p.ymax = kInch;
    t = cam::page_transform(*d, p);
    EXPECT_TRUE(t.meets_window(2 * kInch, 0, 3 * kInch, kInch, kInch));
    EXPECT_FALSE(t.meets_window(2 * kInch, 0, 3 * kInch, kInch, kInch / 2));
}

TEST_F(PageBoard, FlagsComeFromTheSetupBytes) {
    model::ApplyDirective(s(), "-gp199,23,.5,1.0,2.0,3.0,4.0,24");
    PlotSettings p = cam::settings_from_setup(s(), settings().device);
    EXPECT_EQ(p.flags, cam::kPlotExtents | cam::kPlotFit | cam::kPlotCentre | cam::kPlotMirror | cam::kPlotKeepColours |
                           cam::kPlotNoHoles | cam::kPlotNoVias | cam::kPlotNoPads | cam::kPlotNoTracks);
    EXPECT_EQ((tuple{p.scale, p.xmin, p.ymax}), (tuple{kInch / 2, kInch, 4 * kInch}));
    EXPECT_EQ(p.colour, cam::PlotColour::Planes);
}

TEST_F(PageBoard, PlotOrderAndPlottedLayers) {
    // Layers 2 and 9 both ask for slot 9: layer 2 comes first and takes it; 9 moves on to 10, pushing
    // every later layer one slot up, and the last wraps round to the slot layer 2 left.
    s().layers[2].sequence = 9;
    std::array<int, 256> slots = cam::plot_slots(s());
    EXPECT_EQ((tuple{slots[0], slots[2], slots[9], slots[10], slots[11]}), (tuple{0, 255, 2, 9, 10}));

    model::LayerEntry e = s().layers[3];
    e.plot = 0x808080;
    EXPECT_TRUE(cam::layer_plotted(e));
    for (uint32_t off : {0x01808080u, 0u}) { // switched off, black
        e.plot = off;
        EXPECT_FALSE(cam::layer_plotted(e)) << off;
    }
    e.plot = 0xFF;
    std::strcpy(e.name, "-");
    EXPECT_FALSE(cam::layer_plotted(e));

    EXPECT_EQ((tuple{cam::slot_percent(255), cam::slot_percent(128), cam::slot_percent(0)}), (tuple{0, 49, 100}));
    // Thru-hole Pads plot with layer 0; surface-mount ones on their own layer.
    EXPECT_EQ(cam::plot_layer(model::node(pad(3, 1, 0, 0, 100, 100, 50))), 0);
    EXPECT_EQ(cam::plot_layer(model::node(pad(3, 6, 0, 0, 100, 100, 0))), 3);
}

} // namespace
