// Flood fill: hand-worked pours (empty Block, a crossing track, spokes, the pour's Signal, obstacles by
// layer, Texts), the run's limits (Cancel, out of Nodes, marks), an independent clearance check and the
// fast walk against the plain one on generated boards.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <random>

#include "copper/copper_board.h"
#include "copper/fill_run.h"
#include "edit/undo.h"
#include "model/hit_test.h"

namespace copper_test {
namespace {

using copper::FillMode;
using copper::FillResult;
using model::kLine;

struct Seg {
    Coord x1, y1, x2, y2;
    uint16_t w;
};

Seg seg(Ref r) {
    const model::Node& n = node(r);
    return Seg{n.line.x1, n.line.y1, n.line.x2, n.line.y2, n.size};
}

// The y of the 0.001-inch grid line nearest to y.
Coord mil_grid(Coord y) {
    return static_cast<Coord>(std::llround(std::llround(y * 1000.0 / 65536) * 65.536));
}

struct Flood : CopperBoard {
    // The horizontal Lines the last run made at the fill width, by y.
    std::map<Coord, std::vector<Seg>> rows() const {
        std::map<Coord, std::vector<Seg>> out;
        for (Ref r : made_of(kLine)) {
            Seg s = seg(r);
            if (s.y1 == s.y2 && s.x1 != s.x2 && s.w == set.width) {
                out[s.y1].push_back(s);
            }
        }
        for (auto& [y, v] : out) {
            std::sort(v.begin(), v.end(), [](const Seg& a, const Seg& b) { return a.x1 < b.x1; });
        }
        return out;
    }
    // The vertical Lines at x.
    int verticals_at(Coord x) const {
        int n = 0;
        for (Ref r : made_of(kLine)) {
            Seg s = seg(r);
            n += s.x1 == x && s.x2 == x && s.y1 != s.y2;
        }
        return n;
    }
};

// --- The empty Block --------------------------------------------------------------------------------

TEST_F(Flood, EmptyBlockGetsBorderAndRowsOnTheMilGrid) {
    box(0, 0, kInch, kInch);
    FillResult res = fill();
    EXPECT_FALSE(res.cancelled || res.out_of_nodes);
    auto r = rows();
    // Rows from 0.005 to 0.986 inch: y starts at 327 + 33 and rises by 655 - 81 while y <= 65176.
    ASSERT_EQ(r.size(), 113u + 2u); // the bottom and top border strokes are rows too
    EXPECT_EQ(r.begin()->first, 327);
    EXPECT_EQ(r.rbegin()->first, kInch - 327);
    std::vector<Coord> ys;
    for (auto& [y, v] : r) {
        ASSERT_EQ(v.size(), 1u) << y;
        if (y != 327 && y != kInch - 327) {
            ys.push_back(y);
            EXPECT_EQ(y, mil_grid(y));
            EXPECT_EQ(v[0].x1, 327);
            EXPECT_GE(v[0].x2, kInch - 328 - 64); // the last sample before the end
        }
    }
    EXPECT_EQ(ys.front(), mil_grid(in(0.005)));
    EXPECT_EQ(ys.back(), mil_grid(in(0.986)));
    EXPECT_EQ(verticals_at(327), 1);
    EXPECT_EQ(verticals_at(kInch - 327), 1);
    EXPECT_EQ(res.created, 117);
    EXPECT_EQ(drawn, 117);
    EXPECT_EQ(d->setup.current_layer, kTop);
    for (Ref l : made()) {
        EXPECT_EQ(node(l).layer, kTop);
        EXPECT_EQ(model::item_signal(l), model::kNone);
    }
}

TEST_F(Flood, HatchCrossesAtTheMeshSpacing) {
    box(0, 0, kInch, kInch);
    set.mesh = in(0.1);
    fill(FillMode::Hatch);
    int rising = 0, falling = 0;
    for (Ref l : made()) {
        Seg s = seg(l);
        if (s.x1 == s.x2 || s.y1 == s.y2) {
            continue; // the border
        }
        ASSERT_EQ(std::abs(s.x2 - s.x1), std::abs(s.y2 - s.y1));
        (s.y2 - s.y1 == s.x2 - s.x1 ? rising : falling)++;
        EXPECT_TRUE(s.x1 >= 327 && s.x2 <= kInch - 327 && std::min(s.y1, s.y2) >= 327 &&
                    std::max(s.y1, s.y2) <= kInch - 327);
    }
    // Starts every 0.1 inch along two edges of the 64882-unit square: 2 * 64882 / 6554 = 19.8, 20 starts each
    // way, the first of them the corner itself (a single point).
    EXPECT_EQ(rising, 19);
    EXPECT_EQ(falling, 19);
}

// --- Obstacles --------------------------------------------------------------------------------------

TEST_F(Flood, CrossingTrackSplitsEveryRowAndGetsContours) {
    box(0, 0, kInch, kInch);
    track(kTop, kInch / 2, -kInch / 2, kInch / 2, kInch * 3 / 2, 800, "A");
    fill();
    // Blocked strictly closer than 400 + 655 + 328 = 1383 from the centre line (half of 655 rounded up, so
    // the copper keeps the whole isolation).
    Coord gap_left = kInch / 2 - 1383, gap_right = kInch / 2 + 1383;
    int split = 0;
    for (auto& [y, v] : rows()) {
        if (y == 327 || y == kInch - 327) {
            continue;
        }
        ASSERT_EQ(v.size(), 2u) << y;
        EXPECT_LE(v[0].x2, gap_left);
        EXPECT_GT(v[0].x2, gap_left - 65);
        EXPECT_GE(v[1].x1, gap_right);
        EXPECT_LT(v[1].x1, gap_right + 65);
        ++split;
    }
    EXPECT_EQ(split, 113);
    // A contour stroke exactly at the isolation distance on each side.
    EXPECT_EQ(verticals_at(gap_left), 1);
    EXPECT_EQ(verticals_at(gap_right), 1);
    for (Ref l : made()) {
        EXPECT_NE(model::signal_name(model::item_signal(l)), "A");
    }
}

TEST_F(Flood, FillSignalLinesAreFlowedOverOthersAvoided) {
    box(0, 0, kInch, kInch);
    set.thermal = "GND";
    track(kTop, kInch / 3, -kInch, kInch / 3, 2 * kInch, 800, "GND");
    track(kTop, 2 * kInch / 3, -kInch, 2 * kInch / 3, 2 * kInch, 800, "VCC");
    set.direct = "VCC"; // not the pour's Signal: still an obstacle
    fill();
    for (auto& [y, v] : rows()) {
        if (y != 327 && y != kInch - 327) {
            ASSERT_EQ(v.size(), 2u) << y; // split by VCC only
            EXPECT_LT(v[0].x1, kInch / 3);
            EXPECT_GT(v[0].x2, kInch / 3);
        }
    }
    for (Ref l : made()) {
        EXPECT_EQ(model::signal_name(model::item_signal(l)), "GND");
    }
    // The direct Signal's copper is flowed over when it is the pour's Signal.
    edit::undo(*d, nullptr);
    set.direct = "GND";
    set.thermal = "";
    pad(kTop, kInch / 3, kInch / 2, kRectSmt, "GND", 1000, 1000);
    track(kTop, kInch / 6, -kInch, kInch / 6, 2 * kInch, 800, "GND");
    fill();
    for (auto& [y, v] : rows()) {
        if (y < kInch / 2 - 2000 && y > 327) {
            EXPECT_EQ(v.size(), 2u) << y;
        }
    }
}

TEST_F(Flood, ThruHolePadsAreObstaclesOnlyWithLayerZeroAmongTheSources) {
    box(0, 0, kInch, kInch);
    pad(0, kInch / 2, kInch / 2, kOvalThru, "X", 3932, 3932);
    fill(); // no sources chosen, Copper destination: layer 0 is a source
    int split = 0;
    for (auto& [y, v] : rows()) {
        split += v.size() == 2;
    }
    // Rows within 1966 + 655 + 328 = 2949 of the centre are split: y from 29819 to 35717, rows 574 apart.
    EXPECT_EQ(split, 10); // 30212 (row 52) to 35389 (row 61) on the 0.001-inch grid
    edit::undo(*d, nullptr);
    set.sources.set(kTop); // the top layer alone: the pad is on layer 0
    fill();
    for (auto& [y, v] : rows()) {
        EXPECT_EQ(v.size(), 1u) << y;
    }
}

// --- Spokes and the question ----------------------------------------------------------------------

struct Spokes : Flood {
    static constexpr Coord kC = kInch / 2;
    void SetUp() override {
        Flood::SetUp();
        box(0, 0, kInch, kInch);
        set.thermal = "GND";
    }
    // A square of 400-unit tracks of another net around the centre, `at` from it on every side.
    void ring_at(Coord at) {
        track(kTop, kC - at, kC - at, kC + at, kC - at, 400, "X");
        track(kTop, kC + at, kC - at, kC + at, kC + at, 400, "X");
        track(kTop, kC + at, kC + at, kC - at, kC + at, 400, "X");
        track(kTop, kC - at, kC + at, kC - at, kC - at, 400, "X");
    }
    // The Lines that start at p.
    std::vector<Seg> from(Point p) const {
        std::vector<Seg> out;
        for (Ref r : made_of(kLine)) {
            Seg s = seg(r);
            if (s.x1 == p.x && s.y1 == p.y) {
                out.push_back(s);
            }
        }
        return out;
    }
};

TEST_F(Spokes, SurfacePadSpokesNarrowUntilTheyFit) {
    pad(kTop, kC, kC, kRectSmt, "GND", 2000, 2000);
    // At 655 the spoke ends (1000 + 655 + 328 out) lie 1117 from the ring, under 200 + 655 + 328; at 590
    // they lie 3100 - 1950 = 1150 away, exactly 200 + 655 + 295: not closer, so they fit.
    ring_at(3100);
    FillResult res = fill();
    std::vector<Seg> spokes = from(Point{kC, kC});
    ASSERT_EQ(spokes.size(), 4u);
    std::set<std::pair<Coord, Coord>> ends;
    for (const Seg& s : spokes) {
        EXPECT_EQ(s.w, 590);
        ends.insert({s.x2 - kC, s.y2 - kC});
    }
    EXPECT_EQ(ends, (std::set<std::pair<Coord, Coord>>{{1950, 0}, {-1950, 0}, {0, 1950}, {0, -1950}}));
    EXPECT_EQ(res.unconnected, 0);
    EXPECT_TRUE(questions.empty());
    EXPECT_FALSE(rows().empty()); // the width is back for the rows
}

TEST_F(Spokes, ThruHolePadsGetDiagonalsFromTheirEndCentres) {
    pad(0, kC, kC, kOvalThru, "GND", 3932, 3932);
    pad(0, kC / 2, kC, kRectThru, "GND", 3000, 3000);
    pad(0, kC * 3 / 2, kC, kOvalThru, "GND", 3000, 1500);
    fill();
    // Round: d = 1966 + 655 + 328 = 2949 along the diagonals, 2949 * 46341 / 65536 = 2085.3 each way.
    std::set<std::pair<Coord, Coord>> round, square, oblong;
    for (const Seg& s : from(Point{kC, kC})) {
        round.insert({s.x2 - kC, s.y2 - kC});
    }
    EXPECT_EQ(round, (std::set<std::pair<Coord, Coord>>{{2085, 2085}, {-2085, 2085}, {2085, -2085}, {-2085, -2085}}));
    // Rectangular: to (+-d, +-d) with d = 1500 + 983.
    for (const Seg& s : from(Point{kC / 2, kC})) {
        square.insert({s.x2 - kC / 2, s.y2 - kC});
    }
    EXPECT_EQ(square, (std::set<std::pair<Coord, Coord>>{{2483, 2483}, {-2483, 2483}, {2483, -2483}, {-2483, -2483}}));
    // Oblong 3000 x 1500: from the end centres 750 either side, d = 750 + 983 = 1733 -> 1225.4 outwards.
    for (Coord e : {750, -750}) {
        for (const Seg& s : from(Point{kC * 3 / 2 + e, kC})) {
            oblong.insert({s.x2 - kC * 3 / 2, s.y2 - kC});
        }
    }
    EXPECT_EQ(oblong, (std::set<std::pair<Coord, Coord>>{{1975, 1225}, {1975, -1225}, {-1975, 1225}, {-1975, -1225}}));
}

TEST_F(Spokes, BlockedAtEveryWidthAsksAndCancelEndsTheRun) {
    ring_at(2000); // the spoke ends lie within 115 of the ring's centre lines at every width
    pad(kTop, kC, kC, kRectSmt, "GND", 2000, 2000);
    answers = {false};
    FillResult res = fill();
    ASSERT_EQ(questions.size(), 1u);
    EXPECT_EQ(questions[0], copper::unconnected_text(Point{kC, kC}, d->setup));
    EXPECT_NE(questions[0].find("X = 0.500\"  Y = 0.500\""), std::string::npos);
    EXPECT_TRUE(res.cancelled);
    EXPECT_EQ(res.unconnected, 1);
    EXPECT_EQ(rows().count(327), 0u); // no border, no rows
    EXPECT_EQ(rows().count(mil_grid(360)), 0u);
    // What was laid before the question (contours) is the run's one undo group.
    EXPECT_GT(res.created, 0);
    EXPECT_EQ(static_cast<int>(made().size()), res.created);
    EXPECT_EQ(edit::undo_groups(*d), 1);
    EXPECT_FALSE(any_marked());
    edit::undo(*d, nullptr);

    answers = {true};
    res = fill();
    EXPECT_FALSE(res.cancelled);
    EXPECT_EQ(res.unconnected, 1);
    EXPECT_TRUE(from(Point{kC, kC}).empty());
    EXPECT_EQ(rows().count(mil_grid(360)), 1u);
}

// --- The three faults ------------------------------------------------------------------------------

TEST_F(Spokes, NamedThermalSignalIsThePoursAndOnlyItsPadsGetSpokes) {
    Point a{kC / 2, kC}, g{kC * 3 / 2, kC};
    pad(kTop, a.x, a.y, kRectSmt, "A", 2000, 2000); // first in the Block
    pad(kTop, g.x, g.y, kRectSmt, "GND", 2000, 2000);
    fill();
    for (Ref l : made()) {
        ASSERT_EQ(model::signal_name(model::item_signal(l)), "GND");
    }
    EXPECT_EQ(from(g).size(), 4u);
    EXPECT_TRUE(from(a).empty());
    // With no thermal Signal named the first pad's Signal is the pour's.
    edit::undo(*d, nullptr);
    set.thermal = "";
    fill();
    EXPECT_EQ(model::signal_name(model::item_signal(made().front())), "A");
    EXPECT_EQ(from(a).size(), 4u);
    EXPECT_TRUE(from(g).empty());
}

TEST_F(Flood, BlockWithOnlySilkSelectedStillAvoidsCopper) {
    box(0, 0, kInch, kInch);
    block.layers.fill(false);
    block.layers[kTopSilk] = true;
    track(kTop, kInch / 2, -kInch / 2, kInch / 2, kInch * 3 / 2, 800, "A");
    fill();
    for (auto& [y, v] : rows()) {
        if (y != 327 && y != kInch - 327) {
            EXPECT_EQ(v.size(), 2u) << y;
        }
    }
}

TEST_F(Flood, CopperTextKeepsTheTrackIsolationAroundItsBox) {
    box(0, 0, kInch, kInch);
    Coord x0 = kInch / 4, y0 = kInch / 2;
    text(kTop, x0, y0, 3000, "HELLO");
    text(kTopSilk, x0, y0 - 8000, 3000, "SILK"); // not a source layer: flooded over
    fill();
    // The box: x from -375 to 5 * 2400 + 375, y from -375 to 3375 about the anchor; kept 655 + 328 away
    // all round (its corners rounded).
    double bx1 = x0 - 375, bx2 = x0 + 12375, by1 = y0 - 375, by2 = y0 + 3375, keep = 983;
    int passing = 0;
    for (auto& [y, v] : rows()) {
        double out = std::max({0.0, by1 - y, y - by2});
        if (out < keep) {
            ++passing;
            double reach = std::sqrt(keep * keep - out * out);
            ASSERT_EQ(v.size(), 2u) << y;
            EXPECT_LE(v[0].x2, bx1 - reach);
            EXPECT_GT(v[0].x2, bx1 - reach - 65);
            EXPECT_GE(v[1].x1, bx2 + reach);
        } else if (y > 327 && y < kInch - 327) {
            EXPECT_EQ(v.size(), 1u) << y;
        }
    }
    EXPECT_EQ(passing, 10); // 5716 units of rows 574 apart
}

// --- Contour arcs, the run's limits -----------------------------------------------------------------

TEST_F(Flood, RoundPadGetsOneFullContourArcOnce) {
    box(0, 0, kInch, kInch);
    pad(kTop, kInch / 2, kInch / 2, kOvalSmt, "X", 2000, 2000);
    pad(kTop, kInch / 4, kInch / 4, kOvalSmt, "X", 1000, 1000);
    // The Block already holds an Arc of that centre and radius on the layer: no second ring there.
    Ref old = model::MakeItem(ring(), model::kArc, kTop, 100, kInch / 4, kInch / 4, 500 + 983, 0);
    fill();
    std::vector<Ref> arcs;
    for (Ref a : made_of(model::kArc)) {
        if (node(a).arc.radius == 1983 || node(a).arc.radius == 1483) { // pad contours, not the old Arc's own
            arcs.push_back(a);
        }
    }
    ASSERT_EQ(arcs.size(), 1u);
    EXPECT_EQ(node(arcs[0]).arc.x0, kInch / 2);
    EXPECT_EQ(node(arcs[0]).arc.radius, 1000 + 655 + 328);
    EXPECT_EQ(node(arcs[0]).arc.sweep, 0);
    EXPECT_EQ(node(arcs[0]).size, kTen);
    (void)old;
}

TEST_F(Flood, OutOfNodesKeepsWhatWasLaidAsTheGroup) {
    box(0, 0, kInch, kInch);
    track(kTop, kInch / 2, -kInch, kInch / 2, 2 * kInch, 800, "A");
    model::NodePool& pool = m->pool;
    pool.set_block_limit(pool.block_count());
    std::vector<Ref> eaten;
    while (pool.free_count() > 120) {
        eaten.push_back(model::AllocNode());
    }
    FillResult res = fill();
    EXPECT_TRUE(res.out_of_nodes);
    EXPECT_GT(res.created, 20);
    EXPECT_EQ(static_cast<int>(made().size()), res.created);
    EXPECT_EQ(edit::undo_groups(*d), 1);
    for (Ref r : eaten) {
        model::ReleaseNode(r);
    }
    edit::undo(*d, nullptr);
    EXPECT_EQ(all_items(), before);
}

TEST_F(Flood, MarksAreLeftAsTheyWereAndCancelStopsAtOnce) {
    box(0, 0, kInch, kInch);
    Ref picked = track(kTop, kInch / 2, -kInch, kInch / 2, 2 * kInch, 800, "A");
    node(picked).kind |= model::kMarkFlag; // selected by the user
    fill();
    EXPECT_TRUE(node(picked).marked());
    node(picked).kind &= static_cast<uint8_t>(~model::kMarkFlag);
    EXPECT_FALSE(any_marked());
    platform::RunContext ctx(ui);
    ctx.cancel();
    FillResult res = fill(FillMode::Flood, &ctx);
    EXPECT_TRUE(res.cancelled);
    EXPECT_EQ(res.created, 0);
    EXPECT_FALSE(any_marked());
}

// --- Generated boards: an independent clearance check and the plain walk as the oracle ------------------

constexpr double kPi = 3.14159265358979323846;

struct V {
    double x, y;
};

double point_segment(V p, V a, V b) {
    double ux = b.x - a.x, uy = b.y - a.y, len2 = ux * ux + uy * uy;
    double t = len2 > 0 ? std::clamp(((p.x - a.x) * ux + (p.y - a.y) * uy) / len2, 0.0, 1.0) : 0;
    return std::hypot(p.x - a.x - t * ux, p.y - a.y - t * uy);
}

double orient(V a, V b, V c) {
    return (b.x - a.x) * (c.y - a.y) - (b.y - a.y) * (c.x - a.x);
}

double segment_segment(V a, V b, V c, V d) {
    double o1 = orient(a, b, c), o2 = orient(a, b, d), o3 = orient(c, d, a), o4 = orient(c, d, b);
    if (((o1 < 0 && o2 > 0) || (o1 > 0 && o2 < 0)) && ((o3 < 0 && o4 > 0) || (o3 > 0 && o4 < 0))) {
        return 0;
    }
    return std::min({point_segment(a, c, d), point_segment(b, c, d), point_segment(c, a, b), point_segment(d, a, b)});
}

// An Item's centre line as segments (an Arc by 256 chords per turn), with the half width it adds.
std::vector<std::pair<V, V>> centre_line(Ref r, double& half) {
    const model::Node& n = node(r);
    std::vector<std::pair<V, V>> out;
    half = n.size / 2.0;
    if (n.item_kind() == model::kLine) {
        out.push_back({V{double(n.line.x1), double(n.line.y1)}, V{double(n.line.x2), double(n.line.y2)}});
    } else if (n.item_kind() == model::kArc) {
        // A circle's turn adds to its start; an ellipse (minor axis ratio e) is turned as a whole.
        double e = n.arc.ellipse == 0 ? 1 : n.arc.ellipse / 65536.0, turn = n.arc.angle * 2 * kPi / 65536;
        double a0 = (n.arc.ellipse == 0 ? n.arc.start + n.arc.angle : n.arc.start) * 2 * kPi / 65536;
        double sweep = (n.arc.sweep == 0 ? 65536 : n.arc.sweep) * 2 * kPi / 65536, R = std::abs(n.arc.radius);
        auto at = [&](double t) {
            double x = R * std::cos(t), y = R * std::sin(t) * e;
            if (n.arc.ellipse != 0) {
                return V{n.arc.x0 + x * std::cos(turn) - y * std::sin(turn),
                         n.arc.y0 + x * std::sin(turn) + y * std::cos(turn)};
            }
            return V{n.arc.x0 + x, n.arc.y0 + y};
        };
        int steps = std::max(2, static_cast<int>(sweep / (2 * kPi) * 512));
        for (int i = 0; i < steps; ++i) {
            out.push_back({at(a0 + sweep * i / steps), at(a0 + sweep * (i + 1) / steps)});
        }
    }
    return out;
}

bool inside_polygon(V p, const std::vector<V>& poly) {
    bool in = false;
    for (size_t i = 0, j = poly.size() - 1; i < poly.size(); j = i++) {
        if ((poly[i].y > p.y) != (poly[j].y > p.y) &&
            p.x < (poly[j].x - poly[i].x) * (p.y - poly[i].y) / (poly[j].y - poly[i].y) + poly[i].x) {
            in = !in;
        }
    }
    return in;
}

// The distance from a segment to an obstacle's copper (0 inside), and which isolation applies.
double copper_distance(Ref r, V a, V b, bool& is_pad) {
    const model::Node& n = node(r);
    is_pad = n.item_kind() == model::kPad;
    if (is_pad) {
        const model::PadFields& f = n.pad;
        double w = f.width, h = f.height, c = std::cos(f.angle * 2 * kPi / 65536),
               s = std::sin(f.angle * 2 * kPi / 65536);
        auto at = [&](double x, double y) { return V{f.x0 + x * c - y * s, f.y0 + x * s + y * c}; };
        if ((n.size & 3) == 2) {
            std::vector<V> q = {at(-w / 2, -h / 2), at(w / 2, -h / 2), at(w / 2, h / 2), at(-w / 2, h / 2)};
            if (inside_polygon(a, q)) {
                return 0;
            }
            double d = 1e18;
            for (size_t i = 0; i < 4; ++i) {
                d = std::min(d, segment_segment(a, b, q[i], q[(i + 1) % 4]));
            }
            return d;
        }
        double e = std::abs(w - h) / 2;
        V p1 = w >= h ? at(-e, 0) : at(0, -e), p2 = w >= h ? at(e, 0) : at(0, e);
        return std::max(0.0, segment_segment(a, b, p1, p2) - std::min(w, h) / 2);
    }
    if (n.item_kind() == model::kLine && n.size == 0) {
        std::vector<V> poly;
        double d = 1e18;
        for (Ref v = n.link; v != model::kNone; v = node(v).link) {
            const model::LineFields& e = node(v).line;
            poly.push_back(V{double(e.x1), double(e.y1)});
            d = std::min(d, segment_segment(a, b, V{double(e.x1), double(e.y1)}, V{double(e.x2), double(e.y2)}));
        }
        return inside_polygon(a, poly) ? 0 : d;
    }
    double half = 0, d = 1e18;
    for (auto& [c, e] : centre_line(r, half)) {
        d = std::min(d, segment_segment(a, b, c, e));
    }
    return std::max(0.0, d - half);
}

struct Busy : Flood {
    // The generated board plus top-layer copper of every kind: Texts, Arcs, a Solid, turned and tall pads,
    // surface pads of the pour's Signal.
    void busy(unsigned seed) {
        generate(ring(), seed, 24);
        std::mt19937 rng(seed);
        auto at = [&](int inches10) {
            return static_cast<Coord>(rng() % static_cast<unsigned>(inches10 * kInch / 10));
        };
        for (int i = 0; i < 6; ++i) {
            Ref label = text(kTop, at(30), at(30), 3000, "TXT" + std::to_string(i));
            node(label).text.angle = static_cast<model::Angle>(i * 9000);
            node(label).text.anchor_font = static_cast<uint8_t>(i * 3 % 16);
            Ref a = model::MakeItem(ring(), model::kArc, kTop, 600, at(30), at(30), 2000 + at(2), 0);
            node(a).arc.sweep = static_cast<model::Angle>(i % 2 ? 0 : 20000);
            node(a).arc.start = static_cast<model::Angle>(rng());
            model::AttachSignal(a, "S" + std::to_string(i));
            if (i == 4) {
                node(a).arc.ellipse = 30000; // an ellipse, turned
                node(a).arc.angle = 5000;
            }
            Ref p = pad(kTop, at(30), at(30), i % 2 ? kRectSmt : kOvalSmt, "GND", 3000, 1500);
            node(p).pad.angle = static_cast<model::Angle>(rng());
            pad(kTop, at(30), at(30), kOvalSmt, i % 3 ? "S2" : "GND", 1200, 3400);
            Ref t = track(kTop, at(30), at(30), at(30), at(30), 700, i % 2 ? "GND" : nullptr);
            (void)t;
        }
        Ref solid = model::MakeItem(ring(), model::kLine, kTop, 0, 0, 0, 0, 0);
        Coord sx = in(1.3), sy = in(1.1);
        for (Point p : {Point{sx, sy}, Point{sx + 9000, sy + 2000}, Point{sx + 5000, sy + 4000},
                        Point{sx + 7000, sy + 9000}, Point{sx - 1000, sy + 6000}}) {
            model::add_vertex(solid, p.x, p.y);
        }
    }

