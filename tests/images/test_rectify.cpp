// Image rectification: the fit, the placement and the resampling on small pictures worked by hand, and
// S5 through the shell (prompts, markers, the Finish cases and the box).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "app/core/headless_run.h"
#include "edit/commands.h"
#include "images/block.h"
#include "images/rectify.h"
#include "shell/commands.h"
#include "shell/mouse.h"

using namespace trazel;
using namespace trazel::images;
using model::Point;

namespace {

// 64 dots per inch: one pixel is 1024 coordinate units, so whole-pixel moves are exact.
constexpr int32_t kDpi = 64;
constexpr int32_t kPixel = 65536 / kDpi;

// A block of `w` x `h` pixels (row length = width), top row first.
std::vector<uint8_t> block_of(int32_t w, int32_t h, int32_t bits, int32_t dpi, const std::vector<uint8_t>& pixels) {
    Picture p;
    p.width = p.row_length = w, p.height = h, p.bits = bits;
    p.palette_kind = bits == 24 ? kPaletteDirect : kPaletteGrey, p.dpi = dpi;
    EXPECT_TRUE(p.allocate());
    EXPECT_EQ(p.pixels.size(), pixels.size());
    p.pixels = pixels;
    return make_block(p, "scan.bmp");
}

std::vector<uint8_t> pixels_of(const std::vector<uint8_t>& block) {
    return std::vector<uint8_t>(block.begin() + static_cast<long>(kHeaderBytes), block.end());
}

BlockHeader header_of(const std::vector<uint8_t>& block) {
    BlockHeader h;
    EXPECT_TRUE(read_header(block, h));
    return h;
}

// Left, bottom, right and top in pixels of kDpi, then the size: "l b r t wxh".
std::string edges(const BlockHeader& h) {
    auto px = [](int32_t v) {
        return std::to_string(v / kPixel) + (v % kPixel ? "+" + std::to_string(v % kPixel) : "");
    };
    return px(h.left) + " " + px(h.bottom) + " " + px(h.right) + " " + px(h.top) + " " + std::to_string(h.width) + "x" +
           std::to_string(h.height);
}

// Pairs at the four corners of a w x h picture at kDpi and one inside, each source sent to `to(source)`.
std::vector<ReferencePair> pairs_of(int32_t w, int32_t h, const std::function<Point(Point)>& to) {
    std::vector<ReferencePair> pairs;
    for (Point p : {Point{0, 0}, Point{(w - 1) * kPixel, 0}, Point{0, (h - 1) * kPixel},
                    Point{(w - 1) * kPixel, (h - 1) * kPixel}, Point{kPixel, kPixel / 2}}) {
        pairs.push_back({p, to(p)});
    }
    return pairs;
}

std::function<Point(Point)> shift(int32_t dx, int32_t dy) {
    return [=](Point p) { return Point{p.x + dx, p.y + dy}; };
}

struct Runner {
    platform::Headless ui;
    platform::RunContext run{ui};
};

} // namespace

