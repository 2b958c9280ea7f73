// Printing through a real CUPS: a private cupsd on a socket of its own with a PDF printer queue.  The
// PostScript and DIB jobs come out as PDF pages that pdftoppm renders at the size of our sheet, inked where
// our own raster of the same page is inked; a queue that does not exist is refused with CUPS's words.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include "cam/raster_plot.h"
#include "edit/board_build.h"
#include "interop/picture_mask.h"
#include "platform/headless.h"
#include "platform/print.h"

namespace {

namespace fs = std::filesystem;
namespace cam = trazel::cam;
namespace model = trazel::model;
namespace platform = trazel::platform;

constexpr const char* kPpd = "/usr/share/ppd/cups-pdf/CUPS-PDF_opt.ppd";

int sh(const std::string& cmd) {
    return std::system(cmd.c_str());
}

// One cupsd for the whole suite, its files in a directory of its own.
struct Spooler {
    fs::path dir;
    std::string queue, why_not; // why_not: set when the suite cannot run
    pid_t pid = -1;

    void start() {
        if (sh("(command -v cupsd && command -v lpadmin && command -v pdftoppm) >/dev/null 2>&1") != 0 || !fs::exists(kPpd) ||
            !fs::exists("/usr/lib/cups/backend/cups-pdf")) {
            why_not = "cupsd, cups-pdf or pdftoppm is not installed";
            return;
        }
        queue = "trazel" + std::to_string(::getpid());
        dir = fs::temp_directory_path() / ("trazel-cups-" + std::to_string(::getpid()));
        for (const char* sub : {"spool", "cache", "state", "tmp", "pdf", "ppd"}) {
            fs::create_directories(dir / sub);
        }
        // Filters run as the spooler's user and write their temporary files here.
        fs::permissions(dir / "tmp", fs::perms::all | fs::perms::sticky_bit);
        std::string d = dir.string();
        std::ofstream(dir / "cupsd.conf") << "Listen " << d << "/cups.sock\nWebInterface No\nBrowsing No\n"
                                          << "DefaultAuthType None\n<Location />\nOrder allow,deny\nAllow all\n"
                                          << "</Location>\n<Policy default>\n<Limit All>\nOrder allow,deny\n"
                                          << "Allow all\n</Limit>\n</Policy>\n";
        std::ofstream(dir / "cups-files.conf") << "ServerRoot " << d << "\nRequestRoot " << d << "/spool\nCacheDir "
                                               << d << "/cache\nStateDir " << d << "/state\nTempDir " << d
                                               << "/tmp\nErrorLog " << d << "/error_log\nSystemGroup root\n";
        // cups-pdf reads a queue's settings only from /etc/cups, chosen by the queue named in its URI.
        if (!(std::ofstream("/etc/cups/cups-pdf-" + queue + ".conf") << "Out " << d << "/pdf\n")) {
            why_not = "cups-pdf's settings in /etc/cups cannot be written";
            return;
        }
        sh("cupsd -f -c " + d + "/cupsd.conf -s " + d + "/cups-files.conf >" + d + "/cupsd.out 2>&1 & echo $! >" +
           d + "/pid");
        std::ifstream(dir / "pid") >> pid;
        setenv("CUPS_SERVER", (d + "/cups.sock").c_str(), 1);
        for (int i = 0; i < 100 && !fs::exists(dir / "cups.sock"); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        if (!fs::exists(dir / "cups.sock") ||
            sh("lpadmin -p " + queue + " -E -v cups-pdf:/" + queue + " -P " + kPpd + " >/dev/null 2>&1") != 0) {
            why_not = "the private cupsd did not start";
        }
    }
    void stop() {
        if (pid > 0) {
            // Not our child (the shell started it): wait until it is gone.
            kill(pid, SIGTERM);
            for (int i = 0; i < 50 && kill(pid, 0) == 0; ++i) {
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            }
        }
        if (!queue.empty()) {
            std::error_code ec;
            fs::remove("/etc/cups/cups-pdf-" + queue + ".conf", ec);
            fs::remove_all(dir, ec);
        }
    }
    // Waits for the queue to finish its jobs and returns the PDF they made (the directory starts empty).
    fs::path wait_pdf() {
        for (int i = 0; i < 300; ++i) {
            bool idle = sh("lpstat -W not-completed -o " + queue + " 2>/dev/null | grep -q .") != 0;
            fs::directory_iterator it(dir / "pdf");
            if (idle && (it != fs::directory_iterator() || i >= 30)) {
                return it != fs::directory_iterator() ? it->path() : fs::path();
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return {};
    }
};

Spooler* g_spooler = nullptr;

struct CupsPrint : ::testing::Test {
    static void SetUpTestSuite() {
        g_spooler = new Spooler;
        g_spooler->start();
    }
    static void TearDownTestSuite() {
        g_spooler->stop();
        delete g_spooler;
        g_spooler = nullptr;
    }

    model::Model m;
    model::Document* d = nullptr;
    platform::Headless hp;

    void SetUp() override {
        if (!g_spooler->why_not.empty()) {
            GTEST_SKIP() << g_spooler->why_not;
        }
        d = model::NewDocument("board.pcb");
        ASSERT_NE(d, nullptr);
        edit_test::apply_board_setup();
        for (const char* l : {"-y0:00FFFF00,000000FF,0,0,Pad Master", "-y1:00FFFFFF,00FFFFFF,0,1,Top Silk",
                              "-y3:00FF0000,00FF0000,18,3,Top Side", "-y4:000000FF,0000FF00,42,4,Bottom Side"}) {
            model::ApplyDirective(l);
        }
        edit_test::generate_board(d->ring(), 5, 12);
    }
    cam::PlotSettings settings(cam::PlotFormat f) {
        cam::PlotSettings s;
        s.format = f;
        s.flags = cam::kPlotExtents;
        s.colour = cam::PlotColour::Planes;
        s.device = cam::page_device(85 * 65536 / 10, 11 * 65536, 65536 / 4, 100, false);
        s.title = "board";
        return s;
    }
    // Our own raster of the page on the whole sheet, as a mask of inked pixels.
    Mask our_sheet(const cam::PlotSettings& s) {
        cam::BandRenderer br(*d, s);
        const cam::RasterFrame& f = br.frame();
        Mask mk;
        mk.w = static_cast<int>(s.device.phys_w);
        mk.h = static_cast<int>(s.device.phys_h);
        mk.on.assign(static_cast<size_t>(mk.w) * mk.h, 0);
        std::vector<uint8_t> row(3 * static_cast<size_t>(f.width));
        br.set_band_rows(1);
        for (int y = 0; y < f.height; ++y) {
            br.render(y, 1, row.data());
            for (int x = 0; x < f.width; ++x) {
                const uint8_t* p = &row[3 * static_cast<size_t>(x)];
                int sx = static_cast<int>(s.device.offset_x) + f.left + x;
                int sy = static_cast<int>(s.device.offset_y) + f.top + y;
                if ((p[0] & p[1] & p[2]) != 255 && sx < mk.w && sy < mk.h) {
                    mk.on[static_cast<size_t>(sy) * mk.w + sx] = 1;
                }
            }
        }
        return mk;
    }
    // Prints, waits for the PDF and renders its page at 100 dpi.
    Mask printed(const cam::PlotSettings& s) {
        for (const auto& e : fs::directory_iterator(g_spooler->dir / "pdf")) {
            fs::remove(e.path());
        }
        platform::RunContext run(hp);
        std::string error;
        EXPECT_EQ(cam::print_plot(*d, s, g_spooler->queue, run, error), 1) << error;
        fs::path pdf = g_spooler->wait_pdf();
        Mask mk;
        if (pdf.empty()) {
            std::ifstream log(g_spooler->dir / "error_log");
            std::string text(std::istreambuf_iterator<char>(log), {});
            ADD_FAILURE() << "no PDF came out; the spooler's log ends:\n"
                          << text.substr(text.size() > 3000 ? text.size() - 3000 : 0);
            return mk;
        }
        fs::path png = g_spooler->dir / "page";
        std::string cmd = "pdftoppm -r 100 -png -singlefile '" + pdf.string() + "' '" + png.string() + "'";
        EXPECT_EQ(std::system(cmd.c_str()), 0);
        EXPECT_TRUE(read_mask(png.string() + ".png", {255, 255, 255}, mk));
        return mk;
    }
    void expect_same_page(const cam::PlotSettings& s) {
        Mask ours = our_sheet(s), theirs = printed(s);
        ASSERT_EQ(theirs.w, ours.w);
        ASSERT_EQ(theirs.h, ours.h);
        ASSERT_GT(ours.count(), 1000);
        EXPECT_GE(near_share(ours, theirs), 0.95);
        EXPECT_GE(near_share(theirs, ours), 0.95);
    }
};

TEST_F(CupsPrint, PostScriptJobGivesOurPage) {
    expect_same_page(settings(cam::PlotFormat::PostScript));
}

TEST_F(CupsPrint, DibJobsGiveOurPage) {
    cam::PlotSettings s = settings(cam::PlotFormat::Dib);
    expect_same_page(s);
    s.colour = cam::PlotColour::Mono; // grey pixels
    expect_same_page(s);
}

TEST_F(CupsPrint, RefusedJobsAndDefaultMedia) {
    platform::RunContext run(hp);
    std::string error;
    EXPECT_EQ(cam::print_plot(*d, settings(cam::PlotFormat::Pcl), "no-such-queue", run, error), 0);
    EXPECT_NE(error.find("not exist"), std::string::npos) << error;
    ASSERT_EQ(sh("cupsreject " + g_spooler->queue), 0);
    EXPECT_EQ(cam::print_plot(*d, settings(cam::PlotFormat::Pcl), g_spooler->queue, run, error), 0);
    EXPECT_NE(error.find("not accepting"), std::string::npos) << error;
    sh("cupsaccept " + g_spooler->queue);
    cam::PlotDevice dev;
    ASSERT_TRUE(cam::queue_device(g_spooler->queue, 300, false, dev, error)) << error;
    // The PDF printer's default sheet is A4 or letter, portrait, with its margins inside.
    EXPECT_TRUE(dev.phys_w == 2480 || dev.phys_w == 2550) << dev.phys_w;
    EXPECT_GT(dev.phys_h, dev.phys_w);
    EXPECT_LE(dev.offset_x + dev.horz_res, dev.phys_w);
    EXPECT_LE(dev.offset_y + dev.vert_res, dev.phys_h);
    EXPECT_FALSE(cam::queue_device("no-such-queue", 300, false, dev, error));
}

} // namespace
