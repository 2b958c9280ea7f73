// The setup of a picture Document: a drawing area, grids in thousandths and a Layer table that names the
// entries of the 8-bit screen's system palette, so that pixel editing can draw in any of them.
#include <cstdio>

#include "display/colour.h"
#include "images/readers.h"
#include "model/setup_directives.h"

namespace trazel::images {

namespace {

constexpr const char* kBasicNames[8] = {"Black", "Blue", "Green", "Cyan", "Red", "Magenta", "Brown", "Gray"};
constexpr const char* kBrightNames[8] = {"Dark Grey", "Light Blue",    "Light Green", "Light Cyan",
                                         "Light Red", "Light Magenta", "Yellow",      "White"};
constexpr uint32_t kOff = model::kNoColour;

uint32_t per_channel(uint32_t c, uint32_t (*f)(uint32_t)) {
    return f(c >> 16 & 0xFF) << 16 | f(c >> 8 & 0xFF) << 8 | f(c & 0xFF);
}

// The plot colour prints the screen's light-on-dark picture dark on paper: a channel is turned over,
// never quite to black; the dark basic colours print at full strength and the bright ones lighter.
uint32_t plot_colour(int entry, uint32_t shown) {
    if (entry < 8) {
        return per_channel(shown, [](uint32_t c) { return c ? 0u : 0xFFu; });
    }
    if (entry >= 248) {
        return per_channel(shown, [](uint32_t c) { return c == 0xFF ? 0x77u : 0xFFu; });
    }
    return per_channel(shown, [](uint32_t c) { return c == 0xFF ? 1u : 0xFF - c; });
}

std::string entry_name(int i) {
    char b[24];
    if (i < 8) {
        std::snprintf(b, sizeof b, "EGA %s", kBasicNames[i]);
    } else if (i < 10) {
        std::snprintf(b, sizeof b, "Windows %02X", i);
    } else if (i < 12) {
        std::snprintf(b, sizeof b, "Free %02X", i);
    } else if (i < 20) {
        std::snprintf(b, sizeof b, "Gray %d", i - 12);
    } else if (i < 236) {
        int c = i - 20;
        std::snprintf(b, sizeof b, "Color %d%d%d", c / 36, c / 6 % 6, c % 6);
    } else if (i < 244) {
        std::snprintf(b, sizeof b, "Gray %d", i - 236 + 8);
    } else if (i < 246) {
        std::snprintf(b, sizeof b, "Free %02X", i);
    } else if (i < 248) {
        std::snprintf(b, sizeof b, "Windows %02X", i);
    } else {
        std::snprintf(b, sizeof b, "EGA %s", kBrightNames[i - 248]);
    }
    return b;
}

} // namespace

std::vector<std::string> pixel_setup_lines() {
    // In the older dialect (lengths in thousandths): extents, grid, modes, plot scale, Item defaults and
    // the named grids.
    std::vector<std::string> lines = {
        "-m-32000,-32000,32000,32000", "-gd0", "-gm3,2,3,1", "-hs1.0,0,0,0,0,0,0,0,0", "-l10", "-p45v25", "-t48",
        "-gr3,1,1,5,25,100",
    };
    display::Palette pal = display::build_palette(0);
    for (int i = 0; i < 256; ++i) {
        bool off = (i >= 8 && i < 12) || (i >= 244 && i < 248);
        uint32_t shown = off ? kOff : pal[static_cast<size_t>(i)];
        if (i < 8 || i >= 248) {
            // The basic colours in the order their names follow: bit 0 blue, bit 1 green, bit 2 red.
            int bits = i & 7;
            uint32_t low = i < 8 ? 0 : 0x55, on = low + 0xAA;
            shown = (bits & 4 ? on : low) << 16 | (bits & 2 ? on : low) << 8 | (bits & 1 ? on : low);
        }
        uint32_t plot = off ? kOff : plot_colour(i, shown);
        char b[64];
        std::snprintf(b, sizeof b, "-y%d:%08X,%08X,%d,%d,", i, shown, plot, i == 0 ? 0 : 7, i);
        lines.push_back(b + entry_name(i));
    }
    return lines;
}

void install_pixel_setup(model::Setup& s) {
    // The Layer lines carry a sequence field, which only the current dialect has.
    for (const std::string& line : pixel_setup_lines()) {
        if (line.rfind("-y", 0) == 0) {
            model::ApplyDirective(s, line);
        } else {
            model::ApplyOldDirective(s, line);
        }
    }
}

} // namespace trazel::images