TEST(RectifyFit, IdentityAKnownMappingAndTargetsThatFixNothing) {
    Mapping m;
    ASSERT_TRUE(fit_mapping(pairs_of(5, 3, [](Point p) { return p; }), m));
    for (size_t k = 0; k < 12; ++k) {
        EXPECT_NEAR(m.c[k], k == 0 || k == 3 ? 1.0 : 0.0, 1e-12) << "c" << k;
    }
    // X = 0.5 + 2x - y + 0.25xy, Y = -1 + 0.5x + 3y - 0.125xy through six pairs far from the origin.
    std::vector<ReferencePair> pairs;
    for (auto [x, y] : {std::pair{10.0, 20.0}, {12.0, 20.0}, {10.0, 21.0}, {12.0, 21.5}, {11.0, 20.5}, {11.5, 20.0}}) {
        Point s{static_cast<int32_t>(std::lround((0.5 + 2 * x - y + 0.25 * x * y) * 65536)),
                static_cast<int32_t>(std::lround((-1 + 0.5 * x + 3 * y - 0.125 * x * y) * 65536))};
        pairs.push_back({s, Point{static_cast<int32_t>(x * 65536), static_cast<int32_t>(y * 65536)}});
    }
    ASSERT_TRUE(fit_mapping(pairs, m));
    const double expect[12] = {2, 0.5, -1, 3, 0.5, -1, 0.25, -0.125, 0, 0, 0, 0};
    for (size_t k = 0; k < 12; ++k) {
        EXPECT_NEAR(m.c[k], expect[k], 1e-4) << "c" << k;
    }

    auto to = [](std::vector<Point> targets) {
        std::vector<ReferencePair> v;
        for (Point t : targets) {
            v.push_back({Point{t.y, t.x}, t});
        }
        return v;
    };
    // Three; on one slanted line; three on y = 0 and one off it (on the line pair y = 0, x = 2000).
    EXPECT_FALSE(fit_mapping(to({{0, 0}, {1000, 0}, {0, 1000}}), m));
    EXPECT_FALSE(fit_mapping(to({{0, 0}, {1000, 1000}, {2000, 2000}, {3000, 3000}}), m));
    EXPECT_FALSE(fit_mapping(to({{0, 0}, {1000, 0}, {3000, 0}, {2000, 1000}}), m));
    EXPECT_TRUE(fit_mapping(to({{0, 0}, {1000, 1000}, {3000, 3000}, {1000, 0}}), m));
    Runner r;
    RectifyResult res =
        rectify(block_of(2, 2, 8, kDpi, {1, 2, 3, 4}), to({{0, 0}, {512, 0}, {1024, 0}, {0, 512}}), r.run);
    EXPECT_EQ(res.status, RectifyStatus::Singular);
    EXPECT_NE(res.message.find("do not fix a mapping"), std::string::npos);
    EXPECT_TRUE(res.block.empty());
}

TEST(RectifyResample, TheIdentityAndWholePixelShiftsKeepEveryPixel) {
    std::vector<uint8_t> px;
    for (int k = 0; k < 4 * 3 * 3; ++k) {
        px.push_back(static_cast<uint8_t>(k * 7 + 1));
    }
    // At 100 dpi the right edge is 3 x 65536 / 100 rounded down: the last column still takes its own pixel.
    for (int32_t bits : {8, 24}) {
        std::vector<uint8_t> b =
            block_of(4, 3, bits, 100, std::vector<uint8_t>(px.begin(), px.begin() + 12 * bits / 8));
        BlockHeader h = header_of(b);
        std::vector<ReferencePair> same;
        for (Point p : {Point{0, 0}, Point{h.right, 0}, Point{0, h.top}, Point{h.right, h.top}}) {
            same.push_back({p, p});
        }
        Runner r;
        RectifyResult res = rectify(b, same, r.run);
        ASSERT_EQ(res.status, RectifyStatus::Done);
        BlockHeader out = header_of(res.block);
        EXPECT_EQ(edges(out), edges(h)); // |right - left| r + 1.5 = 4.4998, cut down to 4
        EXPECT_EQ(out.kind, h.kind);
        EXPECT_EQ(out.name, "scan.bmp");
        EXPECT_EQ(pixels_of(res.block), pixels_of(b)) << bits;
    }
    // 16-bit values take two bytes a pixel and blend as values (0x12FF and 0x1300 are neighbours).
    std::vector<uint8_t> wide;
    for (int k = 0; k < 12; ++k) {
        wide.push_back(static_cast<uint8_t>(k % 2 ? 0x00 : 0xFF));
        wide.push_back(static_cast<uint8_t>(0x12 + k % 2));
    }
    for (auto [bits, pixels] : {std::pair{8, std::vector<uint8_t>(px.begin(), px.begin() + 12)}, std::pair{16, wide}}) {
        std::vector<uint8_t> b = block_of(4, 3, bits, kDpi, pixels);
        BlockHeader h = header_of(b);
        Runner r;
        RectifyResult res = rectify(b, pairs_of(4, 3, shift(2 * kPixel, -kPixel)), r.run);
        ASSERT_EQ(res.status, RectifyStatus::Done);
        BlockHeader out = header_of(res.block);
        EXPECT_EQ(edges(out), "2 -1 5 1 4x3");
        EXPECT_EQ(out.bits, bits);
        EXPECT_EQ(pixels_of(res.block), pixels) << bits;
        EXPECT_GE(res.block.capacity(), res.block.size() + 4 * static_cast<size_t>(bits / 8)); // the spare row
    }
}

