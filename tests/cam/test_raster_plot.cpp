// The raster plots: method 2 rows worked by hand, the PCL job read back by a reader of our own and compared
// bit for bit with the rendered page, the per-band lists against the plain walk, the paper colours, and
// the PWG page on its sheet.
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>

#include "cam/raster_plot.h"
#include "cam_fixture.h"
#include "model/chooser.h"
#include "platform/headless.h"

namespace {

using namespace trazel;
using camtest::mil;
using model::Coord;
using model::Ref;

constexpr Coord kIn = 65536;

std::vector<uint8_t> bytes(const std::string& s) {
    return std::vector<uint8_t>(s.begin(), s.end());
}

std::string packed(std::vector<uint8_t> row) {
    std::string out;
    cam::pack_row(row.data(), row.size(), out);
    return out;
}

// Method 2 by hand: a count byte n of 0..127 takes n + 1 literal bytes, 129..255 repeats the next byte
// 257 - n times; 128 does nothing.
std::vector<uint8_t> unpack(const std::string& s) {
    std::vector<uint8_t> out;
    for (size_t i = 0; i < s.size();) {
        uint8_t n = static_cast<uint8_t>(s[i++]);
        if (n < 128) {
            for (int k = 0; k <= n && i < s.size(); ++k) {
                out.push_back(static_cast<uint8_t>(s[i++]));
            }
        } else if (n > 128 && i < s.size()) {
            out.insert(out.end(), static_cast<size_t>(257 - n), static_cast<uint8_t>(s[i++]));
        }
    }
    return out;
}

TEST(PclPacking, HandWorkedRecords) {
    EXPECT_EQ(packed({0, 0, 0, 0}), "");                                     // all zero: count 0
    EXPECT_EQ(bytes(packed({1, 2, 0, 0})), (std::vector<uint8_t>{1, 1, 2}));    // trailing zeros dropped
    EXPECT_EQ(bytes(packed({7, 7, 7, 7, 1})), (std::vector<uint8_t>{253, 7, 0, 1}));
    EXPECT_EQ(bytes(packed({5, 5, 9})), (std::vector<uint8_t>{2, 5, 5, 9})); // a pair stays literal
    EXPECT_EQ(bytes(packed({0, 0, 0, 3})), (std::vector<uint8_t>{254, 0, 0, 3}));
    // 200 equal bytes: repeats of 128 and 72; 130 different bytes: literals of 128 and 2.
    EXPECT_EQ(bytes(packed(std::vector<uint8_t>(200, 0xAA))), (std::vector<uint8_t>{129, 0xAA, 185, 0xAA}));
    std::vector<uint8_t> row(130);
    for (size_t i = 0; i < row.size(); ++i) {
        row[i] = static_cast<uint8_t>(i + 1);
    }
    std::string p = packed(row);
    ASSERT_EQ(p.size(), 132u);
    EXPECT_EQ(static_cast<uint8_t>(p[0]), 127);
    EXPECT_EQ(static_cast<uint8_t>(p[129]), 1);
    // Random rows of few values come back whole, less their trailing zeros.
    std::mt19937 rng(7);
    for (int t = 0; t < 300; ++t) {
        std::vector<uint8_t> r(rng() % 700);
        for (uint8_t& b : r) {
            b = static_cast<uint8_t>(rng() % 3 == 0 ? rng() : rng() % 2);
        }
        std::vector<uint8_t> want = r;
        while (!want.empty() && want.back() == 0) {
            want.pop_back();
        }
        ASSERT_EQ(unpack(packed(r)), want);
    }
}

// A PCL raster job read back: its commands in order (data commands without their data) and the rows
// decoded, mono rows in plane 0, colour rows as planes C, M, Y.
struct PclJob {
    std::vector<std::string> commands;
    std::vector<std::vector<uint8_t>> rows[3];

    explicit PclJob(const std::string& s) {
        size_t plane = 0;
        for (size_t i = 0; i < s.size();) {
            EXPECT_EQ(s[i], '\x1B') << "stray byte at " << i;
            size_t start = ++i;
            if (s[i] != 'E') {
                i += 2; // parameter and group characters, then the value
                while (i < s.size() && (std::isdigit(static_cast<unsigned char>(s[i])) || s[i] == '-')) {
                    ++i;
                }
            }
            std::string cmd = s.substr(start, ++i - start);
            commands.push_back(cmd);
            if (cmd.rfind("*b", 0) == 0 && (cmd.back() == 'W' || cmd.back() == 'V')) {
                EXPECT_EQ(cmd.size(), 7u) << "count not in four digits: " << cmd;
                size_t n = std::stoul(cmd.substr(2));
                rows[std::min<size_t>(plane, 2)].push_back(unpack(s.substr(i, n)));
                i += n;
                plane = cmd.back() == 'V' ? plane + 1 : 0;
            }
        }
    }
    bool bit(int plane, int row, int col) const {
        const auto& r = rows[plane][static_cast<size_t>(row)];
        size_t b = static_cast<size_t>(col) / 8;
        return b < r.size() && (r[b] & (0x80 >> (col & 7))) != 0;
    }
};

// The whole page window as the renderer draws it.
struct Page {
    int w = 0, h = 0;
    std::vector<uint8_t> bgr;
    uint32_t rgb(int r, int c) const {
        const uint8_t* p = &bgr[3 * (static_cast<size_t>(r) * static_cast<size_t>(w) + static_cast<size_t>(c))];
        return uint32_t{p[2]} << 16 | uint32_t{p[1]} << 8 | p[0];
    }
};

struct RasterBoard : camtest::Board {
    platform::Headless hp;

