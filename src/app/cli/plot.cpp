// trazel-cli plot: PostScript, HPGL, PCL raster and bitmaps of a file, to a file or a print queue.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "app/cli/cli.h"
#include "cam/hpgl_plot.h"
#include "cam/plot_output.h"
#include "cam/plot_page.h"
#include "cam/postscript.h"
#include "cam/raster_plot.h"

namespace trazel::cli {

namespace {

constexpr const char* kVerb = "plot";

std::string lower(std::string s) {
    for (char& c : s) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return s;
}

// A plain decimal ("0.25", "2", ".5"), finite and within `limit` either way.
bool parse_decimal(const std::string& s, double limit, double& v) {
    char* stop = nullptr;
    v = std::strtod(s.c_str(), &stop);
    return !s.empty() && stop != nullptr && *stop == 0 && std::isfinite(v) && std::fabs(v) <= limit &&
           s.find_first_of("xXeEnN") == std::string::npos;
}

// "X1,Y1,X2,Y2" in inches into Document units.
bool parse_window(const std::string& s, model::Coord (&out)[4]) {
    size_t at = 0;
    for (int i = 0; i < 4; ++i) {
        size_t end = s.find(',', at);
        if ((i < 3) != (end != std::string::npos)) {
            return false;
        }
        double v = 0;
        if (!parse_decimal(s.substr(at, end == std::string::npos ? std::string::npos : end - at), 32767, v)) {
            return false;
        }
        out[i] = static_cast<model::Coord>(std::llround(v * 65536.0));
        at = end + 1;
    }
    return true;
}

// The time a plot says it was made: SOURCE_DATE_EPOCH when set (reproducible output), else now.
int64_t creation_time() {
    if (const char* e = std::getenv("SOURCE_DATE_EPOCH"); e != nullptr && *e != 0) {
        char* end = nullptr;
        long long v = std::strtoll(e, &end, 10);
        if (end != nullptr && *end == 0 && v >= 0) {
            return v;
        }
    }
    return static_cast<int64_t>(std::time(nullptr));
}

struct Options {
    std::string in, out, printer;
    std::string format;
    std::string page = "letter";
    bool page_given = false;
    bool landscape = false;
    double margin = 0.25;
    int dpi = 300;
    std::string window;
    double scale = 0;
    bool fit = false, center = false, mirror = false, keep = false;
    std::string colour;
    bool no_holes = false, no_vias = false, no_pads = false;
    int hpgl_unit = cam::kHpglUnitsPerInch;
};

int parse(int argc, char** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        std::string v;
        bool valued = a == "--format" || a == "--printer" || a == "--page" || a == "--margin" || a == "--dpi" ||
                      a == "--window" || a == "--scale" || a == "--colour" || a == "--hpgl-unit";
        if (valued && !next_value(argc, argv, i, v)) {
            return usage_error(kVerb, a + " needs a value");
        }
        double d = 0;
        if (a == "--format") {
            o.format = lower(v);
        } else if (a == "--printer") {
            o.printer = v;
        } else if (a == "--page") {
            o.page = v;
            o.page_given = true;
        } else if (a == "--margin") {
            if (!parse_decimal(v, 100, d) || d < 0) {
                return usage_error(kVerb, "--margin takes inches, 0 or more");
            }
            o.margin = d;
        } else if (a == "--dpi") {
            if (!parse_decimal(v, 2400, d) || d < 10 || d != std::floor(d)) {
                return usage_error(kVerb, "--dpi takes a whole number from 10 to 2400");
            }
            o.dpi = static_cast<int>(d);
        } else if (a == "--window") {
            o.window = v;
        } else if (a == "--scale") {
            if (!parse_decimal(v, 32767, d) || d <= 0) {
                return usage_error(kVerb, "--scale takes a positive factor");
            }
            o.scale = d;
        } else if (a == "--colour") {
            o.colour = lower(v);
            if (o.colour != "mono" && o.colour != "planes") {
                return usage_error(kVerb, "--colour is mono or planes");
            }
        } else if (a == "--hpgl-unit") {
            if (!parse_decimal(v, 100000, d) || d < 1 || d != std::floor(d)) {
                return usage_error(kVerb, "--hpgl-unit takes plotter units per inch");
            }
            o.hpgl_unit = static_cast<int>(d);
        } else if (a == "--landscape") {
            o.landscape = true;
        } else if (a == "--fit") {
            o.fit = true;
        } else if (a == "--center") {
            o.center = true;
        } else if (a == "--mirror") {
            o.mirror = true;
        } else if (a == "--keep-colours") {
            o.keep = true;
        } else if (a == "--no-holes") {
            o.no_holes = true;
        } else if (a == "--no-vias") {
            o.no_vias = true;
        } else if (a == "--no-pads") {
            o.no_pads = true;
        } else if (a.size() > 1 && a[0] == '-') {
            return usage_error(kVerb, "unknown option " + a);
        } else if (o.in.empty()) {
            o.in = a;
        } else if (o.out.empty()) {
            o.out = a;
        } else {
            return usage_error(kVerb, "one input and one output file only");
        }
    }
    if (o.in.empty()) {
        return usage_error(kVerb, "an input file is needed");
    }
    if (o.out.empty() == o.printer.empty()) {
        return usage_error(kVerb, "give either an output file or --printer QUEUE");
    }
    bool to_file = !o.out.empty();
    if (o.format.empty()) {
        return usage_error(kVerb, "--format is needed");
    }
    if (to_file && o.format != "ps" && o.format != "hpgl" && o.format != "pcl" && o.format != "bmp") {
        return usage_error(kVerb, "a file takes --format ps, hpgl, pcl or bmp");
    }
    if (!to_file && o.format != "ps" && o.format != "pcl" && o.format != "dib") {
        return usage_error(kVerb, "a printer takes --format ps, pcl or dib");
    }
    if (o.fit && o.scale > 0) {
        return usage_error(kVerb, "--scale and --fit exclude each other");
    }
    return 0;
}

} // namespace