TEST(RectifyResample, RotationAndEnlargementWorkedByHand) {
    // a b c / d e f turned a quarter counter-clockwise about the origin: c f / b e / a d.
    auto quarter = [](Point p) { return Point{-p.y, p.x}; };
    auto twice = [](Point p) { return Point{2 * p.x, 2 * p.y}; };
    Runner r;
    RectifyResult res =
        rectify(block_of(3, 2, 8, kDpi, {'a', 'b', 'c', 'd', 'e', 'f'}), pairs_of(3, 2, quarter), r.run);
    ASSERT_EQ(res.status, RectifyStatus::Done);
    EXPECT_NEAR(res.mapping.c[2], 1, 1e-12);  // X = y
    EXPECT_NEAR(res.mapping.c[1], -1, 1e-12); // Y = -x
    EXPECT_EQ(edges(header_of(res.block)), "-1 0 0 2 2x3");
    EXPECT_EQ(std::string(res.block.begin() + static_cast<long>(kHeaderBytes), res.block.end()), "cfbead");

    // Twice the size: every second pixel is a blend, halves rounded up.
    res = rectify(block_of(3, 2, 8, kDpi, {0, 100, 201, 20, 40, 60}), pairs_of(3, 2, twice), r.run);
    ASSERT_EQ(res.status, RectifyStatus::Done);
    EXPECT_EQ(header_of(res.block).width, 5);
    EXPECT_EQ(pixels_of(res.block), (std::vector<uint8_t>{0, 50, 100, 151, 201, //
                                                          10, 40, 70, 100, 131, //
                                                          20, 30, 40, 50, 60}));
}

TEST(RectifyResample, TheFastLoopMatchesThePlainOneAndOutsideIsBlack) {
    // Turned, scaled and pulled at one corner; pictures one pixel wide or high have no neighbour to blend.
    uint32_t seed = 12345;
    struct Case {
        int32_t w, h, bits;
        double turn, scale, pull;
    };
    for (Case c : {Case{37, 23, 24, 0.3, 1.1, 3}, Case{37, 23, 8, -1.2, 0.7, -2}, Case{29, 31, 24, 0, 1, 0},
                   Case{1, 9, 8, 0.5, 1.3, 1}, Case{9, 1, 24, 0.2, 2, 0.5}}) {
        SCOPED_TRACE(c.w * 1000 + c.h);
        std::vector<uint8_t> px(static_cast<size_t>(c.w * c.h * c.bits / 8));
        for (uint8_t& v : px) {
            seed = seed * 1103515245u + 12345u;
            v = static_cast<uint8_t>(seed >> 16);
        }
        std::vector<uint8_t> b = block_of(c.w, c.h, c.bits, kDpi, px);
        BlockHeader h = header_of(b);
        auto moved = [&](Point p) {
            double x = p.x * c.scale, y = p.y * c.scale;
            double tx =
                x * std::cos(c.turn) - y * std::sin(c.turn) + (p.x == h.right && p.y == h.top ? c.pull * kPixel : 0);
            return Point{static_cast<int32_t>(std::lround(tx)),
                         static_cast<int32_t>(std::lround(x * std::sin(c.turn) + y * std::cos(c.turn)))};
        };
        Mapping m;
        bool fitted = fit_mapping(pairs_of(c.w, c.h, moved), m);
        if (!fitted) {
            // A picture one pixel across puts its sources on one line: a plain scale instead.
            m.c = {c.scale, 0, 0, c.scale, 0, 0, 0, 0, 0, 0, 0, 0};
        }
        Placement pl;
        std::string why;
        ASSERT_TRUE(place_rectified(h, m, pl, why));
        Runner r;
        std::vector<uint8_t> fast, plain;
        ASSERT_TRUE(resample(b, h, m, pl, fast, r.run, ResampleMode::Fast));
        ASSERT_TRUE(resample(b, h, m, pl, plain, r.run, ResampleMode::Plain));
        ASSERT_EQ(fast.size(), plain.size());
        size_t differ = 0, lit = 0, bytes = fast.size() - kHeaderBytes;
        for (size_t k = kHeaderBytes; k < fast.size(); ++k) {
            ASSERT_LE(std::abs(fast[k] - plain[k]), 1) << "byte " << k - kHeaderBytes;
            differ += fast[k] != plain[k];
            lit += plain[k] != 0;
        }
        EXPECT_LE(differ * 100, bytes) << differ;
        EXPECT_GT(lit * 4, bytes); // picture, not only the black around it
        if (c.turn != 0 && fitted) {
            EXPECT_EQ(plain[kHeaderBytes], 0); // the top left corner of a turned picture's box
        }
    }
}

