// Our plot bitmaps read by ImageMagick: the size is the page window times the resolution, and every pixel
// it reads is the one our renderer drew (rows the right way up, padding skipped, the mono palette right).
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "cam/raster_plot.h"
#include "edit/board_build.h"
#include "platform/headless.h"

namespace {

namespace fs = std::filesystem;
namespace cam = trazel::cam;
namespace model = trazel::model;
namespace platform = trazel::platform;

// A picture as ImageMagick reads it ("W H" and packed RGB bytes); empty when it could not.
std::string magick_read(const fs::path& file, std::string& size) {
    std::string cmd = "identify -format '%w %h' '" + file.string() + "' && convert '" + file.string() +
                      "' -depth 8 rgb:- 2>/dev/null";
    std::FILE* f = popen(cmd.c_str(), "r");
    std::string out;
    char buf[65536];
    for (size_t n; f != nullptr && (n = std::fread(buf, 1, sizeof buf, f)) > 0;) {
        out.append(buf, n);
    }
    if (f != nullptr) {
        pclose(f);
    }
    size_t gap = out.find(' ');
    size_t end = gap == std::string::npos ? 0 : out.find_first_not_of("0123456789", gap + 1);
    size = out.substr(0, end);
    return out.substr(end);
}

TEST(PlotRasterMagick, BitmapsReadAsDrawn) {
    if (std::system("command -v identify >/dev/null 2>&1 && command -v convert >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "ImageMagick is not installed";
    }
    fs::path dir = fs::temp_directory_path() / ("trazel-plot-raster-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    model::Model m;
    model::Document* d = model::NewDocument("board.pcb");
    ASSERT_NE(d, nullptr);
    edit_test::apply_board_setup();
    for (const char* l : {"-y0:00FFFF00,000000FF,0,0,Pad Master", "-y1:00FFFFFF,00FFFFFF,0,1,Top Silk",
                          "-y3:00FF0000,00FF0000,18,3,Top Side", "-y4:000000FF,0000FF00,42,4,Bottom Side"}) {
        model::ApplyDirective(l);
    }
    edit_test::generate_board(d->ring(), 3, 6);
    platform::Headless hp;

    cam::PlotSettings s;
    s.device = cam::page_device(85 * 65536 / 10, 11 * 65536, 65536 / 4, 150, false);
    // 2.1 by 1.3 inches: 315 by 195 pixels, rows of neither format a multiple of four bytes.
    s.xmax = 21 * 65536 / 10;
    s.ymax = 13 * 65536 / 10;
    for (cam::PlotColour colour : {cam::PlotColour::Mono, cam::PlotColour::Planes}) {
        s.colour = colour;
        fs::path file = dir / (colour == cam::PlotColour::Mono ? "mono.bmp" : "colour.bmp");
        platform::RunContext run(hp);
        cam::TextOut out;
        ASSERT_EQ(cam::write_bmp(*d, s, out, run), 1);
        std::ofstream(file, std::ios::binary) << out.data;
        std::string size, rgb = magick_read(file, size);
        EXPECT_EQ(size, "315 195");
        ASSERT_EQ(rgb.size(), 315u * 195 * 3);
        cam::BandRenderer br(*d, s);
        std::vector<uint8_t> page(rgb.size());
        br.set_band_rows(195);
        br.render(0, 195, page.data());
        long inked = 0;
        for (size_t i = 0; i < 315 * 195; ++i) {
            const uint8_t* o = &page[3 * i];
            bool white = (o[0] & o[1] & o[2]) == 255;
            // Mono is black ink on white; colour is the page as drawn (ours blue-green-red).
            uint32_t want = colour == cam::PlotColour::Mono ? (white ? 0xFFFFFFu : 0u)
                                                            : (uint32_t{o[2]} << 16 | uint32_t{o[1]} << 8 | o[0]);
            const auto* t = reinterpret_cast<const uint8_t*>(&rgb[3 * i]);
            ASSERT_EQ(uint32_t{t[0]} << 16 | uint32_t{t[1]} << 8 | t[2], want) << file << " pixel " << i;
            inked += !white;
        }
        EXPECT_GT(inked, 2000);
    }
    std::error_code ec;
    fs::remove_all(dir, ec);
}

} // namespace