    void SetUp() override {
        Board::SetUp();
        // Plot colours: copper red (prints cyan), silk white (prints black), layer 0 blue (prints yellow).
        for (const char* l : {"-y0:00000000,000000FF,0,0,Pad Master", "-y1:00FFFFFF,00FFFFFF,0,1,Top Silk",
                              "-y3:00FF0000,00FF0000,2,3,Top Side"}) {
            model::ApplyDirective(s(), l);
        }
    }
    // One inch of the board from (0, 0), at 100 dots per inch on a letter page with quarter-inch margins.
    cam::PlotSettings settings(int dpi = 100) {
        cam::PlotSettings p;
        p.device = cam::page_device(85 * kIn / 10, 11 * kIn, kIn / 4, dpi, false);
        p.xmax = kIn;
        p.ymax = kIn;
        return p;
    }
    std::string run(int (*writer)(const model::Document&, const cam::PlotSettings&, cam::TextOut&,
                                  platform::RunContext&),
                    const cam::PlotSettings& p) {
        platform::RunContext ctx(hp);
        cam::TextOut out;
        EXPECT_EQ(writer(*d, p, out, ctx), 1);
        return out.data;
    }
    Page page(const cam::PlotSettings& p) {
        cam::BandRenderer br(*d, p);
        Page pg{br.frame().width, br.frame().height, {}};
        pg.bgr.resize(3 * static_cast<size_t>(pg.w) * static_cast<size_t>(pg.h));
        br.set_band_rows(pg.h);
        br.render(0, pg.h, pg.bgr.data());
        return pg;
    }
    void populate() {
        line(3, mil(20), mil(100), mil(100), mil(900), mil(700));
        line(1, mil(30), mil(50), mil(950), mil(950), mil(950));
        pad(0, 1, mil(500), mil(500), mil(100), mil(100), mil(40));
        pad(3, 6, mil(200), mil(800), mil(120), mil(60), 0);
        arc(3, mil(15), mil(700), mil(300), mil(150), 0, 40000);
        text(1, mil(80), mil(100), mil(400), "R12");
        solid(3, {{mil(600), mil(600)}, {mil(900), mil(600)}, {mil(750), mil(900)}});
    }
};

TEST_F(RasterBoard, PclJobHoldsThePageBitForBit) {
    populate();
    cam::PlotSettings p = settings();
    p.flags = cam::kPlotCentre;
    PclJob mono(run(cam::write_pcl, p));
    // A 1-inch window centred on the 8 x 10.5 inch printable area: 350 and 475 pixels in, as 300-dpi units.
    std::vector<std::string> head(mono.commands.begin(), mono.commands.begin() + 8);
    EXPECT_EQ(head, (std::vector<std::string>{"E", "&l0O", "&l0E", "*p1050X", "*p1425Y", "*t100R", "*r1A", "*b2M"}));
    EXPECT_EQ(mono.commands[mono.commands.size() - 2], "*rB");
    EXPECT_EQ(mono.commands.back(), "E");
    // A row of paper only is sent with a count of 0.
    EXPECT_NE(std::find(mono.commands.begin(), mono.commands.end(), "*b0000W"), mono.commands.end());
    p.colour = cam::PlotColour::Planes;
    PclJob planes(run(cam::write_pcl, p));
    EXPECT_EQ(planes.commands[5], "*r-3U");
    EXPECT_EQ(std::vector<std::string>(planes.commands.begin() + 9, planes.commands.begin() + 15),
              (std::vector<std::string>{"*v2S", planes.commands[10], "*v4S", planes.commands[12], "*v8S",
                                        planes.commands[14]}));
    Page pg = page(p);
    ASSERT_EQ(mono.rows[0].size(), 100u);
    ASSERT_EQ(planes.rows[2].size(), 100u);
    int inked = 0;
    for (int r = 0; r < 100; ++r) {
        for (int c = 0; c < 100; ++c) {
            uint32_t v = pg.rgb(r, c);
            ASSERT_EQ(mono.bit(0, r, c), v != 0xFFFFFF) << r << "," << c;
            // Cyan, magenta, yellow: red, green, blue below half.
            for (int k = 0; k < 3; ++k) {
                ASSERT_EQ(planes.bit(k, r, c), ((v >> (16 - 8 * k)) & 0xFF) < 128) << r << "," << c;
            }
            inked += v != 0xFFFFFF;
        }
    }
    EXPECT_GT(inked, 500);
    // Cancelled before the first band: no row goes out, and the run says it failed.
    platform::RunContext cancelled(hp);
    cancelled.cancel();
    cam::TextOut none;
    EXPECT_EQ(cam::write_pcl(*d, p, none, cancelled), 0);
    EXPECT_EQ(PclJob(none.data).commands.back(), "*b2M");
}

TEST_F(RasterBoard, PaperColoursHolesAndOmissions) {
    populate();
    // Marked Items print in their own colour, not the highlight.
    model::node(line(3, mil(40), mil(0), mil(50), mil(1000), mil(50))).kind |= model::kMarkFlag;
    cam::PlotSettings p = settings();
    Page pg = page(p);
    EXPECT_EQ(pg.rgb(50, 46), 0xFFFF00u); // pad master blue complemented
    EXPECT_EQ(pg.rgb(50, 50), 0xFFFFFFu); // the hole
    EXPECT_EQ(pg.rgb(4, 50), 0x000000u);  // white silk prints black
    EXPECT_EQ(pg.rgb(95, 20), 0x00FFFFu); // the marked track
    EXPECT_EQ(pg.rgb(99, 99), 0xFFFFFFu);
    p.flags = cam::kPlotKeepColours | cam::kPlotNoHoles;
    Page kept = page(p);
    EXPECT_EQ(kept.rgb(50, 46), 0x0000FFu);
    EXPECT_EQ(kept.rgb(50, 50), 0x0000FFu); // no hole
    EXPECT_EQ(kept.rgb(4, 50), 0xFFFFFFu);  // white silk on white paper
    p.flags = cam::kPlotNoPads;
    EXPECT_EQ(page(p).rgb(50, 46), 0xFFFFFFu);
}

TEST_F(RasterBoard, BandListsGiveTheBitsOfThePlainWalk) {
    // Many Items of every kind, a Component with members, spread over and beyond the window.
    std::mt19937 rng(11);
    auto any = [&](int lo, int hi) { return static_cast<Coord>(mil(lo + static_cast<int>(rng() % (hi - lo)))); };
    Ref comp = model::make_component(ring(), 1, 0, "U1");
    for (int i = 0; i < 70; ++i) {
        line(3, any(1, 60), any(-200, 1200), any(-200, 1200), any(-200, 1200), any(-200, 1200));
        pad(0, 1 + i % 2, any(-100, 1100), any(-100, 1100), any(10, 120), any(10, 120), any(0, 30),
            static_cast<model::Angle>(rng()));
        arc(3, any(1, 30), any(0, 1000), any(0, 1000), any(10, 400), static_cast<model::Angle>(rng()),
            static_cast<model::Angle>(rng()));
        text(1, any(20, 200), any(-100, 1000), any(-100, 1000), "AB8");
        line(1, any(1, 30), any(0, 1000), any(0, 1000), any(0, 1000), any(0, 1000), model::member_ring(comp));
        solid(3, {{any(0, 1000), any(0, 1000)}, {any(0, 1000), any(0, 1000)}, {any(0, 1000), any(0, 1000)}});
    }
    model::close_component(comp);
    // A centred Text whose stored length is stale: the plot lays it out by that length and leaves it so.
    Ref stale = text(1, mil(100), mil(500), mil(500), "CENTRED");
    model::node(stale).text.anchor_font = 1;
    cam::PlotSettings p = settings(150);
    cam::BandRenderer banded(*d, p), plain(*d, p, true);
    ASSERT_EQ(banded.frame().width, 150);
    for (int rows : {1, 7, 64}) {
        banded.set_band_rows(rows);
        plain.set_band_rows(rows);
        std::vector<uint8_t> a(3 * 150 * static_cast<size_t>(rows)), b(a.size());
        for (int top = 0; top < banded.frame().height; top += rows) {
            int n = std::min(rows, banded.frame().height - top);
            banded.render(top, n, a.data());
            plain.render(top, n, b.data());
            ASSERT_EQ(a, b) << "band at row " << top << " of " << rows;
        }
    }
    EXPECT_EQ(model::node(stale).text.length, 1);
}

TEST_F(RasterBoard, PwgPageHoldsTheBitmapOnTheSheet) {
    populate();
    cam::PlotSettings p = settings(50);
    p.colour = cam::PlotColour::Planes;
    std::string pwg = run(cam::write_pwg, p);
    Page pg = page(p);
    ASSERT_GT(pwg.size(), 1800u);
    ASSERT_EQ(pwg.substr(0, 13), std::string("RaS2PwgRaster"));
    auto be = [&](size_t at) {
        const unsigned char* q = reinterpret_cast<const unsigned char*>(pwg.data()) + 4 + at;
        return uint32_t{q[0]} << 24 | uint32_t{q[1]} << 16 | uint32_t{q[2]} << 8 | q[3];
    };
    EXPECT_EQ(be(352), 612u); // letter in points
    EXPECT_EQ(be(356), 792u);
    ASSERT_EQ(be(372), 425u); // 8.5 inches at 50 dpi
    ASSERT_EQ(be(376), 550u);
    EXPECT_EQ(be(400), 19u); // sRGB
    // Decode the lines: a repeat count, then pixel records (0..127 repeat, 129..255 literal).
    std::vector<std::vector<uint32_t>> sheet;
    for (size_t i = 4 + 1796; i < pwg.size();) {
        int times = static_cast<uint8_t>(pwg[i++]) + 1;
        std::vector<uint32_t> line;
        while (line.size() < 425 && i < pwg.size()) {
            int n = static_cast<uint8_t>(pwg[i++]);
            auto px = [&] { // three bytes from i (the string's closing zero may be the fourth read)
                uint32_t v = be(i - 4) >> 8;
                i += 3;
                return v;
            };
            if (n < 128) {
                line.insert(line.end(), static_cast<size_t>(n + 1), px());
            }
            for (int k = 0; n > 128 && k < 257 - n; ++k) {
                line.push_back(px());
            }
        }
        ASSERT_EQ(line.size(), 425u);
        sheet.insert(sheet.end(), static_cast<size_t>(times), line);
    }
    ASSERT_EQ(sheet.size(), 550u);
    // The window sits in the printable area's bottom left corner.
    int x0 = static_cast<int>(p.device.offset_x), y0 = static_cast<int>(p.device.offset_y + p.device.vert_res - 50);
    int inked = 0;
    for (int r = 0; r < 550; ++r) {
        for (int c = 0; c < 425; ++c) {
            bool inside = r >= y0 && r < y0 + 50 && c >= x0 && c < x0 + 50;
            uint32_t want = inside ? pg.rgb(r - y0, c - x0) : 0xFFFFFF;
            ASSERT_EQ(sheet[static_cast<size_t>(r)][static_cast<size_t>(c)], want) << r << "," << c;
            inked += want != 0xFFFFFF;
        }
    }
    EXPECT_GT(inked, 100);
}

// The Data file fuzzer's seeds with every layer plotted, fitted and at 1:1 with holes: no raster path may
// crash, and each finishes its output.
TEST(RasterWriters, FuzzCorpusFiles) {
    model::Model m;
    model::FormatTable formats;
    model::register_model_formats(formats);
    platform::Headless ui;
    platform::install(&ui);
    platform::RunContext run(ui);
    int files = 0;
    for (const auto& e :
         std::filesystem::directory_iterator(std::string(TRAZEL_SOURCE_DIR) + "/fuzz/corpus/fuzz_datafile")) {
        std::ifstream f(e.path(), std::ios::binary);
        std::string data((std::istreambuf_iterator<char>(f)), {});
        ASSERT_NE(model::NewDocument("fuzz.pcb"), nullptr);
        model::open_document_bytes(formats, data, 0);
        model::Document* d = m.current;
        for (auto& l : d->setup.layers) {
            l.plot = 0x00102030u;
            if (!l.in_use()) {
                std::strcpy(l.name, "L");
            }
        }
        for (uint16_t flags : {uint16_t{cam::kPlotFit | cam::kPlotCentre}, uint16_t{cam::kPlotExtents}}) {
            cam::PlotSettings p;
            p.flags = flags;
            p.colour = flags & cam::kPlotFit ? cam::PlotColour::Planes : cam::PlotColour::Mono;
            p.device = cam::page_device(4 * kIn, 3 * kIn, kIn / 8, 40, false);
            for (auto writer : {cam::write_pcl, cam::write_bmp, cam::write_pwg}) {
                cam::TextOut out;
                EXPECT_EQ(writer(*d, p, out, run), 1) << e.path();
            }
            cam::TextOut pcl;
            cam::write_pcl(*d, p, pcl, run);
            EXPECT_TRUE(pcl.data.ends_with("\x1B*rB\x1B" "E")) << e.path();
        }
        model::close_document(m.current);
        ++files;
    }
    EXPECT_GE(files, 5);
    platform::install(nullptr);
}

} // namespace