TEST(RectifyPlacement, SingularAffinePartOversizeProgressAndCancel) {
    BlockHeader h;
    h.width = h.height = h.row_length = 3, h.dpi = kDpi, h.left = -kPixel, h.right = 2 * kPixel, h.top = kPixel;
    Mapping m;
    m.c = {1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0}; // d = 0: the corners stay where they are
    Placement p;
    std::string why;
    ASSERT_TRUE(place_rectified(h, m, p, why));
    EXPECT_EQ(std::vector<int32_t>({p.left, p.bottom, p.right, p.top, p.width, p.height}),
              std::vector<int32_t>({-kPixel, 0, 2 * kPixel, kPixel, 4, 2}));
    m.c = {1e-4, 0, 0, 1e-4, 0, 0, 0, 0, 0, 0, 0, 0}; // ten thousand times larger
    EXPECT_FALSE(place_rectified(h, m, p, why));
    EXPECT_NE(why.find("more than a picture may hold"), std::string::npos);
    m.c = {1e-6, 0, 0, 1e-6, 0, 0, 0, 0, 0, 0, 0, 0}; // beyond the drawing
    EXPECT_FALSE(place_rectified(h, m, p, why));
    EXPECT_NE(why.find("beyond the drawing"), std::string::npos);

    // Rows from the top in bands of 16, the bar taken down at the end.
    std::vector<uint8_t> b = block_of(4, 40, 8, kDpi, std::vector<uint8_t>(160, 9));
    Runner r;
    std::vector<int> percents;
    r.ui.progress_sink = [&](std::string_view, int percent) { percents.push_back(percent); };
    EXPECT_EQ(rectify(b, pairs_of(4, 40, shift(kPixel, 0)), r.run).status, RectifyStatus::Done);
    EXPECT_EQ(percents, (std::vector<int>{0, 40, 80, -1}));
    r.run.cancel();
    RectifyResult res = rectify(b, pairs_of(4, 40, shift(kPixel, 0)), r.run);
    EXPECT_EQ(res.status, RectifyStatus::Cancelled);
    EXPECT_TRUE(res.block.empty());
}

// --- S5 through the shell ------------------------------------------------------------------------------

class RectifyCommand : public ::testing::Test {
  protected:
    platform::Headless ui;
    shell::HeadlessRun run{1024, 768, {}, &ui};
    std::vector<uint8_t> picture;

    void SetUp() override {
        ASSERT_NE(run.start({}), 0);
        ASSERT_TRUE(run.until_ready(1000));
        ASSERT_NE(model::NewDocument("picture.pcb"), nullptr);
        std::vector<uint8_t> px;
        for (int k = 0; k < 12; ++k) {
            px.push_back(static_cast<uint8_t>(k * 20));
        }
        picture = block_of(4, 3, 8, kDpi, px);
        app().model.images[3] = picture;
        app().model.current_image = 3;
    }
    App& app() {
        return run.app;
    }
    void start() {
        EXPECT_EQ(shell::execute_command(app(), shell::code('S', '5'), shell::kSourceMouse), 1);
    }
    void left(Point p) {
        edit::jump_cursor(app(), p);
        shell::click_left_action(app());
    }
    void right() {
        shell::click_right_action(app());
    }
    std::string prompt(const char* what) {
        return std::string("Image Rectification:  Select ") + what + " point.";
    }
    std::string status() {
        return app().shell.status.text;
    }
    const std::vector<edit::GrabEntry>& markers() {
        return edit::editor(app()).grab.entries;
    }
    model::LineFields marker(size_t k) {
        return model::node(markers().at(k).copy).line;
    }
    // Markers, whether S5 is still going and how many boxes were shown: "3 on 1".
    std::string state() {
        return std::to_string(markers().size()) + (shell::function_active(app()) ? " on " : " off ") +
               std::to_string(ui.boxes.size());
    }
    long errors() {
        return std::count(ui.sounds.begin(), ui.sounds.end(), platform::Sound::Error);
    }
    // `n` pairs moved one pixel to the right.
    void pairs(int n) {
        std::vector<ReferencePair> all = pairs_of(4, 3, shift(kPixel, 0));
        for (size_t k = 0; k < static_cast<size_t>(n); ++k) {
            left(all[k].source);
            left(all[k].target);
        }
    }
};

