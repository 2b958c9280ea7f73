// bench_raster: the PCL and BMP plots of a board of about 500 000 Items fitted on a letter page at 600 dpi,
// against the 2 s target, with the growth of the peak memory while they run (bands, not the page).
//
//   bench_raster [--board FILE] [--components N] [--reps N] [--keep]
//
// No peer reads or writes PCL on this platform, so the ratio printed is against the target.
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>

#include "bench_support.h"
#include "cam/raster_plot.h"
#include "loaded_board.h"
#include "platform/headless.h"

namespace fs = std::filesystem;
using namespace trazel;

namespace {

constexpr double kTargetMs = 2000;

long peak_kib() {
    struct rusage ru {};
    getrusage(RUSAGE_SELF, &ru);
    return ru.ru_maxrss;
}

} // namespace

int main(int argc, char** argv) {
    bench::Options o{{}, 18600, 3, false, false};
    if (!bench::parse_options(argc, argv, o, "bench_raster")) {
        return 2;
    }
    fs::path work = fs::temp_directory_path() / ("trazel-bench-raster-" + std::to_string(::getpid()));
    fs::create_directories(work);
    std::string file = o.board.empty() ? bench::gen_board(o.components, work / "board.pcb", 1) : o.board;
    bench::Loaded b;
    if (file.empty() || !b.open(file)) {
        std::fprintf(stderr, "bench_raster: no board (gen_board missing?)\n");
        return 1;
    }
    // Every layer in use plots, in its screen colour when it has no plot colour of its own.
    for (auto& e : b.d->setup.layers) {
        if (e.in_use() && !cam::layer_plotted(e)) {
            e.plot = (e.colour & 0xFFFFFF) != 0 ? e.colour & 0xFFFFFF : 0x808080;
        }
    }
    cam::PlotSettings s;
    s.device = cam::page_device(85 * 65536 / 10, 11 * 65536, 65536 / 4, 600, false);
    s.flags = cam::kPlotExtents | cam::kPlotFit | cam::kPlotCentre;
    platform::Headless hp;
    std::printf("board: %zu Items (%zu Components), read in %.0f ms; letter page at 600 dpi\n", b.items,
                b.components, b.read_ms);

    struct Case {
        const char* name;
        int (*writer)(const model::Document&, const cam::PlotSettings&, cam::TextOut&, platform::RunContext&);
        cam::PlotColour colour;
    };
    const Case cases[] = {{"PCL mono", cam::write_pcl, cam::PlotColour::Mono},
                          {"PCL planes", cam::write_pcl, cam::PlotColour::Planes},
                          {"BMP mono", cam::write_bmp, cam::PlotColour::Mono},
                          {"BMP 24-bit", cam::write_bmp, cam::PlotColour::Planes}};
    int worse = 0;
    for (const Case& c : cases) {
        s.colour = c.colour;
        std::vector<double> times;
        uint64_t bytes = 0;
        long before = peak_kib();
        for (int r = 0; r < o.reps; ++r) {
            platform::RunContext run(hp);
            cam::TextOut out;
            uint64_t n = 0;
            out.drain = [&n](std::string_view piece) {
                n += piece.size();
                return true;
            };
            double t0 = bench::now_ms();
            if (c.writer(*b.d, s, out, run) != 1) {
                std::fprintf(stderr, "%s failed\n", c.name);
                return 1;
            }
            times.push_back(bench::now_ms() - t0);
            bytes = n;
        }
        double ms = bench::median(times);
        worse += ms > kTargetMs;
        std::printf("%-11s %8.0f ms  %6.1f MB out  peak memory +%ld MB  target/time %.2fx\n", c.name, ms,
                    static_cast<double>(bytes) / 1e6, (peak_kib() - before) / 1024, kTargetMs / ms);
    }
    if (!o.keep && o.board.empty()) {
        std::error_code ec;
        fs::remove_all(work, ec);
    }
    if (worse > 0) {
        std::printf("%d of the plots took longer than the target\n", worse);
    }
    return 0;
}
