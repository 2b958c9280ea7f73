// trazel-cli render IN OUT.png|OUT.bmp [--depth 8|16|24|32] [--size WxH] [--view extents|X1,Y1,X2,Y2|X,Y]
// [--scale DPI] [--layer N] [--image N|none] [--grid] [--status-bar]: the screen picture of a file, drawn
// exactly as the display draws it into a surface of the given depth, then turned into RGB.  The picture
// under the drawing is the current image slot's unless --image names another slot or none; a Document
// without Items that shows a picture takes the picture's rectangle as its extents.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/cli/cli.h"
#include "app/cli/png_out.h"
#include "display/bmp_writer.h"
#include "display/display.h"
#include "display/view.h"
#include "images/block.h"
#include "images/draw.h"

namespace trazel::cli {

int run_render(int argc, char** argv);

namespace {

constexpr const char* kVerb = "render";

// Comma-separated decimal numbers; false for anything else.
bool parse_numbers(const std::string& s, std::vector<double>& out) {
    out.clear();
    size_t at = 0;
    while (at <= s.size()) {
        size_t end = s.find(',', at);
        std::string part = s.substr(at, end == std::string::npos ? std::string::npos : end - at);
        char* stop = nullptr;
        double v = std::strtod(part.c_str(), &stop);
        if (part.empty() || stop == nullptr || *stop != 0 || !std::isfinite(v)) {
            return false;
        }
        out.push_back(v);
        if (end == std::string::npos) {
            break;
        }
        at = end + 1;
    }
    return true;
}

bool inches_to_units(double inches, model::Coord& out) {
    double u = std::round(inches * 65536.0);
    if (u < -2147483647.0 || u > 2147483647.0) {
        return false;
    }
    out = static_cast<model::Coord>(u);
    return true;
}

std::string lower(std::string s) {
    for (char& c : s) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return s;
}

} // namespace

int run_render(int argc, char** argv) {
    std::string in, out, view_arg = "extents";
    int depth = 32, width = 1600, height = 1200, layer = -1;
    double dpi = 0;
    bool grid = false, status_bar = false;
    int image = -1; // -1 the current slot, -2 none
    auto value = [&](int& k, const std::string& a, std::string& v) {
        size_t eq = a.find('=');
        if (eq != std::string::npos) {
            v = a.substr(eq + 1);
            return true;
        }
        if (k + 1 >= argc) {
            return false;
        }
        v = argv[++k];
        return true;
    };
    for (int k = 1; k < argc; ++k) {
        std::string a = argv[k];
        std::string name = a.substr(0, a.find('='));
        std::string v;
        if (name == "--depth" || name == "--size" || name == "--view" || name == "--scale" || name == "--layer" ||
            name == "--image") {
            if (!value(k, a, v)) {
                return usage_error(kVerb, name + " needs a value");
            }
            char* stop = nullptr;
            if (name == "--depth") {
                depth = static_cast<int>(std::strtol(v.c_str(), &stop, 10));
                if (*stop != 0 || (depth != 8 && depth != 16 && depth != 24 && depth != 32)) {
                    return usage_error(kVerb, "--depth is 8, 16, 24 or 32");
                }
            } else if (name == "--size") {
                int w = 0, h = 0;
                char x = 0, extra = 0;
                if (std::sscanf(v.c_str(), "%d%c%d%c", &w, &x, &h, &extra) != 3 || (x != 'x' && x != 'X') || w < 1 ||
                    h < 1 || w > 16384 || h > 16384) {
                    return usage_error(kVerb, "--size is WIDTHxHEIGHT in pixels, each 1 to 16384");
                }
                width = w;
                height = h;
            } else if (name == "--view") {
                view_arg = v;
            } else if (name == "--image") {
                if (lower(v) == "none") {
                    image = -2;
                } else {
                    image = static_cast<int>(std::strtol(v.c_str(), &stop, 10));
                    if (*stop != 0 || v.empty() || image < 0 || image >= model::kImageSlots) {
                        return usage_error(kVerb, "--image is a slot number 0 to 127 or \"none\"");
                    }
                }
            } else if (name == "--scale") {
                dpi = std::strtod(v.c_str(), &stop);
                if (*stop != 0 || !(dpi > 0) || dpi > 65536) {
                    return usage_error(kVerb, "--scale is the dots per inch, above 0 and at most 65536");
                }
            } else {
                layer = static_cast<int>(std::strtol(v.c_str(), &stop, 10));
                if (*stop != 0 || v.empty() || layer < 0 || layer > 255) {
                    return usage_error(kVerb, "--layer is a layer number 0 to 255");
                }
            }
        } else if (a == "--grid") {
            grid = true;
        } else if (a == "--status-bar") {
            status_bar = true;
        } else if (!a.empty() && a[0] == '-' && a != "-") {
            return usage_error(kVerb, "unknown option \"" + a + "\"");
        } else if (in.empty()) {
            in = a;
        } else if (out.empty()) {
            out = a;
        } else {
            return usage_error(kVerb, "one input and one output file only");
        }
    }
    if (in.empty() || out.empty()) {
        return usage_error(kVerb, "an input and an output file are needed");
    }
    std::string ext = lower(out.size() >= 4 ? out.substr(out.size() - 4) : out);
    if (ext != ".png" && ext != ".bmp") {
        return usage_error(kVerb, "the output file name must end in .png or .bmp");
    }
    // The view rectangle or point, checked before the file is read.
    std::vector<double> nums;
    bool extents = lower(view_arg) == "extents";
    if (!extents && (!parse_numbers(view_arg, nums) || (nums.size() != 4 && nums.size() != 2))) {
        return usage_error(kVerb, "--view is \"extents\", X1,Y1,X2,Y2 or (with --scale) X,Y in inches");
    }
    if (nums.size() == 2 && dpi == 0) {
        return usage_error(kVerb, "--view X,Y needs --scale");
    }
    std::vector<model::Coord> at(nums.size());
    for (size_t i = 0; i < nums.size(); ++i) {
        if (!inches_to_units(nums[i], at[i])) {
            return usage_error(kVerb, "--view coordinates must lie within 32767 inches");
        }
    }

    Cli cli;
    model::Document* doc = load(cli, in);
    if (!doc) {
        return 1;
    }
    model::Setup& s = doc->setup;
    const std::vector<uint8_t>* picture = nullptr;
    if (image != -2) {
        int slot = image >= 0 ? image : cli.model.current_image;
        const std::vector<uint8_t>& b = cli.model.images[static_cast<size_t>(slot % model::kImageSlots)];
        std::string fault = b.empty() ? "it is empty" : images::block_fault(b);
        if (fault.empty()) {
            picture = &b;
        } else if (image >= 0) {
            return fail("image slot " + std::to_string(slot) + " cannot be drawn: " + fault);
        }
    }
    if (layer >= 0) {
        s.current_layer = layer;
    }

    display::Display d;
    display::set_pixel_format(d, display::format_for_depth(depth), &cli.model);
    int status_rows = status_bar ? display::kStatusBarRows : 0;
    int bpp = depth / 8;
    // Rows are a multiple of 8 bytes long, as a screen surface's are.
    int pitch = (width * bpp + 7) & ~7;
    std::vector<uint8_t> pixels(static_cast<size_t>(pitch) * static_cast<size_t>(height + status_rows));
    display::PixelBuffer buf;
    buf.base = pixels.data();
    buf.pitch = pitch;
    buf.depth = depth;
    buf.width = width;
    buf.height = height + status_rows;
    display::set_surface(d, buf, status_rows);
    if (picture) {
        d.hooks.draw_image = [picture](display::Display& dd, display::Raster& r) {
            images::draw_block(dd, r, *picture);
        };
    }
    display::View& v = d.view;
    v.snap = s.snap;
    v.decimals = s.decimals;
    v.display_grid = grid ? s.grid_dots : 0;
    v.rel_x = s.origin_x;
    v.rel_y = s.origin_y;

    model::Point a{s.ext_xmin, s.ext_ymin}, b{s.ext_xmax, s.ext_ymax};
    images::BlockHeader ph;
    if (!extents && at.size() == 4) {
        a = {at[0], at[1]};
        b = {at[2], at[3]};
    } else if (picture && model::ring_empty(doc->ring()) && images::read_header(*picture, ph) && ph.left != ph.right &&
               ph.bottom != ph.top) {
        a = {std::min(ph.left, ph.right), std::min(ph.bottom, ph.top)};
        b = {std::max(ph.left, ph.right), std::max(ph.bottom, ph.top)};
    } else if (a.x >= b.x || a.y >= b.y) {
        if (!display::items_extents(doc->ring(), a, b)) {
            a = {0, 0};
            b = {65536, 65536};
        }
    }
    if (dpi > 0) {
        double sc = std::round(dpi * 65536.0);
        v.scale = static_cast<uint32_t>(std::clamp(sc, double{display::kMinZoomOutScale}, 4294967295.0));
        if (at.size() == 2) {
            v.cursor_x = at[0];
            v.cursor_y = at[1];
        } else {
            v.cursor_x = static_cast<model::Coord>((int64_t{a.x} + b.x) / 2);
            v.cursor_y = static_cast<model::Coord>((int64_t{a.y} + b.y) / 2);
        }
        display::place_cursor_at(v, display::middle_col(v), display::middle_row(v));
    } else {
        display::zoom_to_rect(v, a, b, v.area, false);
    }
    if (status_bar) {
        d.status.push_back({4, display::grid_readout(v)});
        d.status.push_back({166, display::cursor_readout(v)});
    }
    if (!display::redraw(d, doc)) {
        return fail("nothing could be drawn of \"" + in + "\"");
    }
    std::vector<uint8_t> rgb =
        display::buffer_to_rgb(buf, d.format, d.palette, display::Rect{0, 0, buf.height - 1, buf.width - 1});
    std::string why;
    int ok = ext == ".png" ? write_png(out, buf.width, buf.height, rgb, &why)
                           : display::write_bmp(out, buf.width, buf.height, rgb, &why);
    if (!ok) {
        return fail("cannot write \"" + out + "\": " + why);
    }
    return 0;
}

} // namespace trazel::cli