TEST_F(RectifyCommand, PromptsOrdinalsAndMarkers) {
    start();
    EXPECT_EQ(status(), prompt("first source"));
    left(Point{5 * kPixel, 0}); // off the picture
    EXPECT_EQ(errors(), 1);
    EXPECT_TRUE(markers().empty());
    left(Point{kPixel, kPixel});
    EXPECT_EQ(status(), prompt("target"));
    ASSERT_EQ(markers().size(), 1u);
    EXPECT_EQ(marker(0).x1, marker(0).x2); // zero length while the target is waiting
    left(Point{-kPixel, 2 * kPixel});      // a target may lie anywhere
    EXPECT_EQ(status(), prompt("second source"));
    EXPECT_EQ(marker(0).x1, -kPixel); // from the target ...
    EXPECT_EQ(marker(0).y1, 2 * kPixel);
    EXPECT_EQ(marker(0).x2, kPixel); // ... to the source
    for (const char* next : {"third source", "fourth source", "next source", "next source"}) {
        left(Point{0, 0});
        left(Point{0, 0});
        EXPECT_EQ(status(), prompt(next));
    }
    EXPECT_EQ(markers().size(), 5u);
    EXPECT_EQ(errors(), 1);
    right(); // only two places among the targets: a box, and nothing changes
    ASSERT_EQ(state(), "0 off 1");
    EXPECT_EQ(ui.boxes.back().title, "Image Ortho-rectification");
    EXPECT_EQ(app().model.images[3], picture);
    // Without a picture every source point is refused.
    app().model.images[3].clear();
    start();
    left(Point{kPixel, kPixel});
    EXPECT_EQ(errors(), 2);
    EXPECT_TRUE(markers().empty());
}

TEST_F(RectifyCommand, FinishCases) {
    start();
    pairs(1);
    left(Point{2 * kPixel, kPixel});
    ASSERT_EQ(markers().size(), 2u);
    right(); // only the waiting source point goes
    EXPECT_EQ(state(), "1 on 0");
    EXPECT_EQ(status(), prompt("second source"));

    start(); // afresh
    EXPECT_TRUE(markers().empty());
    pairs(3);
    ui.answers.push_back(platform::Answer::Ok);
    right();
    ASSERT_EQ(state(), "3 on 1");
    EXPECT_EQ(ui.boxes[0].title, "Image Ortho-rectification");
    EXPECT_EQ(ui.boxes[0].text, "A minimum of four pairs of points are\nrequired for this function, but you have\n"
                                "entered only three pair of reference\npoints.\n\nDo you wish to continue?");
    EXPECT_EQ(ui.boxes[0].buttons, platform::Buttons::OkCancel);
    EXPECT_EQ(status(), prompt("fourth source"));
    ui.answers.push_back(platform::Answer::Cancel);
    right();
    EXPECT_EQ(state(), "0 off 2");
    EXPECT_EQ(app().model.images[3], picture);

    start(); // no pair: the right click just ends the function
    right();
    EXPECT_EQ(state(), "0 off 2");

    start();
    pairs(4);
    EXPECT_FALSE(app().doc()->modified());
    right();
    EXPECT_EQ(state(), "0 off 2");
    EXPECT_EQ(header_of(app().model.images[3]).left, kPixel); // straightened in its own slot
    EXPECT_EQ(pixels_of(app().model.images[3]), pixels_of(picture));
    EXPECT_TRUE(app().doc()->modified());
}