int run_plot(int argc, char** argv) {
    Options o;
    if (int status = parse(argc, argv, o); status != 0) {
        return status;
    }
    int64_t width = 0, height = 0;
    if (!cam::page_size(o.page, width, height)) {
        return usage_error(kVerb, "--page is letter, legal, a4, a3, ledger or WxH in inches");
    }
    model::Coord window[4] = {};
    bool extents = lower(o.window) == "extents";
    if (!o.window.empty() && !extents && !parse_window(o.window, window)) {
        return usage_error(kVerb, "--window takes X1,Y1,X2,Y2 in inches or extents");
    }
    Cli cli;
    model::Document* doc = load(cli, o.in);
    if (!doc) {
        return 1;
    }
    // A printer without --page plots on its queue's default sheet and margins.
    cam::PlotDevice device =
        cam::page_device(width, height, static_cast<int64_t>(std::llround(o.margin * 65536.0)), o.dpi, o.landscape);
    if (!o.printer.empty() && !o.page_given) {
        std::string why;
        if (!cam::queue_device(o.printer, o.dpi, o.landscape, device, why)) {
            return fail(o.printer + ": " + why);
        }
    }
    cam::PlotSettings s = cam::settings_from_setup(doc->setup, device);
    if (!o.window.empty()) {
        s.flags = static_cast<uint16_t>(extents ? s.flags | cam::kPlotExtents : s.flags & ~cam::kPlotExtents);
        if (!extents) {
            s.xmin = std::min(window[0], window[2]);
            s.xmax = std::max(window[0], window[2]);
            s.ymin = std::min(window[1], window[3]);
            s.ymax = std::max(window[1], window[3]);
        }
    }
    if (o.scale > 0) {
        s.scale = static_cast<int32_t>(std::llround(o.scale * 65536.0));
        s.flags &= static_cast<uint16_t>(~cam::kPlotFit);
    }
    auto set = [&](bool on, uint16_t bit) {
        if (on) {
            s.flags |= bit;
        }
    };
    set(o.fit, cam::kPlotFit);
    set(o.center, cam::kPlotCentre);
    set(o.mirror, cam::kPlotMirror);
    set(o.keep, cam::kPlotKeepColours);
    set(o.no_holes, cam::kPlotNoHoles);
    set(o.no_vias, cam::kPlotNoVias);
    set(o.no_pads, cam::kPlotNoPads);
    if (!o.colour.empty()) {
        s.colour = o.colour == "planes" ? cam::PlotColour::Planes : cam::PlotColour::Mono;
    }
    s.hpgl_units = o.hpgl_unit;
    s.title = doc->name();
    s.created = creation_time();

    platform::RunContext run(cli.ui);
    if (!o.printer.empty()) {
        s.format = o.format == "ps"    ? cam::PlotFormat::PostScript
                   : o.format == "pcl" ? cam::PlotFormat::Pcl
                                       : cam::PlotFormat::Dib;
        std::string why;
        int ok = cam::print_plot(*doc, s, o.printer, run, why);
        run.progress("Plotting", -1);
        return ok ? 0 : fail(o.printer + ": " + why);
    }

    cam::PlotFile file;
    if (!file.open(o.out)) {
        return fail("Unable to open specified output file. (" + o.out + ": " + file.error() + ")");
    }
    cam::TextOut& out = file.out();
    cam::PlotSink sink = [&out](std::string_view piece) {
        out.raw(piece);
        return !out.failed;
    };
    int ok = 0;
    if (o.format == "ps") {
        s.format = cam::PlotFormat::PostScript;
        ok = cam::write_postscript(*doc, s, sink, run);
    } else if (o.format == "hpgl") {
        s.format = cam::PlotFormat::Hpgl;
        ok = cam::write_hpgl(*doc, s, sink, run);
    } else if (o.format == "pcl") {
        s.format = cam::PlotFormat::Pcl;
        ok = cam::write_pcl(*doc, s, out, run);
    } else {
        s.format = cam::PlotFormat::Bmp;
        ok = cam::write_bmp(*doc, s, out, run);
    }
    run.progress("Plotting", -1);
    if (!ok || !file.commit()) {
        return fail("cannot write \"" + o.out + "\": " + file.error() + "; the old file is kept");
    }
    return 0;
}

} // namespace trazel::cli