    // Every new Item keeps Ti from the other nets' tracks, Arcs and Solids and Pi from their pads; every pad
    // of the pour's Signal in the Block is joined by a spoke or was reported.
    void check_clearances(const std::string& pour) {
        const double tol = 2;
        std::vector<Ref> others;
        model::walk_tree(ring(), [&](Ref r, int) {
            const model::Node& n = node(r);
            uint8_t k = n.item_kind();
            bool thru = k == model::kPad && (n.size & 7) >= 1 && (n.size & 7) <= 3;
            int layer = thru ? 0 : n.layer;
            bool copper = k == model::kLine || k == model::kArc || k == model::kPad;
            if (copper && before.count(r) && (layer == kTop || layer == 0) &&
                model::signal_name(model::item_signal(r)) != pour) {
                others.push_back(r);
            }
        });
        // A box around each obstacle's copper, wide enough for any isolation here, so far ones are skipped.
        std::vector<model::Box> near(others.size());
        for (size_t i = 0; i < others.size(); ++i) {
            model::hit_extent(node(others[i]), near[i]);
            near[i].grow(4000);
        }
        int checked = 0;
        for (Ref r : made()) {
            double half = 0;
            for (auto& [a, b] : centre_line(r, half)) {
                model::Box sb;
                sb.add(static_cast<int64_t>(a.x), static_cast<int64_t>(a.y));
                sb.add(static_cast<int64_t>(b.x), static_cast<int64_t>(b.y));
                for (size_t i = 0; i < others.size(); ++i) {
                    Ref o = others[i];
                    if (!near[i].meets(sb)) {
                        continue;
                    }
                    bool is_pad = false;
                    double gap = copper_distance(o, a, b, is_pad) - half;
                    double need = is_pad ? set.iso_pads : set.iso_lines;
                    ASSERT_GE(gap, need - tol) << "new " << describe(r) << "obstacle " << describe(o);
                    ++checked;
                }
            }
        }
        EXPECT_GT(checked, 200);
    }
};

TEST_F(Busy, NewCopperKeepsBothIsolationsFromOtherNets) {
    busy(7);
    set.thermal = "GND";
    set.iso_lines = 500;
    set.iso_pads = 800;
    box(in(0.2), in(0.3), in(2.9), in(3.2));
    FillResult res = fill();
    ASSERT_GT(res.created, 500);
    check_clearances("GND");
    // Each GND pad inside the Block has a spoke ending at its centre (or an end centre) or was reported.
    int pads = 0, joined = 0;
    for (Ref p : before) {
        const model::Node& n = node(p);
        if (n.item_kind() != model::kPad || model::signal_name(model::item_signal(p)) != "GND" ||
            !edit::point_in_block(block, Point{n.pad.x0, n.pad.y0})) {
            continue;
        }
        ++pads;
        double e = std::abs(n.pad.width - n.pad.height) / 2.0 + 2;
        for (Ref l : made_of(kLine)) {
            Seg s = seg(l);
            if (std::hypot(s.x1 - n.pad.x0, s.y1 - n.pad.y0) <= e) {
                ++joined;
                break;
            }
        }
    }
    EXPECT_GT(pads, 3);
    EXPECT_EQ(joined + res.unconnected, pads);

    // A polygonal Block on another board, the first pad's Signal: the same, and every Line inside it.
    fresh();
    busy(11);
    set.thermal = "";
    set.iso_lines = set.iso_pads = 700;
    std::vector<Point> outline = {
        {in(0.3), in(0.2)}, {in(2.5), in(0.6)}, {in(2.2), in(2.9)}, {in(1.1), in(2.0)}, {in(0.4), in(3.1)}};
    polygon(outline);
    ASSERT_GT(fill().created, 200);
    check_clearances(model::signal_name(model::item_signal(made().front())));
    std::vector<V> poly;
    for (Point p : outline) {
        poly.push_back(V{double(p.x), double(p.y)});
    }
    for (Ref l : made_of(kLine)) {
        Seg s = seg(l);
        EXPECT_TRUE(inside_polygon(V{double(s.x1), double(s.y1)}, poly)) << describe(l);
    }
}

// The spans give exactly the Lines the plain walk gives, Arcs included, on boards of every kind of copper.
TEST_F(Busy, FastWalkLaysWhatThePlainWalkLays) {
    // Odd rounds: a polygonal Block, hatch, a thinner stroke and the first pad's Signal.
    for (int round = 0; round < 4; ++round) {
        std::string lines[2];
        for (int plain = 0; plain < 2; ++plain) {
            fresh();
            busy(3 + round);
            set.thermal = round % 2 ? "" : "GND";
            set.plain = plain != 0;
            set.width = round % 2 ? 400 : kTen;
            if (round % 2) {
                polygon({{in(0.1), in(0.1)}, {in(2.0), in(0.4)}, {in(1.7), in(2.3)}, {in(0.2), in(1.6)}});
            } else {
                box(in(0.1), in(0.2), in(2.3), in(2.6));
            }
            FillResult res = fill(round % 2 ? FillMode::Hatch : FillMode::Flood);
            EXPECT_GT(res.created, 100);
            lines[plain] = describe(made());
        }
        EXPECT_TRUE(lines[0] == lines[1])
            << (round % 2 ? "polygon, hatch" : "rectangle, rows") << " seed " << 3 + round;
    }
}

} // namespace
} // namespace copper_test
